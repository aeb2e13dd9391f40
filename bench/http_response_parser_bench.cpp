// Throughput of the response parser alone: a 64 MiB body announced by length,
// sent in chunks of a given size, or running to the close, fed in pieces of
// 64 KiB as a receive loop would hand them over. The body sink copies the
// bytes into room made for the whole body, as a page fetch does; the plain
// copy of the same pieces is the reference.
// bench-libs: corvane_net
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "net/http_response_parser.h"

using namespace corvane::net;

namespace {

constexpr std::size_t kBody = std::size_t{64} << 20;
constexpr std::size_t kPiece = 64 * 1024;

std::string BodyBytes() {
    std::string body(kBody, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    return body;
}

std::string Counted() {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(kBody) + "\r\n\r\n" + BodyBytes();
}

std::string Chunked(std::size_t chunk) {
    const std::string body = BodyBytes();
    std::string wire =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n";
    wire.reserve(body.size() + body.size() / chunk * 12 + 64);
    char line[32];
    for (std::size_t at = 0; at < body.size(); at += chunk) {
        const std::size_t n = std::min(chunk, body.size() - at);
        std::snprintf(line, sizeof line, "%zx\r\n", n);
        wire += line;
        wire.append(body, at, n);
        wire += "\r\n";
    }
    return wire + "0\r\n\r\n";
}

void Parse(benchmark::State& state, const std::string& wire, TNetHTTPReadPolicy policy,
           bool untilClose) {
    TNetHTTPResponseParser parser(policy);
    parser.MaxBodySize = static_cast<std::int64_t>(kBody);
    std::string sink(kBody, '\0');
    std::size_t bodyBytes = 0;
    parser.OnBody = [&](const char* data, std::size_t n) {
        std::memcpy(sink.data() + bodyBytes, data, n);
        bodyBytes += n;
    };
    for (auto _ : state) {
        parser.Reset();
        bodyBytes = 0;
        TNetHTTPParseStatus status = TNetHTTPParseStatus::NeedMore;
        for (std::size_t at = 0; at < wire.size();) {
            const TNetHTTPParseResult r =
                parser.Put(wire.data() + at, std::min(kPiece, wire.size() - at));
            at += r.Consumed;
            status = r.Status;
            if (status == TNetHTTPParseStatus::MessageDone || status == TNetHTTPParseStatus::Error)
                break;
        }
        if (untilClose)
            status = parser.Finish().Status;
        if (status != TNetHTTPParseStatus::MessageDone || bodyBytes != kBody)
            state.SkipWithError("bad parse");
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}

void BM_ParseCounted(benchmark::State& state) {
    static const std::string wire = Counted();
    Parse(state, wire, state.range(0) == 0 ? rpClassic : rpModern, false);
}

void BM_ParseChunked(benchmark::State& state) {
    const std::string wire = Chunked(static_cast<std::size_t>(state.range(1)));
    Parse(state, wire, state.range(0) == 0 ? rpClassic : rpModern, false);
}

void BM_ParseUntilClose(benchmark::State& state) {
    static const std::string wire =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + BodyBytes();
    Parse(state, wire, rpClassic, true);
}

// The same bytes copied piece by piece without parsing.
void BM_CopyOnly(benchmark::State& state) {
    static const std::string wire = Counted();
    std::string sink(wire.size(), '\0');
    for (auto _ : state) {
        for (std::size_t at = 0; at < wire.size(); at += kPiece) {
            std::memcpy(sink.data() + at, wire.data() + at, std::min(kPiece, wire.size() - at));
        }
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}

}  // namespace

// Argument 0: classic policy, 1: modern; the second argument of the chunked
// case is the chunk size.
BENCHMARK(BM_ParseCounted)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseChunked)
    ->Args({0, 16384})
    ->Args({1, 16384})
    ->Args({0, 1024})
    ->Args({1, 1024})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseUntilClose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOnly)->Unit(benchmark::kMillisecond);
