// Progress of a survey on stderr, following the results table as cells come
// in: a bar of the complete rows ("12 of 30 sites") redrawn in place on a
// terminal, one line per complete row otherwise.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "engine/results_table.h"

namespace corvane::cli {

class SurveyProgress : public engine::TableObserver {
  public:
    // `expectedRows` sizes the bar until the run knows its rows;
    // `terminal` chooses the bar over lines.
    SurveyProgress(const engine::ResultsTable& table, int expectedRows, bool terminal,
                   std::ostream& out);

    void ShowStatus(const std::string& text);
    // The rows the run will have, once its results page is in.
    void SetTotal(std::size_t rows);
    // Ends the bar's line, if one is drawn.
    void Finish();

    std::size_t CompleteRows() const { return completeRows_; }

    void TableCleared() override;
    void RowChanged(std::size_t index, int part) override;
    void RowAboutToRemove(std::size_t index) override;
    void RowRemoved(std::size_t index) override;

  private:
    void Redraw();

    const engine::ResultsTable& table_;
    std::size_t expectedRows_;
    bool terminal_;
    std::ostream& out_;
    std::string status_;
    std::size_t completeRows_ = 0;
    bool drawn_ = false;
};

}  // namespace corvane::cli
