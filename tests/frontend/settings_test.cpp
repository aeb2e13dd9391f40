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
    // A port is one to five digits, leading zeros included.
    EXPECT_EQ(Parse({"--proxy", "h:00080"}).Fetch.ProxyPort, 80);
    EXPECT_EQ(Parse({"--proxy", "h:65535"}).Fetch.ProxyPort, 65535);
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
             {"--proxy", "h:000080"},
             {"--proxy", "h:+80"},
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

TEST(Settings, SurveyOptions) {
    FrontEndSettings s;
    EXPECT_EQ(s.Profile, "classic");
    const std::vector<std::string> args{
        "--profile", "/home/u/mine.ini", "--searxng",  "HTTPS://[::1]:8888/searx//",
        "--tranco",  "top-1m.csv.zip",   "--majestic", "m.csv"};
    for (std::size_t i = 0; i < args.size();) {
        ASSERT_TRUE(TakeJobsOption(args, i, s)) << args[i];
    }
    EXPECT_EQ(s.Profile, "/home/u/mine.ini");
    EXPECT_EQ(s.SearxngUrl, "HTTPS://[::1]:8888/searx");
    EXPECT_EQ(s.TrancoFile, "top-1m.csv.zip");
    EXPECT_EQ(s.MajesticFile, "m.csv");
    // The lists must be there to be read.
    EXPECT_THROW(ValidateSettings(s), UsageError);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--profile", ""}, {"--tranco"}, {"--searxng", "searx.example.org"}}) {
        std::size_t i = 0;
        FrontEndSettings t;
        EXPECT_THROW(TakeJobsOption(bad, i, t), UsageError) << bad[0];
    }
}

TEST(Settings, SearxngAddresses) {
    for (const char* good : {"http://searx.lan", "https://127.0.0.1:8080/",
                             "http://b\xc3\xbc"
                             "cher.de/s",
                             "http://[fe80::1]", "http://h:00080", "http://[::1]:65535"}) {
        EXPECT_NO_THROW(SearxngAddress(good, "--searxng")) << good;
    }
    EXPECT_EQ(SearxngAddress("http://h.example/x/", "o"), "http://h.example/x");
    EXPECT_EQ(SearxngAddress("http://h.example///", "o"), "http://h.example");
    for (const char* bad : {"",
                            "searx.lan",
                            "ftp://searx.lan",
                            "http://",
                            "https:///path",
                            "http://:8080",
                            "http://h:0",
                            "http://h:65536",
                            "http://h:8o",
                            "http://h:000080",
                            "http://h:-80",
                            "http://[::g]",
                            "http://u@h",
                            "http://h/?q=x",
                            "http://h/#top",
                            "http://a b",
                            "http://h\tx",
                            "http://[::1",
                            "http://[xyz]",
                            "http://h_!"}) {
        EXPECT_THROW(SearxngAddress(bad, "--searxng"), UsageError) << bad;
    }
    try {
        SearxngAddress("gopher://h", "CORVANE_SEARXNG");
    } catch (const UsageError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("CORVANE_SEARXNG: ", 0), 0u) << e.what();
    }
}

TEST(Settings, IntegerOptions) {
    EXPECT_EQ(ParseIntOption("30", "--results"), 30);
    EXPECT_EQ(ParseIntOption("-5", "--skip"), -5);
    EXPECT_EQ(ParseIntOption("+7", "--skip"), 7);
    EXPECT_EQ(ParseIntOption("-2147483648", "--skip"), -2147483647 - 1);
    for (const char* bad : {"", "-", "0x10", "$10", " 5", "5 ", "+-5", "2147483648", "ten"}) {
        EXPECT_THROW(ParseIntOption(bad, "--skip"), UsageError) << bad;
    }
}

}  // namespace
}  // namespace corvane::frontend
