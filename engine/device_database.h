#pragma once
// The handheld's mail databases as the engine opens them (over the common CHandheldDb),
// the handheld application's own answers, and the security-key records.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/handheld_database.h"
#include "common/handheld_records.h"
#include "engine/message_index.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::engine {

// Engine result codes shared by the phases.
enum : int {
    kResultDbOpen = 101,
    kResultRejected = 104,
    kResultNotFound = 16387,
    kResultNoMemory = 16406,
    kResultNoProperties = 16407,
};

inline constexpr uint32_t kCreatorMail = SYNC_FOURCC('a', 's', 'c', '3');
inline constexpr uint32_t kCreatorApp = SYNC_FOURCC('a', 's', 'c', '6');
inline constexpr int kVersionUnset = -2;
inline constexpr int kMinDbVersion = 1024;
inline constexpr int kMaxDbVersion = 2384;
inline constexpr uint32_t kMinFreeBytes = 60000;

// The engine's handheld database: opens only while the run has sync properties, creates
// the security database with the handheld's database version, and logs an open that
// failed to the sync log (a missing older application's database excepted).
class CDeviceDb : public CHandheldDb {
public:
    CDeviceDb();

    bool haveProperties = false;
    int dbVersion = kVersionUnset;

    // 0, 16407 without sync properties, 16387 not found, or the open call's code. The kind
    // is a HandheldDbKind.
    int Open(int kind, int slot = 0);

    // 1: an older handheld application was found or the messages database was read;
    // 0: the messages database cannot be reached.
    int ReadDatabaseVersion();

    // The messages database (open) is read for its headers from here on through
    // ReadMessageHeaders: from the index kept in file when it stands for the database as
    // it is, else whole from the handheld, learning the index as the records come. From
    // here on the writes through this object are followed, for KeepMessageIndex.
    void FollowMessages(const std::filesystem::path& file);
    // The record at index of the open messages database, headers only where they come from
    // the index (*whole false: the body text is left out); 0 or the read's code.
    int ReadMessageHeaders(uint32_t index, HandheldRecord& out, bool& whole);
    // Writes the index back when it stands for the database as it is now; opens the
    // messages database for that. Nothing when FollowMessages was not called.
    void KeepMessageIndex();

    // The record calls, each change of the messages database reported to the index.
    int Write(HandheldRecord& record);
    int Delete(uint32_t id);
    int DeleteAll();

private:
    bool MessagesOpen() const;

    CMessageIndex messages_;
    std::filesystem::path indexFile_;
    bool followed_ = false;
};

// While it lives, the handheld's writes share transactions instead of one each; Flush
// commits them (0, or the sync manager's code when they could not be kept). The group is
// committed when it ends. A crash loses only what was written since the last flush, so
// the caller flushes before deleting anything and at points the next run starts again.
class CWriteGroup {
public:
    CWriteGroup() { SyncGroupWrites(1); }
    ~CWriteGroup() { SyncGroupWrites(0); }
    CWriteGroup(const CWriteGroup&) = delete;
    CWriteGroup& operator=(const CWriteGroup&) = delete;
    int Flush() { return SyncFlushWrites(); }
};

// The handheld application's answer to a call (codes 0 to 3); false when it failed.
bool CallDeviceModule(int code, std::vector<uint8_t>& answer);
// A 4-byte answer (codes 0 and 2) in host order.
bool CallDeviceModuleInt(int code, uint32_t& value);
// The handheld reports more free space than minimum (60000 when 0).
bool CheckHandheldSpace(uint32_t minimum = 0);

// Security-key records ("Larkspur SData").
int WriteKeyRecord(CDeviceDb& db, const std::string& text);
int HasKeyRecords(CDeviceDb& db);
int ReadKeyRecord(CDeviceDb& db, std::string& text);

}  // namespace tess::engine
