// Filling the content type list from the registry's MIME database
// (HKEY_CLASSES_ROOT\MIME\Database\Content Type\<type>, value "Extension").
#include "hosts/inet/smtp_session.h"

#include "platform/core/registry.h"

namespace inet {

bool CContentTypeList::Load() {
    tried_ = true;
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type", 0, KEY_READ, &root) != ERROR_SUCCESS)
        return loaded_;
    for (DWORD index = 0;; ++index) {
        char name[129];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(root, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        unsigned char extension[261] = {};
        DWORD size = sizeof extension - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key, "Extension", nullptr, &type, extension, &size) == ERROR_SUCCESS && type == REG_SZ) {
            Add(name, reinterpret_cast<char*>(extension));
        }
        RegCloseKey(key);
    }
    RegCloseKey(root);
    return loaded_;
}

}  // namespace inet
