#include "history/survey_compare.h"

#include <algorithm>
#include <map>

#include "engine/text_ops.h"

namespace corvane::history {

namespace {

// A row of a survey with the key it is ordered by: rank first (rows
// without one last), then place in the table.
struct Ranked {
    std::optional<std::int32_t> rank;
    std::size_t position;
    const HistoryRow* row;
};

bool RanksBefore(const Ranked& a, const Ranked& b) {
    if (a.rank.has_value() != b.rank.has_value()) {
        return a.rank.has_value();
    }
    if (a.rank && *a.rank != *b.rank) {
        return *a.rank < *b.rank;
    }
    return a.position < b.position;
}

std::vector<Ranked> InRankOrder(const std::vector<HistoryRow>& rows) {
    std::vector<Ranked> ranked;
    ranked.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ranked.push_back({rows[i].Rank(), i, &rows[i]});
    }
    std::sort(ranked.begin(), ranked.end(), RanksBefore);
    return ranked;
}

void SetMovement(ComparedHost& host) {
    if (!host.Before) {
        host.Move = Movement::New;
        return;
    }
    if (!host.After) {
        host.Move = Movement::Gone;
        return;
    }
    const std::optional<std::int32_t> before = host.Before->Rank();
    const std::optional<std::int32_t> after = host.After->Rank();
    if (!before || !after) {
        host.Move = Movement::Unranked;
        return;
    }
    const std::int64_t delta = std::int64_t{*before} - std::int64_t{*after};
    host.Move = delta > 0 ? Movement::Up : delta < 0 ? Movement::Down : Movement::Same;
    host.Steps = delta < 0 ? -delta : delta;
}

}  // namespace

std::vector<ComparedHost> CompareSurveys(const std::vector<HistoryRow>& before,
                                         const std::vector<HistoryRow>& after) {
    // Each host's rows of the earlier survey, in rank order, waiting to be
    // paired with the same host's rows of the later one in the same order.
    std::map<std::string_view, std::vector<const HistoryRow*>> waiting;
    std::vector<Ranked> earlier = InRankOrder(before);
    for (const Ranked& r : earlier) {
        waiting[r.row->Host].push_back(r.row);
    }
    std::map<std::string_view, std::size_t> taken;

    std::vector<ComparedHost> out;
    out.reserve(before.size() + after.size());
    for (const Ranked& r : InRankOrder(after)) {
        ComparedHost host;
        host.Host = r.row->Host;
        host.After = *r.row;
        std::size_t& k = taken[r.row->Host];
        const auto it = waiting.find(r.row->Host);
        if (it != waiting.end() && k < it->second.size()) {
            host.Before = *it->second[k];
        }
        ++k;
        SetMovement(host);
        out.push_back(std::move(host));
    }
    // The earlier rows in the same order again: the first taken[host]
    // occurrences were paired, the rest are gone.
    std::map<std::string_view, std::size_t> seen;
    for (const Ranked& r : earlier) {
        if (seen[r.row->Host]++ < taken[r.row->Host]) {
            continue;
        }
        ComparedHost host;
        host.Host = r.row->Host;
        host.Before = *r.row;
        SetMovement(host);
        out.push_back(std::move(host));
    }
    return out;
}

std::string MovementText(const ComparedHost& host) {
    switch (host.Move) {
        case Movement::Up:
            return "up " + std::to_string(host.Steps);
        case Movement::Down:
            return "down " + std::to_string(host.Steps);
        case Movement::Same:
            return "same";
        case Movement::New:
            return "new";
        case Movement::Gone:
            return "gone";
        case Movement::Unranked:
            return "n/a";
    }
    return "n/a";
}

std::string FigureChange(std::string_view before, std::string_view after) {
    std::int32_t a = 0;
    std::int32_t b = 0;
    if (engine::TryFigureToInt(before, a) && engine::TryFigureToInt(after, b)) {
        const std::int64_t delta = std::int64_t{b} - std::int64_t{a};
        return delta > 0 ? "+" + std::to_string(delta) : std::to_string(delta);
    }
    if (before == after) {
        return "=";
    }
    return std::string(before) + " -> " + std::string(after);
}

}  // namespace corvane::history
