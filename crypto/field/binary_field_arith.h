// Polynomial-basis arithmetic in GF(2^M) with f(x) = x^M + the sum of x^K,
// on 64-bit words. Internal to the fixed binary-field modules: each field
// instantiates the templates with its own M and K, so the word loops unroll.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "crypto/field/binary_field_233.h"
#include "crypto/field/field_element.h"

// Each translation unit gets its own copy (the unnamed namespace): the
// carry-less unit is compiled for the CPU instruction, the portable unit not,
// and the linker must never trade one unit's inline code for the other's.
namespace tess::crypto::gf2m {
namespace {

using u64 = uint64_t;
static_assert(std::endian::native == std::endian::little, "element words are loaded as 64-bit words");

// Carry-less products without the CPU instruction: a table of the sixteen
// multiples of a's low 61 bits, read by four-bit windows of b; a's top three
// bits are added afterwards.
struct WindowTable {
    u64 t[16];
    u64 top;  // a's bits 61..63
    explicit WindowTable(u64 a) {
        const u64 low = a & 0x1fffffffffffffffULL;
        top = a >> 61;
        t[0] = 0;
        t[1] = low;
        for (int i = 2; i < 16; i += 2) {
            t[i] = t[i / 2] << 1;
            t[i + 1] = t[i] ^ low;
        }
    }
    void multiply(u64 b, u64& lo, u64& hi) const {
        u64 l = t[b >> 60], h = 0;
        for (int i = 56; i >= 0; i -= 4) {
            h = (h << 4) | (l >> 60);
            l = (l << 4) ^ t[(b >> i) & 15];
        }
        for (int j = 0; j < 3; ++j) {
            const u64 mask = 0 - ((top >> j) & 1);
            l ^= (b << (61 + j)) & mask;
            h ^= (b >> (3 - j)) & mask;
        }
        lo = l;
        hi = h;
    }
};

__attribute__((target("pclmul,sse4.1"))) inline void clmulInstr(u64 a, u64 b, u64& lo, u64& hi) {
    const __m128i r = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(a)),
                                           _mm_cvtsi64_si128(static_cast<long long>(b)), 0);
    lo = u64(_mm_cvtsi128_si64(r));
    hi = u64(_mm_extract_epi64(r, 1));
}

// Spreads the 32 bits of x to the even positions of a 64-bit word.
inline u64 spread32(uint32_t x) {
    u64 v = x;
    v = (v | (v << 16)) & 0x0000ffff0000ffffULL;
    v = (v | (v << 8)) & 0x00ff00ff00ff00ffULL;
    v = (v | (v << 4)) & 0x0f0f0f0f0f0f0f0fULL;
    v = (v | (v << 2)) & 0x3333333333333333ULL;
    v = (v | (v << 1)) & 0x5555555555555555ULL;
    return v;
}

// The six-word product of two three-word polynomials, its nine partial
// products kept in 128-bit registers until the three stores.
__attribute__((target("pclmul,sse4.1"))) inline void clmulWide3(const uint64_t* a, const uint64_t* b, uint64_t* r) {
    const __m128i a01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i b01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i a2 = _mm_cvtsi64_si128(static_cast<long long>(a[2]));
    const __m128i b2 = _mm_cvtsi64_si128(static_cast<long long>(b[2]));
    // a0 b0 | (a0 b1 + a1 b0) | (a1 b1 + a0 b2 + a2 b0) | (a1 b2 + a2 b1) | a2 b2
    const __m128i p00 = _mm_clmulepi64_si128(a01, b01, 0x00);
    const __m128i p11 = _mm_clmulepi64_si128(a01, b01, 0x11);
    const __m128i p22 = _mm_clmulepi64_si128(a2, b2, 0x00);
    const __m128i m01 = _mm_xor_si128(_mm_clmulepi64_si128(a01, b01, 0x01), _mm_clmulepi64_si128(a01, b01, 0x10));
    const __m128i m02 = _mm_xor_si128(_mm_clmulepi64_si128(a01, b2, 0x00), _mm_clmulepi64_si128(a2, b01, 0x00));
    const __m128i m12 = _mm_xor_si128(_mm_clmulepi64_si128(a01, b2, 0x01), _mm_clmulepi64_si128(a2, b01, 0x10));
    const __m128i r01 = _mm_xor_si128(p00, _mm_slli_si128(m01, 8));
    const __m128i r23 =
        _mm_xor_si128(_mm_xor_si128(p11, m02), _mm_xor_si128(_mm_srli_si128(m01, 8), _mm_slli_si128(m12, 8)));
    const __m128i r45 = _mm_xor_si128(p22, _mm_srli_si128(m12, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r), r01);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + 2), r23);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + 4), r45);
}

template <int M, int... K>
struct Field {
    static constexpr int kBits = M;
    static constexpr int kWords = (M + 63) / 64;    // 64-bit words of an element
    static constexpr int kWords32 = (M + 31) / 32;  // 32-bit words a module touches
    static constexpr u64 kTopMask = (M % 64) ? (u64(1) << (M % 64)) - 1 : ~u64(0);
    static_assert(M % 64 != 0, "the top word holds the bits at and above M");
    static_assert(((M - K > 63) && ...), "folds of a high word land below it");

    using Elem = u64[kWords];
    using Wide = u64[2 * kWords];
    // x^233 + x^74 + 1 has its own register-based routines on the instruction.
    static constexpr bool kIs233 = M == 233 && sizeof...(K) == 1 && ((K == 74) && ...);

    static void load(const ksFieldElement* e, Elem out) {
        out[kWords - 1] = 0;
        std::memcpy(out, e->words, kWords32 * 4);
    }
    static void store(const Elem in, ksFieldElement* e) { std::memcpy(e->words, in, kWords32 * 4); }

    // r ^= t * x^s
    static inline void foldAt(u64* r, u64 t, int s) {
        const int w = s >> 6, b = s & 63;
        r[w] ^= t << b;
        if (b) r[w + 1] ^= t >> (64 - b);
    }

    // Canonical remainder of a 2*kWords-word polynomial, top words first.
    // Unrolled, so every fold's shift is a constant and r stays in registers.
    static inline void reduce(Wide r, Elem out) {
#pragma GCC unroll 8
        for (int i = 2 * kWords - 1; i >= kWords; --i) {
            const u64 t = r[i];
            r[i] = 0;
            (foldAt(r, t, 64 * i - M + K), ...);
            foldAt(r, t, 64 * i - M);
        }
        const u64 t = r[kWords - 1] >> (M % 64);
        r[kWords - 1] &= kTopMask;
        (foldAt(r, t, K), ...);
        r[0] ^= t;
        for (int i = 0; i < kWords; ++i) out[i] = r[i];
    }

    template <bool Instr>
    static inline void mulWide(const Elem a, const Elem b, Wide r) {
        if constexpr (Instr && kWords == 3) {
            clmulWide3(a, b, r);
            return;
        }
        for (int i = 0; i < 2 * kWords; ++i) r[i] = 0;
        for (int i = 0; i < kWords; ++i) {
            if constexpr (Instr) {
                for (int j = 0; j < kWords; ++j) {
                    u64 lo, hi;
                    clmulInstr(a[i], b[j], lo, hi);
                    r[i + j] ^= lo;
                    r[i + j + 1] ^= hi;
                }
            } else {
                const WindowTable table(a[i]);
                for (int j = 0; j < kWords; ++j) {
                    u64 lo, hi;
                    table.multiply(b[j], lo, hi);
                    r[i + j] ^= lo;
                    r[i + j + 1] ^= hi;
                }
            }
        }
    }

    template <bool Instr>
    static inline void mul(const Elem a, const Elem b, Elem out) {
        if constexpr (Instr && kIs233) {
            Clmul233::store(Clmul233::mul(Clmul233::load(a), Clmul233::load(b)), out);
            return;
        }
        Wide r;
        mulWide<Instr>(a, b, r);
        reduce(r, out);
    }

    template <bool Instr>
    static inline void sqr(const Elem a, Elem out) {
        if constexpr (Instr && kIs233) {
            Clmul233::store(Clmul233::sqr(Clmul233::load(a)), out);
            return;
        }
        Wide r;
        for (int i = 0; i < kWords; ++i) {
            if constexpr (Instr) {
                clmulInstr(a[i], a[i], r[2 * i], r[2 * i + 1]);
            } else {
                r[2 * i] = spread32(uint32_t(a[i]));
                r[2 * i + 1] = spread32(uint32_t(a[i] >> 32));
            }
        }
        reduce(r, out);
    }

    template <bool Instr>
    static inline void sqrN(const Elem a, int n, Elem out) {
        Elem t;
        for (int i = 0; i < kWords; ++i) t[i] = a[i];
        for (int i = 0; i < n; ++i) sqr<Instr>(t, t);
        for (int i = 0; i < kWords; ++i) out[i] = t[i];
    }

    // a^-1 = (a^(2^(M-1) - 1))^2 by an Itoh-Tsujii chain over the bits of M - 1.
    template <bool Instr>
    static inline void inv(const Elem a, Elem out) {
        Elem beta, t;
        for (int i = 0; i < kWords; ++i) beta[i] = a[i];
        constexpr int e = M - 1;
        int k = 1;
        for (int bit = std::bit_width(unsigned(e)) - 2; bit >= 0; --bit) {
            sqrN<Instr>(beta, k, t);
            mul<Instr>(t, beta, beta);
            k *= 2;
            if ((e >> bit) & 1) {
                sqr<Instr>(beta, t);
                mul<Instr>(t, a, beta);
                k += 1;
            }
        }
        sqr<Instr>(beta, out);
    }

    // Sum of a^(2^(2i)) for i = 0..(M-1)/2; solves z^2 + z = a when Tr(a) = 0.
    // The map is linear, so it is read from a table of its values on each
    // four-bit window of a: the lookups follow a's bits, so a must be public
    // (points being decoded or checked, never a secret).
    template <bool Instr>
    static inline void halfTrace(const Elem a, Elem out) {
        static const HalfTraceTable<Instr> table;
        for (int i = 0; i < kWords; ++i) out[i] = 0;
        for (int n = 0; n < kNibbles; ++n) {
            const unsigned v = unsigned(a[n / 16] >> (4 * (n % 16))) & 15;
            const u64* e = table.t[n][v];
            for (int i = 0; i < kWords; ++i) out[i] ^= e[i];
        }
    }

    static constexpr int kNibbles = (M + 3) / 4;
    template <bool Instr>
    struct HalfTraceTable {
        u64 t[kNibbles][16][kWords];
        HalfTraceTable() {
            for (int n = 0; n < kNibbles; ++n) {
                Elem basis[4];
                for (int b = 0; b < 4; ++b) {
                    Elem e{};
                    const int bit = 4 * n + b;
                    if (bit < M) e[bit / 64] = u64(1) << (bit % 64);
                    halfTraceBySquares<Instr>(e, basis[b]);
                }
                for (int v = 0; v < 16; ++v)
                    for (int i = 0; i < kWords; ++i) {
                        u64 w = 0;
                        for (int b = 0; b < 4; ++b)
                            if ((v >> b) & 1) w ^= basis[b][i];
                        t[n][v][i] = w;
                    }
            }
        }
    };

    template <bool Instr>
    static inline void halfTraceBySquares(const Elem a, Elem out) {
        Elem z, t;
        for (int i = 0; i < kWords; ++i) {
            z[i] = 0;
            t[i] = a[i];
        }
        for (int s = 0; s < (M + 1) / 2; ++s) {
            for (int i = 0; i < kWords; ++i) z[i] ^= t[i];
            sqr<Instr>(t, t);
            sqr<Instr>(t, t);
        }
        for (int i = 0; i < kWords; ++i) out[i] = z[i];
    }
};

}  // namespace
}  // namespace tess::crypto::gf2m
