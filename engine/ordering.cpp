#include "engine/ordering.h"

#include <algorithm>

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

int ListView1Compare(const ResultRow& item1, const ResultRow& item2) {
    const std::int32_t column = SortColumn;
    if (column < 0 || column >= kColumnCount) {
        return 0;
    }
    if (column == 0) {
        return CompareCaptions(item1.Caption, item2.Caption);
    }
    bool has1 = false;
    bool has2 = false;
    const std::string& text1 = item1.Column(column, &has1);
    const std::string& text2 = item2.Column(column, &has2);
    std::int32_t v1 = 0;
    std::int32_t v2 = 0;
    if (!has1 || !has2 || !TryFigureToInt(text1, v1) || !TryFigureToInt(text2, v2)) {
        return 0;
    }
    // Compared, never subtracted: the difference of two 32-bit figures
    // need not fit in 32 bits.
    const int ascending = v1 < v2 ? -1 : (v1 > v2 ? 1 : 0);
    return ascending * kDirection[column];
}

void ListView1ColumnClick(ResultsTable& table, std::int32_t column) {
    SortColumn = column;
    table.Sort(ListView1Compare);
}

}  // namespace corvane::engine
