// corvane-demo-web as a program: its address line, its options, and a clean
// end on SIGINT and SIGTERM.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "corvane_version.h"
#include "raw_http.h"
#include "tests/support/child_process.h"

namespace corvane::demo {
namespace {

using Clock = std::chrono::steady_clock;
using corvane::testing::ChildProcess;

constexpr int kLineLimitMs = 5000;
constexpr int kEndLimitMs = 3000;

// corvane-demo-web with these arguments.
std::vector<std::string> DemoWeb(std::vector<std::string> args) {
    args.insert(args.begin(), CORVANE_DEMO_WEB_PROGRAM);
    return args;
}

// The port of the address line, 0 when the line is not the expected one.
int PortOf(const std::string& line) {
    const std::string prefix = "corvane-demo-web listening on http://127.0.0.1:";
    if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 2 || line.back() != '\n')
        return 0;
    const std::string digits = line.substr(prefix.size(), line.size() - prefix.size() - 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::stoi(digits);
}

TEST(DemoProgram, ServesUntilSignalledAndEndsCleanly) {
    for (int signal : {SIGTERM, SIGINT}) {
        ChildProcess program(DemoWeb({}));
        const auto line = program.FirstOutLine(kLineLimitMs);
        ASSERT_TRUE(line);
        const int port = PortOf(*line);
        ASSERT_GT(port, 0) << *line;
        const auto page =
            testing::ProxyGet(port, "http://search.yahoo.com/search?p=%22tea%22&n=2&b=1");
        ASSERT_TRUE(page);
        EXPECT_EQ(page->Status, 200);
        // A client left connected does not hold the end up.
        testing::RawConnection idle(port);
        program.Signal(signal);
        EXPECT_EQ(program.Wait(kEndLimitMs), 0);
        EXPECT_FALSE(testing::ProxyGet(port, "http://a.example/"));
    }
}

TEST(DemoProgram, Options) {
    {
        ChildProcess program(DemoWeb({"--latency-ms", "200", "--port", "0"}));
        const int port = PortOf(program.FirstOutLine(kLineLimitMs).value_or(""));
        ASSERT_GT(port, 0);
        const auto start = Clock::now();
        ASSERT_TRUE(testing::ProxyGet(port, "http://a.example/"));
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(kEndLimitMs), 0);
    }
    {
        // A port given, and the same port asked again while taken.
        ChildProcess first(DemoWeb({"--port", "0"}));
        const int port = PortOf(first.FirstOutLine(kLineLimitMs).value_or(""));
        ASSERT_GT(port, 0);
        ChildProcess second(DemoWeb({"--port", std::to_string(port)}));
        EXPECT_EQ(second.Wait(kEndLimitMs), 1);
        first.Signal(SIGTERM);
        EXPECT_EQ(first.Wait(kEndLimitMs), 0);
        ChildProcess again(DemoWeb({"--port", std::to_string(port)}));
        EXPECT_EQ(PortOf(again.FirstOutLine(kLineLimitMs).value_or("")), port);
        again.Signal(SIGTERM);
        EXPECT_EQ(again.Wait(kEndLimitMs), 0);
    }
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--port"},
                                                {"--port", "65536"},
                                                {"--port", "-1"},
                                                {"--port", "8x"},
                                                {"--port", "+80"},
                                                {"--port", " 80"},
                                                {"--latency-ms", ""},
                                                {"--verbose"}}) {
        ChildProcess program(DemoWeb(bad));
        EXPECT_EQ(program.Wait(kEndLimitMs), 2) << bad[0];
    }
    {
        ChildProcess version(DemoWeb({"--version"}));
        const corvane::testing::ProgramResult r = version.Finish(kEndLimitMs);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "corvane-demo-web " CORVANE_VERSION "\n");
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
}

}  // namespace
}  // namespace corvane::demo
