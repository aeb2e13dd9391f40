#include "cli/cli_app.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/page_fetcher.h"
#include "cli/progress.h"
#include "cli/table_output.h"
#include "corvane_version.h"
#include "engine/ordering.h"
#include "engine/survey_file.h"
#include "engine/survey_run.h"
#include "engine/text_ops.h"

namespace corvane::cli {

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  corvane-cli survey (--keyword TEXT | --domain TEXT) [--results N] [--skip N]\n"
    "                     [--save FILE.cvn] [--csv FILE|-] [network options]\n"
    "  corvane-cli show FILE.cvn [--sort COLUMN] [--csv FILE|-]\n"
    "  corvane-cli fetch URL [network options]\n"
    "  corvane-cli --version\n"
    "\n"
    "survey   runs a keyword or domain survey and prints its table; Ctrl-C stops it\n"
    "         after the current row. --results is kept within 2..30 (default 20),\n"
    "         --skip (default 0) skips the first results.\n"
    "show     prints a saved survey, ordered by COLUMN (0 to 5, or its caption).\n"
    "fetch    writes the body of one page to stdout, byte for byte.\n"
    "--csv    writes the table as CSV to FILE, or to stdout instead of the text table.\n"
    "\n"
    "network options:\n";

// Set by the Ctrl-C handler; seen at every message-pump point of a run.
std::atomic<int> gInterrupts{0};

void OnInterrupt(int) {
    if (gInterrupts.fetch_add(1) > 0) {
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        return;
    }
    engine::StopFlag = true;
    static const char kNote[] = "\ncorvane-cli: stopping after the current row (Ctrl-C again to quit)\n";
    ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
    (void)ignored;
}

class CliHost : public engine::SurveyHost {
public:
    CliHost(PageFetcher& fetcher, const engine::ServiceEndpoints& endpoints, engine::ResultsTable& table,
            SurveyProgress& progress)
        : fetcher_(fetcher), endpoints_(endpoints), table_(table), progress_(progress) {}

    void ShowStatus(const std::string& text) override { progress_.ShowStatus(text); }
    // There is no window to serve; a Ctrl-C pending since the last pump is
    // delivered here as a Stop, so that one given while the results page was
    // on its way still ends the run after its first row.
    void PumpMessages() override {
        if (gInterrupts.load() > 0) engine::StopFlag = true;
    }
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string& url, int port) override { return fetcher_.Fetch(url, port); }
    engine::ResultsTable& Table() override { return table_; }
    const engine::ServiceEndpoints& Endpoints() const override { return endpoints_; }

private:
    PageFetcher& fetcher_;
    engine::ServiceEndpoints endpoints_;
    engine::ResultsTable& table_;
    SurveyProgress& progress_;
};

struct Output {
    std::string csv;   // empty: none; "-": stdout
    std::string save;  // survey file to write
};

bool TakeOutputOption(const std::vector<std::string>& args, std::size_t& i, Output& o, bool allowSave) {
    const std::string& name = args[i];
    if (name != "--csv" && !(allowSave && name == "--save")) return false;
    if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
    (name == "--csv" ? o.csv : o.save) = args[i + 1];
    i += 2;
    return true;
}

// Writes the table as asked: CSV to a file or to stdout, and the text table
// to stdout unless the CSV went there.
int WriteResults(const engine::ResultsTable& table, const Output& o, std::ostream& out, std::ostream& err) {
    int status = kExitOk;
    if (!o.save.empty()) {
        try {
            engine::SaveSurvey(table, o.save);
        } catch (const std::exception& e) {
            err << "corvane-cli: cannot save " << o.save << ": " << e.what() << '\n';
            status = kExitFailure;
        }
    }
    if (o.csv == "-") {
        WriteCsv(out, table);
    } else {
        WriteTextTable(out, table);
        if (!o.csv.empty()) {
            std::ofstream f(o.csv, std::ios::binary | std::ios::trunc);
            if (f) WriteCsv(f, table);
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

int Survey(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal) {
    FrontEndSettings settings;
    ApplyEnvironment(settings);
    Output output;
    std::string text;
    bool haveQuery = false;
    auto mode = engine::SurveyMode::Keyword;
    std::int32_t results = 20, skip = 0;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (TakeSharedOption(args, i, settings) || TakeOutputOption(args, i, output, true)) continue;
        if (a == "--keyword" || a == "--domain" || a == "--results" || a == "--skip") {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            const std::string& v = args[i + 1];
            if (a == "--keyword" || a == "--domain") {
                if (haveQuery) throw UsageError("give one of --keyword and --domain, once");
                haveQuery = true;
                text = v;
                mode = a == "--keyword" ? engine::SurveyMode::Keyword : engine::SurveyMode::Domain;
            } else if (a == "--results") {
                results = std::clamp(ParseIntOption(v, a), 2, 30);
            } else {
                skip = ParseIntOption(v, a);
            }
            i += 2;
            continue;
        }
        throw UsageError("survey: unknown argument '" + a + "'");
    }
    if (!haveQuery) throw UsageError("survey needs --keyword TEXT or --domain TEXT");
    ValidateSettings(settings);

    PageFetcher fetcher(settings);
    if (settings.Demo) err << "corvane-cli: demo web at " << fetcher.DemoAddress() << '\n';
    engine::ResultsTable table;
    SurveyProgress progress(table, results, terminal, err);
    CliHost host(fetcher, settings.Endpoints, table, progress);
    table.AddObserver(&progress);
    int status = kExitOk;
    engine::StopFlag = false;
    try {
        engine::RunSurvey(host, text, results, skip, mode);
    } catch (const engine::ConvertError& e) {
        progress.Finish();
        err << "corvane-cli: the survey ended early: " << e.what() << '\n';
    } catch (const std::exception& e) {
        progress.Finish();
        err << "corvane-cli: the survey could not run: " << e.what() << '\n';
        status = kExitFailure;
    }
    progress.Finish();
    table.RemoveObserver(&progress);
    if (engine::StopFlag && gInterrupts.load() > 0) err << "corvane-cli: stopped\n";
    err << "corvane-cli: " << table.Count() << " rows, " << fetcher.RequestCount() << " requests\n";
    return std::max(status, WriteResults(table, output, out, err));
}

int ColumnOf(const std::string& text) {
    for (int c = 0; c < engine::kColumnCount; ++c) {
        if (text == std::to_string(c) || engine::LowerAscii(text) == engine::LowerAscii(engine::kColumnCaptions[c])) {
            return c;
        }
    }
    throw UsageError("--sort: no column '" + text + "' (0 to 5, or a caption such as \"Inbound Links\")");
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Output output;
    std::string file;
    int sortColumn = -1;
    for (std::size_t i = 0; i < args.size();) {
        if (TakeOutputOption(args, i, output, false)) continue;
        if (args[i] == "--sort") {
            if (i + 1 >= args.size()) throw UsageError("--sort needs a value");
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
    if (file.empty()) throw UsageError("show needs a survey file");
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
    if (sortColumn >= 0) engine::ListView1ColumnClick(table, sortColumn);
    return WriteResults(table, output, out, err);
}

int Fetch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    FrontEndSettings settings;
    ApplyEnvironment(settings);
    std::string url;
    for (std::size_t i = 0; i < args.size();) {
        if (TakeSharedOption(args, i, settings)) continue;
        if (!args[i].empty() && args[i][0] == '-') throw UsageError("fetch: unknown option '" + args[i] + "'");
        if (!url.empty()) throw UsageError("fetch takes one URL");
        url = args[i++];
    }
    if (url.empty()) throw UsageError("fetch needs a URL");
    ValidateSettings(settings);
    PageFetcher fetcher(settings);
    try {
        const std::string body = fetcher.Fetch(url, 80);
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
        out.flush();
    } catch (const std::exception& e) {
        err << "corvane-cli: cannot fetch: " << e.what() << '\n';
        return kExitFailure;
    }
    return out ? kExitOk : kExitFailure;
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            (args.empty() ? err : out) << kUsage << kSharedOptionsHelp;
            return args.empty() ? kExitUsage : kExitOk;
        }
        if (args[0] == "--version") {
            out << "corvane-cli " CORVANE_VERSION "\n";
            return kExitOk;
        }
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        if (args[0] == "survey") return Survey(rest, out, err, errIsTerminal);
        if (args[0] == "show") return Show(rest, out, err);
        if (args[0] == "fetch") return Fetch(rest, out, err);
        throw UsageError("unknown command '" + args[0] + "' (survey, show or fetch)");
    } catch (const UsageError& e) {
        err << "corvane-cli: " << e.what() << " (see corvane-cli --help)\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "corvane-cli: " << e.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace corvane::cli
