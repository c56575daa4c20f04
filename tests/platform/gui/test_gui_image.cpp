// Images, drawing and fonts of the windowing layer: decoding, scaling, grabbing, blending, pixel lines,
// text measures and the face aliases.

#include "fixtures.h"
#include "gui.h"
#include "gui_internal.h"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

// A PNG written by libpng from straight (not premultiplied) 0xAARRGGBB pixels.
std::vector<uint8_t> WritePng(int w, int h, const std::vector<uint32_t> &px, bool alpha) {
    png_image im{};
    im.version = PNG_IMAGE_VERSION;
    im.width = uint32_t(w);
    im.height = uint32_t(h);
    im.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<uint8_t> raw;
    for (uint32_t p : px) {
        raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        if (alpha) raw.push_back(uint8_t(p >> 24));
    }
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&im, nullptr, &size, 0, raw.data(), 0, nullptr));
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(png_image_write_to_memory(&im, out.data(), &size, 0, raw.data(), 0, nullptr));
    out.resize(size);
    return out;
}

// A JPEG written by libjpeg, colour or grey: colour(x, y) gives each pixel as 0xRRGGBB (grey: its low byte).
std::vector<uint8_t> WriteJpeg(int w, int h, uint32_t (*colour)(int x, int y), bool gray = false) {
    jpeg_compress_struct ci;
    jpeg_error_mgr err;
    ci.err = jpeg_std_error(&err);
    jpeg_create_compress(&ci);
    unsigned char *buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&ci, &buf, &size);
    ci.image_width = JDIMENSION(w);
    ci.image_height = JDIMENSION(h);
    const int n = ci.input_components = gray ? 1 : 3;
    ci.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, 95, TRUE);
    jpeg_start_compress(&ci, TRUE);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < n; ++c) row[size_t(x * n + c)] = uint8_t(colour(x, y) >> (8 * (n - 1 - c)));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&ci, &r, 1);
    }
    jpeg_finish_compress(&ci);
    jpeg_destroy_compress(&ci);
    std::vector<uint8_t> out(buf, buf + size);
    std::free(buf);
    return out;
}

// The raw 32-bit value cairo holds for a pixel of an image.
uint32_t RawPixel(int img, int x, int y) {
    cairo_surface_t *s = GuiFindImage(img)->Surface;
    cairo_surface_flush(s);
    return reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(s) +
                                        y * cairo_image_surface_get_stride(s))[x];
}

uint32_t PixelAt(int img, int x, int y) {
    EXPECT_TRUE(StartDrawing(ImageOutput(img)));
    uint32_t c = Point(x, y);
    StopDrawing();
    return c;
}

void ExpectNear(uint32_t got, uint32_t want, int tolerance) {
    for (int shift : {16, 8, 0})
        EXPECT_NEAR(int(got >> shift & 0xff), int(want >> shift & 0xff), tolerance)
            << std::hex << "got #" << got << " want #" << want;
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), long(bytes.size()));
}

TEST(GuiImage, CatchImage_DecodesPngStraightAlphaIntoPremultipliedPixels) {
    // red opaque, green half-transparent, blue fully transparent, white opaque
    auto png = WritePng(2, 2, {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFFFFFFFF}, true);
    ASSERT_TRUE(CatchImage(1, png.data(), png.size()));
    EXPECT_EQ(ImageWidth(1), 2);
    EXPECT_EQ(ImageHeight(1), 2);
    EXPECT_TRUE(ImageHasAlpha(1));
    const uint32_t premultiplied[] = {0xFFFF0000u, 0x80008000u, 0, 0xFFFFFFFFu};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(RawPixel(1, i % 2, i / 2), premultiplied[i]) << i;
    EXPECT_EQ(PixelAt(1, 1, 0), 0x00FF00u); // read back as the straight colour
    FreeImage(1);
    EXPECT_FALSE(IsImage(1));

    // Without an alpha channel the picture is opaque.
    auto rgb = WritePng(2, 1, {0x0A141E, 0xC86432}, false);
    ASSERT_TRUE(CatchImage(2, rgb.data(), rgb.size()));
    EXPECT_FALSE(ImageHasAlpha(2));
    EXPECT_EQ(PixelAt(2, 0, 0), 0x0A141Eu);
    EXPECT_EQ(PixelAt(2, 1, 0), 0xC86432u);
}

TEST(GuiImage, CatchImage_DecodesJpegColourAndGreyAndFilesByContent) {
    auto halves = WriteJpeg(32, 16, [](int x, int) { return x < 16 ? 0xFF0000u : 0x0000FFu; });
    ASSERT_TRUE(CatchImage(3, halves.data(), halves.size()));
    EXPECT_EQ(ImageWidth(3), 32);
    EXPECT_EQ(ImageHeight(3), 16);
    EXPECT_FALSE(ImageHasAlpha(3));
    ExpectNear(PixelAt(3, 4, 8), 0xFF0000, 12);
    ExpectNear(PixelAt(3, 28, 8), 0x0000FF, 12);
    auto grey = WriteJpeg(
        8, 8, [](int, int) { return 0x80u; }, true);
    ASSERT_TRUE(CatchImage(4, grey.data(), grey.size()));
    ExpectNear(PixelAt(4, 3, 3), 0x808080, 3);

    // A JPEG named .png loads by what it holds, a PNG named .jpg likewise.
    const TempFolder t;
    const std::string as_png = t.path + "gui_cover.png", as_jpg = t.path + "gui_cover.jpg";
    WriteFile(as_png, halves);
    WriteFile(as_jpg, WritePng(3, 1, {1, 2, 3}, false));
    ASSERT_TRUE(LoadImageFile(5, as_png));
    EXPECT_EQ(ImageWidth(5), 32);
    ASSERT_TRUE(LoadImageFile(6, as_jpg));
    EXPECT_EQ(ImageWidth(6), 3);
    EXPECT_FALSE(LoadImageFile(7, t.path + "gui_no_such_file.png"));
}

TEST(GuiImage, CatchImage_RefusesDamagedTruncatedForeignAndOversizePictures) {
    auto png = WritePng(16, 16, std::vector<uint32_t>(256, 0x0963C7), false);
    auto jpeg = WriteJpeg(64, 64, [](int x, int y) { return uint32_t(x * 4) << 16 | uint32_t(y * 4); });
    ASSERT_TRUE(CatchImage(10, png.data(), png.size()));

    auto flipped = png;
    for (size_t i = 45; i < 60 && i < flipped.size(); ++i) flipped[i] ^= 0x5A; // inside the image data
    const std::pair<const char *, std::vector<uint8_t>> bad[] = {
        {"png cut in half", {png.begin(), png.begin() + long(png.size() / 2)}},
        {"png header only", {png.begin(), png.begin() + 20}},
        {"png with damaged data", flipped},
        {"jpeg cut in half", {jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)}},
        {"jpeg header only", {jpeg.begin(), jpeg.begin() + 8}},
        {"gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}},
        {"empty", {}},
        {"png wider than 16384", WritePng(16385, 1, std::vector<uint32_t>(16385), false)},
        {"jpeg taller than 16384", WriteJpeg(
                                       1, 16385, [](int, int) { return 0u; }, true)},
    };
    for (const auto &[what, bytes] : bad) {
        EXPECT_FALSE(CatchImage(10, bytes.data(), bytes.size())) << what;
        // A failed load leaves the image of that number as it was.
        ASSERT_TRUE(IsImage(10)) << what;
        EXPECT_EQ(PixelAt(10, 5, 5), 0x0963C7u) << what;
    }
    auto edge = WriteJpeg(
        1, 16384, [](int, int) { return 0u; }, true);
    EXPECT_TRUE(CatchImage(11, edge.data(), edge.size())) << "the edge itself is allowed";
}

TEST(GuiImage, ResizeImage_NearestRepeatsPixelsSmoothBlendsThemByAreaSharesTheEdges) {
    // A 3x3 checkerboard enlarged by 2 without filtering: every source pixel becomes an exact 2x2 block.
    std::vector<uint32_t> board;
    for (int i = 0; i < 9; ++i) board.push_back(i % 2 ? 0xFFFFFF : 0);
    auto png = WritePng(3, 3, board, false);
    ASSERT_TRUE(CatchImage(20, png.data(), png.size()));
    ASSERT_TRUE(CopyImage(20, 21));
    ASSERT_TRUE(ResizeImage(20, 6, 6, false));
    ASSERT_TRUE(ResizeImage(21, 6, 6, true));
    EXPECT_EQ(ImageWidth(20), 6);
    EXPECT_EQ(ImageHeight(20), 6);
    int greys = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(PixelAt(20, x, y), ((y / 2) * 3 + x / 2) % 2 ? 0xFFFFFFu : 0u) << x << "," << y;
            const uint32_t c = PixelAt(21, x, y) & 0xff;
            greys += c > 20 && c < 235;
        }
    EXPECT_GT(greys, 10) << "smooth scaling mixes neighbours";

    // By area, 3 -> 5: each source pixel a block of 5/3 pixels; a pixel across an edge takes each
    // side by its share of it (2/3 and 1/3), across and down.
    ASSERT_TRUE(CatchImage(22, png.data(), png.size()));
    ASSERT_TRUE(ResizeImageByArea(22, 5, 5));
    const uint32_t by_area[3][5] = {{0, 85, 255, 85, 0}, {85, 113, 170, 113, 85}, {255, 170, 0, 170, 255}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(22, x, y), by_area[y][x] * 0x010101u) << x << "," << y;

    // Shrinking without filtering picks pixels: 6 -> 3 gives the board back.
    ASSERT_TRUE(ResizeImage(20, 3, 3, false));
    EXPECT_EQ(PixelAt(20, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(20, 1, 1), 0u);
}

TEST(GuiImage, GrabAndCopyImage_MakeIndependentPictures) {
    ASSERT_TRUE(CreateImage(30, 4, 4, false));
    ASSERT_TRUE(StartDrawing(ImageOutput(30)));
    Box(0, 0, 2, 2, 0xFF0000);
    Box(2, 0, 2, 2, 0x00FF00);
    Box(0, 2, 4, 2, 0x0000FF);
    StopDrawing();
    ASSERT_TRUE(GrabImage(30, 31, 2, 0, 2, 2));
    EXPECT_EQ(ImageWidth(31), 2);
    EXPECT_EQ(PixelAt(31, 0, 0), 0x00FF00u);
    EXPECT_EQ(PixelAt(31, 1, 1), 0x00FF00u);
    ASSERT_TRUE(GrabImage(30, 32, 3, 3, 2, 2));
    EXPECT_EQ(PixelAt(32, 0, 0), 0x0000FFu);
    EXPECT_EQ(PixelAt(32, 1, 1), 0u) << "outside the source is black";

    ASSERT_TRUE(CopyImage(30, 33));
    ASSERT_TRUE(StartDrawing(ImageOutput(33)));
    Box(0, 0, 4, 4, 0xFFFFFF);
    StopDrawing();
    EXPECT_EQ(PixelAt(30, 0, 0), 0xFF0000u);
    EXPECT_EQ(PixelAt(31, 0, 0), 0x00FF00u);
    EXPECT_EQ(PixelAt(33, 0, 0), 0xFFFFFFu);
}

TEST(GuiImage, AlphaBlend_MixesBoxesAndImagesByTheirAlpha) {
    ASSERT_TRUE(CreateImage(40, 10, 10, false));
    ASSERT_TRUE(StartDrawing(ImageOutput(40)));
    Box(0, 0, 10, 10, 0xFFFFFF);
    Box(0, 0, 5, 10, 0x000000, 64); // the default mode ignores the alpha: the box is solid
    DrawingMode(ModeAlphaBlend);
    Box(5, 0, 5, 10, 0x000000, 64); // black at alpha 64 over white darkens by a quarter
    StopDrawing();
    EXPECT_EQ(PixelAt(40, 2, 2), 0u);
    ExpectNear(PixelAt(40, 7, 2), 0xBFBFBF, 1);

    // A black image at a constant alpha of 96 over white: 159 of 255 stays white.
    ASSERT_TRUE(CreateImage(41, 10, 10, false));
    ASSERT_TRUE(StartDrawing(ImageOutput(40)));
    Box(0, 0, 10, 10, 0xFFFFFF);
    DrawAlphaImage(41, 0, 0, 96);
    StopDrawing();
    ExpectNear(PixelAt(40, 5, 5), 0x9F9F9F, 1);

    // A mask like the label's: a transparent hole in an opaque ring. Blended, the picture below shows
    // through the hole only; copied in the default mode, the hole punches through.
    ASSERT_TRUE(CreateImage(42, 10, 10, true));
    ASSERT_TRUE(StartDrawing(ImageOutput(42)));
    Box(0, 0, 10, 10, 0x202020);
    StopDrawing();
    cairo_t *cr = cairo_create(GuiFindImage(42)->Surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr, 3, 3, 4, 4);
    cairo_fill(cr);
    cairo_destroy(cr);
    ASSERT_TRUE(StartDrawing(ImageOutput(40)));
    Box(0, 0, 10, 10, 0xFF8000);
    DrawingMode(ModeAlphaBlend);
    DrawImage(42, 0, 0);
    StopDrawing();
    EXPECT_EQ(PixelAt(40, 5, 5), 0xFF8000u);
    EXPECT_EQ(PixelAt(40, 1, 1), 0x202020u);
    ASSERT_TRUE(StartDrawing(ImageOutput(40)));
    DrawImage(42, 0, 0);
    StopDrawing();
    EXPECT_EQ(PixelAt(40, 5, 5), 0u);
}

TEST(GuiImage, Line_DrawsTheGlyphPixelsExactly) {
    // The close glyph's two diagonals, the minimise bar, a chevron's left arm: start, extent, step.
    const int cases[][6] = {
        {20, 7, 11, 11, 1, 1}, {20, 17, 11, -11, 1, -1}, {20, 17, 11, 1, 1, 0}, {17, 9, -7, 7, -1, 1}};
    ASSERT_TRUE(CreateImage(50, 50, 40, false));
    for (const auto &[x, y, dx, dy, sx, sy] : cases) {
        ASSERT_TRUE(StartDrawing(ImageOutput(50)));
        Box(0, 0, 50, 40, 0);
        Line(x, y, dx, dy, 0xEEEEEE);
        int lit = 0;
        for (int py = 0; py < 40; ++py)
            for (int px = 0; px < 50; ++px) lit += Point(px, py) == 0xEEEEEE;
        const int n = std::abs(dx);
        EXPECT_EQ(lit, n) << x << "," << y << " extent " << dx << "," << dy;
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(Point(x + sx * i, y + sy * i), 0xEEEEEEu) << x << "," << y << " " << i;
        StopDrawing();
    }
}

TEST(GuiImage, DrawText_ReturnsTheEndAndPaintsItsBackgroundOnlyWhenOpaque) {
    ASSERT_TRUE(AddFontAliases());
    ASSERT_TRUE(LoadFont(60, "Segoe UI Light", 12));
    ASSERT_TRUE(CreateImage(60, 200, 40, false));
    ASSERT_TRUE(StartDrawing(ImageOutput(60)));
    DrawingFont(60);
    const int w = TextWidth("Play"), h = TextHeight("Play");
    EXPECT_GT(w, 10);
    EXPECT_GT(TextWidth("Play Play"), w);
    EXPECT_GE(h, 16);
    EXPECT_LE(h, 30);

    Box(0, 0, 200, 40, 0x101010);
    EXPECT_EQ(DrawText(10, 5, "Play", 0xEFEFEF, 0x0000FF), 10 + w);
    // The default mode fills the text's box with the back colour; its corners hold no ink.
    EXPECT_EQ(Point(10, 5), 0x0000FFu);
    EXPECT_EQ(Point(10 + w - 1, 5 + h - 1), 0x0000FFu);
    EXPECT_EQ(Point(10 + w + 1, 5), 0x101010u);
    int ink = 0;
    for (int y = 5; y < 5 + h; ++y)
        for (int x = 10; x < 10 + w; ++x) ink += Point(x, y) != 0x0000FF;
    EXPECT_GT(ink, 20);

    // Transparent text leaves the background between the letters.
    DrawingMode(ModeTransparent);
    EXPECT_EQ(DrawText(100, 5, "Play", 0xEFEFEF, 0x0000FF), 100 + w);
    EXPECT_EQ(Point(100, 5), 0x101010u);
    StopDrawing();
}

TEST(GuiFont, LoadFont_SizesByScreenDpiAndFindsTheStandInFaces) {
    ASSERT_TRUE(AddFontAliases("TeX Gyre Chorus"));
    // Xvfb sets no font resolution: 96 dpi, 12 points = 16 pixels, 10 points = 13.
    ASSERT_TRUE(LoadFont(1, "Segoe UI Light", 12));
    ASSERT_TRUE(LoadFont(2, "Tahoma", 10));
    ASSERT_TRUE(LoadFont(3, "Segoe UI", 14));
    ASSERT_TRUE(LoadFont(4, "Lucida Calligraphy", 12));
    EXPECT_EQ(FontPixelSize(1), 16);
    EXPECT_EQ(FontPixelSize(2), 13);
    EXPECT_EQ(FontResolvedName(1), "Open Sans Light");
    EXPECT_EQ(FontResolvedName(2), "DejaVu Sans Condensed");
    EXPECT_EQ(FontResolvedName(3), "Open Sans");
    EXPECT_NE(FontResolvedName(4).find("Chorus"), std::string::npos) << FontResolvedName(4);
    EXPECT_EQ(FontResolvedName(99), "");
    FreeFont(1);
    EXPECT_FALSE(IsFont(1));
}

TEST(GuiFont, RegisterPrivateFont_AddsAFaceForThisProcessOnly) {
    std::ifstream f("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(RegisterPrivateFont(bytes.data(), bytes.size()));
    // It is an application font read from our memory file, not from the system's font folders.
    FcFontSet *app = FcConfigGetFonts(FcConfigGetCurrent(), FcSetApplication);
    ASSERT_NE(app, nullptr);
    bool found = false;
    for (int i = 0; i < app->nfont; ++i) {
        FcChar8 *file = nullptr, *family = nullptr;
        if (FcPatternGetString(app->fonts[i], FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetString(app->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch)
            found |= std::string(reinterpret_cast<char *>(file)).starts_with("/proc/self/fd/") &&
                     std::string(reinterpret_cast<char *>(family)) == "DejaVu Serif";
    }
    EXPECT_TRUE(found);
    const char junk[] = "this is not a font file at all";
    EXPECT_FALSE(RegisterPrivateFont(junk, sizeof junk));
    EXPECT_FALSE(RegisterPrivateFont(nullptr, 0));
}

} // namespace
