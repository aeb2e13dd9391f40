// One survey of corvane-cli run to its end, with its progress on stderr and
// Ctrl-C as its stop, and its record in the survey history. `survey` runs
// one, `batch` one per line of its file.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_run.h"
#include "frontend/page_fetcher.h"
#include "frontend/settings.h"
#include "history/history_store.h"

namespace corvane::cli {

// The options every survey of a command takes: the front end's settings
// (network, demo web, history) and the counts.
struct SurveyOptions {
    frontend::FrontEndSettings Settings;
    std::int32_t Results = 20;  // kept within 2..30
    std::int32_t Skip = 0;
};

// Options start from the settings the user saved in the desktop program's
// Settings window, then the environment's: the network, history and jobs
// variables. Throws frontend::UsageError for a bad CORVANE_JOBS or
// CORVANE_PER_HOST.
SurveyOptions SurveyOptionsFromEnvironment();

// If args[i] is a survey option (the shared network options, --history,
// --no-history, --jobs, --per-host, --results, --skip), takes it and its value, moves i past
// them and returns true. Throws frontend::UsageError for a bad value.
bool TakeSurveyOption(const std::vector<std::string>& args, std::size_t& i, SurveyOptions& options);

struct SurveyRequest {
    std::string Text;
    engine::SurveyMode Mode = engine::SurveyMode::Keyword;
    std::int32_t Results = 20;  // already kept within 2..30
    std::int32_t Skip = 0;
};

struct SurveyOutcome {
    // Done; Stopped by Ctrl-C; Failed when an error ended the run (the
    // results page did not come, a broken fetch, a figure that is not an
    // integer).
    history::SurveyEnd End = history::SurveyEnd::Done;
    // The run could not start or go on: no results page came back, or the
    // fetch broke. A run ended by a figure that is not an integer is Failed
    // too but leaves a good table as far as it went, so it is not counted
    // here.
    bool CouldNotRun = false;
    std::string StartedUtc;
    std::string EndedUtc;
    // The requests the run made: its page fetches, on either road.
    std::uint64_t Requests = 0;
    // The profile of a today's-web survey ("duckduckgo"); empty for the
    // classic survey. Web: its table's sixth column is "Traffic Rank".
    std::string Profile;
    bool Web = false;
};

// Runs one survey into `table` with the settings' endpoints: progress to
// `err` (a bar redrawn in place when `terminal`, else a line per row), and
// one line there for an error that ended the run. Never throws for a
// failure of the run itself.
//
// With settings.Jobs 1 the pages are fetched one after another through
// `fetcher` (the serial road), and Ctrl-C stops the run after the current
// row. Otherwise a fetch scheduler fetches them with the jobs and per-host
// limits and the fetcher's options, and Ctrl-C ends the run at once: the
// fetches in flight are cancelled and the complete rows stay. The table is
// the same on both roads.
SurveyOutcome RunOneSurvey(frontend::PageFetcher& fetcher,
                           const frontend::FrontEndSettings& settings, const SurveyRequest& request,
                           engine::ResultsTable& table, bool terminal, std::ostream& err);

// The history record of a run: the query, its profile, the counts,
// the times and how it ended.
history::SurveyInfo RecordOf(const SurveyRequest& request, const SurveyOutcome& outcome);

// The history file of the settings: --history, CORVANE_HISTORY, or the
// default in the user's data folder.
std::string HistoryFile(const frontend::FrontEndSettings& settings);

// Records a run with the table's rows in an open history and returns its id.
// A history that cannot take it costs one warning line on `err`.
std::optional<std::int64_t> RecordSurvey(history::HistoryStore& store,
                                         const history::SurveyInfo& info,
                                         const engine::ResultsTable& table, std::ostream& err);

// Opens the history file and records the run in it; a file that cannot be
// opened costs one warning line on `err` and nothing else.
std::optional<std::int64_t> RecordSurvey(const std::string& historyFile,
                                         const history::SurveyInfo& info,
                                         const engine::ResultsTable& table, std::ostream& err);

// The message of a failure as one line (a database message may hold line
// breaks).
std::string OneLine(std::string text);

// True once Ctrl-C has been pressed.
bool Interrupted();

// While fd >= 0, the first Ctrl-C writes one byte to fd (the write end of a
// pipe) instead of stopping a survey, and prints nothing; -1 turns that off.
void SetInterruptPipe(int fd);

// The note the first Ctrl-C prints: what stops, and that a second press
// quits. `note` must live as long as the program.
void SetInterruptNote(const char* note);

}  // namespace corvane::cli
