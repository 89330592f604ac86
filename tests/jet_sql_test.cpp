// The Jet dialect: what translated statements compute on the working database (Jet's operators,
// functions, Like patterns, TOP with ties, case-blind texts), and the constructs that are refused
// by name instead of being run with another meaning.

#include <gtest/gtest.h>

#include "ErrorOf.h"
#include <map>

#include "data/DatabaseError.h"
#include "data/DayCount.h"
#include "data/JetFunctions.h"
#include "data/JetSql.h"
#include "data/WorkingDatabase.h"

using namespace pontrel::data;

namespace {

using pontrel::testing::errorOf;

// Column types for the translator, as the Access loader reports them.
class FixedSchema : public JetSchema {
public:
    std::optional<Relation> relation(const std::string& name) override {
        if (name != "t") return std::nullopt;
        Relation r;
        r.columns = {{"id", JetType::Number}, {"name", JetType::Text}, {"n", JetType::Number},
                     {"d", JetType::Date},    {"flag", JetType::Bool}};
        return r;
    }
};

class JetOnWorkingDatabase : public ::testing::Test {
protected:
    JetOnWorkingDatabase() {
        work_.sql().exec(
            "CREATE TABLE t (id INTEGER, name TEXT COLLATE JETTEXT, n DOUBLE, d \"DATETIME REAL\", flag \"YESNO INTEGER\");"
            "INSERT INTO t VALUES (1, 'Água', 2.5, 36957.4375, -1), (2, 'beta', NULL, NULL, 0),"
            " (3, NULL, -7, 0.75, 0), (4, '', 10, -1.25, -1);"
            "CREATE TABLE s (v INTEGER); INSERT INTO s VALUES (3), (5), (4), (4), (1);");
    }

    std::string translate(const std::string& jet) {
        JetTranslateOptions options;
        options.context = "Q";
        options.schema = &schema_;
        return translateJet(jet, options).sql;
    }

    // The rows of a Jet statement, each as its values joined by '|'.
    std::vector<std::string> rows(const std::string& jet) {
        SqliteStatement statement = work_.sql().prepare(translate(jet));
        std::vector<std::string> out;
        while (statement.step()) {
            std::string line;
            for (int c = 0; c < statement.columnCount(); ++c) {
                if (c) line += "|";
                line += statement.columnType(c) == SqliteStatement::Type::Null ? "NULL"
                                                                               : std::string(statement.columnText(c));
            }
            out.push_back(line);
        }
        return out;
    }

    // One expression evaluated on the row with that id.
    std::string value(const std::string& expression, int id = 1) {
        std::vector<std::string> r = rows("SELECT " + expression + " FROM t WHERE id = " + std::to_string(id));
        return r.size() == 1 ? r[0] : "(" + std::to_string(r.size()) + " rows)";
    }

    WorkingDatabase work_;
    FixedSchema schema_;
};

TEST_F(JetOnWorkingDatabase, OperatorsKeepJetsMeaningAndPrecedence) {
    struct Case {
        const char* expression;
        int id;
        const char* result;
    } cases[] = {
        {"name & Null", 1, "Água"},        {"Null & Null", 1, "NULL"},      {"n & ''", 1, "2.5"},
        {"id + 1 & 'x'", 1, "2x"},          {"'a' + 'b'", 1, "ab"},          {"'1' + 2", 1, "3"},
        {"name + Null", 1, "NULL"},         {"7 / 2", 1, "3.5"},             {"7 \\ 2", 1, "3"},
        {"2.5 \\ 1", 1, "2"},               {"-7 Mod 3", 1, "-1"},           {"7 Mod 2.5", 1, "1"},
        {"-2 ^ 2", 1, "-4.0"},              {"2 ^ -1", 1, "0.5"},            {"d + 1", 1, "36958.4375"},
        {"-(n > 1)", 1, "1"},                {"n--1", 1, "3.5"},
        {"flag = True", 1, "-1"},           {"n > 1", 1, "-1"},              {"Not (n > 1)", 1, "0"},
        {"n > 1 And flag", 1, "-1"},        {"Not flag", 2, "-1"},           {"n Is Null", 2, "-1"},
        {"n Between 2 And 3", 1, "-1"},     {"name In ('ÁGUA', 'x')", 1, "-1"},
        {"name = 'ÁGUA'", 1, "-1"},         {"UCase(name) = 'água'", 1, "-1"},
        {"name = 'agua'", 1, "0"},          {"&HFF + &O17", 1, "270"},       {"#3/7/2001 10:30#", 1, "36957.4375"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(c.expression, c.id), c.result) << c.expression;
}

TEST_F(JetOnWorkingDatabase, FunctionsComputeWhatJetComputes) {
    struct Case {
        const char* expression;
        int id;
        const char* result;
    } cases[] = {
        {"Left(name, 1)", 1, "Á"},              {"Right(name, 2)", 1, "ua"},
        {"Right(name, 0)", 1, ""},              {"Mid(name, 2, 2)", 1, "gu"},
        {"Mid(name, 3)", 1, "ua"},              {"Mid(name, 9)", 1, ""},
        {"Len(name)", 1, "4"},                  {"Len(n)", 1, "3"},
        {"Len(Null)", 1, "NULL"},               {"Left(Null, 2)", 1, "NULL"},
        {"UCase(name)", 1, "ÁGUA"},             {"LCase(name)", 1, "água"},
        {"Trim('  x  ') & '|'", 1, "x|"},       {"LTrim('  x ') & '|'", 1, "x |"},
        {"RTrim('  x ') & '|'", 1, "  x|"},     {"Int(-2.5)", 1, "-3.0"},
        {"Fix(-2.5)", 1, "-2.0"},               {"Int(d)", 1, "36957.0"},
        {"Val(' 12.5abc')", 1, "12.5"},         {"Val('1 2 3')", 1, "123"},
        {"Val('x')", 1, "0"},                   {"Val('&H10')", 1, "16"},
        {"CDbl('1.5')", 1, "1.5"},              {"CStr(n)", 1, "2.5"},
        {"CStr(1E+16)", 1, "1E+16"},            {"CStr(0.00001)", 1, "1E-05"},
        {"CLng(2.5)", 1, "2"},                  {"CLng(3.5)", 1, "4"},
        {"CInt('7')", 1, "7"},                  {"Abs(-3)", 1, "3"},
        {"Sgn(-0.5)", 1, "-1"},                 {"Round(2.5)", 1, "2"},
        {"Round(3.5)", 1, "4"},                 {"Round(1.2345, 2)", 1, "1.23"},
        {"Year(d) & '-' & Month(d) & '-' & Day(d)", 1, "2001-3-7"},
        {"Hour(d) & ':' & Minute(d) & ':' & Second(d)", 1, "10:30:0"},
        {"Weekday(d)", 1, "4"},                 {"Day(d)", 4, "29"},
        {"Hour(d)", 4, "6"},                    {"DateSerial(2001, 14, 0)", 1, "37287"},
        {"DateSerial(99, 1, 1)", 1, "36161"},   {"CDate('2001-03-07')", 1, "36957.0"},
        {"IIf(flag, 'yes', 'no')", 1, "yes"},   {"IIf(flag, 'yes', 'no')", 2, "no"},
        {"IIf(n > 100, 1, Null)", 1, "NULL"},   {"Nz(n, 0)", 2, "0"},
        {"Nz(n) & '|'", 2, "|"},                {"Nz(n)", 1, "2.5"},
        {"Format(d, 'yyyy-mm-dd hh:nn:ss')", 1, "2001-03-07 10:30:00"},
        {"Format(d, 'd/m/yy h:nn AM/PM')", 1, "7/3/01 10:30 AM"},
        {"Format(d, 'hh\\h nn')", 3, "18h 00"},  {"Format(d, 'q')", 1, "1"},
        {"Format(1234.5, '#,##0.00')", 1, "1,234.50"},
        {"Format(0.125, '0.00')", 1, "0.13"},   {"Format(1.005, '0.00')", 1, "1.01"},
        {"Format(0.5, '0%')", 1, "50%"},        {"Format(5, '0.##')", 1, "5."},
        {"Format(0.5, '#.00')", 1, ".50"},      {"Format(-3.14159, 'Fixed')", 1, "-3.14"},
        {"Format(1234567, 'Standard')", 1, "1,234,567.00"},
        {"Format(7, '000')", 1, "007"},         {"Format(flag, 'Yes/No')", 1, "Yes"},
        {"Format(n)", 1, "2.5"},                {"Format(Null, '0')", 1, "NULL"},
        {"Count(*)", 1, "1"},                   {"Max(name)", 1, "Água"},
        {"IsNull(n)", 2, "-1"},                 {"IIf(IsNull(name), 'none', name)", 3, "none"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(c.expression, c.id), c.result) << c.expression;
}

TEST_F(JetOnWorkingDatabase, LikeUsesJetsWildcards) {
    struct Case {
        const char* text;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"abc", "a*", true},      {"abc", "A?C", true},    {"abc", "a?", false},   {"a1c", "a#c", true},
        {"abc", "a#c", false},    {"abc", "a[a-c]c", true}, {"abc", "a[!b]c", false}, {"adc", "a[!b]c", true},
        {"a*c", "a[*]c", true},   {"abc", "a[*]c", false}, {"B", "[a-c]", true},    {"", "*", true},
        {"Água", "á*", true},     {"Água", "a*", false},   {"ação", "*ÇÃO", true},   {"a-b", "a[-]b", true},
        {"abc", "*b*", true},     {"abxbcd", "*b?d", true}, {"abcbd", "*b?d", false}, {"x%y", "x%y", true},     {"xzy", "x%y", false},
        {"x_y", "x_y", true},     {"xzy", "x_y", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jetLike(c.text, c.pattern), c.matches) << c.text << " Like " << c.pattern;
        std::string jet = "'" + std::string(c.text) + "' Like '" + c.pattern + "'";
        EXPECT_EQ(value(jet), c.matches ? "-1" : "0") << jet;
    }
    EXPECT_EQ(value("name Like Null"), "NULL");
    EXPECT_EQ(rows("SELECT id FROM t WHERE name Not Like 'B*' ORDER BY id"), (std::vector<std::string>{"1", "4"}));
}

TEST_F(JetOnWorkingDatabase, TopKeepsTiesAndOrdersCaseBlind) {
    EXPECT_EQ(rows("SELECT TOP 2 v FROM s ORDER BY v DESC"), (std::vector<std::string>{"5", "4", "4"}));
    EXPECT_EQ(rows("SELECT TOP 3 v, v * 2 FROM s ORDER BY v"), (std::vector<std::string>{"1|2", "3|6", "4|8", "4|8"}));
    EXPECT_EQ(rows("SELECT TOP 1 v FROM s").size(), 1u);
    EXPECT_EQ(rows("SELECT DISTINCTROW id FROM t WHERE id < 3 ORDER BY id"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(rows("SELECT name FROM t WHERE name > '' ORDER BY UCase(name) DESC"),
              (std::vector<std::string>{"beta", "Água"}));
    EXPECT_EQ(rows("SELECT id FROM t ORDER BY name, id"), (std::vector<std::string>{"3", "4", "1", "2"}));
}

TEST_F(JetOnWorkingDatabase, RuntimeErrorsAreJetsErrors) {
    struct Case {
        const char* expression;
        const char* message;
    } cases[] = {
        {"Left(name, -1)", "The function Left was given a negative length"},
        {"Mid(name, 0)", "The function Mid was given a start before the first character"},
        {"1 / 0", "The operator / was asked to divide by zero"},
        {"5 Mod 0", "The operator Mod was asked to divide by zero"},
        {"CStr(Null)", "The function CStr was given Null"},
        {"CDbl('abc')", "The function CDbl cannot use the text 'abc' as a number"},
        {"'a' + 1", "The operator + cannot use the text 'a' as a number"},
        {"CInt(40000)", "The function CInt was given a number outside its range"},
        {"CDate('7/3/2001')", "The function CDate cannot read the text '7/3/2001' as a date"},
        {"Format(name, '[' & '')", "The function Format cannot use a format without placeholders"},
        {"name Like 'x[' & 'y'", "The Like pattern has a '[' without its closing ']'"},
    };
    for (const Case& c : cases) {
        std::string error = errorOf([&] { value(c.expression); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.expression << ": " << error;
    }
}

TEST(JetTranslation, WritesSqliteWithJetsPrecedence) {
    struct Case {
        const char* jet;
        const char* sqlite;
    } cases[] = {
        {"SELECT a & b FROM t", "SELECT jet_concat(a, b) FROM t"},
        {"SELECT a + b * 2 & c FROM t", "SELECT jet_concat(jet_add(a, b * 2), c) FROM t"},
        {"SELECT -2^2, 2^3^2 FROM t", "SELECT -jet_power(2, 2), jet_power(jet_power(2, 3), 2) FROM t"},
        {"SELECT 7 \\ 2 Mod 3 / 4 FROM t", "SELECT jet_mod(jet_intdiv(7, 2), jet_divide(3, 4)) FROM t"},
        {"SELECT a = b AS same FROM t", "SELECT -(a = b) AS same FROM t"},
        {"SELECT * FROM t WHERE UCase(a) = 'X'", "SELECT * FROM t WHERE jet_ucase(a) = 'X' COLLATE JETTEXT"},
        {"SELECT * FROM t WHERE a = 'X' OR (b) <> 'y'", "SELECT * FROM t WHERE a = 'X' OR (b) <> 'y'"},
        {"SELECT * FROM t WHERE Not a = 1 And b Or c", "SELECT * FROM t WHERE Not a = 1 And b Or c"},
        {"SELECT TOP 2 a FROM t", "SELECT a FROM t LIMIT 2"},
        {"SELECT DISTINCTROW a FROM t", "SELECT a FROM t"},
        {"SELECT IIf(a > 1, 'x', Null) FROM t", "SELECT CASE WHEN a > 1 THEN 'x' ELSE Null END FROM t"},
        {"SELECT Nz(a), Nz(a, 0) FROM t", "SELECT coalesce(a, ''), coalesce(a, 0) FROM t"},
        {"SELECT [Order].[Group] FROM [Order]", "SELECT \"Order\".\"Group\" FROM \"Order\""},
        {"SELECT a FROM t WITH OWNERACCESS OPTION;", "SELECT a FROM t"},
        {"SELECT a--b, a-#12/29/1899 6:00#, -(a > b) FROM t", "SELECT a- -b, a- -1.25, - -((a > b)) FROM t"},
        {"SELECT Count(*) AS n FROM (SELECT a FROM t) AS q", "SELECT Count(*) AS n FROM (SELECT a FROM t) AS q"},
    };
    for (const Case& c : cases) EXPECT_EQ(translateJetSql(c.jet), c.sqlite) << c.jet;
}

TEST(JetTranslation, SavedQueriesNameTheirColumnsAsJetDoes) {
    JetTranslateOptions options;
    options.savedQuery = true;
    EXPECT_EQ(translateJet("SELECT a, a * 2, UCase(b), a + 1 FROM t", options).sql,
              "SELECT a, a * 2 AS \"Expr1000\", jet_ucase(b) COLLATE JETTEXT AS \"Expr1001\", "
              "jet_add(a, 1) COLLATE JETTEXT AS \"Expr1002\" FROM t");
    JetTranslation t = translateJet(
        "SELECT x FROM a INNER JOIN B ON a.k = b.k WHERE x IN (SELECT y FROM c) AND EXISTS (SELECT * FROM A)",
        options);
    EXPECT_EQ(t.relations, (std::vector<std::string>{"a", "B", "c"}));

    // The columns joins compare for equality, through aliases, parentheses and And.
    JetTranslation joins = translateJet(
        "SELECT x FROM (T AS p INNER JOIN U ON (p.k = U.k) AND (p.j = U.j)) LEFT JOIN V ON U.m > V.m",
        options);
    std::vector<std::string> keys;
    for (const auto& c : joins.joinColumns) keys.push_back(c.relation + "." + c.column);
    EXPECT_EQ(keys, (std::vector<std::string>{"T.k", "U.k", "T.j", "U.j"}));
}

TEST(JetTranslation, RefusesWhatItCannotGiveTheSameMeaning) {
    struct Case {
        std::string jet;
        const char* construct;
    } cases[] = {
        {"SELECT a Xor b FROM t", "uses the operator XOR"},
        {"SELECT TOP 10 PERCENT a FROM t", "uses TOP ... PERCENT"},
        {"SELECT TOP 2 DISTINCT a FROM t", "cannot be read: unexpected 'DISTINCT'"},
        {"SELECT DISTINCT TOP 2 a FROM t ORDER BY a", "uses TOP with DISTINCT and ORDER BY"},
        {"SELECT TOP 2 * FROM t ORDER BY a", "uses TOP with ORDER BY over '*' of tables it does not know"},
        {"SELECT First(a) FROM t", "uses the function First"},
        {"SELECT StDev(a) FROM t", "uses the function StDev"},
        {"SELECT Count(DISTINCT a) FROM t", "uses DISTINCT inside a function"},
        {"SELECT Left(a) FROM t", "uses the function Left with 1 argument"},
        {"SELECT Format(d, 'mmm') FROM t", "uses Format with month names (mmm) ('mmm')"},
        {"SELECT Format(d, 'Short Date') FROM t",
         "uses Format with the named format 'Short Date', which depends on regional settings ('Short Date')"},
        {"SELECT a FROM t WHERE a Like 'x[y'", "uses the Like pattern 'x[y' (a '[' without its ']')"},
        {"SELECT DISTINCTROW a.x FROM a INNER JOIN b ON a.k = b.k", "uses DISTINCTROW over several tables"},
        {"UPDATE t SET a = 1", "uses the statement UPDATE (only SELECT statements are read)"},
        {"SELECT a FROM t UNION SELECT b FROM u", "uses UNION"},
        {"PARAMETERS x Long; SELECT a FROM t", "uses a PARAMETERS declaration"},
        {"TRANSFORM Count(x) SELECT a FROM t GROUP BY a PIVOT b", "uses a crosstab (TRANSFORM ... PIVOT)"},
        {"SELECT Forms!f!c FROM t", "uses the '!' operator (a form reference)"},
        {"SELECT a FROM t ORDER BY 1", "uses ORDER BY a number"},
        {"SELECT a FROM db.t", "uses a table of another database (db.)"},
        {"SELECT a FROM t IN 'x.mdb'", "uses a table of another database (IN)"},
        {"SELECT a FROM t FULL JOIN u ON t.k = u.k", "uses a JOIN without INNER, LEFT or RIGHT"},
        {"SELECT a FROM t WHERE", "cannot be read: it ends too early"},
        {"SELECT a FROM (t", "cannot be read: expected ')', found the end"},
        {"SELECT a FROM t WHERE a = 'x", "uses a text without its closing quote"},
        {"SELECT " + std::string(300, '(') + "1" + std::string(300, ')') + " FROM t", "uses more than 200 levels of nesting"},
        {"SELECT " + std::string(300, '-') + "1 FROM t", "uses more than 200 levels of nesting"},
        {"SELECT 1" + [] { std::string s; for (int i = 0; i < 1200; ++i) s += " + 1"; return s; }() + " FROM t",
         "uses more than 1000 operators in a row"},
    };
    for (const Case& c : cases) {
        std::string error = errorOf([&] { translateJetSql(c.jet, "Q"); });
        EXPECT_EQ(error.rfind(std::string("The query 'Q' ") + c.construct, 0), 0u) << c.jet << "\n  " << error;
    }
}

TEST(JetTranslation, RefusesTextOperationsOnDatesAndBitwiseLogic) {
    FixedSchema schema;
    JetTranslateOptions options;
    options.context = "Q";
    options.schema = &schema;
    struct Case {
        const char* jet;
        const char* message;
    } cases[] = {
        {"SELECT Left(d, 2) FROM t", "uses Left of a date, which Jet turns into text by regional settings"},
        {"SELECT CStr(flag) FROM t", "uses CStr of a Yes/No value, which Jet turns into text by regional settings"},
        {"SELECT name & d FROM t", "uses & on a date, which Jet writes by regional settings"},
        {"SELECT Format(d) FROM t", "uses Format of a date without a pattern, which depends on regional settings"},
        {"SELECT id FROM t WHERE Not n", "uses Not on a number (Jet computes it bit by bit)"},
        {"SELECT id FROM t WHERE id And 2", "uses AND on a number (Jet computes it bit by bit)"},
        {"SELECT name - 1 FROM t", "uses the operator - on a text"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf([&] { translateJet(c.jet, options); }), std::string("The query 'Q' ") + c.message +
                                                                      ", which cannot be translated")
            << c.jet;
    EXPECT_EQ(errorOf([&] { translateJet("SELECT Left(name, 2) & Format(d, 'yyyy') FROM t WHERE Not flag", options); }),
              "(no error)");
}

}  // namespace
