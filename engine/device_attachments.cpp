// Attachments of a message brought from its host to the handheld's attachment database.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/sync_report.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {
namespace {

void DeleteListedAttachments(CDeviceDb& db, CMsg& msg) {
    for (int i = 0; i < kMaxPartIds && msg.partIds[i] != 0; ++i) {
        CAttachmentChain chain;
        if (ReadAttachmentChain(db.handle(), msg.partIds[i], true, chain, nullptr) == 0)
            msg.size -= int32_t(DeleteAttachmentChain(db.handle(), chain));
        msg.partIds[i] = 0;
    }
}

}  // namespace

std::string CSyncSession::TranslateAttachment(const std::string& path, int direction, bool& translated) {
    translated = false;
    CString plugin;
    if (!translator || !translator->SelectPlugin(path.c_str(), direction, plugin)) return path;
    Debug(Printf("Attachment '%s' will be translated by '%s' plug-in.", path.c_str(), plugin.GetString()));
    SyncYieldCycles(10);
    CString out;
    if (!translator->Translate(out, &translationContext) || out.IsEmpty()) {
        Debug(Printf("Attachment '%s' failed to be translated by '%s' plug-in.", path.c_str(), plugin.GetString()));
        return path;
    }
    translated = true;
    return out.GetString();
}

int CSyncSession::AddAttachmentsToDevice(CHostConnection& c, CMsg& msg, bool newMessage) {
    if (msg.partBudget == 0) msg.partBudget = c.MaxSizeKb() * 1024;
    if (db.Open(kDbAttachments) != 0) {
        if (logDebug) SyncMessage(4103, kActivityText);
        return 0;
    }
    // Attachments written again: their part records go, but the ids the handheld gave
    // them are kept for the new records of the same names.
    std::vector<std::pair<uint32_t, std::string>> storedIds;
    if (msg.rewriteParts || c.attachmentUpdates.count(&msg)) {
        for (int i = 0; i < kMaxPartIds && msg.partIds[i] != 0; ++i) {
            CAttachmentChain chain;
            if (ReadAttachmentChain(db.handle(), msg.partIds[i], true, chain, nullptr) != 0) continue;
            if (const uint32_t partRecord = chain.AttachmentNumber(); partRecord != 0 && db.Open(kDbParts) == 0) {
                CPartInfoRecord info;
                if (ReadPartInfoRecord(db.handle(), partRecord, info) == 0) {
                    msg.size -= int32_t(info.values[2]);
                    storedIds.emplace_back(info.values[0], chain.FirstName());
                    db.Delete(partRecord);
                }
                if (db.Open(kDbAttachments) != 0) {
                    SyncMessage(4104, kActivityError);
                    break;
                }
            }
            DeleteAttachmentChain(db.handle(), chain);
        }
        std::fill(std::begin(msg.partIds), std::end(msg.partIds), 0u);
        c.attachmentUpdates.erase(&msg);
        if (db.Open(kDbAttachments) != 0) return 0;
    }
    DeleteListedAttachments(db, msg);
    AttachmentTable* table = nullptr;
    if (c.GetAttachments(msg, &table) != 0 && logDebug) SyncMessage(4103, kActivityText);
    if (!table) return 0;
    struct Release {
        CHostConnection& c;
        AttachmentTable*& t;
        ~Release() {
            if (t && c.FreeAttachments(&t) != 0) SyncMessage(4104, kActivityError);
        }
    } release{c, table};

    const int count = std::min(table->count, 10);
    const int type = c.ConnType();
    const bool wired = type == kConnDialUp || type == kConnTcpIp;
    auto fileSize = [](const char* path) -> int64_t {
        std::error_code ec;
        const auto n = std::filesystem::file_size(path, ec);
        return ec ? 0 : int64_t(n);
    };
    if ((newMessage || wired) && c.DownloadAttachments()) {
        const int32_t before = msg.size;
        for (int i = 0; i < count; ++i) {
            const int32_t size = int32_t(fileSize(table->path[i]));
            msg.size += size;
            // What the handheld is given: matched by the total of what is added below.
            if (wired) msg.deliveredSize += size;
        }
        const bool keep = c.FilterCheck(msg, logDebug) != 0;
        msg.size = before;
        if (!keep) return kResultRejected;
    }

    int64_t total = std::min<int64_t>(int64_t(msg.GetMailMsgSize()), int64_t(kMaxRecordBytes));
    int next = 0;
    while (next < kMaxPartIds && msg.partIds[next] != 0) ++next;
    if (db.Open(kDbAttachments) != 0) return 0;
    for (int i = 0; i < count && next < kMaxPartIds; ++i) {
        const std::string fetched(table->path[i], strnlen(table->path[i], sizeof table->path[i]));
        bool translated = false;
        const std::string path = TranslateAttachment(fetched, 0, translated);
        // A translated copy is ours to remove once it is on the handheld.
        struct Remove {
            std::string file;
            ~Remove() {
                std::error_code ec;
                if (!file.empty()) std::filesystem::remove(file, ec);
            }
        } remove{translated ? path : std::string()};
        if (wired && translated) msg.deliveredSize += int32_t(fileSize(path.c_str()) - fileSize(fetched.c_str()));
        CAttachmentChain chain;
        if (chain.MakeFromFile(path, false) != 0 || chain.entries.size() < 2) continue;
        const int64_t size = fileSize(path.c_str());
        const std::string name = AttachmentBaseName(path);
        total += size;
        if (!CheckHandheldSpace(uint32_t(std::min<int64_t>(size, UINT32_MAX)))) {
            SyncMessage(4205, kActivityError);
            total -= size;
            continue;
        }
        if (total > msg.partBudget) {
            SyncMessage(4108, kActivityError, {name});
            if (!wired) msg.Body += "\r\n" + FormatText(Str(4111), {name}) + "\r\n";
            total -= size;
            continue;
        }
        msg.size += int32_t(size);
        if (type == kConnWireless) {
            // The handheld learns from the attachment's part record that it holds all of it.
            uint32_t storedId = 0;
            for (const auto& [id, storedName] : storedIds)
                if (storedName == name) storedId = id;
            uint32_t partRecord = 0;
            if (WritePartRecord(c, msg, uint32_t(size), uint32_t(size), storedId, &partRecord) == 0)
                chain.SetAttachmentNumber(partRecord);
            if (db.Open(kDbAttachments) != 0) {
                SyncMessage(4107, kActivityError, {name});
                continue;
            }
        }
        if (wired) msg.totalSize += int32_t(size);
        Debug(Printf("Adding attachment %s to device.", name.c_str()));
        uint32_t firstId = 0;
        if (WriteAttachmentChain(db.handle(), chain, msg.category, &firstId, &progress) != 0) {
            if (logDebug) SyncMessage(4103, kActivityError);
            continue;
        }
        msg.partIds[next++] = firstId;
        Debug(Printf("Finished adding attachment %s to device.", name.c_str()));
    }
    return 0;
}

int CSyncSession::WritePartRecord(CHostConnection& c, const CMsg& msg, uint32_t delivered, uint32_t total,
                                  uint32_t storedId, uint32_t* recordId) {
    CPartInfoRecord info;
    info.values[0] = storedId;
    info.values[2] = delivered;
    info.values[3] = total;
    if (delivered >= total) info.values[1] = total;
    if (RelayPartIds(c)) {
        info.SetFirstId(msg.msgId);
        info.SetSecondId(msg.hostId);
    }
    if (db.Open(kDbParts) != 0 || WritePartInfoRecord(db.handle(), msg.category, info) != 0) {
        SyncMessage(4179, kActivityError);
        return kResultDbOpen;
    }
    *recordId = info.recordId;
    return 0;
}

void CSyncSession::WriteMessagePartRecord(CHostConnection& c, CMsg& msg) {
    // Everything the record holds of the message; the handheld is given up to the limit.
    const uint32_t total = uint32_t(std::max(0, msg.GetHeaderTextSize()));
    const uint32_t limit = uint32_t(std::max(0, c.MaxSizeKb())) * 1024;
    const uint32_t delivered = limit > 0 ? std::min(total, limit) : total;
    uint32_t partRecord = 0;
    if (WritePartRecord(c, msg, delivered, total, 0, &partRecord) != 0) return;
    if (const uint32_t old = msg.partWord >> 8; old != 0 && old != partRecord) db.Delete(old);
    msg.partWord = (partRecord << 8) | (msg.partWord & 0xFF);
    auto info = std::make_unique<CPartInfoRecord>();
    if (ReadPartInfoRecord(db.handle(), partRecord, *info) == 0) msg.partInfo = std::move(info);
}

void CSyncSession::TrackDeliveredSize(CMsg& msg, CHostConnection& c) {
    const int32_t maxBytes = c.MaxSizeKb() * 1024;
    const int32_t body = int32_t(msg.Body.size());
    msg.totalSize += body;
    msg.deliveredSize += body;
    if (msg.totalSize >= maxBytes && body <= int32_t(kMaxRecordBytes))
        msg.totalSize += maxBytes - body;
    else if (msg.msgId.IsEmpty() && msg.pendingUpdate)
        msg.deliveredSize = msg.totalSize + 1;

    const uint32_t existing = msg.partWord >> 8;
    if (msg.deliveredSize == msg.totalSize) {
        if (existing != 0 && db.Open(kDbParts) == 0) db.Delete(existing);
        msg.partWord &= 0xFF;
        msg.partInfo.reset();
        return;
    }
    if (db.Open(kDbParts) != 0) {
        Debug("Failed to get PP database to save part record for wired account message");
        return;
    }
    if (!msg.partInfo) {
        msg.partInfo = std::make_unique<CPartInfoRecord>();
        msg.partInfo->recordId = existing;
    }
    CPartInfoRecord& info = *msg.partInfo;
    info.values[2] = uint32_t(msg.deliveredSize);
    info.values[3] = uint32_t(msg.totalSize);
    if (msg.deliveredSize >= msg.totalSize) info.values[1] = uint32_t(msg.totalSize);
    if (WritePartInfoRecord(db.handle(), msg.category, info) != 0) {
        SyncMessage(4179, kActivityError);
        return;
    }
    msg.partWord = (info.recordId << 8) | (msg.partWord & 0xFF);
}

}  // namespace tess::engine
