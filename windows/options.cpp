// The options window: how the album cover is shown. Each option is a line of text that changes its
// value when clicked; "Start" closes the window.

#include "windows.h"

#include "platform/gui.h"
#include "platform/system.h"
#include "ui/objects.h"
#include "ui/ui.h"

namespace {

constexpr int WindowWidth = 820, WindowHeight = 560;
constexpr int OptionLines[] = {ViewLine, TrackLine, BlendLine, StartLine};

void CloseOptionsWindow() {
    RemoveKeyboardShortcut(OptionsWindow, KeyEscape);
    CloseWindow(OptionsWindow);
}

// A click on an option line changes that option; one on "Start" ends the window (1).
int ClickLine() {
    if (PointerOverControl(ViewLine)) {
        // An unknown value from an older file is left alone; the line reads "Off" for it.
        if (ViewCover <= 2) {
            ViewCover = uint8_t((ViewCover + 1) % 3);
            SetControlText(ViewLine, ViewCoverCaption(ViewCover));
        }
    } else if (PointerOverControl(TrackLine)) {
        CoverTrack = CoverTrack == 0 ? 1 : 0;
        SetControlText(TrackLine, CoverTrackCaption(CoverTrack));
    } else if (PointerOverControl(BlendLine)) {
        BlendPicture = BlendPicture == 0 ? 1 : 0;
        SetControlText(BlendLine, BlendPictureCaption(BlendPicture));
    } else if (PointerOverControl(StartLine)) {
        return 1;
    }
    return KeepWaiting;
}

} // namespace

std::string ViewCoverCaption(uint8_t value) {
    switch (value) {
    case 1:
        return "View cover:  In the corner";
    case 2:
        return "View cover:  On the vinyl's label";
    default:
        return "View cover:  Off";
    }
}

std::string CoverTrackCaption(uint8_t value) {
    return value == 1 ? "Cover track:  On" : "Cover track:  Off";
}

std::string BlendPictureCaption(uint8_t value) {
    return value == 1 ? "Blend picture:  On" : "Blend picture:  Off";
}

void OpenOptionsWindow() {
    OpenPlainWindow(OptionsWindow, WindowWidth, WindowHeight, "options", DeviceBack);
    TextItem(ViewLine, 60, 120, 200, 24, ViewCoverCaption(ViewCover), FontTahoma10, DeviceText, DeviceBack);
    TextItem(TrackLine, 60, 160, 160, 24, CoverTrackCaption(CoverTrack), FontTahoma10, DeviceText,
             DeviceBack);
    TextItem(BlendLine, 60, 200, 160, 24, BlendPictureCaption(BlendPicture), FontTahoma10, DeviceText,
             DeviceBack);
    TextItem(StartLine, 200, 320, 60, 24, "Start", FontSegoe12, DeviceText, DeviceBack);
    AddKeyboardShortcut(OptionsWindow, KeyEscape, CmdEscape);
    ActivateWindow(OptionsWindow);
}

bool RunOptionsWindow() {
    const ModalWindow options = {
        .Window = OptionsWindow,
        .WaitForEvents = true,
        .UnderPointerOnly = true,
        .Click = ClickLine,
        .Command = [](int command) { return command == CmdEscape ? 0 : KeepWaiting; },
        .HoverTexts = OptionLines,
    };
    const bool started = RunModalWindow(options) == 1;
    CloseOptionsWindow();
    if (started) SleepMs(20);
    return started;
}

bool ShowOptions() {
    OpenOptionsWindow();
    return RunOptionsWindow();
}
