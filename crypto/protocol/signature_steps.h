// Steps both signature schemes share: the digest reduction, the integer
// forms of r and s, and the signature record.
#pragma once

#include <cstdint>
#include <cstring>

#include "crypto/mp/internal.h"
#include "crypto/protocol/key_pairs.h"

namespace tess::crypto {

inline constexpr uint32_t kDigestLength = 20;

// e from a 20-octet digest: for orders of at most 160 bits the leading
// 161 - b bits are cleared (e = H mod 2^(b-1)); else H whole.
inline uint32_t reduceDigest(const ksGlobalData* gd, const uint8_t digest[kDigestLength], ksIntGeneral* e) {
    uint8_t h[kDigestLength];
    std::memcpy(h, digest, sizeof h);
    const uint32_t b = curveSizes(gd).b;
    if (b <= 160) {
        const uint32_t clear = 161 - b;
        const uint32_t whole = clear / 8;
        std::memset(h, 0, whole < sizeof h ? whole : sizeof h);
        if (whole < sizeof h) h[whole] &= uint8_t((1u << (8 - clear % 8)) - 1);
    }
    return tess::crypto::mp::mpFromOctets(sizeof h, h, mp::asInt(e)) != 0 ? 1 : 0;
}

// A caller digest of 1..20 octets at the end of a 20-octet zero block.
inline void placeDigest(uint32_t length, const uint8_t* digest, uint8_t out[kDigestLength]) {
    std::memset(out, 0, kDigestLength);
    std::memcpy(out + kDigestLength - length, digest, length);
}

inline uint32_t writeSignature(const ksGlobalData* gd, const ksIntReduced& r, const ksIntReduced& s,
                               ksSignature* signature) {
    const uint32_t nB = curveSizes(gd).nB;
    if (nB == 0 || 2 * nB > sizeof signature->signature) return 1;
    if (tess::crypto::mp::mpToOctets(mp::asInt(&r), nB, signature->signature) != 0) return 1;
    if (tess::crypto::mp::mpToOctets(mp::asInt(&s), nB, signature->signature + nB) != 0) return 1;
    signature->length = 2 * nB;
    return 0;
}

inline uint32_t readSignature(const ksGlobalData* gd, const ksSignature* signature, ksIntGeneral* r, ksIntGeneral* s) {
    const uint32_t nB = curveSizes(gd).nB;
    if (tess::crypto::mp::mpFromOctets(nB, signature->signature, mp::asInt(r)) != 0) return 1;
    if (tess::crypto::mp::mpFromOctets(nB, signature->signature + nB, mp::asInt(s)) != 0) return 1;
    return 0;
}

// 1 <= v < n (lowZero: 0 <= v < n).
inline bool inOrderRange(const ksGlobalData* gd, const ksInt* v, bool allowZero) {
    uint32_t less = 0;
    if (mp::mpLess(v, curveOrder(gd), &less) != 0 || less != 1) return false;
    return allowZero || v->count != 0;
}

}  // namespace tess::crypto
