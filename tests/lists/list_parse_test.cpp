// Reading published lists: the kind from the content, Majestic columns by
// their header names, zip archives, malformed lines counted, and content
// that is not a list refused.
#include "lists/list_parse.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/lists/list_samples.h"

namespace corvane::lists {
namespace {

using ::testing::HasSubstr;
using testing::lists::kMajesticHeader;
using testing::lists::MajesticRow;
using testing::lists::MakeZip;
using testing::lists::TrancoRows;

struct Read {
    ListKind Kind;
    std::size_t Rows, Skipped, Duplicates;
    std::int64_t ListTime;
    std::unique_ptr<RankIndex> Index;
};

Read ReadList(const std::string& content) {
    ParsedList parsed = ParseList(content);
    const std::size_t added = parsed.Rows.Added();
    std::size_t kept = 0;
    std::string bytes = parsed.Rows.Finish(parsed.Kind, kept);
    return {parsed.Kind,     kept,
            parsed.Skipped,  added - kept,
            parsed.ListTime, OpenIndexBytes(std::move(bytes), "test")};
}

std::string RefusalOf(const std::string& content) {
    try {
        ParseList(content);
    } catch (const ListError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(ListParse, TrancoRowsWithEitherLineEndLowerCasedFirstEntryKept) {
    const Read r = ReadList("1,Google.COM\r\n2,example.org\n3,google.com\r\n4,last.example.");
    EXPECT_EQ(r.Kind, ListKind::Tranco);
    EXPECT_EQ(r.Rows, 3u);
    EXPECT_EQ(r.Duplicates, 1u);
    EXPECT_EQ(r.Skipped, 0u);
    EXPECT_EQ(r.ListTime, 0);
    EXPECT_EQ(r.Index->Find("google.com"), 1);
    EXPECT_EQ(r.Index->Find("GOOGLE.com."), 1);
    EXPECT_EQ(r.Index->Find("example.org"), 2);
    EXPECT_EQ(r.Index->Find("last.example"), 4);
    EXPECT_EQ(r.Index->Find("example.com"), std::nullopt);
    EXPECT_EQ(r.Index->Find(""), std::nullopt);
}

TEST(ListParse, MalformedLinesAreSkippedAndCountedBlankLinesAreNot) {
    const std::string bad[] = {
        "x,letters.example",        // rank not a number
        "0,zero.example",           // ranks start at 1
        "5,",                       // no domain
        "6,two words.example",      // not a domain
        "7,.dot.example",           // starts with a dot
        "8,extra.example,9",        // a third field
        "99999999999,big.example",  // beyond 32 bits
        "\xC3\xA9,accent.example",
    };
    std::string text = TrancoRows(20) + "\n   \n";
    for (const std::string& line : bad)
        text += line + "\n";
    text += "21,b.example\n";
    const Read r = ReadList(text);
    EXPECT_EQ(r.Rows, 21u);
    EXPECT_EQ(r.Skipped, std::size(bad));
    EXPECT_EQ(r.Index->Find("b.example"), 21);

    // A damaged first line does not hide the list behind it.
    const Read first = ReadList("garbage\n" + TrancoRows(5));
    EXPECT_EQ(first.Kind, ListKind::Tranco);
    EXPECT_EQ(first.Rows, 5u);
    EXPECT_EQ(first.Skipped, 1u);
}

TEST(ListParse, MajesticColumnsAreFoundByTheirHeaderNames) {
    const Read published =
        ReadList(std::string(kMajesticHeader) + MajesticRow(1, "google.com", 350) +
                 MajesticRow(2, "Facebook.com", 340) + "not,a,row\n");
    EXPECT_EQ(published.Kind, ListKind::Majestic);
    EXPECT_EQ(published.Rows, 2u);
    EXPECT_EQ(published.Skipped, 1u);
    EXPECT_EQ(published.Index->Find("google.com"), 350);
    EXPECT_EQ(published.Index->Find("facebook.com"), 340);

    // Other columns, another order, quoted names, a byte-order mark, CRLF:
    // RefSubNets is still the value, and 0 is a figure like any other.
    const Read moved = ReadList(
        "\xEF\xBB\xBF\"refsubnets\",\"RefIPs\",\"DOMAIN\"\r\n12,99,a.example\r\n0,5,b.example\r\n");
    EXPECT_EQ(moved.Kind, ListKind::Majestic);
    EXPECT_EQ(moved.Index->Find("a.example"), 12);
    EXPECT_EQ(moved.Index->Find("b.example"), 0);

    // A Tranco list may come with a header of its own.
    const Read ranked = ReadList("Domain,Rank\nfirst.example,1\nsecond.example,2\n");
    EXPECT_EQ(ranked.Kind, ListKind::Tranco);
    EXPECT_EQ(ranked.Index->Find("second.example"), 2);

    EXPECT_THAT(RefusalOf("GlobalRank,Domain,RefIPs\n1,a.example,3\n"),
                HasSubstr("neither a RefSubNets nor a Rank column"));
    EXPECT_THAT(RefusalOf(std::string(kMajesticHeader) + "junk\n"),
                HasSubstr("without a single good row"));
}

TEST(ListParse, ZipArchivesAreReadFromMemoryWithTheirFileDate) {
    const std::time_t when = 1767225600;  // 2026-01-01
    const Read zipped = ReadList(MakeZip({{"top-1m.csv", TrancoRows(1000)}}, when));
    EXPECT_EQ(zipped.Kind, ListKind::Tranco);
    EXPECT_EQ(zipped.Rows, 1000u);
    EXPECT_EQ(zipped.Index->Find("site777.example"), 777);
    // The archive keeps DOS time (local, two-second steps).
    EXPECT_NEAR(static_cast<double>(zipped.ListTime), static_cast<double>(when), 86400.0);

    // A folder and a note beside the list: the CSV file is the one read.
    const Read beside =
        ReadList(MakeZip({{"docs/", ""},
                          {"README.txt", "Majestic Million, CC BY 3.0"},
                          {"data/majestic_million.csv",
                           std::string(kMajesticHeader) + MajesticRow(1, "a.example", 7)}}));
    EXPECT_EQ(beside.Kind, ListKind::Majestic);
    EXPECT_EQ(beside.Index->Find("a.example"), 7);
}

TEST(ListParse, ContentThatIsNotAListIsRefusedWithWhatItLooksLike) {
    EXPECT_THAT(RefusalOf(""), HasSubstr("no rows"));
    EXPECT_THAT(RefusalOf("\r\n \n"), HasSubstr("no rows"));
    EXPECT_THAT(RefusalOf("<!DOCTYPE html>\n<html><body>Service unavailable</body></html>\n"),
                HasSubstr("HTML"));
    EXPECT_THAT(RefusalOf(std::string("\x7F"
                                      "ELF\x02\x01\x01\0\0\0",
                                      10) +
                          "1,a.example"),
                HasSubstr("binary"));
    EXPECT_THAT(RefusalOf("hello, world\nthis is, not a list\n1,a.example\n"),
                HasSubstr("not a rank list"));
    EXPECT_THAT(RefusalOf("\x1F\x8B\x08\x00"), HasSubstr("gzip"));

    // Archives: cut short anywhere, empty, or holding something else.
    const std::string zip = MakeZip({{"top-1m.csv", TrancoRows(2000)}});
    for (std::size_t cut : {std::size_t{4}, std::size_t{30}, zip.size() / 2, zip.size() - 1})
        EXPECT_THAT(RefusalOf(zip.substr(0, cut)), HasSubstr("zip")) << cut;
    EXPECT_THAT(RefusalOf(MakeZip({{"empty/", ""}})), HasSubstr("without a file"));
    EXPECT_THAT(RefusalOf(MakeZip({{"page.html", "<html></html>"}})), HasSubstr("HTML"));

    // A damaged byte in the compressed data fails the archive's check.
    std::string flipped = zip;
    flipped[zip.size() / 3] = static_cast<char>(flipped[zip.size() / 3] ^ 0x55);
    EXPECT_THAT(RefusalOf(flipped), HasSubstr("zip"));
}

}  // namespace
}  // namespace corvane::lists
