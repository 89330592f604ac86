// A SQLite file as the user's database: its tables are copied into the working database with
// date columns turned from ISO-8601 text into day counts, and its views are created there again.
// Nothing is ever created beside the file: a database in WAL mode is read as immutable, or from
// a private copy when its -wal file holds changes. Reading waits out short locks of other
// programs and stops at the time and temporary-space limits that Access files have too.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>

#include "common/FileDescriptor.h"
#include "common/TextBasics.h"
#include "sqlite/DatabaseError.h"
#include "common/DayCount.h"
#include "source/HelperProcess.h"
#include "jet/JetFunctions.h"
#include "jet/JetSql.h"
#include "source/SourceDatabase.h"
#include "source/SourceLimits.h"
#include "sqlite/Sqlite.h"
#include "jet/WorkingDatabase.h"

namespace pontrel::data {

namespace {

bool isDateType(const std::string& declared) {
    std::string type = upperAscii(declared);
    return type.find("DATE") != std::string::npos || type.find("TIMESTAMP") != std::string::npos;
}

// The columns the program reads as dates, whatever their declared type: a source may declare
// SampleDate as TEXT, or compute it in a view (date(x) AS SampleDate), which declares nothing.
bool isReadAsDate(const std::string& column) { return sameNameIgnoringCase(column, "SampleDate"); }

bool isDateColumn(const SqliteStatement& read, int column) {
    return isDateType(read.columnDeclaredType(column)) || isReadAsDate(read.columnName(column));
}

std::string oneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
    return text;
}

// A file name as a URI path: characters that end the path or start an escape are escaped, and
// an absolute path gets an empty authority, so that one starting with // is not taken for a host.
std::string uriOf(const std::string& path) {
    std::string out = path.empty() || path[0] != '/' ? "file:" : "file://";
    for (unsigned char ch : path) {
        if (ch == '%' || ch == '?' || ch == '#' || ch < 0x20) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", ch);
            out += buffer;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

// True when the file's header says WAL mode (read and write versions 2).
bool inWalMode(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    unsigned char versions[2] = {};
    const bool read = ::pread(fd.get(), versions, 2, 18) == 2;
    return read && versions[0] == 2 && versions[1] == 2;
}

std::int64_t sizeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

// The dates of a column often repeat row after row (a day's samples): the last text read and
// what it gave are kept, so that a run of equal texts is read once.
class LastDate {
public:
    std::optional<Date> parse(std::string_view text) {
        if (!held_ || text != text_) {
            text_.assign(text);
            date_ = parseIsoDate(text);
            held_ = true;
        }
        return date_;
    }

private:
    std::string text_;
    std::optional<Date> date_;
    bool held_ = false;
};

class SqliteSource : public SourceDatabase {
public:
    explicit SqliteSource(const std::string& path) : path_(path), limits_(sourceLimitsFor(path)) {
        uri_ = readableUri();
        try {
            db_ = openReader();
            // Reading the schema proves the file is a readable database, not just its first bytes.
            SqliteStatement probe = db_->prepare("SELECT name FROM sqlite_schema");
            probe.step();
        } catch (const DatabaseError& e) {
            if (e.cause() != DatabaseError::Cause::Other) rethrowForSource(e, path_, "");
            std::string error = e.what();
            if (std::size_t colon = error.rfind(": "); colon != std::string::npos) error = error.substr(colon + 2);
            throw DatabaseError("The file '" + path + "' could not be read as a SQLite database: " + error);
        }
    }

    const std::string& path() const override { return path_; }

    bool load(const std::string& name, WorkingDatabase& work) override {
        try {
            db_->restartClock();
            return loadObject(name, work);
        } catch (const DatabaseError& e) {
            rethrowForSource(e, path_, name);
        }
    }

    std::vector<CatalogEntry> catalog() override {
        try {
            db_->restartClock();
            return readCatalog();
        } catch (const DatabaseError& e) {
            rethrowForSource(e, path_, "");
        }
    }

private:
    // A handle that reads the file, with what the program's statements on it need.
    std::unique_ptr<SqliteDatabase> openReader() const {
        auto db = std::make_unique<SqliteDatabase>(uri_, SqliteDatabase::Mode::ReadOnly);
        db->setBusyTimeout(kBusyWait);
        db->setTimeLimit(limits_.time);
        // Views written from Jet queries may use the text collation and the Jet functions.
        WorkingDatabase::registerCollation(*db);
        registerJetFunctions(*db);
        db->createFunction("pontrel_is_date", 1, isDateFunction);
        return db;
    }

    // A URI that reads the database without creating anything beside it. In WAL mode, SQLite
    // would create -wal and -shm files (and cannot open it at all in a folder it cannot write
    // to): without changes waiting in a -wal file the file alone is the database, read as
    // immutable; with them, the file and its -wal are read from a private copy.
    std::string readableUri() {
        if (!inWalMode(path_)) return uriOf(path_) + "?mode=ro";
        const std::string wal = path_ + "-wal";
        if (sizeOf(wal) <= 0) return uriOf(path_) + "?mode=ro&immutable=1";
        copy_ = std::make_unique<ScratchFolder>();
        const std::string copy = copy_->path() + "/snapshot.sqlite";
        std::error_code ec;
        std::filesystem::copy_file(path_, copy, ec);
        if (!ec) std::filesystem::copy_file(wal, copy + "-wal", ec);
        if (ec == std::errc::no_space_on_device)
            rethrowForSource(DatabaseError("", DatabaseError::Cause::NoSpace), path_, "");
        if (ec)
            throw DatabaseError("The file '" + path_ + "', a database in WAL mode with changes not yet "
                                "written into it, could not be copied to be read: " + ec.message());
        return uriOf(copy) + "?mode=ro";
    }

    bool loadObject(const std::string& name, WorkingDatabase& work) {
        std::string type, sql, realName;
        if (!find(name, type, realName, sql)) return false;
        if (loaded_.count(upperAscii(realName))) return true;
        attachTo(work);
        if (type == "table") {
            checkDates(realName, true);
        } else {
            for (const std::string& table : db_->tablesRead("SELECT * FROM " + quotedIdentifier(realName)))
                if (find(table, type, realName, sql) && type == "table")
                    checkDates(realName, true);
            find(name, type, realName, sql);
            // Dates the view computes itself come from no table that was checked.
            checkDates(realName, false);
        }
        loaded_.insert(upperAscii(realName));
        return true;
    }

    std::vector<CatalogEntry> readCatalog() {
        std::vector<CatalogEntry> entries;
        SqliteStatement list = db_->prepare(
            "SELECT type, name, sql FROM sqlite_schema WHERE type IN ('table','view') AND name NOT "
            "LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY type, name");
        while (list.step()) {
            CatalogEntry entry;
            entry.name = std::string(list.columnText(1));
            if (list.columnText(0) == "table") {
                SqliteStatement count = db_->prepare("SELECT count(*) FROM " + quotedIdentifier(entry.name));
                count.step();
                entry.rows = count.columnInt(0);
            } else {
                entry.kind = CatalogEntry::Kind::Query;
                entry.sql = oneLine(std::string(list.columnText(2)));
            }
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    bool find(const std::string& name, std::string& type, std::string& realName, std::string& sql) {
        SqliteStatement stmt = db_->prepare(
            "SELECT type, name, sql FROM sqlite_schema WHERE type IN ('table','view') AND "
            "upper(name) = upper(?1)");
        stmt.bindText(1, name);
        if (!stmt.step()) return false;
        type = std::string(stmt.columnText(0));
        realName = std::string(stmt.columnText(1));
        sql = std::string(stmt.columnText(2));
        return true;
    }

    // The source is read in place: it is attached read-only to the working database, and each
    // of its objects gets a temporary view there that gives its dates as day counts and its texts
    // the program's collation. Nothing is copied, so a large file opens at once.
    void attachTo(WorkingDatabase& work) {
        if (attached_ == &work) return;
        work.sql().createFunction("pontrel_iso_date", 1, isoDateFunction);
        // The statements that read the file run in the working database, under its limits. The
        // ATTACH reads the file's schema already, so it must wait out another program's commit
        // too: without a busy wait it failed at once when a writer held its lock just then.
        work.sql().setBusyTimeout(kBusyWait);
        work.sql().setTimeLimit(limits_.time);
        work.sql().exec("ATTACH DATABASE " + sqlQuote(uri_) + " AS " + kSchema);
        SqliteDatabase::setTemporarySpaceLimit(limits_.temporaryBytes);
        attached_ = &work;
        // Once attached, a statement can name any object of the source without it being loaded,
        // so every object gets its wrapper now: none is ever read without its conversions.
        SqliteStatement objects = db_->prepare(
            "SELECT name FROM sqlite_schema WHERE type IN ('table','view') AND name NOT LIKE "
            "'sqlite\\_%' ESCAPE '\\'");
        while (objects.step()) createWrapper(std::string(objects.columnText(0)), work);
    }

    void createWrapper(const std::string& object, WorkingDatabase& work) {
        SqliteStatement columns = db_->prepare("SELECT * FROM " + quotedIdentifier(object));
        std::string select;
        for (int c = 0; c < columns.columnCount(); ++c) {
            std::string name = quotedIdentifier(columns.columnName(c));
            if (c) select += ", ";
            if (isDateColumn(columns, c))
                select += "pontrel_iso_date(" + name + ") AS " + name;
            else
                select += name + " COLLATE " + kTextCollation + " AS " + name;
        }
        if (select.empty()) select = "*";
        work.sql().exec("CREATE TEMP VIEW " + quotedIdentifier(object) + " AS SELECT " + select + " FROM " +
                        kSchema + "." + quotedIdentifier(object));
    }

    // Every value of a date column must be an ISO-8601 text or NULL; the first one that is not is
    // reported with its table (or query), column and row. A query's columns that carry a date
    // type come straight from a table column, which its own check covers.
    void checkDates(const std::string& object, bool table) {
        if (checked_.count(upperAscii(object))) return;
        SqliteStatement read = db_->prepare("SELECT * FROM " + quotedIdentifier(object));
        std::vector<int> dateColumns;
        for (int c = 0; c < read.columnCount(); ++c)
            if (table ? isDateColumn(read, c)
                      : isReadAsDate(read.columnName(c)) && !isDateType(read.columnDeclaredType(c)))
                dateColumns.push_back(c);
        if (!dateColumns.empty() && !allDates(object, read, dateColumns, table)) {
            std::int64_t row = 0;
            while (read.step()) {
                ++row;
                for (int c : dateColumns) {
                    SqliteStatement::Type type = read.columnType(c);
                    if (type == SqliteStatement::Type::Null) continue;
                    if (type == SqliteStatement::Type::Text && parseIsoDate(read.columnText(c))) continue;
                    std::string value = type == SqliteStatement::Type::Blob
                                            ? std::string("binary data")
                                            : std::string(read.columnText(c));
                    throw DatabaseError(
                        "The column '" + read.columnName(c) + "' of the " +
                        (table ? "table" : "query") + " '" + object + "' in '" + path_ +
                        "' holds '" + value + "' in row " + std::to_string(row) +
                        ", which is not a date (YYYY-MM-DD, optionally with HH:MM[:SS])");
                }
            }
        }
        checked_.insert(upperAscii(object));
    }

    // Whether every value of the date columns is an ISO-8601 text or NULL, reading those columns
    // alone, inside SQLite, until the first that is not: much less than whole rows. The order does
    // not matter here, only the row of a value that fails, which the full walk then finds.
    bool allDates(const std::string& object, const SqliteStatement& columns, const std::vector<int>& dateColumns,
                  bool table) {
        std::string failing;
        for (int c : dateColumns)
            failing += (failing.empty() ? "" : " OR ") + std::string("NOT pontrel_is_date(") +
                       quotedIdentifier(columns.columnName(c)) + ")";
        const std::string select = "SELECT 1 FROM " + quotedIdentifier(object) + " WHERE ";
        if (std::optional<std::int64_t> middle = table ? middleRowid(object, columns) : std::nullopt)
            if (std::optional<bool> found = anyFailingInHalves(select, failing, *middle)) return !*found;
        SqliteStatement read = db_->prepare(select + failing + " LIMIT 1");
        return !read.step();
    }

    // The rowid that divides a large table's rows into two halves, checked one on each processor.
    // None for a view, a table without rowids or with a column of that name, or a table too small
    // to be worth a second handle.
    std::optional<std::int64_t> middleRowid(const std::string& table, const SqliteStatement& columns) {
        for (int c = 0; c < columns.columnCount(); ++c)
            for (const char* alias : {"rowid", "_rowid_", "oid"})
                if (sameNameIgnoringCase(columns.columnName(c), alias)) return std::nullopt;
        // Each aggregate alone is a look at one end of the table; together they would be a scan.
        const std::string from = " FROM " + quotedIdentifier(table) + ")";
        SqliteStatement span;
        if (!db_->tryPrepare("SELECT (SELECT min(rowid)" + from + ", (SELECT max(rowid)" + from, &span).empty() ||
            !span.step() || span.columnType(0) != SqliteStatement::Type::Integer)
            return std::nullopt;
        // Rowids may take the whole 64-bit range: their distance is taken without overflow.
        const std::int64_t first = span.columnInt(0);
        const std::uint64_t distance = static_cast<std::uint64_t>(span.columnInt(1)) - static_cast<std::uint64_t>(first);
        if (distance < kRowsWorthSplitting) return std::nullopt;
        return first + static_cast<std::int64_t>(distance / 2);
    }

    // Whether any row holds a value that is no date: the rows up to `middle` on this handle, the
    // rest on a second handle on another thread. None when no second handle can be had.
    std::optional<bool> anyFailingInHalves(const std::string& select, const std::string& failing,
                                           std::int64_t middle) {
        std::unique_ptr<SqliteDatabase> other;
        SqliteStatement upper;
        try {
            other = openReader();
            upper = other->prepare(select + "rowid > ?1 AND (" + failing + ") LIMIT 1");
        } catch (const DatabaseError&) {
            return std::nullopt;
        }
        upper.bindInt(1, middle);
        SqliteStatement lower = db_->prepare(select + "rowid <= ?1 AND (" + failing + ") LIMIT 1");
        lower.bindInt(1, middle);
        bool foundAbove = false;
        std::exception_ptr failedAbove;
        std::thread helper;
        try {
            helper = std::thread([&] {
                try {
                    other->restartClock();
                    foundAbove = upper.step();
                } catch (...) {
                    failedAbove = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            return std::nullopt;  // no thread to be had: the single scan does
        }
        bool foundBelow = false;
        std::exception_ptr failedBelow;
        try {
            foundBelow = lower.step();
        } catch (...) {
            failedBelow = std::current_exception();
        }
        helper.join();
        if (failedBelow) std::rethrow_exception(failedBelow);
        if (failedAbove) std::rethrow_exception(failedAbove);
        return foundBelow || foundAbove;
    }

    // 1 for NULL or an ISO-8601 date text, 0 for anything else.
    static void isDateFunction(SqliteCall& call) {
        thread_local LastDate last;
        const SqliteStatement::Type type = call.type(0);
        call.resultInteger(type == SqliteStatement::Type::Null ||
                           (type == SqliteStatement::Type::Text && last.parse(call.text(0))));
    }

    static void isoDateFunction(SqliteCall& call) {
        if (call.type(0) == SqliteStatement::Type::Null) return call.resultNull();
        thread_local LastDate last;
        if (call.type(0) == SqliteStatement::Type::Text)
            if (std::optional<Date> date = last.parse(call.text(0))) return call.resultReal(*date);
        call.resultError("'" + std::string(call.text(0)) + "' is not a date");
    }

    static constexpr const char* kSchema = "pontrel_source";
    // Fewer rows are checked faster than a second handle opens.
    static constexpr std::uint64_t kRowsWorthSplitting = 1 << 16;

    std::string path_;
    SourceLimits limits_;
    std::unique_ptr<ScratchFolder> copy_;  // the private copy of a WAL database, when needed
    std::string uri_;
    std::unique_ptr<SqliteDatabase> db_;
    WorkingDatabase* attached_ = nullptr;
    std::set<std::string> loaded_;
    std::set<std::string> checked_;
};

}  // namespace

std::unique_ptr<SourceDatabase> openSqliteSource(const std::string& path) {
    return std::make_unique<SqliteSource>(path);
}

}  // namespace pontrel::data
