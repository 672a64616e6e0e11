// MD5 (RFC 1321): the bare-state entries and the ks_md5 context exports.
#include <cstring>

#include "crypto/hash/internal.h"
#include "crypto/hash/md_context.h"

namespace tess::crypto {
namespace {

inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One step of round r: a = b + ((a + f(b, c, d) + x[k] + t) <<< s).
#define KS_MD5_STEP(f, a, b, c, d, xk, t, s) \
    a += f(b, c, d) + (xk) + (t);            \
    a = rol(a, s) + b;

inline uint32_t fF(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t fG(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
inline uint32_t fH(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t fI(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

void compress(uint32_t abcd[4], const uint8_t* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = loadLe32(data + 4 * i);
        uint32_t a = abcd[0], b = abcd[1], c = abcd[2], d = abcd[3];
        KS_MD5_STEP(fF, a, b, c, d, x[0], 0xd76aa478, 7)
        KS_MD5_STEP(fF, d, a, b, c, x[1], 0xe8c7b756, 12)
        KS_MD5_STEP(fF, c, d, a, b, x[2], 0x242070db, 17)
        KS_MD5_STEP(fF, b, c, d, a, x[3], 0xc1bdceee, 22)
        KS_MD5_STEP(fF, a, b, c, d, x[4], 0xf57c0faf, 7)
        KS_MD5_STEP(fF, d, a, b, c, x[5], 0x4787c62a, 12)
        KS_MD5_STEP(fF, c, d, a, b, x[6], 0xa8304613, 17)
        KS_MD5_STEP(fF, b, c, d, a, x[7], 0xfd469501, 22)
        KS_MD5_STEP(fF, a, b, c, d, x[8], 0x698098d8, 7)
        KS_MD5_STEP(fF, d, a, b, c, x[9], 0x8b44f7af, 12)
        KS_MD5_STEP(fF, c, d, a, b, x[10], 0xffff5bb1, 17)
        KS_MD5_STEP(fF, b, c, d, a, x[11], 0x895cd7be, 22)
        KS_MD5_STEP(fF, a, b, c, d, x[12], 0x6b901122, 7)
        KS_MD5_STEP(fF, d, a, b, c, x[13], 0xfd987193, 12)
        KS_MD5_STEP(fF, c, d, a, b, x[14], 0xa679438e, 17)
        KS_MD5_STEP(fF, b, c, d, a, x[15], 0x49b40821, 22)
        KS_MD5_STEP(fG, a, b, c, d, x[1], 0xf61e2562, 5)
        KS_MD5_STEP(fG, d, a, b, c, x[6], 0xc040b340, 9)
        KS_MD5_STEP(fG, c, d, a, b, x[11], 0x265e5a51, 14)
        KS_MD5_STEP(fG, b, c, d, a, x[0], 0xe9b6c7aa, 20)
        KS_MD5_STEP(fG, a, b, c, d, x[5], 0xd62f105d, 5)
        KS_MD5_STEP(fG, d, a, b, c, x[10], 0x02441453, 9)
        KS_MD5_STEP(fG, c, d, a, b, x[15], 0xd8a1e681, 14)
        KS_MD5_STEP(fG, b, c, d, a, x[4], 0xe7d3fbc8, 20)
        KS_MD5_STEP(fG, a, b, c, d, x[9], 0x21e1cde6, 5)
        KS_MD5_STEP(fG, d, a, b, c, x[14], 0xc33707d6, 9)
        KS_MD5_STEP(fG, c, d, a, b, x[3], 0xf4d50d87, 14)
        KS_MD5_STEP(fG, b, c, d, a, x[8], 0x455a14ed, 20)
        KS_MD5_STEP(fG, a, b, c, d, x[13], 0xa9e3e905, 5)
        KS_MD5_STEP(fG, d, a, b, c, x[2], 0xfcefa3f8, 9)
        KS_MD5_STEP(fG, c, d, a, b, x[7], 0x676f02d9, 14)
        KS_MD5_STEP(fG, b, c, d, a, x[12], 0x8d2a4c8a, 20)
        KS_MD5_STEP(fH, a, b, c, d, x[5], 0xfffa3942, 4)
        KS_MD5_STEP(fH, d, a, b, c, x[8], 0x8771f681, 11)
        KS_MD5_STEP(fH, c, d, a, b, x[11], 0x6d9d6122, 16)
        KS_MD5_STEP(fH, b, c, d, a, x[14], 0xfde5380c, 23)
        KS_MD5_STEP(fH, a, b, c, d, x[1], 0xa4beea44, 4)
        KS_MD5_STEP(fH, d, a, b, c, x[4], 0x4bdecfa9, 11)
        KS_MD5_STEP(fH, c, d, a, b, x[7], 0xf6bb4b60, 16)
        KS_MD5_STEP(fH, b, c, d, a, x[10], 0xbebfbc70, 23)
        KS_MD5_STEP(fH, a, b, c, d, x[13], 0x289b7ec6, 4)
        KS_MD5_STEP(fH, d, a, b, c, x[0], 0xeaa127fa, 11)
        KS_MD5_STEP(fH, c, d, a, b, x[3], 0xd4ef3085, 16)
        KS_MD5_STEP(fH, b, c, d, a, x[6], 0x04881d05, 23)
        KS_MD5_STEP(fH, a, b, c, d, x[9], 0xd9d4d039, 4)
        KS_MD5_STEP(fH, d, a, b, c, x[12], 0xe6db99e5, 11)
        KS_MD5_STEP(fH, c, d, a, b, x[15], 0x1fa27cf8, 16)
        KS_MD5_STEP(fH, b, c, d, a, x[2], 0xc4ac5665, 23)
        KS_MD5_STEP(fI, a, b, c, d, x[0], 0xf4292244, 6)
        KS_MD5_STEP(fI, d, a, b, c, x[7], 0x432aff97, 10)
        KS_MD5_STEP(fI, c, d, a, b, x[14], 0xab9423a7, 15)
        KS_MD5_STEP(fI, b, c, d, a, x[5], 0xfc93a039, 21)
        KS_MD5_STEP(fI, a, b, c, d, x[12], 0x655b59c3, 6)
        KS_MD5_STEP(fI, d, a, b, c, x[3], 0x8f0ccc92, 10)
        KS_MD5_STEP(fI, c, d, a, b, x[10], 0xffeff47d, 15)
        KS_MD5_STEP(fI, b, c, d, a, x[1], 0x85845dd1, 21)
        KS_MD5_STEP(fI, a, b, c, d, x[8], 0x6fa87e4f, 6)
        KS_MD5_STEP(fI, d, a, b, c, x[15], 0xfe2ce6e0, 10)
        KS_MD5_STEP(fI, c, d, a, b, x[6], 0xa3014314, 15)
        KS_MD5_STEP(fI, b, c, d, a, x[13], 0x4e0811a1, 21)
        KS_MD5_STEP(fI, a, b, c, d, x[4], 0xf7537e82, 6)
        KS_MD5_STEP(fI, d, a, b, c, x[11], 0xbd3af235, 10)
        KS_MD5_STEP(fI, c, d, a, b, x[2], 0x2ad7d2bb, 15)
        KS_MD5_STEP(fI, b, c, d, a, x[9], 0xeb86d391, 21)
        abcd[0] += a;
        abcd[1] += b;
        abcd[2] += c;
        abcd[3] += d;
    }
}

#undef KS_MD5_STEP

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

uint32_t tess::crypto::md5Init(ksMd5State* state) {
    std::memset(state, 0, sizeof *state);
    state->abcd[0] = 0x67452301;
    state->abcd[1] = 0xefcdab89;
    state->abcd[2] = 0x98badcfe;
    state->abcd[3] = 0x10325476;
    return 0;
}

uint32_t a2788(ksMd5State* state) { return tess::crypto::md5Init(state); }

uint32_t tess::crypto::md5Update(uint32_t length, const uint8_t* data, ksMd5State* state) {
    const uint32_t low = state->countLow + length;
    if (low < state->countLow) ++state->countHigh;
    state->countLow = low;
    const uint32_t used = state->buffered;
    if (used + length < 64) {
        std::memcpy(state->block + used, data, length);
        state->buffered = used + length;
        return 0;
    }
    if (used != 0) {
        const uint32_t fill = 64 - used;
        std::memcpy(state->block + used, data, fill);
        compress(state->abcd, state->block, 1);
        data += fill;
        length -= fill;
    }
    const uint32_t whole = length / 64;
    if (whole != 0) compress(state->abcd, data, whole);
    data += size_t(whole) * 64;
    length -= whole * 64;
    std::memcpy(state->block, data, length);
    state->buffered = length;
    return 0;
}

uint32_t a2797(uint32_t length, const uint8_t* data, ksMd5State* state) {
    return tess::crypto::md5Update(length, data, state);
}

uint32_t tess::crypto::md5Final(ksMd5State* state, uint8_t* digest) {
    uint32_t used = state->buffered;
    state->block[used++] = 0x80;
    std::memset(state->block + used, 0, 64 - used);
    if (used > 56) {
        compress(state->abcd, state->block, 1);
        std::memset(state->block, 0, 64);
    }
    storeLe32(state->block + 56, state->countLow << 3);
    storeLe32(state->block + 60, (state->countHigh << 3) | (state->countLow >> 29));
    compress(state->abcd, state->block, 1);
    for (int i = 0; i < 4; ++i) storeLe32(digest + 4 * i, state->abcd[i]);
    state->abcd[0] = 0;
    return 0;
}

uint32_t a2794(ksMd5State* state, uint8_t* digest) { return tess::crypto::md5Final(state, digest); }

ksErrorCode ks_md5Begin(ksGlobalData*, ksMd5Context* ctx) {
    return mdBegin<ksMd5State, ksMd5Context, tess::crypto::md5Init>(ctx);
}

ksErrorCode ks_md5Hash(ksGlobalData*, uint32_t length, const uint8_t* data, ksMd5Context* ctx) {
    return mdHash<ksMd5State, ksMd5Context, tess::crypto::md5Update>(ctx, length, data);
}

ksErrorCode ks_md5End(ksGlobalData*, ksMd5Context* ctx, ksDigest* digest) {
    return mdEnd<ksMd5State, ksMd5Context, tess::crypto::md5Final>(ctx, digest);
}
