// Four-limb Montgomery arithmetic (R = 2^256) for the primes of P-224 and
// P-256, used by the a = -3 engine's inner loops. Every value is kept fully
// reduced below p, so zero and equality tests are on the limbs themselves.
// The constants (n0, R mod p, R^2 mod p, p - 2) are derived from p at
// compile time.
#pragma once

#include <cstdint>

#include "crypto/field/prime_field_arith.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tess::crypto::pf {

struct Limbs {
    uint64_t v[4];
};

namespace mont {

constexpr bool geq(const Limbs& a, const Limbs& b) {
    for (int i = 3; i >= 0; --i)
        if (a.v[i] != b.v[i]) return a.v[i] > b.v[i];
    return true;
}
constexpr uint64_t subInto(Limbs& a, const Limbs& b) {
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
        const u128 d = u128(a.v[i]) - b.v[i] - borrow;
        a.v[i] = uint64_t(d);
        borrow = uint64_t(d >> 64) & 1;
    }
    return borrow;
}
// 2^bits mod p by doubling.
constexpr Limbs powerOfTwo(const Limbs& p, int bits) {
    Limbs r{{1, 0, 0, 0}};
    for (int i = 0; i < bits; ++i) {
        const uint64_t top = r.v[3] >> 63;
        for (int k = 3; k > 0; --k) r.v[k] = (r.v[k] << 1) | (r.v[k - 1] >> 63);
        r.v[0] <<= 1;
        if (top != 0 || geq(r, p)) subInto(r, p);
    }
    return r;
}
// -p^-1 mod 2^64 by Newton's iteration.
constexpr uint64_t negInverse(uint64_t p0) {
    uint64_t x = 1;
    for (int i = 0; i < 7; ++i) x *= 2 - p0 * x;
    return uint64_t(0) - x;
}

// Carry chains on 64-bit limbs; the carry is 0 or 1.
[[gnu::always_inline]] inline uint64_t adc(uint64_t a, uint64_t b, unsigned char& carry) {
#if defined(__x86_64__)
    unsigned long long r;
    carry = _addcarry_u64(carry, a, b, &r);
    return r;
#else
    const u128 s = u128(a) + b + carry;
    carry = (unsigned char)(s >> 64);
    return uint64_t(s);
#endif
}
[[gnu::always_inline]] inline uint64_t sbb(uint64_t a, uint64_t b, unsigned char& borrow) {
#if defined(__x86_64__)
    unsigned long long r;
    borrow = _subborrow_u64(borrow, a, b, &r);
    return r;
#else
    const u128 d = u128(a) - b - borrow;
    borrow = (unsigned char)(d >> 64) & 1;
    return uint64_t(d);
#endif
}
[[gnu::always_inline]] inline uint64_t mulWide(uint64_t a, uint64_t b, uint64_t& hi) {
    const u128 p = u128(a) * b;
    hi = uint64_t(p >> 64);
    return uint64_t(p);
}
// x y as five limbs.
[[gnu::always_inline]] inline void mulRow(uint64_t x, const uint64_t* y, uint64_t* r) {
    uint64_t h0, h1, h2, h3;
    r[0] = mulWide(x, y[0], h0);
    const uint64_t l1 = mulWide(x, y[1], h1);
    const uint64_t l2 = mulWide(x, y[2], h2);
    const uint64_t l3 = mulWide(x, y[3], h3);
    unsigned char c = 0;
    r[1] = adc(l1, h0, c);
    r[2] = adc(l2, h1, c);
    r[3] = adc(l3, h2, c);
    r[4] = h3 + c;  // the high word of a product is at most 2^64 - 2
}

}  // namespace mont

// P: a struct with the prime's limbs as `static constexpr Limbs p`.
template <typename P>
struct Mont {
    static constexpr Limbs p = P::p;
    static constexpr uint64_t n0 = mont::negInverse(P::p.v[0]);
    static constexpr Limbs one = mont::powerOfTwo(P::p, 256);
    static constexpr Limbs r2 = mont::powerOfTwo(P::p, 512);
    // p = -1 mod 2^64 with p1 = 2^32 - 1: a reduction round needs only
    // the product with the top limb.
    static constexpr bool shaped = P::p.v[0] == ~uint64_t(0) && P::p.v[1] == 0xFFFFFFFFull && P::p.v[2] == 0;
    // p = 2^224 - 2^96 + 1: m p is a few shifted copies of m.
    static constexpr bool shaped224 =
        P::p.v[0] == 1 && P::p.v[1] == 0xFFFFFFFF00000000ull && P::p.v[2] == ~uint64_t(0) && P::p.v[3] == 0xFFFFFFFFull;

    // m p as five limbs, m = t0 n0.
    [[gnu::always_inline]] static inline void reductionRow(uint64_t t0, uint64_t* row) {
        const uint64_t m = t0 * n0;
        if constexpr (shaped224) {
            unsigned char b = 0;
            row[0] = m;
            row[1] = mont::sbb(0, m << 32, b);
            row[2] = mont::sbb(0, m >> 32, b);
            row[3] = mont::sbb(m << 32, 0, b);
            row[4] = mont::sbb(m >> 32, 0, b);  // m p is positive: no borrow out
        } else {
            mont::mulRow(m, p.v, row);
        }
    }

    // (c:s) - p when that is not negative, else s.
    [[gnu::always_inline]] static inline void finish(uint64_t c, const uint64_t* s, Limbs& r) {
        unsigned char borrow = 0;
        const uint64_t d0 = mont::sbb(s[0], p.v[0], borrow);
        const uint64_t d1 = mont::sbb(s[1], p.v[1], borrow);
        const uint64_t d2 = mont::sbb(s[2], p.v[2], borrow);
        const uint64_t d3 = mont::sbb(s[3], p.v[3], borrow);
        mont::sbb(c, 0, borrow);
        // Negative exactly when c = 0 and the limbs borrowed.
        const bool keep = borrow != 0;
        r.v[0] = keep ? s[0] : d0;
        r.v[1] = keep ? s[1] : d1;
        r.v[2] = keep ? s[2] : d2;
        r.v[3] = keep ? s[3] : d3;
    }

    [[gnu::always_inline]] static inline void mul(const Limbs& a, const Limbs& b, Limbs& r) {
        // Row by row, each followed by one reduction round (coarsely
        // integrated operand scanning); t stays below 2p.
        uint64_t t0, t1, t2, t3, t4;
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) {
            uint64_t row[5];
            mont::mulRow(a.v[i], b.v, row);
            unsigned char c = 0;
            if (i == 0) {
                t0 = row[0];
                t1 = row[1];
                t2 = row[2];
                t3 = row[3];
                t4 = row[4];
            } else {
                t0 = mont::adc(t0, row[0], c);
                t1 = mont::adc(t1, row[1], c);
                t2 = mont::adc(t2, row[2], c);
                t3 = mont::adc(t3, row[3], c);
                t4 = mont::adc(t4, row[4], c);
            }
            const uint64_t t5 = c;
            c = 0;
            if constexpr (shaped) {
                // m p3 = m 2^64 - m 2^32 + m without a multiplication.
                const uint64_t m = t0;
                unsigned char b = 0;
                const uint64_t lo = mont::sbb(m, m << 32, b);
                const uint64_t hi = mont::sbb(m, m >> 32, b);
                t0 = mont::adc(t1, m << 32, c);
                t1 = mont::adc(t2, m >> 32, c);
                t2 = mont::adc(t3, lo, c);
                t3 = mont::adc(t4, hi, c);
            } else {
                reductionRow(t0, row);
                mont::adc(t0, row[0], c);
                t0 = mont::adc(t1, row[1], c);
                t1 = mont::adc(t2, row[2], c);
                t2 = mont::adc(t3, row[3], c);
                t3 = mont::adc(t4, row[4], c);
            }
            t4 = t5 + c;
        }
        const uint64_t s[4] = {t0, t1, t2, t3};
        finish(t4, s, r);
    }

    // A dedicated square (cross products once) reduced separately measures
    // slower than the interleaved product.
    [[gnu::always_inline]] static inline void sqr(const Limbs& a, Limbs& r) { mul(a, a, r); }
    [[gnu::always_inline]] static inline void add(const Limbs& a, const Limbs& b, Limbs& r) {
        unsigned char c = 0;
        uint64_t s[4];
        s[0] = mont::adc(a.v[0], b.v[0], c);
        s[1] = mont::adc(a.v[1], b.v[1], c);
        s[2] = mont::adc(a.v[2], b.v[2], c);
        s[3] = mont::adc(a.v[3], b.v[3], c);
        finish(c, s, r);
    }
    [[gnu::always_inline]] static inline void sub(const Limbs& a, const Limbs& b, Limbs& r) {
        unsigned char borrow = 0, c = 0;
        const uint64_t d0 = mont::sbb(a.v[0], b.v[0], borrow);
        const uint64_t d1 = mont::sbb(a.v[1], b.v[1], borrow);
        const uint64_t d2 = mont::sbb(a.v[2], b.v[2], borrow);
        const uint64_t d3 = mont::sbb(a.v[3], b.v[3], borrow);
        const uint64_t mask = uint64_t(0) - borrow;
        r.v[0] = mont::adc(d0, p.v[0] & mask, c);
        r.v[1] = mont::adc(d1, p.v[1] & mask, c);
        r.v[2] = mont::adc(d2, p.v[2] & mask, c);
        r.v[3] = mont::adc(d3, p.v[3] & mask, c);
    }
    [[gnu::always_inline]] static inline void neg(const Limbs& a, Limbs& r) {
        const Limbs zero{};
        sub(zero, a, r);
    }
    [[gnu::always_inline]] static inline bool isZero(const Limbs& a) {
        return (a.v[0] | a.v[1] | a.v[2] | a.v[3]) == 0;
    }
    [[gnu::always_inline]] static inline bool equal(const Limbs& a, const Limbs& b) {
        return ((a.v[0] ^ b.v[0]) | (a.v[1] ^ b.v[1]) | (a.v[2] ^ b.v[2]) | (a.v[3] ^ b.v[3])) == 0;
    }

    // Any value below 2^256 into Montgomery form, and back to the plain value
    // below p.
    static inline void enter(const Limbs& a, Limbs& r) { mul(a, r2, r); }
    static inline void leave(const Limbs& a, Limbs& r) { mul(a, Limbs{{1, 0, 0, 0}}, r); }

    // a^(p - 2) with a fixed four-bit window over the public exponent; zero
    // gives zero.
    static void invert(const Limbs& a, Limbs& r) {
        if constexpr (shaped && P::p.v[3] == 0xFFFFFFFF00000001ull) {
            invertP256(a, r);
            return;
        }
        Limbs e = p;
        mont::subInto(e, Limbs{{2, 0, 0, 0}});
        Limbs power[16];
        power[0] = one;
        power[1] = a;
        for (int i = 2; i < 16; ++i) mul(power[i - 1], a, power[i]);
        Limbs acc = one;
        bool started = false;
        for (int n = 63; n >= 0; --n) {
            const unsigned digit = unsigned(e.v[n / 16] >> (4 * (n % 16))) & 15;
            if (started)
                for (int s = 0; s < 4; ++s) sqr(acc, acc);
            if (digit != 0) {
                if (started)
                    mul(acc, power[digit], acc);
                else
                    acc = power[digit];
                started = true;
            }
        }
        r = acc;
    }
    // p - 2 = 2^256 - 2^224 + 2^192 + 2^96 - 3 from runs of ones x_k =
    // a^(2^k - 1): 255 squares and 12 products.
    static void invertP256(const Limbs& a, Limbs& r) {
        auto run = [](Limbs& acc, int squares, const Limbs& times) {
            for (int i = 0; i < squares; ++i) sqr(acc, acc);
            mul(acc, times, acc);
        };
        Limbs x2 = a, x3, x6, x12, x15, x30, x32;
        run(x2, 1, a);
        x3 = x2;
        run(x3, 1, a);
        x6 = x3;
        run(x6, 3, x3);
        x12 = x6;
        run(x12, 6, x6);
        x15 = x12;
        run(x15, 3, x3);
        x30 = x15;
        run(x30, 15, x15);
        x32 = x30;
        run(x32, 2, x2);
        // Bits 255..224 ones, 223..192 0...01, 191..96 zeros, 95..2 ones,
        // 1..0 01.
        Limbs acc = x32;
        run(acc, 32, a);
        for (int i = 0; i < 96; ++i) sqr(acc, acc);
        run(acc, 32, x32);
        run(acc, 32, x32);
        run(acc, 30, x30);
        run(acc, 2, a);
        r = acc;
    }
};

struct PrimeP224Limbs {
    static constexpr Limbs p{{1, 0xFFFFFFFF00000000ull, ~uint64_t(0), 0xFFFFFFFFull}};
};
struct PrimeP256Limbs {
    static constexpr Limbs p{{~uint64_t(0), 0xFFFFFFFFull, 0, 0xFFFFFFFF00000001ull}};
};
using MontP224 = Mont<PrimeP224Limbs>;
using MontP256 = Mont<PrimeP256Limbs>;

}  // namespace tess::crypto::pf
