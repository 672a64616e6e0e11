#include "common/language_module.h"

#include <vector>

#include "platform/syncmgr/syncmgr.h"

namespace tess {

namespace {
thread_local HINSTANCE tCurrent = nullptr;
}

CLanguageModule::CLanguageModule(const char* libraryName, HINSTANCE ownerInstance) : ownerInstance_(ownerInstance) {
    uint32_t slot = 0;
    languageModule_ = LanguageLoadLibrary(libraryName, ownerInstance, &slot);
    previous_ = tCurrent;
    tCurrent = languageModule_;
}

CLanguageModule::~CLanguageModule() {
    tCurrent = previous_;
    if (languageModule_) LanguageFreeLibrary(languageModule_, ownerInstance_);
}

HINSTANCE CurrentLanguageModule() { return tCurrent; }

std::string LoadLangString(unsigned id) {
    if (!tCurrent) return {};
    std::vector<char> buf(1024);
    for (;;) {
        const int n = LanguageLoadString(tCurrent, id, buf.data(), static_cast<int>(buf.size()));
        if (n < static_cast<int>(buf.size()) - 1 || buf.size() >= (1u << 20))
            return std::string(buf.data(), n > 0 ? n : 0);
        buf.resize(buf.size() * 4);  // cut: ask again with more room
    }
}

}  // namespace tess
