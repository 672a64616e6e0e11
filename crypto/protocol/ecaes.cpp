// ECAES: one-shot encryption to a public key with a 20-octet check value,
// plain form (SHA-1 over Z, the plaintext and the information) and BR form
// (X9.63 keystream, keyed SHA-1 tag over the ciphertext), and its wrapping calls.
//
// What the recipient checks of the session key R: its length and prefix, x
// reduced (no bit at or above m, nothing at or above p), a hybrid y-bit that
// agrees with y, R on the curve, not infinity, and in the base point's subgroup.
// Known malleability, kept because peers rely on the format: the check value
// covers Z = x(d R) but not R's encoding, and -R has the same x. So the
// compressed prefixes 02 and 03 (and 06 and 07, read as compressed) can be
// swapped, or 02/03 replaced by 06/07, and the ciphertext still opens to the
// same plaintext. Nothing secret leaks by it, but a ciphertext is not unique:
// callers must not use its octets as an identity or a replay key.
#include <openssl/crypto.h>

#include <cstring>

#include "crypto/hash/internal.h"
#include "crypto/protocol/eces_internal.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

constexpr uint32_t kCheckLength = 20;

struct Form {
    bool br;
    uint32_t kdfLength;  // BR: key-derivation information
    const uint8_t* kdf;
    uint32_t infoLength;  // plain: the information; BR: the check-value information
    const uint8_t* info;
};

ksErrorCode checkInformation(const Form& f) {
    if (f.br && f.kdfLength != 0 && f.kdf == nullptr) return kNoInformation;
    if (f.infoLength != 0 && f.info == nullptr) return kNoInformation;
    return kOk;
}

// Plain check value: SHA-1(Z || M || I).
void plainCheck(ksGlobalData* gd, const EcesContextLayout& ctx, uint32_t length, const uint8_t* m, const Form& f,
                uint8_t out[kCheckLength]) {
    const uint32_t L = curveSizes(gd).L;
    ksSha1State s;
    WipeOnExit wipeState(s);
    tess::crypto::sha1Init(&s);
    tess::crypto::sha1Update(L, ctx.shared + sizeof ctx.shared - L, &s);
    tess::crypto::sha1Update(length, m, &s);
    if (f.infoLength != 0) tess::crypto::sha1Update(f.infoLength, f.info, &s);
    tess::crypto::sha1Final(&s, out);
}

// BR tag: K = the 20 keystream octets after the w of E, in octets 43..62 of a
// 64-octet block B; T = SHA-1((B ^ 0x36) || SHA-1((B ^ 0x5C) || E || I2)).
void brTag(ksGlobalData* gd, EcesContextLayout ctx, uint32_t w, const uint8_t* e, const Form& f,
           uint8_t out[kCheckLength]) {
    uint8_t scratch[64] = {};
    WipeOnExit wipeScratch(scratch);
    for (uint32_t done = 0; done < w;) {
        const uint32_t n = w - done < sizeof scratch ? w - done : uint32_t(sizeof scratch);
        std::memset(scratch, 0, sizeof scratch);
        applyKeystream(gd, &ctx, n, scratch, scratch);
        done += n;
    }
    uint8_t k[kCheckLength] = {};
    WipeOnExit wipeK(k);
    applyKeystream(gd, &ctx, kCheckLength, k, k);
    wipeObject(ctx);
    uint8_t block[64] = {};
    WipeOnExit wipeBlock(block);
    uint8_t inner[kCheckLength];
    ksSha1State s;
    WipeOnExit wipeState(s);
    auto keyed = [&](uint8_t pad) {
        uint8_t b[64];
        for (int i = 0; i < 64; ++i) b[i] = uint8_t((i >= 43 && i <= 62 ? k[i - 43] : 0) ^ pad);
        tess::crypto::sha1Update(sizeof b, b, &s);
        wipe(b, sizeof b);
    };
    tess::crypto::sha1Init(&s);
    keyed(0x5C);
    tess::crypto::sha1Update(w, e, &s);
    if (f.infoLength != 0) tess::crypto::sha1Update(f.infoLength, f.info, &s);
    tess::crypto::sha1Final(&s, inner);
    tess::crypto::sha1Init(&s);
    keyed(0x36);
    tess::crypto::sha1Update(sizeof inner, inner, &s);
    tess::crypto::sha1Final(&s, out);
}

ksErrorCode encrypt(ksGlobalData* gd, const ksPublicKey* publicKey, const Form& f, uint32_t dataLength,
                    const uint8_t* data, uint32_t* outputLength, uint8_t* output) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (publicKey == nullptr) return kNoPublicKey;
    if (publicKey->length == 0 || publicKey->length > kMaxPublicKeyLength) return kBadPublicKey;
    if (const ksErrorCode rc = checkInformation(f)) return rc;
    if (dataLength == 0) return kInputLength;
    if (data == nullptr) return kNoInput;
    if (outputLength == nullptr) return kNoLengthReference;
    if (*outputLength == 0) return kOutputLength;
    if (output == nullptr) return kNoOutput;
    uint32_t r = 0;
    if (const ksErrorCode rc = sessionKeyLength(gd, &r)) return rc;
    if (uint64_t(r) + dataLength + kCheckLength > *outputLength) return kOutputLength;
    ksEcesContext stream{};
    EcesContextLayout* ctx = ecesLayout(&stream);
    uint32_t written = 0;
    if (const ksErrorCode rc = senderSecret(gd, publicKey, ctx, *outputLength, output, &written)) {
        wipeEces(&stream);
        if (rc != kBadPublicKey) wipeOutput(output, outputLength);
        return rc;
    }
    startKeystream(ctx, f.br, f.kdfLength, f.kdf);
    if (f.br) {
        uint8_t* e = output + written;
        EcesContextLayout start = *ctx;  // the tag's key follows E in the stream
        applyKeystream(gd, ctx, dataLength, data, e);
        brTag(gd, start, dataLength, e, f, e + dataLength);
        wipeObject(start);
    } else {
        applyKeystream(gd, ctx, dataLength, data, output + written + kCheckLength);
        plainCheck(gd, *ctx, dataLength, data, f, output + written);
    }
    wipeEces(&stream);
    *outputLength = written + kCheckLength + dataLength;
    return kOk;
}

ksErrorCode decrypt(ksGlobalData* gd, const ksPrivateKey* privateKey, const Form& f, uint32_t inputLength,
                    const uint8_t* input, uint32_t* outputLength, uint8_t* output, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (privateKey == nullptr) return kNoPrivateKey;
    if (privateKey->length == 0 || privateKey->length > kMaxKeyOctets) return kBadPrivateKey;
    if (const ksErrorCode rc = checkInformation(f)) return rc;
    if (inputLength == 0) return kInputLength;
    if (input == nullptr) return kNoInput;
    if (outputLength == nullptr) return kNoLengthReference;
    if (*outputLength == 0) return kOutputLength;
    if (output == nullptr) return kNoOutput;
    if (valid == nullptr) return kNoFlag;
    uint32_t r = 0;
    if (const ksErrorCode rc = sessionKeyLength(gd, &r)) return rc;
    if (inputLength <= r + kCheckLength) return kInputLength;
    const uint32_t w = inputLength - r - kCheckLength;
    if (w > *outputLength) return kOutputLength;
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    if (const ksErrorCode rc = decryptionScalar(gd, privateKey, &d)) return rc;
    ksEcesContext stream{};
    EcesContextLayout* ctx = ecesLayout(&stream);
    *valid = 0;
    if (recipientSecret(gd, d, r, input, ctx) != 0) {
        wipeEces(&stream);
        wipeOutput(output, outputLength);
        return kFailed;
    }
    startKeystream(ctx, f.br, f.kdfLength, f.kdf);
    uint8_t expected[kCheckLength];
    const uint8_t* received;
    if (f.br) {
        const uint8_t* e = input + r;
        received = e + w;
        brTag(gd, *ctx, w, e, f, expected);  // over the received E, before deciphering
        applyKeystream(gd, ctx, w, e, output);
    } else {
        received = input + r;
        applyKeystream(gd, ctx, w, input + r + kCheckLength, output);
        plainCheck(gd, *ctx, w, output, f, expected);
    }
    wipeEces(&stream);
    // Constant time: a mismatch must not tell where it lies.
    if (CRYPTO_memcmp(expected, received, kCheckLength) != 0) {
        wipeOutput(output, outputLength);
        return kOk;
    }
    *valid = 1;
    *outputLength = w;
    return kOk;
}

// The password calls' checks of the password and the protected key.
ksErrorCode checkProtected(uint32_t passwordLength, const uint8_t* password, const ksProtectedKey* protectedKey) {
    if (passwordLength == 0 || passwordLength > kMaxPasswordLength) return kBadPasswordLength;
    if (password == nullptr) return kNoPassword;
    if (protectedKey == nullptr) return kNoProtectedKey;
    if (protectedKey->length == 0 || protectedKey->length > kMaxKeyOctets) return kBadProtectedKey;
    return kOk;
}

ksErrorCode pwdDecrypt(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                       const ksProtectedKey* protectedKey, const Form& f, uint32_t inputLength, const uint8_t* input,
                       uint32_t* outputLength, uint8_t* output, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkProtected(passwordLength, password, protectedKey)) return rc;
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    if (valid == nullptr) return kNoFlag;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) return kFailed;
    const ksErrorCode rc = decrypt(gd, &key, f, inputLength, input, outputLength, output, valid);
    if (rc != kOk) {
        wipeOutput(output, outputLength);
        *valid = 0;
    }
    return rc;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_ecaesEncrypt(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t infoLength, const uint8_t* info,
                            uint32_t dataLength, const uint8_t* data, uint32_t* outputLength, uint8_t* output) {
    return encrypt(gd, publicKey, Form{false, 0, nullptr, infoLength, info}, dataLength, data, outputLength, output);
}

ksErrorCode ks_ecaesDecrypt(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t infoLength, const uint8_t* info,
                            uint32_t inputLength, const uint8_t* input, uint32_t* outputLength, uint8_t* output,
                            uint32_t* valid) {
    return decrypt(gd, privateKey, Form{false, 0, nullptr, infoLength, info}, inputLength, input, outputLength, output,
                   valid);
}

ksErrorCode ks_ecaesBREncrypt(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t kdfInfoLength,
                              const uint8_t* kdfInfo, uint32_t macInfoLength, const uint8_t* macInfo,
                              uint32_t dataLength, const uint8_t* data, uint32_t* outputLength, uint8_t* output) {
    return encrypt(gd, publicKey, Form{true, kdfInfoLength, kdfInfo, macInfoLength, macInfo}, dataLength, data,
                   outputLength, output);
}

ksErrorCode ks_ecaesBRDecrypt(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t kdfInfoLength,
                              const uint8_t* kdfInfo, uint32_t macInfoLength, const uint8_t* macInfo,
                              uint32_t inputLength, const uint8_t* input, uint32_t* outputLength, uint8_t* output,
                              uint32_t* valid) {
    return decrypt(gd, privateKey, Form{true, kdfInfoLength, kdfInfo, macInfoLength, macInfo}, inputLength, input,
                   outputLength, output, valid);
}

ksErrorCode ks_ecaesPwdDecrypt(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                               const ksProtectedKey* protectedKey, uint32_t infoLength, const uint8_t* info,
                               uint32_t inputLength, const uint8_t* input, uint32_t* outputLength, uint8_t* output,
                               uint32_t* valid) {
    return pwdDecrypt(gd, passwordLength, password, protectedKey, Form{false, 0, nullptr, infoLength, info},
                      inputLength, input, outputLength, output, valid);
}

ksErrorCode ks_ecaesBRPwdDecrypt(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                 const ksProtectedKey* protectedKey, uint32_t kdfInfoLength, const uint8_t* kdfInfo,
                                 uint32_t macInfoLength, const uint8_t* macInfo, uint32_t inputLength,
                                 const uint8_t* input, uint32_t* outputLength, uint8_t* output, uint32_t* valid) {
    return pwdDecrypt(gd, passwordLength, password, protectedKey,
                      Form{true, kdfInfoLength, kdfInfo, macInfoLength, macInfo}, inputLength, input, outputLength,
                      output, valid);
}

ksErrorCode ks_ecaesWrap(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t infoLength, const uint8_t* info,
                         uint32_t dataLength, const uint8_t* data, uint32_t* outputLength, uint8_t* output) {
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    const ksErrorCode rc = ks_ecaesEncrypt(gd, publicKey, infoLength, info, dataLength, data, outputLength, output);
    if (rc != kOk) wipeOutput(output, outputLength);
    return rc;
}

ksErrorCode ks_ecaesUnwrap(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t infoLength, const uint8_t* info,
                           uint32_t inputLength, const uint8_t* input, uint32_t* outputLength, uint8_t* output,
                           uint32_t* valid) {
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    if (valid == nullptr) return kNoFlag;
    const ksErrorCode rc =
        ks_ecaesDecrypt(gd, privateKey, infoLength, info, inputLength, input, outputLength, output, valid);
    if (rc != kOk) {
        wipeOutput(output, outputLength);
        *valid = 0;
    }
    return rc;
}

ksErrorCode ks_ecaesPwdUnwrap(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                              const ksProtectedKey* protectedKey, uint32_t infoLength, const uint8_t* info,
                              uint32_t inputLength, const uint8_t* input, uint32_t* outputLength, uint8_t* output,
                              uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkProtected(passwordLength, password, protectedKey)) return rc;
    if (outputLength == nullptr) return kNoLengthReference;
    if (output == nullptr) return kNoOutput;
    if (valid == nullptr) return kNoFlag;
    ksPrivateKey key{};
    WipeOnExit wipeKey(key);
    if (unprotectPrivateKey(gd, passwordLength, password, protectedKey, &key) != 0) {
        wipeOutput(output, outputLength);
        *valid = 0;
        return kBadProtectedKey;
    }
    return ks_ecaesUnwrap(gd, &key, infoLength, info, inputLength, input, outputLength, output, valid);
}
