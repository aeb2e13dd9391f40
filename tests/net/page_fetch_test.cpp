#include <gtest/gtest.h>

#include <cstring>

#include "net/net_exceptions.h"
#include "net/page_fetch.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_stacks.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

const std::string kEnd = "\r\n\r\n";

std::string Url(const ScriptedPeer& peer, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(peer.Port()) + path;
}

FetchOptions Short() {
    FetchOptions o;
    o.ConnectTimeoutMs = 5000;
    o.ReadTimeoutMs = 3000;
    return o;
}

std::string FetchOnce(const std::string& response, bool close = true) {
    PeerScript script = PeerScript().ReadUntil(kEnd).Send(response);
    if (close)
        script.Close();
    else
        script.ReadUntilClosed();
    ScriptedPeer peer(script);
    return FetchPage(Url(peer), 80, Short());
}

// ---- the text sink ----

TEST(TextSink, WriteCutsWhatLayBeyond) {
    TextSink sink;
    EXPECT_EQ(sink.Write("abcdef", 6), 6u);
    sink.SetPosition(2);
    sink.Write("XY", 2);
    EXPECT_EQ(sink.Text(), "abXY");
    EXPECT_EQ(sink.Position(), 4);
    sink.SetPosition(6);  // beyond the end: the gap is zero bytes
    sink.Write("Z", 1);
    EXPECT_EQ(sink.Text(), std::string("abXY\0\0Z", 7));
    sink.SetSize(3);
    EXPECT_EQ(sink.Position(), 3);
    EXPECT_EQ(sink.Text(), "abX");
    sink.SetPosition(1);
    char two[2];
    EXPECT_EQ(sink.Read(two, 2), 2u);
    EXPECT_EQ(std::string(two, 2), "bX");
    EXPECT_EQ(sink.Read(two, 2), 0u);
}

TEST(TextSink, PresizedRoomReadsAsZerosAndLentStretchesCountAsWrites) {
    TextSink sink;
    sink.Write("ab", 2);
    sink.SetSize(6);  // room, not yet written out
    EXPECT_EQ(sink.Size(), 6);
    sink.SetPosition(1);
    char buf[8];
    EXPECT_EQ(sink.Read(buf, 8), 5u);
    EXPECT_EQ(std::string(buf, 5), std::string("b\0\0\0\0", 5));

    // A lent stretch filled in part: the text ends after the filled bytes.
    sink.SetPosition(2);
    char* span = sink.WriteSpan(10);
    ASSERT_NE(span, nullptr);
    std::memcpy(span, "cde", 3);
    sink.CommitWrite(3);
    EXPECT_EQ(sink.Position(), 5);
    EXPECT_EQ(sink.Size(), 5);
    EXPECT_EQ(sink.Text(), "abcde");
    // A stretch given back unfilled (a receive that failed) leaves no bytes.
    sink.WriteSpan(4);
    sink.CommitWrite(0);
    EXPECT_EQ(sink.Text(), "abcde");
    // Beyond the end: the gap before a lent stretch is zero bytes.
    sink.SetPosition(7);
    std::memcpy(sink.WriteSpan(1), "z", 1);
    sink.CommitWrite(1);
    EXPECT_EQ(sink.Text(), std::string("abcde\0\0z", 8));
    // Room that was never written comes out as zero bytes.
    sink.SetSize(10);
    EXPECT_EQ(sink.TakeText(), std::string("abcde\0\0z\0\0", 10));
}

TEST(TextSink, ContentLeavesWithoutACopy) {
    TextSink sink;
    sink.SetSize(1 << 20);  // pre-sized as for a stated length
    sink.SetPosition(0);
    const std::string piece(4096, 'p');
    for (int i = 0; i < 256; ++i)
        sink.Write(piece.data(), piece.size());
    const char* storage = sink.Text().data();
    const std::string text = sink.TakeText();
    EXPECT_EQ(text.data(), storage);
    EXPECT_EQ(text.size(), std::size_t{1} << 20);
    EXPECT_EQ(sink.Size(), 0);
    EXPECT_EQ(sink.Position(), 0);
}

// ---- one row of the outcome table each ----

TEST(PageFetch, SuccessIsTheWholeBody) {
    EXPECT_EQ(FetchOnce("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false), "hello");
    EXPECT_EQ(FetchOnce("HTTP/1.1 206 Partial\r\nTransfer-Encoding: "
                        "chunked\r\n\r\n2\r\nhe\r\n3\r\nllo\r\n0\r\n\r\n",
                        false),
              "hello");
    EXPECT_EQ(FetchOnce("HTTP/1.1 200 OK\r\n\r\nuntil the close"), "until the close");
    const std::string binary("\0\xff\r\n\x80", 5);
    EXPECT_EQ(FetchOnce("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n" + binary, false), binary);
}

TEST(PageFetch, RedirectIsNotFollowedAndItsBodyIsTheResult) {
    for (const char* status :
         {"301 Moved Permanently", "302 Found", "307 Temporary Redirect", "200 OK"}) {
        ScriptedPeer peer(
            PeerScript()
                .ReadUntil(kEnd)
                .Send(std::string("HTTP/1.1 ") + status + "\r\nLocation: /elsewhere\r\n" +
                      "Content-Length: 9\r\n\r\nredirect!")
                .ReadUntilClosed(),
            2);
        EXPECT_EQ(FetchPage(Url(peer), 80, Short()), "redirect!") << status;
        EXPECT_EQ(peer.Received(0).find("/elsewhere"), std::string::npos);
        EXPECT_EQ(peer.Accepted(), 1);
    }
    // A redirect without a body.
    EXPECT_EQ(
        FetchOnce("HTTP/1.1 302 Found\r\nLocation: http://x/\r\nContent-Length: 0\r\n\r\n", false),
        "");
}

TEST(PageFetch, ErrorStatusGivesItsPage) {
    EXPECT_EQ(
        FetchOnce("HTTP/1.1 404 Not Found\r\nContent-Length: 14\r\n\r\n<h1>404</h1>\r\n", false),
        "<h1>404</h1>\r\n");
    EXPECT_EQ(FetchOnce("HTTP/1.1 500 Internal Server Error\r\n\r\noops"), "oops");
    EXPECT_EQ(FetchOnce("HTTP/1.1 304 Not Modified\r\nContent-Length: 3\r\n\r\nold", false), "old");
    EXPECT_EQ(FetchOnce("HTTP/1.1 100 Continue\r\nContent-Length: 4\r\n\r\nwait", false), "wait");
    EXPECT_EQ(FetchOnce("HTTP/1.1 999 Odd\r\nContent-Length: 3\r\n\r\nodd", false), "odd");
}

TEST(PageFetch, FailuresBeforeTheStatusLineGiveNothing) {
    RefusingPort refusing;
    EXPECT_EQ(FetchPage("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/", 80, Short()),
              "");
    EXPECT_EQ(FetchPage("http://no-such-host..invalid/", 80, Short()), "");
    ScriptedPeer reset(PeerScript().ReadUntil(kEnd).Reset());
    EXPECT_EQ(FetchPage(Url(reset), 80, Short()), "");
    // Not a number where the status code belongs, or in a Content-Range.
    EXPECT_EQ(FetchOnce("HTTP/1.1 OK 200\r\nContent-Length: 2\r\n\r\nno", false), "");
    EXPECT_EQ(FetchOnce("\r\n\r\nbody"), "");
    EXPECT_EQ(
        FetchOnce(
            "HTTP/1.1 206 Partial\r\nContent-Range: bytes x-9/10\r\nContent-Length: 2\r\n\r\nno",
            false),
        "");
    EXPECT_EQ(
        FetchOnce(
            "HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-9/10\r\nContent-Length: 2\r\n\r\nok",
            false),
        "ok");
}

TEST(PageFetch, HttpsToARefusedPortGivesNothing) {
    RefusingPort refusing;
    EXPECT_EQ(FetchPage("https://127.0.0.1:" + std::to_string(refusing.Port()) + "/", 443, Short()),
              "");
}

TEST(PageFetch, FragmentIsNotSent) {
    ScriptedPeer peer(
        PeerScript().ReadUntil(kEnd).Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx").Close());
    EXPECT_EQ(FetchPage(Url(peer, "/dir/page?q=1#part&x=2"), 80, Short()), "x");
    EXPECT_EQ(peer.Received(0).rfind("GET /dir/page?q=1 HTTP/1.1\r\n", 0), 0u);
}

TEST(PageFetch, EveryCallHasItsOwnConnection) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    ScriptedPeer peer(PeerScript().ReadUntil(kEnd).Send(ok).ReadUntilClosed(), 2);
    EXPECT_EQ(FetchPage(Url(peer), 80, Short()), "ok");
    EXPECT_EQ(FetchPage(Url(peer), 80, Short()), "ok");
    EXPECT_TRUE(peer.WaitAllDone());
    EXPECT_EQ(peer.Accepted(), 2);
    EXPECT_EQ(NetStackUseCount(), 0);  // no client outlives its call
}

TEST(PageFetch, ReadLimitGivesTheBytesSoFar) {
    ScriptedPeer peer(PeerScript()
                          .ReadUntil(kEnd)
                          .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nfirst")
                          .Pause(3000)
                          .Send("-rest")
                          .Close());
    FetchOptions o = Short();
    o.ReadTimeoutMs = 200;
    EXPECT_EQ(FetchPage(Url(peer), 80, o), "first");
}

TEST(PageFetch, BodyLimitGivesTheBytesUpToIt) {
    ScriptedPeer peer(PeerScript()
                          .ReadUntil(kEnd)
                          .Send("HTTP/1.1 200 OK\r\n\r\n" + std::string(3000, 'z'))
                          .Close());
    FetchOptions o = Short();
    o.MaxBodySize = 1000;
    EXPECT_EQ(FetchPage(Url(peer), 80, o), std::string(1000, 'z'));
}

TEST(PageFetch, ProxyOptions) {
    ScriptedPeer proxy(PeerScript()
                           .ReadUntil(kEnd)
                           .Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nvp")
                           .Close());
    FetchOptions o = Short();
    o.ProxyHost = "127.0.0.1";
    o.ProxyPort = proxy.Port();
    o.ProxyUser = "u";
    o.ProxyPassword = "p";
    EXPECT_EQ(FetchPage("http://search.example/search?p=x", 80, o), "vp");
    EXPECT_EQ(proxy.Received(0),
              "GET http://search.example/search?p=x HTTP/1.1\r\nHost: search.example\r\n"
              "Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Corvane)\r\n"
              "Proxy-Authorization: Basic dTpw\r\n\r\n");
}

TEST(PageFetch, FailureToCreateTheClientIsRaised) {
    {
        ScopedStackFactory scope(FailingStackFactory(StackCreationFailure::CannotLoad));
        EXPECT_THROW(FetchPage("http://127.0.0.1:9/", 80), ENetStackCanNotLoadWinsock);
    }
    {
        ScopedStackFactory scope(FailingStackFactory(StackCreationFailure::InitializationFails));
        EXPECT_THROW(FetchPage("http://127.0.0.1:9/", 80), ENetStackInitializationFailed);
    }
    EXPECT_EQ(NetStackUseCount(), 0);
}

// ---- a server that closes at every byte offset of its response ----

// The status line and header lines of `response`: [start, end) of each line
// with its CR LF, the empty line last.
std::vector<std::pair<std::size_t, std::size_t>> LinesOf(const std::string& response) {
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = response.find("\r\n", start) + 2;
        lines.emplace_back(start, end);
        if (end - start == 2)
            return lines;
        start = end;
    }
}

// Closing after k bytes: nothing before the status line is complete or right
// after a complete line; in the middle of a header line, that line's bytes
// are the body (taken by the length stated so far); in the body, the bytes
// that had arrived.
std::string ExpectedAfterClose(const std::string& r, std::size_t k) {
    const auto lines = LinesOf(r);
    if (k < lines[0].second)
        return "";
    std::int64_t length = -1;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto [s, e] = lines[i];
        if (k == s)
            return "";
        if (k < e) {
            const std::string partial = r.substr(s, k - s);
            return length < 0 ? partial : partial.substr(0, static_cast<std::size_t>(length));
        }
        const std::string line = r.substr(s, e - s - 2);
        if (line.rfind("Content-Length: ", 0) == 0)
            length = std::stoll(line.substr(16));
    }
    return "";
}

TEST(PageFetch, ServerClosingAtEveryByteOfACountedResponse) {
    const std::string r =
        "HTTP/1.1 200 OK\r\nServer: t\r\nContent-Length: 10\r\nX-Note: a longer "
        "value\r\n\r\n0123456789";
    const std::size_t bodyStart = r.find(kEnd) + 4;
    ScriptedPeer peer(static_cast<int>(r.size()) + 1, [&](int k) {
        return PeerScript().ReadUntil(kEnd).CloseAfter(r, static_cast<std::size_t>(k));
    });
    for (std::size_t k = 0; k <= r.size(); ++k) {
        const std::string expected =
            k >= bodyStart ? r.substr(bodyStart, k - bodyStart) : ExpectedAfterClose(r, k);
        EXPECT_EQ(FetchPage(Url(peer), 80, Short()), expected) << "closed after " << k << " bytes";
    }
}

TEST(PageFetch, ServerClosingAtEveryByteOfAChunkedResponse) {
    const std::string r =
        "HTTP/1.1 200 OK\r\nX-Note: a b\r\nTransfer-Encoding: "
        "chunked\r\n\r\n5\r\nhello\r\n3\r\nabc\r\n0\r\n\r\n";
    const std::size_t bodyStart = r.find(kEnd) + 4;
    const std::size_t hello = r.find("hello");
    const std::size_t abc = r.find("abc");
    const std::size_t teLine = r.find("Transfer-Encoding");
    ScriptedPeer peer(static_cast<int>(r.size()) + 1, [&](int k) {
        return PeerScript().ReadUntil(kEnd).CloseAfter(r, static_cast<std::size_t>(k));
    });
    auto clamp = [](std::size_t k, std::size_t from, std::size_t n) {
        return k <= from ? 0 : std::min(k - from, n);
    };
    for (std::size_t k = 0; k <= r.size(); ++k) {
        std::string expected;
        if (k >= bodyStart) {
            // The data of the chunks that had arrived, nothing of the framing.
            expected = r.substr(hello, clamp(k, hello, 5)) + r.substr(abc, clamp(k, abc, 3));
        } else if (k > teLine) {
            // Cut in the chunked announcement or the empty line: without the
            // announcement the partial line is the body; with it, the partial
            // line cannot be read as a chunk length.
            expected = k < bodyStart - 2 ? r.substr(teLine, k - teLine) : "";
        } else {
            expected = ExpectedAfterClose(r, k);
        }
        EXPECT_EQ(FetchPage(Url(peer), 80, Short()), expected) << "closed after " << k << " bytes";
    }
}

}  // namespace
