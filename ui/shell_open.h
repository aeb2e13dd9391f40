// The one road by which the program hands an address or a file to the
// desktop: web pages, "mailto:" addresses, the help file. Tests put a
// recorder in place of the desktop.
#pragma once

#include <QString>

#include <functional>

namespace corvane::ui {

// How the caller would like the opened program's window shown. The desktop
// opener cannot enforce it; it is kept for recorders and future openers.
enum class ShellShow { Normal, Maximized };

// Opens target with the desktop's handler and tells whether the desktop took
// it. A target with a scheme ("http://...", "mailto:...") is opened as an
// address; anything else is a file name, relative ones taken from the
// current working folder.
using ShellOpener = std::function<bool(const QString& target, ShellShow show)>;

// Asks the current opener to "open" target. Callers ignore the result by
// design; nothing is ever reported to the user.
bool ShellOpen(const QString& target, ShellShow show = ShellShow::Normal);

// Installs opener (an empty one restores the desktop opener) and returns the
// one it replaces.
ShellOpener SetShellOpener(ShellOpener opener);

// The opener used when none is installed: QDesktopServices::openUrl.
bool DesktopShellOpen(const QString& target, ShellShow show);

// Installs an opener for the life of a scope, then puts the old one back.
class ScopedShellOpener {
  public:
    explicit ScopedShellOpener(ShellOpener opener) : previous_(SetShellOpener(std::move(opener))) {}
    ~ScopedShellOpener() { SetShellOpener(std::move(previous_)); }
    ScopedShellOpener(const ScopedShellOpener&) = delete;
    ScopedShellOpener& operator=(const ScopedShellOpener&) = delete;

  private:
    ShellOpener previous_;
};

}  // namespace corvane::ui
