// Sealed text as it comes back from the handheld: any bytes.
#include <cstdint>

#include "platform/core/module.h"
#include "platform/hxaes/hxaes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = AESInitialize(1) == 0 && AESSetKey("fuzzing key") == 0;
    if (!ready) return 0;
    unsigned char* out = nullptr;
    unsigned int length = 0;
    if (AESDecrypt(data, static_cast<unsigned>(size), 0, &out, &length) == 0) GlobalFree(out);
    return 0;
}
