// Today's search sources in the demo web, read the way a survey of today's
// web reads them: the JSON with a JSON parser, the results pages with an
// HTML parser and the XPath selectors each source is known by, paging as
// each source pages.

#include <gtest/gtest.h>

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/percent_text.h"
#include "demo/demo_web.h"
#include "demo/pages.h"
#include "demo/request_target.h"
#include "demo/search_pages.h"
#include "demo/web_results.h"

namespace corvane::demo {
namespace {

const SyntheticWeb& Web() {
    static const SyntheticWeb web;
    return web;
}

// The answer to a request in proxy form, in-process.
HttpResponse Ask(const std::string& url, const std::string& method = "GET",
                 const std::string& body = "") {
    HttpRequest request;
    request.Method = method;
    request.Target = url;
    request.Version = "HTTP/1.1";
    const std::size_t start = url.find("://") + 3;
    request.Headers.emplace_back("Host", url.substr(start, url.find('/', start) - start));
    if (method == "POST") {
        request.Headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
        request.Body = body;
    }
    return Route(Web(), request);
}

std::string Form(const std::string& text) {
    return base::PercentEncode(text, true);
}

// A page parsed as HTML, queried with XPath 1.0.
class Html {
  public:
    explicit Html(const std::string& text)
        : doc_(htmlReadMemory(
              text.data(), static_cast<int>(text.size()), "page.html", "utf-8",
              HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET)),
          context_(doc_ != nullptr ? xmlXPathNewContext(doc_) : nullptr) {}
    ~Html() {
        if (context_ != nullptr)
            xmlXPathFreeContext(context_);
        if (doc_ != nullptr)
            xmlFreeDoc(doc_);
    }
    Html(const Html&) = delete;
    Html& operator=(const Html&) = delete;

    // The nodes an expression selects, a relative one from `from`.
    std::vector<xmlNodePtr> Nodes(const std::string& xpath, xmlNodePtr from = nullptr) {
        std::vector<xmlNodePtr> nodes;
        if (context_ == nullptr)
            return nodes;
        context_->node = from != nullptr ? from : reinterpret_cast<xmlNodePtr>(doc_);
        xmlXPathObjectPtr found =
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context_);
        if (found == nullptr)
            return nodes;
        if (found->nodesetval != nullptr) {
            for (int i = 0; i < found->nodesetval->nodeNr; ++i)
                nodes.push_back(found->nodesetval->nodeTab[i]);
        }
        xmlXPathFreeObject(found);
        return nodes;
    }

    // The text of each selected node (an attribute's value).
    std::vector<std::string> Values(const std::string& xpath, xmlNodePtr from = nullptr) {
        std::vector<std::string> values;
        for (xmlNodePtr node : Nodes(xpath, from)) {
            xmlChar* text = xmlNodeGetContent(node);
            values.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
            xmlFree(text);
        }
        return values;
    }

  private:
    htmlDocPtr doc_;
    xmlXPathContextPtr context_;
};

// How one source is read: its result blocks, the link in each, and how a
// link is unwrapped or known as an ad (an empty answer).
struct Reader {
    std::string Results;
    std::string Link;
    std::function<std::string(const std::string&)> Target;
};

std::string DuckTarget(const std::string& href) {
    if (href.starts_with("https://duckduckgo.com/y.js?"))
        return "";
    if (href.starts_with("//duckduckgo.com/l/?")) {
        const QueryParams params = ParseForm(href.substr(href.find('?') + 1));
        return ParamValue(params, "uddg").value_or("unwrap failed: " + href);
    }
    return href;
}

std::string YahooTarget(const std::string& href) {
    const auto ru = href.find("/RU=");
    if (ru == std::string::npos)
        return "unwrap failed: " + href;
    const auto start = href.find("http", ru);
    const auto end = std::min(href.find("/RK=", start), href.find("/RS=", start));
    return base::PercentDecode(href.substr(start, end - start));
}

std::string BraveTarget(const std::string& href) {
    return href.starts_with("/") ? "" : href;
}

const Reader kDuck{"//div[@id=\"links\"]/div[contains(@class,\"web-result\")]", ".//h2/a/@href",
                   DuckTarget};
const Reader kMojeek{"//ul[@class=\"results-standard\"]/li", "a[@class=\"ob\"]/@href",
                     [](const std::string& href) { return href; }};
const Reader kYahoo{"//div[contains(@class,\"algo-sr\")]",
                    ".//div[contains(@class,\"compTitle\")]/a/@href", YahooTarget};
const Reader kBrave{"//div[contains(@class,'snippet ')]", ".//a/@href", BraveTarget};

// The result URLs of one page, in order, ads left out.
std::vector<std::string> PageUrls(const std::string& body, const Reader& reader) {
    Html html(body);
    std::vector<std::string> urls;
    for (xmlNodePtr block : html.Nodes(reader.Results)) {
        const std::vector<std::string> links = html.Values(reader.Link, block);
        EXPECT_FALSE(links.empty());
        if (links.empty())
            continue;
        if (std::string url = reader.Target(links.front()); !url.empty())
            urls.push_back(std::move(url));
    }
    return urls;
}

// Pages 1, 2, ... until a page adds no new URL; the URLs in first-seen order.
std::vector<std::string> Survey(const std::function<std::string(int page)>& fetch,
                                const Reader& reader) {
    std::vector<std::string> all;
    std::set<std::string> seen;
    for (int page = 1; page <= 20; ++page) {
        bool added = false;
        for (std::string& url : PageUrls(fetch(page), reader)) {
            if (seen.insert(url).second) {
                all.push_back(std::move(url));
                added = true;
            }
        }
        if (!added)
            break;
    }
    return all;
}

std::vector<std::string> ExpectedUrls(const std::string& query) {
    std::vector<std::string> urls;
    for (const WebResult& r : WebResults(Web(), query))
        urls.push_back(r.Url);
    return urls;
}

std::vector<std::string> DuckSurvey(const std::string& query) {
    std::string vqd;
    return Survey(
        [&](int page) {
            std::string form = "q=" + Form(query);
            if (page == 1) {
                form += "&b=&kl=wt-wt";
            } else {
                const int s = 10 + (page - 2) * 15;
                form += "&vqd=" + Form(vqd) +
                        "&nextParams=&api=d.js&o=json&v=l&s=" + std::to_string(s) +
                        "&dc=" + std::to_string(s + 1);
            }
            const HttpResponse r = Ask("http://html.duckduckgo.com/html/", "POST", form);
            EXPECT_EQ(r.Status, 200);
            Html html(r.Body);
            const auto vqds = html.Values("//input[@name=\"vqd\"]/@value");
            EXPECT_FALSE(vqds.empty());
            if (!vqds.empty())
                vqd = vqds.front();
            // One ad on every page with results, in the list but no web result.
            if (!html.Nodes(kDuck.Results).empty()) {
                EXPECT_EQ(html.Nodes("//div[@id=\"links\"]/div[.//h2/a[starts-with(@href,"
                                     "'https://duckduckgo.com/y.js?')]]")
                              .size(),
                          1u);
            }
            return r.Body;
        },
        kDuck);
}

std::vector<std::string> MojeekSurvey(const std::string& query) {
    return Survey(
        [&](int page) {
            std::string url = "http://www.mojeek.com/search?q=" + Form(query);
            if (page > 1)
                url += "&s=" + std::to_string(10 * (page - 1));
            return Ask(url).Body;
        },
        kMojeek);
}

std::vector<std::string> YahooSurvey(const std::string& query) {
    return Survey(
        [&](int page) {
            std::string url = "http://search.yahoo.com/search?p=" + Form(query);
            url += page == 1 ? "&iscqry="
                             : "&b=" + std::to_string(1 + 7 * (page - 1)) + "&pz=7&bct=0&xargs=0";
            return Ask(url).Body;
        },
        kYahoo);
}

std::vector<std::string> BraveSurvey(const std::string& query) {
    return Survey(
        [&](int page) {
            const std::string body = Ask("http://search.brave.com/search?q=" + Form(query) +
                                         "&source=web&offset=" + std::to_string(page - 1))
                                         .Body;
            // Each page with results has one ad, linked relatively.
            if (body.find("data-type=\"web\"") != std::string::npos) {
                Html html(body);
                EXPECT_EQ(html.Nodes("//div[contains(@class,'snippet ')]//a[starts-with(@href,"
                                     "'/')]")
                              .size(),
                          1u);
            }
            return body;
        },
        kBrave);
}

nlohmann::json SearxPage(const std::string& base, const std::string& query, int page) {
    const HttpResponse r =
        Ask(base + "/search?q=" + Form(query) + "&format=json&pageno=" + std::to_string(page));
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.ContentType, "application/json");
    return nlohmann::json::parse(r.Body);
}

std::vector<std::string> SearxSurvey(const std::string& base, const std::string& query) {
    std::vector<std::string> urls;
    for (int page = 1; page <= 20; ++page) {
        const nlohmann::json answer = SearxPage(base, query, page);
        if (answer["results"].empty())
            break;
        for (const auto& result : answer["results"])
            urls.push_back(result["url"].get<std::string>());
    }
    return urls;
}

std::string MentionQuery(std::uint32_t site) {
    const std::string domain = BareDomainOf(Web().HostOf(site));
    return "\"" + domain + "\" -site:" + domain;
}

TEST(DemoSearchPages, EverySourceListsTheOneResultListInItsOwnPaging) {
    for (const std::string& query :
         {std::string("garden tools"), MentionQuery(7), std::string("caf\xc3\xa9 & <b>bar</b>")}) {
        SCOPED_TRACE(query);
        const std::vector<std::string> expected = ExpectedUrls(query);
        ASSERT_GE(expected.size(), 10u);
        EXPECT_EQ(SearxSurvey("http://127.0.0.1:8080", query), expected);
        EXPECT_EQ(SearxSurvey("http://searx.demo", query), expected);
        EXPECT_EQ(DuckSurvey(query), expected);
        EXPECT_EQ(MojeekSurvey(query), expected);
        EXPECT_EQ(YahooSurvey(query), expected);
        EXPECT_EQ(BraveSurvey(query), expected);
    }
}

TEST(DemoSearchPages, ResultListFollowsTheClassicListings) {
    const SyntheticWeb& web = Web();
    int secondPages = 0;
    for (const char* keyword : {"garden tools", "blue widgets", "x", "used cars", "tea"}) {
        SCOPED_TRACE(keyword);
        const std::vector<WebResult> results = WebResults(web, keyword);
        ASSERT_GE(results.size(), 24u);
        ASSERT_LE(results.size(), static_cast<std::size_t>(kMaxWebResults));
        // The quoted query of a classic survey asks the same list.
        EXPECT_EQ(ExpectedUrls(std::string("\"") + keyword + "\""), ExpectedUrls(keyword));
        std::set<std::string> urls;
        std::int64_t classic = 0;
        for (std::size_t i = 0; i < results.size(); ++i) {
            const WebResult& r = results[i];
            EXPECT_TRUE(urls.insert(r.Url).second) << r.Url;
            EXPECT_EQ(r.Url, "https://" + r.Host + r.Path);
            EXPECT_EQ(r.Host, web.HostOf(r.Site));
            if (i > 0 && results[i - 1].Site == r.Site) {
                ++secondPages;  // a second page of the site just listed
            } else {
                EXPECT_EQ(r.Site, web.KeywordResult(keyword, ++classic));
            }
        }
    }
    EXPECT_GT(secondPages, 0);

    // A domain query lists the pages linking to the domain, never its own.
    const std::string domain = BareDomainOf(web.HostOf(7));
    const auto mentions = WebResults(web, MentionQuery(7));
    ASSERT_FALSE(mentions.empty());
    EXPECT_EQ(mentions[0].Site, web.LinkingSite(domain, 1));
    for (const WebResult& r : mentions)
        EXPECT_NE(r.Site, 7u);

    EXPECT_TRUE(WebResults(web, "  ").empty());
    EXPECT_EQ(MentionedDomain(" \"Example.COM\"  -site:example.com "), "example.com");
    EXPECT_EQ(MentionedDomain("\"example.com\" -site:other.com"), std::nullopt);
    EXPECT_EQ(MentionedDomain("\"example.com\""), std::nullopt);
    EXPECT_EQ(MentionedDomain("\"two words\" -site:two words"), std::nullopt);
}

TEST(DemoSearchPages, JsonApiShapeAndPaging) {
    const std::string query = "garden tools";
    const nlohmann::json first = SearxPage("http://searx.demo", query, 1);
    EXPECT_EQ(first["query"], query);
    for (const char* key :
         {"answers", "corrections", "infoboxes", "suggestions", "unresponsive_engines"}) {
        ASSERT_TRUE(first[key].is_array()) << key;
        EXPECT_TRUE(first[key].empty()) << key;
    }
    ASSERT_EQ(first["results"].size(), static_cast<std::size_t>(kSearxPageSize));
    double lastScore = 1e9;
    for (std::size_t i = 0; i < first["results"].size(); ++i) {
        const nlohmann::json& r = first["results"][i];
        const std::string url = r["url"].get<std::string>();
        EXPECT_TRUE(r["title"].is_string() && !r["title"].get<std::string>().empty());
        EXPECT_TRUE(r["content"].is_string());
        EXPECT_EQ(r["category"], "general");
        ASSERT_TRUE(r["engines"].is_array() && !r["engines"].empty());
        EXPECT_EQ(r["engine"], r["engines"][0]);
        ASSERT_EQ(r["positions"].size(), r["engines"].size());
        EXPECT_EQ(r["positions"][0], i + 1);
        EXPECT_LT(r["score"].get<double>(), lastScore);
        lastScore = r["score"].get<double>();
        const nlohmann::json& parsed = r["parsed_url"];
        ASSERT_EQ(parsed.size(), 6u);
        EXPECT_EQ(parsed[0], "https");
        const std::string rest = url.substr(std::string("https://").size());
        EXPECT_EQ(parsed[1], rest.substr(0, rest.find('/')));
        EXPECT_EQ(url.find(parsed[2].get<std::string>()), rest.find('/') + 8);
    }
    // Places restart on every page; past the end, no results.
    EXPECT_EQ(SearxPage("http://searx.demo", query, 2)["results"][0]["positions"][0], 1);
    const auto total = ExpectedUrls(query).size();
    EXPECT_TRUE(SearxPage("http://searx.demo", query,
                          static_cast<int>(total / kSearxPageSize) + 2)["results"]
                    .empty());

    // An instance that lists only HTML refuses other formats.
    for (const char* format : {"&format=html", "&format=csv", ""}) {
        EXPECT_EQ(Ask(std::string("http://searx.demo/search?q=x") + format).Status, 403) << format;
    }
    // Bytes that are not UTF-8 still give JSON.
    const HttpResponse odd = Ask("http://searx.demo/search?q=%FF%FE+tools&format=json");
    EXPECT_TRUE(nlohmann::json::accept(odd.Body)) << odd.Body;
}

TEST(DemoSearchPages, PagingRulesOfEachSource) {
    const std::string q = Form("garden tools");
    // A later DuckDuckGo page needs the query's vqd.
    const std::string vqd = DuckVqd(Web(), "garden tools");
    const std::string later = "q=" + q + "&s=10&dc=11&nextParams=&api=d.js&o=json&v=l";
    auto duck = [](const std::string& form) {
        return PageUrls(Ask("http://html.duckduckgo.com/html/", "POST", form).Body, kDuck);
    };
    EXPECT_EQ(duck(later + "&vqd=" + vqd).size(), static_cast<std::size_t>(kDuckPageSize));
    EXPECT_TRUE(duck(later).empty());
    EXPECT_TRUE(duck(later + "&vqd=" + DuckVqd(Web(), "other")).empty());
    // The endpoint also answers a GET; no other path or host takes a POST.
    EXPECT_EQ(PageUrls(Ask("http://html.duckduckgo.com/html/?q=" + q).Body, kDuck).size(),
              static_cast<std::size_t>(kDuckFirstPageSize));
    EXPECT_EQ(Ask("http://html.duckduckgo.com/lite/", "POST", "q=" + q).Status, 405);
    EXPECT_EQ(Ask("http://www.mojeek.com/search", "POST", "q=" + q).Status, 405);

    // An offset on Mojeek's first page reads as a robot.
    EXPECT_EQ(Ask("http://www.mojeek.com/search?q=" + q + "&s=0").Status, 403);
    EXPECT_EQ(Ask("http://www.mojeek.com/search?q=" + q + "&s=").Status, 403);
    EXPECT_EQ(Ask("http://www.mojeek.com/search?q=" + q + "&s=10").Status, 200);

    // Yahoo: past the end, the last page again; pz sets the page size.
    const auto all = ExpectedUrls("garden tools");
    const auto yahoo = [&](const std::string& rest) {
        return PageUrls(Ask("http://search.yahoo.com/search?p=" + q + rest).Body, kYahoo);
    };
    EXPECT_EQ(yahoo("&b=1000&pz=7"),
              yahoo("&b=" + std::to_string((all.size() - 1) / 7 * 7 + 1) + "&pz=7"));
    EXPECT_EQ(yahoo("&b=3&pz=4"), std::vector<std::string>(all.begin() + 2, all.begin() + 6));

    // Brave stops after its tenth page.
    EXPECT_TRUE(
        PageUrls(Ask("http://search.brave.com/search?q=" + q + "&source=web&offset=10").Body,
                 kBrave)
            .empty());
}

TEST(DemoSearchPages, ClassicRequestsStayClassic) {
    // The classic survey's own requests on the same host get the classic page.
    const HttpResponse classic =
        Ask("http://search.yahoo.com/search?p=%22garden+tools%22&ei=UTF-8&n=10&b=1");
    EXPECT_NE(classic.Body.find("of about"), std::string::npos);
    EXPECT_EQ(classic.Body.find("algo-sr"), std::string::npos);
    const HttpResponse link =
        Ask("http://search.yahoo.com/search?p=link%3Ahttp%3A%2F%2F" + Web().HostOf(0));
    EXPECT_NE(link.Body.find("of about"), std::string::npos);
    EXPECT_NE(Ask("http://search.yahoo.com/search?p=garden+tools").Body.find("algo-sr"),
              std::string::npos);
    // On the demo web's own address, "p" is the classic search, "q" the API.
    EXPECT_NE(Ask("http://127.0.0.1/search?p=garden").Body.find("of about"), std::string::npos);
    EXPECT_EQ(Ask("http://127.0.0.1/search?q=garden&format=json").ContentType, "application/json");
}

TEST(DemoSearchPages, RedirectLinksLeadToTheirTargets) {
    const std::string target = "https://www.example.com/a?b=1&c=%20";
    const HttpResponse duck =
        Ask("http://duckduckgo.com/l/?uddg=" + base::PercentEncode(target) + "&rut=ab");
    EXPECT_EQ(duck.Status, 302);
    ASSERT_FALSE(duck.Headers.empty());
    EXPECT_EQ(duck.Headers[0], std::make_pair(std::string("Location"), target));
    const HttpResponse yahoo = Ask(YahooWrap(Web(), target).replace(0, 5, "http"));
    EXPECT_EQ(yahoo.Status, 302);
    ASSERT_FALSE(yahoo.Headers.empty());
    EXPECT_EQ(yahoo.Headers[0].second, target);
    EXPECT_EQ(Ask("http://r.search.yahoo.com/_ylt=x/RV=2").Status, 404);
}

TEST(DemoSearchPages, TextFromTheRequestIsEscapedEverywhere) {
    const std::string query = "</title><script>alert(\"x\")</script> & 'q' <!--";
    const std::string q = Form(query);
    struct Case {
        std::string Body;
        const char* Input;
    };
    const std::vector<Case> cases = {
        {Ask("http://html.duckduckgo.com/html/", "POST", "q=" + q + "&kl=%22%3E%3Cb%3E").Body,
         "//input[@name='q']/@value"},
        {Ask("http://www.mojeek.com/search?q=" + q).Body, "//input[@name='q']/@value"},
        {Ask("http://search.yahoo.com/search?p=" + q).Body, "//input[@name='p']/@value"},
        {Ask("http://search.brave.com/search?q=" + q + "&source=web&offset=0").Body,
         "//input[@name='q']/@value"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Body.find("<script"), std::string::npos) << c.Body;
        EXPECT_EQ(c.Body.find("<!--"), std::string::npos);
        EXPECT_EQ(c.Body.find("\"><b>"), std::string::npos);
        Html html(c.Body);
        const auto values = html.Values(c.Input);
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.front(), query);
        // The results are there, each link whole.
        EXPECT_GE(
            html.Nodes("//a[starts-with(@href,'https://') or starts-with(@href,'//')]").size(), 7u);
    }
    const nlohmann::json json =
        nlohmann::json::parse(Ask("http://searx.demo/search?q=" + q + "&format=json").Body);
    EXPECT_EQ(json["query"], query);
}

TEST(DemoSearchPages, PopulationSitesAnswerEveryPathAResultNames) {
    const WebResult r = WebResults(Web(), "garden tools").at(3);
    const HttpResponse page = Ask("http://" + r.Host + r.Path);
    EXPECT_EQ(page.Status, 200);
    EXPECT_EQ(page.Body, Ask("http://" + r.Host + "/").Body);
    EXPECT_EQ(Ask("http://www.example.com/products/x/").Status, 404);

    const std::string index = Ask("http://127.0.0.1/").Body;
    for (const char* endpoint : {"format=json", "html.duckduckgo.com/html/", "www.mojeek.com",
                                 "search.yahoo.com", "search.brave.com", "tranco-list.eu/top-1m",
                                 "downloads.majestic.com/majestic_million.csv"}) {
        EXPECT_NE(index.find(endpoint), std::string::npos) << endpoint;
    }
}

}  // namespace
}  // namespace corvane::demo
