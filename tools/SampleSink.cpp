#include "SampleSink.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace pontrel::tools {

namespace {

std::string sourceName(const std::string& name) {
    for (char ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return "[" + name + "]";
    return name;
}

const char* joinWord(int type) {
    switch (type) {
        case 2: return " LEFT JOIN ";
        case 3: return " RIGHT JOIN ";
        default: return " INNER JOIN ";
    }
}

struct Entry {
    std::string text;               // a source, or the two sides of a join without its ON clause
    std::string condition;          // a join's ON clause
    int type = 0;                   // a join's type; 0 for a plain source
    std::vector<std::string> keys;  // the sources it contains, by alias or name

    bool isJoin() const { return type != 0; }
    std::string sql() const { return isJoin() ? text + " ON " + condition : text; }
};

}  // namespace

std::string jetSqlOf(const QueryDefinition& query) {
    std::vector<Entry> entries;
    for (const auto& source : query.sources) {
        Entry entry;
        entry.text = sourceName(source.table) + (source.alias.empty() ? "" : " AS " + source.alias);
        entry.keys.push_back(source.alias.empty() ? source.table : source.alias);
        entries.push_back(entry);
    }
    auto holding = [&](const std::string& key) {
        for (std::size_t i = 0; i < entries.size(); ++i)
            for (const auto& k : entries[i].keys)
                if (k == key) return i;
        return entries.size();
    };
    for (const auto& join : query.joins) {
        std::size_t left = holding(join.left), right = holding(join.right);
        if (left == entries.size() || right == entries.size()) continue;
        if (left == right) {
            // A second condition between sources already joined: Access writes it as one more
            // join row, and it belongs to the same ON clause.
            Entry& joined = entries[left];
            if (!joined.isJoin() || joined.type != join.type)
                throw std::invalid_argument(query.name + ": the joins of " + join.left + " and " + join.right +
                                            " disagree on their type");
            joined.condition = "(" + joined.condition + ") AND (" + join.condition + ")";
            continue;
        }
        Entry merged;
        auto side = [](const Entry& e) { return e.isJoin() ? "(" + e.sql() + ")" : e.sql(); };
        merged.text = side(entries[left]) + joinWord(join.type) + side(entries[right]);
        merged.condition = join.condition;
        merged.type = join.type;
        merged.keys = entries[left].keys;
        merged.keys.insert(merged.keys.end(), entries[right].keys.begin(), entries[right].keys.end());
        std::size_t first = std::min(left, right), second = std::max(left, right);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(second));
        entries[first] = merged;
    }
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < query.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += query.columns[i].expression;
        if (!query.columns[i].alias.empty()) sql += " AS " + query.columns[i].alias;
    }
    sql += " FROM ";
    for (std::size_t i = 0; i < entries.size(); ++i) sql += (i ? ", " : "") + entries[i].sql();
    if (!query.where.empty()) sql += " WHERE " + query.where;
    for (std::size_t i = 0; i < query.orderBy.size(); ++i) sql += (i ? ", " : " ORDER BY ") + query.orderBy[i];
    return sql;
}

}  // namespace pontrel::tools
