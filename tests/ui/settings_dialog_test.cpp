#include "ui/settings_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frontend/user_settings.h"
#include "layout_checks.h"
#include "qt_env.h"
#include "ui/desktop_program.h"
#include "ui/main_form.h"

namespace corvane::ui {
namespace {

using frontend::ProxyKind;
using frontend::UserSettings;
using testing::Child;

constexpr int kWaitMs = 10000;

// Runs `act` on the Settings window once `owner` has opened it.
void WhenSettingsShown(QWidget* owner, std::function<void(TSettingsDialog&)> act) {
    auto* timer = new QTimer(owner);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    QObject::connect(timer, &QTimer::timeout, [timer, owner, act = std::move(act), deadline] {
        auto* dialog = owner->findChild<TSettingsDialog*>(QStringLiteral("SettingsDialog"));
        if (dialog != nullptr && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(*dialog);
        } else if (std::chrono::steady_clock::now() > deadline) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the Settings window was never shown";
        }
    });
    timer->start(5);
}

UserSettings Saved() {
    UserSettings s;
    s.Profile = "mojeek";
    s.SearxngUrl = "https://searx.lan";
    s.Proxy = ProxyKind::Socks4;
    s.ProxyHost = "socks.lan";
    s.ProxyPort = 1080;
    s.ProxyUser = "id42";
    s.ProxyPassword = "kept";
    s.Jobs = 4;
    s.PerHost = 1;
    s.UserAgent = "Agent/1";
    return s;
}

class SettingsWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        for (const char* v : {"CORVANE_JOBS", "CORVANE_PER_HOST", "CORVANE_PROXY",
                              "CORVANE_PROFILE", "CORVANE_SEARXNG"}) {
            qunsetenv(v);
        }
    }
    void TearDown() override { QApplication::processEvents(); }

    QTemporaryDir config_;
};

TEST_F(SettingsWindow, OpensFromTheFileMenuWithTheSavedSettings) {
    frontend::SaveUserSettings(Saved());
    // A profile of the user's own is offered with the built-in ones.
    ASSERT_TRUE(QDir(config_.path()).mkpath("corvane/profiles"));
    QFile own(config_.filePath("corvane/profiles/intranet.ini"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("[request]\nurl = https://search.lan/?q={query}\n[answer]\nresults = //a/@href\n");
    own.close();
    TForm1 form([](const std::string&, int) { return std::string(); });
    form.show();
    bool checked = false;
    WhenSettingsShown(&form, [&](TSettingsDialog& d) {
        QStringList profiles;
        for (int i = 0; i < d.ProfileCombo->count(); ++i) {
            profiles << d.ProfileCombo->itemText(i);
        }
        EXPECT_EQ(profiles, QStringList({"classic", "brave", "duckduckgo", "intranet", "mojeek",
                                         "searxng", "yahoo"}));
        EXPECT_EQ(d.ProfileCombo->currentText(), "mojeek");
        EXPECT_EQ(d.SearxngEdit->text(), "https://searx.lan");
        EXPECT_EQ(d.ProxyKindCombo->currentText(), "SOCKS 4");
        EXPECT_EQ(d.ProxyHostEdit->text(), "socks.lan");
        EXPECT_EQ(d.ProxyPortSpin->value(), 1080);
        EXPECT_EQ(d.ProxyUserEdit->text(), "id42");
        EXPECT_EQ(d.ProxyPasswordEdit->text(), "kept");
        EXPECT_EQ(d.ProxyPasswordEdit->echoMode(), QLineEdit::Password);
        // SOCKS 4 sends a user ID and no password; without a proxy nothing
        // of it is asked.
        EXPECT_TRUE(d.ProxyUserEdit->isEnabled());
        EXPECT_FALSE(d.ProxyPasswordEdit->isEnabled());
        d.ProxyKindCombo->setCurrentIndex(static_cast<int>(ProxyKind::None));
        EXPECT_FALSE(d.ProxyHostEdit->isEnabled());
        EXPECT_FALSE(d.ProxyPortSpin->isEnabled());
        EXPECT_EQ(d.JobsSpin->value(), 4);
        EXPECT_EQ(d.PerHostSpin->value(), 1);
        EXPECT_EQ(d.UserAgentEdit->text(), "Agent/1");
        // No lists service here: the status says so and no update starts.
        EXPECT_FALSE(d.ListStatusLabel->text().isEmpty());
        EXPECT_FALSE(d.UpdateListsButton->isEnabled());
        testing::ExpectTidy(&d);
        checked = true;
        d.CancelButton->click();
    });
    Child<QAction>(&form, "SettingsItem")->trigger();
    EXPECT_TRUE(checked);
    EXPECT_EQ(frontend::LoadUserSettings(), Saved());
}

TEST_F(SettingsWindow, OkSavesAndCancelDiscards) {
    TForm1 form([](const std::string&, int) { return std::string(); });
    std::vector<UserSettings> told;
    TForm1::SettingsHooks hooks;
    hooks.Saved = [&told](const UserSettings& s) {
        told.push_back(s);
        return std::string();
    };
    form.SetSettingsHooks(std::move(hooks));
    form.show();

    WhenSettingsShown(&form, [](TSettingsDialog& d) {
        d.ProfileCombo->setCurrentText("searxng");
        d.SearxngEdit->setText("  http://127.0.0.1:8888/  ");
        d.ProxyKindCombo->setCurrentIndex(static_cast<int>(ProxyKind::Socks5));
        d.ProxyHostEdit->setText("proxy.lan");
        d.ProxyPortSpin->setValue(1080);
        d.ProxyUserEdit->setText("ann");
        QTest::keyClicks(d.ProxyPasswordEdit, " p w ");
        d.JobsSpin->setValue(16);
        d.PerHostSpin->setValue(5);
        d.UserAgentEdit->setText("Mine/2");
        QTest::mouseClick(d.OkButton, Qt::LeftButton);
    });
    Child<QAction>(&form, "SettingsItem")->trigger();
    UserSettings expected;
    expected.Profile = "searxng";
    expected.SearxngUrl = "http://127.0.0.1:8888/";
    expected.Proxy = ProxyKind::Socks5;
    expected.ProxyHost = "proxy.lan";
    expected.ProxyPort = 1080;
    expected.ProxyUser = "ann";
    expected.ProxyPassword = " p w ";  // a password is taken as typed
    expected.Jobs = 16;
    expected.PerHost = 5;
    expected.UserAgent = "Mine/2";
    EXPECT_EQ(frontend::LoadUserSettings(), expected);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], expected);
    EXPECT_EQ(form.StatusText(), "Settings saved.");

    // Cancel, and Escape, keep what was saved.
    for (const bool escape : {false, true}) {
        WhenSettingsShown(&form, [escape](TSettingsDialog& d) {
            d.JobsSpin->setValue(2);
            d.ProxyKindCombo->setCurrentIndex(static_cast<int>(ProxyKind::None));
            if (escape) {
                QTest::keyClick(&d, Qt::Key_Escape);
            } else {
                d.CancelButton->click();
            }
        });
        Child<QAction>(&form, "SettingsItem")->trigger();
        EXPECT_EQ(frontend::LoadUserSettings(), expected);
        EXPECT_EQ(told.size(), 1u);
    }
}

TEST_F(SettingsWindow, FieldsThatCannotBeUsedAreNamedAndNothingIsLost) {
    TSettingsDialog d(UserSettings{}, {});
    d.show();
    d.ProxyKindCombo->setCurrentIndex(static_cast<int>(ProxyKind::Http));
    d.ProxyHostEdit->setText("proxy.lan");
    d.ProxyPortSpin->setValue(0);
    d.SearxngEdit->setText("searx.lan");
    d.UserAgentEdit->setText("typed");

    QTest::mouseClick(d.OkButton, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.ProblemLabel->isVisible());
    EXPECT_TRUE(d.ProblemLabel->text().contains("SearXNG")) << d.ProblemLabel->text().toStdString();
    EXPECT_EQ(d.focusWidget(), d.SearxngEdit);

    d.SearxngEdit->setText("https://searx.lan");
    QTest::mouseClick(d.OkButton, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.ProblemLabel->text().contains("port")) << d.ProblemLabel->text().toStdString();
    EXPECT_EQ(d.focusWidget(), d.ProxyPortSpin);
    // Nothing was saved, and every field still holds what was typed.
    EXPECT_EQ(frontend::LoadUserSettings(), UserSettings{});
    EXPECT_EQ(d.ProxyHostEdit->text(), "proxy.lan");
    EXPECT_EQ(d.UserAgentEdit->text(), "typed");

    d.ProxyPortSpin->setValue(3128);
    QTest::mouseClick(d.OkButton, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(frontend::LoadUserSettings().ProxyPort, 3128);
    EXPECT_EQ(d.Saved().SearxngUrl, "https://searx.lan");
}

TEST_F(SettingsWindow, AStoreThatCannotBeWrittenKeepsTheWindowOpen) {
    SettingsDialogServices services;
    services.Folder = config_.filePath("file").toStdString() + "/corvane";
    {
        QFile plain(config_.filePath("file"));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    }
    TSettingsDialog d(UserSettings{}, services);
    d.show();
    d.JobsSpin->setValue(3);
    QTest::mouseClick(d.OkButton, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.ProblemLabel->text().startsWith("Could not save"))
        << d.ProblemLabel->text().toStdString();
    EXPECT_EQ(d.JobsSpin->value(), 3);
}

// An updater that reports a quarter of the first list, then waits until the
// test lets it go on or the window cancels it.
struct FakeUpdate {
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> sawFetchCancel{false};
    int statusCalls = 0;

    SettingsDialogServices Services() {
        SettingsDialogServices s;
        s.ListStatus = [this]() -> std::vector<std::string> {
            return ++statusCalls == 1
                       ? std::vector<std::string>{"tranco: missing", "majestic: missing"}
                       : std::vector<std::string>{"tranco: 3 rows, today",
                                                  "majestic: 2 rows, today"};
        };
        s.UpdateLists = [this](ListUpdateProgress& p) -> std::vector<std::string> {
            ++calls;
            p.Report("tranco", 250, 1000);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!release && !p.Cancelled() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            sawCancel = p.Cancelled();
            sawFetchCancel = p.Cancel().Cancelled();
            if (p.Cancelled()) {
                return {};
            }
            for (std::int64_t n = 0; n <= 4096; n += 512) {
                p.Report("majestic", n, -1);
            }
            return {"tranco: 3 rows", "majestic: 2 rows"};
        };
        return s;
    }
};

TEST_F(SettingsWindow, ListUpdateRunsBesideTheWindowAndMovesTheBar) {
    FakeUpdate update;
    TSettingsDialog d(UserSettings{}, update.Services());
    d.show();
    EXPECT_EQ(d.ListStatusLabel->text(), "tranco: missing\nmajestic: missing");
    ASSERT_TRUE(d.UpdateListsButton->isEnabled());

    QTest::mouseClick(d.UpdateListsButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.ListProgress->value() == 250; }, kWaitMs));
    EXPECT_EQ(d.ListProgress->maximum(), 1000);
    EXPECT_TRUE(d.ListProgressLabel->text().startsWith("tranco: "))
        << d.ListProgressLabel->text().toStdString();
    // While the updater works the window answers: a second click starts
    // nothing, typing goes into the fields.
    EXPECT_TRUE(d.UpdateRunning());
    EXPECT_FALSE(d.UpdateListsButton->isEnabled());
    d.UpdateListsClick();
    QTest::keyClicks(d.SearxngEdit, "http://s.lan");
    EXPECT_EQ(d.SearxngEdit->text(), "http://s.lan");
    EXPECT_EQ(update.calls.load(), 1);

    update.release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.UpdateRunning(); }, kWaitMs));
    EXPECT_EQ(d.ListProgress->value(), 1000);
    EXPECT_EQ(d.ListProgressLabel->text(), "tranco: 3 rows\nmajestic: 2 rows");
    EXPECT_EQ(d.ListStatusLabel->text(), "tranco: 3 rows, today\nmajestic: 2 rows, today");
    EXPECT_TRUE(d.UpdateListsButton->isEnabled());
    EXPECT_FALSE(update.sawCancel);
}

TEST_F(SettingsWindow, ClosingDuringAnUpdateCancelsIt) {
    FakeUpdate update;
    auto d = std::make_unique<TSettingsDialog>(UserSettings{}, update.Services());
    d->show();
    QTest::mouseClick(d->UpdateListsButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d->ListProgress->value() == 250; }, kWaitMs));
    d->CancelButton->click();
    EXPECT_FALSE(d->isVisible());
    d.reset();  // waits for the updater
    EXPECT_TRUE(update.sawCancel);
    EXPECT_TRUE(update.sawFetchCancel);
    EXPECT_EQ(update.calls.load(), 1);
}

// The desktop program's surveys take saved settings at once, behind the
// environment and the command line.
TEST_F(SettingsWindow, SavedSettingsApplyToTheWindowsSurveysBehindTheArguments) {
    qputenv("CORVANE_PROFILE", "brave");
    DesktopProgram program(ParseDesktopOptions({"--per-host", "3"}));
    TForm1& form = program.MainForm();
    EXPECT_EQ(form.Limits().Jobs, frontend::FrontEndSettings::kDefaultJobs);
    EXPECT_EQ(form.Limits().PerHost, 3);
    form.show();
    WhenSettingsShown(&form, [](TSettingsDialog& d) {
        d.ProfileCombo->setCurrentText("yahoo");
        d.ProxyKindCombo->setCurrentIndex(static_cast<int>(ProxyKind::Http));
        d.ProxyHostEdit->setText("web.proxy");
        d.ProxyPortSpin->setValue(8080);
        d.JobsSpin->setValue(5);
        d.PerHostSpin->setValue(9);
        d.UserAgentEdit->setText("Saved/1");
        d.OkButton->click();
    });
    Child<QAction>(&form, "SettingsItem")->trigger();
    EXPECT_EQ(form.StatusText(), "Settings saved.");
    EXPECT_EQ(form.Limits().Jobs, 5);
    EXPECT_EQ(form.Limits().PerHost, 3);       // the argument's
    EXPECT_EQ(form.SurveyProfile(), "brave");  // the environment's
    const net::FetchOptions options = program.RunFetchOptions();
    EXPECT_EQ(options.UserAgent, "Saved/1");
    EXPECT_EQ(options.ProxyHost, "web.proxy");
    EXPECT_EQ(options.ProxyPort, 8080);
    // And at the next start.
    qunsetenv("CORVANE_PROFILE");
    const DesktopOptions next = ParseDesktopOptions({});
    EXPECT_EQ(next.Settings.Jobs, 5);
    EXPECT_EQ(next.Settings.Profile, "yahoo");
}

}  // namespace
}  // namespace corvane::ui
