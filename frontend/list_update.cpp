#include "frontend/list_update.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "frontend/page_fetcher.h"
#include "lists/list_index.h"
#include "lists/list_store.h"
#include "net/descriptor_sink.h"
#include "net/internet_date.h"
#include "net/page_fetch.h"

namespace corvane::frontend {

namespace {

using lists::ListKind;

// A list far beyond any published one is not taken.
constexpr std::int64_t kMaxListBytes = std::int64_t{1} << 30;
// A whole download, when the settings keep the default time limit.
constexpr std::int32_t kListDeadlineMs = 30 * 60 * 1000;
// Progress is told at most once per this many bytes (and at the end).
constexpr std::int64_t kProgressStep = 256 * 1024;

// The value of a header in a response's raw header block, or empty.
std::string HeaderValue(const std::string& raw, std::string_view name) {
    std::size_t start = raw.find('\n');  // past the status line
    while (start != std::string::npos && start + 1 < raw.size()) {
        ++start;
        const std::size_t end = raw.find('\n', start);
        std::string_view line(raw.data() + start,
                              (end == std::string::npos ? raw.size() : end) - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && colon == name.size() &&
            base::LowerAscii(line.substr(0, colon)) == base::LowerAscii(name)) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.remove_suffix(1);
            return std::string(value);
        }
        start = end;
    }
    return {};
}

// Last-Modified as Unix time; 0 when absent or unreadable.
std::int64_t LastModified(const std::string& raw) {
    std::string text = HeaderValue(raw, "Last-Modified");
    net::TDateTime written = 0;
    if (text.empty() || !net::TryParseInternetDate(text, written))
        return 0;
    // Days since 1899-12-30, as written, less the zone (none for GMT).
    const double days = written - net::ZoneOffset(text) - 25569.0;
    return days > 0 ? static_cast<std::int64_t>(std::llround(days * 86400.0)) : 0;
}

// The body's way to a temporary file in the lists folder: every byte
// written as it comes, so that a list is never held whole in memory.
class DownloadFile : public net::DescriptorSink {
  public:
    DownloadFile(std::string folder, ListKind kind) {
        path_ = folder + "/." + lists::ListKindName(kind) + ".download-XXXXXX";
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0)
            error_ = errno;
        created_ = fd_ >= 0;
    }
    // The file goes with the download, imported or not.
    ~DownloadFile() override {
        if (created_)
            ::unlink(path_.c_str());
    }

    // Closes the file; false (as Failed) when that fails.
    bool Finish() { return Close(); }
    std::string ErrorText() const {
        return "cannot write " + path_ + ": " + std::strerror(Error());
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    bool created_ = false;
};

net::FetchOptions DownloadOptions(const PageFetcher& fetcher, net::FetchCancel* cancel) {
    net::FetchOptions options = fetcher.Options();
    options.Policy = net::FetchPolicy::Modern;
    options.MaxBodySize = kMaxListBytes;
    if (options.DeadlineMs == net::FetchOptions().DeadlineMs)
        options.DeadlineMs = kListDeadlineMs;
    options.Cancel = cancel;
    return options;
}

// The cause of a failed fetch in one line: each run of line breaks becomes
// one blank.
std::string FailureText(const net::FetchResult& r) {
    if (r.Message.empty())
        return net::FetchFailureName(r.Failure);
    std::string line;
    for (char c : r.Message) {
        if (c != '\r' && c != '\n')
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Tranco's permanent ID of today's list: a short word of letters and
// digits. Empty when it cannot be had; the list is imported without it.
std::string FetchListId(const std::string& url, const PageFetcher& fetcher,
                        net::FetchCancel* cancel) {
    if (url.empty())
        return {};
    net::FetchOptions options = DownloadOptions(fetcher, cancel);
    options.MaxBodySize = 1024;
    net::TextSink sink;
    const net::FetchResult r = net::FetchTo(url, options, sink);
    if (r.Failure != net::FetchFailure::None || r.Status != 200)
        return {};
    std::string id = sink.TakeText();
    while (!id.empty() && base::IsBlankOrControl(id.back()))
        id.pop_back();
    while (!id.empty() && base::IsBlankOrControl(id.front()))
        id.erase(0, 1);
    const bool word =
        !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), base::IsLetterOrDigit);
    return word ? id : std::string();
}

ListUpdateOutcome UpdateOne(ListKind kind, const std::string& url, const std::string& listId,
                            const std::string& folder, const PageFetcher& fetcher,
                            const std::function<void(const ListDownloadProgress&)>& progress,
                            net::FetchCancel* cancel) {
    const std::string name = lists::ListKindName(kind);
    ListUpdateOutcome outcome;
    outcome.Kind = kind;
    const auto failed = [&](const std::string& why) {
        outcome.Message = name + ": " + why + "; the old list is kept";
        return outcome;
    };

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return failed("cannot create the lists folder " + folder + ": " + ec.message());
    DownloadFile file(folder, kind);
    if (file.Failed())
        return failed(file.ErrorText());

    // A write failure ends the download at once when the caller left that
    // to us; with the caller's token, the rest of the body is dropped.
    net::FetchCancel own;
    net::FetchCancel* const stop = cancel != nullptr ? cancel : &own;
    if (cancel == nullptr)
        file.OnFailure = [&own] { own.Cancel(); };

    ListDownloadProgress state;
    state.Kind = kind;
    std::int64_t told = -kProgressStep;
    const auto tell = [&](std::int64_t received, bool always) {
        state.Received = received;
        if (progress && (always || received - told >= kProgressStep)) {
            told = received;
            progress(state);
        }
    };
    file.OnBytes = [&](std::int64_t received) { tell(received, false); };

    std::int64_t lastModified = 0;
    const auto onHeaders = [&](const net::FetchResult& head) {
        if (head.Status != 200) {
            file.Discard();
            return;
        }
        lastModified = LastModified(head.RawHeaders);
        // The length on the wire says nothing of a body that is decoded.
        const std::string coding =
            base::LowerAscii(HeaderValue(head.RawHeaders, "Content-Encoding"));
        std::uint64_t length = 0;
        if ((coding.empty() || coding == "identity") &&
            base::TryReadDecimalDigits(HeaderValue(head.RawHeaders, "Content-Length"),
                                       static_cast<std::uint64_t>(kMaxListBytes), length))
            state.Total = static_cast<std::int64_t>(length);
        tell(0, true);
    };

    const net::FetchResult r = net::FetchTo(url, DownloadOptions(fetcher, stop), file, onHeaders);
    if (file.Failed())
        return failed(file.ErrorText());
    if (r.Failure == net::FetchFailure::Cancelled)
        return failed("cancelled");
    if (r.Status != 0 && r.Status != 200)
        return failed(url + " answered " + std::to_string(r.Status) +
                      (r.Reason.empty() ? "" : " ") + r.Reason);
    if (r.Failure != net::FetchFailure::None)
        return failed("download from " + url + " failed: " + FailureText(r));
    if (!file.Finish())
        return failed(file.ErrorText());
    tell(r.BodyBytes, true);

    lists::ImportSource source;
    source.Origin = r.FinalUrl.empty() ? url : r.FinalUrl;
    source.ListId = listId;
    source.ListTime = lastModified;
    source.Expected = kind;
    try {
        const lists::MappedFile content(file.Path());
        const lists::ImportReport report = lists::ImportList(content.View(), folder, source);
        outcome.Updated = true;
        outcome.Message = name + ": " + Count(report.Rows, "row", "rows");
        if (!listId.empty())
            outcome.Message += " (list ID " + listId + ")";
        if (report.Skipped > 0)
            outcome.Message +=
                ", " + Count(report.Skipped, "malformed line", "malformed lines") + " skipped";
    } catch (const lists::ListError& e) {
        return failed(source.Origin + " gave " + e.what());
    }
    return outcome;
}

// The demo web stands in for every site as a plain HTTP proxy: it is asked
// for the lists' addresses over http.
std::string ForFetcher(const std::string& url, const PageFetcher& fetcher) {
    if (fetcher.DemoAddress().empty() || url.rfind("https://", 0) != 0)
        return url;
    return "http://" + url.substr(8);
}

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

}  // namespace

ListSources ListSourcesFromEnvironment() {
    ListSources sources;
    sources.TrancoUrl = FromEnvironment("CORVANE_TRANCO_URL", kTrancoListUrl);
    sources.TrancoIdUrl = FromEnvironment("CORVANE_TRANCO_ID_URL", kTrancoIdUrl);
    sources.MajesticUrl = FromEnvironment("CORVANE_MAJESTIC_URL", kMajesticListUrl);
    return sources;
}

std::vector<ListUpdateOutcome> UpdateLists(
    const std::string& folder, PageFetcher& fetcher,
    const std::function<void(const ListDownloadProgress&)>& progress, net::FetchCancel* cancel) {
    return UpdateLists(folder, fetcher, ListSourcesFromEnvironment(), progress, cancel);
}

std::vector<ListUpdateOutcome> UpdateLists(
    const std::string& folder, PageFetcher& fetcher, const ListSources& sources,
    const std::function<void(const ListDownloadProgress&)>& progress, net::FetchCancel* cancel) {
    const std::string where = folder.empty() ? lists::DefaultListsFolder() : folder;
    std::vector<ListUpdateOutcome> outcomes;
    for (ListKind kind : {ListKind::Tranco, ListKind::Majestic}) {
        const bool tranco = kind == ListKind::Tranco;
        const std::string url =
            ForFetcher(tranco ? sources.TrancoUrl : sources.MajesticUrl, fetcher);
        if (url.empty())
            continue;
        if (cancel != nullptr && cancel->Cancelled()) {
            outcomes.push_back(
                {kind, false,
                 std::string(lists::ListKindName(kind)) + ": cancelled; the old list is kept"});
            continue;
        }
        const std::string listId =
            tranco ? FetchListId(ForFetcher(sources.TrancoIdUrl, fetcher), fetcher, cancel)
                   : std::string();
        outcomes.push_back(UpdateOne(kind, url, listId, where, fetcher, progress, cancel));
    }
    return outcomes;
}

}  // namespace corvane::frontend
