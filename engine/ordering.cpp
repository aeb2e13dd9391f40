#include "engine/ordering.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/text_ops.h"

namespace corvane::engine {

std::int32_t SortColumn = 0;

namespace {

// Direction of each column: +1 ascending, -1 descending.
constexpr int kDirection[kColumnCount] = {+1, +1, -1, +1, -1, +1};

unsigned char UpperAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

}  // namespace

int CompareCaptions(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = UpperAscii(a[i]);
        const unsigned char y = UpperAscii(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

namespace {

// A figure cell as the compare sees it: its value, or not a number (a
// missing cell, or a text that does not convert).
struct Figure {
    bool ok = false;
    std::int32_t value = 0;
};

Figure FigureOf(const ResultRow& row, std::int32_t column) {
    bool has = false;
    const std::string& text = row.Column(column, &has);
    Figure f;
    f.ok = has && TryFigureToInt(text, f.value);
    return f;
}

int CompareFigures(Figure a, Figure b, std::int32_t column) {
    if (!a.ok || !b.ok) {
        return 0;
    }
    // Compared, never subtracted: the difference of two 32-bit figures
    // need not fit in 32 bits.
    const int ascending = a.value < b.value ? -1 : (a.value > b.value ? 1 : 0);
    return ascending * kDirection[column];
}

// The figures of one column, converted once per row instead of twice per
// compare. The table keeps its rows where they are while it chooses the new
// order (it moves them once, at the end), so during one sort a row is known
// by its address: the address gives the row's slot directly, from the
// distance between rows, and the slot names the row it was filled from. The
// compare thus reads neither the rows nor their cells, which on a large
// table is most of the cost. An address that leads to no slot filled from
// that very address is converted on the spot, so the answers are those of
// ListView1Compare as long as the rows stay put during the sort (the
// ordering tests compare the two on random tables).
class FigureCache {
public:
    FigureCache(const ResultsTable& table, std::int32_t column) : column_(column) {
        const std::size_t n = table.Count();
        if (n < 2) return;
        base_ = Address(table.Row(0));
        const std::uintptr_t second = Address(table.Row(1));
        if (second <= base_) return;
        // Rows are a whole number of strides apart, so the index is an exact
        // division: a shift by the stride's power of two, then a
        // multiplication by the inverse of its odd part (modulo 2^64).
        std::uint64_t stride = second - base_;
        while ((stride & 1) == 0) {
            stride >>= 1;
            ++shift_;
        }
        inverse_ = stride;  // correct to 3 bits; each step doubles that
        for (int i = 0; i < 5; ++i) inverse_ *= 2 - stride * inverse_;
        usable_ = true;
        slots_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const ResultRow& row = table.Row(i);
            slots_[i] = Slot{&row, FigureOf(row, column)};
        }
    }

    Figure Find(const ResultRow& row) const {
        const std::uintptr_t at = Address(row);
        if (usable_ && at >= base_) {
            const std::uint64_t index = (static_cast<std::uint64_t>(at - base_) >> shift_) * inverse_;
            if (index < slots_.size() && slots_[index].row == &row) {
                return slots_[index].figure;
            }
        }
        return FigureOf(row, column_);
    }

private:
    struct Slot {
        const ResultRow* row = nullptr;
        Figure figure;
    };
    static std::uintptr_t Address(const ResultRow& row) { return reinterpret_cast<std::uintptr_t>(&row); }

    std::int32_t column_;
    std::uintptr_t base_ = 0;
    bool usable_ = false;
    int shift_ = 0;
    std::uint64_t inverse_ = 0;
    std::vector<Slot> slots_;
};

}  // namespace

int ListView1Compare(const ResultRow& item1, const ResultRow& item2) {
    const std::int32_t column = SortColumn;
    if (column < 0 || column >= kColumnCount) {
        return 0;
    }
    if (column == 0) {
        return CompareCaptions(item1.Caption, item2.Caption);
    }
    return CompareFigures(FigureOf(item1, column), FigureOf(item2, column), column);
}

void ListView1ColumnClick(ResultsTable& table, std::int32_t column) {
    SortColumn = column;
    if (column < 1 || column >= kColumnCount || table.Count() < 2) {
        table.Sort(ListView1Compare);
        return;
    }
    // The same order as ListView1Compare gives, with each figure converted
    // once.
    const FigureCache figures(table, column);
    table.Sort([&](const ResultRow& a, const ResultRow& b) {
        return CompareFigures(figures.Find(a), figures.Find(b), column);
    });
}

}  // namespace corvane::engine
