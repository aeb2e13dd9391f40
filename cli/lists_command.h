// corvane-cli lists: downloading, importing and showing the rank lists
// (Tranco, Majestic Million) that today's-web surveys read.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "frontend/list_update.h"
#include "lists/rank_lists.h"

namespace corvane::cli {

// Runs "lists ..." (the arguments after "lists"): update, import or status.
// Results go to `out`, failures and the progress bar (when `errIsTerminal`)
// to `err`; returns the exit code (0, 1 something failed, 130 update ended
// by Ctrl-C). Throws frontend::UsageError for bad arguments.
int ListsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 bool errIsTerminal);

// One line of a download's progress: "[#####.....] tranco    3.1 of 9.8 MB".
std::string DownloadBar(const frontend::ListDownloadProgress& progress);

// One line of `lists status` for a list, as of `now` (Unix time).
std::string StatusLine(const lists::ListStatus& status, std::int64_t now);

}  // namespace corvane::cli
