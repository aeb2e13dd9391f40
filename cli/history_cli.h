// corvane-cli history: the command line of the history commands (list,
// show, compare, export, forget) over the history file of --history,
// CORVANE_HISTORY or the user's data folder.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace corvane::cli {

// Runs `history ...` (the arguments after "history"); returns the exit
// code. Throws frontend::UsageError for bad arguments.
int HistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace corvane::cli
