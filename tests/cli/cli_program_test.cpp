// corvane-cli as a user runs it: surveys on the demo web, saved surveys,
// page fetches, bad arguments and Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "corvane_version.h"
#include "tests/cli/cli_runner.h"

namespace {

using corvane::testing::ChildOptions;
using corvane::testing::ChildProcess;
using corvane::testing::ProgramResult;
using namespace corvane::testing::cli;

TEST(CliSurvey, ThirtyResultsOnTheDemoWeb) {
    const auto r = Cli({"survey", "--demo", "--keyword", "garden tools", "--results", "30"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 32u) << r.out;
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("Website URL +Rank # +Inbound Links +Outbound Links +"
                                              "Link's Value +Alexa Ranking")));
    for (std::size_t i = 2; i < lines.size(); ++i) {
        // host, then five numbers; the ranks count up from 1
        std::smatch m;
        ASSERT_TRUE(std::regex_match(
            lines[i], m, std::regex(R"(([a-z0-9.-]+) +(\d+) +(\d+) +(\d+) +(\d+) +(\d+))")))
            << lines[i];
        EXPECT_EQ(std::stoi(m[2]), static_cast<int>(i - 1));
    }
    EXPECT_NE(r.err.find("30 rows, 91 requests"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("row 30: "),
              std::string::npos);  // one progress line per row off a terminal

    // The same survey always gives the same table.
    EXPECT_EQ(Cli({"survey", "--demo", "--keyword", "garden tools", "--results", "30"}).out, r.out);
}

TEST(CliSurvey, ResultsAreKeptWithinTwoToThirty) {
    auto rows = [](const ProgramResult& r) { return Lines(r.out).size() - 2; };
    EXPECT_EQ(rows(Cli({"survey", "--demo", "--keyword", "x", "--results", "99"})), 30u);
    EXPECT_EQ(rows(Cli({"survey", "--demo", "--keyword", "x", "--results", "1"})), 2u);
    EXPECT_EQ(rows(Cli({"survey", "--demo", "--keyword", "x", "--results", "-7"})), 2u);
}

TEST(CliSurvey, DomainSurveyAndSkip) {
    const auto r = Cli(
        {"survey", "--demo", "--domain", "www.goldengroup.com", "--skip", "10", "--results", "5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u);
    // In domain mode the ranks still start at skip + 1.
    EXPECT_TRUE(std::regex_search(lines[2], std::regex(R"(^\S+ +11 )"))) << lines[2];
}

TEST(CliSurvey, CsvSaveAndShowAgree) {
    TempDir dir;
    const std::string file = dir / "s.cvn";
    const auto csvFile = dir / "s.csv";
    const auto r = Cli({"survey", "--demo", "--keyword", "bike repair", "--results", "8", "--save",
                        file, "--csv", csvFile});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const auto shown = Cli({"show", file});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out, r.out);

    const auto csv = Cli({"show", file, "--csv", "-"});
    std::ifstream f(csvFile, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(csv.out, written);
    const auto csvLines = Lines(written);
    ASSERT_EQ(csvLines.size(), 9u);
    EXPECT_EQ(csvLines[0],
              "Website URL,Rank #,Inbound Links,Outbound Links,Link's Value,Alexa Ranking\r");

    // Ordered by "Inbound Links": largest first.
    const auto sorted = Cli({"show", file, "--sort", "inbound links", "--csv", "-"});
    ASSERT_EQ(sorted.exitCode, 0) << sorted.err;
    const auto rows = Lines(sorted.out);
    long previous = -1;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        std::vector<std::string> cells;
        std::stringstream ss(rows[i]);
        for (std::string c; std::getline(ss, c, ',');)
            cells.push_back(c);
        ASSERT_GE(cells.size(), 3u);
        const long in = std::stol(cells[2]);
        if (previous >= 0) {
            EXPECT_LE(in, previous);
        }
        previous = in;
    }
    EXPECT_EQ(Cli({"show", file, "--sort", "2"}).exitCode, 0);
}

TEST(CliSurvey, FailuresToWriteAreReported) {
    const auto r = Cli({"survey", "--demo", "--keyword", "x", "--results", "2", "--save",
                        "/nonexistent/dir/s.cvn"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot save /nonexistent/dir/s.cvn"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 4u);  // the table is still printed

    const auto c = Cli(
        {"survey", "--demo", "--keyword", "x", "--results", "2", "--csv", "/nonexistent/x.csv"});
    EXPECT_EQ(c.exitCode, 1);
    EXPECT_NE(c.err.find("cannot write /nonexistent/x.csv"), std::string::npos) << c.err;
}

TEST(CliArguments, BadArgumentsGiveOneLineAndCodeTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"survey"},
             {"survey", "--keyword"},
             {"survey", "--keyword", "a", "--domain", "b"},
             {"survey", "--keyword", "a", "--results", "many"},
             {"survey", "--keyword", "a", "--bogus"},
             {"survey", "--keyword", "a", "--proxy", "nohost"},
             {"survey", "--keyword", "a", "--search-endpoint", "https://x"},
             {"show"},
             {"show", "a.cvn", "--sort", "Popularity"},
             {"fetch"},
             {"fetch", "http://a", "http://b"},
         }) {
        const auto r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
        if (!args.empty()) {
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        }
        EXPECT_TRUE(r.out.empty());
    }
    const auto help = Cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("corvane-cli survey"), std::string::npos);
}

TEST(CliArguments, VersionIsTheProjectVersion) {
    const auto r = Cli({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "corvane-cli " CORVANE_VERSION "\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(CliShow, MissingFileOrFolder) {
    TempDir dir;
    EXPECT_EQ(Cli({"show", dir / "none.cvn"}).exitCode, 1);
    EXPECT_EQ(Cli({"show", dir / ""}).exitCode, 1);
    std::ofstream(dir / "empty.cvn").close();
    const auto r = Cli({"show", dir / "empty.cvn"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Lines(r.out).size(), 2u);  // captions only
}

TEST(CliSurvey, CtrlCStopsAfterTheCurrentRowAndStillPrints) {
    DemoWebProgram web(30);
    ASSERT_GT(web.Port(), 0);
    TempDir dir;
    std::vector<std::string> env = CleanEnv();
    env.push_back("CORVANE_PROXY=" + web.Address());
    env.push_back("CORVANE_HISTORY=" + dir / "h.sqlite");
    ChildProcess cli({kCli, "survey", "--keyword", "slow survey", "--results", "30", "--jobs", "1",
                      "--save", dir / "s.cvn"},
                     ChildOptions::WithEnv(env));
    ASSERT_TRUE(cli.ReadUntil(
        [](const ProgramResult& r) { return r.err.find("row 2:") != std::string::npos; }, 30000));
    cli.Signal(SIGINT);
    const auto r = cli.Finish(30000);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::size_t rows = Lines(r.out).size() - 2;
    EXPECT_GE(rows, 2u);
    EXPECT_LE(rows, 4u);
    EXPECT_NE(r.err.find("stopped"), std::string::npos);
    EXPECT_EQ(Lines(Cli({"show", dir / "s.cvn"}).out).size() - 2, rows);
    // The history keeps the rows so far, as a stopped survey.
    const auto listed = Lines(Cli({"history", "--history", dir / "h.sqlite"}).out);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_TRUE(std::regex_search(listed[2], std::regex(" " + std::to_string(rows) + "  stopped$")))
        << listed[2];
}

TEST(CliFetch, WritesTheBodyAndHonoursTheEnvironment) {
    DemoWebProgram web(0);
    ASSERT_GT(web.Port(), 0);
    // Through the proxy named in the environment...
    const auto home =
        Cli({"fetch", "http://www.goldengroup.com/"}, {"CORVANE_PROXY=" + web.Address()});
    ASSERT_EQ(home.exitCode, 0) << home.err;
    EXPECT_NE(home.out.find("<a "), std::string::npos);
    // ...the same bytes as through the option, which wins over the environment.
    const auto viaOption = Cli({"fetch", "--proxy", web.Address(), "http://www.goldengroup.com/"},
                               {"CORVANE_PROXY=127.0.0.1:1"});
    EXPECT_EQ(viaOption.out, home.out);
    // Straight to the demo web as an origin server: a 404 page is still the
    // page, and its status is told.
    const auto missing = Cli({"fetch", "http://" + web.Address() + "/no/such/page"});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_NE(missing.out.find("404"), std::string::npos);
    EXPECT_EQ(missing.err.rfind("corvane-cli: HTTP 404", 0), 0u) << missing.err;
    // The demo web through --demo, as surveys use it.
    const auto demo = Cli({"fetch", "--demo", "http://www.goldengroup.com/"});
    EXPECT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_EQ(demo.out, home.out);
}

TEST(CliSurvey, EndpointsPointStraightAtTheDemoWeb) {
    DemoWebProgram web(0);
    const std::string base = "http://" + web.Address();
    const auto viaEndpoints = Cli({"survey", "--keyword", "tea", "--results", "3",
                                   "--search-endpoint", base, "--traffic-endpoint", base});
    ASSERT_EQ(viaEndpoints.exitCode, 0) << viaEndpoints.err;
    ASSERT_EQ(Lines(viaEndpoints.out).size(), 5u);
    // The rank and inbound figures come from the demo's own search pages; the
    // home pages of the listed hosts cannot be reached without the proxy.
    EXPECT_TRUE(std::regex_search(Lines(viaEndpoints.out)[2], std::regex(R"( 1 +\d+ +0 )")))
        << Lines(viaEndpoints.out)[2];
}

}  // namespace
