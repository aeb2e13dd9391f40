#include "history/history_commands.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "base/integer_text.h"
#include "cli/table_output.h"
#include "engine/results_table.h"
#include "engine/text_ops.h"
#include "history/survey_compare.h"

namespace corvane::history {

namespace {

// Display width of a byte string: UTF-8 continuation bytes take no column.
std::size_t Width(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

using cli::Printable;

struct Column {
    std::string caption;
    bool right;  // figures read from the right
};

// An aligned text table in the layout of the survey tables: captions, a
// rule, then the rows, columns two blanks apart, trailing blanks cut.
void WriteAligned(std::ostream& out, const std::vector<Column>& columns,
                  const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> width(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        width[c] = Width(columns[c].caption);
        for (const auto& row : rows) {
            width[c] = std::max(width[c], Width(Printable(row[c])));
        }
    }
    auto line = [&](auto cellOf) {
        std::string text;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string cell = Printable(cellOf(c));
            const std::string pad(width[c] - Width(cell), ' ');
            if (c > 0)
                text += "  ";
            text += columns[c].right ? pad + cell : cell + pad;
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out << text << '\n';
    };
    line([&](std::size_t c) { return columns[c].caption; });
    line([&](std::size_t c) { return std::string(width[c], '-'); });
    for (const auto& row : rows) {
        line([&](std::size_t c) { return row[c]; });
    }
}

void WriteCsvRecord(std::ostream& out, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out << ',';
        out << cli::CsvField(fields[i]);
    }
    out << "\r\n";
}

// Sends CSV to `out` ("-") or to a file, through `write`.
template <typename Write>
void WriteCsvTarget(const std::string& target, std::ostream& out, Write write) {
    if (target == "-") {
        write(out);
        out.flush();
        return;
    }
    std::ofstream file(target, std::ios::binary | std::ios::trunc);
    if (file) {
        write(file);
    }
    file.close();
    if (!file) {
        throw CommandError("cannot write " + target);
    }
}

std::string Quoted(std::string_view text) {
    return "\"" + Printable(text) + "\"";
}

std::string Describe(const SurveyInfo& info) {
    return "survey " + std::to_string(info.Id) + ", " + SurveyModeName(info.Mode) + " " +
           Quoted(info.Query) + ", profile " + Printable(info.Profile) + ", " + info.StartedUtc;
}

Survey Require(HistoryStore& store, std::int64_t id) {
    std::optional<Survey> survey = store.Find(id);
    if (!survey) {
        throw CommandError("no survey " + std::to_string(id) + " in the history");
    }
    return std::move(*survey);
}

constexpr std::size_t kChangedFigures = engine::kCellCount - 1;  // all but the rank

std::string Caption(int column, const char* const* captions = engine::kColumnCaptions) {
    return captions[column];
}

// The captions a recorded survey's table was shown under: those of today's
// web ("Traffic Rank") for any profile but the classic one.
const char* const* CaptionsOf(const SurveyInfo& info) {
    return info.Profile.empty() || info.Profile == kClassicProfile ? engine::kColumnCaptions
                                                                   : engine::kWebColumnCaptions;
}

}  // namespace

std::int64_t ParseSurveyId(std::string_view text) {
    // Up to 18 digits always fit in 64 bits.
    std::uint64_t value = 0;
    if (text.size() > 18 || !base::TryReadDecimalDigits(text, 999999999999999999u, value) ||
        value < 1) {
        throw CommandError("'" + Printable(text) +
                           "' is not a survey id (a whole number from 1 up)");
    }
    return static_cast<std::int64_t>(value);
}

HistoryStore OpenHistory(const std::string& path, std::ostream& err, std::string_view program) {
    HistoryStore store(path);
    if (!store.Notice().empty()) {
        std::string notice = store.Notice();
        std::replace(notice.begin(), notice.end(), '\n', ' ');
        std::replace(notice.begin(), notice.end(), '\r', ' ');
        err << program << notice << '\n';
    }
    return store;
}

void ListSurveys(HistoryStore& store, const ListArgs& args, std::ostream& out) {
    if (args.Limit && *args.Limit < 1) {
        throw CommandError("the limit must be 1 or more");
    }
    ListFilter filter;
    filter.QueryContains = args.Query;
    filter.Limit = args.Limit.value_or(0);
    const std::vector<SurveyInfo> surveys = store.List(filter);
    if (surveys.empty()) {
        out << (args.Query.empty() ? "no surveys recorded\n" : "no recorded survey matches\n");
        return;
    }
    std::vector<std::vector<std::string>> rows;
    rows.reserve(surveys.size());
    for (const SurveyInfo& s : surveys) {
        rows.push_back({std::to_string(s.Id), s.StartedUtc, QueryLabel(s.Query, s.Mode), s.Profile,
                        std::to_string(s.RowCount), SurveyEndName(s.End)});
    }
    WriteAligned(out,
                 {{"ID", true},
                  {"Started (UTC)", false},
                  {"Query", false},
                  {"Profile", false},
                  {"Rows", true},
                  {"Ended", false}},
                 rows);
}

void ShowSurvey(HistoryStore& store, const ShowArgs& args, std::ostream& out) {
    const Survey survey = Require(store, args.Id);
    engine::ResultsTable table;
    FillTable(table, survey.Rows);
    const char* const* captions = CaptionsOf(survey.Info);
    if (args.Csv != "-") {
        cli::WriteTextTable(out, table, captions);
        out.flush();
    }
    if (!args.Csv.empty()) {
        WriteCsvTarget(args.Csv, out, [&](std::ostream& o) { cli::WriteCsv(o, table, captions); });
    }
}

void CompareSurveyIds(HistoryStore& store, const CompareArgs& args, std::ostream& out) {
    const Survey after = Require(store, args.After);
    std::int64_t beforeId = 0;
    if (args.Before) {
        beforeId = *args.Before;
    } else if (const std::optional<std::int64_t> previous = store.PreviousOf(args.After)) {
        beforeId = *previous;
    } else {
        throw CommandError("survey " + std::to_string(args.After) +
                           " has no earlier survey of the same query and profile; give two ids");
    }
    const Survey before = Require(store, beforeId);
    const std::vector<ComparedHost> hosts = CompareSurveys(before.Rows, after.Rows);
    // Two surveys of today's web compare their traffic ranks; a classic
    // survey's captions otherwise.
    const char* const* captions = CaptionsOf(before.Info) == CaptionsOf(after.Info)
                                      ? CaptionsOf(after.Info)
                                      : engine::kColumnCaptions;

    auto figure = [](const std::optional<HistoryRow>& row, int column) {
        return row ? row->Figures[static_cast<std::size_t>(column - 1)] : std::string();
    };
    if (args.Csv != "-") {
        out << "before: " << Describe(before.Info) << '\n';
        out << "after:  " << Describe(after.Info) << "\n\n";
        std::vector<Column> columns = {{Caption(0, captions), false},
                                       {"Rank before", true},
                                       {"Rank after", true},
                                       {"Movement", false}};
        for (int c = 2; c <= engine::kCellCount; ++c) {
            columns.push_back({Caption(c, captions) + " change", true});
        }
        std::vector<std::vector<std::string>> rows;
        for (const ComparedHost& h : hosts) {
            std::vector<std::string> row = {h.Host, figure(h.Before, 1), figure(h.After, 1),
                                            MovementText(h)};
            for (int c = 2; c <= engine::kCellCount; ++c) {
                row.push_back(h.Before && h.After
                                  ? FigureChange(figure(h.Before, c), figure(h.After, c))
                                  : std::string());
            }
            rows.push_back(std::move(row));
        }
        WriteAligned(out, columns, rows);
        out.flush();
    }
    if (!args.Csv.empty()) {
        WriteCsvTarget(args.Csv, out, [&](std::ostream& o) {
            std::vector<std::string> header = {Caption(0, captions), "Rank before", "Rank after",
                                               "Movement"};
            header.reserve(4 + 3 * kChangedFigures);
            for (int c = 2; c <= engine::kCellCount; ++c) {
                header.push_back(Caption(c, captions) + " before");
                header.push_back(Caption(c, captions) + " after");
                header.push_back(Caption(c, captions) + " change");
            }
            WriteCsvRecord(o, header);
            for (const ComparedHost& h : hosts) {
                std::vector<std::string> record = {h.Host, figure(h.Before, 1), figure(h.After, 1),
                                                   MovementText(h)};
                for (int c = 2; c <= engine::kCellCount; ++c) {
                    record.push_back(figure(h.Before, c));
                    record.push_back(figure(h.After, c));
                    record.push_back(h.Before && h.After
                                         ? FigureChange(figure(h.Before, c), figure(h.After, c))
                                         : std::string());
                }
                WriteCsvRecord(o, record);
            }
        });
    }
}

void ExportHistory(HistoryStore& store, const ExportArgs& args, std::ostream& out) {
    if (args.Csv.empty()) {
        throw CommandError("export writes CSV: give a file, or - for standard output");
    }
    WriteCsvTarget(args.Csv, out, [&](std::ostream& o) {
        std::vector<std::string> header = {
            "Survey",  "Started (UTC)", "Ended (UTC)", "Query", "Mode",
            "Profile", "Results",       "Skip",        "Ended", "Row"};
        for (int c = 0; c < engine::kColumnCount; ++c) {
            header.push_back(Caption(c));
        }
        WriteCsvRecord(o, header);
        std::vector<std::string> record;
        store.ForEachRow([&](const SurveyInfo& info, std::size_t position, const HistoryRow& row) {
            record = {std::to_string(info.Id),
                      info.StartedUtc,
                      info.EndedUtc,
                      info.Query,
                      SurveyModeName(info.Mode),
                      info.Profile,
                      std::to_string(info.ResultCount),
                      std::to_string(info.Skip),
                      SurveyEndName(info.End),
                      std::to_string(position + 1),
                      row.Host};
            record.insert(record.end(), row.Figures.begin(), row.Figures.end());
            WriteCsvRecord(o, record);
        });
    });
}

void ForgetSurvey(HistoryStore& store, const ForgetArgs& args, std::ostream& out) {
    const std::optional<SurveyInfo> info = store.FindInfo(args.Id);
    if (!info || !store.Forget(args.Id)) {
        throw CommandError("no survey " + std::to_string(args.Id) + " in the history");
    }
    out << "forgot " << Describe(*info) << " (" << info->RowCount << " rows)\n";
}

}  // namespace corvane::history
