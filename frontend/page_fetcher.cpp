#include "frontend/page_fetcher.h"

#include <string_view>

#include "base/ascii.h"
#include "demo/demo_web.h"

namespace corvane::frontend {

namespace {

struct CauseWords {
    net::FetchFailure Cause;
    const char* One;
    const char* Many;
};

// In the order the summary names them.
constexpr CauseWords kCauseWords[] = {
    {net::FetchFailure::Deadline, "time-out", "time-outs"},
    {net::FetchFailure::Connect, "connection failure", "connection failures"},
    {net::FetchFailure::Name, "unknown host", "unknown hosts"},
    {net::FetchFailure::Proxy, "proxy failure", "proxy failures"},
    {net::FetchFailure::Tls, "TLS", "TLS"},
    {net::FetchFailure::Limit, "too large", "too large"},
    {net::FetchFailure::Protocol, "protocol error", "protocol errors"},
    {net::FetchFailure::Cancelled, "cancelled", "cancelled"},
};

}  // namespace

PageFetcher::PageFetcher(const FrontEndSettings& settings) : options_(settings.Fetch) {
    if (settings.Demo) {
        demo_ = std::make_unique<demo::DemoWeb>();
        const int port = demo_->Start(0, 0);
        // The demo web is the HTTP proxy for every service and site, reached
        // directly: no SOCKS proxy and no other HTTP proxy in front of it.
        // The limits and the TLS settings stay as they were given.
        options_.ClearProxies();
        options_.ProxyHost = demo::DemoWeb::kHost;
        options_.ProxyPort = port;
        // The demo web serves no TLS: every https:// site is asked of it in
        // plain HTTP, redirects included.
        options_.MapUrl = [](const std::string& url) {
            constexpr std::string_view kSecure = "https://";
            if (url.size() >= kSecure.size() &&
                base::EqualsIgnoringCase(std::string_view(url).substr(0, kSecure.size()), kSecure))
                return "http://" + url.substr(kSecure.size());
            return url;
        };
    }
}

PageFetcher::~PageFetcher() = default;

std::string PageFetcher::DemoAddress() const {
    return demo_ ? demo_->BaseUrl() : std::string();
}

const demo::SyntheticWeb* PageFetcher::DemoData() const {
    return demo_ ? &demo_->Web() : nullptr;
}

std::string PageFetcher::Fetch(const std::string& url, int /*port*/) {
    return Fetch(url, options_);
}

std::string PageFetcher::Fetch(const std::string& url, const net::FetchOptions& options) {
    ++requests_;
    // The page is the bytes that arrived, whatever ended the exchange.
    net::TextSink sink;
    const net::FetchResult result = net::FetchTo(url, options, sink);
    if (result.Failure != net::FetchFailure::None && result.Failure != net::FetchFailure::Cancelled)
        ++failures_[static_cast<std::size_t>(result.Failure)];
    return sink.TakeText();
}

RequestOutcome PageFetcher::Request(const net::FetchRequest& request,
                                    const net::FetchOptions& options) {
    ++requests_;
    net::TextSink sink;
    RequestOutcome outcome;
    outcome.Result = net::FetchTo(request, options, sink);
    if (outcome.Result.Failure != net::FetchFailure::None &&
        outcome.Result.Failure != net::FetchFailure::Cancelled)
        ++failures_[static_cast<std::size_t>(outcome.Result.Failure)];
    outcome.Body = sink.TakeText();
    return outcome;
}

net::FetchResult PageFetcher::FetchTo(
    const std::string& url, net::TNetStream& sink,
    const std::function<void(const net::FetchResult&)>& onHeaders) {
    ++requests_;
    return net::FetchTo(url, options_, sink, onHeaders);
}

std::uint64_t PageFetcher::FailedCount() const {
    std::uint64_t n = 0;
    for (const std::atomic<std::uint64_t>& f : failures_)
        n += f.load();
    return n;
}

std::uint64_t PageFetcher::FailedCount(net::FetchFailure cause) const {
    return failures_[static_cast<std::size_t>(cause)].load();
}

std::string PageFetcher::FailureSummary() const {
    const std::uint64_t total = FailedCount();
    if (total == 0)
        return std::string();
    std::string text = std::to_string(total) + (total == 1 ? " page failed: " : " pages failed: ");
    bool first = true;
    for (const CauseWords& w : kCauseWords) {
        const std::uint64_t n = FailedCount(w.Cause);
        if (n == 0)
            continue;
        text += (first ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? w.One : w.Many);
        first = false;
    }
    return text;
}

}  // namespace corvane::frontend
