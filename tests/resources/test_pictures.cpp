// The committed pictures, read back as the player reads them, checked for what the player relies on:
// sizes and channels, the label mask cut exactly from the photograph with the photograph's label as one
// centred, fully transparent ellipse, list panel rows dark enough for light text, a splash showing the
// same scene.

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0, height = 0;
    uint32_t format = 0;       // as stored in the file
    std::vector<uint8_t> rgba; // straight alpha, 4 bytes a pixel, rows top to bottom
    const uint8_t *at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

Picture Load(const std::string &name) {
    const std::string path = std::string(GS_PICTURES_DIR) + "/" + name;
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str())) {
        p.format = image.format;
        image.format = PNG_FORMAT_RGBA;
        p.rgba.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr)) {
            p.width = int(image.width);
            p.height = int(image.height);
            return p;
        }
    }
    ADD_FAILURE() << "cannot read " << path << ": " << image.message;
    return {};
}

// Where the player composes covers onto the label: this rectangle of the photograph.
constexpr int LabelX = 241, LabelY = 181, LabelWidth = 258, LabelHeight = 222;

double Luminance(const uint8_t *p) {
    auto linear = [](uint8_t channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(p[0]) + 0.7152 * linear(p[1]) + 0.0722 * linear(p[2]);
}

double Contrast(double lighter, double darker) {
    return (lighter + 0.05) / (darker + 0.05);
}

TEST(Pictures, HaveTheSizesAndChannelsThePlayerLoads) {
    const struct {
        const char *name;
        int width, height;
        bool alpha;
    } expected[] = {{"turntable.png", 820, 536, false},
                    {"splash.png", 420, 280, false},
                    {"labelmask.png", LabelWidth, LabelHeight, true},
                    {"icon.png", 256, 256, true}};
    for (const auto &e : expected) {
        SCOPED_TRACE(e.name);
        const Picture p = Load(e.name);
        EXPECT_EQ(p.width, e.width);
        EXPECT_EQ(p.height, e.height);
        EXPECT_EQ(p.format & (PNG_FORMAT_FLAG_LINEAR | PNG_FORMAT_FLAG_COLOR), PNG_FORMAT_FLAG_COLOR);
        // The photograph and the splash are drawn as the bottom layer of their windows: fully opaque.
        long translucent = 0;
        for (size_t i = 3; i < p.rgba.size(); i += 4) translucent += p.rgba[i] != 255;
        EXPECT_TRUE(e.alpha ? (p.format & PNG_FORMAT_FLAG_ALPHA) != 0 : translucent == 0) << translucent;
    }
}

TEST(LabelMask, IsThePhotosLabelRectangleWithTheLabelCutAsOneCentredEllipse) {
    const Picture photo = Load("turntable.png"), mask = Load("labelmask.png");
    ASSERT_TRUE(photo.width == 820 && mask.width == LabelWidth && mask.height == LabelHeight);
    // Opaque pixels are the photograph's own; the cut share and its ellipse from the moments of the
    // cut pixels (a filled ellipse has variance a^2/4 along its axis).
    long cut = 0, partial = 0, differing = 0;
    double sx = 0, sy = 0, sxx = 0, syy = 0;
    for (int y = 0; y < LabelHeight; ++y) {
        for (int x = 0; x < LabelWidth; ++x) {
            const uint8_t *m = mask.at(x, y), *p = photo.at(LabelX + x, LabelY + y);
            if (m[3] == 0) {
                ++cut, sx += x + 0.5, sy += y + 0.5, sxx += (x + 0.5) * (x + 0.5),
                    syy += (y + 0.5) * (y + 0.5);
            } else if (m[3] != 255) {
                ++partial;
            } else {
                differing += m[0] != p[0] || m[1] != p[1] || m[2] != p[2];
            }
        }
    }
    EXPECT_EQ(partial, 0) << "the mask's edge must be hard";
    EXPECT_EQ(differing, 0) << "opaque pixels must fit the photograph where the composite is drawn";
    const double share = double(cut) / (LabelWidth * LabelHeight);
    ASSERT_GE(share, 0.60);
    EXPECT_LE(share, 0.72);
    const double cx = sx / cut, cy = sy / cut;
    const double a = 2 * std::sqrt(sxx / cut - cx * cx), b = 2 * std::sqrt(syy / cut - cy * cy);
    EXPECT_NEAR(cx, LabelWidth / 2.0, 0.5);
    EXPECT_NEAR(cy, LabelHeight / 2.0, 0.5);
    EXPECT_LT(a, LabelWidth / 2.0 - 2);
    EXPECT_LT(b, LabelHeight / 2.0 - 2);

    // Every pixel clearly inside the fitted ellipse is cut, every pixel clearly outside is kept: one
    // solid ellipse, no holes, no strays.
    const double band = 1.5 / std::min(a, b);
    long wrong = 0;
    for (int y = 0; y < LabelHeight; ++y) {
        for (int x = 0; x < LabelWidth; ++x) {
            const double rho = std::hypot((x + 0.5 - cx) / a, (y + 0.5 - cy) / b);
            const uint8_t alpha = mask.at(x, y)[3];
            wrong += rho < 1 - band ? alpha != 0 : rho > 1 + band ? alpha != 255 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);

    // The photograph's label lies on that ellipse: just inside it shows paper, just outside the
    // record, so across the edge the colour changes all round.
    int edges = 0;
    for (int i = 0; i < 360; ++i) {
        const double t = 2 * M_PI * i / 360;
        auto sample = [&](double rho) {
            return photo.at(LabelX + int(std::floor(cx + rho * a * std::cos(t))),
                            LabelY + int(std::floor(cy + rho * b * std::sin(t))));
        };
        const uint8_t *in = sample(1 - 4 / b), *out = sample(1 + 4 / b);
        edges += std::abs(in[0] - out[0]) + std::abs(in[1] - out[1]) + std::abs(in[2] - out[2]) >= 40;
    }
    EXPECT_GE(edges, 342);
}

TEST(TurntablePhoto, ListPanelRowsStayDarkForLightText) {
    const Picture photo = Load("turntable.png");
    ASSERT_EQ(photo.width, 820);
    const uint8_t light[] = {239, 239, 239};
    const double text = Luminance(light);
    // The list panel's twelve rows of 570 x 32 pixels from (100, 98): each one's background as a whole
    // gives light text a strong contrast, and bright spots are few.
    for (int top = 98; top < 98 + 12 * 32; top += 32) {
        double sum = 0, washedOut = 0;
        for (int y = top; y < top + 32; ++y) {
            for (int x = 100; x < 100 + 570; ++x) {
                sum += Luminance(photo.at(x, y));
                washedOut += Contrast(text, Luminance(photo.at(x, y))) < 3;
            }
        }
        EXPECT_GE(Contrast(text, sum / (570 * 32)), 7.0) << "row at " << top;
        EXPECT_LT(washedOut / (570 * 32), 0.05) << "row at " << top;
    }
}

TEST(Splash, ShowsTheSceneOfThePhotograph) {
    const Picture photo = Load("turntable.png"), splash = Load("splash.png");
    ASSERT_TRUE(photo.width == 820 && splash.width == 420);
    // Block luminances over the same 20 x 14 grid of both: the reduced scene follows the large one.
    auto blocks = [](const Picture &p) {
        std::vector<double> means;
        for (int line = 0; line < 14; ++line) {
            for (int column = 0; column < 20; ++column) {
                const int x0 = p.width * column / 20, x1 = p.width * (column + 1) / 20;
                const int y0 = p.height * line / 14, y1 = p.height * (line + 1) / 14;
                double sum = 0;
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x) sum += Luminance(p.at(x, y));
                means.push_back(sum / ((x1 - x0) * (y1 - y0)));
            }
        }
        return means;
    };
    const std::vector<double> a = blocks(photo), b = blocks(splash);
    double ma = 0, mb = 0, sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < a.size(); ++i) ma += a[i] / a.size(), mb += b[i] / b.size();
    for (size_t i = 0; i < a.size(); ++i)
        sab += (a[i] - ma) * (b[i] - mb), saa += (a[i] - ma) * (a[i] - ma), sbb += (b[i] - mb) * (b[i] - mb);
    EXPECT_GT(sab / std::sqrt(saa * sbb), 0.8);
}

} // namespace
