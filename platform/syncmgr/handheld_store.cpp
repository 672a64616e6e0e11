#include "platform/syncmgr/handheld_store.h"

#include <algorithm>
#include <system_error>

#include "platform/core/runtime.h"
#include "platform/syncmgr/sqlite_db.h"

namespace platform::syncmgr {

namespace {

constexpr uint32_t kDefaultRomSize = 4u << 20;
// A new handheld's card holds a mailbox of tens of thousands of messages, as a current
// device's would; the card's sizes are 32-bit, so 2 GiB keeps clear of their limit.
constexpr uint32_t kDefaultRamSize = 2048u << 20;
// Records read with one statement when a database is read by index: enough to spread the
// statement's cost, few enough that the records held stay small (at most ~2 MB).
constexpr int64_t kReadAheadRecords = 32;

DatabaseEntry databaseFrom(const sql::Statement& s) {
    DatabaseEntry e;
    e.id = s.integer(0);
    e.name = s.text(1);
    e.creator = static_cast<uint32_t>(s.integer(2));
    e.type = static_cast<uint32_t>(s.integer(3));
    e.version = static_cast<uint16_t>(s.integer(4));
    e.attributes = static_cast<uint16_t>(s.integer(5));
    e.card = static_cast<int>(s.integer(6));
    e.recordCount = static_cast<uint32_t>(s.integer(7));
    e.modNumber = static_cast<uint64_t>(s.integer(8));
    e.epoch = static_cast<uint64_t>(s.integer(9));
    return e;
}

constexpr const char* kDatabaseColumns =
    "SELECT id, name, creator, type, version, attributes, card, "
    "(SELECT COUNT(*) FROM records r WHERE r.db = d.id), mod_number, epoch FROM databases d ";

// Every change of a database's records counts one more and draws a new epoch, in the
// transaction of the change.
constexpr const char* kCountChange = "UPDATE databases SET mod_number = mod_number + 1, epoch = random() WHERE id = ?";

}  // namespace

std::filesystem::path HandheldStore::pathFor(const std::string& name) {
    return platform::runtimeRoot() / "handhelds" / (name + ".db");
}

bool HandheldStore::exists(const std::string& name) {
    std::error_code ec;
    return validName(name) && std::filesystem::exists(pathFor(name), ec);
}

bool HandheldStore::validName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                  c == '.';
        if (!ok) return false;
    }
    return true;
}

HandheldStore::HandheldStore(const std::string& name, bool create) : name_(name) {
    if (!validName(name)) throw sql::StorageError("invalid handheld name '" + name + "'");
    std::filesystem::path file = pathFor(name);
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    db_ = std::make_unique<sql::Database>(file, create);
    createSchema();
}

// A group still open is committed: every change in it is whole, and dropping them would
// lose what the caller was told was written.
HandheldStore::~HandheldStore() {
    try {
        flushWrites();
    } catch (const sql::StorageError&) {
    }
}

void HandheldStore::groupWrites(bool on) {
    grouping_ = on;
    if (!on) flushWrites();
}

void HandheldStore::flushWrites() {
    if (!db_->inTransaction()) return;
    try {
        db_->exec("COMMIT");
    } catch (const sql::StorageError&) {
        if (db_->inTransaction()) sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        forgetCaches();
        throw;
    }
}

void HandheldStore::joinGroup() {
    if (grouping_ && !db_->inTransaction()) db_->exec("BEGIN IMMEDIATE");
}

void HandheldStore::forgetCaches() {
    seenVersion_ = -1;
    seenHeader_.reset();
    card_.reset();
    failuresWaiting_.reset();
    order_.clear();
    ahead_.drop();
}

void HandheldStore::createSchema() {
    db_->exec(
        "CREATE TABLE IF NOT EXISTS databases(id INTEGER PRIMARY KEY, name TEXT NOT NULL, card INTEGER NOT NULL,"
        " creator INTEGER NOT NULL, type INTEGER NOT NULL, version INTEGER NOT NULL, attributes INTEGER NOT NULL,"
        " next_uid INTEGER NOT NULL DEFAULT 1, mod_number INTEGER NOT NULL DEFAULT 0,"
        " epoch INTEGER NOT NULL DEFAULT 0, UNIQUE(name, card));"
        "CREATE TABLE IF NOT EXISTS records(db INTEGER NOT NULL, uid INTEGER NOT NULL, ord INTEGER NOT NULL,"
        " attributes INTEGER NOT NULL, category INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(db, uid));"
        "CREATE INDEX IF NOT EXISTS records_order ON records(db, ord);"
        "CREATE TABLE IF NOT EXISTS preferences(creator INTEGER NOT NULL, id INTEGER NOT NULL,"
        " backup INTEGER NOT NULL, version INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(creator, id, backup));"
        "CREATE TABLE IF NOT EXISTS card(card INTEGER PRIMARY KEY, rom_size INTEGER NOT NULL,"
        " ram_size INTEGER NOT NULL, used INTEGER NOT NULL, name TEXT NOT NULL, manufacturer TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS remote_answers(creator INTEGER NOT NULL, action INTEGER NOT NULL,"
        " data BLOB NOT NULL, PRIMARY KEY(creator, action));"
        "CREATE TABLE IF NOT EXISTS injected_failures(id INTEGER PRIMARY KEY, operation TEXT NOT NULL,"
        " countdown INTEGER NOT NULL, code INTEGER NOT NULL);");
    // A file from before databases counted their changes: its databases start counting from
    // an epoch of their own.
    bool counted = false;
    {
        auto q = db_->prepare("SELECT 1 FROM pragma_table_info('databases') WHERE name = 'epoch'");
        counted = q->step();
    }
    if (!counted) {
        sql::Transaction t(*db_);
        db_->exec(
            "ALTER TABLE databases ADD COLUMN mod_number INTEGER NOT NULL DEFAULT 0;"
            "ALTER TABLE databases ADD COLUMN epoch INTEGER NOT NULL DEFAULT 0;"
            "UPDATE databases SET epoch = random();");
        t.commit();
    }
    auto q = db_->prepare(
        "INSERT OR IGNORE INTO card(card, rom_size, ram_size, used, name, manufacturer) VALUES(0, ?, ?, 0, ?, ?)");
    q->bind(1, int64_t{kDefaultRomSize}).bind(2, int64_t{kDefaultRamSize}).bind(3, "Internal").bind(4, "Tessaline");
    q->run();
}

int64_t HandheldStore::addUsedBytes(int64_t delta) {
    auto q = db_->prepare("UPDATE card SET used = MAX(0, used + ?) WHERE card = 0");
    q->bind(1, delta).run();
    return delta;
}

// Every call used to re-read the card, look for waiting failures and count records to find
// an index; with thousands of records a sync spent most of its time there. This
// connection now keeps those answers and trusts them until another connection commits,
// which SQLite's data_version tells at the cost of no file read.
//
// Reading the version is still a statement, which takes a lock on the file's shared memory
// and gives it back: two system calls, paid by every read. The WAL index header tells the
// same without either: when it has not changed since the version was read, nobody
// committed (this connection's own commits change it too, and only cost a look).
void HandheldStore::checkCaches() {
    const auto header = db_->walHeader();
    if (header && seenVersion_ != -1 && header == seenHeader_) return;
    // The header is taken before the version: a commit between the two leaves a header
    // that differs next time, and the version is read again then.
    auto q = db_->prepare("PRAGMA data_version");
    q->step();
    const int64_t version = q->integer(0);
    if (version != seenVersion_) forgetCaches();
    seenVersion_ = version;
    seenHeader_ = header;
}

std::vector<std::pair<int64_t, uint32_t>>& HandheldStore::order(int64_t db) {
    auto it = order_.find(db);
    if (it != order_.end()) return it->second;
    // No index holds both ord and uid: asked for together they cost a visit to every row,
    // whose page also holds the start of the record's data. Each index alone answers with
    // the row's rowid, so the two lists are read from the indexes and joined here. The two
    // statements run in one read transaction so that both see the same records.
    sql::ReadTransaction snapshot(*db_);
    std::vector<std::pair<int64_t, uint32_t>> uidOfRow;
    {
        auto q = db_->prepare("SELECT rowid, uid FROM records WHERE db = ?");
        q->bind(1, db);
        while (q->step()) uidOfRow.emplace_back(q->integer(0), static_cast<uint32_t>(q->integer(1)));
    }
    std::sort(uidOfRow.begin(), uidOfRow.end());
    std::vector<std::pair<int64_t, uint32_t>> list;
    list.reserve(uidOfRow.size());
    {
        auto q = db_->prepare("SELECT ord, rowid FROM records WHERE db = ? ORDER BY ord");
        q->bind(1, db);
        while (q->step()) {
            const int64_t row = q->integer(1);
            auto at = std::lower_bound(uidOfRow.begin(), uidOfRow.end(), std::make_pair(row, uint32_t{0}));
            if (at == uidOfRow.end() || at->first != row) throw sql::StorageError("records index out of step");
            list.emplace_back(q->integer(0), at->second);
        }
    }
    snapshot.end();
    return order_.emplace(db, std::move(list)).first->second;
}

uint32_t HandheldStore::indexOf(int64_t db, int64_t ord) {
    const auto& list = order(db);
    auto at = std::lower_bound(list.begin(), list.end(), std::make_pair(ord, uint32_t{0}));
    return static_cast<uint32_t>(at - list.begin());
}

// ---- databases --------------------------------------------------------------------------

int HandheldStore::createDatabase(const std::string& name, uint32_t creator, uint32_t type, uint16_t version,
                                  uint16_t attributes, int card, int64_t* id) {
    if (name.empty() || name.size() >= SYNC_DB_NAME_BYTES || name.find('\0') != std::string::npos)
        return SYNCERR_BAD_ARGUMENT;
    joinGroup();
    sql::Transaction t(*db_);
    {
        auto q = db_->prepare("SELECT 1 FROM databases WHERE name = ? AND card = ?");
        q->bind(1, name).bind(2, int64_t{card});
        if (q->step()) return SYNCERR_EXISTS;
    }
    auto q = db_->prepare(
        "INSERT INTO databases(name, card, creator, type, version, attributes, epoch)"
        " VALUES(?, ?, ?, ?, ?, ?, random())");
    q->bind(1, name).bind(2, int64_t{card}).bind(3, int64_t{creator}).bind(4, int64_t{type});
    q->bind(5, int64_t{version}).bind(6, int64_t{attributes}).run();
    if (id) *id = db_->lastInsertId();
    t.commit();
    return SYNC_OK;
}

int HandheldStore::findDatabase(const std::string& name, int card, DatabaseEntry* out) {
    auto q = db_->prepare((std::string(kDatabaseColumns) + "WHERE name = ? AND card = ?").c_str());
    q->bind(1, name).bind(2, int64_t{card});
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) *out = databaseFrom(*q);
    return SYNC_OK;
}

int HandheldStore::databaseById(int64_t id, DatabaseEntry* out) {
    auto q = db_->prepare((std::string(kDatabaseColumns) + "WHERE id = ?").c_str());
    q->bind(1, id);
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) *out = databaseFrom(*q);
    return SYNC_OK;
}

std::vector<DatabaseEntry> HandheldStore::databases() {
    std::vector<DatabaseEntry> list;
    auto q = db_->prepare((std::string(kDatabaseColumns) + "ORDER BY card, name").c_str());
    while (q->step()) list.push_back(databaseFrom(*q));
    return list;
}

// ---- records ----------------------------------------------------------------------------

int HandheldStore::writeRecord(int64_t db, uint32_t* recordId, uint8_t attributes, int32_t category,
                               const uint8_t* data, size_t size) {
    if (!recordId || (size && !data)) return SYNCERR_BAD_ARGUMENT;
    if (size > SYNC_MAX_RECORD_BYTES) return SYNCERR_TOO_BIG;
    ahead_.drop();
    joinGroup();
    sql::Transaction t(*db_);
    // Under the write lock: no other connection commits between this check and the end.
    checkCaches();
    int64_t oldSize = 0;
    if (*recordId != 0) {
        auto q = db_->prepare("SELECT length(data) FROM records WHERE db = ? AND uid = ?");
        q->bind(1, db).bind(2, int64_t{*recordId});
        if (!q->step()) return SYNCERR_NOT_FOUND;
        oldSize = q->integer(0);
    }
    CardEntry c = card();
    if (c.usedBytes - static_cast<uint64_t>(oldSize) + size > c.ramSize) return SYNCERR_NO_SPACE;
    if (*recordId == 0) {
        uint32_t uid;
        {
            auto q = db_->prepare("SELECT next_uid FROM databases WHERE id = ?");
            q->bind(1, db);
            if (!q->step()) return SYNCERR_NOT_OPEN;
            uid = static_cast<uint32_t>(q->integer(0));
        }
        // Unique ids are 24 bits on the handheld; past that there is no id left.
        if (uid > 0xFFFFFF) return SYNCERR_NO_SPACE;
        db_->prepare("UPDATE databases SET next_uid = next_uid + 1 WHERE id = ?")->bind(1, db).run();
        db_->prepare(kCountChange)->bind(1, db).run();
        int64_t ord;
        {
            auto q = db_->prepare("SELECT COALESCE(MAX(ord), 0) + 1 FROM records WHERE db = ?");
            q->bind(1, db).step();
            ord = q->integer(0);
        }
        auto q = db_->prepare("INSERT INTO records(db, uid, ord, attributes, category, data) VALUES(?, ?, ?, ?, ?, ?)");
        q->bind(1, db).bind(2, int64_t{uid}).bind(3, ord).bind(4, int64_t{attributes}).bind(5, int64_t{category});
        q->bindBlob(6, data, size).run();
        addUsedBytes(static_cast<int64_t>(size));
        t.commit();
        usedBytesChanged(static_cast<int64_t>(size));
        if (auto it = order_.find(db); it != order_.end()) it->second.emplace_back(ord, uid);
        *recordId = uid;
        return SYNC_OK;
    } else {
        auto q = db_->prepare("UPDATE records SET attributes = ?, category = ?, data = ? WHERE db = ? AND uid = ?");
        q->bind(1, int64_t{attributes}).bind(2, int64_t{category}).bindBlob(3, data, size);
        q->bind(4, db).bind(5, int64_t{*recordId}).run();
        db_->prepare(kCountChange)->bind(1, db).run();
    }
    addUsedBytes(static_cast<int64_t>(size) - oldSize);
    t.commit();
    usedBytesChanged(static_cast<int64_t>(size) - oldSize);
    return SYNC_OK;
}

namespace {
void fillRecord(const sql::Statement& s, RecordEntry* out) {
    out->attributes = static_cast<uint8_t>(s.integer(1));
    out->category = static_cast<int32_t>(s.integer(2));
    out->data = s.blob(3);
}
}  // namespace

// A read checks the version unless its call has just done so: the look costs a lock and
// a look at the file, as much as the read itself.
void HandheldStore::checkCachesForRead() {
    if (!checkedForCall_) checkCaches();
}

int HandheldStore::readRecordById(int64_t db, uint32_t recordId, RecordEntry* out) {
    checkCachesForRead();
    auto q = db_->prepare("SELECT ord, attributes, category, data FROM records WHERE db = ? AND uid = ?");
    q->bind(1, db).bind(2, int64_t{recordId});
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) {
        out->id = recordId;
        out->index = indexOf(db, q->integer(0));
        fillRecord(*q, out);
    }
    return SYNC_OK;
}

int HandheldStore::readRecordByIndex(int64_t db, uint32_t index, RecordEntry* out) {
    const RecordEntry* record = nullptr;
    const int rc = viewRecordByIndex(db, index, &record);
    if (rc == SYNC_OK && out) *out = *record;
    return rc;
}

int HandheldStore::viewRecordByIndex(int64_t db, uint32_t index, const RecordEntry** view) {
    checkCachesForRead();
    if (ahead_.db == db && index >= ahead_.first && index - ahead_.first < ahead_.records.size() &&
        !ahead_.taken[index - ahead_.first]) {
        // Each record read ahead is handed over once; a second read of it reads the file.
        const size_t at = index - ahead_.first;
        ahead_.taken[at] = true;
        *view = &ahead_.records[at];
        return SYNC_OK;
    }
    ahead_.drop();
    auto q = db_->prepare(
        "SELECT uid, ord, attributes, category, data FROM records WHERE db = ? AND ord >= ? ORDER BY ord LIMIT ?");
    size_t count = 0;
    for (int attempt = 0;; ++attempt) {
        const auto& list = order(db);
        if (index >= list.size()) return SYNCERR_NOT_FOUND;
        q->reset().bind(1, db).bind(2, list[index].first).bind(3, kReadAheadRecords);
        // The records from the index on, as long as they are the ones the order expects.
        // The entries of the last batch are filled again, their bytes' room with them.
        for (size_t i = index; q->step(); ++i) {
            if (i >= list.size() || static_cast<uint32_t>(q->integer(0)) != list[i].second ||
                q->integer(1) != list[i].first)
                break;
            if (count == ahead_.records.size()) ahead_.records.emplace_back();
            RecordEntry& e = ahead_.records[count++];
            e.id = list[i].second;
            e.index = static_cast<uint32_t>(i);
            e.attributes = static_cast<uint8_t>(q->integer(2));
            e.category = static_cast<int32_t>(q->integer(3));
            q->blobInto(4, e.data);
        }
        q->reset();
        if (count) break;
        // Another connection changed the records between the version check and this
        // read: read the order again, once.
        order_.erase(db);
        if (attempt == 1) return SYNCERR_NOT_FOUND;
    }
    ahead_.records.resize(count);
    ahead_.db = db;
    ahead_.first = index;
    ahead_.taken.assign(count, false);
    ahead_.taken[0] = true;
    *view = &ahead_.records[0];
    return SYNC_OK;
}

int HandheldStore::deleteRecord(int64_t db, uint32_t recordId) {
    ahead_.drop();
    joinGroup();
    sql::Transaction t(*db_);
    checkCaches();
    int64_t size, ord;
    {
        auto q = db_->prepare("SELECT length(data), ord FROM records WHERE db = ? AND uid = ?");
        q->bind(1, db).bind(2, int64_t{recordId});
        if (!q->step()) return SYNCERR_NOT_FOUND;
        size = q->integer(0);
        ord = q->integer(1);
    }
    db_->prepare("DELETE FROM records WHERE db = ? AND uid = ?")->bind(1, db).bind(2, int64_t{recordId}).run();
    db_->prepare(kCountChange)->bind(1, db).run();
    addUsedBytes(-size);
    t.commit();
    usedBytesChanged(-size);
    if (auto it = order_.find(db); it != order_.end()) {
        auto& list = it->second;
        auto at = std::lower_bound(list.begin(), list.end(), std::make_pair(ord, uint32_t{0}));
        if (at != list.end() && at->first == ord)
            list.erase(at);
        else
            order_.erase(it);
    }
    return SYNC_OK;
}

int HandheldStore::deleteAllRecords(int64_t db) {
    ahead_.drop();
    joinGroup();
    sql::Transaction t(*db_);
    int64_t size;
    {
        auto q = db_->prepare("SELECT COALESCE(SUM(length(data)), 0) FROM records WHERE db = ?");
        q->bind(1, db).step();
        size = q->integer(0);
    }
    db_->prepare("DELETE FROM records WHERE db = ?")->bind(1, db).run();
    db_->prepare(kCountChange)->bind(1, db).run();
    addUsedBytes(-size);
    t.commit();
    usedBytesChanged(-size);
    order_.erase(db);
    return SYNC_OK;
}

uint32_t HandheldStore::recordCount(int64_t db) {
    checkCaches();
    if (auto it = order_.find(db); it != order_.end()) return static_cast<uint32_t>(it->second.size());
    auto q = db_->prepare("SELECT COUNT(*) FROM records WHERE db = ?");
    q->bind(1, db).step();
    return static_cast<uint32_t>(q->integer(0));
}

std::vector<RecordEntry> HandheldStore::records(int64_t db) {
    std::vector<RecordEntry> list;
    auto q = db_->prepare("SELECT uid, attributes, category, data FROM records WHERE db = ? ORDER BY ord");
    q->bind(1, db);
    while (q->step()) {
        RecordEntry e;
        e.id = static_cast<uint32_t>(q->integer(0));
        e.index = static_cast<uint32_t>(list.size());
        e.attributes = static_cast<uint8_t>(q->integer(1));
        e.category = static_cast<int32_t>(q->integer(2));
        e.data = q->blob(3);
        list.push_back(std::move(e));
    }
    return list;
}

// ---- preferences ------------------------------------------------------------------------

int HandheldStore::readPreference(uint32_t creator, uint16_t id, bool backup, PreferenceEntry* out) {
    auto q = db_->prepare("SELECT version, data FROM preferences WHERE creator = ? AND id = ? AND backup = ?");
    q->bind(1, int64_t{creator}).bind(2, int64_t{id}).bind(3, int64_t{backup ? 1 : 0});
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) {
        out->creator = creator;
        out->id = id;
        out->backup = backup;
        out->version = static_cast<uint16_t>(q->integer(0));
        out->data = q->blob(1);
    }
    return SYNC_OK;
}

int HandheldStore::writePreference(const PreferenceEntry& pref) {
    if (pref.data.size() > SYNC_MAX_RECORD_BYTES) return SYNCERR_TOO_BIG;
    joinGroup();
    sql::Transaction t(*db_);
    checkCaches();
    int64_t oldSize = 0;
    {
        auto q = db_->prepare("SELECT length(data) FROM preferences WHERE creator = ? AND id = ? AND backup = ?");
        q->bind(1, int64_t{pref.creator}).bind(2, int64_t{pref.id}).bind(3, int64_t{pref.backup ? 1 : 0});
        if (q->step()) oldSize = q->integer(0);
    }
    CardEntry c = card();
    if (c.usedBytes - static_cast<uint64_t>(oldSize) + pref.data.size() > c.ramSize) return SYNCERR_NO_SPACE;
    auto q =
        db_->prepare("INSERT OR REPLACE INTO preferences(creator, id, backup, version, data) VALUES(?, ?, ?, ?, ?)");
    q->bind(1, int64_t{pref.creator}).bind(2, int64_t{pref.id}).bind(3, int64_t{pref.backup ? 1 : 0});
    q->bind(4, int64_t{pref.version}).bindBlob(5, pref.data.data(), pref.data.size()).run();
    addUsedBytes(static_cast<int64_t>(pref.data.size()) - oldSize);
    t.commit();
    usedBytesChanged(static_cast<int64_t>(pref.data.size()) - oldSize);
    return SYNC_OK;
}

std::vector<PreferenceEntry> HandheldStore::preferences() {
    std::vector<PreferenceEntry> list;
    auto q = db_->prepare("SELECT creator, id, backup, version, data FROM preferences ORDER BY creator, id, backup");
    while (q->step()) {
        PreferenceEntry p;
        p.creator = static_cast<uint32_t>(q->integer(0));
        p.id = static_cast<uint16_t>(q->integer(1));
        p.backup = q->integer(2) != 0;
        p.version = static_cast<uint16_t>(q->integer(3));
        p.data = q->blob(4);
        list.push_back(std::move(p));
    }
    return list;
}

// ---- card -------------------------------------------------------------------------------

CardEntry HandheldStore::card() {
    checkCaches();
    if (card_) return *card_;
    CardEntry c;
    auto q = db_->prepare("SELECT rom_size, ram_size, used, name, manufacturer FROM card WHERE card = 0");
    if (q->step()) {
        c.romSize = static_cast<uint32_t>(q->integer(0));
        c.ramSize = static_cast<uint32_t>(q->integer(1));
        c.usedBytes = static_cast<uint64_t>(q->integer(2));
        c.name = q->text(3);
        c.manufacturer = q->text(4);
        card_ = c;
    }
    return c;
}

void HandheldStore::usedBytesChanged(int64_t delta) {
    if (!card_) return;
    const int64_t used = static_cast<int64_t>(card_->usedBytes) + delta;
    card_->usedBytes = static_cast<uint64_t>(used < 0 ? 0 : used);
}

void HandheldStore::setCard(uint32_t romSize, uint32_t ramSize, const std::string& name,
                            const std::string& manufacturer) {
    auto q = db_->prepare("UPDATE card SET rom_size = ?, ram_size = ?, name = ?, manufacturer = ? WHERE card = 0");
    q->bind(1, int64_t{romSize}).bind(2, int64_t{ramSize}).bind(3, name).bind(4, manufacturer).run();
    card_.reset();
}

// ---- remote answers ---------------------------------------------------------------------

void HandheldStore::setRemoteAnswer(uint32_t creator, uint16_t action, const std::vector<uint8_t>& data) {
    auto q = db_->prepare("INSERT OR REPLACE INTO remote_answers(creator, action, data) VALUES(?, ?, ?)");
    q->bind(1, int64_t{creator}).bind(2, int64_t{action}).bindBlob(3, data.data(), data.size()).run();
}

void HandheldStore::clearRemoteAnswer(uint32_t creator, uint16_t action) {
    auto q = db_->prepare("DELETE FROM remote_answers WHERE creator = ? AND action = ?");
    q->bind(1, int64_t{creator}).bind(2, int64_t{action}).run();
}

int HandheldStore::remoteAnswer(uint32_t creator, uint16_t action, std::vector<uint8_t>* out) {
    auto q = db_->prepare("SELECT data FROM remote_answers WHERE creator = ? AND action = ?");
    q->bind(1, int64_t{creator}).bind(2, int64_t{action});
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) *out = q->blob(0);
    return SYNC_OK;
}

std::vector<RemoteAnswer> HandheldStore::remoteAnswers() {
    std::vector<RemoteAnswer> list;
    auto q = db_->prepare("SELECT creator, action, data FROM remote_answers ORDER BY creator, action");
    while (q->step())
        list.push_back({static_cast<uint32_t>(q->integer(0)), static_cast<uint16_t>(q->integer(1)), q->blob(2)});
    return list;
}

// ---- failure injection ------------------------------------------------------------------

void HandheldStore::injectFailure(const std::string& operation, int nth, int code) {
    auto q = db_->prepare("INSERT INTO injected_failures(operation, countdown, code) VALUES(?, ?, ?)");
    q->bind(1, operation).bind(2, int64_t{nth < 1 ? 1 : nth}).bind(3, int64_t{code}).run();
    failuresWaiting_.reset();
}

void HandheldStore::clearInjectedFailures() {
    db_->exec("DELETE FROM injected_failures");
    failuresWaiting_.reset();
}

int HandheldStore::takeInjectedFailure(std::string_view operation) {
    checkCaches();
    checkedForCall_ = true;
    if (!failuresWaiting_) {
        auto q = db_->prepare("SELECT EXISTS(SELECT 1 FROM injected_failures)");
        q->step();
        failuresWaiting_ = q->integer(0) != 0;
    }
    if (!*failuresWaiting_) return 0;
    {
        // The common case, no injection waiting, costs one read and no write.
        auto q = db_->prepare("SELECT 1 FROM injected_failures WHERE operation = ? LIMIT 1");
        q->bind(1, operation);
        if (!q->step()) return 0;
    }
    sql::Transaction t(*db_);
    db_->prepare("UPDATE injected_failures SET countdown = countdown - 1 WHERE operation = ?")
        ->bind(1, operation)
        .run();
    int code = 0;
    {
        auto q = db_->prepare(
            "SELECT id, code FROM injected_failures WHERE operation = ? AND countdown <= 0 "
            "ORDER BY id LIMIT 1");
        q->bind(1, operation);
        if (q->step()) code = static_cast<int>(q->integer(1));
    }
    db_->prepare("DELETE FROM injected_failures WHERE operation = ? AND countdown <= 0")->bind(1, operation).run();
    t.commit();
    failuresWaiting_.reset();
    return code;
}

}  // namespace platform::syncmgr
