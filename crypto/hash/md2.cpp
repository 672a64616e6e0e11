// MD2 (RFC 1319): the bare-state entries and the ks_md2 context exports.
#include <algorithm>
#include <cstring>

#include "crypto/hash/internal.h"
#include "crypto/hash/md_context.h"

namespace tess::crypto {
namespace {

// RFC 1319's substitution table, built from the digits of pi.
constexpr uint8_t kPiSubst[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,  98,  167, 5,   243, 192, 199,
    115, 140, 152, 147, 43,  217, 188, 76,  130, 202, 30,  155, 87,  60,  253, 212, 224, 22,  103, 66,  111, 24,
    138, 23,  229, 18,  190, 78,  196, 214, 218, 158, 222, 73,  160, 251, 245, 142, 187, 47,  238, 122, 169, 104,
    121, 145, 21,  178, 7,   63,  148, 194, 16,  137, 11,  34,  95,  33,  128, 127, 93,  154, 90,  144, 50,  39,
    53,  62,  204, 231, 191, 247, 151, 3,   255, 25,  48,  179, 72,  165, 181, 209, 215, 94,  146, 42,  172, 86,
    170, 198, 79,  184, 56,  210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4,   241, 69,  157, 112, 89,
    100, 113, 135, 32,  134, 91,  207, 101, 230, 45,  168, 2,   27,  96,  37,  173, 174, 176, 185, 246, 28,  70,
    97,  105, 52,  64,  126, 15,  85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249, 206, 186, 197, 234, 38,
    44,  83,  13,  110, 133, 40,  132, 9,   211, 223, 205, 244, 65,  129, 77,  82,  106, 220, 55,  200, 108, 193,
    171, 250, 36,  225, 123, 8,   12,  189, 177, 74,  120, 136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254,
    59,  0,   29,  57,  242, 239, 183, 14,  102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,  49,  68,
    80,  180, 143, 237, 31,  26,  219, 153, 141, 51,  159, 17,  131, 20};

void processBlock(ksMd2State* st, const uint8_t block[16]) {
    uint8_t work[48];
    std::memcpy(work, st->x, 16);
    std::memcpy(work + 16, block, 16);
    for (int i = 0; i < 16; ++i) work[32 + i] = uint8_t(st->x[i] ^ block[i]);
    uint8_t t = 0;
    for (int round = 0; round < 18; ++round) {
        for (uint8_t& w : work) {
            w ^= kPiSubst[t];
            t = w;
        }
        t = uint8_t(t + round);
    }
    std::memcpy(st->x, work, 16);
    uint8_t l = st->checksum[15];
    for (int i = 0; i < 16; ++i) {
        st->checksum[i] ^= kPiSubst[block[i] ^ l];
        l = st->checksum[i];
    }
    wipeObject(work);
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

uint32_t tess::crypto::md2Init(ksMd2State* state) {
    std::memset(state, 0, sizeof *state);
    return 0;
}

uint32_t a2776(ksMd2State* state) { return tess::crypto::md2Init(state); }

uint32_t tess::crypto::md2Update(uint32_t length, const uint8_t* data, ksMd2State* state) {
    uint32_t used = state->buffered;
    while (length > 0) {
        const uint32_t take = std::min<uint32_t>(16 - used, length);
        std::memcpy(state->block + used, data, take);
        used += take;
        data += take;
        length -= take;
        if (used == 16) {
            processBlock(state, state->block);
            used = 0;
        }
    }
    state->buffered = used;
    return 0;
}

uint32_t a2785(uint32_t length, const uint8_t* data, ksMd2State* state) {
    return tess::crypto::md2Update(length, data, state);
}

uint32_t tess::crypto::md2Final(ksMd2State* state, uint8_t* digest) {
    const uint32_t n = 16 - state->buffered;
    std::memset(state->block + state->buffered, int(n), n);
    processBlock(state, state->block);
    uint8_t checksum[16];
    std::memcpy(checksum, state->checksum, 16);
    processBlock(state, checksum);
    std::memcpy(digest, state->x, 16);
    state->buffered = 0;
    return 0;
}

uint32_t a2782(ksMd2State* state, uint8_t* digest) { return tess::crypto::md2Final(state, digest); }

ksErrorCode ks_md2Begin(ksGlobalData*, ksMd2Context* ctx) {
    return mdBegin<ksMd2State, ksMd2Context, tess::crypto::md2Init>(ctx);
}

ksErrorCode ks_md2Hash(ksGlobalData*, uint32_t length, const uint8_t* data, ksMd2Context* ctx) {
    return mdHash<ksMd2State, ksMd2Context, tess::crypto::md2Update>(ctx, length, data);
}

ksErrorCode ks_md2End(ksGlobalData*, ksMd2Context* ctx, ksDigest* digest) {
    return mdEnd<ksMd2State, ksMd2Context, tess::crypto::md2Final>(ctx, digest);
}
