// scale_icon: writes the program's icon at the sizes a desktop's icon theme asks for.
//   scale_icon ICON.png SIZE OUT.png [SIZE OUT.png ...]
// Each output is the icon scaled to SIZE x SIZE with cairo's good filter, which averages the source
// pixels under each output pixel when scaling down.

#include <cairo.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool WriteScaled(cairo_surface_t *icon, int size, const char *path) {
    cairo_surface_t *out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t *cr = cairo_create(out);
    cairo_scale(cr, double(size) / cairo_image_surface_get_width(icon),
                double(size) / cairo_image_surface_get_height(icon));
    cairo_set_source_surface(cr, icon, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(out, path) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(out);
    return written;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: scale_icon ICON.png SIZE OUT.png [SIZE OUT.png ...]\n");
        return 2;
    }
    cairo_surface_t *icon = cairo_image_surface_create_from_png(argv[1]);
    if (cairo_surface_status(icon) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "scale_icon: cannot read %s\n", argv[1]);
        cairo_surface_destroy(icon);
        return 1;
    }
    int status = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !WriteScaled(icon, size, argv[i + 1])) {
            std::fprintf(stderr, "scale_icon: cannot write %s at size %s\n", argv[i + 1], argv[i]);
            status = 1;
        }
    }
    cairo_surface_destroy(icon);
    cairo_debug_reset_static_data();
    return status;
}
