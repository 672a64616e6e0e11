#include "engine/device_database.h"

#include <cstring>

#include "common/sync_report.h"
#include "engine/engine_log.h"

namespace tess::engine {
namespace {

constexpr uint32_t kAppType = SYNC_FOURCC('a', 'p', 'p', 'l');

// buffer is the database's own, kept between reads: a fresh, zeroed one of the largest
// record's size for each of thousands of records cost more than reading them.
int ReadInto(SyncRecord& r, HandheldRecord& out, int (*read)(SyncRecord*), std::vector<uint8_t>& buffer) {
    buffer.resize(kMaxRecordBytes);
    r.buffer = buffer.data();
    r.bufferSize = uint32_t(buffer.size());
    const int rc = read(&r);
    if (rc != SYNC_OK) return rc;
    out.id = r.recordId;
    out.attributes = r.attributes;
    out.category = r.category;
    out.data.assign(buffer.begin(), buffer.begin() + std::min<size_t>(r.dataSize, buffer.size()));
    return 0;
}

}  // namespace

std::string CDeviceDb::NameOf(int kind, int slot) { return HandheldDbName(kind, slot); }

int CDeviceDb::Open(int kind, int slot) {
    if (!haveProperties) return kResultNoProperties;
    const std::string name = NameOf(kind, slot);
    if (name.empty()) return kResultNotFound;
    if (name == lastName_ && handle != 0) return 0;
    lastName_ = name;
    Close();
    bool created = false;
    const int rc = OpenHandheldDb(kind, slot, uint16_t(dbVersion), handle, &created);
    if (created) Debug(Printf("Creating database %s.", name.c_str()));
    if (rc == SYNC_OK) return 0;
    if (rc == SYNCERR_NOT_FOUND) {
        if (kind != kDbOldPro2 && kind != kDbOldPro3) LogDatabaseOpenFailure();
        handle = 0;
        lastName_.clear();
        return kResultNotFound;
    }
    Close();
    lastName_.clear();
    LogDatabaseOpenFailure();
    return rc;
}

void CDeviceDb::Close() {
    if (handle == 0) return;
    if (SyncCloseDB(handle) != SYNC_OK) Debug("CloseDatabase failed to close the database");
    handle = 0;
}

int CDeviceDb::ReadByIndex(uint32_t index, HandheldRecord& out) {
    SyncRecord r{};
    r.db = handle;
    r.index = index;
    return ReadInto(r, out, SyncReadRecordByIndex, buffer_);
}

int CDeviceDb::ReadById(uint32_t id, HandheldRecord& out) {
    SyncRecord r{};
    r.db = handle;
    r.recordId = id;
    return ReadInto(r, out, SyncReadRecordById, buffer_);
}

int CDeviceDb::Write(HandheldRecord& record) {
    SyncRecord r{};
    r.db = handle;
    r.recordId = record.id;
    r.attributes = record.attributes;
    r.category = record.category;
    r.buffer = record.data.data();
    r.bufferSize = uint32_t(record.data.size());
    r.dataSize = uint32_t(record.data.size());
    const int rc = SyncWriteRecord(&r);
    if (rc == SYNC_OK) record.id = r.recordId;
    return rc;
}

int CDeviceDb::Delete(uint32_t id) { return SyncDeleteRecord(handle, id); }
int CDeviceDb::DeleteAll() { return SyncDeleteAllRecords(handle); }

uint32_t CDeviceDb::Count() {
    uint32_t n = 0;
    if (SyncGetDBRecordCount(handle, &n) != SYNC_OK) return 0;
    return n;
}

int CDeviceDb::ReadDatabaseVersion() {
    if (Open(kDbOldPro2) == 0 || Open(kDbOldPro3) == 0) {
        Close();
        return 1;
    }
    if (Open(kDbMessages) != 0) return 0;
    SyncDbInfo info{};
    if (SyncReadOpenDbInfo(handle, sizeof info, &info) != SYNC_OK) return 0;
    if (info.version >= kMinDbVersion && info.version <= kMaxDbVersion) dbVersion = info.version;
    return 1;
}

bool CallDeviceModule(int code, std::vector<uint8_t>& answer) {
    static constexpr uint32_t kSizes[] = {4, 64, 4, 32};
    if (code < 0 || code > 3) return false;
    std::vector<uint8_t> buffer(kSizes[code], 0);
    SyncRemoteCall call{};
    call.creator = kCreatorApp;
    call.type = kAppType;
    call.action = uint16_t(code);
    call.reply = buffer.data();
    call.replyMax = uint32_t(buffer.size());
    if (SyncCallRemoteModule(&call) != SYNC_OK) return false;
    if ((code == 0 || code == 2) && call.replySize != 4) return false;
    answer.assign(buffer.begin(), buffer.begin() + std::min<size_t>(call.replySize, buffer.size()));
    return true;
}

bool CallDeviceModuleInt(int code, uint32_t& value) {
    std::vector<uint8_t> a;
    if ((code != 0 && code != 2) || !CallDeviceModule(code, a) || a.size() != 4) return false;
    value = uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
    return true;
}

bool CheckHandheldSpace(uint32_t minimum) {
    if (minimum == 0) minimum = kMinFreeBytes;
    SyncCardInfo info{};
    info.card = 0;
    if (SyncReadSingleCardInfo(&info) != SYNC_OK) return false;
    return info.freeRam > minimum;
}

int WriteKeyRecord(CDeviceDb& db, const std::string& text) {
    if (db.Open(kDbSecurity) != 0) {
        Debug("Failed to open the Larkspur SData");
        return 0;
    }
    // Keep the two newest: the count is read again after each delete, since the
    // records after a deleted one move up.
    for (uint32_t n = db.Count(); n >= 3; n = db.Count()) {
        HandheldRecord oldest;
        if (db.ReadByIndex(0, oldest) != 0 || db.Delete(oldest.id) != 0) break;
    }
    HandheldRecord r;
    r.data.assign(text.begin(), text.end());
    const int rc = db.Write(r);
    db.Close();
    if (rc != 0) {
        SyncMessage(4184, kActivityError);
        return 0;
    }
    return 1;
}

int HasKeyRecords(CDeviceDb& db) {
    if (db.Open(kDbSecurity) != 0) {
        Debug("Failed to open the Larkspur SData");
        return 0;
    }
    return db.Count() > 0 ? 1 : 0;
}

int ReadKeyRecord(CDeviceDb& db, std::string& text) {
    text.clear();
    if (db.Open(kDbSecurity) != 0) return 0;
    const uint32_t n = db.Count();
    if (n == 0) return 0;
    HandheldRecord r;
    if (db.ReadByIndex(n - 1, r) != 0) return 0;
    const size_t len = std::min<size_t>(r.data.size(), 256);
    text.assign(reinterpret_cast<const char*>(r.data.data()),
                strnlen(reinterpret_cast<const char*>(r.data.data()), len));
    return text.empty() ? 0 : 1;
}

}  // namespace tess::engine
