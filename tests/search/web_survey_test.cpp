// A survey of today's web on scripted result pages, home pages and rank
// lists: the rows, their figures, and how a run ends.
#include "search/web_survey.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "engine/site_figures.h"

namespace corvane::search {
namespace {

using lists::ListKind;
using Table = std::vector<std::vector<std::string>>;

class MapIndex : public lists::RankIndex {
  public:
    MapIndex(ListKind kind, std::map<std::string, std::int64_t> values)
        : kind_(kind), values_(std::move(values)) {}
    ListKind Kind() const override { return kind_; }
    std::size_t Size() const override { return values_.size(); }
    std::optional<std::int64_t> Find(std::string_view domain) const override {
        const auto it = values_.find(std::string(domain));
        return it == values_.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    }

  private:
    ListKind kind_;
    std::map<std::string, std::int64_t> values_;
};

lists::RankLists Lists(std::map<std::string, std::int64_t> majestic,
                       std::map<std::string, std::int64_t> tranco) {
    lists::RankLists l;
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    l.Set(ListKind::Majestic, std::make_shared<MapIndex>(ListKind::Majestic, std::move(majestic)),
          now);
    l.Set(ListKind::Tranco, std::make_shared<MapIndex>(ListKind::Tranco, std::move(tranco)), now);
    return l;
}

struct FakeIssuer : WebFetchIssuer {
    std::vector<std::pair<std::uint64_t, SearchRequest>> issued;
    int cancelled = 0;

    void Issue(std::uint64_t ticket, const SearchRequest& request) override {
        issued.emplace_back(ticket, request);
    }
    void CancelAll() override { ++cancelled; }

    // The ticket of the last request for `url`; 0 when none was made.
    std::uint64_t Ticket(const std::string& url) const {
        for (auto it = issued.rbegin(); it != issued.rend(); ++it) {
            if (it->second.Url == url)
                return it->first;
        }
        return 0;
    }
    std::size_t Count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& i : issued)
            n += i.second.Url.rfind(prefix, 0) == 0 ? 1u : 0u;
        return n;
    }
};

const SearchProfile& TestProfile() {
    static const SearchProfile p = ParseProfile(
        "[profile]\ndescription = scripted\n"
        "[request]\nfirst-url = https://s.test/search?q={query}\n"
        "url = https://s.test/search?q={query}&p={page}&t={tok}\npage-limit = 3\n"
        "[answer]\nresults = //li/a/@href\nskip = https://ads.test/\n"
        "block-xpath = //form[@id=\"captcha\"]\n"
        "refused = the test source turns you away\n"
        "[captures]\ntok = //input[@name=\"tok\"]/@value\n",
        "/home/u/.config/corvane/profiles/scripted.ini", "scripted");
    return p;
}

std::string ResultsPage(const std::vector<std::string>& urls, const std::string& tok = "t1") {
    std::string page = "<html><body><ul>";
    for (const std::string& u : urls)
        page += "<li><a href=\"" + u + "\">result</a></li>\n";
    page += "</ul>";
    if (!tok.empty())
        page += "<form><input type=hidden name=tok value=\"" + tok + "\"></form>";
    return page + "</body></html>";
}

WebFetched Ok(std::string body) {
    WebFetched f;
    f.Body = std::move(body);
    f.Status = 200;
    return f;
}

WebFetched Failed(bool beforeResponse, std::string body = {}) {
    WebFetched f;
    f.Body = std::move(body);
    f.Failed = true;
    f.FailedBeforeResponse = beforeResponse;
    f.Status = beforeResponse ? 0 : 200;
    f.Message = beforeResponse ? "connection refused" : "time-out";
    return f;
}

Table Rows(const engine::ResultsTable& table) {
    Table rows;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const engine::ResultRow& r = table.Row(i);
        std::vector<std::string> row{r.Caption};
        row.insert(row.end(), r.Cells.begin(), r.Cells.end());
        rows.push_back(row);
    }
    return rows;
}

// A table holding the survey before.
void Previous(engine::ResultsTable& table) {
    const engine::RowHandle h = table.Append();
    ASSERT_TRUE(table.SetCaption(h, "previous.example"));
}

const std::string kFirst = "https://s.test/search?q=k";

// Every home page answers with an empty page.
void DeliverHomes(WebSurvey& survey, FakeIssuer& issuer) {
    for (const auto& [ticket, request] : std::vector(issuer.issued)) {
        if (request.Url.rfind("https://s.test/", 0) != 0)
            survey.Deliver(ticket, Ok(""));
    }
}

TEST(WebSurvey, FiguresOfEachRow) {
    engine::ResultsTable table;
    Previous(table);
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({{"shop.example.co.uk", 40}, {"example.co.uk", 900}},
                                         {{"shop.example.co.uk", 12}, {"example.co.uk", 77}});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 4, 0, engine::SurveyMode::Keyword);
    ASSERT_EQ(issuer.issued.size(), 1u);
    EXPECT_EQ(issuer.issued[0].second.Url, kFirst);
    EXPECT_EQ(table.Count(), 1u);  // the previous survey stays until the list is in

    survey.Deliver(issuer.Ticket(kFirst),
                   Ok(ResultsPage({"https://ads.test/buy", "https://shop.example.co.uk/a",
                                   "https://WWW.Example.co.uk:8443/b", "https://nowhere.test/x",
                                   "https://both-fail.test/"})));
    // The rows are there at once with what the lists give; every home page
    // is asked for together.
    EXPECT_EQ(Rows(table), (Table{{"shop.example.co.uk", "1", "40"},
                                  {"www.example.co.uk", "2", "900"},
                                  {"nowhere.test", "3", "0"},
                                  {"both-fail.test", "4", "0"}}));
    EXPECT_EQ(survey.TotalRows(), 4u);
    for (const char* home : {"https://shop.example.co.uk/", "https://www.example.co.uk/",
                             "https://nowhere.test/", "https://both-fail.test/"})
        EXPECT_NE(issuer.Ticket(home), 0u) << home;

    survey.Deliver(issuer.Ticket("https://both-fail.test/"), Failed(true));
    survey.Deliver(issuer.Ticket("https://www.example.co.uk/"), Failed(true));
    // Failed after the origin answered: no second try over http.
    survey.Deliver(issuer.Ticket("https://nowhere.test/"),
                   Failed(false, "<a href=\"https://x.example/\">x</a><a href=\"/y\">"));
    EXPECT_EQ(issuer.Ticket("http://nowhere.test/"), 0u);
    survey.Deliver(issuer.Ticket("http://www.example.co.uk/"),
                   Ok("<a href=\"http://one.example/\">1</a> <A HREF=/local>2</A>"));
    survey.Deliver(issuer.Ticket("http://both-fail.test/"), Failed(true));
    EXPECT_FALSE(survey.Finished());
    survey.Deliver(issuer.Ticket("https://shop.example.co.uk/"),
                   Ok("<a href='https://a.example/'>a</a><a class=x href=www.b.example>b</a>"));

    EXPECT_TRUE(survey.Finished());
    EXPECT_FALSE(survey.Stopped());
    EXPECT_EQ(survey.FailureMessage(), "");
    EXPECT_EQ(survey.CompletedRows(), 4u);
    EXPECT_EQ(Rows(table),
              (Table{{"shop.example.co.uk", "1", "40", "2", engine::LinkValue(40, 2, 2), "12"},
                     {"www.example.co.uk", "2", "900", "1", engine::LinkValue(900, 1, 3), "77"},
                     {"nowhere.test", "3", "0", "1", "0", "999999999"},
                     {"both-fail.test", "4", "0", "0", "0", "999999999"}}));
    EXPECT_TRUE(survey.Notes().empty());
    EXPECT_STREQ(kWebColumnCaptions[5], "Traffic Rank");
    for (int c = 0; c < 5; ++c)
        EXPECT_STREQ(kWebColumnCaptions[c], engine::kColumnCaptions[c]);
}

TEST(WebSurvey, OneHomePageServesEveryRowOfItsHost) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {{"a.test", 5}});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 3, 0, engine::SurveyMode::Keyword);
    survey.Deliver(
        issuer.Ticket(kFirst),
        Ok(ResultsPage({"https://a.test/one", "https://b.test/", "https://A.test/two"})));
    EXPECT_EQ(issuer.Count("https://a.test/"), 1u);
    EXPECT_EQ(issuer.Count("https://b.test/"), 1u);
    // The https fetch fails before the site answers: one http fetch for both.
    survey.Deliver(issuer.Ticket("https://a.test/"), Failed(true));
    EXPECT_EQ(issuer.Count("http://a.test/"), 1u);
    survey.Deliver(issuer.Ticket("http://a.test/"), Ok("<a href=\"http://x.test/\">x</a>"));
    EXPECT_EQ(survey.CompletedRows(), 2u);
    EXPECT_FALSE(survey.Finished());
    survey.Deliver(issuer.Ticket("https://b.test/"), Ok(""));
    EXPECT_TRUE(survey.Finished());
    EXPECT_EQ(Rows(table), (Table{{"a.test", "1", "0", "1", "0", "5"},
                                  {"b.test", "2", "0", "0", "0", "999999999"},
                                  {"a.test", "3", "0", "1", "0", "5"}}));
}

TEST(WebSurvey, PagesFollowOneAnotherUntilEnoughDistinctUrlsAreIn) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 3, 2, engine::SurveyMode::Keyword);
    survey.Deliver(issuer.Ticket(kFirst), Ok(ResultsPage({"https://u1.test/", "https://u2.test/",
                                                          "https://u1.test/", "https://u3.test/"},
                                                         "tok 1")));
    // Page 2 is asked for only now, with the value page 1 held.
    ASSERT_EQ(issuer.issued.size(), 2u);
    const std::string second = "https://s.test/search?q=k&p=2&t=tok%201";
    EXPECT_EQ(issuer.issued[1].second.Url, second);
    survey.Deliver(issuer.Ticket(second),
                   Ok(ResultsPage({"https://u2.test/", "https://u4.test/", "https://u5.test/",
                                   "https://u6.test/"})));
    EXPECT_EQ(issuer.Count("https://s.test/"), 2u);
    EXPECT_EQ(Rows(table),
              (Table{{"u3.test", "3", "0"}, {"u4.test", "4", "0"}, {"u5.test", "5", "0"}}));
    DeliverHomes(survey, issuer);
    EXPECT_TRUE(survey.Finished());
    EXPECT_EQ(survey.FailureMessage(), "");
}

TEST(WebSurvey, TheListEndsAtAPageWithNothingNewAtThePageLimitOrWithoutACapture) {
    const lists::RankLists lists = Lists({}, {});
    {
        // A second page that repeats the first.
        engine::ResultsTable table;
        FakeIssuer issuer;
        WebSurvey survey(table, issuer, TestProfile(), lists);
        survey.Start("k", 5, 0, engine::SurveyMode::Keyword);
        const std::string page = ResultsPage({"https://u1.test/", "https://u2.test/"});
        survey.Deliver(issuer.Ticket(kFirst), Ok(page));
        survey.Deliver(issuer.Ticket("https://s.test/search?q=k&p=2&t=t1"), Ok(page));
        EXPECT_EQ(issuer.Count("https://s.test/"), 2u);
        EXPECT_EQ(table.Count(), 2u);
        ASSERT_EQ(survey.Notes().size(), 1u);
        EXPECT_EQ(survey.Notes()[0],
                  "the scripted search gave 2 results, fewer than the 5 asked for");
    }
    {
        // Three pages at most.
        engine::ResultsTable table;
        FakeIssuer issuer;
        WebSurvey survey(table, issuer, TestProfile(), lists);
        survey.Start("k", 30, 0, engine::SurveyMode::Keyword);
        for (int page = 1; page <= 3; ++page) {
            const std::string url =
                page == 1 ? kFirst
                          : "https://s.test/search?q=k&p=" + std::to_string(page) + "&t=t1";
            const std::string n = std::to_string(page);
            survey.Deliver(
                issuer.Ticket(url),
                Ok(ResultsPage({"https://a" + n + ".test/", "https://b" + n + ".test/"})));
        }
        EXPECT_EQ(issuer.Count("https://s.test/"), 3u);
        EXPECT_EQ(table.Count(), 6u);
    }
    {
        // Page 1 holds no value for page 2's request.
        engine::ResultsTable table;
        FakeIssuer issuer;
        WebSurvey survey(table, issuer, TestProfile(), lists);
        survey.Start("k", 5, 0, engine::SurveyMode::Keyword);
        survey.Deliver(issuer.Ticket(kFirst), Ok(ResultsPage({"https://u1.test/"}, "")));
        EXPECT_EQ(issuer.Count("https://s.test/"), 1u);
        EXPECT_EQ(table.Count(), 1u);
        ASSERT_FALSE(survey.Notes().empty());
        EXPECT_NE(survey.Notes()[0].find("held no tok"), std::string::npos) << survey.Notes()[0];
    }
}

TEST(WebSurvey, AFirstPageThatCannotBeUsedEndsTheRunAndKeepsThePreviousTable) {
    WebFetched blocked = Ok("<html><body><form id=\"captcha\"><input name=a></form></body></html>");
    WebFetched tooMany = Ok("slow down");
    tooMany.Status = 429;
    WebFetched refused = Ok("");
    refused.Status = 403;
    WebFetched serverError = Ok(ResultsPage({"https://u1.test/"}));
    serverError.Status = 500;
    const struct {
        WebFetched fetched;
        std::string message;
    } cases[] = {
        {blocked,
         "the scripted answer looks like a block page (CAPTCHA or too many requests); try again "
         "later or use another profile"},
        {Ok("<html><body><ul></ul></body></html>"),
         "the scripted answer matched no results: the profile's selector may be out of date "
         "(/home/u/.config/corvane/profiles/scripted.ini)"},
        {Ok(ResultsPage({"https://ads.test/only-ads"})), "the scripted answer matched no results"},
        {Failed(true), "the scripted search could not be reached: connection refused"},
        {Failed(false, ResultsPage({"https://u1.test/"})),
         "the scripted answer broke off: time-out"},
        {tooMany, "the scripted search answered 429 (too many requests)"},
        {refused, "the scripted search refused the request (403): the test source turns you away"},
        {serverError, "the scripted search answered with status 500"},
    };
    const lists::RankLists lists = Lists({}, {});
    for (const auto& c : cases) {
        engine::ResultsTable table;
        Previous(table);
        FakeIssuer issuer;
        WebSurvey survey(table, issuer, TestProfile(), lists);
        survey.Start("k", 5, 0, engine::SurveyMode::Keyword);
        survey.Deliver(issuer.Ticket(kFirst), c.fetched);
        EXPECT_TRUE(survey.Finished());
        EXPECT_EQ(survey.FailureMessage().rfind(c.message, 0), 0u) << survey.FailureMessage();
        EXPECT_EQ(Rows(table), (Table{{"previous.example"}}));
        EXPECT_EQ(issuer.issued.size(), 1u);
    }
}

TEST(WebSurvey, ALaterPageThatFailsKeepsWhatIsIn) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 3, 0, engine::SurveyMode::Keyword);
    survey.Deliver(issuer.Ticket(kFirst),
                   Ok(ResultsPage({"https://u1.test/", "https://u2.test/"})));
    survey.Deliver(issuer.Ticket("https://s.test/search?q=k&p=2&t=t1"),
                   Ok("<form id=\"captcha\"></form>"));
    EXPECT_EQ(survey.FailureMessage(), "");
    EXPECT_EQ(Rows(table), (Table{{"u1.test", "1", "0"}, {"u2.test", "2", "0"}}));
    ASSERT_EQ(survey.Notes().size(), 2u);
    EXPECT_EQ(survey.Notes()[0].rfind("page 2: the scripted answer looks like a block page", 0), 0u)
        << survey.Notes()[0];
    EXPECT_NE(survey.Notes()[0].find("goes on with the 2 results"), std::string::npos);
}

TEST(WebSurvey, SkippingEverythingIsAFailure) {
    engine::ResultsTable table;
    Previous(table);
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 3, 10, engine::SurveyMode::Keyword);
    const std::string page = ResultsPage({"https://u1.test/"});
    survey.Deliver(issuer.Ticket(kFirst), Ok(page));
    survey.Deliver(issuer.Ticket("https://s.test/search?q=k&p=2&t=t1"), Ok(page));
    EXPECT_EQ(survey.FailureMessage(),
              "the scripted search gave 1 result, none after the 10 skipped");
    EXPECT_EQ(table.Count(), 1u);
}

TEST(WebSurvey, DomainModeAsksForPagesThatMentionTheDomain) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("HTTPS://WWW.Example.COM.:8080/shop", 3, -4, engine::SurveyMode::Domain);
    ASSERT_EQ(issuer.issued.size(), 1u);
    EXPECT_EQ(issuer.issued[0].second.Url,
              "https://s.test/search?q=%22www.example.com%22%20-site%3Awww.example.com");
    // A negative skip counts as none.
    survey.Deliver(issuer.issued[0].first,
                   Ok(ResultsPage({"https://u1.test/", "https://u2.test/", "https://u3.test/"})));
    EXPECT_EQ(table.Row(0).Cells[0], "1");
}

TEST(WebSurvey, MissingListsAreToldOnceAndGiveTheFallbacks) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists none;
    WebSurvey survey(table, issuer, TestProfile(), none);
    survey.Start("k", 1, 0, engine::SurveyMode::Keyword);
    ASSERT_EQ(survey.Notes().size(), 2u);
    EXPECT_NE(survey.Notes()[0].find("tranco list is missing"), std::string::npos);
    EXPECT_NE(survey.Notes()[1].find("majestic list is missing"), std::string::npos);
    survey.Deliver(issuer.Ticket(kFirst), Ok(ResultsPage({"https://example.com/"})));
    DeliverHomes(survey, issuer);
    EXPECT_EQ(Rows(table), (Table{{"example.com", "1", "0", "0", "0", "999999999"}}));
    EXPECT_EQ(survey.Notes().size(), 2u);
}

TEST(WebSurvey, StopKeepsTheCompleteRowsAndWritesNothingMore) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 3, 0, engine::SurveyMode::Keyword);
    survey.Deliver(issuer.Ticket(kFirst),
                   Ok(ResultsPage({"https://u1.test/", "https://u2.test/", "https://u3.test/"})));
    survey.Deliver(issuer.Ticket("https://u2.test/"), Ok(""));
    survey.Stop();
    EXPECT_TRUE(survey.Finished());
    EXPECT_TRUE(survey.Stopped());
    EXPECT_EQ(issuer.cancelled, 1);
    const Table kept = {{"u2.test", "2", "0", "0", "0", "999999999"}};
    EXPECT_EQ(Rows(table), kept);
    survey.Deliver(issuer.Ticket("https://u1.test/"), Ok(""));
    EXPECT_EQ(Rows(table), kept);
    survey.Stop();
    EXPECT_EQ(issuer.cancelled, 1);

    // Stopped while the result pages come in: the previous table stays.
    engine::ResultsTable before;
    Previous(before);
    FakeIssuer issuer2;
    WebSurvey early(before, issuer2, TestProfile(), lists);
    early.Start("k", 3, 0, engine::SurveyMode::Keyword);
    early.Stop();
    early.Deliver(issuer2.Ticket(kFirst), Ok(ResultsPage({"https://u1.test/"})));
    EXPECT_EQ(Rows(before), (Table{{"previous.example"}}));
    EXPECT_EQ(issuer2.issued.size(), 1u);
}

TEST(WebSurvey, ATableClearedUnderTheRunEndsIt) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    WebSurvey survey(table, issuer, TestProfile(), lists);
    survey.Start("k", 2, 0, engine::SurveyMode::Keyword);
    survey.Deliver(issuer.Ticket(kFirst),
                   Ok(ResultsPage({"https://u1.test/", "https://u2.test/"})));
    table.Clear();
    survey.Deliver(issuer.Ticket("https://u1.test/"), Ok(""));
    EXPECT_TRUE(survey.Finished());
    EXPECT_TRUE(survey.Stopped());
    EXPECT_EQ(table.Count(), 0u);
}

TEST(WebSurvey, AProfileWithoutItsBaseCannotStart) {
    engine::ResultsTable table;
    FakeIssuer issuer;
    const lists::RankLists lists = Lists({}, {});
    const SearchProfile sx = ParseProfile(
        "[request]\nbase-required = yes\nurl = {base}/search?q={query}&format=json&pageno={page}\n"
        "[answer]\nkind = json\nresults = results[].url\n",
        "built-in", "searxng");
    WebSurvey without(table, issuer, sx, lists);
    EXPECT_THROW(without.Start("k", 3, 0, engine::SurveyMode::Keyword), ProfileError);
    EXPECT_TRUE(issuer.issued.empty());

    WebSurvey with(table, issuer, sx, lists, "http://127.0.0.1:8888");
    with.Start("k", 1, 0, engine::SurveyMode::Keyword);
    ASSERT_EQ(issuer.issued.size(), 1u);
    with.Deliver(issuer.issued[0].first, Ok(R"({"results": [{"url": "https://sx.example/"}]})"));
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(issuer.issued.back().second.Url, "https://sx.example/");
}

}  // namespace
}  // namespace corvane::search
