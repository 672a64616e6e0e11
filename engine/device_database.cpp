#include "engine/device_database.h"

#include <cstring>

#include "common/sync_report.h"
#include "engine/engine_log.h"

namespace tess::engine {
namespace {

constexpr uint32_t kAppType = SYNC_FOURCC('a', 'p', 'p', 'l');

// The sync manager's codes as they come; creations and failed closes to the debug log.
constexpr HandheldDbOptions kEngineDbOptions{.note = Debug};

}  // namespace

CDeviceDb::CDeviceDb() : CHandheldDb(kEngineDbOptions) {}

int CDeviceDb::Open(int kind, int slot) {
    if (!haveProperties) return kResultNoProperties;
    const int rc = OpenKind(kind, slot, uint16_t(dbVersion));
    const bool olderApp = kind == kDbOldPro2 || kind == kDbOldPro3;
    if (rc != 0 && !HandheldDbName(kind, slot).empty() && !(rc == SYNCERR_NOT_FOUND && olderApp))
        LogDatabaseOpenFailure();
    return rc;
}

int CDeviceDb::ReadDatabaseVersion() {
    if (Open(kDbOldPro2) == 0 || Open(kDbOldPro3) == 0) {
        Close();
        return 1;
    }
    if (Open(kDbMessages) != 0) return 0;
    SyncDbInfo info{};
    if (ReadInfo(info) != SYNC_OK) return 0;
    if (info.version >= kMinDbVersion && info.version <= kMaxDbVersion) dbVersion = info.version;
    return 1;
}

bool CDeviceDb::MessagesOpen() const { return IsOpen() && OpenName() == HandheldDbName(kDbMessages); }

void CDeviceDb::FollowMessages(const std::filesystem::path& file) {
    followed_ = false;
    indexFile_ = file;
    SyncDbInfo info{};
    if (!MessagesOpen() || ReadInfo(info) != SYNC_OK) return;
    followed_ = true;
    std::string why;
    if (!messages_.Load(file, info, why)) Debug("The index of the handheld's messages is not used: " + why + ".");
}

int CDeviceDb::ReadMessageHeaders(uint32_t index, HandheldRecord& out, bool& whole) {
    whole = true;
    if (!followed_ || !MessagesOpen()) return ReadByIndex(index, out);
    if (messages_.Loaded()) {
        whole = false;
        return messages_.At(index, out) ? 0 : SYNCERR_NOT_FOUND;
    }
    const int rc = ReadByIndex(index, out);
    if (rc == 0) messages_.Learn(index, out);
    if (rc == SYNCERR_NOT_FOUND) messages_.Ended(index);
    return rc;
}

void CDeviceDb::KeepMessageIndex() {
    if (!followed_) return;
    followed_ = false;
    SyncDbInfo info{};
    if (Open(kDbMessages) != 0 || ReadInfo(info) != SYNC_OK) return;
    std::string why;
    if (!messages_.Save(indexFile_, info, why) && !why.empty())
        Debug("The index of the handheld's messages is not kept: " + why + ".");
}

int CDeviceDb::Write(HandheldRecord& record) {
    const bool added = record.id == 0;
    const int rc = CHandheldDb::Write(record);
    if (rc == 0 && followed_ && MessagesOpen()) {
        if (record.data.empty()) {
            // Kept as one byte by the handheld.
            HandheldRecord stored = record;
            stored.data.assign(1, 0);
            messages_.Wrote(stored, added);
        } else {
            messages_.Wrote(record, added);
        }
    }
    return rc;
}

int CDeviceDb::Delete(uint32_t id) {
    const int rc = CHandheldDb::Delete(id);
    if (rc == 0 && followed_ && MessagesOpen()) messages_.Deleted(id);
    return rc;
}

int CDeviceDb::DeleteAll() {
    const int rc = CHandheldDb::DeleteAll();
    if (rc == 0 && followed_ && MessagesOpen()) messages_.DeletedAll();
    return rc;
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
