// Koblitz-curve engine. Points at the interface are affine; the scalar
// multiplications run a Montgomery ladder on Lopez-Dahab x/z coordinates
// with a fixed number of steps and no scalar-dependent branches. The
// fresh-pair base multiplication keeps its tau-adic comb, whose thinned
// columns decide the returned scalar; the comb's sums run in Lopez-Dahab
// coordinates. Verification's public base-point half uses the same comb.
#include "crypto/curve/internal.h"
#include "crypto/curve/koblitz_engine.h"

#include <cstddef>
#include <cstring>

#include "crypto/field/binary_field_modules.h"
#include "crypto/hash/internal.h"
#include "crypto/mp/internal.h"
#include "crypto/wipe.h"

using namespace tess::crypto::mp;

namespace tess::crypto {

static_assert(sizeof(kob::KoblitzConstants) <= sizeof(GlobalDataLayout::engineArea));
static_assert(offsetof(GlobalDataLayout, engineArea) % alignof(kob::KoblitzConstants) == 0);

kob::KoblitzConstants* koblitzConstants(ksGlobalData* gd) {
    return reinterpret_cast<kob::KoblitzConstants*>(layoutOf(gd)->engineArea);
}

namespace {

constexpr uint32_t kTablePoints = 511;

uint32_t words(const ksGlobalData* gd) { return fieldWords(layoutOf(gd)->fieldBits); }

// mu = +1 for a = 1, -1 for a = 0; 1 for any other a.
uint32_t muOf(ksGlobalData* gd, int* mu) {
    uint32_t one = 1, zero = 1;
    if (fieldIsOne(gd, &layoutOf(gd)->a, &one) != 0) return 1;
    if (one == 0) {
        *mu = 1;
        return 0;
    }
    if (fieldIsZero(gd, &layoutOf(gd)->a, &zero) != 0) return 1;
    if (zero == 0) {
        *mu = -1;
        return 0;
    }
    return 1;
}

// k (already below 2^bits) as its low `bits` bits, least significant first.
struct ScalarBits {
    uint32_t words[9] = {};
    uint32_t bits = 0;
    ~ScalarBits() { wipe(words, sizeof words); }
};

// k mod modulus by shift and conditional subtraction over every bit a
// reduced record can hold, so the time does not depend on k's value. The
// top bits of k that fit below the modulus's length go in without a step:
// their value stays below the modulus.
uint32_t scalarBits(const ksInt* k, const ksInt* modulus, ScalarBits* out) {
    constexpr int kBitsIn = 16 * int(kReducedDigits);  // 288
    constexpr int kLimbs = 5;                          // 320 bits: holds 2n and k
    static_assert(16 * kModulusDigits + 1 <= 64 * kLimbs && kBitsIn <= 64 * kLimbs);
    if (k->count > kReducedDigits || modulus->count == 0 || modulus->count > kModulusDigits) return 1;
    uint32_t nbits = 0;
    if (mpBitLength(modulus, &nbits) != 0) return 1;
    uint64_t kw[kLimbs + 1] = {}, n[kLimbs] = {}, r[kLimbs] = {}, d[kLimbs];
    for (uint32_t i = 0; i < k->count; ++i) kw[i / 4] |= uint64_t(k->digits[i]) << (16 * (i % 4));
    for (uint32_t i = 0; i < modulus->count; ++i) n[i / 4] |= uint64_t(modulus->digits[i]) << (16 * (i % 4));
    const int direct = nbits > 0 ? int(nbits) - 1 : 0;
    const int shift = kBitsIn - direct, q = shift / 64, b = shift % 64;
    for (int i = 0; i + q < kLimbs; ++i) r[i] = (kw[i + q] >> b) | (b != 0 ? kw[i + q + 1] << (64 - b) : 0);
    for (int bit = shift - 1; bit >= 0; --bit) {
        uint64_t carry = (kw[bit / 64] >> (bit % 64)) & 1;
        for (int i = 0; i < kLimbs; ++i) {
            const uint64_t top = r[i] >> 63;
            r[i] = (r[i] << 1) | carry;
            carry = top;
        }
        uint64_t borrow = 0;
        for (int i = 0; i < kLimbs; ++i) {
            const unsigned __int128 t = (unsigned __int128)r[i] - n[i] - borrow;
            d[i] = uint64_t(t);
            borrow = uint64_t(t >> 64) & 1;
        }
        const uint64_t keep = 0 - borrow;  // r < n: keep r
        for (int i = 0; i < kLimbs; ++i) r[i] = (r[i] & keep) | (d[i] & ~keep);
    }
    out->bits = nbits;
    std::memcpy(out->words, r, sizeof out->words);
    wipe(kw, sizeof kw);
    wipe(r, sizeof r);
    wipe(d, sizeof d);
    return out->bits > 288 ? 1 : 0;
}

// The ladder's two multiples kP and (k+1)P as (X1:Z1), (X2:Z2).
struct Ladder {
    ksFieldElement x1{}, z1{}, x2{}, z2{};
    ~Ladder() { wipe(this, sizeof *this); }
};

bool longScalar(const ksInt* k) { return k->count > kReducedDigits; }

// R = k P for k reduced modulo `modulus`; R.x = 0 for the point at infinity.
uint32_t ladderMultiply(ksGlobalData* gd, const ksInt* k, const ksInt* modulus, const ksPoint* p, ksPoint* r,
                        bool wantY) {
    const ksFieldMethods* f = fieldMethodsOf(gd);
    if (f == nullptr || longScalar(k)) return 1;
    if (f->isZero(gd, &p->x) == 1) {
        f->zero(gd, &r->x);
        return 0;
    }
    ScalarBits bits;
    if (scalarBits(k, modulus, &bits) != 0) return 1;
    Ladder l{};
    const ksPoint P = *p;
    // The ladder runs inside the field module, on its own word layout.
    const BinaryLadder ladder = binaryLadderForId(layoutOf(gd)->fieldMethodsId);
    if (ladder == nullptr) return 1;
    ladder(&P.x, &layoutOf(gd)->b, bits.words, bits.bits, &l.x1, &l.z1, &l.x2, &l.z2);
    if (f->isZero(gd, &l.z1) == 1) {
        f->zero(gd, &r->x);
        return 0;
    }
    ksFieldElement x1{}, t{};
    if (!wantY) {
        f->invert(gd, &l.z1, &t);
        f->multiply(gd, &l.x1, &t, &r->x);
        return 0;
    }
    if (f->isZero(gd, &l.z2) == 1) {
        // (k+1)P is infinity: kP = -P.
        r->x = P.x;
        f->add(gd, &P.x, &P.y, &r->y);
        return 0;
    }
    // 1/z1, 1/z2 and 1/x from one inversion of their product.
    ksFieldElement z12{}, all{}, inv{}, c{}, invX{};
    f->multiply(gd, &l.z1, &l.z2, &z12);
    f->multiply(gd, &z12, &P.x, &all);
    f->invert(gd, &all, &inv);
    f->multiply(gd, &inv, &z12, &invX);
    f->multiply(gd, &inv, &P.x, &c);
    f->multiply(gd, &c, &l.z2, &t);
    f->multiply(gd, &l.x1, &t, &x1);
    // y1 = (x1 + x)((x1 + x)(x2 + x) + x^2 + y)/x + y.
    ksFieldElement x2{}, s1{}, s2{}, u{};
    f->multiply(gd, &c, &l.z1, &t);
    f->multiply(gd, &l.x2, &t, &x2);
    f->add(gd, &x1, &P.x, &s1);
    f->add(gd, &x2, &P.x, &s2);
    f->multiply(gd, &s1, &s2, &u);
    f->square(gd, &P.x, &t);
    f->add(gd, &u, &t, &u);
    f->add(gd, &u, &P.y, &u);
    f->multiply(gd, &u, &s1, &u);
    f->multiply(gd, &u, &invX, &u);
    f->add(gd, &u, &P.y, &r->y);
    r->x = x1;
    return 0;
}

uint32_t kobMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    int mu = 0;
    if (muOf(gd, &mu) != 0) return 1;
    return ladderMultiply(gd, k, asInt(&layoutOf(gd)->order), p, r, true);
}

// k is not reduced modulo n: modulo the curve order it acts the same on
// every point of the curve.
uint32_t kobMultiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x) {
    int mu = 0;
    if (muOf(gd, &mu) != 0) return 1;
    ksPoint r{};
    const uint32_t rc = ladderMultiply(gd, k, asInt(&layoutOf(gd)->curveOrder), p, &r, false);
    if (rc == 0) *x = r.x;
    return rc;
}

uint32_t kobHeapSize(uint32_t m, uint32_t* size) {
    *size = fieldWords(m) * 8 * kTablePoints;
    return 0;
}

uint32_t* tableEntry(const ksPoint* owner, uint32_t w, uint32_t j) {
    return static_cast<uint32_t*>(const_cast<void*>(owner->table)) + size_t(j - 1) * 2 * w;
}

void readEntry(const ksPoint* owner, uint32_t w, uint32_t j, ksPoint* out) {
    *out = ksPoint{};
    const uint32_t* e = tableEntry(owner, w, j);
    std::memcpy(out->x.words, e, w * 4);
    std::memcpy(out->y.words, e + w, w * 4);
}

void writeEntry(const ksPoint* owner, uint32_t w, uint32_t j, const ksPoint& p) {
    uint32_t* e = tableEntry(owner, w, j);
    std::memcpy(e, p.x.words, w * 4);
    std::memcpy(e + w, p.y.words, w * 4);
}

uint32_t applyTau(ksGlobalData* gd, ksPoint* p, uint32_t times) {
    for (uint32_t i = 0; i < times; ++i) {
        if (const uint32_t step = fieldSquare(gd, &p->x, &p->x)) return step;
        if (const uint32_t step = fieldSquare(gd, &p->y, &p->y)) return step;
    }
    return 0;
}

// Entry j - 1 holds the sum of tau^(i d) P over the set bits i of j.
uint32_t kobPrecompute(ksGlobalData* gd, const ksPoint* p) {
    if (p->table == nullptr) return 0;
    const uint32_t w = words(gd);
    const uint32_t d = kob::combColumnCount(layoutOf(gd)->fieldBits + 6);
    ksPoint t = *p;
    t.table = nullptr;
    writeEntry(p, w, 1, t);
    for (uint32_t r = 1; r <= 8; ++r) {
        if (const uint32_t step = applyTau(gd, &t, d)) return step;
        writeEntry(p, w, 1u << r, t);
    }
    for (uint32_t j = 3; j <= kTablePoints; ++j) {
        const uint32_t low = j & (0u - j);
        if (low == j) continue;
        ksPoint a, b, s;
        readEntry(p, w, low, &a);
        readEntry(p, w, j - low, &b);
        if (const uint32_t step = ecBinaryAdd(gd, &a, &b, &s)) return step;
        writeEntry(p, w, j, s);
    }
    return 0;
}

// Lopez-Dahab point (X : Y : Z) = (X/Z, Y/Z^2); inf marks the point at
// infinity. tau squares each coordinate.
struct LdPoint {
    ksFieldElement x{}, y{}, z{};
    bool inf = true;
    ~LdPoint() { wipe(this, sizeof *this); }
};

void ldToAffine(ksGlobalData* gd, const ksFieldMethods* f, const LdPoint& p, ksPoint* r) {
    if (p.inf) {
        f->zero(gd, &r->x);
        f->zero(gd, &r->y);
        return;
    }
    ksFieldElement zi{}, zi2{};
    f->invert(gd, &p.z, &zi);
    f->multiply(gd, &p.x, &zi, &r->x);
    f->square(gd, &zi, &zi2);
    f->multiply(gd, &p.y, &zi2, &r->y);
}

void ldFromAffine(ksGlobalData* gd, const ksFieldMethods* f, const ksPoint& q, LdPoint* p) {
    p->inf = f->isZero(gd, &q.x) == 1;
    p->x = q.x;
    p->y = q.y;
    f->one(gd, &p->z);
}

// p += q for affine q (mixed addition, one field inversion saved per step).
// aOne: the curve's a is 1, else 0. Rare cases (either operand at infinity,
// equal x) go through the affine addition.
uint32_t ldAddAffine(ksGlobalData* gd, const ksFieldMethods* f, bool aOne, LdPoint* p, const ksPoint& q) {
    if (f->isZero(gd, &q.x) == 1) return 0;
    if (p->inf) {
        ldFromAffine(gd, f, q, p);
        return 0;
    }
    ksFieldElement t1{}, t2{}, t3{}, b{}, a{};
    f->multiply(gd, &p->z, &q.x, &t1);
    f->add(gd, &p->x, &t1, &b);  // B = X1 + x2 Z1
    if (f->isZero(gd, &b) == 1) {
        ksPoint pa{}, s{};
        ldToAffine(gd, f, *p, &pa);
        const uint32_t rc = ecBinaryAdd(gd, &pa, &q, &s);
        ldFromAffine(gd, f, s, p);
        wipe(&pa, sizeof pa);
        wipe(&s, sizeof s);
        return rc;
    }
    f->square(gd, &p->z, &t2);  // Z1^2
    f->multiply(gd, &t2, &q.y, &t3);
    f->add(gd, &p->y, &t3, &a);           // A = Y1 + y2 Z1^2
    f->multiply(gd, &p->z, &b, &t1);      // C = Z1 B
    f->square(gd, &t1, &p->z);            // Z3 = C^2
    f->multiply(gd, &t1, &a, &t3);        // E = A C
    if (aOne) f->add(gd, &t1, &t2, &t1);  // C + a Z1^2
    f->square(gd, &b, &t2);
    f->multiply(gd, &t2, &t1, &p->x);  // D = B^2 (C + a Z1^2)
    f->square(gd, &a, &t2);
    f->add(gd, &p->x, &t2, &p->x);
    f->add(gd, &p->x, &t3, &p->x);  // X3 = A^2 + D + E
    f->multiply(gd, &q.x, &p->z, &t2);
    f->add(gd, &t2, &p->x, &t2);  // F = X3 + x2 Z3
    f->square(gd, &p->z, &t1);
    f->add(gd, &t3, &p->z, &t3);
    f->multiply(gd, &t3, &t2, &p->y);  // (E + Z3) F
    f->add(gd, &q.x, &q.y, &t2);
    f->multiply(gd, &t1, &t2, &t3);
    f->add(gd, &p->y, &t3, &p->y);  // + (x2 + y2) Z3^2
    wipe(&t1, sizeof t1);
    wipe(&t2, sizeof t2);
    wipe(&t3, sizeof t3);
    wipe(&a, sizeof a);
    wipe(&b, sizeof b);
    return 0;
}

void ldTau(ksGlobalData* gd, const ksFieldMethods* f, LdPoint* p) {
    if (p->inf) return;
    f->square(gd, &p->x, &p->x);
    f->square(gd, &p->y, &p->y);
    f->square(gd, &p->z, &p->z);
}

// Sum of the comb's columns plus `extra`, kept in Lopez-Dahab coordinates
// until the one inversion at the end.
uint32_t combEvaluate(ksGlobalData* gd, int mu, const CombRecord& comb, const ksPoint* g, const ksPoint& extra,
                      ksPoint* r) {
    const ksFieldMethods* f = fieldMethodsOf(gd);
    if (f == nullptr) return 1;
    const bool aOne = mu > 0;
    const uint32_t w = words(gd);
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    LdPoint acc;
    for (uint32_t c = comb.count; c-- > 0;) {
        ldTau(gd, f, &acc);
        if (comb.columns[c] != 0) {
            ksPoint e;
            readEntry(g, w, comb.columns[c], &e);
            rc |= ldAddAffine(gd, f, aOne, &acc, e);
            wipe(&e, sizeof e);
        }
    }
    rc |= ldAddAffine(gd, f, aOne, &acc, extra);
    ldToAffine(gd, f, acc, r);
    return rc;
}

// The expansion's digits all lie in the comb's nine rows of d columns.
bool fitsComb(const kob::TauBits& bits, uint32_t d) {
    for (uint32_t i = 9 * d; i < 288; ++i)
        if ((bits.words[i / 32] >> (i % 32)) & 1) return false;
    return true;
}

bool isBasePoint(ksGlobalData* gd, const ksFieldMethods* f, const ksPoint* p) {
    const GlobalDataLayout* l = layoutOf(gd);
    if (l->g.table == nullptr) return false;
    return p == &l->g || (f->equal(gd, &p->x, &l->g.x) == 1 && f->equal(gd, &p->y, &l->g.y) == 1);
}

// u G + extra through the base point's tau-adic comb, for a public u: the
// whole expansion, no column picking and no random draws. 1 in *done when
// the comb cannot hold the expansion (the caller falls back).
uint32_t combPublicMultiply(ksGlobalData* gd, int mu, const ksInt* u, const ksPoint& extra, ksPoint* r, bool* done) {
    GlobalDataLayout* l = layoutOf(gd);
    const kob::KoblitzConstants& kc = *koblitzConstants(gd);
    *done = false;
    ksIntReduced reduced;
    uint32_t rc = mpMod(u, asInt(&l->order), &reduced);
    kob::Zint c0 = kob::fromInt(asInt(&kc.c0.magnitude)), c1 = kob::fromInt(asInt(&kc.c1.magnitude));
    c0.negative = kc.c0.sign != 0;
    c1.negative = kc.c1.sign != 0;
    kob::TauBits bits;
    if (rc != 0 || kob::tauExpand(mu, c0, c1, kob::fromInt(asInt(&reduced)), &bits) != 0) return 0;
    CombRecord comb;
    kob::combColumns(l->fieldBits + 6, bits, &comb);
    if (comb.count != 0 && !fitsComb(bits, comb.count)) return 0;
    *done = true;
    return combEvaluate(gd, mu, comb, &l->g, extra, r);
}

// v Q for a public v by its tau-adic NAF in Lopez-Dahab coordinates; 1 in
// *done unless the expansion does not fit (the caller falls back).
uint32_t nafMultiply(ksGlobalData* gd, int mu, const ksFieldMethods* f, const ksInt* v, const ksPoint& q, ksPoint* r,
                     bool* done) {
    GlobalDataLayout* l = layoutOf(gd);
    const kob::KoblitzConstants& kc = *koblitzConstants(gd);
    *done = false;
    ksIntReduced reduced;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpMod(v, asInt(&l->order), &reduced);
    kob::Zint c0 = kob::fromInt(asInt(&kc.c0.magnitude)), c1 = kob::fromInt(asInt(&kc.c1.magnitude));
    c0.negative = kc.c0.sign != 0;
    c1.negative = kc.c1.sign != 0;
    int8_t digits[300];
    uint32_t length = 0;
    if (rc != 0 || kob::tauNaf(mu, c0, c1, kob::fromInt(asInt(&reduced)), digits, 300, &length) != 0) return 0;
    ksPoint neg = q;
    f->add(gd, &q.x, &q.y, &neg.y);  // -(x, y) = (x, x + y)
    LdPoint acc;
    for (uint32_t i = length; i-- > 0;) {
        ldTau(gd, f, &acc);
        if (digits[i] != 0) rc |= ldAddAffine(gd, f, mu > 0, &acc, digits[i] > 0 ? q : neg);
    }
    ldToAffine(gd, f, acc, r);
    *done = true;
    return rc;
}

uint32_t kobTwinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                          ksFieldElement* x) {
    ksPoint r1{}, r2{}, s{};
    const ksFieldMethods* f = fieldMethodsOf(gd);
    int mu = 0;
    if (f != nullptr && !longScalar(u) && !longScalar(v) && muOf(gd, &mu) == 0 && isBasePoint(gd, f, p)) {
        bool viaNaf = false;
        // Accumulated, not returned early: these steps may run on a secret scalar or on points
        // derived from one, and a failure must not end them at a point that depends on it.
        uint32_t rc = nafMultiply(gd, mu, f, v, *q, &r2, &viaNaf);
        if (!viaNaf) rc = kobMultiply(gd, v, q, &r2);
        if (rc != 0) return rc;
        bool done = false;
        rc |= combPublicMultiply(gd, mu, u, r2, &s, &done);
        if (done) {
            *x = s.x;
            return rc;
        }
    }
    uint32_t rc = kobMultiply(gd, u, p, &r1);
    rc |= kobMultiply(gd, v, q, &r2);
    if (rc != 0) return rc;
    rc |= ecBinaryAdd(gd, &r1, &r2, &s);
    *x = s.x;
    return rc;
}

uint32_t kobBaseMultiply(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    GlobalDataLayout* l = layoutOf(gd);
    int mu = 0;
    if (muOf(gd, &mu) != 0 || k->count > kReducedDigits) return 1;
    if (k->count == 0) {
        if (const uint32_t step = fieldSetZero(gd, &r->x)) return step;
        return fieldSetZero(gd, &r->y);
    }
    if (l->g.table == nullptr) return kobMultiply(gd, asInt(k), &l->g, r);
    if (plain != 0) return ladderMultiply(gd, asInt(k), asInt(&l->order), &l->g, r, true);

    const kob::KoblitzConstants& kc = *koblitzConstants(gd);
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipeReduced(reduced);
    // Accumulated, not returned early: these steps run on a secret scalar, and a failure must
    // not end them at a point that depends on it.
    uint32_t rc = mpMod(asInt(k), asInt(&l->order), &reduced);
    kob::TauBits bits;
    WipeOnExit<kob::TauBits> wipeBits(bits);
    kob::Zint c0 = kob::fromInt(asInt(&kc.c0.magnitude)), c1 = kob::fromInt(asInt(&kc.c1.magnitude));
    c0.negative = kc.c0.sign != 0;
    c1.negative = kc.c1.sign != 0;
    kob::Zint kz = kob::fromInt(asInt(&reduced));
    WipeOnExit<kob::Zint> wipeK(kz);
    rc |= kob::tauExpand(mu, c0, c1, kz, &bits);
    CombRecord comb;
    WipeOnExit<CombRecord> wipeComb(comb);
    kob::combColumns(l->fieldBits + 6, bits, &comb);

    // One random byte per column: whole draws of 32, then the rest.
    uint8_t random[32 * 2];
    WipeOnExit<uint8_t[64]> wipeRandom(random);
    const uint32_t d = comb.count;
    if (d > sizeof random) return 1;
    if (d > 0) {
        uint32_t drawn = 0;
        for (uint32_t i = 0; i < (d - 1) / 32; ++i, drawn += 32) rc |= tess::crypto::rngBytes(gd, 32, random + drawn);
        rc |= tess::crypto::rngBytes(gd, d - drawn, random + drawn);
    }
    const uint32_t keep = 6 * (l->fieldBits / 17 + 1) / 9;
    rc |= ecPickTauColumns(keep, random, &comb);
    kob::columnsToBits(comb, &bits);
    rc |= kob::tauValue(kc, asInt(&l->order), bits, k);

    ksPoint sum{};
    rc |= combEvaluate(gd, mu, comb, &l->g, l->blindPoint, &sum);
    rc |= tess::crypto::mp::mpModAdd(asInt(k), asInt(&l->blindScalar), asInt(&l->order), k);
    r->x = sum.x;
    r->y = sum.y;
    return rc;
}

// lambda with tau(G) = lambda G: a root of lambda^2 - mu lambda + 2 mod n.
uint32_t kobEigenvalue(ksGlobalData* gd, int mu, ksIntReduced* lambda) {
    GlobalDataLayout* l = layoutOf(gd);
    const ksInt* n = asInt(&l->order);
    ksIntGeneral seven, nm7, one, two;
    mpSetWord(asInt(&seven), 7);
    mpSetWord(asInt(&one), 1);
    mpSetWord(asInt(&two), 2);
    // Curve constants only: nothing here is secret, so each step returns at its failure.
    if (mpSubtract(n, asInt(&seven), asInt(&nm7)) != 0) return 1;
    ksIntReduced root, t, half;
    uint32_t found = 0;
    if (mpModSqrt(asInt(&nm7), n, &root, &found) != 0 || found == 0) return 1;
    if (const uint32_t step = mu > 0 ? tess::crypto::mp::mpModAdd(asInt(&root), asInt(&one), n, &t)
                                     : mpModSubtract(asInt(&root), asInt(&one), n, &t))
        return step;
    uint32_t invertible = 0;
    if (mpModInverse(asInt(&two), n, &half, &invertible) != 0 || invertible == 0) return 1;
    if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&t), asInt(&half), n, lambda)) return step;
    // The other root is mu - lambda.
    ksPoint q{}, g = l->g;
    g.table = nullptr;
    if (const uint32_t step = ladderMultiply(gd, asInt(lambda), n, &g, &q, true)) return step;
    ksFieldElement gx2{}, gy2{};
    if (const uint32_t step = fieldSquare(gd, &g.x, &gx2)) return step;
    if (const uint32_t step = fieldSquare(gd, &g.y, &gy2)) return step;
    uint32_t sameX = 1, sameY = 1;
    if (const uint32_t step = fieldEqual(gd, &q.x, &gx2, &sameX)) return step;
    if (const uint32_t step = fieldEqual(gd, &q.y, &gy2, &sameY)) return step;
    if (sameX != 0 || sameY != 0) {
        ksIntReduced other;
        if (const uint32_t step = mpModSubtract(n, asInt(lambda), n, &other)) return step;
        return mu > 0 ? tess::crypto::mp::mpModAdd(asInt(&other), asInt(&one), n, lambda)
                      : mpModSubtract(asInt(&other), asInt(&one), n, lambda);
    }
    return 0;
}

}  // namespace

const ksCurveEngine kKoblitzEngine = {
    ecBinaryAdd,     ecBinaryDouble, kobMultiply,   kobMultiplyX,       kobTwinMultiplyX,
    kobBaseMultiply, kobHeapSize,    kobPrecompute, ecBinaryIsInfinity,
};

}  // namespace tess::crypto

uint32_t tess::crypto::koblitzEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    using namespace tess::crypto;
    *engineId = kKoblitzEngineId;
    if (gd == nullptr) return 0;
    GlobalDataLayout* l = layoutOf(gd);
    int mu = 0;
    if (muOf(gd, &mu) != 0) return 1;
    kob::KoblitzConstants* kc = koblitzConstants(gd);
    kob::Zint c0, c1;
    if (const uint32_t step = kob::reductionElement(mu, l->fieldBits, &c0, &c1)) return step;
    kc->c0.sign = c0.negative ? 1 : 0;
    kc->c1.sign = c1.negative ? 1 : 0;
    if (const uint32_t step = kob::magnitudeToInt(c0, &kc->c0.magnitude)) return step;
    if (const uint32_t step = kob::magnitudeToInt(c1, &kc->c1.magnitude)) return step;
    if (const uint32_t step = kobEigenvalue(gd, mu, &kc->lambda)) return step;
    if (const uint32_t step = kob::lucasTable(mu, kc)) return step;
    if (heap == nullptr) return 0;
    l->g.table = heap;
    if (const uint32_t step = kobPrecompute(gd, &l->g)) return step;
    uint8_t seed[32];
    WipeOnExit<uint8_t[32]> wipeSeed(seed);
    ksIntGeneral drawn;
    WipeOnExit<ksIntGeneral> wipeDrawn(drawn);
    if (const uint32_t step = tess::crypto::rngBytes(gd, 32, seed)) return step;
    if (const uint32_t step = tess::crypto::mp::mpFromOctets(32, seed, asInt(&drawn))) return step;
    if (const uint32_t step = mpMod(asInt(&drawn), asInt(&l->order), &l->blindScalar)) return step;
    l->blindPoint = ksPoint{};
    if (const uint32_t step = kobBaseMultiply(gd, 1, &l->blindScalar, &l->blindPoint)) return step;
    l->blindPoint.table = nullptr;
    return 0;
}

uint32_t a1924(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId) {
    return tess::crypto::koblitzEngineInit(gd, heap, engineId);
}
