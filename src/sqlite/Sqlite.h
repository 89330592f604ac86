#pragma once
// RAII wrappers over the SQLite C API: a database handle and a prepared statement. This is the
// only place that calls SQLite; every failure becomes a DatabaseError with SQLite's own words.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sqlite/DatabaseError.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pontrel::data {

class SqliteStatement;
class SqliteValue;
class SqliteCall;

// A value handed to or returned by a function the program registers with SQLite.
struct SqlValue {
    enum class Type { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;  // the UTF-8 text or the blob

    static SqlValue null() { return {}; }
    static SqlValue ofInteger(std::int64_t value) { return {Type::Integer, value, 0, {}}; }
    static SqlValue ofReal(double value) { return {Type::Real, 0, value, {}}; }
    static SqlValue ofText(std::string text) { return {Type::Text, 0, 0, std::move(text)}; }
    static SqlValue ofBlob(std::string data) { return {Type::Blob, 0, 0, std::move(data)}; }
    bool isNull() const { return type == Type::Null; }
    bool isNumber() const { return type == Type::Integer || type == Type::Real; }
    double number() const { return type == Type::Integer ? static_cast<double>(integer) : real; }
};

// A scalar SQL function. An exception it throws fails the statement with the exception's text.
using SqlFunction = std::function<SqlValue(const std::vector<SqlValue>& arguments)>;

// The state of an aggregate SQL function for one group: it is given each row's arguments in the
// order the rows are read, then the group's result. An exception either throws fails the statement.
class SqlAggregate {
public:
    virtual ~SqlAggregate() = default;
    virtual void add(const std::vector<SqlValue>& arguments) = 0;
    virtual SqlValue result() = 0;
};
// Makes a fresh state; called once per group (and once for an empty table).
using SqlAggregateFactory = std::function<std::unique_ptr<SqlAggregate>()>;

// The longest text or blob any handle makes (SQLite's SQLITE_LIMIT_LENGTH); longer is a failure
// of the statement with cause NoMemory.
inline constexpr int kMaxValueBytes = 100'000'000;

// For SQL functions (called inside a statement) that may work long or build long texts: the
// first throws once the statement's time limit has passed, the second when a result of `bytes`
// would pass kMaxValueBytes, so that the check comes before the memory is taken. Either makes
// the statement fail as its limit would (cause TimedOut, NoMemory). Outside a function, no-ops.
void checkStatementTime();
void checkResultLength(std::size_t bytes);

// True when SQLite reserves the word, so that a name spelt that way must be quoted.
bool isSqlKeyword(std::string_view word);

// What SqliteStatement::step throws when SQLite fails while making rows, for instance when a
// function fails on a value; detail() is SQLite's own words, for a caller that knows what was read.
class SqliteReadError : public DatabaseError {
public:
    SqliteReadError(const std::string& detail, Cause cause)
        : DatabaseError("Reading the database failed: " + detail, cause), detail_(detail) {}
    const std::string& detail() const { return detail_; }

private:
    std::string detail_;
};

class SqliteDatabase {
public:
    enum class Mode { ReadOnly, ReadWriteCreate };

    SqliteDatabase(const std::string& path, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Runs one or more statements that return no rows.
    void exec(std::string_view sql);
    SqliteStatement prepare(std::string_view sql);
    // Like prepare, but returns the error text instead of throwing (empty on success).
    std::string tryPrepare(std::string_view sql, SqliteStatement* out);

    // Registers a collation under `name` for every later statement of this handle.
    using Compare = int (*)(void*, int, const void*, int, const void*);
    void createCollation(const std::string& name, Compare compare);

    // Registers a deterministic scalar SQL function of `arity` arguments (-1: any number) for every
    // later statement of this handle, replacing a built-in function of that name. Two forms: a
    // plain function that reads its arguments in place (for functions called on every row of
    // large tables), and an SqlFunction that gets copies and may throw to fail the statement.
    using ScalarFunction = void (*)(SqliteCall& call);
    void createFunction(const std::string& name, int arity, ScalarFunction function);
    void createFunction(const std::string& name, int arity, SqlFunction function);
    // Registers an aggregate SQL function of `arity` arguments; each group gets its own state,
    // which SQLite's handle owns until the group's result is taken or the statement ends.
    void createAggregate(const std::string& name, int arity, SqlAggregateFactory factory);

    // Names of the tables and views whose contents a SELECT statement would read.
    std::vector<std::string> tablesRead(std::string_view sql);

    const std::string& path() const { return path_; }
    sqlite3* handle() const { return db_; }

    // How long a statement waits for a lock that another program holds before it fails with
    // a DatabaseError of cause Locked.
    void setBusyTimeout(std::chrono::milliseconds wait);
    // Stops any statement of this handle that is still running `limit` after the last
    // restartClock() with a DatabaseError of cause TimedOut; zero means no limit.
    void setTimeLimit(std::chrono::seconds limit);
    void restartClock();

    // Bounds the bytes that the temporary files of every handle (sorts, temporary indexes and
    // tables) may hold at once; past it a statement fails with a DatabaseError of cause
    // TemporaryLimit. Zero means no bound.
    static void setTemporarySpaceLimit(std::int64_t bytes);

    struct Clock;  // the time limit's state, read by SQLite's progress handler

private:
    sqlite3* db_ = nullptr;
    std::string path_;
    std::unique_ptr<Clock> clock_;
};

// A prepared statement. Column accessors refer to the current row and are valid until the next
// step(). Bind indexes start at 1, column indexes at 0, as in SQLite.
class SqliteStatement {
public:
    enum class Type { Null, Integer, Real, Text, Blob };

    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Advances to the next row; false once there is none.
    bool step();
    void reset();

    void bindNull(int index);
    void bindInt(int index, std::int64_t value);
    void bindDouble(int index, double value);
    void bindText(int index, std::string_view value);
    void bindBlob(int index, const void* data, std::size_t size);

    int columnCount() const;
    std::string columnName(int column) const;
    std::string columnDeclaredType(int column) const;
    Type columnType(int column) const;
    std::int64_t columnInt(int column) const;
    double columnDouble(int column) const;
    std::string_view columnText(int column) const;
    std::string_view columnBlob(int column) const;
    SqliteValue columnValue(int column) const;

    bool valid() const { return stmt_ != nullptr; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// A value of a statement's current row, read in place: valid until the statement's next step.
// The program's handles are opened without SQLite's mutex (each is used by one thread at a time),
// so such a value may be read directly.
class SqliteValue {
public:
    using Type = SqliteStatement::Type;
    explicit SqliteValue(void* value) : value_(value) {}
    Type type() const;
    std::int64_t integer() const;
    double real() const;
    std::string_view text() const;

private:
    void* value_;
};

// One call of a registered SQL function: its arguments and its result.
class SqliteCall {
public:
    SqliteCall(void* context, int argc, void** argv) : context_(context), argc_(argc), argv_(argv) {}

    int argumentCount() const { return argc_; }
    SqliteStatement::Type type(int index) const;
    std::int64_t integer(int index) const;
    double real(int index) const;
    std::string_view text(int index) const;

    void resultNull();
    void resultInteger(std::int64_t value);
    void resultReal(double value);
    // Makes the statement fail with this message.
    void resultError(const std::string& message);

private:
    void* context_;
    int argc_;
    void** argv_;
};

}  // namespace pontrel::data
