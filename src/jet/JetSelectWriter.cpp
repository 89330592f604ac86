#include "jet/JetTranslator.h"
#include "jet/JetWriter.h"

#include <algorithm>

#include "common/TextBasics.h"

namespace pontrel::data::jet {

std::string Writer::identifier(std::size_t i) const {
    const Token& token = tokens_[i];
    if (token.kind == Token::Name) return token.lead + quotedIdentifier(token.value);
    return token.lead + sqlName(token.text);
}

std::string Writer::relationIdentifier(std::size_t i) const {
    const std::string name = nameOf(i);
    const std::string stored = relationName(name);
    return stored == name ? identifier(i) : tokens_[i].lead + quotedIdentifier(stored);
}

void Writer::noteRelation(const std::string& name) {
    for (const std::string& r : translation_.relations)
        if (sameNameIgnoringCase(r, name)) return;
    translation_.relations.push_back(name);
}

std::string Writer::fromClause(const Select& s, Scope& scope) {
    std::string from = s.fromToken ? t(*s.fromToken) : std::string();
    for (std::size_t i = 0; i < s.from.size(); ++i) {
        if (i) from += t(s.fromCommas[i - 1]);
        from += fromNode(*s.from[i], scope);
    }
    return from;
}

std::string Writer::fromNode(const FromNode& node, Scope& scope) {
    switch (node.kind) {
        case FromNode::Table: {
            std::string name = nameOf(node.token);
            noteRelation(name);
            scope.bindings.push_back(bindRelation(name, node.alias ? nameOf(*node.alias) : name, options_.schema));
            std::string out = relationIdentifier(node.token);
            if (node.asToken) out += t(*node.asToken);
            if (node.alias) out += relationIdentifier(*node.alias);
            return out;
        }
        case FromNode::Subquery: {
            std::vector<JetSchema::Column> columns;
            bool known = false;
            std::string inner = query(*node.query, scope.outer, false, &columns, &known);
            Binding b;
            b.key = nameOf(*node.alias);
            b.known = known;
            b.columns = columns;
            scope.bindings.push_back(b);
            std::string out = t(node.token) + inner + t(node.close);
            if (node.asToken) out += t(*node.asToken);
            else out += " AS";
            return out + relationIdentifier(*node.alias);
        }
        case FromNode::Group: return t(node.token) + fromNode(*node.left, scope) + t(node.close);
        case FromNode::Join: {
            std::string out = fromNode(*node.left, scope);
            for (std::size_t w : node.joinWords) out += t(w);
            out += fromNode(*node.right, scope);
            out += t(node.onToken);
            out += condition(*node.on, scope).text;
            bool inner = true;
            for (std::size_t w : node.joinWords)
                if (tokens_[w].value == "LEFT" || tokens_[w].value == "RIGHT") inner = false;
            noteJoinColumns(*node.on, scope, inner);
            return out;
        }
    }
    return {};
}

// Records the columns of the conditions "a.x = b.y" that an ON clause joins by, through
// parentheses and And; `inner` for an INNER JOIN's clause.
void Writer::noteJoinColumns(const Expr& e, const Scope& scope, bool inner) {
    if (e.kind == Expr::Paren) return noteJoinColumns(*e.args[0], scope, inner);
    if (e.kind == Expr::Binary && tokens_[e.token].value == "AND") {
        noteJoinColumns(*e.args[0], scope, inner);
        noteJoinColumns(*e.args[1], scope, inner);
        return;
    }
    if (e.kind != Expr::Compare || tokens_[e.token].value != "=") return;
    std::vector<JetTranslation::Column> sides;
    for (const ExprPtr& side : e.args) {
        const Expr* column = side.get();
        while (column->kind == Expr::Paren) column = column->args[0].get();
        if (column->kind != Expr::Column || !column->qualifier) continue;
        const Binding* b = findBinding(nameOf(*column->qualifier), scope);
        if (b && !b->relation.empty()) sides.push_back({b->relation, nameOf(column->token)});
    }
    translation_.joinColumns.insert(translation_.joinColumns.end(), sides.begin(), sides.end());
    if (sides.size() == 2) translation_.joins.push_back({sides[0], sides[1], inner});
}


// A SELECT, at the top of the statement (`top`) or as a subquery; columnsOut and columnsKnown,
// when given, receive the columns it gives, when they are known.
std::string Writer::query(const Select& s, const Scope* outer, bool top,
                          std::vector<JetSchema::Column>* columnsOut, bool* columnsKnown) {
    Scope scope;
    scope.outer = outer;
    for (const SelectItem& item : s.items)
        if (item.alias) scope.aliases.emplace_back(nameOf(*item.alias), item.expr.get());
    std::string from = fromClause(s, scope);

    bool saved = top && options_.savedQuery;
    bool needNames = saved || columnsOut || (s.topToken && !s.orderBy.empty()) ||
                     s.quantifier == Select::DistinctRow;
    std::vector<Output> outputs;
    std::vector<std::string> itemTexts;  // as written when no expansion happens
    bool expanded = selectList(s, scope, saved, needNames, saved || columnsOut, outputs, itemTexts);
    bool renamed = saved && expanded && nameTwiceBrought(outputs);
    bool anyStar = false;
    for (const SelectItem& item : s.items) anyStar = anyStar || item.kind != SelectItem::Value;
    // A saved query names every column as Access does, explicitly: SQLite would number a name
    // that two tables of a nested join share ("CustomerID:1") even when one of them is shown.
    std::string items;
    if (expanded && (saved || renamed || (anyStar && s.topToken && !s.orderBy.empty()))) {
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            const Output& o = outputs[i];
            items += (i ? "," : "") + o.text;
            if (saved || o.named || o.generatedName) items += " AS " + quotedIdentifier(o.name);
        }
    } else {
        for (const std::string& text : itemTexts) items += text;
    }
    if (columnsKnown) *columnsKnown = expanded;
    if (columnsOut) {
        columnsOut->clear();
        if (expanded)
            for (const Output& o : outputs) columnsOut->push_back({o.name, o.type});
    }

    std::string head = t(s.selectToken);
    std::string quantifier;
    if (s.quantifier == Select::Distinct || s.quantifier == Select::All) quantifier = t(*s.quantifierToken);
    std::vector<bool> shown = s.quantifier == Select::DistinctRow ? shownSources(s, scope) : std::vector<bool>();
    std::string rest = clauses(s, scope, from);
    std::string windowOrder;
    std::vector<std::string> keys;  // the ORDER BY terms, for TOP with DISTINCT
    std::string order = orderClause(s, scope, windowOrder, keys);

    if (!shown.empty() && std::find(shown.begin(), shown.end(), false) != shown.end())
        return distinctRows(s, scope, shown, outputs, expanded, head + " ", rest);
    if (!s.topToken) return head + quantifier + items + rest + order;

    topLimit(s);  // refuses a TOP it cannot keep, before anything else
    if (s.orderBy.empty()) {
        // Without an order, Jet's TOP n is any n rows, as LIMIT n is.
        if (!s.percentToken) return head + quantifier + items + rest + " LIMIT " + tokens_[s.topValue].value;
        if (!expanded) throw messages_.refuse("TOP ... PERCENT over '*' of tables it does not know");
    }
    if (!expanded) throw messages_.refuse("TOP with ORDER BY over '*' of tables it does not know");
    return rankedTop(s, outputs, head, rest, windowOrder, keys);
}

// The select list: each item's text as written (itemTexts) and, when `namesWanted`, the columns
// it gives with Jet's names (outputs): the alias, the column's name, or Expr1000, Expr1001, ...
// for an expression. False when a '*' cannot be expanded. A saved query's text expressions keep
// Jet's comparison; `nameExpressions` writes the generated names into the list.
bool Writer::selectList(const Select& s, const Scope& scope, bool saved, bool namesWanted, bool nameExpressions,
                        std::vector<Output>& outputs, std::vector<std::string>& itemTexts) {
    bool expanded = true;
    int expressionNumber = 1000;
    for (std::size_t i = 0; i < s.items.size(); ++i) {
        const SelectItem& item = s.items[i];
        std::string comma = i ? t(s.itemCommas[i - 1]) : std::string();
        if (item.kind != SelectItem::Value) {
            std::string written = item.kind == SelectItem::Star
                                      ? t(item.token)
                                      : relationIdentifier(item.token) + t(item.marks[0]) + t(item.marks[1]);
            itemTexts.push_back(comma + written);
            std::optional<std::string> qualifier;
            if (item.kind == SelectItem::TableStar) qualifier = nameOf(item.token);
            if (!namesWanted || !expandStar(qualifier, scope, outputs)) expanded = false;
            continue;
        }
        Emitted e = value(*item.expr, scope);
        Output o;
        o.type = e.type;
        if (item.alias) {
            o.name = nameOf(*item.alias);
            o.named = true;
        } else if (item.expr->kind == Expr::Column) {
            o.name = nameOf(item.expr->token);
            o.qualifier = item.expr->qualifier ? nameOf(*item.expr->qualifier) : std::string();
        } else {
            o.name = "Expr" + std::to_string(expressionNumber++);
            o.generatedName = true;
        }
        if (saved && !e.column && isTextual(e.type) && e.type != JetType::Null) e = collated(e);
        o.text = e.text;
        std::string written = e.text;
        if (item.alias) written += t(*item.asToken) + identifier(*item.alias);
        else if (nameExpressions && o.generatedName) written += " AS " + quotedIdentifier(o.name);
        itemTexts.push_back(comma + written);
        outputs.push_back(o);
    }
    return expanded;
}

// Columns that '*' brings more than once are named by their source, as Jet names them
// ("Table1.col1"); true when one was renamed.
bool Writer::nameTwiceBrought(std::vector<Output>& outputs) const {
    bool renamed = false;
    std::vector<bool> twice(outputs.size(), false);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        for (std::size_t j = 0; j < outputs.size(); ++j)
            if (i != j && sameNameIgnoringCase(outputs[i].name, outputs[j].name)) twice[i] = true;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Output& o = outputs[i];
        if (!twice[i] || o.named || o.generatedName || o.qualifier.empty()) continue;
        o.name = o.qualifier + "." + o.name;
        o.named = true;
        renamed = true;
    }
    return renamed;
}

// FROM ... WHERE ... GROUP BY ... HAVING ...
std::string Writer::clauses(const Select& s, const Scope& scope, const std::string& from) {
    std::string rest = from;
    if (s.where) rest += t(*s.whereToken) + condition(*s.where, scope).text;
    if (!s.groupBy.empty()) {
        rest += t(s.groupTokens[0]) + t(s.groupTokens[1]);
        for (std::size_t i = 0; i < s.groupBy.size(); ++i) {
            if (i) rest += t(s.groupCommas[i - 1]);
            rest += sortKey(*s.groupBy[i], scope);
        }
    }
    if (s.having) rest += t(*s.havingToken) + condition(*s.having, scope).text;
    return rest;
}

// ORDER BY as written; windowOrder receives the same order for a window, keys its terms.
std::string Writer::orderClause(const Select& s, const Scope& scope, std::string& windowOrder,
                                std::vector<std::string>& keys) {
    if (s.orderBy.empty()) return {};
    std::string order = t(s.orderTokens[0]) + t(s.orderTokens[1]);
    for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
        const OrderItem& item = s.orderBy[i];
        if (item.expr->kind == Expr::Literal && tokens_[item.expr->token].kind == Token::Number)
            throw messages_.refuse("ORDER BY a number");
        std::string key = sortKey(*item.expr, scope);
        std::string direction = item.direction ? t(*item.direction) : std::string();
        if (i) order += t(s.orderCommas[i - 1]);
        order += key + direction;
        windowOrder += (i ? ", " : "") + splitLead(key).second + (item.descending ? " DESC" : "");
        keys.push_back(splitLead(key).second);
    }
    return order;
}

// Jet's TOP n with an order keeps the rows tied with the n-th: those ranked n or better.
std::string Writer::rankedTop(const Select& s, const std::vector<Output>& outputs, const std::string& head,
                              const std::string& rest, const std::string& windowOrder,
                              const std::vector<std::string>& keys) const {
    auto [limit, counted] = topLimit(s);
    std::string outerList;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j)
            if (sameNameIgnoringCase(outputs[j].name, outputs[i].name))
                throw messages_.refuse("TOP with ORDER BY and two columns named " + outputs[i].name);
        outerList += (i ? ", " : "") + quotedIdentifier(outputs[i].name);
    }
    std::string innerItems;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        // Named explicitly, so that the outer list finds each column also through nested joins.
        innerItems += (i ? ", " : "") + splitLead(outputs[i].text).second + " AS " + quotedIdentifier(outputs[i].name);
    }
    std::string ranked;
    if (s.quantifier == Select::Distinct) {
        // DISTINCT comes first, then the ranking, over the order terms kept as columns (Jet
        // orders a DISTINCT query only by what it selects, so they add no rows).
        std::string rankOrder;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            std::string column = "\"jet_k" + std::to_string(i + 1) + "\"";
            innerItems += ", " + keys[i] + " AS " + column;
            rankOrder += (i ? ", " : "") + column + " COLLATE " + kTextCollation +
                         (s.orderBy[i].descending ? " DESC" : "");
        }
        if (keys.empty()) rankOrder = "NULL";
        ranked = "SELECT *, RANK() OVER (ORDER BY " + rankOrder + ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " +
                 rankOrder + ") AS \"jet_row\"" + counted + " FROM (SELECT DISTINCT " + innerItems + " " +
                 splitLead(rest).second + ")";
    } else {
        std::string window = keys.empty() ? std::string("NULL") : windowOrder;
        ranked = "SELECT " + innerItems + ", RANK() OVER (ORDER BY " + window +
                 ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " + window + ") AS \"jet_row\"" + counted + " " +
                 splitLead(rest).second;
    }
    std::string kept = keys.empty() ? "\"jet_row\"" : "\"jet_rank\"";
    return head + " " + outerList + " FROM (" + ranked + ") WHERE " + kept + " <= " + limit + " ORDER BY \"jet_row\"";
}

// The number of rows TOP keeps, as SQL over the ranked rows, and the window column it needs
// ("" or the count of rows). TOP n PERCENT keeps n percent of the rows, rounded up to a row.
std::pair<std::string, std::string> Writer::topLimit(const Select& s) const {
    const std::string& count = tokens_[s.topValue].value;
    if (count.find_first_not_of("0123456789") != std::string::npos || count == "0" ||
        count.find_first_not_of('0') == std::string::npos || count.size() > 9 ||
        (s.percentToken && std::stol(count) > 100))
        throw messages_.refuse("TOP " + count + (s.percentToken ? " PERCENT" : ""));
    if (!s.percentToken) return {count, ""};
    return {"(" + count + " * \"jet_count\" + 99) / 100", ", COUNT(*) OVER () AS \"jet_count\""};
}

// An ORDER BY or GROUP BY term: texts that are not plain columns get Jet's collation.
std::string Writer::sortKey(const Expr& e, const Scope& scope) {
    Emitted key = value(e, scope);
    if (!key.column && isTextual(key.type) && key.type != JetType::Null) key = collated(key);
    return key.text;
}

void writeSqlite(const std::vector<Token>& tokens, const Select& select, const Messages& messages,
                 const JetTranslateOptions& options, JetTranslation& translation) {
    Writer writer(tokens, messages, options, translation);
    translation.sql = writer.statement(select);
}

}  // namespace pontrel::data::jet
