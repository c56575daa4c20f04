// The stage of the photograph: the camera, the turntable's measures and the drawing helpers shared
// by its parts (the tone arm, the plant, the turntable itself).
#pragma once

#include "paint.h"
#include "scene.h"

#include <cairo.h>

#include <cmath>
#include <functional>
#include <vector>

namespace pictures {

// --- The camera and the turntable, in table units (one unit is one pixel across the picture).
inline const double Squash = static_cast<double>(LabelRectHeight) / LabelRectWidth;
inline const View Camera{LabelRectX + LabelRectWidth / 2.0, LabelRectY + LabelRectHeight / 2.0, Squash,
                         std::sqrt(1 - Squash * Squash)};
constexpr double RecordRadius = 250;
constexpr double PlatterRadius = 258;
constexpr double PlatterDepth = 20; // the platter's rim below the record's surface
constexpr double PlinthLevel = -24; // height of the plinth's top
constexpr double ShadowU = 0.42;    // shadow travel on the table per unit of height
constexpr double ShadowV = 0.55;

using Projector = std::function<Point(double u, double v, double h)>;

Point onCamera(double u, double v, double h);
// Where the shadow of (u, v, h) falls on a surface at height `floor`.
Projector shadowOn(double floor);

struct TablePoint {
    double u, v, h;
};

std::vector<Point> projectAll(const std::vector<TablePoint> &line, const Projector &to);
void polyline(cairo_t *cr, const std::vector<Point> &points, double dx = 0, double dy = 0);
void ellipseAt(cairo_t *cr, Point c, double rx, double ry);
// A circle of the table plane at height h.
void tableCircle(cairo_t *cr, const Projector &to, double u, double v, double h, double radius);
// An upright cylinder: its front side from `bottom` to `top`, lit from the left.
void drawColumn(cairo_t *cr, double u, double v, double radius, double bottom, double top, Colour dark,
                Colour light);
// The flat top of an upright cylinder: brushed metal with a bright rim on the light's side.
void drawDiscTop(cairo_t *cr, double u, double v, double h, double radius, Colour centre, Colour edge);
// A tube or a lying cylinder along the line, shaded round.
void strokeCylinder(cairo_t *cr, const std::vector<Point> &line, double width, Colour dark, Colour mid,
                    Colour shine, cairo_line_cap_t cap);

// Shadows: drawn black into an alpha surface through `cr`, then blurred and laid over the picture.
struct ShadowLayer {
    cairo_surface_t *mask;
    cairo_t *cr;
    ShadowLayer(int width, int height);
    ~ShadowLayer();
    ShadowLayer(const ShadowLayer &) = delete;
    ShadowLayer &operator=(const ShadowLayer &) = delete;
    void lay(cairo_t *target, int blur, double opacity);
};

// The tone arm with its shadows on the record and the plinth.
void drawToneArm(cairo_t *cr);

// The plant beside the turntable: its low leaves lie on the plinth under the arm, its high leaves
// reach over everything, nearer to the lens.
void drawLowLeaves(cairo_t *cr);
void drawHighLeaves(cairo_t *cr);

} // namespace pictures
