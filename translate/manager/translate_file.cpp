// One translation through a plug-in library or a registered translator class.
#include <cstring>
#include <string>

#include "platform/core/module.h"
#include "translate/manager/hollowmere.h"
#include "translate/manager/plugin_store.h"
#include "translate/manager/translator_class.h"

using platform::mfc::CString;

using namespace tess::translate::manager;

namespace {

constexpr size_t kPathBytes = 260;

int ThroughLibrary(const std::string& component, const char* input, CString* output, void* context, int fromOriginal) {
    // Plug-in libraries stay loaded for the life of the process.
    HMODULE module = LoadLibraryA(component.c_str());
    if (!module) return 8;
    auto translate = reinterpret_cast<TranslateFileFn>(
        GetProcAddress(module, fromOriginal ? "TranslateFromOriginal" : "TranslateToOriginal"));
    if (!translate) return 8;
    char path[kPathBytes] = {};
    if (translate(input, path, context) != 0) return 4;
    path[kPathBytes - 1] = '\0';
    if (!path[0]) return 4;
    *output = path;
    return 0;
}

int ThroughClass(const std::string& progId, const char* input, CString* output, void* context, int fromOriginal) {
    ITranslatorPlugin* object = nullptr;
    if (CreateTranslatorObject(progId.c_str(), &object) != 0) return 8;
    BSTR in = SysAllocStringByteLen(input, static_cast<uint32_t>(std::strlen(input)));
    BSTR out = SysAllocStringByteLen(nullptr, kPathBytes);
    int rc = 8;
    if (in && out) {
        if (fromOriginal)
            object->TranslateFromOriginal(in, &out, context);
        else
            object->TranslateToOriginal(in, &out, context);
        const std::string text = out ? std::string(out, strnlen(out, SysStringByteLen(out))) : std::string();
        rc = text.empty() ? 4 : 0;
        if (rc == 0) *output = text;
    }
    object->Release();
    SysFreeString(in);
    SysFreeString(out);
    return rc;
}

}  // namespace

int _TranslateFile(const char* plugin, const char* input, CString* output, void* context, int fromOriginal) {
    if (!plugin || !input || !context || !output) return 1;
    const std::string component = Store().Text(plugin, "Component");
    if (component.empty()) return 4;
    if (Lower(component).find(".dll") != std::string::npos)
        return ThroughLibrary(component, input, output, context, fromOriginal);
    return ThroughClass(component, input, output, context, fromOriginal);
}
