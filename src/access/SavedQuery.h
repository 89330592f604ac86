#pragma once
// A saved query of an Access file as its catalog stores it (the kind in MSysObjects, the rows
// of MSysQueries), and the Jet SQL rebuilt from it: sources (tables, queries, subqueries),
// joins nested as Access nests them, columns, filter, grouping and order. SELECT and UNION
// queries are rebuilt; the other kinds, and definitions that name another database or ask for
// parameters, are refused by name.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pontrel::data {

// One row of MSysQueries.
struct QueryRow {
    int attribute = 0;
    std::optional<std::string> expression;
    std::optional<std::string> name1;
    std::optional<std::string> name2;
    std::optional<int> flag;
};

struct SavedQuery {
    std::string name;
    std::int64_t objectFlags = 0;  // MSysObjects.Flags: its high bits give the kind
    std::vector<QueryRow> rows;    // in the order they are stored
};

// "select", "update", ...: the kind of query named by MSysObjects.Flags.
std::string queryKind(std::int64_t objectFlags);

// The query's Jet SQL text (its expressions as typed, which may span lines); throws
// DatabaseError naming the query and what keeps it from being read.
std::string rebuildSelectSql(const SavedQuery& query);

// A Jet statement taken apart at the UNIONs outside parentheses, quotes and brackets: the
// SELECT statements in order (a `TABLE name` operand written as the SELECT it stands for), with
// whether each joins the ones before it by UNION ALL, and the ORDER BY terms that follow the
// last of them, which order the whole union. One part and no terms when there is no UNION.
struct UnionStatement {
    struct Part {
        std::string select;
        bool all = false;
    };
    struct Order {
        std::string term;  // as written: a column name of the result, bracketed or not, or a position
        bool descending = false;
    };
    std::vector<Part> parts;
    std::vector<Order> orderBy;
};
UnionStatement splitUnion(const std::string& jet);

// True for a union query: by its kind in MSysObjects, or by its type row.
bool isUnionQuery(const SavedQuery& query);

// A table or query name as Jet SQL writes it: bracketed unless it is a plain word.
std::string jetName(const std::string& name);

}  // namespace pontrel::data
