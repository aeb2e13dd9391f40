#include "cli/page_fetcher.h"

#include "demo/demo_web.h"
#include "net/page_fetch.h"

namespace corvane::cli {

PageFetcher::PageFetcher(const FrontEndSettings& settings) : proxy_(settings.Proxy) {
    if (settings.Demo) {
        demo_ = std::make_unique<demo::DemoWeb>();
        const int port = demo_->Start(0, 0);
        // The demo web is the HTTP proxy for every service and site.
        proxy_ = ProxySettings{};
        proxy_.HttpProxyHost = demo::DemoWeb::kHost;
        proxy_.HttpProxyPort = port;
    }
}

PageFetcher::~PageFetcher() = default;

std::string PageFetcher::DemoAddress() const { return demo_ ? demo_->BaseUrl() : std::string(); }

std::string PageFetcher::Fetch(const std::string& url, int port) {
    ++requests_;
    net::FetchOptions o;
    o.ProxyHost = proxy_.HttpProxyHost;
    o.ProxyPort = proxy_.HttpProxyPort;
    switch (proxy_.Socks) {
        case SocksKind::None: o.SocksVersion = net::svNoSocks; break;
        case SocksKind::Socks4: o.SocksVersion = net::svSocks4; break;
        case SocksKind::Socks4A: o.SocksVersion = net::svSocks4A; break;
        case SocksKind::Socks5: o.SocksVersion = net::svSocks5; break;
    }
    o.SocksHost = proxy_.SocksHost;
    o.SocksPort = proxy_.SocksPort;
    o.SocksUser = proxy_.SocksUser;
    o.SocksPassword = proxy_.SocksPassword;
    return net::FetchPage(url, port, o);
}

}  // namespace corvane::cli
