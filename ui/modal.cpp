// The loop of a window that holds the program until the user answers.

#include "ui/objects.h"
#include "ui/ui.h"

#include "platform/system.h"

namespace {

// The pointer-over look of the window's texts.
void HighlightUnderPointer(std::span<const int> texts) {
    for (const int id : texts) {
        const int64_t colour = GetControlColor(id, ColorFront);
        const bool over = PointerOverControl(id);
        if (over && colour == DeviceText) SetControlColor(id, ColorFront, DeviceHighlight);
        if (!over && colour == DeviceHighlight) SetControlColor(id, ColorFront, DeviceText);
    }
}

int NextEvent(bool wait) {
    if (wait) return WaitWindowEvent(ModalPollMs);
    const int event = PollWindowEvent();
    if (event == EventNone) SleepMs(ModalPollMs);
    return event;
}

} // namespace

int RunModalWindow(const ModalWindow &window) {
    for (;;) {
        const int event = NextEvent(window.WaitForEvents);
        if (event == EventNone) continue;
        RememberPointer();
        if (window.UnderPointerOnly ? !PointerOverWindow(window.Window) : EventWindow() != window.Window)
            continue;
        int answer = KeepWaiting;
        if (event == EventLeftButtonDown || event == EventLeftDoubleClick) {
            if (window.Click) answer = window.Click();
        } else if (event == EventMouseMove) {
            HighlightUnderPointer(window.HoverTexts);
        } else if (event == EventMenuItem) {
            if (window.Command) answer = window.Command(EventMenu());
        } else if (event == EventTimerTick) {
            if (window.Timer) answer = window.Timer(EventTimer());
        }
        if (answer != KeepWaiting) return answer;
    }
}
