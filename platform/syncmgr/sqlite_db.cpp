#include "platform/syncmgr/sqlite_db.h"

#include <atomic>
#include <cstring>
#include <string>

namespace platform::syncmgr::sql {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw StorageError(what + ": " + (db ? sqlite3_errmsg(db) : "no connection"));
}
}  // namespace

Database::Database(const std::filesystem::path& file, bool create) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string message = "cannot open " + file.string() + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        db_ = nullptr;
        throw StorageError(message);
    }
    sqlite3_busy_timeout(db_, 10000);
    sqlite3_stmt* mode = nullptr;
    if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &mode, nullptr) == SQLITE_OK &&
        sqlite3_step(mode) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(mode, 0);
        wal_ = text && std::strcmp(reinterpret_cast<const char*>(text), "wal") == 0;
    }
    const int rc = sqlite3_finalize(mode);
    if (rc != SQLITE_OK) {
        std::string message = "PRAGMA journal_mode=WAL on " + file.string() + ": " + sqlite3_errmsg(db_);
        sqlite3_close(db_);
        db_ = nullptr;
        throw StorageError(message);
    }
    exec("PRAGMA synchronous=NORMAL");
}

// The WAL index's first 48 bytes are the first copy of its header (the layout SQLite
// documents for the WAL index); region 0 is mapped once the connection has read the file.
std::optional<Database::WalHeader> Database::walHeader() const {
    if (!wal_) return std::nullopt;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods ||
        file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
        return std::nullopt;
    volatile void* region = nullptr;
    if (file->pMethods->xShmMap(file, 0, 32 * 1024, 0, &region) != SQLITE_OK || !region) return std::nullopt;
    WalHeader header;
    std::atomic_thread_fence(std::memory_order_acquire);
    const volatile unsigned char* bytes = static_cast<const volatile unsigned char*>(region);
    for (size_t i = 0; i < header.size(); ++i) header[i] = bytes[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    return header;
}

Database::~Database() {
    cache_.clear();  // statements before the connection
    sqlite3_close(db_);
}

void Database::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = std::string(sql) + ": " + (error ? error : "failed");
        sqlite3_free(error);
        throw StorageError(message);
    }
}

Database::Use Database::prepare(const char* sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) it = cache_.emplace(sql, std::make_unique<Statement>(db_, sql)).first;
    return Use(it->second->reset());
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) fail(db, std::string("cannot prepare ") + sql);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return *this;
}

Statement& Statement::bind(int index, int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) fail(db_, "bind");
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, "bind");
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, size_t size) {
    // A zero-length blob is still a blob, not NULL.
    static const uint8_t empty = 0;
    if (sqlite3_bind_blob(stmt_, index, size ? data : &empty, static_cast<int>(size), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, "bind");
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw StorageError("step: " + message);
}

void Statement::run() {
    while (step()) {
    }
}

int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::text(int column) const {
    const unsigned char* p = sqlite3_column_text(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

std::vector<uint8_t> Statement::blob(int column) const {
    std::vector<uint8_t> out;
    blobInto(column, out);
    return out;
}

void Statement::blobInto(int column, std::vector<uint8_t>& out) const {
    const void* p = sqlite3_column_blob(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    if (!p || n <= 0) return out.clear();
    const auto* bytes = static_cast<const uint8_t*>(p);
    out.assign(bytes, bytes + n);
}

bool Statement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

// Inside a transaction already open on the connection (a group of writes), the change is
// a savepoint of it: a failed change undoes itself and leaves the rest of the group.
Transaction::Transaction(Database& db) : db_(db), nested_(!sqlite3_get_autocommit(db.handle())) {
    db_.exec(nested_ ? "SAVEPOINT change" : "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (done_) return;
    if (nested_) {
        sqlite3_exec(db_.handle(), "ROLLBACK TO change", nullptr, nullptr, nullptr);
        sqlite3_exec(db_.handle(), "RELEASE change", nullptr, nullptr, nullptr);
    } else {
        sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit() {
    db_.exec(nested_ ? "RELEASE change" : "COMMIT");
    done_ = true;
}

ReadTransaction::ReadTransaction(Database& db) : db_(db), open_(!db.inTransaction()) {
    if (open_) db_.exec("BEGIN");
}

ReadTransaction::~ReadTransaction() {
    if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void ReadTransaction::end() {
    if (!open_) return;
    open_ = false;
    db_.exec("COMMIT");
}

}  // namespace platform::syncmgr::sql
