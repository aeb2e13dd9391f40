#include "frontend/scheduled_survey.h"

#include <exception>
#include <utility>

namespace corvane::frontend {

void ScheduledFetches::Issue(std::uint64_t ticket, const std::string& url, int port) {
    scheduler_.Submit(ticket, url, port);
}

void ScheduledFetches::Cancel(const std::vector<std::uint64_t>& tickets) {
    scheduler_.Cancel(tickets);
}

void ScheduledFetches::CancelAll() {
    scheduler_.CancelAll();
}

std::size_t DeliverCompletions(engine::ParallelSurvey& survey,
                               std::vector<FetchCompletion> completions) {
    for (FetchCompletion& c : completions) {
        survey.Deliver(c.Ticket, engine::FetchedPage{std::move(c.Body), c.Error});
    }
    return completions.size();
}

bool RunScheduledSurvey(engine::ResultsTable& table, FetchScheduler& scheduler,
                        const engine::ServiceEndpoints& endpoints, const std::string& text,
                        std::int32_t resultCount, std::int32_t skip, engine::SurveyMode mode,
                        const ScheduledSurveyHooks& hooks) {
    ScheduledFetches fetches(scheduler);
    engine::ParallelSurvey survey(table, fetches, endpoints);
    survey.Start(text, resultCount, skip, mode);
    DriveToEnd(survey, scheduler, hooks, DeliverCompletions);
    if (survey.Failure()) {
        std::rethrow_exception(survey.Failure());
    }
    return survey.Stopped();
}

}  // namespace corvane::frontend
