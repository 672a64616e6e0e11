#include "translate/manager/plugin_store.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/core/registry.h"

namespace tess::translate::manager {

const char* const kPluginsKey = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\ApplicationPlugins";

namespace {

class Key {
public:
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string SubKey(const std::string& key) { return std::string(kPluginsKey) + "\\" + key; }

// Every value whole, however long its name or data.
void ReadValues(HKEY key, std::vector<RegistryValue>& out) {
    std::vector<char> name(260);
    std::vector<unsigned char> data(1024);
    for (DWORD i = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS rc = RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA && (nameSize > name.size() || dataSize > data.size())) {
            name.resize(std::max<size_t>(name.size(), nameSize));
            data.resize(std::max<size_t>(data.size(), dataSize));
            continue;
        }
        ++i;
        if (rc != ERROR_SUCCESS) continue;
        RegistryValue v;
        v.name.assign(name.data(), nameSize);
        v.type = type;
        const char* text = reinterpret_cast<const char*>(data.data());
        if (type == REG_DWORD && dataSize == 4)
            std::memcpy(&v.number, data.data(), 4);
        else if (type == REG_SZ || type == REG_EXPAND_SZ)
            v.text.assign(text, strnlen(text, dataSize));
        out.push_back(std::move(v));
    }
}

}  // namespace

PluginStore& Store() {
    static PluginStore store;
    return store;
}

std::vector<std::string> Tokens(const std::string& text, char separator) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
        out.push_back(a == std::string::npos ? std::string() : Lower(item.substr(a, b - a + 1)));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

// Whole items only: "htm" is not in "html", "doc" not in "docx".
bool HasToken(const std::string& text, char separator, const std::string& item) {
    const std::string wanted = Lower(item);
    if (wanted.empty()) return false;
    const auto tokens = Tokens(text, separator);
    return std::find(tokens.begin(), tokens.end(), wanted) != tokens.end();
}

int PluginStore::LoadPluginCache() {
    lists_.clear();
    loaded_ = true;
    Key root;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kPluginsKey, root.out()) != ERROR_SUCCESS) return 0;
    // Names of any length: one that does not fit a fixed buffer must not end the list.
    std::vector<char> name(128);
    for (DWORD i = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        const LSTATUS rc = RegEnumKeyExA(root.get(), i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA && nameSize > name.size()) {
            name.resize(nameSize);
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        ++i;
        Key sub;
        if (RegOpenKeyA(root.get(), name.data(), sub.out()) != ERROR_SUCCESS) continue;
        CPluginValueList list;
        list.key.assign(name.data(), nameSize);
        ReadValues(sub.get(), list.values);
        lists_.push_back(std::move(list));
    }
    return static_cast<int>(lists_.size());
}

const std::vector<CPluginValueList>& PluginStore::Lists() {
    if (!loaded_) LoadPluginCache();
    return lists_;
}

const CPluginValueList* PluginStore::Find(const std::string& key) {
    for (const auto& l : Lists())
        if (SameName(l.key, key)) return &l;
    return nullptr;
}

const RegistryValue* PluginStore::GetValue(const std::string& key, const std::string& name) {
    const CPluginValueList* l = Find(key);
    if (!l) return nullptr;
    for (const auto& v : l->values)
        if (SameName(v.name, name)) return &v;
    return nullptr;
}

const RegistryValue* PluginStore::GetValueAt(const std::string& key, size_t index) {
    const CPluginValueList* l = Find(key);
    return l && index < l->values.size() ? &l->values[index] : nullptr;
}

std::string PluginStore::Text(const std::string& key, const std::string& name) {
    const RegistryValue* v = GetValue(key, name);
    return v && v->type == REG_SZ ? v->text : std::string();
}

bool PluginStore::SetValue(const std::string& key, const RegistryValue& value) {
    Lists();
    Key sub;
    if (RegCreateKeyA(HKEY_CURRENT_USER, SubKey(key).c_str(), sub.out()) != ERROR_SUCCESS) return false;
    LSTATUS rc;
    if (value.type == REG_DWORD)
        rc = RegSetValueExA(sub.get(), value.name.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const unsigned char*>(&value.number), 4);
    else
        rc = RegSetValueExA(sub.get(), value.name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const unsigned char*>(value.text.c_str()),
                            static_cast<DWORD>(value.text.size() + 1));
    // The cache holds what the registry holds: a refused write changes neither.
    if (rc != ERROR_SUCCESS) return false;
    CPluginValueList* list = nullptr;
    for (auto& l : lists_)
        if (SameName(l.key, key)) list = &l;
    if (!list) {
        lists_.push_back(CPluginValueList{key, {}});
        list = &lists_.back();
    }
    auto it = std::find_if(list->values.begin(), list->values.end(),
                           [&](const RegistryValue& v) { return SameName(v.name, value.name); });
    if (it != list->values.end()) {
        const std::string name = it->name;
        *it = value;
        it->name = name;
    } else {
        list->values.push_back(value);
    }
    return true;
}

// The registry and the cache stay in step: a value deleted now, or found already gone
// from the registry, is gone from the cache too. True when this call deleted it.
bool PluginStore::DeleteValue(const std::string& key, const std::string& name) {
    Lists();
    Key sub;
    LSTATUS rc = RegOpenKeyA(HKEY_CURRENT_USER, SubKey(key).c_str(), sub.out());
    if (rc == ERROR_SUCCESS) rc = RegDeleteValueA(sub.get(), name.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    for (auto& l : lists_)
        if (SameName(l.key, key))
            std::erase_if(l.values, [&](const RegistryValue& v) { return SameName(v.name, name); });
    return rc == ERROR_SUCCESS;
}

bool PluginStore::DeletePluginKey(const std::string& key) {
    Lists();
    Key root;
    LSTATUS rc = RegOpenKeyA(HKEY_CURRENT_USER, kPluginsKey, root.out());
    if (rc == ERROR_SUCCESS) rc = RegDeleteKeyA(root.get(), key.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    std::erase_if(lists_, [&](const CPluginValueList& l) { return SameName(l.key, key); });
    return rc == ERROR_SUCCESS;
}

}  // namespace tess::translate::manager
