// Images: PNG (libpng) and JPEG (libjpeg) decoding into premultiplied cairo surfaces, and the
// operations on whole images (create, grab, copy, scale).

#include "gui_internal.h"

#include "files.h"

#include <jpeglib.h>
// jerror.h after jpeglib.h: the message codes.
#include <jerror.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// Pictures larger than this are refused: a cover or a photograph never comes near, and a damaged
// header must not make us allocate gigabytes.
constexpr uint32_t MaxSide = 16384;
constexpr uint64_t MaxPixels = uint64_t(1) << 26;
constexpr std::streamoff MaxFileBytes = std::streamoff(512) << 20;

bool SizeAllowed(uint32_t w, uint32_t h) {
    return w > 0 && h > 0 && w <= MaxSide && h <= MaxSide && uint64_t(w) * h <= MaxPixels;
}

inline uint32_t Premultiply(uint32_t argb) {
    uint32_t a = argb >> 24;
    if (a == 255) return argb;
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (mul((argb >> 16) & 0xff) << 16) | (mul((argb >> 8) & 0xff) << 8) | mul(argb & 0xff);
}

// PNG through libpng's simplified interface, which keeps its own setjmp guard around every step and
// reports damage as a failed call. Output BGRA bytes are cairo's native-endian ARGB32 on x86-64.
cairo_surface_t *DecodePng(const uint8_t *data, size_t size, bool &alpha) {
    png_image im;
    std::memset(&im, 0, sizeof im);
    im.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&im, data, size)) return nullptr;
    if (!SizeAllowed(im.width, im.height)) {
        png_image_free(&im);
        return nullptr;
    }
    alpha = (im.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    im.format = PNG_FORMAT_BGRA;
    cairo_surface_t *s = GuiNewSurface(int(im.width), int(im.height), alpha);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        png_image_free(&im);
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    unsigned char *px = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    // The row stride is counted in components, which are bytes here.
    if (!png_image_finish_read(&im, nullptr, px, stride, nullptr)) {
        png_image_free(&im);
        cairo_surface_destroy(s);
        return nullptr;
    }
    if (alpha) {
        for (uint32_t y = 0; y < im.height; ++y) {
            auto *row = reinterpret_cast<uint32_t *>(px + size_t(y) * stride);
            for (uint32_t x = 0; x < im.width; ++x) row[x] = Premultiply(row[x]);
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

struct JpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void JpegFail(j_common_ptr ci) {
    std::longjmp(reinterpret_cast<JpegError *>(ci->err)->Jump, 1);
}

// Warnings are tolerated (many cameras write small faults) except the end of the data arriving too
// soon: libjpeg would pad a truncated file with grey, and a half picture is no picture.
void JpegMessage(j_common_ptr ci, int level) {
    if (level < 0 && ci->err->msg_code == JWRN_JPEG_EOF) JpegFail(ci);
}

void JpegSilence(j_common_ptr) {}

// Decodes into *out (opaque RGB24). Plain C inside: longjmp skips destructors, so nothing here owns
// a C++ object, and what must survive the jump is volatile.
bool DecodeJpegInto(const uint8_t *data, size_t size, cairo_surface_t **out) {
    jpeg_decompress_struct ci;
    JpegError err;
    ci.err = jpeg_std_error(&err.Manager);
    err.Manager.error_exit = JpegFail;
    err.Manager.emit_message = JpegMessage;
    err.Manager.output_message = JpegSilence;
    cairo_surface_t *volatile s = nullptr;
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&ci);
        if (s) cairo_surface_destroy(s);
        return false;
    }
    jpeg_create_decompress(&ci);
    jpeg_mem_src(&ci, const_cast<unsigned char *>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&ci, TRUE);
    if (!SizeAllowed(ci.image_width, ci.image_height)) {
        jpeg_destroy_decompress(&ci);
        return false;
    }
    bool cmyk = ci.jpeg_color_space == JCS_CMYK || ci.jpeg_color_space == JCS_YCCK;
    ci.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&ci);
    s = GuiNewSurface(int(ci.output_width), int(ci.output_height), false);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) JpegFail(reinterpret_cast<j_common_ptr>(&ci));
    cairo_surface_flush(s);
    unsigned char *px = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    while (ci.output_scanline < ci.output_height) {
        JSAMPROW row = px + size_t(ci.output_scanline) * stride;
        jpeg_read_scanlines(&ci, &row, 1);
        if (cmyk) {
            // Adobe writes CMYK inverted (255 = no ink), as almost every CMYK JPEG is.
            auto *p = reinterpret_cast<uint32_t *>(row);
            for (JDIMENSION x = 0; x < ci.output_width; ++x) {
                uint32_t v = p[x];
                uint32_t c = v & 0xff, m = (v >> 8) & 0xff, yy = (v >> 16) & 0xff, k = v >> 24;
                if (!ci.saw_Adobe_marker) c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
                p[x] = 0xff000000u | ((c * k / 255) << 16) | ((m * k / 255) << 8) | (yy * k / 255);
            }
        }
    }
    jpeg_finish_decompress(&ci);
    jpeg_destroy_decompress(&ci);
    cairo_surface_mark_dirty(s);
    *out = s;
    return true;
}

void StoreImage(int img, cairo_surface_t *s, bool alpha) {
    FreeImage(img);
    Gui.Images[img] = GuiImage{s, alpha};
}

// Paints src onto a new surface of w x h, scaled to fill it with a smooth filter.
cairo_surface_t *ScaleSmooth(cairo_surface_t *src, int w, int h, bool alpha) {
    cairo_surface_t *s = GuiNewSurface(w, h, alpha);
    cairo_t *cr = cairo_create(s);
    int sw = cairo_image_surface_get_width(src), sh = cairo_image_surface_get_height(src);
    cairo_scale(cr, double(w) / sw, double(h) / sh);
    cairo_set_source_surface(cr, src, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

// Nearest neighbour: target pixel j takes the source pixel under its centre, so an integer
// enlargement repeats every pixel exactly k times.
cairo_surface_t *ScaleNearest(cairo_surface_t *src, int w, int h, bool alpha) {
    cairo_surface_t *s = GuiNewSurface(w, h, alpha);
    cairo_surface_flush(src);
    cairo_surface_flush(s);
    int sw = cairo_image_surface_get_width(src), sh = cairo_image_surface_get_height(src);
    const unsigned char *sp = cairo_image_surface_get_data(src);
    unsigned char *dp = cairo_image_surface_get_data(s);
    int ss = cairo_image_surface_get_stride(src), ds = cairo_image_surface_get_stride(s);
    std::vector<int> xs(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) xs[size_t(x)] = int((int64_t(2 * x + 1) * sw) / (int64_t(2) * w));
    for (int y = 0; y < h; ++y) {
        int sy = int((int64_t(2 * y + 1) * sh) / (int64_t(2) * h));
        auto *srow = reinterpret_cast<const uint32_t *>(sp + size_t(sy) * ss);
        auto *drow = reinterpret_cast<uint32_t *>(dp + size_t(y) * ds);
        for (int x = 0; x < w; ++x) drow[x] = srow[xs[size_t(x)]];
    }
    cairo_surface_mark_dirty(s);
    return s;
}

// Area averaging: target pixel j takes the mean of the source span under it, [j * sw / w,
// (j + 1) * sw / w) across and likewise down. An enlargement thus repeats every source pixel as a
// block, only the pixels across a block's edge mixing the two colours, and a reduction averages
// every pixel it drops; nothing larger than the target is made on the way.
cairo_surface_t *ScaleByArea(cairo_surface_t *src, int w, int h, bool alpha) {
    cairo_surface_t *s = GuiNewSurface(w, h, alpha);
    cairo_surface_flush(src);
    cairo_surface_flush(s);
    const int sw = cairo_image_surface_get_width(src), sh = cairo_image_surface_get_height(src);
    const unsigned char *sp = cairo_image_surface_get_data(src);
    unsigned char *dp = cairo_image_surface_get_data(s);
    const int ss = cairo_image_surface_get_stride(src), ds = cairo_image_surface_get_stride(s);
    // The source pixels under each target pixel with their shares, counted in 1/target of a source
    // pixel: the shares of one target pixel add up to `source`.
    struct Share {
        int Source;
        uint32_t Weight;
    };
    auto shares = [](int source, int target) {
        std::vector<std::vector<Share>> out(static_cast<size_t>(target));
        for (int j = 0; j < target; ++j) {
            const int64_t from = int64_t(j) * source, to = from + source;
            for (int64_t i = from / target; i * target < to; ++i) {
                const int64_t low = std::max(from, i * target), high = std::min(to, (i + 1) * target);
                out[size_t(j)].push_back({int(i), uint32_t(high - low)});
            }
        }
        return out;
    };
    const std::vector<std::vector<Share>> across = shares(sw, w), down = shares(sh, h);
    // Premultiplied channels average as they are. The sums stay below 255 * sw * sh < 2^37.
    const uint64_t total = uint64_t(sw) * uint64_t(sh);
    std::vector<uint64_t> row(size_t(w) * 4), sum(size_t(w) * 4);
    for (int y = 0; y < h; ++y) {
        std::fill(sum.begin(), sum.end(), 0);
        for (const Share &sy : down[size_t(y)]) {
            const auto *srow = reinterpret_cast<const uint32_t *>(sp + size_t(sy.Source) * ss);
            std::fill(row.begin(), row.end(), 0);
            for (int x = 0; x < w; ++x)
                for (const Share &sx : across[size_t(x)])
                    for (int c = 0; c < 4; ++c)
                        row[size_t(x) * 4 + size_t(c)] +=
                            uint64_t((srow[sx.Source] >> (8 * c)) & 0xFF) * sx.Weight;
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += row[i] * sy.Weight;
        }
        auto *drow = reinterpret_cast<uint32_t *>(dp + size_t(y) * ds);
        for (int x = 0; x < w; ++x) {
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c)
                pixel |= uint32_t((sum[size_t(x) * 4 + size_t(c)] + total / 2) / total) << (8 * c);
            drow[x] = pixel;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

} // namespace

cairo_surface_t *GuiNewSurface(int w, int h, bool alpha) {
    return cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
}

GuiImage *GuiFindImage(int img) {
    auto it = Gui.Images.find(img);
    return it == Gui.Images.end() ? nullptr : &it->second;
}

bool CatchImage(int img, const void *data, size_t size) {
    auto *p = static_cast<const uint8_t *>(data);
    if (!p) return false;
    static const uint8_t png_sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    cairo_surface_t *s = nullptr;
    bool alpha = false;
    if (size >= 8 && std::memcmp(p, png_sig, 8) == 0) {
        s = DecodePng(p, size, alpha);
    } else if (size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) {
        if (!DecodeJpegInto(p, size, &s)) s = nullptr;
    }
    if (!s) return false;
    StoreImage(img, s, alpha);
    return true;
}

bool LoadImageFile(int img, const std::string &path) {
    // Read as every file of the user's folders is: a regular file only, never waiting on a pipe.
    std::string bytes;
    if (!ReadFileWhole(path, bytes, size_t(MaxFileBytes)) || bytes.empty()) return false;
    return CatchImage(img, bytes.data(), bytes.size());
}

bool CreateImage(int img, int w, int h, bool alpha) {
    if (!SizeAllowed(uint32_t(std::max(w, 0)), uint32_t(std::max(h, 0)))) return false;
    // A new surface is all zero bytes: opaque black as RGB24, transparent as ARGB32.
    StoreImage(img, GuiNewSurface(w, h, alpha), alpha);
    return true;
}

bool GrabImage(int src, int dst, int x, int y, int w, int h) {
    GuiImage *s = GuiFindImage(src);
    if (!s || !SizeAllowed(uint32_t(std::max(w, 0)), uint32_t(std::max(h, 0)))) return false;
    bool alpha = s->Alpha;
    cairo_surface_t *d = GuiNewSurface(w, h, alpha);
    cairo_t *cr = cairo_create(d);
    cairo_set_source_surface(cr, s->Surface, -x, -y);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_fill(cr);
    cairo_destroy(cr);
    StoreImage(dst, d, alpha);
    return true;
}

bool CopyImage(int src, int dst) {
    GuiImage *s = GuiFindImage(src);
    if (!s) return false;
    if (src == dst) return true;
    return GrabImage(src, dst, 0, 0, cairo_image_surface_get_width(s->Surface),
                     cairo_image_surface_get_height(s->Surface));
}

bool ResizeImage(int img, int w, int h, bool smooth) {
    GuiImage *im = GuiFindImage(img);
    if (!im || !SizeAllowed(uint32_t(std::max(w, 0)), uint32_t(std::max(h, 0)))) return false;
    cairo_surface_t *s =
        smooth ? ScaleSmooth(im->Surface, w, h, im->Alpha) : ScaleNearest(im->Surface, w, h, im->Alpha);
    cairo_surface_destroy(im->Surface);
    im->Surface = s;
    return true;
}

bool ResizeImageByArea(int img, int w, int h) {
    GuiImage *im = GuiFindImage(img);
    if (!im || !SizeAllowed(uint32_t(std::max(w, 0)), uint32_t(std::max(h, 0)))) return false;
    cairo_surface_t *s = ScaleByArea(im->Surface, w, h, im->Alpha);
    cairo_surface_destroy(im->Surface);
    im->Surface = s;
    return true;
}

void FreeImage(int img) {
    auto it = Gui.Images.find(img);
    if (it == Gui.Images.end()) return;
    cairo_surface_destroy(it->second.Surface);
    Gui.Images.erase(it);
}

bool IsImage(int img) {
    return GuiFindImage(img) != nullptr;
}

int ImageWidth(int img) {
    GuiImage *im = GuiFindImage(img);
    return im ? cairo_image_surface_get_width(im->Surface) : 0;
}

int ImageHeight(int img) {
    GuiImage *im = GuiFindImage(img);
    return im ? cairo_image_surface_get_height(im->Surface) : 0;
}

bool ImageHasAlpha(int img) {
    GuiImage *im = GuiFindImage(img);
    return im && im->Alpha;
}

void GuiFreeAllImages() {
    for (auto &[n, im] : Gui.Images) cairo_surface_destroy(im.Surface);
    Gui.Images.clear();
}
