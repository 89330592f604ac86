// An Access file as the user's database. libmdb crashes, aborts and loops on damaged files, so
// it never runs in the program: each request goes to the pontrel-mdb-loader helper, started
// with limits on time, memory and output, which writes what was asked into a SQLite file that
// the working database then attaches. Any crash, hang or limit of the helper becomes a
// DatabaseError; its files live in the working database's private folder or a scratch folder
// and are removed in every case.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <cstring>
#include <filesystem>

#include "common/FileDescriptor.h"
#include "sqlite/DatabaseError.h"
#include "source/HelperProcess.h"
#include "source/SourceDatabase.h"
#include "source/SourceLimits.h"
#include "sqlite/Sqlite.h"
#include "jet/WorkingDatabase.h"

namespace pontrel::data {

namespace {

constexpr const char* kLoader = "pontrel-mdb-loader";
constexpr int kNotFound = 3;
constexpr int kFailed = 2;
constexpr int kNoSpace = 4;
constexpr int kNoMemory = 5;
constexpr long long kMemoryLimit = 2LL << 30;  // address space, bytes


std::string signalName(int signal) {
    switch (signal) {
        case SIGSEGV: return "it crashed (segmentation fault)";
        case SIGBUS: return "it crashed (bus error)";
        case SIGILL: return "it crashed (illegal instruction)";
        case SIGFPE: return "it crashed (arithmetic error)";
        case SIGABRT: return "it aborted";
        case SIGTRAP: return "it aborted";
        case SIGXCPU: return "reading it took too much processor time";
        case SIGKILL: return "the reader was killed (out of memory?)";
        default: return std::string("the reader ended with signal ") + std::to_string(signal) + " (" +
                        strsignal(signal) + ")";
    }
}

class AccessSource : public SourceDatabase {
public:
    explicit AccessSource(const std::string& path) : path_(path), loader_(helperPath(kLoader)) {
        // Reading the catalog now proves the file readable, as opening a connection would.
        ScratchFolder scratch;
        HelperResult result = run({"probe", path_}, scratch.path() + "/messages");
        check(result);
    }

    const std::string& path() const override { return path_; }

    bool load(const std::string& name, WorkingDatabase& work) override {
        std::string output = work.newFilePath("access");
        HelperResult result = runWithProgress({"load", path_, output, name}, output);
        if (result.outcome == HelperResult::Outcome::Exited && result.code == 0) {
            work.attach(output);
            return true;
        }
        std::error_code ec;
        std::filesystem::remove(output, ec);
        if (result.outcome == HelperResult::Outcome::Exited && result.code == kNotFound) return false;
        check(result);
        return false;
    }

    std::vector<CatalogEntry> catalog() override {
        ScratchFolder scratch;
        std::string output = scratch.path() + "/catalog.sqlite";
        check(run({"catalog", path_, output}, scratch.path() + "/messages"));
        std::vector<CatalogEntry> entries;
        SqliteDatabase db(output, SqliteDatabase::Mode::ReadOnly);
        SqliteStatement rows = db.prepare("SELECT kind, name, rows, sql FROM catalog ORDER BY rowid");
        while (rows.step()) {
            CatalogEntry entry;
            entry.kind = rows.columnText(0) == "table" ? CatalogEntry::Kind::Table : CatalogEntry::Kind::Query;
            entry.name = std::string(rows.columnText(1));
            entry.rows = rows.columnInt(2);
            entry.sql = std::string(rows.columnText(3));
            entries.push_back(std::move(entry));
        }
        return entries;
    }

private:
    // Runs a load, passing on the rows copied that the helper writes into a progress file (see
    // MdbLoaderMain.cpp) while it runs. A line read while it is being written is ignored.
    HelperResult runWithProgress(std::vector<std::string> arguments, const std::string& output) {
        if (!copyProgress_) return run(std::move(arguments), output + ".messages");
        const std::string progressPath = output + ".progress";
        FileDescriptor progress(::open(progressPath.c_str(), O_RDONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!progress) return run(std::move(arguments), output + ".messages");
        struct Removed {
            const std::string& path;
            ~Removed() { ::unlink(path.c_str()); }
        } removed{progressPath};
        std::int64_t shown = 0;
        std::exception_ptr failure;  // the observer's, rethrown once the helper is done
        auto show = [&] {
            char line[64] = {};
            if (failure || ::pread(progress.get(), line, sizeof line - 1, 0) <= 0) return;
            long long first = -1, second = -2;
            if (std::sscanf(line, "%lld %lld", &first, &second) != 2 || first != second || first <= shown) return;
            shown = first;
            try {
                copyProgress_(shown);
            } catch (...) {
                failure = std::current_exception();
            }
        };
        arguments.insert(arguments.begin(), "--progress=" + progressPath);
        HelperResult result = run(std::move(arguments), output + ".messages", show);
        if (result.outcome == HelperResult::Outcome::Exited && result.code == 0) show();
        if (failure) std::rethrow_exception(failure);
        return result;
    }

    HelperResult run(std::vector<std::string> arguments, const std::string& messageFile,
                     const std::function<void()>& whileWaiting = {}) {
        // The helper stops by itself on the damage it recognises; these limits catch the rest.
        SourceLimits limits = sourceLimitsFor(path_);
        std::vector<std::string> all = {"--max-memory=" + std::to_string(kMemoryLimit),
                                        "--max-output=" + std::to_string(limits.temporaryBytes),
                                        "--max-cpu=" + std::to_string(limits.time.count() + 1),
                                        "--parent=" + std::to_string(::getpid())};
        all.insert(all.end(), arguments.begin(), arguments.end());
        lastLimits_ = limits;
        return runHelper(loader_, all, limits.time, messageFile, whileWaiting);
    }

    void check(const HelperResult& result) const {
        auto unreadable = [&](const std::string& reason) {
            return DatabaseError("The file '" + path_ + "' could not be read as an Access database: " + reason);
        };
        switch (result.outcome) {
            case HelperResult::Outcome::Exited:
                if (result.code == 0) return;
                // The helper could only tell what ran out; the message is the one SQLite files get.
                if (result.code == kNoSpace)
                    rethrowForSource(DatabaseError("", DatabaseError::Cause::NoSpace), path_, "");
                if (result.code == kNoMemory)
                    rethrowForSource(DatabaseError("", DatabaseError::Cause::NoMemory), path_, "");
                if (result.code == kFailed && !result.message.empty()) throw DatabaseError(result.message);
                throw unreadable("the reader stopped with status " + std::to_string(result.code) +
                                 (result.message.empty() ? std::string() : " (" + result.message + ")"));
            case HelperResult::Outcome::Signalled:
                if (result.code == SIGXFSZ)
                    throw unreadable("what it holds grew beyond " +
                                     std::to_string(lastLimits_.temporaryBytes >> 20) + " MB");
                throw unreadable(signalName(result.code));
            case HelperResult::Outcome::TimedOut:
                throw unreadable("reading it took longer than " + std::to_string(lastLimits_.time.count()) +
                                 " seconds");
            case HelperResult::Outcome::NotStarted:
                throw unreadable("the reader '" + loader_ + "' could not be started: " + result.message);
        }
    }

    std::string path_;
    std::string loader_;
    SourceLimits lastLimits_{};
};

}  // namespace

std::unique_ptr<SourceDatabase> openAccessSource(const std::string& path) {
    return std::make_unique<AccessSource>(path);
}

}  // namespace pontrel::data
