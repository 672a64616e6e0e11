#include "accounts/system_environment.h"

#include "common/base64.h"
#include "accounts/user_settings.h"

namespace tess::accounts {

SystemAccountEnvironment::SystemAccountEnvironment() : aes_(AesBinding::Acquire()) {}

std::optional<uint32_t> SystemAccountEnvironment::ReadRelayValue(std::string_view name) {
    return registry_.ReadRelayValue(std::string(name));
}

bool SystemAccountEnvironment::WriteRelayValue(std::string_view name, uint32_t value) {
    return registry_.WriteRelayValue(std::string(name), value);
}

bool SystemAccountEnvironment::LoadStoredAccount(int userId, unsigned dataVersion, int index, StoredAccount& out) {
    CAccountSettings stored;
    if (!stored.Load(userId, kSectionOlder, int(dataVersion), index)) return false;
    out.name = stored.accountName;
    out.hostName = stored.hostName;
    out.mapiProfile = stored.mapiProfile;
    out.desktopUser = stored.userAccount;
    out.desktopPassword = stored.password;
    out.active = stored.active;
    out.generateKey = stored.generateKey;
    out.unreadOnly = stored.unreadOnly;
    out.syncInbox = stored.syncInbox;
    out.syncOutbox = stored.syncOutbox;
    out.messageSizeKb = stored.messageSizeKb;
    out.mailClient = stored.client;
    out.daysToSync = stored.daysToSync;
    return true;
}

void SystemAccountEnvironment::ClearRelayEnterprise(int userId) {
    CRelaySettings relay;
    relay.Load(userId, kSectionRelay);
    relay.enterprise = 0;
    relay.Save(userId, kSectionRelay);
}

std::optional<std::string> SystemAccountEnvironment::SealPassword(std::string_view text, std::string_view key) {
    auto sealed = aes_->Encrypt({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, key);
    if (!sealed) return std::nullopt;
    std::string out;
    Base64Encode(sealed->data(), int(sealed->size()), out, false);
    return out;
}

std::optional<std::string> SystemAccountEnvironment::UnsealPassword(std::string_view sealed, std::string_view key) {
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    if (Base64Decode(sealed, bytes, &count) != kBase64Ok) return std::nullopt;
    bytes.resize(count);
    auto plain = aes_->Decrypt(bytes, key);
    if (!plain) return std::nullopt;
    return std::string(plain->begin(), plain->end());
}

}  // namespace tess::accounts
