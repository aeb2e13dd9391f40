// The results table: the ordered rows of one survey.
//
// A row is a caption (the site's host) plus up to five figure cells and a
// Checked flag. Rows are addressed either by index (their current place) or
// by a RowHandle, which keeps naming the same row while the table is
// re-ordered and turns invalid, detectably, once the table is cleared.
// Observers hear of every change so that a view can follow the table without
// keeping a copy of it.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/merge_sort.h"

namespace corvane::engine {

// Number of figure cells of a complete row, and the column captions.
inline constexpr int kCellCount = 5;
inline constexpr int kColumnCount = kCellCount + 1;
extern const char* const kColumnCaptions[kColumnCount];
// The captions of a survey of today's web: its sixth column is a traffic
// rank from a rank list.
extern const char* const kWebColumnCaptions[kColumnCount];

struct ResultRow {
    std::string Caption;             // column 0, "Website URL"
    std::vector<std::string> Cells;  // columns 1..5, in column order
    bool Checked = false;

    // Text of a column: 0 is the caption, 1..5 the cells. A cell the row does
    // not have yet reads as empty; `has` tells the two apart.
    const std::string& Column(int column, bool* has = nullptr) const;
};

class RowHandle {
  public:
    RowHandle() = default;
    bool IsNull() const { return id_ == 0; }
    friend bool operator==(RowHandle a, RowHandle b) { return a.id_ == b.id_; }

  private:
    friend class ResultsTable;
    explicit RowHandle(std::uint64_t id) : id_(id) {}
    std::uint64_t id_ = 0;
};

// Notifications, each raised synchronously inside the change. The "About"
// calls come before the change, the others after it.
class TableObserver {
  public:
    // The part of a row that changed: 0 the caption, 1..5 a cell, or
    // kCheckedPart for the Checked flag.
    static constexpr int kCheckedPart = -1;

    virtual ~TableObserver() = default;
    virtual void TableAboutToClear() {}
    virtual void TableCleared() {}
    virtual void RowAboutToAppend(std::size_t /*index*/) {}
    virtual void RowAppended(std::size_t /*index*/) {}
    virtual void RowChanged(std::size_t /*index*/, int /*part*/) {}
    virtual void RowAboutToRemove(std::size_t /*index*/) {}
    virtual void RowRemoved(std::size_t /*index*/) {}
    virtual void TableAboutToReorder() {}
    // newIndexOfOld[i] is where the row that stood at i stands now.
    virtual void TableReordered(const std::vector<std::size_t>& /*newIndexOfOld*/) {}
};

class ResultsTable {
  public:
    ResultsTable() = default;
    ResultsTable(const ResultsTable&) = delete;
    ResultsTable& operator=(const ResultsTable&) = delete;

    void Clear();
    // Appends an empty row at the end and returns its handle.
    RowHandle Append();

    // Changes through a handle; each returns false, changing nothing, when the
    // handle no longer names a row of the table. That answer is a writer's
    // only sign that its row has gone (the table was cleared under it), so it
    // must be looked at.
    [[nodiscard]] bool SetCaption(RowHandle row, std::string caption);
    [[nodiscard]] bool AppendCell(RowHandle row, std::string text);
    [[nodiscard]] bool SetChecked(RowHandle row, bool checked);
    // Takes the row out of the table; the rows after it move up one place
    // and every other handle keeps naming its row.
    bool Remove(RowHandle row);

    bool IsValid(RowHandle row) const;
    std::size_t Count() const { return rows_.size(); }
    // Row by current index; throws std::out_of_range past the end.
    const ResultRow& Row(std::size_t index) const;
    RowHandle HandleAt(std::size_t index) const;
    // Current index of a row, or -1 when the handle is no longer valid.
    std::int64_t IndexOf(RowHandle row) const;

    // Cell `column` (1..5) of the row at `index` read as a figure (the
    // figure-to-integer rule); nothing when the row lacks that cell, its text
    // is not such a number, or the index or column is out of range. Kept
    // converted beside the rows, so an ordering by a figure column reads one
    // compact array instead of every row's cells.
    std::optional<std::int32_t> FigureAt(std::size_t index, int column) const;

    // Orders the rows by `compare` (negative: first argument goes first).
    // A stable merge sort that stays sound for any answers of the compare,
    // inconsistent ones included: it ends, keeps every row exactly once and
    // keeps every handle on its row. A compare that throws leaves the order
    // as it was.
    using Compare = std::function<int(const ResultRow&, const ResultRow&)>;
    void Sort(const Compare& compare);

    // The same sort with a compare of row indices: compare(i, j) weighs the
    // rows that stand at i and j when the sort begins. No row moves until
    // the new order is chosen, so Row(i) may be read inside the compare, and
    // a caller may convert each row's sort key once beforehand, by index.
    using IndexCompare = std::function<int(std::size_t, std::size_t)>;
    void SortByIndex(const IndexCompare& compare);

    // The same sort by keys prepared beforehand: keys[i] is the key of the
    // row at i, and compare(keyA, keyB) weighs two keys. The keys travel with
    // the rows through the merge, so a large table is sorted without reaching
    // back into its rows for every compare.
    template <typename Key, typename KeyCompare>
    void SortByKeys(std::vector<Key> keys, KeyCompare&& compare);

    void AddObserver(TableObserver* observer);
    void RemoveObserver(TableObserver* observer);

  private:
    struct Entry {
        std::uint64_t id;
        ResultRow row;
    };
    // Current index of a row of this table, or -1.
    std::int64_t Locate(RowHandle row) const;
    // Puts the row that stood at order[i] at i, and tells the observers.
    void ApplyOrder(const std::vector<std::size_t>& order);
    template <typename F>
    void Notify(F&& f);

    // Rows in table order; each lives in its own block so that a reorder
    // moves pointers only.
    std::vector<std::unique_ptr<Entry>> rows_;
    // ids_[i] is the id of rows_[i], kept beside the rows so that a reorder
    // need not visit every row's block.
    std::vector<std::uint64_t> ids_;
    // figures_[i][c] is cell c + 1 of rows_[i] as a figure, or kNoFigure.
    static constexpr std::int64_t kNoFigure = INT64_MIN;
    std::vector<std::array<std::int64_t, kCellCount>> figures_;
    // Row ids are handed out in order and never reused. The rows since the
    // last Clear have the ids firstId_ .. nextId_-1, and indexOfId_[id -
    // firstId_] is where each stands (kRemoved once taken out); older ids
    // belong to no row.
    static constexpr std::size_t kRemoved = SIZE_MAX;
    std::uint64_t firstId_ = 1;
    std::uint64_t nextId_ = 1;
    std::vector<std::size_t> indexOfId_;
    std::vector<TableObserver*> observers_;
};

template <typename Key, typename KeyCompare>
void ResultsTable::SortByKeys(std::vector<Key> keys, KeyCompare&& compare) {
    if (keys.size() != rows_.size()) {
        throw std::invalid_argument("results table: one sort key per row");
    }
    if (keys.size() < 2) {
        return;
    }
    std::vector<std::pair<Key, std::size_t>> items;
    items.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        items.emplace_back(std::move(keys[i]), i);
    }
    StableMergeSort(items, [&](const auto& a, const auto& b) { return compare(a.first, b.first); });
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        order[i] = items[i].second;
    }
    ApplyOrder(order);
}

}  // namespace corvane::engine
