#pragma once
// The limits that keep a damaged or endless source database from running for ever or filling
// the disk, the same for Access and SQLite files, and the messages that name what ran out.
// PONTREL_TIME_LIMIT (seconds) and PONTREL_TEMPORARY_LIMIT (megabytes) replace the defaults.

#include <chrono>
#include <cstdint>
#include <string>

#include "sqlite/DatabaseError.h"

namespace pontrel::data {

struct SourceLimits {
    std::chrono::seconds time{0};      // for reading what one statement needs
    std::int64_t temporaryBytes = 0;   // for the temporary files of that reading
};

SourceLimits sourceLimitsFor(const std::string& path);

// How long a reader waits for a lock that another program holds on the file.
inline constexpr std::chrono::seconds kBusyWait{5};

// The folder temporary files go to, as the user would look for it.
std::string temporaryFolder();

// Rethrows `error` worded for the user when its cause is a limit, a lock or a lack of space or
// memory met while reading `what` (a statement, or empty) from the database `file`; otherwise
// rethrows it unchanged.
[[noreturn]] void rethrowForSource(const DatabaseError& error, const std::string& file,
                                   const std::string& what);

}  // namespace pontrel::data
