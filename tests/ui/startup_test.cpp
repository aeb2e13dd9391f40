// The built corvane program started as a user starts it (offscreen, with
// its own runtime and config folders): one instance per user and display,
// a second start ending at once, locks of killed instances not blocking,
// and the options.
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "corvane_version.h"
#include "qt_env.h"
#include "ui/single_instance.h"

namespace corvane::ui {
namespace {

constexpr int kStartLimitMs = 30000;

class Startup : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(runtime_.isValid() && config_.isValid()); }

    void TearDown() override {
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kStartLimitMs);
            }
        }
    }

    // Starts the program; quitAfterMs >= 0 makes it close its window that
    // long after start-up. Without a display the window system cannot be
    // reached at all.
    QProcess* Launch(const QStringList& args = {}, int quitAfterMs = -1, bool display = true) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (!display) {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(name);
        }
        env.insert("XDG_RUNTIME_DIR", runtime_.path());
        env.insert("XDG_CONFIG_HOME", config_.path());
        env.remove("CORVANE_TEST_QUIT_AFTER_MS");
        if (quitAfterMs >= 0)
            env.insert("CORVANE_TEST_QUIT_AFTER_MS", QString::number(quitAfterMs));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(CORVANE_PROGRAM), args);
        EXPECT_TRUE(p->waitForStarted(kStartLimitMs));
        processes_.push_back(std::move(p));
        return processes_.back().get();
    }

    QString LockPath() const {
        return QDir(runtime_.path())
            .filePath(QStringLiteral("corvane-") + DisplayKey() + QStringLiteral(".lock"));
    }

    // The process id the lock file names, 0 when there is none.
    qint64 LockOwner() const {
        QLockFile lock(LockPath());
        qint64 pid = 0;
        QString host, app;
        return lock.getLockInfo(&pid, &host, &app) ? pid : 0;
    }

    // Waits (bounded) until the lock names `process`, i.e. it has started up.
    bool WaitUntilOwner(QProcess* process) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartLimitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (LockOwner() == process->processId())
                return true;
            if (process->state() == QProcess::NotRunning)
                return false;
            QThread::msleep(20);
        }
        return false;
    }

    static void ExpectQuietExit(QProcess* p, int code) {
        ASSERT_TRUE(p->waitForFinished(kStartLimitMs));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), code) << p->readAllStandardError().toStdString();
    }

    QTemporaryDir runtime_;
    QTemporaryDir config_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(Startup, ASecondStartEndsAtOnceWhileTheFirstRuns) {
    QProcess* first = Launch();
    ASSERT_TRUE(WaitUntilOwner(first));
    QProcess* second = Launch();
    ExpectQuietExit(second, 0);
    EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second->readAllStandardError().isEmpty());
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(LockOwner(), first->processId());
}

TEST_F(Startup, TheNextStartRunsOnceTheFirstHasEnded) {
    QProcess* first = Launch({}, 100);
    ASSERT_TRUE(WaitUntilOwner(first) || first->state() == QProcess::NotRunning);
    ExpectQuietExit(first, 0);
    EXPECT_FALSE(QFile::exists(LockPath()));
    QProcess* next = Launch();
    EXPECT_TRUE(WaitUntilOwner(next));
}

TEST_F(Startup, TheLockOfAKilledInstanceDoesNotBlock) {
    QProcess* first = Launch();
    ASSERT_TRUE(WaitUntilOwner(first));
    first->kill();
    ASSERT_TRUE(first->waitForFinished(kStartLimitMs));
    ASSERT_TRUE(QFile::exists(LockPath()));  // left behind
    QProcess* next = Launch();
    EXPECT_TRUE(WaitUntilOwner(next));
}

TEST_F(Startup, OptionsAreTheNetworkOptionsOfTheCommandLineProgram) {
    QProcess* bad = Launch({"--socks5"});
    ExpectQuietExit(bad, 2);
    QProcess* unknown = Launch({"--frobnicate"});
    ASSERT_TRUE(unknown->waitForFinished(kStartLimitMs));
    EXPECT_EQ(unknown->exitCode(), 2);
    const QString err = QString::fromLocal8Bit(unknown->readAllStandardError());
    EXPECT_TRUE(err.contains("unknown argument '--frobnicate'")) << err.toStdString();
    EXPECT_TRUE(err.contains("--demo")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(LockPath()));

    QProcess* help = Launch({"--help"});
    ExpectQuietExit(help, 0);
    EXPECT_TRUE(
        QString::fromLocal8Bit(help->readAllStandardOutput()).contains("--search-endpoint"));

    QProcess* demo = Launch({"--demo", "--search-endpoint", "http://search.example"}, 100);
    ExpectQuietExit(demo, 0);

    // Help and bad values of the program's own options need no display.
    ExpectQuietExit(Launch({"--proxy", "nowhere"}, -1, false), 2);
    QProcess* helpAlone = Launch({"--help"}, -1, false);
    ExpectQuietExit(helpAlone, 0);
    EXPECT_TRUE(QString::fromLocal8Bit(helpAlone->readAllStandardOutput()).contains("--demo"));
    QProcess* version = Launch({"--version"}, -1, false);
    ExpectQuietExit(version, 0);
    EXPECT_EQ(version->readAllStandardOutput().toStdString(), "corvane " CORVANE_VERSION "\n");
}

}  // namespace
}  // namespace corvane::ui
