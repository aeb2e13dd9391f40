#include "engine/site_figures.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fake_host.h"

namespace corvane::engine {
namespace {

using testing::FakeHost;

TEST(InboundLinks, RequestAndScrape) {
    FakeHost h;
    const std::string url = "http://search.yahoo.com/search?p=link%3Ahttp%3A%2F%2Fwww.example.com";
    h.pages[url] = "<p>Results 1 - 10 OF ABOUT <b>1,234</b> for link</p>";
    EXPECT_EQ(InboundLinks(h, "www.example.com"), "1234");
    ASSERT_EQ(h.fetches.size(), 1u);
    EXPECT_EQ(h.fetches[0].url, url);
    EXPECT_EQ(h.fetches[0].port, 80);
    EXPECT_EQ(h.statuses, std::vector<std::string>{"www.example.com"});
    EXPECT_GE(h.pumps, 3);
}

TEST(InboundLinks, EscapesBlanksColonsAndSlashesOfTheHost) {
    FakeHost h;
    h.endpoints.SearchEndpoint = "http://127.0.0.1:8080";
    InboundLinks(h, "a b:c/d");
    ASSERT_EQ(h.fetches.size(), 1u);
    EXPECT_EQ(h.fetches[0].url, "http://127.0.0.1:8080/search?p=link%3Ahttp%3A%2F%2Fa%20b%3Ac%2Fd");
}

TEST(InboundLinks, WindowAndFallbacks) {
    EXPECT_EQ(ScrapeInboundFigure("of about <b>1,234</b>"), "1234");
    EXPECT_EQ(ScrapeInboundFigure("no figure here"), "0");
    EXPECT_EQ(ScrapeInboundFigure(""), "0");
    // The first "</" lies beyond the 300-byte window.
    EXPECT_EQ(ScrapeInboundFigure("of about <b>" + std::string(300, '9') + "</b>"), "0");
    // Just inside the window: the window is 300 bytes from the "o" on.
    const std::string head = "of about <b>";
    const std::string digits(300 - head.size() - 2, '7');
    EXPECT_EQ(ScrapeInboundFigure(head + digits + "</b>"), digits);
    // A blank between ">" and "</" is a figure of separators only: empty.
    EXPECT_EQ(ScrapeInboundFigure("of about <b> </b>"), "");
    // No ">" in the window: everything before the first "</".
    EXPECT_EQ(ScrapeInboundFigure("of about 12</b"), "ofabout12");
    // "</" before ">": empty, hence "0".
    EXPECT_EQ(ScrapeInboundFigure("of about </i><b>5"), "0");
}

TEST(InboundLinks, FailureOfTheFetchGivesAnEmptyFigure) {
    FakeHost h;
    h.onFetch = [](const std::string&) -> std::string { throw std::runtime_error("no stack"); };
    EXPECT_EQ(InboundLinks(h, "example.com"), "");
}

TEST(OutboundLinks, CountsAbsoluteAnchorTags) {
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"http://x.com\">x</a>"), 1);
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"https://x.com\">"), 1);
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"/local\">"), 0);
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"/local\" title=\"www.x.com\">"), 1);
    EXPECT_EQ(CountAbsoluteAnchors("<a\thref=\"http://x.com\">"), 0);  // tab, not a blank
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"http://a\" alt=\"www.b https://c\">"), 1);
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"http://a\"><a href=\"http://b"),
              1);  // page ends in a tag
    EXPECT_EQ(CountAbsoluteAnchors("<a href=\"/x\">http://not.in.tag</a>"), 0);
    EXPECT_EQ(CountAbsoluteAnchors(""), 0);
}

TEST(OutboundLinks, FetchesTheHomePageLowerCased) {
    FakeHost h;
    h.pages["http://example.com"] = "<A HREF=\"HTTP://OTHER.COM/\">x</A> <a href=\"/in\">y</a>";
    EXPECT_EQ(OutboundLinks(h, "example.com"), 1);
    EXPECT_EQ(h.Urls(), std::vector<std::string>{"http://example.com"});
}

TEST(OutboundLinks, EmptyHostFetchesNothing) {
    FakeHost h;
    EXPECT_EQ(OutboundLinks(h, ""), 0);
    EXPECT_TRUE(h.fetches.empty());
}

TEST(OutboundLinks, FailureGivesTheCountSoFar) {
    FakeHost h;
    h.onFetch = [](const std::string&) -> std::string { throw std::runtime_error("x"); };
    EXPECT_EQ(OutboundLinks(h, "example.com"), 0);
}

TEST(LinkValue, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(LinkValue(1, 1, 4), "3");      // 2.5
    EXPECT_EQ(LinkValue(100, 0, 2), "500");  // outbound 0 counts as 1
    EXPECT_EQ(LinkValue(7, 3, 3), "8");      // 7.78
    EXPECT_EQ(LinkValue(5, 5, 0), "0");      // zero divisor
    EXPECT_EQ(LinkValue(0, 5, 2), "0");
    EXPECT_EQ(LinkValue(1, 1, 20), "1");   // 0.5
    EXPECT_EQ(LinkValue(1, 1, 21), "0");   // 0.476
    EXPECT_EQ(LinkValue(-1, 1, 4), "-3");  // -2.5 away from zero
    EXPECT_EQ(LinkValue(1, 1, -4), "-3");
    EXPECT_EQ(LinkValue(-1, -1, 4), "3");
    EXPECT_EQ(LinkValue(-1, 1, 30), "0");  // -0.33 shows no sign
    EXPECT_EQ(LinkValue(2147483647, 0, 1), "21474836470");
    EXPECT_EQ(LinkValue(-2147483647 - 1, -2147483647 - 1, -2147483647 - 1), "0");
    EXPECT_EQ(LinkValue(-2147483647 - 1, 1, 1), "-21474836480");
}

TEST(TrafficRank, OnlyDigitsRightAfterATagEnd) {
    EXPECT_EQ(
        ScrapeTrafficRank("x traffic rank for site.com: <b>1</b><span>2</span>,<b>345</b><br>"),
        "123");
    EXPECT_EQ(ScrapeTrafficRank("traffic rank for x: <b>12</b>"), kNoTrafficRank);  // no <br>
    EXPECT_EQ(ScrapeTrafficRank("<i>7</i> rank <b>8</b><br> traffic"), "78");       // no phrase
    EXPECT_EQ(ScrapeTrafficRank("<b>1</b><br> traffic rank for <b>2</b><br>"), "2");
    EXPECT_EQ(ScrapeTrafficRank("traffic rank for >9<br>"), "9");
    EXPECT_EQ(ScrapeTrafficRank("traffic rank for <br>"), kNoTrafficRank);
    EXPECT_EQ(ScrapeTrafficRank(""), kNoTrafficRank);
}

TEST(TrafficRank, RequestUsesTheBareDomain) {
    FakeHost h;
    h.endpoints.TrafficEndpoint = "http://traffic.test";
    h.pages["http://traffic.test/data/details/?url=www.example.com"] =
        "Traffic Rank for Example.com: <B>4</B><b>2</b><BR>";
    EXPECT_EQ(TrafficRank(h, "shop.www.example.com"), "42");
    EXPECT_EQ(h.Urls(),
              std::vector<std::string>{"http://traffic.test/data/details/?url=www.example.com"});
}

TEST(TrafficRank, FailureGivesTheFallback) {
    FakeHost h;
    h.onFetch = [](const std::string&) -> std::string { throw std::runtime_error("x"); };
    EXPECT_EQ(TrafficRank(h, "example.com"), kNoTrafficRank);
}

}  // namespace
}  // namespace corvane::engine
