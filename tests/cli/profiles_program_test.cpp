// corvane-cli profiles: the built-in profiles and the user's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/cli/cli_runner.h"

namespace {

using namespace corvane::testing::cli;

TEST(CliProfiles, BuiltInAndUserProfilesOneLineEach) {
    TempDir config;
    const std::string folder = config / "corvane/profiles";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/mojeek.ini")
        << "[profile]\ndescription = my mojeek\n[request]\nurl = https://m.test/?q={query}\n"
           "[answer]\nresults = //a/@href\n";
    std::ofstream(folder + "/broken.ini") << "[request]\nurl = x\npage-limit = many\n";

    const auto r = Cli({"profiles"}, {"XDG_CONFIG_HOME=" + config.Path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 7u) << r.out;
    const std::vector<std::string> expected = {
        R"(brave +built-in +Brave Search)",
        "broken +" + folder +
            R"(/broken\.ini +.*broken\.ini:3: page-limit "many" is not a whole number)",
        R"(classic +built-in +the classic survey.*)",
        R"(duckduckgo +built-in +DuckDuckGo's HTML endpoint \(POST\))",
        "mojeek +" + folder + R"(/mojeek\.ini \(overrides built-in\) +my mojeek)",
        R"(searxng +built-in +a SearXNG instance's JSON API.*)",
        R"(yahoo +built-in +Yahoo.*)",
    };
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << lines[i];

    const auto bad = Cli({"profiles", "--all"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("profiles: unknown argument '--all'"), std::string::npos) << bad.err;
}

}  // namespace
