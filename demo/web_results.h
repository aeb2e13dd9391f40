// What today's search sources find for a query in the demo web: one ordered
// list of result pages per query. The JSON API and every results-page markup
// cut this one list into pages of their own sizes, so that every source
// lists the same pages in the same order.
//
// A keyword query lists the sites of the classic keyword listing, in its
// order; a domain query, `"D" -site:D` (pages that mention D), lists the
// sites of D's classic inbound listing. Each site gives one page, now and
// then two (a second page on the same host right after the first), and the
// list ends after a few dozen pages: today's sources stop paging early.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/synthetic_web.h"

namespace corvane::demo {

struct WebResult {
    std::uint32_t Site = 0;
    std::string Host;     // the site's host, as the population lists it
    std::string Url;      // "https://HOST/path", unescaped
    std::string Path;     // the URL's path and query
    std::string Title;    // plain text
    std::string Snippet;  // plain text
};

// The most results any query gives.
inline constexpr std::int64_t kMaxWebResults = 60;

// D, lower-cased, of a query of the form `"D" -site:D` (blanks around the
// parts allowed; the two D the same but for case); nothing for any other
// query.
std::optional<std::string> MentionedDomain(std::string_view query);

// Every result of a query, best first; empty for a query with no words, or
// a domain no page links to.
std::vector<WebResult> WebResults(const SyntheticWeb& web, std::string_view query);

// The results at 0-based positions [first, first + count) of the list,
// fewer at its end, none past it.
std::vector<WebResult> WebResultsPage(const SyntheticWeb& web, std::string_view query,
                                      std::int64_t first, std::int64_t count);
// The same cut from a list at hand (a page that also states the total).
std::vector<WebResult> PageOf(const std::vector<WebResult>& all, std::int64_t first,
                              std::int64_t count);

}  // namespace corvane::demo
