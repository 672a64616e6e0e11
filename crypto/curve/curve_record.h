// The curve parameter record: 378 octets of big-endian curve parameters
// with an ELF-hash checksum and the ids of the field module's install entry
// (octets 76..79) and the engine's init entry (80..83), little-endian.
#pragma once

#include <cstdint>

#include "crypto/field/field_element.h"
#include "crypto/kestrel.h"

struct ksCurveParams {
    uint8_t octets[378];
};

namespace tess::crypto {

inline constexpr uint32_t kCurveRecordSize = 378;

// The checksum over the hashed fields; 1 when a field check fails on the way.
uint32_t curveChecksum(const ksCurveParams* curve, uint32_t* sum);

// The shipped SEC 2 sect163k1 record (checksum 0x07487770).
extern const ksCurveParams kSect163k1Record;

}  // namespace tess::crypto

// Validates a record: 0, 0x608 (none), 0x601 (bad).
TESS_API ksErrorCode a1579(const ksCurveParams* curve);
// Loads a validated record into the context; 0 or 1.
TESS_API uint32_t a1684(const ksCurveParams* curve, ksGlobalData* gd);
// Curve membership of p for coefficients a, b: flag 1 on the curve, 0 not.
TESS_API uint32_t a1687(ksGlobalData* gd, const ksPoint* p, const ksFieldElement* a, const ksFieldElement* b,
                        uint32_t* flag);
TESS_API ksErrorCode ks_getOID(ksGlobalData* gd, uint32_t* length, const uint8_t** oid);
