#pragma once
// The product's lists and switches in the registry of the current user, under the
// product key: message host and synchronisation plug-ins, the relay's values and the
// application plug-ins; and the few single values of the product key.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/registry.h"

namespace tess {

inline constexpr const char* kProductKey = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\";

enum PluginListType : int {
    kMsgHostPlugins = 0,
    kMsgSyncPlugins = 1,
    kMsgRedir = 2,
    kApplicationPlugins = 3,
};

// One registry value of a list.
struct PluginEntry {
    int index = 0;
    std::string name;
    int type = REG_SZ;  // REG_SZ text, REG_DWORD number
    std::string text;
    uint32_t number = 0;
};

class CPluginRegistry {
public:
    CPluginRegistry() = default;
    CPluginRegistry(const CPluginRegistry&) = delete;
    CPluginRegistry& operator=(const CPluginRegistry&) = delete;
    virtual ~CPluginRegistry();

    // Opens the list's key (kept open); 1 opened, 0 otherwise or for a type above 3.
    int OpenKey(int type);
    // The list's key, created when missing; null when it cannot be.
    HKEY GetKey(int type);
    // Reads every value of the list, in index order, into its cache (replacing it).
    // Values whose name or data do not fit 128 bytes are left out.
    int ReadValues(int type);
    int Count(int type);
    static PluginEntry* FindEntry(std::vector<std::unique_ptr<PluginEntry>>& list, const std::string& name);
    int GetEntry(int type, const std::string& name, PluginEntry** out);
    int SetEntry(int type, const PluginEntry& entry);
    static int WriteValue(HKEY key, const PluginEntry& entry);

    // The relay's DWORD values under "MsgRedir".
    std::optional<uint32_t> ReadRelayValue(const std::string& name);
    bool WriteRelayValue(const std::string& name, uint32_t value);

private:
    static constexpr int kTypes = 4;
    HKEY keys_[kTypes] = {};
    std::vector<std::unique_ptr<PluginEntry>> lists_[3];
};

// The default value of a key as text: a text as it stands, a DWORD in decimal.
int ReadRegistryDefaultText(HKEY root, const char* subKey, std::string* out);
int IsUpgradeDone();
void ClearUpgradeDone();
void ReadServiceHost(std::string* out);  // "PSRE"; out unchanged when absent
int ReadConfigHost(std::string* out);    // "ConfHost" of "ConfigPlugins"
int GetRelayExchangeFlag();              // 1 when absent
int SetRelayExchangeFlag(int value);

}  // namespace tess
