#include "config/user_config.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "accounts/handheld_account_records.h"
#include "common/handheld_record_io.h"
#include "common/language_module.h"
#include "common/notes_client.h"
#include "common/plugin_registry.h"
#include "config/config_text.h"
#include "platform/core/module.h"
#include "platform/core/runtime.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"

namespace tess::config {

using platform::mfc::CString;

using namespace tess::accounts::layout;
using tess::accounts::ByteSpan;
using tess::accounts::ByteView;
using tess::accounts::CMailAccount;

namespace {

constexpr uint32_t kCreatorMail = SYNC_FOURCC('a', 's', 'c', '3');
constexpr int kFlagsMask = int(0xFF000000);
constexpr int kCurrentVersion = 517;
constexpr int kProtocolTag = 5;
constexpr int kIncomingServerTag = 20;

std::string Section() {
    std::string s = LangText(4048);
    return s.empty() ? "Larkspur" : s;
}

int32_t DesktopWord(const CMailAccount& a, size_t at) { return int32_t(ByteView(a.Image().desktop).u32le(at)); }
std::string DesktopText(const CMailAccount& a, TextField f) {
    return std::string(ByteView(a.Image().desktop).text(f.offset, f.width));
}

// Sets a desktop value through the account's value-id writer; true when it changed.
bool SetWord(CMailAccount& a, int valueId, int32_t value) {
    if (a.Image().desktop.empty()) return false;
    const size_t at = valueId == tess::accounts::kValueActive        ? kActive
                      : valueId == tess::accounts::kValueMailClient  ? kMailClient
                      : valueId == tess::accounts::kValueDaysToSync  ? kDaysToSync
                      : valueId == tess::accounts::kValueMessageSize ? kMessageSizeKb
                      : valueId == tess::accounts::kValueSyncInbox   ? kSyncInbox
                      : valueId == tess::accounts::kValueSyncOutbox  ? kSyncOutbox
                      : valueId == tess::accounts::kValueUnreadOnly  ? kUnreadOnly
                                                                     : kDownloadAttachments;
    if (DesktopWord(a, at) == value) return false;
    a.SetValue(valueId, &value, 4);
    return true;
}

bool SetText(CMailAccount& a, int valueId, TextField f, const std::string& text) {
    if (DesktopText(a, f) == text) return false;
    a.SetValue(valueId, text.c_str(), unsigned(text.size() + 1));
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool Named(const CMailAccount& a) {
    const std::string name = a.AccountName();
    return !name.empty() && name.find("@@") == std::string::npos;
}

bool PendingDeletion(const CMailAccount& a) {
    return a.HeadWord(kHeadDropMessages) != 0 || a.HeadWord(kHeadDeleteFromHandheld) != 0;
}

}  // namespace

// ---- Values by field tag -------------------------------------------------------------------

std::string TagText(const CMailAccount& a, int tag) {
    const auto t = tess::accounts::LookUpPendingTag(uint32_t(tag));
    if (t.kind != tess::accounts::PendingTag::text) return {};
    return std::string(ByteView(a.Image().handheld).text(t.blockOffset, t.width));
}

int64_t TagNumber(const CMailAccount& a, int tag) {
    const auto t = tess::accounts::LookUpPendingTag(uint32_t(tag));
    const ByteView v(a.Image().handheld);
    using K = tess::accounts::PendingTag;
    switch (t.kind) {
    case K::word:
    case K::valueByte: return v.u16le(t.blockOffset);
    case K::switchByte:
    case K::sizeKb: return v.u32le(t.blockOffset);
    default: return 0;
    }
}

int TagTextLimit(int tag, int pageLimit) {
    const auto t = tess::accounts::LookUpPendingTag(uint32_t(tag));
    return t.kind == tess::accounts::PendingTag::text ? std::min(pageLimit, int(t.width) - 1) : pageLimit;
}

static void NoteTag(CMailAccount& a, int tag) {
    const auto& tags = a.Image().tags;
    if (std::find(tags.begin(), tags.end(), uint32_t(tag)) == tags.end()) a.AddPendingChange(uint32_t(tag));
    // A new incoming server makes the engine start the account's mail afresh.
    if (tag == kIncomingServerTag && TagNumber(a, kProtocolTag) < 256) a.SetHeadWord(kHeadServerChanged, 1);
}

int SetByTag(CMailAccount& a, int tag, const std::string& text) {
    const auto t = tess::accounts::LookUpPendingTag(uint32_t(tag));
    if (t.kind != tess::accounts::PendingTag::text || text.size() + 1 > t.width) return 0;
    if (TagText(a, tag) == text) return 0;
    ByteSpan(a.MutableImage().handheld).putText(t.blockOffset, t.width, text);
    NoteTag(a, tag);
    return 1;
}

int SetByTag(CMailAccount& a, int tag, int64_t value) {
    const auto t = tess::accounts::LookUpPendingTag(uint32_t(tag));
    using K = tess::accounts::PendingTag;
    if (t.kind == K::none || t.kind == K::text || t.kind == K::folderName || TagNumber(a, tag) == value) return 0;
    ByteSpan block(a.MutableImage().handheld);
    if (t.kind == K::word || t.kind == K::valueByte)
        block.putU16le(t.blockOffset, uint16_t(value));
    else
        block.putU32le(t.blockOffset, uint32_t(value));
    NoteTag(a, tag);
    return 1;
}

// ---- Free helpers -----------------------------------------------------------------------------

int GetWebPageAddress(std::string& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, tess::kProductKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 1;
    char text[256] = {};
    DWORD size = sizeof text - 1, type = 0;
    if (RegQueryValueExA(key, "OnTheWeb", nullptr, &type, reinterpret_cast<unsigned char*>(text), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        out = text;
    } else {
        out = "https://tessaline.example.org/support";
        RegSetValueExA(key, "OnTheWeb", 0, REG_SZ, reinterpret_cast<const unsigned char*>(out.c_str()),
                       DWORD(out.size() + 1));
    }
    RegCloseKey(key);
    return 1;
}

int IsSimpleMapiProtocol(int code) { return code >= 1 && code <= 3; }
int IsExtendedMapiProtocol(int code) { return code == 4 || code == 5; }

void DoubleAmpersands(std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    text = out;
}

void StripAmpersands(std::string& text) {
    std::string out;
    int seen = 0;
    for (char c : text)
        if (c != '&' || (seen++ % 2) == 0) out += c;
    text = out;
}

bool ClampNumberText(std::string& text, int min, int max) {
    std::string digits;
    for (char c : text)
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    bool dropped = digits.size() != text.size();
    long long n = 0;
    for (char c : digits) n = std::min<long long>(n * 10 + (c - '0'), 1LL << 40);
    std::string next = digits;
    if (n < min)
        next = std::to_string(min);
    else if (n > max)
        next = std::to_string(max);
    else if (digits.empty())
        next = "0";
    else if (!dropped)
        return false;
    text = next;
    return true;
}

// ---- The model ------------------------------------------------------------------------------------

CUserConfig::CUserConfig(int user) { LoadUser(user, 0); }

CUserConfig::~CUserConfig() {
    Clear();
    notes_.reset();
}

void CUserConfig::Clear() {
    changed = 0;
    settings_ = {};
    settings_.SetDefaults();
    accounts_.clear();
    mailClients_.clear();
    newAccounts.clear();
    clientChanged.clear();
    currentAccount = -1;
}

bool CUserConfig::ReadUserEntry() {
    CUserList users;
    CConduitInfo conduit;
    users.Load();
    conduit.Load(kCreatorMail);
    const CUserList::Entry* e = users.FindUser(userId);
    if (!e) return false;
    userName = e->name;
    init_ = {};
    init_.userId = userId;
    init_.userDirectory = e->directory + conduit.directory;
    int permanent = 0;
    RosterGetPermanentAction(userId, kCreatorMail, &permanent);
    permanentAction = permanent >= 0 && permanent <= 4 ? permanent : 1;
    int next = 0;
    if (RosterGetNextAction(userId, kCreatorMail, &next) == SYNC_OK && next >= 0 && next <= 4)
        nextAction = next ? 1 : 0;
    else
        nextAction = permanentAction;
    return true;
}

// The engine's settings exports, found through the product's list of sync plug-ins.
static int CallEngine(const char* name, int user, int version) {
    tess::CPluginRegistry registry;
    tess::PluginEntry* entry = nullptr;
    if (!registry.ReadValues(tess::kMsgSyncPlugins) || !registry.GetEntry(tess::kMsgSyncPlugins, "Tidewater", &entry) ||
        !entry || entry->text.empty())
        return -1;
    HMODULE engine = LoadLibraryA(entry->text.c_str());
    if (!engine) return -1;
    int rc = -1;
    if (std::string(name) == "UpgradeUserSettings") {
        if (auto fn = reinterpret_cast<int (*)(int, int)>(GetProcAddress(engine, name))) rc = fn(user, version);
    } else if (auto fn = reinterpret_cast<int (*)(int)>(GetProcAddress(engine, name))) {
        rc = fn(user);
    }
    FreeLibrary(engine);
    return rc;
}

int CUserConfig::LoadUser(int user, int) {
    const int previous = userId;
    userId = user;
    int result = 1;
    if (!ReadUserEntry()) {
        // An unknown user: nothing to load, and nobody to go back to.
        userId = previous;
        return 0;
    }
    for (int attempt = 0;; ++attempt) {
        settings_.SetDefaults();
        const bool loaded = settings_.Load(userId, Section().c_str(), 0, kFlagsMask) != 0;
        if (loaded && settings_.conduitVersion == kCurrentVersion) break;
        if (attempt > 0 && userId == previous) {
            // The user to go back to cannot be loaded either: stay empty rather than loop.
            accounts_.clear();
            return 0;
        }
        if (loaded) {
            // The engine's upgrade reports 1 when it upgraded.
            if (CallEngine("UpgradeUserSettings", userId, settings_.conduitVersion) == 1) {
                settings_.conduitVersion = kCurrentVersion;
                break;
            }
            platform::ui::messageBox(LangText(4421), LangText(4418), MB_OK | MB_ICONWARNING);
            result = 0;
        } else if (platform::ui::messageBox(LangText(4144), LangText(4145), MB_YESNO | MB_ICONQUESTION) == IDYES &&
                   CallEngine("CreateIniFileSettings", userId, 0) == 0) {
            continue;
        }
        if (previous == userId || !previous) {
            accounts_.clear();
            return 0;
        }
        userId = previous;
        ReadUserEntry();
    }
    slotCount = std::clamp<int>(settings_.numberOfAccounts, 1, 8);
    accounts_.clear();
    activeMask = 0;
    currentAccount = -1;
    for (int slot = 0; slot < slotCount; ++slot) {
        tess::accounts::AccountInit init = init_;
        init.accountNumber = slot;
        auto account = std::make_unique<CMailAccount>(init, env_);
        if (!account->Load()) account->SetDefaults();
        if (account->Active()) activeMask |= uint16_t(1u << slot);
        if (Named(*account) && account->MailClient() != tess::accounts::kMailClientPlaceholder && currentAccount < 0)
            currentAccount = slot;
        accounts_.push_back(std::move(account));
    }
    tess::accounts::CRelaySettings relay;
    relay.Load(userId, tess::accounts::kSectionRelay);
    relayAccount = relay.account;
    notes_.reset();  // the old client's working notes.ini goes before the new one is made
    notes_ = std::make_unique<CNotesClient>();
    notes_->Initialize(nullptr);
    return result;
}

int CUserConfig::ChangeUser(int user) {
    tess::accounts::CGeneralSettings other;
    other.SetDefaults();
    const bool loaded = other.Load(user, Section().c_str(), 0, kFlagsMask) != 0;
    if (loaded && other.conduitVersion != kCurrentVersion) {
        if (platform::ui::messageBox(LangText(4461) + LangText(4462), LangText(4145),
                                     MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
            return 0;
    } else if (!loaded) {
        if (platform::ui::messageBox(LangText(4144), LangText(4145), MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
        CallEngine("CreateIniFileSettings", user, 0);
    }
    Clear();
    return LoadUser(user, 1);
}

void CUserConfig::WriteActions() {
    const int permanent = permanentAction ? 3 : 0;
    int stored = 0;
    RosterGetPermanentAction(userId, kCreatorMail, &stored);
    if (stored > 4) RosterSetPermanentAction(userId, kCreatorMail, permanent ? 0 : 3);
    if (RosterSetPermanentAction(userId, kCreatorMail, permanent) == SYNC_OK) {
        int back = permanent;
        RosterGetPermanentAction(userId, kCreatorMail, &back);
        permanentAction = back;
    }
    if (RosterSetNextAction(userId, kCreatorMail, nextAction ? 3 : 0) == SYNC_OK) nextAction = nextAction ? 3 : 0;
}

int CUserConfig::Save(const void* currentOnly) {
    auto saveAccount = [&](CMailAccount& a, int slot) {
        if (a.Active())
            activeMask |= uint16_t(1u << slot);
        else
            activeMask &= uint16_t(~(1u << slot));
        a.Save();
    };
    if (currentOnly) {
        if (CMailAccount* a = Current()) saveAccount(*a, currentAccount);
        return 1;
    }
    settings_.conduitVersion = kCurrentVersion;
    settings_.Save(userId, Section().c_str(), 0, kFlagsMask);
    for (size_t i = 0; i < accounts_.size(); ++i) saveAccount(*accounts_[i], int(i));
    WriteActions();
    changed = 0;
    return 1;
}

// ---- Records ----------------------------------------------------------------------------------------

int CUserConfig::GetSyncActions(SyncActionRecord* r) const {
    if (!r) return 0;
    r->permanentAction = permanentAction;
    r->nextAction = nextAction;
    r->logging = settings_.enableLogging && settings_.logInformational ? 1 : 0;
    return 1;
}

int CUserConfig::SetSyncActions(const SyncActionRecord* r) {
    if (!r) return 0;
    const int permanent = r->permanentAction > 0 ? 3 : 0, next = r->nextAction > 0 ? 3 : 0;
    if ((permanentAction != 0) != (permanent != 0) || permanentAction > 4) changed = 1;
    if ((nextAction != 0) != (next != 0)) changed = 1;
    permanentAction = permanent;
    nextAction = next;
    SetLogging(r->logging);
    return 1;
}

void CUserConfig::SetLogging(int on) {
    if ((settings_.logInformational != 0) != (on != 0)) changed = 1;
    if (on) {
        settings_.enableLogging = 1;
        settings_.logInformational = 1;
    } else {
        settings_.logInformational = 0;
    }
}

int CUserConfig::ToggleDebugLogging() {
    settings_.logDebug = settings_.logDebug ? 0 : 1;
    if (settings_.logDebug) settings_.enableLogging = 1;
    changed = 1;
    return settings_.logDebug;
}

// The Notes user of the account's ID file (switching the Notes client to it with the
// account's password), or the client's own user when the account names no ID file. The
// path keeps its case: file names here are case-sensitive.
void CUserConfig::NotesIdentity(const CMailAccount& a, AccountSettingsRecord* r) {
    const std::string text = DesktopText(a, kMapiProfile);
    r->notesIdFile.clear();
    if (!notes_) return;
    if (Lower(text).find(".id") == std::string::npos) {
        r->notesIdFile = notes_->idFile();
        r->profile = notes_->userName();
        return;
    }
    const std::string password = DesktopText(a, kDesktopPassword);
    if (notes_->SwitchIdFile({platform::windowsDir().string(), text, password}) != 0) return;
    r->notesIdFile = notes_->idFile();
    r->profile = notes_->userName();
    r->password = password;
}

int CUserConfig::IsNotesClientReady() const {
    constexpr unsigned kReady = CNotesClient::kFound | CNotesClient::kLibrary | CNotesClient::kInitialised;
    return notes_ && (notes_->flags() & kReady) == kReady ? 1 : 0;
}

int CUserConfig::ChooseNotesIdFile(void* owner, std::string& notesUser, std::string& idFile, std::string& password) {
    if (!notes_) return 0;
    CString id, pass;
    for (;;) {
        int dialog = 0;
        const int answer = notes_->BrowseForIdFile(owner, &id, &pass, &dialog);
        if (answer == 1) break;
        if (answer != 7) return 0;
        if (platform::ui::messageBox(LangText(4249), LangText(4248), MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
    }
    if (notes_->SwitchIdFile({platform::windowsDir().string(), id.GetString(), pass.GetString()}) != 0) return 0;
    notesUser = notes_->userName();
    idFile = notes_->idFile();
    password = pass.GetString();
    changed = 1;
    return 1;
}

int CUserConfig::GetAccountSettings(AccountSettingsRecord* r) {
    CMailAccount* a = Current();
    if (!r || !a) return 0;
    if (r->clientCode == -1) {
        *r = {};
        return 1;
    }
    if (r->clientCode == 0) {
        r->clientCode = a->MailClient();
        r->clientText = DesktopText(*a, kHostName);
    }
    r->profile.clear();
    r->password.clear();
    r->profileIndex = -1;
    if (IsExtendedMapiProtocol(r->clientCode)) {
        const std::string text = DesktopText(*a, kMapiProfile);
        if (text.find(".id") == std::string::npos) {
            r->profile = text;
            r->password = DesktopText(*a, kDesktopPassword);
        }
    }
    if (r->clientCode == 6) NotesIdentity(*a, r);
    r->active = a->Active();
    r->localReplica = DesktopWord(*a, kLocalReplica);
    return 1;
}

int CUserConfig::SetAccountSettings(const AccountSettingsRecord* r) {
    CMailAccount* a = Current();
    if (!r || !a) return 0;
    bool diff = SetWord(*a, tess::accounts::kValueActive, r->active);
    if (DesktopWord(*a, kLocalReplica) != r->localReplica) {
        ByteSpan(a->MutableImage().desktop).putU32le(kLocalReplica, uint32_t(r->localReplica));
        diff = true;
    }
    diff |= SetText(*a, tess::accounts::kValueDesktopPassword, kDesktopPassword, r->password);
    std::string clientText = r->clientText;
    if (r->clientCode != a->MailClient()) {
        clientChanged.insert(currentAccount);
        diff = true;
    }
    if (r->clientCode == 0 && !clientText.empty()) {
        clientChanged.insert(currentAccount);
        diff |= SetWord(*a, tess::accounts::kValueActive, 0);
        clientText.clear();
    }
    diff |= SetWord(*a, tess::accounts::kValueMailClient, r->clientCode);
    diff |= SetText(*a, tess::accounts::kValueHostName, kHostName, clientText);
    const std::string profile = r->clientCode == 6 ? r->notesIdFile : r->profile;
    if (!SameNoCase(profile, DesktopText(*a, kMapiProfile)))
        diff |= SetText(*a, tess::accounts::kValueMapiProfile, kMapiProfile, profile);
    if (diff) changed = 1;
    return 1;
}

int CUserConfig::GetAccountOptions(AccountOptionsRecord* r) const {
    const CMailAccount* a = Current();
    if (!r || !a) return 0;
    *r = {};
    r->isRelayAccount = currentAccount == relayAccount ? 1 : 0;
    r->active = a->Active();
    r->sizeLimitKb = DesktopWord(*a, kMessageSizeKb) & 0x3FFFFF;
    r->unreadOnly = DesktopWord(*a, kUnreadOnly);
    r->attachments = DesktopWord(*a, kDownloadAttachments);
    r->syncInbox = DesktopWord(*a, kSyncInbox);
    r->sendOutbox = DesktopWord(*a, kSyncOutbox);
    r->daysToSync = DesktopWord(*a, kDaysToSync);
    r->keyExpiryDays = settings_.expires & 0x7FFF;
    if (settings_.lastCreate == 0) {
        r->keyCreated = LangText(4347);
    } else {
        const time_t t = settings_.lastCreate;
        char buf[64];
        std::tm tm{};
        localtime_r(&t, &tm);
        std::strftime(buf, sizeof buf, "%a %b %d,%Y %H:%M:%S", &tm);
        r->keyCreated = buf;
    }
    return 1;
}

int CUserConfig::SetAccountOptions(const AccountOptionsRecord* r) {
    CMailAccount* a = Current();
    if (!r || !a) return 0;
    using namespace tess::accounts;
    bool diff = SetWord(*a, kValueActive, r->active);
    diff |= SetWord(*a, kValueMessageSize, r->sizeLimitKb == 0 ? 1 : r->sizeLimitKb);
    diff |= SetWord(*a, kValueUnreadOnly, r->unreadOnly);
    diff |= SetWord(*a, kValueDownloadAttachments, r->attachments);
    diff |= SetWord(*a, kValueSyncInbox, r->syncInbox);
    diff |= SetWord(*a, kValueSyncOutbox, r->sendOutbox);
    diff |= SetWord(*a, kValueDaysToSync, r->daysToSync);
    const int32_t expires = (settings_.expires & 0x8000) | (r->keyExpiryDays & 0x7FFF);
    if (expires != settings_.expires) {
        settings_.expires = expires;
        diff = true;
    }
    if (diff) changed = 1;
    return 1;
}

int CUserConfig::GetDevicePreferences(DevicePreferencesRecord* r) const {
    const CMailAccount* a = Current();
    if (!r || !a) return 0;
    *r = {};
    static const char* const kKeywords[] = {"POP3", "IMAP4", "NNTP", "TIDEMAIL", "BUSINESS"};
    const int64_t kind = TagNumber(*a, kProtocolTag);
    r->protocolKeyword = kind >= 0 && kind <= 4 ? kKeywords[kind] : "UNKNOWN";
    r->displayName = TagText(*a, 3);
    r->emailAddress = TagText(*a, 0);
    r->userName = TagText(*a, 1);
    r->password = TagText(*a, 2);
    return 1;
}

int CUserConfig::SetDevicePreferences(const DevicePreferencesRecord* r) {
    CMailAccount* a = Current();
    if (!r || !a) return 0;
    int diff = SetByTag(*a, 3, r->displayName);
    diff |= SetByTag(*a, 0, r->emailAddress);
    diff |= SetByTag(*a, 1, r->userName);
    diff |= SetByTag(*a, 2, r->password);
    if (diff) changed = 1;
    return 1;
}

int CUserConfig::GetDeviceServers(DeviceServersRecord* r) const {
    const CMailAccount* a = Current();
    if (!r || !a) return 0;
    *r = {};
    r->incomingServer = TagText(*a, 20);
    r->incomingPort = int(TagNumber(*a, 19));
    r->apop = int(TagNumber(*a, 9));
    r->outgoingServer = TagText(*a, 22);
    r->outgoingPort = int(TagNumber(*a, 21));
    r->esmtp = int(TagNumber(*a, 12));
    r->smtpUser = TagText(*a, 13);
    if (r->smtpUser.empty()) r->smtpUser = TagText(*a, 1);
    r->smtpPassword = TagText(*a, 14);
    if (r->smtpPassword.empty()) r->smtpPassword = TagText(*a, 2);
    r->handheldProtocol = int(TagNumber(*a, kProtocolTag));
    return 1;
}

int CUserConfig::SetDeviceServers(const DeviceServersRecord* r) {
    CMailAccount* a = Current();
    if (!r || !a) return 0;
    int diff = SetByTag(*a, 9, int64_t(r->apop));
    diff |= SetByTag(*a, 19, int64_t(r->incomingPort));
    diff |= SetByTag(*a, 20, r->incomingServer);
    diff |= SetByTag(*a, 21, int64_t(r->outgoingPort));
    diff |= SetByTag(*a, 22, r->outgoingServer);
    diff |= SetByTag(*a, 12, int64_t(r->esmtp));
    if (r->esmtp) {
        diff |= SetByTag(*a, 13, r->smtpUser);
        diff |= SetByTag(*a, 14, r->smtpPassword);
    }
    if (diff) changed = 1;
    return 1;
}

int CUserConfig::GetAccountOverview(AccountOverviewRecord* r) const {
    const CMailAccount* a = Current();
    if (!r || !a) return 0;
    r->active = a->Active();
    r->synchronised = a->HeadWord(kHeadPresentOnHandheld) != 0;
    r->lastSync = int(a->HeadWord(kHeadLastSync));
    r->clientText = DesktopText(*a, kHostName);
    r->clientChanged = clientChanged.count(currentAccount) ? 1 : 0;
    r->serverChanged = a->HeadWord(kHeadServerChanged) != 0;
    return 1;
}

int CUserConfig::GetHandheldOverview(HandheldOverviewRecord* r) const {
    const CMailAccount* a = Current();
    if (!r || !a) return 0;
    const int64_t kind = TagNumber(*a, kProtocolTag);
    if (kind == 0)
        r->protocol = "POP";
    else if (kind == 1)
        r->protocol = "IMAP";
    r->displayName = TagText(*a, 3);
    r->emailAddress = TagText(*a, 0);
    r->incomingServer = TagText(*a, 20);
    r->apop = int(TagNumber(*a, 9));
    r->outgoingServer = TagText(*a, 22);
    r->esmtp = int(TagNumber(*a, 12));
    return 1;
}

// ---- Lists and accounts ------------------------------------------------------------------------------

void CUserConfig::BuildMailClientList() {
    mailClients_.clear();
    if (currentAccount >= 0 && currentAccount == relayAccount) {
        mailClients_.push_back({LangText(4068 + 5), 5});
        return;
    }
    mailClients_.push_back({LangText(4120), -1});
    for (int code = 2; code <= 8; ++code) mailClients_.push_back({LangText(4068 + code), code});
}

int CUserConfig::SetInboxSync(int flag) {
    CMailAccount* a = Current();
    if (!a) return 0;
    SetWord(*a, tess::accounts::kValueSyncInbox, flag);
    auto folders = a->Folders();
    for (auto& f : folders)
        if (f.data.empty() || std::all_of(f.data.begin(), f.data.end(), [](uint8_t b) { return b == 0; })) {
            f.synchronised = flag;
            break;
        }
    a->SetFolders(folders);
    changed = 1;
    return 1;
}

int CUserConfig::SetFolderSync(const std::string& name, int on) {
    CMailAccount* a = Current();
    if (!a) return 0;
    std::string plain = name;
    StripAmpersands(plain);
    changed = 1;
    return a->SetFolderSync(plain, on);
}

int CUserConfig::AddAccount(const char* name, uint16_t imap) {
    CMailAccount* free = nullptr;
    for (auto& a : accounts_)
        if (a->AccountName().empty() && !PendingDeletion(*a)) free = a.get();
    if (!free) return -1;
    const int id = int(std::find_if(accounts_.begin(), accounts_.end(), [&](auto& p) { return p.get() == free; }) -
                       accounts_.begin());
    free->SetDefaults();
    const std::string text = std::string(name ? name : "").substr(0, 14);
    free->SetValue(tess::accounts::kValueAccountName, text.c_str(), unsigned(text.size() + 1));
    SetByTag(*free, kProtocolTag, int64_t(imap));
    SetByTag(*free, 19, int64_t(imap ? 143 : 110));
    free->SetHeadWord(kHeadPresentOnHandheld, 0);
    newAccounts.insert(id);
    changed = 1;
    if (currentAccount < 0) currentAccount = id;
    return id;
}

int CUserConfig::DeleteAccount(int id) {
    CMailAccount* a = FindAccount(id);
    if (!a) return 0;
    const bool synchronised = a->HeadWord(kHeadPresentOnHandheld) != 0;
    a->SetDefaults();
    // The handheld's copy goes at the next synchronisation; until then the slot stays taken.
    if (synchronised) a->SetHeadWord(kHeadDeleteFromHandheld, 1);
    a->Save();
    newAccounts.erase(id);
    if (currentAccount == id) currentAccount = -1;
    return 1;
}

CMailAccount* CUserConfig::FindAccount(int id) const {
    return id >= 0 && id < int(accounts_.size()) ? accounts_[size_t(id)].get() : nullptr;
}

int CUserConfig::GetAccountProtocol(int id) const {
    const CMailAccount* a = FindAccount(id);
    return a ? a->MailClient() : 0;
}

const char* CUserConfig::GetCurrentAccountName() const {
    static std::string name;
    const CMailAccount* a = Current();
    if (!a) return nullptr;
    name = a->AccountName();
    return name.c_str();
}

int CUserConfig::IsCurrentAccountActive() const {
    const CMailAccount* a = Current();
    return a ? a->Active() : 0;
}

static int FindOtherActive(const CUserConfig& m, bool (*match)(int), std::string& out) {
    for (size_t i = 0; i < m.Accounts().size(); ++i) {
        const CMailAccount& a = *m.Accounts()[i];
        if (int(i) == m.currentAccount || !a.Active() || !Named(a) || !match(a.MailClient())) continue;
        out = a.AccountName();
        return 1;
    }
    return 0;
}

int CUserConfig::FindOtherSimpleMapiAccount(std::string& out) const {
    return FindOtherActive(
        *this, [](int c) { return c >= 0 && c <= 3; }, out);
}

int CUserConfig::FindOtherExtendedMapiAccount(std::string& out) const {
    return FindOtherActive(
        *this, [](int c) { return IsExtendedMapiProtocol(c) != 0; }, out);
}

int CUserConfig::HasAccountToSync() const {
    for (size_t i = 0; i < accounts_.size(); ++i)
        if ((activeMask >> i) & 1)
            if (DesktopWord(*accounts_[i], kSyncInbox) || DesktopWord(*accounts_[i], kSyncOutbox)) return 1;
    return 0;
}

int CUserConfig::CountAccounts() const {
    return int(std::count_if(accounts_.begin(), accounts_.end(),
                             [](auto& a) { return !a->AccountName().empty() || PendingDeletion(*a); }));
}

int CUserConfig::HasSeveralAccounts() const {
    return std::count_if(accounts_.begin(), accounts_.end(), [](auto& a) {
               return !a->AccountName().empty() && !PendingDeletion(*a) &&
                      a->MailClient() != tess::accounts::kMailClientPlaceholder;
           }) > 1;
}

int CUserConfig::CountReadyAccounts() const {
    return int(std::count_if(accounts_.begin(), accounts_.end(), [](auto& p) {
        const CMailAccount& a = *p;
        const int code = a.MailClient();
        if (!Named(a) || DesktopText(a, kHostName).empty() || code < 1 || code > 8) return false;
        return !(code >= 4 && code <= 6) || !DesktopText(a, kMapiProfile).empty();
    }));
}

int CUserConfig::CountSyncAccounts() const {
    return int(std::count_if(accounts_.begin(), accounts_.end(), [](auto& p) {
        std::vector<int> slots;
        std::vector<std::string> names;
        return p->Active() && (p->SelectedFolders(slots, names) > 0 || DesktopWord(*p, kSyncOutbox));
    }));
}

}  // namespace tess::config
