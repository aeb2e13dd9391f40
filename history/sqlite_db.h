// A thin owning layer over the SQLite C interface: a connection, a prepared
// statement, a write transaction, and one error type that carries SQLite's
// own message and result code. Nothing here knows the history schema.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace corvane::history {

class SqliteError : public std::runtime_error {
  public:
    SqliteError(int code, const std::string& message);
    // The extended result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int Code() const { return code_; }
    // The primary result code (the low byte of the extended one).
    int PrimaryCode() const { return code_ & 0xFF; }
    // True for the codes that say the file is not a sound database.
    bool IsDamage() const;

  private:
    int code_;
};

class SqliteConnection {
  public:
    // Opens (creating when `create`) the database file. Throws SqliteError.
    SqliteConnection(const std::string& path, bool create);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Runs one or more statements that return no rows worth reading.
    void Exec(std::string_view sql);
    // The first column of the first row of a one-statement query.
    std::optional<std::int64_t> QueryInt(std::string_view sql);
    std::optional<std::string> QueryText(std::string_view sql);

    void SetBusyTimeout(int milliseconds);
    std::int64_t LastInsertId() const;
    int Changes() const;
    const std::string& Path() const { return path_; }

    sqlite3* Handle() const { return db_; }
    // Throws SqliteError for `code` with the connection's current message.
    [[noreturn]] void Fail(int code) const;

  private:
    sqlite3* db_ = nullptr;
    std::string path_;
};

class SqliteStatement {
  public:
    SqliteStatement(SqliteConnection& connection, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters are numbered from 1; each returns *this for chaining.
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& Bind(int index, std::optional<std::int64_t> value);
    SqliteStatement& BindNull(int index);

    // Advances to the next row; false when the statement has finished.
    bool Step();
    // Runs a statement that yields no rows.
    void Run();
    // Makes the statement ready to run again; bindings are kept.
    void Reset();

    // Columns are numbered from 0.
    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    std::optional<std::int64_t> OptionalInt(int column) const;
    std::string Text(int column) const;

  private:
    SqliteConnection& connection_;
    sqlite3_stmt* stmt_ = nullptr;
};

// A transaction, rolled back on destruction unless committed. A write
// transaction begins IMMEDIATE: the write lock is taken at once (waiting for
// the busy timeout), so that two writers never meet half-way through. A
// read transaction gives its statements one consistent view of the file.
class SqliteTransaction {
  public:
    enum class Kind { Read, Write };
    explicit SqliteTransaction(SqliteConnection& connection, Kind kind = Kind::Write);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void Commit();

  private:
    SqliteConnection& connection_;
    bool open_ = true;
};

}  // namespace corvane::history
