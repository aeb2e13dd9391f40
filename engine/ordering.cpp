#include "engine/ordering.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/ascii.h"
#include "engine/text_ops.h"

namespace corvane::engine {

std::int32_t SortColumn = 0;

namespace {

// Direction of each column: +1 ascending, -1 descending.
constexpr int kDirection[kColumnCount] = {+1, +1, -1, +1, -1, +1};

}  // namespace

int CompareCaptions(std::string_view a, std::string_view b) {
    return base::CompareIgnoringCase(a, b);
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
    // The order ListView1Compare gives, from the figures the table keeps
    // converted.
    std::vector<Figure> figures(table.Count());
    for (std::size_t i = 0; i < figures.size(); ++i) {
        if (const auto v = table.FigureAt(i, column))
            figures[i] = Figure{true, *v};
    }
    table.SortByKeys(std::move(figures),
                     [column](Figure a, Figure b) { return CompareFigures(a, b, column); });
}

}  // namespace corvane::engine
