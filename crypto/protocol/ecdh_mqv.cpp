// EC Diffie-Hellman and MQV key agreement, raw or through SHA-1 derivation.
#include <cstring>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/internal.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/protocol/key_agreement.h"
#include "crypto/curve/point_octets.h"
#include "crypto/result_codes.h"
#include "crypto/hash/sha1_internal.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

constexpr uint32_t kMaxInfo = 2048;
constexpr uint32_t kMaxPublicKey = 65;

bool badPublicLength(uint32_t length) { return length == 0 || length > kMaxPublicKey; }
bool badPrivateLength(uint32_t length) { return length == 0 || length > kMaxKeyOctets; }
bool badPasswordLength(uint32_t length) { return length == 0 || length > kMaxPasswordLength; }
bool badDerivedLength(uint32_t length) { return length == 0 || length > 20; }

// The first L octets of a local value, reduced modulo n before any multiplication.
uint32_t localScalar(const ksGlobalData* gd, const ksPrivateKey* key, ksIntReduced* d) {
    ksPrivateKey first{};
    WipeOnExit wipeFirst(first);
    first.length = curveSizes(gd).L;
    if (first.length == 0 || first.length > sizeof first.key) return 1;
    std::memcpy(first.key, key->key, first.length);
    return privateKeyScalar(gd, &first, d);
}

// x of the MQV shared point u RB + v QB as L octets; 1 when it is infinity.
// The twin product gives x alone. On a binary curve x = 0 is the engines' mark
// of infinity. On a prime curve x = 0 is also an ordinary point (0, y), so only
// then is the sum formed as whole points and infinity told by the engine's own
// test; that rare branch tells nothing beyond what the secret itself shows.
uint32_t sharedOctets(ksGlobalData* gd, const ksFieldElement& x, const ksInt* u, const ksPoint& rb, const ksInt* v,
                      const ksPoint& qb, uint8_t* z) {
    uint32_t zero = 1;
    if (fieldIsZero(gd, &x, &zero) != 0) return 1;
    if (zero == 0) {
        if (layoutOf(gd)->fieldType != kFieldTypePrime) return 1;
        ksPoint ur{}, vq{}, sum{};
        WipeOnExit wipeUr(ur);
        WipeOnExit wipeVq(vq);
        WipeOnExit wipeSum(sum);
        uint32_t notInfinity = 0;
        if (curvePointMultiply(gd, u, &rb, &ur) != 0 || curvePointMultiply(gd, v, &qb, &vq) != 0 ||
            curvePointAdd(gd, &ur, &vq, &sum) != 0 || ecIsInfinity(gd, &sum, &notInfinity) != 0 || notInfinity == 0)
            return 1;
    }
    return fieldToOctets(gd, &x, curveSizes(gd).L, z) != 0 ? 1 : 0;
}

// Z = x(d Q) for the local value and the remote key. With a cofactor the
// remote point must lie in the base point's subgroup: a point with a
// small-order part would give away d modulo the cofactor.
ksErrorCode dhSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksPrivateKey* local, uint8_t* z) {
    ksPoint q{};
    if (publicKeyPoint(gd, remote->length, remote->key, &q) != 0 || checkSubgroup(gd, &q) != 0) return kFailed;
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    if (localScalar(gd, local, &d) != 0) return kFailed;
    ksFieldElement x{};
    WipeOnExit wipeX(x);
    if (sharedPointX(gd, asInt(&d), &q, &x) != 0 || fieldToOctets(gd, &x, curveSizes(gd).L, z) != 0) return kFailed;
    return kOk;
}

// x(P) mod 2^half, half = floor((b + 1) / 2).
uint32_t xBar(ksGlobalData* gd, const ksPoint& p, ksIntGeneral* out) {
    const CurveSizes sizes = curveSizes(gd);
    const uint32_t half = (sizes.b + 1) / 2;
    uint8_t x[32];
    if (sizes.L > sizeof x || fieldToOctets(gd, &p.x, sizes.L, x) != 0) return 1;
    const uint32_t keep = (half + 7) / 8;
    if (keep < sizes.L) std::memset(x, 0, sizes.L - keep);
    if (half % 8 != 0 && keep <= sizes.L) x[sizes.L - keep] &= uint8_t((1u << (half % 8)) - 1);
    return tess::crypto::mp::mpFromOctets(sizes.L, x, asInt(out)) != 0 ? 1 : 0;
}

struct MqvKeys {
    const ksPublicKey* remoteEphemeral;
    const ksPrivateKey* localEphemeral;
    const ksPublicKey* remoteStatic;
    const ksPrivateKey* localStatic;
    const ksPublicKey* localEphemeralPublic;
};

// The argument checks shared by every MQV form.
ksErrorCode checkMqvKeys(const MqvKeys& k) {
    if (k.remoteEphemeral == nullptr) return kNoRemoteKey;
    if (badPublicLength(k.remoteEphemeral->length)) return kBadRemoteKey;
    if (k.localEphemeral == nullptr) return kNoLocalKey;
    if (badPrivateLength(k.localEphemeral->length)) return kBadLocalKey;
    if (k.remoteStatic == nullptr) return kNoRemotePublicKey;
    if (badPublicLength(k.remoteStatic->length)) return kBadRemotePublicKey;
    if (k.localStatic == nullptr) return kNoPrivateKey;
    if (badPrivateLength(k.localStatic->length)) return kBadLocalPrivateKey;
    if (k.localEphemeralPublic == nullptr) return kNoPublicKey;
    if (badPublicLength(k.localEphemeralPublic->length)) return kBadPublicKey;
    return kOk;
}

ksErrorCode mqvSecret(ksGlobalData* gd, const MqvKeys& k, uint8_t* z) {
    ksPoint rb{};
    ksPoint qb{};
    ksPoint ra{};
    ksIntReduced r{};
    ksIntReduced d{};
    WipeOnExit wipeR(r);
    WipeOnExit wipeD(d);
    if (publicKeyPoint(gd, k.remoteEphemeral->length, k.remoteEphemeral->key, &rb) != 0) return kFailed;
    if (localScalar(gd, k.localEphemeral, &r) != 0) return kFailed;
    if (publicKeyPoint(gd, k.remoteStatic->length, k.remoteStatic->key, &qb) != 0) return kBadRemotePublicKey;
    if (localScalar(gd, k.localStatic, &d) != 0) return kBadLocalPrivateKey;
    if (publicKeyPoint(gd, k.localEphemeralPublic->length, k.localEphemeralPublic->key, &ra) != 0) return kBadPublicKey;

    const ksInt* n = curveOrder(gd);
    ksIntGeneral xa{};
    ksIntGeneral xb{};
    ksIntReduced xaMod{};
    ksIntReduced xbMod{};
    ksIntReduced s{};
    ksIntReduced u{};
    ksIntReduced v{};
    WipeOnExit wipeS(s);
    WipeOnExit wipeU(u);
    WipeOnExit wipeV(v);
    // The modular steps fail only on record sizes, not on the secret r, d, s, u or v, so
    // they return early; the twin multiplication keeps its own fixed sequence.
    if (xBar(gd, ra, &xa) != 0 || xBar(gd, rb, &xb) != 0) return kFailed;
    if (mp::mpMod(asInt(&xa), n, &xaMod) != 0 || mp::mpMod(asInt(&xb), n, &xbMod) != 0) return kFailed;
    if (tess::crypto::mp::mpModMultiply(asInt(&xaMod), asInt(&d), n, &s) != 0) return kFailed;
    if (tess::crypto::mp::mpModAdd(asInt(&r), asInt(&s), n, &s) != 0) return kFailed;
    if (tess::crypto::mp::mpModMultiply(asInt(&s), asInt(&layoutOf(gd)->cofactor), n, &u) != 0) return kFailed;
    if (tess::crypto::mp::mpModMultiply(asInt(&xbMod), asInt(&u), n, &v) != 0) return kFailed;
    ksFieldElement x{};
    WipeOnExit wipeX(x);
    if (ecTwinMultiplyX(gd, asInt(&u), &rb, asInt(&v), &qb, &x) != 0) return kFailed;
    if (sharedOctets(gd, x, asInt(&u), rb, asInt(&v), qb, z) != 0) return kFailed;
    return kOk;
}

// Derives into key only when everything succeeded.
ksErrorCode deriveInto(ksErrorCode rc, const uint8_t* z, uint32_t L, uint32_t infoLength, const uint8_t* info,
                       uint32_t keyLength, uint8_t* key) {
    if (rc != kOk) return rc;
    return deriveKeySha1(L, z, infoLength, info, keyLength, key) != 0 ? kFailed : kOk;
}

ksErrorCode checkPassword(uint32_t passwordLength, const uint8_t* password) {
    if (password == nullptr) return kNoPassword;
    if (badPasswordLength(passwordLength)) return kBadPasswordLength;
    return kOk;
}

}  // namespace

uint32_t deriveKeySha1(uint32_t secretLength, const uint8_t* secret, uint32_t infoLength, const uint8_t* info,
                       uint32_t keyLength, uint8_t* key) {
    if (keyLength == 0 || keyLength > 20) return 1;
    ksSha1State state;
    WipeOnExit wipeState(state);
    uint8_t digest[20];
    WipeOnExit wipeDigest(digest);
    tess::crypto::sha1Init(&state);
    tess::crypto::sha1Update(secretLength, secret, &state);
    if (infoLength != 0) tess::crypto::sha1Update(infoLength, info, &state);
    tess::crypto::sha1Final(&state, digest);
    std::memcpy(key, digest, keyLength);
    return 0;
}

}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_dhGenerateValues(ksGlobalData* gd, ksPublicKey* publicOut, ksPrivateKey* privateOut) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (privateOut == nullptr) return kNoLocalKey;
    if (publicOut == nullptr) return kNoRemoteKey;
    std::memset(publicOut, 0, sizeof *publicOut);
    ksIntReduced d{};
    WipeOnExit wipeD(d);
    ksPoint q{};
    uint32_t length = 0;
    if (generateFreshPair(gd, &d, &q) != 0) return kFailed;
    if (tess::crypto::pointToOctets(gd, &q, sizeof publicOut->key, &length, publicOut->key) != 0) return kFailed;
    publicOut->length = length;
    const uint32_t L = curveSizes(gd).L;
    if (mp::mpMod(asInt(&d), curveOrder(gd), &d) != 0 ||
        tess::crypto::mp::mpToOctets(asInt(&d), L, privateOut->key) != 0)
        return kFailed;
    privateOut->length = L;
    return kOk;
}

ksErrorCode ks_mqvGenerateValues(ksGlobalData* gd, ksPublicKey* publicOut, ksPrivateKey* privateOut) {
    return ks_dhGenerateValues(gd, publicOut, privateOut);
}

ksErrorCode ks_dhPwdGenerateValues(ksGlobalData* gd, uint32_t passwordLength, const uint8_t* password,
                                   ksProtectedKey* protectedOut, ksPublicKey* publicOut) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkPassword(passwordLength, password)) return rc;
    if (protectedOut == nullptr) return kNoProtectedLocalKey;
    if (publicOut == nullptr) return kNoRemoteKey;
    ksPrivateKey value{};
    WipeOnExit wipeValue(value);
    ksPublicKey pub{};
    if (const ksErrorCode rc = ks_dhGenerateValues(gd, &pub, &value)) return rc;
    *publicOut = pub;
    return protectPrivateKey(gd, passwordLength, password, &value, protectedOut) != 0 ? kFailed : kOk;
}

ksErrorCode ks_dhSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksPrivateKey* local,
                              uint32_t keyLength, uint8_t* key) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (remote == nullptr) return kNoRemoteKey;
    if (badPublicLength(remote->length)) return kBadRemoteKey;
    if (local == nullptr) return kNoLocalKey;
    if (badPrivateLength(local->length)) return kBadLocalKey;
    if (key == nullptr) return kNoOutput;
    if (badDerivedLength(keyLength)) return kInputLength;
    uint8_t z[32];
    WipeOnExit wipeZ(z);
    const uint32_t L = curveSizes(gd).L;
    return deriveInto(dhSecret(gd, remote, local, z), z, L, 0, nullptr, keyLength, key);
}

ksErrorCode ks_dhSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remote, const ksPrivateKey* local,
                                         uint32_t infoLength, const uint8_t* info, uint32_t keyLength, uint8_t* key) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (remote == nullptr) return kNoRemoteKey;
    if (badPublicLength(remote->length)) return kBadRemoteKey;
    if (local == nullptr) return kNoLocalKey;
    if (local->length == 0) return kBadLocalKey;
    if (info == nullptr || infoLength == 0) return kNoBuffer;
    if (infoLength > kMaxInfo) return kBufferLength;
    if (key == nullptr) return kNoOutput;
    if (badDerivedLength(keyLength)) return kInputLength;
    uint8_t z[32];
    WipeOnExit wipeZ(z);
    const uint32_t L = curveSizes(gd).L;
    return deriveInto(dhSecret(gd, remote, local, z), z, L, infoLength, info, keyLength, key);
}

ksErrorCode ks_dhRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksPrivateKey* local,
                                 uint32_t* secretLength, uint8_t* secret) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (remote == nullptr) return kNoRemoteKey;
    if (badPublicLength(remote->length)) return kBadRemoteKey;
    if (local == nullptr) return kNoLocalKey;
    if (badPrivateLength(local->length)) return kBadLocalKey;
    if (secret == nullptr) return kNoOutput;
    if (secretLength == nullptr) return kNoLength;
    const uint32_t L = curveSizes(gd).L;
    if (*secretLength < L) {
        *secretLength = L;
        return kOutputLength;
    }
    uint8_t z[32];
    WipeOnExit wipeZ(z);
    if (const ksErrorCode rc = dhSecret(gd, remote, local, z)) return rc;
    std::memcpy(secret, z, L);
    *secretLength = L;
    return kOk;
}

ksErrorCode ks_mqvSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral, const ksPrivateKey* localEphemeral,
                               const ksPublicKey* remoteStatic, const ksPrivateKey* localStatic,
                               const ksPublicKey* localEphemeralPublic, uint32_t keyLength, uint8_t* key) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    const MqvKeys keys{remoteEphemeral, localEphemeral, remoteStatic, localStatic, localEphemeralPublic};
    if (const ksErrorCode rc = checkMqvKeys(keys)) return rc;
    if (key == nullptr) return kNoOutput;
    if (badDerivedLength(keyLength)) return kInputLength;
    uint8_t z[32];
    WipeOnExit wipeZ(z);
    return deriveInto(mqvSecret(gd, keys, z), z, curveSizes(gd).L, 0, nullptr, keyLength, key);
}

ksErrorCode ks_mqvSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                          const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                          const ksPrivateKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                          uint32_t infoLength, const uint8_t* info, uint32_t keyLength, uint8_t* key) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    const MqvKeys keys{remoteEphemeral, localEphemeral, remoteStatic, localStatic, localEphemeralPublic};
    if (const ksErrorCode rc = checkMqvKeys(keys)) return rc;
    if (infoLength != 0 && info == nullptr) return kNoBuffer;
    if (infoLength > kMaxInfo) return kBufferLength;
    if (key == nullptr) return kNoOutput;
    if (badDerivedLength(keyLength)) return kInputLength;
    uint8_t z[32];
    WipeOnExit wipeZ(z);
    return deriveInto(mqvSecret(gd, keys, z), z, curveSizes(gd).L, infoLength, info, keyLength, key);
}

ksErrorCode ks_mqvRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                  const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                  const ksPrivateKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                  uint32_t* secretLength, uint8_t* secret) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    const MqvKeys keys{remoteEphemeral, localEphemeral, remoteStatic, localStatic, localEphemeralPublic};
    if (const ksErrorCode rc = checkMqvKeys(keys)) return rc;
    if (secret == nullptr) return kNoOutput;
    if (secretLength == nullptr) return kNoLength;
    const uint32_t L = curveSizes(gd).L;
    if (*secretLength < L) {
        *secretLength = L;
        return kBufferLength;
    }
    uint8_t z[32];
    WipeOnExit wipeZ(z);
    if (const ksErrorCode rc = mqvSecret(gd, keys, z)) return rc;
    std::memcpy(secret, z, L);
    *secretLength = L;
    return kOk;
}

// Password forms: the protected local key is opened, then the plain form runs.
namespace {

ksErrorCode openDhKey(ksGlobalData* gd, const ksProtectedKey* key, uint32_t passwordLength, const uint8_t* password,
                      bool passwordFirst, ksPrivateKey* out) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (passwordFirst) {
        if (const ksErrorCode rc = checkPassword(passwordLength, password)) return rc;
    }
    if (key == nullptr) return kNoProtectedLocalKey;
    if (badPrivateLength(key->length)) return kBadProtectedLocalKey;
    if (!passwordFirst) {
        if (const ksErrorCode rc = checkPassword(passwordLength, password)) return rc;
    }
    return unprotectPrivateKey(gd, passwordLength, password, key, out) != 0 ? kFailed : kOk;
}

ksErrorCode openMqvKey(ksGlobalData* gd, const ksProtectedKey* key, uint32_t passwordLength, const uint8_t* password,
                       ksPrivateKey* out) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkPassword(passwordLength, password)) return rc;
    if (key == nullptr) return kNoProtectedKey;
    if (badPrivateLength(key->length)) return kBadProtectedKey;
    return unprotectPrivateKey(gd, passwordLength, password, key, out) != 0 ? kFailed : kOk;
}

}  // namespace

ksErrorCode ks_dhPwdSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksProtectedKey* local,
                                 uint32_t passwordLength, const uint8_t* password, uint32_t keyLength, uint8_t* key) {
    ksPrivateKey opened{};
    WipeOnExit wipeOpened(opened);
    if (const ksErrorCode rc = openDhKey(gd, local, passwordLength, password, true, &opened)) return rc;
    return ks_dhSharedSecret(gd, remote, &opened, keyLength, key);
}

ksErrorCode ks_dhPwdSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remote, const ksProtectedKey* local,
                                            uint32_t passwordLength, const uint8_t* password, uint32_t infoLength,
                                            const uint8_t* info, uint32_t keyLength, uint8_t* key) {
    ksPrivateKey opened{};
    WipeOnExit wipeOpened(opened);
    if (const ksErrorCode rc = openDhKey(gd, local, passwordLength, password, false, &opened)) return rc;
    return ks_dhSharedSecretWithAddInfo(gd, remote, &opened, infoLength, info, keyLength, key);
}

ksErrorCode ks_dhPwdRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remote, const ksProtectedKey* local,
                                    uint32_t passwordLength, const uint8_t* password, uint32_t* secretLength,
                                    uint8_t* secret) {
    ksPrivateKey opened{};
    WipeOnExit wipeOpened(opened);
    if (const ksErrorCode rc = openDhKey(gd, local, passwordLength, password, false, &opened)) return rc;
    return ks_dhRawSharedSecret(gd, remote, &opened, secretLength, secret);
}

ksErrorCode ks_mqvPwdSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                  const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                  const ksProtectedKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                  uint32_t passwordLength, const uint8_t* password, uint32_t keyLength, uint8_t* key) {
    ksPrivateKey opened{};
    WipeOnExit wipeOpened(opened);
    if (const ksErrorCode rc = openMqvKey(gd, localStatic, passwordLength, password, &opened)) return rc;
    return ks_mqvSharedSecret(gd, remoteEphemeral, localEphemeral, remoteStatic, &opened, localEphemeralPublic,
                              keyLength, key);
}

ksErrorCode ks_mqvPwdSharedSecretWithAddInfo(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                             const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                             const ksProtectedKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                             uint32_t passwordLength, const uint8_t* password, uint32_t infoLength,
                                             const uint8_t* info, uint32_t keyLength, uint8_t* key) {
    ksPrivateKey opened{};
    WipeOnExit wipeOpened(opened);
    if (const ksErrorCode rc = openMqvKey(gd, localStatic, passwordLength, password, &opened)) return rc;
    return ks_mqvSharedSecretWithAddInfo(gd, remoteEphemeral, localEphemeral, remoteStatic, &opened,
                                         localEphemeralPublic, infoLength, info, keyLength, key);
}

ksErrorCode ks_mqvPwdRawSharedSecret(ksGlobalData* gd, const ksPublicKey* remoteEphemeral,
                                     const ksPrivateKey* localEphemeral, const ksPublicKey* remoteStatic,
                                     const ksProtectedKey* localStatic, const ksPublicKey* localEphemeralPublic,
                                     uint32_t passwordLength, const uint8_t* password, uint32_t* secretLength,
                                     uint8_t* secret) {
    ksPrivateKey opened{};
    WipeOnExit wipeOpened(opened);
    if (const ksErrorCode rc = openMqvKey(gd, localStatic, passwordLength, password, &opened)) return rc;
    return ks_mqvRawSharedSecret(gd, remoteEphemeral, localEphemeral, remoteStatic, &opened, localEphemeralPublic,
                                 secretLength, secret);
}
