#include "engine/survey_run.h"

#include <exception>
#include <utility>

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
    std::string page = host.FetchPage(url, kSurveyPort);
    host.PumpMessages();
    ParseResults(host, std::move(page), skip);
}

namespace {

// The figure steps of one row, fetching through the host. A failure inside a
// step (other than the host giving the run up) ends in the figure's fallback,
// as a failed fetch does.

std::string InboundStep(SurveyHost& host, const PlannedRow& row) {
    try {
        host.ShowStatus(row.Site);
        host.PumpMessages();
        const FetchedPage page{host.FetchPage(row.Url(RowPage::Inbound), kSurveyPort), nullptr};
        host.PumpMessages();
        std::string figure = InboundCell(page);
        host.PumpMessages();
        return figure;
    } catch (const std::exception&) {
        return InboundCell(FetchedPage{std::string(), std::current_exception()});
    }
}

std::string OutboundStep(SurveyHost& host, const PlannedRow& row) {
    if (!row.Needs(RowPage::Home)) {
        return OutboundCell(FetchedPage{});
    }
    FetchedPage page;
    try {
        page.Text = host.FetchPage(row.Url(RowPage::Home), kSurveyPort);
        host.PumpMessages();
    } catch (const std::exception&) {
        page = FetchedPage{std::string(), std::current_exception()};
    }
    return OutboundCell(page);
}

std::string TrafficStep(SurveyHost& host, const PlannedRow& row) {
    FetchedPage page;
    try {
        page.Text = host.FetchPage(row.Url(RowPage::Traffic), kSurveyPort);
        host.PumpMessages();
    } catch (const std::exception&) {
        page = FetchedPage{std::string(), std::current_exception()};
    }
    return TrafficCell(page);
}

}  // namespace

void ParseResults(SurveyHost& host, std::string page, std::int32_t skip) {
    host.Stop() = false;
    ResultsTable& table = host.Table();
    table.Clear();
    const SurveyPlan plan = PlanSurvey(host.Endpoints(), std::move(page), skip);

    for (std::size_t r = 0; r < plan.Rows.size(); ++r) {
        const PlannedRow& planned = plan.Rows[r];
        const RowHandle row = table.Append();
        // Each write goes through the handle; once the row has left the table
        // (a new run or a file replaced it while we waited in PumpMessages)
        // this run has nothing left to fill and ends.
        if (!table.SetCaption(row, planned.Site) ||
            !table.AppendCell(row, std::to_string(planned.Rank))) {
            return;
        }

        host.PumpMessages();
        const std::string inbound = InboundStep(host, planned);
        if (!table.AppendCell(row, inbound))
            return;

        host.PumpMessages();
        const std::string outbound = OutboundStep(host, planned);
        if (!table.AppendCell(row, outbound))
            return;

        host.PumpMessages();
        const LinkValueCell value = RowLinkValue(inbound, outbound, planned.Divisor());
        if (!table.AppendCell(row, value.Text))
            return;

        host.PumpMessages();
        const std::string traffic = TrafficStep(host, planned);
        if (!table.AppendCell(row, traffic) || !table.SetChecked(row, false))
            return;
        if (!value.Converted) {
            throw ConvertError(value.NotAnInteger);
        }
        host.PumpMessages();

        const bool more = r + 1 < plan.Rows.size();
        host.PumpMessages();
        if (host.IsEscapeDown() || host.Stop() || !more) {
            return;
        }
    }
}

}  // namespace corvane::engine
