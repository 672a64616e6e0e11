// The curve engine: nine point operations a curve record's engine installs
// in the library context, the dispatch entries the protocols call, and the
// building blocks the binary engines share.
#pragma once

#include <cstdint>

#include "crypto/field/field_element.h"
#include "crypto/mp/mp_int.h"

struct ksCurveEngine {
    uint32_t (*pointAdd)(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r);
    uint32_t (*pointDouble)(ksGlobalData* gd, const ksPoint* p, ksPoint* r);
    uint32_t (*multiply)(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r);
    uint32_t (*multiplyX)(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x);
    uint32_t (*twinMultiplyX)(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                              ksFieldElement* x);
    // plain 0: fresh pair, k is a seed and comes back as the scalar of r.
    uint32_t (*baseMultiply)(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r);
    uint32_t (*heapSize)(uint32_t m, uint32_t* size);
    uint32_t (*precompute)(ksGlobalData* gd, const ksPoint* p);
    // flag 0 when p is the point at infinity, else 1.
    uint32_t (*isInfinity)(ksGlobalData* gd, const ksPoint* p, uint32_t* flag);
};

namespace tess::crypto {

// The engine the context's curve installed (by its init entry's number), or null.
const ksCurveEngine* curveEngineOf(const ksGlobalData* gd);
const ksCurveEngine* curveEngineForId(uint32_t id);

uint32_t ecMultiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x);
uint32_t ecTwinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                         ksFieldElement* x);
uint32_t ecIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag);

// Affine operations on y^2 + xy = x^3 + ax^2 + b; any point with x = 0 is
// the point at infinity.
uint32_t ecBinaryAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r);
uint32_t ecBinaryDouble(ksGlobalData* gd, const ksPoint* p, ksPoint* r);
uint32_t ecBinaryIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag);

// A comb recoding: column count d, then the columns.
struct CombRecord {
    uint32_t count;
    uint32_t columns[43];
};

// Keeps `keep` of the comb's columns, chosen by the random bytes r (one per
// column), and zeroes the others. marks is the picker's mark capacity.
uint32_t ecPickColumns(uint32_t keep, const uint8_t* r, CombRecord* comb);
uint32_t ecPickTauColumns(uint32_t keep, const uint8_t* r, CombRecord* comb);

// The six-row comb of a scalar for B-bit scalars: d = (B - 1)/6 + 1 columns,
// bit i of column j is scalar bit i d + j; count 0 for k = 0.
uint32_t ecCombColumns(uint32_t bits, const ksInt* k, CombRecord* comb);
// The scalar a six-row comb stands for (at most 256 bits).
uint32_t ecCombToInteger(const CombRecord* comb, ksIntReduced* k);
// Fills the six-row comb table of p for B-bit scalars: 8 blocks of 63 points,
// entry 63 j + v - 1 = sum over the bits i of v of 2^(i d + j r) p, with the
// engine's affine doubling and addition.
using AffineAdd = uint32_t (*)(ksGlobalData*, const ksPoint*, const ksPoint*, ksPoint*);
using AffineDouble = uint32_t (*)(ksGlobalData*, const ksPoint*, ksPoint*);
uint32_t ecCombPrecompute(ksGlobalData* gd, uint32_t bits, const ksPoint* p, AffineAdd add, AffineDouble dbl);

// Square root of a modulo an odd prime p of at most 16 digits; flag 1 when
// found (root written), 0 when a is not a square.
uint32_t mpModSqrt(const ksInt* a, const ksInt* p, ksIntReduced* root, uint32_t* flag);

}  // namespace tess::crypto

TESS_API uint32_t a1939(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r);
TESS_API uint32_t a1993(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r);
TESS_API uint32_t a1996(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r);
