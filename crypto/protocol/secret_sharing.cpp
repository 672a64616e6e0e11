// Shamir's 2-of-3 sharing of a private key: the line y = a x + d over the
// curve's field, three points of it as shares.
#include <cstring>

#include "crypto/curve/internal.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/protocol/key_pairs.h"
#include "crypto/curve/point_octets.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

constexpr uint32_t kMaxDraws = 3;

bool isPrimeField(const ksGlobalData* gd) { return layoutOf(gd)->fieldType == kFieldTypePrime; }

uint32_t randomElement(ksGlobalData* gd, ksFieldElement* e) {
    uint8_t r[32];
    WipeOnExit wipeR(r);
    if (tess::crypto::rngBytes(gd, sizeof r, r) != 0) return 1;
    return fieldFromOctets(gd, sizeof r, r, e);
}

// A fresh x different from the ones before it (at most three draws).
uint32_t distinctX(ksGlobalData* gd, const ksFieldElement* before, uint32_t count, ksFieldElement* x) {
    for (uint32_t draw = 0; draw < kMaxDraws; ++draw) {
        if (randomElement(gd, x) != 0) return 1;
        bool fresh = true;
        for (uint32_t i = 0; i < count && fresh; ++i) {
            uint32_t equal = 1;
            if (tess::crypto::fieldEqual(gd, x, &before[i], &equal) != 0) return 1;
            fresh = equal != 0;
        }
        if (fresh) return 0;
    }
    return 1;
}

// The three points of y = a x + d; refuses a d that is not a field element
// (on prime fields d may reach p), which the line could not carry.
uint32_t shadowSplit(ksGlobalData* gd, const ksIntReduced& d, ksFieldElement x[3], ksFieldElement y[3]) {
    ksFieldElement a{};
    ksFieldElement s{};
    WipeOnExit wipeA(a);
    WipeOnExit wipeS(s);
    uint8_t octets[32];
    uint8_t back[32];
    WipeOnExit wipeOctets(octets);
    WipeOnExit wipeBack(back);
    if (randomElement(gd, &a) != 0) return 1;
    for (uint32_t i = 0; i < 3; ++i) {
        if (distinctX(gd, x, i, &x[i]) != 0) return 1;
    }
    if (tess::crypto::mp::mpToOctets(asInt(&d), sizeof octets, octets) != 0 ||
        fieldFromOctets(gd, sizeof octets, octets, &s) != 0 || fieldToOctets(gd, &s, sizeof back, back) != 0 ||
        std::memcmp(octets, back, sizeof back) != 0)
        return 1;
    for (uint32_t i = 0; i < 3; ++i) {
        ksFieldElement ax{};
        if (fieldMultiply(gd, &a, &x[i], &ax) != 0 || fieldAdd(gd, &ax, &s, &y[i]) != 0) return 1;
        wipeObject(ax);
    }
    return 0;
}

uint32_t difference(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    return isPrimeField(gd) ? fieldSubtract(gd, a, b, out) : fieldAdd(gd, a, b, out);
}

// The line through the two points, at x = 0.
uint32_t shadowJoin(ksGlobalData* gd, const ksFieldElement x[2], const ksFieldElement y[2], ksIntGeneral* s) {
    uint32_t equal = 1;
    if (tess::crypto::fieldEqual(gd, &x[0], &x[1], &equal) != 0 || equal == 0) return 1;
    ksFieldElement dx{}, dy{}, t{}, slope{}, ax{}, value{};
    WipeOnExit wipeSlope(slope);
    WipeOnExit wipeAx(ax);
    WipeOnExit wipeValue(value);
    if (difference(gd, &x[1], &x[0], &dx) != 0) return 1;
    if (fieldInvert(gd, &dx, &t) != 0) return 1;
    if (difference(gd, &y[1], &y[0], &dy) != 0) return 1;
    if (fieldMultiply(gd, &dy, &t, &slope) != 0) return 1;
    if (fieldMultiply(gd, &slope, &x[0], &ax) != 0) return 1;
    if (difference(gd, &y[0], &ax, &value) != 0) return 1;
    uint8_t octets[32];
    WipeOnExit wipeOctets(octets);
    if (fieldToOctets(gd, &value, sizeof octets, octets) != 0) return 1;
    return tess::crypto::mp::mpFromOctets(sizeof octets, octets, asInt(s)) != 0 ? 1 : 0;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_shadowGenerate(ksGlobalData* gd, ksPublicKey* publicKey, ksShare shares[3]) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (publicKey == nullptr) return kNoPublicKey;
    if (shares == nullptr) return kNoOutput;
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    ksPoint q{};
    ksFieldElement x[3] = {};
    ksFieldElement y[3] = {};
    WipeOnExit wipeY(y);
    if (generateKeyPair(gd, &d, &q) != 0 || shadowSplit(gd, d, x, y) != 0) return kFailed;
    wipeObject(d);
    const uint32_t L = curveSizes(gd).L;
    for (uint32_t i = 0; i < 3; ++i) {
        if (fieldToOctets(gd, &x[i], L, shares[i].share) != 0 || fieldToOctets(gd, &y[i], L, shares[i].share + L) != 0)
            return kFailed;
        shares[i].length = 2 * L;
    }
    uint32_t length = 0;
    if (tess::crypto::pointToOctets(gd, &q, sizeof publicKey->key, &length, publicKey->key) != 0) return kFailed;
    publicKey->length = length;
    return kOk;
}

ksErrorCode ks_shadowCombine(ksGlobalData* gd, const ksShare shares[2], ksPrivateKey* privateKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (privateKey == nullptr) return kNoPrivateKey;
    if (shares == nullptr) return kNoInput;
    const uint32_t L = curveSizes(gd).L;
    ksFieldElement x[2] = {};
    ksFieldElement y[2] = {};
    WipeOnExit wipeY(y);
    for (uint32_t i = 0; i < 2; ++i) {
        if (fieldFromOctets(gd, L, shares[i].share, &x[i]) != 0 ||
            fieldFromOctets(gd, L, shares[i].share + L, &y[i]) != 0)
            return kFailed;
    }
    ksIntGeneral s{};
    WipeOnExit wipeS(s);
    if (shadowJoin(gd, x, y, &s) != 0) return kFailed;
    if (tess::crypto::mp::mpToOctets(asInt(&s), L, privateKey->key) != 0) return kFailed;
    privateKey->length = L;
    return kOk;
}
