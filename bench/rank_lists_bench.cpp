// Rank lists at full size: importing a synthetic 1M-row Tranco list (CSV
// and zip) and Majestic Million, opening both indexes as a survey does at
// start-up, and looking hosts up (found as such, found by their registrable
// domain, not found).
// bench-libs: corvane_lists zip
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "lists/list_store.h"
#include "lists/rank_lists.h"

namespace {

using corvane::lists::ImportContent;
using corvane::lists::RankLists;

constexpr int kRows = 1000000;
// The benchmark's folder, removed at exit.
std::string gFolder;

const char* const kSuffixes[] = {"com", "org", "net", "de", "co.uk", "io", "fr", "com.au"};

// Domains that look like a real list's: varied lengths, a few suffixes.
std::string DomainOf(int i) {
    static const char* const words[] = {"shop",  "news", "garden", "tools", "cloud",
                                        "media", "bank", "travel", "data",  "games"};
    const auto u = static_cast<unsigned>(i);
    return std::string(words[u % 10]) + std::to_string(u * 2654435761u % 100000007u) +
           words[(u / 10) % 10] + "." + kSuffixes[u % 8];
}

struct Data {
    std::string Folder;
    std::string TrancoCsv, TrancoZip, MajesticCsv;
    std::vector<std::string> Hosts;  // a third each: exact, below a listed domain, unlisted
};

std::string ZipOf(const std::string& folder, const std::string& csv) {
    const std::string path = folder + "/top-1m.csv.zip";
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr)
        throw std::runtime_error("zip_open");
    zip_source_t* source = zip_source_buffer(archive, csv.data(), csv.size(), 0);
    if (zip_file_add(archive, "top-1m.csv", source, 0) < 0 || zip_close(archive) != 0)
        throw std::runtime_error("zip");
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Data& Lists() {
    static const Data data = [] {
        Data d;
        char tmpl[] = "/tmp/corvane-lists-bench-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr)
            throw std::runtime_error("mkdtemp");
        d.Folder = tmpl;
        gFolder = d.Folder;
        d.MajesticCsv =
            "GlobalRank,TldRank,Domain,TLD,RefSubNets,RefIPs,IDN_Domain,IDN_TLD,PrevGlobalRank,"
            "PrevTldRank,PrevRefSubNets,PrevRefIPs\n";
        for (int i = 1; i <= kRows; ++i) {
            const std::string domain = DomainOf(i);
            const std::string rank = std::to_string(i);
            const std::string subnets = std::to_string(400000 / i + 1);
            d.TrancoCsv += rank + "," + domain + "\r\n";
            d.MajesticCsv += rank + "," + rank + "," + domain + ",com," + subnets + "," + subnets +
                             "," + domain + ",com," + rank + "," + rank + "," + subnets + "," +
                             subnets + "\n";
        }
        d.TrancoZip = ZipOf(d.Folder, d.TrancoCsv);
        std::mt19937 random(7);
        for (int i = 0; i < 3000; ++i) {
            const int row = static_cast<int>(random() % kRows) + 1;
            switch (i % 3) {
                case 0:
                    d.Hosts.push_back(DomainOf(row));
                    break;
                case 1:
                    d.Hosts.push_back("www.blog." + DomainOf(row));
                    break;
                default:
                    d.Hosts.push_back("unlisted" + std::to_string(row) + ".example.org");
            }
        }
        ImportContent(d.TrancoZip, d.Folder, "bench");
        ImportContent(d.MajesticCsv, d.Folder, "bench");
        return d;
    }();
    return data;
}

void ImportBench(benchmark::State& state, const std::string& content) {
    const std::string folder = Lists().Folder + "/import";
    for (auto _ : state) {
        const auto report = ImportContent(content, folder, "bench");
        benchmark::DoNotOptimize(report.Rows);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(content.size()));
    state.counters["rows"] = kRows;
}

void BM_ImportTrancoCsv1M(benchmark::State& state) {
    ImportBench(state, Lists().TrancoCsv);
}
BENCHMARK(BM_ImportTrancoCsv1M)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportTrancoZip1M(benchmark::State& state) {
    ImportBench(state, Lists().TrancoZip);
}
BENCHMARK(BM_ImportTrancoZip1M)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportMajesticCsv1M(benchmark::State& state) {
    ImportBench(state, Lists().MajesticCsv);
}
BENCHMARK(BM_ImportMajesticCsv1M)->Unit(benchmark::kMillisecond)->Iterations(3);

// A survey's start-up: both 1M-row indexes mapped and checked.
void BM_OpenBothLists(benchmark::State& state) {
    const std::string folder = Lists().Folder;
    for (auto _ : state) {
        const RankLists lists = RankLists::Open(folder);
        if (!lists.Has(corvane::lists::ListKind::Tranco) ||
            !lists.Has(corvane::lists::ListKind::Majestic))
            state.SkipWithError("a list is missing");
        benchmark::DoNotOptimize(lists);
    }
}
BENCHMARK(BM_OpenBothLists)->Unit(benchmark::kMillisecond);

// One host's two figures, as a survey row asks for them.
void BM_LookUpHost(benchmark::State& state) {
    const Data& d = Lists();
    const RankLists lists = RankLists::Open(d.Folder);
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const std::string& host = d.Hosts[i++ % d.Hosts.size()];
        found += lists.TrafficRank(host).has_value() ? 1u : 0u;
        found += lists.RefSubNets(host).has_value() ? 1u : 0u;
    }
    benchmark::DoNotOptimize(found);
    state.counters["found"] =
        benchmark::Counter(static_cast<double>(found) / 2, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LookUpHost)->Unit(benchmark::kMicrosecond);

struct RemoveFolder {
    ~RemoveFolder() {
        std::error_code ec;
        if (!gFolder.empty())
            std::filesystem::remove_all(gFolder, ec);
    }
} removeFolder;

}  // namespace
