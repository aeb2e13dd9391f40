#include "ui/desktop_program.h"

#include <ctime>
#include <string>
#include <vector>

#include "frontend/list_update.h"
#include "frontend/web_survey_run.h"
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

// "tranco: 1000000 rows, imported 2026-12-01 (7 days ago)", or that the
// list is missing.
std::string ListStatusLine(const lists::ListStatus& status) {
    const std::string name = lists::ListKindName(status.Kind);
    if (!status.Present) {
        return name + ": not installed";
    }
    std::string line = name + ": " + std::to_string(status.Rows) + " rows";
    if (status.ImportedAt > 0) {
        const std::time_t at = static_cast<std::time_t>(status.ImportedAt);
        std::tm utc{};
        gmtime_r(&at, &utc);
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
        const std::int64_t days =
            (static_cast<std::int64_t>(std::time(nullptr)) - status.ImportedAt) / (24 * 60 * 60);
        line += std::string(", imported ") + date + " (" + std::to_string(days) +
                (days == 1 ? " day ago)" : " days ago)");
    }
    return line;
}

DesktopOptions Parse(const std::vector<std::string>& args, bool allowUnknown,
                     const frontend::UserSettings& saved) {
    DesktopOptions options;
    options.Arguments = args;
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
    frontend::ApplyUserSettings(saved, options.Settings);
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
    return Parse(list, false, frontend::LoadUserSettings());
}

DesktopOptions PreviewDesktopOptions(const std::vector<std::string>& args) {
    return Parse(args, true, frontend::LoadUserSettings());
}

DesktopOptions LayerDesktopOptions(const frontend::UserSettings& saved,
                                   const std::vector<std::string>& args) {
    return Parse(args, false, saved);
}

DesktopProgram::DesktopProgram(const DesktopOptions& options)
    : DesktopProgram(options.Settings, options.Arguments) {}

DesktopProgram::DesktopProgram(const frontend::FrontEndSettings& settings)
    : DesktopProgram(settings, std::nullopt) {}

DesktopProgram::DesktopProgram(const frontend::FrontEndSettings& settings,
                               std::optional<std::vector<std::string>> arguments)
    : arguments_(std::move(arguments)),
      fetcher_(std::make_unique<frontend::PageFetcher>(settings)) {
    frontend::PageFetcher* fetcher = fetcher_.get();
    form_ = std::make_unique<TForm1>(
        [this, fetcher](const std::string& url, int /*port*/) {
            return fetcher->Fetch(url, RunFetchOptions());
        },
        settings.Endpoints);
    locate_ = std::make_unique<TStartForm>(form_.get());
    about_ = std::make_unique<TInfoForm>(form_.get());
    // Many pages at once on the scheduler's workers, each with the options
    // in force, a cancel of its own and the run's kept-alive connections.
    form_->SetParallelFetch(
        [this, fetcher](const std::string& url, int /*port*/, frontend::FetchContext& context) {
            net::FetchOptions options = RunFetchOptions();
            options.Cancel = &context;
            options.Pool = &context.Pool();
            return fetcher->Fetch(url, options);
        },
        frontend::SchedulerLimits{settings.Jobs, settings.PerHost});
    Use(settings);
    form_->SetLocateDialog(locate_.get());
    form_->SetAboutBox(about_.get());
    form_->SetHistory(HistoryOf(settings));
    TForm1::SettingsHooks hooks;
    hooks.Saved = [this](const frontend::UserSettings& saved) -> std::string {
        if (!arguments_) {
            return "They apply from the next start.";
        }
        try {
            Use(LayerDesktopOptions(saved, *arguments_).Settings);
        } catch (const frontend::UsageError& e) {
            return std::string("They do not apply to this run: ") + e.what();
        }
        return std::string();
    };
    hooks.ListStatus = [] {
        std::vector<std::string> lines;
        for (const lists::ListKind kind : {lists::ListKind::Tranco, lists::ListKind::Majestic}) {
            lines.push_back(ListStatusLine(lists::StatusOf(lists::DefaultListsFolder(), kind)));
        }
        return lines;
    };
    // Runs on the Settings window's worker thread; the fetcher is safe to
    // use from several threads at once.
    hooks.UpdateLists = [fetcher](ListUpdateProgress& progress) {
        std::vector<std::string> messages;
        for (const frontend::ListUpdateOutcome& outcome : frontend::UpdateLists(
                 std::string(), *fetcher,
                 [&progress](const frontend::ListDownloadProgress& p) {
                     progress.Report(lists::ListKindName(p.Kind), p.Received, p.Total);
                 },
                 &progress.Cancel())) {
            messages.push_back(outcome.Message);
        }
        return messages;
    };
    form_->SetSettingsHooks(std::move(hooks));
    TForm1::WebSurveyHooks web;
    web.Lists = [this, fetcher] { return frontend::SurveyLists(surveySettings_, *fetcher); };
    web.Base = [this, fetcher](const search::SearchProfile& profile) {
        return frontend::SurveyBase(surveySettings_, *fetcher, profile);
    };
    web.Fetch = [this, fetcher](const net::FetchRequest& request, frontend::FetchContext& context) {
        net::FetchOptions options = RunFetchOptions();
        options.Cancel = &context;
        options.Pool = &context.Pool();
        return fetcher->Request(request, options);
    };
    form_->SetWebSurveyHooks(std::move(web));
}

void DesktopProgram::Use(const frontend::FrontEndSettings& settings) {
    auto options = std::make_shared<net::FetchOptions>(settings.Fetch);
    if (settings.Demo) {
        // The demo web stays the one proxy, reached directly.
        const net::FetchOptions& demo = fetcher_->Options();
        options->ProxyHost = demo.ProxyHost;
        options->ProxyPort = demo.ProxyPort;
        options->ProxyUser = demo.ProxyUser;
        options->ProxyPassword = demo.ProxyPassword;
        options->SocksVersion = demo.SocksVersion;
        options->SocksHost = demo.SocksHost;
        options->SocksPort = demo.SocksPort;
        options->SocksUser = demo.SocksUser;
        options->SocksPassword = demo.SocksPassword;
    }
    {
        const std::lock_guard<std::mutex> lock(optionsMutex_);
        runOptions_ = std::move(options);
    }
    surveySettings_ = settings;
    form_->SetSurveySettings(settings);
}

net::FetchOptions DesktopProgram::RunFetchOptions() const {
    std::shared_ptr<const net::FetchOptions> options;
    {
        const std::lock_guard<std::mutex> lock(optionsMutex_);
        options = runOptions_;
    }
    return *options;
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
