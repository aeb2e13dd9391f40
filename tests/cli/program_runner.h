// Runs a program of the build as a child process with its output captured,
// within a time limit, for the command-line tests.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace corvane::testing {

struct ProgramResult {
    int exitCode = -1;  // -1: killed by a signal or by the time limit
    bool timedOut = false;
    std::string out;
    std::string err;
};

class Program {
public:
    // Starts `path` with `args`; `env` entries ("NAME=value") are added to
    // the environment, and "NAME=" removes NAME.
    Program(const std::string& path, const std::vector<std::string>& args,
            const std::vector<std::string>& env = {}) {
        int outPipe[2], errPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(outPipe[1], 1);
            dup2(errPipe[1], 2);
            int devnull = open("/dev/null", O_RDONLY);
            dup2(devnull, 0);
            for (const auto& e : env) {
                const auto eq = e.find('=');
                const std::string name = e.substr(0, eq);
                if (eq + 1 == e.size()) unsetenv(name.c_str());
                else setenv(name.c_str(), e.substr(eq + 1).c_str(), 1);
            }
            std::vector<char*> argv{const_cast<char*>(path.c_str())};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        close(outPipe[1]);
        close(errPipe[1]);
        outFd_ = outPipe[0];
        errFd_ = errPipe[0];
    }

    ~Program() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) close(outFd_);
        if (errFd_ >= 0) close(errFd_);
    }

    void Signal(int sig) { kill(pid_, sig); }

    // Reads output until `until` says stop (checked after each read) or both
    // streams end; false when the time limit came first.
    bool ReadUntil(const std::function<bool(const ProgramResult&)>& until, int limitMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (outFd_ >= 0 || errFd_ >= 0) {
            if (until && until(result_)) return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return false;
            pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
            if (poll(fds, 2, static_cast<int>(left)) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buf[65536];
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    close(fds[i].fd);
                    (i == 0 ? outFd_ : errFd_) = -1;
                } else {
                    (i == 0 ? result_.out : result_.err).append(buf, static_cast<std::size_t>(n));
                }
            }
        }
        return !until || until(result_);
    }

    // Reads everything and waits for the exit, killing the child at the limit.
    ProgramResult Finish(int limitMs) {
        if (!ReadUntil(nullptr, limitMs)) {
            result_.timedOut = true;
            kill(pid_, SIGKILL);
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        result_.exitCode = WIFEXITED(status) && !result_.timedOut ? WEXITSTATUS(status) : -1;
        return result_;
    }

    const ProgramResult& SoFar() const { return result_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int outFd_ = -1, errFd_ = -1;
    ProgramResult result_;
};

inline ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {}, int limitMs = 60000) {
    Program p(path, args, env);
    return p.Finish(limitMs);
}

}  // namespace corvane::testing
