// A SQLite file as the user's database: its tables are copied into the working database with
// date columns turned from ISO-8601 text into day counts, and its views are created there again.

#include <algorithm>
#include <cctype>
#include <set>

#include "data/DatabaseError.h"
#include "data/DayCount.h"
#include "data/JetFunctions.h"
#include "data/JetSql.h"
#include "data/SourceDatabase.h"
#include "data/Sqlite.h"
#include "data/WorkingDatabase.h"

namespace pontrel::data {

namespace {

std::string upper(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return text;
}

std::string quoteName(const std::string& name) {
    std::string out = "\"";
    for (char ch : name) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

bool isDateType(const std::string& declared) {
    std::string type = upper(declared);
    return type.find("DATE") != std::string::npos || type.find("TIMESTAMP") != std::string::npos;
}

std::string oneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
    return text;
}

// The text after "no such table: " in SQLite's message, without a schema prefix.
std::string missingTable(const std::string& error) {
    const std::string marker = "no such table: ";
    std::size_t at = error.find(marker);
    if (at == std::string::npos) return {};
    std::string name = error.substr(at + marker.size());
    std::size_t dot = name.find('.');
    if (dot != std::string::npos && (name.compare(0, dot, "main") == 0)) name = name.substr(dot + 1);
    return name;
}

class SqliteSource : public SourceDatabase {
public:
    explicit SqliteSource(const std::string& path)
        : path_(path), db_("file:" + uriPath(path) + "?mode=ro", SqliteDatabase::Mode::ReadOnly) {
        // Views written from Jet queries may use the text collation and the Jet functions.
        WorkingDatabase::registerCollation(db_);
        registerJetFunctions(db_);
        // Reading the schema proves the file is a readable database, not just its first bytes.
        std::string error = db_.tryPrepare("SELECT name FROM sqlite_schema", &probe_);
        if (error.empty()) {
            try {
                probe_.step();
            } catch (const DatabaseError& e) {
                error = e.what();
            }
        }
        if (!error.empty())
            throw DatabaseError("The file '" + path + "' could not be read as a SQLite database: " +
                                error);
        probe_ = SqliteStatement();
    }

    const std::string& path() const override { return path_; }

    bool load(const std::string& name, WorkingDatabase& work) override {
        std::string type, sql, realName;
        if (!find(name, type, realName, sql)) return false;
        if (!loaded_.insert(upper(realName)).second) return true;
        try {
            if (type == "table")
                copyTable(realName, work);
            else
                createView(realName, sql, work);
        } catch (...) {
            loaded_.erase(upper(realName));
            throw;
        }
        return true;
    }

    std::vector<CatalogEntry> catalog() override {
        std::vector<CatalogEntry> entries;
        SqliteStatement list = db_.prepare(
            "SELECT type, name, sql FROM sqlite_schema WHERE type IN ('table','view') AND name NOT "
            "LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY type, name");
        while (list.step()) {
            CatalogEntry entry;
            entry.name = std::string(list.columnText(1));
            if (list.columnText(0) == "table") {
                SqliteStatement count = db_.prepare("SELECT count(*) FROM " + quoteName(entry.name));
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

private:
    static std::string uriPath(const std::string& path) {
        std::string out;
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

    bool find(const std::string& name, std::string& type, std::string& realName, std::string& sql) {
        SqliteStatement stmt = db_.prepare(
            "SELECT type, name, sql FROM sqlite_schema WHERE type IN ('table','view') AND "
            "upper(name) = upper(?1)");
        stmt.bindText(1, name);
        if (!stmt.step()) return false;
        type = std::string(stmt.columnText(0));
        realName = std::string(stmt.columnText(1));
        sql = std::string(stmt.columnText(2));
        return true;
    }

    void copyTable(const std::string& table, WorkingDatabase& work) {
        SqliteStatement read = db_.prepare("SELECT * FROM " + quoteName(table));
        const int columns = read.columnCount();
        std::vector<bool> isDate(static_cast<std::size_t>(columns));
        std::vector<std::string> names(static_cast<std::size_t>(columns));
        std::string create = "CREATE TABLE " + quoteName(table) + " (";
        std::string insert = "INSERT INTO " + quoteName(table) + " VALUES (";
        for (int c = 0; c < columns; ++c) {
            names[c] = read.columnName(c);
            std::string declared = read.columnDeclaredType(c);
            isDate[c] = isDateType(declared);
            if (c) {
                create += ", ";
                insert += ", ";
            }
            create += quoteName(names[c]) +
                      (isDate[c] ? " REAL" : std::string(" ") + quoteName(declared) + " COLLATE " +
                                                 kTextCollation);
            insert += "?";
        }
        create += ")";
        insert += ")";
        if (columns == 0) return;
        SqliteDatabase& out = work.sql();
        // One transaction for the table and its rows, so a failure leaves no half-loaded table.
        out.exec("BEGIN");
        try {
            out.exec(create);
            fill(read, out.prepare(insert), table, names, isDate);
        } catch (...) {
            out.exec("ROLLBACK");
            throw;
        }
        out.exec("COMMIT");
    }

    void fill(SqliteStatement& read, SqliteStatement write, const std::string& table,
              const std::vector<std::string>& names, const std::vector<bool>& isDate) {
        const int columns = read.columnCount();
        std::int64_t row = 0;
        while (read.step()) {
            ++row;
            for (int c = 0; c < columns; ++c) {
                int index = c + 1;
                switch (read.columnType(c)) {
                    case SqliteStatement::Type::Null: write.bindNull(index); break;
                    case SqliteStatement::Type::Integer:
                        if (isDate[c]) badDate(table, names[c], row, std::to_string(read.columnInt(c)));
                        write.bindInt(index, read.columnInt(c));
                        break;
                    case SqliteStatement::Type::Real:
                        if (isDate[c]) badDate(table, names[c], row, std::to_string(read.columnDouble(c)));
                        write.bindDouble(index, read.columnDouble(c));
                        break;
                    case SqliteStatement::Type::Text:
                        if (isDate[c]) {
                            std::optional<Date> date = parseIsoDate(read.columnText(c));
                            if (!date) badDate(table, names[c], row, std::string(read.columnText(c)));
                            write.bindDouble(index, *date);
                        } else {
                            write.bindText(index, read.columnText(c));
                        }
                        break;
                    case SqliteStatement::Type::Blob: {
                        if (isDate[c]) badDate(table, names[c], row, "binary data");
                        std::string_view blob = read.columnBlob(c);
                        write.bindBlob(index, blob.data(), blob.size());
                        break;
                    }
                }
            }
            write.step();
            write.reset();
        }
    }

    [[noreturn]] void badDate(const std::string& table, const std::string& column, std::int64_t row,
                              const std::string& value) {
        throw DatabaseError("The column '" + column + "' of the table '" + table + "' in '" + path_ +
                            "' holds '" + value + "' in row " + std::to_string(row) +
                            ", which is not a date (YYYY-MM-DD, optionally with HH:MM[:SS])");
    }

    // Creates the view again in the working database, first loading whatever it reads.
    void createView(const std::string& view, const std::string& sql, WorkingDatabase& work) {
        for (const std::string& table : db_.tablesRead("SELECT * FROM " + quoteName(view)))
            if (!load(table, work))
                throw DatabaseError("The query '" + view + "' in '" + path_ + "' reads '" + table +
                                    "', which does not exist");
        for (int attempt = 0; attempt < 64; ++attempt) {
            SqliteStatement probe;
            std::string error = work.sql().tryPrepare(sql, &probe);
            if (error.empty()) {
                probe = SqliteStatement();
                work.sql().exec(sql);
                return;
            }
            std::string missing = missingTable(error);
            if (missing.empty() || !load(missing, work))
                throw DatabaseError("The query '" + view + "' in '" + path_ +
                                    "' cannot be used: " + error);
        }
    }

    std::string path_;
    SqliteDatabase db_;
    SqliteStatement probe_;
    std::set<std::string> loaded_;
};

}  // namespace

std::unique_ptr<SourceDatabase> openSqliteSource(const std::string& path) {
    return std::make_unique<SqliteSource>(path);
}

}  // namespace pontrel::data
