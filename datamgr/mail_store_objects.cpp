#include "datamgr/mail_store_objects.h"

#include <mutex>
#include <unordered_map>

namespace tess::datamgr {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<const void*, uint64_t> live;
    uint64_t next = 1;
};

Registry& Objects() {
    static Registry r;
    return r;
}

}  // namespace

StoreObject::StoreObject() {
    std::lock_guard lock(Objects().mutex);
    serial_ = Objects().next++;
    Objects().live[this] = serial_;
}

StoreObject::~StoreObject() {
    std::lock_guard lock(Objects().mutex);
    Objects().live.erase(this);
}

bool StoreObject::Alive(const void* object, uint64_t serial) {
    std::lock_guard lock(Objects().mutex);
    auto it = Objects().live.find(object);
    return it != Objects().live.end() && it->second == serial;
}

CMailFolder* StoreAccount::FolderBySlot(int slot) const {
    for (const auto& f : folders)
        if (f->slot == slot) return f.get();
    return nullptr;
}

}  // namespace tess::datamgr
