#pragma once
// Where the sample generator's tables and saved queries go: a SQLite file, or an Access file
// through the Access writer. Rows stream through one at a time, so databases of millions of
// rows are written without holding them in memory.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace pontrel::tools {

enum class ColumnType { Long, Single, Double, Text, Memo, DateTime, YesNo };

struct ColumnDefinition {
    std::string name;
    ColumnType type = ColumnType::Text;
    int textLength = 255;  // Text columns, in characters
    bool primaryKey = false;
};

struct DateTimeValue {
    double days = 0;  // day count since 30 December 1899
};

// One cell: null, Long, Double, Text or Memo, Date/Time, Yes/No.
using Cell = std::variant<std::monostate, std::int64_t, double, std::string, DateTimeValue, bool>;

// A saved SELECT query as Access stores it: sources, joins, output columns, filter and order.
struct QueryDefinition {
    struct Source {
        std::string table;
        std::string alias;  // empty: none
    };
    struct Join {
        std::string left;   // source name or alias
        std::string right;
        int type = 1;       // 1 INNER, 2 LEFT, 3 RIGHT
        std::string condition;
    };
    struct Output {
        std::string expression;
        std::string alias;  // empty: none
    };
    std::string name;
    std::vector<Source> sources;
    std::vector<Join> joins;
    std::vector<Output> columns;
    std::string where;
    std::vector<std::string> orderBy;
    // Not empty: a union query joining these SELECT statements with UNION ALL (the fields above
    // are then not written).
    std::vector<std::string> unionOf;
};

// The Jet SQL text of a query definition, joins nested as Access nests them.
std::string jetSqlOf(const QueryDefinition& query);

class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual void beginTable(const std::string& name, const std::vector<ColumnDefinition>& columns) = 0;
    virtual void addRow(const std::vector<Cell>& row) = 0;
    virtual void endTable() = 0;
    virtual void addQuery(const QueryDefinition& query) = 0;
    // Completes the file; nothing is usable before.
    virtual void finish() = 0;
};

}  // namespace pontrel::tools
