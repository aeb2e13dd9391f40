#include "net/http_client.h"

#include <algorithm>
#include <climits>

#include "base/ascii.h"
#include "base/integer_text.h"
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

}  // namespace

TNetHTTP::TNetHTTP() : Request(this), ResponseInfo(this) {
    Port = 80;
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
        if (TNetConnectionIntercept* intercept = Intercept()) {
            if (dynamic_cast<TNetSSLConnectionIntercept*>(intercept)) {
                intercept->OnConnect = [this](TNetConnectionIntercept&) { OpenTunnel(); };
            } else {
                intercept->OnConnect = nullptr;
            }
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
        if (!(SameTextLocale(host, Host) && port && *port == Port))
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
    const std::string connect =
        "CONNECT " + tunnelHost_ + ":" + std::to_string(tunnelPort_) + " HTTP/" + tunnelVersion_;
    SetInterceptEnabled(false);
    WriteRequestLines({connect, std::string()});
    for (int i = 0; i < 3; ++i)
        ReadLine();
    SetInterceptEnabled(true);
}

void TNetHTTP::WriteRequestLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (!IsSafeLineText(line))
            throw ENetUnsafeRequestText();
    }
    for (const std::string& line : lines)
        WriteLine(line);
}

void TNetHTTP::RunExchange(HttpMethod method, const std::string& url,
                           const TNetRequestSource* source, TNetStream* sink) {
    ++redirectDepth_;

    const UriParts parts = SplitUri(url);
    std::string target = parts.Path + parts.Document;
    const std::optional<std::int32_t> port = UrlPortNumber(parts.Port);
    if (SelectEndpoint(parts.Protocol, parts.Host, port)) {
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

    for (const std::string& line : lines)
        WriteLine(line);
    if (method == HttpPost) {
        if (source->Lines)
            WriteLines(*source->Lines);
        else
            WriteFromStream(*source->Stream, true, false);
    }

    std::int64_t blockBytes = 0;
    statusLine_ = ReadHeaderLine(blockBytes);
    const bool serverIsHttp10 =
        statusLine_.size() >= 8 && SameTextLocale(statusLine_.substr(5, 3), "1.0");
    TakeToken(statusLine_, " ");
    std::string codeText = statusLine_;
    codeText = TakeToken(codeText, " ");
    std::int32_t code = 0;
    if (!TryHeaderDecimal(codeText, code))
        throw EConvertError(codeText);
    statusCode_ = code;

    ReadHeaderBlock(blockBytes);

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

std::string TNetHTTP::ReadHeaderLine(std::int64_t& blockBytes) {
    std::string line = ReadLine();
    blockBytes += static_cast<std::int64_t>(line.size()) + 2;
    if (blockBytes > MaxHeaderBlockSize) {
        CloseConnection();
        throw ENetResponseTooLarge("Response header block too large.");
    }
    return line;
}

void TNetHTTP::ReadResponseHeaders() {
    ReadHeaderBlock(0);
}

void TNetHTTP::ReadHeaderBlock(std::int64_t blockBytes) {
    WorkHeaders.Clear();
    for (;;) {
        std::string line = ReadHeaderLine(blockBytes);
        if (line.empty())
            break;
        WorkHeaders.Add(std::move(line));
    }
    ResponseInfo.TakeResponseLines(WorkHeaders);
}

void TNetHTTP::BodyTooLarge() {
    CloseConnection();
    throw ENetResponseTooLarge("Response body too large.");
}

void TNetHTTP::ReadCounted(TNetStream& sink, std::int64_t count, std::int64_t& stored) {
    const std::int64_t allowed = std::max<std::int64_t>(0, BodyLimit() - stored);
    const std::int32_t n = ClampToInt32(std::min(count, allowed));
    if (n > 0) {
        const std::int64_t before = sink.Position();
        ReadToStream(sink, n, false);
        stored += sink.Position() - before;
    }
    if (count > allowed)
        BodyTooLarge();
}

void TNetHTTP::ReadUntilClose(TNetStream& sink, std::int64_t& stored) {
    const std::int64_t limit = BodyLimit();
    // One byte more than allowed tells a body at the limit from a larger one.
    while (stored <= limit) {
        const std::int64_t before = sink.Position();
        ReadToStream(sink, -1, true, ClampToInt32(limit - stored + 1));
        stored += sink.Position() - before;
        if (!IsConnected())
            break;
    }
    if (stored > limit) {
        // The sink keeps the bytes up to the limit.
        sink.SetSize(sink.Position() - (stored - limit));
        stored = limit;
        BodyTooLarge();
    }
}

void TNetHTTP::ReadResponseBody(TNetStream* sink) {
    if (!sink)
        return;
    std::int64_t stored = 0;
    if (ResponseInfo.ContentLength > 0) {
        ReadCounted(*sink, ResponseInfo.ContentLength, stored);
    } else if (ResponseInfo.HasContentLength && ResponseInfo.ContentLength == 0) {
        // An announced empty body: nothing to wait for.
        ReadToStream(*sink, 0, false);
    } else if (ResponseInfo.ExtraHeaders.ValueOf("Transfer-Encoding").find("chunked") !=
               std::string::npos) {
        ReportStatus(StatusText, "Chunk Started");
        std::int32_t n = ReadChunkLength();
        while (n > 0) {
            ReadCounted(*sink, n, stored);
            ReadLine();
            n = ReadChunkLength();
        }
        if (lastChunkWasZero_) {
            // The trailer lines up to the empty one, so that nothing of this
            // response is left to be read as the start of the next one.
            std::int64_t trailerBytes = 0;
            while (!ReadHeaderLine(trailerBytes).empty()) {
            }
        } else {
            ReadLine();
        }
    } else {
        ReadUntilClose(*sink, stored);
    }
}

std::int32_t TNetHTTP::ReadChunkLength() {
    lastChunkWasZero_ = false;
    std::string line = ReadLine();
    const std::size_t space = line.find(' ');
    if (space != std::string::npos)
        line.resize(space);
    std::uint64_t v = 0;
    if (line.size() > 8 || !base::TryReadHexDigits(line, 0xFFFFFFFFu, v))
        return 0;
    lastChunkWasZero_ = v == 0;
    return v >= 0x80000000u ? 0 : static_cast<std::int32_t>(v);
}

}  // namespace corvane::net
