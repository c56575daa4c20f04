// Hit-testing of clicks against windows, controls and panel rows.

#include "ui/ui.h"

PointerPosition PointerPos; // main thread: written by RememberPointer, read by the tests below

bool PointInRect(int x, int y, const Rect &r) {
    return x >= r.X && x < r.X + r.Width && y >= r.Y && y < r.Y + r.Height;
}

void RememberPointer() {
    int x = 0, y = 0;
    DesktopMouse(x, y);
    PointerPos = {x, y};
}

bool PointerOverWindow(int win) {
    Rect r;
    return WindowRect(win, r) && PointInRect(PointerPos.X, PointerPos.Y, r);
}

bool PointerOverControl(int control) {
    Rect r;
    return ControlRect(control, r) && PointInRect(PointerPos.X, PointerPos.Y, r);
}

int RowUnderPointer(int control) {
    Rect r;
    if (!ControlRect(control, r)) return 0;
    return (PointerPos.Y - r.Y) / RowHeight + 1;
}
