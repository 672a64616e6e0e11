#pragma once
// The steps a curve record adds to ks_dataSize, ks_heapSize and
// ks_initialize, provided by the curve sources.
#include <cstdint>

#include "crypto/kestrel.h"

namespace tess::crypto {

// Validates a record: 0, 0x608 (no record), 0x601 (bad record) or 3.
ksErrorCode curveValidate(const ksCurveParams* curve);
// The work-area size the record's engine needs; 0, or non-zero on failure.
uint32_t curveHeapSize(const ksCurveParams* curve, uint32_t* size);
// Loads the record into the context (field module installed); 0 or 1.
uint32_t curveLoad(const ksCurveParams* curve, ksGlobalData* gd);
// Runs the record's engine-init entry on the context and work area (which
// precomputes the base point's table and blinding pair when there is one); 0 or 1.
uint32_t curveEngineInit(const ksCurveParams* curve, ksGlobalData* gd, ksHeap* heap);
// Whether the context's base point lies on its curve (flag 1 = yes); 0 or 1.
uint32_t curveBasePointCheck(ksGlobalData* gd, uint32_t* onCurve);

}  // namespace tess::crypto
