// The account loop: the handheld's messages loaded into the connections, each active
// account synchronised in turn, and one account's handheld messages reconciled with what
// its host reported.
#include <algorithm>
#include <ctime>
#include <set>

#include "common/address_list.h"
#include "common/message_record_codec.h"
#include "common/sync_report.h"
#include "datamgr/ledgerly.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {
namespace {

void Yield() { SyncYieldCycles(10); }

constexpr int kOutboxCategory = 1;

// New messages committed to the handheld together: few enough that a crash costs little
// to fetch again, enough that commits cost little.
constexpr int kMessagesPerCommit = 100;

// Mail written on the handheld: no message id, and a host id that is empty or the record's
// zero (the record always carries four bytes of it).
bool HasNoHostIds(const CMsg& m) {
    if (!m.msgId.IsEmpty()) return false;
    int32_t n = 0;
    const uint8_t* b = m.hostId.GetData(&n);
    for (int32_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

std::string MessageBlock(const char* title, const CMsg& m, const std::string& folder) {
    return Printf("%s\n%-20s%s\n%-20s%s\n%-20s%s", title, "Subject:", m.Subject.c_str(), "From:", m.From.c_str(),
                  "Folder:", folder.c_str());
}

// Whether the part record of one of the message's attachments shows that the handheld
// holds less of it than exists.
bool AttachmentHeldInPart(CDeviceDb& db, const CMsg& m) {
    for (int i = 0; i < kMaxPartIds && m.partIds[i] != 0; ++i) {
        CAttachmentChain chain;
        if (db.Open(kDbAttachments) != 0 || ReadAttachmentChain(db.handle(), m.partIds[i], false, chain, nullptr) != 0)
            continue;
        const uint32_t partRecord = chain.AttachmentNumber();
        CPartInfoRecord info;
        if (partRecord != 0 && db.Open(kDbParts) == 0 && ReadPartInfoRecord(db.handle(), partRecord, info) == 0 &&
            info.values[2] != info.values[3])
            return true;
    }
    return false;
}

}  // namespace

bool IsRelayControlMail(const CMsg& msg) {
    for (const char* marker : {"???C-H-", "???E-N-", "???C-F-", "???C-D-"})
        if (msg.Subject.find(marker) != std::string::npos) {
            Debug("A control message was found on the desktop inbox and will not be downloaded to the device.");
            return true;
        }
    return false;
}

CHostConnection* CSyncSession::ConnectionForAccount(int accountNumber) {
    for (auto& c : connections)
        if (c->slot == accountNumber) return c.get();
    return nullptr;
}

bool CSyncSession::ClearIdCache(int slot) {
    if (db.dbVersion < 1056) return true;
    return db.Open(kDbIdCache, slot) == 0 && db.DeleteAll() == SYNC_OK;
}

int CSyncSession::LoadDeviceMessages() {
    Debug("--> Beginning To Get Messages From Device");
    if (int rc = db.Open(kDbMessages); rc != 0) return rc;
    db.FollowMessages(MessageIndexPath(accountInit.userDirectory));
    const uint32_t total = db.Count();
    if (total) {
        progress.SetStepCount(int(total));
        progress.SetProgressTextId(4449);
    }
    int result = 0, read = 0, unknown = 0;
    std::set<int> cacheCleared;
    HandheldRecord r;  // one for every record: its bytes reuse the room of the last one's
    for (uint32_t index = 0; result == 0;) {
        bool whole = true;
        if (db.ReadMessageHeaders(index, r, whole) != 0) break;
        // The outbox's texts and a deleted message's parts are read from the record itself.
        if (!whole && (r.category == kOutboxCategory || (r.attributes & kRecordAttrDeleted)) &&
            db.ReadById(r.id, r) != 0)
            break;
        ++read;
        progress.AdvanceStep();
        auto m = std::make_unique<CMsg>();
        // Only the outbox's texts are used here; the others stay in their records until
        // one is written anew, so they are not even decoded.
        bool hasBody = false;
        const int account =
            r.category == kOutboxCategory ? UnpackMessageRecord(r, *m) : UnpackMessageHeaders(r, *m, hasBody);
        if (account == -1) {
            ++unknown;
            // A message the handheld deleted: its attachment and part records go with it.
            // The records after a deleted one move up: the same index is read again.
            HandheldRecord unmarked = r;
            unmarked.attributes &= uint8_t(~kRecordAttrDeleted);
            CMsg whole;
            const bool readable = UnpackMessageRecord(unmarked, whole) >= 0;
            const bool gone = readable ? DeleteDeviceMessage(whole) == 0 : db.Delete(r.id) == SYNC_OK;
            if (readable) db.Open(kDbMessages);
            if (!gone) ++index;
            continue;
        }
        CHostConnection* c = ConnectionForAccount(account);
        if (!c || !c->account) {
            // A record naming no account of this handheld is damaged, not a reason to stop
            // every synchronisation from now on: it stays where it is and is passed over.
            ++unknown;
            ++index;
            continue;
        }
        if (HasNoHostIds(*m) && m->category != 1 && !c->IsRelayAccount()) {
            ++index;
            continue;
        }
        if (c->IsComponent()) {
            ++index;
            continue;
        }
        if (!c->HasDeletionMark() && !ServerChanged(*c)) {
            if (c->Protocol() != kProtocolPlaceholder && c->IsActive()) {
                if (hasBody) c->textOnHandheld.insert(m.get());
                c->device.AddMsg(std::move(m));
            }
            ++index;
            continue;
        }
        if (cacheCleared.insert(c->slot).second) ClearIdCache(c->slot);
        db.Open(kDbMessages);
        if (HasNoHostIds(*m) && !c->HasDeletionMark()) {
            ++index;
            continue;
        }
        if (!c->HasDeletionMark())
            Debug(
                Printf("A message is being removed from the device for account %s because the incoming server changed.",
                       c->Name().c_str()));
        if (DeleteDeviceMessage(*m) != 0) ++index;  // a record that stays is passed over
        db.Open(kDbMessages);
    }

    // Messages whose stored part is smaller than the whole wait for the rest. A relay
    // account's copies are found by the ids in their part records, whatever the type.
    for (auto& c : connections) {
        const int type = c->ConnType();
        if (!c->IsActive() || (type == kConnSyncOnly && !c->IsRelayAccount())) continue;
        for (auto& e : c->device.Entries())
            for (auto& m : e->msgs) {
                // Outbox mail numbers its attachments in the word that names a part record.
                if (type == kConnWireless && m->category != 1 && AttachmentHeldInPart(db, *m))
                    c->attachmentUpdates.insert(m.get());
                const uint32_t partRecord = m->partWord >> 8;
                if (partRecord == 0 || db.Open(kDbParts) != 0) continue;
                CPartInfoRecord info;
                if (ReadPartInfoRecord(db.handle(), partRecord, info) != 0) continue;
                m->deliveredSize = int32_t(info.values[2]);
                m->totalSize = int32_t(info.values[3]);
                const bool partial = info.values[2] != info.values[3];
                m->partInfo = std::make_unique<CPartInfoRecord>(info);
                m->partInfo->recordId = partRecord;
                if (partial && type != kConnSyncOnly) {
                    m->pendingUpdate = 1;
                    if (type == kConnDialUp || type == kConnTcpIp) m->rewriteParts = 1;
                }
            }
    }
    DebugOrInfo(
        Printf("Loaded %d messages from the device of which %d of them were associated with an unknown account.", read,
               unknown),
        4138, {std::to_string(read), std::to_string(unknown)});
    for (auto& c : connections) {
        if (!c->account) continue;
        if (c->HasDeletionMark()) {
            c->account->ResetToDefaults();
        } else if (ServerChanged(*c)) {
            c->ClearServerChangedMark();
        }
    }
    return result;
}

int CSyncSession::SyncAccounts() {
    Debug("--> Beginning To Sync Accounts");
    // Simple MAPI accounts go first, the others keep their order.
    std::stable_partition(connections.begin(), connections.end(), [](const std::unique_ptr<CHostConnection>& c) {
        const int p = c->Protocol();
        return p >= 0 && p <= 3;
    });
    int result = 0;
    bool anyFailed = false;
    const int total = int(connections.size());
    int n = 0;
    for (auto& cp : connections) {
        CHostConnection& c = *cp;
        Debug(Printf("Checking account %d of %d", ++n, total));
        progress.SetStepCount(1);
        if (!c.account || !c.IsActive()) {
            progress.AdvanceOverall();
            continue;
        }
        const std::string name = c.Name();
        if (c.IsComponent()) {
            RunComponentAccount(c);
            continue;
        }
        if (logDebug && !name.empty()) {
            Debug(Printf("-->** Begin synchronization specific to active account '%s' , %d. **<--", name.c_str(),
                         c.slot));
            WriteAccountReport(c);
        } else if (logInfo) {
            LogInfo(FormatText(Str(4139), {name}));
        }
        if (c.HasDeletionMark()) {
            c.Deactivate();
            Debug("The account is active but marked for deletion and is being deactivated. Sync done..");
            progress.AdvanceOverall();
            continue;
        }
        const int p = c.Protocol();
        if (p == kProtocolNone) {
            SyncMessage(4242, kActivityText, {name});
            c.Deactivate();
            continue;
        }
        if ((p == kProtocolMapi || p == kProtocolMapi2) && !c.account->HasMapiProfile()) {
            SyncMessage(4206, kActivityError, {name});
            continue;
        }
        progress.SetProgressText(FormatText(Str(4450), {name}));
        c.failure.clear();
        // The first thing that failed is what the account's line says.
        auto fail = [&c](const std::string& why) {
            if (c.failure.empty()) c.failure = why;
        };
        result = c.ConnectHost(logDebug, logInfo, accountInit.userDirectory);
        if (result != 0) {
            fail("it could not connect to its server or log on (check the server, port, user name and password)");
            anyFailed = ReportAccountFailure(c) || anyFailed;
            progress.AdvanceOverall();
            continue;
        }
        c.failedFolders.clear();
        bool hostLost = false;
        std::vector<int> slots;
        std::vector<std::string> names;
        const bool anyFolder = c.account->SelectedFolders(slots, names) > 0;
        auto collect = [&]() {
            bool failed = false;
            for (size_t i = 0; i < slots.size(); ++i) {
                const int key = slots[i];
                FolderRecord* folder = (p == kProtocolImap && key == 0) ? nullptr : c.host.Record(key);
                const std::string folderName = i < names.size() ? names[i] : Str(4470);
                progress.SetProgressText(FormatText(Str(4468), {name, folderName}));
                progress.SetStepCount(1);
                const int rc = c.CollectHostMessages(folder, key, logInfo, logDebug);
                if (rc != 0) {
                    result = rc;
                    failed = true;
                    c.failedFolders.insert(key);
                    fail("the messages of " + folderName + " could not be listed");
                }
                if (rc == kResultHostLost) {
                    // The folders not yet read count as failed too: nothing is deleted for them.
                    for (size_t j = i + 1; j < slots.size(); ++j) c.failedFolders.insert(slots[j]);
                    hostLost = true;
                    break;
                }
            }
            return failed;
        };
        bool toDisconnect = false;
        if (anyFolder) {
            if ((c.IdentifiesByMessageId() || c.IsRelayAccount()) && p != kProtocolPop) {
                if (collect()) {
                    toDisconnect = true;
                } else {
                    progress.SetProgressText(FormatText(Str(4452), {name}));
                    result = PerformDisconnectedActions(&c);
                    toDisconnect = result != 0;
                    if (toDisconnect) fail("the handheld's changes could not all be made on its server");
                }
            } else {
                progress.SetProgressText(FormatText(Str(4452), {name}));
                result = PerformDisconnectedActions(&c);
                // The handheld's actions are done: nothing looks at the new messages
                // before they are written, so they may wait in the file whole.
                c.newMessagesOutWhole = true;
                if (result != 0) {
                    toDisconnect = true;
                    fail("the handheld's changes could not all be made on its server");
                } else if (collect()) {
                    if (hostLost) {
                        toDisconnect = true;
                    } else if ((p == kProtocolImap || (p == kProtocolPop && c.IdentifiesByMessageId())) && c.Outbox()) {
                        progress.SetProgressText(FormatText(Str(4453), {name}));
                        if (SendOutbox(c) != 0) fail("its outbox could not all be sent");
                        toDisconnect = true;
                    }
                }
            }
        }
        if (!toDisconnect) {
            Yield();
            progress.SetProgressText(FormatText(Str(4453), {name}));
            if (c.Outbox()) {
                result = SendOutbox(c);
                toDisconnect = result != 0;
                if (toDisconnect) fail("its outbox could not all be sent");
            }
        }
        if (!toDisconnect) {
            Yield();
            progress.SetProgressText(FormatText(Str(4454), {name}));
            if (const int rc = anyFolder ? SyncDeviceMessages(c) : 0; rc != 0)
                fail(rc == kResultDbOpen ? "the handheld could not keep the messages written to it"
                                         : "the handheld is full");
            c.account->MarkSynchronised();
        }
        progress.SetProgressText(FormatText(Str(4455), {name}));
        c.DisconnectHost();
        anyFailed = ReportAccountFailure(c) || anyFailed;
        progress.AdvanceOverall();
        if (logDebug && (!name.empty() || c.IsActive()))
            Debug(Printf("-->** Finish synchronization specific to active account '%s', %d. **<--", name.c_str(),
                         c.slot));
        else if (logInfo)
            LogInfo(FormatText(Str(4143), {name}));
    }
    // The other accounts went on; the run still says that one failed.
    return anyFailed ? kResultAccountFailed : 0;
}

bool CSyncSession::ReportAccountFailure(CHostConnection& c) {
    if (c.failure.empty()) return false;
    SyncLine("The account " + c.Name() + " failed: " + c.failure +
                 ". Its synchronisation stopped there; the mail on the handheld is kept.",
             kActivityError);
    return true;
}

int CSyncSession::SyncDeviceMessages(CHostConnection& c) {
    Debug("--> Beginning To Sync Messages");
    const std::string name = c.Name();
    progress.SetProgressText(FormatText(Str(4456), {name}));
    progress.SetStepCount(int(c.device.Count()));
    // The handheld's writes share transactions. Each message's records go in whole; a
    // commit comes before anything is deleted from the handheld, every
    // kMessagesPerCommit new messages and at the end of each folder.
    CWriteGroup group;
    bool unkept = false;
    auto commit = [&] { unkept = unkept || group.Flush() != SYNC_OK; };
    // Read states and other changes back to the handheld.
    for (auto& e : c.device.Entries())
        for (auto& m : e->msgs) {
            const bool matched = (m->flags & kMsgFlagFromHandheld) && (m->flags & kMsgFlagSeenOnHost);
            const bool changed =
                (m->flags & kMsgFlagRewriteRecord) || m->pendingUpdate || c.attachmentUpdates.count(m.get());
            if (matched && changed) UpdateDeviceMessage(c, *m);
        }

    std::vector<int> slots;
    std::vector<std::string> names;
    c.account->SelectedFolders(slots, names);
    int deleted = 0, rejected = 0, added = 0;
    bool full = false;
    const int p = c.Protocol();
    for (size_t i = 0; i < slots.size() && !full && !unkept; ++i) {
        const int key = slots[i];
        const std::string folderName = i < names.size() ? names[i] : Str(4470);
        progress.SetProgressText(FormatText(Str(4457), {name, folderName}));
        progress.SetStepCount(int(c.device.Count(key)));
        const int64_t span = int64_t(c.DaysToSync()) * 86400;
        const int64_t cutoff = c.DaysToSync() > 0 ? int64_t(std::time(nullptr)) - span : 0;
        commit();
        // A folder whose listing failed says nothing about what the host holds.
        if (auto* list = c.device.Messages(key); list && !c.failedFolders.count(key)) {
            for (size_t j = 0; j < list->size();) {
                CMsg& m = *(*list)[j];
                const bool read = (m.status & kMsgStatusRead) != 0;
                bool keep = m.date < cutoff || (m.flags & kMsgFlagSeenOnHost) || m.category == 3 || m.category == 4;
                if (p == kProtocolImap)
                    keep = keep || (c.UnreadOnly() && read);
                else
                    keep = keep || (c.UnreadOnly() && read && (m.flags & 0x08000000));
                if (keep) {
                    ++j;
                    continue;
                }
                ++deleted;
                Debug(MessageBlock("Deleting a message not found on host:", m, folderName));
                DeleteDeviceMessage(m);
                c.attachmentUpdates.erase(&m);
                c.textOnHandheld.erase(&m);
                list->erase(list->begin() + long(j));
            }
        }
        auto* fresh = c.host.Messages(key);
        // The new messages that went out whole to the file come first, one back at a time.
        const size_t outWhole = c.bodies.WholeCount(key);
        const size_t newCount = outWhole + (fresh ? fresh->size() : 0);
        progress.SetProgressText(FormatText(Str(4458), {name, folderName}));
        progress.SetStepCount(int(newCount));
        if (!fresh && outWhole == 0) continue;
        int sinceCommit = 0;
        for (size_t n = 0; n < newCount; ++n) {
            Yield();
            if (unkept) break;
            std::unique_ptr<CMsg> back;
            if (n < outWhole && !(back = c.bodies.TakeWhole(key, n))) {
                // Unread, it waits for the next synchronisation like a text that was lost.
                Debug("A new message put out to the temporary file could not be read back.");
                ++rejected;
                continue;
            }
            CMsg* m = n < outWhole ? back.get() : (*fresh)[n - outWhole].get();
            if (m->From.empty()) {
                ++rejected;
                continue;
            }
            Debug(MessageBlock("Adding a message to the device:", *m, folderName));
            if (!CheckHandheldSpace()) {
                SyncMessage(4205, kActivityError);
                full = true;
                break;
            }
            if (IsRelayControlMail(*m)) {
                ++added;
                continue;
            }
            if (!c.bodies.Take(*m)) {
                // Without its text the message waits for the next synchronisation.
                LogError(4042, m);
                ++rejected;
                continue;
            }
            const int rc = AddMessageToDevice(c, *m);
            if (rc == kResultDbOpen) {
                unkept = true;  // the account stops; the message comes again next time
                break;
            }
            if (rc == kResultRejected)
                ++rejected;
            else
                ++added;
            std::string().swap(m->Body);  // on the handheld now
            progress.AdvanceStep();
            if (++sinceCommit == kMessagesPerCommit) {
                commit();
                sinceCommit = 0;
            }
        }
        commit();
        if (fresh) fresh->clear();  // added messages are on the handheld now; keep memory flat
    }
    commit();
    c.bodies.Clear();
    progress.SetStepCount(1);
    DebugOrInfo(
        Printf("Deleted %d messages from the device because there was no match for it on the host,\n rejected %d "
               "messages due to filters, and added %d new messages to the device.",
               deleted, rejected, added),
        4142, {std::to_string(deleted), std::to_string(rejected), std::to_string(added)});
    // Messages the handheld could not keep come again at the next synchronisation.
    return unkept ? kResultDbOpen : full ? kResultAccountFailed : 0;
}

// The id cache tells later synchronisations that a message has been dealt with, so that
// it does not come to the handheld again.
void CSyncSession::RememberDelivered(CHostConnection& c, const CMsg& msg) {
    if (c.ConnType() != kConnSyncOnly && db.Open(kDbIdCache, c.slot) == 0) {
        CIdCacheRecord cache;
        if (c.Protocol() == kProtocolImap) {
            const uint32_t uid = FullIdAsNumber(msg.hostId);
            cache.category = 4;
            cache.texts[0] = std::to_string(int32_t(uid));
        } else {
            cache.category = (c.Protocol() == kProtocolPop && c.IdentifiesByMessageId()) ? 4 : 3;
            if (cache.category == 4) cache.texts[0] = IdPart(IdText(msg.msgId), 0);
            cache.time = uint32_t(msg.date / 60 * 60);
            cache.texts[1] = msg.Subject;
            cache.texts[2] = msg.From;
        }
        WriteIdCacheRecord(db.handle(), cache);
    }
}

int CSyncSession::AddMessageToDevice(CHostConnection& c, CMsg& msg) {
    const int p = c.Protocol();
    if (p == kProtocolMapi || p == kProtocolMapi2) c.ResolveNames(msg);
    if (appVersion == 1024) {
        for (std::string* list : {&msg.From, &msg.ReplyTo, &msg.To, &msg.Cc, &msg.Bcc})
            tess::NormalizeAddressList(*list, false);
        if (msg.ReplyTo.empty()) msg.ReplyTo = msg.From;
    }
    msg.size = msg.GetHeaderTextSize();
    if (!c.FilterCheck(msg, logDebug)) return kResultRejected;
    if (!msg.AttachmentNames.empty() && c.DownloadAttachments())
        if (AddAttachmentsToDevice(c, msg, true) == kResultRejected) return kResultRejected;

    const int type = c.ConnType();
    // A relay account's copies are found by the ids in this record, whatever the type.
    if (type == kConnWireless || (type == kConnSyncOnly && c.IsRelayAccount())) {
        WriteMessagePartRecord(c, msg);
    } else if (type == kConnDialUp || type == kConnTcpIp) {
        TrackDeliveredSize(msg, c);
    }
    if (db.Open(kDbMessages) != 0) return kResultDbOpen;
    HandheldRecord rec;
    const bool note = type != kConnDialUp && type != kConnTcpIp;
    const int rc = PackMessageRecord(db.dbVersion, rec, msg, uint32_t(c.MaxSizeKb()) * 1024, c.slot, note);
    if (rc == 0xFFFF) {
        LogError(4112, &msg);  // it can never fit: not offered again
        RememberDelivered(c, msg);
        return 0;
    }
    rec.id = 0;
    // Remembered only once the message is on the handheld: a failed write would otherwise
    // keep the message from ever coming again.
    if (db.Write(rec) != SYNC_OK) return kResultDbOpen;
    msg.deviceId = NumberAsId(rec.id);
    RememberDelivered(c, msg);
    return 0;
}

int CSyncSession::UpdateDeviceMessage(CHostConnection& c, CMsg& msg) {
    if (c.IsRelayAccount() && msg.partInfo && generalSettings.version == 0) QueueRelayAction(c, msg);
    if (db.Open(kDbMessages) != 0) return kResultDbOpen;
    const bool textOut = c.textOnHandheld.count(&msg) != 0;
    if (textOut) {
        // The record is written whole: its text first comes back from the handheld. A
        // record that cannot be read is left as it is rather than written without it.
        HandheldRecord stored;
        CMsg old;
        if (db.ReadById(FullIdAsNumber(msg.deviceId), stored) != 0 || UnpackMessageRecord(stored, old) < 0)
            return kResultNotFound;
        msg.Body = std::move(old.Body);
    }
    struct LetGo {  // once written, the text is the record's alone again
        CMsg& msg;
        bool on;
        ~LetGo() {
            if (on) std::string().swap(msg.Body);
        }
    } letGo{msg, textOut};
    if (msg.rewriteParts || c.attachmentUpdates.count(&msg)) {
        const bool wired = c.ConnType() == kConnDialUp || c.ConnType() == kConnTcpIp;
        if (wired) msg.rewriteParts = 0;
        AddAttachmentsToDevice(c, msg, false);
        msg.rewriteParts = 0;
        c.attachmentUpdates.erase(&msg);
        db.Open(kDbMessages);
    }
    if (c.ConnType() == kConnWireless && msg.partInfo && msg.partInfo->values[2] != msg.partInfo->values[3]) {
        // The handheld has been given the whole message since.
        CPartInfoRecord& info = *msg.partInfo;
        info.values[2] = info.values[3];
        info.values[1] = info.values[3];
        if (db.Open(kDbParts) != 0 || WritePartInfoRecord(db.handle(), msg.category, info) != 0)
            SyncMessage(4179, kActivityError);
        db.Open(kDbMessages);
    } else if (c.ConnType() == kConnDialUp || c.ConnType() == kConnTcpIp) {
        TrackDeliveredSize(msg, c);
        db.Open(kDbMessages);
    }
    HandheldRecord rec;
    const bool note = c.ConnType() != kConnDialUp && c.ConnType() != kConnTcpIp;
    const int rc = PackMessageRecord(db.dbVersion, rec, msg, uint32_t(c.MaxSizeKb()) * 1024, c.slot, note);
    if (rc == 0xFFFF) {
        LogError(4112, &msg);
        return rc;
    }
    rec.id = FullIdAsNumber(msg.deviceId);
    return db.Write(rec);
}

int CSyncSession::DeleteDeviceMessage(CMsg& msg) {
    if (db.Open(kDbAttachments) != 0) {
        SyncMessage(4106, kActivityError);
        SyncMessage(4010, kActivityText);
        return kResultDbOpen;
    }
    for (int i = 0; i < kMaxPartIds && msg.partIds[i] != 0; ++i) {
        CAttachmentChain chain;
        if (ReadAttachmentChain(db.handle(), msg.partIds[i], true, chain, nullptr) == 0) {
            DeleteAttachmentChain(db.handle(), chain);
        } else if (db.Delete(msg.partIds[i]) != SYNC_OK) {
            SyncMessage(4104, kActivityError);
        }
        msg.partIds[i] = 0;
    }
    if ((msg.partWord >> 8) != 0) {
        if (db.Open(kDbParts) == 0)
            db.Delete(msg.partWord >> 8);
        else
            SyncMessage(4105, kActivityError);
        msg.partWord &= 0xFF;
        msg.partInfo.reset();
    }
    if (db.Open(kDbMessages) != 0) {
        LogRecordDeleteFailure(&msg);
        return kResultDbOpen;
    }
    if (db.Delete(FullIdAsNumber(msg.deviceId)) != SYNC_OK) {
        LogRecordDeleteFailure(&msg);
        return kResultNotFound;
    }
    return 0;
}

}  // namespace tess::engine
