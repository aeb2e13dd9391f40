// The classic survey run from the main window on the fetch scheduler's
// workers (see WindowRun).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/parallel_survey.h"
#include "engine/results_table.h"
#include "engine/survey_plan.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/scheduled_survey.h"
#include "ui/window_run.h"

namespace corvane::ui {

class WindowParallelRun : public WindowRun {
  public:
    // The table must outlive the run.
    WindowParallelRun(engine::ResultsTable& table, const engine::ServiceEndpoints& endpoints,
                      frontend::SchedulerLimits limits, frontend::FetchFunction fetch,
                      ProgressFn progress = {});
    // Stops a run still going; no fetch of it outlives the object.
    ~WindowParallelRun() override;

    // Runs the survey to its end, delivering the window's events meanwhile.
    // Ends as RunSurvey does: throws the results page's fetch failure or the
    // ConvertError of the row that ended the run; a stop returns normally.
    // One run per object.
    void Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
             engine::SurveyMode mode);

    void Stop() override;

    bool Stopped() const { return survey_.Stopped(); }

  protected:
    bool SurveyFinished() const override { return survey_.Finished(); }
    std::size_t Deliver(std::vector<frontend::FetchCompletion> completions) override;
    std::size_t CompletedRows() const override { return survey_.CompletedRows(); }
    std::size_t TotalRows() const override { return survey_.TotalRows(); }

  private:
    frontend::FetchScheduler scheduler_;
    frontend::ScheduledFetches fetches_{scheduler_};
    engine::ParallelSurvey survey_;
};

}  // namespace corvane::ui
