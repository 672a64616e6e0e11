// The generic binary-field module: GF(2^m) in polynomial basis for any
// reduction polynomial of degree m (1..256, not a multiple of 32) that a
// curve record gives. The full modulus f = x^m + r lives in the context's
// field data. Bit-serial: it serves curves no fixed module covers.
#include <cstring>

#include "crypto/curve/curve_extensions.h"
#include "crypto/field/internal.h"
#include "crypto/field/prime_field.h"

namespace tess::crypto {
namespace {

struct Modulus {
    const uint32_t* f;
    uint32_t m;
    uint32_t n;  // words per element
};

Modulus modulusOf(ksGlobalData* gd) {
    const GlobalDataLayout* l = layoutOf(gd);
    const uint32_t m = l->fieldBits;
    return {reinterpret_cast<const uint32_t*>(l->fieldData), m, fieldWords(m) ? fieldWords(m) : 1};
}

// Elements of n + 1 words for the intermediate values.
struct Wide {
    uint32_t w[10] = {};
    bool bit(uint32_t i) const { return (w[i / 32] >> (i % 32)) & 1; }
    void shiftLeft(uint32_t words) {
        for (uint32_t i = words; i-- > 1;) w[i] = (w[i] << 1) | (w[i - 1] >> 31);
        w[0] <<= 1;
    }
    void add(const uint32_t* o, uint32_t words) {
        for (uint32_t i = 0; i < words; ++i) w[i] ^= o[i];
    }
};

uint32_t bAdd(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    const uint32_t n = modulusOf(gd).n;
    for (uint32_t i = 0; i < n; ++i) out->words[i] = a->words[i] ^ b->words[i];
    return 0;
}

// Horner's rule from the top bit of a.
uint32_t bMultiply(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    const Modulus mod = modulusOf(gd);
    Wide r;
    const ksFieldElement bb = *b;
    for (uint32_t i = mod.m; i-- > 0;) {
        r.shiftLeft(mod.n + 1);
        if (r.bit(mod.m)) r.add(mod.f, mod.n + 1);
        if ((a->words[i / 32] >> (i % 32)) & 1) r.add(bb.words, mod.n);
    }
    std::memcpy(out->words, r.w, mod.n * 4);
    return 0;
}

uint32_t bSquare(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) { return bMultiply(gd, a, a, out); }

// Extended Euclid by leading-bit alignment: G1 a = U, G2 a = V (mod f).
uint32_t bInvert(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    const Modulus mod = modulusOf(gd);
    const uint32_t words = mod.n + 1;
    Wide u, v, g1, g2;
    std::memcpy(u.w, mod.f, words * 4);
    std::memcpy(v.w, a->words, mod.n * 4);
    if (mod.m % 32) v.w[mod.n - 1] &= (1u << (mod.m % 32)) - 1;
    bool zero = true;
    for (uint32_t i = 0; i < mod.n; ++i) zero &= v.w[i] == 0;
    if (zero) {
        std::memset(out->words, 0, mod.n * 4);
        return 0;  // no inverse; the field layer never asks
    }
    g2.w[0] = 1;
    uint32_t j = mod.m;
    auto align = [&](const Wide& from, const Wide& fromG, Wide* to, Wide* toG) {
        Wide t = from, s = fromG;
        // A reducible modulus can leave from at zero: stop rather than loop.
        for (uint32_t shifts = 0; !t.bit(j); ++shifts) {
            if (shifts > 2 * 256) {
                j = 0;
                return;
            }
            t.shiftLeft(words);
            s.shiftLeft(words);
        }
        to->add(t.w, words);
        toG->add(s.w, words);
    };
    while (j > 0) {
        if (u.bit(j))
            align(v, g2, &u, &g1);
        else if (v.bit(j))
            align(u, g1, &v, &g2);
        else
            --j;
    }
    Wide r = v.w[0] == 1 ? g2 : g1;
    if (r.bit(mod.m)) r.add(mod.f, words);
    std::memcpy(out->words, r.w, mod.n * 4);
    return 0;
}

uint32_t bLowBit(ksGlobalData*, const ksFieldElement* a) { return a->words[0] & 1; }

uint32_t bZero(ksGlobalData* gd, ksFieldElement* out) {
    std::memset(out->words, 0, modulusOf(gd).n * 4);
    return 0;
}

uint32_t bEqual(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b) {
    return std::memcmp(a->words, b->words, modulusOf(gd).n * 4) == 0 ? 1 : 0;
}

uint32_t bIsZero(ksGlobalData* gd, const ksFieldElement* a) {
    for (uint32_t i = 0; i < modulusOf(gd).n; ++i)
        if (a->words[i]) return 0;
    return 1;
}

uint32_t bIsOne(ksGlobalData* gd, const ksFieldElement* a) {
    if (a->words[0] != 1) return 0;
    for (uint32_t i = 1; i < modulusOf(gd).n; ++i)
        if (a->words[i]) return 0;
    return 1;
}

// Sum of the m conjugates of a: 0 or 1.
ksFieldElement trace(ksGlobalData* gd, const ksFieldElement& a) {
    const Modulus mod = modulusOf(gd);
    ksFieldElement t = a, s{};
    for (uint32_t i = 0; i < mod.m; ++i) {
        bAdd(gd, &s, &t, &s);
        bSquare(gd, &t, &t);
    }
    return s;
}

// z with z^2 + z = a: half-trace for odd m, the trace-one recurrence for even m.
uint32_t bSolveQuadratic(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    const Modulus mod = modulusOf(gd);
    if (mod.m % 2 == 1) {
        ksFieldElement t = *a, s{}, h{};
        for (uint32_t i = 0; i < mod.m; ++i) {
            bAdd(gd, &s, &t, &s);
            if (i % 2 == 0) bAdd(gd, &h, &t, &h);
            bSquare(gd, &t, &t);
        }
        if (bIsOne(gd, &s)) return 0;
        *out = h;
        return 1;
    }
    ksFieldElement s = trace(gd, *a);
    if (bIsOne(gd, &s)) return 0;
    // tau: the first power x^(m-1), x^(m-2), ... x^1 of trace 1.
    ksFieldElement tau{};
    bool found = false;
    for (uint32_t e = mod.m - 1; e >= 1 && !found; --e) {
        tau = ksFieldElement{};
        tau.words[e / 32] = 1u << (e % 32);
        ksFieldElement tr = trace(gd, tau);
        found = bIsOne(gd, &tr) == 1;
    }
    if (!found) return 0;
    ksFieldElement z{}, w{}, t{};
    for (uint32_t i = 0; i < mod.m; ++i) {
        bMultiply(gd, &tau, &w, &t);
        bAdd(gd, &z, &t, &t);
        bSquare(gd, &t, &z);
        bSquare(gd, &w, &w);
        bAdd(gd, &w, a, &w);
    }
    *out = z;
    return 1;
}

const ksFieldMethods kGenericBinary = {
    bAdd,   bInvert,         bLowBit, bMultiply, pf::setOne, bZero,   bSquare,          bEqual,           bIsZero,
    bIsOne, bSolveQuadratic, nullptr, nullptr,   nullptr,    nullptr, pf::copyStandard, pf::copyStandard,
};

}  // namespace

const ksFieldMethods* binaryGenericTable() { return &kGenericBinary; }

}  // namespace tess::crypto

uint32_t tess::crypto::installBinaryGeneric(ksGlobalData* gd, const uint8_t* reduction) {
    using namespace tess::crypto;
    GlobalDataLayout* l = layoutOf(gd);
    l->fieldMethodsId = kBinaryGenericFieldId;
    const uint32_t m = l->fieldBits;
    uint32_t* f = reinterpret_cast<uint32_t*>(l->fieldData);
    std::memset(l->fieldData, 0, sizeof l->fieldData);
    if (m == 0 || m > 256) return 0;
    ksFieldElement r{};
    fieldFromOctets(gd, (m + 7) / 8, reduction, &r);
    std::memcpy(f, r.words, 32);
    // x^m; the degrees served keep it inside word n - 1 (m not a multiple of 32).
    if (m % 32 != 0) {
        f[m / 32] |= 1u << (m % 32);
        f[m / 32] &= (2u << (m % 32)) - 1;
    }
    return 0;
}

uint32_t a3109(ksGlobalData* gd, const uint8_t* reduction) { return tess::crypto::installBinaryGeneric(gd, reduction); }
