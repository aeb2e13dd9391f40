// The history commands of a command-line front end, after its arguments
// are parsed: list, show, compare, export and forget. Each prints its
// result to `out` and throws CommandError, with a message meant for the
// user, when it cannot do what was asked (an id that names no survey, a
// file that cannot be written). A CSV target is a file name, or "-" for
// `out` in place of the text table.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "history/history_store.h"

namespace corvane::history {

class CommandError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A survey id as typed: a decimal number from 1 up. Throws CommandError.
std::int64_t ParseSurveyId(std::string_view text);

// Opens the history for a command; a notice that a damaged file was moved
// aside goes to `err` on one line, after `program` (e.g. "corvane-cli: ").
HistoryStore OpenHistory(const std::string& path, std::ostream& err, std::string_view program);

// history [--query TEXT] [--limit N]: one line per survey, newest first,
// under a header line: id, start time, query, profile, rows, how it ended.
struct ListArgs {
    std::string Query;
    std::optional<std::int64_t> Limit;  // must be 1 or more when given
};
void ListSurveys(HistoryStore& store, const ListArgs& args, std::ostream& out);

// history show ID [--csv FILE|-]: the survey's table, as the text table or
// CSV of a survey file. With a CSV file the text table still goes to `out`.
struct ShowArgs {
    std::int64_t Id = 0;
    std::string Csv;
};
void ShowSurvey(HistoryStore& store, const ShowArgs& args, std::ostream& out);

// history compare [ID1] ID2 [--csv FILE|-]: every host of either survey
// with its rank before and after, its movement and the change of each
// figure. Without ID1 the previous survey of ID2's query and profile.
struct CompareArgs {
    std::optional<std::int64_t> Before;
    std::int64_t After = 0;
    std::string Csv;
};
void CompareSurveyIds(HistoryStore& store, const CompareArgs& args, std::ostream& out);

// history export --csv FILE|-: one CSV record per row of every survey.
struct ExportArgs {
    std::string Csv;
};
void ExportHistory(HistoryStore& store, const ExportArgs& args, std::ostream& out);

// history forget ID: removes the survey and its rows; says which went.
struct ForgetArgs {
    std::int64_t Id = 0;
};
void ForgetSurvey(HistoryStore& store, const ForgetArgs& args, std::ostream& out);

}  // namespace corvane::history
