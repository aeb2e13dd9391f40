// The desktop program as `corvane --demo` puts it together, driven offscreen
// the way a user drives it: Start, the Locate dialog, Search, and the
// commands around a real survey over HTTP on the in-process demo web.
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/survey_file.h"
#include "engine/survey_run.h"
#include "engine/text_ops.h"
#include "qt_env.h"
#include "scripted_web.h"
#include "shell_recorder.h"
#include "ui/desktop_program.h"
#include "ui/file_dialogs.h"
#include "ui/main_form.h"
#include "ui/picture_button.h"
#include "ui/results_model.h"
#include "ui/shell_open.h"
#include "ui/start_form.h"

namespace corvane::ui {
namespace {

using testing::WhenShown;

struct Row {
    std::string caption;
    std::vector<std::string> cells;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(const engine::ResultsTable& t) {
    std::vector<Row> out;
    for (std::size_t i = 0; i < t.Count(); ++i)
        out.push_back({t.Row(i).Caption, t.Row(i).Cells});
    return out;
}

// The same survey run headless over the same page fetch: what the window
// must end up showing.
std::vector<Row> Reference(frontend::PageFetcher& fetcher, const std::string& keyword) {
    struct Host : engine::SurveyHost {
        frontend::PageFetcher& f;
        engine::ResultsTable table;
        explicit Host(frontend::PageFetcher& fetcher) : f(fetcher) {}
        void ShowStatus(const std::string&) override {}
        void PumpMessages() override {}
        bool IsEscapeDown() override { return false; }
        std::string FetchPage(const std::string& url, int port) override {
            return f.Fetch(url, port);
        }
        engine::ResultsTable& Table() override { return table; }
    } host(fetcher);
    engine::RunSurvey(host, keyword, 20, 0, engine::SurveyMode::Keyword);
    return Rows(host.table);
}

class RealUse : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        engine::StopFlag = false;
        engine::SortColumn = 0;
        frontend::FrontEndSettings settings;
        settings.Demo = true;
        // The serial road: pages one after another, each row ended by Stop.
        settings.Jobs = 1;
        settings.HistoryPath = history_.filePath("history.sqlite").toStdString();
        program = std::make_unique<DesktopProgram>(settings);
        program->Show();
        form = &program->MainForm();
        locate = &program->LocateDialog();
    }

    // Start, then Search for `keyword` in the Locate dialog.
    void Survey(const QString& keyword) {
        WhenShown(locate, [this, keyword] {
            testing::Child<QRadioButton>(locate, "rbKeyword")->setChecked(true);
            testing::Child<QLineEdit>(locate, "LabeledEdit1")->setText(keyword);
            QTest::mouseClick(testing::Child<QPushButton>(locate, "BitBtn1"), Qt::LeftButton);
        });
        QTest::mouseClick(BannerButton("BitBtn2"), Qt::LeftButton);
    }

    // Runs `act` at the run's next pump after the model shows row `row`
    // (0-based) for the first time.
    void WhenRowAppears(int row, std::function<void()> act) {
        auto fired = std::make_shared<bool>(false);
        QObject::connect(form->Model(), &QAbstractItemModel::rowsInserted, form,
                         [this, row, act, fired](const QModelIndex&, int first, int) {
                             if (!*fired && first == row) {
                                 *fired = true;
                                 requestsAtAct = program->Fetcher().RequestCount();
                                 QTimer::singleShot(0, form, act);
                             }
                         });
    }

    // A control or menu item of the main window, by its form name.
    template <typename T>
    T* Control(const char* name) const {
        return testing::Child<T>(form, name);
    }
    // Start and Stop; the Locate dialog, a child of the window too, has a
    // "BitBtn2" of its own.
    QPushButton* BannerButton(const char* name) const {
        return testing::Child<QPushButton>(Control<QWidget>("Client"), name);
    }

    void ClickHeader(int column) {
        // Near the section's left edge, which is in view for every column.
        QHeaderView* h = Control<QTreeView>("ListView1")->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(column) + 5, h->height() / 2));
    }

    QTemporaryDir config_;
    QTemporaryDir history_;
    // A new survey over an unsaved one lets the old one go.
    testing::QuestionAnswerer question{"UnsavedTableQuestion", QMessageBox::Discard};
    std::unique_ptr<DesktopProgram> program;
    TForm1* form = nullptr;
    TStartForm* locate = nullptr;
    std::uint64_t requestsAtAct = 0;
};

TEST_F(RealUse, ASurveyFillsTheListThenColumnsOrderItAndItSavesOpensAndVisits) {
    std::vector<std::pair<int, int>> cellsSeen;  // (row, column) as the model shows them
    QObject::connect(form->Model(), &QAbstractItemModel::dataChanged, form,
                     [&](const QModelIndex& a, const QModelIndex&) {
                         cellsSeen.emplace_back(a.row(), a.column());
                     });
    Survey("garden tools");
    EXPECT_EQ(form->StatusText(), "Done!");
    const std::vector<Row> rows = Rows(form->Table());
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(rows, Reference(program->Fetcher(), "garden tools"));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].cells.size(), 5u);
        EXPECT_EQ(rows[i].cells[0], std::to_string(i + 1));
        EXPECT_FALSE(rows[i].caption.empty());
    }
    // Shown cell by cell: each row's six cells in column order.
    std::vector<std::pair<int, int>> expected;
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 6; ++c)
            expected.emplace_back(r, c);
        expected.emplace_back(r, 0);  // the Checked flag
    }
    EXPECT_EQ(cellsSeen, expected);
    EXPECT_EQ(form->Model()->rowCount(), 20);

    // Every column orders the list in its own direction.
    const int direction[] = {+1, +1, -1, +1, -1, +1};
    for (int column : {2, 4, 5, 3, 0, 1}) {
        ClickHeader(column);
        EXPECT_EQ(engine::SortColumn, column);
        const engine::ResultsTable& t = form->Table();
        for (std::size_t i = 1; i < t.Count(); ++i) {
            const auto& a = t.Row(i - 1);
            const auto& b = t.Row(i);
            if (column == 0) {
                EXPECT_LE(engine::CompareCaptions(a.Caption, b.Caption), 0);
                continue;
            }
            std::int32_t x = 0, y = 0;
            ASSERT_TRUE(engine::TryFigureToInt(a.Column(column), x) &&
                        engine::TryFigureToInt(b.Column(column), y));
            EXPECT_LE(direction[column] * (static_cast<std::int64_t>(x) - y), 0)
                << "column " << column << " row " << i;
        }
        EXPECT_EQ(form->Model()->data(form->Model()->index(0, 0)).toString().toStdString(),
                  t.Row(0).Caption);
    }
    EXPECT_EQ(form->Table().Row(0).Cells[0], "1");  // ordered by rank again

    // Save, another survey, then Open brings the first one back.
    QTemporaryDir dir;
    const QString file = dir.filePath("garden.cvn");
    ScopedFileDialogHandler prompts([&file](const FileDialogRequest&) { return file; });
    Control<QAction>("Save1")->trigger();
    ASSERT_TRUE(QFile::exists(file));
    Survey("blue widgets");
    ASSERT_NE(Rows(form->Table()), rows);
    Control<QAction>("Open1")->trigger();
    EXPECT_EQ(Rows(form->Table()), rows);

    // Visit opens the selected site.
    testing::ShellRecorder shell;
    const QRect cell = Control<QTreeView>("ListView1")->visualRect(form->Model()->index(3, 0));
    QTest::mouseClick(Control<QTreeView>("ListView1")->viewport(), Qt::LeftButton, Qt::NoModifier,
                      cell.center());
    Control<QAction>("Visittheselectedwebsite1")->trigger();
    EXPECT_EQ(shell.Targets(),
              std::vector<QString>{QString::fromStdString("http://" + rows[3].caption)});
}

TEST_F(RealUse, StopAndEscapeEndTheRunAfterTheirRow) {
    WhenRowAppears(2,
                   [this] { QTest::mouseClick(Control<QPushButton>("StopBtn"), Qt::LeftButton); });
    Survey("garden tools");
    EXPECT_EQ(form->Table().Count(), 3u);
    EXPECT_EQ(form->Table().Row(2).Cells.size(), 5u);
    EXPECT_EQ(form->StatusText(), "Done!");

    WhenRowAppears(1, [this] { QTest::keyPress(Control<QTreeView>("ListView1"), Qt::Key_Escape); });
    Survey("blue widgets");
    QTest::keyRelease(Control<QTreeView>("ListView1"), Qt::Key_Escape);
    ASSERT_EQ(form->Table().Count(), 2u);
    EXPECT_EQ(form->Table().Row(1).Cells.size(), 5u);
    EXPECT_EQ(Rows(form->Table()), [&] {
        auto all = Reference(program->Fetcher(), "blue widgets");
        all.resize(2);
        return all;
    }());
}

TEST_F(RealUse, ClosingTheWindowDuringARunEndsItWithoutAnotherRequest) {
    WhenRowAppears(1, [this] { form->close(); });
    Survey("garden tools");
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->RunInProgress());
    EXPECT_EQ(program->Fetcher().RequestCount(), requestsAtAct);
    EXPECT_TRUE(engine::StopFlag);
}

TEST_F(RealUse, StartIsOffDuringARunAndTheNextSurveyGivesItsRowsAlone) {
    bool startOn = true, stopOn = false;
    WhenRowAppears(1, [this, &startOn, &stopOn] {
        startOn = BannerButton("BitBtn2")->isEnabled();
        stopOn = Control<QPushButton>("StopBtn")->isEnabled();
        QTest::mouseClick(BannerButton("BitBtn2"), Qt::LeftButton);  // no effect
    });
    Survey("garden tools");
    EXPECT_FALSE(startOn);
    EXPECT_TRUE(stopOn);
    EXPECT_EQ(Rows(form->Table()), Reference(program->Fetcher(), "garden tools"));

    Survey("blue widgets");  // the recorded garden survey is let go unasked
    EXPECT_EQ(question.Asked(), 0);
    EXPECT_FALSE(form->RunInProgress());
    EXPECT_EQ(form->StatusText(), "Done!");
    EXPECT_EQ(Rows(form->Table()), Reference(program->Fetcher(), "blue widgets"));
}

}  // namespace
}  // namespace corvane::ui
