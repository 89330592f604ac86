// Access files that must end in a message while the program stays up: impostors, truncated,
// protected and damaged files, rows and memos written by hand page by page, failures in the
// output, and the reader's own process with its limits.

#include <fcntl.h>
#include <gtest/gtest.h>

#include "ErrorOf.h"
#include "TestSupport.h"
#include "SqlRows.h"
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "access/AccessHeader.h"
#include "access/AccessLoader.h"
#include "source/Connection.h"
#include "sqlite/DatabaseError.h"
#include "common/DayCount.h"
#include "source/HelperProcess.h"
#include "jet/JetSql.h"
#include "access/SavedQuery.h"
#include "source/SourceDatabase.h"
#include "sqlite/TextCollation.h"
#include "jet/WorkingDatabase.h"

namespace fs = std::filesystem;
using namespace pontrel::data;

namespace {

const fs::path kReference = PONTREL_SHARED_REFERENCE;

#define REQUIRE_REFERENCE()                                                               \
    if (!fs::exists(kReference / "access")) GTEST_SKIP() << "no reference files at " << kReference

using pontrel::testing::capture;
using pontrel::testing::civilText;
using pontrel::testing::errorOf;
using pontrel::testing::nonEmptyLines;

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// ---- files that must end in a message -------------------------------------------------------

class TempFiles : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::string& content) {
        std::string path = folder_.path() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string bytesOf(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    ScratchFolder folder_;
};

TEST_F(TempFiles, FilesThatAreNotAccessDatabasesAreNamedInTheMessage) {
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"empty.mdb", ""}, {"notes.mdb", "Vessamo samples, to be typed in later.\n"}}) {
        std::string path = file(name, content);
        EXPECT_EQ(errorOf([&] { openSourceDatabase(path); }),
                  "The file '" + path + "' is not a database that can be read (neither an Access nor a SQLite database)");
    }
}

TEST_F(TempFiles, ATruncatedFileIsReadAsFarAsItGoesOrRefused) {
    REQUIRE_REFERENCE();
    std::string whole = bytesOf(kReference / "access" / "testV2000.mdb");
    std::string tiny = file("tiny.mdb", whole.substr(0, 100));
    EXPECT_EQ(errorOf([&] { openSourceDatabase(tiny); }),
              "The file '" + tiny + "' could not be read as an Access database: the file is too short to be an Access database");
    // Cut inside the catalog, inside the tables' pages, and after Table1's pages: the first two
    // must be refused (a table whose pages are missing is not read as a shorter table), the last
    // reads Table1 whole.
    const std::size_t sizes[] = {4096 * 3, 4096 * 20 + 1000, 4096 * 100};
    for (std::size_t size : sizes) {
        std::string path = file("cut" + std::to_string(size) + ".mdb", whole.substr(0, size));
        std::string error = errorOf([&] {
            WorkingDatabase work;
            openSourceDatabase(path)->load("Table1", work);
        });
        if (size == sizes[2])
            EXPECT_EQ(error, "(no error)");
        else
            EXPECT_EQ(error.rfind("The file '" + path + "' could not be read as an Access database: ", 0), 0u) << error;
    }
}

TEST_F(TempFiles, PasswordsAndEncryptionAreRefusedByName) {
    REQUIRE_REFERENCE();
    // The header is scrambled with a fixed key stream, so flipping a stored bit flips the
    // plain bit: a non-zero password byte, or a non-zero encryption key.
    for (const char* original : {"testV1997.mdb", "testV2000.mdb", "oldDatesV2007.accdb"}) {
        std::string bytes = bytesOf(kReference / "access" / original);
        std::string withPassword = bytes, encrypted = bytes;
        withPassword[0x42 + 2] = static_cast<char>(withPassword[0x42 + 2] ^ 0x5A);
        encrypted[0x3e] = static_cast<char>(encrypted[0x3e] ^ 0x01);
        std::string p = file(std::string("password-") + original, withPassword);
        std::string e = file(std::string("encrypted-") + original, encrypted);
        EXPECT_EQ(errorOf([&] { openSourceDatabase(p); }),
                  "The file '" + p + "' is protected by a database password, which cannot be read");
        EXPECT_EQ(errorOf([&] { openSourceDatabase(e); }),
                  "The file '" + e + "' is an encrypted Access database, which cannot be read");
        EXPECT_FALSE(parseAccessHeader(bytes).hasPassword);
    }
}

// Rows written by hand into copies of reference files (Jet4 pages of 4096 bytes): the table's
// page map is pointed at new data pages appended to the file.
class PageWriter {
public:
    explicit PageWriter(std::string bytes) : bytes_(std::move(bytes)) {}
    static constexpr std::size_t kPage = 4096;

    static void put16(std::string& b, std::size_t at, unsigned v) {
        b[at] = static_cast<char>(v & 0xFF);
        b[at + 1] = static_cast<char>(v >> 8);
    }
    static void put32(std::string& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    static std::uint32_t get32(const std::string& b, std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
        return v;
    }

    // A data page (or, with `tag` "LVAL", a long-value page) holding `rows`, the first row last.
    std::uint32_t appendPage(const std::vector<std::string>& rows, std::uint32_t owner, const char* tag = nullptr) {
        std::string page(kPage, '\0');
        page[0] = 1;
        page[1] = 1;
        if (tag) page.replace(4, 4, tag);
        else put32(page, 4, owner);
        put16(page, 12, static_cast<unsigned>(rows.size()));
        std::size_t end = kPage;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            end -= rows[i].size();
            page.replace(end, rows[i].size(), rows[i]);
            put16(page, 14 + 2 * i, static_cast<unsigned>(end));
        }
        bytes_ += page;
        return static_cast<std::uint32_t>(bytes_.size() / kPage - 1);
    }

    // Makes the table defined on `definition` consist of the one data page `page`.
    void pointTableAt(std::uint32_t definition, std::uint32_t page) {
        std::size_t start = mapRow(definition);
        bytes_[start] = 0;  // a map of kind 0: first page, then one bit per page
        put32(bytes_, start + 1, page);
        bytes_[start + 5] = 1;
        for (std::size_t i = start + 6; i < start + 69; ++i) bytes_[i] = 0;
    }

    // A Jet4 row: column count, fixed part, variable part, its end and offsets, null mask.
    static std::string row(unsigned columns, const std::string& fixed, const std::vector<std::string>& variable,
                           const std::string& nullMask) {
        std::string r(2, '\0');
        put16(r, 0, columns);
        r += fixed;
        std::vector<unsigned> offsets;
        for (const std::string& v : variable) {
            offsets.push_back(static_cast<unsigned>(r.size()));
            r += v;
        }
        std::string tail(2, '\0');
        put16(tail, 0, static_cast<unsigned>(r.size()));
        for (std::size_t i = offsets.size(); i-- > 0;) {
            std::string o(2, '\0');
            put16(o, 0, offsets[i]);
            tail += o;
        }
        std::string count(2, '\0');
        put16(count, 0, static_cast<unsigned>(variable.size()));
        return r + tail + count + nullMask;
    }
    static std::string row(unsigned columns, const std::string& fixed, const std::vector<std::string>& variable,
                           unsigned char nullMask) {
        return row(columns, fixed, variable, std::string(1, static_cast<char>(nullMask)));
    }

    // Adds `page` to the pages of the table defined on `definition` (a map of kind 0).
    void addToMap(std::uint32_t definition, std::uint32_t page) {
        std::size_t start = mapRow(definition);
        ASSERT_EQ(bytes_[start], 0);
        std::uint32_t bit = page - get32(bytes_, start + 1);
        bytes_[start + 5 + bit / 8] = static_cast<char>(bytes_[start + 5 + bit / 8] | (1 << (bit % 8)));
    }

    // The bytes of row `index` on `page`.
    std::string rowAt(std::uint32_t page, unsigned index) const {
        std::size_t base = page * kPage;
        auto offset = [&](unsigned i) {
            return static_cast<std::size_t>(static_cast<unsigned char>(bytes_[base + 14 + 2 * i]) |
                                            (static_cast<unsigned char>(bytes_[base + 15 + 2 * i]) & 0x1F) << 8);
        };
        std::size_t end = index == 0 ? kPage : offset(index - 1);
        return bytes_.substr(base + offset(index), end - offset(index));
    }

    const std::string& bytes() const { return bytes_; }

private:
    // Where the page map of the table defined on `definition` starts in the file.
    std::size_t mapRow(std::uint32_t definition) const {
        std::uint32_t pointer = get32(bytes_, definition * kPage + 55);
        std::size_t mapPage = (pointer >> 8) * kPage;
        unsigned row = pointer & 0xFF;
        return mapPage + (static_cast<unsigned char>(bytes_[mapPage + 14 + 2 * row]) |
                          (static_cast<unsigned char>(bytes_[mapPage + 15 + 2 * row]) & 0x1F) << 8);
    }

    std::string bytes_;
};

std::string le32(std::int32_t v) {
    std::string b(4, '\0');
    PageWriter::put32(b, 0, static_cast<std::uint32_t>(v));
    return b;
}

std::string ucs2(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

TEST_F(TempFiles, HandMadeRowsKeepNullsEmptyTextsAndEveryEncoding) {
    REQUIRE_REFERENCE();
    // testV2000's Table3 (definition on page 736): a Long Integer, b Text.
    PageWriter file(bytesOf(kReference / "access" / "testV2000.mdb"));
    const std::string compressed = "\xFF\xFE";
    std::vector<std::string> rows = {
        PageWriter::row(2, le32(1), {compressed + "plain"}, 0b11),
        PageWriter::row(2, le32(2), {""}, 0b01),                        // b is Null
        PageWriter::row(2, le32(3), {""}, 0b11),                        // b is an empty text
        PageWriter::row(2, le32(0), {compressed + "x"}, 0b10),          // a is Null
        PageWriter::row(2, le32(-5), {compressed + "\xFCmlaut"}, 0b11), // one byte per character
        PageWriter::row(2, le32(6), {ucs2(u"Мир")}, 0b11),              // two bytes per character
        PageWriter::row(2, le32(7), {compressed + "ab" + std::string(1, '\0') + ucs2(u"Ж") +
                                     std::string(1, '\0') + "c"}, 0b11), // switching between both
    };
    file.pointTableAt(736, file.appendPage(rows, 736));
    std::string path = this->file("handmade.mdb", file.bytes());
    Connection connection(path);
    auto rs = connection.execute("SELECT a, b FROM Table3");
    std::vector<std::string> got;
    for (; !rs->eof(); rs->moveNext())
        got.push_back((rs->isNull(0) ? "NULL" : rs->text(0)) + "|" + (rs->isNull(1) ? "NULL" : "'" + rs->text(1) + "'"));
    EXPECT_EQ(got, (std::vector<std::string>{"1|'plain'", "2|NULL", "3|''", "NULL|'x'", "-5|'ümlaut'",
                                             "6|'Мир'", "7|'abЖc'"}));
}

TEST_F(TempFiles, AMemoLongerThanAPageIsReadWhole) {
    REQUIRE_REFERENCE();
    // fixedNumericTestV2000's table "test" (definition on page 26): col1 Memo, then six
    // Decimal columns kept from its one row.
    PageWriter file(bytesOf(kReference / "access" / "fixedNumericTestV2000.mdb"));
    std::string original = file.bytes().substr(28 * PageWriter::kPage, PageWriter::kPage);
    std::size_t start = static_cast<unsigned char>(original[14]) | (static_cast<unsigned char>(original[15]) & 0x1F) << 8;
    std::string decimals = original.substr(start + 2, 102);

    std::u16string memo;
    for (int i = 0; i < 1200; ++i) memo += u"Água ";  // 6000 characters, 12000 bytes
    std::string data = ucs2(memo);
    // The chain is written backwards so that each row can name the next one.
    std::uint32_t next = 0;
    for (std::size_t end = data.size(); end > 0;) {
        std::size_t begin = end > 4000 ? end - 4000 : 0;
        std::string link(4, '\0');
        PageWriter::put32(link, 0, next);
        next = file.appendPage({link + data.substr(begin, end - begin)}, 0, "LVAL") << 8;
        end = begin;
    }
    std::string header = le32(static_cast<std::int32_t>(data.size())) + le32(static_cast<std::int32_t>(next)) + le32(0);
    std::vector<std::string> rows = {PageWriter::row(7, decimals, {header}, 0x7F),
                                     PageWriter::row(7, decimals, {""}, 0x7E),
                                     PageWriter::row(7, decimals, {""}, 0x7F)};
    file.pointTableAt(26, file.appendPage(rows, 26));
    std::string path = this->file("memo.mdb", file.bytes());
    Connection connection(path);
    auto rs = connection.execute("SELECT col1, col2 FROM test");
    std::string expected;
    for (int i = 0; i < 1200; ++i) expected += "Água ";
    ASSERT_FALSE(rs->eof());
    EXPECT_EQ(rs->text(0), expected);
    EXPECT_EQ(rs->integer(1), 1);
    rs->moveNext();
    EXPECT_TRUE(rs->isNull(0));
    rs->moveNext();
    EXPECT_FALSE(rs->isNull(0));
    EXPECT_EQ(rs->text(0), "");

    // The same chain made to loop, or to end early, is damage.
    std::string looped = file.bytes();
    PageWriter::put32(looped, (next >> 8) * PageWriter::kPage + PageWriter::kPage - 4004, next);
    std::string loopPath = this->file("loop.mdb", looped);
    EXPECT_EQ(errorOf([&] { Connection(loopPath).execute("SELECT col1 FROM test"); }),
              "The file '" + loopPath + "' could not be read as an Access database: the table 'test' is damaged: "
              "a long value of the column 'col1' is a chain that loops");
}

// A row that does not fit its page is damage, named by where it is, never read or passed over.
// testV2000's Table3 (definition on page 736) on one hand-made page.
TEST_F(TempFiles, ARowOutsideItsPageIsNamed) {
    REQUIRE_REFERENCE();
    PageWriter file(bytesOf(kReference / "access" / "testV2000.mdb"));
    const std::uint32_t page = file.appendPage({PageWriter::row(2, le32(1), {"\xFF\xFEx"}, 0b11)}, 736);
    file.pointTableAt(736, page);
    const std::size_t at = page * PageWriter::kPage;
    std::string past = file.bytes(), over = file.bytes();
    PageWriter::put16(past, at + 14, 0x1FF0);  // row 0 starts past the page's end
    PageWriter::put16(over, at + 14, 10);      // row 0 starts over the row offsets
    const std::string where = "row 0 of page " + std::to_string(page) + " lies outside its page or over the row before it";
    const std::vector<std::pair<std::string, std::string>> cases = {{past, where}, {over, where}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].second);
        std::string path = this->file("damaged" + std::to_string(i) + ".mdb", cases[i].first);
        EXPECT_EQ(errorOf([&] { Connection(path).execute("SELECT a FROM Table3"); }),
                  "The file '" + path + "' could not be read as an Access database: the table 'Table3' is damaged: " +
                      cases[i].second);
    }
}

// A Jet4 row of MSysQueries: ObjectId, Attribute, Flag and 4 more bytes fixed; then Order,
// Name1, Name2 and Expression (a memo, here held in the row).
std::string queryRow(std::int32_t object, int attribute, std::optional<int> flag, std::optional<std::u16string> name1,
                     std::optional<std::string> expression) {
    std::string fixed = le32(object) + std::string(1, static_cast<char>(attribute)) + std::string(2, '\0') +
                        std::string(4, '\0');
    PageWriter::put16(fixed, 5, static_cast<unsigned>(flag.value_or(0)));
    std::string memo;
    if (expression) {
        std::string text = "\xFF\xFE" + *expression;
        memo = le32(static_cast<std::int32_t>(text.size() | 0x80000000u)) + std::string(8, '\0') + text;
    }
    unsigned char mask = 0x07 | (name1 ? 0x08 : 0) | (expression ? 0x20 : 0) | (flag ? 0x40 : 0);
    return PageWriter::row(8, fixed, {std::string("\0\0\0\x01", 4), name1 ? ucs2(*name1) : "", "", memo}, mask);
}

TEST_F(TempFiles, AQueryOverAQueryLoadsEverythingItReads) {
    REQUIRE_REFERENCE();
    // Two saved queries added to a copy of queryTestV2000: SelectAgain reads SelectQuery, and
    // Circle reads itself. Their catalog rows are SelectQuery's own, renamed.
    PageWriter file(bytesOf(kReference / "access" / "queryTestV2000.mdb"));
    std::string selectQuery;
    for (unsigned i = 0; i < 40 && selectQuery.empty(); ++i) {
        std::string r = file.rowAt(14, i);
        if (r.find(ucs2(u"SelectQuery")) != std::string::npos) selectQuery = r;
    }
    ASSERT_FALSE(selectQuery.empty());
    auto catalogRow = [&](std::int32_t id, const std::u16string& name) {
        std::size_t end = selectQuery.size() - 1, maskSize = 3;
        unsigned count = static_cast<unsigned char>(selectQuery[end - maskSize - 1]) |
                         static_cast<unsigned char>(selectQuery[end - maskSize]) << 8;
        std::vector<std::size_t> offsets;
        for (unsigned i = 0; i <= count; ++i)
            offsets.push_back(static_cast<unsigned char>(selectQuery[end - maskSize - 3 - 2 * i]) |
                              static_cast<unsigned char>(selectQuery[end - maskSize - 2 - 2 * i]) << 8);
        std::vector<std::string> variable;
        for (unsigned i = 0; i < count; ++i)
            variable.push_back(selectQuery.substr(offsets[i], offsets[i + 1] - offsets[i]));
        variable[0] = ucs2(name);
        std::string fixed = selectQuery.substr(2, offsets[0] - 2);
        fixed.replace(0, 4, le32(id));
        return PageWriter::row(17, fixed, variable, selectQuery.substr(selectQuery.size() - maskSize));
    };
    // Two union queries, told apart by the DISTINCT bit of their options: UNION and UNION ALL.
    // And a query reading a table linked to another database (a catalog row of type 6).
    const std::int32_t again = -2147483600, circle = -2147483599, distinct = -2147483598, all = -2147483597,
                       linked = 100, readsLinked = -2147483596;
    std::string linkedRow = catalogRow(linked, u"Elsewhere");
    linkedRow[2 + 8] = 6;
    file.addToMap(2, file.appendPage({catalogRow(again, u"SelectAgain"), catalogRow(circle, u"Circle"),
                                      catalogRow(distinct, u"Distinct Union"), catalogRow(all, u"Union All"),
                                      linkedRow, catalogRow(readsLinked, u"Reads Linked"),
                                      catalogRow(-2147483595, u"By Expression")},
                                     2));
    file.addToMap(4, file.appendPage({queryRow(readsLinked, 5, {}, u"Elsewhere", {}),
                                      queryRow(readsLinked, 6, 0, {}, "Elsewhere.x")},
                                     4));
    file.addToMap(4, file.appendPage({queryRow(again, 1, 1, {}, {}), queryRow(again, 3, 1, {}, {}),
                                      queryRow(again, 5, {}, u"SelectQuery", {}),
                                      queryRow(again, 8, {}, {}, "[Table1.col2] <> 'c'"),
                                      queryRow(circle, 5, {}, u"Circle", {}), queryRow(circle, 6, 0, {}, "Circle.x")},
                                     4));
    const std::int32_t byExpression = -2147483595;
    for (auto [id, options, order] : {std::tuple{distinct, 3, "[v]"}, std::tuple{all, 1, "Table1.[V]"},
                                      std::tuple{byExpression, 1, "Len(v)"}})
        file.addToMap(4, file.appendPage({queryRow(id, 1, 9, {}, {}), queryRow(id, 3, options, {}, {}),
                                          queryRow(id, 5, {}, {}, "SELECT col1 AS v FROM Table1\r\n"),
                                          queryRow(id, 5, {}, {}, "SELECT [col2] FROM [Table2] WHERE col3 <> 'z'"),
                                          queryRow(id, 11, {}, u"D", order)},
                                         4));
    std::string path = this->file("queries.mdb", file.bytes());
    std::unique_ptr<SourceDatabase> source = openSourceDatabase(path);

    std::string sql;
    for (const CatalogEntry& entry : source->catalog())
        if (entry.name == "SelectAgain") sql = entry.sql;
    EXPECT_EQ(sql, "SELECT * FROM SelectQuery WHERE [Table1.col2] <> 'c'");

    WorkingDatabase work;
    ASSERT_TRUE(source->load("SelectAgain", work));
    work.sql().exec(
        "INSERT INTO Table1 VALUES ('foo','a','b'), ('Buzz','c','d');"
        "INSERT INTO Table3 VALUES ('FOO','-','t3foo'), ('buzz','-','t3buzz');"
        "INSERT INTO Table2 VALUES ('foo','Foo','x'), ('BUZZ','buzz','y');");
    SqliteStatement rows = work.sql().prepare("SELECT \"Table1.col1\", \"Table3.col3\" FROM SelectAgain");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.columnText(0), "foo");
    EXPECT_EQ(rows.columnText(1), "t3foo");
    EXPECT_FALSE(rows.step());

    EXPECT_EQ(errorOf([&] { source->load("Circle", work); }), "The query 'Circle' reads itself (through 'Circle')");
    EXPECT_EQ(errorOf([&] { source->load("By Expression", work); }),
              "The query 'By Expression' orders its union by 'Len(v)', which is not a column of the result");
    EXPECT_EQ(errorOf([&] { source->load("Reads Linked", work); }),
              "The query 'Reads Linked' reads 'Elsewhere', a table linked to another database, which is not read");

    // UNION drops rows equal but for case, as Jet compares texts; the order is over the whole.
    for (auto [query, expected] :
         {std::pair<std::string, std::vector<std::string>>{"Distinct Union", {"FOO", "BUZZ", "BAR"}},
          std::pair<std::string, std::vector<std::string>>{"Union All", {"FOO", "FOO", "BUZZ", "BUZZ", "BAR"}}}) {
        WorkingDatabase unions;
        ASSERT_TRUE(source->load(query, unions)) << query;
        unions.sql().exec(
            "INSERT INTO Table1 VALUES ('foo','a','b'), ('Buzz','c','d');"
            "INSERT INTO Table2 VALUES ('x','Foo','x'), ('y','buzz','y'), ('z','zed','z'), ('w','bar','w');");
        SqliteStatement got = unions.sql().prepare("SELECT upper(v) FROM " + sqlName(query));
        std::vector<std::string> values;
        while (got.step()) values.emplace_back(got.columnText(0));
        EXPECT_EQ(values, expected) << query;
    }
}

TEST_F(TempFiles, FailuresInTheOutputNameTheTableOrQueryNeverTheTemporaryFile) {
    REQUIRE_REFERENCE();
    AccessLoader loader((kReference / "access" / "queryTestV2000.mdb").string());
    SqliteDatabase out(folder_.path() + "/out.sqlite", SqliteDatabase::Mode::ReadWriteCreate);
    AccessLoader::prepareOutput(out);
    out.exec("CREATE TABLE Table2 (x)");
    EXPECT_EQ(errorOf([&] { loader.load("Table2", out); }), "The table 'Table2' could not be copied: table Table2 already exists");
    EXPECT_EQ(errorOf([&] { loader.load("SelectQuery", out); }),
              "The query 'SelectQuery' could not be copied: table Table2 already exists");
    // What the failed load copied is gone from the output, and loaded again by the next.
    out.exec("DROP TABLE Table2");
    EXPECT_TRUE(loader.load("SelectQuery", out));
    SqliteStatement probe = out.prepare("SELECT * FROM SelectQuery");
    EXPECT_FALSE(probe.step());
}

TEST(DamagedAccessFiles, EndInAMessageOrANormalResultWithinSeconds) {
    REQUIRE_REFERENCE();
    for (const fs::path& file : filesIn(kReference / "damaged-access")) {
        SCOPED_TRACE(file.filename().string());
        const std::string prefix = "The file '" + file.string() + "' could not be read as an Access database: ";
        auto start = std::chrono::steady_clock::now();
        try {
            std::unique_ptr<SourceDatabase> source = openSourceDatabase(file.string());
            for (const char* name : {"Table1", "Table2", "Table3", "Table4", "SelectQuery"}) {
                WorkingDatabase work;
                try {
                    if (source->load(name, work)) {
                        SqliteStatement rows = work.sql().prepare(std::string("SELECT * FROM ") + name);
                        while (rows.step()) {
                        }
                    }
                } catch (const DatabaseError& e) {
                    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
                }
            }
            source->catalog();
        } catch (const DatabaseError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}

// The damaged reference files, each described by what is wrong in it: a file that ends inside a
// page is cut short; one that ends on a page boundary is not assumed to be.
TEST(DamagedAccessFiles, AreDescribedByWhatWasFound) {
    REQUIRE_REFERENCE();
    struct Case {
        const char* file;
        const char* object;
        std::string found;
    };
    const std::vector<Case> cases = {
        {"queryTestV2000_1161_oom_abort_tables.mdb", "SelectQuery",
         "its query definitions cannot be read: the file is cut short: it ends 2586 bytes into page 36, but the "
         "table 'MSysQueries' goes on: its page map names page 40"},
        {"queryTestV2000_s11_810_segv_schema_read_columns_null.mdb", "Table1",
         "the catalog puts the definition of the table 'Table1' on page 23, past the last page of the file, 16"},
        {"queryTestV2000_s11_810_segv_schema_read_columns_null.mdb", "SelectQuery",
         "its query definitions cannot be read: the table 'MSysQueries' is damaged: its page map names page 30, "
         "past the last page of the file, 16"},
        {"testV2000_meta747_segv_export.mdb", "Table1",
         "the table 'Table1' is damaged: its definition puts its page map in row 41 of page 25, which has 4 rows"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.object);
        const fs::path file = kReference / "damaged-access" / c.file;
        if (!fs::exists(file)) continue;
        EXPECT_EQ(errorOf([&] {
                      WorkingDatabase work;
                      openSourceDatabase(file.string())->load(c.object, work);
                  }),
                  "The file '" + file.string() + "' could not be read as an Access database: " + c.found);
    }
}

// ---- the helper process ---------------------------------------------------------------------

TEST(HelperProcess, ReportsExitSignalMessageAndTimeLimit) {
    ScratchFolder folder;
    std::string messages = folder.path() + "/messages";
    auto shell = [&](const std::string& script, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return runHelper("/bin/sh", {"-c", script}, limit, messages);
    };
    HelperResult said = shell("echo 'The file was odd' >&3; exit 2");
    EXPECT_EQ(said.outcome, HelperResult::Outcome::Exited);
    EXPECT_EQ(said.code, 2);
    EXPECT_EQ(said.message, "The file was odd");
    EXPECT_FALSE(fs::exists(messages));

    HelperResult crashed = shell("kill -SEGV $$");
    EXPECT_EQ(crashed.outcome, HelperResult::Outcome::Signalled);
    EXPECT_EQ(crashed.code, SIGSEGV);

    auto start = std::chrono::steady_clock::now();
    HelperResult hung = shell("while :; do :; done", std::chrono::milliseconds(300));
    EXPECT_EQ(hung.outcome, HelperResult::Outcome::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

    // Nothing of the program leaks into the helper: no open descriptor beyond 0 to 3 (here one
    // opened without close-on-exec), no environment variable. The shell looks before any
    // redirection of its own, since it parks descriptors it saves at 10 and above.
    int null = ::open("/dev/null", O_RDONLY);
    int open = ::fcntl(null, F_DUPFD, 40);
    ::close(null);
    ASSERT_GE(open, 40);
    setenv("PONTREL_TEST_SETTING", "leaked", 1);
    HelperResult seen = shell("seen=; for fd in 0 1 2 3 " + std::to_string(open) +
                              "; do [ -e /proc/$$/fd/$fd ] && seen=\"$seen$fd \"; done;"
                              " echo \"$seen${PONTREL_TEST_SETTING:-none}\" >&3");
    unsetenv("PONTREL_TEST_SETTING");
    ::close(open);
    EXPECT_EQ(seen.message, "0 1 2 3 none");

    HelperResult missing = runHelper(folder.path() + "/absent", {}, std::chrono::seconds(1), messages);
    EXPECT_EQ(missing.outcome, HelperResult::Outcome::NotStarted);
}

}  // namespace
