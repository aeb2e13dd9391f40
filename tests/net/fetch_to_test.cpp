#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <zlib.h>

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
    EXPECT_NE(last.find("User-Agent: Corvane/"), std::string::npos) << last;
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
    EXPECT_FALSE(f.result.Message.empty());

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
