// The shapefile component: field formats and names, files read back by ogrinfo and shapelib, and
// what is left on disk when writing fails.

#include <gtest/gtest.h>

#include <shapefil.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>

#include "ErrorOf.h"
#include "TestSupport.h"
#include "shapefile/ShapeFileError.h"
#include "shapefile/ShapeFiles.h"

namespace pontrel::shapefile {
namespace {

using testing::folderEntries;
using testing::readFile;
using testing::TempFolder;

template <typename Action>
std::string errorOf(Action&& action) {
    return pontrel::testing::errorOf<ShapeFileError>(action);
}

TEST(DbfFieldNames, ShortensDeterministicallyAndKeepsNamesUnique) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"SampleHour", "CurrentName", "TidalSituation"}, {"SampleHour", "CurrentNam", "TidalSitua"}},
        {{"Param_T", "Param_T", "Param_T"}, {"Param_T", "Param_T1", "Param_T2"}},
        {{"Param_SECCHI", "Param_SECCHI2"}, {"Param_SECC", "Param_SEC1"}},
        {{"Name", "NAME", "name"}, {"Name", "NAME1", "name2"}},  // readers ignore case
        {{"Param_T1", "Param_T", "Param_T"}, {"Param_T1", "Param_T", "Param_T2"}},
        {{"Param_ÇÇÇ", "Param_aÇÇ"}, {"Param_ÇÇ", "Param_aÇ"}},  // never half a character
        {{"", ""}, {"Field", "Field1"}},
        {std::vector<std::string>(11, "Param_LONGCODE"),
         {"Param_LONG", "Param_LON1", "Param_LON2", "Param_LON3", "Param_LON4", "Param_LON5",
          "Param_LON6", "Param_LON7", "Param_LON8", "Param_LON9", "Param_LO10"}},
    };
    for (const auto& [given, expected] : cases) {
        DbfFieldNames names;
        std::vector<std::string> got;
        for (const std::string& name : given) got.push_back(names.assign(name));
        EXPECT_EQ(got, expected);
    }
}

TEST(FieldFormats, NumbersAreExactOrRefusedAndTextsCutOnCharacters) {
    const std::vector<std::tuple<double, NumericLayout, std::string>> numbers = {
        {12.5, {6, 2}, " 12.50"},
        {-0.5, {5, 2}, "-0.50"},
        {-0.0, {4, 2}, "0.00"},
        {0, {6, 2}, "  0.00"},  // zeros, most cells of a Day-mode table, in every layout
        {0, {1, 0}, "0"},
        {0, {5, 1}, "  0.0"},
        {0, {6, 4}, "0.0000"},
        {0, {3, 2}, ""},  // "0.00" does not fit
        {42, {2, 0}, "42"},
        {0.125, {6, 3}, " 0.125"},
        {1e20, {24, 2}, "100000000000000000000.00"},
        {0.125, {6, 2}, ""},      // refused: a third decimal would be lost
        {0.1 + 0.2, {6, 2}, ""},  // 0.30000000000000004 is not 0.30
        {123.45, {5, 2}, ""},     // too wide: never a shortened number
        {INFINITY, {20, 2}, ""},
    };
    for (const auto& [value, layout, expected] : numbers) {
        char out[64];
        bool written = formatNumeric(value, layout, out);
        EXPECT_EQ(written ? std::string(out, static_cast<std::size_t>(layout.width)) : "", expected);
    }

    NumericColumnSizer sizer("Param_T");
    for (double value : {-1.0, 14.25, 0.125, 1234.0}) sizer.add(value, 1);
    EXPECT_EQ(sizer.layout().width, 8);  // "1234.000", "-1.000"
    EXPECT_EQ(sizer.layout().decimals, 3);
    NumericColumnSizer zeros("Param_X");
    for (double value : {0.0, -0.0, 0.0}) zeros.add(value, 1);
    EXPECT_EQ(zeros.layout().width, 4);  // "0.00": a column of zeros is as narrow as any
    EXPECT_EQ(zeros.layout().decimals, 2);

    const std::vector<std::tuple<std::string, std::size_t, std::string>> texts = {
        {"abc", 5, "abc"}, {"abcdef", 3, "abc"}, {"aé", 2, "a"}, {"€uro", 2, ""},
        {"x😀", 4, "x"},   {"\x80\x80\x80\x80\x80", 2, "\x80\x80"},  // not UTF-8: cut at the width
    };
    for (const auto& [text, bytes, expected] : texts) EXPECT_EQ(utf8Prefix(text, bytes), expected);
}

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

const std::set<std::string> kTejoSet = {"Tejo.cpg", "Tejo.dbf", "Tejo.shp", "Tejo.shx"};

TEST(ShapeFiles, WritesAPointShapefileThatGdalReads) {
    TempFolder folder;
    const std::string longText = std::string(49, 'a') + "é tail";  // é straddles byte 50
    writeSample(folder.file("Tejo.shp"), {{-9.1, 38.71, -1, 1.5, 0, "Cais do Sodré", {2023, 1, 2}},
                                      {-9.05, 38.6, 14.25, 0, -2.25, longText, {1900, 2, 28}}});
    EXPECT_EQ(folderEntries(folder.path()), kTejoSet);
    EXPECT_EQ(readFile(folder.file("Tejo.cpg")), "UTF-8");

    auto layer = testing::readWithOgrinfo(folder.file("Tejo.shp"));
    EXPECT_EQ(layer.geometry, "Point");
    EXPECT_EQ(layer.featureCount, 2);
    EXPECT_EQ(layer.fields, (std::vector<testing::OgrField>{{"SampleHour", "Real", 5, 2},
                                                            {"Param_X", "Real", 7, 2},
                                                            {"Param_X1", "Real", 7, 2},
                                                            {"CurrentNam", "String", 50, 0},
                                                            {"SampleDate", "Date", 10, 0}}));
    ASSERT_EQ(layer.features.size(), 2u);
    // Each column of the shared name holds its own value.
    EXPECT_EQ(layer.features[0].values,
              (std::map<std::string, std::string>{{"SampleHour", "-1.00"}, {"Param_X", "1.50"},
                                                  {"Param_X1", "0.00"}, {"CurrentNam", "Cais do Sodré"},
                                                  {"SampleDate", "2023/01/02"}}));
    EXPECT_EQ(layer.features[0].geometry, "POINT (-9.1 38.71)");
    EXPECT_EQ(layer.features[1].values.at("Param_X1"), "-2.25");
    EXPECT_EQ(layer.features[1].values.at("CurrentNam"), std::string(49, 'a'));  // é did not fit
    EXPECT_EQ(layer.features[1].values.at("SampleDate"), "1900/02/28");
}

TEST(ShapeFiles, HeadersAndIndexMatchTheRecords) {
    TempFolder folder;
    std::vector<Row> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back({-9.3 + i * 0.001, 38.6 + i * 0.0002, 8, i * 0.25, 0, "TJ", {2023, 1, 2}});
    writeSample(folder.file("Tejo.shp"), rows);
    const std::size_t recordLength = 1 + 5 + 7 + 7 + 50 + 8, headerLength = 32 + 32 * 5 + 1;
    EXPECT_EQ(std::filesystem::file_size(folder.file("Tejo.shp")), 100u + 28u * 1000u);
    EXPECT_EQ(std::filesystem::file_size(folder.file("Tejo.shx")), 100u + 8u * 1000u);
    EXPECT_EQ(std::filesystem::file_size(folder.file("Tejo.dbf")), headerLength + 1000 * recordLength + 1);

    SHPHandle shp = SHPOpen((folder.file("Tejo.shp")).c_str(), "rb");
    ASSERT_NE(shp, nullptr);
    int entities = 0, type = 0;
    double low[4], high[4];
    SHPGetInfo(shp, &entities, &type, low, high);
    EXPECT_EQ(entities, 1000);  // counted from the .shx
    EXPECT_EQ(type, SHPT_POINT);
    EXPECT_EQ((std::vector<double>{low[0], low[1], high[0], high[1]}),
              (std::vector<double>{-9.3, 38.6, -9.3 + 999 * 0.001, 38.6 + 999 * 0.0002}));
    SHPObject* last = SHPReadObject(shp, 999);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->padfX[0], -9.3 + 999 * 0.001);
    SHPDestroyObject(last);
    SHPClose(shp);

    DBFHandle dbf = DBFOpen((folder.file("Tejo.dbf")).c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    EXPECT_EQ(DBFGetRecordCount(dbf), 1000);
    EXPECT_EQ(dbf->nHeaderLength, static_cast<int>(headerLength));
    EXPECT_EQ(dbf->nRecordLength, static_cast<int>(recordLength));
    EXPECT_EQ(DBFReadDoubleAttribute(dbf, 999, 1), 999 * 0.25);
    DBFClose(dbf);
}

TEST(ShapeFiles, ReplacesAnExistingShapefileOnlyWhenComplete) {
    TempFolder folder;
    writeSample(folder.file("Tejo.shp"), {{1, 2, 3, 4, 5, "old", {2020, 1, 1}}});
    const std::string oldDbf = readFile(folder.file("Tejo.dbf"));
    std::vector<Row> rows(3, Row{1, 2, 3, 4, 5, "new", {2021, 1, 1}});
    rows[2].first = 0.125;  // cannot be written with 2 decimals: the third record fails
    EXPECT_EQ(errorOf([&] { writeSample(folder.file("Tejo.shp"), rows); }),
              "The column 'Param_X' of the shapefile '" + (folder.file("Tejo.shp")) +
                  "' cannot hold the value 0.125 exactly in 7 characters with 2 decimals (row 3)");
    EXPECT_EQ(readFile(folder.file("Tejo.dbf")), oldDbf);
    EXPECT_EQ(folderEntries(folder.path()), kTejoSet);  // no temporary file left

    // A successful replacement drops the old set's spatial indexes, which no longer match, and
    // keeps a projection file the user put there.
    rows.pop_back();
    testing::writeFile(folder.file("Tejo.qix"), "stale index");
    testing::writeFile(folder.file("Tejo.sbn"), "stale index");
    testing::writeFile(folder.file("Tejo.prj"), "GEOGCS[...]");
    writeSample(folder.file("Tejo.shp"), rows);
    EXPECT_EQ(testing::readWithOgrinfo(folder.file("Tejo.shp")).featureCount, 2);
    std::set<std::string> expected = kTejoSet;
    expected.insert("Tejo.prj");
    EXPECT_EQ(folderEntries(folder.path()), expected);
}

TEST(ShapeFiles, ReportsWhatItCannotWrite) {
    TempFolder folder;
    ShapeFiles files;
    files.OpenNewShapeFile(folder.file("Tejo.shp"));
    FieldList& fields = files.fieldList();
    fields.AddField("Param_T", kNumericField, 5, 2);
    fields.AddField("SampleDate", kDateField, 0, 0);
    for (int i = 0; i < 8; ++i) fields.AddField("Text" + std::to_string(i), kTextField, 250, 0);
    files.WriteFieldLayout();
    const std::string shp = folder.file("Tejo.shp"), where = "' of the shapefile '" + shp + "' ";
    EXPECT_EQ(errorOf([&] { fields.FieldByName("Param_T").SetFieldValue(std::string_view("x")); }),
              "The column 'Param_T" + where + "holds numbers, not texts (row 1)");
    EXPECT_EQ(errorOf([&] { fields.FieldByName("SampleDate").SetFieldValue(CalendarDate{10000, 1, 1}); }),
              "The column 'SampleDate" + where +
                  "cannot hold the date 10000-01-01: dates run from the year 1 to the year 9999 (row 1)");
    EXPECT_EQ(errorOf([&] { fields.FieldByName("Tide"); }), "The shapefile '" + shp + "' has no column 'Tide'");
    EXPECT_EQ(errorOf([&] { files.pointList().AddPoint(NAN, 1); }),
              "The point of row 1 (nan, 1) cannot be written to the shapefile '" + shp +
                  "': its coordinates must be finite numbers");
    // Records of 2014 bytes: 1,000,000 fit in 2 GB, 1,100,000 do not.
    EXPECT_EQ(errorOf([&] { files.ReserveRecords(1000000); }), "(no error)");
    EXPECT_EQ(errorOf([&] { files.ReserveRecords(1100000); }),
              "The attribute table '" + (folder.file("Tejo")) +
                  ".dbf' would take 2215400354 bytes for 1100000 records of 2014 bytes, more than "
                  "the 2147483647 bytes (2 GB) that a shapefile's file may hold");
}

TEST(ShapeFiles, ChecksTheFolderBeforeWriting) {
    TempFolder folder;
    testing::writeFile(folder.file("plain"), "");
    std::filesystem::create_directory(folder.file("Taken.dbf"));
    std::filesystem::create_directory(folder.file("locked"));
    ::chmod(folder.path().c_str(), 0755);
    ::chmod((folder.file("locked")).c_str(), 0555);
    auto openError = [](const std::string& path) { return errorOf([&] { ShapeFiles().OpenNewShapeFile(path); }); };
    EXPECT_EQ(openError(folder.file("missing/Tejo.shp")), "The folder '" + (folder.file("missing")) + "' does not exist");
    EXPECT_EQ(openError(folder.file("plain/Tejo.shp")), "'" + (folder.file("plain")) + "' is not a folder");
    EXPECT_EQ(openError(folder.file("Taken.shp")),
              "'" + (folder.file("Taken.dbf")) + "' is a folder, so the shapefile cannot take its name");
    EXPECT_EQ(openError(folder.path() + "//Tejo.shp"), "(no error)");  // a doubled separator works

    // Root writes anywhere, so the unwritable folder is tried by an ordinary user in a child.
    const std::string expected = "The folder '" + (folder.file("locked")) + "' cannot be written to: Permission denied";
    pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(openError(folder.file("locked/Tejo.shp")) == expected ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(folderEntries(folder.path()), (std::set<std::string>{"plain", "Taken.dbf", "locked"}));
}

}  // namespace
}  // namespace pontrel::shapefile
