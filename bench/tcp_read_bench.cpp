// bench-libs: corvane_net
// Reading from a loopback peer: ReadToStream against a plain recv loop with
// the same 32 KiB buffer, and ReadLine over many short lines and over long
// lines that arrive in small pieces.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/tcp_client.h"

using namespace corvane::net;

namespace {

constexpr std::int64_t kBulkBytes = 256ll * 1024 * 1024;
constexpr int kBufferSize = 32768;

// Accepts one connection on 127.0.0.1 and sends either a payload or `count`
// pattern bytes, then closes.
class Sender {
  public:
    Sender(std::string payload, std::int64_t count) : payload_(std::move(payload)), count_(count) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(listen_, 1);
        thread_ = std::thread([this] { Run(); });
    }
    ~Sender() {
        thread_.join();
        ::close(listen_);
    }
    int Port() const { return port_; }

  private:
    void Run() {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        if (!payload_.empty()) {
            SendAll(fd, payload_.data(), payload_.size());
        } else {
            std::string block(65536, 'x');
            for (std::int64_t left = count_; left > 0;) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, 65536));
                if (!SendAll(fd, block.data(), n))
                    break;
                left -= static_cast<std::int64_t>(n);
            }
        }
        ::shutdown(fd, SHUT_WR);
        char sink[256];
        while (::recv(fd, sink, sizeof sink, 0) > 0) {
        }
        ::close(fd);
    }
    static bool SendAll(int fd, const char* p, std::size_t n) {
        while (n > 0) {
            const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
            if (k <= 0)
                return false;
            p += k;
            n -= static_cast<std::size_t>(k);
        }
        return true;
    }

    std::string payload_;
    std::int64_t count_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Keeps size and position, stores nothing: measures the connection alone.
class DiscardStream : public TNetStream {
  public:
    std::int64_t Size() const override { return size_; }
    void SetSize(std::int64_t size) override {
        size_ = size;
        position_ = std::min(position_, size_);
    }
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position; }
    std::size_t Write(const void*, std::size_t count) override {
        position_ += static_cast<std::int64_t>(count);
        size_ = std::max(size_, position_);
        return count;
    }
    std::size_t Read(void*, std::size_t) override { return 0; }

  private:
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
};

void BM_PlainRecvLoop(benchmark::State& state) {
    std::vector<char> buffer(kBufferSize);
    for (auto _ : state) {
        Sender sender(std::string(), kBulkBytes);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(sender.Port()));
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        std::int64_t total = 0;
        while (total < kBulkBytes) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            total += n;
        }
        ::close(fd);
        if (total != kBulkBytes)
            state.SkipWithError("short read");
    }
    state.SetBytesProcessed(state.iterations() * kBulkBytes);
}
BENCHMARK(BM_PlainRecvLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

template <class Stream>
void ReadToStreamRun(benchmark::State& state) {
    for (auto _ : state) {
        Sender sender(std::string(), kBulkBytes);
        TNetTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = sender.Port();
        client.OpenConnection();
        Stream destination;
        client.ReadToStream(destination, static_cast<std::int32_t>(kBulkBytes));
        if (destination.Size() != kBulkBytes)
            state.SkipWithError("short read");
    }
    state.SetBytesProcessed(state.iterations() * kBulkBytes);
}

void BM_ReadToStream(benchmark::State& state) {
    ReadToStreamRun<DiscardStream>(state);
}
BENCHMARK(BM_ReadToStream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

// The same into memory (a 256 MB pre-sized memory stream: page faults included).
void BM_ReadToMemoryStream(benchmark::State& state) {
    ReadToStreamRun<TNetMemoryStream>(state);
}
BENCHMARK(BM_ReadToMemoryStream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReadLineShortLines(benchmark::State& state) {
    const auto lines = static_cast<std::int64_t>(state.range(0));
    std::string payload;
    for (std::int64_t i = 0; i < lines; ++i)
        payload += "line " + std::to_string(i) + "\r\n";
    for (auto _ : state) {
        Sender sender(payload, 0);
        TNetTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = sender.Port();
        client.OpenConnection();
        std::int64_t read = 0;
        for (std::int64_t i = 0; i < lines; ++i)
            read += static_cast<std::int64_t>(client.ReadLine().size()) + 2;
        if (read != static_cast<std::int64_t>(payload.size()))
            state.SkipWithError("lines lost");
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetComplexityN(lines);
}
BENCHMARK(BM_ReadLineShortLines)
    ->RangeMultiplier(2)
    ->Range(125000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

// Long lines received 512 bytes at a time: each line takes hundreds of
// receives, so a search that started over after every receive would be
// quadratic in the line length.
void BM_ReadLineLongLine(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    constexpr int kLines = 16;
    std::string payload;
    for (int i = 0; i < kLines; ++i)
        payload += std::string(length, 'a') + "\r\n";
    for (auto _ : state) {
        Sender sender(payload, 0);
        TNetTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = sender.Port();
        client.SetRecvBufferSize(512);
        client.OpenConnection();
        for (int i = 0; i < kLines; ++i) {
            if (client.ReadLine().size() != length)
                state.SkipWithError("wrong line");
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(payload.size()));
    state.SetComplexityN(static_cast<std::int64_t>(length));
}
BENCHMARK(BM_ReadLineLongLine)
    ->RangeMultiplier(2)
    ->Range(12800, 102400)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

}  // namespace
