// make_pictures FOLDER
//
// Draws the pictures that the player carries and writes them into FOLDER:
//   turntable.png  820x536  the photograph the main window is painted on
//   splash.png     420x280  the same scene, reduced, for the splash window
//   labelmask.png  258x222  the photograph's label rectangle with the label cut out (alpha 0),
//                           through which covers are printed onto the label
//   icon.png       256x256  a record on transparency
// The output depends on nothing but this program: the same build writes the same bytes every run.

#include "paint.h"
#include "scene.h"

#include <cairo.h>

#include <cstdio>
#include <string>

namespace {

using namespace pictures;

bool writePng(cairo_surface_t *surface, const std::string &path) {
    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "make_pictures: cannot write %s: %s\n", path.c_str(),
                     cairo_status_to_string(status));
        return false;
    }
    return true;
}

// The scene reduced to the splash window: scaled to its height, centred, the sides trimmed, and
// darkened a little more towards the corners.
cairo_surface_t *makeSplash(cairo_surface_t *photo) {
    constexpr int Width = 420, Height = 280;
    cairo_surface_t *splash = cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
    cairo_t *cr = cairo_create(splash);
    cairo_set_source_rgb(cr, 16 / 255.0, 16 / 255.0, 16 / 255.0);
    cairo_paint(cr);
    const double scale = static_cast<double>(Height) / PhotoHeight;
    cairo_save(cr);
    cairo_translate(cr, (Width - PhotoWidth * scale) / 2, 0);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, photo, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_pattern_t *vignette = cairo_pattern_create_radial(Width * 0.47, Height * 0.5, Height * 0.3,
                                                            Width * 0.47, Height * 0.5, Width * 0.62);
    cairo_pattern_add_color_stop_rgba(vignette, 0, 0, 0, 0, 0);
    cairo_pattern_add_color_stop_rgba(vignette, 1, 0, 0, 0, 0.45);
    cairo_set_source(cr, vignette);
    cairo_paint(cr);
    cairo_pattern_destroy(vignette);
    cairo_destroy(cr);
    return splash;
}

// The label rectangle of the photograph with the label made fully transparent. Transparent pixels
// are written as 0,0,0,0; every other pixel is the photograph's own, opaque.
cairo_surface_t *makeLabelMask(cairo_surface_t *photo) {
    cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, LabelRectWidth, LabelRectHeight);
    cairo_surface_flush(photo);
    const unsigned char *from = cairo_image_surface_get_data(photo);
    const int fromStride = cairo_image_surface_get_stride(photo);
    unsigned char *to = cairo_image_surface_get_data(mask);
    const int toStride = cairo_image_surface_get_stride(mask);
    for (int y = 0; y < LabelRectHeight; ++y) {
        const auto *src =
            reinterpret_cast<const uint32_t *>(from + static_cast<long>(y + LabelRectY) * fromStride);
        auto *dst = reinterpret_cast<uint32_t *>(to + static_cast<long>(y) * toStride);
        for (int x = 0; x < LabelRectWidth; ++x) {
            dst[x] = onLabel(x, y) ? 0u : (src[x + LabelRectX] | 0xFF000000u);
        }
    }
    cairo_surface_mark_dirty(mask);
    return mask;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];

    cairo_surface_t *photo = cairo_image_surface_create(CAIRO_FORMAT_RGB24, PhotoWidth, PhotoHeight);
    drawPhoto(photo);
    cairo_surface_t *splash = makeSplash(photo);
    cairo_surface_t *mask = makeLabelMask(photo);
    cairo_surface_t *icon = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 256, 256);
    drawIcon(icon, 256);

    const bool ok = writePng(photo, folder + "/turntable.png") && writePng(splash, folder + "/splash.png") &&
                    writePng(mask, folder + "/labelmask.png") && writePng(icon, folder + "/icon.png");
    cairo_surface_destroy(icon);
    cairo_surface_destroy(mask);
    cairo_surface_destroy(splash);
    cairo_surface_destroy(photo);
    return ok ? 0 : 1;
}
