// A lists folder: per kind an index file ("tranco.idx") and a small INI
// file beside it ("tranco.ini") saying when and from where the list came.
// Both are replaced atomically, the index first, so that a failed import
// leaves the old list whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lists/rank_lists.h"

namespace corvane::lists {

std::string IndexPathOf(const std::string& folder, ListKind kind);
std::string InfoPathOf(const std::string& folder, ListKind kind);

// Where a list being imported came from.
struct ImportSource {
    std::string Origin;  // URL or file
    std::string ListId;  // Tranco's permanent list ID, when known
    // The list's date when the content does not tell (a download's
    // Last-Modified, a file's modification time); 0: the import's time.
    std::int64_t ListTime = 0;
    // Refuse a list of another kind (a download from the wrong address).
    std::optional<ListKind> Expected;
};

// Imports content (CSV or zip) into `folder`, creating the folder when
// missing. Throws ListError for content that is not a list (or not the
// expected kind) and for a folder that cannot be written; the old list then
// stays.
ImportReport ImportList(std::string_view content, const std::string& folder,
                        const ImportSource& source);

// The same for a file, read in place; a ListError names the file. A zero
// ListTime in `source` becomes the file's modification time.
ImportReport ImportFileAs(const std::string& file, const std::string& folder, ImportSource source);

// "2026-01-31" for a Unix time (UTC); empty for 0.
std::string DateText(std::int64_t unixTime);

}  // namespace corvane::lists
