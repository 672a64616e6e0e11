#include "platform/core/registry.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/runtime.h"

// One row per key (parent 0 for the three hive roots, which have fixed ids) and one per
// value. AUTOINCREMENT keeps ids rising, so ordering by id is creation order and a deleted
// key's id never comes back to a stale handle.
namespace platform {
struct RegKeyObject {
    sqlite3_int64 id;
    std::string dbPath;
};
}  // namespace platform

using platform::RegKeyObject;

namespace {

constexpr sqlite3_int64 kClassesRoot = 1, kCurrentUser = 2, kLocalMachine = 3;
constexpr int kBusyTimeoutMs = 15000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL, name TEXT NOT NULL, lname TEXT NOT NULL, UNIQUE(parent, lname));"
    "CREATE TABLE IF NOT EXISTS reg_values(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL, name TEXT NOT NULL, lname TEXT NOT NULL, type INTEGER NOT NULL,"
    " data BLOB NOT NULL, UNIQUE(key, lname));"
    "INSERT OR IGNORE INTO keys(id, parent, name, lname) VALUES"
    " (1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),"
    " (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),"
    " (3, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');";

// Names are 8-bit text; only ASCII letters fold, as the stored spelling must survive.
std::string fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return ok_; }
    Statement& bind(int i, sqlite3_int64 v) {
        ok_ = ok_ && sqlite3_bind_int64(stmt_, i, v) == SQLITE_OK;
        return *this;
    }
    Statement& bind(int i, const std::string& v) {
        ok_ = ok_ && sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT) == SQLITE_OK;
        return *this;
    }
    Statement& bindBlob(int i, const std::vector<unsigned char>& v) {
        // A zero-length blob must still be a blob, not NULL.
        static const unsigned char empty = 0;
        ok_ = ok_ && sqlite3_bind_blob(stmt_, i, v.empty() ? &empty : v.data(), static_cast<int>(v.size()),
                                       SQLITE_TRANSIENT) == SQLITE_OK;
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return ok_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    sqlite3_int64 integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string text(int col) const {
        const auto* p = sqlite3_column_text(stmt_, col);
        return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    std::vector<unsigned char> blob(int col) const {
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(stmt_, col));
        const int n = sqlite3_column_bytes(stmt_, col);
        return p ? std::vector<unsigned char>(p, p + n) : std::vector<unsigned char>();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// The process's connection. Reopened when the runtime root changes (tests move it) and
// after a fork, since a SQLite connection must not be used by a child: the inherited one
// is abandoned, not closed, so the parent's locks stay as they are.
class Connection {
public:
    ~Connection() {
        if (db_ && pid_ == getpid()) sqlite3_close_v2(db_);
    }
    sqlite3* get(const std::string& path) {
        if (db_ && (pid_ != getpid() || path != path_)) {
            if (pid_ == getpid()) sqlite3_close_v2(db_);
            db_ = nullptr;
        }
        if (!db_) open(path);
        return db_;
    }

private:
    void open(const std::string& path) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db);
            return;
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // WAL lets readers and one writer of several processes overlap; NORMAL sync is
        // durable enough for settings and avoids an fsync per call.
        bool ready =
            exec(db, "PRAGMA journal_mode=WAL") && exec(db, "PRAGMA synchronous=NORMAL") && exec(db, "BEGIN IMMEDIATE");
        if (ready) {
            ready = exec(db, kSchema);
            ready = exec(db, ready ? "COMMIT" : "ROLLBACK") && ready;
        }
        if (!ready) {
            sqlite3_close_v2(db);
            return;
        }
        db_ = db;
        path_ = path;
        pid_ = getpid();
    }

    sqlite3* db_ = nullptr;
    std::string path_;
    pid_t pid_ = 0;
};

std::mutex gMutex;
Connection gConnection;

std::string currentDbPath() { return (platform::runtimeRoot() / "registry.db").string(); }

struct Target {
    std::string dbPath;
    sqlite3_int64 id = 0;
    bool predefined = false;
};

std::optional<Target> resolveHandle(HKEY key) {
    const auto raw = reinterpret_cast<uintptr_t>(key);
    if (raw == reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT)) return Target{currentDbPath(), kClassesRoot, true};
    if (raw == reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER)) return Target{currentDbPath(), kCurrentUser, true};
    if (raw == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE)) return Target{currentDbPath(), kLocalMachine, true};
    // Other predefined handles (users, performance data, ...) are not kept here.
    if (!key || (raw >= 0x80000000u && raw <= 0x800000FFu)) return std::nullopt;
    return Target{key->dbPath, key->id, false};
}

// Runs one short transaction on the key's database under the process lock. The body
// returns a registry status; anything but success rolls back.
template <class Body>
LSTATUS transaction(HKEY key, bool write, Body&& body) {
    auto target = resolveHandle(key);
    if (!target) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(gMutex);
    sqlite3* db = gConnection.get(target->dbPath);
    if (!db) return ERROR_CANTWRITE;
    if (!exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN")) return ERROR_CANTWRITE;
    LSTATUS status = ERROR_SUCCESS;
    if (!target->predefined) {
        Statement alive(db, "SELECT 1 FROM keys WHERE id = ?");
        alive.bind(1, target->id);
        const int rc = alive.step();
        if (rc == SQLITE_DONE)
            status = ERROR_KEY_DELETED;
        else if (rc != SQLITE_ROW)
            status = ERROR_CANTWRITE;
    }
    if (status == ERROR_SUCCESS) status = body(db, *target);
    if (status == ERROR_SUCCESS) {
        if (!exec(db, "COMMIT")) {
            exec(db, "ROLLBACK");
            return ERROR_CANTWRITE;
        }
    } else {
        exec(db, "ROLLBACK");
    }
    return status;
}

std::vector<std::string> splitPath(const char* subKey) {
    std::vector<std::string> parts;
    if (!subKey) return parts;
    std::string_view rest(subKey);
    while (!rest.empty()) {
        const size_t cut = rest.find('\\');
        const std::string_view part = rest.substr(0, cut);
        if (!part.empty()) parts.emplace_back(part);
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return parts;
}

// The id of the child called `name`, 0 when absent, -1 on a database error.
sqlite3_int64 findChild(sqlite3* db, sqlite3_int64 parent, const std::string& name) {
    Statement q(db, "SELECT id FROM keys WHERE parent = ? AND lname = ?");
    q.bind(1, parent).bind(2, fold(name));
    const int rc = q.step();
    if (rc == SQLITE_ROW) return q.integer(0);
    return rc == SQLITE_DONE ? 0 : -1;
}

LSTATUS walk(sqlite3* db, sqlite3_int64 start, const char* subKey, bool create, sqlite3_int64* out, bool* created) {
    sqlite3_int64 id = start;
    if (created) *created = false;
    for (const auto& part : splitPath(subKey)) {
        sqlite3_int64 child = findChild(db, id, part);
        if (child < 0) return ERROR_CANTWRITE;
        if (child == 0) {
            if (!create) return ERROR_FILE_NOT_FOUND;
            Statement ins(db, "INSERT INTO keys(parent, name, lname) VALUES (?, ?, ?)");
            ins.bind(1, id).bind(2, part).bind(3, fold(part));
            if (ins.step() != SQLITE_DONE) return ERROR_CANTWRITE;
            child = sqlite3_last_insert_rowid(db);
            if (created) *created = true;
        }
        id = child;
    }
    *out = id;
    return ERROR_SUCCESS;
}

LSTATUS openOrCreate(HKEY parent, const char* subKey, bool create, HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    sqlite3_int64 id = 0;
    bool created = false;
    std::string dbPath;
    const LSTATUS status = transaction(parent, create, [&](sqlite3* db, const Target& t) {
        dbPath = t.dbPath;
        return walk(db, t.id, subKey, create, &id, &created);
    });
    if (status != ERROR_SUCCESS) return status;
    *result = new (std::nothrow) RegKeyObject{id, dbPath};
    if (!*result) return ERROR_OUTOFMEMORY;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

std::string valueName(const char* name) { return name ? std::string(name) : std::string(); }

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Copies a name into a caller's buffer of *size bytes (with the NUL).
LSTATUS putName(const std::string& name, char* out, DWORD* size) {
    if (!out || !size) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *size) {
        *size = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LSTATUS putData(const std::vector<unsigned char>& bytes, unsigned char* data, DWORD* dataSize) {
    if (!dataSize) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (data) {
        if (*dataSize < needed) {
            *dataSize = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, bytes.data(), needed);
    }
    *dataSize = needed;
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY parent, const char* subKey, DWORD, REGSAM, HKEY* result) {
    return openOrCreate(parent, subKey, false, result, nullptr);
}

LSTATUS RegOpenKeyA(HKEY parent, const char* subKey, HKEY* result) {
    return openOrCreate(parent, subKey, false, result, nullptr);
}

LSTATUS RegCreateKeyA(HKEY parent, const char* subKey, HKEY* result) {
    return openOrCreate(parent, subKey, true, result, nullptr);
}

LSTATUS RegCreateKeyExA(HKEY parent, const char* subKey, DWORD, char*, DWORD, REGSAM, void*, HKEY* result,
                        DWORD* disposition) {
    return openOrCreate(parent, subKey, true, result, disposition);
}

LSTATUS RegCloseKey(HKEY key) {
    auto target = resolveHandle(key);
    if (!target) return ERROR_INVALID_HANDLE;
    if (!target->predefined) delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, unsigned char* data, DWORD* dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    return transaction(key, false, [&](sqlite3* db, const Target& t) -> LSTATUS {
        Statement q(db, "SELECT type, data FROM reg_values WHERE key = ? AND lname = ?");
        q.bind(1, t.id).bind(2, fold(valueName(name)));
        const int rc = q.step();
        if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW) return ERROR_CANTWRITE;
        if (type) *type = static_cast<DWORD>(q.integer(0));
        return putData(q.blob(1), data, dataSize);
    });
}

LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const unsigned char* data, DWORD dataSize) {
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    if (type == REG_DWORD && dataSize != 4) return ERROR_INVALID_PARAMETER;
    std::vector<unsigned char> bytes(data, data + dataSize);
    if (isText(type)) {
        const auto nul = std::find(bytes.begin(), bytes.end(), 0);
        bytes.erase(nul, bytes.end());
        bytes.push_back(0);
    }
    const std::string n = valueName(name);
    return transaction(key, true, [&](sqlite3* db, const Target& t) -> LSTATUS {
        // An update keeps the value's place in the enumeration order.
        Statement up(db, "UPDATE reg_values SET type = ?, data = ? WHERE key = ? AND lname = ?");
        up.bind(1, type).bindBlob(2, bytes).bind(3, t.id).bind(4, fold(n));
        if (up.step() != SQLITE_DONE) return ERROR_CANTWRITE;
        if (sqlite3_changes(db) > 0) return ERROR_SUCCESS;
        Statement ins(db, "INSERT INTO reg_values(key, name, lname, type, data) VALUES (?, ?, ?, ?, ?)");
        ins.bind(1, t.id).bind(2, n).bind(3, fold(n)).bind(4, type).bindBlob(5, bytes);
        return ins.step() == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTWRITE;
    });
}

LSTATUS RegDeleteValueA(HKEY key, const char* name) {
    return transaction(key, true, [&](sqlite3* db, const Target& t) -> LSTATUS {
        Statement del(db, "DELETE FROM reg_values WHERE key = ? AND lname = ?");
        del.bind(1, t.id).bind(2, fold(valueName(name)));
        if (del.step() != SQLITE_DONE) return ERROR_CANTWRITE;
        return sqlite3_changes(db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteKeyA(HKEY parent, const char* subKey) {
    // Deleting through an empty path would remove the parent (or a hive root) itself.
    if (splitPath(subKey).empty()) return ERROR_INVALID_PARAMETER;
    return transaction(parent, true, [&](sqlite3* db, const Target& t) -> LSTATUS {
        sqlite3_int64 id = 0;
        if (LSTATUS s = walk(db, t.id, subKey, false, &id, nullptr); s != ERROR_SUCCESS) return s;
        Statement children(db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        children.bind(1, id);
        const int rc = children.step();
        if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
        if (rc != SQLITE_DONE) return ERROR_CANTWRITE;
        Statement values(db, "DELETE FROM reg_values WHERE key = ?");
        values.bind(1, id);
        Statement self(db, "DELETE FROM keys WHERE id = ?");
        self.bind(1, id);
        return values.step() == SQLITE_DONE && self.step() == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTWRITE;
    });
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, DWORD* type, unsigned char* data,
                      DWORD* dataSize) {
    if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    return transaction(key, false, [&](sqlite3* db, const Target& t) -> LSTATUS {
        Statement q(db, "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
        q.bind(1, t.id).bind(2, static_cast<sqlite3_int64>(index));
        const int rc = q.step();
        if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW) return ERROR_CANTWRITE;
        if (LSTATUS s = putName(q.text(0), name, nameSize); s != ERROR_SUCCESS) return s;
        if (type) *type = static_cast<DWORD>(q.integer(1));
        return putData(q.blob(2), data, dataSize);
    });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char* cls, DWORD* clsSize,
                      void* lastWrite) {
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    return transaction(key, false, [&](sqlite3* db, const Target& t) -> LSTATUS {
        Statement q(db, "SELECT name FROM keys WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
        q.bind(1, t.id).bind(2, static_cast<sqlite3_int64>(index));
        const int rc = q.step();
        if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW) return ERROR_CANTWRITE;
        if (LSTATUS s = putName(q.text(0), name, nameSize); s != ERROR_SUCCESS) return s;
        // Keys carry no class and no write time here.
        if (cls && clsSize && *clsSize) cls[0] = '\0';
        if (clsSize) *clsSize = 0;
        if (lastWrite) std::memset(lastWrite, 0, 8);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) {
    return RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
}
