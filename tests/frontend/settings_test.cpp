#include "frontend/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace corvane::frontend {
namespace {

FrontEndSettings Parse(std::vector<std::string> args) {
    FrontEndSettings s;
    for (std::size_t i = 0; i < args.size();) {
        if (!TakeSharedOption(args, i, s))
            throw UsageError("unknown " + args[i]);
    }
    ValidateSettings(s);
    return s;
}

TEST(Settings, ProxiesAndEndpoints) {
    const auto s =
        Parse({"--proxy", "127.0.0.1:3128", "--socks5", "proxy.lan:1080", "--socks-user", "u",
               "--socks-password", "p", "--search-endpoint", "http://127.0.0.1:8080/",
               "--traffic-endpoint", "HTTP://t.example", "--demo"});
    EXPECT_EQ(s.Fetch.ProxyHost, "127.0.0.1");
    EXPECT_EQ(s.Fetch.ProxyPort, 3128);
    EXPECT_EQ(s.Fetch.SocksVersion, net::svSocks5);
    EXPECT_EQ(s.Fetch.SocksHost, "proxy.lan");
    EXPECT_EQ(s.Fetch.SocksPort, 1080);
    EXPECT_EQ(s.Fetch.SocksUser, "u");
    EXPECT_EQ(s.Fetch.SocksPassword, "p");
    EXPECT_EQ(s.Endpoints.SearchEndpoint, "http://127.0.0.1:8080");
    EXPECT_EQ(s.Endpoints.TrafficEndpoint, "HTTP://t.example");
    EXPECT_TRUE(s.Demo);
    EXPECT_EQ(Parse({"--socks4a", "h:1"}).Fetch.SocksVersion, net::svSocks4A);
}

TEST(Settings, BadValuesAreUsageErrors) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--proxy"},
             {"--proxy", "nohost"},
             {"--proxy", ":80"},
             {"--proxy", "h:"},
             {"--proxy", "h:0"},
             {"--proxy", "h:65536"},
             {"--proxy", "h:8o"},
             {"--socks5", "h:99999999999"},
             {"--search-endpoint", "https://x"},
             {"--search-endpoint", "ftp://x"},
             {"--search-endpoint", "http://"},
             {"--traffic-endpoint", "http://a b"},
             {"--socks-password", "p"},
             {"--socks-user", "u"},
             {"--socks4", "h:1", "--socks-user", "u", "--socks-password", "p"},
             {"--socks5", "h:1", "--socks-user", std::string(256, 'u')},
         }) {
        EXPECT_THROW(Parse(args), UsageError) << args[0];
    }
}

TEST(Settings, EnvironmentGivesDefaultsThatOptionsOverride) {
    setenv("CORVANE_SEARCH_ENDPOINT", "http://env-search", 1);
    setenv("CORVANE_TRAFFIC_ENDPOINT", "http://env-traffic", 1);
    setenv("CORVANE_PROXY", "envproxy:8888", 1);
    FrontEndSettings s;
    ApplyEnvironment(s);
    std::vector<std::string> args{"--search-endpoint", "http://opt"};
    std::size_t i = 0;
    ASSERT_TRUE(TakeSharedOption(args, i, s));
    EXPECT_EQ(s.Endpoints.SearchEndpoint, "http://opt");
    EXPECT_EQ(s.Endpoints.TrafficEndpoint, "http://env-traffic");
    EXPECT_EQ(s.Fetch.ProxyHost, "envproxy");
    EXPECT_EQ(s.Fetch.ProxyPort, 8888);
    setenv("CORVANE_PROXY", "broken", 1);
    FrontEndSettings t;
    EXPECT_THROW(ApplyEnvironment(t), UsageError);
    unsetenv("CORVANE_SEARCH_ENDPOINT");
    unsetenv("CORVANE_TRAFFIC_ENDPOINT");
    unsetenv("CORVANE_PROXY");
}

TEST(Settings, IntegerOptions) {
    EXPECT_EQ(ParseIntOption("30", "--results"), 30);
    EXPECT_EQ(ParseIntOption("-5", "--skip"), -5);
    EXPECT_EQ(ParseIntOption("+7", "--skip"), 7);
    for (const char* bad : {"", "-", "0x10", " 5", "5 ", "2147483648", "ten"}) {
        EXPECT_THROW(ParseIntOption(bad, "--skip"), UsageError) << bad;
    }
}

}  // namespace
}  // namespace corvane::frontend
