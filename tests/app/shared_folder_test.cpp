// An output folder shared with others, and runs interrupted: whatever happens beside or to a run,
// the folder ends with one complete shapefile or the earlier one, and nothing of the run is left
// behind.

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

// ---- An output folder shared with others

// Another user of the folder plants links at the temporary names the moment the first of them
// appears. Nothing is written through them, and the run still writes its shapefile.
TEST(SharedFolder, LinksPlantedAtTemporaryNamesAreNeverFollowed) {
    TempFolder folder;
    std::string sql = testing::kTejoSamples;
    for (int p = 0; p < 100; ++p)
        sql += "INSERT INTO Kelvash_Query VALUES ('P" + std::to_string(p) + "', 'C" + std::to_string(p) +
               "', '2023-01-02', 9, 1.5, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');";
    std::string db = fixtureIn(folder, sql);
    std::string victim = folder.file("victim.txt");
    testing::writeFile(victim, "precious");
    int attackerWins = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::string out = folder.file("out" + std::to_string(attempt));
        std::filesystem::create_directory(out);
        int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
        pid_t attacker = ::fork();
        if (attacker == 0) {
            alignas(inotify_event) char buffer[4096];
            for (;;) {
                ssize_t got = ::read(watch, buffer, sizeof buffer);
                if (got <= 0) ::_exit(0);
                for (char* at = buffer; at < buffer + got;) {
                    auto* event = reinterpret_cast<inotify_event*>(at);
                    at += sizeof(inotify_event) + event->len;
                    std::string name = event->len ? event->name : "";
                    if (name.rfind(".pontrel-", 0) != 0 || name.size() < 4 || name.substr(name.size() - 4) != ".shp") continue;
                    std::string stem = out + "/" + name.substr(0, name.size() - 4);
                    for (const char* ext : {".dbf", ".cpg", ".shx"}) (void)!::symlink(victim.c_str(), (stem + ext).c_str());
                    ::_exit(0);
                }
            }
        }
        ::close(watch);
        testing::ProcessResult r = runProcess({kConverter, db, "--day", "2023-01-02", "--folder", out, "--name", "day"});
        ::kill(attacker, SIGKILL);
        ::waitpid(attacker, nullptr, 0);
        EXPECT_EQ(readFile(victim), "precious") << "attempt " << attempt;
        EXPECT_TRUE(std::filesystem::is_regular_file(victim) && !std::filesystem::is_symlink(victim));
        // The run gives up names found taken for new ones that no one can know.
        EXPECT_EQ(r.exitCode, 0) << r.err;
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"})
            EXPECT_FALSE(std::filesystem::is_symlink(out + "/day" + ext)) << ext;
        EXPECT_EQ(readFile(out + "/day.cpg"), "UTF-8");
        // What is left hidden is the planted links, never a file of the run.
        const std::set<std::string> hidden = hiddenEntries(out);
        for (const std::string& name : hidden) EXPECT_TRUE(std::filesystem::is_symlink(out + "/" + name)) << name;
        if (!hidden.empty()) ++attackerWins;
    }
    // Each run's .dbf and .cpg are created long after its .shp, so the links win the race
    // nearly always; a test where they never did would not have tried the new names at all.
    EXPECT_GT(attackerWins, 0) << "no link was ever planted in time, so the retry was not exercised";
}

// Two runs writing the same shapefile at once: the folder always ends with one run's complete set.
TEST(SharedFolder, ConcurrentRunsToOneNameLeaveOneCompleteSet) {
    // Two runs of the same size, so that their renames come close together.
    TempFolder folder;
    std::string small = largeDatabase(folder, "small.sqlite", 20000, 100);
    std::string large = largeDatabase(folder, "large.sqlite", 20000, 500);
    auto setOf = [](const std::string& out) {
        std::vector<std::string> files;
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) files.push_back(readFile(out + "/result" + ext));
        return files;
    };
    std::map<std::string, std::vector<std::string>> expected;
    for (const std::string& db : {small, large}) {
        std::string out = db + ".out";
        std::filesystem::create_directory(out);
        ASSERT_EQ(runProcess(converterArgs(db, out)).exitCode, 0);
        expected[db] = setOf(out);
    }
    std::string out = folder.file("shared");
    std::filesystem::create_directory(out);
    int smallLast = 0, largeLast = 0;
    for (int race = 0; race < 30; ++race) {
        BackgroundProcess a(converterArgs(small, out)), b(converterArgs(large, out));
        testing::ProcessResult ra = a.wait(), rb = b.wait();
        ASSERT_EQ(ra.exitCode, 0) << ra.err;
        ASSERT_EQ(rb.exitCode, 0) << rb.err;
        std::vector<std::string> now = setOf(out);
        ASSERT_TRUE(now == expected[small] || now == expected[large]) << "a mixed set after race " << race;
        (now == expected[small] ? smallLast : largeLast) += 1;
        ASSERT_EQ(folderEntries(out), (std::set<std::string>{"result.cpg", "result.dbf", "result.shp", "result.shx"}));
    }
    // Each run's set was the last one standing some of the time: the runs did race.
    EXPECT_GT(smallLast, 0) << "the runs never overlapped";
    EXPECT_GT(largeLast, 0) << "the runs never overlapped";
}

// The lock file beside the shapefile serialises the renames: while another holds it, the run
// keeps its files under the temporary names.
TEST(SharedFolder, TheLockFileHoldsBackTheRenames) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    int lock = ::open((out + "/.result.pontrel-lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    BackgroundProcess run(converterArgs(db, out));
    ASSERT_TRUE(waitUntil([&] { return hasTemporary(out); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(run.running());
    EXPECT_FALSE(std::filesystem::exists(out + "/result.shp"));
    ::close(lock);
    testing::ProcessResult r = run.wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(folderEntries(out), (std::set<std::string>{"result.cpg", "result.dbf", "result.shp", "result.shx"}));
}

// A run whose process cannot be seen from here (another PID namespace, or another machine of
// the same name on a network folder) looks dead by its process id, but holds the lock of its
// temporary files: they are kept. A leftover whose lock can be taken goes.
TEST(SharedFolder, TheLockedFilesOfARunOutOfSightAreKept) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string stem = out + "/.pontrel-" + hostName() + "-" + std::to_string(dead) + "-0123456789abcdef";
    writeFile(stem + ".shp", "live");
    writeFile(stem + ".dbf", "left");
    int held = ::open((stem + ".shp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    testing::ProcessResult r = runProcess(converterArgs(db, out));
    ::close(held);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(stem + ".shp"), "live");
    EXPECT_FALSE(std::filesystem::exists(stem + ".dbf"));
}

// An old file that cannot be replaced (immutable) stops the run with the whole old set in place.
TEST(SharedFolder, AReplacementThatFailsHalfWayPutsTheOldSetBack) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    Workspace ws;
    const std::string cpg = ws.out + "/result.cpg";
    if (runProcess({"chattr", "+i", cpg}).exitCode != 0)
        GTEST_SKIP() << "chattr +i is not available here, so no file refuses to be replaced";
    Outcome o = convert(db, ws.out);
    runProcess({"chattr", "-i", cpg});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.err.substr(o.err.find("The file")), "The file '" + cpg + "' cannot be replaced: Operation not permitted\n");
    ws.expectOutputUntouched();
}

// A run killed outright leaves its temporary files; the next run in the folder removes them, and
// nothing else: not the files of live processes, of other hosts, or anything not of this program.
TEST(SharedFolder, TheNextRunRemovesWhatAKilledRunLeft) {
    TempFolder folder;
    std::string db = largeDatabase(folder, "v.sqlite", 200000);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    pid_t dead = 0;
    {
        BackgroundProcess run(converterArgs(db, out));
        ASSERT_TRUE(waitUntil([&] { return hasTemporary(out, ".cpg"); }));  // the last one created
        run.signal(SIGKILL);
        EXPECT_EQ(run.wait().signal, SIGKILL);
        dead = run.pid();
    }
    const std::set<std::string> left = hiddenEntries(out);
    ASSERT_EQ(left.size(), 4u);
    const std::string tag = "-0123456789abcdef";
    const std::set<std::string> others = {
        ".pontrel-elsewhere-" + std::to_string(dead) + tag + ".shp",       // another host
        ".pontrel-" + hostName() + "-" + std::to_string(::getpid()) + tag + ".dbf",  // a live process
        ".pontrel-" + hostName() + "-" + std::to_string(dead) + tag + ".old.shp",    // the only copy of an old file
        ".pontrel-" + hostName() + "-" + std::to_string(dead) + ".shp",   // not a name of this program
        ".pontrel-notes.txt", "notes.txt"};
    for (const std::string& name : others) testing::writeFile(out + "/" + name, "keep");
    // A GeoPackage's temporary file, which no lock holds any more, goes too.
    testing::writeFile(out + "/.pontrel-" + hostName() + "-" + std::to_string(dead) + "-fedcba9876543210.gpkg", "");
    testing::ProcessResult r = runProcess(converterArgs(largeDatabase(folder, "small.sqlite", 1), out, "next"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> expected = others;
    for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) expected.insert(std::string("next") + ext);
    EXPECT_EQ(folderEntries(out), expected);
}


// ---- Interruptions

// The pid of a running child of `parent` with the name `command`, or 0.
pid_t childNamed(pid_t parent, const std::string& command) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string stat = readFile(entry.path().string() + "/stat");
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.find('(') == std::string::npos) continue;
        std::string name = stat.substr(stat.find('(') + 1, close - stat.find('(') - 1);
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z' && command.rfind(name, 0) == 0) return std::stoi(entry.path().filename().string());
    }
    return 0;
}

bool gone(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z');
}

// SIGINT, SIGTERM or SIGHUP while the temporary files exist, or while the samples are read:
// nothing is left in the output folder or the temporary folder, and the status tells the signal.
TEST(Interruptions, SignalsLeaveNothingBehindAndEndWith128PlusTheSignal) {
    TempFolder folder;
    std::string db = largeDatabase(folder, "v.sqlite", 200000);
    const std::string before = readFile(db);
    struct Case {
        int signal;
        bool whileWriting;  // else while reading
        std::string format = "shapefile";
    } cases[] = {{SIGINT, true}, {SIGTERM, true}, {SIGHUP, true}, {SIGTERM, false}, {SIGTERM, true, "gpkg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.whileWriting ? " while writing " : " while reading ") +
                     c.format);
        Workspace ws;
        TempFolder temporary;
        ProcessOptions options;
        options.environment = {"TMPDIR=" + temporary.path()};
        BackgroundProcess run({kConverter, db, "--parameter", "Temperatura", "--folder", ws.out, "--name", "result",
                               "--format", c.format},
                              options);
        bool reached = waitUntil([&] {
            return c.whileWriting ? hasTemporary(ws.out, c.format == "gpkg" ? ".gpkg" : ".shp")
                                  : !folderEntries(temporary.path()).empty();
        });
        ASSERT_TRUE(reached) << strsignal(c.signal);
        run.signal(c.signal);
        testing::ProcessResult r = run.wait();
        EXPECT_EQ(r.exitCode, 128 + c.signal) << strsignal(c.signal) << ": " << r.err;
        ws.expectOutputUntouched();
        EXPECT_TRUE(folderEntries(temporary.path()).empty()) << strsignal(c.signal);
    }
    EXPECT_EQ(readFile(db), before);
}

// SIGTERM the moment the run creates its lock file beside the shapefile: whether the run ends
// before or after its renames, the lock file goes with it.
TEST(Interruptions, TheLockFileGoesWithAnInterruptedRun) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    int landed = 0;
    for (int attempt = 0; attempt < 10 && landed < 3; ++attempt) {
        Workspace ws;
        int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, ws.out.c_str(), IN_CREATE), 0);
        BackgroundProcess run(converterArgs(db, ws.out));
        bool seen = false;
        alignas(inotify_event) char buffer[4096];
        pollfd ready{watch, POLLIN, 0};
        while (!seen && ::poll(&ready, 1, 30000) == 1) {
            const ssize_t got = ::read(watch, buffer, sizeof buffer);
            for (char* at = buffer; got > 0 && at < buffer + got;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                at += sizeof(inotify_event) + event->len;
                if (event->len && std::string(event->name) == ".result.pontrel-lock") seen = true;
            }
        }
        if (seen) run.signal(SIGTERM);
        ::close(watch);
        ASSERT_TRUE(seen) << "the lock file was never created";
        testing::ProcessResult r = run.wait();
        if (r.exitCode == 0) continue;  // done before the signal came
        ++landed;
        EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
        EXPECT_TRUE(hiddenEntries(ws.out).empty()) << *hiddenEntries(ws.out).begin();
    }
    EXPECT_GT(landed, 0) << "the signal never came before the run's end";
}

// A run killed outright leaves its private folder in the temporary folder; the next run removes
// it, but not a live run's folder (which its run keeps locked) nor a folder of another name.
TEST(Interruptions, AKilledRunsPrivateFolderGoesWithTheNextRun) {
    TempFolder folder;
    std::string db = largeDatabase(folder, "v.sqlite", 200000);
    TempFolder temporary;
    ProcessOptions options;
    options.environment = {"TMPDIR=" + temporary.path()};
    {
        Workspace ws;
        BackgroundProcess run(converterArgs(db, ws.out), options);
        ASSERT_TRUE(waitUntil([&] { return !folderEntries(temporary.path()).empty(); }));
        run.signal(SIGKILL);
        EXPECT_EQ(run.wait().signal, SIGKILL);
    }
    ASSERT_EQ(folderEntries(temporary.path()).size(), 1u);
    const std::string live = temporary.file("pontrel-run-live00"), other = temporary.file("pontrel-other1");
    for (const std::string& path : {live, other}) std::filesystem::create_directory(path);
    int held = ::open(live.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    Workspace ws;
    testing::ProcessResult r = runProcess(converterArgs(largeDatabase(folder, "small.sqlite", 1), ws.out), options);
    ::close(held);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(folderEntries(temporary.path()), (std::set<std::string>{"pontrel-run-live00", "pontrel-other1"}));
}

// The Access reader runs in a process of its own: it ends with the converter, whether the
// converter is interrupted (and ends its process group) or killed outright (the reader then
// ends by itself because its parent died).
TEST(Interruptions, TheAccessReaderEndsWithTheConverter) {
    TempFolder folder;
    const std::string mdb = folder.file("large.mdb");
    ASSERT_EQ(runProcess({std::string(PONTREL_BIN_DIR) + "/make_sample_database", mdb, "--mdb", "--days", "400",
                          "--stations", "100", "--stations-per-day", "60", "--parameters", "20",
                          "--parameters-per-visit", "20", "--no-faults"}).exitCode, 0);
    for (int signal : {SIGTERM, SIGKILL}) {
        Workspace ws;
        TempFolder temporary;
        ProcessOptions options;
        options.environment = {"TMPDIR=" + temporary.path()};
        BackgroundProcess run({kConverter, mdb, "--parameter", "Temperatura", "--folder", ws.out, "--name", "result"}, options);
        pid_t reader = 0;
        ASSERT_TRUE(waitUntil([&] { return (reader = childNamed(run.pid(), "pontrel-mdb-loader")) != 0; }))
            << "the reader was never seen running";
        run.signal(signal);
        testing::ProcessResult r = run.wait();
        if (signal == SIGKILL) EXPECT_EQ(r.signal, SIGKILL);
        else EXPECT_EQ(r.exitCode, 128 + signal) << r.err;
        EXPECT_TRUE(waitUntil([&] { return gone(reader); }, 5)) << strsignal(signal);
        ws.expectOutputUntouched();
        if (signal != SIGKILL) {
            EXPECT_TRUE(folderEntries(temporary.path()).empty());
        }
    }
}

}  // namespace
}  // namespace pontrel
