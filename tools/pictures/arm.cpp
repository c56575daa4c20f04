#include "disc.h"
#include "stage.h"

namespace pictures {

namespace {

struct Arm {
    double pu, pv; // pivot
    double su, sv; // stylus on the record
    double tu, tv; // along the groove, the way the headshell points
    double nu, nv; // across the headshell, away from the spindle
    double ju, jv; // joint of the tube and the headshell
};

Arm layoutArm() {
    const double pivotAngle = 20 * Pi / 180, pivotDistance = 345, reach = 362, playing = 205;
    Arm a{};
    a.pu = pivotDistance * std::cos(pivotAngle);
    a.pv = pivotDistance * std::sin(pivotAngle);
    const double spread =
        std::acos((sq(playing) + sq(pivotDistance) - sq(reach)) / (2 * playing * pivotDistance));
    const double at = pivotAngle + spread;
    a.su = playing * std::cos(at);
    a.sv = playing * std::sin(at);
    a.tu = -std::sin(at);
    a.tv = std::cos(at);
    if (a.tu * (a.su - a.pu) + a.tv * (a.sv - a.pv) < 0) {
        a.tu = -a.tu;
        a.tv = -a.tv;
    }
    a.nu = -a.tv;
    a.nv = a.tu;
    if (a.nu * a.su + a.nv * a.sv < 0) {
        a.nu = -a.nu;
        a.nv = -a.nv;
    }
    a.ju = a.su - a.tu * 36;
    a.jv = a.sv - a.tv * 36;
    return a;
}

constexpr double TubeHeightAtPivot = 24;
constexpr double TubeHeightAtHead = 19;

std::vector<TablePoint> tubeLine(const Arm &a) {
    const double du = a.ju - a.pu, dv = a.jv - a.pv;
    const double len = std::hypot(du, dv);
    const double eu = du / len, ev = dv / len;
    const double au = a.pu + eu * 14, av = a.pv + ev * 14;
    // An S-bend: leaving the pivot turned away from the headshell's offset, arriving along it.
    const double turn = -0.16;
    const double bu = au + (eu * std::cos(turn) - ev * std::sin(turn)) * len * 0.38;
    const double bv = av + (eu * std::sin(turn) + ev * std::cos(turn)) * len * 0.38;
    const double cu = a.ju - a.tu * len * 0.32, cv = a.jv - a.tv * len * 0.32;
    std::vector<TablePoint> line;
    constexpr int Steps = 64;
    for (int i = 0; i <= Steps; ++i) {
        const double t = static_cast<double>(i) / Steps, s = 1 - t;
        const double u = s * s * s * au + 3 * s * s * t * bu + 3 * s * t * t * cu + t * t * t * a.ju;
        const double v = s * s * s * av + 3 * s * s * t * bv + 3 * s * t * t * cv + t * t * t * a.jv;
        line.push_back({u, v, TubeHeightAtPivot + (TubeHeightAtHead - TubeHeightAtPivot) * t});
    }
    return line;
}

// Points of the headshell's outline in its own frame (x along the groove from the stylus, y outwards).
const double HeadshellOutline[][2] = {{-36, -5}, {-25, -9.5}, {7, -9.5},  {12, -6.5}, {14, 0},
                                      {12, 6.5}, {7, 9.5},    {-25, 9.5}, {-36, 5}};

TablePoint onHead(const Arm &a, double x, double y, double h) {
    return {a.su + a.tu * x + a.nu * y, a.sv + a.tv * x + a.nv * y, h};
}

void headshellPath(cairo_t *cr, const Arm &a, const Projector &to, double h) {
    cairo_new_path(cr);
    bool first = true;
    for (const auto &xy : HeadshellOutline) {
        const TablePoint t = onHead(a, xy[0], xy[1], h);
        const Point p = to(t.u, t.v, t.h);
        if (first)
            cairo_move_to(cr, p.x, p.y);
        else
            cairo_line_to(cr, p.x, p.y);
        first = false;
    }
    cairo_close_path(cr);
}

std::vector<TablePoint> fingerLift(const Arm &a, double h) {
    std::vector<TablePoint> line;
    for (int i = 0; i <= 16; ++i) {
        const double t = i / 16.0;
        line.push_back(onHead(a, -3 + 16 * t, 9 + 16 * t - 5 * t * t, h + 1.5 * t));
    }
    return line;
}

std::vector<TablePoint> counterweightLine(const Arm &a, double from, double to) {
    const double du = a.pu - a.ju, dv = a.pv - a.jv;
    const double len = std::hypot(du, dv);
    return {{a.pu + du / len * from, a.pv + dv / len * from, TubeHeightAtPivot + 1},
            {a.pu + du / len * to, a.pv + dv / len * to, TubeHeightAtPivot + 1}};
}

const double RestU = -40, RestV = 64; // arm rest, from the pivot

// Everything of the arm that casts a shadow, filled black through the projector.
void armSilhouette(cairo_t *cr, const Arm &a, const Projector &to) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    polyline(cr, projectAll(tubeLine(a), to));
    cairo_set_line_width(cr, 9);
    cairo_stroke(cr);
    polyline(cr, projectAll(counterweightLine(a, 0, 30), to));
    cairo_set_line_width(cr, 10);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    polyline(cr, projectAll(counterweightLine(a, 32, 70), to));
    cairo_set_line_width(cr, 30);
    cairo_stroke(cr);
    headshellPath(cr, a, to, TubeHeightAtHead);
    cairo_fill(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    polyline(cr, projectAll(fingerLift(a, TubeHeightAtHead), to));
    cairo_set_line_width(cr, 2.4);
    cairo_stroke(cr);
    cairo_new_path(cr);
    for (double h = PlinthLevel; h < 15; h += 2) tableCircle(cr, to, a.pu + RestU, a.pv + RestV, h, 3.5);
    tableCircle(cr, to, a.pu + RestU, a.pv + RestV, 15, 6);
    for (double h = PlinthLevel; h < 30; h += 2) tableCircle(cr, to, a.pu, a.pv, h, h < 0 ? 24 : 15);
    cairo_fill(cr);
}

void drawArmShadows(cairo_t *cr, const Arm &a) {
    // On the record and platter (one height), and beyond it on the plinth (another).
    ShadowLayer onRecord(PhotoWidth, PhotoHeight);
    armSilhouette(onRecord.cr, a, shadowOn(0));
    cairo_save(cr);
    tableCircle(cr, onCamera, 0, 0, 0, PlatterRadius);
    cairo_clip(cr);
    onRecord.lay(cr, 4, 0.8);
    cairo_restore(cr);

    ShadowLayer onPlinth(PhotoWidth, PhotoHeight);
    armSilhouette(onPlinth.cr, a, shadowOn(PlinthLevel));
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, PhotoWidth, PhotoHeight);
    tableCircle(cr, onCamera, 0, 0, 0, PlatterRadius);
    tableCircle(cr, onCamera, 0, 0, -PlatterDepth, PlatterRadius);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    onPlinth.lay(cr, 6, 0.75);
    cairo_restore(cr);
}

void drawCartridge(cairo_t *cr, const Arm &a) {
    const double x0 = -27, x1 = 3, y0 = -7.5, y1 = 7.5, bottom = 3, top = 16;
    const double corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (int i = 0; i < 4; ++i) {
        const auto &p = corners[i];
        const auto &q = corners[(i + 1) % 4];
        // Outward normal of this side in the table plane; the camera sees the sides facing it.
        const TablePoint pa = onHead(a, p[0], p[1], 0), pb = onHead(a, q[0], q[1], 0);
        const double nu = pb.v - pa.v, nv = -(pb.u - pa.u);
        if (nv <= 0) continue;
        const double lit = std::max(0.0, (nu * LightU + nv * LightV) / std::hypot(nu, nv));
        const Point b0 = onCamera(pa.u, pa.v, bottom), b1 = onCamera(pb.u, pb.v, bottom);
        const Point t0 = onCamera(pa.u, pa.v, top), t1 = onCamera(pb.u, pb.v, top);
        cairo_new_path(cr);
        cairo_move_to(cr, b0.x, b0.y);
        cairo_line_to(cr, b1.x, b1.y);
        cairo_line_to(cr, t1.x, t1.y);
        cairo_line_to(cr, t0.x, t0.y);
        cairo_close_path(cr);
        setColour(cr, Colour{0.13, 0.125, 0.125} + Colour{0.22, 0.22, 0.22} * lit);
        cairo_fill(cr);
        // A thin red band round the body, under its top.
        const Point m0 = onCamera(pa.u, pa.v, top - 3.5), m1 = onCamera(pb.u, pb.v, top - 3.5);
        cairo_move_to(cr, m0.x, m0.y);
        cairo_line_to(cr, m1.x, m1.y);
        setColour(cr, {0.75, 0.1, 0.08}, 0.95);
        cairo_set_line_width(cr, 1.6);
        cairo_stroke(cr);
    }
    // The stylus where it meets the groove.
    const Point tip = onCamera(a.su, a.sv, 0);
    setColour(cr, {0, 0, 0}, 0.6);
    ellipseAt(cr, tip, 2.2, 1.6);
    cairo_fill(cr);
}

void drawHeadshell(cairo_t *cr, const Arm &a) {
    drawCartridge(cr, a);
    // The plate's edge, then its top.
    headshellPath(cr, a, onCamera, TubeHeightAtHead - 2.5);
    setColour(cr, {0.1, 0.1, 0.11});
    cairo_fill(cr);
    headshellPath(cr, a, onCamera, TubeHeightAtHead);
    const Point back = onCamera(a.ju, a.jv, TubeHeightAtHead);
    const TablePoint f = onHead(a, 14, 0, TubeHeightAtHead);
    const Point front = onCamera(f.u, f.v, f.h);
    cairo_pattern_t *p = cairo_pattern_create_linear(back.x, back.y - 8, front.x, front.y + 8);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.5, 0.5, 0.52);
    cairo_pattern_add_color_stop_rgb(p, 0.45, 0.74, 0.74, 0.76);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.3, 0.3, 0.32);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    setColour(cr, {1, 1, 1}, 0.25);
    cairo_set_line_width(cr, 0.7);
    cairo_stroke(cr);
    // Mounting slots with their screws.
    for (double y : {-4.8, 4.8}) {
        const TablePoint s0 = onHead(a, -20, y, TubeHeightAtHead), s1 = onHead(a, -6, y, TubeHeightAtHead);
        const Point p0 = onCamera(s0.u, s0.v, s0.h), p1 = onCamera(s1.u, s1.v, s1.h);
        cairo_move_to(cr, p0.x, p0.y);
        cairo_line_to(cr, p1.x, p1.y);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, 2.6);
        setColour(cr, {0.05, 0.05, 0.05});
        cairo_stroke(cr);
        const TablePoint sc = onHead(a, -12, y, TubeHeightAtHead + 0.5);
        const Point c = onCamera(sc.u, sc.v, sc.h);
        ellipseAt(cr, c, 2.1, 1.9);
        setColour(cr, {0.62, 0.6, 0.56});
        cairo_fill(cr);
        cairo_move_to(cr, c.x - 1.4, c.y + 0.4);
        cairo_line_to(cr, c.x + 1.4, c.y - 0.4);
        setColour(cr, {0.15, 0.15, 0.15});
        cairo_set_line_width(cr, 0.5);
        cairo_stroke(cr);
    }
    // The finger lift, a bent wire ending in a bead.
    const auto lift = projectAll(fingerLift(a, TubeHeightAtHead), onCamera);
    strokeCylinder(cr, lift, 2.6, {0.12, 0.12, 0.13}, {0.45, 0.45, 0.47}, {0.95, 0.95, 0.95},
                   CAIRO_LINE_CAP_ROUND);
    const Point bead = lift.back();
    cairo_pattern_t *b = cairo_pattern_create_radial(bead.x - 0.8, bead.y - 0.9, 0.2, bead.x, bead.y, 2.6);
    cairo_pattern_add_color_stop_rgb(b, 0, 0.95, 0.95, 0.95);
    cairo_pattern_add_color_stop_rgb(b, 1, 0.15, 0.15, 0.16);
    ellipseAt(cr, bead, 2.6, 2.4);
    cairo_set_source(cr, b);
    cairo_fill(cr);
    cairo_pattern_destroy(b);
}

void drawArm(cairo_t *cr, const Arm &a) {
    const Colour darkMetal{0.05, 0.05, 0.055}, satin{0.42, 0.42, 0.44}, shine{0.95, 0.95, 0.96};
    // Base plate on the plinth, with its chamfer catching the light.
    const double plate = PlinthLevel + 2;
    drawColumn(cr, a.pu, a.pv, 46, PlinthLevel, plate, {0.03, 0.03, 0.03}, {0.25, 0.25, 0.26});
    drawDiscTop(cr, a.pu, a.pv, plate, 46, {0.11, 0.11, 0.115}, {0.05, 0.05, 0.055});
    // Anti-skating dial on the plate's far side.
    const double du = a.pu - 6, dv = a.pv - 34;
    drawColumn(cr, du, dv, 8, plate, plate + 6, darkMetal, {0.5, 0.5, 0.52});
    drawDiscTop(cr, du, dv, plate + 6, 8, {0.45, 0.45, 0.47}, {0.16, 0.16, 0.17});
    const Point c = onCamera(du, dv, plate + 6);
    cairo_move_to(cr, c.x, c.y);
    cairo_line_to(cr, c.x - 4.5, c.y - 4.5 * Camera.squash);
    setColour(cr, {0.05, 0.05, 0.05});
    cairo_set_line_width(cr, 1.1);
    cairo_stroke(cr);
    // The arm's base: a tall collar (knurled, for the height setting) and a short pillar.
    const double collarTop = plate + 20;
    drawColumn(cr, a.pu, a.pv, 24, plate, collarTop, darkMetal, {0.48, 0.48, 0.5});
    {
        const Point b = onCamera(a.pu, a.pv, collarTop - 8), t = onCamera(a.pu, a.pv, collarTop);
        for (int i = 1; i < 28; ++i) {
            const double x = b.x - 24 * std::cos(Pi * i / 28);
            const double y = Camera.squash * 24 * std::sin(Pi * i / 28);
            cairo_move_to(cr, x, t.y + y);
            cairo_line_to(cr, x, b.y + y);
        }
        setColour(cr, {0, 0, 0}, 0.4);
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
    }
    drawDiscTop(cr, a.pu, a.pv, collarTop, 24, {0.3, 0.3, 0.31}, {0.1, 0.1, 0.11});
    drawColumn(cr, a.pu, a.pv, 9, collarTop, 18, darkMetal, {0.62, 0.62, 0.64});
    // The tube and the counterweight enter the gimbal housing from either side.
    strokeCylinder(cr, projectAll(tubeLine(a), onCamera), 9, darkMetal, satin, shine, CAIRO_LINE_CAP_ROUND);
    strokeCylinder(cr, projectAll(counterweightLine(a, 0, 32), onCamera), 8, darkMetal, satin, shine,
                   CAIRO_LINE_CAP_BUTT);
    const auto weight = projectAll(counterweightLine(a, 32, 70), onCamera);
    strokeCylinder(cr, weight, 30, {0.02, 0.02, 0.02}, {0.2, 0.2, 0.21}, {0.72, 0.72, 0.74},
                   CAIRO_LINE_CAP_BUTT);
    // Knurled grip at the back of the weight, a bright chamfer at its front.
    const double wx = weight[1].x - weight[0].x, wy = weight[1].y - weight[0].y;
    const double wl = std::hypot(wx, wy);
    for (int i = 0; i < 14; ++i) {
        const double t = 0.5 + 0.44 * i / 13.0;
        const double cx = weight[0].x + wx * t, cy = weight[0].y + wy * t;
        cairo_move_to(cr, cx - wy / wl * 14.5, cy + wx / wl * 14.5);
        cairo_line_to(cr, cx + wy / wl * 14.5, cy - wx / wl * 14.5);
    }
    setColour(cr, {0, 0, 0}, 0.4);
    cairo_set_line_width(cr, 0.9);
    cairo_stroke(cr);
    for (double t : {0.0, 1.0}) {
        const double cx = weight[0].x + wx * t, cy = weight[0].y + wy * t;
        cairo_move_to(cr, cx - wy / wl * 14.6, cy + wx / wl * 14.6);
        cairo_line_to(cr, cx + wy / wl * 14.6, cy - wx / wl * 14.6);
        setColour(cr, {0.85, 0.85, 0.85}, t == 0 ? 0.55 : 0.25);
        cairo_set_line_width(cr, 1.3);
        cairo_stroke(cr);
    }
    // Gimbal housing.
    drawColumn(cr, a.pu, a.pv, 15, 18, 30, darkMetal, {0.66, 0.66, 0.68});
    drawDiscTop(cr, a.pu, a.pv, 30, 15, {0.4, 0.4, 0.42}, {0.14, 0.14, 0.15});
    // The joint collar and the headshell.
    const std::vector<TablePoint> collar = {{a.ju - a.tu * 8, a.jv - a.tv * 8, TubeHeightAtHead},
                                            {a.ju + a.tu * 1, a.jv + a.tv * 1, TubeHeightAtHead}};
    strokeCylinder(cr, projectAll(collar, onCamera), 12, darkMetal, {0.3, 0.3, 0.32}, {0.85, 0.85, 0.86},
                   CAIRO_LINE_CAP_BUTT);
    drawHeadshell(cr, a);
    // Arm rest: a chrome post with a rubber saddle.
    const double ru = a.pu + RestU, rv = a.pv + RestV;
    drawColumn(cr, ru, rv, 8, PlinthLevel, plate, {0.03, 0.03, 0.03}, {0.22, 0.22, 0.23});
    drawDiscTop(cr, ru, rv, plate, 8, {0.12, 0.12, 0.12}, {0.05, 0.05, 0.05});
    drawColumn(cr, ru, rv, 3, plate, 14, darkMetal, {0.8, 0.8, 0.82});
    const std::vector<TablePoint> saddle = {{ru - 6, rv - 4, 15}, {ru + 6, rv + 4, 15}};
    strokeCylinder(cr, projectAll(saddle, onCamera), 7, {0.01, 0.01, 0.01}, {0.08, 0.08, 0.08},
                   {0.3, 0.3, 0.3}, CAIRO_LINE_CAP_ROUND);
}

} // namespace

void drawToneArm(cairo_t *cr) {
    const Arm arm = layoutArm();
    drawArmShadows(cr, arm);
    drawArm(cr, arm);
}

} // namespace pictures
