#include "source/SourceLimits.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "common/TextBasics.h"
#include "sqlite/Sqlite.h"

namespace pontrel::data {

namespace {

// Limits above these are no limits in practice, and are taken as these: ten years, and a
// petabyte. Larger values would overflow the clock's nanoseconds or the count of bytes.
constexpr std::int64_t kMaxSeconds = 315360000;
constexpr std::int64_t kMaxMegabytes = std::int64_t{1} << 30;

// A positive whole number from the environment, at most `max`; 0 when the variable is unset or
// empty. Anything else is an error naming the variable.
std::int64_t fromEnvironment(const char* name, std::int64_t max, const char* unit) {
    const char* text = std::getenv(name);
    if (!text || !*text) return 0;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    const bool whole = end != text && *end == '\0' && std::isdigit(static_cast<unsigned char>(text[0]));
    if (!whole || (value <= 0 && errno != ERANGE))
        throw DatabaseError(std::string("The environment variable ") + name + " is '" + quotedForMessage(text) +
                            "': it must be a whole number of " + unit + " greater than 0");
    return errno == ERANGE ? max : std::min<std::int64_t>(value, max);
}

}  // namespace

// Generous for any real file, yet a damaged or endless one is stopped: a minute and a second
// more for every 2 MB, and sixteen times the file's size (at least 1 GB) on disk. A 5-million-
// value Access file (about 430 MB) needs some 20 s on an idle 2-core machine and over 50 s on a
// busy one, so the time allows several times the work a healthy file needs.
SourceLimits sourceLimitsFor(const std::string& path) {
    struct stat info {};
    const std::int64_t size = ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
    SourceLimits limits;
    limits.time = std::chrono::seconds(60 + size / (std::int64_t{2} << 20));
    limits.temporaryBytes = std::max(std::int64_t{1} << 30, size * 16);
    if (std::int64_t seconds = fromEnvironment("PONTREL_TIME_LIMIT", kMaxSeconds, "seconds"))
        limits.time = std::chrono::seconds(seconds);
    if (std::int64_t megabytes = fromEnvironment("PONTREL_TEMPORARY_LIMIT", kMaxMegabytes, "megabytes"))
        limits.temporaryBytes = megabytes << 20;
    return limits;
}

std::string temporaryFolder() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : base.string();
}

void rethrowForSource(const DatabaseError& error, const std::string& file, const std::string& what) {
    using Cause = DatabaseError::Cause;
    const std::string reading = what.empty() ? "Reading '" + file + "'" : "Reading '" + what + "' from '" + file + "'";
    switch (error.cause()) {
        case Cause::Locked:
            throw DatabaseError("The file '" + file + "' is locked by another program that is writing to it (waited " +
                                std::to_string(kBusyWait.count()) + " seconds)");
        case Cause::TimedOut:
            throw DatabaseError(reading + " took longer than " +
                                std::to_string(sourceLimitsFor(file).time.count()) +
                                " seconds, the time limit for this file");
        case Cause::TemporaryLimit:
            throw DatabaseError(reading + " needed more than " +
                                std::to_string(sourceLimitsFor(file).temporaryBytes >> 20) +
                                " MB of temporary files, the limit for this file");
        case Cause::NoSpace:
            throw DatabaseError("There is not enough space in the temporary folder '" + temporaryFolder() +
                                "' to read '" + file + "'");
        case Cause::NoMemory: throw DatabaseError("There is not enough memory to read '" + file + "'");
        case Cause::Other: break;
    }
    // SQLite's own words about what it read (a damaged file): which file and what was read.
    if (const auto* read = dynamic_cast<const SqliteReadError*>(&error))
        throw DatabaseError(reading + " failed: " + read->detail(), error.cause());
    throw error;
}

}  // namespace pontrel::data
