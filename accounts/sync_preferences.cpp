#include "accounts/sync_preferences.h"

#include "accounts/handheld_account_records.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::accounts {

namespace {
constexpr int kBackup = 1;
bool validId(int id) { return id >= 0 && id <= 0xFFFF; }
}  // namespace

int SyncManagerPreferences::Read(uint32_t creator, int id, std::vector<uint8_t>& out) {
    if (!validId(id)) return SYNCERR_BAD_ARGUMENT;
    std::vector<uint8_t> buffer(kMaxPreferenceBytes);
    uint32_t size = 0;
    uint16_t version = 0;
    const int rc =
        SyncReadAppPreference(creator, uint16_t(id), kBackup, buffer.data(), uint32_t(buffer.size()), &size, &version);
    if (rc != SYNC_OK) return rc;
    buffer.resize(std::min<size_t>(size, buffer.size()));
    out = std::move(buffer);
    versions_[{creator, id}] = version;
    return SYNC_OK;
}

int SyncManagerPreferences::Write(uint32_t creator, int id, std::span<const uint8_t> bytes) {
    if (!validId(id)) return SYNCERR_BAD_ARGUMENT;
    const auto known = versions_.find({creator, id});
    const uint16_t version = known == versions_.end() ? 0 : known->second;
    return SyncWriteAppPreference(creator, uint16_t(id), kBackup, version, bytes.data(), uint32_t(bytes.size()));
}

}  // namespace tess::accounts
