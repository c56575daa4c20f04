// Events taken without handling them, while a command waits.

#include "ui/objects.h"
#include "ui/ui.h"

#include "platform/system.h"

bool CloseRequested = false; // main thread

namespace {

// Takes one event, noting a close request of the main window; false when none was pending.
bool TakeEvent() {
    const int kind = WindowEvent();
    if (kind == EventNone) return false;
    if (kind == EventCloseWindow && EventWindow() == MainWindow) CloseRequested = true;
    return true;
}

} // namespace

void DrainWindowEvents(int quiet_polls) {
    if (!OnGuiThread()) return;
    for (int quiet = 0; quiet < quiet_polls;) {
        if (TakeEvent()) {
            quiet = 0;
            SleepMs(1);
        } else {
            ++quiet;
        }
    }
}

void PassOneWindowEvent() {
    if (OnGuiThread()) TakeEvent();
}

void WaitPassingEvents(int ms) {
    if (!OnGuiThread()) {
        SleepMs(ms);
        return;
    }
    for (int waited = 0; waited < ms; ++waited) {
        while (TakeEvent()) {
        }
        SleepMs(1);
    }
}
