// A survey as data: the rows a results page yields and, for each row, the
// pages its figures need, plus the figures computed from those pages once
// they are in. Nothing here fetches or waits; the serial run and the
// parallel run both build on these pieces, so they make the same requests
// and reach the same cells.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "engine/survey_host.h"
#include "engine/text_ops.h"

namespace corvane::engine {

// The link-value text of a row whose inbound or outbound figure is not an
// integer.
inline constexpr const char* kLinkValuePlaceholder = "n/a";

// The pages of one row, in the order the serial run fetches them.
enum class RowPage : std::uint8_t { Inbound = 0, Home = 1, Traffic = 2 };
inline constexpr std::size_t kRowPageCount = 3;
inline constexpr int kSurveyPort = 80;

// One row of a survey: the site (the row's caption), its rank, and the URL of
// each page its figures need, indexed by RowPage. The home page URL is empty
// for an empty site, whose outbound count is 0 without a fetch.
struct PlannedRow {
    std::string Site;
    std::int32_t Rank = 0;
    std::array<std::string, kRowPageCount> Urls;

    const std::string& Url(RowPage page) const { return Urls[static_cast<std::size_t>(page)]; }
    bool Needs(RowPage page) const { return !Url(page).empty(); }
    // The link value's divisor: rank + 1.
    std::int32_t Divisor() const { return WrapAdd(Rank, 1); }
};

struct SurveyPlan {
    std::vector<PlannedRow> Rows;
};

// The row of `site` at `rank`: its caption and the three page URLs.
PlannedRow PlanRow(const ServiceEndpoints& endpoints, std::string site, std::int32_t rank);

// Every row of a fetched results page, in rank order: the page is lower-cased
// and read from "of about" on (the whole page without it), one row per "<li>"
// entry, ranks counting up from skip + 1.
SurveyPlan PlanSurvey(const ServiceEndpoints& endpoints, std::string resultsPage,
                      std::int32_t skip);

// Takes the next result entry off the front of `page` (a lower-cased results
// page, which it shortens) and returns the entry's host text.
std::string NextResultHost(std::string_view& page);

// A page as a fetch left it: the body text, or the failure that left the
// fetch itself (no network client could be set up). A failed exchange is not
// such a failure: it gives the body bytes that had arrived.
struct FetchedPage {
    std::string Text;
    std::exception_ptr Error;

    bool Failed() const { return Error != nullptr; }
};

// The figure texts of a row from its pages, with the fallbacks of a failed
// fetch: an empty inbound figure, an outbound count of 0, no traffic rank.
// Each takes the page as fetched (not lower-cased). A page a row does not
// need (the home page of an empty site) is passed as an empty page.
std::string InboundCell(const FetchedPage& page);
std::string OutboundCell(const FetchedPage& page);
std::string TrafficCell(const FetchedPage& page);

// The link-value cell from the inbound and outbound cells. When either does
// not convert to an integer the cell is the placeholder and `notAnInteger`
// is the text that failed (the inbound one first): the run ends after the
// row.
struct LinkValueCell {
    std::string Text;
    bool Converted = true;
    std::string NotAnInteger;
};
LinkValueCell RowLinkValue(const std::string& inbound, const std::string& outbound,
                           std::int32_t divisor);

}  // namespace corvane::engine
