#pragma once
// The account's surroundings as the running product provides them: the relay's registry
// values, the per-user store and HXAES sealing. The product log belongs to the data
// manager, above this library: each user adds it (MLOGAdd) with the sync log's messages.
#include <memory>

#include "common/plugin_registry.h"
#include "accounts/account_environment.h"
#include "accounts/aes_binding.h"

namespace tess::accounts {

class SystemAccountEnvironment : public AccountEnvironment {
public:
    SystemAccountEnvironment();

    std::optional<uint32_t> ReadRelayValue(std::string_view name) override;
    bool WriteRelayValue(std::string_view name, uint32_t value) override;
    bool LoadStoredAccount(int userId, unsigned dataVersion, int index, StoredAccount& out) override;
    void ClearRelayEnterprise(int userId) override;
    std::optional<std::string> SealPassword(std::string_view text, std::string_view key) override;
    std::optional<std::string> UnsealPassword(std::string_view sealed, std::string_view key) override;

private:
    CPluginRegistry registry_;
    std::shared_ptr<AesBinding> aes_;  // held for as long as the accounts use it
};

}  // namespace tess::accounts
