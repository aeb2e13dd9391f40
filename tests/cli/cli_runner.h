// Running the built corvane-cli from a test: a clean environment whose
// history goes to a folder of the test run's own, output lines, temporary
// folders, and a demo web program of a test's own.
#pragma once

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace corvane::testing::cli {

inline const std::string kCli = CORVANE_CLI_PROGRAM;
inline const std::string kDemoWeb = CORVANE_DEMO_WEB_PROGRAM;

class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/corvane-cli-test-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The environment of every run: no settings inherited from the caller's
// (neither the environment's nor those saved in the window's Settings), and
// a data folder of the test program's own, so that surveys are never
// recorded in the history of whoever runs the tests.
inline std::vector<std::string> CleanEnv() {
    static const TempDir data;
    static const TempDir config;
    return {"CORVANE_PROXY=",
            "CORVANE_SEARCH_ENDPOINT=",
            "CORVANE_TRAFFIC_ENDPOINT=",
            "CORVANE_HISTORY=",
            "CORVANE_PROFILE=",
            "CORVANE_SEARXNG=",
            "CORVANE_JOBS=",
            "CORVANE_PER_HOST=",
            "XDG_DATA_HOME=" + data.Path(),
            "XDG_CONFIG_HOME=" + config.Path()};
}

// `env` is applied after the clean environment, so it may set any of it.
inline ProgramResult Cli(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    std::vector<std::string> all = CleanEnv();
    all.insert(all.end(), env.begin(), env.end());
    return RunProgram(kCli, args, all);
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A demo web of its own, so that a test can set its latency and address.
class DemoWebProgram {
  public:
    explicit DemoWebProgram(int latencyMs)
        : p_({kDemoWeb, "--latency-ms", std::to_string(latencyMs)}) {
        p_.ReadUntil([](const ProgramResult& r) { return r.out.find('\n') != std::string::npos; },
                     10000);
        std::smatch m;
        const std::string out = p_.SoFar().out;
        if (std::regex_search(out, m, std::regex(R"(127\.0\.0\.1:(\d+))")))
            port_ = std::stoi(m[1]);
    }
    ~DemoWebProgram() {
        p_.Signal(SIGTERM);
        p_.Finish(10000);
    }
    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    ChildProcess p_;
    int port_ = 0;
};

}  // namespace corvane::testing::cli
