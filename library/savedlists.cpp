// The two lists and the view shown, kept from one run to the next in a file of our own beside the
// list files. The list files keep their formats; this file only names the tracks, and the program
// probes them again at start.
//
// The file, all numbers little-endian:
//   8 bytes  "GSLISTS1"
//   1 byte   the view shown: 1 List 1, 2 List 2, 3 the playlists, 4 the library
//   per list, List 1 then List 2:
//     1 byte   entries, 0 to 6
//     per entry: 2 bytes path length (1 to MaxSavedPathLength), the path's bytes as the system has them
//   4 bytes  FNV-1a of every byte before it
// and nothing after. Paths are kept as bytes, not lines: a file name may hold a line feed.

#include "library.h"

#include "platform/files.h"

namespace {

constexpr char Magic[8] = {'G', 'S', 'L', 'I', 'S', 'T', 'S', '1'};
constexpr size_t MaxSavedPathLength = 4096; // the system's longest path, its terminating zero included
constexpr size_t MaxSavedFileSize =
    sizeof Magic + 1 + 2 * (1 + MaxListEntries * (2 + MaxSavedPathLength)) + 4;

// --- main thread: the bytes last written or read, so that an unchanged state is not written again
std::string LastSaved;
bool LastSavedKnown = false;
// --- end of state

uint32_t Fnv1a(std::string_view bytes) {
    uint32_t hash = 2166136261u;
    for (char c : bytes) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    return hash;
}

void PutLe(std::string &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLe(std::string_view bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value |= uint32_t{static_cast<uint8_t>(bytes[at + size_t(i)])} << (8 * i);
    return value;
}

} // namespace

std::string EncodeSavedLists(const SavedLists &saved) {
    std::string out(Magic, sizeof Magic);
    out += static_cast<char>(saved.View);
    for (const std::vector<std::string> &paths : saved.Paths) {
        out += static_cast<char>(paths.size());
        for (const std::string &path : paths) {
            PutLe(out, static_cast<uint32_t>(path.size()), 2);
            out += path;
        }
    }
    PutLe(out, Fnv1a(out), 4);
    return out;
}

bool ParseSavedLists(std::string_view bytes, SavedLists &saved) {
    saved = {};
    // The checksum first: past it, every field is one the program wrote.
    if (bytes.size() < sizeof Magic + 1 + 2 + 4 || bytes.size() > MaxSavedFileSize) return false;
    const size_t body = bytes.size() - 4;
    if (Fnv1a(bytes.substr(0, body)) != GetLe(bytes, body, 4)) return false;
    if (bytes.substr(0, sizeof Magic) != std::string_view(Magic, sizeof Magic)) return false;
    size_t at = sizeof Magic;
    SavedLists read;
    read.View = static_cast<uint8_t>(bytes[at++]);
    if (read.View < ViewList1 || read.View > ViewLibrary) return false;
    for (std::vector<std::string> &paths : read.Paths) {
        if (at + 1 > body) return false;
        const size_t count = static_cast<uint8_t>(bytes[at++]);
        if (count > MaxListEntries) return false;
        for (size_t i = 0; i < count; ++i) {
            if (at + 2 > body) return false;
            const size_t length = GetLe(bytes, at, 2);
            at += 2;
            if (length == 0 || length > MaxSavedPathLength || length > body - at) return false;
            paths.emplace_back(bytes.substr(at, length));
            at += length;
        }
    }
    if (at != body) return false;
    saved = std::move(read);
    return true;
}

SavedLists CurrentLists() {
    SavedLists now;
    now.View = ActiveView;
    for (int list = 1; list <= 2; ++list)
        for (const ListEntry &entry : ListOf(list).Entries) now.Paths[size_t(list - 1)].push_back(entry.Path);
    return now;
}

bool ReadSavedLists(SavedLists &saved) {
    std::string bytes;
    if (!ReadFileWhole(ListFolder + SavedListsFile, bytes, MaxSavedFileSize)) return false;
    if (!ParseSavedLists(bytes, saved)) return false;
    LastSaved = std::move(bytes);
    LastSavedKnown = true;
    return true;
}

void SaveListsWhenChanged() {
    std::string bytes = EncodeSavedLists(CurrentLists());
    if (LastSavedKnown && bytes == LastSaved) return;
    // A failed write is not retried until the lists change again, nor reported: the file only spares
    // the user loading the lists again at the next start.
    WriteFileWhole(ListFolder + SavedListsFile, bytes.data(), bytes.size());
    LastSaved = std::move(bytes);
    LastSavedKnown = true;
}
