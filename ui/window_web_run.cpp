#include "ui/window_web_run.h"

#include <QEventLoop>
#include <QMetaObject>

#include <stdexcept>
#include <utility>

namespace corvane::ui {

namespace {

// The workers fetch whole requests only; a plain URL fetch is never asked
// for by a web survey.
frontend::FetchFunction NoPlainFetch() {
    return [](const std::string&, int, net::FetchCancel&) -> std::string {
        throw std::logic_error("a web survey fetches whole requests only");
    };
}

}  // namespace

WindowWebRun::WindowWebRun(engine::ResultsTable& table, const search::SearchProfile& profile,
                           const lists::RankLists& lists, std::string base,
                           frontend::SchedulerLimits limits, frontend::RequestFunction fetch,
                           ProgressFn progress)
    : scheduler_(limits, NoPlainFetch(), std::move(fetch)),
      survey_(table, fetches_, profile, lists, std::move(base)),
      progress_(std::move(progress)) {
    // Runs on a worker: posting an event is all it may do here.
    scheduler_.SetWakeup([this] {
        if (!drainPosted_.exchange(true)) {
            QMetaObject::invokeMethod(
                this, [this] { Drain(); }, Qt::QueuedConnection);
        }
    });
}

WindowWebRun::~WindowWebRun() {
    survey_.Stop();
    // No worker outlives the object, so none posts to it afterwards.
    scheduler_.CancelAll();
}

void WindowWebRun::Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
                       engine::SurveyMode mode) {
    survey_.Start(text, resultCount, skip, mode);
    if (!survey_.Finished()) {
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    scheduler_.CancelAll();
}

void WindowWebRun::Stop() {
    survey_.Stop();
    EndLoop();
}

void WindowWebRun::Drain() {
    // Cleared before the queue is read: a completion queued from here on
    // posts a drain of its own.
    drainPosted_ = false;
    if (survey_.Finished()) {
        EndLoop();
        return;
    }
    if (frontend::DeliverWebCompletions(survey_, scheduler_.Poll()) > 0 && progress_) {
        progress_(survey_.CompletedRows(), survey_.TotalRows());
    }
    if (survey_.Finished()) {
        EndLoop();
    }
}

void WindowWebRun::EndLoop() {
    if (loop_ != nullptr) {
        loop_->quit();
    }
}

}  // namespace corvane::ui
