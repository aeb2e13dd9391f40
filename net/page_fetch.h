// The one door through which the survey engine reads the web: a URL in, the
// body of the HTTP response out, byte for byte, whatever happened during the
// exchange.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "net/fetch_cancel.h"
#include "net/http_client.h"
#include "net/net_stream.h"
#include "net/tcp_client.h"

namespace corvane::net {

class ConnectionPool;

// An in-memory stream whose content is a text. A write of n bytes at
// position p leaves exactly p + n bytes (what lay beyond is dropped) and
// moves the position to p + n.
class TextSink : public TNetStream {
  public:
    TextSink() = default;

    std::int64_t Size() const override { return size_; }
    void SetSize(std::int64_t size) override;
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
    std::size_t Write(const void* data, std::size_t count) override;
    std::size_t Read(void* data, std::size_t count) override;
    char* WriteSpan(std::size_t count) override;
    void CommitWrite(std::size_t filled) override;

    const std::string& Text();
    // Hands the content out without copying it; the sink is left empty.
    std::string TakeText();

  private:
    // Makes the stored text end exactly at the position (cutting, or filling
    // a gap with zero bytes), ready for bytes to follow.
    void EndTextAtPosition();
    // Brings the text to the full size, zero bytes at its end.
    void Materialize();

    // text_ holds the first bytes of the content; the rest, up to size_, are
    // zero bytes not yet written out. Pre-sizing for a stated length thus
    // takes room (capacity) without writing the whole length twice.
    std::string text_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
};

// How a fetch reads the web. Classic: one GET, no redirect followed, the
// body as the server sent it, the client's long-standing reading rules.
// Modern: redirects followed, responses read as RFC 9112 says, compression
// asked for and decoded, a User-Agent of its own.
enum class FetchPolicy { Classic, Modern };

// Why a fetch ended before its response was complete.
enum class FetchFailure { None, Name, Connect, Proxy, Tls, Deadline, Limit, Protocol, Cancelled };

// The words for a failure kind ("TLS", "time-out", ...), for summaries.
const char* FetchFailureName(FetchFailure failure);

// Settings of a front end's page fetch. The defaults give the plain fetch:
// no proxy, the TCP client's time limits, the client's body limit.
struct FetchOptions {
    // HTTP proxy: requests go to ProxyHost:ProxyPort with absolute targets.
    // Empty host: none.
    std::string ProxyHost;
    std::int32_t ProxyPort = 0;
    // Optional proxy user (sent as Proxy-Authorization, Basic).
    std::string ProxyUser;
    std::string ProxyPassword;
    // SOCKS proxy in front of the connection (svNoSocks: none). A non-empty
    // SocksUser makes a SOCKS 5 negotiation use user name and password; for
    // SOCKS 4 and 4A it is the user ID.
    TSocksVersion SocksVersion = svNoSocks;
    std::string SocksHost;
    std::int32_t SocksPort = 0;
    std::string SocksUser;
    std::string SocksPassword;
    // Time limits in milliseconds (0: none): one connect attempt, and the
    // wait for the next bytes of the response.
    std::int32_t ConnectTimeoutMs = TNetTCPClient::DefaultConnectTimeout;
    std::int32_t ReadTimeoutMs = TNetTCPClient::DefaultReadTimeout;
    // Largest body kept; a larger one ends the fetch with the bytes up to it.
    std::int64_t MaxBodySize = TNetHTTP::DefaultMaxBodySize;
    // Lets another thread end the fetch (not owned; none: the fetch runs to
    // its end or its time limits).
    FetchCancel* Cancel = nullptr;
    // Kept-alive connections shared by the fetches of one run (not owned;
    // see net/connection_pool.h). None: every fetch connects anew and closes
    // its connection at its end.
    ConnectionPool* Pool = nullptr;

    FetchPolicy Policy = FetchPolicy::Classic;
    // Send "Accept-Encoding: gzip, deflate" and decode the body (always on
    // under the modern policy).
    bool Compressed = false;
    // Redirects followed at most (modern policy).
    std::int32_t MaxRedirects = 10;
    // Empty: "Corvane/<version>" under the modern policy; the classic policy
    // sends the client's own.
    std::string UserAgent;
    // Extra trusted CA file (PEM) and skipping verification, for https.
    std::string CaFile;
    bool Insecure = false;
    // The whole fetch in milliseconds: name resolution, connect, SOCKS or
    // CONNECT, TLS handshake, headers and body (0: no limit).
    std::int32_t DeadlineMs = 60000;
    // Turns a host name into a dotted IPv4 address, or raises ENetException
    // when it cannot. Runs on a helper thread the fetch stops waiting for at
    // its deadline. None: the system's resolver.
    std::function<std::string(const std::string& host)> Resolver;
    // Applied to the URL of every request the fetch sends: the first and
    // each redirect target. None: URLs as given.
    std::function<std::string(const std::string& url)> MapUrl;

    // Forgets the HTTP and the SOCKS proxy with their credentials: the
    // connection goes direct.
    void ClearProxies();
};

struct FetchResult {
    std::int32_t Status = 0;  // final response's status code (0: none arrived)
    std::string Reason;       // its reason phrase
    std::string FinalUrl;     // after redirects
    // The final response's status line and header lines, each ended by CRLF,
    // as received.
    std::string RawHeaders;
    // The same for each redirect that was followed, in order.
    std::vector<std::string> RedirectHeaders;
    std::int32_t Redirects = 0;
    FetchFailure Failure = FetchFailure::None;
    // The cause in words, e.g. "TLS certificate problem: certificate has
    // expired"; empty without failure.
    std::string Message;
    std::int64_t BodyBytes = 0;  // body bytes written to the sink
};

// A request other than a plain GET: a POST with a form body, extra headers
// (Cookie, Referer, Accept-Language). A header named like one the fetch
// fills itself (User-Agent, Accept, Accept-Encoding, Content-Type...)
// replaces the fetch's own. Header names the fetch alone sets (Host,
// Content-Length, Transfer-Encoding, Connection), names that are not HTTP
// tokens, and a line break or a zero byte in a value are refused: the fetch
// then sends nothing and fails (FetchFailure::Protocol) saying why.
struct FetchRequest {
    std::string Method = "GET";  // "GET" or "POST"
    std::string Url;
    std::string Body;  // sent as is with a POST; a GET has none
    std::string ContentType = "application/x-www-form-urlencoded";  // of a POST
    std::vector<std::pair<std::string, std::string>> Headers;
};

// Why FetchTo would refuse `request` and send nothing, in one line; empty
// when the request can be sent.
std::string RequestRefusal(const FetchRequest& request);

// As the GET form below, for any request. A 301, 302 or 303 answer to a POST
// is followed with a GET without body or Content-Type (as browsers do); 307
// and 308 repeat the POST with its body. The extra headers go with every
// request of the fetch, except that credentials (Cookie, Authorization and
// names with "auth", "token", "secret", "session" or "api-key" in them) go
// only to the origin (scheme, host, port) of the first URL.
FetchResult FetchTo(const FetchRequest& request, const FetchOptions& options, TNetStream& sink,
                    const std::function<void(const FetchResult&)>& onHeaders = {});

// Fetches `url` with a GET, the body going to `sink` as it arrives (never
// gathered whole); `onHeaders` runs once the final response's headers are
// in, before any body byte. The sink sees SetSize calls that make room
// ahead of the bytes (a pure stream may ignore them). Exchange failures come
// back in the result; only a failure to create the client (the socket
// library cannot be started) is raised.
FetchResult FetchTo(const std::string& url, const FetchOptions& options, TNetStream& sink,
                    const std::function<void(const FetchResult&)>& onHeaders = {});

// The body of the response to a GET of `url`. `port` is only the client's
// starting port: the URL's own port (80 when it names none) is used. Every
// failure of the exchange is absorbed and leaves the body bytes that had
// been stored; only a failure to create the client (the socket library
// cannot be started) is raised.
std::string FetchPage(const std::string& url, std::int32_t port);
std::string FetchPage(const std::string& url, std::int32_t port, const FetchOptions& options);

}  // namespace corvane::net
