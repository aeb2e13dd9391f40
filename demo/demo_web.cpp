#include "demo/demo_web.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "base/percent_text.h"
#include "demo/pages.h"
#include "demo/request_target.h"
#include "demo/search_pages.h"
#include "demo/synthetic_lists.h"

namespace corvane::demo {

namespace {

constexpr std::int64_t kDefaultCount = 10;
constexpr std::int64_t kMaxCount = 100;

bool IsOwnHost(std::string_view host) {
    return host.empty() || host == "localhost" || host == "[::1]" || host.substr(0, 4) == "127.";
}

// A decimal parameter: its value clamped into [lo, hi], or `fallback` when
// absent or not a number.
std::int64_t NumberParam(const QueryParams& params, std::string_view key, std::int64_t fallback,
                         std::int64_t lo, std::int64_t hi) {
    const auto text = ParamValue(params, key);
    if (!text || text->empty() || text->size() > 40)
        return fallback;
    std::string_view digits = *text;
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+')
        digits.remove_prefix(1);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), base::IsDigit))
        return fallback;
    std::uint64_t magnitude = 0;
    if (!base::TryReadDecimalDigits(digits, static_cast<std::uint64_t>(hi), magnitude))
        magnitude = static_cast<std::uint64_t>(hi);  // saturates
    const auto v = static_cast<std::int64_t>(magnitude);
    return std::clamp(negative ? -v : v, lo, hi);
}

HttpResponse Page(int status, std::string body) {
    HttpResponse response;
    response.Status = status;
    response.Body = std::move(body);
    return response;
}

// The classic search service: "p" with a result count "n", or a "link:"
// query.
bool IsLinkQuery(std::string_view p) {
    while (!p.empty() && p.front() == ' ')
        p.remove_prefix(1);
    return base::StartsWithIgnoringCase(p, "link:");
}

HttpResponse Search(const SyntheticWeb& web, const RequestTarget& target) {
    const QueryParams params = ParseQuery(target.Query);
    std::string p = ParamValue(params, "p").value_or("");
    const std::int64_t n = NumberParam(params, "n", kDefaultCount, 1, kMaxCount);
    const std::int64_t b = NumberParam(params, "b", 1, 1, std::numeric_limits<std::int32_t>::max());

    std::string_view q = p;
    while (!q.empty() && q.front() == ' ')
        q.remove_prefix(1);
    if (IsLinkQuery(q))
        return Page(200, LinkResultsPage(web, p, q.substr(5), b, n));
    return Page(200, KeywordResultsPage(web, p, b, n));
}

HttpResponse Typed(int status, const char* type, std::string body) {
    HttpResponse response = Page(status, std::move(body));
    response.ContentType = type;
    return response;
}

HttpResponse Redirect(const std::string& location) {
    HttpResponse response =
        Page(302, "<html><head><title>302 Found</title></head><body><a href=\"" +
                      EscapeText(location) + "\">Continue</a></body></html>\n");
    response.Headers.emplace_back("Location", location);
    return response;
}

constexpr std::int64_t kMaxOffset = std::numeric_limits<std::int32_t>::max();

// The metasearch API: JSON only, as an instance that lists no other format.
HttpResponse Searx(const SyntheticWeb& web, const QueryParams& params) {
    if (ParamValue(params, "format").value_or("") != "json") {
        return Page(403,
                    "<html><head><title>403 Forbidden</title></head><body><h1>Forbidden</h1>"
                    "</body></html>\n");
    }
    const std::int64_t pageno = NumberParam(params, "pageno", 1, 1, kMaxOffset);
    return Typed(200, "application/json",
                 SearxJson(web, ParamValue(params, "q").value_or(""), pageno));
}

bool IsSearxHost(std::string_view host) {
    return host.substr(0, 5) == "searx";
}

// A redirect link's target: the text from "/RU=" up to "/RK=" or "/RS=",
// decoded.
std::optional<std::string> YahooTarget(std::string_view path) {
    const auto start = path.find("/RU=");
    if (start == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = path.substr(start + 4);
    rest = rest.substr(0, std::min(rest.find("/RK="), rest.find("/RS=")));
    std::string target = base::PercentDecode(rest);
    if (!base::StartsWithIgnoringCase(target, "http://") &&
        !base::StartsWithIgnoringCase(target, "https://"))
        return std::nullopt;
    return target;
}

// What today's search sources and list sites answer, by host; nothing for
// a request that is none of theirs.
std::optional<HttpResponse> TodaysWeb(const SyntheticWeb& web, const HttpRequest& request,
                                      const RequestTarget& target) {
    const std::string& host = target.Host;
    const std::string& path = target.Path;
    const QueryParams params = ParseForm(target.Query);
    auto value = [&params](std::string_view key) { return ParamValue(params, key).value_or(""); };

    if (host == "html.duckduckgo.com" && (path == "/html/" || path == "/html")) {
        // The form comes as a POST body, or as the query of a GET.
        const QueryParams form = request.Method == "POST" ? ParseForm(request.Body) : params;
        const std::int64_t s = NumberParam(form, "s", 0, 0, kMaxOffset);
        return Page(200, DuckPage(web, ParamValue(form, "q").value_or(""), s,
                                  ParamValue(form, "vqd").value_or(""),
                                  ParamValue(form, "kl").value_or("")));
    }
    if (host == "duckduckgo.com" || host == "html.duckduckgo.com") {
        const std::string to = path == "/l/" ? value("uddg") : path == "/y.js" ? value("u3") : "";
        if (!to.empty())
            return Redirect(to);
        return std::nullopt;
    }
    if ((host == "www.mojeek.com" || host == "mojeek.com") && path == "/search") {
        // An offset on the first page is what automated clients send.
        const auto s = ParamValue(params, "s");
        if (s && (s->empty() || NumberParam(params, "s", 0, 0, kMaxOffset) == 0))
            return Page(403, MojeekRateLimitPage());
        return Page(200, MojeekPage(web, value("q"), NumberParam(params, "s", 0, 0, kMaxOffset)));
    }
    if (host == "search.yahoo.com" && path == "/search") {
        // The classic survey's requests name a result count or ask "link:".
        const QueryParams classic = ParseQuery(target.Query);
        if (ParamValue(classic, "n") || IsLinkQuery(ParamValue(classic, "p").value_or("")))
            return std::nullopt;
        return Page(200, YahooPage(web, value("p"), NumberParam(params, "b", 1, 1, kMaxOffset),
                                   NumberParam(params, "pz", kYahooPageSize, 1, 100)));
    }
    if (host == "r.search.yahoo.com") {
        if (const auto to = YahooTarget(path))
            return Redirect(*to);
        return std::nullopt;
    }
    if (host == "search.brave.com" && path == "/search") {
        return Page(200,
                    BravePage(web, value("q"), NumberParam(params, "offset", 0, -1, kMaxOffset)));
    }
    if (path == "/search" && (IsSearxHost(host) || (IsOwnHost(host) && ParamValue(params, "q") &&
                                                    !ParamValue(params, "p")))) {
        return Searx(web, params);
    }
    if (host == "tranco-list.eu" && path == "/top-1m.csv.zip")
        return Typed(200, "application/zip", TrancoListZip(web));
    if (host == "tranco-list.eu" && path == "/top-1m-id")
        return Typed(200, "text/plain; charset=utf-8", TrancoListId(web));
    if (host == "downloads.majestic.com" && path == "/majestic_million.csv")
        return Typed(200, "text/csv", MajesticListCsv(web));
    return std::nullopt;
}

}  // namespace

HttpResponse Route(const SyntheticWeb& web, const HttpRequest& request) {
    const bool post = request.Method == "POST";
    auto notAllowed = [] {
        HttpResponse response = Page(405,
                                     "<html><head><title>405 Method Not Allowed</title>"
                                     "</head><body><h1>Method Not Allowed</h1></body></html>\n");
        response.Headers.emplace_back("Allow", "GET, HEAD");
        return response;
    };
    if (request.Method != "GET" && request.Method != "HEAD" && !post)
        return notAllowed();
    const std::string* hostHeader = request.Header("Host");
    const auto target = SplitTarget(request.Target, hostHeader ? *hostHeader : std::string());
    if (!target) {
        return Page(400,
                    "<html><head><title>400 Bad Request</title></head><body>"
                    "<h1>Bad Request</h1></body></html>\n");
    }
    const std::string& path = target->Path;
    // Only the one results page asked for by a form takes a POST.
    if (post && !(target->Host == "html.duckduckgo.com" && (path == "/html/" || path == "/html")))
        return notAllowed();
    if (auto answer = TodaysWeb(web, request, *target))
        return std::move(*answer);
    if (path == "/search")
        return Search(web, *target);
    if (path == "/data/details/" || path == "/data/details") {
        const QueryParams params = ParseQuery(target->Query);
        return Page(200, DetailsPage(web, ParamValue(params, "url").value_or("")));
    }
    if (path == "/" || path == "/index.html" || path == "/index.htm") {
        if (IsOwnHost(target->Host))
            return Page(200, IndexPage(web));
        return Page(200, HomePage(web, target->Host));
    }
    // A site of the population answers every page a result points to.
    if (web.SiteOfHost(target->Host))
        return Page(200, HomePage(web, target->Host));
    return Page(404, NotFoundPage(target->Host, path));
}

DemoWeb::DemoWeb(std::uint64_t seed)
    : web_(seed), server_([this](const HttpRequest& request) { return Route(web_, request); }) {}

DemoWeb::~DemoWeb() {
    Stop();
}

int DemoWeb::Start(int port, int latencyMs) {
    ServerOptions options;
    options.Port = port;
    options.LatencyMs = latencyMs;
    return server_.Start(options);
}

void DemoWeb::Stop() {
    server_.Stop();
}

bool DemoWeb::Running() const {
    return server_.Running();
}

int DemoWeb::Port() const {
    return server_.Port();
}

std::string DemoWeb::BaseUrl() const {
    return std::string("http://") + kHost + ":" + std::to_string(Port());
}

std::uint64_t DemoWeb::RequestCount() const {
    return server_.RequestCount();
}

}  // namespace corvane::demo
