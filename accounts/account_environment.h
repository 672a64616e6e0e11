#pragma once
// What an account needs of its surroundings: the handheld's preferences during a
// synchronisation, the logs, the relay's registry values, the per-user store and the
// password sealing. The engine wires these to the sync manager, the product log, the
// registry and HXAES; keeping them behind one seam keeps the account logic in one place.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tess::accounts {

// The handheld's application preferences, reached through the sync manager's open handle.
class HandheldPreferences {
public:
    virtual ~HandheldPreferences() = default;
    // 0 and the record's bytes, or the sync manager's error code.
    virtual int Read(uint32_t creator, int id, std::vector<uint8_t>& out) = 0;
    // 0 when written, else the sync manager's error code.
    virtual int Write(uint32_t creator, int id, std::span<const uint8_t> bytes) = 0;
};

// An account as the per-user store keeps it in its older form.
struct StoredAccount {
    std::string name, hostName, mapiProfile, desktopUser, desktopPassword;
    int32_t active = 0, generateKey = 0, unreadOnly = 0, syncInbox = 0, syncOutbox = 0;
    int32_t messageSizeKb = 50, mailClient = -1, daysToSync = 0;
};

class AccountEnvironment {
public:
    virtual ~AccountEnvironment() = default;

    // A numbered message of the engine's string table to the sync log.
    virtual void SyncMessage(int id, std::string_view arg1 = {}, std::string_view arg2 = {}) = 0;
    // One line of the product log.
    virtual void ProductLog(std::string_view line) = 0;

    // DWORD values under the relay's registry list.
    virtual std::optional<uint32_t> ReadRelayValue(std::string_view name) = 0;
    virtual bool WriteRelayValue(std::string_view name, uint32_t value) = 0;

    // The per-user store: an account in its older form; the relay's business switch.
    virtual bool LoadStoredAccount(int userId, unsigned dataVersion, int index, StoredAccount& out) = 0;
    virtual void ClearRelayEnterprise(int userId) = 0;

    // Password sealing for the handheld: AES under the handheld's key, then base64.
    // Empty when sealing is unavailable or fails.
    virtual std::optional<std::string> SealPassword(std::string_view text, std::string_view key) = 0;
    virtual std::optional<std::string> UnsealPassword(std::string_view sealed, std::string_view key) = 0;
};

}  // namespace tess::accounts
