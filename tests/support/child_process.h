// The one way tests start a program: the programs of the build (their
// output captured, within a time limit) and the real servers the network
// tests talk to (their output in a log file, in a process group of their
// own). A child still running when its object goes is stopped and reaped.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::testing {

struct ChildOptions {
    // Changes to the environment the child inherits, in order: "NAME=value"
    // sets NAME, "NAME=" removes it.
    std::vector<std::string> Env;
    // Empty: stdout and stderr are captured (see SoFar and Finish).
    // Otherwise both are written to this file.
    std::string LogPath;
    // A process group of its own: signals and the stop reach every process
    // of the group, so that servers which fork take their helpers along.
    bool OwnGroup = false;

    // A program of the build: output captured, the environment changed.
    static ChildOptions WithEnv(std::vector<std::string> env) {
        ChildOptions o;
        o.Env = std::move(env);
        return o;
    }
    // A server: output to the log file, a process group of its own.
    static ChildOptions Server(std::string logPath) {
        ChildOptions o;
        o.LogPath = std::move(logPath);
        o.OwnGroup = true;
        return o;
    }
};

struct ProgramResult {
    int exitCode = -1;  // -1: ended by a signal or by the time limit
    bool timedOut = false;
    std::string out;
    std::string err;
};

class ChildProcess {
  public:
    // Starts argv[0] (a path, not looked up in PATH) with the arguments
    // argv[1...], stdin reading /dev/null and every signal at its default.
    // Throws std::runtime_error when the program cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv, ChildOptions options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    // Sends `sig` to the child (its whole group with OwnGroup); nothing once
    // the child has been reaped.
    void Signal(int sig);
    // SIGKILL, and the child is reaped.
    void Kill();
    // SIGTERM, up to three seconds for the end, then SIGKILL.
    void Stop();

    // Captures output until `until` says stop (asked after every read) or
    // both streams end; false when the time limit came first.
    bool ReadUntil(const std::function<bool(const ProgramResult&)>& until, int limitMs);
    // The first line of stdout with its newline, once it is complete;
    // nothing when the limit or the end of the stream comes first.
    std::optional<std::string> FirstOutLine(int limitMs);
    // Waits for the end, capturing output meanwhile: the exit code, or 128
    // plus the number of the signal that ended the child; nothing when the
    // child still runs at the limit (it is left running).
    std::optional<int> Wait(int limitMs);
    // Waits for the end with all the output; a child still running at the
    // limit is killed (timedOut).
    ProgramResult Finish(int limitMs);

    // The output captured so far.
    const ProgramResult& SoFar() const { return result_; }

  private:
    // Reads what the streams have, waiting up to waitMs for the first byte.
    void Capture(int waitMs);
    // Reads what the streams still hold without waiting.
    void Drain();
    // Records the end if the child has ended (blocking: waits for it).
    bool Reap(bool block);

    pid_t pid_ = -1;
    bool ownGroup_ = false;
    int outFd_ = -1;
    int errFd_ = -1;
    std::optional<int> status_;  // the raw wait status, once reaped
    ProgramResult result_;
};

// Runs `path` with `args` to its end (see ChildProcess::Finish).
ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}, int limitMs = 60000);

}  // namespace corvane::testing
