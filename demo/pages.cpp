#include "demo/pages.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "base/ascii.h"
#include "base/percent_text.h"
#include "demo/page_text.h"

namespace corvane::demo {

namespace {

// The ASCII words of a keyword, lower-cased, for URL paths.
std::vector<std::string> SlugWords(std::string_view keyword) {
    std::vector<std::string> words;
    std::string word;
    for (char c : keyword) {
        if (base::IsLetterOrDigit(c)) {
            word += base::LowerAscii(c);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    if (words.empty())
        words.push_back("search");
    return words;
}

std::string Join(const std::vector<std::string>& words, std::string_view before,
                 std::string_view after, std::string_view between) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            out += between;
        out += before;
        out += words[i];
        out += after;
    }
    return out;
}

// A display name for any host: the site's own for one of the population,
// else its first label.
std::string NameForHost(const SyntheticWeb& web, std::string_view host) {
    if (const auto site = web.SiteOfHost(host))
        return web.NameOf(*site);
    std::string bare = BareDomainOf(host);
    bare = bare.substr(0, bare.find('.'));
    return bare.empty() ? std::string("Home") : TitleCase(bare);
}

constexpr const char* kFillers[] = {
    "Free shipping on orders over $50.",
    "Family owned and run since 1987.",
    "Updated every week with new listings.",
    "Browse the catalogue, the reviews and our how-to articles.",
    "Serving customers all over the country.",
    "Compare prices and read what other customers say.",
    "Photos, directions and opening hours.",
    "Tips, guides and a friendly forum.",
    "Quality you can trust at a fair price.",
    "Sign up for the newsletter and hear of every offer first.",
    "Friendly advice by phone or e-mail, six days a week.",
    "Gift vouchers available all year round.",
};

constexpr const char* kPageStyle =
    "<style>body{font-family:arial,sans-serif;font-size:small;margin:8px 16px}"
    "em{color:#008000;font-style:normal}.res{margin:0 0 14px}"
    ".abs{color:#333}#info{background:#eef;padding:3px}</style>";

// ---- results pages -------------------------------------------------------

struct Entry {
    std::string Href;
    std::string Title;     // markup
    std::string Abstract;  // markup
    std::string Display;   // markup: what goes into the em element
    int SizeK = 0;
};

std::string ListingPage(std::string_view query, std::int64_t total, std::int64_t listable,
                        std::int64_t first, std::int64_t count, const std::vector<Entry>& entries) {
    const std::string q = EscapeText(query);
    const std::string qurl = base::PercentEncode(query, true);
    std::string page;
    page.reserve(4096 + entries.size() * 600);
    page += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + q +
            " - Web Search</title>\n";
    page += kPageStyle;
    page += "</head>\n<body>\n<div id=\"hd\"><a href=\"/\"><b>Web Search</b></a>\n";
    page +=
        "<form action=\"/search\" method=\"get\"><input type=\"text\" name=\"p\" size=\"44\" "
        "value=\"" +
        q + "\"> <input type=\"submit\" value=\"Search\"></form></div>\n";
    // Only result entries are bare "<li>" items: a page without a total is
    // read from its start, tabs included.
    page +=
        "<ul class=\"tabs\"><li class=\"on\"><b>Web</b></li><li class=\"tab\">"
        "<a href=\"/search?p=" +
        qurl +
        "&amp;t=images\">Images</a></li><li class=\"tab\">"
        "<a href=\"/search?p=" +
        qurl +
        "&amp;t=news\">News</a></li><li class=\"tab\">"
        "<a href=\"/search?p=" +
        qurl + "&amp;t=dir\">Directory</a></li></ul>\n";

    page += "<div id=\"info\">";
    if (total == 0) {
        page += "We did not find results for <b>" + q +
                "</b>. Check your spelling or try different words.";
    } else if (entries.empty()) {
        page += "No results past <b>" + GroupThousands(listable) + "</b>; of about <b>" +
                GroupThousands(total) + "</b> for <b>" + q + "</b>";
    } else {
        const std::int64_t last = first + static_cast<std::int64_t>(entries.size()) - 1;
        page += "Results <b>" + GroupThousands(first) + "</b> - <b>" + GroupThousands(last) +
                "</b> of about <b>" + GroupThousands(total) + "</b> for <b>" + q + "</b>";
    }
    page += "</div>\n";

    if (!entries.empty()) {
        page +=
            "<div id=\"web\"><h2>Web Results</h2>\n<ol start=\"" + std::to_string(first) + "\">\n";
        for (const Entry& e : entries) {
            page += "<li><div class=\"res\"><a class=\"t\" href=\"" + e.Href + "\">" + e.Title +
                    "</a>\n<div class=\"abs\">" + e.Abstract + "</div>\n<em>" + e.Display +
                    "</em> - " + std::to_string(e.SizeK) + "k</div></li>\n";
        }
        page += "</ol></div>\n";
    }

    if (listable > 0) {
        page += "<div id=\"pg\">Result pages:";
        const std::int64_t step = std::max<std::int64_t>(count, 1);
        auto link = [&](std::int64_t b, const std::string& text) {
            page += " <a href=\"/search?p=" + qurl + "&amp;n=" + std::to_string(step) +
                    "&amp;b=" + std::to_string(b) + "\">" + text + "</a>";
        };
        if (first > 1)
            link(std::max<std::int64_t>(1, first - step), "&lt; Prev");
        const std::int64_t current = (first - 1) / step;
        for (std::int64_t p = std::max<std::int64_t>(0, current - 4);
             p <= current + 4 && p * step < listable; ++p) {
            if (p == current) {
                page += " <b>" + std::to_string(p + 1) + "</b>";
            } else {
                link(p * step + 1, std::to_string(p + 1));
            }
        }
        if (first + step <= listable)
            link(first + step, "Next &gt;");
        page += "</div>\n";
    }
    page +=
        "<div id=\"ft\">&copy; 2026 Web Search - a page of the Corvane demo web</div>\n"
        "</body></html>\n";
    return page;
}

std::int64_t ListedCount(std::int64_t listable, std::int64_t first, std::int64_t count) {
    if (first < 1 || count < 1 || first > listable)
        return 0;
    return std::min(count, listable - first + 1);
}

Entry KeywordEntry(const SyntheticWeb& web, std::string_view keyword, std::uint32_t site,
                   std::int64_t index) {
    const std::string& host = web.HostOf(site);
    const std::string name = EscapeText(web.NameOf(site));
    const std::uint64_t h = web.Mix("keyword-entry", keyword, static_cast<std::uint64_t>(index));
    const std::vector<std::string> words = SlugWords(keyword);
    const std::string slug = Join(words, "", "", "-");
    const std::string bold = Join(words, "<b>", "</b>", "-");
    const std::string kw = "<b>" + EscapeText(keyword) + "</b>";
    const std::string kwTitle = "<b>" + EscapeText(TitleCase(keyword)) + "</b>";

    static constexpr const char* kPaths[] = {
        "/",
        "/{}.html",
        "/products/{}/",
        "/articles/{}-guide.html",
        "/index.php?cat={}",
        "/shop/{}/index.html",
    };
    const char* path = Pick(kPaths, h);
    static constexpr const char* kTitles[] = {
        "{} - {}", "{} at {}", "{}: {}, tips and more", "Best {} | {}", "{} | {} guide",
    };
    const std::size_t t = (h >> 8) % std::size(kTitles);
    static constexpr const char* kAbstracts[] = {
        "{} has everything about {}. {}",
        "Find {} and much more at {}. {}",
        "{} Read our notes on {} before you buy.",
        "Looking for {}? {} can help. {}",
    };
    const std::size_t a = (h >> 16) % std::size(kAbstracts);
    const std::string filler = Pick(kFillers, h >> 24);

    Entry e;
    e.Href = "http://" + EscapeText(host) + Fill(path, {slug});
    switch (t) {
        case 0:
            e.Title = Fill(kTitles[t], {name, kwTitle});
            break;
        case 1:
            e.Title = Fill(kTitles[t], {kwTitle, name});
            break;
        case 3:
            e.Title = Fill(kTitles[t], {kw, name});
            break;
        default:
            e.Title = Fill(kTitles[t], {name, kwTitle});
            break;
    }
    switch (a) {
        case 0:
            e.Abstract = Fill(kAbstracts[a], {name, kw, filler});
            break;
        case 1:
            e.Abstract = Fill(kAbstracts[a], {kw, name, filler});
            break;
        case 2:
            e.Abstract = Fill(kAbstracts[a], {filler, kw});
            break;
        default:
            e.Abstract = Fill(kAbstracts[a], {kw, name, filler});
            break;
    }
    // Search services bold the query's words in the shown URL too; they stay
    // in the path, after the host's first "/".
    e.Display = EscapeText(host) + Fill(path, {bold});
    e.SizeK = static_cast<int>(4 + (h >> 32) % 60);
    return e;
}

Entry LinkingEntry(const SyntheticWeb& web, std::string_view target, std::uint32_t site,
                   std::int64_t index) {
    const std::string& host = web.HostOf(site);
    const std::string name = EscapeText(web.NameOf(site));
    const std::uint64_t h = web.Mix("linking-entry", target, static_cast<std::uint64_t>(index));
    const std::string year = std::to_string(2001 + h % 6);
    const std::string month = std::to_string(101 + (h >> 4) % 12).substr(1);
    const std::string topic = std::to_string(1000 + (h >> 8) % 9000);
    static constexpr const char* kSections[] = {"shopping", "local",  "business",
                                                "hobbies",  "travel", "home-and-garden"};
    const std::string section = Pick(kSections, h >> 12);
    const std::string t = EscapeText(target);

    Entry e;
    std::string path;
    switch ((h >> 16) % 6) {
        case 0:
            path = "/links.html";
            e.Title = name + " - Useful links";
            e.Abstract = "Sites we like and use ourselves, among them " + t + ".";
            break;
        case 1:
            path = "/blog/" + year + "/" + month + "/";
            e.Title = name + " Blog";
            e.Abstract = "A short note from " + month + "/" + year + " that points to " + t + ".";
            break;
        case 2:
            path = "/resources/";
            e.Title = "Resources | " + name;
            e.Abstract = "Guides, suppliers and other resources. See " + t + " for more.";
            break;
        case 3:
            path = "/forum/viewtopic.php?t=" + topic;
            e.Title = name + " Forum :: View topic";
            e.Abstract = "Has anyone tried " + t + "? Replies and recommendations inside.";
            break;
        case 4:
            path = "/partners.html";
            e.Title = "Our partners - " + name;
            e.Abstract = "We are proud to work with " + t + " and others.";
            break;
        default:
            path = "/directory/" + section + "/";
            e.Title = name + " Directory: " + TitleCase(section);
            e.Abstract = "Listed in the " + section + " section: " + t + ".";
            break;
    }
    e.Href = "http://" + EscapeText(host) + EscapeText(path);
    e.Display = EscapeText(host) + EscapeText(path);
    e.SizeK = static_cast<int>(3 + (h >> 32) % 40);
    return e;
}

// ---- home pages ------------------------------------------------------------

struct RelativeLink {
    const char* Href;
    const char* Text;
};
// None names a scheme or "www.": none is an absolute anchor.
constexpr RelativeLink kRelativeLinks[] = {
    {"/", "Home"},
    {"/about.html", "About us"},
    {"/products/", "Products"},
    {"/services.html", "Services"},
    {"/news/", "News"},
    {"/contact.html", "Contact"},
    {"/faq.html", "FAQ"},
    {"/blog/", "Blog"},
    {"/gallery/", "Gallery"},
    {"/order.php", "Order online"},
    {"#top", "Back to top"},
    {"specials.html", "This week's specials"},
    {"/catalog.pdf", "Catalogue (PDF)"},
    {"/jobs.html", "Jobs"},
    {"?page=2", "More"},
    {"/press/", "Press"},
    {"../archive/", "Archive"},
    {"/support/", "Support"},
    {"/login.php", "Log in"},
    {"/cart.php", "Shopping cart"},
    {"/sitemap.html", "Site map"},
    {"/privacy.html", "Privacy"},
    {"/terms.html", "Terms of use"},
};

std::string RelativeAnchor(std::size_t i) {
    const RelativeLink& link = kRelativeLinks[i % std::size(kRelativeLinks)];
    return std::string("<a href=\"") + link.Href + "\">" + link.Text + "</a>";
}

std::string AbsoluteAnchor(const SyntheticWeb& web, std::string_view host, std::int32_t i) {
    const std::uint64_t h = web.Mix("outbound", host, static_cast<std::uint64_t>(i));
    std::uint32_t site = static_cast<std::uint32_t>(h % web.SiteCount());
    if (web.SiteOfHost(host) == site)
        site = (site + 1) % web.SiteCount();
    const std::string other = EscapeText(web.HostOf(site));
    const std::string name = EscapeText(web.NameOf(site));
    switch ((h >> 32) % 10) {
        case 0:
            return "<a href=\"https://" + other + "/\">" + name + "</a>";
        case 1:
            return "<A HREF=\"http://" + other + "/index.html\" TARGET=\"_blank\">" + name + "</A>";
        case 2:
            return "<a href=\"http://" + EscapeText(host) + "/contact.html\">Write to us</a>";
        default:
            return "<a href=\"http://" + other + "/\">" + name + "</a>";
    }
}

}  // namespace

std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (base::StartsWithIgnoringCase(text.substr(i), "of about") ||
            base::StartsWithIgnoringCase(text.substr(i), "traffic rank for ")) {
            out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control bytes from a query have no place in a page.
                out += c != '\t' && base::IsControl(c) ? ' ' : c;
                break;
        }
    }
    return out;
}

std::string KeywordResultsPage(const SyntheticWeb& web, std::string_view query, std::int64_t first,
                               std::int64_t count) {
    const std::string keyword = NormaliseKeyword(query);
    const std::int64_t listable = web.KeywordListable(keyword);
    std::vector<Entry> entries;
    const std::int64_t listed = ListedCount(listable, first, count);
    for (std::int64_t i = first; i < first + listed; ++i) {
        entries.push_back(KeywordEntry(web, keyword, web.KeywordResult(keyword, i), i));
    }
    return ListingPage(query, web.KeywordTotal(keyword), listable, first, count, entries);
}

std::string LinkResultsPage(const SyntheticWeb& web, std::string_view query,
                            std::string_view target, std::int64_t first, std::int64_t count) {
    const std::string t = NormaliseTarget(target);
    const std::int64_t listable = web.InboundListable(t);
    std::vector<Entry> entries;
    const std::int64_t listed = ListedCount(listable, first, count);
    for (std::int64_t i = first; i < first + listed; ++i) {
        entries.push_back(LinkingEntry(web, t, web.LinkingSite(t, i), i));
    }
    return ListingPage(query, web.InboundTotal(t), listable, first, count, entries);
}

std::string HomePage(const SyntheticWeb& web, std::string_view hostText) {
    const std::string host = HostPart(hostText);
    const std::string bare = BareDomainOf(host);
    const std::string name = EscapeText(NameForHost(web, host));
    const std::uint64_t h = web.Mix("home", host);
    const std::int32_t absolute = web.AbsoluteAnchors(host);
    const std::int32_t relative = web.RelativeAnchors(host);
    static constexpr const char* kTaglines[] = {
        "Welcome", "Official site", "Quality and service", "Since 1998", "Home page",
    };

    // The relative anchors: one named anchor, the navigation bar, links in
    // the text and the footer; the absolute ones: a partner list and the
    // designer's credit in the footer.
    std::int32_t left = relative - 1;
    const std::int32_t nav = std::min<std::int32_t>(6, left);
    left -= nav;
    const std::int32_t footer = std::min<std::int32_t>(4, left);
    left -= footer;
    const std::int32_t inText = left;
    std::size_t nextRelative = static_cast<std::size_t>(h % std::size(kRelativeLinks));
    auto relativeRun = [&](std::int32_t n) {
        std::string out;
        for (std::int32_t i = 0; i < n; ++i) {
            if (i > 0)
                out += " | ";
            out += RelativeAnchor(nextRelative++);
        }
        return out;
    };

    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + name +
                       " - " + Pick(kTaglines, h >> 8) + "</title>\n" +
                       "<link rel=\"stylesheet\" href=\"/css/site.css\"></head>\n<body>\n" +
                       "<a name=\"top\"></a>\n<div id=\"header\"><img src=\"/images/logo.gif\" "
                       "alt=\"" +
                       name + "\"> <h1>" + name + "</h1></div>\n";

    page += "<ul id=\"nav\">";
    for (std::int32_t i = 0; i < nav; ++i) {
        page += "<li>" + RelativeAnchor(nextRelative++) + "</li>";
    }
    page += "</ul>\n<div id=\"content\">\n<h2>Welcome to " + name + "</h2>\n";

    const std::int32_t paragraphs = 1 + static_cast<std::int32_t>((h >> 16) % 3);
    for (std::int32_t p = 0; p < paragraphs; ++p) {
        // Two different sentences per paragraph.
        const std::uint64_t m = web.Mix("home-text", host, static_cast<std::uint64_t>(p));
        const std::size_t one = m % std::size(kFillers);
        const std::size_t two =
            (one + 1 + (m >> 16) % (std::size(kFillers) - 1)) % std::size(kFillers);
        page += "<p>";
        page += kFillers[one];
        page += ' ';
        page += kFillers[two];
        const std::int32_t here =
            p + 1 == paragraphs ? inText - (inText / paragraphs) * p : inText / paragraphs;
        if (here > 0)
            page += " See " + relativeRun(here) + ".";
        page += "</p>\n";
    }

    if (absolute > 1) {
        page += "<h3>Friends and partners</h3>\n<ul class=\"links\">\n";
        for (std::int32_t i = 0; i + 1 < absolute; ++i) {
            page += "<li>" + AbsoluteAnchor(web, host, i) + "</li>\n";
        }
        page += "</ul>\n";
    }
    // A mail link is relative too, as long as the address names no web host.
    const bool mail = footer > 0 && !bare.empty() && !base::Contains(bare, "www.") &&
                      !base::Contains(bare, "http") && !base::Contains(bare, "\"");
    page += "</div>\n<div id=\"footer\">" + relativeRun(mail ? footer - 1 : footer);
    if (mail)
        page += " | <a href=\"mailto:info@" + EscapeText(bare) + "\">E-mail us</a>";
    if (absolute > 0)
        page += " | Site by " + AbsoluteAnchor(web, host, absolute - 1);
    page += "<br>&copy; 2006 " + EscapeText(bare) + "</div>\n</body></html>\n";
    return page;
}

std::string DetailsPage(const SyntheticWeb& web, std::string_view url) {
    const std::string domain = BareDomainOf(HostPart(url));
    const std::string d = EscapeText(domain);
    const std::uint64_t h = web.Mix("details", domain);
    const auto rank = web.TrafficRank(domain);
    // The inbound total a link: search for the site's own host states.
    const auto site = web.SiteOfHost(domain);
    const std::string linkTarget = site ? web.HostOf(*site) : domain;

    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Site Info: " + d +
        "</title>\n" + kPageStyle + "</head>\n<body>\n" +
        "<div id=\"hd\"><a href=\"/\"><b>Site Info</b></a> | "
        "<a href=\"/data/top/\">Top sites</a></div>\n" +
        "<h1>Site details for " + d + "</h1>\n<div id=\"rank\">";
    // From the phrase to the next "<br>", digits follow a ">" only where
    // they are the rank's own: each digit has a tag of its own.
    page += "Traffic Rank for " + d + ": ";
    if (rank) {
        std::uint64_t k = h;
        for (char c : GroupThousands(*rank)) {
            if (c == ',') {
                page += ',';
                continue;
            }
            if ((k & 1) == 0) {
                page += std::string("<b>") + c + "</b>";
            } else {
                page += "<span class=\"d" + std::string(1, static_cast<char>('a' + (k >> 1) % 6)) +
                        "\">" + c + "</span>";
            }
            k >>= 3;
        }
    } else {
        page += "No data";
    }
    page += "<br>\n<span class=\"note\">Three-month average</span></div>\n";
    page += "<table class=\"facts\"><tr><td>Sites linking in</td><td>" +
            GroupThousands(web.InboundTotal(linkTarget)) +
            "</td></tr>\n<tr><td>Online since</td><td>" + std::to_string(1995 + h % 12) +
            "</td></tr>\n<tr><td>Speed</td><td>" + std::to_string(200 + (h >> 8) % 2800) +
            " ms</td></tr></table>\n";
    page +=
        "<div id=\"ft\">&copy; 2026 Site Info - a page of the Corvane demo web</div>\n"
        "</body></html>\n";
    return page;
}

std::string IndexPage(const SyntheticWeb& web) {
    const std::string host = EscapeText(web.HostOf(0));
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Corvane demo web"
           "</title></head>\n<body>\n<h1>Corvane demo web</h1>\n"
           "<p>A synthetic, deterministic web for trying Corvane out. Use this address as an "
           "HTTP proxy, or point the search and traffic services at it.</p>\n"
           "<h2>Classic services</h2>\n<ul>\n"
           "<li><a href=\"/search?p=%22blue+widgets%22&amp;ei=UTF-8&amp;n=10&amp;b=1\">"
           "A keyword search</a></li>\n"
           "<li><a href=\"/search?p=link%3Ahttp%3A%2F%2F" +
           host +
           "\">A link: search</a></li>\n"
           "<li><a href=\"/data/details/?url=" +
           host +
           "\">A site-details page</a></li>\n"
           "</ul>\n<h2>Today's web</h2>\n"
           "<p>Search sources and rank lists at their own hosts, through this address as "
           "the proxy (https:// addresses asked as http://):</p>\n<ul>\n"
           "<li><a href=\"/search?q=garden+tools&amp;format=json&amp;pageno=1\">"
           "The metasearch JSON API</a> (also on any host named searx&hellip;, e.g. "
           "<code>http://searx.demo/search?q=garden+tools&amp;format=json</code>)</li>\n"
           "<li><code>POST http://html.duckduckgo.com/html/</code> with the form "
           "<code>q=garden+tools&amp;b=&amp;kl=wt-wt</code></li>\n"
           "<li><code>http://www.mojeek.com/search?q=garden+tools</code></li>\n"
           "<li><code>http://search.yahoo.com/search?p=garden+tools</code> "
           "(then <code>&amp;b=8&amp;pz=7</code>)</li>\n"
           "<li><code>http://search.brave.com/search?q=garden+tools&amp;source=web&amp;"
           "offset=0</code></li>\n"
           "<li><code>http://tranco-list.eu/top-1m.csv.zip</code> and "
           "<code>http://tranco-list.eu/top-1m-id</code>: traffic ranks</li>\n"
           "<li><code>http://downloads.majestic.com/majestic_million.csv</code>: "
           "inbound links</li>\n"
           "</ul>\n</body></html>\n";
}

std::string NotFoundPage(std::string_view host, std::string_view path) {
    return "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n<body>\n"
           "<h1>Not Found</h1>\n<p>The requested URL " +
           EscapeText(path) + " was not found on " +
           (host.empty() ? std::string("this server") : EscapeText(host)) +
           ".</p>\n<hr><address>corvane-demo-web</address>\n</body></html>\n";
}

}  // namespace corvane::demo
