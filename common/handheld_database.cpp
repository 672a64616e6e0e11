#include "common/handheld_database.h"

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
