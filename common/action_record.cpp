#include "common/action_record.h"

#include <cstring>

#include "common/byte_io.h"

namespace tess {

bool ParseActionRecord(const uint8_t* data, size_t size, ActionRecord& out) {
    ByteReader in(data, size);
    ActionRecord a;
    if (!in.u32be(a.opcode) || !in.u32be(a.uid)) return false;
    const char* p = reinterpret_cast<const char*>(in.cursor());
    const size_t left = in.remaining();
    const size_t n1 = strnlen(p, left);
    a.arg1.assign(p, n1);
    if (n1 < left) a.arg2.assign(p + n1 + 1, strnlen(p + n1 + 1, left - n1 - 1));
    out = std::move(a);
    return true;
}

bool IsHandheldActionOpcode(uint32_t opcode) {
    return opcode <= 8 || opcode == 10 || opcode == 13 || opcode == 15 || opcode == 16;
}

}  // namespace tess
