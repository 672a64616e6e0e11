#pragma once
// CImapSession: the one account session of the IMAP host. Keeps the logon record's
// values, the IMAP connection, the SMTP client and a cache of the folders and the
// messages fetched during this logon.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/msg_record.h"
#include "hosts/imap/heronwick.h"
#include "hosts/imap/imap_connection.h"
#include "hosts/inet/mime_message.h"
#include "hosts/inet/smtp_session.h"
#include "platform/core/os.h"

namespace imap {

struct MessageInfo {
    uint32_t uid = 0;
    int seen = 0;
    int64_t receivedTime = 0;  // seconds since 1970; 0 when unknown
};

struct CImapFolder {
    std::string name;
    std::vector<MessageInfo> infos;
    std::vector<std::unique_ptr<CMsg>> messages;  // fetched whole, for GetMsg and attachments
    std::vector<uint32_t> uids;                    // the last search
};

// Codes this layer adds to the command layer's.
constexpr int kSessionNotFetched = 3;  // GetMsg: the message could not be fetched
constexpr int kSessionNoMessage = 2;   // DeleteMsg failed; attachments of an unknown message
constexpr int kSessionSendFailed = 212;

class CImapSession {
public:
    CImapSession();
    virtual ~CImapSession();
    CImapSession(const CImapSession&) = delete;
    CImapSession& operator=(const CImapSession&) = delete;

    // 0 when at least one side (IMAP or SMTP) is usable, else 1.
    int Logon(const LogonRecord* record, int flags);
    int Logoff();
    int Cleanup();

    bool ImapUsable() const { return imapUsable_; }
    bool LogEnabled() const { return logEnabled_; }
    CImapConnection& Connection() { return connection_; }
    const std::vector<std::string>& FolderNames() const { return folderNames_; }
    const std::string& SinceDate() const { return imapSettings_.sinceDate; }

    // Folder list.
    int GetFolderList(FolderRecord*** out, int* count);
    static int SpecialFolderName(const char* name);

    // Listing and fetch (imap_messages.cpp).
    int GetMsgIds(const char* folder, MailMsg*** out, int* count);
    int GetMsgHeaders(const char* folder, MailMsg*** out, int* count, MsgIdDescriptor** ids,
                      int* idCount);
    int GetAllMsgs(MailMsg*** out, int* count, bool headersOnly);
    int GetMsg(const char* folder, const MsgIdDescriptor* id, MailMsg** out);
    int GetMessageAttachment(const char* folder, int idLength, const void* idBytes,
                             AttachmentTable** out);
    int FetchMessage(const std::string& folder, uint32_t uid, inet::ParsedMessage& parsed,
                     bool headersOnly);

    // Changes and send (imap_changes.cpp).
    int SetSeen(const char* folder, uint32_t uid, bool seen);
    int DeleteMsg(const char* folder, const MailMsg* msg);
    int SendMsg(const MailMsg* msg);
    int Commit();
    int SelectFolder(const char* name);
    int CopyMessage(uint32_t uid, const char* from, const char* to);
    int AddFolder(const char* name);
    int DeleteFolder(const char* name);
    int RenameFolder(const char* name, const char* newName);
    int Append(const char* folder, const char* text);

    // Test hooks: where log lines go (default: the product log) and how long a reply may
    // pause (default 45 s).
    void SetLogSink(std::function<void(const std::string&)> sink) { log_ = std::move(sink); }
    void SetWaitTimeout(int ms) { waitTimeout_ = ms; }
    // Where attachment files are written (made on first use, removed at clean-up).
    std::optional<std::filesystem::path> AttachmentDir();

private:
    void Log(const std::string& text) const;
    CImapFolder* FindFolder(const std::string& name);
    int RefreshFolderUids(const std::string& folder);
    int BuildMessages(const std::string& folder, const std::vector<uint32_t>& uids,
                      std::vector<MailMsg*>& out, bool headersOnly,
                      std::vector<int>* complete = nullptr);
    bool BuildMsg(const std::string& folder, uint32_t uid, const inet::ParsedMessage& parsed,
                  CMsg& msg);
    std::string WriteAttachment(const inet::MimePart& part);
    void NotifyLogonFailure();

    CImapConnection connection_;
    inet::CSmtpSession smtp_;
    ImapSettings imapSettings_;
    inet::SmtpSettings smtpSettings_;
    bool imapUsable_ = false;
    bool smtpUsable_ = false;
    bool smtpConnected_ = false;
    bool logEnabled_ = false;
    bool notifyFailure_ = false;
    bool preferHtml_ = false;
    std::string user_;
    std::vector<std::string> folderNames_;
    std::vector<std::unique_ptr<CImapFolder>> folders_;
    std::optional<platform::TempDir> attachmentDir_;
    std::function<void(const std::string&)> log_;
    int waitTimeout_ = 45000;
};

// The UID that a host id carries: its first 4 bytes, least significant first.
bool UidOf(const uint8_t* bytes, int32_t length, uint32_t& uid);
void SetHostId(CMsg& msg, uint32_t uid);
// Frees each record (name, extra bytes) and the array.
void FreeFolderRecords(FolderRecord** list, int count);

}  // namespace imap
