// Printing a results table: as an aligned text table under the six column
// captions, or as CSV (RFC 4180).
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "engine/results_table.h"

namespace corvane::cli {

// Columns padded to their widest cell; figure columns aligned right.
// `captions`: the six column captions (a today's-web survey names its sixth
// column otherwise).
void WriteTextTable(std::ostream& out, const engine::ResultsTable& table,
                    const char* const* captions = engine::kColumnCaptions);

// A header row with the captions, then one record per row; fields quoted
// when they hold a comma, a quote, CR or LF (or begin or end with a blank),
// quotes doubled; records end with CR LF.
void WriteCsv(std::ostream& out, const engine::ResultsTable& table,
              const char* const* captions = engine::kColumnCaptions);
std::string CsvField(std::string_view text);

// Text safe for a terminal: control bytes (a scraped page may hold any)
// become "?".
std::string Printable(std::string_view s);

}  // namespace corvane::cli
