// The playlist dialogs: the name asked for a new playlist, and the confirmation of a delete.

#include "windows.h"

#include "library/library.h"
#include "platform/gui.h"
#include "ui/objects.h"
#include "ui/ui.h"

namespace {

constexpr int DialogWidth = 500, DialogHeight = 280;
constexpr uint32_t DialogBack = ButtonBack;   // #060606
constexpr uint32_t CaptionGrey = ArrowColour; // #A2A2A2, also the frame
constexpr uint32_t ButtonFace = WindowBack;   // #101010 behind OK, Cancel and the entry
constexpr uint32_t NameBack = 0x000000;       // behind the name in the delete dialog

// The window with its frame, caption, OK and Cancel; the caller adds what lies between.
void OpenDialog(const std::string &caption) {
    OpenPlainWindow(DialogWindow, DialogWidth, DialogHeight, "Groovestone", DialogBack);
    CanvasControl(DialogFrame, 0, 0, DialogWidth, DialogHeight);
    if (StartDrawing(CanvasOutput(DialogFrame))) {
        Box(0, 0, DialogWidth, DialogHeight, DialogBack);
        Line(10, 10, 480, 1, CaptionGrey);
        Line(10, 270, 480, 1, CaptionGrey);
        Line(490, 10, 1, 260, CaptionGrey);
        Line(10, 10, 1, 260, CaptionGrey);
        StopDrawing();
    }
    TextItem(DialogCaption, 100, 50, 300, 24, caption, FontSegoe12, CaptionGrey, DialogBack, TextCentered);
    TextItem(DialogOk, 100, 200, 100, 24, "OK", FontSegoe12, ButtonText, ButtonFace, TextCentered);
    TextItem(DialogCancel, 300, 200, 100, 24, "Cancel", FontSegoe12, ButtonText, ButtonFace, TextCentered);
    AddKeyboardShortcut(DialogWindow, KeyEscape, CmdEscape);
}

void CloseDialog() {
    RemoveAllKeyboardShortcuts(DialogWindow);
    CloseWindow(DialogWindow);
}

constexpr int Ok = 1, Cancel = 2; // the answers

// Waits until OK or Cancel is pressed, Escape typed or (in the name dialog) Return, which answers as
// OK does. Every event is taken, the main window's too; only the dialog's presses and keys count.
int WaitForAnswer() {
    const ModalWindow dialog = {
        .Window = DialogWindow,
        .Click =
            [] {
                if (PointerOverControl(DialogOk)) return Ok;
                return PointerOverControl(DialogCancel) ? Cancel : KeepWaiting;
            },
        .Command =
            [](int command) {
                if (command == CmdDialogEnter) return Ok;
                return command == CmdEscape ? Cancel : KeepWaiting;
            },
    };
    return RunModalWindow(dialog);
}

} // namespace

bool AskPlaylistName(std::string &name) {
    OpenDialog("Name of playlist");
    StringControl(DialogEntry, 100, 100, 300, 26, "");
    SetControlLook(DialogEntry, FontSegoe14, ButtonText, ButtonFace);
    AddKeyboardShortcut(DialogWindow, KeyReturn, CmdDialogEnter);
    ActivateWindow(DialogWindow);
    ActivateControl(DialogEntry);
    bool named = false;
    while (WaitForAnswer() == Ok) {
        std::string checked;
        if (ValidatePlaylistName(GetControlText(DialogEntry), checked)) {
            name = checked;
            named = true;
            break;
        }
        // The message stands in the entry, selected, so that the next key typed replaces it; OK on
        // it again fails as a wrong name.
        SetControlText(DialogEntry, checked);
        SelectControlText(DialogEntry);
    }
    CloseDialog();
    return named;
}

bool ConfirmPlaylistDelete(const std::string &name) {
    OpenDialog("Delete playlist");
    TextItem(DialogName, 50, 100, 400, 26, name, FontSegoe14, GlyphColour, NameBack, TextCentered);
    ActivateWindow(DialogWindow);
    const bool confirmed = WaitForAnswer() == Ok;
    CloseDialog();
    return confirmed;
}
