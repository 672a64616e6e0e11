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
namespace {

constexpr int kMaxAttachments = 10;

std::string FolderOrInbox(const char* folder) {
    return folder && *folder ? std::string(folder) : std::string("Inbox");
}

// Calendar time of a date text; a text that cannot be read costs the message its date
// only.
int32_t DateOf(const std::string& text) {
    int64_t value = 0;
    if (text.empty() || tess::datamgr::ParseDateHeaderChecked(text.c_str(), 0, &value) != 0) return 0;
    if (value < INT32_MIN || value > INT32_MAX) return 0;
    return static_cast<int32_t>(value);
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
    if (UidsStale(folder)) {
        relisted_.insert(ValidityKey(folder));
        return HandOut(blocks, out, count);
    }
    if (int rc = RefreshFolderUids(folder)) return rc;
    for (uint32_t uid : cached->uids) {
        MessageInfo info{uid, 0, 0};
        std::string received;
        if (connection_.FetchSeenAndReceived(folder, uid, &info.seen, received) == kImapOk)
            info.receivedTime = DateOf(received);
        cached->infos.push_back(info);
        CMsg msg;
        SetHostId(msg, uid);
        if (info.seen) msg.flags |= kMsgFlagRead;
        MailMsg* block = nullptr;
        if (msg.ToMailMsg(&block) == kMailMsgOk) blocks.push_back(block);
    }
    return HandOut(blocks, out, count);
}

int CImapSession::GetMsgHeaders(const char* folderName, MailMsg*** out, int* count,
                                MsgIdDescriptor** ids, int* idCount) {
    if (!imapUsable_) return kImapNotConnected;
    if (!out || !count) return kImapNotReady;
    *count = 0;
    const int requested = idCount ? *idCount : 0;
    if (requested <= 0 || !ids) return kImapOk;
    CImapFolder* cached = FindFolder(FolderOrInbox(folderName));
    if (!cached) return kImapFolderChange;
    std::vector<MailMsg*> blocks;
    for (int i = 0; i < requested; ++i) {
        uint32_t uid = 0;
        if (!ids[i] || !UidOf(static_cast<const uint8_t*>(ids[i]->bytes), ids[i]->length, uid))
            continue;
        for (const MessageInfo& info : cached->infos) {
            if (info.uid != uid) continue;
            CMsg msg;
            SetHostId(msg, uid);
            if (info.seen) msg.flags |= kMsgFlagRead;
            msg.date = static_cast<int32_t>(info.receivedTime);
            MailMsg* block = nullptr;
            if (msg.ToMailMsg(&block) == kMailMsgOk) blocks.push_back(block);
            break;
        }
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
        for (const auto& msg : cached->messages) {
            if (msg->hostId.IsEqual(wanted)) return msg->ToMailMsg(out) == 0 ? 0 : kImapFolderChange;
        }
    }
    uint32_t uid = 0;
    if (id->length != 4 || !UidOf(static_cast<const uint8_t*>(id->bytes), id->length, uid))
        return kImapNotReady;
    if (UidsStale(folder)) return kSessionNotFetched;  // the number names another message
    std::vector<MailMsg*> blocks;
    std::vector<int> complete;
    BuildMessages(folder, {uid}, blocks, false, &complete);
    if (blocks.size() != 1) {
        for (MailMsg* block : blocks) FreeMailMsgBlock(block);
        return kSessionNotFetched;  // nothing fetched is not a message
    }
    *out = blocks.front();
    (*out)->partBudget = complete.front() ? 0 : 1;
    return kImapOk;
}

int CImapSession::FetchMessage(const std::string& folder, uint32_t uid,
                               inet::ParsedMessage& parsed, bool headersOnly) {
    if (!connection_.IsConnected() || !connection_.IsLoggedIn() || folder.empty() || uid == 0)
        return kImapNotReady;
    if (int rc = connection_.SelectFolder(folder)) return rc;
    parsed = inet::ParsedMessage{};
    try {
        std::string text;
        int complete = 1;
        if (!connection_.FetchMessageParts(folder, uid, text, &complete, headersOnly,
                                           imapSettings_.maxSize,
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
    if (parsed.headers[inet::kHdrDate].empty())
        parsed.headers[inet::kHdrDate] = parsed.headers[inet::kHdrReceived];
    return kImapOk;
}

std::string CImapSession::WriteAttachment(const inet::MimePart& part) {
    std::string bytes;
    if (!inet::DecodePartBody(part, bytes)) return {};
    auto dir = AttachmentDir();
    if (!dir) return {};
    return inet::WriteAttachmentFile(*dir, part.fileName, bytes);
}

bool CImapSession::BuildMsg(const std::string& folder, uint32_t uid,
                            const inet::ParsedMessage& parsed, CMsg& msg) {
    inet::TakeHeaders(parsed, msg);
    const auto& h = parsed.headers;
    const std::string& received = h[inet::kHdrReceived].empty() ? h[inet::kHdrDate]
                                                                : h[inet::kHdrReceived];
    msg.date = DateOf(received);
    msg.flags |= kMsgFlagSeenOnHost;
    SetHostId(msg, uid);

    int seen = 0;
    bool known = false;
    if (CImapFolder* cached = FindFolder(folder)) {
        for (const MessageInfo& info : cached->infos) {
            if (info.uid == uid) {
                seen = info.seen;
                known = true;
                break;
            }
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
                                std::vector<MailMsg*>& out, bool headersOnly,
                                std::vector<int>* complete) {
    if (!imapUsable_) return kImapNotConnected;
    for (uint32_t uid : uids) {
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
            if (CImapFolder* cached = FindFolder(folder)) cached->messages.push_back(std::move(msg));
        }
    }
    return kImapOk;
}

int CImapSession::GetMessageAttachment(const char* folderName, int idLength, const void* idBytes,
                                       AttachmentTable** out) {
    Log("IMAP: Finishing getting attachments for message.");
    CImapFolder* cached = FindFolder(FolderOrInbox(folderName));
    CId wanted(idBytes, idLength);
    const CMsg* found = nullptr;
    if (cached) {
        for (const auto& msg : cached->messages) {
            if (!found && msg->hostId.IsEqual(wanted)) found = msg.get();
        }
    }
    if (!found || !out) return kSessionNoMessage;
    std::vector<std::string> names = found->AttachmentNameList();
    if (names.empty()) return kImapOk;
    auto* table = static_cast<AttachmentTable*>(std::calloc(1, sizeof(AttachmentTable)));
    if (!table) return kImapFolderChange;
    *out = table;
    if (names.size() > kMaxAttachments) {
        std::string line =
            "The message contains more attachments than allowable. Removing attachments:";
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
