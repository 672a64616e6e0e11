// Helpers of the integer (prime-field group) protocols: OpenSSL big numbers
// owned and wiped, the records' big-endian value areas, and random numbers
// drawn from the library context's generator (never from OpenSSL's).
#pragma once

#include <openssl/bn.h>

#include <cstdint>
#include <memory>

#include "crypto/kestrel.h"
#include "platform/export.h"

namespace tess::crypto {

struct BnClear {
    void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
struct BnCtxClear {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using BnValue = std::unique_ptr<BIGNUM, BnClear>;
using BnContext = std::unique_ptr<BN_CTX, BnCtxClear>;

inline BnValue newValue() { return BnValue(BN_secure_new()); }

// A value area of `length` big-endian octets; false for an empty one.
bool readValue(const uint8_t* area, uint32_t length, BIGNUM* out);
// The minimal big-endian octets of v into an area of `capacity`; false when
// v is 0 or does not fit.
bool writeValue(const BIGNUM* v, uint8_t* area, uint32_t capacity, uint32_t* length);

// A random number of exactly `bits` bits from the context's generator
// (top: the top bit set; odd: bit 0 set).
bool randomBits(ksGlobalData* gd, int bits, bool top, bool odd, BIGNUM* out);
// A random number in [0, range), with 64 extra bits drawn so that the
// reduction is uniform to within 2^-64.
bool randomBelow(ksGlobalData* gd, const BIGNUM* range, BIGNUM* out);
// Probable-prime test.
bool isPrime(const BIGNUM* v, BN_CTX* ctx);

// Test seam for DSA: when set, the per-signature k comes from the source
// (big-endian octets), so that published signatures can be reproduced.
using NonceOctetsSource = uint32_t (*)(void* arg, uint8_t* octets, uint32_t capacity, uint32_t* length);
void setDsaNonceSource(NonceOctetsSource source, void* arg);
bool dsaNonceFromSource(BIGNUM* k);

}  // namespace tess::crypto

namespace tess::crypto {

// Domain parameters by the seed-and-counter search of FIPS 186-2 and ANSI
// X9.42 (SHA-1): q of qBits bits from the seed (a fresh random seed while q is
// not prime; the caller's seed, when given, for the first attempt only), then
// p of pBits bits with q | p - 1 from counter `start` on (only that candidate
// when start is not 0), then g = h^((p - 1)/q) for the smallest h >= 2 with
// g != 1. The seed (minimal octets) and the counter used come back.
struct FfcSeed {
    uint8_t octets[260];
    uint32_t length;
    uint32_t counter;
};
// seedOnly: fail instead of drawing a fresh seed (for validation).
bool generateFfcParameters(ksGlobalData* gd, int pBits, int qBits, const uint8_t* seed, uint32_t seedLength,
                           uint32_t start, FfcSeed* used, BIGNUM* p, BIGNUM* q, BIGNUM* g, bool seedOnly = false);
// The smallest h >= 2 whose h^((p - 1)/q) mod p is not 1, raised so.
bool subgroupGenerator(const BIGNUM* p, const BIGNUM* q, BIGNUM* g, BN_CTX* ctx);

}  // namespace tess::crypto

// The conversions other modules bind to by number: an integer to its minimal
// big-endian octets (100 for a null argument or the value 0), and octets to
// an integer, created when *value is null (200 for null arguments or no octets).
TESS_API uint32_t a1198(const BIGNUM* v, uint8_t* octets, uint32_t* length);
TESS_API uint32_t a2815(const uint8_t* octets, uint32_t length, BIGNUM** value);
