#pragma once
// The working database: a temporary SQLite file in a private folder where the program's SQL runs,
// whatever the format of the user's database. Owns the folder and removes it with everything in
// it when destroyed. Text columns compare under the collation named kTextCollation.

#include <memory>
#include <string>

#include "common/TemporaryFiles.h"
#include "sqlite/Sqlite.h"

namespace pontrel::data {

inline constexpr const char* kTextCollation = "JETTEXT";

class WorkingDatabase {
public:
    WorkingDatabase();
    ~WorkingDatabase();
    WorkingDatabase(const WorkingDatabase&) = delete;
    WorkingDatabase& operator=(const WorkingDatabase&) = delete;

    SqliteDatabase& sql() { return *db_; }
    // The private folder; loaders may write their temporary files there.
    const std::string& folder() const { return folder_; }
    // A fresh path inside the folder, unique for this working database.
    std::string newFilePath(const std::string& stem);
    // Makes the tables and views of another SQLite file (written by a loader) visible to
    // statements, as if they were in this database.
    void attach(const std::string& path);

    // Registers the text collation on any SQLite handle, such as a loader's output file.
    static void registerCollation(SqliteDatabase& db);

private:
    cleanup::Registered listed_;  // the folder, removed on an interruption too
    std::string folder_;
    std::unique_ptr<SqliteDatabase> db_;
    int files_ = 0;
};

}  // namespace pontrel::data
