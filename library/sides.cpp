// The sides of an album or playlist longer than a list: where its next load goes on, and the mark
// its name shows on the panel while that is past its first track.

#include "library.h"

// --- state: main thread only
std::map<std::pair<uint8_t, std::string>, Side> Sides;
// --- end of state

namespace {

// Where the side's next load begins: at Next while a path from there on is outside the lists, else
// at the first path again.
size_t SideBegin(const Side &side) {
    for (size_t k = side.Next; k < side.Paths.size(); ++k)
        if (!InAList(side.Paths[k])) return side.Next;
    return 0;
}

// The indexes of up to `count` paths from `from` on that no list holds.
std::vector<size_t> PathsOutsideLists(const Side &side, size_t from, size_t count) {
    std::vector<size_t> taken;
    for (size_t k = from; k < side.Paths.size() && taken.size() < count; ++k)
        if (!InAList(side.Paths[k])) taken.push_back(k);
    return taken;
}

} // namespace

bool InAList(const std::string &path) {
    for (int list = 1; list <= 2; ++list)
        for (const ListEntry &entry : ListOf(list).Entries)
            if (entry.Path == path) return true;
    return false;
}

Side &BeginSide(uint8_t view, const std::string &name, std::vector<std::string> paths) {
    Side &side = Sides[{view, name}];
    if (side.Paths != paths) side = Side{std::move(paths), 0};
    side.Next = SideBegin(side);
    return side;
}

std::vector<std::string> TakeSidePaths(Side &side, size_t count) {
    std::vector<std::string> paths;
    for (size_t k : PathsOutsideLists(side, side.Next, count)) {
        paths.push_back(side.Paths[k]);
        side.Next = k + 1;
    }
    return paths;
}

std::string SideMark(uint8_t view, const std::string &name) {
    const auto found = Sides.find({view, name});
    if (found == Sides.end() || found->second.Paths.size() <= MaxListEntries) return "";
    const Side &side = found->second;
    const size_t begin = SideBegin(side);
    const std::vector<size_t> next = PathsOutsideLists(side, begin, MaxListEntries);
    if (begin == 0 || next.empty()) return "";
    std::string mark = std::to_string(next.front() + 1);
    if (next.size() > 1) mark += "-" + std::to_string(next.back() + 1);
    return mark + " of " + std::to_string(side.Paths.size());
}
