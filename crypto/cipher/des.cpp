// DES, DESX and triple DES in ECB, CBC, CFB-64 and OFB-64 on OpenSSL's DES
// block function: algorithm table, key generation, parity and weak-key
// policy, whitening, the context and the exports.
#include <cstring>

#include "crypto/cipher/des_internal.h"
#include "crypto/global_data.h"
#include "crypto/hash/internal.h"
#include "crypto/primitive_context.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

struct Algorithm {
    uint32_t mode;
    uint32_t structure;
    uint32_t keyCount;
};
constexpr Algorithm kAlgorithms[12] = {
    {kDesEcb, kDesSingle, 1}, {kDesCbc, kDesSingle, 2}, {kDesEcb, kDesTriple, 3}, {kDesCbc, kDesTriple, 4},
    {kDesEcb, kDesX, 3},      {kDesCbc, kDesX, 4},      {kDesCfb, kDesSingle, 2}, {kDesOfb, kDesSingle, 2},
    {kDesCfb, kDesTriple, 4}, {kDesOfb, kDesTriple, 4}, {kDesCfb, kDesX, 4},      {kDesOfb, kDesX, 4},
};

// Weak and semi-weak keys as little-endian word pairs with the parity bits
// cleared: the four whose halves are equal, then the other twelve.
constexpr uint32_t kEqualHalves[4] = {0x00000000, 0xFEFEFEFE, 0xFE00FE00, 0x00FE00FE};
constexpr uint32_t kUnequalHalves[12][2] = {
    {0x1E1E1E1E, 0x0E0E0E0E}, {0xE0E0E0E0, 0xF0F0F0F0}, {0x1EFE1EFE, 0x0EFE0EFE}, {0xFE1EFE1E, 0xFE0EFE0E},
    {0xE000E000, 0xF000F000}, {0x00E000E0, 0x00F000F0}, {0xE01EE01E, 0xF00EF00E}, {0x1EE01EE0, 0x0EF00EF0},
    {0xFEE0FEE0, 0xFEF0FEF0}, {0xE0FEE0FE, 0xF0FEF0FE}, {0x1E001E00, 0x0E000E00}, {0x001E001E, 0x000E000E},
};

DES_LONG load(const uint8_t* p) { return loadLe32(p); }

uint32_t keySlotAfterKeys(uint32_t structure) { return structure == kDesSingle ? 1 : 3; }

bool oddParity(const uint8_t key[8]) {
    DES_cblock block;
    std::memcpy(block, key, 8);
    return DES_check_key_parity(&block) == 1;
}

void setOddParity(uint8_t key[8]) {
    DES_cblock block;
    std::memcpy(block, key, 8);
    DES_set_odd_parity(&block);
    std::memcpy(key, block, 8);
}

void schedule(const uint8_t key[8], DES_key_schedule& out) {
    DES_cblock block;
    std::memcpy(block, key, 8);
    DES_set_key_unchecked(&block, &out);
    wipeObject(block);
}

// The cipher of the key structure on one block in the two-word form.
template <uint32_t S>
inline void encryptBlock(const DesContextBody& b, DES_LONG d[2]) {
    if constexpr (S == kDesSingle) {
        DES_encrypt1(d, const_cast<DES_key_schedule*>(&b.schedule1), DES_ENCRYPT);
    } else if constexpr (S == kDesX) {
        d[0] ^= b.area2.whitening[0];
        d[1] ^= b.area2.whitening[1];
        DES_encrypt1(d, const_cast<DES_key_schedule*>(&b.schedule1), DES_ENCRYPT);
        d[0] ^= b.area2.whitening[2];
        d[1] ^= b.area2.whitening[3];
    } else {
        DES_encrypt3(d, const_cast<DES_key_schedule*>(&b.schedule1), const_cast<DES_key_schedule*>(&b.area2.schedule2),
                     const_cast<DES_key_schedule*>(&b.schedule3));
    }
}

template <uint32_t S>
inline void decryptBlock(const DesContextBody& b, DES_LONG d[2]) {
    if constexpr (S == kDesSingle) {
        DES_encrypt1(d, const_cast<DES_key_schedule*>(&b.schedule1), DES_DECRYPT);
    } else if constexpr (S == kDesX) {
        d[0] ^= b.area2.whitening[2];
        d[1] ^= b.area2.whitening[3];
        DES_encrypt1(d, const_cast<DES_key_schedule*>(&b.schedule1), DES_DECRYPT);
        d[0] ^= b.area2.whitening[0];
        d[1] ^= b.area2.whitening[1];
    } else {
        DES_decrypt3(d, const_cast<DES_key_schedule*>(&b.schedule1), const_cast<DES_key_schedule*>(&b.area2.schedule2),
                     const_cast<DES_key_schedule*>(&b.schedule3));
    }
}

// Each block is read whole before its output is written, so in and out may
// be the same buffer.
template <uint32_t S, bool Encrypt>
void processBlocks(DesContextBody& b, uint32_t blocks, const uint8_t* in, uint8_t* out) {
    DES_LONG f0 = b.feedback[0], f1 = b.feedback[1];
    for (uint32_t i = 0; i < blocks; ++i, in += 8, out += 8) {
        const DES_LONG x0 = load(in), x1 = load(in + 4);
        DES_LONG d[2];
        switch (b.mode) {
        case kDesEcb:
            d[0] = x0;
            d[1] = x1;
            Encrypt ? encryptBlock<S>(b, d) : decryptBlock<S>(b, d);
            break;
        case kDesCbc:
            if (Encrypt) {
                d[0] = x0 ^ f0;
                d[1] = x1 ^ f1;
                encryptBlock<S>(b, d);
                f0 = d[0];
                f1 = d[1];
            } else {
                d[0] = x0;
                d[1] = x1;
                decryptBlock<S>(b, d);
                d[0] ^= f0;
                d[1] ^= f1;
                f0 = x0;
                f1 = x1;
            }
            break;
        case kDesCfb:
            d[0] = f0;
            d[1] = f1;
            encryptBlock<S>(b, d);
            d[0] ^= x0;
            d[1] ^= x1;
            // The ciphertext block feeds back in both directions.
            f0 = Encrypt ? d[0] : x0;
            f1 = Encrypt ? d[1] : x1;
            break;
        default:  // OFB
            d[0] = f0;
            d[1] = f1;
            encryptBlock<S>(b, d);
            f0 = d[0];
            f1 = d[1];
            d[0] ^= x0;
            d[1] ^= x1;
            break;
        }
        storeLe32(out, d[0]);
        storeLe32(out + 4, d[1]);
    }
    b.feedback[0] = f0;
    b.feedback[1] = f1;
}

template <bool Encrypt>
void process(DesContextBody& b, uint32_t blocks, const uint8_t* in, uint8_t* out) {
    switch (b.structure) {
    case kDesSingle: return processBlocks<kDesSingle, Encrypt>(b, blocks, in, out);
    case kDesX: return processBlocks<kDesX, Encrypt>(b, blocks, in, out);
    default: return processBlocks<kDesTriple, Encrypt>(b, blocks, in, out);
    }
}

struct DesContextLayout {
    uint32_t magic;
    DesContextBody body;
};

DesContextBody& bodyOf(ksDesContext* ctx) { return layoutAs<DesContextLayout>(ctx)->body; }

// One 8-byte value from the generator; with the weak check, one redraw.
uint32_t drawKey(ksGlobalData* gd, const DesSetup& setup, uint8_t key[8]) {
    if (tess::crypto::rngBytes(gd, 8, key) != 0) return 1;
    if (setup.weakKeyCheck == 1 && desIsWeakKey(key)) {
        if (tess::crypto::rngBytes(gd, 8, key) != 0) return 1;
        if (desIsWeakKey(key)) return 1;
    }
    if (setup.parityCheck == 1) setOddParity(key);
    return 0;
}

ksErrorCode cryptChecked(ksDesContext* ctx, const uint8_t* in, uint32_t length, uint8_t* out, ksErrorCode noIn,
                         ksErrorCode noOut, bool encrypt) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (length == 0) return kOk;
    if (in == nullptr) return failAndWipe(ctx, noIn);
    if (length % 8 != 0) return failAndWipe(ctx, kBufferLength);
    if (out == nullptr) return failAndWipe(ctx, noOut);
    if (encrypt) {
        desEncryptBlocks(bodyOf(ctx), length / 8, in, out);
    } else {
        desDecryptBlocks(bodyOf(ctx), length / 8, in, out);
    }
    return kOk;
}

// Request checks shared by ks_desBegin and ks_desGenerateKeys.
bool validFlag(uint32_t v) { return v == 0 || v == 1; }

}  // namespace

bool desIsWeakKey(const uint8_t key[8]) {
    const uint32_t w0 = loadLe32(key) & 0xFEFEFEFE;
    const uint32_t w1 = loadLe32(key + 4) & 0xFEFEFEFE;
    if (w0 == w1) {
        for (uint32_t h : kEqualHalves) {
            if (w0 == h) return true;
        }
        return false;
    }
    for (const auto& k : kUnequalHalves) {
        if (w0 == k[0] && w1 == k[1]) return true;
    }
    return false;
}

uint32_t desSetupContext(const DesSetup& setup, DesContextBody& body) {
    const uint8_t* key1 = setup.slots[0];
    if (setup.parityCheck == 1 && !oddParity(key1)) return 1;
    if (setup.weakKeyCheck == 1 && desIsWeakKey(key1)) return 2;
    schedule(key1, body.schedule1);
    if (setup.structure == kDesX) {
        body.area2.whitening[0] = load(setup.slots[1]);
        body.area2.whitening[1] = load(setup.slots[1] + 4);
        body.area2.whitening[2] = load(setup.slots[2]);
        body.area2.whitening[3] = load(setup.slots[2] + 4);
    } else if (setup.structure == kDesTriple) {
        if (setup.parityCheck == 1 && (!oddParity(setup.slots[1]) || !oddParity(setup.slots[2]))) {
            return 1;
        }
        if (setup.weakKeyCheck == 1 && (desIsWeakKey(setup.slots[1]) || desIsWeakKey(setup.slots[2]))) {
            return 2;
        }
        schedule(setup.slots[1], body.area2.schedule2);
        schedule(setup.slots[2], body.schedule3);
    }
    if (setup.mode != kDesEcb) {
        const uint8_t* iv = setup.slots[keySlotAfterKeys(setup.structure)];
        body.feedback[0] = load(iv);
        body.feedback[1] = load(iv + 4);
    }
    body.mode = setup.mode;
    body.structure = setup.structure;
    return 0;
}

void desEncryptBlocks(DesContextBody& body, uint32_t blocks, const uint8_t* in, uint8_t* out) {
    process<true>(body, blocks, in, out);
}

void desDecryptBlocks(DesContextBody& body, uint32_t blocks, const uint8_t* in, uint8_t* out) {
    // (The feedback-stream modes run the cipher forwards in both directions.)
    process<false>(body, blocks, in, out);
}

void desClearContext(DesContextBody& body) { wipeObject(body); }

uint32_t desMakeKeys(ksGlobalData* gd, DesSetup& setup) {
    DesSetup drawn = setup;
    WipeOnExit wipeDrawn(drawn);
    if (drawKey(gd, setup, drawn.slots[0]) != 0) return 1;
    if (setup.structure == kDesX) {
        if (tess::crypto::rngBytes(gd, 8, drawn.slots[1]) != 0 || tess::crypto::rngBytes(gd, 8, drawn.slots[2]) != 0)
            return 1;
    } else if (setup.structure == kDesTriple) {
        if (drawKey(gd, setup, drawn.slots[1]) != 0 || drawKey(gd, setup, drawn.slots[2]) != 0) {
            return 1;
        }
    }
    if (setup.mode != kDesEcb) {
        if (tess::crypto::rngBytes(gd, 8, drawn.slots[keySlotAfterKeys(setup.structure)]) != 0) return 1;
    }
    std::memcpy(setup.slots, drawn.slots, sizeof setup.slots);
    return 0;
}

}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_desGenerateKeys(ksGlobalData* gd, ksDesContextRequest* request) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (request == nullptr) return kDesNoRequest;
    if (request->algorithm > 11) return kDesBadAlgorithm;
    const Algorithm& alg = kAlgorithms[request->algorithm];
    request->keyCount = alg.keyCount;
    if (!validFlag(request->parityCheck) || !validFlag(request->weakKeyCheck)) {
        return kDesBadRequest;
    }
    DesSetup setup{alg.mode, alg.structure, request->parityCheck, request->weakKeyCheck, {}};
    WipeOnExit wipeSetup(setup);
    if (desMakeKeys(gd, setup) != 0) return kFailed;
    std::memcpy(request->keys, setup.slots, size_t(alg.keyCount) * 8);
    return kOk;
}

ksErrorCode ks_desBegin(ksGlobalData*, const ksDesContextRequest* request, ksDesContext* ctx) {
    if (request == nullptr) return kDesNoRequest;
    if (ctx == nullptr) return kNoContext;
    auto* c = layoutAs<DesContextLayout>(ctx);
    c->magic = 0;
    if (request->algorithm > 11) return kDesBadAlgorithm;
    const Algorithm& alg = kAlgorithms[request->algorithm];
    if (request->keyCount != alg.keyCount) return kDesKeyCount;
    if (!validFlag(request->parityCheck) || !validFlag(request->weakKeyCheck)) {
        return kDesBadRequest;
    }
    DesSetup setup{alg.mode, alg.structure, request->parityCheck, request->weakKeyCheck, {}};
    WipeOnExit wipeSetup(setup);
    std::memcpy(setup.slots, request->keys, sizeof setup.slots);
    switch (desSetupContext(setup, c->body)) {
    case 0: break;
    // A schedule may already be built: a failed set-up leaves no key material.
    case 1: return failAndWipe(ctx, kDesBadParity);
    default: return failAndWipe(ctx, kDesWeakKey);
    }
    c->magic = KS_MAGIC;
    return kOk;
}

ksErrorCode ks_desSetIV(ksGlobalData*, const uint8_t* iv, ksDesContext* ctx) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (iv == nullptr) return kNoInput;
    bodyOf(ctx).feedback[0] = loadLe32(iv);
    bodyOf(ctx).feedback[1] = loadLe32(iv + 4);
    return kOk;
}

ksErrorCode ks_desEncrypt(ksGlobalData*, ksDesContext* ctx, const uint8_t* plain, uint32_t length, uint8_t* cipher) {
    return cryptChecked(ctx, plain, length, cipher, kDesNoPlaintext, kDesNoCiphertext, true);
}

ksErrorCode ks_desDecrypt(ksGlobalData*, ksDesContext* ctx, const uint8_t* cipher, uint32_t length, uint8_t* plain) {
    return cryptChecked(ctx, cipher, length, plain, kDesNoCiphertext, kDesNoPlaintext, false);
}

ksErrorCode ks_desEnd(ksGlobalData*, ksDesContext* ctx) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    auto* c = layoutAs<DesContextLayout>(ctx);
    desClearContext(c->body);
    c->magic = 0;
    return kOk;
}
