// corvane-demo-web as a program: its address line, its options, and a clean
// end on SIGINT and SIGTERM.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corvane_version.h"
#include "raw_http.h"

extern char** environ;

namespace corvane::demo {
namespace {

using Clock = std::chrono::steady_clock;

class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), CORVANE_DEMO_WEB_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~Program() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }

    // The first line the program prints, within a time limit.
    std::optional<std::string> Line(int timeoutMs = 5000) {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (line.empty() || line.back() != '\n') {
            pollfd p{out_, POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            char c;
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0 ||
                ::read(out_, &c, 1) != 1) {
                return std::nullopt;
            }
            line += c;
        }
        return line;
    }

    // The exit status, waiting at most `timeoutMs`.
    std::optional<int> Wait(int timeoutMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!status_ && Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return status_;
    }

    void Signal(int signal) { ::kill(pid_, signal); }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::optional<int> status_;
};

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
        Program program({});
        const auto line = program.Line();
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
        EXPECT_EQ(program.Wait(), 0);
        EXPECT_FALSE(testing::ProxyGet(port, "http://a.example/"));
    }
}

TEST(DemoProgram, Options) {
    {
        Program program({"--latency-ms", "200", "--port", "0"});
        const int port = PortOf(program.Line().value_or(""));
        ASSERT_GT(port, 0);
        const auto start = Clock::now();
        ASSERT_TRUE(testing::ProxyGet(port, "http://a.example/"));
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(), 0);
    }
    {
        // A port given, and the same port asked again while taken.
        Program first({"--port", "0"});
        const int port = PortOf(first.Line().value_or(""));
        ASSERT_GT(port, 0);
        Program second({"--port", std::to_string(port)});
        EXPECT_EQ(second.Wait(), 1);
        first.Signal(SIGTERM);
        EXPECT_EQ(first.Wait(), 0);
        Program again({"--port", std::to_string(port)});
        EXPECT_EQ(PortOf(again.Line().value_or("")), port);
        again.Signal(SIGTERM);
        EXPECT_EQ(again.Wait(), 0);
    }
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--port"},
                                                {"--port", "65536"},
                                                {"--port", "-1"},
                                                {"--port", "8x"},
                                                {"--latency-ms", ""},
                                                {"--verbose"}}) {
        Program program(bad);
        EXPECT_EQ(program.Wait(), 2) << bad[0];
    }
    {
        Program version({"--version"});
        EXPECT_EQ(version.Line().value_or(""), "corvane-demo-web " CORVANE_VERSION "\n");
        EXPECT_EQ(version.Wait(), 0);
    }
}

}  // namespace
}  // namespace corvane::demo
