// MD5 (RFC 1321): the bare-state entries and the ks_md5 context exports.
#include <cstring>

#include "crypto/md_context.h"

namespace ks {
namespace {

inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void compress(uint32_t abcd[4], const uint8_t* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = loadLe32(data + 4 * i);
        uint32_t a = abcd[0], b = abcd[1], c = abcd[2], d = abcd[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            switch (i / 16) {
                case 0: f = d ^ (b & (c ^ d)); g = i; break;
                case 1: f = c ^ (d & (b ^ c)); g = (5 * i + 1) & 15; break;
                case 2: f = b ^ c ^ d; g = (3 * i + 5) & 15; break;
                default: f = c ^ (b | ~d); g = (7 * i) & 15; break;
            }
            const uint32_t t = d;
            d = c;
            c = b;
            b = b + rol(a + f + kT[i] + x[g], kShift[i / 16][i % 4]);
            a = t;
        }
        abcd[0] += a;
        abcd[1] += b;
        abcd[2] += c;
        abcd[3] += d;
    }
}

}  // namespace
}  // namespace ks

using namespace ks;

uint32_t a2788(ksMd5State* state) {
    std::memset(state, 0, sizeof *state);
    state->abcd[0] = 0x67452301;
    state->abcd[1] = 0xefcdab89;
    state->abcd[2] = 0x98badcfe;
    state->abcd[3] = 0x10325476;
    return 0;
}

uint32_t a2797(uint32_t length, const uint8_t* data, ksMd5State* state) {
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

uint32_t a2794(ksMd5State* state, uint8_t* digest) {
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

ksErrorCode ks_md5Begin(ksGlobalData*, ksMd5Context* ctx) {
    return mdBegin<ksMd5State, ksMd5Context, a2788>(ctx);
}

ksErrorCode ks_md5Hash(ksGlobalData*, uint32_t length, const uint8_t* data, ksMd5Context* ctx) {
    return mdHash<ksMd5State, ksMd5Context, a2797>(ctx, length, data);
}

ksErrorCode ks_md5End(ksGlobalData*, ksMd5Context* ctx, ksDigest* digest) {
    return mdEnd<ksMd5State, ksMd5Context, a2794>(ctx, digest);
}
