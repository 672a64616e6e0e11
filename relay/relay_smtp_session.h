#pragma once
// CRelaySmtpSession: the relay's own SMTP client. One connection to one server (HELO, or
// EHLO with AUTH LOGIN when a user is given), then mails one at a time: a MIME text
// composed here (headers, a plain-text body, base64 attachment parts added by the
// caller), its envelope and its data, and a reset after a failed mail. Transport and
// replies are the internet hosts' SMTP session; the relay adds the form of its mails, the
// report of refused recipients and a spool: a mail the server could not take now (no
// connection, no answer, a temporary refusal) is kept on disk and sent again later, so
// nothing is lost when a server fails mid-way.
#include <memory>
#include <string>
#include <vector>

#include "common/message_filter.h"

namespace inet {
class CSmtpSession;
}

namespace tess::relay {

struct RelaySmtpSettings {
    std::string server;  // host name or dotted address; empty: no session
    int port = 25;
    std::string user;  // non-empty: AUTH LOGIN with the password
    std::string password;
    // Longest wait for one reply (ms).
    int waitTimeoutMs = 10000;
    // Folder of the mails waiting for the server; empty: nothing is kept.
    std::string spoolDirectory;
};

// The fixed texts of the mails the session writes.
inline constexpr const char* kRelayBoundary = "====_NextPart_====";
inline constexpr const char* kRelayMailer = "X-Mailer: Larkspur C2001.4.00, Corvid, Inc.\r\n";

// How a mail ended.
enum class SmtpOutcome {
    kSent,      // the server took it (for every recipient not listed as rejected)
    kRefused,   // refused for good (no recipient taken, or the data refused)
    kDeferred,  // the server could not take it now: spooled, sent again later
};

class CRelaySmtpSession {
public:
    // Connects and greets; Ready() tells the outcome (connection failures are logged).
    explicit CRelaySmtpSession(RelaySmtpSettings settings);
    virtual ~CRelaySmtpSession();
    CRelaySmtpSession(const CRelaySmtpSession&) = delete;
    CRelaySmtpSession& operator=(const CRelaySmtpSession&) = delete;

    // True when the last greeting succeeded (the connection may have been released since;
    // the next mail connects again).
    bool Ready() const { return ready_; }
    const RelaySmtpSettings& Settings() const { return settings_; }
    // Connects (again, when the connection was lost) and greets; true when ready.
    bool Hello();
    // Closes the connection (QUIT). Returns 1.
    int Release();

    // Begins a mail from the message record: its envelope (sender, To and Cc, or with
    // blindCopiesOnly the blind copies alone), the header block and the body. False (and
    // logged) when the record names no recipient.
    bool StartMessage(const FilterMessage& message, bool blindCopiesOnly);
    // One attachment part: its name and its base64 text (line breaks anywhere). Returns 1.
    int AddAttachment(const std::string& name, const std::string& base64Text);
    // Closes the multipart body when asked and hands the mail to the server. Recipients
    // the server refused, or that are no address, are listed in rejectedRecipient
    // (joined by ", ") and the server's reply line goes to serverReply.
    SmtpOutcome EndMessage(bool multipart, std::string& rejectedRecipient, std::string& serverReply);

    // Sends the spooled mails again, oldest first; stops at the first that must wait
    // again. Returns how many are still waiting.
    int FlushSpool();
    int SpoolCount() const;

    // The mail text composed so far (for the tests of its form).
    const std::string& PendingText() const { return text_; }

private:
    struct Mail {
        std::string from;
        std::vector<std::string> recipients;
        std::vector<std::string> notAddresses;
        std::string text;
    };
    SmtpOutcome transmit(const Mail& mail, std::string& rejected, std::string& reply);
    void spool(const Mail& mail);

    RelaySmtpSettings settings_;
    std::unique_ptr<inet::CSmtpSession> smtp_;
    bool ready_ = false;
    bool inMail_ = false;
    Mail mail_;
    std::string& text_ = mail_.text;
};

}  // namespace tess::relay
