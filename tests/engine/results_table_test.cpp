#include "engine/results_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace corvane::engine {
namespace {

// Records every notification as text.
class Recorder : public TableObserver {
  public:
    void TableAboutToClear() override { log.push_back("about-clear"); }
    void TableCleared() override { log.push_back("cleared"); }
    void RowAboutToAppend(std::size_t i) override {
        log.push_back("about-append " + std::to_string(i));
    }
    void RowAppended(std::size_t i) override { log.push_back("append " + std::to_string(i)); }
    void RowChanged(std::size_t i, int part) override {
        log.push_back("change " + std::to_string(i) + " " + std::to_string(part));
    }
    void RowAboutToRemove(std::size_t i) override {
        log.push_back("about-remove " + std::to_string(i));
    }
    void RowRemoved(std::size_t i) override { log.push_back("remove " + std::to_string(i)); }
    void TableAboutToReorder() override { log.push_back("about-reorder"); }
    void TableReordered(const std::vector<std::size_t>& m) override {
        std::string s = "reorder";
        for (auto x : m)
            s += " " + std::to_string(x);
        log.push_back(s);
    }
    std::vector<std::string> log;
};

TEST(ResultsTable, AppendFillAndRead) {
    ResultsTable t;
    const RowHandle a = t.Append();
    const RowHandle b = t.Append();
    EXPECT_TRUE(t.SetCaption(a, "a.com"));
    EXPECT_TRUE(t.AppendCell(a, "1"));
    EXPECT_TRUE(t.AppendCell(a, "10"));
    EXPECT_TRUE(t.SetChecked(b, true));
    ASSERT_EQ(t.Count(), 2u);
    EXPECT_EQ(t.Row(0).Caption, "a.com");
    EXPECT_EQ(t.Row(0).Cells, (std::vector<std::string>{"1", "10"}));
    EXPECT_FALSE(t.Row(0).Checked);
    EXPECT_TRUE(t.Row(1).Checked);
    EXPECT_EQ(t.IndexOf(b), 1);
    EXPECT_TRUE(t.HandleAt(1) == b);
    EXPECT_TRUE(t.HandleAt(2).IsNull());
    EXPECT_THROW(t.Row(2), std::out_of_range);

    bool has = true;
    EXPECT_EQ(t.Row(0).Column(2, &has), "10");
    EXPECT_TRUE(has);
    EXPECT_EQ(t.Row(0).Column(3, &has), "");
    EXPECT_FALSE(has);
}

TEST(ResultsTable, HandlesFollowTheirRowAndDieWithClear) {
    ResultsTable t;
    std::vector<RowHandle> h;
    for (int i = 0; i < 5; ++i) {
        h.push_back(t.Append());
        EXPECT_TRUE(t.SetCaption(h.back(), std::string(1, static_cast<char>('e' - i))));
    }
    t.Sort([](const ResultRow& x, const ResultRow& y) { return x.Caption.compare(y.Caption); });
    EXPECT_EQ(t.Row(0).Caption, "a");
    EXPECT_EQ(t.IndexOf(h[0]), 4);  // "e" went last
    EXPECT_TRUE(t.AppendCell(h[0], "5"));
    EXPECT_EQ(t.Row(4).Cells, std::vector<std::string>{"5"});

    t.Clear();
    EXPECT_EQ(t.Count(), 0u);
    for (const auto& x : h) {
        EXPECT_FALSE(t.IsValid(x));
        EXPECT_FALSE(t.AppendCell(x, "late"));
        EXPECT_FALSE(t.SetCaption(x, "late"));
        EXPECT_FALSE(t.SetChecked(x, true));
        EXPECT_EQ(t.IndexOf(x), -1);
    }
    // A fresh row never takes an old handle's identity.
    const RowHandle n = t.Append();
    for (const auto& x : h)
        EXPECT_FALSE(n == x);
    EXPECT_EQ(t.Count(), 1u);
    EXPECT_TRUE(t.Row(0).Cells.empty());
}

TEST(ResultsTable, ObserversHearEveryChange) {
    ResultsTable t;
    Recorder r;
    t.AddObserver(&r);
    t.AddObserver(&r);  // once only
    const RowHandle a = t.Append();
    EXPECT_TRUE(t.SetCaption(a, "b"));
    EXPECT_TRUE(t.AppendCell(a, "1"));
    EXPECT_TRUE(t.AppendCell(a, "2"));
    EXPECT_TRUE(t.SetChecked(a, true));
    const RowHandle b = t.Append();
    EXPECT_TRUE(t.SetCaption(b, "a"));
    t.Sort([](const ResultRow& x, const ResultRow& y) { return x.Caption.compare(y.Caption); });
    t.Clear();
    EXPECT_EQ(r.log, (std::vector<std::string>{
                         "about-append 0", "append 0", "change 0 0", "change 0 1", "change 0 2",
                         "change 0 -1", "about-append 1", "append 1", "change 1 0", "about-reorder",
                         "reorder 1 0", "about-clear", "cleared"}));
    t.RemoveObserver(&r);
    t.Append();
    EXPECT_EQ(r.log.size(), 13u);
}

TEST(ResultsTable, FiguresAreKeptConvertedWithTheirRows) {
    ResultsTable t;
    const RowHandle a = t.Append();
    for (const char* c : {"12", "x", " -3", "0x10", ""})
        EXPECT_TRUE(t.AppendCell(a, c));
    EXPECT_TRUE(t.AppendCell(a, "99"));  // beyond the five cells: no figure
    const RowHandle b = t.Append();
    EXPECT_TRUE(t.AppendCell(b, "2147483648"));
    EXPECT_EQ(t.FigureAt(0, 1), 12);
    EXPECT_EQ(t.FigureAt(0, 2), std::nullopt);
    EXPECT_EQ(t.FigureAt(0, 3), -3);
    EXPECT_EQ(t.FigureAt(0, 4), 16);
    EXPECT_EQ(t.FigureAt(0, 5), std::nullopt);
    EXPECT_EQ(t.FigureAt(0, 0), std::nullopt);
    EXPECT_EQ(t.FigureAt(0, 6), std::nullopt);
    EXPECT_EQ(t.FigureAt(1, 1), std::nullopt);  // out of range
    EXPECT_EQ(t.FigureAt(1, 2), std::nullopt);  // no such cell yet
    EXPECT_EQ(t.FigureAt(2, 1), std::nullopt);
    t.Sort([](const ResultRow& x, const ResultRow& y) {
        return y.Cells.size() < x.Cells.size() ? 1 : -1;
    });
    EXPECT_EQ(t.IndexOf(a), 1);
    EXPECT_EQ(t.FigureAt(1, 4), 16);
    EXPECT_EQ(t.FigureAt(0, 1), std::nullopt);
    t.Clear();
    EXPECT_EQ(t.FigureAt(0, 1), std::nullopt);
}

TEST(ResultsTable, RemoveTakesOneRowAndKeepsEveryOtherHandle) {
    ResultsTable t;
    Recorder r;
    std::vector<RowHandle> h;
    for (int i = 0; i < 4; ++i) {
        h.push_back(t.Append());
        ASSERT_TRUE(t.SetCaption(h.back(), std::string(1, static_cast<char>('a' + i))));
        ASSERT_TRUE(t.AppendCell(h.back(), std::to_string(i)));
    }
    // Reordered first, so that removal works on the current places: d c b a.
    t.Sort([](const ResultRow& x, const ResultRow& y) { return y.Caption.compare(x.Caption); });
    t.AddObserver(&r);
    EXPECT_TRUE(t.Remove(h[2]));  // "c", at 1
    EXPECT_FALSE(t.Remove(h[2]));
    EXPECT_FALSE(t.IsValid(h[2]));
    EXPECT_FALSE(t.AppendCell(h[2], "late"));
    EXPECT_EQ(r.log, (std::vector<std::string>{"about-remove 1", "remove 1"}));
    ASSERT_EQ(t.Count(), 3u);
    EXPECT_EQ(t.IndexOf(h[3]), 0);
    EXPECT_EQ(t.IndexOf(h[1]), 1);
    EXPECT_EQ(t.IndexOf(h[0]), 2);
    EXPECT_TRUE(t.HandleAt(1) == h[1]);
    EXPECT_EQ(t.FigureAt(1, 1), 1);  // figures moved up with their rows
    EXPECT_TRUE(t.AppendCell(h[0], "7"));
    EXPECT_EQ(t.Row(2).Cells, (std::vector<std::string>{"0", "7"}));
    // The removed row never comes back, through a sort or a new row.
    t.Sort([](const ResultRow& x, const ResultRow& y) { return x.Caption.compare(y.Caption); });
    EXPECT_EQ(t.Row(0).Caption, "a");
    EXPECT_EQ(t.IndexOf(h[3]), 2);
    const RowHandle n = t.Append();
    EXPECT_FALSE(n == h[2]);
    EXPECT_EQ(t.IndexOf(h[2]), -1);
    EXPECT_EQ(t.IndexOf(n), 3);
    t.RemoveObserver(&r);
}

TEST(ResultsTable, SortIsStable) {
    ResultsTable t;
    for (int i = 0; i < 50; ++i) {
        const RowHandle h = t.Append();
        EXPECT_TRUE(t.SetCaption(h, std::to_string(i % 3)));
        EXPECT_TRUE(t.AppendCell(h, std::to_string(i)));
    }
    t.Sort([](const ResultRow& x, const ResultRow& y) { return x.Caption.compare(y.Caption); });
    for (std::size_t i = 1; i < t.Count(); ++i) {
        const auto& p = t.Row(i - 1);
        const auto& q = t.Row(i);
        ASSERT_LE(p.Caption, q.Caption);
        if (p.Caption == q.Caption) {
            ASSERT_LT(std::stoi(p.Cells[0]), std::stoi(q.Cells[0]));
        }
    }
}

TEST(ResultsTable, SortSurvivesACompareThatAnswersAtRandom) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        ResultsTable t;
        const int n = static_cast<int>(rng() % 300);
        std::vector<RowHandle> handles;
        for (int i = 0; i < n; ++i) {
            handles.push_back(t.Append());
            EXPECT_TRUE(t.SetCaption(handles.back(), std::to_string(i)));
        }
        t.Sort([&](const ResultRow&, const ResultRow&) { return static_cast<int>(rng() % 3) - 1; });
        ASSERT_EQ(t.Count(), static_cast<std::size_t>(n));
        std::vector<bool> seen(static_cast<std::size_t>(n), false);
        for (std::size_t i = 0; i < t.Count(); ++i) {
            const int id = std::stoi(t.Row(i).Caption);
            ASSERT_FALSE(seen[static_cast<std::size_t>(id)]);
            seen[static_cast<std::size_t>(id)] = true;
        }
        for (int i = 0; i < n; ++i) {
            const auto at = t.IndexOf(handles[static_cast<std::size_t>(i)]);
            ASSERT_GE(at, 0);
            ASSERT_EQ(t.Row(static_cast<std::size_t>(at)).Caption, std::to_string(i));
        }
    }
}

TEST(ResultsTable, ACompareThatThrowsLeavesTheOrderAlone) {
    ResultsTable t;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(t.SetCaption(t.Append(), std::to_string(3 - i)));
    Recorder r;
    t.AddObserver(&r);
    EXPECT_THROW(
        t.Sort([](const ResultRow&, const ResultRow&) -> int { throw std::runtime_error("x"); }),
        std::runtime_error);
    EXPECT_EQ(t.Row(0).Caption, "3");
    EXPECT_TRUE(r.log.empty());
}

}  // namespace
}  // namespace corvane::engine
