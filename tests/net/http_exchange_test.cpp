#include <gtest/gtest.h>

#include "net/http_client.h"
#include "net/net_exceptions.h"
#include "net/page_fetch.h"
#include "tests/support/client_helpers.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_stacks.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

const std::string kEnd = "\r\n\r\n";
const std::string kAccept = "Accept: text/html, */*\r\n";
const std::string kAgent = "User-Agent: Mozilla/3.0 (compatible; Corvane)\r\n";

std::string Url(const ScriptedPeer& peer, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(peer.Port()) + path;
}

// A client with limits short enough that a fault cannot hang a test.
std::unique_ptr<TNetHTTP> Client() {
    auto c = std::make_unique<TNetHTTP>();
    c->ConnectTimeout = 5000;
    c->ReadTimeout = 3000;
    return c;
}

// Answers one request and keeps the connection open until the client closes.
PeerScript AnswerKeepingOpen(const std::string& response) {
    return PeerScript().ReadUntil(kEnd).Send(response).ReadUntilClosed();
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// ---- the request ----

TEST(HttpRequest, PlainGetSendsExactlyFiveLines) {
    ScriptedPeer peer(AnswerKeepingOpen("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    auto c = Client();
    // A URL without scheme and host goes to the client's own host and port.
    c->Host = "127.0.0.1";
    c->Port = peer.Port();
    TextSink sink;
    c->SendGet("/search?p=corvane+demo&ei=UTF-8&n=10#frag", &sink);
    EXPECT_EQ(sink.Text(), "ok");
    EXPECT_TRUE(c->IsConnected());  // no "Connection" line: the server keeps it
    c.reset();
    EXPECT_EQ(peer.Received(0),
              "GET /search?p=corvane+demo&ei=UTF-8&n=10 HTTP/1.1\r\nHost: 127.0.0.1\r\n" + kAccept +
                  kAgent + "\r\n");
}

TEST(HttpRequest, ExplicitPortIsPartOfTheHostLine) {
    ScriptedPeer peer(AnswerKeepingOpen("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    auto c = Client();
    TextSink sink;
    c->SendGet(Url(peer, "/a/b?x=1/2#f"), &sink);
    c.reset();
    EXPECT_EQ(peer.Received(0),
              "GET /a/b?x=1/2 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.Port()) + "\r\n" +
                  kAccept + kAgent + "\r\n");
}

TEST(HttpRequest, ThroughAnHttpProxy) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx";
    ScriptedPeer proxy(
        PeerScript().ReadUntil(kEnd).Send(ok).ReadUntil(kEnd).Send(ok).ReadUntilClosed());
    auto c = Client();
    c->Request.ProxyServer = "127.0.0.1";
    c->Request.ProxyPort = proxy.Port();
    c->Request.ProxyUsername = "alice";
    c->Request.ProxyPassword = "s3cret";
    TextSink sink;
    c->SendGet("http://www.example.com/search?p=a", &sink);
    EXPECT_EQ(c->TunnelHost(), "www.example.com");
    EXPECT_EQ(c->TunnelPort(), 443);
    c->SendGet("http://www.example.com:8080/", &sink);  // same proxy: the connection is reused
    c.reset();
    const std::string auth = "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n";
    EXPECT_EQ(proxy.Received(0),
              "GET http://www.example.com/search?p=a HTTP/1.1\r\nHost: www.example.com\r\n" +
                  kAccept + kAgent + auth + "\r\n" +
                  "GET http://www.example.com:8080/ HTTP/1.1\r\nHost: www.example.com:8080\r\n" +
                  kAccept + kAgent + auth + "\r\n");
    EXPECT_EQ(proxy.Accepted(), 1);
}

TEST(HttpRequest, Version10RequestClosesAfterTheResponse) {
    ScriptedPeer peer(AnswerKeepingOpen("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    auto c = Client();
    c->ProtocolVersion = pv1_0;
    TextSink sink;
    c->SendGet(Url(peer), &sink);
    EXPECT_EQ(sink.Text(), "ok");
    EXPECT_FALSE(c->IsConnected());
    EXPECT_EQ(peer.Received(0).rfind("GET / HTTP/1.0\r\n", 0), 0u);
}

// Text taken from pages or settings must never add a header or a request.
TEST(HttpRequest, LineBreaksAndZeroBytesAreRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* what;
        std::string url;
        std::function<void(TNetHTTP&)> set;
    };
    const std::string ok = "http://127.0.0.1:9/";
    const std::vector<Case> cases = {
        {"CR LF in the path", "http://127.0.0.1:9/a\r\nX-Injected: 1", nullptr},
        {"LF in the query", "http://127.0.0.1:9/?q=a\nb", nullptr},
        {"NUL in the path", std::string("http://127.0.0.1:9/a\0b", 22), nullptr},
        {"CR in the host", "http://127.0.0.1\r:9/", nullptr},
        {"LF in the user agent", ok, [](TNetHTTP& c) { c.Request.UserAgent = "UA\nX: 1"; }},
        {"CR in the referer", ok, [](TNetHTTP& c) { c.Request.Referer = "http://r/\r"; }},
        {"LF in an extra header", ok,
         [](TNetHTTP& c) { c.Request.ExtraHeaders.Add("X-A: 1\nX-B: 2"); }},
        {"CR LF in a proxied URL", "http://example.com/\r\n\r\nGET /second HTTP/1.1",
         [](TNetHTTP& c) {
             c.Request.ProxyServer = "127.0.0.1";
             c.Request.ProxyPort = 9;
         }},
    };
    for (const Case& k : cases) {
        ScopedTestStack stack;
        auto c = Client();
        if (k.set)
            k.set(*c);
        TextSink sink;
        EXPECT_THROW(c->SendGet(k.url, &sink), ENetUnsafeRequestText) << k.what;
        EXPECT_EQ(stack.Plan().Calls(StackCall::Socket), 0) << k.what;
        EXPECT_EQ(stack.Plan().Calls(StackCall::Send), 0) << k.what;
    }
    // The page fetch absorbs it like any other failure.
    ScopedTestStack stack;
    EXPECT_EQ(FetchPage("http://127.0.0.1:9/a\r\nX: 1", 80), "");
    EXPECT_EQ(stack.Plan().Calls(StackCall::Send), 0);
}

TEST(HttpRequest, HttpsIsRefusedBeforeAnyConnection) {
    ScopedTestStack stack;
    auto c = Client();
    TextSink sink;
    try {
        c->SendGet("https://127.0.0.1:9/", &sink);
        FAIL();
    } catch (const ENetInterceptPropInvalid& e) {
        EXPECT_STREQ(e.what(), "Intercept value is not valid");
    }
    // An intercept of the secure-channel type that brings no channel is no better.
    TNetSSLConnectionIntercept intercept;
    c->SetIntercept(&intercept);
    EXPECT_THROW(c->SendGet("HTTPS://127.0.0.1:9/", &sink), ENetInterceptPropInvalid);
    EXPECT_EQ(stack.Plan().Calls(StackCall::Socket), 0);
    EXPECT_EQ(stack.Plan().Calls(StackCall::Connect), 0);
}

TEST(HttpRequest, PostBodies) {
    ScopedTestStack stack;
    auto c = Client();
    TextSink sink;
    EXPECT_THROW(c->RunExchange(HttpPost, "http://127.0.0.1:9/", nullptr, &sink),
                 ENetObjectTypeNotSupported);
    TNetRequestSource none;
    EXPECT_THROW(c->RunExchange(HttpPost, "http://127.0.0.1:9/", &none, &sink),
                 ENetObjectTypeNotSupported);
    EXPECT_EQ(stack.Plan().Calls(StackCall::Socket), 0);

    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    ScriptedPeer peer(PeerScript()
                          .ReadUntil(kEnd)
                          .ReadBytes(8)
                          .Send(ok)
                          .ReadUntil(kEnd)
                          .ReadBytes(5)
                          .Send(ok)
                          .ReadUntilClosed());
    const std::vector<std::string> lines = {"a=1", "b"};
    TNetRequestSource fromLines;
    fromLines.Lines = &lines;
    c->RunExchange(HttpPost, Url(peer, "/form"), &fromLines, &sink);
    TNetMemoryStream body("12345");
    TNetRequestSource fromStream;
    fromStream.Stream = &body;
    TextSink second;
    c->RunExchange(HttpPost, Url(peer, "/form"), &fromStream, &second);
    EXPECT_EQ(second.Text(), "ok");
    c.reset();
    const std::string received = peer.Received(0);
    EXPECT_NE(received.find("POST /form HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(received.find("Content-Length: 8\r\n\r\na=1\r\nb\r\n"), std::string::npos);
    EXPECT_NE(received.find("Content-Length: 5\r\n\r\n12345"), std::string::npos);
}

TEST(HttpRequest, TunnelRequestThroughAProxy) {
    ScriptedPeer proxy(PeerScript()
                           .ReadUntil(kEnd)
                           .Send("HTTP/1.1 200 Connection established\r\nX: 1\r\n\r\nleft")
                           .ReadUntilClosed());
    auto c = Client();
    // A channel that claims to be secure and passes the bytes through.
    struct PassThroughChannel : TNetSSLConnectionIntercept {
        bool ProvidesSecureChannel() const override { return true; }
    } intercept;
    c->SetIntercept(&intercept);
    c->Request.ProxyServer = "127.0.0.1";
    c->Request.ProxyPort = proxy.Port();
    EXPECT_TRUE(c->SelectEndpoint("https", "secure.example", 8443));
    EXPECT_EQ(c->TunnelHost(), "secure.example");
    EXPECT_EQ(c->TunnelPort(), 8443);
    EXPECT_EQ(c->TunnelVersion(), "1.1");
    ASSERT_TRUE(intercept.OnConnect);  // the secure channel's connect hook opens the tunnel
    c->OpenConnection();               // the channel's connect hook runs the CONNECT
    EXPECT_TRUE(c->InterceptEnabled());
    EXPECT_EQ(c->ReadLine("t"), "lef");  // the answer's header block was read, no more
    c.reset();
    EXPECT_EQ(proxy.Received(0),
              "CONNECT secure.example:8443 HTTP/1.1\r\nHost: secure.example:8443\r\n\r\n");

    // Any other intercept has its hook cleared.
    TNetConnectionIntercept plain;
    plain.OnConnect = [](TNetConnectionIntercept&) {};
    TNetHTTP d;
    d.SetIntercept(&plain);
    d.Request.ProxyServer = "proxy";
    d.SelectEndpoint("http", "h", std::nullopt);
    EXPECT_FALSE(plain.OnConnect);
}

// ---- the status line and the connection policy ----

TEST(HttpResponse, StatusLineWithAndWithoutReason) {
    ScriptedPeer peer(std::vector<PeerScript>{
        AnswerKeepingOpen("HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok"),
        AnswerKeepingOpen("HTTP/1.1 404 Not  Found\r\nContent-Length: 4\r\n\r\ngone")});
    auto c = Client();
    TextSink sink, page;
    c->SendGet(Url(peer), &page);
    EXPECT_EQ(c->StatusCode(), 200);
    EXPECT_EQ(c->StatusLine(), "200");
    c->CloseConnection();
    try {
        c->SendGet(Url(peer), &sink);
        FAIL();
    } catch (const ENetProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 404);
        EXPECT_STREQ(e.what(), "404 Not  Found");
    }
    EXPECT_EQ(sink.Text(), "gone");
    EXPECT_TRUE(c->IsConnected());  // a status error leaves the connection as it was
}

TEST(HttpResponse, NonNumericStatusCode) {
    ScriptedPeer peer(AnswerKeepingOpen("HTTP/1.1 2OO OK\r\nContent-Length: 2\r\n\r\nok"));
    auto c = Client();
    TextSink sink;
    try {
        c->SendGet(Url(peer), &sink);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'2OO' is not a valid integer value");
    }
    EXPECT_EQ(sink.Text(), "");
}

TEST(HttpResponse, WhenTheConnectionIsClosedAfterAnExchange) {
    struct Case {
        const char* response;
        bool keptOpen;
    };
    for (const Case& k :
         {Case{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true},
          Case{"HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok", true},
          Case{"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok", false},
          Case{"HTTP/1.1 200 OK\r\nConnection:   cLoSe  \r\nContent-Length: 2\r\n\r\nok", false},
          Case{"HTTP/1.1 200 OK\r\nconnection: CLOSE\r\nContent-Length: 2\r\n\r\nok", false},
          Case{"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", false},
          Case{"http/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok",
               false}}) {
        ScriptedPeer peer(AnswerKeepingOpen(k.response));
        auto c = Client();
        TextSink sink;
        c->SendGet(Url(peer), &sink);
        EXPECT_EQ(sink.Text(), "ok") << k.response;
        EXPECT_EQ(c->IsConnected(), k.keptOpen) << k.response;
    }
}

TEST(HttpResponse, KeptConnectionIsReusedForTheSameHostAndPort) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    ScriptedPeer peer(
        PeerScript().ReadUntil(kEnd).Send(ok).ReadUntil(kEnd).Send(ok).ReadUntilClosed());
    auto c = Client();
    TextSink a, b;
    c->SendGet(Url(peer, "/1"), &a);
    c->SendGet(Url(peer, "/2"), &b);
    EXPECT_EQ(b.Text(), "ok");
    c.reset();
    EXPECT_EQ(Count(peer.Received(0), "GET /"), 2);
    EXPECT_EQ(peer.Accepted(), 1);
}

// ---- redirects ----

TEST(HttpRedirect, NotFollowedByDefault) {
    ScriptedPeer peer(
        AnswerKeepingOpen("HTTP/1.1 301 Moved Permanently\r\nLocation: http://127.0.0.1:1/never\r\n"
                          "Content-Length: 5\r\n\r\nmoved"));
    auto c = Client();
    TextSink sink;
    try {
        c->SendGet(Url(peer), &sink);
        FAIL();
    } catch (const ENetProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 301);
        EXPECT_STREQ(e.what(), "301 Moved Permanently");
    }
    EXPECT_EQ(sink.Text(), "moved");
    EXPECT_EQ(c->ResponseInfo.Location, "http://127.0.0.1:1/never");
    c.reset();
    EXPECT_EQ(Count(peer.Received(0), "GET "), 1);
}

TEST(HttpRedirect, AnyStatusWithLocationIsARedirectBut304WithoutItIsAnError) {
    ScriptedPeer peer(std::vector<PeerScript>{
        AnswerKeepingOpen("HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 4\r\n\r\nbody"),
        AnswerKeepingOpen("HTTP/1.1 304 Not Modified\r\nContent-Length: 4\r\n\r\nstay"),
        PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 304 Not Modified\r\n\r\nuntil close").Close()});
    for (const auto& [code, body] :
         {std::pair{200, "body"}, std::pair{304, "stay"}, std::pair{304, "until close"}}) {
        auto c = Client();
        TextSink sink;
        try {
            c->SendGet(Url(peer), &sink);
            FAIL();
        } catch (const ENetProtocolReplyError& e) {
            EXPECT_EQ(e.ReplyCode, code);
        }
        EXPECT_EQ(sink.Text(), body);
    }
}

TEST(HttpRedirect, FollowsAtMostFifteenRequests) {
    // A server that always redirects, to a new path each time.
    PeerScript script;
    for (int i = 1; i <= 20; ++i) {
        const std::string body = "r" + std::to_string(i);
        script.ReadUntil(kEnd).Send("HTTP/1.1 302 Found\r\nLocation: /p" + std::to_string(i) +
                                    "\r\nContent-Length: " + std::to_string(body.size()) +
                                    "\r\n\r\n" + body);
    }
    ScriptedPeer peer(script, 1, PeerOptions{1000, 10000, 64});
    auto c = Client();
    c->HandleRedirects = true;
    TextSink sink;
    c->SendGet(Url(peer), &sink);  // the last redirect ends the exchange without error
    EXPECT_EQ(sink.Text(), "r15");
    EXPECT_EQ(c->ResponseInfo.Location, "/p15");
    EXPECT_EQ(c->StatusCode(), 302);
    EXPECT_EQ(c->RedirectDepth(), 0);
    c.reset();
    const std::string received = peer.Received(0);
    EXPECT_EQ(Count(received, "GET "), 15);
    EXPECT_NE(received.find("GET /p14 HTTP/1.1\r\n"), std::string::npos);
    EXPECT_EQ(received.find("GET /p15 "), std::string::npos);
}

TEST(HttpRedirect, HandlerRewritesOrVetoes) {
    ScriptedPeer peer(
        PeerScript()
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 302 Found\r\nLocation: /old\r\nContent-Length: 3\r\n\r\none")
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 3\r\n\r\ntwo")
            .ReadUntilClosed());
    auto c = Client();
    c->HandleRedirects = true;
    std::vector<std::int32_t> depths;
    c->OnRedirect = [&](TNetHTTP&, std::string& dest, std::int32_t& depth, bool& handled) {
        depths.push_back(depth);
        if (dest == "/old")
            dest = "/new";
        else
            handled = false;
        depth = 99;  // ignored
    };
    TextSink sink;
    c->SendGet(Url(peer), &sink);
    EXPECT_EQ(sink.Text(), "two");
    EXPECT_EQ(depths, (std::vector<std::int32_t>{1, 2}));
    c.reset();
    EXPECT_NE(peer.Received(0).find("GET /new HTTP/1.1\r\n"), std::string::npos);
}

// ---- the body ----

TEST(HttpBody, AnnouncedEmptyBodyDoesNotWaitForTheClose) {
    ScriptedPeer peer(AnswerKeepingOpen("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    auto c = Client();
    TextSink sink;
    sink.Write("old", 3);
    sink.SetPosition(0);
    // Waiting for the close would run into the read limit and raise.
    c->SendGet(Url(peer), &sink);
    EXPECT_EQ(sink.Text(), "");
    EXPECT_TRUE(c->IsConnected());
}

TEST(HttpBody, LengthThatIsNotAPlainPositiveNumberMeansUntilClose) {
    for (const char* length : {"-5", "abc", "5 ", "99999999999"}) {
        ScriptedPeer peer(PeerScript()
                              .ReadUntil(kEnd)
                              .Send(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length +
                                    "\r\n\r\nall of it")
                              .Close());
        auto c = Client();
        TextSink sink;
        c->SendGet(Url(peer), &sink);
        EXPECT_EQ(sink.Text(), "all of it") << length;
    }
}

TEST(HttpBody, ChunkLengthLines) {
    const std::string a(26, 'a');
    const std::string b(26, 'b');
    struct Case {
        std::string chunks;
        std::string body;
    };
    for (const Case& k :
         {Case{"1a\r\n" + a + "\r\n1A\r\n" + b + "\r\n0\r\n\r\n", a + b},
          Case{"1a;x=y\r\n" + a + "\r\n0\r\n\r\n", ""},
          Case{"5 ; name\r\nhello\r\n0\r\n\r\n", "hello"},
          Case{"0005\r\nhello\r\nzz\r\n\r\n", "hello"}, Case{"80000000\r\nhello\r\n", ""},
          Case{"123456789\r\nhello\r\n", ""}, Case{"\r\nhello\r\n", ""}}) {
        ScriptedPeer peer(
            PeerScript()
                .ReadUntil(kEnd)
                .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + k.chunks)
                .ReadUntilClosed());
        auto c = Client();
        std::vector<std::string> status;
        c->OnStatus = [&](TNetComponent&, TNetStatus s, const std::string& text) {
            if (s == StatusText)
                status.push_back(text);
        };
        TextSink sink;
        c->SendGet(Url(peer), &sink);
        EXPECT_EQ(sink.Text(), k.body) << k.chunks;
        EXPECT_EQ(status, std::vector<std::string>{"Chunk Started"});
    }
}

TEST(HttpBody, TransferEncodingMustSayChunkedInLowerCase) {
    ScriptedPeer peer(
        PeerScript()
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: CHUNKED\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
            .Close());
    auto c = Client();
    TextSink sink;
    c->SendGet(Url(peer), &sink);
    EXPECT_EQ(sink.Text(), "5\r\nhello\r\n0\r\n\r\n");  // read until the close
}

TEST(HttpBody, TrailerLinesAreReadToTheEndOfTheBlock) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext";
    ScriptedPeer peer(PeerScript()
                          .ReadUntil(kEnd)
                          .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                "3\r\nabc\r\n0\r\nX-Checksum: 1\r\nX-Other: 2\r\n\r\n")
                          .ReadUntil(kEnd)
                          .Send(ok)
                          .ReadUntilClosed());
    auto c = Client();
    TextSink first, second;
    c->SendGet(Url(peer), &first);
    EXPECT_EQ(first.Text(), "abc");
    // Nothing of the first response is left to spoil the next one.
    c->SendGet(Url(peer), &second);
    EXPECT_EQ(second.Text(), "next");
    EXPECT_EQ(peer.Accepted(), 1);
}

TEST(HttpBody, NoSinkLeavesTheBodyUnread) {
    ScriptedPeer peer(AnswerKeepingOpen("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
    auto c = Client();
    c->SendGet(Url(peer), nullptr);
    EXPECT_EQ(c->StatusCode(), 200);
    EXPECT_EQ(c->ReadLine("o"), "hell");
}

// A sink that gives up at its first byte with a failure of its own, which
// is no std::exception (as a caller's stop signal may be).
struct SinkGaveUp {};
class GivingUpSink : public TNetStream {
  public:
    std::int64_t Size() const override { return 0; }
    void SetSize(std::int64_t) override {}
    std::int64_t Position() const override { return 0; }
    void SetPosition(std::int64_t) override {}
    std::size_t Write(const void*, std::size_t) override { throw SinkGaveUp{}; }
    std::size_t Read(void*, std::size_t) override { return 0; }
    char* WriteSpan(std::size_t) override { throw SinkGaveUp{}; }
};

TEST(HttpBody, ASinkThatGivesUpPassesItsFailureOnAndTheReadStillEnds) {
    for (const std::string response : {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
                                       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                       "5\r\nhello\r\n0\r\n\r\n"}) {
        ScriptedPeer peer(AnswerKeepingOpen(response));
        auto c = Client();
        EventLog log;
        log.AttachWork(*c);
        GivingUpSink sink;
        EXPECT_THROW(c->SendGet(Url(peer), &sink), SinkGaveUp);
        int open = 0;
        for (const std::string& e : log.events) {
            open += e.rfind("begin ", 0) == 0 ? 1 : e.rfind("end ", 0) == 0 ? -1 : 0;
        }
        EXPECT_EQ(open, 0) << "every piece of work begun is ended";
        ASSERT_FALSE(log.events.empty());
        EXPECT_EQ(log.events.back(), "end " + std::to_string(WorkRead));
    }
}

// ---- limits ----

TEST(HttpLimits, HeaderBlockLargerThan300KiB) {
    std::string block = "HTTP/1.1 200 OK\r\n";
    const std::string line = "X-Filler: " + std::string(88, 'f') + "\r\n";  // 100 bytes
    while (block.size() < 290 * 1024)
        block += line;
    const std::string fits = block + "Content-Length: 2\r\n\r\nok";
    while (block.size() < 310 * 1024)
        block += line;
    const std::string tooLarge = block + "Content-Length: 2\r\n\r\nok";

    ScriptedPeer peer(
        std::vector<PeerScript>{AnswerKeepingOpen(fits), AnswerKeepingOpen(tooLarge)});
    auto c = Client();
    TextSink sink;
    c->SendGet(Url(peer), &sink);
    EXPECT_EQ(sink.Text(), "ok");
    EXPECT_GT(c->ResponseInfo.ExtraHeaders.Count(), 2900);

    auto d = Client();
    TextSink none;
    EXPECT_THROW(d->SendGet(Url(peer), &none), ENetResponseTooLarge);
    EXPECT_EQ(none.Text(), "");
    EXPECT_FALSE(d->IsConnected());
}

TEST(HttpLimits, BodyLargerThanTheMaximumKeepsTheBytesUpToIt) {
    const std::string body(5000, 'b');
    std::string chunked;
    for (int i = 0; i < 5; ++i)
        chunked += "3e8\r\n" + body.substr(0, 1000) + "\r\n";  // 5 x 1000
    chunked += "0\r\n\r\n";
    const std::vector<std::string> responses = {
        "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + body,
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked,
        "HTTP/1.1 200 OK\r\n\r\n" + body,
    };
    for (const std::string& r : responses) {
        ScriptedPeer peer(AnswerKeepingOpen(r));
        auto c = Client();
        c->MaxBodySize = 1500;
        TextSink sink;
        EXPECT_THROW(c->SendGet(Url(peer), &sink), ENetResponseTooLarge) << r.substr(0, 40);
        EXPECT_EQ(sink.Text(), body.substr(0, 1500)) << r.substr(0, 40);
        EXPECT_FALSE(c->IsConnected());
    }
    // A body of exactly the maximum is whole.
    for (const std::string& r : {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + body,
                                 "HTTP/1.1 200 OK\r\n\r\n" + body}) {
        ScriptedPeer peer(PeerScript().ReadUntil(kEnd).Send(r).Close());
        auto c = Client();
        c->MaxBodySize = 5000;
        TextSink sink;
        c->SendGet(Url(peer), &sink);
        EXPECT_EQ(sink.Text(), body);
    }
}

TEST(HttpLimits, SinkIsNeverPresizedBeyondTheMaximum) {
    ScriptedPeer peer(PeerScript()
                          .ReadUntil(kEnd)
                          .Send("HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\nshort")
                          .Close());
    auto c = Client();
    c->MaxBodySize = 1 << 20;
    TextSink sink;
    EXPECT_THROW(c->SendGet(Url(peer), &sink), ENetException);
    EXPECT_EQ(sink.Text(), "short");
    EXPECT_LE(sink.Text().capacity(), std::size_t{1} << 20);
}

TEST(HttpLimits, ReadLimitEndsAStalledResponse) {
    ScriptedPeer peer(PeerScript()
                          .ReadUntil(kEnd)
                          .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nfirst")
                          .Pause(3000)
                          .Send("-rest")
                          .Close());
    auto c = Client();
    c->ReadTimeout = 200;
    TextSink sink;
    EXPECT_THROW(c->SendGet(Url(peer), &sink), ENetReadTimeout);
    EXPECT_EQ(sink.Text(), "first");
}

// ---- fault-injecting stacks ----

const std::string kChunkedResponse =
    "HTTP/1.1 200 OK\r\nServer: t\r\nTransfer-Encoding: "
    "chunked\r\n\r\n4\r\nabcd\r\n2\r\nef\r\n0\r\n\r\n";

TEST(HttpStacks, OneBytePerReceiveAndPerSend) {
    for (const std::string& r :
         {kChunkedResponse, std::string("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcdef"),
          std::string("HTTP/1.0 200 OK\r\n\r\nabcdef")}) {
        ScriptedPeer peer(PeerScript().ReadUntil(kEnd).Send(r).Close());
        ScopedTestStack stack;
        stack.Plan().oneBytePerReceive = true;
        stack.Plan().oneBytePerSend = true;
        auto c = Client();
        TextSink sink;
        c->SendGet(Url(peer, "/one/byte"), &sink);
        EXPECT_EQ(sink.Text(), "abcdef");
        EXPECT_EQ(c->ResponseInfo.Server, r == kChunkedResponse ? "t" : "");
        EXPECT_GE(stack.Plan().Calls(StackCall::Recv), static_cast<int>(r.size()));
        c.reset();
        EXPECT_EQ(peer.Received(0).rfind("GET /one/byte HTTP/1.1\r\n", 0), 0u);
    }
}

// The nth receive fails with a reset: everything before it arrived one byte
// at a time. The fetch gives the body bytes stored before the failure.
TEST(HttpStacks, FailingTheNthReceiveAtEveryByte) {
    const std::string r = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcdef";
    const std::size_t headerEnd = r.find(kEnd) + 4;
    for (std::size_t n = 1; n <= r.size() + 1; ++n) {
        ScriptedPeer peer(AnswerKeepingOpen(r));
        ScopedTestStack stack;
        stack.Plan().oneBytePerReceive = true;
        stack.Plan().FailCall(StackCall::Recv, static_cast<int>(n), 10054);
        FetchOptions options;
        options.ReadTimeoutMs = 3000;
        const std::string got = FetchPage(Url(peer), 80, options);
        const std::size_t arrived = n - 1;
        const std::string expected =
            arrived < headerEnd ? "" : r.substr(headerEnd, arrived - headerEnd);
        EXPECT_EQ(got, expected) << "receive " << n;
    }
}

TEST(HttpStacks, FailingConnectOrSend) {
    ScriptedPeer peer(PeerScript().ReadUntilClosed(), 3, PeerOptions{2000, 10000, 64});
    for (StackCall call : {StackCall::Connect, StackCall::Send}) {
        ScopedTestStack stack;
        // The request goes out in one send.
        stack.Plan().FailCall(call, 1, 10054);
        auto c = Client();
        TextSink sink;
        EXPECT_THROW(c->SendGet(Url(peer), &sink), ENetSocketError);
        EXPECT_EQ(sink.Text(), "");
    }
}

}  // namespace
