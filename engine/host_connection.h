#pragma once
// One account during a synchronisation: its message host module, its account object, the
// host's folder list and two folder maps of messages (the handheld's and the host's), and
// the disconnected actions loaded for it.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/action_record.h"
#include "common/handheld_records.h"
#include "common/msg_record.h"
#include "accounts/mail_account.h"
#include "engine/body_spill.h"
#include "engine/host_module.h"
#include "engine/mail_client_set.h"
#include "engine/tidewater.h"

namespace tess::engine {

class CSyncSession;

enum : int {
    kProtocolNone = 0,
    kProtocolMapi = 4,
    kProtocolMapi2 = 5,
    kProtocolNotes = 6,
    kProtocolImap = 7,
    kProtocolPop = 8,
    kProtocolPlaceholder = 255,
    kProtocolComponent = 256,  // above this: an external sync component
};

// The server kind of an account (the handheld account record's word 0); other values are
// ordinary accounts.
enum : int {
    kServerKindPlain = 0,
    kServerKindRelay = 4,
};

enum : int {
    kConnSyncOnly = 0,
    kConnDialUp = 1,
    kConnWireless = 2,
    kConnTcpIp = 3,
};

// Folders and their messages, by folder key (the handheld category).
class CFolderMap {
public:
    struct Entry {
        int key = 0;
        std::string name;
        std::vector<uint8_t> extra;
        int type = -1;
        std::vector<std::unique_ptr<CMsg>> msgs;
        FolderRecord record{};  // points into this entry; only read by the hosts
    };

    Entry* Find(int key);
    // Nothing for an empty name; success without change when the key exists.
    bool AddFolder(int key, const std::string& name, const void* extra, int extraLength, int type);
    // The entry of the key, made without a name when missing.
    Entry& EntryOf(int key);
    void AddMsg(std::unique_ptr<CMsg> msg) { EntryOf(msg->category).msgs.push_back(std::move(msg)); }
    std::vector<std::unique_ptr<CMsg>>* Messages(int key);
    // -1: every key.
    size_t Count(int key = -1) const;
    // Removes the message and returns its owner (null when it is not here).
    std::unique_ptr<CMsg> Take(const CMsg* msg);
    FolderRecord* Record(int key);
    std::vector<std::unique_ptr<Entry>>& Entries() { return entries_; }

private:
    std::vector<std::unique_ptr<Entry>> entries_;
};

// A disconnected action of the account, read from its handheld record.
struct DisconnectedAction : tess::ActionRecord {
    uint32_t recordId = 0;
};

// An account's turn failed (its logon, its server lost, its listing, the handheld full):
// the run's result when any account failed, so the sync manager and `tallyhop sync` say
// so. It is the code a failed logon has always given.
constexpr int kResultAccountFailed = 2;
// The host stopped answering in the middle of the account's turn.
constexpr int kResultHostLost = 105;

class CHostConnection {
public:
    CHostConnection(CSyncSession& session, int slot);
    ~CHostConnection();
    CHostConnection(const CHostConnection&) = delete;
    CHostConnection& operator=(const CHostConnection&) = delete;

    CSyncSession& session;
    const int slot;
    std::unique_ptr<tess::accounts::CMailAccount> account;
    HostModule module;  // the host library and its exports, bound when it is loaded
    bool initialised = false;
    bool loggedOn = false;
    int partial = 0;
    FolderRecord** folders = nullptr;
    int folderCount = 0;
    CFolderMap device;  // list 0: the handheld's messages
    CFolderMap host;    // list 1: the host's new messages of the folders collected
    CBodySpill bodies;  // the texts of the host's new messages until they are written
    // Set when nothing reads the host's new messages between their collection and their
    // writing (the disconnected actions ran before): they then wait in `bodies` whole.
    bool newMessagesOutWhole = false;
    std::vector<DisconnectedAction> actions;
    // Handheld action records carried out on a host that commits them only when its
    // session ends well (POP deletions take effect at QUIT): removed at a good logoff,
    // else kept for the next synchronisation.
    std::vector<uint32_t> awaitingCommit;
    std::set<int> failedFolders;  // folder keys whose listing failed in this turn
    // Why the account's turn failed in this run, for its one line in the sync log; empty
    // while nothing failed.
    std::string failure;
    // Handheld messages some of whose attachments the handheld holds only in part: their
    // attachments are written again at the next update.
    std::set<const CMsg*> attachmentUpdates;
    // Handheld messages whose text was left in their record when they were loaded (a
    // mailbox's worth of texts is not held): read back before the record is written anew.
    std::unordered_set<const CMsg*> textOnHandheld;
    std::string accountText;
    HostResolveNameFn resolveName = nullptr;
    HostCompareMsgIdFn compareMsgId = nullptr;
    std::unique_ptr<CMailClientSet> clientSet;  // while the default mail client is switched

    // The account's values.
    int Protocol() const;
    int Kind() const;  // the server kind: the handheld account record's word 0
    // Server kind 4: an account the desktop relay serves. Its messages are known by the
    // ids their part-information records carry, and their changes go back to the relay.
    bool IsRelayAccount() const { return Kind() == kServerKindRelay; }
    // Server kind 0: the host knows messages by the texts of their message ids, not by
    // host ids (a POP account of this kind logs on with the POP record).
    bool IdentifiesByMessageId() const { return Kind() == kServerKindPlain; }
    int ConnType() const;
    bool IsActive() const;
    bool IsComponent() const {
        int p = Protocol();
        return p > kProtocolComponent && p != -1;
    }
    std::string Name() const;
    int DaysToSync() const;
    int MaxSizeKb() const;
    bool UnreadOnly() const;
    bool Outbox() const;
    bool DownloadAttachments() const;
    bool HasDeletionMark() const;
    bool HasServerChangedMark() const;
    bool HasSelectedFolders() const;
    void Deactivate();
    void ClearServerChangedMark();

    // Connecting (0, 2 or kResultMissingExport) and disconnecting.
    int ConnectHost(bool trace, bool summary, const std::string& userDirectory);
    int DisconnectHost();

    // Host message operations (results as the engine's phases use them).
    int CollectHostMessages(FolderRecord* folder, int key, bool summary, bool trace);
    int FetchMessage(FolderRecord* folder, CMsg& msg);
    int SetReadState(FolderRecord* folder, CMsg& msg);
    int DeleteMessage(FolderRecord* folder, CMsg& msg);
    int SendMessage(CMsg& msg);
    int GetAttachments(CMsg& msg, AttachmentTable** table);
    int FreeAttachments(AttachmentTable** table);
    int FilterCheck(CMsg& msg, bool log);
    void ResolveNames(CMsg& msg);
    int Imap4Commit();
    int Imap4SelectFolder(const char* name);
    int Imap4CopyMessage(uint32_t uid, const char* from, const char* to);
    int Imap4AddFolder(const char* name);
    int Imap4DeleteFolder(const char* name);
    int Imap4RenameFolder(const char* name, const char* newName);
    int Imap4SetSeenFlag(uint32_t uid, int seen);

    // The handheld copy of a host message, or null.
    CMsg* FindDeviceCopy(CMsg& hostMsg);
    // The host message collected with this id (msgId or hostId), or null.
    CMsg* FindHostMessage(const CMsg& probe);

private:
    // 0 when an IMAP folder call may go to the host: an initialised IMAP host that
    // exports it (else kResultMissingImapExport, reported); 3 for any other account.
    int imapReady(const void* fn);
    template <class Fn, class... Args>
    int callImap(Fn fn, Args... args) {
        if (int rc = imapReady(reinterpret_cast<const void*>(fn))) return rc;
        return fn(args...);
    }
    void updateCopy(CMsg& hostMsg, CMsg& copy, FolderRecord* folder);
    // false when the host could not give the message's body this time.
    bool prepareNew(CMsg& msg, FolderRecord* folder);
    int logon(bool trace, bool summary, const std::string& userDirectory);
    void restoreMailClient();
    // The IMAP copy of a host id in one category's list: a hash from the id's bytes to the
    // first position holding it, made again whenever the list was changed since.
    CMsg* findImapCopy(std::vector<std::unique_ptr<CMsg>>& list, const CId& hostId);
    struct CopyIndex {
        const void* data = nullptr;
        size_t size = 0;
        std::unordered_map<std::string, size_t> at;
    };
    std::unordered_map<const void*, CopyIndex> copyIndex_;
};

// Id texts: two parts split at the byte 0x01.
std::string IdPart(const std::string& text, int part);
std::string ReplaceIdPart(const std::string& text, int part, const std::string& value);
std::string IdText(const CId& id);

}  // namespace tess::engine
