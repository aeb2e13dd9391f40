// The desktop program. For now it shows the About box and ends when the box
// is closed.
#include <QApplication>

#include "ui/fonts.h"
#include "ui/info_form.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    corvane::ui::InstallFontSubstitutes();
    corvane::ui::TInfoForm about;
    about.ShowModal();
    return 0;
}
