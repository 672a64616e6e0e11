// EC-NR (Nyberg-Rueppel) signatures with appendix, SHA-1.
#include <cstring>

#include "crypto/curve/curve_engine.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/result_codes.h"
#include "crypto/protocol/signature_steps.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

constexpr uint32_t kMaxPairs = 3;

struct EcnrLayout {
    uint32_t magic;
    ksSha1State sha;
};
static_assert(sizeof(EcnrLayout) == sizeof(ksEcnrContext));

EcnrLayout* layoutOfContext(ksEcnrContext* ctx) { return reinterpret_cast<EcnrLayout*>(ctx); }

void wipeContext(ksEcnrContext* ctx) {
    if (ctx != nullptr) wipeObject(*ctx);
}

// r = (x(V) + e) mod n, s = (k - d r) mod n.
uint32_t ecnrSign(ksGlobalData* gd, const ksIntReduced& d, const ksIntGeneral& e, ksIntReduced* r, ksIntReduced* s) {
    const ksInt* n = curveOrder(gd);
    ksIntReduced k{};
    ksIntReduced dr{};
    ksIntReduced eMod{};
    WipeOnExit wipeK(k);
    WipeOnExit wipeDr(dr);
    ksPoint v{};
    if (mp::mpMod(asInt(&e), n, &eMod) != 0 || generateFreshPair(gd, &k, &v) != 0) return 1;
    for (uint32_t pairs = 1;; ++pairs) {
        ksIntGeneral x{};
        ksIntReduced xMod{};
        if (fieldElementToInt(gd, &v.x, &x) != 0) return 1;
        if (mp::mpMod(asInt(&x), n, &xMod) != 0) return 1;
        if (tess::crypto::mp::mpModAdd(asInt(&xMod), asInt(&eMod), n, r) != 0) return 1;
        if (r->count != 0) break;
        if (pairs >= kMaxPairs || generateFreshPair(gd, &k, &v) != 0) return 1;
    }
    // These fail only on record sizes, not on the secret k or d: an early return is safe.
    if (tess::crypto::mp::mpModMultiply(asInt(&d), asInt(r), n, &dr) != 0) return 1;
    if (mp::mpMod(asInt(&k), n, &k) != 0) return 1;  // the engine's scalar may exceed n
    if (mp::mpModSubtract(asInt(&k), asInt(&dr), n, s) != 0) return 1;
    return 0;
}

uint32_t ecnrVerify(ksGlobalData* gd, const ksPoint& q, const ksIntGeneral& r, const ksIntGeneral& s,
                    const ksIntGeneral& e, uint32_t* valid) {
    *valid = 0;
    if (!inOrderRange(gd, asInt(&r), false) || !inOrderRange(gd, asInt(&s), true)) return 0;
    const ksInt* n = curveOrder(gd);
    ksFieldElement x{};
    if (ecTwinMultiplyX(gd, asInt(&s), &layoutOf(gd)->g, asInt(&r), &q, &x) != 0) return 1;
    ksIntGeneral xInt{};
    ksIntReduced xMod{};
    ksIntReduced recovered{};
    ksIntReduced eMod{};
    if (fieldElementToInt(gd, &x, &xInt) != 0) return 1;
    if (mp::mpMod(asInt(&xInt), n, &xMod) != 0) return 1;
    if (mp::mpModSubtract(asInt(&r), asInt(&xMod), n, &recovered) != 0) return 1;
    if (mp::mpMod(asInt(&e), n, &eMod) != 0) return 1;
    uint32_t equal = 0;
    mp::mpEqual(asInt(&recovered), asInt(&eMod), &equal);
    *valid = equal == 1 ? 1 : 0;
    return 0;
}

// Signs a 20-octet digest; a key that does not convert gives kBadPrivateKey.
ksErrorCode signDigest(ksGlobalData* gd, const ksPrivateKey* key, const uint8_t digest[kDigestLength],
                       ksSignature* signature) {
    ksIntReduced d{};
    ksIntReduced r{};
    ksIntReduced s{};
    ksIntGeneral e{};
    WipeOnExit wipeD(d);
    if (privateKeyScalar(gd, key, &d) != 0 || scalarIsZero(d) != 0) return kBadPrivateKey;
    if (reduceDigest(gd, digest, &e) != 0 || ecnrSign(gd, d, e, &r, &s) != 0) return kFailed;
    return writeSignature(gd, r, s, signature) != 0 ? kFailed : kOk;
}

ksErrorCode verifyDigest(ksGlobalData* gd, const ksPublicKey* key, const ksSignature* signature,
                         const uint8_t digest[kDigestLength], uint32_t* valid) {
    ksPoint q{};
    if (publicKeyPoint(gd, key->length, key->key, &q) != 0) return kBadPublicKey;
    if (signature->length != 2 * curveSizes(gd).nB) return kEcnrBadSignature;
    ksIntGeneral r{};
    ksIntGeneral s{};
    ksIntGeneral e{};
    if (readSignature(gd, signature, &r, &s) != 0) return kFailed;
    if (reduceDigest(gd, digest, &e) != 0 || ecnrVerify(gd, q, r, s, e, valid) != 0) return kFailed;
    return kOk;
}

// Library-context checks of the EC-NR calls, which wipe the stream context too.
ksErrorCode checkLibrary(ksGlobalData* gd, ksEcnrContext* ctx) {
    if (const ksErrorCode rc = checkGlobalData(gd)) {
        wipeContext(ctx);
        return rc;
    }
    return kOk;
}

ksErrorCode checkContext(ksEcnrContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    if (layoutOfContext(ctx)->magic != KS_MAGIC) {
        wipeContext(ctx);
        return kContextNotInitialized;
    }
    return kOk;
}

ksErrorCode failWith(ksEcnrContext* ctx, ksErrorCode rc) {
    wipeContext(ctx);
    return rc;
}

void finishHash(ksEcnrContext* ctx, uint8_t digest[kDigestLength]) {
    tess::crypto::sha1Final(&layoutOfContext(ctx)->sha, digest);
    wipeContext(ctx);
}

bool badKeyLength(uint32_t length) { return length == 0 || length > kMaxKeyOctets; }
bool badPasswordLength(uint32_t length) { return length == 0 || length > kMaxPasswordLength; }

ksErrorCode begin(ksGlobalData* gd, ksEcnrContext* ctx) {
    if (const ksErrorCode rc = checkLibrary(gd, ctx)) return rc;
    if (ctx == nullptr) return kNoContext;
    wipeContext(ctx);
    tess::crypto::sha1Init(&layoutOfContext(ctx)->sha);
    layoutOfContext(ctx)->magic = KS_MAGIC;
    return kOk;
}

ksErrorCode hash(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcnrContext* ctx) {
    if (const ksErrorCode rc = checkLibrary(gd, ctx)) return rc;
    if (length == 0) return failWith(ctx, kBufferLength);
    if (data == nullptr) return failWith(ctx, kNoBuffer);
    if (const ksErrorCode rc = checkContext(ctx)) return rc;
    tess::crypto::sha1Update(length, data, &layoutOfContext(ctx)->sha);
    return kOk;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_ecnrSignBegin(ksGlobalData* gd, ksEcnrContext* ctx) { return begin(gd, ctx); }
ksErrorCode ks_ecnrVerifyBegin(ksGlobalData* gd, ksEcnrContext* ctx) { return begin(gd, ctx); }

ksErrorCode ks_ecnrSign(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcnrContext* ctx) {
    return hash(gd, length, data, ctx);
}
ksErrorCode ks_ecnrVerify(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcnrContext* ctx) {
    return hash(gd, length, data, ctx);
}

ksErrorCode ks_ecnrSignEnd(ksGlobalData* gd, const ksPrivateKey* privateKey, ksEcnrContext* ctx,
                           ksSignature* signature) {
    if (const ksErrorCode rc = checkLibrary(gd, ctx)) return rc;
    if (privateKey == nullptr) return failWith(ctx, kNoPrivateKey);
    if (badKeyLength(privateKey->length)) return failWith(ctx, kBadPrivateKey);
    if (const ksErrorCode rc = checkContext(ctx)) return rc;
    if (signature == nullptr) return failWith(ctx, kEcnrNoSignature);
    uint8_t digest[kDigestLength];
    finishHash(ctx, digest);
    return signDigest(gd, privateKey, digest, signature);
}

ksErrorCode ks_ecnrPwdSignEnd(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                              const ksProtectedKey* protectedKey, ksEcnrContext* ctx, ksSignature* signature) {
    if (const ksErrorCode rc = checkLibrary(gd, ctx)) return rc;
    if (badPasswordLength(passwordLength)) return failWith(ctx, kBadPasswordLength);
    if (password == nullptr) return failWith(ctx, kNoPassword);
    if (protectedKey == nullptr) return failWith(ctx, kNoProtectedKey);
    if (badKeyLength(protectedKey->length)) return failWith(ctx, kBadProtectedKey);
    if (const ksErrorCode rc = checkContext(ctx)) return rc;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0)
        return failWith(ctx, kBadProtectedKey);
    return ks_ecnrSignEnd(gd, &key, ctx, signature);
}

ksErrorCode ks_ecnrVerifyEnd(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                             ksEcnrContext* ctx, uint32_t* valid) {
    if (const ksErrorCode rc = checkLibrary(gd, ctx)) return rc;
    if (publicKey == nullptr) return failWith(ctx, kNoPublicKey);
    if (publicKey->length == 0 || publicKey->length > sizeof publicKey->key) return failWith(ctx, kBadPublicKey);
    if (signature == nullptr) return failWith(ctx, kEcnrNoSignature);
    if (const ksErrorCode rc = checkContext(ctx)) return rc;
    if (valid == nullptr) return failWith(ctx, kNoFlag);
    uint8_t digest[kDigestLength];
    finishHash(ctx, digest);
    return verifyDigest(gd, publicKey, signature, digest, valid);
}

ksErrorCode ks_ecnrNoHashSign(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t digestLength,
                              const uint8_t* digest, ksSignature* signature) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (privateKey == nullptr) return kNoPrivateKey;
    if (badKeyLength(privateKey->length)) return kBadPrivateKey;
    if (digestLength == 0 || digestLength > kDigestLength) return kBufferLength;
    if (digest == nullptr) return kNoBuffer;
    if (signature == nullptr) return kEcnrNoSignature;
    uint8_t block[kDigestLength];
    placeDigest(digestLength, digest, block);
    return signDigest(gd, privateKey, block, signature);
}

ksErrorCode ks_ecnrNoHashPwdSign(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                 const ksProtectedKey* protectedKey, uint32_t digestLength, const uint8_t* digest,
                                 ksSignature* signature) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (badPasswordLength(passwordLength)) return kBadPasswordLength;
    if (password == nullptr) return kNoPassword;
    if (protectedKey == nullptr) return kNoProtectedKey;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (badKeyLength(protectedKey->length) ||
        unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0)
        return kBadProtectedKey;
    return ks_ecnrNoHashSign(gd, &key, digestLength, digest, signature);
}

ksErrorCode ks_ecnrNoHashVerify(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                                uint32_t digestLength, const uint8_t* digest, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (publicKey == nullptr) return kNoPublicKey;
    if (publicKey->length == 0 || publicKey->length > sizeof publicKey->key) return kBadPublicKey;
    if (signature == nullptr) return kEcnrNoSignature;
    if (digestLength == 0 || digestLength > kDigestLength) return kBufferLength;
    if (digest == nullptr) return kNoBuffer;
    if (valid == nullptr) return kNoFlag;
    uint8_t block[kDigestLength];
    placeDigest(digestLength, digest, block);
    return verifyDigest(gd, publicKey, signature, block, valid);
}
