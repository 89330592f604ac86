// Reading Jet SQL before it is translated: how the text is cut into tokens (names, texts, numbers,
// dates, the blanks kept before each) and the tree the parser builds with Jet's precedence.

#include <gtest/gtest.h>

#include "ErrorOf.h"
#include "jet/JetSql.h"
#include "jet/JetSyntax.h"
#include "jet/JetTokens.h"

using namespace pontrel::data;
using namespace pontrel::data::jet;

namespace {

using pontrel::testing::errorOf;

// The tokens as "kind:value" words, the End token left out.
std::string tokenText(const std::string& jet) {
    Messages messages("Q");
    std::string out;
    for (const Token& t : tokenize(jet, messages)) {
        if (t.kind == Token::End) break;
        static const char* kinds[] = {"end", "word", "name", "text", "number", "date", "symbol"};
        if (!out.empty()) out += " ";
        out += std::string(kinds[t.kind]) + ":" + t.value;
    }
    return out;
}

TEST(JetTokens, CutsTheTextAsJetReadsIt) {
    struct Case {
        const char* jet;
        const char* tokens;
    } cases[] = {
        {"select [Order Details].x", "word:SELECT name:Order Details symbol:. word:X"},
        {"'it''s' & \"say \"\"hi\"\"\"", "text:it's symbol:& text:say \"hi\""},
        {"1.5E3 .5 a.5", "number:1.5E3 number:0.5 word:A symbol:. number:5"},
        {"&HFF &O17 &HFFFFFFFF &x", "number:255 number:15 number:-1 symbol:& word:X"},
        {"#3/7/2001# #2001-03-07 10:30#", "date:36957 date:36957.4375"},
        {"a<=b<>c>=d", "word:A symbol:<= word:B symbol:<> word:C symbol:>= word:D"},
        {"Left$(x, 2)", "word:LEFT$ symbol:( word:X symbol:, number:2 symbol:)"},
        {"`Order Details`.[Unit Price]", "name:Order Details symbol:. name:Unit Price"},
        // Access's old form of a subquery in FROM reads as one in parentheses.
        {"FROM [SELECT a FROM [t]]. AS x", "word:FROM symbol:( word:SELECT word:A word:FROM name:t symbol:) word:AS word:X"},
        {"[Select]. AS x", "name:Select symbol:. word:AS word:X"},
    };
    for (const Case& c : cases) EXPECT_EQ(tokenText(c.jet), c.tokens) << c.jet;

    Messages messages("Q");
    std::vector<Token> tokens = tokenize("SELECT  a\n FROM t ", messages);
    EXPECT_EQ(tokens[1].lead, "  ");
    EXPECT_EQ(tokens[2].lead, "\n ");
    EXPECT_EQ(tokens.back().lead, " ");
}

TEST(JetTokens, RefusesTextsItCannotCut) {
    struct Case {
        const char* jet;
        const char* message;
    } cases[] = {
        {"'abc", "The query 'Q' uses a text without its closing quote, which cannot be translated"},
        {"[abc", "The query 'Q' uses a name without its closing bracket, which cannot be translated"},
        {"#3/7/2001", "The query 'Q' uses a date without its closing '#', which cannot be translated"},
        {"#13/13/2001#", "The query 'Q' uses the date literal #13/13/2001#, which cannot be translated"},
        {"12abc", "The query 'Q' cannot be read: the number '12a' runs into a name"},
        {"a @ b", "The query 'Q' cannot be read: the character '@'"},
        {"`abc", "The query 'Q' uses a name without its closing '`', which cannot be translated"},
    };
    Messages messages("Q");
    for (const Case& c : cases) EXPECT_EQ(errorOf([&] { tokenize(c.jet, messages); }), c.message) << c.jet;
}

TEST(JetDateLiterals, ReadMonthFirstOrYearFirst) {
    struct Case {
        const char* text;
        double day;
    } cases[] = {
        {"3/7/2001", 36957},     {"3-7-01", 36957},  {"2001-3-7", 36957},   {"12/30/1899", 0},
        {"1/1/30", 10959},       {"10:30", 0.4375},  {"3/7/2001 6:00 PM", 36957.75},
        {"12:00 AM", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<Date> date = parseJetDateLiteral(c.text);
        ASSERT_TRUE(date) << c.text;
        EXPECT_DOUBLE_EQ(*date, c.day) << c.text;
    }
    for (const char* bad : {"", "2/30/2001", "3/7", "3/7-2001", "25:00", "13:00 PM", "3/7/2001 x"})
        EXPECT_FALSE(parseJetDateLiteral(bad)) << bad;
}

// The tree below an expression, written back as nested lists.
std::string shape(const Expr& e, const std::vector<Token>& tokens) {
    switch (e.kind) {
        case Expr::Literal:
        case Expr::Column: return tokens[e.token].text;
        case Expr::Paren: return shape(*e.args[0], tokens);
        default: break;
    }
    std::string out = "(" + tokens[e.token].value;
    for (const ExprPtr& arg : e.args) out += " " + shape(*arg, tokens);
    return out + ")";
}

std::string whereShape(const std::string& condition) {
    Messages messages("Q");
    std::vector<Token> tokens = tokenize("SELECT x FROM t WHERE " + condition, messages);
    std::unique_ptr<Select> select = parseStatement(tokens, messages);
    return shape(*select->where, tokens);
}

TEST(JetSyntax, FollowsJetsPrecedence) {
    struct Case {
        const char* jet;
        const char* tree;
    } cases[] = {
        {"a Or b And Not c", "(OR a (AND b (NOT c)))"},
        {"a & b + c * d", "(& a (+ b (* c d)))"},
        {"a Mod b \\ c", "(MOD a (\\ b c))"},
        {"a \\ b * c", "(\\ a (* b c))"},
        {"-a ^ b", "(- (^ a b))"},
        {"a ^ -b", "(^ a (- b))"},
        {"a = b & c", "(= a (& b c))"},
        {"Not a = b", "(NOT (= a b))"},
        {"(a Or b) And c", "(AND (OR a b) c)"},
    };
    for (const Case& c : cases) EXPECT_EQ(whereShape(c.jet), c.tree) << c.jet;
}

TEST(JetSyntax, ReadsTheClausesOfASelect) {
    Messages messages("Q");
    std::vector<Token> tokens = tokenize(
        "SELECT DISTINCTROW TOP 5 a, t.*, b AS c FROM (t INNER JOIN u ON t.k = u.k) LEFT JOIN "
        "(SELECT k FROM v) AS w ON u.k = w.k WHERE a > 1 GROUP BY a, b HAVING Count(*) > 1 "
        "ORDER BY a DESC, b WITH OWNERACCESS OPTION;",
        messages);
    std::unique_ptr<Select> s = parseStatement(tokens, messages);
    EXPECT_EQ(s->quantifier, Select::DistinctRow);
    EXPECT_EQ(tokens[s->topValue].value, "5");
    ASSERT_EQ(s->items.size(), 3u);
    EXPECT_EQ(s->items[1].kind, SelectItem::TableStar);
    EXPECT_EQ(tokens[*s->items[2].alias].text, "c");
    ASSERT_EQ(s->from.size(), 1u);
    const FromNode& join = *s->from[0];
    EXPECT_EQ(join.kind, FromNode::Join);
    EXPECT_EQ(join.joinType, 2);
    EXPECT_EQ(join.left->kind, FromNode::Group);
    EXPECT_EQ(join.right->kind, FromNode::Subquery);
    EXPECT_EQ(s->groupBy.size(), 2u);
    ASSERT_EQ(s->orderBy.size(), 2u);
    EXPECT_TRUE(s->orderBy[0].descending);
    EXPECT_FALSE(s->orderBy[1].descending);
}

TEST(JetSyntax, RefusesWhatIsNotASelectQuery) {
    struct Case {
        const char* jet;
        const char* message;
    } cases[] = {
        {"DELETE FROM t", "The query 'Q' uses the statement DELETE (only SELECT statements are read), which cannot be translated"},
        {"SELECT a INTO b FROM t", "The query 'Q' uses SELECT ... INTO (a make-table query), which cannot be translated"},
        {"SELECT a FROM t; SELECT b FROM u", "The query 'Q' cannot be read: unexpected 'SELECT'"},
        {"SELECT a FROM (SELECT b FROM u)", "The query 'Q' cannot be read: expected a name for the subquery, found the end"},
        {"SELECT a FROM t INNER JOIN u", "The query 'Q' cannot be read: expected ON, found the end"},
        {"SELECT a FROM t WHERE b Is 1", "The query 'Q' cannot be read: expected NULL, found '1'"},
    };
    Messages messages("Q");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jet);
        std::vector<Token> tokens = tokenize(c.jet, messages);
        EXPECT_EQ(errorOf([&] { parseStatement(tokens, messages); }), c.message) << c.jet;
    }
}

}  // namespace
