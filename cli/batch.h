// corvane-cli batch: one survey per line of a file, each recorded in the
// history, for a timer or cron job to run unattended.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/survey_runner.h"

namespace corvane::cli {

// A batch file that cannot be used; the message names the file and line.
class BatchFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The surveys of a batch file's text: one per line, a keyword, or "domain:"
// (case ignored) and a domain; blanks around either are dropped, and blank
// lines and lines whose first non-blank is "#" are skipped. A line ending
// in CR (a file written on Windows) reads as without it. `name` is the
// file's name for the messages. Throws BatchFileError for "domain:" without
// a domain.
std::vector<SurveyRequest> ParseBatch(std::string_view text, const std::string& name);

// Runs `batch FILE [survey options]` (the arguments after "batch"); returns
// the exit code: 0 when every survey ran to its end and was recorded, 1
// when one failed, was stopped, not run or not recorded, 2 for a FILE that
// cannot be read. Throws frontend::UsageError for bad arguments.
int Batch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
          bool terminal);

}  // namespace corvane::cli
