// The main window running surveys of today's web: the demo web's table under
// "Traffic Rank" and back to the classic captions, a profile that cannot be
// read, and Stop while the search source never answers.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "frontend/web_survey_run.h"
#include "history/history_store.h"
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

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class WindowWeb : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        // Saved settings, profiles and rank lists of the test's own.
        ::setenv("XDG_CONFIG_HOME", home_.filePath("config").toLocal8Bit().constData(), 1);
        ::setenv("XDG_DATA_HOME", home_.filePath("data").toLocal8Bit().constData(), 1);
        engine::StopFlag = false;
        engine::SortColumn = 0;
    }

    void Start(frontend::FrontEndSettings settings) {
        settings.HistoryPath = home_.filePath("history.sqlite").toStdString();
        program = std::make_unique<DesktopProgram>(settings);
        program->Show();
        form = &program->MainForm();
    }

    // Start, then Search for `keyword`; returns once the run has ended.
    void Survey(const QString& keyword) {
        run_tests::Survey(form, &program->LocateDialog(), keyword);
    }

    // The history holds the classic survey of "garden tools" with its
    // `rows`, then `query` under `profile`, failed and without rows.
    void ExpectFailedAfter(const std::vector<Row>& rows, const std::string& query,
                           const std::string& profile) {
        history::HistoryStore store(home_.filePath("history.sqlite").toStdString());
        const std::vector<history::SurveyInfo> recorded = store.List({});
        ASSERT_EQ(recorded.size(), 2u);
        EXPECT_EQ(recorded[0].Query, query);
        EXPECT_EQ(recorded[0].Profile, profile);
        EXPECT_EQ(recorded[0].End, history::SurveyEnd::Failed);
        EXPECT_EQ(recorded[0].RowCount, 0);
        EXPECT_EQ(recorded[1].Query, "garden tools");
        EXPECT_EQ(recorded[1].RowCount, static_cast<std::int64_t>(rows.size()));
    }

    QString SixthCaption() const {
        return form->Model()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString();
    }

    QTemporaryDir home_;
    testing::QuestionAnswerer question{"UnsavedTableQuestion", QMessageBox::Discard};
    std::unique_ptr<DesktopProgram> program;
    TForm1* form = nullptr;
};

TEST_F(WindowWeb, ADemoSurveyOfTodaysWebShowsTrafficRankThenAClassicOneAlexaRanking) {
    frontend::FrontEndSettings settings;
    settings.Demo = true;
    settings.Profile = "searxng";
    Start(settings);
    Survey(QStringLiteral("garden tools"));
    EXPECT_EQ(form->StatusText(), "Done!");
    EXPECT_EQ(SixthCaption(), "Traffic Rank");
    const std::vector<Row> web = Rows(form->Table());
    ASSERT_EQ(web.size(), 20u);
    EXPECT_EQ(form->Model()->rowCount(), 20);

    // The table is the one the front ends' own run gives over the same
    // fetch and lists.
    frontend::FetchScheduler scheduler(
        {4, 2}, [](const std::string&, int, net::FetchCancel&) { return std::string(); },
        [this](const net::FetchRequest& request, net::FetchCancel& cancel) {
            net::FetchOptions o = program->Fetcher().Options();
            o.Cancel = &cancel;
            return program->Fetcher().Request(request, o);
        });
    const search::SearchProfile profile = *frontend::SurveyProfile(settings);
    const lists::RankLists lists = frontend::SurveyLists(settings, program->Fetcher());
    engine::ResultsTable reference;
    frontend::RunWebSurvey(reference, scheduler, profile, lists,
                           frontend::SurveyBase(settings, program->Fetcher(), profile),
                           "garden tools", 20, 0, engine::SurveyMode::Keyword);
    EXPECT_EQ(web, Rows(reference));

    settings.Profile = "classic";
    form->SetSurveySettings(settings);
    Survey(QStringLiteral("garden tools"));
    EXPECT_EQ(form->StatusText(), "Done!");
    EXPECT_EQ(SixthCaption(), "Alexa Ranking");
    EXPECT_NE(Rows(form->Table()), web);

    // The recorded survey of today's web comes back under its own captions.
    form->OpenRecorded(1);
    EXPECT_EQ(Rows(form->Table()), web);
    EXPECT_EQ(SixthCaption(), "Traffic Rank");
}

TEST_F(WindowWeb, AProfileThatCannotBeReadIsNamedAndTheTableStays) {
    frontend::FrontEndSettings settings;
    settings.Demo = true;
    Start(settings);
    Survey(QStringLiteral("garden tools"));
    const std::vector<Row> classic = Rows(form->Table());
    ASSERT_FALSE(classic.empty());

    settings.Profile = "nosuch";
    form->SetSurveySettings(settings);
    const std::uint64_t requests = program->Fetcher().RequestCount();
    Survey(QStringLiteral("blue widgets"));
    EXPECT_TRUE(form->StatusText().startsWith("Could not survey: no profile named nosuch"))
        << form->StatusText().toStdString();
    EXPECT_EQ(Rows(form->Table()), classic);
    EXPECT_EQ(SixthCaption(), "Alexa Ranking");
    EXPECT_EQ(program->Fetcher().RequestCount(), requests);
    EXPECT_FALSE(form->RunInProgress());
    // Recorded as failed under the profile asked for, as the command line
    // records it.
    ExpectFailedAfter(classic, "blue widgets", "nosuch");
}

TEST_F(WindowWeb, ASearchSourceWhoseAnswerMatchesNothingLeavesThePreviousSurvey) {
    // A user's profile whose path finds nothing in the demo web's answer.
    const QString folder = home_.filePath("config/corvane/profiles");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + "/wrong.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[request]\nbase-required = yes\n"
        "url = {base}/search?q={query}&format=json&pageno={page}\n"
        "[answer]\nkind = json\nresults = hits[].link\n");
    file.close();

    frontend::FrontEndSettings settings;
    settings.Demo = true;
    Start(settings);
    Survey(QStringLiteral("garden tools"));
    const std::vector<Row> classic = Rows(form->Table());
    ASSERT_FALSE(classic.empty());

    settings.Profile = "wrong";
    form->SetSurveySettings(settings);
    Survey(QStringLiteral("blue widgets"));
    EXPECT_TRUE(form->StatusText().startsWith("Could not survey: "))
        << form->StatusText().toStdString();
    EXPECT_EQ(Rows(form->Table()), classic);
    EXPECT_EQ(SixthCaption(), "Alexa Ranking");
    // The run is recorded as failed, with none of the classic survey's rows
    // that the table still shows.
    ExpectFailedAfter(classic, "blue widgets", "wrong");
}

TEST_F(WindowWeb, StopWhileTheSearchSourceNeverAnswersEndsTheRunAtOnce) {
    HangingServer source;
    frontend::FrontEndSettings settings;
    settings.Profile = "searxng";
    settings.SearxngUrl = source.Address();
    Start(settings);

    Clock::time_point stoppedAt;
    bool running = false;
    auto* poll = new QTimer(form);
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        if (form->RunInProgress()) {
            poll->stop();
            running = true;
            // Long enough for the request to be on its way to the listener.
            QTimer::singleShot(100, form, [&] {
                stoppedAt = Clock::now();
                QTest::mouseClick(testing::Child<QPushButton>(form, "StopBtn"), Qt::LeftButton);
            });
        }
    });
    poll->start(5);
    // A run still going long after is stopped, so that a failing test ends.
    QTimer::singleShot(15000, form, [this] {
        if (form->RunInProgress()) {
            ADD_FAILURE() << "the run did not end";
            form->StopBtnClick();
        }
    });
    Survey(QStringLiteral("garden tools"));

    EXPECT_TRUE(running);
    EXPECT_LT(Clock::now() - stoppedAt, milliseconds(2000));
    EXPECT_FALSE(form->RunInProgress());
    EXPECT_EQ(form->Table().Count(), 0u);
    EXPECT_FALSE(form->StatusText().startsWith("Could not survey"))
        << form->StatusText().toStdString();
}

}  // namespace
}  // namespace corvane::ui
