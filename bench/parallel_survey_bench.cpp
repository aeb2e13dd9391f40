// A 30-result keyword survey on the demo web with 50 ms of latency per
// answer, every page through the demo web as the HTTP proxy: the serial run
// against the parallel run at several jobs and per-host limits, the parallel
// run with and without its pool of kept-alive connections. Wall time per
// survey, plus the requests made, the connections opened for them and how
// far the process's resident high-water mark rose during the run
// (peak_extra_KiB).
//
// The demo web runs in this process unless CORVANE_DEMO_PORT names the port
// of one already running (`corvane-demo-web --latency-ms 50`), which keeps
// its memory out of the figures.
// bench-libs: corvane_frontend corvane_demo
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "demo/demo_web.h"
#include "engine/survey_run.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/scheduled_survey.h"

namespace {

using namespace corvane;

constexpr int kLatencyMs = 50;
constexpr const char* kKeyword = "mountain bikes";
constexpr std::int32_t kResults = 30;

int DemoPort() {
    static std::unique_ptr<demo::DemoWeb> web;
    static int port = [] {
        if (const char* given = std::getenv("CORVANE_DEMO_PORT"))
            return std::atoi(given);
        web = std::make_unique<demo::DemoWeb>();
        return web->Start(0, kLatencyMs);
    }();
    return port;
}

net::FetchOptions ThroughDemo() {
    net::FetchOptions o;
    o.ProxyHost = demo::DemoWeb::kHost;
    o.ProxyPort = DemoPort();
    return o;
}

long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == key) {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

class ProxyHost : public engine::SurveyHost {
  public:
    void ShowStatus(const std::string&) override {}
    void PumpMessages() override {}
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string& url, int port) override {
        ++requests;
        return net::FetchPage(url, port, options_);
    }
    engine::ResultsTable& Table() override { return table; }
    std::atomic<bool>& Stop() override { return stop; }

    engine::ResultsTable table;
    std::atomic<bool> stop{false};
    int requests = 0;

  private:
    net::FetchOptions options_ = ThroughDemo();
};

void Report(benchmark::State& state, long peakExtraKiB, int requests, std::size_t rows,
            std::uint64_t connections) {
    state.counters["peak_extra_KiB"] = static_cast<double>(peakExtraKiB);
    state.counters["requests"] = requests;
    state.counters["connections"] = static_cast<double>(connections);
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_SerialSurvey(benchmark::State& state) {
    DemoPort();
    long peak = 0;
    int requests = 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        ProxyHost host;
        ResetPeak();
        const long before = StatusKiB("VmHWM:");
        engine::RunSurvey(host, kKeyword, kResults, 0, engine::SurveyMode::Keyword);
        peak = std::max(peak, StatusKiB("VmHWM:") - before);
        requests = host.requests;
        rows = host.table.Count();
    }
    // Every fetch of the serial road opens a connection of its own.
    Report(state, peak, requests, rows, static_cast<std::uint64_t>(requests));
}
BENCHMARK(BM_SerialSurvey)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Arguments: jobs, per-host, whether the fetches use the run's pool of
// kept-alive connections.
void BM_ParallelSurvey(benchmark::State& state) {
    DemoPort();
    const frontend::SchedulerLimits limits{static_cast<int>(state.range(0)),
                                           static_cast<int>(state.range(1))};
    const bool pooled = state.range(2) != 0;
    long peak = 0;
    std::atomic<int> requests{0};
    std::size_t rows = 0;
    std::uint64_t connections = 0;
    for (auto _ : state) {
        requests = 0;
        engine::ResultsTable table;
        frontend::FetchScheduler scheduler(
            limits, [&, options = ThroughDemo()](const std::string& url, int port,
                                                 frontend::FetchContext& context) {
                ++requests;
                net::FetchOptions o = options;
                o.Cancel = &context;
                o.Pool = pooled ? &context.Pool() : nullptr;
                return net::FetchPage(url, port, o);
            });
        ResetPeak();
        const long before = StatusKiB("VmHWM:");
        frontend::RunScheduledSurvey(table, scheduler, engine::ServiceEndpoints{}, kKeyword,
                                     kResults, 0, engine::SurveyMode::Keyword);
        peak = std::max(peak, StatusKiB("VmHWM:") - before);
        rows = table.Count();
        connections = pooled ? scheduler.ConnectionCounts().Opened
                             : static_cast<std::uint64_t>(requests.load());
    }
    Report(state, peak, requests, rows, connections);
}
BENCHMARK(BM_ParallelSurvey)
    ->ArgsProduct({{1}, {1}, {0, 1}})
    ->ArgsProduct({{8}, {2, 8}, {0, 1}})
    ->ArgsProduct({{32}, {2, 32}, {0, 1}})
    ->ArgNames({"jobs", "per_host", "pool"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
