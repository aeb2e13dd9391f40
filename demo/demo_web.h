// The demo web: the synthetic sites, the search service and the traffic
// service behind one loopback HTTP server.
//
// It answers as an HTTP proxy (absolute request targets) and as an origin
// server (a front end pointing its service endpoints at it). Requests are
// routed by host, then by path:
// - today's search sources at their own hosts (search_pages.h): the
//   metasearch JSON API ("/search?q=...&format=json" on the demo web's own
//   address and on any host named "searx..."), html.duckduckgo.com/html/
//   (GET or POST), www.mojeek.com/search, search.yahoo.com/search (unless
//   the request is the classic one: a result count "n" or a "link:" query),
//   search.brave.com/search, and the redirect links on the DuckDuckGo and
//   Yahoo pages;
// - the rank lists (synthetic_lists.h) at tranco-list.eu/top-1m.csv.zip,
//   tranco-list.eu/top-1m-id and downloads.majestic.com/majestic_million.csv;
// - the classic services: "/search" gives search results (a "link:" query
//   lists the pages linking to its target), "/data/details/" a
//   site-details page;
// - "/" on any other host is that host's home page, and every other path
//   of a population site is too; "/" on the demo web's own address is an
//   index page.
// Everything else is a 404. Only html.duckduckgo.com/html/ takes a POST.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "demo/http_server.h"
#include "demo/synthetic_web.h"

namespace corvane::demo {

// The answer of the demo web to one request; no sockets involved.
HttpResponse Route(const SyntheticWeb& web, const HttpRequest& request);

class DemoWeb {
  public:
    explicit DemoWeb(std::uint64_t seed = kDemoSeed);
    ~DemoWeb();
    DemoWeb(const DemoWeb&) = delete;
    DemoWeb& operator=(const DemoWeb&) = delete;

    // Starts serving on 127.0.0.1:port (0: a free port) and returns the
    // port; every answer waits latencyMs first. Throws as HttpServer::Start.
    int Start(int port = 0, int latencyMs = 0);
    void Stop();

    bool Running() const;
    // The port served on; 0 when stopped.
    int Port() const;
    // "127.0.0.1", the host to use as proxy or endpoint host.
    static constexpr const char* kHost = "127.0.0.1";
    // "http://127.0.0.1:PORT".
    std::string BaseUrl() const;
    // Requests received since the last Start.
    std::uint64_t RequestCount() const;

    const SyntheticWeb& Web() const { return web_; }

  private:
    SyntheticWeb web_;
    HttpServer server_;
};

}  // namespace corvane::demo
