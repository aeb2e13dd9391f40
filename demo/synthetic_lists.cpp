#include "demo/synthetic_lists.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace corvane::demo {

namespace {

constexpr std::int64_t kTopSites = 1000000;
// The date the demo lists carry inside the zip: 2026-01-01 00:00 UTC.
constexpr std::time_t kListTime = 1767225600;

std::string LastLabel(std::string_view domain) {
    const auto dot = domain.rfind('.');
    return std::string(dot == std::string_view::npos ? domain : domain.substr(dot + 1));
}

// Owns a libzip source and gives it up on every path out.
struct SourceGuard {
    zip_source_t* Source = nullptr;
    ~SourceGuard() {
        if (Source != nullptr)
            zip_source_free(Source);
    }
};

[[noreturn]] void ZipFailure(const char* step, zip_error_t* error) {
    const std::string message = std::string("demo web: cannot make the list's zip (") + step +
                                "): " + zip_error_strerror(error);
    zip_error_fini(error);
    throw std::runtime_error(message);
}

}  // namespace

std::string RegistrableDomainOf(const SyntheticWeb& web, std::uint32_t site) {
    const std::string& host = web.HostOf(site);
    // The population's hosts are [prefix.]name.suffix, the name without a
    // dot; "co.uk" is the only suffix of two labels.
    const std::size_t labels = host.ends_with(".co.uk") ? 3 : 2;
    std::size_t at = host.size();
    for (std::size_t seen = 0; seen < labels && at != std::string::npos; ++seen)
        at = at == 0 ? std::string::npos : host.rfind('.', at - 1);
    return at == std::string::npos ? host : host.substr(at + 1);
}

std::string TrancoListCsv(const SyntheticWeb& web) {
    std::vector<std::pair<std::int64_t, std::string>> ranked;
    for (std::uint32_t site = 0; site < web.SiteCount(); ++site) {
        const auto rank = web.TrafficRank(web.HostOf(site));
        if (rank && *rank <= kTopSites)
            ranked.emplace_back(*rank, RegistrableDomainOf(web, site));
    }
    std::sort(ranked.begin(), ranked.end());
    std::string csv;
    csv.reserve(ranked.size() * 28);
    std::int64_t previous = 0;
    for (const auto& [rank, domain] : ranked) {
        // Ranks are distinct: a shared one goes to the next free place.
        const std::int64_t r = std::max(rank, previous + 1);
        if (r > kTopSites)
            break;
        csv += std::to_string(r) + "," + domain + "\r\n";
        previous = r;
    }
    return csv;
}

std::string TrancoListZip(const SyntheticWeb& web) {
    const std::string csv = TrancoListCsv(web);
    zip_error_t error;
    zip_error_init(&error);
    SourceGuard archive;
    archive.Source = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (archive.Source == nullptr)
        ZipFailure("buffer", &error);
    zip_t* zip = zip_open_from_source(archive.Source, ZIP_TRUNCATE, &error);
    if (zip == nullptr)
        ZipFailure("open", &error);
    // The buffer outlives the archive's closing, which writes it.
    zip_source_keep(archive.Source);

    zip_source_t* file = zip_source_buffer(zip, csv.data(), csv.size(), 0);
    const zip_int64_t index =
        file == nullptr ? -1 : zip_file_add(zip, "top-1m.csv", file, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        if (file != nullptr)
            zip_source_free(file);
        zip_error_set(&error, zip_error_code_zip(zip_get_error(zip)),
                      zip_error_code_system(zip_get_error(zip)));
        zip_discard(zip);
        ZipFailure("add", &error);
    }
    const auto entry = static_cast<zip_uint64_t>(index);
    if (zip_file_set_mtime(zip, entry, kListTime, 0) != 0 ||
        zip_set_file_compression(zip, entry, ZIP_CM_DEFLATE, 9) != 0 || zip_close(zip) != 0) {
        zip_error_set(&error, zip_error_code_zip(zip_get_error(zip)),
                      zip_error_code_system(zip_get_error(zip)));
        zip_discard(zip);
        ZipFailure("write", &error);
    }

    if (zip_source_open(archive.Source) != 0)
        ZipFailure("read", zip_source_error(archive.Source));
    std::string bytes;
    char chunk[16384];
    for (;;) {
        const zip_int64_t got = zip_source_read(archive.Source, chunk, sizeof chunk);
        if (got < 0) {
            zip_source_close(archive.Source);
            ZipFailure("read", zip_source_error(archive.Source));
        }
        if (got == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    zip_source_close(archive.Source);
    zip_error_fini(&error);
    return bytes;
}

std::string TrancoListId(const SyntheticWeb& web) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uint64_t h = web.Mix("tranco-id", "");
    std::string id;
    for (int i = 0; i < 5; ++i) {
        id += kAlphabet[h % (sizeof kAlphabet - 1)];
        h /= sizeof kAlphabet - 1;
    }
    return id;
}

std::string MajesticListCsv(const SyntheticWeb& web) {
    struct Row {
        std::int64_t SubNets;
        std::int64_t Ips;
        std::string Domain;
        std::uint64_t Mix;
    };
    std::vector<Row> rows;
    for (std::uint32_t site = 0; site < web.SiteCount(); ++site) {
        const std::string& host = web.HostOf(site);
        const std::int64_t subNets = web.InboundTotal(host);
        if (subNets <= 0)
            continue;
        const std::uint64_t h = web.Mix("majestic", host);
        // More addresses than subnets: several sites of one network link in.
        const std::int64_t ips = subNets + subNets * static_cast<std::int64_t>(h % 60) / 100 +
                                 static_cast<std::int64_t>((h >> 8) % 7);
        rows.push_back({subNets, ips, RegistrableDomainOf(web, site), h});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(b.SubNets, b.Ips, a.Domain) < std::tie(a.SubNets, a.Ips, b.Domain);
    });

    std::string csv =
        "GlobalRank,TldRank,Domain,TLD,RefSubNets,RefIPs,IDN_Domain,IDN_TLD,PrevGlobalRank,"
        "PrevTldRank,PrevRefSubNets,PrevRefIPs\n";
    csv.reserve(rows.size() * 80);
    std::map<std::string, std::int64_t> tldRanks;
    std::int64_t rank = 0;
    for (const Row& row : rows) {
        ++rank;
        const std::string tld = LastLabel(row.Domain);
        const std::int64_t tldRank = ++tldRanks[tld];
        // Last time's figures: a little different.
        const auto drift = [&row](int shift, std::int64_t of) {
            const auto spread = static_cast<std::int64_t>((row.Mix >> shift) % 11) - 5;
            return std::max<std::int64_t>(1, of + of * spread / 100 + spread);
        };
        csv += std::to_string(rank) + "," + std::to_string(tldRank) + "," + row.Domain + "," + tld +
               "," + std::to_string(row.SubNets) + "," + std::to_string(row.Ips) + "," +
               row.Domain + "," + tld + "," + std::to_string(drift(16, rank)) + "," +
               std::to_string(drift(20, tldRank)) + "," + std::to_string(drift(24, row.SubNets)) +
               "," + std::to_string(drift(28, row.Ips)) + "\n";
    }
    return csv;
}

}  // namespace corvane::demo
