// The relay configuration exports: the relay's users, the selected user's settings, key
// and filters, and the install-state flags in the registry.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <list>
#include <memory>
#include <new>
#include <optional>

#include <QApplication>

#include "common/language_module.h"
#include "common/plugin_registry.h"
#include "accounts/user_settings.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/user_manager.h"
#include "relaycfg/filter_match.h"
#include "platform/mapi/profiles.h"
#include "relaycfg/lanternby.h"
#include "relaycfg/settings_dialog.h"

using tess::relaycfg::RelayUserSettings;

using tess::CLanguageModule;
using tess::FilterMessage;
using tess::LoadLangString;
using tess::MessageFilter;

namespace {

using tess::CPluginRegistry;
using tess::accounts::CAccountSettings;
using tess::accounts::CRelaySettings;

constexpr uint32_t kInstalled = 0x1;
constexpr uint32_t kMailDue = 0x2;
constexpr uint32_t kFirstRun = 0x4;
constexpr uint32_t kLoaded = 0x40000000;
constexpr int kAccountVersion = 517;

enum : int {
    kOk = 0,
    kFailed = 1,
    kNoUser = 2,
    kNoDesktopUsers = 4,
    kNotForwarded = 5,
    kNoMemory = 6,
    kNotInitialised = 8,
    kTooManyFilters = 9,
    kBufferTooSmall = 10,
};

// One desktop user as the relay sees it.
struct RelayUser {
    std::unique_ptr<CRelaySettings> settings;
    int userId = 0;
    std::string name;
    std::string folder;
    int selected = 0;
    std::string mailHostName;
    std::string profileOrIdFile;
    std::string password;

    // Loads the relay settings and, when the relay is enabled, the account it serves.
    // A failed load keeps what the entry had.
    void Load() {
        settings->Load(userId, tess::accounts::kSectionRelay);
        if (!settings->enterprise || settings->account < 0) return;
        CAccountSettings account;
        if (!account.Load(userId, tess::accounts::kSectionOlder, kAccountVersion, settings->account)) return;
        mailHostName = account.hostName;
        profileOrIdFile = account.mapiProfile;
        password = account.password;
    }
};

struct ConfigApp {
    int initialised = 0;
    int relayUserId = 0;
    RelayUser* selectedUser = nullptr;
    std::unique_ptr<CUserMgr> userManager;
    std::list<std::unique_ptr<RelayUser>> users;
    std::string helpFile;

    ConfigApp() {
        char dir[260] = {};
        int size = sizeof dir;
        if (QuayGetSyncManagerDirectory(dir, &size) == 0) helpFile = std::string(dir) + "/Wayfarer.hlp";
        changeInstalled([](uint32_t v) { return v | kLoaded; });
    }
    ~ConfigApp() {
        selectedUser = nullptr;
        users.clear();
        changeInstalled([](uint32_t v) { return v & ~kLoaded; });
    }

    // Every change of "Installed" rewrites the whole word, and only when it exists.
    template <class F>
    static std::optional<uint32_t> changeInstalled(F change) {
        CPluginRegistry registry;
        const auto value = registry.ReadRelayValue("Installed");
        if (value) registry.WriteRelayValue("Installed", change(*value));
        return value;
    }
};

ConfigApp& app() {
    static ConfigApp instance;
    return instance;
}

// The module's state comes up with the library, so that the loaded bit is set at load.
[[maybe_unused]] const bool gLoaded = (app(), true);

// 0 when the calls that need a selected user may go on, else their code.
int needUser() {
    ConfigApp& a = app();
    if (!a.initialised) return kNotInitialised;
    if (!a.selectedUser) return kNoUser;
    return kOk;
}

}  // namespace

int ConfigInit(void) {
    ConfigApp& a = app();
    if (!a.userManager) {
        char folder[260] = {};
        int size = sizeof folder;
        if (RosterGetUserDataFolder(folder, &size) == 0) {
            std::string dir = folder;
            if (dir.empty() || dir.back() != '/') dir += '/';
            a.userManager.reset(new (std::nothrow) CUserMgr());
            if (a.userManager) a.userManager->SetDirectory(dir.c_str());
        }
    }
    if (!a.userManager) return kFailed;

    a.selectedUser = nullptr;
    a.users.clear();
    if (const auto user = CPluginRegistry().ReadRelayValue("User")) a.relayUserId = int(*user);

    CUser* user = nullptr;
    if (a.userManager->FindFirst(&user) != 0 || !user) return kNoDesktopUsers;
    int result = kOk;
    try {
        while (user) {
            auto entry = std::make_unique<RelayUser>();
            entry->settings = std::make_unique<CRelaySettings>();
            entry->userId = user->GetId();
            entry->name = user->GetName();
            entry->folder = std::string(a.userManager->GetDirectory()) + user->GetFolder();
            entry->Load();
            if (entry->settings->enterprise) {
                if (entry->userId == a.relayUserId) {
                    entry->selected = 1;
                    a.selectedUser = entry.get();
                }
                a.users.push_back(std::move(entry));
            }
            user = nullptr;
            if (a.userManager->FindNext(&user) != 0) break;
        }
    } catch (const std::bad_alloc&) {
        a.selectedUser = nullptr;
        a.users.clear();
        result = kNoMemory;
    }
    a.initialised = 1;
    if (!a.selectedUser && result == kOk) result = kNoUser;
    return result;
}

int ConfigUnInit(void) {
    ConfigApp& a = app();
    a.users.clear();
    a.selectedUser = nullptr;
    a.relayUserId = 0;
    a.initialised = 0;
    a.userManager.reset();
    return kOk;
}

int ConfigSetUp(void) {
    ConfigApp& a = app();
    if (!a.initialised) return kNotInitialised;
    // Without a screen nobody can choose: the dialog closes without a choice.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return kOk;
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    std::vector<RelayUser*> entries;
    std::vector<tess::relaycfg::SettingsUser> users;
    for (const auto& entry : a.users) {
        RelayUser* r = entry.get();
        entries.push_back(r);
        tess::relaycfg::SettingsUser u;
        u.name = r->name;
        u.selected = r->selected != 0;
        u.attachments = r->settings->attachments != 0;
        u.logInformational = r->settings->logInformational != 0;
        u.logDebug = r->settings->logDebug != 0;
        u.profile = r->profileOrIdFile;
        u.password = r->password;
        u.storeOptions = [r](bool attachments, bool informational, bool flipDebug) {
            r->settings->attachments = attachments;
            r->settings->logInformational = informational;
            if (flipDebug) r->settings->logDebug = !r->settings->logDebug;
            r->settings->Save(r->userId, tess::accounts::kSectionRelay);
        };
        u.storeAccount = [r](const std::string& profile, const std::string& password) {
            CAccountSettings account;
            if (r->settings->account >= 0 &&
                account.Load(r->userId, tess::accounts::kSectionOlder, kAccountVersion, r->settings->account)) {
                account.mapiProfile = profile;
                account.password = password;
                account.client = 5;
                account.hostName = LoadLangString(4073);
                account.Save(r->userId, tess::accounts::kSectionOlder, kAccountVersion, r->settings->account);
            }
            r->Load();
        };
        users.push_back(std::move(u));
    }
    std::vector<std::string> profiles;
    for (const auto& p : platform::mapi::loadProfiles()) profiles.push_back(p.name);
    const bool hadUser = a.selectedUser != nullptr;
    tess::relaycfg::ConfigSettingsDlg dialog(
        users, profiles, [] { ConfigApp::changeInstalled([](uint32_t v) { return v | kMailDue; }); });
    const int result = dialog.exec();
    if (result == 1) {
        if (dialog.chosen == 0 || (dialog.chosen > 0 && entries[size_t(dialog.chosen - 1)] != a.selectedUser)) {
            const int id = dialog.chosen == 0 ? 0 : entries[size_t(dialog.chosen - 1)]->userId;
            CPluginRegistry().WriteRelayValue("User", uint32_t(id));
            const int rc = ConfigInit();
            return rc == kOk ? 3 : rc;
        }
        if (!hadUser && dialog.current < 0) return kNoUser;
        return dialog.changed ? 12 : kOk;
    }
    if (result == 2) return dialog.changed ? 12 : 11;
    return kOk;
}

int ConfigGetUserSettings(RelayUserSettings** settings) {
    if (const int rc = needUser()) return rc;
    if (!settings) return kFailed;
    RelayUser& u = *app().selectedUser;
    u.Load();
    auto* record = new (std::nothrow) RelayUserSettings{};
    if (!record) return kNoMemory;
    record->profileOrIdFile = u.profileOrIdFile;
    record->password = u.password;
    record->emailAddress = u.settings->networkName;
    record->userFolder = u.folder;
    record->userId = u.userId;
    record->mailSubsystem = tess::GetRelayExchangeFlag();
    record->reserved = 0;
    *settings = record;
    return kOk;
}

int ConfigFreeUserSettings(RelayUserSettings** settings) {
    if (!settings || !*settings) return kFailed;
    delete *settings;
    *settings = nullptr;
    return kOk;
}

int ConfigGetSecurityKey(char** buffer, int* length) {
    if (const int rc = needUser()) return rc;
    if (!buffer || !*buffer || !length) return kFailed;
    RelayUser& u = *app().selectedUser;
    u.Load();
    const std::string& key = u.settings->securityKey;
    // The terminator needs a byte of its own within the size given.
    if (*length < 0 || size_t(*length) < key.size() + 1) return kBufferTooSmall;
    std::memcpy(*buffer, key.c_str(), key.size() + 1);
    *length = int(key.size());
    return kOk;
}

int ConfigIsNewKeyPresent(void) {
    const auto v = CPluginRegistry().ReadRelayValue("NewKey");
    return v && *v ? 1 : 0;
}

int ConfigTurnOffNewKey(void) { return CPluginRegistry().WriteRelayValue("NewKey", 0) ? 1 : 0; }

int ConfigSetFilters(short count, MessageFilter** filters) {
    if (const int rc = needUser()) return rc;
    CRelaySettings& s = *app().selectedUser->settings;
    if (!filters && count == 0) {
        s.useFilters = 0;
        s.Save(app().selectedUser->userId, tess::accounts::kSectionRelay);
        s.DeleteFilters(app().selectedUser->userId, tess::accounts::kSectionRelay);
        return kOk;
    }
    // A call that gives no filters leaves filtering as it was.
    if (!filters || !filters[0] || count <= 0) return kFailed;
    s.useFilters = 1;
    const int taken = std::min<int>(count, tess::accounts::kMaxRelayFilters);
    s.SetFilters(taken, filters);
    s.Save(app().selectedUser->userId, tess::accounts::kSectionRelay);
    return count > tess::accounts::kMaxRelayFilters ? kTooManyFilters : kOk;
}

int ConfigPassFilter(FilterMessage* message) {
    if (const int rc = needUser()) return rc;
    if (!message) return kFailed;
    const CRelaySettings& s = *app().selectedUser->settings;
    const int count = std::clamp<int>(s.filterCount, 0, tess::accounts::kMaxRelayFilters);
    if (!s.useFilters || count == 0) return kOk;
    return tess::relaycfg::MatchMessageFilters(*message, std::span(s.filters, size_t(count)), std::time(nullptr))
               ? kOk
               : kNotForwarded;
}

int ConfigSendEmail(void) {
    int result = 0;
    const auto v = ConfigApp::changeInstalled([&](uint32_t value) {
        if (!(value & kMailDue)) return value;
        result = 1;
        return value & (kInstalled | kLoaded);
    });
    return v ? result : 1;
}

int ConfigResetSendMail(void) {
    return ConfigApp::changeInstalled([](uint32_t v) { return v | kMailDue; }) ? 1 : 0;
}

int ConfigSetUserEmail(const char* address) {
    if (const int rc = needUser()) return rc;
    if (!address || !*address) return kFailed;
    RelayUser& u = *app().selectedUser;
    if (!u.settings) return kNoMemory;
    u.settings->networkName = address;
    return u.settings->Save(u.userId, tess::accounts::kSectionRelay) ? kOk : kNoMemory;
}

int ConfigUseAttachments(void) {
    if (const int rc = needUser()) return rc;
    return app().selectedUser->settings->attachments;
}

int ConfigGetLoggingOpt(char* out) {
    if (const int rc = needUser()) return rc;
    if (!out) return kFailed;
    const CRelaySettings& s = *app().selectedUser->settings;
    *out = char((s.logInformational ? 1 : 0) | (s.logDebug ? 2 : 0));
    return kOk;
}

int ConfigFirstRun(void) {
    uint32_t bit = 0;
    ConfigApp::changeInstalled([&](uint32_t v) {
        bit = v & kFirstRun;
        return v & ~kFirstRun;
    });
    return int(bit);
}

int ConfigDoSuicide(void) {
    const auto v = CPluginRegistry().ReadRelayValue("Installed");
    return !v || !(*v & kInstalled) ? 1 : 0;
}
