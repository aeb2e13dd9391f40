// The front ends' page fetch: the settings reach every fetch, and --demo
// puts the in-process demo web in place of whatever proxies were given.
#include "frontend/page_fetcher.h"

#include <gtest/gtest.h>

#include "base/percent_text.h"
#include "demo/demo_web.h"
#include "demo/pages.h"
#include "demo/web_results.h"

namespace corvane::frontend {
namespace {

TEST(PageFetcher, TheSettingsProxyOrTheDemoWebCarriesEveryFetch) {
    const std::string home = "http://www.goldengroup.com/";
    demo::DemoWeb web;
    FrontEndSettings viaProxy;
    viaProxy.Fetch.ProxyHost = demo::DemoWeb::kHost;
    viaProxy.Fetch.ProxyPort = web.Start();
    PageFetcher proxied(viaProxy);
    const std::string page = proxied.Fetch(home, 80);
    EXPECT_NE(page.find("<a "), std::string::npos) << page;
    EXPECT_EQ(web.RequestCount(), 1u);
    EXPECT_EQ(proxied.RequestCount(), 1u);
    EXPECT_EQ(proxied.DemoAddress(), "");

    // Proxies that refuse every connection are set aside in demo mode: the
    // same page comes from the fetcher's own demo web.
    FrontEndSettings demoMode;
    demoMode.Demo = true;
    demoMode.Fetch.ProxyHost = "127.0.0.1";
    demoMode.Fetch.ProxyPort = 1;
    demoMode.Fetch.SocksVersion = net::svSocks5;
    demoMode.Fetch.SocksHost = "127.0.0.1";
    demoMode.Fetch.SocksPort = 1;
    PageFetcher demoFetcher(demoMode);
    EXPECT_EQ(demoFetcher.DemoAddress().rfind("http://127.0.0.1:", 0), 0u)
        << demoFetcher.DemoAddress();
    EXPECT_EQ(demoFetcher.Fetch(home, 80), page);
    EXPECT_EQ(web.RequestCount(), 1u);

    // The same refusing proxy outside demo mode: an empty body, no error.
    demoMode.Demo = false;
    PageFetcher refused(demoMode);
    EXPECT_EQ(refused.Fetch(home, 80), "");
    EXPECT_EQ(refused.RequestCount(), 1u);
}

TEST(PageFetcher, DemoModeAsksHttpsSitesOfTheDemoWebInPlainHttp) {
    FrontEndSettings settings;
    settings.Demo = true;
    PageFetcher fetcher(settings);
    ASSERT_NE(fetcher.DemoData(), nullptr);
    const demo::SyntheticWeb& web = *fetcher.DemoData();
    const std::string host = web.HostOf(3);
    EXPECT_EQ(fetcher.Fetch("https://" + host + "/", 443), demo::HomePage(web, host));
    EXPECT_EQ(fetcher.FailedCount(), 0u);

    // A redirect to an https:// address is asked the same way.
    settings.Fetch.Policy = net::FetchPolicy::Modern;
    PageFetcher modern(settings);
    const std::string target = "https://" + host + "/products/";
    net::TextSink sink;
    const net::FetchResult result = modern.FetchTo(
        "https://duckduckgo.com/l/?uddg=" + base::PercentEncode(target) + "&rut=1", sink);
    EXPECT_EQ(result.Failure, net::FetchFailure::None) << result.Message;
    EXPECT_EQ(result.Status, 200);
    EXPECT_EQ(result.Redirects, 1);
    EXPECT_EQ(result.FinalUrl, "http://" + host + "/products/");
    EXPECT_EQ(sink.Text(), demo::HomePage(web, host));

    // Outside demo mode: no population, and URLs go out as given.
    PageFetcher plain(FrontEndSettings{});
    EXPECT_EQ(plain.DemoData(), nullptr);
    EXPECT_FALSE(plain.Options().MapUrl);
}

}  // namespace
}  // namespace corvane::frontend
