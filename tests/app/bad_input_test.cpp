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
#include "ReliabilityRuns.h"
#include "TestSupport.h"
#include "sqlite/DatabaseError.h"
#include "engine/ConversionDriver.h"
#include "common/AddressSanitizer.h"
#include "engine/Errors.h"

namespace pontrel {
namespace {

using namespace reliability;

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

}  // namespace
}  // namespace pontrel
