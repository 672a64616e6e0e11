#pragma once
// The handheld's application preferences through the sync manager, as the account code
// reads and writes them (the backed-up preferences, a 63000-byte read buffer).
#include <map>
#include <utility>

#include "accounts/account_environment.h"

namespace tess::accounts {

class SyncManagerPreferences : public HandheldPreferences {
public:
    int Read(uint32_t creator, int id, std::vector<uint8_t>& out) override;
    // A preference is written back with the version it was read with (0 for a new one).
    int Write(uint32_t creator, int id, std::span<const uint8_t> bytes) override;

private:
    std::map<std::pair<uint32_t, int>, uint16_t> versions_;
};

}  // namespace tess::accounts
