// The engine's configuration exports: opening the configuration window for a user, the
// outside account wizard's selection file, the desktop's mail profiles for the wizard and
// the document translator's registration.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/language_module.h"
#include "common/password_scrambler.h"
#include "common/plugin_registry.h"
#include "engine/config_exports.h"
#include "engine/engine_log.h"
#include "engine/mail_client_set.h"
#include "engine/settings_upgrade.h"
#include "engine/sync_session.h"
#include "engine/tidewater.h"
#include "platform/ui/ui_service.h"
#include "translate/manager/hollowmere.h"

using tess::CLanguageModule;

namespace {
constexpr const char* kLanguageLibrary = "LKSYNCLANG.DLL";
}

namespace tess::engine {
namespace {

constexpr int kFlagsMask = int(0xFF000000);

std::string SyncManagerDirectory() {
    char buf[260];
    int size = sizeof buf;
    if (QuayGetSyncManagerDirectory(buf, &size) != SYNC_OK) return {};
    return buf;
}

std::string Trimmed(const char* text) {
    std::string s = text ? text : "";
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

// The profile list the wizard reads by position: filled by LarkspurGetProfileCount.
struct ProfileList {
    bool read = false;
    std::vector<std::string> names;  // the profiles, without the "not selected" entry
};
ProfileList& Profiles() {
    static ProfileList list;
    return list;
}

int AskSystemModal(int textId, unsigned type, int secondTextId = 0) {
    std::string text = Str(textId);
    if (secondTextId) text += Str(secondTextId);
    return platform::ui::messageBox(text, Str(4145), type);
}

}  // namespace

int ConfigureUser(CSyncSession& s, int userId) {
    s.userId = userId;
    s.ReadConduitVersion();
    tess::accounts::CGeneralSettings general;
    general.SetDefaults();
    const bool haveSettings = general.Load(userId, StrOr(4048, "Larkspur").c_str(), 0, kFlagsMask) != 0;
    if (!haveSettings) {
        if (AskSystemModal(4144, MB_YESNO | MB_ICONINFORMATION) != IDYES) return 1;
        if (CreateIniFileSettingsFor(s, userId) != 0) {
            AskSystemModal(4467, MB_OK | MB_ICONWARNING);
            return 1;
        }
    } else if (s.storedDataVersion != int(kDataVersion)) {
        if (AskSystemModal(4461, MB_OKCANCEL | MB_ICONINFORMATION, 4462) != IDOK) return 1;
        UpgradeUserSettingsFor(s, userId, s.storedDataVersion);
    }
    std::string path;
    if (tess::ReadConfigHost(&path) && !path.empty()) {
        if (HMODULE library = LoadLibraryA(path.c_str())) {
            using ConfigureFn = int (*)(int);
            auto configure = reinterpret_cast<ConfigureFn>(GetProcAddress(library, "Configure"));
            if (configure) configure(userId);
            FreeLibrary(library);
            if (configure) return 0;
        }
    }
    AskSystemModal(4369, MB_OK | MB_ICONINFORMATION);
    return 1;
}

int SaveUserSelection(int mailSystem, const char* text1, const char* text2, const char* text3, int number) {
    const std::string dir = SyncManagerDirectory();
    if (dir.empty()) return 0;
    const std::string password = Trimmed(text2);
    const std::string line = std::string(text1 ? text1 : "") + '\x01' +
                             (password.empty() ? std::string() : tess::ScramblePassword(password)) + '\x01' +
                             (text3 ? text3 : "") + '\x01' + std::to_string(number < 1 ? 25 : number);
    std::ofstream out(std::filesystem::path(dir) / "LKHELP.dat", std::ios::binary | std::ios::trunc);
    out << line;
    if (!out.flush()) return 0;
    out.close();
    tess::SetRelayExchangeFlag(mailSystem);
    return 1;
}

std::string UserSelectionPath() {
    const std::string dir = SyncManagerDirectory();
    return dir.empty() ? std::string() : (std::filesystem::path(dir) / "LKHELP.dat").string();
}

SelectionRead ReadUserSelectionFile(UserSelection* out, std::string* problem) {
    const std::string path = UserSelectionPath();
    if (path.empty()) return SelectionRead::kNone;
    std::ifstream in(path, std::ios::binary);
    if (!in) return SelectionRead::kNone;
    std::string text;
    char buf[1024];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, size_t(in.gcount()));
        if (text.size() > kSelectionMaxSize) break;  // damaged; no need to read more
    }
    if (in.bad()) {
        if (problem) *problem = "it cannot be read";
        return SelectionRead::kDamaged;
    }
    in.close();
    const SelectionRead read = ParseUserSelection(text, out, problem);
    if (read != SelectionRead::kDamaged) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    return read;
}

int ProfileCount(int* count) {
    if (!count) return 0;
    ProfileList& list = Profiles();
    list = {};
    std::vector<std::string> names;
    int defaultIndex = 0;
    if (CMailClientSet::GetMapiProfileNames(names, defaultIndex) != 0) {
        *count = 0;
        return 0;
    }
    // Entry 0 is the "not selected" choice of the configuration window, not a profile.
    if (!names.empty()) names.erase(names.begin());
    list.read = true;
    list.names = std::move(names);
    *count = int(list.names.size());
    return 1;
}

int ProfileAt(int index, char* buffer, int size) {
    const ProfileList& list = Profiles();
    if (!list.read || index < 1 || index > int(list.names.size()) || !buffer || size < 1) return 0;
    const std::string& name = list.names[size_t(index - 1)];
    if (name.size() + 1 > size_t(size)) return 0;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return 1;
}

int RegisterDocumentTranslator() {
    // Each text in a buffer of its own, as the registration record's owner keeps them.
    char name[128] = "PrismaticaDLL", display[128] = "Prismatica Leafcarry", library[128] = "Quillmere.dll",
         from[128] = "doc,xls,ppt", to[128] = "pdb,pdb,pdb", maker[128] = "Prismatica Inc.";
    const TranslatorInstallRecord record{1, name, display, library, from, to, maker};
    return InstallPlugin(&record) == 0 ? 0 : 1;
}

}  // namespace tess::engine

TESS_API int ConfigureLarkspur(int userId) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    tess::engine::Session().environment.reset();
    return tess::engine::ConfigureUser(tess::engine::Session(), userId);
}

TESS_API int LarkspurSaveUserSelection(int mailSystem, const char* text1, const char* text2, const char* text3,
                                       int number) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return tess::engine::SaveUserSelection(mailSystem, text1, text2, text3, number);
}

TESS_API int LarkspurGetProfileCount(int* count) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return tess::engine::ProfileCount(count);
}

TESS_API int LarkspurGetProfileAt(int index, char* buffer, int size) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return tess::engine::ProfileAt(index, buffer, size);
}

TESS_API int LarkspurConfigurePrismatica() {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return tess::engine::RegisterDocumentTranslator();
}
