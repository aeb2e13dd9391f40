#include "engine/parallel_survey.h"

#include <stdexcept>
#include <utility>

namespace corvane::engine {

ParallelSurvey::ParallelSurvey(ResultsTable& table, FetchIssuer& issuer, ServiceEndpoints endpoints)
    : table_(table), issuer_(issuer), endpoints_(std::move(endpoints)) {}

ParallelSurvey::~ParallelSurvey() {
    Stop();
}

std::uint64_t ParallelSurvey::TicketOf(std::size_t row, RowPage page) {
    return 1 + static_cast<std::uint64_t>(row) * kRowPageCount + static_cast<std::uint64_t>(page);
}

void ParallelSurvey::Start(const std::string& text, std::int32_t resultCount, std::int32_t skip,
                           SurveyMode mode) {
    if (started_) {
        throw std::logic_error("parallel survey: started twice");
    }
    started_ = true;
    skip_ = skip;
    issuer_.Issue(kResultsTicket, SurveyQueryUrl(endpoints_, text, resultCount, skip, mode),
                  kSurveyPort);
}

void ParallelSurvey::StartWithPage(std::string resultsPage, std::int32_t skip) {
    if (started_) {
        throw std::logic_error("parallel survey: started twice");
    }
    started_ = true;
    skip_ = skip;
    PlanRows(std::move(resultsPage));
}

void ParallelSurvey::PlanRows(std::string resultsPage) {
    table_.Clear();
    plan_ = PlanSurvey(endpoints_, std::move(resultsPage), skip_);
    planned_ = true;
    rows_.assign(plan_.Rows.size(), RowState{});
    endRow_ = plan_.Rows.size();
    for (std::size_t r = 0; r < plan_.Rows.size(); ++r) {
        const PlannedRow& row = plan_.Rows[r];
        for (const RowPage page : {RowPage::Inbound, RowPage::Home, RowPage::Traffic}) {
            if (row.Needs(page)) {
                issuer_.Issue(TicketOf(r, page), row.Url(page), kSurveyPort);
            }
        }
        if (!row.Needs(RowPage::Home)) {
            rows_[r].outbound = OutboundCell(FetchedPage{});
        }
    }
    Advance();
}

void ParallelSurvey::Deliver(std::uint64_t ticket, FetchedPage page) {
    if (finished_ || !started_) {
        return;
    }
    if (!planned_) {
        if (ticket != kResultsTicket) {
            return;
        }
        if (page.Failed()) {
            // The results page could not be had: the table keeps the
            // previous survey.
            failure_ = page.Error;
            finished_ = true;
            return;
        }
        PlanRows(std::move(page.Text));
        return;
    }
    if (ticket == kResultsTicket) {
        return;
    }
    const std::size_t r = static_cast<std::size_t>((ticket - 1) / kRowPageCount);
    if (r >= endRow_) {
        return;
    }
    RowState& row = rows_[r];
    switch (static_cast<RowPage>((ticket - 1) % kRowPageCount)) {
        case RowPage::Inbound:
            if (row.inbound)
                return;
            row.inbound = InboundCell(page);
            break;
        case RowPage::Home:
            if (row.outbound)
                return;
            row.outbound = OutboundCell(page);
            break;
        case RowPage::Traffic:
            if (row.traffic)
                return;
            row.traffic = TrafficCell(page);
            break;
    }
    if (!row.value && row.inbound && row.outbound) {
        row.value = RowLinkValue(*row.inbound, *row.outbound, plan_.Rows[r].Divisor());
        if (!row.value->Converted) {
            EndAfter(r);
        }
    }
    Advance();
}

void ParallelSurvey::EndAfter(std::size_t r) {
    if (r + 1 >= endRow_) {
        return;
    }
    std::vector<std::uint64_t> later;
    for (std::size_t k = r + 1; k < endRow_; ++k) {
        for (const RowPage page : {RowPage::Inbound, RowPage::Home, RowPage::Traffic}) {
            if (plan_.Rows[k].Needs(page))
                later.push_back(TicketOf(k, page));
        }
    }
    // No row after r has been shown: a row appears only once the row before
    // it is known to convert.
    endRow_ = r + 1;
    issuer_.Cancel(later);
}

void ParallelSurvey::Advance() {
    // A row is shown once the run is sure to reach it: the row before it
    // converts. (Filling cells never changes that, so one pass does.)
    while (shown_ < endRow_ &&
           (shown_ == 0 || (rows_[shown_ - 1].value && rows_[shown_ - 1].value->Converted))) {
        if (shown_ > 0 && !table_.IsValid(rows_[shown_ - 1].handle)) {
            Abandon();
            return;
        }
        RowState& row = rows_[shown_];
        const PlannedRow& planned = plan_.Rows[shown_];
        row.handle = table_.Append();
        // An observer may clear the table as the row arrives; the new row
        // has then gone with it and this run has nothing left to write.
        if (!table_.SetCaption(row.handle, planned.Site) ||
            !table_.AppendCell(row.handle, std::to_string(planned.Rank))) {
            Abandon();
            return;
        }
        row.written = 1;
        ++shown_;
    }
    for (std::size_t r = firstIncomplete_; r < shown_; ++r) {
        if (!FillRow(r)) {
            Abandon();
            return;
        }
    }
    while (firstIncomplete_ < shown_ && rows_[firstIncomplete_].complete) {
        ++firstIncomplete_;
    }
    if (firstIncomplete_ < endRow_) {
        return;
    }
    finished_ = true;
    if (endRow_ > 0) {
        const std::optional<LinkValueCell>& value = rows_[endRow_ - 1].value;
        if (value && !value->Converted) {
            failure_ = std::make_exception_ptr(ConvertError(value->NotAnInteger));
        }
    }
}

bool ParallelSurvey::FillRow(std::size_t r) {
    RowState& row = rows_[r];
    const auto write = [&](const std::string& text) {
        if (!table_.AppendCell(row.handle, text))
            return false;
        ++row.written;
        return true;
    };
    if (row.written == 1 && row.inbound && !write(*row.inbound))
        return false;
    if (row.written == 2 && row.outbound && !write(*row.outbound))
        return false;
    if (row.written == 3 && row.value && !write(row.value->Text))
        return false;
    if (row.written == 4 && row.traffic) {
        if (!write(*row.traffic) || !table_.SetChecked(row.handle, false))
            return false;
        row.complete = true;
        ++completed_;
    }
    return true;
}

void ParallelSurvey::Abandon() {
    // The table was cleared under the run (a newer survey or a file took
    // it): every handle is gone, so there is nothing left to write or remove.
    finished_ = true;
    stopped_ = true;
    issuer_.CancelAll();
}

void ParallelSurvey::Stop() {
    if (finished_ || !started_) {
        return;
    }
    finished_ = true;
    stopped_ = true;
    issuer_.CancelAll();
    for (std::size_t r = firstIncomplete_; r < shown_; ++r) {
        if (!rows_[r].complete) {
            table_.Remove(rows_[r].handle);
        }
    }
}

}  // namespace corvane::engine
