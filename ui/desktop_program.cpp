#include "ui/desktop_program.h"

#include <string>
#include <vector>

#include "history/history_store.h"
#include "net/fetch_cancel.h"
#include "ui/info_form.h"
#include "ui/main_form.h"
#include "ui/start_form.h"

namespace corvane::ui {

const char* const kDesktopUsage =
    "usage: corvane [network options]\n"
    "       corvane --version\n"
    "\n"
    "The Corvane desktop program. One instance runs per user and display; a\n"
    "second start while one runs ends at once.\n"
    "\n"
    "network options:\n";

namespace {

DesktopOptions Parse(const std::vector<std::string>& args, bool allowUnknown) {
    DesktopOptions options;
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            options.Help = true;
            return options;
        }
        if (a == "--version") {
            options.Version = true;
            return options;
        }
    }
    frontend::ApplyEnvironment(options.Settings);
    frontend::ApplyJobsEnvironment(options.Settings);
    for (std::size_t i = 0; i < args.size();) {
        if (frontend::TakeSharedOption(args, i, options.Settings) ||
            frontend::TakeJobsOption(args, i, options.Settings) ||
            frontend::TakeHistoryOption(args, i, options.Settings)) {
            continue;
        }
        if (!allowUnknown) {
            throw frontend::UsageError("unknown argument '" + args[i] + "'");
        }
        ++i;
    }
    frontend::ValidateSettings(options.Settings);
    return options;
}

}  // namespace

HistorySettings HistoryOf(const frontend::FrontEndSettings& settings) {
    HistorySettings h;
    h.File = settings.HistoryPath.empty() ? history::DefaultHistoryPath() : settings.HistoryPath;
    h.Record = settings.RecordHistory;
    return h;
}

DesktopOptions ParseDesktopOptions(const QStringList& args) {
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(args.size()));
    for (const QString& a : args) {
        list.push_back(a.toStdString());
    }
    return Parse(list, false);
}

DesktopOptions PreviewDesktopOptions(const std::vector<std::string>& args) {
    return Parse(args, true);
}

DesktopProgram::DesktopProgram(const frontend::FrontEndSettings& settings)
    : fetcher_(std::make_unique<frontend::PageFetcher>(settings)) {
    frontend::PageFetcher* fetcher = fetcher_.get();
    form_ = std::make_unique<TForm1>(
        [fetcher](const std::string& url, int port) { return fetcher->Fetch(url, port); },
        settings.Endpoints);
    locate_ = std::make_unique<TStartForm>(form_.get());
    about_ = std::make_unique<TInfoForm>(form_.get());
    // Many pages at once on the scheduler's workers, each with the fetcher's
    // own options, a cancel of its own and the run's kept-alive connections.
    form_->SetParallelFetch(
        [fetcher](const std::string& url, int /*port*/, frontend::FetchContext& context) {
            net::FetchOptions options = fetcher->Options();
            options.Cancel = &context;
            options.Pool = &context.Pool();
            return fetcher->Fetch(url, options);
        },
        frontend::SchedulerLimits{settings.Jobs, settings.PerHost});
    form_->SetLocateDialog(locate_.get());
    form_->SetAboutBox(about_.get());
    form_->SetHistory(HistoryOf(settings));
}

DesktopProgram::~DesktopProgram() {
    form_->SetLocateDialog(nullptr);
    form_->SetAboutBox(nullptr);
}

void DesktopProgram::Show() {
    form_->CentreOnScreen();
    form_->show();
}

}  // namespace corvane::ui
