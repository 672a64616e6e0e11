// What the user did on the handheld while disconnected, replayed against the account's
// host; a record leaves the handheld only once its action took effect.
#include <cstring>

#include "common/base64.h"
#include "common/byte_io.h"
#include "common/handheld_time.h"
#include "common/message_record_codec.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {
namespace {

constexpr int64_t k1904To1970 = 2082844800;

std::string Describe(const std::string& account, const DisconnectedAction& a) {
    return Printf("Account: %s\nRecord ID: %d\nOpcode: %d\nUID: %d\nArg 1: %s\nArg 2: %s", account.c_str(),
                  int(a.recordId), int(a.opcode), int32_t(a.uid), a.arg1.c_str(), a.arg2.c_str());
}

CId UidId(int32_t uid) { return NumberAsId(static_cast<uint32_t>(uid)); }

std::vector<uint8_t> Decode(const std::string& text) {
    std::vector<uint8_t> out;
    uint32_t count = 0;
    tess::Base64Decode(text, out, &count);
    out.resize(std::min<size_t>(out.size(), count));
    return out;
}

}  // namespace

int CSyncSession::LoadDisconnectedActions() {
    Debug("--> Beginning To Get Disconnected Actions");
    if (int rc = db.Open(kDbActions); rc != 0) return rc;
    const uint32_t total = db.Count();
    if (total) {
        progress.SetStepCount(int(total));
        progress.SetProgressTextId(4448);
    }
    int result = 0, read = 0;
    for (uint32_t index = 0;;) {
        HandheldRecord r;
        if (db.ReadByIndex(index, r) != 0) break;
        ++read;
        progress.AdvanceStep();
        CHostConnection* c = nullptr;
        for (auto& cp : connections)
            if (cp->account && cp->slot == r.category) c = cp.get();
        if (c && (c->HasDeletionMark() || c->HasServerChangedMark())) {
            if (db.Delete(r.id) != SYNC_OK) ++index;  // else the next record moved into this index
            continue;
        }
        DisconnectedAction a;
        const int p = c ? c->Protocol() : -1;
        if (c && c->IsActive() && p != kProtocolNone && p != kProtocolPlaceholder &&
            ParseActionRecord(r.data.data(), r.data.size(), a) && IsHandheldActionOpcode(a.opcode)) {
            a.recordId = r.id;
            c->actions.push_back(std::move(a));
        }
        ++index;
    }
    for (auto& c : connections)
        if (c->account) c->ClearServerChangedMark();
    DebugOrInfo(Printf("Loaded %d actions entered while disconnected.", read), 4137, {std::to_string(read)});
    return result;
}

int CSyncSession::WriteDisconnectedAction(int accountId, int opcode, int uid, const std::string& a1,
                                          const std::string& a2) {
    if (db.Open(kDbActions) != 0) return 0;
    HandheldRecord r;
    r.category = accountId;
    tess::ByteWriter w(r.data);
    w.u32be(uint32_t(opcode));
    w.u32be(uint32_t(uid));
    r.data.insert(r.data.end(), a1.begin(), a1.end());
    r.data.push_back(0);
    r.data.insert(r.data.end(), a2.begin(), a2.end());
    r.data.push_back(0);
    return db.Write(r) == SYNC_OK ? 1 : 0;
}

void CSyncSession::QueueRelayAction(CHostConnection& c, CMsg& msg) {
    if (!c.IsRelayAccount() || !msg.partInfo || msg.partInfo->firstId.IsEmpty()) return;
    if (WriteDisconnectedAction(c.slot, 14, 0, msg.partInfo->FirstIdText(), ""))
        Debug("Queued action for Business Account");
}

int CSyncSession::PerformDisconnectedActions(CHostConnection* cp) {
    if (!cp) return 3;
    CHostConnection& c = *cp;
    if (db.Open(kDbActions) != 0) return kResultDbOpen;
    progress.SetStepCount(std::max<int>(1, int(c.actions.size())));
    const int p = c.Protocol();
    const bool imap = p == kProtocolImap;
    const bool anyFolder = c.HasSelectedFolders();
    bool removedAny = false;
    std::vector<DisconnectedAction> kept;
    for (DisconnectedAction& a : c.actions) {
        progress.AdvanceStep();
        const std::string desc = Describe(c.Name(), a);
        Debug("Processing disconnected action:\n" + desc);
        bool removed = false;
        bool untilLogoff = false;
        auto messageAction = [&](bool del, bool read) -> bool {
            if (!anyFolder) return false;
            CMsg m;
            FolderRecord named{nullptr, 0, nullptr, -1};
            FolderRecord* folder = nullptr;
            if (imap) {
                m.hostId = UidId(a.uid);
                if (del && !a.arg2.empty()) {
                    named.name = a.arg2.data();
                    folder = &named;
                }
            } else if (c.IsRelayAccount()) {
                const std::vector<uint8_t> id = Decode(a.arg1);
                m.msgId.SetData(id.data(), int32_t(id.size()));
                m.flags |= kMsgFlagSeenOnHost;
            } else if (a.uid == 254) {
                if (p == kProtocolPop && c.IdentifiesByMessageId()) {
                    // POP ids are texts: decoding one would name no message at all.
                    m.msgId.SetData(a.arg2.data(), int32_t(a.arg2.size()));
                } else {
                    const std::vector<uint8_t> id = Decode(a.arg2);
                    m.msgId.SetData(id.data(), int32_t(id.size()));
                }
            } else if (a.uid == 255) {
                const size_t first = a.arg2.find('\x01'), last = a.arg2.rfind('\x01');
                if (first == std::string::npos || last == first) return false;
                const int64_t t1904 = std::strtoll(a.arg2.substr(0, first).c_str(), nullptr, 10);
                // Read states and deletes carry the same local handheld time.
                const int64_t when = ToLocalOrUtc(t1904 - k1904To1970, false);
                const std::string subject = a.arg2.substr(first + 1, last - first - 1), from = a.arg2.substr(last + 1);
                auto search = [&](CFolderMap& map, bool matchedOnly) -> CMsg* {
                    for (auto& e : map.Entries())
                        for (auto& h : e->msgs)
                            if ((!matchedOnly || (h->flags & kMsgFlagSeenOnHost)) && h->date == when &&
                                h->Subject == subject && h->From == from)
                                return h.get();
                    return nullptr;
                };
                // New host messages are in the host list; one already on the handheld was
                // matched to its copy there, which now carries the host's id.
                CMsg* found = search(c.host, false);
                if (!found) found = search(c.device, true);
                if (!found) return false;
                const std::string text = IdPart(IdText(found->msgId), 0);
                const std::vector<uint8_t> id = text.empty() ? std::vector<uint8_t>() : Decode(text);
                if (id.empty()) {
                    m.msgId = found->msgId;
                } else {
                    m.msgId.SetData(id.data(), int32_t(id.size()));
                }
                m.hostId = found->hostId;
                m.date = found->date;
                m.category = found->category;
            } else {
                return true;
            }
            int rc;
            if (del) {
                // The message was located among the host's own, as for a read mark: the
                // desktop-client hosts delete only messages that carry the mark.
                if (!imap) m.flags |= kMsgFlagSeenOnHost;
                rc = c.DeleteMessage(folder, m);
            } else {
                m.flags |= kMsgFlagSeenOnHost;
                if (read)
                    m.flags |= kMsgFlagRead;
                else
                    m.flags &= ~kMsgFlagRead;
                rc = c.SetReadState(folder, m);
            }
            if (rc != 0) return false;
            untilLogoff = del && p == kProtocolPop;
            if (del && !imap && !c.IsRelayAccount()) {
                if (CMsg* h = c.FindHostMessage(m)) c.host.Take(h);
            }
            return true;
        };
        switch (a.opcode) {
        case 0:
            if (imap) c.Imap4AddFolder(a.arg1.c_str());
            removed = true;
            break;
        case 1:
            if (imap) c.Imap4RenameFolder(a.arg1.c_str(), a.arg2.c_str());
            removed = true;
            break;
        case 2:
            if (imap) c.Imap4DeleteFolder(a.arg1.c_str());
            removed = true;
            break;
        case 3: removed = imap && c.Imap4CopyMessage(uint32_t(a.uid), a.arg1.c_str(), a.arg2.c_str()) == 0; break;
        case 4: removed = imap && c.Imap4SelectFolder(a.arg1.c_str()) == 0; break;
        case 6:
            removed = imap && c.Imap4SetSeenFlag(uint32_t(a.uid), a.arg1.empty() || a.arg1[0] != '0' ? 1 : 0) == 0;
            break;
        case 10: {
            using namespace tess::accounts::layout;
            const std::string trash(
                tess::accounts::ByteView(c.account->Image().handheld).text(kTrashFolder.offset, kTrashFolder.width));
            if (imap && c.ConnType() != kConnWireless && !trash.empty()) {
                c.Imap4SelectFolder(a.arg2.c_str());
                // Without its copy in the trash the message must not be deleted.
                if (c.Imap4CopyMessage(uint32_t(a.uid), a.arg2.c_str(), trash.c_str()) != 0) break;
            }
            removed = messageAction(true, false);
            break;
        }
        case 5:
        case 7:
        case 8: removed = messageAction(true, false); break;
        case 13: removed = true; break;
        case 15: removed = messageAction(false, true); break;
        case 16: removed = messageAction(false, false); break;
        default: break;
        }
        if (removed && untilLogoff) {
            c.awaitingCommit.push_back(a.recordId);
            Debug("Disconnected action performed, kept until the server commits it:\n" + desc);
        } else if (removed) {
            if (db.Open(kDbActions) == 0 && db.Delete(a.recordId) == SYNC_OK) {
                removedAny = true;
                Debug("Disconnected action succesfully performed:\n" + desc);
            } else {
                Debug("Failed to remove disconnected action:\n" + desc);
            }
        } else {
            if (anyFolder) Debug("Failed to perform disconnected action:\n" + desc);
            kept.push_back(std::move(a));
        }
    }
    c.actions = std::move(kept);
    if (imap && removedAny) c.Imap4Commit();
    return 0;
}

void CSyncSession::SettleAwaitingActions(CHostConnection& c, bool committed) {
    for (uint32_t id : c.awaitingCommit) {
        if (!committed) {
            Debug(Printf("Server did not commit disconnected action %u; it is kept for the next synchronisation.", id));
        } else if (db.Open(kDbActions) != 0 || db.Delete(id) != SYNC_OK) {
            Debug(Printf("Failed to remove committed disconnected action %u.", id));
        }
    }
    c.awaitingCommit.clear();
}

}  // namespace tess::engine
