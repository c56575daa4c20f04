// Cover lookup: pictures found beside a track on disk, never inside the audio file.

#include "library.h"

#include "platform/files.h"

#include <array>

namespace {

// The first file (not a folder) of `folder` matching `pattern` for which `wanted` holds, as
// folder + its name; "" when there is none or the folder cannot be listed.
template <typename Wanted>
std::string FirstFile(const std::string &folder, const std::string &pattern, Wanted wanted) {
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder, pattern, entries, ListDetail::FolderDetails)) return "";
    for (const DirEntry &e : entries)
        if (!e.IsDirectory && wanted(e.Name)) return folder + e.Name;
    return "";
}

// A fixed cover name: the file name without its extension, lower-cased.
bool IsCoverName(const std::string &name) {
    size_t dot = name.rfind('.');
    std::string stem = name.substr(0, dot);
    for (char &c : stem)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return stem == "cover" || stem == "front" || stem == "folder";
}

// The file name of a track without its extension (the text after its last dot).
std::string BaseName(const std::string &track_path) {
    std::string name = FileNameOf(track_path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace

std::string FindFolderCover(const std::string &track_path) {
    const std::string folder = FolderOf(track_path), art = folder + "Art/";
    const std::array<std::pair<const std::string *, const char *>, 4> passes = {
        {{&art, "*.png"}, {&folder, "*.png"}, {&art, "*.jpg"}, {&folder, "*.jpg"}}};
    for (const auto &[where, pattern] : passes) {
        std::string found = FirstFile(*where, pattern, IsCoverName);
        if (!found.empty()) return found;
    }
    return "";
}

std::string FindTrackCover(const std::string &track_path) {
    const std::string art = FolderOf(track_path) + "Art/", base = BaseName(track_path);
    const std::string prefix = CutToUnits(base, 2);
    for (const std::string &pattern : {base + ".png", base + ".jpg", prefix + "*.png", prefix + "*.jpg"}) {
        std::string found = FirstFile(art, pattern, [](const std::string &) { return true; });
        if (!found.empty()) return found;
    }
    return "";
}
