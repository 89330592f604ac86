#include "common/TextBasics.h"
#include "access/AccessLoader.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <fstream>

#include "access/AccessHeader.h"
#include "sqlite/DatabaseError.h"
#include "jet/JetFunctions.h"
#include "jet/JetSql.h"
#include "access/MdbFile.h"
#include "access/RowBatches.h"
#include "sqlite/Sqlite.h"
#include "jet/WorkingDatabase.h"

namespace pontrel::data {

namespace {

constexpr int kTableObject = 1;
constexpr int kOdbcLinkObject = 4;
constexpr int kQueryObject = 5;
constexpr int kLinkedTableObject = 6;
constexpr int kSubqueryObject = -1;  // not in the file: made for a subquery while loading
constexpr std::int64_t kSystemFlags = 0x80000002;
// Rows to an INSERT statement, and the values it may bind (SQLite's own limit is far higher).
constexpr std::size_t kInsertRows = 256;
constexpr std::size_t kInsertVariables = 999;
// The SELECTs one union may join: SQLite's limit on the terms of a compound statement.
constexpr std::size_t kMostUnionSelects = 500;
// INSERT statements' worth of rows that the reading thread hands over at a time.
constexpr std::size_t kStatementsPerBatch = 16;

// Column types as they are declared in the output, so that SQLite keeps each value as it is
// (REAL stays REAL, texts stay texts) and the Jet translator can tell dates and Yes/No apart.
std::string declaredType(int type) {
    switch (static_cast<MdbType>(type)) {
        case MdbType::YesNo: return "YESNO INTEGER";
        case MdbType::Byte:
        case MdbType::Integer:
        case MdbType::Long:
        case MdbType::Complex: return "INTEGER";
        case MdbType::Currency: return "CURRENCY DOUBLE";
        case MdbType::Single:
        case MdbType::Double: return "DOUBLE";
        case MdbType::Decimal: return "DECIMAL";
        case MdbType::DateTime:
        case MdbType::ExtendedDateTime: return "DATETIME REAL";
        case MdbType::Text:
        case MdbType::Memo: return std::string("TEXT COLLATE ") + kTextCollation;
        case MdbType::Guid: return std::string("GUID TEXT COLLATE ") + kTextCollation;
        default: return "BLOB";
    }
}

std::string oneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\r' || ch == '\n' || ch == '\t') ch = ' ';
    return text;
}

std::optional<std::string> textOf(const MdbValue& value) {
    if (value.kind == MdbValue::Kind::Text) return value.bytes;
    return std::nullopt;
}

std::optional<std::int64_t> integerOf(const MdbValue& value) {
    if (value.kind == MdbValue::Kind::Integer) return value.integer;
    return std::nullopt;
}

bool sameColumn(const JetTranslation::Column& a, const JetTranslation::Column& b) {
    return sameNameIgnoringCase(a.relation, b.relation) && sameNameIgnoringCase(a.column, b.column);
}

std::size_t columnIndex(const MdbTable& table, const char* name, bool required) {
    const auto& columns = table.columns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (upperAscii(columns[i].name) == upperAscii(name)) return i;
    if (required) throw DatabaseError("its table '" + table.name() + "' has no column '" + name + "'");
    return columns.size();
}

}  // namespace

// What the Jet translator learns about the sources of a query: each is loaded into the output
// when first asked for, and described by the columns SQLite reports for it there.
class AccessLoader::Schema : public JetSchema {
public:
    Schema(AccessLoader& loader, SqliteDatabase& out) : loader_(loader), out_(out) {}

    std::optional<Relation> relation(const std::string& name) override {
        const Object* object = loader_.find(name);
        if (!object) return std::nullopt;
        loader_.loadObject(*object, out_);
        Relation relation;
        SqliteStatement info = out_.prepare("SELECT name, type FROM pragma_table_info(?1)");
        info.bindText(1, relationName(object->name));
        while (info.step())
            relation.columns.push_back({std::string(info.columnText(0)), jetTypeOfDeclared(info.columnText(1))});
        return relation;
    }

private:
    AccessLoader& loader_;
    SqliteDatabase& out_;
};

AccessLoader::AccessLoader(const std::string& path) : path_(path) {
    std::string head(0x200, '\0');
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) unreadable("the file cannot be opened");
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
    }
    AccessHeader header;
    try {
        header = parseAccessHeader(head);
    } catch (const DatabaseError& e) {
        unreadable(e.what());
    }
    if (header.encrypted)
        throw DatabaseError("The file '" + path + "' is an encrypted Access database, which cannot be read");
    if (header.hasPassword)
        throw DatabaseError("The file '" + path +
                            "' is protected by a database password, which cannot be read");
    try {
        file_ = std::make_unique<MdbFile>(path);
    } catch (const DatabaseError& e) {
        unreadable(e.what());
    }
    readCatalog();
}

AccessLoader::~AccessLoader() = default;

void AccessLoader::unreadable(const std::string& reason) const {
    throw DatabaseError("The file '" + path_ + "' could not be read as an Access database: " + reason);
}

void AccessLoader::prepareOutput(SqliteDatabase& out) {
    WorkingDatabase::registerCollation(out);
    registerJetFunctions(out);
    out.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
}

void AccessLoader::readCatalog() {
    try {
        std::unique_ptr<MdbTable> catalog = file_->openTable("MSysObjects", MdbFile::kCatalogPage);
        const std::size_t id = columnIndex(*catalog, "Id", true);
        const std::size_t name = columnIndex(*catalog, "Name", true);
        const std::size_t type = columnIndex(*catalog, "Type", true);
        const std::size_t flags = columnIndex(*catalog, "Flags", true);
        const std::size_t database = columnIndex(*catalog, "Database", false);
        catalog->readOnly({id, name, type, flags, database});
        std::vector<MdbValue> row;
        while (catalog->next(row)) {
            Object object;
            std::optional<std::string> objectName = textOf(row[name]);
            std::optional<std::int64_t> objectType = integerOf(row[type]);
            std::optional<std::int64_t> objectId = integerOf(row[id]);
            if (!objectName || !objectType || !objectId) continue;
            object.name = *objectName;
            object.type = static_cast<int>(*objectType);
            object.id = static_cast<std::int32_t>(*objectId);
            object.flags = integerOf(row[flags]).value_or(0);
            if (database < row.size()) object.database = textOf(row[database]);
            objects_.push_back(std::move(object));
        }
    } catch (const DatabaseError& e) {
        unreadable(std::string("its catalog cannot be read: ") + e.what());
    }
}

const AccessLoader::Object* AccessLoader::find(const std::string& name) const {
    const std::string wanted = upperAscii(name);
    for (const Object& object : objects_)
        if ((object.type == kTableObject || object.type == kQueryObject || object.type == kSubqueryObject ||
             object.type == kLinkedTableObject || object.type == kOdbcLinkObject) &&
            upperAscii(object.name) == wanted)
            return &object;
    return nullptr;
}

bool AccessLoader::load(const std::string& name, SqliteDatabase& out) {
    const Object* object = find(name);
    if (!object) return false;
    // A failed load leaves the output and this loader as they were, ready for another.
    const std::set<std::string> loadedBefore = loaded_;
    auto rollBack = [&] {
        // SQLite has already rolled back after some failures (a full disk); the failure itself
        // is what the user must see, not the rollback's.
        try {
            out.exec("ROLLBACK");
        } catch (const DatabaseError&) {
        }
        loaded_ = loadedBefore;
        loading_.clear();
    };
    out.exec("BEGIN");
    try {
        loadObject(*object, out);
        out.exec("COMMIT");
    } catch (const DatabaseError& e) {
        rollBack();
        // The output is a temporary file the user never sees: its name is no help to them.
        std::string message = e.what();
        const std::string marker = "'" + out.path() + "' failed: ";
        std::size_t at = message.find(marker);
        if (at == std::string::npos) throw;
        throw DatabaseError(std::string(object->type == kTableObject ? "The table '" : "The query '") +
                            object->name + "' could not be copied: " +
                            withUserNames(message.substr(at + marker.size())), e.cause());
    } catch (...) {
        rollBack();
        throw;
    }
    return true;
}

void AccessLoader::loadObject(const Object& object, SqliteDatabase& out) {
    if (loaded_.count(upperAscii(object.name))) return;
    switch (object.type) {
        case kTableObject: loadTable(object, out); break;
        case kQueryObject: loadQuery(object, out); break;
        case kSubqueryObject: loadStatement(object.name, object.owner, *object.statement, out); break;
        default: {
            std::string where = object.database ? " ('" + *object.database + "')" : std::string();
            if (!loading_.empty())
                throw DatabaseError("The query '" + loading_.back() + "' reads '" + object.name +
                                    "', a table linked to another database" + where + ", which is not read");
            throw DatabaseError("The table '" + object.name + "' in '" + path_ + "' is linked to another database" +
                                where + ", which is not read");
        }
    }
    loaded_.insert(upperAscii(object.name));
}

void AccessLoader::loadTable(const Object& object, SqliteDatabase& out) {
    // What the file says goes wrong is damage; what SQLite says comes with its own message.
    auto fromFile = [&](auto&& read) {
        try {
            return read();
        } catch (const DatabaseError& e) {
            unreadable(e.what());
        }
    };
    std::unique_ptr<MdbTable> table =
        fromFile([&] { return file_->openTable(object.name, static_cast<std::uint32_t>(object.id) & 0xFFFFFF); });
    const auto& columns = table->columns();
    if (columns.empty()) unreadable("the table '" + object.name + "' has no columns");
    const std::optional<std::size_t> key = rowidKey(object, *table);
    if (key) rowidKeys_[upperAscii(object.name)] = upperAscii(columns[*key].name);
    else rowidKeys_.erase(upperAscii(object.name));
    std::string create = "CREATE TABLE " + sqlName(relationName(object.name)) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // The key keeps its declared type INTEGER, which is what makes it the rowid.
        create += (i ? ", " : "") + sqlName(columns[i].name) + " " + declaredType(columns[i].type) +
                  (key == i ? " PRIMARY KEY" : "");
    }
    out.exec(create + ")");
    // Several rows to a statement: a statement's own work is then spread over them.
    const std::size_t width = columns.size();
    const std::size_t batchRows = std::clamp<std::size_t>(kInsertVariables / width, 1, kInsertRows);
    auto insertOf = [&](std::size_t rows) {
        std::string values = "(?";
        for (std::size_t i = 1; i < width; ++i) values += ", ?";
        values += ")";
        std::string insert = "INSERT INTO " + sqlName(relationName(object.name)) + " VALUES ";
        for (std::size_t r = 0; r < rows; ++r) insert += (r ? ", " : "") + values;
        return insert;
    };
    SqliteStatement whole = out.prepare(insertOf(batchRows));
    RowBatches batches(*table, width, batchRows * kStatementsPerBatch);
    while (std::unique_ptr<RowBatches::Batch> batch = fromFile([&] { return batches.next(); })) {
        for (std::size_t first = 0; first < batch->rows; first += batchRows) {
            const std::size_t rows = std::min(batchRows, batch->rows - first);
            SqliteStatement last;
            if (rows != batchRows) last = out.prepare(insertOf(rows));
            SqliteStatement& write = rows == batchRows ? whole : last;
            const MdbValue* values = batch->values.data() + first * width;
            for (std::size_t i = 0; i < rows * width; ++i) {
                const MdbValue& value = values[i];
                int index = static_cast<int>(i) + 1;
                switch (value.kind) {
                    case MdbValue::Kind::Null: write.bindNull(index); break;
                    case MdbValue::Kind::Integer: write.bindInt(index, value.integer); break;
                    case MdbValue::Kind::Real: write.bindDouble(index, value.real); break;
                    case MdbValue::Kind::Text: write.bindText(index, value.bytes); break;
                    case MdbValue::Kind::Blob: write.bindBlob(index, value.bytes.data(), value.bytes.size()); break;
                }
            }
            write.step();
            write.reset();
        }
        rowsCopied_ += static_cast<std::int64_t>(batch->rows);
        batches.recycle(std::move(batch));
        if (rowsCopiedObserver_) rowsCopiedObserver_(rowsCopied_);
    }
}

// A column that joins by it and holds, row after row, ever greater whole numbers (as an
// AutoNumber key does) becomes the table's rowid: rows then go in at the end of the table, a
// join on the column finds its row without an index, and a scan still meets the rows in the
// file's order, since that is the order of their keys. Which column qualifies is found by
// reading it alone first; a null, a repeated or a smaller value, or a table that cannot be read
// (its reading proper then says why) leaves the table without one.
std::optional<std::size_t> AccessLoader::rowidKey(const Object& object, const MdbTable& table) {
    auto joined = joinKeys_.find(upperAscii(object.name));
    if (joined == joinKeys_.end()) return std::nullopt;
    std::optional<std::size_t> key;
    const auto& columns = table.columns();
    for (std::size_t i = 0; i < columns.size() && !key; ++i) {
        const auto type = static_cast<MdbType>(columns[i].type);
        if ((type == MdbType::Byte || type == MdbType::Integer || type == MdbType::Long) &&
            declaredType(columns[i].type) == "INTEGER" && joined->second.count(upperAscii(columns[i].name)))
            key = i;
    }
    if (!key) return std::nullopt;
    try {
        std::unique_ptr<MdbTable> keys =
            file_->openTable(object.name, static_cast<std::uint32_t>(object.id) & 0xFFFFFF);
        keys->readOnly({*key});
        std::vector<MdbValue> row;
        std::optional<std::int64_t> last;
        while (keys->next(row)) {
            const MdbValue& value = row[*key];
            if (value.kind != MdbValue::Kind::Integer || (last && value.integer <= *last)) return std::nullopt;
            last = value.integer;
        }
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
    return key;
}

bool AccessLoader::isRowidKey(const std::string& relation, const std::string& column) const {
    auto key = rowidKeys_.find(upperAscii(relation));
    return key != rowidKeys_.end() && key->second == upperAscii(column);
}

std::vector<CatalogEntry> AccessLoader::catalog() {
    std::vector<CatalogEntry> entries;
    for (const Object& object : objects_) {
        if (object.type != kTableObject || (object.flags & kSystemFlags)) continue;
        CatalogEntry entry;
        entry.name = object.name;
        try {
            entry.rows = file_->openTable(object.name, static_cast<std::uint32_t>(object.id) & 0xFFFFFF)->countRows();
        } catch (const DatabaseError& e) {
            unreadable(e.what());
        }
        entries.push_back(entry);
    }
    for (const Object& object : objects_) {
        if (object.type != kQueryObject) continue;
        CatalogEntry entry;
        entry.kind = CatalogEntry::Kind::Query;
        entry.name = object.name;
        try {
            entry.sql = oneLine(rebuildSelectSql(savedQuery(object)));
        } catch (const DatabaseError& e) {
            entry.sql = std::string("(") + e.what() + ")";
        }
        entries.push_back(entry);
    }
    return entries;
}

std::vector<SavedQuery> AccessLoader::savedQueries() {
    std::vector<SavedQuery> queries;
    for (const Object& object : objects_)
        if (object.type == kQueryObject) queries.push_back(savedQuery(object));
    return queries;
}

SavedQuery AccessLoader::savedQuery(const Object& object) {
    if (!queryRows_) {
        queryRows_.emplace();
        const Object* definitions = nullptr;
        for (const Object& o : objects_)
            if (o.type == kTableObject && upperAscii(o.name) == "MSYSQUERIES") definitions = &o;
        if (!definitions) unreadable("it has no table of query definitions (MSysQueries)");
        try {
            std::unique_ptr<MdbTable> table =
                file_->openTable(definitions->name, static_cast<std::uint32_t>(definitions->id) & 0xFFFFFF);
            const std::size_t attribute = columnIndex(*table, "Attribute", true);
            const std::size_t expression = columnIndex(*table, "Expression", true);
            const std::size_t flag = columnIndex(*table, "Flag", true);
            const std::size_t name1 = columnIndex(*table, "Name1", true);
            const std::size_t name2 = columnIndex(*table, "Name2", true);
            const std::size_t objectId = columnIndex(*table, "ObjectId", true);
            table->readOnly({attribute, expression, flag, name1, name2, objectId});
            std::vector<MdbValue> row;
            while (table->next(row)) {
                std::optional<std::int64_t> owner = integerOf(row[objectId]);
                std::optional<std::int64_t> code = integerOf(row[attribute]);
                if (!owner || !code) continue;
                QueryRow q;
                q.attribute = static_cast<int>(*code);
                q.expression = textOf(row[expression]);
                q.name1 = textOf(row[name1]);
                q.name2 = textOf(row[name2]);
                if (std::optional<std::int64_t> f = integerOf(row[flag])) q.flag = static_cast<int>(*f);
                (*queryRows_)[static_cast<std::int32_t>(*owner)].push_back(std::move(q));
            }
        } catch (const DatabaseError& e) {
            unreadable(std::string("its query definitions cannot be read: ") + e.what());
        }
    }
    SavedQuery query;
    query.name = object.name;
    query.objectFlags = object.flags;
    auto rows = queryRows_->find(object.id);
    if (rows != queryRows_->end()) query.rows = rows->second;
    return query;
}

void AccessLoader::loadQuery(const Object& object, SqliteDatabase& out) {
    for (const std::string& name : loading_)
        if (upperAscii(name) == upperAscii(object.name))
            throw DatabaseError("The query '" + object.name + "' reads itself (through '" +
                                loading_.back() + "')");
    loading_.push_back(object.name);
    SavedQuery query = savedQuery(object);
    if (!isUnionQuery(query)) query = withUnionSubqueriesApart(std::move(query));
    loadStatement(object.name, object.name, rebuildSelectSql(query), out);
    loading_.pop_back();
}

// A subquery in FROM that is itself a union becomes a view of its own, read by the query under
// the subquery's alias: the translation of a single statement holds no UNION.
SavedQuery AccessLoader::withUnionSubqueriesApart(SavedQuery query) {
    for (QueryRow& row : query.rows) {
        if (row.attribute != 5 || (row.name1 && !row.name1->empty()) || !row.expression ||
            splitUnion(*row.expression).parts.size() < 2)
            continue;
        Object subquery;
        subquery.type = kSubqueryObject;
        subquery.owner = query.name;
        subquery.name = query.name + " (" + (row.name2 && !row.name2->empty() ? *row.name2 : "subquery") + ")";
        while (find(subquery.name)) subquery.name += "'";
        subquery.statement = *row.expression;
        row.name1 = subquery.name;
        row.expression.reset();
        objects_.push_back(std::move(subquery));
    }
    return query;
}

namespace {

// A failure SQLite reports for a saved query, in the user's terms: the query and what it names.
DatabaseError queryFailure(const std::string& query, const std::string& sqliteDetail) {
    const std::string detail = withUserNames(sqliteDetail);
    const std::string missingColumn = "no such column: ";
    if (detail.rfind(missingColumn, 0) == 0)
        return DatabaseError("The query '" + query + "' names '" + detail.substr(missingColumn.size()) +
                             "', which is not a column of the tables and queries it reads (Access would ask for it as a parameter)");
    return DatabaseError("The query '" + query + "' cannot be used: " + detail);
}

// Runs one statement of the output for a saved query; its failure names the query.
void runFor(const std::string& query, SqliteDatabase& out, const std::string& sql) {
    SqliteStatement statement;
    std::string error = out.tryPrepare(sql, &statement);
    if (!error.empty()) throw queryFailure(query, error);
    try {
        statement.step();
    } catch (const DatabaseError& e) {
        throw queryFailure(query, e.what());
    }
}

// A union's ORDER BY term as SQLite orders a compound statement: by a column of the result,
// counted or named (a qualified name by its last part, as the result names its columns).
std::optional<std::string> unionOrderTerm(const UnionStatement::Order& order) {
    const std::string& term = order.term;
    const std::string direction = order.descending ? " DESC" : "";
    if (!term.empty() && term.find_first_not_of("0123456789") == std::string::npos) return term + direction;
    std::string last;
    std::size_t i = 0;
    while (i < term.size()) {
        if (term[i] == '[' || term[i] == '`') {
            std::size_t end = term.find(term[i] == '[' ? ']' : '`', i + 1);
            if (end == std::string::npos) return std::nullopt;
            last = term.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            std::size_t end = i;
            while (end < term.size() && (std::isalnum(static_cast<unsigned char>(term[end])) || term[end] == '_' ||
                                         static_cast<unsigned char>(term[end]) >= 0x80))
                ++end;
            if (end == i) return std::nullopt;
            last = term.substr(i, end - i);
            i = end;
        }
        if (i < term.size() && term[i] != '.') return std::nullopt;
        if (i < term.size()) ++i;
    }
    if (last.empty()) return std::nullopt;
    return quotedIdentifier(last) + direction;
}

}  // namespace

void AccessLoader::loadStatement(const std::string& view, const std::string& query, const std::string& jet,
                                 SqliteDatabase& out) {
    Schema schema(*this, out);
    JetTranslateOptions options;
    options.context = query;
    options.schema = &schema;
    options.savedQuery = true;
    // A union is translated one SELECT at a time and joined in SQLite, which reads UNION and
    // UNION ALL, left to right, as Jet does.
    UnionStatement statement = splitUnion(jet);
    if (statement.parts.size() > kMostUnionSelects)
        throw DatabaseError("The query '" + query + "' joins " + std::to_string(statement.parts.size()) +
                            " SELECTs with UNION; at most " + std::to_string(kMostUnionSelects) + " can be read");
    // The columns the statement joins by, learnt before its tables are copied, so that a key
    // among them can become its table's rowid. Nothing is read for it; a statement that cannot
    // be translated this way fails, with its message, in the translation proper below.
    for (const UnionStatement::Part& part : statement.parts) {
        try {
            JetTranslateOptions names;
            names.context = query;
            names.savedQuery = true;
            for (const JetTranslation::Column& key :
                 translateJet(statement.parts.size() == 1 ? jet : part.select, names).joinColumns)
                joinKeys_[upperAscii(key.relation)].insert(upperAscii(key.column));
        } catch (const DatabaseError&) {
        }
    }
    std::vector<JetTranslation> translations;
    for (const UnionStatement::Part& part : statement.parts) {
        translations.push_back(translateJet(statement.parts.size() == 1 ? jet : part.select, options));
        for (const std::string& source : translations.back().relations)
            if (!find(source))
                throw DatabaseError("The query '" + query + "' reads '" + source +
                                    "', which is neither a table nor a query of '" + path_ + "'");
    }
    std::string sql;
    if (translations.size() == 1) {
        sql = translations[0].sql;
    } else {
        for (std::size_t i = 0; i < translations.size(); ++i)
            sql += std::string(i == 0 ? "" : statement.parts[i].all ? " UNION ALL " : " UNION ") +
                   "SELECT * FROM (" + translations[i].sql + ")";
        for (std::size_t i = 0; i < statement.orderBy.size(); ++i) {
            std::optional<std::string> term = unionOrderTerm(statement.orderBy[i]);
            if (!term)
                throw DatabaseError("The query '" + query + "' orders its union by '" + statement.orderBy[i].term +
                                    "', which is not a column of the result");
            sql += (i ? ", " : " ORDER BY ") + *term;
        }
    }
    runFor(query, out, "CREATE VIEW " + sqlName(relationName(view)) + " AS " + sql);
    // Preparing a statement on the view checks every name and function in it now.
    SqliteStatement probe;
    std::string error = out.tryPrepare("SELECT * FROM " + sqlName(relationName(view)), &probe);
    if (!error.empty()) throw queryFailure(query, error);
    // Access files usually index the keys their queries join by; without an index SQLite would
    // build a temporary one for every statement on the view. An inner join with a rowid on one
    // side needs none: SQLite reads the other side's table and finds each row by its rowid.
    for (const JetTranslation& translation : translations)
        for (const JetTranslation::Column& key : translation.joinColumns) {
            const Object* source = find(key.relation);
            if (!source || source->type != kTableObject) continue;
            // Every join by the key must find its rows by a rowid for the index to be of no use.
            int joins = 0, byRowid = 0;
            for (const JetTranslation::Join& join : translation.joins)
                for (const auto& [side, other] : {std::pair(join.left, join.right), std::pair(join.right, join.left)})
                    if (sameColumn(side, key)) {
                        ++joins;
                        if (join.inner && isRowidKey(other.relation, other.column)) ++byRowid;
                    }
            if (isRowidKey(key.relation, key.column) || (joins > 0 && byRowid == joins)) continue;
            runFor(query, out,
                   "CREATE INDEX IF NOT EXISTS " + sqlName("pontrel_join_" + source->name + "_" + key.column) +
                       " ON " + sqlName(relationName(source->name)) + " (" + sqlName(key.column) + ")");
        }
}

}  // namespace pontrel::data
