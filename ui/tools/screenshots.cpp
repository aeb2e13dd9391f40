// Draws the program's windows into PNG files, without a display: the main
// window after a keyword survey of the in-process demo web, its menus, the
// help window, the Locate dialog, the About box, and the program's icon.
//   corvane_screenshots OUT_DIR [KEYWORD]   (run with QT_QPA_PLATFORM=offscreen)
// The Locate dialog's remembered inputs and the survey history are kept in
// a temporary folder, so the user's own are neither read nor changed, and
// the pictures do not depend on surveys made before.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <exception>
#include <utility>

#include "ui/desktop_program.h"
#include "ui/fonts.h"
#include "ui/help_window.h"
#include "ui/info_form.h"
#include "ui/main_form.h"
#include "ui/main_pictures.h"
#include "ui/oval_button.h"
#include "ui/product_info.h"
#include "ui/results_model.h"
#include "ui/start_form.h"

namespace {

bool Save(QWidget& w, const QDir& dir, const char* name) {
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!w.grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR [KEYWORD]\n", argv[0]);
        return 2;
    }
    QTemporaryDir config;
    if (!config.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", config.filePath(QStringLiteral("data")).toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setApplicationName(ui::kProductName);
    ui::InstallFontSubstitutes();
    QApplication::setWindowIcon(ui::ProgramIcon());
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    const QString keyword =
        argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("garden tools");

    frontend::FrontEndSettings settings;
    settings.Demo = true;
    std::unique_ptr<ui::DesktopProgram> program;
    try {
        program = std::make_unique<ui::DesktopProgram>(settings);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    ui::TForm1& form = program->MainForm();
    ui::TStartForm& locate = program->LocateDialog();
    program->Show();

    // Start, then Search in the Locate dialog once it is up.
    locate.LabeledEdit1->setText(keyword);
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (locate.isVisible()) {
            answer.stop();
            locate.BitBtn1Click();
        }
    });
    answer.start(10);
    form.BitBtn2Click();
    auto* list = form.findChild<QTreeView*>(QStringLiteral("ListView1"));
    if (list != nullptr && form.Table().Count() > 1) {
        // Ordered by inbound links, as a header click orders it.
        form.ListView1ColumnClick(2);
        list->setCurrentIndex(form.Model()->index(1, 0));
    }
    bool ok = Save(form, out, "main-window.png");

    // The menus, each drawn on its own as it drops down.
    for (const auto& [menuName, name] : {std::pair{"File1", "file-menu.png"},
                                         {"Website1", "website-menu.png"},
                                         {"Help1", "help-menu.png"},
                                         {"PopupMenu1", "list-menu.png"}}) {
        auto* menu = form.findChild<QMenu*>(QLatin1String(menuName));
        if (menu == nullptr) {
            std::fprintf(stderr, "no menu %s\n", menuName);
            ok = false;
            continue;
        }
        menu->popup(form.mapToGlobal(QPoint(0, 0)));
        ok = Save(*menu, out, name) && ok;
        menu->hide();
    }

    // The help as the program shows it when no installed copy is found.
    auto* help = new ui::THelpWindow(&form);
    help->show();
    ok = Save(*help, out, "help-window.png") && ok;
    help->hide();

    locate.show();
    ok = Save(locate, out, "locate-dialog.png") && ok;
    locate.hide();

    program->AboutBox().show();
    // As it opens: Close has the focus.
    program->AboutBox().BitBtn3->setFocus();
    ok = Save(program->AboutBox(), out, "about-box.png") && ok;
    program->AboutBox().hide();

    const QString icon = out.filePath(QStringLiteral("icon.png"));
    if (ui::ProgramIconImage(128).save(icon, "PNG")) {
        std::printf("%s\n", qPrintable(icon));
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}
