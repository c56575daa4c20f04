// The main window's commands: one table from which the keys are bound, the pop-up menus are built,
// and the keys, menu items and left clicks are dispatched.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "view/view.h"

#include <iterator>

namespace {

enum CommandGuard {
    Always,
    WhileIdle,       // only while no list plays (PlayingList 0)
    WhilePlaying,    // only while a list plays
    WhileListShown,  // only while List 1 or List 2 is shown
    WhileNamesShown, // only while the playlists are shown and at least two exist
};

struct Command {
    int Number;         // the key's or menu item's command number; 0 for a click only
    int Control;        // the control whose left click runs it; 0 for none
    int Key;            // the key bound to it (with its modifiers); 0 for none
    CommandGuard Guard; // when it may run
    void (*Run)();
    int Menu = 0;               // the pop-up menu holding it as an item; 0 for none
    const char *Item = nullptr; // the item's text; a row of a menu without a command is a separator
};

// Where Play starts from idle: the list shown, at its selected entry; nothing on the other views.
PlayStart ShownStart() {
    const int list = ShownList();
    return list == 0 ? PlayStart{} : PlayStart{list, ListOf(list).Selected};
}

void EmptyListClick() {
    if (ViewCover > 0) RemoveCover();
    EmptyShownList();
}

// The playlist under the pointer of the right click that opened the menu.
void DeletePlaylistUnderPointer() {
    const int row = RowUnderPointer(ListPanel);
    const int k = ListPage * PageStep + row - 1;
    if (row > 0 && k >= 0 && static_cast<size_t>(k) < PlaylistNames.size())
        DeletePlaylist(static_cast<size_t>(k));
}

template <size_t Slot>
void ScanSlot() {
    ScanDriveSlotIntoLibrary(Slot);
}

constexpr int SeekStepSeconds = 10; // Left and Right

// A seek from the window: the desktop hears of the new position.
void SeekBy(int seconds) {
    if (SeekBySeconds(seconds)) AnnounceSeek();
}
void SeekAtBar() {
    if (SeekAtPointer()) AnnounceSeek();
}

void SelectPanelRow() {
    DrawListPanel(ActiveView, RowUnderPointer(ListPanel), ListPage);
}

// In the order of the left-click dispatch: the first control under the pointer decides. Controls
// of the main window do not overlap, so the order matters only for reading.
const Command Commands[] = {
    {0, List1Button, 0, Always, [] { ShowList(ViewList1); }},
    {0, List2Button, 0, Always, [] { ShowList(ViewList2); }},
    {0, ListsButton, 0, Always, [] { ShowNames(ViewPlaylists); }},
    {0, LibraryButton, 0, Always, [] { ShowNames(ViewLibrary); }},
    {0, EmptyListButton, 0, Always, EmptyListClick},
    {CmdNext, NextText, KeyN, WhilePlaying, TransportNext},
    {0, PauseText, 0, WhilePlaying, TogglePause},
    {CmdStop, StopText, KeyS, Always, TransportStop},
    {CmdPlay, PlayText, KeyP, WhileIdle, [] { TransportPlay(ShownStart()); }},
    {0, OpenButton, 0, Always, OpenAudioFiles},
    {0, PositionBar, 0, WhilePlaying, SeekAtBar},
    {0, ListPanel, 0, Always, SelectPanelRow},
    {CmdScrollUp, ScrollUpButton, KeyUp, Always, ScrollPanelUp},
    {CmdScrollDown, ScrollDownButton, KeyDown, Always, ScrollPanelDown},
    {0, CloseButton, 0, Always, [] { CloseSequence(); }},
    {0, MinimizeButton, 0, Always, [] { MinimizeWindow(MainWindow); }},
    // Space pauses and resumes while a list plays, and starts playback while idle.
    {CmdPlayPause, 0, KeySpace, Always, [] { TransportPause(true, ShownStart()); }},
    {CmdSeekBack, 0, KeyLeft, WhilePlaying, [] { SeekBy(-SeekStepSeconds); }},
    {CmdSeekForward, 0, KeyRight, WhilePlaying, [] { SeekBy(SeekStepSeconds); }},
    {CmdRemove, 0, KeyDelete, WhileIdle, RemoveSelectedEntry},
    {CmdMoveUp, 0, KeyControl | KeyUp, WhileIdle, [] { MoveSelectedEntry(1); }},
    {CmdMoveDown, 0, KeyControl | KeyDown, WhileIdle, [] { MoveSelectedEntry(2); }},
    {CmdEmptyBoth, 0, KeyControl | KeyC, Always, EmptyBothLists},
    // The list menu over the panel of List 1 or List 2.
    {CmdSortByName, 0, 0, WhileListShown, [] { SortShownList(1); }, ListMenu, "Sort by name"},
    {CmdSortRandom, 0, 0, WhileListShown, [] { SortShownList(2); }, ListMenu, "Sort by random"},
    {0, 0, 0, Always, nullptr, ListMenu, nullptr},
    {CmdWritePlaylist, 0, 0, WhileListShown, WritePlaylist, ListMenu, "Write Playlist"},
    // The playlist menu over the panel of the playlists.
    {CmdDeletePlaylist, 0, 0, WhileNamesShown, DeletePlaylistUnderPointer, PlaylistMenu, "Delete Playlist"},
    // The drive menu's items: their texts are the drive slots, set each time before it is shown.
    {CmdDriveFirst + 0, 0, 0, Always, ScanSlot<0>, DriveMenu, ""},
    {CmdDriveFirst + 1, 0, 0, Always, ScanSlot<1>, DriveMenu, ""},
    {CmdDriveFirst + 2, 0, 0, Always, ScanSlot<2>, DriveMenu, ""},
    {CmdDriveFirst + 3, 0, 0, Always, ScanSlot<3>, DriveMenu, ""},
    {CmdDriveFirst + 4, 0, 0, Always, ScanSlot<4>, DriveMenu, ""},
    {CmdDriveFirst + 5, 0, 0, Always, ScanSlot<5>, DriveMenu, ""},
    {CmdDriveFirst + 6, 0, 0, Always, ScanSlot<6>, DriveMenu, ""},
    // The device menu over the rest of the window: the tone arm, the table around the record, the buttons.
    {CmdAudioDevice, 0, 0, Always, ChangeAudioDevice, DeviceMenu, "Audio device..."},
};
static_assert(CmdDriveLast == CmdDriveFirst + 6 && DriveSlotCount == 7, "one drive item per drive slot");

bool Allowed(CommandGuard guard) {
    const bool idle = PlaybackIdle();
    switch (guard) {
    case Always:
        return true;
    case WhileIdle:
        return idle;
    case WhilePlaying:
        return !idle;
    case WhileListShown:
        return ShownList() != 0;
    case WhileNamesShown:
        return ActiveView == ViewPlaylists && PlaylistNames.size() >= 2;
    }
    return false;
}

// The items of one menu, in table order.
void FillMenu(int menu) {
    for (const Command &c : Commands) {
        if (c.Menu != menu) continue;
        if (c.Number == 0)
            MenuBar();
        else
            MenuItem(c.Number, c.Item);
    }
}

bool IsLetterKey(int key) {
    const int base = key & ~(KeyShift | KeyControl | KeyAlt);
    return base >= 'A' && base <= 'Z';
}

} // namespace

void ShowList(uint8_t view) {
    ActiveView = view;
    ListPage = 0;
    if (PlaybackIdle() && ViewCover > 0) {
        const std::vector<ListEntry> &list = ListOf(ListOfView(view)).Entries;
        if (!list.empty() && IsCoverPath(list.front().CoverPath))
            ShowCover(list.front().CoverPath);
        else
            RemoveCover();
    }
    DrawListPanel(view, 0, 0);
}

void ShowNames(uint8_t view) {
    ActiveView = view;
    ListPage = 0;
    DrawListPanel(view, 0, 0);
    if (PlaybackIdle() && ViewCover > 0) RemoveCover();
}

void BindCommandKeys() {
    for (const Command &c : Commands) {
        if (!c.Key) continue;
        AddKeyboardShortcut(MainWindow, c.Key, c.Number);
        // Shift gives the same letter in upper case (Caps Lock needs nothing: the key is the same).
        if (IsLetterKey(c.Key)) AddKeyboardShortcut(MainWindow, c.Key | KeyShift, c.Number);
    }
}

void CreateMenus() {
    // A menu that cannot be created is simply not there.
    if (CreatePopupMenu(ListMenu)) FillMenu(ListMenu);
    if (CreatePopupMenu(PlaylistMenu)) FillMenu(PlaylistMenu);
    if (CreatePopupMenu(DriveMenu)) {
        OpenSubMenu("Search to Library One ");
        FillMenu(DriveMenu);
        CloseSubMenu();
    }
    if (CreatePopupMenu(DeviceMenu)) FillMenu(DeviceMenu);
}

void RightClickAt() {
    if (!PointerOverWindow(MainWindow)) return;
    if (PointerOverControl(ListPanel)) {
        if (ShownList() != 0) DisplayPopupMenu(ListMenu, MainWindow);
        if (ActiveView == ViewPlaylists) DisplayPopupMenu(PlaylistMenu, MainWindow);
    } else if (PointerOverControl(LibraryButton)) {
        BuildDriveMenu();
        for (size_t k = 0; k < DriveSlotCount; ++k) {
            SetMenuItemText(DriveMenu, CmdDriveFirst + int(k), DriveMenuItems[k].Text);
            DisableMenuItem(DriveMenu, CmdDriveFirst + int(k), !DriveMenuItems[k].Enabled);
        }
        DisplayPopupMenu(DriveMenu, MainWindow);
    } else {
        DisplayPopupMenu(DeviceMenu, MainWindow);
    }
}

void RunCommand(int number) {
    for (const Command &c : Commands) {
        if (c.Number != number || number == 0) continue;
        if (Allowed(c.Guard)) c.Run();
        return;
    }
}

void ClickAt() {
    // Linux: a press anywhere moves the frameless window as a press on a title bar would
    // (gtk_window_begin_move_drag); the move runs on without us, so the click is handled at once at
    // the position of the press, as Windows does when its move loop returns.
    BeginWindowDrag(MainWindow);
    if (!PointerOverWindow(MainWindow)) return;
    for (const Command &c : Commands) {
        if (!c.Control || !PointerOverControl(c.Control)) continue;
        if (Allowed(c.Guard)) c.Run();
        return;
    }
}

void TogglePause() {
    TransportPause(false);
}
