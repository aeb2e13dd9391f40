#include "engine/results_table.h"

#include <algorithm>
#include <stdexcept>

namespace corvane::engine {

const char* const kColumnCaptions[kColumnCount] = {"Website URL",    "Rank #",       "Inbound Links",
                                                   "Outbound Links", "Link's Value", "Alexa Ranking"};

const std::string& ResultRow::Column(int column, bool* has) const {
    static const std::string kEmpty;
    if (column == 0) {
        if (has) *has = true;
        return Caption;
    }
    if (column >= 1 && static_cast<std::size_t>(column) <= Cells.size()) {
        if (has) *has = true;
        return Cells[static_cast<std::size_t>(column - 1)];
    }
    if (has) *has = false;
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
    indexOfId_.clear();
    Notify([](TableObserver& o) { o.TableCleared(); });
}

RowHandle ResultsTable::Append() {
    const std::size_t index = rows_.size();
    Notify([&](TableObserver& o) { o.RowAboutToAppend(index); });
    const std::uint64_t id = nextId_++;
    rows_.push_back(Entry{id, ResultRow{}});
    indexOfId_.emplace(id, index);
    Notify([&](TableObserver& o) { o.RowAppended(index); });
    return RowHandle(id);
}

ResultsTable::Entry* ResultsTable::Find(RowHandle row) {
    const auto it = indexOfId_.find(row.id_);
    return it == indexOfId_.end() ? nullptr : &rows_[it->second];
}

bool ResultsTable::IsValid(RowHandle row) const { return indexOfId_.count(row.id_) != 0; }

std::int64_t ResultsTable::IndexOf(RowHandle row) const {
    const auto it = indexOfId_.find(row.id_);
    return it == indexOfId_.end() ? -1 : static_cast<std::int64_t>(it->second);
}

bool ResultsTable::SetCaption(RowHandle row, std::string caption) {
    Entry* e = Find(row);
    if (!e) return false;
    e->row.Caption = std::move(caption);
    const std::size_t index = indexOfId_[row.id_];
    Notify([&](TableObserver& o) { o.RowChanged(index, 0); });
    return true;
}

bool ResultsTable::AppendCell(RowHandle row, std::string text) {
    Entry* e = Find(row);
    if (!e) return false;
    e->row.Cells.push_back(std::move(text));
    const int part = static_cast<int>(e->row.Cells.size());
    const std::size_t index = indexOfId_[row.id_];
    Notify([&](TableObserver& o) { o.RowChanged(index, part); });
    return true;
}

bool ResultsTable::SetChecked(RowHandle row, bool checked) {
    Entry* e = Find(row);
    if (!e) return false;
    e->row.Checked = checked;
    const std::size_t index = indexOfId_[row.id_];
    Notify([&](TableObserver& o) { o.RowChanged(index, TableObserver::kCheckedPart); });
    return true;
}

const ResultRow& ResultsTable::Row(std::size_t index) const {
    if (index >= rows_.size()) {
        throw std::out_of_range("results table: row index out of range");
    }
    return rows_[index].row;
}

RowHandle ResultsTable::HandleAt(std::size_t index) const {
    if (index >= rows_.size()) {
        return RowHandle();
    }
    return RowHandle(rows_[index].id);
}

void ResultsTable::Sort(const Compare& compare) {
    const std::size_t n = rows_.size();
    if (n < 2) {
        return;
    }
    // Bottom-up merge sort over positions. Every pass moves each position
    // exactly once from one buffer to the other, whatever the compare says,
    // so the outcome is always a permutation.
    std::vector<std::size_t> order(n), scratch(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi) {
                // Take from the right run only when it must go strictly first.
                if (compare(rows_[order[b]].row, rows_[order[a]].row) < 0) {
                    scratch[out++] = order[b++];
                } else {
                    scratch[out++] = order[a++];
                }
            }
            while (a < mid) scratch[out++] = order[a++];
            while (b < hi) scratch[out++] = order[b++];
        }
        order.swap(scratch);
    }

    Notify([](TableObserver& o) { o.TableAboutToReorder(); });
    std::vector<Entry> sorted;
    sorted.reserve(n);
    std::vector<std::size_t> newIndexOfOld(n);
    for (std::size_t i = 0; i < n; ++i) {
        newIndexOfOld[order[i]] = i;
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_.swap(sorted);
    for (std::size_t i = 0; i < n; ++i) {
        indexOfId_[rows_[i].id] = i;
    }
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
