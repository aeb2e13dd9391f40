// Settings both front ends take from the command line and the environment:
// the network settings of every page fetch (HTTP or SOCKS proxy), the two
// service endpoints, the demo web, the history file surveys are recorded
// in, and what a survey asks (its profile, the SearXNG instance, the rank
// lists).
//
// A front end fills them in this order, each step overriding the one
// before: the settings the user saved in the desktop program's Settings
// window (ApplyUserSettings, frontend/user_settings.h), the environment,
// the command line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/survey_host.h"
#include "net/page_fetch.h"

namespace corvane::frontend {

// A bad option or option value; the message is meant for the user.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct FrontEndSettings {
    // Handed to every page fetch as it is: the options fill in the HTTP
    // proxy and the SOCKS proxy, the time and size limits keep the
    // fetch's defaults.
    net::FetchOptions Fetch;
    engine::ServiceEndpoints Endpoints;
    bool Demo = false;
    // The history file; empty: the default one,
    // $XDG_DATA_HOME/corvane/history.sqlite.
    std::string HistoryPath;
    // False with --no-history: the surveys of this run are not recorded.
    bool RecordHistory = true;
    // A survey's fetches at once, and at once to one site (1..64 each);
    // with Jobs 1 a survey fetches one page after another.
    int Jobs = kDefaultJobs;
    int PerHost = kDefaultPerHost;

    // The search profile of a survey: a profile name or a profile file.
    std::string Profile = kDefaultProfile;
    // The SearXNG instance the "searxng" profile asks ("https://HOST[/PATH]",
    // without a trailing slash); empty: none given.
    std::string SearxngUrl;
    // Rank lists for this run in place of the imported ones; empty: the
    // imported list.
    std::string TrancoFile;
    std::string MajesticFile;
    // The proxy settings came from the saved settings: a proxy given by the
    // environment or the command line (any of the proxy options) replaces
    // them as a whole rather than being added to them.
    bool ProxyFromUserSettings = false;

    static constexpr const char* kDefaultProfile = "classic";
    static constexpr int kDefaultJobs = 8;
    static constexpr int kDefaultPerHost = 2;
    static constexpr int kMaxJobs = 64;
};

// Splits "HOST:PORT" at its last colon; the port must be 1..65535.
void ParseHostPort(const std::string& text, const std::string& option, std::string& host,
                   std::int32_t& port);

// Reads CORVANE_SEARCH_ENDPOINT, CORVANE_TRAFFIC_ENDPOINT, CORVANE_PROXY and
// CORVANE_HISTORY. Options given later override them. A proxy from
// CORVANE_PROXY replaces a saved one.
void ApplyEnvironment(FrontEndSettings& settings);
// Reads CORVANE_HISTORY alone, for a front end that only reads the history.
void ApplyHistoryEnvironment(FrontEndSettings& settings);

// If args[i] is one of the shared options (--proxy, --socks4, --socks4a,
// --socks5, --socks-user, --socks-password, --search-endpoint,
// --traffic-endpoint, --demo, and the fetch options -A/--user-agent,
// --cacert, -k/--insecure, -m/--max-time), takes it and its value, moves i
// past them and returns true. Throws UsageError for a missing or bad value.
// The first proxy option (--proxy, --socks*, --socks-user, --socks-password)
// drops a saved proxy.
bool TakeSharedOption(const std::vector<std::string>& args, std::size_t& i,
                      FrontEndSettings& settings);

// If args[i] is a history option (--history FILE, --no-history), takes it,
// moves i past it and returns true. Throws UsageError for a missing value.
// A front end that only reads the history treats --no-history as unknown.
bool TakeHistoryOption(const std::vector<std::string>& args, std::size_t& i,
                       FrontEndSettings& settings);

// The survey settings of the front ends that run surveys. Reads
// CORVANE_JOBS, CORVANE_PER_HOST, CORVANE_PROFILE and CORVANE_SEARXNG.
// Throws UsageError for a count that is not a whole number in 1..64 or an
// address that is not a SearXNG address.
void ApplyJobsEnvironment(FrontEndSettings& settings);

// If args[i] is a survey option (--jobs N, --per-host N, --profile
// NAME|FILE, --searxng URL, --tranco FILE, --majestic FILE), takes it and
// its value, moves i past them and returns true. Throws UsageError for a
// missing value, a count outside 1..64 or an address that is not a SearXNG
// address.
bool TakeJobsOption(const std::vector<std::string>& args, std::size_t& i,
                    FrontEndSettings& settings);

// Checks the combination once all options are read.
void ValidateSettings(const FrontEndSettings& settings);

// A SearXNG instance's address: "http://" or "https://" (either case), a
// host (a name, an IPv4 address or a bracketed IPv6 address), optionally a
// port (1..65535) and a path; no blanks, control characters, user part,
// query or fragment. Trailing slashes are dropped: the survey appends
// "/search?...". UsageError naming `option` for anything else.
std::string SearxngAddress(const std::string& text, const std::string& option);

// A decimal 32-bit integer option value, or UsageError.
std::int32_t ParseIntOption(const std::string& text, const std::string& option);

// A time in seconds ("30", "2.5", "0.25"; 0: no limit) as milliseconds,
// rounded up so that a small fraction still limits; UsageError for anything
// else, a negative time, or more than 24 days.
std::int32_t ParseSecondsOption(const std::string& text, const std::string& option);

// The usage lines of the shared options, the history options and the
// survey options (jobs, profile, lists).
extern const char* const kSharedOptionsHelp;
extern const char* const kHistoryOptionsHelp;
extern const char* const kJobsOptionsHelp;

}  // namespace corvane::frontend
