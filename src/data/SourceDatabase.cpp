#include "data/SourceDatabase.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "data/DatabaseError.h"

namespace pontrel::data {

std::unique_ptr<SourceDatabase> openSourceDatabase(const std::string& path) {
    struct stat info {};
    if (path.empty()) throw DatabaseError("No database file was given");
    if (::stat(path.c_str(), &info) != 0)
        throw DatabaseError("The database file '" + path + "' could not be opened: " +
                            std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        throw DatabaseError("'" + path + "' is a folder, not a database file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw DatabaseError("The database file '" + path + "' could not be read");
    char head[32] = {};
    in.read(head, sizeof head);
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got >= 16 && std::memcmp(head, "SQLite format 3", 16) == 0) return openSqliteSource(path);
    if (got >= 19 && (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 ||
                      std::memcmp(head + 4, "Standard ACE DB", 15) == 0))
        return openAccessSource(path);
    throw DatabaseError("The file '" + path + "' is not a database that can be read (neither an "
                        "Access nor a SQLite database)");
}

}  // namespace pontrel::data
