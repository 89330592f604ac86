// The shapefile component: field formats and names, files read back by ogrinfo and shapelib, and
// what is left on disk when writing fails.

#include <gtest/gtest.h>
#include <shapefil.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <limits>

#include "TestSupport.h"
#include "shapefile/DbfFieldNames.h"
#include "shapefile/FieldFormats.h"
#include "shapefile/ShapeFileError.h"
#include "shapefile/ShapeFiles.h"

namespace pontrel::shapefile {
namespace {

using testing::folderEntries;
using testing::OgrField;
using testing::readFile;
using testing::readWithOgrinfo;
using testing::TempFolder;

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ShapeFileError& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- dBASE names

TEST(DbfFieldNames, ShortensDeterministicallyAndKeepsNamesUnique) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"SampleHour", "CurrentName", "TidalSituation"}, {"SampleHour", "CurrentNam", "TidalSitua"}},
        {{"Param_T", "Param_T", "Param_T"}, {"Param_T", "Param_T1", "Param_T2"}},
        {{"Param_SECCHI", "Param_SECCHI2"}, {"Param_SECC", "Param_SEC1"}},
        {{"Name", "NAME", "name"}, {"Name", "NAME1", "name2"}},  // readers ignore case
        {{"Param_T1", "Param_T", "Param_T"}, {"Param_T1", "Param_T", "Param_T2"}},
        {{"Param_ÇÇÇ", "Param_aÇÇ"}, {"Param_ÇÇ", "Param_aÇ"}},  // never half a character
        {{"", ""}, {"Field", "Field1"}},
    };
    for (const Case& c : cases) {
        DbfFieldNames names;
        std::vector<std::string> got;
        for (const std::string& name : c.names) got.push_back(names.assign(name));
        EXPECT_EQ(got, c.expected) << c.names.front();
    }

    DbfFieldNames names;
    std::vector<std::string> got;
    for (int i = 0; i < 12; ++i) got.push_back(names.assign("Param_LONGCODE"));
    EXPECT_EQ(got[0], "Param_LONG");
    EXPECT_EQ(got[1], "Param_LON1");
    EXPECT_EQ(got[9], "Param_LON9");
    EXPECT_EQ(got[10], "Param_LO10");
    EXPECT_EQ(got[11], "Param_LO11");
}

// ---- value formats

TEST(FieldFormats, NumbersAreWrittenExactlyOrRefused) {
    struct Case {
        double value;
        NumericLayout layout;
        const char* expected;  // nullptr: refused
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {12.5, {6, 2}, " 12.50"},
        {-1, {5, 2}, "-1.00"},
        {-0.0, {4, 2}, "0.00"},
        {0.05, {4, 2}, "0.05"},
        {-0.5, {5, 2}, "-0.50"},
        {42, {2, 0}, "42"},
        {0.125, {6, 3}, " 0.125"},
        {1e20, {24, 2}, "100000000000000000000.00"},
        {123456789012.34, {15, 2}, "123456789012.34"},
        {0.125, {6, 2}, nullptr},      // a third decimal would be lost
        {0.1 + 0.2, {6, 2}, nullptr},  // 0.30000000000000004 is not 0.30
        {4.5, {3, 0}, nullptr},
        {123.45, {5, 2}, nullptr},     // too wide: never a shortened number
        {inf, {20, 2}, nullptr},
        {std::nan(""), {20, 2}, nullptr},
    };
    for (const Case& c : cases) {
        char out[64] = {};
        bool written = formatNumeric(c.value, c.layout, out);
        if (c.expected) {
            EXPECT_TRUE(written) << c.value;
            EXPECT_EQ(std::string(out, static_cast<std::size_t>(c.layout.width)), c.expected);
        } else {
            EXPECT_FALSE(written) << c.value;
        }
    }
}

TEST(FieldFormats, ColumnSizeHoldsEveryValueExactly) {
    struct Case {
        std::vector<double> values;
        NumericLayout expected;
    };
    const Case cases[] = {
        {{}, {4, 2}},
        {{-1, 14.25}, {5, 2}},
        {{8, 23.5, 0.01}, {5, 2}},
        {{-1234.5}, {8, 2}},
        {{0.125, 100}, {7, 3}},
        {{1e20}, {24, 2}},
    };
    for (const Case& c : cases) {
        NumericColumnSizer sizer("Param_T");
        std::size_t row = 0;
        for (double value : c.values) sizer.add(value, ++row);
        NumericLayout layout = sizer.layout();
        EXPECT_EQ(layout.width, c.expected.width) << c.values.size();
        EXPECT_EQ(layout.decimals, c.expected.decimals);
        for (double value : c.values) {
            char out[64];
            EXPECT_TRUE(formatNumeric(value, layout, out)) << value;
        }
    }

    NumericColumnSizer sizer("Param_T");
    sizer.add(1, 1);
    EXPECT_EQ(errorOf([&] { sizer.add(std::numeric_limits<double>::infinity(), 2); }),
              "The value inf in row 2 of the column 'Param_T' cannot be written to a shapefile: it "
              "is not a finite number");
    EXPECT_EQ(errorOf([&] { sizer.add(1e300, 3); }),
              "The value 1e+300 in row 3 of the column 'Param_T' needs 304 characters to be written "
              "exactly, more than the 255 a numeric column of a shapefile holds");
}

TEST(FieldFormats, TextsAreCutOnCharacterBoundaries) {
    struct Case {
        std::string text;
        std::size_t bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"abc", 5, "abc"},
        {"abcdef", 3, "abc"},
        {"aé", 2, "a"},            // é takes 2 bytes
        {"aé", 3, "aé"},
        {"€uro", 2, ""},           // € takes 3 bytes
        {"x😀", 4, "x"},           // 4-byte sequence
        {"\x80\x80\x80\x80\x80", 2, "\x80\x80"},  // not UTF-8: cut at the width
    };
    for (const Case& c : cases) EXPECT_EQ(utf8Prefix(c.text, c.bytes), c.expected) << c.text;
}

TEST(FieldFormats, DatesAreYearMonthDay) {
    char out[9] = {};
    EXPECT_TRUE(formatDate(2023, 1, 2, out));
    EXPECT_EQ(std::string(out, 8), "20230102");
    EXPECT_TRUE(formatDate(1, 12, 31, out));
    EXPECT_EQ(std::string(out, 8), "00011231");
    EXPECT_TRUE(formatDate(2024, 2, 29, out));
    EXPECT_FALSE(formatDate(2023, 2, 29, out));
    EXPECT_FALSE(formatDate(0, 1, 1, out));
    EXPECT_FALSE(formatDate(10000, 1, 1, out));
}

// ---- whole files

struct Row {
    double x, y, hour, first, second;
    std::string text;
    CalendarDate date;
};

// Writes the Day-mode layout with two columns named alike, as two parameters of one code give.
void writeSample(const std::string& shp, const std::vector<Row>& rows) {
    ShapeFiles files;
    files.OpenNewShapeFile(shp, 1, 1);
    FieldList& fields = files.fieldList();
    fields.AddField("SampleHour", kNumericField, 5, 2);
    fields.AddField("Param_X", kNumericField, 7, 2);
    fields.AddField("Param_X", kNumericField, 7, 2);
    fields.AddField("CurrentName", kTextField, 50, 0);
    fields.AddField("SampleDate", kDateField, 0, 0);
    files.WriteFieldLayout();
    files.ReserveRecords(rows.size());
    for (const Row& row : rows) {
        files.pointList().AddPoint(row.x, row.y);
        fields.FieldByName("SampleHour").SetFieldValue(row.hour);
        fields.FieldByName("Param_X").SetFieldValue(row.first);
        fields.FieldByName("Param_X").SetFieldValue(row.second);
        fields.FieldByName("CurrentName").SetFieldValue(std::string_view(row.text));
        fields.FieldByName("SampleDate").SetFieldValue(row.date);
        files.WriteRecord();
    }
    files.close();
}

const std::string kLongText = std::string(49, 'a') + "é tail";  // é straddles byte 50

TEST(ShapeFiles, WritesAPointShapefileThatGdalReads) {
    TempFolder folder;
    writeSample(folder / "Tejo.shp", {{-9.1, 38.71, -1, 1.5, 0, "Cais do Sodré", {2023, 1, 2}},
                                      {-9.05, 38.6, 14.25, 0, -2.25, kLongText, {2023, 12, 31}},
                                      {-9.05, 38.6, 8, 3, 4, "Barreiro", {1900, 2, 28}}});

    EXPECT_EQ(folderEntries(folder.path()),
              (std::set<std::string>{"Tejo.cpg", "Tejo.dbf", "Tejo.shp", "Tejo.shx"}));
    EXPECT_EQ(readFile(folder / "Tejo.cpg"), "UTF-8");

    auto layer = readWithOgrinfo(folder / "Tejo.shp");
    EXPECT_EQ(layer.geometry, "Point");
    EXPECT_EQ(layer.featureCount, 3);
    EXPECT_EQ(layer.fields, (std::vector<OgrField>{{"SampleHour", "Real", 5, 2},
                                                   {"Param_X", "Real", 7, 2},
                                                   {"Param_X1", "Real", 7, 2},
                                                   {"CurrentNam", "String", 50, 0},
                                                   {"SampleDate", "Date", 10, 0}}))
        << layer.report;
    ASSERT_EQ(layer.features.size(), 3u);
    const auto& first = layer.features[0].values;
    EXPECT_EQ(first.at("SampleHour"), "-1.00");
    EXPECT_EQ(first.at("Param_X"), "1.50");
    EXPECT_EQ(first.at("Param_X1"), "0.00");  // each column of the shared name has its own value
    EXPECT_EQ(first.at("CurrentNam"), "Cais do Sodré");
    EXPECT_EQ(first.at("SampleDate"), "2023/01/02");
    EXPECT_EQ(layer.features[0].geometry, "POINT (-9.1 38.71)");
    const auto& second = layer.features[1].values;
    EXPECT_EQ(second.at("Param_X"), "0.00");
    EXPECT_EQ(second.at("Param_X1"), "-2.25");
    EXPECT_EQ(second.at("CurrentNam"), std::string(49, 'a'));  // the é did not fit whole
    EXPECT_EQ(second.at("SampleDate"), "2023/12/31");
    EXPECT_EQ(layer.features[2].geometry, "POINT (-9.05 38.6)");  // same place, its own record
    EXPECT_EQ(layer.features[2].values.at("SampleDate"), "1900/02/28");
}

TEST(ShapeFiles, HeadersAndIndexMatchTheRecords) {
    TempFolder folder;
    std::vector<Row> rows;
    for (int i = 0; i < 1000; ++i)
        rows.push_back({-9.3 + i * 0.001, 38.6 + i * 0.0002, 8, i * 0.25, 0, "TJ", {2023, 1, 2}});
    writeSample(folder / "Tejo.shp", rows);

    EXPECT_EQ(std::filesystem::file_size(folder / "Tejo.shp"), 100u + 28u * 1000u);
    EXPECT_EQ(std::filesystem::file_size(folder / "Tejo.shx"), 100u + 8u * 1000u);
    const std::size_t recordLength = 1 + 5 + 7 + 7 + 50 + 8;
    const std::size_t headerLength = 32 + 32 * 5 + 1;
    EXPECT_EQ(std::filesystem::file_size(folder / "Tejo.dbf"), headerLength + 1000 * recordLength + 1);

    SHPHandle shp = SHPOpen((folder / "Tejo.shp").c_str(), "rb");
    ASSERT_NE(shp, nullptr);
    int entities = 0, type = 0;
    double low[4], high[4];
    SHPGetInfo(shp, &entities, &type, low, high);
    EXPECT_EQ(entities, 1000);  // from the .shx
    EXPECT_EQ(type, SHPT_POINT);
    EXPECT_DOUBLE_EQ(low[0], -9.3);
    EXPECT_DOUBLE_EQ(high[0], -9.3 + 999 * 0.001);
    EXPECT_DOUBLE_EQ(low[1], 38.6);
    EXPECT_DOUBLE_EQ(high[1], 38.6 + 999 * 0.0002);
    SHPObject* last = SHPReadObject(shp, 999);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->nVertices, 1);
    EXPECT_DOUBLE_EQ(last->padfX[0], -9.3 + 999 * 0.001);
    SHPDestroyObject(last);
    SHPClose(shp);

    DBFHandle dbf = DBFOpen((folder / "Tejo.dbf").c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    EXPECT_EQ(DBFGetRecordCount(dbf), 1000);
    EXPECT_EQ(DBFGetFieldCount(dbf), 5);
    EXPECT_EQ(dbf->nHeaderLength, static_cast<int>(headerLength));
    EXPECT_EQ(dbf->nRecordLength, static_cast<int>(recordLength));
    EXPECT_DOUBLE_EQ(DBFReadDoubleAttribute(dbf, 999, 1), 999 * 0.25);
    EXPECT_STREQ(DBFGetCodePage(dbf), "UTF-8");
    DBFClose(dbf);
}

TEST(ShapeFiles, AShapefileWithoutRecordsHasItsColumns) {
    TempFolder folder;
    writeSample(folder / "Empty.shp", {});
    auto layer = readWithOgrinfo(folder / "Empty.shp");
    EXPECT_EQ(layer.featureCount, 0);
    EXPECT_EQ(layer.fields.size(), 5u);
    EXPECT_EQ(std::filesystem::file_size(folder / "Empty.shp"), 100u);
}

TEST(ShapeFiles, ReplacesAnExistingShapefileOnlyWhenComplete) {
    TempFolder folder;
    writeSample(folder / "Tejo.shp", {{1, 2, 3, 4, 5, "old", {2020, 1, 1}}});
    const std::string oldDbf = readFile(folder / "Tejo.dbf");

    // A value that cannot be written exactly stops the run in the third record.
    EXPECT_THROW(writeSample(folder / "Tejo.shp", {{1, 2, 3, 4, 5, "new", {2021, 1, 1}},
                                                   {1, 2, 3, 4, 5, "new", {2021, 1, 1}},
                                                   {1, 2, 3, 0.125, 5, "new", {2021, 1, 1}}}),
                 ShapeFileError);
    EXPECT_EQ(readFile(folder / "Tejo.dbf"), oldDbf);
    EXPECT_EQ(folderEntries(folder.path()),
              (std::set<std::string>{"Tejo.cpg", "Tejo.dbf", "Tejo.shp", "Tejo.shx"}));

    writeSample(folder / "Tejo.shp", {{1, 2, 3, 4, 5, "new", {2021, 1, 1}}, {1, 2, 3, 4, 5, "new", {2021, 1, 1}}});
    EXPECT_EQ(readWithOgrinfo(folder / "Tejo.shp").featureCount, 2);
    EXPECT_EQ(folderEntries(folder.path()).size(), 4u);
}

TEST(ShapeFiles, ReportsValuesItCannotWriteWithColumnAndRow) {
    TempFolder folder;
    ShapeFiles files;
    files.OpenNewShapeFile(folder / "Tejo.shp");
    FieldList& fields = files.fieldList();
    fields.AddField("Param_T", kNumericField, 5, 2);
    fields.AddField("SampleDate", kDateField, 0, 0);
    files.WriteFieldLayout();
    files.pointList().AddPoint(1, 2);
    files.WriteRecord();
    const std::string where = "' of the shapefile '" + (folder / "Tejo.shp") + "' ";
    EXPECT_EQ(errorOf([&] { fields.FieldByName("Param_T").SetFieldValue(123.45); }),
              "The column 'Param_T" + where +
                  "cannot hold the value 123.45 exactly in 5 characters with 2 decimals (row 2)");
    EXPECT_EQ(errorOf([&] { fields.FieldByName("Param_T").SetFieldValue(std::string_view("x")); }),
              "The column 'Param_T" + where + "holds numbers, not texts (row 2)");
    EXPECT_EQ(errorOf([&] { fields.FieldByName("SampleDate").SetFieldValue(CalendarDate{10000, 1, 1}); }),
              "The column 'SampleDate" + where +
                  "cannot hold the date 10000-01-01: dates run from the year 1 to the year 9999 (row 2)");
    EXPECT_EQ(errorOf([&] { fields.FieldByName("Tide"); }),
              "The shapefile '" + (folder / "Tejo.shp") + "' has no column 'Tide'");
    EXPECT_EQ(errorOf([&] { files.pointList().AddPoint(std::nan(""), 1); }),
              "The point of row 2 (nan, 1) cannot be written to the shapefile '" + (folder / "Tejo.shp") +
                  "': its coordinates must be finite numbers");
}

TEST(ShapeFiles, RefusesMoreRecordsThanTheFormatHolds) {
    TempFolder folder;
    ShapeFiles files;
    files.OpenNewShapeFile(folder / "Big.shp");
    for (int i = 0; i < 10; ++i) files.fieldList().AddField("Text" + std::to_string(i), kTextField, 200, 0);
    files.WriteFieldLayout();
    EXPECT_NO_THROW(files.ReserveRecords(1000000));
    // 2001 bytes a record: 1,100,000 records need 2.2 GB.
    EXPECT_EQ(errorOf([&] { files.ReserveRecords(1100000); }),
              "The attribute table '" + (folder / "Big") +
                  ".dbf' would take 2201100354 bytes for 1100000 records of 2001 bytes, more than "
                  "the 2147483647 bytes (2 GB) that a shapefile's file may hold");
}

TEST(ShapeFiles, ChecksTheFolderBeforeWriting) {
    TempFolder folder;
    testing::writeFile(folder / "plain", "");
    std::filesystem::create_directory(folder / "Taken.dbf");
    auto openError = [](const std::string& path) {
        return errorOf([&] { ShapeFiles().OpenNewShapeFile(path); });
    };
    EXPECT_EQ(openError(folder / "missing/Tejo.shp"),
              "The folder '" + (folder / "missing") + "' does not exist");
    EXPECT_EQ(openError(folder / "plain/Tejo.shp"), "The folder '" + (folder / "plain") + "' does not exist");
    EXPECT_EQ(openError(folder / "Taken.shp"),
              "'" + (folder / "Taken.dbf") + "' is a folder, so the shapefile cannot take its name");
    // A doubled separator is passed on as it is, and works.
    EXPECT_EQ(openError(folder.path() + "//Tejo.shp"), "(no error)");
    EXPECT_EQ(folderEntries(folder.path()), (std::set<std::string>{"plain", "Taken.dbf"}));
}

// Runs `body` in a child process and returns its exit status; the child reports a failed
// expectation through its status.
int inChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(ShapeFiles, AFolderThatCannotBeWrittenToIsReported) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "locked");
    ::chmod(folder.path().c_str(), 0755);
    ::chmod((folder / "locked").c_str(), 0555);
    const std::string expected =
        "The folder '" + (folder / "locked") + "' cannot be written to: Permission denied";
    int status = inChild([&] {
        // Root writes anywhere: the check runs as an ordinary user.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 2;
        return errorOf([&] { ShapeFiles().OpenNewShapeFile(folder / "locked/Tejo.shp"); }) == expected ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(folderEntries(folder / "locked").empty());
}

TEST(ShapeFiles, AFileSizeLimitFailsTheRunAndLeavesTheOldFiles) {
    TempFolder folder;
    writeSample(folder / "Tejo.shp", {{1, 2, 3, 4, 5, "old", {2020, 1, 1}}});
    const std::string oldShp = readFile(folder / "Tejo.shp");
    const std::string expected = "The file '" + (folder / "Tejo.dbf") + "' could not be written: File too large";
    int status = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<Row> rows(20000, Row{1, 2, 3, 4, 5, "new", {2021, 1, 1}});
        return errorOf([&] { writeSample(folder / "Tejo.shp", rows); }) == expected ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(folder / "Tejo.shp"), oldShp);
    EXPECT_EQ(folderEntries(folder.path()),
              (std::set<std::string>{"Tejo.cpg", "Tejo.dbf", "Tejo.shp", "Tejo.shx"}));
}

}  // namespace
}  // namespace pontrel::shapefile
