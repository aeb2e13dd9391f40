// The results table: the ordered rows of one survey.
//
// A row is a caption (the site's host) plus up to five figure cells and a
// Checked flag. Rows are addressed either by index (their current place) or
// by a RowHandle, which keeps naming the same row while the table is
// re-ordered and turns invalid, detectably, once the table is cleared.
// Observers hear of every change so that a view can follow the table without
// keeping a copy of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane::engine {

// Number of figure cells of a complete row, and the column captions.
inline constexpr int kCellCount = 5;
inline constexpr int kColumnCount = kCellCount + 1;
extern const char* const kColumnCaptions[kColumnCount];

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
    // handle no longer names a row of the table.
    bool SetCaption(RowHandle row, std::string caption);
    bool AppendCell(RowHandle row, std::string text);
    bool SetChecked(RowHandle row, bool checked);

    bool IsValid(RowHandle row) const;
    std::size_t Count() const { return rows_.size(); }
    // Row by current index; throws std::out_of_range past the end.
    const ResultRow& Row(std::size_t index) const;
    RowHandle HandleAt(std::size_t index) const;
    // Current index of a row, or -1 when the handle is no longer valid.
    std::int64_t IndexOf(RowHandle row) const;

    // Orders the rows by `compare` (negative: first argument goes first).
    // A stable merge sort that stays sound for any answers of the compare,
    // inconsistent ones included: it ends, keeps every row exactly once and
    // keeps every handle on its row.
    using Compare = std::function<int(const ResultRow&, const ResultRow&)>;
    void Sort(const Compare& compare);

    void AddObserver(TableObserver* observer);
    void RemoveObserver(TableObserver* observer);

private:
    struct Entry {
        std::uint64_t id;
        ResultRow row;
    };
    Entry* Find(RowHandle row);
    template <typename F>
    void Notify(F&& f);

    std::vector<Entry> rows_;
    std::unordered_map<std::uint64_t, std::size_t> indexOfId_;
    std::uint64_t nextId_ = 1;
    std::vector<TableObserver*> observers_;
};

}  // namespace corvane::engine
