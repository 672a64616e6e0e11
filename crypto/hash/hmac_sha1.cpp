// HMAC (RFC 2104, block size 64) over a hash descriptor; the exports pass
// the SHA-1 descriptor. The state names its hash entries by id, resolved
// through a constant table, so caller memory never holds a code address.
#include <cstring>

#include "crypto/hash/internal.h"
#include "crypto/primitive_context.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

// Ids are the numbers of the hash entries they stand for.
enum HashEntryId : uint32_t { kSha1Init = 4012, kSha1Update = 4021, kSha1Finish = 4018 };

struct HashDescriptor {
    uint32_t digestLength;
    uint32_t initId;
    uint32_t updateId;
    uint32_t finishId;
};
constexpr HashDescriptor kSha1Descriptor = {20, kSha1Init, kSha1Update, kSha1Finish};

using HashState = ksSha1State;  // room for any described hash: 96 bytes

uint32_t hashInit(uint32_t id, HashState* s) { return id == kSha1Init ? tess::crypto::sha1Init(s) : 1; }
uint32_t hashUpdate(uint32_t id, uint32_t length, const uint8_t* data, HashState* s) {
    return id == kSha1Update ? tess::crypto::sha1Update(length, data, s) : 1;
}
uint32_t hashFinish(uint32_t id, HashState* s, uint8_t* out) {
    return id == kSha1Finish ? tess::crypto::sha1Final(s, out) : 1;
}

struct HmacState {
    HashState inner;
    HashState outer;
    uint32_t digestLength;
    uint32_t updateId;
    uint32_t finishId;
};
static_assert(sizeof(HmacState) == 204);

struct HmacContextLayout {
    uint32_t magic;
    HmacState state;
};

constexpr uint32_t kBlock = 64;
constexpr uint32_t kMaxDigest = 64;

// The 64-byte key block: the key itself, or its digest when longer than a block.
uint32_t makeKeyBlock(uint32_t keyLength, const uint8_t* key, const HashDescriptor& d, uint8_t block[kBlock]) {
    std::memset(block, 0, kBlock);
    if (keyLength <= kBlock) {
        std::memcpy(block, key, keyLength);
        return 0;
    }
    if (d.digestLength > kBlock) return 1;
    HashState s;
    WipeOnExit wipeS(s);
    if (const uint32_t step = hashInit(d.initId, &s)) return step;
    if (const uint32_t step = hashUpdate(d.updateId, keyLength, key, &s)) return step;
    return hashFinish(d.finishId, &s, block);
}

void xorBlock(uint8_t block[kBlock], uint8_t pad) {
    for (uint32_t i = 0; i < kBlock; ++i) block[i] ^= pad;
}

// Keys a state: inner with key ^ 0x36, outer with key ^ 0x5c.
uint32_t keyState(uint32_t keyLength, const uint8_t* key, const HashDescriptor& d, HmacState& st) {
    uint8_t block[kBlock];
    WipeOnExit wipeBlock(block);
    if (makeKeyBlock(keyLength, key, d, block) != 0) return 1;
    xorBlock(block, 0x36);
    if (hashInit(d.initId, &st.inner) != 0 || hashUpdate(d.updateId, kBlock, block, &st.inner) != 0) return 1;
    xorBlock(block, 0x36 ^ 0x5c);
    if (hashInit(d.initId, &st.outer) != 0 || hashUpdate(d.updateId, kBlock, block, &st.outer) != 0) return 1;
    st.digestLength = d.digestLength;
    st.updateId = d.updateId;
    st.finishId = d.finishId;
    return 0;
}

uint32_t hmacUpdate(uint32_t length, const uint8_t* data, HmacState& st) {
    return hashUpdate(st.updateId, length, data, &st.inner) != 0 ? 1 : 0;
}

uint32_t hmacFinish(HmacState& st, uint8_t* out) {
    if (st.digestLength > kMaxDigest) return 1;
    uint8_t innerDigest[kMaxDigest];
    WipeOnExit wipeInner(innerDigest);
    if (hashFinish(st.finishId, &st.inner, innerDigest) != 0) return 1;
    if (hashUpdate(st.updateId, st.digestLength, innerDigest, &st.outer) != 0) return 1;
    if (hashFinish(st.finishId, &st.outer, out) != 0) return 1;
    return 0;
}

// One work state: inner key block and data, then the outer key block and the inner digest.
uint32_t hmacMessage(uint32_t keyLength, const uint8_t* key, uint32_t length, const uint8_t* data,
                     const HashDescriptor& d, uint8_t* out) {
    if (d.digestLength > kMaxDigest) return 1;
    uint8_t block[kBlock];
    uint8_t innerDigest[kMaxDigest];
    HashState s;
    WipeOnExit wipeBlock(block);
    WipeOnExit wipeInner(innerDigest);
    WipeOnExit wipeS(s);
    if (makeKeyBlock(keyLength, key, d, block) != 0) return 1;
    xorBlock(block, 0x36);
    if (hashInit(d.initId, &s) != 0 || hashUpdate(d.updateId, kBlock, block, &s) != 0 ||
        hashUpdate(d.updateId, length, data, &s) != 0 || hashFinish(d.finishId, &s, innerDigest) != 0)
        return 1;
    xorBlock(block, 0x36 ^ 0x5c);
    if (hashInit(d.initId, &s) != 0 || hashUpdate(d.updateId, kBlock, block, &s) != 0 ||
        hashUpdate(d.updateId, d.digestLength, innerDigest, &s) != 0 || hashFinish(d.finishId, &s, out) != 0)
        return 1;
    return 0;
}

HmacContextLayout* layoutOfHmac(ksHmacSha1Context* ctx) { return layoutAs<HmacContextLayout>(ctx); }

// HMAC contexts without the magic word are refused but left as they are.
ksErrorCode checkHmac(ksHmacSha1Context* ctx) {
    if (ctx == nullptr) return kNoContext;
    if (layoutOfHmac(ctx)->magic != KS_MAGIC) return kContextNotInitialized;
    return kOk;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_hmacSha1Begin(ksGlobalData*, int32_t keyLength, const uint8_t* key, ksHmacSha1Context* ctx) {
    if (ctx == nullptr) return kNoContext;
    HmacContextLayout* c = layoutOfHmac(ctx);
    c->magic = 0;
    if (key == nullptr) return kHmacNoKey;
    if (keyLength < 0) return kHmacBadKey;
    if (keyState(uint32_t(keyLength), key, kSha1Descriptor, c->state) != 0) {
        return failAndWipe(ctx, kFailed);
    }
    c->magic = KS_MAGIC;
    return kOk;
}

ksErrorCode ks_hmacSha1(ksGlobalData*, uint32_t length, const uint8_t* data, ksHmacSha1Context* ctx) {
    if (const ksErrorCode rc = checkHmac(ctx)) return rc;
    if (data == nullptr) return failAndWipe(ctx, kNoInput);
    if (length == 0) return failAndWipe(ctx, kInputLength);
    if (hmacUpdate(length, data, layoutOfHmac(ctx)->state) != 0) return failAndWipe(ctx, kFailed);
    return kOk;
}

ksErrorCode ks_hmacSha1End(ksGlobalData*, ksHmacSha1Context* ctx, ksDigest* digest) {
    if (const ksErrorCode rc = checkHmac(ctx)) return rc;
    if (digest == nullptr) return failAndWipe(ctx, kNoOutput);
    if (hmacFinish(layoutOfHmac(ctx)->state, digest->digest) != 0) return failAndWipe(ctx, kFailed);
    digest->length = 20;
    // The keyed states are as secret as the key: nothing of them outlives End.
    wipeObject(*ctx);
    return kOk;
}

ksErrorCode ks_hmacSha1Message(ksGlobalData*, int32_t keyLength, const uint8_t* key, uint32_t length,
                               const uint8_t* data, ksDigest* digest) {
    if (key == nullptr) return kHmacNoKey;
    if (keyLength < 0) return kHmacBadKey;
    if (data == nullptr) return kNoInput;
    if (length == 0) return kInputLength;
    if (digest == nullptr) return kNoOutput;
    if (hmacMessage(uint32_t(keyLength), key, length, data, kSha1Descriptor, digest->digest) != 0) {
        return kFailed;
    }
    digest->length = 20;
    return kOk;
}
