#include "common/registry_values.h"

#include <cstring>

namespace tess {

std::vector<KeyValue> ReadKeyValues(HKEY root, const std::string& path) {
    constexpr DWORD kMaxValueBytes = 128;
    std::vector<KeyValue> out;
    HKEY key = nullptr;
    if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[kMaxValueBytes];
        DWORD nameSize = sizeof name;
        unsigned char data[kMaxValueBytes];
        DWORD dataSize = sizeof data;
        DWORD type = REG_NONE;
        const LSTATUS rc = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        KeyValue v;
        v.name.assign(name, strnlen(name, nameSize));
        v.type = type;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            v.text.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), dataSize));
        } else if (type == REG_DWORD && dataSize == 4) {
            std::memcpy(&v.number, data, 4);
        } else if (type == REG_DWORD) {
            v.type = REG_NONE;
        }
        out.push_back(std::move(v));
    }
    RegCloseKey(key);
    return out;
}

}  // namespace tess
