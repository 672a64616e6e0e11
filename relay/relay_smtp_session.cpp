#include "relay/relay_smtp_session.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "common/handheld_time.h"
#include "hosts/inet/host_messages.h"
#include "hosts/inet/mime_writer.h"
#include "hosts/inet/smtp_session.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"

namespace tess::relay {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLongestLine = 998;  // RFC 5321, without CR LF
constexpr std::size_t kBase64Line = 76;

std::string Str(const char* text) { return text ? text : ""; }

// Plain text goes as it stands ("7bit") when it is short-lined 7-bit text without stray
// CRs or a line the multipart boundary could be mistaken in; anything else as
// quoted-printable, so that no byte, line or blank the user wrote is lost or changed on
// the way.
bool NeedsEncoding(const std::string& text) {
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            column = 0;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == 0 || c == '\r' || c > 127 || ++column > kLongestLine) return true;
        if (column == 1 && text.compare(i, 2, "--") == 0) return true;
        // Blanks at a line end are dropped by some mail systems.
        if ((c == ' ' || c == '\t') && (i + 1 == text.size() || text[i + 1] == '\n' || text[i + 1] == '\r'))
            return true;
    }
    return false;
}

std::string TextPartHeader(const std::string& body, bool encoded) {
    return std::string("Content-Type: text/plain; charset=\"") + inet::TextCharset(body) + "\"\r\n" +
           "Content-Transfer-Encoding: " + (encoded ? "quoted-printable" : "7bit") + "\r\n";
}

// A file name as a quoted parameter value: quotes, backslashes and line breaks cannot
// stand in it; an 8-bit name travels as encoded words, which mail readers decode.
std::string QuotedName(const std::string& name) {
    std::string plain;
    for (char c : name)
        if (c != '"' && c != '\\' && plain.size() < 255) plain += c;
    return "\"" + inet::HeaderValue(plain, "ISO-8859-1") + "\"";
}

std::string OpenedPart() { return std::string("--") + kRelayBoundary + "\r\n"; }

}  // namespace

CRelaySmtpSession::CRelaySmtpSession(RelaySmtpSettings settings) : settings_(std::move(settings)) {
    if (settings_.server.empty()) return;
    Hello();
}

CRelaySmtpSession::~CRelaySmtpSession() { Release(); }

bool CRelaySmtpSession::Hello() {
    if (smtp_) return true;
    if (settings_.server.empty()) return false;
    smtp_ = std::make_unique<inet::CSmtpSession>();
    inet::SmtpSettings s;
    s.server = settings_.server;
    s.port = settings_.port;
    s.waitTimeout = settings_.waitTimeoutMs;
    s.separateLogin = settings_.user.empty() ? 0 : 1;
    s.user = settings_.user;
    s.password = settings_.password;
    const int rc = smtp_->Connect(&s);
    if (rc == inet::kSmtpStartup) {
        LogWrite(kLogFatal, Text(57409));
    } else if (rc == inet::kSmtpConnect) {
        std::string text = Format(57410, settings_.server);
        const std::size_t at = text.find("%d");
        if (at != std::string::npos) text.replace(at, 2, std::to_string(settings_.port));
        LogWrite(kLogFatal, text);
    }
    ready_ = rc == inet::kSmtpOk;
    if (!ready_) smtp_.reset();
    return ready_;
}

int CRelaySmtpSession::Release() {
    if (smtp_) smtp_->Close();
    smtp_.reset();
    return 1;
}

bool CRelaySmtpSession::StartMessage(const FilterMessage& message, bool blindCopiesOnly) {
    inMail_ = false;
    mail_ = Mail{};
    const std::string from = Str(message.senderAddress), to = Str(message.toRecipients), cc = Str(message.ccRecipients),
                      bcc = Str(message.blindCopies), subject = Str(message.subject), body = Str(message.body),
                      attachments = Str(message.attachmentNames);
    if (to.empty() && cc.empty() && bcc.empty()) {
        LogWrite(kLogFatal, Text(57411));
        return false;
    }
    const std::string list = blindCopiesOnly ? bcc : to.empty() ? cc : cc.empty() ? to : to + "," + cc;
    mail_.from = from;
    mail_.recipients = inet::EnvelopeAddresses(list, &mail_.notAddresses);

    std::string& t = text_;
    t += "To: " + inet::HeaderValue(to, "ISO-8859-1") + "\r\n";
    if (!cc.empty()) t += "cc: " + inet::HeaderValue(cc, "ISO-8859-1") + "\r\n";
    if (blindCopiesOnly && !bcc.empty()) t += "bcc: " + inet::HeaderValue(bcc, "ISO-8859-1") + "\r\n";
    if (!subject.empty()) t += "Subject: " + inet::HeaderValue(subject, inet::TextCharset(subject)) + "\r\n";
    if (!from.empty()) {
        const std::string sender = inet::HeaderValue(from, "ISO-8859-1");
        t += "From: <" + sender + ">\r\n";
        t += "Reply-To: <" + sender + ">\r\n";
    }
    CHandheldTime now;
    now.Set(static_cast<int64_t>(std::time(nullptr)), true);
    std::string date;
    now.FormatRfc822(date, false);
    t += "Date: " + date + "\r\n";
    t += kRelayMailer;
    t += "Mime-Version: 1.0\r\n";
    const bool multipart = !attachments.empty();
    const bool encoded = NeedsEncoding(body);
    if (multipart) {
        // The preamble follows the empty line that ends the header block: a line without a
        // colon among the headers would end them early for a strict reader.
        t += std::string("Content-Type: multipart/mixed; boundary=\"") + kRelayBoundary + "\"\r\n\r\n";
        t += "This is a multi-part message in MIME format.\r\n";
        t += OpenedPart() + TextPartHeader(body, encoded) + "\r\n";
    } else {
        t += TextPartHeader(body, encoded) + "\r\n";
    }
    if (body.empty())
        t += " ";
    else
        t += encoded ? inet::EncodeQuotedPrintable(body) : inet::NormalizeLineEnds(body);
    inMail_ = true;
    return true;
}

int CRelaySmtpSession::AddAttachment(const std::string& name, const std::string& base64Text) {
    if (!inMail_) return 1;
    std::string& t = text_;
    t += "\r\n" + OpenedPart();
    t += "Content-Type: application/octet-stream; name=" + QuotedName(name) + "\r\n";
    t += "Content-Transfer-Encoding: base64\r\n";
    t += "Content-Disposition: attachment; filename=" + QuotedName(name) + "\r\n\r\n";
    // Base64 ignores line breaks: the text is laid out again in lines of 76 characters.
    std::size_t column = 0;
    for (char c : base64Text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        if (column == kBase64Line) {
            t += "\r\n";
            column = 0;
        }
        t += c;
        ++column;
    }
    return 1;
}

SmtpOutcome CRelaySmtpSession::EndMessage(bool multipart, std::string& rejectedRecipient, std::string& serverReply) {
    rejectedRecipient.clear();
    if (!inMail_) return SmtpOutcome::kRefused;
    inMail_ = false;
    if (multipart) text_ += std::string("\r\n--") + kRelayBoundary + "--\r\n";
    Mail mail = std::move(mail_);
    mail_ = Mail{};
    // Mails go in the order they were written: while older ones wait, this one waits too.
    if (SpoolCount() > 0 && FlushSpool() > 0) {
        spool(mail);
        return SmtpOutcome::kDeferred;
    }
    const SmtpOutcome outcome = transmit(mail, rejectedRecipient, serverReply);
    if (outcome == SmtpOutcome::kDeferred) spool(mail);
    return outcome;
}

namespace {

bool Temporary(const std::string& reply) { return reply.empty() || reply[0] == '4'; }

std::string FirstLine(const std::string& reply) { return reply.substr(0, reply.find_first_of("\r\n")); }

}  // namespace

SmtpOutcome CRelaySmtpSession::transmit(const Mail& mail, std::string& rejected, std::string& reply) {
    std::vector<inet::CSmtpSession::Refusal> refused;
    for (const std::string& item : mail.notAddresses) refused.push_back({item, "not an address"});
    auto listRefused = [&](bool permanentOnly) {
        rejected.clear();
        for (const auto& r : refused) {
            if (permanentOnly && Temporary(r.reply)) continue;
            if (!rejected.empty()) rejected += ", ";
            rejected += r.address;
            if (!r.reply.empty()) reply = r.reply;
        }
    };
    if (mail.recipients.empty()) {
        listRefused(false);
        LogWrite(kLogFatal, Text(57411));
        return SmtpOutcome::kRefused;
    }
    if (!Hello()) {
        reply.clear();
        return SmtpOutcome::kDeferred;
    }
    std::string answer;
    int rc = smtp_->Envelope(mail.from, mail.recipients, &refused, answer);
    if (rc == inet::kSmtpOk) rc = smtp_->Data(mail.text, answer);
    if (rc == inet::kSmtpOk) {
        listRefused(true);
        // Recipients refused only for now get their own copy later.
        Mail again = mail;
        again.notAddresses.clear();
        again.recipients.clear();
        for (const auto& r : refused)
            if (Temporary(r.reply) && r.reply != "not an address") again.recipients.push_back(r.address);
        if (!again.recipients.empty()) spool(again);
        return SmtpOutcome::kSent;
    }
    reply = FirstLine(answer);
    bool temporary = rc != inet::kSmtpNoSender && Temporary(answer);
    if (rc == inet::kSmtpNoRecipient) {
        temporary = false;
        for (const auto& r : refused)
            if (r.reply != "not an address" && Temporary(r.reply)) temporary = true;
    }
    // No answer at all: the connection is gone; the next mail connects again.
    if (answer.empty()) Release();
    if (temporary) return SmtpOutcome::kDeferred;
    listRefused(false);
    return SmtpOutcome::kRefused;
}

void CRelaySmtpSession::spool(const Mail& mail) {
    if (settings_.spoolDirectory.empty()) return;
    std::error_code ec;
    fs::create_directories(settings_.spoolDirectory, ec);
    static unsigned counter = 0;
    char name[64];
    std::snprintf(name, sizeof name, "%016llx-%06u.mail", static_cast<unsigned long long>(std::time(nullptr)),
                  ++counter % 1000000);
    const fs::path final = fs::path(settings_.spoolDirectory) / name;
    const fs::path temp = final.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "FROM " << mail.from << "\n";
        for (const std::string& r : mail.recipients) out << "RCPT " << r << "\n";
        out << "\n" << mail.text;
        out.flush();
        if (!out) {
            LogWrite(kLogFatal, "Unable to keep a mail for the SMTP server in " + settings_.spoolDirectory);
            fs::remove(temp, ec);
            return;
        }
    }
    fs::rename(temp, final, ec);
}

int CRelaySmtpSession::SpoolCount() const {
    if (settings_.spoolDirectory.empty()) return 0;
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(settings_.spoolDirectory, ec))
        if (e.path().extension() == ".mail") ++n;
    return n;
}

int CRelaySmtpSession::FlushSpool() {
    if (settings_.spoolDirectory.empty()) return 0;
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(settings_.spoolDirectory, ec))
        if (e.path().extension() == ".mail") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    int waiting = static_cast<int>(files.size());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Mail mail;
        std::size_t at = 0;
        bool whole = false;
        while (at < content.size()) {
            const std::size_t end = content.find('\n', at);
            if (end == std::string::npos) break;
            const std::string line = content.substr(at, end - at);
            at = end + 1;
            if (line.empty()) {
                whole = true;
                break;
            }
            if (line.rfind("FROM ", 0) == 0) mail.from = line.substr(5);
            if (line.rfind("RCPT ", 0) == 0) mail.recipients.push_back(line.substr(5));
        }
        if (!whole) {
            // A file cut short (a crash while it was written) is kept for a look, not sent.
            fs::rename(file, file.string() + ".damaged", ec);
            --waiting;
            continue;
        }
        mail.text = content.substr(at);
        std::string rejected, reply;
        const SmtpOutcome outcome = transmit(mail, rejected, reply);
        if (outcome == SmtpOutcome::kDeferred) break;
        if (outcome == SmtpOutcome::kRefused)
            LogWrite(kLogWarning, "The SMTP server refused a mail that waited for it: " + reply);
        else if (!rejected.empty())
            LogWrite(kLogWarning, "The SMTP server refused " + rejected + ": " + reply);
        else
            LogWrite(kLogInformation, "A mail kept for the SMTP server was sent.");
        fs::remove(file, ec);
        --waiting;
    }
    return waiting;
}

}  // namespace tess::relay
