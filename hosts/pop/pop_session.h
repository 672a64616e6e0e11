#pragma once
// CPopSession: the one account session of the POP host. Over what every internet host
// session keeps (inet::CHostSession: logon values, SMTP client), it keeps the POP3
// connection and the messages fetched whole during this logon (GetMsg and
// GetMessageAttachment answer from them).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/msg_record.h"
#include "hosts/inet/host_session.h"
#include "hosts/inet/mime_message.h"
#include "hosts/pop/fenwick.h"
#include "hosts/pop/pop_connection.h"

namespace pop {

using tess::AttachmentTable;
using tess::CMsg;
using tess::MailMsg;
using tess::MsgIdDescriptor;
using tess::PopLogonRecord;

class CPopSession : public inet::CHostSession {
public:
    CPopSession();
    ~CPopSession() override;

    // 0 when at least one side (POP3 or SMTP) is usable, else 1.
    int Logon(const PopLogonRecord* record, int flags);
    int Logoff() override;
    void Cleanup() override;

    // Listing and fetch (pop_messages.cpp). Each gives 0, or a connection code.
    int GetMsgIds(MailMsg*** out, int* count);
    int GetMsgHeaders(MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount);
    int GetAllMsgs(MailMsg*** out, int* count, bool headersOnly) override;
    int GetMsg(const MsgIdDescriptor* id, MailMsg** out);

    // Deletion and attachments: the export results.
    int DeleteMsg(const MailMsg* msg);
    int GetMessageAttachment(int idLength, const void* idBytes, AttachmentTable** out);

private:
    void LogUnusable(bool serverUsable) const override;
    std::string LogonFailureLine() const override;
    // The start of the date window (seconds since 1970); 0: none.
    int64_t WindowStart(bool headerListing) const;
    int Fetch(int number, bool headersOnly, inet::ParsedMessage& parsed);
    // Fills msg; false when the message lies before the window start.
    bool BuildMsg(const std::string& uidl, const inet::ParsedMessage& parsed, int64_t windowStart, CMsg& msg);
    void RemoveAttachmentFiles(const CMsg& msg) const;

    CPopConnection connection_;
    bool popUsable_ = false;
    int days_ = 0;
    std::vector<std::unique_ptr<CMsg>> cache_;
};

}  // namespace pop
