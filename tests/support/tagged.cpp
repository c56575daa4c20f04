#include "tagged.h"

namespace {

std::string BigEndian(uint64_t v, int size) {
    std::string out(size_t(size), '\0');
    for (int i = size - 1; i >= 0; --i, v >>= 8) out[size_t(i)] = char(v & 0xFF);
    return out;
}
std::string LittleEndian(uint64_t v, int size) {
    std::string out(size_t(size), '\0');
    for (int i = 0; i < size; ++i, v >>= 8) out[size_t(i)] = char(v & 0xFF);
    return out;
}
// Seven bits in each of four bytes.
std::string Synchsafe(uint32_t v) {
    return BigEndian((v & 0x7F) | (v & 0x3F80) << 1 | (v & 0x1FC000) << 2 | (v & 0xFE00000) << 3, 4);
}

// UTF-16LE with its byte order mark, for ASCII and Latin-1 texts written as UTF-8.
std::string Utf16Text(const std::string &utf8) {
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned c = uint8_t(utf8[i]);
        if (c >= 0xC0 && i + 1 < utf8.size()) c = (c & 0x1F) << 6 | (uint8_t(utf8[++i]) & 0x3F);
        out += {char(c & 0xFF), char(c >> 8)};
    }
    return out;
}

std::string Frame(int version, const std::string &id, const std::string &body) {
    const std::string size = version == 4 ? Synchsafe(uint32_t(body.size())) : BigEndian(body.size(), 4);
    return id + size + std::string(2, '\0') + body;
}

std::string TextFrame(int version, const std::string &id, const std::string &text) {
    if (text.empty()) return "";
    return Frame(version, id, version == 4 ? "\x03" + text : "\x01" + Utf16Text(text));
}

} // namespace

std::string Id3v2Tag(int version, const TestTagFields &fields) {
    std::string frames = TextFrame(version, "TIT2", fields.Title) +
                         TextFrame(version, "TPE1", fields.Artist) +
                         TextFrame(version, "TALB", fields.Album) + TextFrame(version, "TRCK", fields.Track);
    // Latin-1 description, empty: its terminator alone.
    for (const TestPicture &p : fields.Pictures)
        frames +=
            Frame(version, "APIC", std::string(1, '\0') + p.Mime + '\0' + char(p.Type) + '\0' + p.Bytes);
    return "ID3" + std::string{char(version), 0, 0} + Synchsafe(uint32_t(frames.size())) + frames;
}

std::string DffChunk(const std::string &id, const std::string &data) {
    return id + BigEndian(data.size(), 8) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}

std::string DiinChunk(const std::string &title, const std::string &artist) {
    std::string inner;
    if (!title.empty()) inner += DffChunk("DITI", BigEndian(title.size(), 4) + title);
    if (!artist.empty()) inner += DffChunk("DIAR", BigEndian(artist.size(), 4) + artist);
    return DffChunk("DIIN", inner);
}

std::string DsfWithTag(const TestDsdShape &shape, const std::string &tag) {
    const std::vector<uint8_t> sound = TestDsd_Bytes(shape);
    std::string file(sound.begin(), sound.end());
    const uint64_t pointer = file.size();
    file += tag;
    file.replace(12, 8, LittleEndian(file.size(), 8)); // the file's size
    file.replace(20, 8, LittleEndian(pointer, 8));     // where the metadata chunk begins
    return file;
}

std::string DffWithChunks(const TestDsdShape &shape, const std::vector<std::string> &chunks) {
    const std::vector<uint8_t> sound = TestDsd_Bytes(shape);
    std::string file(sound.begin(), sound.end());
    for (const std::string &chunk : chunks) file += chunk;
    file.replace(4, 8, BigEndian(file.size() - 12, 8)); // the form's size
    return file;
}

std::string ApeTag(const TestTagFields &fields) {
    std::string items;
    int count = 0;
    auto item = [&](const std::string &key, const std::string &value, uint32_t flags) {
        if (value.empty()) return;
        items += LittleEndian(value.size(), 4) + LittleEndian(flags, 4) + key + '\0' + value;
        ++count;
    };
    item("Title", fields.Title, 0);
    item("Artist", fields.Artist, 0);
    item("Album", fields.Album, 0);
    item("Track", fields.Track, 0);
    for (const TestPicture &p : fields.Pictures)
        item(p.Type == 3 ? "Cover Art (Front)" : "Cover Art (Back)",
             "cover.jpg" + std::string(1, '\0') + p.Bytes, 2 /* binary */);
    // The footer: version 2000, the size of the items and the footer, the item count, no flags.
    return items + "APETAGEX" + LittleEndian(2000, 4) + LittleEndian(items.size() + 32, 4) +
           LittleEndian(uint32_t(count), 4) + std::string(12, '\0');
}
