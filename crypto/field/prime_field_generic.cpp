// The generic prime-field module: GF(p) for any odd prime of at most 256
// bits. Sums and products are kept below 2^(32w) modulo the normalised prime
// M = p 2^s; products of a prime just below 2^(32w) (c = 2^(32w) - p below
// 2^64) reduce by folding, others by long division by M.
#include <cstring>

#include "crypto/field/internal.h"
#include "crypto/field/prime_field.h"
#include "crypto/field/prime_field_arith.h"

namespace tess::crypto {
namespace pf {

uint32_t* primeOf(ksGlobalData* gd) { return reinterpret_cast<uint32_t*>(layoutOf(gd)->fieldData); }
uint32_t* normalisedOf(ksGlobalData* gd) { return reinterpret_cast<uint32_t*>(layoutOf(gd)->fieldData) + 8; }
uint32_t wordsOf(const ksGlobalData* gd) {
    const uint32_t w = fieldWords(layoutOf(gd)->fieldBits);
    return w == 0 ? 1 : (w > 8 ? 8 : w);
}

namespace {

bool lessRuntime(const uint32_t* a, const uint32_t* b, uint32_t w) {
    for (uint32_t i = w; i-- > 0;)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

uint32_t subRuntime(uint32_t* a, const uint32_t* b, uint32_t w) {
    int64_t borrow = 0;
    for (uint32_t i = 0; i < w; ++i) {
        const int64_t d = int64_t(a[i]) - b[i] + borrow;
        a[i] = uint32_t(d);
        borrow = d >> 32;
    }
    return borrow != 0 ? 1 : 0;
}

uint32_t addRuntime(uint32_t* a, const uint32_t* b, uint32_t w) {
    uint64_t carry = 0;
    for (uint32_t i = 0; i < w; ++i) {
        carry += uint64_t(a[i]) + b[i];
        a[i] = uint32_t(carry);
        carry >>= 32;
    }
    return uint32_t(carry);
}

// Long division of t (n words) by the normalised m (w words, top bit set);
// the remainder, below m, goes to out.
void divideReduce(uint32_t* t, uint32_t n, const uint32_t* m, uint32_t w, uint32_t* out) {
    if (w == 1) {
        uint64_t r = 0;
        for (uint32_t i = n; i-- > 0;) r = ((r << 32) | t[i]) % m[0];
        out[0] = uint32_t(r);
        return;
    }
    uint32_t work[2 * 8 + 2] = {};
    std::memcpy(work, t, n * 4);
    const uint64_t d1 = m[w - 1], d2 = m[w - 2];
    for (uint32_t j = n; j >= w; --j) {
        // The window work[j - w .. j]; work[j] is its top word.
        const uint64_t top = (uint64_t(work[j]) << 32) | work[j - 1];
        uint64_t q = work[j] >= d1 ? 0xFFFFFFFFull : top / d1;
        uint64_t r = top - q * d1;
        while (r < (1ull << 32) && q * d2 > ((r << 32) | work[j - 2])) {
            --q;
            r += d1;
        }
        int64_t borrow = 0;
        uint64_t carry = 0;
        for (uint32_t i = 0; i < w; ++i) {
            const uint64_t prod = q * m[i] + carry;
            carry = prod >> 32;
            const int64_t diff = int64_t(work[j - w + i]) - int64_t(uint32_t(prod)) + borrow;
            work[j - w + i] = uint32_t(diff);
            borrow = diff >> 32;
        }
        const int64_t diff = int64_t(work[j]) - int64_t(carry) + borrow;
        work[j] = uint32_t(diff);
        if (diff < 0) {
            uint64_t c = 0;
            for (uint32_t i = 0; i < w; ++i) {
                c += uint64_t(work[j - w + i]) + m[i];
                work[j - w + i] = uint32_t(c);
                c >>= 32;
            }
            work[j] += uint32_t(c);
        }
        if (j == w) break;
    }
    std::memcpy(out, work, w * 4);
}

// c = 2^(32w) - p when it is below 2^64 (words 2.. of p all ones).
bool foldConstant(const uint32_t* p, uint32_t w, uint64_t* c) {
    if (w < 3) return false;
    for (uint32_t i = 2; i < w; ++i)
        if (p[i] != 0xFFFFFFFFu) return false;
    *c = 0 - (uint64_t(p[0]) | (uint64_t(p[1]) << 32));
    return true;
}

template <int W>
void foldReduceConst(const uint32_t* t, uint64_t c, const uint32_t* p, uint32_t* out) {
    if (c >> 32 == 0)
        smallPseudoMersenneReduce<W>(t, uint32_t(c), p, out);
    else
        pseudoMersenneReduce<W>(t, c, p, out);
}

// t (2w words) to a value below 2^(32w) congruent modulo p.
void reduceProduct(ksGlobalData* gd, uint32_t* t, uint32_t w, uint32_t* out) {
    const uint32_t* p = primeOf(gd);
    uint64_t c = 0;
    if (foldConstant(p, w, &c)) {
        switch (w) {
        case 3: return foldReduceConst<3>(t, c, p, out);
        case 4: return foldReduceConst<4>(t, c, p, out);
        case 5: return foldReduceConst<5>(t, c, p, out);
        case 6: return foldReduceConst<6>(t, c, p, out);
        case 7: return foldReduceConst<7>(t, c, p, out);
        default: return foldReduceConst<8>(t, c, p, out);
        }
    }
    divideReduce(t, 2 * w, normalisedOf(gd), w, out);
}

template <int W>
void mulReduce(ksGlobalData* gd, const uint32_t* a, const uint32_t* b, uint32_t* out) {
    uint32_t t[2 * W];
    if (a == b)
        sqrWords<W>(a, t);
    else
        mulWords<W>(a, b, t);
    reduceProduct(gd, t, W, out);
}

uint32_t gAdd(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    const uint32_t w = wordsOf(gd);
    uint32_t s[8];
    std::memcpy(s, a->words, w * 4);
    uint32_t carry = addRuntime(s, b->words, w);
    const uint32_t* m = normalisedOf(gd);
    // The lost carry is cancelled by the first subtraction that borrows.
    while (carry != 0) carry -= subRuntime(s, m, w);
    std::memcpy(out->words, s, w * 4);
    return 0;
}

uint32_t gSubtract(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    const uint32_t w = wordsOf(gd);
    uint32_t s[8];
    std::memcpy(s, a->words, w * 4);
    uint32_t borrow = subRuntime(s, b->words, w);
    const uint32_t* m = normalisedOf(gd);
    while (borrow != 0) borrow -= addRuntime(s, m, w);
    std::memcpy(out->words, s, w * 4);
    return 0;
}

uint32_t gCanonical(ksGlobalData* gd, ksFieldElement* a) {
    const uint32_t w = wordsOf(gd);
    const uint32_t* p = primeOf(gd);
    if (lessRuntime(a->words, p, w)) return 0;
    // Subtract p 2^j for j from s down to 1, then p once more.
    uint32_t x[8];
    std::memcpy(x, normalisedOf(gd), w * 4);
    while ((x[0] & 1) == 0) {
        if (lessRuntime(a->words, x, w)) {
            for (uint32_t i = 0; i + 1 < w; ++i) x[i] = (x[i] >> 1) | (x[i + 1] << 31);
            x[w - 1] >>= 1;
        } else {
            subRuntime(a->words, x, w);
        }
    }
    if (!lessRuntime(a->words, p, w)) subRuntime(a->words, p, w);
    return 0;
}

uint32_t gMultiply(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    // The product is formed before out is written, so out may be an input.
    uint32_t* r = out->words;
    switch (wordsOf(gd)) {
    case 1: mulReduce<1>(gd, a->words, b->words, r); break;
    case 2: mulReduce<2>(gd, a->words, b->words, r); break;
    case 3: mulReduce<3>(gd, a->words, b->words, r); break;
    case 4: mulReduce<4>(gd, a->words, b->words, r); break;
    case 5: mulReduce<5>(gd, a->words, b->words, r); break;
    case 6: mulReduce<6>(gd, a->words, b->words, r); break;
    case 7: mulReduce<7>(gd, a->words, b->words, r); break;
    default: mulReduce<8>(gd, a->words, b->words, r); break;
    }
    return 0;
}

uint32_t gSquare(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) { return gMultiply(gd, a, a, out); }

uint32_t gMultiplyWord(ksGlobalData* gd, const ksFieldElement* a, uint32_t k, ksFieldElement* out) {
    const uint32_t w = wordsOf(gd);
    uint32_t t[16] = {};
    uint64_t carry = 0;
    for (uint32_t i = 0; i < w; ++i) {
        carry += uint64_t(a->words[i]) * k;
        t[i] = uint32_t(carry);
        carry >>= 32;
    }
    t[w] = uint32_t(carry);
    uint32_t r[8];
    reduceProduct(gd, t, w, r);
    std::memcpy(out->words, r, w * 4);
    return 0;
}

uint32_t gNegate(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    ksFieldElement p{};
    std::memcpy(p.words, primeOf(gd), 32);
    return gSubtract(gd, &p, a, out);
}

uint32_t gZero(ksGlobalData* gd, ksFieldElement* out) {
    std::memset(out->words, 0, wordsOf(gd) * 4);
    return 0;
}

uint32_t gLowBit(ksGlobalData* gd, const ksFieldElement* a) {
    ksFieldElement* e = const_cast<ksFieldElement*>(a);
    gCanonical(gd, e);
    return e->words[0] & 1;
}

uint32_t gEqual(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b) {
    gCanonical(gd, const_cast<ksFieldElement*>(a));
    gCanonical(gd, const_cast<ksFieldElement*>(b));
    return std::memcmp(a->words, b->words, wordsOf(gd) * 4) == 0 ? 1 : 0;
}

uint32_t gIsZero(ksGlobalData* gd, const ksFieldElement* a) {
    gCanonical(gd, const_cast<ksFieldElement*>(a));
    for (uint32_t i = 0; i < wordsOf(gd); ++i)
        if (a->words[i] != 0) return 0;
    return 1;
}

uint32_t gIsOne(ksGlobalData* gd, const ksFieldElement* a) {
    gCanonical(gd, const_cast<ksFieldElement*>(a));
    if (a->words[0] != 1) return 0;
    for (uint32_t i = 1; i < wordsOf(gd); ++i)
        if (a->words[i] != 0) return 0;
    return 1;
}

uint32_t gToStandard(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out) {
    copyStandard(gd, in, out);
    return gCanonical(gd, out);
}

const ksFieldMethods kGenericPrime = {
    gAdd,   invert,     gLowBit,   gMultiply, setOne,        gZero,      gSquare,      gEqual,      gIsZero,
    gIsOne, squareRoot, gSubtract, gNegate,   gMultiplyWord, gCanonical, copyStandard, gToStandard,
};

}  // namespace

uint32_t setOne(ksGlobalData* gd, ksFieldElement* out) {
    std::memset(out->words, 0, wordsOf(gd) * 4);
    out->words[0] = 1;
    return 0;
}

uint32_t copyStandard(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out) {
    if (in != out) std::memcpy(out->words, in->words, wordsOf(gd) * 4);
    return 0;
}

uint32_t installPrime(ksGlobalData* gd, const uint8_t* reduction) {
    GlobalDataLayout* l = layoutOf(gd);
    const uint32_t m = l->fieldBits, w = wordsOf(gd);
    std::memset(l->fieldData, 0, sizeof l->fieldData);
    ksFieldElement p{};
    fieldFromOctets(gd, fieldOctets(m), reduction, &p);
    std::memcpy(primeOf(gd), p.words, 32);
    uint32_t* norm = normalisedOf(gd);
    std::memcpy(norm, p.words, w * 4);
    bool nonzero = false;
    for (uint32_t i = 0; i < w; ++i) nonzero |= norm[i] != 0;
    while (nonzero && int32_t(norm[w - 1]) >= 0) {
        for (uint32_t i = w; i-- > 1;) norm[i] = (norm[i] << 1) | (norm[i - 1] >> 31);
        norm[0] <<= 1;
    }
    return norm[w - 1];
}

// Binary extended Euclid with u = x1 a, v = x2 a (mod p); a is canonical and
// non-zero, so u or v reaches 1.
uint32_t invert(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    const ksFieldMethods* f = fieldMethodsOf(gd);
    const uint32_t w = wordsOf(gd);
    ksFieldElement in = *a;
    f->canonical(gd, &in);
    const uint32_t* p = primeOf(gd);
    uint32_t u[9] = {}, v[9] = {}, x1[9] = {}, x2[9] = {};
    std::memcpy(u, in.words, w * 4);
    std::memcpy(v, p, w * 4);
    x1[0] = 1;
    const uint32_t n = w + 1;  // one spare word for x + p
    auto isZero = [&](const uint32_t* x) {
        for (uint32_t i = 0; i < n; ++i)
            if (x[i]) return false;
        return true;
    };
    auto isOne = [&](const uint32_t* x) {
        if (x[0] != 1) return false;
        for (uint32_t i = 1; i < n; ++i)
            if (x[i]) return false;
        return true;
    };
    auto halve = [&](uint32_t* x) {
        for (uint32_t i = 0; i + 1 < n; ++i) x[i] = (x[i] >> 1) | (x[i + 1] << 31);
        x[n - 1] >>= 1;
    };
    // x / 2 modulo p for x below p; the carry of x + p lands in the spare word.
    auto halveModCarry = [&](uint32_t* x) {
        if (x[0] & 1) {
            const uint32_t c = addRuntime(x, p, w);
            x[w] += c;
        }
        halve(x);
    };
    // x = x - y modulo p, both below p.
    auto subMod = [&](uint32_t* x, const uint32_t* y) {
        if (subRuntime(x, y, w)) addRuntime(x, p, w);
    };
    if (isZero(u)) {
        std::memset(out->words, 0, w * 4);
        return 0;
    }
    while (!isOne(u) && !isOne(v)) {
        while ((u[0] & 1) == 0) {
            halve(u);
            halveModCarry(x1);
        }
        while ((v[0] & 1) == 0) {
            halve(v);
            halveModCarry(x2);
        }
        if (!lessRuntime(u, v, n)) {
            subRuntime(u, v, n);
            subMod(x1, x2);
        } else {
            subRuntime(v, u, n);
            subMod(x2, x1);
        }
        if (isZero(u) || isZero(v)) break;  // only for a p that is not prime
    }
    std::memcpy(out->words, isOne(u) ? x1 : x2, w * 4);
    return 0;
}

const ksFieldMethods* genericTable() { return &kGenericPrime; }

}  // namespace pf

}  // namespace tess::crypto

uint32_t a2368(ksGlobalData* gd, const ksFieldElement* a) { return tess::crypto::pf::gLowBit(gd, a); }

uint32_t tess::crypto::installPrimeGeneric(ksGlobalData* gd, const uint8_t* reduction) {
    layoutOf(gd)->fieldMethodsId = tess::crypto::kPrimeGenericId;
    return tess::crypto::pf::installPrime(gd, reduction);
}

uint32_t a2440(ksGlobalData* gd, const uint8_t* reduction) { return tess::crypto::installPrimeGeneric(gd, reduction); }
