// A survey host for tests: FetchPage answers from prepared pages and records
// every request; the pump and Escape poll can be scripted per call.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_host.h"

namespace corvane::engine::testing {

class FakeHost : public SurveyHost {
  public:
    struct Fetch {
        std::string url;
        int port;
    };

    void ShowStatus(const std::string& text) override { statuses.push_back(text); }

    void PumpMessages() override {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }

    bool IsEscapeDown() override {
        ++escapePolls;
        return escapeAtPoll > 0 && escapePolls >= escapeAtPoll;
    }

    std::string FetchPage(const std::string& url, int port) override {
        fetches.push_back({url, port});
        if (onFetch)
            return onFetch(url);
        const auto it = pages.find(url);
        return it == pages.end() ? std::string() : it->second;
    }

    ResultsTable& Table() override { return table; }
    std::atomic<bool>& Stop() override { return stop; }
    const ServiceEndpoints& Endpoints() const override { return endpoints; }

    std::vector<std::string> Urls() const {
        std::vector<std::string> out;
        for (const auto& f : fetches)
            out.push_back(f.url);
        return out;
    }

    ServiceEndpoints endpoints;
    ResultsTable table;
    std::atomic<bool> stop{false};
    std::map<std::string, std::string> pages;
    std::function<std::string(const std::string&)> onFetch;
    std::function<void(int)> onPump;
    int escapeAtPoll = 0;  // 0: never
    int pumps = 0;
    int escapePolls = 0;
    std::vector<std::string> statuses;
    std::vector<Fetch> fetches;
};

// Rows of a table as {caption, cells...} for whole-table comparisons.
inline std::vector<std::vector<std::string>> Rows(const ResultsTable& t) {
    std::vector<std::vector<std::string>> out;
    for (std::size_t i = 0; i < t.Count(); ++i) {
        std::vector<std::string> r{t.Row(i).Caption};
        r.insert(r.end(), t.Row(i).Cells.begin(), t.Row(i).Cells.end());
        out.push_back(r);
    }
    return out;
}

}  // namespace corvane::engine::testing
