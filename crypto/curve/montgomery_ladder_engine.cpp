// Engine E: prime curves that also have a Montgomery form y^2 = x^3 + Ax^2 + x
// (x_Weierstrass = x_Montgomery + A/3). Arbitrary points go through the
// x-only ladder with the y-coordinate recovered at the end; the base point
// uses the six-row comb over the field's bit count.
#include <cstring>

#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/internal.h"
#include "crypto/curve/prime_curve_ops.h"
#include "crypto/field/prime_field_ops.h"
#include "crypto/mp/internal.h"
#include "crypto/wipe.h"

using namespace tess::crypto::mp;

namespace tess::crypto::prime {
namespace {

struct LadderConstants {
    ksFieldElement shift;     // A / 3
    ksFieldElement constant;  // (A + 2) / 4
};
static_assert(sizeof(LadderConstants) <= sizeof(GlobalDataLayout::engineArea));

LadderConstants* constantsOf(ksGlobalData* gd) { return reinterpret_cast<LadderConstants*>(layoutOf(gd)->engineArea); }

struct LadderPoint {
    ksFieldElement X, Z;
};

void ladderDouble(const FieldOps& f, const ksFieldElement& c, LadderPoint* p) {
    ksFieldElement t1{}, t2{};
    f.add(p->X, p->Z, t1);
    f.sub(p->X, p->Z, t2);
    f.sqr(t1, p->X);
    f.sqr(t2, p->Z);
    f.sub(p->X, p->Z, t2);
    f.mul(p->X, p->Z, p->X);
    f.mul(t2, c, t1);
    f.add(p->Z, t1, p->Z);
    f.mul(t2, p->Z, p->Z);
}

// v = u + v, x the Montgomery x of their difference.
void ladderAdd(const FieldOps& f, const ksFieldElement& x, const LadderPoint* u, LadderPoint* v) {
    ksFieldElement t1{}, t2{};
    f.sub(v->X, v->Z, t1);
    f.add(v->X, v->Z, v->X);
    v->Z = t1;
    f.add(u->X, u->Z, t2);
    f.sub(u->X, u->Z, t1);
    f.mul(v->Z, t2, t2);
    f.mul(v->X, t1, t1);
    f.add(t2, t1, v->X);
    if (f.isZero(v->X)) return;
    f.sqr(v->X, v->X);
    f.sub(t2, t1, t1);
    f.sqr(t1, t1);
    f.mul(x, t1, v->Z);
}

// p1 = k' P, p2 = (k' + 1) P for the Montgomery x of P.
uint32_t ladder(ksGlobalData* gd, const FieldOps& f, const ksInt* k, const ksFieldElement& x, LadderPoint* p1,
                LadderPoint* p2) {
    const ksFieldElement& c = constantsOf(gd)->constant;
    uint32_t bits = 0;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpBitLength(k, &bits);
    if (bits == 0) return 1;
    p1->X = x;
    f.one(p1->Z);
    *p2 = *p1;
    ladderDouble(f, c, p2);
    for (uint32_t i = bits - 1; i-- > 0;) {
        uint32_t bit = 0;
        rc |= mpTestBit(k, i, &bit);
        if (bit) {
            ladderAdd(f, x, p2, p1);
            ladderDouble(f, c, p2);
        } else {
            ladderAdd(f, x, p1, p2);
            ladderDouble(f, c, p1);
        }
    }
    return rc;
}

uint32_t ladderMultiplyX(ksGlobalData* gd, const ksInt* k, const ksFieldElement& x, ksFieldElement* out) {
    FieldOps f(gd);
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
    if (reduced.count == 0 || f.isZero(x)) {
        f.zero(*out);
        return rc;
    }
    LadderPoint p1{}, p2{};
    rc |= ladder(gd, f, asInt(&reduced), x, &p1, &p2);
    rc |= f.inv(p1.Z, p1.Z);
    f.mul(p1.X, p1.Z, *out);
    return rc;
}

// r = k P in Montgomery coordinates; r may be p.
uint32_t ladderMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    FieldOps f(gd);
    const ksPoint in = *p;
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
    if (reduced.count == 0 || f.isZero(in.x)) {
        f.zero(r->x);
        f.zero(r->y);
        return rc;
    }
    LadderPoint p1{}, p2{};
    rc |= ladder(gd, f, asInt(&reduced), in.x, &p1, &p2);
    if (f.isZero(p2.Z)) {
        r->x = in.x;
        f.neg(in.y, r->y);
        return rc;
    }
    const ksFieldElement& A = layoutOf(gd)->extra1;
    ksFieldElement t1{}, t2{}, x1{}, zi{};
    f.mul(in.y, p2.Z, t1);
    f.add(t1, t1, t1);
    f.mul(t1, p1.Z, t2);
    rc |= f.inv(t2, t2);
    f.mul(t2, t1, t1);    // 1 / Z1
    f.mul(p1.X, t1, x1);  // x1
    f.mul(t2, p1.Z, zi);  // 1 / (2 y Z2)
    f.add(in.x, x1, t1);
    f.add(t1, A, t2);
    f.add(t2, A, t2);
    f.mul(in.x, t2, t2);
    f.mul(x1, t2, t2);
    f.add(t2, t1, t1);
    f.mul(p2.Z, t1, t1);
    f.sub(in.x, x1, t2);
    f.sqr(t2, t2);
    f.mul(p2.X, t2, t2);
    f.sub(t1, t2, t1);
    f.mul(zi, t1, r->y);
    r->x = x1;
    return rc;
}

uint32_t combFromScalar(ksGlobalData* gd, const ksInt* k, CombRecord* comb) {
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    if (const uint32_t step = mpMod(k, asInt(&layoutOf(gd)->order), &reduced)) return step;
    return ecCombColumns(layoutOf(gd)->fieldBits, asInt(&reduced), comb);
}

uint32_t montMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    *r = *p;
    if (f.isZero(p->y)) return 0;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    if (p->table != nullptr) {
        CombRecord comb;
        rc |= combFromScalar(gd, k, &comb);
        rc |= ecCombEvaluate(gd, p->table, &comb, r, jacDouble);
    } else {
        const ksFieldElement& shift = constantsOf(gd)->shift;
        f.sub(r->x, shift, r->x);
        rc |= ladderMultiply(gd, k, r, r);
        if (!f.isZero(r->y)) f.add(r->x, shift, r->x);
    }
    r->table = nullptr;
    return rc;
}

uint32_t montMultiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(p->y)) {
        f.zero(*x);
        return 0;
    }
    if (p->table != nullptr) {
        CombRecord comb;
        ksPoint r{};
        // Accumulated, not returned early: these steps may run on a secret scalar or on points
        // derived from one, and a failure must not end them at a point that depends on it.
        uint32_t rc = combFromScalar(gd, k, &comb);
        rc |= ecCombEvaluate(gd, p->table, &comb, &r, jacDouble);
        *x = r.x;
        return rc;
    }
    const ksFieldElement& shift = constantsOf(gd)->shift;
    ksFieldElement mx{};
    f.sub(p->x, shift, mx);
    const uint32_t rc = ladderMultiplyX(gd, k, mx, x);
    if (!f.isZero(*x)) f.add(*x, shift, *x);
    return rc;
}

uint32_t montTwinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                           ksFieldElement* x) {
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    if (q->table != nullptr) {
        ksPoint r1{}, r2{}, r{};
        rc |= montMultiply(gd, u, p, &r1);
        rc |= montMultiply(gd, v, q, &r2);
        rc |= ecPrimeAdd(gd, &r1, &r2, &r);
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
    rc |= montMultiply(gd, asInt(&w), p, &t);
    rc |= ecPrimeAdd(gd, &t, q, &t);
    return rc | montMultiplyX(gd, v, &t, x);
}

uint32_t montPrecompute(ksGlobalData* gd, const ksPoint* p) {
    if (p->table == nullptr) return 0;
    return ecCombPrecompute(gd, layoutOf(gd)->fieldBits, p, ecPrimeAdd, ecPrimeDouble);
}

uint32_t fieldBitCount(const ksGlobalData* gd) { return layoutOf(gd)->fieldBits; }

constexpr EngineOps kMontOps = {jacDouble,      ecPrimeAdd,    ecPrimeDouble, montMultiply,
                                montPrecompute, fieldBitCount, false,         false};

uint32_t montBaseMultiply(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    return baseMultiply(gd, kMontOps, plain, k, r);
}

// a = 1 - A^2/3 and b = A (2A^2 - 9)/27: the record's two descriptions of
// the curve must agree, or the ladder's points are not the comb's.
bool formsAgree(const FieldOps& f, const GlobalDataLayout* l, const ksFieldElement& shift) {
    ksFieldElement s2{}, t{}, one{}, x{};
    f.one(one);
    f.sqr(shift, s2);  // A^2/9
    f.add(s2, s2, t);
    f.add(t, s2, t);  // A^2/3
    f.sub(one, t, x);
    if (!f.equal(x, l->a)) return false;
    // b = A(2A^2 - 9)/27 = 2 (A/3)^3 - A/3
    f.mul(s2, shift, t);
    f.add(t, t, t);
    f.sub(t, shift, x);
    return f.equal(x, l->b);
}

}  // namespace

const ksCurveEngine kMontgomeryEngine = {
    ecPrimeAdd,       ecPrimeDouble,   montMultiply,   montMultiplyX,     montTwinMultiplyX,
    montBaseMultiply, prime::heapSize, montPrecompute, ecPrimeIsInfinity,
};

uint32_t initMontgomery(ksGlobalData* gd, ksHeap* heap) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    GlobalDataLayout* l = layoutOf(gd);
    LadderConstants* c = constantsOf(gd);
    ksFieldElement t1{}, t2{};
    f.one(t1);
    f.add(t1, t1, t2);
    f.add(t2, l->extra1, c->constant);  // A + 2
    f.add(t1, t2, t1);                  // 3
    if (f.inv(t1, t1) != 0) return 1;
    f.mul(t1, l->extra1, c->shift);
    f.add(t2, t2, t2);  // 4
    if (f.inv(t2, t2) != 0) return 1;
    f.mul(c->constant, t2, c->constant);
    if (!formsAgree(f, l, c->shift)) return 1;
    if (heap == nullptr) return 0;
    return precomputeAndBlind(gd, heap, kMontOps, montBaseMultiply);
}

}  // namespace tess::crypto::prime

uint32_t tess::crypto::montgomeryEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    *engineId = tess::crypto::kMontgomeryEngineId;
    if (gd == nullptr) return 0;
    return tess::crypto::prime::initMontgomery(gd, heap);
}

uint32_t a1936(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    return tess::crypto::montgomeryEngineInit(gd, heap, engineId);
}
