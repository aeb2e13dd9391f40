// The demo web over real loopback sockets: both request forms, the
// connection rules of an HTTP/1.1 server, latency, stopping, and whole
// surveys through it as a proxy.

#include <gtest/gtest.h>

#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

#include "demo/demo_web.h"
#include "demo/pages.h"
#include "demo/search_pages.h"
#include "engine/survey_run.h"
#include "raw_http.h"

namespace corvane::demo {
namespace {

using testing::Exchange;
using testing::ProxyGet;
using testing::RawConnection;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class DemoServer : public ::testing::Test {
  protected:
    void SetUp() override { port_ = web_.Start(); }
    DemoWeb web_;
    int port_ = 0;
};

TEST_F(DemoServer, ProxyAndOriginFormsGiveTheSamePages) {
    ASSERT_GT(port_, 0);
    EXPECT_EQ(web_.Port(), port_);
    EXPECT_EQ(web_.BaseUrl(), "http://127.0.0.1:" + std::to_string(port_));
    const std::string query = "/search?p=%22blue+widgets%22&ei=UTF-8&n=10&b=1";
    const auto proxied = ProxyGet(port_, "http://search.yahoo.com" + query);
    const auto direct = Exchange(port_, "GET " + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(proxied && direct);
    EXPECT_EQ(proxied->Status, 200);
    EXPECT_TRUE(proxied->Has("\r\ncontent-type: text/html; charset=utf-8\r\n"));
    EXPECT_EQ(proxied->Body, direct->Body);
    EXPECT_EQ(proxied->Body, KeywordResultsPage(web_.Web(), "\"blue widgets\"", 1, 10));

    // A home page: through the proxy (with and without the path's "/"), or
    // asked of the demo web with the site's Host header.
    const std::string home = HomePage(web_.Web(), "www.example.com");
    EXPECT_EQ(ProxyGet(port_, "http://www.example.com")->Body, home);
    EXPECT_EQ(
        Exchange(port_, "GET http://WWW.Example.com HTTP/1.1\r\nHost: www.example.com\r\n\r\n")
            ->Body,
        home);
    EXPECT_EQ(Exchange(port_, "GET / HTTP/1.1\r\nHost: www.example.com:80\r\n\r\n")->Body, home);

    const auto details = ProxyGet(port_, "http://www.alexa.com/data/details/?url=www.example.com");
    EXPECT_EQ(details->Body, DetailsPage(web_.Web(), "www.example.com"));
    const auto missing = ProxyGet(port_, "http://www.example.com/nothing/here.html");
    EXPECT_EQ(missing->Status, 404);
    EXPECT_NE(missing->Body.find("Not Found"), std::string::npos);
}

TEST_F(DemoServer, KeepsConnectionsAliveAsClientsAsk) {
    // HTTP/1.1: sequential and pipelined requests on one connection.
    RawConnection c(port_);
    const std::string get = "GET / HTTP/1.1\r\nHost: www.example.com\r\n\r\n";
    ASSERT_TRUE(c.Send(get));
    auto r = c.Read();
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->Has("\r\nconnection: keep-alive\r\n"));
    ASSERT_TRUE(c.Send(get + "\r\n" + get + "HEAD / HTTP/1.1\r\nHost: www.example.com\r\n\r\n"));
    EXPECT_EQ(c.Read()->Body, r->Body);
    EXPECT_EQ(c.Read()->Body, r->Body);
    const auto head = c.Read(5000, true);
    ASSERT_TRUE(head);
    EXPECT_TRUE(head->Has("\r\ncontent-length: " + std::to_string(r->Body.size()) + "\r\n"));
    EXPECT_TRUE(c.Unread().empty());  // HEAD sends no body
    ASSERT_TRUE(
        c.Send("GET / HTTP/1.1\r\nHost: a.example\r\nConnection: Keep-Alive, Close\r\n\r\n"));
    ASSERT_TRUE(c.Read());
    EXPECT_TRUE(c.PeerCloses(2000));
    EXPECT_EQ(web_.RequestCount(), 5u);

    // HTTP/1.0: closed after the answer unless kept alive by request.
    RawConnection old(port_);
    ASSERT_TRUE(old.Send("GET http://a.example/ HTTP/1.0\r\n\r\n"));
    r = old.Read();
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->Has("\r\nconnection: close\r\n"));
    EXPECT_TRUE(old.PeerCloses(2000));
    RawConnection kept(port_);
    ASSERT_TRUE(
        kept.Send("GET http://a.example/ HTTP/1.0\r\nProxy-Connection: keep-alive\r\n\r\n"));
    ASSERT_TRUE(kept.Read());
    EXPECT_FALSE(kept.PeerCloses(200));
    ASSERT_TRUE(kept.Send("GET http://a.example/ HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
    EXPECT_TRUE(kept.Read());
}

TEST_F(DemoServer, RefusesMalformedRequestsAndCloses) {
    const struct {
        std::string request;
        int status;
    } cases[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"GET  / HTTP/1.1\r\nHost: a\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\n\r\n", 400},  // HTTP/1.1 needs a Host
        {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: a\r\n folded\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost : a\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\nHost: a\r\n\r\n", 505},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 1x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 99999999\r\n\r\n", 413},
        {"GET / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(40000, 'x') + "\r\n\r\n", 431},
        {"GET /" + std::string(40000, 'x'), 431},  // a head that never ends
        {"POST /search HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc", 405},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 60));
        RawConnection conn(port_);
        ASSERT_TRUE(conn.Send(c.request));
        const auto r = conn.Read();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Status, c.status);
        if (c.status != 405) {
            EXPECT_TRUE(conn.PeerCloses(2000));
        }
    }
    // A body is read past, not taken for the next request.
    RawConnection conn(port_);
    ASSERT_TRUE(
        conn.Send("GET / HTTP/1.1\r\nHost: a.example\r\nContent-Length: 5\r\n\r\nGET /"
                  "GET /x HTTP/1.1\r\nHost: a.example\r\n\r\n"));
    EXPECT_EQ(conn.Read()->Status, 200);
    EXPECT_EQ(conn.Read()->Status, 404);
}

TEST_F(DemoServer, FormPostsReachTheirPage) {
    // A form body, pipelined with the next request, then one sent late.
    const std::string form = "q=garden+tools&b=&kl=wt-wt";
    const std::string post =
        "POST http://html.duckduckgo.com/html/ HTTP/1.1\r\n"
        "Host: html.duckduckgo.com\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Content-Length: " +
        std::to_string(form.size()) + "\r\n\r\n";
    const std::string page = DuckPage(web_.Web(), "garden tools", 0, "", "wt-wt");
    RawConnection c(port_);
    ASSERT_TRUE(c.Send(post + form + "GET / HTTP/1.1\r\nHost: www.example.com\r\n\r\n"));
    const auto answer = c.Read();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Status, 200);
    EXPECT_EQ(answer->Body, page);
    EXPECT_NE(page.find("web-result"), std::string::npos);
    EXPECT_EQ(c.Read()->Body, HomePage(web_.Web(), "www.example.com"));

    ASSERT_TRUE(c.Send(post + form.substr(0, 5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(c.Send(form.substr(5)));
    EXPECT_EQ(c.Read()->Body, page);
}

TEST(DemoServerLife, StartAndStop) {
    DemoWeb web;
    EXPECT_FALSE(web.Running());
    EXPECT_EQ(web.Port(), 0);
    const int port = web.Start();
    EXPECT_THROW(web.Start(), std::logic_error);
    DemoWeb other;
    EXPECT_THROW(other.Start(port), std::system_error);  // the port is taken
    EXPECT_THROW(other.Start(70000), std::invalid_argument);
    EXPECT_THROW(other.Start(0, -1), std::invalid_argument);
    EXPECT_FALSE(other.Running());

    // An idle kept-alive client and a request waiting out a long latency
    // must not hold Stop up.
    web.Stop();
    web.Start(0, 10000);
    RawConnection idle(web.Port());
    RawConnection waiting(web.Port());
    ASSERT_TRUE(waiting.Send("GET / HTTP/1.1\r\nHost: a.example\r\n\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    web.Stop();
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_TRUE(idle.PeerCloses(1000));
    EXPECT_TRUE(waiting.PeerCloses(1000));
    EXPECT_FALSE(RawConnection(port).Connected() && ProxyGet(port, "http://a.example/"));
    web.Stop();  // again: nothing happens

    // Started anew, on the same port, with a fresh count.
    EXPECT_EQ(web.Start(port), port);
    EXPECT_EQ(web.RequestCount(), 0u);
    EXPECT_EQ(ProxyGet(port, "http://a.example/")->Status, 200);
    EXPECT_EQ(web.RequestCount(), 1u);
}

TEST(DemoServerLife, LatencyDelaysEveryAnswer) {
    DemoWeb web;
    web.Start(0, 150);
    RawConnection c(web.Port());
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        ASSERT_TRUE(c.Send("GET / HTTP/1.1\r\nHost: a.example\r\n\r\n"));
        ASSERT_TRUE(c.Read(3000));
        const auto ms = MsSince(start);
        EXPECT_GE(ms, 150);
        EXPECT_LT(ms, 2000);
    }
}

TEST(DemoServerLife, ManyClientsAtOnce) {
    DemoWeb web;
    const int port = web.Start();
    const std::string expected = HomePage(web.Web(), "www.example.com");
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&] {
            RawConnection c(port);
            for (int i = 0; i < 20; ++i) {
                if (!c.Send("GET / HTTP/1.1\r\nHost: www.example.com\r\n\r\n"))
                    return;
                const auto r = c.Read();
                if (r && r->Body == expected)
                    ++good;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(good.load(), 160);
    EXPECT_EQ(web.RequestCount(), 160u);
}

// A survey whose every page is fetched through the demo web as a proxy.
struct ProxiedSurvey {
    explicit ProxiedSurvey(int port)
        : host([port](const std::string& url) {
              const auto r = ProxyGet(port, url);
              return r ? r->Body : std::string();
          }) {}
    std::vector<engine::ResultRow> Rows() {
        std::vector<engine::ResultRow> rows;
        for (std::size_t i = 0; i < host.Table().Count(); ++i)
            rows.push_back(host.Table().Row(i));
        return rows;
    }
    testing::PageHost<std::function<std::string(const std::string&)>> host;
};

bool SameRows(const std::vector<engine::ResultRow>& a, const std::vector<engine::ResultRow>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].Caption != b[i].Caption || a[i].Cells != b[i].Cells)
            return false;
    }
    return true;
}

TEST(DemoServerSurvey, KeywordSurveyThroughTheProxyIsRepeatable) {
    std::vector<engine::ResultRow> first;
    for (int run = 0; run < 2; ++run) {
        DemoWeb web;
        const int port = web.Start();
        ProxiedSurvey survey(port);
        engine::RunSurvey(survey.host, "mountain bikes", 30, 0, engine::SurveyMode::Keyword);
        // One results page, then three pages per row.
        EXPECT_EQ(web.RequestCount(), 91u);
        const auto rows = survey.Rows();
        ASSERT_EQ(rows.size(), 30u);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].Caption, web.Web().HostOf(web.Web().KeywordResult(
                                           "mountain bikes", static_cast<std::int64_t>(i) + 1)));
            EXPECT_EQ(rows[i].Cells.size(), 5u);
        }
        if (run == 0) {
            first = rows;
        } else {
            EXPECT_TRUE(SameRows(first, rows));
        }
    }
}

TEST(DemoServerSurvey, DomainSurveyThroughTheProxy) {
    DemoWeb web;
    const int port = web.Start();
    ProxiedSurvey survey(port);
    const std::string target = "www.goldengroup.com";
    engine::RunSurvey(survey.host, target, 10, 0, engine::SurveyMode::Domain);
    const auto listed = std::min<std::int64_t>(10, web.Web().InboundTotal(target));
    ASSERT_EQ(survey.Rows().size(), static_cast<std::size_t>(listed));
    EXPECT_EQ(web.RequestCount(), static_cast<std::uint64_t>(1 + 3 * listed));
    EXPECT_EQ(survey.Rows()[0].Caption, web.Web().HostOf(web.Web().LinkingSite(target, 1)));
}

}  // namespace
}  // namespace corvane::demo
