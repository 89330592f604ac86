// The Jet dialect as text: the SQLite SQL a statement becomes (precedence, Jet's names for a saved
// query's columns, the columns joins compare), and the constructs refused by name.

#include <gtest/gtest.h>

#include "ErrorOf.h"
#include "jet/JetSql.h"

using namespace pontrel::data;

namespace {

using pontrel::testing::errorOf;

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
              "SELECT a AS \"a\", a * 2 AS \"Expr1000\", jet_ucase(b) COLLATE JETTEXT AS \"Expr1001\", "
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

    // Each condition as a pair, with whether an inner join holds it; a column compared with
    // something that is not a column of a named table makes no pair.
    JetTranslation pairs = translateJet(
        "SELECT x FROM (T INNER JOIN U ON T.k = U.k) LEFT JOIN V ON (V.m = U.m AND V.n = 3) "
        "RIGHT OUTER JOIN W ON W.id = V.w",
        options);
    std::vector<std::string> conditions;
    for (const auto& j : pairs.joins)
        conditions.push_back(j.left.relation + "." + j.left.column + "=" + j.right.relation + "." + j.right.column +
                             (j.inner ? " inner" : " outer"));
    EXPECT_EQ(conditions, (std::vector<std::string>{"T.k=U.k inner", "V.m=U.m outer", "W.id=V.w outer"}));
}

TEST(JetTranslation, RefusesWhatItCannotGiveTheSameMeaning) {
    struct Case {
        std::string jet;
        const char* construct;
    } cases[] = {
        {"SELECT a Xor b FROM t", "uses the operator XOR"},
        {"SELECT TOP 150 PERCENT a FROM t", "uses TOP 150 PERCENT"},
        {"SELECT TOP 2 DISTINCT a FROM t", "cannot be read: unexpected 'DISTINCT'"},
        {"SELECT TOP 2 * FROM t ORDER BY a", "uses TOP with ORDER BY over '*' of tables it does not know"},
        {"SELECT DLookup('a', 't', 'k = ' & k) FROM t",
         "uses DLookup with an expression, domain or criteria that is not a literal text"},
        {"SELECT StDev(*) FROM t", "uses '*' in StDev"},
        {"SELECT Count(DISTINCT a) FROM t", "uses DISTINCT inside a function"},
        {"SELECT Left(a) FROM t", "uses the function Left with 1 argument"},
        {"SELECT Format(d, 'mmmmm') FROM t", "uses Format with the placeholder mmmmm ('mmmmm')"},
        {"SELECT Format(d, 'Short Date') FROM t",
         "uses Format with the named format 'Short Date', which depends on regional settings ('Short Date')"},
        {"SELECT a FROM t WHERE a Like 'x[y'", "uses the Like pattern 'x[y' (a '[' without its ']')"},
        {"SELECT DISTINCTROW a.x FROM a INNER JOIN b ON a.k = b.k",
         "uses DISTINCTROW over several tables whose columns it does not know"},
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
        SCOPED_TRACE(c.jet);
        std::string error = errorOf([&] { translateJetSql(c.jet, "Q"); });
        EXPECT_EQ(error.rfind(std::string("The query 'Q' ") + c.construct, 0), 0u) << c.jet << "\n  " << error;
    }
}

}  // namespace
