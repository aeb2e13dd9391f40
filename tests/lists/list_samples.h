// Rank lists for tests: small Tranco and Majestic texts, zip archives made
// with libzip, and a temporary folder. Header-only; a test folder that
// includes it links libzip.
#pragma once

#include <stdlib.h>
#include <zip.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace corvane::testing::lists {

class ListsTempDir {
  public:
    ListsTempDir() {
        char tmpl[] = "/tmp/corvane-lists-test-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~ListsTempDir() { std::filesystem::remove_all(path_); }
    ListsTempDir(const ListsTempDir&) = delete;
    ListsTempDir& operator=(const ListsTempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

// A zip archive (deflated) holding `files` in order: name, content. An
// entry time other than 0 is set on every file.
inline std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& files,
                           std::time_t entryTime = 0) {
    const ListsTempDir dir;
    const std::string path = dir / "archive.zip";
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr)
        throw std::runtime_error("zip_open failed");
    for (const auto& [name, content] : files) {
        zip_int64_t index = -1;
        if (!name.empty() && name.back() == '/') {
            index = zip_dir_add(archive, name.c_str(), 0);
        } else {
            zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
            index = zip_file_add(archive, name.c_str(), source, 0);
            if (index < 0)
                zip_source_free(source);
        }
        if (index < 0)
            throw std::runtime_error("zip_file_add failed");
        if (entryTime != 0)
            zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), entryTime, 0);
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("zip_close failed");
    return ReadBytes(path);
}

// Tranco rows "rank,domain" for ranks 1..n: "site<rank>.example".
inline std::string TrancoRows(int n, const char* lineEnd = "\r\n") {
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += std::to_string(i) + ",site" + std::to_string(i) + ".example" + lineEnd;
    return text;
}

inline constexpr const char* kMajesticHeader =
    "GlobalRank,TldRank,Domain,TLD,RefSubNets,RefIPs,IDN_Domain,IDN_TLD,PrevGlobalRank,"
    "PrevTldRank,PrevRefSubNets,PrevRefIPs\n";

// One Majestic row with the published column order.
inline std::string MajesticRow(int rank, const std::string& domain, int subnets) {
    const std::string tld = domain.substr(domain.rfind('.') + 1);
    return std::to_string(rank) + "," + std::to_string(rank) + "," + domain + "," + tld + "," +
           std::to_string(subnets) + "," + std::to_string(subnets * 3) + "," + domain + "," + tld +
           "," + std::to_string(rank) + "," + std::to_string(rank) + "," + std::to_string(subnets) +
           "," + std::to_string(subnets * 3) + "\n";
}

}  // namespace corvane::testing::lists
