// corvane-cli profiles: the search profiles a survey can use, one line each.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::cli {

// Lists the profiles (built-in and the user's own, $XDG_CONFIG_HOME/
// corvane/profiles) with where each comes from and its description; a
// user's file that does not parse shows its error. Takes no arguments
// (frontend::UsageError otherwise). Returns the exit code.
int ProfilesCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace corvane::cli
