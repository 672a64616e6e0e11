// Four-limb Montgomery arithmetic (R = 2^256) for the primes of P-224 and
// P-256, used by the a = -3 engine's inner loops. Every value is kept fully
// reduced below p, so zero and equality tests are on the limbs themselves.
// The constants (n0, R mod p, R^2 mod p, p - 2) are derived from p at
// compile time.
#pragma once

#include <cstdint>

#include "crypto/prime_field_arith.h"

namespace ks::pf {

struct Limbs {
    uint64_t v[4];
};

namespace mont {

constexpr bool geq(const Limbs& a, const Limbs& b)
{
    for (int i = 3; i >= 0; --i)
        if (a.v[i] != b.v[i])
            return a.v[i] > b.v[i];
    return true;
}
constexpr uint64_t subInto(Limbs& a, const Limbs& b)
{
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
        const u128 d = u128(a.v[i]) - b.v[i] - borrow;
        a.v[i] = uint64_t(d);
        borrow = uint64_t(d >> 64) & 1;
    }
    return borrow;
}
// 2^bits mod p by doubling.
constexpr Limbs powerOfTwo(const Limbs& p, int bits)
{
    Limbs r{{1, 0, 0, 0}};
    for (int i = 0; i < bits; ++i) {
        const uint64_t top = r.v[3] >> 63;
        for (int k = 3; k > 0; --k)
            r.v[k] = (r.v[k] << 1) | (r.v[k - 1] >> 63);
        r.v[0] <<= 1;
        if (top != 0 || geq(r, p))
            subInto(r, p);
    }
    return r;
}
// -p^-1 mod 2^64 by Newton's iteration.
constexpr uint64_t negInverse(uint64_t p0)
{
    uint64_t x = 1;
    for (int i = 0; i < 7; ++i)
        x *= 2 - p0 * x;
    return uint64_t(0) - x;
}

inline uint64_t adc(uint64_t a, uint64_t b, uint64_t& carry)
{
    const u128 s = u128(a) + b + carry;
    carry = uint64_t(s >> 64);
    return uint64_t(s);
}
inline uint64_t sbb(uint64_t a, uint64_t b, uint64_t& borrow)
{
    const u128 d = u128(a) - b - borrow;
    borrow = uint64_t(d >> 64) & 1;
    return uint64_t(d);
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

    // (c:s) - p when that is not negative, else s.
    static inline void finish(uint64_t c, const uint64_t* s, Limbs& r)
    {
        uint64_t d[4], borrow = 0;
        for (int i = 0; i < 4; ++i)
            d[i] = mont::sbb(s[i], p.v[i], borrow);
        // Negative exactly when c = 0 and the limbs borrowed.
        const uint64_t keep = uint64_t(0) - (borrow & ~c & 1);
        for (int i = 0; i < 4; ++i)
            r.v[i] = (s[i] & keep) | (d[i] & ~keep);
    }

    // t (eight limbs, below 2^256 p) times 2^-256 mod p.
    static inline void reduce(const uint64_t* t, Limbs& r)
    {
        uint64_t w0 = t[0], w1 = t[1], w2 = t[2], w3 = t[3];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) {
            // w = (w + m p) / 2^64, which stays below 2^192 + p.
            if constexpr (shaped) {
                const uint64_t m = w0;
                const u128 top = u128(m) * p.v[3];
                uint64_t c = 0;
                w0 = mont::adc(w1, m << 32, c);
                w1 = mont::adc(w2, m >> 32, c);
                w2 = mont::adc(w3, uint64_t(top), c);
                w3 = uint64_t(top >> 64) + c;
            } else {
                const uint64_t m = w0 * n0;
                u128 acc = u128(m) * p.v[0] + w0;
                acc = (acc >> 64) + u128(m) * p.v[1] + w1;
                w0 = uint64_t(acc);
                acc = (acc >> 64) + u128(m) * p.v[2] + w2;
                w1 = uint64_t(acc);
                acc = (acc >> 64) + u128(m) * p.v[3] + w3;
                w2 = uint64_t(acc);
                w3 = uint64_t(acc >> 64);
            }
        }
        // The low half's part is at most p, the high half's below p.
        uint64_t c = 0, s[4];
        s[0] = mont::adc(w0, t[4], c);
        s[1] = mont::adc(w1, t[5], c);
        s[2] = mont::adc(w2, t[6], c);
        s[3] = mont::adc(w3, t[7], c);
        finish(c, s, r);
    }

    static inline void wideMul(const Limbs& a, const Limbs& b, uint64_t* t)
    {
        u128 acc = 0;
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            acc = (acc >> 64) + u128(a.v[0]) * b.v[j];
            t[j] = uint64_t(acc);
        }
        t[4] = uint64_t(acc >> 64);
#pragma GCC unroll 4
        for (int i = 1; i < 4; ++i) {
            acc = 0;
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j) {
                acc = (acc >> 64) + u128(a.v[i]) * b.v[j] + t[i + j];
                t[i + j] = uint64_t(acc);
            }
            t[i + 4] = uint64_t(acc >> 64);
        }
    }
    // The six cross products once, doubled, then the diagonal.
    static inline void wideSqr(const Limbs& a, uint64_t* t)
    {
        const uint64_t* x = a.v;
        u128 c = u128(x[0]) * x[1];
        t[1] = uint64_t(c);
        c = (c >> 64) + u128(x[0]) * x[2];
        t[2] = uint64_t(c);
        c = (c >> 64) + u128(x[0]) * x[3];
        t[3] = uint64_t(c);
        t[4] = uint64_t(c >> 64);
        c = u128(x[1]) * x[2] + t[3];
        t[3] = uint64_t(c);
        c = (c >> 64) + u128(x[1]) * x[3] + t[4];
        t[4] = uint64_t(c);
        t[5] = uint64_t(c >> 64);
        c = u128(x[2]) * x[3] + t[5];
        t[5] = uint64_t(c);
        t[6] = uint64_t(c >> 64);
        t[7] = t[6] >> 63;
        t[6] = (t[6] << 1) | (t[5] >> 63);
        t[5] = (t[5] << 1) | (t[4] >> 63);
        t[4] = (t[4] << 1) | (t[3] >> 63);
        t[3] = (t[3] << 1) | (t[2] >> 63);
        t[2] = (t[2] << 1) | (t[1] >> 63);
        t[1] <<= 1;
        uint64_t carry = 0;
        u128 sq = u128(x[0]) * x[0];
        t[0] = uint64_t(sq);
        t[1] = mont::adc(t[1], uint64_t(sq >> 64), carry);
#pragma GCC unroll 3
        for (int i = 1; i < 4; ++i) {
            sq = u128(x[i]) * x[i];
            t[2 * i] = mont::adc(t[2 * i], uint64_t(sq), carry);
            t[2 * i + 1] = mont::adc(t[2 * i + 1], uint64_t(sq >> 64), carry);
        }
    }

    static inline void mul(const Limbs& a, const Limbs& b, Limbs& r)
    {
        uint64_t t[8];
        wideMul(a, b, t);
        reduce(t, r);
    }
    static inline void sqr(const Limbs& a, Limbs& r)
    {
        uint64_t t[8];
        wideSqr(a, t);
        reduce(t, r);
    }
    static inline void add(const Limbs& a, const Limbs& b, Limbs& r)
    {
        uint64_t s[4], c = 0;
        for (int i = 0; i < 4; ++i)
            s[i] = mont::adc(a.v[i], b.v[i], c);
        finish(c, s, r);
    }
    static inline void sub(const Limbs& a, const Limbs& b, Limbs& r)
    {
        uint64_t d[4], borrow = 0, c = 0;
        for (int i = 0; i < 4; ++i)
            d[i] = mont::sbb(a.v[i], b.v[i], borrow);
        const uint64_t mask = uint64_t(0) - borrow;
        for (int i = 0; i < 4; ++i)
            r.v[i] = mont::adc(d[i], p.v[i] & mask, c);
    }
    static inline void neg(const Limbs& a, Limbs& r)
    {
        const Limbs zero{};
        sub(zero, a, r);
    }
    static inline bool isZero(const Limbs& a) { return (a.v[0] | a.v[1] | a.v[2] | a.v[3]) == 0; }
    static inline bool equal(const Limbs& a, const Limbs& b)
    {
        return ((a.v[0] ^ b.v[0]) | (a.v[1] ^ b.v[1]) | (a.v[2] ^ b.v[2]) | (a.v[3] ^ b.v[3])) == 0;
    }

    // Any value below 2^256 into Montgomery form, and back to the plain value
    // below p.
    static inline void enter(const Limbs& a, Limbs& r) { mul(a, r2, r); }
    static inline void leave(const Limbs& a, Limbs& r)
    {
        uint64_t t[8] = {a.v[0], a.v[1], a.v[2], a.v[3], 0, 0, 0, 0};
        reduce(t, r);
    }

    // a^(p - 2) with a fixed four-bit window over the public exponent; zero
    // gives zero.
    static void invert(const Limbs& a, Limbs& r)
    {
        Limbs e = p;
        mont::subInto(e, Limbs{{2, 0, 0, 0}});
        Limbs power[16];
        power[0] = one;
        power[1] = a;
        for (int i = 2; i < 16; ++i)
            mul(power[i - 1], a, power[i]);
        Limbs acc = one;
        bool started = false;
        for (int n = 63; n >= 0; --n) {
            const unsigned digit = unsigned(e.v[n / 16] >> (4 * (n % 16))) & 15;
            if (started)
                for (int s = 0; s < 4; ++s)
                    sqr(acc, acc);
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
};

struct PrimeP224Limbs {
    static constexpr Limbs p{{1, 0xFFFFFFFF00000000ull, ~uint64_t(0), 0xFFFFFFFFull}};
};
struct PrimeP256Limbs {
    static constexpr Limbs p{{~uint64_t(0), 0xFFFFFFFFull, 0, 0xFFFFFFFF00000001ull}};
};
using MontP224 = Mont<PrimeP224Limbs>;
using MontP256 = Mont<PrimeP256Limbs>;

}  // namespace ks::pf
