// The main window's controls at their places in the layout table.

#include "ui/objects.h"
#include "ui/ui.h"

void PlaceCanvas(int control) {
    const LayoutRow &at = LayoutOf(control);
    CanvasControl(control, at.X, at.Y, at.W, at.H);
    if (at.Picture == NoPicture) return;
    GrabImage(TurntablePhotoImage, at.Picture, at.X, at.Y - PhotoTop, at.W, at.H);
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawImage(at.Picture, 0, 0);
    StopDrawing();
}

void PlaceText(int control, const std::string &text, int font, uint32_t front, uint32_t back) {
    const LayoutRow &at = LayoutOf(control);
    TextItem(control, at.X, at.Y, at.W, at.H, text, font, front, back);
}
