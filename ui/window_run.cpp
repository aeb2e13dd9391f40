#include "ui/window_run.h"

#include <QEventLoop>
#include <QMetaObject>

#include <utility>

namespace corvane::ui {

void WindowRun::Watch(frontend::FetchScheduler& scheduler) {
    scheduler_ = &scheduler;
    // Runs on a worker: posting an event is all it may do here.
    scheduler.SetWakeup([this] {
        if (!drainPosted_.exchange(true)) {
            QMetaObject::invokeMethod(
                this, [this] { Drain(); }, Qt::QueuedConnection);
        }
    });
}

void WindowRun::WaitForEnd() {
    if (!SurveyFinished()) {
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    scheduler_->CancelAll();
}

void WindowRun::Drain() {
    // Cleared before the queue is read: a completion queued from here on
    // posts a drain of its own.
    drainPosted_ = false;
    if (SurveyFinished()) {
        EndLoop();
        return;
    }
    if (Deliver(scheduler_->Poll()) > 0 && progress_) {
        progress_(CompletedRows(), TotalRows());
    }
    if (SurveyFinished()) {
        EndLoop();
    }
}

void WindowRun::EndLoop() {
    if (loop_ != nullptr) {
        loop_->quit();
    }
}

}  // namespace corvane::ui
