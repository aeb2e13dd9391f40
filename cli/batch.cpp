#include "cli/batch.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "base/ascii.h"
#include "cli/cli_app.h"
#include "engine/text_ops.h"
#include "history/sqlite_db.h"

namespace corvane::cli {

namespace {

using frontend::UsageError;

constexpr const char* kBatchStopNote =
    "\ncorvane-cli: stopping the batch with this survey, keeping its complete rows (Ctrl-C "
    "again to quit)\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The whole file, or nothing when it cannot be read (a folder reads as
// nothing too).
std::optional<std::string> ReadFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return text;
}

struct Tally {
    int done = 0;
    int failed = 0;
    int stopped = 0;
    int notRecorded = 0;
};

std::string Summary(std::size_t total, const Tally& t, std::size_t ran) {
    std::string s = std::to_string(total) + (total == 1 ? " survey, " : " surveys, ") +
                    std::to_string(t.done) + " done, " + std::to_string(t.failed) + " failed";
    if (t.stopped > 0)
        s += ", " + std::to_string(t.stopped) + " stopped";
    if (ran < total)
        s += ", " + std::to_string(total - ran) + " not run";
    if (t.notRecorded > 0)
        s += ", " + std::to_string(t.notRecorded) + " not recorded";
    return s;
}

}  // namespace

std::vector<SurveyRequest> ParseBatch(std::string_view text, const std::string& name) {
    // A byte-order mark some editors put first is not part of the first line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<SurveyRequest> surveys;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line =
            Trimmed(text.substr(0, end == std::string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        SurveyRequest request;
        constexpr std::string_view kDomain = "domain:";
        if (base::LowerAscii(std::string(line.substr(0, kDomain.size()))) == kDomain) {
            request.Mode = engine::SurveyMode::Domain;
            request.Text = Trimmed(line.substr(kDomain.size()));
            if (request.Text.empty()) {
                throw BatchFileError(name + ":" + std::to_string(lineNumber) +
                                     ": \"domain:\" needs a domain after it");
            }
        } else {
            request.Text = line;
        }
        surveys.push_back(std::move(request));
    }
    return surveys;
}

int Batch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
          bool terminal) {
    SurveyOptions options = SurveyOptionsFromEnvironment();
    std::string file;
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size();) {
        if (TakeSurveyOption(args, i, options))
            continue;
        const std::string& a = args[i];
        if (!a.empty() && a[0] == '-')
            throw UsageError("batch: unknown option '" + a + "'");
        if (haveFile)
            throw UsageError("batch takes one file");
        file = a;
        haveFile = true;
        ++i;
    }
    if (!haveFile || file.empty())
        throw UsageError("batch needs a file of surveys, one a line");
    if (!options.Settings.RecordHistory)
        throw UsageError("batch records every survey; --no-history does not go with it");
    frontend::ValidateSettings(options.Settings);

    const std::optional<std::string> text = ReadFile(file);
    if (!text) {
        err << "corvane-cli: cannot read " << file << '\n';
        return kExitUsage;
    }
    std::vector<SurveyRequest> surveys;
    try {
        surveys = ParseBatch(*text, file);
    } catch (const BatchFileError& e) {
        err << "corvane-cli: " << e.what() << '\n';
        return kExitUsage;
    }
    if (surveys.empty())
        err << "corvane-cli: " << file << " lists no surveys\n";
    for (SurveyRequest& s : surveys) {
        s.Results = options.Results;
        s.Skip = options.Skip;
    }

    // Recording is what a batch is for: a history that cannot be opened
    // ends it before any survey runs.
    const std::string historyFile = HistoryFile(options.Settings);
    std::optional<history::HistoryStore> store;
    try {
        store.emplace(historyFile);
    } catch (const history::HistoryError& e) {
        err << "corvane-cli: cannot open the history: " << OneLine(e.what()) << '\n';
        return kExitFailure;
    } catch (const history::SqliteError& e) {
        err << "corvane-cli: cannot open the history: " << OneLine(e.what()) << '\n';
        return kExitFailure;
    }
    if (!store->Notice().empty())
        err << "corvane-cli: " << OneLine(store->Notice()) << '\n';

    frontend::PageFetcher fetcher(options.Settings);
    if (options.Settings.Demo)
        err << "corvane-cli: demo web at " << fetcher.DemoAddress() << '\n';
    SetInterruptNote(kBatchStopNote);
    Tally tally;
    std::size_t ran = 0;
    for (const SurveyRequest& request : surveys) {
        if (Interrupted())
            break;
        const std::string label = "survey " + std::to_string(ran + 1) + " of " +
                                  std::to_string(surveys.size()) + " (" +
                                  history::QueryLabel(request.Text, request.Mode) + ")";
        err << "corvane-cli: " << label << '\n';
        engine::ResultsTable table;
        const SurveyOutcome outcome =
            RunOneSurvey(fetcher, options.Settings, request, table, terminal, err);
        ++ran;
        const std::optional<std::int64_t> id =
            RecordSurvey(*store, RecordOf(request, outcome), table, err);
        switch (outcome.End) {
            case history::SurveyEnd::Done:
                ++tally.done;
                break;
            case history::SurveyEnd::Stopped:
                ++tally.stopped;
                break;
            case history::SurveyEnd::Failed:
                ++tally.failed;
                break;
        }
        if (!id)
            ++tally.notRecorded;
        err << "corvane-cli: " << label << ": " << history::SurveyEndName(outcome.End) << ", "
            << table.Count() << (table.Count() == 1 ? " row" : " rows")
            << (id ? ", recorded as survey " + std::to_string(*id) : std::string(", not recorded"))
            << '\n';
    }
    out << Summary(surveys.size(), tally, ran) << '\n';
    out.flush();
    const bool allRan = tally.done == static_cast<int>(surveys.size()) && tally.notRecorded == 0;
    return allRan ? kExitOk : kExitFailure;
}

}  // namespace corvane::cli
