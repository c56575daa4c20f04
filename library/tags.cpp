// Tags inside the audio files: title, artist, album, track number and the cover picture. TagLib
// parses the ID3v2 and APEv2 tags; this file only finds where a DSF or DFF keeps its ID3v2 tag and
// reads the DFF's own DIIN texts, which TagLib does not know.

#include "library.h"

#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/tfile.h>
#include <taglib/tfilestream.h>
#include <taglib/wavpackfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// --- main thread: the tags of the track last shown
int32_t CachedTrackId = 0; // 0: nothing cached
ShownTags Cached;
// --- end of state

// TagLib reads a tag only through one of its File objects. This one is a bare window on a stream:
// the ID3v2 tag is parsed where the DSF or DFF holds it, at the offset we found.
class TagWindow : public TagLib::File {
  public:
    explicit TagWindow(TagLib::IOStream *stream) : TagLib::File(stream) {}
    TagLib::Tag *tag() const override { return nullptr; }
    TagLib::AudioProperties *audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

std::string Utf8(const TagLib::String &text) {
    return text.to8Bit(true);
}

uint64_t BigEndian(const TagLib::ByteVector &bytes, unsigned offset, unsigned size) {
    uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i) v = v << 8 | uint8_t(bytes[int(offset + i)]);
    return v;
}
uint64_t LittleEndian(const TagLib::ByteVector &bytes, unsigned offset, unsigned size) {
    uint64_t v = 0;
    for (unsigned i = size; i-- > 0;) v = v << 8 | uint8_t(bytes[int(offset + i)]);
    return v;
}

// Only pictures the cover drawing can load count: PNG and JPEG, told by their first bytes.
bool IsShowablePicture(const TagLib::ByteVector &data) {
    return data.startsWith(TagLib::ByteVector("\x89PNG", 4)) ||
           data.startsWith(TagLib::ByteVector("\xFF\xD8\xFF", 3));
}

// Fills the fields `tags` still lacks from the common fields of a parsed tag.
void TakeFields(const TagLib::Tag &tag, TrackTags &tags) {
    if (tags.Title.empty()) tags.Title = Utf8(tag.title());
    if (tags.Artist.empty()) tags.Artist = Utf8(tag.artist());
    if (tags.Album.empty()) tags.Album = Utf8(tag.album());
    if (tags.TrackNumber == 0) tags.TrackNumber = tag.track();
}

// The ID3v2 tag at `offset` of the stream. A tag that is not there, or broken, adds nothing: TagLib
// checks the header and bounds every frame by the tag's size and what the stream holds.
void ReadId3v2At(TagLib::IOStream &stream, int64_t offset, TrackTags &tags) {
    TagWindow window(&stream);
    const TagLib::ID3v2::Tag tag(&window, long(offset));
    TakeFields(tag, tags);
    if (!tags.Picture.empty()) return;
    // The front cover, else the first picture.
    const TagLib::ID3v2::AttachedPictureFrame *first = nullptr, *front = nullptr;
    for (const TagLib::ID3v2::Frame *frame : tag.frameList("APIC")) {
        const auto *picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame *>(frame);
        if (!picture) continue;
        if (!first) first = picture;
        if (!front && picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) front = picture;
    }
    const auto *chosen = front ? front : first;
    if (chosen && IsShowablePicture(chosen->picture()))
        tags.Picture.assign(chosen->picture().data(), chosen->picture().size());
}

// A DSF: the "DSD " chunk's pointer to the metadata chunk (0: none), which is an ID3v2 tag.
void ReadDsf(TagLib::IOStream &stream, TrackTags &tags) {
    stream.seek(0);
    // "DSD " (4), chunk size 28 (8), file size (8), metadata pointer (8), all little-endian.
    const TagLib::ByteVector head = stream.readBlock(28);
    if (head.size() < 28 || !head.startsWith("DSD ")) return;
    const uint64_t pointer = LittleEndian(head, 20, 8);
    if (pointer < 28 || pointer >= uint64_t(stream.length())) return;
    ReadId3v2At(stream, int64_t(pointer), tags);
}

// A DIIN text chunk (DITI, DIAR): a 4-byte big-endian count, then that many characters. Valid UTF-8
// is taken as it is; any other byte stands for its Latin-1 character.
std::string DiinText(const TagLib::ByteVector &data) {
    if (data.size() < 4) return "";
    const uint64_t count = std::min<uint64_t>(BigEndian(data, 0, 4), data.size() - 4);
    const std::string_view raw(data.data() + 4, count);
    std::string text;
    for (size_t i = 0; i < raw.size();) {
        char32_t cp = 0;
        const size_t n = DecodeUtf8(raw, i, cp);
        if (n == 1 && cp >= 0xDC80 && cp <= 0xDCFF) cp -= 0xDC00;
        if (cp == 0) break; // some writers end the text with a zero
        AppendUtf8(text, cp);
        i += n;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The DIIN chunk's title and artist, for the fields no ID3 tag filled.
void ReadDiin(const TagLib::ByteVector &diin, TrackTags &tags) {
    for (unsigned at = 0; at + 12 <= diin.size();) {
        const uint64_t size = BigEndian(diin, at + 4, 8);
        if (size > diin.size() - at - 12) return;
        const TagLib::ByteVector data = diin.mid(at + 12, unsigned(size));
        if (diin.containsAt("DITI", at) && tags.Title.empty()) tags.Title = DiinText(data);
        if (diin.containsAt("DIAR", at) && tags.Artist.empty()) tags.Artist = DiinText(data);
        at += 12 + unsigned(size) + unsigned(size & 1); // chunks are padded to an even length
    }
}

// A DFF: the form's chunks, each an id, a big-endian 8-byte size and its data padded to an even
// length. The sound data is skipped by its size, never read; the DIIN chunk (a few hundred bytes)
// is read whole.
void ReadDff(TagLib::IOStream &stream, TrackTags &tags) {
    constexpr uint64_t MaxDiinSize = 1 << 20;
    stream.seek(0);
    const TagLib::ByteVector form = stream.readBlock(16);
    if (form.size() < 16 || !form.startsWith("FRM8") || !form.containsAt("DSD ", 12)) return;
    // The form's end as its size states it, within the file.
    const uint64_t length = uint64_t(stream.length());
    const uint64_t end = std::min(length, 12 + BigEndian(form, 4, 8));
    TagLib::ByteVector diin;
    bool id3 = false;
    for (uint64_t at = 16; at < end && end - at >= 12;) {
        stream.seek(long(at));
        const TagLib::ByteVector head = stream.readBlock(12);
        if (head.size() < 12) break;
        const uint64_t size = BigEndian(head, 4, 8);
        if (size > end - at - 12) break;
        if (head.startsWith("ID3 ") && !id3) {
            ReadId3v2At(stream, int64_t(at + 12), tags);
            id3 = true;
        } else if (head.startsWith("DIIN") && diin.isEmpty() && size <= MaxDiinSize) {
            stream.seek(long(at + 12));
            diin = stream.readBlock(unsigned(size));
        }
        at += 12 + size + (size & 1);
    }
    ReadDiin(diin, tags);
}

// A WavPack file's APEv2 tag: the common fields, and the front cover item (else the first cover
// item), which holds a file name, a zero, then the picture.
void ReadWavPack(TagLib::IOStream &stream, TrackTags &tags) {
    TagLib::WavPack::File file(&stream, false);
    TagLib::APE::Tag *tag = file.isValid() ? file.APETag(false) : nullptr;
    if (!tag) return;
    TakeFields(*tag, tags);
    TagLib::ByteVector first, front;
    for (const auto &[key, item] : tag->itemListMap()) {
        if (item.type() != TagLib::APE::Item::Binary || !key.upper().startsWith("COVER ART (")) continue;
        const TagLib::ByteVector data = item.binaryData();
        const int zero = data.find('\0');
        if (zero < 0) continue;
        const TagLib::ByteVector picture = data.mid(unsigned(zero) + 1);
        if (first.isEmpty()) first = picture;
        if (key.upper() == "COVER ART (FRONT)") front = picture;
    }
    const TagLib::ByteVector &chosen = front.isEmpty() ? first : front;
    if (IsShowablePicture(chosen)) tags.Picture.assign(chosen.data(), chosen.size());
}

// FNV-1a over the picture: names its file in the cache, so equal pictures share one file.
uint64_t PictureHash(std::string_view bytes) {
    uint64_t h = 14695981039346656037ull;
    for (char c : bytes) h = (h ^ uint8_t(c)) * 1099511628211ull;
    return h;
}

} // namespace

TrackTags ReadTagsFrom(TagLib::IOStream &stream, std::string_view extension) {
    TrackTags tags;
    const std::string kind = UpperAscii(extension);
    if (kind == "DSF")
        ReadDsf(stream, tags);
    else if (kind == "DFF")
        ReadDff(stream, tags);
    else if (kind == "WV")
        ReadWavPack(stream, tags);
    return tags;
}

TrackTags ReadTrackTags(const std::string &path) {
    TagLib::FileStream stream(path.c_str(), true);
    if (!stream.isOpen()) return {};
    return ReadTagsFrom(stream, ExtensionOf(path));
}

std::string CoverCacheFolder() {
    const char *cache = getenv("XDG_CACHE_HOME");
    std::string folder = cache && cache[0] == '/' ? std::string(cache) : "";
    if (folder.empty()) {
        const std::string home = HomeFolder();
        if (home.empty()) return "";
        folder = home + (home.back() == '/' ? "" : "/") + ".cache";
    }
    if (folder.back() != '/') folder += '/';
    return folder + "groovestone-dsd/covers/";
}

std::string WriteCoverFile(std::string_view picture) {
    if (picture.empty()) return "";
    const std::string folder = CoverCacheFolder();
    if (folder.empty()) return "";
    char name[64];
    snprintf(name, sizeof name, "%016llx-%zu.%s", static_cast<unsigned long long>(PictureHash(picture)),
             picture.size(), picture[0] == '\x89' ? "png" : "jpg");
    const std::string path = folder + name;
    // Written once: the name holds the hash and the size.
    if (FileSize(path) == int64_t(picture.size())) return path;
    // The folders on the way, each made when missing.
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        CreateFolder(folder.substr(0, slash));
    return WriteFileWhole(path, picture.data(), picture.size()) ? path : "";
}

const ShownTags &TagsOfTrack(int32_t track_id) {
    if (track_id == CachedTrackId) return Cached;
    CachedTrackId = track_id;
    Cached = {};
    const EntryPlace place = FindEntry(track_id);
    if (place.List == 0) return Cached;
    Cached.Tags = ReadTrackTags(ListOf(place.List).Entries[place.Index].Path);
    Cached.CoverFile = WriteCoverFile(Cached.Tags.Picture);
    Cached.Tags.Picture.clear(); // kept in the cover file
    Cached.Tags.Picture.shrink_to_fit();
    return Cached;
}
