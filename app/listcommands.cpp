// The list commands: appending a probed track, removing and moving entries, scrolling the panel,
// emptying the lists, and filling them from the open dialog, a drop or a double-click.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "view/view.h"
#include "windows/windows.h"

#include <algorithm>
#include <mutex>

namespace {

// The list of view 1 or 2 with its byte total and selection; null pointers for views 3 and 4.
struct ShownList {
    std::vector<ListEntry> *entries = nullptr;
    int64_t *bytes = nullptr;
    int32_t *selected = nullptr;
    int number = 0; // 1 or 2
};

ShownList ListOfView(int view) {
    if (view == ViewList1) return {&List1, &ListBytes1, &SelectedIndex1, 1};
    if (view == ViewList2) return {&List2, &ListBytes2, &SelectedIndex2, 2};
    return {};
}

// The number of elements of the list the panel shows.
size_t ShownCount() {
    switch (ActiveView) {
    case ViewList1: return List1.size();
    case ViewList2: return List2.size();
    case ViewPlaylists: return PlaylistNames.size();
    case ViewLibrary: return LibraryOne.size();
    default: return 0;
    }
}

// Both lists are empty: the next track accepted sets the run's rate anew.
void ResetRunRate() {
    OutputFrequency = 0;
    SessionDsdRate = 0;
    ShowRateLabel("");
}

} // namespace

void AppendToActiveList() {
    const int index = AppendTrackInfo();
    if (index >= 0) {
        const ListEntry &entry = (ActiveView == ViewList1 ? List1 : List2)[static_cast<size_t>(index)];
        DrawListRow(index, entry.DisplayTitle, entry.DurationText);
        DrawListButton(ActiveView);
        // A list's first entry brings its cover while nothing plays.
        if (index == 0 && PlayingList.load(std::memory_order_acquire) == 0) {
            if (IsCoverPath(entry.CoverPath))
                ShowCover(entry.CoverPath);
            else
                RemoveCover();
        }
    }
    // Long loads keep the window painted.
    PassOneWindowEvent();
}

bool ProbeAndAppend(const std::string &path, const std::string &extension) {
    if (!ProbeTrack(path, extension)) return false;
    AppendToActiveList();
    return true;
}

void RemoveSelectedEntry() {
    ShownList shown = ListOfView(ActiveView);
    if (!shown.entries) return;
    const int32_t i = *shown.selected;
    // The last entry of a list is not removed this way.
    if (shown.entries->size() <= 1 || i < 0 || static_cast<size_t>(i) >= shown.entries->size()) return;
    *shown.bytes -= (*shown.entries)[static_cast<size_t>(i)].Length;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        shown.entries->erase(shown.entries->begin() + i);
    }
    // The row of the entry before the removed one is highlighted and becomes the selection.
    DrawListPanel(ActiveView, i, ListPage);
    DrawListButton(shown.number);
}

void MoveSelectedEntry(int direction) {
    ShownList shown = ListOfView(ActiveView);
    if (!shown.entries) return;
    const int32_t i = *shown.selected;
    const int32_t n = static_cast<int32_t>(shown.entries->size());
    const int first = ListPage * PageStep;
    if (direction == 1 && n > 1 && i > 0 && i < n) {
        {
            std::lock_guard<std::mutex> guard(ListLock);
            std::swap((*shown.entries)[size_t(i) - 1], (*shown.entries)[size_t(i)]);
        }
        DrawListPanel(ActiveView, i - first, ListPage); // the moved entry stays selected
    } else if (direction == 2 && n > 1 && i >= 0 && i < n - 1) {
        {
            std::lock_guard<std::mutex> guard(ListLock);
            std::swap((*shown.entries)[size_t(i)], (*shown.entries)[size_t(i) + 1]);
        }
        DrawListPanel(ActiveView, i - first + 2, ListPage);
    }
}

void ScrollPanelUp() {
    if (ListPage <= 0) return;
    --ListPage;
    DrawListPanel(ActiveView, 0, ListPage);
}

void ScrollPanelDown() {
    // Steps of six rows, and none once the last element is visible.
    if (ShownCount() <= static_cast<size_t>(VisibleRows + ListPage * PageStep)) return;
    ++ListPage;
    DrawListPanel(ActiveView, 0, ListPage);
}

void EmptyShownList() {
    ShownList shown = ListOfView(ActiveView);
    if (shown.entries) {
        {
            std::lock_guard<std::mutex> guard(ListLock);
            shown.entries->clear();
        }
        *shown.bytes = 0;
        *shown.selected = 0;
        DrawListButton(shown.number);
    }
    if (List1.empty() && List2.empty()) ResetRunRate();
    BlankListPanel();
}

void EmptyBothLists() {
    ListBytes1 = 0;
    SelectedIndex1 = 0;
    DrawListButton(1);
    ListBytes2 = 0;
    SelectedIndex2 = 0;
    DrawListButton(2);
    {
        std::lock_guard<std::mutex> guard(ListLock);
        List1.clear();
        List2.clear();
    }
    ResetRunRate();
    BlankListPanel();
    if (ViewCover > 0) RemoveCover();
    ActiveView = ViewList1;
    ListPage = 0;
}

void BlankListPanel() {
    ListPage = 0;
    if (!StartDrawing(CanvasOutput(ListPanel))) return;
    DrawImage(PanelBackground, 0, 0);
    StopDrawing();
}

void OpenAudioFiles() {
    const std::vector<std::string> files =
        OpenFileDialog("Open Audio files", "*.*", "*.DSF,*.DFF|*.DSF;*.DFF", true);
    if (files.empty()) return;
    if (ActiveView == ViewPlaylists) {
        ActiveView = ViewList1;
        ListPage = 0;
        DrawListPanel(ViewList1, 0, 0);
    }
    for (const std::string &path : files) {
        const std::string extension = ExtensionOf(path);
        if (IsMusicExtension(extension)) ProbeAndAppend(path, extension);
        DrainWindowEvents();
    }
}

void DropFiles(const std::string &items) {
    if (ActiveView == ViewPlaylists && !List1.empty()) return;
    std::vector<std::string> paths;
    for (size_t start = 0;;) {
        const size_t end = items.find('\n', start);
        paths.push_back(items.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // One item without an extension is a folder: its own music files go to List 1. (A folder whose
    // name holds a dot, such as "Live.2019", counts as a file and is skipped.)
    if (paths.size() == 1 && ExtensionOf(paths[0]).empty()) {
        ActiveView = ViewList1;
        ListPage = 0;
        DrawListPanel(ViewList1, 0, 0);
        AddFolderFiles(paths[0] + "/", ProbeAndAppend);
        return;
    }
    for (const std::string &path : paths) {
        if (ActiveView == ViewPlaylists) {
            ActiveView = ViewList1;
            BlankListPanel();
        }
        const std::string extension = ExtensionOf(path);
        if (IsMusicExtension(extension)) ProbeAndAppend(path, extension);
    }
}

void ChooseFromPanel() {
    if (PointerOverWindow(MainWindow) && PointerOverControl(ListPanel)) ChoosePanelRow(RowUnderPointer(ListPanel));
}

void ChoosePanelRow(int row) {
    const std::vector<std::string> *names = ActiveView == ViewPlaylists ? &PlaylistNames
                                            : ActiveView == ViewLibrary ? &LibraryOne
                                                                        : nullptr;
    if (!names || names->empty()) return;
    const int k = ListPage * PageStep + row - 1;
    if (row <= 0 || k < 0 || static_cast<size_t>(k) >= names->size()) return;
    // An empty list takes it, List 1 first; with both holding tracks nothing is loaded.
    const uint8_t target = List1.empty() ? ViewList1 : List2.empty() ? ViewList2 : 0;
    if (target == 0) return;
    const std::string name = (*names)[static_cast<size_t>(k)];
    const bool playlist = ActiveView == ViewPlaylists;
    ActiveView = target;
    DrawListPanel(target, 0, 0);
    ListPage = 0;
    // Probing an album's files may take a while: the busy cursor says so.
    SetBusyCursor(MainWindow, true);
    if (playlist)
        LoadPlaylist(name, ProbeAndAppend);
    else
        LoadAlbum(name, 1, ProbeAndAppend);
    SetBusyCursor(MainWindow, false);
}

void WritePlaylist() {
    // A copy: the list must stay as it is while the dialog runs.
    const std::vector<ListEntry> entries = ActiveView == ViewList1 ? List1 : ActiveView == ViewList2 ? List2
                                                                                                   : std::vector<ListEntry>{};
    if (entries.empty()) return;
    std::string name;
    if (!AskPlaylistName(name)) return;
    WritePlaylistFiles(name, entries);
}

void DeletePlaylist(size_t position) {
    if (position >= PlaylistNames.size() || !ConfirmPlaylistDelete(PlaylistNames[position])) return;
    DeletePlaylistFiles(position);
    // The names move up: the panel starts again at its first page.
    ListPage = 0;
    DrawListPanel(ActiveView, 0, 0);
}

void SortShownList(int mode) {
    if (SortActiveList(mode)) DrawListPanel(ActiveView, 0, 0);
}

void ScanDriveSlotIntoLibrary(size_t slot) {
    SetBusyCursor(MainWindow, true);
    const bool scanned = ScanDriveSlot(slot);
    SetBusyCursor(MainWindow, false);
    if (!scanned) return;
    ActiveView = ViewLibrary;
    ListPage = 0;
    DrawListPanel(ViewLibrary, 0, 0);
}
