// Shapefile composition (WriteShapeFile) and the conversion driver (Shape_CheckOptions,
// runConversion), with a fake user interface and clock, read back with ogrinfo.

#include <gtest/gtest.h>

#include <cmath>

#include "FakeUserInterface.h"
#include "VessamoFixture.h"
#include "TestSupport.h"
#include "engine/ConversionDriver.h"
#include "engine/Errors.h"
#include "engine/GeoPackageColumns.h"

namespace pontrel {
namespace {

using testing::FakeUserInterface;
using testing::folderEntries;
using testing::OgrField;
using testing::readFile;
using testing::readWithOgrinfo;
using testing::TempFolder;

struct TableRow {
    double x, y, hour;
    std::vector<double> values;  // one per parameter column
    std::string current, name, tide;
    data::Date date;
};

// An attribute table as sample extraction leaves it, for parameters with the given codes.
RunState tableState(const std::string& folder, const std::vector<std::string>& codes,
                    const std::vector<TableRow>& rows) {
    RunState state;
    state.ShapeType = codes.size() == 1 ? kParameterMode : kDayMode;
    state.ShapeFolder = folder;
    state.ShapeFileName = "Tejo";
    state.TotalRecords = rows.size();
    state.NumericAttributeCount = static_cast<int>(codes.size()) + 1;
    state.NumericAttributes = {"", "SampleHour"};
    state.NumericAttributeFields = {"", ""};
    for (std::size_t p = 0; p < codes.size(); ++p) {
        state.NumericAttributes.push_back("Parameter " + std::to_string(p + 1));
        state.NumericAttributeFields.push_back("Param_" + codes[p]);
    }
    state.StringAttributeCount = 3;
    state.StringAttributes = {"", "CurrentName", "Name", "TidalSituation"};
    state.DateAttributeCount = 1;
    state.DateAttributes = {"", "SampleDate"};
    const std::size_t count = rows.size() + 1;
    state.Longitudes.assign(count, 0);
    state.Latitudes.assign(count, 0);
    state.NumericValues.resize(count, codes.size() + 2);
    state.StringValues.resize(count, 4);
    state.DateValues.resize(count, 2);
    for (std::size_t r = 1; r < count; ++r) {
        const TableRow& row = rows[r - 1];
        state.Longitudes[r] = row.x;
        state.Latitudes[r] = row.y;
        state.NumericValues(r, 1) = row.hour;
        for (std::size_t k = 0; k < row.values.size(); ++k) state.NumericValues(r, k + 2) = row.values[k];
        state.StringValues.set(r, 1, row.current);
        state.StringValues.set(r, 2, row.name);
        state.StringValues.set(r, 3, row.tide);
        state.DateValues(r, 1) = row.date;
    }
    return state;
}

// Computed on use: the day-count conversion is not ready during static initialisation.
data::Date jan2() { return data::dateFromCivil({2023, 1, 2, 0, 0, 0}); }
data::Date jan9At1030() { return data::dateFromCivil({2023, 1, 9, 10, 30, 0}); }

std::vector<TableRow> uniformRows(std::size_t count) {
    return std::vector<TableRow>(count, TableRow{-9.1, 38.7, 9, {1}, "TJ01", "Seixal", "Vazante", jan2()});
}

TEST(WriteShapeFile, ParameterModeColumnsAndOneRecordPerRowInOrder) {
    TempFolder folder;
    RunState state = tableState(folder.path(), {"T"},
                                {{-9.1, 38.71, 9.5, {14.25}, "TJ01", "Cais do Sodré", "Preia-mar", jan2()},
                                 {-9.05, 38.65, -1, {15}, "TJ02", "Barreiro", "Unknown", jan2()},
                                 {-9.05, 38.65, 11, {16.5}, "TJ02", "Barreiro", "Vazante", jan9At1030()}});
    FakeUserInterface ui;
    WriteShapeFile(state, ui);

    auto layer = readWithOgrinfo(folder.file("Tejo.shp"));
    EXPECT_EQ(layer.fields, (std::vector<OgrField>{{"SampleHour", "Real", 13, 2},
                                                   {"Param_T", "Real", 13, 2},
                                                   {"CurrentNam", "String", 50, 0},
                                                   {"Name", "String", 50, 0},
                                                   {"TidalSitua", "String", 50, 0},
                                                   {"SampleDate", "Date", 10, 0}}));
    const std::vector<std::string> expected[] = {
        {"9.50", "14.25", "TJ01", "Cais do Sodré", "Preia-mar", "2023/01/02", "POINT (-9.1 38.71)"},
        {"-1.00", "15.00", "TJ02", "Barreiro", "Unknown", "2023/01/02", "POINT (-9.05 38.65)"},
        {"11.00", "16.50", "TJ02", "Barreiro", "Vazante", "2023/01/09", "POINT (-9.05 38.65)"}};
    ASSERT_EQ(layer.features.size(), 3u);
    for (std::size_t r = 0; r < 3; ++r) {
        std::vector<std::string> got;
        for (const OgrField& field : layer.fields) got.push_back(layer.features[r].values.at(field.name));
        got.push_back(layer.features[r].geometry);
        EXPECT_EQ(got, expected[r]);
    }
}

// A text longer than its 50-byte column is cut before a character that would not fit whole, and
// the user is told once per column how many were cut and which was the first.
TEST(WriteShapeFile, LongTextsAreCutWholeCharactersAndNamedOnce) {
    TempFolder folder;
    // 67 bytes; the "ã" of "São" takes bytes 49 and 50, so the cut falls before it, at 49.
    const std::string longName = "Estação de amostragem a jusante da ponte, por São João da Talha";
    RunState state = tableState(folder.path(), {"T"},
                                {{-9.1, 38.71, 9.5, {14.25}, "TJ01", longName, "Preia-mar", jan2()},
                                 {-9.05, 38.65, 10, {15}, "TJ02", "Barreiro", "Vazante", jan2()},
                                 {-9.05, 38.65, 11, {16.5}, "TJ01", longName, "Vazante", jan2()}});
    FakeUserInterface ui;
    WriteShapeFile(state, ui);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               "String Attribute Name has 2 texts longer than 50 bytes, shortened to fit the "
                               "shapefile. The first in full: '" + longName + "'"}));
    auto layer = readWithOgrinfo(folder.file("Tejo.shp"));
    ASSERT_EQ(layer.features.size(), 3u);
    EXPECT_EQ(layer.features[0].values.at("Name"), longName.substr(0, 49));
    EXPECT_EQ(layer.features[1].values.at("Name"), "Barreiro");
}

TEST(WriteShapeFile, DayModeParametersOfOneCodeKeepTheirOwnValues) {
    TempFolder folder;
    // Two parameters share the code X; a third has a long code.
    RunState state = tableState(folder.path(), {"X", "X", "CLOROFILA"},
                                {{1, 2, 9, {4.5, 0, 0}, "a", "b", "c", jan2()},
                                 {1, 2, 9, {0, 7.25, 0}, "a", "b", "c", jan2()},
                                 {1, 2, 9, {0, 0, 1234.5}, "a", "b", "c", jan2()}});
    FakeUserInterface ui;
    WriteShapeFile(state, ui);
    auto layer = readWithOgrinfo(folder.file("Tejo.shp"));
    ASSERT_EQ(layer.fields.size(), 8u);
    EXPECT_EQ(layer.fields[1], (OgrField{"Param_X", "Real", 13, 2}));
    EXPECT_EQ(layer.fields[2], (OgrField{"Param_X1", "Real", 13, 2}));
    EXPECT_EQ(layer.fields[3], (OgrField{"Param_CLOR", "Real", 13, 2}));
    ASSERT_EQ(layer.features.size(), 3u);
    auto values = [&](std::size_t r) {
        const auto& v = layer.features[r].values;
        return std::vector<std::string>{v.at("Param_X"), v.at("Param_X1"), v.at("Param_CLOR")};
    };
    EXPECT_EQ(values(0), (std::vector<std::string>{"4.50", "0.00", "0.00"}));
    EXPECT_EQ(values(1), (std::vector<std::string>{"0.00", "7.25", "0.00"}));
    EXPECT_EQ(values(2), (std::vector<std::string>{"0.00", "0.00", "1234.50"}));
}

TEST(WriteShapeFile, ProgressAndTimeTextsFollowEveryRow) {
    TempFolder folder;
    RunState state = tableState(folder.path(), {"T"}, uniformRows(100));
    FakeUserInterface ui;
    std::string afterRow40[2];
    int nowCalls = 0;
    ui.onNow = [&](FakeUserInterface& fake) {
        ++nowCalls;  // call 1 is the start, call r + 1 follows row r
        if (nowCalls == 41) fake.advanceSeconds(20);
        if (nowCalls == 42) {
            afterRow40[0] = fake.status[3];
            afterRow40[1] = fake.status[4];
        }
    };
    WriteShapeFile(state, ui);

    EXPECT_EQ(ui.progress, (std::vector<std::string>{"max 100", "min 1"}));
    EXPECT_EQ(ui.progressUpdates, 100u);
    // 20 s after 40 of 100 rows: 20 / 40 x 100 - 20 = 30 s to go.
    EXPECT_EQ(afterRow40[0], "Time elapsed: 00:00:20");
    EXPECT_EQ(afterRow40[1], "Time remaining: 00:00:30");
    EXPECT_EQ(ui.status[3], "Time elapsed: 00:00:20");
    EXPECT_EQ(ui.status[4], "Time remaining: 00:00:00");
}

TEST(WriteShapeFile, TimeTextsArePushedOnlyWhenTheyChange) {
    TempFolder folder;
    RunState state = tableState(folder.path(), {"T"}, uniformRows(1000));
    FakeUserInterface ui;
    int nowCalls = 0;
    ui.onNow = [&](FakeUserInterface& fake) {
        if (++nowCalls == 501) fake.advanceSeconds(3);
    };
    WriteShapeFile(state, ui);
    EXPECT_EQ(ui.progressUpdates, 1000u);
    // Elapsed is 0 s, then 3 s; remaining 0 s, then 3 x 1000 / 500 - 3 = 3 s, falling to 0 s.
    std::vector<std::string> elapsed, remaining;
    for (const std::string& entry : ui.statusHistory)
        (entry[0] == '3' ? elapsed : remaining).push_back(entry.substr(2));
    EXPECT_EQ(elapsed, (std::vector<std::string>{"Time elapsed: 00:00:00", "Time elapsed: 00:00:03"}));
    EXPECT_EQ(remaining.front(), "Time remaining: 00:00:00");
    EXPECT_EQ(remaining[1], "Time remaining: 00:00:03");
    EXPECT_EQ(remaining.back(), "Time remaining: 00:00:00");
    EXPECT_LE(remaining.size(), 8u);  // a few texts, not one per row
}

TEST(WriteShapeFile, NoRowsGiveTheColumnsAndNoRecord) {
    TempFolder folder;
    RunState state = tableState(folder.path(), {}, {});
    FakeUserInterface ui;
    WriteShapeFile(state, ui);
    EXPECT_EQ(ui.progress, (std::vector<std::string>{"max 0", "min 1"}));
    EXPECT_TRUE(ui.statusHistory.empty());
    auto layer = readWithOgrinfo(folder.file("Tejo.shp"));
    EXPECT_EQ(layer.featureCount, 0);
    EXPECT_EQ(layer.fields.size(), 5u);
}

TEST(WriteShapeFile, FailuresNameColumnAndRowAndLeaveExistingFilesAlone) {
    TempFolder folder;
    for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) testing::writeFile(folder.file(std::string("Tejo") + ext), "old");

    struct Case {
        std::function<void(RunState&)> spoil;
        std::string message;
    };
    const Case cases[] = {
        {[](RunState& s) { s.NumericValues(2, 2) = INFINITY; },
         "The value inf in row 2 of the column 'Param_T' cannot be written to a shapefile: it is "
         "not a finite number"},
        {[](RunState& s) { s.NumericValues(4, 1) = 1e300; },
         "The value 1e+300 in row 4 of the column 'SampleHour' needs 304 characters to be written "
         "exactly, more than the 255 a numeric column of a shapefile holds"},
        {[](RunState& s) { s.DateValues(3, 1) = NAN; },
         "The date in row 3 of the column 'SampleDate' is not a date that a shapefile can hold"},
        {[](RunState& s) { s.Latitudes[3] = INFINITY; },
         "The point of row 3 (-9.1, inf) cannot be written to the shapefile '" + (folder.file("Tejo.shp")) +
             "': its coordinates must be finite numbers"},
        {[&](RunState& s) { s.ShapeFolder = folder.file("missing"); },
         "The folder '" + (folder.file("missing")) + "' does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        RunState state = tableState(folder.path(), {"T"}, uniformRows(4));
        c.spoil(state);
        FakeUserInterface ui;
        try {
            WriteShapeFile(state, ui);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(folderEntries(folder.path()),
                  (std::set<std::string>{"Tejo.cpg", "Tejo.dbf", "Tejo.shp", "Tejo.shx"}));
        EXPECT_EQ(readFile(folder.file("Tejo.dbf")), "old");
    }
}

// A table of many rows, formatted in several blocks on several threads: the columns change in
// runs and from row to row, one column has nulls.
RunState manyRows(const std::string& folder, std::size_t count) {
    std::vector<TableRow> rows;
    const char* stations[] = {"Alcochete", "Cala do Norte", "Seixal"};
    const char* tides[] = {"Preia-mar", "Baixa-mar", "Enchente", "Vazante"};
    for (std::size_t r = 1; r <= count; ++r) {
        rows.push_back({-9.0 - static_cast<double>(r % 64) / 64.0, 38.5 + static_cast<double>(r % 32) / 32.0,
                        8 + static_cast<double>(r % 5) * 0.5,
                        {r % 40 < 25 ? 0 : static_cast<double>(r % 13) * 0.25, (r / 100) % 2 ? 1.5 : 0,
                         r % 3 == 0 ? -2.75 : 0},
                        "TJ" + std::to_string((r / 50) % 7), stations[(r / 20) % 3], tides[r % 4],
                        jan2() + static_cast<double>(r / 1000) + 0.25});
    }
    RunState state = tableState(folder, {"T", "X", "X"}, rows);
    state.Settings.missing = MissingStyle::Null;
    state.NumericNulls.resize(count + 1, 5);
    for (std::size_t r = 5; r <= count; r += 17) state.NumericNulls(r, 4) = 1;
    return state;
}

// The records as GDAL's CSV driver writes them: the point, then the columns in order.
std::vector<std::string> readAsCsv(const std::string& shp) {
    testing::ProcessResult run =
        testing::runProcess({"ogr2ogr", "-f", "CSV", "/vsistdout/", shp, "-lco", "GEOMETRY=AS_XY"});
    if (run.exitCode != 0) throw std::runtime_error("ogr2ogr failed on " + shp + ": " + run.err);
    return testing::lines(run.out);
}

TEST(WriteShapeFile, ManyRowsComeOutInOrderWithEveryValue) {
    TempFolder folder;
    const std::size_t count = 7001;  // blocks of about 2,960 records: the last one short
    RunState state = manyRows(folder.path(), count);
    FakeUserInterface ui;
    WriteShapeFile(state, ui);
    EXPECT_EQ(ui.progressUpdates, count);
    EXPECT_EQ(ui.progressValue, static_cast<double>(count));

    const std::vector<std::string> csv = readAsCsv(folder.file("Tejo.shp"));
    ASSERT_EQ(csv.size(), count + 1);
    EXPECT_EQ(csv[0], "X,Y,SampleHour,Param_T,Param_X,Param_X1,CurrentNam,Name,TidalSitua,SampleDate");
    std::size_t wrong = 0;
    for (std::size_t r = 1; r <= count && wrong < 5; ++r) {
        auto number = [](double value) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", value);
            return std::string(text);
        };
        const data::CivilTime day = data::civilFromDate(state.DateValues(r, 1));
        char date[16];
        std::snprintf(date, sizeof date, "%04d/%02d/%02d", day.year, day.month, day.day);
        // The coordinates are binary fractions, which read back exactly.
        const std::size_t x = csv[r].find(','), y = csv[r].find(',', x + 1);
        const bool point = x != std::string::npos && y != std::string::npos &&
                           std::stod(csv[r].substr(0, x)) == state.Longitudes[r] &&
                           std::stod(csv[r].substr(x + 1, y - x - 1)) == state.Latitudes[r];
        const std::string expected =
            number(state.NumericValues(r, 1)) + "," + number(state.NumericValues(r, 2)) + "," +
            number(state.NumericValues(r, 3)) + "," +
            (state.NumericNulls(r, 4) ? "" : number(state.NumericValues(r, 4))) + "," +
            state.StringValues(r, 1) + "," + state.StringValues(r, 2) + "," + state.StringValues(r, 3) +
            "," + date;
        if (!point || csv[r].substr(y + 1) != expected) {
            ++wrong;
            ADD_FAILURE() << "row " << r << ": " << csv[r] << " instead of " << expected;
        }
    }
}

TEST(WriteShapeFile, AFailureInALaterBlockStopsThereAndLeavesTheOldFiles) {
    TempFolder folder;
    for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) testing::writeFile(folder.file(std::string("Tejo") + ext), "old");
    struct Case {
        std::size_t row;  // the failing row: those before it are reported
        std::function<void(RunState&)> spoil;
        std::string message;
    };
    const Case cases[] = {
        {5000, [](RunState& s) { s.DateValues(5000, 1) = NAN; },
         "The date in row 5000 of the column 'SampleDate' is not a date that a shapefile can hold"},
        {2963, [](RunState& s) { s.Latitudes[2963] = INFINITY; },
         "The point of row 2963 (-9.296875, inf) cannot be written to the shapefile '" + folder.file("Tejo.shp") +
             "': its coordinates must be finite numbers"},
        {7001, [](RunState& s) { s.DateValues(7001, 1) = 1e9; },
         "The date in row 7001 of the column 'SampleDate' is not a date that a shapefile can hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        RunState state = manyRows(folder.path(), 7001);
        c.spoil(state);
        FakeUserInterface ui;
        try {
            WriteShapeFile(state, ui);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(ui.progressUpdates, c.row - 1);
        EXPECT_EQ(folderEntries(folder.path()),
                  (std::set<std::string>{"Tejo.cpg", "Tejo.dbf", "Tejo.shp", "Tejo.shx"}));
        EXPECT_EQ(readFile(folder.file("Tejo.dbf")), "old");
    }
}

TEST(WriteShapeFile, ColumnsMeasuredInRangesFailAtTheSameRowAsRowByRow) {
    TempFolder folder;
    struct Case {
        std::function<void(RunState&)> spoil;
        std::string message;
    };
    const Case cases[] = {
        {[](RunState& s) { s.NumericValues(30000, 1) = 1e300; },
         "The value 1e+300 in row 30000 of the column 'SampleHour' needs 304 characters to be "
         "written exactly, more than the 255 a numeric column of a shapefile holds"},
        // Each range alone fits; together the column would be too wide from row 35000 on.
        {[](RunState& s) {
             s.NumericValues(10, 2) = 1e200;
             s.NumericValues(35000, 2) = 1.5e-60;
         },
         "The value 1.5e-60 in row 35000 of the column 'Param_T' needs 262 characters to be "
         "written exactly, more than the 255 a numeric column of a shapefile holds"},
        // The first failing row is named, whichever range finds one first.
        {[](RunState& s) {
             s.NumericValues(39999, 3) = INFINITY;
             s.NumericValues(20000, 4) = NAN;
         },
         "The value nan in row 20000 of the column 'Param_X' cannot be written to a shapefile: "
         "it is not a finite number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        RunState state = tableState(folder.path(), {"T", "X", "X"}, uniformRows(40000));
        c.spoil(state);
        FakeUserInterface ui;
        try {
            WriteShapeFile(state, ui);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_TRUE(folderEntries(folder.path()).empty());
    }
}

// A GeoPackage's parameter column is its parameter's name, whatever else the file holds, unless
// that name is taken there.
TEST(parameterColumnNames, FullNamesAndTheCodeOnlyWhereANameIsTaken) {
    const std::vector<std::string> fixed = {"fid", "geom", "SampleHour", "Name", "SampleDate"};
    struct Case {
        std::string what;
        std::vector<ParameterColumn> parameters;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"alone", {{"Temperatura", "T"}}, {"Temperatura"}},
        {"among others", {{"Azoto total", "NT"}, {"pH", "pH"}, {"Temperatura", "T"}},
         {"Azoto total", "pH", "Temperatura"}},
        // Two parameters of one name both take their codes, so neither depends on the order.
        {"one name twice", {{"Sílica", "SIO2"}, {"sílica", "SI"}}, {"Sílica (SIO2)", "sílica (SI)"}},
        {"a fixed column's name", {{"name", "N"}, {"FID", "F"}}, {"name (N)", "FID (F)"}},
        {"no name", {{"", "X"}}, {"Param_X"}},
        {"name and code twice", {{"Cor", "C"}, {"Cor", "C"}, {"Cor (C)", "D"}}, {"Cor (C)", "Cor (C) 2", "Cor (C) 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parameterColumnNames(c.parameters, fixed), c.names);
    }
}

// ---- the driver

TEST(Shape_CheckOptions, EmptyFolderAndNameAreRefusedInOrder) {
    struct Case {
        std::string folder, name;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"", "", {"Please select a folder for shape file", "Please type a name for shape file"}},
        {"", "Tejo", {"Please select a folder for shape file"}},
        {"/maps", "", {"Please type a name for shape file"}},
        {" ", " ", {}},  // only the exactly empty text is refused
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        FakeUserInterface ui;
        RunState state;
        OutputOptions options{c.folder, c.name, true, false};
        EXPECT_EQ(Shape_CheckOptions(options, ui), !c.messages.empty());
        EXPECT_EQ(ui.messages, c.messages);
        if (!c.messages.empty()) {
            // The driver stops before anything: no extraction, no status text, no state.
            FakeUserInterface driverUi;
            EXPECT_FALSE(runConversion(state, driverUi, options));
            EXPECT_EQ(driverUi.messages, c.messages);
            EXPECT_TRUE(driverUi.statusHistory.empty());
            EXPECT_TRUE(state.ShapeFolder.empty() && state.CoordinatesType.empty());
        }
    }
}

TEST(runConversion, ConvertsAndReportsSuccessThenEnds) {
    TempFolder folder;
    const std::string database = folder.file("tejo.sqlite");
    testing::makeFixtureDatabase(database, testing::kTejoSamples);
    std::filesystem::create_directory(folder.file("out"));

    RunState state;
    state.DataSourceFile = database;
    state.ShapeType = kParameterMode;
    state.SelectedParameter = "Temperatura";
    state.CoordinatesType = kMilitary;  // from an earlier click: the buttons of this one count
    FakeUserInterface ui;
    // A name typed with its extension is not given a second one.
    ASSERT_TRUE(runConversion(state, ui, {folder.file("out"), "Tejo.SHP", false, true}));

    EXPECT_EQ(state.CoordinatesType, kNormal);
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{
                  "Some samples haven't an hour defined. Time of these samples will be considered = -1",
                  "Parameter Shape File 'Tejo.shp' was created with success"}));
    EXPECT_EQ(ui.statusHistory.front(), "1:Reading samples...");
    EXPECT_EQ(ui.statusHistory.back(), "1:Shape file Created.");
    EXPECT_EQ(ui.endCalls, 1);
    EXPECT_EQ(state.DBConnection, nullptr);

    auto layer = readWithOgrinfo(folder.file("out/Tejo.shp"));
    ASSERT_EQ(layer.features.size(), 3u);
    EXPECT_EQ(layer.features[0].geometry, "POINT (-9.1 38.70743)");
    EXPECT_EQ(layer.features[1].values.at("SampleHour"), "-1.00");
    EXPECT_EQ(layer.features[2].values.at("SampleDate"), "2023/01/09");
}

// The run state of a conversion of the Tejo samples, held in `folder`, of 2023-01-02.
RunState tejoDay(const TempFolder& folder) {
    RunState state;
    state.DataSourceFile = folder.file("tejo.sqlite");
    testing::makeFixtureDatabase(state.DataSourceFile, testing::kTejoSamples);
    state.ShapeType = kDayMode;
    state.SelectedDay = jan2();
    return state;
}

// A GeoPackage is followed row by row as a shapefile is, and said to be one.
TEST(runConversion, AGeoPackageReportsItsRowsAndItsName) {
    TempFolder folder;
    RunState state = tejoDay(folder);
    FakeUserInterface ui;
    ASSERT_TRUE(runConversion(state, ui, {folder.path(), "Tejo.GPKG", true, false}));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Day GeoPackage 'Tejo.gpkg' was created with success"});
    EXPECT_EQ(ui.statusHistory[1], "1:Creating GeoPackage...");
    EXPECT_EQ(ui.statusHistory.back(), "1:GeoPackage Created.");
    EXPECT_EQ(ui.progressValue, 3);
    EXPECT_EQ(ui.progressUpdates, 3u);
    EXPECT_EQ(folderEntries(folder.path()), (std::set<std::string>{"Tejo.gpkg", "tejo.sqlite"}));
}

TEST(runConversion, AFailedWriteShowsNoSuccessAndDoesNotEnd) {
    TempFolder folder;
    RunState state = tejoDay(folder);
    FakeUserInterface ui;
    EXPECT_THROW(runConversion(state, ui, {folder.file("missing"), "Tejo", true, false}), ConversionError);
    EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{"1:Reading samples...", "1:Creating shape file..."}));
    for (const std::string& message : ui.messages) EXPECT_EQ(message.find("success"), std::string::npos);
    EXPECT_EQ(ui.endCalls, 0);
}

}  // namespace
}  // namespace pontrel
