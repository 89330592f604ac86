#include "sqlite/Sqlite.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <new>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "sqlite/DatabaseError.h"

namespace pontrel::data {

struct SqliteDatabase::Clock {
    std::chrono::seconds limit{0};
    std::chrono::steady_clock::time_point deadline{};
    bool fired = false;
};

namespace {

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    std::string detail = db ? sqlite3_errmsg(db) : "out of memory";
    throw DatabaseError(what + ": " + detail);
}

std::atomic<bool> temporaryRefused{false};

DatabaseError::Cause causeOf(int rc) {
    using Cause = DatabaseError::Cause;
    switch (rc & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return Cause::Locked;
        case SQLITE_INTERRUPT: return Cause::TimedOut;
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG: return Cause::NoMemory;
        case SQLITE_FULL: return temporaryRefused.exchange(false) ? Cause::TemporaryLimit : Cause::NoSpace;
        default: return Cause::Other;
    }
}

// The bound on temporary files: a file system wrapping the default one, whose temporary files
// count the bytes they hold and refuse to grow past the bound (SQLITE_FULL).
std::atomic<std::int64_t> temporaryLimit{0};
std::atomic<std::int64_t> temporaryUsed{0};
sqlite3_vfs* realVfs = nullptr;

struct BoundedFile {
    sqlite3_file base;
    sqlite3_int64 size;  // the bytes counted for it
    sqlite3_file* inner() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_file* innerOf(sqlite3_file* file) { return reinterpret_cast<BoundedFile*>(file)->inner(); }

int boundedClose(sqlite3_file* file) {
    auto* bounded = reinterpret_cast<BoundedFile*>(file);
    temporaryUsed -= bounded->size;
    bounded->size = 0;
    return bounded->inner()->pMethods->xClose(bounded->inner());
}
int boundedRead(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    return innerOf(file)->pMethods->xRead(innerOf(file), data, amount, offset);
}
int boundedWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    auto* bounded = reinterpret_cast<BoundedFile*>(file);
    const sqlite3_int64 end = offset + amount;
    if (end > bounded->size) {
        const std::int64_t limit = temporaryLimit.load();
        const sqlite3_int64 growth = end - bounded->size;
        if (limit > 0 && temporaryUsed.load() + growth > limit) {
            temporaryRefused = true;
            return SQLITE_FULL;
        }
        temporaryUsed += growth;
        bounded->size = end;
    }
    return bounded->inner()->pMethods->xWrite(bounded->inner(), data, amount, offset);
}
int boundedTruncate(sqlite3_file* file, sqlite3_int64 size) {
    auto* bounded = reinterpret_cast<BoundedFile*>(file);
    if (size < bounded->size) {
        temporaryUsed -= bounded->size - size;
        bounded->size = size;
    }
    return bounded->inner()->pMethods->xTruncate(bounded->inner(), size);
}
int boundedSync(sqlite3_file* file, int flags) { return innerOf(file)->pMethods->xSync(innerOf(file), flags); }
int boundedFileSize(sqlite3_file* file, sqlite3_int64* size) {
    return innerOf(file)->pMethods->xFileSize(innerOf(file), size);
}
int boundedLock(sqlite3_file* file, int lock) { return innerOf(file)->pMethods->xLock(innerOf(file), lock); }
int boundedUnlock(sqlite3_file* file, int lock) { return innerOf(file)->pMethods->xUnlock(innerOf(file), lock); }
int boundedCheckReservedLock(sqlite3_file* file, int* out) {
    return innerOf(file)->pMethods->xCheckReservedLock(innerOf(file), out);
}
int boundedFileControl(sqlite3_file* file, int op, void* arg) {
    return innerOf(file)->pMethods->xFileControl(innerOf(file), op, arg);
}
int boundedSectorSize(sqlite3_file* file) { return innerOf(file)->pMethods->xSectorSize(innerOf(file)); }
int boundedDeviceCharacteristics(sqlite3_file* file) {
    return innerOf(file)->pMethods->xDeviceCharacteristics(innerOf(file));
}

// Version 1: temporary files are never memory-mapped or shared.
const sqlite3_io_methods boundedMethods = {
    1, boundedClose, boundedRead, boundedWrite, boundedTruncate, boundedSync, boundedFileSize,
    boundedLock, boundedUnlock, boundedCheckReservedLock, boundedFileControl, boundedSectorSize,
    boundedDeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

constexpr int kTemporaryFiles = SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL |
                                SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL;

int boundedOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    if (name != nullptr && (flags & kTemporaryFiles) == 0)
        return realVfs->xOpen(realVfs, name, file, flags, outFlags);
    auto* bounded = reinterpret_cast<BoundedFile*>(file);
    bounded->base.pMethods = nullptr;
    bounded->size = 0;
    int rc = realVfs->xOpen(realVfs, name, bounded->inner(), flags, outFlags);
    if (rc == SQLITE_OK) bounded->base.pMethods = &boundedMethods;
    return rc;
}

void registerBoundedVfs() {
    static std::once_flag once;
    std::call_once(once, [] {
        realVfs = sqlite3_vfs_find(nullptr);
        if (!realVfs) return;
        static sqlite3_vfs bounded = *realVfs;
        bounded.iVersion = std::min(realVfs->iVersion, 3);
        bounded.szOsFile = static_cast<int>(sizeof(BoundedFile)) + realVfs->szOsFile;
        bounded.zName = "pontrel-bounded";
        // Every call but xOpen goes to the default file system with its own data (pAppData).
        bounded.xOpen = boundedOpen;
        // Not the default: only the program's own handles use it, never another library's
        // (PROJ opens its database through a file system of its own over the default one).
        sqlite3_vfs_register(&bounded, 0);
    });
}

}  // namespace

namespace {
int checkClock(void* data) {
    auto* clock = static_cast<SqliteDatabase::Clock*>(data);
    if (clock->limit.count() == 0 || std::chrono::steady_clock::now() < clock->deadline) return 0;
    clock->fired = true;
    return 1;
}
}  // namespace

void SqliteDatabase::setBusyTimeout(std::chrono::milliseconds wait) {
    sqlite3_busy_timeout(db_, static_cast<int>(wait.count()));
}

void SqliteDatabase::setTimeLimit(std::chrono::seconds limit) {
    clock_->limit = limit;
    restartClock();
    // The clock is read every few thousand steps of the statement, often enough to stop within
    // a fraction of a second and rarely enough to cost nothing.
    sqlite3_progress_handler(db_, limit.count() > 0 ? 4096 : 0, limit.count() > 0 ? checkClock : nullptr,
                             clock_.get());
}

void SqliteDatabase::restartClock() {
    clock_->deadline = std::chrono::steady_clock::now() + clock_->limit;
    clock_->fired = false;
}

void SqliteDatabase::setTemporarySpaceLimit(std::int64_t bytes) { temporaryLimit = bytes; }

namespace {

// SQLite's memory, all handles together, is bounded by half the machine's memory (at least
// 256 MB): past it a statement fails with SQLITE_NOMEM, which the user reads as not enough
// memory, instead of the program growing until the system stops it.
void limitSqliteHeap() {
    static const bool done = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
        const std::int64_t machine = pages > 0 && pageSize > 0 ? std::int64_t{pages} * pageSize : 0;
        sqlite3_hard_heap_limit64(std::max<std::int64_t>(std::int64_t{256} << 20, machine / 2));
        return true;
    }();
    (void)done;
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, Mode mode) : path_(path), clock_(std::make_unique<Clock>()) {
    registerBoundedVfs();
    int flags = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    flags |= mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
                                    : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, realVfs ? "pontrel-bounded" : nullptr);
    if (rc != SQLITE_OK) {
        std::string detail = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw DatabaseError("The file '" + path + "' could not be opened: " + detail, causeOf(rc));
    }
    sqlite3_extended_result_codes(db_, 1);
    // No text or blob of the program's work is anywhere near this long; a query that would make
    // one (a Jet function, replace(), printf()) fails at once instead of growing without bound.
    sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    limitSqliteHeap();
    // An unknown name in double quotes must fail the statement, not quietly become a text: a
    // misspelt column would otherwise yield its own name on every row.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close_v2(db_); }

void SqliteDatabase::exec(std::string_view sql) {
    std::string text(sql);
    char* message = nullptr;
    int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::string detail = message ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        throw DatabaseError("The database '" + path_ + "' failed: " + detail, causeOf(rc));
    }
}

std::string SqliteDatabase::tryPrepare(std::string_view sql, SqliteStatement* out) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return sqlite3_errmsg(db_);
    }
    if (stmt == nullptr) return "the statement is empty";
    *out = SqliteStatement(stmt);
    return {};
}

SqliteStatement SqliteDatabase::prepare(std::string_view sql) {
    SqliteStatement stmt;
    std::string error = tryPrepare(sql, &stmt);
    if (!error.empty())
        throw DatabaseError("The statement '" + std::string(sql) + "' failed: " + error,
                            causeOf(sqlite3_extended_errcode(db_)));
    return stmt;
}

void SqliteDatabase::createCollation(const std::string& name, Compare compare) {
    int rc = sqlite3_create_collation_v2(db_, name.c_str(), SQLITE_UTF8, nullptr, compare, nullptr);
    if (rc != SQLITE_OK) fail(db_, "The collation " + name + " could not be registered");
}

namespace {

void setResult(sqlite3_context* context, const SqlValue& value) {
    switch (value.type) {
        case SqlValue::Type::Null: sqlite3_result_null(context); break;
        case SqlValue::Type::Integer: sqlite3_result_int64(context, value.integer); break;
        case SqlValue::Type::Real: sqlite3_result_double(context, value.real); break;
        case SqlValue::Type::Text:
            sqlite3_result_text64(context, value.bytes.data(), value.bytes.size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8);
            break;
        case SqlValue::Type::Blob:
            sqlite3_result_blob64(context, value.bytes.data(), value.bytes.size(), SQLITE_TRANSIENT);
            break;
    }
}

SqlValue valueOf(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER: return SqlValue::ofInteger(sqlite3_value_int64(value));
        case SQLITE_FLOAT: return SqlValue::ofReal(sqlite3_value_double(value));
        case SQLITE_TEXT: {
            const unsigned char* text = sqlite3_value_text(value);
            int size = sqlite3_value_bytes(value);
            return SqlValue::ofText(text ? std::string(reinterpret_cast<const char*>(text),
                                                       static_cast<std::size_t>(size))
                                         : std::string());
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_value_blob(value);
            int size = sqlite3_value_bytes(value);
            return SqlValue::ofBlob(data ? std::string(static_cast<const char*>(data),
                                                       static_cast<std::size_t>(size))
                                         : std::string());
        }
        default: return SqlValue::null();
    }
}

// A registered function with the clock of the handle it was registered on.
struct FunctionEntry {
    SqlFunction function;
    const SqliteDatabase::Clock* clock;
};

// What the function running on this thread may check: its handle's clock and length limit.
struct FunctionCall {
    const SqliteDatabase::Clock* clock;
    sqlite3* db;
};
thread_local const FunctionCall* currentCall = nullptr;

struct StatementTimeUp {};
struct ResultTooLong {};

void callFunction(sqlite3_context* context, int count, sqlite3_value** values) {
    auto* entry = static_cast<FunctionEntry*>(sqlite3_user_data(context));
    const FunctionCall call{entry->clock, sqlite3_context_db_handle(context)};
    struct Current {
        const FunctionCall* previous;
        ~Current() { currentCall = previous; }
    } current{std::exchange(currentCall, &call)};
    try {
        std::vector<SqlValue> arguments;
        arguments.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) arguments.push_back(valueOf(values[i]));
        setResult(context, entry->function(arguments));
    } catch (const StatementTimeUp&) {
        sqlite3_result_error_code(context, SQLITE_INTERRUPT);
    } catch (const ResultTooLong&) {
        sqlite3_result_error_toobig(context);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(context, "an SQL function failed", -1);
    }
}

void destroyFunction(void* entry) { delete static_cast<FunctionEntry*>(entry); }

}  // namespace

bool isSqlKeyword(std::string_view word) {
    return sqlite3_keyword_check(word.data(), static_cast<int>(word.size())) != 0;
}

void checkStatementTime() {
    if (!currentCall || !currentCall->clock) return;
    const SqliteDatabase::Clock& clock = *currentCall->clock;
    if (clock.limit.count() > 0 && std::chrono::steady_clock::now() >= clock.deadline) throw StatementTimeUp{};
}

void checkResultLength(std::size_t bytes) {
    if (!currentCall) return;
    const int limit = sqlite3_limit(currentCall->db, SQLITE_LIMIT_LENGTH, -1);
    if (limit >= 0 && bytes > static_cast<std::size_t>(limit)) throw ResultTooLong{};
}

void SqliteDatabase::createFunction(const std::string& name, int argumentCount, SqlFunction function) {
    auto* owned = new FunctionEntry{std::move(function), clock_.get()};
    // sqlite3_create_function_v2 calls destroyFunction itself when registration fails.
    int rc = sqlite3_create_function_v2(db_, name.c_str(), argumentCount,
                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC, owned, callFunction,
                                        nullptr, nullptr, destroyFunction);
    if (rc != SQLITE_OK) fail(db_, "The SQL function " + name + " could not be registered");
}

namespace {

std::vector<SqlValue> argumentsOf(int count, sqlite3_value** values) {
    std::vector<SqlValue> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(valueOf(values[i]));
    return arguments;
}

// SQLite keeps, per group, a zeroed block of the size asked for: here one pointer to the state,
// made on the group's first row and deleted when SQLite asks for the result. SQLite asks for it
// exactly once per block, also when the statement stops early, so no state outlives its statement.
void stepAggregate(sqlite3_context* context, int count, sqlite3_value** values) {
    auto* factory = static_cast<SqlAggregateFactory*>(sqlite3_user_data(context));
    auto** slot = static_cast<SqlAggregate**>(sqlite3_aggregate_context(context, sizeof(SqlAggregate*)));
    if (slot == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    try {
        if (*slot == nullptr) *slot = (*factory)().release();
        (*slot)->add(argumentsOf(count, values));
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(context, "an SQL function failed", -1);
    }
}

void finishAggregate(sqlite3_context* context) {
    auto* factory = static_cast<SqlAggregateFactory*>(sqlite3_user_data(context));
    auto** slot = static_cast<SqlAggregate**>(sqlite3_aggregate_context(context, 0));
    std::unique_ptr<SqlAggregate> state(slot ? std::exchange(*slot, nullptr) : nullptr);
    try {
        if (!state) state = (*factory)();  // a group without rows: the result of no values
        setResult(context, state->result());
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(context, "an SQL function failed", -1);
    }
}

void destroyFactory(void* factory) { delete static_cast<SqlAggregateFactory*>(factory); }

}  // namespace

void SqliteDatabase::createAggregate(const std::string& name, int arity, SqlAggregateFactory factory) {
    auto* owned = new SqlAggregateFactory(std::move(factory));
    // sqlite3_create_function_v2 calls destroyFactory itself when registration fails.
    int rc = sqlite3_create_function_v2(db_, name.c_str(), arity, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                        owned, nullptr, stepAggregate, finishAggregate, destroyFactory);
    if (rc != SQLITE_OK) fail(db_, "The SQL function " + name + " could not be registered");
}

namespace {
void callScalar(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto function = reinterpret_cast<SqliteDatabase::ScalarFunction>(sqlite3_user_data(context));
    SqliteCall call(context, argc, reinterpret_cast<void**>(argv));
    function(call);
}
}  // namespace

void SqliteDatabase::createFunction(const std::string& name, int arity, ScalarFunction function) {
    int rc = sqlite3_create_function_v2(db_, name.c_str(), arity, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                        reinterpret_cast<void*>(function), callScalar, nullptr,
                                        nullptr, nullptr);
    if (rc != SQLITE_OK) fail(db_, "The SQL function " + name + " could not be registered");
}

namespace {
int collectReads(void* arg, int action, const char* table, const char*, const char*,
                 const char*) {
    if (action == SQLITE_READ && table != nullptr && std::strncmp(table, "sqlite_", 7) != 0)
        static_cast<std::set<std::string>*>(arg)->insert(table);
    return SQLITE_OK;
}
}  // namespace

std::vector<std::string> SqliteDatabase::tablesRead(std::string_view sql) {
    std::set<std::string> names;
    sqlite3_set_authorizer(db_, collectReads, &names);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
    sqlite3_set_authorizer(db_, nullptr, nullptr);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK) fail(db_, "The statement '" + std::string(sql) + "' failed");
    return {names.begin(), names.end()};
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

bool SqliteStatement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3* db = sqlite3_db_handle(stmt_);
    throw SqliteReadError(sqlite3_errmsg(db), causeOf(rc));
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

namespace {
void checkBind(sqlite3_stmt* stmt, int rc) {
    if (rc != SQLITE_OK)
        throw DatabaseError(std::string("Binding a value failed: ") +
                            sqlite3_errmsg(sqlite3_db_handle(stmt)));
}
}  // namespace

void SqliteStatement::bindNull(int index) { checkBind(stmt_, sqlite3_bind_null(stmt_, index)); }
void SqliteStatement::bindInt(int index, std::int64_t value) {
    checkBind(stmt_, sqlite3_bind_int64(stmt_, index, value));
}
void SqliteStatement::bindDouble(int index, double value) {
    checkBind(stmt_, sqlite3_bind_double(stmt_, index, value));
}
void SqliteStatement::bindText(int index, std::string_view value) {
    checkBind(stmt_, sqlite3_bind_text64(stmt_, index, value.data(), value.size(),
                                         SQLITE_TRANSIENT, SQLITE_UTF8));
}
void SqliteStatement::bindBlob(int index, const void* data, std::size_t size) {
    checkBind(stmt_, sqlite3_bind_blob64(stmt_, index, size ? data : "", size, SQLITE_TRANSIENT));
}

int SqliteStatement::columnCount() const { return sqlite3_column_count(stmt_); }

std::string SqliteStatement::columnName(int column) const {
    const char* name = sqlite3_column_name(stmt_, column);
    return name ? name : "";
}

std::string SqliteStatement::columnDeclaredType(int column) const {
    const char* type = sqlite3_column_decltype(stmt_, column);
    return type ? type : "";
}

namespace {
// SQLite's fundamental datatype code as the wrappers' type.
SqliteStatement::Type typeOf(int code) {
    switch (code) {
        case SQLITE_INTEGER: return SqliteStatement::Type::Integer;
        case SQLITE_FLOAT: return SqliteStatement::Type::Real;
        case SQLITE_TEXT: return SqliteStatement::Type::Text;
        case SQLITE_BLOB: return SqliteStatement::Type::Blob;
        default: return SqliteStatement::Type::Null;
    }
}
}  // namespace

SqliteStatement::Type SqliteStatement::columnType(int column) const {
    return typeOf(sqlite3_column_type(stmt_, column));
}

std::int64_t SqliteStatement::columnInt(int column) const {
    return sqlite3_column_int64(stmt_, column);
}
double SqliteStatement::columnDouble(int column) const {
    return sqlite3_column_double(stmt_, column);
}
std::string_view SqliteStatement::columnText(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    if (text == nullptr) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}
std::string_view SqliteStatement::columnBlob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    if (data == nullptr) return {};
    return {static_cast<const char*>(data),
            static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

SqliteValue SqliteStatement::columnValue(int column) const {
    return SqliteValue(sqlite3_column_value(stmt_, column));
}

SqliteValue::Type SqliteValue::type() const {
    return typeOf(sqlite3_value_type(static_cast<sqlite3_value*>(value_)));
}
std::int64_t SqliteValue::integer() const { return sqlite3_value_int64(static_cast<sqlite3_value*>(value_)); }
double SqliteValue::real() const { return sqlite3_value_double(static_cast<sqlite3_value*>(value_)); }
std::string_view SqliteValue::text() const {
    auto* value = static_cast<sqlite3_value*>(value_);
    const unsigned char* text = sqlite3_value_text(value);
    if (text == nullptr) return {};
    return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

namespace {
sqlite3_value* argument(void** argv, int index) { return static_cast<sqlite3_value*>(argv[index]); }
sqlite3_context* contextOf(void* context) { return static_cast<sqlite3_context*>(context); }
}  // namespace

SqliteStatement::Type SqliteCall::type(int index) const {
    return typeOf(sqlite3_value_type(argument(argv_, index)));
}
std::int64_t SqliteCall::integer(int index) const { return sqlite3_value_int64(argument(argv_, index)); }
double SqliteCall::real(int index) const { return sqlite3_value_double(argument(argv_, index)); }
std::string_view SqliteCall::text(int index) const {
    const unsigned char* text = sqlite3_value_text(argument(argv_, index));
    if (text == nullptr) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_value_bytes(argument(argv_, index)))};
}
void SqliteCall::resultNull() { sqlite3_result_null(contextOf(context_)); }
void SqliteCall::resultInteger(std::int64_t value) { sqlite3_result_int64(contextOf(context_), value); }
void SqliteCall::resultReal(double value) { sqlite3_result_double(contextOf(context_), value); }
void SqliteCall::resultError(const std::string& message) {
    sqlite3_result_error(contextOf(context_), message.c_str(), static_cast<int>(message.size()));
}

}  // namespace pontrel::data
