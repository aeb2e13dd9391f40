// TNetStack over POSIX sockets; see net/posix_stack.h. The helpers here
// (address structures, poll that resumes after signals, the SIGPIPE guard)
// serve this file only.
#include "net/posix_stack.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/net_exceptions.h"
#include "net/socket_errors.h"

namespace corvane::net {

namespace {

constexpr std::size_t kMaxSetSize = 64;

thread_local std::int32_t t_lastError = 0;

// Fills an IPv4 socket address; false (with the error code set) when the port
// does not fit the 16 bits of the address.
bool MakeAddress(TNetStack& stack, int family, const std::string& ip, std::int32_t port,
                 sockaddr_in& out, std::int32_t& error) {
    std::memset(&out, 0, sizeof out);
    if (port < 0 || port > 65535) {
        error = 10022;
        return false;
    }
    out.sin_family = static_cast<sa_family_t>(family);
    out.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ip.empty()) {
        out.sin_addr.s_addr = htonl(INADDR_ANY);
    } else {
        const TNetIPv4 a = stack.ParseIPv4(ip);
        std::memcpy(&out.sin_addr.s_addr, a.data(), 4);
    }
    return true;
}

void SplitAddress(TNetStack& stack, const sockaddr_in& in, int& family, std::string& ip,
                  std::int32_t& port) {
    family = in.sin_family;
    TNetIPv4 a{};
    std::memcpy(a.data(), &in.sin_addr.s_addr, 4);
    ip = stack.FormatIPv4(a);
    port = ntohs(in.sin_port);
}

// Milliseconds left until deadline, at least 0.
int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// poll(2) that resumes after a signal with the time that is left; timeout < 0
// waits without limit.
int PollResuming(pollfd* fds, nfds_t count, int timeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        const int r = ::poll(fds, count, timeoutMs < 0 ? -1 : RemainingMs(deadline));
        if (r >= 0 || errno != EINTR)
            return r;
    }
}

// Keeps SIGPIPE from reaching the process during a call that cannot be told
// not to raise it (sendfile): blocks it on this thread and swallows one that
// the call raised.
class SigPipeGuard {
  public:
    SigPipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigPipeGuard() {
        if (!wasPending_) {
            sigset_t pending;
            sigemptyset(&pending);
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec zero{};
                while (sigtimedwait(&pipe_, nullptr, &zero) == -1 && errno == EINTR) {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigPipeGuard(const SigPipeGuard&) = delete;
    SigPipeGuard& operator=(const SigPipeGuard&) = delete;

  private:
    sigset_t pipe_{};
    sigset_t old_{};
    bool wasPending_ = false;
};

}  // namespace

void TNetStackPosix::SetLastError(std::int32_t code) {
    t_lastError = code;
}

std::int32_t TNetStackPosix::Fail() {
    t_lastError = SocketErrorFromErrno(errno);
    return -1;
}

std::int32_t TNetStackPosix::SysGetLastError() {
    return t_lastError;
}

TNetSocket TNetStackPosix::SysSocket(int family, int type, int protocol) {
    const int s = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (s < 0)
        return Fail();
    return s;
}

std::int32_t TNetStackPosix::SysBind(TNetSocket socket, int family, const std::string& ip,
                                     std::int32_t port) {
    sockaddr_in a{};
    std::int32_t error = 0;
    if (!MakeAddress(*this, family, ip, port, a, error)) {
        SetLastError(error);
        return -1;
    }
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        return Fail();
    return 0;
}

std::int32_t TNetStackPosix::SysConnect(TNetSocket socket, int family, const std::string& ip,
                                        std::int32_t port, std::int32_t timeoutMs) {
    sockaddr_in a{};
    std::int32_t error = 0;
    if (!MakeAddress(*this, family, ip, port, a, error)) {
        SetLastError(error);
        return -1;
    }
    // The attempt runs non-blocking so that it can be given a time limit (and
    // survives signals); the socket is blocking again afterwards.
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0)
        return Fail();
    if (::fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail();
    auto restore = [&] { ::fcntl(socket, F_SETFL, flags); };
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
        restore();
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        const std::int32_t r = Fail();
        restore();
        return r;
    }
    pollfd p{socket, POLLOUT, 0};
    const int ready = PollResuming(&p, 1, timeoutMs > 0 ? timeoutMs : -1);
    if (ready < 0) {
        const std::int32_t r = Fail();
        restore();
        return r;
    }
    if (ready == 0) {
        restore();
        SetLastError(NetErrorTimedOut);
        return -1;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        soError = errno;
    restore();
    if (soError != 0) {
        errno = soError;
        return Fail();
    }
    return 0;
}

std::string TNetStackPosix::SysGetHostByName(const std::string& host) {
    // A zero byte would cut the name short and look up some other host.
    if (host.find('\0') != std::string::npos) {
        SetLastError(NetErrorHostNotFound);
        CheckSocketResult(-1);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    errno = 0;
    const int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (r != 0 || result == nullptr) {
        SetLastError(r != 0 ? SocketErrorFromLookup(r, errno) : NetErrorNoData);
        CheckSocketResult(-1);
    }
    sockaddr_in a{};
    std::memcpy(&a, result->ai_addr, sizeof a);
    ::freeaddrinfo(result);
    TNetIPv4 bytes{};
    std::memcpy(bytes.data(), &a.sin_addr.s_addr, 4);
    return FormatIPv4(bytes);
}

std::string TNetStackPosix::SysGetHostName() {
    char name[250] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        CheckSocketResult(Fail());
    return std::string(name, ::strnlen(name, sizeof name));
}

std::string TNetStackPosix::SysGetHostByAddr(const std::string& ip) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    if (ip.find('\0') != std::string::npos || ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr) != 1) {
        SetLastError(NetErrorHostNotFound);
        CheckSocketResult(-1);
    }
    char host[NI_MAXHOST] = {};
    const int r = ::getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, host, sizeof host,
                                nullptr, 0, NI_NAMEREQD);
    if (r != 0) {
        SetLastError(SocketErrorFromLookup(r, errno));
        CheckSocketResult(-1);
    }
    return host;
}

std::int32_t TNetStackPosix::SysGetServByName(const std::string& name) {
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (name.find('\0') == std::string::npos &&
        ::getservbyname_r(name.c_str(), nullptr, &entry, buffer, sizeof buffer, &found) == 0 &&
        found) {
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    }
    std::int32_t port = 0;
    if (TryParseNetInteger(name, port))
        return port;
    throw ENetInvalidServiceName(name);
}

std::vector<std::string> TNetStackPosix::SysGetServByPort(std::int32_t port) {
    std::vector<std::string> names;
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyport_r(htons(static_cast<std::uint16_t>(port)), nullptr, &entry, buffer,
                          sizeof buffer, &found) == 0 &&
        found) {
        names.emplace_back(found->s_name);
        for (char** alias = found->s_aliases; alias && *alias; ++alias)
            names.emplace_back(*alias);
    }
    return names;
}

std::int32_t TNetStackPosix::SysListen(TNetSocket socket, std::int32_t backlog) {
    if (::listen(socket, backlog) != 0)
        return Fail();
    return 0;
}

TNetSocket TNetStackPosix::SysAccept(TNetSocket socket, std::string& ip, std::int32_t& port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int s;
    do {
        s = ::accept4(socket, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    } while (s < 0 && errno == EINTR);
    if (s < 0)
        return Fail();
    int family = 0;
    SplitAddress(*this, a, family, ip, port);
    return s;
}

std::int32_t TNetStackPosix::SysRecv(TNetSocket socket, void* buffer, std::int32_t capacity,
                                     int flags) {
    for (;;) {
        const ssize_t n =
            ::recv(socket, buffer, capacity < 0 ? 0 : static_cast<std::size_t>(capacity), flags);
        if (n >= 0)
            return static_cast<std::int32_t>(n);
        if (errno != EINTR)
            return Fail();
    }
}

std::int32_t TNetStackPosix::SysRecvFrom(TNetSocket socket, void* buffer, std::int32_t capacity,
                                         int flags, std::string& ip, std::int32_t& port) {
    sockaddr_in a{};
    for (;;) {
        socklen_t len = sizeof a;
        const ssize_t n =
            ::recvfrom(socket, buffer, capacity < 0 ? 0 : static_cast<std::size_t>(capacity), flags,
                       reinterpret_cast<sockaddr*>(&a), &len);
        if (n >= 0) {
            int family = 0;
            SplitAddress(*this, a, family, ip, port);
            return static_cast<std::int32_t>(n);
        }
        if (errno != EINTR)
            return Fail();
    }
}

std::int32_t TNetStackPosix::SysSend(TNetSocket socket, const void* bytes, std::int32_t count,
                                     int flags) {
    for (;;) {
        // MSG_NOSIGNAL: a peer that went away is an error code, never SIGPIPE.
        const int osFlags =
            (flags & ~NetSendNoWait) | ((flags & NetSendNoWait) != 0 ? MSG_DONTWAIT : 0);
        const ssize_t n = ::send(socket, bytes, count < 0 ? 0 : static_cast<std::size_t>(count),
                                 osFlags | MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<std::int32_t>(n);
        if (errno != EINTR)
            return Fail();
    }
}

std::int32_t TNetStackPosix::SysSendTo(TNetSocket socket, const void* bytes, std::int32_t count,
                                       int flags, const std::string& ip, std::int32_t port) {
    sockaddr_in a{};
    std::int32_t error = 0;
    if (!MakeAddress(*this, NetAddressFamilyIPv4, ip, port, a, error)) {
        SetLastError(error);
        return -1;
    }
    for (;;) {
        const ssize_t n =
            ::sendto(socket, bytes, count < 0 ? 0 : static_cast<std::size_t>(count),
                     flags | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        if (n >= 0)
            return static_cast<std::int32_t>(n);
        if (errno != EINTR)
            return Fail();
    }
}

std::int32_t TNetStackPosix::SysSelect(std::vector<TNetSocket>* readList,
                                       std::vector<TNetSocket>* writeList, std::int32_t timeout,
                                       std::vector<TNetSocket>* exceptList) {
    std::vector<TNetSocket>* lists[3] = {readList, writeList, exceptList};
    const short events[3] = {POLLIN, POLLOUT, POLLPRI};
    // Each list becomes a set: duplicates collapse, order of first appearance.
    std::vector<TNetSocket> sets[3];
    for (int k = 0; k < 3; ++k) {
        if (!lists[k])
            continue;
        if (lists[k]->size() > kMaxSetSize)
            throw ENetStackSetSizeExceeded();
        for (TNetSocket s : *lists[k]) {
            if (std::find(sets[k].begin(), sets[k].end(), s) == sets[k].end())
                sets[k].push_back(s);
        }
    }
    std::vector<pollfd> fds;
    std::vector<std::size_t> owner;  // which set each pollfd belongs to
    for (int k = 0; k < 3; ++k) {
        for (TNetSocket s : sets[k]) {
            fds.push_back(pollfd{s, events[k], 0});
            owner.push_back(static_cast<std::size_t>(k));
        }
    }
    const int wait = timeout < 0 ? -1 : timeout;
    const int r = PollResuming(fds.data(), fds.size(), wait);
    if (r < 0)
        return Fail();
    for (const pollfd& p : fds) {
        if (p.revents & POLLNVAL) {
            SetLastError(10038);
            return -1;
        }
    }
    std::int32_t ready = 0;
    for (int k = 0; k < 3; ++k) {
        if (lists[k])
            lists[k]->clear();
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        const std::size_t k = owner[i];
        short hit = fds[i].revents;
        // As with select, an error or hang-up counts as readable and writable.
        if (k != 2)
            hit &= static_cast<short>(events[k] | POLLERR | POLLHUP);
        else
            hit &= POLLPRI;
        if (hit) {
            lists[k]->push_back(fds[i].fd);
            ++ready;
        }
    }
    return ready;
}

std::int32_t TNetStackPosix::SysSetSockOpt(TNetSocket socket, int level, int option,
                                           const void* value, std::int32_t length) {
    if (::setsockopt(socket, level, option, value,
                     static_cast<socklen_t>(length < 0 ? 0 : length)) != 0)
        return Fail();
    return 0;
}

std::int32_t TNetStackPosix::SysShutdown(TNetSocket socket, int how) {
    if (::shutdown(socket, how) != 0)
        return Fail();
    return 0;
}

std::int32_t TNetStackPosix::SysCloseSocket(TNetSocket socket) {
    if (::close(socket) != 0)
        return Fail();
    return 0;
}

void TNetStackPosix::SysGetPeerName(TNetSocket socket, int& family, std::string& ip,
                                    std::int32_t& port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        CheckSocketResult(Fail());
    SplitAddress(*this, a, family, ip, port);
}

void TNetStackPosix::SysGetSockName(TNetSocket socket, int& family, std::string& ip,
                                    std::int32_t& port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        CheckSocketResult(Fail());
    SplitAddress(*this, a, family, ip, port);
}

std::int64_t TNetStackPosix::SysTransmitFile(TNetSocket socket, const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        SetLastError(10022);
        return 0;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail();
        return 0;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    struct stat st {};
    std::int64_t size = 0;
    bool ok = ::fstat(fd, &st) == 0;
    if (ok)
        size = st.st_size;
    {
        SigPipeGuard guard;
        off_t offset = 0;
        while (ok && offset < size) {
            const ssize_t n =
                ::sendfile(socket, fd, &offset, static_cast<std::size_t>(size - offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n < 0)
                    Fail();
                ok = false;
            }
        }
    }
    ::close(fd);
    return ok ? size : 0;
}

}  // namespace corvane::net
