#pragma once
// Kestrel's public-key protocols: key pairs and password-protected keys,
// ECDSA and EC-NR signatures. Every export takes an initialised library
// context with a curve first and returns a ksErrorCode.
//
// Records are a length word and a fixed octet area; only the octets the
// length counts are meaningful. Numbers are big-endian octet strings.
#include <stdint.h>

#include "crypto/kestrel.h"

typedef struct ksPrivateKey {
    uint32_t length; /* generated keys: the field-element length L */
    uint8_t key[40];
} ksPrivateKey;

typedef struct ksPublicKey {
    uint32_t length; /* new style: a point octet form; old style: x || y, 2L */
    uint8_t key[65];
} ksPublicKey;

typedef struct ksProtectedKey {
    uint32_t length; /* a multiple of 8: DESX-CBC of (length octet, key) */
    uint8_t key[40];
} ksProtectedKey;

typedef struct ksSignature {
    uint32_t length; /* 2 nB: r then s, nB octets each */
    uint8_t signature[64];
} ksSignature;

/* Streaming signature contexts (opaque). */
typedef struct ksEcdsaContext {
    uint32_t words[26];
} ksEcdsaContext;
typedef struct ksEcnrContext {
    uint32_t words[25];
} ksEcnrContext;

/* Key pairs. */
TESS_API ksErrorCode ks_genKeyPair(ksGlobalData* gd, ksPrivateKey* privateKey, ksPublicKey* publicKey);
TESS_API ksErrorCode ks_genPwdKeyPair(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                      ksProtectedKey* protectedKey, ksPublicKey* publicKey);
TESS_API ksErrorCode ks_changePwdKey(ksGlobalData* gd, uint32_t oldLength, const uint8_t* oldPassword,
                                     uint32_t newLength, const uint8_t* newPassword, ksProtectedKey* protectedKey);
TESS_API ksErrorCode ks_old2newPublicKey(ksGlobalData* gd, const ksPublicKey* oldKey, ksPublicKey* newKey);
TESS_API ksErrorCode ks_new2oldPublicKey(ksGlobalData* gd, const ksPublicKey* newKey, ksPublicKey* oldKey);
/* Keeps the leftmost `bits` bits of the N-octet string as a big-endian value, in place. */
TESS_API uint32_t a2836(uint32_t length, uint32_t bits, uint32_t* newLength, uint8_t* octets);

/* ECDSA with SHA-1. */
TESS_API ksErrorCode ks_ecdsaSignBegin(ksGlobalData* gd, ksEcdsaContext* ctx);
TESS_API ksErrorCode ks_ecdsaVerifyBegin(ksGlobalData* gd, ksEcdsaContext* ctx);
TESS_API ksErrorCode ks_ecdsaSign(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcdsaContext* ctx);
TESS_API ksErrorCode ks_ecdsaVerify(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcdsaContext* ctx);
TESS_API ksErrorCode ks_ecdsaSignEnd(ksGlobalData* gd, const ksPrivateKey* privateKey, ksSignature* signature,
                                     ksEcdsaContext* ctx);
TESS_API ksErrorCode ks_ecdsaPwdSignEnd(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                        const ksProtectedKey* protectedKey, ksSignature* signature,
                                        ksEcdsaContext* ctx);
TESS_API ksErrorCode ks_ecdsaVerifyEnd(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                                       ksEcdsaContext* ctx, uint32_t* valid);
TESS_API ksErrorCode ks_ecdsaNoHashSign(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t digestLength,
                                        const uint8_t* digest, ksSignature* signature);
TESS_API ksErrorCode ks_ecdsaNoHashPwdSign(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                           const ksProtectedKey* protectedKey, uint32_t digestLength,
                                           const uint8_t* digest, ksSignature* signature);
TESS_API ksErrorCode ks_ecdsaNoHashVerify(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                                          uint32_t digestLength, const uint8_t* digest, uint32_t* valid);

/* EC-NR with SHA-1 (note: the context comes before the signature). */
TESS_API ksErrorCode ks_ecnrSignBegin(ksGlobalData* gd, ksEcnrContext* ctx);
TESS_API ksErrorCode ks_ecnrVerifyBegin(ksGlobalData* gd, ksEcnrContext* ctx);
TESS_API ksErrorCode ks_ecnrSign(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcnrContext* ctx);
TESS_API ksErrorCode ks_ecnrVerify(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksEcnrContext* ctx);
TESS_API ksErrorCode ks_ecnrSignEnd(ksGlobalData* gd, const ksPrivateKey* privateKey, ksEcnrContext* ctx,
                                    ksSignature* signature);
TESS_API ksErrorCode ks_ecnrPwdSignEnd(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                       const ksProtectedKey* protectedKey, ksEcnrContext* ctx, ksSignature* signature);
TESS_API ksErrorCode ks_ecnrVerifyEnd(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                                      ksEcnrContext* ctx, uint32_t* valid);
TESS_API ksErrorCode ks_ecnrNoHashSign(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t digestLength,
                                       const uint8_t* digest, ksSignature* signature);
TESS_API ksErrorCode ks_ecnrNoHashPwdSign(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                          const ksProtectedKey* protectedKey, uint32_t digestLength,
                                          const uint8_t* digest, ksSignature* signature);
TESS_API ksErrorCode ks_ecnrNoHashVerify(ksGlobalData* gd, const ksPublicKey* publicKey, const ksSignature* signature,
                                         uint32_t digestLength, const uint8_t* digest, uint32_t* valid);

/* EC Diffie-Hellman and MQV. Derived keys are 1..20 octets of SHA-1(Z || info);
   raw secrets are Z = x of the shared point, L octets. */
TESS_API ksErrorCode ks_dhGenerateValues(ksGlobalData* gd, ksPublicKey* publicOut, ksPrivateKey* privateOut);
TESS_API ksErrorCode ks_mqvGenerateValues(ksGlobalData* gd, ksPublicKey* publicOut, ksPrivateKey* privateOut);
TESS_API ksErrorCode ks_dhPwdGenerateValues(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                            ksProtectedKey* protectedOut, ksPublicKey* publicOut);
TESS_API ksErrorCode ks_dhSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksPrivateKey* local,
                                       uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_dhSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remote,
                                                  const ksPrivateKey* local, uint32_t infoLength, const uint8_t* info,
                                                  uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_dhRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksPrivateKey* local,
                                          uint32_t* secretLength, uint8_t* secret);
TESS_API ksErrorCode ks_dhPwdSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksProtectedKey* local,
                                          uint32_t passwordLength, const uint8_t* password, uint32_t keyLength,
                                          uint8_t* key);
TESS_API ksErrorCode ks_dhPwdSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remote,
                                                     const ksProtectedKey* local, uint32_t passwordLength,
                                                     const uint8_t* password, uint32_t infoLength, const uint8_t* info,
                                                     uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_dhPwdRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksProtectedKey* local,
                                             uint32_t passwordLength, const uint8_t* password, uint32_t* secretLength,
                                             uint8_t* secret);
TESS_API ksErrorCode ks_mqvSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                        const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                        const ksPrivateKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                        uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_mqvSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                                   const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                                   const ksPrivateKey* localStatic,
                                                   const ksPublicKey* localEphemeralPublic, uint32_t infoLength,
                                                   const uint8_t* info, uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_mqvRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                           const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                           const ksPrivateKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                           uint32_t* secretLength, uint8_t* secret);
TESS_API ksErrorCode ks_mqvPwdSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                           const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                           const ksProtectedKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                           uint32_t passwordLength, const uint8_t* password, uint32_t keyLength,
                                           uint8_t* key);
TESS_API ksErrorCode ks_mqvPwdSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                                      const ksPrivateKey* localEphemeral,
                                                      const ksPublicKey* remoteStatic,
                                                      const ksProtectedKey* localStatic,
                                                      const ksPublicKey* localEphemeralPublic, uint32_t passwordLength,
                                                      const uint8_t* password, uint32_t infoLength, const uint8_t* info,
                                                      uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_mqvPwdRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                              const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                              const ksProtectedKey* localStatic,
                                              const ksPublicKey* localEphemeralPublic, uint32_t passwordLength,
                                              const uint8_t* password, uint32_t* secretLength, uint8_t* secret);

/* DSA (SHA-1, q of 160 bits). Values are minimal big-endian octets from the
   start of their area, each followed by its length. */
typedef struct ksDsaParameters {
    uint8_t p[128];
    uint32_t pLength;
    uint8_t q[128];
    uint32_t qLength;
    uint8_t g[128];
    uint32_t gLength;
    uint32_t present; /* bit 0 p, bit 1 q, bit 2 g */
} ksDsaParameters;
typedef struct ksDsaKey {
    uint8_t value[128];
    uint32_t length;
} ksDsaKey;
typedef struct ksDsaSignature {
    uint8_t r[128];
    uint32_t rLength;
    uint8_t s[128];
    uint32_t sLength;
} ksDsaSignature;
typedef struct ksDsaContext {
    uint32_t words[26];
} ksDsaContext;

TESS_API ksErrorCode ks_dsaGenerateParameters(ksGlobalData* gd, uint32_t pBits, uint32_t seedLength,
                                              const uint8_t* seed, ksDsaParameters* params);
TESS_API ksErrorCode ks_dsaGenerateKeyPair(ksGlobalData* gd, const ksDsaParameters* params, ksDsaKey* privateKey,
                                           ksDsaKey* publicKey);
TESS_API ksErrorCode ks_dsaSignBegin(ksGlobalData* gd, ksDsaContext* ctx);
TESS_API ksErrorCode ks_dsaSign(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksDsaContext* ctx);
TESS_API ksErrorCode ks_dsaSignEnd(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* privateKey,
                                   ksDsaSignature* signature, ksDsaContext* ctx);
TESS_API ksErrorCode ks_dsaVerifyBegin(ksGlobalData* gd, ksDsaContext* ctx);
TESS_API ksErrorCode ks_dsaVerify(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksDsaContext* ctx);
TESS_API ksErrorCode ks_dsaVerifyEnd(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* publicKey,
                                     const ksDsaSignature* signature, ksDsaContext* ctx, uint32_t* valid);
TESS_API ksErrorCode ks_dsaNoHashSign(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* privateKey,
                                      uint32_t digestLength, const uint8_t* digest, ksDsaSignature* signature);
TESS_API ksErrorCode ks_dsaNoHashVerify(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* publicKey,
                                        const ksDsaSignature* signature, uint32_t digestLength, const uint8_t* digest,
                                        uint32_t* valid);
TESS_API ksErrorCode ks_dsaValidateParameters(ksGlobalData* gd, const ksDsaParameters* params, uint32_t* valid);
TESS_API ksErrorCode ks_dsaValidatePublicKey(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* publicKey,
                                             uint32_t* valid);
TESS_API ksErrorCode ks_dsaValidatePrivateKey(ksGlobalData* gd, const ksDsaParameters* params,
                                              const ksDsaKey* privateKey, uint32_t* valid);

/* Integer Diffie-Hellman and ANSI X9.42. Values are minimal big-endian octets
   from the start of their area, each followed by its length. */
typedef struct ksDlParameters {
    uint8_t p[256];
    uint32_t pLength;
    uint8_t q[256];
    uint32_t qLength;
    uint8_t g[256];
    uint32_t gLength;
    uint32_t present; /* bit 0 p, bit 1 g, bit 2 q */
} ksDlParameters;
typedef struct ksDhKey {
    uint8_t value[256];
    uint32_t length;
} ksDhKey;
typedef struct ksDhSecret {
    uint8_t value[512];
    uint32_t length;
} ksDhSecret;

TESS_API ksErrorCode ks_dhGenerateParameters(ksGlobalData* gd, uint32_t pBits, ksDlParameters* params);
TESS_API ksErrorCode ks_dhGenerateKeyPair(ksGlobalData* gd, const ksDlParameters* params, ksDhKey* privateKey,
                                          ksDhKey* publicKey);
TESS_API ksErrorCode ks_dhRawSecret(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* localPrivateKey,
                                    const ksDhKey* remotePublicKey, ksDhSecret* secret);
TESS_API ksErrorCode ks_dhDeriveKey(ksGlobalData* gd, const ksDhSecret* secret, uint32_t infoLength,
                                    const uint8_t* info, uint32_t keyLength, uint8_t* key);
TESS_API ksErrorCode ks_dhValidateParameters(ksGlobalData* gd, const ksDlParameters* params, uint32_t* valid);
TESS_API ksErrorCode ks_dhValidatePublicKey(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* publicKey,
                                            uint32_t* valid);
TESS_API ksErrorCode ks_dhValidatePrivateKey(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* privateKey,
                                             uint32_t* valid);
/* seed: in, the caller's seed (*seedLength octets; 0 for a random one); out, the
   seed used. The buffer must hold max(*seedLength, ceil(qBits / 8)) octets. */
TESS_API ksErrorCode ks_dhX942GenerateParameters(ksGlobalData* gd, uint32_t pBits, uint32_t qBits, uint32_t* seedLength,
                                                 uint8_t* seed, uint32_t* counter, ksDlParameters* params);
TESS_API ksErrorCode ks_dhX942GenerateKeyPair(ksGlobalData* gd, uint32_t b, const ksDlParameters* params,
                                              ksDhKey* privateKey, ksDhKey* publicKey);
TESS_API ksErrorCode ks_dhX942ValidateParameters(ksGlobalData* gd, uint32_t seedLength, const uint8_t* seed,
                                                 uint32_t counter, const ksDlParameters* params, uint32_t* valid);
TESS_API ksErrorCode ks_dhX942ValidatePublicKey(ksGlobalData* gd, const ksDlParameters* params,
                                                const ksDhKey* publicKey, uint32_t* valid);
TESS_API ksErrorCode ks_dhX942Hybrid1(ksGlobalData* gd, const ksDlParameters* params,
                                      const ksDhKey* localStaticPrivateKey, const ksDhKey* remoteStaticPublicKey,
                                      const ksDhKey* localEphemeralPrivateKey, const ksDhKey* remoteEphemeralPublicKey,
                                      ksDhSecret* secret);
TESS_API ksErrorCode ks_dhX942Hybrid2(ksGlobalData* gd, const ksDlParameters* staticParams,
                                      const ksDhKey* localStaticPrivateKey, const ksDhKey* remoteStaticPublicKey,
                                      const ksDlParameters* ephemeralParams, const ksDhKey* localEphemeralPrivateKey,
                                      const ksDhKey* remoteEphemeralPublicKey, ksDhSecret* secret);

/* ECES (streaming) and ECAES (one-shot, with a 20-octet check value), plain
   and BR forms, and the wrapping calls. Length references hold the buffer
   size on entry and the produced length on success. The context refers to
   the BR key-derivation information, which must outlive the stream. */
typedef struct ksEcesContext {
    uint64_t words[10];
} ksEcesContext;

TESS_API ksErrorCode ks_getSessionKeyLength(ksGlobalData* gd, uint32_t* length);
TESS_API ksErrorCode ks_ecesEncryptBegin(ksGlobalData* gd, const ksPublicKey* publicKey, ksEcesContext* ctx,
                                         uint32_t* sessionKeyLength, uint8_t* sessionKey);
TESS_API ksErrorCode ks_ecesBREncryptBegin(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t infoLength,
                                           const uint8_t* info, ksEcesContext* ctx, uint32_t* sessionKeyLength,
                                           uint8_t* sessionKey);
TESS_API ksErrorCode ks_ecesDecryptBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t sessionKeyLength,
                                         const uint8_t* sessionKey, ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesBRDecryptBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t infoLength,
                                           const uint8_t* info, uint32_t sessionKeyLength, const uint8_t* sessionKey,
                                           ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesPwdDecryptBegin(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                            const ksProtectedKey* protectedKey, uint32_t sessionKeyLength,
                                            const uint8_t* sessionKey, ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesBRPwdDecryptBegin(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                              const ksProtectedKey* protectedKey, uint32_t infoLength,
                                              const uint8_t* info, uint32_t sessionKeyLength, const uint8_t* sessionKey,
                                              ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesEncrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                                    uint8_t* output);
TESS_API ksErrorCode ks_ecesDecrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                                    uint8_t* output);
TESS_API ksErrorCode ks_ecesBREncrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                                      uint8_t* output);
TESS_API ksErrorCode ks_ecesBRDecrypt(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEcesContext* ctx,
                                      uint8_t* output);
TESS_API ksErrorCode ks_ecesEncryptEnd(ksGlobalData* gd, ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesDecryptEnd(ksGlobalData* gd, ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesBREncryptEnd(ksGlobalData* gd, ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesBRDecryptEnd(ksGlobalData* gd, ksEcesContext* ctx);
TESS_API ksErrorCode ks_ecesWrap(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t dataLength,
                                 const uint8_t* data, uint32_t* outputLength, uint8_t* output);
TESS_API ksErrorCode ks_ecesUnwrap(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t inputLength,
                                   const uint8_t* input, uint32_t* outputLength, uint8_t* output);
TESS_API ksErrorCode ks_ecesPwdUnwrap(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                      const ksProtectedKey* protectedKey, uint32_t inputLength, const uint8_t* input,
                                      uint32_t* outputLength, uint8_t* output);

TESS_API ksErrorCode ks_ecaesEncrypt(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t infoLength,
                                     const uint8_t* info, uint32_t dataLength, const uint8_t* data,
                                     uint32_t* outputLength, uint8_t* output);
TESS_API ksErrorCode ks_ecaesDecrypt(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t infoLength,
                                     const uint8_t* info, uint32_t inputLength, const uint8_t* input,
                                     uint32_t* outputLength, uint8_t* output, uint32_t* valid);
TESS_API ksErrorCode ks_ecaesBREncrypt(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t kdfInfoLength,
                                       const uint8_t* kdfInfo, uint32_t macInfoLength, const uint8_t* macInfo,
                                       uint32_t dataLength, const uint8_t* data, uint32_t* outputLength,
                                       uint8_t* output);
TESS_API ksErrorCode ks_ecaesBRDecrypt(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t kdfInfoLength,
                                       const uint8_t* kdfInfo, uint32_t macInfoLength, const uint8_t* macInfo,
                                       uint32_t inputLength, const uint8_t* input, uint32_t* outputLength,
                                       uint8_t* output, uint32_t* valid);
TESS_API ksErrorCode ks_ecaesPwdDecrypt(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                        const ksProtectedKey* protectedKey, uint32_t infoLength, const uint8_t* info,
                                        uint32_t inputLength, const uint8_t* input, uint32_t* outputLength,
                                        uint8_t* output, uint32_t* valid);
TESS_API ksErrorCode ks_ecaesBRPwdDecrypt(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                          const ksProtectedKey* protectedKey, uint32_t kdfInfoLength,
                                          const uint8_t* kdfInfo, uint32_t macInfoLength, const uint8_t* macInfo,
                                          uint32_t inputLength, const uint8_t* input, uint32_t* outputLength,
                                          uint8_t* output, uint32_t* valid);
TESS_API ksErrorCode ks_ecaesWrap(ksGlobalData* gd, const ksPublicKey* publicKey, uint32_t infoLength,
                                  const uint8_t* info, uint32_t dataLength, const uint8_t* data, uint32_t* outputLength,
                                  uint8_t* output);
TESS_API ksErrorCode ks_ecaesUnwrap(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t infoLength,
                                    const uint8_t* info, uint32_t inputLength, const uint8_t* input,
                                    uint32_t* outputLength, uint8_t* output, uint32_t* valid);
TESS_API ksErrorCode ks_ecaesPwdUnwrap(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                       const ksProtectedKey* protectedKey, uint32_t infoLength, const uint8_t* info,
                                       uint32_t inputLength, const uint8_t* input, uint32_t* outputLength,
                                       uint8_t* output, uint32_t* valid);

/* 2-of-3 secret sharing of a private key over the curve's field. A share is
   x then y, L octets each (length 2L). */
typedef struct ksShare {
    uint32_t length;
    uint8_t share[128];
} ksShare;

TESS_API ksErrorCode ks_shadowGenerate(ksGlobalData* gd, ksPublicKey* publicKey, ksShare shares[3]);
TESS_API ksErrorCode ks_shadowCombine(ksGlobalData* gd, const ksShare shares[2], ksPrivateKey* privateKey);

/* Certificates: a subject's public key and 1..255 octets of user data signed
   by a CA with ECDSA or EC-NR. Octets: P (2, big-endian), the key, U (1), the
   user data, S (2), the signature (r || s); at most 389 octets. */
typedef struct ksCertificateInfo {
    ksPublicKey publicKey;
    uint32_t userDataLength;
    uint8_t userData[255];
} ksCertificateInfo;
typedef struct ksCertificate {
    uint32_t length;
    uint8_t certificate[389];
} ksCertificate;

TESS_API ksErrorCode ks_ecdsaGenCert(ksGlobalData* gd, const ksCertificateInfo* info, const ksPrivateKey* caPrivateKey,
                                     ksCertificate* certificate);
TESS_API ksErrorCode ks_ecdsaPwdGenCert(ksGlobalData* gd, const ksCertificateInfo* info, uint32_t passwordLength,
                                        const uint8_t* password, const ksProtectedKey* caProtectedKey,
                                        ksCertificate* certificate);
TESS_API ksErrorCode ks_ecnrGenCert(ksGlobalData* gd, const ksCertificateInfo* info, const ksPrivateKey* caPrivateKey,
                                    ksCertificate* certificate);
TESS_API ksErrorCode ks_ecnrPwdGenCert(ksGlobalData* gd, const ksCertificateInfo* info, uint32_t passwordLength,
                                       const uint8_t* password, const ksProtectedKey* caProtectedKey,
                                       ksCertificate* certificate);
TESS_API ksErrorCode ks_ecdsaVerifyCert(ksGlobalData* gd, const ksCertificate* certificate,
                                        const ksPublicKey* caPublicKey, uint32_t* valid);
TESS_API ksErrorCode ks_ecnrVerifyCert(ksGlobalData* gd, const ksCertificate* certificate,
                                       const ksPublicKey* caPublicKey, uint32_t* valid);
TESS_API ksErrorCode ks_ecdsaParseCert(ksGlobalData* gd, const ksCertificate* certificate, ksCertificateInfo* info);
TESS_API ksErrorCode ks_ecnrParseCert(ksGlobalData* gd, const ksCertificate* certificate, ksCertificateInfo* info);

/* Combined ECES (plain form) encryption and ECDSA signature of the plaintext
   in one stream, and the matching decryption and verification. */
typedef struct ksEncryptSignContext {
    ksEcdsaContext sign;
    ksEcesContext eces;
} ksEncryptSignContext;

TESS_API ksErrorCode ks_encryptSignBegin(ksGlobalData* gd, const ksPublicKey* recipientPublicKey,
                                         ksEncryptSignContext* ctx, uint32_t* sessionKeyLength, uint8_t* sessionKey);
TESS_API ksErrorCode ks_encryptSign(ksGlobalData* gd, uint32_t length, const uint8_t* input, ksEncryptSignContext* ctx,
                                    uint8_t* output);
TESS_API ksErrorCode ks_encryptSignEnd(ksGlobalData* gd, const ksPrivateKey* privateKey, ksEncryptSignContext* ctx,
                                       ksSignature* signature);
TESS_API ksErrorCode ks_encryptSignPwdEnd(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                          const ksProtectedKey* protectedKey, ksEncryptSignContext* ctx,
                                          ksSignature* signature);
TESS_API ksErrorCode ks_decryptVerifyBegin(ksGlobalData* gd, const ksPrivateKey* privateKey, uint32_t sessionKeyLength,
                                           const uint8_t* sessionKey, ksEncryptSignContext* ctx);
TESS_API ksErrorCode ks_decryptVerifyPwdBegin(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                              const ksProtectedKey* protectedKey, uint32_t sessionKeyLength,
                                              const uint8_t* sessionKey, ksEncryptSignContext* ctx);
TESS_API ksErrorCode ks_decryptVerify(ksGlobalData* gd, uint32_t length, const uint8_t* input,
                                      ksEncryptSignContext* ctx, uint8_t* output);
TESS_API ksErrorCode ks_decryptVerifyEnd(ksGlobalData* gd, const ksPublicKey* signerPublicKey,
                                         const ksSignature* signature, ksEncryptSignContext* ctx, uint32_t* valid);
