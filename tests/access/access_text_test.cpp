// Texts and dates of Access files beyond the common case: Access 97 texts in the code page the
// database header names (hand-made bytes per code page, and real files whose header is changed
// in a copy), and the Extended Date/Time values of Access 2016 and later.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "TestSupport.h"
#include "access/CodePageText.h"
#include "source/Connection.h"
#include "common/DayCount.h"
#include "source/HelperProcess.h"
#include "jet/JetSql.h"
#include "access/MdbFile.h"
#include "source/SourceDatabase.h"
#include "sqlite/Sqlite.h"
#include "jet/WorkingDatabase.h"

namespace fs = std::filesystem;
using namespace pontrel::data;

namespace {

const fs::path kWild = fs::path(PONTREL_SHARED_REFERENCE) / "access-wild";

using pontrel::testing::capture;

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- Access 97 code pages -------------------------------------------------------------------

struct CodePageCase {
    int codePage;
    std::string bytes;
    std::string utf8;
};

void PrintTo(const CodePageCase& c, std::ostream* out) { *out << "code page " << c.codePage; }

class CodePages : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePages, DecodeToTheirCharacters) {
    const CodePageCase& c = GetParam();
    CodePageText text(c.codePage);
    EXPECT_EQ(text.codePage(), c.codePage);
    EXPECT_EQ(text.toUtf8(c.bytes), c.utf8);
}

// Two-byte code pages include second bytes in the ASCII range (0x5C, the backslash, and 0x40):
// read as characters of their own they would break the text after them.
INSTANTIATE_TEST_SUITE_P(
    Access97, CodePages,
    ::testing::Values(CodePageCase{874, "\xCA\xC7\xD1\xCA\xB4\xD5 \x80", "สวัสดี €"},
                      CodePageCase{932, "\x93\xFA\x96\x7B\x8C\xEA \x83\x5C\x95\x5C \xB1 \\",
                                   "日本語 ソ表 ｱ \\"},
                      CodePageCase{936, "GBK\xB1\xE0\xC2\xEB \x81\x40 \x80", "GBK编码 丂 €"},
                      CodePageCase{949, "\xC7\xD1\xB1\xB9\xBE\xEE \x81\x41", "한국어 갂"},
                      CodePageCase{950, "\xA4\xA4\xA4\xE5 \xB3\x5C \xA3\xE1", "中文 許 €"},
                      CodePageCase{1250, "\xA3\xF3\x64\x9F \x8E\x9D", "Łódź Žť"},
                      CodePageCase{1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
                      CodePageCase{1252, "caf\xE9 \x80 \x81", "café € \u0081"},
                      CodePageCase{1253, "\xC5\xEB\xEB\xDC\xE4\xE1 \xA2", "Ελλάδα Ά"},
                      CodePageCase{1254, "\xDD\xF0\xFE\xD0", "İğşĞ"},
                      CodePageCase{1255, "\xF9\xEC\xE5\xED \xA4", "שלום ₪"},
                      CodePageCase{1256, "\xE3\xCD\xE3\xCF", "محمد"},
                      CodePageCase{1257, "\xC0\xFE\xFBol\xEB", "Ąžūolė"},
                      // The accent after a letter joins it: ê and a dot below read as one ệ.
                      CodePageCase{1258, "\xF0\xFD\xFE Vi\xEA\xF2t", "đư₫ Việt"}),
    [](const ::testing::TestParamInfo<CodePageCase>& info) {
        return "cp" + std::to_string(info.param.codePage);
    });

TEST(CodePageText, BytesThatStartNoCharacterAreMarkedAndTheRestIsRead) {
    struct Case {
        int codePage;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {932, "a\x93", "a\uFFFD"},          // a lead byte cut off at the end
        {932, "a\x81 b", "a\uFFFD b"},      // a lead byte followed by no second byte
        {936, "\xFF\xB1\xE0", "\uFFFD编"},  // a byte no character starts with, then a character
        {874, "\xDB\x61", "\uFFFDa"},       // unassigned in Thai
        {1258, "a\x81\x62", "a\uFFFDb"},    // the letter held back for an accent stays first
        {1256, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        EXPECT_EQ(CodePageText(c.codePage).toUtf8(c.bytes), c.utf8);
    }
}

TEST(CodePageText, CodePagesThatCannotBeReadFallBackOnWindows1252) {
    for (int codePage : {0, -1, 1, 9999, 70000}) {
        SCOPED_TRACE(codePage);
        CodePageText text(codePage);
        EXPECT_EQ(text.codePage(), 1252);
        EXPECT_EQ(text.toUtf8("\xE3\xCD\xE3\xCF \x80"), "ãÍãÏ €");
    }
}

// A copy of a real Access 97 file with the code page in its header changed. The header page is
// scrambled with RC4 from offset 0x18 on; XOR-ing the old value out and the new one in needs no
// key.
class Access97Copy : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kWild / "ucanaccess-charsetGBK.mdb"))
            GTEST_SKIP() << "no reference files in " << kWild;
        original_ = bytesOf(kWild / "ucanaccess-charsetGBK.mdb");
    }
    // Writes the copy with `codePage` in the header and each (from, to) replacement made wherever
    // `from` occurs (same length, so nothing moves); returns its path.
    std::string copyWith(
        int codePage, const std::vector<std::pair<std::string, std::string>>& replacements = {}) {
        std::string bytes = original_;
        const int stored = 1252;
        bytes[0x3C] = static_cast<char>(bytes[0x3C] ^ (stored & 0xFF) ^ (codePage & 0xFF));
        bytes[0x3D] = static_cast<char>(bytes[0x3D] ^ (stored >> 8) ^ (codePage >> 8));
        for (const auto& [from, to] : replacements) {
            EXPECT_EQ(from.size(), to.size());
            int found = 0;
            for (std::size_t at = bytes.find(from); at != std::string::npos;
                 at = bytes.find(from, at + 1), ++found)
                bytes.replace(at, to.size(), to);
            EXPECT_GT(found, 0) << "the file no longer holds " << from;
        }
        std::string path = folder_.path() + "/cp" + std::to_string(codePage) + ".mdb";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::vector<std::string> rowsOf(const std::string& path, const std::string& table) {
        auto source = openSourceDatabase(path);
        WorkingDatabase work;
        EXPECT_TRUE(source->load(table, work));
        std::vector<std::string> rows;
        SqliteStatement select = work.sql().prepare("SELECT * FROM " + sqlName(table));
        std::string header;
        for (int c = 0; c < select.columnCount(); ++c)
            header += (c ? "," : "") + select.columnName(c);
        rows.push_back(header);
        while (select.step())
            rows.push_back(std::to_string(select.columnInt(0)) + ",\"" +
                           std::string(select.columnText(1)) + "\"");
        return rows;
    }
    static std::vector<std::string> mdbExport(const std::string& path, const std::string& table) {
        std::vector<std::string> rows;
        std::string text = capture("mdb-export '" + path + "' '" + table + "'");
        for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            rows.push_back(text.substr(start, end - start));
        }
        return rows;
    }
    std::string original_;
    ScratchFolder folder_;
};

TEST_F(Access97Copy, TextsNamesAndTheirHeaderCodePageReadAsMdbtoolsReadsThem) {
    for (const char* name : {"ucanaccess-charsetGBK.mdb", "ucanaccess-size97.mdb"}) {
        const std::string path = (kWild / name).string();
        EXPECT_EQ(rowsOf(path, "table1"), mdbExport(path, "table1")) << name;
    }
    // Its header says 1252 while its text was written as GBK: read by the header, as mdbtools does.
    const std::string asIs = (kWild / "ucanaccess-charsetGBK.mdb").string();
    EXPECT_EQ(MdbFile(asIs).codePage(), 1252);
    EXPECT_EQ(rowsOf(asIs, "table1"), (std::vector<std::string>{"ID,field1", "2,\"GBK±àÂë\""}));
    EXPECT_EQ(rowsOf(asIs, "table1"), mdbExport(asIs, "table1"));

    // With the header naming GBK's code page the same bytes read as written.
    const std::string chinese = copyWith(936);
    EXPECT_EQ(MdbFile(chinese).codePage(), 936);
    EXPECT_EQ(rowsOf(chinese, "table1"), (std::vector<std::string>{"ID,field1", "2,\"GBK编码\""}));
    EXPECT_EQ(rowsOf(chinese, "table1"), mdbExport(chinese, "table1"));

    // Arabic in the table's name (in the catalog), its column's name (in the table definition
    // and its properties) and its text.
    const std::string arabic = copyWith(1256, {{"table1", "\xCC\xCF\xE6\xE1_1"},
                                               {"field1",
                                                "\xC7\xE1\xC7\xD3\xE3"
                                                "1"},
                                               {"GBK\xB1\xE0\xC2\xEB", "GBK\xE3\xCD\xE3\xCF"}});
    EXPECT_EQ(MdbFile(arabic).codePage(), 1256);
    auto source = openSourceDatabase(arabic);
    std::vector<std::string> tables;
    for (const CatalogEntry& entry : source->catalog())
        tables.push_back(entry.name);
    EXPECT_EQ(tables, std::vector<std::string>{"جدول_1"});
    EXPECT_EQ(rowsOf(arabic, "جدول_1"), (std::vector<std::string>{"ID,الاسم1", "2,\"GBKمحمد\""}));
    EXPECT_EQ(rowsOf(arabic, "جدول_1"), mdbExport(arabic, "جدول_1"));
    Connection connection(arabic);
    auto found = connection.execute("SELECT [الاسم1] FROM [جدول_1] WHERE [الاسم1] LIKE '*محمد'");
    ASSERT_FALSE(found->eof());
    EXPECT_EQ(found->text(0), "GBKمحمد");
}

// ---- Extended Date/Time ---------------------------------------------------------------------

std::string stored(long long days, long long ticks) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%019lld:%019lld:7", days, ticks);
    return std::string(buffer) + '\0';
}

constexpr double kSecond = 1.0 / 86400;

TEST(ExtendedDateTime, StoredTextBecomesTheDayCountWithItsFractionOfASecond) {
    struct Case {
        std::string stored;
        double days;
        const char* civil;
    };
    const Case cases[] = {
        {stored(693593, 0), 0.0, "1899-12-30"},
        {stored(693594, 432000000000), 1.5, "1899-12-31T12:00:00"},
        // Before 30 December 1899 the whole part counts back and the fraction runs forward.
        {stored(693592, 216000000000), -1.25, "1899-12-29T06:00:00"},
        {stored(577735, 432002500000), dateFromCivil({1582, 10, 15, 12, 0, 0}) - 0.25 * kSecond,
         "1582-10-15T12:00:00"},
        {stored(0, 0), -693593.0, "0001-01-01"},
        {stored(738886, 110451234560), 45293 + (3 * 3600 + 4 * 60 + 5.123456) * kSecond,
         "2024-01-02T03:04:05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        std::optional<double> days = extendedDateTime(c.stored);
        ASSERT_TRUE(days);
        EXPECT_NEAR(*days, c.days, 1e-6 * kSecond * std::max(1.0, std::fabs(c.days) / 1e4));
        EXPECT_EQ(isoDateText(*days), c.civil);
    }
    // A microsecond apart in 2024 stays apart.
    EXPECT_LT(*extendedDateTime(stored(738886, 110451234560)),
              *extendedDateTime(stored(738886, 110451234570)));
    // The last tick of a day is closer to the next day than a double can tell far from 1899.
    for (long long days : {3652058LL, 0LL, 738886LL}) {
        double date = *extendedDateTime(stored(days, 863999999999));
        EXPECT_EQ(std::trunc(date), static_cast<double>(days - 693593)) << days;
        EXPECT_NE(date, std::trunc(date)) << days;
    }
}

TEST(ExtendedDateTime, AnythingElseIsNoDate) {
    const std::string good = stored(738886, 0);
    const std::string notDates[] = {
        "",
        good.substr(0, 40),                           // cut short
        stored(3652059, 0),                           // after 31 December 9999
        stored(738886, 864000000000),                 // a whole day of ticks
        "000000000000073888x:0000000000000000000:7",  // not a digit
        "0000000000000738886;0000000000000000000:7",  // not a colon
        "0000000000000738886:0000000000000000000:3",  // another precision, never seen
        good + "x",                                   // something after the padding
        "9999999999999999999:9999999999999999999:7",  // too large for any day
    };
    for (const std::string& bytes : notDates) {
        SCOPED_TRACE(bytes);
        EXPECT_FALSE(extendedDateTime(bytes));
    }
    EXPECT_TRUE(extendedDateTime(good.substr(0, 41)));  // without the zero byte
}

TEST(ExtendedDateTime, ColumnOfARealFileReadsAsDates) {
    const fs::path file = kWild / "justybase-extDateTime.accdb";
    if (!fs::exists(file))
        GTEST_SKIP() << "no reference file " << file;
    auto source = openSourceDatabase(file.string());
    WorkingDatabase work;
    ASSERT_TRUE(source->load("t_ext", work));
    SqliteStatement type =
        work.sql().prepare("SELECT type FROM pragma_table_info('t_ext') WHERE name = 'dt'");
    ASSERT_TRUE(type.step());
    EXPECT_EQ(std::string(type.columnText(0)), "DATETIME REAL");

    struct Row {
        const char* note;
        const char* day;  // none for a null
        double secondsIntoTheDay;
    };
    const Row expected[] = {
        {"modern", "2024-01-02", 11045.123456},
        {"base", "1899-12-30", 0},
        {"null dt", nullptr, 0},
        {"max", "9999-12-31", 86399.999999},
        {"year one", "0001-01-01", 0},
        {"frac", "2024-01-02", 11045.6789},
    };
    SqliteStatement rows = work.sql().prepare("SELECT note, dt, typeof(dt) FROM t_ext ORDER BY id");
    for (const Row& row : expected) {
        SCOPED_TRACE(row.note);
        ASSERT_TRUE(rows.step());
        EXPECT_EQ(std::string(rows.columnText(0)), row.note);
        EXPECT_EQ(std::string(rows.columnText(2)), row.day ? "real" : "null");
        if (!row.day)
            continue;
        double days = rows.columnDouble(1);
        double whole = std::trunc(days);
        EXPECT_EQ(isoDateText(whole), row.day);
        EXPECT_NEAR(std::fabs(days - whole) * 86400, row.secondsIntoTheDay,
                    std::fabs(whole) > 1e6 ? 1e-4 : 1e-6);
    }
    EXPECT_FALSE(rows.step());
}

}  // namespace
