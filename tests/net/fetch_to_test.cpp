#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <zlib.h>

#include "corvane_version.h"
#include "net/fetch_resolve.h"
#include "net/net_exceptions.h"
#include "net/page_fetch.h"
#include "tests/support/proxy_servers.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_pki.h"
#include "tests/support/tls_servers.h"
#include "tests/support/web_servers.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

const std::string kEnd = "\r\n\r\n";
using Clock = std::chrono::steady_clock;

std::string Url(const ScriptedPeer& peer, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(peer.Port()) + path;
}

FetchOptions Short(FetchPolicy policy = FetchPolicy::Classic) {
    FetchOptions o;
    o.Policy = policy;
    o.ConnectTimeoutMs = 5000;
    o.ReadTimeoutMs = 5000;
    o.DeadlineMs = 8000;
    return o;
}

struct Fetched {
    FetchResult result;
    std::string body;
};

Fetched Fetch(const std::string& url, const FetchOptions& options) {
    TNetMemoryStream sink;
    Fetched f;
    f.result = FetchTo(url, options, sink);
    f.body = sink.Text();
    return f;
}

std::int64_t SecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
}

std::string Gzip(const std::string& text) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, static_cast<uLong>(text.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    zs.avail_in = static_cast<uInt>(text.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

}  // namespace

// ---- TLS against nginx with the test PKI ----

TEST(FetchTo, HttpsOutcomesNameTheirCause) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    nginx.AddFile("index.html", "secure page");
    FetchOptions o = Short();
    o.CaFile = pki.RootFile();

    const Fetched ok = Fetch(nginx.Url(TestCert::Valid, "/index.html"), o);
    EXPECT_EQ(ok.result.Failure, FetchFailure::None) << ok.result.Message;
    EXPECT_EQ(ok.result.Status, 200);
    EXPECT_EQ(ok.result.Reason, "OK");
    EXPECT_EQ(ok.body, "secure page");
    EXPECT_EQ(ok.result.BodyBytes, 11);
    EXPECT_EQ(ok.result.RawHeaders.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    const std::pair<TestCert, const char*> failures[] = {
        {TestCert::Expired, "certificate has expired"},
        {TestCert::WrongHost, "host name mismatch"},
        {TestCert::SelfSigned, "self-signed certificate"},
        {TestCert::MissingIntermediate, "unable to get local issuer certificate"},
    };
    for (const auto& [which, cause] : failures) {
        const Fetched f = Fetch(nginx.Url(which, "/index.html"), o);
        EXPECT_EQ(f.result.Failure, FetchFailure::Tls) << TestPki::Name(which);
        EXPECT_NE(f.result.Message.find(cause), std::string::npos) << f.result.Message;
        EXPECT_EQ(f.result.Status, 0);
        EXPECT_EQ(f.body, "");
    }

    // Skipping verification accepts them; the classic page fetch reads https.
    o.Insecure = true;
    EXPECT_EQ(Fetch(nginx.Url(TestCert::SelfSigned, "/index.html"), o).body, "secure page");
    o.Insecure = false;
    EXPECT_EQ(FetchPage(nginx.Url(TestCert::Valid, "/index.html"), 80, o), "secure page");
}

TEST(FetchTo, ChunkedAndCompressedOverTls) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    std::string page;
    for (int i = 0; i < 20000; ++i)
        page += "line " + std::to_string(i) + "\n";
    nginx.AddFile("big.html", page);
    nginx.AddFile("chunked/part.html", "<p>chunks</p>");
    FetchOptions o = Short(FetchPolicy::Modern);
    o.CaFile = pki.RootFile();

    // Headers come before the first body byte.
    TNetMemoryStream sink;
    std::int64_t sizeAtHeaders = -1;
    const FetchResult gz =
        FetchTo(nginx.Url(TestCert::Valid, "/big.html"), o, sink, [&](const FetchResult& r) {
            EXPECT_EQ(r.Status, 200);
            sizeAtHeaders = sink.Size();
        });
    EXPECT_EQ(gz.Failure, FetchFailure::None) << gz.Message;
    EXPECT_EQ(sizeAtHeaders, 0);
    EXPECT_NE(gz.RawHeaders.find("Content-Encoding: gzip"), std::string::npos) << gz.RawHeaders;
    EXPECT_TRUE(sink.Text() == page) << sink.Text().size();
    EXPECT_EQ(gz.BodyBytes, static_cast<std::int64_t>(page.size()));

    const Fetched chunked = Fetch(nginx.Url(TestCert::Valid, "/chunked/part.html"), o);
    EXPECT_EQ(chunked.result.Failure, FetchFailure::None) << chunked.result.Message;
    EXPECT_EQ(chunked.body, "<p>chunks</p>");

    // Without asking, the classic fetch keeps the body as sent: not compressed.
    o.Policy = FetchPolicy::Classic;
    EXPECT_TRUE(Fetch(nginx.Url(TestCert::Valid, "/big.html"), o).body == page);
}

// ---- proxies ----

TEST(FetchTo, HttpsThroughAnHttpProxyUsesATunnel) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    nginx.AddFile("index.html", "tunnelled");
    TinyproxyServer proxy;
    FetchOptions o = Short();
    o.CaFile = pki.RootFile();
    o.ProxyHost = "127.0.0.1";
    o.ProxyPort = proxy.Port();
    const Fetched f = Fetch(nginx.Url(TestCert::Valid, "/index.html"), o);
    EXPECT_EQ(f.result.Failure, FetchFailure::None) << f.result.Message;
    EXPECT_EQ(f.body, "tunnelled");
    EXPECT_NE(proxy.Log().find("CONNECT"), std::string::npos) << proxy.Log();

    // A proxy that wants credentials answers 407.
    TinyproxyServer guarded("alice", "secret");
    o.ProxyPort = guarded.Port();
    const Fetched denied = Fetch(nginx.Url(TestCert::Valid, "/index.html"), o);
    EXPECT_EQ(denied.result.Failure, FetchFailure::Proxy);
    EXPECT_NE(denied.result.Message.find("407"), std::string::npos) << denied.result.Message;
    o.ProxyUser = "alice";
    o.ProxyPassword = "secret";
    EXPECT_EQ(Fetch(nginx.Url(TestCert::Valid, "/index.html"), o).body, "tunnelled");
}

TEST(FetchTo, ARefusingProxySeesOnlyTheConnectRequest) {
    ScriptedPeer proxy(PeerScript()
                           .ReadUntil(kEnd)
                           .Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 6\r\n\r\nno way")
                           .ReadUntilClosed());
    FetchOptions o = Short();
    o.ProxyHost = "127.0.0.1";
    o.ProxyPort = proxy.Port();
    const Fetched f = Fetch("https://secret.example/private?token=1", o);
    EXPECT_EQ(f.result.Failure, FetchFailure::Proxy);
    EXPECT_EQ(f.result.Message, "Proxy CONNECT answered 403 Forbidden");
    EXPECT_EQ(f.body, "");
    EXPECT_EQ(proxy.Received(0),
              "CONNECT secret.example:443 HTTP/1.1\r\nHost: secret.example:443\r\n\r\n");
}

TEST(FetchTo, TlsInsideSocks) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    nginx.AddFile("index.html", "via socks");
    FetchOptions o = Short();
    o.CaFile = pki.RootFile();
    o.SocksHost = "127.0.0.1";

    MicrosocksServer microsocks;
    o.SocksPort = microsocks.Port();
    o.SocksVersion = svSocks5;
    Fetched f = Fetch(nginx.Url(TestCert::Valid, "/index.html"), o);
    EXPECT_EQ(f.result.Failure, FetchFailure::None) << f.result.Message;
    EXPECT_EQ(f.body, "via socks");

    DanteServer dante;
    o.SocksPort = dante.Port();
    // (Dante as configured here refuses the 4A form for a name.)
    for (TSocksVersion version : {svSocks4, svSocks5}) {
        o.SocksVersion = version;
        f = Fetch(nginx.Url(TestCert::Valid, "/index.html"), o);
        EXPECT_EQ(f.body, "via socks") << version << ": " << f.result.Message;
    }
}

TEST(FetchTo, SocksRepliesOfAnotherVersionAreRefused) {
    // SOCKS 5 method reply with version 4; SOCKS 4 reply with version 4
    // (it must be 0).
    ScriptedPeer five(PeerScript().ReadBytes(3).Send(std::string("\x04\x00", 2)).ReadUntilClosed());
    ScriptedPeer four(PeerScript()
                          .ReadUntil(std::string(1, '\0'))
                          .Send(std::string("\x04\x5a\0\0\0\0\0\0", 8))
                          .ReadUntilClosed());
    FetchOptions o = Short();
    o.SocksHost = "127.0.0.1";
    o.SocksPort = five.Port();
    o.SocksVersion = svSocks5;
    EXPECT_EQ(Fetch("http://127.0.0.1:1/", o).result.Failure, FetchFailure::Proxy);
    o.SocksPort = four.Port();
    o.SocksVersion = svSocks4;
    EXPECT_EQ(Fetch("http://127.0.0.1:1/", o).result.Failure, FetchFailure::Proxy);
}

// ---- the modern policy's redirects ----

TEST(FetchTo, RedirectsAreFollowedAndResolved) {
    ScriptedPeer peer(std::vector<PeerScript>{
        PeerScript().ReadUntil(kEnd).Send(
            "HTTP/1.1 301 Moved\r\nLocation: /a/b/../c?x=1\r\nContent-Length: 4\r\n\r\ngone"),
        PeerScript().ReadUntil(kEnd).Send(
            "HTTP/1.1 303 See Other\r\nLocation: d\r\nContent-Length: 0\r\n\r\n"),
        PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfinal"),
    });
    const Fetched f = Fetch(Url(peer, "/start"), Short(FetchPolicy::Modern));
    EXPECT_EQ(f.result.Failure, FetchFailure::None) << f.result.Message;
    EXPECT_EQ(f.body, "final");  // the redirects' bodies are not kept
    EXPECT_EQ(f.result.Redirects, 2);
    EXPECT_EQ(f.result.FinalUrl, Url(peer, "/a/d"));
    EXPECT_EQ(peer.Received(1).rfind("GET /a/c?x=1 HTTP/1.1\r\n", 0), 0u) << peer.Received(1);
    const std::string last = peer.Received(2);
    EXPECT_EQ(last.rfind("GET /a/d HTTP/1.1\r\n", 0), 0u) << last;
    EXPECT_NE(last.find("User-Agent: Corvane/" CORVANE_VERSION "\r\n"), std::string::npos) << last;
    EXPECT_NE(last.find("Accept-Encoding: gzip, deflate\r\n"), std::string::npos) << last;
}

TEST(FetchTo, EndlessRedirectsStopAtTheMaximum) {
    ScriptedPeer peer(100, [](int i) {
        return PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 302 Found\r\nLocation: /r" +
                                                 std::to_string(i) +
                                                 "\r\nContent-Length: 0\r\n\r\n");
    });
    const Fetched f = Fetch(Url(peer), Short(FetchPolicy::Modern));
    EXPECT_EQ(f.result.Failure, FetchFailure::Limit);
    EXPECT_EQ(f.result.Redirects, 10);
    EXPECT_EQ(peer.Accepted(), 11);
}

TEST(FetchTo, RedirectFromHttpsToHttpIsRefused) {
    TestPki pki;
    ScriptedPeer plain(
        PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nno"));
    TlsTestServer::Options so;
    so.ChainFile = pki.ChainFile(TestCert::Valid);
    so.KeyFile = pki.KeyFile(TestCert::Valid);
    so.ReplyAfter = kEnd;
    so.Reply = "HTTP/1.1 302 Found\r\nLocation: " + Url(plain) + "\r\nContent-Length: 0\r\n\r\n";
    TlsTestServer server(so);
    FetchOptions o = Short(FetchPolicy::Modern);
    o.CaFile = pki.RootFile();
    const Fetched f = Fetch("https://localhost:" + std::to_string(server.Port()) + "/", o);
    EXPECT_EQ(f.result.Failure, FetchFailure::Protocol);
    EXPECT_EQ(f.result.Redirects, 0);
    EXPECT_EQ(plain.Accepted(), 0);
}

// ---- requests beyond a plain GET ----

// The header block of a request as received, and what followed it.
struct SentRequest {
    std::string head;
    std::string body;
};

SentRequest Split(const std::string& received) {
    const std::size_t end = received.find(kEnd);
    if (end == std::string::npos)
        return {received, ""};
    return {received.substr(0, end + 2), received.substr(end + 4)};
}

bool HasLine(const std::string& head, const std::string& line) {
    return head.find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(FetchToRequest, PostSendsItsBodyTypeAndHeaders) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ndone";
    ScriptedPeer peer(std::vector<PeerScript>{
        PeerScript().ReadUntil(kEnd).ReadBytes(13).Send(ok),
        PeerScript().ReadUntil(kEnd).Send(ok),
        PeerScript().ReadUntil(kEnd).ReadBytes(2).Send(ok),
    });
    FetchRequest post;
    post.Method = "POST";
    post.Url = Url(peer, "/search?x=1");
    post.Body = "q=tea&page=2\n";
    post.Headers = {
        {"Cookie", "id=42"}, {"Accept-Language", "de"}, {"User-Agent", "Probe/1"}, {"X-Empty", ""}};
    TNetMemoryStream sink;
    FetchResult r = FetchTo(post, Short(), sink);
    EXPECT_EQ(r.Failure, FetchFailure::None) << r.Message;
    EXPECT_EQ(sink.Text(), "done");
    SentRequest sent = Split(peer.Received(0));
    EXPECT_EQ(sent.head.rfind("POST /search?x=1 HTTP/1.1\r\n", 0), 0u) << sent.head;
    EXPECT_TRUE(HasLine(sent.head, "Content-Type: application/x-www-form-urlencoded"));
    EXPECT_TRUE(HasLine(sent.head, "Content-Length: 13"));
    EXPECT_TRUE(HasLine(sent.head, "Cookie: id=42"));
    EXPECT_TRUE(HasLine(sent.head, "Accept-Language: de"));
    EXPECT_TRUE(HasLine(sent.head, "X-Empty: "));
    // A header the fetch fills itself is replaced, not sent twice.
    EXPECT_TRUE(HasLine(sent.head, "User-Agent: Probe/1"));
    EXPECT_EQ(sent.head.find("User-Agent:"), sent.head.rfind("User-Agent:")) << sent.head;
    EXPECT_EQ(sent.body, post.Body);

    // An empty body is announced as such; a GET carries headers, no type.
    post.Body.clear();
    post.Method = "POST";
    TNetMemoryStream second;
    r = FetchTo(post, Short(FetchPolicy::Modern), second);
    EXPECT_EQ(r.Failure, FetchFailure::None) << r.Message;
    sent = Split(peer.Received(1));
    EXPECT_TRUE(HasLine(sent.head, "Content-Length: 0")) << sent.head;

    // A Content-Type header takes the place of the request's own.
    post.Body = "{}";
    post.Headers = {{"content-type", "application/json"}};
    TNetMemoryStream third;
    r = FetchTo(post, Short(), third);
    EXPECT_EQ(r.Failure, FetchFailure::None) << r.Message;
    sent = Split(peer.Received(2));
    EXPECT_TRUE(HasLine(sent.head, "content-type: application/json")) << sent.head;
    EXPECT_EQ(sent.head.find("x-www-form-urlencoded"), std::string::npos) << sent.head;
    EXPECT_EQ(sent.body, "{}");
}

TEST(FetchToRequest, RedirectsAfterAPostChangeTheMethodAsBrowsersDo) {
    const std::string body = "a=1&b=2";
    for (const int code : {301, 302, 303, 307, 308}) {
        ScriptedPeer peer(std::vector<PeerScript>{
            PeerScript()
                .ReadUntil(kEnd)
                .ReadBytes(body.size())
                .Send("HTTP/1.1 " + std::to_string(code) +
                      " Moved\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n"),
            PeerScript().ReadUntil(kEnd).Send(
                "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"),
        });
        FetchRequest post;
        post.Method = "POST";
        post.Url = Url(peer, "/form");
        post.Body = body;
        post.Headers = {{"Cookie", "id=1"}, {"Referer", "http://example.test/"}};
        TNetMemoryStream sink;
        const FetchResult r = FetchTo(post, Short(FetchPolicy::Modern), sink);
        EXPECT_EQ(r.Failure, FetchFailure::None) << code << ": " << r.Message;
        EXPECT_EQ(sink.Text(), "ok") << code;
        ASSERT_EQ(r.RedirectHeaders.size(), 1u) << code;
        EXPECT_EQ(r.RedirectHeaders[0].rfind("HTTP/1.1 " + std::to_string(code), 0), 0u);

        const SentRequest again = Split(peer.Received(1));
        // Same origin: every extra header goes along.
        EXPECT_TRUE(HasLine(again.head, "Cookie: id=1")) << code << again.head;
        EXPECT_TRUE(HasLine(again.head, "Referer: http://example.test/")) << code;
        if (code == 307 || code == 308) {
            EXPECT_EQ(again.head.rfind("POST /next HTTP/1.1\r\n", 0), 0u) << again.head;
            EXPECT_TRUE(HasLine(again.head, "Content-Length: 7")) << again.head;
            EXPECT_TRUE(HasLine(again.head, "Content-Type: application/x-www-form-urlencoded"));
            EXPECT_EQ(again.body, body) << code;
        } else {
            EXPECT_EQ(again.head.rfind("GET /next HTTP/1.1\r\n", 0), 0u) << again.head;
            EXPECT_EQ(again.head.find("Content-"), std::string::npos) << again.head;
            EXPECT_EQ(again.body, "") << code;
        }
    }
}

TEST(FetchToRequest, CredentialsStayWithTheirOrigin) {
    ScriptedPeer other(PeerScript().ReadUntil(kEnd).Send(
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nthere"));
    ScriptedPeer first(PeerScript().ReadUntil(kEnd).Send(
        "HTTP/1.1 302 Found\r\nLocation: " + Url(other, "/x") + "\r\nContent-Length: 0\r\n\r\n"));
    FetchRequest get;
    get.Url = Url(first);
    get.Headers = {{"Cookie", "id=1"},        {"Authorization", "Bearer abc"},
                   {"X-Auth-Token", "t"},     {"X-Api-Key", "k"},
                   {"Accept-Language", "fr"}, {"Referer", "http://example.test/"}};
    TNetMemoryStream sink;
    const FetchResult r = FetchTo(get, Short(FetchPolicy::Modern), sink);
    EXPECT_EQ(r.Failure, FetchFailure::None) << r.Message;
    EXPECT_EQ(sink.Text(), "there");
    EXPECT_TRUE(HasLine(Split(first.Received(0)).head, "Authorization: Bearer abc"));
    const std::string head = Split(other.Received(0)).head;
    for (const char* name : {"Cookie", "Authorization", "X-Auth-Token", "X-Api-Key"})
        EXPECT_EQ(head.find(std::string("\r\n") + name + ":"), std::string::npos) << head;
    EXPECT_TRUE(HasLine(head, "Accept-Language: fr")) << head;
    EXPECT_TRUE(HasLine(head, "Referer: http://example.test/")) << head;
}

TEST(FetchToRequest, UnsafeRequestsAreRefusedBeforeAnythingIsSent) {
    ScriptedPeer peer(PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 200 OK\r\n\r\n"));
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"X-Split", "a\r\nInjected: 1"},
        {"X-Zero", std::string("a\0b", 3)},
        {"X-Line\nBreak", "v"},
        {std::string("X-Zero\0Name", 11), "v"},
        {"Bad Name", "v"},
        {"", "v"},
        {"Host", "elsewhere.example"},
        {"content-length", "5"},
        {"Transfer-Encoding", "chunked"},
        {"Connection", "close"},
    };
    for (const auto& header : bad) {
        FetchRequest request;
        request.Url = Url(peer);
        request.Headers = {{"Accept-Language", "en"}, header};
        TNetMemoryStream sink;
        const FetchResult r = FetchTo(request, Short(), sink);
        EXPECT_EQ(r.Failure, FetchFailure::Protocol) << header.first;
        EXPECT_EQ(r.Message.rfind("Request header", 0), 0u) << r.Message;
        EXPECT_EQ(r.Message.find_first_of(std::string("\r\n\0", 3)), std::string::npos)
            << r.Message;
    }
    FetchRequest odd;
    odd.Url = Url(peer);
    odd.Method = "DELETE";
    TNetMemoryStream sink;
    EXPECT_EQ(FetchTo(odd, Short(), sink).Failure, FetchFailure::Protocol);
    odd.Method = "GET";
    odd.Body = "a body for a GET";
    EXPECT_EQ(FetchTo(odd, Short(), sink).Failure, FetchFailure::Protocol);
    odd.Method = "POST";
    odd.Body = "ok";
    odd.ContentType = "text/plain\r\nX: 1";
    EXPECT_EQ(FetchTo(odd, Short(), sink).Failure, FetchFailure::Protocol);
    EXPECT_EQ(peer.Accepted(), 0);
}

// ---- hostile peers ----

TEST(FetchTo, ADripIsCutByTheDeadline) {
    PeerScript drip =
        PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    for (int i = 0; i < 6; ++i)
        drip.Send("x").Pause(2000);
    ScriptedPeer peer(drip);
    FetchOptions o = Short();
    o.ReadTimeoutMs = 30000;
    o.DeadlineMs = 5000;
    const auto start = Clock::now();
    const Fetched f = Fetch(Url(peer), o);
    EXPECT_EQ(f.result.Failure, FetchFailure::Deadline);
    EXPECT_NE(f.result.Message.find("timed out"), std::string::npos) << f.result.Message;
    EXPECT_EQ(f.body, "xxx");
    EXPECT_LT(SecondsSince(start), 7);
    peer.Stop();
}

TEST(FetchTo, APeerThatNeverReadsCannotHoldTheRequestPastTheDeadline) {
    // Far more than the socket buffers of both ends take.
    const std::string big(32 << 20, 'p');
    FetchOptions o = Short();
    o.DeadlineMs = 1000;

    FetchRequest post;
    post.Method = "POST";
    post.Body = big;
    FetchRequest hugeHeader;
    hugeHeader.Headers = {{"X-Padding", big}};
    for (FetchRequest* request : {&post, &hugeHeader}) {
        ScriptedPeer peer(PeerScript().Pause(10000));
        request->Url = Url(peer);
        TNetMemoryStream sink;
        const auto start = Clock::now();
        const FetchResult r = FetchTo(*request, o, sink);
        EXPECT_EQ(r.Failure, FetchFailure::Deadline) << r.Message;
        // Well before the peer's 10 s, with room for a sanitizer's slower
        // copying of the 32 MiB request.
        EXPECT_LT(SecondsSince(start), 7);
        peer.Stop();
    }

    // The same inside TLS.
    TestPki pki;
    TlsTestServer::Options so;
    so.ChainFile = pki.ChainFile(TestCert::Valid);
    so.KeyFile = pki.KeyFile(TestCert::Valid);
    so.StallMs = 10000;
    TlsTestServer server(so);
    o.CaFile = pki.RootFile();
    post.Url = "https://localhost:" + std::to_string(server.Port()) + "/";
    TNetMemoryStream sink;
    const auto start = Clock::now();
    const FetchResult r = FetchTo(post, o, sink);
    EXPECT_EQ(r.Failure, FetchFailure::Deadline) << r.Message;
    EXPECT_LT(SecondsSince(start), 7);
    EXPECT_TRUE(server.Wait().HandshakeDone);
}

TEST(FetchTo, BodiesStopAtTheLimitDecodedOrNot) {
    const std::string endless(2 << 20, 'e');
    ScriptedPeer raw(PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 200 OK\r\n\r\n" + endless));
    FetchOptions o = Short();
    o.MaxBodySize = 100000;
    Fetched f = Fetch(Url(raw), o);
    EXPECT_EQ(f.result.Failure, FetchFailure::Limit);
    EXPECT_EQ(f.result.BodyBytes, 100000);
    EXPECT_EQ(f.body.size(), 100000u);

    // About 10 KB that decode to 10 MB.
    const std::string bomb = Gzip(std::string(10 << 20, '\0'));
    ScriptedPeer peer(PeerScript().ReadUntil(kEnd).Send(
        "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
        std::to_string(bomb.size()) + "\r\n\r\n" + bomb));
    o.Policy = FetchPolicy::Modern;
    o.MaxBodySize = 1 << 20;
    f = Fetch(Url(peer), o);
    EXPECT_EQ(f.result.Failure, FetchFailure::Limit) << f.result.Message;
    EXPECT_EQ(f.result.BodyBytes, 1 << 20);
    EXPECT_EQ(f.body.size(), std::size_t{1} << 20);

    // Broken compressed data is a protocol failure.
    ScriptedPeer broken(PeerScript().ReadUntil(kEnd).Send(
        "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 10\r\n\r\nnot gzip!!"));
    EXPECT_EQ(Fetch(Url(broken), o).result.Failure, FetchFailure::Protocol);
}

TEST(FetchTo, NameResolutionObeysTheDeadline) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable open;
        bool released = false;
    };
    auto gate = std::make_shared<Gate>();
    FetchOptions o = Short();
    o.DeadlineMs = 1000;
    o.Resolver = [gate](const std::string&) -> std::string {
        std::unique_lock<std::mutex> lock(gate->mutex);
        gate->open.wait_for(lock, std::chrono::seconds(10), [&] { return gate->released; });
        throw ENetNameNotResolved("released");
    };
    const auto start = Clock::now();
    const Fetched hung = Fetch("http://silent.example/", o);
    EXPECT_EQ(hung.result.Failure, FetchFailure::Deadline);
    EXPECT_LT(SecondsSince(start), 3);
    {
        const std::lock_guard<std::mutex> lock(gate->mutex);
        gate->released = true;
    }
    gate->open.notify_all();

    o.Resolver = [](const std::string& host) -> std::string {
        throw ENetNameNotResolved("Could not resolve host: " + host);
    };
    const Fetched unknown = Fetch("http://nowhere.invalid/", o);
    EXPECT_EQ(unknown.result.Failure, FetchFailure::Name);
    EXPECT_EQ(unknown.result.Message, "Could not resolve host: nowhere.invalid");
}

TEST(FetchTo, ConnectFailuresAndCancelsAreTold) {
    RefusingPort refusing;
    const Fetched f = Fetch("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/", Short());
    EXPECT_EQ(f.result.Failure, FetchFailure::Connect);
    // The socket error's two lines joined into one.
    EXPECT_EQ(f.result.Message, "Socket Error # 10061: Connection refused.");

    FetchCancel cancel;
    cancel.Cancel();
    FetchOptions o = Short();
    o.Cancel = &cancel;
    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/", o).result.Failure,
              FetchFailure::Cancelled);
}

TEST(FetchTo, ReferencesResolveAgainstTheirBase) {
    const std::string base = "http://h.example:8080/a/b/c?q=1#f";
    EXPECT_EQ(ResolveReference(base, "https://other.example/x#y"), "https://other.example/x");
    EXPECT_EQ(ResolveReference(base, "//cdn.example/p"), "http://cdn.example/p");
    EXPECT_EQ(ResolveReference(base, "/root"), "http://h.example:8080/root");
    EXPECT_EQ(ResolveReference(base, "?z=2"), "http://h.example:8080/a/b/c?z=2");
    EXPECT_EQ(ResolveReference(base, "d/e"), "http://h.example:8080/a/b/d/e");
    EXPECT_EQ(ResolveReference(base, "../../../../up"), "http://h.example:8080/up");
    EXPECT_EQ(ResolveReference(base, "./"), "http://h.example:8080/a/b/");
    EXPECT_EQ(ResolveReference("http://h.example", "x"), "http://h.example/x");
}
