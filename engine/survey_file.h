// Survey files: one results table kept as INI text (extension "cvn").
//
// One section per row, in table order, named "item" followed by the row's
// 0-based index, with the keys "url" (caption), "rank", "in", "out", "val",
// "alex" (the five cells) and "check" (the Checked flag as an integer).
// Rows are read by count, not by name: a file with n sections yields the
// rows of item0 up to item<n-1>, whatever its sections are called.
//
// The reader's list of section names (16384 bytes) bounds what one file can
// bring in: with sections named as SaveSurvey names them, 1944 rows. Larger
// tables are still saved whole.
#pragma once

#include <string>
#include <system_error>

#include "engine/results_table.h"

namespace corvane::platform {
class ProfileFile;
}

namespace corvane::engine {

inline constexpr const char* kSurveyFileExtension = "cvn";

// Replaces the table's rows with those of the file. A file that does not
// exist, cannot be read or holds no section leaves the table empty. Returns
// false (with the reason in `error`, when given) when the file could not be
// read at all; the table is empty then.
bool LoadSurvey(ResultsTable& table, const std::string& fileName, std::error_code* error = nullptr);

// Replaces the table's rows with those of a profile already read (an empty
// table is not cleared again).
void ReadSurvey(ResultsTable& table, const platform::ProfileFile& profile);

// The text SaveSurvey writes. Every text value is enclosed in quotation
// marks, so that blanks at its ends and quotation marks of its own read back
// as they were, and each CR and LF in it is written as a blank, so that no
// value can break into extra lines or sections. A row with fewer than five
// cells is written with empty ones.
std::string FormatSurvey(const ResultsTable& table);

// Writes the table to the file, replacing it as a whole (a temporary file
// in the same folder, flushed, renamed over the target). Throws
// platform::AtomicFileError when the file could not be written; the old
// file is then left as it was.
void SaveSurvey(const ResultsTable& table, const std::string& fileName);

}  // namespace corvane::engine
