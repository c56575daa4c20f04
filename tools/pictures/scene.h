// The pictures of the player: the turntable photograph, the label geometry that the label mask is cut
// by, and the icon.
#pragma once

#include <cairo.h>

namespace pictures {

constexpr int PhotoWidth = 820;
constexpr int PhotoHeight = 536;

// The player composes covers onto the paper label through this rectangle of the photograph, so the
// label must lie in it as the ellipse below, centred, filling LabelFill of each half side.
constexpr int LabelRectX = 241;
constexpr int LabelRectY = 181;
constexpr int LabelRectWidth = 258;
constexpr int LabelRectHeight = 222;
constexpr double LabelFill = 0.92;
constexpr double LabelSemiAxisX = LabelFill * LabelRectWidth / 2;
constexpr double LabelSemiAxisY = LabelFill * LabelRectHeight / 2;

// True when the pixel (x, y) of the label rectangle has its centre on the label.
bool onLabel(int x, int y);

// Draws the photograph into an RGB24 surface of PhotoWidth x PhotoHeight.
void drawPhoto(cairo_surface_t *photo);

// Draws the icon (a record with its label, on transparency) into an ARGB32 surface of size x size.
void drawIcon(cairo_surface_t *icon, int size);

} // namespace pictures
