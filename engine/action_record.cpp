// The handheld's disconnected-action record: opcode and UID big-endian, then two
// NUL-terminated texts, every byte read within the record.
#include <cstring>

#include "common/byte_io.h"
#include "engine/host_connection.h"

namespace tess::engine {

bool ParseDisconnectedAction(const HandheldRecord& r, DisconnectedAction& a) {
    tess::ByteReader in(r.data.data(), r.data.size());
    uint32_t op = 0, uid = 0;
    if (!in.u32be(op) || !in.u32be(uid)) return false;
    a.opcode = int32_t(op);
    a.uid = int32_t(uid);
    a.recordId = r.id;
    const char* p = reinterpret_cast<const char*>(r.data.data()) + 8;
    size_t left = r.data.size() - 8;
    const size_t n1 = strnlen(p, left);
    a.arg1.assign(p, n1);
    if (n1 < left) {
        p += n1 + 1;
        left -= n1 + 1;
        a.arg2.assign(p, strnlen(p, left));
    }
    return true;
}

}  // namespace tess::engine
