#include "SqliteSampleSink.h"

#include <filesystem>

#include "common/DayCount.h"
#include "jet/JetSql.h"
#include "sqlite/Sqlite.h"

namespace pontrel::tools {

namespace {

const char* sqlType(ColumnType type) {
    switch (type) {
        case ColumnType::Long: return "INTEGER";
        case ColumnType::Single:
        case ColumnType::Double: return "REAL";
        case ColumnType::DateTime: return "DATETIME";
        case ColumnType::YesNo: return "BOOLEAN";
        default: return "TEXT";
    }
}

class SqliteSampleSink : public SampleSink {
public:
    explicit SqliteSampleSink(const std::string& path)
        : db_((std::filesystem::remove(path), path), data::SqliteDatabase::Mode::ReadWriteCreate) {
        db_.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    }

    void beginTable(const std::string& name, const std::vector<ColumnDefinition>& columns) override {
        std::string create = "CREATE TABLE \"" + name + "\" (";
        std::string insert = "INSERT INTO \"" + name + "\" VALUES (";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            create += (i ? ", \"" : "\"") + columns[i].name + "\" " + sqlType(columns[i].type) +
                      (columns[i].primaryKey ? " PRIMARY KEY" : "");
            insert += i ? ", ?" : "?";
        }
        db_.exec(create + ")");
        insert_ = db_.prepare(insert + ")");
    }

    void addRow(const std::vector<Cell>& row) override {
        for (std::size_t i = 0; i < row.size(); ++i) {
            int index = static_cast<int>(i) + 1;
            const Cell& cell = row[i];
            if (std::holds_alternative<std::monostate>(cell)) insert_.bindNull(index);
            else if (auto* n = std::get_if<std::int64_t>(&cell)) insert_.bindInt(index, *n);
            else if (auto* d = std::get_if<double>(&cell)) insert_.bindDouble(index, *d);
            else if (auto* s = std::get_if<std::string>(&cell)) insert_.bindText(index, *s);
            else if (auto* t = std::get_if<DateTimeValue>(&cell)) {
                std::string text = data::isoDateText(t->days);
                if (text.size() > 10) text[10] = ' ';
                insert_.bindText(index, text);
            } else insert_.bindInt(index, std::get<bool>(cell) ? -1 : 0);
        }
        insert_.step();
        insert_.reset();
    }

    void endTable() override { insert_ = data::SqliteStatement(); }

    void addQuery(const QueryDefinition& query) override {
        db_.exec("CREATE VIEW \"" + query.name + "\" AS " + data::translateJetSql(jetSqlOf(query)));
    }

    void finish() override { db_.exec("COMMIT"); }

private:
    data::SqliteDatabase db_;
    data::SqliteStatement insert_;
};

}  // namespace

std::unique_ptr<SampleSink> makeSqliteSampleSink(const std::string& path) {
    return std::make_unique<SqliteSampleSink>(path);
}

}  // namespace pontrel::tools
