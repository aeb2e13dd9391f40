// The program's windows are laid out for "MS Sans Serif" and "Arial" at the
// classic 96 dots per inch. Fonts are asked for by those names; Linux lacks
// both, so they are mapped to metric-compatible faces, and sizes are set in
// pixels so captions fit the same boxes whatever the screen's resolution.
#pragma once

#include <QFont>
#include <QString>

namespace corvane::ui {

inline const QString kSansSerifFace = QStringLiteral("MS Sans Serif");
inline const QString kArialFace = QStringLiteral("Arial");

// Maps "MS Sans Serif" and "Arial" to Liberation Sans (falling back to the
// usual Arial look-alikes). Safe to call more than once; DesignFont calls it,
// and start-up may call it before the first window is created.
void InstallFontSubstitutes();

// A font of the given face and point size, sized in pixels as a 96-dpi
// screen would show it (8 points = 11 pixels, 9 points = 12 pixels).
QFont DesignFont(const QString& face, int points, bool bold = false);

// A font whose character height is the given number of pixels.
QFont DesignFontPixels(const QString& face, int pixels, bool bold = false);

// Pixels of a point size at 96 dpi, rounded to nearest.
int PointsToPixels(int points);

}  // namespace corvane::ui
