// The four per-site figures of a result row: inbound links, outbound links,
// link value and traffic rank. Each but the link value costs one page fetch
// through the host; all scraping is plain text search in the lower-cased
// page. No figure ever fails: each falls back to a fixed text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/survey_host.h"

namespace corvane::engine {

// The search query URL for the pages linking to `target`:
// SearchEndpoint + "/search?p=" + escaped "link:http://" + target.
std::string LinkQueryUrl(const ServiceEndpoints& endpoints, std::string_view target);

// Number of pages linking to the host, from a link: search. "0" when the
// page holds no figure; empty on any other failure.
std::string InboundLinks(SurveyHost& host, const std::string& site);

// The inbound figure of a lower-cased search page: the text between the first
// ">" and the first "</" of the 300 bytes from "of about" on ("0" when that is
// empty or the phrase is missing), without its separators.
std::string ScrapeInboundFigure(std::string_view lowPage);

// Number of "<a " tags on the host's home page that name an absolute target
// ("http://", "https://" or "www." anywhere in the tag), matched without
// regard to ASCII case.
std::int32_t OutboundLinks(SurveyHost& host, const std::string& site);
std::int32_t CountAbsoluteAnchors(std::string_view page);

// inbound × 10 ÷ (divisor × outbound), an outbound of 0 counted as 1 and a
// divisor of 0 giving 0; rounded to a whole number, halves away from zero.
std::string LinkValue(std::int32_t inbound, std::int32_t outbound, std::int32_t divisor);

// The host's traffic rank from the site-details page; "999999999" when none.
std::string TrafficRank(SurveyHost& host, const std::string& site);
std::string ScrapeTrafficRank(std::string_view lowPage);

inline constexpr const char* kNoTrafficRank = "999999999";

}  // namespace corvane::engine
