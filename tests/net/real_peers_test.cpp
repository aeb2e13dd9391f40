// The client against real servers from the system's packages, started on
// loopback for each test: nginx as the origin, tinyproxy as an HTTP proxy,
// microsocks and Dante as SOCKS proxies.
#include <gtest/gtest.h>

#include "net/http_client.h"
#include "net/net_exceptions.h"
#include "net/page_fetch.h"
#include "tests/support/proxy_servers.h"
#include "tests/support/web_servers.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

FetchOptions Short() {
    FetchOptions o;
    o.ConnectTimeoutMs = 5000;
    o.ReadTimeoutMs = 5000;
    return o;
}

std::unique_ptr<TNetHTTP> Client() {
    auto c = std::make_unique<TNetHTTP>();
    c->ConnectTimeout = 5000;
    c->ReadTimeout = 5000;
    return c;
}

// A page of n bytes that does not repeat in short periods.
std::string PageOf(std::size_t n) {
    std::string page = "<html><body>";
    std::uint32_t x = 12345;
    while (page.size() < n) {
        x = x * 1103515245u + 12345u;
        page += static_cast<char>('a' + (x >> 16) % 26);
        if ((x >> 8) % 61 == 0)
            page += "\n";
    }
    page.resize(n);
    return page;
}

TEST(RealNginx, StaticPageWithLength) {
    NginxServer nginx;
    const std::string page = PageOf(200 * 1024);
    nginx.AddFile("index.html", page);
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, Short()), page);

    auto c = Client();
    TextSink sink;
    c->SendGet(nginx.Url("/index.html"), &sink);
    EXPECT_EQ(c->StatusCode(), 200);
    EXPECT_EQ(c->ResponseInfo.ContentLength, static_cast<std::int32_t>(page.size()));
    EXPECT_EQ(c->ResponseInfo.Server.rfind("nginx", 0), 0u);
    EXPECT_NE(c->ResponseInfo.LastModified, 0.0);
}

TEST(RealNginx, ChunkedResponse) {
    NginxServer nginx;
    const std::string head = PageOf(100 * 1024);
    nginx.AddFile("chunked/page.html", head + "<!--# echo var=\"request_method\" -->" + head);
    auto c = Client();
    TextSink sink;
    c->SendGet(nginx.Url("/chunked/page.html"), &sink);
    EXPECT_EQ(c->ResponseInfo.ExtraHeaders.ValueOf("Transfer-Encoding"), "chunked");
    EXPECT_FALSE(c->ResponseInfo.HasContentLength);
    EXPECT_EQ(sink.Text(), head + "GET" + head);
    EXPECT_TRUE(c->IsConnected());  // the end was found by the chunks, not by a close
    EXPECT_EQ(FetchPage(nginx.Url("/chunked/page.html"), 80, Short()), head + "GET" + head);
}

TEST(RealNginx, NotFoundPageIsTheResult) {
    NginxServer nginx;
    const std::string page = FetchPage(nginx.Url("/missing.html"), 80, Short());
    EXPECT_NE(page.find("404 Not Found"), std::string::npos) << page;

    auto c = Client();
    TextSink sink;
    try {
        c->SendGet(nginx.Url("/missing.html"), &sink);
        FAIL();
    } catch (const ENetProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 404);
        EXPECT_STREQ(e.what(), "404 Not Found");
    }
    EXPECT_EQ(sink.Text(), page);
}

TEST(RealNginx, MovedPermanently) {
    NginxServer nginx;
    nginx.AddFile("index.html", "target page");
    const std::string page = FetchPage(nginx.Url("/moved"), 80, Short());
    EXPECT_NE(page.find("301 Moved Permanently"), std::string::npos) << page;

    auto c = Client();
    TextSink sink;
    EXPECT_THROW(c->SendGet(nginx.Url("/moved"), &sink), ENetProtocolReplyError);
    EXPECT_EQ(c->StatusCode(), 301);
    EXPECT_EQ(c->ResponseInfo.Location, nginx.Url("/index.html"));

    // Followed when asked for, over the same connection.
    c->HandleRedirects = true;
    const std::int32_t localPort = c->SocketHandle().Port();
    TextSink followed;
    c->SendGet(nginx.Url("/moved"), &followed);
    EXPECT_EQ(followed.Text(), "target page");
    EXPECT_EQ(c->SocketHandle().Port(), localPort);
}

TEST(RealNginx, KeepAliveAcrossExchangesOfOneClient) {
    NginxServer nginx;
    nginx.AddFile("a.html", "first");
    nginx.AddFile("b.html", "second");
    auto c = Client();
    TextSink a, b;
    c->SendGet(nginx.Url("/a.html"), &a);
    ASSERT_TRUE(c->IsConnected());
    const std::int32_t localPort = c->SocketHandle().Port();
    c->SendGet(nginx.Url("/b.html"), &b);
    EXPECT_EQ(a.Text(), "first");
    EXPECT_EQ(b.Text(), "second");
    EXPECT_EQ(c->SocketHandle().Port(), localPort);

    // An announced empty body on the kept connection.
    nginx.AddFile("empty.html", "");
    TextSink empty;
    c->SendGet(nginx.Url("/empty.html"), &empty);
    EXPECT_EQ(empty.Text(), "");
    EXPECT_EQ(c->SocketHandle().Port(), localPort);
}

TEST(RealTinyproxy, PagesThroughTheProxy) {
    NginxServer nginx;
    const std::string page = PageOf(64 * 1024);
    nginx.AddFile("index.html", page);
    TinyproxyServer proxy;
    FetchOptions o = Short();
    o.ProxyHost = "127.0.0.1";
    o.ProxyPort = proxy.Port();
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, o), page) << proxy.Log();
    EXPECT_NE(FetchPage(nginx.Url("/missing.html"), 80, o).find("404 Not Found"),
              std::string::npos);
}

TEST(RealTinyproxy, ProxyAuthorization) {
    NginxServer nginx;
    nginx.AddFile("index.html", "behind the proxy");
    TinyproxyServer proxy("alice", "s3cret");
    FetchOptions o = Short();
    o.ProxyHost = "127.0.0.1";
    o.ProxyPort = proxy.Port();
    EXPECT_NE(FetchPage(nginx.Url("/index.html"), 80, o), "behind the proxy");
    o.ProxyUser = "alice";
    o.ProxyPassword = "wrong";
    EXPECT_NE(FetchPage(nginx.Url("/index.html"), 80, o), "behind the proxy");
    o.ProxyPassword = "s3cret";
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, o), "behind the proxy") << proxy.Log();

    auto c = Client();
    c->Request.ProxyServer = "127.0.0.1";
    c->Request.ProxyPort = proxy.Port();
    TextSink sink;
    try {
        c->SendGet(nginx.Url("/index.html"), &sink);
        FAIL();
    } catch (const ENetProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 407);
    }
    EXPECT_NE(c->ResponseInfo.ProxyAuthenticate.find("Basic"), std::string::npos);
}

TEST(RealSocks, PagesThroughSocks5) {
    NginxServer nginx;
    const std::string page = PageOf(64 * 1024);
    nginx.AddFile("index.html", page);
    MicrosocksServer socks;
    FetchOptions o = Short();
    o.SocksVersion = svSocks5;
    o.SocksHost = "127.0.0.1";
    o.SocksPort = socks.Port();
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, o), page) << socks.Log();

    MicrosocksServer guarded("bob", "pw");
    o.SocksPort = guarded.Port();
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, o), "");  // no credentials
    o.SocksUser = "bob";
    o.SocksPassword = "pw";
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, o), page) << guarded.Log();
}

TEST(RealSocks, PagesThroughSocks4) {
    NginxServer nginx;
    nginx.AddFile("index.html", "four");
    DanteServer socks;
    FetchOptions o = Short();
    o.SocksVersion = svSocks4;
    o.SocksHost = "127.0.0.1";
    o.SocksPort = socks.Port();
    EXPECT_EQ(FetchPage(nginx.Url("/index.html"), 80, o), "four") << socks.Log();
}

}  // namespace
