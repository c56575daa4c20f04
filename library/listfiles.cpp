// The list files: the one reader every list file goes through, the index loaders, the playlist index
// writer and the section reader of the track files.

#include "library.h"

#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

// Fills `list` from an index file; a missing, empty or unreadable file leaves it as it was.
bool LoadIndex(const std::string &path, std::vector<std::string> &list) {
    if (FileSize(path) <= 0) return false;
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return false;
    list.swap(lines);
    return true;
}

// Follows the sections of a track file line by line. Any line whose text after the first character
// is the name opens the section, so a second section of the same name is taken too; the next line
// beginning with "!" ends it. (Dropping a unit that is half of a pair leaves a text no name equals.)
struct SectionWalk {
    const std::string &Name;
    bool In = false;
    std::string Rest;

    // Whether `line`, the next line of the file, lies inside a section of the name (its header
    // included).
    bool Inside(const std::string &line) {
        if (In && !line.empty() && line[0] == '!') In = false;
        if (DropUnits(line, 1, Rest) && Rest == Name) In = true;
        return In;
    }
};

} // namespace

std::string AlbumIndexFile(int library) {
    return "lpli" + std::to_string(library) + ".la";
}
std::string AlbumTrackFile(int library) {
    return "lpli" + std::to_string(library) + ".lo";
}

bool ReadTextLines(const std::string &path, std::vector<std::string> &lines) {
    lines.clear();
    std::string bytes;
    return ReadFileWhole(path, bytes, MaxListFileSize) && DecodeTextLines(bytes, lines);
}

WriteResult WriteFailure(const std::string &path) {
    return {path, errno};
}

WriteResult WriteTextLines(const std::string &path, const std::vector<std::string> &lines) {
    std::string bytes = EncodeTextLines(lines);
    if (!WriteFileWhole(path, bytes.data(), bytes.size())) return WriteFailure(path);
    return {};
}

bool KeepFile(const std::string &path, KeptFile &kept) {
    kept = {path, GetFileAttributes(path) != AttrInvalid, false, {}};
    kept.Kept = !kept.Existed || ReadFileWhole(path, kept.Bytes, MaxListFileSize);
    return kept.Kept;
}

bool PutBack(const KeptFile &kept) {
    if (!kept.Kept) return false;
    if (kept.Existed) return WriteFileWhole(kept.Path, kept.Bytes.data(), kept.Bytes.size());
    return std::remove(kept.Path.c_str()) == 0;
}

void LoadLibraryIndex() {
    LoadIndex(ListFolder + AlbumIndexFile(1), LibraryOne);
}

void LoadPlaylistIndex() {
    if (LoadIndex(ListFolder + PlaylistIndexFile, PlaylistNames)) SortPlaylistNames();
}

WriteResult SavePlaylistIndex() {
    // Also when no name is left: an index that kept its old names would bring the last playlist
    // back at the next start, without its tracks.
    return WriteTextLines(ListFolder + PlaylistIndexFile, PlaylistNames);
}

void SortPlaylistNames() {
    std::stable_sort(
        PlaylistNames.begin(), PlaylistNames.end(),
        [](const std::string &a, const std::string &b) { return CompareIgnoringCase(a, b) < 0; });
}

std::vector<bool> InsideSections(const std::vector<std::string> &lines, const std::string &name) {
    std::vector<bool> inside(lines.size());
    SectionWalk walk{name, false, {}};
    for (size_t i = 0; i < lines.size(); ++i) inside[i] = walk.Inside(lines[i]);
    return inside;
}

std::vector<std::string> ReadSection(const std::string &track_file, const std::string &name) {
    std::vector<std::string> paths;
    std::string bytes, rest;
    if (!ReadFileWhole(track_file, bytes, MaxListFileSize)) return paths;
    // Line by line: only the section's paths are kept, never every line of a large track file.
    SectionWalk walk{name, false, {}};
    VisitTextLines(bytes, [&](std::string &&line) {
        // A track line is two blanks and the path; a line edited without them loses two characters.
        if (walk.Inside(line) && line[0] != '!' && DropUnits(line, 2, rest) && !rest.empty())
            paths.push_back(rest);
    });
    return paths;
}
