// A lists folder and the look-ups of a survey: imports and their status,
// the old list kept when an import fails, lists for one run, the warnings,
// and hosts found by themselves before their registrable domain.
#include "lists/rank_lists.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "lists/list_store.h"
#include "tests/lists/list_samples.h"

namespace corvane::lists {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::lists::kMajesticHeader;
using testing::lists::ListsTempDir;
using testing::lists::MajesticRow;
using testing::lists::MakeZip;
using testing::lists::ReadBytes;
using testing::lists::TrancoRows;
using testing::lists::WriteBytes;

constexpr std::int64_t kDay = 24 * 60 * 60;

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

TEST(RankLists, ImportsAreRecordedAndShownByStatus) {
    const ListsTempDir dir;
    const std::string folder = dir / "lists";  // made by the first import
    EXPECT_FALSE(StatusOf(folder, ListKind::Tranco).Present);

    const std::time_t listDay = 1767225600;  // 2026-01-01 00:00 UTC
    const ImportReport tranco =
        ImportContent(MakeZip({{"top-1m.csv", TrancoRows(300) + "oops\n"}}, listDay + 12 * 3600),
                      folder, "https://lists.example/top-1m.csv.zip", "Q7KW9");
    EXPECT_EQ(tranco.Kind, ListKind::Tranco);
    EXPECT_EQ(tranco.Rows, 300u);
    EXPECT_EQ(tranco.Skipped, 1u);

    const ListStatus s = StatusOf(folder, ListKind::Tranco);
    EXPECT_TRUE(s.Present);
    EXPECT_EQ(s.IndexPath, folder + "/tranco.idx");
    EXPECT_EQ(s.Rows, 300u);
    EXPECT_EQ(s.Skipped, 1u);
    EXPECT_EQ(s.ListId, "Q7KW9");
    EXPECT_EQ(s.Origin, "https://lists.example/top-1m.csv.zip");
    EXPECT_EQ(s.ListDate, "2026-01-01");
    EXPECT_LE(std::abs(s.ImportedAt - Now()), 60);
    EXPECT_TRUE(s.Problem.empty());

    // A file: the kind comes from the content, whatever its name says, and
    // the origin is where the file was.
    WriteBytes(dir / "top-1m.csv.zip",
               std::string(kMajesticHeader) + MajesticRow(1, "a.example", 40));
    const ImportReport majestic = ImportFile(dir / "top-1m.csv.zip", folder);
    EXPECT_EQ(majestic.Kind, ListKind::Majestic);
    const ListStatus m = StatusOf(folder, ListKind::Majestic);
    EXPECT_TRUE(m.Present);
    EXPECT_EQ(m.Rows, 1u);
    EXPECT_EQ(m.Origin, dir / "top-1m.csv.zip");
    EXPECT_EQ(m.ListId, "");
    EXPECT_EQ(StatusOf(folder, ListKind::Tranco).Rows, 300u);
}

TEST(RankLists, AFailedImportKeepsTheOldList) {
    const ListsTempDir dir;
    ImportContent(TrancoRows(10), dir.Path(), "first");
    const std::string before = ReadBytes(dir / "tranco.idx");
    const std::string zip = MakeZip({{"top-1m.csv", TrancoRows(50)}});

    WriteBytes(dir / "cut.zip", zip.substr(0, zip.size() - 10));
    EXPECT_THROW(ImportFile(dir / "cut.zip", dir.Path()), ListError);
    EXPECT_THROW(ImportContent("<html>502 Bad Gateway</html>", dir.Path(), "second"), ListError);
    // A download from the wrong address: a list, but not the one expected.
    ImportSource wrongKind;
    wrongKind.Expected = ListKind::Majestic;
    EXPECT_THAT(
        [&] {
            try {
                ImportList(zip, dir.Path(), wrongKind);
            } catch (const ListError& e) {
                return std::string(e.what());
            }
            return std::string();
        }(),
        HasSubstr("a tranco list where a majestic list was expected"));
    EXPECT_THAT(
        [&] {
            try {
                ImportFile(dir / "nowhere.csv", dir.Path());
            } catch (const ListError& e) {
                return std::string(e.what());
            }
            return std::string();
        }(),
        HasSubstr("cannot read " + dir / "nowhere.csv"));

    EXPECT_EQ(ReadBytes(dir / "tranco.idx"), before);
    const ListStatus s = StatusOf(dir.Path(), ListKind::Tranco);
    EXPECT_EQ(s.Rows, 10u);
    EXPECT_EQ(s.Origin, "first");
    EXPECT_FALSE(StatusOf(dir.Path(), ListKind::Majestic).Present);
    // Nothing is left behind: no temporary files, no index of the refused.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 3u);  // tranco.idx, tranco.ini, cut.zip
}

TEST(RankLists, HostsAreFoundByThemselvesThenByTheirRegistrableDomain) {
    const ListsTempDir dir;
    ImportContent(
        "1,example.com\n2,www.example.com\n3,example.co.uk\n4,xn--bcher-kva.de\n5,co.uk\n",
        dir.Path(), "t");
    ImportContent(std::string("Domain,RefSubNets\n") + "example.com,900\nblog.example.com,12\n" +
                      "example.co.uk,77\n",
                  dir.Path(), "m");
    const RankLists lists = RankLists::Open(dir.Path());
    EXPECT_THAT(lists.Warnings(), IsEmpty());
    EXPECT_TRUE(lists.Has(ListKind::Tranco));
    EXPECT_TRUE(lists.Has(ListKind::Majestic));

    // The host itself before its registrable domain.
    EXPECT_EQ(lists.TrafficRank("www.example.com"), 2);
    EXPECT_EQ(lists.TrafficRank("shop.example.com"), 1);
    EXPECT_EQ(lists.TrafficRank("WWW.Example.COM."), 2);
    EXPECT_EQ(lists.RefSubNets("blog.example.com"), 12);
    EXPECT_EQ(lists.RefSubNets("www.example.com"), 900);
    // Under a two-label public suffix: the domain below co.uk, never co.uk.
    EXPECT_EQ(lists.TrafficRank("www.shop.example.co.uk"), 3);
    EXPECT_EQ(lists.RefSubNets("www.shop.example.co.uk"), 77);
    EXPECT_EQ(lists.TrafficRank("www.unlisted.co.uk"), std::nullopt);
    // A host in Unicode is looked up in its xn-- form.
    EXPECT_EQ(lists.TrafficRank("www.b\xC3\xBC"
                                "cher.de"),
              4);
    EXPECT_EQ(lists.TrafficRank("B\xC3\x9C"
                                "CHER.de"),
              4);
    EXPECT_EQ(lists.TrafficRank("www.xn--bcher-kva.de"), 4);
    EXPECT_EQ(lists.TrafficRank("bad\xFF.de"), std::nullopt);
    // Nothing for what is not a host.
    EXPECT_EQ(lists.TrafficRank(""), std::nullopt);
    EXPECT_EQ(lists.TrafficRank("127.0.0.1"), std::nullopt);
    EXPECT_EQ(lists.RefSubNets("unlisted.example"), std::nullopt);
}

TEST(RankLists, MissingDamagedOrStaleListsAreWarnedAbout) {
    const ListsTempDir dir;
    const RankLists none = RankLists::Open(dir / "never-made");
    EXPECT_FALSE(none.Has(ListKind::Tranco));
    EXPECT_EQ(none.TrafficRank("example.com"), std::nullopt);
    EXPECT_EQ(none.RefSubNets("example.com"), std::nullopt);
    EXPECT_THAT(none.Warnings(), ElementsAre(HasSubstr("the tranco list is missing"),
                                             HasSubstr("the majestic list is missing")));

    ImportSource old;
    old.ListTime = Now() - 45 * kDay - 100;
    ImportList(TrancoRows(3), dir.Path(), old);
    ImportContent(std::string(kMajesticHeader) + MajesticRow(1, "a.example", 5), dir.Path(), "m");
    // A damaged index is not an error for the survey: it is told, and the
    // list answers nothing.
    std::string index = ReadBytes(dir / "majestic.idx");
    index[index.size() - 2] = 'X';
    WriteBytes(dir / "majestic.idx", index);

    const RankLists lists = RankLists::Open(dir.Path());
    EXPECT_EQ(lists.TrafficRank("site2.example"), 2);
    EXPECT_FALSE(lists.Has(ListKind::Majestic));
    EXPECT_THAT(lists.Warnings(), ElementsAre(HasSubstr("the tranco list is 45 days old"),
                                              HasSubstr("the majestic list cannot be used: " +
                                                        dir / "majestic.idx")));
    const ListStatus damaged = StatusOf(dir.Path(), ListKind::Majestic);
    EXPECT_FALSE(damaged.Present);
    EXPECT_THAT(damaged.Problem, HasSubstr("checksum"));
}

TEST(RankLists, FilesGivenForOneRunReplaceTheFoldersLists) {
    const ListsTempDir dir;
    ImportContent("1,kept.example\n", dir.Path(), "folder");
    WriteBytes(dir / "run.zip", MakeZip({{"top-1m.csv", "1,run.example\n"}}));
    WriteBytes(dir / "majestic.csv", std::string(kMajesticHeader) + MajesticRow(1, "a.example", 5));

    const RankLists run = RankLists::Open(dir.Path(), dir / "run.zip", dir / "majestic.csv");
    EXPECT_EQ(run.TrafficRank("run.example"), 1);
    EXPECT_EQ(run.TrafficRank("kept.example"), std::nullopt);
    EXPECT_EQ(run.RefSubNets("www.a.example"), 5);
    EXPECT_THAT(run.Warnings(), IsEmpty());
    // The folder is as it was.
    EXPECT_EQ(RankLists::Open(dir.Path()).TrafficRank("kept.example"), 1);
    EXPECT_FALSE(StatusOf(dir.Path(), ListKind::Majestic).Present);

    const auto refusal = [&](const std::string& tranco, const std::string& majestic) {
        try {
            RankLists::Open(dir.Path(), tranco, majestic);
        } catch (const ListError& e) {
            return std::string(e.what());
        }
        return std::string("(opened)");
    };
    EXPECT_THAT(refusal(dir / "majestic.csv", ""),
                HasSubstr(dir / "majestic.csv" + ": a majestic list, given as the tranco list"));
    WriteBytes(dir / "page.html", "<html>Not Found</html>");
    EXPECT_THAT(refusal("", dir / "page.html"), HasSubstr(dir / "page.html" + ": an HTML"));
    EXPECT_THAT(refusal(dir / "absent.csv", ""), HasSubstr("cannot read"));
}

}  // namespace
}  // namespace corvane::lists
