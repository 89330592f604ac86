#pragma once
// What the program asks of a database: open a file named in a connection string, execute a Jet
// SQL text and walk the rows it returns, close. A recordset keeps its database alive after the
// connection object that made it is dropped, as the program drops connections without closing.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sqlite/Sqlite.h"

namespace pontrel::data {

class SourceDatabase;
class WorkingDatabase;
struct ConnectionState;

// A forward-only walk over the rows of one statement, positioned on its first row. The statement
// runs when the rows are first read, not when the recordset is made, so a recordset that is
// never read costs nothing (a count whose answer is already known from the rows walked).
class Recordset {
public:
    enum class Kind { Null, Integer, Real, Text, Blob };

    explicit Recordset(std::shared_ptr<ConnectionState> state, SqliteStatement statement,
                       std::string sql);
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool eof() const {
        start();
        return eof_;
    }
    void moveNext();

    int fieldCount() const { return static_cast<int>(names_.size()); }
    const std::string& fieldName(int index) const { return names_.at(static_cast<std::size_t>(index)); }
    // The position of a field, its name matched without regard to case; throws DatabaseError
    // naming the field when the rows have no such field.
    int fieldIndex(std::string_view name) const;

    // Values of the current row; reading past the end throws DatabaseError.
    Kind kind(int index) const {
        checkRow();
        return static_cast<Kind>(statement_.columnType(index));
    }
    bool isNull(int index) const { return kind(index) == Kind::Null; }

    // A value of the current row read once for its kind and contents (fewer calls than kind()
    // then real()); valid until moveNext.
    class Value {
    public:
        Kind kind() const { return kind_; }
        std::int64_t integer() const { return value_.integer(); }
        double real() const { return value_.real(); }
        std::string_view textView() const { return value_.text(); }

    private:
        friend class Recordset;
        explicit Value(SqliteValue value) : value_(value), kind_(static_cast<Kind>(value.type())) {}
        SqliteValue value_;
        Kind kind_;
    };
    Value value(int index) const {
        checkRow();
        return Value(statement_.columnValue(index));
    }
    std::int64_t integer(int index) const;
    double real(int index) const;
    // A text, or the shortest text that reads back as the number; valid until moveNext.
    std::string text(int index) const;
    std::string_view textView(int index) const;

    const std::string& sql() const { return sql_; }

private:
    void start() const {
        if (!started_) firstStep();
    }
    void firstStep() const;
    void checkRow() const {
        if (!started_ || eof_) noCurrentRow();
    }
    void noCurrentRow() const;
    // Steps the statement; a failure while rows are made names the saved queries the statement
    // reads.
    void step() const;
    std::vector<std::string> queriesNamed() const;

    std::shared_ptr<ConnectionState> state_;
    mutable SqliteStatement statement_;
    std::string sql_;
    std::vector<std::string> names_;
    mutable bool started_ = false;
    mutable bool eof_ = false;
};

class Connection {
public:
    // Opens the file named between "Data Source = '" and "' ;" of an ADO-style connection
    // string (or the whole text when it is not one).
    explicit Connection(const std::string& connectionString);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    static std::string dataSourceOf(const std::string& connectionString);

    // Runs a Jet SQL SELECT; tables and queries it names are loaded from the file on first use.
    std::shared_ptr<Recordset> execute(const std::string& jetSql);
    // Runs `jetSql` for rows that are known as `shownSql` (to the observer and in messages): a
    // statement that gives the same rows as the shown one, in an order the caller restores.
    std::shared_ptr<Recordset> execute(const std::string& jetSql, const std::string& shownSql);
    // The steps SQLite would take to run a Jet SQL SELECT, one text per step, or nothing when it
    // cannot say; the tables it names must be loaded already (by execute).
    std::vector<std::string> queryPlan(const std::string& jetSql);
    void close();
    bool isOpen() const;
    const std::string& file() const { return file_; }
    SourceDatabase& source();
    // Told the rows copied so far while a statement loads tables and queries from an Access
    // file (see SourceDatabase::setCopyProgress); an empty function stops it.
    void setLoadProgress(std::function<void(std::int64_t rows)> observer);

    // Seconds this process has spent loading tables and queries from database files (benchmarks).
    static double loadSeconds();

    // Every SQL text passed to execute, as given, goes to this observer when one is set (tests).
    static void setExecuteObserver(std::function<void(const std::string&)> observer);

private:
    std::string file_;
    std::shared_ptr<ConnectionState> state_;
};

}  // namespace pontrel::data
