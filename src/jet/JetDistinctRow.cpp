#include "jet/JetWriter.h"

#include <algorithm>
#include <set>

#include "common/TextBasics.h"
#include "jet/JetSql.h"

namespace pontrel::data::jet {

// DISTINCTROW keeps one row per distinct combination of the whole records of the sources the
// query shows fields of: SELECT DISTINCTROW c.Name FROM c INNER JOIN o ON ... lists each
// customer with orders once, however many orders, and two customers of the same name twice.
// A query that shows fields of every source (or has one source, or '*') cannot repeat such a
// combination, so there DISTINCTROW changes nothing. Otherwise the rows are made distinct over
// the shown fields plus every field of the shown sources' records, then projected.

// For each source of the query, whether the output shows a field of it; empty when every
// source is shown, so that DISTINCTROW changes nothing.
std::vector<bool> Writer::shownSources(const Select& s, const Scope& scope) {
    if (scope.bindings.size() <= 1) return {};
    // The rows of a totals query are groups, not records: DISTINCTROW leaves them as they are.
    if (!s.groupBy.empty() || s.having) return {};
    for (const SelectItem& item : s.items)
        if (item.expr && hasAggregate(*item.expr)) return {};
    std::vector<bool> shown(scope.bindings.size(), false);
    for (const SelectItem& item : s.items) {
        if (item.kind == SelectItem::Star) return {};
        if (item.kind == SelectItem::TableStar) {
            for (std::size_t i = 0; i < scope.bindings.size(); ++i)
                if (sameNameIgnoringCase(scope.bindings[i].key, nameOf(item.token))) shown[i] = true;
        } else if (!markSources(*item.expr, scope, shown, 0)) {
            throw messages_.refuse("DISTINCTROW over several tables whose columns it does not know");
        }
    }
    if (std::find(shown.begin(), shown.end(), false) == shown.end()) return {};
    return shown;
}

// Marks the sources whose fields the expression uses (not looking into its subqueries); false
// when a name cannot be placed because a source's columns are not known.
bool Writer::markSources(const Expr& e, const Scope& scope, std::vector<bool>& shown, int depth) {
    if (e.kind == Expr::Column) {
        std::string name = nameOf(e.token);
        for (std::size_t i = 0; i < scope.bindings.size(); ++i) {
            const Binding& b = scope.bindings[i];
            if (e.qualifier ? sameNameIgnoringCase(b.key, nameOf(*e.qualifier)) : columnOf(b, name) != nullptr) {
                shown[i] = true;
                return true;
            }
        }
        if (e.qualifier) return true;  // a field of an outer query
        for (const auto& [alias, aliased] : scope.aliases)
            if (sameNameIgnoringCase(alias, name)) return depth < 20 && markSources(*aliased, scope, shown, depth + 1);
        for (const Binding& b : scope.bindings)
            if (!b.known) return false;
        return true;
    }
    for (const ExprPtr& arg : e.args)
        if (!markSources(*arg, scope, shown, depth)) return false;
    return true;
}

// Whether the expression totals rows (Sum, Count, ...), not looking into its subqueries.
bool Writer::hasAggregate(const Expr& e) const {
    static const std::set<std::string> aggregates = {"COUNT", "SUM",  "AVG",   "MIN",    "MAX", "FIRST",
                                                     "LAST",  "STDEV", "STDEVP", "VAR", "VARP"};
    if (e.kind == Expr::Call && aggregates.count(tokens_[e.token].value)) return true;
    for (const ExprPtr& arg : e.args)
        if (hasAggregate(*arg)) return true;
    return false;
}

std::string Writer::distinctRows(const Select& s, const Scope& scope, const std::vector<bool>& shown,
                         const std::vector<Output>& outputs, bool expanded, const std::string& head,
                         const std::string& rest) {
    if (!expanded) throw messages_.refuse("DISTINCTROW over several tables whose columns it does not know");
    std::string inner, outerList;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::string column = "\"jet_c" + std::to_string(i + 1) + "\"";
        inner += (i ? ", " : "") + splitLead(outputs[i].text).second + " AS " + column;
        outerList += (i ? ", " : "") + column + " AS " + quotedIdentifier(outputs[i].name);
    }
    int fields = 0;
    for (std::size_t i = 0; i < scope.bindings.size(); ++i) {
        if (!shown[i]) continue;
        const Binding& b = scope.bindings[i];
        if (!b.known || b.columns.empty())
            throw messages_.refuse("DISTINCTROW over several tables whose columns it does not know");
        for (const JetSchema::Column& c : b.columns)
            inner += ", " + quotedIdentifier(relationName(b.key)) + "." + quotedIdentifier(c.name) + " AS \"jet_r" +
                     std::to_string(++fields) + "\"";
    }
    std::string order;  // the ORDER BY terms, over the kept columns
    for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
        const OrderItem& item = s.orderBy[i];
        std::vector<bool> used(scope.bindings.size(), false);
        markSources(*item.expr, scope, used, 0);
        for (std::size_t j = 0; j < used.size(); ++j)
            if (used[j] && !shown[j])
                throw messages_.refuse("DISTINCTROW with ORDER BY on a table whose fields it does not show");
        Emitted key = value(*item.expr, scope);
        std::string column = "\"jet_k" + std::to_string(i + 1) + "\"";
        inner += ", " + splitLead(key.text).second + " AS " + column;
        order += (i ? ", " : "") + column;
        if (isTextual(key.type) && key.type != JetType::Null) order += " COLLATE " + std::string(kTextCollation);
        if (item.descending) order += " DESC";
    }
    std::string rows = "SELECT DISTINCT " + inner + " " + splitLead(rest).second;
    if (!s.topToken) return head + outerList + " FROM (" + rows + ")" + (order.empty() ? "" : " ORDER BY " + order);
    // TOP ranks the distinct rows, keeping ties as it does without DISTINCTROW.
    auto [limit, counted] = topLimit(s);
    std::string window = order.empty() ? std::string("NULL") : order;
    return head + outerList + " FROM (SELECT *, RANK() OVER (ORDER BY " + window +
           ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " + window + ") AS \"jet_row\"" + counted +
           " FROM (" + rows + ")) WHERE " + (order.empty() ? "\"jet_row\"" : "\"jet_rank\"") + " <= " + limit +
           " ORDER BY \"jet_row\"";
}

}  // namespace pontrel::data::jet
