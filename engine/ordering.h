// Ordering of the results table by one column, as a click on a column
// header of the results list asks for.
//
// Each column has one fixed direction, so that the most telling rows come
// first: captions and ranks ascending, inbound links and link values
// descending (largest first), outbound links and traffic ranks ascending.
// A click sorts once; the table is not kept sorted afterwards.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/results_table.h"

namespace corvane::engine {

// The 0-based index of the column last clicked: 0 the caption, 1..5 the
// cells. Process-wide, 0 at start; the compare reads it.
extern std::int32_t SortColumn;

// Caption order: byte by byte, the ASCII letters "a".."z" taken as "A".."Z"
// and every other byte by its unsigned value; the first differing byte
// decides, and when one text begins the other the shorter goes first.
// Returns -1, 0 or 1.
int CompareCaptions(std::string_view a, std::string_view b);

// Negative when `item1` goes before `item2` in the order of column
// `SortColumn`, positive when after, 0 when they count as equal. Figure
// columns compare their cells as integers (TryFigureToInt); when either
// cell is missing or does not convert, the rows count as equal. A column
// outside 0..5 makes every pair equal. Returns -1, 0 or 1.
int ListView1Compare(const ResultRow& item1, const ResultRow& item2);

// A click on the header of `column`: sets SortColumn and sorts the whole
// table with ListView1Compare. Row handles keep naming their rows.
void ListView1ColumnClick(ResultsTable& table, std::int32_t column);

}  // namespace corvane::engine
