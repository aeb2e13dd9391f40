// The HTTP/1.x client: one request per exchange on a TCP connection, the
// status line, the header block and the body read back, the body written
// into a caller's stream. The status code decides whether the exchange
// succeeded; redirects are followed only when asked for; the connection is
// kept open between exchanges when the server allows it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/header_info.h"
#include "net/header_list.h"
#include "net/http_response_parser.h"
#include "net/net_exceptions.h"
#include "net/net_stream.h"
#include "net/tcp_client.h"

namespace corvane::net {

// A text the client would have written into a request line carries a line
// break or a zero byte: the request is refused before anything is sent.
class ENetUnsafeRequestText : public ENetException {
  public:
    ENetUnsafeRequestText() : ENetException("Request text contains a line break or a zero byte.") {}
};

// The response's header block or body is larger than the client accepts; the
// exchange ends as if the connection had failed.
class ENetResponseTooLarge : public ENetException {
  public:
    explicit ENetResponseTooLarge(const std::string& message) : ENetException(message) {}
};

// The response breaks the HTTP/1.1 syntax in a way that leaves its end
// unknown (only under the rpModern reading policy; the classic rules read
// every response somehow).
class ENetBadResponse : public ENetException {
  public:
    explicit ENetBadResponse(const std::string& message) : ENetException(message) {}
};

// A proxy refused or broke the tunnel a secure exchange asked it for.
class ENetProxyError : public ENetException {
  public:
    explicit ENetProxyError(const std::string& message, std::int32_t code = 0)
        : ENetException(message), ReplyCode(code) {}
    std::int32_t ReplyCode;
};

// The secure-channel intercept a client needs for "https" addresses. This
// program has no secure channel: the type exists so that a client can tell
// it apart from other intercepts, and one that provides no channel is not
// enough for a secure exchange.
class TNetSSLConnectionIntercept : public TNetConnectionIntercept {
  public:
    virtual bool ProvidesSecureChannel() const { return false; }
};

enum TNetHTTPProtocolVersion { pv1_0, pv1_1 };

enum HttpMethod { HttpHead = 0, HttpGet = 1, HttpPost = 2 };

// The body of a POST: a list of lines (each sent with CR LF) or a stream.
struct TNetRequestSource {
    const std::vector<std::string>* Lines = nullptr;
    TNetStream* Stream = nullptr;
};

class TNetHTTP;

// Lets the owner veto, allow or rewrite a redirect: `dest` may be rewritten,
// `handled` is the answer; changes to `numRedirect` are ignored.
using TNetHTTPOnRedirectEvent = std::function<void(TNetHTTP& sender, std::string& dest,
                                                   std::int32_t& numRedirect, bool& handled)>;

class TNetHTTP : public TNetTCPClient {
  public:
    static constexpr std::int64_t DefaultMaxBodySize = 64LL * 1024 * 1024;
    static constexpr std::int32_t DefaultMaxHeaderBlockSize = 300 * 1024;

    TNetHTTP();
    ~TNetHTTP() override;

    // ---- settings ----
    TNetHTTPProtocolVersion ProtocolVersion = pv1_1;
    bool HandleRedirects = false;
    std::int32_t RedirectMaximum = 15;
    TNetHTTPOnRedirectEvent OnRedirect;
    // Runs once the header block of each response is in (ResponseInfo,
    // StatusCode and ResponseParser tell it), before any body byte.
    std::function<void(TNetHTTP& sender)> OnResponseHeaders;
    // Header fields sent with each request (proxy, credentials, Accept,
    // User-Agent, ExtraHeaders...).
    TNetHeaderInfo Request;
    // Host written in the "Host: " line, and the scheme of an absolute target
    // when a URL has none. Set per request from the URL.
    std::string RequestHost;
    std::string RequestScheme;
    // Largest body one response may have (bytes); a larger one ends the
    // exchange with ENetResponseTooLarge after the bytes up to the limit
    // have been stored.
    std::int64_t MaxBodySize = DefaultMaxBodySize;
    // Largest status line and header block (bytes, line ends counted).
    std::int32_t MaxHeaderBlockSize = DefaultMaxHeaderBlockSize;
    // How a response is delimited: the client's long-standing rules
    // (rpClassic) or those of RFC 9112 (rpModern); see TNetHTTPResponseParser.
    TNetHTTPReadPolicy ReadPolicy = rpClassic;

    // ---- state ----
    // Header fields of the last response.
    TNetHeaderInfo ResponseInfo;
    // The request's header lines while sending, then the response's while
    // receiving.
    TNetHeaderList WorkHeaders;
    std::int32_t StatusCode() const { return statusCode_; }
    // The last status line without its first word, e.g. "404 Not Found".
    const std::string& StatusLine() const { return statusLine_; }
    std::int32_t RedirectDepth() const { return redirectDepth_; }
    const std::string& TunnelHost() const { return tunnelHost_; }
    std::int32_t TunnelPort() const { return tunnelPort_; }
    const std::string& TunnelVersion() const { return tunnelVersion_; }
    // The parser of the last response: its trailer lines, how its body was
    // delimited, the interim answers skipped before it.
    const TNetHTTPResponseParser& ResponseParser() const { return parser_; }
    // Bytes of the last response taken from the connection so far (0: none
    // arrived, so a request that failed may be sent again as it was).
    std::int64_t ResponseBytesTaken() const { return responseBytes_; }

    // ---- operations ----
    // One GET of `url`; the body goes into `sink` (none: the body stays
    // unread). Raises on failure; every body byte stored stays in the sink.
    void SendGet(const std::string& url, TNetStream* sink);
    // Starts with HandleRedirects; OnRedirect may rewrite `location` and
    // change the answer.
    virtual bool AskRedirect(std::string& location, std::int32_t depth);
    // One exchange, re-entered for each followed redirect. `source` is the
    // body of a POST (ENetObjectTypeNotSupported when it has none).
    virtual void RunExchange(HttpMethod method, const std::string& url,
                             const TNetRequestSource* source, TNetStream* sink);

    // Points the client at the proxy or the origin for a URL's scheme, host
    // and port (none: the URL names no port). True when a proxy is used.
    bool SelectEndpoint(const std::string& protocol, const std::string& host,
                        std::optional<std::int32_t> port);
    // The CONNECT request of a proxy tunnel (run as the secure channel's
    // connect hook). The proxy's answer is read as a status line and a
    // header block; one other than 2xx raises ENetProxyError naming it.
    void OpenTunnel();
    // The exchange runs through a CONNECT tunnel of the proxy.
    bool Tunnelling() const { return tunnelling_; }
    // The header block into WorkHeaders, then into ResponseInfo (the status
    // line counts as read).
    void ReadResponseHeaders();
    // The body of the response just read, by length, chunks or until close.
    void ReadResponseBody(TNetStream* sink);
    // Reads one chunk-size line and gives its count by the classic rules:
    // 0 for a line that is not a plain hexadecimal count below 2^31.
    std::int32_t ReadChunkLength();

    static const char* VersionText(TNetHTTPProtocolVersion version) {
        return version == pv1_0 ? "1.0" : "1.1";
    }

  private:
    // Writes lines, each ended by CR LF, in one write after checking all of
    // them first.
    void WriteRequestLines(const std::vector<std::string>& lines);
    // Readies the parser for the response to a request with `method`.
    void BeginResponse(HttpMethod method);
    // Feeds the parser from the connection until it reports more than a
    // need for bytes; receives while it needs them and tells it when the
    // connection has ended.
    TNetHTTPParseStatus Pump();
    // Receives a stretch of plain body bytes straight into the body's sink.
    void ReadBodyDirect();
    // Status line and header block of the response, into StatusLine,
    // StatusCode, WorkHeaders and ResponseInfo.
    void ReadHeaderPhase();
    void TakeStatus();
    [[noreturn]] void RaiseParseError();
    // A wait without limit that ended with nothing received.
    [[noreturn]] void RaiseFailedReceive();
    // Body bytes handed out by the parser.
    void WriteBody(const char* data, std::size_t size);
    // Grows the sink's room so that `need` more bytes fit: exactly, or in
    // steps that end exactly at the body limit, so room never runs past it.
    void ReserveBody(TNetStream& sink, std::int64_t need, bool exact = false);
    std::int64_t BodyLimit() const { return MaxBodySize < 0 ? 0 : MaxBodySize; }

    TNetHTTPResponseParser parser_;
    // The connection has ended during this response.
    bool streamEnded_ = false;
    // The sink of the body being read, where in it the body began, and the
    // end of the room made for it.
    TNetStream* bodySink_ = nullptr;
    std::int64_t bodyStart_ = 0;
    std::int64_t reservedEnd_ = 0;
    std::int64_t responseBytes_ = 0;
    std::int32_t statusCode_ = 0;
    std::string statusLine_;
    std::int32_t redirectDepth_ = 0;
    std::string tunnelHost_;
    std::int32_t tunnelPort_ = 0;
    std::string tunnelVersion_;
    bool tunnelling_ = false;
    // The URL's explicit port, written after RequestHost in the "Host: " line
    // and in an absolute target; empty when the URL names none.
    std::string requestPortText_;
};

}  // namespace corvane::net
