#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/connection_pool.h"
#include "net/page_fetch.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_pki.h"
#include "tests/support/tls_servers.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

const std::string kEnd = "\r\n\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
using Clock = std::chrono::steady_clock;

std::string Url(int port, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

FetchOptions Short(ConnectionPool* pool, FetchPolicy policy = FetchPolicy::Classic) {
    FetchOptions o;
    o.Policy = policy;
    o.ConnectTimeoutMs = 5000;
    o.ReadTimeoutMs = 5000;
    o.DeadlineMs = 8000;
    o.Pool = pool;
    return o;
}

struct Fetched {
    FetchResult result;
    std::string body;
};

Fetched Fetch(const std::string& url, const FetchOptions& options) {
    TextSink sink;
    Fetched f;
    f.result = FetchTo(url, options, sink);
    f.body = sink.TakeText();
    return f;
}

// The requests in what a peer received, each with its header block's end.
std::vector<std::string> Requests(const std::string& received) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < received.size();) {
        const std::size_t end = received.find(kEnd, at);
        if (end == std::string::npos)
            break;
        out.push_back(received.substr(at, end + kEnd.size() - at));
        at = end + kEnd.size();
    }
    return out;
}

// Answers every GET on every connection it accepts with the request's path
// as the body, keeping each connection open; counts the connections.
class KeepAliveServer {
  public:
    KeepAliveServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            ::listen(listen_, 64) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }
    ~KeepAliveServer() {
        stop_ = true;
        acceptor_.join();
        for (std::thread& t : handlers_)
            t.join();
        ::close(listen_);
    }
    KeepAliveServer(const KeepAliveServer&) = delete;
    KeepAliveServer& operator=(const KeepAliveServer&) = delete;

    int Port() const { return port_; }
    int Accepted() const { return accepted_.load(); }

  private:
    // Every wait is short, so that the server notices its stop.
    static bool Readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 20) == 1;
    }

    void AcceptLoop() {
        while (!stop_) {
            if (!Readable(listen_))
                continue;
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++accepted_;
            handlers_.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        std::string in;
        char buffer[4096];
        while (!stop_) {
            const std::size_t end = in.find(kEnd);
            if (end != std::string::npos) {
                const std::size_t space = in.find(' ');
                const std::string path = in.substr(space + 1, in.find(' ', space + 1) - space - 1);
                in.erase(0, end + kEnd.size());
                const std::string answer =
                    "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(path.size()) +
                    "\r\n\r\n" + path;
                if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(answer.size())) {
                    break;
                }
                continue;
            }
            if (!Readable(fd))
                continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            in.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
    }

    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    std::vector<std::thread> handlers_;  // only the acceptor adds to it
};

}  // namespace

TEST(ConnectionPool, KeysTellApartWhatShapedTheConnection) {
    FetchOptions plain;
    const std::string key = ConnectionPool::KeyFor("http://Example.org/a", plain);
    EXPECT_EQ(ConnectionPool::KeyFor("http://example.org:80/b?c", plain), key);
    EXPECT_NE(ConnectionPool::KeyFor("http://example.org:8080/", plain), key);
    EXPECT_NE(ConnectionPool::KeyFor("https://example.org/", plain), key);
    EXPECT_NE(ConnectionPool::KeyFor("http://example.net/", plain), key);

    FetchOptions proxied = plain;
    proxied.ProxyHost = "127.0.0.1";
    proxied.ProxyPort = 3128;
    EXPECT_NE(ConnectionPool::KeyFor("http://example.org/", proxied), key);
    FetchOptions otherUser = proxied;
    otherUser.ProxyUser = "u";
    EXPECT_NE(ConnectionPool::KeyFor("http://example.org/", otherUser),
              ConnectionPool::KeyFor("http://example.org/", proxied));
    FetchOptions socks = plain;
    socks.SocksVersion = svSocks5;
    socks.SocksHost = "127.0.0.1";
    socks.SocksPort = 1080;
    EXPECT_NE(ConnectionPool::KeyFor("http://example.org/", socks), key);

    FetchOptions insecure = plain;
    insecure.Insecure = true;
    EXPECT_NE(ConnectionPool::KeyFor("https://example.org/", insecure),
              ConnectionPool::KeyFor("https://example.org/", plain));
    // Trust settings do not matter to a plain connection.
    EXPECT_EQ(ConnectionPool::KeyFor("http://example.org/", insecure), key);
}

// The second and third GET go on the first one's connection, and each
// request is byte for byte what a fetch on a connection of its own sends.
TEST(ConnectionPool, GetsToOneOriginShareOneConnection) {
    for (const FetchPolicy policy : {FetchPolicy::Classic, FetchPolicy::Modern}) {
        ScriptedPeer alone(PeerScript().ReadUntil(kEnd).Send(kOk).ReadUntilClosed());
        const Fetched single = Fetch(Url(alone.Port(), "/2"), Short(nullptr, policy));
        EXPECT_EQ(single.body, "ok");
        const std::vector<std::string> expected = Requests(alone.Received(0));
        ASSERT_EQ(expected.size(), 1u);

        ConnectionPool pool;
        {
            ScriptedPeer peer(PeerScript()
                                  .ReadUntil(kEnd)
                                  .Send(kOk)
                                  .ReadUntil(kEnd)
                                  .Send(kOk)
                                  .ReadUntil(kEnd)
                                  .Send(kOk)
                                  .ReadUntilClosed());
            for (const char* path : {"/1", "/2", "/3"}) {
                const Fetched f = Fetch(Url(peer.Port(), path), Short(&pool, policy));
                EXPECT_EQ(f.result.Failure, FetchFailure::None) << f.result.Message;
                EXPECT_EQ(f.body, "ok");
            }
            EXPECT_EQ(pool.IdleCount(), 1u);
            pool.Close();
            EXPECT_EQ(peer.Accepted(), 1);
            const std::vector<std::string> sent = Requests(peer.Received(0));
            ASSERT_EQ(sent.size(), 3u);
            // The request text names the other peer's port in its Host line.
            std::string same = expected[0];
            const std::string oldPort = std::to_string(alone.Port());
            same.replace(same.find(oldPort), oldPort.size(), std::to_string(peer.Port()));
            EXPECT_EQ(sent[1], same);
        }
        const ConnectionPool::Counts counts = pool.Stats();
        EXPECT_EQ(counts.Opened, 1u);
        EXPECT_EQ(counts.Reused, 2u);
    }
}

// Open connections, idle or in use, stay within the pool's total: a new one
// closes the connection idle longest; one origin keeps at most its share.
TEST(ConnectionPool, OpenConnectionsStayWithinTheLimits) {
    ConnectionPool::Limits limits;
    limits.PerKey = 1;
    limits.Total = 2;
    ConnectionPool pool(limits);
    std::vector<std::unique_ptr<ScriptedPeer>> peers;
    for (int i = 0; i < 3; ++i) {
        peers.push_back(std::make_unique<ScriptedPeer>(
            PeerScript().ReadUntil(kEnd).Send(kOk).ReadUntilClosed()));
        EXPECT_EQ(Fetch(Url(peers.back()->Port()), Short(&pool)).body, "ok");
        EXPECT_LE(pool.OpenCount(), 2u);
    }
    EXPECT_EQ(pool.IdleCount(), 2u);
    EXPECT_TRUE(peers[0]->WaitDone(0, 2000));  // the oldest was closed
    EXPECT_FALSE(peers[2]->WaitDone(0, 100));

    // Two connections to one origin at once; only one is kept afterwards.
    auto first = pool.NewConnection();
    auto second = pool.NewConnection();
    EXPECT_LE(pool.OpenCount(), 2u);  // the idle ones made way
    first.reset();
    second.reset();
    EXPECT_EQ(pool.OpenCount(), 0u);
}

// Whether the connection of an answer is kept for the next request. The
// peer keeps every connection open, so only the client's judgement counts.
TEST(ConnectionPool, KeepsOnlyConnectionsWhoseAnswerAllowsAnotherRequest) {
    struct Case {
        const char* name;
        std::string answer;
        FetchPolicy policy;
        bool kept;
        std::int64_t maxBody = TNetHTTP::DefaultMaxBodySize;
        bool peerCloses = false;
    };
    const std::string chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n";
    const std::vector<Case> cases = {
        {"counted", kOk, FetchPolicy::Classic, true},
        {"empty", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", FetchPolicy::Classic, true},
        {"not found, kept alive", "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno",
         FetchPolicy::Classic, true},
        {"chunked, modern", chunked, FetchPolicy::Modern, true},
        {"chunked, classic", chunked, FetchPolicy::Classic, false},
        {"close", "HTTP/1.1 200 OK\r\nConnection: Keep-Alive, close\r\nContent-Length: 2\r\n\r\nok",
         FetchPolicy::Classic, false},
        {"not found, close",
         "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 2\r\n\r\nno",
         FetchPolicy::Classic, false},
        {"HTTP/1.0 keep-alive",
         "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok",
         FetchPolicy::Classic, false},
        {"bytes after the body", kOk + "HTTP/1.1 200 OK", FetchPolicy::Classic, false},
        {"cut at the limit", "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + std::string(20, 'x'),
         FetchPolicy::Classic, false, 10},
        {"cut at the limit, modern",
         "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + std::string(20, 'x'),
         FetchPolicy::Modern, false, 10},
        {"until the close", "HTTP/1.1 200 OK\r\n\r\nok", FetchPolicy::Classic, false, 0, true},
    };
    for (Case c : cases) {
        if (c.maxBody == 0)
            c.maxBody = TNetHTTP::DefaultMaxBodySize;
        PeerScript first = PeerScript().ReadUntil(kEnd).Send(c.answer);
        if (c.peerCloses) {
            first.Close();
        } else {
            // Answered only when the connection is wrongly or rightly reused.
            first.ReadUntil(kEnd).Send(kOk).ReadUntilClosed();
        }
        ScriptedPeer peer(std::vector<PeerScript>{
            first, PeerScript().ReadUntil(kEnd).Send(kOk).ReadUntilClosed()});
        ConnectionPool pool;
        FetchOptions o = Short(&pool, c.policy);
        o.MaxBodySize = c.maxBody;
        Fetch(Url(peer.Port(), "/first"), o);
        EXPECT_EQ(pool.IdleCount(), c.kept ? 1u : 0u) << c.name;

        const Fetched next = Fetch(Url(peer.Port(), "/next"), o);
        EXPECT_EQ(next.body, "ok") << c.name;
        EXPECT_EQ(peer.Accepted(), c.kept ? 1 : 2) << c.name;
        pool.Close();
        EXPECT_EQ(Requests(peer.Received(0)).size(), c.kept ? 2u : 1u) << c.name;
    }
}

// A server that closed an idle connection: noticed before the request, or
// when the request meets the closed connection (then sent once more, on a
// new connection, as long as no byte of the answer came).
TEST(ConnectionPool, ServerThatClosedAnIdleConnection) {
    const std::string fresh = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfresh";
    const PeerScript second = PeerScript().ReadUntil(kEnd).Send(fresh).ReadUntilClosed();
    {
        // Closed while idle: the pool's check drops it. (The peer's close
        // waits briefly for the client's, which does not come.)
        PeerOptions briefClose;
        briefClose.stepTimeoutMs = 500;
        ScriptedPeer peer(
            std::vector<PeerScript>{PeerScript().ReadUntil(kEnd).Send(kOk).Pause(100).Close(),
                                    second},
            briefClose);
        ConnectionPool pool;
        EXPECT_EQ(Fetch(Url(peer.Port()), Short(&pool)).body, "ok");
        ASSERT_TRUE(peer.WaitDone(0));
        const Fetched f = Fetch(Url(peer.Port()), Short(&pool));
        EXPECT_EQ(f.body, "fresh");
        EXPECT_EQ(pool.Stats().Dropped, 1u);
        EXPECT_EQ(peer.Accepted(), 2);
    }
    for (const bool reset : {false, true}) {
        // Closed as the request arrives: the request goes again.
        PeerScript first = PeerScript().ReadUntil(kEnd).Send(kOk).ReadUntil(kEnd);
        if (reset)
            first.Reset();
        else
            first.Close();
        ScriptedPeer peer(std::vector<PeerScript>{first, second});
        ConnectionPool pool;
        EXPECT_EQ(Fetch(Url(peer.Port()), Short(&pool)).body, "ok");
        const Fetched f = Fetch(Url(peer.Port()), Short(&pool));
        EXPECT_EQ(f.result.Failure, FetchFailure::None) << f.result.Message;
        EXPECT_EQ(f.body, "fresh") << "reset: " << reset;
        EXPECT_EQ(peer.Accepted(), 2);
        pool.Close();
        EXPECT_EQ(Requests(peer.Received(1)).size(), 1u);
    }
    {
        // Part of an answer came before the close: the fetch fails as it
        // would on a connection of its own, and nothing is sent again.
        ScriptedPeer peer(std::vector<PeerScript>{
            PeerScript().ReadUntil(kEnd).Send(kOk).ReadUntil(kEnd).CloseAfter(fresh, 12), second});
        ConnectionPool pool;
        EXPECT_EQ(Fetch(Url(peer.Port()), Short(&pool)).body, "ok");
        const Fetched f = Fetch(Url(peer.Port()), Short(&pool, FetchPolicy::Modern));
        EXPECT_NE(f.result.Failure, FetchFailure::None);
        EXPECT_EQ(f.body, "");
        EXPECT_EQ(peer.Accepted(), 1);
    }
}

// Stop ends a fetch on a kept-alive connection at once: the cancel reaches
// the socket it took from the pool.
TEST(ConnectionPool, CancelShutsDownAReusedConnection) {
    ScriptedPeer peer(
        PeerScript().ReadUntil(kEnd).Send(kOk).ReadUntil(kEnd).Pause(4000).Send(kOk).Close());
    ConnectionPool pool;
    EXPECT_EQ(Fetch(Url(peer.Port()), Short(&pool)).body, "ok");
    ASSERT_EQ(pool.IdleCount(), 1u);

    FetchCancel cancel;
    FetchOptions o = Short(&pool);
    o.Cancel = &cancel;
    std::thread stopper([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel.Cancel();
    });
    const Clock::time_point start = Clock::now();
    const Fetched f = Fetch(Url(peer.Port()), o);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    stopper.join();
    EXPECT_EQ(f.result.Failure, FetchFailure::Cancelled);
    EXPECT_LT(took, 2000);
    EXPECT_EQ(pool.Stats().Reused, 1u);
    EXPECT_EQ(pool.IdleCount(), 0u);  // a cancelled fetch gives nothing back
}

// Over TLS the channel is kept with its connection: the second fetch makes
// no handshake of its own.
TEST(ConnectionPool, TlsConnectionsAreReused) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    nginx.AddFile("page.html", "secure page");
    ConnectionPool pool;
    for (const FetchPolicy policy : {FetchPolicy::Classic, FetchPolicy::Modern}) {
        FetchOptions o = Short(&pool, policy);
        o.CaFile = pki.RootFile();
        for (int i = 0; i < 2; ++i) {
            const Fetched f = Fetch(nginx.Url(TestCert::Valid, "/page.html"), o);
            EXPECT_EQ(f.result.Failure, FetchFailure::None) << f.result.Message;
            EXPECT_EQ(f.body, "secure page");
        }
    }
    EXPECT_EQ(pool.Stats().Opened, 1u);
    EXPECT_EQ(pool.Stats().Reused, 3u);
}

// Threads sharing one pool: a connection serves one fetch at a time (each
// answer is its own request's), and no more are opened than fetches run at
// once.
TEST(ConnectionPool, ThreadsShareOnePool) {
    KeepAliveServer server;
    ConnectionPool pool;
    constexpr int kThreads = 4;
    constexpr int kFetches = 40;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kFetches; ++i) {
                const std::string path = "/t" + std::to_string(t) + "/" + std::to_string(i);
                const Fetched f = Fetch(Url(server.Port(), path), Short(&pool));
                if (f.body != path || f.result.Failure != FetchFailure::None)
                    ++wrong;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(server.Accepted(), kThreads);
    const ConnectionPool::Counts counts = pool.Stats();
    EXPECT_EQ(counts.Opened + counts.Reused, static_cast<std::uint64_t>(kThreads * kFetches));
    EXPECT_LE(pool.IdleCount(), static_cast<std::size_t>(kThreads));
}
