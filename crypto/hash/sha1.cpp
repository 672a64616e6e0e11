// SHA-1 (FIPS 180-1): the bare-state entries the rest of the library hashes
// with, and the ks_sha1 context exports. The compression uses the CPU's SHA
// instructions when it has them.
#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

#include "crypto/hash/internal.h"
#include "crypto/kestrel.h"
#include "crypto/primitive_context.h"
#include "crypto/hash/sha1_internal.h"

namespace tess::crypto {
namespace {

inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Five rounds of one function group over a rolling 16-word schedule.
#define KS_SHA1_ROUND(f, k, t)                                                                   \
    {                                                                                            \
        uint32_t wt;                                                                             \
        if ((t) < 16) {                                                                          \
            wt = w[(t)&15];                                                                      \
        } else {                                                                                 \
            wt = rol(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t)&15], 1); \
            w[(t)&15] = wt;                                                                      \
        }                                                                                        \
        const uint32_t temp = rol(a, 5) + (f) + e + (k) + wt;                                    \
        e = d;                                                                                   \
        d = c;                                                                                   \
        c = rol(b, 30);                                                                          \
        b = a;                                                                                   \
        a = temp;                                                                                \
    }

void compressPortable(uint32_t h[5], const uint8_t* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[16];
        for (int t = 0; t < 16; ++t) w[t] = loadBe32(data + 4 * t);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 20; ++t) KS_SHA1_ROUND(d ^ (b & (c ^ d)), 0x5A827999u, t)
        for (int t = 20; t < 40; ++t) KS_SHA1_ROUND(b ^ c ^ d, 0x6ED9EBA1u, t)
        for (int t = 40; t < 60; ++t) KS_SHA1_ROUND((b & c) | (d & (b | c)), 0x8F1BBCDCu, t)
        for (int t = 60; t < 80; ++t) KS_SHA1_ROUND(b ^ c ^ d, 0xCA62C1D6u, t)
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
}

#undef KS_SHA1_ROUND

#define KS_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four rounds with round function F; w[g % 4] holds this group's schedule words.
template <int F>
KS_SHA_TARGET inline void shaGroup(int g, __m128i w[4], __m128i& abcd, __m128i& e, __m128i& prev) {
    if (g >= 4) {
        __m128i t = _mm_sha1msg1_epu32(w[g % 4], w[(g + 1) % 4]);
        t = _mm_xor_si128(t, w[(g + 2) % 4]);
        w[g % 4] = _mm_sha1msg2_epu32(t, w[(g + 3) % 4]);
    }
    if (g == 0) {
        e = _mm_add_epi32(e, w[0]);
    } else {
        e = _mm_sha1nexte_epu32(prev, w[g % 4]);
    }
    prev = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, F);
}

KS_SHA_TARGET void compressShaNi(uint32_t h[5], const uint8_t* data, size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
    __m128i e0 = _mm_set_epi32(int(h[4]), 0, 0, 0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abcdSaved = abcd;
        const __m128i e0Saved = e0;
        __m128i w[4];
        for (int i = 0; i < 4; ++i) {
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
        }
        __m128i e = e0;
        __m128i prev = abcd;
        for (int g = 0; g < 5; ++g) shaGroup<0>(g, w, abcd, e, prev);
        for (int g = 5; g < 10; ++g) shaGroup<1>(g, w, abcd, e, prev);
        for (int g = 10; g < 15; ++g) shaGroup<2>(g, w, abcd, e, prev);
        for (int g = 15; g < 20; ++g) shaGroup<3>(g, w, abcd, e, prev);
        e0 = _mm_sha1nexte_epu32(prev, e0Saved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
    h[4] = uint32_t(_mm_extract_epi32(e0, 3));
}

bool cpuHasShaExtensions() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c & bit_SSSE3) != 0;
    const bool sse41 = (c & bit_SSE4_1) != 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && (b & bit_SHA) != 0;
}

using CompressFn = void (*)(uint32_t*, const uint8_t*, size_t);

CompressFn chooseCompress() { return cpuHasShaExtensions() ? compressShaNi : compressPortable; }

}  // namespace

void sha1Compress(uint32_t h[5], const uint8_t* data, size_t blocks) {
    static const CompressFn compress = chooseCompress();
    compress(h, data, blocks);
}

void sha1CompressPortable(uint32_t h[5], const uint8_t* data, size_t blocks) { compressPortable(h, data, blocks); }

bool sha1UsesShaExtensions() { return cpuHasShaExtensions(); }

namespace {
struct Sha1ContextLayout {
    uint32_t magic;
    ksSha1State state;
};
}  // namespace

}  // namespace tess::crypto

using namespace tess::crypto;

uint32_t tess::crypto::sha1Init(ksSha1State* state) {
    std::memset(state, 0, sizeof *state);
    state->h[0] = 0x67452301;
    state->h[1] = 0xEFCDAB89;
    state->h[2] = 0x98BADCFE;
    state->h[3] = 0x10325476;
    state->h[4] = 0xC3D2E1F0;
    return 0;
}

uint32_t a4012(ksSha1State* state) { return tess::crypto::sha1Init(state); }

uint32_t tess::crypto::sha1Update(uint32_t length, const uint8_t* data, ksSha1State* state) {
    const uint32_t low = state->countLow + length;
    if (low < state->countLow) ++state->countHigh;
    state->countLow = low;
    uint32_t used = state->buffered;
    if (used + length < 64) {
        std::memcpy(state->block + used, data, length);
        state->buffered = used + length;
        return 0;
    }
    if (used != 0) {
        const uint32_t fill = 64 - used;
        std::memcpy(state->block + used, data, fill);
        sha1Compress(state->h, state->block, 1);
        data += fill;
        length -= fill;
    }
    const uint32_t whole = length / 64;
    if (whole != 0) sha1Compress(state->h, data, whole);
    data += size_t(whole) * 64;
    length -= whole * 64;
    std::memcpy(state->block, data, length);
    state->buffered = length;
    return 0;
}

uint32_t a4021(uint32_t length, const uint8_t* data, ksSha1State* state) {
    return tess::crypto::sha1Update(length, data, state);
}

uint32_t tess::crypto::sha1Final(ksSha1State* state, uint8_t* digest) {
    uint32_t used = state->buffered;
    state->block[used++] = 0x80;
    std::memset(state->block + used, 0, 64 - used);
    if (used > 56) {
        sha1Compress(state->h, state->block, 1);
        std::memset(state->block, 0, 64);
    }
    const uint32_t bitsHigh = (state->countHigh << 3) | (state->countLow >> 29);
    const uint32_t bitsLow = state->countLow << 3;
    storeBe32(state->block + 56, bitsHigh);
    storeBe32(state->block + 60, bitsLow);
    sha1Compress(state->h, state->block, 1);
    for (int i = 0; i < 5; ++i) storeBe32(digest + 4 * i, state->h[i]);
    state->h[0] = 0;
    return 0;
}

uint32_t a4018(ksSha1State* state, uint8_t* digest) { return tess::crypto::sha1Final(state, digest); }

ksErrorCode ks_sha1Begin(ksGlobalData*, ksSha1Context* ctx) {
    if (ctx == nullptr) return kNoContext;
    auto* c = layoutAs<Sha1ContextLayout>(ctx);
    c->magic = 0;
    tess::crypto::sha1Init(&c->state);
    c->magic = KS_MAGIC;
    return kOk;
}

ksErrorCode ks_sha1Hash(ksGlobalData*, uint32_t length, const uint8_t* data, ksSha1Context* ctx) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (length == 0) return kOk;
    if (data == nullptr) return failAndWipe(ctx, kNoInput);
    tess::crypto::sha1Update(length, data, &layoutAs<Sha1ContextLayout>(ctx)->state);
    return kOk;
}

ksErrorCode ks_sha1End(ksGlobalData*, ksSha1Context* ctx, ksDigest* digest) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (digest == nullptr) return failAndWipe(ctx, kNoOutput);
    // The magic word stays: the context remains formally valid after End.
    tess::crypto::sha1Final(&layoutAs<Sha1ContextLayout>(ctx)->state, digest->digest);
    digest->length = 20;
    return kOk;
}
