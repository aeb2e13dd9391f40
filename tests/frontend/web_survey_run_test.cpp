// A survey of today's web as the front ends run it: what a finished fetch
// tells the survey, the run over the fetch scheduler against the in-process
// demo web, and the profile, base address and rank lists the settings give.
#include "frontend/web_survey_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "demo/synthetic_lists.h"
#include "frontend/page_fetcher.h"
#include "search/profile_catalog.h"
#include "tests/lists/list_samples.h"

namespace corvane::frontend {
namespace {

using corvane::testing::lists::kMajesticHeader;
using corvane::testing::lists::ListsTempDir;
using corvane::testing::lists::MajesticRow;
using corvane::testing::lists::WriteBytes;
using lists::ListKind;
using ::testing::HasSubstr;

FetchCompletion Failed(net::FetchFailure failure, std::int32_t status) {
    FetchCompletion c;
    c.Ticket = 7;
    c.Body = "partial";
    c.Result.Status = status;
    c.Result.Failure = failure;
    c.Result.FinalUrl = "https://final.example/";
    c.Result.Message = "what went wrong";
    return c;
}

TEST(WebSurveyRun, AFetchFailsBeforeTheResponseOnlyWhenNothingCameFromTheOrigin) {
    for (const net::FetchFailure f : {net::FetchFailure::Name, net::FetchFailure::Connect,
                                      net::FetchFailure::Proxy, net::FetchFailure::Tls}) {
        const search::WebFetched w = ToWebFetched(Failed(f, 0));
        EXPECT_TRUE(w.Failed) << net::FetchFailureName(f);
        EXPECT_TRUE(w.FailedBeforeResponse) << net::FetchFailureName(f);
        EXPECT_EQ(w.Message, "what went wrong");
        EXPECT_EQ(w.Body, "partial");
        // The same failure once a status line is in (a later hop of a
        // redirect): the origin did answer.
        EXPECT_FALSE(ToWebFetched(Failed(f, 301)).FailedBeforeResponse) << net::FetchFailureName(f);
    }
    // A time-out or a bad answer after the headers: the origin spoke.
    for (const net::FetchFailure f :
         {net::FetchFailure::Deadline, net::FetchFailure::Protocol, net::FetchFailure::Limit}) {
        const search::WebFetched w = ToWebFetched(Failed(f, 200));
        EXPECT_TRUE(w.Failed);
        EXPECT_FALSE(w.FailedBeforeResponse) << net::FetchFailureName(f);
        EXPECT_EQ(w.Status, 200);
        EXPECT_EQ(w.FinalUrl, "https://final.example/");
    }
    // A time-out before any byte is still not one of the four causes that
    // make the survey try plain http.
    EXPECT_FALSE(ToWebFetched(Failed(net::FetchFailure::Deadline, 0)).FailedBeforeResponse);

    const search::WebFetched ok = ToWebFetched(Failed(net::FetchFailure::None, 200));
    EXPECT_FALSE(ok.Failed);
    EXPECT_FALSE(ok.FailedBeforeResponse);

    // The fetch function itself threw: no client could be set up.
    FetchCompletion thrown;
    thrown.Error = std::make_exception_ptr(std::runtime_error("no socket for you"));
    const search::WebFetched w = ToWebFetched(std::move(thrown));
    EXPECT_TRUE(w.Failed);
    EXPECT_TRUE(w.FailedBeforeResponse);
    EXPECT_EQ(w.Status, 0);
    EXPECT_EQ(w.Message, "no socket for you");
}

TEST(WebSurveyRun, ASearchRequestBecomesAFetchRequestAsItIs) {
    search::SearchRequest post;
    post.Method = "POST";
    post.Url = "https://html.example/html/";
    post.Body = "q=garden+tools&s=10";
    post.ContentType = "application/x-www-form-urlencoded; charset=utf-8";
    post.Headers = {{"Referer", "https://html.example/"}, {"Cookie", "kl=us-en"}};
    const net::FetchRequest r = ToFetchRequest(post);
    EXPECT_EQ(r.Method, "POST");
    EXPECT_EQ(r.Url, post.Url);
    EXPECT_EQ(r.Body, post.Body);
    EXPECT_EQ(r.ContentType, post.ContentType);
    EXPECT_EQ(r.Headers, post.Headers);
    EXPECT_EQ(net::RequestRefusal(r), "");

    // No content type given: the fetch's own form type stays.
    search::SearchRequest get;
    get.Url = "https://s.example/search?q=x";
    EXPECT_EQ(ToFetchRequest(get).ContentType, net::FetchRequest().ContentType);
    EXPECT_EQ(ToFetchRequest(get).Method, "GET");
}

// Rank lists of the tests' own: a temporary data and configuration home.
class WebSurveySettings : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* value = ::getenv(name);
            saved_[name] = value == nullptr ? std::string("\x01") : std::string(value);
        }
        ::setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value == "\x01")
                ::unsetenv(name.c_str());
            else
                ::setenv(name.c_str(), value.c_str(), 1);
        }
    }

    ListsTempDir home_;
    std::map<std::string, std::string> saved_;
};

// "rank,domain" lines and the Majestic CSV as maps: domain to figure.
std::map<std::string, std::string> ParseList(const std::string& csv, int keyColumn,
                                             int valueColumn) {
    std::map<std::string, std::string> out;
    std::istringstream in(csv);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string f; std::getline(cells, f, ',');)
            fields.push_back(f);
        if (static_cast<int>(fields.size()) <= std::max(keyColumn, valueColumn))
            continue;
        const std::string& value = fields[static_cast<std::size_t>(valueColumn)];
        if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos)
            out.emplace(fields[static_cast<std::size_t>(keyColumn)],
                        fields[static_cast<std::size_t>(valueColumn)]);
    }
    return out;
}

// The list's figure for the host itself, else its registrable domain.
std::string Lookup(const std::map<std::string, std::string>& list, const std::string& host,
                   const std::string& absent) {
    if (const auto it = list.find(host); it != list.end())
        return it->second;
    if (const auto it = list.find(lists::RegistrableDomain(host)); it != list.end())
        return it->second;
    return absent;
}

// The front end's request function over a fetcher, as both front ends make it.
RequestFunction Through(PageFetcher& fetcher) {
    return [&fetcher](const net::FetchRequest& request, net::FetchCancel& cancel) {
        net::FetchOptions o = fetcher.Options();
        o.Cancel = &cancel;
        return fetcher.Request(request, o);
    };
}

FetchFunction NoPlainFetch() {
    return [](const std::string& url, int, net::FetchCancel&) -> std::string {
        throw std::logic_error("a plain fetch of " + url);
    };
}

TEST_F(WebSurveySettings, ASearxngSurveyOfTheDemoWebGivesTheDemoListsFigures) {
    FrontEndSettings settings;
    settings.Demo = true;
    settings.Profile = "searxng";
    PageFetcher fetcher(settings);
    const std::optional<search::SearchProfile> profile = SurveyProfile(settings);
    ASSERT_TRUE(profile.has_value());
    EXPECT_EQ(profile->Name, "searxng");
    const std::string base = SurveyBase(settings, fetcher, *profile);
    EXPECT_EQ(base, fetcher.DemoAddress());
    const lists::RankLists lists = SurveyLists(settings, fetcher);
    EXPECT_TRUE(lists.Has(ListKind::Tranco));
    EXPECT_TRUE(lists.Has(ListKind::Majestic));
    EXPECT_TRUE(lists.Warnings().empty());

    FetchScheduler scheduler({4, 2}, NoPlainFetch(), Through(fetcher));
    engine::ResultsTable table;
    std::size_t lastTotal = 0;
    ScheduledSurveyHooks hooks;
    hooks.Progress = [&lastTotal](std::size_t, std::size_t total) { lastTotal = total; };
    const WebSurveyEnd end = RunWebSurvey(table, scheduler, *profile, lists, base, "garden tools",
                                          20, 0, engine::SurveyMode::Keyword, hooks);
    EXPECT_FALSE(end.Stopped);
    EXPECT_EQ(end.Failure, "");
    EXPECT_TRUE(end.Notes.empty()) << end.Notes.front();
    ASSERT_EQ(table.Count(), 20u);
    EXPECT_EQ(lastTotal, 20u);

    const demo::SyntheticWeb& web = *fetcher.DemoData();
    const auto tranco = ParseList(demo::TrancoListCsv(web), 1, 0);
    const auto majestic = ParseList(demo::MajesticListCsv(web), 2, 4);
    ASSERT_GT(tranco.size(), 100u);
    ASSERT_GT(majestic.size(), 100u);
    int ranked = 0;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const engine::ResultRow& row = table.Row(i);
        ASSERT_EQ(row.Cells.size(), 5u) << row.Caption;
        EXPECT_EQ(row.Cells[0], std::to_string(i + 1));
        EXPECT_EQ(row.Cells[1], Lookup(majestic, row.Caption, "0")) << row.Caption;
        EXPECT_EQ(row.Cells[4], Lookup(tranco, row.Caption, "999999999")) << row.Caption;
        ranked += row.Cells[4] != "999999999" ? 1 : 0;
    }
    // The demo's search answers are mostly listed sites, not all fallbacks.
    EXPECT_GT(ranked, 10);
}

TEST_F(WebSurveySettings, StopEndsTheRunWithItsCompleteRowsAlone) {
    FrontEndSettings settings;
    settings.Demo = true;
    settings.Profile = "searxng";
    PageFetcher fetcher(settings);
    const search::SearchProfile profile = *SurveyProfile(settings);
    const lists::RankLists lists = SurveyLists(settings, fetcher);
    // The result pages and the first home page asked for come from the demo
    // web; every later home page waits until the run cancels it.
    std::atomic<int> homePages{0};
    RequestFunction demoFetch = Through(fetcher);
    RequestFunction fetch = [&](const net::FetchRequest& request, FetchContext& cancel) {
        if (request.Url.find("/search?") == std::string::npos && homePages.fetch_add(1) > 0) {
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!cancel.Cancelled() && std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return RequestOutcome{};
        }
        return demoFetch(request, cancel);
    };
    FetchScheduler scheduler({4, 2}, NoPlainFetch(), fetch);
    engine::ResultsTable table;
    std::size_t completedAtStop = 0;
    ScheduledSurveyHooks hooks;
    hooks.Progress = [&completedAtStop](std::size_t completed, std::size_t) {
        if (completedAtStop == 0)
            completedAtStop = completed;
    };
    hooks.StopRequested = [&completedAtStop] { return completedAtStop > 0; };
    hooks.PollInterval = std::chrono::milliseconds(5);
    const std::uint64_t before = fetcher.RequestCount();
    const WebSurveyEnd end =
        RunWebSurvey(table, scheduler, profile, lists, SurveyBase(settings, fetcher, profile),
                     "garden tools", 20, 0, engine::SurveyMode::Keyword, hooks);
    EXPECT_TRUE(end.Stopped);
    EXPECT_EQ(end.Failure, "");
    // One home page completes the rows of its host (a host may hold two
    // results); they stay, the rows waiting for their home page go.
    EXPECT_TRUE(completedAtStop == 1u || completedAtStop == 2u) << completedAtStop;
    ASSERT_EQ(table.Count(), completedAtStop);
    for (std::size_t i = 0; i < table.Count(); ++i) {
        EXPECT_EQ(table.Row(i).Caption, table.Row(0).Caption);
        EXPECT_EQ(table.Row(i).Cells.size(), 5u);
        const int rank = std::stoi(table.Row(i).Cells[0]);
        EXPECT_TRUE(rank >= 1 && rank <= 20) << rank;
    }
    // No worker outlives the run: nothing more reaches the demo web.
    const std::uint64_t after = fetcher.RequestCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(fetcher.RequestCount(), after);
    EXPECT_EQ(after - before, 3u);  // two result pages and one home page
}

TEST_F(WebSurveySettings, TheSettingsNameTheProfileAndItsSearchSource) {
    FrontEndSettings settings;
    for (const char* classic : {"", "classic"}) {
        settings.Profile = classic;
        EXPECT_FALSE(SurveyProfile(settings).has_value()) << classic;
    }
    // A user's file of the classic kind is the classic survey too.
    std::filesystem::create_directories(home_ / "config/corvane/profiles");
    WriteBytes(home_ / "config/corvane/profiles/old.ini", "[profile]\nkind = classic\n");
    settings.Profile = "old";
    EXPECT_FALSE(SurveyProfile(settings).has_value());
    settings.Profile = "nosuch";
    EXPECT_THROW(SurveyProfile(settings), search::ProfileError);

    settings.Profile = "searxng";
    const search::SearchProfile searxng = *SurveyProfile(settings);
    const search::SearchProfile mojeek = search::LoadProfile("mojeek");
    {
        PageFetcher plain(settings);
        // Outside demo mode the searxng profile has no source of its own.
        EXPECT_EQ(SurveyBase(settings, plain, searxng), "");
        settings.SearxngUrl = "https://searx.example/sub";
        EXPECT_EQ(SurveyBase(settings, plain, searxng), "https://searx.example/sub");
        // A profile with its own address keeps it whatever the settings say.
        EXPECT_EQ(SurveyBase(settings, plain, mojeek), "");
    }
    settings.Demo = true;
    PageFetcher demo(settings);
    EXPECT_EQ(SurveyBase(settings, demo, searxng), "https://searx.example/sub");
    settings.SearxngUrl.clear();
    EXPECT_EQ(SurveyBase(settings, demo, searxng), demo.DemoAddress());

    // Without an address the survey cannot make its first request.
    FetchScheduler scheduler({2, 1}, NoPlainFetch(), Through(demo));
    engine::ResultsTable table;
    try {
        RunWebSurvey(table, scheduler, searxng, lists::RankLists(), "", "garden tools", 10, 0,
                     engine::SurveyMode::Keyword);
        ADD_FAILURE() << "no ProfileError";
    } catch (const search::ProfileError& e) {
        EXPECT_THAT(e.what(), HasSubstr("--searxng"));
    }
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(demo.RequestCount(), 0u);
}

TEST_F(WebSurveySettings, ListFilesReplaceTheInstalledOrTheDemoListsForTheRun) {
    FrontEndSettings settings;
    {
        // Nothing installed: both lists are missing, and said so.
        PageFetcher plain(settings);
        const lists::RankLists none = SurveyLists(settings, plain);
        EXPECT_FALSE(none.Has(ListKind::Tranco));
        EXPECT_FALSE(none.Has(ListKind::Majestic));
        EXPECT_EQ(none.Warnings().size(), 2u);
    }
    WriteBytes(home_ / "tranco.csv", "1,example.com\r\n2,www.shop.example.co.uk\r\n");
    WriteBytes(home_ / "majestic.csv",
               std::string(kMajesticHeader) + MajesticRow(1, "example.com", 4321));
    settings.TrancoFile = home_ / "tranco.csv";
    settings.MajesticFile = home_ / "majestic.csv";
    {
        PageFetcher plain(settings);
        const lists::RankLists given = SurveyLists(settings, plain);
        EXPECT_EQ(given.TrafficRank("www.example.com"), 1);
        EXPECT_EQ(given.RefSubNets("example.com"), 4321);
    }

    // In demo mode a file given takes the place of the demo's list; the
    // other list is still the demo's.
    settings.Demo = true;
    settings.MajesticFile.clear();
    PageFetcher demo(settings);
    const demo::SyntheticWeb& web = *demo.DemoData();
    const auto demoTranco = ParseList(demo::TrancoListCsv(web), 1, 0);
    const auto demoMajestic = ParseList(demo::MajesticListCsv(web), 2, 4);
    const lists::RankLists mixed = SurveyLists(settings, demo);
    EXPECT_EQ(mixed.TrafficRank("example.com"), 1);
    EXPECT_FALSE(mixed.TrafficRank(demoTranco.begin()->first).has_value());
    const auto& [domain, subnets] = *demoMajestic.begin();
    EXPECT_EQ(mixed.RefSubNets(domain), std::stoll(subnets));
    EXPECT_TRUE(mixed.Warnings().empty());

    // A file that is not a list is refused, not taken as an empty one.
    WriteBytes(home_ / "page.html", "<html><body>Forbidden</body></html>");
    settings.TrancoFile = home_ / "page.html";
    EXPECT_THROW(SurveyLists(settings, demo), lists::ListError);
}

}  // namespace
}  // namespace corvane::frontend
