#include "frontend/page_fetcher.h"

#include "demo/demo_web.h"

namespace corvane::frontend {

PageFetcher::PageFetcher(const FrontEndSettings& settings) : options_(settings.Fetch) {
    if (settings.Demo) {
        demo_ = std::make_unique<demo::DemoWeb>();
        const int port = demo_->Start(0, 0);
        // The demo web is the HTTP proxy for every service and site, reached
        // directly: no SOCKS proxy and no other HTTP proxy in front of it.
        options_ = net::FetchOptions{};
        options_.ProxyHost = demo::DemoWeb::kHost;
        options_.ProxyPort = port;
    }
}

PageFetcher::~PageFetcher() = default;

std::string PageFetcher::DemoAddress() const {
    return demo_ ? demo_->BaseUrl() : std::string();
}

std::string PageFetcher::Fetch(const std::string& url, int port) {
    ++requests_;
    return net::FetchPage(url, port, options_);
}

}  // namespace corvane::frontend
