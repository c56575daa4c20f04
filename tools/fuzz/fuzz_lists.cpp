// libFuzzer target of the list files: the input, as it is and behind each mark (FF FE for UTF-16LE,
// EF BB BF for UTF-8; without one it is Windows-1252 unless it begins with a mark itself), is written
// to a file and read by the program's readers: the line reader, the section reader with a name taken
// from the input, the index loaders, the playlist loader and the playlist delete, which rewrites the
// track file.
//
// Besides crashes, the run stops when a reader breaks what the others rely on: a line that is empty
// or holds CR, LF or NUL; a Windows-1252 line that is not UTF-8; lines that do not come back through
// the writer; the reader of whole files, the line visitor and the decoder disagreeing; a section
// reader that disagrees with the section walk over every line; a delete that leaves a line of its
// playlist or loses a line of another.

#include "fuzz_files.h"
#include "library/library.h"
#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// The paths of the sections `name`, found through the section walk over every line.
Lines SectionPaths(const Lines &lines, const std::string &name) {
    const std::vector<bool> inside = InsideSections(lines, name);
    Lines paths;
    std::string rest;
    for (size_t i = 0; i < lines.size(); ++i)
        if (inside[i] && lines[i][0] != '!' && DropUnits(lines[i], 2, rest) && !rest.empty())
            paths.push_back(rest);
    return paths;
}

bool IsUtf8(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        i += DecodeUtf8(text, i, cp);
        if (cp >= 0xDC80 && cp <= 0xDCFF) return false; // a byte that begins no sequence
    }
    return true;
}

// Reads `bytes` as a list file; the last input byte picks the line whose name (after its first
// character) the section readers look for.
void ReadAsListFile(const std::string &bytes, uint8_t pick, bool rewrite) {
    const std::string path = ListFolder + PlaylistTrackFile;
    FuzzWriteFile(path, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());

    Lines lines, read, visited;
    const bool decoded = DecodeTextLines(bytes, lines);
    FuzzCheck(ReadTextLines(path, read) == decoded && read == lines,
              "the file reader and the decoder differ");
    FuzzCheck(VisitTextLines(bytes, [&](std::string &&line) { visited.push_back(std::move(line)); }) ==
                      decoded &&
                  visited == lines,
              "the line visitor and the decoder differ");
    if (!decoded) {
        FuzzCheck(lines.empty(), "an unreadable file gave lines");
        return;
    }
    const bool cp1252 = bytes.substr(0, 2) != "\xFF\xFE" && bytes.substr(0, 3) != "\xEF\xBB\xBF";
    for (const std::string &line : lines) {
        FuzzCheck(!line.empty(), "an empty line was returned");
        FuzzCheck(!HasLineEnd(line), "a line holds CR, LF or NUL");
        FuzzCheck(!cp1252 || IsUtf8(line), "a Windows-1252 line is not UTF-8");
    }
    Lines again;
    FuzzCheck(DecodeTextLines(EncodeTextLines(lines), again) && again == lines,
              "the lines do not come back through the writer");

    std::string name;
    if (!lines.empty()) DropUnits(lines[pick % lines.size()], 1, name);
    const Lines paths = ReadSection(path, name);
    FuzzCheck(paths == SectionPaths(lines, name), "the section reader and the section walk differ");
    for (const std::string &p : paths) FuzzCheck(!p.empty() && !HasLineEnd(p), "a bad path in a section");
    for (const std::string &taken : LoadPlaylist(name)) {
        FuzzCheck(std::find(paths.begin(), paths.end(), taken) != paths.end(),
                  "the playlist loader handed on a path the section does not hold");
        FuzzCheck(IsMusicExtension(ExtensionOf(taken)),
                  "the playlist loader handed on a file that is no DSF/DFF");
    }

    if (!rewrite) return;
    // The index loaders on the same bytes: every line a name, the playlist names sorted.
    for (const char *index : {PlaylistIndexFile, "lpli1.la"})
        FuzzWriteFile(ListFolder + index, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    PlaylistNames = {"stale"};
    LibraryOne = {"stale"};
    LoadPlaylistIndex();
    LoadLibraryIndex();
    if (bytes.empty()) {
        FuzzCheck(PlaylistNames == Lines{"stale"} && LibraryOne == Lines{"stale"},
                  "an empty index was loaded");
    } else {
        FuzzCheck(LibraryOne == lines, "the library index differs from the file's lines");
        Lines sorted = lines;
        std::stable_sort(sorted.begin(), sorted.end(), [](const std::string &a, const std::string &b) {
            return CompareIgnoringCase(a, b) < 0;
        });
        FuzzCheck(PlaylistNames == sorted, "the playlist index is not the file's lines sorted");
    }

    // Deleting the playlist takes its sections out of the track file and keeps every other line.
    PlaylistNames = {name};
    DeletePlaylistFiles(0);
    Lines kept, after;
    const std::vector<bool> inside = InsideSections(lines, name);
    for (size_t i = 0; i < lines.size(); ++i)
        if (!inside[i]) kept.push_back(lines[i]);
    FuzzCheck(ReadTextLines(path, after) && after == kept, "the delete did not keep exactly the other lines");
    FuzzCheck(PlaylistNames.empty(), "the deleted name is still listed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (ListFolder.empty()) ListFolder = FuzzFolder();
    const std::string input(reinterpret_cast<const char *>(data), size);
    const uint8_t pick = size ? data[size - 1] : 0;
    ReadAsListFile(input, pick, true);
    ReadAsListFile("\xFF\xFE" + input, pick, false);
    ReadAsListFile("\xEF\xBB\xBF" + input, pick, false);
    return 0;
}
