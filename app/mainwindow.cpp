// The main window: the turntable photograph with every control painted onto it.

#include "app.h"
#include "ui/objects.h"

#include "library/settings.h"
#include "platform/gui.h"
#include "resources.h"

namespace {

// Cuts the photograph's rectangle under a control at window position (x, y) into image `patch`.
void CutPatch(int patch, int x, int y, int w, int h) {
    GrabImage(TurntablePhotoImage, patch, x, y - PhotoTop, w, h);
}

void DrawPatch(int control, int patch) {
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawImage(patch, 0, 0);
    StopDrawing();
}

// A canvas resting on its patch of the photograph.
void PatchCanvas(int control, int patch, int x, int y, int w, int h) {
    CanvasControl(control, x, y, w, h);
    CutPatch(patch, x, y, w, h);
    DrawPatch(control, patch);
}

// A button: its patch and its caption.
void CaptionButton(int control, int patch, int x, int y, const char *caption) {
    constexpr int ButtonWidth = 76, ButtonHeight = 26;
    CanvasControl(control, x, y, ButtonWidth, ButtonHeight);
    CutPatch(patch, x, y, ButtonWidth, ButtonHeight);
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawImage(patch, 0, 0);
    DrawingMode(ModeTransparent);
    DrawingFont(FontCalligraphy12);
    DrawText(4, 2, caption, CaptionText);
    StopDrawing();
}

void TransportText(int control, int y, const char *text) {
    TextControl(control, 12, y, 62, 30, text);
    SetControlColor(control, ColorFront, CaptionText);
    SetControlColor(control, ColorBack, ButtonBack);
}

// Two chevrons, pointing up (dy = 1) or down (dy = -1), on the scroll button's patch.
void DrawChevrons(int control, int patch, int first_y, int dy) {
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawImage(patch, 0, 0);
    for (int y : {first_y, first_y + 8}) {
        Line(17, y, -7, 7 * dy, ArrowColour);
        Line(17, y, 7, 7 * dy, ArrowColour);
    }
    StopDrawing();
}

} // namespace

void DrawCloseButton(bool hover) {
    if (!StartDrawing(CanvasOutput(CloseButton))) return;
    Box(0, 0, 50, 24, hover ? CloseHover : CloseBack);
    Line(20, 7, 11, 11, GlyphColour);
    Line(20, 17, 11, -11, GlyphColour);
    StopDrawing();
}

void DrawMinimizeButton(bool hover) {
    if (!StartDrawing(CanvasOutput(MinimizeButton))) return;
    Box(0, 0, 46, 24, hover ? MinimizeHover : MinimizeBack);
    Line(20, 17, 11, 1, GlyphColour);
    StopDrawing();
}

void BuildMainWindow() {
    // Opened hidden at opacity 0: the fade-in shows it.
    OpenWindow(MainWindow, 0, 0, MainWidth, MainHeight, "Groovestone DSD",
               WindowBorderless | WindowCentered | WindowInvisible);
    SetWindowColor(MainWindow, WindowBack);
    SetWindowOpacity(MainWindow, 0);

    const ResourceBytes photo = Resource(ResTurntablePhoto);
    CatchImage(TurntablePhotoImage, photo.data, photo.size);
    ImageControl(PhotoView, 0, PhotoTop, MainWidth, MainHeight - PhotoTop, TurntablePhotoImage);
    const ResourceBytes mask = Resource(ResLabelMask);
    CatchImage(LabelMaskImage, mask.data, mask.size);

    if (ViewCover == 1) PatchCanvas(CornerBox, CornerPatch, 680, 32, 128, 128);

    SetDefaultFont(FontSegoeLight12);
    TextControl(TitleBar, 0, 0, 724, 24, "");
    SetControlColor(TitleBar, ColorFront, TitleColour);
    SetControlColor(TitleBar, ColorBack, TitleBack);

    CanvasControl(CloseButton, 770, 0, 50, 24);
    DrawCloseButton(false);
    CanvasControl(MinimizeButton, 724, 0, 46, 24);
    DrawMinimizeButton(false);

    PatchCanvas(RateCanvas, RatePatch, 12, 32, 76, 22);
    PatchCanvas(PositionBar, PositionBarPatch, 150, 80, 470, 28);
    CanvasControl(ListPanel, 100, 122, 570, 400);
    CutPatch(PanelBackground, 100, 122, 570, 400);
    // The label cover is composed into PanelBackground; this copy brings the bare record back.
    if (ViewCover == 2) CopyImage(PanelBackground, PlainPanelBackground);
    DrawPatch(ListPanel, PanelBackground);

    PatchCanvas(ScrollUpButton, ScrollUpPatch, 744, 224, 36, 36);
    PatchCanvas(ScrollDownButton, ScrollDownPatch, 744, 392, 36, 36);
    DrawChevrons(ScrollUpButton, ScrollUpPatch, 9, 1);
    DrawChevrons(ScrollDownButton, ScrollDownPatch, 17, -1);

    SetDefaultFont(FontCalligraphy12);
    TransportText(PauseText, 82, "Pause");
    TransportText(NextText, 124, "Next");
    TransportText(StopText, 166, "Stop");
    TransportText(PlayText, 208, "Play");

    // Both lists are empty while the window is built, so the list buttons show their captions.
    CaptionButton(List1Button, List1Patch, 8, 270, "List 1");
    CaptionButton(List2Button, List2Patch, 8, 310, "List 2");
    CaptionButton(ListsButton, ListsPatch, 8, 354, "Lists");
    CaptionButton(LibraryButton, LibraryPatch, 8, 500, "Library");
    CaptionButton(OpenButton, OpenPatch, 8, 410, "Open");
    CaptionButton(EmptyListButton, EmptyListPatch, 8, 450, "Clear");
}
