// Fuzzes the rebuilding of saved queries from MSysQueries rows, and the translation of what it
// rebuilds: any set of rows either gives Jet SQL that translates, or is refused with a
// DatabaseError naming the query.
//
// Input: rows separated by '\n'; in a row, the attribute and flag as decimal numbers and the
// expression, name 1 and name 2, separated by '|' ("~" for a null field).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sqlite/DatabaseError.h"
#include "jet/JetSql.h"
#include "access/SavedQuery.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char ch : text) {
        if (ch == separator)
            parts.emplace_back();
        else
            parts.back() += ch;
    }
    return parts;
}

std::optional<std::string> field(const std::vector<std::string>& parts, std::size_t index) {
    if (index >= parts.size() || parts[index] == "~") return std::nullopt;
    return parts[index];
}

int number(const std::vector<std::string>& parts, std::size_t index) {
    if (index >= parts.size()) return 0;
    int value = 0;
    for (char ch : parts[index]) {
        if (ch < '0' || ch > '9') break;
        value = (value * 10 + (ch - '0')) % 100000;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pontrel::data::SavedQuery query;
    query.name = "Fuzz";
    for (const std::string& line : split(std::string(reinterpret_cast<const char*>(data), size), '\n')) {
        std::vector<std::string> parts = split(line, '|');
        pontrel::data::QueryRow row;
        row.attribute = number(parts, 0);
        if (auto flag = field(parts, 1)) row.flag = number(parts, 1);
        row.expression = field(parts, 2);
        row.name1 = field(parts, 3);
        row.name2 = field(parts, 4);
        query.rows.push_back(row);
    }
    try {
        std::string sql = pontrel::data::rebuildSelectSql(query);
        // A union is translated one SELECT at a time, as the loader does.
        for (const auto& part : pontrel::data::splitUnion(sql).parts) pontrel::data::translateJetSql(part.select, query.name);
    } catch (const pontrel::data::DatabaseError&) {
    }
    return 0;
}
