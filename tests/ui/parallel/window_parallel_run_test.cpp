// The main window running surveys on the fetch scheduler: the window keeps
// answering while a server hangs, Stop and the close box end a run at once
// with only its complete rows, and the table is the serial road's.
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/survey_run.h"
#include "frontend/page_fetcher.h"
#include "net/fetch_cancel.h"
#include "net/page_fetch.h"
#include "tests/ui/parallel/window_run_support.h"
#include "tests/ui/qt_env.h"
#include "tests/ui/scripted_web.h"
#include "ui/desktop_program.h"
#include "ui/main_form.h"
#include "ui/results_model.h"
#include "ui/start_form.h"

namespace corvane::ui {
namespace {

using run_tests::HangingServer;
using run_tests::Row;
using run_tests::Rows;
using run_tests::Survey;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Fetches over the network, ending at once when cancelled.
std::string NetFetch(const std::string& url, int port, net::FetchCancel& cancel) {
    net::FetchOptions options;
    options.Cancel = &cancel;
    return net::FetchPage(url, port, options);
}

class WindowParallel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        engine::StopFlag = false;
        engine::SortColumn = 0;
    }

    // A window over `web` (one page after another), with the Locate dialog.
    void MakeForm(engine::ServiceEndpoints endpoints = {}) {
        // The dialog is the window's child: it goes first.
        locate.reset();
        form.reset();
        form = std::make_unique<TForm1>(
            [this](const std::string& url, int port) { return web.Fetch(url, port); },
            std::move(endpoints));
        locate = std::make_unique<TStartForm>(form.get());
        form->SetLocateDialog(locate.get());
        form->show();
    }

    // Calls `act` once the window's run is under way; a run still going after
    // `limit` is stopped so that a failing test cannot hang.
    void WhenRunning(std::function<void()> act, milliseconds limit = milliseconds(10000)) {
        auto* timer = new QTimer(form.get());
        QObject::connect(timer, &QTimer::timeout, [this, timer, act = std::move(act)] {
            if (form->RunInProgress()) {
                timer->deleteLater();
                timer->stop();
                act();
            }
        });
        timer->start(5);
        QTimer::singleShot(limit, form.get(), [this] {
            if (form->RunInProgress()) {
                ADD_FAILURE() << "the run did not end";
                form->StopBtnClick();
            }
        });
    }

    QTemporaryDir config_;
    testing::QuestionAnswerer question{"UnsavedTableQuestion", QMessageBox::Discard};
    testing::ScriptedWeb web;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TStartForm> locate;
};

TEST_F(WindowParallel, AHangingServerLeavesTheWindowAnsweringAndTheCloseBoxEndsTheRun) {
    HangingServer server;
    engine::ServiceEndpoints endpoints;
    endpoints.SearchEndpoint = server.Address();
    MakeForm(endpoints);
    form->SetParallelFetch(NetFetch, {8, 2});

    Clock::time_point timerDue, timerFired, closedAt;
    bool menuOpened = false;
    WhenRunning([&] {
        timerDue = Clock::now() + milliseconds(50);
        QTimer::singleShot(50, form.get(), [&] {
            timerFired = Clock::now();
            auto* menu = testing::Child<QMenu>(form.get(), "File1");
            menu->popup(form->mapToGlobal(QPoint(10, 10)));
            QTimer::singleShot(20, form.get(), [&, menu] {
                menuOpened = menu->isVisible();
                menu->close();
                closedAt = Clock::now();
                form->close();
            });
        });
    });
    Survey(form.get(), locate.get(), QStringLiteral("anything"));
    const auto ended = Clock::now();

    EXPECT_LT(timerFired - timerDue, milliseconds(500));
    EXPECT_TRUE(menuOpened);
    EXPECT_FALSE(form->RunInProgress());
    EXPECT_FALSE(form->isVisible());
    EXPECT_LT(ended - closedAt, milliseconds(1000));
    EXPECT_EQ(form->Table().Count(), 0u);
}

TEST_F(WindowParallel, EscapeDuringAHangingRunEndsItAtOnce) {
    HangingServer server;
    engine::ServiceEndpoints endpoints;
    endpoints.SearchEndpoint = server.Address();
    MakeForm(endpoints);
    form->SetParallelFetch(NetFetch, {8, 2});
    Clock::time_point pressedAt;
    WhenRunning([&] {
        pressedAt = Clock::now();
        QTest::keyPress(testing::Child<QWidget>(form.get(), "ListView1"), Qt::Key_Escape);
    });
    Survey(form.get(), locate.get(), QStringLiteral("anything"));
    QTest::keyRelease(testing::Child<QWidget>(form.get(), "ListView1"), Qt::Key_Escape);
    EXPECT_LT(Clock::now() - pressedAt, milliseconds(1000));
    EXPECT_FALSE(form->RunInProgress());
    EXPECT_EQ(form->StatusText(), "Done!");
}

TEST_F(WindowParallel, StopDuringAHangingRunEndsItAtOnceWithTheCompleteRowsAlone) {
    HangingServer server;
    web.Listings["blue+widgets"] = {"a.example", "b.example", "c.example", "d.example"};
    MakeForm();
    // Every page answers at once but c.example's traffic page, which hangs
    // on the loopback server until it is cancelled.
    std::mutex webLock;
    form->SetParallelFetch(
        [&](const std::string& url, int port, net::FetchCancel& cancel) {
            if (url.find("url=www.c.example") != std::string::npos) {
                return NetFetch(server.Address() + "/", port, cancel);
            }
            const std::lock_guard lock(webLock);
            return web.Fetch(url, port);
        },
        {8, 2});

    QStringList statuses;
    QObject::connect(testing::Child<QStatusBar>(form.get(), "StatusBar1"),
                     &QStatusBar::messageChanged, [&](const QString& m) { statuses << m; });
    Clock::time_point stoppedAt;
    std::size_t rowsAtStop = 0;
    WhenRunning([&] {
        auto* poll = new QTimer(form.get());
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            // Every page but c.example's last is in.
            if (form->Table().Count() == 4 && form->Table().Row(3).Cells.size() == 5) {
                poll->stop();
                poll->deleteLater();
                rowsAtStop = form->Table().Count();
                // Inbound links, largest first: d, c, b, a.
                form->ListView1ColumnClick(2);
                stoppedAt = Clock::now();
                QTest::mouseClick(testing::Child<QPushButton>(form.get(), "StopBtn"),
                                  Qt::LeftButton);
            }
        });
        poll->start(2);
    });
    Survey(form.get(), locate.get(), QStringLiteral("blue widgets"));

    EXPECT_LT(Clock::now() - stoppedAt, milliseconds(1000));
    EXPECT_EQ(rowsAtStop, 4u);
    // c.example waited for its last cell and goes; every other row is whole
    // and keeps the order the column click gave it.
    const std::vector<Row> rows = Rows(form->Table());
    std::vector<std::string> captions;
    for (const Row& r : rows) {
        captions.push_back(r.caption);
        EXPECT_EQ(r.cells.size(), 5u) << r.caption;
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"d.example", "b.example", "a.example"}));
    // The view follows the removal of the incomplete rows.
    EXPECT_EQ(form->Model()->rowCount(), 3);
    EXPECT_TRUE(statuses.contains(QStringLiteral("3 of 4 sites")))
        << statuses.join('|').toStdString();
    EXPECT_EQ(form->StatusText(), "Done!");
    EXPECT_FALSE(form->RunInProgress());
}

TEST_F(WindowParallel, TheParallelTableIsTheSerialOneOnTheScriptedWeb) {
    // A duplicated host, and a figure that does not convert in the middle:
    // the run ends after its row, in both roads.
    web.Listings["garden+tools"] = {"a.example", "b.example", "a.example",
                                    "c.example", "d.example", "e.example"};
    web.Listings["red+apples"] = {"p.example", "q.example", "r.example"};
    web.Inbound["c.example"] = "lots";
    std::mutex webLock;
    auto parallelFetch = [&](const std::string& url, int port, net::FetchCancel&) {
        const std::lock_guard lock(webLock);
        return web.Fetch(url, port);
    };

    std::map<QString, std::vector<Row>> serial;
    MakeForm();
    for (const QString& k : {QStringLiteral("garden tools"), QStringLiteral("red apples")}) {
        Survey(form.get(), locate.get(), k);
        serial[k] = Rows(form->Table());
    }
    EXPECT_EQ(serial[QStringLiteral("garden tools")].size(), 4u);

    MakeForm();
    form->SetParallelFetch(parallelFetch, {4, 1});
    for (const QString& k : {QStringLiteral("garden tools"), QStringLiteral("red apples")}) {
        Survey(form.get(), locate.get(), k);
        EXPECT_EQ(Rows(form->Table()), serial[k]) << k.toStdString();
        EXPECT_EQ(form->StatusText(), "Done!");
    }
}

TEST_F(WindowParallel, TheParallelTableIsTheSerialOneOnTheDemoWeb) {
    std::map<int, std::vector<Row>> tables;
    for (const int jobs : {1, 8}) {
        frontend::FrontEndSettings settings;
        settings.Demo = true;
        settings.Jobs = jobs;
        DesktopProgram program(settings);
        program.Show();
        Survey(&program.MainForm(), &program.LocateDialog(), QStringLiteral("garden tools"));
        tables[jobs] = Rows(program.MainForm().Table());
        EXPECT_EQ(program.MainForm().StatusText(), "Done!");
    }
    EXPECT_GT(tables[1].size(), 3u);
    EXPECT_EQ(tables[8], tables[1]);
}

}  // namespace
}  // namespace corvane::ui
