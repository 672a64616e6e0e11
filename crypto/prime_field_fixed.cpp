// The fixed-prime field modules: the 160-bit SEC 2 prime and NIST P-192,
// P-224 and P-256. Products are formed with 128-bit column sums and reduced
// by folding 2^(32w) = c (mod p), c a short signed sum of words.
#include <cstring>
#include <iterator>

#include "crypto/prime_field.h"
#include "crypto/prime_field_arith.h"

namespace ks {
namespace pf {
namespace {

struct Prime160 {
    static constexpr int W = 5;
    static constexpr FoldTerm terms[1] = {{0, 0x80000001LL}};  // 2^31 + 1
    static constexpr uint64_t pseudoMersenne = 0x80000001u;
    static constexpr uint32_t p[W] = {0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
};
struct PrimeP192 {
    static constexpr uint64_t pseudoMersenne = 0;
    static constexpr int W = 6;
    static constexpr FoldTerm terms[2] = {{0, 1}, {2, 1}};  // 2^64 + 1
    static constexpr uint32_t p[W] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
};
struct PrimeP224 {
    static constexpr uint64_t pseudoMersenne = 0;
    static constexpr int W = 7;
    static constexpr FoldTerm terms[2] = {{0, -1}, {3, 1}};  // 2^96 - 1
    static constexpr uint32_t p[W] = {1, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
};
struct PrimeP256 {
    static constexpr uint64_t pseudoMersenne = 0;
    static constexpr int W = 8;
    static constexpr FoldTerm terms[4] = {{0, 1}, {3, -1}, {6, -1}, {7, 1}};  // 2^224 - 2^192 - 2^96 + 1
    static constexpr uint32_t p[W] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 1, 0xFFFFFFFF};
};

// P-256: the fold of 2^256 = 2^224 - 2^192 - 2^96 + 1 written out as signed
// column sums over the sixteen product words, carries propagated once.
inline void reduceP256(const uint32_t* t, const uint32_t* p, uint32_t* out)
{
    int64_t c[16];
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i)
        c[i] = t[i];
    int64_t w[8];
    w[0] = c[0] + c[8] + c[9] - c[11] - c[12] - c[13] - c[14];
    w[1] = c[1] + c[9] + c[10] - c[12] - c[13] - c[14] - c[15];
    w[2] = c[2] + c[10] + c[11] - c[13] - c[14] - c[15];
    w[3] = c[3] + 2 * (c[11] + c[12]) + c[13] - c[15] - c[8] - c[9];
    w[4] = c[4] + 2 * (c[12] + c[13]) + c[14] - c[9] - c[10];
    w[5] = c[5] + 2 * (c[13] + c[14]) + c[15] - c[10] - c[11];
    w[6] = c[6] + 3 * c[14] + 2 * c[15] + c[13] - c[8] - c[9];
    w[7] = c[7] + 3 * c[15] + c[8] - c[10] - c[11] - c[12] - c[13];
    int64_t carry = 0;
    uint32_t x[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
        carry += w[i];
        x[i] = uint32_t(carry);
        carry >>= 32;
    }
    // x + carry 2^256 with a carry of a few units either way: each fold adds
    // -carry p and ends once the value lies in [0, 2^256).
    for (int round = 0; carry != 0 && round < 8; ++round) {
        const int64_t k = carry;
        carry = 0;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            carry += int64_t(x[i]) + (i == 0 || i == 7 ? k : 0) - (i == 3 || i == 6 ? k : 0);
            x[i] = uint32_t(carry);
            carry >>= 32;
        }
    }
    if (!lessThan<8>(x, p))
        subWords<8>(x, p);  // below 2^256 < 2p: once is enough
    std::memcpy(out, x, sizeof x);
}

template <typename P>
struct Fixed {
    static constexpr int W = P::W;

    static void reduce(const uint32_t* t, uint32_t* out)
    {
        if constexpr (W == 8)
            reduceP256(t, P::p, out);
        else if constexpr (P::pseudoMersenne != 0)
            smallPseudoMersenneReduce<W>(t, uint32_t(P::pseudoMersenne), P::p, out);
        else
            matrixReduce<W>(t, matrix, P::terms, P::p, out);
    }
    static constexpr FoldMatrix<W, std::size(P::terms)> matrix{P::terms};

    static void canon(uint32_t* a)
    {
        if (!lessThan<W>(a, P::p))
            subWords<W>(a, P::p);
    }
    // A carry out of the top word is cancelled by the first subtraction of p
    // that borrows (and a borrow by the first addition that carries). Even
    // word counts run on 64-bit limbs kept in registers.
    static constexpr int L = W / 2;
    static void load(const ksFieldElement* e, uint64_t* x)
    {
        for (int i = 0; i < L; ++i)
            std::memcpy(&x[i], e->words + 2 * i, 8);
    }
    static void store(const uint64_t* x, ksFieldElement* e)
    {
        for (int i = 0; i < L; ++i)
            std::memcpy(e->words + 2 * i, &x[i], 8);
    }
    static uint64_t primeLimb(int i) { return P::p[2 * i] | (uint64_t(P::p[2 * i + 1]) << 32); }
    static uint64_t addLimbs(uint64_t* x, const uint64_t* y)
    {
        u128 s = 0;
        for (int i = 0; i < L; ++i) {
            s += u128(x[i]) + y[i];
            x[i] = uint64_t(s);
            s >>= 64;
        }
        return uint64_t(s);
    }
    static uint64_t subLimbs(uint64_t* x, const uint64_t* y)
    {
        uint64_t borrow = 0;
        for (int i = 0; i < L; ++i) {
            const u128 d = u128(x[i]) - y[i] - borrow;
            x[i] = uint64_t(d);
            borrow = uint64_t(d >> 64) & 1;
        }
        return borrow;
    }
    static uint32_t add(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out)
    {
        if constexpr (W % 2 == 0) {
            uint64_t x[L], y[L], p[L];
            load(a, x);
            load(b, y);
            for (int i = 0; i < L; ++i)
                p[i] = primeLimb(i);
            uint64_t carry = addLimbs(x, y);
            while (carry != 0)
                carry -= subLimbs(x, p);
            store(x, out);
        } else {
            uint32_t s[W];
            std::memcpy(s, a->words, sizeof s);
            uint32_t carry = addWords<W>(s, b->words);
            while (carry != 0)
                carry -= subWords<W>(s, P::p);
            std::memcpy(out->words, s, sizeof s);
        }
        return 0;
    }
    static uint32_t subtract(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out)
    {
        if constexpr (W % 2 == 0) {
            uint64_t x[L], y[L], p[L];
            load(a, x);
            load(b, y);
            for (int i = 0; i < L; ++i)
                p[i] = primeLimb(i);
            uint64_t borrow = subLimbs(x, y);
            while (borrow != 0)
                borrow -= addLimbs(x, p);
            store(x, out);
        } else {
            uint32_t s[W];
            std::memcpy(s, a->words, sizeof s);
            uint32_t borrow = subWords<W>(s, b->words);
            while (borrow != 0)
                borrow -= addWords<W>(s, P::p);
            std::memcpy(out->words, s, sizeof s);
        }
        return 0;
    }
    static uint32_t multiply(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out)
    {
        uint32_t t[2 * W];
        if (a == b)
            sqrWords<W>(a->words, t);
        else
            mulWords<W>(a->words, b->words, t);
        reduce(t, out->words);  // the inputs are read: out may be one of them
        return 0;
    }
    static uint32_t square(ksGlobalData*, const ksFieldElement* a, ksFieldElement* out)
    {
        uint32_t t[2 * W];
        sqrWords<W>(a->words, t);
        reduce(t, out->words);
        return 0;
    }
    static uint32_t multiplyWord(ksGlobalData*, const ksFieldElement* a, uint32_t k, ksFieldElement* out)
    {
        uint32_t s[W];
        uint64_t carry = 0;
        for (int i = 0; i < W; ++i) {
            carry += uint64_t(a->words[i]) * k;
            s[i] = uint32_t(carry);
            carry >>= 32;
        }
        // The top word of a k: at most 2^32 times the fold, which 64 bits hold.
        uint32_t t[2 * W] = {};
        for (int i = 0; i < W; ++i)
            t[i] = s[i];
        t[W] = uint32_t(carry);
        uint32_t r[W];
        reduce(t, r);
        std::memcpy(s, r, sizeof r);
        std::memcpy(out->words, s, sizeof s);
        return 0;
    }
    static uint32_t canonical(ksGlobalData*, ksFieldElement* a)
    {
        canon(a->words);
        return 0;
    }
    static uint32_t negate(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out)
    {
        canon(const_cast<ksFieldElement*>(a)->words);
        ksFieldElement p{};
        std::memcpy(p.words, P::p, sizeof P::p);
        return subtract(gd, &p, a, out);
    }
    static uint32_t lowBit(ksGlobalData*, const ksFieldElement* a)
    {
        canon(const_cast<ksFieldElement*>(a)->words);
        return a->words[0] & 1;
    }
    static uint32_t equal(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b)
    {
        canon(const_cast<ksFieldElement*>(a)->words);
        canon(const_cast<ksFieldElement*>(b)->words);
        return std::memcmp(a->words, b->words, W * 4) == 0 ? 1 : 0;
    }
    static uint32_t isZero(ksGlobalData*, const ksFieldElement* a)
    {
        canon(const_cast<ksFieldElement*>(a)->words);
        uint32_t any = 0;
        for (int i = 0; i < W; ++i)
            any |= a->words[i];
        return any == 0 ? 1 : 0;
    }
    static uint32_t isOne(ksGlobalData*, const ksFieldElement* a)
    {
        canon(const_cast<ksFieldElement*>(a)->words);
        uint32_t any = a->words[0] ^ 1;
        for (int i = 1; i < W; ++i)
            any |= a->words[i];
        return any == 0 ? 1 : 0;
    }
    static uint32_t zero(ksGlobalData*, ksFieldElement* out)
    {
        std::memset(out->words, 0, W * 4);
        return 0;
    }
    static uint32_t one(ksGlobalData* gd, ksFieldElement* out)
    {
        zero(gd, out);
        out->words[0] = 1;
        return 0;
    }
    static uint32_t fromStandard(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out)
    {
        if (in != out)
            std::memcpy(out->words, in->words, W * 4);
        return 0;
    }
    static uint32_t toStandard(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out)
    {
        fromStandard(gd, in, out);
        canon(out->words);
        return 0;
    }
    // Inversion as a^(p-2) over an addition chain of the prime (zero gives
    // zero); far fewer word operations than the binary Euclid for these primes.
    static void sqrN(uint32_t* x, int n)
    {
        uint32_t t[2 * W];
        for (int i = 0; i < n; ++i) {
            sqrWords<W>(x, t);
            reduce(t, x);
        }
    }
    static void mulTo(uint32_t* x, const uint32_t* y)
    {
        uint32_t t[2 * W];
        mulWords<W>(x, y, t);
        reduce(t, x);
    }
    // x = a^(2^n - 1) from y = a^(2^m - 1): x = y^(2^k) z with z = a^(2^k - 1).
    static void chainStep(uint32_t* x, const uint32_t* y, int k, const uint32_t* z)
    {
        if (x != y)
            std::memcpy(x, y, W * 4);
        sqrN(x, k);
        mulTo(x, z);
    }
    static uint32_t invertChain(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out)
    {
        if constexpr (W == 8) {
            // p - 2: 32 ones, 31 zeros, a one, 96 zeros, 94 ones, 0, 1.
            uint32_t x1[W], x2[W], x4[W], x8[W], x16[W], x24[W], x28[W], x30[W], x32[W], r[W];
            std::memcpy(x1, a->words, W * 4);
            chainStep(x2, x1, 1, x1);
            chainStep(x4, x2, 2, x2);
            chainStep(x8, x4, 4, x4);
            chainStep(x16, x8, 8, x8);
            chainStep(x24, x16, 8, x8);
            chainStep(x28, x24, 4, x4);
            chainStep(x30, x28, 2, x2);
            chainStep(x32, x30, 2, x2);
            chainStep(r, x32, 32, x1);
            sqrN(r, 96);
            chainStep(r, r, 32, x32);
            chainStep(r, r, 32, x32);
            chainStep(r, r, 30, x30);
            chainStep(r, r, 2, x1);
            std::memcpy(out->words, r, W * 4);
            return 0;
        } else if constexpr (W == 7) {
            // p - 2: 127 ones, 0, 96 ones.
            uint32_t x1[W], x2[W], x3[W], x6[W], x12[W], x24[W], x30[W], x31[W], x48[W], x96[W], r[W];
            std::memcpy(x1, a->words, W * 4);
            chainStep(x2, x1, 1, x1);
            chainStep(x3, x2, 1, x1);
            chainStep(x6, x3, 3, x3);
            chainStep(x12, x6, 6, x6);
            chainStep(x24, x12, 12, x12);
            chainStep(x30, x24, 6, x6);
            chainStep(x31, x30, 1, x1);
            chainStep(x48, x24, 24, x24);
            chainStep(x96, x48, 48, x48);
            chainStep(r, x96, 31, x31);
            chainStep(r, r, 97, x96);
            std::memcpy(out->words, r, W * 4);
            return 0;
        } else {
            return invert(gd, a, out);
        }
    }
    static constexpr ksFieldMethods table = {
        add,      invertChain, lowBit,     multiply, one,          zero,         square,  equal,  isZero,
        isOne,    squareRoot, subtract, negate, multiplyWord, canonical, fromStandard, toStandard,
    };
};

struct FixedModule {
    uint32_t id;
    uint32_t bits;
    const ksFieldMethods* table;
    uint8_t prime[32];  // big-endian, low-aligned
};

template <typename P>
constexpr FixedModule fixedModule(uint32_t id, uint32_t bits)
{
    FixedModule m{id, bits, &Fixed<P>::table, {}};
    for (int i = 0; i < 4 * P::W; ++i)
        m.prime[31 - i] = uint8_t(P::p[i / 4] >> (8 * (i % 4)));
    return m;
}

constexpr FixedModule kFixedModules[] = {
    fixedModule<Prime160>(kPrime160Id, 160),
    fixedModule<PrimeP192>(kPrimeP192Id, 192),
    fixedModule<PrimeP224>(kPrimeP224Id, 224),
    fixedModule<PrimeP256>(kPrimeP256Id, 256),
};

const FixedModule* fixedModuleFor(uint32_t id)
{
    for (const FixedModule& m : kFixedModules)
        if (m.id == id)
            return &m;
    return nullptr;
}

uint32_t installFixed(ksGlobalData* gd, uint32_t id, const uint8_t* reduction)
{
    layoutOf(gd)->fieldMethodsId = id;
    return installPrime(gd, reduction);
}

}  // namespace
}  // namespace pf

const ksFieldMethods* primeModuleForId(uint32_t id)
{
    if (id == kPrimeGenericId)
        return pf::genericTable();
    const pf::FixedModule* m = pf::fixedModuleFor(id);
    return m ? m->table : nullptr;
}

uint32_t fixedPrimeBits(uint32_t id)
{
    const pf::FixedModule* m = pf::fixedModuleFor(id);
    return m ? m->bits : 0;
}

const uint8_t* fixedPrimeOctets(uint32_t id)
{
    const pf::FixedModule* m = pf::fixedModuleFor(id);
    return m ? m->prime : nullptr;
}

}  // namespace ks

uint32_t a2428(ksGlobalData* gd, const uint8_t* reduction) { return ks::pf::installFixed(gd, ks::kPrime160Id, reduction); }
uint32_t a2431(ksGlobalData* gd, const uint8_t* reduction) { return ks::pf::installFixed(gd, ks::kPrimeP192Id, reduction); }
uint32_t a2434(ksGlobalData* gd, const uint8_t* reduction) { return ks::pf::installFixed(gd, ks::kPrimeP224Id, reduction); }
uint32_t a2437(ksGlobalData* gd, const uint8_t* reduction) { return ks::pf::installFixed(gd, ks::kPrimeP256Id, reduction); }

uint32_t a2371(ksGlobalData* gd, const ksFieldElement* a) { return ks::pf::Fixed<ks::pf::Prime160>::lowBit(gd, a); }
uint32_t a2365(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out)
{
    return ks::pf::Fixed<ks::pf::PrimeP256>::invertChain(gd, a, out);
}
