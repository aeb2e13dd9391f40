// The runner every program test and server launcher goes through: nothing
// of the output lost, the environment changes, the ways a child ends, and
// the stop of a whole process group.
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/support/server_launch.h"

namespace corvane::testing {
namespace {

TEST(ChildProcess, CapturesMoreThanAPipeHoldsOnBothStreams) {
    const auto r = RunProgram("/bin/sh",
                              {"-c",
                               "head -c 300000 /dev/zero | tr '\\0' a; "
                               "head -c 200000 /dev/zero | tr '\\0' b >&2; exit 3"},
                              {}, 20000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, std::string(300000, 'a'));
    EXPECT_EQ(r.err, std::string(200000, 'b'));
}

TEST(ChildProcess, EnvironmentChangesApplyInOrder) {
    ::setenv("CORVANE_RUNNER_KEEP", "k", 1);
    ::setenv("CORVANE_RUNNER_DROP", "d", 1);
    const auto r =
        RunProgram("/bin/sh",
                   {"-c",
                    "echo ${CORVANE_RUNNER_KEEP-unset} ${CORVANE_RUNNER_DROP-unset} "
                    "${CORVANE_RUNNER_NEW-unset}"},
                   {"CORVANE_RUNNER_DROP=", "CORVANE_RUNNER_NEW=1", "CORVANE_RUNNER_NEW=2"});
    ::unsetenv("CORVANE_RUNNER_KEEP");
    ::unsetenv("CORVANE_RUNNER_DROP");
    EXPECT_EQ(r.out, "k unset 2\n") << r.err;
}

TEST(ChildProcess, EndsBySignalOrTimeLimit) {
    // A signal ignored here is at its default in the child.
    ::signal(SIGINT, SIG_IGN);
    ChildProcess sleeper({"/bin/sleep", "30"});
    ::signal(SIGINT, SIG_DFL);
    EXPECT_EQ(sleeper.Wait(50), std::nullopt);
    EXPECT_TRUE(sleeper.Running());
    sleeper.Signal(SIGINT);
    EXPECT_EQ(sleeper.Wait(10000), 128 + SIGINT);
    EXPECT_FALSE(sleeper.Running());
    EXPECT_EQ(sleeper.Finish(1000).exitCode, -1);

    const auto late = RunProgram("/bin/sleep", {"30"}, {}, 100);
    EXPECT_TRUE(late.timedOut);
    EXPECT_EQ(late.exitCode, -1);

    EXPECT_THROW(ChildProcess({"/nonexistent/program"}), std::runtime_error);
}

TEST(ChildProcess, FirstLineOnlyOnceComplete) {
    ChildProcess twoLines({"/bin/sh", "-c", "printf 'one\\ntwo'; sleep 30"});
    EXPECT_EQ(twoLines.FirstOutLine(10000), "one\n");
    ChildProcess partial({"/bin/sh", "-c", "printf one"});
    EXPECT_EQ(partial.FirstOutLine(10000), std::nullopt);
    EXPECT_EQ(partial.SoFar().out, "one");
}

TEST(ChildProcess, StoppingAGroupEndsItsHelpers) {
    TempFolder folder;
    const std::string log = folder.Path() + "/log";
    ChildProcess leader({"/bin/sh", "-c", "sleep 30 & echo $!; wait"}, ChildOptions::Server(log));
    std::string helper;
    for (int i = 0; i < 1000 && helper.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string text = ReadFileText(log);
        if (!text.empty() && text.back() == '\n')
            helper = text.substr(0, text.size() - 1);
    }
    ASSERT_FALSE(helper.empty());
    leader.Stop();
    EXPECT_FALSE(leader.Running());
    // Gone, or a zombie until its new parent reaps it.
    bool ended = false;
    for (int i = 0; i < 500 && !ended; ++i) {
        const std::string stat = ReadFileText("/proc/" + helper + "/stat");
        const std::size_t close = stat.rfind(')');
        ended = close == std::string::npos || stat.compare(close, 3, ") Z") == 0;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << helper;
}

}  // namespace
}  // namespace corvane::testing
