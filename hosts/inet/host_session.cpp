// The share of the internet hosts' sessions: logon values, SMTP send path, clean-up.
#include "hosts/inet/host_session.h"

#include <cstdio>
#include <cstdlib>

#include "common/msg_record.h"
#include "platform/syncmgr/syncmgr.h"

namespace inet {

using tess::CMsg;
using tess::FolderRecord;
using tess::MailMsg;

namespace {

constexpr int kActivityLogonFailed = 22;

}  // namespace

std::string FormatOne(const std::string& format, const std::string& value) {
    const std::size_t at = format.find("%s");
    if (at == std::string::npos) return format;
    return format.substr(0, at) + value + format.substr(at + 2);
}

std::string Described(const char* what, const MailMsg* msg) {
    std::string line = what;
    line += "\nF: ";
    if (msg && msg->From) line += msg->From;
    line += " S: ";
    if (msg && msg->Subject) line += msg->Subject;
    return line;
}

void FreeFolderRecords(FolderRecord** list, int count) {
    for (int i = 0; i < count; ++i) {
        if (!list[i]) continue;
        std::free(list[i]->name);
        std::free(list[i]->extra);
        std::free(list[i]);
    }
    std::free(list);
}

CHostSession::CHostSession(const char* protocol, LogSink log) : protocol_(protocol), log_(std::move(log)) {}

CHostSession::~CHostSession() = default;

void CHostSession::Log(const std::string& text) const {
    if (logEnabled_ && log_) log_(text);
}

void CHostSession::FillEndpoint(ServerEndpoint& e) const {
    e.receiveTimeout = 1500;
    e.sendTimeout = 1500;
    e.logEnabled = logEnabled_;
    e.waitTimeout = waitTimeout_;
    e.yield = [] { SyncYieldCycles(10); };
    e.log = [this](const std::string& text) { Log(text); };
}

int CHostSession::EndLogon(bool serverUsable) {
    if (logEnabled_) {
        LogUnusable(serverUsable);
    } else if (notifyFailure_ && !serverUsable) {
        SyncLogAddLine(LogonFailureLine().c_str(), kActivityLogonFailed, 0);
    }
    return serverUsable || smtpUsable_ ? 0 : 1;
}

void CHostSession::ResetShared() {
    if (smtpUsable_ && smtpConnected_) smtp_.Close();
    attachmentDir_.reset();
    smtpUsable_ = smtpConnected_ = false;
    logEnabled_ = notifyFailure_ = false;
}

std::optional<std::filesystem::path> CHostSession::AttachmentDir() {
    if (!attachmentDir_) {
        std::error_code ec;
        attachmentDir_ = platform::TempDir::create(ec);
        if (!attachmentDir_) return std::nullopt;
    }
    return attachmentDir_->path();
}

int CHostSession::SendMsg(const MailMsg* msg) {
    const std::string protocol = protocol_;
    Log(Described((protocol + ": Beginning to send message.").c_str(), msg));
    int rc = kSmtpNoSettings;
    if (msg && !smtpUsable_) {
        rc = kSmtpNotConnected;
    } else if (msg) {
        // The engine's block stays the engine's: the client reads a copy of our own.
        CMsg copy(msg);
        rc = kSmtpOk;
        if (!smtpConnected_) {
            rc = smtp_.Connect(&smtpSettings_);
            if (rc != kSmtpOk) {
                Log("SMTP: Socket for server '" + smtpSettings_.server + "' on port " +
                    std::to_string(smtpSettings_.port) + " failed to connect. ");
                smtpUsable_ = false;
            } else {
                smtpConnected_ = true;
            }
        }
        if (rc == kSmtpOk) {
            std::string sent;
            rc = smtp_.SendMessage(&copy, sent);
            if (rc == kSmtpOk) Sent(sent);
        }
    }
    Log(protocol + ": Finished send message.");
    return rc == kSmtpOk ? 0 : kSendFailed;
}

}  // namespace inet
