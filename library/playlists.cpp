// Playlists on disk: name checks, appending a playlist to "lpi.la" and "lpi.lo", removing one, loading
// one, and sorting the shown play list by name or at random.

#include "library.h"

#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <numeric>
#include <random>
#include <thread>

namespace {

bool IsBlank(char c) {
    return c == ' ';
}

// Adds lines at the end of a list file that holds `bytes` now (KeepFile), keeping everything it
// holds. The whole file is written anew and renamed over the old one, so that a failure half-way (a
// full disk) leaves the old file as it was: appending in place could leave half a line, or an odd
// byte that shifts every later UTF-16 character. A file without content gets the mark; a file in
// another encoding (edited by hand) is rewritten as UTF-16LE, since appending UTF-16 to it would
// make both parts unreadable; a last line without its line end gets one, so that the new lines do
// not join it. A file that cannot be decoded is left alone.
WriteResult AppendTextLines(const std::string &path, std::string bytes,
                            const std::vector<std::string> &lines) {
    bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE' && bytes.size() % 2 == 0 &&
                 !(bytes.size() >= 4 && bytes[2] == 0 && bytes[3] == 0);
    if (bytes.empty()) {
        bytes = "\xFF\xFE";
    } else if (utf16) {
        char16_t last = char16_t(uint8_t(bytes[bytes.size() - 2]) | uint8_t(bytes[bytes.size() - 1]) << 8);
        if (bytes.size() > 2 && last != u'\r' && last != u'\n' && last != 0) bytes.append("\r\0\n\0", 4);
    } else {
        std::vector<std::string> old;
        if (!DecodeTextLines(bytes, old)) {
            errno = EILSEQ;
            return WriteFailure(path);
        }
        bytes = EncodeTextLines(old);
    }
    AppendUtf16Lines(bytes, lines);
    if (!WriteFileWhole(path, bytes.data(), bytes.size())) return WriteFailure(path);
    return {};
}

// Drops the sections of `name` (headers and tracks) from the lines of a track file, and the empty
// lines with them. True when a section was there.
bool DropSections(std::vector<std::string> &lines, const std::string &name) {
    const std::vector<bool> inside = InsideSections(lines, name);
    std::vector<std::string> kept;
    for (size_t i = 0; i < lines.size(); ++i)
        if (!inside[i] && !lines[i].empty()) kept.push_back(std::move(lines[i]));
    lines.swap(kept);
    return std::find(inside.begin(), inside.end(), true) != inside.end();
}

// The shuffle's generator: seeded once per thread from its id and the clock.
uint32_t Random32() {
    thread_local std::mt19937 generator(uint32_t(std::hash<std::thread::id>{}(std::this_thread::get_id())) ^
                                        uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     std::chrono::steady_clock::now().time_since_epoch())
                                                     .count()));
    return uint32_t(generator());
}

// The order of the entries after "Sort by name": a stable sort on the titles' UTF-16 code units.
std::vector<size_t> OrderByTitle(const std::vector<ListEntry> &list) {
    std::vector<std::u16string> keys;
    for (const ListEntry &e : list) keys.push_back(ToUtf16(e.Title));
    std::vector<size_t> order(list.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    return order;
}

// The order after "Sort by random": an inside-out Fisher-Yates shuffle. Slot 0 takes the first
// entry; for each later entry i a slot j from 0 to i is drawn, the entry in slot j moves to slot i
// and entry i goes to slot j.
std::vector<size_t> ShuffledOrder(size_t n) {
    std::vector<size_t> slots(n);
    for (size_t i = 1; i < n; ++i) {
        size_t j = size_t((uint64_t(Random32()) * (i + 1)) >> 32);
        if (j != i) slots[i] = slots[j];
        slots[j] = i;
    }
    return slots;
}

} // namespace

bool ValidatePlaylistName(const std::string &text, std::string &result) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    // Cut after trimming: the cut may leave a blank at the end.
    std::string candidate =
        CutToUnits(std::string_view(text).substr(first, last - first), MaxPlaylistNameLength);
    std::u16string units = ToUtf16(candidate);
    char16_t c = units.empty() ? 0 : units[0];
    bool good_start = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c > 0xC0;
    if (!good_start || HasLineEnd(candidate)) {
        result = WrongNameText;
        return false;
    }
    if (std::find(PlaylistNames.begin(), PlaylistNames.end(), candidate) != PlaylistNames.end()) {
        result = DoubleNameText;
        return false;
    }
    result = candidate;
    return true;
}

WriteResult WritePlaylistFiles(const std::string &name, const std::vector<ListEntry> &entries) {
    // The tracks first, the name only once they are written: a crash between the two leaves at worst
    // a section that no name shows, never a name without its tracks. When the name cannot be
    // written, the track file gets its old bytes back, so that a failure leaves nothing behind.
    std::vector<std::string> section = {"!" + name};
    for (const ListEntry &e : entries)
        if (!HasLineEnd(e.Path)) section.push_back("  " + e.Path);
    const std::string tracks = ListFolder + PlaylistTrackFile, index = ListFolder + PlaylistIndexFile;
    // Both files are read before anything is written: one that exists but cannot be read is not
    // rewritten, since that would lose every other playlist.
    KeptFile old_tracks, old_index;
    if (!KeepFile(tracks, old_tracks)) return WriteFailure(tracks);
    if (!KeepFile(index, old_index)) return WriteFailure(index);
    // A section of this name already in the file is such a leftover (the name is new to the index):
    // it goes, or its old tracks would load with the new ones.
    std::vector<std::string> lines;
    WriteResult result;
    if (DecodeTextLines(old_tracks.Bytes, lines) && DropSections(lines, name)) {
        lines.insert(lines.end(), section.begin(), section.end());
        result = WriteTextLines(tracks, lines);
    } else {
        result = AppendTextLines(tracks, old_tracks.Bytes, section);
    }
    if (!result) return result;
    result = AppendTextLines(index, std::move(old_index.Bytes), {name});
    if (!result) {
        PutBack(old_tracks); // should this fail too, a section no name shows is all that stays
        return result;
    }
    PlaylistNames.push_back(name);
    SortPlaylistNames();
    return result;
}

WriteResult DeletePlaylistFiles(size_t position) {
    if (position >= PlaylistNames.size()) return {};
    const std::string name = PlaylistNames[position];
    const std::string tracks = ListFolder + PlaylistTrackFile, index = ListFolder + PlaylistIndexFile;
    // Read with the reader of every list file, so that a file edited in another encoding works too.
    // A file that exists but cannot be read is not rewritten, since that would lose every other
    // playlist; nothing is changed then. The index is kept to be put back should the track file fail.
    KeptFile old_tracks, old_index;
    std::vector<std::string> lines;
    if (!KeepFile(tracks, old_tracks)) return WriteFailure(tracks);
    if (!DecodeTextLines(old_tracks.Bytes, lines)) {
        errno = EILSEQ;
        return WriteFailure(tracks);
    }
    if (!KeepFile(index, old_index)) return WriteFailure(index);
    // The name leaves the index before the tracks leave the track file, for the reason the writing
    // order has: a crash between the two leaves a section no name shows (removed should the name be
    // written again), never a name without its tracks. When the track file then fails, the index
    // gets its old bytes back.
    PlaylistNames.erase(PlaylistNames.begin() + std::ptrdiff_t(position));
    WriteResult result = SavePlaylistIndex();
    if (result) {
        DropSections(lines, name);
        result = WriteTextLines(tracks, lines);
        if (!result) PutBack(old_index);
    }
    if (!result) PlaylistNames.insert(PlaylistNames.begin() + std::ptrdiff_t(position), name);
    return result;
}

std::vector<std::string> LoadPlaylist(const std::string &name) {
    return LoadSection(ListFolder + PlaylistTrackFile, name);
}

bool SortActiveList(int mode) {
    const int shown = ShownList();
    if (shown == 0 || (mode != 1 && mode != 2)) return false;
    std::vector<ListEntry> *list = &ListOf(shown).Entries;
    std::vector<size_t> order = mode == 1 ? OrderByTitle(*list) : ShuffledOrder(list->size());
    std::vector<ListEntry> sorted;
    sorted.reserve(order.size());
    for (size_t k : order) sorted.push_back((*list)[k]); // copies: the list stays whole until the swap
    {
        std::lock_guard<std::mutex> guard(ListLock);
        list->swap(sorted);
    }
    return true;
}
