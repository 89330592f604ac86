#pragma once
// The second stage of reading Jet SQL: the parsed tree of a SELECT statement. Nodes refer to their
// tokens by index, so that writing them back keeps every word and blank as written; parsing
// follows Jet's precedence and refuses the statements that are not SELECT queries.

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "jet/JetTokens.h"

namespace pontrel::data::jet {

struct Select;

struct Expr {
    // Quantified: a comparison with ANY, SOME or ALL of a subquery's rows; token is the operator.
    enum Kind { Literal, Column, Call, Unary, Binary, Compare, Like, IsNull, In, Between, Exists,
                Subquery, Paren, Star, Quantified };
    Kind kind = Literal;
    std::size_t token = 0;         // the literal, the column's name, the function's name, the operator
    std::optional<std::size_t> qualifier;  // Column: the table or alias before the dot
    std::vector<std::size_t> marks;  // punctuation and keywords, in the order they are written
    bool negated = false;
    int height = 1;  // of the tree below, which writing it back walks recursively
    std::vector<std::unique_ptr<Expr>> args;
    std::unique_ptr<Select> query;
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
    enum Kind { Value, Star, TableStar } kind = Value;
    ExprPtr expr;
    std::size_t token = 0;                 // '*' or the qualifier of T.*
    std::vector<std::size_t> marks;        // '.' '*' of T.*
    std::optional<std::size_t> asToken, alias;
};

struct FromNode {
    enum Kind { Table, Subquery, Join, Group } kind = Table;
    std::size_t token = 0;  // Table: the name; Subquery and Group: '('
    std::size_t close = 0;  // Subquery and Group: ')'
    std::optional<std::size_t> asToken, alias;
    std::unique_ptr<Select> query;
    std::unique_ptr<FromNode> left, right;  // Join; Group holds its content in left
    std::vector<std::size_t> joinWords;     // INNER / LEFT [OUTER] / RIGHT [OUTER], JOIN
    std::size_t onToken = 0;
    ExprPtr on;
    int joinType = 1;  // 1 inner, 2 left, 3 right
};

struct OrderItem {
    ExprPtr expr;
    std::optional<std::size_t> direction;
    bool descending = false;
};

struct Select {
    std::size_t selectToken = 0;
    enum Quantifier { None, All, Distinct, DistinctRow } quantifier = None;
    std::optional<std::size_t> quantifierToken;
    std::optional<std::size_t> topToken;
    std::size_t topValue = 0;
    std::optional<std::size_t> percentToken;
    std::vector<SelectItem> items;
    std::vector<std::size_t> itemCommas;
    std::optional<std::size_t> fromToken;  // Jet reads SELECT without FROM as one row
    std::vector<std::unique_ptr<FromNode>> from;
    std::vector<std::size_t> fromCommas;
    std::optional<std::size_t> whereToken;
    ExprPtr where;
    std::vector<std::size_t> groupTokens;  // GROUP BY
    std::vector<ExprPtr> groupBy;
    std::vector<std::size_t> groupCommas;
    std::optional<std::size_t> havingToken;
    ExprPtr having;
    std::vector<std::size_t> orderTokens;  // ORDER BY
    std::vector<OrderItem> orderBy;
    std::vector<std::size_t> orderCommas;
};

// Null and the truth values True, Yes, On (-1) and False, No, Off (0): constants wherever an
// expression stands, not names; a column spelt so is written in brackets ([Yes]).
bool isConstantWord(const std::string& upper);

// Parses a whole statement: one SELECT, optionally ended by ';'.
std::unique_ptr<Select> parseStatement(const std::vector<Token>& tokens, const Messages& messages);

}  // namespace pontrel::data::jet
