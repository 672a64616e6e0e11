// ECDSA with SHA-1: streaming, caller-digest and password-key forms.
#include <cstring>

#include "crypto/curve/curve_engine.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/mp/order_inverse.h"
#include "crypto/result_codes.h"
#include "crypto/protocol/signature_steps.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

constexpr uint32_t kContextValid = 100;
constexpr uint32_t kMaxSignAttempts = 3;

struct EcdsaLayout {
    uint32_t state;
    ksSha1State sha;
    uint32_t spare;
};
static_assert(sizeof(EcdsaLayout) == sizeof(ksEcdsaContext));

EcdsaLayout* layoutOfContext(ksEcdsaContext* ctx) { return reinterpret_cast<EcdsaLayout*>(ctx); }

void wipeContext(ksEcdsaContext* ctx) {
    if (ctx != nullptr) wipeObject(*ctx);
}

// (r, s) for the reduced digest e with the scalar d (below n).
uint32_t ecdsaSign(ksGlobalData* gd, const ksIntReduced& d, const ksIntGeneral& e, ksIntReduced* r, ksIntReduced* s) {
    const ksInt* n = curveOrder(gd);
    ksIntReduced k{};
    ksIntReduced kInverse{};
    ksIntReduced dr{};
    ksIntReduced eMod{};
    WipeOnExit wipeK(k);
    WipeOnExit wipeKInverse(kInverse);
    WipeOnExit wipeDr(dr);
    // The steps below fail only on record sizes, never on the secret values in them, so
    // returning at the first failure tells nothing about k or d.
    if (mp::mpMod(asInt(&e), n, &eMod) != 0) return 1;
    for (uint32_t attempt = 1;; ++attempt) {
        ksPoint R{};
        ksIntGeneral x{};
        if (generateFreshPair(gd, &k, &R) != 0) return 1;
        if (fieldElementToInt(gd, &R.x, &x) != 0) return 1;
        if (mp::mpMod(asInt(&x), n, r) != 0) return 1;
        if (attempt > kMaxSignAttempts) return 1;
        if (r->count == 0) continue;
        if (tess::crypto::mp::mpModMultiply(asInt(&d), asInt(r), n, &dr) != 0) return 1;
        if (tess::crypto::mp::mpModAdd(asInt(&eMod), asInt(&dr), n, s) != 0) return 1;
        // The engine's scalar may exceed n (it spans the field's bits).
        if (mp::mpMod(asInt(&k), n, &k) != 0) return 1;
        if (orderInverse(asInt(&k), n, &kInverse) != 0) return 1;
        if (tess::crypto::mp::mpModMultiply(asInt(&kInverse), asInt(s), n, s) != 0) return 1;
        if (s->count != 0) return 0;
    }
}

// valid = 1 when (r, s) signs e for the public point q.
uint32_t ecdsaVerify(ksGlobalData* gd, const ksPoint& q, const ksIntGeneral& r, const ksIntGeneral& s,
                     const ksIntGeneral& e, uint32_t* valid) {
    *valid = 0;
    if (!inOrderRange(gd, asInt(&r), false) || !inOrderRange(gd, asInt(&s), false)) return 0;
    const ksInt* n = curveOrder(gd);
    ksIntReduced w{};
    ksIntReduced eMod{};
    ksIntReduced u1{};
    ksIntReduced u2{};
    if (orderInverse(asInt(&s), n, &w) != 0) return 1;
    if (mp::mpMod(asInt(&e), n, &eMod) != 0) return 1;
    if (tess::crypto::mp::mpModMultiply(asInt(&eMod), asInt(&w), n, &u1) != 0) return 1;
    if (tess::crypto::mp::mpModMultiply(asInt(&r), asInt(&w), n, &u2) != 0) return 1;
    ksFieldElement x{};
    if (ecTwinMultiplyX(gd, asInt(&u1), &layoutOf(gd)->g, asInt(&u2), &q, &x) != 0) return 1;
    ksIntGeneral xInt{};
    ksIntReduced v{};
    if (fieldElementToInt(gd, &x, &xInt) != 0) return 1;
    if (mp::mpMod(asInt(&xInt), n, &v) != 0) return 1;
    uint32_t equal = 0;
    mp::mpEqual(asInt(&v), asInt(&r), &equal);
    *valid = equal == 1 ? 1 : 0;
    return 0;
}

// Signs a 20-octet digest with a private key record into signature.
ksErrorCode signDigest(ksGlobalData* gd, const ksPrivateKey* key, const uint8_t digest[kDigestLength],
                       ksSignature* signature) {
    std::memset(signature, 0, sizeof *signature);
    ksIntReduced d{};
    ksIntReduced r{};
    ksIntReduced s{};
    ksIntGeneral e{};
    WipeOnExit wipeD(d);
    if (privateKeyScalar(gd, key, &d) != 0) return kFailed;
    if (scalarIsZero(d) != 0) return kBadPrivateKey;
    if (reduceDigest(gd, digest, &e) != 0 || ecdsaSign(gd, d, e, &r, &s) != 0) return kFailed;
    return writeSignature(gd, r, s, signature) != 0 ? kFailed : kOk;
}

ksErrorCode verifyDigest(ksGlobalData* gd, const ksPublicKey* key, const ksSignature* signature,
                         const uint8_t digest[kDigestLength], uint32_t* valid) {
    ksPoint q{};
    if (publicKeyPoint(gd, key->length, key->key, &q) != 0) return kFailed;
    if (signature->length != 2 * curveSizes(gd).nB) return kEcdsaBadSignature;
    ksIntGeneral r{};
    ksIntGeneral s{};
    ksIntGeneral e{};
    if (readSignature(gd, signature, &r, &s) != 0) return kFailed;
    if (reduceDigest(gd, digest, &e) != 0 || ecdsaVerify(gd, q, r, s, e, valid) != 0) return kFailed;
    return kOk;
}

// The checks every streaming call runs first.
ksErrorCode checkStream(ksGlobalData* gd, ksEcdsaContext* ctx) {
    if (gd == nullptr) {
        wipeContext(ctx);
        return kNoGlobalData;
    }
    if (layoutOf(gd)->magic != KS_MAGIC) return kNotInitialized;
    if (ctx == nullptr) return kNoContext;
    if (layoutOfContext(ctx)->state != kContextValid) {
        wipeContext(ctx);
        return kContextNotInitialized;
    }
    return kOk;
}

ksErrorCode begin(ksGlobalData* gd, ksEcdsaContext* ctx) {
    if (gd == nullptr) {
        wipeContext(ctx);
        return kNoGlobalData;
    }
    if (layoutOf(gd)->magic != KS_MAGIC) return kNotInitialized;
    if (ctx == nullptr) return kNoContext;
    wipeContext(ctx);
    tess::crypto::sha1Init(&layoutOfContext(ctx)->sha);
    layoutOfContext(ctx)->state = kContextValid;
    return kOk;
}

ksErrorCode hash(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcdsaContext* ctx) {
    if (const ksErrorCode rc = checkStream(gd, ctx)) return rc;
    ksErrorCode rc = kOk;
    if (length == 0)
        rc = kBufferLength;
    else if (data == nullptr)
        rc = kNoBuffer;
    if (rc != kOk) {
        wipeContext(ctx);
        return rc;
    }
    EcdsaLayout* l = layoutOfContext(ctx);
    l->state = 0;
    tess::crypto::sha1Update(length, data, &l->sha);
    l->state = kContextValid;
    return kOk;
}

// Finishes the stream's hash; the context is wiped.
void finishHash(ksEcdsaContext* ctx, uint8_t digest[kDigestLength]) {
    tess::crypto::sha1Final(&layoutOfContext(ctx)->sha, digest);
    wipeContext(ctx);
}

bool badKeyLength(uint32_t length) { return length == 0 || length > kMaxKeyOctets; }
bool badPasswordLength(uint32_t length) { return length == 0 || length > kMaxPasswordLength; }

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_ecdsaSignBegin(ksGlobalData* gd, ksEcdsaContext* ctx) { return begin(gd, ctx); }
ksErrorCode ks_ecdsaVerifyBegin(ksGlobalData* gd, ksEcdsaContext* ctx) { return begin(gd, ctx); }

ksErrorCode ks_ecdsaSign(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcdsaContext* ctx) {
    return hash(gd, length, data, ctx);
}
ksErrorCode ks_ecdsaVerify(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcdsaContext* ctx) {
    return hash(gd, length, data, ctx);
}

ksErrorCode ks_ecdsaSignEnd(ksGlobalData* gd, const ksPrivateKey* privateKey, ksSignature* signature,
                            ksEcdsaContext* ctx) {
    if (const ksErrorCode rc = checkStream(gd, ctx)) return rc;
    ksErrorCode rc = kOk;
    if (privateKey == nullptr)
        rc = kNoPrivateKey;
    else if (badKeyLength(privateKey->length))
        rc = kBadPrivateKey;
    else if (signature == nullptr)
        rc = kEcdsaNoSignature;
    if (rc != kOk) {
        wipeContext(ctx);
        return rc;
    }
    uint8_t digest[kDigestLength];
    finishHash(ctx, digest);
    return signDigest(gd, privateKey, digest, signature);
}

ksErrorCode ks_ecdsaPwdSignEnd(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                               const ksProtectedKey* protectedKey, ksSignature* signature, ksEcdsaContext* ctx) {
    if (const ksErrorCode rc = checkStream(gd, ctx)) return rc;
    ksErrorCode rc = kOk;
    if (protectedKey == nullptr)
        rc = kNoProtectedKey;
    else if (badKeyLength(protectedKey->length))
        rc = kBadProtectedKey;
    else if (signature == nullptr)
        rc = kEcdsaNoSignature;
    else if (password == nullptr)
        rc = kNoPassword;
    else if (badPasswordLength(passwordLength))
        rc = kBadPasswordLength;
    if (rc != kOk) {
        wipeContext(ctx);
        return rc;
    }
    uint8_t digest[kDigestLength];
    finishHash(ctx, digest);
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) return kFailed;
    return signDigest(gd, &key, digest, signature);
}

ksErrorCode ks_ecdsaVerifyEnd(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                              ksEcdsaContext* ctx, uint32_t* valid) {
    if (const ksErrorCode rc = checkStream(gd, ctx)) return rc;
    ksErrorCode rc = kOk;
    if (publicKey == nullptr)
        rc = kNoPublicKey;
    else if (signature == nullptr)
        rc = kEcdsaNoSignature;
    else if (valid == nullptr)
        rc = kNoFlag;
    else if (publicKey->length == 0 || publicKey->length > 2 * curveSizes(gd).L + 1)
        rc = kBadPublicKey;
    if (rc != kOk) {
        wipeContext(ctx);
        return rc;
    }
    uint8_t digest[kDigestLength];
    finishHash(ctx, digest);
    return verifyDigest(gd, publicKey, signature, digest, valid);
}

ksErrorCode ks_ecdsaNoHashSign(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t digestLength,
                               const uint8_t* digest, ksSignature* signature) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (privateKey == nullptr) return kNoPrivateKey;
    if (badKeyLength(privateKey->length)) return kBadPrivateKey;
    if (signature == nullptr) return kEcdsaNoSignature;
    if (digest == nullptr) return kNoBuffer;
    if (digestLength == 0 || digestLength > kDigestLength) return kBufferLength;
    uint8_t block[kDigestLength];
    placeDigest(digestLength, digest, block);
    return signDigest(gd, privateKey, block, signature);
}

ksErrorCode ks_ecdsaNoHashPwdSign(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                  const ksProtectedKey* protectedKey, uint32_t digestLength, const uint8_t* digest,
                                  ksSignature* signature) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (protectedKey == nullptr) return kNoProtectedKey;
    if (badKeyLength(protectedKey->length)) return kBadProtectedKey;
    if (signature == nullptr) return kEcdsaNoSignature;
    if (password == nullptr) return kNoPassword;
    if (badPasswordLength(passwordLength)) return kBadPasswordLength;
    if (digest == nullptr) return kNoBuffer;
    if (digestLength == 0 || digestLength > kDigestLength) return kBufferLength;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) return kFailed;
    uint8_t block[kDigestLength];
    placeDigest(digestLength, digest, block);
    return signDigest(gd, &key, block, signature);
}

ksErrorCode ks_ecdsaNoHashVerify(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                                 uint32_t digestLength, const uint8_t* digest, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (publicKey == nullptr) return kNoPublicKey;
    if (signature == nullptr) return kEcdsaNoSignature;
    if (digest == nullptr) return kNoBuffer;
    if (digestLength == 0 || digestLength > kDigestLength) return kBufferLength;
    if (valid == nullptr) return kNoFlag;
    const uint32_t L = curveSizes(gd).L;
    const uint32_t length = publicKey->length;
    if (length != 1 && length != L + 1 && length != 2 * L && length != 2 * L + 1) return kBadPublicKey;
    uint8_t block[kDigestLength];
    placeDigest(digestLength, digest, block);
    return verifyDigest(gd, publicKey, signature, block, valid);
}
