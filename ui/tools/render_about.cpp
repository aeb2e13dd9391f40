// Draws the About box into a PNG file, for looking at its layout without a
// display: corvane_render_about OUT.png (run with QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QPixmap>

#include <cstdio>

#include "ui/fonts.h"
#include "ui/info_form.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    corvane::ui::InstallFontSubstitutes();
    corvane::ui::TInfoForm about;
    about.show();
    QApplication::processEvents();
    const QPixmap shot = about.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
