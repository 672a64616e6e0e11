// The server folder table of an account and the handheld's sixteen folder slots.
#include <strings.h>

#include <algorithm>
#include <new>

#include "accounts/block_fields.h"
#include "accounts/mail_account.h"

namespace tess::accounts {

using namespace layout;

namespace {

constexpr size_t kCompared = 15;  // names are told apart by their first 15 characters

// Out of memory while selecting folders: two sync-log messages and one product-log line.
constexpr int kMsgGeneralAccessError = 4308;
constexpr int kMsgSynchronisationError = 4340;
constexpr const char* kMemoryExceptionLine =
    "EXCEPTION: A memory exception has occured.\n\t\tTry the Tallyhop operation again, if that fails,\n\t\t"
    "restart the Tallyhop manager.";

bool sameName15(std::string_view a, std::string_view b) {
    a = a.substr(0, std::min(a.size(), kCompared));
    b = b.substr(0, std::min(b.size(), kCompared));
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

size_t folderAt(int i) { return kFolderTable + size_t(i) * kFolderEntrySize; }
size_t slotAt(int slot) { return kFolderPrefCopy + kFolderPrefSlots + size_t(slot) * kFolderSlotWidth; }

std::string format(const char* fmt, std::string_view arg) {
    std::string s(arg);
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, s.c_str());
    return buf;
}

}  // namespace

std::vector<CMailAccount::FolderEntry> CMailAccount::Folders() const {
    std::vector<FolderEntry> out;
    ByteView d(image_.desktop);
    for (int i = 0; i < kMaxServerFolders; ++i) {
        const size_t at = folderAt(i);
        FolderEntry e;
        e.name = std::string(d.text(at + kFolderName.offset, kFolderName.width));
        if (e.name.empty()) break;
        const size_t length = std::min<size_t>(d.u32le(at + kFolderDataLength), kFolderDataMax);
        auto data = d.bytes(at + kFolderData, length);
        e.data.assign(data.begin(), data.end());
        e.slot = int32_t(d.u32le(at + kFolderSlot));
        e.synchronised = int32_t(d.u32le(at + kFolderSynced));
        e.flags = d.u32le(at + kFolderFlags);
        out.push_back(std::move(e));
    }
    return out;
}

void CMailAccount::SetFolders(const std::vector<FolderEntry>& folders) {
    ByteSpan d(image_.desktop);
    d.zero(kFolderTable, kMaxServerFolders * kFolderEntrySize);
    int i = 0;
    for (const FolderEntry& e : folders) {
        if (i == kMaxServerFolders) break;
        if (e.name.empty()) continue;  // an empty name would end the table
        const size_t at = folderAt(i++);
        d.putTextCut(at + kFolderName.offset, kFolderName.width, e.name);
        const size_t length = std::min(e.data.size(), kFolderDataMax);
        d.putU32le(at + kFolderDataLength, uint32_t(length));
        d.copy(at + kFolderData, std::span(e.data).first(length));
        d.putU32le(at + kFolderSlot, uint32_t(e.slot));
        d.putU32le(at + kFolderSynced, uint32_t(e.synchronised));
        d.putU32le(at + kFolderFlags, e.flags);
    }
}

int CMailAccount::CountFolders(int* handheldSlots, int* mappedFolders, int* serverFolders, int* markedFolders) const {
    ByteView h(image_.handheld);
    int slots = 0;
    while (slots < kHandheldSlots && !h.text(slotAt(slots), kFolderSlotWidth).empty()) ++slots;
    int mapped = 0, synced = 0, marked = 0;
    for (const FolderEntry& e : Folders()) {
        if (e.slot >= 0) ++mapped;
        if (e.synchronised) ++synced;
        if (e.flags & 1) ++marked;
    }
    if (handheldSlots) *handheldSlots = slots;
    if (mappedFolders) *mappedFolders = mapped;
    if (serverFolders) *serverFolders = synced;
    if (markedFolders) *markedFolders = marked;
    return 1;
}

int CMailAccount::SetFolderSync(std::string_view name, int on) {
    std::vector<FolderEntry> folders = Folders();
    auto it =
        std::find_if(folders.begin(), folders.end(), [&](const FolderEntry& e) { return sameName(e.name, name); });
    if (it == folders.end()) return 0;
    int result = 1;
    if (it->slot != kNoSlot) {
        it->synchronised = on ? 1 : 0;
    } else if (!on) {
        it->synchronised = 0;
        it->flags &= ~1u;
    } else {
        // A folder waits for a free handheld slot: the slots in use and the folders
        // already waiting leave room for it, or it is refused. It does not count itself.
        int slots = 0, marked = 0;
        CountFolders(&slots, nullptr, nullptr, &marked);
        if (it->flags & 1) --marked;
        const bool room = slots + marked + 1 <= kHandheldSlots;
        it->synchronised = room ? 1 : 0;
        it->flags = room ? (it->flags | 1u) : (it->flags & ~1u);
        result = room ? 1 : 0;
    }
    SetFolders(folders);
    return result;
}

int CMailAccount::FindQueuedFolder(std::string_view name, int* index) const {
    for (const CDeviceFolder& q : queued_) {
        if (sameName15(q.name, name)) {
            if (index) *index = q.slot;
            return 1;
        }
    }
    if (index) *index = -1;
    return 0;
}

int CMailAccount::FindHandheldFolder(std::string_view name, int* index) const {
    ByteView h(image_.handheld);
    for (int slot = 0; slot < kHandheldSlots; ++slot) {
        const std::string_view slotName = h.text(slotAt(slot), kFolderSlotWidth);
        if (!slotName.empty() && sameName15(slotName, name)) {
            if (index) *index = slot;
            return 1;
        }
    }
    if (index) *index = -1;
    return 0;
}

const char* CMailAccount::QueuedFolderName(int slot) const {
    for (const CDeviceFolder& q : queued_)
        if (q.slot == slot) return q.name.c_str();
    return nullptr;
}

int CMailAccount::MergeServerFolders(std::span<const ServerFolderInfo> folders, int useQueued) {
    const std::vector<FolderEntry> old = Folders();
    const bool syncInbox = ByteView(image_.desktop).u32le(kSyncInbox) != 0;
    std::vector<FolderEntry> merged;
    for (const ServerFolderInfo& host : folders) {
        if (merged.size() == size_t(kMaxServerFolders)) break;
        if (host.name.empty()) continue;
        FolderEntry e;
        e.name = std::string(host.name.substr(0, kFolderName.width - 1));
        const size_t length = std::min(host.data.size(), kFolderDataMax);
        e.data.assign(host.data.begin(), host.data.begin() + length);
        const FolderEntry* before = nullptr;
        for (const FolderEntry& o : old)
            if (sameName(o.name, e.name)) before = &o;
        if (before) {
            e.slot = before->slot;
            e.synchronised = before->synchronised;
            e.flags = before->flags;
            if (init_.logFolderAdditions)
                env_.ProductLog(format("Retrieved folder '%s' from server. Already exists.", e.name));
        } else if (init_.logFolderAdditions) {
            env_.ProductLog(format("Retrieved folder '%s' from server. Folder is new to desktop conduit.", e.name));
        }
        if (syncInbox && sameName(e.name, "Inbox")) e.synchronised = 1;
        int found = -1;
        if (e.slot < 0) {
            if (useQueued ? FindQueuedFolder(e.name, &found) : FindHandheldFolder(e.name, &found)) e.slot = found;
        } else if (useQueued && !FindQueuedFolder(e.name, &found)) {
            e.slot = kNoSlot;
            e.synchronised = 0;
            if (init_.logFolderAdditions)
                env_.ProductLog(
                    format("Folder '%s' no longer exists on device. Deactivating it for synchronization.", e.name));
        }
        merged.push_back(std::move(e));
    }
    SetFolders(merged);
    return Save();
}

int CMailAccount::SelectedFolders(std::vector<int>& slots, std::vector<std::string>& names) const {
    slots.clear();
    names.clear();
    try {
        const std::vector<FolderEntry> folders = Folders();
        if (folders.empty()) {
            if (!ByteView(image_.desktop).u32le(kSyncInbox)) return 0;
            slots.push_back(0);
            return 1;
        }
        for (const FolderEntry& e : folders) {
            if (!e.synchronised) continue;
            slots.push_back(e.slot);
            names.push_back(e.name);
        }
        return int(slots.size());
    } catch (const std::bad_alloc&) {
        // No half-filled selection reaches the caller.
        slots.clear();
        names.clear();
        try {
            env_.SyncMessage(kMsgGeneralAccessError);
            env_.SyncMessage(kMsgSynchronisationError);
            if (init_.logFolderAdditions) env_.ProductLog(kMemoryExceptionLine);
        } catch (const std::bad_alloc&) {
            // Nothing more can be reported without memory.
        }
        return 0;
    }
}

int CMailAccount::WriteDeviceFolders(HandheldPreferences& prefs) {
    int slots = 0, marked = 0;
    CountFolders(&slots, nullptr, nullptr, &marked);
    if (marked == 0) return 1;

    std::vector<FolderEntry> folders = Folders();
    for (FolderEntry& e : folders) {
        int slot = -1;
        if ((e.flags & 1) && FindQueuedFolder(e.name, &slot)) {
            e.slot = slot;
            e.flags &= ~1u;
            --marked;
        }
    }
    // Refuse the excess, first in table order, when the slots cannot take them all.
    int excess = slots + marked - kHandheldSlots;
    for (FolderEntry& e : folders) {
        if (excess <= 0) break;
        if (!(e.flags & 1)) continue;
        e.synchronised = 0;
        e.flags &= ~1u;
        --excess;
        env_.ProductLog(format("Max folder count reached. Cannot add %s to the device", e.name));
    }
    SetFolders(folders);

    std::vector<uint8_t> pref;
    if (prefs.Read(kCreatorMail, FolderPrefId(init_.accountNumber), pref) != 0) return 0;
    if (pref.size() < kFolderPrefSize) pref.resize(kFolderPrefSize, 0);
    ByteSpan p(pref);
    ByteView pv(pref);
    std::vector<CDeviceFolder> placed;
    for (int slot = 0; slot < kHandheldSlots; ++slot) {
        const size_t at = kFolderPrefSlots + size_t(slot) * kFolderSlotWidth;
        if (!pv.text(at, kFolderSlotWidth).empty()) continue;
        auto next = std::find_if(folders.begin(), folders.end(), [](const FolderEntry& e) { return e.flags & 1; });
        if (next == folders.end()) break;
        if (init_.logFolderAdditions) {
            env_.ProductLog(format("Server folder '%s' being added to the device.", next->name));
            placed.push_back({FolderPrefId(init_.accountNumber), slot, next->name, {}, 0});
        }
        p.putTextCut(at, kFolderSlotWidth, next->name);
        next->slot = slot;
        next->flags &= ~1u;
    }
    if (const int rc = prefs.Write(kCreatorMail, FolderPrefId(init_.accountNumber), pref); rc != 0) {
        // The slots were not taken on the handheld: the folders stay marked for next time.
        env_.ProductLog("Unable to write the folder list of account " + AccountName() + " to the device (error " +
                        std::to_string(rc) + ")");
        Save();
        return 0;
    }
    SetFolders(folders);
    queued_.insert(queued_.end(), placed.begin(), placed.end());
    ByteSpan(image_.handheld).copy(kFolderPrefCopy, std::span<const uint8_t>(pref).first(kFolderPrefSize));
    Save();
    return 1;
}

}  // namespace tess::accounts
