#pragma once
// One handheld's contents in its SQLite file: databases, records, application preferences,
// card information, the handheld application's answers to remote calls, and failures a
// test has asked for. Used by the sync manager's calls and, for set-up and inspection, by
// tools and tests. Every method returns SYNC_OK or a SYNCERR_ code; a file that cannot be
// read or written throws platform::syncmgr::sql::StorageError.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/export.h"
#include "platform/syncmgr/syncmgr.h"

namespace platform::syncmgr {

namespace sql {
class Database;
}

struct DatabaseEntry {
    int64_t id = 0;
    std::string name;
    uint32_t creator = 0;
    uint32_t type = 0;
    uint16_t version = 0;
    uint16_t attributes = 0;
    int card = 0;
    uint32_t recordCount = 0;
    // Changes of its records so far, and a value drawn anew at each: together they name
    // one state of the records, never reached twice (a change lost with a crash is not
    // made again with the same epoch).
    uint64_t modNumber = 0;
    uint64_t epoch = 0;
};

struct RecordEntry {
    uint32_t id = 0;
    uint32_t index = 0;
    uint8_t attributes = 0;
    int32_t category = 0;
    std::vector<uint8_t> data;
};

struct PreferenceEntry {
    uint32_t creator = 0;
    uint16_t id = 0;
    bool backup = false;
    uint16_t version = 0;
    std::vector<uint8_t> data;
};

struct CardEntry {
    uint32_t romSize = 0;
    uint32_t ramSize = 0;
    uint64_t usedBytes = 0;  // bytes of every record and preference
    std::string name;
    std::string manufacturer;
    uint32_t freeRam() const { return usedBytes >= ramSize ? 0 : static_cast<uint32_t>(ramSize - usedBytes); }
};

struct RemoteAnswer {
    uint32_t creator = 0;
    uint16_t action = 0;
    std::vector<uint8_t> data;
};

class TESS_EXPORT HandheldStore {
public:
    // <runtime root>/handhelds/<name>.db
    static std::filesystem::path pathFor(const std::string& name);
    static bool exists(const std::string& name);
    // Handheld names are file names: letters, digits, '-', '_' and '.', not starting with '.'.
    static bool validName(const std::string& name);

    // Opens the handheld's file, creating it (and its folder) when create is set; an
    // invalid name or a missing file without create throws sql::StorageError.
    explicit HandheldStore(const std::string& name, bool create = true);
    ~HandheldStore();
    HandheldStore(const HandheldStore&) = delete;
    HandheldStore& operator=(const HandheldStore&) = delete;

    const std::string& name() const { return name_; }

    // Databases (names exact and case-sensitive).
    int createDatabase(const std::string& name, uint32_t creator, uint32_t type, uint16_t version, uint16_t attributes,
                       int card, int64_t* id);
    int findDatabase(const std::string& name, int card, DatabaseEntry* out);
    int databaseById(int64_t id, DatabaseEntry* out);
    std::vector<DatabaseEntry> databases();

    // Records. *recordId 0 makes a new record and returns its id.
    int writeRecord(int64_t db, uint32_t* recordId, uint8_t attributes, int32_t category, const uint8_t* data,
                    size_t size);
    int readRecordById(int64_t db, uint32_t recordId, RecordEntry* out);
    int readRecordByIndex(int64_t db, uint32_t index, RecordEntry* out);
    // The same without a copy: *view points at the record as this store holds it, valid
    // until the next call on the store.
    int viewRecordByIndex(int64_t db, uint32_t index, const RecordEntry** view);
    int deleteRecord(int64_t db, uint32_t recordId);
    int deleteAllRecords(int64_t db);
    uint32_t recordCount(int64_t db);
    std::vector<RecordEntry> records(int64_t db);

    // Grouped writes: while grouping is on, the changes of this connection share one
    // transaction, begun by the first change and committed by flushWrites(), by turning
    // grouping off, or when the store closes. Each change still applies whole or not at all
    // (a failed one undoes only itself); a process that dies loses the changes made since
    // the last commit and nothing before it. Other connections see them once committed.
    void groupWrites(bool on);
    void flushWrites();

    // Application preferences.
    int readPreference(uint32_t creator, uint16_t id, bool backup, PreferenceEntry* out);
    int writePreference(const PreferenceEntry& pref);
    std::vector<PreferenceEntry> preferences();

    // Card 0.
    CardEntry card();
    void setCard(uint32_t romSize, uint32_t ramSize, const std::string& name, const std::string& manufacturer);

    // The handheld application's answers, by (creator, action code).
    void setRemoteAnswer(uint32_t creator, uint16_t action, const std::vector<uint8_t>& data);
    void clearRemoteAnswer(uint32_t creator, uint16_t action);
    int remoteAnswer(uint32_t creator, uint16_t action, std::vector<uint8_t>* out);
    std::vector<RemoteAnswer> remoteAnswers();

    // Failure injection: the nth call (1 = the next one) of operation, counted from now
    // and across every process using this handheld, fails with code. The operation is the
    // call's name ("SyncWriteRecord"). Several injections may wait on one operation.
    void injectFailure(const std::string& operation, int nth, int code = SYNCERR_LOST_CONNECTION);
    // The code of an injection that ends the process at that call as a kill would, to see
    // what a crash at that point leaves behind.
    static constexpr int kKillProcess = -9;
    void clearInjectedFailures();
    // Counts one call of operation: the code of an injection that fires now, else 0. It
    // looks whether another connection committed, and that look serves the reads of the
    // same call, up to endCall.
    int takeInjectedFailure(std::string_view operation);
    void endCall() { checkedForCall_ = false; }

private:
    void createSchema();
    // Opens the group's transaction before a change when grouping is on.
    void joinGroup();
    // Forgets every answer kept from the file (after a group could not be committed).
    void forgetCaches();
    int64_t addUsedBytes(int64_t delta);
    // The kept card follows a committed change of the bytes used.
    void usedBytesChanged(int64_t delta);
    // Drops what this connection remembers when another connection has committed since.
    void checkCaches();
    // The same for a read, once per call.
    void checkCachesForRead();
    // (ord, uid) of the database's records in order, read once and then kept up to date
    // by this connection's own writes.
    std::vector<std::pair<int64_t, uint32_t>>& order(int64_t db);
    // Position of ord in the order (the record's index).
    uint32_t indexOf(int64_t db, int64_t ord);

    std::string name_;
    std::unique_ptr<sql::Database> db_;
    int64_t seenVersion_ = -1;
    // The WAL index header when seenVersion_ was read: while it is unchanged no connection
    // has committed, and the version need not be read again.
    std::optional<std::array<unsigned char, 48>> seenHeader_;
    std::optional<CardEntry> card_;
    std::optional<bool> failuresWaiting_;
    bool grouping_ = false;
    std::unordered_map<int64_t, std::vector<std::pair<int64_t, uint32_t>>> order_;
    // Records read ahead of a reader going through a database by index: each statement
    // costs this connection a lock and a look at the file, so the next few records come
    // with one statement. Dropped with the other caches and at every change of a record.
    struct ReadAhead {
        int64_t db = -1;
        uint32_t first = 0;
        std::vector<RecordEntry> records;
        std::vector<bool> taken;
        // Forgets the records but keeps their room for the next batch.
        void drop() { db = -1; }
    };
    ReadAhead ahead_;
    bool checkedForCall_ = false;
};

}  // namespace platform::syncmgr
