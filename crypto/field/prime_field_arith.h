// Word arithmetic shared by the prime-field modules: products with 128-bit
// column sums, and reduction for primes p = 2^(32W) - c where c is a short
// signed sum of word-aligned terms (each fold moves the part above 2^(32W)
// down as that many multiples of c).
#pragma once

#include <cstdint>

namespace tess::crypto::pf {

using i128 = __int128;
using u128 = unsigned __int128;

// c = sum of mult * 2^(32 word).
struct FoldTerm {
    uint32_t word;
    int64_t mult;
};

// Products on 64-bit limbs (an odd word count is padded with a zero word);
// column sums in 128 bits plus an overflow limb.
template <int W>
inline void mulWords(const uint32_t* a, const uint32_t* b, uint32_t* t) {
    constexpr int L = (W + 1) / 2;
    uint64_t x[L], y[L], r[2 * L];
#pragma GCC unroll 8
    for (int i = 0; i < L; ++i) {
        x[i] = a[2 * i] | (2 * i + 1 < W ? uint64_t(a[2 * i + 1]) << 32 : 0);
        y[i] = b[2 * i] | (2 * i + 1 < W ? uint64_t(b[2 * i + 1]) << 32 : 0);
    }
    u128 acc = 0;
    uint64_t over = 0;
#pragma GCC unroll 8
    for (int k = 0; k < 2 * L - 1; ++k) {
        const int lo = k < L ? 0 : k - L + 1, hi = k < L ? k : L - 1;
#pragma GCC unroll 4
        for (int i = lo; i <= hi; ++i) {
            const u128 p = u128(x[i]) * y[k - i];
            acc += p;
            over += acc < p;
        }
        r[k] = uint64_t(acc);
        acc = (acc >> 64) | (u128(over) << 64);
        over = 0;
    }
    r[2 * L - 1] = uint64_t(acc);
#pragma GCC unroll 16
    for (int i = 0; i < 2 * W; ++i) t[i] = uint32_t(r[i / 2] >> (32 * (i % 2)));
}

// Squares: each cross product once, doubled.
template <int W>
inline void sqrWords(const uint32_t* a, uint32_t* t) {
    constexpr int L = (W + 1) / 2;
    uint64_t x[L], r[2 * L];
#pragma GCC unroll 8
    for (int i = 0; i < L; ++i) x[i] = a[2 * i] | (2 * i + 1 < W ? uint64_t(a[2 * i + 1]) << 32 : 0);
    u128 acc = 0;
    uint64_t over = 0;
#pragma GCC unroll 8
    for (int k = 0; k < 2 * L - 1; ++k) {
        const int lo = k < L ? 0 : k - L + 1, hi = k < L ? k : L - 1;
        u128 cross = 0;
        uint64_t crossOver = 0;
        int i = lo, j = hi;
#pragma GCC unroll 4
        for (; i < j; ++i, --j) {
            const u128 p = u128(x[i]) * x[j];
            cross += p;
            crossOver += cross < p;
        }
        // acc += 2 cross (+ the square term)
        crossOver = (crossOver << 1) | uint64_t(cross >> 127);
        cross <<= 1;
        acc += cross;
        over += crossOver + (acc < cross);
        if (i == j) {
            const u128 p = u128(x[i]) * x[i];
            acc += p;
            over += acc < p;
        }
        r[k] = uint64_t(acc);
        acc = (acc >> 64) | (u128(over) << 64);
        over = 0;
    }
    r[2 * L - 1] = uint64_t(acc);
#pragma GCC unroll 16
    for (int i = 0; i < 2 * W; ++i) t[i] = uint32_t(r[i / 2] >> (32 * (i % 2)));
}

template <int W>
inline bool lessThan(const uint32_t* a, const uint32_t* b) {
#pragma GCC unroll 8
    for (int i = W - 1; i >= 0; --i)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

// a += b; returns the carry.
template <int W>
inline uint32_t addWords(uint32_t* a, const uint32_t* b) {
    uint64_t carry = 0;
#pragma GCC unroll 8
    for (int i = 0; i < W; ++i) {
        carry += uint64_t(a[i]) + b[i];
        a[i] = uint32_t(carry);
        carry >>= 32;
    }
    return uint32_t(carry);
}

// a -= b; returns the borrow.
template <int W>
inline uint32_t subWords(uint32_t* a, const uint32_t* b) {
    int64_t borrow = 0;
#pragma GCC unroll 8
    for (int i = 0; i < W; ++i) {
        const int64_t d = int64_t(a[i]) - b[i] + borrow;
        a[i] = uint32_t(d);
        borrow = d >> 32;
    }
    return borrow != 0 ? 1 : 0;
}

// x + carry * 2^(32W), folded until it fits W words again. The loop ends in
// a few rounds for every c below p (a negative rest becomes positive after at
// most two more folds, a positive one shrinks by the factor c / 2^(32W)).
// Carries here are small (a few units), so 64-bit sums suffice.
template <int W, int NT>
inline void foldCarry(uint32_t* x, int64_t carry, const FoldTerm (&terms)[NT]) {
    for (int round = 0; carry != 0 && round < 16; ++round) {
        int64_t acc[W];
#pragma GCC unroll 8
        for (int i = 0; i < W; ++i) acc[i] = x[i];
#pragma GCC unroll 4
        for (const FoldTerm& t : terms) acc[t.word] += carry * t.mult;
        carry = 0;
#pragma GCC unroll 8
        for (int i = 0; i < W; ++i) {
            carry += acc[i];
            x[i] = uint32_t(carry);
            carry >>= 32;
        }
    }
}

// 2^(32 i) mod p for i = W .. 2W - 1 as signed word coefficients, from the
// fold terms (each fold moves the top coefficient down by W words). Only for
// terms of multiplier +-1, whose coefficients stay small.
template <int W, int NT>
struct FoldMatrix {
    int8_t coef[W][W] = {};
    constexpr explicit FoldMatrix(const FoldTerm (&terms)[NT]) {
        for (int i = 0; i < W; ++i) {
            int64_t v[2 * W] = {};
            v[W + i] = 1;
            for (int k = 2 * W - 1; k >= W; --k) {
                const int64_t c = v[k];
                v[k] = 0;
                for (const FoldTerm& t : terms) v[k - W + int(t.word)] += c * t.mult;
            }
            for (int j = 0; j < W; ++j) coef[i][j] = int8_t(v[j]);
        }
    }
};

// The 2W-word t reduced to the canonical value below p with the matrix.
template <int W, int NT>
inline void matrixReduce(const uint32_t* t, const FoldMatrix<W, NT>& m, const FoldTerm (&terms)[NT], const uint32_t* p,
                         uint32_t* out) {
    int64_t acc[W];
#pragma GCC unroll 8
    for (int j = 0; j < W; ++j) {
        int64_t a = t[j];
#pragma GCC unroll 8
        for (int i = 0; i < W; ++i) a += int64_t(m.coef[i][j]) * t[W + i];
        acc[j] = a;
    }
    int64_t carry = 0;
    for (int j = 0; j < W; ++j) {
        carry += acc[j];
        out[j] = uint32_t(carry);
        carry >>= 32;
    }
    foldCarry<W>(out, carry, terms);
    while (!lessThan<W>(out, p)) subWords<W>(out, p);
}

// As below for c under 2^32: every fold is a fixed W-word pass.
template <int W>
inline void smallPseudoMersenneReduce(const uint32_t* t, uint32_t c, const uint32_t* p, uint32_t* out) {
    uint64_t acc = 0;
#pragma GCC unroll 8
    for (int i = 0; i < W; ++i) {
        acc += uint64_t(t[i]) + uint64_t(t[W + i]) * c;  // below 2^64: t c < 2^64 - 2^33
        out[i] = uint32_t(acc);
        acc >>= 32;
    }
    while (acc != 0) {
        acc *= c;  // the carry is below 2^32
#pragma GCC unroll 8
        for (int i = 0; i < W; ++i) {
            acc += out[i];
            out[i] = uint32_t(acc);
            acc >>= 32;
        }
    }
    while (!lessThan<W>(out, p)) subWords<W>(out, p);
}

// The 2W-word t reduced below p = 2^(32W) - c for c below 2^64: the part
// above W words is folded down as its product with c until none is left.
template <int W>
inline void pseudoMersenneReduce(const uint32_t* t, uint64_t c, const uint32_t* p, uint32_t* out) {
    const uint64_t cLo = c & 0xFFFFFFFFu, cHi = c >> 32;
    uint32_t high[W + 3];
    int nh = W;
    for (int i = 0; i < W; ++i) {
        out[i] = t[i];
        high[i] = t[W + i];
    }
    for (int round = 0; nh > 0 && round < 8; ++round) {
        uint32_t next[W + 3];
        int nn = 0;
        u128 acc = 0;
        const int span = (nh + 2 > W ? nh + 2 : W);
#pragma GCC unroll 12
        for (int i = 0; i < span; ++i) {
            if (i < W) acc += out[i];
            if (i < nh) acc += u128(uint64_t(high[i]) * cLo);
            if (i >= 1 && i - 1 < nh) acc += u128(uint64_t(high[i - 1]) * cHi);
            const uint32_t word = uint32_t(acc);
            acc >>= 32;
            if (i < W)
                out[i] = word;
            else
                next[nn++] = word;
        }
        while (acc != 0 && nn < W + 3) {
            next[nn++] = uint32_t(acc);
            acc >>= 32;
        }
        while (nn > 0 && next[nn - 1] == 0) --nn;
        for (int i = 0; i < nn; ++i) high[i] = next[i];
        nh = nn;
    }
    while (!lessThan<W>(out, p)) subWords<W>(out, p);
}

}  // namespace tess::crypto::pf
