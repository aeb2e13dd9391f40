#include "ui/window_parallel_run.h"

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <utility>

namespace corvane::ui {

WindowParallelRun::WindowParallelRun(engine::ResultsTable& table,
                                     const engine::ServiceEndpoints& endpoints,
                                     frontend::SchedulerLimits limits,
                                     frontend::FetchFunction fetch, ProgressFn progress)
    : scheduler_(limits, std::move(fetch)),
      survey_(table, fetches_, endpoints),
      progress_(std::move(progress)) {
    // Runs on a worker: posting an event is all it may do here.
    scheduler_.SetWakeup([this] {
        if (!drainPosted_.exchange(true)) {
            QMetaObject::invokeMethod(
                this, [this] { Drain(); }, Qt::QueuedConnection);
        }
    });
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
    if (!survey_.Finished()) {
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    scheduler_.CancelAll();
    if (survey_.Failure()) {
        std::rethrow_exception(survey_.Failure());
    }
}

void WindowParallelRun::Stop() {
    survey_.Stop();
    EndLoop();
}

void WindowParallelRun::Drain() {
    // Cleared before the queue is read: a completion queued from here on
    // posts a drain of its own.
    drainPosted_ = false;
    if (survey_.Finished()) {
        EndLoop();
        return;
    }
    if (frontend::DeliverCompletions(survey_, scheduler_.Poll()) > 0 && progress_) {
        progress_(survey_.CompletedRows(), survey_.TotalRows());
    }
    if (survey_.Finished()) {
        EndLoop();
    }
}

void WindowParallelRun::EndLoop() {
    if (loop_ != nullptr) {
        loop_->quit();
    }
}

}  // namespace corvane::ui
