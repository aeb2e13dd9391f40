// A survey of today's web run from the main window on the fetch
// scheduler's workers (see WindowRun).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_run.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/web_survey_run.h"
#include "lists/rank_lists.h"
#include "search/search_profile.h"
#include "search/web_survey.h"
#include "ui/window_run.h"

namespace corvane::ui {

class WindowWebRun : public WindowRun {
  public:
    // The table, profile and lists must outlive the run.
    WindowWebRun(engine::ResultsTable& table, const search::SearchProfile& profile,
                 const lists::RankLists& lists, std::string base, frontend::SchedulerLimits limits,
                 frontend::RequestFunction fetch, ProgressFn progress = {});
    ~WindowWebRun() override;

    // Runs the survey to its end, delivering the window's events meanwhile.
    // Throws search::ProfileError when the profile cannot make its first
    // request. One run per object.
    void Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
             engine::SurveyMode mode);
    void Stop() override;

    bool Stopped() const { return survey_.Stopped(); }
    const std::string& FailureMessage() const { return survey_.FailureMessage(); }
    const std::vector<std::string>& Notes() const { return survey_.Notes(); }

  protected:
    bool SurveyFinished() const override { return survey_.Finished(); }
    std::size_t Deliver(std::vector<frontend::FetchCompletion> completions) override;
    std::size_t CompletedRows() const override { return survey_.CompletedRows(); }
    std::size_t TotalRows() const override { return survey_.TotalRows(); }

  private:
    frontend::FetchScheduler scheduler_;
    frontend::ScheduledWebFetches fetches_{scheduler_};
    search::WebSurvey survey_;
};

}  // namespace corvane::ui
