#include "engine/survey_plan.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "engine/site_figures.h"

namespace corvane::engine {

namespace {

// Finds the first occurrence of a marker at or after a position that only
// ever moves forward, remembering the last hit so that a walk over the whole
// page searches each stretch once.
class ForwardFinder {
  public:
    explicit ForwardFinder(std::string_view marker) : marker_(marker) {}

    std::size_t Find(std::string_view text, std::size_t from) {
        if (!searched_ || (hit_ != std::string_view::npos && hit_ < from)) {
            hit_ = text.find(marker_, from);
            searched_ = true;
        }
        return hit_;
    }

  private:
    std::string_view marker_;
    std::size_t hit_ = std::string_view::npos;
    bool searched_ = false;
};

// The walk over one results page: `page` is the whole lower-cased page and
// `start` the 0-based offset where what is left of it begins.
class ResultWalker {
  public:
    explicit ResultWalker(std::string_view page)
        : page_(page), li_("<li>"), em_("<em"), emEnd_("</em>") {}

    bool HasEntry() { return li_.Find(page_, start_) != std::string_view::npos; }

    std::string Next() {
        if (start_ >= page_.size()) {
            return std::string();  // empty page: nothing to take
        }
        // r: everything after the first "<li>" of what is left; without one,
        // what is left from its 4th byte on (the rest from position 0 + 4).
        const std::size_t i = li_.Find(page_, start_);
        const std::size_t rStart =
            std::min(i == std::string_view::npos ? start_ + 3 : i + 4, page_.size());
        const std::string_view rest = page_.substr(rStart);

        // c: from just after "<em" to just before "</em>".
        const std::size_t emAt = em_.Find(page_, rStart);
        const std::size_t endAt = emEnd_.Find(page_, rStart);
        const std::int64_t s =
            (emAt == std::string_view::npos ? 0 : static_cast<std::int64_t>(emAt - rStart) + 1) + 3;
        const std::int64_t e =
            endAt == std::string_view::npos ? 0 : static_cast<std::int64_t>(endAt - rStart) + 1;
        std::string_view c = SliceView(rest, s, e - s);
        c = RestFrom(c, PosOf(">", c) + 1);
        const std::string_view entry =
            (c.size() >= 3 && base::Contains(c, ".")) ? c : std::string_view();

        // What is left starts with the next "<li>", or is all of r.
        const std::size_t j = li_.Find(page_, rStart);
        start_ = j == std::string_view::npos ? rStart : j;
        return HostFromUrl(entry);
    }

    std::string_view Left() const { return page_.substr(std::min(start_, page_.size())); }

  private:
    std::string_view page_;
    std::size_t start_ = 0;
    ForwardFinder li_, em_, emEnd_;
};

}  // namespace

std::string NextResultHost(std::string_view& page) {
    ResultWalker walker(page);
    std::string host = walker.Next();
    page = walker.Left();
    return host;
}

PlannedRow PlanRow(const ServiceEndpoints& endpoints, std::string site, std::int32_t rank) {
    PlannedRow row;
    row.Urls[static_cast<std::size_t>(RowPage::Inbound)] = LinkQueryUrl(endpoints, site);
    if (!site.empty()) {
        row.Urls[static_cast<std::size_t>(RowPage::Home)] = "http://" + site;
    }
    row.Urls[static_cast<std::size_t>(RowPage::Traffic)] =
        endpoints.TrafficEndpoint + "/data/details/?url=www." + BareDomain(site);
    row.Site = std::move(site);
    row.Rank = rank;
    return row;
}

SurveyPlan PlanSurvey(const ServiceEndpoints& endpoints, std::string resultsPage,
                      std::int32_t skip) {
    SurveyPlan plan;
    base::LowerAsciiInPlace(resultsPage);
    const std::string_view kept = RestFrom(resultsPage, PosOf("of about", resultsPage));
    ResultWalker walker(kept);
    std::int32_t rank = WrapAdd(skip, 1);
    // One row per "<li>": the first entry is taken while one is left.
    while (walker.HasEntry()) {
        plan.Rows.push_back(PlanRow(endpoints, StripTagMarks(walker.Next()), rank));
        rank = WrapAdd(rank, 1);
    }
    return plan;
}

std::string InboundCell(const FetchedPage& page) {
    if (page.Failed()) {
        return std::string();
    }
    return ScrapeInboundFigure(base::LowerAscii(page.Text));
}

std::string OutboundCell(const FetchedPage& page) {
    if (page.Failed()) {
        return "0";
    }
    return std::to_string(CountAbsoluteAnchors(page.Text));
}

std::string TrafficCell(const FetchedPage& page) {
    if (page.Failed()) {
        return kNoTrafficRank;
    }
    return ScrapeTrafficRank(base::LowerAscii(page.Text));
}

LinkValueCell RowLinkValue(const std::string& inbound, const std::string& outbound,
                           std::int32_t divisor) {
    std::int32_t in = 0, out = 0;
    const bool inOk = TryFigureToInt(inbound, in);
    const bool outOk = TryFigureToInt(outbound, out);
    if (inOk && outOk) {
        return LinkValueCell{LinkValue(in, out, divisor), true, std::string()};
    }
    return LinkValueCell{kLinkValuePlaceholder, false, inOk ? outbound : inbound};
}

}  // namespace corvane::engine
