#pragma once
// CSmtpSession: the SMTP client of both internet hosts. Greets the server (HELO, or EHLO
// with AUTH LOGIN), writes each message as MIME text and sends envelope and data.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hosts/inet/mail_socket.h"

namespace tess {
class CMsg;
}  // namespace tess

namespace inet {

using tess::CMsg;

struct SmtpSettings : ServerEndpoint {
    int value1 = 0;           // kept for the hosts, not read here
    std::string text1;        // kept, not read
    int value2 = 0;           // kept, not read
    std::string displayName;  // the account's name for the From header
    int separateLogin = 0;
    std::string user;
    std::string password;
    int wantAttachments = 0;
    int value3 = 0;  // kept, not read
};

enum SmtpResult : int {
    kSmtpOk = 0,
    kSmtpNoSettings = 1,
    kSmtpRefused = 2,
    kSmtpNoSocket = 3,
    kSmtpStartup = 4,
    kSmtpConnect = 5,
    kSmtpGreeting = 6,
    kSmtpNoSender = 7,
    kSmtpNoRecipient = 8,
    kSmtpNotConnected = 9,
};

// Content types by file extension, read once from the registry's MIME database.
class CContentTypeList {
public:
    struct Entry {
        std::string contentType;
        std::string extension;  // lower case, with its dot
    };
    // Fills the list on first use; true when it holds at least one entry.
    bool Load();
    void Add(std::string contentType, std::string extension);
    // False for an empty extension; else the first entry whose extension contains it,
    // or "application/octet-stream".
    bool ContentTypeFromExtension(const std::string& extension, std::string& out);

private:
    std::vector<Entry> entries_;
    bool loaded_ = false;
    bool tried_ = false;
};

class CSmtpSession {
public:
    CSmtpSession() = default;
    virtual ~CSmtpSession();
    CSmtpSession(const CSmtpSession&) = delete;
    CSmtpSession& operator=(const CSmtpSession&) = delete;

    int Connect(const SmtpSettings* settings);
    // sentText: the message as written (before dot-stuffing), for a sent-folder copy.
    int SendMessage(const CMsg* message, std::string& sentText);
    int Close();
    bool IsConnected() const { return connected_; }
    CContentTypeList& ContentTypes() { return contentTypes_; }

    // A recipient the server did not take, with its reply (empty when none came).
    struct Refusal {
        std::string address;
        std::string reply;
    };
    // One mail's envelope: MAIL FROM, one RCPT TO per address, then DATA. kSmtpOk when at
    // least one recipient was taken and the server asked for the data; every refused
    // recipient is added to refused (when given). On failure the transaction is reset and
    // reply holds the server's last reply.
    int Envelope(const std::string& from, const std::vector<std::string>& recipients, std::vector<Refusal>* refused,
                 std::string& reply);
    // After Envelope: the message text (dot-stuffed here) and the end of the data.
    // kSmtpOk only when the server took the mail; else the transaction is reset.
    int Data(const std::string& text, std::string& reply);

private:
    // Sends one line (unless empty) and reads the reply; false when either fails.
    bool Exchange(const std::string& line, std::string& reply, const std::string& shown = {});
    void Log(const std::string& text) const;
    void Reset();

    CContentTypeList contentTypes_;
    SmtpSettings settings_;
    std::unique_ptr<CMailSocket> socket_;
    bool connected_ = false;
};

// The recipients of an envelope: the list split at ';' and ',' outside double quotes,
// each item's address (items with a quoted name but no <address> are skipped, and so
// are items without a usable address; they go to skipped when it is given).
std::vector<std::string> EnvelopeAddresses(const std::string& list, std::vector<std::string>* skipped = nullptr);

}  // namespace inet
