#include "frontend/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "engine/text_ops.h"

namespace corvane::frontend {

const char* const kSharedOptionsHelp =
    "  --proxy HOST:PORT            send every request through this HTTP proxy\n"
    "  --socks4|--socks4a|--socks5 HOST:PORT\n"
    "                               connect through this SOCKS proxy\n"
    "  --socks-user U --socks-password P\n"
    "                               SOCKS 5 user name and password (SOCKS 4: user id)\n"
    "  --search-endpoint URL        search service, e.g. http://search.example.com\n"
    "  --traffic-endpoint URL       traffic-rank service\n"
    "  --demo                       run against the bundled demo web on loopback\n"
    "  -A, --user-agent TEXT        the User-Agent header sent with every request\n"
    "  --cacert FILE                also trust the CA certificates of FILE (PEM) for\n"
    "                               https, beside the system's (SSL_CERT_FILE and\n"
    "                               SSL_CERT_DIR are honoured)\n"
    "  -k, --insecure               do not verify https certificates or host names\n"
    "  -m, --max-time SECONDS       time limit of each whole fetch, fractions allowed\n"
    "                               (default 60; 0: none)\n"
    "Environment: CORVANE_SEARCH_ENDPOINT, CORVANE_TRAFFIC_ENDPOINT and CORVANE_PROXY\n"
    "(HOST:PORT of an HTTP proxy) give the same settings; options win.\n";

const char* const kHistoryOptionsHelp =
    "  --history FILE               the history file surveys are recorded in and read\n"
    "                               from (default $XDG_DATA_HOME/corvane/history.sqlite,\n"
    "                               or CORVANE_HISTORY when it is set)\n"
    "  --no-history                 do not record the surveys of this run\n";

const char* const kJobsOptionsHelp =
    "  --jobs N                     fetch up to N pages of a survey at once (1 to 64,\n"
    "                               default 8); 1 fetches one page after another\n"
    "  --per-host N                 of those, up to N to one site at once (1 to 64,\n"
    "                               default 2)\n"
    "  --profile NAME|FILE          the search profile of the survey (default classic),\n"
    "                               or a profile file of your own\n"
    "  --searxng URL                the SearXNG instance the searxng profile asks,\n"
    "                               e.g. https://searx.example.org\n"
    "  --tranco FILE                the Tranco list (csv or zip) for this run, in place\n"
    "                               of the imported one\n"
    "  --majestic FILE              the Majestic Million list (csv) for this run\n"
    "Environment: CORVANE_JOBS, CORVANE_PER_HOST, CORVANE_PROFILE and CORVANE_SEARXNG\n"
    "give the same settings. The settings saved in the desktop program's Settings\n"
    "window come first, the environment overrides them, options win.\n";

std::int32_t ParseIntOption(const std::string& text, const std::string& option) {
    std::int32_t value = 0;
    if (!base::TryReadDecimalInt32(text, value)) {
        throw UsageError(option + ": '" + text + "' is not a whole number");
    }
    return value;
}

std::int32_t ParseSecondsOption(const std::string& text, const std::string& option) {
    // Digits with at most one point among them: no sign, exponent, "inf" or "nan".
    bool digits = false;
    int points = 0;
    for (char c : text) {
        if (base::IsDigit(c))
            digits = true;
        else if (c == '.')
            ++points;
        else
            points = 2;
    }
    if (!digits || points > 1)
        throw UsageError(option + ": '" + text + "' is not a number of seconds");
    const double seconds = std::strtod(text.c_str(), nullptr);
    constexpr double kMost = 24.0 * 24 * 3600;  // within a 32-bit count of milliseconds
    if (seconds > kMost)
        throw UsageError(option + ": at most " + std::to_string(static_cast<int>(kMost)) +
                         " seconds");
    return static_cast<std::int32_t>(std::ceil(seconds * 1000.0));
}

void ParseHostPort(const std::string& text, const std::string& option, std::string& host,
                   std::int32_t& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw UsageError(option + ": expected HOST:PORT, got '" + text + "'");
    }
    const std::string portText = text.substr(colon + 1);
    for (char c : portText) {
        if (!base::IsDigit(c))
            throw UsageError(option + ": bad port '" + portText + "'");
    }
    // At most five digits: "00080" is a port, "000080" is not.
    std::uint64_t p = 0;
    if (portText.size() > 5 || !base::TryReadDecimalDigits(portText, 65535, p) || p < 1) {
        throw UsageError(option + ": port must be 1 to 65535, got '" + portText + "'");
    }
    host = text.substr(0, colon);
    port = static_cast<std::int32_t>(p);
}

namespace {

// Forgets the saved proxy once the environment or the command line gives
// one: the two are not combined.
void DropSavedProxy(FrontEndSettings& settings) {
    if (!settings.ProxyFromUserSettings) {
        return;
    }
    settings.ProxyFromUserSettings = false;
    settings.Fetch.ClearProxies();
}

bool IsHostByte(char c) {
    return base::IsLetterOrDigit(c) || c == '-' || c == '.' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string Endpoint(const std::string& text, const std::string& option) {
    if (base::LowerAscii(text.substr(0, 7)) != "http://" || text.size() <= 7) {
        throw UsageError(option + ": expected an http:// address, got '" + text + "'");
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            throw UsageError(option + ": the address holds a blank or a control character");
        }
    }
    // The engine appends "/search?..." and "/data/details/...": no slash of our own.
    std::string e = text;
    while (e.size() > 7 && e.back() == '/')
        e.pop_back();
    return e;
}

}  // namespace

void ApplyEnvironment(FrontEndSettings& settings) {
    if (const char* v = std::getenv("CORVANE_SEARCH_ENDPOINT"); v && *v) {
        settings.Endpoints.SearchEndpoint = Endpoint(v, "CORVANE_SEARCH_ENDPOINT");
    }
    if (const char* v = std::getenv("CORVANE_TRAFFIC_ENDPOINT"); v && *v) {
        settings.Endpoints.TrafficEndpoint = Endpoint(v, "CORVANE_TRAFFIC_ENDPOINT");
    }
    if (const char* v = std::getenv("CORVANE_PROXY"); v && *v) {
        DropSavedProxy(settings);
        ParseHostPort(v, "CORVANE_PROXY", settings.Fetch.ProxyHost, settings.Fetch.ProxyPort);
    }
    ApplyHistoryEnvironment(settings);
}

void ApplyHistoryEnvironment(FrontEndSettings& settings) {
    if (const char* v = std::getenv("CORVANE_HISTORY"); v && *v) {
        settings.HistoryPath = v;
    }
}

bool TakeHistoryOption(const std::vector<std::string>& args, std::size_t& i,
                       FrontEndSettings& settings) {
    const std::string& name = args[i];
    if (name == "--no-history") {
        settings.RecordHistory = false;
        ++i;
        return true;
    }
    if (name != "--history") {
        return false;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
        throw UsageError("--history needs a file name");
    }
    settings.HistoryPath = args[i + 1];
    i += 2;
    return true;
}

bool TakeSharedOption(const std::vector<std::string>& args, std::size_t& i,
                      FrontEndSettings& settings) {
    const std::string& name = args[i];
    auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size())
            throw UsageError(name + " needs a value");
        return args[++i];
    };
    net::FetchOptions& p = settings.Fetch;
    if (name == "--proxy" || name == "--socks4" || name == "--socks4a" || name == "--socks5" ||
        name == "--socks-user" || name == "--socks-password") {
        DropSavedProxy(settings);
    }
    if (name == "--proxy") {
        ParseHostPort(value(), name, p.ProxyHost, p.ProxyPort);
    } else if (name == "--socks4" || name == "--socks4a" || name == "--socks5") {
        ParseHostPort(value(), name, p.SocksHost, p.SocksPort);
        p.SocksVersion = name == "--socks4"    ? net::svSocks4
                         : name == "--socks4a" ? net::svSocks4A
                                               : net::svSocks5;
    } else if (name == "--socks-user") {
        p.SocksUser = value();
    } else if (name == "--socks-password") {
        p.SocksPassword = value();
    } else if (name == "--search-endpoint") {
        settings.Endpoints.SearchEndpoint = Endpoint(value(), name);
    } else if (name == "--traffic-endpoint") {
        settings.Endpoints.TrafficEndpoint = Endpoint(value(), name);
    } else if (name == "--demo") {
        settings.Demo = true;
    } else if (name == "-A" || name == "--user-agent") {
        p.UserAgent = value();
        for (char c : p.UserAgent) {
            if (c == '\r' || c == '\n' || c == '\0')
                throw UsageError(name + ": the text holds a line break or a zero byte");
        }
    } else if (name == "--cacert") {
        p.CaFile = value();
        if (p.CaFile.empty())
            throw UsageError("--cacert needs a file name");
    } else if (name == "-k" || name == "--insecure") {
        p.Insecure = true;
    } else if (name == "-m" || name == "--max-time") {
        p.DeadlineMs = ParseSecondsOption(value(), name);
    } else {
        return false;
    }
    ++i;
    return true;
}

namespace {

int JobsValue(const std::string& text, const std::string& option) {
    const std::int32_t value = ParseIntOption(text, option);
    if (value < 1 || value > FrontEndSettings::kMaxJobs) {
        throw UsageError(option + ": must be 1 to " + std::to_string(FrontEndSettings::kMaxJobs) +
                         ", got '" + text + "'");
    }
    return value;
}

}  // namespace

void ApplyJobsEnvironment(FrontEndSettings& settings) {
    if (const char* v = std::getenv("CORVANE_JOBS"); v && *v) {
        settings.Jobs = JobsValue(v, "CORVANE_JOBS");
    }
    if (const char* v = std::getenv("CORVANE_PER_HOST"); v && *v) {
        settings.PerHost = JobsValue(v, "CORVANE_PER_HOST");
    }
    if (const char* v = std::getenv("CORVANE_PROFILE"); v && *v) {
        settings.Profile = v;
    }
    if (const char* v = std::getenv("CORVANE_SEARXNG"); v && *v) {
        settings.SearxngUrl = SearxngAddress(v, "CORVANE_SEARXNG");
    }
}

bool TakeJobsOption(const std::vector<std::string>& args, std::size_t& i,
                    FrontEndSettings& settings) {
    const std::string& name = args[i];
    if (name != "--jobs" && name != "--per-host" && name != "--profile" && name != "--searxng" &&
        name != "--tranco" && name != "--majestic") {
        return false;
    }
    if (i + 1 >= args.size()) {
        throw UsageError(name + " needs a value");
    }
    const std::string& value = args[i + 1];
    if (name == "--jobs" || name == "--per-host") {
        (name == "--jobs" ? settings.Jobs : settings.PerHost) = JobsValue(value, name);
    } else if (name == "--searxng") {
        settings.SearxngUrl = SearxngAddress(value, name);
    } else if (value.empty()) {
        throw UsageError(
            name + (name == "--profile" ? " needs a profile name or file" : " needs a file name"));
    } else {
        (name == "--profile"  ? settings.Profile
         : name == "--tranco" ? settings.TrancoFile
                              : settings.MajesticFile) = value;
    }
    i += 2;
    return true;
}

std::string SearxngAddress(const std::string& text, const std::string& option) {
    auto refuse = [&](const std::string& why) -> void {
        throw UsageError(option + ": " + why + ", got '" + text + "'");
    };
    for (char c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            throw UsageError(option + ": the address holds a blank or a control character");
        }
    }
    const std::string lower = base::LowerAscii(text);
    const std::size_t start = lower.rfind("http://", 0) == 0    ? 7
                              : lower.rfind("https://", 0) == 0 ? 8
                                                                : 0;
    if (start == 0) {
        refuse("expected an http:// or https:// address");
    }
    const std::size_t authorityEnd = text.find_first_of("/?#", start);
    const std::string authority = text.substr(start, authorityEnd - start);
    if (authorityEnd != std::string::npos &&
        text.find_first_of("?#", authorityEnd) != std::string::npos) {
        refuse("the address takes no query or fragment");
    }
    if (authority.find('@') != std::string::npos) {
        refuse("the address takes no user name");
    }
    std::string host;
    std::string port;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            refuse("unclosed [ in the host");
        }
        host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') {
            refuse("unexpected text after the host");
        }
        hasPort = !after.empty();
        port = hasPort ? after.substr(1) : std::string();
        for (char c : host) {
            if (base::HexDigitValue(c) < 0 && c != ':' && c != '.') {
                refuse("bad IPv6 address");
            }
        }
    } else {
        const std::size_t colon = authority.find(':');
        hasPort = colon != std::string::npos;
        host = authority.substr(0, colon);
        port = hasPort ? authority.substr(colon + 1) : std::string();
        for (char c : host) {
            if (!IsHostByte(c)) {
                refuse("bad host name");
            }
        }
    }
    if (host.empty() || host.find_first_not_of('.') == std::string::npos) {
        refuse("the address has no host");
    }
    if (hasPort) {
        std::uint64_t p = 0;
        if (port.size() > 5 || !base::TryReadDecimalDigits(port, 65535, p) || p < 1) {
            refuse("the port must be 1 to 65535");
        }
    }
    std::string address = text;
    while (address.size() > start + authority.size() && address.back() == '/') {
        address.pop_back();
    }
    return address;
}

void ValidateSettings(const FrontEndSettings& settings) {
    const net::FetchOptions& p = settings.Fetch;
    if (!p.SocksPassword.empty() && p.SocksUser.empty()) {
        throw UsageError("--socks-password needs --socks-user");
    }
    if (p.SocksVersion == net::svNoSocks && !p.SocksUser.empty()) {
        throw UsageError("--socks-user needs --socks4, --socks4a or --socks5");
    }
    if (p.SocksVersion != net::svSocks5 && !p.SocksPassword.empty()) {
        throw UsageError("--socks-password works with --socks5 only");
    }
    for (const std::string* s : {&p.SocksUser, &p.SocksPassword}) {
        if (s->size() > 255)
            throw UsageError("SOCKS user names and passwords are at most 255 bytes");
    }
    if (!p.CaFile.empty() && !std::ifstream(p.CaFile)) {
        throw UsageError("--cacert: cannot read " + p.CaFile);
    }
    if (!settings.TrancoFile.empty() && !std::ifstream(settings.TrancoFile)) {
        throw UsageError("--tranco: cannot read " + settings.TrancoFile);
    }
    if (!settings.MajesticFile.empty() && !std::ifstream(settings.MajesticFile)) {
        throw UsageError("--majestic: cannot read " + settings.MajesticFile);
    }
}

}  // namespace corvane::frontend
