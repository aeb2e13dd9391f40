#include "cli/history_cli.h"

#include <optional>

#include "cli/cli_app.h"
#include "cli/survey_runner.h"
#include "frontend/settings.h"
#include "history/history_commands.h"
#include "history/sqlite_db.h"

namespace corvane::cli {

namespace {

using frontend::UsageError;

// The arguments of one history command, as typed.
struct HistoryArgs {
    std::string command;  // "list", "show", "compare", "export", "forget"
    std::vector<std::int64_t> ids;
    std::optional<std::string> query;
    std::optional<std::int64_t> limit;
    std::optional<std::string> csv;
    frontend::FrontEndSettings settings;
};

// The options each command takes besides --history.
bool Takes(const std::string& command, const std::string& option) {
    if (option == "--query" || option == "--limit")
        return command == "list";
    if (option == "--csv")
        return command == "show" || command == "compare" || command == "export";
    return false;
}

// A survey id as typed; a bad one is a bad argument.
std::int64_t IdArgument(const std::string& text) {
    try {
        return history::ParseSurveyId(text);
    } catch (const history::CommandError& e) {
        throw UsageError(e.what());
    }
}

HistoryArgs Parse(const std::vector<std::string>& args) {
    HistoryArgs parsed;
    frontend::ApplyHistoryEnvironment(parsed.settings);
    std::size_t i = 0;
    parsed.command = "list";
    if (!args.empty() && (args[0].empty() || args[0][0] != '-')) {
        const std::string& c = args[0];
        if (c != "show" && c != "compare" && c != "export" && c != "forget") {
            throw UsageError("history: unknown command '" + c +
                             "' (show, compare, export or forget, or none to list)");
        }
        parsed.command = c;
        i = 1;
    }
    const std::string& command = parsed.command;
    std::vector<std::string> positional;
    const std::string name = command == "list" ? "history" : "history " + command;
    while (i < args.size()) {
        const std::string& a = args[i];
        if (a == "--history") {
            frontend::TakeHistoryOption(args, i, parsed.settings);
            continue;
        }
        if (a == "--query" || a == "--limit" || a == "--csv") {
            if (!Takes(command, a))
                throw UsageError(name + " does not take " + a);
            if (i + 1 >= args.size())
                throw UsageError(a + " needs a value");
            const std::string& v = args[i + 1];
            if (a == "--limit") {
                parsed.limit = frontend::ParseIntOption(v, a);
                if (*parsed.limit < 1)
                    throw UsageError("--limit must be 1 or more");
            } else {
                (a == "--query" ? parsed.query : parsed.csv) = v;
            }
            i += 2;
            continue;
        }
        if (!a.empty() && a[0] == '-')
            throw UsageError(name + ": unknown option '" + a + "'");
        positional.push_back(a);
        ++i;
    }
    const std::size_t most = command == "compare"                       ? 2
                             : command == "show" || command == "forget" ? 1
                                                                        : 0;
    const std::size_t least = command == "list" || command == "export" ? 0 : 1;
    if (positional.size() > most) {
        throw UsageError(most == 0 ? name + ": unexpected argument '" + positional[0] + "'"
                                   : name + " takes at most " + std::to_string(most) +
                                         (most == 1 ? " survey id" : " survey ids"));
    }
    if (positional.size() < least)
        throw UsageError(name + " needs a survey id");
    for (const std::string& id : positional)
        parsed.ids.push_back(IdArgument(id));
    if (command == "export" && !parsed.csv)
        throw UsageError("history export needs --csv FILE, or --csv - for stdout");
    if (parsed.csv && parsed.csv->empty())
        throw UsageError("--csv needs a file name, or - for stdout");
    return parsed;
}

void Run(history::HistoryStore& store, const HistoryArgs& a, std::ostream& out) {
    const std::vector<std::int64_t>& ids = a.ids;
    const std::string csv = a.csv.value_or(std::string());
    if (a.command == "list") {
        history::ListArgs list;
        list.Query = a.query.value_or(std::string());
        list.Limit = a.limit;
        history::ListSurveys(store, list, out);
    } else if (a.command == "show") {
        history::ShowSurvey(store, {ids[0], csv}, out);
    } else if (a.command == "compare") {
        history::CompareArgs compare;
        if (ids.size() == 2)
            compare.Before = ids[0];
        compare.After = ids.back();
        compare.Csv = csv;
        history::CompareSurveyIds(store, compare, out);
    } else if (a.command == "export") {
        history::ExportHistory(store, {csv}, out);
    } else {
        history::ForgetSurvey(store, {ids[0]}, out);
    }
}

}  // namespace

int HistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    // Every argument is checked before the history file is opened (and
    // perhaps created).
    const HistoryArgs parsed = Parse(args);
    const std::string file = HistoryFile(parsed.settings);
    try {
        history::HistoryStore store = history::OpenHistory(file, err, "corvane-cli: ");
        Run(store, parsed, out);
        out.flush();
        return kExitOk;
    } catch (const history::CommandError& e) {
        err << "corvane-cli: " << OneLine(e.what()) << '\n';
    } catch (const history::HistoryError& e) {
        err << "corvane-cli: " << OneLine(e.what()) << '\n';
    } catch (const history::SqliteError& e) {
        err << "corvane-cli: " << OneLine(e.what()) << '\n';
    }
    return kExitFailure;
}

}  // namespace corvane::cli
