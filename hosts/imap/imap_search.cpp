// Finding a folder's messages and their read state and arrival time.
#include <algorithm>

#include "hosts/imap/imap_connection.h"
#include "hosts/inet/text_lines.h"

namespace imap {
namespace {

// The date text of the first Received header in a header block: the text after its last
// ';' (folded lines joined); "" when there is none.
std::string ReceivedDateText(const std::string& header) {
    std::vector<std::string> headerLines = inet::SplitLines(header);
    std::string value;
    for (std::size_t i = 0; i < headerLines.size(); ++i) {
        if (Lower(headerLines[i]).rfind("received:", 0) != 0) continue;
        value = headerLines[i];
        while (i + 1 < headerLines.size() && !headerLines[i + 1].empty() &&
               (headerLines[i + 1][0] == ' ' || headerLines[i + 1][0] == '\t')) {
            ++i;
            value += " " + headerLines[i].substr(headerLines[i].find_first_not_of(" \t"));
        }
        break;
    }
    std::size_t semi = value.rfind(';');
    if (semi == std::string::npos) return {};
    std::size_t start = value.find_first_not_of(" \t", semi + 1);
    return start == std::string::npos ? std::string() : value.substr(start);
}

// "1:5,9,12:13" for sorted UIDs, ranges only over consecutive numbers.
std::string UidSet(std::vector<uint32_t>::const_iterator first, std::vector<uint32_t>::const_iterator last) {
    std::string set;
    while (first != last) {
        auto run = first;
        while (run + 1 != last && *(run + 1) == *run + 1) ++run;
        if (!set.empty()) set += ',';
        set += std::to_string(*first);
        if (run != first) set += ':' + std::to_string(*run);
        first = run + 1;
    }
    return set;
}

bool SectionNames(const FetchBody& body, const char* field) {
    return Lower(body.section).find(field) != std::string::npos;
}

constexpr std::size_t kUidsPerFetch = 2000;

}  // namespace

bool CImapConnection::PrefetchInfo(const std::string& folder, const std::vector<uint32_t>& wanted, bool details) {
    if (!Ready() || folder.empty()) return false;
    if (MakeCurrent(folder) != kImapOk) return false;
    std::vector<uint32_t> uids;
    for (uint32_t uid : wanted) {
        if (uid == 0) continue;
        // What an earlier exchange brought is not asked for again.
        if (const Prefetched* p = Known(folder, uid); p && p->hasSeen && (!details || (p->hasSize && p->hasReceived)))
            continue;
        uids.push_back(uid);
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    const std::string items = details ? " (UID FLAGS RFC822.SIZE INTERNALDATE"
                                        " BODY.PEEK[HEADER.FIELDS (Received)]"
                                        " BODY.PEEK[HEADER.FIELDS (Content-Type)])"
                                      : " (UID FLAGS)";
    prefetchFolder_ = selectedFolder_;
    if (uids.empty()) return true;
    // A few thousand UIDs to each UID FETCH, all sent together: one round trip.
    std::vector<std::string> commands;
    for (std::size_t at = 0; at < uids.size(); at += kUidsPerFetch) {
        const auto first = uids.begin() + static_cast<std::ptrdiff_t>(at);
        const auto last = uids.begin() + static_cast<std::ptrdiff_t>(std::min(uids.size(), at + kUidsPerFetch));
        commands.push_back("UID FETCH " + UidSet(first, last) + items);
    }
    // Each FETCH line is read as it arrives; lines that are no FETCH, or of a message not
    // asked for, are passed over.
    auto take = [&](ParsedLine& line) {
        FetchData data;
        if (!ReadFetch(line, data).Ok() || !data.hasUid || !std::binary_search(uids.begin(), uids.end(), data.uid))
            return false;
        Prefetched& p = prefetched_[data.uid];
        if (data.hasFlags) {
            p.hasSeen = true;
            p.seen = data.HasFlag("\\Seen") ? 1 : 0;
        }
        if (!details) return true;
        if (data.hasSize) {
            p.hasSize = true;
            p.size = data.size;
        }
        if (data.hasInternalDate) p.internalDate = data.internalDate;
        for (const FetchBody& body : data.bodies) {
            if (SectionNames(body, "received")) {
                p.hasReceived = true;
                p.received = body.nil ? std::string() : ReceivedDateText(body.text);
            } else if (SectionNames(body, "content-type") && !body.nil) {
                p.hasType = true;
                p.typeHeader = body.text;
            }
        }
        return true;
    };
    std::vector<std::vector<ParsedLine>> replies;
    std::vector<bool> ok;
    return Pipeline(commands, replies, ok, take) && std::all_of(ok.begin(), ok.end(), [](bool b) { return b; });
}

namespace {

// One UID FETCH per request over its UIDs (sorted, without 0 or repeats).
struct BodyCommands {
    std::vector<std::vector<uint32_t>> sets;
    std::vector<std::string> commands;
};
BodyCommands CommandsOf(const std::vector<CImapConnection::BodyRequest>& requests) {
    BodyCommands out;
    for (const CImapConnection::BodyRequest& request : requests) {
        std::vector<uint32_t> uids;
        for (uint32_t uid : request.uids)
            if (uid != 0) uids.push_back(uid);
        if (uids.empty()) continue;
        std::sort(uids.begin(), uids.end());
        uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
        out.commands.push_back("UID FETCH " + UidSet(uids.begin(), uids.end()) + " (UID " + request.items + ")");
        out.sets.push_back(std::move(uids));
    }
    return out;
}

}  // namespace

bool CImapConnection::KeepBodies(ParsedLine& line, const std::vector<std::vector<uint32_t>>& sets) {
    FetchData data;
    if (!ReadFetch(line, data).Ok() || !data.hasUid) return false;
    const bool asked = std::any_of(sets.begin(), sets.end(), [&data](const std::vector<uint32_t>& set) {
        return std::binary_search(set.begin(), set.end(), data.uid);
    });
    if (!asked) return false;
    for (FetchBody& body : data.bodies) {
        if (!body.origin.empty()) continue;  // a partial fetch is not what was asked
        Section& kept = bodies_[data.uid][Lower(body.section)];
        kept.nil = body.nil;
        kept.text = std::move(body.text);
    }
    return true;
}

void CImapConnection::CollectAhead() {
    if (!ahead_) return;
    Ahead pending = std::move(*ahead_);
    ahead_.reset();
    if (!socket_) return;
    // Sent before anything else could select another folder; checked all the same, as
    // bodies are kept by UID alone.
    const bool same = IsSelected(pending.folder);
    ImapReplyEnd end(pending.tags.back());
    end.TakeUntagged([&](ParsedLine& line) { return same && KeepBodies(line, pending.sets); });
    std::string response;
    socket_->Receive(response, false, end);
    if (settings_.yield) settings_.yield();
    if (settings_.logEnabled) {
        const std::vector<ParsedLine>& lines = end.Lines();
        for (std::size_t i = 0; i < pending.commands.size(); ++i)
            Log("IMAP RECV (" + pending.commands[i] + "):" +
                (StatusOf(lines, pending.tags[i]) == TaggedStatus::kOk ? "OK" : "failed"));
    }
}

bool CImapConnection::PrefetchBodies(const std::string& folder, const std::vector<BodyRequest>& requests,
                                     const std::vector<BodyRequest>& ahead) {
    if (!Ready() || folder.empty() || requests.empty()) return false;
    if (MakeCurrent(folder) != kImapOk) return false;
    BodyCommands now = CommandsOf(requests);
    if (now.commands.empty()) return false;
    // Asked for already, ahead of the last batch: its answer is read instead.
    const bool sentAhead = ahead_ && IsSelected(ahead_->folder) && ahead_->commands == now.commands;
    CollectAhead();
    prefetchFolder_ = selectedFolder_;
    bool all = true, came = true;
    if (!sentAhead) {
        // A server may answer pipelined fetches interleaved: a message's lines can come
        // in any reply, each section named by its own item. Each is kept as it arrives; a
        // reply cut short keeps what it brought whole, the rest is asked for message by
        // message.
        std::vector<std::vector<ParsedLine>> replies;
        std::vector<bool> ok;
        came = Pipeline(now.commands, replies, ok, [&](ParsedLine& line) { return KeepBodies(line, now.sets); });
        all = came && std::all_of(ok.begin(), ok.end(), [](bool b) { return b; });
    }
    // The next batch goes out only now, after this one's answer: a server that answers
    // pipelined fetches together would otherwise hold this one's end until that one's.
    BodyCommands next = CommandsOf(ahead);
    // Not behind a reply that did not all come: the connection is not to be trusted.
    if (next.commands.empty() || !came || !socket_) return all;
    std::string text;
    std::vector<std::string> tags;
    for (const std::string& command : next.commands) {
        tags.push_back(NextTag());
        text += tags.back() + " " + command + "\r\n";
    }
    if (settings_.yield) settings_.yield();
    if (socket_->Send(text) != inet::kSockOk) return all;
    if (settings_.logEnabled)
        for (const std::string& command : next.commands) Log("IMAP SEND:" + command);
    ahead_ = Ahead{selectedFolder_, std::move(next.commands), std::move(tags), std::move(next.sets)};
    return all;
}

const CImapConnection::Prefetched* CImapConnection::Known(const std::string& folder, uint32_t uid) const {
    if (prefetchFolder_.empty() || !IsSelected(folder) || !IsSelected(prefetchFolder_)) return nullptr;
    auto it = prefetched_.find(uid);
    return it == prefetched_.end() ? nullptr : &it->second;
}

bool CImapConnection::HasBody(const std::string& folder, uint32_t uid) const {
    return !prefetchFolder_.empty() && IsSelected(folder) && IsSelected(prefetchFolder_) && bodies_.count(uid);
}

bool CImapConnection::TakeSection(const std::string& folder, uint32_t uid, const std::string& section,
                                  std::string& text, bool& nil) {
    if (!HasBody(folder, uid)) return false;
    auto& sections = bodies_[uid];
    auto it = sections.find(Lower(section));
    if (it == sections.end()) return false;
    nil = it->second.nil;
    text = std::move(it->second.text);
    sections.erase(it);
    if (sections.empty()) bodies_.erase(uid);
    return true;
}

void CImapConnection::ForgetPrefetched() {
    listed_.reset();
    prefetchFolder_.clear();
    prefetched_.clear();
    bodies_.clear();
}

std::string CImapConnection::SearchCommand() const {
    std::string command = "UID SEARCH NOT DELETED";
    if (!settings_.sinceDate.empty()) command += " SINCE " + settings_.sinceDate;
    if (settings_.unreadOnly) command += " NOT SEEN";
    return command;
}

void CImapConnection::ListAhead(const std::string& folder, const ListingState* kept) {
    // Listed already, with the LOGIN: what that brought stands.
    if (!listedAtLogin_.empty() && IsSelected(folder) && EqualsNoCase(listedAtLogin_, selectedFolder_)) {
        listedAtLogin_.clear();
        return;
    }
    listedAtLogin_.clear();
    listingState_.reset();
    if (!Ready() || folder.empty()) return;
    const bool select = !IsSelected(folder);
    if (select && !FolderExists(folder)) return;
    // Only a selection made now tells what changed since the kept state.
    if (select && !qresyncRefused_ && imap::HasCapability(capabilities_, "QRESYNC") &&
        imap::HasCapability(capabilities_, "ENABLE")) {
        std::string quoted;
        if (!Quote(folder, quoted)) return;
        if (ListWithState(folder, quoted, kept)) return;
    }
    // The search keeps its result on the server as "$", which the flag fetch names, and
    // answers it as one set.
    const bool saved = imap::HasCapability(capabilities_, "SEARCHRES") && imap::HasCapability(capabilities_, "ESEARCH");
    std::vector<std::string> commands;
    std::string quoted;
    if (select) {
        if (!Quote(folder, quoted)) return;
        commands.push_back("SELECT " + quoted);
    }
    std::string search = SearchCommand();
    if (saved) search.insert(std::string("UID SEARCH").size(), " RETURN (SAVE ALL)");
    commands.push_back(search);
    if (saved) commands.push_back("UID FETCH $ (UID FLAGS)");
    std::vector<std::vector<ParsedLine>> replies;
    std::vector<bool> ok;
    // The flags of a large folder are many thousand lines: each is read as it comes.
    std::vector<std::pair<uint32_t, bool>> flags;
    auto flagLine = [&](ParsedLine& line) {
        FetchData data;
        if (!saved || !ReadFetch(line, data).Ok() || !data.hasUid || !data.hasFlags) return false;
        flags.emplace_back(data.uid, data.HasFlag("\\Seen"));
        return true;
    };
    Pipeline(commands, replies, ok, flagLine);
    std::size_t at = 0;
    if (select) {
        // A failed SELECT leaves no folder selected; the search after it failed as well.
        if (!ok[0]) {
            selectedFolder_.clear();
            ForgetPrefetched();
            return;
        }
        Selected(folder, replies[0]);
        at = 1;
    }
    if (!ok[at]) return;  // SearchMessages asks again, its own way
    // No more UIDs than the folder holds messages, whatever a set spans.
    const std::size_t limit = existsCount_ > 0 ? static_cast<std::size_t>(existsCount_) : 0;
    std::vector<uint32_t> uids;
    if (!saved) {
        if (!ReadSearch(replies[at], uids, limit).Ok()) return;
        listed_ = std::move(uids);
        return;
    }
    if (!ReadEsearchAll(replies[at], uids, limit).Ok()) return;
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    if (ok[at + 1]) {
        prefetchFolder_ = selectedFolder_;
        // Lines of messages the search did not find (a server's news of other changes)
        // are passed over.
        for (const auto& [uid, seen] : flags) {
            if (!std::binary_search(uids.begin(), uids.end(), uid)) continue;
            Prefetched& p = prefetched_[uid];
            p.hasSeen = true;
            p.seen = seen ? 1 : 0;
        }
    }
    listed_ = std::move(uids);
}

int CImapConnection::SearchMessages(const std::string& folder, std::vector<uint32_t>& uids) {
    uids.clear();
    if (!Ready() || folder.empty()) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    if (existsCount_ <= 0) return kImapOk;
    std::size_t limit = static_cast<std::size_t>(existsCount_);

    if (listed_) {
        uids = std::move(*listed_);
        listed_.reset();
        if (uids.size() > limit) uids.resize(limit);
        return kImapOk;
    }
    const std::string command = SearchCommand();
    std::vector<ParsedLine> lines;
    if (Command(command, lines)) {
        // The answer is the untagged SEARCH line; an empty one is an empty folder window.
        ParseResult read = ReadSearch(lines, uids, limit);
        if (!read.Ok()) Log("IMAP: " + command + ": " + read.text);
        return read.Ok() ? kImapOk : kImapNothing;
    }

    // Servers without UID SEARCH: walk the sequence numbers (no date window here).
    std::vector<uint32_t> numbers;
    FetchData data;
    for (int i = 1; i <= existsCount_; ++i) {
        const auto n = static_cast<uint32_t>(i);
        if (settings_.unreadOnly) {
            if (!Command("FETCH " + std::to_string(n) + " FLAGS", lines)) continue;
            if (FindFetchBySequence(lines, n, data).Ok() && data.HasFlag("\\Seen")) continue;
        }
        numbers.push_back(n);
    }
    for (uint32_t n : numbers) {
        if (Command("FETCH " + std::to_string(n) + " UID", lines) && FindFetchBySequence(lines, n, data).Ok() &&
            data.hasUid) {
            uids.push_back(data.uid);
        }
    }
    return uids.empty() ? kImapNothing : kImapOk;
}

int CImapConnection::FetchSeenAndReceived(const std::string& folder, uint32_t uid, int* seen,
                                          std::string& receivedText) {
    receivedText.clear();
    if (!Ready() || folder.empty() || uid == 0 || !seen) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    if (const Prefetched* p = Known(folder, uid); p && p->hasSeen && p->hasReceived) {
        *seen = p->seen;
        receivedText = p->received;
        return kImapOk;
    }
    std::vector<ParsedLine> lines;
    if (!Command("UID FETCH " + std::to_string(uid) + " (FLAGS BODY.PEEK[HEADER.FIELDS (Received)])", lines))
        return kImapNothing;
    FetchData data;
    const bool found = FindFetchByUid(lines, uid, data).Ok();
    *seen = found && data.HasFlag("\\Seen") ? 1 : 0;
    if (!found || data.bodies.empty() || data.bodies.front().nil) return kImapOk;
    receivedText = ReceivedDateText(data.bodies.front().text);
    return kImapOk;
}

}  // namespace imap
