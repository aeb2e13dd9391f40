#include "cli/progress.h"

#include <algorithm>

namespace corvane::cli {

namespace {

bool IsComplete(const engine::ResultRow& row) {
    return row.Cells.size() >= static_cast<std::size_t>(engine::kCellCount);
}

std::string Printable(std::string text) {
    for (char& ch : text) {
        if (static_cast<unsigned char>(ch) < 0x20)
            ch = '?';
    }
    return text;
}

}  // namespace

SurveyProgress::SurveyProgress(const engine::ResultsTable& table, int expectedRows, bool terminal,
                               std::ostream& out)
    : table_(table),
      expectedRows_(static_cast<std::size_t>(std::max(expectedRows, 1))),
      terminal_(terminal),
      out_(out) {}

void SurveyProgress::ShowStatus(const std::string& text) {
    status_ = text;
    if (terminal_)
        Redraw();
}

void SurveyProgress::SetTotal(std::size_t rows) {
    if (rows == 0 || rows == expectedRows_)
        return;
    expectedRows_ = rows;
    if (terminal_)
        Redraw();
}

void SurveyProgress::TableCleared() {
    completeRows_ = 0;
    if (terminal_)
        Redraw();
}

void SurveyProgress::RowChanged(std::size_t index, int part) {
    if (part != engine::kCellCount || index >= table_.Count())
        return;  // only a row's last cell completes it
    ++completeRows_;
    if (terminal_) {
        Redraw();
        return;
    }
    const engine::ResultRow& r = table_.Row(index);
    std::string line = r.Caption.empty() ? std::string("(no host)") : r.Caption;
    for (const auto& c : r.Cells)
        line += "  " + c;
    out_ << "row " << index + 1 << ": " << Printable(line) << std::endl;
}

// A stopped run takes its incomplete rows out again; a complete row taken
// out no longer counts.
void SurveyProgress::RowAboutToRemove(std::size_t index) {
    if (index < table_.Count() && IsComplete(table_.Row(index)) && completeRows_ > 0)
        --completeRows_;
}

void SurveyProgress::RowRemoved(std::size_t) {
    if (terminal_)
        Redraw();
}

void SurveyProgress::Redraw() {
    const std::size_t total = std::max(expectedRows_, completeRows_);
    constexpr std::size_t kBar = 30;
    const std::size_t filled = completeRows_ * kBar / total;
    std::string bar(filled, '#');
    bar.append(kBar - filled, '.');
    out_ << "\r\033[K[" << bar << "] " << completeRows_ << " of " << total << " sites  "
         << Printable(status_.substr(0, 40)) << std::flush;
    drawn_ = true;
}

void SurveyProgress::Finish() {
    if (drawn_) {
        out_ << std::endl;
        drawn_ = false;
    }
}

}  // namespace corvane::cli
