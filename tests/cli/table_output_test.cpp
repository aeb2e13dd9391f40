#include "cli/table_output.h"

#include <gtest/gtest.h>

#include <sstream>

namespace corvane::cli {
namespace {

void AddRow(engine::ResultsTable& t, const std::string& caption, std::vector<std::string> cells) {
    const auto h = t.Append();
    EXPECT_TRUE(t.SetCaption(h, caption));
    for (auto& c : cells)
        EXPECT_TRUE(t.AppendCell(h, c));
}

TEST(TextTable, AlignsCaptionsLeftAndFiguresRight) {
    engine::ResultsTable t;
    AddRow(t, "www.alpha.com", {"1", "1200", "2", "3000", "12"});
    AddRow(t, "b.org", {"10", "5", "0", "25"});  // a row still being filled
    std::ostringstream out;
    WriteTextTable(out, t);
    EXPECT_EQ(out.str(),
              "Website URL    Rank #  Inbound Links  Outbound Links  Link's Value  Alexa Ranking\n"
              "-------------  ------  -------------  --------------  ------------  -------------\n"
              "www.alpha.com       1           1200               2          3000             12\n"
              "b.org              10              5               0            25\n");
}

TEST(TextTable, ControlBytesFromPagesDoNotReachTheTerminal) {
    engine::ResultsTable t;
    AddRow(t, "evil\x1b[2J.com", {"1\r\n"});
    std::ostringstream out;
    WriteTextTable(out, t);
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
    EXPECT_NE(out.str().find("evil?[2J.com"), std::string::npos);
}

TEST(Csv, QuotesWhereNeeded) {
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField(" padded "), "\" padded \"");

    engine::ResultsTable t;
    AddRow(t, "a,b.com", {"1", "2", "3", "4", "5"});
    std::ostringstream out;
    WriteCsv(out, t);
    EXPECT_EQ(out.str(),
              "Website URL,Rank #,Inbound Links,Outbound Links,Link's Value,Alexa Ranking\r\n"
              "\"a,b.com\",1,2,3,4,5\r\n");
}

}  // namespace
}  // namespace corvane::cli
