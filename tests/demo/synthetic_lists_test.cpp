// The demo web's rank lists: their formats as the list readers expect them,
// their figures as the classic demo services state them, and their service
// at the list sites' addresses.

#include <gtest/gtest.h>

#include <zip.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "demo/demo_web.h"
#include "demo/synthetic_lists.h"
#include "raw_http.h"

namespace corvane::demo {
namespace {

const SyntheticWeb& Web() {
    static const SyntheticWeb web;
    return web;
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;
         from = at + separator.size()) {
        parts.push_back(text.substr(from, at - from));
    }
    parts.push_back(text.substr(from));
    return parts;
}

// The entries of a zip archive held in memory: name and content.
std::map<std::string, std::string> Unzip(const std::string& bytes) {
    std::map<std::string, std::string> files;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (archive == nullptr) {
        ADD_FAILURE() << "not a zip: " << zip_error_strerror(&error);
        if (source != nullptr)
            zip_source_free(source);
        zip_error_fini(&error);
        return files;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, index, 0, &stat) != 0)
            continue;
        std::string content(static_cast<std::size_t>(stat.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, index, 0);
        if (file == nullptr) {
            ADD_FAILURE() << "cannot open " << stat.name;
            continue;
        }
        EXPECT_EQ(zip_fread(file, content.data(), stat.size), static_cast<zip_int64_t>(stat.size));
        zip_fclose(file);
        files[stat.name] = content;
    }
    zip_close(archive);
    zip_error_fini(&error);
    return files;
}

// The site of each registrable domain.
std::map<std::string, std::uint32_t> SitesByDomain() {
    std::map<std::string, std::uint32_t> sites;
    for (std::uint32_t site = 0; site < Web().SiteCount(); ++site)
        sites.emplace(RegistrableDomainOf(Web(), site), site);
    return sites;
}

TEST(DemoSyntheticLists, RegistrableDomains) {
    const auto sites = SitesByDomain();
    EXPECT_EQ(sites.size(), Web().SiteCount());  // one domain a site
    bool coUk = false;
    bool prefixed = false;
    for (const auto& [domain, site] : sites) {
        const std::string& host = Web().HostOf(site);
        ASSERT_TRUE(host.ends_with(domain)) << host;
        ASSERT_TRUE(host == domain || host.ends_with("." + domain)) << host;
        const auto dots = std::count(domain.begin(), domain.end(), '.');
        EXPECT_EQ(dots, domain.ends_with(".co.uk") ? 2 : 1) << domain;
        coUk = coUk || domain.ends_with(".co.uk");
        prefixed = prefixed || (host != domain && !host.starts_with("www."));
    }
    EXPECT_TRUE(coUk);
    EXPECT_TRUE(prefixed);
}

TEST(DemoSyntheticLists, TrafficListFollowsTheTrafficRanks) {
    const std::string csv = TrancoListCsv(Web());
    ASSERT_TRUE(csv.ends_with("\r\n"));
    std::vector<std::string> lines = Split(csv, "\r\n");
    lines.pop_back();
    EXPECT_GT(lines.size(), 2000u);
    const auto sites = SitesByDomain();
    std::set<std::string> listed;
    long previous = 0;
    int exact = 0;
    for (const std::string& line : lines) {
        const auto fields = Split(line, ",");
        ASSERT_EQ(fields.size(), 2u) << line;
        ASSERT_EQ(line.find('\n'), std::string::npos);
        const long rank = std::stol(fields[0]);
        EXPECT_GT(rank, previous);
        EXPECT_LE(rank, 1000000);
        previous = rank;
        EXPECT_TRUE(listed.insert(fields[1]).second) << fields[1];
        const auto site = sites.find(fields[1]);
        ASSERT_NE(site, sites.end()) << fields[1];
        // The rank the traffic service states for the site's host, or the
        // next free one when two sites share a rank.
        const auto traffic = Web().TrafficRank(Web().HostOf(site->second));
        ASSERT_TRUE(traffic.has_value());
        EXPECT_GE(rank, *traffic);
        exact += rank == *traffic ? 1 : 0;
    }
    EXPECT_GT(exact, static_cast<int>(lines.size()) * 9 / 10);
    // Every site within the top million is listed.
    for (const auto& [domain, site] : sites) {
        const auto traffic = Web().TrafficRank(Web().HostOf(site));
        EXPECT_EQ(listed.count(domain) == 1, traffic && *traffic <= 1000000) << domain;
    }
}

TEST(DemoSyntheticLists, TrafficListZipAndId) {
    const std::string zip = TrancoListZip(Web());
    const auto files = Unzip(zip);
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(files.begin()->first, "top-1m.csv");
    EXPECT_EQ(files.begin()->second, TrancoListCsv(Web()));
    EXPECT_EQ(TrancoListZip(Web()), zip);  // the same bytes every time
    EXPECT_LT(zip.size(), TrancoListCsv(Web()).size() / 2);

    const std::string id = TrancoListId(Web());
    EXPECT_EQ(id.size(), 5u);
    for (char c : id)
        EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << id;
    EXPECT_NE(TrancoListId(SyntheticWeb(1)), id);
}

TEST(DemoSyntheticLists, InboundListFollowsTheInboundFigures) {
    const std::string csv = MajesticListCsv(Web());
    ASSERT_TRUE(csv.ends_with("\n"));
    std::vector<std::string> lines = Split(csv, "\n");
    lines.pop_back();
    ASSERT_EQ(lines.front(),
              "GlobalRank,TldRank,Domain,TLD,RefSubNets,RefIPs,IDN_Domain,IDN_TLD,"
              "PrevGlobalRank,PrevTldRank,PrevRefSubNets,PrevRefIPs");
    const auto sites = SitesByDomain();
    std::map<std::string, long> tldRanks;
    long previousSubNets = 1L << 40;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto f = Split(lines[i], ",");
        ASSERT_EQ(f.size(), 12u) << lines[i];
        EXPECT_EQ(std::stol(f[0]), static_cast<long>(i));
        EXPECT_EQ(std::stol(f[1]), ++tldRanks[f[3]]) << lines[i];
        EXPECT_EQ(f[3], f[2].substr(f[2].rfind('.') + 1));
        EXPECT_EQ(f[6], f[2]);
        EXPECT_EQ(f[7], f[3]);
        const auto site = sites.find(f[2]);
        ASSERT_NE(site, sites.end()) << f[2];
        // RefSubNets is the inbound total a link: search states for the host.
        const long subNets = std::stol(f[4]);
        EXPECT_EQ(subNets, Web().InboundTotal(Web().HostOf(site->second)));
        EXPECT_LE(subNets, previousSubNets);
        EXPECT_GE(std::stol(f[5]), subNets);
        previousSubNets = subNets;
        for (std::size_t k = 8; k < 12; ++k)
            EXPECT_GT(std::stol(f[k]), 0) << lines[i];
    }
    EXPECT_GT(lines.size(), 2000u);
}

TEST(DemoSyntheticLists, ServedAtTheListSitesWithTheirLength) {
    DemoWeb web;
    const int port = web.Start();
    const auto zip = testing::ProxyGet(port, "http://tranco-list.eu/top-1m.csv.zip");
    ASSERT_TRUE(zip.has_value());
    EXPECT_EQ(zip->Status, 200);
    EXPECT_TRUE(zip->Has("content-type: application/zip"));
    EXPECT_TRUE(zip->Has("content-length: " + std::to_string(zip->Body.size()) + "\r\n"));
    EXPECT_EQ(zip->Body, TrancoListZip(web.Web()));

    const auto id = testing::ProxyGet(port, "http://tranco-list.eu/top-1m-id");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->Body, TrancoListId(web.Web()));

    const auto majestic =
        testing::ProxyGet(port, "http://downloads.majestic.com/majestic_million.csv");
    ASSERT_TRUE(majestic.has_value());
    EXPECT_EQ(majestic->Status, 200);
    EXPECT_TRUE(majestic->Has("content-length: " + std::to_string(majestic->Body.size()) + "\r\n"));
    EXPECT_EQ(majestic->Body, MajesticListCsv(web.Web()));

    const auto other = testing::ProxyGet(port, "http://tranco-list.eu/top-1m.csv");
    ASSERT_TRUE(other.has_value());
    EXPECT_EQ(other->Status, 404);
}

}  // namespace
}  // namespace corvane::demo
