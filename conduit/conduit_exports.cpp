// The conduit's exports: its name and information, the synchronisation road and the
// configuration road.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "conduit/gatehouse.h"
#include "conduit/plugin_library.h"
#include "platform/core/os.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"

namespace tess::conduit {
namespace {

constexpr uint32_t kCreatorMail = 0x61736333;  // 'asc3'
constexpr const char* kEngineName = "Tidewater";
constexpr const char* kHostNames[GATEHOUSE_HOST_COUNT] = {"Copperfen", "Thistledown", "Briarholt", "Heronwick",
                                                          "Fenwick"};
constexpr int kStringProduct = 10010;
constexpr int kStringNoEngine = 10014;
// The sync action dialog.
constexpr int kStringOk = 10015;
constexpr int kStringCancel = 10016;
constexpr int kStringConfigure = 10018;
constexpr int kStringActionGroup = 10019;
constexpr int kStringSynchronise = 10020;
constexpr int kStringAsDefault = 10021;
constexpr int kStringDoNothing = 10022;
constexpr int kStringActionCaption = 10023;
constexpr int kStringHelp = 10017;
constexpr int kStringHelpPath = 10024;

constexpr int kActionSynchronise = 0;
constexpr int kActionDoNothing = 6;

// The module's own strings, used when the language library has none.
const char* OwnString(int id) {
    switch (id) {
    case kStringProduct: return "Larkspur Deluxe";
    case kStringOk: return "OK";
    case kStringCancel: return "Annulla";
    case kStringConfigure: return "Configura account...";
    case kStringActionGroup: return "Operazione Tallyhop per Tessaline";
    case kStringSynchronise: return "Sincronizza account attivi";
    case kStringAsDefault: return "Imposta &come predefinito";
    case kStringDoNothing: return "Nessuna operazione";
    case kStringActionCaption: return "Operazione Tallyhop per Tessaline (TM)";
    case kStringHelp: return "Guida";
    case kStringHelpPath: return "%s/LKConduit.hlp";
    case kStringNoEngine:
        return "Impossibile trovare la libreria Tessaline Sync per configurare gli account Tessaline. Verificare "
               "che il conduttore di Tessaline sia installato sul computer in uso.";
    default: return "";
    }
}

// Strings come from the language library "LKCNLANG.DLL" while an export runs.
class LanguageScope {
public:
    LanguageScope() : library_(LanguageLoadLibrary("LKCNLANG.DLL", nullptr, nullptr)) {}
    ~LanguageScope() {
        if (library_) LanguageFreeLibrary(library_, nullptr);
    }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

    std::string String(int id) const {
        char buffer[1024];
        if (library_ && LanguageLoadString(library_, static_cast<unsigned>(id), buffer, sizeof buffer) > 0)
            return buffer;
        return OwnString(id);
    }

private:
    HINSTANCE library_;
};

// The parent folder of the last element of the path, without a trailing separator.
std::string UserFolderOf(const char* path) {
    std::string p(path, strnlen(path, sizeof(SyncProperties::path)));
    if (p.empty()) return p;
    if (p.back() == '/') p.pop_back();
    const size_t cut = p.rfind('/');
    if (cut != std::string::npos) p.erase(cut + 1);
    if (!p.empty() && p.back() == '/') p.pop_back();
    return p;
}

// The engine's account configuration for the user; false (after telling the user) when
// the engine or its configuration export cannot be found.
bool RunConfiguration(const LanguageScope& language, int userId, int* result) {
    PluginLibraryArray sync;
    sync.LoadList("MsgSyncPlugins");
    HMODULE engine = sync.Find(kEngineName);
    auto configure =
        engine ? reinterpret_cast<ConfigureLarkspurFn>(GetProcAddress(engine, "ConfigureLarkspur")) : nullptr;
    if (!configure) {
        platform::ui::messageBox(language.String(kStringNoEngine), language.String(kStringProduct), MB_ICONINFORMATION);
        *result = -1;
        return false;
    }
    *result = configure(userId);
    return true;
}

// The help file beside the sync manager: opened by the desktop's file opener when it is
// there, otherwise the user is told that it is missing.
void ShowHelp(const LanguageScope& language) {
    char dir[260];
    int size = sizeof dir;
    if (QuayGetSyncManagerDirectory(dir, &size) != SYNC_OK) dir[0] = 0;
    const std::string pattern = language.String(kStringHelpPath);
    char path[600];
    std::snprintf(path, sizeof path, pattern.c_str(), dir);
    struct stat st {};
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode) && platform::openWithDesktop(path)) return;
    platform::ui::messageBox(std::string("Il file della guida non \xe8 disponibile:\n") + path,
                             language.String(kStringProduct), MB_OK | MB_ICONINFORMATION);
}

// The user's choice for the next synchronisations: synchronise or do nothing, once or as
// the default, with a way into the account configuration. True on OK.
bool ShowSyncActionDialog(const LanguageScope& language, int userId, int preset, bool* doNothing, bool* asDefault) {
    // A string of the language library and the control that shows it.
    auto text = [&](int stringId, int controlId) {
        return platform::ui::ChoiceForm::Text{language.String(stringId), controlId};
    };
    platform::ui::ChoiceForm form;
    form.caption = language.String(kStringActionCaption);
    form.group = text(kStringActionGroup, 1003);
    form.options = {text(kStringSynchronise, 1004), text(kStringDoNothing, 1005)};
    // The pictures beside the two choices only show what each does.
    form.pictures = {{platform::ui::FormPicture::DeviceSync, 1010}, {platform::ui::FormPicture::DeviceIdle, 1011}};
    form.choice = preset == kActionDoNothing ? 1 : 0;
    form.check = text(kStringAsDefault, 1008);
    form.ok = text(kStringOk, IDOK);
    form.cancel = text(kStringCancel, IDCANCEL);
    // The account configuration may run a message loop of its own; a second press while
    // it runs starts nothing.
    bool busy = false;
    form.actions.push_back({text(kStringConfigure, 1006),
                            [&] {
                                if (busy) return;
                                busy = true;
                                int ignored = 0;
                                RunConfiguration(language, userId, &ignored);
                                busy = false;
                            },
                            true});
    form.actions.push_back({text(kStringHelp, 1007), [&] { ShowHelp(language); }, false});
    if (platform::ui::current().choose(form) != IDOK) return false;
    *doNothing = form.choice == 1;
    *asDefault = form.checked;
    return true;
}

// The action a sync preference stands for: 0 synchronise, 6 do nothing; -1 another value.
int ActionOf(int preference) { return preference == 0 ? 0 : preference == 3 ? 6 : -1; }

}  // namespace
}  // namespace tess::conduit

using namespace tess::conduit;

int GetMFCVersion(void) { return 0x600; }

int GetConduitVersion(void) { return 0x200; }

int GetConduitName(char* buffer, uint16_t size) {
    LanguageScope language;
    const std::string name = language.String(kStringProduct);
    if (name.empty()) return -1;
    if (!buffer || size == 0) return 0;
    const size_t n = std::min<size_t>(name.size(), size - 1u);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return 0;
}

int GetConduitInfo(int infoType, const uint32_t* in, void* out, uint32_t* size) {
    if (!out) return CONDUIT_INFO_NO_OUT;
    if (!size) return CONDUIT_INFO_NO_SIZE;
    switch (infoType) {
    case 0:
        if (!in) return CONDUIT_INFO_NO_IN;
        if (in[0] != 1 || in[1] != 0x50) return CONDUIT_INFO_BAD_IN;
        return GetConduitName(static_cast<char*>(out), static_cast<uint16_t>(*size & 0xFFFF)) == 0
                   ? 0
                   : CONDUIT_INFO_NO_NAME;
    case 1:
    case 2: {
        if (*size != 4) return CONDUIT_INFO_BAD_SIZE;
        const uint32_t value = infoType == 1 ? 0x600u : 0u;
        std::memcpy(out, &value, 4);
        return 0;
    }
    default: return CONDUIT_INFO_BAD_TYPE;
    }
}

int OpenConduit(void* progress, SyncProperties* properties) {
    LanguageScope language;
    ConduitLoader loader;
    const std::string folder = properties ? UserFolderOf(properties->path) : std::string();
    int userId = 0;
    if (!properties || RosterUserIdFromDirectory(folder.c_str(), &userId) != SYNC_OK) return GATEHOUSE_NO_USER;
    if (loader.hosts.LoadList("MsgHostPlugins") == 0) return GATEHOUSE_NO_HOSTS;
    if (loader.sync.LoadList("MsgSyncPlugins") == 0) return GATEHOUSE_NO_SYNC;
    HMODULE hosts[GATEHOUSE_HOST_COUNT] = {};
    for (int i = 0; i < GATEHOUSE_HOST_COUNT; ++i) hosts[i] = loader.hosts.Find(kHostNames[i]);
    HMODULE engine = loader.sync.Find(kEngineName);
    auto synchronize =
        engine ? reinterpret_cast<SynchronizeMailFn>(GetProcAddress(engine, "SynchronizeMail")) : nullptr;
    if (!synchronize) return GATEHOUSE_NO_ENGINE;
    return synchronize(progress, properties, hosts, GATEHOUSE_HOST_COUNT - 1, userId);
}

int SetupMail(int userId, int) {
    LanguageScope language;
    ConduitLoader loader;
    int result = -1;
    RunConfiguration(language, userId, &result);
    return result;
}

int ConfigureConduit(ConduitActionPrefs* prefs) {
    LanguageScope language;
    int userId = 0;
    if (!prefs || RosterUserIdFromActionPrefs(prefs, &userId) != SYNC_OK) return -1;
    bool doNothing = false, asDefault = false;
    if (ShowSyncActionDialog(language, userId, prefs->action, &doNothing, &asDefault)) {
        prefs->action = doNothing ? kActionDoNothing : kActionSynchronise;
        prefs->defaultFlag = asDefault ? 1 : 2;
    }
    return 0;
}

int CfgConduit(int, ConduitConfigInfo* info, uint32_t*) {
    if (!info) return -1;
    LanguageScope language;
    int result = -1;
    if (!RunConfiguration(language, info->userId, &result)) return result;
    int permanent = -1, temporary = -1;
    RosterGetPermanentAction(info->userId, kCreatorMail, &permanent);
    RosterGetNextAction(info->userId, kCreatorMail, &temporary);
    // The permanent preference first; the temporary one only when that changed nothing.
    const int fromPermanent = ActionOf(permanent);
    if (fromPermanent != -1 && info->permanentAction != fromPermanent) {
        info->changedPreference = 1;
        info->newAction = fromPermanent;
    } else if (const int fromTemporary = ActionOf(temporary);
               fromTemporary != -1 && info->temporaryAction != fromTemporary) {
        info->changedPreference = 2;
        info->newAction = fromTemporary;
    }
    return result;
}
