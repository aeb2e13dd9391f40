// A survey of today's web run from the main window: the scheduler's workers
// fetch the result pages and home pages, the window's own thread writes the
// results table as they arrive and never waits on the network. Works as
// WindowParallelRun does: each queued completion posts one call to this
// object, and Run waits for the end in a local event loop.
#pragma once

#include <QObject>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_run.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/web_survey_run.h"
#include "lists/rank_lists.h"
#include "search/search_profile.h"
#include "search/web_survey.h"
#include "ui/window_parallel_run.h"

class QEventLoop;

namespace corvane::ui {

class WindowWebRun : public QObject, public WindowRun {
    Q_OBJECT
  public:
    // Called on the window's thread after each batch of pages.
    using ProgressFn = std::function<void(std::size_t completed, std::size_t total)>;

    // The table, profile and lists must outlive the run.
    WindowWebRun(engine::ResultsTable& table, const search::SearchProfile& profile,
                 const lists::RankLists& lists, std::string base, frontend::SchedulerLimits limits,
                 frontend::RequestFunction fetch, ProgressFn progress = {});
    ~WindowWebRun() override;
    WindowWebRun(const WindowWebRun&) = delete;
    WindowWebRun& operator=(const WindowWebRun&) = delete;

    // Runs the survey to its end, delivering the window's events meanwhile.
    // Throws search::ProfileError when the profile cannot make its first
    // request. One run per object.
    void Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
             engine::SurveyMode mode);
    // Ends the run at once; safe at any time on the window's thread.
    void Stop() override;

    bool Stopped() const { return survey_.Stopped(); }
    const std::string& FailureMessage() const { return survey_.FailureMessage(); }
    const std::vector<std::string>& Notes() const { return survey_.Notes(); }

  private:
    void Drain();
    void EndLoop();

    frontend::FetchScheduler scheduler_;
    frontend::ScheduledWebFetches fetches_{scheduler_};
    search::WebSurvey survey_;
    ProgressFn progress_;
    QEventLoop* loop_ = nullptr;
    std::atomic<bool> drainPosted_{false};
};

}  // namespace corvane::ui
