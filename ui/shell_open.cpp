#include "ui/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace corvane::ui {

namespace {

ShellOpener& Current() {
    static ShellOpener opener;
    return opener;
}

}  // namespace

bool DesktopShellOpen(const QString& target, ShellShow) {
    QUrl url(target, QUrl::TolerantMode);
    // One-letter schemes would be drive letters; treat them, and plain
    // names, as files.
    if (url.scheme().size() < 2) {
        url = QUrl::fromLocalFile(QDir::current().absoluteFilePath(target));
    }
    if (!url.isValid()) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

bool ShellOpen(const QString& target, ShellShow show) {
    const ShellOpener& opener = Current();
    return opener ? opener(target, show) : DesktopShellOpen(target, show);
}

ShellOpener SetShellOpener(ShellOpener opener) {
    ShellOpener previous = std::move(Current());
    Current() = std::move(opener);
    return previous;
}

}  // namespace corvane::ui
