// Drawing on canvases and images: boxes, pixel lines, images and text, with cairo and pango.

#include "gui_internal.h"

#include <pango/pangocairo.h>

#include <cstdlib>

namespace {

// The output being drawn on, between StartDrawing and StopDrawing. Main thread only.
struct DrawState {
    Output Out;
    cairo_t *Cairo = nullptr;
    cairo_surface_t *Target = nullptr; // referenced by Cairo
    int Mode = ModeDefault;
    int Font = -1;
};
DrawState Drawing;

// Writes one opaque pixel straight into the target, so that lines are exact pixels without
// antialiasing. The caller flushes before and marks the target dirty after.
void PutPixel(int x, int y, uint32_t rgb) {
    cairo_surface_t *s = Drawing.Target;
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(s) || y >= cairo_image_surface_get_height(s))
        return;
    auto *row = reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(s) +
                                             size_t(y) * cairo_image_surface_get_stride(s));
    row[x] = 0xFF000000u | (rgb & 0xFFFFFF);
}

void PaintImage(cairo_surface_t *src, int x, int y, int w, int h, int alpha, bool blend) {
    cairo_t *cr = Drawing.Cairo;
    int sw = cairo_image_surface_get_width(src), sh = cairo_image_surface_get_height(src);
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    if (w != sw || h != sh) cairo_scale(cr, double(w) / sw, double(h) / sh);
    cairo_set_source_surface(cr, src, 0, 0);
    if (w != sw || h != sh) {
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    }
    cairo_set_operator(cr, blend ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_SOURCE);
    if (alpha >= 255)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, std::max(alpha, 0) / 255.0);
    cairo_restore(cr);
}

PangoLayout *DrawingLayout(const std::string &text) {
    return GuiMakeLayout(GuiFontDescription(Drawing.Font), text);
}

} // namespace

Output CanvasOutput(int id) {
    return Output{1, id};
}
Output ImageOutput(int img) {
    return Output{2, img};
}

bool StartDrawing(Output out) {
    StopDrawing();
    cairo_surface_t *target = nullptr;
    if (out.Kind == 1) {
        GuiControl *c = GuiFindControl(out.Id);
        if (c && c->Kind == KindCanvas) target = c->Surface;
    } else if (out.Kind == 2) {
        if (GuiImage *im = GuiFindImage(out.Id)) target = im->Surface;
    }
    if (!target) return false;
    Drawing = DrawState{};
    Drawing.Out = out;
    Drawing.Cairo = cairo_create(target);
    Drawing.Target = target;
    pango_cairo_update_context(Drawing.Cairo, GuiTextContext());
    return true;
}

void StopDrawing() {
    if (!Drawing.Cairo) return;
    cairo_destroy(Drawing.Cairo);
    cairo_surface_flush(Drawing.Target);
    if (Drawing.Out.Kind == 1) GuiQueueControlRedraw(Drawing.Out.Id);
    Drawing = DrawState{};
}

void DrawingMode(int mode) {
    Drawing.Mode = mode;
}

void DrawingFont(int font) {
    Drawing.Font = font;
}

void Box(int x, int y, int w, int h, uint32_t rgb, int alpha) {
    cairo_t *cr = Drawing.Cairo;
    if (!cr || w <= 0 || h <= 0) return;
    bool blend = Drawing.Mode == ModeAlphaBlend;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    SetSourceRgb(cr, rgb, blend ? std::clamp(alpha, 0, 255) : 255);
    cairo_set_operator(cr, blend ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_SOURCE);
    cairo_fill(cr);
    cairo_restore(cr);
}

void Line(int x, int y, int dx, int dy, uint32_t rgb) {
    if (!Drawing.Cairo) return;
    // The extent counts the start pixel: the last pixel lies one short of start + extent.
    int ex = x + (dx > 0 ? dx - 1 : dx < 0 ? dx + 1 : 0);
    int ey = y + (dy > 0 ? dy - 1 : dy < 0 ? dy + 1 : 0);
    cairo_surface_flush(Drawing.Target);
    int adx = std::abs(ex - x), ady = -std::abs(ey - y);
    int sx = x < ex ? 1 : -1, sy = y < ey ? 1 : -1;
    int err = adx + ady;
    for (;;) {
        PutPixel(x, y, rgb);
        if (x == ex && y == ey) break;
        int e2 = 2 * err;
        if (e2 >= ady) err += ady, x += sx;
        if (e2 <= adx) err += adx, y += sy;
    }
    cairo_surface_mark_dirty(Drawing.Target);
}

void Plot(int x, int y, uint32_t rgb) {
    if (!Drawing.Cairo) return;
    cairo_surface_flush(Drawing.Target);
    PutPixel(x, y, rgb);
    cairo_surface_mark_dirty_rectangle(Drawing.Target, x, y, 1, 1);
}

uint32_t Point(int x, int y) {
    cairo_surface_t *s = Drawing.Target;
    if (!s || x < 0 || y < 0 || x >= cairo_image_surface_get_width(s) ||
        y >= cairo_image_surface_get_height(s))
        return 0;
    cairo_surface_flush(s);
    auto *row = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(s) +
                                                   size_t(y) * cairo_image_surface_get_stride(s));
    uint32_t v = row[x];
    uint32_t a = cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32 ? v >> 24 : 255;
    if (a == 0) return 0;
    if (a == 255) return v & 0xFFFFFF;
    // Undo the premultiplication.
    auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return (un((v >> 16) & 0xff) << 16) | (un((v >> 8) & 0xff) << 8) | un(v & 0xff);
}

void DrawImage(int img, int x, int y) {
    GuiImage *im = GuiFindImage(img);
    if (!Drawing.Cairo || !im) return;
    PaintImage(im->Surface, x, y, cairo_image_surface_get_width(im->Surface),
               cairo_image_surface_get_height(im->Surface), 255, Drawing.Mode == ModeAlphaBlend);
}

void DrawImage(int img, int x, int y, int w, int h) {
    GuiImage *im = GuiFindImage(img);
    if (!Drawing.Cairo || !im) return;
    PaintImage(im->Surface, x, y, w, h, 255, Drawing.Mode == ModeAlphaBlend);
}

void DrawAlphaImage(int img, int x, int y, int alpha) {
    GuiImage *im = GuiFindImage(img);
    if (!Drawing.Cairo || !im) return;
    PaintImage(im->Surface, x, y, cairo_image_surface_get_width(im->Surface),
               cairo_image_surface_get_height(im->Surface), alpha, true);
}

int DrawText(int x, int y, const std::string &text, uint32_t front, uint32_t back) {
    cairo_t *cr = Drawing.Cairo;
    if (!cr) return x;
    PangoLayout *layout = DrawingLayout(text);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    cairo_save(cr);
    if (Drawing.Mode == ModeDefault) {
        cairo_rectangle(cr, x, y, logical.width, logical.height);
        SetSourceRgb(cr, back);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_fill(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    SetSourceRgb(cr, front);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return x + logical.width;
}

int TextWidth(const std::string &text) {
    PangoLayout *layout = DrawingLayout(text);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return logical.width;
}

int TextHeight(const std::string &text) {
    PangoLayout *layout = DrawingLayout(text);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return logical.height;
}
