// FetchPage of a large body from a loopback server in the same process, with
// the body announced by length or delimited by the close, next to a plain
// receive loop over the same bytes. Besides the rate, each run reports how
// far the process's resident high-water mark rose during the fetch
// (peak_extra_MiB) and that rise over the body size (peak_ratio); the
// server's copy of the body is resident before the mark is reset.
// bench-libs: corvane_net
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/page_fetch.h"

using corvane::net::FetchPage;

namespace {

// Answers every connection with one response: the header, then the body,
// then a close.
class BodyServer {
  public:
    BodyServer(std::size_t bodySize, bool withLength) : body_(bodySize, '\0') {
        for (std::size_t i = 0; i < bodySize; ++i)
            body_[i] = static_cast<char>('a' + i % 26);
        head_ = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
        if (withLength)
            head_ += "Content-Length: " + std::to_string(bodySize) + "\r\n";
        head_ += "\r\n";
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(fd_, 16);
        thread_ = std::thread([this] { Serve(); });
    }
    ~BodyServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/big.html"; }
    int Port() const { return port_; }

  private:
    void Serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                request.append(buf, static_cast<std::size_t>(n));
            }
            SendAll(c, head_.data(), head_.size());
            SendAll(c, body_.data(), body_.size());
            ::shutdown(c, SHUT_WR);
            while (::recv(c, buf, sizeof buf, 0) > 0) {
            }
            ::close(c);
        }
    }
    static void SendAll(int c, const char* p, std::size_t n) {
        while (n > 0) {
            const ssize_t k = ::send(c, p, n, MSG_NOSIGNAL);
            if (k <= 0)
                return;
            p += k;
            n -= static_cast<std::size_t>(k);
        }
    }

    std::string body_;
    std::string head_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, n, field) == 0)
            return std::stol(line.substr(n + 1));
    }
    return 0;
}

// Resets the resident high-water mark to the current resident size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void ReportPeak(benchmark::State& state, long peakExtraKiB, std::size_t body) {
    state.counters["peak_extra_MiB"] = static_cast<double>(peakExtraKiB) / 1024.0;
    state.counters["peak_ratio"] =
        static_cast<double>(peakExtraKiB) * 1024.0 / static_cast<double>(body);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body));
}

void BM_FetchPage(benchmark::State& state, bool withLength) {
    const auto body = static_cast<std::size_t>(state.range(0)) << 20;
    BodyServer server(body, withLength);
    long peakExtra = 0;
    for (auto _ : state) {
        const long before = StatusKiB("VmRSS:");
        ResetPeak();
        std::string page = FetchPage(server.Url(), 80);
        peakExtra = std::max(peakExtra, StatusKiB("VmHWM:") - before);
        if (page.size() != body)
            state.SkipWithError("short body");
        benchmark::DoNotOptimize(page.data());
    }
    ReportPeak(state, peakExtra, body);
}

void BM_FetchPageWithLength(benchmark::State& state) {
    BM_FetchPage(state, true);
}
void BM_FetchPageUntilClose(benchmark::State& state) {
    BM_FetchPage(state, false);
}

// The same bytes through a bare receive loop into a buffer of the final size:
// what the loopback itself allows.
void BM_PlainReceiveLoop(benchmark::State& state) {
    const auto body = static_cast<std::size_t>(state.range(0)) << 20;
    BodyServer server(body, true);
    long peakExtra = 0;
    for (auto _ : state) {
        const long before = StatusKiB("VmRSS:");
        ResetPeak();
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        const std::string request = "GET /big.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
        std::string all(body + 4096, '\0');
        std::size_t got = 0;
        for (;;) {
            const ssize_t n =
                ::recv(s, all.data() + got, std::min<std::size_t>(32768, all.size() - got), 0);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        ::close(s);
        peakExtra = std::max(peakExtra, StatusKiB("VmHWM:") - before);
        benchmark::DoNotOptimize(all.data());
    }
    ReportPeak(state, peakExtra, body);
}

}  // namespace

BENCHMARK(BM_FetchPageWithLength)
    ->Arg(1)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FetchPageUntilClose)
    ->Arg(1)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PlainReceiveLoop)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
