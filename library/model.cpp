// The list model: the two play lists, the library and playlist names, the shown view, and the append
// that every way of adding a track ends in.

#include "library.h"

// --- state: written on the main thread; List1 and List2 change only under ListLock, which a reader
// on another thread (the audio thread opening the next track) takes as well
std::mutex ListLock;
std::vector<ListEntry> List1;
std::vector<ListEntry> List2;
// --- main thread only
int64_t ListBytes1 = 0;
int64_t ListBytes2 = 0;
std::vector<std::string> LibraryOne;
std::vector<std::string> PlaylistNames;
uint8_t ActiveView = ViewPlaylists; // the view shown when the event loop starts
std::string ListFolder;         // set by the settings loader at start-up, before any list file is read
std::array<std::string, DriveSlotCount> DriveSlots;
ListEntry TrackInfo; // written by the track probe
// --- end of state

int AppendTrackInfo() {
    std::vector<ListEntry> *target = nullptr;
    int64_t *bytes = nullptr;
    if (ActiveView == ViewList1 && List1.size() < MaxListEntries) {
        target = &List1;
        bytes = &ListBytes1;
    } else if (ActiveView == ViewList2 && List2.size() < MaxListEntries) {
        target = &List2;
        bytes = &ListBytes2;
    }
    if (!target) return -1;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        target->push_back(TrackInfo);
    }
    *bytes += TrackInfo.Length;
    return static_cast<int>(target->size()) - 1;
}
