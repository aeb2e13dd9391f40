// Per-user and per-program folders, from the XDG base-directory variables.
#pragma once

#include <string>

namespace corvane::platform {

// $XDG_CONFIG_HOME, or $HOME/.config when it is unset or not absolute.
std::string ConfigHome();

// $XDG_DATA_HOME, or $HOME/.local/share when it is unset or not absolute.
std::string DataHome();

// $XDG_RUNTIME_DIR when it is set and absolute, else a folder of this user's
// own under the temporary folder ("$TMPDIR/corvane-<uid>", TMPDIR defaulting
// to /tmp), created
// with mode 0700 when missing; empty when that name is taken by anything but
// such a folder.
std::string RuntimeDir();

// The folder holding the running executable, with a trailing "/"; empty when
// it cannot be determined.
std::string ProgramFolder();

}  // namespace corvane::platform
