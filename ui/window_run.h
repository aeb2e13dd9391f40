// A survey run of the main window on the fetch scheduler: the pages are
// fetched on the scheduler's workers, and the window's own thread writes the
// results table as they arrive, never waiting on the network itself.
//
// Each time a worker has queued a finished fetch, the scheduler's wake-up
// posts one queued call to this object; the call, on the window's thread,
// takes every completion queued so far and hands it to the survey. A run
// waits for its end in a local event loop, so every event of the window
// (input, paint, timers, menus) is delivered while pages are on their way.
// What kind of survey runs is the subclass's part.
#pragma once

#include <QObject>

#include <atomic>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "frontend/fetch_scheduler.h"

class QEventLoop;

namespace corvane::ui {

class WindowRun : public QObject {
    Q_OBJECT
  public:
    // Called on the window's thread after each batch of pages: rows complete
    // and rows of the survey (0 until they are known).
    using ProgressFn = std::function<void(std::size_t completed, std::size_t total)>;

    explicit WindowRun(ProgressFn progress) : progress_(std::move(progress)) {}
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // Ends the run at once: fetches in flight are cancelled, complete rows
    // stay, incomplete rows are removed, and the run returns. Safe to call
    // at any time on the window's thread, also more than once.
    virtual void Stop() = 0;

  protected:
    // Hands the scheduler's completions to this run from now on; called once
    // by the subclass's constructor, with a scheduler of its own.
    void Watch(frontend::FetchScheduler& scheduler);
    // Waits in a local event loop until the survey has finished (or Stop
    // ended the wait), then ends the scheduler.
    void WaitForEnd();
    void EndLoop();

    virtual bool SurveyFinished() const = 0;
    // Hands completions to the survey; the number handed.
    virtual std::size_t Deliver(std::vector<frontend::FetchCompletion> completions) = 0;
    virtual std::size_t CompletedRows() const = 0;
    virtual std::size_t TotalRows() const = 0;

  private:
    // Takes every completion queued so far and hands it to the survey.
    void Drain();

    ProgressFn progress_;
    frontend::FetchScheduler* scheduler_ = nullptr;
    QEventLoop* loop_ = nullptr;
    // A drain is posted and has not started yet: workers post no other.
    std::atomic<bool> drainPosted_{false};
};

}  // namespace corvane::ui
