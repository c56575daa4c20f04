// The program's windowing as start-up leaves it, for the tests that draw in-process: the display, the
// calligraphic face carried in the executable with the private aliases of the Windows face names, and
// the seven text fonts; the main window's photograph with the canvases the view draws on; and the
// pixels of what was drawn.
#pragma once

#include "platform/gui.h"
#include "resources.h"
#include "ui/objects.h"
#include "ui/ui.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

inline bool StartProgramGui() {
    if (!InitGui()) return false;
    const ResourceBytes font = Resource(ResCalligraphyFont);
    RegisterPrivateFont(font.data, font.size);
    AddFontAliases("TeX Gyre Chorus");
    LoadTextFonts();
    return true;
}

// The main window (hidden) with the photograph, the label mask and the canvases `controls` on their
// patches, where the program's main window has them.
inline void OpenTurntable(std::initializer_list<int> controls) {
    OpenWindow(MainWindow, 0, 0, MainWidth, MainHeight, "turntable", WindowBorderless | WindowInvisible);
    const ResourceBytes photo = Resource(ResTurntablePhoto), mask = Resource(ResLabelMask);
    CatchImage(TurntablePhotoImage, photo.data, photo.size);
    CatchImage(LabelMaskImage, mask.data, mask.size);
    for (int control : controls) PlaceCanvas(control);
}

// Every pixel of a canvas or an image, w x h row by row (0 outside it; empty when it does not exist).
inline std::vector<uint32_t> Pixels(Output out, int w, int h) {
    std::vector<uint32_t> all;
    if (!StartDrawing(out)) return all;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) all.push_back(Point(x, y));
    StopDrawing();
    return all;
}
