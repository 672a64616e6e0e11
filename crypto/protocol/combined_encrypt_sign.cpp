// One stream that encrypts (ECES, plain form) and signs the plaintext (ECDSA),
// and one that decrypts and verifies; each call drives both in a fixed order.
#include "crypto/kestrel_protocols.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace {

using namespace tess::crypto;

// Both streams end with a failure: the whole context is wiped.
ksErrorCode ended(ksEncryptSignContext* ctx, ksErrorCode rc) {
    if (rc != kOk) wipeObject(*ctx);
    return rc;
}

}  // namespace

ksErrorCode ks_encryptSignBegin(ksGlobalData* gd, const ksPublicKey* recipientPublicKey, ksEncryptSignContext* ctx,
                                uint32_t* sessionKeyLength, uint8_t* sessionKey) {
    if (ctx == nullptr) return kNoContext;
    ksErrorCode rc = ks_ecdsaSignBegin(gd, &ctx->sign);
    if (rc == kOk) rc = ks_ecesEncryptBegin(gd, recipientPublicKey, &ctx->eces, sessionKeyLength, sessionKey);
    return ended(ctx, rc);
}

ksErrorCode ks_encryptSign(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEncryptSignContext* ctx,
                           uint8_t* output) {
    if (ctx == nullptr) return kNoContext;
    // Hash first, so that the output may be the input.
    ksErrorCode rc = ks_ecdsaSign(gd, length, input, &ctx->sign);
    if (rc == kOk) rc = ks_ecesEncrypt(gd, length, input, &ctx->eces, output);
    return ended(ctx, rc);
}

ksErrorCode ks_encryptSignEnd(ksGlobalData* gd, const ksPrivateKey* privateKey, ksEncryptSignContext* ctx,
                              ksSignature* signature) {
    if (ctx == nullptr) return kNoContext;
    ksErrorCode rc = ks_ecdsaSignEnd(gd, privateKey, signature, &ctx->sign);
    if (rc == kOk) rc = ks_ecesEncryptEnd(gd, &ctx->eces);
    wipeObject(*ctx);
    return rc;
}

ksErrorCode ks_encryptSignPwdEnd(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                 const ksProtectedKey* protectedKey, ksEncryptSignContext* ctx,
                                 ksSignature* signature) {
    if (ctx == nullptr) return kNoContext;
    ksErrorCode rc = ks_ecdsaPwdSignEnd(gd, passwordLength, password, protectedKey, signature, &ctx->sign);
    if (rc == kOk) rc = ks_ecesEncryptEnd(gd, &ctx->eces);
    wipeObject(*ctx);
    return rc;
}

ksErrorCode ks_decryptVerifyBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t sessionKeyLength,
                                  const uint8_t* sessionKey, ksEncryptSignContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    ksErrorCode rc = ks_ecdsaVerifyBegin(gd, &ctx->sign);
    if (rc == kOk) rc = ks_ecesDecryptBegin(gd, privateKey, sessionKeyLength, sessionKey, &ctx->eces);
    return ended(ctx, rc);
}

ksErrorCode ks_decryptVerifyPwdBegin(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                     const ksProtectedKey* protectedKey, uint32_t sessionKeyLength,
                                     const uint8_t* sessionKey, ksEncryptSignContext* ctx) {
    if (ctx == nullptr) return kNoContext;
    ksErrorCode rc = ks_ecdsaVerifyBegin(gd, &ctx->sign);
    if (rc == kOk)
        rc = ks_ecesPwdDecryptBegin(gd, passwordLength, password, protectedKey, sessionKeyLength, sessionKey,
                                    &ctx->eces);
    return ended(ctx, rc);
}

ksErrorCode ks_decryptVerify(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEncryptSignContext* ctx,
                             uint8_t* output) {
    if (ctx == nullptr) return kNoContext;
    // Decrypt first, then hash the plaintext (the output may be the input).
    ksErrorCode rc = ks_ecesDecrypt(gd, length, input, &ctx->eces, output);
    if (rc == kOk) rc = ks_ecdsaVerify(gd, length, output, &ctx->sign);
    return ended(ctx, rc);
}

ksErrorCode ks_decryptVerifyEnd(ksGlobalData* gd, const ksPublicKey* signerPublicKey, const ksSignature* signature,
                                ksEncryptSignContext* ctx, uint32_t* valid) {
    if (ctx == nullptr) return kNoContext;
    ksErrorCode rc = ks_ecesDecryptEnd(gd, &ctx->eces);
    if (rc == kOk) rc = ks_ecdsaVerifyEnd(gd, signerPublicKey, signature, &ctx->sign, valid);
    wipeObject(*ctx);
    return rc;
}
