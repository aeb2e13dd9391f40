#include "net/http_client.h"

#include <algorithm>
#include <climits>

#include "base/ascii.h"
#include "base/scope_guard.h"
#include "net/text_tokens.h"
#include "net/uri.h"

namespace corvane::net {

namespace {

// Every line the client writes is checked for the bytes that would end it
// early or start another one.
bool IsSafeLineText(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The port part of a URL: a decimal number, or none.
std::optional<std::int32_t> UrlPortNumber(const std::string& text) {
    std::int32_t v = 0;
    if (text.empty() || !TryHeaderDecimal(text, v))
        return std::nullopt;
    return v;
}

const char* MethodWord(HttpMethod method) {
    switch (method) {
        case HttpHead:
            return "HEAD ";
        case HttpPost:
            return "POST ";
        case HttpGet:
            break;
    }
    return "GET ";
}

std::int32_t ClampToInt32(std::int64_t v) {
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < 0)
        return 0;
    return static_cast<std::int32_t>(v);
}

// Keeps a sink's size at the last body byte written, whichever way the
// body read ends: room made ahead of the bytes never shows as body.
class BodySinkScope {
  public:
    BodySinkScope(TNetStream*& slot, TNetStream& sink) : slot_(slot), sink_(sink) { slot_ = &sink; }
    ~BodySinkScope() {
        slot_ = nullptr;
        if (sink_.Size() > sink_.Position())
            sink_.SetSize(sink_.Position());
    }
    BodySinkScope(const BodySinkScope&) = delete;
    BodySinkScope& operator=(const BodySinkScope&) = delete;

  private:
    TNetStream*& slot_;
    TNetStream& sink_;
};

// The first step of room for a body of unknown length.
constexpr std::int64_t kFirstBodyRoom = 64 * 1024;

}  // namespace

TNetHTTP::TNetHTTP() : Request(this), ResponseInfo(this) {
    Port = 80;
    parser_.OnBody = [this](const char* data, std::size_t size) { WriteBody(data, size); };
}

TNetHTTP::~TNetHTTP() = default;

void TNetHTTP::SendGet(const std::string& url, TNetStream* sink) {
    RunExchange(HttpGet, url, nullptr, sink);
}

bool TNetHTTP::AskRedirect(std::string& location, std::int32_t depth) {
    bool handled = HandleRedirects;
    if (OnRedirect) {
        std::int32_t copy = depth;
        OnRedirect(*this, location, copy, handled);
    }
    return handled;
}

bool TNetHTTP::SelectEndpoint(const std::string& protocol, const std::string& host,
                              std::optional<std::int32_t> port) {
    const std::string portText = port ? std::to_string(*port) : std::string();
    if (!Request.ProxyServer.empty()) {
        Host = Request.ProxyServer;
        Port = Request.ProxyPort;
        if (!host.empty()) {
            RequestHost = host;
            requestPortText_ = portText;
        }
        if (!protocol.empty())
            RequestScheme = protocol;
        tunnelHost_ = host;
        tunnelPort_ = port ? *port : 443;
        tunnelVersion_ = VersionText(ProtocolVersion);
        tunnelling_ = false;
        if (TNetConnectionIntercept* intercept = Intercept()) {
            if (dynamic_cast<TNetSSLConnectionIntercept*>(intercept)) {
                intercept->OnConnect = [this](TNetConnectionIntercept&) { OpenTunnel(); };
            } else {
                intercept->OnConnect = nullptr;
            }
        }
        if (SameTextLocale(protocol.empty() ? RequestScheme : protocol, "HTTPS")) {
            // A secure address never goes to the proxy in clear text: only
            // through a tunnel with the secure channel inside it.
            auto* ssl = dynamic_cast<TNetSSLConnectionIntercept*>(Intercept());
            if (!ssl || !ssl->ProvidesSecureChannel())
                throw ENetInterceptPropInvalid();
            tunnelling_ = true;
            SetInterceptEnabled(true);
        }
        return true;
    }

    const bool secure = SameTextLocale(protocol, "HTTPS");
    if (secure) {
        // No secure channel exists in this program; a secure address is
        // refused before any connection is made.
        auto* ssl = dynamic_cast<TNetSSLConnectionIntercept*>(Intercept());
        if (!ssl || !ssl->ProvidesSecureChannel())
            throw ENetInterceptPropInvalid();
    }
    if (!host.empty()) {
        const std::int32_t target = port ? *port : (secure ? 443 : 80);
        // An open connection serves the next request to the same host and
        // port, whether the URL names the port or implies it.
        if (!(SameTextLocale(host, Host) && target == Port))
            CloseConnection();
        Host = host;
        RequestHost = host;
        requestPortText_ = portText;
        if (!protocol.empty())
            RequestScheme = protocol;
        Port = target;
    } else {
        // A URL without a host (a relative redirect) stays on the server of
        // the previous request, port included.
        RequestHost = Host;
        if (port) {
            Port = *port;
            requestPortText_ = portText;
        }
    }
    if (secure)
        SetInterceptEnabled(true);
    return false;
}

void TNetHTTP::OpenTunnel() {
    const std::string authority = tunnelHost_ + ":" + std::to_string(tunnelPort_);
    std::vector<std::string> lines{"CONNECT " + authority + " HTTP/" + tunnelVersion_,
                                   "Host: " + authority};
    if (!Request.ProxyUsername.empty()) {
        lines.push_back("Proxy-Authorization: Basic " +
                        Base64Text(Request.ProxyUsername + ":" + Request.ProxyPassword));
    }
    lines.emplace_back();
    SetInterceptEnabled(false);
    WriteRequestLines(lines);
    // The answer's status line and header block; bytes after it stay queued.
    BeginResponse(HttpGet);
    const TNetHTTPParseStatus status = Pump();
    if (status == TNetHTTPParseStatus::Error || !parser_.HasStatus() ||
        !parser_.HeadersComplete()) {
        throw ENetProxyError("Proxy CONNECT aborted: no complete answer from the proxy");
    }
    const std::int32_t code = parser_.StatusCode();
    if (code / 100 != 2) {
        std::string reason = parser_.StatusLine();
        TakeToken(reason, " ");
        throw ENetProxyError("Proxy CONNECT answered " + reason, code);
    }
    parser_.Reset();
    SetInterceptEnabled(true);
}

void TNetHTTP::WriteRequestLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (!IsSafeLineText(line))
            throw ENetUnsafeRequestText();
    }
    // One write for the whole block: one segment (and one secure record)
    // rather than one per line, so that no line waits behind the
    // acknowledgement of the one before it.
    std::string block;
    for (const std::string& line : lines) {
        block += line;
        block += "\r\n";
    }
    WriteText(block);
}

void TNetHTTP::RunExchange(HttpMethod method, const std::string& url,
                           const TNetRequestSource* source, TNetStream* sink) {
    ++redirectDepth_;
    responseBytes_ = 0;

    const UriParts parts = SplitUri(url);
    std::string target = parts.Path + parts.Document;
    const std::optional<std::int32_t> port = UrlPortNumber(parts.Port);
    if (SelectEndpoint(parts.Protocol, parts.Host, port) && !tunnelling_) {
        const std::string& scheme = parts.Protocol.empty() ? RequestScheme : parts.Protocol;
        std::string authority = parts.Host.empty() ? RequestHost : parts.Host;
        if (!requestPortText_.empty())
            authority += ":" + requestPortText_;
        target = scheme + "://" + authority + target;
    }

    // The request is built and checked before the connection is touched, so
    // that a refused request sends nothing.
    WorkHeaders.Clear();
    if (method == HttpPost) {
        if (source && source->Lines) {
            std::int64_t size = 0;
            for (const std::string& line : *source->Lines)
                size += static_cast<std::int64_t>(line.size()) + 2;
            Request.ContentLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
        } else if (source && source->Stream) {
            Request.ContentLength =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(source->Stream->Size()));
        } else {
            throw ENetObjectTypeNotSupported();
        }
    } else {
        Request.ContentLength = 0;
    }
    Request.FillRequestLines(WorkHeaders);
    // An empty POST body is announced too, or the server cannot tell it
    // from one that runs to the close.
    if (method == HttpPost && Request.ContentLength == 0)
        WorkHeaders.Add("Content-Length: 0");
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(WorkHeaders.Count()) + 3);
    lines.push_back(MethodWord(method) + target + " HTTP/" + VersionText(ProtocolVersion));
    lines.push_back("Host: " + RequestHost +
                    (requestPortText_.empty() ? "" : ":" + requestPortText_));
    lines.insert(lines.end(), WorkHeaders.Lines().begin(), WorkHeaders.Lines().end());
    lines.emplace_back();
    for (const std::string& line : lines) {
        if (!IsSafeLineText(line))
            throw ENetUnsafeRequestText();
    }

    CheckPeerClosed(false, false);
    if (!IsConnected())
        OpenConnection();

    WriteRequestLines(lines);
    if (method == HttpPost) {
        if (source->Lines)
            WriteLines(*source->Lines);
        else
            WriteFromStream(*source->Stream, true, false);
    }

    BeginResponse(method);
    ReadHeaderPhase();
    if (OnResponseHeaders)
        OnResponseHeaders(*this);
    const std::string& rawStatus = parser_.StatusLine();
    const bool serverIsHttp10 =
        rawStatus.size() >= 8 && SameTextLocale(rawStatus.substr(5, 3), "1.0");

    const std::int32_t statusClass = statusCode_ / 100;
    if ((statusClass == 3 && statusCode_ != 304) || !ResponseInfo.Location.empty()) {
        ReadResponseBody(sink);
        std::string location = ResponseInfo.Location;
        if (HandleRedirects && redirectDepth_ < RedirectMaximum) {
            if (sink)
                sink->SetPosition(0);
            if (AskRedirect(location, redirectDepth_)) {
                if (ProtocolVersion == pv1_0 || serverIsHttp10)
                    CloseConnection();
                RunExchange(method, location, source, sink);
            }
        } else {
            if (!AskRedirect(location, redirectDepth_))
                throw ENetProtocolReplyError(statusCode_, statusLine_);
            ResponseInfo.Location = location;
        }
    } else {
        ReadResponseBody(sink);
        if (statusClass != 2) {
            if (InterceptEnabled())
                CloseConnection();
            throw ENetProtocolReplyError(statusCode_, statusLine_);
        }
    }

    if (ProtocolVersion == pv1_0 || serverIsHttp10) {
        CloseConnection();
    } else if (SameTextLocale(base::TrimBlanks(ResponseInfo.Connection), "CLOSE") &&
               IsConnected()) {
        CloseConnection();
    } else {
        PollPeerClosed(false);
    }
    redirectDepth_ = 0;
}

void TNetHTTP::BeginResponse(HttpMethod method) {
    parser_.Policy = ReadPolicy;
    parser_.MaxLineLength = MaxLineLength;
    parser_.MaxHeaderBlockSize = MaxHeaderBlockSize;
    parser_.MaxBodySize = BodyLimit();
    parser_.NoBodyExpected = method == HttpHead;
    parser_.Reset();
    streamEnded_ = false;
    responseBytes_ = 0;
}

void TNetHTTP::RaiseFailedReceive() {
    const std::int32_t code = Stack().SysGetLastError();
    TNetStack::ThrowSocketError(code != 0 ? code : 10022);
}

TNetHTTPParseStatus TNetHTTP::Pump() {
    for (;;) {
        TNetHTTPParseResult r;
        if (streamEnded_) {
            r = parser_.Finish();
        } else {
            // Plain body bytes go straight into room already made for them;
            // room is only made for bytes that have come.
            if (bodySink_ && InputQueue().Empty() && parser_.BodyRoom() > 0 &&
                reservedEnd_ > bodySink_->Position() && IsConnected()) {
                ReadBodyDirect();
                continue;
            }
            const std::string_view queued = InputQueue().View();
            r = parser_.Put(queued.data(), queued.size());
            responseBytes_ += static_cast<std::int64_t>(r.Consumed);
            for (std::size_t left = r.Consumed; left > 0;) {
                const std::int32_t n = ClampToInt32(static_cast<std::int64_t>(left));
                DropInput(n);
                left -= static_cast<std::size_t>(n);
            }
        }
        if (r.Status != TNetHTTPParseStatus::NeedMore)
            return r.Status;
        // Every queued byte has been taken: receive, or tell the end.
        if (!IsConnected()) {
            streamEnded_ = true;
            continue;
        }
        if (ReceiveOnce(false, WaitForever, nullptr, true) == 0) {
            if (IsConnected())
                RaiseFailedReceive();
            streamEnded_ = true;
        }
    }
}

void TNetHTTP::ReadBodyDirect() {
    TNetStream& sink = *bodySink_;
    const std::int64_t room = std::min(parser_.BodyRoom(), reservedEnd_ - sink.Position());
    const std::int64_t before = sink.Position();
    ReadToStream(sink, -1, true, ClampToInt32(room));
    parser_.AdvanceBody(sink.Position() - before);
    responseBytes_ += sink.Position() - before;
}

void TNetHTTP::WriteBody(const char* data, std::size_t size) {
    if (!bodySink_)
        return;
    ReserveBody(*bodySink_, static_cast<std::int64_t>(size));
    bodySink_->Write(data, size);
}

void TNetHTTP::ReserveBody(TNetStream& sink, std::int64_t need, bool exact) {
    const std::int64_t position = sink.Position();
    if (position + need <= reservedEnd_)
        return;
    if (exact) {
        reservedEnd_ = position + need;
        ResizeKeepingPosition(sink, reservedEnd_);
        return;
    }
    // The next step is the limit halved as often as it still holds the body
    // so far and the first step; growing by such steps ends at the limit.
    const std::int64_t limit = BodyLimit();
    const std::int64_t wanted = position - bodyStart_ + need;
    std::int64_t step = limit;
    while (step / 2 >= std::max(wanted, kFirstBodyRoom))
        step /= 2;
    reservedEnd_ = bodyStart_ + std::max(step, wanted);
    ResizeKeepingPosition(sink, reservedEnd_);
}

void TNetHTTP::TakeStatus() {
    if (!parser_.HasStatus())
        return;
    statusLine_ = parser_.StatusLine();
    TakeToken(statusLine_, " ");
    const TNetHTTPParseError error = parser_.Error();
    if (error != TNetHTTPParseError::BadStatusCode && error != TNetHTTPParseError::BadStatusLine) {
        statusCode_ = parser_.StatusCode();
    }
}

void TNetHTTP::RaiseParseError() {
    switch (parser_.Error()) {
        case TNetHTTPParseError::LineTooLong:
            throw ENetLineTooLong();
        case TNetHTTPParseError::HeaderTooLarge:
        case TNetHTTPParseError::BodyTooLarge:
            CloseConnection();
            throw ENetResponseTooLarge(parser_.ErrorText());
        case TNetHTTPParseError::BadStatusCode:
            throw EConvertError(parser_.StatusCodeText());
        case TNetHTTPParseError::ClosedEarly:
            throw ENetConnClosedGracefully();
        default:
            CloseConnection();
            throw ENetBadResponse(parser_.ErrorText());
    }
}

void TNetHTTP::ReadHeaderPhase() {
    WorkHeaders.Clear();
    const TNetHTTPParseStatus status = Pump();
    TakeStatus();
    if (status == TNetHTTPParseStatus::Error)
        RaiseParseError();
    WorkHeaders.Assign(parser_.Headers());
    ResponseInfo.TakeResponseLines(WorkHeaders);
}

void TNetHTTP::ReadResponseHeaders() {
    BeginResponse(HttpGet);
    parser_.StartAtHeaders();
    ReadHeaderPhase();
}

void TNetHTTP::ReadResponseBody(TNetStream* sink) {
    if (!sink)
        return;
    if (parser_.BodyKind() == TNetHTTPBodyKind::Chunked)
        ReportStatus(StatusText, "Chunk Started");
    const bool counted = parser_.BodyKind() == TNetHTTPBodyKind::Counted;
    TNetHTTPParseStatus status = TNetHTTPParseStatus::MessageDone;
    StartWork(WorkRead, counted ? ClampToInt32(parser_.ContentLength()) : 0);
    {
        // The read ends however the body's reading ends, a failure passing on.
        const base::OnUnwind finishOnFailure([this] { FinishWork(WorkRead); });
        BodySinkScope scope(bodySink_, *sink);
        bodyStart_ = sink->Position();
        reservedEnd_ = bodyStart_;
        // A stated length gets its room at once, never more than the limit.
        if (counted)
            ReserveBody(*sink, std::min(parser_.ContentLength(), BodyLimit()), true);
        status = Pump();
    }
    FinishWork(WorkRead);
    if (status == TNetHTTPParseStatus::Error)
        RaiseParseError();
}

std::int32_t TNetHTTP::ReadChunkLength() {
    bool zero = false;
    return TNetHTTPResponseParser::ClassicChunkLength(ReadLine(), zero);
}

}  // namespace corvane::net
