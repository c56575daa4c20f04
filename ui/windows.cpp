// The program's own kind of window, its fonts and its texts.

#include "ui/objects.h"
#include "ui/ui.h"

void OpenPlainWindow(int win, int width, int height, const std::string &title, uint32_t back) {
    OpenWindow(win, 0, 0, width, height, title, WindowBorderless | WindowCentered | WindowInvisible);
    SetWindowColor(win, back);
    StickyWindow(win, true);
}

void LoadTextFonts() {
    for (int font = 0; font < Font_COUNT; ++font) {
        const auto &[face, points] = FontTable[font];
        LoadFont(font, face, points);
    }
}

void SetControlLook(int id, int font, uint32_t front, uint32_t back) {
    SetControlFont(id, font);
    SetControlColor(id, ColorFront, front);
    SetControlColor(id, ColorBack, back);
}

void TextItem(int id, int x, int y, int w, int h, const std::string &text, int font, uint32_t front,
              uint32_t back, uint32_t flags) {
    TextControl(id, x, y, w, h, text, flags);
    SetControlLook(id, font, front, back);
}
