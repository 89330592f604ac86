#include "jet/WorkingDatabase.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "sqlite/DatabaseError.h"
#include "jet/JetFunctions.h"
#include "jet/JetSql.h"
#include "sqlite/TextCollation.h"

namespace pontrel::data {

namespace {

int collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return compareText(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
                       std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

cleanup::Registered makePrivateFolder() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    cleanup::Registered folder = cleanup::Registered::newFolder((base / "pontrel-run-XXXXXX").string());
    if (folder.path().empty())
        throw DatabaseError("No temporary folder could be created in '" + base.string() +
                            "' for the working database: " + std::strerror(errno),
                            errno == ENOSPC ? DatabaseError::Cause::NoSpace : DatabaseError::Cause::Other);
    return folder;
}

}  // namespace

void WorkingDatabase::registerCollation(SqliteDatabase& db) {
    db.createCollation(kTextCollation, collate);
}

WorkingDatabase::WorkingDatabase() : listed_(makePrivateFolder()), folder_(listed_.path()) {
    try {
        db_ = std::make_unique<SqliteDatabase>(folder_ + "/work.sqlite",
                                               SqliteDatabase::Mode::ReadWriteCreate);
        registerCollation(*db_);
        registerJetFunctions(*db_);
        // A scratch database: nothing in it outlives the process, so durability buys nothing.
        // The cache size also bounds the memory of a sort (an ORDER BY over a million rows);
        // beyond it the sort merges runs from temporary files, which costs hardly any time.
        db_->exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-16384;"
                  " PRAGMA temp_store=FILE;");
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        throw;
    }
}

WorkingDatabase::~WorkingDatabase() {
    db_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::string WorkingDatabase::newFilePath(const std::string& stem) {
    return folder_ + "/" + stem + "-" + std::to_string(++files_) + ".sqlite";
}

void WorkingDatabase::attach(const std::string& path) {
    db_->exec("ATTACH DATABASE " + sqlQuote(path) + " AS " + sqlQuote("load" + std::to_string(++files_)));
}

}  // namespace pontrel::data
