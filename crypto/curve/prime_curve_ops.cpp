// Point arithmetic shared by the prime-curve engines.
#include "crypto/curve/prime_curve_ops.h"

#include <cstring>
#include <initializer_list>

#include "crypto/field/prime_field.h"
#include "crypto/field/prime_field_ops.h"
#include "crypto/curve/prime_mont_curve.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/wipe.h"

using namespace tess::crypto::mp;

namespace tess::crypto::prime {

bool isInfinity(ksGlobalData* gd, const ksPoint* p) {
    FieldOps f(gd);
    return f.isZero(p->x) && f.isZero(p->y);
}

uint32_t ecPrimeIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    *flag = f.isZero(p->x) && f.isZero(p->y) ? 0 : 1;
    return 0;
}

namespace {
// lambda = (3x^2 + a) / 2y, with or without the a.
uint32_t primeDouble(ksGlobalData* gd, const ksPoint* p, ksPoint* r, bool withA) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    r->table = nullptr;
    if (f.isZero(p->y)) {
        f.zero(r->x);
        f.zero(r->y);
        return 0;
    }
    ksFieldElement t1{}, t2{}, t3{}, lambda{}, x3{}, rx{};
    f.add(p->y, p->y, t1);
    uint32_t rc = f.inv(t1, t1);
    f.sqr(p->x, t2);
    f.add(t2, t2, t3);
    f.add(t2, t3, t2);
    if (withA) f.add(t2, layoutOf(gd)->a, t2);
    f.mul(t1, t2, lambda);
    f.sqr(lambda, x3);
    f.sub(x3, p->x, x3);
    f.sub(x3, p->x, x3);
    f.sub(p->x, x3, rx);
    f.mul(lambda, rx, t2);
    f.sub(t2, p->y, r->y);
    r->x = x3;
    return rc;
}
}  // namespace

uint32_t ecPrimeDouble(ksGlobalData* gd, const ksPoint* p, ksPoint* r) { return primeDouble(gd, p, r, true); }
uint32_t ecPrimeDoubleZeroA(ksGlobalData* gd, const ksPoint* p, ksPoint* r) { return primeDouble(gd, p, r, false); }

uint32_t ecPrimeAddWith(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r, AffineDouble dbl) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (isInfinity(gd, p)) {
        *r = *q;
        return 0;
    }
    if (isInfinity(gd, q)) {
        *r = *p;
        return 0;
    }
    if (f.equal(p->x, q->x)) {
        if (f.equal(p->y, q->y)) return dbl(gd, p, r);
        r->table = nullptr;
        f.zero(r->x);
        f.zero(r->y);
        return 0;
    }
    ksFieldElement t1{}, t2{}, t3{}, lambda{}, x3{};
    f.sub(q->x, p->x, t1);
    const uint32_t rc = f.inv(t1, t1);
    f.sub(q->y, p->y, t2);
    f.mul(t1, t2, lambda);
    f.sqr(lambda, x3);
    f.sub(x3, p->x, x3);
    f.sub(x3, q->x, x3);
    f.sub(p->x, x3, t3);
    f.mul(lambda, t3, t2);
    const ksFieldElement py = p->y;
    r->table = nullptr;
    r->x = x3;
    f.sub(t2, py, r->y);
    return rc;
}

uint32_t ecPrimeAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r) {
    return ecPrimeAddWith(gd, p, q, r, ecPrimeDouble);
}

namespace {
enum class DoubleForm { General, Minus3, ZeroA };

template <DoubleForm Form>
uint32_t jacDoubleForm(ksGlobalData* gd, const Jacobian* p, Jacobian* r) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(p->Z)) {
        r->Z = p->Z;
        return 0;
    }
    ksFieldElement m{}, t1{}, t2{}, s{}, y2{}, z3{};
    if constexpr (Form == DoubleForm::Minus3) {
        f.sqr(p->Z, t1);
        f.add(p->X, t1, t2);
        f.sub(p->X, t1, t1);
        f.mul(t1, t2, t1);
        f.add(t1, t1, t2);
        f.add(t1, t2, m);
    } else {
        f.sqr(p->X, t2);
        if constexpr (Form == DoubleForm::General) {
            f.sqr(p->Z, t1);
            f.sqr(t1, t1);
            f.mul(layoutOf(gd)->a, t1, t1);
            f.add(t1, t2, t1);
        } else {
            t1 = t2;
        }
        f.add(t1, t2, t1);
        f.add(t1, t2, m);
    }
    f.mul(p->Y, p->Z, z3);
    f.add(z3, z3, z3);
    f.sqr(p->Y, y2);
    f.mul(p->X, y2, s);
    f.add(s, s, s);
    f.add(s, s, s);
    ksFieldElement x3{};
    f.sqr(m, x3);
    f.sub(x3, s, x3);
    f.sub(x3, s, x3);
    f.sub(s, x3, t2);
    f.mul(m, t2, t2);
    f.sqr(y2, t1);
    f.add(t1, t1, t1);
    f.add(t1, t1, t1);
    f.add(t1, t1, t1);
    f.sub(t2, t1, r->Y);
    r->X = x3;
    r->Z = z3;
    return 0;
}
}  // namespace

uint32_t jacDouble(ksGlobalData* gd, const Jacobian* p, Jacobian* r) {
    return jacDoubleForm<DoubleForm::General>(gd, p, r);
}
uint32_t jacDoubleMinus3(ksGlobalData* gd, const Jacobian* p, Jacobian* r) {
    return jacDoubleForm<DoubleForm::Minus3>(gd, p, r);
}
uint32_t jacDoubleZeroA(ksGlobalData* gd, const Jacobian* p, Jacobian* r) {
    return jacDoubleForm<DoubleForm::ZeroA>(gd, p, r);
}

namespace {
// The tail both additions share: given U1, S1, H = U2 - U1, Rr = S2 - S1
// and the product of the Z factors zz (Z1 Z2 or Z), writes r.
void addTail(const FieldOps& f, const ksFieldElement& u1, const ksFieldElement& s1, const ksFieldElement& h,
             const ksFieldElement& rr, const ksFieldElement& zz, Jacobian* r) {
    ksFieldElement h2{}, h3{}, u1h2{}, x3{}, t{};
    f.mul(zz, h, r->Z);
    f.sqr(h, h2);
    f.mul(u1, h2, u1h2);
    f.mul(h2, h, h3);
    f.sqr(rr, x3);
    f.sub(x3, h3, x3);
    f.sub(x3, u1h2, x3);
    f.sub(x3, u1h2, x3);
    f.mul(s1, h3, h3);
    f.sub(u1h2, x3, t);
    f.mul(rr, t, t);
    f.sub(t, h3, r->Y);
    r->X = x3;
}
}  // namespace

uint32_t jacAdd(ksGlobalData* gd, const Jacobian* p1, const Jacobian* p2, Jacobian* r, JacDouble dbl) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(p1->Z)) {
        *r = *p2;
        return 0;
    }
    if (f.isZero(p2->Z)) {
        *r = *p1;
        return 0;
    }
    ksFieldElement t1{}, u1{}, s1{}, u2{}, z13{}, h{}, s2{}, rr{}, zz{};
    f.sqr(p2->Z, t1);
    f.mul(p1->X, t1, u1);
    f.mul(p2->Z, t1, t1);
    f.mul(p1->Y, t1, s1);
    f.sqr(p1->Z, t1);
    f.mul(p2->X, t1, u2);
    f.mul(p1->Z, t1, z13);
    f.sub(u2, u1, h);
    f.mul(p2->Y, z13, s2);
    f.sub(s2, s1, rr);
    if (f.isZero(h)) {
        if (f.isZero(rr)) return dbl(gd, p1, r);
        f.zero(r->Z);
        return 0;
    }
    f.mul(p1->Z, p2->Z, zz);
    addTail(f, u1, s1, h, rr, zz, r);
    return 0;
}

uint32_t jacAddAffine(ksGlobalData* gd, const Jacobian* a, const Jacobian* q, Jacobian* r, JacDouble dbl) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(q->Z)) {
        *r = *a;
        return 0;
    }
    // With a's Z = 1: U1 = a.x Z^2, S1 = a.y Z^3, H = X - U1, Rr = Y - S1,
    // and the sum is q + a computed with q as the first operand.
    ksFieldElement t1{}, u1{}, s1{}, h{}, rr{};
    f.sqr(q->Z, t1);
    f.mul(a->X, t1, u1);
    f.mul(q->Z, t1, t1);
    f.mul(a->Y, t1, s1);
    f.sub(q->Y, s1, rr);
    f.sub(q->X, u1, h);
    if (f.isZero(h)) {
        if (f.isZero(rr)) return dbl(gd, a, r);
        f.zero(r->Z);
        return 0;
    }
    const ksFieldElement z = q->Z;
    addTail(f, u1, s1, h, rr, z, r);
    return 0;
}

uint32_t jacToAffine(ksGlobalData* gd, const Jacobian* q, ksPoint* r) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(q->Z)) {
        f.zero(r->x);
        f.zero(r->y);
        return 0;
    }
    ksFieldElement z{}, z2{}, y{};
    const uint32_t rc = f.inv(q->Z, z);
    f.sqr(z, z2);
    f.mul(q->Y, z2, y);
    f.mul(y, z, r->y);
    f.mul(q->X, z2, r->x);
    return rc;
}

uint32_t jacToAffineX(ksGlobalData* gd, const Jacobian* q, ksFieldElement* x) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (f.isZero(q->Z)) {
        f.zero(*x);
        return 0;
    }
    ksFieldElement z{};
    const uint32_t rc = f.inv(q->Z, z);
    f.sqr(z, z);
    f.mul(q->X, z, *x);
    return rc;
}

uint32_t toJacobian(ksGlobalData* gd, const ksPoint* p, Jacobian* r) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    r->X = p->x;
    r->Y = p->y;
    f.one(r->Z);
    return 0;
}

int Naf::top() const {
    for (int w = 16; w >= 0; --w)
        if (words[w] != 0) return 16 * w + (31 - __builtin_clz(words[w])) / 2;
    return -1;
}

uint32_t ecNafRecode(const ksInt* k, Naf* naf) {
    std::memset(naf, 0, sizeof *naf);
    uint32_t length = 0;
    mpBitLength(k, &length);
    if (length == 0) return 0;
    if (length > 271) return 1;
    // With h = 3k, the NAF's digit i is +1 where bit i + 1 of h differs from
    // k's and is set in h, -1 where it differs and is set in k.
    using u128 = unsigned __int128;
    uint64_t kw[5] = {}, hw[5];
    const uint32_t digits = k->count < 20 ? k->count : 20;
    for (uint32_t i = 0; i < digits; ++i) kw[i / 4] |= uint64_t(k->digits[i]) << (16 * (i % 4));
    uint64_t carry = 0;
    for (int i = 0; i < 5; ++i) {
        const u128 sum = u128(kw[i]) + (kw[i] << 1) + (i > 0 ? kw[i - 1] >> 63 : 0) + carry;
        hw[i] = uint64_t(sum);
        carry = uint64_t(sum >> 64);
    }
    // Each 16 bits of the two masks become 16 two-bit cells (01 or 11).
    auto spread = [](uint32_t x) {
        x = (x | (x << 8)) & 0x00FF00FFu;
        x = (x | (x << 4)) & 0x0F0F0F0Fu;
        x = (x | (x << 2)) & 0x33333333u;
        return (x | (x << 1)) & 0x55555555u;
    };
    for (int w = 0; w < 17; ++w) {
        const int bit = 16 * w + 1;  // digits 16 w .. 16 w + 15 from bits 16 w + 1 ..
        auto field = [&](const uint64_t* v) {
            const int word = bit / 64, shift = bit % 64;
            uint64_t x = v[word] >> shift;
            if (shift > 48 && word + 1 < 5) x |= v[word + 1] << (64 - shift);
            return uint32_t(x & 0xFFFF);
        };
        const uint32_t h = field(hw), kk = field(kw), diff = h ^ kk;
        const uint32_t plus = diff & h, minus = diff & kk;
        naf->words[w] = spread(plus | minus) | (spread(minus) << 1);
    }
    return 0;
}

uint32_t nafOfScalar(ksGlobalData* gd, const ksInt* k, Naf* naf) {
    if (ecNafRecode(k, naf) == 0) return 0;
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    // The recoding above already answers by k's length, so an early return leaks nothing new.
    if (const uint32_t step = mpMod(k, asInt(&layoutOf(gd)->order), &reduced)) return step;
    return ecNafRecode(asInt(&reduced), naf);
}

uint32_t buildWindowTable(ksGlobalData* gd, const ksPoint* p, WindowTable* t, JacDouble dbl) {
    FieldOps f(gd);
    Jacobian one{}, minus{};
    if (const uint32_t step = toJacobian(gd, p, &one)) return step;
    minus = one;
    f.neg(one.Y, minus.Y);
    auto at = [&](int v) -> Jacobian& { return t->entry[WindowTable::slotOf(v)]; };
    at(1) = one;
    if (const uint32_t step = dbl(gd, &one, &at(2))) return step;
    if (const uint32_t step = dbl(gd, &at(2), &at(4))) return step;
    if (const uint32_t step = jacAddAffine(gd, &minus, &at(4), &at(3), dbl)) return step;
    if (const uint32_t step = jacAddAffine(gd, &one, &at(4), &at(5), dbl)) return step;
    if (const uint32_t step = dbl(gd, &at(4), &at(8))) return step;
    if (const uint32_t step = jacAddAffine(gd, &minus, &at(8), &at(7), dbl)) return step;
    if (const uint32_t step = jacAddAffine(gd, &one, &at(8), &at(9), dbl)) return step;
    for (int v : {1, 2, 3, 4, 5, 7, 8, 9}) {
        at(-v) = at(v);
        f.neg(at(v).Y, at(-v).Y);
    }
    return 0;
}

uint32_t makeTablesAffine(ksGlobalData* gd, WindowTable* t1, WindowTable* t2) {
    FieldOps f(gd);
    static constexpr int kValues[7] = {2, 3, 4, 5, 7, 8, 9};
    Jacobian* entries[14];
    int count = 0;
    for (WindowTable* t : {t1, t2})
        if (t)
            for (int v : kValues) entries[count++] = &t->entry[WindowTable::slotOf(v)];
    // An entry at infinity (a point of small order) keeps Z = 0 and is
    // left out of the shared inversion.
    ksFieldElement prefix[14];
    ksFieldElement run{};
    f.one(run);
    for (int i = 0; i < count; ++i) {
        if (!f.isZero(entries[i]->Z)) f.mul(run, entries[i]->Z, run);
        prefix[i] = run;
    }
    ksFieldElement inv{};
    uint32_t rc = f.inv(run, inv);
    for (int i = count - 1; i >= 0; --i) {
        Jacobian* e = entries[i];
        if (f.isZero(e->Z)) continue;
        ksFieldElement zi{}, zi2{};
        if (i > 0)
            f.mul(inv, prefix[i - 1], zi);
        else
            zi = inv;
        f.mul(inv, e->Z, inv);
        f.sqr(zi, zi2);
        f.mul(e->X, zi2, e->X);
        f.mul(zi2, zi, zi2);
        f.mul(e->Y, zi2, e->Y);
        f.one(e->Z);
    }
    for (WindowTable* t : {t1, t2})
        if (t)
            for (int v : kValues) {
                Jacobian& neg = t->entry[WindowTable::slotOf(-v)];
                neg = t->entry[WindowTable::slotOf(v)];
                f.neg(neg.Y, neg.Y);
            }
    return rc;
}

int windowStep(Window* w, int digit) {
    w->v *= 2;
    w->c *= 2;
    if (digit != 0 && w->c == 0) {
        w->v = digit;
        w->c = 1;
        return 0;
    }
    if (digit != 0) {
        const int v = w->v + digit;
        w->v = w->c = 0;
        return v;
    }
    if (w->c == 8) {
        const int v = w->v;
        w->v = w->c = 0;
        return v;
    }
    return 0;
}

uint32_t ecCombEvaluate(ksGlobalData* gd, const void* table, const CombRecord* comb, ksPoint* r, JacDouble dbl,
                        const ksPoint* extra) {
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (extra != nullptr && isInfinity(gd, extra)) extra = nullptr;
    if (montActive(gd, dbl)) return montComb(gd, table, comb, r, extra);
    alignas(32) Jacobian q{}, a{};
    f.one(a.Z);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    const uint32_t d = comb->count > 43 ? 43 : comb->count;
    if (d != 0) {
        const uint32_t w = fieldWords(layoutOf(gd)->fieldBits);
        const uint32_t* words = static_cast<const uint32_t*>(table);
        const uint32_t rows = (d - 1) / 8 + 1;
        for (uint32_t row = rows; row-- > 0;) {
            rc |= dbl(gd, &q, &q);
            for (uint32_t j = 8; j-- > 0;) {
                const uint32_t c = j * rows + row;
                if (c >= d || comb->columns[c] == 0) continue;
                const uint32_t* e = words + size_t(63 * j + comb->columns[c] - 1) * 2 * w;
                std::memcpy(a.X.words, e, w * 4);
                std::memcpy(a.Y.words, e + w, w * 4);
                rc |= jacAddAffine(gd, &a, &q, &q, dbl);
            }
        }
    }
    if (extra != nullptr) {
        a.X = extra->x;
        a.Y = extra->y;
        rc |= jacAddAffine(gd, &a, &q, &q, dbl);
    }
    return rc | jacToAffine(gd, &q, r);
}

uint32_t orderBits(const ksGlobalData* gd) {
    uint32_t bits = 0;
    mpBitLength(asInt(&layoutOf(gd)->order), &bits);
    return bits;
}

uint32_t heapSize(uint32_t m, uint32_t* size) {
    *size = fieldWords(m) * 4032;
    return 0;
}

uint32_t baseMultiply(ksGlobalData* gd, const EngineOps& ops, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    GlobalDataLayout* l = layoutOf(gd);
    FieldOps f(gd);
    if (!f.ok()) return 1;
    if (k->count == 0) {
        f.zero(r->x);
        f.zero(r->y);
        return 0;
    }
    if (l->g.table == nullptr) return ops.multiply(gd, asInt(k), &l->g, r);
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipeReduced(reduced);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpMod(asInt(k), asInt(&l->order), &reduced);
    if (ops.reduceInPlace) *k = reduced;
    CombRecord comb;
    WipeOnExit<CombRecord> wipeComb(comb);
    rc |= ecCombColumns(ops.combBits(gd), asInt(&reduced), &comb);
    if (plain == 0) {
        uint8_t random[43];
        WipeOnExit<uint8_t[43]> wipeRandom(random);
        rc |= tess::crypto::rngBytes(gd, 32, random);
        rc |= tess::crypto::rngBytes(gd, 11, random + 32);
        rc |= ecPickColumns(l->fieldBits / 17 + 1, random, &comb);
        rc |= ecCombToInteger(&comb, k);
    }
    const void* saved = r->table;
    // The blinding point joins the sum before its one conversion to affine:
    // no second inversion, and none on a value that depends on the nonce.
    rc |= ecCombEvaluate(gd, l->g.table, &comb, r, ops.jacDbl, plain == 0 ? &l->blindPoint : nullptr);
    r->table = ops.clearTable || plain == 0 ? nullptr : saved;
    if (plain == 0) rc |= tess::crypto::mp::mpModAdd(asInt(k), asInt(&l->blindScalar), asInt(&l->order), k);
    return rc;
}

uint32_t precomputeAndBlind(ksGlobalData* gd, ksHeap* heap, const EngineOps& ops,
                            uint32_t (*base)(ksGlobalData*, uint32_t, ksIntReduced*, ksPoint*)) {
    GlobalDataLayout* l = layoutOf(gd);
    l->g.table = heap;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = ops.precompute(gd, &l->g);
    uint8_t seed[32];
    WipeOnExit<uint8_t[32]> wipeSeed(seed);
    ksIntGeneral drawn;
    WipeOnExit<ksIntGeneral> wipeDrawn(drawn);
    rc |= tess::crypto::rngBytes(gd, 32, seed);
    rc |= tess::crypto::mp::mpFromOctets(32, seed, asInt(&drawn));
    rc |= mpMod(asInt(&drawn), asInt(&l->order), &l->blindScalar);
    l->blindPoint = ksPoint{};
    rc |= base(gd, 1, &l->blindScalar, &l->blindPoint);
    l->blindPoint.table = nullptr;
    return rc;
}

}  // namespace tess::crypto::prime
