#pragma once
// The configuration model of one desktop user: identity and directories, the conduit's two
// synchronisation actions, the user-level settings and the user's accounts (one account
// object per slot, each with its account file). The pages exchange plain records with it;
// nothing is written to disk before Save.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "accounts/user_settings.h"

namespace tess {
class CNotesClient;
struct FolderRecord;
}  // namespace tess

namespace tess::config {

struct SyncActionRecord {
    int permanentAction = 0;
    int nextAction = 0;
    int logging = 0;
};

struct AccountSettingsRecord {
    int active = 0;
    std::string clientText;
    int clientCode = 0;
    std::string password;
    std::string profile;
    int profileIndex = -1;
    std::string notesIdFile;
    int localReplica = 0;
};

struct AccountOptionsRecord {
    int active = 0;
    int isRelayAccount = 0;
    int keyExpiryDays = 0;
    int keyExpiryDisabled = 0;
    int daysToSync = -1;
    int sizeLimitKb = 50;
    int syncInbox = 0;
    int sendOutbox = 0;
    std::string keyCreated;
    int unreadOnly = 0;
    int attachments = 1;
};

struct DevicePreferencesRecord {
    std::string protocolKeyword;
    std::string displayName;
    std::string emailAddress;
    std::string userName;
    std::string password;
};

struct DeviceServersRecord {
    std::string incomingServer;
    int incomingPort = 0;
    int apop = 0;
    std::string outgoingServer;
    int outgoingPort = 0;
    int esmtp = 0;
    std::string smtpUser;
    std::string smtpPassword;
    int handheldProtocol = 0;
};

struct AccountOverviewRecord {
    int active = 0;
    int synchronised = 0;
    int lastSync = 0;
    std::string clientText;
    int clientChanged = 0;
    int serverChanged = 0;
};

struct HandheldOverviewRecord {
    std::string protocol;
    std::string displayName;
    std::string emailAddress;
    std::string incomingServer;
    int apop = 0;
    std::string outgoingServer;
    int esmtp = 0;
};

struct MailClientEntry {
    std::string name;
    int code = 0;
};

// The account file's environment while the window runs: account files only, no sync log.
class ConfigEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

// The account's handheld values by field tag (the tags the data manager uses), written to
// the desktop copy and listed as changes for the next synchronisation.
int SetByTag(tess::accounts::CMailAccount& account, int tag, const std::string& text);
int SetByTag(tess::accounts::CMailAccount& account, int tag, int64_t value);
std::string TagText(const tess::accounts::CMailAccount& account, int tag);
int64_t TagNumber(const tess::accounts::CMailAccount& account, int tag);
// The longest text a page may take for the tag: the page's own limit, or less when the
// account file's field (with its terminator) holds less.
int TagTextLimit(int tag, int pageLimit);

class CUserConfig {
public:
    explicit CUserConfig(int userId);
    virtual ~CUserConfig();
    CUserConfig(const CUserConfig&) = delete;
    CUserConfig& operator=(const CUserConfig&) = delete;

    int LoadUser(int userId, int change);
    int ChangeUser(int userId);
    void Clear();
    // Null: everything; otherwise the current account only.
    int Save(const void* currentOnly);

    int GetSyncActions(SyncActionRecord* r) const;
    int SetSyncActions(const SyncActionRecord* r);
    int GetAccountSettings(AccountSettingsRecord* r);
    int SetAccountSettings(const AccountSettingsRecord* r);
    int GetAccountOptions(AccountOptionsRecord* r) const;
    int SetAccountOptions(const AccountOptionsRecord* r);
    int GetDevicePreferences(DevicePreferencesRecord* r) const;
    int SetDevicePreferences(const DevicePreferencesRecord* r);
    int GetDeviceServers(DeviceServersRecord* r) const;
    int SetDeviceServers(const DeviceServersRecord* r);
    int GetAccountOverview(AccountOverviewRecord* r) const;
    int GetHandheldOverview(HandheldOverviewRecord* r) const;

    void BuildMailClientList();
    const std::vector<MailClientEntry>& MailClients() const { return mailClients_; }
    int SetInboxSync(int flag);
    int AddAccount(const char* name, uint16_t imap);
    int DeleteAccount(int id);
    int SetFolderSync(const std::string& name, int on);
    // Reads the current account's folder list afresh through its message host (IMAP,
    // Extended MAPI, Notes) and merges it into the account's server folders, kept like any
    // other edit until the window saves. 0, with the folders as they were, when the host
    // is missing or the server cannot be reached, refuses the logon or the listing.
    int GetServerFolders();
    // The current account's host can list server folders (IMAP, Extended MAPI, Notes).
    int CanFetchServerFolders() const;
    // Lets the user pick a Notes ID file and its password and switches the Notes client to
    // it: 1 with the ID's user, the file and the password; 0 when cancelled or refused.
    int ChooseNotesIdFile(void* owner, std::string& notesUser, std::string& idFile, std::string& password);
    // The Notes client was found, loaded and started.
    int IsNotesClientReady() const;

    tess::accounts::CMailAccount* FindAccount(int id) const;
    int GetAccountProtocol(int id) const;
    const char* GetCurrentAccountName() const;
    int IsCurrentAccountActive() const;
    int FindOtherSimpleMapiAccount(std::string& out) const;
    int FindOtherExtendedMapiAccount(std::string& out) const;
    int HasAccountToSync() const;
    int NextActionIsSync() const { return nextAction == 0; }
    int ToggleDebugLogging();
    void SetLogging(int on);
    int CountAccounts() const;
    int HasSeveralAccounts() const;
    int CountReadyAccounts() const;
    int CountSyncAccounts() const;

    // Members the frame and pages read.
    int currentAccount = -1;
    int changed = 0;
    uint16_t activeMask = 0;
    int userId = 0;
    std::string userName;
    int relayAccount = -1;
    int slotCount = 8;
    int DataVersion() const { return settings_.conduitVersion; }
    const std::vector<std::unique_ptr<tess::accounts::CMailAccount>>& Accounts() const { return accounts_; }
    // Marks of accounts added in this window that the page tree has not shown yet.
    std::set<int> newAccounts;
    // Accounts whose mail client changed in this window (shown by the overview page).
    std::set<int> clientChanged;
    int permanentAction = 65535;
    int nextAction = 0;

private:
    bool ReadUserEntry();
    void WriteActions();
    tess::accounts::CMailAccount* Current() const { return FindAccount(currentAccount); }
    void NotesIdentity(const tess::accounts::CMailAccount& a, AccountSettingsRecord* r);

    ConfigEnvironment env_;
    tess::accounts::AccountInit init_;
    tess::accounts::CGeneralSettings settings_;
    std::vector<std::unique_ptr<tess::accounts::CMailAccount>> accounts_;
    std::vector<MailClientEntry> mailClients_;
    std::unique_ptr<CNotesClient> notes_;
};

// The product's web page: the "OnTheWeb" value of the product key, or the built-in
// address, which is then written there. Always 1.
int GetWebPageAddress(std::string& out);
int IsSimpleMapiProtocol(int code);
int IsExtendedMapiProtocol(int code);
void DoubleAmpersands(std::string& text);
void StripAmpersands(std::string& text);
// Keeps the digits of the text, clamped to min..max (no digits: min when 0 is below it,
// else "0"); true when the text had to change.
bool ClampNumberText(std::string& text, int min, int max);

}  // namespace tess::config
