#include "ui/window_parallel_run.h"

#include <exception>
#include <utility>

namespace corvane::ui {

WindowParallelRun::WindowParallelRun(engine::ResultsTable& table,
                                     const engine::ServiceEndpoints& endpoints,
                                     frontend::SchedulerLimits limits,
                                     frontend::FetchFunction fetch, ProgressFn progress)
    : WindowRun(std::move(progress)),
      scheduler_(limits, std::move(fetch)),
      survey_(table, fetches_, endpoints) {
    Watch(scheduler_);
}

WindowParallelRun::~WindowParallelRun() {
    survey_.Stop();
    // Every worker has ended before the object goes, so none posts to it
    // afterwards; a drain still queued goes with the object.
    scheduler_.CancelAll();
}

void WindowParallelRun::Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
                            engine::SurveyMode mode) {
    survey_.Start(text, resultCount, skip, mode);
    WaitForEnd();
    if (survey_.Failure()) {
        std::rethrow_exception(survey_.Failure());
    }
}

void WindowParallelRun::Stop() {
    survey_.Stop();
    EndLoop();
}

std::size_t WindowParallelRun::Deliver(std::vector<frontend::FetchCompletion> completions) {
    return frontend::DeliverCompletions(survey_, std::move(completions));
}

}  // namespace corvane::ui
