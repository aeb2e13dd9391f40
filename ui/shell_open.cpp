#include "ui/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace corvane::ui {

namespace {

const QString kDefaultOpener = QStringLiteral("xdg-open");

ShellOpener& Current() {
    static ShellOpener opener;
    return opener;
}

int running = 0;

QString& OpenerProgram() {
    static QString program = kDefaultOpener;
    return program;
}

void Refuse(const ShellRefused& refused, const QString& reason) {
    if (refused) {
        refused(reason);
    }
}

// An address has a scheme of two letters or more; one letter would be a
// drive letter.
bool IsAddress(const QString& target) {
    const qsizetype colon = target.indexOf(QLatin1Char(':'));
    if (colon < 2) {
        return false;
    }
    for (qsizetype i = 0; i < colon; ++i) {
        const QChar c = target[i];
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other)) {
            return false;
        }
    }
    return true;
}

bool OpenWithDesktopServices(const QString& target, bool address, const ShellRefused& refused) {
    const QUrl url = address ? QUrl(target, QUrl::StrictMode) : QUrl::fromLocalFile(target);
    if (!url.isValid()) {
        Refuse(refused, QStringLiteral("it is not an address the desktop can open"));
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        Refuse(refused, QStringLiteral("no program is set up to open it"));
        return false;
    }
    return true;
}

}  // namespace

QString OpenerExitReason(int exitCode) {
    switch (exitCode) {
        case 1:
            return QStringLiteral("the desktop did not accept it");
        case 2:
            return QStringLiteral("it does not exist");
        case 3:
            return QStringLiteral("no program is set up to open it");
        case 4:
            return QStringLiteral("the program meant to open it failed");
        default:
            return QStringLiteral("the desktop's opener ended with code %1").arg(exitCode);
    }
}

QString SetDesktopOpenerProgram(const QString& program) {
    QString previous = OpenerProgram();
    OpenerProgram() = program.isEmpty() ? kDefaultOpener : program;
    return previous;
}

QString DesktopOpenerProgram() {
    return OpenerProgram();
}

int DesktopOpenersRunning() {
    return running;
}

bool DesktopShellOpen(const QString& target, ShellShow, const ShellRefused& refused) {
    const bool address = IsAddress(target);
    const QString argument = address ? target : QDir::current().absoluteFilePath(target);
    const QString& program = OpenerProgram();
    const QString path =
        program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        return OpenWithDesktopServices(argument, address, refused);
    }
    // Not owned by anyone: the opening program may run as long as the
    // browser it starts, and must not be ended with this program. It is
    // deleted once it has finished.
    auto* process = new QProcess;
    process->setProgram(path);
    process->setArguments({argument});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, refused](int exitCode, QProcess::ExitStatus status) {
                         --running;
                         if (status != QProcess::NormalExit) {
                             Refuse(refused, QStringLiteral("the desktop's opener crashed"));
                         } else if (exitCode != 0) {
                             Refuse(refused, OpenerExitReason(exitCode));
                         }
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [refused, program](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             Refuse(refused,
                                    QStringLiteral("%1 could not be started").arg(program));
                         }
                     });
    process->start();
    if (!process->waitForStarted()) {
        // Reported through errorOccurred by now; nothing runs.
        delete process;
        return false;
    }
    ++running;
    return true;
}

bool ShellOpen(const QString& target, ShellShow show, const ShellRefused& refused) {
    const ShellOpener& opener = Current();
    if (!opener) {
        return DesktopShellOpen(target, show, refused);
    }
    if (!opener(target, show)) {
        Refuse(refused, QStringLiteral("the desktop refused it"));
        return false;
    }
    return true;
}

ShellOpener SetShellOpener(ShellOpener opener) {
    ShellOpener previous = std::move(Current());
    Current() = std::move(opener);
    return previous;
}

}  // namespace corvane::ui
