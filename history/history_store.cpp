#include "history/history_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "base/ascii.h"
#include "engine/text_ops.h"
#include "history/sqlite_db.h"
#include "platform/user_paths.h"

namespace corvane::history {

namespace {

namespace fs = std::filesystem;

// The schema, step by step: migration i brings a file from user_version i
// to i + 1. A file is brought forward through every step it lacks, in one
// transaction, so that a process killed while migrating leaves the file at
// its old version.
constexpr const char* kMigrations[HistoryStore::kSchemaVersion] = {
    // 1: surveys and their rows.
    R"sql(
CREATE TABLE surveys (
    id           INTEGER PRIMARY KEY,
    query        TEXT    NOT NULL,
    mode         TEXT    NOT NULL CHECK (mode IN ('keyword', 'domain')),
    result_count INTEGER NOT NULL,
    skip         INTEGER NOT NULL,
    started_at   TEXT    NOT NULL,
    ended_at     TEXT    NOT NULL,
    outcome      TEXT    NOT NULL CHECK (outcome IN ('done', 'stopped', 'failed'))
);
CREATE TABLE survey_rows (
    survey_id    INTEGER NOT NULL REFERENCES surveys (id) ON DELETE CASCADE,
    position     INTEGER NOT NULL,
    rank         INTEGER,
    host         TEXT    NOT NULL,
    rank_text    TEXT    NOT NULL,
    inbound      TEXT    NOT NULL,
    outbound     TEXT    NOT NULL,
    link_value   TEXT    NOT NULL,
    traffic_rank TEXT    NOT NULL,
    PRIMARY KEY (survey_id, position)
) WITHOUT ROWID;
)sql",
    // 2: the profile a survey ran with (every older one ran the classic
    // profile), a kept row count for listings, and the indexes behind
    // listings, the previous-survey look-up and rank series.
    R"sql(
ALTER TABLE surveys ADD COLUMN profile TEXT NOT NULL DEFAULT 'classic';
ALTER TABLE surveys ADD COLUMN row_count INTEGER NOT NULL DEFAULT 0;
UPDATE surveys SET row_count = (SELECT count(*) FROM survey_rows WHERE survey_id = surveys.id);
CREATE INDEX surveys_by_start ON surveys (started_at, id);
CREATE INDEX surveys_by_query ON surveys (query, mode, profile, started_at, id);
CREATE INDEX survey_rows_by_host ON survey_rows (host, survey_id);
)sql",
};

constexpr const char* kInfoColumns =
    "id, query, mode, profile, result_count, skip, started_at, ended_at, outcome, row_count";

SurveyEnd EndFromName(std::string_view name) {
    if (name == "done")
        return SurveyEnd::Done;
    if (name == "stopped")
        return SurveyEnd::Stopped;
    return SurveyEnd::Failed;
}

engine::SurveyMode ModeFromName(std::string_view name) {
    return name == "domain" ? engine::SurveyMode::Domain : engine::SurveyMode::Keyword;
}

std::int32_t ToInt32(std::int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX) {
        throw HistoryError("history file holds a count outside the 32-bit range");
    }
    return static_cast<std::int32_t>(value);
}

// Reads the kInfoColumns of the current row, from column `first` on.
SurveyInfo InfoFrom(const SqliteStatement& s, int first = 0) {
    SurveyInfo info;
    info.Id = s.Int(first);
    info.Query = s.Text(first + 1);
    info.Mode = ModeFromName(s.Text(first + 2));
    info.Profile = s.Text(first + 3);
    info.ResultCount = ToInt32(s.Int(first + 4));
    info.Skip = ToInt32(s.Int(first + 5));
    info.StartedUtc = s.Text(first + 6);
    info.EndedUtc = s.Text(first + 7);
    info.End = EndFromName(s.Text(first + 8));
    info.RowCount = s.Int(first + 9);
    return info;
}

// Reads a row's host and five figures from column `first` on.
HistoryRow RowFrom(const SqliteStatement& s, int first) {
    HistoryRow row;
    row.Host = s.Text(first);
    for (int c = 0; c < engine::kCellCount; ++c) {
        row.Figures[static_cast<std::size_t>(c)] = s.Text(first + 1 + c);
    }
    return row;
}

// ---- the stamp of a file found sound ----
//
// What identifies one state of a file: a change made through the file
// system moves at least one of these. The change time of the history file
// cannot be set back by a program (unlike the modification time), so damage
// written over it is seen even when it keeps the size and the modification
// time is put back. What the stamp does not see: a change that keeps the
// size made within the same tick of the file system's clock as the stamped
// state, a change to the log that keeps its size and puts its modification
// time back, and damage below the file system (a failing disk, a restore
// that writes the device). SQLite then reports the damage when it reads the page
// (SQLITE_CORRUPT); the store drops the stamp so that the next opening
// checks the whole file and moves it aside (see Guarded).
struct FileId {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
    bool operator==(const FileId&) const = default;
};

// The history file with its write-ahead log. An empty log holds no frames
// (SQLite creates one at every opening and deletes it when the last
// connection closes), so it counts as no log at all.
struct FileState {
    FileId Main;
    std::optional<FileId> Wal;
    bool operator==(const FileState&) const = default;
};

constexpr const char* kStampTitle = "corvane history stamp 1";

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 +
           static_cast<std::int64_t>(t.tv_nsec);
}

// False when the file is missing or cannot be looked at. The change time is
// left at zero unless `withChangeTime`.
bool StatFile(const std::string& path, FileId& id, bool withChangeTime) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    id.Device = static_cast<std::uint64_t>(st.st_dev);
    id.Inode = static_cast<std::uint64_t>(st.st_ino);
    id.Size = static_cast<std::int64_t>(st.st_size);
    id.ModifiedNs = Nanoseconds(st.st_mtim);
    id.ChangedNs = withChangeTime ? Nanoseconds(st.st_ctim) : 0;
    return true;
}

// The present state; none when the file is missing, when a log or a
// rollback journal cannot be looked at, or when a rollback journal with
// contents is there (SQLite would roll it back into the file on first use).
std::optional<FileState> CurrentState(const std::string& path) {
    FileState state;
    if (!StatFile(path, state.Main, true)) {
        return std::nullopt;
    }
    for (const char* suffix : {"-wal", "-journal"}) {
        FileId id;
        // SQLite run by root gives the log the owner of the file at each
        // opening, which moves the log's change time: only its
        // modification time is kept.
        if (!StatFile(path + suffix, id, false)) {
            if (errno == ENOENT) {
                continue;
            }
            return std::nullopt;
        }
        if (id.Size == 0) {
            continue;
        }
        if (std::string_view(suffix) == "-journal") {
            return std::nullopt;
        }
        state.Wal = id;
    }
    return state;
}

std::string FormatId(const char* name, const FileId& id) {
    return std::string(name) + " " + std::to_string(id.Device) + " " + std::to_string(id.Inode) +
           " " + std::to_string(id.Size) + " " + std::to_string(id.ModifiedNs) + " " +
           std::to_string(id.ChangedNs) + "\n";
}

std::string FormatStamp(const FileState& state) {
    return std::string(kStampTitle) + "\n" + FormatId("main", state.Main) +
           (state.Wal ? FormatId("wal", *state.Wal) : std::string("wal none\n"));
}

// Reads one whole number and the one space or newline after it.
template <typename Number>
bool ReadNumber(std::string_view& text, Number& value, char end) {
    const auto [next, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const auto used = static_cast<std::size_t>(next - text.data());
    if (ec != std::errc() || used >= text.size() || text[used] != end) {
        return false;
    }
    text.remove_prefix(used + 1);
    return true;
}

bool ReadWord(std::string_view& text, std::string_view word) {
    if (!text.starts_with(word)) {
        return false;
    }
    text.remove_prefix(word.size());
    return true;
}

bool ReadId(std::string_view& text, FileId& id) {
    return ReadNumber(text, id.Device, ' ') && ReadNumber(text, id.Inode, ' ') &&
           ReadNumber(text, id.Size, ' ') && ReadNumber(text, id.ModifiedNs, ' ') &&
           ReadNumber(text, id.ChangedNs, '\n');
}

// The stamped state; none for a missing stamp or one that does not read
// exactly as FormatStamp writes (which then only costs a check).
std::optional<FileState> ReadStamp(const std::string& path) {
    const int fd = ::open(SoundStampPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got <= 0 || static_cast<std::size_t>(got) == sizeof buffer) {
        return std::nullopt;
    }
    std::string_view text(buffer, static_cast<std::size_t>(got));
    FileState state;
    if (!ReadWord(text, kStampTitle) || !ReadWord(text, "\nmain ") || !ReadId(text, state.Main)) {
        return std::nullopt;
    }
    if (ReadWord(text, "wal none\n")) {
        return text.empty() ? std::optional<FileState>(state) : std::nullopt;
    }
    FileId wal;
    if (!ReadWord(text, "wal ") || !ReadId(text, wal) || !text.empty()) {
        return std::nullopt;
    }
    state.Wal = wal;
    return state;
}

// Writes the stamp through a temporary file renamed over it, so that a
// reader never sees half of one. Not flushed to disk: a stamp lost in a
// power cut only costs one more check.
bool WriteStamp(const std::string& path, const FileState& state) {
    const std::string stamp = SoundStampPath(path);
    std::string temp = stamp + "-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    const std::string text = FormatStamp(state);
    const ssize_t put = ::write(fd, text.data(), text.size());
    const bool written = put >= 0 && static_cast<std::size_t>(put) == text.size();
    if (::close(fd) != 0 || !written || std::rename(temp.c_str(), stamp.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void DropStamp(const std::string& path) {
    ::unlink(SoundStampPath(path).c_str());
}

// The present state when the stamp vouches for it, else none.
std::optional<FileState> VouchedState(const std::string& path) {
    std::optional<FileState> now = CurrentState(path);
    if (!now || ReadStamp(path) != now) {
        return std::nullopt;
    }
    return now;
}

// After a change made through SQLite to a file the stamp vouched for just
// before (`before`), the file is as sound as it was: stamp its new state.
void RefreshStamp(const std::string& path, const std::optional<FileState>& before) {
    if (!before) {
        return;
    }
    const std::optional<FileState> now = CurrentState(path);
    if (now && *now != *before) {
        WriteStamp(path, *now);
    }
}

// SQLite's report of a failed check puts each problem (up to a hundred) on
// a line of its own under a "*** in database main ***" heading: the message
// keeps the first problem and counts the others, so that it stays one line.
std::string FirstProblem(std::string_view report) {
    std::string first;
    std::size_t others = 0;
    while (!report.empty()) {
        const std::size_t end = report.find('\n');
        const std::string_view line = report.substr(0, end);
        report.remove_prefix(end == std::string_view::npos ? report.size() : end + 1);
        if (line.empty() || line.starts_with("***")) {
            continue;
        }
        if (first.empty()) {
            first = line;
        } else {
            ++others;
        }
    }
    if (others > 0) {
        first += " (and " + std::to_string(others) + " more)";
    }
    return first.empty() ? std::string("no problem named") : first;
}

void QuickCheck(SqliteConnection& db) {
    SqliteStatement check(db, "PRAGMA quick_check");
    if (!check.Step()) {
        return;
    }
    const std::string first = check.Text(0);
    if (first != "ok") {
        throw SqliteError(SQLITE_CORRUPT, "quick check failed: " + FirstProblem(first));
    }
}

std::optional<SurveyInfo> FindInfoIn(SqliteConnection& db, std::int64_t id) {
    SqliteStatement s(db, std::string("SELECT ") + kInfoColumns + " FROM surveys WHERE id = ?1");
    s.Bind(1, id);
    if (!s.Step()) {
        return std::nullopt;
    }
    return InfoFrom(s);
}

std::int64_t SchemaVersion(SqliteConnection& db) {
    return db.QueryInt("PRAGMA user_version").value_or(0);
}

// A file of a newer schema is left exactly as it is.
void RefuseNewer(std::int64_t version, const std::string& path) {
    if (version > HistoryStore::kSchemaVersion) {
        throw HistoryError("the history file " + path + " was written by a newer version (schema " +
                           std::to_string(version) + ", this one knows up to " +
                           std::to_string(HistoryStore::kSchemaVersion) + ")");
    }
}

// True when it changed the file.
bool Migrate(SqliteConnection& db, const std::string& path) {
    if (SchemaVersion(db) == HistoryStore::kSchemaVersion) {
        return false;
    }
    SqliteTransaction transaction(db);
    // Another process may have migrated the file since the first look.
    const std::int64_t v = SchemaVersion(db);
    RefuseNewer(v, path);
    if (v < 0) {
        throw HistoryError("the history file " + path + " has an unknown schema version " +
                           std::to_string(v));
    }
    for (std::int64_t step = v; step < HistoryStore::kSchemaVersion; ++step) {
        db.Exec(kMigrations[step]);
    }
    db.Exec("PRAGMA user_version = " + std::to_string(HistoryStore::kSchemaVersion));
    transaction.Commit();
    return true;
}

struct Opened {
    std::unique_ptr<SqliteConnection> Db;
    bool Checked = false;
};

// Opens the file, running the quick check unless the stamp vouches for the
// file as it is; a file checked, or migrated from a vouched state, is
// stamped.
Opened OpenChecked(const std::string& path) {
    // Looked at before SQLite touches the file.
    const std::optional<FileState> vouched = VouchedState(path);
    auto db = std::make_unique<SqliteConnection>(path, true);
    db->SetBusyTimeout(HistoryStore::kBusyTimeoutMs);
    if (!vouched) {
        QuickCheck(*db);
    }
    RefuseNewer(SchemaVersion(*db), path);
    db->Exec("PRAGMA foreign_keys = ON");
    const std::optional<std::string> mode = db->QueryText("PRAGMA journal_mode = WAL");
    if (!mode || base::LowerAscii(*mode) != "wal") {
        throw SqliteError(SQLITE_CANTOPEN, "the history file cannot use write-ahead logging");
    }
    // With the write-ahead log, NORMAL loses no committed transaction when a
    // process dies; only a power cut may take the last few back.
    db->Exec("PRAGMA synchronous = NORMAL");
    const bool migrated = Migrate(*db, path);
    if (!vouched) {
        if (const std::optional<FileState> now = CurrentState(path)) {
            WriteStamp(path, *now);
        }
    } else if (migrated) {
        RefreshStamp(path, vouched);
    }
    return {std::move(db), !vouched};
}

// OpenChecked, tried again while another connection holds the file. Two
// connections that open a new file at once both switch it to write-ahead
// logging; SQLite answers one of them "busy" at once rather than let the
// two wait on each other, so the busy timeout alone does not cover it.
Opened OpenPatiently(const std::string& path) {
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(HistoryStore::kBusyTimeoutMs);
    for (;;) {
        try {
            return OpenChecked(path);
        } catch (const SqliteError& e) {
            if (e.PrimaryCode() != SQLITE_BUSY || std::chrono::steady_clock::now() >= until) {
                throw;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// Renames `from` to `to` when `from` exists.
void MoveIfPresent(const std::string& from, const std::string& to) {
    if (Exists(from) && std::rename(from.c_str(), to.c_str()) != 0) {
        throw HistoryError("cannot move " + from + " to " + to + ": " +
                           std::generic_category().message(errno));
    }
}

// Moves a damaged file, with its write-ahead log and journal, aside under a
// name of its own; returns that name. The shared-memory index is dropped:
// it is rebuilt from the log.
std::string MoveAside(const std::string& path) {
    std::string stamp = UtcTimestamp(std::chrono::system_clock::now());
    std::erase(stamp, '-');
    std::erase(stamp, ':');
    std::string target = path + ".damaged-" + stamp;
    for (int n = 2; Exists(target) || Exists(target + "-wal"); ++n) {
        target = path + ".damaged-" + stamp + "-" + std::to_string(n);
    }
    MoveIfPresent(path, target);
    MoveIfPresent(path + "-wal", target + "-wal");
    MoveIfPresent(path + "-journal", target + "-journal");
    std::error_code ec;
    fs::remove(path + "-shm", ec);
    // The stamp spoke for the file that has gone.
    DropStamp(path);
    return target;
}

bool DigitsAt(std::string_view text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
        if (!base::IsDigit(text[i]))
            return false;
    }
    return true;
}

}  // namespace

const char* SurveyEndName(SurveyEnd end) {
    switch (end) {
        case SurveyEnd::Done:
            return "done";
        case SurveyEnd::Stopped:
            return "stopped";
        case SurveyEnd::Failed:
            return "failed";
    }
    return "failed";
}

const char* SurveyModeName(engine::SurveyMode mode) {
    return mode == engine::SurveyMode::Domain ? "domain" : "keyword";
}

std::string QueryLabel(std::string_view query, engine::SurveyMode mode) {
    return mode == engine::SurveyMode::Domain ? "domain:" + std::string(query) : std::string(query);
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

bool IsUtcTimestamp(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SSZ
    return text.size() == 20 && DigitsAt(text, 0, 4) && text[4] == '-' && DigitsAt(text, 5, 2) &&
           text[7] == '-' && DigitsAt(text, 8, 2) && text[10] == 'T' && DigitsAt(text, 11, 2) &&
           text[13] == ':' && DigitsAt(text, 14, 2) && text[16] == ':' && DigitsAt(text, 17, 2) &&
           text[19] == 'Z';
}

std::optional<std::int32_t> HistoryRow::Rank() const {
    std::int32_t value = 0;
    if (!engine::TryFigureToInt(Figures[0], value)) {
        return std::nullopt;
    }
    return value;
}

std::vector<HistoryRow> RowsFromTable(const engine::ResultsTable& table) {
    std::vector<HistoryRow> rows(table.Count());
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const engine::ResultRow& source = table.Row(i);
        rows[i].Host = source.Caption;
        for (int c = 0; c < engine::kCellCount; ++c) {
            rows[i].Figures[static_cast<std::size_t>(c)] = source.Column(c + 1);
        }
    }
    return rows;
}

void FillTable(engine::ResultsTable& table, const std::vector<HistoryRow>& rows) {
    table.Clear();
    for (const HistoryRow& row : rows) {
        const engine::RowHandle handle = table.Append();
        // A refused write means an observer cleared the table under us: the
        // row has gone and the rest of this fill belongs to a table that no
        // longer wants it, so stop.
        if (!table.SetCaption(handle, row.Host)) {
            return;
        }
        for (const std::string& figure : row.Figures) {
            if (!table.AppendCell(handle, figure)) {
                return;
            }
        }
        if (!table.SetChecked(handle, false)) {
            return;
        }
    }
}

std::string SoundStampPath(const std::string& path) {
    return path + ".checked";
}

bool StampAsSound(const std::string& path) {
    const std::optional<FileState> now = CurrentState(path);
    return now && WriteStamp(path, *now);
}

std::string DefaultHistoryPath() {
    return platform::DataHome() + "/corvane/history.sqlite";
}

HistoryStore::HistoryStore(const std::string& path) : path_(path) {
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !Exists(folder.string())) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            throw HistoryError("cannot create the folder " + folder.string() + ": " + ec.message());
        }
    }
    try {
        OpenFile();
    } catch (const SqliteError& e) {
        throw SqliteError(e.Code(), "history file " + path_ + ": " + e.what());
    }
}

HistoryStore::~HistoryStore() {
    Close();
}

HistoryStore::HistoryStore(HistoryStore&&) noexcept = default;

HistoryStore& HistoryStore::operator=(HistoryStore&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        notice_ = std::move(other.notice_);
        db_ = std::move(other.db_);
        checkedWholeFile_ = other.checkedWholeFile_;
    }
    return *this;
}

void HistoryStore::Close() noexcept {
    if (!db_) {
        return;
    }
    const std::optional<FileState> before = VouchedState(path_);
    db_.reset();
    RefreshStamp(path_, before);
}

template <typename Action>
auto HistoryStore::Guarded(Action&& action) -> decltype(action()) {
    try {
        return action();
    } catch (const SqliteError& e) {
        if (!e.IsDamage()) {
            throw;
        }
        DropStamp(path_);
        throw SqliteError(e.Code(), std::string(e.what()) +
                                        " (the history file is checked when next opened, and "
                                        "moved aside if it is damaged)");
    }
}

void HistoryStore::OpenFile() {
    try {
        Opened opened = OpenPatiently(path_);
        db_ = std::move(opened.Db);
        checkedWholeFile_ = opened.Checked;
        return;
    } catch (const SqliteError& e) {
        if (!e.IsDamage()) {
            throw;
        }
        db_.reset();
        const std::string aside = MoveAside(path_);
        notice_ = "the history file " + path_ + " was damaged (" + e.what() +
                  "); it was moved to " + aside + " and a new history was started";
    }
    Opened opened = OpenPatiently(path_);
    db_ = std::move(opened.Db);
    checkedWholeFile_ = opened.Checked;
}

std::int64_t HistoryStore::Record(const SurveyInfo& info, const std::vector<HistoryRow>& rows) {
    if (!IsUtcTimestamp(info.StartedUtc) || !IsUtcTimestamp(info.EndedUtc)) {
        throw HistoryError("a survey's start and end times must read YYYY-MM-DDTHH:MM:SSZ (got '" +
                           info.StartedUtc + "' and '" + info.EndedUtc + "')");
    }
    return Guarded([&] {
        SqliteTransaction transaction(*db_);
        // Looked at with the write lock held: no other writer moves the file
        // between this look and the commit.
        const std::optional<FileState> vouched = VouchedState(path_);
        SqliteStatement survey(*db_,
                               "INSERT INTO surveys (query, mode, profile, result_count, skip, "
                               "started_at, ended_at, outcome, row_count) "
                               "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        survey.Bind(1, info.Query)
            .Bind(2, std::string_view(SurveyModeName(info.Mode)))
            .Bind(3, info.Profile)
            .Bind(4, std::int64_t{info.ResultCount})
            .Bind(5, std::int64_t{info.Skip})
            .Bind(6, info.StartedUtc)
            .Bind(7, info.EndedUtc)
            .Bind(8, std::string_view(SurveyEndName(info.End)))
            .Bind(9, static_cast<std::int64_t>(rows.size()));
        survey.Run();
        const std::int64_t id = db_->LastInsertId();

        SqliteStatement insert(
            *db_,
            "INSERT INTO survey_rows (survey_id, position, rank, host, rank_text, "
            "inbound, outbound, link_value, traffic_rank) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        insert.Bind(1, id);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const HistoryRow& row = rows[i];
            const std::optional<std::int32_t> rank = row.Rank();
            insert.Bind(2, static_cast<std::int64_t>(i))
                .Bind(3, rank ? std::optional<std::int64_t>(*rank) : std::nullopt)
                .Bind(4, row.Host);
            for (int c = 0; c < engine::kCellCount; ++c) {
                insert.Bind(5 + c, row.Figures[static_cast<std::size_t>(c)]);
            }
            insert.Run();
            insert.Reset();
        }
        transaction.Commit();
        RefreshStamp(path_, vouched);
        return id;
    });
}

std::vector<SurveyInfo> HistoryStore::List(const ListFilter& filter) {
    return Guarded([&] {
        SqliteStatement s(*db_,
                          std::string("SELECT ") + kInfoColumns +
                              " FROM surveys WHERE ?1 = '' OR instr(lower(query), lower(?1)) > 0 "
                              "ORDER BY started_at DESC, id DESC LIMIT ?2");
        s.Bind(1, filter.QueryContains).Bind(2, filter.Limit > 0 ? filter.Limit : std::int64_t{-1});
        std::vector<SurveyInfo> out;
        while (s.Step()) {
            out.push_back(InfoFrom(s));
        }
        return out;
    });
}

std::optional<SurveyInfo> HistoryStore::FindInfo(std::int64_t id) {
    return Guarded([&] { return FindInfoIn(*db_, id); });
}

std::optional<Survey> HistoryStore::Find(std::int64_t id) {
    return Guarded([&]() -> std::optional<Survey> {
        // One read transaction, so that a survey forgotten by another process
        // meanwhile is seen whole or not at all.
        SqliteTransaction read(*db_, SqliteTransaction::Kind::Read);
        std::optional<SurveyInfo> info = FindInfoIn(*db_, id);
        if (!info) {
            return std::nullopt;
        }
        Survey survey{std::move(*info), {}};
        SqliteStatement s(*db_,
                          "SELECT host, rank_text, inbound, outbound, link_value, traffic_rank "
                          "FROM survey_rows WHERE survey_id = ?1 ORDER BY position");
        s.Bind(1, id);
        while (s.Step()) {
            survey.Rows.push_back(RowFrom(s, 0));
        }
        return survey;
    });
}

std::optional<std::int64_t> HistoryStore::PreviousOf(std::int64_t id) {
    return Guarded([&]() -> std::optional<std::int64_t> {
        SqliteStatement s(*db_,
                          "SELECT p.id FROM surveys AS s JOIN surveys AS p "
                          "ON p.query = s.query AND p.mode = s.mode AND p.profile = s.profile "
                          "WHERE s.id = ?1 AND p.row_count > 0 AND (p.started_at < s.started_at OR "
                          "(p.started_at = s.started_at AND p.id < s.id)) "
                          "ORDER BY p.started_at DESC, p.id DESC LIMIT 1");
        s.Bind(1, id);
        if (!s.Step()) {
            return std::nullopt;
        }
        return s.Int(0);
    });
}

bool HistoryStore::Forget(std::int64_t id) {
    return Guarded([&] {
        SqliteTransaction transaction(*db_);
        const std::optional<FileState> vouched = VouchedState(path_);
        SqliteStatement s(*db_, "DELETE FROM surveys WHERE id = ?1");
        s.Bind(1, id).Run();
        const bool removed = db_->Changes() > 0;
        transaction.Commit();
        RefreshStamp(path_, vouched);
        return removed;
    });
}

void HistoryStore::ForEachRow(const RowVisitor& visit) {
    return Guarded([&] {
        SqliteStatement s(*db_,
                          std::string("SELECT ") + "s.id, s.query, s.mode, s.profile, " +
                              "s.result_count, s.skip, s.started_at, s.ended_at, s.outcome, " +
                              "s.row_count, r.position, r.host, r.rank_text, r.inbound, " +
                              "r.outbound, r.link_value, r.traffic_rank " +
                              "FROM surveys AS s JOIN survey_rows AS r ON r.survey_id = s.id " +
                              "ORDER BY s.started_at, s.id, r.position");
        SurveyInfo info;
        while (s.Step()) {
            if (s.Int(0) != info.Id) {
                info = InfoFrom(s);
            }
            visit(info, static_cast<std::size_t>(s.Int(10)), RowFrom(s, 11));
        }
    });
}

std::vector<RankPoint> HistoryStore::RankSeries(std::string_view host, std::string_view query,
                                                engine::SurveyMode mode, std::string_view profile) {
    return Guarded([&] {
        SqliteStatement s(*db_,
                          "SELECT s.id, s.started_at, (SELECT min(r.rank) FROM survey_rows AS r "
                          "WHERE r.host = ?1 AND r.survey_id = s.id) "
                          "FROM surveys AS s WHERE s.query = ?2 AND s.mode = ?3 AND s.profile = ?4 "
                          "ORDER BY s.started_at, s.id");
        s.Bind(1, host)
            .Bind(2, query)
            .Bind(3, std::string_view(SurveyModeName(mode)))
            .Bind(4, profile);
        std::vector<RankPoint> points;
        while (s.Step()) {
            RankPoint point;
            point.SurveyId = s.Int(0);
            point.StartedUtc = s.Text(1);
            if (!s.IsNull(2)) {
                point.Rank = ToInt32(s.Int(2));
            }
            points.push_back(std::move(point));
        }
        return points;
    });
}

std::int64_t HistoryStore::SurveyCount() {
    return Guarded([&] { return db_->QueryInt("SELECT count(*) FROM surveys").value_or(0); });
}

}  // namespace corvane::history
