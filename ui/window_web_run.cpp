#include "ui/window_web_run.h"

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
    : WindowRun(std::move(progress)),
      scheduler_(limits, NoPlainFetch(), std::move(fetch)),
      survey_(table, fetches_, profile, lists, std::move(base)) {
    Watch(scheduler_);
}

WindowWebRun::~WindowWebRun() {
    survey_.Stop();
    // No worker outlives the object, so none posts to it afterwards.
    scheduler_.CancelAll();
}

void WindowWebRun::Run(const std::string& text, std::int32_t resultCount, std::int32_t skip,
                       engine::SurveyMode mode) {
    survey_.Start(text, resultCount, skip, mode);
    WaitForEnd();
}

void WindowWebRun::Stop() {
    survey_.Stop();
    EndLoop();
}

std::size_t WindowWebRun::Deliver(std::vector<frontend::FetchCompletion> completions) {
    return frontend::DeliverWebCompletions(survey_, std::move(completions));
}

}  // namespace corvane::ui
