// Listing and fetching messages: the UIDL listing as message ids, headers (TOP) and whole
// messages (RETR) turned into the engine's records, within the date window.
#include <climits>
#include <cstring>
#include <ctime>

#include "datamgr/ledgerly_date.h"
#include "hosts/inet/host_messages.h"
#include "hosts/pop/pop_session.h"

namespace pop {

// The records the engine and the hosts exchange, and their helpers, all in common.
using namespace tess;

namespace {

constexpr int64_t kDefaultWindow = 86400000;  // seconds: the window when no days are set

void SetMsgId(CMsg& msg, const std::string& uidl) { msg.msgId.SetData(uidl.data(), static_cast<int>(uidl.size())); }

// The id text of a descriptor: its bytes up to the first 0x01.
std::string IdText(const MsgIdDescriptor* id) {
    if (!id || !id->bytes || id->length <= 0) return {};
    const char* bytes = static_cast<const char*>(id->bytes);
    const auto* stop = static_cast<const char*>(std::memchr(bytes, 0x01, static_cast<std::size_t>(id->length)));
    return std::string(bytes, stop ? static_cast<std::size_t>(stop - bytes) : static_cast<std::size_t>(id->length));
}

}  // namespace

int64_t CPopSession::WindowStart(bool headerListing) const {
    if (days_ > 0) return static_cast<int64_t>(std::time(nullptr)) - static_cast<int64_t>(days_) * 86400;
    return headerListing ? 0 : static_cast<int64_t>(std::time(nullptr)) - kDefaultWindow;
}

int CPopSession::Fetch(int number, bool headersOnly, inet::ParsedMessage& parsed) {
    std::vector<std::string> lines;
    if (int rc = connection_.Fetch(number, headersOnly, lines)) return rc;
    inet::CMimeMessage reader;
    if (!reader.Parse(0, lines.size(), lines, true)) {
        Log("Invalid response when retrieving message.");
        return kPopCommandFailed;
    }
    parsed = inet::ParsedMessage{};
    reader.CopyTo(parsed, !headersOnly && connection_.Settings().wantAttachments != 0);
    if (headersOnly) {
        parsed.text = {};
        parsed.html = {};
    }
    return kPopOk;
}

bool CPopSession::BuildMsg(const std::string& uidl, const inet::ParsedMessage& parsed, int64_t windowStart, CMsg& msg) {
    inet::TakeHeaders(parsed, msg);
    const auto& h = parsed.headers;
    msg.flags = (msg.flags & ~static_cast<uint32_t>(kMsgFlagRead)) | kMsgFlagSeenOnHost;

    // The date the server received the message (its newest Received line), else the one
    // the sender wrote; when neither can be read, the time it reached us, never 1970. A
    // message whose dates are damaged is kept, not dropped: losing mail over a header
    // would be worse than dating it by its arrival.
    int64_t when = 0;
    bool dated = false;
    for (const std::string* stamp : {&h[inet::kHdrReceived], &h[inet::kHdrDate]}) {
        if (!stamp->empty() && tess::datamgr::ParseDateHeaderChecked(stamp->c_str(), 0, &when) == 0 && when > 0 &&
            when <= INT32_MAX) {
            dated = true;
            break;
        }
    }
    if (!dated) when = static_cast<int64_t>(std::time(nullptr));
    if (when < windowStart) return false;
    msg.date = static_cast<int32_t>(when);
    SetMsgId(msg, uidl);
    msg.Body = inet::ChooseBody(parsed, preferHtml_);

    for (int i = 0; i < parsed.attachmentCount && i < inet::ParsedMessage::kMaxAttachments; ++i) {
        const inet::MimePart& part = parsed.attachments[i];
        std::string bytes;
        if (part.body.empty() || !inet::DecodePartBody(part, bytes)) continue;
        auto dir = AttachmentDir();
        if (!dir) break;
        std::string path = inet::WriteAttachmentFile(*dir, part.fileName, bytes);
        if (!path.empty()) msg.AddAttachmentName(path);
    }
    return true;
}

void CPopSession::RemoveAttachmentFiles(const CMsg& msg) const {
    std::error_code ec;
    for (const std::string& path : msg.AttachmentNameList()) std::filesystem::remove(path, ec);
}

int CPopSession::GetMsgIds(MailMsg*** out, int* count) {
    if (!popUsable_) return kPopNotConnected;
    if (!out || !count) return kPopCommandFailed;
    *count = 0;
    if (!connection_.Listed()) return kPopCommandFailed;
    std::vector<MailMsg*> blocks;
    for (const UidlEntry& entry : connection_.Entries()) {
        CMsg msg;
        SetMsgId(msg, entry.uidl);
        msg.flags &= ~static_cast<uint32_t>(kMsgFlagRead);
        MailMsg* block = nullptr;
        if (msg.ToMailMsg(&block) != kMailMsgOk) {
            // A list with holes would read as deletions on the server.
            for (MailMsg* b : blocks) FreeMailMsgBlock(b);
            return kPopCommandFailed;
        }
        blocks.push_back(block);
    }
    return inet::HandOutBlocks(blocks, out, count) ? kPopOk : kPopCommandFailed;
}

int CPopSession::GetMsgHeaders(MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount) {
    if (!popUsable_) return kPopNotConnected;
    if (!out || !count) return kPopCommandFailed;
    *count = 0;
    const int requested = idCount ? *idCount : 0;
    if (requested <= 0 || !ids) return kPopOk;
    const int64_t start = WindowStart(true);
    std::vector<MailMsg*> blocks;
    for (int i = 0; i < requested; ++i) {
        const std::string uidl = IdText(ids[i]);
        const int number = connection_.NumberOf(uidl);
        inet::ParsedMessage parsed;
        if (number < 0 || Fetch(number, true, parsed) != kPopOk) {
            if (connection_.IsConnected()) continue;
            for (MailMsg* b : blocks) FreeMailMsgBlock(b);
            return kPopCommandFailed;
        }
        CMsg msg;
        if (!BuildMsg(uidl, parsed, start, msg)) continue;
        MailMsg* block = nullptr;
        if (msg.ToMailMsg(&block) == kMailMsgOk) blocks.push_back(block);
    }
    return inet::HandOutBlocks(blocks, out, count) ? kPopOk : kPopCommandFailed;
}

int CPopSession::GetAllMsgs(MailMsg*** out, int* count, bool headersOnly) {
    if (!popUsable_) return kPopNotConnected;
    if (!out || !count) return kPopCommandFailed;
    *count = 0;
    if (!connection_.Listed()) return kPopCommandFailed;
    const int64_t start = WindowStart(false);
    std::vector<MailMsg*> blocks;
    std::vector<std::unique_ptr<CMsg>> fetched;
    // Message numbers come from the listing itself: after a deletion by another client
    // they need not run 1..count.
    for (const UidlEntry& entry : connection_.Entries()) {
        inet::ParsedMessage parsed;
        if (Fetch(entry.number, headersOnly, parsed) != kPopOk) {
            // One message the server refuses is passed over; a connection that broke
            // leaves the listing incomplete, which must not read as a short mailbox.
            if (connection_.IsConnected()) continue;
            for (MailMsg* b : blocks) FreeMailMsgBlock(b);
            for (const auto& msg : fetched) RemoveAttachmentFiles(*msg);
            return kPopCommandFailed;
        }
        auto msg = std::make_unique<CMsg>();
        if (!BuildMsg(entry.uidl, parsed, start, *msg)) {
            RemoveAttachmentFiles(*msg);
            continue;
        }
        MailMsg* block = nullptr;
        if (msg->ToMailMsg(&block) != kMailMsgOk) {
            RemoveAttachmentFiles(*msg);
            continue;
        }
        blocks.push_back(block);
        if (headersOnly)
            RemoveAttachmentFiles(*msg);
        else
            fetched.push_back(std::move(msg));
    }
    for (auto& msg : fetched) cache_.push_back(std::move(msg));
    return inet::HandOutBlocks(blocks, out, count) ? kPopOk : kPopCommandFailed;
}

int CPopSession::GetMsg(const MsgIdDescriptor* id, MailMsg** out) {
    if (!popUsable_) return kPopNotConnected;
    if (!id || !out) return kPopNotFetched;
    const CId wanted(id->bytes, id->length);
    for (const auto& msg : cache_) {
        if (msg->msgId.IsEqual(wanted)) return msg->ToMailMsg(out) == kMailMsgOk ? kPopOk : kPopNotFetched;
    }
    Log("Retrieving individual message.");
    const std::string uidl = IdText(id);
    const int number = connection_.NumberOf(uidl);
    inet::ParsedMessage parsed;
    if (number < 0 || Fetch(number, false, parsed) != kPopOk) {
        Log("Failed to retrieve individual message.");
        return kPopNotFetched;
    }
    auto msg = std::make_unique<CMsg>();
    MailMsg* block = nullptr;
    if (!BuildMsg(uidl, parsed, WindowStart(false), *msg) || msg->ToMailMsg(&block) != kMailMsgOk) {
        Log("Failed to parse message.");
        RemoveAttachmentFiles(*msg);
        return kPopNotFetched;
    }
    *out = block;
    cache_.push_back(std::move(msg));
    Log("Retrieved individual message.");
    return kPopOk;
}

}  // namespace pop
