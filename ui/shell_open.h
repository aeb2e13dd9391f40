// The one road by which the program hands an address or a file to the
// desktop: web pages, "mailto:" addresses, the help pages. Tests put a
// recorder in place of the desktop.
#pragma once

#include <QString>

#include <functional>

namespace corvane::ui {

// How the caller would like the opened program's window shown. The desktop
// opener cannot enforce it; it is kept for recorders and future openers.
enum class ShellShow { Normal, Maximized };

// Opens target and tells whether it was taken. A target with a scheme
// ("http://...", "mailto:...") is an address; anything else is a file name,
// relative ones taken from the current working folder.
using ShellOpener = std::function<bool(const QString& target, ShellShow show)>;

// Told why the desktop refused a target.
using ShellRefused = std::function<void(const QString& reason)>;

// Asks the current opener to "open" target. When the target is refused,
// `refused` (if given) hears the reason: at once, or, for the desktop
// opener, once the desktop's opening program has said so. Returns false
// when the target was refused at once.
bool ShellOpen(const QString& target, ShellShow show = ShellShow::Normal,
               const ShellRefused& refused = {});

// Installs opener (an empty one restores the desktop opener) and returns the
// one it replaces.
ShellOpener SetShellOpener(ShellOpener opener);

// The opener used when none is installed. It hands the desktop's opening
// program (DesktopOpenerProgram) the target exactly as given, an address
// unchanged and a file as its absolute path, and reports its refusal (an
// exit code other than 0) through `refused` when it ends. Without that
// program it falls back to QDesktopServices, which takes valid addresses
// only. Returns false when the target was refused at once.
bool DesktopShellOpen(const QString& target, ShellShow show, const ShellRefused& refused = {});

// The desktop's opening program: "xdg-open", looked for on PATH, unless
// another one is set (tests set one of their own). Returns the one it
// replaces; an empty name restores "xdg-open".
QString SetDesktopOpenerProgram(const QString& program);
QString DesktopOpenerProgram();

// How many opening programs started by DesktopShellOpen have not finished.
int DesktopOpenersRunning();

// The reason given for an exit code of the desktop's opening program.
QString OpenerExitReason(int exitCode);

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
