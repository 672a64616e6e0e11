#include "hosts/imap/imap_connection.h"

#include <algorithm>

#include <cstdio>

namespace imap {
namespace {

// One counter per process, as there is one connection per process.
unsigned g_tagCounter = 0;

constexpr const char* kListCommand = "LIST \"\" \"%\"";

std::string Quoted(const std::string& text) {
    std::string out;
    // Names that a quoted string cannot carry are sent empty, which every server refuses.
    if (!Quote(text, out)) out = "\"\"";
    return out;
}

bool IsAtom(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text) {
        if (c <= ' ' || c >= 0x7f || c == '(' || c == ')' || c == '{' || c == '%' || c == '*' || c == '"' ||
            c == '\\' || c == ']')
            return false;
    }
    return true;
}

}  // namespace

CImapConnection::~CImapConnection() { Disconnect(); }

void CImapConnection::ResetTags() { g_tagCounter = 0; }

std::string CImapConnection::NextTag() {
    tag_ = "AEG" + std::to_string(++g_tagCounter);
    return tag_;
}

void CImapConnection::Log(const std::string& text) const { settings_.Log(text); }

bool CImapConnection::SendTaggedCommand(const std::string& command, std::string& response) {
    std::vector<ParsedLine> lines;
    return Exchange(command, response, lines);
}

bool CImapConnection::Exchange(const std::string& command, std::string& response, std::vector<ParsedLine>& lines) {
    response.clear();
    lines.clear();
    if (!socket_) return false;
    CollectAhead();
    std::string tag = NextTag();
    std::string line = tag + " " + command + "\r\n";
    if (settings_.yield) settings_.yield();
    if (socket_->Send(line) != inet::kSockOk) return false;
    ImapReplyEnd end(tag);
    int rc = socket_->Receive(response, false, end);
    if (settings_.yield) settings_.yield();
    // A reply that never completed is a failure of its own, not a transcript.
    if (rc != inet::kSockOk) return false;
    lines = end.TakeLines();

    if (settings_.logEnabled) {
        std::string shown = response;
        if (command.find("FETCH") != std::string::npos) {
            std::size_t cr = response.find('\r');
            shown = cr == std::string::npos ? std::string() : response.substr(0, cr);
        }
        if (command.find("FETCH") == std::string::npos || !shown.empty()) {
            Log("IMAP SEND:" + command + "\nIMAP RECV:" + shown);
        }
    }
    return StatusOf(lines, tag) == TaggedStatus::kOk;
}

bool CImapConnection::Pipeline(const std::vector<std::string>& commands, std::vector<std::vector<ParsedLine>>& replies,
                               std::vector<bool>& ok, std::function<bool(ParsedLine&)> take) {
    replies.assign(commands.size(), {});
    ok.assign(commands.size(), false);
    if (!socket_ || commands.empty()) return false;
    CollectAhead();
    std::vector<std::string> tags;
    std::string text;
    for (const std::string& command : commands) {
        tags.push_back(NextTag());
        text += tags.back() + " " + command + "\r\n";
    }
    if (settings_.yield) settings_.yield();
    if (socket_->Send(text) != inet::kSockOk) return false;
    // The replies come in the order the commands went: each ends at its own tagged line.
    ImapReplyEnd end(tags.back());
    if (take) end.TakeUntagged(std::move(take));
    std::string response;
    const int rc = socket_->Receive(response, false, end);
    if (settings_.yield) settings_.yield();
    // A reply cut short still hands out the lines that came whole; its commands are
    // not OK.
    std::vector<ParsedLine> lines = end.TakeLines();
    std::size_t at = 0;
    for (ParsedLine& line : lines) {
        if (at >= commands.size()) break;
        const bool last = line.kind == LineKind::kTagged && line.tag == tags[at];
        if (last) ok[at] = line.status == LineStatus::kOk;
        replies[at].push_back(std::move(line));
        if (last) ++at;
    }
    if (settings_.logEnabled) {
        for (std::size_t i = 0; i < commands.size(); ++i)
            Log("IMAP SEND:" + commands[i] + "\nIMAP RECV:" + (ok[i] ? "OK" : "failed"));
    }
    return rc == inet::kSockOk && at == commands.size();
}

bool CImapConnection::Command(const std::string& command, std::vector<ParsedLine>& lines) {
    std::string response;
    return Exchange(command, response, lines);
}

int CImapConnection::Connect(const ImapSettings* settings) {
    if (connected_) return kImapOk;
    if (!settings) return kImapNotReady;
    settings_ = *settings;
    if (int rc = inet::OpenSocket(settings_, "IMAP", socket_, kImapStartup, kImapConnect)) return rc;
    // The greeting is one untagged line; its [CAPABILITY ...] code, when there is one,
    // says what the server offers without a round trip spent on asking.
    std::string greeting;
    socket_->Receive(greeting, false, "*");
    std::vector<ParsedLine> lines;
    ParseResponse(greeting, lines);
    if (!ReadCapabilities(lines, capabilities_).Ok()) capabilities_.clear();
    connected_ = true;
    return kImapOk;
}

int CImapConnection::SendLogin(bool quoted, LoginExtra* extra) {
    std::string user, password;
    if (quoted) {
        if (!Quote(settings_.user, user) || !Quote(settings_.password, password)) return kImapLoginRefused;
    } else {
        user = settings_.user;
        password = settings_.password;
    }
    // The folder list goes right behind the LOGIN, in the same write: it depends on
    // nothing the LOGIN answers but its success, and after a refused LOGIN the server
    // refuses it too (not authenticated), which is then not read as a list. So do the
    // caller's extra commands, which only read.
    const std::string loginTag = NextTag();
    const std::string listTag = NextTag();
    std::vector<std::string> extraTags;
    // Never logged: the line holds the password.
    std::string text = loginTag + " LOGIN " + user + " " + password + "\r\n" + listTag + " " + kListCommand + "\r\n";
    if (extra) {
        for (const std::string& command : extra->commands) {
            extraTags.push_back(NextTag());
            text += extraTags.back() + " " + command + "\r\n";
        }
        extra->replies.assign(extraTags.size(), {});
        extra->ok.assign(extraTags.size(), false);
    }
    if (socket_->Send(text) != inet::kSockOk) return kImapSendFailed;
    std::string response;
    ImapReplyEnd end(extraTags.empty() ? listTag : extraTags.back());
    if (extra && extra->take) end.TakeUntagged(extra->take);
    // A reply cut short leaves the commands whose tagged line did not come not OK.
    socket_->Receive(response, false, end);
    // Each command's lines end at its own tagged line, in the order they went.
    std::vector<std::vector<ParsedLine>> replies(2 + extraTags.size());
    std::vector<bool> ok(replies.size(), false);
    std::size_t at = 0;
    for (ParsedLine& line : end.TakeLines()) {
        if (at >= replies.size()) break;
        const std::string& tag = at == 0 ? loginTag : at == 1 ? listTag : extraTags[at - 2];
        const bool last = line.kind == LineKind::kTagged && line.tag == tag;
        if (last) ok[at] = line.status == LineStatus::kOk;
        replies[at].push_back(std::move(line));
        if (last) ++at;
    }
    if (at == 0) return kImapNothing;
    if (!ok[0]) return kImapLoginRefused;
    // What the server offers once logged in, when its answer says; else what the
    // greeting said stands (without either the plain commands are used).
    std::vector<std::string> offered;
    if (ReadCapabilities(replies[0], offered).Ok()) capabilities_ = std::move(offered);
    loggedIn_ = true;
    folderListRead_ = ok[1];
    if (settings_.logEnabled)
        Log(std::string("IMAP SEND:") + kListCommand + "\nIMAP RECV:" + (folderListRead_ ? "OK" : "failed"));
    ReadFolderList(folderListRead_ ? replies[1] : std::vector<ParsedLine>{});
    if (extra) {
        for (std::size_t i = 0; i < extraTags.size(); ++i) {
            extra->replies[i] = std::move(replies[2 + i]);
            extra->ok[i] = ok[2 + i];
            if (settings_.logEnabled)
                Log("IMAP SEND:" + extra->commands[i] + "\nIMAP RECV:" + (extra->ok[i] ? "OK" : "failed"));
        }
    }
    return kImapOk;
}

int CImapConnection::ImapLogin() {
    if (!connected_ || !socket_) return kImapNotConnected;
    // The first folder's listing travels with the LOGIN where a state of it is kept and
    // the greeting offers ENABLE: its QRESYNC selection asks only for what changed, and
    // a server that turns out not to have QRESYNC refuses it, after which the folder is
    // listed the plain way.
    std::optional<std::pair<std::string, ListingState>> ahead = std::move(atLogin_);
    atLogin_.reset();
    int rc = ahead && imap::HasCapability(capabilities_, "ENABLE") && !qresyncRefused_
                 ? LoginWithListing(ahead->first, ahead->second)
                 : SendLogin(true);
    if (rc == kImapLoginRefused) {
        // Some servers want bare atoms; only try them when they cannot change the command.
        if (!IsAtom(settings_.user) || !IsAtom(settings_.password)) return kImapLoginRefused;
        rc = SendLogin(false);
    }
    return rc;
}

int CImapConnection::Logout() {
    if (!Ready()) return kImapNotConnected;
    // Every command before it has had its tagged answer read (nothing is pending but body
    // fetches sent ahead, which nobody wants now), and the server's answer to LOGOUT
    // decides nothing: the command is sent and the connection closed without waiting a
    // round trip for it.
    ahead_.reset();
    const std::string tag = NextTag();
    const bool sent = socket_->Send(tag + " LOGOUT\r\n") == inet::kSockOk;
    if (settings_.logEnabled) Log("IMAP SEND:LOGOUT");
    loggedIn_ = false;
    connected_ = false;
    socket_.reset();
    return sent ? kImapOk : kImapLogoutRefused;
}

int CImapConnection::Disconnect() {
    connected_ = false;
    ahead_.reset();
    if (socket_) {
        if (loggedIn_) {
            connected_ = true;
            Logout();
            connected_ = false;
        }
        socket_.reset();
    }
    loggedIn_ = false;
    folderListRead_ = false;
    inboxListed_ = false;
    flaggedByUs_.clear();
    capabilities_.clear();
    qresyncEnabled_ = false;
    qresyncRefused_ = false;
    listingState_.reset();
    atLogin_.reset();
    listedAtLogin_.clear();
    folderNames_.clear();
    selectedFolder_.clear();
    ForgetPrefetched();
    existsCount_ = 0;
    ResetTags();
    tag_.clear();
    return kImapOk;
}

bool CImapConnection::Select(const std::string& folder) {
    if (!Ready() || folder.empty()) return false;
    std::vector<ParsedLine> lines;
    if (!Command("SELECT " + Quoted(folder), lines)) return false;
    Selected(folder, lines);
    return true;
}

void CImapConnection::Selected(const std::string& folder, const std::vector<ParsedLine>& lines) {
    selectedFolder_ = folder;
    listed_.reset();
    if (!IsSelected(prefetchFolder_)) ForgetPrefetched();
    uint32_t exists = 0;
    existsCount_ = ReadExists(lines, exists).Ok() ? static_cast<int>(exists) : 0;
    uint64_t validity = 0;
    uidValidity_ = ReadCodeNumber(lines, "UIDVALIDITY", validity).Ok() && validity <= UINT32_MAX
                       ? static_cast<uint32_t>(validity)
                       : 0;
}

bool CImapConnection::IsSelected(const std::string& folder) const {
    if (selectedFolder_.empty()) return false;
    // INBOX is the one name that IMAP compares without regard to case.
    if (EqualsNoCase(folder, "inbox")) return EqualsNoCase(selectedFolder_, "inbox");
    return selectedFolder_ == folder;
}

int CImapConnection::MakeCurrent(const std::string& folder) {
    if (IsSelected(folder)) return kImapOk;
    if (!FolderExists(folder)) return kImapNoSuchFolder;
    return Select(folder) ? kImapOk : kImapSelectFailed;
}

int CImapConnection::SelectFolder(const std::string& folder) {
    if (!Ready()) return kImapNotReady;
    return MakeCurrent(folder.empty() ? "inbox" : folder);
}

bool CImapConnection::ListFolders() {
    if (!Ready()) return false;
    std::vector<ParsedLine> lines;
    const bool ok = Command(kListCommand, lines);
    ReadFolderList(ok ? lines : std::vector<ParsedLine>{});
    return ok;
}

void CImapConnection::ReadFolderList(const std::vector<ParsedLine>& lines) {
    for (const auto& line : lines) {
        ListEntry entry;
        ParseResult read = ReadListEntry(line, "LIST", entry);
        if (!read.Ok()) {
            if (read.error != ParseError::kNotFound) Log("IMAP: line skipped in LIST answer: " + read.text);
            continue;
        }
        if (entry.HasFlag("\\Noselect")) continue;
        folderNames_.push_back(entry.name);
    }
    inboxListed_ = false;
    for (const auto& name : folderNames_) inboxListed_ = inboxListed_ || EqualsNoCase(name, "Inbox");
    if (!inboxListed_) folderNames_.push_back("Inbox");
}

int CImapConnection::GetFolderNames(std::vector<std::string>& out) {
    if (folderNames_.empty() && !ListFolders()) return kImapFolderChange;
    out = folderNames_;
    return kImapOk;
}

bool CImapConnection::FolderExists(const std::string& name) const {
    if (!folderListRead_) return true;
    for (const auto& folder : folderNames_) {
        if (EqualsNoCase(folder, name)) return true;
    }
    return false;
}

bool CImapConnection::HasCapability(const std::string& name) {
    // Asked only when neither the greeting nor the LOGIN answer said.
    if (capabilities_.empty()) {
        std::vector<ParsedLine> lines;
        if (!Command("CAPABILITY", lines) || !ReadCapabilities(lines, capabilities_).Ok()) capabilities_.clear();
    }
    return imap::HasCapability(capabilities_, name);
}

bool CImapConnection::Expunge() {
    if (!Ready()) return false;
    if (flaggedByUs_.empty()) return true;
    ForgetPrefetched();
    const bool uidPlus = HasCapability("UIDPLUS");
    bool ok = true;
    for (const auto& entry : flaggedByUs_) {
        const std::string& folder = entry.first;
        const std::set<uint32_t>& ours = entry.second;
        // A folder renamed or deleted since cannot be selected; nothing of ours is left in it.
        if (MakeCurrent(folder) != kImapOk) continue;
        std::vector<ParsedLine> lines;
        if (uidPlus) {
            std::string set;
            for (uint32_t uid : ours) set += (set.empty() ? "" : ",") + std::to_string(uid);
            if (!Command("UID EXPUNGE " + set, lines)) ok = false;
            continue;
        }
        std::vector<uint32_t> flagged;
        if (!Command("UID SEARCH DELETED", lines) || !ReadSearch(lines, flagged, static_cast<std::size_t>(-1)).Ok()) {
            ok = false;
            continue;
        }
        if (!std::all_of(flagged.begin(), flagged.end(), [&](uint32_t uid) { return ours.count(uid) != 0; })) {
            Log("IMAP: Expunge of '" + folder + "' left for later: another client has flagged messages deleted there.");
            continue;
        }
        std::string response;
        if (!SendTaggedCommand("EXPUNGE", response)) ok = false;
    }
    flaggedByUs_.clear();
    return ok;
}

int CImapConnection::FetchSeenFlag(const std::string& folder, uint32_t uid, int* seen) {
    if (!Ready() || folder.empty() || uid == 0 || !seen) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    if (const Prefetched* p = Known(folder, uid); p && p->hasSeen) {
        *seen = p->seen;
        return kImapOk;
    }
    std::vector<ParsedLine> lines;
    if (!Command("UID FETCH " + std::to_string(uid) + " FLAGS", lines)) return kImapSeenFailed;
    FetchData data;
    *seen = FindFetchByUid(lines, uid, data).Ok() && data.HasFlag("\\Seen") ? 1 : 0;
    return kImapOk;
}

int CImapConnection::FetchSize(const std::string& folder, uint32_t uid) {
    if (!Ready() || folder.empty() || uid == 0) return 0;
    if (MakeCurrent(folder) != kImapOk) return 0;
    if (const Prefetched* p = Known(folder, uid); p && p->hasSize)
        return p->size > INT32_MAX ? 0 : static_cast<int>(p->size);
    std::vector<ParsedLine> lines;
    if (!Command("UID FETCH " + std::to_string(uid) + " rfc822.size", lines)) return 0;
    FetchData data;
    if (!FindFetchByUid(lines, uid, data).Ok() || !data.hasSize || data.size > INT32_MAX) return 0;
    return static_cast<int>(data.size);
}

int CImapConnection::FetchInternalDate(const std::string& folder, uint32_t uid, std::string& text) {
    text.clear();
    if (!Ready() || folder.empty() || uid == 0) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    std::vector<ParsedLine> lines;
    if (!Command("UID FETCH " + std::to_string(uid) + " INTERNALDATE", lines)) return kImapNothing;
    FetchData data;
    if (!FindFetchByUid(lines, uid, data).Ok() || !data.hasInternalDate) return kImapNothing;
    text = data.internalDate;
    return kImapOk;
}

int CImapConnection::StoreSeenFlag(const std::string* folder, uint32_t uid, bool seen) {
    if (!Ready() || uid == 0) return kImapNotReady;
    if (folder && !folder->empty()) {
        if (int rc = MakeCurrent(*folder)) return rc;
    }
    std::string response;
    std::string command = "UID STORE " + std::to_string(uid) + (seen ? " +" : " -") + "FLAGS.SILENT \\seen";
    if (!SendTaggedCommand(command, response)) return kImapSeenFailed;
    if (auto it = prefetched_.find(uid); it != prefetched_.end() && IsSelected(prefetchFolder_))
        it->second.seen = seen ? 1 : 0;
    return kImapOk;
}

int CImapConnection::StoreDeleted(const std::string& folder, uint32_t uid) {
    if (!Ready() || folder.empty() || uid == 0) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    std::string response;
    if (!SendTaggedCommand("UID STORE " + std::to_string(uid) + " +FLAGS.SILENT \\deleted", response))
        return kImapDeleteRefused;
    // INBOX in any case is one folder; one entry keeps its UIDs together.
    flaggedByUs_[EqualsNoCase(folder, "inbox") ? std::string("INBOX") : folder].insert(uid);
    return kImapOk;
}

int CImapConnection::CopyMessages(const std::string& from, const std::string& to, int count, const uint32_t* uids) {
    if (!Ready() || !uids || from.empty()) return kImapNotReady;
    if (to.empty()) return kImapNoneCopied;
    if (count <= 0) return kImapNoneCopied;
    if (!FolderExists(from) || !FolderExists(to)) return kImapNoSuchFolder;
    if (MakeCurrent(from) != kImapOk) return kImapSelectFailed;
    int moved = 0;
    for (int i = 0; i < count; ++i) {
        if (uids[i] == 0) continue;
        std::string response;
        if (!SendTaggedCommand("UID COPY " + std::to_string(uids[i]) + " " + Quoted(to), response)) continue;
        if (StoreDeleted(from, uids[i]) == kImapOk) ++moved;
    }
    return moved > 0 ? kImapOk : kImapNoneCopied;
}

int CImapConnection::CreateFolder(const std::string& name) {
    if (!Ready() || name.empty()) return kImapNotReady;
    std::string response;
    if (!SendTaggedCommand("CREATE " + Quoted(name), response)) return kImapFolderChange;
    SendTaggedCommand("SUBSCRIBE " + Quoted(name), response);
    folderNames_.push_back(name);
    return kImapOk;
}

int CImapConnection::RenameFolder(const std::string& name, const std::string& newName) {
    if (!Ready() || name.empty() || newName.empty()) return kImapNotReady;
    if (!FolderExists(name)) return kImapNoSuchFolder;
    if (MakeCurrent(name) != kImapOk) return kImapSelectFailed;
    std::string response;
    if (!SendTaggedCommand("RENAME " + Quoted(name) + " " + Quoted(newName), response)) return kImapFolderChange;
    SendTaggedCommand("SUBSCRIBE " + Quoted(newName), response);
    for (auto& folder : folderNames_) {
        if (EqualsNoCase(folder, name)) {
            folder = newName;
            return kImapOk;
        }
    }
    return kImapFolderChange;
}

void CImapConnection::RemoveFolderName(const std::string& name) {
    for (auto it = folderNames_.begin(); it != folderNames_.end(); ++it) {
        if (!EqualsNoCase(*it, name)) continue;
        if (IsSelected(*it)) {
            selectedFolder_.clear();
            existsCount_ = 0;
        }
        folderNames_.erase(it);
        return;
    }
}

int CImapConnection::DeleteFolder(const std::string& name) {
    if (!Ready() || name.empty()) return kImapNotReady;
    if (!FolderExists(name)) return kImapOk;
    bool listed = false;
    for (const auto& folder : folderNames_) listed = listed || EqualsNoCase(folder, name);
    std::string response;
    if (!SendTaggedCommand("DELETE " + Quoted(name), response)) return kImapDeleteRefused;
    RemoveFolderName(name);
    return listed ? kImapOk : kImapFolderChange;
}

std::string CImapConnection::SentFolderName(const std::string& named) {
    if (!Ready() || named.empty() || FolderExists(named)) return named;
    std::vector<ParsedLine> lines;
    std::string prefix;
    if (Command("NAMESPACE", lines) && ReadPersonalPrefix(lines, prefix).Ok() &&
        named.compare(0, prefix.size(), prefix) == 0)
        prefix.clear();
    const std::string prefixed = prefix + named;
    std::string marked;
    if (Command("LIST \"\" \"*\"", lines)) {
        for (const auto& line : lines) {
            ListEntry entry;
            if (!ReadListEntry(line, "LIST", entry).Ok() || entry.HasFlag("\\Noselect")) continue;
            if (entry.name == named || entry.name == prefixed) return entry.name;
            if (marked.empty() && entry.HasFlag("\\Sent")) marked = entry.name;
        }
    }
    return marked.empty() ? prefixed : marked;
}

int CImapConnection::AppendMessage(const std::string& folder, const std::string& text) {
    if (!Ready() || folder.empty() || text.empty()) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    CollectAhead();
    std::string tag = NextTag();
    std::string command = "APPEND " + Quoted(folder) + " {" + std::to_string(text.size()) + "}";
    std::string response;
    ImapReplyEnd untilContinuation(tag, true);
    if (socket_->Send(tag + " " + command + "\r\n") != inet::kSockOk ||
        socket_->Receive(response, false, untilContinuation) != inet::kSockOk) {
        return kImapAppendRefused;
    }
    Log("IMAP SEND:" + command + "\nIMAP RECV:" + response);
    // The message goes out only after the server asked for it; a tagged answer here
    // is a refusal.
    const std::vector<ParsedLine>& asked = untilContinuation.Lines();
    if (asked.empty() || asked.back().kind != LineKind::kContinuation) return kImapAppendRefused;
    ImapReplyEnd end(tag);
    if (socket_->Send(text + "\r\n") != inet::kSockOk || socket_->Receive(response, false, end) != inet::kSockOk) {
        return kImapAppendRefused;
    }
    return StatusOf(end.Lines(), tag) == TaggedStatus::kOk ? kImapOk : kImapAppendRefused;
}

}  // namespace imap
