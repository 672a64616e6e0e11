#pragma once
// Translator classes: a translator may be a registered class instead of a library. A
// class id maps, in the registry, to the library that makes its objects:
//   HKCR "<ProgID>\CLSID"                     default: "{class id}"
//   HKCR "CLSID\{class id}\InprocServer32"    default: the library's path
// The library exports TessCreateInstance (below). Objects keep the interface's slot
// order: the three reference-counting slots, one more, then the two translations.
#include <stdint.h>

#include "platform/export.h"

#define IID_ITranslatorPlugin "{2504128C-1DFF-11D5-95F1-00B0D03EDC9B}"

// A byte string with its length kept in the four bytes before it.
typedef char* BSTR;
TESS_API BSTR SysAllocStringByteLen(const char* bytes, uint32_t length);  // null bytes: zero-filled
TESS_API void SysFreeString(BSTR text);
TESS_API uint32_t SysStringByteLen(BSTR text);

struct ITranslatorPlugin {
    virtual long QueryInterface(const char* iid, void** out) = 0;
    virtual unsigned long AddRef() = 0;
    virtual unsigned long Release() = 0;
    virtual long Reserved() = 0;
    virtual long TranslateFromOriginal(BSTR input, BSTR* output, void* context) = 0;
    virtual long TranslateToOriginal(BSTR input, BSTR* output, void* context) = 0;

protected:
    ~ITranslatorPlugin() = default;
};

// A class library's factory: 0 and a new object with one reference, else nonzero.
typedef int (*TessCreateInstanceFn)(const char* classId, const char* interfaceId, void** out);

namespace tess::translate::manager {
// Makes an object of the class named by a ProgID; 0 on success.
int CreateTranslatorObject(const char* progId, ITranslatorPlugin** out);
}  // namespace tess::translate::manager
