#include "engine/parallel_survey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

#include "engine/survey_run.h"
#include "fake_host.h"

namespace corvane::engine {
namespace {

using testing::FakeHost;
using testing::Rows;
using Table = std::vector<std::vector<std::string>>;

const std::string kSearch = "http://search.yahoo.com/search?p=";
const std::string kTraffic = "http://www.alexa.com/data/details/?url=www.";
const std::string kQuery = kSearch + "%22k%22&ei=UTF-8&n=20&b=1";

std::string Inbound(const std::string& site) {
    return kSearch + "link%3Ahttp%3A%2F%2F" + site;
}

// A scripted web: pages by URL, and URLs whose fetch fails outright (no
// network client). A URL with no page answers with an empty body.
struct Web {
    std::map<std::string, std::string> pages;
    std::set<std::string> failing;

    FetchedPage Page(const std::string& url) const {
        if (failing.count(url)) {
            return FetchedPage{std::string(),
                               std::make_exception_ptr(std::runtime_error("no client"))};
        }
        const auto it = pages.find(url);
        return FetchedPage{it == pages.end() ? std::string() : it->second, nullptr};
    }
};

std::string ResultsPage(const std::vector<std::string>& entries) {
    std::string page = "<p>Results of about <b>9</b></p><ol>";
    for (const auto& e : entries)
        page += "<li><a href=x>A site</a><em class=url>" + e + "</em></li>\n";
    return page + "</ol>";
}

// Rows with every fallback: a failed and a missing page of each kind, pages
// cut short as a timed-out fetch leaves them, an entry without a host (no
// home page), and a host listed twice.
Web FallbackWeb() {
    Web w;
    w.pages[kQuery] =
        ResultsPage({"http://www.alpha.com/a", "http://beta.org/", "no host here",
                     "http://gamma.net/", "http://www.alpha.com/b", "http://delta.io/"});
    w.pages[Inbound("www.alpha.com")] = "of about <b>1,200</b>";
    w.pages["http://www.alpha.com"] =
        "<a href=\"http://x.com\">x</a><A HREF=\"https://z\"><a href=\"/y\">";
    w.pages[kTraffic + "alpha.com"] = "traffic rank for alpha.com: <b>1</b>,<b>234</b><br>";
    w.pages[Inbound("beta.org")] = "no figure on this page";
    w.failing.insert("http://beta.org");
    w.failing.insert(kTraffic + "beta.org");
    w.pages[Inbound("")] = "of about <b>7</b>";
    w.pages[kTraffic] = "no rank";
    w.pages[Inbound("gamma.net")] = "of about <b>3";  // cut short
    w.pages["http://gamma.net"] = "<a href=\"http://x.com\">x</a><a href=\"http://y";
    w.pages[kTraffic + "gamma.net"] = "traffic rank for gamma.net: <b>5";
    return w;  // delta.io: every page missing
}

// The fallback web with a row in the middle whose inbound figure does not
// convert: the run ends after it.
Web NonConvertingWeb(const std::string& inboundPage, bool failInbound = false) {
    Web w = FallbackWeb();
    w.pages[kQuery] = ResultsPage({"http://www.alpha.com/a", "http://beta.org/",
                                   "http://epsilon.com/", "http://gamma.net/", "http://delta.io/"});
    w.pages[Inbound("epsilon.com")] = inboundPage;
    if (failInbound)
        w.failing.insert(Inbound("epsilon.com"));
    w.pages[kTraffic + "epsilon.com"] = "<b>42</b><br>";
    return w;
}

struct Outcome {
    Table rows;
    std::vector<bool> checked;
    std::string failure;
};

Outcome Read(const ResultsTable& t, const std::string& failure) {
    Outcome o{Rows(t), {}, failure};
    for (std::size_t i = 0; i < t.Count(); ++i)
        o.checked.push_back(t.Row(i).Checked);
    return o;
}

void PrintTo(const Outcome& o, std::ostream* os) {
    for (const auto& r : o.rows) {
        for (const auto& c : r)
            *os << "[" << c << "]";
        *os << "\n";
    }
    *os << "failure: " << o.failure;
}

bool operator==(const Outcome& a, const Outcome& b) {
    return a.rows == b.rows && a.checked == b.checked && a.failure == b.failure;
}

Outcome Serial(const Web& w, FakeHost* out = nullptr) {
    FakeHost local;
    FakeHost& h = out ? *out : local;
    h.onFetch = [&](const std::string& url) {
        const FetchedPage p = w.Page(url);
        if (p.Failed())
            std::rethrow_exception(p.Error);
        return p.Text;
    };
    std::string failure;
    try {
        RunSurvey(h, "k", 20, 0, SurveyMode::Keyword);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    return Read(h.table, failure);
}

class FakeIssuer : public FetchIssuer {
  public:
    void Issue(std::uint64_t ticket, const std::string& url, int port) override {
        EXPECT_EQ(port, 80);
        EXPECT_TRUE(urls.emplace(ticket, url).second) << "ticket issued twice: " << ticket;
        issued.push_back(url);
        pending.push_back(ticket);
    }
    void Cancel(const std::vector<std::uint64_t>& tickets) override {
        for (auto t : tickets) {
            cancelled.insert(t);
            pending.erase(std::remove(pending.begin(), pending.end(), t), pending.end());
        }
    }
    void CancelAll() override {
        ++cancelAlls;
        pending.clear();
    }

    std::map<std::uint64_t, std::string> urls;
    std::vector<std::string> issued;
    std::vector<std::uint64_t> pending;
    std::set<std::uint64_t> cancelled;
    int cancelAlls = 0;
};

enum class Order { Issue, Reverse, Random };

// Delivers one pending page, chosen by the order; false when none is left.
bool DeliverOne(ParallelSurvey& s, FakeIssuer& f, const Web& w, Order order, std::mt19937& rng) {
    if (f.pending.empty())
        return false;
    std::size_t i = 0;
    if (order == Order::Reverse)
        i = f.pending.size() - 1;
    if (order == Order::Random)
        i = std::uniform_int_distribution<std::size_t>(0, f.pending.size() - 1)(rng);
    const std::uint64_t ticket = f.pending[i];
    f.pending.erase(f.pending.begin() + static_cast<std::ptrdiff_t>(i));
    s.Deliver(ticket, w.Page(f.urls.at(ticket)));
    return true;
}

// True when every row of `part` is the start of the serial row of the same
// rank, and the rows stand in rank order with none missing in between.
bool IsPrefixOf(const Table& part, const Table& whole) {
    if (part.size() > whole.size())
        return false;
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i].size() > whole[i].size() ||
            !std::equal(part[i].begin(), part[i].end(), whole[i].begin())) {
            return false;
        }
    }
    return true;
}

Outcome Parallel(const Web& w, Order order, unsigned seed, const Table& serialRows) {
    ResultsTable table;
    FakeIssuer f;
    ParallelSurvey s(table, f);
    std::mt19937 rng(seed);
    s.Start("k", 20, 0, SurveyMode::Keyword);
    while (DeliverOne(s, f, w, order, rng)) {
        // Whatever is shown along the way belongs to the finished table.
        EXPECT_TRUE(IsPrefixOf(Rows(table), serialRows)) << "seed " << seed;
    }
    EXPECT_TRUE(s.Finished());
    EXPECT_FALSE(s.Stopped());
    EXPECT_EQ(s.CompletedRows(), table.Count());
    std::string failure;
    if (s.Failure()) {
        try {
            std::rethrow_exception(s.Failure());
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    return Read(table, failure);
}

TEST(SurveyPlan, RowsAndTheirPagesAreTheSerialRunsRequestsInOrder) {
    const Web w = FallbackWeb();
    FakeHost h;
    Serial(w, &h);
    const SurveyPlan plan = PlanSurvey(ServiceEndpoints{}, w.pages.at(kQuery), 0);
    ASSERT_EQ(plan.Rows.size(), 6u);
    std::vector<std::string> planned{kQuery};
    for (const PlannedRow& r : plan.Rows) {
        for (const std::string& url : r.Urls) {
            if (!url.empty())
                planned.push_back(url);
        }
    }
    EXPECT_EQ(h.Urls(), planned);
    EXPECT_EQ(plan.Rows[2].Site, "");
    EXPECT_FALSE(plan.Rows[2].Needs(RowPage::Home));
    EXPECT_EQ(plan.Rows[4].Site, plan.Rows[0].Site);
    EXPECT_EQ(plan.Rows[4].Rank, 5);

    // Ranks count from skip + 1 and wrap; a page without entries plans none.
    const SurveyPlan skipped = PlanSurvey(ServiceEndpoints{}, w.pages.at(kQuery), 2147483646);
    EXPECT_EQ(skipped.Rows[1].Rank, -2147483647 - 1);
    EXPECT_EQ(skipped.Rows[1].Divisor(), -2147483647);
    EXPECT_TRUE(PlanSurvey(ServiceEndpoints{}, "<li>before of about, none after", 0).Rows.empty());
}

TEST(ParallelSurvey, TableEqualsTheSerialOneWhateverTheArrivalOrder) {
    const std::pair<const char*, Web> webs[] = {
        {"fallbacks", FallbackWeb()},
        {"too large in the middle", NonConvertingWeb("of about <b>9,999,999,999</b>")},
        {"only separators in the middle", NonConvertingWeb("of about <b> , </b>")},
        {"failed inbound in the middle", NonConvertingWeb("", true)},
    };
    for (const auto& [name, web] : webs) {
        const Outcome serial = Serial(web);
        ASSERT_FALSE(serial.rows.empty()) << name;
        EXPECT_EQ(Parallel(web, Order::Issue, 0, serial.rows), serial) << name;
        EXPECT_EQ(Parallel(web, Order::Reverse, 0, serial.rows), serial) << name;
        for (unsigned seed = 1; seed <= 40; ++seed) {
            EXPECT_EQ(Parallel(web, Order::Random, seed, serial.rows), serial)
                << name << ", seed " << seed;
        }
    }
    EXPECT_EQ(Serial(webs[1].second).rows.size(), 3u);  // the run ended after the third row
}

TEST(ParallelSurvey, FetchesAreIssuedInTheSerialOrderAndLaterRowsCancelledAtTheEnd) {
    const Web w = NonConvertingWeb("of about <b>x</b>");
    FakeHost h;
    Serial(w, &h);
    ResultsTable table;
    FakeIssuer f;
    ParallelSurvey s(table, f);
    s.Start("k", 20, 0, SurveyMode::Keyword);
    std::mt19937 rng(7);
    DeliverOne(s, f, w, Order::Issue, rng);  // the results page
    // Every fetch of the plan, in the order the serial run makes its own
    // (which stop after the row that does not convert).
    const std::vector<std::string> serialUrls = h.Urls();
    ASSERT_GE(f.issued.size(), serialUrls.size());
    EXPECT_TRUE(std::equal(serialUrls.begin(), serialUrls.end(), f.issued.begin()));
    // The inbound and home pages of the third row: once both are in, the
    // rows after it are dropped.
    s.Deliver(ParallelSurvey::TicketOf(2, RowPage::Inbound), w.Page(Inbound("epsilon.com")));
    EXPECT_TRUE(f.cancelled.empty());
    s.Deliver(ParallelSurvey::TicketOf(2, RowPage::Home), w.Page("http://epsilon.com"));
    EXPECT_EQ(f.cancelled.size(), 6u);
    for (std::size_t row = 3; row < 5; ++row) {
        for (auto page : {RowPage::Inbound, RowPage::Home, RowPage::Traffic}) {
            EXPECT_TRUE(f.cancelled.count(ParallelSurvey::TicketOf(row, page)));
        }
    }
    EXPECT_FALSE(s.Finished());
    while (DeliverOne(s, f, w, Order::Random, rng)) {
    }
    EXPECT_TRUE(s.Finished());
    EXPECT_EQ(table.Count(), 3u);
    // A late page of a dropped row changes nothing.
    s.Deliver(ParallelSurvey::TicketOf(3, RowPage::Inbound), w.Page(Inbound("gamma.net")));
    EXPECT_EQ(table.Count(), 3u);
}

TEST(ParallelSurvey, StopAtAnyMomentLeavesOnlyCompleteRows) {
    const Web w = FallbackWeb();
    const Outcome serial = Serial(w);
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        const int stopAfter = std::uniform_int_distribution<int>(0, 18)(rng);
        ResultsTable table;
        FakeIssuer f;
        ParallelSurvey s(table, f);
        s.Start("k", 20, 0, SurveyMode::Keyword);
        for (int i = 0; i < stopAfter && DeliverOne(s, f, w, Order::Random, rng); ++i) {
        }
        const bool ended = s.Finished();
        s.Stop();
        EXPECT_EQ(f.cancelAlls, ended ? 0 : 1) << seed;
        EXPECT_EQ(s.Stopped(), !ended);
        EXPECT_TRUE(f.pending.empty());
        const Table stopped = Rows(table);
        EXPECT_EQ(stopped.size(), s.CompletedRows()) << seed;
        for (const auto& row : stopped) {
            ASSERT_EQ(row.size(), 6u) << seed;
            const auto rank = static_cast<std::size_t>(std::stoi(row[1]));
            EXPECT_EQ(row, serial.rows.at(rank - 1)) << seed;
        }
        // Pages that still come in (a fetch that finished as it was cancelled)
        // write nothing, and a second Stop changes nothing.
        for (const auto& [ticket, url] : f.urls)
            s.Deliver(ticket, w.Page(url));
        s.Stop();
        EXPECT_EQ(Rows(table), stopped) << seed;
    }
}

TEST(ParallelSurvey, RowsReorderedDuringTheRunKeepTheirCells) {
    const Web w = FallbackWeb();
    const Outcome serial = Serial(w);
    ResultsTable table;
    FakeIssuer f;
    ParallelSurvey s(table, f);
    s.Start("k", 20, 0, SurveyMode::Keyword);
    std::mt19937 rng(3);
    while (DeliverOne(s, f, w, Order::Random, rng)) {
        // A column click between two pages: newest rows first.
        table.Sort([](const ResultRow& a, const ResultRow& b) {
            return std::stoi(b.Cells[0]) - std::stoi(a.Cells[0]);
        });
    }
    Table rows = Rows(table);
    std::reverse(rows.begin(), rows.end());
    EXPECT_EQ(rows, serial.rows);
}

TEST(ParallelSurvey, ResultsPageDecidesWhenTheTableIsCleared) {
    Web w = FallbackWeb();
    ResultsTable table;
    ASSERT_TRUE(table.SetCaption(table.Append(), "previous"));
    {
        // A results page that cannot be fetched: the previous survey stays.
        FakeIssuer f;
        ParallelSurvey s(table, f);
        s.Start("k", 20, 0, SurveyMode::Keyword);
        EXPECT_EQ(f.issued, std::vector<std::string>{kQuery});
        EXPECT_EQ(table.Count(), 1u);
        w.failing.insert(kQuery);
        std::mt19937 rng(1);
        DeliverOne(s, f, w, Order::Issue, rng);
        EXPECT_TRUE(s.Finished());
        EXPECT_TRUE(s.Failure());
        EXPECT_EQ(Rows(table), (Table{{"previous"}}));
    }
    {
        // A page without entries: an empty table, at once.
        FakeIssuer f;
        ParallelSurvey s(table, f);
        s.StartWithPage("<li>before of about nothing", 0);
        EXPECT_TRUE(s.Finished());
        EXPECT_FALSE(s.Failure());
        EXPECT_EQ(table.Count(), 0u);
        EXPECT_EQ(f.issued.size(), 0u);
        EXPECT_THROW(s.Start("k", 20, 0, SurveyMode::Keyword), std::logic_error);
    }
}

TEST(ParallelSurvey, ATableClearedUnderTheRunIsNotWrittenAgain) {
    const Web w = FallbackWeb();
    for (int clearAfter = 2; clearAfter < 12; ++clearAfter) {
        ResultsTable table;
        FakeIssuer f;
        ParallelSurvey s(table, f);
        s.Start("k", 20, 0, SurveyMode::Keyword);
        std::mt19937 rng(1);
        for (int i = 0; i < clearAfter; ++i)
            DeliverOne(s, f, w, Order::Issue, rng);
        if (s.Finished())
            break;
        // A file opened meanwhile replaces the table.
        table.Clear();
        ASSERT_TRUE(table.SetCaption(table.Append(), "from a file"));
        while (DeliverOne(s, f, w, Order::Issue, rng)) {
        }
        EXPECT_EQ(Rows(table), (Table{{"from a file"}})) << clearAfter;
        EXPECT_TRUE(s.Stopped()) << clearAfter;
        EXPECT_EQ(f.cancelAlls, 1) << clearAfter;
    }
}

}  // namespace
}  // namespace corvane::engine
