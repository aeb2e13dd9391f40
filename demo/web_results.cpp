#include "demo/web_results.h"

#include <algorithm>
#include <iterator>

#include "base/ascii.h"
#include "demo/page_text.h"

namespace corvane::demo {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The ASCII letters and digits of a text in runs joined by "-", lower-cased;
// "search" when it has none.
std::string Slug(std::string_view text) {
    std::string out;
    bool gap = false;
    for (char c : text) {
        if (base::IsLetterOrDigit(c)) {
            if (gap && !out.empty())
                out += '-';
            gap = false;
            out += base::LowerAscii(c);
        } else {
            gap = true;
        }
    }
    return out.empty() ? std::string("search") : out;
}

constexpr const char* kFillers[] = {
    "Free delivery on orders over $50.",
    "Family run since 1987.",
    "Updated every week.",
    "Read the reviews and our how-to articles.",
    "Prices, photos and opening hours.",
    "Friendly advice by phone or e-mail.",
    "Compare prices and read what customers say.",
    "Tips, guides and a friendly forum.",
};

// The number of results a query gives: a few dozen, at most what the
// listing behind it holds.
std::int64_t ListLength(const SyntheticWeb& web, std::string_view key, std::int64_t listable) {
    const auto spread = static_cast<std::uint64_t>(kMaxWebResults - 24 + 1);
    const auto length = 24 + static_cast<std::int64_t>(web.Mix("web-results", key) % spread);
    return std::min(length, listable);
}

bool HasSecondPage(const SyntheticWeb& web, std::string_view key, std::int64_t index) {
    return web.Mix("web-second", key, static_cast<std::uint64_t>(index)) % 6 == 0;
}

WebResult KeywordResult(const SyntheticWeb& web, std::string_view keyword, std::uint32_t site,
                        std::int64_t index, bool second) {
    const std::uint64_t h = web.Mix(second ? "web-keyword-second" : "web-keyword", keyword,
                                    static_cast<std::uint64_t>(index));
    const std::string slug = Slug(keyword);
    const std::string name = web.NameOf(site);
    const std::string title = TitleCase(keyword);
    const std::string year = std::to_string(2019 + h % 8);

    WebResult r;
    r.Site = site;
    r.Host = web.HostOf(site);
    if (second) {
        static constexpr const char* kPaths[] = {"/about.html", "/reviews/{}.html", "/contact.html",
                                                 "/faq.html"};
        static constexpr const char* kTitles[] = {"About us - {}", "{} reviews | {}", "Contact {}",
                                                  "FAQ - {}"};
        const std::size_t k = (h >> 8) % std::size(kPaths);
        r.Path = Fill(kPaths[k], {slug});
        r.Title = k == 1 ? Fill(kTitles[k], {title, name}) : Fill(kTitles[k], {name});
        r.Snippet =
            "More from " + name + " on " + std::string(keyword) + ". " + Pick(kFillers, h >> 16);
    } else {
        static constexpr const char* kPaths[] = {
            "/",
            "/{}.html",
            "/products/{}/",
            "/articles/{}-guide.html",
            "/shop/index.php?cat={}&sort=popular",
            "/blog/{}/{}/",
        };
        const std::size_t k = (h >> 8) % std::size(kPaths);
        r.Path = k == 5 ? Fill(kPaths[k], {year, slug}) : Fill(kPaths[k], {slug});
        switch ((h >> 16) % 4) {
            case 0:
                r.Title = name + " - " + title;
                break;
            case 1:
                r.Title = title + " at " + name;
                break;
            case 2:
                r.Title = "Best " + std::string(keyword) + " | " + name;
                break;
            default:
                r.Title = name + ": " + std::string(keyword) + ", tips and more";
                break;
        }
        const std::string filler = Pick(kFillers, h >> 24);
        switch ((h >> 32) % 3) {
            case 0:
                r.Snippet = name + " has everything about " + std::string(keyword) + ". " + filler;
                break;
            case 1:
                r.Snippet =
                    "Find " + std::string(keyword) + " and much more at " + name + ". " + filler;
                break;
            default:
                r.Snippet =
                    "Looking for " + std::string(keyword) + "? " + name + " can help. " + filler;
                break;
        }
    }
    r.Url = "https://" + r.Host + r.Path;
    return r;
}

WebResult MentionResult(const SyntheticWeb& web, std::string_view domain, std::uint32_t site,
                        std::int64_t index, bool second) {
    const std::uint64_t h = web.Mix(second ? "web-mention-second" : "web-mention", domain,
                                    static_cast<std::uint64_t>(index));
    const std::string name = web.NameOf(site);
    const std::string d(domain);

    WebResult r;
    r.Site = site;
    r.Host = web.HostOf(site);
    if (second) {
        r.Path = (h >> 8) % 2 == 0 ? "/about.html" : "/contact.html";
        r.Title = (h >> 8) % 2 == 0 ? "About us - " + name : "Contact " + name;
        r.Snippet = name + " works with " + d + " and other partners.";
    } else {
        static constexpr const char* kSections[] = {"shopping", "local",  "business",
                                                    "hobbies",  "travel", "home-and-garden"};
        const std::string year = std::to_string(2018 + h % 9);
        const std::string month = std::to_string(101 + (h >> 4) % 12).substr(1);
        switch ((h >> 16) % 6) {
            case 0:
                r.Path = "/links.html";
                r.Title = name + " - Useful links";
                r.Snippet = "Sites we like and use ourselves, among them " + d + ".";
                break;
            case 1:
                r.Path = "/blog/" + year + "/" + month + "/" + Slug(d) + ".html";
                r.Title = name + " Blog";
                r.Snippet = "A short note from " + month + "/" + year + " about " + d + ".";
                break;
            case 2:
                r.Path = "/resources/";
                r.Title = "Resources | " + name;
                r.Snippet = "Guides, suppliers and other resources. See " + d + " for more.";
                break;
            case 3:
                r.Path = "/forum/viewtopic.php?t=" + std::to_string(1000 + (h >> 24) % 9000) +
                         "&start=0";
                r.Title = name + " Forum :: View topic";
                r.Snippet = "Has anyone tried " + d + "? Replies and recommendations inside.";
                break;
            case 4:
                r.Path = "/partners.html";
                r.Title = "Our partners - " + name;
                r.Snippet = "We are proud to work with " + d + " and others.";
                break;
            default: {
                const std::string section = Pick(kSections, h >> 24);
                r.Path = "/directory/" + section + "/";
                r.Title = name + " Directory: " + TitleCase(section);
                r.Snippet = "Listed in the " + section + " section: " + d + ".";
                break;
            }
        }
    }
    r.Url = "https://" + r.Host + r.Path;
    return r;
}

}  // namespace

std::optional<std::string> MentionedDomain(std::string_view query) {
    std::string_view q = TrimBlanks(query);
    if (q.size() < 2 || q.front() != '"')
        return std::nullopt;
    const auto close = q.find('"', 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::string_view quoted = TrimBlanks(q.substr(1, close - 1));
    std::string_view rest = TrimBlanks(q.substr(close + 1));
    constexpr std::string_view kSite = "-site:";
    if (!base::StartsWithIgnoringCase(rest, kSite))
        return std::nullopt;
    const std::string_view site = TrimBlanks(rest.substr(kSite.size()));
    if (quoted.empty() || !base::EqualsIgnoringCase(quoted, site))
        return std::nullopt;
    for (char c : quoted) {
        if (c == ' ' || c == '\t' || c == '"' || base::IsControl(c))
            return std::nullopt;
    }
    return base::LowerAscii(quoted);
}

std::vector<WebResult> WebResults(const SyntheticWeb& web, std::string_view query) {
    std::vector<WebResult> out;
    if (const auto domain = MentionedDomain(query)) {
        const std::string target = NormaliseTarget(*domain);
        const std::int64_t length = ListLength(web, target, web.InboundListable(target));
        for (std::int64_t i = 1; static_cast<std::int64_t>(out.size()) < length; ++i) {
            const std::uint32_t site = web.LinkingSite(target, i);
            out.push_back(MentionResult(web, target, site, i, false));
            if (static_cast<std::int64_t>(out.size()) < length && HasSecondPage(web, target, i))
                out.push_back(MentionResult(web, target, site, i, true));
        }
        return out;
    }
    const std::string keyword = NormaliseKeyword(query);
    if (keyword.empty())
        return out;
    const std::int64_t length = ListLength(web, keyword, web.KeywordListable(keyword));
    for (std::int64_t i = 1; static_cast<std::int64_t>(out.size()) < length; ++i) {
        const std::uint32_t site = web.KeywordResult(keyword, i);
        out.push_back(KeywordResult(web, keyword, site, i, false));
        if (static_cast<std::int64_t>(out.size()) < length && HasSecondPage(web, keyword, i))
            out.push_back(KeywordResult(web, keyword, site, i, true));
    }
    return out;
}

std::vector<WebResult> WebResultsPage(const SyntheticWeb& web, std::string_view query,
                                      std::int64_t first, std::int64_t count) {
    return PageOf(WebResults(web, query), first, count);
}

std::vector<WebResult> PageOf(const std::vector<WebResult>& all, std::int64_t first,
                              std::int64_t count) {
    const auto size = static_cast<std::int64_t>(all.size());
    if (first < 0 || count <= 0 || first >= size)
        return {};
    const std::int64_t end = std::min(size, first + count);
    return {all.begin() + first, all.begin() + end};
}

}  // namespace corvane::demo
