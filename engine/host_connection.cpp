// The connection of one account to its message host: binding, logon records, connecting
// and disconnecting, and the folder maps.
#include "engine/host_connection.h"

#include <cstdlib>
#include <cstring>

#include "common/standard_folders.h"
#include "common/sync_report.h"
#include "datamgr/ledgerly.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "engine/account_host_folders.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {

using namespace tess::accounts::layout;
using tess::accounts::ByteSpan;
using tess::accounts::ByteView;

// ---- CFolderMap ------------------------------------------------------------------------

CFolderMap::Entry* CFolderMap::Find(int key) {
    for (auto& e : entries_)
        if (e->key == key) return e.get();
    return nullptr;
}

bool CFolderMap::AddFolder(int key, const std::string& name, const void* extra, int extraLength, int type) {
    if (name.empty()) return false;
    Entry* e = Find(key);
    if (e && !e->name.empty()) return true;
    if (!e) {
        entries_.push_back(std::make_unique<Entry>());
        e = entries_.back().get();
        e->key = key;
    }
    e->name = name;
    if (extra && extraLength > 0)
        e->extra.assign(static_cast<const uint8_t*>(extra), static_cast<const uint8_t*>(extra) + extraLength);
    e->type = type;
    return true;
}

CFolderMap::Entry& CFolderMap::EntryOf(int key) {
    if (Entry* e = Find(key)) return *e;
    entries_.push_back(std::make_unique<Entry>());
    entries_.back()->key = key;
    return *entries_.back();
}

std::vector<std::unique_ptr<CMsg>>* CFolderMap::Messages(int key) {
    Entry* e = Find(key);
    return e ? &e->msgs : nullptr;
}

size_t CFolderMap::Count(int key) const {
    size_t n = 0;
    for (auto& e : entries_)
        if (key == -1 || e->key == key) n += e->msgs.size();
    return n;
}

std::unique_ptr<CMsg> CFolderMap::Take(const CMsg* msg) {
    for (auto& e : entries_)
        for (auto it = e->msgs.begin(); it != e->msgs.end(); ++it)
            if (it->get() == msg) {
                std::unique_ptr<CMsg> owned = std::move(*it);
                e->msgs.erase(it);
                return owned;
            }
    return nullptr;
}

FolderRecord* CFolderMap::Record(int key) {
    Entry* e = Find(key);
    if (!e || e->name.empty()) return nullptr;
    e->record.name = e->name.data();
    e->record.extraLength = int32_t(e->extra.size());
    e->record.extra = e->extra.empty() ? nullptr : e->extra.data();
    e->record.type = e->type;
    return &e->record;
}

// ---- Account values ----------------------------------------------------------------------

CHostConnection::CHostConnection(CSyncSession& s, int n) : session(s), slot(n) {}

CHostConnection::~CHostConnection() {
    if (initialised || loggedOn) DisconnectHost();
}

int CHostConnection::Protocol() const { return account ? account->MailClient() : -1; }
int CHostConnection::Kind() const { return account ? ByteView(account->Image().handheld).u16le(kWord0) : 0; }
int CHostConnection::ConnType() const {
    return account ? int(ByteView(account->Image().handheld).u32le(kValue2936) & 0xFF) : 0;
}
bool CHostConnection::IsActive() const { return account && account->Active() != 0; }
std::string CHostConnection::Name() const { return account ? account->AccountName() : std::string(); }
int CHostConnection::DaysToSync() const {
    return account ? int32_t(ByteView(account->Image().desktop).u32le(kDaysToSync)) : 0;
}
int CHostConnection::MaxSizeKb() const {
    return account ? int32_t(ByteView(account->Image().desktop).u32le(kMessageSizeKb)) : 0;
}
bool CHostConnection::UnreadOnly() const {
    return account && ByteView(account->Image().desktop).u32le(kUnreadOnly) != 0;
}
bool CHostConnection::Outbox() const { return account && ByteView(account->Image().desktop).u32le(kSyncOutbox) != 0; }
bool CHostConnection::DownloadAttachments() const {
    return account && ByteView(account->Image().desktop).u32le(kDownloadAttachments) != 0;
}
bool CHostConnection::HasDeletionMark() const {
    return account && (account->DeletedThisSync() || account->HeadWord(kHeadDropMessages) != 0);
}
bool CHostConnection::HasServerChangedMark() const { return account && account->HeadWord(kHeadServerChanged) != 0; }
bool CHostConnection::HasSelectedFolders() const {
    if (!account) return false;
    std::vector<int> slots;
    std::vector<std::string> names;
    return account->SelectedFolders(slots, names) > 0;
}

void CHostConnection::Deactivate() {
    if (!account) return;
    const int32_t zero = 0;
    account->SetValue(tess::accounts::kValueActive, &zero, 4);
    account->Save();
}

void CHostConnection::ClearServerChangedMark() {
    if (!account) return;
    account->SetHeadWord(kHeadServerChanged, 0);
    account->Save();
}

// ---- Connecting --------------------------------------------------------------------------

namespace {

std::string Text(const ByteView& v, TextField f) { return std::string(v.text(f.offset, f.width)); }

// The POP host's record: the values of the internet record, with the APOP switch where the
// IMAP record has its sent folder.
PopLogonRecord PopRecordOf(const LogonRecord& r, int32_t popValue) {
    return PopLogonRecord{.server = r.server,
                          .smtpServer = r.smtpServer,
                          .port = r.port,
                          .smtpPort = r.smtpPort,
                          .reserved1 = r.reserved1,
                          .popValue = popValue,
                          .reservedText = r.reservedText,
                          .reserved2 = r.reserved2,
                          .user = r.user,
                          .password = r.password,
                          .emailAddress = r.emailAddress,
                          .downloadAttachments = r.downloadAttachments,
                          .blockValue = r.blockValue,
                          .unreadOnly = r.unreadOnly,
                          .days = r.days,
                          .serverUsable = r.serverUsable,
                          .smtpUsable = r.smtpUsable,
                          .reserved3 = r.reserved3,
                          .maxSize = r.maxSize,
                          .separateSmtpLogin = r.separateSmtpLogin,
                          .smtpUser = r.smtpUser,
                          .smtpPassword = r.smtpPassword,
                          .userDirectory = r.userDirectory,
                          .accountName = r.accountName,
                          .newerHandheld = r.newerHandheld};
}

}  // namespace

int CHostConnection::ConnectHost(bool trace, bool summary, const std::string& userDirectory) {
    if (trace && IsActive()) MLOGAdd("--> Beginning Host Connection");
    if (!account) return 2;
    session.progress.SetStepCount(3);
    int result = 0;
    if (!module.initialize) {
        SyncMessage(4035, kActivityHostFailure);
        result = kResultMissingExport;
    } else if (module.initialize() != 0) {
        SyncMessage(4011, kActivityHostFailure);
        result = 2;
    } else {
        initialised = true;
    }
    session.progress.AdvanceStep();
    if (!initialised) return result;

    if (!module.logon) {
        SyncMessage(4035, kActivityHostFailure);
        return kResultMissingExport;
    }
    result = logon(trace, summary, userDirectory);
    session.progress.AdvanceStep();
    return result;
}

int CHostConnection::logon(bool trace, bool summary, const std::string& userDirectory) {
    const HostLogonFn logonFn = module.logon;
    const int flags = (trace ? 2 : 0) | (summary ? 1 : 0);
    const int p = Protocol();
    ByteView h(account->Image().handheld);
    ByteView d(account->Image().desktop);
    const int32_t days = DaysToSync();
    const int32_t download = DownloadAttachments() ? 1 : 0;
    const int32_t blockValue = int32_t(h.u32le(kValue3508));
    const int32_t newer = session.DbVersion() != 1024 ? 1 : 0;
    void* window = session.progress.Window();
    const std::string name = Name();

    int rc = -1;
    bool attempt = true;
    // Simple MAPI reaches whatever program is the default mail client: make it the one
    // the account names for as long as the account is connected.
    if (p >= 2 && p <= 5) {
        clientSet = std::make_unique<CMailClientSet>();
        clientSet->SetDefaultByKind(p == 2 ? kClientEudora : p == 3 ? kClientOutlookExpress : kClientOutlook);
    }
    if (p == kProtocolMapi || p == kProtocolMapi2) {
        resolveName = module.resolveName;
        compareMsgId = module.compareMsgId;
        MapiLogonRecord r{.hostName = Text(d, kHostName).c_str(),
                          .profile = Text(d, kMapiProfile).c_str(),
                          .password = Text(d, kDesktopPassword).c_str(),
                          .days = days,
                          .newerHandheld = newer,
                          .downloadAttachments = download,
                          .blockValue = blockValue,
                          .userDirectory = userDirectory.c_str(),
                          .accountName = name.c_str(),
                          .parentWindow = window};
        rc = logonFn(&r, flags, 1);
    } else if (p >= 0 && p <= 3) {
        SmapiLogonRecord r{.first = "",
                           .second = "",
                           .newerHandheld = newer,
                           .downloadAttachments = download,
                           .blockValue = blockValue,
                           .userDirectory = userDirectory.c_str(),
                           .accountName = name.c_str(),
                           .parentWindow = window};
        rc = logonFn(&r, flags, 1);
    } else if (p == kProtocolNotes) {
        char dir[260] = {};
        int size = sizeof dir;
        QuayGetSyncManagerDirectory(dir, &size);
        NotesLogonRecord r{.idFile = Text(d, kMapiProfile).c_str(),
                           .password = Text(d, kDesktopPassword).c_str(),
                           .programDirectory = dir,
                           .days = days,
                           .newerHandheld = newer,
                           .downloadAttachments = download,
                           .blockValue = blockValue,
                           .userDirectory = userDirectory.c_str(),
                           .accountName = name.c_str(),
                           .localSync = 0,
                           .parentWindow = window};
        rc = logonFn(&r, flags, 1);
    } else {
        const bool pop = p == kProtocolPop;
        std::string server = Text(h, kIncomingServer), smtp = Text(h, kSmtpServer), user = Text(h, kUserName);
        std::string password = Text(h, kPassword);
        // Ports are unsigned 16-bit numbers: one above 32767 is a port like any other.
        int32_t port = h.u16le(kIncomingPort), smtpPort = h.u16le(kSmtpPort);
        ByteSpan block(account->MutableImage().handheld);
        if (port == 0) {
            port = pop ? 110 : 143;
            block.putU16le(kIncomingPort, uint16_t(port));
            SyncMessage(pop ? 4367 : 4212, kActivityText, {name});
        }
        if (smtpPort == 0) {
            smtpPort = 25;
            block.putU16le(kSmtpPort, 25);
            SyncMessage(4213, kActivityText, {name});
        }
        int32_t serverUsable = 1, smtpUsable = 1;
        if (server.empty()) {
            SyncMessage(pop ? 4368 : 4214, kActivityError, {name});
            serverUsable = 0;
        }
        if (smtp.empty()) {
            SyncMessage(4215, kActivityError, {name});
            smtpUsable = 0;
        }
        if (user.empty()) {
            SyncMessage(4216, kActivityError, {name});
            attempt = false;
        }
        if (password.empty()) SyncMessage(4217, kActivityText, {name});
        if (!serverUsable && !smtpUsable) attempt = false;
        const bool separate = h.u32le(kSmtpLogin) != 0;
        std::string smtpUser, smtpPassword;
        if (separate) {
            smtpUser = Text(h, kSmtpUser);
            if (smtpUser.empty()) smtpUser = user;
            smtpPassword = Text(h, kSmtpPassword);
            if (smtpPassword.empty()) smtpPassword = password;
        }
        const int32_t maxSize = MaxSizeKb() * 1024;
        if (attempt) {
            LogonRecord r{.server = server.c_str(),
                          .smtpServer = smtp.c_str(),
                          .port = port,
                          .smtpPort = smtpPort,
                          .reserved1 = 0,
                          .reservedText = "",
                          .reserved2 = -1,
                          .user = user.c_str(),
                          .password = password.c_str(),
                          .sentFolder = pop ? "" : Text(h, kSentFolder).c_str(),
                          .emailAddress = Text(h, kEmailAddress).c_str(),
                          .downloadAttachments = download,
                          .blockValue = blockValue,
                          .unreadOnly = UnreadOnly() ? 1 : 0,
                          .days = days,
                          .serverUsable = serverUsable,
                          .smtpUsable = smtpUsable,
                          .reserved3 = 0,
                          .maxSize = maxSize,
                          .separateSmtpLogin = separate ? 1 : 0,
                          .smtpUser = smtpUser.c_str(),
                          .smtpPassword = smtpPassword.c_str(),
                          .userDirectory = userDirectory.c_str(),
                          .accountName = name.c_str(),
                          .newerHandheld = newer};
            if (pop) {
                PopLogonRecord popRecord = PopRecordOf(r, int32_t(h.u32le(kSwitch1648)));
                rc = logonFn(&popRecord, flags, 1);
            } else {
                rc = logonFn(&r, flags, 1);
            }
        }
    }
    if (rc != 0) {
        SyncMessage(4009, kActivityHostFailure);
        restoreMailClient();
        return 2;
    }
    // The folder list is needed after every logon; a host without it cannot be used.
    if (!module.getFolderList) {
        loggedOn = true;
        SyncMessage(4035, kActivityHostFailure);
        return kResultMissingExport;
    }
    loggedOn = true;
    if (module.supportsPartialMessages) partial = module.supportsPartialMessages() & 0xFF;
    folders = nullptr;
    folderCount = 0;
    module.getFolderList(&folders, &folderCount);
    if (!folders) folderCount = 0;
    tess::NameStandardFolders(folders, folderCount, Str);
    if (folderCount > 0) {
        std::vector<tess::accounts::ServerFolderInfo> infos;
        for (int i = 0; i < folderCount; ++i) {
            const FolderRecord* f = folders[i];
            if (!f || !f->name) continue;
            infos.push_back(
                {f->name, {static_cast<const uint8_t*>(f->extra), f->extra ? size_t(std::max(0, f->extraLength)) : 0}});
        }
        account->MergeServerFolders(infos, 1);
        ListedFolderListForHost(*account, folders, folderCount, host);
    }
    return 0;
}

int CHostConnection::DisconnectHost() {
    session.progress.SetStepCount(3);
    // Expunge while the session is still open; after Logoff the host could not.
    if (initialised && loggedOn && Protocol() == kProtocolImap) Imap4Commit();
    bool committed = false;
    if (loggedOn) {
        if (module.freeFolderList && folders) module.freeFolderList(folders, folderCount);
        if (module.logoff) committed = module.logoff() == 0;
    }
    session.SettleAwaitingActions(*this, committed);
    folders = nullptr;
    folderCount = 0;
    if (initialised)
        if (module.uninitialize) module.uninitialize();
    initialised = loggedOn = false;
    restoreMailClient();
    return 0;
}

void CHostConnection::restoreMailClient() {
    if (clientSet) clientSet->RestoreDefault();
    clientSet.reset();
}

}  // namespace tess::engine
