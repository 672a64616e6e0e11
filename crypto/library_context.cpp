// The library context: sizing, initialisation, teardown, the information
// record and the two octet-string helpers.
#include <cstring>

#include "crypto/curve/curve_steps.h"
#include "crypto/global_data.h"
#include "crypto/hash/internal.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

using namespace tess::crypto;

ksErrorCode ks_dataSize(const ksCurveParams* curve, uint32_t* size) {
    if (size == nullptr) return kNoOutput;
    *size = 0;
    if (curve != nullptr) {
        if (const ksErrorCode rc = curveValidate(curve)) return rc;
    }
    *size = KS_GLOBAL_DATA_SIZE;
    return kOk;
}

ksErrorCode ks_heapSize(const ksCurveParams* curve, uint32_t* size) {
    if (size == nullptr) return kNoOutput;
    *size = 0;
    if (const ksErrorCode rc = curveValidate(curve)) return rc;
    uint32_t answer = 0;
    if (curveHeapSize(curve, &answer) != 0) return kFailed;
    *size = answer;
    return kOk;
}

ksErrorCode ks_initialize(const ksCurveParams* curve, const ksOptionsList* options, uint32_t dataSize,
                          uint32_t heapSize, ksGlobalData* gd, ksHeap* heap) {
    if (curve != nullptr) {
        if (const ksErrorCode rc = curveValidate(curve)) return rc;
    }
    if (options == nullptr) return kNoOptions;
    uint32_t needed = 0;
    if (ks_dataSize(curve, &needed) != kOk) return kFailed;
    if (dataSize < needed) return kBadDataSize;
    if (gd == nullptr) return kNoDataSpace;
    GlobalDataLayout* g = layoutOf(gd);
    // A context that was valid stops being so the moment it is re-initialised:
    // a failure below must not leave a half-rewritten context marked valid.
    g->magic = 0;
    if (curve != nullptr) {
        if (heap == nullptr) {
            if (heapSize != 0) return kNoHeapSpace;
        } else {
            uint32_t heapNeeded = 0;
            if (ks_heapSize(curve, &heapNeeded) != kOk) return kFailed;
            if (heapSize < heapNeeded) return kBadHeapSize;
        }
        if (curveLoad(curve, gd) != 0) return kFailed;
    }
    if (options->rngType != 0 && options->rngType != 1) return kRngBadType;
    if (options->seedLength != 32) return kRngBadSeedLength;
    if (curve == nullptr) {
        g->heap = nullptr;
        g->heapSize = 0;
    } else {
        if (options->pointCompression < 0 || options->pointCompression > 2) {
            return kBadPointCompression;
        }
        g->pointFormat = 3;
        if (options->ecesCompression < 0 || options->ecesCompression > 1) {
            return kBadEcesCompression;
        }
        g->ecesCompression = 1;
        g->heapSize = heap == nullptr ? 0 : heapSize;
        g->heap = heap;
    }
    tess::crypto::rngStart(gd, 1, options->seedLength, options->seed);
    if (curve != nullptr) {
        if (curveEngineInit(curve, gd, heap) != 0) return kFailed;
        uint32_t onCurve = 0;
        if (curveBasePointCheck(gd, &onCurve) != 0) return kFailed;
        if (onCurve == 0) return kBadCurve;
    }
    tess::crypto::contextMagic(&g->magic);
    return kOk;
}

ksErrorCode ks_end(ksGlobalData* gd) {
    if (gd == nullptr) return kNoGlobalData;
    GlobalDataLayout* g = layoutOf(gd);
    // Only a context that ks_initialize completed holds a heap reference we
    // can trust; a never-initialised block may hold anything there.
    if (g->magic == KS_MAGIC && g->heap != nullptr) wipe(g->heap, g->heapSize);
    wipe(gd, KS_GLOBAL_DATA_SIZE);
    return kOk;
}

ksErrorCode ks_getInfo(ksInfo* info) {
    if (info == nullptr) return kNoOutput;
    std::memset(info, 0, sizeof *info);
    info->majorVersion = 2;
    info->minorVersion = 4;
    std::strncpy(info->maker, "Tessaline", sizeof info->maker - 1);
    static const char kBuild[] = "Build Number: $ProjectRevision: 2.811 $";
    static_assert(sizeof kBuild == sizeof(ksInfo::build));
    std::memcpy(info->build, kBuild, sizeof kBuild);
    return kOk;
}

ksErrorCode ks_os2uint(uint32_t length, const uint8_t* octets, uint32_t* value) {
    if (length == 0 || length > 4) return kInputLength;
    if (octets == nullptr) return kNoInput;
    if (value == nullptr) return kNoOutput;
    uint32_t v = 0;
    for (uint32_t i = 0; i < length; ++i) v = (v << 8) | octets[i];
    *value = v;
    return kOk;
}

ksErrorCode ks_uint2os(uint32_t value, uint32_t length, uint8_t* octets) {
    if (octets == nullptr) return kNoOutput;
    if (length < 4) return kOutputLength;
    std::memset(octets, 0, length - 4);
    for (uint32_t i = 0; i < 4; ++i) octets[length - 1 - i] = uint8_t(value >> (8 * i));
    return kOk;
}

ksErrorCode tess::crypto::contextMagic(uint32_t* magic) {
    *magic = KS_MAGIC;
    return 0;
}

ksErrorCode a1558(uint32_t* magic) { return tess::crypto::contextMagic(magic); }
