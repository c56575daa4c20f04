// The list commands: appending a probed track, removing and moving entries, scrolling the panel,
// emptying the lists, and filling them from the open dialog, a drop or a double-click.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "view/view.h"
#include "windows/windows.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

// Files named in a box before "and N more": enough to recognise an album, few enough to read.
constexpr size_t NamedFiles = 5;

// --- main thread: what the files handed in together came to, shown as one box when the outermost
// batch ends (FileBatch)
int BatchDepth = 0;
std::vector<std::pair<std::string, std::string>> Refused; // file name, reason
size_t RefusedCount = 0;                                  // all refused, named or not
bool RateTooHigh = false;                                 // some file's rate is above the device's
std::vector<std::string> Homeless;                        // file names that found no room
size_t HomelessCount = 0;
// --- end of state

void NoteRefused(const std::string &path, const std::string &reason) {
    if (Refused.size() < NamedFiles) Refused.emplace_back(FileNameOf(path), reason);
    ++RefusedCount;
}

void NoteHomeless(const std::string &path) {
    if (Homeless.size() < NamedFiles) Homeless.push_back(FileNameOf(path));
    ++HomelessCount;
}

// The number of elements of the list the panel shows.
size_t ShownCount() {
    if (const int list = ShownList()) return ListOf(list).Entries.size();
    if (ActiveView == ViewPlaylists) return PlaylistNames.size();
    if (ActiveView == ViewLibrary) return LibraryOne.size();
    return 0;
}

} // namespace

bool AppendToActiveList(const ListEntry &entry) {
    const int list = ShownList();
    const int index = AppendEntry(list, entry);
    if (index >= 0) {
        AcceptRunRate(entry);
        DrawListRow(index, entry.DisplayTitle, entry.DurationText);
        DrawListButton(list);
        // A list's first entry brings its cover while nothing plays.
        if (index == 0 && PlaybackIdle()) {
            if (IsCoverPath(entry.CoverPath))
                ShowCover(entry.CoverPath);
            else
                RemoveCover();
        }
    }
    // Long loads keep the window painted.
    PassOneWindowEvent();
    return index >= 0;
}

FileBatch::FileBatch() {
    ++BatchDepth;
}

FileBatch::~FileBatch() {
    if (--BatchDepth > 0) return;
    const std::string text = FileBatchText(Refused, RefusedCount, Homeless, HomelessCount);
    const bool rate = RateTooHigh;
    Refused.clear();
    Homeless.clear();
    RefusedCount = HomelessCount = 0;
    RateTooHigh = false;
    if (rate) MessageBox("DSD Native", "Sample rate is too high.", 0x1000 | MessageIconInformation);
    if (!text.empty()) MessageBox("Error", text, 0x1000 | MessageIconStop);
}

std::string FileBatchText(const std::vector<std::pair<std::string, std::string>> &refused,
                          size_t refused_count, const std::vector<std::string> &homeless,
                          size_t homeless_count) {
    std::string text;
    for (const auto &[name, reason] : refused)
        text += (text.empty() ? "" : "\n\n") + ("Error of the file '" + name + "'\n") + reason;
    auto more = [](size_t n) { return "and " + std::to_string(n) + (n == 1 ? " more file" : " more files"); };
    if (refused_count > refused.size()) text += "\n\n" + more(refused_count - refused.size());
    if (homeless_count > 0) {
        std::string names;
        for (size_t i = 0; i < homeless.size(); ++i)
            names += (i == 0                                                          ? "'"
                      : i + 1 == homeless.size() && homeless_count == homeless.size() ? " and '"
                                                                                      : ", '") +
                     homeless[i] + "'";
        if (homeless_count > homeless.size()) names += " " + more(homeless_count - homeless.size());
        text += (text.empty() ? "" : "\n\n") + ("No room in List 1 or List 2 for " + names);
    }
    return text;
}

void AddTracks(const std::vector<std::string> &paths, bool drain, bool overflow) {
    FileBatch batch;
    for (const std::string &path : paths) {
        if (!PathFitsSystem(path)) continue; // names no file: refused before it is looked at
        const std::string extension = ExtensionOf(path);
        if (!IsMusicExtension(extension)) continue;
        // With both lists full nothing is probed: the file is only named.
        const bool full =
            ListOf(1).Entries.size() >= MaxListEntries && ListOf(2).Entries.size() >= MaxListEntries;
        if (overflow && full) {
            NoteHomeless(path);
            continue;
        }
        const ProbedTrack probe = ProbeTrack(path, extension);
        if (probe.Result == ProbeUnreadable) NoteRefused(path, probe.Reason);
        if (probe.Result == ProbeRateTooHigh) RateTooHigh = true;
        if (probe && !AppendToActiveList(probe.Entry) && overflow) {
            // The shown list is full: the other one takes it, without showing it.
            const int other = ShownList() == 2 ? 1 : 2;
            if (AppendEntry(other, probe.Entry) >= 0) {
                AcceptRunRate(probe.Entry);
                DrawListButton(other);
            } else {
                NoteHomeless(path);
            }
        }
        if (drain) DrainWindowEvents();
    }
}

void RemoveSelectedEntry() {
    const int list = ShownList();
    if (list == 0) return;
    const int32_t i = ListOf(list).Selected;
    // The last entry of a list is not removed this way.
    if (ListOf(list).Entries.size() <= 1 || i < 0 || static_cast<size_t>(i) >= ListOf(list).Entries.size())
        return;
    RemoveEntry(list, static_cast<size_t>(i));
    // The row of the entry before the removed one is highlighted and becomes the selection.
    DrawListPanel(ActiveView, i, ListPage);
    DrawListButton(list);
}

void MoveSelectedEntry(int direction) {
    const int list = ShownList();
    if (list == 0) return;
    const int32_t i = ListOf(list).Selected;
    const int32_t n = static_cast<int32_t>(ListOf(list).Entries.size());
    const int first = ListPage * PageStep;
    if (direction == 1 && n > 1 && i > 0 && i < n) {
        SwapEntries(list, size_t(i) - 1, size_t(i));
        DrawListPanel(ActiveView, i - first, ListPage); // the moved entry stays selected
    } else if (direction == 2 && n > 1 && i >= 0 && i < n - 1) {
        SwapEntries(list, size_t(i), size_t(i) + 1);
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
    if (const int list = ShownList()) {
        ClearList(list);
        DrawListButton(list);
    }
    if (BothListsEmpty()) ResetRunRate();
    BlankListPanel();
}

void EmptyBothLists() {
    for (int list = 1; list <= 2; ++list) {
        ClearList(list);
        DrawListButton(list);
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

void RestoreLists() {
    SavedLists saved;
    if (!ReadSavedLists(saved)) return;
    for (int list = 1; list <= 2; ++list) {
        ActiveView = static_cast<uint8_t>(list);
        for (const std::string &path : saved.Paths[size_t(list - 1)])
            if (FileReadable(path)) AddTracks({path});
    }
    if (ListOfView(saved.View) != 0)
        ShowList(saved.View);
    else
        ShowNames(saved.View);
}

void OpenAudioFiles() {
    const std::vector<std::string> files =
        OpenFileDialog("Open Audio files", "*.*", "*.DSF,*.DFF,*.WV|*.DSF;*.DFF;*.WV", true);
    if (files.empty()) return;
    if (ActiveView == ViewPlaylists) {
        ActiveView = ViewList1;
        ListPage = 0;
        DrawListPanel(ViewList1, 0, 0);
    }
    AddTracks(files, true);
}

void AddOutsideFiles(const std::vector<std::string> &paths) {
    FileBatch batch;
    if (ActiveView != ViewList1 && ActiveView != ViewList2) {
        ActiveView = ViewList1;
        ListPage = 0;
        DrawListPanel(ViewList1, 0, 0);
    }
    if (paths.size() == 1 && IsDirectory(paths[0]))
        AddTracks(AddFolderFiles(paths[0] + "/"), false, true);
    else
        AddTracks(paths, false, true);
}

void DropFiles(const std::vector<std::string> &paths) {
    if (ActiveView == ViewPlaylists && !ListOf(1).Entries.empty()) return;
    // One folder alone: its own music files go to List 1. What it is on disk decides, not its name
    // ("Live.2019" is a folder all the same).
    if (paths.size() == 1 && IsDirectory(paths[0])) {
        ActiveView = ViewList1;
        ListPage = 0;
        DrawListPanel(ViewList1, 0, 0);
        AddTracks(AddFolderFiles(paths[0] + "/"));
        return;
    }
    if (ActiveView == ViewPlaylists) {
        ActiveView = ViewList1;
        BlankListPanel();
    }
    AddTracks(paths);
}

void ChooseFromPanel() {
    if (PointerOverWindow(MainWindow) && PointerOverControl(ListPanel))
        ChoosePanelRow(RowUnderPointer(ListPanel));
}

void ChoosePanelRow(int row) {
    const std::vector<std::string> *names = ActiveView == ViewPlaylists ? &PlaylistNames
                                            : ActiveView == ViewLibrary ? &LibraryOne
                                                                        : nullptr;
    if (!names || names->empty()) return;
    const int k = ListPage * PageStep + row - 1;
    if (row <= 0 || k < 0 || static_cast<size_t>(k) >= names->size()) return;
    // An empty list takes it, List 1 first; with both holding tracks nothing is loaded.
    const uint8_t target = ListOf(1).Entries.empty() ? ViewList1 : ListOf(2).Entries.empty() ? ViewList2 : 0;
    if (target == 0) return;
    const std::string name = (*names)[static_cast<size_t>(k)];
    const uint8_t view = ActiveView;
    ActiveView = target;
    DrawListPanel(target, 0, 0);
    ListPage = 0;
    // Probing an album's files may take a while: the busy cursor says so. Its refusals make one box.
    FileBatch batch;
    SetBusyCursor(MainWindow, true);
    Side &side = BeginSide(view, name, view == ViewPlaylists ? LoadPlaylist(name) : LoadAlbum(name, 1));
    if (side.Paths.size() <= MaxListEntries) {
        AddTracks(side.Paths);
    } else {
        // One side of a longer one: the list filled with its next tracks that no list holds. A track
        // the probe refuses leaves its place to the one after it, and the next load goes on after
        // the last track tried.
        const std::vector<ListEntry> &list = ListOf(ListOfView(target)).Entries;
        while (list.size() < MaxListEntries) {
            const std::vector<std::string> more = TakeSidePaths(side, MaxListEntries - list.size());
            if (more.empty()) break;
            AddTracks(more);
        }
    }
    SetBusyCursor(MainWindow, false);
}

void WritePlaylist() {
    // A copy: the list must stay as it is while the dialog runs.
    const int list = ShownList();
    const std::vector<ListEntry> entries = list == 0 ? std::vector<ListEntry>{} : ListOf(list).Entries;
    if (entries.empty()) return;
    std::string name;
    if (!AskPlaylistName(name)) return;
    ShowWriteFailure(WritePlaylistFiles(name, entries));
}

void DeletePlaylist(size_t position) {
    if (position >= PlaylistNames.size() || !ConfirmPlaylistDelete(PlaylistNames[position])) return;
    ShowWriteFailure(DeletePlaylistFiles(position));
    // The names move up: the panel starts again at its first page.
    ListPage = 0;
    DrawListPanel(ActiveView, 0, 0);
}

void SortShownList(int mode) {
    if (SortActiveList(mode)) DrawListPanel(ActiveView, 0, 0);
}

void ScanDriveSlotIntoLibrary(size_t slot) {
    SetBusyCursor(MainWindow, true);
    const std::optional<WriteResult> scanned = ScanDriveSlot(slot);
    SetBusyCursor(MainWindow, false);
    if (!scanned) return;
    ShowWriteFailure(*scanned);
    ActiveView = ViewLibrary;
    ListPage = 0;
    DrawListPanel(ViewLibrary, 0, 0);
}

void ShowWriteFailure(const WriteResult &result) {
    if (result) return;
    MessageBox("Error", "Can't write the file '" + result.File + "': " + std::strerror(result.Error),
               MessageIconStop);
}
