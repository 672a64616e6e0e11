// GF(2^233) with f(x) = x^233 + x^74 + 1 on the carry-less multiply
// instruction, element words kept in two 128-bit registers. Internal to the
// fixed binary-field modules (included by binary_field_arith.h).
#pragma once

#include <cstdint>

#include <immintrin.h>

namespace tess::crypto::gf2m {
namespace {

#define KESTREL_CLMUL_INLINE __attribute__((target("pclmul,sse4.1"), always_inline)) inline

struct Clmul233 {
    struct V {
        __m128i lo, hi;  // words 0-1 and 2-3
    };
    struct W {
        __m128i r[4];  // words 0-1, 2-3, 4-5, 6-7 of an unreduced product
    };

    static KESTREL_CLMUL_INLINE V load(const uint64_t* a) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2))};
    }
    static KESTREL_CLMUL_INLINE void store(const V& v, uint64_t* out) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v.lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2), v.hi);
    }
    static KESTREL_CLMUL_INLINE V add(const V& a, const V& b) {
        return {_mm_xor_si128(a.lo, b.lo), _mm_xor_si128(a.hi, b.hi)};
    }
    static KESTREL_CLMUL_INLINE W add(const W& a, const W& b) {
        W r;
        for (int i = 0; i < 4; ++i) r.r[i] = _mm_xor_si128(a.r[i], b.r[i]);
        return r;
    }

    // 128 x 128 -> 256 bits, as low and high halves.
    static KESTREL_CLMUL_INLINE void mul128(__m128i a, __m128i b, __m128i& lo, __m128i& hi) {
        const __m128i l = _mm_clmulepi64_si128(a, b, 0x00);
        const __m128i h = _mm_clmulepi64_si128(a, b, 0x11);
        const __m128i m = _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x01), _mm_clmulepi64_si128(a, b, 0x10));
        lo = _mm_xor_si128(l, _mm_slli_si128(m, 8));
        hi = _mm_xor_si128(h, _mm_srli_si128(m, 8));
    }

    // Full product, one Karatsuba level over the 128-bit halves.
    static KESTREL_CLMUL_INLINE W mulWide(const V& a, const V& b) {
        __m128i l0, l1, h0, h1, m0, m1;
        mul128(a.lo, b.lo, l0, l1);
        mul128(a.hi, b.hi, h0, h1);
        mul128(_mm_xor_si128(a.lo, a.hi), _mm_xor_si128(b.lo, b.hi), m0, m1);
        m0 = _mm_xor_si128(m0, _mm_xor_si128(l0, h0));
        m1 = _mm_xor_si128(m1, _mm_xor_si128(l1, h1));
        return {{l0, _mm_xor_si128(l1, m0), _mm_xor_si128(h0, m1), h1}};
    }

    static KESTREL_CLMUL_INLINE W sqrWide(const V& a) {
        return {{_mm_clmulepi64_si128(a.lo, a.lo, 0x00), _mm_clmulepi64_si128(a.lo, a.lo, 0x11),
                 _mm_clmulepi64_si128(a.hi, a.hi, 0x00), _mm_clmulepi64_si128(a.hi, a.hi, 0x11)}};
    }

    // Folds one register pair of high words (words i, i+1 with i = 4 or 6)
    // into the three pairs below it: x^(64i) = x^(64(i-4)+23) + x^(64(i-3)+33).
    static KESTREL_CLMUL_INLINE void fold(__m128i t, __m128i& below4, __m128i& below2) {
        below4 = _mm_xor_si128(below4, _mm_slli_epi64(t, 23));
        const __m128i u = _mm_xor_si128(_mm_srli_epi64(t, 41), _mm_slli_epi64(t, 33));
        below4 = _mm_xor_si128(below4, _mm_slli_si128(u, 8));
        below2 = _mm_xor_si128(below2, _mm_srli_si128(u, 8));
        below2 = _mm_xor_si128(below2, _mm_srli_epi64(t, 31));
    }

    // Canonical remainder of a product of two elements below 2^256.
    static KESTREL_CLMUL_INLINE V reduce(W w) {
        fold(w.r[3], w.r[1], w.r[2]);
        fold(w.r[2], w.r[0], w.r[1]);
        // Bits 233..255 of word 3: x^233 = x^74 + 1.
        const __m128i t = _mm_srli_si128(_mm_srli_epi64(w.r[1], 41), 8);
        w.r[0] = _mm_xor_si128(w.r[0], _mm_xor_si128(t, _mm_slli_si128(_mm_slli_epi64(t, 10), 8)));
        w.r[1] = _mm_and_si128(w.r[1], _mm_set_epi64x((int64_t(1) << 41) - 1, -1));
        return {w.r[0], w.r[1]};
    }

    static KESTREL_CLMUL_INLINE V mul(const V& a, const V& b) { return reduce(mulWide(a, b)); }
    static KESTREL_CLMUL_INLINE V sqr(const V& a) { return reduce(sqrWide(a)); }

    // Swaps a and b where mask is all ones, leaves them where it is zero.
    static KESTREL_CLMUL_INLINE void condSwap(V& a, V& b, __m128i mask) {
        const __m128i tl = _mm_and_si128(_mm_xor_si128(a.lo, b.lo), mask);
        const __m128i th = _mm_and_si128(_mm_xor_si128(a.hi, b.hi), mask);
        a.lo = _mm_xor_si128(a.lo, tl);
        b.lo = _mm_xor_si128(b.lo, tl);
        a.hi = _mm_xor_si128(a.hi, th);
        b.hi = _mm_xor_si128(b.hi, th);
    }

    // The Lopez-Dahab x/z ladder (see BinaryLadder) on words of 64 bits,
    // state in registers. One swap per bit, by the change from the previous
    // bit; the product x Z2 + A C is reduced once.
    struct LadderState {
        V x1, z1, x2, z2;
    };
    static KESTREL_CLMUL_INLINE void ladder(const V& x, const V& b, bool bIsOne, const uint32_t* bits, uint32_t nbits,
                                            LadderState& s) {
        const V zero{_mm_setzero_si128(), _mm_setzero_si128()};
        const V one{_mm_set_epi64x(0, 1), _mm_setzero_si128()};
        V x1 = one, z1 = zero, x2 = x, z2 = one;
        uint32_t previous = 0;
        for (uint32_t i = nbits; i-- > 0;) {
            const uint32_t bit = (bits[i / 32] >> (i % 32)) & 1;
            const __m128i mask = _mm_set1_epi64x(-int64_t(bit ^ previous));
            previous = bit;
            condSwap(x1, x2, mask);
            condSwap(z1, z2, mask);
            const V a = mul(x1, z2);
            const V c = mul(x2, z1);
            z2 = sqr(add(a, c));
            x2 = reduce(add(mulWide(a, c), mulWide(x, z2)));
            // z1 = (x1 z1)^2; x1 = x1^4 + b z1^4.
            const V t = mul(x1, z1);
            if (bIsOne) {
                x1 = sqr(sqr(add(x1, z1)));
            } else {
                const V z4 = sqr(sqr(z1));
                x1 = add(sqr(sqr(x1)), mul(b, z4));
            }
            z1 = sqr(t);
        }
        const __m128i mask = _mm_set1_epi64x(-int64_t(previous));
        condSwap(x1, x2, mask);
        condSwap(z1, z2, mask);
        s = {x1, z1, x2, z2};
    }
};

#undef KESTREL_CLMUL_INLINE

}  // namespace
}  // namespace tess::crypto::gf2m
