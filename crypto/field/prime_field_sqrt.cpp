// Square roots in the prime fields (the decompression slot): a power for
// p = 3 (mod 4) and p = 5 (mod 8), the Cipolla-Lehmer method otherwise.
#include <cstring>

#include "crypto/field/prime_field.h"
#include "crypto/field/prime_field_mont.h"

namespace tess::crypto::pf {

namespace {

// An exponent as words, least significant first.
struct Exponent {
    uint32_t words[9] = {};
    uint32_t bits() const {
        for (uint32_t i = 9; i-- > 0;)
            if (words[i]) return 32 * i + 32 - uint32_t(__builtin_clz(words[i]));
        return 0;
    }
    bool bit(uint32_t i) const { return (words[i / 32] >> (i % 32)) & 1; }
    void shiftRight(uint32_t s) {
        for (uint32_t i = 0; i < 9; ++i) words[i] = (words[i] >> s) | (i + 1 < 9 && s ? words[i + 1] << (32 - s) : 0);
    }
    void addWord(uint32_t v) {
        uint64_t c = v;
        for (uint32_t i = 0; i < 9 && c; ++i) {
            c += words[i];
            words[i] = uint32_t(c);
            c >>= 32;
        }
    }
    void subWord(uint32_t v) {
        int64_t b = -int64_t(v);
        for (uint32_t i = 0; i < 9 && b; ++i) {
            const int64_t d = int64_t(words[i]) + b;
            words[i] = uint32_t(d);
            b = d >> 32;
        }
    }
};

Exponent primeExponent(ksGlobalData* gd) {
    Exponent e;
    std::memcpy(e.words, primeOf(gd), 32);
    return e;
}

void power(ksGlobalData* gd, const ksFieldMethods* f, const ksFieldElement* a, const Exponent& e, ksFieldElement* out) {
    ksFieldElement r{}, base = *a;
    f->one(gd, &r);
    for (uint32_t i = e.bits(); i-- > 0;) {
        f->square(gd, &r, &r);
        if (e.bit(i)) f->multiply(gd, &r, &base, &r);
    }
    *out = r;
}

// a^e for P-256 in Montgomery form, which squares several times faster than
// the module's own reduction; the value is the same.
void powerP256(const ksFieldElement* a, const Exponent& e, ksFieldElement* out) {
    Limbs x, r = MontP256::one;
    for (int i = 0; i < 4; ++i) x.v[i] = a->words[2 * i] | (uint64_t(a->words[2 * i + 1]) << 32);
    MontP256::enter(x, x);
    for (uint32_t i = e.bits(); i-- > 0;) {
        MontP256::sqr(r, r);
        if (e.bit(i)) MontP256::mul(r, x, r);
    }
    MontP256::leave(r, r);
    *out = ksFieldElement{};
    for (int i = 0; i < 4; ++i) {
        out->words[2 * i] = uint32_t(r.v[i]);
        out->words[2 * i + 1] = uint32_t(r.v[i] >> 32);
    }
}

bool squaresTo(ksGlobalData* gd, const ksFieldMethods* f, const ksFieldElement* root, const ksFieldElement* a) {
    ksFieldElement sq{}, copy = *a;
    f->square(gd, root, &sq);
    return f->equal(gd, &sq, &copy) == 1;
}

}  // namespace

void pseudoRandomElement(uint32_t words, ksFieldElement* element) {
    uint32_t state = element->words[0] != 0 ? element->words[0] : 0x55555555u;
    for (uint32_t i = words; i-- > 0;) {
        state = (state & (1u << 27)) ? (state << 1) ^ 0xD75834BBu : state << 1;
        element->words[i] = state;
    }
}

uint32_t squareRootCipolla(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    const ksFieldMethods* f = fieldMethodsOf(gd);
    const uint32_t w = wordsOf(gd);
    ksFieldElement in = *a;
    if (f->isZero(gd, &in) == 1) {
        f->zero(gd, out);
        return 1;
    }
    Exponent e = primeExponent(gd);  // (p + 1) / 2
    e.shiftRight(1);
    e.addWord(1);
    ksFieldElement c{};
    // A square fails an attempt with probability about 1/2; the bound only
    // keeps a broken prime from looping.
    for (int attempt = 0; attempt < 128; ++attempt) {
        pseudoRandomElement(w, &c);
        ksFieldElement A{}, B{}, t1{}, t2{}, t3{};
        f->one(gd, &A);
        f->zero(gd, &B);
        for (uint32_t i = e.bits(); i-- > 0;) {
            // (A + Bt)^2 = A^2 - aB^2 + B(2A + Bc) t
            f->square(gd, &A, &t1);
            f->square(gd, &B, &t2);
            f->multiply(gd, &t2, &in, &t2);
            f->subtract(gd, &t1, &t2, &t1);
            f->multiplyWord(gd, &A, 2, &t2);
            f->multiply(gd, &B, &c, &t3);
            f->add(gd, &t2, &t3, &t2);
            f->multiply(gd, &B, &t2, &B);
            A = t1;
            if (e.bit(i)) {
                // (A + Bt) t = -aB + (A + Bc) t
                f->multiply(gd, &B, &in, &t1);
                f->negate(gd, &t1, &t1);
                f->multiply(gd, &B, &c, &t2);
                f->add(gd, &A, &t2, &B);
                A = t1;
            }
        }
        if (squaresTo(gd, f, &A, &in)) {
            *out = A;
            return 1;
        }
        if (attempt == 0) {
            Exponent euler = primeExponent(gd);  // (p - 1) / 2
            euler.subWord(1);
            euler.shiftRight(1);
            ksFieldElement r{};
            power(gd, f, &in, euler, &r);
            if (f->isOne(gd, &r) != 1) return 0;
        }
    }
    return 0;
}

uint32_t squareRoot(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    const ksFieldMethods* f = fieldMethodsOf(gd);
    const uint32_t low = primeOf(gd)[0];
    if ((low & 3) == 3) {
        Exponent e = primeExponent(gd);  // (p + 1) / 4
        e.shiftRight(2);
        e.addWord(1);
        if (layoutOf(gd)->fieldMethodsId == kPrimeP256Id)
            powerP256(a, e, out);
        else
            power(gd, f, a, e, out);
        return squaresTo(gd, f, out, a) ? 1 : 0;
    }
    if ((low & 7) == 5) {
        Exponent e = primeExponent(gd);  // (p + 3) / 8
        e.shiftRight(3);
        e.addWord(1);
        ksFieldElement z{};
        power(gd, f, a, e, &z);
        if (squaresTo(gd, f, &z, a)) {
            *out = z;
            return 1;
        }
        Exponent q = primeExponent(gd);  // (p - 1) / 4
        q.shiftRight(2);
        ksFieldElement two{}, d{};
        f->one(gd, &two);
        f->add(gd, &two, &two, &two);
        power(gd, f, &two, q, &d);
        f->multiply(gd, &z, &d, &z);
        if (squaresTo(gd, f, &z, a)) {
            *out = z;
            return 1;
        }
        *out = z;
    }
    return squareRootCipolla(gd, a, out);
}

}  // namespace tess::crypto::pf
