#include "paint.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace pictures {

double clamp01(double x) {
    return x < 0 ? 0 : (x > 1 ? 1 : x);
}

double smoothstep(double edge0, double edge1, double x) {
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

uint32_t hash3(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h =
        seed * 0x9E3779B9u ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^ static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

double hashUnit(int32_t x, int32_t y, uint32_t seed) {
    return hash3(x, y, seed) / 4294967296.0;
}

double valueNoise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    const double tx = x - fx, ty = y - fy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = hashUnit(ix, iy, seed), b = hashUnit(ix + 1, iy, seed);
    const double c = hashUnit(ix, iy + 1, seed), d = hashUnit(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

double fbm(double x, double y, uint32_t seed, int octaves) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, seed + static_cast<uint32_t>(i) * 101u);
        total += amplitude;
        x = x * 2.03 + 17.1;
        y = y * 2.03 + 5.3;
        amplitude *= 0.5;
    }
    return sum / total;
}

uint64_t Random::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::unit() {
    return static_cast<double>(next() >> 11) / 9007199254740992.0;
}

Point project(const View &view, double u, double v, double h) {
    return {view.cx + u, view.cy + view.squash * v - view.rise * h};
}

uint32_t packPixel(Rgba p) {
    const double a = clamp01(p.a);
    auto channel = [a](double v) {
        const double c = std::min(std::max(v, 0.0), a);
        return static_cast<uint32_t>(std::lround(c * 255));
    };
    return channel(a) << 24 | channel(p.c.r) << 16 | channel(p.c.g) << 8 | channel(p.c.b);
}

namespace {

// One running-sum box pass along a line of n values spaced by `step` bytes.
void boxLine(unsigned char *line, int n, long step, int radius, std::vector<int> &scratch) {
    scratch.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) scratch[static_cast<size_t>(i)] = line[i * step];
    const int window = 2 * radius + 1;
    int sum = 0;
    auto at = [&](int i) { return scratch[static_cast<size_t>(std::clamp(i, 0, n - 1))]; };
    for (int i = -radius; i <= radius; ++i) sum += at(i);
    for (int i = 0; i < n; ++i) {
        line[i * step] = static_cast<unsigned char>((sum + window / 2) / window);
        sum += at(i + radius + 1) - at(i - radius);
    }
}

} // namespace

void blurSurface(cairo_surface_t *surface, int radius) {
    if (radius <= 0) return;
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int channels = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_A8 ? 1 : 4;
    std::vector<int> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int c = 0; c < channels; ++c) {
            for (int y = 0; y < height; ++y)
                boxLine(data + static_cast<long>(y) * stride + c, width, channels, radius, scratch);
            for (int x = 0; x < width; ++x) boxLine(data + x * channels + c, height, stride, radius, scratch);
        }
    }
    cairo_surface_mark_dirty(surface);
}

void paintThroughMask(cairo_t *cr, cairo_surface_t *mask, Colour colour, double opacity) {
    cairo_save(cr);
    cairo_push_group(cr);
    setColour(cr, colour);
    cairo_mask_surface(cr, mask, 0, 0);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, opacity);
    cairo_restore(cr);
}

void setColour(cairo_t *cr, Colour c, double alpha) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

} // namespace pictures
