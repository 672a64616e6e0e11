// DSA with SHA-1 over caller-held records. Numbers the protocol draws (seeds,
// private keys, the per-signature k) come from the context's generator and
// are handed to OpenSSL's BN arithmetic; verification is OpenSSL's
// DSA_do_verify on (r, s).
#include <openssl/dsa.h>

#include <cstring>

#include "crypto/global_data.h"
#include "crypto/hash/internal.h"
#include "crypto/protocol/integer_groups.h"
#include "crypto/kestrel_protocols.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

constexpr uint32_t kArea = 128;
constexpr uint32_t kSeedLength = 20;
constexpr uint32_t kMaxComponent = 20;  // r and s with a 160-bit q
constexpr uint32_t kSignState = 1;
constexpr uint32_t kVerifyState = 2;

struct DsaStream {
    uint32_t state;
    ksSha1State sha;
    uint32_t spare;
};
static_assert(sizeof(DsaStream) == sizeof(ksDsaContext));

DsaStream* streamOf(ksDsaContext* ctx) { return reinterpret_cast<DsaStream*>(ctx); }

bool badLength(uint32_t length) { return length == 0 || length > kArea; }

ksErrorCode checkParameters(const ksDsaParameters* params) {
    if (params == nullptr) return kNoParameters;
    if (badLength(params->pLength) || badLength(params->qLength) || badLength(params->gLength)) return kBadParameters;
    return kOk;
}

ksErrorCode checkPrivate(const ksDsaKey* key) {
    if (key == nullptr) return kNoPrivateKey;
    return badLength(key->length) ? kBadPrivateKey : kOk;
}

ksErrorCode checkPublic(const ksDsaKey* key) {
    if (key == nullptr) return kNoPublicKey;
    return badLength(key->length) ? kBadPublicKey : kOk;
}

ksErrorCode checkSignature(const ksDsaSignature* sig) {
    if (sig == nullptr) return kDsaNoSignature;
    return badLength(sig->rLength) || badLength(sig->sLength) ? kDsaBadSignature : kOk;
}

struct Domain {
    BnValue p = newValue();
    BnValue q = newValue();
    BnValue g = newValue();
    bool read(const ksDsaParameters& r) {
        return p && q && g && readValue(r.p, r.pLength, p.get()) && readValue(r.q, r.qLength, q.get()) &&
               readValue(r.g, r.gLength, g.get());
    }
};

// The digest as OpenSSL reads it: at most as many octets as q has.
bool digestValue(const BIGNUM* q, uint32_t length, const uint8_t* digest, BIGNUM* m) {
    const uint32_t qOctets = uint32_t(BN_num_bytes(q));
    return readValue(digest, length < qOctets ? length : qOctets, m);
}

// (r, s) for the digest with x, k from the generator (or the test seam).
ksErrorCode sign(ksGlobalData* gd, const ksDsaParameters& params, const ksDsaKey& key, uint32_t digestLength,
                 const uint8_t* digest, ksDsaSignature* signature) {
    Domain d;
    BnContext ctx(BN_CTX_new());
    BnValue x = newValue(), k = newValue(), kInverse = newValue(), r = newValue(), s = newValue(), m = newValue(),
            qMinus1 = newValue();
    if (!ctx || !x || !k || !kInverse || !r || !s || !m || !qMinus1 || !d.read(params) ||
        !readValue(key.value, key.length, x.get()) || !digestValue(d.q.get(), digestLength, digest, m.get()) ||
        !BN_sub(qMinus1.get(), d.q.get(), BN_value_one()))
        return kFailed;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!dsaNonceFromSource(k.get())) {
            if (!randomBelow(gd, qMinus1.get(), k.get()) || !BN_add_word(k.get(), 1)) return kFailed;
        }
        BN_set_flags(k.get(), BN_FLG_CONSTTIME);
        if (!BN_mod_exp_mont_consttime(r.get(), d.g.get(), k.get(), d.p.get(), ctx.get(), nullptr) ||
            !BN_nnmod(r.get(), r.get(), d.q.get(), ctx.get()))
            return kFailed;
        if (BN_is_zero(r.get())) continue;
        if (!BN_mod_inverse(kInverse.get(), k.get(), d.q.get(), ctx.get()) ||
            !BN_mod_mul(s.get(), x.get(), r.get(), d.q.get(), ctx.get()) ||
            !BN_mod_add(s.get(), s.get(), m.get(), d.q.get(), ctx.get()) ||
            !BN_mod_mul(s.get(), s.get(), kInverse.get(), d.q.get(), ctx.get()))
            return kFailed;
        if (BN_is_zero(s.get())) continue;
        std::memset(signature, 0, sizeof *signature);
        if (!writeValue(r.get(), signature->r, kArea, &signature->rLength) ||
            !writeValue(s.get(), signature->s, kArea, &signature->sLength))
            return kFailed;
        return kOk;
    }
    return kFailed;
}

struct DsaFree {
    void operator()(DSA* d) const { DSA_free(d); }
};
struct DsaSigFree {
    void operator()(DSA_SIG* s) const { DSA_SIG_free(s); }
};

// OpenSSL's verdict on (r, s); components beyond 20 octets are invalid.
ksErrorCode verify(const ksDsaParameters& params, const ksDsaKey& key, const ksDsaSignature& signature,
                   uint32_t digestLength, const uint8_t* digest, uint32_t* valid) {
    *valid = 0;
    if (signature.rLength > kMaxComponent || signature.sLength > kMaxComponent) return kOk;
    std::unique_ptr<DSA, DsaFree> dsa(DSA_new());
    std::unique_ptr<DSA_SIG, DsaSigFree> sig(DSA_SIG_new());
    if (!dsa || !sig) return kFailed;
    BIGNUM* p = BN_bin2bn(params.p, int(params.pLength), nullptr);
    BIGNUM* q = BN_bin2bn(params.q, int(params.qLength), nullptr);
    BIGNUM* g = BN_bin2bn(params.g, int(params.gLength), nullptr);
    if (DSA_set0_pqg(dsa.get(), p, q, g) != 1) {
        BN_free(p);
        BN_free(q);
        BN_free(g);
        return kFailed;
    }
    BIGNUM* y = BN_bin2bn(key.value, int(key.length), nullptr);
    if (DSA_set0_key(dsa.get(), y, nullptr) != 1) {
        BN_free(y);
        return kFailed;
    }
    BIGNUM* r = BN_bin2bn(signature.r, int(signature.rLength), nullptr);
    BIGNUM* s = BN_bin2bn(signature.s, int(signature.sLength), nullptr);
    if (DSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return kFailed;
    }
    const int verdict = DSA_do_verify(digest, int(digestLength), sig.get(), dsa.get());
    if (verdict < 0) return kFailed;
    *valid = verdict == 1 ? 1 : 0;
    return kOk;
}

ksErrorCode begin(ksGlobalData* gd, ksDsaContext* ctx, uint32_t state) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (ctx == nullptr) return kNoContext;
    wipeObject(*ctx);
    tess::crypto::sha1Init(&streamOf(ctx)->sha);
    streamOf(ctx)->state = state;
    return kOk;
}

ksErrorCode update(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksDsaContext* ctx, uint32_t state) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (length == 0) return kBufferLength;
    if (data == nullptr) return kNoBuffer;
    if (ctx == nullptr) return kNoContext;
    if ((streamOf(ctx)->state & state) == 0) return kContextNotInitialized;
    tess::crypto::sha1Update(length, data, &streamOf(ctx)->sha);
    return kOk;
}

// Finishes the stream's digest; the context is ended and its hash part cleared.
void finish(ksDsaContext* ctx, uint8_t digest[20]) {
    tess::crypto::sha1Final(&streamOf(ctx)->sha, digest);
    wipeObject(*ctx);
}

// y^q mod p = 1 with 1 < y < p.
bool inSubgroup(const BIGNUM* y, const Domain& d, BN_CTX* ctx) {
    BnValue t = newValue();
    BnValue pMinus1 = newValue();
    if (!t || !pMinus1 || !BN_sub(pMinus1.get(), d.p.get(), BN_value_one())) return false;
    if (BN_cmp(y, BN_value_one()) <= 0 || BN_cmp(y, d.p.get()) >= 0) return false;
    return BN_mod_exp(t.get(), y, d.q.get(), d.p.get(), ctx) == 1 && BN_is_one(t.get());
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_dsaGenerateParameters(ksGlobalData* gd, uint32_t pBits, uint32_t seedLength, const uint8_t* seed,
                                     ksDsaParameters* params) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (pBits < 512 || pBits > 1024 || pBits % 64 != 0) return kBadParameters;
    if (seed != nullptr && seedLength != kSeedLength) return kBufferLength;
    if (seed == nullptr && seedLength != 0) return kNoBuffer;
    if (params == nullptr) return kNoParameters;
    params->present = 0;
    Domain d;
    FfcSeed used{};
    if (!d.p || !d.q || !d.g ||
        !generateFfcParameters(gd, int(pBits), 160, seed, seedLength, 0, &used, d.p.get(), d.q.get(), d.g.get()))
        return kFailed;
    if (!writeValue(d.p.get(), params->p, kArea, &params->pLength)) return kFailed;
    params->present |= 1;
    if (!writeValue(d.q.get(), params->q, kArea, &params->qLength)) return kFailed;
    params->present |= 2;
    if (!writeValue(d.g.get(), params->g, kArea, &params->gLength)) return kFailed;
    params->present |= 4;
    return kOk;
}

ksErrorCode ks_dsaGenerateKeyPair(ksGlobalData* gd, const ksDsaParameters* params, ksDsaKey* privateKey,
                                  ksDsaKey* publicKey) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (publicKey == nullptr) return kNoPublicKey;
    if (privateKey == nullptr) return kNoPrivateKey;
    Domain d;
    BnContext ctx(BN_CTX_new());
    BnValue x = newValue(), y = newValue(), qMinus1 = newValue();
    if (!ctx || !x || !y || !qMinus1 || !d.read(*params) || !BN_sub(qMinus1.get(), d.q.get(), BN_value_one()) ||
        !randomBelow(gd, qMinus1.get(), x.get()) || !BN_add_word(x.get(), 1))
        return kFailed;
    BN_set_flags(x.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_exp_mont_consttime(y.get(), d.g.get(), x.get(), d.p.get(), ctx.get(), nullptr)) return kFailed;
    if (!writeValue(y.get(), publicKey->value, kArea, &publicKey->length)) return kFailed;
    return writeValue(x.get(), privateKey->value, kArea, &privateKey->length) ? kOk : kFailed;
}

ksErrorCode ks_dsaSignBegin(ksGlobalData* gd, ksDsaContext* ctx) { return begin(gd, ctx, kSignState); }
ksErrorCode ks_dsaVerifyBegin(ksGlobalData* gd, ksDsaContext* ctx) { return begin(gd, ctx, kVerifyState); }

ksErrorCode ks_dsaSign(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksDsaContext* ctx) {
    return update(gd, length, data, ctx, kSignState);
}

ksErrorCode ks_dsaVerify(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksDsaContext* ctx) {
    return update(gd, length, data, ctx, kVerifyState);
}

ksErrorCode ks_dsaSignEnd(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* privateKey,
                          ksDsaSignature* signature, ksDsaContext* ctx) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPrivate(privateKey)) return rc;
    if (signature == nullptr) return kDsaNoSignature;
    if (ctx == nullptr) return kNoContext;
    if ((streamOf(ctx)->state & kSignState) == 0) return kContextNotInitialized;
    uint8_t digest[20];
    finish(ctx, digest);
    return sign(gd, *params, *privateKey, sizeof digest, digest, signature);
}

ksErrorCode ks_dsaVerifyEnd(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* publicKey,
                            const ksDsaSignature* signature, ksDsaContext* ctx, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPublic(publicKey)) return rc;
    if (const ksErrorCode rc = checkSignature(signature)) return rc;
    if (ctx == nullptr) return kNoContext;
    if ((streamOf(ctx)->state & kVerifyState) == 0) return kContextNotInitialized;
    if (valid == nullptr) return kNoFlag;
    uint8_t digest[20];
    finish(ctx, digest);
    return verify(*params, *publicKey, *signature, sizeof digest, digest, valid);
}

ksErrorCode ks_dsaNoHashSign(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* privateKey,
                             uint32_t digestLength, const uint8_t* digest, ksDsaSignature* signature) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPrivate(privateKey)) return rc;
    if (digestLength == 0) return kBufferLength;
    if (digest == nullptr) return kNoBuffer;
    if (signature == nullptr) return kDsaNoSignature;
    return sign(gd, *params, *privateKey, digestLength, digest, signature);
}

ksErrorCode ks_dsaNoHashVerify(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* publicKey,
                               const ksDsaSignature* signature, uint32_t digestLength, const uint8_t* digest,
                               uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPublic(publicKey)) return rc;
    if (const ksErrorCode rc = checkSignature(signature)) return rc;
    if (digestLength == 0) return kBufferLength;
    if (digest == nullptr) return kNoBuffer;
    if (valid == nullptr) return kNoFlag;
    return verify(*params, *publicKey, *signature, digestLength, digest, valid);
}

ksErrorCode ks_dsaValidateParameters(ksGlobalData* gd, const ksDsaParameters* params, uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (valid == nullptr) return kNoFlag;
    Domain d;
    BnContext ctx(BN_CTX_new());
    BnValue t = newValue();
    if (!ctx || !t || !d.read(*params)) return kFailed;
    *valid = 0;
    if (BN_num_bits(d.q.get()) != 160 || !isPrime(d.q.get(), ctx.get())) return kOk;
    if (!isPrime(d.p.get(), ctx.get())) return kOk;
    if (!BN_sub(t.get(), d.p.get(), BN_value_one()) || !BN_mod(t.get(), t.get(), d.q.get(), ctx.get())) return kFailed;
    if (!BN_is_zero(t.get())) return kOk;
    const int pBits = BN_num_bits(d.p.get());
    if (pBits < 512 || pBits > 1024 || pBits % 64 != 0) return kOk;
    if (BN_cmp(d.g.get(), BN_value_one()) <= 0 || BN_cmp(d.g.get(), d.p.get()) >= 0) return kOk;
    if (!BN_mod_exp(t.get(), d.g.get(), d.q.get(), d.p.get(), ctx.get())) return kFailed;
    *valid = BN_is_one(t.get()) ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dsaValidatePublicKey(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* publicKey,
                                    uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPublic(publicKey)) return rc;
    if (valid == nullptr) return kNoFlag;
    Domain d;
    BnContext ctx(BN_CTX_new());
    BnValue y = newValue();
    if (!ctx || !y || !d.read(*params) || !readValue(publicKey->value, publicKey->length, y.get())) return kFailed;
    *valid = inSubgroup(y.get(), d, ctx.get()) ? 1 : 0;
    return kOk;
}

ksErrorCode ks_dsaValidatePrivateKey(ksGlobalData* gd, const ksDsaParameters* params, const ksDsaKey* privateKey,
                                     uint32_t* valid) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (const ksErrorCode rc = checkParameters(params)) return rc;
    if (const ksErrorCode rc = checkPrivate(privateKey)) return rc;
    if (valid == nullptr) return kNoFlag;
    BnValue q = newValue(), x = newValue();
    if (!q || !x || !readValue(params->q, params->qLength, q.get()) ||
        !readValue(privateKey->value, privateKey->length, x.get()))
        return kFailed;
    *valid = !BN_is_zero(x.get()) && BN_cmp(x.get(), q.get()) < 0 ? 1 : 0;
    return kOk;
}
