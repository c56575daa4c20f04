// app/pointer.h: hit-testing of clicks. Every clickable thing of the program is a drawn text or
// canvas, so a press is tested against the pointer position stored when it came and the rectangles of
// windows and controls on the screen. Main thread only: each window loop stores PointerPos before it
// tests.
#pragma once

#include "platform/gui.h"

#include <cstdint>

struct PointerPosition {
    int32_t x = 0, y = 0; // screen coordinates
};
extern PointerPosition PointerPos; // main thread

constexpr int RowHeight = 32; // the list panel's rows

// Stores the pointer's current screen position in PointerPos.
void RememberPointer();
// True when PointerPos lies in the window's outer rectangle (left and top edges inside, right and
// bottom edges outside); false for a window that does not exist.
bool PointerOverWindow(int win);
// The same for a control's rectangle on the screen.
bool PointerOverControl(int control);
// The 1-based row of the control under PointerPos: (PointerPos.y - top of the control) / RowHeight + 1,
// the division truncating toward zero; 0 for a control that does not exist.
int RowUnderPointer(int control);

// Whether (x, y) lies in r, left and top edges inside, right and bottom edges outside.
bool PointInRect(int x, int y, const Rect &r);
