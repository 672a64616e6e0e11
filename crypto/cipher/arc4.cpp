// ARC4: key generation from the library's generator, the RC4 key schedule
// and keystream on a caller-owned context.
#include <bit>
#include <cstring>
#include <utility>

#include "crypto/global_data.h"
#include "crypto/hash/internal.h"
#include "crypto/primitive_context.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

struct Arc4State {
    uint8_t s[256];
    uint8_t i;
    uint8_t j;
};
static_assert(sizeof(Arc4State) == 258);

struct Arc4ContextLayout {
    uint32_t magic;
    Arc4State state;
    uint8_t pad[2];  // only ever zeroed
};

void arc4Schedule(Arc4State& st, uint32_t keyLength, const uint8_t* key) {
    for (int k = 0; k < 256; ++k) st.s[k] = uint8_t(k);
    uint8_t j = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        j = uint8_t(j + st.s[i] + key[i % keyLength]);
        std::swap(st.s[i], st.s[j]);
    }
    st.i = 0;
    st.j = 0;
}

inline uint8_t keystreamByte(uint8_t* s, uint8_t& i, uint8_t& j) {
    i = uint8_t(i + 1);
    const uint8_t si = s[i];
    j = uint8_t(j + si);
    const uint8_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    return s[uint8_t(si + sj)];
}

// Eight keystream bytes are gathered into one word and XORed with eight
// input bytes at once; each input block is read before its output is written.
void arc4Crypt(Arc4State& st, const uint8_t* in, uint32_t length, uint8_t* out) {
    uint8_t i = st.i, j = st.j;
    uint8_t* s = st.s;
    uint32_t n = 0;
    for (; n + 8 <= length; n += 8) {
        uint64_t k = 0;
        for (int b = 0; b < 8; ++b) k |= uint64_t(keystreamByte(s, i, j)) << (8 * b);
        uint64_t x;
        std::memcpy(&x, in + n, 8);
        static_assert(std::endian::native == std::endian::little);
        x ^= k;  // keystream byte b meets input byte b
        std::memcpy(out + n, &x, 8);
    }
    for (; n < length; ++n) out[n] = in[n] ^ keystreamByte(s, i, j);
    st.i = i;
    st.j = j;
}

void arc4Clear(Arc4State& st) { wipeObject(st); }

uint32_t arc4DrawKey(ksGlobalData* gd, uint32_t length, uint8_t* out) {
    return tess::crypto::rngBytes(gd, length, out) != 0 ? 1 : 0;
}

bool validKeyLength(uint32_t n) { return n >= 1 && n <= 256; }

ksErrorCode cryptChecked(ksArc4Context* ctx, const uint8_t* in, uint32_t length, uint8_t* out, ksErrorCode noIn,
                         ksErrorCode noOut) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (length == 0) return kOk;
    if (in == nullptr) return failAndWipe(ctx, noIn);
    if (out == nullptr) return failAndWipe(ctx, noOut);
    arc4Crypt(layoutAs<Arc4ContextLayout>(ctx)->state, in, length, out);
    return kOk;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_arc4GenerateKey(ksGlobalData* gd, ksArc4ContextRequest* request) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (request == nullptr) return kArc4NoRequest;
    if (!validKeyLength(request->keyLength)) return kArc4BadKeySize;
    if (arc4DrawKey(gd, request->keyLength, request->key) != 0) return kFailed;
    return kOk;
}

ksErrorCode ks_arc4Begin(ksGlobalData*, const ksArc4ContextRequest* request, ksArc4Context* ctx) {
    if (request == nullptr) return kArc4NoRequest;
    if (!validKeyLength(request->keyLength)) return kArc4BadKeySize;
    if (ctx == nullptr) return kNoContext;
    auto* c = layoutAs<Arc4ContextLayout>(ctx);
    c->magic = 0;
    arc4Schedule(c->state, request->keyLength, request->key);
    c->magic = KS_MAGIC;
    return kOk;
}

ksErrorCode ks_arc4Encrypt(ksGlobalData*, ksArc4Context* ctx, const uint8_t* plain, uint32_t length, uint8_t* cipher) {
    return cryptChecked(ctx, plain, length, cipher, kDesNoPlaintext, kDesNoCiphertext);
}

ksErrorCode ks_arc4Decrypt(ksGlobalData*, ksArc4Context* ctx, const uint8_t* cipher, uint32_t length, uint8_t* plain) {
    return cryptChecked(ctx, cipher, length, plain, kDesNoCiphertext, kDesNoPlaintext);
}

ksErrorCode ks_arc4End(ksGlobalData*, ksArc4Context* ctx) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    auto* c = layoutAs<Arc4ContextLayout>(ctx);
    arc4Clear(c->state);
    c->magic = 0;
    return kOk;
}
