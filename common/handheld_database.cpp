#include "common/handheld_database.h"

#include <strings.h>

#include <algorithm>
#include <new>

namespace tess {
namespace {

constexpr uint8_t kOpenMode = 0xE0;
constexpr uint32_t kCreatorMail = SYNC_FOURCC('a', 's', 'c', '3');

struct DbName {
    const char* name;
    uint32_t type;
};
constexpr DbName kNames[] = {
    {"Larkspur Messages", SYNC_FOURCC('D', 'a', 't', '5')},
    {"Larkspur Disconnected", SYNC_FOURCC('D', 'a', 't', '6')},
    {"Larkspur Attachments", SYNC_FOURCC('D', 'a', 't', '7')},
    {"Larkspur Part Plus", SYNC_FOURCC('D', 'a', 't', '8')},
    {"Larkspur SData", SYNC_FOURCC('D', 'a', 't', '9')},
    {"LKIDCache", SYNC_FOURCC('D', 'a', 't', '0')},
    {"LarkspurPRO2 Messages", SYNC_FOURCC('D', 'a', 't', '5')},
    {"LKPROIII Messages", SYNC_FOURCC('D', 'a', 't', '5')},
};

bool Known(int kind) { return kind >= kDbMessages && kind <= kDbOldPro3; }

// The caller's code for a failure, or the sync manager's own when the caller set none.
int Answer(int code, int syncCode) { return code != 0 ? code : syncCode; }

}  // namespace

std::string HandheldDbName(int kind, int slot) {
    if (!Known(kind)) return {};
    if (kind == kDbIdCache) return std::string(kNames[kind].name) + std::to_string(slot);
    return kNames[kind].name;
}

uint32_t HandheldDbType(int kind, int slot) {
    if (!Known(kind)) return 0;
    return kNames[kind].type + (kind == kDbIdCache ? uint32_t(slot) : 0u);
}

int OpenHandheldDb(int kind, int slot, uint16_t createVersion, SyncDbHandle& handle, bool* createTried) {
    if (createTried) *createTried = false;
    const std::string name = HandheldDbName(kind, slot);
    if (name.empty()) return SYNCERR_NOT_FOUND;
    int rc = SyncOpenDB(name.c_str(), 0, &handle, kOpenMode);
    if (rc == SYNC_OK || kind != kDbSecurity) return rc;
    if (createTried) *createTried = true;
    SyncCreateDbParams p{};
    p.creator = kCreatorMail;
    p.flags = 0;
    p.type = HandheldDbType(kind, slot);
    p.card = 0;
    p.version = createVersion;
    p.name = name.c_str();
    return SyncCreateDB(&p, &handle);
}

CHandheldDb::~CHandheldDb() { Close(); }

int CHandheldDb::OpenKind(int kind, int slot, uint16_t createVersion) {
    const std::string name = HandheldDbName(kind, slot);
    if (name.empty()) return options_.noName;
    if (handle_ && strcasecmp(name_.c_str(), name.c_str()) == 0) return 0;
    Close();
    SyncDbHandle h = 0;
    bool created = false;
    const int rc = OpenHandheldDb(kind, slot, createVersion, h, &created);
    if (created && options_.note) options_.note("Creating database " + name + ".");
    return opened(rc, h, name);
}

int CHandheldDb::OpenByName(const std::string& name) {
    if (name.empty()) return options_.noName;
    if (handle_ && strcasecmp(name_.c_str(), name.c_str()) == 0) return 0;
    Close();
    SyncDbHandle h = 0;
    const int rc = SyncOpenDB(name.c_str(), 0, &h, kOpenMode);
    return opened(rc, h, name);
}

int CHandheldDb::opened(int rc, SyncDbHandle handle, const std::string& name) {
    if (rc == SYNC_OK && handle == 0) rc = SYNCERR_NOT_OPEN;
    if (rc != SYNC_OK) return Answer(options_.openFailed, rc);
    handle_ = handle;
    name_ = name;
    return 0;
}

int CHandheldDb::Close() {
    if (!handle_) return 0;
    const int rc = SyncCloseDB(handle_);
    handle_ = 0;
    name_.clear();
    if (rc == SYNC_OK) return 0;
    if (options_.note) options_.note("CloseDatabase failed to close the database");
    return Answer(options_.closeFailed, rc);
}

int CHandheldDb::read(bool byId, uint32_t key, HandheldRecord& out) {
    if (!handle_) return options_.notOpen;
    // Kept between reads: a fresh buffer of the largest record's size for each of
    // thousands of records cost more than reading them.
    try {
        buffer_.resize(kMaxRecordBytes);
    } catch (const std::bad_alloc&) {
        return options_.noMemory;
    }
    SyncRecord r{};
    r.db = handle_;
    r.buffer = buffer_.data();
    r.bufferSize = uint32_t(buffer_.size());
    (byId ? r.recordId : r.index) = key;
    const int rc = byId ? SyncReadRecordById(&r) : SyncReadRecordByIndex(&r);
    if (rc == SYNCERR_NOT_FOUND && byId) return Answer(options_.recordNotFound, rc);
    if (rc != SYNC_OK) return Answer(options_.readFailed, rc);
    if (r.dataSize > buffer_.size()) return Answer(options_.readFailed, SYNCERR_TOO_BIG);
    out.id = r.recordId;
    out.attributes = r.attributes;
    out.category = r.category;
    out.data.assign(buffer_.begin(), buffer_.begin() + r.dataSize);
    return 0;
}

int CHandheldDb::ReadByIndex(uint32_t index, HandheldRecord& out) { return read(false, index, out); }
int CHandheldDb::ReadById(uint32_t id, HandheldRecord& out) { return read(true, id, out); }

int CHandheldDb::Write(HandheldRecord& record) {
    if (!handle_) return options_.notOpen;
    if (record.data.size() > kMaxRecordBytes) return options_.tooLarge;
    if (options_.keepRecordRoom) {
        SyncCardInfo card{};
        if (const int rc = SyncReadSingleCardInfo(&card); rc != SYNC_OK) return Answer(options_.writeFailed, rc);
        if (int64_t(card.freeRam) - int64_t(record.data.size()) < int64_t(kMaxRecordBytes)) return options_.deviceFull;
    }
    uint8_t one = 0;
    SyncRecord r{};
    r.db = handle_;
    r.recordId = record.id;
    r.attributes = record.attributes;
    r.category = record.category;
    r.buffer = record.data.empty() ? &one : record.data.data();
    r.dataSize = record.data.empty() ? 1 : uint32_t(record.data.size());
    r.bufferSize = r.dataSize;
    if (const int rc = SyncWriteRecord(&r); rc != SYNC_OK) return Answer(options_.writeFailed, rc);
    record.id = r.recordId;
    return 0;
}

int CHandheldDb::Delete(uint32_t id) {
    if (!handle_) return options_.notOpen;
    const int rc = SyncDeleteRecord(handle_, id);
    return rc == SYNC_OK ? 0 : Answer(options_.deleteFailed, rc);
}

int CHandheldDb::DeleteAll() {
    if (!handle_) return options_.notOpen;
    const int rc = SyncDeleteAllRecords(handle_);
    return rc == SYNC_OK ? 0 : Answer(options_.deleteAllFailed, rc);
}

int CHandheldDb::Count(uint32_t& count) {
    if (!handle_) return options_.notOpen;
    return SyncGetDBRecordCount(handle_, &count);
}

uint32_t CHandheldDb::Count() {
    uint32_t n = 0;
    return Count(n) == SYNC_OK ? n : 0;
}

int CHandheldDb::ReadInfo(SyncDbInfo& info) {
    if (!handle_) return options_.notOpen;
    return SyncReadOpenDbInfo(handle_, sizeof info, &info);
}

}  // namespace tess
