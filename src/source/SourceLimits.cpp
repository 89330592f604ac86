#include "source/SourceLimits.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace pontrel::data {

namespace {

// A positive whole number from the environment, or nothing.
std::int64_t fromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (!text || !*text) return 0;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    return *end == '\0' && value > 0 ? value : 0;
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
    if (std::int64_t seconds = fromEnvironment("PONTREL_TIME_LIMIT")) limits.time = std::chrono::seconds(seconds);
    if (std::int64_t megabytes = fromEnvironment("PONTREL_TEMPORARY_LIMIT"))
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
    throw error;
}

}  // namespace pontrel::data
