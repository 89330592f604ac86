#pragma once
// The work of the Access helper process: reads an Access file's catalog and copies its tables
// and saved queries into a SQLite file, a query as a view with every table and query it reads.
// Values arrive exactly as stored (see MdbFile); text columns compare under the working
// database's text collation. Owns the open file; runs only in the helper, never in the program.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "access/SavedQuery.h"
#include "source/SourceDatabase.h"

namespace pontrel::data {

class MdbFile;
class MdbTable;
class SqliteDatabase;

class AccessLoader {
public:
    // Checks the header (refusing password-protected and encrypted files) and reads the
    // catalog; throws DatabaseError with a message for the user.
    explicit AccessLoader(const std::string& path);
    ~AccessLoader();
    AccessLoader(const AccessLoader&) = delete;
    AccessLoader& operator=(const AccessLoader&) = delete;

    // Copies the table or saved query `name` (without regard to case) into `out`, with all a
    // query reads. False when the file holds no such table or query.
    bool load(const std::string& name, SqliteDatabase& out);

    // The user tables with their row counts, then the saved queries with their rebuilt SQL.
    std::vector<CatalogEntry> catalog();

    // Every saved query of the file with its catalog rows, in catalog order.
    std::vector<SavedQuery> savedQueries();

    // Prepares a fresh output file: the text collation, the Jet functions, no journal.
    static void prepareOutput(SqliteDatabase& out);

    // Told the rows copied so far by this loader, over all tables, after each batch of rows.
    void setRowsCopiedObserver(std::function<void(std::int64_t rows)> observer) {
        rowsCopiedObserver_ = std::move(observer);
    }

private:
    struct Object {
        std::string name;
        int type = 0;
        std::int64_t flags = 0;
        std::int32_t id = 0;
        std::optional<std::string> database;  // a linked table's database
        // A subquery of a saved query loaded as a view of its own (a UNION in a FROM clause):
        // its Jet text and the query it belongs to.
        std::optional<std::string> statement;
        std::string owner;
    };
    class Schema;

    const Object* find(const std::string& name) const;
    void loadObject(const Object& object, SqliteDatabase& out);
    void loadTable(const Object& object, SqliteDatabase& out);
    std::optional<std::size_t> rowidKey(const Object& object, const MdbTable& table);
    bool isRowidKey(const std::string& relation, const std::string& column) const;
    void loadQuery(const Object& object, SqliteDatabase& out);
    void loadStatement(const std::string& view, const std::string& query, const std::string& jet,
                       SqliteDatabase& out);
    SavedQuery withUnionSubqueriesApart(SavedQuery query);
    SavedQuery savedQuery(const Object& object);
    void readCatalog();
    [[noreturn]] void unreadable(const std::string& reason) const;

    std::string path_;
    std::unique_ptr<MdbFile> file_;
    std::deque<Object> objects_;  // a deque: loading adds subquery objects while others are in use
    std::optional<std::map<std::int32_t, std::vector<QueryRow>>> queryRows_;
    std::set<std::string> loaded_;   // upper-case names already in the output
    std::vector<std::string> loading_;  // the queries being loaded, to find a query reading itself
    // Upper-case table name to the upper-case columns that the queries loaded so far join by.
    std::map<std::string, std::set<std::string>> joinKeys_;
    // Upper-case table name to the upper-case name of the column that became its rowid.
    std::map<std::string, std::string> rowidKeys_;
    std::function<void(std::int64_t)> rowsCopiedObserver_;
    std::int64_t rowsCopied_ = 0;
};

}  // namespace pontrel::data
