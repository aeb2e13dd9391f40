// bench-libs: corvane_engine
// A column click on a large results table: sorting by the inbound-links
// column (integers, largest first), to see the n log n growth.
#include <benchmark/benchmark.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ordering.h"
#include "engine/results_table.h"

namespace {

using namespace corvane::engine;

void BM_SortByInboundLinks(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::mt19937 rng(17);
    std::vector<std::string> inbound(n);
    for (std::string& s : inbound)
        s = std::to_string(rng() % 100000000);
    ResultsTable table;
    for (auto _ : state) {
        state.PauseTiming();
        table.Clear();
        for (std::size_t i = 0; i < n; ++i) {
            const RowHandle h = table.Append();
            if (!table.SetCaption(h, "host") || !table.AppendCell(h, std::to_string(i + 1)) ||
                !table.AppendCell(h, inbound[i])) {
                throw std::logic_error("ordering bench: a row was lost while the table was filled");
            }
        }
        state.ResumeTiming();
        ListView1ColumnClick(table, 2);
    }
    state.SetComplexityN(static_cast<benchmark::IterationCount>(n));
}
BENCHMARK(BM_SortByInboundLinks)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace
