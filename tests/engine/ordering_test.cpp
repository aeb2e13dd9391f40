#include "engine/ordering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace corvane::engine {
namespace {

// A row's figures as the table receives them: the caption and the cell texts.
struct RowFigures {
    std::string caption;
    std::vector<std::string> cells;
};

void Fill(ResultsTable& table, const std::vector<RowFigures>& rows) {
    table.Clear();
    for (const RowFigures& r : rows) {
        const RowHandle h = table.Append();
        EXPECT_TRUE(table.SetCaption(h, r.caption));
        for (const std::string& c : r.cells)
            EXPECT_TRUE(table.AppendCell(h, c));
    }
}

std::vector<std::string> Captions(const ResultsTable& table) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < table.Count(); ++i)
        out.push_back(table.Row(i).Caption);
    return out;
}

int CompareIn(std::int32_t column, const ResultRow& a, const ResultRow& b) {
    SortColumn = column;
    return ListView1Compare(a, b);
}

ResultRow Row(std::string caption, std::vector<std::string> cells) {
    ResultRow r;
    r.Caption = std::move(caption);
    r.Cells = std::move(cells);
    return r;
}

class OrderingTest : public ::testing::Test {
  protected:
    void TearDown() override { SortColumn = 0; }
    ResultsTable table;
};

TEST_F(OrderingTest, EachColumnSortsInItsFixedDirection) {
    // Captions a..d; every figure column orders them differently.
    //            caption  rank   in     out    val    alex
    Fill(table, {{"c", {"3", "10", "7", "1", "999999999"}},
                 {"a", {"1", "500", "2", "40", "12"}},
                 {"d", {"4", "0", "9", "-5", "3"}},
                 {"b", {"2", "77", "0", "300", "999"}}});
    const std::vector<std::vector<std::string>> expected = {
        {"a", "b", "c", "d"},  // Website URL, ascending
        {"a", "b", "c", "d"},  // Rank #, ascending
        {"a", "b", "c", "d"},  // Inbound Links, largest first
        {"b", "a", "c", "d"},  // Outbound Links, ascending
        {"b", "a", "c", "d"},  // Link's Value, largest first
        {"d", "a", "b", "c"},  // Alexa Ranking, ascending: the fallback last
    };
    for (std::int32_t column = 0; column < kColumnCount; ++column) {
        ListView1ColumnClick(table, column);
        EXPECT_EQ(SortColumn, column);
        EXPECT_EQ(Captions(table), expected[static_cast<std::size_t>(column)])
            << "column " << column;
    }
}

TEST_F(OrderingTest, CaptionComparison) {
    EXPECT_EQ(CompareCaptions("Example.COM", "example.com"), 0);
    EXPECT_LT(CompareCaptions("", "a"), 0);
    EXPECT_LT(CompareCaptions("abc", "abcd"), 0);
    EXPECT_GT(CompareCaptions("abd", "ABCD"), 0);
    // Letters are folded to upper case, so "_" (0x5F) sorts after them.
    EXPECT_GT(CompareCaptions("a_", "ab"), 0);
    EXPECT_LT(CompareCaptions("Z", "["), 0);
    // Bytes above 0x7F count by their unsigned value, after ASCII; and they
    // are not case-folded.
    EXPECT_GT(CompareCaptions("\xE9", "z"), 0);
    EXPECT_NE(CompareCaptions("\xC9", "\xE9"), 0);
    EXPECT_LT(CompareCaptions(std::string("a\0b", 3), "a\x01"), 0);

    Fill(table, {{"b.com", {}}, {"", {}}, {"A.com", {}}, {"a.COM", {}}});
    ListView1ColumnClick(table, 0);
    EXPECT_EQ(Captions(table), (std::vector<std::string>{"", "A.com", "a.COM", "b.com"}));
}

TEST_F(OrderingTest, IntegerComparisonUsesTheFigureRuleAndNeverOverflows) {
    const ResultRow min = Row("", {"-2147483648", "-2147483648", "", "", ""});
    const ResultRow max = Row("", {"2147483647", "2147483647", "", "", ""});
    // A subtraction would wrap here and give the wrong sign.
    EXPECT_LT(CompareIn(1, min, max), 0);
    EXPECT_GT(CompareIn(1, max, min), 0);
    EXPECT_GT(CompareIn(2, min, max), 0);  // descending
    EXPECT_EQ(CompareIn(1, max, max), 0);

    // Leading blanks, signs and hexadecimal, as the conversion rule reads them.
    EXPECT_LT(CompareIn(1, Row("", {"  -3"}), Row("", {"+2"})), 0);
    EXPECT_GT(CompareIn(1, Row("", {"0x10"}), Row("", {"15"})), 0);
    EXPECT_GT(CompareIn(1, Row("", {"$10"}), Row("", {"15"})), 0);

    // Texts that do not convert make the pair equal, whatever the other is.
    const ResultRow one = Row("", {"1", "1", "1", "1", "1"});
    for (const char* bad : {"", "abc", "12 ", "1,000", "2147483648", "-2147483649", "n/a"}) {
        const ResultRow r = Row("", {bad, bad, bad, bad, bad});
        for (std::int32_t column = 1; column < kColumnCount; ++column) {
            EXPECT_EQ(CompareIn(column, r, one), 0) << bad << " column " << column;
            EXPECT_EQ(CompareIn(column, one, r), 0) << bad << " column " << column;
        }
    }
    // A row without that cell yet, and columns outside 0..5.
    const ResultRow partial = Row("x", {"5"});
    EXPECT_EQ(CompareIn(2, partial, one), 0);
    EXPECT_LT(CompareIn(1, one, partial), 0);
    EXPECT_EQ(CompareIn(-1, Row("a", {}), Row("b", {})), 0);
    EXPECT_EQ(CompareIn(6, one, partial), 0);
}

TEST_F(OrderingTest, RepeatedClicksAndRowsBeingFilled) {
    Fill(table, {{"a", {"1", "5", "0", "0", "0"}},
                 {"b", {"2", "x", "0", "0", "0"}},
                 {"c", {"3", "9", "0", "0", "0"}},
                 {"d", {"4", "7", "0", "0", "0"}}});
    // A row that a run is still filling: only its rank so far.
    const RowHandle filling = table.Append();
    EXPECT_TRUE(table.SetCaption(filling, "e"));
    EXPECT_TRUE(table.AppendCell(filling, "5"));

    ListView1ColumnClick(table, 2);
    const std::vector<std::string> once = Captions(table);
    ListView1ColumnClick(table, 2);
    EXPECT_EQ(Captions(table), once);

    // The rows with an inbound figure keep their order among themselves.
    std::vector<std::string> figured;
    for (const std::string& c : once) {
        if (c == "a" || c == "c" || c == "d")
            figured.push_back(c);
    }
    EXPECT_EQ(figured, (std::vector<std::string>{"c", "d", "a"}));

    // The run goes on filling its row wherever the row now stands, and rows
    // appended later go to the end.
    ASSERT_TRUE(table.IsValid(filling));
    EXPECT_TRUE(table.AppendCell(filling, "42"));
    const ResultRow& row = table.Row(static_cast<std::size_t>(table.IndexOf(filling)));
    EXPECT_EQ(row.Caption, "e");
    EXPECT_EQ(row.Cells, (std::vector<std::string>{"5", "42"}));
    const RowHandle later = table.Append();
    EXPECT_EQ(table.IndexOf(later), static_cast<std::int64_t>(table.Count() - 1));
}

// Random tables mixing numbers, non-numbers, missing cells and the 32-bit
// extremes, sorted by every column: each row stays exactly once, handles
// keep naming their rows, the click gives the very order that sorting with
// ListView1Compare gives, and that order is sorted when every cell converts.
TEST_F(OrderingTest, RandomTablesStaySoundAndOrdered) {
    std::mt19937 rng(20240603);
    const std::vector<std::string> odd = {
        "",   "abc",        " ",         "2147483648", "-2147483648", "2147483647",
        "-0", "0x7fffffff", "999999999", "n/a",        "  12",        "1e3"};
    auto cellText = [&](bool numbersOnly) -> std::string {
        if (numbersOnly || rng() % 3 != 0) {
            return std::to_string(static_cast<std::int32_t>(rng()) >> (rng() % 31));
        }
        return odd[rng() % odd.size()];
    };
    for (int round = 0; round < 60; ++round) {
        const bool numbersOnly = round % 3 == 0;
        const std::size_t n = rng() % 300;
        table.Clear();
        ResultsTable twin;
        std::vector<RowHandle> handles;
        std::vector<ResultRow> copies;
        for (std::size_t i = 0; i < n; ++i) {
            const RowHandle h = table.Append();
            EXPECT_TRUE(table.SetCaption(h, "row" + std::to_string(i)));
            const std::size_t cells = numbersOnly ? 5 : rng() % 6;
            for (std::size_t c = 0; c < cells; ++c)
                EXPECT_TRUE(table.AppendCell(h, cellText(numbersOnly)));
            handles.push_back(h);
            copies.push_back(table.Row(i));
            const RowHandle t = twin.Append();
            EXPECT_TRUE(twin.SetCaption(t, copies.back().Caption));
            for (const std::string& c : copies.back().Cells)
                EXPECT_TRUE(twin.AppendCell(t, c));
        }
        for (std::int32_t column = 0; column < kColumnCount; ++column) {
            ListView1ColumnClick(table, column);
            twin.Sort(ListView1Compare);
            ASSERT_EQ(Captions(table), Captions(twin)) << "column " << column;
            ASSERT_EQ(table.Count(), n);
            std::vector<bool> seen(n, false);
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t at = table.IndexOf(handles[i]);
                ASSERT_GE(at, 0);
                ASSERT_FALSE(seen[static_cast<std::size_t>(at)]);
                seen[static_cast<std::size_t>(at)] = true;
                const ResultRow& r = table.Row(static_cast<std::size_t>(at));
                ASSERT_EQ(r.Caption, copies[i].Caption);
                ASSERT_EQ(r.Cells, copies[i].Cells);
            }
            if (numbersOnly || column == 0) {
                for (std::size_t i = 1; i < n; ++i) {
                    ASSERT_LE(ListView1Compare(table.Row(i - 1), table.Row(i)), 0)
                        << "column " << column << " at " << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace corvane::engine
