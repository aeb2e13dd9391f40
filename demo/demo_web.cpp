#include "demo/demo_web.h"

#include <algorithm>
#include <limits>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "demo/pages.h"
#include "demo/request_target.h"

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

HttpResponse Search(const SyntheticWeb& web, const RequestTarget& target) {
    const QueryParams params = ParseQuery(target.Query);
    std::string p = ParamValue(params, "p").value_or("");
    const std::int64_t n = NumberParam(params, "n", kDefaultCount, 1, kMaxCount);
    const std::int64_t b = NumberParam(params, "b", 1, 1, std::numeric_limits<std::int32_t>::max());

    std::string_view q = p;
    while (!q.empty() && q.front() == ' ')
        q.remove_prefix(1);
    std::string head(q.substr(0, 5));
    base::LowerAsciiInPlace(head);
    if (head == "link:") {
        return Page(200, LinkResultsPage(web, p, q.substr(5), b, n));
    }
    return Page(200, KeywordResultsPage(web, p, b, n));
}

}  // namespace

HttpResponse Route(const SyntheticWeb& web, const HttpRequest& request) {
    if (request.Method != "GET" && request.Method != "HEAD") {
        HttpResponse response = Page(405,
                                     "<html><head><title>405 Method Not Allowed</title>"
                                     "</head><body><h1>Method Not Allowed</h1></body></html>\n");
        response.Headers.emplace_back("Allow", "GET, HEAD");
        return response;
    }
    const std::string* hostHeader = request.Header("Host");
    const auto target = SplitTarget(request.Target, hostHeader ? *hostHeader : std::string());
    if (!target) {
        return Page(400,
                    "<html><head><title>400 Bad Request</title></head><body>"
                    "<h1>Bad Request</h1></body></html>\n");
    }
    const std::string& path = target->Path;
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
