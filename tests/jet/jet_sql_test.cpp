// The Jet dialect: what translated statements compute on the working database (Jet's operators,
// functions, Like patterns, TOP with ties, case-blind texts), and the constructs that are refused
// by name instead of being run with another meaning.

#include <gtest/gtest.h>

#include "ErrorOf.h"
#include <map>

#include "sqlite/DatabaseError.h"
#include "common/DayCount.h"
#include "jet/JetFunctions.h"
#include "jet/JetSql.h"
#include "jet/WorkingDatabase.h"
#include "SqlRows.h"

using namespace pontrel::data;

namespace {

using pontrel::testing::errorOf;

// Column types for the translator, as the Access loader reports them.
class FixedSchema : public JetSchema {
public:
    std::optional<Relation> relation(const std::string& name) override {
        Relation r;
        if (name == "t")
            r.columns = {{"id", JetType::Number}, {"name", JetType::Text}, {"n", JetType::Number},
                         {"d", JetType::Date},    {"flag", JetType::Bool}};
        else if (name == "cust")
            r.columns = {{"id", JetType::Number}, {"name", JetType::Text}};
        else if (name == "g")
            r.columns = {{"k", JetType::Text}, {"v", JetType::Number}};
        else if (name == "ord")
            r.columns = {{"id", JetType::Number}, {"cust", JetType::Number}, {"amount", JetType::Number}};
        else if (name == "a")
            r.columns = {{"k", JetType::Number}, {"x", JetType::Text}, {"y", JetType::Text}};
        else if (name == "b")
            r.columns = {{"k", JetType::Number}, {"x", JetType::Text}, {"z", JetType::Text}};
        else if (name == "c")
            r.columns = {{"k", JetType::Number}, {"q", JetType::Text}};
        else
            return std::nullopt;
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
            "CREATE TABLE s (v INTEGER); INSERT INTO s VALUES (3), (5), (4), (4), (1);"
            // Two customers share a name; customer 1 has two orders, one of customer 2's has no
            // amount.
            "CREATE TABLE cust (id INTEGER, name TEXT COLLATE JETTEXT);"
            "INSERT INTO cust VALUES (1, 'Ann'), (2, 'Bob'), (3, 'ann');"
            "CREATE TABLE ord (id INTEGER, cust INTEGER, amount DOUBLE);"
            "INSERT INTO ord VALUES (10, 1, 5), (11, 1, 7), (12, 2, NULL), (13, 2, 3), (14, 3, 1);"
            // Groups read in this order: a = 2, 4, Null, 9; b = Null, 5; c = Null; w = four values near
            // 1e9 whose squares lose the deviations in a plain sum of squares.
            "CREATE TABLE g (k TEXT, v DOUBLE);"
            "INSERT INTO g VALUES ('a', 2), ('b', NULL), ('w', 1000000004), ('a', 4), ('b', 5), ('a', NULL),"
            " ('w', 1000000007), ('c', NULL), ('a', 9), ('w', 1000000013), ('w', 1000000016);"
            "CREATE TABLE \"Order Details\" (qty INTEGER, \"Yes\" INTEGER); INSERT INTO \"Order Details\" VALUES (6, 9);"
            // Three tables that share column names, as a nested join reads them.
            "CREATE TABLE a (k INTEGER, x TEXT, y TEXT); INSERT INTO a VALUES (1, 'a1', 'y1'), (2, 'a2', 'y2');"
            "CREATE TABLE b (k INTEGER, x TEXT, z TEXT); INSERT INTO b VALUES (1, 'b1', 'z1');"
            "CREATE TABLE c (k INTEGER, q TEXT); INSERT INTO c VALUES (1, 'q1'), (2, 'q2');");
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
        return pontrel::testing::rowsOf(statement);
    }

    // One expression evaluated on the row with that id.
    std::string value(const std::string& expression, int id = 1) {
        std::vector<std::string> r = rows("SELECT " + expression + " FROM t WHERE id = " + std::to_string(id));
        return r.size() == 1 ? r[0] : "(" + std::to_string(r.size()) + " rows)";
    }

    // The column names and rows of a saved query made a view, as a program reading it sees them.
    std::vector<std::string> viewOf(const std::string& jet, std::vector<std::string>& rowsOut) {
        JetTranslateOptions options;
        options.context = "Q";
        options.schema = &schema_;
        options.savedQuery = true;
        work_.sql().exec("DROP VIEW IF EXISTS v; CREATE VIEW v AS " + translateJet(jet, options).sql);
        SqliteStatement statement = work_.sql().prepare("SELECT * FROM v");
        std::vector<std::string> names;
        for (int i = 0; i < statement.columnCount(); ++i) names.push_back(statement.columnName(i));
        rowsOut = pontrel::testing::rowsOf(statement);
        return names;
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
        // 7 March 2001 was a Wednesday, in the tenth week counted from the one of 1 January.
        {"DatePart('yyyy', d) & DatePart('q', d) & DatePart('m', d)", 1, "200113"},
        {"DatePart('y', d)", 1, "66"},          {"DatePart('d', d)", 1, "7"},
        {"DatePart('w', d)", 1, "4"},           {"DatePart('w', d, 2)", 1, "3"},
        {"DatePart('ww', d)", 1, "10"},         {"DatePart('WW', d, 4)", 1, "11"},
        {"DatePart('h', d) & ':' & DatePart('n', d)", 1, "10:30"},
        {"DatePart('q', d)", 2, "NULL"},
        {"Date() <= Now() And Now() < Date() + 1 And Time() < 1", 1, "-1"},
        {"+'a' & +'b'", 1, "ab"},               {"+n", 1, "2.5"},
        // DateAdd keeps the day within the new month; DateDiff counts boundaries crossed.
        {"DateAdd('m', 1, #1/31/2001#)", 1, "36950"},  {"DateAdd('yyyy', 1, #2/29/2000#)", 1, "36950"},
        {"DateAdd('q', 1, #11/30/2000#)", 1, "36950"}, {"DateAdd('d', -1, #3/1/2001#)", 1, "36950"},
        {"Format(DateAdd('h', 14, d), 'yyyy-mm-dd hh:nn')", 1, "2001-03-08 00:30"},
        {"Format(DateAdd('ww', -1, d), 'yyyy-mm-dd hh:nn')", 1, "2001-02-28 10:30"},
        {"DateAdd('d', 1, d)", 2, "NULL"},
        {"DateDiff('yyyy', #12/31/2000#, #1/1/2001#)", 1, "1"},
        {"DateDiff('m', #1/31/2001#, #3/1/2001#)", 1, "2"},
        {"DateDiff('q', #3/31/2001#, #4/1/2001#)", 1, "1"},
        {"DateDiff('d', #3/1/2001 23:00#, #3/2/2001 1:00#)", 1, "1"},
        {"DateDiff('d', d, #3/1/2001#)", 1, "-6"},
        {"DateDiff('h', #1:59#, #2:01#) & DateDiff('n', #1:59#, #2:01#)", 1, "12"},
        {"DateDiff('ww', #3/3/2001#, #3/4/2001#) & DateDiff('w', #3/3/2001#, #3/4/2001#)", 1, "10"},
        // Texts are searched without regard to case unless the comparison is binary (0).
        {"InStr(name, 'U')", 1, "3"},            {"InStr(2, 'abcabc', 'C')", 1, "3"},
        {"InStr(4, 'abcabc', 'a', 0)", 1, "4"},  {"InStr(1, 'abc', 'A', 0)", 1, "0"},
        {"InStr(9, 'abc', 'a')", 1, "0"},        {"InStr(name, '')", 1, "1"},
        {"InStr(name, 'x')", 3, "NULL"},         {"Replace('aXbxc', 'x', '-')", 1, "a-b-c"},
        {"Replace(name, 'á', 'A')", 1, "Agua"},  {"Replace('aaa', 'aa', 'b')", 1, "ba"},
        {"'[' & Space(3) & ']'", 1, "[   ]"},    {"Chr(65) & ChrW(233)", 1, "Aé"},
        {"Asc('abc') & '/' & AscW('é')", 1, "97/233"},
        {"Switch(n > 5, 'big', n > 2, 'mid', True, 'small')", 1, "mid"},
        {"Switch(n > 5, 'big')", 1, "NULL"},    {"Choose(2, 'a', 'b', 'c')", 1, "b"},
        {"Choose(2.5, 'a', 'b', 'c')", 1, "b"}, {"Choose(4, 'a', 'b')", 1, "NULL"},
        {"TimeSerial(10, 30, 0)", 1, "0.4375"}, {"TimeSerial(25, -30, 0)", 1, "1.02083333333333"},
        {"DateValue(d)", 1, "36957"},           {"TimeValue(d)", 1, "0.4375"},
        {"DateValue(d)", 4, "-1"},             {"TimeValue(d)", 4, "0.25"},
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
        SCOPED_TRACE(c.text);
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
    // PERCENT rounds up to whole rows (40% of 5 is 2, 10% is 1, 50% is 3), ties kept; DISTINCT
    // comes before the ranking.
    EXPECT_EQ(rows("SELECT TOP 40 PERCENT v FROM s ORDER BY v DESC"), (std::vector<std::string>{"5", "4", "4"}));
    EXPECT_EQ(rows("SELECT TOP 10 PERCENT v FROM s ORDER BY v"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows("SELECT TOP 50 PERCENT v FROM s").size(), 3u);
    EXPECT_EQ(rows("SELECT DISTINCT TOP 2 v FROM s ORDER BY v DESC"), (std::vector<std::string>{"5", "4"}));
    EXPECT_EQ(rows("SELECT DISTINCT TOP 50 PERCENT v FROM s ORDER BY v"), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(rows("SELECT DISTINCTROW id FROM t WHERE id < 3 ORDER BY id"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(rows("SELECT name FROM t WHERE name > '' ORDER BY UCase(name) DESC"),
              (std::vector<std::string>{"beta", "Água"}));
    EXPECT_EQ(rows("SELECT id FROM t ORDER BY name, id"), (std::vector<std::string>{"3", "4", "1", "2"}));
}

TEST_F(JetOnWorkingDatabase, ConversionsRoundAndCheckAsJetDoes) {
    struct Case {
        const char* expression;
        const char* result;
    } cases[] = {
        // Whole numbers round half to even; Int rounds down and Fix toward zero.
        {"CInt(2.5)", "2"},          {"CInt(3.5)", "4"},           {"CInt(-2.5)", "-2"},
        {"CInt(-3.5)", "-4"},        {"CInt(' 12.5 ')", "12"},     {"CLng(-1.5)", "-2"},
        {"CLng(2147483647)", "2147483647"}, {"CByte(254.5)", "254"}, {"CByte(-0.4)", "0"},
        {"Int(-2.5)", "-3.0"},       {"Fix(-2.5)", "-2.0"},        {"Fix('-7.9')", "-7.0"},
        {"Int(Null)", "NULL"},       {"Int(7)", "7"},
        // Currency keeps four decimals, rounding half to even (0.03125 and 0.09375 are exact).
        {"CCur(1.23456)", "1.2346"}, {"CCur(0.03125)", "0.0312"},  {"CCur(0.09375)", "0.0938"},
        {"CCur(12)", "12.0"},        {"CCur('2.5')", "2.5"},
        {"CSng(1.1)", "1.1"},        {"CSng(1 / 3)", "0.3333333"}, {"CDbl('1E3')", "1000.0"},
        {"CDec(1.5)", "1.5"},
        {"CBool(5)", "-1"},          {"CBool(0)", "0"},            {"CBool(' true ')", "-1"},
        {"CBool('False')", "0"},     {"CBool('0.0')", "0"},
        {"CVar(Null)", "NULL"},      {"CVar('x') & 'y'", "xy"},
        {"Str(5)", " 5"},            {"Str(-5)", "-5"},            {"Str(2.5)", " 2.5"},
        {"Str(Null)", "NULL"},       {"Hex(255)", "FF"},           {"Hex(2.5)", "2"},
        {"Hex(-40000)", "FFFF63C0"}, {"Hex(-1.0)", "FFFFFFFF"},    {"Oct(8)", "10"},
        {"Oct(Null)", "NULL"},       {"Hex('&H1F')", "1F"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(c.expression), c.result) << c.expression;

    // Where Jet raises an error, reading the row fails with the function's name: Null in a
    // conversion, a text that is not a number, a result outside the type.
    struct Failure {
        const char* expression;
        const char* message;
    } failures[] = {
        {"CCur(Null)", "The function CCur was given Null"},
        {"CInt(n)", "(no error)"},
        {"CBool('yes')", "The function CBool cannot use the text 'yes' as a number"},
        {"CLng('12abc')", "The function CLng cannot use the text '12abc' as a number"},
        {"CByte(255.5)", "The function CByte was given a number outside its range"},
        {"CByte(-1)", "The function CByte was given a number outside its range"},
        {"CInt(32767.5)", "The function CInt was given a number outside its range"},
        {"CLng(2147483648)", "The function CLng was given a number outside its range"},
        {"CCur(1E+16)", "The function CCur was given a number outside its range"},
        {"CSng(1E+39)", "The function CSng was given a number outside its range"},
        {"Str('abc')", "The function Str cannot use the text 'abc' as a number"},
        {"Hex(-1)", "The function Hex cannot tell how many digits a negative whole number takes"},
        {"Hex(4294967295)", "The function Hex was given a number outside its range"},
    };
    for (const Failure& f : failures) {
        std::string error = errorOf([&] { value(f.expression); });
        EXPECT_NE(error.find(f.message), std::string::npos) << f.expression << ": " << error;
    }
    EXPECT_EQ(errorOf([&] { value("CInt(n)", 2); }).find("The function CInt was given Null") != std::string::npos, true);
}

TEST_F(JetOnWorkingDatabase, ConstantsAndQuotedNames) {
    struct Case {
        const char* expression;
        int id;
        const char* result;
    } cases[] = {
        {"Yes", 1, "-1"}, {"No", 1, "0"}, {"On", 1, "-1"}, {"Off", 1, "0"}, {"True + False", 1, "-1"},
        {"flag = Yes", 1, "-1"}, {"flag = No", 2, "-1"}, {"flag <> Off", 4, "-1"},
        {"IIf(flag = Yes, 'y', 'n')", 2, "n"}, {"n Is Null", 2, "-1"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(c.expression, c.id), c.result) << c.expression;
    // Backticks quote names as brackets do; a column spelt like a constant is written in brackets.
    EXPECT_EQ(rows("SELECT `Order Details`.qty, [Order Details].[Yes], Yes, `Order Details`.Yes FROM `Order Details`"),
              (std::vector<std::string>{"6|9|-1|9"}));
}

TEST_F(JetOnWorkingDatabase, SubqueriesInEveryPlace) {
    struct Case {
        const char* jet;
        std::vector<std::string> rows;
    } cases[] = {
        {"SELECT id FROM cust WHERE id IN (SELECT cust FROM ord WHERE amount > 4)", {"1"}},
        {"SELECT id FROM cust WHERE id Not In (SELECT cust FROM ord WHERE amount < 4) ORDER BY id", {"1"}},
        {"SELECT id FROM cust WHERE EXISTS (SELECT * FROM ord WHERE ord.cust = cust.id AND amount Is Null)", {"2"}},
        {"SELECT id, (SELECT Sum(amount) FROM ord WHERE ord.cust = c.id) FROM cust AS c ORDER BY id",
         {"1|12.0", "2|3.0", "3|1.0"}},
        {"SELECT q.cust, q.total FROM (SELECT cust, Sum(amount) AS total FROM ord GROUP BY cust) AS q "
         "WHERE q.total > 2 ORDER BY q.cust",
         {"1|12.0", "2|3.0"}},
        {"SELECT x.n FROM [SELECT Count(*) AS n FROM ord]. AS x", {"5"}},
        {"SELECT q.Expr1000 FROM (SELECT amount * 2 FROM ord WHERE id = 10) AS q", {"10.0"}},
        {"SELECT name FROM cust WHERE id = (SELECT Max(cust) FROM ord)", {"ann"}},
        {"SELECT id, (SELECT amount FROM ord WHERE ord.id = cust.id + 9) FROM cust ORDER BY id",
         {"1|5.0", "2|7.0", "3|NULL"}},
    };
    for (const Case& c : cases) EXPECT_EQ(rows(c.jet), c.rows) << c.jet;
    // A subquery used as a value gives at most one row, or reading fails as it does in Jet.
    EXPECT_NE(errorOf([&] { rows("SELECT id, (SELECT amount FROM ord WHERE ord.cust = cust.id) FROM cust"); })
                  .find("A subquery used as a value gave more than one row"),
              std::string::npos);
}

TEST_F(JetOnWorkingDatabase, AnyAndAllKeepJetsThreeValuedMeaning) {
    // The amounts of each customer's orders: 1 -> {5, 7}, 2 -> {Null, 3}, 3 -> {1}.
    struct Case {
        const char* comparison;
        const char* byCustomer;  // the result for customers 1, 2 and 3
    } cases[] = {
        {"4 > ANY", "0|-1|-1"},   {"2 > ANY", "0|NULL|-1"}, {"7 = SOME", "-1|NULL|0"},
        {"0 < ALL", "-1|NULL|-1"}, {"4 < ALL", "-1|0|0"},   {"7 >= ALL", "-1|NULL|-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comparison);
        std::vector<std::string> r = rows(std::string("SELECT ") + c.comparison +
                                          " (SELECT amount FROM ord WHERE ord.cust = cust.id) FROM cust ORDER BY id");
        std::string joined;
        for (const std::string& v : r) joined += (joined.empty() ? "" : "|") + v;
        EXPECT_EQ(joined, c.byCustomer) << c.comparison;
    }
    // Over no rows ANY is false and ALL true; texts compare without regard to case.
    EXPECT_EQ(rows("SELECT 5 = ANY (SELECT amount FROM ord WHERE amount > 100), "
                   "5 = ALL (SELECT amount FROM ord WHERE amount > 100), "
                   "'BOB' = ANY (SELECT name FROM cust)"),
              (std::vector<std::string>{"0|-1|-1"}));
    EXPECT_EQ(rows("SELECT id FROM cust WHERE 4 < ALL (SELECT amount FROM ord WHERE ord.cust = cust.id)"),
              (std::vector<std::string>{"1"}));
}

TEST_F(JetOnWorkingDatabase, DistinctRowKeepsOneRowPerRecordShown) {
    struct Case {
        const char* jet;
        std::vector<std::string> rows;
    } cases[] = {
        // Each customer with orders once, however many orders; the two of the same name both.
        {"SELECT DISTINCTROW cust.name FROM cust INNER JOIN ord ON cust.id = ord.cust ORDER BY cust.name, cust.id",
         {"Ann", "ann", "Bob"}},
        {"SELECT DISTINCT cust.name FROM cust INNER JOIN ord ON cust.id = ord.cust ORDER BY cust.name",
         {"Ann", "Bob"}},
        {"SELECT DISTINCTROW name FROM cust, ord WHERE cust.id = ord.cust AND amount > 2 ORDER BY cust.id DESC",
         {"Bob", "Ann"}},
        {"SELECT DISTINCTROW c.name & '!' AS shout FROM cust AS c INNER JOIN ord AS o ON c.id = o.cust "
         "WHERE o.amount < 6 ORDER BY c.id",
         {"Ann!", "Bob!", "ann!"}},
        // TOP ranks the distinct rows; a totals query's groups stay as they are.
        {"SELECT DISTINCTROW TOP 2 cust.name FROM cust INNER JOIN ord ON cust.id = ord.cust ORDER BY cust.id DESC",
         {"ann", "Bob"}},
        {"SELECT DISTINCTROW cust.id, Count(*) FROM cust INNER JOIN ord ON cust.id = ord.cust GROUP BY cust.id "
         "ORDER BY cust.id",
         {"1|2", "2|2", "3|1"}},
        {"SELECT DISTINCTROW Sum(ord.amount) FROM cust INNER JOIN ord ON cust.id = ord.cust", {"16.0"}},
        // Fields of every source shown: each joined row stays.
        {"SELECT DISTINCTROW cust.name, ord.cust FROM cust INNER JOIN ord ON cust.id = ord.cust WHERE cust.id = 1",
         {"Ann|1", "Ann|1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(rows(c.jet), c.rows) << c.jet;
}

TEST_F(JetOnWorkingDatabase, FirstLastAndSpreadAggregatesKeepJetsMeaning) {
    struct Case {
        const char* jet;
        std::vector<std::string> rows;
    } cases[] = {
        // First and Last take the row's value as read, Null included.
        {"SELECT k, First(v), Last(v) FROM g GROUP BY k ORDER BY k",
         {"a|2.0|9.0", "b|NULL|5.0", "c|NULL|NULL", "w|1000000004.0|1000000016.0"}},
        {"SELECT First(name) & '!', Last(id) FROM t", {"Água!|4"}},
        {"SELECT Last(n), Max(n), First(d) FROM t WHERE id < 3", {"NULL|2.5|36957.4375"}},
        // a: 2, 4, 9 have mean 5 and squared deviations 9 + 1 + 16 = 26: Var 26/2, VarP 26/3.
        // b: one value: no sample spread, a population spread of 0. c: no value at all.
        // w: deviations -6, -3, 3, 6 from the mean: 90/3 = 30, 90/4 = 22.5.
        {"SELECT k, Var(v), VarP(v), StDev(v), StDevP(v) FROM g GROUP BY k ORDER BY k",
         {"a|13.0|8.66666666666667|3.60555127546399|2.94392028877595", "b|NULL|0.0|NULL|0.0",
          "c|NULL|NULL|NULL|NULL", "w|30.0|22.5|5.47722557505166|4.74341649025257"}},
        // No rows at all: every one of them is Null.
        {"SELECT First(v), Last(v), Var(v), VarP(v), StDev(v), StDevP(v) FROM g WHERE k = 'none'",
         {"NULL|NULL|NULL|NULL|NULL|NULL"}},
        {"SELECT k FROM g GROUP BY k HAVING StDevP(v) > 3 ORDER BY k", {"w"}},
    };
    for (const Case& c : cases) EXPECT_EQ(rows(c.jet), c.rows) << c.jet;
    EXPECT_EQ(errorOf([&] { rows("SELECT StDev(name) FROM t"); }),
              "Reading the database failed: The function StDev cannot use the text 'Água' as a number");
}

TEST_F(JetOnWorkingDatabase, NamesAreColumnsOrTheQuerysOwnAliases) {
    EXPECT_EQ(rows("SELECT n * 2 AS twice, twice + 1 AS more FROM t WHERE twice > 4"),
              (std::vector<std::string>{"5.0|6.0", "20.0|21.0"}));
    EXPECT_EQ(rows("SELECT t!name FROM t WHERE t!id = 2"), (std::vector<std::string>{"beta"}));
    struct Case {
        const char* jet;
        const char* message;
    } cases[] = {
        {"SELECT nothere FROM t",
         "The query 'Q' names the column 'nothere', which none of its tables has (Access would ask for its value)"},
        {"SELECT t.nothere FROM t",
         "The query 'Q' names the column 't.nothere', which 't' does not have (Access would ask for its value)"},
        {"SELECT x.id FROM t", "The query 'Q' names 'x.id', but it reads nothing called 'x' (Access would ask for its value)"},
        {"SELECT q.nothere FROM (SELECT id FROM t) AS q",
         "The query 'Q' names the column 'q.nothere', which 'q' does not have (Access would ask for its value)"},
        {"SELECT a + 1 AS b, b + 1 AS a FROM t",
         "The query 'Q' uses the name 'a' in its own definition (a circular reference), which cannot be translated"},
        {"SELECT id FROM t WHERE name = 5",
         "The query 'Q' uses a comparison of a text with a number (a data type mismatch in Jet), which cannot be translated"},
        {"SELECT id FROM t WHERE '2001-03-07' < d",
         "The query 'Q' uses a comparison of a date with a text (Jet reads the text as a date by regional settings), which cannot be translated"},
        {"SELECT id FROM t WHERE n Between '1' And 3",
         "The query 'Q' uses a comparison of a text with a number (a data type mismatch in Jet), which cannot be translated"},
        {"SELECT Forms!f FROM t", "The query 'Q' uses the '!' operator (a form reference), which cannot be translated"},
        {"SELECT id FROM cust, ord", "The query 'Q' names the column 'id', which more than one of its tables has, without saying which"},
        {"SELECT [cust.name] FROM cust",
         "The query 'Q' names the column 'cust.name', which none of its tables has (a name in one pair of brackets is "
         "not split at its period; Access would ask for it as a parameter)"},
        {"SELECT (SELECT id, name FROM t) FROM t",
         "The query 'Q' uses a subquery with 2 columns as a value, which cannot be translated"},
        {"SELECT id FROM t WHERE id In (SELECT id, name FROM t)",
         "The query 'Q' uses IN with a subquery of 2 columns, which cannot be translated"},
        {"SELECT id FROM t WHERE id > ALL (SELECT id, name FROM t)",
         "The query 'Q' uses ALL of a subquery with 2 columns, which cannot be translated"},
        {"SELECT DISTINCTROW cust.name FROM cust INNER JOIN ord ON cust.id = ord.cust ORDER BY ord.amount",
         "The query 'Q' uses DISTINCTROW with ORDER BY on a table whose fields it does not show, which cannot be translated"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf([&] { translate(c.jet); }), c.message) << c.jet;
}

TEST_F(JetOnWorkingDatabase, SavedQueriesGiveAccessColumnNames) {
    // A column is named by its field, by Table.Field only where two shown columns share a name, an
    // unnamed expression Expr1000, Expr1001, ...; a nested join changes none of them.
    const std::string nested = " FROM c INNER JOIN (a INNER JOIN b ON a.k = b.k) ON c.k = a.k";
    struct Case {
        std::string jet;
        std::vector<std::string> names;
        std::vector<std::string> rows;
    } cases[] = {
        {"SELECT b.k, b.x, a.y" + nested, {"k", "x", "y"}, {"1|b1|y1"}},
        {"SELECT a.x, b.x, c.q, a.k + b.k, c.q & a.y AS qy" + nested,
         {"a.x", "b.x", "q", "Expr1000", "qy"}, {"a1|b1|q1|2|q1y1"}},
        {"SELECT * FROM a INNER JOIN b ON a.k = b.k", {"a.k", "a.x", "y", "b.k", "b.x", "z"}, {"1|a1|y1|1|b1|z1"}},
        {"SELECT TOP 1 a.k, c.k FROM a, c ORDER BY a.k DESC, c.k", {"a.k", "c.k"}, {"2|1"}},
        {"SELECT TOP 1 b.k, b.x" + nested + " ORDER BY b.x", {"k", "x"}, {"1|b1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jet);
        std::vector<std::string> rows;
        EXPECT_EQ(viewOf(c.jet, rows), c.names);
        EXPECT_EQ(rows, c.rows);
    }
}

TEST_F(JetOnWorkingDatabase, DomainFunctionsAreSubqueriesOverTheirDomain) {
    // ord: (10, 1, 5), (11, 1, 7), (12, 2, Null), (13, 2, 3), (14, 3, 1).
    EXPECT_EQ(rows("SELECT DLookUp('name', 'cust', 'id = 2'), DLookUp('name', 'cust', 'id = 9'), "
                   "DCount('*', 'ord', 'cust = 2'), DCount('amount', 'ord', 'cust = 2'), DSum('amount', 'ord'), "
                   "DAvg('amount', 'ord', 'cust = 1'), DMin('amount', 'ord'), DMax('[amount]', '[ord]', 'cust < 3'), "
                   "DFirst('id', 'ord'), DLast('id', 'ord') FROM t WHERE id = 1"),
              (std::vector<std::string>{"Bob|NULL|2|1|16.0|6.0|1.0|7.0|10|14"}));
    JetTranslateOptions options;
    options.context = "Q";
    options.schema = &schema_;
    // The domain's table is one the statement reads, so that a missing one is named.
    EXPECT_EQ(translateJet("SELECT DCount('*', 'Stations') FROM t", options).relations,
              (std::vector<std::string>{"t", "Stations"}));
}

TEST_F(JetOnWorkingDatabase, MonthAndDayNamesAreTheLocales) {
    setenv("LC_ALL", "C", 1);  // English names, read once for the process
    struct Case {
        const char* expression;
        const char* result;
    } cases[] = {
        {"MonthName(3)", "March"},
        {"MonthName(12, True)", "Dec"},
        {"WeekdayName(1)", "Sunday"},
        {"WeekdayName(1, True, 2)", "Mon"},
        {"WeekdayName(7, False, 2)", "Sunday"},
        {"Format(d, 'dddd d mmmm yyyy')", "Wednesday 7 March 2001"},
        {"Format(#12/29/1899 6:00#, 'ddd dd-mmm-yy')", "Fri 29-Dec-99"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(c.expression), c.result) << c.expression;
    EXPECT_EQ(errorOf([&] { value("MonthName(13)"); }),
              "Reading the database failed: The function MonthName was given a month outside 1 to 12");
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
        {"DatePart('x', d)", "The function DatePart does not know the interval 'x'"},
        {"Chr(200)", "The function Chr was given a character code above 127, which depends on the code page"},
        {"InStr(0, 'a', 'b')", "The function InStr was given a start before the first character"},
        {"DatePart('w', d, 0)", "The function DatePart was asked for the system's first day of the week, which depends on regional settings"},
        {"Format(name, '[' & '')", "The function Format cannot use a format without placeholders"},
        {"name Like 'x[' & 'y'", "The Like pattern has a '[' without its closing ']'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        std::string error = errorOf([&] { value(c.expression); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.expression << ": " << error;
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
