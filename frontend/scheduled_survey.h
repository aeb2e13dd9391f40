// A parallel survey run on the calling thread: the fetch scheduler's workers
// fetch, the calling thread writes the results table as pages arrive.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/parallel_survey.h"
#include "frontend/fetch_scheduler.h"

namespace corvane::frontend {

// A parallel survey's fetch issuer over a scheduler. The survey's CancelAll
// (its Stop) ends the scheduler for good: one scheduler per run.
class ScheduledFetches : public engine::FetchIssuer {
  public:
    explicit ScheduledFetches(FetchScheduler& scheduler) : scheduler_(scheduler) {}
    void Issue(std::uint64_t ticket, const std::string& url, int port) override;
    void Cancel(const std::vector<std::uint64_t>& tickets) override;
    void CancelAll() override;

  private:
    FetchScheduler& scheduler_;
};

// Hands every completion queued so far to the survey; the number handed.
std::size_t DeliverCompletions(engine::ParallelSurvey& survey,
                               std::vector<FetchCompletion> completions);

struct ScheduledSurveyHooks {
    // Polled between waits; true stops the run (complete rows stay).
    std::function<bool()> StopRequested;
    // After each batch of pages: complete rows and rows of the survey.
    std::function<void(std::size_t completed, std::size_t total)> Progress;
    // Longest wait between two polls of StopRequested.
    std::chrono::milliseconds PollInterval{50};
};

// Drives a started survey (the classic parallel one or one of today's web)
// to its end on this thread: hands it each batch of completions through
// `deliver` (which returns how many it handed), polls the stop hook between
// waits and reports progress. The scheduler is ended on return.
template <typename Survey, typename Deliver>
void DriveToEnd(Survey& survey, FetchScheduler& scheduler, const ScheduledSurveyHooks& hooks,
                Deliver&& deliver) {
    while (!survey.Finished()) {
        if (hooks.StopRequested && hooks.StopRequested()) {
            survey.Stop();
            break;
        }
        if (deliver(survey, scheduler.WaitFor(hooks.PollInterval)) > 0 && hooks.Progress) {
            hooks.Progress(survey.CompletedRows(), survey.TotalRows());
        }
    }
    // Nothing is left to fetch once the run has ended; no worker outlives it.
    scheduler.CancelAll();
}

// Runs one survey to its end on this thread. Ends as RunSurvey does: throws
// the results page's fetch failure (the table keeps the previous survey) or
// the ConvertError of the row that ended the run; a stop returns normally.
// Returns true when the run was stopped. The scheduler is ended on return.
bool RunScheduledSurvey(engine::ResultsTable& table, FetchScheduler& scheduler,
                        const engine::ServiceEndpoints& endpoints, const std::string& text,
                        std::int32_t resultCount, std::int32_t skip, engine::SurveyMode mode,
                        const ScheduledSurveyHooks& hooks = {});

}  // namespace corvane::frontend
