#include "datamgr/handheld_access.h"

#include <strings.h>

#include <cstring>

#include "common/byte_io.h"
#include "datamgr/ledgerly.h"

namespace tess::datamgr {
namespace {

constexpr uint8_t kOpenMode = 0xE0;
constexpr uint32_t kDeviceType = 0x6170706C;  // 'appl'

int Code(uint32_t c) { return static_cast<int>(c); }

// Opens a database for one question and closes it on every path.
class ScopedDb {
public:
    explicit ScopedDb(const std::string& name) {
        if (!name.empty() && SyncOpenDB(name.c_str(), 0, &handle_, kOpenMode) != SYNC_OK) handle_ = 0;
    }
    ~ScopedDb() {
        if (handle_) SyncCloseDB(handle_);
    }
    ScopedDb(const ScopedDb&) = delete;
    ScopedDb& operator=(const ScopedDb&) = delete;
    SyncDbHandle get() const { return handle_; }

private:
    SyncDbHandle handle_ = 0;
};

}  // namespace

CHandheldDb::~CHandheldDb() { Close(); }

int CHandheldDb::Open(const std::string& name) {
    if (name.empty()) return Code(LDG_E_INVALID_PARAMETER);
    if (handle_ && strcasecmp(name_.c_str(), name.c_str()) == 0) return 0;
    if (handle_) Close();
    SyncDbHandle h = 0;
    if (SyncOpenDB(name.c_str(), 0, &h, kOpenMode) != SYNC_OK || h == 0) return Code(LDG_E_DB_OPEN);
    handle_ = h;
    name_ = name;
    return 0;
}

int CHandheldDb::OpenKind(int kind, uint16_t version, int accountId) {
    const std::string name = HandheldDbName(kind, accountId);
    if (name.empty()) return Code(LDG_E_INVALID_PARAMETER);
    if (handle_ && strcasecmp(name_.c_str(), name.c_str()) == 0) return 0;
    if (handle_) Close();
    SyncDbHandle h = 0;
    if (OpenHandheldDb(kind, accountId, version, h) != SYNC_OK || h == 0) return Code(LDG_E_DB_OPEN);
    handle_ = h;
    name_ = name;
    return 0;
}

int CHandheldDb::Close() {
    if (!handle_) return 0;
    // The handle is forgotten even when the close fails: a handle the sync manager no
    // longer knows (its session ended) would otherwise block every later open.
    const int rc = SyncCloseDB(handle_) == SYNC_OK ? 0 : Code(LDG_E_DB_CLOSE);
    handle_ = 0;
    name_.clear();
    return rc;
}

int CHandheldDb::DatabaseVersion(const std::string& name, uint16_t* version) {
    ScopedDb db(name);
    SyncDbInfo info{};
    if (!db.get() || SyncReadOpenDbInfo(db.get(), sizeof info, &info) != SYNC_OK) return Code(LDG_E_DB_OPEN);
    if (version) *version = info.version;
    return 0;
}

int CHandheldDb::RecordCount(const std::string& name, uint32_t* count) {
    ScopedDb db(name);
    uint32_t n = 0;
    if (!db.get() || SyncGetDBRecordCount(db.get(), &n) != SYNC_OK) return Code(LDG_E_DB_OPEN);
    if (count) *count = n;
    return 0;
}

bool CHandheldDb::Exists(const std::string& name) { return ScopedDb(name).get() != 0; }

int CHandheldDb::readRecord(bool byId, uint32_t key, HandheldRecord* out) {
    if (!handle_) return Code(LDG_E_NOT_INITIALIZED);
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(kMaxRecordBytes);
    } catch (...) {
        return Code(LDG_E_NO_MEMORY);
    }
    SyncRecord r{};
    r.db = handle_;
    r.buffer = buffer.data();
    r.bufferSize = kMaxRecordBytes;
    int rc;
    if (byId) {
        r.recordId = key;
        rc = SyncReadRecordById(&r);
        if (rc == SYNCERR_NOT_FOUND) return Code(LDG_E_RECORD_NOT_FOUND);
    } else {
        r.index = key;
        rc = SyncReadRecordByIndex(&r);
    }
    // A record above the limit is refused rather than cut.
    if (rc != SYNC_OK || r.dataSize > kMaxRecordBytes) return Code(LDG_E_INVALID_PARAMETER);
    buffer.resize(r.dataSize);
    out->id = r.recordId;
    out->attributes = r.attributes;
    out->category = r.category;
    out->data = std::move(buffer);
    return 0;
}

int CHandheldDb::ReadRecordByIndex(uint32_t index, HandheldRecord* out) { return readRecord(false, index, out); }
int CHandheldDb::ReadRecordById(uint32_t id, HandheldRecord* out) { return readRecord(true, id, out); }

int CHandheldDb::WriteRecord(HandheldRecord* record) {
    if (!handle_) return Code(LDG_E_NOT_INITIALIZED);
    if (!record) return Code(LDG_E_INVALID_PARAMETER);
    if (record->data.size() > kMaxRecordBytes) return Code(LDG_E_BUFFER_TOO_SMALL);
    SyncCardInfo card{};
    if (SyncReadSingleCardInfo(&card) != SYNC_OK) return Code(LDG_E_INVALID_PARAMETER);
    if (static_cast<int64_t>(card.freeRam) - static_cast<int64_t>(record->data.size()) < kMaxRecordBytes)
        return Code(LDG_E_DEVICE_FULL);
    uint8_t one = 0;
    SyncRecord r{};
    r.db = handle_;
    r.recordId = record->id;
    r.attributes = record->attributes;
    r.category = record->category;
    // A record is never empty on the handheld: a zero-length write sends one byte.
    r.buffer = record->data.empty() ? &one : record->data.data();
    r.dataSize = record->data.empty() ? 1 : static_cast<uint32_t>(record->data.size());
    r.bufferSize = r.dataSize;
    if (SyncWriteRecord(&r) != SYNC_OK) return Code(LDG_E_INVALID_PARAMETER);
    record->id = r.recordId;
    return 0;
}

int CHandheldDb::DeleteRecord(uint32_t id) {
    if (!handle_) return Code(LDG_E_NOT_INITIALIZED);
    return SyncDeleteRecord(handle_, id) == SYNC_OK ? 0 : Code(LDG_E_IO_DELETE);
}

int CHandheldDb::Purge() {
    if (!handle_) return Code(LDG_E_NOT_INITIALIZED);
    return SyncDeleteAllRecords(handle_) == SYNC_OK ? 0 : Code(LDG_E_IO_EMPTY_DB);
}

int CHandheldDb::ReadAppPreference(uint32_t creator, uint16_t id, std::vector<uint8_t>* out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(kMaxRecordBytes);
    } catch (...) {
        return Code(LDG_E_NO_MEMORY);
    }
    uint32_t size = 0;
    uint16_t version = 0;
    if (SyncReadAppPreference(creator, id, 1, buffer.data(), kMaxRecordBytes, &size, &version) != SYNC_OK ||
        size == 0 || size > kMaxRecordBytes)
        return Code(LDG_E_IO_READ_DEVICE);
    buffer.resize(size);
    *out = std::move(buffer);
    return 0;
}

int CHandheldDb::WriteAppPreference(uint16_t version, uint32_t creator, uint16_t id, const void* data, uint32_t size) {
    return SyncWriteAppPreference(creator, id, 1, version, data, size) == SYNC_OK ? 0 : Code(LDG_E_IO_SAVE);
}

int CHandheldDb::CardInformation(SyncCardInfo* out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    return SyncReadSingleCardInfo(out) == SYNC_OK ? 0 : Code(LDG_E_IO_READ_DEVICE);
}

namespace {

// One item of the handheld application; replies shorter than asked are zero-padded.
bool AskDevice(uint16_t code, std::vector<uint8_t>& reply, size_t size) {
    reply.assign(size, 0);
    SyncRemoteCall call{};
    call.creator = kCreatorDevice;
    call.type = kDeviceType;
    call.action = code;
    call.reply = reply.data();
    call.replyMax = static_cast<uint32_t>(size);
    if (SyncCallRemoteModule(&call) != SYNC_OK) return false;
    if (size == 4 && call.replySize != 4) return false;
    return true;
}

int Word(const std::vector<uint8_t>& bytes) {
    tess::ByteReader r(bytes.data(), bytes.size());
    uint32_t v = 0;
    return r.u32be(v) ? static_cast<int>(v) : 0;
}

std::string Text(const std::vector<uint8_t>& bytes) {
    const char* p = reinterpret_cast<const char*>(bytes.data());
    return std::string(p, strnlen(p, bytes.size()));
}

}  // namespace

const CHandheldAppInfo& CHandheldDb::DeviceInfo() {
    if (info_.loaded) return info_;
    std::vector<uint8_t> reply;
    if (!AskDevice(3, reply, 32)) return info_;
    info_.name32 = Text(reply);
    info_.version = AskDevice(2, reply, 4) ? Word(reply) : 1024;
    info_.second = AskDevice(0, reply, 4) ? Word(reply) : 0;
    info_.name64 = AskDevice(1, reply, 64) ? Text(reply) : std::string();
    info_.loaded = true;
    return info_;
}

}  // namespace tess::datamgr
