// corvane-cli surveys of today's web as a user runs them on the demo web:
// the table under "Traffic Rank" for every profile, the profile in the
// history, the rank lists fetched from the demo web, a list file for one
// run, and the one-line errors of a profile that cannot be used.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "lists/rank_lists.h"
#include "tests/cli/cli_runner.h"

namespace {

using corvane::testing::ProgramResult;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using namespace corvane::testing::cli;

constexpr const char* kWebCaptions =
    "Website URL,Rank #,Inbound Links,Outbound Links,Link's Value,Traffic Rank";

ProgramResult WebSurvey(const std::string& profile, std::vector<std::string> more = {},
                        std::vector<std::string> env = {}) {
    std::vector<std::string> args = {"survey", "--demo", "--profile", profile};
    if (std::find(more.begin(), more.end(), "--history") == more.end())
        args.push_back("--no-history");
    args.insert(args.end(), more.begin(), more.end());
    if (std::find(more.begin(), more.end(), "--keyword") == more.end() &&
        std::find(more.begin(), more.end(), "--domain") == more.end()) {
        args.insert(args.end(), {"--keyword", "garden tools"});
    }
    return Cli(args, env);
}

std::vector<std::string> Fields(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, ',');)
        out.push_back(f);
    return out;
}

// The lines of a survey's standard error that tell of a problem: all but
// the demo web's address, the rows as they come and the closing count.
std::vector<std::string> Problems(const std::string& err) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(err)) {
        if (std::regex_match(line, std::regex(R"(corvane-cli: demo web at .*|row \d+: .*)")) ||
            std::regex_match(line, std::regex(R"(corvane-cli: \d+ rows, \d+ requests.*)")) ||
            std::regex_match(line, std::regex(R"(corvane-cli: recorded as survey \d+)"))) {
            continue;
        }
        out.push_back(line);
    }
    return out;
}

// The CSV rows of a full table: 20 ranks in order, every figure a number.
void ExpectFullCsvTable(const ProgramResult& r, const std::string& label) {
    ASSERT_EQ(r.exitCode, 0) << label << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 21u) << label << r.out;
    EXPECT_EQ(Fields(lines[0]), Fields(kWebCaptions)) << label;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 6u) << label << lines[i];
        EXPECT_THAT(f[0], MatchesRegex("[a-z0-9.-]+")) << label;
        EXPECT_EQ(f[1], std::to_string(i)) << label;
        for (std::size_t c = 2; c < 6; ++c)
            EXPECT_THAT(f[c], MatchesRegex("[0-9]+")) << label << lines[i];
    }
    EXPECT_THAT(Problems(r.err), ::testing::IsEmpty()) << label;
}

TEST(CliWebSurvey, SearxngOnTheDemoWebPrintsItsTableUnderTrafficRank) {
    const ProgramResult text = WebSurvey("searxng");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const std::vector<std::string> lines = Lines(text.out);
    ASSERT_EQ(lines.size(), 22u) << text.out;
    EXPECT_THAT(lines[0], MatchesRegex("Website URL +Rank # +Inbound Links +Outbound Links +"
                                       "Link's Value +Traffic Rank"));
    // Two result pages and one home page per host: three hosts hold two
    // results each.
    EXPECT_THAT(text.err, HasSubstr("20 rows, 19 requests"));

    const ProgramResult csv = WebSurvey("searxng", {"--csv", "-"});
    ExpectFullCsvTable(csv, "searxng");
    // The same rows in both forms.
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::istringstream row(lines[i]);
        std::vector<std::string> cells;
        for (std::string cell; row >> cell;)
            cells.push_back(cell);
        EXPECT_EQ(cells, Fields(Lines(csv.out)[i - 1]));
    }
}

TEST(CliWebSurvey, EveryHtmlProfileGivesAFullTableOnTheDemoWeb) {
    for (const char* profile : {"duckduckgo", "mojeek", "yahoo", "brave"})
        ExpectFullCsvTable(WebSurvey(profile, {"--csv", "-"}), profile);
    // Domain mode asks for the pages that mention the domain.
    ExpectFullCsvTable(WebSurvey("mojeek", {"--csv", "-", "--domain", "www.sparrowfarm.com"}),
                       "mojeek domain");
}

TEST(CliWebSurvey, TheHistoryRecordsTheSurveyUnderItsProfile) {
    const TempDir dir;
    const std::string file = dir / "history.sqlite";
    const ProgramResult r = WebSurvey("searxng", {"--history", file, "--results", "5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("recorded as survey 1"));

    const ProgramResult listed = Cli({"history", "--history", file});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const std::vector<std::string> lines = Lines(listed.out);
    ASSERT_EQ(lines.size(), 3u) << listed.out;
    EXPECT_THAT(lines[2], MatchesRegex(" *1  [0-9TZ:-]+  garden tools  searxng +5  done"));

    // Shown again under the captions it was surveyed with, and compared
    // with the next survey of the same query under them too.
    const ProgramResult shown = Cli({"history", "show", "1", "--history", file});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out, r.out);
    ASSERT_EQ(WebSurvey("searxng", {"--history", file, "--results", "5"}).exitCode, 0);
    const ProgramResult compared = Cli({"history", "compare", "2", "--history", file});
    ASSERT_EQ(compared.exitCode, 0) << compared.err;
    EXPECT_THAT(compared.out, HasSubstr("Traffic Rank change"));

    // A survey whose profile could not be read is recorded as failed under
    // the name asked for.
    EXPECT_EQ(WebSurvey("nosuch", {"--history", file}).exitCode, 1);
    EXPECT_THAT(Lines(Cli({"history", "--history", file}).out),
                ::testing::Contains(MatchesRegex(" *3  .*  garden tools  nosuch +0  failed")));
}

TEST(CliWebSurvey, AListFileGivesTheTrafficRanksOfOneRun) {
    const ProgramResult demo = WebSurvey("searxng", {"--csv", "-"});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    const std::string host = Fields(Lines(demo.out)[1])[0];
    const std::string domain = corvane::lists::RegistrableDomain(host);
    ASSERT_FALSE(domain.empty()) << host;

    const TempDir dir;
    { std::ofstream(dir / "tranco.csv") << "1,unrelated.example\r\n7," << domain << "\r\n"; }
    const ProgramResult r = WebSurvey("searxng", {"--csv", "-", "--tranco", dir / "tranco.csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 21u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i]);
        const std::vector<std::string> before = Fields(Lines(demo.out)[i]);
        EXPECT_EQ(f[5], corvane::lists::RegistrableDomain(f[0]) == domain ? "7" : "999999999");
        // The other list is still the demo web's.
        EXPECT_EQ(f[2], before[2]);
    }

    // A file that is not a list ends the run with why.
    { std::ofstream(dir / "page.html") << "<html><body>Forbidden</body></html>"; }
    const ProgramResult bad = WebSurvey("searxng", {"--majestic", dir / "page.html"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_THAT(Problems(bad.err),
                ElementsAre(HasSubstr("the survey could not run: " + dir / "page.html")));
}

TEST(CliWebSurvey, AProfileThatCannotBeUsedEndsTheRunWithOneLine) {
    const ProgramResult missing = WebSurvey("nosuch");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(Problems(missing.err),
                ElementsAre("corvane-cli: the survey could not run: no profile named nosuch "
                            "(there are brave, classic, duckduckgo, mojeek, searxng, yahoo)"));
    EXPECT_THAT(missing.err, HasSubstr("0 rows, 0 requests"));

    // Without the demo web the searxng profile has no instance to ask.
    const ProgramResult noBase =
        Cli({"survey", "--profile", "searxng", "--keyword", "garden tools", "--no-history"});
    EXPECT_EQ(noBase.exitCode, 1);
    EXPECT_THAT(Problems(noBase.err),
                ElementsAre(MatchesRegex("corvane-cli: the survey could not run: .*needs the "
                                         "address of your instance.*--searxng URL.*")));
    EXPECT_THAT(noBase.err, HasSubstr("0 rows, 0 requests"));

    // A user's profile whose results expression does not compile: the file
    // and the line.
    const TempDir config;
    const std::string folder = config / "corvane/profiles";
    std::filesystem::create_directories(folder);
    {
        std::ofstream(folder + "/mine.ini")
            << "[profile]\ndescription = mine\n[request]\nurl = https://m.test/?q={query}\n"
               "[answer]\nresults = //div[@class=\n";
    }
    const ProgramResult broken = WebSurvey("mine", {}, {"XDG_CONFIG_HOME=" + config.Path()});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_THAT(Problems(broken.err),
                ElementsAre("corvane-cli: the survey could not run: " + folder +
                            "/mine.ini:6: XPath does not compile: error at column 14 in "
                            "\"//div[@class=\""));
    // The same file given by its path.
    const ProgramResult byPath = WebSurvey(folder + "/mine.ini");
    EXPECT_EQ(byPath.exitCode, 1);
    EXPECT_THAT(Problems(byPath.err), ElementsAre(HasSubstr("/mine.ini:6: XPath does not")));
}

TEST(CliWebSurvey, ListsUpdateFromTheDemoWebThenStatus) {
    const TempDir data;
    const std::vector<std::string> env = {"XDG_DATA_HOME=" + data.Path()};
    const ProgramResult update = Cli({"lists", "update", "--demo"}, env);
    ASSERT_EQ(update.exitCode, 0) << update.err;
    std::smatch tranco, majestic;
    const std::vector<std::string> lines = Lines(update.out);
    ASSERT_EQ(lines.size(), 2u) << update.out;
    ASSERT_TRUE(std::regex_match(lines[0], tranco,
                                 std::regex(R"(tranco: (\d+) rows \(list ID ([A-Z0-9]{5})\))")))
        << lines[0];
    ASSERT_TRUE(std::regex_match(lines[1], majestic, std::regex(R"(majestic: (\d+) rows)")))
        << lines[1];

    const ProgramResult status = Cli({"lists", "status"}, env);
    ASSERT_EQ(status.exitCode, 0) << status.err;
    EXPECT_THAT(
        Lines(status.out),
        ElementsAre("lists folder: " + data.Path() + "/corvane/lists",
                    MatchesRegex("tranco: " + tranco[1].str() + " rows, .*list ID " +
                                 tranco[2].str() + ", from http://tranco-list.eu/top-1m.csv.zip"),
                    MatchesRegex("majestic: " + majestic[1].str() +
                                 " rows, .*from http://downloads.majestic.com/.*")));
    EXPECT_TRUE(std::filesystem::exists(data / "corvane/lists"));
}

}  // namespace
