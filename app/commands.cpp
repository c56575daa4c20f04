// The main window's commands: one table from which the keys are bound and the keys, menu items and
// left clicks are dispatched.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "view/view.h"

#include <iterator>

namespace {

enum Guard {
    Always,
    WhileIdle,    // only while no list plays (PlayingList 0)
    WhilePlaying, // only while a list plays
};

struct Command {
    int number;  // the key's or menu item's command number; 0 for a click only
    int control; // the control whose left click runs it; 0 for none
    int key;     // the key bound to it (with its modifiers); 0 for none
    Guard guard;
    void (*run)();
};

// The buttons List 1 and List 2: that list from its first page, nothing selected. While idle, the
// cover of its first entry is shown.
void ShowList(uint8_t view) {
    ActiveView = view;
    ListPage = 0;
    if (PlayingList.load(std::memory_order_acquire) == 0 && ViewCover > 0) {
        const std::vector<ListEntry> &list = view == ViewList1 ? List1 : List2;
        if (!list.empty() && IsCoverPath(list.front().CoverPath))
            ShowCover(list.front().CoverPath);
        else
            RemoveCover();
    }
    DrawListPanel(view, 0, 0);
}

// The buttons Lists and Library: the playlist or album names from the first page; while idle no
// cover is shown.
void ShowNames(uint8_t view) {
    ActiveView = view;
    ListPage = 0;
    DrawListPanel(view, 0, 0);
    if (PlayingList.load(std::memory_order_acquire) == 0 && ViewCover > 0) RemoveCover();
}

void EmptyListClick() {
    if (ViewCover > 0) RemoveCover();
    EmptyShownList();
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
    {CmdPlay, PlayText, KeyP, WhileIdle, TransportPlay},
    {0, OpenButton, 0, Always, OpenAudioFiles},
    {0, ListPanel, 0, Always, SelectPanelRow},
    {CmdScrollUp, ScrollUpButton, KeyUp, Always, ScrollPanelUp},
    {CmdScrollDown, ScrollDownButton, KeyDown, Always, ScrollPanelDown},
    {0, CloseButton, 0, Always, [] { CloseSequence(); }},
    {0, MinimizeButton, 0, Always, [] { MinimizeWindow(MainWindow); }},
    // Space pauses and resumes while a list plays, and starts playback while idle.
    {CmdPlayPause, 0, KeySpace, Always, [] { TransportPause(true); }},
    {CmdRemove, 0, KeyDelete, WhileIdle, RemoveSelectedEntry},
    {CmdMoveUp, 0, KeyControl | KeyUp, WhileIdle, [] { MoveSelectedEntry(1); }},
    {CmdMoveDown, 0, KeyControl | KeyDown, WhileIdle, [] { MoveSelectedEntry(2); }},
    {CmdEmptyBoth, 0, KeyControl | KeyC, Always, EmptyBothLists},
};

bool Allowed(Guard guard) {
    const bool idle = PlayingList.load(std::memory_order_acquire) == 0;
    return guard == Always || (guard == WhileIdle && idle) || (guard == WhilePlaying && !idle);
}

bool IsLetterKey(int key) {
    const int base = key & ~(KeyShift | KeyControl | KeyAlt);
    return base >= 'A' && base <= 'Z';
}

} // namespace

void BindCommandKeys() {
    for (const Command &c : Commands) {
        if (!c.key) continue;
        AddKeyboardShortcut(MainWindow, c.key, c.number);
        // Shift gives the same letter in upper case (Caps Lock needs nothing: the key is the same).
        if (IsLetterKey(c.key)) AddKeyboardShortcut(MainWindow, c.key | KeyShift, c.number);
    }
}

void RunCommand(int number) {
    for (const Command &c : Commands) {
        if (c.number != number || number == 0) continue;
        if (Allowed(c.guard)) c.run();
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
        if (!c.control || !PointerOverControl(c.control)) continue;
        if (Allowed(c.guard)) c.run();
        return;
    }
}

void TogglePause() {
    TransportPause(false);
}
