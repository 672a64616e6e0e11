// The synchronisation driver: the fixed sequence of checks and phases of one Tallyhop
// operation, from SynchronizeMail to the result code.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "common/language_module.h"
#include "common/plugin_registry.h"
#include "common/sync_report.h"
#include "datamgr/ledgerly.h"
#include "engine/account_host_folders.h"
#include "engine/engine_log.h"
#include "engine/settings_upgrade.h"
#include "engine/sync_session.h"
#include "engine/system_report.h"
#include "progress/lampwick.h"

namespace tess::engine {

using tess::datamgr::CAttachmentTranslator;

namespace {

constexpr int kResultNoAes = 1;
constexpr int kResultRefused = 102;
constexpr int kResultHandheldFull = 106;  // no account was synchronised: the handheld has no room
constexpr uint16_t kUpgradeNoticeId = 0xFFFF;
constexpr uint16_t kUpgradeNoticeVersion = 2384;

// The pending upgrade notice for the handheld; the flag is cleared once it is written.
void SendUpgradeNotice() {
    if (!tess::IsUpgradeDone()) return;
    const uint8_t data[4] = {0, 0, 0, 1};
    if (SyncWriteAppPreference(kCreatorMail, kUpgradeNoticeId, 1, kUpgradeNoticeVersion, data, 4) == SYNC_OK)
        tess::ClearUpgradeDone();
}

// One synchronisation per user, and so per handheld, at a time: a second one started
// while the first runs would send the outbox again and store the new mail twice. The lock
// is the system's lock on a file in the user's folder, so it goes with the process that
// held it and a run that crashed blocks no later one.
class SyncRunLock {
public:
    explicit SyncRunLock(int userId) {
        char dir[1024];
        int size = sizeof dir;
        if (RosterGetUserDirectory(userId, dir, &size) != SYNC_OK) return;  // the run finds no user either
        const std::string path = std::string(dir) + "Tessaline.sync.lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            Debug("The synchronisation lock " + path + " cannot be opened: " + std::strerror(errno) + ".");
            return;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            busy_ = errno == EWOULDBLOCK;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~SyncRunLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    SyncRunLock(const SyncRunLock&) = delete;
    SyncRunLock& operator=(const SyncRunLock&) = delete;
    // Another process synchronises this user now.
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

}  // namespace

CSyncSession& Session() {
    static CSyncSession session;
    return session;
}

CSyncSession::CSyncSession() = default;
CSyncSession::~CSyncSession() = default;

void EngineAccountEnvironment::SyncMessage(int id, std::string_view a1, std::string_view a2) {
    // The account's own messages: failures to write the handheld are errors, the rest notices.
    const int activity = (id == 4102 || id == 4173 || id == 4208) ? kActivityError : kActivityText;
    tess::engine::SyncMessage(unsigned(id), activity, {std::string(a1), std::string(a2)});
}

void EngineAccountEnvironment::ProductLog(std::string_view line) { MLOGAdd(std::string(line).c_str()); }

int CSyncSession::Run(SyncProperties* props, HMODULE hosts[5], int lastHostIndex, int user) {
    // 1. The AES library must be there; nothing else runs without it.
    if (HMODULE aes = LoadLibraryA("HXAES.dll")) {
        FreeLibrary(aes);
    } else {
        SyncMessage(4372, kActivityError, {"HXAES.dll"});
        return kResultNoAes;
    }

    const SyncRunLock runLock(user);
    if (runLock.busy()) {
        SyncLine("A synchronisation for this handheld is already running; this one does not start.", kActivityError);
        return kResultRefused;
    }

    properties = props;
    connections.clear();
    environment = std::make_unique<EngineAccountEnvironment>();
    registeredTypes.Forget();
    db.haveProperties = props != nullptr;
    db.dbVersion = kVersionUnset;
    appVersion = 1024;
    noUserInterface = props && props->syncType == 6;
    Logging() = {};
    securityInfo.clear();
    connections.clear();

    int result = 0;
    bool closingLine = true;
    SyncConduitHandle registration = 0;
    bool registered = false;

    if (!noUserInterface) {
        progress.ShowProgress();
        progress.SetStepCount(5);
        progress.SetProgressTextId(4443);
    }

    do {
        if (SyncRegisterConduit(&registration) != SYNC_OK) {
            Debug("Failed to register the conduit with the sync manager.");
            ReportSeeLog();
            result = kResultRefused;
            break;
        }
        registered = true;
        progress.AdvanceStep();
        SendUpgradeNotice();

        if (!CheckHandheldSpace()) {
            result = kResultHandheldFull;
            if (!noUserInterface) {
                SyncMessage(4205, kActivityError);
                ReportSeeLog();
            }
            break;
        }
        progress.AdvanceStep();
        // The stored version belongs to the synchronising user, who must be known first.
        userId = user;
        ReadConduitVersion();

        const int found = FindSyncUser(user);
        if (found != 0) {
            if (found == 5) {
                SyncMessage(4031, kActivityError);
                ReportSeeLog();
                result = 5;
            }
            break;
        }

        progress.AdvanceStep();
        const int versionRead = db.ReadDatabaseVersion();
        if (db.dbVersion == kVersionUnset) {
            if (!noUserInterface) {
                if (versionRead == 1)
                    SyncMessage(4234, kActivityError);
                else
                    SyncMessage(4173, kActivityText);
                MoveSyncIniSection(userId);
            }
            break;
        }
        if (storedDataVersion != int(kDataVersion)) UpgradeUserSettingsFor(*this, userId, storedDataVersion);

        if (db.dbVersion > 1056) {
            std::vector<uint8_t> answer;
            if (CallDeviceModule(3, answer)) {
                // The answer is at most 32 bytes and need not carry its terminator.
                const size_t n = std::min<size_t>(answer.size(), 32);
                securityInfo.assign(reinterpret_cast<const char*>(answer.data()),
                                    strnlen(reinterpret_cast<const char*>(answer.data()), n));
            } else {
                SyncMessage(4466, kActivityError);
            }
        }

        progress.AdvanceStep();
        if (BuildAccountConnections(hosts, lastHostIndex) != 0) {
            ReportSeeLog();
            break;
        }

        db.Close();
        bool componentAccount = false;
        for (auto& c : connections)
            if (c->IsActive() && c->IsComponent()) componentAccount = true;
        if (const int rc = OpenDataManagerSession(ipesBlock, userId, componentAccount, noUserInterface); rc != 0) {
            std::string text;
            LookupErrorText(rc, text);
            MLOGAdd(("The data manager could not be opened: " + text).c_str());
        } else {
            PRGClose();
        }
        for (const std::string& line : setupReport) Debug(line);
        setupReport.clear();

        LogSyncStart();
        ReadAppVersion();

        bool anyActive = false;
        for (auto& c : connections)
            if (c->IsActive()) anyActive = true;
        if (anyActive && !noUserInterface && HasSyncWork()) {
            serverChanged.clear();
            for (auto& c : connections)
                if (c->HasServerChangedMark()) serverChanged.insert(c->slot);
            progress.AdvanceStep();
            if (LoadDisconnectedActions() != 0) {
                ReportSeeLog();
                break;
            }
            progress.AdvanceOverall();
            if (LoadDeviceMessages() != 0) {
                ReportSeeLog();
                break;
            }
            bool stillActive = false;
            for (auto& c : connections)
                if (c->IsActive()) stillActive = true;
            if (stillActive) {
                progress.AdvanceOverall();
                const int type = properties ? properties->syncType : -1;
                if (type == 0 || type == 1 || type == 3) result = SyncAccounts();
            }
        } else {
            if (noUserInterface) {
                LogDoNothing();
            } else {
                LogNoActiveAccounts();
                ReportSeeLog();
            }
            closingLine = false;
        }
    } while (false);

    // Closing.
    DestroyConnections();
    db.KeepMessageIndex();
    if (closingLine) LogSyncEnd();
    db.Close();
    if (registered) SyncUnregisterConduit(registration);
    progress.CloseProgress();
    Debug("-->* Tessaline Debug Filter Finished Reporting *<--");
    properties = nullptr;
    db.haveProperties = false;
    return result;
}

void CSyncSession::ReadConduitVersion() {
    storedDataVersion = 0;
    RosterReadInt(userId, StrOr(4460, "Tessaline").c_str(), StrOr(4274, "ConduitVersion").c_str(), &storedDataVersion,
                  0);
    if (storedDataVersion == 0)
        RosterReadInt(userId, StrOr(4048, "Larkspur").c_str(), StrOr(4274, "ConduitVersion").c_str(),
                      &storedDataVersion, 0);
}

int CSyncSession::FindSyncUser(int user) {
    userId = user;
    conduitInfo.Load(kCreatorMail);
    userList.Load();
    const CUserList::Entry* e = userList.FindUser(user);
    if (!e) return 1;
    accountInit = {};
    accountInit.userId = user;
    accountInit.dataVersion = kDataVersion;
    accountInit.userDirectory = e->directory + conduitInfo.directory;
    try {
        translator = std::make_unique<CAttachmentTranslator>(user);
    } catch (const std::bad_alloc&) {
        return 5;
    }
    return 0;
}

int CSyncSession::ReadDeviceStatus() {
    uint32_t status = 0;
    if (CallDeviceModuleInt(0, status)) {
        if (int32_t(status) != generalSettings.version) {
            generalSettings.version = int32_t(status);
            SaveGeneralSettings();
        }
        return 1;
    }
    if (generalSettings.version != 0) {
        generalSettings.version = 0;
        SaveGeneralSettings();
    }
    return 0;
}

void CSyncSession::SaveGeneralSettings() {
    generalSettings.Save(userId, StrOr(4048, "Larkspur").c_str(), int(kDataVersion), int(0xFF000000));
}

void CSyncSession::ReadAppVersion() {
    uint32_t v = 0;
    appVersion = CallDeviceModuleInt(2, v) ? int(v) : 1024;
    Debug(Printf("Client Version Information:\nDatabase Version: %04x\nApp Version: %04x\n", db.dbVersion, appVersion));
}

int CSyncSession::LoadAccountSettings() {
    generalSettings.SetDefaults();
    for (auto& c : connections)
        if (c->account) c->account->SetDefaults();
    if (!generalSettings.Load(userId, StrOr(4048, "Larkspur").c_str(), int(kDataVersion), int(0xFF000000))) {
        CreateIniFileSettingsFor(*this, userId);
        if (!generalSettings.Load(userId, StrOr(4048, "Larkspur").c_str(), int(kDataVersion), int(0xFF000000))) {
            Debug("Failed to read the INI file after forcing default settings.");
            return 3;
        }
    }
    ReadDeviceStatus();
    logDebug = generalSettings.enableLogging && generalSettings.logDebug;
    logInfo = generalSettings.enableLogging && generalSettings.logInformational && !generalSettings.logDebug;
    Logging() = {logDebug, logInfo};
    accountInit.logFolderAdditions = logDebug ? 1 : 0;
    if (connections.empty() || !properties) return 3;
    for (auto& c : connections) {
        if (!c->account) {
            tess::accounts::AccountInit init = accountInit;
            init.accountNumber = c->slot;
            c->account = std::make_unique<tess::accounts::CMailAccount>(init, Env());
        }
        if (!c->account->Load()) {
            Debug("While reading INI file, an account is either invalid or failed to load settings.");
            return 3;
        }
    }
    return 0;
}

bool CSyncSession::HasSyncWork() {
    bool work = false;
    for (auto& c : connections) {
        if (!c->IsActive()) continue;
        if (c->HasSelectedFolders() || c->Outbox()) {
            work = true;
        } else if (c->Protocol() != kProtocolPlaceholder) {
            SyncMessage(4305, kActivityError, {c->Name()});
        }
    }
    return work;
}

int CSyncSession::BuildAccountConnections(HMODULE hosts[5], int lastHostIndex) {
    for (int slot = 0; slot < kAccountSlots; ++slot)
        connections.push_back(std::make_unique<CHostConnection>(*this, slot));
    if (int rc = LoadAccountSettings(); rc != 0) {
        connections.clear();
        return rc;
    }
    if (logDebug) {
        // The product log opens with the data manager's session, after the connections:
        // held until then, or the report would be lost.
        setupReport = FileVersionReportLines();
        setupReport.push_back("-->* Tessaline Debug Filter Activated And Started *<--");
    }
    for (auto& c : connections) {
        tess::accounts::CMailAccount& a = *c->account;
        const char* key = securityInfo.empty() ? nullptr : securityInfo.c_str();
        const int rc =
            a.Reconcile(prefs, logDebug ? 1 : 0, noUserInterface ? 1 : 0, generalSettings.version == 1 ? 1 : 0, key);
        if (rc == 0 && !noUserInterface) {
            const int p = c->Protocol();
            if (p == kProtocolImap || p == kProtocolMapi || p == kProtocolMapi2 || p == kProtocolNotes ||
                c->IsRelayAccount())
                a.WriteDeviceFolders(prefs);
        }
        // The host is handed the handheld's folders by slot, whatever the reconciliation
        // found; at logon the folders the host lists take their slots over.
        QueuedFolderListForHost(a, c->host);
        if (rc == tess::accounts::kReconcileNoRecord) {
            c->Deactivate();
            connections.clear();
            return rc;
        }
        if (rc == tess::accounts::kReconcileImapOneSide) {
            if (!c->Name().empty() && c->IsActive() && !noUserInterface) {
                SyncMessage(4209, kActivityError, {c->Name()});
                Debug(FormatText(Str(4209), {c->Name()}));
            }
            c->Deactivate();
        }
        if (rc == 0 && c->IsRelayAccount()) RelayKeyExchange(*c);
        if (!c->IsActive()) continue;
        BindHost(*c, hosts, lastHostIndex);
    }
    return 0;
}

void CSyncSession::BindHost(CHostConnection& c, HMODULE hosts[5], int lastHostIndex) {
    static const char* const kHostNames[] = {"Copperfen", "Briarholt", "Heronwick", "Fenwick", "Thistledown"};
    const int p = c.Protocol();
    int entry = -1, name = -1;
    if (p == kProtocolMapi || p == kProtocolMapi2) {
        entry = 0, name = 0;
    } else if (p == kProtocolNotes) {
        entry = lastHostIndex > 1 ? 2 : -1, name = 1;
    } else if (p == kProtocolImap) {
        entry = lastHostIndex > 2 ? 3 : -1, name = 2;
    } else if (p == kProtocolPop) {
        entry = lastHostIndex > 3 ? 4 : -1, name = 3;
    } else if (p >= 0 && p <= 3) {
        entry = lastHostIndex > 0 ? 1 : -1, name = 4;
    } else if (c.IsComponent()) {
        CheckComponentAccount(c);
        return;
    } else {
        c.Deactivate();
        return;
    }
    c.module = HostModule::Bind((entry >= 0 && hosts) ? hosts[entry] : nullptr);
    if (!c.module) {
        SyncMessage(4372, kActivityError, {kHostNames[name]});
        c.Deactivate();
    }
}

}  // namespace tess::engine
