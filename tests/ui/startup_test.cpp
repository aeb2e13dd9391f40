// The built corvane program started as a user starts it (offscreen, with
// its own runtime and config folders): one instance per user and display,
// a second start ending at once, locks of killed instances not blocking,
// and the options.
#include <QDir>
#include <QLockFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "corvane_version.h"
#include "qt_env.h"
#include "tests/support/child_process.h"
#include "ui/single_instance.h"

namespace corvane::ui {
namespace {

using corvane::testing::ChildOptions;
using corvane::testing::ChildProcess;
using corvane::testing::ProgramResult;

constexpr int kStartLimitMs = 30000;

class Startup : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(runtime_.isValid() && config_.isValid()); }

    void TearDown() override {
        for (auto& p : processes_)
            p->Kill();
    }

    // Starts the program; quitAfterMs >= 0 makes it close its window that
    // long after start-up. Without a display the window system cannot be
    // reached at all.
    ChildProcess* Launch(const std::vector<std::string>& args = {}, int quitAfterMs = -1,
                         bool display = true) {
        std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen"};
        if (!display) {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.push_back(std::string(name) + "=");
        }
        env.push_back("XDG_RUNTIME_DIR=" + runtime_.path().toStdString());
        env.push_back("XDG_CONFIG_HOME=" + config_.path().toStdString());
        env.push_back("CORVANE_TEST_QUIT_AFTER_MS=");
        if (quitAfterMs >= 0)
            env.push_back("CORVANE_TEST_QUIT_AFTER_MS=" + std::to_string(quitAfterMs));
        std::vector<std::string> argv{CORVANE_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        processes_.push_back(std::make_unique<ChildProcess>(argv, ChildOptions::WithEnv(env)));
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
    bool WaitUntilOwner(ChildProcess* process) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartLimitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (LockOwner() == process->Pid())
                return true;
            if (!process->Running())
                return false;
            QThread::msleep(20);
        }
        return false;
    }

    // exitCode is -1 unless the program ended by exiting.
    static void ExpectQuietExit(ChildProcess* p, int code) {
        const ProgramResult r = p->Finish(kStartLimitMs);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, code) << r.err;
    }

    QTemporaryDir runtime_;
    QTemporaryDir config_;
    std::vector<std::unique_ptr<ChildProcess>> processes_;
};

TEST_F(Startup, ASecondStartEndsAtOnceWhileTheFirstRuns) {
    ChildProcess* first = Launch();
    ASSERT_TRUE(WaitUntilOwner(first));
    ChildProcess* second = Launch();
    ExpectQuietExit(second, 0);
    EXPECT_TRUE(second->SoFar().out.empty());
    EXPECT_TRUE(second->SoFar().err.empty());
    EXPECT_TRUE(first->Running());
    EXPECT_EQ(LockOwner(), first->Pid());
}

TEST_F(Startup, TheNextStartRunsOnceTheFirstHasEnded) {
    ChildProcess* first = Launch({}, 100);
    ASSERT_TRUE(WaitUntilOwner(first) || !first->Running());
    ExpectQuietExit(first, 0);
    EXPECT_FALSE(QFile::exists(LockPath()));
    ChildProcess* next = Launch();
    EXPECT_TRUE(WaitUntilOwner(next));
}

TEST_F(Startup, TheLockOfAKilledInstanceDoesNotBlock) {
    ChildProcess* first = Launch();
    ASSERT_TRUE(WaitUntilOwner(first));
    first->Kill();
    ASSERT_FALSE(first->Running());
    ASSERT_TRUE(QFile::exists(LockPath()));  // left behind
    ChildProcess* next = Launch();
    EXPECT_TRUE(WaitUntilOwner(next));
}

TEST_F(Startup, OptionsAreTheNetworkOptionsOfTheCommandLineProgram) {
    ChildProcess* bad = Launch({"--socks5"});
    ExpectQuietExit(bad, 2);
    ChildProcess* unknown = Launch({"--frobnicate"});
    const ProgramResult unknownEnd = unknown->Finish(kStartLimitMs);
    ASSERT_FALSE(unknownEnd.timedOut);
    EXPECT_EQ(unknownEnd.exitCode, 2);
    const QString err = QString::fromStdString(unknownEnd.err);
    EXPECT_TRUE(err.contains("unknown argument '--frobnicate'")) << err.toStdString();
    EXPECT_TRUE(err.contains("--demo")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(LockPath()));

    ChildProcess* help = Launch({"--help"});
    ExpectQuietExit(help, 0);
    EXPECT_TRUE(QString::fromStdString(help->SoFar().out).contains("--search-endpoint"));

    ChildProcess* demo = Launch({"--demo", "--search-endpoint", "http://search.example"}, 100);
    ExpectQuietExit(demo, 0);

    // Help and bad values of the program's own options need no display.
    ExpectQuietExit(Launch({"--proxy", "nowhere"}, -1, false), 2);
    ChildProcess* helpAlone = Launch({"--help"}, -1, false);
    ExpectQuietExit(helpAlone, 0);
    EXPECT_TRUE(QString::fromStdString(helpAlone->SoFar().out).contains("--demo"));
    ChildProcess* version = Launch({"--version"}, -1, false);
    ExpectQuietExit(version, 0);
    EXPECT_EQ(version->SoFar().out, "corvane " CORVANE_VERSION "\n");
}

TEST_F(Startup, WithoutADisplayItSaysSoInOneLineAndEndsWithCode1) {
    ChildProcess* p = Launch({}, -1, false);
    ExpectQuietExit(p, 1);
    const QString err = QString::fromStdString(p->SoFar().err);
    EXPECT_TRUE(err.startsWith("corvane: cannot open a window: no display is set"))
        << err.toStdString();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_FALSE(QFile::exists(LockPath()));
}

}  // namespace
}  // namespace corvane::ui
