#include "engine/survey_run.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/site_figures.h"
#include "fake_host.h"

namespace corvane::engine {
namespace {

using testing::FakeHost;
using testing::Rows;
using Table = std::vector<std::vector<std::string>>;

const std::string kSearch = "http://search.yahoo.com/search?p=";
const std::string kTraffic = "http://www.alexa.com/data/details/?url=www.";

std::string Entry(const std::string& url) {
    return "<li><a href=\"" + url + "\">A site</a><br><em class=url>" + url + "</em></li>\n";
}

std::string ResultsPage(const std::vector<std::string>& urls) {
    std::string page = "<html><h1>Results</h1><p>Results 1 - 3 of about <b>3</b></p><ol>";
    for (const auto& u : urls)
        page += Entry(u);
    return page + "</ol></html>";
}

// A small web: three sites with known figures.
void AddSites(FakeHost& h) {
    h.pages[kSearch + "link%3Ahttp%3A%2F%2Fwww.alpha.com"] = "of about <b>1,200</b>";
    h.pages[kSearch + "link%3Ahttp%3A%2F%2Fbeta.org"] = "of about <b>45</b>";
    h.pages[kSearch + "link%3Ahttp%3A%2F%2Fgamma.net"] = "nothing found";
    h.pages["http://www.alpha.com"] =
        "<a href=\"http://x.com\">x</a><a href=\"/y\">y</a><a href=\"https://z\">";
    h.pages["http://beta.org"] = "<a href=\"www.q.com\">";
    h.pages["http://gamma.net"] = "";
    h.pages[kTraffic + "alpha.com"] = "traffic rank for alpha.com: <b>1</b>,<b>234</b><br>";
    h.pages[kTraffic + "beta.org"] = "traffic rank for beta.org: <b>77</b><br>";
    h.pages[kTraffic + "gamma.net"] = "no rank";
}

const Table kThreeRows = {
    {"www.alpha.com", "1", "1200", "2", "3000", "12"},
    {"beta.org", "2", "45", "1", "150", "7"},
    {"gamma.net", "3", "0", "0", "0", "999999999"},
};

TEST(RunSurvey, KeywordSurveyRequestsAndRows) {
    FakeHost h;
    AddSites(h);
    const std::string query = kSearch + "%22Link+Building+tips%22&ei=UTF-8&n=20&b=1";
    h.pages[query] =
        ResultsPage({"http://www.alpha.com/index.html", "http://beta.org/", "http://GAMMA.net"});
    RunSurvey(h, "Link Building tips", 20, 0, SurveyMode::Keyword);

    EXPECT_EQ(Rows(h.table), kThreeRows);
    for (std::size_t i = 0; i < h.table.Count(); ++i)
        EXPECT_FALSE(h.table.Row(i).Checked);
    EXPECT_EQ(h.Urls(), (std::vector<std::string>{
                            query,
                            kSearch + "link%3Ahttp%3A%2F%2Fwww.alpha.com",
                            "http://www.alpha.com",
                            kTraffic + "alpha.com",
                            kSearch + "link%3Ahttp%3A%2F%2Fbeta.org",
                            "http://beta.org",
                            kTraffic + "beta.org",
                            kSearch + "link%3Ahttp%3A%2F%2Fgamma.net",
                            "http://gamma.net",
                            kTraffic + "gamma.net",
                        }));
    for (const auto& f : h.fetches)
        EXPECT_EQ(f.port, 80);
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Link Building tips", "www.alpha.com",
                                                    "beta.org", "gamma.net"}));
    EXPECT_FALSE(h.stop);
}

TEST(RunSurvey, DomainSurveyEscapesTheTargetAndSendsNoPaging) {
    FakeHost h;
    AddSites(h);
    const std::string query = kSearch + "link%3Ahttp%3A%2F%2Fmy%20site.com%2Fshop";
    h.pages[query] =
        ResultsPage({"http://www.alpha.com/", "http://beta.org/x", "http://gamma.net/"});
    RunSurvey(h, "my site.com/shop", 20, 10, SurveyMode::Domain);
    ASSERT_FALSE(h.fetches.empty());
    EXPECT_EQ(h.fetches[0].url, query);
    Table expected = kThreeRows;
    // Ranks start at skip + 1 in this mode too, and the divisors follow.
    expected[0][1] = "11";
    expected[0][4] = "500";  // 1200*10 / (12*2)
    expected[1][1] = "12";
    expected[1][4] = "35";  // 45*10 / 13 = 34.6
    expected[2][1] = "13";
    EXPECT_EQ(Rows(h.table), expected);
}

TEST(RunSurvey, KeywordHoldingAmpersandIsSentUnescaped) {
    const ServiceEndpoints e;
    EXPECT_EQ(SurveyQueryUrl(e, "a&b c", 30, 4, SurveyMode::Keyword),
              kSearch + "%22a&b+c%22&ei=UTF-8&n=30&b=5");
}

TEST(ParseResults, ScansFromOfAboutAndTakesEmTextFromLaterEntries) {
    FakeHost h;
    // The "<li>" before "of about" is not a result; the second entry has no
    // em of its own and takes the third's.
    const std::string page =
        "<li><em>http://nav.com</em> ... OF ABOUT 5 <li>no em here<li><em>HTTP://Beta.org/x</em>";
    ParseResults(h, page, 0);
    ASSERT_EQ(h.table.Count(), 2u);
    EXPECT_EQ(h.table.Row(0).Caption, "beta.org");
    EXPECT_EQ(h.table.Row(1).Caption, "beta.org");
}

TEST(ParseResults, RejectedEntriesStillMakeCompleteRows) {
    FakeHost h;
    ParseResults(h, "of about<li><em>ab</em></li><li><em>nodot</em></li><li>no em at all</li>", 0);
    ASSERT_EQ(h.table.Count(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(h.table.Row(i).Caption, "");
        EXPECT_EQ(h.table.Row(i).Cells.size(), 5u);
        EXPECT_EQ(h.table.Row(i).Cells[2], "0");  // no home page fetched for an empty host
    }
    // An empty host still sends the inbound and traffic queries.
    EXPECT_EQ(h.fetches[0].url, kSearch + "link%3Ahttp%3A%2F%2F");
    EXPECT_EQ(h.fetches[1].url, kTraffic);
    EXPECT_EQ(h.fetches.size(), 6u);
}

TEST(ParseResults, PageWithoutEntriesLeavesAnEmptyTable) {
    FakeHost h;
    EXPECT_TRUE(h.table.SetCaption(h.table.Append(), "old"));
    ParseResults(h, "<li>before</li> of about nothing", 0);
    EXPECT_EQ(h.table.Count(), 0u);
    EXPECT_TRUE(h.fetches.empty());
}

TEST(NextResultHost, TakesEntriesOffTheFront) {
    std::string page = "<li><em class=x>http://www.one.com/a</em></li><li><em>two.net</em></li>";
    std::string_view v = page;
    EXPECT_EQ(NextResultHost(v), "www.one.com");
    EXPECT_EQ(v.substr(0, 4), "<li>");
    EXPECT_EQ(NextResultHost(v), "two.net");
    EXPECT_EQ(v, "<em>two.net</em></li>");  // no further "<li>": all that followed the last one
    std::string_view empty;
    EXPECT_EQ(NextResultHost(empty), "");
}

TEST(RunSurvey, SkipNumbersTheRowsAndWraps) {
    struct Case {
        std::int32_t skip;
        std::string firstRank, firstValue, secondRank;
    };
    // inbound 1200, outbound 2 for the first row (divisor rank + 1).
    const Case cases[] = {
        {0, "1", "3000", "2"},
        {10, "11", "500", "12"},
        {-1, "0", "6000", "1"},
        {-2, "-1", "0", "0"},                            // divisor 0
        {2147483646, "2147483647", "0", "-2147483648"},  // 1200*10/(-2^31*2) rounds to 0
        {2147483647, "-2147483648", "0", "-2147483647"},
    };
    for (const auto& c : cases) {
        FakeHost h;
        AddSites(h);
        h.onFetch = nullptr;
        const std::string url = SurveyQueryUrl(h.endpoints, "k", 20, c.skip, SurveyMode::Keyword);
        h.pages[url] = ResultsPage({"http://www.alpha.com/", "http://beta.org/"});
        RunSurvey(h, "k", 20, c.skip, SurveyMode::Keyword);
        ASSERT_EQ(h.table.Count(), 2u) << c.skip;
        EXPECT_EQ(h.table.Row(0).Cells[0], c.firstRank) << c.skip;
        EXPECT_EQ(h.table.Row(0).Cells[3], c.firstValue) << c.skip;
        EXPECT_EQ(h.table.Row(1).Cells[0], c.secondRank) << c.skip;
    }
    EXPECT_NE(SurveyQueryUrl({}, "k", 20, 2147483647, SurveyMode::Keyword).find("&b=-2147483648"),
              std::string::npos);
}

// A survey over n identical entries, each with figures that convert.
void ManyRows(FakeHost& h, int n) {
    std::vector<std::string> urls;
    for (int i = 0; i < n; ++i)
        urls.push_back("http://s" + std::to_string(i) + ".com/");
    h.pages[kSearch + "%22k%22&ei=UTF-8&n=20&b=1"] = ResultsPage(urls);
}

TEST(RunSurvey, StopEndsTheRunAfterTheCurrentRow) {
    for (int stopRow = 0; stopRow < 3; ++stopRow) {
        FakeHost h;
        ManyRows(h, 5);
        // Stop pressed while the run fetches the inbound figure of a row.
        h.onFetch = [&](const std::string& url) {
            if (url.find("link%3A") != std::string::npos &&
                url.find("s" + std::to_string(stopRow) + ".com") != std::string::npos) {
                h.stop = true;
            }
            return h.pages.count(url) ? h.pages[url] : std::string();
        };
        RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
        ASSERT_EQ(h.table.Count(), static_cast<std::size_t>(stopRow + 1));
        EXPECT_EQ(h.table.Row(static_cast<std::size_t>(stopRow)).Cells.size(), 5u);
        EXPECT_TRUE(h.stop);
    }
}

TEST(RunSurvey, StopDuringTheResultsFetchIsOverridden) {
    FakeHost h;
    ManyRows(h, 3);
    h.onFetch = [&](const std::string& url) {
        if (url.find("%22k%22") != std::string::npos)
            h.stop = true;
        return h.pages.count(url) ? h.pages[url] : std::string();
    };
    RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
    EXPECT_EQ(h.table.Count(), 3u);
    EXPECT_FALSE(h.stop);
}

TEST(RunSurvey, EscapeIsPolledOncePerRow) {
    for (int row = 1; row <= 3; ++row) {
        FakeHost h;
        ManyRows(h, 5);
        h.escapeAtPoll = row;
        RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
        EXPECT_EQ(h.table.Count(), static_cast<std::size_t>(row));
        EXPECT_EQ(h.escapePolls, row);
    }
}

TEST(RunSurvey, RowReorderedDuringAPumpKeepsItsCells) {
    FakeHost h;
    ManyRows(h, 3);
    // Before every pump of the third row, sort the table backwards by caption,
    // so that the row being filled moves around.
    h.onPump = [&](int) {
        if (h.table.Count() == 3) {
            h.table.Sort([](const ResultRow& a, const ResultRow& b) {
                return b.Caption.compare(a.Caption);
            });
        }
    };
    RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
    ASSERT_EQ(h.table.Count(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const ResultRow& r = h.table.Row(i);
        ASSERT_EQ(r.Cells.size(), 5u) << r.Caption;
        EXPECT_EQ(r.Cells[0],
                  std::to_string(std::stoi(r.Caption.substr(1)) + 1));  // rank follows the site
    }
    EXPECT_EQ(h.table.Row(0).Caption, "s2.com");
}

TEST(RunSurvey, ARunWhoseRowLeavesTheTableEndsWithoutWriting) {
    FakeHost h;
    ManyRows(h, 4);
    bool replaced = false;
    h.onPump = [&](int) {
        // While the second row is being filled, something else (a file being
        // opened, say) replaces the table.
        if (!replaced && h.table.Count() == 2 && h.table.Row(1).Cells.size() == 2) {
            replaced = true;
            h.table.Clear();
            EXPECT_TRUE(h.table.SetCaption(h.table.Append(), "from a file"));
        }
    };
    RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
    ASSERT_EQ(h.table.Count(), 1u);
    EXPECT_EQ(h.table.Row(0).Caption, "from a file");
    EXPECT_TRUE(h.table.Row(0).Cells.empty());
}

TEST(RunSurvey, AHostThatGivesTheRunUpEndsItBeforeTheNextCell) {
    // Given up inside the inbound figure's pump, inside the outbound figure's
    // pump, and at the last pump of the first row: the cells written before.
    const std::pair<int, std::size_t> cases[] = {{6, 1}, {8, 2}, {13, 5}};
    for (const auto& [atPump, cells] : cases) {
        FakeHost h;
        ManyRows(h, 3);
        h.onPump = [&, atPump = atPump](int n) {
            if (n == atPump)
                throw RunAbandoned{};
        };
        EXPECT_THROW(RunSurvey(h, "k", 20, 0, SurveyMode::Keyword), RunAbandoned) << atPump;
        ASSERT_EQ(h.table.Count(), 1u) << atPump;
        EXPECT_EQ(h.table.Row(0).Cells.size(), cells) << atPump;
        EXPECT_EQ(h.pumps, atPump);  // nothing ran after it
    }
    FakeHost h;
    ManyRows(h, 3);
    h.onFetch = [&](const std::string& url) -> std::string {
        if (url.find("alexa") != std::string::npos)
            throw RunAbandoned{};
        return h.pages.count(url) ? h.pages[url] : std::string();
    };
    EXPECT_THROW(RunSurvey(h, "k", 20, 0, SurveyMode::Keyword), RunAbandoned);
    ASSERT_EQ(h.table.Count(), 1u);
    EXPECT_EQ(h.table.Row(0).Cells.size(), 4u);  // the traffic rank never came
}

TEST(RunSurvey, FailingFetchOfTheResultsPageKeepsThePreviousTable) {
    FakeHost h;
    EXPECT_TRUE(h.table.SetCaption(h.table.Append(), "previous"));
    h.onFetch = [](const std::string&) -> std::string {
        throw std::runtime_error("no network client");
    };
    EXPECT_THROW(RunSurvey(h, "k", 20, 0, SurveyMode::Keyword), std::runtime_error);
    ASSERT_EQ(h.table.Count(), 1u);
    EXPECT_EQ(h.table.Row(0).Caption, "previous");
}

TEST(RunSurvey, PreviousTableStaysUntilTheResultsPageArrives) {
    FakeHost h;
    ManyRows(h, 1);
    EXPECT_TRUE(h.table.SetCaption(h.table.Append(), "previous"));
    std::size_t countDuringFetch = 0;
    h.onFetch = [&](const std::string& url) {
        if (h.fetches.size() == 1)
            countDuringFetch = h.table.Count();
        return h.pages.count(url) ? h.pages[url] : std::string();
    };
    RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
    EXPECT_EQ(countDuringFetch, 1u);
    EXPECT_EQ(h.table.Row(0).Caption, "s0.com");
}

TEST(RunSurvey, FigureThatDoesNotConvertCompletesTheRowThenFails) {
    FakeHost h;
    ManyRows(h, 3);
    h.pages[kSearch + "link%3Ahttp%3A%2F%2Fs1.com"] = "of about <b>9,999,999,999</b>";
    h.pages[kTraffic + "s1.com"] = "<b>5</b><br>";
    try {
        RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
        FAIL() << "expected a conversion failure";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'9999999999' is not a valid integer value");
    }
    ASSERT_EQ(h.table.Count(), 2u);
    const ResultRow& r = h.table.Row(1);
    EXPECT_EQ(r.Cells,
              (std::vector<std::string>{"2", "9999999999", "0", kLinkValuePlaceholder, "5"}));
    EXPECT_FALSE(r.Checked);
}

TEST(RunSurvey, EmptyInboundFigureAlsoFailsTheConversion) {
    FakeHost h;
    ManyRows(h, 2);
    h.pages[kSearch + "link%3Ahttp%3A%2F%2Fs0.com"] = "of about <b> </b>";
    EXPECT_THROW(RunSurvey(h, "k", 20, 0, SurveyMode::Keyword), ConvertError);
    ASSERT_EQ(h.table.Count(), 1u);
    EXPECT_EQ(h.table.Row(0).Cells[1], "");
    EXPECT_EQ(h.table.Row(0).Cells[3], kLinkValuePlaceholder);
}

}  // namespace
}  // namespace corvane::engine
