#pragma once
// The user's database file, opened read-only. It copies into the working database, on first use,
// each table or saved query that a statement names, with everything that query reads. The format
// is told from the file's content, never from its name.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pontrel::data {

class WorkingDatabase;

struct CatalogEntry {
    enum class Kind { Table, Query };
    Kind kind = Kind::Table;
    std::string name;
    std::int64_t rows = 0;  // tables
    std::string sql;        // queries, on one line
};

class SourceDatabase {
public:
    virtual ~SourceDatabase() = default;

    // Makes the table or query `name` (matched without regard to case) usable in `work`. Returns
    // false when the file holds no such object; throws DatabaseError when it cannot be read.
    virtual bool load(const std::string& name, WorkingDatabase& work) = 0;
    // The user tables with their row counts, then the saved queries with their SQL.
    virtual std::vector<CatalogEntry> catalog() = 0;
    virtual const std::string& path() const = 0;

    // Told, while `load` copies from the file, the rows copied so far in that load; the formats
    // that copy nothing say nothing.
    void setCopyProgress(std::function<void(std::int64_t rows)> observer) { copyProgress_ = std::move(observer); }

protected:
    std::function<void(std::int64_t)> copyProgress_;
};

// Opens the file, whatever its supported format; throws DatabaseError naming the file when it is
// missing, unreadable, or neither a SQLite nor an Access database.
std::unique_ptr<SourceDatabase> openSourceDatabase(const std::string& path);

// Per-format openers, chosen by openSourceDatabase.
std::unique_ptr<SourceDatabase> openSqliteSource(const std::string& path);
std::unique_ptr<SourceDatabase> openAccessSource(const std::string& path);

}  // namespace pontrel::data
