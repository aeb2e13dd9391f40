// corvane-cli fetch: one page written as it arrives, to stdout or a file,
// with the outcome on stderr and in the exit code.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "frontend/settings.h"

namespace corvane::cli {

// Exit codes of fetch beside 0, 1 (the exchange failed, the output could
// not be written) and 2 (bad arguments).
inline constexpr int kExitHttpError = 22;     // --fail and a status of 400 or more
inline constexpr int kExitInterrupted = 130;  // ended by Ctrl-C

struct FetchCommandOptions {
    // The shared network and fetch options; MaxBodySize is the largest
    // value unless --max-filesize is given.
    frontend::FrontEndSettings Settings;
    std::string Url;
    // -X, -d (a POST's form body; given twice, joined with "&"), -H.
    std::string Method;  // empty: POST with -d, else GET
    bool HasData = false;
    std::string Data;
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string OutputFile;  // -o; empty: stdout
    bool Include = false;    // -i
    bool Fail = false;       // -f
};

// Reads fetch's command line (after "fetch"), starting from the
// environment's settings. Throws frontend::UsageError.
FetchCommandOptions ParseFetchArgs(const std::vector<std::string>& args);

// Runs one fetch: the body to standard output's descriptor (or -o), one
// line on `err` for what went wrong; returns the exit code. A reader of
// standard output that goes away (`| head -c1`) ends the fetch quietly
// with 0. Throws frontend::UsageError for bad arguments.
int FetchCommand(const std::vector<std::string>& args, std::ostream& err);

// The usage lines of fetch's own options.
extern const char* const kFetchOptionsHelp;

}  // namespace corvane::cli
