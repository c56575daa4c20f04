#include "scene.h"

#include "disc.h"
#include "stage.h"

#include <cmath>

namespace pictures {

namespace {

Disc photoDisc() {
    Disc d{};
    d.view = Camera;
    d.recordRadius = RecordRadius;
    d.labelRadius = LabelSemiAxisX;
    d.grooveOuter = RecordRadius - 7;
    d.grooveInner = d.labelRadius + 24;
    d.pitch = 0.7;
    d.gaps = {147, 166, 181, 199, 220, 233, 0, 0};
    d.gapCount = 6;
    d.gapWidth = 2.2;
    d.sheenAngle = std::atan2(LightV, LightU);
    d.sheenPeak = 0.55;
    d.label = {0.5, 0.07, 0.085};
    d.seed = 1977;
    return d;
}

// --- The plinth: dark walnut under one soft light from the upper left.

Colour shadePlinth(double x, double y) {
    const double u = x - Camera.cx;
    const double v = (y - Camera.cy + Camera.rise * PlinthLevel) / Camera.squash;
    const double warp = fbm(u / 160, v / 45, 11, 4);
    const double grain = fbm(u / 520 + 0.7 * warp, v / 7 + 2.6 * warp, 12, 5);
    const double rings = 0.5 + 0.5 * std::sin(grain * 42);
    const double pores =
        hashUnit(static_cast<int32_t>(std::floor(u / 5)), static_cast<int32_t>(std::floor(v * 1.3)), 13);
    const double figure = 0.5 * rings + 0.3 * grain + 0.2 * pores;
    const Colour wood = mix({0.045, 0.027, 0.018}, {0.17, 0.104, 0.064}, figure);
    const double light = 0.3 + 1.15 * std::exp(-(sq(x - 110) + sq((y + 50) * 1.2)) / sq(440));
    // The varnish mirrors the window as a soft band.
    const double sheen = 0.035 * std::exp(-sq((0.45 * x + y - 70) / 60)) * smoothstep(760, 120, x);
    return wood * light + Colour{0.9, 0.85, 0.8} * sheen;
}

// --- The platter and the record, shaded per pixel.

Colour shadePlatterTop(double u, double v, double r) {
    const double phi = std::atan2(v, u);
    const double light = std::atan2(LightV, LightU);
    const double brushed = std::exp(-sq(std::remainder(phi - light - Pi / 2, Pi) / 0.3));
    const double lathe = 0.03 * hashUnit(static_cast<int32_t>(std::floor(r * 2)), 0, 5);
    double k = 0.07 + 0.16 * brushed + lathe;
    if (r > PlatterRadius - 1.6) k += 0.08 + 0.45 * std::max(0.0, std::cos(phi - light));
    if (r < RecordRadius + 1.0) k *= 0.35; // the gap under the record's edge
    return Colour{0.92, 0.93, 0.96} * k;
}

// The front of the platter's rim: s runs from its top (0) to its bottom (1); the strobe dots ride on it.
Colour shadePlatterSide(double u, double s) {
    const double theta = std::asin(std::max(-1.0, std::min(1.0, u / PlatterRadius)));
    double k = 0.08 + 0.34 * std::exp(-sq((theta + 0.95) / 0.2)) + 0.1 * std::exp(-sq((theta - 0.25) / 0.45));
    const double rows[][2] = {{0.12, 0.34}, {0.42, 0.64}, {0.72, 0.94}};
    const int counts[] = {180, 171, 162};
    for (int i = 0; i < 3; ++i) {
        if (s < rows[i][0] || s > rows[i][1]) continue;
        const double phase = (theta / (2 * Pi)) * counts[i];
        if (phase - std::floor(phase) < 0.5) {
            const double within = (s - rows[i][0]) / (rows[i][1] - rows[i][0]);
            k += within < 0.45 ? 0.16 : -0.06;
        }
    }
    return Colour{0.92, 0.93, 0.96} * (k * (1 - 0.45 * s));
}

Rgba shadeTurntable(const Disc &disc, double x, double y) {
    const double u = x - Camera.cx;
    const double v = (y - Camera.cy) / Camera.squash;
    const double r = std::hypot(u, v);
    if (r <= RecordRadius) return shadeDisc(disc, u, v);
    if (r <= PlatterRadius) return {shadePlatterTop(u, v, r), 1};
    if (std::abs(u) < PlatterRadius) {
        const double front = Camera.cy + Camera.squash * std::sqrt(sq(PlatterRadius) - sq(u));
        const double depth = Camera.rise * PlatterDepth;
        if (y > front && y <= front + depth) return {shadePlatterSide(u, (y - front) / depth), 1};
    }
    return {};
}

// A few specks of dust and a fibre or two on the vinyl, catching the light.
void drawDust(cairo_t *cr) {
    Random random{808};
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i < 32; ++i) {
        const double r = LabelSemiAxisX + 8 + (RecordRadius - LabelSemiAxisX - 12) * std::sqrt(random.unit());
        const double a = 2 * Pi * random.unit();
        const Point p = onCamera(r * std::cos(a), r * std::sin(a), 0);
        const double size = 0.3 + 0.45 * random.unit();
        const double alpha = 0.06 + 0.2 * random.unit();
        if (i % 12 == 11) {
            // A fibre: a short curled thread.
            const double b = 2 * Pi * random.unit();
            cairo_move_to(cr, p.x, p.y);
            cairo_rel_curve_to(cr, 3 * std::cos(b), 3 * std::sin(b), 6 * std::cos(b + 1), 6 * std::sin(b + 1),
                               8 * std::cos(b + 0.4), 8 * std::sin(b + 0.4));
            cairo_set_line_width(cr, 0.5);
            setColour(cr, {0.8, 0.8, 0.78}, alpha * 0.6);
            cairo_stroke(cr);
            continue;
        }
        ellipseAt(cr, p, size, size);
        setColour(cr, {0.85, 0.85, 0.82}, alpha);
        cairo_fill(cr);
    }
}

// --- Finishing: the lens's vignette and film grain.

void finishPhoto(cairo_surface_t *photo) {
    cairo_surface_flush(photo);
    unsigned char *data = cairo_image_surface_get_data(photo);
    const int stride = cairo_image_surface_get_stride(photo);
    Random grain{20240611};
    for (int y = 0; y < PhotoHeight; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<long>(y) * stride);
        for (int x = 0; x < PhotoWidth; ++x) {
            const double d = std::hypot((x - 390.0) / 470, (y - 260.0) / 330);
            const double keep = 1 - 0.5 * smoothstep(0.55, 1.4, d);
            const double noise = (grain.unit() + grain.unit() - 1) * 1.8;
            const uint32_t p = row[x];
            auto channel = [&](int shift) {
                const double v = ((p >> shift) & 0xFF) * keep + noise;
                return static_cast<uint32_t>(std::lround(std::min(255.0, std::max(0.0, v))));
            };
            row[x] = 0xFF000000u | channel(16) << 16 | channel(8) << 8 | channel(0);
        }
    }
    cairo_surface_mark_dirty(photo);
}

} // namespace

bool onLabel(int x, int y) {
    const double dx = (x + 0.5 - LabelRectWidth / 2.0) / LabelSemiAxisX;
    const double dy = (y + 0.5 - LabelRectHeight / 2.0) / LabelSemiAxisY;
    return dx * dx + dy * dy <= 1;
}

void drawPhoto(cairo_surface_t *photo) {
    shadePixels(photo, 0, 0, PhotoWidth, PhotoHeight, 2, [](double x, double y) {
        return Rgba{shadePlinth(x, y), 1};
    });
    cairo_t *cr = cairo_create(photo);

    // The platter stands on the plinth: a soft shadow thrown away from the light, and a tight dark
    // line where it meets the wood.
    {
        ShadowLayer shadow(PhotoWidth, PhotoHeight);
        tableCircle(shadow.cr, shadowOn(PlinthLevel), 0, 0, 0, PlatterRadius);
        tableCircle(shadow.cr, onCamera, 0, 0, PlinthLevel, PlatterRadius + 4);
        cairo_fill(shadow.cr);
        shadow.lay(cr, 14, 0.85);
        ShadowLayer contact(PhotoWidth, PhotoHeight);
        tableCircle(contact.cr, onCamera, 0, 0, PlinthLevel + 1, PlatterRadius + 1);
        cairo_fill(contact.cr);
        contact.lay(cr, 2, 0.9);
    }

    const Disc disc = photoDisc();
    cairo_surface_t *turntable = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, PhotoWidth, PhotoHeight);
    shadePixels(turntable, 0, 0, PhotoWidth, PhotoHeight, 4,
                [&disc](double x, double y) { return shadeTurntable(disc, x, y); });
    cairo_set_source_surface(cr, turntable, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(turntable);
    drawDust(cr);
    drawLabelPrint(cr, disc, true);
    drawSpindle(cr, disc, 3.6, 9);

    drawLowLeaves(cr);
    drawToneArm(cr);
    drawHighLeaves(cr);
    cairo_destroy(cr);
    finishPhoto(photo);
}

void drawIcon(cairo_surface_t *icon, int size) {
    const double k = size / 256.0;
    Disc d{};
    d.view = {size / 2.0, size / 2.0 - 3 * k, 1, 0};
    d.recordRadius = 114 * k;
    d.labelRadius = 46 * k;
    d.grooveOuter = d.recordRadius - 4 * k;
    d.grooveInner = d.labelRadius + 10 * k;
    d.pitch = 0.55 * k;
    d.gaps = {68 * k, 79 * k, 88 * k, 99 * k, 0, 0, 0, 0};
    d.gapCount = 4;
    d.gapWidth = 1.6 * k;
    d.sheenAngle = std::atan2(LightV, LightU);
    d.sheenPeak = 0.42;
    d.label = {0.58, 0.08, 0.095};
    d.seed = 45;

    cairo_t *cr = cairo_create(icon);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    {
        ShadowLayer shadow(size, size);
        ellipseAt(shadow.cr, {d.view.cx, d.view.cy + 4 * k}, d.recordRadius, d.recordRadius);
        cairo_fill(shadow.cr);
        shadow.lay(cr, static_cast<int>(std::lround(3 * k)), 0.55);
    }
    cairo_surface_t *record = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    shadePixels(record, 0, 0, size, size, 4,
                [&d](double x, double y) { return shadeDisc(d, x - d.view.cx, y - d.view.cy); });
    cairo_set_source_surface(cr, record, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(record);
    drawLabelPrint(cr, d, false);
    // The centre hole goes right through.
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    ellipseAt(cr, {d.view.cx, d.view.cy}, 4 * k, 4 * k);
    cairo_fill(cr);
    cairo_destroy(cr);
}

} // namespace pictures
