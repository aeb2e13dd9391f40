#include "ui/results_model.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/survey_run.h"
#include "qt_env.h"
#include "scripted_web.h"

namespace corvane::ui {
namespace {

using engine::ResultsTable;

// The model's signals, as short texts, checking at each cell signal that
// the model shows what the table holds.
struct SignalLog {
    std::vector<std::string> events;
    SignalLog(ResultsModel& model, ResultsTable& table) {
        QObject::connect(&model, &QAbstractItemModel::modelReset,
                         [this] { events.push_back("reset"); });
        QObject::connect(
            &model, &QAbstractItemModel::rowsInserted,
            [this](const QModelIndex&, int first, int last) {
                events.push_back("insert " + std::to_string(first) + "-" + std::to_string(last));
            });
        QObject::connect(&model, &QAbstractItemModel::layoutChanged,
                         [this] { events.push_back("layout"); });
        QObject::connect(
            &model, &QAbstractItemModel::dataChanged,
            [this, &model, &table](const QModelIndex& a, const QModelIndex& b,
                                   const QList<int>& roles) {
                EXPECT_EQ(a, b);
                const auto& row = table.Row(static_cast<std::size_t>(a.row()));
                if (roles.contains(ResultsModel::CheckedRole)) {
                    EXPECT_EQ(model.data(a, ResultsModel::CheckedRole).toBool(), row.Checked);
                    events.push_back("checked " + std::to_string(a.row()));
                    return;
                }
                EXPECT_EQ(model.data(a).toString().toStdString(), row.Column(a.column()));
                events.push_back("cell " + std::to_string(a.row()) + "," +
                                 std::to_string(a.column()));
            });
    }
};

class Host : public engine::SurveyHost {
  public:
    Host(ResultsTable& table, testing::ScriptedWeb& web) : table_(table), web_(web) {}
    void ShowStatus(const std::string&) override {}
    void PumpMessages() override {}
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string& url, int port) override {
        return web_.Fetch(url, port);
    }
    ResultsTable& Table() override { return table_; }

  private:
    ResultsTable& table_;
    testing::ScriptedWeb& web_;
};

void Fill(ResultsTable& table, const std::vector<std::vector<std::string>>& rows) {
    for (const auto& r : rows) {
        const engine::RowHandle h = table.Append();
        EXPECT_TRUE(table.SetCaption(h, r[0]));
        for (std::size_t i = 1; i < r.size(); ++i)
            EXPECT_TRUE(table.AppendCell(h, r[i]));
    }
}

TEST(ResultsModel, ShowsCaptionsAndCellsReadOnly) {
    ResultsTable table;
    ResultsModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.columnCount(), 6);
    const char* captions[] = {"Website URL",    "Rank #",       "Inbound Links",
                              "Outbound Links", "Link's Value", "Alexa Ranking"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), captions[c]);
    }
    Fill(table, {{"www.a.com", "1", "300"}});
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "www.a.com");
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), "300");
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "");  // not there yet
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsSelectable);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
}

TEST(ResultsModel, FollowsARunCellByCell) {
    ResultsTable table;
    Fill(table, {{"old.example", "1", "2", "3", "4", "5"}});
    ResultsModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    SignalLog log(model, table);
    testing::ScriptedWeb web;
    web.Listings["tools"] = {"www.a.com", "www.b.com"};
    Host host(table, web);
    engine::RunSurvey(host, "tools", 20, 0, engine::SurveyMode::Keyword);

    std::vector<std::string> expected = {"reset"};
    for (int r = 0; r < 2; ++r) {
        const std::string n = std::to_string(r);
        expected.push_back("insert " + n + "-" + n);
        for (int c = 0; c < 6; ++c)
            expected.push_back("cell " + n + "," + std::to_string(c));
        expected.push_back("checked " + n);
    }
    EXPECT_EQ(log.events, expected);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), "www.b.com");
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), "200");
}

TEST(ResultsModel, ClearResetsAndInvalidatesPersistentIndexes) {
    ResultsTable table;
    Fill(table, {{"a.com", "1"}, {"b.com", "2"}});
    ResultsModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QPersistentModelIndex kept(model.index(1, 0));
    SignalLog log(model, table);
    table.Clear();
    EXPECT_EQ(log.events, std::vector<std::string>{"reset"});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(kept.isValid());
}

TEST(ResultsModel, ReorderMovesPersistentIndexesAndSelectionWithTheirRows) {
    ResultsTable table;
    Fill(table, {{"a.com", "1", "10", "1", "1", "1"},
                 {"b.com", "2", "30", "1", "1", "1"},
                 {"c.com", "3", "20", "1", "1", "1"}});
    // A row still being filled: two cells so far.
    const engine::RowHandle filling = table.Append();
    EXPECT_TRUE(table.SetCaption(filling, "d.com"));
    EXPECT_TRUE(table.AppendCell(filling, "4"));
    ResultsModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QItemSelectionModel selection(&model);
    selection.select(model.index(2, 0),
                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QPersistentModelIndex b(model.index(1, 4));
    QPersistentModelIndex d(model.index(3, 0));
    SignalLog log(model, table);

    engine::ListView1ColumnClick(table, 2);  // inbound, largest first
    EXPECT_EQ(log.events, std::vector<std::string>{"layout"});
    ASSERT_EQ(table.Row(0).Caption, "b.com");
    EXPECT_EQ(b.row(), 0);
    EXPECT_EQ(b.column(), 4);
    EXPECT_EQ(model.data(b.sibling(b.row(), 0)).toString(), "b.com");
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(model.data(selection.selectedRows().front()).toString(), "c.com");
    const int dRow = static_cast<int>(table.IndexOf(filling));
    EXPECT_EQ(d.row(), dRow);

    // The run keeps filling its row where it now stands.
    log.events.clear();
    EXPECT_TRUE(table.AppendCell(filling, "50"));
    EXPECT_EQ(log.events, std::vector<std::string>{"cell " + std::to_string(dRow) + ",2"});
    EXPECT_EQ(model.data(model.index(dRow, 2)).toString(), "50");
}

TEST(ResultsModel, LeavesTheTableWhenDestroyedFirst) {
    ResultsTable table;
    {
        ResultsModel model(table);
        Fill(table, {{"a.com"}});
    }
    Fill(table, {{"b.com", "1"}});  // no observer left to call
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
}

}  // namespace
}  // namespace corvane::ui
