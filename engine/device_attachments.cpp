// Attachments of a message brought from its host to the handheld's attachment database.
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/sync_log.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tidewater {
namespace {

void DeleteListedAttachments(CDeviceDb& db, CMsg& msg) {
    for (int i = 0; i < kMaxPartIds && msg.partIds[i] != 0; ++i) {
        CAttachmentChain chain;
        if (ReadAttachmentChain(db.handle, msg.partIds[i], true, chain, nullptr) == 0)
            msg.size -= int32_t(DeleteAttachmentChain(db.handle, chain));
        msg.partIds[i] = 0;
    }
}

}  // namespace

int CSyncSession::AddAttachmentsToDevice(CHostConnection& c, CMsg& msg, bool newMessage) {
    if (msg.partBudget == 0) msg.partBudget = c.MaxSizeKb() * 1024;
    if (db.Open(kDbAttachments) != 0) {
        if (logDebug) SyncMessage(4103, kActivityText);
        return 0;
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
        for (int i = 0; i < count; ++i) msg.size += int32_t(fileSize(table->path[i]));
        const bool keep = c.FilterCheck(msg, logDebug) != 0;
        msg.size = before;
        if (!keep) return kResultRejected;
    }

    int64_t total = std::min<int64_t>(int64_t(msg.GetMailMsgSize()), int64_t(kMaxRecordBytes));
    int next = 0;
    while (next < kMaxPartIds && msg.partIds[next] != 0) ++next;
    if (db.Open(kDbAttachments) != 0) return 0;
    for (int i = 0; i < count && next < kMaxPartIds; ++i) {
        const std::string path(table->path[i], strnlen(table->path[i], sizeof table->path[i]));
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
        if (wired) msg.totalSize += int32_t(size);
        Debug(Printf("Adding attachment %s to device.", name.c_str()));
        uint32_t firstId = 0;
        if (WriteAttachmentChain(db.handle, chain, msg.category, &firstId, &progress) != 0) {
            if (logDebug) SyncMessage(4103, kActivityError);
            continue;
        }
        msg.partIds[next++] = firstId;
        Debug(Printf("Finished adding attachment %s to device.", name.c_str()));
    }
    return 0;
}

}  // namespace tidewater
