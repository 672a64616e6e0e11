// Engine F: prime curves y^2 = x^3 + b with a cube root of unity beta in the
// field, so that (x, y) -> (beta x, y) is multiplication by lambda. Scalars
// are split into halves k = +-k1 +- k2 lambda (mod n) that share one doubling
// chain; the second half reads the first half's table through the map.
#include <cstring>
#include <initializer_list>

#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/internal.h"
#include "crypto/curve/prime_curve_ops.h"
#include "crypto/field/prime_field_ops.h"
#include "crypto/mp/internal.h"
#include "crypto/wipe.h"

using namespace tess::crypto::mp;

namespace tess::crypto::prime {
namespace {

struct EndoConstants {
    ksFieldElement beta;
    ksIntReduced basis[4];  // a1, b1, a2, b2
};
static_assert(sizeof(EndoConstants) <= sizeof(GlobalDataLayout::engineArea));

EndoConstants* constantsOf(ksGlobalData* gd) { return reinterpret_cast<EndoConstants*>(layoutOf(gd)->engineArea); }

void toReduced(const ksInt* a, ksIntReduced* out) {
    const uint32_t n = a->count < kReducedDigits ? a->count : kReducedDigits;
    std::memset(out, 0, sizeof *out);
    out->count = n;
    std::memcpy(out->digits, a->digits, n * sizeof(uint16_t));
}

struct Split {
    ksIntReduced k1, k2;
    uint32_t s1 = 0, s2 = 0;
};

uint32_t endoDecompose(ksGlobalData* gd, const ksInt* k, Split* out) {
    const GlobalDataLayout* l = layoutOf(gd);
    const ksIntReduced* b = constantsOf(gd)->basis;
    const ksInt* n = asInt(&l->order);
    ksIntReduced kr;
    WipeOnExit<ksIntReduced> wipe(kr);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    if (k->count > kModulusDigits) {
        rc |= mpMod(k, n, &kr);
        k = asInt(&kr);
    }
    ksIntProduct p;
    ksIntGeneral c1, c2, t, u1, u2, x, y;
    WipeOnExit<ksIntGeneral> wipeT(t);
    ksIntReduced rem;
    rc |= mpMultiply(asInt(&b[3]), k, &p);
    rc |= mpDivide(asInt(&p), n, asInt(&c1), &rem);
    rc |= mpMultiply(asInt(&b[1]), k, &p);
    rc |= mpDivide(asInt(&p), n, asInt(&c2), &rem);
    rc |= mpMultiply(asInt(&b[2]), asInt(&c2), &p);
    std::memcpy(&x, &p, sizeof x);
    x.count = p.count > kGeneralDigits ? kGeneralDigits : p.count;
    rc |= mpMultiply(asInt(&b[0]), asInt(&c1), &p);
    std::memcpy(&y, &p, sizeof y);
    y.count = p.count > kGeneralDigits ? kGeneralDigits : p.count;
    rc |= mpAdd(asInt(&x), asInt(&y), asInt(&t));
    uint32_t less = 0;
    rc |= mpLess(k, asInt(&t), &less);
    if (less) {
        rc |= mpSubtract(asInt(&t), k, asInt(&x));
        out->s1 = 1;
    } else {
        rc |= mpSubtract(k, asInt(&t), asInt(&x));
        out->s1 = 0;
    }
    toReduced(asInt(&x), &out->k1);
    rc |= mpMultiply(asInt(&b[3]), asInt(&c2), &p);
    std::memcpy(&u1, &p, sizeof u1);
    u1.count = p.count > kGeneralDigits ? kGeneralDigits : p.count;
    rc |= mpMultiply(asInt(&b[1]), asInt(&c1), &p);
    std::memcpy(&u2, &p, sizeof u2);
    u2.count = p.count > kGeneralDigits ? kGeneralDigits : p.count;
    rc |= mpLess(asInt(&u2), asInt(&u1), &less);
    if (less) {
        rc |= mpSubtract(asInt(&u1), asInt(&u2), asInt(&x));
        out->s2 = 1;
    } else {
        rc |= mpSubtract(asInt(&u2), asInt(&u1), asInt(&x));
        out->s2 = 0;
    }
    toReduced(asInt(&x), &out->k2);
    return rc;
}

uint32_t endoAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r) {
    return ecPrimeAddWith(gd, p, q, r, ecPrimeDoubleZeroA);
}

// Adds t[v] (or its image under the map) to the accumulator. The result is accumulated
// into *rc, not returned early: the caller's scalar may be secret (see endoMultiply).
void addEntry(ksGlobalData* gd, const FieldOps& f, const WindowTable& t, int v, bool mapped, bool negateY,
              Jacobian* acc, uint32_t* rc) {
    if (v == 0) return;
    if (!mapped) {
        *rc |= jacAddAffine(gd, &t[v], acc, acc, jacDoubleZeroA);
        return;
    }
    Jacobian e = t[v];
    f.mul(constantsOf(gd)->beta, e.X, e.X);
    if (negateY) f.neg(e.Y, e.Y);
    *rc |= jacAddAffine(gd, &e, acc, acc, jacDoubleZeroA);
}

uint32_t endoCombEvaluate(ksGlobalData* gd, const void* table, const ksInt* k, ksPoint* r) {
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    CombRecord comb;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
    rc |= ecCombColumns(orderBits(gd), asInt(&reduced), &comb);
    rc |= ecCombEvaluate(gd, table, &comb, r, jacDoubleZeroA);
    r->table = nullptr;
    return rc;
}

// One scalar stream set: a point's table and its two halves.
struct Halves {
    Naf n1, n2;
    Window w1, w2;
    bool negate2 = false;  // the mapped entries take -y
};

uint32_t endoMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(p->y)) {
        *r = *p;
        return 0;
    }
    Split split;
    WipeOnExit<Split> wipeSplit(split);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = endoDecompose(gd, k, &split);
    Halves h;
    rc |= ecNafRecode(asInt(&split.k1), &h.n1);
    rc |= ecNafRecode(asInt(&split.k2), &h.n2);
    const int top = h.n1.top() > h.n2.top() ? h.n1.top() : h.n2.top();
    if (top < 0) {
        f.zero(r->x);
        f.zero(r->y);
        return rc;
    }
    if (p->table != nullptr) return rc | endoCombEvaluate(gd, p->table, k, r);
    ksPoint p1 = *p;
    if (split.s1) f.neg(p1.y, p1.y);
    WindowTable table;
    rc |= buildWindowTable(gd, &p1, &table, jacDoubleZeroA);
    rc |= makeTablesAffine(gd, &table, nullptr);
    h.negate2 = split.s1 != split.s2;
    Jacobian acc{};
    windowStart(&h.w1, h.n1.digit(uint32_t(top)));
    windowStart(&h.w2, h.n2.digit(uint32_t(top)));
    for (int i = top - 1; i >= 0; --i) {
        rc |= jacDoubleZeroA(gd, &acc, &acc);
        addEntry(gd, f, table, windowStep(&h.w1, h.n1.digit(uint32_t(i))), false, false, &acc, &rc);
        addEntry(gd, f, table, windowStep(&h.w2, h.n2.digit(uint32_t(i))), true, h.negate2, &acc, &rc);
    }
    addEntry(gd, f, table, h.w1.v, false, false, &acc, &rc);
    addEntry(gd, f, table, h.w2.v, true, h.negate2, &acc, &rc);
    return rc | jacToAffine(gd, &acc, r);
}

uint32_t endoMultiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x) {
    ksPoint r{};
    const uint32_t rc = endoMultiply(gd, k, p, &r);
    *x = r.x;
    return rc;
}

uint32_t endoTwinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                           ksFieldElement* x) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(p->y)) return endoMultiplyX(gd, v, q, x);
    if (f.isZero(q->y)) return endoMultiplyX(gd, u, p, x);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    if (p->table != nullptr || q->table != nullptr) {
        ksPoint r1{}, r2{}, r{};
        rc |= endoMultiply(gd, u, p, &r1);
        rc |= endoMultiply(gd, v, q, &r2);
        rc |= endoAdd(gd, &r1, &r2, &r);
        *x = r.x;
        return rc;
    }
    Split su, sv;
    WipeOnExit<Split> wipeU(su), wipeV(sv);
    rc |= endoDecompose(gd, u, &su);
    rc |= endoDecompose(gd, v, &sv);
    Halves hp, hq;
    rc |= ecNafRecode(asInt(&su.k1), &hp.n1);
    rc |= ecNafRecode(asInt(&su.k2), &hp.n2);
    rc |= ecNafRecode(asInt(&sv.k1), &hq.n1);
    rc |= ecNafRecode(asInt(&sv.k2), &hq.n2);
    hp.negate2 = su.s1 != su.s2;
    hq.negate2 = sv.s1 != sv.s2;
    ksPoint p1 = *p, q1 = *q;
    if (su.s1) f.neg(p1.y, p1.y);
    if (sv.s1) f.neg(q1.y, q1.y);
    WindowTable tp, tq;
    rc |= buildWindowTable(gd, &p1, &tp, jacDoubleZeroA);
    rc |= buildWindowTable(gd, &q1, &tq, jacDoubleZeroA);
    rc |= makeTablesAffine(gd, &tp, &tq);
    int top = -1;
    for (const Naf* n : {&hp.n1, &hp.n2, &hq.n1, &hq.n2}) top = n->top() > top ? n->top() : top;
    Jacobian acc{};
    if (top >= 0) {
        for (Halves* h : {&hp, &hq}) {
            windowStart(&h->w1, h->n1.digit(uint32_t(top)));
            windowStart(&h->w2, h->n2.digit(uint32_t(top)));
        }
        for (int i = top - 1; i >= 0; --i) {
            rc |= jacDoubleZeroA(gd, &acc, &acc);
            const uint32_t d = uint32_t(i);
            addEntry(gd, f, tp, windowStep(&hp.w1, hp.n1.digit(d)), false, false, &acc, &rc);
            addEntry(gd, f, tp, windowStep(&hp.w2, hp.n2.digit(d)), true, hp.negate2, &acc, &rc);
            addEntry(gd, f, tq, windowStep(&hq.w1, hq.n1.digit(d)), false, false, &acc, &rc);
            addEntry(gd, f, tq, windowStep(&hq.w2, hq.n2.digit(d)), true, hq.negate2, &acc, &rc);
        }
        addEntry(gd, f, tp, hp.w1.v, false, false, &acc, &rc);
        addEntry(gd, f, tp, hp.w2.v, true, hp.negate2, &acc, &rc);
        addEntry(gd, f, tq, hq.w1.v, false, false, &acc, &rc);
        addEntry(gd, f, tq, hq.w2.v, true, hq.negate2, &acc, &rc);
    }
    return rc | jacToAffineX(gd, &acc, x);
}

uint32_t endoPrecompute(ksGlobalData* gd, const ksPoint* p) {
    if (p->table == nullptr) return 0;
    return ecCombPrecompute(gd, orderBits(gd), p, endoAdd, ecPrimeDoubleZeroA);
}

constexpr EngineOps kEndoOps = {jacDoubleZeroA, endoAdd, ecPrimeDoubleZeroA, endoMultiply, endoPrecompute, orderBits,
                                true,           true};

uint32_t endoBaseMultiply(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    return baseMultiply(gd, kEndoOps, plain, k, r);
}

// beta = (-1 + sqrt(-3)) / 2.
uint32_t endoCubeRoot(const FieldOps& f, ksFieldElement* beta) {
    ksFieldElement one{}, t{}, u{};
    f.one(one);
    f.add(one, one, t);
    f.add(one, t, t);
    f.neg(t, u);
    uint32_t noRoot = 1;
    fieldSolveQuadratic(f.gd, &u, &noRoot, &t);
    if (noRoot != 0) {
        *beta = one;
        return 1;
    }
    f.add(t, one, t);
    uint32_t rc = f.inv(t, *beta);  // 2 / (1 + sqrt(-3)) after doubling below
    f.add(*beta, *beta, t);
    f.neg(t, *beta);
    return rc;
}

// lambda = (sqrt(-3) - 1) / 2 mod n.
uint32_t endoEigenvalue(const ksIntReduced& n, ksIntReduced* lambda) {
    ksIntGeneral three, t, one, two;
    mpSetWord(asInt(&three), 3);
    mpSetWord(asInt(&one), 1);
    mpSetWord(asInt(&two), 2);
    if (const uint32_t step = mpSubtract(asInt(&n), asInt(&three), asInt(&t))) return step;
    uint32_t found = 0;
    ksIntReduced root, half;
    if (const uint32_t step = mpModSqrt(asInt(&t), asInt(&n), &root, &found)) return step;
    if (found != 1) return 1;
    if (const uint32_t step = mpModSubtract(asInt(&root), asInt(&one), asInt(&n), &root)) return step;
    if (const uint32_t step = mpModInverse(asInt(&two), asInt(&n), &half, &found)) return step;
    if (found != 1) return 1;
    return tess::crypto::mp::mpModMultiply(asInt(&root), asInt(&half), asInt(&n), lambda);
}

// The short basis from the extended Euclid on n and lambda.
uint32_t endoBasis(const ksIntReduced& n, const ksIntReduced& lambda, ksIntReduced* basis) {
    ksIntGeneral r0, r1, t0, t1, q, t;
    ksIntReduced rem;
    ksIntProduct p;
    std::memset(&r0, 0, sizeof r0);
    std::memcpy(&r0, &n, sizeof n);
    std::memset(&r1, 0, sizeof r1);
    std::memcpy(&r1, &lambda, sizeof lambda);
    mpSetWord(asInt(&t0), 0);
    mpSetWord(asInt(&t1), 1);
    uint32_t parity = 0;
    for (int i = 0; i < 600; ++i) {
        if (r1.count == 0) return 1;
        if (const uint32_t step = mpDivide(asInt(&r0), asInt(&r1), asInt(&q), &rem)) return step;
        r0 = r1;
        std::memset(&r1, 0, sizeof r1);
        std::memcpy(&r1, &rem, sizeof rem);
        if (const uint32_t step = mpMultiply(asInt(&q), asInt(&t1), &p)) return step;
        std::memcpy(&t, &p, sizeof t);
        t.count = p.count > kGeneralDigits ? kGeneralDigits : p.count;
        if (const uint32_t step = mpAdd(asInt(&t0), asInt(&t), asInt(&t))) return step;
        t0 = t1;
        t1 = t;
        parity ^= 1;
        if (const uint32_t step = mpMultiply(asInt(&r1), asInt(&r1), &p)) return step;
        uint32_t below = 0;
        if (const uint32_t step = mpLess(asInt(&p), asInt(&n), &below)) return step;
        if (below) break;
    }
    if (parity == 0) {
        toReduced(asInt(&r1), &basis[0]);
        toReduced(asInt(&t1), &basis[1]);
        toReduced(asInt(&r0), &basis[2]);
        toReduced(asInt(&t0), &basis[3]);
    } else {
        toReduced(asInt(&r0), &basis[0]);
        toReduced(asInt(&t0), &basis[1]);
        toReduced(asInt(&r1), &basis[2]);
        toReduced(asInt(&t1), &basis[3]);
    }
    return 0;
}

}  // namespace

uint32_t endoSplit(ksGlobalData* gd, const ksInt* k, ksIntReduced* k1, uint32_t* s1, ksIntReduced* k2, uint32_t* s2) {
    Split split;
    const uint32_t rc = endoDecompose(gd, k, &split);
    *k1 = split.k1;
    *k2 = split.k2;
    *s1 = split.s1;
    *s2 = split.s2;
    return rc;
}

const ksFieldElement* endoBeta(ksGlobalData* gd) { return &constantsOf(gd)->beta; }

const ksCurveEngine kEndomorphismEngine = {
    endoAdd,          ecPrimeDoubleZeroA, endoMultiply,   endoMultiplyX,     endoTwinMultiplyX,
    endoBaseMultiply, prime::heapSize,    endoPrecompute, ecPrimeIsInfinity,
};

uint32_t initEndomorphism(ksGlobalData* gd, ksHeap* heap) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    GlobalDataLayout* l = layoutOf(gd);
    // The doublings leave out a: only a = 0 curves are served.
    if (!f.isZero(l->a)) return 1;
    EndoConstants* c = constantsOf(gd);
    std::memset(c, 0, sizeof *c);
    // Curve constants only (beta, lambda, the basis): each step returns at its failure.
    if (const uint32_t step = endoCubeRoot(f, &c->beta)) return step;
    ksIntReduced lambda;
    if (const uint32_t step = endoEigenvalue(l->order, &lambda)) return step;
    if (const uint32_t step = endoBasis(l->order, lambda, c->basis)) return step;
    ksPoint r{}, g = l->g;
    g.table = nullptr;
    if (const uint32_t step = endoMultiply(gd, asInt(&lambda), &g, &r)) return step;
    ksFieldElement bx{};
    f.mul(c->beta, g.x, bx);
    if (!f.equal(bx, r.x)) f.sqr(c->beta, c->beta);
    if (heap == nullptr) return 0;
    return precomputeAndBlind(gd, heap, kEndoOps, endoBaseMultiply);
}

}  // namespace tess::crypto::prime

uint32_t a1990(ksGlobalData* gd, const ksPoint* p, ksPoint* r) {
    return tess::crypto::prime::ecPrimeDoubleZeroA(gd, p, r);
}

uint32_t tess::crypto::endomorphismEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    *engineId = tess::crypto::kEndomorphismEngineId;
    if (gd == nullptr) return 0;
    return tess::crypto::prime::initEndomorphism(gd, heap);
}

uint32_t a1933(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    return tess::crypto::endomorphismEngineInit(gd, heap, engineId);
}
