#include "source/SourceDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/FileDescriptor.h"
#include "sqlite/DatabaseError.h"

namespace pontrel::data {

std::unique_ptr<SourceDatabase> openSourceDatabase(const std::string& path) {
    struct stat info {};
    if (path.empty()) throw DatabaseError("No database file was given");
    if (::stat(path.c_str(), &info) != 0)
        throw DatabaseError("The database file '" + path + "' could not be opened: " +
                            std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        throw DatabaseError("'" + path + "' is a folder, not a database file");
    // A pipe would wait for a writer for ever and a device would be read without end: only a
    // regular file (after links are followed) is a database. Without blocking, in case the
    // name was replaced by a pipe after the check above.
    const std::string notADatabase = "The file '" + path + "' is not a database file";
    if (!S_ISREG(info.st_mode)) throw DatabaseError(notADatabase);
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) throw DatabaseError("The database file '" + path + "' could not be read: " + std::strerror(errno));
    char head[32] = {};
    ssize_t got = -1;
    if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode)) got = ::pread(fd.get(), head, sizeof head, 0);
    const int readError = errno;
    fd.reset();
    if (!S_ISREG(info.st_mode)) throw DatabaseError(notADatabase);
    if (got < 0)
        throw DatabaseError("The database file '" + path + "' could not be read: " + std::strerror(readError));
    if (got >= 16 && std::memcmp(head, "SQLite format 3", 16) == 0) return openSqliteSource(path);
    if (got >= 19 && (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 ||
                      std::memcmp(head + 4, "Standard ACE DB", 15) == 0))
        return openAccessSource(path);
    throw DatabaseError("The file '" + path + "' is not a database that can be read (neither an "
                        "Access nor a SQLite database)");
}

}  // namespace pontrel::data
