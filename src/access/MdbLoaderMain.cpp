// pontrel-mdb-loader: reads an Access file for the program in a process of its own, so that a
// damaged file that crashes or hangs libmdb cannot take the program down. The program starts it
// with limits and reads what it writes:
//
//   pontrel-mdb-loader [limits] probe FILE            checks that FILE can be read
//   pontrel-mdb-loader [limits] load FILE OUT NAME    writes table or query NAME into SQLite OUT
//   pontrel-mdb-loader [limits] catalog FILE OUT      writes the catalog into SQLite OUT
//
// limits: --max-memory=BYTES --max-output=BYTES --max-cpu=SECONDS, set before anything is read;
// --parent=PID: the program that started it, whose end ends the helper too.
// --progress=FILE: while loading, the rows copied so far are written over the start of FILE
// (which the program made) as "N N" and a line break, N twice so that a reader that meets a
// half-written line can tell and ignore it.
// Exit status 0: done; 3: FILE holds no table or query NAME; 2: refused or failed, with the
// message for the user on file descriptor 3 (or on standard error when 3 is not open); 4: the
// disk of OUT is full (the message could not be written there either); 5: out of memory.

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "access/AccessLoader.h"
#include "common/AddressSanitizer.h"
#include "common/FileDescriptor.h"
#include "sqlite/DatabaseError.h"
#include "sqlite/Sqlite.h"

namespace {

using pontrel::kAddressSanitizer;

constexpr int kDone = 0;
constexpr int kFailed = 2;
constexpr int kNotFound = 3;
constexpr int kNoSpace = 4;
constexpr int kNoMemory = 5;
constexpr int kUsage = 64;
constexpr int kOrphaned = 65;

void report(const std::string& message) {
    int fd = fcntl(3, F_GETFD) != -1 ? 3 : 2;
    std::string line = message + "\n";
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t written = write(fd, p, left);
        if (written <= 0) break;
        p += written;
        left -= static_cast<std::size_t>(written);
    }
}

// Lowers a limit to `value`; a limit already lower (ulimit) stays as it is.
bool setLimit(int resource, rlim_t value) {
    struct rlimit current {};
    if (getrlimit(resource, &current) == 0 && current.rlim_max != RLIM_INFINITY && current.rlim_max < value)
        value = current.rlim_max;
    struct rlimit limit {value, value};
    return setrlimit(resource, &limit) == 0;
}

// The rows copied so far, for the program's progress display. A failed write only loses the
// display, never the loading.
class ProgressFile {
public:
    explicit ProgressFile(const std::string& path) : fd_(::open(path.c_str(), O_WRONLY | O_CLOEXEC)) {}
    void write(std::int64_t rows) {
        if (!fd_) return;
        char line[64];
        int length = std::snprintf(line, sizeof line, "%020lld %020lld\n", static_cast<long long>(rows),
                                   static_cast<long long>(rows));
        if (length <= 0 || ::pwrite(fd_.get(), line, static_cast<std::size_t>(length), 0) != length) fd_.reset();
    }

private:
    pontrel::FileDescriptor fd_;
};

std::string progressPath;  // from --progress=

bool applyLimit(const std::string& argument) {
    auto valueOf = [&](const char* prefix) -> std::optional<rlim_t> {
        std::size_t n = std::strlen(prefix);
        if (argument.compare(0, n, prefix) != 0) return std::nullopt;
        char* end = nullptr;
        unsigned long long value = std::strtoull(argument.c_str() + n, &end, 10);
        if (*end != '\0' || value == 0) return std::nullopt;
        return static_cast<rlim_t>(value);
    };
    if (auto v = valueOf("--max-memory=")) {
        // AddressSanitizer reserves far more address space than it uses.
        if (kAddressSanitizer) return true;
        return setLimit(RLIMIT_AS, *v);
    }
    if (auto v = valueOf("--max-output=")) return setLimit(RLIMIT_FSIZE, *v);
    if (auto v = valueOf("--max-cpu=")) return setLimit(RLIMIT_CPU, *v);
    if (auto v = valueOf("--parent=")) {
        // Ends with the program that started it. The program may have ended before the request
        // was made, so its process is checked again afterwards.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
        if (getppid() != static_cast<pid_t>(*v)) _exit(kOrphaned);
        return true;
    }
    return false;
}

int run(const std::vector<std::string>& args) {
    using namespace pontrel::data;
    const std::string& mode = args[0];
    if (mode == "probe" && args.size() == 2) {
        AccessLoader loader(args[1]);
        return kDone;
    }
    if (mode == "load" && args.size() == 4) {
        AccessLoader loader(args[1]);
        SqliteDatabase out(args[2], SqliteDatabase::Mode::ReadWriteCreate);
        AccessLoader::prepareOutput(out);
        std::optional<ProgressFile> progress;
        if (!progressPath.empty()) {
            progress.emplace(progressPath);
            loader.setRowsCopiedObserver([&](std::int64_t rows) { progress->write(rows); });
        }
        return loader.load(args[3], out) ? kDone : kNotFound;
    }
    if (mode == "catalog" && args.size() == 3) {
        AccessLoader loader(args[1]);
        std::vector<CatalogEntry> entries = loader.catalog();
        SqliteDatabase out(args[2], SqliteDatabase::Mode::ReadWriteCreate);
        AccessLoader::prepareOutput(out);
        out.exec("BEGIN; CREATE TABLE catalog (kind TEXT, name TEXT, rows INTEGER, sql TEXT)");
        SqliteStatement insert = out.prepare("INSERT INTO catalog VALUES (?1, ?2, ?3, ?4)");
        for (const CatalogEntry& entry : entries) {
            insert.bindText(1, entry.kind == CatalogEntry::Kind::Table ? "table" : "query");
            insert.bindText(2, entry.name);
            insert.bindInt(3, entry.rows);
            insert.bindText(4, entry.sql);
            insert.step();
            insert.reset();
        }
        out.exec("COMMIT");
        return kDone;
    }
    report("pontrel-mdb-loader: unknown arguments");
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    setLimit(RLIMIT_CORE, 0);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--progress=", 0) == 0 && args.empty()) {
            progressPath = argument.substr(std::strlen("--progress="));
            continue;
        }
        if (argument.rfind("--", 0) == 0 && args.empty()) {
            if (!applyLimit(argument)) {
                report("pontrel-mdb-loader: cannot apply " + argument);
                return kUsage;
            }
            continue;
        }
        args.push_back(argument);
    }
    if (args.empty()) {
        report("pontrel-mdb-loader: nothing to do");
        return kUsage;
    }
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    } catch (const pontrel::data::DatabaseError& e) {
        if (e.cause() == pontrel::data::DatabaseError::Cause::NoSpace) return kNoSpace;
        if (e.cause() == pontrel::data::DatabaseError::Cause::NoMemory) return kNoMemory;
        report(e.what());
    } catch (const std::exception& e) {
        report(e.what());
    }
    return kFailed;
}
