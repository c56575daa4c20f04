// The committed pictures, read back as the player reads them, checked for what the player relies on:
// their sizes and channels, the label mask cut exactly from the photograph with the label as one
// centred, fully transparent ellipse, the label of the photograph lying on that ellipse, and a list
// panel area dark enough for light text.

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    bool eightBit = false;
    std::vector<uint8_t> rgba; // straight alpha, 4 bytes a pixel, rows top to bottom

    const uint8_t *at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

Picture load(const std::string &name) {
    const std::string path = std::string(GS_PICTURES_DIR) + "/" + name;
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << "cannot read " << path << ": " << image.message;
        return picture;
    }
    picture.hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    picture.eightBit =
        (image.format & PNG_FORMAT_FLAG_LINEAR) == 0 && (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
        ADD_FAILURE() << "cannot decode " << path << ": " << image.message;
        picture.rgba.clear();
        return picture;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}

// Where the player composes covers onto the label: this rectangle of the photograph.
constexpr int LabelX = 241, LabelY = 181, LabelWidth = 258, LabelHeight = 222;
// The list panel over the record: twelve rows of 32 pixels from this photo position.
constexpr int PanelX = 100, PanelY = 98, PanelWidth = 570, RowHeight = 32, Rows = 12;

double linear(uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const uint8_t *p) {
    return 0.2126 * linear(p[0]) + 0.7152 * linear(p[1]) + 0.0722 * linear(p[2]);
}

double contrast(double lighter, double darker) {
    return (lighter + 0.05) / (darker + 0.05);
}

// The transparent part of the mask as an ellipse: centre and semi-axes from its moments (a filled
// ellipse has variance a^2/4 along its axis).
struct Ellipse {
    double cx = 0, cy = 0, a = 0, b = 0;
    long count = 0;
    double rho(double x, double y) const { return std::hypot((x - cx) / a, (y - cy) / b); }
};

Ellipse transparentRegion(const Picture &mask) {
    Ellipse e;
    double sx = 0, sy = 0, sxx = 0, syy = 0;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            if (mask.at(x, y)[3] != 0) continue;
            const double px = x + 0.5, py = y + 0.5;
            sx += px;
            sy += py;
            sxx += px * px;
            syy += py * py;
            ++e.count;
        }
    }
    if (e.count == 0) return e;
    e.cx = sx / e.count;
    e.cy = sy / e.count;
    e.a = 2 * std::sqrt(sxx / e.count - e.cx * e.cx);
    e.b = 2 * std::sqrt(syy / e.count - e.cy * e.cy);
    return e;
}

TEST(Pictures, HaveTheSizesAndChannelsThePlayerLoads) {
    struct Expected {
        const char *name;
        int width, height;
        bool alpha;
    };
    const Expected expected[] = {
        {"turntable.png", 820, 536, false},
        {"splash.png", 420, 280, false},
        {"labelmask.png", 258, 222, true},
        {"icon.png", 256, 256, true},
    };
    for (const auto &e : expected) {
        SCOPED_TRACE(e.name);
        const Picture p = load(e.name);
        EXPECT_EQ(p.width, e.width);
        EXPECT_EQ(p.height, e.height);
        EXPECT_TRUE(p.eightBit);
        if (e.alpha) {
            EXPECT_TRUE(p.hasAlpha);
            continue;
        }
        // The photograph and the splash are drawn as the bottom layer of their windows: fully opaque.
        long translucent = 0;
        for (size_t i = 3; i < p.rgba.size(); i += 4) translucent += p.rgba[i] != 255;
        EXPECT_EQ(translucent, 0);
    }
}

TEST(LabelMask, IsThePhotosLabelRectangleWithTwoThirdsCutOut) {
    const Picture photo = load("turntable.png");
    const Picture mask = load("labelmask.png");
    ASSERT_EQ(photo.width, 820);
    ASSERT_EQ(mask.width, LabelWidth);
    ASSERT_EQ(mask.height, LabelHeight);
    long cut = 0, partial = 0, differing = 0;
    for (int y = 0; y < LabelHeight; ++y) {
        for (int x = 0; x < LabelWidth; ++x) {
            const uint8_t *m = mask.at(x, y);
            if (m[3] == 0) {
                ++cut;
                continue;
            }
            if (m[3] != 255) {
                ++partial;
                continue;
            }
            const uint8_t *p = photo.at(LabelX + x, LabelY + y);
            differing += m[0] != p[0] || m[1] != p[1] || m[2] != p[2];
        }
    }
    EXPECT_EQ(partial, 0) << "the mask's edge must be hard";
    EXPECT_EQ(differing, 0) << "opaque pixels must fit the photograph where the composite is drawn";
    const double share = static_cast<double>(cut) / (LabelWidth * LabelHeight);
    EXPECT_GE(share, 0.60);
    EXPECT_LE(share, 0.72);
}

TEST(LabelMask, HoleIsOneEllipseCentredInTheRectangle) {
    const Picture mask = load("labelmask.png");
    ASSERT_EQ(mask.width, LabelWidth);
    const Ellipse e = transparentRegion(mask);
    ASSERT_GT(e.count, 0);
    EXPECT_NEAR(e.cx, LabelWidth / 2.0, 0.5);
    EXPECT_NEAR(e.cy, LabelHeight / 2.0, 0.5);
    EXPECT_LT(e.a, LabelWidth / 2.0 - 2);
    EXPECT_LT(e.b, LabelHeight / 2.0 - 2);
    // Every pixel clearly inside the fitted ellipse is cut, every pixel clearly outside is kept:
    // one solid ellipse, no holes, no strays.
    const double band = 1.5 / std::min(e.a, e.b);
    long wrong = 0;
    for (int y = 0; y < LabelHeight; ++y) {
        for (int x = 0; x < LabelWidth; ++x) {
            const double rho = e.rho(x + 0.5, y + 0.5);
            const uint8_t alpha = mask.at(x, y)[3];
            if (rho < 1 - band)
                wrong += alpha != 0;
            else if (rho > 1 + band)
                wrong += alpha != 255;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(TurntablePhoto, LabelEdgeLiesOnTheMasksEllipse) {
    const Picture photo = load("turntable.png");
    const Picture mask = load("labelmask.png");
    ASSERT_EQ(photo.width, 820);
    ASSERT_EQ(mask.width, LabelWidth);
    const Ellipse e = transparentRegion(mask);
    ASSERT_GT(e.count, 0);
    // Just inside the ellipse the photograph shows paper, just outside it shows the record: across
    // the edge the colour changes all round.
    constexpr int Angles = 360;
    int edges = 0;
    for (int i = 0; i < Angles; ++i) {
        const double t = 2 * M_PI * i / Angles;
        auto sample = [&](double rho) {
            const int x = static_cast<int>(std::floor(e.cx + rho * e.a * std::cos(t)));
            const int y = static_cast<int>(std::floor(e.cy + rho * e.b * std::sin(t)));
            return photo.at(LabelX + x, LabelY + y);
        };
        const uint8_t *in = sample(1 - 4 / e.b);
        const uint8_t *out = sample(1 + 4 / e.b);
        const int difference = std::abs(in[0] - out[0]) + std::abs(in[1] - out[1]) + std::abs(in[2] - out[2]);
        edges += difference >= 40;
    }
    EXPECT_GE(edges, Angles * 95 / 100);
}

TEST(TurntablePhoto, ListPanelRowsStayDarkForLightText) {
    const Picture photo = load("turntable.png");
    ASSERT_EQ(photo.width, 820);
    const uint8_t rowText[] = {239, 239, 239};
    const double text = luminance(rowText);
    for (int row = 0; row < Rows; ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        double sum = 0;
        long washedOut = 0;
        for (int y = PanelY + row * RowHeight; y < PanelY + (row + 1) * RowHeight; ++y) {
            for (int x = PanelX; x < PanelX + PanelWidth; ++x) {
                const double l = luminance(photo.at(x, y));
                sum += l;
                washedOut += contrast(text, l) < 3;
            }
        }
        const long pixels = static_cast<long>(PanelWidth) * RowHeight;
        // The row's background as a whole gives light text a strong contrast, and bright spots
        // (highlights, print) are few.
        EXPECT_GE(contrast(text, sum / pixels), 7.0);
        EXPECT_LT(static_cast<double>(washedOut) / pixels, 0.05);
    }
}

TEST(Splash, ShowsTheSceneOfThePhotograph) {
    const Picture photo = load("turntable.png");
    const Picture splash = load("splash.png");
    ASSERT_EQ(photo.width, 820);
    ASSERT_EQ(splash.width, 420);
    // Block luminances of both pictures over the same grid: the reduced scene follows the large one.
    constexpr int Columns = 20, Lines = 14;
    std::vector<double> a, b;
    auto blockMean = [](const Picture &p, int column, int line) {
        const int x0 = p.width * column / Columns, x1 = p.width * (column + 1) / Columns;
        const int y0 = p.height * line / Lines, y1 = p.height * (line + 1) / Lines;
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) sum += luminance(p.at(x, y));
        return sum / ((x1 - x0) * (y1 - y0));
    };
    for (int line = 0; line < Lines; ++line) {
        for (int column = 0; column < Columns; ++column) {
            a.push_back(blockMean(photo, column, line));
            b.push_back(blockMean(splash, column, line));
        }
    }
    double ma = 0, mb = 0;
    for (size_t i = 0; i < a.size(); ++i) ma += a[i] / a.size(), mb += b[i] / b.size();
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    EXPECT_GT(sab / std::sqrt(saa * sbb), 0.8);
}

TEST(Icon, IsARecordOnTransparency) {
    const Picture icon = load("icon.png");
    ASSERT_EQ(icon.width, 256);
    for (int corner = 0; corner < 4; ++corner) {
        const int x = corner % 2 ? 255 : 0, y = corner / 2 ? 255 : 0;
        EXPECT_EQ(icon.at(x, y)[3], 0) << "corner " << x << "," << y;
    }
    for (int i = 0; i < 8; ++i) {
        const double t = 2 * M_PI * i / 8;
        const int x = static_cast<int>(128 + 80 * std::cos(t)), y = static_cast<int>(128 + 80 * std::sin(t));
        EXPECT_EQ(icon.at(x, y)[3], 255) << "on the record at " << x << "," << y;
    }
}

} // namespace
