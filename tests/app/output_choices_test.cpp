// What the settings and the converter's options change in the shapefile, read back by GDAL
// (ogrinfo, gdalsrsinfo) and by pyshp: the .prj, exact values, nulls; and that without them
// every file is byte for byte what earlier versions wrote.

#include <gtest/gtest.h>

#include "VessamoFixture.h"
#include "TestSupport.h"

namespace pontrel {
namespace {

using testing::folderEntries;
using testing::lines;
using testing::ProcessResult;
using testing::readFile;
using testing::readWithOgrinfo;
using testing::runProcess;
using testing::TempFolder;
using testing::writeFile;

const std::string kConverter = std::string(PONTREL_BIN_DIR) + "/pontrel-convert";
const std::string kPyshpReader = std::string(PONTREL_SOURCE_DIR) + "/tests/support/read_with_pyshp.py";
const std::string kHourLine =
    "Some samples haven't an hour defined. Time of these samples will be considered = -1\n";

// The fixture database, an output folder and a configuration folder of its own, so that the
// user's settings never reach the tests.
struct Fixture {
    explicit Fixture(const std::string& sql = testing::kTejoSamples) {
        testing::makeFixtureDatabase(database, sql);
        std::filesystem::create_directory(out);
        std::filesystem::create_directories(config + "/vessamo-pontrel");
    }
    // Standard error without the converter's "pontrel-convert: " and "warning: " marks: these
    // tests are about what the messages say (convert_cli_test.cpp tests the marks).
    ProcessResult convert(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {"env", "XDG_CONFIG_HOME=" + config, kConverter};
        argv.insert(argv.end(), args.begin(), args.end());
        return testing::withoutConverterMarks(runProcess(argv));
    }
    void settings(const std::string& text) const { writeFile(config + "/vessamo-pontrel/settings.ini", text); }

    TempFolder folder;
    std::string database = folder.file("tejo.sqlite");
    std::string out = folder.file("out");
    std::string config = folder.file("config");
};

// The lines pyshp reads from a shapefile (see read_with_pyshp.py); skips the test without pyshp.
std::vector<std::string> readWithPyshp(const std::string& shp) {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        ProcessResult run = runProcess({python, kPyshpReader, shp});
        if (run.exitCode == 0) return lines(run.out);
        if (run.err.find("No module named 'shapefile'") == std::string::npos && run.exitCode != 127)
            throw std::runtime_error("pyshp failed on " + shp + ": " + run.err);
    }
    return {};
}

#define READ_WITH_PYSHP(variable, shp)                                          \
    const std::vector<std::string> variable = readWithPyshp(shp);               \
    if (variable.empty()) GTEST_SKIP() << "pyshp (python3-pyshp) is not installed"

// The system GDAL recognises in a .prj, as AUTHORITY:CODE when it matches one for certain,
// otherwise as a PROJ string.
std::string gdalIdentifies(const std::string& prj) {
    ProcessResult run = runProcess({"gdalsrsinfo", "-e", prj});
    if (run.out.find("Confidence in this match") == std::string::npos)
        for (const std::string& line : lines(run.out))
            if (line.find(':') != std::string::npos && line.find(' ') == std::string::npos) return line;
    std::string projString = "(none)";
    for (const std::string& line : lines(runProcess({"gdalsrsinfo", "-o", "proj4", prj}).out))
        if (!line.empty()) projString = line;
    return projString;
}

// FNV-1a over a file's bytes; in a .dbf the date of last change (bytes 1 to 3) counts as zeros.
std::uint64_t contentHash(const std::string& path) {
    std::string bytes = readFile(path);
    if (path.ends_with(".dbf") && bytes.size() > 4) bytes.replace(1, 3, std::string(3, '\0'));
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
}

// Conversions of the fixture written before settings existed, as hashes of their files; the
// .dbf hashes are those of numeric columns with room for nine integer digits.
TEST(OutputChoices, WithoutSettingsEveryFileIsAsEarlierVersionsWroteIt) {
    const std::map<std::string, std::uint64_t> expected = {
        {"day.cpg", 0xe14a1ad0ff308d43ULL},   {"day.dbf", 0x08e98e97fce317b7ULL},
        {"day.shp", 0xff68e87321d80b3dULL},   {"day.shx", 0x5786b6a61a23fe1fULL},
        {"param.cpg", 0xe14a1ad0ff308d43ULL}, {"param.dbf", 0x06e6dcaa0874ae90ULL},
        {"param.shp", 0xe538c286c399d764ULL}, {"param.shx", 0x76f0d28eeb7f64d9ULL},
    };
    // No settings file; the defaults said as options; the defaults said in a settings file, with
    // an empty coordinate system, which is none.
    const std::string defaults = "[Output]\nValues=rounded\nMissing=placeholders\nMilitaryCRS=\n";
    const std::vector<std::string> ways[] = {
        {},
        {"--values", "rounded", "--missing", "placeholders"},
        {"--settings", "defaults.ini"},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.empty() ? "no settings" : way[0]);
        Fixture f;
        writeFile(f.folder.file("defaults.ini"), defaults);
        std::vector<std::string> extra = way;
        if (!extra.empty() && extra[0] == "--settings") extra[1] = f.folder.file(extra[1]);
        std::vector<std::string> day = {f.database, "--day", "2023-01-02", "--coordinates", "normal",
                                        "--folder", f.out, "--name", "day"};
        std::vector<std::string> parameter = {f.database, "--parameter", "Temperatura", "--folder", f.out,
                                              "--name", "param"};
        for (auto* args : {&day, &parameter}) {
            args->insert(args->end(), extra.begin(), extra.end());
            ProcessResult run = f.convert(*args);
            ASSERT_EQ(run.exitCode, 0) << run.err;
        }
        std::map<std::string, std::uint64_t> got;
        for (const std::string& name : folderEntries(f.out)) got[name] = contentHash(f.out + "/" + name);
        EXPECT_EQ(got, expected);
    }
}

TEST(OutputChoices, TheCoordinateSystemGoesToAPrjThatGdalRecognises) {
    struct Case {
        std::string settings;
        std::vector<std::string> args;
        std::string recognised;
    };
    const Case cases[] = {
        {"", {"--crs", "EPSG:20790"}, "EPSG:20790"},
        {"[Output]\nMilitaryCRS=EPSG:20790\n", {}, "EPSG:20790"},
        {"[Output]\nNormalCRS=EPSG:4326\n", {"--coordinates", "normal"}, "EPSG:4326"},
        // The option wins over the settings, for the coordinates converted.
        {"[Output]\nNormalCRS=EPSG:4326\nMilitaryCRS=EPSG:4326\n", {"--crs", "EPSG:3763"}, "EPSG:3763"},
        {"", {"--coordinates", "normal", "--crs", "+proj=longlat +datum=WGS84"}, "+proj=longlat +datum=WGS84 +no_defs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings + (c.args.empty() ? "" : c.args.back()));
        Fixture f;
        f.settings(c.settings);
        std::vector<std::string> args = {f.database, "--parameter", "Temperatura", "--folder", f.out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult run = f.convert(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gdalIdentifies(f.out + "/Temperatura.prj"), c.recognised);
        const std::string prj = readFile(f.out + "/Temperatura.prj");
        EXPECT_EQ(prj.find('\n'), std::string::npos);
        // ogrinfo takes the layer's system from it.
        ProcessResult info = runProcess({"ogrinfo", "-ro", "-so", "-al", f.out + "/Temperatura.shp"});
        EXPECT_NE(info.out.find("Layer SRS WKT:\n"), std::string::npos);
        EXPECT_EQ(info.out.find("Layer SRS WKT:\n(unknown)"), std::string::npos);
    }
}

// The .prj is one of the set: written with it, kept by a run without a system, never left half
// done by a run that fails.
TEST(OutputChoices, ThePrjIsReplacedOnlyWithTheWholeSet) {
    Fixture f(std::string(testing::kTejoSamples) +
              "INSERT INTO Kelvash_Query VALUES ('Salinidade', 'SAL', '2023-01-09', 9, 30, 1e999, -9.1, 193000, "
              "110000, 'TJ09', 'Alcochete', 'Vazante');");
    const std::string prj = f.out + "/Temperatura.prj";
    writeFile(prj, "the user's own");
    ASSERT_EQ(f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out}).exitCode, 0);
    EXPECT_EQ(readFile(prj), "the user's own");

    ASSERT_EQ(f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out, "--crs", "EPSG:20790"}).exitCode, 0);
    const std::string written = readFile(prj);
    EXPECT_EQ(written.rfind("PROJCS[\"Portuguese_National_Grid\"", 0), 0u) << written;

    // A point no shapefile holds stops the run after the system was given: nothing changes.
    writeFile(f.out + "/Salinidade.prj", "older");
    const auto before = folderEntries(f.out);
    ProcessResult failed = f.convert({f.database, "--parameter", "Salinidade", "--folder", f.out,
                                      "--coordinates", "normal", "--crs", "EPSG:4326"});
    EXPECT_EQ(failed.exitCode, 3);
    EXPECT_NE(failed.err.find("its coordinates must be finite numbers"), std::string::npos) << failed.err;
    EXPECT_EQ(folderEntries(f.out), before);
    EXPECT_EQ(readFile(f.out + "/Salinidade.prj"), "older");

    // A folder in the .prj's place only matters when a .prj is to be written.
    std::filesystem::create_directory(f.out + "/Tejo.prj");
    EXPECT_EQ(f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out, "--name", "Tejo"}).exitCode, 0);
    ProcessResult blocked = f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out, "--name",
                                       "Tejo", "--crs", "EPSG:20790"});
    EXPECT_EQ(blocked.exitCode, 3);
    EXPECT_EQ(blocked.err, kHourLine + "'" + f.out + "/Tejo.prj' is a folder, so the shapefile cannot take its name\n");
}

// Values and hours of several decimals, a sum that has no short decimal form, a missing hour.
const std::string kFineValues = R"(
INSERT INTO Kelvash_Query VALUES
  ('Mercúrio', 'HG', '2023-01-02', 9.755, 0.125, 38.70743, -9.1, 193100.5, 110000.25, 'TJ01', 'Cais', 'Preia-mar'),
  ('Mercúrio', 'HG', '2023-01-02', NULL, 0.0004, 38.65, -9.05, 188000, 114000, 'TJ02', NULL, 'Vazante'),
  ('Temperatura', 'T', '2023-01-02', 14.5, 0.1 + 0.2, 38.7, -9.2, 192000, 105000, 'TJ03', 'Seixal', NULL);
)";

TEST(OutputChoices, ExactValuesReadBackAsTheDatabaseDoubles) {
    Fixture f(kFineValues);
    ProcessResult exact = f.convert({f.database, "--day", "2023-01-02", "--folder", f.out, "--name", "exact",
                                     "--values", "exact"});
    ASSERT_EQ(exact.exitCode, 0) << exact.err;
    f.settings("[Output]\nValues=exact\n");
    ASSERT_EQ(f.convert({f.database, "--day", "2023-01-02", "--folder", f.out, "--name", "fromSettings"}).exitCode, 0);
    ASSERT_EQ(f.convert({f.database, "--day", "2023-01-02", "--folder", f.out, "--name", "rounded",
                         "--values", "rounded"}).exitCode, 0);

    READ_WITH_PYSHP(records, f.out + "/exact.shp");
    EXPECT_EQ(records, (std::vector<std::string>{
                           "SampleHour|Param_HG|Param_T|CurrentNam|Name|TidalSitua|SampleDate",
                           "110000.25|193100.5|9.755|0.125|0.0|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                           "114000.0|188000.0|-1.0|0.0004|0.0|'TJ02'|'Unknown'|'Vazante'|2023-01-02",
                           "105000.0|192000.0|14.5|0.0|0.30000000000000004|'TJ03'|'Seixal'|'Unknown'|2023-01-02",
                       }));
    EXPECT_EQ(readWithPyshp(f.out + "/fromSettings.shp"), records);
    EXPECT_EQ(readWithPyshp(f.out + "/rounded.shp"),
              (std::vector<std::string>{
                  "SampleHour|Param_HG|Param_T|CurrentNam|Name|TidalSitua|SampleDate",
                  "110000.25|193100.5|9.76|0.12|0.0|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                  "114000.0|188000.0|-1.0|0.0|0.0|'TJ02'|'Unknown'|'Vazante'|2023-01-02",
                  "105000.0|192000.0|14.5|0.0|0.3|'TJ03'|'Seixal'|'Unknown'|2023-01-02",
              }));

    // Each numeric column has the decimals its values need and room for nine integer digits; GDAL
    // reads the same numbers.
    auto layer = readWithOgrinfo(f.out + "/exact.shp");
    EXPECT_EQ(layer.fields[1], (testing::OgrField{"Param_HG", "Real", 15, 4}));
    EXPECT_EQ(layer.fields[2], (testing::OgrField{"Param_T", "Real", 28, 17}));
    EXPECT_EQ(layer.features[2].values.at("Param_T"), "0.30000000000000004");

    // A value no numeric column holds exactly stops the run with the message that names it.
    Fixture tiny("INSERT INTO Kelvash_Query VALUES ('Temperatura', 'T', '2023-01-02', 9, 1e-300, 38.7, -9.1, "
                 "193000, 110000, 'TJ01', 'Seixal', 'Vazante');");
    ProcessResult refused = tiny.convert({tiny.database, "--parameter", "Temperatura", "--folder", tiny.out,
                                          "--values", "exact"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.err, "The value 1e-300 in row 1 of the column 'Param_T' needs 311 characters to be "
                           "written exactly, more than the 255 a numeric column of a shapefile holds\n");
    EXPECT_TRUE(folderEntries(tiny.out).empty());
}

// Two days' files merged into the first one's columns keep every value: the second day's wider
// numbers fit the first day's columns, and so would numbers an analyst types in.
TEST(OutputChoices, MergedFilesKeepEveryValue) {
    Fixture f("INSERT INTO Kelvash_Query VALUES "
              "('Temperatura', 'T', '2023-01-02', 9, 9.5, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante'),"
              "('Temperatura', 'T', '2023-01-09', 10.25, -123456789.25, 38.7, -9.1, 193000, 110000, 'TJ01', "
              "'Seixal', 'Vazante'), "
              "('Temperatura', 'T', '2023-01-09', 11, 11.09, 38.7, -9.1, 193000, 110000, 'TJ01', 'Seixal', 'Vazante');");
    for (const char* day : {"2023-01-02", "2023-01-09"})
        ASSERT_EQ(f.convert({f.database, "--day", day, "--folder", f.out, "--name", day}).exitCode, 0);
    const std::string merged = f.out + "/merged.shp";
    ASSERT_EQ(runProcess({"ogr2ogr", merged, f.out + "/2023-01-02.shp"}).exitCode, 0);
    ProcessResult append = runProcess({"ogr2ogr", "-append", merged, f.out + "/2023-01-09.shp", "-nln", "merged"});
    ASSERT_EQ(append.exitCode, 0) << append.err;
    EXPECT_EQ(append.err, "");  // GDAL warns of every value a column cannot hold

    std::vector<std::string> values;
    for (const auto& feature : readWithOgrinfo(merged).features)
        values.push_back(feature.values.at("SampleHour") + " " + feature.values.at("Param_T"));
    EXPECT_EQ(values, (std::vector<std::string>{"9.00 9.50", "10.25 -123456789.25", "11.00 11.09"}));
}

// The Access and the SQLite sample hold the same doubles; exact values show it.
TEST(OutputChoices, ExactValuesOfTheAccessAndTheSqliteSampleAreTheSame) {
    const std::string sample = std::string(PONTREL_SAMPLE_DIR) + "/vessamo-sample";
    if (!std::filesystem::exists(sample + ".mdb")) GTEST_SKIP() << "the sample database is not built";
    Fixture f;
    for (const char* kind : {"mdb", "sqlite"}) {
        ProcessResult run = f.convert({sample + "." + kind, "--parameter", "Mercúrio", "--folder", f.out,
                                       "--name", kind, "--values", "exact", "--coordinates", "normal"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_EQ(contentHash(f.out + "/mdb.dbf"), contentHash(f.out + "/sqlite.dbf"));
    EXPECT_EQ(contentHash(f.out + "/mdb.shp"), contentHash(f.out + "/sqlite.shp"));
    std::set<std::string> distinct;
    for (const auto& feature : readWithOgrinfo(f.out + "/sqlite.shp").features)
        distinct.insert(feature.values.at("Param_HG"));
    EXPECT_GT(distinct.size(), 200u);  // rounded to 2 decimals they are a few dozen
}

// The sample's two coordinate types name the same places: its military points, moved by GDAL
// from the military grid to WGS 84, lie on its normal ones.
TEST(OutputChoices, TheSampleMilitaryAndNormalPointsAreOnePlace) {
    const std::string sample = std::string(PONTREL_SAMPLE_DIR) + "/vessamo-sample.sqlite";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "the sample database is not built";
    Fixture f;
    for (const char* type : {"military", "normal"}) {
        ProcessResult run = f.convert({sample, "--parameter", "Temperatura", "--folder", f.out, "--name", type,
                                       "--coordinates", type, "--crs",
                                       std::string(type) == "military" ? "EPSG:20790" : "EPSG:4326"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    ProcessResult moved = runProcess({"ogr2ogr", "-t_srs", "EPSG:4326", f.out + "/moved.shp", f.out + "/military.shp"});
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    auto points = [](const testing::OgrLayer& layer) {
        std::vector<std::pair<double, double>> xy;
        for (const auto& feature : layer.features) {
            double x = 0, y = 0;
            EXPECT_EQ(std::sscanf(feature.geometry.c_str(), "POINT (%lf %lf)", &x, &y), 2) << feature.geometry;
            xy.emplace_back(x, y);
        }
        return xy;
    };
    const auto normal = points(readWithOgrinfo(f.out + "/normal.shp"));
    const auto military = points(readWithOgrinfo(f.out + "/moved.shp"));
    ASSERT_EQ(military.size(), normal.size());
    ASSERT_FALSE(normal.empty());
    for (std::size_t i = 0; i < normal.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(military[i].first, normal[i].first, 2e-5);  // about 2 metres
        EXPECT_NEAR(military[i].second, normal[i].second, 2e-5);
    }
}

// A system that cannot hold the coordinates is refused before anything is written; one far
// from them is written with a warning that says what was probably meant.
TEST(OutputChoices, CoordinatesAreCheckedAgainstTheirSystem) {
    const std::string military = "The Military coordinates of these samples (x from 105000 to 114000, y from 188000 to 193100.5)";
    const std::string normal = "The Normal coordinates of these samples (x from -9.2 to -9.05, y from 38.65 to 38.70743)";
    struct Case {
        std::string type, crs;
        int exitCode;
        std::string message;  // the one line about the coordinates, if any
    };
    const Case cases[] = {
        {"military", "EPSG:20790", 0, ""},
        {"normal", "EPSG:4326", 0, ""},
        {"military", "EPSG:4326", 2,
         military + " cannot be longitudes and latitudes of WGS 84: these look like metres: choose the "
                    "coordinate type Normal, or a projected system"},
        {"normal", "EPSG:20790", 0,
         "warning: " + normal + " are all near the origin of Lisbon (Lisbon) / Portuguese National Grid: these "
                                "look like degrees: choose the coordinate type Military, or a geographic system"},
        {"military", "EPSG:2193", 0,
         "warning: " + military + " lie outside the area where NZGD2000 / New Zealand Transverse Mercator 2000 is "
                                  "used (New Zealand - North Island, South Island, Stewart Island - onshore.): "
                                  "choose another coordinate system or coordinate type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type + " " + c.crs);
        Fixture f;
        ProcessResult run = runProcess({kConverter, f.database, "--parameter", "Temperatura", "--folder", f.out,
                                        "--coordinates", c.type, "--crs", c.crs});
        EXPECT_EQ(run.exitCode, c.exitCode);
        std::string said;
        for (const std::string& line : lines(run.err))
            if (line.find("coordinates of these") != std::string::npos) said = line.substr(line.find(": ") + 2);
        EXPECT_EQ(said, c.message);
        EXPECT_EQ(folderEntries(f.out).size(), c.exitCode == 0 ? 5u : 0u);
    }
}

std::map<std::string, int> nullCounts(const testing::OgrLayer& layer) {
    std::map<std::string, int> counts;
    for (const auto& feature : layer.features)
        for (const auto& [name, value] : feature.values)
            if (value == "(null)") ++counts[name];
    return counts;
}

TEST(OutputChoices, NullsAreNullsForGdalAndPyshpAndAreNotAnnounced) {
    Fixture f(kFineValues);
    ProcessResult day = f.convert({f.database, "--day", "2023-01-02", "--folder", f.out, "--missing", "null"});
    ASSERT_EQ(day.exitCode, 0) << day.err;
    EXPECT_EQ(day.err, "");  // nothing is replaced, so nothing is said
    EXPECT_EQ(nullCounts(readWithOgrinfo(f.out + "/2023-01-02.shp")),
              (std::map<std::string, int>{{"SampleHour", 1}, {"Param_HG", 1}, {"Param_T", 2}, {"Name", 1},
                                          {"TidalSitua", 1}}));
    f.settings("[Output]\nMissing=null\nValues=exact\n");
    ASSERT_EQ(f.convert({f.database, "--parameter", "Mercúrio", "--folder", f.out, "--name", "hg"}).exitCode, 0);

    READ_WITH_PYSHP(records, f.out + "/2023-01-02.shp");
    // pyshp reads a blank number as None and a blank text as ''.
    EXPECT_EQ(records, (std::vector<std::string>{
                           "SampleHour|Param_HG|Param_T|CurrentNam|Name|TidalSitua|SampleDate",
                           "110000.25|193100.5|9.76|0.12|None|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                           "114000.0|188000.0|None|0.0|None|'TJ02'|''|'Vazante'|2023-01-02",
                           "105000.0|192000.0|14.5|None|0.3|'TJ03'|'Seixal'|''|2023-01-02",
                       }));
    EXPECT_EQ(readWithPyshp(f.out + "/hg.shp"),
              (std::vector<std::string>{
                  "SampleHour|Param_HG|CurrentNam|Name|TidalSitua|SampleDate",
                  "110000.25|193100.5|9.755|0.125|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                  "114000.0|188000.0|None|0.0004|'TJ02'|''|'Vazante'|2023-01-02",
              }));
}

// One station's visit with a parameter measured twice, and a visit without an hour.
const std::string kVisits = R"(
INSERT INTO Kelvash_Query VALUES
  ('Temperatura', 'T', '2023-01-02', 9.5, 14.25, 38.70743, -9.1, 193100.5, 110000.25, 'TJ01', 'Cais', 'Preia-mar'),
  ('Salinidade', 'SAL', '2023-01-02', 9.5, 31.5, 38.70743, -9.1, 193100.5, 110000.25, 'TJ01', 'Cais', 'Preia-mar'),
  ('Temperatura', 'T', '2023-01-02', 9.5, 14.5, 38.70743, -9.1, 193100.5, 110000.25, 'TJ01', 'Cais', 'Preia-mar'),
  ('Salinidade', 'SAL', '2023-01-02', NULL, 30, 38.65, -9.05, 188000, 114000, 'TJ02', 'Barreiro', 'Vazante');
)";

TEST(OutputChoices, TheVisitsLayoutPutsEachVisitOnOnePoint) {
    Fixture f(kVisits);
    const std::string repeated = "1 visit measured a parameter more than once: 1 further point at the same station, "
                                 "date and hour holds the repeated value\n";
    ProcessResult placeholders = f.convert({f.database, "--day", "2023-01-02", "--folder", f.out, "--name", "p",
                                            "--layout", "visits"});
    ASSERT_EQ(placeholders.exitCode, 0) << placeholders.err;
    EXPECT_EQ(placeholders.err, kHourLine + repeated);
    f.settings("[Output]\nLayout=visits\nMissing=null\n");
    ProcessResult nulls = f.convert({f.database, "--day", "2023-01-02", "--folder", f.out, "--name", "n"});
    ASSERT_EQ(nulls.exitCode, 0) << nulls.err;
    EXPECT_EQ(nulls.err, repeated);
    // Parameter mode has a point per value either way.
    for (const char* layout : {"values", "visits"})
        ASSERT_EQ(f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out, "--name", layout,
                             "--layout", layout}).exitCode, 0);
    for (const char* extension : {".shp", ".dbf"})
        EXPECT_EQ(contentHash(f.out + "/values" + extension), contentHash(f.out + "/visits" + extension));

    READ_WITH_PYSHP(records, f.out + "/p.shp");
    EXPECT_EQ(records, (std::vector<std::string>{
                           "SampleHour|Param_SAL|Param_T|CurrentNam|Name|TidalSitua|SampleDate",
                           "110000.25|193100.5|9.5|31.5|14.25|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                           "110000.25|193100.5|9.5|0.0|14.5|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                           "114000.0|188000.0|-1.0|30.0|0.0|'TJ02'|'Barreiro'|'Vazante'|2023-01-02",
                       }));
    EXPECT_EQ(readWithPyshp(f.out + "/n.shp"),
              (std::vector<std::string>{
                  "SampleHour|Param_SAL|Param_T|CurrentNam|Name|TidalSitua|SampleDate",
                  "110000.25|193100.5|9.5|31.5|14.25|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                  "110000.25|193100.5|9.5|None|14.5|'TJ01'|'Cais'|'Preia-mar'|2023-01-02",
                  "114000.0|188000.0|None|30.0|None|'TJ02'|'Barreiro'|'Vazante'|2023-01-02",
              }));
}

TEST(OutputChoices, BadSettingsAndOptionsStopBeforeTheDatabaseIsRead) {
    Fixture f;
    const std::string absent = f.folder.file("absent.mdb");  // reading it would be status 3
    const std::string settingsFile = f.config + "/vessamo-pontrel/settings.ini";
    struct Case {
        std::string settings;
        std::vector<std::string> args;
        std::string message;
        bool usage;
    };
    const Case cases[] = {
        {"", {"--values", "exakt"}, "--values takes rounded or exact, not 'exakt'", true},
        {"", {"--missing", "zero"}, "--missing takes placeholders or null, not 'zero'", true},
        {"", {"--layout", "stacked"}, "--layout takes values or visits, not 'stacked'", true},
        {"", {"--crs", "EPSG:99999"}, "--crs 'EPSG:99999' is not a coordinate system PROJ can use: crs not found", true},
        {"", {"--values", "exact", "--values", "exact"}, "--values is given more than once", true},
        {"", {"--format", "xyz"}, "--format takes shapefile or gpkg, not 'xyz'", true},
        {"", {"--format", "gpkg", "--name", "Tejo.SHP"}, "--name 'Tejo.SHP' ends in .shp, which --format gpkg does not write", true},
        {"[Output]\nFormat=shp\n", {},
         "The settings file '" + settingsFile + "', line 2: Format is 'shp': it must be shapefile or gpkg", false},
        {"[Output]\nMissing=nul\n", {},
         "The settings file '" + settingsFile + "', line 2: Missing is 'nul': it must be placeholders or null", false},
        // The options do not make a broken file right, and --settings reads another one.
        {"[Output]\nValues=exakt\n", {"--values", "exact"},
         "The settings file '" + settingsFile + "', line 2: Values is 'exakt': it must be rounded or exact", false},
        {"", {"--settings", f.folder.file("other.ini")},
         "The settings file '" + f.folder.file("other.ini") + "' does not exist", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        f.settings(c.settings);
        std::vector<std::string> args = {absent, "--parameter", "Temperatura", "--folder", f.out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult run = f.convert(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(lines(run.err).front(), c.message);
        EXPECT_EQ(lines(run.err).size() > 1, c.usage);
    }
    // The listings read no settings and take none of the options.
    f.settings("[Output]\nValues=exakt\n");
    EXPECT_EQ(f.convert({f.database, "--list-parameters"}).out, "Salinidade\nTemperatura\n");
    ProcessResult stray = f.convert({f.database, "--list-days", "--crs", "EPSG:4326"});
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_EQ(lines(stray.err).front(), "--crs only goes with --parameter or --day");
    EXPECT_TRUE(folderEntries(f.out).empty());
}

// What an independent reader (the sqlite3 program) finds in a GeoPackage: one line per row of
// `query`, its values separated by '|'.
std::vector<std::string> readWithSqlite(const std::string& gpkg, const std::string& query) {
    ProcessResult run = runProcess({"sqlite3", "-readonly", gpkg, query});
    if (run.exitCode != 0) throw std::runtime_error("sqlite3 failed on " + gpkg + ": " + run.err);
    return lines(run.out);
}

TEST(GeoPackage, BothModesHoldFullNamesExactValuesNullsAndTheSystem) {
    struct Case {
        std::string name;
        std::string sql;
        std::string settings;
        std::vector<std::string> args;
        std::string file;  // in the output folder; the layer is named after it
        std::vector<std::string> parameters;  // the columns between SampleHour and the texts
        std::string query;  // the values, read back by sqlite3 (whose quote() writes a double exactly)
        std::vector<std::string> rows;
        std::vector<std::string> points;  // as ogrinfo reads them
        std::string system;
    };
    const Case cases[] = {
        {"Parameter mode, --format, --crs", testing::kTejoSamples, "",
         {"--parameter", "Temperatura", "--format", "gpkg", "--crs", "EPSG:20790"}, "Temperatura.gpkg",
         {"Temperatura"},
         "SELECT quote(SampleHour), quote(Temperatura), CurrentName, SampleDate, quote(SampleTime) "
         "FROM Temperatura ORDER BY fid",
         {"9.5|14.25|TJ01|2023-01-02|'2023-01-02T09:30:00.000'", "NULL|15.0|TJ02|2023-01-02|NULL",
          "11.0|16.5|TJ03|2023-01-09|'2023-01-09T11:00:00.000'"},
         {"POINT (110000.25 193100.5)", "POINT (114000 188000)", "POINT (105000 192000)"},
         "EPSG:20790"},
        // Rounding and placeholders of the settings are a shapefile's; a name ending in .gpkg
        // chooses the format.
        {"Day mode, a .gpkg name", kFineValues, "[Output]\nValues=rounded\nMissing=placeholders\n",
         {"--day", "2023-01-02", "--name", "fine.gpkg"}, "fine.gpkg", {"Mercúrio", "Temperatura"},
         "SELECT quote(SampleHour), quote(\"Mercúrio\"), quote(Temperatura), quote(Name), "
         "quote(TidalSituation), quote(SampleTime) FROM fine ORDER BY fid",
         {"9.755|0.125|NULL|'Cais'|'Preia-mar'|'2023-01-02T09:45:18.000'", "NULL|0.0004|NULL|NULL|'Vazante'|NULL",
          "14.5|NULL|3.00000000000000044408e-01|'Seixal'|NULL|'2023-01-02T14:30:00.000'"},
         {"POINT (110000.25 193100.5)", "POINT (114000 188000)", "POINT (105000 192000)"}, "NONE:0"},
        {"Format= of the settings, normal coordinates", kFineValues, "[Output]\nFormat=gpkg\nNormalCRS=EPSG:4326\n",
         {"--parameter", "Temperatura", "--coordinates", "normal"}, "Temperatura.gpkg", {"Temperatura"},
         "SELECT quote(Temperatura) FROM Temperatura", {"3.00000000000000044408e-01"}, {"POINT (-9.2 38.7)"},
         "EPSG:4326"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(c.sql);
        f.settings(c.settings);
        std::vector<std::string> args = {f.database, "--folder", f.out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult run = f.convert(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");  // nothing is replaced or cut, so nothing is said
        EXPECT_EQ(folderEntries(f.out), std::set<std::string>{c.file});
        const std::string gpkg = f.out + "/" + c.file;

        const testing::OgrLayer layer = readWithOgrinfo(gpkg);
        EXPECT_NE(layer.report.find("Layer name: " + c.file.substr(0, c.file.size() - 5) + "\n"), std::string::npos);
        std::vector<std::string> columns = {"SampleHour:Real"};
        for (const std::string& parameter : c.parameters) columns.push_back(parameter + ":Real");
        for (const char* fixed : {"CurrentName:String", "Name:String", "TidalSituation:String", "SampleDate:Date",
                                  "SampleTime:DateTime"})
            columns.push_back(fixed);
        std::vector<std::string> read;
        for (const auto& field : layer.fields) read.push_back(field.name + ":" + field.type);
        EXPECT_EQ(read, columns);
        std::vector<std::string> points;
        for (const auto& feature : layer.features) points.push_back(feature.geometry);
        EXPECT_EQ(points, c.points);

        EXPECT_EQ(readWithSqlite(gpkg, c.query), c.rows);
        // GDAL's validator checks the tables against the GeoPackage's definition, the descriptions'
        // table (made here, not by GDAL) among them.
        const std::string validator = "/usr/lib/python3/dist-packages/osgeo_utils/samples/validate_gpkg.py";
        if (std::filesystem::exists(validator)) {
            ProcessResult valid = runProcess({"/usr/bin/python3", validator, gpkg});
            EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
        }
        EXPECT_EQ(readWithSqlite(gpkg, "SELECT s.organization || ':' || s.organization_coordsys_id FROM "
                                       "gpkg_geometry_columns JOIN gpkg_spatial_ref_sys s USING (srs_id)"),
                  std::vector<std::string>{c.system});
        // Each parameter's name and code describe its column.
        std::vector<std::string> described;
        for (const std::string& parameter : c.parameters)
            described.push_back(parameter + "|Parameter " + parameter + ", ParameterCode " +
                                (parameter == "Temperatura" ? "T" : "HG"));
        EXPECT_EQ(readWithSqlite(gpkg, "SELECT column_name, description FROM gpkg_data_columns "
                                       "WHERE description LIKE 'Parameter %' ORDER BY column_name"),
                  described);
    }
}

// A run that fails leaves no GeoPackage and no temporary file, and an older one as it was; a file
// that a program has open is not replaced under it.
TEST(GeoPackage, AFailedRunLeavesNothingBehind) {
    Fixture f(std::string(testing::kTejoSamples) +
              "INSERT INTO Kelvash_Query VALUES ('Salinidade', 'SAL', '2023-01-09', 9, 30, 1e999, -9.1, 193000, "
              "110000, 'TJ09', 'Alcochete', 'Vazante');");
    writeFile(f.out + "/Salinidade.gpkg", "an older file");
    ProcessResult failed = f.convert({f.database, "--parameter", "Salinidade", "--folder", f.out,
                                      "--coordinates", "normal", "--format", "gpkg"});
    EXPECT_EQ(failed.exitCode, 3);
    EXPECT_EQ(failed.err, "The point of row 2 (-9.0999999999999996, inf) cannot be written to the GeoPackage '" +
                              f.out + "/Salinidade.gpkg': its coordinates must be finite numbers\n");
    EXPECT_EQ(folderEntries(f.out), std::set<std::string>{"Salinidade.gpkg"});
    EXPECT_EQ(readFile(f.out + "/Salinidade.gpkg"), "an older file");

    ASSERT_EQ(f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out, "--name", "T.gpkg"}).exitCode, 0);
    writeFile(f.out + "/T.gpkg-wal", "");
    const auto before = folderEntries(f.out);
    const std::string old = readFile(f.out + "/T.gpkg");
    ProcessResult open = f.convert({f.database, "--parameter", "Temperatura", "--folder", f.out, "--name", "T.gpkg"});
    EXPECT_EQ(open.exitCode, 3);
    EXPECT_EQ(open.err, "The GeoPackage '" + f.out + "/T.gpkg' is in use: '" + f.out +
                            "/T.gpkg-wal' is beside it, so a program has it open or stopped while writing it. "
                            "Close it there and convert again\n");
    EXPECT_EQ(folderEntries(f.out), before);
    EXPECT_EQ(readFile(f.out + "/T.gpkg"), old);
}

}  // namespace
}  // namespace pontrel
