#include "hosts/pop/pop_connection.h"

#include <cstdio>

#include "common/language_module.h"
#include "crypto/kestrel.h"
#include "hosts/inet/text_lines.h"
#include "platform/syncmgr/syncmgr.h"

namespace pop {

using tess::LoadLangString;

namespace {

constexpr unsigned kTextApopUnsupported = 4327;
constexpr unsigned kTextInfo = 4328;
constexpr unsigned kTextLogonFailed = 4329;

}  // namespace

std::string PopText(unsigned id) {
    std::string text = LoadLangString(id);
    if (!text.empty()) return text;
    switch (id) {
    case kTextApopUnsupported:
        return " - The account '%s' has been configured to use APOP, but the server "
               "indicated that it does not support APOP.";
    case kTextInfo: return "TESSALINE INFO -- %s";
    case kTextLogonFailed: return "Server logon failed for user '%s'";
    default: return {};
    }
}

bool ApopDigest(std::string_view text, std::string& hex) {
    hex.clear();
    if (text.empty() || text.size() > UINT32_MAX) return false;
    ksMd5Context ctx{};
    ksDigest digest{};
    if (ks_md5Begin(nullptr, &ctx) != 0 ||
        ks_md5Hash(nullptr, static_cast<uint32_t>(text.size()), reinterpret_cast<const uint8_t*>(text.data()), &ctx) !=
            0 ||
        ks_md5End(nullptr, &ctx, &digest) != 0 || digest.length != 16) {
        return false;
    }
    char two[3];
    for (uint32_t i = 0; i < digest.length; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest.digest[i]);
        hex += two;
    }
    return true;
}

CPopConnection::~CPopConnection() { Close(); }

void CPopConnection::Log(const std::string& text) const { settings_.Log(text); }

int CPopConnection::Open() {
    if (connected_ || socket_) Close();
    if (int rc = inet::OpenSocket(settings_, "POP", socket_, kPopStartup, kPopConnect)) return rc;
    std::string greeting;
    if (socket_->Receive(greeting, false, "") != inet::kSockOk || !IsOkReply(greeting)) {
        // A server that does not greet with +OK is not one to log in to.
        Log("POP: Could not connect socket.\n" +
            (IsOkReply(greeting) || greeting.empty() ? socket_->LastError() : greeting));
        socket_.reset();
        return kPopConnect;
    }
    apopTimestamp_ = ApopTimestamp(greeting);
    connected_ = true;
    return kPopOk;
}

void CPopConnection::Close() {
    if (socket_ && loggedIn_) {
        std::string reply;
        Exchange("quit", reply, false);
    }
    socket_.reset();
    connected_ = false;
    entries_.clear();
    listed_ = false;
    loggedIn_ = false;
    deletions_ = 0;
    apopTimestamp_.clear();
}

bool CPopConnection::Exchange(const std::string& command, std::string& reply, bool multiLine) {
    reply.clear();
    if (command.empty() || !socket_) return false;
    // Commands are single lines: a CR or LF inside would smuggle in a second one.
    if (command.find_first_of("\r\n") != std::string::npos) return false;
    if (settings_.yield) settings_.yield();
    int rc = socket_->Send(command + "\r\n");
    if (rc == inet::kSockOk) {
        if (multiLine) {
            MultiLineEnd end;
            rc = socket_->Receive(reply, false, end);
        } else {
            rc = socket_->Receive(reply, false, "");
        }
    }
    if (settings_.yield) settings_.yield();

    if (inet::StartsWithNoCase(command, "apop") || inet::StartsWithNoCase(command, "user") ||
        inet::StartsWithNoCase(command, "pass")) {
        Log("POP Login");
    } else {
        const std::size_t cr = reply.find('\r');
        if (cr != std::string::npos)
            Log("POP SEND:" + command + "\nPOP RECV:" + reply.substr(0, cr));
        else if (rc != inet::kSockOk)
            Log("POP SEND:" + command + "\nPOP RECV:" + socket_->LastError());
    }
    if (rc != inet::kSockOk) {
        // The reply stream is out of step now; nothing more can be asked on it.
        connected_ = false;
        loggedIn_ = false;
        return false;
    }
    return IsOkReply(reply);
}

int CPopConnection::Login() {
    if (loggedIn_) Quit();
    if (!connected_) return kPopNotConnected;
    if (settings_.user.empty() || settings_.password.empty()) return kPopEmptyCredentials;
    std::string reply;
    bool ok = false;
    if (settings_.useApop) {
        if (apopTimestamp_.empty()) {
            SyncLogAddLine(inet::FormatOne(PopText(kTextApopUnsupported), settings_.accountName).c_str(), -1, 0);
            return kPopLoginFailed;
        }
        std::string hex;
        if (!ApopDigest(apopTimestamp_ + settings_.password, hex)) return kPopLoginFailed;
        ok = Exchange("apop " + settings_.user + " " + hex, reply, false);
    } else {
        ok = Exchange("user " + settings_.user, reply, false) && Exchange("pass " + settings_.password, reply, false);
    }
    if (!ok) return kPopLoginFailed;
    loggedIn_ = true;
    ListUidl();
    return kPopOk;
}

void CPopConnection::Notice(const std::string& text) const {
    Log("POP: " + text);
    SyncLogAddLine(text.c_str(), -1, 0);
}

int CPopConnection::ListUidl() {
    entries_.clear();
    listed_ = false;
    std::string reply;
    bool ok = Exchange("uidl", reply, true) && ParseUidlListing(reply, entries_);
    if (!ok && connected_ && !reply.empty() && !IsOkReply(reply)) {
        Notice("The POP server of account '" + settings_.accountName +
               "' does not offer UIDL (unique message ids): its messages are known by their headers instead.");
        ok = ListByHeaders();
    }
    if (!ok) {
        entries_.clear();
        return kPopCommandFailed;
    }
    if (const int repeated = MakeIdsUnique(entries_)) {
        Notice("The POP server of account '" + settings_.accountName + "' gives " + std::to_string(repeated) +
               " message(s) a unique id (UIDL) that another message has: each is kept as a message of its own.");
    }
    listed_ = true;
    return kPopOk;
}

bool CPopConnection::ListByHeaders() {
    std::string reply;
    // LIST lines are "number size": read as a listing, the size stands where the id will.
    if (!Exchange("list", reply, true) || !ParseUidlListing(reply, entries_)) return false;
    for (UidlEntry& e : entries_) {
        std::vector<std::string> lines;
        std::string hex;
        // A message whose headers cannot be read leaves the listing incomplete, and an
        // incomplete listing would read as deletions on the server.
        if (!Exchange("top " + std::to_string(e.number) + " 0", reply, true) || !ReadMessageLines(reply, lines))
            return false;
        std::string headers;
        for (const std::string& line : lines) headers += line + "\r\n";
        if (!ApopDigest(headers, hex)) return false;
        e.uidl = "hdr-" + hex;
    }
    return true;
}

int CPopConnection::Quit() {
    const bool deleted = deletions_ > 0;
    deletions_ = 0;
    if (!loggedIn_) return deleted ? kPopNotConnected : kPopOk;
    std::string reply;
    const bool ok = Exchange("quit", reply, false);
    loggedIn_ = false;
    connected_ = false;
    return ok ? kPopOk : kPopCommandFailed;
}

bool CPopConnection::InList(int number) const {
    for (const UidlEntry& e : entries_) {
        if (e.number == number) return true;
    }
    return false;
}

int CPopConnection::NumberOf(std::string_view uidl) const {
    if (uidl.empty()) return -1;
    for (const UidlEntry& e : entries_) {
        if (e.uidl == uidl) return e.number;
    }
    return -1;
}

int CPopConnection::Fetch(int number, bool headersOnly, std::vector<std::string>& lines) {
    lines.clear();
    if (!connected_) return kPopNotConnected;
    if (!loggedIn_) return kPopNotLoggedIn;
    if (!InList(number)) return kPopNoSuchMessage;
    const std::string command = headersOnly ? "top " + std::to_string(number) + " 0" : "retr " + std::to_string(number);
    std::string reply;
    if (!Exchange(command, reply, true) || !ReadMessageLines(reply, lines)) {
        Log("Invalid response when retrieving message.");
        return kPopCommandFailed;
    }
    return kPopOk;
}

int CPopConnection::Delete(int number) {
    if (!connected_) return kPopNotConnected;
    if (!loggedIn_) return kPopNotLoggedIn;
    if (!InList(number)) return kPopNoSuchMessage;
    std::string reply;
    if (!Exchange("dele " + std::to_string(number), reply, false)) return kPopDeleteRefused;
    ++deletions_;
    std::erase_if(entries_, [number](const UidlEntry& e) { return e.number == number; });
    return kPopOk;
}

}  // namespace pop
