#pragma once
// A small RAII layer over SQLite for the sync manager's files: one connection per file in
// WAL mode with synchronous=NORMAL (a commit does not wait on the disk), a busy timeout so
// that two processes on one file take turns, and prepared statements kept per connection.
#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::syncmgr::sql {

class Statement;

class Database {
public:
    // Opens (creating when asked) the file; throws StorageError when it cannot.
    Database(const std::filesystem::path& file, bool create);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    // A statement prepared once per connection; the guard resets it when the use ends so
    // that no read stays open (an open read would pin this connection's view of the file).
    class Use;
    Use prepare(const char* sql);
    int64_t lastInsertId() const { return sqlite3_last_insert_rowid(db_); }
    int changes() const { return sqlite3_changes(db_); }
    bool inTransaction() const { return !sqlite3_get_autocommit(db_); }
    sqlite3* handle() const { return db_; }

    // The header of the file's shared WAL index, read from its shared memory without a lock
    // or a system call. Every commit, by any connection or process, changes it, so while it
    // stays the same nothing was committed; a copy torn by a commit in progress only ever
    // differs. Empty when the file is not in WAL mode or its index is not mapped yet.
    using WalHeader = std::array<unsigned char, 48>;
    std::optional<WalHeader> walHeader() const;

private:
    sqlite3* db_ = nullptr;
    bool wal_ = false;
    std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
};

class StorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& reset();
    Statement& bind(int index, int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, const void* data, size_t size);
    // Steps once: true while a row is there.
    bool step();
    // Steps to completion (for statements without rows).
    void run();
    int64_t integer(int column) const;
    std::string text(int column) const;
    std::vector<uint8_t> blob(int column) const;
    // The same into out, reusing its room.
    void blobInto(int column, std::vector<uint8_t>& out) const;
    bool isNull(int column) const;
    int columnType(int column) const { return sqlite3_column_type(stmt_, column); }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class Database::Use {
public:
    explicit Use(Statement& s) : s_(&s) {}
    ~Use() { s_->reset(); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    Statement* operator->() const { return s_; }
    Statement& operator*() const { return *s_; }

private:
    Statement* s_;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when the scope ends without commit(). Within a
// transaction the connection already has open, a savepoint of it instead.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    void commit();

private:
    Database& db_;
    bool nested_;
    bool done_ = false;
};

// Several reads that must see the file as of one moment: BEGIN ... COMMIT around them, or
// nothing within a transaction the connection already has open. Ended when the scope ends.
class ReadTransaction {
public:
    explicit ReadTransaction(Database& db);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void end();

private:
    Database& db_;
    bool open_;
};

}  // namespace platform::syncmgr::sql
