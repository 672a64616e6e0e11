// Listing and fetching messages, and the attachments of fetched ones.
#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <exception>

#include "datamgr/ledgerly_date.h"
#include "hosts/imap/imap_session.h"
#include "hosts/inet/host_messages.h"
#include "hosts/inet/text_lines.h"

namespace imap {

// The records the engine and the hosts exchange, and their helpers, all in common.
using namespace tess;

namespace {

constexpr int kMaxAttachments = 10;
// Bodies fetched ahead in one round trip: at most this many, and about this many bytes.
constexpr std::size_t kBodiesPerBatch = 250;
constexpr uint64_t kBatchBytes = 2u << 20;

std::string FolderOrInbox(const char* folder) { return folder && *folder ? std::string(folder) : std::string("Inbox"); }

// Calendar time of a date text; a text that cannot be read costs the message its date
// only.
int32_t DateOf(const std::string& text) {
    int64_t value = 0;
    if (text.empty() || tess::datamgr::ParseDateHeaderChecked(text.c_str(), 0, &value) != 0) return 0;
    if (value < INT32_MIN || value > INT32_MAX) return 0;
    return static_cast<int32_t>(value);
}

// "17-Jul-1996 02:44:25 -0700" (IMAP's date-time) in calendar time; 0 when unreadable.
int32_t InternalDateOf(std::string text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return 0;
    text.erase(0, first);
    for (int dashes = 0, i = 0; dashes < 2 && i < static_cast<int>(text.size()); ++i) {
        if (text[i] == '-') {
            text[i] = ' ';
            ++dashes;
        }
    }
    return DateOf(text);
}

// Hands the blocks out as one malloc'd array (FreeMailMsg releases it).
int HandOut(std::vector<MailMsg*>& blocks, MailMsg*** out, int* count) {
    return inet::HandOutBlocks(blocks, out, count) ? kImapOk : kImapFolderChange;
}

}  // namespace

int CImapSession::RefreshFolderUids(const std::string& folder) {
    CImapFolder* cached = FindFolder(folder);
    if (!imapUsable_ || !cached) return kImapNotConnected;
    return connection_.SearchMessages(folder, cached->uids);
}

int CImapSession::GetMsgIds(const char* folderName, MailMsg*** out, int* count) {
    const std::string folder = FolderOrInbox(folderName);
    CImapFolder* cached = FindFolder(folder);
    if (!imapUsable_ || !cached) return kImapNotConnected;
    if (!out || !count) return kImapNotReady;
    *count = 0;
    std::vector<MailMsg*> blocks;
    // Selection, search and (where the server keeps search results) flags in one round
    // trip; with QRESYNC and the state of the last listing, only what changed since.
    const std::filesystem::path stateFile = ListingStateFile(folder);
    ListingState kept;
    std::string why;
    const bool haveKept = KeptListing(folder, stateFile, kept, why);
    if (!haveKept && !stateFile.empty() && std::filesystem::exists(stateFile))
        Log("IMAP: The kept listing of '" + folder + "' is not used: " + why + ".");
    connection_.ListAhead(folder, haveKept ? &kept : nullptr);
    std::optional<ListingState> state = connection_.TakeListingState();
    // A server that no longer takes QRESYNC has no use for the state: dropped, it is not
    // sent with the next LOGIN either.
    if (haveKept && connection_.QresyncRefused()) DropListingState(stateFile);
    if (UidsStale(folder)) {
        relisted_.insert(ValidityKey(folder));
        return HandOut(blocks, out, count);
    }
    if (int rc = RefreshFolderUids(folder)) return rc;
    // One UID FETCH of the flags over the folder's UIDs (none when the listing brought
    // them); what it did not bring is asked for message by message.
    connection_.PrefetchInfo(folder, cached->uids, false);
    for (uint32_t uid : cached->uids) {
        MessageInfo info{uid, 0, 0};
        const CImapConnection::Prefetched* known = connection_.Known(folder, uid);
        if (known && known->hasSeen && !known->hasReceived) {
            // The arrival time waits until the headers of this message are asked for.
            info.seen = known->seen;
            info.dated = false;
        } else {
            std::string received;
            if (connection_.FetchSeenAndReceived(folder, uid, &info.seen, received) == kImapOk)
                info.receivedTime = DateOf(received);
            if (info.receivedTime == 0) info.receivedTime = InternalDate(folder, uid);
        }
        cached->AddInfo(info);
        CMsg msg;
        SetHostId(msg, uid);
        if (info.seen) msg.flags |= kMsgFlagRead;
        MailMsg* block = nullptr;
        if (msg.ToMailMsg(&block) == kMailMsgOk) blocks.push_back(block);
    }
    // The state is kept only once the listing it comes with has been made, and written
    // only when it changed (a sync with no change writes nothing).
    if (state && !(haveKept && *state == kept) && !SaveListingState(stateFile, ValidityKey(folder), *state, why))
        Log("IMAP: The listing of '" + folder + "' is not kept: " + why + ".");
    return HandOut(blocks, out, count);
}

int CImapSession::GetMsgHeaders(const char* folderName, MailMsg*** out, int* count, MsgIdDescriptor** ids,
                                int* idCount) {
    if (!imapUsable_) return kImapNotConnected;
    if (!out || !count) return kImapNotReady;
    *count = 0;
    const int requested = idCount ? *idCount : 0;
    if (requested <= 0 || !ids) return kImapOk;
    const std::string folder = FolderOrInbox(folderName);
    CImapFolder* cached = FindFolder(folder);
    if (!cached) return kImapFolderChange;
    std::vector<uint32_t> uids;
    for (int i = 0; i < requested; ++i) {
        uint32_t uid = 0;
        if (ids[i] && UidOf(static_cast<const uint8_t*>(ids[i]->bytes), ids[i]->length, uid)) uids.push_back(uid);
    }
    // Arrival times, sizes and types of the asked-for messages in few exchanges.
    std::vector<uint32_t> undated;
    for (uint32_t uid : uids)
        if (const MessageInfo* info = cached->Info(uid); info && !info->dated) undated.push_back(uid);
    if (!undated.empty()) connection_.PrefetchInfo(folder, undated, true);
    ahead_ = folder;
    aheadUids_ = uids;
    aheadAt_.clear();
    for (std::size_t i = 0; i < aheadUids_.size(); ++i) aheadAt_.emplace(aheadUids_[i], i);
    std::vector<MailMsg*> blocks;
    for (uint32_t uid : uids) {
        MessageInfo* info = cached->Info(uid);
        if (!info) continue;
        if (!info->dated) {
            int seen = 0;
            std::string received;
            if (connection_.FetchSeenAndReceived(folder, uid, &seen, received) == kImapOk)
                info->receivedTime = DateOf(received);
            if (info->receivedTime == 0) info->receivedTime = InternalDate(folder, uid);
            info->dated = true;
        }
        CMsg msg;
        SetHostId(msg, uid);
        if (info->seen) msg.flags |= kMsgFlagRead;
        msg.date = static_cast<int32_t>(info->receivedTime);
        MailMsg* block = nullptr;
        if (msg.ToMailMsg(&block) == kMailMsgOk) blocks.push_back(block);
    }
    return HandOut(blocks, out, count);
}

int CImapSession::GetAllMsgs(MailMsg*** out, int* count, bool headersOnly) {
    if (!out || !count) return kImapNotReady;
    *count = 0;
    std::vector<MailMsg*> blocks;
    if (imapUsable_ && UidsStale("Inbox")) {
        relisted_.insert(ValidityKey("Inbox"));
        return HandOut(blocks, out, count);
    }
    if (RefreshFolderUids("Inbox") != kImapOk || !FindFolder("Inbox")) return kImapFolderChange;
    BuildMessages("Inbox", FindFolder("Inbox")->uids, blocks, headersOnly);
    return HandOut(blocks, out, count);
}

int CImapSession::GetMsg(const char* folderName, const MsgIdDescriptor* id, MailMsg** out) {
    if (!imapUsable_) return kImapNotConnected;
    if (!id || !out) return kImapNotReady;
    const std::string folder = FolderOrInbox(folderName);
    CId wanted(id->bytes, id->length);
    if (CImapFolder* cached = FindFolder(folder)) {
        if (const CMsg* msg = cached->Message(wanted)) return msg->ToMailMsg(out) == 0 ? 0 : kImapFolderChange;
    }
    uint32_t uid = 0;
    if (id->length != 4 || !UidOf(static_cast<const uint8_t*>(id->bytes), id->length, uid)) return kImapNotReady;
    if (UidsStale(folder)) return kSessionNotFetched;  // the number names another message
    std::vector<MailMsg*> blocks;
    std::vector<int> complete;
    if (auto at = aheadAt_.find(uid); at != aheadAt_.end() && ahead_ == folder)
        PrefetchBodiesFrom(folder, aheadUids_, at->second);
    BuildMessages(folder, {uid}, blocks, false, &complete);
    if (blocks.size() != 1) {
        for (MailMsg* block : blocks) FreeMailMsgBlock(block);
        return kSessionNotFetched;  // nothing fetched is not a message
    }
    *out = blocks.front();
    (*out)->partBudget = complete.front() ? 0 : 1;
    if (CImapFolder* cached = FindFolder(folder)) cached->HandOut(wanted);
    return kImapOk;
}

int CImapSession::FetchMessage(const std::string& folder, uint32_t uid, inet::ParsedMessage& parsed, bool headersOnly) {
    if (!connection_.IsConnected() || !connection_.IsLoggedIn() || folder.empty() || uid == 0) return kImapNotReady;
    if (int rc = connection_.SelectFolder(folder)) return rc;
    parsed = inet::ParsedMessage{};
    try {
        std::string text;
        int complete = 1;
        if (!connection_.FetchMessageParts(folder, uid, text, &complete, headersOnly, imapSettings_.maxSize,
                                           imapSettings_.wantAttachments != 0))
            return kImapNothing;
        parsed.complete = complete;
        std::vector<std::string> lines = inet::SplitLines(text);
        inet::CMimeMessage reader;
        if (!reader.Parse(0, lines.size(), lines, true)) return kImapNothing;
        reader.CopyTo(parsed, imapSettings_.wantAttachments != 0);
    } catch (const std::exception&) {
        // Out of memory on a huge reply: this message fails, the listing goes on.
        Log("Invalid response when retrieving message.");
        parsed = inet::ParsedMessage{};
        return kImapNothing;
    }
    if (parsed.headers[inet::kHdrDate].empty()) parsed.headers[inet::kHdrDate] = parsed.headers[inet::kHdrReceived];
    return kImapOk;
}

std::string CImapSession::WriteAttachment(const inet::MimePart& part) {
    std::string bytes;
    if (!inet::DecodePartBody(part, bytes)) return {};
    auto dir = AttachmentDir();
    if (!dir) return {};
    return inet::WriteAttachmentFile(*dir, part.fileName, bytes);
}

bool CImapSession::BuildMsg(const std::string& folder, uint32_t uid, const inet::ParsedMessage& parsed, CMsg& msg) {
    inet::TakeHeaders(parsed, msg);
    const auto& h = parsed.headers;
    const std::string& received = h[inet::kHdrReceived].empty() ? h[inet::kHdrDate] : h[inet::kHdrReceived];
    msg.date = DateOf(received);
    // Without a readable date the message is dated by its arrival on the server.
    if (msg.date == 0) msg.date = InternalDate(folder, uid);
    msg.flags |= kMsgFlagSeenOnHost;
    SetHostId(msg, uid);

    int seen = 0;
    bool known = false;
    if (CImapFolder* cached = FindFolder(folder)) {
        if (const MessageInfo* info = cached->Info(uid)) {
            seen = info->seen;
            known = true;
        }
    }
    if (!known) connection_.FetchSeenFlag(folder, uid, &seen);
    if (seen) msg.flags |= kMsgFlagRead;

    msg.Body = inet::ChooseBody(parsed, preferHtml_);

    for (int i = 0; i < parsed.attachmentCount && i < kMaxAttachments; ++i) {
        const inet::MimePart& part = parsed.attachments[i];
        if (part.body.empty()) continue;
        std::string path = WriteAttachment(part);
        if (!path.empty()) msg.AddAttachmentName(path);
    }
    return true;
}

int CImapSession::BuildMessages(const std::string& folder, const std::vector<uint32_t>& uids,
                                std::vector<MailMsg*>& out, bool headersOnly, std::vector<int>* complete) {
    if (!imapUsable_) return kImapNotConnected;
    if (uids.size() > 1) connection_.PrefetchInfo(folder, uids, true);
    for (std::size_t i = 0; i < uids.size(); ++i) {
        const uint32_t uid = uids[i];
        if (!headersOnly && uids.size() > 1) PrefetchBodiesFrom(folder, uids, i);
        inet::ParsedMessage parsed;
        if (FetchMessage(folder, uid, parsed, headersOnly) != kImapOk) continue;
        auto msg = std::make_unique<CMsg>();
        BuildMsg(folder, uid, parsed, *msg);
        MailMsg* block = nullptr;
        if (msg->ToMailMsg(&block) != kMailMsgOk) continue;
        block->partBudget = parsed.complete ? 0 : 1;
        out.push_back(block);
        if (complete) complete->push_back(parsed.complete);
        if (!headersOnly) {
            if (CImapFolder* cached = FindFolder(folder)) cached->AddMessage(std::move(msg));
        }
    }
    return kImapOk;
}

int32_t CImapSession::InternalDate(const std::string& folder, uint32_t uid) {
    if (const auto* known = connection_.Known(folder, uid); known && !known->internalDate.empty())
        return InternalDateOf(known->internalDate);
    std::string text;
    return connection_.FetchInternalDate(folder, uid, text) == kImapOk ? InternalDateOf(text) : 0;
}

void CImapSession::PrefetchBodiesFrom(const std::string& folder, const std::vector<uint32_t>& uids, std::size_t start) {
    CImapFolder* cached = FindFolder(folder);
    if (!cached || start >= uids.size() || connection_.HasBody(folder, uids[start])) return;
    const int maxSize = imapSettings_.maxSize;
    const bool wantAttachments = imapSettings_.wantAttachments != 0;
    // What FetchMessageParts will ask for: the whole text in one BODY.PEEK[], or (a
    // multipart/mixed message cut short) the header and the sections of its first part.
    enum class Kind { kUnknown, kWhole, kParts };
    auto kindOf = [&](uint32_t uid, uint64_t& size) {
        const CImapConnection::Prefetched* p = connection_.Known(folder, uid);
        if (!p || !p->hasSize || !p->hasType) return Kind::kUnknown;
        size = p->size;
        const bool cut = (maxSize > 0 && p->size > static_cast<uint64_t>(maxSize)) || !wantAttachments;
        const bool mixed = Lower(p->typeHeader).find("multipart/mixed") != std::string::npos;
        return cut && mixed ? Kind::kParts : Kind::kWhole;
    };
    // One batch from uids[from]: its requests, and where the next batch starts (none when
    // its first message is not known well enough to ask for).
    auto plan = [&](std::size_t from, std::vector<CImapConnection::BodyRequest>& requests) {
        std::vector<uint32_t> whole, parts;
        uint64_t bytes = 0;
        std::size_t i = from;
        for (; i < uids.size() && whole.size() + parts.size() < kBodiesPerBatch; ++i) {
            uint64_t size = 0;
            const Kind kind = kindOf(uids[i], size);
            if (kind == Kind::kUnknown) {
                if (i == from) return uids.size();
                continue;
            }
            CMsg probe;
            SetHostId(probe, uids[i]);
            if (cached->Fetched(probe.hostId)) continue;
            // A message cut short brings its text part only: at most about the size limit.
            if (kind == Kind::kParts && maxSize > 0) size = std::min<uint64_t>(size, static_cast<uint64_t>(maxSize));
            if (whole.size() + parts.size() > 0 && bytes + size > kBatchBytes) break;
            (kind == Kind::kParts ? parts : whole).push_back(uids[i]);
            bytes += size;
        }
        if (!whole.empty() && whole.size() + parts.size() > 1) requests.push_back({whole, "BODY.PEEK[]"});
        if (!parts.empty())
            requests.push_back({parts,
                                "BODY.PEEK[HEADER] BODY.PEEK[1.MIME] BODY.PEEK[1] BODY.PEEK[1.1.MIME]"
                                " BODY.PEEK[1.1] BODY.PEEK[1.2.MIME] BODY.PEEK[1.2]"});
        return i;
    };
    std::vector<CImapConnection::BodyRequest> requests, ahead;
    const std::size_t next = plan(start, requests);
    // The batch after this one is asked for with it, and comes while this one is worked
    // on: the server is not left waiting for the next request.
    if (!requests.empty() && next < uids.size()) plan(next, ahead);
    // What an earlier batch held and was not taken by now is not going to be.
    connection_.DropBodies();
    if (!requests.empty()) connection_.PrefetchBodies(folder, requests, ahead);
}

int CImapSession::GetMessageAttachment(const char* folderName, int idLength, const void* idBytes,
                                       AttachmentTable** out) {
    Log("IMAP: Finishing getting attachments for message.");
    CImapFolder* cached = FindFolder(FolderOrInbox(folderName));
    CId wanted(idBytes, idLength);
    CMsg found;
    if (!cached || !cached->AttachmentNames(wanted, found.AttachmentNames) || !out) return kSessionNoMessage;
    std::vector<std::string> names = found.AttachmentNameList();
    if (names.empty()) return kImapOk;
    auto* table = static_cast<AttachmentTable*>(std::calloc(1, sizeof(AttachmentTable)));
    if (!table) return kImapFolderChange;
    *out = table;
    if (names.size() > kMaxAttachments) {
        std::string line = "The message contains more attachments than allowable. Removing attachments:";
        for (std::size_t i = kMaxAttachments; i < names.size(); ++i) line += "\n" + names[i];
        Log(line);
    }
    for (std::size_t i = 0; i < names.size() && i < kMaxAttachments; ++i) {
        std::strncpy(table->path[table->count], names[i].c_str(), 255);
        ++table->count;
        Log("ATT: " + names[i]);
    }
    Log("IMAP: Finishing getting attachments for message.");
    return kImapOk;
}

}  // namespace imap
