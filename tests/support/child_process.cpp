#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

// A wait status standing for "ended, how is not known" (reaped elsewhere).
constexpr int kUnknownStatus = -1;

int MsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// This process's environment with the changes applied.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::size_t eq = change.find('=');
        if (eq == std::string::npos || eq == 0) {
            throw std::invalid_argument("environment change without NAME=: " + change);
        }
        const std::string prefix = change.substr(0, eq + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
        if (eq + 1 < change.size())
            env.push_back(change);
    }
    return env;
}

std::vector<char*> PointersOf(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (std::string& t : texts)
        p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The spawn settings, released however the start ends.
struct SpawnSettings {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
};

// Both ends of a pipe, closed unless handed on.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
    }
    ~Pipe() {
        CloseFd(fds[0]);
        CloseFd(fds[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    // The reading end, non-blocking, now owned by the caller.
    int TakeReadEnd() {
        const int fd = fds[0];
        fds[0] = -1;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return fd;
    }
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, ChildOptions options)
    : ownGroup_(options.OwnGroup) {
    if (argv.empty())
        throw std::invalid_argument("ChildProcess: no program given");
    std::vector<std::string> args = argv;
    std::vector<std::string> env = ChildEnvironment(options.Env);
    const bool capture = options.LogPath.empty();
    Pipe out, err;

    SpawnSettings s;
    posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
    if (capture) {
        // The pipes' own descriptors close at exec; the copies stay.
        posix_spawn_file_actions_adddup2(&s.actions, out.fds[1], 1);
        posix_spawn_file_actions_adddup2(&s.actions, err.fds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&s.actions, 1, options.LogPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&s.actions, 1, 2);
    }
    // A signal this process ignores or blocks stays so in a child unless
    // reset: the child starts as from a shell, every signal at its default.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    int flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (ownGroup_) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&s.attr, 0);
    }
    posix_spawnattr_setflags(&s.attr, static_cast<short>(flags));

    const std::vector<char*> argp = PointersOf(args);
    const std::vector<char*> envp = PointersOf(env);
    const int r =
        ::posix_spawn(&pid_, args[0].c_str(), &s.actions, &s.attr, argp.data(), envp.data());
    if (r != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(r));
    }
    if (capture) {
        outFd_ = out.TakeReadEnd();
        errFd_ = err.TakeReadEnd();
    }
}

ChildProcess::~ChildProcess() {
    Stop();
    CloseFd(outFd_);
    CloseFd(errFd_);
}

bool ChildProcess::Reap(bool block) {
    if (status_ || pid_ <= 0)
        return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (r == pid_) {
        status_ = status;
    } else if (r < 0 && errno == ECHILD) {
        status_ = kUnknownStatus;
    }
    return status_.has_value();
}

bool ChildProcess::Running() {
    return !Reap(false);
}

void ChildProcess::Signal(int sig) {
    if (pid_ > 0 && !status_)
        ::kill(ownGroup_ ? -pid_ : pid_, sig);
}

void ChildProcess::Kill() {
    if (pid_ <= 0)
        return;
    Signal(SIGKILL);
    Reap(true);
    // Helpers that outlived the group's leader.
    if (ownGroup_)
        ::kill(-pid_, SIGKILL);
}

void ChildProcess::Stop() {
    if (pid_ <= 0)
        return;
    Signal(SIGTERM);
    if (!Wait(3000))
        Kill();
    if (ownGroup_)
        ::kill(-pid_, SIGKILL);
}

void ChildProcess::Capture(int waitMs) {
    pollfd fds[2];
    nfds_t n = 0;
    for (int fd : {outFd_, errFd_}) {
        if (fd >= 0)
            fds[n++] = pollfd{fd, POLLIN, 0};
    }
    if (n == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    if (::poll(fds, n, waitMs) > 0)
        Drain();
}

void ChildProcess::Drain() {
    for (int* fd : {&outFd_, &errFd_}) {
        std::string& text = fd == &outFd_ ? result_.out : result_.err;
        while (*fd >= 0) {
            char buf[65536];
            const ssize_t n = ::read(*fd, buf, sizeof buf);
            if (n > 0) {
                text.append(buf, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                break;  // nothing more for now
            } else {
                CloseFd(*fd);  // the end, or a failure that ends the stream
            }
        }
    }
}

bool ChildProcess::ReadUntil(const std::function<bool(const ProgramResult&)>& until, int limitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (outFd_ >= 0 || errFd_ >= 0) {
        if (until && until(result_))
            return true;
        const int left = MsUntil(deadline);
        if (left <= 0)
            return false;
        Capture(left);
    }
    return !until || until(result_);
}

std::optional<std::string> ChildProcess::FirstOutLine(int limitMs) {
    ReadUntil([](const ProgramResult& r) { return r.out.find('\n') != std::string::npos; },
              limitMs);
    const std::size_t newline = result_.out.find('\n');
    if (newline == std::string::npos)
        return std::nullopt;
    return result_.out.substr(0, newline + 1);
}

std::optional<int> ChildProcess::Wait(int limitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!Reap(false)) {
        const int left = MsUntil(deadline);
        if (left <= 0)
            return std::nullopt;
        Capture(std::min(left, 10));
    }
    Drain();
    if (*status_ == kUnknownStatus)
        return -1;
    if (WIFEXITED(*status_))
        return WEXITSTATUS(*status_);
    return 128 + WTERMSIG(*status_);
}

ProgramResult ChildProcess::Finish(int limitMs) {
    if (!Wait(limitMs)) {
        result_.timedOut = true;
        Kill();
        Drain();
    }
    const bool exited = *status_ != kUnknownStatus && WIFEXITED(*status_);
    result_.exitCode = exited && !result_.timedOut ? WEXITSTATUS(*status_) : -1;
    return result_;
}

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, int limitMs) {
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess p(argv, ChildOptions::WithEnv(env));
    return p.Finish(limitMs);
}

}  // namespace corvane::testing
