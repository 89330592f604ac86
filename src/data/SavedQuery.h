#pragma once
// A saved query of an Access file as its catalog stores it (the kind in MSysObjects, the rows
// of MSysQueries), and the Jet SQL rebuilt from it: sources, joins nested as Access nests them,
// columns, filter, grouping and order. Only SELECT queries are rebuilt; the other kinds, and
// definitions that name another database or ask for parameters, are refused by name.

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

// The query's Jet SQL text (its expressions as typed, which may span lines); throws DatabaseError naming the query and what keeps it
// from being read.
std::string rebuildSelectSql(const SavedQuery& query);

// A table or query name as Jet SQL writes it: bracketed unless it is a plain word.
std::string jetName(const std::string& name);

}  // namespace pontrel::data
