#pragma once
// Name binding for the translation: the sources a query reads (tables, saved queries, subqueries,
// and through `outer` the sources of the queries a correlated subquery sits in), the columns each
// is known to have, and the expansion of '*' and T.* into those columns. A Scope lives while its
// query is written; it points at the Expr nodes of the parsed tree, which outlives it.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jet/JetSql.h"
#include "jet/JetSyntax.h"

namespace pontrel::data::jet {

struct Binding {
    std::string key;       // alias, or the table or query name
    std::string relation;  // the table or query ("" for a subquery)
    bool known = false;
    std::vector<JetSchema::Column> columns;
};

struct Scope {
    std::vector<Binding> bindings;
    const Scope* outer = nullptr;
    // The names the query gives its columns (AS): Jet lets its expressions use them.
    std::vector<std::pair<std::string, const Expr*>> aliases;
};

// One column a query gives.
struct Output {
    std::string text;        // the item as written, without its alias
    std::string name;        // the name the column gets
    std::string qualifier;   // the source of a plain column
    bool named = false;      // an alias was written
    bool generatedName = false;
    JetType type = JetType::Unknown;
};

// A table or saved query read under `key`, with its columns when the schema knows them.
Binding bindRelation(const std::string& relation, const std::string& key, JetSchema* schema);

// The source named `key` (an alias or a table's name), in this query or an outer one.
const Binding* findBinding(const std::string& key, const Scope& scope);

// The column of the source with this name (without regard to case); nullptr when it has none.
const JetSchema::Column* columnOf(const Binding& b, const std::string& name);

// The type of the column `qualifier.name`, or of `name` in the nearest source that has it.
JetType columnType(const std::string& name, const std::optional<std::string>& qualifier, const Scope& scope);

// Expands '*' (qualifier empty) or T.* into the columns the schema knows; false when it knows too
// little (or T is no source).
bool expandStar(const std::optional<std::string>& qualifier, const Scope& scope, std::vector<Output>& outputs);

}  // namespace pontrel::data::jet
