// The desktop program: names the application, ends at once (exit code 0,
// nothing shown) when another instance runs for this user and display,
// creates the main window, the Locate dialog and the About box, and runs
// until the main window is closed.
//
// Options: the network options of corvane-cli (--demo, --proxy, ...); a bad
// one is reported on stderr with exit code 2. Without a display it says so
// in one line and ends with exit code 1.
//
// For tests only: CORVANE_TEST_QUIT_AFTER_MS=N closes the main window N
// milliseconds after start-up, which ends the program as the close box does.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "corvane_version.h"
#include "ui/desktop_program.h"
#include "ui/display_check.h"
#include "ui/fonts.h"
#include "ui/main_form.h"
#include "ui/main_pictures.h"
#include "ui/product_info.h"
#include "ui/single_instance.h"

namespace {

int UsageFailure(const corvane::frontend::UsageError& e) {
    std::fprintf(stderr, "corvane: %s\n%s%s%s%s", e.what(), corvane::ui::kDesktopUsage,
                 corvane::frontend::kSharedOptionsHelp, corvane::frontend::kJobsOptionsHelp,
                 corvane::frontend::kHistoryOptionsHelp);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane;
    // Help and the program's own options first, before the window system is
    // reached (it may not be there).
    try {
        const ui::DesktopOptions preview =
            ui::PreviewDesktopOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (preview.Help) {
            std::fprintf(stdout, "%s%s%s%s", ui::kDesktopUsage, frontend::kSharedOptionsHelp,
                         frontend::kJobsOptionsHelp, frontend::kHistoryOptionsHelp);
            return 0;
        }
        if (preview.Version) {
            std::fputs("corvane " CORVANE_VERSION "\n", stdout);
            return 0;
        }
    } catch (const frontend::UsageError& e) {
        return UsageFailure(e);
    }

    // Without a display Qt would abort with its plugin's advice.
    ui::MissingDisplayGuard noDisplay;
    QApplication app(argc, argv);
    noDisplay.Release();
    QApplication::setApplicationName(ui::kProductName);
    QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));

    ui::DesktopOptions options;
    try {
        options = ui::ParseDesktopOptions(QApplication::arguments().mid(1));
    } catch (const frontend::UsageError& e) {
        return UsageFailure(e);
    }

    ui::SingleInstance instance;
    if (!instance.TryAcquire()) {
        return 0;
    }

    ui::InstallFontSubstitutes();
    QApplication::setWindowIcon(ui::ProgramIcon());
    std::unique_ptr<ui::DesktopProgram> program;
    try {
        program = std::make_unique<ui::DesktopProgram>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane: %s\n", e.what());
        return 1;
    }
    program->Show();

    bool quitOk = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("CORVANE_TEST_QUIT_AFTER_MS", &quitOk);
    if (quitOk && quitAfterMs >= 0) {
        QTimer::singleShot(quitAfterMs, &program->MainForm(),
                           [&program] { program->MainForm().close(); });
    }
    return QApplication::exec();
}
