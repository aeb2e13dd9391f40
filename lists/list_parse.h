// Reading a rank list as it is published: a CSV text, or a zip archive
// holding one. The kind is recognised from the content, never from a file
// name:
//   - a zip archive (its magic bytes) is opened in memory and the CSV file
//     in it read;
//   - a first line that names a Domain column is a header: with a
//     RefSubNets column the list is a Majestic Million, with a Rank column a
//     Tranco list; the columns are found by their names;
//   - otherwise most of the first lines must be Tranco rows "rank,domain".
// A line that does not fit is skipped and counted; content that is not a
// list at all is refused with a ListError saying what it looks like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lists/list_index.h"
#include "lists/rank_lists.h"

namespace corvane::lists {

struct ParsedList {
    ListKind Kind = ListKind::Tranco;
    IndexBuilder Rows;        // the list's entries in file order
    std::size_t Skipped = 0;  // malformed lines
    // The time stamp of the CSV file in a zip archive (Unix time); 0 when
    // the content does not tell.
    std::int64_t ListTime = 0;
};

// Throws ListError for content that is not a rank list.
ParsedList ParseList(std::string_view content);

}  // namespace corvane::lists
