#include "cli/lists_command.h"

#include <ctime>
#include <ostream>

#include "cli/cli_app.h"
#include "cli/fetch_command.h"
#include "cli/interrupt_watch.h"
#include "cli/table_output.h"
#include "frontend/page_fetcher.h"
#include "frontend/settings.h"
#include "lists/list_store.h"

namespace corvane::cli {

namespace {

using frontend::UsageError;
using lists::ListKind;

constexpr std::int64_t kStaleDays = 30;

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::string Megabytes(std::int64_t bytes) {
    const std::int64_t tenths = (bytes + 50000) / 100000;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string TimeText(std::int64_t unixTime) {
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (unixTime == 0 || gmtime_r(&t, &tm) == nullptr)
        return "unknown";
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

int Update(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool terminal) {
    frontend::FrontEndSettings settings;
    frontend::ApplyEnvironment(settings);
    for (std::size_t i = 0; i < args.size();) {
        if (frontend::TakeSharedOption(args, i, settings))
            continue;
        throw UsageError("lists update: unknown argument '" + args[i] + "'");
    }
    frontend::ValidateSettings(settings);
    net::FetchCancel cancel;
    frontend::PageFetcher fetcher(settings);
    if (settings.Demo)
        err << "corvane-cli: demo web at " << fetcher.DemoAddress() << '\n';

    bool drawn = false;
    const auto endBar = [&] {
        if (drawn)
            err << '\n';
        drawn = false;
    };
    std::function<void(const frontend::ListDownloadProgress&)> progress;
    if (terminal) {
        progress = [&](const frontend::ListDownloadProgress& p) {
            err << "\r\033[K" << DownloadBar(p) << std::flush;
            drawn = true;
        };
    }
    InterruptWatch watch(cancel);
    const std::string folder = lists::DefaultListsFolder();
    const frontend::ListSources sources = frontend::ListSourcesFromEnvironment();
    std::vector<frontend::ListUpdateOutcome> outcomes;
    for (ListKind kind : {ListKind::Tranco, ListKind::Majestic}) {
        // One list at a time, so that each outcome follows its own bar.
        frontend::ListSources one = sources;
        if (kind == ListKind::Tranco)
            one.MajesticUrl.clear();
        else
            one.TrancoUrl.clear();
        for (const frontend::ListUpdateOutcome& o :
             frontend::UpdateLists(folder, fetcher, one, progress, &cancel)) {
            endBar();
            (o.Updated ? out : err)
                << (o.Updated ? "" : "corvane-cli: ") << Printable(o.Message) << '\n';
            outcomes.push_back(o);
        }
    }
    watch.Stop();
    out.flush();
    if (watch.Fired()) {
        err << "corvane-cli: interrupted\n";
        return kExitInterrupted;
    }
    for (const frontend::ListUpdateOutcome& o : outcomes) {
        if (!o.Updated)
            return kExitFailure;
    }
    return kExitOk;
}

int Import(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-')
            throw UsageError("lists import: unknown option '" + a + "'");
        files.push_back(a);
    }
    if (files.empty())
        throw UsageError("lists import needs a FILE (csv or zip)");
    const std::string folder = lists::DefaultListsFolder();
    int status = kExitOk;
    for (const std::string& file : files) {
        try {
            const lists::ImportReport r = lists::ImportFile(file, folder);
            out << lists::ListKindName(r.Kind) << ": " << Count(r.Rows, "row", "rows")
                << " imported from " << Printable(file);
            if (r.Skipped > 0)
                out << ", " << Count(r.Skipped, "malformed line", "malformed lines") << " skipped";
            if (r.Duplicates > 0)
                out << ", " << Count(r.Duplicates, "repeated domain", "repeated domains")
                    << " dropped";
            out << '\n';
        } catch (const lists::ListError& e) {
            err << "corvane-cli: " << Printable(e.what()) << '\n';
            status = kExitFailure;
        }
    }
    return status;
}

int Status(const std::vector<std::string>& args, std::ostream& out) {
    if (!args.empty())
        throw UsageError("lists status: unknown argument '" + args[0] + "'");
    const std::string folder = lists::DefaultListsFolder();
    out << "lists folder: " << Printable(folder) << '\n';
    const std::int64_t now = Now();
    for (ListKind kind : {ListKind::Tranco, ListKind::Majestic})
        out << StatusLine(lists::StatusOf(folder, kind), now) << '\n';
    return kExitOk;
}

}  // namespace

std::string DownloadBar(const frontend::ListDownloadProgress& p) {
    constexpr std::int64_t kBar = 30;
    std::string name = lists::ListKindName(p.Kind);
    name.resize(9, ' ');
    if (p.Total <= 0)
        return name + Megabytes(p.Received) + " MB";
    const std::int64_t received = std::min(p.Received, p.Total);
    const std::int64_t filled = received * kBar / p.Total;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBar - filled), '.') + "] " + name +
           Megabytes(p.Received) + " of " + Megabytes(p.Total) + " MB";
}

std::string StatusLine(const lists::ListStatus& s, std::int64_t now) {
    std::string line = std::string(lists::ListKindName(s.Kind)) + ": ";
    if (!s.Present) {
        if (!s.Problem.empty())
            return line + "cannot be used: " + Printable(s.Problem);
        return line +
               "missing; run \"corvane-cli lists update\" or \"corvane-cli lists import "
               "FILE\"";
    }
    const std::int64_t days = lists::DaysBetween(s.ListTime, now);
    line += Count(s.Rows, "row", "rows") + ", list of " + s.ListDate + " (" + std::to_string(days) +
            (days == 1 ? " day" : " days") + " old";
    if (days > kStaleDays)
        line += ", time to update";
    line += "), imported " + TimeText(s.ImportedAt);
    if (!s.ListId.empty())
        line += ", list ID " + Printable(s.ListId);
    if (s.Skipped > 0)
        line += ", " + Count(s.Skipped, "malformed line", "malformed lines") + " skipped";
    if (!s.Origin.empty())
        line += ", from " + Printable(s.Origin);
    return line;
}

int ListsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 bool errIsTerminal) {
    if (args.empty())
        throw UsageError("lists needs update, import FILE or status");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "update")
        return Update(rest, out, err, errIsTerminal);
    if (args[0] == "import")
        return Import(rest, out, err);
    if (args[0] == "status")
        return Status(rest, out);
    throw UsageError("lists: unknown command '" + args[0] + "' (update, import or status)");
}

}  // namespace corvane::cli
