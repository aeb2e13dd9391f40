#include "cli/progress.h"

#include <algorithm>

namespace corvane::cli {

SurveyProgress::SurveyProgress(const engine::ResultsTable& table, int expectedRows, bool terminal,
                               std::ostream& out)
    : table_(table), expectedRows_(std::max(expectedRows, 1)), terminal_(terminal), out_(out) {}

void SurveyProgress::ShowStatus(const std::string& text) {
    status_ = text;
    if (terminal_) Redraw();
}

void SurveyProgress::TableCleared() {
    cellsDone_ = 0;
    if (terminal_) Redraw();
}

void SurveyProgress::RowChanged(std::size_t index, int part) {
    if (part < 1) {
        return;  // the caption and the Checked flag are not progress
    }
    ++cellsDone_;
    if (terminal_) {
        Redraw();
        return;
    }
    if (part == engine::kCellCount && index < table_.Count()) {
        const engine::ResultRow& r = table_.Row(index);
        std::string line = r.Caption.empty() ? std::string("(no host)") : r.Caption;
        for (const auto& c : r.Cells) line += "  " + c;
        for (char& ch : line) {
            if (static_cast<unsigned char>(ch) < 0x20) ch = '?';
        }
        out_ << "row " << index + 1 << ": " << line << std::endl;
    }
}

void SurveyProgress::Redraw() {
    const int total = expectedRows_ * engine::kCellCount;
    const int done = std::min(cellsDone_, total);
    constexpr int kBar = 30;
    const int filled = done * kBar / total;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBar - filled), '.');
    std::string status = status_.substr(0, 40);
    for (char& ch : status) {
        if (static_cast<unsigned char>(ch) < 0x20) ch = '?';
    }
    out_ << "\r\033[K[" << bar << "] " << table_.Count() << " rows  " << status << std::flush;
    drawn_ = true;
}

void SurveyProgress::Finish() {
    if (drawn_) {
        out_ << std::endl;
        drawn_ = false;
    }
}

}  // namespace corvane::cli
