#pragma once
// Surroundings for account tests: the handheld's preferences as a map that can refuse
// chosen writes, and an environment that records what the account reports.
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <algorithm>
#include <cstring>

#include "accounts/account_environment.h"
#include "accounts/sync_preferences.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::accounts::test {

// The emulated handheld's preferences (the sync manager stand-in, for the runtime root of
// the test), with the writes recorded and chosen preferences made to fail or look absent.
class EmulatedHandheld : public HandheldPreferences {
public:
    using Key = std::pair<uint32_t, int>;
    std::set<Key> refuseWrites;
    std::set<Key> missing;
    std::vector<Key> writes;

    int Read(uint32_t creator, int id, std::vector<uint8_t>& out) override {
        if (missing.count({creator, id})) return SYNCERR_NOT_FOUND;
        return real_.Read(creator, id, out);
    }
    int Write(uint32_t creator, int id, std::span<const uint8_t> bytes) override {
        if (refuseWrites.count({creator, id})) return SYNCERR_LOST_CONNECTION;
        writes.push_back({creator, id});
        missing.erase({creator, id});
        return real_.Write(creator, id, bytes);
    }
    // Set-up and inspection, beside the account's own calls.
    void Set(uint32_t creator, int id, const std::vector<uint8_t>& bytes) {
        missing.erase({creator, id});
        SyncWriteAppPreference(creator, uint16_t(id), 1, 0, bytes.data(), uint32_t(bytes.size()));
    }
    std::vector<uint8_t> Get(uint32_t creator, int id) {
        std::vector<uint8_t> out;
        if (real_.Read(creator, id, out) != 0) out.clear();
        return out;
    }
    void SetText(uint32_t creator, int id, const std::string& text) {
        Set(creator, id, std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1));
    }
    std::string Text(uint32_t creator, int id) {
        std::vector<uint8_t> out;
        if (real_.Read(creator, id, out) != 0) return "<missing>";
        return std::string(reinterpret_cast<const char*>(out.data()),
                           strnlen(reinterpret_cast<const char*>(out.data()), out.size()));
    }
    bool Wrote(uint32_t creator, int id) const {
        return std::find(writes.begin(), writes.end(), Key{creator, id}) != writes.end();
    }

private:
    SyncManagerPreferences real_;
};

class RecordingEnvironment : public AccountEnvironment {
public:
    std::vector<std::string> messages;  // "id:arg1:arg2"
    std::vector<std::string> logLines;
    std::map<std::string, uint32_t> relay;
    bool storedAccountPresent = false;
    StoredAccount storedAccount;
    int enterpriseCleared = 0;

    void SyncMessage(int id, std::string_view a, std::string_view b) override {
        messages.push_back(std::to_string(id) + ":" + std::string(a) + ":" + std::string(b));
    }
    void ProductLog(std::string_view line) override { logLines.emplace_back(line); }
    std::optional<uint32_t> ReadRelayValue(std::string_view name) override {
        auto it = relay.find(std::string(name));
        if (it == relay.end()) return std::nullopt;
        return it->second;
    }
    bool WriteRelayValue(std::string_view name, uint32_t value) override {
        relay[std::string(name)] = value;
        return true;
    }
    bool LoadStoredAccount(int, unsigned, int, StoredAccount& out) override {
        if (storedAccountPresent) out = storedAccount;
        return storedAccountPresent;
    }
    void ClearRelayEnterprise(int) override { ++enterpriseCleared; }
    // Sealing stands for the handheld's AES: a reversible marking keyed by the key.
    std::optional<std::string> SealPassword(std::string_view text, std::string_view key) override {
        return "sealed[" + std::string(key) + "]" + std::string(text);
    }
    std::optional<std::string> UnsealPassword(std::string_view sealed, std::string_view key) override {
        const std::string prefix = "sealed[" + std::string(key) + "]";
        if (sealed.substr(0, prefix.size()) != prefix) return std::nullopt;
        return std::string(sealed.substr(prefix.size()));
    }
    bool Logged(std::string_view part) const {
        for (auto& l : logLines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

}  // namespace tess::accounts::test
