#include "engine/results_table.h"

#include <algorithm>
#include <stdexcept>

#include "engine/text_ops.h"

namespace corvane::engine {

const char* const kColumnCaptions[kColumnCount] = {
    "Website URL", "Rank #", "Inbound Links", "Outbound Links", "Link's Value", "Alexa Ranking"};
const char* const kWebColumnCaptions[kColumnCount] = {
    "Website URL", "Rank #", "Inbound Links", "Outbound Links", "Link's Value", "Traffic Rank"};

const std::string& ResultRow::Column(int column, bool* has) const {
    static const std::string kEmpty;
    if (column == 0) {
        if (has)
            *has = true;
        return Caption;
    }
    if (column >= 1 && static_cast<std::size_t>(column) <= Cells.size()) {
        if (has)
            *has = true;
        return Cells[static_cast<std::size_t>(column - 1)];
    }
    if (has)
        *has = false;
    return kEmpty;
}

template <typename F>
void ResultsTable::Notify(F&& f) {
    if (observers_.empty()) {
        return;
    }
    // A copy, so that an observer may detach itself while being told.
    const std::vector<TableObserver*> observers = observers_;
    for (TableObserver* o : observers) {
        f(*o);
    }
}

void ResultsTable::Clear() {
    Notify([](TableObserver& o) { o.TableAboutToClear(); });
    rows_.clear();
    ids_.clear();
    figures_.clear();
    indexOfId_.clear();
    firstId_ = nextId_;
    Notify([](TableObserver& o) { o.TableCleared(); });
}

RowHandle ResultsTable::Append() {
    const std::size_t index = rows_.size();
    Notify([&](TableObserver& o) { o.RowAboutToAppend(index); });
    const std::uint64_t id = nextId_++;
    rows_.push_back(std::make_unique<Entry>(Entry{id, ResultRow{}}));
    ids_.push_back(id);
    figures_.emplace_back();
    figures_.back().fill(kNoFigure);
    indexOfId_.push_back(index);
    Notify([&](TableObserver& o) { o.RowAppended(index); });
    return RowHandle(id);
}

std::int64_t ResultsTable::Locate(RowHandle row) const {
    if (row.id_ < firstId_ || row.id_ >= nextId_) {
        return -1;
    }
    const std::size_t index = indexOfId_[row.id_ - firstId_];
    return index == kRemoved ? -1 : static_cast<std::int64_t>(index);
}

bool ResultsTable::IsValid(RowHandle row) const {
    return Locate(row) >= 0;
}

std::int64_t ResultsTable::IndexOf(RowHandle row) const {
    return Locate(row);
}

bool ResultsTable::SetCaption(RowHandle row, std::string caption) {
    const std::int64_t at = Locate(row);
    if (at < 0)
        return false;
    const auto index = static_cast<std::size_t>(at);
    rows_[index]->row.Caption = std::move(caption);
    Notify([&](TableObserver& o) { o.RowChanged(index, 0); });
    return true;
}

bool ResultsTable::AppendCell(RowHandle row, std::string text) {
    const std::int64_t at = Locate(row);
    if (at < 0)
        return false;
    const auto index = static_cast<std::size_t>(at);
    std::vector<std::string>& cells = rows_[index]->row.Cells;
    if (cells.size() < kCellCount) {
        std::int32_t value = 0;
        if (TryFigureToInt(text, value))
            figures_[index][cells.size()] = value;
    }
    cells.push_back(std::move(text));
    const int part = static_cast<int>(cells.size());
    Notify([&](TableObserver& o) { o.RowChanged(index, part); });
    return true;
}

bool ResultsTable::SetChecked(RowHandle row, bool checked) {
    const std::int64_t at = Locate(row);
    if (at < 0)
        return false;
    const auto index = static_cast<std::size_t>(at);
    rows_[index]->row.Checked = checked;
    Notify([&](TableObserver& o) { o.RowChanged(index, TableObserver::kCheckedPart); });
    return true;
}

bool ResultsTable::Remove(RowHandle row) {
    const std::int64_t at = Locate(row);
    if (at < 0)
        return false;
    const auto index = static_cast<std::size_t>(at);
    Notify([&](TableObserver& o) { o.RowAboutToRemove(index); });
    const auto offset = [](std::size_t i) { return static_cast<std::ptrdiff_t>(i); };
    indexOfId_[ids_[index] - firstId_] = kRemoved;
    for (std::size_t i = index + 1; i < rows_.size(); ++i) {
        indexOfId_[ids_[i] - firstId_] = i - 1;
    }
    rows_.erase(rows_.begin() + offset(index));
    ids_.erase(ids_.begin() + offset(index));
    figures_.erase(figures_.begin() + offset(index));
    Notify([&](TableObserver& o) { o.RowRemoved(index); });
    return true;
}

const ResultRow& ResultsTable::Row(std::size_t index) const {
    if (index >= rows_.size()) {
        throw std::out_of_range("results table: row index out of range");
    }
    return rows_[index]->row;
}

std::optional<std::int32_t> ResultsTable::FigureAt(std::size_t index, int column) const {
    if (index >= rows_.size() || column < 1 || column > kCellCount) {
        return std::nullopt;
    }
    const std::int64_t v = figures_[index][static_cast<std::size_t>(column - 1)];
    if (v == kNoFigure) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(v);
}

RowHandle ResultsTable::HandleAt(std::size_t index) const {
    if (index >= rows_.size()) {
        return RowHandle();
    }
    return RowHandle(ids_[index]);
}

void ResultsTable::Sort(const Compare& compare) {
    SortByIndex(
        [&](std::size_t a, std::size_t b) { return compare(rows_[a]->row, rows_[b]->row); });
}

void ResultsTable::SortByIndex(const IndexCompare& compare) {
    if (rows_.size() < 2) {
        return;
    }
    std::vector<std::size_t> order(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    StableMergeSort(order, compare);
    ApplyOrder(order);
}

void ResultsTable::ApplyOrder(const std::vector<std::size_t>& order) {
    const std::size_t n = rows_.size();
    Notify([](TableObserver& o) { o.TableAboutToReorder(); });
    std::vector<std::unique_ptr<Entry>> sorted(n);
    std::vector<std::uint64_t> sortedIds(n);
    std::vector<std::array<std::int64_t, kCellCount>> sortedFigures(n);
    std::vector<std::size_t> newIndexOfOld(n);
    for (std::size_t i = 0; i < n; ++i) {
        newIndexOfOld[order[i]] = i;
        sorted[i] = std::move(rows_[order[i]]);
        sortedIds[i] = ids_[order[i]];
        sortedFigures[i] = figures_[order[i]];
        indexOfId_[sortedIds[i] - firstId_] = i;
    }
    rows_.swap(sorted);
    ids_.swap(sortedIds);
    figures_.swap(sortedFigures);
    Notify([&](TableObserver& o) { o.TableReordered(newIndexOfOld); });
}

void ResultsTable::AddObserver(TableObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void ResultsTable::RemoveObserver(TableObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

}  // namespace corvane::engine
