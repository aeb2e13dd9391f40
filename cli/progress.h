// Progress of a survey on stderr, following the results table as cells come
// in: a bar redrawn in place on a terminal, one line per finished row
// otherwise.
#pragma once

#include <ostream>
#include <string>

#include "engine/results_table.h"

namespace corvane::cli {

class SurveyProgress : public engine::TableObserver {
public:
    // `expectedRows` sizes the bar; `terminal` chooses the bar over lines.
    SurveyProgress(const engine::ResultsTable& table, int expectedRows, bool terminal, std::ostream& out);

    void ShowStatus(const std::string& text);
    // Ends the bar's line, if one is drawn.
    void Finish();

    void TableCleared() override;
    void RowChanged(std::size_t index, int part) override;

private:
    void Redraw();

    const engine::ResultsTable& table_;
    int expectedRows_;
    bool terminal_;
    std::ostream& out_;
    std::string status_;
    int cellsDone_ = 0;
    bool drawn_ = false;
};

}  // namespace corvane::cli
