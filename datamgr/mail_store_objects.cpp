#include "datamgr/mail_store_objects.h"

#include <mutex>

#include <cstring>

#include "common/byte_io.h"
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

bool ParsePendingAction(const uint8_t* data, size_t size, PendingAction& out) {
    tess::ByteReader in(data, size);
    PendingAction a;
    if (!in.u32be(a.opcode) || !in.u32be(a.uid)) return false;
    // A text cut short ends at the record's end, as the engine reads it.
    const char* p = reinterpret_cast<const char*>(data) + in.position();
    size_t left = in.remaining();
    const size_t n1 = strnlen(p, left);
    a.arg1.assign(p, n1);
    if (n1 < left) a.arg2.assign(p + n1 + 1, strnlen(p + n1 + 1, left - n1 - 1));
    switch (a.opcode) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 10:
    case 13:
    case 15:
    case 16: break;
    default: return false;
    }
    out = std::move(a);
    return true;
}

CMailFolder* StoreAccount::FolderBySlot(int slot) const {
    for (const auto& f : folders)
        if (f->slot == slot) return f.get();
    return nullptr;
}

}  // namespace tess::datamgr
