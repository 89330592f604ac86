// Sources that do not answer, and a machine that runs out: views that never end, functions that
// work for ever, locked and busy databases, limits from the environment, WAL files, special
// files, full temporary folders and memory limits. Every case ends within its limit with a
// message naming what happened, and nothing left behind.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "FakeUserInterface.h"
#include "VessamoFixture.h"
#include "ReliabilityRuns.h"
#include "TestSupport.h"
#include "sqlite/DatabaseError.h"
#include "engine/ConversionDriver.h"
#include "common/AddressSanitizer.h"
#include "engine/Errors.h"

namespace pontrel {
namespace {

using namespace reliability;

// ---- Sources that do not answer

// A view that never ends is stopped at the time limit, or at the bound on temporary files,
// with a message naming the file and the statement; its temporary files are gone.
TEST(Sources, AnEndlessViewStopsAtTheLimits) {
    TempFolder folder;
    std::string db = folder.file("endless.sqlite");
    testing::makeFixtureDatabase(db, std::string(testing::kTejoSamples) +
        "DROP TABLE Kelvash_Query;"
        "CREATE VIEW Kelvash_Query AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
        "SELECT 'Temperatura' AS ParameterName, 'T' AS ParameterCode, '2023-01-02' AS SampleDate, 9 AS SampleHour, "
        "i AS Value, 38.7 AS Latitude, -9.1 AS Longitude, 193000 AS MilitaryLatitude, 110000 AS MilitaryLongitude, "
        "'TJ' AS CurrentName, printf('%.200c', 'n') AS Name, 'x' AS TidalSituation FROM n ORDER BY i DESC;");
    const std::string before = readFile(db);
    // Whichever statement meets the limit (one reading the view, or the view's own check),
    // the message names the view and the file.
    const std::string reading = "Reading '[^\\n]*Kelvash_Query[^\\n]*' from '" + db + "' ";
    struct Case {
        std::vector<std::string> environment;
        std::string message;
        double seconds;
    } cases[] = {
        {{"PONTREL_TIME_LIMIT=2"}, reading + "took longer than 2 seconds, the time limit for this file\n", 2},
        {{"PONTREL_TIME_LIMIT=120", "PONTREL_TEMPORARY_LIMIT=4"},
         reading + "needed more than 4 MB of temporary files, the limit for this file\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Workspace ws;
        TempFolder temporary;
        ProcessOptions options;
        options.environment = c.environment;
        options.environment.push_back("TMPDIR=" + temporary.path());
        const auto [r, seconds] = timedRun(converterArgs(db, ws.out), options);
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_TRUE(std::regex_match(r.err, std::regex(c.message))) << r.err;
        EXPECT_GE(seconds, c.seconds);
        EXPECT_LT(seconds, c.seconds + 30);
        ws.expectOutputUntouched();
        EXPECT_TRUE(folderEntries(temporary.path()).empty());
    }
    EXPECT_EQ(readFile(db), before);
}

// Work inside one call of a Jet function is bounded too: a search in a 3.9-million-character
// text stops at the time limit, and a text built past SQLite's length limit (here 4 GB of
// spaces) stops at once as a lack of memory, before the memory is taken.
TEST(Sources, OneLongFunctionCallStopsAtTheLimits) {
    const std::string view =
        "DROP TABLE Kelvash_Query;"
        "CREATE TABLE Base AS SELECT 'Temperatura' AS ParameterName, 'T' AS ParameterCode, '2023-01-02' AS SampleDate, "
        "9 AS SampleHour, 1.5 AS Value, 38.7 AS Latitude, -9.1 AS Longitude, 193000 AS MilitaryLatitude, "
        "110000 AS MilitaryLongitude, 'TJ' AS CurrentName, 'n' AS Name, 'x' AS TidalSituation;"
        "CREATE VIEW Kelvash_Query AS SELECT * FROM Base WHERE ";
    struct Case {
        std::string where;
        std::string message;  // a pattern
        bool memory;
    } cases[] = {
        {"jet_instr(printf('%.3900000c', 'x'), printf('%.2000c', 'x') || 'y') = 0",
         "Reading '[^\\n]*Kelvash_Query[^\\n]*' from '[^']*' took longer than 1 seconds, the time limit for this file\n", false},
        {"length(jet_replace(jet_space(65535), ' ', jet_space(65535))) > 0",
         "There is not enough memory to read '[^']*'\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        if (c.memory && kAddressSanitizer) continue;  // an address-space limit cannot be met there
        TempFolder folder;
        std::string db = folder.file("v.sqlite");
        testing::makeFixtureDatabase(db, std::string(testing::kTejoSamples) + view + c.where + ";");
        Workspace ws;
        ProcessOptions options;
        options.environment = {"PONTREL_TIME_LIMIT=1"};
        // Should the length not be bounded, the run meets this limit rather than the machine's.
        if (c.memory) options.addressSpaceLimit = rlim_t{3} << 30;
        const auto [r, seconds] = timedRun(converterArgs(db, ws.out), options);
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_TRUE(std::regex_match(r.err, std::regex(c.message))) << r.err;
        EXPECT_LT(seconds, 10);
        ws.expectOutputUntouched();
    }
}

// Another program writing the database: a short lock is waited out, a long one is named. The
// long one is held until the run has given up, not for a fixed time.
TEST(Sources, ALockedDatabaseIsWaitedForThenNamed) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    for (bool shortLock : {true, false}) {
        int ready[2], release[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(release), 0);
        pid_t writer = ::fork();
        if (writer == 0) {
            data::SqliteDatabase other(db, data::SqliteDatabase::Mode::ReadWriteCreate);
            other.exec("BEGIN EXCLUSIVE; INSERT INTO Params VALUES (9, 'Oxigenio', 'O2');");
            (void)!::write(ready[1], "x", 1);
            char byte;
            if (shortLock) std::this_thread::sleep_for(std::chrono::seconds(1));
            else (void)!::read(release[0], &byte, 1);
            other.exec("ROLLBACK");
            ::_exit(0);
        }
        char byte;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        std::string out = folder.file(shortLock ? "outShort" : "outLong");
        std::filesystem::create_directory(out);
        const auto [r, seconds] = timedRun(converterArgs(db, out));
        (void)!::write(release[1], "x", 1);
        for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
        ::waitpid(writer, nullptr, 0);
        if (shortLock) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
        } else {
            EXPECT_EQ(r.exitCode, 3);
            EXPECT_EQ(r.err, "The file '" + db + "' is locked by another program that is writing to it (waited 5 seconds)\n");
            EXPECT_GE(seconds, 4.5);
            EXPECT_TRUE(folderEntries(out).empty());
        }
    }
}

// Another program committing in a loop, each commit a few milliseconds: every run waits out
// those short locks. A run that read the file through two connections, or started a new lock
// while a statement still held one, could deadlock with the writer's pending lock and give up
// after the full wait.
TEST(Sources, ARunOfShortWritesNeverLocksARunOut) {
    TempFolder folder;
    std::string db = fixtureIn(folder, std::string(testing::kTejoSamples) + "; CREATE TABLE Writes (n INTEGER);");
    pid_t writer = ::fork();
    if (writer == 0) {
        data::SqliteDatabase other(db, data::SqliteDatabase::Mode::ReadWriteCreate);
        other.setBusyTimeout(std::chrono::seconds(10));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (std::chrono::steady_clock::now() < end)
            other.exec("BEGIN IMMEDIATE; INSERT INTO Writes VALUES (1); COMMIT;");
        ::_exit(0);
    }
    int failed = 0;
    for (int run = 0; run < 8; ++run) {
        std::string out = folder.file("out" + std::to_string(run));
        std::filesystem::create_directory(out);
        const auto [r, seconds] = timedRun(converterArgs(db, out));
        if (r.exitCode != 0) ++failed;
        EXPECT_EQ(r.exitCode, 0) << "run " << run << " after " << seconds << " s: " << r.err;
    }
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(failed, 0);
}

// Limits from the environment too large for the clock or for a count of bytes are taken as the
// largest there are; a value that is not a whole number above 0 is named.
TEST(Sources, LimitsFromTheEnvironmentAreClampedOrNamed) {
    const std::string mdb = std::string(PONTREL_SAMPLE_DIR) + "/vessamo-sample.mdb";
    TempFolder folder;
    std::vector<std::string> databases = {fixtureIn(folder)};
    if (std::filesystem::exists(mdb)) databases.push_back(mdb);
    struct Case {
        std::string setting;
        std::string message;  // empty: the run succeeds
    } cases[] = {
        {"PONTREL_TIME_LIMIT=10000000000", ""},
        {"PONTREL_TIME_LIMIT=9223372036", ""},
        {"PONTREL_TEMPORARY_LIMIT=8796093022208", ""},
        {"PONTREL_TEMPORARY_LIMIT=99999999999999999999999", ""},
        {"PONTREL_TIME_LIMIT=abc", "The environment variable PONTREL_TIME_LIMIT is 'abc': it must be a whole number of seconds greater than 0\n"},
        {"PONTREL_TEMPORARY_LIMIT=-4", "The environment variable PONTREL_TEMPORARY_LIMIT is '-4': it must be a whole number of megabytes greater than 0\n"},
    };
    for (const std::string& db : databases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(db + " with " + c.setting);
            Workspace ws;
            ProcessOptions options;
            options.environment = {c.setting};
            testing::ProcessResult r = testing::withoutConverterMarks(runProcess(converterArgs(db, ws.out), options));
            if (c.message.empty()) {
                EXPECT_EQ(r.exitCode, 0) << r.err;
            } else {
                EXPECT_EQ(r.exitCode, 3);
                EXPECT_EQ(r.err, c.message);
                ws.expectOutputUntouched();
            }
        }
    }
}

// A database in WAL mode is read without creating -wal or -shm files beside it, also in a
// folder that cannot be written to, and changes still in its -wal file are read.
TEST(Sources, WalDatabasesAreReadWithoutCreatingFilesBesideThem) {
    TempFolder folder;
    std::string dir = folder.file("data");
    std::filesystem::create_directory(dir);
    std::string db = dir + "/wal.sqlite";
    testing::makeFixtureDatabase(db, testing::kTejoSamples);
    data::SqliteDatabase(db, data::SqliteDatabase::Mode::ReadWriteCreate).exec("PRAGMA journal_mode=WAL");
    ASSERT_EQ(folderEntries(dir), std::set<std::string>{"wal.sqlite"});
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);

    testing::ProcessResult plain = runProcess(converterArgs(db, out, "plain"));
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(folderEntries(dir), std::set<std::string>{"wal.sqlite"});

    // A folder that cannot be written to: root writes anywhere, so it is a read-only mount in a
    // mount namespace of the converter's own when the system allows one.
    std::vector<std::string> readOnly;
    if (::geteuid() == 0) {
        readOnly = {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                    "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" \"$0\" && exec \"$@\"", dir};
        testing::ProcessResult probe = runProcess([&] {
            auto args = readOnly;
            args.insert(args.end(), {"touch", dir + "/probe"});
            return args;
        }());
        std::filesystem::remove(dir + "/probe");
        if (probe.err.find("Read-only file system") == std::string::npos) readOnly.clear();
    } else {
        std::filesystem::permissions(dir, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    }
    if (::geteuid() != 0 || !readOnly.empty()) {
        auto args = readOnly;
        for (const std::string& arg : converterArgs(db, out, "readonly")) args.push_back(arg);
        testing::ProcessResult r = runProcess(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readWithOgrinfo(out + "/readonly.shp").features.size(), 3u);
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    } else {
        std::printf("no read-only mount is possible here, so the read-only folder is not tried\n");
    }
    EXPECT_EQ(folderEntries(dir), std::set<std::string>{"wal.sqlite"});

    // Another program holds the database open with a change that only its -wal file has.
    {
        data::SqliteDatabase writer(db, data::SqliteDatabase::Mode::ReadWriteCreate);
        writer.exec("PRAGMA wal_autocheckpoint=0; INSERT INTO Kelvash_Query VALUES ('Temperatura', 'T', "
                    "'2023-01-10', 9, 17.5, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');");
        const std::set<std::string> files = folderEntries(dir);
        testing::ProcessResult r = runProcess(converterArgs(db, out, "changed"));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readWithOgrinfo(out + "/changed.shp").features.size(), 4u);
        EXPECT_EQ(folderEntries(dir), files);
    }
}

// Anything but a regular file (after links) is refused at once in every mode; a path that
// starts with // opens like any other.
TEST(Sources, OnlyRegularFilesAreOpenedByAnyPath) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    std::string fifo = folder.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        for (std::vector<std::string> mode : {std::vector<std::string>{"--inspect"}, {"--list-days"},
                                             {"--parameter", "Temperatura", "--folder", out}}) {
            mode.insert(mode.begin(), {kConverter, path});
            const auto [r, seconds] = timedRun(mode);
            EXPECT_EQ(r.exitCode, 3) << path;
            EXPECT_EQ(r.err, "The file '" + path + "' is not a database file\n");
            EXPECT_LT(seconds, 10);
        }
    }
    std::filesystem::create_symlink(db, folder.file("link.sqlite"));
    for (const std::string& path : {folder.file("link.sqlite"), "/" + db, "//" + db}) {
        testing::ProcessResult r = runProcess(converterArgs(path, out));
        EXPECT_EQ(r.exitCode, 0) << path << ": " << r.err;
    }
    const std::string mdb = std::string(PONTREL_SAMPLE_DIR) + "/vessamo-sample.mdb";
    if (std::filesystem::exists(mdb)) {
        testing::ProcessResult r = runProcess(converterArgs("/" + mdb, out));
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    EXPECT_EQ(folderEntries(folder.path()), (std::set<std::string>{"v.sqlite", "pipe", "out", "link.sqlite"}));
}

// ---- What ran out

// A full temporary folder while an Access file is read, and a memory limit: the message says
// what ran out, the status is 3, and nothing is left behind.
TEST(Lacks, AFullTemporaryFolderIsNamed) {
    const std::string mdb = std::string(PONTREL_SAMPLE_DIR) + "/vessamo-sample.mdb";
    if (!std::filesystem::exists(mdb)) GTEST_SKIP() << "the sample database is not built";
    TempFolder folder;
    std::string small = folder.file("small");
    std::filesystem::create_directory(small);
    Workspace ws;
    // A small file system of the converter's own, mounted in a mount namespace of its own.
    const std::string script = "mount -t tmpfs -o size=64k tmpfs \"$0\" || exit 99; \"$@\"; status=$?; "
                               "echo \"left:$(ls -A \"$0\")\"; exit $status";
    ProcessOptions options;
    options.environment = {"TMPDIR=" + small};
    std::vector<std::string> args = {"unshare", "--mount", "--propagation", "private", "sh", "-c", script, small};
    for (const std::string& arg : converterArgs(mdb, ws.out)) args.push_back(arg);
    testing::ProcessResult r = testing::withoutConverterMarks(runProcess(args, options));
    if (r.exitCode == 99 || r.out.find("left:") == std::string::npos)
        GTEST_SKIP() << "no small file system can be mounted here: " << r.err;
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "There is not enough space in the temporary folder '" + small + "' to read '" + mdb + "'\n");
    EXPECT_EQ(r.out, "left:\n");
    ws.expectOutputUntouched();
}

TEST(Lacks, AMemoryLimitIsNamed) {
    if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit cannot be met under AddressSanitizer";
    TempFolder folder;
    std::string db = largeDatabase(folder, "v.sqlite", 300000);
    int named = 0;
    // Low enough for SQLite's cache, for the samples read, and high enough for the whole run.
    for (rlim_t megabytes : {90, 120, 250}) {
        Workspace ws;
        TempFolder temporary;
        ProcessOptions options;
        options.addressSpaceLimit = megabytes << 20;
        options.environment = {"TMPDIR=" + temporary.path()};
        testing::ProcessResult r = testing::withoutConverterMarks(runProcess(converterArgs(db, ws.out), options));
        EXPECT_EQ(r.signal, 0) << megabytes;
        if (r.exitCode == 0 || r.err.find("error while loading shared libraries") != std::string::npos) continue;
        ++named;
        EXPECT_EQ(r.exitCode, 3) << megabytes;
        const std::vector<std::string> said = testing::lines(r.err);
        EXPECT_TRUE(!said.empty() && said.back().rfind("There is not enough memory to ", 0) == 0)
            << megabytes << " MB: " << r.err;
        ws.expectOutputUntouched();
        EXPECT_TRUE(folderEntries(temporary.path()).empty());
    }
    EXPECT_GT(named, 0) << "no limit was low enough to be met";
}

}  // namespace
}  // namespace pontrel
