#include "frontend/fetch_scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

#include "demo/demo_web.h"
#include "demo/http_server.h"
#include "engine/survey_run.h"
#include "frontend/scheduled_survey.h"

namespace corvane::frontend {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Threads of this process, from the kernel's own count.
int ThreadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    }
    return -1;
}

// Waits up to 10 s for a condition that other threads bring about.
template <typename F>
bool Eventually(F&& condition) {
    const auto deadline = Clock::now() + 10s;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Takes completions until `count` have come (or 10 s have passed).
std::vector<FetchCompletion> Collect(FetchScheduler& s, std::size_t count) {
    std::vector<FetchCompletion> all;
    const auto deadline = Clock::now() + 10s;
    while (all.size() < count && Clock::now() < deadline) {
        for (auto& c : s.WaitFor(100ms))
            all.push_back(std::move(c));
    }
    return all;
}

// A loopback web server that answers every request after a pause and counts
// the requests it is serving at once, in total and per Host.
class CountingServer {
  public:
    explicit CountingServer(std::chrono::milliseconds pause)
        : pause_(pause), server_([this](const demo::HttpRequest& r) { return Answer(r); }) {
        demo::ServerOptions o;
        port_ = server_.Start(o);
    }
    ~CountingServer() {
        Release();
        server_.Stop();
    }

    int Port() const { return port_; }
    // Requests from now on wait until released (or 20 s).
    void Hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
        released_.notify_all();
    }
    int Serving() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return now_;
    }
    int PeakTotal() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return peak_;
    }
    std::map<std::string, int> PeakPerHost() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return peakPerHost_;
    }
    std::uint64_t Requests() const { return server_.RequestCount(); }

  private:
    demo::HttpResponse Answer(const demo::HttpRequest& r) {
        const std::string* h = r.Header("Host");
        const std::string host = h ? *h : std::string();
        std::unique_lock<std::mutex> lock(mutex_);
        peak_ = std::max(peak_, ++now_);
        int& peakHost = peakPerHost_[host];
        peakHost = std::max(peakHost, ++nowPerHost_[host]);
        if (held_) {
            released_.wait_for(lock, 20s, [&] { return !held_; });
        } else {
            lock.unlock();
            std::this_thread::sleep_for(pause_);
            lock.lock();
        }
        --now_;
        --nowPerHost_[host];
        demo::HttpResponse answer;
        answer.Body = "page " + r.Target;
        return answer;
    }

    std::chrono::milliseconds pause_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    int now_ = 0, peak_ = 0;
    std::map<std::string, int> nowPerHost_, peakPerHost_;
    demo::HttpServer server_;
    int port_ = 0;
};

net::FetchOptions ThroughProxy(int port) {
    net::FetchOptions o;
    o.ProxyHost = "127.0.0.1";
    o.ProxyPort = port;
    return o;
}

TEST(OriginOf, HostAndPortWhateverTheCaseAndPath) {
    EXPECT_EQ(OriginOf("http://WWW.Example.com/a/b?c"), "www.example.com:80");
    EXPECT_EQ(OriginOf("http://example.com:8080"), "example.com:8080");
    EXPECT_EQ(OriginOf("http://example.com"), OriginOf("http://EXAMPLE.com/other"));
}

TEST(FetchScheduler, JobsAndPerHostLimitsAreNeverExceeded) {
    struct Case {
        int jobs, perHost;
    };
    for (const Case c : {Case{4, 2}, Case{8, 2}, Case{3, 3}, Case{6, 1}}) {
        CountingServer server(20ms);
        FetchScheduler s({c.jobs, c.perHost}, ThroughProxy(server.Port()));
        std::atomic<int> wakeups{0};
        s.SetWakeup([&] { ++wakeups; });
        std::map<std::uint64_t, std::string> expected;
        std::uint64_t ticket = 0;
        for (int i = 0; i < 10; ++i) {
            for (const char* host : {"a.test", "B.test", "c.test:8080"}) {
                const std::string path = "/" + std::to_string(ticket);
                s.Submit(ticket, std::string("http://") + host + path, 80);
                expected[ticket++] = "page http://" + std::string(host) + path;
            }
        }
        const auto done = Collect(s, expected.size());
        ASSERT_EQ(done.size(), expected.size());
        for (const auto& d : done) {
            EXPECT_FALSE(d.Error);
            EXPECT_EQ(d.Body, expected.at(d.Ticket));
        }
        // One wake-up per completion (each runs just after its completion is queued).
        EXPECT_TRUE(Eventually([&] { return wakeups == static_cast<int>(expected.size()); }));
        EXPECT_LE(server.PeakTotal(), c.jobs);
        EXPECT_GE(server.PeakTotal(), 2);  // the fetches did overlap
        const auto perHost = server.PeakPerHost();
        EXPECT_EQ(perHost.size(), 3u);  // the Host lines name the origins, not the proxy
        for (const auto& [host, peak] : perHost)
            EXPECT_LE(peak, c.perHost) << host;
    }
}

TEST(FetchScheduler, OneJobFetchesInTheOrderSubmitted) {
    std::mutex m;
    std::vector<std::string> order;
    FetchScheduler s({1, 1}, [&](const std::string& url, int, net::FetchCancel&) {
        std::lock_guard<std::mutex> lock(m);
        order.push_back(url);
        return url;
    });
    std::vector<std::string> urls;
    for (int i = 0; i < 20; ++i) {
        urls.push_back("http://h" + std::to_string(i % 3) + ".test/" + std::to_string(i));
        s.Submit(static_cast<std::uint64_t>(i), urls.back(), 80);
    }
    const auto done = Collect(s, urls.size());
    ASSERT_EQ(done.size(), urls.size());
    for (std::size_t i = 0; i < done.size(); ++i)
        EXPECT_EQ(done[i].Ticket, i);
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(order, urls);
}

TEST(FetchScheduler, WholeRequestsQueueWithPlainFetchesAndTellTheirExchange) {
    std::mutex m;
    std::vector<std::string> order;
    const FetchFunction plain = [&](const std::string& url, int, net::FetchCancel&) {
        std::lock_guard<std::mutex> lock(m);
        order.push_back("GET " + url);
        return std::string("plain");
    };
    const RequestFunction whole = [&](const net::FetchRequest& request, net::FetchCancel&) {
        std::lock_guard<std::mutex> lock(m);
        order.push_back(request.Method + " " + request.Url);
        RequestOutcome outcome;
        outcome.Body = request.Body;
        outcome.Result.Status = 303;
        outcome.Result.FinalUrl = request.Url + "#final";
        return outcome;
    };
    FetchScheduler s({1, 1}, plain, whole);
    net::FetchRequest post;
    post.Method = "POST";
    post.Url = "http://search.test/html/";
    post.Body = "q=garden";
    s.Submit(1, "http://a.test/", 80);
    s.Submit(2, post);
    const auto done = Collect(s, 2);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].Body, "plain");
    EXPECT_EQ(done[0].Result.Status, 0);
    EXPECT_EQ(done[1].Ticket, 2u);
    EXPECT_EQ(done[1].Body, "q=garden");
    EXPECT_EQ(done[1].Result.Status, 303);
    EXPECT_EQ(done[1].Result.FinalUrl, "http://search.test/html/#final");
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(order,
              (std::vector<std::string>{"GET http://a.test/", "POST http://search.test/html/"}));

    // A scheduler of plain fetches refuses a whole request instead of
    // sending it as a GET.
    FetchScheduler plainOnly({1, 1}, plain);
    EXPECT_THROW(plainOnly.Submit(3, post), std::logic_error);
}

TEST(FetchScheduler, CancelEndsFetchesInFlightAndNoneStartsAfterIt) {
    CountingServer server(0ms);
    server.Hold();
    FetchScheduler s({4, 4}, ThroughProxy(server.Port()));
    for (std::uint64_t t = 0; t < 8; ++t)
        s.Submit(t, "http://slow.test/" + std::to_string(t), 80);
    ASSERT_TRUE(Eventually([&] { return server.Serving() == 4; }));

    // One running fetch dropped by itself: it ends, and its page never comes.
    s.Cancel({0});
    ASSERT_TRUE(Eventually([&] { return server.Requests() == 5; }));

    // The server would hold the others for 20 s, the client wait 30 s.
    const auto before = Clock::now();
    s.CancelAll();
    EXPECT_LT(Clock::now() - before, 5s);
    EXPECT_TRUE(s.Poll().empty());
    server.Release();
    s.Submit(100, "http://slow.test/late", 80);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server.Requests(), 5u);
    EXPECT_TRUE(s.Poll().empty());
}

// A run's fetches to one origin share the connections of the run's pool,
// and CancelAll ends a fetch on a reused connection as at once as any other.
TEST(FetchScheduler, FetchesReuseTheRunsConnectionsAndCancelStillEndsThem) {
    CountingServer server(0ms);
    FetchScheduler s({2, 2}, ThroughProxy(server.Port()));
    for (std::uint64_t t = 0; t < 8; ++t)
        s.Submit(t, "http://kept.test/" + std::to_string(t), 80);
    const auto done = Collect(s, 8);
    ASSERT_EQ(done.size(), 8u);
    for (const auto& d : done)
        EXPECT_EQ(d.Body, "page http://kept.test/" + std::to_string(d.Ticket));
    const net::ConnectionPool::Counts counts = s.ConnectionCounts();
    EXPECT_LE(counts.Opened, 2u);
    EXPECT_EQ(counts.Opened + counts.Reused, 8u);

    server.Hold();
    s.Submit(100, "http://kept.test/held", 80);
    ASSERT_TRUE(Eventually([&] { return server.Serving() == 1; }));
    EXPECT_EQ(s.ConnectionCounts().Reused, counts.Reused + 1);
    const auto before = Clock::now();
    s.CancelAll();
    EXPECT_LT(Clock::now() - before, 5s);
    EXPECT_TRUE(s.Poll().empty());
}

TEST(FetchScheduler, CancelledTicketsAreDroppedWhereverTheyAre) {
    std::atomic<bool> go{false};
    std::atomic<int> started{0}, wakeups{0};
    FetchScheduler s({2, 2}, [&](const std::string& url, int, net::FetchCancel& cancel) {
        ++started;
        while (!go && !cancel.Cancelled())
            std::this_thread::sleep_for(1ms);
        if (url == "http://x.test/throws")
            throw std::runtime_error("no client");
        return url;
    });
    s.SetWakeup([&] { ++wakeups; });
    for (std::uint64_t t = 0; t < 6; ++t)
        s.Submit(t, "http://x.test/" + std::to_string(t), 80);
    s.Submit(6, "http://x.test/throws", 80);
    ASSERT_TRUE(Eventually([&] { return started == 2; }));
    // 0 and 1 are running, the rest queued.
    s.Cancel({1, 3});
    go = true;
    const auto done = Collect(s, 5);
    std::set<std::uint64_t> tickets;
    for (const auto& d : done) {
        tickets.insert(d.Ticket);
        EXPECT_EQ(d.Ticket == 6, static_cast<bool>(d.Error));
    }
    EXPECT_EQ(tickets, (std::set<std::uint64_t>{0, 2, 4, 5, 6}));
    EXPECT_EQ(started, 6);

    // A completion queued and not yet taken goes as well.
    s.Submit(7, "http://x.test/7", 80);
    ASSERT_TRUE(Eventually([&] { return wakeups == 6; }));
    s.Cancel({7});
    EXPECT_TRUE(s.Poll().empty());
}

TEST(FetchScheduler, NoWorkerOutlivesTheScheduler) {
    // A sanitizer starts a helper thread of its own with the first thread
    // the process makes: let that happen before counting.
    std::thread([] {}).join();
    const int before = ThreadCount();
    {
        std::atomic<int> started{0};
        FetchScheduler s({16, 16}, [&](const std::string&, int, net::FetchCancel& cancel) {
            ++started;
            while (!cancel.Cancelled())
                std::this_thread::sleep_for(1ms);
            return std::string();
        });
        for (std::uint64_t t = 0; t < 40; ++t)
            s.Submit(t, "http://h" + std::to_string(t) + ".test/", 80);
        ASSERT_TRUE(Eventually([&] { return started == 16; }));
        EXPECT_EQ(ThreadCount(), before + 16);
    }  // destroyed with every fetch still blocked
    EXPECT_EQ(ThreadCount(), before);
}

// A survey host that fetches with the page fetch through a proxy.
class ProxyHost : public engine::SurveyHost {
  public:
    explicit ProxyHost(int port) : options_(ThroughProxy(port)) {}
    void ShowStatus(const std::string&) override {}
    void PumpMessages() override {}
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string& url, int port) override {
        return net::FetchPage(url, port, options_);
    }
    engine::ResultsTable& Table() override { return table; }
    std::atomic<bool>& Stop() override { return stop; }

    engine::ResultsTable table;
    std::atomic<bool> stop{false};

  private:
    net::FetchOptions options_;
};

// Each row as its caption, its cells and its Checked flag.
std::vector<std::vector<std::string>> RowsOf(const engine::ResultsTable& t) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < t.Count(); ++i) {
        const engine::ResultRow& r = t.Row(i);
        rows.push_back({r.Caption});
        rows.back().insert(rows.back().end(), r.Cells.begin(), r.Cells.end());
        rows.back().push_back(r.Checked ? "checked" : "-");
    }
    return rows;
}

TEST(ScheduledSurvey, TableEqualsTheSerialOneOnTheDemoWeb) {
    demo::DemoWeb web;
    const int port = web.Start(0, 2);
    struct Query {
        const char* text;
        engine::SurveyMode mode;
        std::int32_t count, skip;
    };
    for (const Query q : {Query{"mountain bikes", engine::SurveyMode::Keyword, 30, 0},
                          Query{"garden furniture", engine::SurveyMode::Keyword, 20, 5},
                          Query{"www.goldengroup.com", engine::SurveyMode::Domain, 10, 0}}) {
        ProxyHost serial(port);
        const std::uint64_t start = web.RequestCount();
        engine::RunSurvey(serial, q.text, q.count, q.skip, q.mode);
        const std::uint64_t serialRequests = web.RequestCount() - start;
        ASSERT_GT(serial.table.Count(), 0u) << q.text;

        for (const SchedulerLimits limits : {SchedulerLimits{}, SchedulerLimits{32, 32}}) {
            engine::ResultsTable table;
            FetchScheduler s(limits, ThroughProxy(port));
            std::size_t lastDone = 0, total = 0;
            ScheduledSurveyHooks hooks;
            hooks.Progress = [&](std::size_t done, std::size_t of) {
                EXPECT_GE(done, lastDone);
                lastDone = done;
                total = of;
            };
            const std::uint64_t before = web.RequestCount();
            EXPECT_FALSE(RunScheduledSurvey(table, s, engine::ServiceEndpoints{}, q.text, q.count,
                                            q.skip, q.mode, hooks));
            EXPECT_EQ(RowsOf(table), RowsOf(serial.table)) << q.text << " jobs " << limits.Jobs;
            EXPECT_EQ(web.RequestCount() - before, serialRequests);
            EXPECT_EQ(lastDone, table.Count());
            EXPECT_EQ(total, table.Count());
        }
    }
}

TEST(ScheduledSurvey, StopDuringTheRunKeepsCompleteRowsOnlyAndEndsEveryFetch) {
    demo::DemoWeb web;
    const int port = web.Start(0, 20);
    for (std::size_t stopAt : {0u, 3u, 10u}) {
        // The page fetch, counting the fetches under way.
        std::atomic<int> running{0}, begun{0};
        FetchScheduler s({8, 8}, [&, options = ThroughProxy(port)](const std::string& url, int p,
                                                                   net::FetchCancel& cancel) {
            ++running;
            ++begun;
            net::FetchOptions o = options;
            o.Cancel = &cancel;
            std::string body = net::FetchPage(url, p, o);
            --running;
            return body;
        });
        engine::ResultsTable table;
        ScheduledSurveyHooks hooks;
        std::size_t done = 0;
        hooks.Progress = [&](std::size_t d, std::size_t) { done = d; };
        hooks.StopRequested = [&] { return done >= stopAt; };
        hooks.PollInterval = 1ms;
        EXPECT_TRUE(RunScheduledSurvey(table, s, engine::ServiceEndpoints{}, "mountain bikes", 30,
                                       0, engine::SurveyMode::Keyword, hooks));
        EXPECT_LT(table.Count(), 30u);
        EXPECT_GE(table.Count(), stopAt);
        for (const auto& row : RowsOf(table))
            EXPECT_EQ(row.size(), 7u);
        // No fetch is under way once the run has returned, and none begins.
        EXPECT_EQ(running, 0);
        const int begunAtEnd = begun;
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(begun, begunAtEnd);
    }
}

}  // namespace
}  // namespace corvane::frontend
