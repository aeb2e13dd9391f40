#include "history/sqlite_db.h"

#include <sqlite3.h>

#include <limits>

namespace corvane::history {

namespace {

std::string Describe(int code, const char* message) {
    return message ? message : sqlite3_errstr(code);
}

int TextLength(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw SqliteError(SQLITE_TOOBIG, "text too long for the database");
    }
    return static_cast<int>(text.size());
}

}  // namespace

SqliteError::SqliteError(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

bool SqliteError::IsDamage() const {
    const int primary = PrimaryCode();
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

SqliteConnection::SqliteConnection(const std::string& path, bool create) : path_(path) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (create) {
        flags |= SQLITE_OPEN_CREATE;
    }
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = Describe(rc, db_ ? sqlite3_errmsg(db_) : nullptr);
        const int code = db_ ? sqlite3_extended_errcode(db_) : rc;
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError(code, message);
    }
    sqlite3_extended_result_codes(db_, 1);
}

SqliteConnection::~SqliteConnection() {
    // Every statement is finalized by its owner before the connection goes,
    // so the plain close succeeds.
    sqlite3_close(db_);
}

void SqliteConnection::Fail(int code) const {
    const int extended = sqlite3_extended_errcode(db_);
    throw SqliteError(extended != SQLITE_OK ? extended : code, Describe(code, sqlite3_errmsg(db_)));
}

void SqliteConnection::Exec(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string described = Describe(rc, message);
        sqlite3_free(message);
        throw SqliteError(sqlite3_extended_errcode(db_), described);
    }
}

std::optional<std::int64_t> SqliteConnection::QueryInt(std::string_view sql) {
    SqliteStatement statement(*this, sql);
    if (!statement.Step()) {
        return std::nullopt;
    }
    return statement.OptionalInt(0);
}

std::optional<std::string> SqliteConnection::QueryText(std::string_view sql) {
    SqliteStatement statement(*this, sql);
    if (!statement.Step() || statement.IsNull(0)) {
        return std::nullopt;
    }
    return statement.Text(0);
}

void SqliteConnection::SetBusyTimeout(int milliseconds) {
    const int rc = sqlite3_busy_timeout(db_, milliseconds);
    if (rc != SQLITE_OK) {
        Fail(rc);
    }
}

std::int64_t SqliteConnection::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int SqliteConnection::Changes() const {
    return sqlite3_changes(db_);
}

SqliteStatement::SqliteStatement(SqliteConnection& connection, std::string_view sql)
    : connection_(connection) {
    const int rc =
        sqlite3_prepare_v2(connection.Handle(), sql.data(), TextLength(sql), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        connection.Fail(rc);
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) {
        connection_.Fail(rc);
    }
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    // A null pointer would bind SQL NULL; an empty text must stay a text.
    const char* data = text.data() ? text.data() : "";
    const int rc = sqlite3_bind_text(stmt_, index, data, TextLength(text), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        connection_.Fail(rc);
    }
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::optional<std::int64_t> value) {
    return value ? Bind(index, *value) : BindNull(index);
}

SqliteStatement& SqliteStatement::BindNull(int index) {
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) {
        connection_.Fail(rc);
    }
    return *this;
}

bool SqliteStatement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    // Reset so that the statement can be used (or finalized) cleanly; the
    // connection keeps the message of the failed step until the next call.
    const std::string message = Describe(rc, sqlite3_errmsg(connection_.Handle()));
    const int extended = sqlite3_extended_errcode(connection_.Handle());
    sqlite3_reset(stmt_);
    throw SqliteError(extended != SQLITE_OK ? extended : rc, message);
}

void SqliteStatement::Run() {
    while (Step()) {
    }
}

void SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::optional<std::int64_t> SqliteStatement::OptionalInt(int column) const {
    if (IsNull(column)) {
        return std::nullopt;
    }
    return Int(column);
}

std::string SqliteStatement::Text(int column) const {
    const auto* data = sqlite3_column_text(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
}

SqliteTransaction::SqliteTransaction(SqliteConnection& connection, Kind kind)
    : connection_(connection) {
    connection_.Exec(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (open_) {
        // A rollback that fails (the connection lost its transaction
        // already) leaves nothing to undo.
        sqlite3_exec(connection_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void SqliteTransaction::Commit() {
    connection_.Exec("COMMIT");
    open_ = false;
}

}  // namespace corvane::history
