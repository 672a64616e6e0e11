// ECES: streaming encryption to a public key with a SHA-1 keystream, the
// shared secrets and keystream under ECAES, and the ECES wrapping calls.
#include <cstring>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_record.h"
#include "crypto/curve/internal.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/protocol/eces_internal.h"
#include "crypto/curve/point_octets.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

static_assert(sizeof(EcesContextLayout) <= sizeof(ksEcesContext));

// Stores x(k Q) as Z (32 octets, right-aligned); infinity is refused.
uint32_t storeShared(ksGlobalData* gd, const ksInt* k, const ksPoint& q, EcesContextLayout* ctx) {
    ksFieldElement x{};
    WipeOnExit wipeX(x);
    if (sharedPointX(gd, k, &q, &x) != 0) return 1;
    return fieldToOctets(gd, &x, sizeof ctx->shared, ctx->shared) != 0 ? 1 : 0;
}

void keystreamBlock(ksGlobalData* gd, EcesContextLayout* ctx) {
    const uint32_t L = curveSizes(gd).L;
    const uint8_t* z = ctx->shared + sizeof ctx->shared - L;
    const uint8_t counter[4] = {uint8_t(ctx->counter >> 24), uint8_t(ctx->counter >> 16), uint8_t(ctx->counter >> 8),
                                uint8_t(ctx->counter)};
    ksSha1State s;
    WipeOnExit wipeState(s);
    tess::crypto::sha1Init(&s);
    if (ctx->form == 1) {
        tess::crypto::sha1Update(L, z, &s);
        tess::crypto::sha1Update(sizeof counter, counter, &s);
        if (ctx->infoLength != 0) tess::crypto::sha1Update(ctx->infoLength, ctx->info, &s);
    } else {
        tess::crypto::sha1Update(sizeof counter, counter, &s);
        tess::crypto::sha1Update(L, z, &s);
    }
    tess::crypto::sha1Final(&s, ctx->block);
    ++ctx->counter;
}

ksErrorCode failWiped(ksEcesContext* ctx, ksErrorCode rc) {
    wipeEces(ctx);
    return rc;
}

// The checks every data and End call runs first.
ksErrorCode checkStream(ksGlobalData* gd, ksEcesContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    if (ecesLayout(ctx)->magic != KS_MAGIC) return failWiped(ctx, kContextNotInitialized);
    if (const ksErrorCode rc = checkGlobalData(gd)) return failWiped(ctx, rc);
    return kOk;
}

ksErrorCode encryptBegin(ksGlobalData* gd, const ksPublicKey* publicKey, bool br, uint32_t infoLength,
                         const uint8_t* info, ksEcesContext* ctx, uint32_t* sessionKeyLengthRef, uint8_t* sessionKey) {
    if (ctx == nullptr) return kNoContext;
    if (const ksErrorCode rc = checkGlobalData(gd)) return failWiped(ctx, rc);
    if (publicKey == nullptr) return failWiped(ctx, kNoPublicKey);
    if (publicKey->length == 0 || publicKey->length > kMaxPublicKeyLength) return failWiped(ctx, kBadPublicKey);
    if (br && infoLength != 0 && info == nullptr) return failWiped(ctx, kNoInformation);
    if (sessionKeyLengthRef == nullptr) return failWiped(ctx, kNoLengthReference);
    if (*sessionKeyLengthRef == 0) return failWiped(ctx, kOutputLength);
    if (sessionKey == nullptr) return failWiped(ctx, kNoOutput);
    uint32_t r = 0;
    if (const ksErrorCode rc = sessionKeyLength(gd, &r)) return rc;
    if (*sessionKeyLengthRef < r) return kOutputLength;
    wipeEces(ctx);
    EcesContextLayout* l = ecesLayout(ctx);
    l->magic = KS_MAGIC;
    uint32_t written = 0;
    if (const ksErrorCode rc = senderSecret(gd, publicKey, l, *sessionKeyLengthRef, sessionKey, &written)) {
        if (rc != kBadPublicKey) wipeOutput(sessionKey, sessionKeyLengthRef);
        return failWiped(ctx, rc);
    }
    startKeystream(l, br, infoLength, info);
    *sessionKeyLengthRef = written;
    return kOk;
}

ksErrorCode decryptBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, bool br, uint32_t infoLength,
                         const uint8_t* info, uint32_t sessionKeyLength_, const uint8_t* sessionKey,
                         ksEcesContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    if (const ksErrorCode rc = checkGlobalData(gd)) return failWiped(ctx, rc);
    if (privateKey == nullptr) return failWiped(ctx, kNoPrivateKey);
    if (privateKey->length == 0 || privateKey->length > kMaxKeyOctets) return failWiped(ctx, kBadPrivateKey);
    if (br && infoLength != 0 && info == nullptr) return failWiped(ctx, kNoInformation);
    if (sessionKey == nullptr) return failWiped(ctx, kNoInput);
    uint32_t r = 0;
    if (const ksErrorCode rc = sessionKeyLength(gd, &r)) return failWiped(ctx, rc);
    if (sessionKeyLength_ != r) return failWiped(ctx, kInputLength);
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    if (const ksErrorCode rc = decryptionScalar(gd, privateKey, &d)) return failWiped(ctx, rc);
    wipeEces(ctx);
    EcesContextLayout* l = ecesLayout(ctx);
    l->magic = KS_MAGIC;
    if (recipientSecret(gd, d, r, sessionKey, l) != 0) return failWiped(ctx, kFailed);
    startKeystream(l, br, infoLength, info);
    return kOk;
}

ksErrorCode crypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx, uint8_t* output) {
    if (const ksErrorCode rc = checkStream(gd, ctx)) return rc;
    if (length == 0) return failWiped(ctx, kInputLength);
    if (input == nullptr) return failWiped(ctx, kNoInput);
    if (output == nullptr) return failWiped(ctx, kNoOutput);
    applyKeystream(gd, ecesLayout(ctx), length, input, output);
    return kOk;
}

ksErrorCode end(ksGlobalData* gd, ksEcesContext* ctx) {
    if (const ksErrorCode rc = checkStream(gd, ctx)) return rc;
    wipeEces(ctx);
    return kOk;
}

// The password Begin calls' checks of the password and the protected key.
ksErrorCode checkProtected(uint32_t passwordLength, const uint8_t* password, const ksProtectedKey* protectedKey) {
    if (passwordLength == 0 || passwordLength > kMaxPasswordLength) return kBadPasswordLength;
    if (password == nullptr) return kNoPassword;
    if (protectedKey == nullptr) return kNoProtectedKey;
    if (protectedKey->length == 0 || protectedKey->length > kMaxKeyOctets) return kBadProtectedKey;
    return kOk;
}

// Stream codes that mean nothing to a caller without a context.
ksErrorCode asWrapCode(ksErrorCode rc) { return rc == kNoContext || rc == kContextNotInitialized ? kFailed : rc; }

}  // namespace

EcesContextLayout* ecesLayout(ksEcesContext* ctx) { return reinterpret_cast<EcesContextLayout*>(ctx); }

void wipeEces(ksEcesContext* ctx) {
    if (ctx != nullptr) wipeObject(*ctx);
}

void wipeOutput(uint8_t* out, uint32_t* length) {
    if (out != nullptr && length != nullptr) wipe(out, *length);
    if (length != nullptr) *length = 0;
}

ksErrorCode sessionKeyLength(ksGlobalData* gd, uint32_t* length) {
    const GlobalDataLayout* l = layoutOf(gd);
    const uint32_t L = curveSizes(gd).L;
    switch (l->pointFormat) {
    case 1:
    case 3: *length = L + 1; return kOk;
    case 0:
    case 2:
        if (l->ecesCompression > 1) return kNotInitialized;
        *length = l->ecesCompression == 1 ? 2 * L + 1 : 2 * L;
        return kOk;
    default: return kNotInitialized;
    }
}

ksErrorCode senderSecret(ksGlobalData* gd, const ksPublicKey* key, EcesContextLayout* ctx, uint32_t capacity,
                         uint8_t* out, uint32_t* rLength) {
    ksPoint q{};
    if (tess::crypto::pointFromOctets(gd, key->length, key->key, &q) != 0) return kFailed;
    GlobalDataLayout* l = layoutOf(gd);
    uint32_t onCurve = 0;
    if (tess::crypto::curvePointOnCurve(gd, &q, &l->a, &l->b, &onCurve) != 0) return kFailed;
    // Infinity by the engine's own mark: on a prime curve x = 0 is an ordinary point.
    uint32_t notInfinity = 0;
    if (onCurve != 1 || ecIsInfinity(gd, &q, &notInfinity) != 0 || notInfinity == 0) return kBadPublicKey;
    ksIntReduced k{};
    WipeOnExit wipeK(k);
    ksPoint R{};
    if (generateFreshPair(gd, &k, &R) != 0 || tess::crypto::pointToOctets(gd, &R, capacity, rLength, out) != 0 ||
        storeShared(gd, asInt(&k), q, ctx) != 0)
        return kFailed;
    return kOk;
}

ksErrorCode recipientSecret(ksGlobalData* gd, const ksIntReduced& d, uint32_t rLength, const uint8_t* r,
                            EcesContextLayout* ctx) {
    ksPoint R{};
    // R outside the base point's subgroup would make Z, and so the check value,
    // depend on d modulo the cofactor: an oracle for the private key.
    if (publicKeyPoint(gd, rLength, r, &R) != 0 || checkSubgroup(gd, &R) != 0 ||
        storeShared(gd, asInt(&d), R, ctx) != 0)
        return kFailed;
    return kOk;
}

ksErrorCode decryptionScalar(ksGlobalData* gd, const ksPrivateKey* key, ksIntReduced* d) {
    ksIntGeneral wide{};
    WipeOnExit wipeWide(wide);
    if (tess::crypto::mp::mpFromOctets(key->length, key->key, asInt(&wide)) != 0) return kFailed;
    if (const uint32_t rc = checkPrivateKey(gd, asInt(&wide))) return rc;
    // Below n - 1, so it fits the reduced record.
    return mp::mpMod(asInt(&wide), curveOrder(gd), d) != 0 ? kFailed : kOk;
}

void startKeystream(EcesContextLayout* ctx, bool br, uint32_t infoLength, const uint8_t* info) {
    ctx->form = br ? 1 : 0;
    ctx->counter = br ? 1 : 0;
    ctx->tail = 0;
    ctx->infoLength = br ? infoLength : 0;
    ctx->info = br ? info : nullptr;
}

void applyKeystream(ksGlobalData* gd, EcesContextLayout* ctx, uint32_t length, const uint8_t* in, uint8_t* out) {
    uint32_t i = 0;
    while (ctx->tail > 0 && i < length) {
        out[i] = in[i] ^ ctx->block[20 - ctx->tail];
        --ctx->tail;
        ++i;
    }
    while (i < length) {
        keystreamBlock(gd, ctx);
        const uint32_t take = length - i < 20 ? length - i : 20;
        for (uint32_t j = 0; j < take; ++j) out[i + j] = in[i + j] ^ ctx->block[j];
        ctx->tail = 20 - take;
        i += take;
    }
}

}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_getSessionKeyLength(ksGlobalData* gd, uint32_t* length) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (length == nullptr) return kNoLengthReference;
    return sessionKeyLength(gd, length);
}

ksErrorCode ks_ecesEncryptBegin(ksGlobalData* gd, const ksPublicKey* publicKey, ksEcesContext* ctx,
                                uint32_t* sessionKeyLength, uint8_t* sessionKey) {
    return encryptBegin(gd, publicKey, false, 0, nullptr, ctx, sessionKeyLength, sessionKey);
}

ksErrorCode ks_ecesBREncryptBegin(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t infoLength,
                                  const uint8_t* info, ksEcesContext* ctx, uint32_t* sessionKeyLength,
                                  uint8_t* sessionKey) {
    return encryptBegin(gd, publicKey, true, infoLength, info, ctx, sessionKeyLength, sessionKey);
}

ksErrorCode ks_ecesDecryptBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t sessionKeyLength,
                                const uint8_t* sessionKey, ksEcesContext* ctx) {
    return decryptBegin(gd, privateKey, false, 0, nullptr, sessionKeyLength, sessionKey, ctx);
}

ksErrorCode ks_ecesBRDecryptBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t infoLength,
                                  const uint8_t* info, uint32_t sessionKeyLength, const uint8_t* sessionKey,
                                  ksEcesContext* ctx) {
    return decryptBegin(gd, privateKey, true, infoLength, info, sessionKeyLength, sessionKey, ctx);
}

ksErrorCode ks_ecesEncrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                           uint8_t* output) {
    return crypt(gd, length, input, ctx, output);
}
ksErrorCode ks_ecesDecrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                           uint8_t* output) {
    return crypt(gd, length, input, ctx, output);
}
ksErrorCode ks_ecesBREncrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                             uint8_t* output) {
    return crypt(gd, length, input, ctx, output);
}
ksErrorCode ks_ecesBRDecrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                             uint8_t* output) {
    return crypt(gd, length, input, ctx, output);
}

ksErrorCode ks_ecesEncryptEnd(ksGlobalData* gd, ksEcesContext* ctx) { return end(gd, ctx); }
ksErrorCode ks_ecesDecryptEnd(ksGlobalData* gd, ksEcesContext* ctx) { return end(gd, ctx); }
ksErrorCode ks_ecesBREncryptEnd(ksGlobalData* gd, ksEcesContext* ctx) { return end(gd, ctx); }
ksErrorCode ks_ecesBRDecryptEnd(ksGlobalData* gd, ksEcesContext* ctx) { return end(gd, ctx); }

ksErrorCode ks_ecesPwdDecryptBegin(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                   const ksProtectedKey* protectedKey, uint32_t sessionKeyLength,
                                   const uint8_t* sessionKey, ksEcesContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    if (const ksErrorCode rc = checkGlobalData(gd)) return failWiped(ctx, rc);
    if (const ksErrorCode rc = checkProtected(passwordLength, password, protectedKey)) return failWiped(ctx, rc);
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) return failWiped(ctx, kFailed);
    return ks_ecesDecryptBegin(gd, &key, sessionKeyLength, sessionKey, ctx);
}

ksErrorCode ks_ecesBRPwdDecryptBegin(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                     const ksProtectedKey* protectedKey, uint32_t infoLength, const uint8_t* info,
                                     uint32_t sessionKeyLength, const uint8_t* sessionKey, ksEcesContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    if (const ksErrorCode rc = checkGlobalData(gd)) return failWiped(ctx, rc);
    if (const ksErrorCode rc = checkProtected(passwordLength, password, protectedKey)) return failWiped(ctx, rc);
    if (infoLength != 0 && info == nullptr) return failWiped(ctx, kNoInformation);
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) return failWiped(ctx, kFailed);
    return ks_ecesBRDecryptBegin(gd, &key, infoLength, info, sessionKeyLength, sessionKey, ctx);
}

ksErrorCode ks_ecesWrap(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t dataLength, const uint8_t* data,
                        uint32_t* outputLength, uint8_t* output) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    uint32_t r = 0;
    ksErrorCode rc = sessionKeyLength(gd, &r);
    if (rc == kOk && uint64_t(r) + dataLength > *outputLength) rc = kOutputLength;
    ksEcesContext ctx{};
    uint32_t written = *outputLength;
    if (rc == kOk) rc = ks_ecesEncryptBegin(gd, publicKey, &ctx, &written, output);
    if (rc == kOk) rc = ks_ecesEncrypt(gd, dataLength, data, &ctx, output + written);
    if (rc == kOk) rc = ks_ecesEncryptEnd(gd, &ctx);
    wipeEces(&ctx);
    if (rc != kOk) {
        wipeOutput(output, outputLength);
        return asWrapCode(rc);
    }
    *outputLength = written + dataLength;
    return kOk;
}

ksErrorCode ks_ecesUnwrap(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t inputLength, const uint8_t* input,
                          uint32_t* outputLength, uint8_t* output) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    uint32_t r = 0;
    if (const ksErrorCode rc = sessionKeyLength(gd, &r)) return rc;
    ksErrorCode rc = kOk;
    if (inputLength <= r)
        rc = kInputLength;
    else if (inputLength - r > *outputLength)
        rc = kOutputLength;
    ksEcesContext ctx{};
    if (rc == kOk) rc = ks_ecesDecryptBegin(gd, privateKey, r, input, &ctx);
    if (rc == kOk) rc = ks_ecesDecrypt(gd, inputLength - r, input + r, &ctx, output);
    if (rc == kOk) rc = ks_ecesDecryptEnd(gd, &ctx);
    wipeEces(&ctx);
    if (rc != kOk) {
        wipeOutput(output, outputLength);
        return asWrapCode(rc);
    }
    *outputLength = inputLength - r;
    return kOk;
}

ksErrorCode ks_ecesPwdUnwrap(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                             const ksProtectedKey* protectedKey, uint32_t inputLength, const uint8_t* input,
                             uint32_t* outputLength, uint8_t* output) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (passwordLength == 0 || passwordLength > kMaxPasswordLength) return kBadPasswordLength;
    if (password == nullptr) return kNoPassword;
    if (protectedKey == nullptr) return kNoProtectedKey;
    if (protectedKey->length == 0 || protectedKey->length > kMaxKeyOctets) return kBadProtectedKey;
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) {
        wipeOutput(output, outputLength);
        return kBadProtectedKey;
    }
    return ks_ecesUnwrap(gd, &key, inputLength, input, outputLength, output);
}
