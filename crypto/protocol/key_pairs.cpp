// Key pairs, password-protected private keys and the two public-key forms.
#include "crypto/curve/internal.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/protocol/internal.h"
#include "crypto/protocol/key_pairs.h"

#include <cstring>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_record.h"
#include "crypto/curve/point_octets.h"
#include "crypto/result_codes.h"
#include "crypto/hash/sha1_internal.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

FreshScalarSource gFreshSource = nullptr;
void* gFreshArg = nullptr;

bool badPasswordLength(uint32_t length) { return length == 0 || length > kMaxPasswordLength; }

// The shared steps of both generators; plain selects the long-term multiplication.
uint32_t generatePair(ksGlobalData* gd, uint32_t plain, ksIntReduced* d, ksPoint* q) {
    wipeObject(*d);
    wipeObject(*q);
    const uint32_t b = layoutOf(gd)->orderBits;
    if (b < 2) return 1;
    ksIntReduced one{};
    mp::mpSetWord(asInt(&one), 1);
    bool drawn = false;
    for (int attempt = 0; attempt < 2 && !drawn; ++attempt) {
        uint8_t random[32];
        WipeOnExit wipeRandom(random);
        if (tess::crypto::rngBytes(gd, sizeof random, random) != 0) return 1;
        uint32_t length = 0;
        tess::crypto::truncateToBits(sizeof random, b - 1, &length, random);
        if (length == 0 || length > 2 * mp::kReducedDigits ||
            tess::crypto::mp::mpFromOctets(length, random, asInt(d)) != 0) {
            wipeObject(*d);
            return 1;
        }
        uint32_t isOne = 0;
        mp::mpEqual(asInt(d), asInt(&one), &isOne);
        drawn = isOne != 1;
    }
    if (!drawn) {
        wipeObject(*d);
        return 1;
    }
    if (tess::crypto::curveBaseMultiply(gd, plain, d, q) != 0) {
        wipeObject(*d);
        return 1;
    }
    q->table = nullptr;
    return 0;
}

// A private key of L octets from a scalar.
uint32_t writePrivateKey(const ksGlobalData* gd, const ksIntReduced& d, ksPrivateKey* key) {
    const uint32_t L = curveSizes(gd).L;
    if (L == 0 || L > kMaxKeyOctets || tess::crypto::mp::mpToOctets(asInt(&d), L, key->key) != 0) return 1;
    key->length = L;
    return 0;
}

uint32_t encodePublicKey(ksGlobalData* gd, const ksPoint& q, ksPublicKey* key) {
    uint32_t length = 0;
    if (tess::crypto::pointToOctets(gd, &q, sizeof key->key, &length, key->key) != 0) return 1;
    key->length = length;
    return 0;
}

// A coordinate of L octets; 1 when it is not a field element (its value at or
// above the field's size), which a round trip through the field shows.
uint32_t readCoordinate(ksGlobalData* gd, uint32_t L, const uint8_t* octets, ksFieldElement* e) {
    uint8_t back[32];
    if (L > sizeof back || fieldFromOctets(gd, L, octets, e) != 0 || fieldToOctets(gd, e, L, back) != 0) return 1;
    return std::memcmp(back, octets, L) != 0 ? 1 : 0;
}

bool orderAnnihilates(ksGlobalData* gd, const ksPoint& q);

// On the curve, not at infinity, and (with a cofactor) of the base point's order.
uint32_t validatePoint(ksGlobalData* gd, const ksPoint& q) {
    GlobalDataLayout* l = layoutOf(gd);
    uint32_t onCurve = 0;
    uint32_t notInfinity = 0;
    if (tess::crypto::curvePointOnCurve(gd, &q, &l->a, &l->b, &onCurve) != 0 || onCurve != 1) return 1;
    if (ecIsInfinity(gd, &q, &notInfinity) != 0 || notInfinity == 0) return 1;
    return checkSubgroup(gd, &q);
}

// n Q = O, tested as (n - 1) Q = -Q by plain affine double-and-add: the
// engines' multiplications may reduce the scalar modulo n first (assuming
// what is tested), and on binary curves the point of order 2 has x = 0, the
// library's mark of infinity.
bool orderAnnihilates(ksGlobalData* gd, const ksPoint& q) {
    const ksCurveEngine* engine = curveEngineOf(gd);
    ksIntReduced one{};
    ksIntGeneral nMinus1{};
    mp::mpSetWord(asInt(&one), 1);
    uint32_t bits = 0;
    if (engine == nullptr || mp::mpSubtract(curveOrder(gd), asInt(&one), asInt(&nMinus1)) != 0 ||
        mp::mpBitLength(asInt(&nMinus1), &bits) != 0 || bits < 2)
        return false;
    ksPoint r = q;  // the top bit
    for (uint32_t i = bits - 1; i-- > 0;) {
        ksPoint t{};
        uint32_t bit = 0;
        if (engine->pointDouble(gd, &r, &t) != 0 || mp::mpTestBit(asInt(&nMinus1), i, &bit) != 0) return false;
        r = t;
        if (bit == 1) {
            if (engine->pointAdd(gd, &r, &q, &t) != 0) return false;
            r = t;
        }
    }
    ksFieldElement minusY{};
    const bool prime = layoutOf(gd)->fieldType == kFieldTypePrime;
    if ((prime ? fieldNegate(gd, &q.y, &minusY) : fieldAdd(gd, &q.x, &q.y, &minusY)) != 0) return false;
    uint32_t sameX = 1;
    uint32_t sameY = 1;
    if (fieldEqual(gd, &r.x, &q.x, &sameX) != 0 || fieldEqual(gd, &r.y, &minusY, &sameY) != 0) return false;
    return sameX == 0 && sameY == 0;
}

// Sets up DESX-CBC from the password; the set-up record is wiped once used.
uint32_t passwordContext(uint32_t passwordLength, const uint8_t* password, DesContextBody& body) {
    DesSetup setup{};
    WipeOnExit wipeSetup(setup);
    if (passwordToDesSetup(passwordLength, password, &setup) != 0) return 1;
    return desSetupContext(setup, body) != 0 ? 1 : 0;
}

}  // namespace

CurveSizes curveSizes(const ksGlobalData* gd) {
    const GlobalDataLayout* l = layoutOf(gd);
    const uint32_t b = l->orderBits;
    return CurveSizes{l->fieldBits, fieldOctets(l->fieldBits), b, b == 0 ? 0 : (b - 1) / 8 + 1};
}

const ksInt* curveOrder(const ksGlobalData* gd) { return asInt(&layoutOf(gd)->order); }

uint32_t generateKeyPair(ksGlobalData* gd, ksIntReduced* d, ksPoint* q) { return generatePair(gd, 1, d, q); }

uint32_t generateFreshPair(ksGlobalData* gd, ksIntReduced* d, ksPoint* q) {
    if (gFreshSource != nullptr) {
        wipeObject(*d);
        wipeObject(*q);
        if (gFreshSource(gFreshArg, d) != 0 || tess::crypto::curveBaseMultiply(gd, 1, d, q) != 0) return 1;
        q->table = nullptr;
        return 0;
    }
    return generatePair(gd, 0, d, q);
}

void setFreshScalarSource(FreshScalarSource source, void* arg) {
    gFreshSource = source;
    gFreshArg = arg;
}

uint32_t checkPrivateKey(ksGlobalData* gd, const ksInt* k) {
    ksIntReduced two{};
    mp::mpSetWord(asInt(&two), 2);
    uint32_t flag = 0;
    if (mp::mpLessOrEqual(asInt(&two), k, &flag) != 0) return kFailed;
    if (flag != 1) return kBadPrivateKey;
    ksIntGeneral nMinus2{};
    if (mp::mpSubtract(curveOrder(gd), asInt(&two), asInt(&nMinus2)) != 0) return kFailed;
    if (mp::mpLessOrEqual(k, asInt(&nMinus2), &flag) != 0) return kFailed;
    return flag == 1 ? kOk : kBadPrivateKey;
}

uint32_t privateKeyScalar(const ksGlobalData* gd, const ksPrivateKey* key, ksIntReduced* d) {
    if (key->length == 0 || key->length > kMaxKeyOctets) return 1;
    ksIntGeneral wide{};
    WipeOnExit wipeWide(wide);
    if (tess::crypto::mp::mpFromOctets(key->length, key->key, asInt(&wide)) != 0) return 1;
    // Keys longer than the order are reduced before any multiplication.
    return mp::mpMod(asInt(&wide), curveOrder(gd), d) != 0 ? 1 : 0;
}

uint32_t scalarIsZero(const ksIntReduced& d) {
    uint32_t bits = 0;
    return mp::mpBitLength(asInt(&d), &bits) != 0 || bits == 0 ? 1 : 0;
}

uint32_t publicKeyPoint(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksPoint* q) {
    if (tess::crypto::pointFromOctets(gd, length, octets, q) != 0) return 1;
    GlobalDataLayout* l = layoutOf(gd);
    uint32_t onCurve = 0;
    if (tess::crypto::curvePointOnCurve(gd, q, &l->a, &l->b, &onCurve) != 0 || onCurve != 1) return 1;
    // Infinity by the engine's own mark: on a prime curve x = 0 is an ordinary point.
    uint32_t notInfinity = 0;
    if (ecIsInfinity(gd, q, &notInfinity) != 0 || notInfinity == 0) return 1;
    return 0;
}

namespace {

// On a binary curve whose cofactor is 2^k (n odd), the base point's subgroup
// is 2^k E, and P = (x, y) != O is a double exactly when lambda^2 + lambda =
// x + a has a root (the slope of the tangent at a half). A half then follows:
// x_R^2 = y + (lambda + 1) x, y_R = x_R (lambda + x_R). The last test needs
// only the trace of x_R + a, which is that of x_R^2 + a^2, so no root is
// taken for it: for k = 1 or 2 this costs k quadratic solutions, far below a
// multiplication by n.
uint32_t binaryHalvable(ksGlobalData* gd, const ksPoint& q, uint32_t k, bool* inSubgroup) {
    const GlobalDataLayout* l = layoutOf(gd);
    ksPoint p = q;
    ksFieldElement a = l->a;
    *inSubgroup = false;
    for (uint32_t step = 0; step < k; ++step) {
        ksFieldElement beta{}, lambda{}, t{};
        uint32_t noRoot = 1;
        if (fieldAdd(gd, &p.x, &a, &beta) != 0) return 1;
        if (fieldSolveQuadratic(gd, &beta, &noRoot, &lambda) != 0) return 1;
        if (noRoot != 0) return 0;
        if (step + 1 == k) break;
        ksFieldElement one{};
        if (fieldSetOne(gd, &one) != 0) return 1;
        if (fieldAdd(gd, &lambda, &one, &t) != 0) return 1;
        if (fieldMultiply(gd, &t, &p.x, &t) != 0) return 1;
        if (fieldAdd(gd, &t, &p.y, &t) != 0) return 1;  // x_R^2
        if (step + 2 == k) {
            if (fieldSquare(gd, &a, &a) != 0) return 1;
        } else {
            for (uint32_t i = 1; i < l->fieldBits; ++i)  // sqrt(t) = t^(2^(m-1))
                if (fieldSquare(gd, &t, &t) != 0) return 1;
            if (fieldAdd(gd, &lambda, &t, &p.y) != 0) return 1;
            if (fieldMultiply(gd, &p.y, &t, &p.y) != 0) return 1;
        }
        p.x = t;
    }
    *inSubgroup = true;
    return 0;
}

}  // namespace

uint32_t sharedPointX(ksGlobalData* gd, const ksInt* k, const ksPoint* q, ksFieldElement* x) {
    if (layoutOf(gd)->fieldType != kFieldTypePrime) {
        uint32_t zero = 1;
        if (ecMultiplyX(gd, k, q, x) != 0 || fieldIsZero(gd, x, &zero) != 0) return 1;
        return zero == 0 ? 1 : 0;
    }
    ksPoint r{};
    WipeOnExit wipeR(r);
    uint32_t notInfinity = 0;
    if (curvePointMultiply(gd, k, q, &r) != 0 || ecIsInfinity(gd, &r, &notInfinity) != 0 || notInfinity == 0) return 1;
    *x = r.x;
    return 0;
}

uint32_t checkSubgroup(ksGlobalData* gd, const ksPoint* q) {
    const GlobalDataLayout* l = layoutOf(gd);
    const ksIntReduced& h = l->cofactor;
    if (h.count == 1 && h.digits[0] == 1) return 0;
    const uint32_t h0 = h.digits[0];
    if (l->fieldType != kFieldTypePrime && h.count == 1 && h0 != 0 && (h0 & (h0 - 1)) == 0) {
        uint32_t k = 0;
        while ((1u << k) != h0) ++k;
        bool inSubgroup = false;
        return binaryHalvable(gd, *q, k, &inSubgroup) != 0 || !inSubgroup ? 1 : 0;
    }
    return orderAnnihilates(gd, *q) ? 0 : 1;
}

uint32_t fieldElementToInt(ksGlobalData* gd, const ksFieldElement* x, ksIntGeneral* out) {
    uint8_t octets[32];
    if (fieldToOctets(gd, x, sizeof octets, octets) != 0) return 1;
    return tess::crypto::mp::mpFromOctets(sizeof octets, octets, asInt(out)) != 0 ? 1 : 0;
}

uint32_t passwordToDesSetup(uint32_t length, const uint8_t* password, DesSetup* setup) {
    if (badPasswordLength(length) || password == nullptr) return 1;
    uint8_t block[kMaxPasswordLength];
    uint8_t d1[20];
    uint8_t d2[20];
    WipeOnExit wipeBlock(block);
    WipeOnExit wipeD1(d1);
    WipeOnExit wipeD2(d2);
    std::memset(block, 0xAA, sizeof block);
    std::memcpy(block, password, length);
    sha1Digest(block, sizeof block, d1);
    std::memset(block, 0x55, sizeof block);
    std::memcpy(block, password, length);
    sha1Digest(block, sizeof block, d2);
    setup->mode = kDesCbc;
    setup->structure = kDesX;
    setup->parityCheck = 0;
    setup->weakKeyCheck = 0;
    std::memcpy(setup->slots[0], d1 + 8, 8);
    std::memcpy(setup->slots[1], d1, 8);
    std::memcpy(setup->slots[2], d2, 8);
    std::memcpy(setup->slots[3], d2 + 8, 8);
    return 0;
}

uint32_t protectPrivateKey(ksGlobalData*, uint32_t passwordLength, const uint8_t* password, const ksPrivateKey* key,
                           ksProtectedKey* out) {
    const uint32_t k = key->length;
    // The length octet and the key must fit the 40-octet record.
    if (k == 0 || k + 1 > sizeof out->key) return 1;
    DesContextBody body{};
    WipeOnExit wipeBody(body);
    if (passwordContext(passwordLength, password, body) != 0) return 1;
    uint8_t plain[sizeof out->key] = {};
    WipeOnExit wipePlain(plain);
    plain[0] = uint8_t(k);
    std::memcpy(plain + 1, key->key, k);
    const uint32_t blocks = (k + 1 + 7) / 8;
    std::memset(out->key, 0, sizeof out->key);
    desEncryptBlocks(body, blocks, plain, out->key);
    out->length = 8 * blocks;
    return 0;
}

uint32_t unprotectPrivateKey(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                             const ksProtectedKey* in, ksPrivateKey* out) {
    wipeObject(*out);
    // Whole blocks only, and never beyond the record.
    if (in->length < 8 || in->length % 8 != 0 || in->length > sizeof in->key) return 1;
    DesContextBody body{};
    WipeOnExit wipeBody(body);
    if (passwordContext(passwordLength, password, body) != 0) return 1;
    uint8_t plain[sizeof in->key] = {};
    WipeOnExit wipePlain(plain);
    desDecryptBlocks(body, in->length / 8, in->key, plain);
    const uint32_t k = plain[0];
    out->length = k;
    if (k == 0 || k > curveSizes(gd).L || k + 1 > in->length) return 1;
    std::memcpy(out->key, plain + 1, k);
    return 0;
}

}  // namespace tess::crypto

using namespace tess::crypto;

uint32_t tess::crypto::truncateToBits(uint32_t length, uint32_t bits, uint32_t* newLength, uint8_t* octets) {
    const uint32_t q = bits / 8;
    const uint32_t r = bits % 8;
    if (q >= length) {
        *newLength = length;
        return 0;
    }
    if (r == 0) {
        std::memset(octets + q, 0, length - q);
        *newLength = q;
        return 0;
    }
    std::memset(octets + q + 1, 0, length - q - 1);
    for (uint32_t i = q + 1; i-- > 0;) {
        const uint8_t before = i > 0 ? octets[i - 1] : 0;
        octets[i] = uint8_t((octets[i] >> (8 - r)) | (before << r));
    }
    *newLength = q + 1;
    return 0;
}

uint32_t a2836(uint32_t length, uint32_t bits, uint32_t* newLength, uint8_t* octets) {
    return tess::crypto::truncateToBits(length, bits, newLength, octets);
}

ksErrorCode ks_genKeyPair(ksGlobalData* gd, ksPrivateKey* privateKey, ksPublicKey* publicKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (privateKey == nullptr) return kNoPrivateKey;
    if (publicKey == nullptr) return kNoPublicKey;
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    ksPoint q{};
    if (generateKeyPair(gd, &d, &q) != 0) return kFailed;
    if (writePrivateKey(gd, d, privateKey) != 0) return kFailed;
    wipeObject(d);
    return encodePublicKey(gd, q, publicKey) != 0 ? kFailed : kOk;
}

ksErrorCode ks_genPwdKeyPair(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                             ksProtectedKey* protectedKey, ksPublicKey* publicKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (badPasswordLength(passwordLength)) return kBadPasswordLength;
    if (password == nullptr) return kNoPassword;
    if (protectedKey == nullptr) return kNoProtectedKey;
    if (publicKey == nullptr) return kNoPublicKey;
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    ksPoint q{};
    if (generateKeyPair(gd, &d, &q) != 0) return kFailed;
    if (encodePublicKey(gd, q, publicKey) != 0) return kFailed;
    if (writePrivateKey(gd, d, &key) != 0) return kFailed;
    wipeObject(d);
    return protectPrivateKey(gd, passwordLength, password, &key, protectedKey) != 0 ? kFailed : kOk;
}

ksErrorCode ks_changePwdKey(ksGlobalData* gd, uint32_t oldLength, const uint8_t* oldPassword, uint32_t newLength,
                            const uint8_t* newPassword, ksProtectedKey* protectedKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (badPasswordLength(oldLength)) return kBadPasswordLength;
    if (oldPassword == nullptr) return kNoPassword;
    if (protectedKey == nullptr) return kNoProtectedKey;
    if (protectedKey->length == 0 || protectedKey->length > sizeof protectedKey->key) return kBadProtectedKey;
    if (badPasswordLength(newLength)) return kBadNewPasswordLength;
    if (newPassword == nullptr) return kNoNewPassword;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, oldLength, oldPassword, protectedKey, &key) != 0) return kFailed;
    return protectPrivateKey(gd, newLength, newPassword, &key, protectedKey) != 0 ? kFailed : kOk;
}

ksErrorCode ks_old2newPublicKey(ksGlobalData* gd, const ksPublicKey* oldKey, ksPublicKey* newKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (oldKey == nullptr) return kNoOldStyleKey;
    if (oldKey->length == 0) return kBadOldStyleKey;
    if (newKey == nullptr) return kNoNewStyleKey;
    const uint32_t L = curveSizes(gd).L;
    if (oldKey->length != 2 * L) return kBadOldStyleKey;
    // x || y read directly (never as another octet form); the key must be a
    // point of the base point's group.
    ksPoint q{};
    if (readCoordinate(gd, L, oldKey->key, &q.x) != 0) return kFailed;
    if (readCoordinate(gd, L, oldKey->key + L, &q.y) != 0) return kFailed;
    if (validatePoint(gd, q) != 0) return kFailed;
    return encodePublicKey(gd, q, newKey) != 0 ? kFailed : kOk;
}

ksErrorCode ks_new2oldPublicKey(ksGlobalData* gd, const ksPublicKey* newKey, ksPublicKey* oldKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (oldKey == nullptr) return kNoOldStyleKey;
    if (newKey == nullptr) return kNoNewStyleKey;
    if (newKey->length == 0) return kBadNewStyleKey;
    ksPoint q{};
    uint8_t octets[65];
    uint32_t length = 0;
    if (newKey->length > sizeof newKey->key || tess::crypto::pointFromOctets(gd, newKey->length, newKey->key, &q) != 0)
        return kFailed;
    if (pointToOctetsUncompressed(gd, &q, &length, octets) != 0 || length < 1) return kFailed;
    std::memcpy(oldKey->key, octets + 1, length - 1);
    oldKey->length = length - 1;
    return kOk;
}
