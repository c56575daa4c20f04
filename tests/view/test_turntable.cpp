// On a display (Xvfb): the album cover in the corner and on the record's label, the position bar and
// the page the track following turns to. Expected pictures are computed here from the photograph, the
// label mask and covers whose colours are known, away from the edges where a filter blurs.

#include "library/library.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "resources.h"
#include "ui/objects.h"
#include "view/view.h"

#include "fixtures.h"
#include "program_gui.h"

#include <cairo.h>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// The corner box in the photograph's coordinates (window y - PhotoTop).
constexpr int CornerPhotoX = LayoutOf(CornerBox).X, CornerPhotoY = LayoutOf(CornerBox).Y - PhotoTop;
constexpr int CornerSide = LayoutOf(CornerBox).W;
constexpr int PanelW = LayoutOf(ListPanel).W, PanelH = LayoutOf(ListPanel).H;
// The label in PanelBackground.
constexpr int LabelX = LabelLeft - LayoutOf(ListPanel).X, LabelY = LabelTop - LayoutOf(ListPanel).Y;
constexpr int BarW = LayoutOf(PositionBar).W, BarH = LayoutOf(PositionBar).H;

int Channel(uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFF);
}

// Each channel of `a` within `tolerance` of the same channel of `b`.
bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
    return true;
}

// Channel by channel: top over bottom with `alpha` of 255 (both opaque).
uint32_t Over(uint32_t top, uint32_t bottom, int alpha) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const double c = (Channel(top, shift) * alpha + Channel(bottom, shift) * (255 - alpha)) / 255.0;
        out |= static_cast<uint32_t>(std::lround(c)) << shift;
    }
    return out;
}

std::string Hex(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", rgb);
    return text;
}

// The largest resident size this process has had, in KB.
long PeakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A cover described by the colour of each of its pixels.
struct Cover {
    int w, h;
    std::function<uint32_t(int x, int y)> colour;
};

void WriteCover(const std::string &path, const Cover &cover) {
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cover.w, cover.h);
    cairo_surface_flush(s);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < cover.h; ++y)
        for (int x = 0; x < cover.w; ++x)
            reinterpret_cast<uint32_t *>(data + static_cast<size_t>(y) * stride)[x] = cover.colour(x, y);
    cairo_surface_mark_dirty(s);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
}

// The colour a cover scaled as a whole to w x h shows at (x, y) where the cover is uniform for 4
// target pixels around; nothing nearer an edge between colours.
std::optional<uint32_t> Uniform(const Cover &cover, int w, int h, int x, int y) {
    std::optional<uint32_t> seen;
    for (int dy : {-4, 0, 4})
        for (int dx : {-4, 0, 4}) {
            const int sx = std::clamp(static_cast<int>((x + 0.5 + dx) * cover.w / w), 0, cover.w - 1);
            const int sy = std::clamp(static_cast<int>((y + 0.5 + dy) * cover.h / h), 0, cover.h - 1);
            const uint32_t c = cover.colour(sx, sy);
            if (seen && *seen != c) return std::nullopt;
            seen = c;
        }
    return seen;
}

// The label mask's alpha, decoded here from the resource.
std::vector<int> MaskAlpha() {
    struct Reader {
        ResourceBytes bytes;
        size_t at = 0;
    } reader{Resource(ResLabelMask)};
    auto read = [](void *closure, unsigned char *data, unsigned int length) {
        auto *r = static_cast<Reader *>(closure);
        if (r->at + length > r->bytes.size) return CAIRO_STATUS_READ_ERROR;
        std::copy_n(r->bytes.data + r->at, length, data);
        r->at += length;
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_t *s = cairo_image_surface_create_from_png_stream(read, &reader);
    std::vector<int> alpha;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && cairo_image_surface_get_width(s) == LabelWidth &&
        cairo_image_surface_get_height(s) == LabelHeight) {
        const unsigned char *data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < LabelHeight; ++y)
            for (int x = 0; x < LabelWidth; ++x)
                alpha.push_back(static_cast<int>(
                    reinterpret_cast<const uint32_t *>(data + static_cast<size_t>(y) * stride)[x] >> 24));
    }
    cairo_surface_destroy(s);
    return alpha;
}

class TurntableTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartProgramGui()); }
    void TearDown() override {
        CloseWindow(MainWindow);
        CoverShown = 0;
    }
    void Build(uint8_t view) {
        ViewCover = view;
        FreeImage(PlainPanelBackground);
        CoverShown = 0;
        OpenTurntable({PositionBar, ListPanel});
        if (view == 1) PlaceCanvas(CornerBox);
        // The bare record, kept aside as the program keeps it for a label cover.
        if (view == 2) CopyImage(PanelBackground, PlainPanelBackground);
    }
    // A file the loader cannot decode: a PNG cut after its first 100 bytes.
    std::string Undecodable() {
        WriteCover(dir_.path + "whole.png",
                   {64, 64, [](int x, int y) { return uint32_t((x * 4) << 8) | uint32_t(y); }});
        return dir_.File("cut.png", ReadBytes(dir_.path + "whole.png").substr(0, 100));
    }
    TempFolder dir_;
};

// 300x200 in four colours, split at its middle both ways.
const Cover Quarters{300, 200, [](int x, int y) -> uint32_t {
                         static const uint32_t c[4] = {0xC03010, 0x20D0A0, 0x4060F0, 0xF0E020};
                         return c[(x >= 150 ? 1 : 0) + (y >= 100 ? 2 : 0)];
                     }};

TEST_F(TurntableTest, CornerCoverIsScaledBlendedWithThePhotographOrNotAndRemovedToThePatch) {
    Build(1);
    constexpr int PhotoW = MainWidth, PhotoH = MainHeight - PhotoTop;
    const std::vector<uint32_t> photo = Pixels(ImageOutput(TurntablePhotoImage), PhotoW, PhotoH);
    ASSERT_EQ(photo.size(), size_t(PhotoW) * PhotoH);
    const std::vector<uint32_t> patch = Pixels(ImageOutput(CornerPatch), CornerSide, CornerSide);
    const std::string path = dir_.path + "cover.png", bad = Undecodable();
    WriteCover(path, Quarters);

    for (uint8_t blend : {0, 1}) {
        BlendPicture = blend;
        ShowCover(path);
        EXPECT_EQ(CoverShown, 1);
        const std::vector<uint32_t> box = Pixels(CanvasOutput(CornerBox), CornerSide, CornerSide);
        ASSERT_EQ(box.size(), patch.size());
        int compared = 0, wrong = 0;
        std::string first;
        for (int y = 0; y < CornerSide; ++y)
            for (int x = 0; x < CornerSide; ++x) {
                const std::optional<uint32_t> cover = Uniform(Quarters, CornerSide, CornerSide, x, y);
                if (!cover) continue;
                const uint32_t under = photo[size_t(CornerPhotoY + y) * PhotoW + size_t(CornerPhotoX + x)];
                const uint32_t want = blend ? Over(under, *cover, 96) : *cover;
                const uint32_t seen = box[size_t(y) * CornerSide + size_t(x)];
                ++compared;
                if (!Near(seen, want, 3) && wrong++ == 0)
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") " + Hex(seen) + " not " +
                            Hex(want);
            }
        EXPECT_GT(compared, 100 * 100);
        EXPECT_EQ(wrong, 0) << "blend " << int(blend) << ": " << wrong << " pixels, first " << first;

        ShowCover(bad);
        EXPECT_EQ(CoverShown, 1) << "blend " << int(blend);
        EXPECT_EQ(Pixels(CanvasOutput(CornerBox), CornerSide, CornerSide), box) << "blend " << int(blend);

        RemoveCover();
        EXPECT_EQ(CoverShown, 0);
        EXPECT_EQ(Pixels(CanvasOutput(CornerBox), CornerSide, CornerSide), patch) << "blend " << int(blend);
    }
    ShowCover(bad);
    EXPECT_EQ(CoverShown, 0);
    EXPECT_EQ(Pixels(CanvasOutput(CornerBox), CornerSide, CornerSide), patch);
}

// The label cover, by the cover's shape: the picture as a whole fills 258x222; one narrower or lower
// than the label (and wider than 2) keeps its columns and rows sharp, with no copy much larger than
// the picture made on the way (the peak resident size of this process grows by less than 64 MB).
TEST_F(TurntableTest, LabelCoverIsDarkenedCutByTheMaskBurnedIntoThePanelAndRemoved) {
    Build(2);
    const std::vector<int> alpha = MaskAlpha();
    ASSERT_EQ(alpha.size(), size_t(LabelWidth) * LabelHeight);
    const std::vector<uint32_t> mask = Pixels(ImageOutput(LabelMaskImage), LabelWidth, LabelHeight);
    const std::vector<uint32_t> plain = Pixels(ImageOutput(PlainPanelBackground), PanelW, PanelH);
    ASSERT_EQ(Pixels(ImageOutput(PanelBackground), PanelW, PanelH), plain);
    const std::string bad = Undecodable();

    const uint32_t a = 0xE04020, b = 0x30C0F0, c = 0x80F040;
    auto blocks = [](int w, int h, int cols, int rows) {
        return Cover{w, h, [=](int x, int y) -> uint32_t {
                         static const uint32_t palette[6] = {0xE04020, 0x30C0F0, 0x80F040,
                                                             0xF0F0F0, 0x602080, 0x10A010};
                         return palette[(y * rows / h * cols + x * cols / w) % 6];
                     }};
    };
    // Bilinear across two columns, as the smooth enlargement of a 2-pixel-wide picture spreads them.
    auto ramp = [&](int x, int) -> std::optional<uint32_t> {
        const double t = std::clamp((x + 0.5) * 2 / LabelWidth - 0.5, 0.0, 1.0);
        return Over(b, a, static_cast<int>(std::lround(t * 255)));
    };
    struct Case {
        const char *name;
        Cover cover;
        std::function<std::optional<uint32_t>(int, int)> expected; // empty: Uniform over the label
    };
    const Case cases[] = {
        {"500x500, four blocks", blocks(500, 500, 2, 2), {}},
        {"200x300, two by three blocks", blocks(200, 300, 2, 3), {}},
        // Each column stays a block of 86 pixels on the label; a smooth enlargement from 3 pixels would
        // blend them over most of the width.
        {"3x300, three columns", blocks(3, 300, 3, 2), {}},
        // Enlarged to a square of its width first, it would take 256 MB.
        {"8000x100, four by two blocks", blocks(8000, 100, 4, 2), {}},
        {"1x300, two halves", blocks(1, 300, 1, 2), {}},
        {"2x300, two columns", Cover{2, 300, [&](int x, int) { return x ? b : a; }}, ramp},
        {"1x1", Cover{1, 1, [&](int, int) { return c; }}, {}},
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        const std::string path = dir_.path + "label.png";
        WriteCover(path, t.cover);
        const long peak = PeakResidentKb();
        ShowCover(path);
        EXPECT_LT(PeakResidentKb() - peak, 64 * 1024) << "KB more at the peak";
        EXPECT_EQ(CoverShown, 2);
        const std::vector<uint32_t> panel = Pixels(ImageOutput(PanelBackground), PanelW, PanelH);
        ASSERT_EQ(panel.size(), plain.size());
        int photo_pixels = 0, cover_pixels = 0, wrong = 0;
        std::string first;
        for (int y = 0; y < PanelH; ++y)
            for (int x = 0; x < PanelW; ++x) {
                const size_t at = size_t(y) * PanelW + size_t(x);
                const int lx = x - LabelX, ly = y - LabelY;
                std::optional<uint32_t> want;
                int tolerance = 0;
                if (lx < 0 || ly < 0 || lx >= LabelWidth || ly >= LabelHeight) {
                    want = plain[at];
                } else {
                    const size_t m = size_t(ly) * LabelWidth + size_t(lx);
                    if (alpha[m] == 255) {
                        want = mask[m];
                        ++photo_pixels;
                    } else if (alpha[m] == 0) {
                        const std::optional<uint32_t> cover =
                            t.expected ? t.expected(lx, ly)
                                       : Uniform(t.cover, LabelWidth, LabelHeight, lx, ly);
                        if (cover) {
                            want = Over(0x000000, *cover, 64);
                            tolerance = 3;
                            ++cover_pixels;
                        }
                    }
                }
                if (want && !Near(panel[at], *want, tolerance) && wrong++ == 0)
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") " + Hex(panel[at]) +
                            " not " + Hex(*want);
            }
        EXPECT_GT(photo_pixels, 10000);
        EXPECT_GT(cover_pixels, 15000);
        EXPECT_EQ(wrong, 0) << wrong << " pixels, first " << first;
        EXPECT_EQ(Pixels(CanvasOutput(ListPanel), PanelW, PanelH), panel) << "the panel is repainted";

        ShowCover(bad);
        EXPECT_EQ(CoverShown, 2);
        EXPECT_EQ(Pixels(ImageOutput(PanelBackground), PanelW, PanelH), panel);
        EXPECT_EQ(Pixels(CanvasOutput(ListPanel), PanelW, PanelH), panel);

        RemoveCover();
        EXPECT_EQ(CoverShown, 0);
        EXPECT_EQ(Pixels(ImageOutput(PanelBackground), PanelW, PanelH), plain);
        EXPECT_EQ(Pixels(CanvasOutput(ListPanel), PanelW, PanelH), plain);
    }
    ShowCover(bad);
    EXPECT_EQ(CoverShown, 0);
    EXPECT_EQ(Pixels(CanvasOutput(ListPanel), PanelW, PanelH), plain);
}

// The dark fill over the light box over the photograph, for fills short of, at and past the box's end.
TEST_F(TurntableTest, PositionBarShowsTheFillWidthOfThePartPlayedOverTheLightBox) {
    const int64_t end = 3'000'000'000'000;
    // (played, end, fill width): trunc(played / end * 470), full past the end, 0 for an empty track.
    const int64_t widths[][3] = {
        {0, end, 0},         {end / 2, end, 235}, {end / 3, end, 156}, {2 * end / 3, end, 313},
        {end - 1, end, 469}, {end, end, 470},     {end + 1, end, 470}, {5, 0, 0},
        {2 * end, end, 470}, {0, 0, 0},           {1, 1'000'000, 0},   {999'999, 1'000'000, 469},
    };
    for (const auto &[played, total, width] : widths)
        EXPECT_EQ(PositionBarWidth(played, total), width) << played << " of " << total;
    // A click x pixels into the bar points at the same share of the track, in whole frames of 8 bytes,
    // and the bar's fill drawn at that point reaches the click.
    const int64_t offsets[][3] = {
        {0, 1'000'000, 0},   {235, 1'000'000, 500'000}, {469, 1'000'000, 997'872},
        {-3, 1'000'000, 0},  {470, 1'000'000, 997'872}, {100, 0, 0},
        {1, 470 * 8 + 4, 8}, {47, end, end / 10},
    };
    for (const auto &[x, total, offset] : offsets) {
        EXPECT_EQ(BarSeekOffset(int(x), total), offset) << x << " of " << total;
        if (x > 0 && x < 470 && total > 0) {
            EXPECT_EQ(PositionBarWidth(offset + 8, total), x) << x;
        }
    }

    Build(0);
    const std::vector<uint32_t> patch = Pixels(ImageOutput(PositionBarPatch), BarW, BarH);
    ASSERT_EQ(patch.size(), size_t(BarW) * BarH);
    auto expected = [&](int width, int x, int y) {
        uint32_t c = patch[size_t(y) * BarW + size_t(x)];
        if (y < 2) return c;
        if (x < 464) c = Over(0xFFFFFF, c, 64);
        if (x < width) c = Over(0x001400, c, 128);
        return c;
    };
    for (int width : {0, 1, 200, 235, 463, 464, 470}) {
        DrawPositionBar(width, "");
        const std::vector<uint32_t> bar = Pixels(CanvasOutput(PositionBar), BarW, BarH);
        ASSERT_EQ(bar.size(), patch.size());
        int wrong = 0;
        std::string first;
        for (int y = 0; y < BarH; ++y)
            for (int x = 0; x < BarW; ++x) {
                const uint32_t seen = bar[size_t(y) * BarW + size_t(x)], want = expected(width, x, y);
                if (!Near(seen, want, 2) && wrong++ == 0)
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") " + Hex(seen) + " not " +
                            Hex(want);
            }
        EXPECT_EQ(wrong, 0) << "width " << width << ": " << wrong << " pixels, first " << first;
    }

    // The title is written near the left end; the rest of the bar is as without it.
    DrawPositionBar(300, "Moonlight Sonata");
    const std::vector<uint32_t> bar = Pixels(CanvasOutput(PositionBar), BarW, BarH);
    int lettered = 0;
    for (int y = 0; y < BarH; ++y)
        for (int x = 0; x < BarW; ++x) {
            const uint32_t seen = bar[size_t(y) * BarW + size_t(x)], want = expected(300, x, y);
            if (x >= 250) {
                EXPECT_TRUE(Near(seen, want, 2)) << x << ", " << y;
            } else if (!Near(seen, want, 60)) {
                ++lettered;
            }
        }
    EXPECT_GT(lettered, 20) << "the title's glyphs";
}

// The track following turns the panel only when the entry heard would be off it, and then only as
// far as it must: the panel shows entries page * 6 to page * 6 + 11.
TEST(TrackFollowing, TurnsThePanelOnlyAsFarAsTheEntryHeardNeeds) {
    const int named[][3] = {{3, 1, 0}, {12, 0, 1}, {5, 0, 0}, {11, 0, 0}, {17, 1, 1}, {18, 1, 2}, {0, 4, 0}};
    for (const auto &[index, page, after] : named)
        EXPECT_EQ(FollowPage(index, page), after) << index << ", " << page;

    auto shown = [](int index, int page) { return page * 6 <= index && index <= page * 6 + 11; };
    for (int index = 0; index < 60; ++index)
        for (int page = 0; page < 12; ++page) {
            int want = page; // the nearest page to the one before that shows the entry
            while (!shown(index, want)) want += index < want * 6 ? -1 : 1;
            EXPECT_EQ(FollowPage(index, page), want) << index << ", " << page;
        }
}

} // namespace
