#include "relay/default_client.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/core/registry.h"
#include "relay/relay_util.h"

namespace tess::relay {

bool IsOutlookDefaultMailClient() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[260] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<uint8_t*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    std::string text;
    if (type == REG_DWORD) {
        int32_t v = 0;
        std::memcpy(&v, buffer, sizeof v);
        text = std::to_string(v);
    } else {
        text.assign(buffer, strnlen(buffer, sizeof buffer));
    }
    return LowerText(text).find("outlook.exe") != std::string::npos;
}

}  // namespace tess::relay
