// Two surveys side by side: for every host of either, its rank before and
// after, how it moved and how each figure changed.
//
// A host listed more than once in a survey (the same site at two ranks) is
// paired occurrence by occurrence: its k-th row of the earlier survey, by
// rank, with its k-th row of the later one. Rows left over are new (only
// after) or gone (only before).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_store.h"

namespace corvane::history {

enum class Movement { Up, Down, Same, New, Gone, Unranked };

struct ComparedHost {
    std::string Host;
    std::optional<HistoryRow> Before;  // none: new
    std::optional<HistoryRow> After;   // none: gone
    Movement Move = Movement::Same;
    // Places moved, for Up and Down.
    std::int64_t Steps = 0;
};

// Hosts of the later survey first, by their rank there (rows without a
// rank after those with one, then by place in the table); then the gone
// ones, by their rank before.
std::vector<ComparedHost> CompareSurveys(const std::vector<HistoryRow>& before,
                                         const std::vector<HistoryRow>& after);

// "up 3", "down 1", "same", "new", "gone", or "n/a" when a rank is not a
// number.
std::string MovementText(const ComparedHost& host);

// The change of one figure: the signed difference ("+12", "-3", "0") when
// both texts are figures, "=" for equal texts that are not, otherwise
// "BEFORE -> AFTER".
std::string FigureChange(std::string_view before, std::string_view after);

}  // namespace corvane::history
