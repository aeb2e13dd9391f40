// corvane-cli surveys with the jobs settings: the same table on the serial
// and the parallel road, the settings' bounds and environment, and Ctrl-C
// during a parallel survey.
#include <gtest/gtest.h>

#include <signal.h>

#include <regex>

#include "tests/cli/cli_runner.h"

namespace {

using corvane::testing::ChildOptions;
using corvane::testing::ChildProcess;
using corvane::testing::ProgramResult;
using namespace corvane::testing::cli;

constexpr const char* kSerialNote = "stopping after the current row";
constexpr const char* kParallelNote = "stopping, keeping the complete rows";

TEST(CliJobs, TheTableIsTheSameWhateverTheJobs) {
    const std::vector<std::vector<std::string>> surveys = {
        {"--keyword", "garden tools", "--results", "30"},
        {"--domain", "www.goldengroup.com", "--results", "30", "--skip", "3"},
    };
    const std::vector<std::vector<std::string>> limits = {
        {"--jobs", "1"}, {}, {"--jobs", "32", "--per-host", "32"}, {"--per-host", "1"}};
    for (const auto& survey : surveys) {
        std::string serial;
        std::string serialRequests;
        for (const auto& limit : limits) {
            std::vector<std::string> args = {"survey", "--demo", "--no-history"};
            args.insert(args.end(), survey.begin(), survey.end());
            args.insert(args.end(), limit.begin(), limit.end());
            const auto r = Cli(args);
            const std::string label = survey[1] + (limit.empty() ? " default" : " " + limit[1]);
            ASSERT_EQ(r.exitCode, 0) << label << r.err;
            std::smatch m;
            ASSERT_TRUE(std::regex_search(r.err, m, std::regex(R"((\d+) rows, (\d+) requests)")))
                << r.err;
            if (serial.empty()) {
                serial = r.out;
                serialRequests = m[0];
                ASSERT_GT(Lines(serial).size(), 4u) << serial;
                continue;
            }
            EXPECT_EQ(r.out, serial) << label;
            // The scheduler's fetches are counted like the serial ones.
            EXPECT_EQ(m[0], serialRequests) << label;
        }
    }
}

TEST(CliJobs, OutOfRangeOrMalformedValuesAreUsageErrors) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"survey", "--demo", "--keyword", "x", "--jobs", "0"},
             {"survey", "--demo", "--keyword", "x", "--jobs", "65"},
             {"survey", "--demo", "--keyword", "x", "--jobs", "-3"},
             {"survey", "--demo", "--keyword", "x", "--jobs", "8x"},
             {"survey", "--demo", "--keyword", "x", "--jobs"},
             {"survey", "--demo", "--keyword", "x", "--per-host", "0"},
             {"survey", "--demo", "--keyword", "x", "--per-host", "99999999999"},
             {"batch", "none.txt", "--demo", "--jobs", "100"},
         }) {
        const auto r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    for (const std::string env : {"CORVANE_JOBS=0", "CORVANE_JOBS=many", "CORVANE_PER_HOST=65"}) {
        const auto r = Cli({"survey", "--demo", "--keyword", "x"}, {env});
        EXPECT_EQ(r.exitCode, 2) << env;
        EXPECT_NE(r.err.find(env.substr(0, env.find('='))), std::string::npos) << r.err;
    }
    // The bounds themselves are good values.
    EXPECT_EQ(Cli({"survey", "--demo", "--no-history", "--keyword", "x", "--jobs", "64",
                   "--per-host", "1"})
                  .exitCode,
              0);
    EXPECT_NE(Cli({"--help"}).out.find("--per-host N"), std::string::npos);
}

// A survey against a slow demo web, given Ctrl-C once its first row is in.
class SlowSurvey : public ::testing::Test {
  protected:
    ProgramResult Interrupt(std::vector<std::string> args, std::vector<std::string> env = {}) {
        std::vector<std::string> all = CleanEnv();
        all.push_back("CORVANE_PROXY=" + web_.Address());
        all.push_back("CORVANE_HISTORY=" + dir_ / "h.sqlite");
        all.insert(all.end(), env.begin(), env.end());
        args.insert(args.begin(), {kCli, "survey", "--keyword", "slow survey", "--results", "30"});
        ChildProcess cli(args, ChildOptions::WithEnv(all));
        EXPECT_TRUE(cli.ReadUntil(
            [](const ProgramResult& r) { return r.err.find("row 1:") != std::string::npos; },
            30000));
        cli.Signal(SIGINT);
        return cli.Finish(30000);
    }

    DemoWebProgram web_{100};
    TempDir dir_;
};

TEST_F(SlowSurvey, CtrlCEndsAParallelSurveyAtOnceKeepingOnlyCompleteRows) {
    ASSERT_GT(web_.Port(), 0);
    const auto r = Interrupt({"--save", dir_ / "s.cvn"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find(kParallelNote), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("corvane-cli: stopped\n"), std::string::npos) << r.err;
    // Only complete rows, in rank order from 1, and far fewer than the 30
    // the run would have reached.
    const auto lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u) << r.out;
    const std::size_t rows = lines.size() - 2;
    EXPECT_LT(rows, 20u);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(
            lines[i], m, std::regex(R"(([a-z0-9.-]+) +(\d+) +(\d+) +(\d+) +(\d+|n/a) +(\d+))")))
            << lines[i];
        EXPECT_EQ(std::stoul(m[2]), i - 1);
    }
    EXPECT_NE(r.err.find(std::to_string(rows) + " rows, "), std::string::npos) << r.err;
    EXPECT_EQ(Lines(Cli({"show", dir_ / "s.cvn"}).out).size() - 2, rows);
    // Recorded as a stopped survey with those rows.
    const auto listed = Lines(Cli({"history", "--history", dir_ / "h.sqlite"}).out);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_TRUE(std::regex_search(listed[2], std::regex(" " + std::to_string(rows) + "  stopped$")))
        << listed[2];
}

TEST_F(SlowSurvey, TheJobsComeFromTheEnvironmentUnlessAnOptionGivesThem) {
    ASSERT_GT(web_.Port(), 0);
    // CORVANE_JOBS=1 takes the serial road, whose Ctrl-C waits for the row.
    const auto serial = Interrupt({}, {"CORVANE_JOBS=1"});
    EXPECT_EQ(serial.exitCode, 0) << serial.err;
    EXPECT_NE(serial.err.find(kSerialNote), std::string::npos) << serial.err;
    const auto parallel = Interrupt({"--jobs", "4"}, {"CORVANE_JOBS=1"});
    EXPECT_EQ(parallel.exitCode, 0) << parallel.err;
    EXPECT_NE(parallel.err.find(kParallelNote), std::string::npos) << parallel.err;
}

}  // namespace
