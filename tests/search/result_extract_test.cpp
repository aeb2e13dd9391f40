// The result URLs of each built-in profile on pages in its source's markup:
// wrapped links, ads, block pages, empty and broken answers.
#include "search/result_extract.h"

#include <gtest/gtest.h>

#include "search/profile_catalog.h"
#include "search/web_survey.h"

namespace corvane::search {
namespace {

using Urls = std::vector<std::string>;

SearchProfile BuiltIn(const std::string& name) {
    return LoadProfile(name, "/nonexistent/corvane-profiles");
}

const char* const kDuckPage = R"(<!DOCTYPE html>
<html><head><title>garden tools at DuckDuckGo</title></head><body>
<form action="/html/" method="post"><input type="text" name="q" value="garden tools">
<input type="hidden" name="vqd" value="4-211369429785839129163410588452213441896"></form>
<div id="links" class="results">
  <div class="result results_links results_links_deep result--ad web-result">
    <h2 class="result__title"><a class="result__a" href="https://duckduckgo.com/y.js?ad_domain=ads.example&amp;ad_provider=x&amp;u3=y">Buy tools</a></h2>
  </div>
  <div class="result results_links results_links_deep web-result">
    <h2 class="result__title"><a rel="nofollow" class="result__a"
      href="//duckduckgo.com/l/?uddg=https%3A%2F%2Fwww.garden.example%2Ftools%3Fa%3D1%26b%3D2&amp;rut=3f2a">Garden</a></h2>
    <a class="result__snippet" href="//duckduckgo.com/l/?uddg=https%3A%2F%2Fwww.garden.example%2Ftools">Tools for every garden</a>
  </div>
  <div class="result results_links results_links_deep web-result">
    <h2 class="result__title"><a class="result__a" href="//duckduckgo.com/y.js?ad_domain=more-ads.example">Sponsored</a></h2>
  </div>
  <div class="result results_links results_links_deep web-result">
    <h2 class="result__title"><a class="result__a" href=" https://Direct.Example/page ">Direct</a></h2>
  </div>
  <div class="result results_links web-result"><h2><a href="ftp://files.example/">not the web</a></h2></div>
</div>
<div class="nav-link"><form action="/html/" method="post"><input type="hidden" name="s" value="10"></form></div>
</body></html>)";

TEST(ExtractDuckDuckGo, WrappedLinksAreUnwrappedAndAdsSkipped) {
    const ExtractedPage page =
        ExtractResults(BuiltIn("duckduckgo"), kDuckPage, "https://html.duckduckgo.com/html/");
    EXPECT_EQ(page.Urls,
              (Urls{"https://www.garden.example/tools?a=1&b=2", "https://Direct.Example/page"}));
    EXPECT_FALSE(page.Blocked);
    EXPECT_TRUE(page.Problem.empty());
    EXPECT_EQ(page.Captures.at("vqd"), "4-211369429785839129163410588452213441896");
}

TEST(ExtractDuckDuckGo, TheChallengePageIsABlock) {
    const ExtractedPage page =
        ExtractResults(BuiltIn("duckduckgo"),
                       "<html><body><div class=\"anomaly-modal\"><form id=\"challenge-form\" "
                       "action=\"//duckduckgo.com/anomaly.js?sv=html\" method=\"POST\">"
                       "<input type=\"hidden\" name=\"q\" value=\"k\"></form></div>"
                       "<div id=\"links\"></div></body></html>",
                       "https://html.duckduckgo.com/html/");
    EXPECT_TRUE(page.Blocked);
    EXPECT_TRUE(page.Urls.empty());
}

TEST(ExtractMojeek, DirectLinksOfTheStandardList) {
    const ExtractedPage page = ExtractResults(BuiltIn("mojeek"), R"(<html><body>
<ul class="results-standard">
<li><a class="ob" href="https://one.example/"><p class="i">one.example</p></a>
  <h2><a class="title" href="https://one.example/">One</a></h2><p class="s">The first.</p></li>
<li><a class="ob" href="https://two.example/x?y=1">two.example</a>
  <h2><a class="title" href="https://two.example/x?y=1">Two</a></h2><p class="s">The second.</p></li>
</ul>
<ul class="results-standard news"><li><a class="ob" href="https://news.example/">news</a></li></ul>
<div class="pagination"><a href="/search?q=k&amp;s=10">2</a></div>
</body></html>)",
                                              "https://www.mojeek.com/search?q=k");
    EXPECT_EQ(page.Urls, (Urls{"https://one.example/", "https://two.example/x?y=1"}));
}

TEST(ExtractYahoo, RedirectLinksAreCutBetweenTheMarkers) {
    const ExtractedPage page = ExtractResults(BuiltIn("yahoo"), R"(<html><body><div id="web">
<ol class="reg searchCenterMiddle">
<li class="first"><div class="dd algo algo-sr relsrch Sr"><div class="compTitle options-toggle">
  <a class="d-ib fz-20" href="https://r.search.yahoo.com/_ylt=AwrFG;_ylu=Y29sbwNiZjE-/RV=2/RE=1780000000/RO=10/RU=https%3a%2f%2fwww.example.org%2fpage%3fx%3d1/RK=2/RS=kq3-">Example</a></div>
  <div class="compText aAbs"><p>snippet</p></div></div></li>
<li><div class="dd algo algo-sr Sr"><div class="compTitle"><h3 class="title">
  <a href="https://r.search.yahoo.com/_ylt=A;_ylu=X/RV=2/RE=1/RO=10/RU=http%3a%2f%2fregional.example%2f/RS=zz-">Regional</a></h3></div></div></li>
<li><div class="dd ads"><div class="compTitle"><a href="https://ad.example/">Ad</a></div></div></li>
<li><div class="dd algo algo-sr Sr"><div class="compTitle"><a href="https://plain.example/">Plain</a></div></div></li>
</ol></div></body></html>)",
                                              "https://search.yahoo.com/search?p=k");
    EXPECT_EQ(page.Urls, (Urls{"https://www.example.org/page?x=1", "http://regional.example/",
                               "https://plain.example/"}));
}

TEST(ExtractBrave, RelativeLinksAreAdsAndTheBlockTextIsSeen) {
    const SearchProfile brave = BuiltIn("brave");
    const ExtractedPage page = ExtractResults(brave, R"(<html><body><div id="results">
<div class="snippet svelte-1x2y" data-type="web"><a href="https://brave-one.example/" class="h">
  <div class="title">One</div></a><a href="https://brave-one.example/more">more</a></div>
<div class="snippet svelte-1x2y" data-type="ad"><a href="/a/redirect?click_url=https%3A%2F%2Fad.example">Ad</a></div>
<div class="snippet-title">not a result <a href="https://not.example/">x</a></div>
<div class="snippet svelte-1x2y" data-type="web"><div><a href="https://brave-two.example/p">Two</a></div></div>
</div></body></html>)",
                                              "https://search.brave.com/search?q=k");
    EXPECT_EQ(page.Urls, (Urls{"https://brave-one.example/", "https://brave-two.example/p"}));

    const ExtractedPage blocked = ExtractResults(
        brave, "<html><body><h1>SUSPENDED: Too many requests</h1></body></html>", "https://x/");
    EXPECT_TRUE(blocked.Blocked);
}

TEST(ExtractSearxng, UrlsOfTheJsonResults) {
    const SearchProfile sx = BuiltIn("searxng");
    const ExtractedPage page = ExtractResults(sx, R"json({"query": "garden tools",
 "results": [{"url": "https://a.example/", "title": "A", "engines": ["x"], "positions": [1]},
             {"url": "//b.example/x", "parsed_url": ["https", "b.example", "/x"]},
             {"title": "no url"}, {"url": 42}, {"url": "javascript:alert(1)"},
             {"url": "https://a.example/"}],
 "answers": [], "unresponsive_engines": []})json",
                                              "http://127.0.0.1:8080/search?q=k");
    EXPECT_EQ(page.Urls, (Urls{"https://a.example/", "https://b.example/x", "https://a.example/"}));

    EXPECT_EQ(ExtractResults(sx, "<html>Forbidden</html>", "http://x/").Problem,
              "the answer is not JSON");
    EXPECT_FALSE(ExtractResults(sx, "", "http://x/").Problem.empty());
    EXPECT_TRUE(ExtractResults(sx, R"({"results": []})", "http://x/").Urls.empty());
    EXPECT_TRUE(ExtractResults(sx, R"({"results": {"url": "https://a.example/"}})", "http://x/")
                    .Urls.empty());
}

TEST(Extract, EmptyAndBrokenHtmlGiveNothingWithoutComplaint) {
    for (const char* name : {"duckduckgo", "mojeek", "yahoo", "brave"}) {
        const SearchProfile p = BuiltIn(name);
        for (const std::string& answer :
             {std::string(), std::string("<html><body></body></html>"),
              std::string("\0\xff<ul class=\"results-standard\"><li><a", 37),
              std::string(100000, '<')}) {
            const ExtractedPage page = ExtractResults(p, answer, "https://s.test/");
            EXPECT_TRUE(page.Urls.empty()) << name;
            EXPECT_FALSE(page.Blocked) << name;
        }
    }
}

TEST(Extract, RelativeLinksResolveAgainstThePage) {
    const SearchProfile p = ParseProfile(
        "[request]\nurl = x\n[answer]\nresults = //a/@href | //p[@class=\"u\"]\n"
        "[captures]\nnext = string(//form/@data-next)\n",
        "t.ini", "t");
    const ExtractedPage page = ExtractResults(p, R"(<body>
<a href="/root">1</a><a href="here">2</a><a href="../up/./x?q=1#f">3</a><a href="?page=2">4</a>
<a href="//other.example">5</a><a href="HTTPS://Case.Example/">6</a><a href="mailto:a@b.c">7</a>
<a href="http:///nohost">8</a><p class="u">
  https://text.example/</p><p class="u">https://text.example/ two words</p>
<form data-next="tok-9"></form></body>)",
                                              "https://s.test/a/b/page?q=0");
    EXPECT_EQ(page.Urls,
              (Urls{"https://s.test/root", "https://s.test/a/b/here", "https://s.test/a/up/x?q=1#f",
                    "https://s.test/a/b/page?page=2", "https://other.example",
                    "HTTPS://Case.Example/", "https://text.example/"}));
    EXPECT_EQ(page.Captures.at("next"), "tok-9");
}

TEST(Extract, UnwrapRules) {
    SearchProfile p;
    p.UnwrapParameter = "uddg";
    EXPECT_EQ(UnwrapLink(p, "https://d.test/l/?x=1&uddg=https%3A%2F%2Fa.example%2F%3Fq%3D1&rut=z"),
              "https://a.example/?q=1");
    EXPECT_EQ(UnwrapLink(p, "https://d.test/l/?uddgx=1"), "https://d.test/l/?uddgx=1");
    p = SearchProfile{};
    p.UnwrapStart = "/RU=";
    p.UnwrapEnds = {"/RK=", "/RS="};
    EXPECT_EQ(UnwrapLink(p, "https://r.test/RU=https%3a%2f%2fa.example%2f/RS=x/RK=y"),
              "https://a.example/");
    EXPECT_EQ(UnwrapLink(p, "https://r.test/RU=xx-http%3A%2F%2Fb.example"), "http://b.example");
    EXPECT_EQ(UnwrapLink(p, "https://plain.example/RK=1"), "https://plain.example/RK=1");
}

TEST(ResultHost, HostsAsTheRowsShowThem) {
    EXPECT_EQ(HostOfResultUrl("https://WWW.Example.CO.UK:8443/path?q#f"), "www.example.co.uk");
    EXPECT_EQ(HostOfResultUrl("http://user:pw@host.example./"), "host.example");
    EXPECT_EQ(HostOfResultUrl("https://[2001:db8::1]:443/"), "[2001:db8::1]");
    // An internationalised name stays as the URL writes it; only ASCII folds.
    EXPECT_EQ(HostOfResultUrl("https://B\xC3\xBC"
                              "cher.Example/"),
              "b\xC3\xBC"
              "cher.example");
    EXPECT_EQ(HostOfResultUrl("https://xn--bcher-kva.example/"), "xn--bcher-kva.example");
    EXPECT_EQ(HostOfResultUrl("no url"), "");

    EXPECT_EQ(NormaliseDomain(" HTTPS://user@WWW.Example.COM.:8080/path?q "), "www.example.com");
    EXPECT_EQ(NormaliseDomain("example.org"), "example.org");
    EXPECT_EQ(WebQueryText("Example.org/", engine::SurveyMode::Domain),
              "\"example.org\" -site:example.org");
    EXPECT_EQ(WebQueryText(" Garden  Tools ", engine::SurveyMode::Keyword), " Garden  Tools ");
}

}  // namespace
}  // namespace corvane::search
