#pragma once
// Modules and the global heap as the product's callers expect them, over dlopen.
// "X.dll" (any case) and a bare "X" are libX.so in the module directory; another file name
// ("libX.so") is looked up there as it stands; a name with '/' is used as given.
// Libraries load with RTLD_LOCAL so that the hosts' identical export names never meet.
#include <cstddef>
#include <string>

#include "platform/export.h"

typedef struct ModuleObject* HMODULE;
typedef HMODULE HINSTANCE;
typedef void* HGLOBAL;
typedef void (*FARPROC)();

#define GMEM_FIXED 0x0000u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

TESS_API HMODULE LoadLibraryA(const char* name);
TESS_API FARPROC GetProcAddress(HMODULE module, const char* name);
TESS_API int FreeLibrary(HMODULE module);
TESS_API HGLOBAL GlobalAlloc(unsigned flags, size_t bytes);
TESS_API HGLOBAL GlobalFree(HGLOBAL mem);  // null on success, as callers test

namespace platform {
// The file a module name resolves to (exposed for tests and diagnostics).
TESS_EXPORT std::string resolveModulePath(const std::string& name);

// A module loaded for as long as its holder lives, freed also when a call into it throws.
// An empty name loads nothing.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& name) : module_(name.empty() ? nullptr : LoadLibraryA(name.c_str())) {}
    ~LoadedModule() {
        if (module_) FreeLibrary(module_);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    explicit operator bool() const { return module_ != nullptr; }
    // The handle, for callers that hand the module on; it stays the holder's to free.
    HMODULE handle() const { return module_; }
    // Null when the module is not loaded or lacks the export.
    template <typename Fn>
    Fn Bind(const char* name) const {
        return module_ ? reinterpret_cast<Fn>(GetProcAddress(module_, name)) : nullptr;
    }

private:
    HMODULE module_;
};
}  // namespace platform
