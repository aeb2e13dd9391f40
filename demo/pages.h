// The pages of the demo web: search results (keyword and link: queries),
// home pages, site-details pages and the error pages.
//
// The markup carries what a surveying client scrapes, and nothing that
// would mislead it: a results page states its total as "of about <b>N</b>"
// before its first "<li>" entry, lists each entry's URL in an em element
// after the entry's title and abstract, and has no "<li>" after its last
// entry; a details page writes every digit of the rank right after a tag's
// ">" between the "Traffic Rank for " phrase and the next "<br>"; a home
// page's absolute anchors are exactly the ones naming an http:// or https://
// target, its relative anchors name neither nor "www.". Text taken from the
// request is escaped so that it can neither add markup nor restate those
// phrases ahead of the real ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "demo/synthetic_web.h"

namespace corvane::demo {

// Results of a keyword query. `query` is the decoded "p" value as sent, for
// echoing; `first` is 1-based; at most `count` entries.
std::string KeywordResultsPage(const SyntheticWeb& web, std::string_view query, std::int64_t first,
                               std::int64_t count);

// Results of a "link:" query for `target` (what follows "link:").
std::string LinkResultsPage(const SyntheticWeb& web, std::string_view query,
                            std::string_view target, std::int64_t first, std::int64_t count);

// The home page of a host.
std::string HomePage(const SyntheticWeb& web, std::string_view host);

// The site-details page for the "url" value of a traffic query.
std::string DetailsPage(const SyntheticWeb& web, std::string_view url);

// What the demo web answers for "/" on its own address.
std::string IndexPage(const SyntheticWeb& web);

std::string NotFoundPage(std::string_view host, std::string_view path);

// HTML-escapes text, turns control bytes into blanks, and writes the first
// letter of any "of about" or "traffic rank for " in it (in any case) as a
// character reference.
std::string EscapeText(std::string_view text);

}  // namespace corvane::demo
