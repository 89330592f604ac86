// The Access writer checked through two independent readers: the mdbtools command-line tools and
// the npm package mdb-reader run with Node.js. Both must read back every value the writer was
// given, within two known limits of mdbtools 1.0: it prints an empty text as it prints a null,
// and it turns characters beyond the Basic Multilingual Plane into '?'. mdb-reader is held to
// both.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "SampleGenerator.h"
#include "TestSupport.h"
#include "common/DayCount.h"
#include "sqlite/Sqlite.h"
#include "mdb/JetText.h"
#include "mdb/JetWriter.h"

namespace fs = std::filesystem;
using namespace pontrel::tools;

namespace {

std::string run(const std::string& command, int* status = nullptr) {
    std::string text;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int result = pclose(pipe);
    if (status) *status = result;
    return text;
}

bool haveCommand(const std::string& name) {
    int status = 0;
    run("command -v " + name, &status);
    return status == 0;
}

bool haveMdbtools() { return haveCommand("mdb-export") && haveCommand("mdb-queries"); }

bool haveMdbReader() {
    return haveCommand("node") && fs::exists(fs::path(PONTREL_NODE_READER).parent_path() / "node_modules" / "mdb-reader");
}

// One field as both readers print it: nothing for a null, a quoted text, or a bare number.
struct Field {
    bool null = true;
    bool quoted = false;
    std::string text;
};
using Row = std::vector<Field>;

// Rows end with 0x1E and fields with 0x1F, which no test value holds.
std::vector<Row> parseRows(const std::string& text) {
    std::vector<Row> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\x1e', start)) != std::string::npos; start = end + 1) {
        Row row;
        std::size_t from = start;
        while (true) {
            std::size_t stop = text.find('\x1f', from);
            if (stop == std::string::npos || stop > end) stop = end;
            std::string raw = text.substr(from, stop - from);
            Field field;
            if (!raw.empty()) {
                field.null = false;
                if (raw.front() == '"' && raw.size() >= 2 && raw.back() == '"') {
                    field.quoted = true;
                    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
                        field.text += raw[i];
                        if (raw[i] == '"') ++i;  // a doubled quote
                    }
                } else {
                    field.text = raw;
                }
            }
            row.push_back(field);
            if (stop == end) break;
            from = stop + 1;
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<Row> mdbExport(const fs::path& file, const std::string& table) {
    return parseRows(run("mdb-export -H -d \"$(printf '\\037')\" -R \"$(printf '\\036')\" -T '%Y-%m-%d %H:%M:%S' '" +
                         file.string() + "' '" + table + "'"));
}

struct ReadTable {
    std::vector<std::string> columns;  // name:type
    std::vector<Row> rows;
};

std::map<std::string, ReadTable> mdbReader(const fs::path& file, bool system = false) {
    std::map<std::string, ReadTable> tables;
    std::string current;
    for (Row& row : parseRows(run("node '" PONTREL_NODE_READER "' '" + file.string() + "'" + (system ? " --system" : "")))) {
        const std::string& first = row.front().text;
        if (first.rfind("#TABLE ", 0) == 0) {
            current = first.substr(7);
            tables[current];
        } else if (first.rfind("#COLUMNS ", 0) == 0) {
            row.front().text = first.substr(9);
            for (const Field& f : row) tables[current].columns.push_back(f.text);
        } else {
            tables[current].rows.push_back(row);
        }
    }
    return tables;
}

enum class Reader { Mdbtools, MdbReader };

using pontrel::testing::civilText;

// mdbtools 1.0 converts text as UCS-2: each half of a surrogate pair becomes a '?'.
std::string asMdbtoolsPrints(const std::string& utf8) {
    std::string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xF8) == 0xF0) {
            text += "??";
            i += 3;
        } else {
            text += utf8[i];
        }
    }
    return text;
}

// Checks that a field read back holds the value written.
void expectField(const Cell& cell, const Field& field, Reader reader, const std::string& where) {
    SCOPED_TRACE(where);
    if (std::holds_alternative<std::monostate>(cell)) {
        EXPECT_TRUE(field.null) << field.text;
    } else if (auto* n = std::get_if<std::int64_t>(&cell)) {
        ASSERT_FALSE(field.null);
        EXPECT_EQ(std::stoll(field.text), *n);
    } else if (auto* d = std::get_if<double>(&cell)) {
        ASSERT_FALSE(field.null);
        double read = std::strtod(field.text.c_str(), nullptr);
        // mdbtools prints 16 significant digits; mdb-reader the shortest exact form.
        if (reader == Reader::MdbReader) {
            EXPECT_EQ(read, *d);
        } else {
            EXPECT_NEAR(read, *d, std::fabs(*d) * 1e-15);
        }
    } else if (auto* s = std::get_if<std::string>(&cell)) {
        if (s->empty() && reader == Reader::Mdbtools) {
            EXPECT_TRUE(field.null || field.text.empty());
        } else {
            EXPECT_TRUE(field.quoted);
            EXPECT_TRUE(field.text == (reader == Reader::Mdbtools ? asMdbtoolsPrints(*s) : *s))
                << "read back: " << field.text.substr(0, 200) << "\nwritten: " << s->substr(0, 200);
        }
    } else if (auto* t = std::get_if<DateTimeValue>(&cell)) {
        ASSERT_FALSE(field.null);
        if (reader == Reader::MdbReader) {
            EXPECT_NEAR(std::strtod(field.text.c_str(), nullptr), t->days, 1e-7);
        } else {
            EXPECT_EQ(field.text, civilText(t->days));
        }
    } else {
        EXPECT_EQ(field.text, std::get<bool>(cell) ? "1" : "0");
    }
}

struct TableContent {
    std::string name;
    std::vector<ColumnDefinition> columns;
    std::vector<std::vector<Cell>> rows;
};

double at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return pontrel::data::dateFromCivil({year, month, day, hour, minute, second});
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// Every column type; nulls; empty, accented, CJK and emoji texts; memos kept in the row, on a
// shared long-value page and on chains of long-value pages; extreme numbers.
TableContent mixedTable() {
    TableContent t{"Mixed",
                   {{"Id", ColumnType::Long},
                    {"Label", ColumnType::Text, 40},
                    {"Note", ColumnType::Memo},
                    {"Amount", ColumnType::Double},
                    {"Taken", ColumnType::DateTime},
                    {"Checked", ColumnType::YesNo}},
                   {}};
    auto row = [&](std::vector<Cell> cells) { t.rows.push_back(std::move(cells)); };
    row({std::int64_t{1}, std::string("Oxigénio dissolvido"), std::string("curto"), 0.1,
         DateTimeValue{at(2023, 1, 2, 8, 15, 30)}, true});
    row({std::int64_t{2}, std::string(""), std::string(""), -1e300, DateTimeValue{at(1899, 12, 30)}, false});
    row({std::int64_t{3}, Cell{}, Cell{}, Cell{}, Cell{}, false});
    row({std::int64_t{-2147483647 - 1}, std::string("水質調査 🌊🐟"), repeated("ação 水 ", 250), 1.5e-300,
         DateTimeValue{at(2100, 12, 31, 23, 59, 59)}, true});
    row({std::int64_t{2147483647}, std::string("say \"hi\", then;\tgo\nnext line"), repeated("0123456789", 2000),
         123456.789, DateTimeValue{at(1970, 1, 1, 12)}, false});
    row({std::int64_t{6}, std::string("Āx ŀ"), repeated("plain ascii ", 80), -0.0, DateTimeValue{at(2024, 2, 29)},
         true});
    row({std::int64_t{7}, std::string("Ελληνικά"), repeated("😀 emoji and é ", 400), 6.02214076e23,
         DateTimeValue{at(2000, 6, 15, 6, 30)}, false});
    return t;
}

TableContent manyTable(int count) {
    TableContent t{"Many",
                   {{"Id", ColumnType::Long},
                    {"Code", ColumnType::Text, 10},
                    {"Value", ColumnType::Double},
                    {"Day", ColumnType::DateTime},
                    {"Flag", ColumnType::YesNo}},
                   {}};
    for (int i = 0; i < count; ++i)
        t.rows.push_back({std::int64_t{i}, std::string("C") + std::to_string(i % 1000), i * 0.25,
                          DateTimeValue{40000.0 + i % 3650}, i % 3 == 0});
    return t;
}

TableContent emptyTable() {
    return {"Empty Table", {{"A", ColumnType::Long}, {"B", ColumnType::Text, 255}}, {}};
}

std::vector<QueryDefinition> queries() {
    QueryDefinition inner;
    inner.name = "Inner Query";
    inner.sources = {{"Mixed", "m"}, {"Many", ""}};
    inner.joins = {{"m", "Many", 1, "m.Id = Many.Id"}};
    inner.columns = {{"m.Label", ""}, {"Many.Value", "V"}};
    inner.where = "Many.Flag = True";
    inner.orderBy = {"m.Id DESC", "Many.Value"};

    QueryDefinition left;
    left.name = "LeftTwoConditions";
    left.sources = {{"Mixed", ""}, {"Many", "n"}, {"Empty Table", ""}};
    left.joins = {{"Mixed", "n", 2, "Mixed.Id = n.Id"},
                  {"Mixed", "n", 2, "Mixed.Taken = n.Day"},
                  {"n", "Empty Table", 1, "n.Id = [Empty Table].A"}};
    left.columns = {{"Mixed.Id", ""}, {"n.Code", "Code"}, {"[Empty Table].B", ""}};
    return {inner, left};
}

// The MSysQueries rows a query definition is stored as, without its id: attribute, Name1, Name2,
// Expression, Flag (empty texts standing for nulls).
std::vector<std::vector<std::string>> storedRows(const QueryDefinition& q) {
    std::vector<std::vector<std::string>> rows = {{"0", "", "", "", "0"}, {"255", "", "", "", ""},
                                                  {"1", "", "", "", "1"}, {"3", "", "", "", "0"}};
    for (const auto& s : q.sources) rows.push_back({"5", s.table, s.alias, "", ""});
    for (const auto& c : q.columns) rows.push_back({"6", c.alias, "", c.expression, "0"});
    for (const auto& j : q.joins) rows.push_back({"7", j.left, j.right, j.condition, std::to_string(j.type)});
    if (!q.where.empty()) rows.push_back({"8", "", "", q.where, ""});
    for (const auto& o : q.orderBy) {
        bool descending = o.size() > 5 && o.substr(o.size() - 5) == " DESC";
        rows.push_back({"11", descending ? "D" : "", "", descending ? o.substr(0, o.size() - 5) : o, "0"});
    }
    return rows;
}

class AccessWriterRoundTrip : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = fs::temp_directory_path() / ("pontrel-access-writer-" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        file_ = directory_ / "round-trip.mdb";
        tables_ = {mixedTable(), manyTable(150000), emptyTable()};
        jet::JetWriter writer(file_.string());
        for (const auto& query : queries()) writer.addQuery(query);
        for (const TableContent& table : tables_) {
            writer.beginTable(table.name, table.columns);
            for (const auto& row : table.rows) writer.addRow(row);
            writer.endTable();
        }
        writer.finish();
    }
    static void TearDownTestSuite() { fs::remove_all(directory_); }

    static void expectTable(const TableContent& table, const std::vector<Row>& rows, Reader reader) {
        ASSERT_EQ(rows.size(), table.rows.size()) << table.name;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            ASSERT_EQ(rows[r].size(), table.columns.size()) << table.name << " row " << r;
            for (std::size_t c = 0; c < table.columns.size(); ++c)
                expectField(table.rows[r][c], rows[r][c], reader,
                            table.name + " row " + std::to_string(r) + " " + table.columns[c].name);
        }
    }

    // The stored rows of each query, keyed by its name through the catalog.
    static std::map<std::string, std::vector<std::vector<std::string>>> queryRows(const std::vector<Row>& objects,
                                                                                 const std::vector<Row>& rows) {
        std::map<std::string, std::string> names;  // id -> name
        for (const Row& o : objects)
            if (o[3].text == "5") names[o[0].text] = o[2].text;
        std::map<std::string, std::vector<std::vector<std::string>>> byName;
        for (const Row& r : rows) {
            EXPECT_TRUE(names.count(r[0].text)) << "query rows of unknown object " << r[0].text;
            // ObjectId, Attribute, Order, Name1, Name2, Expression, Flag, LvExtra
            byName[names[r[0].text]].push_back({r[1].text, r[3].text, r[4].text, r[5].text, r[6].text});
        }
        return byName;
    }

    static void expectQueries(const std::map<std::string, std::vector<std::vector<std::string>>>& stored) {
        ASSERT_EQ(stored.size(), queries().size());
        for (const auto& query : queries()) {
            ASSERT_TRUE(stored.count(query.name)) << query.name;
            EXPECT_EQ(stored.at(query.name), storedRows(query)) << query.name;
        }
    }

    static inline fs::path directory_;
    static inline fs::path file_;
    static inline std::vector<TableContent> tables_;
};

TEST_F(AccessWriterRoundTrip, MdbtoolsSeesAJet4DatabaseWithItsTablesAndQueries) {
    if (!haveMdbtools()) GTEST_SKIP() << "mdbtools is not installed";
    EXPECT_EQ(run("mdb-ver '" + file_.string() + "'"), "JET4\n");
    EXPECT_EQ(run("mdb-tables -1 '" + file_.string() + "'"), "Mixed\nMany\nEmpty Table\n");
    EXPECT_EQ(run("mdb-queries -L -1 '" + file_.string() + "'"), "Inner Query\nLeftTwoConditions\n");
    const std::string schema = run("mdb-schema -T Mixed '" + file_.string() + "'");
    for (const char* declaration : {"[Id]\t\t\tLong Integer", "[Label]\t\t\tText (40)", "[Note]\t\t\tMemo/Hyperlink",
                                    "[Amount]\t\t\tDouble", "[Taken]\t\t\tDateTime", "[Checked]\t\t\tBoolean"})
        EXPECT_NE(schema.find(declaration), std::string::npos) << declaration << " in\n" << schema;
}

TEST_F(AccessWriterRoundTrip, MdbtoolsReadsEveryValueBack) {
    if (!haveMdbtools()) GTEST_SKIP() << "mdbtools is not installed";
    EXPECT_GT(fs::file_size(file_), 600u * 4096) << "the big table should span more than one usage-map window";
    for (const TableContent& table : tables_) expectTable(table, mdbExport(file_, table.name), Reader::Mdbtools);
}

TEST_F(AccessWriterRoundTrip, MdbReaderReadsEveryValueBack) {
    if (!haveMdbReader()) GTEST_SKIP() << "node or mdb-reader is not available";
    auto read = mdbReader(file_);
    ASSERT_EQ(read.size(), tables_.size());
    EXPECT_EQ(read["Mixed"].columns, (std::vector<std::string>{"Id:long", "Label:text", "Note:memo", "Amount:double",
                                                               "Taken:datetime", "Checked:boolean"}));
    for (const TableContent& table : tables_) expectTable(table, read[table.name].rows, Reader::MdbReader);
}

TEST_F(AccessWriterRoundTrip, BothReadersSeeTheQueriesAsAccessStoresThem) {
    if (haveMdbtools()) {
        SCOPED_TRACE("mdbtools");
        auto objects = mdbExport(file_, "MSysObjects");
        expectQueries(queryRows(objects, mdbExport(file_, "MSysQueries")));
        for (const Row& o : objects) {
            if (o[3].text == "5") {
                EXPECT_LT(std::stoll(o[0].text), 0) << "query ids are negative, as Access has them";
            }
        }
    }
    if (haveMdbReader()) {
        SCOPED_TRACE("mdb-reader");
        auto read = mdbReader(file_, true);
        expectQueries(queryRows(read["MSysObjects"].rows, read["MSysQueries"].rows));
    }
    if (!haveMdbtools() && !haveMdbReader()) GTEST_SKIP() << "neither reader is available";
}

// The bundled sample: the .mdb holds the same rows as the .sqlite made from the same seed.
TEST(AccessWriterSample, SampleMdbHoldsTheRowsOfTheSampleSqlite) {
    const fs::path mdb = fs::path(PONTREL_SAMPLE_DIR) / "vessamo-sample.mdb";
    const fs::path sqlite = fs::path(PONTREL_SAMPLE_DIR) / "vessamo-sample.sqlite";
    if (!fs::exists(mdb) || !fs::exists(sqlite)) GTEST_SKIP() << "the sample databases are not built";
    if (!haveMdbtools()) GTEST_SKIP() << "mdbtools is not installed";
    pontrel::data::SqliteDatabase db(sqlite.string(), pontrel::data::SqliteDatabase::Mode::ReadOnly);
    for (const std::string table : {"Params", "Stations", "Samples", "SampleValues"}) {
        SCOPED_TRACE(table);
        const std::vector<Row> rows = mdbExport(mdb, table);
        auto select = db.prepare("SELECT * FROM \"" + table + "\" ORDER BY rowid");
        std::size_t r = 0;
        for (; select.step(); ++r) {
            ASSERT_LT(r, rows.size());
            ASSERT_EQ(rows[r].size(), static_cast<std::size_t>(select.columnCount()));
            for (int c = 0; c < select.columnCount(); ++c) {
                const Field& field = rows[r][static_cast<std::size_t>(c)];
                const std::string type = select.columnDeclaredType(c);
                SCOPED_TRACE("row " + std::to_string(r) + " " + select.columnName(c));
                if (select.columnType(c) == pontrel::data::SqliteStatement::Type::Null) {
                    EXPECT_TRUE(field.null);
                } else if (type == "INTEGER") {
                    EXPECT_EQ(std::stoll(field.text), select.columnInt(c));
                } else if (type == "REAL") {
                    EXPECT_NEAR(std::strtod(field.text.c_str(), nullptr), select.columnDouble(c),
                                std::fabs(select.columnDouble(c)) * 1e-15);
                } else if (type == "BOOLEAN") {
                    EXPECT_EQ(field.text == "1", select.columnInt(c) != 0);
                } else if (type == "DATETIME") {
                    EXPECT_EQ(pontrel::data::parseIsoDate(field.text),
                              pontrel::data::parseIsoDate(std::string(select.columnText(c))));
                } else {
                    EXPECT_EQ(field.text, select.columnText(c));
                }
            }
        }
        EXPECT_EQ(r, rows.size());
    }
    EXPECT_EQ(run("mdb-queries -L -1 '" + mdb.string() + "'"), "Kelvash_Query\n");
    // Every sample value joins to its sample, parameter and station.
    auto count = db.prepare("SELECT count(*) FROM Kelvash_Query");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(static_cast<std::size_t>(count.columnInt(0)), mdbExport(mdb, "SampleValues").size());
}

// The SQL the SQLite sample makes its views from: a second join row between the same sources
// adds a condition to that join's ON clause.
TEST(AccessWriterQueries, JetSqlNestsJoinsAndMergesConditions) {
    const auto q = queries();
    EXPECT_EQ(jetSqlOf(q[0]),
              "SELECT m.Label, Many.Value AS V FROM Mixed AS m INNER JOIN Many ON m.Id = Many.Id "
              "WHERE Many.Flag = True ORDER BY m.Id DESC, Many.Value");
    EXPECT_EQ(jetSqlOf(q[1]),
              "SELECT Mixed.Id, n.Code AS Code, [Empty Table].B FROM (Mixed LEFT JOIN Many AS n ON "
              "(Mixed.Id = n.Id) AND (Mixed.Taken = n.Day)) INNER JOIN [Empty Table] ON n.Id = [Empty Table].A");
    QueryDefinition mixed = q[1];
    mixed.joins[1].type = 1;
    EXPECT_THROW(jetSqlOf(mixed), std::invalid_argument);
}

TEST(AccessWriterText, StoredBytesOfTexts) {
    struct Case {
        const char* utf8;
        bool allowCompression;
        const char* hex;
    };
    const Case cases[] = {
        {"abc", true, "fffe616263"},
        {"abc", false, "610062006300"},
        {"", true, ""},
        {"é", true, "e900"},                              // compressing would not be shorter
        {"ééé", true, "fffee9e9e9"},
        {"水", true, "346c"},
        {"a水b", true, "6100346c6200"},                   // nor here, with two mode switches
        {"abcdef水", true, "fffe61626364656600346c"},     // a two-byte run after a one-byte run
        {"Āa", true, "00016100"},                         // U+0100 ends in a zero byte: no compression
        {"🌊", true, "3cd80adf"},                         // a surrogate pair
        {"\xEF\xBB\xBF" "ab", false, "fffe00fffe006162"},  // U+FEFF first: compressed, or it reads as the marker
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::vector<char16_t> units;
        jet::toUtf16(c.utf8, units);
        std::vector<std::uint8_t> bytes;
        jet::appendJetText(units, c.allowCompression, bytes);
        std::string hex;
        for (std::uint8_t b : bytes) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        EXPECT_EQ(hex, c.hex) << c.utf8;
    }
    for (const char* malformed : {"\xC3", "\xED\xA0\x80", "\xC0\x80", "a\xFF"}) {
        std::vector<char16_t> units;
        EXPECT_THROW(jet::toUtf16(malformed, units), std::invalid_argument) << malformed;
    }
}

TEST(AccessWriterErrors, RefusesValuesItCannotStore) {
    struct Case {
        std::vector<ColumnDefinition> columns;
        std::vector<Cell> row;
        std::string message;
    };
    std::vector<ColumnDefinition> wide;
    for (int i = 0; i < 20; ++i) wide.push_back({"W" + std::to_string(i), ColumnType::Text, 255});
    const Case cases[] = {
        {{{"Name", ColumnType::Text, 3}}, {std::string("abcd")}, "T.Name: a text of 4 UTF-16 units is longer than 3 characters"},
        {{{"Name", ColumnType::Text, 3}}, {std::string("🌊🌊")}, "T.Name: a text of 4 UTF-16 units is longer than 3 characters"},
        {{{"N", ColumnType::Long}}, {std::string("1")}, "T.N: an integer column takes whole numbers"},
        {{{"N", ColumnType::Long}}, {std::int64_t{1} << 31}, "T.N: 2147483648 is out of the column's range"},
        {{{"D", ColumnType::DateTime}}, {1.5}, "T.D: a Date/Time column takes dates"},
        {{{"B", ColumnType::YesNo}}, {std::int64_t{1}}, "T.B: a Yes/No column takes true or false"},
        {{{"M", ColumnType::Memo}}, {std::string("a\xFF")}, "T.M: malformed UTF-8 at byte 1 of \"a\xFF\""},
        {{{"A", ColumnType::Long}, {"B", ColumnType::Long}}, {std::int64_t{1}}, "T: a row of 1 values for 2 columns"},
        {wide, std::vector<Cell>(20, Cell{repeated("水", 255)}), "T: a row of 10249 bytes does not fit in a page"},
    };
    const fs::path file = fs::temp_directory_path() / ("pontrel-access-writer-errors-" + std::to_string(::getpid()) + ".mdb");
    {
        jet::JetWriter writer(file.string());
        writer.beginTable("Twice", {{"A", ColumnType::Long}});
        writer.endTable();
        try {
            writer.addQuery({"TWICE", {}, {}, {}, "", {}, {}});
            ADD_FAILURE() << "a query took a table's name";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "TWICE: the database already holds an object of that name");
        }
        EXPECT_THROW(writer.beginTable("T", {{"a", ColumnType::Long}, {"A", ColumnType::Text}}), std::invalid_argument);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        jet::JetWriter writer(file.string());
        writer.beginTable("T", c.columns);
        try {
            writer.addRow(c.row);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    fs::remove(file);
}

}  // namespace
