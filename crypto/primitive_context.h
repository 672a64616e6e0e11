#pragma once
// The magic-word rules shared by the primitive contexts (hashes, DES, ARC4).
#include <cstdint>
#include <cstring>

#include "crypto/kestrel.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {

inline uint32_t loadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void storeLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline uint32_t loadBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void storeBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// A context's internal layout seen through its public record.
template <typename Layout, typename Public>
inline Layout* layoutAs(Public* ctx) {
    static_assert(sizeof(Layout) == sizeof(Public), "context layout must match its record");
    return reinterpret_cast<Layout*>(ctx);
}

// 5 for no context; a context without the magic word is zeroed whole and 10.
template <typename Public>
inline ksErrorCode checkPrimitive(Public* ctx) {
    if (ctx == nullptr) return kNoContext;
    uint32_t magic;
    std::memcpy(&magic, ctx, sizeof magic);
    if (magic != KS_MAGIC) {
        wipeObject(*ctx);
        return kContextNotInitialized;
    }
    return kOk;
}

template <typename Public>
inline ksErrorCode failAndWipe(Public* ctx, ksErrorCode code) {
    wipeObject(*ctx);
    return code;
}

}  // namespace tess::crypto
