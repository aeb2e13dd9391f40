// corvane-cli lists: import, status and update (from a loopback nginx named
// by the environment), their output lines and exit codes; and the progress
// bar and status line they print.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/lists_command.h"
#include "tests/cli/cli_runner.h"
#include "tests/lists/list_samples.h"
#include "tests/support/web_servers.h"

namespace {

using corvane::testing::NginxServer;
using corvane::testing::lists::kMajesticHeader;
using corvane::testing::lists::MajesticRow;
using corvane::testing::lists::MakeZip;
using corvane::testing::lists::TrancoRows;
using corvane::testing::lists::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using namespace corvane::testing::cli;
namespace lists = corvane::lists;

// Runs corvane-cli with its data (and so its lists folder) in `data`.
corvane::testing::ProgramResult ListsCli(const TempDir& data, std::vector<std::string> args,
                                         std::vector<std::string> env = {}) {
    args.insert(args.begin(), "lists");
    env.push_back("XDG_DATA_HOME=" + data.Path());
    return Cli(args, env);
}

TEST(CliLists, ImportThenStatus) {
    const TempDir data;
    const auto before = ListsCli(data, {"status"});
    EXPECT_EQ(before.exitCode, 0);
    EXPECT_THAT(Lines(before.out),
                ElementsAre("lists folder: " + data.Path() + "/corvane/lists",
                            HasSubstr("tranco: missing"), HasSubstr("majestic: missing")));

    WriteBytes(data / "top-1m.csv.zip",
               MakeZip({{"top-1m.csv", TrancoRows(400) + "1,site1.example\n"}}));
    WriteBytes(data / "majestic.csv",
               std::string(kMajesticHeader) + MajesticRow(1, "a.example", 9) + "broken\n");
    WriteBytes(data / "page.html", "<html><body>Forbidden</body></html>");
    const auto imported = ListsCli(data, {"import", data / "top-1m.csv.zip", data / "page.html",
                                          data / "majestic.csv", data / "absent.csv"});
    EXPECT_EQ(imported.exitCode, 1);  // two of the four could not be imported
    EXPECT_THAT(Lines(imported.out),
                ElementsAre("tranco: 400 rows imported from " + data / "top-1m.csv.zip" +
                                ", 1 repeated domain dropped",
                            "majestic: 1 row imported from " + data / "majestic.csv" +
                                ", 1 malformed line skipped"));
    EXPECT_THAT(Lines(imported.err),
                ElementsAre("corvane-cli: " + data / "page.html" +
                                ": an HTML or XML page, not a rank list (a download that went "
                                "wrong?)",
                            HasSubstr("cannot read " + data / "absent.csv")));

    const auto after = ListsCli(data, {"status"});
    EXPECT_EQ(after.exitCode, 0);
    const auto lines = Lines(after.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[1], MatchesRegex("tranco: 400 rows, list of [0-9-]+ \\(0 days old\\), "
                                       "imported [0-9-]+ [0-9:]+ UTC, from .*top-1m.csv.zip"));
    EXPECT_THAT(lines[2], HasSubstr("majestic: 1 row,"));
    EXPECT_THAT(lines[2], HasSubstr("1 malformed line skipped"));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{}, {"frob"}, {"import"}, {"status", "x"}, {"update", "--x"}}) {
        const auto r = ListsCli(data, bad);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_THAT(r.err, HasSubstr("(see corvane-cli --help)"));
    }
}

TEST(CliLists, UpdateFromTheAddressesTheEnvironmentNames) {
    NginxServer web;
    web.AddFile("top-1m.csv.zip", MakeZip({{"top-1m.csv", TrancoRows(5000)}}));
    web.AddFile("id", "W2M9P\n");
    std::string majestic = kMajesticHeader;
    for (int i = 1; i <= 300; ++i)
        majestic += MajesticRow(i, "m" + std::to_string(i) + ".example", 1000 - i);
    web.AddFile("majestic.csv", majestic);
    const std::vector<std::string> env = {"CORVANE_TRANCO_URL=" + web.Url("/top-1m.csv.zip"),
                                          "CORVANE_TRANCO_ID_URL=" + web.Url("/id"),
                                          "CORVANE_MAJESTIC_URL=" + web.Url("/majestic.csv")};
    const TempDir data;
    const auto r = ListsCli(data, {"update", "--max-time", "30"}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(Lines(r.out),
                ElementsAre("tranco: 5000 rows (list ID W2M9P)", "majestic: 300 rows"));
    EXPECT_EQ(r.err, "");  // no bar when stderr is not a terminal
    const auto status = Lines(ListsCli(data, {"status"}).out);
    ASSERT_EQ(status.size(), 3u);
    EXPECT_THAT(status[1], HasSubstr("list ID W2M9P, from " + web.Url("/top-1m.csv.zip")));

    // A list that cannot be had: the other is still updated, the old one
    // kept, and the exit code says that something failed.
    std::vector<std::string> broken = env;
    broken[2] = "CORVANE_MAJESTIC_URL=" + web.Url("/gone.csv");
    const auto failed = ListsCli(data, {"update"}, broken);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_THAT(Lines(failed.out), ElementsAre("tranco: 5000 rows (list ID W2M9P)"));
    EXPECT_THAT(Lines(failed.err), ElementsAre("corvane-cli: majestic: " + web.Url("/gone.csv") +
                                               " answered 404 Not Found; the old list is kept"));
    EXPECT_THAT(Lines(ListsCli(data, {"status"}).out)[2], HasSubstr("majestic: 300 rows"));
}

TEST(CliLists, DownloadBarAndStatusLine) {
    using corvane::cli::DownloadBar;
    using corvane::frontend::ListDownloadProgress;
    EXPECT_EQ(DownloadBar({lists::ListKind::Tranco, 5'000'000, 10'000'000}),
              "[###############...............] tranco   5.0 of 10.0 MB");
    EXPECT_EQ(DownloadBar({lists::ListKind::Majestic, 12'340'000, -1}), "majestic 12.3 MB");
    // More than was announced: a full bar, the true count.
    EXPECT_EQ(DownloadBar({lists::ListKind::Tranco, 3'000'000, 2'000'000}),
              "[##############################] tranco   3.0 of 2.0 MB");

    lists::ListStatus s;
    s.Kind = lists::ListKind::Tranco;
    s.Present = true;
    s.Rows = 1000000;
    s.ListTime = 1767225600;  // 2026-01-01
    s.ListDate = "2026-01-01";
    s.ImportedAt = 1767225600 + 3600;
    s.ListId = "AB12";
    s.Origin = "https://lists.example/top\n1m";
    EXPECT_EQ(corvane::cli::StatusLine(s, 1767225600 + 45 * 86400),
              "tranco: 1000000 rows, list of 2026-01-01 (45 days old, time to update), imported "
              "2026-01-01 01:00 UTC, list ID AB12, from https://lists.example/top?1m");
    s.Present = false;
    s.Problem = "damaged";
    EXPECT_EQ(corvane::cli::StatusLine(s, 0), "tranco: cannot be used: damaged");
}

}  // namespace
