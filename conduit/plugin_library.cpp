#include "conduit/plugin_library.h"

#include <strings.h>

#include <cstring>

#include <string>

#include "common/plugin_registry.h"
#include "platform/core/registry.h"

namespace tess::conduit {

PluginLibrary::PluginLibrary(const std::string& valueName, const std::string& path) : module_(path) {
    if (module_) name_ = valueName;
}

size_t PluginLibraryArray::LoadList(const char* listKey) {
    HKEY key = nullptr;
    const std::string path = std::string(kProductKey) + listKey;
    if (RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &key) != ERROR_SUCCESS) return items_.size();
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD nameSize = sizeof name;
        unsigned char data[1024];
        DWORD dataSize = sizeof data;
        DWORD type = REG_NONE;
        const LSTATUS rc = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        // A number, or a value too long to be a path, names no library.
        if (rc != ERROR_SUCCESS || type != REG_SZ || dataSize == 0) continue;
        std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), dataSize));
        auto library = std::make_unique<PluginLibrary>(std::string(name, nameSize), text);
        if (library->module()) items_.push_back(std::move(library));
    }
    RegCloseKey(key);
    return items_.size();
}

HMODULE PluginLibraryArray::Find(const char* valueName) const {
    for (const auto& item : items_)
        if (strcasecmp(item->name().c_str(), valueName) == 0) return item->module();
    return nullptr;
}

void PluginLibraryArray::Clear() { items_.clear(); }

}  // namespace tess::conduit
