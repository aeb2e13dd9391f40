#include "engine/survey_file.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/integer_text.h"
#include "platform/atomic_file.h"
#include "platform/profile_reader.h"

namespace corvane::engine {

namespace {

// The keys of the five cells, in column order.
constexpr const char* kCellKeys[kCellCount] = {"rank", "in", "out", "val", "alex"};

std::string SectionName(std::size_t index) {
    return "item" + std::to_string(index);
}

// "check": decimal, or hexadecimal after "0x" or "0X" when the value is
// longer than those two characters (not the figure rule: "$0" is no integer
// here). Any integer other than 0 is true, 0 is false; a value that is not
// an integer counts as missing, and a missing one as true. A number too long
// to read is no 0, so it counts as true either way.
bool CheckedFrom(const std::optional<std::string>& value) {
    if (!value) {
        return true;
    }
    const std::string_view text = *value;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint64_t number = 0;
        return !base::TryReadHexDigits(text.substr(2), UINT64_MAX, number) || number != 0;
    }
    std::int32_t number = 0;
    return !base::TryReadDecimalInt32(text, number) || number != 0;
}

void AppendQuoted(std::string& out, const char* key, std::string_view value) {
    out += key;
    out += "=\"";
    for (char c : value) {
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    out += "\"\r\n";
}

}  // namespace

void ReadSurvey(ResultsTable& table, const platform::ProfileFile& profile) {
    if (table.Count() != 0) {
        table.Clear();
    }
    const std::size_t count = profile.SectionNames().size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<platform::ProfileFile::Section> section =
            profile.FindSection(SectionName(i));
        auto read = [&](const char* key) {
            return section ? section->Value(key) : std::optional<std::string>();
        };
        const RowHandle row = table.Append();
        bool kept = table.SetCaption(row, read("url").value_or(std::string()));
        for (const char* key : kCellKeys) {
            kept = kept && table.AppendCell(row, read(key).value_or(std::string()));
        }
        kept = kept && table.SetChecked(row, CheckedFrom(read("check")));
        if (!kept) {
            // An observer cleared the table while this row was written: the
            // reading is over, and the rows after it are not added to a
            // table that no longer holds the ones before.
            return;
        }
    }
}

bool LoadSurvey(ResultsTable& table, const std::string& fileName, std::error_code* error) {
    table.Clear();
    platform::ProfileFile profile;
    if (!profile.Load(fileName, error)) {
        return false;
    }
    ReadSurvey(table, profile);
    return true;
}

std::string FormatSurvey(const ResultsTable& table) {
    std::string out;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const ResultRow& row = table.Row(i);
        out += '[';
        out += SectionName(i);
        out += "]\r\n";
        AppendQuoted(out, "url", row.Caption);
        for (int c = 0; c < kCellCount; ++c) {
            AppendQuoted(out, kCellKeys[c], row.Column(c + 1));
        }
        out += row.Checked ? "check=1\r\n" : "check=0\r\n";
    }
    return out;
}

void SaveSurvey(const ResultsTable& table, const std::string& fileName) {
    platform::ReplaceFileAtomically(fileName, FormatSurvey(table));
}

}  // namespace corvane::engine
