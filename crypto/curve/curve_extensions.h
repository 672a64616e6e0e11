// How curve loading and the dispatch reach the prime-field modules, the
// generic binary-field module and the engines A and C to F: lookups by the
// numbers a curve record and the context store.
#pragma once

#include <cstdint>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_record.h"

namespace tess::crypto {

inline constexpr uint32_t kBinaryGenericEngineId = 1921;
inline constexpr uint32_t kPrimeGeneralEngineId = 1930;  // engine C: not exported
inline constexpr uint32_t kPrimeMinus3EngineId = 1927;
inline constexpr uint32_t kMontgomeryEngineId = 1936;
inline constexpr uint32_t kEndomorphismEngineId = 1933;
inline constexpr uint32_t kBinaryGenericFieldId = 3109;

using EngineInitEntry = uint32_t (*)(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);

const ksFieldMethods* extraFieldModuleForId(uint32_t id);
const ksCurveEngine* extraCurveEngineForId(uint32_t id);
EngineInitEntry extraEngineInit(uint32_t id);
// Runs the install entry numbered id; 1 when it is none of these modules.
uint32_t extraInstall(uint32_t id, ksGlobalData* gd, const uint8_t* reduction);
// -1 when neither the record's install entry nor its engine is one of these;
// otherwise 1 when entry, engine, field type and degree belong together.
int extraEntriesMatch(const ksCurveParams* curve);

namespace prime {
extern const ksCurveEngine kPrimeGeneralEngine;
extern const ksCurveEngine kPrimeMinus3Engine;
extern const ksCurveEngine kMontgomeryEngine;
extern const ksCurveEngine kEndomorphismEngine;
uint32_t initPrimeGeneral(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);
// Engine F's scalar split k = (-1)^s1 k1 + (-1)^s2 k2 lambda (mod n) and its
// cube root of unity beta (beta x, y) = lambda (x, y).
uint32_t endoSplit(ksGlobalData* gd, const ksInt* k, ksIntReduced* k1, uint32_t* s1, ksIntReduced* k2, uint32_t* s2);
const ksFieldElement* endoBeta(ksGlobalData* gd);
}  // namespace prime

extern const ksCurveEngine kBinaryGenericEngine;
const ksFieldMethods* binaryGenericTable();

}  // namespace tess::crypto

// Engine-init entries: engine A (any binary curve), D (a = -3), E (Montgomery
// form, A in the record's extra value 1), F (a = 0 with an order-3
// endomorphism). Each refuses a curve of the wrong shape with 1.
TESS_API uint32_t a1921(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);
TESS_API uint32_t a1927(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);
TESS_API uint32_t a1933(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);
TESS_API uint32_t a1936(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);
// The generic binary-field module's install entry (degree not a multiple of 32).
TESS_API uint32_t a3109(ksGlobalData* gd, const uint8_t* reduction);

// Completes a caller-built record: version, the generic module and engine
// for its field kind, zero extra values, checksum. 0, 0x608 or 0x601.
TESS_API ksErrorCode ks_initializeCurve(ksCurveParams* curve);
// Affine doubling of the endomorphism engine (a = 0).
TESS_API uint32_t a1990(ksGlobalData* gd, const ksPoint* p, ksPoint* r);
