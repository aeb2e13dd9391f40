// The window's side of the survey history: recording the surveys the main
// window runs, and the History window that lists the recorded ones.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include "engine/results_table.h"
#include "history/history_store.h"

namespace corvane::ui {

// Where the window keeps its history: the file it reads (empty: none) and
// whether the surveys it runs are recorded there.
struct HistorySettings {
    std::string File;
    bool Record = false;
};

// Records one survey with the table's rows. Returns its id, or none with
// `problem` set to one line that says why (the file cannot be opened or
// written); a notice of a damaged file moved aside goes to `notice`.
std::optional<std::int64_t> RecordInHistory(const std::string& file,
                                            const history::SurveyInfo& info,
                                            const engine::ResultsTable& table, QString& problem,
                                            QString& notice);

// "YYYY-MM-DD HH:MM" of a recorded UTC time, for people.
QString ShortUtcTime(const std::string& utc);

}  // namespace corvane::ui
