// Engines C (any a) and D (a = -3): Jacobian windowed NAF for arbitrary
// points, the six-row comb for the base point.
#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/internal.h"
#include "crypto/curve/prime_curve_ops.h"
#include "crypto/field/prime_field_ops.h"
#include "crypto/curve/prime_mont_curve.h"
#include "crypto/wipe.h"

using namespace tess::crypto::mp;

namespace tess::crypto::prime {
namespace {

uint32_t combBitsOrder(const ksGlobalData* gd) { return orderBits(gd); }

// k P by the windowed NAF, left in Jacobian form (Z = 0 for infinity).
template <JacDouble Dbl>
uint32_t windowedJacobian(ksGlobalData* gd, const FieldOps& f, const Naf& naf, const ksPoint* p, Jacobian* q) {
    *q = Jacobian{};
    const int top = naf.top();
    if (top < 0 || isInfinity(gd, p)) {
        f.zero(q->Z);
        return 0;
    }
    alignas(32) WindowTable table;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = buildWindowTable(gd, p, &table, Dbl);
    Window w;
    windowStart(&w, naf.digit(uint32_t(top)));
    auto addValue = [&](int v) {
        if (v != 0) rc |= jacAdd(gd, &table[v], q, q, Dbl);
    };
    for (int i = top - 1; i >= 0; --i) {
        rc |= Dbl(gd, q, q);
        addValue(windowStep(&w, naf.digit(uint32_t(i))));
    }
    addValue(w.v);
    return rc;
}

// k P with the engine's doubling; R's table reference is left as it was.
template <JacDouble Dbl>
uint32_t multiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    Naf naf;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = nafOfScalar(gd, k, &naf);
    const int top = naf.top();
    if (top < 0 || isInfinity(gd, p)) {
        f.zero(r->x);
        f.zero(r->y);
        return rc;
    }
    if (p->table != nullptr) {
        ksIntReduced reduced;
        WipeOnExit<ksIntReduced> wipe(reduced);
        CombRecord comb;
        rc |= mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
        rc |= ecCombColumns(orderBits(gd), asInt(&reduced), &comb);
        const void* saved = r->table;
        rc |= ecCombEvaluate(gd, p->table, &comb, r, Dbl);
        r->table = saved;
        return rc;
    }
    if (montActive(gd, Dbl)) return rc | montMultiply(gd, naf, p, r);
    alignas(32) Jacobian q;
    rc |= windowedJacobian<Dbl>(gd, f, naf, p, &q);
    return rc | jacToAffine(gd, &q, r);
}

template <JacDouble Dbl>
uint32_t multiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x) {
    ksPoint r{};
    const uint32_t rc = multiply<Dbl>(gd, k, p, &r);
    *x = r.x;
    return rc;
}

// u P + v Q over one doubling chain; with Affine the window tables are made
// affine with one shared inversion and every addition is a mixed one.
template <JacDouble Dbl, bool Affine>
uint32_t twinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                       ksFieldElement* x) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    if (montActive(gd, Dbl) && q->table == nullptr) {
        Naf nu, nv;
        rc |= nafOfScalar(gd, u, &nu);
        rc |= nafOfScalar(gd, v, &nv);
        const bool withP = nu.top() >= 0 && !isInfinity(gd, p);
        const bool withQ = nv.top() >= 0 && !isInfinity(gd, q);
        if (p->table == nullptr && withP && withQ) return rc | montTwinX(gd, nu, p, nv, q, x);
        if (p->table == nullptr) return rc | (withP ? multiplyX<Dbl>(gd, u, p, x) : multiplyX<Dbl>(gd, v, q, x));
        // u P by the comb, v Q by the windowed NAF, one inversion for the sum.
        ksIntReduced reduced;
        WipeOnExit<ksIntReduced> wipeReduced(reduced);
        CombRecord comb;
        WipeOnExit<CombRecord> wipeComb(comb);
        if (withP) {
            rc |= mpMod(u, asInt(&layoutOf(gd)->order), &reduced);
            rc |= ecCombColumns(orderBits(gd), asInt(&reduced), &comb);
        }
        return rc | montCombPlusMultipleX(gd, p->table, withP ? &comb : nullptr, withQ ? &nv : nullptr, q, x);
    }
    if (p->table != nullptr && q->table == nullptr) {
        // Only the sum is made affine: one inversion instead of three.
        ksPoint r1{};
        rc |= multiply<Dbl>(gd, u, p, &r1);
        Naf nv;
        rc |= nafOfScalar(gd, v, &nv);
        alignas(32) Jacobian acc;
        rc |= windowedJacobian<Dbl>(gd, f, nv, q, &acc);
        if (isInfinity(gd, &r1)) return rc | jacToAffineX(gd, &acc, x);
        if (!f.isZero(acc.Z)) {
            // Equal x (doubling or opposite points) keeps the affine sum's rules.
            ksFieldElement z2{}, u1{};
            f.sqr(acc.Z, z2);
            f.mul(r1.x, z2, u1);
            if (!f.equal(u1, acc.X)) {
                Jacobian a{}, sum{};
                rc |= toJacobian(gd, &r1, &a);
                rc |= jacAddAffine(gd, &a, &acc, &sum, Dbl);
                return rc | jacToAffineX(gd, &sum, x);
            }
        }
        ksPoint r2{}, r{};
        rc |= jacToAffine(gd, &acc, &r2);
        rc |= ecPrimeAdd(gd, &r1, &r2, &r);
        *x = r.x;
        return rc;
    }
    if (p->table != nullptr || q->table != nullptr) {
        ksPoint r1{}, r2{}, r{};
        rc |= multiply<Dbl>(gd, u, p, &r1);
        rc |= multiply<Dbl>(gd, v, q, &r2);
        rc |= ecPrimeAdd(gd, &r1, &r2, &r);
        *x = r.x;
        return rc;
    }
    Naf nu, nv;
    rc |= nafOfScalar(gd, u, &nu);
    rc |= nafOfScalar(gd, v, &nv);
    if (nu.top() < 0 || isInfinity(gd, p)) return rc | multiplyX<Dbl>(gd, v, q, x);
    if (nv.top() < 0 || isInfinity(gd, q)) return rc | multiplyX<Dbl>(gd, u, p, x);
    alignas(32) WindowTable tp, tq;
    rc |= buildWindowTable(gd, p, &tp, Dbl);
    rc |= buildWindowTable(gd, q, &tq, Dbl);
    if (Affine) rc |= makeTablesAffine(gd, &tp, &tq);
    const int top = nu.top() > nv.top() ? nu.top() : nv.top();
    alignas(32) Jacobian acc{};
    Window wu, wv;
    windowStart(&wu, nu.digit(uint32_t(top)));
    windowStart(&wv, nv.digit(uint32_t(top)));
    auto addValue = [&](const WindowTable& t, int value) {
        if (value == 0) return;
        if (Affine)
            rc |= jacAddAffine(gd, &t[value], &acc, &acc, Dbl);
        else
            rc |= jacAdd(gd, &t[value], &acc, &acc, Dbl);
    };
    for (int i = top - 1; i >= 0; --i) {
        rc |= Dbl(gd, &acc, &acc);
        addValue(tp, windowStep(&wu, nu.digit(uint32_t(i))));
        addValue(tq, windowStep(&wv, nv.digit(uint32_t(i))));
    }
    addValue(tp, wu.v);
    addValue(tq, wv.v);
    return rc | jacToAffineX(gd, &acc, x);
}

uint32_t precompute(ksGlobalData* gd, const ksPoint* p) {
    if (p->table == nullptr) return 0;
    return ecCombPrecompute(gd, orderBits(gd), p, ecPrimeAdd, ecPrimeDouble);
}

template <JacDouble Dbl>
constexpr EngineOps kOps = {Dbl, ecPrimeAdd, ecPrimeDouble, multiply<Dbl>, precompute, combBitsOrder, true, false};

template <JacDouble Dbl>
uint32_t base(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    return baseMultiply(gd, kOps<Dbl>, plain, k, r);
}

template <JacDouble Dbl, bool Affine>
constexpr ksCurveEngine engine = {
    ecPrimeAdd, ecPrimeDouble,   multiply<Dbl>, multiplyX<Dbl>,    twinMultiplyX<Dbl, Affine>,
    base<Dbl>,  prime::heapSize, precompute,    ecPrimeIsInfinity,
};

template <JacDouble Dbl>
uint32_t init(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId, uint32_t id) {
    *engineId = id;
    if (gd == nullptr || heap == nullptr) return 0;
    return precomputeAndBlind(gd, heap, kOps<Dbl>, base<Dbl>);
}

}  // namespace

const ksCurveEngine kPrimeGeneralEngine = engine<jacDouble, false>;
const ksCurveEngine kPrimeMinus3Engine = engine<jacDoubleMinus3, true>;

uint32_t initPrimeGeneral(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    return init<jacDouble>(gd, heap, engineId, kPrimeGeneralEngineId);
}

}  // namespace tess::crypto::prime

uint32_t tess::crypto::primeJacobianEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    using namespace tess::crypto;
    *engineId = kPrimeMinus3EngineId;
    if (gd == nullptr) return 0;
    // The a = -3 doubling is only right on such curves.
    FieldOps f(gd);
    if (!f.ok()) return 1;
    ksFieldElement one{}, sum{};
    f.one(one);
    f.add(one, one, sum);
    f.add(sum, one, sum);
    f.add(sum, layoutOf(gd)->a, sum);
    if (!f.isZero(sum)) return 1;
    return prime::init<prime::jacDoubleMinus3>(gd, heap, engineId, kPrimeMinus3EngineId);
}

uint32_t a1927(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    return tess::crypto::primeJacobianEngineInit(gd, heap, engineId);
}
