// The fixed-prime field modules: the 160-bit SEC 2 prime and NIST P-192,
// P-224 and P-256. Products are formed with 128-bit column sums and reduced
// by folding 2^(32w) = c (mod p), c a short signed sum of words.
#include <cstring>
#include <iterator>

#include "crypto/field/internal.h"
#include "crypto/field/prime_field.h"
#include "crypto/field/prime_field_arith.h"

namespace tess::crypto {
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

template <typename P>
struct Fixed {
    static constexpr int W = P::W;

    static void reduce(const uint32_t* t, uint32_t* out) {
        if constexpr (P::pseudoMersenne != 0)
            smallPseudoMersenneReduce<W>(t, uint32_t(P::pseudoMersenne), P::p, out);
        else
            matrixReduce<W>(t, matrix, P::terms, P::p, out);
    }
    static constexpr FoldMatrix<W, std::size(P::terms)> matrix{P::terms};

    static void canon(uint32_t* a) {
        if (!lessThan<W>(a, P::p)) subWords<W>(a, P::p);
    }
    // A carry out of the top word is cancelled by the first subtraction of p
    // that borrows (and a borrow by the first addition that carries). Even
    // word counts run on 64-bit limbs kept in registers.
    static constexpr int L = W / 2;
    static void load(const ksFieldElement* e, uint64_t* x) {
        for (int i = 0; i < L; ++i) std::memcpy(&x[i], e->words + 2 * i, 8);
    }
    static void store(const uint64_t* x, ksFieldElement* e) {
        for (int i = 0; i < L; ++i) std::memcpy(e->words + 2 * i, &x[i], 8);
    }
    static uint64_t primeLimb(int i) { return P::p[2 * i] | (uint64_t(P::p[2 * i + 1]) << 32); }
    static uint64_t addLimbs(uint64_t* x, const uint64_t* y) {
        u128 s = 0;
        for (int i = 0; i < L; ++i) {
            s += u128(x[i]) + y[i];
            x[i] = uint64_t(s);
            s >>= 64;
        }
        return uint64_t(s);
    }
    static uint64_t subLimbs(uint64_t* x, const uint64_t* y) {
        uint64_t borrow = 0;
        for (int i = 0; i < L; ++i) {
            const u128 d = u128(x[i]) - y[i] - borrow;
            x[i] = uint64_t(d);
            borrow = uint64_t(d >> 64) & 1;
        }
        return borrow;
    }
    static uint32_t add(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
        if constexpr (W % 2 == 0) {
            uint64_t x[L], y[L], p[L];
            load(a, x);
            load(b, y);
            for (int i = 0; i < L; ++i) p[i] = primeLimb(i);
            uint64_t carry = addLimbs(x, y);
            while (carry != 0) carry -= subLimbs(x, p);
            store(x, out);
        } else {
            uint32_t s[W];
            std::memcpy(s, a->words, sizeof s);
            uint32_t carry = addWords<W>(s, b->words);
            while (carry != 0) carry -= subWords<W>(s, P::p);
            std::memcpy(out->words, s, sizeof s);
        }
        return 0;
    }
    static uint32_t subtract(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
        if constexpr (W % 2 == 0) {
            uint64_t x[L], y[L], p[L];
            load(a, x);
            load(b, y);
            for (int i = 0; i < L; ++i) p[i] = primeLimb(i);
            uint64_t borrow = subLimbs(x, y);
            while (borrow != 0) borrow -= addLimbs(x, p);
            store(x, out);
        } else {
            uint32_t s[W];
            std::memcpy(s, a->words, sizeof s);
            uint32_t borrow = subWords<W>(s, b->words);
            while (borrow != 0) borrow -= addWords<W>(s, P::p);
            std::memcpy(out->words, s, sizeof s);
        }
        return 0;
    }
    static uint32_t multiply(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
        uint32_t t[2 * W];
        if (a == b)
            sqrWords<W>(a->words, t);
        else
            mulWords<W>(a->words, b->words, t);
        reduce(t, out->words);  // the inputs are read: out may be one of them
        return 0;
    }
    static uint32_t square(ksGlobalData*, const ksFieldElement* a, ksFieldElement* out) {
        uint32_t t[2 * W];
        sqrWords<W>(a->words, t);
        reduce(t, out->words);
        return 0;
    }
    static uint32_t multiplyWord(ksGlobalData*, const ksFieldElement* a, uint32_t k, ksFieldElement* out) {
        uint32_t s[W];
        uint64_t carry = 0;
        for (int i = 0; i < W; ++i) {
            carry += uint64_t(a->words[i]) * k;
            s[i] = uint32_t(carry);
            carry >>= 32;
        }
        // The top word of a k: at most 2^32 times the fold, which 64 bits hold.
        uint32_t t[2 * W] = {};
        for (int i = 0; i < W; ++i) t[i] = s[i];
        t[W] = uint32_t(carry);
        uint32_t r[W];
        reduce(t, r);
        std::memcpy(s, r, sizeof r);
        std::memcpy(out->words, s, sizeof s);
        return 0;
    }
    static uint32_t canonical(ksGlobalData*, ksFieldElement* a) {
        canon(a->words);
        return 0;
    }
    static uint32_t negate(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
        canon(const_cast<ksFieldElement*>(a)->words);
        ksFieldElement p{};
        std::memcpy(p.words, P::p, sizeof P::p);
        return subtract(gd, &p, a, out);
    }
    static uint32_t lowBit(ksGlobalData*, const ksFieldElement* a) {
        canon(const_cast<ksFieldElement*>(a)->words);
        return a->words[0] & 1;
    }
    static uint32_t equal(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b) {
        canon(const_cast<ksFieldElement*>(a)->words);
        canon(const_cast<ksFieldElement*>(b)->words);
        return std::memcmp(a->words, b->words, W * 4) == 0 ? 1 : 0;
    }
    static uint32_t isZero(ksGlobalData*, const ksFieldElement* a) {
        canon(const_cast<ksFieldElement*>(a)->words);
        uint32_t any = 0;
        for (int i = 0; i < W; ++i) any |= a->words[i];
        return any == 0 ? 1 : 0;
    }
    static uint32_t isOne(ksGlobalData*, const ksFieldElement* a) {
        canon(const_cast<ksFieldElement*>(a)->words);
        uint32_t any = a->words[0] ^ 1;
        for (int i = 1; i < W; ++i) any |= a->words[i];
        return any == 0 ? 1 : 0;
    }
    static uint32_t zero(ksGlobalData*, ksFieldElement* out) {
        std::memset(out->words, 0, W * 4);
        return 0;
    }
    static uint32_t one(ksGlobalData* gd, ksFieldElement* out) {
        zero(gd, out);
        out->words[0] = 1;
        return 0;
    }
    static uint32_t fromStandard(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
        if (in != out) std::memcpy(out->words, in->words, W * 4);
        return 0;
    }
    static uint32_t toStandard(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out) {
        fromStandard(gd, in, out);
        canon(out->words);
        return 0;
    }
    static constexpr ksFieldMethods table = {
        add,   invert,     lowBit,   multiply, one,          zero,      square,       equal,      isZero,
        isOne, squareRoot, subtract, negate,   multiplyWord, canonical, fromStandard, toStandard,
    };
};

struct FixedModule {
    uint32_t id;
    uint32_t bits;
    const ksFieldMethods* table;
    uint8_t prime[32];  // big-endian, low-aligned
};

template <typename P>
constexpr FixedModule fixedModule(uint32_t id, uint32_t bits) {
    FixedModule m{id, bits, &Fixed<P>::table, {}};
    for (int i = 0; i < 4 * P::W; ++i) m.prime[31 - i] = uint8_t(P::p[i / 4] >> (8 * (i % 4)));
    return m;
}

constexpr FixedModule kFixedModules[] = {
    fixedModule<Prime160>(kPrime160Id, 160),
    fixedModule<PrimeP192>(kPrimeP192Id, 192),
    fixedModule<PrimeP224>(kPrimeP224Id, 224),
    fixedModule<PrimeP256>(kPrimeP256Id, 256),
};

const FixedModule* fixedModuleFor(uint32_t id) {
    for (const FixedModule& m : kFixedModules)
        if (m.id == id) return &m;
    return nullptr;
}

uint32_t installFixed(ksGlobalData* gd, uint32_t id, const uint8_t* reduction) {
    layoutOf(gd)->fieldMethodsId = id;
    return installPrime(gd, reduction);
}

}  // namespace
}  // namespace pf

const ksFieldMethods* primeModuleForId(uint32_t id) {
    if (id == kPrimeGenericId) return pf::genericTable();
    const pf::FixedModule* m = pf::fixedModuleFor(id);
    return m ? m->table : nullptr;
}

uint32_t fixedPrimeBits(uint32_t id) {
    const pf::FixedModule* m = pf::fixedModuleFor(id);
    return m ? m->bits : 0;
}

const uint8_t* fixedPrimeOctets(uint32_t id) {
    const pf::FixedModule* m = pf::fixedModuleFor(id);
    return m ? m->prime : nullptr;
}

uint32_t installPrimeFixed(ksGlobalData* gd, uint32_t id, const uint8_t* reduction) {
    return pf::installFixed(gd, id, reduction);
}

}  // namespace tess::crypto

uint32_t a2428(ksGlobalData* gd, const uint8_t* reduction) {
    return tess::crypto::installPrimeFixed(gd, tess::crypto::kPrime160Id, reduction);
}
uint32_t a2431(ksGlobalData* gd, const uint8_t* reduction) {
    return tess::crypto::installPrimeFixed(gd, tess::crypto::kPrimeP192Id, reduction);
}
uint32_t a2434(ksGlobalData* gd, const uint8_t* reduction) {
    return tess::crypto::installPrimeFixed(gd, tess::crypto::kPrimeP224Id, reduction);
}
uint32_t a2437(ksGlobalData* gd, const uint8_t* reduction) {
    return tess::crypto::installPrimeFixed(gd, tess::crypto::kPrimeP256Id, reduction);
}

uint32_t a2371(ksGlobalData* gd, const ksFieldElement* a) {
    return tess::crypto::pf::Fixed<tess::crypto::pf::Prime160>::lowBit(gd, a);
}
uint32_t a2365(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    return tess::crypto::pf::invert(gd, a, out);
}
