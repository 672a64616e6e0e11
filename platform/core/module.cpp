#include "platform/core/module.h"

#include <dlfcn.h>

#include <cctype>
#include <cstdlib>

#include "platform/core/runtime.h"

#ifdef TESS_KEEP_MODULES_LOADED
// Defined only by the fuzz targets (tests/fuzz/keep_modules_loaded.cpp): the fuzzer keeps
// pointers into every loaded module's coverage counters, so there a module must stay
// mapped after its last FreeLibrary. The unit tests of the same build leave it undefined
// and load and unload modules as the product does.
extern "C" __attribute__((weak, visibility("default"))) const int TessKeepModulesLoaded;
#endif

namespace platform {

static bool endsWithNoCase(const std::string& s, const char* suffix) {
    const std::string tail(suffix);
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) !=
            std::tolower(static_cast<unsigned char>(tail[i])))
            return false;
    }
    return true;
}

std::string resolveModulePath(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return name;
    std::string file = name;
    if (endsWithNoCase(name, ".dll"))
        file = "lib" + name.substr(0, name.size() - 4) + ".so";
    else if (name.find('.') == std::string::npos)
        file = "lib" + name + ".so";  // "X" means "X.dll"
    return (moduleDir() / file).string();
}

}  // namespace platform

HMODULE LoadLibraryA(const char* name) {
    if (!name || !*name) return nullptr;
    const std::string path = platform::resolveModulePath(name);
    int flags = RTLD_NOW | RTLD_LOCAL;
#ifdef TESS_KEEP_MODULES_LOADED
    if (&TessKeepModulesLoaded != nullptr) flags |= RTLD_NODELETE;
#endif
    return static_cast<HMODULE>(dlopen(path.c_str(), flags));
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (!module || !name) return nullptr;
    void* sym = dlsym(static_cast<void*>(module), name);
    // Object and function pointers share one representation on this platform.
    FARPROC fn = nullptr;
    static_assert(sizeof(fn) == sizeof(sym));
    __builtin_memcpy(&fn, &sym, sizeof(fn));
    return fn;
}

int FreeLibrary(HMODULE module) {
    if (!module) return 0;
    return dlclose(static_cast<void*>(module)) == 0 ? 1 : 0;
}

HGLOBAL GlobalAlloc(unsigned /*flags*/, size_t bytes) {
    // Always zeroed: callers that forget GMEM_ZEROINIT get defined contents anyway.
    return std::calloc(bytes ? bytes : 1, 1);
}

HGLOBAL GlobalFree(HGLOBAL mem) {
    std::free(mem);
    return nullptr;
}
