// The synthetic web: a fixed, well-formed population and figures that follow
// from the seed alone.

#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "base/percent_text.h"
#include "demo/demo_web.h"
#include "demo/pages.h"
#include "demo/request_target.h"
#include "demo/synthetic_web.h"

namespace corvane::demo {
namespace {

TEST(DemoSyntheticWeb, PopulationIsDistinctAndWellFormed) {
    const SyntheticWeb web;
    std::set<std::string> hosts, domains;
    for (std::uint32_t site = 0; site < web.SiteCount(); ++site) {
        const std::string& host = web.HostOf(site);
        for (char c : host) {
            ASSERT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
                << host;
        }
        ASSERT_NE(host.find('.'), std::string::npos);
        hosts.insert(host);
        domains.insert(BareDomainOf(host));
        // The listed host, its bare domain and either with "www." name it.
        ASSERT_EQ(web.SiteOfHost(host), site);
        ASSERT_EQ(web.SiteOfHost("http://" + BareDomainOf(host) + "/x"), site);
        ASSERT_EQ(web.SiteOfHost("WWW." + BareDomainOf(host)), site);
    }
    EXPECT_EQ(hosts.size(), web.SiteCount());
    EXPECT_EQ(domains.size(), web.SiteCount());
    EXPECT_GT(web.SiteCount(), 4000u);
    EXPECT_FALSE(web.SiteOfHost("www.example.com"));
}

TEST(DemoSyntheticWeb, FiguresFollowFromTheSeedOnly) {
    // Pinned values: a change here changes every demo survey's table.
    const SyntheticWeb web;
    EXPECT_EQ(web.KeywordTotal("blue widgets"), 57300000);
    EXPECT_EQ(web.HostOf(web.KeywordResult("blue widgets", 1)), "www.goldengroup.com");
    EXPECT_EQ(web.InboundTotal("www.goldengroup.com"), 4);
    EXPECT_EQ(web.HostOf(web.LinkingSite("www.goldengroup.com", 1)), "granitemarket.com");

    const SyntheticWeb same;
    const SyntheticWeb other(kDemoSeed + 1);
    EXPECT_EQ(KeywordResultsPage(web, "\"tea\"", 1, 30),
              KeywordResultsPage(same, "\"tea\"", 1, 30));
    EXPECT_EQ(HomePage(web, "www.example.com"), HomePage(same, "www.example.com"));
    EXPECT_NE(KeywordResultsPage(web, "\"tea\"", 1, 30),
              KeywordResultsPage(other, "\"tea\"", 1, 30));
}

TEST(DemoSyntheticWeb, ListingsNeverRepeatASite) {
    const SyntheticWeb web;
    for (const char* key : {"blue widgets", "a", "www.goldengroup.com"}) {
        std::set<std::uint32_t> keyword, linking;
        for (std::int64_t i = 1; i <= kMaxListed; ++i) {
            keyword.insert(web.KeywordResult(key, i));
            linking.insert(web.LinkingSite(key, i));
        }
        EXPECT_EQ(keyword.size(), static_cast<std::size_t>(kMaxListed)) << key;
        EXPECT_EQ(linking.size(), static_cast<std::size_t>(kMaxListed)) << key;
    }
    // A target is never among its own linking sites.
    for (std::uint32_t site = 0; site < web.SiteCount(); site += 9) {
        const std::string& host = web.HostOf(site);
        for (std::int64_t i = 1; i <= web.InboundListable(host); ++i) {
            ASSERT_NE(web.LinkingSite(host, i), site) << host;
        }
    }
}

TEST(DemoSyntheticWeb, FiguresStayInTheRangesAClientReads) {
    // Inbound figures must convert to a 32-bit integer, or the survey stops.
    const SyntheticWeb web;
    for (std::uint32_t site = 0; site < web.SiteCount(); ++site) {
        const std::string& host = web.HostOf(site);
        ASSERT_GE(web.InboundTotal(host), 0);
        ASSERT_LT(web.InboundTotal(host), INT_MAX);
        ASSERT_GE(web.AbsoluteAnchors(host), 0);
        ASSERT_GE(web.RelativeAnchors(host), 6);
        if (const auto rank = web.TrafficRank(host)) {
            ASSERT_GT(*rank, 0);
            ASSERT_LT(*rank, 999999999);
        }
        ASSERT_EQ(web.TrafficRank(host), web.TrafficRank(BareDomainOf(host)));
    }
    for (const char* keyword : {"a", "blue widgets", "zz top tickets"}) {
        EXPECT_GE(web.KeywordListable(keyword), 30) << keyword;  // a full survey page
    }
    EXPECT_EQ(web.KeywordTotal("  "), 0);
}

TEST(DemoRequestTarget, AbsoluteAndOriginForms) {
    auto t = SplitTarget("HTTP://Search.Example:8080/search?p=x#frag", "ignored");
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->Absolute);
    EXPECT_EQ(t->Host, "search.example");
    EXPECT_EQ(t->Path, "/search");
    EXPECT_EQ(t->Query, "p=x");
    t = SplitTarget("http://www.example.com", "");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Path, "/");
    t = SplitTarget("http://www.example.com?q=1", "");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Path, "/");
    EXPECT_EQ(t->Query, "q=1");
    t = SplitTarget("/data/details/?url=www.a.com", " WWW.Site.Example:80 ");
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->Absolute);
    EXPECT_EQ(t->Host, "www.site.example");
    EXPECT_EQ(t->Path, "/data/details/");
    for (const char* bad :
         {"*", "www.example.com:443", "https://a/", "http:///x", "http://u@h/", ""}) {
        EXPECT_FALSE(SplitTarget(bad, "h")) << bad;
    }
}

TEST(DemoRequestTarget, QueryDecoding) {
    auto q = ParseQuery("p=%22a&b%22&ei=UTF-8&n=10&b=1");
    EXPECT_EQ(ParamValue(q, "p"), "\"a&b\"");
    EXPECT_EQ(ParamValue(q, "n"), "10");
    EXPECT_EQ(ParamValue(q, "b"), "1");
    q = ParseQuery("p=%22%22&n=3");  // an empty phrase is closed already
    EXPECT_EQ(ParamValue(q, "p"), "\"\"");
    EXPECT_EQ(ParamValue(q, "n"), "3");
    q = ParseQuery("p=%22open&n=3");  // never closed: nothing is taken in
    EXPECT_EQ(ParamValue(q, "p"), "\"open");
    EXPECT_EQ(ParamValue(q, "n"), "3");
    q = ParseQuery("p=link%3Ahttp%3A%2F%2Fwww.a.com&&x&y=");
    EXPECT_EQ(ParamValue(q, "p"), "link:http://www.a.com");
    EXPECT_EQ(ParamValue(q, "x"), "");
    EXPECT_EQ(base::PercentDecode("a+b%2", true), "a b%2");
    EXPECT_EQ(base::PercentDecode("%zz%41+", false), "%zzA+");
    EXPECT_EQ(base::PercentDecode("%00", false), std::string(1, '\0'));
}

}  // namespace
}  // namespace corvane::demo
