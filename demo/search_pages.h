// Today's search sources in the demo web: the JSON API of a metasearch
// instance and the results pages of four search sites, each in the markup
// and with the paging of the real one, all listing the one list of
// web_results.h.
//
// What each page carries for a scraper:
// - JSON: results[].url, 10 a page (pageno from 1), none past the list.
// - html.duckduckgo.com/html/: //div[@id="links"]/div[contains(@class,
//   "web-result")]//h2/a/@href, some of them wrapped as
//   //duckduckgo.com/l/?uddg=<encoded target>&rut=...; one ad per page in
//   #links (a div without "web-result", linking to duckduckgo.com/y.js?);
//   //input[@name="vqd"]/@value ties later pages to the query: 10 results
//   on the first page, 15 from offset s on later ones, none when s comes
//   without the query's vqd.
// - www.mojeek.com/search: //ul[@class="results-standard"]/li/a[@class="ob"]
//   /@href, 10 a page from offset s; an s on the first page (s=0) is
//   answered as a rate limit.
// - search.yahoo.com/search: //div[contains(@class,"algo-sr")]//div[contains
//   (@class,"compTitle")]/a/@href, each wrapped as https://r.search.yahoo.com
//   /_ylt=.../RU=<encoded target>/RK=2/RS=...-; pz a page (7 unless asked)
//   from the 1-based offset b; past the end, the last page again.
// - search.brave.com/search: //div[contains(@class,'snippet ')]//a/@href,
//   10 a page, page `offset` (from 0, at most 9); one ad a page, linked
//   relatively.
// Text from the request is escaped wherever it is echoed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "demo/synthetic_web.h"

namespace corvane::demo {

inline constexpr std::int64_t kSearxPageSize = 10;
inline constexpr std::int64_t kDuckFirstPageSize = 10;
inline constexpr std::int64_t kDuckPageSize = 15;
inline constexpr std::int64_t kMojeekPageSize = 10;
inline constexpr std::int64_t kYahooPageSize = 7;
inline constexpr std::int64_t kBravePageSize = 10;
inline constexpr std::int64_t kBraveLastOffset = 9;

// The JSON answer of the metasearch API for page `pageno` (1-based).
std::string SearxJson(const SyntheticWeb& web, std::string_view query, std::int64_t pageno);

// The vqd value the DuckDuckGo pages give for a query.
std::string DuckVqd(const SyntheticWeb& web, std::string_view query);
// The page for offset s (0 for the first page); `vqd` as the request sent
// it, `region` the kl value.
std::string DuckPage(const SyntheticWeb& web, std::string_view query, std::int64_t s,
                     std::string_view vqd, std::string_view region);

std::string MojeekPage(const SyntheticWeb& web, std::string_view query, std::int64_t s);
// What Mojeek answers (with 403) when asked too eagerly.
std::string MojeekRateLimitPage();

// `b` is the 1-based offset of the page's first result.
std::string YahooPage(const SyntheticWeb& web, std::string_view query, std::int64_t b,
                      std::int64_t pageSize);
// The wrapped form of a target URL on a Yahoo page.
std::string YahooWrap(const SyntheticWeb& web, std::string_view url);

std::string BravePage(const SyntheticWeb& web, std::string_view query, std::int64_t offset);

}  // namespace corvane::demo
