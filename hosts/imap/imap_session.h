#pragma once
// CImapSession: the one account session of the IMAP host. Over what every internet host
// session keeps (inet::CHostSession: logon values, SMTP client), it keeps the IMAP
// connection and a cache of the folders and the messages fetched during this logon.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/msg_record.h"
#include "hosts/imap/heronwick.h"
#include "hosts/imap/imap_connection.h"
#include "hosts/inet/host_session.h"
#include "hosts/inet/mime_message.h"

namespace imap {

using tess::AttachmentTable;
using tess::CId;
using tess::CMsg;
using tess::FolderRecord;
using tess::LogonRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;

struct MessageInfo {
    uint32_t uid = 0;
    int seen = 0;
    int64_t receivedTime = 0;  // seconds since 1970; 0 when unknown
    bool dated = true;         // false: receivedTime not fetched yet
};

struct CImapFolder {
    std::string name;
    std::vector<MessageInfo> infos;
    std::vector<std::unique_ptr<CMsg>> messages;  // fetched whole and not yet handed out
    std::vector<uint32_t> uids;                   // the last search

    // Added through these, found by hash: the first one added under a UID or id wins.
    void AddInfo(const MessageInfo& info) {
        infoAt_.emplace(info.uid, infos.size());
        infos.push_back(info);
    }
    MessageInfo* Info(uint32_t uid) {
        auto it = infoAt_.find(uid);
        return it == infoAt_.end() ? nullptr : &infos[it->second];
    }
    void AddMessage(std::unique_ptr<CMsg> msg) {
        const std::string key = KeyOf(msg->hostId);
        // A message fetched again because it was handed out replaces what was kept of it.
        handedOut_.erase(key);
        auto [it, added] = messageAt_.emplace(key, msg.get());
        if (added) messages.push_back(std::move(msg));
    }
    // The message fetched whole and not yet handed out, or null.
    const CMsg* Message(const CId& hostId) const {
        auto it = messageAt_.find(KeyOf(hostId));
        return it == messageAt_.end() ? nullptr : it->second;
    }
    // A message handed out to the engine is not kept for the rest of the logon (a
    // mailbox's worth would be): asked for again, it is fetched again. What its
    // attachments were saved as stays known.
    void HandOut(const CId& hostId) {
        auto it = messageAt_.find(KeyOf(hostId));
        if (it == messageAt_.end()) return;
        handedOut_[it->first] = it->second->AttachmentNames;
        // The one handed out is nearly always the last one fetched.
        auto owner = std::find_if(messages.rbegin(), messages.rend(),
                                  [&](const std::unique_ptr<CMsg>& m) { return m.get() == it->second; });
        if (owner != messages.rend()) {
            owner->swap(messages.back());
            messages.pop_back();
        }
        messageAt_.erase(it);
    }
    // The message was fetched during this logon, whether or not it is still kept.
    bool Fetched(const CId& hostId) const {
        const std::string key = KeyOf(hostId);
        return messageAt_.count(key) != 0 || handedOut_.count(key) != 0;
    }
    // The attachment files of a message fetched during this logon; false when it was not.
    bool AttachmentNames(const CId& hostId, std::string& names) const {
        const std::string key = KeyOf(hostId);
        if (auto it = messageAt_.find(key); it != messageAt_.end()) {
            names = it->second->AttachmentNames;
            return true;
        }
        auto it = handedOut_.find(key);
        if (it == handedOut_.end()) return false;
        names = it->second;
        return true;
    }

private:
    static std::string KeyOf(const CId& id) {
        int32_t n = 0;
        const uint8_t* bytes = id.GetData(&n);
        return bytes && n > 0 ? std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n))
                              : std::string();
    }
    std::unordered_map<uint32_t, size_t> infoAt_;
    std::unordered_map<std::string, CMsg*> messageAt_;
    std::unordered_map<std::string, std::string> handedOut_;  // id -> its attachment names
};

// Codes this layer adds to the command layer's.
constexpr int kSessionNotFetched = 3;  // GetMsg: the message could not be fetched
constexpr int kSessionNoMessage = 2;   // DeleteMsg failed; attachments of an unknown message
constexpr int kSessionSendFailed = inet::kSendFailed;

class CImapSession : public inet::CHostSession {
public:
    CImapSession();
    ~CImapSession() override;

    bool ImapUsable() const { return imapUsable_; }
    CImapConnection& Connection() { return connection_; }
    const std::vector<std::string>& FolderNames() const { return folderNames_; }
    const std::string& SinceDate() const { return imapSettings_.sinceDate; }

    // 0 when at least one side (IMAP or SMTP) is usable, else 1.
    int Logon(const LogonRecord* record, int flags);
    int Logoff() override;
    void Cleanup() override;

    // Folder list.
    int GetFolderList(FolderRecord*** out, int* count);
    static int SpecialFolderName(const char* name);

    // Listing and fetch (imap_messages.cpp).
    int GetMsgIds(const char* folder, MailMsg*** out, int* count);
    int GetMsgHeaders(const char* folder, MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount);
    int GetAllMsgs(MailMsg*** out, int* count, bool headersOnly) override;
    int GetMsg(const char* folder, const MsgIdDescriptor* id, MailMsg** out);
    int GetMessageAttachment(const char* folder, int idLength, const void* idBytes, AttachmentTable** out);
    int FetchMessage(const std::string& folder, uint32_t uid, inet::ParsedMessage& parsed, bool headersOnly);

    // Changes (imap_changes.cpp).
    int SetSeen(const char* folder, uint32_t uid, bool seen);
    int DeleteMsg(const char* folder, const MailMsg* msg);
    int Commit();
    int SelectFolder(const char* name);
    int CopyMessage(uint32_t uid, const char* from, const char* to);
    int AddFolder(const char* name);
    int DeleteFolder(const char* name);
    int RenameFolder(const char* name, const char* newName);
    int Append(const char* folder, const char* text);

private:
    // A sent message is kept in the account's sent folder.
    void Sent(const std::string& sent) override;
    void LogUnusable(bool serverUsable) const override;
    std::string LogonFailureLine() const override;
    CImapFolder* FindFolder(const std::string& name);
    // UIDVALIDITY (imap_validity.cpp). The handheld's records carry bare UIDs, so the
    // UIDVALIDITY each folder had when its UIDs were handed out is kept beside the
    // account files. When a folder's value has changed, its old UIDs name other messages:
    // no change by UID is made there, and its listing is handed out empty once so that
    // the handheld drops the copies it would otherwise match by stale UIDs; the next
    // sync fetches the folder again under the new value, which Logoff keeps.
    void LoadValidities(const LogonRecord& record);
    // Has the LOGIN carry the inbox's listing when a state of it is kept.
    void ListInboxAtLogin();
    void SaveValidities() const;
    std::string ValidityKey(const std::string& folder) const;
    // Where the state of the folder's last complete listing is kept; empty: not kept.
    std::filesystem::path ListingStateFile(const std::string& folder) const;
    // The kept state of the folder's listing: the one read for the LOGIN when it is that
    // folder's (read once a sync), else read from file.
    bool KeptListing(const std::string& folder, const std::filesystem::path& file, ListingState& kept,
                     std::string& why);
    // Selects the folder; true when its UIDVALIDITY differs from the one kept.
    bool UidsStale(const std::string& folder);
    // True (and says so) when a change by UID in folder must not be made.
    bool RefuseStaleChange(const std::string& folder, const char* what, uint32_t uid);
    int RefreshFolderUids(const std::string& folder);
    int BuildMessages(const std::string& folder, const std::vector<uint32_t>& uids, std::vector<MailMsg*>& out,
                      bool headersOnly, std::vector<int>* complete = nullptr);
    bool BuildMsg(const std::string& folder, uint32_t uid, const inet::ParsedMessage& parsed, CMsg& msg);
    std::string WriteAttachment(const inet::MimePart& part);
    // Seconds since 1970 of the message's INTERNALDATE; 0 when unknown.
    int32_t InternalDate(const std::string& folder, uint32_t uid);
    // Fetches the whole texts of the messages of uids from position start on that are
    // fetched whole, a bounded batch in one exchange, when the one at start is such.
    void PrefetchBodiesFrom(const std::string& folder, const std::vector<uint32_t>& uids, std::size_t start);

    CImapConnection connection_;
    ImapSettings imapSettings_;
    bool imapUsable_ = false;
    std::vector<std::string> folderNames_;
    std::vector<std::unique_ptr<CImapFolder>> folders_;
    std::filesystem::path validityFile_;                               // empty: no user directory, none kept
    std::map<std::string, uint32_t> validities_;                       // ValidityKey -> UIDVALIDITY kept
    std::map<std::string, uint32_t> changed_;                          // ValidityKey -> the server's new value
    std::set<std::string> relisted_;                                   // changed keys handed out empty
    std::optional<std::pair<std::string, ListingState>> keptAtLogin_;  // ValidityKey, state
    // The UIDs the last header listing handed out, in order: the messages the engine
    // fetches next, one by one, whose bodies are fetched ahead in batches.
    std::string ahead_;
    std::vector<uint32_t> aheadUids_;
    std::unordered_map<uint32_t, std::size_t> aheadAt_;
};

// The UID that a host id carries: its first 4 bytes, least significant first.
bool UidOf(const uint8_t* bytes, int32_t length, uint32_t& uid);
void SetHostId(CMsg& msg, uint32_t uid);

}  // namespace imap
