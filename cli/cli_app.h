// corvane-cli: surveys, saved surveys and single page fetches from the
// command line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs one command line (without the program name). Writes results to `out`
// and messages and progress to `err`; `errIsTerminal` chooses the progress
// bar over one line per row.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal);

// Installs the Ctrl-C handler: the first press stops the survey after its
// current row, the second ends the program.
void InstallInterruptHandler();

}  // namespace corvane::cli
