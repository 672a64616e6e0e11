// Building blocks of the prime-curve engines (y^2 = x^3 + ax + b): affine
// and Jacobian point arithmetic, the NAF recoding and its signed windows, the
// six-row comb evaluation, the fresh-pair base multiplication and the shared
// engine initialisation. The point at infinity is x = y = 0 (affine) or
// Z = 0 (Jacobian).
#pragma once

#include <cstdint>

#include "crypto/curve/curve_engine.h"

namespace tess::crypto::prime {

struct Jacobian {
    ksFieldElement X, Y, Z;
};

using JacDouble = uint32_t (*)(ksGlobalData*, const Jacobian*, Jacobian*);

// Affine operations; the adding form takes the engine's doubling for P = Q.
uint32_t ecPrimeAddWith(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r, AffineDouble dbl);
uint32_t ecPrimeAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r);
uint32_t ecPrimeDouble(ksGlobalData* gd, const ksPoint* p, ksPoint* r);
uint32_t ecPrimeDoubleZeroA(ksGlobalData* gd, const ksPoint* p, ksPoint* r);
uint32_t ecPrimeIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag);
bool isInfinity(ksGlobalData* gd, const ksPoint* p);

// Jacobian doublings: any a, a = -3, a = 0.
uint32_t jacDouble(ksGlobalData* gd, const Jacobian* p, Jacobian* r);
uint32_t jacDoubleMinus3(ksGlobalData* gd, const Jacobian* p, Jacobian* r);
uint32_t jacDoubleZeroA(ksGlobalData* gd, const Jacobian* p, Jacobian* r);
// r = p1 + p2 (r may be p2); r = a + q with a affine (Z = 1; r may be q).
uint32_t jacAdd(ksGlobalData* gd, const Jacobian* p1, const Jacobian* p2, Jacobian* r, JacDouble dbl);
uint32_t jacAddAffine(ksGlobalData* gd, const Jacobian* a, const Jacobian* q, Jacobian* r, JacDouble dbl);
// To affine x, y (infinity gives 0, 0); the table reference is not touched.
uint32_t jacToAffine(ksGlobalData* gd, const Jacobian* q, ksPoint* r);
uint32_t jacToAffineX(ksGlobalData* gd, const Jacobian* q, ksFieldElement* x);
uint32_t toJacobian(ksGlobalData* gd, const ksPoint* p, Jacobian* r);

// Non-adjacent form: 272 two-bit cells (00 = 0, 01 = +1, 11 = -1).
struct Naf {
    uint32_t words[17];
    int digit(uint32_t i) const {
        const uint32_t cell = (words[i / 16] >> (2 * (i % 16))) & 3;
        return cell == 1 ? 1 : (cell == 3 ? -1 : 0);
    }
    // Index of the highest non-zero cell, -1 when all are zero.
    int top() const;
};
// 1 (record zeroed) for a scalar of more than 271 bits, which would not fit.
uint32_t ecNafRecode(const ksInt* k, Naf* naf);
// NAF of k, or of k mod n when k is too long for the record.
uint32_t nafOfScalar(ksGlobalData* gd, const ksInt* k, Naf* naf);

// The window table of one point: multiples -9..9 without 0 and +-6.
struct WindowTable {
    Jacobian entry[16];
    const Jacobian& operator[](int v) const { return entry[slotOf(v)]; }
    static int slotOf(int v) {
        static constexpr int8_t slot[19] = {0, 1, 2, -1, 3, 4, 5, 6, 7, -1, 8, 9, 10, 11, 12, -1, 13, 14, 15};
        return slot[v + 9];
    }
};
// Builds the table of affine p with the engine's doubling; with affine set,
// the positive entries are made affine with one shared inversion (also over
// the second table when one is given).
uint32_t buildWindowTable(ksGlobalData* gd, const ksPoint* p, WindowTable* t, JacDouble dbl);
uint32_t makeTablesAffine(ksGlobalData* gd, WindowTable* t1, WindowTable* t2);

// One NAF stream's signed window.
struct Window {
    int v = 0;
    int c = 0;
};
// Applies the window rule for one digit after the accumulator's doubling;
// returns the value to add (0 for none).
int windowStep(Window* w, int digit);
inline int windowStart(Window* w, int digit) {
    w->v = digit;
    w->c = digit != 0 ? 1 : 0;
    return 0;
}

// Comb evaluation over a caller's column record: r rows of doublings, one
// mixed addition per non-zero column with G's compact table; plus the
// affine point extra when given (not at infinity), before the one conversion
// to affine.
uint32_t ecCombEvaluate(ksGlobalData* gd, const void* table, const CombRecord* comb, ksPoint* r, JacDouble dbl,
                        const ksPoint* extra = nullptr);

// The operations a prime engine plugs into the shared fresh-pair steps.
struct EngineOps {
    JacDouble jacDbl;
    AffineAdd add;
    AffineDouble dbl;
    uint32_t (*multiply)(ksGlobalData*, const ksInt*, const ksPoint*, ksPoint*);
    uint32_t (*precompute)(ksGlobalData*, const ksPoint*);
    uint32_t (*combBits)(const ksGlobalData*);  // the comb's scalar bit count
    bool reduceInPlace;                         // k replaced by k mod n even with flag 1
    bool clearTable;                            // comb results carry no table reference
};

uint32_t baseMultiply(ksGlobalData* gd, const EngineOps& ops, uint32_t plain, ksIntReduced* k, ksPoint* r);
// Engine-init steps with a heap: G's table and the blinding pair.
uint32_t precomputeAndBlind(ksGlobalData* gd, ksHeap* heap, const EngineOps& ops,
                            uint32_t (*base)(ksGlobalData*, uint32_t, ksIntReduced*, ksPoint*));
uint32_t orderBits(const ksGlobalData* gd);
uint32_t heapSize(uint32_t m, uint32_t* size);

}  // namespace tess::crypto::prime
