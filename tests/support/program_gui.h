// The program's windowing as start-up leaves it, for the tests that draw in-process: the display, the
// calligraphic face carried in the executable with the private aliases of the Windows face names, and
// the seven text fonts; and the pixels of what was drawn.
#pragma once

#include "app/app.h"
#include "platform/gui.h"
#include "resources.h"

#include <cstdint>
#include <vector>

inline bool StartProgramGui() {
    if (!InitGui()) return false;
    const ResourceBytes font = Resource(ResCalligraphyFont);
    RegisterPrivateFont(font.data, font.size);
    AddFontAliases("TeX Gyre Chorus");
    LoadTextFonts();
    return true;
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
