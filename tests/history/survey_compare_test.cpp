#include "history/survey_compare.h"

#include <gtest/gtest.h>

#include "tests/history/history_fixture.h"

namespace corvane::history {
namespace {

using testing::Row;

// "host before->after movement" for each compared host, in output order.
std::vector<std::string> Summary(const std::vector<ComparedHost>& hosts) {
    std::vector<std::string> out;
    for (const ComparedHost& h : hosts) {
        out.push_back(h.Host + " " + (h.Before ? h.Before->Figures[0] : "-") + "->" +
                      (h.After ? h.After->Figures[0] : "-") + " " + MovementText(h));
    }
    return out;
}

TEST(CompareSurveys, EveryKindOfMovement) {
    const std::vector<HistoryRow> before = {Row("up.com", 5), Row("down.com", 1),
                                            Row("same.com", 3), Row("gone.com", 2),
                                            Row("gone2.com", 9)};
    // The later table was re-ordered by a column: output follows rank.
    const std::vector<HistoryRow> after = {Row("new.com", 4), Row("down.com", 5), Row("up.com", 1),
                                           Row("same.com", 3)};
    EXPECT_EQ(Summary(CompareSurveys(before, after)),
              (std::vector<std::string>{"up.com 5->1 up 4", "same.com 3->3 same",
                                        "new.com -->4 new", "down.com 1->5 down 4",
                                        "gone.com 2->- gone", "gone2.com 9->- gone"}));
}

TEST(CompareSurveys, DuplicatedHostsPairByOccurrenceInRankOrder) {
    // a.com twice before and three times after: first with first, second
    // with second, the third is new; the table order does not matter.
    const std::vector<HistoryRow> before = {Row("a.com", 3), Row("b.com", 2), Row("a.com", 1)};
    const std::vector<HistoryRow> after = {Row("a.com", 6), Row("a.com", 2), Row("a.com", 5)};
    const std::vector<std::string> expected = {"a.com 1->2 down 1", "a.com 3->5 down 2",
                                               "a.com -->6 new", "b.com 2->- gone"};
    EXPECT_EQ(Summary(CompareSurveys(before, after)), expected);
    const std::vector<HistoryRow> reordered = {after[2], after[0], after[1]};
    EXPECT_EQ(Summary(CompareSurveys(before, reordered)), expected);

    // More occurrences before than after: the surplus one is gone.
    EXPECT_EQ(Summary(CompareSurveys({Row("a.com", 4), Row("a.com", 1)}, {Row("a.com", 2)})),
              (std::vector<std::string>{"a.com 1->2 down 1", "a.com 4->- gone"}));
    // Same rank twice (a hand-edited survey): table order decides.
    const std::vector<HistoryRow> tied = {HistoryRow{"t.com", {"1", "10", "", "", ""}},
                                          HistoryRow{"t.com", {"1", "20", "", "", ""}}};
    const std::vector<ComparedHost> hosts = CompareSurveys(tied, tied);
    ASSERT_EQ(hosts.size(), 2u);
    EXPECT_EQ(hosts[0].Before->Figures[1], "10");
    EXPECT_EQ(hosts[0].After->Figures[1], "10");
    EXPECT_EQ(hosts[1].After->Figures[1], "20");
}

TEST(CompareSurveys, RowsWithoutARankFigure) {
    const HistoryRow noRank{"x.com", {"", "1", "2", "3", "4"}};
    const std::vector<ComparedHost> hosts =
        CompareSurveys({Row("x.com", 2), Row("y.com", 1)}, {noRank, Row("y.com", 1)});
    // Unranked rows follow the ranked ones.
    EXPECT_EQ(Summary(hosts), (std::vector<std::string>{"y.com 1->1 same", "x.com 2-> n/a"}));
    EXPECT_TRUE(CompareSurveys({}, {}).empty());
}

TEST(CompareSurveys, FigureChanges) {
    EXPECT_EQ(FigureChange("100", "112"), "+12");
    EXPECT_EQ(FigureChange("100", "97"), "-3");
    EXPECT_EQ(FigureChange("7", "7"), "0");
    // Extremes of the figure range do not overflow.
    EXPECT_EQ(FigureChange("-2147483648", "2147483647"), "+4294967295");
    EXPECT_EQ(FigureChange("n/a", "n/a"), "=");
    EXPECT_EQ(FigureChange("n/a", "12"), "n/a -> 12");
    EXPECT_EQ(FigureChange("", "3"), " -> 3");

    ComparedHost far;
    far.Before = Row("f.com", -2147483647 - 1);
    far.After = Row("f.com", 2147483647);
    const std::vector<ComparedHost> hosts = CompareSurveys({*far.Before}, {*far.After});
    EXPECT_EQ(MovementText(hosts.at(0)), "down 4294967295");
}

}  // namespace
}  // namespace corvane::history
