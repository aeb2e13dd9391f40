#include "tests/support/scripted_peer.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

int BoundLoopbackSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        const int e = errno;
        ::close(fd);
        throw std::runtime_error(std::string("bind: ") + std::strerror(e));
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

// ---- PeerScript ----

PeerScript& PeerScript::ReadUntil(std::string text) {
    steps_.push_back({Kind::ReadUntil, std::move(text), 0});
    return *this;
}
PeerScript& PeerScript::ReadBytes(std::size_t n) {
    steps_.push_back({Kind::ReadBytes, {}, n});
    return *this;
}
PeerScript& PeerScript::ReadUntilClosed() {
    steps_.push_back({Kind::ReadUntilClosed, {}, 0});
    return *this;
}
PeerScript& PeerScript::Send(std::string bytes) {
    steps_.push_back({Kind::Send, std::move(bytes), 0});
    return *this;
}
PeerScript& PeerScript::SendPrefix(const std::string& bytes, std::size_t n) {
    return Send(bytes.substr(0, n));
}
PeerScript& PeerScript::Pause(int ms) {
    steps_.push_back({Kind::Pause, {}, static_cast<std::size_t>(ms < 0 ? 0 : ms)});
    return *this;
}
PeerScript& PeerScript::Close() {
    steps_.push_back({Kind::Close, {}, 0});
    return *this;
}
PeerScript& PeerScript::Reset() {
    steps_.push_back({Kind::Reset, {}, 0});
    return *this;
}
PeerScript& PeerScript::ShutdownSend() {
    steps_.push_back({Kind::ShutdownSend, {}, 0});
    return *this;
}

// ---- ScriptedPeer ----

ScriptedPeer::ScriptedPeer(PeerScript script, int connections, PeerOptions options)
    : scriptFor_([script](int) { return script; }), connections_(connections), options_(options) {
    Start();
}

ScriptedPeer::ScriptedPeer(std::vector<PeerScript> scripts, PeerOptions options)
    : connections_(static_cast<int>(scripts.size())), options_(options) {
    scriptFor_ = [s = std::move(scripts)](int i) { return s[static_cast<std::size_t>(i)]; };
    Start();
}

ScriptedPeer::ScriptedPeer(int connections, std::function<PeerScript(int)> scriptFor,
                           PeerOptions options)
    : scriptFor_(std::move(scriptFor)), connections_(connections), options_(options) {
    Start();
}

ScriptedPeer::~ScriptedPeer() {
    Stop();
}

void ScriptedPeer::Start() {
    listenFd_ = BoundLoopbackSocket(port_);
    if (::listen(listenFd_, options_.backlog) != 0) {
        ::close(listenFd_);
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void ScriptedPeer::Stop() {
    stop_ = true;
    if (acceptThread_.joinable())
        acceptThread_.join();
    for (std::thread& t : handlers_) {
        if (t.joinable())
            t.join();
    }
    handlers_.clear();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void ScriptedPeer::AcceptLoop() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.acceptTimeoutMs);
    for (int index = 0; index < connections_ && !stop_;) {
        if (Clock::now() >= deadline) {
            AddError("accept: no connection " + std::to_string(index) + " in time");
            return;
        }
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, std::min(50, MsLeft(deadline))) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            std::lock_guard<std::mutex> g(mutex_);
            accepted_.push_back(std::make_unique<Connection>());
        }
        changed_.notify_all();
        handlers_.emplace_back(
            [this, index, fd, script = scriptFor_(index)] { RunScript(index, fd, script); });
        ++index;
    }
}

void ScriptedPeer::AddError(const std::string& error) {
    std::lock_guard<std::mutex> g(mutex_);
    errors_.push_back(error);
}

void ScriptedPeer::RunScript(int index, int fd, PeerScript script) {
    std::string pending;  // received and not yet consumed by a read step
    bool open = true;     // the other side has not closed
    const auto step = [&](std::size_t k) {
        return "connection " + std::to_string(index) + " step " + std::to_string(k);
    };

    // One receive with a limit; false on timeout, stop, close or error.
    auto receiveSome = [&](Clock::time_point deadline) -> bool {
        while (!stop_) {
            const int left = MsLeft(deadline);
            if (left == 0)
                return false;
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, std::min(left, 50));
            if (r < 0 && errno != EINTR)
                return false;
            if (r <= 0)
                continue;
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                open = false;
                return false;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            std::lock_guard<std::mutex> g(mutex_);
            accepted_[static_cast<std::size_t>(index)]->received.append(
                buffer, static_cast<std::size_t>(n));
            return true;
        }
        return false;
    };
    auto drainThenClose = [&] {
        ::shutdown(fd, SHUT_WR);
        const auto deadline = Clock::now() + std::chrono::milliseconds(options_.stepTimeoutMs);
        while (open && receiveSome(deadline)) {
        }
        ::close(fd);
    };

    bool closed = false;
    const auto& steps = script.Steps();
    for (std::size_t k = 0; k < steps.size() && !closed && !stop_; ++k) {
        const PeerScript::Step& s = steps[k];
        const auto deadline = Clock::now() + std::chrono::milliseconds(options_.stepTimeoutMs);
        bool failed = false;
        switch (s.kind) {
            case PeerScript::Kind::ReadUntil: {
                std::size_t at;
                while ((at = pending.find(s.text)) == std::string::npos) {
                    if (!receiveSome(deadline)) {
                        AddError(step(k) + ": \"" + s.text + "\" did not arrive");
                        failed = true;
                        break;
                    }
                }
                if (!failed)
                    pending.erase(0, at + s.text.size());
                break;
            }
            case PeerScript::Kind::ReadBytes:
                while (pending.size() < s.count) {
                    if (!receiveSome(deadline)) {
                        AddError(step(k) + ": " + std::to_string(s.count) +
                                 " bytes did not arrive");
                        failed = true;
                        break;
                    }
                }
                if (!failed)
                    pending.erase(0, s.count);
                break;
            case PeerScript::Kind::ReadUntilClosed:
                while (open && receiveSome(deadline)) {
                }
                if (open)
                    AddError(step(k) + ": the other side did not close");
                pending.clear();
                break;
            case PeerScript::Kind::Send: {
                std::size_t done = 0;
                while (done < s.text.size() && !stop_) {
                    const ssize_t n =
                        ::send(fd, s.text.data() + done, s.text.size() - done, MSG_NOSIGNAL);
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0) {
                        AddError(step(k) + ": send failed: " + std::strerror(errno));
                        failed = true;
                        break;
                    }
                    done += static_cast<std::size_t>(n);
                }
                break;
            }
            case PeerScript::Kind::Pause: {
                const auto until = Clock::now() + std::chrono::milliseconds(s.count);
                while (!stop_ && Clock::now() < until)
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(std::min(5, MsLeft(until) + 1)));
                break;
            }
            case PeerScript::Kind::Close:
                drainThenClose();
                closed = true;
                break;
            case PeerScript::Kind::Reset: {
                linger l{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                ::close(fd);
                closed = true;
                break;
            }
            case PeerScript::Kind::ShutdownSend:
                ::shutdown(fd, SHUT_WR);
                break;
        }
        if (failed)
            break;
    }
    if (!closed)
        drainThenClose();
    {
        std::lock_guard<std::mutex> g(mutex_);
        accepted_[static_cast<std::size_t>(index)]->done = true;
    }
    changed_.notify_all();
}

int ScriptedPeer::Accepted() const {
    std::lock_guard<std::mutex> g(mutex_);
    return static_cast<int>(accepted_.size());
}

bool ScriptedPeer::WaitDone(int index, int timeoutMs) {
    std::unique_lock<std::mutex> g(mutex_);
    return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
        return static_cast<int>(accepted_.size()) > index &&
               accepted_[static_cast<std::size_t>(index)]->done;
    });
}

bool ScriptedPeer::WaitAllDone(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int i = 0; i < connections_; ++i) {
        if (!WaitDone(i, MsLeft(deadline)))
            return false;
    }
    return true;
}

std::string ScriptedPeer::Received(int index, int timeoutMs) {
    WaitDone(index, timeoutMs);
    std::lock_guard<std::mutex> g(mutex_);
    if (static_cast<int>(accepted_.size()) <= index)
        return std::string();
    return accepted_[static_cast<std::size_t>(index)]->received;
}

std::vector<std::string> ScriptedPeer::Errors() const {
    std::lock_guard<std::mutex> g(mutex_);
    return errors_;
}

// ---- RefusingPort ----

RefusingPort::RefusingPort() {
    fd_ = BoundLoopbackSocket(port_);
}
RefusingPort::~RefusingPort() {
    ::close(fd_);
}

// ---- UnansweredPort ----

UnansweredPort::UnansweredPort() {
    fd_ = BoundLoopbackSocket(port_);
    ::listen(fd_, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    // Connect until one attempt stays unanswered: from then on the queue is
    // full and every new handshake is dropped.
    for (int i = 0; i < 16 && !ready_; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (s < 0)
            break;
        fillers_.push_back(s);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            continue;
        if (errno != EINPROGRESS)
            break;
        pollfd p{s, POLLOUT, 0};
        if (::poll(&p, 1, 200) == 0)
            ready_ = true;
    }
}

UnansweredPort::~UnansweredPort() {
    for (int s : fillers_)
        ::close(s);
    ::close(fd_);
}

}  // namespace corvane::testing
