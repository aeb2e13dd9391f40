// The survey history: every recorded survey with its rows, kept in one
// SQLite file shared by every Corvane process of the user.
//
// The file runs in WAL mode with a busy timeout, so that the desktop program
// and a batch started by a timer can both write at once; each survey goes in
// with one transaction, so a process killed half-way loses at most the
// survey it was writing. A file that is not a database or fails SQLite's
// quick check is moved aside ("<file>.damaged-<UTC time>") and a new one is
// started; Notice() then says so.
//
// The quick check reads the whole file, which takes a tenth of a second at
// ten thousand surveys, so it is not run at every opening: a small stamp
// beside the history ("<file>.checked", see SoundStampPath) records the
// state the file was last found sound in (device, inode, size, modification
// and change times of the file and of its write-ahead log). An opening that
// finds the file in that state skips the check; the store refreshes the
// stamp after each of its own writes and when it closes, as long as the
// stamp still vouched for the file just before.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_run.h"

namespace corvane::history {

class SqliteConnection;

// A history that cannot be used as asked: a file written by a newer schema,
// a malformed record. The message is meant for the user.
class HistoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The profile of the surveys this program runs today.
inline constexpr const char* kClassicProfile = "classic";

enum class SurveyEnd { Done, Stopped, Failed };

// "done", "stopped", "failed": the words stored and printed.
const char* SurveyEndName(SurveyEnd end);
// "keyword", "domain".
const char* SurveyModeName(engine::SurveyMode mode);

// The query as a batch file or a listing writes it: the keyword itself, or
// "domain:" and the domain.
std::string QueryLabel(std::string_view query, engine::SurveyMode mode);

// A time as recorded: "YYYY-MM-DDTHH:MM:SSZ", UTC.
std::string UtcTimestamp(std::chrono::system_clock::time_point time);
bool IsUtcTimestamp(std::string_view text);

// One row as the table showed it: the host and the five figure texts in
// column order. Its place in the table is its index in the survey's rows.
struct HistoryRow {
    std::string Host;
    std::array<std::string, engine::kCellCount> Figures;

    // The rank figure as an integer, when it is one.
    std::optional<std::int32_t> Rank() const;
};

// Everything about a survey but its rows. Id and RowCount are the store's
// to fill; a record passed in leaves them as they are.
struct SurveyInfo {
    std::int64_t Id = 0;
    std::string Query;
    engine::SurveyMode Mode = engine::SurveyMode::Keyword;
    std::string Profile = kClassicProfile;
    std::int32_t ResultCount = 0;
    std::int32_t Skip = 0;
    std::string StartedUtc;
    std::string EndedUtc;
    SurveyEnd End = SurveyEnd::Done;
    std::int64_t RowCount = 0;
};

struct Survey {
    SurveyInfo Info;
    std::vector<HistoryRow> Rows;  // in table order
};

// The rows of a results table as recorded, in table order (a row still
// being filled reads its missing cells as empty).
std::vector<HistoryRow> RowsFromTable(const engine::ResultsTable& table);
// Replaces the table's rows with recorded ones (Checked false, as a run
// leaves them).
void FillTable(engine::ResultsTable& table, const std::vector<HistoryRow>& rows);

struct ListFilter {
    std::string QueryContains;  // ASCII case ignored; empty: every survey
    std::int64_t Limit = 0;     // 0: no limit
};

// One point of a host's rank over time: a survey of the series and the
// host's best rank in it, none when the host was not in that survey.
struct RankPoint {
    std::int64_t SurveyId = 0;
    std::string StartedUtc;
    std::optional<std::int32_t> Rank;
};

class HistoryStore {
  public:
    // The schema this build writes; files of an older one are migrated
    // when opened.
    static constexpr int kSchemaVersion = 2;
    static constexpr int kBusyTimeoutMs = 5000;

    // Opens the history file, creating it (and its folder) when missing.
    // Throws HistoryError for a file of a newer schema and SqliteError when
    // the file cannot be opened at all (no permission, locked past the
    // busy timeout).
    explicit HistoryStore(const std::string& path);
    ~HistoryStore();
    HistoryStore(HistoryStore&&) noexcept;
    HistoryStore& operator=(HistoryStore&&) noexcept;

    const std::string& Path() const { return path_; }
    // Empty, or the message that the file was damaged, where it went and
    // that a new history was started.
    const std::string& Notice() const { return notice_; }
    // Whether this opening ran the whole-file check (false when the stamp
    // vouched for the file as it was).
    bool CheckedWholeFile() const { return checkedWholeFile_; }

    // Records one survey with its rows; returns its id. Throws HistoryError
    // for a malformed record (a time that is not UTC ISO 8601).
    std::int64_t Record(const SurveyInfo& info, const std::vector<HistoryRow>& rows);

    // Newest first (by start time, then id).
    std::vector<SurveyInfo> List(const ListFilter& filter = {});
    std::optional<SurveyInfo> FindInfo(std::int64_t id);
    std::optional<Survey> Find(std::int64_t id);
    // The latest survey with rows of the same query, mode and profile that
    // started before survey `id`.
    std::optional<std::int64_t> PreviousOf(std::int64_t id);
    // Removes a survey and its rows; false when there is none with that id.
    bool Forget(std::int64_t id);

    // Every row of every survey, oldest survey first, rows in table order.
    using RowVisitor =
        std::function<void(const SurveyInfo& info, std::size_t position, const HistoryRow& row)>;
    void ForEachRow(const RowVisitor& visit);

    // The host's rank in every survey of one query, mode and profile,
    // oldest first.
    std::vector<RankPoint> RankSeries(std::string_view host, std::string_view query,
                                      engine::SurveyMode mode, std::string_view profile);

    std::int64_t SurveyCount();
    // The connection, for checks and maintenance.
    SqliteConnection& Connection() { return *db_; }

  private:
    void OpenFile();
    // Closes the connection, refreshing the stamp when it vouched for the
    // file until then (the last connection's checkpoint rewrites the file).
    void Close() noexcept;
    // Runs `action`; an error that says the file is damaged drops the stamp,
    // so that the next opening checks the whole file, and says so.
    template <typename Action>
    auto Guarded(Action&& action) -> decltype(action());

    std::string path_;
    std::string notice_;
    std::unique_ptr<SqliteConnection> db_;
    bool checkedWholeFile_ = false;
};

// The stamp beside the history file `path`: "<path>.checked". SQLite's own
// files beside it end in "-wal", "-shm" and "-journal", so it never meets
// one of them.
std::string SoundStampPath(const std::string& path);
// Records the present state of the history file `path` (and of its
// write-ahead log) as found sound, without looking inside it. The store
// calls it only for a file it checked or changed itself; false when the
// file is missing or the stamp could not be written.
bool StampAsSound(const std::string& path);

// "$XDG_DATA_HOME/corvane/history.sqlite" (XDG_DATA_HOME defaulting to
// ~/.local/share).
std::string DefaultHistoryPath();

}  // namespace corvane::history
