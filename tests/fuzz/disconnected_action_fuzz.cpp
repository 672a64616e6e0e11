// Handheld disconnected-action records of any shape: parsed within their bytes.
#include <cstddef>
#include <cstdint>

#include "common/handheld_records.h"
#include "engine/host_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HandheldRecord r;
    r.data.assign(data, data + size);
    tess::engine::DisconnectedAction a;
    if (tess::engine::ParseDisconnectedAction(r, a) && a.arg1.size() + a.arg2.size() + 8 > size) __builtin_trap();
    return 0;
}
