// bench-libs: corvane_history corvane_history_commands
// The survey history at a size a daily batch reaches in a few years: 10,000
// recorded surveys of 30 rows (300,000 rows), ten queries of 1,000 surveys
// each. Measures recording one more survey, listing, comparing a survey
// with its previous one, one host's rank series over 1,000 surveys, opening
// the file unchanged since its stamp and changed (which runs SQLite's quick
// check over the whole file), and opening plus listing as `corvane-cli
// history` does; the file size per survey is reported as counters of
// BM_DatabaseSize.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "history/history_commands.h"
#include "history/history_store.h"
#include "history/sqlite_db.h"
#include "history/survey_compare.h"

namespace {

using namespace corvane::history;

constexpr int kQueries = 10;
constexpr int kSurveysPerQuery = 1000;
constexpr int kRows = 30;

std::string QueryText(int q) {
    return "blue widget shop " + std::to_string(q);
}

// 30 rows drawn from a pool of 60 sites of the query, with figures of
// realistic lengths.
std::vector<HistoryRow> MakeRows(std::mt19937& random, int query) {
    std::vector<int> pool(60);
    for (int i = 0; i < 60; ++i)
        pool[static_cast<std::size_t>(i)] = i;
    std::shuffle(pool.begin(), pool.end(), random);
    std::vector<HistoryRow> rows;
    rows.reserve(kRows);
    for (int r = 0; r < kRows; ++r) {
        const int site = pool[static_cast<std::size_t>(r)];
        HistoryRow row;
        row.Host =
            "www.site" + std::to_string(site) + "-shop" + std::to_string(query) + ".example.com";
        const auto inbound = 1000 + random() % 900000;
        row.Figures = {std::to_string(r + 1), std::to_string(inbound),
                       std::to_string(random() % 300),
                       std::to_string(inbound / static_cast<unsigned>(r + 2)),
                       std::to_string(1 + random() % 5000000)};
        rows.push_back(std::move(row));
    }
    return rows;
}

SurveyInfo MakeInfo(int query, int day) {
    SurveyInfo info;
    info.Query = QueryText(query);
    info.ResultCount = kRows;
    const auto start = std::chrono::system_clock::time_point{} +
                       std::chrono::hours(24 * (19000 + day)) + std::chrono::minutes(query);
    info.StartedUtc = UtcTimestamp(start);
    info.EndedUtc = UtcTimestamp(start + std::chrono::minutes(3));
    return info;
}

// The populated file, built once for the whole run and removed at exit.
class Fixture {
  public:
    Fixture() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/cvhbench-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        folder_ = pattern;
        path_ = folder_ + "/history.sqlite";
        HistoryStore store(path_);
        std::mt19937 random(15);
        for (int day = 0; day < kSurveysPerQuery; ++day) {
            for (int q = 0; q < kQueries; ++q) {
                lastId_ = store.Record(MakeInfo(q, day), MakeRows(random, q));
            }
        }
        store.Connection().Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        struct stat st {};
        ::stat(path_.c_str(), &st);
        bytes_ = static_cast<double>(st.st_size);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& Path() const { return path_; }
    std::int64_t LastId() const { return lastId_; }
    double Bytes() const { return bytes_; }

  private:
    std::string folder_;
    std::string path_;
    std::int64_t lastId_ = 0;
    double bytes_ = 0;
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_DatabaseSize(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.Bytes());
    }
    const double surveys = kQueries * kSurveysPerQuery;
    state.counters["file_MiB"] = f.Bytes() / (1024.0 * 1024.0);
    state.counters["bytes_per_survey"] = f.Bytes() / surveys;
    state.counters["bytes_per_row"] = f.Bytes() / (surveys * kRows);
}
BENCHMARK(BM_DatabaseSize)->Iterations(1);

void BM_RecordSurvey(benchmark::State& state) {
    HistoryStore store(Shared().Path());
    std::mt19937 random(7);
    int day = kSurveysPerQuery;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.Record(MakeInfo(0, day++), MakeRows(random, 0)));
    }
    // Leave the file as the other benchmarks expect it.
    store.Connection().Exec("DELETE FROM surveys WHERE id > " + std::to_string(Shared().LastId()));
}
BENCHMARK(BM_RecordSurvey)->Unit(benchmark::kMillisecond);

// Every survey, newest first, read from the file.
void BM_ListAll(benchmark::State& state) {
    HistoryStore store(Shared().Path());
    for (auto _ : state) {
        const std::vector<SurveyInfo> list = store.List();
        if (list.size() != kQueries * kSurveysPerQuery)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(BM_ListAll)->Unit(benchmark::kMillisecond);

// The list command printing every survey of one query (1,000 lines).
void BM_ListCommandFiltered(benchmark::State& state) {
    HistoryStore store(Shared().Path());
    for (auto _ : state) {
        std::ostringstream out;
        ListSurveys(store, {"shop 3", std::nullopt}, out);
        benchmark::DoNotOptimize(out.str().size());
    }
}
BENCHMARK(BM_ListCommandFiltered)->Unit(benchmark::kMillisecond);

// The list command printing all 10,000 surveys.
void BM_ListCommandAll(benchmark::State& state) {
    HistoryStore store(Shared().Path());
    for (auto _ : state) {
        std::ostringstream out;
        ListSurveys(store, {}, out);
        benchmark::DoNotOptimize(out.str().size());
    }
}
BENCHMARK(BM_ListCommandAll)->Unit(benchmark::kMillisecond);

// The newest survey against the previous one of its query: the look-up,
// both surveys read, the pairing and the printed table.
void BM_Compare(benchmark::State& state) {
    HistoryStore store(Shared().Path());
    const std::int64_t id = Shared().LastId();
    for (auto _ : state) {
        std::ostringstream out;
        CompareSurveyIds(store, {std::nullopt, id, ""}, out);
        benchmark::DoNotOptimize(out.str().size());
    }
}
BENCHMARK(BM_Compare)->Unit(benchmark::kMillisecond);

// One host through all 1,000 surveys of its query.
void BM_RankSeries(benchmark::State& state) {
    HistoryStore store(Shared().Path());
    const std::string host = "www.site7-shop4.example.com";
    for (auto _ : state) {
        const std::vector<RankPoint> series = store.RankSeries(
            host, QueryText(4), corvane::engine::SurveyMode::Keyword, kClassicProfile);
        if (series.size() != kSurveysPerQuery)
            state.SkipWithError("wrong series length");
        benchmark::DoNotOptimize(series.data());
    }
}
BENCHMARK(BM_RankSeries)->Unit(benchmark::kMillisecond);

// An opening that checks the file when its stamp does not speak for it
// and stamps it: the openings after it find it unchanged.
void OpenOnce(const std::string& path) {
    const HistoryStore store(path);
}

// Opening the file as every command does, unchanged since it was last
// found sound: the stamp spares the quick check.
void BM_Open(benchmark::State& state) {
    const std::string& path = Shared().Path();
    OpenOnce(path);
    for (auto _ : state) {
        HistoryStore store(path);
        if (store.CheckedWholeFile())
            state.SkipWithError("checked an unchanged file");
        benchmark::DoNotOptimize(store.Notice().size());
    }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

// Opening the file with no stamp that speaks for it (changed by another
// program, or the first opening): SQLite's quick check reads it whole.
void BM_OpenWithCheck(benchmark::State& state) {
    const std::string& path = Shared().Path();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(SoundStampPath(path));
        state.ResumeTiming();
        HistoryStore store(path);
        if (!store.CheckedWholeFile())
            state.SkipWithError("did not check");
        benchmark::DoNotOptimize(store.Notice().size());
    }
}
BENCHMARK(BM_OpenWithCheck)->Unit(benchmark::kMillisecond);

// What `corvane-cli history` pays: opening the unchanged file, printing
// all 10,000 surveys and closing.
void BM_OpenAndListCommand(benchmark::State& state) {
    const std::string& path = Shared().Path();
    OpenOnce(path);
    for (auto _ : state) {
        HistoryStore store(path);
        std::ostringstream out;
        ListSurveys(store, {}, out);
        benchmark::DoNotOptimize(out.str().size());
    }
}
BENCHMARK(BM_OpenAndListCommand)->Unit(benchmark::kMillisecond);

// Opening the unchanged file, recording one survey and closing, as a survey
// of the command line does.
void BM_OpenAndRecord(benchmark::State& state) {
    const std::string& path = Shared().Path();
    OpenOnce(path);
    std::mt19937 random(9);
    int day = kSurveysPerQuery;
    for (auto _ : state) {
        HistoryStore store(path);
        benchmark::DoNotOptimize(store.Record(MakeInfo(1, day++), MakeRows(random, 1)));
    }
    // Leave the file as the other benchmarks expect it.
    HistoryStore(path).Connection().Exec("DELETE FROM surveys WHERE id > " +
                                         std::to_string(Shared().LastId()));
}
BENCHMARK(BM_OpenAndRecord)->Unit(benchmark::kMillisecond);

}  // namespace
