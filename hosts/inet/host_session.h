#pragma once
// CHostSession: what the IMAP and POP hosts' account sessions share. The logon values both
// records carry (the flags, the SMTP side, the body preference, the user), the SMTP client
// and its send path, the log sink and the private folder for attachment files. Each
// protocol's session derives from it and adds its own connection.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/host_records.h"
#include "common/mail_msg.h"
#include "hosts/inet/mail_socket.h"
#include "hosts/inet/smtp_session.h"
#include "platform/core/os.h"

namespace inet {

using tess::FolderRecord;
using tess::MailMsg;

// Export results both hosts give.
constexpr int kNotLoggedOn = -1;
constexpr int kNullList = 211;
constexpr int kSendFailed = 212;
constexpr int kListingFailed = 213;
constexpr int kLogonFailed = 16394;

// The values of a logon record that the IMAP and POP3 connections take alike.
struct ServerSettings : ServerEndpoint {
    std::string user;
    std::string password;
    int unreadOnly = 0;
    int wantAttachments = 0;
    int maxSize = 0;
    int value1 = 0;     // passed on from the record, not read
    std::string text1;  // passed on, not read
    int value2 = 0;     // passed on, not read
    std::string accountName;
    int notifyFailure = 0;
};

// format with value in place of its first "%s".
std::string FormatOne(const std::string& format, const std::string& value);

// A log line naming the message: "<what>\nF: <From> S: <Subject>".
std::string Described(const char* what, const MailMsg* msg);

// Frees each record (name, extra bytes) and the array.
void FreeFolderRecords(FolderRecord** list, int count);

class CHostSession {
public:
    using LogSink = std::function<void(const std::string&)>;

    // protocol: the name log lines begin with ("IMAP", "POP"); log: where they go.
    CHostSession(const char* protocol, LogSink log);
    virtual ~CHostSession();
    CHostSession(const CHostSession&) = delete;
    CHostSession& operator=(const CHostSession&) = delete;

    virtual int Logoff() = 0;
    // Closes every connection and forgets the logon: the session is as new.
    virtual void Cleanup() = 0;
    virtual int GetAllMsgs(MailMsg*** out, int* count, bool headersOnly) = 0;

    // Sends the message through SMTP, connecting on first use: 0, or kSendFailed.
    int SendMsg(const MailMsg* msg);

    const char* Protocol() const { return protocol_; }
    bool LogEnabled() const { return logEnabled_; }

    // Test hooks: where log lines go (default: the product log) and how long a reply may
    // pause (default 45 s).
    void SetLogSink(LogSink sink) { log_ = std::move(sink); }
    void SetWaitTimeout(int ms) { waitTimeout_ = ms; }
    // Where attachment files are written (made on first use, removed at clean-up).
    std::optional<std::filesystem::path> AttachmentDir();
    // A line to the log sink when the logon asked for protocol lines.
    void Log(const std::string& text) const;

protected:
    // Takes the values of the record both protocols read alike, and the SMTP settings
    // when the SMTP side is usable. Record: LogonRecord or PopLogonRecord. True when the
    // record says the protocol's own server is usable.
    template <typename Record>
    bool BeginLogon(const Record& r, int flags);
    // The protocol connection's share of the record.
    template <typename Record>
    void FillServerSettings(const Record& r, ServerSettings& s) const;
    // Reports what is not usable (log lines, or one sync-log line when the logon should
    // be told), then 0 when either side is usable, else 1.
    int EndLogon(bool serverUsable);
    // The SMTP side and the logon values back to nothing (the protocol's own clean-up
    // has run before).
    void ResetShared();

    bool smtpUsable_ = false;
    bool preferHtml_ = false;
    std::string user_;

private:
    // After a message went out: the protocol may keep a copy (sent is the text as sent).
    virtual void Sent(const std::string& /*sent*/) {}
    // The log lines of a logon that left a side unusable.
    virtual void LogUnusable(bool serverUsable) const = 0;
    // The sync-log line of a failed logon, in the host's language.
    virtual std::string LogonFailureLine() const = 0;
    void FillEndpoint(ServerEndpoint& e) const;

    const char* protocol_;
    CSmtpSession smtp_;
    SmtpSettings smtpSettings_;
    bool smtpConnected_ = false;
    bool logEnabled_ = false;
    bool notifyFailure_ = false;
    std::optional<platform::TempDir> attachmentDir_;
    LogSink log_;
    int waitTimeout_ = 45000;
};

template <typename Record>
bool CHostSession::BeginLogon(const Record& r, int flags) {
    logEnabled_ = (flags & 2) != 0;
    notifyFailure_ = (flags & 1) != 0;
    smtpUsable_ = r.smtpUsable != 0;
    preferHtml_ = r.blockValue != 0;  // the hosts read blockValue as "prefer the HTML body"
    user_ = r.user.str();
    if (smtpUsable_) {
        SmtpSettings& s = smtpSettings_;
        s = SmtpSettings{};
        FillEndpoint(s);
        s.server = r.smtpServer.str();
        s.port = r.smtpPort;
        s.value1 = r.reserved1;
        s.text1 = r.reservedText.str();
        s.value2 = r.reserved2;
        s.displayName = r.emailAddress.str();
        s.separateLogin = r.separateSmtpLogin;
        s.user = r.smtpUser.str();
        s.password = r.smtpPassword.str();
        s.wantAttachments = r.downloadAttachments;
        s.value3 = notifyFailure_;
    }
    return r.serverUsable != 0;
}

template <typename Record>
void CHostSession::FillServerSettings(const Record& r, ServerSettings& s) const {
    FillEndpoint(s);
    s.server = r.server.str();
    s.port = r.port;
    s.user = r.user.str();
    s.password = r.password.str();
    s.unreadOnly = r.unreadOnly;
    s.wantAttachments = r.downloadAttachments;
    s.maxSize = r.maxSize;
    s.value1 = r.reserved1;
    s.text1 = r.reservedText.str();
    s.value2 = r.reserved2;
    s.accountName = r.accountName.str();
    s.notifyFailure = notifyFailure_;
}

// The application object of a host plug-in: its one session and the logon state its
// exports check. Exports run one at a time on the caller's thread.
struct CHostApp {
    const char* hostName;  // "Heronwick": the title of the host's notices
    CHostSession& session;
    int loggedOn = 0;

    // The Logon export's result for the session's.
    int EndLogon(int sessionResult) {
        if (sessionResult != 0) return kLogonFailed;
        loggedOn = 1;
        return 0;
    }
};

// Each host defines its application object; the exports both hosts share use it.
CHostApp& HostApp();

}  // namespace inet
