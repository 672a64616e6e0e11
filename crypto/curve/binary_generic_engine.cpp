// Engine A: any binary curve y^2 + xy = x^3 + ax^2 + b. Arbitrary points go
// through the x-only Montgomery ladder in Lopez-Dahab form with y recovered
// at the end; the base point uses the six-row comb of 8 blocks.
#include <cstring>

#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/internal.h"
#include "crypto/curve/prime_curve_ops.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/wipe.h"

using namespace tess::crypto::mp;

namespace tess::crypto {
namespace {

struct LdPoint {
    ksFieldElement X, Z;
};

// pb = pa + pb, x the affine x of their difference.
uint32_t binLadderAdd(ksGlobalData* gd, const ksFieldElement& x, const LdPoint& pa, LdPoint* pb) {
    ksFieldElement t1{}, t2{}, t{};
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = fieldMultiply(gd, &pa.X, &pb->Z, &t1);
    rc |= fieldMultiply(gd, &pa.Z, &pb->X, &t2);
    rc |= fieldAdd(gd, &t1, &t2, &pb->X);
    uint32_t zero = 1;
    rc |= fieldIsZero(gd, &pb->X, &zero);
    if (zero == 0) return rc;
    rc |= fieldSquare(gd, &pb->X, &pb->Z);
    rc |= fieldMultiply(gd, &t1, &t2, &t);
    rc |= fieldMultiply(gd, &x, &pb->Z, &t1);
    rc |= fieldAdd(gd, &t, &t1, &pb->X);
    return rc;
}

// X' = X^4 + b Z^4, Z' = X^2 Z^2.
uint32_t binLadderDouble(ksGlobalData* gd, LdPoint* p) {
    ksFieldElement t{};
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = fieldSquare(gd, &p->X, &p->X);
    rc |= fieldSquare(gd, &p->Z, &p->Z);
    rc |= fieldSquare(gd, &p->Z, &t);
    rc |= fieldMultiply(gd, &p->X, &p->Z, &p->Z);
    rc |= fieldMultiply(gd, &layoutOf(gd)->b, &t, &t);
    rc |= fieldSquare(gd, &p->X, &p->X);
    rc |= fieldAdd(gd, &p->X, &t, &p->X);
    return rc;
}

// p1 = k P, p2 = (k + 1) P; k has `bits` bits, at least 1.
uint32_t binLadder(ksGlobalData* gd, const ksInt* k, uint32_t bits, const ksFieldElement& x, LdPoint* p1, LdPoint* p2) {
    p1->X = x;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = fieldSetOne(gd, &p1->Z);
    *p2 = *p1;
    rc |= binLadderDouble(gd, p2);
    for (uint32_t i = bits - 1; i-- > 0;) {
        uint32_t bit = 0;
        rc |= mpTestBit(k, i, &bit);
        if (bit) {
            rc |= binLadderAdd(gd, x, *p2, p1);
            rc |= binLadderDouble(gd, p2);
        } else {
            rc |= binLadderAdd(gd, x, *p1, p2);
            rc |= binLadderDouble(gd, p1);
        }
    }
    return rc;
}

uint32_t binCombEvaluate(ksGlobalData* gd, const void* table, const CombRecord* comb, ksPoint* r) {
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = fieldSetZero(gd, &r->x) | fieldSetZero(gd, &r->y);
    r->table = nullptr;
    const uint32_t d = comb->count > 43 ? 43 : comb->count;
    if (d == 0) return rc;
    const uint32_t w = fieldWords(layoutOf(gd)->fieldBits);
    const uint32_t e = (d - 1) / 8 + 1;
    const uint32_t* words = static_cast<const uint32_t*>(table);
    for (uint32_t i = e; i-- > 0;) {
        rc |= ecBinaryDouble(gd, r, r);
        for (uint32_t b = 8; b-- > 0;) {
            const uint32_t c = i + b * e;
            if (c >= d || comb->columns[c] == 0) continue;
            ksPoint t{};
            const uint32_t* entry = words + size_t(63 * b + comb->columns[c] - 1) * 2 * w;
            std::memcpy(t.x.words, entry, w * 4);
            std::memcpy(t.y.words, entry + w, w * 4);
            rc |= ecBinaryAdd(gd, r, &t, r);
        }
    }
    return rc;
}

uint32_t combOf(ksGlobalData* gd, const ksInt* k, CombRecord* comb) {
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    if (const uint32_t step = mpMod(k, asInt(&layoutOf(gd)->order), &reduced)) return step;
    return ecCombColumns(layoutOf(gd)->fieldBits, asInt(&reduced), comb);
}

bool xIsZero(ksGlobalData* gd, const ksPoint* p) {
    uint32_t zero = 1;
    fieldIsZero(gd, &p->x, &zero);
    return zero == 0;
}

uint32_t binMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    if (xIsZero(gd, p)) return fieldSetZero(gd, &r->x);
    if (p->table != nullptr) {
        CombRecord comb;
        // Accumulated, not returned early: these steps may run on a secret scalar or on points
        // derived from one, and a failure must not end them at a point that depends on it.
        uint32_t rc = combOf(gd, k, &comb);
        return rc | binCombEvaluate(gd, p->table, &comb, r);
    }
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    uint32_t rc = mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
    uint32_t bits = 0;
    rc |= mpBitLength(asInt(&reduced), &bits);
    if (bits == 0) return rc | fieldSetZero(gd, &r->x);
    const ksFieldElement x = p->x, y = p->y;
    LdPoint p1{}, p2{};
    rc |= binLadder(gd, asInt(&reduced), bits, x, &p1, &p2);
    uint32_t zero = 1;
    rc |= fieldIsZero(gd, &p2.X, &zero);
    if (zero == 0) {
        // (k + 1) P is infinity: k P = -P.
        r->x = x;
        return rc | fieldAdd(gd, &x, &y, &r->y);
    }
    ksFieldElement t1{}, t2{}, xk{}, u{}, v{}, s{};
    rc |= fieldMultiply(gd, &x, &p2.Z, &t1);
    rc |= fieldMultiply(gd, &p1.Z, &t1, &t2);
    rc |= fieldInvert(gd, &t2, &t2);
    rc |= fieldMultiply(gd, &t2, &t1, &t1);  // 1 / Z1
    rc |= fieldMultiply(gd, &p1.X, &t1, &xk);
    rc |= fieldMultiply(gd, &t2, &p1.Z, &u);  // 1 / (x Z2)
    rc |= fieldAdd(gd, &x, &xk, &s);
    rc |= fieldMultiply(gd, &p2.X, &s, &v);
    rc |= fieldMultiply(gd, &y, &p2.Z, &t1);
    rc |= fieldAdd(gd, &v, &t1, &v);
    rc |= fieldMultiply(gd, &u, &v, &t1);
    rc |= fieldAdd(gd, &t1, &xk, &t1);
    rc |= fieldMultiply(gd, &s, &t1, &t1);
    rc |= fieldAdd(gd, &t1, &y, &r->y);
    r->x = xk;
    return rc;
}

uint32_t binMultiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x) {
    if (xIsZero(gd, p)) return fieldSetZero(gd, x);
    if (p->table != nullptr) {
        ksPoint r{};
        const uint32_t rc = binMultiply(gd, k, p, &r);
        *x = r.x;
        return rc;
    }
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
    uint32_t bits = 0;
    rc |= mpBitLength(asInt(&reduced), &bits);
    if (bits == 0) return rc | fieldSetZero(gd, x);
    LdPoint p1{}, p2{};
    rc |= binLadder(gd, asInt(&reduced), bits, p->x, &p1, &p2);
    ksFieldElement zi{};
    rc |= fieldInvert(gd, &p1.Z, &zi);
    return rc | fieldMultiply(gd, &p1.X, &zi, x);
}

uint32_t binTwinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                          ksFieldElement* x) {
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    if (q->table != nullptr) {
        ksPoint r1{}, r2{}, r{};
        rc |= binMultiply(gd, u, p, &r1);
        rc |= binMultiply(gd, v, q, &r2);
        rc |= ecBinaryAdd(gd, &r1, &r2, &r);
        *x = r.x;
        return rc;
    }
    // u P + v Q = v (u/v P + Q).
    const ksIntReduced& n = layoutOf(gd)->order;
    ksIntReduced w;
    uint32_t invertible = 0;
    rc |= mpModInverse(v, asInt(&n), &w, &invertible);
    if (invertible == 0) return 1;
    rc |= tess::crypto::mp::mpModMultiply(u, asInt(&w), asInt(&n), &w);
    ksPoint t{};
    rc |= binMultiply(gd, asInt(&w), p, &t);
    rc |= ecBinaryAdd(gd, &t, q, &t);
    return rc | binMultiplyX(gd, v, &t, x);
}

uint32_t binPrecompute(ksGlobalData* gd, const ksPoint* p) {
    if (p->table == nullptr) return 0;
    return ecCombPrecompute(gd, layoutOf(gd)->fieldBits, p, ecBinaryAdd, ecBinaryDouble);
}

uint32_t binBaseMultiply(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    GlobalDataLayout* l = layoutOf(gd);
    if (k->count == 0) return fieldSetZero(gd, &r->x);
    if (l->g.table == nullptr) return binMultiply(gd, asInt(k), &l->g, r);
    CombRecord comb;
    WipeOnExit<CombRecord> wipeComb(comb);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = combOf(gd, asInt(k), &comb);
    if (plain == 0) {
        uint8_t random[43];
        WipeOnExit<uint8_t[43]> wipeRandom(random);
        rc |= tess::crypto::rngBytes(gd, 32, random);
        rc |= tess::crypto::rngBytes(gd, 11, random + 32);
        rc |= ecPickColumns(l->fieldBits / 17 + 1, random, &comb);
        rc |= ecCombToInteger(&comb, k);
    }
    rc |= binCombEvaluate(gd, l->g.table, &comb, r);
    if (plain == 0) {
        rc |= tess::crypto::mp::mpModAdd(asInt(k), asInt(&l->blindScalar), asInt(&l->order), k);
        rc |= ecBinaryAdd(gd, r, &l->blindPoint, r);
    }
    return rc;
}

uint32_t binHeapSize(uint32_t m, uint32_t* size) {
    *size = fieldWords(m) * 4032;
    return 0;
}

// What the shared initialisation needs: the table and the plain multiply.
constexpr prime::EngineOps kBinaryOps = {nullptr,       ecBinaryAdd, ecBinaryDouble, binMultiply,
                                         binPrecompute, nullptr,     false,          false};

}  // namespace

const ksCurveEngine kBinaryGenericEngine = {
    ecBinaryAdd,     ecBinaryDouble, binMultiply,   binMultiplyX,       binTwinMultiplyX,
    binBaseMultiply, binHeapSize,    binPrecompute, ecBinaryIsInfinity,
};

}  // namespace tess::crypto

uint32_t tess::crypto::binaryGenericEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    using namespace tess::crypto;
    *engineId = kBinaryGenericEngineId;
    if (gd == nullptr || heap == nullptr) return 0;
    return prime::precomputeAndBlind(gd, heap, kBinaryOps, binBaseMultiply);
}

uint32_t a1921(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    return tess::crypto::binaryGenericEngineInit(gd, heap, engineId);
}
