#include "disc.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace pictures {

namespace {

const Colour Vinyl{0.018, 0.018, 0.022};
const Colour White{1, 1, 1};
const Colour PrintCream{0.96, 0.85, 0.64};
const Colour PrintGold{0.84, 0.66, 0.36};

double lightAngle() {
    return std::atan2(LightV, LightU);
}

Colour shadePaper(const Disc &d, double u, double v, double r) {
    const double toLight = (u * LightU + v * LightV) / d.labelRadius;
    const double lit = 0.86 + 0.2 * toLight;
    const double tooth = 1 + 0.08 * (fbm(u * 0.35, v * 0.35, d.seed + 21, 3) - 0.5) +
                         0.03 * (hashUnit(static_cast<int32_t>(std::floor(u * 2)),
                                          static_cast<int32_t>(std::floor(v * 2)), d.seed + 22) -
                                 0.5);
    const double rim = 1 - 0.22 * std::pow(r / d.labelRadius, 8);
    return d.label * (lit * tooth * rim);
}

} // namespace

Rgba shadeDisc(const Disc &d, double u, double v) {
    const double r = std::hypot(u, v);
    const double big = d.recordRadius;
    if (r > big) return {};
    if (r <= d.labelRadius) return {shadePaper(d, u, v, r), 1};

    const double phi = std::atan2(v, u);
    const double rn = r / big;
    // The window behind the camera's left shoulder, mirrored broadly by the glossy vinyl.
    const double glow = std::exp(-(sq(u / big + 0.4) + sq(v / big + 0.48)) / 0.25);
    // The grooves scatter the key light into two opposite wedges through the centre.
    const double off = std::remainder(phi - d.sheenAngle, Pi);
    const double facing = std::cos(phi - d.sheenAngle) > 0 ? 1.0 : 0.85;
    const double width = 0.07 + 0.08 * rn;
    const double wedge = facing * (std::exp(-sq(off / width)) + 0.2 * std::exp(-sq(off / (3.5 * width))));
    const Colour tint = mix({1.0, 0.88, 0.78}, {0.78, 0.9, 1.0}, smoothstep(-width, width, off));
    const double peak = d.sheenPeak;
    Colour c = Vinyl;

    if (r > big - 1.6) {
        // The rounded rim catches the light on the side facing it.
        const double facingLight = std::max(0.0, std::cos(phi - lightAngle()));
        c = c + White * (0.05 + 0.3 * sq(facingLight) + 0.2 * wedge * peak);
    } else if (r > d.grooveOuter) {
        c = c + White * (glow * 0.08) + tint * (wedge * 0.08 * peak);
    } else if (r > d.grooveInner) {
        int track = 0;
        bool quiet = false;
        for (int i = 0; i < d.gapCount; ++i) {
            const auto gap = d.gaps[static_cast<size_t>(i)];
            if (r > gap) ++track;
            if (std::abs(r - gap) < d.gapWidth / 2) quiet = true;
        }
        if (quiet) {
            c = c + White * (glow * 0.08) + tint * (wedge * 0.12 * peak);
        } else {
            // Each groove reflects a little differently; louder tracks have wider, brighter grooves.
            const auto ring = static_cast<int32_t>(std::floor(r / d.pitch));
            const double fine = 0.45 + 0.55 * hashUnit(ring, 0, d.seed);
            const double loud = 0.7 + 0.3 * hashUnit(track, 1, d.seed) +
                                0.15 * (valueNoise(r * 0.11, track * 7.0, d.seed + 3) - 0.5);
            c = c + White * (glow * 0.02) + tint * (wedge * peak * fine * loud);
        }
    } else if (r > d.labelRadius + 6) {
        // Run-out: smooth vinyl crossed by the widely spaced lead-out spiral.
        const double turn = (r - d.labelRadius) / 5.5 + phi / (2 * Pi);
        const double line = (turn - std::floor(turn) < 0.14 && r > d.labelRadius + 12) ? 1.0 : 0.0;
        c = c + White * (glow * 0.08) + tint * (wedge * peak * (0.06 + 0.4 * line));
    } else {
        // The flat land around the label, its outer step lit on the light's side.
        const double step = r > d.labelRadius + 5 ? std::max(0.0, std::cos(phi - lightAngle())) : 0.0;
        c = c + White * (glow * 0.06 + 0.1 * step) + tint * (wedge * 0.05 * peak);
    }
    return {c, 1};
}

namespace {

// A small monoline script: enough letters to print the label's lines as strokes.
double glyph(cairo_t *cr, char ch) {
    auto stroke = [cr](double x0, double y0, double x1, double y1) {
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
    };
    auto bowl = [cr](double cx, double cy, double rx, double ry, double a0, double a1) {
        cairo_new_sub_path(cr);
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, a0, a1);
        cairo_restore(cr);
    };
    auto arch = [cr](double x0, double x1) {
        cairo_move_to(cr, x0, -0.7);
        cairo_curve_to(cr, x0 + 0.05, -1.05, x1, -1.05, x1, -0.65);
        cairo_line_to(cr, x1, 0);
    };
    switch (ch) {
    case 'a':
        bowl(0.3, -0.5, 0.27, 0.5, 0, 2 * Pi);
        stroke(0.58, -1, 0.58, 0);
        return 0.78;
    case 'd':
        bowl(0.3, -0.5, 0.27, 0.5, 0, 2 * Pi);
        stroke(0.58, -1.45, 0.58, 0);
        return 0.78;
    case 'e':
        stroke(0.04, -0.5, 0.6, -0.5);
        bowl(0.32, -0.5, 0.29, 0.5, 0, 1.75 * Pi);
        return 0.72;
    case 'G':
        bowl(0.62, -0.75, 0.6, 0.75, 0.2 * Pi, 1.85 * Pi);
        stroke(0.68, -0.55, 1.2, -0.55);
        stroke(1.2, -0.55, 1.2, -0.15);
        return 1.38;
    case 'h':
        stroke(0.05, 0, 0.05, -1.45);
        arch(0.05, 0.55);
        return 0.72;
    case 'i':
        stroke(0.06, 0, 0.06, -1);
        stroke(0.06, -1.32, 0.06, -1.4);
        return 0.3;
    case 'l':
        stroke(0.06, 0, 0.06, -1.45);
        return 0.3;
    case 'm':
        stroke(0.05, 0, 0.05, -1);
        arch(0.05, 0.45);
        arch(0.45, 0.85);
        return 1.02;
    case 'n':
        stroke(0.05, 0, 0.05, -1);
        arch(0.05, 0.55);
        return 0.72;
    case 'o':
        bowl(0.32, -0.5, 0.3, 0.5, 0, 2 * Pi);
        return 0.74;
    case 'p':
        bowl(0.33, -0.5, 0.27, 0.5, 0, 2 * Pi);
        stroke(0.06, -1, 0.06, 0.45);
        return 0.74;
    case 'r':
        stroke(0.05, 0, 0.05, -1);
        cairo_move_to(cr, 0.05, -0.62);
        cairo_curve_to(cr, 0.14, -1, 0.38, -1.04, 0.5, -0.94);
        return 0.56;
    case 's':
        cairo_move_to(cr, 0.5, -0.88);
        cairo_curve_to(cr, 0.32, -1.08, 0.0, -0.96, 0.08, -0.72);
        cairo_curve_to(cr, 0.16, -0.5, 0.56, -0.52, 0.52, -0.24);
        cairo_curve_to(cr, 0.48, 0.06, 0.14, 0.04, 0.02, -0.12);
        return 0.64;
    case 't':
        stroke(0.2, 0, 0.2, -1.3);
        stroke(0.0, -1, 0.44, -1);
        return 0.52;
    case 'u':
        stroke(0.55, 0, 0.55, -1);
        cairo_move_to(cr, 0.05, -1);
        cairo_curve_to(cr, 0.05, 0.3, 0.55, 0.1, 0.55, -0.4);
        return 0.72;
    case 'v':
        cairo_move_to(cr, 0, -1);
        cairo_line_to(cr, 0.3, 0);
        cairo_line_to(cr, 0.6, -1);
        return 0.68;
    case '3':
        bowl(0.3, -1.07, 0.27, 0.33, 1.1 * Pi, 2.5 * Pi);
        bowl(0.3, -0.38, 0.32, 0.38, 1.5 * Pi, 2.85 * Pi);
        return 0.72;
    default:
        return 0.5; // space
    }
}

double glyphAdvance(char ch) {
    cairo_surface_t *scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t *cr = cairo_create(scratch);
    const double advance = glyph(cr, ch);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    return advance;
}

double textWidth(std::string_view text) {
    double w = 0;
    for (char ch : text) w += glyphAdvance(ch) + 0.22;
    return w;
}

// Strokes the text with its baseline centred at the origin of the current user space, `size` being
// the height of a small letter.
void strokeText(cairo_t *cr, std::string_view text, double size) {
    cairo_save(cr);
    cairo_scale(cr, size, size);
    cairo_translate(cr, -textWidth(text) / 2, 0);
    for (char ch : text) {
        cairo_new_path(cr);
        const double advance = glyph(cr, ch);
        cairo_set_line_width(cr, 0.14);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
        cairo_translate(cr, advance + 0.22, 0);
    }
    cairo_restore(cr);
}

// Invented words for the small print: the eye only needs to see lettering, not read it.
std::string wordsOfWidth(double width, uint32_t seed) {
    static constexpr std::string_view Letters = "aeilnorstuedhmnpv";
    std::string text;
    Random random{seed};
    while (true) {
        const int length = 2 + static_cast<int>(random.unit() * 7);
        std::string word;
        for (int i = 0; i < length; ++i) word += Letters[static_cast<size_t>(random.unit() * Letters.size())];
        const std::string candidate = text.empty() ? word : text + " " + word;
        if (textWidth(candidate) > width) break;
        text = candidate;
    }
    return text;
}

// Lettering along a circle of radius `radius`, centred on angle `centre`; on the lower half the
// letters stand towards the centre and read left to right.
void strokeArcText(cairo_t *cr, std::string_view text, double radius, double centre, double size,
                   bool lower) {
    const double total = textWidth(text) * size / radius;
    double angle = lower ? centre + total / 2 : centre - total / 2;
    for (char ch : text) {
        const double advance = (glyphAdvance(ch) + 0.22) * size / radius;
        const double mid = lower ? angle - advance / 2 : angle + advance / 2;
        cairo_save(cr);
        cairo_rotate(cr, lower ? mid - Pi / 2 : mid + Pi / 2);
        cairo_translate(cr, 0, lower ? radius : -radius);
        const char one[2] = {ch, 0};
        strokeText(cr, one, size);
        cairo_restore(cr);
        angle = lower ? angle - advance : angle + advance;
    }
}

} // namespace

void drawLabelPrint(cairo_t *cr, const Disc &d, bool lettering) {
    const double rl = d.labelRadius;
    cairo_save(cr);
    cairo_translate(cr, d.view.cx, d.view.cy);
    cairo_scale(cr, 1, d.view.squash);
    cairo_arc(cr, 0, 0, rl, 0, 2 * Pi);
    cairo_clip(cr);

    setColour(cr, PrintGold, 0.85);
    cairo_set_line_width(cr, rl * 0.008);
    cairo_arc(cr, 0, 0, rl * 0.945, 0, 2 * Pi);
    cairo_stroke(cr);
    cairo_set_line_width(cr, rl * 0.004);
    cairo_arc(cr, 0, 0, rl * 0.915, 0, 2 * Pi);
    cairo_stroke(cr);
    cairo_arc(cr, 0, 0, rl * 0.14, 0, 2 * Pi);
    cairo_stroke(cr);

    // The emblem: a stylus tip in a ring, with rules to either side.
    cairo_save(cr);
    cairo_translate(cr, 0, -rl * 0.56);
    const double e = rl * 0.085;
    cairo_set_line_width(cr, rl * 0.009);
    cairo_arc(cr, 0, 0, e, 0, 2 * Pi);
    cairo_stroke(cr);
    cairo_move_to(cr, 0, -e * 0.62);
    cairo_line_to(cr, e * 0.42, 0);
    cairo_line_to(cr, 0, e * 0.62);
    cairo_line_to(cr, -e * 0.42, 0);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_set_line_width(cr, rl * 0.005);
    for (double side : {-1.0, 1.0}) {
        cairo_move_to(cr, side * e * 1.5, 0);
        cairo_line_to(cr, side * e * 4.2, 0);
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    if (lettering) {
        setColour(cr, PrintCream, 0.85);
        cairo_save(cr);
        cairo_translate(cr, 0, -rl * 0.28);
        strokeText(cr, "Groovestone", rl * 0.075);
        cairo_restore(cr);
        setColour(cr, PrintCream, 0.6);
        const double small = rl * 0.03;
        strokeArcText(cr, wordsOfWidth(rl * 1.7 / small, d.seed + 40), rl * 0.83, -Pi / 2, small, false);
        strokeArcText(cr, wordsOfWidth(rl * 1.5 / small, d.seed + 41), rl * 0.83 + small * 1.2, Pi / 2, small,
                      true);
        for (int side = 0; side < 2; ++side) {
            cairo_save(cr);
            cairo_translate(cr, (side == 0 ? -1 : 1) * rl * 0.6, rl * 0.05);
            strokeText(cr, side == 0 ? "side a" : "33 rpm", rl * 0.045);
            cairo_restore(cr);
        }
        for (int line = 0; line < 4; ++line) {
            const double y = rl * (0.3 + 0.11 * line);
            const double half = std::sqrt(sq(rl * 0.8) - sq(y));
            cairo_save(cr);
            cairo_translate(cr, 0, y);
            strokeText(cr, wordsOfWidth(half * 1.5 / small, d.seed + 50 + static_cast<uint32_t>(line)),
                       small);
            cairo_restore(cr);
        }
    }
    cairo_restore(cr);
}

void drawSpindle(cairo_t *cr, const Disc &d, double radius, double height) {
    const View &view = d.view;
    auto ellipse = [cr, &view](Point c, double r) {
        cairo_save(cr);
        cairo_translate(cr, c.x, c.y);
        cairo_scale(cr, r, r * view.squash);
        cairo_arc(cr, 0, 0, 1, 0, 2 * Pi);
        cairo_restore(cr);
    };
    const Point base = project(view, 0, 0, 0);
    const Point top = project(view, 0, 0, height);
    // The hole in the paper, a little wider than the spindle.
    setColour(cr, {0.03, 0.015, 0.012}, 0.85);
    ellipse(base, radius * 1.4);
    cairo_fill(cr);
    // The shaft, from the label up to the cap.
    if (height > 0) {
        cairo_pattern_t *side = cairo_pattern_create_linear(base.x - radius, 0, base.x + radius, 0);
        cairo_pattern_add_color_stop_rgb(side, 0, 0.25, 0.25, 0.27);
        cairo_pattern_add_color_stop_rgb(side, 0.3, 0.85, 0.85, 0.86);
        cairo_pattern_add_color_stop_rgb(side, 0.55, 0.42, 0.42, 0.44);
        cairo_pattern_add_color_stop_rgb(side, 1, 0.12, 0.12, 0.13);
        cairo_rectangle(cr, base.x - radius, top.y, 2 * radius, base.y - top.y);
        ellipse(base, radius);
        cairo_set_source(cr, side);
        cairo_fill(cr);
        cairo_pattern_destroy(side);
    }
    cairo_pattern_t *cap =
        cairo_pattern_create_radial(top.x - radius * 0.35, top.y - radius * 0.3, 0, top.x, top.y, radius);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0.98, 0.98, 0.97);
    cairo_pattern_add_color_stop_rgb(cap, 0.45, 0.62, 0.62, 0.64);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0.22, 0.22, 0.24);
    ellipse(top, radius);
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
}

} // namespace pictures
