#include "datamgr/store_handles.h"

#include <deque>
#include <mutex>
#include <vector>

namespace tess::datamgr {
namespace {

// A token is the mark, the slot's generation (bits 32-62) and the slot's index. The mark
// keeps it from being null or a user-space address, so a caller that looks inside faults
// at once instead of reading another handle.
constexpr uint64_t kTokenMark = uint64_t{1} << 63;
constexpr uint32_t kGenerations = uint32_t{1} << 31;

struct Slot {
    StoreHandle fields{};
    uint64_t serial = 0;  // the serial of the object the handle was made for
    uint32_t generation = 0;
    bool live = false;
};

struct HandleTable {
    std::mutex mutex;
    std::deque<Slot> slots;  // a deque keeps every slot where it is as the table grows
    std::vector<uint32_t> freeSlots;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

StoreHandle* TokenOf(uint32_t index, uint32_t generation) {
    return reinterpret_cast<StoreHandle*>(kTokenMark | uint64_t{generation} << 32 | index);
}

// The live slot the token names, or null; the caller holds the table's lock.
Slot* SlotOf(HandleTable& table, const StoreHandle* h) {
    const auto token = reinterpret_cast<uintptr_t>(h);
    if ((token & kTokenMark) == 0) return nullptr;
    const auto index = static_cast<uint32_t>(token);
    const auto generation = static_cast<uint32_t>((token & ~kTokenMark) >> 32);
    if (index >= table.slots.size()) return nullptr;
    Slot& slot = table.slots[index];
    return slot.live && slot.generation == generation ? &slot : nullptr;
}

}  // namespace

StoreHandle* MakeHandle(uint32_t kind, uint32_t owner, uint32_t id, StoreObject* object, void* position) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    uint32_t index = 0;
    try {
        if (!table.freeSlots.empty()) {
            index = table.freeSlots.back();
            table.freeSlots.pop_back();
        } else {
            if (table.slots.size() >= UINT32_MAX) return nullptr;
            index = static_cast<uint32_t>(table.slots.size());
            table.slots.emplace_back();
        }
    } catch (...) {
        return nullptr;
    }
    Slot& slot = table.slots[index];
    slot.fields = StoreHandle{kind, owner, position, id, object};
    slot.serial = object ? object->serial() : 0;
    slot.live = true;
    return TokenOf(index, slot.generation);
}

StoreHandle* MakeAccountHandle(StoreAccount* account, const CMailStore& store) {
    if (!account) return nullptr;
    return MakeHandle(kAccountKind, 0, static_cast<uint32_t>(account->id), account, store.AccountAfter(account));
}

StoreHandle* MakeFolderHandle(CMailFolder* folder, const StoreAccount& account) {
    if (!folder) return nullptr;
    void* next = nullptr;
    for (size_t i = 0; i < account.folders.size(); ++i)
        if (account.folders[i].get() == folder && i + 1 < account.folders.size()) next = account.folders[i + 1].get();
    return MakeHandle(kFolderKind, static_cast<uint32_t>(account.id), static_cast<uint32_t>(folder->slot), folder,
                      next);
}

bool FreeHandle(StoreHandle** handle) {
    if (!handle || !*handle) return false;
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    Slot* slot = SlotOf(table, *handle);
    if (!slot) return false;
    slot->live = false;
    slot->fields = StoreHandle{};
    // The next generation is one no copy of this handle carries. A slot that has used
    // every generation is retired, so that no old token can ever name it again.
    if (++slot->generation < kGenerations) {
        try {
            table.freeSlots.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(*handle)));
        } catch (...) {
            // The slot stays unused; the handle is freed all the same.
        }
    }
    *handle = nullptr;
    return true;
}

StoreHandle* HandleFields(const StoreHandle* h) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    Slot* slot = SlotOf(table, h);
    return slot ? &slot->fields : nullptr;
}

namespace {

// True when the handle is live and of that kind and, but for pending actions, its object
// is still the one it was made for; *object is then the handle's object.
bool Check(const StoreHandle* h, uint32_t kind, StoreObject** object) {
    uint64_t serial = 0;
    {
        HandleTable& table = Table();
        std::lock_guard lock(table.mutex);
        const Slot* slot = SlotOf(table, h);
        if (!slot || slot->fields.kind != kind) return false;
        *object = static_cast<StoreObject*>(slot->fields.object);
        serial = slot->serial;
    }
    if (kind == kActionKind) return true;
    // Only the object the handle was made for, still held by the store, is asked its kind.
    return StoreObject::Alive(*object, serial) && (*object)->Kind() == kind;
}

}  // namespace

bool ValidHandle(const StoreHandle* h, uint32_t kind) {
    StoreObject* object = nullptr;
    return Check(h, kind, &object);
}

StoreAccount* AccountOf(const StoreHandle* h) {
    StoreObject* object = nullptr;
    return Check(h, kAccountKind, &object) ? static_cast<StoreAccount*>(object) : nullptr;
}

CMailFolder* FolderOf(const StoreHandle* h) {
    StoreObject* object = nullptr;
    return Check(h, kFolderKind, &object) ? static_cast<CMailFolder*>(object) : nullptr;
}

CMailMessage* MessageOf(const StoreHandle* h) {
    StoreObject* object = nullptr;
    return Check(h, kMessageKind, &object) ? static_cast<CMailMessage*>(object) : nullptr;
}

CMailAttachment* AttachmentOf(const StoreHandle* h) {
    StoreObject* object = nullptr;
    return Check(h, kAttachmentKind, &object) ? static_cast<CMailAttachment*>(object) : nullptr;
}

}  // namespace tess::datamgr
