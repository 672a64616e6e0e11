#pragma once
// The "ApplicationPlugins" registry key and a cache of its sub-keys' values, filled on
// first use. Changes go to the registry and the cache together.
#include <cstdint>
#include <string>
#include <vector>

#include "common/text_case.h"
#include "platform/export.h"

namespace tess::translate::manager {

extern const char* const kPluginsKey;  // product key + "ApplicationPlugins"

struct RegistryValue {
    std::string name;
    uint32_t type = 0;  // REG_SZ or REG_DWORD
    std::string text;
    uint32_t number = 0;
};

struct CPluginValueList {
    std::string key;
    std::vector<RegistryValue> values;
};

// Exported for the tests, which start each case from an empty cache.
class TESS_EXPORT PluginStore {
public:
    int LoadPluginCache();
    const std::vector<CPluginValueList>& Lists();
    const CPluginValueList* Find(const std::string& key);
    const RegistryValue* GetValue(const std::string& key, const std::string& name);
    const RegistryValue* GetValueAt(const std::string& key, size_t index);
    // Text of a text value, empty when missing or not text.
    std::string Text(const std::string& key, const std::string& name);
    bool SetValue(const std::string& key, const RegistryValue& value);
    bool DeleteValue(const std::string& key, const std::string& name);
    bool DeletePluginKey(const std::string& key);
    void ClearCache() {
        lists_.clear();
        loaded_ = false;
    }

private:
    bool loaded_ = false;
    std::vector<CPluginValueList> lists_;
};

TESS_EXPORT PluginStore& Store();

// Comma or bar separated items, lower-cased and trimmed.
std::vector<std::string> Tokens(const std::string& text, char separator);
bool HasToken(const std::string& text, char separator, const std::string& item);
using tess::Lower;

}  // namespace tess::translate::manager
