#pragma once
// The last stage of translating Jet SQL: the parsed tree written as SQLite SQL with Jet's meaning.
// Names are resolved against the schema the caller gives (tables, saved queries, subqueries, and
// the outer queries of a correlated subquery); what has no SQLite equivalent is refused.

#include <string>
#include <vector>

#include "jet/JetSql.h"
#include "jet/JetSyntax.h"

namespace pontrel::data::jet {

// Writes the statement into translation.sql and lists its relations and join columns.
void writeSqlite(const std::vector<Token>& tokens, const Select& select, const Messages& messages,
                 const JetTranslateOptions& options, JetTranslation& translation);

}  // namespace pontrel::data::jet
