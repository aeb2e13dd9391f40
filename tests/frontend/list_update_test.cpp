// Downloading the rank lists from a loopback web server: both lists
// imported with the list ID and the progress of each download, and every
// kind of failed download keeping the old list.
#include "frontend/list_update.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "frontend/page_fetcher.h"
#include "lists/list_store.h"
#include "tests/lists/list_samples.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/web_servers.h"

namespace corvane::frontend {
namespace {

using corvane::testing::NginxServer;
using corvane::testing::PeerScript;
using corvane::testing::RefusingPort;
using corvane::testing::ScriptedPeer;
using corvane::testing::lists::kMajesticHeader;
using corvane::testing::lists::ListsTempDir;
using corvane::testing::lists::MajesticRow;
using corvane::testing::lists::MakeZip;
using corvane::testing::lists::ReadBytes;
using corvane::testing::lists::TrancoRows;
using lists::ListKind;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string MajesticList(int rows) {
    std::string text = kMajesticHeader;
    for (int i = 1; i <= rows; ++i)
        text += MajesticRow(i, "site" + std::to_string(i) + ".example", 100000 / i);
    return text;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

FrontEndSettings Quick() {
    FrontEndSettings settings;
    settings.Fetch.ConnectTimeoutMs = 2000;
    settings.Fetch.ReadTimeoutMs = 5000;
    settings.Fetch.DeadlineMs = 20000;
    return settings;
}

TEST(ListUpdate, BothListsAreDownloadedWithTheListIdAndProgress) {
    NginxServer web;
    const std::string zip = MakeZip({{"top-1m.csv", TrancoRows(30000)}});
    const std::string majestic = MajesticList(20000);
    web.AddFile("top-1m.csv.zip", zip);
    web.AddFile("top-1m-id", "K8QW3\n");
    web.AddFile("majestic_million.csv", majestic);
    const ListsTempDir dir;
    const std::string folder = dir / "lists";

    ListSources sources;
    sources.TrancoUrl = web.Url("/top-1m.csv.zip");
    sources.TrancoIdUrl = web.Url("/top-1m-id");
    sources.MajesticUrl = web.Url("/majestic_million.csv");
    PageFetcher fetcher(Quick());
    std::vector<ListDownloadProgress> seen;
    const auto outcomes = UpdateLists(folder, fetcher, sources,
                                      [&](const ListDownloadProgress& p) { seen.push_back(p); });

    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].Updated) << outcomes[0].Message;
    EXPECT_EQ(outcomes[0].Kind, ListKind::Tranco);
    EXPECT_EQ(outcomes[0].Message, "tranco: 30000 rows (list ID K8QW3)");
    EXPECT_TRUE(outcomes[1].Updated) << outcomes[1].Message;
    EXPECT_EQ(outcomes[1].Message, "majestic: 20000 rows");

    const lists::ListStatus tranco = lists::StatusOf(folder, ListKind::Tranco);
    EXPECT_TRUE(tranco.Present);
    EXPECT_EQ(tranco.ListId, "K8QW3");
    EXPECT_EQ(tranco.Origin, sources.TrancoUrl);
    EXPECT_EQ(lists::StatusOf(folder, ListKind::Majestic).Rows, 20000u);
    EXPECT_EQ(lists::RankLists::Open(folder).RefSubNets("www.site4.example"), 25000);
    // No download is left behind.
    EXPECT_THAT(FolderNames(folder),
                ElementsAre("majestic.idx", "majestic.ini", "tranco.idx", "tranco.ini"));

    // Each download tells its total (the Content-Length) and ends at it,
    // never going back.
    for (ListKind kind : {ListKind::Tranco, ListKind::Majestic}) {
        const auto expected =
            static_cast<std::int64_t>(kind == ListKind::Tranco ? zip.size() : majestic.size());
        std::int64_t last = -1;
        std::size_t calls = 0;
        for (const ListDownloadProgress& p : seen) {
            if (p.Kind != kind)
                continue;
            ++calls;
            EXPECT_EQ(p.Total, expected);
            EXPECT_GE(p.Received, last);
            last = p.Received;
        }
        EXPECT_GE(calls, 2u);
        EXPECT_EQ(last, expected);
    }
}

TEST(ListUpdate, AFailedDownloadKeepsTheOldList) {
    const ListsTempDir dir;
    lists::ImportContent(TrancoRows(7), dir.Path(), "old tranco", "OLD1");
    lists::ImportContent(MajesticList(5), dir.Path(), "old majestic");
    const std::string trancoBefore = ReadBytes(dir / "tranco.idx");
    const std::string majesticBefore = ReadBytes(dir / "majestic.idx");

    NginxServer web;
    web.AddFile("error.html", "<!DOCTYPE html><html><body>Rate limited</body></html>");
    web.AddFile("majestic.csv", MajesticList(3));
    web.AddFile("cut.zip", MakeZip({{"top-1m.csv", TrancoRows(5000)}}).substr(0, 9000));
    // A server that promises more than it sends.
    ScriptedPeer shortBody(
        PeerScript()
            .ReadUntil("\r\n\r\n")
            .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n1,a.example\n")
            .Close());
    const RefusingPort refusing;
    const std::string shortUrl = "http://127.0.0.1:" + std::to_string(shortBody.Port()) + "/list";
    const std::string refusedUrl = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/list";

    struct Case {
        std::string trancoUrl, majesticUrl, trancoWhy, majesticWhy;
    };
    const Case cases[] = {
        {web.Url("/missing.zip"), web.Url("/error.html"), "answered 404", "gave an HTML"},
        {web.Url("/majestic.csv"), web.Url("/cut.zip"),
         "a majestic list where a tranco list was expected", "zip archive"},
        {shortUrl, refusedUrl, "failed", "failed"},
    };
    PageFetcher fetcher(Quick());
    for (const Case& c : cases) {
        ListSources sources;
        sources.TrancoUrl = c.trancoUrl;
        sources.TrancoIdUrl = web.Url("/no-id");
        sources.MajesticUrl = c.majesticUrl;
        const auto outcomes = UpdateLists(dir.Path(), fetcher, sources);
        ASSERT_EQ(outcomes.size(), 2u);
        EXPECT_FALSE(outcomes[0].Updated);
        EXPECT_THAT(outcomes[0].Message, HasSubstr(c.trancoWhy));
        EXPECT_THAT(outcomes[0].Message, HasSubstr("the old list is kept"));
        EXPECT_FALSE(outcomes[1].Updated);
        EXPECT_THAT(outcomes[1].Message, HasSubstr(c.majesticWhy));
        EXPECT_EQ(ReadBytes(dir / "tranco.idx"), trancoBefore);
        EXPECT_EQ(ReadBytes(dir / "majestic.idx"), majesticBefore);
        EXPECT_THAT(FolderNames(dir.Path()),
                    ElementsAre("majestic.idx", "majestic.ini", "tranco.idx", "tranco.ini"));
    }
    EXPECT_EQ(lists::StatusOf(dir.Path(), ListKind::Tranco).ListId, "OLD1");

    // Cancelled: both lists are told as such.
    net::FetchCancel cancel;
    cancel.Cancel();
    const auto cancelled = UpdateLists(dir.Path(), fetcher, ListSources(), {}, &cancel);
    EXPECT_THAT(cancelled[0].Message, HasSubstr("tranco: cancelled"));
    EXPECT_THAT(cancelled[1].Message, HasSubstr("majestic: cancelled"));
    EXPECT_EQ(ReadBytes(dir / "tranco.idx"), trancoBefore);
}

// The demo web is a plain HTTP proxy: it is asked for the lists over http,
// whether or not it serves them.
TEST(ListUpdate, TheDemoWebIsAskedOverHttp) {
    const ListsTempDir dir;
    FrontEndSettings settings = Quick();
    settings.Demo = true;
    PageFetcher fetcher(settings);
    const auto outcomes = UpdateLists(dir.Path(), fetcher, ListSources());
    ASSERT_EQ(outcomes.size(), 2u);
    const std::string asked[] = {"http://tranco-list.eu/", "http://downloads.majestic.com/"};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string said = outcomes[i].Updated
                                     ? lists::StatusOf(dir.Path(), outcomes[i].Kind).Origin
                                     : outcomes[i].Message;
        EXPECT_THAT(said, HasSubstr(asked[i]));
    }
}

}  // namespace
}  // namespace corvane::frontend
