#include "translate/manager/translator_class.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/module.h"
#include "platform/core/registry.h"

BSTR SysAllocStringByteLen(const char* bytes, uint32_t length) {
    auto* block = static_cast<char*>(std::calloc(1, sizeof(uint32_t) + length + 2));
    if (!block) return nullptr;
    std::memcpy(block, &length, sizeof length);
    if (bytes) std::memcpy(block + sizeof length, bytes, length);
    return block + sizeof length;
}

void SysFreeString(BSTR text) {
    if (text) std::free(text - sizeof(uint32_t));
}

uint32_t SysStringByteLen(BSTR text) {
    uint32_t length = 0;
    if (text) std::memcpy(&length, text - sizeof length, sizeof length);
    return length;
}

namespace tess::translate::manager {
namespace {

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
bool IsClassId(const std::string& s) {
    if (s.size() != 38 || s.front() != '{' || s.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

bool DefaultValue(const std::string& key, std::string* out) {
    char buffer[260] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    HKEY k = nullptr;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), &k) != ERROR_SUCCESS) return false;
    const LSTATUS rc = RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<unsigned char*>(buffer), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    out->assign(buffer, strnlen(buffer, sizeof buffer));
    return true;
}

}  // namespace

int CreateTranslatorObject(const char* progId, ITranslatorPlugin** out) {
    if (!progId || !out) return 1;
    std::string classId, library;
    if (!DefaultValue(std::string(progId) + "\\CLSID", &classId)) return 1;
    classId = classId.substr(0, 38);
    if (!IsClassId(classId) || !DefaultValue("CLSID\\" + classId + "\\InprocServer32", &library)) return 1;
    // Like the plug-in libraries, a class's library stays loaded.
    HMODULE module = LoadLibraryA(library.c_str());
    auto create =
        module ? reinterpret_cast<TessCreateInstanceFn>(GetProcAddress(module, "TessCreateInstance")) : nullptr;
    void* object = nullptr;
    if (!create || create(classId.c_str(), IID_ITranslatorPlugin, &object) != 0 || !object) return 1;
    *out = static_cast<ITranslatorPlugin*>(object);
    return 0;
}

}  // namespace tess::translate::manager
