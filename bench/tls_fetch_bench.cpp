// A GET of a 64 MiB file from nginx on loopback with the HTTP client: over
// TLS through the secure channel (connect, handshake and body in every
// iteration), and over plain HTTP from the same kind of server for the cost
// of the channel itself. The body goes into a sink that keeps only a count,
// so the figures are the transfer's, not a buffer's growth.
// bench-libs: corvane_net corvane_test_support
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/tls_channel.h"
#include "tests/support/test_pki.h"
#include "tests/support/tls_servers.h"
#include "tests/support/web_servers.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

constexpr std::size_t kBody = 64u * 1024 * 1024;

// Receives into one reused buffer and counts the bytes.
class CountingSink : public TNetStream {
  public:
    std::int64_t Size() const override { return size_; }
    void SetSize(std::int64_t size) override { size_ = size; }
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position; }
    std::size_t Write(const void*, std::size_t count) override {
        Advance(count);
        return count;
    }
    std::size_t Read(void*, std::size_t) override { return 0; }
    char* WriteSpan(std::size_t count) override {
        if (scratch_.size() < count)
            scratch_.resize(count);
        return scratch_.data();
    }
    void CommitWrite(std::size_t filled) override { Advance(filled); }

  private:
    void Advance(std::size_t count) {
        position_ += static_cast<std::int64_t>(count);
        if (position_ > size_)
            size_ = position_;
    }
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::vector<char> scratch_;
};

std::string Body() {
    std::string body(kBody, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + (i * 7) % 26);
    return body;
}

void Fetch(benchmark::State& state, TNetHTTP& http, const std::string& url) {
    CountingSink sink;
    http.SendGet(url, &sink);
    if (http.StatusCode() != 200 || sink.Size() != static_cast<std::int64_t>(kBody)) {
        state.SkipWithError("short or failed transfer");
    }
}

void BM_TlsGet64MiB(benchmark::State& state) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    nginx.AddFile("big.bin", Body());
    const std::string url = nginx.Url(TestCert::Valid, "/big.bin");
    for (auto _ : state) {
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.RootFile();
        TNetHTTP http;
        http.SetIntercept(&channel);
        Fetch(state, http, url);
        state.counters["protocol_is_1_3"] = channel.ProtocolVersion() == "TLSv1.3" ? 1 : 0;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kBody));
}
BENCHMARK(BM_TlsGet64MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_PlainGet64MiB(benchmark::State& state) {
    NginxServer nginx;
    nginx.AddFile("big.bin", Body());
    const std::string url = nginx.Url("/big.bin");
    for (auto _ : state) {
        TNetHTTP http;
        Fetch(state, http, url);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kBody));
}
BENCHMARK(BM_PlainGet64MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
