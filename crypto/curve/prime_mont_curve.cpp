// Jacobian point arithmetic for a = -3 over the Montgomery-form P-224 and
// P-256 fields, and the engine loops built on it: the windowed NAF, the
// comb, and the two-point sum over one doubling chain.
#include "crypto/curve/prime_mont_curve.h"

#include <cstring>

#include "crypto/field/prime_field.h"
#include "crypto/field/prime_field_mont.h"

namespace tess::crypto::prime {
namespace {

using pf::Limbs;

template <typename F, int W>
struct Curve {
    struct Point {
        Limbs X, Y, Z;
    };
    // A window-table entry with its Z^2 and Z^3, which every addition of it
    // needs.
    struct Entry {
        Point pt;
        Limbs zz, zzz;
    };

    static Limbs load(const uint32_t* words) {
        uint32_t w[8] = {};
        std::memcpy(w, words, W * 4);
        Limbs plain, r;
        for (int i = 0; i < 4; ++i) plain.v[i] = w[2 * i] | (uint64_t(w[2 * i + 1]) << 32);
        F::enter(plain, r);
        return r;
    }
    static void store(const Limbs& a, ksFieldElement& e) {
        Limbs plain;
        F::leave(a, plain);
        uint32_t w[8];
        for (int i = 0; i < 4; ++i) {
            w[2 * i] = uint32_t(plain.v[i]);
            w[2 * i + 1] = uint32_t(plain.v[i] >> 32);
        }
        std::memcpy(e.words, w, W * 4);
    }
    static bool aIsMinus3(const ksGlobalData* gd) {
        Limbs minus3;
        F::enter(Limbs{{3, 0, 0, 0}}, minus3);
        F::neg(minus3, minus3);
        return F::equal(load(layoutOf(gd)->a.words), minus3);
    }
    static Point affine(const ksPoint* p) { return Point{load(p->x.words), load(p->y.words), F::one}; }

    // 4M + 4S: delta = Z^2, gamma = Y^2, beta = X gamma,
    // alpha = 3 (X - delta)(X + delta), X3 = alpha^2 - 8 beta, Z3 = 2 Y Z,
    // Y3 = alpha (4 beta - X3) - 8 gamma^2 (a product costs about what a
    // square and two subtractions do).
    static void dbl(const Point& p, Point& r) {
        if (F::isZero(p.Z)) {
            r.Z = p.Z;
            return;
        }
        Limbs delta, gamma, beta, alpha, t, u, x3, z3;
        F::sqr(p.Z, delta);
        F::sqr(p.Y, gamma);
        F::mul(p.X, gamma, beta);
        F::sub(p.X, delta, t);
        F::add(p.X, delta, u);
        F::mul(t, u, t);
        F::add(t, t, alpha);
        F::add(alpha, t, alpha);
        F::mul(p.Y, p.Z, z3);
        F::add(z3, z3, z3);
        F::add(beta, beta, beta);
        F::add(beta, beta, beta);  // 4 beta
        F::sqr(alpha, x3);
        F::sub(x3, beta, x3);
        F::sub(x3, beta, x3);
        F::sub(beta, x3, u);
        F::mul(alpha, u, u);
        F::sqr(gamma, gamma);
        F::add(gamma, gamma, gamma);
        F::add(gamma, gamma, gamma);
        F::add(gamma, gamma, gamma);
        F::sub(u, gamma, r.Y);
        r.X = x3;
        r.Z = z3;
    }

    // Given U1, S1, H = U2 - U1, Rr = S2 - S1 and zz (the product of the Z
    // factors), the sum.
    static void tail(const Limbs& u1, const Limbs& s1, const Limbs& h, const Limbs& rr, const Limbs& zz, Point& r) {
        Limbs h2, h3, u1h2, x3, t;
        F::mul(zz, h, r.Z);
        F::sqr(h, h2);
        F::mul(u1, h2, u1h2);
        F::mul(h2, h, h3);
        F::sqr(rr, x3);
        F::sub(x3, h3, x3);
        F::sub(x3, u1h2, x3);
        F::sub(x3, u1h2, x3);
        F::mul(s1, h3, h3);
        F::sub(u1h2, x3, t);
        F::mul(rr, t, t);
        F::sub(t, h3, r.Y);
        r.X = x3;
    }
    // q + e, e's y negated when negate is set; equal points double.
    static void addEntry(const Entry& e, bool negate, Point& q) {
        if (F::isZero(e.pt.Z)) return;
        if (F::isZero(q.Z)) {
            q = e.pt;
            if (negate) F::neg(q.Y, q.Y);
            return;
        }
        Limbs t1, u1, s1, u2, s2, h, rr, zz;
        F::sqr(q.Z, t1);
        F::mul(e.pt.X, t1, u1);
        F::mul(q.Z, t1, t1);
        F::mul(e.pt.Y, t1, s1);
        if (negate) F::neg(s1, s1);
        F::mul(q.X, e.zz, u2);
        F::mul(q.Y, e.zzz, s2);
        F::sub(u2, u1, h);
        F::sub(s2, s1, rr);
        if (F::isZero(h)) {
            if (F::isZero(rr)) {
                Point d = e.pt;
                if (negate) F::neg(d.Y, d.Y);
                dbl(d, q);
            } else {
                q.Z = Limbs{};
            }
            return;
        }
        F::mul(e.pt.Z, q.Z, zz);
        tail(u1, s1, h, rr, zz, q);
    }
    // q + a for affine a (Z = one).
    static void addAffine(const Point& a, Point& q) {
        if (F::isZero(q.Z)) {
            q = a;
            return;
        }
        Limbs t1, u1, s1, h, rr;
        F::sqr(q.Z, t1);
        F::mul(a.X, t1, u1);
        F::mul(q.Z, t1, t1);
        F::mul(a.Y, t1, s1);
        F::sub(q.Y, s1, rr);
        F::sub(q.X, u1, h);
        if (F::isZero(h)) {
            if (F::isZero(rr))
                dbl(a, q);
            else
                q.Z = Limbs{};
            return;
        }
        const Limbs z = q.Z;
        tail(u1, s1, h, rr, z, q);
    }
    // q + p for Jacobian p.
    static void add(const Point& p, Point& q) {
        Entry e{p, {}, {}};
        finishEntry(e);
        addEntry(e, false, q);
    }

    static void toAffine(const Point& q, ksFieldElement* x, ksFieldElement* y) {
        if (F::isZero(q.Z)) {
            std::memset(x->words, 0, W * 4);
            if (y) std::memset(y->words, 0, W * 4);
            return;
        }
        Limbs zi, zi2, t;
        F::invert(q.Z, zi);
        F::sqr(zi, zi2);
        F::mul(q.X, zi2, t);
        store(t, *x);
        if (y) {
            F::mul(zi2, zi, zi2);
            F::mul(q.Y, zi2, t);
            store(t, *y);
        }
    }

    // Multiples 1, 2, 3, 4, 5, 7, 8, 9 of p, the values the signed windows
    // over the NAF produce.
    static int slot(int v) {
        static constexpr int8_t kSlot[10] = {-1, 0, 1, 2, 3, 4, -1, 5, 6, 7};
        return kSlot[v];
    }
    struct Table {
        Entry e[8];
        const Entry& at(int v) const { return e[slot(v)]; }
        Entry& at(int v) { return e[slot(v)]; }
    };
    static void finishEntry(Entry& e) {
        F::sqr(e.pt.Z, e.zz);
        F::mul(e.zz, e.pt.Z, e.zzz);
    }
    static void buildTable(const Point& one, Table& t) {
        Point minus = one;
        F::neg(minus.Y, minus.Y);
        t.at(1).pt = one;
        dbl(one, t.at(2).pt);
        dbl(t.at(2).pt, t.at(4).pt);
        t.at(3).pt = t.at(4).pt;
        addAffine(minus, t.at(3).pt);
        t.at(5).pt = t.at(4).pt;
        addAffine(one, t.at(5).pt);
        dbl(t.at(4).pt, t.at(8).pt);
        t.at(7).pt = t.at(8).pt;
        addAffine(minus, t.at(7).pt);
        t.at(9).pt = t.at(8).pt;
        addAffine(one, t.at(9).pt);
        for (Entry& e : t.e) finishEntry(e);
    }
    // Z = one for every finite entry of both tables, with one inversion; an
    // entry at infinity (small order) keeps Z = 0.
    static void makeAffine(Table& a, Table& b) {
        Entry* entries[16];
        for (int i = 0; i < 8; ++i) {
            entries[i] = &a.e[i];
            entries[8 + i] = &b.e[i];
        }
        Limbs prefix[16], run = F::one;
        for (int i = 0; i < 16; ++i) {
            if (!F::isZero(entries[i]->pt.Z)) F::mul(run, entries[i]->pt.Z, run);
            prefix[i] = run;
        }
        Limbs inv;
        F::invert(run, inv);
        for (int i = 15; i >= 0; --i) {
            Point& p = entries[i]->pt;
            if (F::isZero(p.Z)) continue;
            Limbs zi, zi2;
            if (i > 0)
                F::mul(inv, prefix[i - 1], zi);
            else
                zi = inv;
            F::mul(inv, p.Z, inv);
            F::sqr(zi, zi2);
            F::mul(p.X, zi2, p.X);
            F::mul(zi2, zi, zi2);
            F::mul(p.Y, zi2, p.Y);
            p.Z = F::one;
        }
    }
    static void addValue(const Table& t, int v, Point& q) {
        if (v == 0) return;
        addEntry(t.at(v < 0 ? -v : v), v < 0, q);
    }
    static void addAffineValue(const Table& t, int v, Point& q) {
        if (v == 0) return;
        const Entry& e = t.at(v < 0 ? -v : v);
        if (F::isZero(e.pt.Z)) return;
        Point a = e.pt;
        if (v < 0) F::neg(a.Y, a.Y);
        addAffine(a, q);
    }

    // The windowed NAF of k P into q.
    static void windowed(const Naf& naf, const ksPoint* p, Point& q) {
        Table table;
        buildTable(affine(p), table);
        const int top = naf.top();
        q = Point{};
        Window w;
        windowStart(&w, naf.digit(uint32_t(top)));
        for (int i = top - 1; i >= 0; --i) {
            dbl(q, q);
            addValue(table, windowStep(&w, naf.digit(uint32_t(i))), q);
        }
        addValue(table, w.v, q);
    }

    // r rows of doublings, one mixed addition per non-zero column.
    static void comb(const void* table, const CombRecord* c, Point& q) {
        q = Point{};
        const uint32_t d = c->count > 43 ? 43 : c->count;
        if (d == 0) return;
        const uint32_t* words = static_cast<const uint32_t*>(table);
        const uint32_t rows = (d - 1) / 8 + 1;
        Point a{{}, {}, F::one};
        for (uint32_t row = rows; row-- > 0;) {
            dbl(q, q);
            for (uint32_t j = 8; j-- > 0;) {
                const uint32_t col = j * rows + row;
                if (col >= d || c->columns[col] == 0) continue;
                const uint32_t* e = words + size_t(63 * j + c->columns[col] - 1) * 2 * W;
                a.X = load(e);
                a.Y = load(e + W);
                addAffine(a, q);
            }
        }
    }

    static uint32_t multiply(const Naf& naf, const ksPoint* p, ksPoint* r) {
        Point q;
        windowed(naf, p, q);
        toAffine(q, &r->x, &r->y);
        return 0;
    }
    static uint32_t combPoint(const void* table, const CombRecord* c, ksPoint* r, const ksPoint* extra) {
        Point q;
        comb(table, c, q);
        if (extra) addAffine(affine(extra), q);
        toAffine(q, &r->x, &r->y);
        return 0;
    }
    static uint32_t combPlusMultipleX(const void* table, const CombRecord* c, const Naf* naf, const ksPoint* p,
                                      ksFieldElement* x) {
        Point a{}, b{};
        if (c) comb(table, c, a);
        if (naf) windowed(*naf, p, b);
        add(a, b);
        toAffine(b, x, nullptr);
        return 0;
    }
    static uint32_t twinX(const Naf& nu, const ksPoint* p, const Naf& nv, const ksPoint* q, ksFieldElement* x) {
        Table tp, tq;
        buildTable(affine(p), tp);
        buildTable(affine(q), tq);
        makeAffine(tp, tq);
        const int top = nu.top() > nv.top() ? nu.top() : nv.top();
        Point acc{};
        Window wu, wv;
        windowStart(&wu, nu.digit(uint32_t(top)));
        windowStart(&wv, nv.digit(uint32_t(top)));
        for (int i = top - 1; i >= 0; --i) {
            dbl(acc, acc);
            addAffineValue(tp, windowStep(&wu, nu.digit(uint32_t(i))), acc);
            addAffineValue(tq, windowStep(&wv, nv.digit(uint32_t(i))), acc);
        }
        addAffineValue(tp, wu.v, acc);
        addAffineValue(tq, wv.v, acc);
        toAffine(acc, x, nullptr);
        return 0;
    }
};

using CurveP224 = Curve<pf::MontP224, 7>;
using CurveP256 = Curve<pf::MontP256, 8>;

uint32_t fieldId(const ksGlobalData* gd) { return layoutOf(gd)->fieldMethodsId; }

}  // namespace

bool montActive(const ksGlobalData* gd, JacDouble dbl) {
    const uint32_t id = fieldId(gd);
    if (id != kPrimeP224Id && id != kPrimeP256Id) return false;
    if (dbl == jacDoubleMinus3) return true;
    if (dbl != jacDouble) return false;
    return id == kPrimeP256Id ? CurveP256::aIsMinus3(gd) : CurveP224::aIsMinus3(gd);
}

uint32_t montMultiply(ksGlobalData* gd, const Naf& naf, const ksPoint* p, ksPoint* r) {
    return fieldId(gd) == kPrimeP256Id ? CurveP256::multiply(naf, p, r) : CurveP224::multiply(naf, p, r);
}

uint32_t montComb(ksGlobalData* gd, const void* table, const CombRecord* comb, ksPoint* r, const ksPoint* extra) {
    return fieldId(gd) == kPrimeP256Id ? CurveP256::combPoint(table, comb, r, extra)
                                       : CurveP224::combPoint(table, comb, r, extra);
}

uint32_t montCombPlusMultipleX(ksGlobalData* gd, const void* table, const CombRecord* comb, const Naf* naf,
                               const ksPoint* q, ksFieldElement* x) {
    return fieldId(gd) == kPrimeP256Id ? CurveP256::combPlusMultipleX(table, comb, naf, q, x)
                                       : CurveP224::combPlusMultipleX(table, comb, naf, q, x);
}

uint32_t montTwinX(ksGlobalData* gd, const Naf& nu, const ksPoint* p, const Naf& nv, const ksPoint* q,
                   ksFieldElement* x) {
    return fieldId(gd) == kPrimeP256Id ? CurveP256::twinX(nu, p, nv, q, x) : CurveP224::twinX(nu, p, nv, q, x);
}

}  // namespace tess::crypto::prime
