// A survey whose pages are fetched all at once and come back in any order.
//
// The survey issues every fetch of its plan up front through a FetchIssuer
// and is handed each page as it arrives. It writes the results table as the
// serial run would have left it, cell for cell: rows in rank order, each
// row's cells in column order, the same figures and fallbacks, and the same
// last row (a row whose figures do not convert ends the run after it). A
// row is shown only once every row before it is known to convert, so every
// row that appears belongs to the finished table; only Stop ever removes
// rows again (those not yet complete).
//
// No threads here: every call, the issuer's included, happens on the
// owner's thread. A front end runs the fetches elsewhere and hands the pages
// back on its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_plan.h"
#include "engine/survey_run.h"

namespace corvane::engine {

// Where a parallel survey sends its fetches.
class FetchIssuer {
  public:
    virtual ~FetchIssuer() = default;
    // Starts a fetch; its page comes back through ParallelSurvey::Deliver with
    // the same ticket. Must not deliver from inside the call.
    virtual void Issue(std::uint64_t ticket, const std::string& url, int port) = 0;
    // Cancels the fetches of these tickets that have not been delivered yet.
    virtual void Cancel(const std::vector<std::uint64_t>& tickets) = 0;
    // Cancels every fetch issued and not yet delivered.
    virtual void CancelAll() = 0;
};

class ParallelSurvey {
  public:
    // The table and the issuer must outlive the survey.
    ParallelSurvey(ResultsTable& table, FetchIssuer& issuer, ServiceEndpoints endpoints = {});
    // Stops a survey still running.
    ~ParallelSurvey();
    ParallelSurvey(const ParallelSurvey&) = delete;
    ParallelSurvey& operator=(const ParallelSurvey&) = delete;

    // Issues the results-page fetch (the serial run's URL). The table keeps
    // what it shows until that page has arrived. One start per survey:
    // std::logic_error on a second.
    void Start(const std::string& text, std::int32_t resultCount, std::int32_t skip,
               SurveyMode mode);
    // Starts from a results page at hand: clears the table, plans the rows
    // and issues every row's fetches in the serial run's order.
    void StartWithPage(std::string resultsPage, std::int32_t skip);

    // The page of an issued ticket. Pages of tickets the survey no longer
    // needs (cancelled, delivered before, or after the end) are ignored.
    void Deliver(std::uint64_t ticket, FetchedPage page);

    // Ends the run at once: every fetch not yet delivered is cancelled, the
    // rows not yet complete are removed, the complete ones stay, and nothing
    // more is written. Nothing happens when the run has already ended.
    void Stop();

    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    // True when Stop ended the run, or the table was cleared under it.
    bool Stopped() const { return stopped_; }
    // Rows complete so far, and the rows of the plan (0 until the results
    // page is in).
    std::size_t CompletedRows() const { return completed_; }
    std::size_t TotalRows() const { return plan_.Rows.size(); }
    // How a finished run ended badly, as the serial run would have thrown:
    // the ConvertError of the row that ended it, or the failure of the
    // results-page fetch. Null otherwise.
    std::exception_ptr Failure() const { return failure_; }
    const SurveyPlan& Plan() const { return plan_; }

    static constexpr std::uint64_t kResultsTicket = 0;
    // The ticket of a row's page.
    static std::uint64_t TicketOf(std::size_t row, RowPage page);

  private:
    struct RowState {
        std::optional<std::string> inbound, outbound, traffic;
        std::optional<LinkValueCell> value;
        RowHandle handle;
        int written = 0;  // cells in the table, the rank included
        bool complete = false;
    };

    // Clears the table, plans the rows of the results page and issues every
    // row's fetches.
    void PlanRows(std::string resultsPage);
    // Shows the rows the run is sure to reach and writes every cell that is
    // ready, in order; finishes the run when the last row is complete.
    void Advance();
    // Writes the ready cells of a shown row; false when the row has left the
    // table.
    bool FillRow(std::size_t r);
    // The run ends after row r: the fetches of later rows are cancelled.
    void EndAfter(std::size_t r);
    void Abandon();

    ResultsTable& table_;
    FetchIssuer& issuer_;
    ServiceEndpoints endpoints_;
    std::int32_t skip_ = 0;
    SurveyPlan plan_;
    std::vector<RowState> rows_;
    std::size_t shown_ = 0;            // rows appended to the table
    std::size_t firstIncomplete_ = 0;  // every row before it is complete
    std::size_t endRow_ = 0;           // rows the run will reach
    std::size_t completed_ = 0;
    bool started_ = false;
    bool planned_ = false;
    bool finished_ = false;
    bool stopped_ = false;
    std::exception_ptr failure_;
};

}  // namespace corvane::engine
