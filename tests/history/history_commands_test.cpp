#include "history/history_commands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/table_output.h"
#include "tests/history/history_fixture.h"

namespace corvane::history {
namespace {

using testing::Info;
using testing::Row;
using testing::Rows;
using testing::TempFolder;

// Runs a command and returns the message of the CommandError it throws.
template <typename F>
std::string ErrorOf(F&& command) {
    try {
        command();
    } catch (const CommandError& e) {
        return e.what();
    }
    return "(no error)";
}

class HistoryCommands : public ::testing::Test {
  protected:
    TempFolder tmp;
    HistoryStore store{tmp / "history.sqlite"};
    std::ostringstream out;
};

TEST_F(HistoryCommands, ListPrintsOneLinePerSurveyNewestFirst) {
    ListSurveys(store, {}, out);
    EXPECT_EQ(out.str(), "no surveys recorded\n");

    store.Record(Info("blue widgets", 1), Rows(12));
    SurveyInfo domain = Info("example.com", 2);
    domain.Mode = engine::SurveyMode::Domain;
    domain.End = SurveyEnd::Stopped;
    store.Record(domain, Rows(3));
    out.str("");
    ListSurveys(store, {}, out);
    EXPECT_EQ(out.str(),
              "ID  Started (UTC)         Query               Profile  Rows  Ended\n"
              "--  --------------------  ------------------  -------  ----  -------\n"
              " 2  2024-05-02T10:00:00Z  domain:example.com  classic     3  stopped\n"
              " 1  2024-05-01T10:00:00Z  blue widgets        classic    12  done\n");

    out.str("");
    ListSurveys(store, {"WIDGET", std::nullopt}, out);
    EXPECT_EQ(out.str().find("example.com"), std::string::npos);
    EXPECT_NE(out.str().find("blue widgets"), std::string::npos);
    out.str("");
    ListSurveys(store, {"", 1}, out);
    EXPECT_EQ(out.str().find("blue widgets"), std::string::npos);
    out.str("");
    ListSurveys(store, {"absent", std::nullopt}, out);
    EXPECT_EQ(out.str(), "no recorded survey matches\n");
    EXPECT_EQ(ErrorOf([&] { ListSurveys(store, {"", 0}, out); }), "the limit must be 1 or more");
}

TEST_F(HistoryCommands, ShowPrintsTheTableAsASurveyFileIsPrinted) {
    const std::vector<HistoryRow> rows = {Row("www.alpha.com", 1, 1200), Row("b.org", 2, 5)};
    const std::int64_t id = store.Record(Info("q", 1), rows);
    engine::ResultsTable table;
    FillTable(table, rows);
    std::ostringstream text, csv;
    cli::WriteTextTable(text, table);
    cli::WriteCsv(csv, table);

    ShowSurvey(store, {id, ""}, out);
    EXPECT_EQ(out.str(), text.str());
    out.str("");
    ShowSurvey(store, {id, "-"}, out);
    EXPECT_EQ(out.str(), csv.str());
    out.str("");
    const std::string file = tmp / "out.csv";
    ShowSurvey(store, {id, file}, out);
    EXPECT_EQ(out.str(), text.str());
    EXPECT_EQ(testing::ReadAll(file), csv.str());

    EXPECT_EQ(ErrorOf([&] {
                  ShowSurvey(store, {id + 1, ""}, out);
              }),
              "no survey " + std::to_string(id + 1) + " in the history");
    EXPECT_EQ(ErrorOf([&] {
                  ShowSurvey(store, {id, tmp / "no/such/dir/x.csv"}, out);
              }),
              "cannot write " + tmp / "no/such/dir/x.csv");
}

TEST_F(HistoryCommands, SurveysOfTodaysWebShowAndCompareUnderTheirOwnCaptions) {
    SurveyInfo web = Info("q", 1);
    web.Profile = "searxng";
    store.Record(web, {Row("a.com", 1, 100)});
    web.StartedUtc = "2026-12-08T10:00:00Z";
    const std::int64_t later = store.Record(web, {Row("a.com", 1, 90)});

    ShowSurvey(store, {later, "-"}, out);
    EXPECT_EQ(out.str().substr(0, out.str().find('\r')),
              "Website URL,Rank #,Inbound Links,Outbound Links,Link's Value,Traffic Rank");
    out.str("");
    CompareSurveyIds(store, {std::nullopt, later, ""}, out);
    EXPECT_NE(out.str().find("Traffic Rank change"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("Alexa"), std::string::npos) << out.str();
}

TEST_F(HistoryCommands, SurveyIdsAreWholeNumbersFromOne) {
    EXPECT_EQ(ParseSurveyId("1"), 1);
    EXPECT_EQ(ParseSurveyId("000042"), 42);
    EXPECT_EQ(ParseSurveyId("999999999999999999"), 999999999999999999);
    for (const char* bad : {"", "0", "-1", "+1", "12a", " 1", "1.0", "9999999999999999999"}) {
        EXPECT_EQ(ErrorOf([&] { ParseSurveyId(bad); }),
                  std::string("'") + bad + "' is not a survey id (a whole number from 1 up)");
    }
    EXPECT_EQ(ErrorOf([&] { ParseSurveyId("\x1b[2J"); }),
              "'?[2J' is not a survey id (a whole number from 1 up)");
}

TEST_F(HistoryCommands, CompareDefaultsToThePreviousSurveyOfTheQuery) {
    const std::int64_t first =
        store.Record(Info("q", 1), {Row("a.com", 1, 100), Row("b.com", 2, 50)});
    store.Record(Info("other", 2), Rows(2));
    const std::int64_t second =
        store.Record(Info("q", 3), {Row("b.com", 1, 80), Row("a.com", 2, 100), Row("c.com", 3, 5)});

    CompareSurveyIds(store, {std::nullopt, second, ""}, out);
    EXPECT_EQ(out.str(),
              "before: survey 1, keyword \"q\", profile classic, 2024-05-01T10:00:00Z\n"
              "after:  survey 3, keyword \"q\", profile classic, 2024-05-03T10:00:00Z\n"
              "\n"
              "Website URL  Rank before  Rank after  Movement  Inbound Links change  "
              "Outbound Links change  Link's Value change  Alexa Ranking change\n"
              "-----------  -----------  ----------  --------  --------------------  "
              "---------------------  -------------------  --------------------\n"
              "b.com                  2           1  up 1                       +30  "
              "                    0                  +15                     0\n"
              "a.com                  1           2  down 1                       0  "
              "                    0                    0                     0\n"
              "c.com                              3  new\n");

    std::ostringstream explicitIds;
    CompareSurveyIds(store, {first, second, ""}, explicitIds);
    EXPECT_EQ(explicitIds.str(), out.str());

    out.str("");
    CompareSurveyIds(store, {second, first, "-"}, out);
    EXPECT_EQ(out.str(),
              "Website URL,Rank before,Rank after,Movement,"
              "Inbound Links before,Inbound Links after,Inbound Links change,"
              "Outbound Links before,Outbound Links after,Outbound Links change,"
              "Link's Value before,Link's Value after,Link's Value change,"
              "Alexa Ranking before,Alexa Ranking after,Alexa Ranking change\r\n"
              "a.com,2,1,up 1,100,100,0,7,7,0,50,50,0,999999999,999999999,0\r\n"
              "b.com,1,2,down 1,80,50,-30,7,7,0,40,25,-15,999999999,999999999,0\r\n"
              "c.com,3,,gone,5,,,7,,,2,,,999999999,,\r\n");

    EXPECT_EQ(ErrorOf([&] {
                  CompareSurveyIds(store, {std::nullopt, first, ""}, out);
              }),
              "survey 1 has no earlier survey of the same query and profile; give two ids");
    EXPECT_EQ(ErrorOf([&] {
                  CompareSurveyIds(store, {77, second, ""}, out);
              }),
              "no survey 77 in the history");
    EXPECT_EQ(ErrorOf([&] {
                  CompareSurveyIds(store, {first, 78, ""}, out);
              }),
              "no survey 78 in the history");
}

TEST_F(HistoryCommands, ExportWritesEveryRowOfEverySurvey) {
    SurveyInfo second = Info("say \"hi\", world", 2);
    second.Skip = 10;
    second.End = SurveyEnd::Failed;
    store.Record(second, {Row("c.com", 11)});
    store.Record(Info("q", 1), {Row("a.com", 1), Row("b.com", 2)});
    store.Record(Info("empty", 3), {});

    ExportHistory(store, {"-"}, out);
    const std::string expected =
        "Survey,Started (UTC),Ended (UTC),Query,Mode,Profile,Results,Skip,Ended,Row,"
        "Website URL,Rank #,Inbound Links,Outbound Links,Link's Value,Alexa Ranking\r\n"
        "2,2024-05-01T10:00:00Z,2024-05-01T10:05:00Z,q,keyword,classic,20,0,done,1,"
        "a.com,1,100,7,50,999999999\r\n"
        "2,2024-05-01T10:00:00Z,2024-05-01T10:05:00Z,q,keyword,classic,20,0,done,2,"
        "b.com,2,100,7,50,999999999\r\n"
        "1,2024-05-02T10:00:00Z,2024-05-02T10:05:00Z,\"say \"\"hi\"\", world\",keyword,classic,"
        "20,10,failed,1,c.com,11,100,7,50,999999999\r\n";
    EXPECT_EQ(out.str(), expected);

    std::ostringstream none;
    const std::string file = tmp / "all.csv";
    ExportHistory(store, {file}, none);
    EXPECT_EQ(none.str(), "");
    EXPECT_EQ(testing::ReadAll(file), expected);
    EXPECT_EQ(ErrorOf([&] { ExportHistory(store, {""}, out); }),
              "export writes CSV: give a file, or - for standard output");
    EXPECT_EQ(ErrorOf([&] { ExportHistory(store, {tmp.Path()}, out); }),
              "cannot write " + tmp.Path());
}

TEST_F(HistoryCommands, ForgetSaysWhatWentAndRefusesUnknownIds) {
    const std::int64_t id = store.Record(Info("q", 1), Rows(4));
    ForgetSurvey(store, {id}, out);
    EXPECT_EQ(out.str(),
              "forgot survey 1, keyword \"q\", profile classic, 2024-05-01T10:00:00Z (4 rows)\n");
    EXPECT_EQ(ErrorOf([&] { ForgetSurvey(store, {id}, out); }), "no survey 1 in the history");
    EXPECT_EQ(ErrorOf([&] { ShowSurvey(store, {id, ""}, out); }), "no survey 1 in the history");
}

TEST(HistoryOpen, DamagedFileNoticeGoesToTheErrorStream) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    testing::WriteAll(path, std::string(4096, 'x'));
    std::ostringstream err;
    HistoryStore store = OpenHistory(path, err, "prog: ");
    EXPECT_EQ(err.str().rfind("prog: the history file ", 0), 0u) << err.str();
    EXPECT_NE(err.str().find("was damaged"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().back(), '\n');
    std::ostringstream again;
    OpenHistory(path, again, "prog: ");
    EXPECT_EQ(again.str(), "");
}

}  // namespace
}  // namespace corvane::history
