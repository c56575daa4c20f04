// The program's own kind of window.

#include "ui/ui.h"

void OpenPlainWindow(int win, int width, int height, const std::string &title, uint32_t back) {
    OpenWindow(win, 0, 0, width, height, title, WindowBorderless | WindowCentered | WindowInvisible);
    SetWindowColor(win, back);
    StickyWindow(win, true);
}
