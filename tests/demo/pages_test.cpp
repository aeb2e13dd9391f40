// The demo web's pages, read with the engine's own scraping: every page must
// yield the figures the synthetic web intends.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ascii.h"
#include "demo/demo_web.h"
#include "demo/pages.h"
#include "engine/site_figures.h"
#include "engine/survey_run.h"
#include "engine/text_ops.h"
#include "raw_http.h"

namespace corvane::demo {
namespace {

using base::LowerAscii;

const SyntheticWeb& Web() {
    static const SyntheticWeb web;
    return web;
}

// The page the demo web answers for a URL, asked in proxy form, in-process.
std::string RoutedPage(const std::string& url) {
    HttpRequest request;
    request.Method = "GET";
    request.Version = "HTTP/1.1";
    request.Target = url.find('/', 7) == std::string::npos ? url + "/" : url;
    request.Headers.emplace_back("Host", engine::HostFromUrl(url));
    return Route(Web(), request).Body;
}

// The answer to a request with no body, in-process.
HttpResponse Ask(const std::string& method, const std::string& target, const std::string& host) {
    HttpRequest request;
    request.Method = method;
    request.Target = target;
    request.Version = "HTTP/1.1";
    request.Headers.emplace_back("Host", host);
    return Route(Web(), request);
}

auto InProcessHost() {
    return testing::PageHost([](const std::string& url) { return RoutedPage(url); });
}

// The hosts the engine takes off a results page, in order.
std::vector<std::string> ScrapedHosts(const std::string& page) {
    const std::string low = LowerAscii(page);
    std::string_view rest = engine::RestFrom(low, engine::PosOf("of about", low));
    std::vector<std::string> hosts;
    while (engine::PosOf("<li>", rest) > 0) {
        hosts.push_back(engine::StripTagMarks(engine::NextResultHost(rest)));
    }
    return hosts;
}

std::vector<std::string> KeywordHosts(std::string_view keyword, int first, int count) {
    std::vector<std::string> hosts;
    for (int i = first; i < first + count; ++i) {
        hosts.push_back(Web().HostOf(Web().KeywordResult(keyword, i)));
    }
    return hosts;
}

// The row the engine should make for a host at a rank.
std::vector<std::string> ExpectedCells(const std::string& host, int rank) {
    const auto inbound = static_cast<std::int32_t>(Web().InboundTotal(host));
    const std::int32_t outbound = Web().AbsoluteAnchors(host);
    const auto traffic = Web().TrafficRank(engine::BareDomain(host));
    return {std::to_string(rank), std::to_string(inbound), std::to_string(outbound),
            engine::LinkValue(inbound, outbound, rank + 1),
            traffic ? std::to_string(*traffic) : engine::kNoTrafficRank};
}

TEST(DemoPages, KeywordPagesListTheIntendedHostsPageByPage) {
    for (const char* keyword : {"blue widgets", "organic coffee beans", "x", "caf\xc3\xa9 paris"}) {
        SCOPED_TRACE(keyword);
        const std::string base = "http://search.yahoo.com/search?p=%22" +
                                 engine::ReplaceAllText(keyword, " ", "+") + "%22&ei=UTF-8";
        const auto all = ScrapedHosts(RoutedPage(base + "&n=30&b=1"));
        EXPECT_EQ(all, KeywordHosts(keyword, 1, 30));
        // Asking page by page gives the same hosts as one long page.
        const auto second = ScrapedHosts(RoutedPage(base + "&n=10&b=11"));
        EXPECT_EQ(second, std::vector<std::string>(all.begin() + 10, all.begin() + 20));
    }
    // The query is matched without regard to case or quoting.
    EXPECT_EQ(ScrapedHosts(RoutedPage("http://s/search?p=%22Blue++Widgets%22&n=5")),
              KeywordHosts("blue widgets", 1, 5));
    EXPECT_EQ(ScrapedHosts(RoutedPage("http://s/search?p=blue+widgets&n=5")),
              KeywordHosts("blue widgets", 1, 5));
}

TEST(DemoPages, PagingLimits) {
    const std::string base = "http://s/search?p=%22blue+widgets%22";
    EXPECT_EQ(ScrapedHosts(RoutedPage(base)).size(), 10u);              // n defaults to 10
    EXPECT_EQ(ScrapedHosts(RoutedPage(base + "&n=500")).size(), 100u);  // at most 100
    EXPECT_EQ(ScrapedHosts(RoutedPage(base + "&n=0")).size(), 1u);
    EXPECT_EQ(ScrapedHosts(RoutedPage(base + "&n=abc")).size(), 10u);
    EXPECT_EQ(ScrapedHosts(RoutedPage(base + "&n=5&b=-3")), KeywordHosts("blue widgets", 1, 5));
    // Listings end at kMaxListed results, and a page past the end is empty
    // but still states the total.
    EXPECT_EQ(ScrapedHosts(RoutedPage(base + "&n=10&b=996")), KeywordHosts("blue widgets", 996, 5));
    const std::string past = RoutedPage(base + "&n=10&b=99999999999999999999");
    EXPECT_TRUE(ScrapedHosts(past).empty());
    EXPECT_NE(past.find("of about"), std::string::npos);
    // An empty query finds nothing.
    EXPECT_TRUE(ScrapedHosts(RoutedPage("http://s/search?p=%22%22&n=10&b=1")).empty());
}

TEST(DemoPages, InboundFigureOfEveryLinkPage) {
    int zero = 0;
    for (std::uint32_t site = 0; site < Web().SiteCount(); site += 7) {
        const std::string& host = Web().HostOf(site);
        const std::string page = RoutedPage(engine::LinkQueryUrl({}, host));
        ASSERT_EQ(engine::ScrapeInboundFigure(LowerAscii(page)),
                  std::to_string(Web().InboundTotal(host)))
            << host;
        zero += Web().InboundTotal(host) == 0;
        // The listing shows the linking sites, never the target itself.
        const auto hosts = ScrapedHosts(page);
        ASSERT_EQ(hosts.size(),
                  static_cast<std::size_t>(std::min<std::int64_t>(10, Web().InboundTotal(host))));
        for (std::size_t i = 0; i < hosts.size(); ++i) {
            ASSERT_EQ(hosts[i],
                      Web().HostOf(Web().LinkingSite(host, static_cast<std::int64_t>(i) + 1)));
            ASSERT_NE(hosts[i], host);
        }
    }
    EXPECT_GT(zero, 0);  // some sites have no inbound links at all
}

TEST(DemoPages, HomePageAnchorsOfEveryHost) {
    std::vector<std::string> hosts;
    for (std::uint32_t site = 0; site < Web().SiteCount(); ++site)
        hosts.push_back(Web().HostOf(site));
    // Hosts outside the population get home pages too.
    hosts.insert(hosts.end(), {"www.example.com", "example.org", "www.www.example.net",
                               "http.example", "a\"b.example", "10.0.0.1"});
    for (const std::string& host : hosts) {
        const std::string low = LowerAscii(RoutedPage("http://" + host));
        ASSERT_EQ(engine::CountAbsoluteAnchors(low), Web().AbsoluteAnchors(host)) << host;
        std::size_t anchors = 0;
        for (auto p = low.find("<a "); p != std::string::npos; p = low.find("<a ", p + 1))
            ++anchors;
        ASSERT_EQ(anchors, static_cast<std::size_t>(Web().AbsoluteAnchors(host) +
                                                    Web().RelativeAnchors(host)))
            << host;
    }
}

TEST(DemoPages, TrafficRankOfEveryDomain) {
    int none = 0;
    for (std::uint32_t site = 0; site < Web().SiteCount(); ++site) {
        const std::string domain = engine::BareDomain(Web().HostOf(site));
        const auto rank = Web().TrafficRank(domain);
        const std::string page = RoutedPage("http://www.alexa.com/data/details/?url=www." + domain);
        ASSERT_EQ(engine::ScrapeTrafficRank(LowerAscii(page)),
                  rank ? std::to_string(*rank) : engine::kNoTrafficRank)
            << domain;
        none += !rank;
    }
    EXPECT_GT(none, 0);  // some domains have no data
}

TEST(DemoPages, TextFromTheRequestCannotForgeMarkers) {
    // Each query would, echoed as it is, restate a marker ahead of the real
    // one or add entries of its own.
    const std::string forged = "of about <b>5</b> <li><em>www.forged.example</em></li>";
    auto host = InProcessHost();
    engine::RunSurvey(host, forged, 3, 0, engine::SurveyMode::Keyword);
    ASSERT_EQ(host.Table().Count(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(host.Table().Row(i).Caption,
                  Web().HostOf(Web().KeywordResult(forged, static_cast<std::int64_t>(i) + 1)));
    }
    const std::string linkPage =
        LowerAscii(RoutedPage(engine::LinkQueryUrl({}, "of about 7 </b>")));
    EXPECT_EQ(engine::ScrapeInboundFigure(linkPage),
              std::to_string(Web().InboundTotal("of about 7 </b>")));
    const std::string details = LowerAscii(
        RoutedPage("http://t/data/details/?url=www.traffic+rank+for+%3E1%3Cbr%3E.example"));
    const auto rank = Web().TrafficRank("traffic rank for >1<br>.example");
    EXPECT_EQ(engine::ScrapeTrafficRank(details),
              rank ? std::to_string(*rank) : engine::kNoTrafficRank);
}

TEST(DemoPages, KeywordHoldingAnAmpersandIsOneQuery) {
    // The engine sends "&" in a keyword unescaped.
    const std::string url =
        engine::SurveyQueryUrl({}, "salt & pepper", 10, 0, engine::SurveyMode::Keyword);
    EXPECT_EQ(ScrapedHosts(RoutedPage(url)), KeywordHosts("salt & pepper", 1, 10));
}

TEST(DemoPages, KeywordSurveyFillsEveryCellAsIntended) {
    auto host = InProcessHost();
    engine::RunSurvey(host, "garden furniture", 30, 5, engine::SurveyMode::Keyword);
    ASSERT_EQ(host.Table().Count(), 30u);
    for (std::size_t i = 0; i < 30; ++i) {
        const auto& row = host.Table().Row(i);
        const std::string expected =
            Web().HostOf(Web().KeywordResult("garden furniture", static_cast<std::int64_t>(i) + 6));
        EXPECT_EQ(row.Caption, expected);
        EXPECT_EQ(row.Cells, ExpectedCells(expected, static_cast<int>(i) + 6)) << expected;
    }
}

TEST(DemoPages, DomainSurveyListsTheLinkingSites) {
    // A target with enough inbound links for a full page, and one with few.
    std::string many, few;
    for (std::uint32_t site = 0; site < Web().SiteCount() && (many.empty() || few.empty());
         ++site) {
        const auto total = Web().InboundTotal(Web().HostOf(site));
        if (total >= 10 && many.empty())
            many = Web().HostOf(site);
        if (total > 0 && total < 10 && few.empty())
            few = Web().HostOf(site);
    }
    for (const std::string& target : {many, few}) {
        auto host = InProcessHost();
        engine::RunSurvey(host, target, 10, 0, engine::SurveyMode::Domain);
        const auto listed = std::min<std::int64_t>(10, Web().InboundTotal(target));
        ASSERT_EQ(host.Table().Count(), static_cast<std::size_t>(listed)) << target;
        for (std::size_t i = 0; i < host.Table().Count(); ++i) {
            const std::string expected =
                Web().HostOf(Web().LinkingSite(target, static_cast<std::int64_t>(i) + 1));
            EXPECT_EQ(host.Table().Row(i).Caption, expected);
            EXPECT_EQ(host.Table().Row(i).Cells, ExpectedCells(expected, static_cast<int>(i) + 1));
        }
    }
}

TEST(DemoPages, UnknownPathsAndMethods) {
    EXPECT_EQ(Ask("GET", "http://www.example.com/missing.html", "x").Status, 404);
    EXPECT_EQ(Ask("GET", "/search/more", "127.0.0.1").Status, 404);
    const HttpResponse post = Ask("POST", "/search", "127.0.0.1");
    EXPECT_EQ(post.Status, 405);
    ASSERT_FALSE(post.Headers.empty());
    EXPECT_EQ(post.Headers[0].first, "Allow");
    EXPECT_EQ(Ask("CONNECT", "www.example.com:443", "x").Status, 405);
    EXPECT_EQ(Ask("GET", "ftp://example.com/", "x").Status, 400);
    // "/" on the demo web's own address is its index page, not a home page.
    const HttpResponse index = Ask("GET", "/", "127.0.0.1:8080");
    EXPECT_EQ(index.Status, 200);
    EXPECT_NE(index.Body.find("Corvane demo web"), std::string::npos);
}

}  // namespace
}  // namespace corvane::demo
