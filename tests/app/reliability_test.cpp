// Bad input and faults, end to end through pontrel-convert and the driver: every case ends with a
// clear message within seconds, never a crash, never a partial shapefile, never a changed source
// file, and any shapefile that existed before is left as it was.

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
#include "TestSupport.h"
#include "sqlite/DatabaseError.h"
#include "engine/ConversionDriver.h"
#include "common/AddressSanitizer.h"
#include "engine/Errors.h"

namespace pontrel {
namespace {

using testing::BackgroundProcess;
using testing::folderEntries;
using testing::ProcessOptions;
using testing::readFile;
using testing::readWithOgrinfo;
using testing::runProcess;
using testing::TempFolder;
using testing::writeFile;

const std::string kConverter = std::string(PONTREL_BIN_DIR) + "/pontrel-convert";
const std::string kReference = PONTREL_SHARED_REFERENCE;

// A run of `args` and how long it took.
struct Timed {
    testing::ProcessResult result;
    double seconds;
};

// Standard error comes without the converter's "pontrel-convert: " and "warning: " marks, here
// and in convert(): these tests are about what the messages say (convert_cli_test.cpp tests the
// marks).
Timed timedRun(const std::vector<std::string>& args, const ProcessOptions& options = {}) {
    auto start = std::chrono::steady_clock::now();
    testing::ProcessResult r = testing::withoutConverterMarks(runProcess(args, options));
    return {r, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

struct Outcome {
    int exitCode;
    std::string err;
    double seconds;
};

Outcome convert(const std::string& database, const std::string& out,
                std::vector<std::string> mode = {"--parameter", "Temperatura"}) {
    std::vector<std::string> args{kConverter, database};
    args.insert(args.end(), mode.begin(), mode.end());
    args.insert(args.end(), {"--folder", out, "--name", "result"});
    Timed t = timedRun(args);
    EXPECT_EQ(t.result.signal, 0) << database;
    return {t.result.exitCode, t.result.err, t.seconds};
}

// The fixture database, with `sql` run on it, as v.sqlite in `folder`.
std::string fixtureIn(const TempFolder& folder, const std::string& sql = testing::kTejoSamples) {
    std::string db = folder.file("v.sqlite");
    testing::makeFixtureDatabase(db, sql);
    return db;
}

std::vector<std::string> converterArgs(const std::string& db, const std::string& out, const std::string& name = "result") {
    return {kConverter, db, "--parameter", "Temperatura", "--folder", out, "--name", name};
}

// A folder with an output folder holding an earlier shapefile, which no failure may touch.
struct Workspace {
    Workspace() {
        std::filesystem::create_directory(out);
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) writeFile(out + "/result" + ext, std::string("earlier ") + ext);
    }
    void expectOutputUntouched() const {
        EXPECT_EQ(folderEntries(out), (std::set<std::string>{"result.cpg", "result.dbf", "result.shp", "result.shx"}));
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"})
            EXPECT_EQ(readFile(out + "/result" + ext), std::string("earlier ") + ext);
    }
    TempFolder folder;
    std::string out = folder.file("out");
};

TEST(BadInput, FilesThatAreNotDatabasesAreRefusedClearly) {
    Workspace ws;
    const std::string zip = std::string("PK\x03\x04\x14\x00\x00\x00", 8) + std::string(100, '\0');
    const std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n%%EOF\n";
    const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + std::string(40, '\x01');
    std::string random;
    for (int i = 0; i < 8192; ++i) random += static_cast<char>((i * 2654435761u) >> 13);
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {{"empty.mdb", ""}, {"random.mdb", random}, {"notes.mdb", "Sampling notes\n"},
                 {"archive.mdb", zip}, {"report.mdb", pdf}, {"logo.mdb", png}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = ws.folder.file(c.name);
        writeFile(path, c.content);
        Outcome o = convert(path, ws.out);
        EXPECT_EQ(o.exitCode, 3) << c.name;
        EXPECT_EQ(o.err, "The file '" + path + "' is not a database that can be read (neither an Access nor a SQLite database)\n") << c.name;
        EXPECT_LT(o.seconds, 10) << c.name;
        EXPECT_EQ(readFile(path), c.content) << c.name;
    }
    Outcome folder = convert(ws.folder.path(), ws.out);
    EXPECT_EQ(folder.exitCode, 3);
    EXPECT_EQ(folder.err, "'" + ws.folder.path() + "' is a folder, not a database file\n");
    ws.expectOutputUntouched();
}

TEST(BadInput, TruncatedAccessFilesFailQuicklyWithTheirName) {
    std::string original = kReference + "/access/testV2000.mdb";
    if (!std::filesystem::exists(original)) GTEST_SKIP() << "no reference Access files here";
    Workspace ws;
    std::string bytes = readFile(original);
    for (std::size_t length : {std::size_t{100}, std::size_t{4096}, std::size_t{4096 * 3 + 17}, bytes.size() / 2}) {
        std::string path = ws.folder.file("cut-" + std::to_string(length) + ".mdb");
        writeFile(path, bytes.substr(0, length));
        Outcome o = convert(path, ws.out);
        EXPECT_EQ(o.exitCode, 3) << length;
        EXPECT_NE(o.err.find("'" + path + "'"), std::string::npos) << o.err;
        EXPECT_LT(o.seconds, 15) << length;
    }
    ws.expectOutputUntouched();
}

TEST(BadInput, DamagedAccessFilesNeverTakeTheProgramDown) {
    std::string folder = kReference + "/damaged-access";
    if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no damaged Access files here";
    Workspace ws;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string path = entry.path().string();
        std::string before = readFile(path);
        for (auto mode : {std::vector<std::string>{"--parameter", "Temperatura"}, std::vector<std::string>{"--inspect"}}) {
            std::vector<std::string> args{kConverter, path};
            args.insert(args.end(), mode.begin(), mode.end());
            if (mode[0] != "--inspect") args.insert(args.end(), {"--folder", ws.out, "--name", "result"});
            const auto [r, seconds] = timedRun(args);
            EXPECT_EQ(r.signal, 0) << path;
            EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 3) << path << ": " << r.err;
            if (r.exitCode == 3) {
                EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
            }
            EXPECT_LT(seconds, 45) << path;
        }
        EXPECT_EQ(readFile(path), before);
    }
    ws.expectOutputUntouched();
}

// Databases whose tables or rows do not fit: a clear message naming what is wrong.
TEST(BadInput, DatabasesWithoutWhatTheConversionNeeds) {
    struct Case {
        const char* name;
        const char* sql;
        std::vector<std::string> mode;
        std::string message;  // after the path
    } cases[] = {
        {"no Kelvash_Query", "DROP TABLE Kelvash_Query;", {"--parameter", "T"},
         "The table or query 'Kelvash_Query' does not exist in '%'"},
        {"no Params", "DROP TABLE Params;", {"--list-parameters"},
         "The table or query 'Params' does not exist in '%' It is not a Vessamo database, which has the tables "
         "Samples and Params and the query Kelvash_Query: choose the Vessamo database file."},
        {"no Samples", "DROP TABLE Samples;", {"--list-days"}, "The table or query 'Samples' does not exist in '%'"},
        {"no Value field", "ALTER TABLE Kelvash_Query DROP COLUMN Value;", {"--parameter", "Temperatura"},
         "The field 'Value' does not exist in the rows of 'Select * from Kelvash_Query WHERE (ParameterName = 'Temperatura')  ORDER BY SampleDate '"},
        {"a bad date", "UPDATE Kelvash_Query SET SampleDate = 'yesterday' WHERE SampleHour = 11;", {"--parameter", "Temperatura"},
         "The column 'SampleDate' of the table 'Kelvash_Query' in '%' holds 'yesterday' in row 4, which is not a date (YYYY-MM-DD, optionally with HH:MM[:SS])"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        std::string db = fixtureIn(folder, std::string(testing::kTejoSamples) + c.sql);
        std::string before = readFile(db);
        std::vector<std::string> args{kConverter, db};
        args.insert(args.end(), c.mode.begin(), c.mode.end());
        if (c.mode[0] == "--parameter") args.insert(args.end(), {"--folder", folder.path()});
        testing::ProcessResult r = runProcess(args);
        std::string expected = c.message;
        if (auto at = expected.find('%'); at != std::string::npos) expected.replace(at, 1, db);
        EXPECT_EQ(r.exitCode, 3) << c.name;
        EXPECT_NE(r.err.find(expected), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(readFile(db), before) << c.name;
        EXPECT_EQ(folderEntries(folder.path()), std::set<std::string>{"v.sqlite"}) << c.name;
    }
}

// Names with characters that mean something to SQL, to shells or to file names select exactly
// their own rows; a very long text is cut to the column, never inside a character.
TEST(BadInput, AwkwardNamesAndTextsConvertFaithfully) {
    const std::vector<std::string> names = {"O'Neil \"index\"", "a;DROP TABLE Params;--", "100%", "a_b",
                                            "[x]", "line\nbreak", "🌊 onda", "מליחות"};
    std::string sql = "INSERT INTO Params VALUES (1, 'x', 'x');";
    for (std::size_t i = 0; i < names.size(); ++i)
        sql += "INSERT INTO Kelvash_Query VALUES (" + data::sqlQuote(names[i]) + ", 'C" + std::to_string(i) +
               "', '2023-01-02', 9, " + std::to_string(i) + ", 38.7, -9.1, 193000, 110000, 'TJ', " +
               data::sqlQuote(std::string(10000, 'a') + "é") + ", 'x');";
    sql += "INSERT INTO Kelvash_Query VALUES ('100x', 'D', '2023-01-02', 9, 99, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');"
           "INSERT INTO Kelvash_Query VALUES ('axb', 'E', '2023-01-02', 9, 98, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');";
    TempFolder folder;
    std::string db = fixtureIn(folder, sql);
    for (std::size_t i = 0; i < names.size(); ++i) {
        testing::ProcessResult r = runProcess({kConverter, db, "--parameter", names[i], "--folder", folder.path(),
                                               "--name", "n" + std::to_string(i)});
        ASSERT_EQ(r.exitCode, 0) << names[i] << ": " << r.err;
        testing::OgrLayer layer = testing::readWithOgrinfo(folder.file("n" + std::to_string(i) + ".shp"));
        ASSERT_EQ(layer.features.size(), 1u) << names[i];
        EXPECT_EQ(layer.features[0].values.at("Param_C" + std::to_string(i)), std::to_string(i) + ".00") << names[i];
        EXPECT_EQ(layer.features[0].values.at("Name"), std::string(50, 'a')) << names[i];
    }
}

TEST(BadInput, ADayWiderThanAnAttributeTableIsRefusedBeforeWriting) {
    std::string sql;
    for (int p = 0; p < 2100; ++p)
        sql += "INSERT INTO Kelvash_Query VALUES ('P" + std::to_string(10000 + p) + "', 'C" + std::to_string(p) +
               "', '2023-01-02', 9, 1.5, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');";
    TempFolder folder;
    std::string db = fixtureIn(folder, sql);
    testing::ProcessResult r = runProcess({kConverter, db, "--day", "2023-01-02", "--folder", folder.path()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("at most 65,535 bytes and at most 2,046 columns"), std::string::npos) << r.err;
    EXPECT_EQ(folderEntries(folder.path()), std::set<std::string>{"v.sqlite"});
}

// A settings file is a regular file of at most 1 MB: a pipe (given, or at the default path)
// or a device is refused at once, with status 2, and so is a larger file.
TEST(BadInput, SettingsThatAreNotSmallRegularFilesAreRefusedAtOnce) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    std::string fifo = folder.file("settings.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string large = folder.file("large.ini");
    writeFile(large, "[Output]\n" + std::string(std::size_t{1} << 20, ';'));
    std::filesystem::create_directories(folder.file("config/vessamo-pontrel"));
    ASSERT_EQ(::mkfifo(folder.file("config/vessamo-pontrel/settings.ini").c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> extra;
        std::vector<std::string> environment;
        std::string message;
    } cases[] = {
        {{"--settings", fifo}, {}, "The settings file '" + fifo + "' is not a regular file\n"},
        {{"--settings", "/dev/zero"}, {}, "The settings file '/dev/zero' is not a regular file\n"},
        {{"--settings", large}, {}, "The settings file '" + large + "' is larger than 1 MB, which no settings file needs\n"},
        {{}, {"XDG_CONFIG_HOME=" + folder.file("config")},
         "The settings file '" + folder.file("config/vessamo-pontrel/settings.ini") + "' is not a regular file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = converterArgs(db, out);
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ProcessOptions options;
        options.environment = c.environment;
        const auto [r, seconds] = timedRun(args, options);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, c.message);
        EXPECT_LT(seconds, 10);
        EXPECT_TRUE(folderEntries(out).empty());
    }
}

// A settings line the program cannot use is quoted in at most about 100 characters, with
// control and malformed bytes escaped, however long or binary the line is.
TEST(BadInput, SettingsLinesAreQuotedShortAndEscaped) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    struct Case {
        std::string text;
        std::string said;
    } cases[] = {
        {"[Output]\nNormalCRS=" + std::string(900000, 'x') + "\n",
         "line 2: NormalCRS is '" + std::string(100, 'x') + "...', which PROJ cannot use as a coordinate system: "},
        {"[Output]\nValues=\x01\x02\xff\x1b[31m\xc3\xa9\n",
         "line 2: Values is '\\x01\\x02\\xFF\\x1B[31m\xc3\xa9': it must be rounded or exact\n"},
        {std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10), "line 1: '\\x7FELF\\x02\\x01\\x01\\x00\\x00\\x00' is not a setting"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::string settings = folder.file("s.ini");
        writeFile(settings, c.text);
        std::vector<std::string> args = converterArgs(db, out);
        args.insert(args.end(), {"--settings", settings});
        testing::ProcessResult r = runProcess(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("The settings file '" + settings + "', " + c.said), std::string::npos) << r.err.substr(0, 400);
        EXPECT_LT(r.err.size(), 600u);
    }
}

// A coordinate system naming grid files is refused at once: the .prj needs no grid, and PROJ
// would open a pipe there for ever (or fetch a grid from the network). "@null" names no file.
TEST(BadInput, CoordinateSystemsNamingGridFilesAreRefusedAtOnce) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    std::string fifo = folder.file("grid");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& grids : {"+nadgrids=@" + fifo, "+geoidgrids=" + fifo, "+nadgrids=@null,@" + fifo}) {
        SCOPED_TRACE(grids);
        std::vector<std::string> args = converterArgs(db, out);
        args.insert(args.end(), {"--crs", "+proj=longlat +datum=WGS84 " + grids});
        ProcessOptions options;
        options.environment = {"PROJ_NETWORK=ON"};
        const auto [r, seconds] = timedRun(args, options);
        EXPECT_EQ(r.exitCode, 2);
        const std::string file = grids.substr(grids.rfind(',') == std::string::npos ? grids.find('=') + 1 : grids.rfind(',') + 1);
        EXPECT_EQ(testing::lines(r.err).at(0), "--crs '+proj=longlat +datum=WGS84 " + grids +
                  "' is not a coordinate system PROJ can use: it names the grid file '" + file +
                  "', and a .prj is written without reading grid files");
        EXPECT_LT(seconds, 10);
    }
    std::vector<std::string> args = converterArgs(db, out);
    args.insert(args.end(), {"--crs", "+proj=merc +a=6378137 +b=6378137 +nadgrids=@null +wktext +no_defs"});
    testing::ProcessResult r = runProcess(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/result.prj"));
}

TEST(Faults, ReadOnlyOutputFilesAreKept) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    Workspace ws;
    std::filesystem::permissions(ws.out + "/result.dbf", std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    Outcome o = convert(db, ws.out);
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.err.substr(o.err.find("The file")), "The file '" + ws.out + "/result.dbf' is read-only, so it is not replaced\n");
    ws.expectOutputUntouched();
}

// The driver in-process, with the output folder removed while the records are being written.
TEST(Faults, AFolderThatDisappearsDuringTheRun) {
    TempFolder folder;
    std::string sql = testing::kTejoSamples;
    for (int i = 0; i < 3000; ++i)
        sql += "INSERT INTO Kelvash_Query VALUES ('Temperatura', 'T', '2023-01-03', 9, 1.5, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');";
    std::string db = fixtureIn(folder, sql);
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    RunState state;
    state.DataSourceFile = db;
    state.ShapeType = kParameterMode;
    state.SelectedParameter = "Temperatura";
    testing::FakeUserInterface ui;
    int calls = 0;
    ui.onNow = [&](testing::FakeUserInterface&) {
        if (++calls == 100) std::filesystem::remove_all(out);
    };
    OutputOptions options{out, "result", true, false};
    EXPECT_THROW(runConversion(state, ui, options), ConversionError);
    EXPECT_EQ(ui.endCalls, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    for (const auto& m : ui.messages) EXPECT_EQ(m.find("was created with success"), std::string::npos);
}

TEST(Faults, ASourceTruncatedAfterItWasOpened) {
    TempFolder folder;
    std::string db = fixtureIn(folder);
    data::Connection connection(db);
    std::filesystem::resize_file(db, 1024);
    try {
        auto rows = connection.execute("Select * from Kelvash_Query");
        for (; !rows->eof(); rows->moveNext()) {
        }
        ADD_FAILURE() << "a truncated database read without an error";
    } catch (const data::DatabaseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Reading 'Kelvash_Query' from '" + db + "' failed: database disk image is malformed");
    }
}

// A parent that ignores SIGCHLD (daemons, some shells) passes that on: the Access reader's end
// must still be learnt, so that a reader stopped at a limit is that failure, not a success
// followed by a puzzling message about the half-written working database.
TEST(Faults, TheAccessReadersEndIsLearntAlsoWhenSIGCHLDIsIgnored) {
    TempFolder folder;
    const std::string mdb = folder.file("v.mdb");
    ASSERT_EQ(runProcess({std::string(PONTREL_BIN_DIR) + "/make_sample_database", mdb, "--days", "150", "--stations",
                          "50", "--stations-per-day", "30", "--parameters", "10", "--parameters-per-visit", "10",
                          "--no-faults"}).exitCode, 0);
    Workspace ws;
    std::vector<std::string> args = {"python3", "-c",
                                     "import os, signal, sys; signal.signal(signal.SIGCHLD, signal.SIG_IGN); "
                                     "os.execv(sys.argv[1], sys.argv[1:])"};
    for (const std::string& arg : converterArgs(mdb, ws.out)) args.push_back(arg);
    ProcessOptions options;
    options.environment = {"PONTREL_TEMPORARY_LIMIT=1"};
    testing::ProcessResult r = testing::withoutConverterMarks(runProcess(args, options));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "The file '" + mdb + "' could not be read as an Access database: what it holds grew beyond 1 MB\n");
    ws.expectOutputUntouched();
}


// ---- Helpers for the runs below: larger databases, hidden files, waiting for a state.

// The fixture database with `rows` more temperature samples, made in one statement.
std::string largeDatabase(const TempFolder& folder, const std::string& name, int rows, double value = 1) {
    std::string db = folder.file(name);
    testing::makeFixtureDatabase(db, std::string(testing::kTejoSamples) +
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
        ") INSERT INTO Kelvash_Query SELECT 'Temperatura', 'T', '2023-01-03', 9, " + std::to_string(value) +
        " + i * 0.01, 38.7, -9.1, 193000 + i, 110000, 'TJ', 'n', 'x' FROM n;");
    return db;
}

std::set<std::string> hiddenEntries(const std::string& folder) {
    std::set<std::string> hidden;
    for (const std::string& name : folderEntries(folder))
        if (name[0] == '.') hidden.insert(name);
    return hidden;
}

// Polls `ready` every millisecond for up to `seconds`.
bool waitUntil(const std::function<bool()>& ready, double seconds = 30) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool hasTemporary(const std::string& folder, const std::string& extension = ".shp") {
    for (const std::string& name : hiddenEntries(folder))
        if (name.rfind(".pontrel-", 0) == 0 && name.size() > extension.size() &&
            name.substr(name.size() - extension.size()) == extension)
            return true;
    return false;
}

std::string hostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

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
    // The limits count from the address space the converter takes to start (its libraries reserve
    // much of it, and more as they change): above it, low enough for SQLite's cache, for the
    // samples read, and high enough for the whole run.
    rlim_t starting = 0;
    for (rlim_t megabytes = 40; starting == 0 && megabytes < 1024; megabytes += 10) {
        ProcessOptions options;
        options.addressSpaceLimit = megabytes << 20;
        if (runProcess({kConverter, "--version"}, options).exitCode == 0) starting = megabytes;
    }
    ASSERT_GT(starting, 0u) << "the converter does not start under 1 GB of address space";
    int named = 0;
    for (rlim_t megabytes : {starting + 20, starting + 50, starting + 180}) {
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
