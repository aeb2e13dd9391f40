#include "cli/survey_runner.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "cli/cli_app.h"
#include "cli/progress.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/scheduled_survey.h"
#include "frontend/user_settings.h"
#include "frontend/web_survey_run.h"
#include "history/sqlite_db.h"

namespace corvane::cli {

namespace {

// Set by the Ctrl-C handler; seen at every message-pump point of a run.
std::atomic<int> gInterrupts{0};

constexpr const char* kSurveyStopNote =
    "\ncorvane-cli: stopping after the current row (Ctrl-C again to quit)\n";
constexpr const char* kParallelStopNote =
    "\ncorvane-cli: stopping, keeping the complete rows (Ctrl-C again to quit)\n";
std::atomic<const char*> gInterruptNote{kSurveyStopNote};

// While a single fetch runs: the pipe its watcher waits on (-1: none).
std::atomic<int> gInterruptPipe{-1};

void OnInterrupt(int) {
    if (gInterrupts.fetch_add(1) > 0) {
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        return;
    }
    // A fetch is ended at once by its watcher: the handler itself may only
    // make the system call that wakes it.
    if (const int fd = gInterruptPipe.load(); fd >= 0) {
        const char byte = 'i';
        ssize_t ignored = write(fd, &byte, 1);
        (void)ignored;
        return;
    }
    engine::StopFlag = true;
    const char* note = gInterruptNote.load();
    ssize_t ignored = write(STDERR_FILENO, note, std::strlen(note));
    (void)ignored;
}

class CliHost : public engine::SurveyHost {
  public:
    CliHost(frontend::PageFetcher& fetcher, const engine::ServiceEndpoints& endpoints,
            engine::ResultsTable& table, SurveyProgress& progress)
        : fetcher_(fetcher), endpoints_(endpoints), table_(table), progress_(progress) {}

    void ShowStatus(const std::string& text) override { progress_.ShowStatus(text); }
    // There is no window to serve; a Ctrl-C pending since the last pump is
    // delivered here as a Stop, so that one given while the results page was
    // on its way still ends the run after its first row.
    void PumpMessages() override {
        if (gInterrupts.load() > 0)
            engine::StopFlag = true;
    }
    bool IsEscapeDown() override { return false; }
    // The first page a run fetches is its results page; whether anything
    // came back for it tells a run that could not start from a search with
    // no results.
    std::string FetchPage(const std::string& url, int port) override {
        std::string body = fetcher_.Fetch(url, port);
        if (fetches_++ == 0)
            resultsPageEmpty_ = body.empty();
        return body;
    }
    engine::ResultsTable& Table() override { return table_; }
    const engine::ServiceEndpoints& Endpoints() const override { return endpoints_; }

    bool ResultsPageEmpty() const { return resultsPageEmpty_; }

  private:
    frontend::PageFetcher& fetcher_;
    engine::ServiceEndpoints endpoints_;
    engine::ResultsTable& table_;
    SurveyProgress& progress_;
    std::uint64_t fetches_ = 0;
    bool resultsPageEmpty_ = false;
};

// Keeps an observer on a table's list while it is in scope, however the
// scope is left.
class ObserverRegistration {
  public:
    ObserverRegistration(engine::ResultsTable& table, engine::TableObserver& observer)
        : table_(table), observer_(observer) {
        table_.AddObserver(&observer_);
    }
    ~ObserverRegistration() { table_.RemoveObserver(&observer_); }
    ObserverRegistration(const ObserverRegistration&) = delete;
    ObserverRegistration& operator=(const ObserverRegistration&) = delete;

  private:
    engine::ResultsTable& table_;
    engine::TableObserver& observer_;
};

std::string Now() {
    return history::UtcTimestamp(std::chrono::system_clock::now());
}

void NotRecorded(std::ostream& err, const std::string& why) {
    err << "corvane-cli: warning: the survey was not recorded in the history: " << OneLine(why)
        << '\n';
}

static_assert(frontend::FrontEndSettings::kDefaultJobs == frontend::SchedulerLimits::kDefaultJobs &&
              frontend::FrontEndSettings::kDefaultPerHost ==
                  frontend::SchedulerLimits::kDefaultPerHost &&
              frontend::FrontEndSettings::kMaxJobs == frontend::SchedulerLimits::kMaxJobs);

// What the scheduler's workers tell the run: the fetches they started, and
// whether the first, the results page, came back empty.
struct ScheduledCounts {
    std::atomic<std::uint64_t> requests{0};
    std::atomic<bool> resultsPageEmpty{false};
};

// The parallel road: the scheduler's workers fetch with the front end's
// options, exactly as the serial road's fetcher would; this thread writes
// the table and polls for Ctrl-C. True when Ctrl-C stopped the run.
bool RunParallel(frontend::PageFetcher& fetcher, const frontend::FrontEndSettings& settings,
                 const SurveyRequest& request, engine::ResultsTable& table,
                 SurveyProgress& progress, ScheduledCounts& counts) {
    // The run's fetches share the scheduler's kept-alive connections.
    frontend::FetchFunction fetch = [&counts, &fetcher](const std::string& url, int /*port*/,
                                                        frontend::FetchContext& context) {
        net::FetchOptions o = fetcher.Options();
        o.Cancel = &context;
        o.Pool = &context.Pool();
        // The results page is fetched alone, before any row's page.
        const bool first = counts.requests.fetch_add(1) == 0;
        std::string body = fetcher.Fetch(url, o);
        if (first)
            counts.resultsPageEmpty = body.empty();
        return body;
    };
    frontend::FetchScheduler scheduler({settings.Jobs, settings.PerHost}, std::move(fetch));
    frontend::ScheduledSurveyHooks hooks;
    hooks.StopRequested = [] { return Interrupted(); };
    hooks.Progress = [&progress](std::size_t, std::size_t total) { progress.SetTotal(total); };
    hooks.PollInterval = std::chrono::milliseconds(20);
    return frontend::RunScheduledSurvey(table, scheduler, settings.Endpoints, request.Text,
                                        request.Results, request.Skip, request.Mode, hooks);
}

// The today's-web road: the profile's result pages one after another, then
// every row's home page at once, through a scheduler whose workers fetch
// with the front end's options. Its own failures (a block page, nothing
// matched) are told on `err` and make the run Failed.
void RunWeb(frontend::PageFetcher& fetcher, const frontend::FrontEndSettings& settings,
            const search::SearchProfile& profile, const SurveyRequest& request,
            engine::ResultsTable& table, SurveyProgress& progress, SurveyOutcome& outcome,
            std::ostream& err) {
    const lists::RankLists lists = frontend::SurveyLists(settings, fetcher);
    frontend::FetchFunction plain = [&fetcher](const std::string& url, int /*port*/,
                                               frontend::FetchContext& context) {
        net::FetchOptions o = fetcher.Options();
        o.Cancel = &context;
        o.Pool = &context.Pool();
        return fetcher.Fetch(url, o);
    };
    frontend::RequestFunction whole = [&fetcher](const net::FetchRequest& fetch,
                                                 frontend::FetchContext& context) {
        net::FetchOptions o = fetcher.Options();
        o.Cancel = &context;
        o.Pool = &context.Pool();
        return fetcher.Request(fetch, o);
    };
    frontend::FetchScheduler scheduler({settings.Jobs, settings.PerHost}, std::move(plain),
                                       std::move(whole));
    frontend::ScheduledSurveyHooks hooks;
    hooks.StopRequested = [] { return Interrupted(); };
    hooks.Progress = [&progress](std::size_t, std::size_t total) { progress.SetTotal(total); };
    hooks.PollInterval = std::chrono::milliseconds(20);
    const frontend::WebSurveyEnd end = frontend::RunWebSurvey(
        table, scheduler, profile, lists, frontend::SurveyBase(settings, fetcher, profile),
        request.Text, request.Results, request.Skip, request.Mode, hooks);
    progress.Finish();
    for (const std::string& note : end.Notes)
        err << "corvane-cli: warning: " << OneLine(note) << '\n';
    if (end.Stopped) {
        outcome.End = history::SurveyEnd::Stopped;
    } else if (!end.Failure.empty()) {
        err << "corvane-cli: the survey could not run: " << OneLine(end.Failure) << '\n';
        outcome.End = history::SurveyEnd::Failed;
        outcome.CouldNotRun = true;
    }
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

SurveyOptions SurveyOptionsFromEnvironment() {
    SurveyOptions options;
    frontend::ApplyUserSettings(frontend::LoadUserSettings(), options.Settings);
    frontend::ApplyEnvironment(options.Settings);
    frontend::ApplyJobsEnvironment(options.Settings);
    return options;
}

bool TakeSurveyOption(const std::vector<std::string>& args, std::size_t& i,
                      SurveyOptions& options) {
    if (frontend::TakeSharedOption(args, i, options.Settings) ||
        frontend::TakeHistoryOption(args, i, options.Settings) ||
        frontend::TakeJobsOption(args, i, options.Settings)) {
        return true;
    }
    const std::string& name = args[i];
    if (name != "--results" && name != "--skip") {
        return false;
    }
    if (i + 1 >= args.size()) {
        throw frontend::UsageError(name + " needs a value");
    }
    const std::int32_t value = frontend::ParseIntOption(args[i + 1], name);
    if (name == "--results") {
        options.Results = std::clamp(value, 2, 30);
    } else {
        options.Skip = value;
    }
    i += 2;
    return true;
}

bool Interrupted() {
    return gInterrupts.load() > 0;
}

void SetInterruptNote(const char* note) {
    gInterruptNote.store(note);
}

void SetInterruptPipe(int fd) {
    gInterruptPipe.store(fd);
}

SurveyOutcome RunOneSurvey(frontend::PageFetcher& fetcher,
                           const frontend::FrontEndSettings& settings, const SurveyRequest& request,
                           engine::ResultsTable& table, bool terminal, std::ostream& err) {
    SurveyProgress progress(table, request.Results, terminal, err);
    const ObserverRegistration observing(table, progress);
    const bool parallel = settings.Jobs > 1;
    if (parallel && gInterruptNote.load() == kSurveyStopNote)
        gInterruptNote.store(kParallelStopNote);
    if (!parallel && gInterruptNote.load() == kParallelStopNote)
        gInterruptNote.store(kSurveyStopNote);
    ScheduledCounts counts;
    const std::uint64_t requestsBefore = fetcher.RequestCount();
    bool resultsPageEmpty = false;
    bool stopped = false;
    SurveyOutcome outcome;
    outcome.StartedUtc = Now();
    engine::StopFlag = false;
    // A profile of today's web takes its own road; a profile that cannot be
    // read ends the run before anything is fetched.
    std::optional<search::SearchProfile> profile;
    try {
        profile = frontend::SurveyProfile(settings);
    } catch (const search::ProfileError& e) {
        err << "corvane-cli: the survey could not run: " << OneLine(e.what()) << '\n';
        // Recorded under the profile asked for, not as a classic survey.
        outcome.Profile = settings.Profile;
        outcome.End = history::SurveyEnd::Failed;
        outcome.CouldNotRun = true;
        outcome.EndedUtc = outcome.StartedUtc;
        return outcome;
    }
    if (profile) {
        outcome.Profile = profile->Name;
        outcome.Web = true;
        if (gInterruptNote.load() == kSurveyStopNote)
            gInterruptNote.store(kParallelStopNote);
        try {
            RunWeb(fetcher, settings, *profile, request, table, progress, outcome, err);
        } catch (const std::exception& e) {
            progress.Finish();
            err << "corvane-cli: the survey could not run: " << OneLine(e.what()) << '\n';
            outcome.End = history::SurveyEnd::Failed;
            outcome.CouldNotRun = true;
        }
        outcome.EndedUtc = Now();
        outcome.Requests = fetcher.RequestCount() - requestsBefore;
        return outcome;
    }
    // Both failures are reported and the rows the run completed are kept.
    // A row whose figures are not integers ends the run early but leaves a
    // good table; a run that could not start or go on (the results page, a
    // broken fetch) is the program's failure.
    try {
        if (parallel) {
            stopped = RunParallel(fetcher, settings, request, table, progress, counts);
            resultsPageEmpty = counts.resultsPageEmpty.load();
        } else {
            CliHost host(fetcher, settings.Endpoints, table, progress);
            engine::RunSurvey(host, request.Text, request.Results, request.Skip, request.Mode);
            resultsPageEmpty = host.ResultsPageEmpty();
            stopped = engine::StopFlag && Interrupted();
        }
        if (resultsPageEmpty && table.Count() == 0 && !stopped) {
            progress.Finish();
            err << "corvane-cli: the survey could not run: no results page came back\n";
            outcome.End = history::SurveyEnd::Failed;
            outcome.CouldNotRun = true;
        } else if (stopped) {
            outcome.End = history::SurveyEnd::Stopped;
        }
    } catch (const engine::ConvertError& e) {
        progress.Finish();
        err << "corvane-cli: the survey ended early: " << e.what() << '\n';
        outcome.End = history::SurveyEnd::Failed;
    } catch (const std::exception& e) {
        progress.Finish();
        err << "corvane-cli: the survey could not run: " << e.what() << '\n';
        outcome.End = history::SurveyEnd::Failed;
        outcome.CouldNotRun = true;
    }
    progress.Finish();
    outcome.EndedUtc = Now();
    outcome.Requests = fetcher.RequestCount() - requestsBefore;
    return outcome;
}

history::SurveyInfo RecordOf(const SurveyRequest& request, const SurveyOutcome& outcome) {
    history::SurveyInfo info;
    info.Query = request.Text;
    info.Mode = request.Mode;
    info.Profile = outcome.Profile.empty() ? history::kClassicProfile : outcome.Profile;
    info.ResultCount = request.Results;
    info.Skip = request.Skip;
    info.StartedUtc = outcome.StartedUtc;
    info.EndedUtc = outcome.EndedUtc;
    info.End = outcome.End;
    return info;
}

std::string HistoryFile(const frontend::FrontEndSettings& settings) {
    return settings.HistoryPath.empty() ? history::DefaultHistoryPath() : settings.HistoryPath;
}

std::optional<std::int64_t> RecordSurvey(history::HistoryStore& store,
                                         const history::SurveyInfo& info,
                                         const engine::ResultsTable& table, std::ostream& err) {
    try {
        return store.Record(info, history::RowsFromTable(table));
    } catch (const history::HistoryError& e) {
        NotRecorded(err, e.what());
    } catch (const history::SqliteError& e) {
        NotRecorded(err, store.Path() + ": " + e.what());
    }
    return std::nullopt;
}

std::optional<std::int64_t> RecordSurvey(const std::string& historyFile,
                                         const history::SurveyInfo& info,
                                         const engine::ResultsTable& table, std::ostream& err) {
    std::optional<history::HistoryStore> store;
    try {
        store.emplace(historyFile);
    } catch (const history::HistoryError& e) {
        NotRecorded(err, e.what());
        return std::nullopt;
    } catch (const history::SqliteError& e) {
        NotRecorded(err, e.what());
        return std::nullopt;
    }
    if (!store->Notice().empty()) {
        err << "corvane-cli: " << OneLine(store->Notice()) << '\n';
    }
    return RecordSurvey(*store, info, table, err);
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

}  // namespace corvane::cli
