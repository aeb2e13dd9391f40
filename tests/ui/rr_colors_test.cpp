#include "ui/rr_colors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace corvane::ui::rrColors {
namespace {

struct ShadeCase {
    QColor face, highlight, shadow;
};

TEST(RrColors, ShadesOfTheButtonFaces) {
    const ShadeCase cases[] = {
        {QColor(212, 208, 200), QColor(233, 231, 227), QColor(139, 129, 108)},
        {QColor(192, 192, 192), QColor(223, 223, 223), QColor(115, 115, 115)},
        {QColor(255, 255, 255), QColor(255, 255, 255), QColor(153, 153, 153)},  // 0.5 rounds to 0
        {QColor(0, 0, 0), QColor(127, 127, 127), QColor(0, 0, 0)},
    };
    for (const ShadeCase& c : cases) {
        const TShades s = ShadeColors(c.face, 5, 4);
        EXPECT_EQ(s.Highlight, c.highlight) << c.face.name().toStdString();
        EXPECT_EQ(s.Shadow, c.shadow) << c.face.name().toStdString();
    }
    // Amounts of ten give white and black; a shadow amount of zero keeps the
    // face.
    EXPECT_EQ(ShadeColors(QColor(100, 150, 200), 10, 10).Highlight, QColor(255, 255, 255));
    EXPECT_EQ(ShadeColors(QColor(100, 150, 200), 10, 10).Shadow, QColor(0, 0, 0));
    EXPECT_EQ(ShadeColors(QColor(100, 150, 200), 0, 0).Shadow, QColor(100, 150, 200));
}

TEST(RrColors, Rgb2HlsOfGreysPrimariesAndRed) {
    THLS grey = RGB2HLS({0.2, 0.2, 0.2});
    EXPECT_DOUBLE_EQ(grey.Hue, 0);
    EXPECT_DOUBLE_EQ(grey.Luminance, 0.2);
    EXPECT_DOUBLE_EQ(grey.Saturation, 0);

    THLS red = RGB2HLS({1, 0, 0});
    EXPECT_DOUBLE_EQ(red.Hue, 1);
    EXPECT_DOUBLE_EQ(red.Luminance, 0.5);
    EXPECT_DOUBLE_EQ(red.Saturation, 1);
    EXPECT_DOUBLE_EQ(RGB2HLS({0.6, 0.3, 0.3}).Hue, 1);  // any red with green = blue

    EXPECT_NEAR(RGB2HLS({1, 1, 0}).Hue, 1.0 / 6, 1e-12);
    EXPECT_NEAR(RGB2HLS({0, 1, 0}).Hue, 1.0 / 3, 1e-12);
    EXPECT_NEAR(RGB2HLS({0, 1, 1}).Hue, 0.5, 1e-12);
    EXPECT_NEAR(RGB2HLS({0, 0, 1}).Hue, 2.0 / 3, 1e-12);
    EXPECT_NEAR(RGB2HLS({1, 0, 1}).Hue, 5.0 / 6, 1e-12);
    // Luminance above one half uses the other saturation formula.
    THLS pale = RGB2HLS({1, 0.8, 0.8});
    EXPECT_NEAR(pale.Luminance, 0.9, 1e-12);
    EXPECT_NEAR(pale.Saturation, 1.0, 1e-12);
    // Differences under 1e-8 are no colour at all.
    EXPECT_DOUBLE_EQ(RGB2HLS({0.5, 0.5 + 5e-9, 0.5}).Saturation, 0);
}

TEST(RrColors, Hls2RgbTreatsHueOneAsZeroAndRoundTrips) {
    const TRGB a = HLS2RGB({1, 0.5, 1});
    const TRGB b = HLS2RGB({0, 0.5, 1});
    EXPECT_DOUBLE_EQ(a.Red, 1);
    EXPECT_DOUBLE_EQ(a.Green, b.Green);
    EXPECT_DOUBLE_EQ(a.Blue, b.Blue);

    for (double r = 0; r <= 1.0; r += 0.125) {
        for (double g = 0; g <= 1.0; g += 0.25) {
            for (double bl = 0; bl <= 1.0; bl += 0.25) {
                const TRGB back = HLS2RGB(RGB2HLS({r, g, bl}));
                EXPECT_NEAR(back.Red, r, 1e-9) << r << "," << g << "," << bl;
                EXPECT_NEAR(back.Green, g, 1e-9) << r << "," << g << "," << bl;
                EXPECT_NEAR(back.Blue, bl, 1e-9) << r << "," << g << "," << bl;
            }
        }
    }
}

std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EColorConv& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(RrColors, OutOfRangeInputsNameTheFirstBadComponent) {
    EXPECT_EQ(MessageOf([] {
                  HLS2RGB({0.5, 1.5, 0.5});
              }),
              "HLS2RGB: 0 <= Luminance value <= 1 required");
    EXPECT_EQ(MessageOf([] { HLS2RGB({-0.1, 1.5, 2}); }), "HLS2RGB: 0 <= Hue value <= 1 required");
    EXPECT_EQ(MessageOf([] {
                  HLS2RGB({0, 0, 1.01});
              }),
              "HLS2RGB: 0 <= Saturation value <= 1 required");
    EXPECT_EQ(MessageOf([] { RGB2HLS({2, 0, 0}); }), "RGB2HLS: 0 <= Red value <= 1 required");
    EXPECT_EQ(MessageOf([] { RGB2HLS({0, -1, 0}); }), "RGB2HLS: 0 <= Green value <= 1 required");
    EXPECT_EQ(MessageOf([] { RGB2HLS({0, 0, 1.5}); }), "RGB2HLS: 0 <= Blue value <= 1 required");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(MessageOf([&] { RGB2HLS({0, nan, 0}); }), "RGB2HLS: 0 <= Green value <= 1 required");
    EXPECT_EQ(MessageOf([] { RGB2HLS({1, 1, 1}); }), "(no error)");
}

}  // namespace
}  // namespace corvane::ui::rrColors
