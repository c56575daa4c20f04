// The list model: the two play lists, the library and playlist names, the shown view, and the
// changes of a list that every list command ends in.

#include "library.h"

#include <cassert>

// --- state: written on the main thread; the entries of the play lists change only under ListLock,
// which a reader on another thread (the audio thread opening the next track) takes as well
std::mutex ListLock;
std::array<PlayList, 2> PlayLists;
// --- main thread only
std::vector<std::string> LibraryOne;
std::vector<std::string> PlaylistNames;
uint8_t ActiveView = ViewPlaylists; // the view shown when the event loop starts
std::string ListFolder;             // set by the settings loader at start-up, before any list file is read
// --- end of state

PlayList &ListOf(int list) {
    assert((list == 1 || list == 2) && "a play list is List 1 or List 2");
    return PlayLists[list == 2 ? 1 : 0];
}

int ListOfView(int view) {
    return view == ViewList1 ? 1 : view == ViewList2 ? 2 : 0;
}

int ShownList() {
    return ListOfView(ActiveView);
}

int AppendEntry(int list, const ListEntry &entry) {
    if (list != 1 && list != 2) return -1;
    PlayList &target = ListOf(list);
    if (target.Entries.size() >= MaxListEntries) return -1;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        target.Entries.push_back(entry);
    }
    target.Bytes += entry.Length;
    return static_cast<int>(target.Entries.size()) - 1;
}

void RemoveEntry(int list, size_t index) {
    PlayList &target = ListOf(list);
    if (index >= target.Entries.size()) return;
    target.Bytes -= target.Entries[index].Length;
    std::lock_guard<std::mutex> guard(ListLock);
    target.Entries.erase(target.Entries.begin() + static_cast<std::ptrdiff_t>(index));
}

void SwapEntries(int list, size_t a, size_t b) {
    PlayList &target = ListOf(list);
    if (a >= target.Entries.size() || b >= target.Entries.size()) return;
    std::lock_guard<std::mutex> guard(ListLock);
    std::swap(target.Entries[a], target.Entries[b]);
}

void ClearList(int list) {
    PlayList &target = ListOf(list);
    {
        std::lock_guard<std::mutex> guard(ListLock);
        target.Entries.clear();
    }
    target.Bytes = 0;
    target.Selected = 0;
}

bool BothListsEmpty() {
    return PlayLists[0].Entries.empty() && PlayLists[1].Entries.empty();
}

EntryPlace FindEntry(int32_t track_id) {
    for (int list = 1; list <= 2; ++list) {
        const std::vector<ListEntry> &entries = ListOf(list).Entries;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].TrackId == track_id) return {list, i};
    }
    return {};
}
