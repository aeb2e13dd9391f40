#include "engine/survey_run.h"

#include <algorithm>

#include "base/ascii.h"
#include "engine/site_figures.h"
#include "engine/text_ops.h"

namespace corvane::engine {

std::string SurveyQueryUrl(const ServiceEndpoints& endpoints, std::string_view text,
                           std::int32_t resultCount, std::int32_t skip, SurveyMode mode) {
    if (mode == SurveyMode::Domain) {
        return LinkQueryUrl(endpoints, text);
    }
    return endpoints.SearchEndpoint + "/search?p=%22" + ReplaceAllText(text, " ", "+") +
           "%22&ei=UTF-8&n=" + std::to_string(resultCount) +
           "&b=" + std::to_string(WrapAdd(skip, 1));
}

void RunSurvey(SurveyHost& host, const std::string& text, std::int32_t resultCount,
               std::int32_t skip, SurveyMode mode) {
    host.ShowStatus(text);
    host.PumpMessages();
    const std::string url = SurveyQueryUrl(host.Endpoints(), text, resultCount, skip, mode);
    std::string page = host.FetchPage(url, 80);
    host.PumpMessages();
    ParseResults(host, std::move(page), skip);
}

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

void ParseResults(SurveyHost& host, std::string page, std::int32_t skip) {
    host.Stop() = false;
    std::int32_t counter = WrapAdd(skip, 1);
    ResultsTable& table = host.Table();
    table.Clear();

    base::LowerAsciiInPlace(page);
    const std::string_view kept = RestFrom(page, PosOf("of about", page));
    ResultWalker walker(kept);
    if (!walker.HasEntry()) {
        return;
    }

    for (;;) {
        const std::string site = StripTagMarks(walker.Next());
        const RowHandle row = table.Append();
        // Each write goes through the handle; once the row has left the table
        // (a new run or a file replaced it while we waited in PumpMessages)
        // this run has nothing left to fill and ends.
        if (!table.SetCaption(row, site) || !table.AppendCell(row, std::to_string(counter))) {
            return;
        }
        counter = WrapAdd(counter, 1);

        host.PumpMessages();
        const std::string inbound = InboundLinks(host, site);
        if (!table.AppendCell(row, inbound))
            return;

        host.PumpMessages();
        const std::string outbound = std::to_string(OutboundLinks(host, site));
        if (!table.AppendCell(row, outbound))
            return;

        host.PumpMessages();
        std::int32_t in = 0, out = 0;
        const bool inOk = TryFigureToInt(inbound, in);
        const bool outOk = TryFigureToInt(outbound, out);
        const bool converted = inOk && outOk;
        if (!table.AppendCell(row, converted ? LinkValue(in, out, counter) : kLinkValuePlaceholder))
            return;

        host.PumpMessages();
        const std::string traffic = TrafficRank(host, site);
        if (!table.AppendCell(row, traffic) || !table.SetChecked(row, false))
            return;
        if (!converted) {
            throw ConvertError(inOk ? outbound : inbound);
        }
        host.PumpMessages();

        const bool more = walker.HasEntry();
        host.PumpMessages();
        if (host.IsEscapeDown() || host.Stop() || !more) {
            return;
        }
    }
}

}  // namespace corvane::engine
