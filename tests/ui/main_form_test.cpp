#include "ui/main_form.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/survey_file.h"
#include "layout_checks.h"
#include "platform/user_paths.h"
#include "qt_env.h"
#include "scripted_web.h"
#include "shell_recorder.h"
#include "ui/file_dialogs.h"
#include "ui/help_window.h"
#include "ui/info_form.h"
#include "ui/picture_button.h"
#include "ui/product_info.h"
#include "ui/results_model.h"
#include "ui/shell_open.h"
#include "ui/start_form.h"

namespace corvane::ui {
namespace {

using testing::Child;
using testing::Opened;
using testing::WhenShown;

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

// The contrast ratio of two colours as the web's accessibility guidelines
// define it: 1 for the same colour, 21 for black on white.
double Contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
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

// Counts the showings of a widget, closing it at once.
struct ShowCounter : QObject {
    QWidget* widget;
    int shows = 0;
    explicit ShowCounter(QWidget* w) : widget(w) { widget->installEventFilter(this); }
    ~ShowCounter() override { widget->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            ++shows;
            QTimer::singleShot(0, widget, [w = widget] { w->close(); });
        }
        return false;
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
            Field<QRadioButton>("rbKeyword")->setChecked(true);
            Field<QLineEdit>("LabeledEdit1")->setText(keyword);
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
            Field<QLineEdit>("LabeledEdit1")->setText(keyword);
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

    // The window's controls and menu items, by their form names.
    QTreeView* List() const { return Child<QTreeView>(form.get(), "ListView1"); }
    QAction* Item(const char* name) const { return Child<QAction>(form.get(), name); }
    QMenu* Menu(const char* name) const { return Child<QMenu>(form.get(), name); }
    // The banner's buttons; the Locate dialog, a child of the window too, has
    // a "BitBtn2" of its own.
    QPushButton* Button(const char* name) const {
        return Child<QPushButton>(Child<QWidget>(form.get(), "Client"), name);
    }
    // The Locate dialog's controls, by their form names.
    template <typename T>
    T* Field(const char* name) const {
        return Child<T>(locate.get(), name);
    }
    void SetStatus(const QString& text) const {
        Child<QStatusBar>(form.get(), "StatusBar1")->showMessage(text);
    }

    void Select(int row) {
        List()->selectionModel()->select(
            form->Model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    QTemporaryDir config_;
    testing::ScriptedWeb web;
    std::size_t fetchesAtAct = 0;
    testing::ShellRecorder shell;
    // Throws an unsaved table away unless a test answers otherwise.
    testing::QuestionAnswerer question{"UnsavedTableQuestion", QMessageBox::Discard};
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TStartForm> locate;
    std::unique_ptr<TInfoForm> about;
};

TEST_F(MainForm, ControlsMenusAndPromptsAsDesigned) {
    EXPECT_EQ(form->windowTitle(), "Corvane");
    EXPECT_EQ(form->font().family(), "MS Sans Serif");
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_FALSE(Child<QLabel>(form.get(), "Image1")->pixmap().isNull());
    for (const auto& [name, text] : {std::pair{"BitBtn2", "Start"}, {"StopBtn", "Stop"}}) {
        auto* b = Child<TPictureButton>(form.get(), name);
        EXPECT_EQ(b->text(), text);
        EXPECT_EQ(b->Spacing(), 5);
        EXPECT_EQ(b->CaptionRect().left() - b->PictureRect().right() - 1, 5);
        EXPECT_GE(b->PictureRect().left(), 2);
        EXPECT_LE(b->CaptionRect().right(), b->width() - 3);
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_FALSE(b->Picture().isNull());
        // Legible on the dark banner whatever the desktop's colours: the
        // caption stands out from the button's face, also while it is off.
        for (const auto group : {QPalette::Active, QPalette::Disabled}) {
            const QPalette& p = b->palette();
            EXPECT_GE(
                Contrast(p.color(group, QPalette::ButtonText), p.color(group, QPalette::Button)),
                group == QPalette::Active ? 7.0 : 3.0)
                << name << " " << group;
        }
    }

    QTreeView* list = List();
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(list->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_FALSE(list->rootIsDecorated());
    const char* captions[] = {"Website URL",    "Rank #",       "Inbound Links",
                              "Outbound Links", "Link's Value", "Alexa Ranking"};
    const int minimums[] = {75, 50, 90, 90, 90, 100};
    QHeaderView* header = list->header();
    ASSERT_EQ(header->count(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(form->Model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
        EXPECT_GE(header->sectionSize(c), minimums[c]) << c;
        if (c == 5) {
            break;  // the last column fills what the others leave
        }
        const int opening = header->sectionSize(c);
        header->resizeSection(c, 20);  // dragged narrower than allowed
        EXPECT_EQ(header->sectionSize(c), minimums[c]) << c;
        header->resizeSection(c, opening);
    }
    EXPECT_EQ(form->StatusText(), "");

    // Menus: texts, separators, shortcuts, pictures, default items.
    auto texts = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    const QList<QAction*> top = Child<QMenuBar>(form.get(), "MainMenu1")->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[0]->menu(), Menu("File1"));
    EXPECT_EQ(top[1]->menu(), Menu("Website1"));
    EXPECT_EQ(top[2]->menu(), Menu("Help1"));
    EXPECT_EQ(top[0]->text(), "&File");
    EXPECT_EQ(top[1]->text(), "Website");
    EXPECT_EQ(top[2]->text(), "&Help");
    EXPECT_EQ(texts(Menu("File1")), QStringList({"&Open file...", "&Save file...", "&History...",
                                                 "Se&ttings...", "-", "E&xit"}));
    EXPECT_EQ(texts(Menu("Website1")), QStringList({"Visit the selected website..."}));
    EXPECT_EQ(texts(Menu("Help1")),
              QStringList({"&Contents", "The Corvane Homepage...", "-", "&About..."}));
    EXPECT_EQ(texts(Menu("PopupMenu1")), QStringList({"Visit website...", "Rank history..."}));
    for (const char* name :
         {"Open1", "Save1", "Exit1", "Contents1", "TheCorvaneHomepage1", "About1"}) {
        QAction* a = Item(name);
        EXPECT_EQ(a->shortcut(),
                  a == Item("Contents1") ? QKeySequence(Qt::Key_F1) : QKeySequence());
        EXPECT_FALSE(a->icon().isNull()) << name;
    }
    EXPECT_TRUE(Item("Visittheselectedwebsite1")->icon().isNull());
    EXPECT_EQ(Menu("Website1")->defaultAction(), Item("Visittheselectedwebsite1"));
    EXPECT_TRUE(Item("Visittheselectedwebsite1")->font().bold());
    EXPECT_EQ(Menu("PopupMenu1")->defaultAction(), Item("Visitwebsite1"));
    EXPECT_TRUE(Item("Visitwebsite1")->font().bold());

    // Both file prompts ask for survey files.
    std::vector<FileDialogRequest> asked;
    ScopedFileDialogHandler answer([&asked](const FileDialogRequest& r) {
        asked.push_back(r);
        return QString();
    });
    Item("Open1")->trigger();
    Item("Save1")->trigger();
    ASSERT_EQ(asked.size(), 2u);
    for (const FileDialogRequest& d : asked) {
        EXPECT_EQ(d.Parent, form.get());
        EXPECT_EQ(d.Filter, "Corvane files (*.cvn)");
        EXPECT_EQ(d.DefaultSuffix, "cvn");
    }
    EXPECT_EQ(asked[0].Kind, FileDialogKind::Open);
    EXPECT_EQ(asked[1].Kind, FileDialogKind::Save);
}

TEST_F(MainForm, FilePromptsStartInTheDocumentsThenWhereTheLastOneEnded) {
    QTemporaryDir home;
    struct HomeScope {
        QByteArray old = qgetenv("HOME");
        explicit HomeScope(const QString& home) { qputenv("HOME", home.toLocal8Bit()); }
        ~HomeScope() { qputenv("HOME", old); }
    } homeScope(home.path());
    QDir(home.path()).mkpath("Documents");
    QDir(home.path()).mkpath("surveys");
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    std::vector<QString> startedIn;
    QString answerWith;
    ScopedFileDialogHandler answer([&](const FileDialogRequest& r) {
        startedIn.push_back(r.InitialDir);
        return answerWith;
    });
    auto fresh = [this] {
        locate.reset();
        about.reset();
        form = std::make_unique<TForm1>(
            [this](const std::string& url, int port) { return web.Fetch(url, port); });
    };
    fresh();
    Item("Open1")->trigger();  // cancelled: remembers nothing
    answerWith = home.filePath("surveys/mine.cvn");
    Item("Save1")->trigger();
    Item("Open1")->trigger();
    fresh();  // the next start of the program
    answerWith.clear();
    Item("Save1")->trigger();
    EXPECT_EQ(startedIn, (std::vector<QString>{documents, documents, home.filePath("surveys"),
                                               home.filePath("surveys")}));
    EXPECT_EQ(documents, home.filePath("Documents"));
}

TEST_F(MainForm, NoControlOverlapsAnotherOrLeavesTheWindow) {
    testing::ExpectTidy(form.get());
    // The Start and Stop buttons lie over the banner by design.
    testing::ExpectTidy(Child<QWidget>(form.get(), "Client"),
                        {{"BitBtn2", "Image1"}, {"StopBtn", "Image1"}});
}

// Rows with the widest figures a cell can hold.
void FillWidest(TForm1& form, int rows) {
    engine::ResultsTable& t = form.Table();
    for (int i = 0; i < rows; ++i) {
        const engine::RowHandle h = t.Append();
        EXPECT_TRUE(t.SetCaption(h, "www.site" + std::to_string(i) + ".example"));
        for (int c = 0; c < 5; ++c)
            EXPECT_TRUE(t.AppendCell(h, "999999999"));
    }
}

// Every caption and every figure in full, without scrolling sideways, at
// the size the window opens with, under the classic captions and those of
// a survey of today's web (its sixth column is "Traffic Rank"), the sorted
// column's indicator included; more rows than fit, so that the list shows
// its vertical scroll bar.
TEST_F(MainForm, EveryColumnIsFullyVisibleAtTheOpeningSize) {
    FillWidest(*form, 40);
    QTreeView* list = List();
    QHeaderView* header = list->header();
    for (const char* const* captions : {engine::kColumnCaptions, engine::kWebColumnCaptions}) {
        SCOPED_TRACE(captions[5]);
        form->Model()->SetCaptions(captions);
        list->doItemsLayout();  // the layout the view would do at its next turn
        QApplication::processEvents();
        ASSERT_EQ(form->Model()->headerData(5, Qt::Horizontal).toString(), captions[5]);
        ASSERT_TRUE(list->verticalScrollBar()->isVisible());
        ASSERT_TRUE(header->isSortIndicatorShown());  // its room is in the size hints
        for (int c = 0; c < engine::kColumnCount; ++c) {
            SCOPED_TRACE(c);
            EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << "caption cut";
            if (c > 0) {
                // Public in the view's base; the list's own answer all the same.
                const QAbstractItemView* view = list;
                EXPECT_GE(header->sectionSize(c), view->sizeHintForColumn(c)) << "figure cut";
            }
        }
        EXPECT_LE(header->length(), list->viewport()->width());
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    }
}

TEST_F(MainForm, TheListGrowsWithTheWindowAndItsLastColumnTakesTheRoom) {
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->minimumSize(), form->size());  // never smaller than it opens
    QTreeView* list = List();
    QHeaderView* header = list->header();
    auto* banner = Child<QLabel>(form.get(), "Image1");
    const QSize opening = form->size();
    const QRect listBefore = list->geometry();
    std::vector<int> before;
    for (int c = 0; c < engine::kColumnCount; ++c)
        before.push_back(header->sectionSize(c));

    form->resize(opening + QSize(300, 200));
    QApplication::processEvents();
    EXPECT_EQ(list->geometry(), listBefore.adjusted(0, 0, 300, 200));
    EXPECT_EQ(banner->width(), banner->pixmap().width());
    EXPECT_EQ(banner->geometry().right(), list->geometry().right() + 2);
    for (int c = 0; c + 1 < engine::kColumnCount; ++c)
        EXPECT_EQ(header->sectionSize(c), before[static_cast<std::size_t>(c)]) << c;
    EXPECT_EQ(header->sectionSize(5), before[5] + 300);
    testing::ExpectTidy(Child<QWidget>(form.get(), "Client"),
                        {{"BitBtn2", "Image1"}, {"StopBtn", "Image1"}});

    form->resize(opening);
    QApplication::processEvents();
    EXPECT_EQ(list->geometry(), listBefore);
    EXPECT_EQ(header->sectionSize(5), before[5]);
}

TEST_F(MainForm, FiguresLineUpRightCutHostsShowAsTipsAndTheOrderShowsItsDirection) {
    FillTable({"www.a-host-name-far-too-long-for-its-column.example", "www.b.com"});
    ResultsModel* model = form->Model();
    EXPECT_EQ(model->data(model->index(0, 3), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_FALSE(model->data(model->index(0, 0), Qt::TextAlignmentRole).isValid());

    // The tip shows over the cut host only.
    QTreeView* list = List();
    QApplication::processEvents();
    auto tipAt = [list](int row) {
        QToolTip::hideText();  // hidden at the next turn of the event loop
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000))
            return QStringLiteral("(an older tip stays)");
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QHelpEvent help(QEvent::ToolTip, cell.center(),
                        list->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(list->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(0), "www.a-host-name-far-too-long-for-its-column.example");
    EXPECT_EQ(tipAt(1), "");
    QToolTip::hideText();

    // A header click shows the column's direction; a new table clears it.
    QHeaderView* header = list->header();
    EXPECT_EQ(header->sortIndicatorSection(), -1);
    const std::pair<int, Qt::SortOrder> directions[] = {{2, Qt::DescendingOrder},
                                                        {4, Qt::DescendingOrder},
                                                        {0, Qt::AscendingOrder},
                                                        {5, Qt::AscendingOrder}};
    for (const auto& [column, order] : directions) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, Qt::NoModifier,
            QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
        EXPECT_EQ(header->sortIndicatorSection(), column);
        EXPECT_EQ(header->sortIndicatorOrder(), order) << column;
    }
    StartSearch("tools");
    EXPECT_EQ(header->sortIndicatorSection(), -1);
}

TEST_F(MainForm, StartThenCancelOrTheCloseBoxRunsNothing) {
    for (bool closeBox : {false, true}) {
        SetStatus("before");
        engine::StopFlag = false;
        WhenShown(locate.get(), [this, closeBox] {
            Field<QLineEdit>("LabeledEdit1")->setText("tools");
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

TEST_F(MainForm, ARunGoesUnderTheBusyCursorWithStartOffAndStopOn) {
    QPushButton* start = Button("BitBtn2");
    QPushButton* stop = Button("StopBtn");
    auto* rows = Child<QLabel>(form.get(), "RowCount");
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(rows->text(), "0 rows");
    struct Seen {
        Qt::CursorShape cursor;
        bool start, stop;
        QString rows;
    };
    std::vector<Seen> seen;
    web.OnFetch = [&](const std::string& url) {
        if (url.find("link%3A") == std::string::npos)
            return;  // one look per row, at its inbound-link page
        const QCursor* c = QApplication::overrideCursor();
        seen.push_back({c ? c->shape() : Qt::ArrowCursor, start->isEnabled(), stop->isEnabled(),
                        rows->text()});
    };
    StartSearch("tools");
    ASSERT_EQ(seen.size(), 3u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].cursor, Qt::WaitCursor);
        EXPECT_FALSE(seen[i].start);
        EXPECT_TRUE(seen[i].stop);
        EXPECT_EQ(seen[i].rows, i == 0 ? QString("1 row") : QString("%1 rows").arg(i + 1));
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(form->StatusText(), "Done!");
    EXPECT_EQ(rows->text(), "3 rows");
}

TEST_F(MainForm, AnEmptyKeywordOrDomainKeepsTheTableAndSaysWhatIsMissing) {
    FillTable({"www.kept.com"});
    StartSearch("");
    EXPECT_TRUE(web.Log.empty());
    EXPECT_EQ(Captions(form->Table()), std::vector<std::string>{"www.kept.com"});
    EXPECT_EQ(form->StatusText(),
              "No keyword to search for: enter a keyword or phrase after pressing Start.");
    SetStatus("");
    StartSearch("   ");  // blanks are no keyword either
    EXPECT_TRUE(web.Log.empty());
    EXPECT_TRUE(form->StatusText().startsWith("No keyword to search for"));

    WhenShown(locate.get(), [this] {
        Field<QRadioButton>("rbDomain")->setChecked(true);
        Field<QLineEdit>("HomepageEdit")->clear();
        Field<QLineEdit>("LabeledEdit1")->setText("tools");  // not the mode's field
        locate->BitBtn1Click();
    });
    form->BitBtn2Click();
    EXPECT_TRUE(web.Log.empty());
    EXPECT_EQ(Captions(form->Table()), std::vector<std::string>{"www.kept.com"});
    EXPECT_EQ(form->StatusText(),
              "No domain to search for: enter a target URL after pressing Start.");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainForm, AnUnsavedTableIsNotThrownAwayWithoutAsking) {
    QTemporaryDir dir;
    std::vector<FileDialogKind> prompts;
    QString answerWith;
    ScopedFileDialogHandler files([&](const FileDialogRequest& r) {
        prompts.push_back(r.Kind);
        return answerWith;
    });
    StartSearch("tools");
    ASSERT_EQ(form->Table().Count(), 3u);

    // Cancel keeps everything: no Locate dialog, no file prompt, no close.
    question.answer = QMessageBox::Cancel;
    // Were the Locate dialog shown now, nothing would answer it: closed at
    // once, it counts as shown.
    {
        ShowCounter locateShown(locate.get());
        form->BitBtn2Click();
        Item("Open1")->trigger();
        form->close();
        EXPECT_EQ(locateShown.shows, 0);
    }
    EXPECT_EQ(question.Asked(), 3);
    EXPECT_EQ(question.LastDetail(), "Save it before the window closes?");
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Table().Count(), 3u);

    // Save first, then the new survey; once saved, nothing is asked.
    question.answer = QMessageBox::Save;
    answerWith = dir.filePath("kept.cvn");
    AnswerSearch("garden");
    form->BitBtn2Click();
    EXPECT_EQ(question.Asked(), 4);
    EXPECT_EQ(prompts, std::vector<FileDialogKind>{FileDialogKind::Save});
    EXPECT_TRUE(QFile::exists(answerWith));
    EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.x.com", "www.y.com"}));
    const QString tools = answerWith;
    answerWith = dir.filePath("garden.cvn");
    Item("Save1")->trigger();
    answerWith = tools;
    Item("Open1")->trigger();  // the saved survey of "tools"
    EXPECT_EQ(question.Asked(), 4);
    EXPECT_EQ(form->Table().Count(), 3u);
    form->close();  // what a file holds is not unsaved
    EXPECT_EQ(question.Asked(), 4);
    EXPECT_FALSE(form->isVisible());
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
    SetStatus("");
    StartSearch("tools");
    EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.a.com", "www.b.com"}));
    EXPECT_TRUE(AllComplete(form->Table()));
    EXPECT_EQ(form->Table().Row(1).Cells[3], engine::kLinkValuePlaceholder);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(MainForm, VisitOpensExactlyTheSelectedHostOrNothing) {
    auto visitAllWays = [this](int row) {
        Item("Visittheselectedwebsite1")->trigger();
        Item("Visitwebsite1")->trigger();
        const QRect cell = List()->visualRect(form->Model()->index(std::max(row, 0), 0));
        DoubleClick(List()->viewport(), row < 0 ? QPoint(5, 300) : cell.center());
    };
    visitAllWays(-1);  // empty table
    EXPECT_TRUE(shell.opened.empty());

    FillTable({"www.b.com", "", "Odd Host.example/x?y=1&z"});
    List()->clearSelection();
    Item("Visittheselectedwebsite1")->trigger();
    Item("Visitwebsite1")->trigger();
    EXPECT_TRUE(shell.opened.empty());  // no selected row
    Select(1);
    visitAllWays(1);
    EXPECT_TRUE(shell.opened.empty());  // empty host

    Select(2);
    Item("Visittheselectedwebsite1")->trigger();
    Item("Visitwebsite1")->trigger();
    const QRect first = List()->visualRect(form->Model()->index(0, 2));
    DoubleClick(List()->viewport(), first.center());
    ASSERT_EQ(shell.opened.size(), 3u);
    EXPECT_EQ(shell.opened[0].target.toStdString(), "http://Odd Host.example/x?y=1&z");
    EXPECT_EQ(shell.opened[1].target.toStdString(), "http://Odd Host.example/x?y=1&z");
    EXPECT_EQ(shell.opened[2].target.toStdString(), "http://www.b.com");
    for (const Opened& o : shell.opened)
        EXPECT_EQ(o.show, ShellShow::Maximized);
    EXPECT_FALSE(engine::StopFlag);  // visiting does not press Stop
}

TEST_F(MainForm, AnAddressTheDesktopRefusesIsNamedInTheStatusLine) {
    FillTable({"a b.com"});
    Select(0);
    shell.accept = false;
    Item("Visitwebsite1")->trigger();
    ASSERT_EQ(shell.Targets(), std::vector<QString>{"http://a b.com"});
    EXPECT_EQ(form->StatusText(), "Could not open http://a b.com: the desktop refused it");
}

TEST_F(MainForm, HelpShowsTheBuiltInPagesHereAndTheHomepageGoesToTheShell) {
    // No installed help next to the test program: the help window shows the
    // pages built in, once, however often it is asked for.
    ASSERT_TRUE(FindInstalledHelp(QString::fromStdString(platform::ProgramFolder())).isEmpty());
    Item("Contents1")->trigger();
    Item("Contents1")->trigger();
    EXPECT_EQ(form->findChildren<THelpWindow*>().size(), 1);
    auto* help = Child<THelpWindow>(form.get(), "HelpWindow");
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Source(), QUrl("qrc" + kHelpResource));
    Item("TheCorvaneHomepage1")->trigger();
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].target, kHomepageUrl);
    EXPECT_EQ(shell.opened[0].show, ShellShow::Maximized);
}

TEST_F(MainForm, HelpOpensTheInstalledPagesInTheBrowserOrHereWhenTheDesktopRefuses) {
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin"));
    ASSERT_TRUE(QDir(prefix.path()).mkpath("share/corvane/help"));
    const QString page = prefix.filePath("share/corvane/help/index.html");
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    form->SetProgramFolder(prefix.filePath("bin") + "/");

    Item("Contents1")->trigger();
    ASSERT_EQ(shell.Targets(), std::vector<QString>{page});
    EXPECT_EQ(shell.opened[0].show, ShellShow::Maximized);
    EXPECT_TRUE(form->findChildren<THelpWindow*>().empty());

    shell.accept = false;
    Item("Contents1")->trigger();
    EXPECT_EQ(shell.opened.size(), 2u);
    EXPECT_TRUE(Child<THelpWindow>(form.get(), "HelpWindow")->isVisible());
}

TEST_F(MainForm, F1OpensHelpDuringARunWithoutStoppingIt) {
    AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com", [this] {
        // The key goes to the active window, as the window system sends it.
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), Qt::Key_F1);
    });
    StartSearch("tools");
    EXPECT_TRUE(Child<THelpWindow>(form.get(), "HelpWindow")->isVisible());
    EXPECT_EQ(Captions(form->Table()),
              (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com"}));
    EXPECT_FALSE(engine::StopFlag);
}

TEST_F(MainForm, StopDuringARunEndsItWhenTheRowIsComplete) {
    AtFetch("link%3Ahttp%3A%2F%2Fwww.a.com", [this] { Button("StopBtn")->click(); });
    StartSearch("tools");
    EXPECT_EQ(Captions(form->Table()), std::vector<std::string>{"www.a.com"});
    EXPECT_TRUE(AllComplete(form->Table()));
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(MainForm, EscapeEndsARunOnlyWhenHeldAsTheRowCompletes) {
    // Pressed and released within the row: the run goes on.
    AtFetch("link%3Ahttp%3A%2F%2Fwww.a.com", [this] {
        QTest::keyPress(List(), Qt::Key_Escape);
        QTest::keyRelease(List(), Qt::Key_Escape);
    });
    StartSearch("tools");
    EXPECT_EQ(form->Table().Count(), 3u);

    // Held down: the run ends after that row.
    AtFetch("link%3Ahttp%3A%2F%2Fwww.b.com", [this] { QTest::keyPress(List(), Qt::Key_Escape); });
    StartSearch("tools");
    QTest::keyRelease(List(), Qt::Key_Escape);
    EXPECT_EQ(Captions(form->Table()), (std::vector<std::string>{"www.a.com", "www.b.com"}));
    EXPECT_TRUE(AllComplete(form->Table()));
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(MainForm, ColumnClickDuringARunKeepsFillingTheSameRow) {
    web.Inbound = {{"www.a.com", "100"}, {"www.b.com", "900"}, {"www.c.com", "500"}};
    AtFetch("link%3Ahttp%3A%2F%2Fwww.c.com", [this] {
        const QHeaderView* h = List()->header();
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
            // The button is off during a run; the command still holds.
            form->BitBtn2Click();
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
        auto open = [this] { Item("Open1")->trigger(); };
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
    SetStatus("kept");

    engine::StopFlag = false;
    Item("Save1")->trigger();
    EXPECT_TRUE(engine::StopFlag);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Kind, FileDialogKind::Save);
    EXPECT_EQ(asked[0].Parent, form.get());
    engine::ResultsTable back;
    ASSERT_TRUE(engine::LoadSurvey(back, QFile::encodeName(file).toStdString()));
    EXPECT_EQ(Captions(back), Captions(form->Table()));

    FillTable({"www.extra.com"});
    engine::StopFlag = false;
    Item("Open1")->trigger();
    EXPECT_TRUE(engine::StopFlag);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].Kind, FileDialogKind::Open);
    EXPECT_EQ(Captions(form->Table()),
              (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com"}));
    EXPECT_EQ(form->StatusText(), "kept");

    // Cancelled prompts change nothing; a file that cannot be written or
    // read keeps the table and says why in the status line.
    answerWith.clear();
    Item("Open1")->trigger();
    Item("Save1")->trigger();
    EXPECT_EQ(form->Table().Count(), 3u);
    EXPECT_EQ(form->StatusText(), "kept");
    answerWith = dir.filePath("no/such/folder/x.cvn");
    Item("Save1")->trigger();
    EXPECT_FALSE(QFile::exists(answerWith));
    EXPECT_EQ(form->Table().Count(), 3u);
    EXPECT_EQ(form->StatusText(), "Could not save " + answerWith + ": No such file or directory");
    Item("Open1")->trigger();
    EXPECT_EQ(form->Table().Count(), 3u);
    EXPECT_EQ(form->StatusText(), "Could not open " + answerWith + ": No such file or directory");
}

TEST_F(MainForm, AboutAndExitPressStopFirst) {
    WhenShown(about.get(), [this] { about->BitBtn3Click(); });
    Item("About1")->trigger();
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_FALSE(about->isVisible());

    engine::StopFlag = false;
    Item("Exit1")->trigger();
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_FALSE(form->isVisible());
}

}  // namespace
}  // namespace corvane::ui
