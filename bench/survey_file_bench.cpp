// bench-libs: corvane_engine
// Survey files of 2,000 rows: loading (read, index, fill the table) and
// saving (format, write, flush to disk, rename), and the parts of each.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/results_table.h"
#include "engine/survey_file.h"
#include "platform/profile_reader.h"

namespace {

using namespace corvane::engine;

void FillSurvey(ResultsTable& table, int rows) {
    table.Clear();
    for (int i = 0; i < rows; ++i) {
        const RowHandle h = table.Append();
        const bool kept =
            table.SetCaption(h, "www.site-number-" + std::to_string(i) + ".example.com") &&
            table.AppendCell(h, std::to_string(i + 1)) &&
            table.AppendCell(h, std::to_string((i * 7919) % 100000)) &&
            table.AppendCell(h, std::to_string(i % 250)) &&
            table.AppendCell(h, std::to_string((i * 31) % 5000)) &&
            table.AppendCell(h, i % 10 == 0 ? "999999999" : std::to_string(i * 113)) &&
            table.SetChecked(h, i % 3 == 0);
        if (!kept) {
            throw std::logic_error("survey bench: a row was lost while the table was filled");
        }
    }
}

// A folder of the benchmark's own, removed at the end.
struct Folder {
    Folder() {
        char tmpl[] = "/tmp/corvane-bench-XXXXXX";
        path = ::mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~Folder() {
        if (path != "/tmp")
            std::filesystem::remove_all(path);
    }
    std::string path;
};

void BM_LoadSurvey2000(benchmark::State& state) {
    Folder folder;
    const std::string file = folder.path + "/survey.cvn";
    ResultsTable table;
    FillSurvey(table, 2000);
    SaveSurvey(table, file);
    for (auto _ : state) {
        LoadSurvey(table, file);
        benchmark::DoNotOptimize(table.Count());
    }
    state.counters["rows"] = static_cast<double>(table.Count());
}
BENCHMARK(BM_LoadSurvey2000)->Unit(benchmark::kMillisecond);

void BM_SaveSurvey2000(benchmark::State& state) {
    Folder folder;
    const std::string file = folder.path + "/survey.cvn";
    ResultsTable table;
    FillSurvey(table, 2000);
    for (auto _ : state) {
        SaveSurvey(table, file);
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}
BENCHMARK(BM_SaveSurvey2000)->Unit(benchmark::kMillisecond);

// The parts without the disk: formatting the text, and indexing it plus
// filling the table.
void BM_FormatSurvey2000(benchmark::State& state) {
    ResultsTable table;
    FillSurvey(table, 2000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatSurvey(table));
    }
}
BENCHMARK(BM_FormatSurvey2000)->Unit(benchmark::kMillisecond);

void BM_ReadSurvey2000(benchmark::State& state) {
    ResultsTable table;
    FillSurvey(table, 2000);
    const std::string text = FormatSurvey(table);
    for (auto _ : state) {
        corvane::platform::ProfileFile profile;
        profile.Parse(text);
        ReadSurvey(table, profile);
        benchmark::DoNotOptimize(table.Count());
    }
}
BENCHMARK(BM_ReadSurvey2000)->Unit(benchmark::kMillisecond);

}  // namespace
