// The page fetch of a front end: the network page fetch with the front
// end's settings, and the demo web started in-process when asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frontend/settings.h"
#include "net/page_fetch.h"

namespace corvane::demo {
class DemoWeb;
}

namespace corvane::frontend {

class PageFetcher {
  public:
    // Starts the demo web when settings.Demo is set; requests then go
    // through it as their HTTP proxy. Throws std::runtime_error when the demo
    // web cannot start.
    explicit PageFetcher(const FrontEndSettings& settings);
    ~PageFetcher();
    PageFetcher(const PageFetcher&) = delete;
    PageFetcher& operator=(const PageFetcher&) = delete;

    // The response body, byte for byte, after any outcome of the exchange.
    std::string Fetch(const std::string& url, int port);

    std::uint64_t RequestCount() const { return requests_; }
    // The options every fetch goes with: the settings' proxies, or the demo
    // web as the HTTP proxy.
    const net::FetchOptions& Options() const { return options_; }
    // "http://127.0.0.1:PORT" of the running demo web, else empty.
    std::string DemoAddress() const;

  private:
    net::FetchOptions options_;
    std::unique_ptr<demo::DemoWeb> demo_;
    std::uint64_t requests_ = 0;
};

}  // namespace corvane::frontend
