// Word arithmetic shared by the prime-field modules: products with 128-bit
// column sums, and reduction for primes p = 2^(32W) - c where c is a short
// signed sum of word-aligned terms (each fold moves the part above 2^(32W)
// down as that many multiples of c).
#pragma once

#include <cstdint>

namespace ks::pf {

using i128 = __int128;
using u128 = unsigned __int128;

// c = sum of mult * 2^(32 word).
struct FoldTerm {
    uint32_t word;
    int64_t mult;
};

template <int W>
inline void mulWords(const uint32_t* a, const uint32_t* b, uint32_t* t)
{
    u128 acc = 0;
    for (int k = 0; k < 2 * W - 1; ++k) {
        const int lo = k < W ? 0 : k - W + 1, hi = k < W ? k : W - 1;
        for (int i = lo; i <= hi; ++i)
            acc += uint64_t(a[i]) * b[k - i];
        t[k] = uint32_t(acc);
        acc >>= 32;
    }
    t[2 * W - 1] = uint32_t(acc);
}

template <int W>
inline void sqrWords(const uint32_t* a, uint32_t* t)
{
    u128 acc = 0;
    for (int k = 0; k < 2 * W - 1; ++k) {
        const int lo = k < W ? 0 : k - W + 1, hi = k < W ? k : W - 1;
        u128 cross = 0;
        int i = lo, j = hi;
        for (; i < j; ++i, --j)
            cross += uint64_t(a[i]) * a[j];
        acc += cross << 1;
        if (i == j)
            acc += uint64_t(a[i]) * a[i];
        t[k] = uint32_t(acc);
        acc >>= 32;
    }
    t[2 * W - 1] = uint32_t(acc);
}

template <int W>
inline bool lessThan(const uint32_t* a, const uint32_t* b)
{
    for (int i = W - 1; i >= 0; --i)
        if (a[i] != b[i])
            return a[i] < b[i];
    return false;
}

// a -= b; returns the borrow.
template <int W>
inline uint32_t subWords(uint32_t* a, const uint32_t* b)
{
    int64_t borrow = 0;
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
template <int W, int NT>
inline void foldCarry(uint32_t* x, i128 carry, const FoldTerm (&terms)[NT])
{
    for (int round = 0; carry != 0 && round < 16; ++round) {
        i128 acc[W];
        for (int i = 0; i < W; ++i)
            acc[i] = x[i];
        for (const FoldTerm& t : terms)
            acc[t.word] += carry * t.mult;
        carry = 0;
        for (int i = 0; i < W; ++i) {
            carry += acc[i];
            x[i] = uint32_t(carry);
            carry >>= 32;
        }
    }
}

// The 2W-word t reduced to the canonical value below p.
template <int W, int NT>
inline void foldReduce(const uint32_t* t, const FoldTerm (&terms)[NT], const uint32_t* p, uint32_t* out)
{
    i128 acc[2 * W];
    for (int i = 0; i < 2 * W; ++i)
        acc[i] = t[i];
    for (int i = 2 * W - 1; i >= W; --i) {
        const i128 v = acc[i];
        if (v == 0)
            continue;
        for (const FoldTerm& term : terms)
            acc[i - W + term.word] += v * term.mult;
    }
    i128 carry = 0;
    for (int i = 0; i < W; ++i) {
        carry += acc[i];
        out[i] = uint32_t(carry);
        carry >>= 32;
    }
    foldCarry<W>(out, carry, terms);
    while (!lessThan<W>(out, p))
        subWords<W>(out, p);
}

}  // namespace ks::pf
