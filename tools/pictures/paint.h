// Small painting kit of the picture generator: colours, noise, per-pixel shading, blur and the
// table-plane projection of the turntable scene. Everything is deterministic: no clock, no fonts,
// no state outside the arguments.
#pragma once

#include <cairo.h>

#include <cstdint>

namespace pictures {

constexpr double Pi = 3.14159265358979323846;

struct Colour {
    double r = 0, g = 0, b = 0;
};
inline Colour operator+(Colour a, Colour b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Colour operator*(Colour a, double k) {
    return {a.r * k, a.g * k, a.b * k};
}
inline Colour operator*(Colour a, Colour b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline Colour mix(Colour a, Colour b, double t) {
    return a * (1 - t) + b * t;
}

// Straight (not premultiplied) colour with coverage.
struct Rgba {
    Colour c;
    double a = 0;
};

struct Point {
    double x = 0, y = 0;
};

inline double sq(double x) {
    return x * x;
}
double clamp01(double x);
double smoothstep(double edge0, double edge1, double x);

// Hash of a lattice point: the same inputs give the same value on every run.
uint32_t hash3(int32_t x, int32_t y, uint32_t seed);
double hashUnit(int32_t x, int32_t y, uint32_t seed); // in [0, 1)
double valueNoise(double x, double y, uint32_t seed); // smooth, in [0, 1]
double fbm(double x, double y, uint32_t seed, int octaves);

// Sequential generator for film grain and scattered details (splitmix64).
struct Random {
    uint64_t state;
    uint64_t next();
    double unit(); // in [0, 1)
};

// The turntable plane seen from the front and above: table point (u, v) at height h lands on the
// image at (cx + u, cy + squash * v - rise * h). Heights are measured from the record's surface.
struct View {
    double cx, cy;
    double squash; // cosine of the camera's tilt
    double rise;   // sine of the camera's tilt
};
Point project(const View &view, double u, double v, double h);

// Runs shader(x, y) -> Rgba on a grid x grid of samples inside each pixel of the rectangle and stores
// the averages, premultiplied, into an ARGB32 or RGB24 surface (replacing what was there).
template <typename Shader>
void shadePixels(cairo_surface_t *surface, int x0, int y0, int x1, int y1, int grid, Shader shader);

// Three box passes in each direction over an A8 or ARGB32 surface: close to a gaussian.
void blurSurface(cairo_surface_t *surface, int radius);

// Fills with colour at opacity through the mask surface (A8) placed at (0, 0).
void paintThroughMask(cairo_t *cr, cairo_surface_t *mask, Colour colour, double opacity);

void setColour(cairo_t *cr, Colour c, double alpha = 1.0);

uint32_t packPixel(Rgba premultiplied);

template <typename Shader>
void shadePixels(cairo_surface_t *surface, int x0, int y0, int x1, int y1, int grid, Shader shader) {
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const double step = 1.0 / grid;
    const double weight = 1.0 / (grid * grid);
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<long>(y) * stride);
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < width; ++x) {
            Rgba sum;
            for (int j = 0; j < grid; ++j) {
                for (int i = 0; i < grid; ++i) {
                    const Rgba s = shader(x + (i + 0.5) * step, y + (j + 0.5) * step);
                    sum.c = sum.c + s.c * (s.a * weight);
                    sum.a += s.a * weight;
                }
            }
            row[x] = packPixel(sum);
        }
    }
    cairo_surface_mark_dirty(surface);
}

} // namespace pictures
