// The event loop of the main window: opening the engine on the chosen device, then the window's
// events until the program ends, and the ways out.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "platform/system.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "view/view.h"

namespace {

// --- state: main thread
bool Minimised = false; // the main window is minimised and takes no input
// --- end of state

constexpr int DriverTickMs = 10; // the longest wait for an event while a driver is set

// The output is stopped and released, then the core, then the program ends: when the main window
// has vanished, and when the device cannot be opened at all.
[[noreturn]] void EngineShutdown() {
    AbandonOutput();
    Shutdown();
}

void PointerCrossing(int control, bool entered) {
    if (control == CloseButton) DrawCloseButton(entered);
    if (control == MinimizeButton) DrawMinimizeButton(entered);
}

void HandleTimer(int timer) {
    if (timer == RefreshTimer) {
        // The output's state first: one that ran dry ends the run, one that stopped shows nothing.
        if (!PlaybackIdle() && !Minimised && OutputPlaysOn()) RefreshNowPlaying();
    } else if (timer == RemoteTimer) {
        RunRemoteRequests();
    } else if (timer == FinishTimer) {
        // The audio thread starts it once the last data has played.
        FinishPlayback();
        DisableWindow(MainWindow, false);
        Minimised = false;
    }
}

void HandleEvent(int event) {
    switch (event) {
    case EventCloseWindow:
        CloseSequence();
    case EventMenuItem:
        RunCommand(EventMenu());
        break;
    case EventLeftButtonDown:
        RememberPointer();
        ClickAt();
        break;
    case EventLeftDoubleClick:
        RememberPointer();
        ChooseFromPanel();
        break;
    case EventRightButtonDown:
        RememberPointer();
        RightClickAt();
        break;
    case EventMouseEnterControl:
        PointerCrossing(EventControl(), true);
        break;
    case EventMouseLeaveControl:
        PointerCrossing(EventControl(), false);
        break;
    case EventWindowDrop:
        DropFiles(EventDropFiles());
        break;
    case EventTimerTick:
        HandleTimer(EventTimer());
        break;
    case EventMinimize:
        DisableWindow(MainWindow, true);
        Minimised = true;
        break;
    case EventRestore:
        DisableWindow(MainWindow, false);
        Minimised = false;
        break;
    default:
        break;
    }
}

} // namespace

// --- state: main thread; set before RunProgram and read by the event loop
void (*EventLoopDriver)() = nullptr;
// --- end of state

void CloseSequence() {
    SaveListsWhenChanged();
    StopPlayback(false);
    CloseOutputDevice();
    CloseWindow(MainWindow);
    CloseEngineCore();
    Shutdown();
}

void RunEventLoop() {
    if (!OpenOutput()) EngineShutdown();

    Minimised = false;
    ActiveView = ViewList1;
    CreateMenus();
    BindCommandKeys();
    EnableWindowDrop(MainWindow);
    ShowPlaybackOnTurntable();
    DisableWindow(MainWindow, false);
    LoadPlaylistIndex();
    LoadLibraryIndex();
    ActiveView = ViewPlaylists;
    DrawListPanel(ViewPlaylists, 0, 0);
    // The lists the last run left, before the command line's files join them.
    RestoreLists();
    OwnMprisName();
    // The files of the command line, as a drop brings them.
    if (!LaunchFiles.empty()) AddOutsideFiles(LaunchFiles);
    SaveListsWhenChanged();

    while (IsWindow(MainWindow)) {
        // Without a driver the loop sleeps until an event comes; with one it also wakes every tick.
        const int event = WaitWindowEvent(EventLoopDriver ? DriverTickMs : -1);
        if (event != EventNone && EventWindow() == MainWindow) HandleEvent(event);
        // A key that a waiting command took unhandled (one pressed while Play started): run now.
        while (NotedCommand != 0 && !CloseRequested) {
            const int command = NotedCommand;
            NotedCommand = 0;
            RunCommand(command);
        }
        AnnounceMprisChanges();
        SaveListsWhenChanged();
        // A close request that a waiting command took unhandled: honoured once the command is done.
        if (CloseRequested) CloseSequence();
        if (EventLoopDriver) EventLoopDriver();
    }
    EngineShutdown();
}
