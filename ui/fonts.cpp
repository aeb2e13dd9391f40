#include "ui/fonts.h"

#include <QStringList>

namespace corvane::ui {

void InstallFontSubstitutes() {
    const QStringList lookAlikes = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("DejaVu Sans")};
    for (const QString& face : {kSansSerifFace, kArialFace}) {
        if (QFont::substitutes(face) != lookAlikes) {
            QFont::removeSubstitutions(face);
            QFont::insertSubstitutions(face, lookAlikes);
        }
    }
}

int PointsToPixels(int points) {
    return (points * 96 + 36) / 72;
}

QFont DesignFontPixels(const QString& face, int pixels, bool bold) {
    InstallFontSubstitutes();  // whoever asks for a design font gets the mapping
    QFont font(face);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont DesignFont(const QString& face, int points, bool bold) {
    return DesignFontPixels(face, PointsToPixels(points), bold);
}

}  // namespace corvane::ui
