// Settings both front ends take from the command line and the environment:
// the proxy (HTTP or SOCKS), the two service endpoints, and the demo web.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/survey_host.h"

namespace corvane::cli {

// A bad option or option value; the message is meant for the user.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SocksKind { None, Socks4, Socks4A, Socks5 };

struct ProxySettings {
    std::string HttpProxyHost;  // empty: no HTTP proxy
    int HttpProxyPort = 0;
    SocksKind Socks = SocksKind::None;
    std::string SocksHost;
    int SocksPort = 0;
    std::string SocksUser;
    std::string SocksPassword;
};

struct FrontEndSettings {
    ProxySettings Proxy;
    engine::ServiceEndpoints Endpoints;
    bool Demo = false;
};

// Splits "HOST:PORT" at its last colon; the port must be 1..65535.
void ParseHostPort(const std::string& text, const std::string& option, std::string& host, int& port);

// Reads CORVANE_SEARCH_ENDPOINT, CORVANE_TRAFFIC_ENDPOINT and CORVANE_PROXY.
// Options given later override them.
void ApplyEnvironment(FrontEndSettings& settings);

// If args[i] is one of the shared options (--proxy, --socks4, --socks4a,
// --socks5, --socks-user, --socks-password, --search-endpoint,
// --traffic-endpoint, --demo), takes it and its value, moves i past them and
// returns true. Throws UsageError for a missing or bad value.
bool TakeSharedOption(const std::vector<std::string>& args, std::size_t& i, FrontEndSettings& settings);

// Checks the combination once all options are read.
void ValidateSettings(const FrontEndSettings& settings);

// A decimal 32-bit integer option value, or UsageError.
std::int32_t ParseIntOption(const std::string& text, const std::string& option);

// The usage lines of the shared options.
extern const char* const kSharedOptionsHelp;

}  // namespace corvane::cli
