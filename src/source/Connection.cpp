#include "source/Connection.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "sqlite/DatabaseError.h"
#include "jet/JetSql.h"
#include "jet/JetTokens.h"
#include "source/SourceDatabase.h"
#include "source/SourceLimits.h"
#include "common/TextBasics.h"
#include "jet/WorkingDatabase.h"

namespace pontrel::data {

struct ConnectionState {
    std::unique_ptr<WorkingDatabase> work;
    std::unique_ptr<SourceDatabase> source;
};

namespace {

// A table or query that is not there; when it is one of the Vessamo database's own, the file is
// most likely no Vessamo database at all, and the message says what one holds.
std::string missingTableMessage(const std::string& table, const std::string& file) {
    std::string message = "The table or query '" + table + "' does not exist in '" + file + "'";
    std::string lower = table;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "samples" || lower == "params" || lower == "kelvash_query")
        message += "\nIt is not a Vessamo database, which has the tables Samples and Params and the "
                   "query Kelvash_Query: choose the Vessamo database file.";
    return message;
}

std::function<void(const std::string&)>& observer() {
    static std::function<void(const std::string&)> instance;
    return instance;
}

std::string afterMarker(const std::string& error, const std::string& marker) {
    std::size_t at = error.find(marker);
    if (at == std::string::npos) return {};
    std::string name = error.substr(at + marker.size());
    if (name.compare(0, 5, "main.") == 0) name = name.substr(5);
    return name;
}

double& loadSecondsTotal() {
    static double total = 0;
    return total;
}

}  // namespace

double Connection::loadSeconds() { return loadSecondsTotal(); }

Recordset::Recordset(std::shared_ptr<ConnectionState> state, SqliteStatement statement, std::string sql)
    : state_(std::move(state)), statement_(std::move(statement)), sql_(std::move(sql)) {
    const int columns = statement_.columnCount();
    names_.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) names_.push_back(statement_.columnName(c));
}

void Recordset::firstStep() const {
    started_ = true;
    eof_ = true;  // stays so when the statement fails: there is no row to read
    step();
}

void Recordset::moveNext() {
    start();
    if (eof_) throw DatabaseError("Either BOF or EOF is true: there is no current row to move from");
    step();
}

void Recordset::step() const {
    try {
        eof_ = !statement_.step();
    } catch (const DatabaseError& e) {
        if (!state_->source) throw;
        if (e.cause() != DatabaseError::Cause::Other) rethrowForSource(e, state_->source->path(), sql_);
        // A saved query can fail on a value only when its rows are read (Jet's type mismatch in
        // 'a' + 1, a conversion of a text that is no number): the user must learn which query.
        const auto* read = dynamic_cast<const SqliteReadError*>(&e);
        if (!read) throw;
        std::vector<std::string> queries = queriesNamed();
        if (queries.empty())
            throw DatabaseError("Reading '" + sql_ + "' from '" + state_->source->path() + "' failed: " + read->detail(),
                                e.cause());
        std::string names;
        for (std::size_t i = 0; i < queries.size(); ++i)
            names += (i == 0 ? "'" : i + 1 == queries.size() ? " and '" : ", '") + queries[i] + "'";
        throw DatabaseError("The " + std::string(queries.size() == 1 ? "query " : "queries ") + names +
                            " in '" + state_->source->path() + "' cannot be read: " + read->detail());
    }
}

std::vector<std::string> Recordset::queriesNamed() const {
    std::vector<jet::Token> tokens;
    try {
        tokens = jet::tokenize(sql_, jet::Messages(""));
    } catch (const DatabaseError&) {
        return {};
    }
    std::vector<CatalogEntry> catalog;
    try {
        catalog = state_->source->catalog();
    } catch (const DatabaseError&) {
        return {};
    }
    std::vector<std::string> queries;
    for (const CatalogEntry& entry : catalog) {
        if (entry.kind != CatalogEntry::Kind::Query) continue;
        for (const jet::Token& token : tokens)
            if ((token.kind == jet::Token::Word || token.kind == jet::Token::Name) &&
                sameNameIgnoringCase(token.value, entry.name)) {
                queries.push_back(entry.name);
                break;
            }
    }
    return queries;
}

int Recordset::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (sameNameIgnoringCase(names_[i], name)) return static_cast<int>(i);
    throw DatabaseError("The field '" + std::string(name) + "' does not exist in the rows of '" +
                        sql_ + "'");
}

void Recordset::noCurrentRow() const {
    start();
    if (eof_) throw DatabaseError("Either BOF or EOF is true: there is no current row to read");
}

// kind() and value() take the statement's type as it is.
static_assert(static_cast<int>(Recordset::Kind::Null) == static_cast<int>(SqliteStatement::Type::Null) &&
              static_cast<int>(Recordset::Kind::Integer) == static_cast<int>(SqliteStatement::Type::Integer) &&
              static_cast<int>(Recordset::Kind::Real) == static_cast<int>(SqliteStatement::Type::Real) &&
              static_cast<int>(Recordset::Kind::Text) == static_cast<int>(SqliteStatement::Type::Text) &&
              static_cast<int>(Recordset::Kind::Blob) == static_cast<int>(SqliteStatement::Type::Blob));

std::int64_t Recordset::integer(int index) const {
    checkRow();
    return statement_.columnInt(index);
}

double Recordset::real(int index) const {
    checkRow();
    return statement_.columnDouble(index);
}

std::string_view Recordset::textView(int index) const {
    checkRow();
    return statement_.columnText(index);
}

std::string Recordset::text(int index) const {
    switch (kind(index)) {
        case Kind::Integer: return std::to_string(statement_.columnInt(index));
        case Kind::Real: {
            double value = statement_.columnDouble(index);
            char buffer[40];
            for (int precision = 15; precision <= 17; ++precision) {
                std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
                if (std::strtod(buffer, nullptr) == value) break;
            }
            return buffer;
        }
        case Kind::Null: return {};
        default: return std::string(statement_.columnText(index));
    }
}

Connection::Connection(const std::string& connectionString)
    : file_(dataSourceOf(connectionString)), state_(std::make_shared<ConnectionState>()) {
    state_->source = openSourceDatabase(file_);
    state_->work = std::make_unique<WorkingDatabase>();
}

Connection::~Connection() = default;

std::string Connection::dataSourceOf(const std::string& connectionString) {
    const std::string open = "Data Source = '";
    const std::string close = "' ;";
    std::size_t begin = connectionString.find(open);
    std::size_t end = connectionString.rfind(close);
    if (begin == std::string::npos || end == std::string::npos || end < begin + open.size())
        return connectionString;
    begin += open.size();
    return connectionString.substr(begin, end - begin);
}

bool Connection::isOpen() const { return state_ != nullptr; }

void Connection::close() { state_.reset(); }

SourceDatabase& Connection::source() {
    if (!state_) throw DatabaseError("The connection to '" + file_ + "' is closed");
    return *state_->source;
}

void Connection::setLoadProgress(std::function<void(std::int64_t rows)> observer) {
    if (state_) state_->source->setCopyProgress(std::move(observer));
}

void Connection::setExecuteObserver(std::function<void(const std::string&)> fn) {
    observer() = std::move(fn);
}

std::shared_ptr<Recordset> Connection::execute(const std::string& jetSql) { return execute(jetSql, jetSql); }

std::vector<std::string> Connection::queryPlan(const std::string& jetSql) {
    if (!state_) throw DatabaseError("The connection to '" + file_ + "' is closed");
    SqliteStatement plan;
    try {
        if (!state_->work->sql().tryPrepare("EXPLAIN QUERY PLAN " + translateJetSql(jetSql), &plan).empty())
            return {};
    } catch (const DatabaseError&) {
        return {};
    }
    std::vector<std::string> steps;
    while (plan.step()) steps.emplace_back(plan.columnText(3));
    return steps;
}

std::shared_ptr<Recordset> Connection::execute(const std::string& jetSql, const std::string& shownSql) {
    if (observer()) observer()(shownSql);
    if (!state_) throw DatabaseError("The connection to '" + file_ + "' is closed");
    std::string sql = translateJetSql(jetSql);
    // Each round either prepares the statement or loads one more object it names.
    std::set<std::string> loaded;
    for (;;) {
        SqliteStatement statement;
        // A name SQLite keeps for itself reaches it under a private name; the user knows theirs.
        std::string error = withUserNames(state_->work->sql().tryPrepare(sql, &statement));
        if (error.empty()) {
            // The time limit counts from the start of each statement.
            state_->work->sql().restartClock();
            return std::make_shared<Recordset>(state_, std::move(statement), shownSql);
        }
        std::string table = afterMarker(error, "no such table: ");
        if (!table.empty() && loaded.insert(table).second) {
            auto start = std::chrono::steady_clock::now();
            bool found = state_->source->load(table, *state_->work);
            loadSecondsTotal() += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!found) throw DatabaseError(missingTableMessage(table, file_));
            continue;
        }
        std::string column = afterMarker(error, "no such column: ");
        if (!column.empty())
            throw DatabaseError("The field '" + column + "' does not exist in '" + file_ +
                                "' (in '" + shownSql + "')");
        throw DatabaseError("The statement '" + shownSql + "' failed on '" + file_ + "': " + error);
    }
}

}  // namespace pontrel::data
