// Curve loading for the prime-field modules, the generic binary-field module
// and the engines A and C to F: which numbers name them, which of them
// belong together, and the completion of caller-built records.
#include <cstring>

#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/internal.h"
#include "crypto/field/internal.h"
#include "crypto/field/prime_field.h"
#include "crypto/result_codes.h"

namespace tess::crypto {

namespace {

enum : uint32_t {
    kVersion = 32,
    kReserved = 33,
    kChecksum = 34,
    kFieldBits = 38,
    kElementLength = 40,
    kFieldType = 41,
    kReduction = 42,
    kInstallId = 76,
    kEngineId = 80,
    kExtra1 = 314,
    kExtra2 = 346,
};
constexpr uint8_t kRecordPrimeField = 4;

uint32_t le32(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Degrees of the fixed binary modules by install number.
uint32_t fixedBinaryDegree(uint32_t id) {
    static constexpr uint32_t kDegrees[][2] = {{3088, 113}, {3112, 131}, {3097, 163}, {3124, 163},
                                               {3115, 191}, {3103, 233}, {3106, 239}, {3118, 239}};
    for (const auto& d : kDegrees)
        if (d[0] == id) return d[1];
    return 0;
}

bool isPrimeEngine(uint32_t id) {
    return id == kPrimeGeneralEngineId || id == kPrimeMinus3EngineId || id == kMontgomeryEngineId ||
           id == kEndomorphismEngineId;
}
bool isBinaryEngine(uint32_t id) { return id == kBinaryGenericEngineId || id == 1924; }

}  // namespace

const ksFieldMethods* extraFieldModuleForId(uint32_t id) {
    if (id == kBinaryGenericFieldId) return binaryGenericTable();
    return primeModuleForId(id);
}

const ksCurveEngine* extraCurveEngineForId(uint32_t id) {
    switch (id) {
    case kBinaryGenericEngineId: return &kBinaryGenericEngine;
    case kPrimeGeneralEngineId: return &prime::kPrimeGeneralEngine;
    case kPrimeMinus3EngineId: return &prime::kPrimeMinus3Engine;
    case kMontgomeryEngineId: return &prime::kMontgomeryEngine;
    case kEndomorphismEngineId: return &prime::kEndomorphismEngine;
    default: return nullptr;
    }
}

EngineInitEntry extraEngineInit(uint32_t id) {
    switch (id) {
    case kBinaryGenericEngineId: return tess::crypto::binaryGenericEngineInit;
    case kPrimeGeneralEngineId: return prime::initPrimeGeneral;
    case kPrimeMinus3EngineId: return tess::crypto::primeJacobianEngineInit;
    case kMontgomeryEngineId: return tess::crypto::montgomeryEngineInit;
    case kEndomorphismEngineId: return tess::crypto::endomorphismEngineInit;
    default: return nullptr;
    }
}

uint32_t extraInstall(uint32_t id, ksGlobalData* gd, const uint8_t* reduction) {
    switch (id) {
    case kPrime160Id:
    case kPrimeP192Id:
    case kPrimeP224Id:
    case kPrimeP256Id: tess::crypto::installPrimeFixed(gd, id, reduction); return 0;
    case kPrimeGenericId: tess::crypto::installPrimeGeneric(gd, reduction); return 0;
    case kBinaryGenericFieldId: tess::crypto::installBinaryGeneric(gd, reduction); return 0;
    default: return 1;
    }
}

int extraEntriesMatch(const ksCurveParams* curve) {
    const uint8_t* r = curve->octets;
    const uint32_t installId = le32(r + kInstallId), engineId = le32(r + kEngineId);
    const bool primeInstall = primeModuleForId(installId) != nullptr;
    if (!primeInstall && installId != kBinaryGenericFieldId && extraCurveEngineForId(engineId) == nullptr) return -1;
    const uint32_t m = (uint32_t(r[kFieldBits]) << 8) | r[kFieldBits + 1];
    const uint32_t len = r[kElementLength];
    const bool primeRecord = r[kFieldType] == kRecordPrimeField;
    if (m == 0 || m > 256 || len == 0 || len > 32) return 0;
    if (primeRecord) {
        if (!primeInstall || !isPrimeEngine(engineId)) return 0;
        const uint8_t* p = r + kReduction;
        if ((p[len - 1] & 1) == 0 || (len == 1 && p[0] < 3)) return 0;  // the modules need an odd prime
        if (const uint32_t bits = fixedPrimeBits(installId)) {
            // A fixed module computes with its own prime: the record must name it.
            if (bits != m || std::memcmp(p, fixedPrimeOctets(installId) + 32 - len, len) != 0) return 0;
        }
        return 1;
    }
    if (!isBinaryEngine(engineId)) return 0;
    if (installId == kBinaryGenericFieldId) {
        // The Koblitz engine runs its ladder inside a fixed module; the
        // generic module keeps x^m inside the top word.
        return engineId == kBinaryGenericEngineId && m % 32 != 0 ? 1 : 0;
    }
    const uint32_t degree = fixedBinaryDegree(installId);
    return degree != 0 && degree == m ? 1 : 0;
}

}  // namespace tess::crypto

ksErrorCode ks_initializeCurve(ksCurveParams* curve) {
    using namespace tess::crypto;
    if (curve == nullptr) return kNoCurve;
    uint8_t* r = curve->octets;
    r[kVersion] = 2;
    r[kReserved] = 0;
    const bool prime = r[kFieldType] == kRecordPrimeField;
    putLe32(r + kInstallId, prime ? kPrimeGenericId : kBinaryGenericFieldId);
    putLe32(r + kEngineId, prime ? kPrimeGeneralEngineId : kBinaryGenericEngineId);
    std::memset(r + kExtra1, 0, 32);
    std::memset(r + kExtra2, 0, 32);
    uint32_t sum = 0;
    if (curveChecksum(curve, &sum) != 0) return kBadCurve;
    for (int i = 0; i < 4; ++i) r[kChecksum + i] = uint8_t(sum >> (24 - 8 * i));
    return kOk;
}
