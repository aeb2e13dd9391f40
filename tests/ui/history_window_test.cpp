// The window's survey history: recording what the window runs, the History
// window, the rank movement marks and the rank chart.
#include "ui/history_window.h"

#include <QAction>
#include <QChart>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/survey_run.h"
#include "qt_env.h"
#include "scripted_web.h"
#include "ui/desktop_program.h"
#include "ui/info_form.h"
#include "ui/main_form.h"
#include "ui/rank_chart.h"
#include "ui/results_model.h"
#include "ui/start_form.h"

namespace corvane::ui {
namespace {

using testing::Child;
using testing::WhenShown;

std::vector<std::string> Hosts(const engine::ResultsTable& t) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < t.Count(); ++i)
        out.push_back(t.Row(i).Caption);
    return out;
}

std::vector<std::string> Hosts(const std::vector<history::HistoryRow>& rows) {
    std::vector<std::string> out;
    for (const history::HistoryRow& r : rows)
        out.push_back(r.Host);
    return out;
}

class WindowHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(data_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
        qunsetenv("CORVANE_HISTORY");
        engine::StopFlag = false;
        engine::SortColumn = 0;
        web.Listings["tools"] = {"www.a.com", "www.b.com", "www.c.com", "www.d.com"};
        web.Listings["garden"] = {"www.x.com", "www.y.com"};
    }
    void TearDown() override { QApplication::processEvents(); }

    // The window as the desktop program makes it with `args`, over the
    // scripted web.
    void MakeWindow(const QStringList& args = {}) {
        form = std::make_unique<TForm1>(
            [this](const std::string& url, int port) { return web.Fetch(url, port); });
        locate = std::make_unique<TStartForm>(form.get());
        about = std::make_unique<TInfoForm>(form.get());
        form->SetLocateDialog(locate.get());
        form->SetAboutBox(about.get());
        form->SetHistory(HistoryOf(ParseDesktopOptions(args).Settings));
        form->show();
    }

    void Search(const QString& keyword) {
        WhenShown(locate.get(), [this, keyword] {
            Child<QRadioButton>(locate.get(), "rbKeyword")->setChecked(true);
            Child<QLineEdit>(locate.get(), "LabeledEdit1")->setText(keyword);
            locate->BitBtn1Click();
        });
        form->BitBtn2Click();
        // The run may go on after Start returns; it has ended once Start is
        // back on.
        for (int i = 0; i < 2000 && form->RunInProgress(); ++i)
            QTest::qWait(5);
        ASSERT_FALSE(form->RunInProgress());
    }

    std::string DefaultFile() const {
        return QDir(data_.path()).filePath("corvane/history.sqlite").toStdString();
    }

    QTemporaryDir config_;
    QTemporaryDir data_;
    testing::ScriptedWeb web;
    testing::QuestionAnswerer question{"UnsavedTableQuestion", QMessageBox::Discard};
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TStartForm> locate;
    std::unique_ptr<TInfoForm> about;
};

TEST_F(WindowHistory, EverySurveyThatEndsIsRecordedWithItsRowsAndNothingIsAskedBeforeItGoes) {
    MakeWindow();
    Search("tools");
    ASSERT_EQ(form->Table().Count(), 4u);
    EXPECT_EQ(form->StatusText(), "Done!");

    history::HistoryStore store(DefaultFile());
    std::vector<history::SurveyInfo> list = store.List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Query, "tools");
    EXPECT_EQ(list[0].Mode, engine::SurveyMode::Keyword);
    EXPECT_EQ(list[0].Profile, history::kClassicProfile);
    EXPECT_EQ(list[0].End, history::SurveyEnd::Done);
    EXPECT_TRUE(history::IsUtcTimestamp(list[0].StartedUtc));
    EXPECT_TRUE(history::IsUtcTimestamp(list[0].EndedUtc));
    const std::optional<history::Survey> survey = store.Find(list[0].Id);
    ASSERT_TRUE(survey);
    EXPECT_EQ(Hosts(survey->Rows), Hosts(form->Table()));
    EXPECT_EQ(survey->Rows[0].Figures[0], form->Table().Row(0).Column(1));

    // Recorded, the table is not lost: a new survey replaces it unasked,
    // and a survey stopped by the user is recorded as stopped.
    web.OnFetch = [](const std::string& url) {
        if (url.find("www.x.com") != std::string::npos)
            engine::StopFlag = true;
    };
    Search("garden");
    EXPECT_EQ(question.Asked(), 0);
    list = store.List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Query, "garden");
    EXPECT_EQ(list[0].End, history::SurveyEnd::Stopped);
    form->close();
    EXPECT_EQ(question.Asked(), 0);
}

TEST_F(WindowHistory, ASurveyWhoseResultsPageFailsIsRecordedWithoutThePreviousSurveysRows) {
    MakeWindow();
    Search("tools");
    ASSERT_EQ(form->Table().Count(), 4u);
    web.OnFetch = [](const std::string& url) {
        if (url.find("%22garden%22") != std::string::npos)
            throw std::runtime_error("the results page could not be fetched");
    };
    Search("garden");
    // The table still shows "tools"; the failed "garden" is recorded as
    // failed, with none of the rows it never had.
    EXPECT_EQ(Hosts(form->Table()),
              (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com", "www.d.com"}));
    history::HistoryStore store(DefaultFile());
    const std::vector<history::SurveyInfo> list = store.List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Query, "garden");
    EXPECT_EQ(list[0].End, history::SurveyEnd::Failed);
    EXPECT_EQ(list[0].RowCount, 0);
    EXPECT_EQ(list[1].RowCount, 4);
    // The "tools" rows are still the ones recorded: nothing is asked before
    // they go.
    form->close();
    EXPECT_EQ(question.Asked(), 0);
}

TEST_F(WindowHistory, NoHistoryRecordsNothingAndTheUnsavedTableIsStillAskedFor) {
    MakeWindow({QStringLiteral("--no-history")});
    Search("tools");
    ASSERT_EQ(form->Table().Count(), 4u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(DefaultFile())));
    question.answer = QMessageBox::Cancel;
    form->close();
    EXPECT_EQ(question.Asked(), 1);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(WindowHistory, TheWindowFindsItsHistoryAsTheCommandLineDoes) {
    // The data folder by default, CORVANE_HISTORY over it, --history over both.
    EXPECT_EQ(HistoryOf(ParseDesktopOptions({}).Settings).File, DefaultFile());
    EXPECT_TRUE(HistoryOf(ParseDesktopOptions({}).Settings).Record);
    qputenv("CORVANE_HISTORY", "/from/env/h.sqlite");
    EXPECT_EQ(HistoryOf(ParseDesktopOptions({}).Settings).File, "/from/env/h.sqlite");
    EXPECT_EQ(HistoryOf(ParseDesktopOptions(
                            {QStringLiteral("--history"), QStringLiteral("/from/option/h.sqlite")})
                            .Settings)
                  .File,
              "/from/option/h.sqlite");
    qunsetenv("CORVANE_HISTORY");
    EXPECT_FALSE(HistoryOf(ParseDesktopOptions({QStringLiteral("--no-history")}).Settings).Record);
}

TEST_F(WindowHistory, AHistoryThatCannotBeWrittenSaysSoOnOneLineAndKeepsTheTable) {
    // The history's folder is a file: nothing can be created under it.
    const QString blocker = QDir(data_.path()).filePath("blocker");
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    MakeWindow({QStringLiteral("--history"), blocker + QStringLiteral("/h.sqlite")});
    Search("tools");
    EXPECT_EQ(form->Table().Count(), 4u);
    EXPECT_TRUE(
        form->StatusText().startsWith("Done! The survey was not recorded in the history: "));
    EXPECT_FALSE(form->StatusText().contains('\n'));
    // Not recorded, so still asked for.
    question.answer = QMessageBox::Cancel;
    form->close();
    EXPECT_EQ(question.Asked(), 1);
}

}  // namespace
}  // namespace corvane::ui

namespace corvane::ui {
namespace {

TEST_F(WindowHistory, TheHistoryWindowListsNewestFirstFiltersAndOpensASurveyIntoTheMainWindow) {
    MakeWindow();
    Search("tools");
    Search("garden");
    form->findChild<QAction*>("HistoryItem")->trigger();
    auto* window = Child<THistoryWindow>(form.get(), "HistoryWindow");
    EXPECT_TRUE(window->isVisible());
    auto* list = Child<QTreeWidget>(window, "HistoryList");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(THistoryWindow::QueryColumn), "garden");
    EXPECT_EQ(list->topLevelItem(1)->text(THistoryWindow::QueryColumn), "tools");
    EXPECT_EQ(list->topLevelItem(1)->text(THistoryWindow::RowsColumn), "4");
    EXPECT_EQ(list->topLevelItem(1)->text(THistoryWindow::EndColumn), "done");
    EXPECT_EQ(list->topLevelItem(1)->text(THistoryWindow::ModeColumn), "keyword");
    EXPECT_EQ(list->topLevelItem(1)->text(THistoryWindow::ProfileColumn), "classic");

    // The filter keeps the surveys whose query holds its text, case ignored.
    Child<QLineEdit>(window, "HistoryFilter")->setText("TOO");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(THistoryWindow::QueryColumn), "tools");
    Child<QLineEdit>(window, "HistoryFilter")->setText("nothing like it");
    EXPECT_EQ(list->topLevelItemCount(), 0);
    Child<QLineEdit>(window, "HistoryFilter")->clear();
    ASSERT_EQ(list->topLevelItemCount(), 2);

    // Open shows the survey's rows in the main window and says which it is.
    list->setCurrentItem(list->topLevelItem(1));
    Child<QPushButton>(window, "HistoryOpen")->click();
    QApplication::processEvents();
    EXPECT_EQ(Hosts(form->Table()),
              (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com", "www.d.com"}));
    EXPECT_EQ(form->Table().Row(0).Column(1), "1");
    EXPECT_TRUE(form->StatusText().startsWith("Survey of \"tools\" from "));
    EXPECT_EQ(Child<QLabel>(window, "HistoryStatus")->text(), form->StatusText());

    // A double click (item activation) opens the other one; a table opened
    // from the history is not asked for.
    emit list->itemActivated(list->topLevelItem(0), 0);
    QApplication::processEvents();
    EXPECT_EQ(Hosts(form->Table()), (std::vector<std::string>{"www.x.com", "www.y.com"}));
    form->close();
    EXPECT_EQ(question.Asked(), 0);
}

TEST_F(WindowHistory, TypingInTheFilterGoesThroughTheSurveysReadAndLeavesTheFileAlone) {
    MakeWindow();
    Search("tools");
    Search("garden");
    form->findChild<QAction*>("HistoryItem")->trigger();
    auto* window = Child<THistoryWindow>(form.get(), "HistoryWindow");
    auto* list = Child<QTreeWidget>(window, "HistoryList");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    // With the file gone, the filter still works on what was read; only
    // the next look at the file finds it missing.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(DefaultFile())));
    Child<QLineEdit>(window, "HistoryFilter")->setText("Gard");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(THistoryWindow::QueryColumn), "garden");
    EXPECT_EQ(Child<QLabel>(window, "HistoryStatus")->text(), QStringLiteral("1 survey"));
    window->Refresh();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(Child<QLabel>(window, "HistoryStatus")->text(),
              QStringLiteral("No survey has been recorded yet."));
}

TEST_F(WindowHistory, ADamagedHistoryOpenedByTheHistoryWindowIsMovedAsideAndSaidSo) {
    MakeWindow();
    const QString file = QString::fromStdString(DefaultFile());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    {
        QFile damaged(file);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(4096, 'x'));
    }
    form->findChild<QAction*>("HistoryItem")->trigger();
    auto* window = Child<THistoryWindow>(form.get(), "HistoryWindow");
    const QString status = Child<QLabel>(window, "HistoryStatus")->text();
    EXPECT_TRUE(status.contains(QStringLiteral("was damaged"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral(".damaged-"))) << status.toStdString();
    EXPECT_EQ(Child<QTreeWidget>(window, "HistoryList")->topLevelItemCount(), 0);
    // The new history takes the next survey, and the next look counts it.
    Search("tools");
    window->Refresh();
    EXPECT_EQ(Child<QTreeWidget>(window, "HistoryList")->topLevelItemCount(), 1);
    EXPECT_EQ(Child<QLabel>(window, "HistoryStatus")->text(), QStringLiteral("1 survey"));
}

TEST_F(WindowHistory, ARecordedSurveyOpenedDuringARunReplacesTheTableOnceTheRunHasReturned) {
    MakeWindow();
    Search("garden");
    const std::int64_t garden = history::HistoryStore(DefaultFile()).List()[0].Id;
    bool opened = false;
    web.OnFetch = [&](const std::string& url) {
        if (!opened && url.find("www.b.com") != std::string::npos) {
            opened = true;
            QTimer::singleShot(0, form.get(), [&] { form->OpenRecorded(garden); });
        }
    };
    Search("tools");
    for (int i = 0; i < 200 && Hosts(form->Table()).size() != 2; ++i)
        QTest::qWait(5);
    EXPECT_TRUE(opened);
    EXPECT_EQ(Hosts(form->Table()), (std::vector<std::string>{"www.x.com", "www.y.com"}));
    EXPECT_FALSE(form->RunInProgress());
}

}  // namespace
}  // namespace corvane::ui

namespace corvane::ui {
namespace {

struct Mark {
    std::string rank;  // the cell's text
    int move = -1;     // -1: no mark
    bool icon = false;
    QString tip;
};

Mark MarkOf(const ResultsModel& model, const std::string& host) {
    for (int r = 0; r < model.rowCount(); ++r) {
        if (model.Table().Row(static_cast<std::size_t>(r)).Caption != host)
            continue;
        const QModelIndex at = model.index(r, ResultsModel::kRankColumn);
        const QVariant move = at.data(ResultsModel::RankMoveRole);
        return {at.data(Qt::DisplayRole).toString().toStdString(),
                move.isValid() ? move.toInt() : -1,
                !at.data(Qt::DecorationRole).value<QIcon>().isNull(),
                at.data(Qt::ToolTipRole).toString()};
    }
    ADD_FAILURE() << "no row of " << host;
    return {};
}

constexpr int kUp = static_cast<int>(history::Movement::Up);
constexpr int kDown = static_cast<int>(history::Movement::Down);
constexpr int kSame = static_cast<int>(history::Movement::Same);
constexpr int kNew = static_cast<int>(history::Movement::New);

TEST_F(WindowHistory, RanksShowTheirMovementSinceThePreviousSurveyAsAMarkBesideTheFigure) {
    MakeWindow();
    Search("tools");  // a 1, b 2, c 3, d 4
    // A first survey has nothing to move against.
    EXPECT_EQ(MarkOf(*form->Model(), "www.a.com").move, -1);
    EXPECT_FALSE(MarkOf(*form->Model(), "www.a.com").icon);

    web.Listings["tools"] = {"www.c.com", "www.b.com", "www.a.com", "www.e.com"};
    Search("garden");  // another query in between is no previous survey
    Search("tools");
    const std::string since =
        ShortUtcTime(history::HistoryStore(DefaultFile()).List().back().StartedUtc).toStdString();
    auto check = [&] {
        const ResultsModel& m = *form->Model();
        const Mark c = MarkOf(m, "www.c.com");
        EXPECT_EQ(c.rank, "1");
        EXPECT_EQ(c.move, kUp);
        EXPECT_TRUE(c.icon);
        EXPECT_EQ(c.tip.toStdString(), "up 2 since " + since);
        const Mark b = MarkOf(m, "www.b.com");
        EXPECT_EQ(b.rank, "2");
        EXPECT_EQ(b.move, kSame);
        EXPECT_EQ(b.tip.toStdString(), "same as on " + since);
        const Mark a = MarkOf(m, "www.a.com");
        EXPECT_EQ(a.rank, "3");
        EXPECT_EQ(a.move, kDown);
        EXPECT_EQ(a.tip.toStdString(), "down 2 since " + since);
        const Mark e = MarkOf(m, "www.e.com");
        EXPECT_EQ(e.rank, "4");
        EXPECT_EQ(e.move, kNew);
        EXPECT_TRUE(e.icon);
        EXPECT_EQ(e.tip.toStdString(), "new since " + since);
    };
    check();
    // The mark follows its row when the table is re-ordered, and the
    // figures order as figures.
    form->ListView1ColumnClick(2);
    check();
    form->ListView1ColumnClick(1);
    EXPECT_EQ(Hosts(form->Table()),
              (std::vector<std::string>{"www.c.com", "www.b.com", "www.a.com", "www.e.com"}));

    // Opening the older survey from the history shows no marks; the newer
    // one shows the same marks as after its run.
    const std::vector<history::SurveyInfo> tools = [&] {
        history::ListFilter f;
        f.QueryContains = "tools";
        return history::HistoryStore(DefaultFile()).List(f);
    }();
    ASSERT_EQ(tools.size(), 2u);
    form->OpenRecorded(tools[1].Id);
    QApplication::processEvents();
    EXPECT_EQ(MarkOf(*form->Model(), "www.d.com").move, -1);
    form->OpenRecorded(tools[0].Id);
    QApplication::processEvents();
    check();
}

}  // namespace
}  // namespace corvane::ui

namespace corvane::ui {
namespace {

std::vector<QPointF> Points(QChart* chart, const QString& host) {
    for (QAbstractSeries* s : chart->series()) {
        if (s->name() == host) {
            const QList<QPointF> points = static_cast<QLineSeries*>(s)->points();
            return std::vector<QPointF>(points.begin(), points.end());
        }
    }
    ADD_FAILURE() << "no series of " << host.toStdString();
    return {};
}

TEST_F(WindowHistory, TheRankChartDrawsEachSelectedHostThroughTheSurveysWithRankOneAtTheTop) {
    MakeWindow();
    Search("tools");  // a 1, b 2, c 3, d 4
    web.Listings["tools"] = {"www.c.com", "www.b.com", "www.a.com", "www.e.com"};
    Search("tools");
    const std::vector<history::SurveyInfo> list = history::HistoryStore(DefaultFile()).List();
    ASSERT_EQ(list.size(), 2u);
    const auto t0 = static_cast<qreal>(
        QDateTime::fromString(QString::fromStdString(list[1].StartedUtc), Qt::ISODate)
            .toMSecsSinceEpoch());
    const auto t1 = static_cast<qreal>(
        QDateTime::fromString(QString::fromStdString(list[0].StartedUtc), Qt::ISODate)
            .toMSecsSinceEpoch());

    // Two rows selected: www.c.com (now 1st) and www.a.com (now 3rd).
    auto* view = Child<QTreeView>(form.get(), "ListView1");
    view->selectionModel()->select(form->Model()->index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->select(form->Model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Child<QAction>(form.get(), "RankHistory1")->trigger();
    auto* window = Child<TRankChart>(form.get(), "RankChart");
    EXPECT_TRUE(window->isVisible());
    QChart* chart = window->Chart();
    ASSERT_EQ(chart->series().size(), 2);
    EXPECT_EQ(Points(chart, "www.c.com"), (std::vector<QPointF>{{t0, 3}, {t1, 1}}));
    EXPECT_EQ(Points(chart, "www.a.com"), (std::vector<QPointF>{{t0, 1}, {t1, 3}}));
    const QList<QAbstractAxis*> ys = chart->axes(Qt::Vertical);
    ASSERT_EQ(ys.size(), 1);
    auto* y = qobject_cast<QValueAxis*>(ys.front());
    ASSERT_NE(y, nullptr);
    EXPECT_TRUE(y->isReverse());
    EXPECT_EQ(y->min(), 1);
    EXPECT_EQ(y->max(), 3);
    window->close();

    // From the History window: the leading hosts of the selected survey; a
    // host missing from a survey has no point there.
    form->findChild<QAction*>("HistoryItem")->trigger();
    auto* history = Child<THistoryWindow>(form.get(), "HistoryWindow");
    auto* list2 = Child<QTreeWidget>(history, "HistoryList");
    list2->setCurrentItem(list2->topLevelItem(0));
    Child<QPushButton>(history, "HistoryChart")->click();
    TRankChart* leaders = nullptr;
    for (TRankChart* c : form->findChildren<TRankChart*>()) {
        if (c->isVisible())
            leaders = c;
    }
    ASSERT_NE(leaders, nullptr);
    ASSERT_EQ(leaders->Chart()->series().size(), 4);
    EXPECT_EQ(Points(leaders->Chart(), "www.e.com"), (std::vector<QPointF>{{t1, 4}}));
    EXPECT_EQ(Points(leaders->Chart(), "www.b.com"), (std::vector<QPointF>{{t0, 2}, {t1, 2}}));
    auto* y2 = qobject_cast<QValueAxis*>(leaders->Chart()->axes(Qt::Vertical).front());
    EXPECT_EQ(y2->min(), 1);
    EXPECT_EQ(y2->max(), 4);
    leaders->close();
}

}  // namespace
}  // namespace corvane::ui
