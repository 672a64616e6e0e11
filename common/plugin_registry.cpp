#include "common/plugin_registry.h"

#include <cstring>
#include <strings.h>

namespace tess {

namespace {

constexpr const char* kSubKeys[] = {"MsgHostPlugins", "MsgSyncPlugins", "MsgRedir", "ApplicationPlugins"};
constexpr DWORD kMaxBytes = 128;

std::string listPath(int type) { return std::string(kProductKey) + kSubKeys[type]; }

// An open key that closes itself.
struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

std::optional<uint32_t> readDword(HKEY key, const char* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<unsigned char*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::string> readText(HKEY key, const char* name, DWORD limit) {
    std::string buffer(limit, '\0');
    DWORD type = 0, size = limit;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<unsigned char*>(buffer.data()), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    buffer.resize(strnlen(buffer.data(), size));
    return buffer;
}

bool writeDword(HKEY key, const char* name, uint32_t value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

}  // namespace

CPluginRegistry::~CPluginRegistry() {
    for (HKEY& k : keys_)
        if (k) RegCloseKey(k);
}

int CPluginRegistry::OpenKey(int type) {
    if (type < 0 || type >= kTypes) return 0;
    if (keys_[type]) return 1;
    return RegOpenKeyExA(HKEY_CURRENT_USER, listPath(type).c_str(), 0, KEY_ALL_ACCESS, &keys_[type]) == ERROR_SUCCESS
               ? 1
               : 0;
}

HKEY CPluginRegistry::GetKey(int type) {
    if (type < 0 || type >= kTypes) return nullptr;
    if (!keys_[type] && !OpenKey(type) &&
        RegCreateKeyA(HKEY_CURRENT_USER, listPath(type).c_str(), &keys_[type]) != ERROR_SUCCESS)
        keys_[type] = nullptr;
    return keys_[type];
}

int CPluginRegistry::ReadValues(int type) {
    if (type < 0 || type > kMsgRedir || !OpenKey(type)) return 0;
    auto& list = lists_[type];
    list.clear();
    for (DWORD index = 0;; ++index) {
        char name[kMaxBytes];
        unsigned char data[kMaxBytes];
        DWORD nameSize = sizeof name, dataSize = sizeof data, regType = 0;
        const LSTATUS s = RegEnumValueA(keys_[type], index, name, &nameSize, nullptr, &regType, data, &dataSize);
        if (s == ERROR_NO_MORE_ITEMS) break;
        if (s != ERROR_SUCCESS) continue;
        auto e = std::make_unique<PluginEntry>();
        e->index = int(index);
        e->name.assign(name, strnlen(name, nameSize));
        e->type = int(regType);
        if (regType == REG_DWORD && dataSize == 4) {
            std::memcpy(&e->number, data, 4);
        } else if (regType == REG_SZ || regType == REG_EXPAND_SZ) {
            e->type = REG_SZ;
            e->text.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), dataSize));
        }
        list.push_back(std::move(e));
    }
    return 1;
}

int CPluginRegistry::Count(int type) {
    if (type < 0 || type > kMsgRedir || !ReadValues(type)) return 0;
    return int(lists_[type].size());
}

PluginEntry* CPluginRegistry::FindEntry(std::vector<std::unique_ptr<PluginEntry>>& list, const std::string& name) {
    for (auto& e : list)
        if (strcasecmp(e->name.c_str(), name.c_str()) == 0) return e.get();
    return nullptr;
}

int CPluginRegistry::GetEntry(int type, const std::string& name, PluginEntry** out) {
    if (!out || type < 0 || type > kMsgRedir) return 0;
    if (lists_[type].empty()) ReadValues(type);
    PluginEntry* e = FindEntry(lists_[type], name);
    if (!e) return 0;
    *out = e;
    return 1;
}

int CPluginRegistry::SetEntry(int type, const PluginEntry& entry) {
    if (type < 0 || type > kMsgRedir || entry.name.empty()) return 0;
    HKEY key = GetKey(type);
    if (!key) return 0;
    if (lists_[type].empty()) ReadValues(type);
    PluginEntry* e = FindEntry(lists_[type], entry.name);
    if (!e) {
        lists_[type].push_back(std::make_unique<PluginEntry>(entry));
        e = lists_[type].back().get();
        e->index = int(lists_[type].size()) - 1;
    } else {
        e->type = entry.type;
        e->text = entry.text;
        e->number = entry.number;
    }
    return WriteValue(key, *e);
}

int CPluginRegistry::WriteValue(HKEY key, const PluginEntry& entry) {
    if (!key) return 0;
    if (entry.type == REG_SZ)
        return RegSetValueExA(key, entry.name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const unsigned char*>(entry.text.c_str()),
                              DWORD(entry.text.size() + 1)) == ERROR_SUCCESS
                   ? 1
                   : 0;
    if (entry.type == REG_DWORD) return writeDword(key, entry.name.c_str(), entry.number) ? 1 : 0;
    return 0;
}

std::optional<uint32_t> CPluginRegistry::ReadRelayValue(const std::string& name) {
    if (!OpenKey(kMsgRedir)) return std::nullopt;
    return readDword(keys_[kMsgRedir], name.c_str());
}

bool CPluginRegistry::WriteRelayValue(const std::string& name, uint32_t value) {
    HKEY key = GetKey(kMsgRedir);
    return key && writeDword(key, name.c_str(), value);
}

int ReadRegistryDefaultText(HKEY root, const char* subKey, std::string* out) {
    Key k;
    if (!out || RegOpenKeyExA(root, subKey, 0, KEY_READ, &k.h) != ERROR_SUCCESS) return 0;
    unsigned char data[260];
    DWORD type = 0, size = sizeof data;
    if (RegQueryValueExA(k.h, "", nullptr, &type, data, &size) != ERROR_SUCCESS) return 0;
    if (type == REG_DWORD && size == 4) {
        uint32_t v;
        std::memcpy(&v, data, 4);
        *out = std::to_string(int32_t(v));
        return 1;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return 0;
    out->assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    return 1;
}

int IsUpgradeDone() {
    Key k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProductKey, 0, KEY_READ, &k.h) != ERROR_SUCCESS) return 0;
    const auto v = readDword(k.h, "UpgradeStatus");
    return v && (*v & 1) ? 1 : 0;
}

void ClearUpgradeDone() {
    Key k;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kProductKey, &k.h) != ERROR_SUCCESS) return;
    const auto v = readDword(k.h, "UpgradeStatus");
    writeDword(k.h, "UpgradeStatus", v ? *v & ~1u : 0);
}

void ReadServiceHost(std::string* out) {
    Key k;
    if (!out || RegOpenKeyExA(HKEY_CURRENT_USER, kProductKey, 0, KEY_READ, &k.h) != ERROR_SUCCESS) return;
    if (auto text = readText(k.h, "PSRE", 260)) *out = *text;
}

int ReadConfigHost(std::string* out) {
    Key k;
    const std::string path = std::string(kProductKey) + "ConfigPlugins";
    if (!out || RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k.h) != ERROR_SUCCESS) return 0;
    auto text = readText(k.h, "ConfHost", 260);
    if (!text) return 0;
    *out = *text;
    return 1;
}

int GetRelayExchangeFlag() {
    CPluginRegistry registry;
    const auto v = registry.ReadRelayValue("Exchange");
    return v ? int(*v) : 1;
}

int SetRelayExchangeFlag(int value) {
    if (value != 0 && GetRelayExchangeFlag() != 0) return 1;
    CPluginRegistry registry;
    return registry.WriteRelayValue("Exchange", uint32_t(value)) ? 1 : 0;
}

}  // namespace tess
