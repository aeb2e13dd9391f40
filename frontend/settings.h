// Settings both front ends take from the command line and the environment:
// the network settings of every page fetch (HTTP or SOCKS proxy), the two
// service endpoints, and the demo web.
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
};

// Splits "HOST:PORT" at its last colon; the port must be 1..65535.
void ParseHostPort(const std::string& text, const std::string& option, std::string& host,
                   std::int32_t& port);

// Reads CORVANE_SEARCH_ENDPOINT, CORVANE_TRAFFIC_ENDPOINT and CORVANE_PROXY.
// Options given later override them.
void ApplyEnvironment(FrontEndSettings& settings);

// If args[i] is one of the shared options (--proxy, --socks4, --socks4a,
// --socks5, --socks-user, --socks-password, --search-endpoint,
// --traffic-endpoint, --demo), takes it and its value, moves i past them and
// returns true. Throws UsageError for a missing or bad value.
bool TakeSharedOption(const std::vector<std::string>& args, std::size_t& i,
                      FrontEndSettings& settings);

// Checks the combination once all options are read.
void ValidateSettings(const FrontEndSettings& settings);

// A decimal 32-bit integer option value, or UsageError.
std::int32_t ParseIntOption(const std::string& text, const std::string& option);

// The usage lines of the shared options.
extern const char* const kSharedOptionsHelp;

}  // namespace corvane::frontend
