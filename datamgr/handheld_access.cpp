#include "datamgr/handheld_access.h"

#include <cstring>

#include "common/byte_io.h"
#include "datamgr/ledgerly.h"

namespace tess::datamgr {
namespace {

constexpr uint32_t kDeviceType = 0x6170706C;  // 'appl'

int Code(uint32_t c) { return static_cast<int>(c); }

}  // namespace

int HandheldDbVersion(const std::string& name, uint16_t* version) {
    CHandheldDb db;
    SyncDbInfo info{};
    if (db.OpenByName(name) != 0 || db.ReadInfo(info) != SYNC_OK) return Code(LDG_E_DB_OPEN);
    if (version) *version = info.version;
    return 0;
}

int HandheldDbCount(const std::string& name, uint32_t* count) {
    CHandheldDb db;
    uint32_t n = 0;
    if (db.OpenByName(name) != 0 || db.Count(n) != SYNC_OK) return Code(LDG_E_DB_OPEN);
    if (count) *count = n;
    return 0;
}

bool HandheldDbExists(const std::string& name) {
    CHandheldDb db;
    return db.OpenByName(name) == 0;
}

int ReadAppPreference(uint32_t creator, uint16_t id, std::vector<uint8_t>* out) {
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

int WriteAppPreference(uint16_t version, uint32_t creator, uint16_t id, const void* data, uint32_t size) {
    return SyncWriteAppPreference(creator, id, 1, version, data, size) == SYNC_OK ? 0 : Code(LDG_E_IO_SAVE);
}

int CardInformation(SyncCardInfo* out) {
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

CHandheldAppInfo ReadDeviceInfo() {
    CHandheldAppInfo info;
    std::vector<uint8_t> reply;
    if (!AskDevice(3, reply, 32)) return info;
    info.name32 = Text(reply);
    info.version = AskDevice(2, reply, 4) ? Word(reply) : 1024;
    info.second = AskDevice(0, reply, 4) ? Word(reply) : 0;
    info.name64 = AskDevice(1, reply, 64) ? Text(reply) : std::string();
    info.loaded = true;
    return info;
}

}  // namespace tess::datamgr
