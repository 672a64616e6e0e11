// What a connected account moves between its host and the engine: one folder's listing
// with the account's filters, matching to the handheld's copies, fetching, read states,
// deletes, sending, attachments and the IMAP folder calls.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

#include "common/address_list.h"
#include "common/base64.h"
#include "common/sync_report.h"
#include "common/text_case.h"
#include "datamgr/ledgerly.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "engine/engine_log.h"
#include "engine/host_connection.h"
#include "engine/sync_session.h"

namespace tess::engine {

using platform::mfc::CString;

using namespace tess::accounts::layout;
using tess::accounts::ByteView;

namespace {

constexpr char kIdSep = '\x01';
// A single message the host cannot give is that message's fault; this many in a row mean
// the host itself is gone.
constexpr int kLostAfterUnread = 3;
// Headers asked of the host at once: the host's answer is held while its messages are
// matched, so a mailbox's worth at once made the memory grow with the mailbox; a few
// calls more cost a round trip each.
constexpr size_t kHeadersPerCall = 4096;

using tess::Lower;

bool EqualNoCase(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string AngleAddress(const std::string& from) {
    const size_t lt = from.find('<');
    const size_t gt = from.rfind('>');
    if (lt == std::string::npos || gt == std::string::npos || gt < lt) return from;
    return from.substr(lt + 1, gt - lt - 1);
}

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return s.substr(i);
}

std::string Base64Of(const CId& id) {
    int32_t n = 0;
    const uint8_t* p = id.GetData(&n);
    std::string out;
    if (n > 0) tess::Base64Encode(p, n, out, false);
    return out;
}

std::vector<uint8_t> Base64Bytes(const std::string& text) {
    std::vector<uint8_t> out;
    uint32_t count = 0;
    tess::Base64Decode(text, out, &count);
    out.resize(std::min<size_t>(out.size(), count));
    return out;
}

void SetIdText(CId& id, const std::string& text) { id.SetData(text.data(), int32_t(text.size())); }

// The date rounded down to the minute; two dates match when equal or a whole number of
// hours apart (a zone shift between the two sides).
bool DatesMatch(int32_t a, int32_t b) {
    const int64_t d = int64_t(a / 60 * 60) - int64_t(b / 60 * 60);
    return d % 3600 == 0;
}

struct MailBlock {
    MailMsg* block = nullptr;
    ~MailBlock() {
        if (block) FreeMailMsgBlock(block);
    }
};

}  // namespace

std::string IdText(const CId& id) {
    int32_t n = 0;
    const uint8_t* p = id.GetData(&n);
    return n > 0 ? std::string(reinterpret_cast<const char*>(p), size_t(n)) : std::string();
}

std::string IdPart(const std::string& text, int part) {
    const size_t at = text.find(kIdSep);
    if (part == 0) return at == std::string::npos ? std::string() : text.substr(0, at);
    return at == std::string::npos ? std::string() : text.substr(at + 1);
}

std::string ReplaceIdPart(const std::string& text, int part, const std::string& value) {
    const size_t at = text.find(kIdSep);
    if (part == 0) return value + (at == std::string::npos ? std::string(1, kIdSep) : text.substr(at));
    const std::string first = at == std::string::npos ? text : text.substr(0, at);
    return first + kIdSep + value;
}

// ---- Matching ------------------------------------------------------------------------------

CMsg* CHostConnection::FindDeviceCopy(CMsg& h) {
    const int p = Protocol();
    auto each = [&](auto&& pred) -> CMsg* {
        for (auto& e : device.Entries())
            for (auto& m : e->msgs)
                if (pred(*m)) return m.get();
        return nullptr;
    };
    if (IdentifiesByMessageId()) {
        if (ConnType() == kConnWireless) h.Subject = TrimLeft(h.Subject);
        const std::string hostText = IdText(h.msgId);
        if (p == kProtocolPop) {
            CMsg* copy = each([&](CMsg& d) {
                const std::string t = IdText(d.msgId);
                const std::string first = t.find(kIdSep) == std::string::npos ? t : IdPart(t, 0);
                return !hostText.empty() && first == hostText;
            });
            if (copy) {
                const std::string t = IdText(copy->msgId);
                if (IdPart(t, 1).empty()) {
                    SetIdText(copy->msgId, hostText + kIdSep + hostText);
                    copy->flags |= kMsgFlagRewriteRecord;
                }
            } else {
                SetIdText(h.msgId, hostText + kIdSep + hostText);
            }
            return copy;
        }
        int32_t n = 0;
        const uint8_t* hp = h.msgId.GetData(&n);
        const std::vector<uint8_t> hostBytes(hp, hp + std::max(0, n));
        CMsg* copy = each([&](CMsg& d) {
            const std::string second = IdPart(IdText(d.msgId), 1);
            return !second.empty() && Base64Bytes(second) == hostBytes;
        });
        if (copy) return copy;
        copy = each([&](CMsg& d) {
            return DatesMatch(d.date, h.date) && EqualNoCase(AngleAddress(d.From), AngleAddress(h.From)) &&
                   EqualNoCase(d.Subject, h.Subject);
        });
        const std::string b64 = Base64Of(h.msgId);
        if (copy) {
            SetIdText(copy->msgId, b64 + kIdSep + IdPart(IdText(copy->msgId), 0));
            copy->flags |= kMsgFlagRewriteRecord;
        } else {
            SetIdText(h.msgId, b64 + kIdSep);
        }
        return copy;
    }
    if (IsRelayAccount()) {
        // Desktop entry ids that differ only in bytes 22 and 23 name the same message.
        const bool entryIds = p == kProtocolMapi || p == kProtocolMapi2;
        auto sameMsgId = [&](const CId& stored) {
            if (!entryIds) return stored.IsEqual(h.msgId) != 0;
            int32_t n = 0, m = 0;
            const uint8_t* a = stored.GetData(&n);
            const uint8_t* b = h.msgId.GetData(&m);
            if (n != m) return false;
            for (int32_t i = 0; i < n; ++i)
                if (i != 22 && i != 23 && a[i] != b[i]) return false;
            return true;
        };
        return each([&](CMsg& d) {
            return d.partInfo && d.partInfo->secondId.IsEqual(h.hostId) && sameMsgId(d.partInfo->firstId);
        });
    }
    if (p == kProtocolImap && !h.hostId.IsEmpty()) {
        auto* list = device.Messages(h.category);
        return list ? findImapCopy(*list, h.hostId) : nullptr;
    }
    return each([&](CMsg& d) { return !h.msgId.IsEmpty() && d.msgId.IsEqual(h.msgId); });
}

namespace {
std::string IdKey(const CId& id) {
    int32_t n = 0;
    const uint8_t* bytes = id.GetData(&n);
    return bytes && n > 0 ? std::string(reinterpret_cast<const char*>(bytes), size_t(n)) : std::string();
}
}  // namespace

CMsg* CHostConnection::findImapCopy(std::vector<std::unique_ptr<CMsg>>& list, const CId& hostId) {
    CopyIndex& index = copyIndex_[&list];
    auto build = [&] {
        index.at.clear();
        for (size_t i = 0; i < list.size(); ++i) index.at.emplace(IdKey(list[i]->hostId), i);
        index.data = list.data();
        index.size = list.size();
    };
    if (index.data != list.data() || index.size != list.size()) build();
    const std::string key = IdKey(hostId);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto it = index.at.find(key);
        // A hit is checked against the list itself; a stale one sends for a fresh index.
        if (it != index.at.end() && it->second < list.size() && list[it->second]->hostId.IsEqual(hostId))
            return list[it->second].get();
        if (it == index.at.end()) return nullptr;
        build();
    }
    return nullptr;
}

CMsg* CHostConnection::FindHostMessage(const CMsg& probe) {
    for (auto& e : host.Entries())
        for (auto& m : e->msgs) {
            if (!probe.msgId.IsEmpty() && m->msgId.IsEqual(probe.msgId)) return m.get();
            // The stored id text of a collected message carries the id before its 0x01.
            if (!probe.msgId.IsEmpty() && IdPart(IdText(m->msgId), 0) == Base64Of(probe.msgId)) return m.get();
        }
    return nullptr;
}

void CHostConnection::updateCopy(CMsg& h, CMsg& d, FolderRecord* folder) {
    d.flags |= kMsgFlagSeenOnHost;
    d.date = h.date;
    h.flags |= kMsgFlagMatched;
    const bool hostRead = (h.flags & kMsgFlagRead) != 0;
    const bool deviceRead = (d.status & kMsgStatusRead) != 0;
    if (hostRead && !deviceRead) {
        d.status |= kMsgStatusRead;
        d.flags |= kMsgFlagRewriteRecord;
    } else if (!hostRead && deviceRead) {
        h.flags |= kMsgFlagRead | kMsgFlagSetHostRead;
    }
    if (d.rewriteParts) {
        // Without the fetched body the handheld keeps the part it has, and asks again.
        if (partial && FetchMessage(folder, h) != 0) return;
        d.Body = h.Body;
        textOnHandheld.erase(&d);
        d.rewriteParts = 0;
        d.flags |= kMsgFlagRewriteRecord;
    }
}

bool CHostConnection::prepareNew(CMsg& m, FolderRecord* folder) {
    if (partial) {
        const int rc = FetchMessage(folder, m);
        if (rc == 3 || rc == 5) return false;
    }
    m.flags |= 0xA0000000u;
    m.status = uint16_t((((m.flags >> 25) & 1) << 15) | (((m.flags >> 21) & 3) << 10) | (m.status & 0x73FF));
    return true;
}

// ---- Collection ----------------------------------------------------------------------------

int CHostConnection::CollectHostMessages(FolderRecord* folder, int key, bool summary, bool trace) {
    const bool active = IsActive();
    const int p = Protocol();
    if (trace && active) MLOGAdd("--> Beginning To Get Host Messages");
    if (p == kProtocolImap && key == 0) folder = nullptr;

    MailMsg** list = nullptr;
    int count = 0;
    int rc = 0;
    auto freeMsgs = module.freeMailMsg;
    // With a listing of ids first, the headers of those the handheld lacks come in batches.
    // Their ids are kept end to end: idEnds[i] is where the i-th one ends in idBytes.
    std::vector<uint8_t> idBytes;
    std::vector<size_t> idEnds;
    size_t asked = 0;
    auto askHeaders = [&] {
        const size_t n = std::min(idEnds.size() - asked, kHeadersPerCall);
        std::vector<MsgIdDescriptor> descs(n);
        std::vector<MsgIdDescriptor*> ptrs(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t from = asked + i == 0 ? 0 : idEnds[asked + i - 1];
            descs[i] = {int32_t(idEnds[asked + i] - from), idBytes.data() + from};
            ptrs[i] = &descs[i];
        }
        asked += n;
        list = nullptr;
        count = 0;
        int requested = int(n);
        return requested > 0 ? module.getMsgHeaders(folder, &list, &count, ptrs.data(), &requested) : 0;
    };
    if (partial) {
        auto getIds = module.getMsgIds;
        auto getHeaders = module.getMsgHeaders;
        if (!getIds || !getHeaders || !freeMsgs) {
            SyncMessage(4035, kActivityHostFailure);
            return kResultMissingExport;
        }
        MailMsg** ids = nullptr;
        int idCount = 0;
        if (getIds(folder, &ids, &idCount) != 0) {
            SyncMessage(4042, kActivityError);
            return 3;
        }
        for (int i = 0; i < idCount && ids; ++i) {
            CMsg m(ids[i]);
            m.category = int16_t(key);
            CMsg* copy = FindDeviceCopy(m);
            if (copy) {
                copy->flags |= kMsgFlagSeenOnHost;
                const bool readDiffers = ((m.flags & kMsgFlagRead) != 0) != ((copy->status & kMsgStatusRead) != 0);
                if (!copy->rewriteParts && !copy->pendingUpdate && !(p == kProtocolImap && readDiffers)) continue;
            }
            const CId& id = !IdentifiesByMessageId() ? m.hostId : CId(ids[i]->msgId, ids[i]->msgIdLength);
            int32_t n = 0;
            const uint8_t* b = id.GetData(&n);
            idBytes.insert(idBytes.end(), b, b + std::max(0, n));
            idEnds.push_back(idBytes.size());
        }
        freeMsgs(ids, idCount);
        rc = askHeaders();
    } else {
        auto getAll = module.getAllMsgs;
        if (!getAll) {
            SyncMessage(4035, kActivityHostFailure);
            return kResultMissingExport;
        }
        rc = getAll(folder, &list, &count, 0);
    }
    const std::string folderName = folder && folder->name ? folder->name : Str(4470);
    session.progress.SetProgressText(FormatText(Str(4451), {Name(), folderName}));
    auto listingFailed = [&] {
        if (list && freeMsgs) freeMsgs(list, count);
        if (rc == 5) {
            SyncMessage(4031, kActivityError);
            return 4;
        }
        SyncMessage(4042, kActivityError);
        return 3;
    };
    if (rc != 0) return listingFailed();
    if (!list) count = 0;
    const bool filtering = ByteView(account->Image().handheld).u32le(kFiltering) != 0;
    if (count > 0 && trace && filtering) MLOGAdd("Account filtering is on.");
    if (partial) session.progress.SetStepCount(int(idEnds.size()));

    int rejectedFilters = 0, rejectedDays = 0, existing = 0, added = 0;
    const int days = DaysToSync();
    const int64_t span = int64_t(days) * 86400;
    const int64_t cutoff = span > 0 ? int64_t(std::time(nullptr)) - span : 0;
    std::vector<std::unique_ptr<CMsg>> kept;
    std::vector<std::unique_ptr<CMsg>> unread;  // new messages whose body could not be fetched
    int unreadInRow = 0, listed = 0, notReached = 0;
    bool lost = false;
    for (;; rc = askHeaders()) {
        if (rc != 0) return listingFailed();
        if (!list) count = 0;
        listed += count;
        for (int i = 0; i < count; ++i) {
            const MailMsg* block = list[i];
            if (!block) continue;
            bool rejected = false;
            if (UnreadOnly() && (block->flags & kMsgFlagRead)) {
                ++rejectedFilters;
                rejected = true;
            }
            auto m = std::make_unique<CMsg>(block);
            if (m->date != 0 && m->date < cutoff) {
                ++rejectedDays;
                continue;
            }
            if (const size_t open = m->From.find('('); open != std::string::npos) {
                std::string a = m->From.substr(0, open);
                while (!a.empty() && std::isspace(static_cast<unsigned char>(a.back()))) a.pop_back();
                const size_t close = m->From.find(')', open + 1);
                const std::string b =
                    m->From.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
                m->From = "\"" + b + "\" <" + a + ">";
            }
            m->category = int16_t(key);
            if (CMsg* copy = FindDeviceCopy(*m)) {
                updateCopy(*m, *copy, folder);
                if (m->flags & kMsgFlagSetHostRead) kept.push_back(std::move(m));
                ++existing;
                if (trace && active)
                    MLOGAdd(Printf("%s\n%-20s%s\n%-20s%s\n%-20s%s", "The message exists on the device", "Subject:",
                                   copy->Subject.c_str(), "From:", copy->From.c_str(), "Folder:", folderName.c_str())
                                .c_str());
            } else if (!rejected) {
                m->partBudget = MaxSizeKb() * 1024;
                // Headers alone on the handheld would never be completed: it waits instead.
                if (!prepareNew(*m, folder)) {
                    if (partial) session.progress.AdvanceStep();
                    unread.push_back(std::move(m));
                    // Several in a row: the host is gone, and every message left would fail
                    // the same way. The rest waits for the next run.
                    if (++unreadInRow >= kLostAfterUnread) {
                        lost = true;
                        notReached = count - (i + 1) + int(idEnds.size() - asked);
                        break;
                    }
                    continue;
                }
                unreadInRow = 0;
                if (session.DbVersion() == 1024) {
                    tess::ExtractAngleAddresses(m->To);
                    tess::ExtractAngleAddresses(m->Cc);
                    tess::ExtractAngleAddresses(m->Bcc);
                }
                // The folder's entry is there either way, as the host's listing made it.
                host.EntryOf(m->category);
                if (!newMessagesOutWhole || !bodies.PutWhole(m->category, m)) {
                    bodies.Put(*m);
                    host.AddMsg(std::move(m));
                }
                ++added;
            }
            if (partial) session.progress.AdvanceStep();
        }
        if (!freeMsgs) {
            if (list) {
                SyncMessage(4035, kActivityHostFailure);
                return kResultMissingExport;
            }
        } else if (list) {
            freeMsgs(list, count);
            list = nullptr;
        }
        if (lost || asked >= idEnds.size()) break;
    }
    if (lost) {
        // One line for the account, said by the account loop, instead of one per message.
        failure = Printf(
            "the connection to its server was lost while reading %s; %d messages not yet read wait for "
            "the next synchronisation",
            folderName.c_str(), int(unread.size()) + notReached);
        return kResultHostLost;
    }
    for (auto& m : unread) LogError(4042, m.get());
    // Read states go to the host only once its listing has been released.
    for (auto& m : kept)
        if (host.Find(key) || folder == nullptr) SetReadState(folder, *m);
    kept.clear();

    if (trace && active)
        MLOGAdd(
            Printf("Received %d messages from host, syncing for %d days:\n %3d Rejected by filters.\n %3d Rejected by "
                   "global configuration days to sync.\n %3d Already existed on the device.\n %3d Are new and will be "
                   "added.",
                   listed, days, rejectedFilters, rejectedDays, existing, added)
                .c_str());
    else if (summary && active)
        SyncMessage(4141, kActivityText,
                    {std::to_string(listed), std::to_string(days), std::to_string(rejectedFilters),
                     std::to_string(rejectedDays), std::to_string(existing), std::to_string(added)});
    return 0;
}

// ---- Per-message calls ---------------------------------------------------------------------

int CHostConnection::FetchMessage(FolderRecord* folder, CMsg& msg) {
    if (!partial) return 1;
    auto getMsg = module.getMsg;
    if (!getMsg) return kResultMissingExport;
    const int p = Protocol();
    std::vector<uint8_t> id;
    if (IdentifiesByMessageId()) {
        const std::string t = IdText(msg.msgId);
        const std::string first = t.find(kIdSep) == std::string::npos ? t : IdPart(t, 0);
        if (first.empty()) return 1;
        id.assign(first.begin(), first.end());
    } else {
        const CId& src = (p == kProtocolImap && !msg.hostId.IsEmpty() && !IsRelayAccount()) ? msg.hostId : msg.msgId;
        int32_t n = 0;
        const uint8_t* b = src.GetData(&n);
        id.assign(b, b + std::max(0, n));
    }
    MsgIdDescriptor desc{int32_t(id.size()), id.data()};
    MailMsg* out = nullptr;
    if (getMsg(folder, &desc, &out) != 0) {
        if (out) FreeMailMsgBlock(out);
        return 3;
    }
    if (folder) {
        msg.folderName = folder->name ? folder->name : "";
        msg.folderData.assign(
            static_cast<const uint8_t*>(folder->extra),
            static_cast<const uint8_t*>(folder->extra) + (folder->extra ? std::max(0, folder->extraLength) : 0));
    }
    if (!out) return 5;
    MailBlock owner{out};
    CMsg full(out);
    msg.Body = std::move(full.Body);
    msg.AttachmentNames = std::move(full.AttachmentNames);
    if (p == kProtocolImap) {
        if (msg.date == 0) msg.date = full.date;
        msg.Bcc = std::move(full.Bcc);
        msg.Cc = std::move(full.Cc);
        msg.From = std::move(full.From);
        msg.ReplyTo = std::move(full.ReplyTo);
        msg.Extra = std::move(full.Extra);
        msg.To = std::move(full.To);
        msg.Subject = std::move(full.Subject);
        if (out->partBudget != 0) msg.rewriteParts = 1;
    }
    return 0;
}

int CHostConnection::SetReadState(FolderRecord* folder, CMsg& msg) {
    auto fn = module.setMsgReadStatus;
    if (!fn) {
        SyncMessage(4035, kActivityHostFailure);
        return -1;
    }
    MailBlock b;
    if (msg.ToMailMsg(&b.block) != 0) return 3;
    return fn(folder, b.block, int((msg.flags >> 25) & 1));
}

// A failed delete is reported and its result returned, so that the caller keeps what
// asked for it (a disconnected action stays for the next synchronisation).
int CHostConnection::DeleteMessage(FolderRecord* folder, CMsg& msg) {
    auto fn = module.deleteMsg;
    if (!fn) {
        SyncMessage(4035, kActivityHostFailure);
        return kResultMissingExport;
    }
    MailBlock b;
    if (msg.ToMailMsg(&b.block) != 0) return 3;
    const int rc = fn(folder, b.block);
    if (rc != 0) LogError(4039, &msg);
    return rc;
}

int CHostConnection::SendMessage(CMsg& msg) {
    auto fn = module.sendMsg;
    if (!fn) {
        SyncMessage(4035, kActivityHostFailure);
        return kResultMissingExport;
    }
    const std::string to = msg.To, cc = msg.Cc, bcc = msg.Bcc, body = msg.Body, replyTo = msg.ReplyTo;
    const bool old = session.DbVersion() == 1024;
    std::string extra;
    if (account->GetBlindCopyAddress(&extra) && !extra.empty())
        msg.Bcc = msg.Bcc.empty() ? extra : msg.Bcc + (old ? "," : ";") + extra;
    if (account->GetReplyToAddress(&extra) && !extra.empty()) msg.ReplyTo = extra;
    if (!old) {
        for (std::string* list : {&msg.To, &msg.Cc, &msg.Bcc}) {
            std::string copy = *list;
            std::vector<std::string> items;
            tess::SplitAddressList(copy, items, false);
            std::vector<std::string> kept;
            for (auto& i : items)
                if (!tess::Trim(i).empty()) kept.push_back(tess::Trim(i));
            if (kept.size() > 1) {
                std::string joined;
                for (auto& i : kept) joined += (joined.empty() ? "" : ";") + i;
                *list = joined;
            }
        }
    }
    int rc = 3;
    bool called = false;
    {
        MailBlock b;
        if (msg.ToMailMsg(&b.block) == 0) {
            rc = fn(b.block);
            called = true;
        }
    }
    if (called && rc != 0) {
        LogText(4004, &msg);
        std::string text;
        HostErrorText(rc, text);
        LogTextLine(text);
    }
    msg.To = to, msg.Cc = cc, msg.Bcc = bcc, msg.Body = body, msg.ReplyTo = replyTo;
    return rc;
}

int CHostConnection::GetAttachments(CMsg& msg, AttachmentTable** table) {
    auto fn = module.getMessageAttachment;
    if (!fn) {
        SyncMessage(4035, kActivityHostFailure);
        return kResultMissingExport;
    }
    const int p = Protocol();
    std::vector<uint8_t> id;
    if (IdentifiesByMessageId()) {
        const std::string text = IdText(msg.msgId);
        std::string part = IdPart(text, (IdentifiesByMessageId() || IsRelayAccount()) && p != kProtocolPop ? 1 : 0);
        // A message new on this synchronisation has only its first part yet: the same
        // host id, so that its files come along with it.
        if (part.empty()) part = IdPart(text, 0);
        if (part.empty()) return -1;
        id = p == kProtocolPop ? std::vector<uint8_t>(part.begin(), part.end()) : Base64Bytes(part);
    } else {
        const CId& src = (IsRelayAccount() || p == kProtocolNotes) ? msg.msgId : msg.hostId;
        int32_t n = 0;
        const uint8_t* b = src.GetData(&n);
        id.assign(b, b + std::max(0, n));
    }
    FolderRecord empty{nullptr, 0, nullptr, -1};
    FolderRecord* folder = nullptr;
    if (p == kProtocolImap && msg.category == 0) {
        folder = &empty;
    } else {
        folder = host.Record(msg.category);
        if (!folder) return 0;
    }
    if (fn(folder, int(id.size()), id.data(), table) != 0) return 2;
    return 0;
}

int CHostConnection::FreeAttachments(AttachmentTable** table) {
    auto fn = module.freeAttachment;
    if (!fn) {
        SyncMessage(4035, kActivityHostFailure);
        return kResultMissingExport;
    }
    const int rc = fn(table);
    *table = nullptr;
    return rc != 0 ? 2 : 0;
}

// ---- Filters -------------------------------------------------------------------------------

int CHostConnection::FilterCheck(CMsg& msg, bool log) {
    ByteView h(account->Image().handheld);
    if (h.u32le(kFiltering) == 0) return 1;
    const int count = int(std::min<uint32_t>(h.u32le(kFilterCount), kMaxFilters));
    int inUse = 0;
    const int64_t now = std::time(nullptr);
    for (int i = 0; i < count; ++i) {
        const MessageFilter f = account->Filter(i);
        if (!f.inUse) continue;
        ++inUse;
        const std::string value = Lower(std::string(f.value, strnlen(f.value, sizeof f.value)));
        bool match = false;
        if (f.kind >= 0 && f.kind <= 3) {
            const std::string* fields[] = {&msg.To, &msg.From, &msg.Subject, &msg.Cc};
            const std::string field = Lower(*fields[f.kind]);
            if (f.textOperator == 0) {
                match = field.find(value) != std::string::npos;
            } else if (f.textOperator == 1) {
                const std::string v = tess::Trim(value);
                const std::string head = tess::Trim(TrimLeft(field).substr(0, value.size()));
                match = !v.empty() && !head.empty() && head == v;
            } else if (f.textOperator == 2) {
                match = field.find(value) == std::string::npos;
            }
        } else if (f.kind == 4) {
            const int64_t threshold = now - std::atoll(value.c_str()) * 86400;
            match = f.numericOperator == 0 ? threshold >= msg.date : msg.date >= threshold;
        } else if (f.kind == 5) {
            const int64_t limit = std::atoll(value.c_str()) * 1024;
            match = f.numericOperator == 0 ? msg.size >= limit : limit >= msg.size;
        }
        if (!match) continue;
        const std::string target(f.extra, strnlen(f.extra, sizeof f.extra));
        if (!target.empty()) {
            int slot = -1;
            const std::string name(f.name, strnlen(f.name, sizeof f.name));
            if (account->FindHandheldFolder(target, &slot) && slot == 0) {
            } else if (slot == 1) {
                SyncMessage(4099, kActivityError, {name});
            } else if (slot > 1) {
                msg.category = int16_t(slot);
            } else {
                SyncMessage(4100, kActivityError, {name, target});
            }
        }
        return 1;
    }
    if (inUse == 0) return 1;
    if (log)
        MLOGAdd(Printf("Message '%s', from '%s' failed a filter and will not be put on device.", msg.Subject.c_str(),
                       msg.From.c_str())
                    .c_str());
    return 0;
}

void CHostConnection::ResolveNames(CMsg& msg) {
    if (!resolveName) return;
    const bool semicolon = session.DbVersion() != 1024;
    for (std::string* list : {&msg.To, &msg.Cc, &msg.Bcc}) {
        if (list->find(kIdSep) == std::string::npos) continue;
        std::string copy = *list;
        std::vector<std::string> items;
        tess::SplitAddressList(copy, items, semicolon);
        std::string joined;
        for (const std::string& item : items) {
            std::string out = item;
            if (!item.empty() && item[0] == kIdSep) {
                const std::vector<uint8_t> entry = Base64Bytes(item.substr(1));
                CString text;
                if (!resolveName(int(entry.size()), entry.data(), &text)) continue;
                out = text.GetString();
            }
            joined += (joined.empty() ? "" : (semicolon ? ";" : ",")) + out;
        }
        *list = joined;
    }
}

// ---- IMAP folder calls ---------------------------------------------------------------------

int CHostConnection::imapReady(const void* fn) {
    if (Protocol() != kProtocolImap || !initialised || !module) return 3;
    if (!fn) {
        SyncMessage(4146, kActivityError);
        return kResultMissingImapExport;
    }
    return 0;
}

int CHostConnection::Imap4Commit() { return callImap(module.imap4Commit); }
int CHostConnection::Imap4SelectFolder(const char* name) { return name ? callImap(module.imap4SelectFolder, name) : 3; }
int CHostConnection::Imap4CopyMessage(uint32_t uid, const char* from, const char* to) {
    return from && to ? callImap(module.imap4CopyMessage, uid, from, to) : 3;
}
int CHostConnection::Imap4AddFolder(const char* name) { return name ? callImap(module.imap4AddFolder, name) : 3; }
int CHostConnection::Imap4DeleteFolder(const char* name) { return name ? callImap(module.imap4DeleteFolder, name) : 3; }
int CHostConnection::Imap4RenameFolder(const char* name, const char* newName) {
    return name && newName ? callImap(module.imap4RenameFolder, name, newName) : 3;
}
int CHostConnection::Imap4SetSeenFlag(uint32_t uid, int seen) {
    return callImap(module.imap4SetSeenFlag, static_cast<const char*>(nullptr), uid, seen);
}

}  // namespace tess::engine
