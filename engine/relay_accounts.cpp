// Accounts served by the desktop relay: their relay settings, their security key and the
// desktop profile the relay reaches them through.
#include <spawn.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/sealing_coder.h"
#include "common/sync_report.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "engine/config_exports.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"

namespace tess::engine {

using tess::accounts::ByteView;

// Starts the relay program (4220, "Wayfarer.exe": here the program "wayfarer") found in
// the sync manager's directory, detached; a relay already running refuses the second.
static void StartRelayProgram() {
    char dir[1024];
    int size = sizeof dir;
    if (QuayGetSyncManagerDirectory(dir, &size) != 0) return;
    std::string name = Str(4220);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
    for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    const std::string program = std::string(dir) + "/" + name;
    if (::access(program.c_str(), X_OK) != 0) return;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    posix_spawn(&pid, program.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
}

// The account wizard's selection, read once: true when it names a profile. A damaged
// selection file is left for the user and said so; the account keeps to the default.
static bool TakeWizardSelection(UserSelection& chosen) {
    std::string problem;
    switch (ReadUserSelectionFile(&chosen, &problem)) {
    case SelectionRead::kFound: return true;
    case SelectionRead::kNone: return false;
    case SelectionRead::kDamaged: break;
    }
    const std::string line = "The account wizard's selection file " + UserSelectionPath() +
                             " cannot be used: " + problem +
                             ". It was left as it is; run the wizard again to replace it.";
    SyncLine(line, kActivityError);
    Debug(line);
    return false;
}

// The security key of an account served by the desktop relay: the handheld's own in
// business mode, the stored one while both sides hold it, else a new one, which goes to
// the relay's settings and to the handheld.
void CSyncSession::RelayKeyExchange(CHostConnection& c) {
    const bool businessMode = generalSettings.version == 1;
    std::string key, handheldKey;
    const bool handheldHasKey = ReadKeyRecord(db, handheldKey) == 1;
    // The relay's settings for this account: its number, the relay's business switch, the
    // account's filters and network name.
    tess::accounts::CRelaySettings relay;
    relay.Load(userId, tess::accounts::kSectionRelay);
    const ByteView handheld(c.account->Image().handheld);
    relay.account = c.slot;
    relay.enterprise = businessMode ? 0 : 1;
    relay.useFilters = handheld.u32le(tess::accounts::layout::kFiltering) != 0 ? 1 : 0;
    if (const std::string_view network =
            handheld.text(tess::accounts::layout::kText848.offset, tess::accounts::layout::kText848.width);
        !network.empty())
        relay.networkName = std::string(network);
    std::vector<MessageFilter> filters;
    std::vector<const MessageFilter*> filterPointers;
    const int filterCount = int(
        std::min<uint32_t>(handheld.u32le(tess::accounts::layout::kFilterCount), tess::accounts::layout::kMaxFilters));
    for (int i = 0; i < filterCount; ++i) filters.push_back(c.account->Filter(i));
    for (const MessageFilter& f : filters) filterPointers.push_back(&f);
    if (!filterPointers.empty()) relay.SetFilters(int(filterPointers.size()), filterPointers.data());
    const bool generate = ByteView(c.account->Image().desktop).u32le(tess::accounts::layout::kGenerateKey) != 0;
    bool newKeyWanted = generate || IsKeyExpired();
    if (businessMode) {
        key = handheldKey;
    } else if (!newKeyWanted && !relay.securityKey.empty() && handheldHasKey && relay.securityKey == handheldKey) {
        key = relay.securityKey;
    } else if ((key = tess::NewSealKeyRecord()).empty()) {
        SyncMessage(4181, kActivityError);
    } else {
        relay.SetSecurityKey(key);
        newKeyWanted = true;
    }
    c.accountText = key;
    relay.Save(userId, tess::accounts::kSectionRelay);

    // The relay reaches the account through the desktop's Extended MAPI profile.
    tess::accounts::CMailAccount& account = *c.account;
    if (ByteView(account.Image().desktop)
            .text(tess::accounts::layout::kHostName.offset, tess::accounts::layout::kHostName.width)
            .empty()) {
        const std::string service = Str(4073);
        const int32_t mapi = kProtocolMapi2;
        account.SetValue(tess::accounts::kValueHostName, service.c_str(), unsigned(service.size() + 1));
        account.SetValue(tess::accounts::kValueMailClient, &mapi, 4);
    }
    // The profile and password the account wizard chose, else the desktop's default profile.
    std::string profile;
    UserSelection chosen;
    const bool haveChoice = !businessMode && TakeWizardSelection(chosen);
    std::vector<std::string> profiles;
    int defaultProfile = 0;
    if (haveChoice) {
        profile = chosen.account;
    } else if (!businessMode && CMailClientSet::GetMapiProfileNames(profiles, defaultProfile) == 0 &&
               defaultProfile > 0 && defaultProfile < int(profiles.size())) {
        profile = profiles[size_t(defaultProfile)];
    }
    if (!profile.empty()) {
        account.SetValue(tess::accounts::kValueMapiProfile, profile.c_str(), unsigned(profile.size() + 1));
        if (haveChoice)
            account.SetValue(tess::accounts::kValueDesktopPassword, chosen.password.c_str(),
                             unsigned(chosen.password.size() + 1));
        account.Save();
        relay.Save(userId, tess::accounts::kSectionRelay);
        Env().WriteRelayValue("User", uint32_t(userId));
        StartRelayProgram();
    }
    account.Save();

    if (businessMode && newKeyWanted) {
        SyncMessage(4356, kActivityError);
        if (!noUserInterface) platform::ui::messageBox(Str(4356), Str(4353), MB_OK | MB_ICONINFORMATION);
    } else if (!businessMode && c.account->IsRelayInstalled() && !key.empty() && (newKeyWanted || !HasKeyRecords(db))) {
        if (c.account->IsRelayUser()) Env().WriteRelayValue("NewKey", 1);
        generalSettings.lastCreate = int32_t(std::time(nullptr));
        generalSettings.expires |= 0x8000;
        SaveGeneralSettings();
        WriteKeyRecord(db, key);
    }
    if (generate) {
        const int32_t off = 0;
        c.account->SetValue(tess::accounts::kValueGenerateKey, &off, 4);
        c.account->Save();
    }
    c.accountText.clear();
}

bool CSyncSession::IsKeyExpired() const {
    if (!(generalSettings.expires & 0x8000)) return true;
    return int64_t(generalSettings.expires & 0x7FFF) * 86400 + generalSettings.lastCreate < int64_t(std::time(nullptr));
}

}  // namespace tess::engine
