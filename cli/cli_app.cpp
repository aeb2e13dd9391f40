#include "cli/cli_app.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <optional>

#include "base/ascii.h"
#include "cli/batch.h"
#include "cli/fetch_command.h"
#include "cli/history_cli.h"
#include "cli/lists_command.h"
#include "cli/profiles_command.h"
#include "cli/survey_runner.h"
#include "cli/table_output.h"
#include "corvane_version.h"
#include "engine/ordering.h"
#include "engine/survey_file.h"
#include "engine/text_ops.h"
#include "frontend/page_fetcher.h"
#include "frontend/settings.h"
#include "search/web_survey.h"

namespace corvane::cli {

namespace {

using frontend::kHistoryOptionsHelp;
using frontend::kSharedOptionsHelp;
using frontend::PageFetcher;
using frontend::UsageError;
using frontend::ValidateSettings;

constexpr const char* kUsage =
    "usage:\n"
    "  corvane-cli survey (--keyword TEXT | --domain TEXT) [--results N] [--skip N]\n"
    "                     [--save FILE.cvn] [--csv FILE|-] [--history FILE | --no-history]\n"
    "                     [--jobs N] [--per-host N] [network options]\n"
    "  corvane-cli batch FILE [--results N] [--skip N] [--history FILE]\n"
    "                     [--jobs N] [--per-host N] [network options]\n"
    "  corvane-cli show FILE.cvn [--sort COLUMN] [--csv FILE|-]\n"
    "  corvane-cli history [--query TEXT] [--limit N] [--history FILE]\n"
    "  corvane-cli history show ID [--csv FILE|-] [--history FILE]\n"
    "  corvane-cli history compare [ID1] ID2 [--csv FILE|-] [--history FILE]\n"
    "  corvane-cli history export --csv FILE|- [--history FILE]\n"
    "  corvane-cli history forget ID [--history FILE]\n"
    "  corvane-cli fetch URL [-X METHOD] [-d TEXT] [-H \"NAME: VALUE\"]... [-o FILE] [-i]\n"
    "                        [-f] [-L] [--compressed] [--max-filesize N] [network options]\n"
    "  corvane-cli profiles\n"
    "  corvane-cli lists update [network options]\n"
    "  corvane-cli lists import FILE...\n"
    "  corvane-cli lists status\n"
    "  corvane-cli --version\n"
    "\n"
    "survey   runs a keyword or domain survey, prints its table and records it in\n"
    "         the history; Ctrl-C stops it and keeps its complete rows (with --jobs 1:\n"
    "         after the current row). --results is kept within 2..30 (default 20),\n"
    "         --skip (default 0) skips the first results.\n"
    "batch    runs one survey per line of FILE, each recorded: a keyword, or\n"
    "         \"domain:\" and a domain; blank lines and lines starting with # are\n"
    "         skipped. Progress goes to stderr, a summary to stdout; Ctrl-C stops\n"
    "         the batch after the current survey.\n"
    "show     prints a saved survey, ordered by COLUMN (0 to 5, or its caption).\n"
    "history  lists the recorded surveys, newest first; --query keeps those whose\n"
    "         query holds TEXT (case ignored), --limit the newest N.\n"
    "  show     prints a recorded survey's table.\n"
    "  compare  for each host of either survey: its rank before and after, its\n"
    "           movement and the change of each figure. ID1 defaults to the\n"
    "           previous survey of ID2's query and profile.\n"
    "  export   writes every row of every recorded survey as CSV.\n"
    "  forget   removes a recorded survey.\n"
    "fetch    writes the body of one page (http or https) to stdout or FILE, byte\n"
    "         for byte, as it arrives; a failure is told on stderr in one line.\n"
    "profiles lists the search profiles: name, where it comes from, description.\n"
    "         Your own go in $XDG_CONFIG_HOME/corvane/profiles/NAME.ini; one named as\n"
    "         a built-in profile takes its place.\n"
    "lists    the rank lists of today's-web surveys, in $XDG_DATA_HOME/corvane/lists:\n"
    "  update   downloads the Tranco top-1M list (and its list ID) and the Majestic\n"
    "           Million and imports them; a failed download keeps the old list.\n"
    "           CORVANE_TRANCO_URL, CORVANE_TRANCO_ID_URL and CORVANE_MAJESTIC_URL\n"
    "           name other addresses (a mirror).\n"
    "  import   imports each FILE (csv or zip, the kind recognised from the content).\n"
    "  status   tells for each list its rows, date and age, and when and from where\n"
    "           it was imported.\n"
    "--csv    writes the table as CSV to FILE, or to stdout instead of the text table.\n"
    "\n"
    "exit codes: 0 done (a stopped survey too), 1 something could not be done (a\n"
    "file not written or read, an unknown survey id; for batch: a survey failed or\n"
    "was not run; for fetch: the exchange failed; for lists: a list not updated or\n"
    "imported), 2 bad arguments (for batch: also a FILE that cannot be read), 22 fetch\n"
    "--fail got a status of 400 or more, 130 fetch or lists update ended by Ctrl-C.\n"
    "\n"
    "fetch options:\n";

constexpr const char* kNetworkUsage = "\nnetwork options:\n";
constexpr const char* kHistoryUsage = "\nhistory options:\n";
constexpr const char* kJobsUsage = "\nsurvey and batch options:\n";

struct Output {
    std::string csv;   // empty: none; "-": stdout
    std::string save;  // survey file to write
};

bool TakeOutputOption(const std::vector<std::string>& args, std::size_t& i, Output& o,
                      bool allowSave) {
    const std::string& name = args[i];
    if (name != "--csv" && !(allowSave && name == "--save"))
        return false;
    if (i + 1 >= args.size())
        throw UsageError(name + " needs a value");
    (name == "--csv" ? o.csv : o.save) = args[i + 1];
    i += 2;
    return true;
}

// Writes the table as asked: CSV to a file or to stdout, and the text table
// to stdout unless the CSV went there.
int WriteResults(const engine::ResultsTable& table, const Output& o, std::ostream& out,
                 std::ostream& err, const char* const* captions = engine::kColumnCaptions) {
    int status = kExitOk;
    if (!o.save.empty()) {
        // A file that cannot be written is reported; the table is still
        // printed below, so the survey's rows are not lost with it.
        try {
            engine::SaveSurvey(table, o.save);
        } catch (const std::exception& e) {
            err << "corvane-cli: cannot save " << o.save << ": " << e.what() << '\n';
            status = kExitFailure;
        }
    }
    if (o.csv == "-") {
        WriteCsv(out, table, captions);
    } else {
        WriteTextTable(out, table, captions);
        if (!o.csv.empty()) {
            std::ofstream f(o.csv, std::ios::binary | std::ios::trunc);
            if (f)
                WriteCsv(f, table, captions);
            f.close();
            if (!f) {
                err << "corvane-cli: cannot write " << o.csv << '\n';
                status = kExitFailure;
            }
        }
    }
    out.flush();
    return status;
}

int Survey(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool terminal) {
    SurveyOptions options = SurveyOptionsFromEnvironment();
    Output output;
    SurveyRequest request;
    bool haveQuery = false;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (TakeSurveyOption(args, i, options) || TakeOutputOption(args, i, output, true))
            continue;
        if (a == "--keyword" || a == "--domain") {
            if (i + 1 >= args.size())
                throw UsageError(a + " needs a value");
            if (haveQuery)
                throw UsageError("give one of --keyword and --domain, once");
            haveQuery = true;
            request.Text = args[i + 1];
            request.Mode =
                a == "--keyword" ? engine::SurveyMode::Keyword : engine::SurveyMode::Domain;
            i += 2;
            continue;
        }
        throw UsageError("survey: unknown argument '" + a + "'");
    }
    if (!haveQuery)
        throw UsageError("survey needs --keyword TEXT or --domain TEXT");
    ValidateSettings(options.Settings);
    request.Results = options.Results;
    request.Skip = options.Skip;

    PageFetcher fetcher(options.Settings);
    if (options.Settings.Demo)
        err << "corvane-cli: demo web at " << fetcher.DemoAddress() << '\n';
    engine::ResultsTable table;
    const SurveyOutcome outcome =
        RunOneSurvey(fetcher, options.Settings, request, table, terminal, err);
    if (outcome.End == history::SurveyEnd::Stopped)
        err << "corvane-cli: stopped\n";
    const std::string failed = fetcher.FailureSummary();
    err << "corvane-cli: " << table.Count() << " rows, " << outcome.Requests << " requests"
        << (failed.empty() ? "" : ", ") << failed << '\n';
    // The table goes out first: a history that is slow to take the record
    // (another writer holds it) or cannot take it at all changes nothing of
    // the output or the exit code.
    const int status =
        std::max(outcome.CouldNotRun ? kExitFailure : kExitOk,
                 WriteResults(table, output, out, err,
                              outcome.Web ? search::kWebColumnCaptions : engine::kColumnCaptions));
    if (options.Settings.RecordHistory) {
        const std::optional<std::int64_t> id =
            RecordSurvey(HistoryFile(options.Settings), RecordOf(request, outcome), table, err);
        if (id)
            err << "corvane-cli: recorded as survey " << *id << '\n';
    }
    return status;
}

int ColumnOf(const std::string& text) {
    for (int c = 0; c < engine::kColumnCount; ++c) {
        if (text == std::to_string(c) ||
            base::LowerAscii(text) == base::LowerAscii(engine::kColumnCaptions[c])) {
            return c;
        }
    }
    throw UsageError("--sort: no column '" + text +
                     "' (0 to 5, or a caption such as \"Inbound Links\")");
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Output output;
    std::string file;
    int sortColumn = -1;
    for (std::size_t i = 0; i < args.size();) {
        if (TakeOutputOption(args, i, output, false))
            continue;
        if (args[i] == "--sort") {
            if (i + 1 >= args.size())
                throw UsageError("--sort needs a value");
            sortColumn = ColumnOf(args[i + 1]);
            i += 2;
        } else if (!args[i].empty() && args[i][0] == '-' && args[i] != "-") {
            throw UsageError("show: unknown option '" + args[i] + "'");
        } else if (file.empty()) {
            file = args[i++];
        } else {
            throw UsageError("show takes one file");
        }
    }
    if (file.empty())
        throw UsageError("show needs a survey file");
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err << "corvane-cli: cannot open " << file << '\n';
        return kExitFailure;
    }
    engine::ResultsTable table;
    std::error_code ec;
    if (!engine::LoadSurvey(table, file, &ec)) {
        err << "corvane-cli: cannot read " << file << ": " << ec.message() << '\n';
        return kExitFailure;
    }
    if (sortColumn >= 0)
        engine::ListView1ColumnClick(table, sortColumn);
    return WriteResults(table, output, out, err);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal) {
    // The program's last word on any failure: one line and the exit code.
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            (args.empty() ? err : out)
                << kUsage << kFetchOptionsHelp << kNetworkUsage << kSharedOptionsHelp
                << kHistoryUsage << kHistoryOptionsHelp << kJobsUsage << frontend::kJobsOptionsHelp;
            return args.empty() ? kExitUsage : kExitOk;
        }
        if (args[0] == "--version") {
            out << "corvane-cli " CORVANE_VERSION "\n";
            return kExitOk;
        }
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        if (args[0] == "survey")
            return Survey(rest, out, err, errIsTerminal);
        if (args[0] == "show")
            return Show(rest, out, err);
        if (args[0] == "fetch")
            return FetchCommand(rest, err);
        if (args[0] == "history")
            return HistoryCommand(rest, out, err);
        if (args[0] == "batch")
            return Batch(rest, out, err, errIsTerminal);
        if (args[0] == "profiles")
            return ProfilesCommand(rest, out);
        if (args[0] == "lists")
            return ListsCommand(rest, out, err, errIsTerminal);
        throw UsageError("unknown command '" + args[0] +
                         "' (survey, batch, show, history, fetch, profiles or lists)");
    } catch (const UsageError& e) {
        err << "corvane-cli: " << e.what() << " (see corvane-cli --help)\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "corvane-cli: " << e.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace corvane::cli
