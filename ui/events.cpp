// Events taken without handling them, while a command waits.

#include "ui/objects.h"
#include "ui/ui.h"

#include "platform/system.h"

bool CloseRequested = false; // main thread
int NotedCommand = 0;        // main thread

int PollWindowEvent() {
    const int kind = WindowEvent();
    if (kind == EventCloseWindow && EventWindow() == MainWindow) CloseRequested = true;
    return kind;
}

void DrainWindowEvents(int quiet_polls) {
    if (!OnGuiThread()) return;
    for (int quiet = 0; quiet < quiet_polls;) {
        if (PollWindowEvent() != EventNone) {
            quiet = 0;
            SleepMs(1);
        } else {
            ++quiet;
        }
    }
}

void PassEventsNotingKeys() {
    if (!OnGuiThread()) return;
    for (int kind = PollWindowEvent(); kind != EventNone; kind = PollWindowEvent())
        if (kind == EventMenuItem && EventWindow() == MainWindow) NotedCommand = EventMenu();
}

void PassOneWindowEvent() {
    if (OnGuiThread()) PollWindowEvent();
}

void WaitPassingEvents(int ms) {
    if (!OnGuiThread()) {
        SleepMs(ms);
        return;
    }
    for (int waited = 0; waited < ms; ++waited) {
        while (PollWindowEvent() != EventNone) {
        }
        SleepMs(1);
    }
}
