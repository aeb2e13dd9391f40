// bench-libs: corvane_engine
// Scanning speed of the survey engine: counting anchors on large home pages
// and walking a results page with many entries.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>

#include "engine/site_figures.h"
#include "engine/survey_run.h"

namespace {

using namespace corvane::engine;

// glibc serves blocks above its mmap threshold (which grows only up to 32 MiB)
// with fresh mappings, so every 50 MB page copy would pay ~12,800 page faults
// while a 5 MB one reuses warm heap. Serving both from the heap keeps the
// comparison about the scan, not the allocator.
const int kHeapForLargeBlocks =
    (mallopt(M_MMAP_THRESHOLD, 1 << 30), mallopt(M_TRIM_THRESHOLD, 1 << 30), 0);

// Hands out one prepared page for every fetch.
class OnePageHost : public SurveyHost {
  public:
    explicit OnePageHost(const std::string& page) : page_(page) {}
    void ShowStatus(const std::string&) override {}
    void PumpMessages() override {}
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string&, int) override { return page_; }
    ResultsTable& Table() override { return table_; }
    std::atomic<bool>& Stop() override { return stop_; }

  private:
    const std::string& page_;
    ResultsTable table_;
    std::atomic<bool> stop_{false};
};

// A home page of about `bytes` bytes with an anchor about every 50 bytes,
// every other one absolute.
std::string HomePage(std::size_t bytes) {
    std::string page;
    page.reserve(bytes + 64);
    for (std::size_t i = 0; page.size() < bytes; ++i) {
        page += (i % 2 == 0) ? "<A HREF=\"http://site.com/p\">Link</a> text "
                             : "<a href=\"/local/p\">Link</a> texts ";
    }
    return page;
}

void BM_OutboundLinks(benchmark::State& state) {
    const std::string page = HomePage(static_cast<std::size_t>(state.range(0)) << 20);
    OnePageHost host(page);
    for (auto _ : state) {
        benchmark::DoNotOptimize(OutboundLinks(host, "example.com"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_OutboundLinks)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);

// The scan alone, on a page already in memory.
void BM_CountAbsoluteAnchors(benchmark::State& state) {
    const std::string page = HomePage(static_cast<std::size_t>(state.range(0)) << 20);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CountAbsoluteAnchors(page));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_CountAbsoluteAnchors)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);

// The walk over a results page alone: every figure fetch gets an empty page.
class ResultsHost : public OnePageHost {
  public:
    using OnePageHost::OnePageHost;
    std::string FetchPage(const std::string&, int) override { return std::string(); }
};

void BM_ParseResults(benchmark::State& state) {
    std::string page = "<p>Results 1 - 10 of about <b>1,000,000</b></p><ol>";
    for (int i = 0; i < state.range(0); ++i) {
        const std::string url = "http://www.site" + std::to_string(i) + ".com/page.html";
        page += "<li><div><a href=\"" + url +
                "\">A result</a></div><p>Some words about it.</p><em class=url>" + url +
                "</em></li>\n";
    }
    ResultsHost host(page);
    for (auto _ : state) {
        ParseResults(host, page, 0);
        benchmark::DoNotOptimize(host.Table().Count());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_ParseResults)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
