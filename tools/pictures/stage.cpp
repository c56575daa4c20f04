#include "stage.h"

namespace pictures {

Point onCamera(double u, double v, double h) {
    return project(Camera, u, v, h);
}

Projector shadowOn(double floor) {
    return [floor](double u, double v, double h) {
        const double lift = h - floor;
        return project(Camera, u + lift * ShadowU, v + lift * ShadowV, floor);
    };
}

void ellipseAt(cairo_t *cr, Point c, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, c.x, c.y);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * Pi);
    cairo_restore(cr);
}

void tableCircle(cairo_t *cr, const Projector &to, double u, double v, double h, double radius) {
    constexpr int Steps = 96;
    for (int i = 0; i <= Steps; ++i) {
        const double a = 2 * Pi * i / Steps;
        const Point p = to(u + radius * std::cos(a), v + radius * std::sin(a), h);
        if (i == 0)
            cairo_move_to(cr, p.x, p.y);
        else
            cairo_line_to(cr, p.x, p.y);
    }
    cairo_close_path(cr);
}

void drawColumn(cairo_t *cr, double u, double v, double radius, double bottom, double top, Colour dark,
                Colour light) {
    const Point b = onCamera(u, v, bottom), t = onCamera(u, v, top);
    const double ry = radius * Camera.squash;
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, t.x, t.y);
    cairo_scale(cr, radius, ry);
    cairo_arc(cr, 0, 0, 1, Pi, 2 * Pi);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, b.x, b.y);
    cairo_scale(cr, radius, ry);
    cairo_arc(cr, 0, 0, 1, 0, Pi);
    cairo_restore(cr);
    cairo_close_path(cr);
    cairo_pattern_t *p = cairo_pattern_create_linear(b.x - radius, 0, b.x + radius, 0);
    const Colour stops[] = {dark * 0.9, light, mix(light, dark, 0.55), dark, dark * 0.55};
    const double at[] = {0, 0.22, 0.45, 0.75, 1};
    for (int i = 0; i < 5; ++i)
        cairo_pattern_add_color_stop_rgb(p, at[i], stops[i].r, stops[i].g, stops[i].b);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void drawDiscTop(cairo_t *cr, double u, double v, double h, double radius, Colour centre, Colour edge) {
    const Point c = onCamera(u, v, h);
    cairo_pattern_t *p =
        cairo_pattern_create_radial(c.x - radius * 0.3, c.y - radius * 0.3, radius * 0.1, c.x, c.y, radius);
    cairo_pattern_add_color_stop_rgb(p, 0, centre.r, centre.g, centre.b);
    cairo_pattern_add_color_stop_rgb(p, 1, edge.r, edge.g, edge.b);
    cairo_new_path(cr);
    ellipseAt(cr, c, radius, radius * Camera.squash);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    // Lathe rings and the chamfer.
    cairo_set_line_width(cr, 0.6);
    for (double k = 0.3; k < 0.95; k += 0.17) {
        ellipseAt(cr, c, radius * k, radius * k * Camera.squash);
        setColour(cr, {1, 1, 1}, 0.06);
        cairo_stroke(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, c.x, c.y);
    cairo_scale(cr, radius - 0.6, (radius - 0.6) * Camera.squash);
    cairo_arc(cr, 0, 0, 1, 0.9 * Pi, 1.75 * Pi);
    cairo_restore(cr);
    setColour(cr, {1, 1, 1}, 0.55);
    cairo_set_line_width(cr, 1.1);
    cairo_stroke(cr);
}

void polyline(cairo_t *cr, const std::vector<Point> &points, double dx, double dy) {
    cairo_new_path(cr);
    for (size_t i = 0; i < points.size(); ++i) {
        if (i == 0)
            cairo_move_to(cr, points[i].x + dx, points[i].y + dy);
        else
            cairo_line_to(cr, points[i].x + dx, points[i].y + dy);
    }
}

std::vector<Point> projectAll(const std::vector<TablePoint> &line, const Projector &to) {
    std::vector<Point> out;
    for (const auto &p : line) out.push_back(to(p.u, p.v, p.h));
    return out;
}

// A tube or a lying cylinder: layers from the dark rim to the highlight, each narrower and moved
// towards the light, give it its round look.
void strokeCylinder(cairo_t *cr, const std::vector<Point> &line, double width, Colour dark, Colour mid,
                    Colour shine, cairo_line_cap_t cap) {
    constexpr int Layers = 16;
    cairo_set_line_cap(cr, cap);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (int i = 0; i < Layers; ++i) {
        const double t = static_cast<double>(i) / (Layers - 1);
        const double shift = width * 0.24 * t;
        const Colour c = t < 0.6 ? mix(dark, mid, t / 0.6) : mix(mid, shine, sq((t - 0.6) / 0.4));
        polyline(cr, line, -0.3 * shift, -0.95 * shift);
        cairo_set_line_width(cr, width * (1 - 0.88 * t));
        setColour(cr, c);
        cairo_stroke(cr);
    }
}

ShadowLayer::ShadowLayer(int width, int height)
    : mask(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height)), cr(cairo_create(mask)) {
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
}

ShadowLayer::~ShadowLayer() {
    cairo_destroy(cr);
    cairo_surface_destroy(mask);
}

void ShadowLayer::lay(cairo_t *target, int blur, double opacity) {
    cairo_surface_flush(mask);
    blurSurface(mask, blur);
    paintThroughMask(target, mask, {0, 0, 0}, opacity);
}

} // namespace pictures
