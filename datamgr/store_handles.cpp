#include "datamgr/store_handles.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace tess::datamgr {
namespace {

struct LiveHandles {
    std::mutex mutex;
    std::unordered_map<const StoreHandle*, uint64_t> set;  // handle -> its object's serial
};

LiveHandles& Live() {
    static LiveHandles live;
    return live;
}

// The serial of the object the handle was made for; false when the handle is not live.
bool IsLive(const StoreHandle* h, uint64_t* serial) {
    std::lock_guard lock(Live().mutex);
    auto it = Live().set.find(h);
    if (it == Live().set.end()) return false;
    *serial = it->second;
    return true;
}

}  // namespace

StoreHandle* MakeHandle(uint32_t kind, uint32_t owner, uint32_t id, StoreObject* object, void* position) {
    auto* h = static_cast<StoreHandle*>(std::calloc(1, sizeof(StoreHandle)));
    if (!h) return nullptr;
    h->kind = kind;
    h->owner = owner;
    h->id = id;
    h->object = object;
    h->position = position;
    std::lock_guard lock(Live().mutex);
    try {
        Live().set.emplace(h, object ? object->serial() : 0);
    } catch (...) {
        std::free(h);
        return nullptr;
    }
    return h;
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
    return MakeHandle(kFolderKind, static_cast<uint32_t>(account.id), static_cast<uint32_t>(folder->slot), folder, next);
}

bool FreeHandle(StoreHandle** handle) {
    if (!handle || !*handle) return false;
    {
        std::lock_guard lock(Live().mutex);
        if (Live().set.erase(*handle) == 0) return false;
    }
    std::free(*handle);
    *handle = nullptr;
    return true;
}

bool ValidHandle(const StoreHandle* h, uint32_t kind) {
    uint64_t serial = 0;
    if (!h || !IsLive(h, &serial) || h->kind != kind) return false;
    if (kind == kActionKind) return true;
    auto* object = static_cast<StoreObject*>(h->object);
    // Only the object the handle was made for, still held by the store, is asked its kind.
    return StoreObject::Alive(object, serial) && object->Kind() == kind;
}

StoreAccount* AccountOf(const StoreHandle* h) {
    return ValidHandle(h, kAccountKind) ? static_cast<StoreAccount*>(static_cast<StoreObject*>(h->object)) : nullptr;
}

CMailFolder* FolderOf(const StoreHandle* h) {
    return ValidHandle(h, kFolderKind) ? static_cast<CMailFolder*>(static_cast<StoreObject*>(h->object)) : nullptr;
}

}  // namespace tess::datamgr
