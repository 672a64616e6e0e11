// Key pairs inside the library: the curve's sizes, the long-term and fresh
// pair generators, key conversion and validation, and the password form of
// private keys, for the protocol modules.
#pragma once

#include <cstdint>

#include "crypto/cipher/des_internal.h"
#include "crypto/field/field_element.h"
#include "crypto/kestrel_protocols.h"
#include "crypto/mp/mp_int.h"

namespace tess::crypto {

inline constexpr uint32_t kMaxPasswordLength = 128;
inline constexpr uint32_t kMaxKeyOctets = 40;

// m, L (field-element octets), b (order bits) and nB (octets modulo n).
struct CurveSizes {
    uint32_t m;
    uint32_t L;
    uint32_t b;
    uint32_t nB;
};
CurveSizes curveSizes(const ksGlobalData* gd);
const ksInt* curveOrder(const ksGlobalData* gd);

// Long-term pair: d below 2^(b-1), d != 1, Q = d G. 0 or 1.
uint32_t generateKeyPair(ksGlobalData* gd, ksIntReduced* d, ksPoint* q);
// Per-operation pair through the engine's fresh-pair method; d comes back as
// the scalar the engine used. 0 or 1.
uint32_t generateFreshPair(ksGlobalData* gd, ksIntReduced* d, ksPoint* q);
// 2 <= k <= n - 2: 0, else kBadPrivateKey (3 when an integer step fails).
uint32_t checkPrivateKey(ksGlobalData* gd, const ksInt* k);

// A private key's octets as a scalar reduced modulo n (1 when the record is
// empty or too long).
uint32_t privateKeyScalar(const ksGlobalData* gd, const ksPrivateKey* key, ksIntReduced* d);
// 1 when a reduced scalar is 0: a signing key of 0 or n, whose signatures
// anyone could make.
uint32_t scalarIsZero(const ksIntReduced& d);
// A received public key: decoded (coordinates reduced), on the curve and not
// at infinity. 0 or 1.
uint32_t publicKeyPoint(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksPoint* q);
// x of k q, 1 when k q is infinity. On a binary curve x = 0 is the engines'
// mark of infinity; on a prime curve it is an ordinary x, so the whole point
// is computed and infinity told by the engine's own test.
uint32_t sharedPointX(ksGlobalData* gd, const ksInt* k, const ksPoint* q, ksFieldElement* x);
// 0 when n q is infinity (always on curves without a cofactor), else 1.
uint32_t checkSubgroup(ksGlobalData* gd, const ksPoint* q);
// The x-coordinate of a point as an integer (field octets read big-endian).
uint32_t fieldElementToInt(ksGlobalData* gd, const ksFieldElement* x, ksIntGeneral* out);

uint32_t passwordToDesSetup(uint32_t length, const uint8_t* password, DesSetup* setup);
uint32_t protectPrivateKey(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password, const ksPrivateKey* key,
                           ksProtectedKey* out);
uint32_t unprotectPrivateKey(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                             const ksProtectedKey* in, ksPrivateKey* out);

// Test seam: when set, the fresh pair takes its scalar from the source (and
// multiplies the base point plainly), so that signatures with a published
// nonce can be reproduced. Never set in production.
using FreshScalarSource = uint32_t (*)(void* arg, ksIntReduced* k);
void setFreshScalarSource(FreshScalarSource source, void* arg);

}  // namespace tess::crypto
