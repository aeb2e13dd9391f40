// The page fetch of a front end: the network page fetch with the front
// end's settings, and the demo web started in-process when asked for.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "frontend/fetch_scheduler.h"
#include "frontend/settings.h"
#include "net/net_stream.h"
#include "net/page_fetch.h"

namespace corvane::demo {
class DemoWeb;
class SyntheticWeb;
}  // namespace corvane::demo

namespace corvane::frontend {

class PageFetcher {
  public:
    // Starts the demo web when settings.Demo is set; requests then go
    // through it as their HTTP proxy, https:// URLs asked as http:// (the
    // demo web answers for every host in plain HTTP). Throws std::runtime_error when the demo
    // web cannot start.
    explicit PageFetcher(const FrontEndSettings& settings);
    ~PageFetcher();
    PageFetcher(const PageFetcher&) = delete;
    PageFetcher& operator=(const PageFetcher&) = delete;

    // The response body, byte for byte, after any outcome of the exchange.
    // A failed exchange is counted by its cause (see FailureSummary).
    std::string Fetch(const std::string& url, int port);
    // The same with other options (the front end's own with a cancel token,
    // say). Safe to call from several threads at once; a cancelled fetch is
    // not counted as failed.
    std::string Fetch(const std::string& url, const net::FetchOptions& options);

    // A whole request (a POST, extra headers) with these options, counted
    // like Fetch: the body, and how the exchange went.
    RequestOutcome Request(const net::FetchRequest& request, const net::FetchOptions& options);

    // The streaming fetch with the front end's settings: the body goes to
    // `sink` as it arrives; failures come back in the result (not counted).
    net::FetchResult FetchTo(const std::string& url, net::TNetStream& sink,
                             const std::function<void(const net::FetchResult&)>& onHeaders = {});

    std::uint64_t RequestCount() const { return requests_.load(); }
    // The options every fetch goes with: the settings' proxies, or the demo
    // web as the HTTP proxy.
    const net::FetchOptions& Options() const { return options_; }
    // Page fetches by Fetch that failed, in all and for one cause.
    std::uint64_t FailedCount() const;
    std::uint64_t FailedCount(net::FetchFailure cause) const;
    // "3 pages failed: 2 time-outs, 1 TLS"; empty when none failed.
    std::string FailureSummary() const;
    // "http://127.0.0.1:PORT" of the running demo web, else empty.
    std::string DemoAddress() const;
    // The running demo web's population (to build its rank lists from),
    // else null.
    const demo::SyntheticWeb* DemoData() const;

  private:
    static constexpr std::size_t kCauses =
        static_cast<std::size_t>(net::FetchFailure::Cancelled) + 1;

    net::FetchOptions options_;
    std::unique_ptr<demo::DemoWeb> demo_;
    // Atomic: the scheduler's workers fetch through one fetcher at once.
    std::atomic<std::uint64_t> requests_{0};
    std::array<std::atomic<std::uint64_t>, kCauses> failures_{};
};

}  // namespace corvane::frontend
