// pontrel-convert end to end: each mode, each exit status and each message, on small SQLite
// databases, with the shapefiles read back by ogrinfo.

#include <gtest/gtest.h>

#include "VessamoFixture.h"
#include "jet/JetSql.h"
#include "TestSupport.h"

namespace pontrel {
namespace {

using testing::folderEntries;
using testing::lines;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::readFile;
using testing::readWithOgrinfo;
using testing::runProcess;
using testing::TempFolder;

const std::string kConverter = std::string(PONTREL_BIN_DIR) + "/pontrel-convert";
const std::string kUsageFirstLine = "Usage:";

ProcessResult convert(std::vector<std::string> args, const ProcessOptions& options = {}) {
    args.insert(args.begin(), kConverter);
    return runProcess(args, options);
}

// A folder with the fixture database and an empty output folder.
struct Fixture {
    explicit Fixture(const std::string& sql = testing::kTejoSamples) {
        testing::makeFixtureDatabase(database, sql);
        std::filesystem::create_directory(out);
    }
    TempFolder folder;
    std::string database = folder.file("tejo.sqlite");
    std::string out = folder.file("out");
};

const std::string kHourMessage =
    "Some samples haven't an hour defined. Time of these samples will be considered = -1";

TEST(ConvertCli, WrongUsageIsStatus2WithMessageAndUsage) {
    Fixture f;
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> messages;
    };
    const std::string db = f.database;
    const Case cases[] = {
        {{}, {"Say what to do: --parameter, --day, --list-parameters, --list-days or --inspect"}},
        {{db}, {"Say what to do: --parameter, --day, --list-parameters, --list-days or --inspect"}},
        {{db, "--parameter"}, {"--parameter needs a value"}},
        {{db, "--parameter", "T", "--day", "2023-01-02", "--folder", f.out},
         {"Only one of --parameter, --day, --list-parameters, --list-days and --inspect can be given"}},
        {{db, "--day", "2023-02-30", "--folder", f.out},
         {"The day '2023-02-30' is not a date of the form YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]"}},
        {{db, "--parameter", "T", "--folder", f.out, "--coordinates", "utm"},
         {"--coordinates takes military or normal, not 'utm'"}},
        {{db, "--list-days", "--folder", f.out}, {"--folder only goes with --parameter or --day"}},
        {{db, db, "--inspect"}, {"Only one database can be given: '" + db + "' is one too many"}},
        {{db, "--verbose"}, {"Unknown option '--verbose'"}},
        // Options are taken by their whole name only, and flags take no value.
        {{db, "--par", "Temperatura", "--folder", f.out}, {"Unknown option '--par'"}},
        {{db, "--list-days=yes"}, {"--list-days takes no value"}},
        {{db, "--timings=yes", "--parameter", "Temperatura", "--folder", f.out}, {"--timings takes no value"}},
        {{"", "--parameter", "Temperatura", "--folder", f.out}, {"The database file name is empty"}},
        {{"--list-days", ""}, {"The database file name is empty"}},
        // The options check of the wizard's last step, with its own messages.
        {{db, "--parameter", "Temperatura"}, {"Please select a folder for shape file"}},
        {{db, "--parameter", "Temperatura", "--folder", "", "--name", ""},
         {"Please select a folder for shape file", "Please type a name for shape file"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages.front());
        ProcessResult run = convert(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        std::vector<std::string> err = lines(run.err);
        ASSERT_GT(err.size(), c.messages.size());
        EXPECT_EQ(std::vector<std::string>(err.begin(), err.begin() + static_cast<long>(c.messages.size())),
                  c.messages);
        EXPECT_EQ(err[c.messages.size()], kUsageFirstLine);
    }
    EXPECT_TRUE(folderEntries(f.out).empty());
}

TEST(ConvertCli, HelpVersionOptionsInAnyOrderShortFormsAndTheEndOfOptions) {
    Fixture f;
    ProcessResult help = convert({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("pontrel-convert DATABASE (--parameter NAME | --day DATE) --folder DIR "
                            "[--name NAME] [--coordinates military|normal]"),
              std::string::npos);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(convert({"-h"}).out, help.out);
    for (const char* version : {"--version", "-V"}) {
        ProcessResult run = convert({version});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "pontrel-convert (Vessamo Pontrel) 1.0.0\n");
    }
    EXPECT_EQ(convert({f.database, "--parameter", "Temperatura", "-V"}).exitCode, 0);

    // Options before the database, values given with '=' or apart.
    ProcessResult run = convert({"--folder=" + f.out, "--coordinates", "normal", "--parameter", "Temperatura",
                                 f.database});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readWithOgrinfo(f.out + "/Temperatura.shp").features[0].geometry, "POINT (-9.1 38.70743)");

    // A database whose name begins with '-' needs "--" before it; after "--" nothing is an option.
    std::filesystem::copy_file(f.database, f.folder.file("-x.sqlite"));
    auto inFolder = [&](const std::string& args) {
        return runProcess({"/bin/sh", "-c", "cd '" + f.folder.path() + "' && exec '" + kConverter + "' " + args});
    };
    EXPECT_EQ(inFolder("--list-parameters -- -x.sqlite").out, "Salinidade\nTemperatura\n");
    ProcessResult unknown = inFolder("--list-parameters -x.sqlite");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(lines(unknown.err).front(), "Unknown option '-x.sqlite'");
    ProcessResult helpAsName = inFolder("--list-days -- --help");
    EXPECT_EQ(helpAsName.exitCode, 3);
    EXPECT_EQ(helpAsName.err, "The database file '--help' could not be opened: No such file or directory\n");
    ProcessResult twice = inFolder("--list-days -- -x.sqlite --");
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_EQ(lines(twice.err).front(), "Only one database can be given: '--' is one too many");
}

// An installed tree keeps the Access reader in libexec/pontrel beside bin; the converter finds it
// there relative to itself, wherever the tree is.
TEST(ConvertCli, FindsTheAccessReaderInItsInstalledPlace) {
    TempFolder tree;
    const std::string bin = tree.file("usr/bin"), libexec = tree.file("usr/libexec/pontrel");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(libexec);
    std::filesystem::copy_file(kConverter, bin + "/pontrel-convert");
    std::filesystem::copy_file(std::string(PONTREL_BIN_DIR) + "/pontrel-mdb-loader", libexec + "/pontrel-mdb-loader");
    const std::string sample = std::string(PONTREL_SAMPLE_DIR) + "/vessamo-sample.mdb";

    ProcessResult days = runProcess({bin + "/pontrel-convert", sample, "--list-days"});
    EXPECT_EQ(days.exitCode, 0) << days.err;
    EXPECT_FALSE(days.out.empty());
    EXPECT_EQ(days.out, convert({sample, "--list-days"}).out);

    std::filesystem::remove(libexec + "/pontrel-mdb-loader");
    ProcessResult missing = runProcess({bin + "/pontrel-convert", sample, "--list-days"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err, "The program 'pontrel-mdb-loader', which reads Access databases, is missing: it is "
                           "neither '" + bin + "/pontrel-mdb-loader' nor '" + libexec + "/pontrel-mdb-loader'\n");
}

TEST(ConvertCli, ListsParametersDaysAndTheDatabase) {
    Fixture f(std::string(testing::kTejoSamples) + R"(
        INSERT INTO Params VALUES (3, 'Azoto', 'N'), (4, 'Temperatura', 'T2');
        INSERT INTO Samples VALUES (4, NULL, 8), (5, '2023-01-09', 9);
        CREATE VIEW Daily AS SELECT SampleDate,
          count(*) AS Samples FROM Samples GROUP BY SampleDate;)");

    ProcessResult parameters = convert({f.database, "--list-parameters"});
    EXPECT_EQ(parameters.exitCode, 0);
    EXPECT_EQ(parameters.out, "Azoto\nSalinidade\nTemperatura\nTemperatura\n");  // repeats kept
    EXPECT_EQ(parameters.err, "");

    ProcessResult days = convert({f.database, "--list-days"});
    EXPECT_EQ(days.exitCode, 0);
    EXPECT_EQ(days.out, "2023-01-02\n2023-01-09\n2023-01-09T10:30:00\n");

    ProcessResult inspect = convert({f.database, "--inspect"});
    EXPECT_EQ(inspect.exitCode, 0);
    EXPECT_EQ(inspect.out,
              "table\tKelvash_Query\t4\n"
              "table\tParams\t4\n"
              "table\tSamples\t5\n"
              "query\tDaily\tCREATE VIEW Daily AS SELECT SampleDate,           count(*) AS Samples "
              "FROM Samples GROUP BY SampleDate\n");

    Fixture unnamed("INSERT INTO Params VALUES (1, NULL, 'X');");
    ProcessResult broken = convert({unnamed.database, "--list-parameters"});
    EXPECT_EQ(broken.exitCode, 3);
    EXPECT_EQ(broken.err, "A row of the table Params has no ParameterName\n");
}

TEST(ConvertCli, ParameterModeWritesTheShapefileAndReportsSuccess) {
    Fixture f;
    ProcessResult run = convert({f.database, "--parameter", "Temperatura", "--folder", f.out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Parameter Shape File 'Temperatura.shp' was created with success\n");
    EXPECT_EQ(run.err, kHourMessage + "\n");  // no progress line: stderr is no terminal
    EXPECT_EQ(folderEntries(f.out), (std::set<std::string>{"Temperatura.cpg", "Temperatura.dbf",
                                                           "Temperatura.shp", "Temperatura.shx"}));
    auto layer = readWithOgrinfo(f.out + "/Temperatura.shp");
    ASSERT_EQ(layer.featureCount, 3);
    EXPECT_EQ(layer.features[0].geometry, "POINT (110000.25 193100.5)");  // military by default
    EXPECT_EQ(layer.features[2].values.at("Param_T"), "16.50");

    // A name typed with its extension is not given a second one; a folder's trailing separator
    // is kept.
    run = convert({f.database, "--parameter", "Temperatura", "--folder", f.out + "/", "--name", "Tejo.shp"});
    EXPECT_EQ(run.out, "Parameter Shape File 'Tejo.shp' was created with success\n");
    EXPECT_TRUE(std::filesystem::exists(f.out + "/Tejo.shp"));
}

TEST(ConvertCli, DayModeWithNormalCoordinatesAndDefaultName) {
    Fixture f;
    // The time of day is not part of the selection: the whole day is converted.
    ProcessResult run = convert({f.database, "--day", "2023-01-02T08:00", "--folder", f.out,
                                 "--coordinates", "normal"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Day Shape File '2023-01-02.shp' was created with success\n");
    EXPECT_EQ(lines(run.err),
              (std::vector<std::string>{"String Attribute TidalSituation has some null fields. These "
                                        "samples will be considered = 'unknown'",
                                        kHourMessage}));
    auto layer = readWithOgrinfo(f.out + "/2023-01-02.shp");
    ASSERT_EQ(layer.featureCount, 3);
    ASSERT_EQ(layer.fields.size(), 7u);
    EXPECT_EQ(layer.fields[1].name, "Param_SAL");
    EXPECT_EQ(layer.fields[2].name, "Param_T");
    EXPECT_EQ(layer.features[0].geometry, "POINT (-9.05 38.65)");
    EXPECT_EQ(layer.features[0].values.at("Param_SAL"), "31.50");
    EXPECT_EQ(layer.features[0].values.at("Param_T"), "0.00");
    EXPECT_EQ(layer.features[0].values.at("TidalSitua"), "Unknown");
}

TEST(ConvertCli, DayModeFromAViewWithTextDatesAndNumericNames) {
    // Kelvash_Query as a view over a table that keeps its dates as texts with times and one
    // parameter name as the number 7.
    Fixture f(R"(DROP TABLE Kelvash_Query;
        CREATE TABLE Measured (Name REAL, Code TEXT, Taken TEXT, Hour REAL, Value REAL, X REAL, Y REAL);
        INSERT INTO Measured VALUES
          (7.0, 'P7', '2023-01-02 08:15', 8, 1.5, 110000, 193000),
          ('Temperatura', 'T', '2023-01-02T17:40:00', 17, 14, 110001, 193001),
          (7.0, 'P7', '2023-01-02 23:00', 23, 2.5, 110002, 193002),
          (7.0, 'P7', '2023-01-03 00:00', 0, 3.5, 110003, 193003);
        CREATE VIEW Kelvash_Query AS SELECT Name AS ParameterName, Code AS ParameterCode,
          Taken AS SampleDate, Hour AS SampleHour, Value, Y AS Latitude, X AS Longitude,
          Y AS MilitaryLatitude, X AS MilitaryLongitude, 'TJ01' AS CurrentName, 'Seixal' AS Name,
          'Vazante' AS TidalSituation FROM Measured;)");
    ProcessResult run = convert({f.database, "--day", "2023-01-02", "--folder", f.out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    auto layer = readWithOgrinfo(f.out + "/2023-01-02.shp");
    ASSERT_EQ(layer.featureCount, 3);
    ASSERT_GE(layer.fields.size(), 3u);
    EXPECT_EQ(layer.fields[1].name, "Param_P7");
    EXPECT_EQ(layer.fields[2].name, "Param_T");
    const char* expected[3][3] = {{"1.50", "0.00", "8.00"}, {"2.50", "0.00", "23.00"}, {"0.00", "14.00", "17.00"}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(layer.features[i].values.at("Param_P7"), expected[i][0]) << i;
        EXPECT_EQ(layer.features[i].values.at("Param_T"), expected[i][1]) << i;
        EXPECT_EQ(layer.features[i].values.at("SampleHour"), expected[i][2]) << i;
        EXPECT_EQ(layer.features[i].values.at("SampleDate"), "2023/01/02") << i;
    }
    // Parameter mode reads the same dates: the samples of 7 in date order.
    run = convert({f.database, "--parameter", "7", "--folder", f.out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    layer = readWithOgrinfo(f.out + "/7.shp");
    ASSERT_EQ(layer.featureCount, 3);
    EXPECT_EQ(layer.features[2].values.at("SampleDate"), "2023/01/03");
}

TEST(ConvertCli, PointsAndMessagesFollowTheDatesNotTheStoredOrder) {
    // Stored newest first, with equal dates and gaps whose messages come in date order.
    Fixture f(R"(DELETE FROM Kelvash_Query;
        INSERT INTO Kelvash_Query VALUES
          ('Temperatura', 'T', '2023-03-01', 9, 1, 38.7, -9.1, 193000, 110000, 'TJ01', NULL, 'Vazante'),
          ('Temperatura', 'T', '2023-01-02', 9, 2, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', NULL),
          ('Temperatura', 'T', '2023-02-01', NULL, 3, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante'),
          ('Temperatura', 'T', '2023-01-02', 9, 4, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante');)");
    ProcessResult run = convert({f.database, "--parameter", "Temperatura", "--folder", f.out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.err),
              (std::vector<std::string>{
                  "String Attribute TidalSituation has some null fields. These samples will be considered = 'unknown'",
                  kHourMessage,
                  "String Attribute Name has some null fields. These samples will be considered = 'unknown'"}));
    auto layer = readWithOgrinfo(f.out + "/Temperatura.shp");
    ASSERT_EQ(layer.featureCount, 4);
    const char* values[] = {"2.00", "4.00", "3.00", "1.00"};
    const char* dates[] = {"2023/01/02", "2023/01/02", "2023/02/01", "2023/03/01"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(layer.features[i].values.at("Param_T"), values[i]) << i;
        EXPECT_EQ(layer.features[i].values.at("SampleDate"), dates[i]) << i;
    }
    EXPECT_EQ(layer.features[0].values.at("TidalSitua"), "Unknown");
    EXPECT_EQ(layer.features[2].values.at("SampleHour"), "-1.00");

    // A missing coordinate dated before the gaps stops the conversion before any of them is told.
    Fixture g(R"(INSERT INTO Kelvash_Query VALUES
          ('Temperatura', 'T', '2022-12-31', 9, 5, 38.7, -9.1, 193000, NULL, 'TJ01', 'Seixal', 'Vazante');)");
    run = convert({g.database, "--parameter", "Temperatura", "--folder", g.out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Some Points haven't Military Coordinates defined. Correct this fault directly on Database "
                       "Stations without them: Seixal. Their rows have Normal Coordinates: choosing those would do.\n");
    EXPECT_TRUE(folderEntries(g.out).empty());
}

TEST(ConvertCli, DataThatStopsTheConversionIsStatus1) {
    const std::string row = "INSERT INTO Kelvash_Query VALUES ('Temperatura', 'T', ";
    struct Case {
        std::string sql;
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {row + "'2023-01-02', 9, 14, 38.7, -9.1, 193000, NULL, 'TJ01', 'Seixal', 'Vazante');",
         {"--parameter", "Temperatura"},
         "Some Points haven't Military Coordinates defined. Correct this fault directly on Database "
         "Stations without them: Seixal. Their rows have Normal Coordinates: choosing those would do."},
        {row + "'2023-01-02', 9, 14, NULL, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante');",
         {"--day", "2023-01-02", "--coordinates", "normal"},
         "Some Points haven't Coordinates defined. Correct this fault directly on Database "
         "Stations without them: Seixal. Their rows have Military Coordinates: choosing those would do."},
        {row + "'2023-01-02', 9, NULL, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante');",
         {"--parameter", "Temperatura"},
         "Some samples haven't a value defined. Correct this fault directly on Database"},
        {row + "NULL, 9, 14, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante');",
         {"--parameter", "Temperatura"},
         "Some samples haven't a date defined. Correct this fault directly on Database"},
        // A selection without samples writes nothing either; {file} is the database.
        {"", {"--parameter", "Oxigénio"},
         "There are no samples of the parameter 'Oxigénio' in the database The file '{file}' has no "
         "sample of it: choose another parameter."},
        {testing::kTejoSamples, {"--day", "2023-01-03"},
         "There are no samples on the day 2023-01-03 in '{file}'. The nearest days with samples are "
         "2023-01-02 and 2023-01-09."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        Fixture f(c.sql);
        std::vector<std::string> args = {f.database, "--folder", f.out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult run = convert(args);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_EQ(run.out, "");
        std::string message = c.message;
        if (const std::size_t at = message.find("{file}"); at != std::string::npos) message.replace(at, 6, f.database);
        EXPECT_EQ(run.err, message + "\n");
        EXPECT_TRUE(folderEntries(f.out).empty()) << c.message;
    }
}

TEST(ConvertCli, DatabaseAndFileErrorsAreStatus3) {
    Fixture f;
    testing::writeFile(f.folder.file("notes.txt"), "not a database");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{f.folder.file("absent.mdb"), "--parameter", "T", "--folder", f.out},
         "The database file '" + (f.folder.file("absent.mdb")) + "' could not be opened: No such file or directory"},
        {{f.database, "--parameter", "Temperatura", "--folder", f.folder.file("absent")},
         "The folder '" + (f.folder.file("absent")) + "' does not exist"},
        {{f.database, "--parameter", "Temperatura", "--folder", f.folder.file("notes.txt")},
         "'" + (f.folder.file("notes.txt")) + "' is not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ProcessResult run = convert(c.args);
        EXPECT_EQ(run.exitCode, 3) << c.message;
        EXPECT_EQ(run.out, "");
        // The hour message comes first where the samples were read.
        EXPECT_EQ(lines(run.err).back(), c.message);
    }
}

TEST(ConvertCli, AFileSizeLimitIsReportedAndTheOldShapefileKept) {
    // 5,000 short rows: about 300 KB in the working database, 850 KB of attribute table.
    Fixture f(R"(INSERT INTO Kelvash_Query WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1
                 FROM n WHERE i < 5000) SELECT 'Temperatura', 'T', '2023-01-02', 9, i / 100.0,
                 38.7, -9.1, 193000, 110000, 'TJ', 'S', 'P' FROM n;)");
    for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"})
        testing::writeFile(f.out + "/Temperatura" + ext, "old");
    ProcessOptions limited;
    limited.fileSizeLimit = 512 * 1024;
    ProcessResult run = convert({f.database, "--parameter", "Temperatura", "--folder", f.out}, limited);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "The file '" + f.out + "/Temperatura.dbf' could not be written: File too large\n");
    EXPECT_EQ(folderEntries(f.out), (std::set<std::string>{"Temperatura.cpg", "Temperatura.dbf",
                                                           "Temperatura.shp", "Temperatura.shx"}));
    EXPECT_EQ(readFile(f.out + "/Temperatura.shp"), "old");
}

TEST(ConvertCli, AProgressLineOnlyOnATerminal) {
    Fixture f;
    ProcessOptions terminal;
    terminal.terminalOnStderr = true;
    ProcessResult run = convert({f.database, "--parameter", "Temperatura", "--folder", f.out}, terminal);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Parameter Shape File 'Temperatura.shp' was created with success\n");
    EXPECT_NE(run.err.find("\rCreating shape file... 3/3 rows  Time elapsed: 00:00:0"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Time remaining: 00:00:00"), std::string::npos);
    // Reading is shown first, its line ended by the first message.
    const std::string reading = "\rReading samples...\033[K";
    EXPECT_EQ(run.err.rfind(reading, 0), 0u) << run.err;
    EXPECT_LT(run.err.find(kHourMessage), run.err.find("Creating shape file..."));
}


// The default name comes from the parameter made fit for a file name, so that it stays in the
// folder; a name given with --name is used as typed.
TEST(ConvertCli, DefaultNamesFromParametersStayInTheFolder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"../escape", "..-escape"}, {"NO3/NO2", "NO3-NO2"}, {"..", "-"}, {"a\\b:c*d?e\"f<g>h|i", "a-b-c-d-e-f-g-h-i"},
        {".hidden.", ".hidden."}};
    std::string sql;
    for (const auto& c : cases)
        sql += "INSERT INTO Kelvash_Query VALUES (" + data::sqlQuote(c.first) +
               ", 'X', '2023-01-02', 9, 1.5, 38.7, -9.1, 193000, 110000, 'TJ', 'n', 'x');";
    Fixture f(sql);
    std::set<std::string> expected;
    for (const auto& [parameter, name] : cases) {
        ProcessResult run = convert({f.database, "--parameter", parameter, "--folder", f.out});
        EXPECT_EQ(run.exitCode, 0) << parameter << ": " << run.err;
        EXPECT_EQ(run.out, "Parameter Shape File '" + name + ".shp' was created with success\n");
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) expected.insert(name + ext);
    }
    EXPECT_EQ(folderEntries(f.out), expected);
    EXPECT_EQ(folderEntries(f.folder.path()), (std::set<std::string>{"tejo.sqlite", "out"}));

    ProcessResult typed = convert({f.database, "--parameter", "NO3/NO2", "--folder", f.out, "--name", "sub/x"});
    EXPECT_EQ(typed.exitCode, 3);
    EXPECT_EQ(typed.err, "The folder '" + f.out + "/sub' does not exist\n");
}

// The wizard answers a wrong command line on the terminal before opening any window, and takes
// one database to fill in.
TEST(WizardCommandLine, WrongUsageIsRefusedBeforeAnyWindow) {
    const std::string wizard = std::string(PONTREL_BIN_DIR) + "/pontrel";
    if (!std::filesystem::exists(wizard)) GTEST_SKIP() << "the wizard is not built";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "pontrel: unrecognized option '--bogus'"},
        {{"a.mdb", "b.mdb"}, "pontrel: only one database can be given: 'b.mdb' is one too many"},
        {{"-style"}, "pontrel: option '-style' requires a value"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        std::vector<std::string> argv = {wizard};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessOptions noDisplay;
        noDisplay.environment = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"};
        ProcessResult run = runProcess(argv, noDisplay);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, message + "\nTry 'pontrel --help' for more information.\n");
    }
}

}  // namespace
}  // namespace pontrel
