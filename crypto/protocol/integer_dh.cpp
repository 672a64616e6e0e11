// Integer Diffie-Hellman (safe-prime and ANSI X9.42 parameters) over
// OpenSSL's BN and DH, with every random number from the context's generator.
#include <openssl/dh.h>

#include <cstring>
#include <vector>

#include "crypto/global_data.h"
#include "crypto/protocol/integer_groups.h"
#include "crypto/protocol/key_agreement.h"
#include "crypto/kestrel_protocols.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

constexpr uint32_t kArea = 256;
constexpr uint32_t kSecretArea = 512;
constexpr uint32_t kMaxSeed = 257;
constexpr uint32_t kHasP = 1;
constexpr uint32_t kHasG = 2;
constexpr uint32_t kHasQ = 4;
constexpr uint32_t kHasAll = kHasP | kHasG | kHasQ;

bool outside(uint32_t length, uint32_t low) { return length < low || length > kArea; }

ksErrorCode checkParameters(const ksDlParameters* params) {
    if (params == nullptr) return kNoParameters;
    if (outside(params->pLength, 2) || outside(params->qLength, 2) || outside(params->gLength, 1))
        return kBadParameters;
    return kOk;
}

ksErrorCode checkPrivate(const ksDhKey* key) {
    if (key == nullptr) return kNoLocalKey;
    return outside(key->length, 1) ? kBadLocalKey : kOk;
}

ksErrorCode checkPublic(const ksDhKey* key) {
    if (key == nullptr) return kNoRemoteKey;
    return outside(key->length, 1) ? kBadRemoteKey : kOk;
}

// The values the present word marks (the others stay null).
struct Group {
    BnValue p, q, g;
    bool read(const ksDlParameters& r, uint32_t needed) {
        if ((r.present & needed) != needed) return false;
        if (r.present & kHasP) {
            p = newValue();
            if (!p || !readValue(r.p, r.pLength, p.get())) return false;
        }
        if (r.present & kHasQ) {
            q = newValue();
            if (!q || !readValue(r.q, r.qLength, q.get())) return false;
        }
        if (r.present & kHasG) {
            g = newValue();
            if (!g || !readValue(r.g, r.gLength, g.get())) return false;
        }
        return true;
    }
};

bool writeKey(const BIGNUM* v, ksDhKey* key) { return writeValue(v, key->value, kArea, &key->length); }

bool writeParameters(const BIGNUM* p, const BIGNUM* q, const BIGNUM* g, ksDlParameters* params) {
    if (!writeValue(p, params->p, kArea, &params->pLength)) return false;
    params->present |= kHasP;
    if (!writeValue(g, params->g, kArea, &params->gLength)) return false;
    params->present |= kHasG;
    if (!writeValue(q, params->q, kArea, &params->qLength)) return false;
    params->present |= kHasQ;
    return true;
}

// Small-prime sieve in front of the probabilistic test.
bool survivesSieve(const BIGNUM* v) {
    static const BN_ULONG kPrimes[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67, 71, 73};
    for (BN_ULONG prime : kPrimes) {
        if (BN_cmp(v, BN_value_one()) > 0 && BN_num_bits(v) > 7 && BN_mod_word(v, prime) == 0) return false;
    }
    return true;
}

// p = 2q + 1 of pBits bits with p and q prime; candidates from the generator.
bool safePrime(ksGlobalData* gd, int pBits, BIGNUM* p, BIGNUM* q, BN_CTX* ctx) {
    for (;;) {
        if (!randomBits(gd, pBits - 1, true, true, q) || !BN_lshift1(p, q) || !BN_add_word(p, 1)) return false;
        if (BN_num_bits(p) != pBits || !survivesSieve(q) || !survivesSieve(p)) continue;
        if (isPrime(q, ctx) && isPrime(p, ctx)) return true;
    }
}

// 1 < y < p and y^q = 1 (mod p).
bool inSubgroup(const BIGNUM* y, const Group& grp, BN_CTX* ctx) {
    BnValue t = newValue();
    if (!t || BN_cmp(y, BN_value_one()) <= 0 || BN_cmp(y, grp.p.get()) >= 0) return false;
    return BN_mod_exp(t.get(), y, grp.q.get(), grp.p.get(), ctx) == 1 && BN_is_one(t.get());
}

struct DhFree {
    void operator()(DH* d) const { DH_free(d); }
};

// Z = y^x mod p in minimal octets: OpenSSL's DH_compute_key, or BN arithmetic
// for the moduli it refuses; y must satisfy 1 < y < p - 1.
bool rawSecret(const ksDlParameters& params, const ksDhKey& local, const ksDhKey& remote, uint8_t* z,
               uint32_t* length) {
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue x = newValue(), y = newValue(), pMinus1 = newValue(), zValue = newValue();
    if (!ctx || !x || !y || !pMinus1 || !zValue || !grp.read(params, kHasP) ||
        !readValue(local.value, local.length, x.get()) || !readValue(remote.value, remote.length, y.get()) ||
        !BN_sub(pMinus1.get(), grp.p.get(), BN_value_one()))
        return false;
    if (BN_cmp(y.get(), BN_value_one()) <= 0 || BN_cmp(y.get(), pMinus1.get()) >= 0) return false;

    std::unique_ptr<DH, DhFree> dh(DH_new());
    BIGNUM* p = BN_dup(grp.p.get());
    BIGNUM* g = grp.g ? BN_dup(grp.g.get()) : BN_new();
    if (g != nullptr && !grp.g) BN_set_word(g, 2);  // DH wants a generator; it is not used here
    BIGNUM* priv = BN_dup(x.get());
    if (!dh || !p || !g || !priv || DH_set0_pqg(dh.get(), p, nullptr, g) != 1) {
        BN_free(p);
        BN_free(g);
        BN_clear_free(priv);
        return false;
    }
    if (DH_set0_key(dh.get(), nullptr, priv) != 1) {
        BN_clear_free(priv);
        return false;
    }
    std::vector<uint8_t> out(size_t(BN_num_bytes(grp.p.get())) + 1);
    const int n = DH_compute_key(out.data(), y.get(), dh.get());
    bool ok = false;
    if (n > 0 && uint32_t(n) <= kArea) {
        std::memcpy(z, out.data(), size_t(n));
        *length = uint32_t(n);
        ok = true;
    } else {
        BN_set_flags(x.get(), BN_FLG_CONSTTIME);
        ok = BN_mod_exp_mont_consttime(zValue.get(), y.get(), x.get(), grp.p.get(), ctx.get(), nullptr) == 1 &&
             writeValue(zValue.get(), z, kArea, length);
    }
    wipe(out.data(), out.size());
    return ok;
}

// Both parameter records' value areas agree over the given lengths.
bool sameAreas(const ksDlParameters& a, const ksDlParameters& b, const ksDlParameters& lengths) {
    return lengths.pLength <= kArea && lengths.qLength <= kArea && lengths.gLength <= kArea &&
           std::memcmp(a.p, b.p, lengths.pLength) == 0 && std::memcmp(a.q, b.q, lengths.qLength) == 0 &&
           std::memcmp(a.g, b.g, lengths.gLength) == 0;
}

// Ze || Zs, or the static secret alone when the remote's two keys coincide.
ksErrorCode hybrid(const ksDlParameters& staticParams, const ksDlParameters& ephemeralParams,
                   const ksDhKey& localStatic, const ksDhKey& remoteStatic, const ksDhKey& localEphemeral,
                   const ksDhKey& remoteEphemeral, bool checkCoincidence, ksDhSecret* secret) {
    std::memset(secret->value, 0, kArea);
    secret->length = 0;
    uint8_t zs[kArea];
    uint8_t ze[kArea];
    WipeOnExit wipeZs(zs);
    WipeOnExit wipeZe(ze);
    uint32_t zsLength = 0;
    uint32_t zeLength = 0;
    if (checkCoincidence) {
        Group grp;
        BnContext ctx(BN_CTX_new());
        BnValue ys = newValue(), ye = newValue();
        if (!ctx || !ys || !ye || !grp.read(staticParams, kHasP) ||
            !readValue(remoteStatic.value, remoteStatic.length, ys.get()) ||
            !readValue(remoteEphemeral.value, remoteEphemeral.length, ye.get()) ||
            !BN_nnmod(ys.get(), ys.get(), grp.p.get(), ctx.get()))
            return kFailed;
        if (BN_cmp(ys.get(), ye.get()) == 0) {
            if (!rawSecret(staticParams, localStatic, remoteStatic, zs, &zsLength)) return kFailed;
            std::memcpy(secret->value, zs, zsLength);
            secret->length = zsLength;
            return kOk;
        }
    }
    if (!rawSecret(ephemeralParams, localEphemeral, remoteEphemeral, ze, &zeLength) ||
        !rawSecret(staticParams, localStatic, remoteStatic, zs, &zsLength))
        return kFailed;
    std::memcpy(secret->value, ze, zeLength);
    std::memcpy(secret->value + zeLength, zs, zsLength);
    secret->length = zeLength + zsLength;
    return kOk;
}

ksErrorCode checkHybridKeys(const ksDhKey* ls, const ksDhKey* rs, const ksDhKey* le, const ksDhKey* re,
                            const ksDhSecret* secret) {
    if (ls == nullptr || le == nullptr) return kNoLocalKey;
    if (outside(ls->length, 1) || outside(le->length, 1)) return kBadLocalKey;
    if (rs == nullptr || re == nullptr) return kNoRemoteKey;
    if (outside(rs->length, 1) || outside(re->length, 1)) return kBadRemoteKey;
    if (secret == nullptr) return kNoBuffer;
    return kOk;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_dhGenerateParameters(ksGlobalData* gd, uint32_t pBits, ksDlParameters* params) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (pBits < 16 || pBits > 2048) return kBadParameters;
    if (params == nullptr) return kNoParameters;
    params->present = 0;
    BnContext ctx(BN_CTX_new());
    BnValue p = newValue(), q = newValue(), g = newValue(), t = newValue();
    if (!ctx || !p || !q || !g || !t || !safePrime(gd, int(pBits), p.get(), q.get(), ctx.get())) return kFailed;
    // The smallest g from 2 up in the subgroup of order q.
    for (BN_ULONG w = 2;; ++w) {
        if (!BN_set_word(g.get(), w) || !BN_mod_exp(t.get(), g.get(), q.get(), p.get(), ctx.get())) return kFailed;
        if (BN_is_one(t.get())) break;
        if (w > 0x10000) return kFailed;
    }
    return writeParameters(p.get(), q.get(), g.get(), params) ? kOk : kFailed;
}

ksErrorCode ks_dhGenerateKeyPair(ksGlobalData* gd, const ksDlParameters* params, ksDhKey* privateKey,
                                 ksDhKey* publicKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (publicKey == nullptr) return kNoRemoteKey;
    if (privateKey == nullptr) return kNoLocalKey;
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue x = newValue(), y = newValue();
    if (!ctx || !x || !y || !grp.read(*params, kHasAll) || BN_num_bits(grp.q.get()) < 3) return kFailed;
    do {
        if (!randomBits(gd, BN_num_bits(grp.q.get()) - 1, false, false, x.get())) return kFailed;
    } while (BN_is_zero(x.get()));
    BN_set_flags(x.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_exp_mont_consttime(y.get(), grp.g.get(), x.get(), grp.p.get(), ctx.get(), nullptr)) return kFailed;
    return writeKey(y.get(), publicKey) && writeKey(x.get(), privateKey) ? kOk : kFailed;
}

ksErrorCode ks_dhRawSecret(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* localPrivateKey,
                           const ksDhKey* remotePublicKey, ksDhSecret* secret) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPrivate(localPrivateKey)) return rc;
    if (const ksErrorCode rc = checkPublic(remotePublicKey)) return rc;
    if (secret == nullptr) return kNoBuffer;
    uint8_t z[kArea];
    WipeOnExit wipeZ(z);
    uint32_t length = 0;
    if (!rawSecret(*params, *localPrivateKey, *remotePublicKey, z, &length)) return kFailed;
    std::memcpy(secret->value, z, length);
    secret->length = length;
    return kOk;
}

ksErrorCode ks_dhDeriveKey(ksGlobalData* gd, const ksDhSecret* secret, uint32_t infoLength, const uint8_t* info,
                           uint32_t keyLength, uint8_t* key) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (secret == nullptr) return kNoInput;
    if (secret->length == 0 || secret->length > kSecretArea) return kInputLength;
    if (infoLength != 0 && info == nullptr) return kNoBuffer;
    if (infoLength == 0 && info != nullptr) return kBufferLength;
    if (keyLength == 0 || keyLength > 20) return kOutputLength;
    if (key == nullptr) return kNoOutput;
    return deriveKeySha1(secret->length, secret->value, infoLength, info, keyLength, key) != 0 ? kFailed : kOk;
}

ksErrorCode ks_dhValidateParameters(ksGlobalData* gd, const ksDlParameters* params, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (valid == nullptr) return kNoFlag;
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue t = newValue();
    if (!ctx || !t || !grp.read(*params, kHasP | kHasG)) return kFailed;
    *valid = 0;
    if (!isPrime(grp.p.get(), ctx.get())) return kOk;
    if (!(params->present & kHasQ) || !grp.read(*params, kHasAll)) return kFailed;
    if (!isPrime(grp.q.get(), ctx.get())) return kOk;
    if (!BN_sub(t.get(), grp.p.get(), BN_value_one()) || !BN_mod(t.get(), t.get(), grp.q.get(), ctx.get()))
        return kFailed;
    if (!BN_is_zero(t.get())) return kOk;
    if (BN_cmp(grp.g.get(), BN_value_one()) <= 0 || BN_cmp(grp.g.get(), grp.p.get()) >= 0) return kOk;
    if (!BN_mod_exp(t.get(), grp.g.get(), grp.q.get(), grp.p.get(), ctx.get())) return kFailed;
    *valid = BN_is_one(t.get()) ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dhValidatePublicKey(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* publicKey,
                                   uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPublic(publicKey)) return rc;
    if (valid == nullptr) return kNoFlag;
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue y = newValue();
    if (!ctx || !y || !grp.read(*params, kHasP | kHasQ) || !readValue(publicKey->value, publicKey->length, y.get()))
        return kFailed;
    *valid = inSubgroup(y.get(), grp, ctx.get()) ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dhValidatePrivateKey(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* privateKey,
                                    uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPrivate(privateKey)) return rc;
    if (valid == nullptr) return kNoFlag;
    Group grp;
    BnValue x = newValue();
    if (!x || !grp.read(*params, kHasQ) || !readValue(privateKey->value, privateKey->length, x.get())) return kFailed;
    *valid = !BN_is_zero(x.get()) && BN_cmp(x.get(), grp.q.get()) < 0 ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dhX942GenerateParameters(ksGlobalData* gd, uint32_t pBits, uint32_t qBits, uint32_t* seedLength,
                                        uint8_t* seed, uint32_t* counter, ksDlParameters* params) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (pBits == 0 || pBits > 2048 || pBits % 256 != 0 || qBits < 160 || qBits > pBits) return kBadParameters;
    if (seedLength == nullptr) return kNoBufferLength;
    if (seed == nullptr) return kNoBuffer;
    if (counter == nullptr) return kNoFlag;
    if (params == nullptr) return kNoParameters;
    *counter = 0;
    params->present = 0;
    BnValue p = newValue(), q = newValue(), g = newValue();
    FfcSeed used{};
    const bool ok =
        p && q && g && *seedLength <= kMaxSeed &&
        generateFfcParameters(gd, int(pBits), int(qBits), seed, *seedLength, 0, &used, p.get(), q.get(), g.get()) &&
        writeParameters(p.get(), q.get(), g.get(), params);
    if (!ok) {
        wipe(seed, *seedLength);
        *seedLength = 0;
        *counter = 0;
        return kFailed;
    }
    std::memcpy(seed, used.octets, used.length);
    *seedLength = used.length;
    *counter = used.counter;
    return kOk;
}

ksErrorCode ks_dhX942GenerateKeyPair(ksGlobalData* gd, uint32_t b, const ksDlParameters* params, ksDhKey* privateKey,
                                     ksDhKey* publicKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (b == 0) return kBadParameters;
    if (publicKey == nullptr) return kNoRemoteKey;
    if (privateKey == nullptr) return kNoLocalKey;
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue low = newValue(), t = newValue(), r = newValue(), x = newValue(), y = newValue();
    if (!ctx || !low || !t || !r || !x || !y || !grp.read(*params, kHasAll)) return kFailed;
    // low = 2^b + 1; t = q - 1 - low; x = low + (R mod t), so low <= x <= q - 2.
    if (!BN_set_bit(low.get(), int(b)) || !BN_add_word(low.get(), 1) || !BN_sub(t.get(), grp.q.get(), BN_value_one()) ||
        !BN_sub(t.get(), t.get(), low.get()))
        return kFailed;
    if (BN_is_negative(t.get()) || BN_is_zero(t.get())) return kBadParameters;  // no room above 2^b + 1
    if (!randomBits(gd, BN_num_bits(t.get()), true, false, r.get()) || !BN_mod(r.get(), r.get(), t.get(), ctx.get()) ||
        !BN_add(x.get(), low.get(), r.get()))
        return kFailed;
    BN_set_flags(x.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_exp_mont_consttime(y.get(), grp.g.get(), x.get(), grp.p.get(), ctx.get(), nullptr)) return kFailed;
    return writeKey(y.get(), publicKey) && writeKey(x.get(), privateKey) ? kOk : kFailed;
}

ksErrorCode ks_dhX942ValidateParameters(ksGlobalData* gd, uint32_t seedLength, const uint8_t* seed, uint32_t counter,
                                        const ksDlParameters* params, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (valid == nullptr) return kNoFlag;
    if (seed == nullptr && seedLength != 0) return kNoBuffer;
    if (seedLength > kMaxSeed) return kFailed;
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue p = newValue(), q = newValue(), g = newValue(), t = newValue();
    if (!ctx || !p || !q || !g || !t || !grp.read(*params, kHasAll)) return kFailed;
    FfcSeed used{};
    const int pBits = BN_num_bits(grp.p.get());
    const int qBits = BN_num_bits(grp.q.get());
    // Parameters that the seed and counter do not reproduce are invalid (not an error).
    *valid = 0;
    if (!generateFfcParameters(gd, pBits, qBits, seed, seedLength, counter, &used, p.get(), q.get(), g.get(), true))
        return kOk;
    BnValue given = newValue();
    if (!given || !readValue(seed, seedLength, given.get())) return kFailed;
    uint8_t minimal[kMaxSeed + 1];
    uint32_t minimalLength = 0;
    if (!writeValue(given.get(), minimal, sizeof minimal, &minimalLength)) return kFailed;
    if (used.counter != counter || BN_cmp(p.get(), grp.p.get()) != 0 || BN_cmp(q.get(), grp.q.get()) != 0) return kOk;
    if (used.length != minimalLength || std::memcmp(used.octets, minimal, minimalLength) != 0) return kOk;
    if (!BN_sub(t.get(), grp.p.get(), BN_value_one())) return kFailed;
    if (BN_cmp(grp.g.get(), BN_value_one()) <= 0 || BN_cmp(grp.g.get(), t.get()) >= 0) return kOk;
    if (!BN_mod_exp(t.get(), grp.g.get(), grp.q.get(), grp.p.get(), ctx.get())) return kFailed;
    *valid = BN_is_one(t.get()) ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dhX942ValidatePublicKey(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* publicKey,
                                       uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPublic(publicKey)) return rc;
    if (valid == nullptr) return kNoFlag;
    Group grp;
    BnContext ctx(BN_CTX_new());
    BnValue y = newValue();
    if (!ctx || !y || !grp.read(*params, kHasAll) || !readValue(publicKey->value, publicKey->length, y.get()))
        return kFailed;
    *valid = inSubgroup(y.get(), grp, ctx.get()) && BN_cmp(y.get(), grp.g.get()) != 0 ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dhX942Hybrid1(ksGlobalData* gd, const ksDlParameters* params, const ksDhKey* localStaticPrivateKey,
                             const ksDhKey* remoteStaticPublicKey, const ksDhKey* localEphemeralPrivateKey,
                             const ksDhKey* remoteEphemeralPublicKey, ksDhSecret* secret) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkHybridKeys(localStaticPrivateKey, remoteStaticPublicKey, localEphemeralPrivateKey,
                                               remoteEphemeralPublicKey, secret))
        return rc;
    return hybrid(*params, *params, *localStaticPrivateKey, *remoteStaticPublicKey, *localEphemeralPrivateKey,
                  *remoteEphemeralPublicKey, true, secret);
}

ksErrorCode ks_dhX942Hybrid2(ksGlobalData* gd, const ksDlParameters* staticParams, const ksDhKey* localStaticPrivateKey,
                             const ksDhKey* remoteStaticPublicKey, const ksDlParameters* ephemeralParams,
                             const ksDhKey* localEphemeralPrivateKey, const ksDhKey* remoteEphemeralPublicKey,
                             ksDhSecret* secret) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (staticParams == nullptr || ephemeralParams == nullptr) return kNoParameters;
    if (outside(staticParams->pLength, 2) || outside(staticParams->qLength, 2) ||
        outside(ephemeralParams->gLength, 1) || outside(ephemeralParams->pLength, 2) ||
        outside(ephemeralParams->qLength, 2))
        return kBadParameters;
    if (const ksErrorCode rc = checkHybridKeys(localStaticPrivateKey, remoteStaticPublicKey, localEphemeralPrivateKey,
                                               remoteEphemeralPublicKey, secret))
        return rc;
    if ((staticParams->present & kHasAll) != kHasAll || (ephemeralParams->present & kHasAll) != kHasAll) return kFailed;
    const bool same = sameAreas(*staticParams, *ephemeralParams, *ephemeralParams) &&
                      sameAreas(*staticParams, *ephemeralParams, *staticParams);
    return hybrid(*staticParams, same ? *staticParams : *ephemeralParams, *localStaticPrivateKey,
                  *remoteStaticPublicKey, *localEphemeralPrivateKey, *remoteEphemeralPublicKey, same, secret);
}
