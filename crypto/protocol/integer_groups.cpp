// Value areas, generator-drawn random numbers and primality for the integer protocols.
#include "crypto/hash/internal.h"
#include "crypto/protocol/integer_groups.h"

#include <vector>

#include "crypto/protocol/internal.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

NonceOctetsSource gNonceSource = nullptr;
void* gNonceArg = nullptr;

}  // namespace

bool readValue(const uint8_t* area, uint32_t length, BIGNUM* out) {
    if (area == nullptr || length == 0) return false;
    return BN_bin2bn(area, int(length), out) != nullptr;
}

bool writeValue(const BIGNUM* v, uint8_t* area, uint32_t capacity, uint32_t* length) {
    const int n = BN_num_bytes(v);
    if (n < 1 || uint32_t(n) > capacity) return false;
    BN_bn2bin(v, area);
    *length = uint32_t(n);
    return true;
}

bool randomBits(ksGlobalData* gd, int bits, bool top, bool odd, BIGNUM* out) {
    if (bits < 1) return false;
    const size_t octets = size_t(bits + 7) / 8;
    std::vector<uint8_t> drawn(octets);
    const bool ok = tess::crypto::rngBytes(gd, uint32_t(octets), drawn.data()) == 0;
    if (ok) {
        if (bits % 8 != 0) drawn[0] &= uint8_t((1u << (bits % 8)) - 1);
        if (top) drawn[0] |= uint8_t(1u << ((bits - 1) % 8));
        if (odd) drawn[octets - 1] |= 1;
    }
    const bool read = ok && BN_bin2bn(drawn.data(), int(octets), out) != nullptr;
    wipe(drawn.data(), drawn.size());
    return read;
}

bool randomBelow(ksGlobalData* gd, const BIGNUM* range, BIGNUM* out) {
    if (BN_is_zero(range) || BN_is_negative(range)) return false;
    BnValue wide = newValue();
    BnContext ctx(BN_CTX_new());
    return wide && ctx && randomBits(gd, BN_num_bits(range) + 64, false, false, wide.get()) &&
           BN_nnmod(out, wide.get(), range, ctx.get()) == 1;
}

bool isPrime(const BIGNUM* v, BN_CTX* ctx) { return BN_check_prime(v, ctx, nullptr) == 1; }

void setDsaNonceSource(NonceOctetsSource source, void* arg) {
    gNonceSource = source;
    gNonceArg = arg;
}

bool dsaNonceFromSource(BIGNUM* k) {
    if (gNonceSource == nullptr) return false;
    uint8_t octets[128];
    uint32_t length = 0;
    const bool ok = gNonceSource(gNonceArg, octets, sizeof octets, &length) == 0 && readValue(octets, length, k);
    wipe(octets, sizeof octets);
    return ok;
}

}  // namespace tess::crypto

namespace tess::crypto {
namespace {

// SHA-1 of the minimal big-endian octets of v.
bool hashOf(const BIGNUM* v, uint8_t digest[20]) {
    std::vector<uint8_t> octets(size_t(BN_num_bytes(v)) + 1);
    const int n = BN_bn2bin(v, octets.data());
    ksSha1State s;
    tess::crypto::sha1Init(&s);
    tess::crypto::sha1Update(uint32_t(n), octets.data(), &s);
    tess::crypto::sha1Final(&s, digest);
    return true;
}

// sum over i < count of H(seed + first + i) 2^(160 i), each term optionally XORed
// with H(seed + second + i).
bool hashSum(const BIGNUM* seed, uint32_t first, uint32_t count, const uint32_t* second, BIGNUM* out) {
    BnValue t = newValue();
    BnValue term = newValue();
    if (!t || !term) return false;
    BN_zero(out);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t h[20];
        if (!BN_copy(t.get(), seed) || !BN_add_word(t.get(), first + i) || !hashOf(t.get(), h)) return false;
        if (second != nullptr) {
            uint8_t h2[20];
            if (!BN_copy(t.get(), seed) || !BN_add_word(t.get(), *second + i) || !hashOf(t.get(), h2)) return false;
            for (int j = 0; j < 20; ++j) h[j] ^= h2[j];
        }
        if (!BN_bin2bn(h, 20, term.get()) || !BN_lshift(term.get(), term.get(), int(160 * i)) ||
            !BN_add(out, out, term.get()))
            return false;
    }
    return true;
}

}  // namespace

bool subgroupGenerator(const BIGNUM* p, const BIGNUM* q, BIGNUM* g, BN_CTX* ctx) {
    BnValue e = newValue();
    BnValue h = newValue();
    if (!e || !h || !BN_sub(e.get(), p, BN_value_one()) || !BN_div(e.get(), nullptr, e.get(), q, ctx)) return false;
    for (BN_ULONG w = 2; w < 0x10000; ++w) {
        if (!BN_set_word(h.get(), w) || !BN_mod_exp(g, h.get(), e.get(), p, ctx)) return false;
        if (!BN_is_one(g)) return true;
    }
    return false;
}

bool generateFfcParameters(ksGlobalData* gd, int pBits, int qBits, const uint8_t* seed, uint32_t seedLength,
                           uint32_t start, FfcSeed* used, BIGNUM* p, BIGNUM* q, BIGNUM* g, bool seedOnly) {
    BnContext ctx(BN_CTX_new());
    BnValue s = newValue(), u = newValue(), w = newValue(), c = newValue(), twoQ = newValue();
    if (!ctx || !s || !u || !w || !c || !twoQ || qBits < 2 || pBits <= qBits) return false;
    const uint32_t mq = uint32_t(qBits + 159) / 160;
    const uint32_t lp = uint32_t(pBits + 159) / 160;
    const uint32_t limit = 4096 * uint32_t((pBits + 1023) / 1024);
    bool callerSeed = seed != nullptr && seedLength != 0;
    for (;;) {
        if (callerSeed) {
            if (!readValue(seed, seedLength, s.get())) return false;
            callerSeed = false;
        } else if (!randomBits(gd, qBits, true, false, s.get())) {
            return false;
        }
        if (!hashSum(s.get(), 0, mq, &mq, u.get()) || !BN_mask_bits(u.get(), qBits) ||
            !BN_set_bit(u.get(), qBits - 1) || !BN_set_bit(u.get(), 0))
            return false;
        if (isPrime(u.get(), ctx.get())) break;
        if (seedOnly) return false;
    }
    if (!BN_copy(q, u.get()) || !BN_lshift1(twoQ.get(), q)) return false;
    for (uint32_t counter = start;; ++counter) {
        if (counter >= limit) return false;
        if (!hashSum(s.get(), 2 * mq + counter * lp, lp, nullptr, w.get()) || !BN_mask_bits(w.get(), pBits) ||
            !BN_set_bit(w.get(), pBits - 1) || !BN_mod(c.get(), w.get(), twoQ.get(), ctx.get()) ||
            !BN_sub(p, w.get(), c.get()) || !BN_add_word(p, 1))
            return false;
        if (BN_num_bits(p) == pBits && isPrime(p, ctx.get())) {
            used->counter = counter;
            break;
        }
        if (start != 0) return false;
    }
    if (!writeValue(s.get(), used->octets, sizeof used->octets, &used->length)) return false;
    return subgroupGenerator(p, q, g, ctx.get());
}

}  // namespace tess::crypto

uint32_t tess::crypto::bnToOctets(const BIGNUM* v, uint8_t* octets, uint32_t* length) {
    if (v == nullptr || octets == nullptr || length == nullptr || BN_num_bytes(v) < 1) return 100;
    *length = uint32_t(BN_bn2bin(v, octets));
    return 0;
}

uint32_t a1198(const BIGNUM* v, uint8_t* octets, uint32_t* length) {
    return tess::crypto::bnToOctets(v, octets, length);
}

uint32_t tess::crypto::bnFromOctets(const uint8_t* octets, uint32_t length, BIGNUM** value) {
    if (octets == nullptr || value == nullptr || length < 1) return 200;
    BIGNUM* read = BN_bin2bn(octets, int(length), *value);
    if (read == nullptr) return 200;
    *value = read;
    return 0;
}

uint32_t a2815(const uint8_t* octets, uint32_t length, BIGNUM** value) {
    return tess::crypto::bnFromOctets(octets, length, value);
}
