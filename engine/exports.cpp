// The engine's exports: each runs with the engine's language library as the source of
// its strings, on the module's one session.
#include "common/language_module.h"
#include "engine/settings_upgrade.h"
#include "engine/sync_session.h"
#include "engine/tidewater.h"

using tess::CLanguageModule;

namespace {
constexpr const char* kLanguageLibrary = "LKSYNCLANG.DLL";
}

TESS_API int SynchronizeMail(void*, SyncProperties* properties, HMODULE hosts[5], int lastHostIndex, int userId) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return tess::engine::Session().Run(properties, hosts, lastHostIndex, userId);
}

TESS_API int CreateIniFileSettings(int userId) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    tess::engine::Session().environment.reset();
    return tess::engine::CreateIniFileSettingsFor(tess::engine::Session(), userId);
}

TESS_API int UpgradeUserSettings(int userId, int storedVersion) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    tess::engine::Session().environment.reset();
    return tess::engine::UpgradeUserSettingsFor(tess::engine::Session(), userId, storedVersion);
}
