// The FIPS 186-style generator on SHA-1: the state update, the three
// operations behind a generator context's references, and the exports.
#include <algorithm>
#include <cstring>

#include "crypto/global_data.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/mp/mp_int.h"
#include "crypto/result_codes.h"
#include "crypto/hash/sha1_internal.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

using mp::asInt;

constexpr uint32_t kKeyDigits = 10;  // XKEY lives modulo 2^160

// Ids of the operations a context refers to; caller memory holds only these.
enum RngOpId : uint32_t { kGenerateId = 0x47454E31, kSeedId = 0x53454431, kAddInputId = 0x41444431 };

// Built-in modulus of types 2 and 3 (160-bit prime), 16-bit digits low first.
constexpr uint16_t kBuiltInQ[10] = {0x339F, 0xBB9F, 0xE65D, 0x96E6, 0xB528, 0xAD4D, 0xD87C, 0x4581, 0xDC6F, 0xFEFB};

void reduceTo160(ksIntGeneral& v) {
    v.count = std::min(v.count, kKeyDigits);
    while (v.count > 0 && v.digits[v.count - 1] == 0) --v.count;
}

// Stores a value of at most 18 digits into a reduced record; 1 when it does not fit.
uint32_t storeReduced(const ksIntGeneral& v, ksIntReduced& out) {
    if (v.count > mp::kReducedDigits) return 1;
    out.count = v.count;
    std::memcpy(out.digits, v.digits, v.count * sizeof(uint16_t));
    return 0;
}

// One step: 20 octets out, XKEY advanced. An optional input (at most 64
// octets) is added to XKEY for good before the step.
uint32_t fips186Step(RngContextLayout& rng, uint32_t inputLength, const uint8_t* input, uint8_t out[20]) {
    ksIntGeneral key{};
    WipeOnExit wipeKey(key);
    key.count = std::min<uint32_t>(rng.xkey.count, mp::kReducedDigits);
    std::memcpy(key.digits, rng.xkey.digits, key.count * sizeof(uint16_t));
    if (input != nullptr) {
        ksIntGeneral addend;
        WipeOnExit wipeAddend(addend);
        if (tess::crypto::mp::mpFromOctets(inputLength, input, asInt(&addend)) != 0) return 1;
        mp::mpAdd(asInt(&key), asInt(&addend), asInt(&key));
        reduceTo160(key);
    }
    uint8_t block[64] = {};
    WipeOnExit wipeBlock(block);
    ksIntGeneral xval = key;
    WipeOnExit wipeXval(xval);
    reduceTo160(xval);
    if (tess::crypto::mp::mpToOctets(asInt(&xval), 20, block) != 0) return 1;
    // A complete digest of XVAL and 44 zero octets, padding included.
    sha1Digest(block, 64, out);
    ksIntGeneral x;
    WipeOnExit wipeX(x);
    if (tess::crypto::mp::mpFromOctets(20, out, asInt(&x)) != 0) return 1;
    if ((rng.mode & 2) != 0) {
        if (rng.q.count == 0) return 1;
        ksIntReduced r;
        mp::mpMod(asInt(&x), asInt(&rng.q), &r);
        x.count = r.count;
        std::memcpy(x.digits, r.digits, r.count * sizeof(uint16_t));
    }
    ksIntGeneral one;
    mp::mpSetWord(asInt(&one), 1);
    mp::mpAdd(asInt(&key), asInt(&one), asInt(&key));
    mp::mpAdd(asInt(&key), asInt(&x), asInt(&key));
    reduceTo160(key);
    return storeReduced(key, rng.xkey);
}

uint32_t rngAddInput(RngContextLayout& rng, uint32_t length, const uint8_t* bytes) {
    ksIntGeneral key{};
    ksIntGeneral addend;
    WipeOnExit wipeKey(key);
    WipeOnExit wipeAddend(addend);
    if (tess::crypto::mp::mpFromOctets(length, bytes, asInt(&addend)) != 0) return 1;
    key.count = std::min<uint32_t>(rng.xkey.count, mp::kReducedDigits);
    std::memcpy(key.digits, rng.xkey.digits, key.count * sizeof(uint16_t));
    // Reduced modulo 2^160 at the next step.
    mp::mpAdd(asInt(&key), asInt(&addend), asInt(&key));
    return storeReduced(key, rng.xkey);
}

uint32_t rngGenerate(RngContextLayout& rng, uint32_t inputLength, const uint8_t* input, uint32_t count,
                     uint8_t* output) {
    if (count == 0) return 0;
    if (input != nullptr && rngAddInput(rng, inputLength, input) != 0) return 1;
    for (uint32_t i = 0; i < count / 20; ++i) {
        if (fips186Step(rng, 0, nullptr, output + size_t(i) * 20) != 0) return 1;
    }
    const uint32_t rest = count % 20;
    if (rest != 0) {
        uint8_t last[20];
        WipeOnExit wipeLast(last);
        if (fips186Step(rng, 0, nullptr, last) != 0) return 1;
        std::memcpy(output + (count - rest), last, rest);
    }
    return 0;
}

uint32_t rngSeed(RngContextLayout& rng, uint32_t length, const uint8_t* bytes) {
    rng.status = 0;
    ksIntGeneral key;
    WipeOnExit wipeKey(key);
    if (tess::crypto::mp::mpFromOctets(length, bytes, asInt(&key)) != 0) return 1;
    if (storeReduced(key, rng.xkey) != 0) return 1;
    rng.status |= 1;
    rng.status |= 2;
    return 0;
}

// The references of a context are resolved here; an unknown id fails.
uint32_t callGenerate(RngContextLayout& rng, uint32_t inputLength, const uint8_t* input, uint32_t count,
                      uint8_t* output) {
    if (rng.generateId != kGenerateId) return 1;
    return rngGenerate(rng, inputLength, input, count, output);
}
uint32_t callSeed(RngContextLayout& rng, uint32_t length, const uint8_t* bytes) {
    if (rng.seedId != kSeedId) return 1;
    return rngSeed(rng, length, bytes);
}
uint32_t callAddInput(RngContextLayout& rng, uint32_t length, const uint8_t* bytes) {
    if (rng.addInputId != kAddInputId) return 1;
    return rngAddInput(rng, length, bytes);
}

void setReferences(RngContextLayout& rng) {
    rng.generateId = kGenerateId;
    rng.seedId = kSeedId;
    rng.addInputId = kAddInputId;
}

bool badRandomInput(uint32_t length, const uint8_t* bytes) {
    const bool allZero = std::all_of(bytes, bytes + length, [](uint8_t b) { return b == 0x00; });
    const bool allOnes = std::all_of(bytes, bytes + length, [](uint8_t b) { return b == 0xFF; });
    return allZero || allOnes;
}

RngContextLayout* rngOf(ksRngContext* ctx) { return reinterpret_cast<RngContextLayout*>(ctx); }

ksErrorCode checkRng(ksRngContext* ctx) {
    if (ctx == nullptr) return kNoGlobalData;
    if (rngOf(ctx)->magic != KS_MAGIC) return kNotInitialized;
    return kOk;
}

}  // namespace

}  // namespace tess::crypto

using namespace tess::crypto;

uint32_t tess::crypto::rngStart(ksGlobalData* gd, uint32_t type, uint32_t seedLength, const uint8_t* seed) {
    RngContextLayout& rng = layoutOf(gd)->rng;
    rng.type = type;
    setReferences(rng);
    rng.mode = 1;
    uint8_t d[20];
    WipeOnExit wipeD(d);
    sha1Digest(seed, seedLength, d);
    rngSeed(rng, sizeof d, d);
    rng.magic = KS_MAGIC;
    return 0;
}

uint32_t a3385(ksGlobalData* gd, uint32_t type, uint32_t seedLength, const uint8_t* seed) {
    return tess::crypto::rngStart(gd, type, seedLength, seed);
}

uint32_t tess::crypto::rngBytes(ksGlobalData* gd, uint32_t count, uint8_t* output) {
    if (gd == nullptr || (count != 0 && output == nullptr)) return 1;
    return rngGenerate(layoutOf(gd)->rng, 0, nullptr, count, output);
}

uint32_t a3391(ksGlobalData* gd, uint32_t count, uint8_t* output) { return tess::crypto::rngBytes(gd, count, output); }

uint32_t a1393(ksGlobalData* gd, uint8_t* output, uint32_t count) { return tess::crypto::rngBytes(gd, count, output); }

uint32_t tess::crypto::rngBelow(ksRngContext* ctx, const ksInt* n, uint32_t inputLength, const uint8_t* input,
                                ksIntReduced* out) {
    if (ctx == nullptr || n == nullptr || out == nullptr) return 1;
    if (n->count == 0 || n->count > mp::kModulusDigits) return 1;
    if (input != nullptr && (inputLength == 0 || inputLength > 64)) return 1;
    RngContextLayout& rng = *rngOf(ctx);
    const uint32_t blocks = (2 * n->count - 1) / 20 + 1;
    uint8_t drawn[40];
    WipeOnExit wipeDrawn(drawn);
    for (uint32_t i = 0; i < blocks; ++i) {
        if (fips186Step(rng, inputLength, input, drawn + 20 * i) != 0) return 1;
    }
    ksIntGeneral r;
    ksIntGeneral nMinusOne;
    ksIntGeneral one;
    WipeOnExit wipeR(r);
    mp::mpSetWord(asInt(&one), 1);
    mp::mpSubtract(n, asInt(&one), asInt(&nMinusOne));
    if (nMinusOne.count == 0) return 1;  // n = 1 leaves no room for [1, n-1]
    // Every drawn octet counts: at least n's byte length, at most 40 octets.
    if (tess::crypto::mp::mpFromOctets(20 * blocks, drawn, asInt(&r)) != 0) return 1;
    ksIntReduced reduced;
    mp::mpMod(asInt(&r), asInt(&nMinusOne), &reduced);
    return tess::crypto::mp::mpModAdd(asInt(&reduced), asInt(&one), n, out);
}

uint32_t a3364(ksRngContext* ctx, const ksInt* n, uint32_t inputLength, const uint8_t* input, ksIntReduced* out) {
    return tess::crypto::rngBelow(ctx, n, inputLength, input, out);
}

ksErrorCode ks_rngSize(uint32_t* size) {
    if (size == nullptr) return kNoOutput;
    *size = KS_RNG_CONTEXT_SIZE;
    return kOk;
}

ksErrorCode ks_rngInit(ksRngContext* ctx, uint32_t type, uint32_t seedLength, const uint8_t* seed) {
    if (ctx == nullptr) return kNoGlobalData;
    if (seed == nullptr) return kNoInput;
    if (seedLength == 0) return kInputLength;
    if (badRandomInput(seedLength, seed)) return kRngBadInput;
    RngContextLayout& rng = *rngOf(ctx);
    if (type == 1) {
        rng.type = 1;
        rng.mode = 1;
    } else if (type == 2 || type == 3) {
        // The block may be a standalone 148-byte context, so nothing past it is
        // read: the mod-q types always use the built-in modulus here.
        rng.type = type;
        rng.mode = 3;
        rng.q.count = 10;
        std::memcpy(rng.q.digits, kBuiltInQ, sizeof kBuiltInQ);
    } else {
        return kNotImplemented;
    }
    setReferences(rng);
    uint8_t d[20];
    WipeOnExit wipeD(d);
    sha1Digest(seed, seedLength, d);
    if (callSeed(rng, sizeof d, d) != 0) return kFailed;
    rng.magic = KS_MAGIC;
    return kOk;
}

ksErrorCode ks_rngSeedFIPS186(ksRngContext* ctx, uint32_t length, const uint8_t* input) {
    if (const ksErrorCode rc = checkRng(ctx)) return rc;
    if (input == nullptr) return kNoInput;
    if (length == 0) return kInputLength;
    if (badRandomInput(length, input)) return kRngBadInput;
    uint8_t d[20];
    WipeOnExit wipeD(d);
    sha1Digest(input, length, d);
    return callAddInput(*rngOf(ctx), sizeof d, d) != 0 ? kFailed : kOk;
}

ksErrorCode ks_fipsRngOptionalInput(ksRngContext* ctx, uint32_t length, const uint8_t* input) {
    return ks_rngSeedFIPS186(ctx, length, input);
}

ksErrorCode ks_rngFIPS186Session(ksRngContext* ctx, uint32_t count, uint8_t* output) {
    if (const ksErrorCode rc = checkRng(ctx)) return rc;
    if (count == 0) return kOk;
    if (output == nullptr) return kNoOutput;
    return callGenerate(*rngOf(ctx), 0, nullptr, count, output) != 0 ? kFailed : kOk;
}

ksErrorCode ks_rngFIPS186Private(ksRngContext* ctx, uint32_t inputLength, const uint8_t* input, uint32_t count,
                                 uint8_t* output) {
    if (const ksErrorCode rc = checkRng(ctx)) return rc;
    if (count == 0) return kOk;
    if (output == nullptr) return kNoOutput;
    if (inputLength == 0) {
        return callGenerate(*rngOf(ctx), 0, nullptr, count, output) != 0 ? kFailed : kOk;
    }
    if (input == nullptr) return kNoInput;
    if (badRandomInput(inputLength, input)) return kRngBadInput;
    uint8_t d[20];
    WipeOnExit wipeD(d);
    sha1Digest(input, inputLength, d);
    return callGenerate(*rngOf(ctx), sizeof d, d, count, output) != 0 ? kFailed : kOk;
}
