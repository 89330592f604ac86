#include <gtest/gtest.h>

#include <fstream>

#include "ErrorOf.h"
#include "VessamoFixture.h"
#include "source/Connection.h"
#include "sqlite/DatabaseError.h"
#include "common/DayCount.h"
#include "jet/JetSql.h"
#include "sqlite/TextCollation.h"

using namespace pontrel::data;
using pontrel::testing::TempFolder;
using pontrel::testing::VessamoFixture;

namespace {

using pontrel::testing::errorOf;

std::vector<std::string> column(Recordset& rows, const std::string& name) {
    std::vector<std::string> out;
    int index = rows.fieldIndex(name);
    for (; !rows.eof(); rows.moveNext()) out.push_back(rows.isNull(index) ? "<null>" : rows.text(index));
    return out;
}

}  // namespace

TEST(DayCount, CalendarDatesAndDayCountsAgree) {
    struct Case {
        CivilTime civil;
        double days;
    } cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0},     {{1900, 1, 1, 0, 0, 0}, 2},
        {{2001, 3, 7, 0, 0, 0}, 36957},   {{2001, 3, 7, 10, 30, 0}, 36957.4375},
        {{1899, 12, 29, 6, 0, 0}, -1.25}, {{1800, 1, 1, 0, 0, 0}, -36522},
        {{2024, 2, 29, 23, 59, 59}, 45351 + 86399.0 / 86400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.days) + " days");
        EXPECT_DOUBLE_EQ(dateFromCivil(c.civil), c.days);
        CivilTime back = civilFromDate(c.days);
        EXPECT_EQ(back.year, c.civil.year);
        EXPECT_EQ(back.month, c.civil.month);
        EXPECT_EQ(back.day, c.civil.day);
        EXPECT_EQ(back.hour * 3600 + back.minute * 60 + back.second,
                  c.civil.hour * 3600 + c.civil.minute * 60 + c.civil.second);
    }
}

TEST(DayCount, IsoTextsReadAndWrite) {
    EXPECT_EQ(parseIsoDate("2001-03-07"), 36957.0);
    EXPECT_EQ(parseIsoDate("2001-03-07T10:30"), 36957.4375);
    EXPECT_EQ(parseIsoDate("2001-03-07 10:30:00"), 36957.4375);
    EXPECT_EQ(parseIsoDate("2001-03-07 10:30:00.6"), 36957.4375 + 1.0 / 86400);
    for (const char* bad : {"", "2001-3-7", "2001-02-29", "2001-13-01", "07-03-2001", "2001-03-07x",
                            "2001-03-07 25:00", "2001-03-07 10", "36957", "2001/03/07"})
        EXPECT_FALSE(parseIsoDate(bad).has_value()) << bad;
    EXPECT_EQ(isoDateText(36957), "2001-03-07");
    EXPECT_EQ(isoDateText(36957.4375), "2001-03-07T10:30:00");
    EXPECT_EQ(isoDateText(-1.25), "1899-12-29T06:00:00");
}

TEST(JetSql, DateLiteralsReadMonthFirstOrYearFirst) {
    struct Case {
        const char* text;
        std::optional<double> days;
    } cases[] = {
        {"03-07-2001", 36957},          {"3/7/2001", 36957},     {"2001-03-07", 36957},
        {"3/7/2001 10:30:00", 36957.4375}, {"3/7/2001 10:30 PM", 36957 + 22.5 / 24},
        {"12:00 AM", 0},                {"1/1/29", dateFromCivil({2029, 1, 1})},
        {"1/1/30", dateFromCivil({1930, 1, 1})}, {"13-01-2001", std::nullopt},
        {"02/30/2001", std::nullopt},   {"3/7-2001", std::nullopt}, {"", std::nullopt},
        {"tomorrow", std::nullopt},     {"3/7/2001 25:00", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseJetDateLiteral(c.text), c.days) << c.text;
}

TEST(JetSql, TranslatesOnlyOutsideTexts) {
    EXPECT_EQ(translateJetSql("Select * from Kelvash_Query WHERE (SampleDate =  #03-07-2001# )  ORDER BY ParameterName "),
              "Select * from Kelvash_Query WHERE (SampleDate =  36957 )  ORDER BY ParameterName ");
    EXPECT_EQ(translateJetSql("SELECT \"a\"\"b\" & 'c#1#' FROM [My Table] WHERE x = True OR y = FALSE"),
              "SELECT jet_concat('a\"b', 'c#1#') FROM \"My Table\" WHERE x = (-1) OR y = 0");
    EXPECT_EQ(translateJetSql("SELECT 'it''s'"), "SELECT 'it''s'");
    EXPECT_EQ(sqlQuote("O'Neil"), "'O''Neil'");
    EXPECT_EQ(errorOf([] { translateJetSql("SELECT 'open"); }),
              "The statement uses a text without its closing quote, which cannot be translated");
    EXPECT_EQ(errorOf([] { translateJetSql("SELECT #99/99/2001#", "Q1"); }),
              "The query 'Q1' uses the date literal #99/99/2001#, which cannot be translated");
}

TEST(TextCollation, IgnoresCaseButNotAccents) {
    EXPECT_EQ(compareText("Temperatura", "TEMPERATURA"), 0);
    EXPECT_EQ(compareText("ÁGUA", "água"), 0);
    EXPECT_EQ(compareText("Ωμέγα", "ΩΜΈΓΑ"), 0);
    EXPECT_NE(compareText("agua", "água"), 0);
    EXPECT_LT(compareText("b", "C"), 0);
    EXPECT_LT(compareText("a", "B"), 0);
    EXPECT_LT(compareText("pH", "PO4"), 0);
    EXPECT_LT(compareText("abc", "abcd"), 0);
    EXPECT_LT(compareText("Oxigénio", "Oxigenio2"), 0);  // accents weigh less than letters
    // The ASCII shortcut agrees with ICU wherever both apply.
    EXPECT_LT(compareText("a b", "ab"), 0);
    EXPECT_LT(compareText("a1", "ab"), 0);
}

TEST(SqliteHandle, DoubleQuotesOnlyEverName) {
    // An unknown name in double quotes fails the statement instead of becoming a text that
    // every row would give as its value.
    SqliteDatabase db(":memory:", SqliteDatabase::Mode::ReadWriteCreate);
    db.exec("CREATE TABLE t (\"a b\" INTEGER); INSERT INTO t VALUES (7)");
    SqliteStatement known = db.prepare("SELECT \"a b\" FROM t");
    ASSERT_TRUE(known.step());
    EXPECT_EQ(known.columnInt(0), 7);
    SqliteStatement unknown;
    EXPECT_EQ(db.tryPrepare("SELECT \"nothere\" FROM t WHERE \"a b\" = 7", &unknown), "no such column: nothere");
    EXPECT_EQ(db.tryPrepare("SELECT 1 FROM t WHERE \"a b\" = \"x\"", &unknown), "no such column: x");
    EXPECT_EQ(errorOf([&] { db.exec("CREATE TABLE u (a INTEGER CHECK (\"nothere\" <> ''))"); }),
              "The database ':memory:' failed: no such column: nothere");
}

class SqliteSourceTest : public ::testing::Test {
protected:
    VessamoFixture fixture;
};

TEST_F(SqliteSourceTest, SortsAndComparesTextsWithoutRegardToCase) {
    using pontrel::testing::Cell;
    fixture.params = {Cell{std::string("b")}, Cell{std::string("Água")}, Cell{std::string("a")},
                      Cell{}, Cell{std::string("B")}, Cell{std::string("")}, Cell{std::string("A")}};
    Connection db(fixture.write());
    auto rows = db.execute("Select * from Params ORDER BY ParameterName ");
    // NULL first, the empty text next (not NULL), ties in stored order.
    EXPECT_EQ(column(*rows, "parametername"),
              (std::vector<std::string>{"<null>", "", "a", "A", "Água", "b", "B"}));
    auto matching = db.execute("Select * from Params WHERE ParameterName = 'AGUA'");
    EXPECT_TRUE(matching->eof());
    matching = db.execute("Select * from Params WHERE ParameterName = 'ÁGUA'");
    EXPECT_EQ(column(*matching, "ParameterName"), std::vector<std::string>{"Água"});
}

TEST_F(SqliteSourceTest, DatesBecomeDayCountsAndCompareWithLiterals) {
    using pontrel::testing::Cell;
    fixture.sampleDates = {Cell{std::string("2001-03-07 10:30")}, Cell{std::string("2001-03-07")},
                           Cell{}, Cell{std::string("1999-12-31T23:59:59")}};
    Connection db(fixture.write());
    auto rows = db.execute("Select * from Samples ORDER BY SampleDate");
    EXPECT_EQ(column(*rows, "SampleDate"),
              (std::vector<std::string>{"<null>", "36525.99998842592", "36957", "36957.4375"}));
    auto exact = db.execute("Select * from Samples WHERE SampleDate = #03-07-2001#");
    EXPECT_EQ(column(*exact, "SampleDate"), std::vector<std::string>{"36957"});
}

TEST_F(SqliteSourceTest, ABadDateNamesTableColumnAndRow) {
    using pontrel::testing::Cell;
    fixture.sampleDates = {Cell{std::string("2001-03-07")}, Cell{std::string("07/03/2001")}};
    std::string path = fixture.write();
    Connection db(path);
    EXPECT_EQ(errorOf([&] { db.execute("Select * from Samples"); }),
              "The column 'SampleDate' of the table 'Samples' in '" + path +
                  "' holds '07/03/2001' in row 2, which is not a date (YYYY-MM-DD, optionally "
                  "with HH:MM[:SS])");
    // Only what a statement names is loaded: the damaged table does not stop other reads.
    EXPECT_NO_THROW(db.execute("Select * from Params"));
}

TEST_F(SqliteSourceTest, SampleDatesAreDatesWhateverTheirDeclaredType) {
    std::string path = fixture.write();
    {
        SqliteDatabase raw(path, SqliteDatabase::Mode::ReadWriteCreate);
        raw.exec("CREATE TABLE Taken (Id INTEGER, SampleDate TEXT, Stamp TEXT);"
                 "INSERT INTO Taken VALUES (1, '2001-03-07 10:30', '2001-03-08T06:00:00'),"
                 " (2, NULL, NULL), (3, '2001-03-06', '2001-03-07 23:59');"
                 "CREATE VIEW Daily AS SELECT Id, date(Stamp) AS SampleDate FROM Taken;");
    }
    Connection db(path);
    auto table = db.execute("Select * from Taken WHERE SampleDate >= #03-07-2001# ORDER BY SampleDate");
    EXPECT_EQ(column(*table, "SampleDate"), std::vector<std::string>{"36957.4375"});
    auto view = db.execute("Select * from Daily WHERE SampleDate >= #03-07-2001# And SampleDate < "
                           "#03-08-2001#");
    EXPECT_EQ(column(*view, "Id"), std::vector<std::string>{"3"});
    // Other text columns stay texts.
    auto stamps = db.execute("Select Stamp from Taken WHERE Id = 1");
    EXPECT_EQ(stamps->kind(0), Recordset::Kind::Text);
}

TEST_F(SqliteSourceTest, ATextSampleDateThatIsNoDateNamesItsTableOrQueryColumnAndRow) {
    std::string path = fixture.write();
    {
        SqliteDatabase raw(path, SqliteDatabase::Mode::ReadWriteCreate);
        raw.exec("CREATE TABLE Taken (Id INTEGER, SampleDate TEXT);"
                 "INSERT INTO Taken VALUES (1, '2001-03-07'), (2, NULL), (3, 'yesterday');"
                 "CREATE TABLE Log (Id INTEGER, Stamp TEXT);"
                 "INSERT INTO Log VALUES (1, '2001-03-07'), (2, '7/3/2001'), (3, 'noon');"
                 "CREATE VIEW Renamed AS SELECT Id, Stamp AS SampleDate FROM Log;"
                 // An index that orders the bad value first does not change the row named.
                 "CREATE TABLE Indexed (Id INTEGER, SampleDate TEXT);"
                 "INSERT INTO Indexed VALUES (1, '2001-03-08'), (2, '2001-03-07'), (3, '0 bad');"
                 "CREATE INDEX IndexedByDate ON Indexed (SampleDate);");
    }
    EXPECT_EQ(errorOf([&] { Connection(path).execute("Select * from Indexed"); }),
              "The column 'SampleDate' of the table 'Indexed' in '" + path +
                  "' holds '0 bad' in row 3, which is not a date (YYYY-MM-DD, optionally with "
                  "HH:MM[:SS])");
    EXPECT_EQ(errorOf([&] { Connection(path).execute("Select * from Taken"); }),
              "The column 'SampleDate' of the table 'Taken' in '" + path +
                  "' holds 'yesterday' in row 3, which is not a date (YYYY-MM-DD, optionally with "
                  "HH:MM[:SS])");
    // A view can make its SampleDate from a column that is no date column of its table.
    EXPECT_EQ(errorOf([&] { Connection(path).execute("Select * from Renamed"); }),
              "The column 'SampleDate' of the query 'Renamed' in '" + path +
                  "' holds '7/3/2001' in row 2, which is not a date (YYYY-MM-DD, optionally with "
                  "HH:MM[:SS])");
}

// A large table's dates are checked in two halves on two handles; a bad date on either side of
// the division, or at either end, is found and named as in a small table.
TEST_F(SqliteSourceTest, ABadDateInEitherHalfOfALargeTableIsNamed) {
    std::string path = fixture.write();
    constexpr int kRows = 70001;  // rowids 1 to 70001: the halves meet between 35001 and 35002
    SqliteDatabase raw(path, SqliteDatabase::Mode::ReadWriteCreate);
    raw.exec("CREATE TABLE Big (Id INTEGER, SampleDate TEXT);"
             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
             std::to_string(kRows) + ") INSERT INTO Big SELECT i, '2001-03-07' FROM n;");
    EXPECT_EQ(column(*Connection(path).execute("Select Count(*) As N from Big"), "N"),
              std::vector<std::string>{std::to_string(kRows)});
    for (int row : {1, 35001, 35002, kRows}) {
        SCOPED_TRACE(row);
        raw.exec("UPDATE Big SET SampleDate = 'noon' WHERE rowid = " + std::to_string(row));
        EXPECT_EQ(errorOf([&] { Connection(path).execute("Select * from Big"); }),
                  "The column 'SampleDate' of the table 'Big' in '" + path + "' holds 'noon' in row " +
                      std::to_string(row) + ", which is not a date (YYYY-MM-DD, optionally with HH:MM[:SS])");
        raw.exec("UPDATE Big SET SampleDate = '2001-03-07' WHERE rowid = " + std::to_string(row));
    }
    // Rowids at both ends of their range: two rows, yet halves apart.
    raw.exec("CREATE TABLE Far (SampleDate TEXT); INSERT INTO Far (rowid, SampleDate) VALUES "
             "(-9223372036854775808, '2001-03-07'), (9223372036854775807, 'noon');");
    EXPECT_EQ(errorOf([&] { Connection(path).execute("Select * from Far"); }),
              "The column 'SampleDate' of the table 'Far' in '" + path +
                  "' holds 'noon' in row 2, which is not a date (YYYY-MM-DD, optionally with HH:MM[:SS])");
}

TEST_F(SqliteSourceTest, MissingObjectsAndFieldsAreNamed) {
    std::string path = fixture.write();
    Connection db(path);
    EXPECT_EQ(errorOf([&] { db.execute("Select * from Stations"); }),
              "The table or query 'Stations' does not exist in '" + path + "'");
    EXPECT_EQ(errorOf([&] { db.execute("Select Depth from Params"); }),
              "The field 'Depth' does not exist in '" + path + "' (in 'Select Depth from Params')");
    auto rows = db.execute("Select * from Params");
    EXPECT_EQ(errorOf([&] { rows->fieldIndex("Depth"); }),
              "The field 'Depth' does not exist in the rows of 'Select * from Params'");
}

TEST_F(SqliteSourceTest, AQueryThatFailsWhileItsRowsAreReadIsNamed) {
    std::string path = fixture.write();
    {
        SqliteDatabase raw(path, SqliteDatabase::Mode::ReadWriteCreate);
        raw.exec("INSERT INTO Params (ParameterName) VALUES ('pH');"
                 "CREATE VIEW Checked AS SELECT json(ParameterName) AS J FROM Params;"
                 "CREATE VIEW Outer2 AS SELECT J FROM Checked");
    }
    Connection db(path);
    const std::string cause = "' in '" + path + "' cannot be read: malformed JSON";
    EXPECT_EQ(errorOf([&] { db.execute("Select * from Checked WHERE J <> 'x'")->eof(); }),
              "The query 'Checked" + cause);
    // A query that reads the failing one is the query the user asked for.
    EXPECT_EQ(errorOf([&] { db.execute("Select J from [outer2]")->eof(); }), "The query 'Outer2" + cause);
    EXPECT_EQ(errorOf([&] { db.execute("Select * from Checked, Outer2")->eof(); }),
              "The queries 'Checked' and 'Outer2" + cause);
}

TEST_F(SqliteSourceTest, ViewsBringTheirTablesAlong) {
    std::string path = fixture.write();
    {
        SqliteDatabase raw(path, SqliteDatabase::Mode::ReadWriteCreate);
        raw.exec("CREATE TABLE Other (x DATE); INSERT INTO Other VALUES ('not a date');"
                 "CREATE VIEW Inner1 AS SELECT ParameterName AS N FROM Params;"
                 "CREATE VIEW Outer1 AS SELECT N FROM Inner1 WHERE N <> 'x';"
                 "INSERT INTO Params (ParameterName) VALUES ('pH');");
    }
    Connection db(path);
    auto rows = db.execute("Select * from Outer1");
    EXPECT_EQ(column(*rows, "N"), std::vector<std::string>{"pH"});
}

TEST(SourceFiles, UnreadableFilesGetClearMessages) {
    TempFolder folder;
    std::string empty = folder.file("empty.mdb");
    std::ofstream(empty).close();
    std::string text = folder.file("notes.mdb");
    std::ofstream(text) << "Sampling notes, not a database\n";
    std::string fakeSqlite = folder.file("broken.sqlite");
    std::ofstream(fakeSqlite) << std::string("SQLite format 3\0", 16) << std::string(200, 'x');

    EXPECT_EQ(errorOf([&] { Connection c(folder.file("missing.mdb")); }),
              "The database file '" + folder.file("missing.mdb") +
                  "' could not be opened: No such file or directory");
    EXPECT_EQ(errorOf([&] { Connection c(folder.path()); }),
              "'" + folder.path() + "' is a folder, not a database file");
    for (const std::string& path : {empty, text})
        EXPECT_EQ(errorOf([&] { Connection c(path); }),
                  "The file '" + path + "' is not a database that can be read (neither an Access "
                  "nor a SQLite database)");
    EXPECT_NE(errorOf([&] { Connection c(fakeSqlite); })
                  .find("could not be read as a SQLite database"),
              std::string::npos);
}

TEST(ConnectionString, NamesTheFileBetweenItsQuotes) {
    EXPECT_EQ(Connection::dataSourceOf("Provider=Microsoft.Jet.OLEDB.4.0;Data Source = 'C:\\Data\\Tejo''s.mdb' ;Persist Security Info=False"),
              "C:\\Data\\Tejo''s.mdb");
    EXPECT_EQ(Connection::dataSourceOf("/data/O'Neil's samples.mdb"), "/data/O'Neil's samples.mdb");
    EXPECT_EQ(Connection::dataSourceOf("Provider=x;Data Source = '/a/it's.mdb' ;Persist Security Info=False"),
              "/a/it's.mdb");
}
