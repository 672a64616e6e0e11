#pragma once
// The data manager's thin layer over the sync manager's handheld calls: one open database
// per process, record reads and writes bounded by the handheld's record limit, the mail
// application's preferences and the facts the store needs about the handheld.
#include <cstdint>
#include <string>
#include <vector>

#include "common/handheld_database.h"
#include "common/handheld_records.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::datamgr {

inline constexpr uint32_t kMaxRecordBytes = 63000;
inline constexpr uint32_t kCreatorMail = 0x61736333;    // 'asc3'
inline constexpr uint32_t kCreatorDevice = 0x61736336;  // 'asc6'

// What the handheld mail application tells about itself; defaults until it answers.
struct CHandheldAppInfo {
    bool loaded = false;
    int version = 1024;
    int second = 0;
    std::string name32;
    std::string name64;
};

class CHandheldDb {
public:
    CHandheldDb() = default;
    CHandheldDb(const CHandheldDb&) = delete;
    CHandheldDb& operator=(const CHandheldDb&) = delete;
    ~CHandheldDb();

    // The same name (letter case ignored) while it is open: 0 at once; another name
    // closes the open one first.
    int Open(const std::string& name);
    // A HandheldDbKind (the id cache takes the account id), with Open's rule for the same
    // name. For the security database a failed open creates it with the version given.
    int OpenKind(int kind, uint16_t version, int accountId = 0);
    int Close();
    bool IsOpen() const { return handle_ != 0; }
    SyncDbHandle handle() const { return handle_; }
    const std::string& OpenName() const { return name_; }

    // Each opens the database by name and closes it again.
    int DatabaseVersion(const std::string& name, uint16_t* version);
    int RecordCount(const std::string& name, uint32_t* count);
    bool Exists(const std::string& name);

    // On the open database.
    int ReadRecordByIndex(uint32_t index, HandheldRecord* out);
    int ReadRecordById(uint32_t id, HandheldRecord* out);
    // record->id 0 makes a new record; its id comes back there.
    int WriteRecord(HandheldRecord* record);
    int DeleteRecord(uint32_t id);
    int Purge();

    static int ReadAppPreference(uint32_t creator, uint16_t id, std::vector<uint8_t>* out);
    static int WriteAppPreference(uint16_t version, uint32_t creator, uint16_t id, const void* data, uint32_t size);
    static int CardInformation(SyncCardInfo* out);

    // The device facts, asked on the first question and until the handheld answers.
    const CHandheldAppInfo& DeviceInfo();
    void ForgetDeviceInfo() { info_ = CHandheldAppInfo{}; }

private:
    int readRecord(bool byId, uint32_t key, HandheldRecord* out);

    SyncDbHandle handle_ = 0;
    std::string name_;
    CHandheldAppInfo info_;
};

}  // namespace tess::datamgr
