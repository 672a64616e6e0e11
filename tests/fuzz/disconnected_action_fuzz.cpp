// Handheld disconnected-action records of any shape: parsed within their bytes.
#include <cstddef>
#include <cstdint>

#include "common/action_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tess::ActionRecord a;
    if (tess::ParseActionRecord(data, size, a) && a.arg1.size() + a.arg2.size() + 8 > size) __builtin_trap();
    return 0;
}
