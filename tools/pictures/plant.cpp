#include "stage.h"

namespace pictures {

namespace {

struct Leaf {
    Point base, tip;
    double width; // greatest half-width
    double bend;  // sideways bow of the midrib, share of the length
    double tone;  // how much light reaches it
};

struct LeafFrame {
    Point at, along, across; // midrib point, its direction, the left normal
};

LeafFrame leafFrame(const Leaf &leaf, double t) {
    const double lx = leaf.tip.x - leaf.base.x, ly = leaf.tip.y - leaf.base.y;
    const double len = std::hypot(lx, ly);
    const Point ctrl{(leaf.base.x + leaf.tip.x) / 2 - ly / len * leaf.bend * len,
                     (leaf.base.y + leaf.tip.y) / 2 + lx / len * leaf.bend * len};
    const double s = 1 - t;
    const Point at{s * s * leaf.base.x + 2 * s * t * ctrl.x + t * t * leaf.tip.x,
                   s * s * leaf.base.y + 2 * s * t * ctrl.y + t * t * leaf.tip.y};
    const double dx = 2 * s * (ctrl.x - leaf.base.x) + 2 * t * (leaf.tip.x - ctrl.x);
    const double dy = 2 * s * (ctrl.y - leaf.base.y) + 2 * t * (leaf.tip.y - ctrl.y);
    const double dl = std::hypot(dx, dy);
    return {at, {dx / dl, dy / dl}, {dy / dl, -dx / dl}};
}

double leafHalfWidth(const Leaf &leaf, double t) {
    // Broadest a little below the middle, narrowing into a drawn-out tip.
    const double body = std::pow(std::sin(Pi * std::pow(t, 0.78)), 0.85);
    return leaf.width * body * (1 - 0.25 * smoothstep(0.7, 1.0, t));
}

// One half of the leaf (side +1 left, -1 right), from the base along the edge to the tip and back
// along the midrib.
void leafHalf(cairo_t *cr, const Leaf &leaf, double side) {
    constexpr int Steps = 60;
    cairo_new_path(cr);
    for (int i = 0; i <= Steps; ++i) {
        const double t = static_cast<double>(i) / Steps;
        const LeafFrame f = leafFrame(leaf, t);
        const double w = leafHalfWidth(leaf, t) * side;
        const double x = f.at.x + f.across.x * w, y = f.at.y + f.across.y * w;
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    for (int i = Steps; i >= 0; --i) {
        const LeafFrame f = leafFrame(leaf, static_cast<double>(i) / Steps);
        cairo_line_to(cr, f.at.x, f.at.y);
    }
    cairo_close_path(cr);
}

void leafOutline(cairo_t *cr, const Leaf &leaf) {
    leafHalf(cr, leaf, 1);
    cairo_path_t *left = cairo_copy_path(cr);
    leafHalf(cr, leaf, -1);
    cairo_append_path(cr, left);
    cairo_path_destroy(left);
}

void drawLeaf(cairo_t *cr, const Leaf &leaf, uint32_t seed) {
    const Colour deep{0.01, 0.045, 0.02}, green{0.06, 0.24, 0.09}, bright{0.3, 0.56, 0.22};
    // The stalk, running out of the picture.
    const LeafFrame start = leafFrame(leaf, 0);
    cairo_move_to(cr, start.at.x, start.at.y);
    cairo_line_to(cr, start.at.x - start.along.x * 160, start.at.y - start.along.y * 160);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 5);
    setColour(cr, mix(deep, green, 0.6 * leaf.tone));
    cairo_stroke(cr);

    // The leaf is folded along its midrib: the half facing the light is brighter, most of all near
    // the fold.
    const LeafFrame mid = leafFrame(leaf, 0.45);
    const double facing = mid.across.x * -0.6 + mid.across.y * -0.8;
    for (double side : {1.0, -1.0}) {
        const bool lit = side * facing > 0;
        const double w = leafHalfWidth(leaf, 0.45) * side;
        const Point edge{mid.at.x + mid.across.x * w, mid.at.y + mid.across.y * w};
        cairo_pattern_t *p = cairo_pattern_create_linear(mid.at.x, mid.at.y, edge.x, edge.y);
        const Colour fold = lit ? mix(green, bright, 0.7 * leaf.tone) : mix(deep, green, 0.55 * leaf.tone);
        const Colour rim = lit ? mix(deep, green, 0.85 * leaf.tone) : mix(deep, green, 0.3 * leaf.tone);
        cairo_pattern_add_color_stop_rgb(p, 0, fold.r, fold.g, fold.b);
        cairo_pattern_add_color_stop_rgb(p, 1, rim.r, rim.g, rim.b);
        leafHalf(cr, leaf, side);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        // Darker towards the stalk and the tip, where the blade turns away.
        const LeafFrame a = leafFrame(leaf, 0), b = leafFrame(leaf, 1);
        cairo_pattern_t *ends = cairo_pattern_create_linear(a.at.x, a.at.y, b.at.x, b.at.y);
        cairo_pattern_add_color_stop_rgba(ends, 0, 0, 0.02, 0, 0.55);
        cairo_pattern_add_color_stop_rgba(ends, 0.35, 0, 0.02, 0, 0);
        cairo_pattern_add_color_stop_rgba(ends, 0.75, 0, 0.02, 0, 0);
        cairo_pattern_add_color_stop_rgba(ends, 1, 0, 0.02, 0, 0.45);
        leafHalf(cr, leaf, side);
        cairo_set_source(cr, ends);
        cairo_fill(cr);
        cairo_pattern_destroy(ends);
        // Gloss: the window's reflection as a long soft streak on the lit half.
        if (lit) {
            const LeafFrame g = leafFrame(leaf, 0.4);
            const double gw = leafHalfWidth(leaf, 0.4) * 0.38 * side;
            const Point c{g.at.x + g.across.x * gw, g.at.y + g.across.y * gw};
            cairo_save(cr);
            leafHalf(cr, leaf, side);
            cairo_clip(cr);
            cairo_translate(cr, c.x, c.y);
            cairo_rotate(cr, std::atan2(g.along.y, g.along.x));
            cairo_scale(cr, 3.2, 1);
            cairo_pattern_t *spot = cairo_pattern_create_radial(0, 0, 0, 0, 0, leaf.width * 0.5);
            cairo_pattern_add_color_stop_rgba(spot, 0, 0.8, 0.9, 0.75, 0.38 * leaf.tone);
            cairo_pattern_add_color_stop_rgba(spot, 1, 0.8, 0.9, 0.75, 0);
            cairo_set_source(cr, spot);
            cairo_paint(cr);
            cairo_pattern_destroy(spot);
            cairo_restore(cr);
        }
    }
    // Side veins: leaving the midrib towards the tip and bending along the margin, pressed into
    // the blade (a dark groove with a lit lip).
    Random random{seed};
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (double side : {1.0, -1.0}) {
        for (double t = 0.08; t < 0.8; t += 0.075 + 0.02 * random.unit()) {
            const LeafFrame f = leafFrame(leaf, t);
            const LeafFrame m = leafFrame(leaf, t + 0.07);
            const LeafFrame g = leafFrame(leaf, std::min(0.97, t + 0.2));
            const double wm = leafHalfWidth(leaf, t + 0.07) * 0.6 * side;
            const double wg = leafHalfWidth(leaf, std::min(0.97, t + 0.2)) * 0.9 * side;
            const Point ctrl{m.at.x + m.across.x * wm, m.at.y + m.across.y * wm};
            const Point end{g.at.x + g.across.x * wg, g.at.y + g.across.y * wg};
            for (int pass = 0; pass < 2; ++pass) {
                const double o = pass == 0 ? 0.5 : -0.4;
                cairo_move_to(cr, f.at.x + o, f.at.y + o);
                cairo_curve_to(cr, ctrl.x + o, ctrl.y + o, ctrl.x + o, ctrl.y + o, end.x + o, end.y + o);
                if (pass == 0)
                    setColour(cr, {0, 0.015, 0}, 0.45);
                else
                    setColour(cr, {0.5, 0.65, 0.4}, 0.2 * leaf.tone);
                cairo_set_line_width(cr, 0.9);
                cairo_stroke(cr);
            }
        }
    }
    // Midrib, pale and tapering.
    for (int i = 0; i < 40; ++i) {
        const double t0 = i / 40.0, t1 = (i + 1) / 40.0;
        const LeafFrame f0 = leafFrame(leaf, t0 * 0.94), f1 = leafFrame(leaf, t1 * 0.94);
        cairo_move_to(cr, f0.at.x, f0.at.y);
        cairo_line_to(cr, f1.at.x, f1.at.y);
        cairo_set_line_width(cr, 2.4 * (1 - t0) + 0.5);
        setColour(cr, {0.45, 0.56, 0.3}, (0.3 + 0.45 * leaf.tone) * (1 - 0.6 * t0));
        cairo_stroke(cr);
    }
    // The margin: dark, with a fine lit edge where it faces the light.
    leafOutline(cr, leaf);
    setColour(cr, {0, 0.03, 0.01}, 0.6);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_save(cr);
    leafOutline(cr, leaf);
    cairo_clip(cr);
    cairo_translate(cr, 1.0, 1.3);
    leafOutline(cr, leaf);
    cairo_set_line_width(cr, 1.2);
    setColour(cr, {0.55, 0.7, 0.45}, 0.18 * leaf.tone);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// Back to front. The low leaves lie on the plinth under the arm; the high ones reach over it,
// nearer to the lens.
const Leaf LowLeaves[] = {
    {{872, 292}, {792, 196}, 30, -0.08, 0.4},
    {{884, 420}, {716, 334}, 38, -0.1, 0.55},
};
const Leaf HighLeaves[] = {
    {{900, 520}, {796, 378}, 32, 0.08, 0.6},   {{842, 540}, {676, 452}, 42, -0.12, 0.72},
    {{806, 612}, {556, 522}, 38, 0.15, 0.75},  {{832, 584}, {648, 506}, 40, 0.1, 0.85},
    {{862, 596}, {768, 410}, 36, -0.06, 0.95},
};

template <size_t N>
void drawLeaves(cairo_t *target, const Leaf (&leaves)[N], double lift, int blur, uint32_t seed) {
    cairo_surface_t *layer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, PhotoWidth, PhotoHeight);
    cairo_t *cr = cairo_create(layer);
    for (const Leaf &leaf : leaves) {
        // Each leaf throws its shadow on what lies below it, the leaves before it included.
        ShadowLayer shadow(PhotoWidth, PhotoHeight);
        cairo_translate(shadow.cr, lift * ShadowU, lift * (ShadowV * Camera.squash + Camera.rise));
        leafOutline(shadow.cr, leaf);
        cairo_fill(shadow.cr);
        shadow.lay(cr, static_cast<int>(2 + lift / 5), 0.7);
        drawLeaf(cr, leaf, seed++);
    }
    cairo_destroy(cr);
    blurSurface(layer, blur);
    cairo_set_source_surface(target, layer, 0, 0);
    cairo_paint(target);
    cairo_surface_destroy(layer);
}

} // namespace

void drawLowLeaves(cairo_t *cr) {
    drawLeaves(cr, LowLeaves, 8, 0, 300);
}

// The plant is nearer to the lens than the record the camera is focused on: its high leaves are
// slightly out of focus.
void drawHighLeaves(cairo_t *cr) {
    drawLeaves(cr, HighLeaves, 28, 1, 400);
}

} // namespace pictures
