#pragma once
// The language resource scope: holds a module's outside language library (its string
// catalogue) for one export call and makes it the library strings are loaded from; the
// previous one is back on every exit path.
#include <string>

#include "platform/core/module.h"

namespace tess {

class CLanguageModule {
public:
    // Loads the library through the sync manager's language loader and makes it current
    // for this thread. A library that cannot be loaded leaves languageModule null, and
    // strings then load empty.
    CLanguageModule(const char* libraryName, HINSTANCE ownerInstance);
    ~CLanguageModule();
    CLanguageModule(const CLanguageModule&) = delete;
    CLanguageModule& operator=(const CLanguageModule&) = delete;

    HINSTANCE languageModule() const { return languageModule_; }
    HINSTANCE ownerInstance() const { return ownerInstance_; }

private:
    HINSTANCE languageModule_ = nullptr;
    HINSTANCE ownerInstance_ = nullptr;
    HINSTANCE previous_ = nullptr;
};

// String id from the library current on this thread (Windows-1252); empty when there is
// none or it lacks the id.
std::string LoadLangString(unsigned id);
// The library strings come from on this thread (null outside any scope).
HINSTANCE CurrentLanguageModule();

}  // namespace tess
