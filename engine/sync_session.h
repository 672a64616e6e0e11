// The phases of one synchronisation, in the order CSyncSession::Run runs them. A phase
// may assume what the phases above it left; when one fails the run goes straight to the
// closing phase (a missing AES library ends it before anything is opened).
//
//  1. Preconditions      Run (sync_driver.cpp)
//     The AES library loads, the conduit registers with the sync manager, a pending
//     upgrade notice is written, the handheld has room (CheckHandheldSpace). Assumes
//     nothing.
//  2. User and handheld  ReadConduitVersion, FindSyncUser, CDeviceDb::ReadDatabaseVersion
//     The desktop user, their conduit folder and attachment translator; the handheld's
//     database version (none: the run ends); the user's settings upgraded when the stored
//     version differs (UpgradeUserSettingsFor); a newer handheld's security info.
//  3. Accounts           BuildAccountConnections: LoadAccountSettings, then per slot
//                        CMailAccount::Reconcile, RelayKeyExchange, BindHost
//     Assumes the user and the database version. Leaves one CHostConnection per slot
//     with its account loaded and agreed with the handheld; each active one bound to its
//     host module (loaded, not connected) or deactivated.
//  4. Data manager       OpenDataManagerSession (sync_components.cpp), ReadAppVersion
//     The progress service and the data manager's session opened for the user (a
//     failure is logged, not fatal). The engine's handheld database is closed first:
//     one database is open at a time.
//  Phases 5 to 7 run only with an active account, a user interface and work to do
//  (HasSyncWork); phase 7 only for sync types 0, 1 and 3.
//  5. Actions            LoadDisconnectedActions (disconnected_actions.cpp)
//     Assumes the connections. Each active account gets the handheld's disconnected
//     actions; those of accounts marked deleted or server-changed are dropped. Spends
//     the server-changed mark: serverChanged remembers it for phase 6.
//  6. Handheld messages  LoadDeviceMessages (account_loop.cpp)
//     Assumes the actions are loaded. Fills each connection's device map; removes what
//     the handheld deleted and the copies of accounts deleted or server-changed.
//  7. Account loop       SyncAccounts (account_loop.cpp), one active account at a time:
//     a. ConnectHost (host_connection.cpp): Initialize, Logon, GetFolderList; the host's
//        folders merged into the account. Nothing below runs when it fails.
//     b. CollectHostMessages (host_exchange.cpp), per selected folder: host messages
//        matched to their handheld copies (kMsgFlagSeenOnHost), new ones into the host
//        map (their headers asked for in bounded batches; when c ran first, they wait
//        whole in the connection's temporary file instead); a folder whose listing
//        failed goes into failedFolders.
//     c. PerformDisconnectedActions (disconnected_actions.cpp): after b for accounts of
//        Kind() 0 or 4 other than POP, before b for the rest.
//     d. SendOutbox (outbox.cpp), when the account sends its outbox.
//     e. SyncDeviceMessages (account_loop.cpp), only when b to d asked for no
//        disconnect: assumes b's maps. Changes written to the handheld copies, copies
//        the host no longer lists deleted (never for a folder in failedFolders), new
//        messages added; then CMailAccount::MarkSynchronised.
//     f. DisconnectHost (host_connection.cpp): IMAP commit while still logged on, then
//        FreeFolderList, Logoff, Uninitialize. Runs after any failure of b to e.
//     An external sync component's account runs RunComponentAccount instead of a to f.
//  8. Closing            Run: DestroyConnections, LogSyncEnd, CDeviceDb::Close,
//                        SyncUnregisterConduit, the progress window closed.

#pragma once
// One synchronisation: the driver and the phases it runs, over the session's state.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/handheld_record_io.h"
#include "common/sync_progress_dialog.h"
#include "accounts/user_settings.h"
#include "datamgr/ledgerly_translator.h"
#include "accounts/sync_preferences.h"
#include "accounts/system_environment.h"
#include "engine/device_database.h"
#include "engine/host_connection.h"
#include "engine/sync_components.h"

namespace tess::engine {

using tess::datamgr::CAttachmentTranslator;

inline constexpr int kAccountSlots = 8;
inline constexpr unsigned kDataVersion = 517;

// The account's surroundings during a synchronisation: the relay's values, the per-user
// store and HXAES from the system, the two logs from the engine.
class EngineAccountEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int id, std::string_view arg1, std::string_view arg2) override;
    void ProductLog(std::string_view line) override;
};

class CSyncSession {
public:
    CSyncSession();
    ~CSyncSession();

    int Run(SyncProperties* properties, HMODULE hosts[5], int lastHostIndex, int userId);

    // State of the running synchronisation.
    SyncProperties* properties = nullptr;
    bool noUserInterface = false;
    int userId = 0;
    CConduitInfo conduitInfo;
    CUserList userList;
    tess::accounts::AccountInit accountInit;
    bool logDebug = false, logInfo = false;
    std::vector<std::string> setupReport;  // debug lines written once the product log is open
    std::vector<std::unique_ptr<CHostConnection>> connections;
    tess::accounts::CGeneralSettings generalSettings;
    CSyncProgress progress;
    CDeviceDb db;
    std::string securityInfo;
    int storedDataVersion = 0;
    // Slots whose account carried the server-changed mark when the handheld's state was
    // loaded: loading the actions spends the mark, the messages still have to go.
    std::set<int> serverChanged;
    int appVersion = 1024;
    // The accounts' surroundings, made anew for each export call: registry handles and the
    // AES binding belong to one run's runtime root.
    std::unique_ptr<EngineAccountEnvironment> environment;
    EngineAccountEnvironment& Env() {
        if (!environment) environment = std::make_unique<EngineAccountEnvironment>();
        return *environment;
    }
    CRegisteredTypes registeredTypes;
    std::unique_ptr<CAttachmentTranslator> translator;  // the user's, made by FindSyncUser
    int translationContext = 0;                         // the value the plug-ins are given
    IpesInitBlock ipesBlock{};
    tess::accounts::SyncManagerPreferences prefs;

    int DbVersion() const { return db.dbVersion; }

    // Driver steps.
    int FindSyncUser(int userId);
    void ReadConduitVersion();
    int ReadDeviceStatus();
    int BuildAccountConnections(HMODULE hosts[5], int lastHostIndex);
    int LoadAccountSettings();
    bool HasSyncWork();
    void ReadAppVersion();
    void DestroyConnections() { connections.clear(); }
    void SaveGeneralSettings();
    void BindHost(CHostConnection& c, HMODULE hosts[5], int lastHostIndex);
    void RelayKeyExchange(CHostConnection& c);
    bool IsKeyExpired() const;
    void CheckComponentAccount(CHostConnection& c);
    void ClearComponentBinding(CHostConnection& c);
    void RunComponentAccount(CHostConnection& c);

    // Account loop and handheld messages.
    int LoadDeviceMessages();
    int SyncAccounts();
    // The account's one line in the sync log when its turn failed; true when it did.
    bool ReportAccountFailure(CHostConnection& c);
    int SyncDeviceMessages(CHostConnection& c);
    int AddMessageToDevice(CHostConnection& c, CMsg& msg);
    void RememberDelivered(CHostConnection& c, const CMsg& msg);
    int UpdateDeviceMessage(CHostConnection& c, CMsg& msg);
    int DeleteDeviceMessage(CMsg& msg);
    bool ClearIdCache(int slot);
    CHostConnection* ConnectionForAccount(int accountNumber);
    bool ServerChanged(const CHostConnection& c) const {
        return c.HasServerChangedMark() || serverChanged.count(c.slot) != 0;
    }

    // Disconnected actions and the outbox.
    int LoadDisconnectedActions();
    int PerformDisconnectedActions(CHostConnection* c);
    // Removes the action records of c.awaitingCommit when the host committed them, else
    // keeps them on the handheld; empties the list.
    void SettleAwaitingActions(CHostConnection& c, bool committed);
    int WriteDisconnectedAction(int accountId, int opcode, int uid, const std::string& a1, const std::string& a2);
    // Tells the relay, through the handheld, that a message of its account changed.
    void QueueRelayAction(CHostConnection& c, CMsg& msg);
    int SendOutbox(CHostConnection& c);

    // Attachments and parts on the handheld.
    int AddAttachmentsToDevice(CHostConnection& c, CMsg& msg, bool newMessage);
    void TrackDeliveredSize(CMsg& msg, CHostConnection& c);
    // Part records of a relay account's messages carry the message's ids: only handhelds
    // that read them are given them.
    bool RelayPartIds(const CHostConnection& c) const {
        return generalSettings.version == 0 && appVersion >= 1056 && c.IsRelayAccount();
    }
    // A new part record of the category with the sizes (and the message's ids for a relay
    // account); 0 with the record's id in *recordId, else message 4179 was written.
    int WritePartRecord(CHostConnection& c, const CMsg& msg, uint32_t delivered, uint32_t total, uint32_t storedId,
                        uint32_t* recordId);
    // The message's own part record, for the accounts whose handheld keeps one.
    void WriteMessagePartRecord(CHostConnection& c, CMsg& msg);

    // A translated copy of the file for the direction (0 toward the handheld, 1 back),
    // or the path itself when no plug-in applies or it fails. translated tells which.
    std::string TranslateAttachment(const std::string& path, int direction, bool& translated);

    // Debug reports.
    void WriteAccountReport(CHostConnection& c);
};

// The one session of the module.
CSyncSession& Session();

bool IsRelayControlMail(const CMsg& msg);

}  // namespace tess::engine
