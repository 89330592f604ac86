#include "access/SavedQuery.h"
#include "common/TextBasics.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string_view>

#include "sqlite/DatabaseError.h"

namespace pontrel::data {

namespace {

// Access 2007 and later write two rows older versions do not: a remote-database row (4) with
// no name and no expression in every query, meaning the current database, and a row 12 in the
// queries whose sources hold multi-valued or attachment columns (Flag 2 when such a column is
// also among the output). Neither changes the SQL.
enum Attribute {
    kStart = 0, kType = 1, kParameter = 2, kOptions = 3, kRemoteDatabase = 4, kSource = 5,
    kColumn = 6, kJoin = 7, kWhere = 8, kGroupBy = 9, kHaving = 10, kOrderBy = 11,
    kComplexColumns = 12, kEnd = 255
};

constexpr int kUnionType = 9;

enum Option {
    kStar = 0x01, kDistinct = 0x02, kOwnerAccess = 0x04, kDistinctRow = 0x08, kTop = 0x10,
    kPercent = 0x20
};

std::string withArticle(const std::string& kind) {
    bool vowel = !kind.empty() && std::string("aeiou").find(kind[0]) != std::string::npos &&
                 kind.rfind("uni", 0) != 0;  // "a union", "an update"
    return (vowel ? "an " : "a ") + kind;
}

// The kind named by the Flag of the query's type row.
std::string kindOfTypeFlag(int flag) {
    switch (flag) {
        case 1: return "select";
        case 2: return "make-table";
        case 3: return "append";
        case 4: return "update";
        case 5: return "delete";
        case 6: return "crosstab";
        case 7: return "data-definition";
        case 8: return "pass-through";
        case 9: return "union";
        default: return "unknown kind of";
    }
}

bool given(const std::optional<std::string>& field) { return field && !field->empty(); }

std::string trimmed(std::string_view text) {
    auto blank = [](char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (blank(text.back()) || text.back() == ';')) text.remove_suffix(1);
    return std::string(text);
}

// What a statement holds outside quotes, brackets and parentheses: its words and commas.
struct Mark {
    std::size_t begin = 0, end = 0;
    bool comma = false;
};

std::vector<Mark> topLevelMarks(std::string_view text) {
    std::vector<Mark> marks;
    int depth = 0;
    auto wordChar = [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || static_cast<unsigned char>(ch) >= 0x80;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        char ch = text[i];
        if (ch == '\'' || ch == '"') {
            std::size_t j = i + 1;
            while (j < text.size() && !(text[j] == ch && !(j + 1 < text.size() && text[j + 1] == ch))) j += text[j] == ch ? 2 : 1;
            i = j + 1;
        } else if (ch == '[' || ch == '`') {
            std::size_t j = text.find(ch == '[' ? ']' : '`', i + 1);
            i = j == std::string_view::npos ? text.size() : j + 1;
        } else if (ch == '(' || ch == ')') {
            depth += ch == '(' ? 1 : -1;
            ++i;
        } else if (wordChar(ch)) {
            std::size_t j = i;
            while (j < text.size() && wordChar(text[j])) ++j;
            if (depth == 0) marks.push_back({i, j, false});
            i = j;
        } else {
            if (ch == ',' && depth == 0) marks.push_back({i, i + 1, true});
            ++i;
        }
    }
    return marks;
}

bool isWord(std::string_view text, const Mark& mark, const char* word) {
    return !mark.comma && sameNameIgnoringCase(text.substr(mark.begin, mark.end - mark.begin), word);
}

// One operand of a union as a plain SELECT: outer parentheses dropped, TABLE x read as the
// SELECT of all of x.
std::string unionOperand(std::string text) {
    text = trimmed(text);
    // Wrapped in parentheses when it starts and ends with one and has no word outside them.
    while (text.size() > 1 && text.front() == '(' && text.back() == ')' && topLevelMarks(text).empty())
        text = trimmed(std::string_view(text).substr(1, text.size() - 2));
    std::vector<Mark> marks = topLevelMarks(text);
    if (!marks.empty() && isWord(text, marks[0], "TABLE"))
        return "SELECT * FROM " + trimmed(std::string_view(text).substr(marks[0].end));
    return text;
}

// A FROM entry: one source, or a join built from earlier entries.
struct Entry {
    std::string source;                // a single source as written
    std::vector<std::string> keys;     // the sources it holds, by alias or name
    std::unique_ptr<Entry> left, right;
    int type = 0;                      // 1 INNER, 2 LEFT, 3 RIGHT; 0 for a single source
    std::vector<std::string> conditions;

    bool holds(const std::string& key) const {
        for (const std::string& k : keys)
            if (sameNameIgnoringCase(k, key)) return true;
        return false;
    }
};

std::string render(const Entry& entry, bool nested) {
    if (entry.type == 0) return entry.source;
    static const char* words[] = {"", " INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
    std::string on;
    if (entry.conditions.size() == 1) {
        on = entry.conditions[0];
    } else {
        for (std::size_t i = 0; i < entry.conditions.size(); ++i)
            on += (i ? " AND (" : "(") + entry.conditions[i] + ")";
    }
    std::string text = render(*entry.left, true) + words[entry.type] + render(*entry.right, true) + " ON " + on;
    return nested ? "(" + text + ")" : text;
}

}  // namespace

std::string queryKind(std::int64_t objectFlags) {
    switch (objectFlags & 0xF0) {
        case 0: return "select";
        case 16: return "crosstab";
        case 32: return "delete";
        case 48: return "update";
        case 64: return "append";
        case 80: return "make-table";
        case 96: return "data-definition";
        case 112: return "pass-through";
        case 128: return "union";
        default: return "unknown kind of";
    }
}

std::string jetName(const std::string& name) {
    static const char* reserved[] = {"SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER",
                                     "AS", "ON", "JOIN", "INNER", "LEFT", "RIGHT", "OUTER", "AND",
                                     "OR", "NOT", "LIKE", "IS", "IN", "BETWEEN", "NULL", "TRUE",
                                     "FALSE", "DISTINCT", "TOP", "UNION", "ALL", "MOD", "TABLE"};
    bool plain = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
    for (char ch : name) plain = plain && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    if (plain)
        for (const char* word : reserved)
            if (sameNameIgnoringCase(name, word)) plain = false;
    return plain ? name : "[" + name + "]";
}

UnionStatement splitUnion(const std::string& jet) {
    const std::string text = trimmed(jet);
    UnionStatement statement;
    std::vector<Mark> marks = topLevelMarks(text);
    std::size_t start = 0;
    bool all = false;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        if (!isWord(text, marks[i], "UNION")) continue;
        statement.parts.push_back({unionOperand(text.substr(start, marks[i].begin - start)), all});
        all = i + 1 < marks.size() && isWord(text, marks[i + 1], "ALL");
        if (all) ++i;
        start = marks[i].end;
    }
    std::size_t end = text.size();
    if (!statement.parts.empty()) {
        // ORDER BY after the last SELECT orders the whole union.
        for (std::size_t i = marks.size(); i-- > 1;) {
            if (marks[i].begin < start) break;
            if (!isWord(text, marks[i - 1], "ORDER") || !isWord(text, marks[i], "BY")) continue;
            end = marks[i - 1].begin;
            std::size_t termStart = marks[i].end;
            auto addTerm = [&](std::size_t termEnd, std::size_t lastWord) {
                UnionStatement::Order order;
                std::size_t cut = termEnd;
                if (lastWord < marks.size() && marks[lastWord].begin >= termStart &&
                    (isWord(text, marks[lastWord], "DESC") || isWord(text, marks[lastWord], "ASC"))) {
                    order.descending = isWord(text, marks[lastWord], "DESC");
                    cut = marks[lastWord].begin;
                }
                order.term = trimmed(std::string_view(text).substr(termStart, cut - termStart));
                statement.orderBy.push_back(order);
            };
            std::size_t lastWord = marks.size();
            for (std::size_t k = i + 1; k < marks.size(); ++k) {
                if (marks[k].comma) {
                    addTerm(marks[k].begin, lastWord);
                    termStart = marks[k].end;
                    lastWord = marks.size();
                } else {
                    lastWord = k;
                }
            }
            addTerm(text.size(), lastWord);
            break;
        }
    }
    statement.parts.push_back({unionOperand(text.substr(start, end - start)), all});
    return statement;
}

namespace {

// Makes the error that refuses the query, from what it does that cannot be read.
using Refusal = std::function<DatabaseError(const std::string&)>;

// A union query keeps each SELECT as text in a source row of its own (aliased X7YZ_____1,
// X7YZ_____2); the first may itself hold further UNIONs. The options row tells UNION (its
// DISTINCT bit) from UNION ALL, and order rows order the whole.
// A parameter row always refuses the query; a remote-database row does when it names a source,
// since Access 2007 and later write an empty one into every query meaning "this database".
void refuseInputOrRemote(const QueryRow& row, const Refusal& refuse) {
    if (row.attribute == kParameter)
        throw refuse("asks for the parameter '" + row.name1.value_or("") +
                     "' when it runs, which cannot be given here");
    if (given(row.name1) || given(row.expression))
        throw refuse("reads another database ('" + row.name1.value_or("") +
                     (given(row.expression) ? "', " + *row.expression : std::string("'")) +
                     "), which is not read");
}

std::string rebuildUnionSql(const SavedQuery& query, const Refusal& refuse) {
    std::vector<const QueryRow*> operands, orderBy;
    int options = 0;
    for (const QueryRow& row : query.rows) {
        switch (row.attribute) {
            case kSource:
                if (!given(row.expression)) throw refuse("is a union query with an operand that is not a SELECT");
                operands.push_back(&row);
                break;
            case kOptions: options = row.flag.value_or(0); break;
            case kOrderBy: orderBy.push_back(&row); break;
            case kParameter:
            case kRemoteDatabase: refuseInputOrRemote(row, refuse); break;
            default: break;
        }
    }
    if (operands.size() < 2) throw refuse("is a union query without two SELECT statements to join");
    std::stable_sort(operands.begin(), operands.end(),
                     [](const QueryRow* a, const QueryRow* b) { return a->name2.value_or("") < b->name2.value_or(""); });
    std::string sql;
    for (std::size_t i = 0; i < operands.size(); ++i) {
        if (i) sql += (options & kDistinct) ? " UNION " : " UNION ALL ";
        sql += trimmed(*operands[i]->expression);
    }
    for (std::size_t i = 0; i < orderBy.size(); ++i) {
        if (!orderBy[i]->expression) continue;
        sql += (i ? ", " : " ORDER BY ") + *orderBy[i]->expression;
        if (orderBy[i]->name1 && sameNameIgnoringCase(*orderBy[i]->name1, "D")) sql += " DESC";
    }
    return sql;
}

// The definition rows of a select query, by what they hold.
struct SelectRows {
    std::vector<const QueryRow*> sources, columns, joins, groupBy, orderBy;
    const QueryRow* where = nullptr;
    const QueryRow* having = nullptr;
    int options = 0;
    std::optional<std::string> top;
};

// Sorts the rows of a select query, refusing every other kind of query and every row that
// cannot be rebuilt.
SelectRows selectRows(const SavedQuery& query, const Refusal& refuse) {
    auto onlySelect = [&](const std::string& kind) {
        return refuse("is " + withArticle(kind) + " query; only select and union queries can be read");
    };
    if ((query.objectFlags & 0xF0) != 0) throw onlySelect(queryKind(query.objectFlags));
    SelectRows rows;
    for (const QueryRow& row : query.rows) {
        switch (row.attribute) {
            case kStart:
            case kEnd: break;
            case kType:
                if (row.flag.value_or(1) != 1) throw onlySelect(kindOfTypeFlag(*row.flag));
                break;
            case kParameter:
            case kRemoteDatabase: refuseInputOrRemote(row, refuse); break;
            case kOptions:
                rows.options = row.flag.value_or(0);
                rows.top = row.name1;
                break;
            case kComplexColumns:
                if (given(row.name1) || given(row.name2) || given(row.expression))
                    throw refuse("holds a definition row of kind 12 with names or an expression, which is not read");
                break;
            case kSource:
                // A source with an expression is a table of another database when it is named, and
                // a subquery (its SELECT as text, its alias in Name2) when it is not.
                if (given(row.expression) && given(row.name1))
                    throw refuse("reads '" + *row.name1 + "' from another database ('" + *row.expression +
                                 "'), which is not read");
                if (!given(row.expression) && !given(row.name1)) throw refuse("has a source without a name");
                rows.sources.push_back(&row);
                break;
            case kColumn:
                if (!row.expression) throw refuse("has a column without an expression");
                rows.columns.push_back(&row);
                break;
            case kJoin: rows.joins.push_back(&row); break;
            case kWhere: rows.where = &row; break;
            case kGroupBy: rows.groupBy.push_back(&row); break;
            case kHaving: rows.having = &row; break;
            case kOrderBy: rows.orderBy.push_back(&row); break;
            default: throw refuse("holds a definition row of unknown kind " + std::to_string(row.attribute));
        }
    }
    return rows;
}

// The FROM clause's entries: each source, then each join made of two entries, in the order of
// the join rows.
std::vector<std::unique_ptr<Entry>> joinedSources(const SelectRows& rows, const Refusal& refuse) {
    std::vector<std::unique_ptr<Entry>> entries;
    for (const QueryRow* row : rows.sources) {
        auto entry = std::make_unique<Entry>();
        bool subquery = !given(row->name1);
        entry->source = subquery ? "(" + trimmed(*row->expression) + ")" : jetName(*row->name1);
        if (given(row->name2)) entry->source += " AS " + jetName(*row->name2);
        if (given(row->name2) || !subquery) entry->keys.push_back(given(row->name2) ? *row->name2 : *row->name1);
        entries.push_back(std::move(entry));
    }
    for (const QueryRow* row : rows.joins) {
        if (!row->name1 || !row->name2 || !row->expression)
            throw refuse("has a join without both its sources and its condition");
        int type = row->flag.value_or(0);
        if (type < 1 || type > 3) throw refuse("has a join of unknown type " + std::to_string(type));
        auto find = [&](const std::string& key) {
            for (std::size_t i = 0; i < entries.size(); ++i)
                if (entries[i]->holds(key)) return i;
            throw refuse("joins '" + key + "', which is not among its sources");
        };
        std::size_t left = find(*row->name1), right = find(*row->name2);
        if (left == right) {
            Entry& join = *entries[left];
            if (join.type == 0) throw refuse("joins '" + *row->name1 + "' with itself");
            if (join.type != type)
                throw refuse("joins '" + *row->name1 + "' and '" + *row->name2 +
                             "' twice with different kinds of join");
            join.conditions.push_back(*row->expression);
            continue;
        }
        auto join = std::make_unique<Entry>();
        join->type = type;
        join->conditions.push_back(*row->expression);
        join->keys = entries[left]->keys;
        join->keys.insert(join->keys.end(), entries[right]->keys.begin(), entries[right]->keys.end());
        join->left = std::move(entries[left]);
        join->right = std::move(entries[right]);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(std::max(left, right)));
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(std::min(left, right)));
        entries.push_back(std::move(join));
    }
    return entries;
}

// The SELECT statement's text from its sorted rows and its FROM entries.
std::string selectText(const SelectRows& rows, const std::vector<std::unique_ptr<Entry>>& entries,
                       const Refusal& refuse) {
    const int options = rows.options;
    std::string sql = "SELECT ";
    if (options & kDistinct) sql += "DISTINCT ";
    if (options & kDistinctRow) sql += "DISTINCTROW ";
    if (options & kTop) {
        if (!rows.top || rows.top->empty()) throw refuse("has TOP without a number");
        sql += "TOP " + *rows.top + ((options & kPercent) ? " PERCENT " : " ");
    }
    for (std::size_t i = 0; i < rows.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += *rows.columns[i]->expression;
        if (rows.columns[i]->name1) sql += " AS " + jetName(*rows.columns[i]->name1);
    }
    if (options & kStar) sql += rows.columns.empty() ? "*" : ", *";
    sql += " FROM ";
    for (std::size_t i = 0; i < entries.size(); ++i) sql += (i ? ", " : "") + render(*entries[i], false);
    if (rows.where && rows.where->expression) sql += " WHERE " + *rows.where->expression;
    for (std::size_t i = 0; i < rows.groupBy.size(); ++i)
        if (rows.groupBy[i]->expression) sql += (i ? ", " : " GROUP BY ") + *rows.groupBy[i]->expression;
    if (rows.having && rows.having->expression) sql += " HAVING " + *rows.having->expression;
    for (std::size_t i = 0; i < rows.orderBy.size(); ++i) {
        if (!rows.orderBy[i]->expression) continue;
        sql += (i ? ", " : " ORDER BY ") + *rows.orderBy[i]->expression;
        if (rows.orderBy[i]->name1 && sameNameIgnoringCase(*rows.orderBy[i]->name1, "D")) sql += " DESC";
    }
    if (options & kOwnerAccess) sql += " WITH OWNERACCESS OPTION";
    return sql;
}

}  // namespace

bool isUnionQuery(const SavedQuery& query) {
    if ((query.objectFlags & 0xF0) == 128) return true;
    if ((query.objectFlags & 0xF0) != 0) return false;
    for (const QueryRow& row : query.rows)
        if (row.attribute == kType && row.flag == kUnionType) return true;
    return false;
}

std::string rebuildSelectSql(const SavedQuery& query) {
    const std::string who = "The query '" + query.name + "'";
    auto refuse = [&](const std::string& what) { return DatabaseError(who + " " + what); };
    if (isUnionQuery(query)) return rebuildUnionSql(query, refuse);
    SelectRows rows = selectRows(query, refuse);
    if (rows.sources.empty()) throw refuse("has no table or query to read from");
    if (rows.columns.empty() && !(rows.options & kStar)) throw refuse("has no columns");
    return selectText(rows, joinedSources(rows, refuse), refuse);
}

}  // namespace pontrel::data
