// The event loop of the main window: opening the engine on the chosen device, then the window's
// events until the program ends, and the ways out.

#include "app.h"
#include "objects.h"
#include "pointer.h"

#include "audio/audio.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace {

// --- state: main thread
bool Minimised = false; // the main window is minimised and takes no input
// --- end of state

// The output is stopped and released, then the core, then the program ends. Also the way out when
// the device cannot be opened at all.
[[noreturn]] void EngineShutdown() {
    while (AudioThreadRuns()) SleepMs(1);
    // A stopped and freed output reports that it no longer runs; the bound keeps a broken one from
    // holding the program forever.
    for (int tries = 0; tries < 3 && EngineFn.Tava_ASIO_IsStarted() == 1; ++tries) {
        EngineFn.Tava_ASIO_Stop();
        EngineFn.Tava_ASIO_Free();
    }
    EngineFn.Tavo_Free();
    Shutdown();
}

// A close request of the window, or a click on CloseButton.
[[noreturn]] void CloseSequence() {
    StopPlayback(false);
    EngineFn.Tava_ASIO_Free();
    CloseWindow(MainWindow);
    EngineFn.Tavo_Free();
    Shutdown();
}

void LeftClick() {
    // Linux: a press anywhere moves the frameless window as a press on a title bar would
    // (gtk_window_begin_move_drag); the move runs on without us, so the click is then handled at
    // the position of the press, as Windows does when its move loop returns.
    BeginWindowDrag(MainWindow);
    if (!PointerOverWindow(MainWindow)) return;
    if (PointerOverControl(CloseButton)) CloseSequence();
    if (PointerOverControl(MinimizeButton)) MinimizeWindow(MainWindow);
}

void PointerCrossing(int control, bool entered) {
    if (control == CloseButton) DrawCloseButton(entered);
    if (control == MinimizeButton) DrawMinimizeButton(entered);
}

} // namespace

void RunEventLoop() {
    // The core decodes without a sound device of its own (it takes no window: nullptr); the output
    // goes through the output library.
    EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
    EngineFn.Tavo_SetDevice(0);
    EngineFn.Tavo_SetConfig(1, 0);
    if (!EngineFn.Tava_ASIO_Init(OutputDevice, 1) || !EngineFn.Tava_ASIO_SetDSD(1)) EngineShutdown();

    Minimised = false;
    DisableWindow(MainWindow, false);

    while (IsWindow(MainWindow)) {
        const int event = WaitWindowEvent(-1);
        if (EventWindow() != MainWindow) continue;
        switch (event) {
        case EventCloseWindow:
            CloseSequence();
        case EventLeftButtonDown:
            RememberPointer();
            LeftClick();
            break;
        case EventMouseEnterControl:
            PointerCrossing(EventControl(), true);
            break;
        case EventMouseLeaveControl:
            PointerCrossing(EventControl(), false);
            break;
        case EventTimerTick:
            // The audio thread starts FinishTimer once the last data has played.
            if (EventTimer() == FinishTimer) {
                FinishPlayback();
                DisableWindow(MainWindow, false);
                Minimised = false;
            }
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
    EngineShutdown();
}
