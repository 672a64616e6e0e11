// Point arithmetic shared by the prime-curve engines.
#include "crypto/prime_curve_ops.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cstring>
#include <initializer_list>

#include "crypto/prime_field.h"
#include "crypto/prime_field_arith.h"
#include "crypto/prime_field_ops.h"
#include "crypto/wipe.h"

using namespace ks::mp;

namespace ks::prime {

bool isInfinity(ksGlobalData* gd, const ksPoint* p)
{
    FieldOps f(gd);
    return f.isZero(p->x) && f.isZero(p->y);
}

uint32_t ecPrimeIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
    *flag = f.isZero(p->x) && f.isZero(p->y) ? 0 : 1;
    return 0;
}

namespace {
// lambda = (3x^2 + a) / 2y, with or without the a.
uint32_t primeDouble(ksGlobalData* gd, const ksPoint* p, ksPoint* r, bool withA)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
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
    if (withA)
        f.add(t2, layoutOf(gd)->a, t2);
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

uint32_t ecPrimeAddWith(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r, AffineDouble dbl)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
    if (isInfinity(gd, p)) {
        *r = *q;
        return 0;
    }
    if (isInfinity(gd, q)) {
        *r = *p;
        return 0;
    }
    if (f.equal(p->x, q->x)) {
        if (f.equal(p->y, q->y))
            return dbl(gd, p, r);
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

uint32_t ecPrimeAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r)
{
    return ecPrimeAddWith(gd, p, q, r, ecPrimeDouble);
}


namespace {
// The P-256 module's arithmetic inlined into the point formulas (no method
// table, no per-call lookup). Same values as the module: products reduced
// to canonical form, sums and differences kept below 2^256; zero tests are
// on the value, so callers only ever see the same results.
#pragma GCC push_options
#pragma GCC optimize("no-tree-slp-vectorize", "no-tree-loop-vectorize")
namespace p256 {
using pf::u128;
using Fe = ksFieldElement;
constexpr pf::FoldTerm kTerms[4] = {{0, 1}, {3, -1}, {6, -1}, {7, 1}};
constexpr uint32_t kP[8] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 1, 0xFFFFFFFF};
constexpr uint64_t kPL[4] = {0xFFFFFFFFFFFFFFFFull, 0x00000000FFFFFFFFull, 0, 0xFFFFFFFF00000001ull};
constexpr pf::FoldMatrix<8, 4> kMatrix{kTerms};

inline bool active(const ksGlobalData* gd) { return layoutOf(gd)->fieldMethodsId == kPrimeP256Id; }

inline void load(const Fe& e, uint64_t* x) { std::memcpy(x, e.words, 32); }
inline void store(const uint64_t* x, Fe& e) { std::memcpy(e.words, x, 32); }
// Carry chains on 64-bit limbs (the compiler's 128-bit sums spill badly).
inline uint64_t adc(uint64_t a, uint64_t b, unsigned char& c)
{
#if defined(__x86_64__)
    unsigned long long r;
    c = _addcarry_u64(c, a, b, &r);
    return r;
#else
    const u128 s = u128(a) + b + c;
    c = uint8_t(s >> 64);
    return uint64_t(s);
#endif
}
inline uint64_t sbb(uint64_t a, uint64_t b, unsigned char& c)
{
#if defined(__x86_64__)
    unsigned long long r;
    c = _subborrow_u64(c, a, b, &r);
    return r;
#else
    const u128 d = u128(a) - b - c;
    c = uint8_t(d >> 64) & 1;
    return uint64_t(d);
#endif
}
inline uint64_t addL(uint64_t* x, const uint64_t* y)
{
    unsigned char c = 0;
    for (int i = 0; i < 4; ++i)
        x[i] = adc(x[i], y[i], c);
    return c;
}
inline uint64_t subL(uint64_t* x, const uint64_t* y)
{
    unsigned char c = 0;
    for (int i = 0; i < 4; ++i)
        x[i] = sbb(x[i], y[i], c);
    return c;
}
inline void add(const Fe& a, const Fe& b, Fe& o)
{
    uint64_t x[4], y[4];
    load(a, x);
    load(b, y);
    uint64_t carry = addL(x, y);
    while (carry != 0)
        carry -= subL(x, kPL);
    store(x, o);
}
inline void sub(const Fe& a, const Fe& b, Fe& o)
{
    uint64_t x[4], y[4];
    load(a, x);
    load(b, y);
    uint64_t borrow = subL(x, y);
    while (borrow != 0)
        borrow -= addL(x, kPL);
    store(x, o);
}
inline void mul(const Fe& a, const Fe& b, Fe& o)
{
    uint32_t t[16];
    pf::mulWords<8>(a.words, b.words, t);
    pf::matrixReduce<8>(t, kMatrix, kTerms, kP, o.words);
}
inline void sqr(const Fe& a, Fe& o)
{
    uint32_t t[16];
    pf::sqrWords<8>(a.words, t);
    pf::matrixReduce<8>(t, kMatrix, kTerms, kP, o.words);
}
// Montgomery form (R = 2^256) for the multiplication-heavy loops: p = -1
// mod 2^64, so each round's multiplier is the low limb itself.
constexpr uint64_t kR2[4] = {0x3, 0xfffffffbffffffffull, 0xfffffffffffffffeull, 0x4fffffffdull};
inline void montReduce(uint64_t* t, Fe& o)  // t: 8 limbs, value below 2^256 p
{
    uint64_t top = 0;
    for (int i = 0; i < 4; ++i) {
        // t + m p with p = (2^64 - 1) + (2^32 - 1) 2^64 + p3 2^192: the low
        // limb cancels into m 2^32 one limb up.
        const uint64_t m = t[i];
        const u128 mp3 = u128(m) * kPL[3];
        unsigned char c = 0;
        t[i + 1] = adc(t[i + 1], m << 32, c);
        t[i + 2] = adc(t[i + 2], m >> 32, c);
        t[i + 3] = adc(t[i + 3], uint64_t(mp3), c);
        t[i + 4] = adc(t[i + 4], uint64_t(mp3 >> 64), c);
        for (int k = i + 5; k < 8; ++k)
            t[k] = adc(t[k], 0, c);
        top += c;
    }
    uint64_t r[4] = {t[4], t[5], t[6], t[7]};
    for (;;) {
        uint64_t d[4] = {r[0], r[1], r[2], r[3]};
        const uint64_t borrow = subL(d, kPL);
        if (top == 0 && borrow != 0)
            break;
        top -= borrow;
        std::memcpy(r, d, sizeof r);
    }
    store(r, o);
}
// One row x_i y: five limbs, added into t from limb i.
inline void product(const uint64_t* x, const uint64_t* y, uint64_t* t)
{
    for (int i = 0; i < 4; ++i) {
        uint64_t lo[4], hi[4];
        for (int j = 0; j < 4; ++j) {
            const u128 p = u128(x[i]) * y[j];
            lo[j] = uint64_t(p);
            hi[j] = uint64_t(p >> 64);
        }
        unsigned char c = 0;
        uint64_t row[5];
        row[0] = lo[0];
        row[1] = adc(hi[0], lo[1], c);
        row[2] = adc(hi[1], lo[2], c);
        row[3] = adc(hi[2], lo[3], c);
        row[4] = hi[3] + c;
        if (i == 0) {
            for (int j = 0; j < 5; ++j)
                t[j] = row[j];
            continue;
        }
        c = 0;
        for (int j = 0; j < 4; ++j)
            t[i + j] = adc(t[i + j], row[j], c);
        t[i + 4] = row[4] + c;
    }
}
// Squaring: the six cross products once, doubled, then the diagonal.
inline void squareL(const uint64_t* x, uint64_t* t)
{
    u128 c = u128(x[0]) * x[1];
    t[1] = uint64_t(c);
    c = (c >> 64) + u128(x[0]) * x[2];
    t[2] = uint64_t(c);
    c = (c >> 64) + u128(x[0]) * x[3];
    t[3] = uint64_t(c);
    t[4] = uint64_t(c >> 64);
    c = u128(x[1]) * x[2] + t[3];
    t[3] = uint64_t(c);
    c = (c >> 64) + u128(x[1]) * x[3] + t[4];
    t[4] = uint64_t(c);
    t[5] = uint64_t(c >> 64);
    c = u128(x[2]) * x[3] + t[5];
    t[5] = uint64_t(c);
    t[6] = uint64_t(c >> 64);
    t[7] = t[6] >> 63;
    for (int i = 6; i > 1; --i)
        t[i] = (t[i] << 1) | (t[i - 1] >> 63);
    t[1] <<= 1;
    t[0] = 0;
    u128 acc = 0;
    for (int i = 0; i < 4; ++i) {
        const u128 sq = u128(x[i]) * x[i];
        acc += u128(t[2 * i]) + uint64_t(sq);
        t[2 * i] = uint64_t(acc);
        acc = (acc >> 64) + t[2 * i + 1] + uint64_t(sq >> 64);
        t[2 * i + 1] = uint64_t(acc);
        acc >>= 64;
    }
}
inline void montSqr(const Fe& a, Fe& o)
{
    uint64_t x[4], t[8];
    load(a, x);
    squareL(x, t);
    montReduce(t, o);
}
inline void montMulL(const uint64_t* x, const uint64_t* y, Fe& o)
{
    uint64_t t[8];
    product(x, y, t);
    montReduce(t, o);
}
inline void montMul(const Fe& a, const Fe& b, Fe& o)
{
    uint64_t x[4], y[4];
    load(a, x);
    load(b, y);
    montMulL(x, y, o);
}
inline void toMont(Fe& a)
{
    uint64_t x[4];
    load(a, x);
    montMulL(x, kR2, a);
}
inline void fromMont(Fe& a)
{
    uint64_t x[4], one[4] = {1, 0, 0, 0};
    load(a, x);
    montMulL(x, one, a);
}
template <bool M>
inline void mulF(const Fe& a, const Fe& b, Fe& o)
{
    if constexpr (M)
        montMul(a, b, o);
    else
        mul(a, b, o);
}
template <bool M>
inline void sqrF(const Fe& a, Fe& o)
{
    if constexpr (M)
        montSqr(a, o);
    else
        sqr(a, o);
}

inline bool isZero(const Fe& a)
{
    uint64_t x[4];
    load(a, x);
    if ((x[0] | x[1] | x[2] | x[3]) == 0)
        return true;
    return x[0] == kPL[0] && x[1] == kPL[1] && x[2] == kPL[2] && x[3] == kPL[3];
}

// a = -3 doubling, the same formulas as the generic form.
template <bool M>
inline void dbl(const Jacobian* p, Jacobian* r)
{
    if (isZero(p->Z)) {
        r->Z = p->Z;
        return;
    }
    alignas(32) Fe m, t1, t2, s, y2, z3, x3;
    sqrF<M>(p->Z, t1);
    add(p->X, t1, t2);
    sub(p->X, t1, t1);
    mulF<M>(t1, t2, t1);
    add(t1, t1, t2);
    add(t1, t2, m);
    mulF<M>(p->Y, p->Z, z3);
    add(z3, z3, z3);
    sqrF<M>(p->Y, y2);
    mulF<M>(p->X, y2, s);
    add(s, s, s);
    add(s, s, s);
    sqrF<M>(m, x3);
    sub(x3, s, x3);
    sub(x3, s, x3);
    sub(s, x3, t2);
    mulF<M>(m, t2, t2);
    sqrF<M>(y2, t1);
    add(t1, t1, t1);
    add(t1, t1, t1);
    add(t1, t1, t1);
    sub(t2, t1, r->Y);
    r->X = x3;
    r->Z = z3;
}

template <bool M>
inline void tail(const Fe& u1, const Fe& s1, const Fe& h, const Fe& rr, const Fe& zz, Jacobian* r)
{
    alignas(32) Fe h2, h3, u1h2, x3, t;
    mulF<M>(zz, h, r->Z);
    sqrF<M>(h, h2);
    mulF<M>(u1, h2, u1h2);
    mulF<M>(h2, h, h3);
    sqrF<M>(rr, x3);
    sub(x3, h3, x3);
    sub(x3, u1h2, x3);
    sub(x3, u1h2, x3);
    mulF<M>(s1, h3, h3);
    sub(u1h2, x3, t);
    mulF<M>(rr, t, t);
    sub(t, h3, r->Y);
    r->X = x3;
}

// 1 when p1 = p2 and the caller's doubling must run.
template <bool M>
inline bool addJ(const Jacobian* p1, const Jacobian* p2, Jacobian* r)
{
    if (isZero(p1->Z)) {
        *r = *p2;
        return false;
    }
    if (isZero(p2->Z)) {
        *r = *p1;
        return false;
    }
    alignas(32) Fe t1, u1, s1, u2, z13, h, s2, rr, zz;
    sqrF<M>(p2->Z, t1);
    mulF<M>(p1->X, t1, u1);
    mulF<M>(p2->Z, t1, t1);
    mulF<M>(p1->Y, t1, s1);
    sqrF<M>(p1->Z, t1);
    mulF<M>(p2->X, t1, u2);
    mulF<M>(p1->Z, t1, z13);
    sub(u2, u1, h);
    mulF<M>(p2->Y, z13, s2);
    sub(s2, s1, rr);
    if (isZero(h)) {
        if (isZero(rr))
            return true;
        std::memset(&r->Z, 0, sizeof r->Z);
        return false;
    }
    mulF<M>(p1->Z, p2->Z, zz);
    tail<M>(u1, s1, h, rr, zz, r);
    return false;
}

template <bool M>
inline bool addA(const Jacobian* a, const Jacobian* q, Jacobian* r)
{
    if (isZero(q->Z)) {
        *r = *a;
        return false;
    }
    alignas(32) Fe t1, u1, s1, h, rr;
    sqrF<M>(q->Z, t1);
    mulF<M>(a->X, t1, u1);
    mulF<M>(q->Z, t1, t1);
    mulF<M>(a->Y, t1, s1);
    sub(q->Y, s1, rr);
    sub(q->X, u1, h);
    if (isZero(h)) {
        if (isZero(rr))
            return true;
        std::memset(&r->Z, 0, sizeof r->Z);
        return false;
    }
    alignas(32) const Fe z = q->Z;
    tail<M>(u1, s1, h, rr, z, r);
    return false;
}
}  // namespace p256
#pragma GCC pop_options
}  // namespace

namespace {
enum class DoubleForm { General, Minus3, ZeroA };

template <DoubleForm Form>
uint32_t jacDoubleForm(ksGlobalData* gd, const Jacobian* p, Jacobian* r)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
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

uint32_t jacDouble(ksGlobalData* gd, const Jacobian* p, Jacobian* r)
{
    return jacDoubleForm<DoubleForm::General>(gd, p, r);
}
uint32_t jacDoubleMinus3(ksGlobalData* gd, const Jacobian* p, Jacobian* r)
{
    if (p256::active(gd)) {
        p256::dbl<false>(p, r);
        return 0;
    }
    return jacDoubleForm<DoubleForm::Minus3>(gd, p, r);
}
uint32_t jacDoubleZeroA(ksGlobalData* gd, const Jacobian* p, Jacobian* r)
{
    return jacDoubleForm<DoubleForm::ZeroA>(gd, p, r);
}

bool p256Fast(const ksGlobalData* gd) { return p256::active(gd); }
void p256Enter(Jacobian* p)
{
    p256::toMont(p->X);
    p256::toMont(p->Y);
    p256::toMont(p->Z);
}
void p256Leave(Jacobian* p)
{
    p256::fromMont(p->X);
    p256::fromMont(p->Y);
    p256::fromMont(p->Z);
}
void p256DoubleM(const Jacobian* p, Jacobian* r) { p256::dbl<true>(p, r); }
void p256AddM(const Jacobian* p1, const Jacobian* p2, Jacobian* r)
{
    if (p256::addJ<true>(p1, p2, r))
        p256::dbl<true>(p1, r);
}
void p256AddAffineM(const Jacobian* a, const Jacobian* q, Jacobian* r)
{
    if (p256::addA<true>(a, q, r))
        p256::dbl<true>(a, r);
}

namespace {
// The tail both additions share: given U1, S1, H = U2 - U1, Rr = S2 - S1
// and the product of the Z factors zz (Z1 Z2 or Z), writes r.
void addTail(const FieldOps& f, const ksFieldElement& u1, const ksFieldElement& s1, const ksFieldElement& h,
             const ksFieldElement& rr, const ksFieldElement& zz, Jacobian* r)
{
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

uint32_t jacAdd(ksGlobalData* gd, const Jacobian* p1, const Jacobian* p2, Jacobian* r, JacDouble dbl)
{
    if (p256::active(gd))
        return p256::addJ<false>(p1, p2, r) ? dbl(gd, p1, r) : 0;
    FieldOps f(gd);
    if (!f.ok())
        return 1;
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
        if (f.isZero(rr))
            return dbl(gd, p1, r);
        f.zero(r->Z);
        return 0;
    }
    f.mul(p1->Z, p2->Z, zz);
    addTail(f, u1, s1, h, rr, zz, r);
    return 0;
}

uint32_t jacAddAffine(ksGlobalData* gd, const Jacobian* a, const Jacobian* q, Jacobian* r, JacDouble dbl)
{
    if (p256::active(gd))
        return p256::addA<false>(a, q, r) ? dbl(gd, a, r) : 0;
    FieldOps f(gd);
    if (!f.ok())
        return 1;
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
        if (f.isZero(rr))
            return dbl(gd, a, r);
        f.zero(r->Z);
        return 0;
    }
    const ksFieldElement z = q->Z;
    addTail(f, u1, s1, h, rr, z, r);
    return 0;
}

uint32_t jacToAffine(ksGlobalData* gd, const Jacobian* q, ksPoint* r)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
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

uint32_t jacToAffineX(ksGlobalData* gd, const Jacobian* q, ksFieldElement* x)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
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

uint32_t toJacobian(ksGlobalData* gd, const ksPoint* p, Jacobian* r)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
    r->X = p->x;
    r->Y = p->y;
    f.one(r->Z);
    return 0;
}

int Naf::top() const
{
    for (int w = 16; w >= 0; --w)
        if (words[w] != 0)
            return 16 * w + (31 - __builtin_clz(words[w])) / 2;
    return -1;
}

uint32_t ecNafRecode(const ksInt* k, Naf* naf)
{
    std::memset(naf, 0, sizeof *naf);
    uint32_t length = 0;
    mpBitLength(k, &length);
    if (length == 0)
        return 0;
    if (length > 271)
        return 1;
    static constexpr uint8_t kStep[8] = {0, 1, 1, 8, 0, 11, 11, 8};
    auto bit = [&](uint32_t i) -> uint32_t { return i < length ? (k->digits[i / 16] >> (i % 16)) & 1 : 0; };
    uint32_t carry = 0;
    for (uint32_t i = 0; i <= length; ++i) {
        const uint8_t t = kStep[4 * bit(i + 1) + 2 * carry + bit(i)];
        naf->words[i / 16] |= uint32_t(t & 3) << (2 * (i % 16));
        carry = t >> 3;
    }
    return 0;
}

uint32_t nafOfScalar(ksGlobalData* gd, const ksInt* k, Naf* naf)
{
    if (ecNafRecode(k, naf) == 0)
        return 0;
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipe(reduced);
    uint32_t rc = mpMod(k, asInt(&layoutOf(gd)->order), &reduced);
    return rc | ecNafRecode(asInt(&reduced), naf);
}

uint32_t buildWindowTable(ksGlobalData* gd, const ksPoint* p, WindowTable* t, JacDouble dbl)
{
    FieldOps f(gd);
    Jacobian one{}, minus{};
    uint32_t rc = toJacobian(gd, p, &one);
    minus = one;
    f.neg(one.Y, minus.Y);
    auto at = [&](int v) -> Jacobian& { return t->entry[WindowTable::slotOf(v)]; };
    at(1) = one;
    rc |= dbl(gd, &one, &at(2));
    rc |= dbl(gd, &at(2), &at(4));
    rc |= jacAddAffine(gd, &minus, &at(4), &at(3), dbl);
    rc |= jacAddAffine(gd, &one, &at(4), &at(5), dbl);
    rc |= dbl(gd, &at(4), &at(8));
    rc |= jacAddAffine(gd, &minus, &at(8), &at(7), dbl);
    rc |= jacAddAffine(gd, &one, &at(8), &at(9), dbl);
    for (int v : {1, 2, 3, 4, 5, 7, 8, 9}) {
        at(-v) = at(v);
        f.neg(at(v).Y, at(-v).Y);
    }
    return rc;
}

uint32_t makeTablesAffine(ksGlobalData* gd, WindowTable* t1, WindowTable* t2)
{
    FieldOps f(gd);
    static constexpr int kValues[7] = {2, 3, 4, 5, 7, 8, 9};
    Jacobian* entries[14];
    int count = 0;
    for (WindowTable* t : {t1, t2})
        if (t)
            for (int v : kValues)
                entries[count++] = &t->entry[WindowTable::slotOf(v)];
    // An entry at infinity (a point of small order) keeps Z = 0 and is
    // left out of the shared inversion.
    ksFieldElement prefix[14];
    ksFieldElement run{};
    f.one(run);
    for (int i = 0; i < count; ++i) {
        if (!f.isZero(entries[i]->Z))
            f.mul(run, entries[i]->Z, run);
        prefix[i] = run;
    }
    ksFieldElement inv{};
    uint32_t rc = f.inv(run, inv);
    for (int i = count - 1; i >= 0; --i) {
        Jacobian* e = entries[i];
        if (f.isZero(e->Z))
            continue;
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

int windowStep(Window* w, int digit)
{
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

uint32_t ecCombEvaluate(ksGlobalData* gd, const void* table, const CombRecord* comb, ksPoint* r, JacDouble dbl)
{
    FieldOps f(gd);
    if (!f.ok())
        return 1;
    alignas(32) Jacobian q{}, a{};
    f.one(a.Z);
    uint32_t rc = 0;
    const uint32_t d = comb->count > 43 ? 43 : comb->count;
    if (d != 0) {
        const uint32_t w = fieldWords(layoutOf(gd)->fieldBits);
        const uint32_t* words = static_cast<const uint32_t*>(table);
        const uint32_t rows = (d - 1) / 8 + 1;
        if (dbl == jacDoubleMinus3 && p256Fast(gd)) {
            // Montgomery form throughout; each entry converted as it is read.
            p256Enter(&a);
            for (uint32_t row = rows; row-- > 0;) {
                p256DoubleM(&q, &q);
                for (uint32_t j = 8; j-- > 0;) {
                    const uint32_t c = j * rows + row;
                    if (c >= d || comb->columns[c] == 0)
                        continue;
                    const uint32_t* e = words + size_t(63 * j + comb->columns[c] - 1) * 2 * w;
                    std::memcpy(a.X.words, e, w * 4);
                    std::memcpy(a.Y.words, e + w, w * 4);
                    p256::toMont(a.X);
                    p256::toMont(a.Y);
                    p256AddAffineM(&a, &q, &q);
                }
            }
            p256Leave(&q);
            return rc | jacToAffine(gd, &q, r);
        }
        for (uint32_t row = rows; row-- > 0;) {
            rc |= dbl(gd, &q, &q);
            for (uint32_t j = 8; j-- > 0;) {
                const uint32_t c = j * rows + row;
                if (c >= d || comb->columns[c] == 0)
                    continue;
                const uint32_t* e = words + size_t(63 * j + comb->columns[c] - 1) * 2 * w;
                std::memcpy(a.X.words, e, w * 4);
                std::memcpy(a.Y.words, e + w, w * 4);
                rc |= jacAddAffine(gd, &a, &q, &q, dbl);
            }
        }
    }
    return rc | jacToAffine(gd, &q, r);
}

uint32_t orderBits(const ksGlobalData* gd)
{
    uint32_t bits = 0;
    mpBitLength(asInt(&layoutOf(gd)->order), &bits);
    return bits;
}

uint32_t heapSize(uint32_t m, uint32_t* size)
{
    *size = fieldWords(m) * 4032;
    return 0;
}

uint32_t baseMultiply(ksGlobalData* gd, const EngineOps& ops, uint32_t plain, ksIntReduced* k, ksPoint* r)
{
    GlobalDataLayout* l = layoutOf(gd);
    FieldOps f(gd);
    if (!f.ok())
        return 1;
    if (k->count == 0) {
        f.zero(r->x);
        f.zero(r->y);
        return 0;
    }
    if (l->g.table == nullptr)
        return ops.multiply(gd, asInt(k), &l->g, r);
    ksIntReduced reduced;
    WipeOnExit<ksIntReduced> wipeReduced(reduced);
    uint32_t rc = mpMod(asInt(k), asInt(&l->order), &reduced);
    if (ops.reduceInPlace)
        *k = reduced;
    CombRecord comb;
    WipeOnExit<CombRecord> wipeComb(comb);
    rc |= ecCombColumns(ops.combBits(gd), asInt(&reduced), &comb);
    if (plain == 0) {
        uint8_t random[43];
        WipeOnExit<uint8_t[43]> wipeRandom(random);
        rc |= a3391(gd, 32, random);
        rc |= a3391(gd, 11, random + 32);
        rc |= ecPickColumns(l->fieldBits / 17 + 1, random, &comb);
        rc |= ecCombToInteger(&comb, k);
    }
    const void* saved = r->table;
    rc |= ecCombEvaluate(gd, l->g.table, &comb, r, ops.jacDbl);
    r->table = ops.clearTable ? nullptr : saved;
    if (plain == 0) {
        rc |= a1336(asInt(k), asInt(&l->blindScalar), asInt(&l->order), k);
        rc |= ops.add(gd, &l->blindPoint, r, r);
    }
    return rc;
}

uint32_t precomputeAndBlind(ksGlobalData* gd, ksHeap* heap, const EngineOps& ops,
                            uint32_t (*base)(ksGlobalData*, uint32_t, ksIntReduced*, ksPoint*))
{
    GlobalDataLayout* l = layoutOf(gd);
    l->g.table = heap;
    uint32_t rc = ops.precompute(gd, &l->g);
    uint8_t seed[32];
    WipeOnExit<uint8_t[32]> wipeSeed(seed);
    ksIntGeneral drawn;
    WipeOnExit<ksIntGeneral> wipeDrawn(drawn);
    rc |= a3391(gd, 32, seed);
    rc |= a1720(32, seed, asInt(&drawn));
    rc |= mpMod(asInt(&drawn), asInt(&l->order), &l->blindScalar);
    l->blindPoint = ksPoint{};
    rc |= base(gd, 1, &l->blindScalar, &l->blindPoint);
    l->blindPoint.table = nullptr;
    return rc;
}

}  // namespace ks::prime
