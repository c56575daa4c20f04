// The main window: the turntable photograph with every control painted onto it, each at its place
// in the layout table (MainLayout).

#include "app.h"
#include "ui/objects.h"
#include "ui/ui.h"

#include "library/settings.h"
#include "platform/gui.h"
#include "resources.h"

namespace {

// A button resting on its patch, with its caption.
void CaptionButton(int control, const char *caption) {
    PlaceCanvas(control);
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawingMode(ModeTransparent);
    DrawingFont(FontCalligraphy12);
    DrawText(4, 2, caption, CaptionText);
    StopDrawing();
}

// Two chevrons, pointing up (dy = 1) or down (dy = -1), on the scroll button's patch.
void DrawChevrons(int control, int first_y, int dy) {
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawImage(LayoutOf(control).Picture, 0, 0);
    for (int y : {first_y, first_y + 8}) {
        Line(17, y, -7, 7 * dy, ArrowColour);
        Line(17, y, 7, 7 * dy, ArrowColour);
    }
    StopDrawing();
}

} // namespace

void DrawCloseButton(bool hover) {
    if (!StartDrawing(CanvasOutput(CloseButton))) return;
    Box(0, 0, LayoutOf(CloseButton).W, LayoutOf(CloseButton).H, hover ? CloseHover : CloseBack);
    Line(20, 7, 11, 11, GlyphColour);
    Line(20, 17, 11, -11, GlyphColour);
    StopDrawing();
}

void DrawMinimizeButton(bool hover) {
    if (!StartDrawing(CanvasOutput(MinimizeButton))) return;
    Box(0, 0, LayoutOf(MinimizeButton).W, LayoutOf(MinimizeButton).H, hover ? MinimizeHover : MinimizeBack);
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
    const LayoutRow &view = LayoutOf(PhotoView);
    ImageControl(PhotoView, view.X, view.Y, view.W, view.H, view.Picture);
    const ResourceBytes mask = Resource(ResLabelMask);
    CatchImage(LabelMaskImage, mask.data, mask.size);

    if (ViewCover == 1) PlaceCanvas(CornerBox);

    PlaceText(TitleBar, "", FontSegoeLight12, TitleColour, TitleBack);
    PlaceCanvas(CloseButton);
    DrawCloseButton(false);
    PlaceCanvas(MinimizeButton);
    DrawMinimizeButton(false);

    PlaceCanvas(RateCanvas);
    PlaceCanvas(PositionBar);
    PlaceCanvas(ListPanel);
    // The label cover is composed into PanelBackground; this copy brings the bare record back.
    if (ViewCover == 2) CopyImage(PanelBackground, PlainPanelBackground);

    PlaceCanvas(ScrollUpButton);
    PlaceCanvas(ScrollDownButton);
    DrawChevrons(ScrollUpButton, 9, 1);
    DrawChevrons(ScrollDownButton, 17, -1);

    PlaceText(PauseText, "Pause", FontCalligraphy12, CaptionText, ButtonBack);
    PlaceText(NextText, "Next", FontCalligraphy12, CaptionText, ButtonBack);
    PlaceText(StopText, "Stop", FontCalligraphy12, CaptionText, ButtonBack);
    PlaceText(PlayText, "Play", FontCalligraphy12, CaptionText, ButtonBack);

    // Both lists are empty while the window is built, so the list buttons show their captions.
    CaptionButton(List1Button, "List 1");
    CaptionButton(List2Button, "List 2");
    CaptionButton(ListsButton, "Lists");
    CaptionButton(LibraryButton, "Library");
    CaptionButton(OpenButton, "Open");
    CaptionButton(EmptyListButton, "Clear");
}
