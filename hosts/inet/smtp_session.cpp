#include "hosts/inet/smtp_session.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "common/address_list.h"
#include "common/base64.h"
#include "common/msg_record.h"
#include "hosts/inet/mime_writer.h"
#include "hosts/inet/text_lines.h"

namespace inet {

using tess::CMsg;

namespace {

bool Begins(const std::string& reply, const char* code) { return reply.rfind(code, 0) == 0; }

// AUTH LOGIN wants each value on one line.
std::string Base64Line(const std::string& text) {
    std::string encoded;
    tess::Base64EncodeString(text, encoded, false);
    std::erase(encoded, '\r');
    std::erase(encoded, '\n');
    return encoded + "\r\n";
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

std::string FirstLine(const std::string& reply) { return reply.substr(0, reply.find_first_of("\r\n")); }

}  // namespace

std::vector<std::string> EnvelopeAddresses(const std::string& list, std::vector<std::string>* skipped) {
    std::vector<std::string> items;
    std::string item;
    bool quoted = false;
    for (char c : list) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == ';' || c == ',')) {
            items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    items.push_back(item);

    std::vector<std::string> out;
    auto skip = [&](const std::string& raw) {
        if (skipped && !tess::Trim(raw).empty()) skipped->push_back(tess::Trim(raw));
    };
    for (const std::string& raw : items) {
        std::string address;
        std::size_t open = raw.find('<');
        if (open != std::string::npos) {
            std::size_t close = raw.find('>', open);
            if (close == std::string::npos) {
                skip(raw);
                continue;
            }
            address = tess::GetAddressEmail(raw.substr(open, close - open + 1));
        } else if (raw.find('"') == std::string::npos) {
            address = tess::GetAddressEmail(raw);
        } else {
            skip(raw);
            continue;
        }
        address = tess::Trim(address);
        // An address that could end or split the command line is not sent.
        if (!address.empty() && !HasLineBreak(address))
            out.push_back(address);
        else
            skip(raw);
    }
    return out;
}

CSmtpSession::~CSmtpSession() { Close(); }

void CSmtpSession::Log(const std::string& text) const { settings_.Log(text); }

bool CSmtpSession::Exchange(const std::string& line, std::string& reply, const std::string& shown) {
    reply.clear();
    if (!socket_) return false;
    if (!line.empty() && socket_->Send(line) != kSockOk) return false;
    SmtpReplyEnd end;
    int rc = socket_->Receive(reply, false, end);
    std::string sent = shown.empty() ? line : shown;
    while (!sent.empty() && (sent.back() == '\n' || sent.back() == '\r')) sent.pop_back();
    Log("SMTP SEND:" + sent + "\nSMTP RECV:" + reply);
    if (rc != kSockOk) Log("SMTP: " + socket_->LastError());
    return rc == kSockOk;
}

void CSmtpSession::Reset() {
    std::string reply;
    Exchange("RSET\r\n", reply);
}

int CSmtpSession::Connect(const SmtpSettings* settings) {
    if (connected_) return kSmtpOk;
    if (!settings) return kSmtpNoSettings;
    settings_ = *settings;
    if (int rc = OpenSocket(settings_, "SMTP", socket_, kSmtpStartup, kSmtpConnect)) return rc;
    std::string reply;
    SmtpReplyEnd end;
    const int received = socket_->Receive(reply, false, end);
    bool greeted = received == kSockOk && Begins(reply, "2");
    Log("SMTP Connection Response: " + reply);
    if (received != kSockOk) Log("SMTP: " + socket_->LastError());

    int result = kSmtpGreeting;
    if (!greeted) {
        // A server that refuses us at the greeting gets nothing more.
    } else if (settings_.separateLogin) {
        if (socket_->Send("EHLO COM\r\n") == kSockOk && !settings_.user.empty() && !settings_.password.empty()) {
            if (Exchange("", reply, "EHLO COM") && Exchange("AUTH LOGIN\r\n", reply) && Begins(reply, "334") &&
                Exchange(Base64Line(settings_.user), reply) && Begins(reply, "334") &&
                Exchange(Base64Line(settings_.password), reply, "[password]") && Begins(reply, "235")) {
                result = kSmtpOk;
            }
        }
    } else if (Exchange("HELO COM\r\n", reply) && Begins(reply, "250")) {
        result = kSmtpOk;
    }
    if (result != kSmtpOk) {
        socket_.reset();
        return result;
    }
    connected_ = true;
    return kSmtpOk;
}

int CSmtpSession::SendMessage(const CMsg* message, std::string& sentText) {
    if (!connected_ || !socket_) return kSmtpNotConnected;
    if (!message) return kSmtpNoRecipient;
    if (message->To.empty() && message->Cc.empty() && message->Bcc.empty()) return kSmtpNoRecipient;
    if (message->From.empty() || HasLineBreak(message->From)) return kSmtpNoSender;

    std::vector<std::string> recipients;
    for (const std::string* list : {&message->To, &message->Cc, &message->Bcc}) {
        for (auto& address : EnvelopeAddresses(*list)) recipients.push_back(std::move(address));
    }

    std::string text;
    MimeWriterOptions options;
    options.displayName = settings_.displayName;
    options.wantAttachments = settings_.wantAttachments != 0;
    options.now = static_cast<int64_t>(std::time(nullptr));
    WriteMimeMessage(*message, options, contentTypes_, text);

    std::string reply;
    if (int rc = Envelope(message->From, recipients, nullptr, reply)) return rc;
    if (int rc = Data(text, reply)) return rc;
    sentText = std::move(text);
    return kSmtpOk;
}

int CSmtpSession::Envelope(const std::string& from, const std::vector<std::string>& recipients,
                           std::vector<Refusal>* refused, std::string& reply) {
    if (!connected_ || !socket_) return kSmtpNotConnected;
    if (HasLineBreak(from)) return kSmtpNoSender;
    if (!Exchange("MAIL FROM: <" + from + ">\r\n", reply) || !Begins(reply, "250")) {
        const std::string answer = reply;
        Reset();
        reply = answer;
        return kSmtpRefused;
    }
    int accepted = 0;
    std::string lastRefusal;
    for (const std::string& address : recipients) {
        const bool taken =
            !HasLineBreak(address) && Exchange("RCPT TO: <" + address + ">\r\n", reply) && Begins(reply, "250");
        if (taken) {
            ++accepted;
            continue;
        }
        lastRefusal = reply;
        if (refused) refused->push_back({address, FirstLine(reply)});
        // A connection that is gone takes no more recipients.
        if (!socket_->IsConnected()) break;
    }
    if (accepted == 0) {
        Reset();
        reply = lastRefusal;
        return kSmtpNoRecipient;
    }
    // The message goes out only after the server asked for it.
    if (!Exchange("DATA\r\n", reply) || !Begins(reply, "354")) {
        const std::string answer = reply;
        Reset();
        reply = answer;
        return kSmtpRefused;
    }
    return kSmtpOk;
}

int CSmtpSession::Data(const std::string& text, std::string& reply) {
    if (!connected_ || !socket_) return kSmtpNotConnected;
    if (!Exchange(DotStuff(text) + "\r\n.\r\n", reply, "[Message Content]") || !Begins(reply, "250")) {
        const std::string answer = reply;
        Reset();
        reply = answer;
        return kSmtpRefused;
    }
    return kSmtpOk;
}

int CSmtpSession::Close() {
    if (connected_ && socket_) socket_->Send("quit\r\n");
    socket_.reset();
    connected_ = false;
    return kSmtpOk;
}

void CContentTypeList::Add(std::string contentType, std::string extension) {
    entries_.push_back({std::move(contentType), Lower(extension)});
    loaded_ = true;
}

bool CContentTypeList::ContentTypeFromExtension(const std::string& extension, std::string& out) {
    if (extension.empty()) return false;
    if (!tried_) Load();
    std::string lower = Lower(extension);
    for (const auto& entry : entries_) {
        if (entry.extension.find(lower) != std::string::npos) {
            out = entry.contentType;
            return true;
        }
    }
    out = "application/octet-stream";
    return true;
}

}  // namespace inet
