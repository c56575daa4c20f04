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

// Green under the pointer, white elsewhere.
void HoverLines() {
    for (int id : OptionLines) {
        const int64_t colour = GetControlColor(id, ColorFront);
        const bool over = PointerOverControl(id);
        if (over && colour == DeviceText) SetControlColor(id, ColorFront, DeviceHighlight);
        if (!over && colour == DeviceHighlight) SetControlColor(id, ColorFront, DeviceText);
    }
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
    for (;;) {
        const int event = WaitWindowEvent(20);
        RememberPointer();
        if (!PointerOverWindow(OptionsWindow)) continue;
        // A quick second click comes as a double click; it is a click here all the same.
        if (event == EventLeftButtonDown || event == EventLeftDoubleClick) {
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
                CloseOptionsWindow();
                SleepMs(20);
                return true;
            }
        } else if (event == EventMouseMove) {
            HoverLines();
        } else if (event == EventMenuItem && EventMenu() == CmdEscape) {
            CloseOptionsWindow();
            return false;
        }
    }
}

bool ShowOptions() {
    OpenOptionsWindow();
    return RunOptionsWindow();
}
