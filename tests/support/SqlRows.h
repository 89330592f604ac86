#pragma once
// Rows of a SQLite statement as texts, for comparing whole results in one assertion: each row is
// its values joined by '|', a null written as `nullText` ("NULL" unless the test says otherwise).

#include <string>
#include <vector>

#include "sqlite/Sqlite.h"

namespace pontrel::testing {

inline std::string rowText(data::SqliteStatement& statement, const char* nullText = "NULL") {
    std::string row;
    for (int c = 0; c < statement.columnCount(); ++c) {
        if (c) row += "|";
        row += statement.columnType(c) == data::SqliteStatement::Type::Null ? std::string(nullText)
                                                                            : std::string(statement.columnText(c));
    }
    return row;
}

// Every row left in the statement; at most `limit` of them, then "... and more" when more remain.
inline std::vector<std::string> rowsOf(data::SqliteStatement& statement, const char* nullText = "NULL",
                                       std::size_t limit = static_cast<std::size_t>(-1)) {
    std::vector<std::string> rows;
    while (statement.step()) {
        if (rows.size() == limit) {
            rows.push_back("... and more");
            break;
        }
        rows.push_back(rowText(statement, nullText));
    }
    return rows;
}

inline std::vector<std::string> rowsOf(data::SqliteDatabase& db, const std::string& sql, const char* nullText = "NULL") {
    data::SqliteStatement statement = db.prepare(sql);
    return rowsOf(statement, nullText);
}

}  // namespace pontrel::testing
