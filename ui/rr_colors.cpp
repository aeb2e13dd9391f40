#include "ui/rr_colors.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace corvane::ui::rrColors {

namespace {

constexpr double kTiny = 1e-8;

void Check(const char* fn, const char* name, double v) {
    if (!(v >= 0.0 && v <= 1.0)) {  // also refuses NaN
        throw EColorConv(std::string(fn) + ": 0 <= " + name + " value <= 1 required");
    }
}

double Clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

// Nearest integer, halves to the even neighbour (the default rounding mode).
int RoundEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

}  // namespace

THLS RGB2HLS(const TRGB& rgb) {
    Check("RGB2HLS", "Red", rgb.Red);
    Check("RGB2HLS", "Green", rgb.Green);
    Check("RGB2HLS", "Blue", rgb.Blue);
    const double r = rgb.Red, g = rgb.Green, b = rgb.Blue;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    THLS hls;
    hls.Luminance = (mx + mn) / 2;
    const double delta = mx - mn;
    if (delta < kTiny) {
        hls.Hue = 0;
        hls.Saturation = 0;
        hls.Luminance = Clamp01(hls.Luminance);
        return hls;
    }
    hls.Saturation = hls.Luminance <= 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
    double h;
    if (mx - r < kTiny) {
        h = (g - b) / delta;  // between magenta and yellow
    } else if (mx - g < kTiny) {
        h = 2 + (b - r) / delta;  // between yellow and cyan
    } else {
        h = 4 + (r - g) / delta;  // between cyan and magenta
    }
    h /= 6;
    if (h < kTiny) {
        h += 1;  // reds come out at the top of the circle, pure red at 1
    }
    hls.Hue = Clamp01(h);
    hls.Luminance = Clamp01(hls.Luminance);
    hls.Saturation = Clamp01(hls.Saturation);
    return hls;
}

TRGB HLS2RGB(const THLS& hls) {
    Check("HLS2RGB", "Hue", hls.Hue);
    Check("HLS2RGB", "Luminance", hls.Luminance);
    Check("HLS2RGB", "Saturation", hls.Saturation);
    const double l = hls.Luminance, s = hls.Saturation;
    const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    const double m1 = 2 * l - m2;
    // Corners of the hexagon at this luminance and saturation.
    const TRGB corners[6] = {
        {m2, m1, m1},  // red
        {m2, m2, m1},  // yellow
        {m1, m2, m1},  // green
        {m1, m2, m2},  // cyan
        {m1, m1, m2},  // blue
        {m2, m1, m2},  // magenta
    };
    const double h6 = hls.Hue * 6;
    const double whole = std::floor(h6);
    const double frac = h6 - whole;
    const int sextant = static_cast<int>(whole) % 6;
    const TRGB& a = corners[sextant];
    const TRGB& z = corners[(sextant + 1) % 6];
    return TRGB{Clamp01(a.Red + (z.Red - a.Red) * frac),
                Clamp01(a.Green + (z.Green - a.Green) * frac),
                Clamp01(a.Blue + (z.Blue - a.Blue) * frac)};
}

TShades ShadeColors(const QColor& color, int highlightAmount, int shadowAmount) {
    const QColor c = color.toRgb();
    const int bytes[3] = {c.red(), c.green(), c.blue()};
    const double f = (10 - highlightAmount) / 10.0;
    const double d = (10 - shadowAmount) / 10.0;

    int light[3];
    for (int i = 0; i < 3; ++i) {
        light[i] = std::clamp(255 - RoundEven(f * (256 - bytes[i])), 0, 255);
    }
    THLS hls = RGB2HLS({bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0});
    hls.Luminance = Clamp01(hls.Luminance * d);
    const TRGB dark = HLS2RGB(hls);
    return TShades{
        QColor(light[0], light[1], light[2]),
        QColor(RoundEven(dark.Red * 255), RoundEven(dark.Green * 255), RoundEven(dark.Blue * 255))};
}

}  // namespace corvane::ui::rrColors
