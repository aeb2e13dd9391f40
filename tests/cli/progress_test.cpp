// The survey progress follows the table: complete rows count, rows a
// stopped run takes out again are followed.
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace corvane::cli {
namespace {

engine::RowHandle AddRow(engine::ResultsTable& table, const std::string& host, int cells) {
    const engine::RowHandle row = table.Append();
    EXPECT_TRUE(table.SetCaption(row, host));
    for (int c = 0; c < cells; ++c)
        EXPECT_TRUE(table.AppendCell(row, std::to_string(c + 1)));
    return row;
}

TEST(SurveyProgress, CountsCompleteRowsAndFollowsRemovals) {
    engine::ResultsTable table;
    std::ostringstream bar;
    SurveyProgress progress(table, 30, true, bar);
    table.AddObserver(&progress);
    const engine::RowHandle first = AddRow(table, "a.example", engine::kCellCount);
    AddRow(table, "b.example", engine::kCellCount);
    const engine::RowHandle partial = AddRow(table, "c.example", 2);
    EXPECT_EQ(progress.CompleteRows(), 2u);
    EXPECT_NE(bar.str().rfind("2 of 30 sites"), std::string::npos) << bar.str();

    // A stop takes the incomplete row out: the count stands, the bar is redrawn.
    table.Remove(partial);
    EXPECT_EQ(progress.CompleteRows(), 2u);
    // A complete row taken out no longer counts.
    table.Remove(first);
    EXPECT_EQ(progress.CompleteRows(), 1u);
    EXPECT_NE(bar.str().substr(bar.str().rfind('\r')).find("] 1 of 30 sites"), std::string::npos)
        << bar.str();
    // The run's own row count replaces the expected one once known.
    progress.SetTotal(12);
    EXPECT_NE(bar.str().rfind("1 of 12 sites"), std::string::npos);
    table.Clear();
    EXPECT_EQ(progress.CompleteRows(), 0u);
    table.RemoveObserver(&progress);
}

TEST(SurveyProgress, OffATerminalALinePerCompleteRow) {
    engine::ResultsTable table;
    std::ostringstream lines;
    SurveyProgress progress(table, 5, false, lines);
    table.AddObserver(&progress);
    AddRow(table, "a.example", engine::kCellCount);
    AddRow(table, "b\x01.example", 4);
    AddRow(table, "", engine::kCellCount);
    EXPECT_EQ(lines.str(), "row 1: a.example  1  2  3  4  5\nrow 3: (no host)  1  2  3  4  5\n");
    table.RemoveObserver(&progress);
}

}  // namespace
}  // namespace corvane::cli
