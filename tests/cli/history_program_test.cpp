// The survey history through corvane-cli as a user runs it: surveys and
// batches on the demo web recorded, the history commands over what they
// recorded, and the history file chosen or failing.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <regex>

#include "tests/cli/cli_runner.h"

namespace {

using corvane::testing::ChildOptions;
using corvane::testing::ChildProcess;
using corvane::testing::ProgramResult;
using namespace corvane::testing::cli;

// One line of `corvane-cli history`.
struct Listed {
    long id = 0;
    std::string query;
    int rows = 0;
    std::string ended;
};

std::vector<Listed> Listing(const ProgramResult& r) {
    std::vector<Listed> out;
    const auto lines = Lines(r.out);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(
            lines[i], m,
            std::regex(
                R"( *(\d+)  \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ  (.+?) +classic +(\d+)  (\w+))")))
            << lines[i];
        if (!m.empty())
            out.push_back({std::stol(m[1]), m[2], std::stoi(m[3]), m[4]});
    }
    return out;
}

// A folder of one test: its data folder (the default history) and files.
class HistoryTest : public ::testing::Test {
  protected:
    std::string DefaultHistory() const { return dir_ / "data/corvane/history.sqlite"; }
    std::string File(const std::string& name) const { return dir_ / name; }
    ProgramResult Run(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        env.insert(env.begin(), "XDG_DATA_HOME=" + dir_ / "data");
        return Cli(args, env);
    }
    ProgramResult Survey(const std::string& keyword, int results,
                         std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"survey", "--demo",    "--keyword",
                                         keyword,  "--results", std::to_string(results)};
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }

    TempDir dir_;
};

TEST_F(HistoryTest, ASurveyIsRecordedInTheDataFolderUnlessToldNot) {
    const auto r = Survey("garden tools", 4);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("recorded as survey 1"), std::string::npos) << r.err;
    ASSERT_TRUE(std::filesystem::exists(DefaultHistory()));

    const auto listed = Listing(Run({"history"}));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].query, "garden tools");
    EXPECT_EQ(listed[0].rows, 4);
    EXPECT_EQ(listed[0].ended, "done");
    // The recorded table is the printed one.
    EXPECT_EQ(Run({"history", "show", "1"}).out, r.out);

    const auto quiet = Survey("garden tools", 4, {"--no-history"});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.out, r.out);
    EXPECT_EQ(quiet.err.find("recorded"), std::string::npos);
    EXPECT_EQ(Listing(Run({"history"})).size(), 1u);
}

TEST_F(HistoryTest, HistoryOptionWinsOverTheEnvironmentWhichWinsOverTheDefault) {
    const std::string fromEnv = File("env.sqlite"), fromOption = File("sub/option.sqlite");
    ASSERT_EQ(Run({"survey", "--demo", "--keyword", "a", "--results", "2"},
                  {"CORVANE_HISTORY=" + fromEnv})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"survey", "--demo", "--domain", "www.goldengroup.com", "--results", "2",
                   "--history", fromOption},
                  {"CORVANE_HISTORY=" + fromEnv})
                  .exitCode,
              0);
    EXPECT_FALSE(std::filesystem::exists(DefaultHistory()));
    // Read back the same ways: the environment, and the option over it.
    const auto viaEnv = Listing(Run({"history"}, {"CORVANE_HISTORY=" + fromEnv}));
    ASSERT_EQ(viaEnv.size(), 1u);
    EXPECT_EQ(viaEnv[0].query, "a");
    const auto viaOption =
        Listing(Run({"history", "--history", fromOption}, {"CORVANE_HISTORY=" + fromEnv}));
    ASSERT_EQ(viaOption.size(), 1u);
    EXPECT_EQ(viaOption[0].query, "domain:www.goldengroup.com");
}

TEST_F(HistoryTest, AHistoryThatCannotBeWrittenCostsOneWarningNotTheTable) {
    // A path under a regular file: no user, root included, can create it.
    std::ofstream(File("plain")).close();
    const std::string unusable = File("plain/history.sqlite");
    const auto table = Survey("garden tools", 3, {"--no-history"}).out;

    // Named by the option, then by the environment.
    for (const bool byOption : {true, false}) {
        std::vector<std::string> args = {"survey",       "--demo",    "--keyword",
                                         "garden tools", "--results", "3"};
        if (byOption) {
            args.insert(args.end(), {"--history", unusable});
        }
        const auto r = Run(args, {byOption ? "CORVANE_HISTORY=" : "CORVANE_HISTORY=" + unusable});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, table);
        std::size_t warnings = 0;
        for (const auto& line : Lines(r.err)) {
            if (line.find("warning") != std::string::npos) {
                ++warnings;
                EXPECT_NE(line.find("not recorded"), std::string::npos) << line;
                EXPECT_NE(line.find(unusable), std::string::npos) << line;
            }
        }
        EXPECT_EQ(warnings, 1u) << r.err;
    }
    // Reading it fails as something that could not be done.
    const auto list = Run({"history", "--history", unusable});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_EQ(Lines(list.err).size(), 1u) << list.err;
}

TEST_F(HistoryTest, ASurveyWithoutResultsPageFailsAndIsRecordedAsFailed) {
    // Nothing listens on port 1 of the loopback: no results page comes back.
    const auto r = Run({"survey", "--keyword", "tea", "--results", "3", "--search-endpoint",
                        "http://127.0.0.1:1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("could not run"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u);  // the empty table is still printed
    const auto listed = Listing(Run({"history"}));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].rows, 0);
    EXPECT_EQ(listed[0].ended, "failed");
}

TEST_F(HistoryTest, ADamagedHistoryIsMovedAsideAndSaidSoOnOneLine) {
    std::filesystem::create_directories(dir_ / "data/corvane");
    std::ofstream(DefaultHistory(), std::ios::binary) << std::string(4096, 'x');
    const auto r = Run({"history"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("corvane-cli: the history file ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("was damaged"), std::string::npos) << r.err;
    EXPECT_TRUE(Listing(r).empty());
    // The new history takes the next survey.
    ASSERT_EQ(Survey("garden tools", 4).exitCode, 0);
    EXPECT_EQ(Listing(Run({"history"})).size(), 1u);
}

TEST_F(HistoryTest, ListShowCompareExportAndForget) {
    ASSERT_EQ(Survey("garden tools", 4).exitCode, 0);  // 1
    ASSERT_EQ(Survey("bike repair", 3).exitCode, 0);   // 2
    ASSERT_EQ(Survey("garden tools", 6).exitCode, 0);  // 3: two more hosts than 1

    // Newest first; --query matches part of the query, case ignored.
    auto listed = Listing(Run({"history"}));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].id, 3);
    EXPECT_EQ(listed[2].id, 1);
    listed = Listing(Run({"history", "--query", "GARDEN"}));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].query, "garden tools");
    listed = Listing(Run({"history", "--limit", "1"}));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].id, 3);
    EXPECT_EQ(Lines(Run({"history", "--query", "nothing like it"}).out).size(), 1u);

    // show: the text table, the CSV to stdout, or to a file beside the table.
    const auto shown = Run({"history", "show", "2"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(Lines(shown.out).size(), 5u);
    const auto csv = Run({"history", "show", "2", "--csv", "-"});
    EXPECT_EQ(Lines(csv.out).size(), 4u);
    EXPECT_EQ(Run({"history", "show", "2", "--csv", File("2.csv")}).out, shown.out);
    EXPECT_EQ(ReadAll(File("2.csv")), csv.out);

    // compare: without a first id, the previous survey of the same query.
    const auto compared = Run({"history", "compare", "3"});
    ASSERT_EQ(compared.exitCode, 0) << compared.err;
    EXPECT_NE(compared.out.find("before: survey 1,"), std::string::npos) << compared.out;
    const auto lines = Lines(compared.out);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return std::regex_search(l, std::regex(R"(  [56]  new$)"));
                            }),
              2)
        << compared.out;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("  same") != l.npos; }),
              4)
        << compared.out;
    // Two ids, as CSV: a header and one record per host of either survey.
    const auto compareCsv = Run({"history", "compare", "2", "3", "--csv", "-"});
    ASSERT_EQ(compareCsv.exitCode, 0) << compareCsv.err;
    EXPECT_EQ(Lines(compareCsv.out)[0].rfind("Website URL,Rank before,Rank after,Movement", 0), 0u);
    EXPECT_EQ(Run({"history", "compare", "1"}).exitCode, 1);  // nothing before it

    // export: every row of every survey under one header.
    const auto exported = Run({"history", "export", "--csv", "-"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(Lines(exported.out).size(), 1u + 4 + 3 + 6);
    EXPECT_NE(exported.out.find("\n2,"), std::string::npos);
    ASSERT_EQ(Run({"history", "export", "--csv", File("all.csv")}).exitCode, 0);
    EXPECT_EQ(ReadAll(File("all.csv")), exported.out);

    // forget: gone from every command after it.
    const auto forgot = Run({"history", "forget", "1"});
    ASSERT_EQ(forgot.exitCode, 0) << forgot.err;
    EXPECT_NE(forgot.out.find("forgot survey 1"), std::string::npos);
    EXPECT_EQ(Listing(Run({"history"})).size(), 2u);
    std::ofstream(File("plain")).close();  // no folder can be made under it
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"history", "forget", "1"},
             {"history", "show", "1"},
             {"history", "compare", "1", "3"},
             {"history", "show", "99"},
             {"history", "show", "2", "--csv", File("plain/x.csv")},
         }) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[1] << " " << args[2];
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    }
}

TEST_F(HistoryTest, BadHistoryArgumentsAreCodeTwoAndOpenNothing) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"history", "list"},
             {"history", "show"},
             {"history", "show", "0"},
             {"history", "show", "x1"},
             {"history", "show", "1", "2"},
             {"history", "compare"},
             {"history", "compare", "1", "2", "3"},
             {"history", "export"},
             {"history", "export", "--query", "a", "--csv", "-"},
             {"history", "forget", "1", "--csv", "-"},
             {"history", "--limit", "0"},
             {"history", "--limit", "many"},
             {"history", "--no-history"},
             {"history", "--history"},
             {"history", "1"},
         }) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args[1];
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(DefaultHistory()));
    const auto help = Run({"--help"});
    for (const char* usage : {"corvane-cli history compare", "corvane-cli batch FILE",
                              "--no-history", "CORVANE_HISTORY"}) {
        EXPECT_NE(help.out.find(usage), std::string::npos) << usage;
    }
}

TEST_F(HistoryTest, BatchRunsEveryLineRecordsEachAndSumsUp) {
    std::ofstream(File("batch.txt")) << "# weekly ranks\n"
                                        "garden tools\r\n"
                                        "\n"
                                        "   # an indented comment\n"
                                        "  domain:  www.goldengroup.com  \n"
                                        "bike repair";  // no newline at the end
    const auto r = Run({"batch", File("batch.txt"), "--demo", "--results", "3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3 surveys, 3 done, 0 failed\n");
    EXPECT_NE(r.err.find("survey 2 of 3 (domain:www.goldengroup.com)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("survey 3 of 3 (bike repair): done, 3 rows, recorded as survey 3"),
              std::string::npos)
        << r.err;
    auto listed = Listing(Run({"history"}));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2].query, "garden tools");
    EXPECT_EQ(listed[1].query, "domain:www.goldengroup.com");
    EXPECT_EQ(listed[0].query, "bike repair");
    // The same table as a survey of the same query.
    EXPECT_EQ(Run({"history", "show", "1"}).out, Survey("garden tools", 3, {"--no-history"}).out);

    // Surveys that cannot run are recorded as failed, and the code says so.
    std::ofstream(File("two.txt")) << "tea\ncoffee\n";
    const auto failing = Run({"batch", File("two.txt"), "--search-endpoint", "http://127.0.0.1:1"});
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_EQ(failing.out, "2 surveys, 0 done, 2 failed\n");
    listed = Listing(Run({"history", "--limit", "2"}));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].ended, "failed");
}

TEST_F(HistoryTest, BatchRefusesBadArgumentsFilesAndAnUnusableHistory) {
    std::ofstream(File("ok.txt")) << "tea\n";
    std::ofstream(File("bad.txt")) << "tea\n\ndomain:  \n";
    std::ofstream(File("plain")).close();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"batch"},
             {"batch", File("ok.txt"), File("ok.txt")},
             {"batch", File("ok.txt"), "--keyword", "x"},
             {"batch", File("ok.txt"), "--csv", "-"},
             {"batch", File("ok.txt"), "--no-history"},
             {"batch", File("ok.txt"), "--results"},
             {"batch", File("none.txt")},
             {"batch", dir_.Path()},
             {"batch", File("bad.txt")},
         }) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << (args.size() > 2 ? args[2] : args.back());
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_NE(Run({"batch", File("bad.txt")}).err.find("bad.txt:3:"), std::string::npos);
    // A batch is for recording: without a history nothing runs.
    const auto r = Run({"batch", File("ok.txt"), "--demo", "--history", File("plain/h.sqlite")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("survey 1 of 1"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(DefaultHistory()));
}

TEST_F(HistoryTest, CtrlCEndsTheBatchAfterTheCurrentSurvey) {
    DemoWebProgram web(30);
    ASSERT_GT(web.Port(), 0);
    std::ofstream(File("batch.txt")) << "slow one\nslow two\nslow three\n";
    std::vector<std::string> env = CleanEnv();
    env.push_back("CORVANE_PROXY=" + web.Address());
    env.push_back("CORVANE_HISTORY=" + File("h.sqlite"));
    ChildProcess cli({kCli, "batch", File("batch.txt"), "--results", "30", "--jobs", "1"},
                     ChildOptions::WithEnv(env));
    ASSERT_TRUE(cli.ReadUntil(
        [](const ProgramResult& r) { return r.err.find("row 2:") != std::string::npos; }, 30000));
    cli.Signal(SIGINT);
    const auto r = cli.Finish(30000);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "3 surveys, 0 done, 0 failed, 1 stopped, 2 not run\n");
    const auto listed = Listing(Run({"history", "--history", File("h.sqlite")}));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].query, "slow one");
    EXPECT_EQ(listed[0].ended, "stopped");
    EXPECT_GE(listed[0].rows, 2);
    EXPECT_LE(listed[0].rows, 4);
}

}  // namespace
