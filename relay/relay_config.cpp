#include "relay/relay_config.h"

#include <cstring>

#include "relay/relay_log.h"

namespace tess::relay {

using tess::relaycfg::RelayUserSettings;

CRelayConfig::~CRelayConfig() { release(); }

void CRelayConfig::release() {
    if (settings_) ConfigFreeUserSettings(&settings_);
    settings_ = nullptr;
}

int CRelayConfig::UnInit() {
    const int result = ConfigUnInit();
    release();
    return result;
}

int CRelayConfig::LoadUserSettings(bool skipSetUp, bool reportSetUp) {
    int setUp = 0;
    if (!skipSetUp) {
        setUp = ConfigSetUp();
        if (setUp == 2) {
            release();
            return 2;
        }
        if (setUp != 0 && setUp != 3 && setUp != 12) return setUp;
    }
    RelayUserSettings* fresh = nullptr;
    const int got = ConfigGetUserSettings(&fresh);
    if (got != 0) {
        release();
        return got;
    }
    if (!fresh) return kSettingsUnchanged;
    if (!settings_) {
        settings_ = fresh;
        return 0;
    }
    const bool same = settings_->profileOrIdFile.Compare(fresh->profileOrIdFile) == 0 &&
                      settings_->password.Compare(fresh->password) == 0 &&
                      settings_->emailAddress.Compare(fresh->emailAddress) == 0 &&
                      settings_->userFolder.Compare(fresh->userFolder) == 0;
    if (same) {
        ConfigFreeUserSettings(&fresh);
        return kSettingsUnchanged;
    }
    release();
    settings_ = fresh;
    return reportSetUp ? setUp : 0;
}

int CRelayConfig::GetSecurityKey(std::vector<uint8_t>& key) {
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    char* buffer = keyBuffer_;
    int length = sizeof keyBuffer_;
    const int result = ConfigGetSecurityKey(&buffer, &length);
    if (result == 0) {
        key.assign(keyBuffer_, keyBuffer_ + (length > 0 && length <= int(sizeof keyBuffer_) ? length : 0));
        key.push_back(0);
    }
    return result;
}

void CRelayConfig::GetLoggingOption() {
    char option = 0;
    ConfigGetLoggingOpt(&option);
    loggingOption_ = static_cast<uint8_t>(option);
    LogSetOption(loggingOption_);
}

}  // namespace tess::relay
