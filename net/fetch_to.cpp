// The streaming page fetch: one GET (and, under the modern policy, the
// redirects it leads to) with one deadline, the body handed to the caller's
// stream as it arrives, decoded when compression was asked for, and every
// failure of the exchange told in the result.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <zlib.h>

#include "base/ascii.h"
#include "corvane_version.h"
#include "net/connection_pool.h"
#include "net/fetch_resolve.h"
#include "net/page_fetch.h"
#include "net/text_tokens.h"
#include "net/tls_channel.h"
#include "net/uri.h"

namespace corvane::net {

namespace {

using Clock = std::chrono::steady_clock;

// The body's content coding ran past what may be kept.
class EDecodedTooLarge : public ENetResponseTooLarge {
  public:
    EDecodedTooLarge() : ENetResponseTooLarge("Maximum body size exceeded after decoding") {}
};

class EBadContentCoding : public ENetException {
  public:
    explicit EBadContentCoding(const std::string& message) : ENetException(message) {}
};

// The stream TNetHTTP writes the body into. It passes bytes on to the
// caller's sink untouched, decodes them first, or drops them (the body of a
// redirect that is followed), and counts what reached the sink.
class BodyPipe : public TNetStream {
  public:
    enum class Mode { Pass, Decode, Discard };

    BodyPipe(TNetStream& target, std::int64_t limit)
        : target_(target), limit_(limit), passStart_(target.Position()) {}
    ~BodyPipe() override {
        if (inflating_)
            inflateEnd(&zs_);
    }
    BodyPipe(const BodyPipe&) = delete;
    BodyPipe& operator=(const BodyPipe&) = delete;

    // Starts a response's body; `deflate` tells a "deflate" coding from gzip.
    void Begin(Mode mode, bool deflate = false) {
        mode_ = mode;
        raw_ = 0;
        passStart_ = target_.Position();
        if (inflating_) {
            inflateEnd(&zs_);
            inflating_ = false;
        }
        if (mode == Mode::Decode) {
            deflate_ = deflate;
            probed_ = false;
            ended_ = false;
            StartInflate(deflate ? 15 : 15 + 16);
        }
    }

    std::int64_t Written() const {
        return mode_ == Mode::Pass ? target_.Position() - passStart_ : decoded_;
    }

    std::int64_t Size() const override { return mode_ == Mode::Pass ? target_.Size() : raw_; }
    void SetSize(std::int64_t size) override {
        if (mode_ == Mode::Pass)
            target_.SetSize(size);
    }
    std::int64_t Position() const override {
        return mode_ == Mode::Pass ? target_.Position() : raw_;
    }
    void SetPosition(std::int64_t position) override {
        if (mode_ == Mode::Pass)
            target_.SetPosition(position);
    }
    std::size_t Read(void*, std::size_t) override { return 0; }
    char* WriteSpan(std::size_t count) override {
        return mode_ == Mode::Pass ? target_.WriteSpan(count) : nullptr;
    }
    void CommitWrite(std::size_t filled) override {
        if (mode_ == Mode::Pass)
            target_.CommitWrite(filled);
    }

    std::size_t Write(const void* data, std::size_t count) override {
        switch (mode_) {
            case Mode::Pass:
                return target_.Write(data, count);
            case Mode::Discard:
                raw_ += static_cast<std::int64_t>(count);
                return count;
            case Mode::Decode:
                break;
        }
        raw_ += static_cast<std::int64_t>(count);
        Inflate(static_cast<const unsigned char*>(data), count);
        return count;
    }

  private:
    void StartInflate(int windowBits) {
        std::memset(&zs_, 0, sizeof zs_);
        if (inflateInit2(&zs_, windowBits) != Z_OK)
            throw EBadContentCoding("Cannot start the body's decoder");
        inflating_ = true;
    }

    void Inflate(const unsigned char* data, std::size_t count) {
        if (ended_)
            return;  // bytes after the end of the coded stream are dropped
        // A "deflate" body should be zlib-wrapped; many servers send it raw.
        if (deflate_ && !probed_ && count > 0) {
            probed_ = true;
            const bool zlibHeader = (data[0] & 0x0F) == 8 && count >= 2 &&
                                    ((static_cast<unsigned>(data[0]) << 8) | data[1]) % 31 == 0;
            if (!zlibHeader) {
                inflateEnd(&zs_);
                inflating_ = false;
                StartInflate(-15);
            }
        }
        unsigned char out[64 * 1024];
        zs_.next_in = const_cast<unsigned char*>(data);
        zs_.avail_in = static_cast<uInt>(count);
        while (zs_.avail_in > 0) {
            zs_.next_out = out;
            zs_.avail_out = sizeof out;
            const int r = inflate(&zs_, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR)
                throw EBadContentCoding("Error while decoding the body: " +
                                        std::string(zs_.msg ? zs_.msg : "bad data"));
            const std::size_t produced = sizeof out - zs_.avail_out;
            Emit(out, produced);
            if (r == Z_STREAM_END) {
                ended_ = true;
                return;
            }
            if (r == Z_BUF_ERROR && produced == 0)
                return;
        }
        // Output may still be pending with no input left.
        for (;;) {
            zs_.next_out = out;
            zs_.avail_out = sizeof out;
            const int r = inflate(&zs_, Z_NO_FLUSH);
            const std::size_t produced = sizeof out - zs_.avail_out;
            Emit(out, produced);
            if (r == Z_STREAM_END)
                ended_ = true;
            if (produced < sizeof out || r != Z_OK)
                return;
        }
    }

    void Emit(const unsigned char* data, std::size_t count) {
        if (count == 0)
            return;
        const std::int64_t room = std::max<std::int64_t>(0, limit_ - decoded_);
        const std::size_t kept = static_cast<std::size_t>(
            std::min<std::int64_t>(room, static_cast<std::int64_t>(count)));
        if (kept > 0)
            target_.Write(data, kept);
        decoded_ += static_cast<std::int64_t>(kept);
        if (kept < count)
            throw EDecodedTooLarge();
    }

    TNetStream& target_;
    std::int64_t limit_;
    Mode mode_ = Mode::Pass;
    std::int64_t raw_ = 0;
    std::int64_t passStart_ = 0;
    std::int64_t decoded_ = 0;
    z_stream zs_{};
    bool inflating_ = false;
    bool deflate_ = false;
    bool probed_ = false;
    bool ended_ = false;
};

bool IsFollowedRedirect(std::int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string RawHeaderText(const TNetHTTPResponseParser& parser) {
    std::string text = parser.StatusLine() + "\r\n";
    for (const std::string& line : parser.Headers().Lines())
        text += line + "\r\n";
    return text;
}

// A body sent from a text the caller holds, without copying it.
class TextSource : public TNetStream {
  public:
    explicit TextSource(const std::string& text) : text_(text) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(text_.size()); }
    void SetSize(std::int64_t) override {}
    std::int64_t Position() const override { return static_cast<std::int64_t>(position_); }
    void SetPosition(std::int64_t position) override {
        position_ =
            std::min(text_.size(), static_cast<std::size_t>(std::max<std::int64_t>(0, position)));
    }
    std::size_t Write(const void*, std::size_t) override { return 0; }
    std::size_t Read(void* data, std::size_t count) override {
        const std::size_t n = std::min(count, text_.size() - position_);
        std::memcpy(data, text_.data() + position_, n);
        position_ += n;
        return n;
    }

  private:
    const std::string& text_;
    std::size_t position_ = 0;
};

// A text shown in a message with its control bytes written as escapes.
std::string Escaped(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

bool IsSafeHeaderValue(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// A header name as HTTP defines one: a token of visible characters without
// separators.
bool IsHeaderName(const std::string& name) {
    if (name.empty())
        return false;
    for (const char c : name) {
        if (!base::IsLetterOrDigit(c) &&
            std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

// Credentials and session state: headers that stay with the origin they were
// given for and are not sent where a redirect leads elsewhere.
bool IsCredentialHeader(const std::string& name) {
    const std::string lower = base::LowerAscii(name);
    for (const char* part : {"cookie", "auth", "token", "secret", "api-key", "apikey", "session"}) {
        if (lower.find(part) != std::string::npos)
            return true;
    }
    return false;
}

// Whether a header line's value lists `token` (comma-separated, any case).
bool ListsToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        if (SameTextLocale(base::TrimBlanks(value.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

// Scheme, host and port of an absolute URL, in one comparable text.
std::string OriginOf(const std::string& url) {
    const UriParts parts = SplitUri(url);
    const std::string scheme = base::LowerAscii(parts.Protocol);
    std::string port = parts.Port;
    if (port.empty())
        port = scheme == "https" ? "443" : "80";
    return scheme + "://" + base::LowerAscii(parts.Host) + ":" + port;
}

// Puts the caller's headers on a client's request: the fields the client
// would fill itself give way to a header of the same name. `sameOrigin`
// tells whether credentials may go along; `withContent` whether the request
// carries a body (else a Content-Type header is left out).
void AddRequestHeaders(TNetHeaderInfo& info, const FetchRequest& request, bool sameOrigin,
                       bool withContent) {
    for (const auto& header : request.Headers) {
        const std::string& name = header.first;
        const std::string& value = header.second;
        if (!sameOrigin && IsCredentialHeader(name))
            continue;
        const auto is = [&name](const char* field) {
            return base::EqualsIgnoringCase(name, field);
        };
        if (is("Content-Type")) {
            if (!withContent)
                continue;
            info.ContentType.clear();
        } else if (is("Accept")) {
            info.Accept.clear();
        } else if (is("Accept-Charset")) {
            info.AcceptCharSet.clear();
        } else if (is("Accept-Encoding")) {
            info.AcceptEncoding.clear();
        } else if (is("Accept-Language")) {
            info.AcceptLanguage.clear();
        } else if (is("From")) {
            info.From.clear();
        } else if (is("Referer")) {
            info.Referer.clear();
        } else if (is("User-Agent")) {
            info.UserAgent.clear();
        }
        info.ExtraHeaders.Add(name + ": " + value);
    }
}

// A message as one line: a line break after a word becomes ": ", any other
// run of line breaks one blank ("Socket Error # 10061" and "Connection
// refused." on two lines become "Socket Error # 10061: Connection refused.").
std::string OneLine(const std::string& text) {
    std::string line;
    bool pendingBreak = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            pendingBreak = !line.empty();
            continue;
        }
        if (pendingBreak) {
            const char last = line.back();
            line += base::IsLetterOrDigit(last) ? ": " : (last == ' ' ? "" : " ");
            pendingBreak = false;
        }
        line += c;
    }
    return line;
}

// After a complete exchange: the connection may carry another request. The
// response was HTTP/1.1, read to its end by its length or (under the modern
// policy, whose chunk rules are strict) its chunks, and asked for no close;
// nothing more has arrived. The classic chunk rules may end a body before
// the last chunk, so a chunked body read under them ends the connection's
// use, as does a classic body beside a Transfer-Encoding.
bool AllowsAnotherRequest(TNetHTTP& client, TNetTLSChannel& tls, bool modern) {
    const TNetHTTPResponseParser& parser = client.ResponseParser();
    if (parser.State() != TNetHTTPParseState::Done)
        return false;
    switch (parser.BodyKind()) {
        case TNetHTTPBodyKind::None:
        case TNetHTTPBodyKind::Counted:
            break;
        case TNetHTTPBodyKind::Chunked:
            if (!modern)
                return false;
            break;
        case TNetHTTPBodyKind::UntilClose:
            return false;
    }
    const std::string& status = parser.StatusLine();
    if (status.size() < 9 || !SameTextLocale(status.substr(0, 9), "HTTP/1.1 "))
        return false;
    for (const std::string& line : parser.Headers().Lines()) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string_view name = base::TrimBlanks(std::string_view(line).substr(0, colon));
        const std::string_view value = std::string_view(line).substr(colon + 1);
        if ((SameTextLocale(name, "Connection") || SameTextLocale(name, "Proxy-Connection")) &&
            ListsToken(value, "close")) {
            return false;
        }
        if (!modern && SameTextLocale(name, "Transfer-Encoding"))
            return false;
    }
    if (!client.IsConnected() || client.InputSize() != 0)
        return false;
    return !(client.InterceptEnabled() && tls.HasBufferedInput());
}

std::int64_t ElapsedMs(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What an exception that ended an exchange tells about it.
void Classify(FetchResult& result, const std::exception& error) {
    result.Message = OneLine(error.what());
    if (dynamic_cast<const ENetTLSError*>(&error)) {
        result.Failure = FetchFailure::Tls;
    } else if (dynamic_cast<const ENetProxyError*>(&error) ||
               dynamic_cast<const ENetSocksError*>(&error)) {
        result.Failure = FetchFailure::Proxy;
        if (dynamic_cast<const ENetSocksError*>(&error))
            result.Message = "SOCKS proxy: " + result.Message;
    } else if (dynamic_cast<const ENetNameNotResolved*>(&error)) {
        result.Failure = FetchFailure::Name;
    } else if (dynamic_cast<const ENetReadTimeout*>(&error)) {
        result.Failure = FetchFailure::Deadline;
    } else if (dynamic_cast<const ENetResponseTooLarge*>(&error)) {
        result.Failure = FetchFailure::Limit;
    } else if (const auto* socket = dynamic_cast<const ENetSocketError*>(&error)) {
        result.Failure =
            socket->ErrorCode == 10060 ? FetchFailure::Deadline : FetchFailure::Connect;
    } else {
        result.Failure = FetchFailure::Protocol;
    }
}

}  // namespace

std::string RequestRefusal(const FetchRequest& request) {
    if (request.Method != "GET" && request.Method != "POST")
        return "Request method \"" + Escaped(request.Method) + "\" is not supported (GET or POST)";
    if (request.Method != "POST" && !request.Body.empty())
        return "A " + request.Method + " request carries no body";
    if (request.Body.size() > static_cast<std::size_t>(INT32_MAX))
        return "Request body of " + std::to_string(request.Body.size()) + " bytes is too large";
    if (!IsSafeHeaderValue(request.ContentType))
        return "Content type \"" + Escaped(request.ContentType) +
               "\" contains a line break or a zero byte";
    for (const auto& [name, value] : request.Headers) {
        if (!IsHeaderName(name))
            return "Request header name \"" + Escaped(name) + "\" is not a valid name";
        if (!IsSafeHeaderValue(value))
            return "Request header " + name + ": the value \"" + Escaped(value) +
                   "\" contains a line break or a zero byte";
        for (const char* own : {"Host", "Content-Length", "Transfer-Encoding", "Connection"}) {
            if (base::EqualsIgnoringCase(name, own))
                return "Request header " + name + " is set by the fetch itself";
        }
    }
    return {};
}

const char* FetchFailureName(FetchFailure failure) {
    switch (failure) {
        case FetchFailure::None:
            return "none";
        case FetchFailure::Name:
            return "name resolution";
        case FetchFailure::Connect:
            return "connection";
        case FetchFailure::Proxy:
            return "proxy";
        case FetchFailure::Tls:
            return "TLS";
        case FetchFailure::Deadline:
            return "time-out";
        case FetchFailure::Limit:
            return "limit";
        case FetchFailure::Protocol:
            return "protocol";
        case FetchFailure::Cancelled:
            return "cancelled";
    }
    return "unknown";
}

FetchResult FetchTo(const std::string& url, const FetchOptions& options, TNetStream& sink,
                    const std::function<void(const FetchResult&)>& onHeaders) {
    FetchRequest request;
    request.Url = url;
    return FetchTo(request, options, sink, onHeaders);
}

FetchResult FetchTo(const FetchRequest& request, const FetchOptions& options, TNetStream& sink,
                    const std::function<void(const FetchResult&)>& onHeaders) {
    const std::string& url = request.Url;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = options.DeadlineMs > 0
                                           ? start + std::chrono::milliseconds(options.DeadlineMs)
                                           : Clock::time_point::max();
    const bool modern = options.Policy == FetchPolicy::Modern;
    const bool compressed = modern || options.Compressed;
    FetchCancel* const cancel = options.Cancel;

    FetchResult result;
    result.FinalUrl = url;
    // A request that cannot be sent as asked sends nothing.
    result.Message = RequestRefusal(request);
    if (!result.Message.empty()) {
        result.Failure = FetchFailure::Protocol;
        return result;
    }
    BodyPipe pipe(sink, options.MaxBodySize < 0 ? 0 : options.MaxBodySize);
    std::string current = url;
    if (options.MapUrl)
        result.FinalUrl = current = options.MapUrl(url);
    const std::string origin = OriginOf(current);
    HttpMethod method = request.Method == "POST" ? HttpPost : HttpGet;
    ConnectionPool* const pool = options.Pool;
    bool retried = false;

    for (;;) {
        // A kept-alive connection to the same place when the pool holds one
        // (not when this is the repeat after a dead one), else a new client.
        // Creating the client may start the socket library; that failure is
        // the caller's to see.
        const std::string poolKey = pool ? ConnectionPool::KeyFor(current, options) : std::string();
        std::unique_ptr<PooledConnection> connection =
            pool && !retried ? pool->Take(poolKey) : nullptr;
        const bool reused = connection != nullptr;
        if (!connection)
            connection = pool ? pool->NewConnection() : std::make_unique<PooledConnection>();
        TNetHTTP& client = connection->Client;
        TNetTLSChannel& tls = connection->Tls;
        if (reused)
            client.Request =
                TNetHeaderInfo(&client);  // the request fields as a new client has them
        client.SetRecvBufferSize(256 * 1024);
        // Small writes (a request, a TLS record) go out at once instead of
        // waiting for the peer's delayed acknowledgement of the last one.
        client.UseNagle = false;
        client.ConnectTimeout = options.ConnectTimeoutMs;
        client.ReadTimeout = options.ReadTimeoutMs;
        client.MaxBodySize = options.MaxBodySize;
        client.Deadline = deadline;
        if (modern) {
            client.ReadPolicy = rpModern;
            client.Request.UserAgent = options.UserAgent.empty()
                                           ? std::string("Corvane/" CORVANE_VERSION)
                                           : options.UserAgent;
        } else if (!options.UserAgent.empty()) {
            client.Request.UserAgent = options.UserAgent;
        }
        if (compressed)
            client.Request.AcceptEncoding = "gzip, deflate";
        if (method == HttpPost)
            client.Request.ContentType = request.ContentType;
        AddRequestHeaders(client.Request, request, OriginOf(current) == origin, method == HttpPost);
        if (!options.ProxyHost.empty()) {
            client.Request.ProxyServer = options.ProxyHost;
            client.Request.ProxyPort = options.ProxyPort;
            client.Request.ProxyUsername = options.ProxyUser;
            client.Request.ProxyPassword = options.ProxyPassword;
        }
        if (options.SocksVersion != svNoSocks) {
            client.SocksInfo.Version = options.SocksVersion;
            client.SocksInfo.Host = options.SocksHost;
            client.SocksInfo.Port = options.SocksPort;
            client.SocksInfo.UserID = options.SocksUser;
            client.SocksInfo.Password = options.SocksPassword;
            client.SocksInfo.Authentication =
                options.SocksVersion == svSocks5 && !options.SocksUser.empty() ? saUsernamePassword
                                                                               : saNoAuthentication;
        }
        client.Resolver = [&options, deadline, cancel](const std::string& host) {
            return ResolveWithin(host, options.Resolver, deadline, cancel);
        };

        const UriParts parts = SplitUri(current);
        const bool secure = SameTextLocale(parts.Protocol, "HTTPS");
        if (secure) {
            tls.HostName = parts.Host;
            tls.CAFile = options.CaFile;
            tls.Insecure = options.Insecure;
            tls.WaitTimeout = options.ReadTimeoutMs;
            tls.Deadline = deadline;
            client.SetIntercept(&tls);
        }

        if (cancel) {
            if (cancel->Cancelled()) {
                result.Failure = FetchFailure::Cancelled;
                result.Message = "The fetch was cancelled";
                return result;
            }
            // The socket is handed to the token once it exists and taken back
            // before it is closed, so that a cancel can shut it down meanwhile.
            client.OnStatus = [cancel, &client](TNetComponent&, TNetStatus status,
                                                const std::string&) {
                if (status == StatusConnecting) {
                    if (!cancel->Attach(client.Stack(), client.SocketHandle().OsSocket()))
                        throw ENetException("The fetch was cancelled.");
                } else if (status == StatusDisconnecting) {
                    cancel->Detach();
                }
            };
            // A kept-alive connection is connected already: its socket is
            // handed to the token now.
            if (reused && !cancel->Attach(client.Stack(), client.SocketHandle().OsSocket())) {
                result.Failure = FetchFailure::Cancelled;
                result.Message = "The fetch was cancelled";
                return result;
            }
        }

        bool follow = false;
        bool tooManyRedirects = false;
        client.OnResponseHeaders = [&](TNetHTTP& http) {
            result.Status = http.StatusCode();
            std::string reason = http.ResponseParser().StatusLine();
            TakeToken(reason, " ");  // the version
            TakeToken(reason, " ");  // the code
            result.Reason = reason;
            result.RawHeaders = RawHeaderText(http.ResponseParser());
            follow =
                modern && IsFollowedRedirect(result.Status) && !http.ResponseInfo.Location.empty();
            if (follow) {
                tooManyRedirects = result.Redirects >= options.MaxRedirects;
                pipe.Begin(BodyPipe::Mode::Discard);
                return;
            }
            const std::string coding =
                base::LowerAscii(base::TrimBlanks(http.ResponseInfo.ContentEncoding));
            const bool gzip = coding == "gzip" || coding == "x-gzip";
            if (compressed && (gzip || coding == "deflate")) {
                pipe.Begin(BodyPipe::Mode::Decode, !gzip);
            } else {
                pipe.Begin(BodyPipe::Mode::Pass);
            }
            if (onHeaders)
                onHeaders(result);
        };

        bool failed = false;
        try {
            if (method == HttpPost) {
                TextSource body(request.Body);
                TNetRequestSource source;
                source.Stream = &body;
                client.RunExchange(method, current, &source, &pipe);
            } else {
                client.RunExchange(method, current, nullptr, &pipe);
            }
        } catch (const ENetProtocolReplyError&) {
            // A status other than 2xx is an answer, not a failure of the
            // exchange; a missing status line is one.
            if (result.Status == 0) {
                failed = true;
                result.Failure = FetchFailure::Protocol;
                result.Message = "No valid status line from the server";
            }
        } catch (const std::exception& error) {
            failed = true;
            Classify(result, error);
        }
        // A kept-alive connection the server closed while it was idle fails
        // before any byte of the answer: a request that is safe to repeat (a
        // GET) goes once more, on a new connection.
        if (failed && reused && method == HttpGet && client.ResponseBytesTaken() == 0 &&
            client.InputSize() == 0 && result.Status == 0 && !(cancel && cancel->Cancelled()) &&
            Clock::now() < deadline) {
            retried = true;
            result.Failure = FetchFailure::None;
            result.Message.clear();
            continue;
        }
        retried = false;
        if (failed) {
            if (cancel && cancel->Cancelled()) {
                result.Failure = FetchFailure::Cancelled;
                result.Message = "The fetch was cancelled";
            } else if (Clock::now() >= deadline) {
                result.Failure = FetchFailure::Deadline;
                result.Message =
                    "Operation timed out after " + std::to_string(ElapsedMs(start)) + " ms";
            }
        }
        const std::string location = follow ? client.ResponseInfo.Location : std::string();
        if (pool && !failed && AllowsAnotherRequest(client, tls, modern)) {
            // Back to the pool, free of this fetch: no callback of it stays,
            // and a cancel of this fetch no longer reaches the socket.
            client.OnStatus = nullptr;
            client.OnResponseHeaders = nullptr;
            client.Resolver = nullptr;
            if (cancel)
                cancel->Detach();
            if (!(cancel && cancel->Cancelled()))
                pool->GiveBack(poolKey, std::move(connection));
        }
        if (!follow || failed) {
            result.BodyBytes = follow ? 0 : pipe.Written();
            return result;
        }

        // A redirect to follow.
        if (tooManyRedirects) {
            result.Failure = FetchFailure::Limit;
            result.Message =
                "Maximum (" + std::to_string(options.MaxRedirects) + ") redirects followed";
            return result;
        }
        std::string next = ResolveReference(current, location);
        if (options.MapUrl)
            next = options.MapUrl(next);
        const UriParts nextParts = SplitUri(next);
        if (secure && !SameTextLocale(nextParts.Protocol, "HTTPS")) {
            result.Failure = FetchFailure::Protocol;
            result.Message = "Redirect from https to " + next + " refused";
            return result;
        }
        if (!SameTextLocale(nextParts.Protocol, "HTTP") &&
            !SameTextLocale(nextParts.Protocol, "HTTPS")) {
            result.Failure = FetchFailure::Protocol;
            result.Message = "Redirect to an unsupported address: " + next;
            return result;
        }
        // After a POST, 301, 302 and 303 lead to a GET (as browsers have
        // it); 307 and 308 repeat the request as it was.
        const std::int32_t code = client.StatusCode();
        if (method == HttpPost && (code == 301 || code == 302 || code == 303))
            method = HttpGet;
        result.RedirectHeaders.push_back(result.RawHeaders);
        ++result.Redirects;
        current = next;
        result.FinalUrl = next;
        result.Status = 0;
        result.Reason.clear();
        result.RawHeaders.clear();
    }
}

}  // namespace corvane::net
