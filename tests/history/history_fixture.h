// Helpers shared by the history tests: a scratch folder and made-up surveys.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "history/sqlite_db.h"

namespace corvane::history::testing {

class TempFolder {
  public:
    TempFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/cvhist-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A row with the given host and rank and figures derived from both.
inline HistoryRow Row(const std::string& host, int rank, int inbound = 100) {
    return HistoryRow{host,
                      {std::to_string(rank), std::to_string(inbound), "7",
                       std::to_string(inbound / 2), "999999999"}};
}

// n rows "host<i>.example" ranked skip + 1 onwards.
inline std::vector<HistoryRow> Rows(int n, int skip = 0) {
    std::vector<HistoryRow> rows;
    for (int i = 0; i < n; ++i) {
        rows.push_back(Row("host" + std::to_string(i) + ".example", skip + i + 1, 1000 - i));
    }
    return rows;
}

// A finished keyword survey of `query` started on day `day` of May 2024.
inline SurveyInfo Info(const std::string& query, int day, int second = 0) {
    SurveyInfo info;
    info.Query = query;
    info.ResultCount = 20;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2024-05-%02dT10:00:%02dZ", day, second);
    info.StartedUtc = stamp;
    std::snprintf(stamp, sizeof stamp, "2024-05-%02dT10:05:%02dZ", day, second);
    info.EndedUtc = stamp;
    return info;
}

inline std::string Pragma(HistoryStore& store, const std::string& name) {
    return store.Connection().QueryText("PRAGMA " + name).value_or("");
}

}  // namespace corvane::history::testing
