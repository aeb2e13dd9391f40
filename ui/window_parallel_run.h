// A survey run of the main window on the fetch scheduler: the pages are
// fetched on the scheduler's workers, and the window's own thread writes the
// results table as they arrive, never waiting on the network itself.
//
// Each time a worker has queued a finished fetch, the scheduler's wake-up
// posts one queued call to this object; the call, on the window's thread,
// takes every completion queued so far and hands it to the survey. Run
// waits for the end in a local event loop, so every event of the window
// (input, paint, timers, menus) is delivered while pages are on their way.
#pragma once

#include <QObject>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/parallel_survey.h"
#include "engine/results_table.h"
#include "engine/survey_plan.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/scheduled_survey.h"

class QEventLoop;

namespace corvane::ui {

// A run of the main window on the fetch scheduler, as the window stops it.
class WindowRun {
  public:
    virtual ~WindowRun() = default;
    // Ends the run at once; safe at any time on the window's thread, also
    // more than once.
    virtual void Stop() = 0;
};

class WindowParallelRun : public QObject, public WindowRun {
    Q_OBJECT
  public:
    // Called on the window's thread after each batch of pages: rows complete
    // and rows of the survey (0 until the results page is in).
    using ProgressFn = std::function<void(std::size_t completed, std::size_t total)>;

    // The table must outlive the run.
    WindowParallelRun(engine::ResultsTable& table, const engine::ServiceEndpoints& endpoints,
                      frontend::SchedulerLimits limits, frontend::FetchFunction fetch,
                      ProgressFn progress = {});
    // Stops a run still going; no fetch of it outlives the object.
    ~WindowParallelRun() override;
    WindowParallelRun(const WindowParallelRun&) = delete;
    WindowParallelRun& operator=(const WindowParallelRun&) = delete;

    // Runs the survey to its end, delivering the window's events meanwhile.
    // Ends as RunSurvey does: throws the results page's fetch failure or the
    // ConvertError of the row that ended the run; a stop returns normally.
    // One run per object.
    void Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
             engine::SurveyMode mode);

    // Ends the run at once: fetches in flight are cancelled, complete rows
    // stay, incomplete rows are removed, and Run returns. Safe to call at
    // any time on the window's thread, also more than once.
    void Stop() override;

    bool Stopped() const { return survey_.Stopped(); }

  private:
    // Takes every completion queued so far and hands it to the survey.
    void Drain();
    void EndLoop();

    frontend::FetchScheduler scheduler_;
    frontend::ScheduledFetches fetches_{scheduler_};
    engine::ParallelSurvey survey_;
    ProgressFn progress_;
    QEventLoop* loop_ = nullptr;
    // A drain is posted and has not started yet: workers post no other.
    std::atomic<bool> drainPosted_{false};
};

}  // namespace corvane::ui
