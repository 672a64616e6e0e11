// The POP session: logon, clean-up, deletion and attachments.
#include "hosts/pop/pop_session.h"

#include <cstdlib>
#include <cstring>

#include "datamgr/ledgerly.h"
#include "platform/syncmgr/syncmgr.h"

namespace pop {

using tess::AttachmentTable;
using tess::CId;
using tess::CMsg;
using tess::MailMsg;
using tess::PopLogonRecord;

namespace {

constexpr unsigned kTextInfo = 4328;         // "TESSALINE INFO -- %s"
constexpr unsigned kTextLogonFailed = 4329;  // "Server logon failed for user '%s'"
constexpr int kMaxTableEntries = 10;
constexpr std::size_t kTableSlot = 256;

}  // namespace

CPopSession::CPopSession() : CHostSession("POP", [](const std::string& text) { MLOGAdd(text.c_str()); }) {}

CPopSession::~CPopSession() { Cleanup(); }

int CPopSession::Logon(const PopLogonRecord* record, int flags) {
    // A logon starts a session: nothing of an earlier account (its cached messages, whose
    // ids another mailbox may share) may answer for this one.
    Cleanup();
    if (!record) return 1;
    popUsable_ = BeginLogon(*record, flags);
    days_ = record->days;
    if (popUsable_) {
        PopSettings s;
        FillServerSettings(*record, s);
        s.useApop = record->popValue;
        s.days = record->days;
        connection_.SetSettings(std::move(s));
        if (connection_.Open() != kPopOk) {
            Log("POP: Socket for server '" + record->server.str() + "' on port " + std::to_string(record->port) +
                " failed to connect. ");
            popUsable_ = false;
        } else if (connection_.Login() != kPopOk) {
            Log("POP: POP logon failed for user '" + user_ + "'");
            connection_.Close();
            popUsable_ = false;
        }
    }
    return EndLogon(popUsable_);
}

void CPopSession::LogUnusable(bool serverUsable) const {
    if (!serverUsable) Log("POP: Invalid connection. Cannot continue");
    if (!serverUsable && !smtpUsable_) Log("SMTP: Invalid connection. Cannot continue");
}

std::string CPopSession::LogonFailureLine() const {
    return inet::FormatOne(PopText(kTextInfo), inet::FormatOne(PopText(kTextLogonFailed), user_));
}

int CPopSession::Logoff() {
    if (connection_.Quit() == kPopOk) return 0;
    Log("POP: The session ended before the server confirmed QUIT; the server keeps the messages "
        "deleted in it.");
    return 1;
}

void CPopSession::Cleanup() {
    cache_.clear();
    if (popUsable_) connection_.Close();
    popUsable_ = false;
    ResetShared();
}

int CPopSession::DeleteMsg(const MailMsg* msg) {
    Log(inet::Described("POP: Beginning to delete message.", msg));
    int rc = kPopNoSuchMessage;
    if (msg && msg->msgId && msg->msgIdLength > 0) {
        const std::string uidl(reinterpret_cast<const char*>(msg->msgId), static_cast<std::size_t>(msg->msgIdLength));
        rc = popUsable_ ? connection_.Delete(connection_.NumberOf(uidl)) : kPopNotConnected;
    }
    Log(inet::Described("POP: Finished delete message.", msg));
    return rc == kPopOk ? 0 : 2;
}

int CPopSession::GetMessageAttachment(int idLength, const void* idBytes, AttachmentTable** out) {
    Log("POP: Finishing getting attachments for message.");
    const CId wanted(idBytes, idLength);
    const CMsg* found = nullptr;
    for (const auto& msg : cache_) {
        if (msg->msgId.IsEqual(wanted)) {
            found = msg.get();
            break;
        }
    }
    if (!found || !out || idLength <= 0) return 2;
    const std::vector<std::string> names = found->AttachmentNameList();
    if (!names.empty()) {
        auto* table = static_cast<AttachmentTable*>(std::calloc(1, sizeof(AttachmentTable)));
        if (!table) return 2;
        if (names.size() > kMaxTableEntries) {
            std::string line = "The message contains more attachments than allowable. Removing attachments:";
            for (std::size_t i = kMaxTableEntries; i < names.size(); ++i) line += "\n" + names[i];
            Log(line);
        }
        for (const std::string& name : names) {
            // A path that does not fit its slot whole would name another file.
            if (table->count == kMaxTableEntries || name.size() >= kTableSlot) continue;
            std::memcpy(table->path[table->count++], name.c_str(), name.size() + 1);
            Log("ATT: " + name);
        }
        *out = table;
    }
    Log("POP: Finishing getting attachments for message.");
    return 0;
}

}  // namespace pop
