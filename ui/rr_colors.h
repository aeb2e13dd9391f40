// Colour routines behind the oval button's rim: RGB <-> HLS conversion in the
// double-hexcone model, and the lighter/darker shades of a face colour.
#pragma once

#include <QColor>

#include <stdexcept>

namespace corvane::ui::rrColors {

// Every component in 0..1.
struct TRGB {
    double Red = 0;
    double Green = 0;
    double Blue = 0;
};

// Hue in turns (red 0, yellow 1/6, green 1/3, cyan 1/2, blue 2/3,
// magenta 5/6), luminance and saturation; every component in 0..1.
struct THLS {
    double Hue = 0;
    double Luminance = 0;
    double Saturation = 0;
};

// An input component outside 0..1.
class EColorConv : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Throws EColorConv "RGB2HLS: 0 <= Red value <= 1 required" (Green, Blue)
// for the first component out of range. A grey gives hue 0 and saturation 0;
// a red whose green and blue are equal gives hue 1.
THLS RGB2HLS(const TRGB& rgb);

// Throws EColorConv "HLS2RGB: 0 <= Hue value <= 1 required" (Luminance,
// Saturation) for the first component out of range. Hue 1 is hue 0.
TRGB HLS2RGB(const THLS& hls);

struct TShades {
    QColor Highlight;
    QColor Shadow;
};

// The lighter and darker shade of an opaque colour; the amounts are whole
// tenths (0..10). The highlight moves each byte the given share of the way
// to white; the shadow scales the HLS luminance down by the shadow share.
TShades ShadeColors(const QColor& color, int highlightAmount, int shadowAmount);

}  // namespace corvane::ui::rrColors
