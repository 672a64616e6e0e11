#pragma once
// The handheld's mail databases: one kind per database, its name and type, and the one
// open database through which the engine and the data manager read and write records.
#include <cstdint>
#include <string>
#include <vector>

#include "common/handheld_records.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess {

enum HandheldDbKind : int {
    kDbMessages = 0,
    kDbActions = 1,  // actions taken on the handheld while disconnected
    kDbAttachments = 2,
    kDbParts = 3,     // message parts beyond the first record
    kDbSecurity = 4,  // security keys and settings ("Larkspur SData")
    kDbIdCache = 5,   // one per account slot
    kDbOldPro2 = 6,   // messages of the two older handheld applications
    kDbOldPro3 = 7,
};

// The database's name, the id cache's with its account slot; empty for an unknown kind.
std::string HandheldDbName(int kind, int slot = 0);
// The type a database of the kind is created with.
uint32_t HandheldDbType(int kind, int slot = 0);

// Opens the database of the kind for reading and writing. The security database is
// created (mail creator, createVersion) when it cannot be opened; *createTried tells that
// a creation was tried. The sync manager's code of the open, or of the creation.
int OpenHandheldDb(int kind, int slot, uint16_t createVersion, SyncDbHandle& handle, bool* createTried = nullptr);

// How one module's callers see the database. Each code is what a call answers when it
// fails that way; a code left 0 hands on the sync manager's own. The defaults are the
// sync manager's codes (and the record functions' for memory), as the engine answers.
struct HandheldDbOptions {
    int noName = SYNCERR_NOT_FOUND;  // an unknown kind or an empty name: nothing opened or closed
    int notOpen = SYNCERR_NOT_OPEN;  // a record call with no database open
    int noMemory = kRecordNoMemory;  // the record buffer could not be had
    int tooLarge = SYNCERR_TOO_BIG;  // a write above kMaxRecordBytes
    int openFailed = 0;
    int closeFailed = 0;
    int readFailed = 0;      // a record above kMaxRecordBytes among them: refused, never cut
    int recordNotFound = 0;  // a read by an id the database does not hold
    int writeFailed = 0;     // with keepRecordRoom, the card's free space unread too
    int deleteFailed = 0;
    int deleteAllFailed = 0;
    // A write must leave room for one more whole record on the card, else deviceFull.
    bool keepRecordRoom = false;
    int deviceFull = SYNCERR_NO_SPACE;
    // Told each creation of a database and each close that failed; none when null.
    void (*note)(const std::string& line) = nullptr;
};

// One database open at a time: opening another closes the open one first, and opening
// the open one again (letter case aside) does nothing. Records are read through one
// buffer of kMaxRecordBytes kept for the database's life.
class CHandheldDb {
public:
    explicit CHandheldDb(const HandheldDbOptions& options = {}) : options_(options) {}
    ~CHandheldDb();
    CHandheldDb(const CHandheldDb&) = delete;
    CHandheldDb& operator=(const CHandheldDb&) = delete;

    // A HandheldDbKind, the id cache's with its account slot. A security database that
    // cannot be opened is created with createVersion.
    int OpenKind(int kind, int slot = 0, uint16_t createVersion = 0);
    int OpenByName(const std::string& name);
    // The handle is forgotten even when the close fails: one the sync manager no longer
    // knows (its session ended) would otherwise block every later open.
    int Close();
    bool IsOpen() const { return handle_ != 0; }
    SyncDbHandle handle() const { return handle_; }
    const std::string& OpenName() const { return name_; }

    int ReadByIndex(uint32_t index, HandheldRecord& out);
    int ReadById(uint32_t id, HandheldRecord& out);
    // record.id 0 makes a new record and sets the id. An empty record goes as one byte:
    // the handheld keeps no empty records.
    int Write(HandheldRecord& record);
    int Delete(uint32_t id);
    int DeleteAll();
    int Count(uint32_t& count);
    // The record count, 0 when it cannot be read.
    uint32_t Count();
    int ReadInfo(SyncDbInfo& info);

private:
    int opened(int rc, SyncDbHandle handle, const std::string& name);
    int read(bool byId, uint32_t key, HandheldRecord& out);

    HandheldDbOptions options_;
    SyncDbHandle handle_ = 0;
    std::string name_;
    std::vector<uint8_t> buffer_;
};

}  // namespace tess
