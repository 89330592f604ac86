// Bad input and faults, end to end through pontrel-convert and the driver: every case ends with a
// clear message within seconds, never a crash, never a partial shapefile, never a changed source
// file, and any shapefile that existed before is left as it was.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "FakeUserInterface.h"
#include "FixtureDatabase.h"
#include "TestSupport.h"
#include "data/DatabaseError.h"
#include "engine/ConversionDriver.h"
#include "engine/Errors.h"

namespace pontrel {
namespace {

using testing::folderEntries;
using testing::readFile;
using testing::runProcess;
using testing::TempFolder;
using testing::writeFile;

const std::string kConverter = std::string(PONTREL_BIN_DIR) + "/pontrel-convert";
const std::string kReference = PONTREL_SHARED_REFERENCE;

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
    auto start = std::chrono::steady_clock::now();
    testing::ProcessResult r = runProcess(args);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.signal, 0) << database;
    return {r.exitCode, r.err, seconds};
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
        std::string path = ws.folder.file(c.name);
        writeFile(path, c.content);
        Outcome o = convert(path, ws.out);
        EXPECT_EQ(o.exitCode, 3) << c.name;
        EXPECT_EQ(o.err, "The file '" + path + "' is not a database that can be read (neither an Access nor a SQLite database)\n") << c.name;
        EXPECT_LT(o.seconds, 10) << c.name;
        EXPECT_EQ(readFile(path), c.content) << c.name;
    }
    Outcome missing = convert(ws.folder.file("missing.mdb"), ws.out);
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err, "The database file '" + ws.folder.file("missing.mdb") + "' could not be opened: No such file or directory\n");
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
            auto start = std::chrono::steady_clock::now();
            testing::ProcessResult r = runProcess(args);
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_EQ(r.signal, 0) << path;
            EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 3) << path << ": " << r.err;
            if (r.exitCode == 3) EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
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
        {"no Params", "DROP TABLE Params;", {"--list-parameters"}, "The table or query 'Params' does not exist in '%'"},
        {"no Samples", "DROP TABLE Samples;", {"--list-days"}, "The table or query 'Samples' does not exist in '%'"},
        {"no Value field", "ALTER TABLE Kelvash_Query DROP COLUMN Value;", {"--parameter", "Temperatura"},
         "The field 'Value' does not exist in the rows of 'Select * from Kelvash_Query WHERE (ParameterName = 'Temperatura')  ORDER BY SampleDate '"},
        {"a bad date", "UPDATE Kelvash_Query SET SampleDate = 'yesterday' WHERE SampleHour = 11;", {"--parameter", "Temperatura"},
         "The column 'SampleDate' of the table 'Kelvash_Query' in '%' holds 'yesterday' in row 4, which is not a date (YYYY-MM-DD, optionally with HH:MM[:SS])"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        std::string db = folder.file("v.sqlite");
        testing::makeFixtureDatabase(db, std::string(testing::kTejoSamples) + c.sql);
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
    std::string db = folder.file("v.sqlite");
    testing::makeFixtureDatabase(db, sql);
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
    std::string db = folder.file("v.sqlite");
    testing::makeFixtureDatabase(db, sql);
    testing::ProcessResult r = runProcess({kConverter, db, "--day", "2023-01-02", "--folder", folder.path()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("at most 65,535 bytes and at most 2,046 columns"), std::string::npos) << r.err;
    EXPECT_EQ(folderEntries(folder.path()), std::set<std::string>{"v.sqlite"});
}

TEST(Faults, ReadOnlyOutputFilesAreKept) {
    TempFolder folder;
    std::string db = folder.file("v.sqlite");
    testing::makeFixtureDatabase(db, testing::kTejoSamples);
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
    std::string db = folder.file("v.sqlite");
    std::string sql = testing::kTejoSamples;
    for (int i = 0; i < 3000; ++i)
        sql += "INSERT INTO Kelvash_Query VALUES ('Temperatura', 'T', '2023-01-03', 9, 1.5, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');";
    testing::makeFixtureDatabase(db, sql);
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
    std::string db = folder.file("v.sqlite");
    testing::makeFixtureDatabase(db, testing::kTejoSamples);
    data::Connection connection(db);
    std::filesystem::resize_file(db, 1024);
    try {
        auto rows = connection.execute("Select * from Kelvash_Query");
        for (; !rows->eof(); rows->moveNext()) {
        }
        ADD_FAILURE() << "a truncated database read without an error";
    } catch (const data::DatabaseError& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
    }
}

}  // namespace
}  // namespace pontrel
