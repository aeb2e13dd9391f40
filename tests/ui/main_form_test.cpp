#include "ui/main_form.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/survey_file.h"
#include "platform/user_paths.h"
#include "qt_env.h"
#include "scripted_web.h"
#include "ui/file_dialogs.h"
#include "ui/info_form.h"
#include "ui/picture_button.h"
#include "ui/product_info.h"
#include "ui/results_model.h"
#include "ui/shell_open.h"
#include "ui/start_form.h"

namespace corvane::ui {
namespace {

using testing::WhenShown;

struct Opened {
    QString target;
    ShellShow show;
};

std::vector<std::string> Captions(const engine::ResultsTable& t) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < t.Count(); ++i)
        out.push_back(t.Row(i).Caption);
    return out;
}

// A double click as the window system delivers it: press, release, then
// the second press as a double click, and its release.
void DoubleClick(QWidget* w, QPoint at) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, at);
}

bool AllComplete(const engine::ResultsTable& t) {
    for (std::size_t i = 0; i < t.Count(); ++i) {
        if (t.Row(i).Cells.size() != 5)
            return false;
    }
    return true;
}

// Records what the table is told after a given moment: the captions of the
// rows written to.
struct WriteLog : engine::TableObserver {
    engine::ResultsTable& table;
    std::vector<std::string> written;
    int clears = 0;
    explicit WriteLog(engine::ResultsTable& t) : table(t) { table.AddObserver(this); }
    ~WriteLog() override { table.RemoveObserver(this); }
    void TableCleared() override { ++clears; }
    void RowChanged(std::size_t index, int part) override {
        ASSERT_LT(index, table.Count());
        if (part != 0)
            written.push_back(table.Row(index).Caption);
    }
};

class MainForm : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        engine::StopFlag = false;
        engine::SortColumn = 0;
        web.Listings["tools"] = {"www.a.com", "www.b.com", "www.c.com"};
        web.Listings["garden"] = {"www.x.com", "www.y.com"};
        form = std::make_unique<TForm1>(
            [this](const std::string& url, int port) { return web.Fetch(url, port); });
        locate = std::make_unique<TStartForm>(form.get());
        about = std::make_unique<TInfoForm>(form.get());
        form->SetLocateDialog(locate.get());
        form->SetAboutBox(about.get());
        form->show();
    }
    void TearDown() override { QApplication::processEvents(); }

    // Start, answered with Search for `keyword`.
    void StartSearch(const QString& keyword) {
        WhenShown(locate.get(), [this, keyword] {
            locate->rbKeyword->setChecked(true);
            locate->LabeledEdit1->setText(keyword);
            locate->BitBtn1Click();
        });
        form->BitBtn2Click();
    }

    // Runs `act` at the run's next pump after the first fetch whose URL
    // holds `part`.
    void AtFetch(const std::string& part, std::function<void()> act) {
        auto done = std::make_shared<bool>(false);
        web.OnFetch = [this, part, act, done](const std::string& url) {
            if (!*done && url.find(part) != std::string::npos) {
                *done = true;
                Soon(act);
            }
        };
    }

    // Runs `act` at the run's next pump after row `row` has been completed
    // (its Checked flag set): the pumps that end a row, after which the run
    // would begin its next row.
    void AtRowEnd(int row, std::function<void()> act) {
        auto done = std::make_shared<bool>(false);
        QObject::connect(
            form->Model(), &QAbstractItemModel::dataChanged, form.get(),
            [this, row, act, done](const QModelIndex& at, const QModelIndex&,
                                   const QList<int>& roles) {
                if (!*done && at.row() == row && roles.contains(ResultsModel::CheckedRole)) {
                    *done = true;
                    Soon(act);
                }
            });
    }

    void Soon(std::function<void()> act) {
        QTimer::singleShot(0, form.get(), [this, act] {
            fetchesAtAct = web.Log.size();
            act();
        });
    }

    // Gives the Locate dialog, at its next showing, `keyword` and Search.
    void AnswerSearch(const QString& keyword) {
        WhenShown(locate.get(), [this, keyword] {
            locate->LabeledEdit1->setText(keyword);
            locate->BitBtn1Click();
        });
    }

    void FillTable(const std::vector<std::string>& captions) {
        engine::ResultsTable& t = form->Table();
        for (const std::string& c : captions) {
            const engine::RowHandle h = t.Append();
            EXPECT_TRUE(t.SetCaption(h, c));
            for (const char* cell : {"1", "2", "3", "4", "5"})
                EXPECT_TRUE(t.AppendCell(h, cell));
        }
    }

    void Select(int row) {
        form->ListView1->selectionModel()->select(
            form->Model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    QTemporaryDir config_;
    testing::ScriptedWeb web;
    std::size_t fetchesAtAct = 0;
    std::vector<Opened> opened;
    ScopedShellOpener shell{[this](const QString& t, ShellShow s) {
        opened.push_back({t, s});
        return true;
    }};
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TStartForm> locate;
    std::unique_ptr<TInfoForm> about;
};

TEST_F(MainForm, LayoutAsDesigned) {
    EXPECT_EQ(form->windowTitle(), "Corvane");
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->Client->size(), QSize(502, 427));
    EXPECT_EQ(form->Client->geometry().bottom(), form->height() - 1);
    EXPECT_EQ(form->font().family(), "MS Sans Serif");
    EXPECT_EQ(form->font().pixelSize(), 11);

    EXPECT_EQ(form->Image1->geometry(), QRect(7, 4, 490, 55));
    EXPECT_EQ(form->Image1->pixmap().size(), QSize(490, 55));
    EXPECT_TRUE(form->Image1->hasScaledContents());
    const struct {
        TPictureButton* button;
        const char* text;
        QRect box;
    } buttons[] = {{form->BitBtn2, "Start", QRect(262, 10, 65, 45)},
                   {form->StopBtn, "Stop", QRect(338, 10, 65, 45)}};
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->text(), b.text);
        EXPECT_EQ(b.button->geometry(), b.box);
        EXPECT_EQ(b.button->Spacing(), 5);
        EXPECT_EQ(b.button->CaptionRect().left() - b.button->PictureRect().right() - 1, 5);
        EXPECT_GE(b.button->PictureRect().left(), 2);
        EXPECT_LE(b.button->CaptionRect().right(), b.box.width() - 3);
        EXPECT_EQ(b.button->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_FALSE(b.button->Picture().isNull());
    }

    QTreeView* list = form->ListView1;
    EXPECT_EQ(list->geometry(), QRect(5, 68, 490, 336));
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(list->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_FALSE(list->rootIsDecorated());
    const char* captions[] = {"Website URL",    "Rank #",       "Inbound Links",
                              "Outbound Links", "Link's Value", "Alexa Ranking"};
    const int widths[] = {115, 55, 90, 90, 90, 100};
    const int minimums[] = {75, 50, 90, 90, 90, 100};
    QHeaderView* header = list->header();
    ASSERT_EQ(header->count(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(form->Model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
        EXPECT_EQ(header->sectionSize(c), widths[c]) << c;
        header->resizeSection(c, 20);  // dragged narrower than allowed
        EXPECT_EQ(header->sectionSize(c), minimums[c]) << c;
        header->resizeSection(c, 140);
        EXPECT_EQ(header->sectionSize(c), 140) << c;
    }
    EXPECT_EQ(form->StatusBar1->geometry(), QRect(0, 408, 502, 19));
    EXPECT_EQ(form->StatusText(), "");

    // Menus: texts, separators, shortcuts, pictures, default items.
    auto texts = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    const QList<QAction*> top = form->MainMenu1->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[0]->text(), "&File");
    EXPECT_EQ(top[1]->text(), "Website");
    EXPECT_EQ(top[2]->text(), "&Help");
    EXPECT_EQ(texts(form->File1), QStringList({"&Open file...", "&Save file...", "-", "E&xit"}));
    EXPECT_EQ(texts(form->Website1), QStringList({"Visit the selected website..."}));
    EXPECT_EQ(texts(form->Help1),
              QStringList({"&Contents", "The Corvane Homepage...", "-", "&About..."}));
    EXPECT_EQ(texts(form->PopupMenu1), QStringList({"Visit website..."}));
    EXPECT_EQ(form->Contents1->shortcut(), QKeySequence(Qt::Key_F1));
    for (QAction* a : {form->Open1, form->Save1, form->Exit1, form->Contents1,
                       form->TheCorvaneHomepage1, form->About1}) {
        EXPECT_EQ(a->shortcut(), a == form->Contents1 ? QKeySequence(Qt::Key_F1) : QKeySequence());
        EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
    }
    EXPECT_TRUE(form->Visittheselectedwebsite1->icon().isNull());
    EXPECT_EQ(form->Website1->defaultAction(), form->Visittheselectedwebsite1);
    EXPECT_TRUE(form->Visittheselectedwebsite1->font().bold());
    EXPECT_EQ(form->PopupMenu1->defaultAction(), form->Visitwebsite1);
    EXPECT_TRUE(form->Visitwebsite1->font().bold());
    EXPECT_EQ(form->ImageList1.size(), 7u);

    // The file prompts start in the program's own folder.
    const QString folder = QString::fromStdString(platform::ProgramFolder());
    ASSERT_TRUE(folder.endsWith('/'));
    EXPECT_EQ(form->ProgramFolder, folder);
    for (const FileDialogRequest* d : {&form->OpenDialog1, &form->SaveDialog1}) {
        EXPECT_EQ(d->Filter, "Corvane files (*.cvn)");
        EXPECT_EQ(d->DefaultSuffix, "cvn");
        EXPECT_EQ(d->InitialDir, folder);
    }
    EXPECT_EQ(form->OpenDialog1.Kind, FileDialogKind::Open);
    EXPECT_EQ(form->SaveDialog1.Kind, FileDialogKind::Save);
}

TEST_F(MainForm, StartThenCancelOrTheCloseBoxRunsNothing) {
    for (bool closeBox : {false, true}) {
        form->StatusBar1->showMessage("before");
        engine::StopFlag = false;
        WhenShown(locate.get(), [this, closeBox] {
            locate->LabeledEdit1->setText("tools");
            if (closeBox) {
                locate->close();
            } else {
                locate->BitBtn2Click();
            }
        });
        form->BitBtn2Click();
        EXPECT_FALSE(locate->isVisible());
        EXPECT_TRUE(web.Log.empty());
        EXPECT_EQ(form->StatusText(), "before");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(engine::StopFlag);
    }
}

TEST_F(MainForm, EmptyKeywordRunsUnderTheBusyCursorAndEndsDone) {
    std::vector<Qt::CursorShape> cursors;
    web.OnFetch = [&cursors](const std::string&) {
        const QCursor* c = QApplication::overrideCursor();
        cursors.push_back(c ? c->shape() : Qt::ArrowCursor);
    };
    StartSearch("");
    ASSERT_EQ(web.Log.size(), 1u);
    EXPECT_EQ(web.Log[0], "http://search.yahoo.com/search?p=%22%22&ei=UTF-8&n=20&b=1");
    EXPECT_EQ(cursors, std::vector<Qt::CursorShape>{Qt::WaitCursor});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->StatusText(), "Done!");
    EXPECT_EQ(form->Table().Count(), 0u);
}

TEST_F(MainForm, AFailingRunStillRestoresTheCursorAndShowsDone) {
    // The results page cannot be fetched at all: the previous survey stays.
    FillTable({"www.kept.com"});
    web.OnFetch = [](const std::string&) { throw std::runtime_error("no network client"); };
    StartSearch("tools");
    EXPECT_EQ(Captions(form->Table()), std::vector<std::string>{"www.kept.com"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->StatusText(), "Done!");

    // A figure that is not a number ends the run after its row.
    web.OnFetch = nullptr;
    web.Inbound["www.b.com"] = "12x";
    form->StatusBar1->showMessage("");
    StartSearch("tools");
    EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.a.com", "www.b.com"}));
    EXPECT_TRUE(AllComplete(form->Table()));
    EXPECT_EQ(form->Table().Row(1).Cells[3], engine::kLinkValuePlaceholder);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(MainForm, VisitOpensExactlyTheSelectedHostOrNothing) {
    auto visitAllWays = [this](int row) {
        form->Visittheselectedwebsite1->trigger();
        form->Visitwebsite1->trigger();
        const QRect cell = form->ListView1->visualRect(form->Model()->index(std::max(row, 0), 0));
        DoubleClick(form->ListView1->viewport(), row < 0 ? QPoint(5, 300) : cell.center());
    };
    visitAllWays(-1);  // empty table
    EXPECT_TRUE(opened.empty());

    FillTable({"www.b.com", "", "Odd Host.example/x?y=1&z"});
    form->ListView1->clearSelection();
    form->Visittheselectedwebsite1->trigger();
    form->Visitwebsite1->trigger();
    EXPECT_TRUE(opened.empty());  // no selected row
    Select(1);
    visitAllWays(1);
    EXPECT_TRUE(opened.empty());  // empty host

    Select(2);
    form->Visittheselectedwebsite1->trigger();
    form->Visitwebsite1->trigger();
    const QRect first = form->ListView1->visualRect(form->Model()->index(0, 2));
    DoubleClick(form->ListView1->viewport(), first.center());
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].target.toStdString(), "http://Odd Host.example/x?y=1&z");
    EXPECT_EQ(opened[1].target.toStdString(), "http://Odd Host.example/x?y=1&z");
    EXPECT_EQ(opened[2].target.toStdString(), "http://www.b.com");
    for (const Opened& o : opened)
        EXPECT_EQ(o.show, ShellShow::Maximized);
    EXPECT_FALSE(engine::StopFlag);  // visiting does not press Stop
}

TEST_F(MainForm, HelpAndHomepageGoToTheShell) {
    form->Contents1->trigger();
    form->TheCorvaneHomepage1->trigger();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].target, "help.chm");
    EXPECT_EQ(opened[1].target, kHomepageUrl);
    EXPECT_EQ(opened[0].show, ShellShow::Maximized);
    EXPECT_EQ(opened[1].show, ShellShow::Maximized);
}

TEST_F(MainForm, F1OpensHelpDuringARunWithoutStoppingIt) {
    AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com", [this] {
        // The key goes to the active window, as the window system sends it.
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), Qt::Key_F1);
    });
    StartSearch("tools");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].target, "help.chm");
    EXPECT_EQ(Captions(form->Table()),
              (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com"}));
    EXPECT_FALSE(engine::StopFlag);
}

TEST_F(MainForm, StopDuringARunEndsItWhenTheRowIsComplete) {
    AtFetch("link%3Ahttp%3A%2F%2Fwww.a.com", [this] { form->StopBtn->click(); });
    StartSearch("tools");
    EXPECT_EQ(Captions(form->Table()), std::vector<std::string>{"www.a.com"});
    EXPECT_TRUE(AllComplete(form->Table()));
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(MainForm, EscapeEndsARunOnlyWhenHeldAsTheRowCompletes) {
    // Pressed and released within the row: the run goes on.
    AtFetch("link%3Ahttp%3A%2F%2Fwww.a.com", [this] {
        QTest::keyPress(form->ListView1, Qt::Key_Escape);
        QTest::keyRelease(form->ListView1, Qt::Key_Escape);
    });
    StartSearch("tools");
    EXPECT_EQ(form->Table().Count(), 3u);

    // Held down: the run ends after that row.
    AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com",
            [this] { QTest::keyPress(form->ListView1, Qt::Key_Escape); });
    StartSearch("tools");
    QTest::keyRelease(form->ListView1, Qt::Key_Escape);
    EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.a.com", "www.b.com"}));
    EXPECT_TRUE(AllComplete(form->Table()));
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(MainForm, ColumnClickDuringARunKeepsFillingTheSameRow) {
    web.Inbound = {{"www.a.com", "100"}, {"www.b.com", "900"}, {"www.c.com", "500"}};
    AtFetch("link%3Ahttp%3A%2F%2Fwww.c.com", [this] {
        const QHeaderView* h = form->ListView1->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(2) + 10, h->height() / 2));
    });
    StartSearch("tools");
    EXPECT_EQ(engine::SortColumn, 2);
    const engine::ResultsTable& t = form->Table();
    ASSERT_EQ(t.Count(), 3u);
    EXPECT_TRUE(AllComplete(t));
    EXPECT_EQ(t.Row(0).Caption, "www.b.com");  // the larger inbound figure first
    for (std::size_t i = 0; i < t.Count(); ++i) {
        const std::string& c = t.Row(i).Caption;
        EXPECT_EQ(t.Row(i).Cells[0], c == "www.a.com" ? "1" : c == "www.b.com" ? "2" : "3");
        EXPECT_EQ(t.Row(i).Cells[1], web.Inbound[c]);
    }
}

TEST_F(MainForm, ClosingTheWindowDuringARunEndsItAtOnce) {
    AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com", [this] { form->close(); });
    StartSearch("tools");
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->RunInProgress());
    EXPECT_EQ(web.Log.size(), fetchesAtAct);  // not one fetch more
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The older run is given up at two kinds of moments: inside a row, where
// its next step would write a cell, and at the end of a row, where it would
// begin another row.
enum class Moment { InsideARow, AtARowEnd };

TEST_F(MainForm, StartConfirmedDuringARunBeginsOnlyOnceTheOlderRunHasReturned) {
    for (Moment moment : {Moment::InsideARow, Moment::AtARowEnd}) {
        SCOPED_TRACE(moment == Moment::InsideARow ? "inside a row" : "at a row end");
        web.Log.clear();
        std::unique_ptr<WriteLog> writes;
        auto startAgain = [this, &writes] {
            writes = std::make_unique<WriteLog>(form->Table());
            AnswerSearch("garden");
            form->BitBtn2->click();
        };
        if (moment == Moment::InsideARow) {
            AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com", startAgain);
        } else {
            AtRowEnd(0, startAgain);
        }
        StartSearch("tools");
        web.OnFetch = nullptr;

        // Nothing of the older survey was fetched once the new one was asked for.
        ASSERT_GT(web.Log.size(), fetchesAtAct);
        EXPECT_EQ(web.Log[fetchesAtAct],
                  "http://search.yahoo.com/search?p=%22garden%22&ei=UTF-8&n=20&b=1");
        for (std::size_t i = fetchesAtAct; i < web.Log.size(); ++i) {
            for (const char* old : {"www.a.com", "www.b.com", "www.c.com"}) {
                EXPECT_EQ(web.Log[i].find(old), std::string::npos) << web.Log[i];
            }
        }
        // The table holds the new survey alone, complete, and no cell went
        // to a row of the older one.
        EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.x.com", "www.y.com"}));
        EXPECT_TRUE(AllComplete(form->Table()));
        EXPECT_EQ(form->Table().Row(0).Cells[0], "1");
        ASSERT_TRUE(writes);
        for (const std::string& w : writes->written)
            EXPECT_TRUE(w == "www.x.com" || w == "www.y.com") << w;
        EXPECT_FALSE(form->RunInProgress());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(form->StatusText(), "Done!");
    }
}

TEST_F(MainForm, OpenDuringARunReplacesTheTableOnceTheRunHasReturned) {
    QTemporaryDir dir;
    const QString file = dir.filePath("kept.cvn");
    {
        engine::ResultsTable saved;
        for (const char* host : {"www.p.com", "www.q.com"}) {
            const auto h = saved.Append();
            EXPECT_TRUE(saved.SetCaption(h, host));
            for (const char* cell : {"7", "8", "9", "10", "11"})
                EXPECT_TRUE(saved.AppendCell(h, cell));
        }
        engine::SaveSurvey(saved, QFile::encodeName(file).toStdString());
    }
    ScopedFileDialogHandler answer([&file](const FileDialogRequest& r) {
        return r.Kind == FileDialogKind::Open ? file : QString();
    });
    for (Moment moment : {Moment::InsideARow, Moment::AtARowEnd}) {
        SCOPED_TRACE(moment == Moment::InsideARow ? "inside a row" : "at a row end");
        web.Log.clear();
        auto open = [this] { form->Open1->trigger(); };
        if (moment == Moment::InsideARow) {
            AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com", open);
        } else {
            AtRowEnd(0, open);
        }
        StartSearch("tools");
        web.OnFetch = nullptr;
        EXPECT_EQ(web.Log.size(), fetchesAtAct);
        EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.p.com", "www.q.com"}));
        EXPECT_EQ(form->Table().Row(1).Cells[4], "11");
        EXPECT_FALSE(form->RunInProgress());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(MainForm, SaveAndOpenThroughThePromptsQuietlyAndAfterStop) {
    QTemporaryDir dir;
    const QString file = dir.filePath("survey.cvn");
    std::vector<FileDialogRequest> asked;
    QString answerWith = file;
    ScopedFileDialogHandler answer([&](const FileDialogRequest& r) {
        asked.push_back(r);
        return answerWith;
    });
    StartSearch("tools");
    ASSERT_EQ(form->Table().Count(), 3u);
    form->StatusBar1->showMessage("kept");

    engine::StopFlag = false;
    form->Save1->trigger();
    EXPECT_TRUE(engine::StopFlag);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Kind, FileDialogKind::Save);
    EXPECT_EQ(asked[0].Parent, form.get());
    engine::ResultsTable back;
    ASSERT_TRUE(engine::LoadSurvey(back, QFile::encodeName(file).toStdString()));
    EXPECT_EQ(Captions(back), Captions(form->Table()));

    FillTable({"www.extra.com"});
    engine::StopFlag = false;
    form->Open1->trigger();
    EXPECT_TRUE(engine::StopFlag);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].Kind, FileDialogKind::Open);
    EXPECT_EQ(Captions(form->Table()),
              (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com"}));
    EXPECT_EQ(form->StatusText(), "kept");

    // Cancelled prompts change nothing; a file that cannot be written or
    // read leaves no trace but the table the Open gives.
    answerWith.clear();
    form->Open1->trigger();
    form->Save1->trigger();
    EXPECT_EQ(form->Table().Count(), 3u);
    answerWith = dir.filePath("no/such/folder/x.cvn");
    form->Save1->trigger();
    EXPECT_FALSE(QFile::exists(answerWith));
    EXPECT_EQ(form->Table().Count(), 3u);
}

TEST_F(MainForm, AboutAndExitPressStopFirst) {
    WhenShown(about.get(), [this] { about->BitBtn3Click(); });
    form->About1->trigger();
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_FALSE(about->isVisible());

    engine::StopFlag = false;
    form->Exit1->trigger();
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_FALSE(form->isVisible());
}

}  // namespace
}  // namespace corvane::ui
