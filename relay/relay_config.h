#pragma once
// CRelayConfig: the relay's one access point to the relay configuration library. Holds the
// current user's settings record, the security key buffer and the logging option, and
// tells whether a reload of the user's settings changed anything.
#include <cstdint>
#include <vector>

#include "relaycfg/lanternby.h"

namespace tess::relay {

using tess::relaycfg::RelayUserSettings;

enum : int { kSettingsUnchanged = 11 };

class CRelayConfig {
public:
    explicit CRelayConfig(uint32_t owner) : owner_(owner) {}
    ~CRelayConfig();
    CRelayConfig(const CRelayConfig&) = delete;
    CRelayConfig& operator=(const CRelayConfig&) = delete;

    int Init() { return ConfigInit(); }
    int UnInit();
    int DoSuicide() { return ConfigDoSuicide(); }
    int SendEmail() { return ConfigSendEmail(); }
    int ResetSendMail() { return ConfigResetSendMail(); }
    int IsNewKeyPresent() { return ConfigIsNewKeyPresent(); }
    int TurnOffNewKey() { return ConfigTurnOffNewKey(); }
    int UseAttachments() { return ConfigUseAttachments(); }
    int FirstRun() { return ConfigFirstRun(); }
    int SetFilters(short count, MessageFilter** filters) { return ConfigSetFilters(count, filters); }
    int PassFilter(FilterMessage* message) { return ConfigPassFilter(message); }

    // 0 (or the set-up's result when reportSetUp) when the user or the settings changed,
    // 11 when nothing changed, else the configuration library's code.
    int LoadUserSettings(bool skipSetUp, bool reportSetUp);
    // The key string and one zero byte; the array is untouched on failure.
    int GetSecurityKey(std::vector<uint8_t>& key);
    void GetLoggingOption();

    const RelayUserSettings* settings() const { return settings_; }
    uint8_t loggingOption() const { return loggingOption_; }
    uint32_t owner() const { return owner_; }

private:
    void release();

    RelayUserSettings* settings_ = nullptr;
    uint32_t owner_;
    uint8_t loggingOption_ = 0;
    char keyBuffer_[128] = {};
};

}  // namespace tess::relay
