#include "demo/search_pages.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iterator>
#include <vector>

#include "base/percent_text.h"
#include "demo/pages.h"
#include "demo/web_results.h"

namespace corvane::demo {

namespace {

// A token of `length` characters from `alphabet`, drawn from `h` onwards.
std::string Token(const SyntheticWeb& web, std::string_view purpose, std::string_view key,
                  std::size_t length,
                  std::string_view alphabet =
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                      "0123456789") {
    std::string out;
    std::uint64_t h = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (i % 8 == 0)
            h = web.Mix(purpose, key, i / 8);
        out += alphabet[h % alphabet.size()];
        h >>= 8;
    }
    return out;
}

// "host › path", as result pages show a URL.
std::string Display(const WebResult& r) {
    return EscapeText(r.Host) +
           (r.Path == "/" ? std::string() : " \xe2\x80\xba " + EscapeText(r.Path.substr(1)));
}

// The query in a link of the page itself: form-encoded, then escaped for
// the attribute.
std::string QueryInLink(std::string_view query) {
    return EscapeText(base::PercentEncode(query, true));
}

std::string Head(std::string_view title, std::string_view lang = "en") {
    return "<!DOCTYPE html>\n<html lang=\"" + std::string(lang) +
           "\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>" +
           std::string(title) + "</title></head>\n<body>\n";
}

// A population site for the page's ad, never one listed on it.
std::uint32_t AdSite(const SyntheticWeb& web, std::string_view purpose, std::string_view query,
                     std::int64_t page, const std::vector<WebResult>& listed) {
    auto site = static_cast<std::uint32_t>(
        web.Mix(purpose, query, static_cast<std::uint64_t>(page)) % web.SiteCount());
    while (std::any_of(listed.begin(), listed.end(),
                       [site](const WebResult& r) { return r.Site == site; })) {
        site = (site + 1) % web.SiteCount();
    }
    return site;
}

constexpr const char* kEngines[] = {"duckduckgo", "brave", "mojeek", "yahoo"};

}  // namespace

// ---- the JSON API -----------------------------------------------------------

std::string SearxJson(const SyntheticWeb& web, std::string_view query, std::int64_t pageno) {
    using Json = nlohmann::ordered_json;
    const std::int64_t page = std::max<std::int64_t>(1, pageno);
    const std::vector<WebResult> results =
        WebResultsPage(web, query, (page - 1) * kSearxPageSize, kSearxPageSize);

    Json list = Json::array();
    for (std::size_t i = 0; i < results.size(); ++i) {
        const WebResult& r = results[i];
        const std::uint64_t h = web.Mix("searx-result", r.Url);
        // One to three engines found it, each at a place near its own.
        const std::size_t count = 1 + h % 3;
        Json engines = Json::array();
        Json positions = Json::array();
        for (std::size_t e = 0; e < count; ++e) {
            engines.push_back(kEngines[((h >> 8) + e) % std::size(kEngines)]);
            // The first engine places it where the page does, the others
            // near there.
            positions.push_back(i + 1 + (e == 0 ? 0 : (h >> (16 + 4 * e)) % 3));
        }
        // Scores fall along the list; more engines, a little more.
        const auto rank = static_cast<std::int64_t>(i) + (page - 1) * kSearxPageSize;
        const double score =
            static_cast<double>(kMaxWebResults - rank) / 4.0 + static_cast<double>(count) / 100.0;
        const auto question = r.Path.find('?');
        Json parsed = Json::array(
            {"https", r.Host, r.Path.substr(0, question), "",
             question == std::string::npos ? std::string() : r.Path.substr(question + 1), ""});
        Json item;
        item["url"] = r.Url;
        item["title"] = r.Title;
        item["content"] = r.Snippet;
        item["engine"] = engines[0];
        item["engines"] = std::move(engines);
        item["positions"] = std::move(positions);
        item["score"] = score;
        item["category"] = "general";
        item["parsed_url"] = std::move(parsed);
        list.push_back(std::move(item));
    }

    Json answer;
    answer["query"] = std::string(query);
    answer["number_of_results"] = 0;
    answer["results"] = std::move(list);
    answer["answers"] = Json::array();
    answer["corrections"] = Json::array();
    answer["infoboxes"] = Json::array();
    answer["suggestions"] = Json::array();
    answer["unresponsive_engines"] = Json::array();
    // Bytes of the query that are not UTF-8 cannot be written as they are.
    return answer.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// ---- DuckDuckGo ------------------------------------------------------------

std::string DuckVqd(const SyntheticWeb& web, std::string_view query) {
    return "4-" + Token(web, "duck-vqd", query, 38, "0123456789");
}

std::string DuckPage(const SyntheticWeb& web, std::string_view query, std::int64_t s,
                     std::string_view vqd, std::string_view region) {
    const std::string vqdOfQuery = DuckVqd(web, query);
    const bool later = s > 0;
    const std::int64_t size = later ? kDuckPageSize : kDuckFirstPageSize;
    // A later page belongs to the query its vqd was given for.
    const std::vector<WebResult> all = WebResults(web, query);
    const std::vector<WebResult> results =
        later && vqd != vqdOfQuery ? std::vector<WebResult>() : PageOf(all, s, size);
    const auto total = static_cast<std::int64_t>(all.size());
    const std::string q = EscapeText(query);
    const std::string kl = EscapeText(region.empty() ? std::string_view("wt-wt") : region);

    std::string page = Head(q + " at DuckDuckGo", "en-US");
    page +=
        "<div id=\"header\" class=\"header\"><form id=\"search_form\" name=\"x\" action=\"/html/\" "
        "method=\"post\"><input type=\"text\" name=\"q\" value=\"" +
        q +
        "\" class=\"search__input\" autocomplete=\"off\"><input type=\"hidden\" name=\"kl\" "
        "value=\"" +
        kl + "\"><input type=\"hidden\" name=\"vqd\" value=\"" + vqdOfQuery +
        "\"><input type=\"submit\" class=\"search__button\" value=\"S\"></form></div>\n";
    page += "<div class=\"serp__results\"><div id=\"links\" class=\"results\">\n";

    if (results.empty()) {
        page += "<div class=\"no-results\">No results.</div>\n";
    } else {
        // The ad comes first and is no web result.
        const std::uint32_t adSite = AdSite(web, "duck-ad", query, s, results);
        const std::string adHost = web.HostOf(adSite);
        const std::string adUrl =
            "https://duckduckgo.com/y.js?ad_domain=" + base::PercentEncode(BareDomainOf(adHost)) +
            "&ad_type=txad&rut=" + Token(web, "duck-ad-rut", adHost, 32, "0123456789abcdef") +
            "&u3=" + base::PercentEncode("https://" + adHost + "/offers/");
        page +=
            "<div class=\"result results_links results_links_deep result--ad \">"
            "<div class=\"links_main links_deep result__body\">"
            "<h2 class=\"result__title\"><a rel=\"nofollow\" class=\"result__a\" href=\"" +
            EscapeText(adUrl) + "\">" + EscapeText(web.NameOf(adSite)) +
            " - Official Site</a></h2><a class=\"result__snippet\" href=\"" + EscapeText(adUrl) +
            "\">This week's offers.</a><div class=\"badge--ad\">Ad</div></div></div>\n";
        for (const WebResult& r : results) {
            std::string href = r.Url;
            if (web.Mix("duck-wrap", r.Url) % 3 == 0) {
                href = "//duckduckgo.com/l/?uddg=" + base::PercentEncode(r.Url) +
                       "&rut=" + Token(web, "duck-rut", r.Url, 64, "0123456789abcdef");
            }
            const std::string a = EscapeText(href);
            page +=
                "<div class=\"result results_links results_links_deep web-result \">"
                "<div class=\"links_main links_deep result__body\">\n"
                "<h2 class=\"result__title\"><a rel=\"nofollow\" class=\"result__a\" href=\"" +
                a + "\">" + EscapeText(r.Title) +
                "</a></h2>\n<div class=\"result__extras\"><div class=\"result__extras__url\">"
                "<a class=\"result__url\" href=\"" +
                a + "\">" + Display(r) + "</a></div></div>\n<a class=\"result__snippet\" href=\"" +
                a + "\">" + EscapeText(r.Snippet) +
                "</a>\n<div class=\"clear\"></div></div></div>\n";
        }
        const std::int64_t next = later ? s + kDuckPageSize : kDuckFirstPageSize;
        if (next < total) {
            page +=
                "<div class=\"nav-link\"><form action=\"/html/\" method=\"post\">"
                "<input type=\"submit\" class=\"btn btn--alt\" value=\"Next\">"
                "<input type=\"hidden\" name=\"q\" value=\"" +
                q + "\"><input type=\"hidden\" name=\"s\" value=\"" + std::to_string(next) +
                "\"><input type=\"hidden\" name=\"nextParams\" value=\"\">"
                "<input type=\"hidden\" name=\"v\" value=\"l\">"
                "<input type=\"hidden\" name=\"o\" value=\"json\">"
                "<input type=\"hidden\" name=\"dc\" value=\"" +
                std::to_string(next + 1) +
                "\"><input type=\"hidden\" name=\"api\" value=\"d.js\">"
                "<input type=\"hidden\" name=\"vqd\" value=\"" +
                vqdOfQuery + "\"><input type=\"hidden\" name=\"kl\" value=\"" + kl +
                "\"></form></div>\n";
        }
    }
    page += "</div></div>\n</body></html>\n";
    return page;
}

// ---- Mojeek ------------------------------------------------------------------

std::string MojeekPage(const SyntheticWeb& web, std::string_view query, std::int64_t s) {
    const std::int64_t first = std::max<std::int64_t>(0, s);
    // Ten pages at most.
    const std::vector<WebResult> all = WebResults(web, query);
    const std::vector<WebResult> results = first >= 10 * kMojeekPageSize
                                               ? std::vector<WebResult>()
                                               : PageOf(all, first, kMojeekPageSize);
    const auto total = static_cast<std::int64_t>(all.size());
    const std::string q = EscapeText(query);
    const std::string qurl = QueryInLink(query);

    std::string page = Head(q + " - Mojeek Search");
    page +=
        "<header><form action=\"/search\" method=\"get\"><input type=\"search\" name=\"q\" "
        "value=\"" +
        q + "\"><button type=\"submit\">Search</button></form></header>\n<div class=\"results\">\n";
    if (results.empty()) {
        page += "<p class=\"no-results\">No pages found matching: <b>" + q + "</b></p>\n";
    } else {
        page += "<div class=\"serp-results\"><ul class=\"results-standard\">\n";
        for (std::size_t i = 0; i < results.size(); ++i) {
            const WebResult& r = results[i];
            const std::string a = EscapeText(r.Url);
            page += "<li class=\"r" + std::to_string(static_cast<std::size_t>(first) + i + 1) +
                    "\"><a class=\"ob\" href=\"" + a + "\"><span class=\"i\">" + Display(r) +
                    "</span></a><h2><a class=\"title\" href=\"" + a + "\">" + EscapeText(r.Title) +
                    "</a></h2><p class=\"s\">" + EscapeText(r.Snippet) + "</p></li>\n";
        }
        page += "</ul></div>\n";
        page += "<div class=\"pagination\"><ul>";
        if (first > 0) {
            const std::int64_t previous = std::max<std::int64_t>(0, first - kMojeekPageSize);
            page += "<li><a class=\"prev\" href=\"/search?q=" + qurl +
                    (previous > 0 ? "&amp;s=" + std::to_string(previous) : std::string()) +
                    "\">Previous</a></li>";
        }
        const std::int64_t next = first + kMojeekPageSize;
        if (next < total && next < 10 * kMojeekPageSize) {
            page += "<li><a class=\"next\" href=\"/search?q=" + qurl +
                    "&amp;s=" + std::to_string(next) + "\">Next</a></li>";
        }
        page += "</ul></div>\n";
    }
    page += "</div>\n</body></html>\n";
    return page;
}

std::string MojeekRateLimitPage() {
    return Head("403 - Forbidden") +
           "<h1>Sorry, your network appears to be sending automated queries</h1>\n"
           "<p>Please try again later.</p>\n</body></html>\n";
}

// ---- Yahoo -------------------------------------------------------------------

std::string YahooWrap(const SyntheticWeb& web, std::string_view url) {
    const std::uint64_t h = web.Mix("yahoo-wrap", url);
    return "https://r.search.yahoo.com/_ylt=" + Token(web, "yahoo-ylt", url, 24) +
           ";_ylu=" + Token(web, "yahoo-ylu", url, 40) +
           "/RV=2/RE=" + std::to_string(1780000000 + h % 1000000) +
           "/RO=10/RU=" + base::PercentEncode(url, false, true) +
           "/RK=2/RS=" + Token(web, "yahoo-rs", url, 27) + "-";
}

std::string YahooPage(const SyntheticWeb& web, std::string_view query, std::int64_t b,
                      std::int64_t pageSize) {
    const std::int64_t size = std::clamp<std::int64_t>(pageSize, 1, 100);
    const std::vector<WebResult> all = WebResults(web, query);
    const auto total = static_cast<std::int64_t>(all.size());
    std::int64_t first = std::max<std::int64_t>(1, b) - 1;
    // Past the end, the last page again.
    if (total > 0 && first >= total)
        first = (total - 1) / size * size;
    const std::vector<WebResult> results = PageOf(all, first, size);
    const std::string q = EscapeText(query);
    const std::string qurl = QueryInLink(query);

    std::string page = Head(q + " - Yahoo Search Results", "en-US");
    page +=
        "<div id=\"sbq-wrap\"><form id=\"sf\" action=\"/search\" method=\"get\">"
        "<input type=\"text\" name=\"p\" value=\"" +
        q +
        "\" autocomplete=\"off\"><button type=\"submit\">Search</button></form></div>\n"
        "<div id=\"results\"><div id=\"cols\"><div id=\"left\"><div id=\"main\">"
        "<div id=\"web\">\n";
    if (results.empty()) {
        page +=
            "<ol class=\"reg searchCenterMiddle\"><li><div class=\"dd zrp\"><p>We did not "
            "find results for: <b>" +
            q + "</b>. Check spelling or type a new query.</p></div></li></ol>\n";
    } else {
        const std::uint32_t adSite = AdSite(web, "yahoo-ad", query, first, results);
        page +=
            "<ol class=\"searchCenterTopAds\"><li><div class=\"dd ads\"><div class=\"compTitle\">"
            "<a href=\"https://r.search.yahoo.com/cbclk2/" +
            Token(web, "yahoo-ad", web.HostOf(adSite), 40) +
            "/RS=" + Token(web, "yahoo-ad-rs", web.HostOf(adSite), 20) + "-\">" +
            EscapeText(web.NameOf(adSite)) +
            " - Official Site</a></div><div class=\"compText\"><p>Ad</p></div></div></li></ol>\n";
        page += "<ol class=\"reg searchCenterMiddle\">\n";
        for (std::size_t i = 0; i < results.size(); ++i) {
            const WebResult& r = results[i];
            page += std::string(i == 0 ? "<li class=\"first\">" : "<li>") +
                    "<div class=\"dd algo algo-sr relsrch" + (i == 0 ? " fst" : "") +
                    " Sr\"><div class=\"compTitle options-toggle\"><a class=\"d-ib fz-20 lh-26 "
                    "td-hu tc va-bot mxw-100p\" href=\"" +
                    EscapeText(YahooWrap(web, r.Url)) +
                    "\" referrerpolicy=\"origin\" target=\"_blank\"><span class=\"d-b fz-14\">" +
                    Display(r) + "</span><span class=\"title\">" + EscapeText(r.Title) +
                    "</span></a></div><div class=\"compText aAbs\"><p><span class=\"fc-falcon\">" +
                    EscapeText(r.Snippet) + "</span></p></div></div></li>\n";
        }
        page += "</ol>\n<div class=\"compPagination\">";
        if (first > 0) {
            page += "<a class=\"prev\" href=\"https://search.yahoo.com/search?p=" + qurl +
                    "&amp;b=" + std::to_string(std::max<std::int64_t>(1, first + 1 - size)) +
                    "&amp;pz=" + std::to_string(size) + "&amp;bct=0&amp;xargs=0\">Prev</a>";
        }
        if (first + size < total) {
            page += "<a class=\"next\" href=\"https://search.yahoo.com/search?p=" + qurl +
                    "&amp;b=" + std::to_string(first + size + 1) +
                    "&amp;pz=" + std::to_string(size) + "&amp;bct=0&amp;xargs=0\">Next</a>";
        }
        page += "</div>\n";
    }
    page += "</div></div></div></div></div>\n</body></html>\n";
    return page;
}

// ---- Brave -------------------------------------------------------------------

std::string BravePage(const SyntheticWeb& web, std::string_view query, std::int64_t offset) {
    const std::vector<WebResult> all = WebResults(web, query);
    const std::vector<WebResult> results =
        offset < 0 || offset > kBraveLastOffset
            ? std::vector<WebResult>()
            : PageOf(all, offset * kBravePageSize, kBravePageSize);
    const auto total = static_cast<std::int64_t>(all.size());
    const std::string q = EscapeText(query);
    const std::string qurl = QueryInLink(query);

    std::string page = Head(q + " - Brave Search");
    page +=
        "<header><form action=\"/search\" method=\"get\" role=\"search\"><input type=\"text\" "
        "name=\"q\" value=\"" +
        q +
        "\"><input type=\"hidden\" name=\"source\" value=\"web\"></form></header>\n"
        "<main><div id=\"results\" class=\"section\">\n";
    if (results.empty()) {
        page +=
            "<div class=\"no-results\"><p>Not many great matches came back for your search: "
            "<b>" +
            q + "</b></p></div>\n";
    } else {
        const std::uint32_t adSite = AdSite(web, "brave-ad", query, offset, results);
        page +=
            "<div class=\"snippet ad svelte-1ckr3bg\" data-type=\"ad\"><a href=\"/a/redirect?"
            "click_url=" +
            EscapeText(base::PercentEncode("https://" + web.HostOf(adSite) + "/offers/")) +
            "&amp;placement_id=" + Token(web, "brave-ad", web.HostOf(adSite), 16) +
            "\" class=\"heading-serpresult\"><div class=\"title\">" +
            EscapeText(web.NameOf(adSite)) +
            " - Official Site</div></a><div class=\"ad-badge\">Ad</div></div>\n";
        for (std::size_t i = 0; i < results.size(); ++i) {
            const WebResult& r = results[i];
            page += "<div class=\"snippet svelte-1ckr3bg\" data-pos=\"" + std::to_string(i + 1) +
                    "\" data-type=\"web\"><a href=\"" + EscapeText(r.Url) +
                    "\" class=\"heading-serpresult svelte-1ckr3bg\" target=\"_self\">"
                    "<div class=\"site-name-wrapper\"><div class=\"site-name-content\">"
                    "<div class=\"desktop-small-semibold t-primary\">" +
                    EscapeText(web.NameOf(r.Site)) + "</div><cite class=\"snippet-url\">" +
                    Display(r) + "</cite></div></div><div class=\"title search-snippet-title\">" +
                    EscapeText(r.Title) +
                    "</div></a><div class=\"snippet-content\"><div class=\"snippet-description\">" +
                    EscapeText(r.Snippet) + "</div></div></div>\n";
        }
    }
    page += "</div>\n<div id=\"pagination\">";
    if (offset > 0 && offset <= kBraveLastOffset + 1) {
        page += "<a class=\"button\" href=\"/search?q=" + qurl +
                "&amp;source=web&amp;offset=" + std::to_string(offset - 1) + "\">Previous</a>";
    }
    if (!results.empty() && offset < kBraveLastOffset && (offset + 1) * kBravePageSize < total) {
        page += "<a class=\"button\" href=\"/search?q=" + qurl +
                "&amp;source=web&amp;offset=" + std::to_string(offset + 1) + "\">Next</a>";
    }
    page += "</div></main>\n</body></html>\n";
    return page;
}

}  // namespace corvane::demo
