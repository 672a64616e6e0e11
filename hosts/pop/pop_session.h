#pragma once
// CPopSession: the one account session of the POP host. Keeps the logon record's
// values, the POP3 connection, the SMTP client and the messages fetched whole during
// this logon (GetMsg and GetMessageAttachment answer from them).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/msg_record.h"
#include "hosts/inet/mime_message.h"
#include "hosts/inet/smtp_session.h"
#include "hosts/pop/fenwick.h"
#include "hosts/pop/pop_connection.h"
#include "platform/core/os.h"

namespace pop {

class CPopSession {
public:
    CPopSession();
    virtual ~CPopSession();
    CPopSession(const CPopSession&) = delete;
    CPopSession& operator=(const CPopSession&) = delete;

    // 0 when at least one side (POP3 or SMTP) is usable, else 1.
    int Logon(const PopLogonRecord* record, int flags);
    int Logoff();
    void Cleanup();

    bool PopUsable() const { return popUsable_; }
    bool LogEnabled() const { return logEnabled_; }
    CPopConnection& Connection() { return connection_; }

    // Listing and fetch (pop_messages.cpp). Each gives 0, or a connection code.
    int GetMsgIds(MailMsg*** out, int* count);
    int GetMsgHeaders(MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount);
    int GetAllMsgs(MailMsg*** out, int* count, bool headersOnly);
    int GetMsg(const MsgIdDescriptor* id, MailMsg** out);

    // Changes, send and attachments: the export results.
    int DeleteMsg(const MailMsg* msg);
    int SendMsg(const MailMsg* msg);
    int GetMessageAttachment(int idLength, const void* idBytes, AttachmentTable** out);

    // Test hooks: where log lines go (default: the product log), how long a reply may
    // pause (default 45 s) and where attachment files are written (default: a private
    // temporary folder, removed at clean-up).
    void SetLogSink(std::function<void(const std::string&)> sink) { log_ = std::move(sink); }
    void SetWaitTimeout(int ms) { waitTimeout_ = ms; }
    std::optional<std::filesystem::path> AttachmentDir();

private:
    void Log(const std::string& text) const;
    void NotifyLogonFailure() const;
    // The start of the date window (seconds since 1970); 0: none.
    int64_t WindowStart(bool headerListing) const;
    int Fetch(int number, bool headersOnly, inet::ParsedMessage& parsed);
    // Fills msg; false when the message lies before the window start.
    bool BuildMsg(const std::string& uidl, const inet::ParsedMessage& parsed, int64_t windowStart,
                  CMsg& msg);
    void RemoveAttachmentFiles(const CMsg& msg) const;

    CPopConnection connection_;
    inet::CSmtpSession smtp_;
    inet::SmtpSettings smtpSettings_;
    bool popUsable_ = false;
    bool smtpUsable_ = false;
    bool smtpConnected_ = false;
    bool logEnabled_ = false;
    bool notifyFailure_ = false;
    bool preferHtml_ = false;
    int days_ = 0;
    std::string user_;
    std::vector<std::unique_ptr<CMsg>> cache_;
    std::optional<platform::TempDir> attachmentDir_;
    std::function<void(const std::string&)> log_;
    int waitTimeout_ = 45000;
};

}  // namespace pop
