#include "cli/fetch_command.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <ostream>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "cli/interrupt_watch.h"
#include "cli/survey_runner.h"
#include "engine/text_ops.h"
#include "frontend/page_fetcher.h"
#include "net/descriptor_sink.h"
#include "net/fetch_cancel.h"
#include "net/net_stream.h"
#include "net/page_fetch.h"

namespace corvane::cli {

const char* const kFetchOptionsHelp =
    "  -o, --output FILE            write the body to FILE instead of stdout\n"
    "  -X, --request METHOD         GET or POST (default: GET, or POST with -d)\n"
    "  -d, --data TEXT              send TEXT as is as a POST form body\n"
    "                               (application/x-www-form-urlencoded); given\n"
    "                               again, the texts are joined with \"&\"\n"
    "  -H, --header \"NAME: VALUE\"   add a request header (repeatable); one the\n"
    "                               fetch sends itself is replaced, Host,\n"
    "                               Content-Length, Transfer-Encoding and\n"
    "                               Connection are refused. With -L, Cookie and\n"
    "                               Authorization-like headers go only to the\n"
    "                               first URL's host\n"
    "  -i, --include                write each response's status line and headers,\n"
    "                               as received, before the body (with -L: every\n"
    "                               redirect's too)\n"
    "  -f, --fail                   a status of 400 or more: no body, exit code 22\n"
    "  -L, --location               follow redirects (at most 10; https to http\n"
    "                               refused), ask for compressed bodies and decode\n"
    "                               them, read responses by today's rules\n"
    "  --compressed                 ask for gzip or deflate and decode the body\n"
    "  --max-filesize N             end the fetch past N body bytes (suffix K, M or G;\n"
    "                               default: no limit)\n";

namespace {

using frontend::UsageError;

// --max-filesize: bytes, or kibi-, mebi- or gibibytes with a suffix.
std::int64_t ParseSize(const std::string& text, const std::string& option) {
    std::string digits = text;
    std::int64_t unit = 1;
    if (!digits.empty()) {
        switch (digits.back()) {
            case 'k':
            case 'K':
                unit = std::int64_t{1} << 10;
                break;
            case 'm':
            case 'M':
                unit = std::int64_t{1} << 20;
                break;
            case 'g':
            case 'G':
                unit = std::int64_t{1} << 30;
                break;
            default:
                break;
        }
        if (unit != 1)
            digits.pop_back();
    }
    std::uint64_t count = 0;
    if (digits.size() > 15 || !base::TryReadDecimalDigits(digits, 999999999999999u, count))
        throw UsageError(option + ": '" + text + "' is not a byte count");
    const auto value = static_cast<std::int64_t>(count);
    if (value > std::numeric_limits<std::int64_t>::max() / unit)
        throw UsageError(option + ": '" + text + "' is too large");
    return value * unit;
}

// A cause as one line: each run of line breaks becomes one blank.
std::string OneLineCause(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

bool TakeFetchOption(const std::vector<std::string>& args, std::size_t& i, FetchCommandOptions& o) {
    const std::string& name = args[i];
    auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size())
            throw UsageError(name + " needs a value");
        return args[++i];
    };
    if (name == "-o" || name == "--output") {
        o.OutputFile = value();
        if (o.OutputFile.empty())
            throw UsageError(name + " needs a file name");
        if (o.OutputFile == "-")
            o.OutputFile.clear();
    } else if (name == "-X" || name == "--request") {
        o.Method = value();
        if (o.Method != "GET" && o.Method != "POST")
            throw UsageError(name + ": '" + o.Method + "' is not GET or POST");
    } else if (name == "-d" || name == "--data") {
        const std::string& text = value();
        o.Data += o.HasData ? "&" + text : text;
        o.HasData = true;
    } else if (name == "-H" || name == "--header") {
        const std::string& header = value();
        const std::size_t colon = header.find(':');
        if (colon == std::string::npos || colon == 0)
            throw UsageError(name + ": '" + OneLineCause(header) + "' is not \"NAME: VALUE\"");
        o.Headers.emplace_back(header.substr(0, colon),
                               std::string(base::TrimBlanks(header.substr(colon + 1))));
    } else if (name == "-i" || name == "--include") {
        o.Include = true;
    } else if (name == "-f" || name == "--fail") {
        o.Fail = true;
    } else if (name == "-L" || name == "--location") {
        o.Settings.Fetch.Policy = net::FetchPolicy::Modern;
    } else if (name == "--compressed") {
        o.Settings.Fetch.Compressed = true;
    } else if (name == "--max-filesize") {
        o.Settings.Fetch.MaxBodySize = ParseSize(value(), name);
    } else {
        return false;
    }
    ++i;
    return true;
}

// The body's way out: a file, or standard output, opened when the first
// byte comes (or at the end, for an empty body).
class OutputSink : public net::DescriptorSink {
  public:
    // `path` empty: standard output. `onFailure` runs once when the output
    // cannot be opened or written, to end the fetch.
    OutputSink(std::string path, std::function<void()> onFailure) : path_(std::move(path)) {
        OnFailure = std::move(onFailure);
    }

    // Closes the output; `create` makes a file that no byte has opened yet
    // (an empty body). False, as Failed, when that fails.
    bool Finish(bool create) {
        if (create && !Open())
            return false;
        return Close();
    }
    // Standard output's reader has gone (a closed pipe): not an error, the
    // reader took what it wanted.
    bool ReaderGone() const { return Error() == EPIPE && path_.empty(); }
    std::string ErrorText() const {
        return "cannot write " + (path_.empty() ? std::string("to stdout") : path_) + ": " +
               std::strerror(Error());
    }

  protected:
    bool Open() override {
        if (fd_ >= 0 || error_ != 0)
            return error_ == 0;
        if (path_.empty()) {
            fd_ = STDOUT_FILENO;
            return true;
        }
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            Fail(errno);
        return fd_ >= 0;
    }

  private:
    std::string path_;
};

// The -i block: the header lines as received, ended by their blank line.
std::string HeaderBlock(std::string raw) {
    auto endsWith = [&](const char* tail) {
        const std::size_t n = std::strlen(tail);
        return raw.size() >= n && raw.compare(raw.size() - n, n, tail) == 0;
    };
    if (endsWith("\r\n\r\n") || endsWith("\n\n"))
        return raw;
    if (endsWith("\r\n"))
        return raw + "\r\n";
    if (endsWith("\n"))
        return raw + "\n";
    return raw + "\r\n\r\n";
}

const char* CauseOf(net::FetchFailure failure) {
    switch (failure) {
        case net::FetchFailure::Name:
            return "could not resolve the host";
        case net::FetchFailure::Connect:
            return "could not connect";
        case net::FetchFailure::Proxy:
            return "the proxy failed";
        case net::FetchFailure::Tls:
            return "TLS failed";
        case net::FetchFailure::Deadline:
            return "the time limit ran out";
        case net::FetchFailure::Limit:
            return "the body is larger than allowed";
        case net::FetchFailure::Protocol:
            return "the response breaks the protocol";
        case net::FetchFailure::Cancelled:
            return "cancelled";
        case net::FetchFailure::None:
            break;
    }
    return "failed";
}

// SIGPIPE ignored while it lives: a reader of standard output that goes
// away makes a write fail with EPIPE instead of ending the program.
class PipeSignalIgnored {
  public:
    PipeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &old_);
    }
    ~PipeSignalIgnored() { sigaction(SIGPIPE, &old_, nullptr); }
    PipeSignalIgnored(const PipeSignalIgnored&) = delete;
    PipeSignalIgnored& operator=(const PipeSignalIgnored&) = delete;

  private:
    struct sigaction old_ {};
};

net::FetchRequest RequestOf(const FetchCommandOptions& o) {
    net::FetchRequest request;
    request.Url = o.Url;
    request.Method = !o.Method.empty() ? o.Method : o.HasData ? "POST" : "GET";
    request.Body = o.Data;
    request.Headers = o.Headers;
    return request;
}

}  // namespace

FetchCommandOptions ParseFetchArgs(const std::vector<std::string>& args) {
    FetchCommandOptions o;
    frontend::ApplyEnvironment(o.Settings);
    // The command streams; the page fetch's cap on kept bodies is not its.
    o.Settings.Fetch.MaxBodySize = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i < args.size();) {
        if (frontend::TakeSharedOption(args, i, o.Settings) || TakeFetchOption(args, i, o))
            continue;
        if (args[i].size() > 1 && args[i][0] == '-')
            throw UsageError("fetch: unknown option '" + args[i] + "'");
        if (!o.Url.empty())
            throw UsageError("fetch takes one URL");
        o.Url = args[i++];
    }
    if (o.Url.empty())
        throw UsageError("fetch needs a URL");
    if (o.HasData && o.Method == "GET")
        throw UsageError("fetch: -d sends a body, which a GET request cannot carry");
    const std::string refusal = net::RequestRefusal(RequestOf(o));
    if (!refusal.empty())
        throw UsageError("fetch: " + refusal);
    frontend::ValidateSettings(o.Settings);
    return o;
}

int FetchCommand(const std::vector<std::string>& args, std::ostream& err) {
    FetchCommandOptions o = ParseFetchArgs(args);
    net::FetchCancel cancel;
    o.Settings.Fetch.Cancel = &cancel;
    frontend::PageFetcher fetcher(o.Settings);

    const PipeSignalIgnored pipeSignal;
    OutputSink sink(o.OutputFile, [&cancel] { cancel.Cancel(); });
    bool failedStatus = false;
    bool headersWritten = false;
    // -i: the header block of each response, redirects followed included.
    auto writeHeaders = [&](const net::FetchResult& head) {
        headersWritten = true;
        for (const std::string& hop : head.RedirectHeaders)
            sink.EmitText(HeaderBlock(hop));
        if (!head.RawHeaders.empty())
            sink.EmitText(HeaderBlock(head.RawHeaders));
    };
    auto onHeaders = [&](const net::FetchResult& head) {
        if (o.Fail && head.Status >= 400) {
            // Nothing of the answer is written; the rest is not awaited.
            failedStatus = true;
            sink.Discard();
            cancel.Cancel();
            return;
        }
        if (o.Include)
            writeHeaders(head);
    };

    InterruptWatch watch(cancel);
    const net::FetchResult r = net::FetchTo(RequestOf(o), fetcher.Options(), sink, onHeaders);
    watch.Stop();

    if (watch.Fired()) {
        err << "corvane-cli: interrupted\n";
        return kExitInterrupted;
    }
    if (sink.ReaderGone())
        return 0;
    // A fetch that ended among its redirects still shows those it saw.
    if (o.Include && !headersWritten && !failedStatus)
        writeHeaders(r);
    if (r.Status >= 400) {
        err << "corvane-cli: HTTP " << r.Status << (r.Reason.empty() ? "" : " ") << r.Reason
            << '\n';
    }
    if (failedStatus || (o.Fail && r.Status >= 400))
        return kExitHttpError;
    if (sink.Failed()) {
        err << "corvane-cli: " << sink.ErrorText() << '\n';
        return 1;
    }
    if (r.Failure != net::FetchFailure::None) {
        err << "corvane-cli: "
            << (r.Message.empty() ? std::string(CauseOf(r.Failure)) : OneLineCause(r.Message))
            << '\n';
        // What arrived is written; an output file is closed with it.
        sink.Finish(false);
        return 1;
    }
    if (!sink.Finish(true)) {
        err << "corvane-cli: " << sink.ErrorText() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace corvane::cli
