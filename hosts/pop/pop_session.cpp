// The POP session: logon, clean-up, deletion, sending and attachments.
#include "hosts/pop/pop_session.h"

#include <cstdlib>
#include <cstring>

#include "datamgr/ledgerly.h"
#include "platform/syncmgr/syncmgr.h"

namespace pop {
namespace {

constexpr unsigned kTextInfo = 4328;         // "TESSALINE INFO -- %s"
constexpr unsigned kTextLogonFailed = 4329;  // "Server logon failed for user '%s'"
constexpr int kActivityLogonFailed = 22;
constexpr int kMaxTableEntries = 10;
constexpr std::size_t kTableSlot = 256;

// A log line naming the message: "<what>\nF: <From> S: <Subject>".
std::string Described(const char* what, const MailMsg* msg) {
    std::string line = what;
    line += "\nF: ";
    if (msg && msg->From) line += msg->From;
    line += " S: ";
    if (msg && msg->Subject) line += msg->Subject;
    return line;
}

}  // namespace

CPopSession::CPopSession() : log_([](const std::string& text) { MLOGAdd(text.c_str()); }) {}

CPopSession::~CPopSession() { Cleanup(); }

void CPopSession::Log(const std::string& text) const {
    if (logEnabled_ && log_) log_(text);
}

int CPopSession::Logon(const PopLogonRecord* record, int flags) {
    // A logon starts a session: nothing of an earlier account (its cached messages, whose
    // ids another mailbox may share) may answer for this one.
    Cleanup();
    if (!record) return 1;
    logEnabled_ = (flags & 2) != 0;
    notifyFailure_ = (flags & 1) != 0;
    popUsable_ = record->serverUsable != 0;
    smtpUsable_ = record->smtpUsable != 0;
    preferHtml_ = record->blockValue != 0;  // this host reads blockValue as "prefer the HTML body"
    days_ = record->days;
    user_ = record->user.str();

    auto yield = [] { SyncYieldCycles(10); };
    auto log = [this](const std::string& text) { Log(text); };
    if (popUsable_) {
        PopSettings s;
        s.server = record->server.str();
        s.user = record->user.str();
        s.password = record->password.str();
        s.port = record->port;
        s.receiveTimeout = 1500;
        s.sendTimeout = 1500;
        s.value14 = record->unreadOnly;
        s.wantAttachments = record->downloadAttachments;
        s.useApop = record->popValue;
        s.days = record->days;
        s.maxSize = record->maxSize;
        s.value5 = record->reserved1;
        s.text7 = record->reservedText.str();
        s.value8 = record->reserved2;
        s.accountName = record->accountName.str();
        s.notifyFailure = notifyFailure_;
        s.logEnabled = logEnabled_;
        s.waitTimeout = waitTimeout_;
        s.yield = yield;
        s.log = log;
        connection_.SetSettings(std::move(s));
        if (connection_.Open() != kPopOk) {
            Log("POP: Socket for server '" + record->server.str() + "' on port " +
                std::to_string(record->port) + " failed to connect. ");
            popUsable_ = false;
        } else if (connection_.Login() != kPopOk) {
            Log("POP: POP logon failed for user '" + user_ + "'");
            connection_.Close();
            popUsable_ = false;
        }
    }

    if (smtpUsable_) {
        smtpSettings_ = inet::SmtpSettingsFrom(*record, notifyFailure_, logEnabled_, waitTimeout_, yield, log);
    }

    if (logEnabled_) {
        if (!popUsable_) Log("POP: Invalid connection. Cannot continue");
        if (!popUsable_ && !smtpUsable_) Log("SMTP: Invalid connection. Cannot continue");
    } else if (notifyFailure_ && !popUsable_) {
        NotifyLogonFailure();
    }
    return popUsable_ || smtpUsable_ ? 0 : 1;
}

void CPopSession::NotifyLogonFailure() const {
    const std::string line = FormatOne(PopText(kTextInfo), FormatOne(PopText(kTextLogonFailed), user_));
    SyncLogAddLine(line.c_str(), kActivityLogonFailed, 0);
}

int CPopSession::Logoff() {
    connection_.Quit();
    return 0;
}

void CPopSession::Cleanup() {
    cache_.clear();
    if (popUsable_) connection_.Close();
    if (smtpUsable_ && smtpConnected_) smtp_.Close();
    attachmentDir_.reset();
    popUsable_ = smtpUsable_ = smtpConnected_ = false;
    logEnabled_ = notifyFailure_ = false;
}

std::optional<std::filesystem::path> CPopSession::AttachmentDir() {
    if (!attachmentDir_) {
        std::error_code ec;
        attachmentDir_ = platform::TempDir::create(ec);
        if (!attachmentDir_) return std::nullopt;
    }
    return attachmentDir_->path();
}

int CPopSession::DeleteMsg(const MailMsg* msg) {
    Log(Described("POP: Beginning to delete message.", msg));
    int rc = kPopNoSuchMessage;
    if (msg && msg->msgId && msg->msgIdLength > 0) {
        const std::string uidl(reinterpret_cast<const char*>(msg->msgId),
                               static_cast<std::size_t>(msg->msgIdLength));
        rc = popUsable_ ? connection_.Delete(connection_.NumberOf(uidl)) : kPopNotConnected;
    }
    Log(Described("POP: Finished delete message.", msg));
    return rc == kPopOk ? 0 : 2;
}

int CPopSession::SendMsg(const MailMsg* msg) {
    Log(Described("POP: Beginning to send message.", msg));
    int rc = 1;
    if (msg && !smtpUsable_) {
        rc = inet::kSmtpNotConnected;
    } else if (msg) {
        // The engine's block stays the engine's: the client reads a copy of our own.
        CMsg copy(msg);
        rc = inet::kSmtpOk;
        if (!smtpConnected_) {
            rc = smtp_.Connect(&smtpSettings_);
            if (rc != inet::kSmtpOk) {
                Log("SMTP: Socket for server '" + smtpSettings_.server + "' on port " +
                    std::to_string(smtpSettings_.port) + " failed to connect. ");
                smtpUsable_ = false;
            } else {
                smtpConnected_ = true;
            }
        }
        if (rc == inet::kSmtpOk) {
            std::string sent;
            rc = smtp_.SendMessage(&copy, sent);
        }
    }
    Log("POP: Finished send message.");
    return rc == inet::kSmtpOk ? 0 : 212;
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
