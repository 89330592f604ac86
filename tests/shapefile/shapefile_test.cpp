// The shapefile component: field formats and names, files read back by ogrinfo and shapelib, and
// what is left on disk when writing fails.

#include <gtest/gtest.h>

#include <shapefil.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <functional>

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

    // Every column leaves room for a sign and nine digits before the point, and grows past that
    // for the values that need more.
    const std::vector<std::tuple<std::vector<double>, int, int>> columns = {
        {{-1.0, 14.25, 0.125, 1234.0}, 14, 3},  // "         1.000": the decimals the values need
        {{0.0, -0.0, 0.0}, 13, 2},              // a column of zeros is as narrow as any
        {{-12345678901.5, 7.0}, 15, 2},         // "-12345678901.50"
    };
    for (const auto& [values, width, decimals] : columns) {
        SCOPED_TRACE(numberText(values.front()));
        NumericColumnSizer sizer("Param_T");
        for (double value : values) sizer.add(value, 1);
        EXPECT_EQ(sizer.layout().width, width);
        EXPECT_EQ(sizer.layout().decimals, decimals);
    }

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

// ---- many records at once, formatted on several threads

// A table whose cells repeat in runs, change from one row to the next, and are sometimes null,
// so that copied runs, kept values and block edges all meet changes.
struct WideRow {
    double x, y;
    double numbers[4];
    bool null;  // the last number
    std::size_t text;
    CalendarDate date;
};

const char* const kWideTexts[] = {"Seixal", "Cais do Sodré e Belém", "TJ01"};  // the second is cut

WideRow wideRow(std::size_t i) {
    WideRow row{};
    row.x = -9.3 + static_cast<double>(i % 13) * 0.01;
    row.y = 38.6 + static_cast<double>(i % 11) * 0.01;
    row.numbers[0] = (i / 4) % 3 == 0 ? 9.5 : 14;
    row.numbers[1] = i % 5 < 3 ? 0 : static_cast<double>(i % 9) * 0.25;
    row.numbers[2] = i % 6 == 0 ? -1.5 : 0;
    row.numbers[3] = static_cast<double>((i / 3) % 4) * 1.5;
    row.null = i % 7 == 3;
    row.text = (i / 2) % 3;
    row.date = {2023, 1, 2 + static_cast<int>((i / 5) % 3)};
    return row;
}

// Opens the set with the layout the wide rows need; two numeric columns share a name.
void openWide(ShapeFiles& files, const std::string& shp) {
    files.OpenNewShapeFile(shp);
    FieldList& fields = files.fieldList();
    fields.AddField("SampleHour", kNumericField, 5, 2);
    fields.AddField("Param_X", kNumericField, 7, 2);
    fields.AddField("Param_X", kNumericField, 7, 2);
    fields.AddField("Param_Y", kNumericField, 6, 1);
    fields.AddField("Name", kTextField, 12, 0);
    fields.AddField("SampleDate", kDateField, 0, 0);
    files.WriteFieldLayout();
}

// Writes `count` wide rows record by record, the way the component has always been used.
void writeWideOneByOne(const std::string& shp, std::size_t count) {
    ShapeFiles files;
    openWide(files, shp);
    FieldList& fields = files.fieldList();
    const char* names[] = {"SampleHour", "Param_X", "Param_X", "Param_Y"};
    for (std::size_t i = 0; i < count; ++i) {
        const WideRow row = wideRow(i);
        files.pointList().AddPoint(row.x, row.y);
        for (int k = 0; k < 4; ++k) {
            if (k == 3 && row.null)
                fields.FieldByName(names[k]).SetFieldNull();
            else
                fields.FieldByName(names[k]).SetFieldValue(row.numbers[k]);
        }
        fields.FieldByName("Name").SetFieldValue(std::string_view(kWideTexts[row.text]));
        fields.FieldByName("SampleDate").SetFieldValue(row.date);
        files.WriteRecord();
    }
    files.close();
}

void fillWide(Record& record, const WideRow& row) {
    record.setPoint(row.x, row.y);
    const std::uint8_t nulls[4] = {0, 0, 0, row.null ? std::uint8_t{1} : std::uint8_t{0}};
    record.setNumbers(0, row.numbers, nulls, 4);
    if (!record.repeat(4, row.text)) record.setText(4, kWideTexts[row.text], row.text);
    const auto dateKey = static_cast<std::uint64_t>(row.date.day);
    if (!record.repeat(5, dateKey)) record.setDate(5, row.date, dateKey);
}

TEST(ShapeFiles, WriteRecordsWritesTheSameFilesAsOneRecordAtATime) {
    struct Case {
        std::size_t rows, blockRecords;
        unsigned threads;
    };
    const Case cases[] = {
        {0, 3, 2},   {1, 3, 2},   {2, 3, 2},     {7, 3, 2},  // blocks of 3, 3 and 1
        {7, 7, 2},   {100, 7, 3}, {100, 1, 2},   // a block per record: never a record above
        {101, 10, 1}, {1000, 0, 0},              // one thread; the component's own choice
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + " rows, blocks of " + std::to_string(c.blockRecords) +
                     ", " + std::to_string(c.threads) + " threads");
        TempFolder folder;
        writeWideOneByOne(folder.file("One.shp"), c.rows);

        ShapeFiles files;
        openWide(files, folder.file("Many.shp"));
        files.SetParallelism(c.blockRecords, c.threads);
        std::vector<std::size_t> written;
        files.WriteRecords(
            c.rows, [](Record& record) { fillWide(record, wideRow(record.row() - 1)); },
            [&](std::size_t count) { written.push_back(count); });
        files.close();

        std::vector<std::size_t> expected(c.rows);
        for (std::size_t i = 0; i < c.rows; ++i) expected[i] = i + 1;
        EXPECT_EQ(written, expected);
        for (const char* ext : {".shp", ".shx", ".dbf"})
            EXPECT_TRUE(readFile(folder.file(std::string("One") + ext)) == readFile(folder.file(std::string("Many") + ext)))
                << ext << " differs";
    }

    // And an independent reader sees the rows, nulls and cut texts where they belong.
    TempFolder folder;
    ShapeFiles files;
    openWide(files, folder.file("Tejo.shp"));
    files.SetParallelism(3, 2);
    files.WriteRecords(8, [](Record& record) { fillWide(record, wideRow(record.row() - 1)); }, [](std::size_t) {});
    files.close();
    auto layer = testing::readWithOgrinfo(folder.file("Tejo.shp"));
    ASSERT_EQ(layer.features.size(), 8u);
    const std::vector<std::string> row3 = {"9.50", "0.75", "0.00", "(null)", "Cais do Sodr", "2023/01/02"};
    const std::vector<std::string> row7 = {"14.00", "0.00", "-1.50", "3.0", "Seixal", "2023/01/03"};
    for (const auto& [index, expected] : {std::pair{3, row3}, std::pair{6, row7}}) {
        const auto& values = layer.features[static_cast<std::size_t>(index)].values;
        EXPECT_EQ((std::vector<std::string>{values.at("SampleHour"), values.at("Param_X"), values.at("Param_X1"),
                                            values.at("Param_Y"), values.at("Name"), values.at("SampleDate")}),
                  expected);
    }
    EXPECT_EQ(layer.features[7].geometry, "POINT (-9.23 38.67)");
}

TEST(ShapeFiles, WriteRecordsStopsAtTheFirstFailingRecordAndLeavesNothing) {
    TempFolder folder;
    const std::string shp = folder.file("Tejo.shp");
    writeSample(shp, {{1, 2, 3, 4, 5, "old", {2020, 1, 1}}});
    const std::string oldDbf = readFile(folder.file("Tejo.dbf"));
    const std::string where = "' of the shapefile '" + shp + "' ";

    struct Case {
        std::size_t failingRow;  // its records before it are reported written
        std::function<void(Record&)> spoil;
        std::string message;
    };
    const Case cases[] = {
        {5, [](Record& r) { r.setNumbers(1, std::array{0.125}.data(), nullptr, 1); },
         "The column 'Param_X" + where + "cannot hold the value 0.125 exactly in 7 characters with 2 decimals (row 5)"},
        {7, [](Record& r) { r.setPoint(NAN, 1); },  // the first record of the third block
         "The point of row 7 (nan, 1) cannot be written to the shapefile '" + shp +
             "': its coordinates must be finite numbers"},
        {1, [](Record& r) { r.setDate(5, {10000, 1, 1}, 99); },
         "The column 'SampleDate" + where + "cannot hold the date 10000-01-01: dates run from the year 1 to the year 9999 (row 1)"},
        {11, [](Record&) { throw std::runtime_error("the caller gave up"); }, "the caller gave up"},
        {6, [](Record& r) { r.setText(0, "x", 1); }, "The column 'SampleHour" + where + "holds numbers, not texts (row 6)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::size_t> written;
        std::string error = "(no error)";
        try {
            ShapeFiles files;
            openWide(files, shp);
            files.SetParallelism(3, 2);
            files.WriteRecords(
                11,
                [&](Record& record) {
                    fillWide(record, wideRow(record.row() - 1));
                    if (record.row() == c.failingRow) c.spoil(record);
                },
                [&](std::size_t count) { written.push_back(count); });
            files.close();
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(written.size(), c.failingRow - 1);
        EXPECT_EQ(readFile(folder.file("Tejo.dbf")), oldDbf);
        EXPECT_EQ(folderEntries(folder.path()), kTejoSet);
    }

    // A record without a point, and a failure while the records are reported, stop it as well.
    std::vector<std::size_t> written;
    EXPECT_EQ(errorOf([&] {
                  ShapeFiles files;
                  openWide(files, shp);
                  files.SetParallelism(2, 3);
                  files.WriteRecords(
                      9,
                      [](Record& record) {
                          if (record.row() != 3) fillWide(record, wideRow(record.row() - 1));
                      },
                      [](std::size_t) {});
              }),
              "Row 3 of the shapefile '" + shp + "' has no point");
    EXPECT_EQ(errorOf([&] {
                  ShapeFiles files;
                  openWide(files, shp);
                  files.SetParallelism(2, 2);
                  files.WriteRecords(
                      500, [](Record& record) { fillWide(record, wideRow(record.row() - 1)); },
                      [&](std::size_t count) {
                          written.push_back(count);
                          if (count == 4) throw ShapeFileError("the window was closed");
                      });
              }),
              "the window was closed");
    EXPECT_EQ(written, (std::vector<std::size_t>{1, 2, 3, 4}));
    EXPECT_EQ(folderEntries(folder.path()), kTejoSet);
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
