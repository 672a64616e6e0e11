// Engine dispatch, the affine binary-curve operations the binary engines
// share, the comb column picker and the modular square root.
#include "crypto/curve/curve_engine.h"

#include <cstring>

#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/internal.h"
#include "crypto/curve/koblitz_engine.h"
#include "crypto/mp/internal.h"

using namespace tess::crypto::mp;

namespace tess::crypto {

const ksCurveEngine* curveEngineForId(uint32_t id) {
    return id == kKoblitzEngineId ? &kKoblitzEngine : extraCurveEngineForId(id);
}

const ksCurveEngine* curveEngineOf(const ksGlobalData* gd) { return curveEngineForId(layoutOf(gd)->engineTableId); }

uint32_t ecMultiplyX(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksFieldElement* x) {
    const ksCurveEngine* e = curveEngineOf(gd);
    return e ? e->multiplyX(gd, k, p, x) : 1;
}

uint32_t ecTwinMultiplyX(ksGlobalData* gd, const ksInt* u, const ksPoint* p, const ksInt* v, const ksPoint* q,
                         ksFieldElement* x) {
    const ksCurveEngine* e = curveEngineOf(gd);
    return e ? e->twinMultiplyX(gd, u, p, v, q, x) : 1;
}

uint32_t ecIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag) {
    const ksCurveEngine* e = curveEngineOf(gd);
    return e ? e->isInfinity(gd, p, flag) : 1;
}

uint32_t ecBinaryIsInfinity(ksGlobalData* gd, const ksPoint* p, uint32_t* flag) {
    uint32_t zero = 1;
    const uint32_t rc = fieldIsZero(gd, &p->x, &zero);
    *flag = zero == 0 ? 0 : 1;
    return rc;
}

uint32_t ecBinaryDouble(ksGlobalData* gd, const ksPoint* p, ksPoint* r) {
    r->table = nullptr;
    uint32_t zero = 1;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = fieldIsZero(gd, &p->x, &zero);
    if (rc != 0) return rc;
    if (zero == 0) {
        rc |= fieldSetZero(gd, &r->x);
        return rc;
    }
    const GlobalDataLayout* l = layoutOf(gd);
    ksFieldElement t{}, lambda{}, x1sq{}, x3{}, y3{};
    rc |= fieldInvert(gd, &p->x, &t);
    rc |= fieldMultiply(gd, &p->y, &t, &lambda);
    rc |= fieldAdd(gd, &lambda, &p->x, &lambda);  // lambda = x + y/x
    rc |= fieldSquare(gd, &p->x, &x1sq);
    rc |= fieldSquare(gd, &lambda, &x3);
    rc |= fieldAdd(gd, &x3, &lambda, &x3);
    rc |= fieldAdd(gd, &x3, &l->a, &x3);
    rc |= fieldMultiply(gd, &lambda, &x3, &y3);
    rc |= fieldAdd(gd, &y3, &x3, &y3);
    rc |= fieldAdd(gd, &y3, &x1sq, &y3);
    r->x = x3;
    r->y = y3;
    return rc;
}

uint32_t ecBinaryAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r) {
    uint32_t pInf = 1, qInf = 1;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = fieldIsZero(gd, &p->x, &pInf) | fieldIsZero(gd, &q->x, &qInf);
    if (rc != 0) return rc;
    if (pInf == 0) {
        *r = *q;
        return 0;
    }
    if (qInf == 0) {
        *r = *p;
        return 0;
    }
    uint32_t sameX = 1, sameY = 1;
    rc |= fieldEqual(gd, &p->x, &q->x, &sameX);
    rc |= fieldEqual(gd, &p->y, &q->y, &sameY);
    if (rc != 0) return rc;
    if (sameX == 0 && sameY == 0) return ecBinaryDouble(gd, p, r);
    r->table = nullptr;
    if (sameX == 0) {
        rc |= fieldSetZero(gd, &r->x);
        rc |= fieldSetZero(gd, &r->y);
        return rc;
    }
    const GlobalDataLayout* l = layoutOf(gd);
    ksFieldElement t{}, lambda{}, u{}, v{}, x3{}, y3{};
    rc |= fieldAdd(gd, &p->x, &q->x, &t);
    rc |= fieldInvert(gd, &t, &t);
    rc |= fieldAdd(gd, &p->y, &q->y, &lambda);
    rc |= fieldMultiply(gd, &lambda, &t, &lambda);
    rc |= fieldSquare(gd, &lambda, &u);
    rc |= fieldAdd(gd, &u, &lambda, &u);
    rc |= fieldAdd(gd, &u, &q->x, &u);
    rc |= fieldAdd(gd, &u, &l->a, &u);  // u = x1 + x3
    rc |= fieldMultiply(gd, &lambda, &u, &v);
    rc |= fieldAdd(gd, &u, &p->x, &x3);
    rc |= fieldAdd(gd, &v, &x3, &y3);
    rc |= fieldAdd(gd, &y3, &p->y, &y3);
    r->x = x3;
    r->y = y3;
    return rc;
}

namespace {
uint32_t pickColumns(uint32_t marks, uint32_t keep, const uint8_t* r, CombRecord* comb) {
    if (keep < 1) {
        comb->count = 0;
        return 0;
    }
    const uint32_t d = comb->count;
    if (d > marks) return 1;
    uint8_t mark[43] = {};
    for (uint32_t i = keep; i < d; ++i) mark[i] = 1;
    for (uint32_t i = d; i-- > keep;) {
        const uint32_t j = r[i] % i;
        const uint8_t t = mark[i];
        mark[i] = mark[j];
        mark[j] = t;
    }
    for (uint32_t c = 0; c < d; ++c)
        if (mark[c]) comb->columns[c] = 0;
    return 0;
}
}  // namespace

uint32_t ecPickColumns(uint32_t keep, const uint8_t* r, CombRecord* comb) { return pickColumns(43, keep, r, comb); }
uint32_t ecPickTauColumns(uint32_t keep, const uint8_t* r, CombRecord* comb) { return pickColumns(30, keep, r, comb); }

uint32_t ecCombColumns(uint32_t bits, const ksInt* k, CombRecord* comb) {
    uint32_t length = 0;
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = mpBitLength(k, &length);
    std::memset(comb, 0, sizeof *comb);
    if (length == 0 || bits == 0 || rc != 0) return rc;
    const uint32_t d = (bits - 1) / 6 + 1;
    if (d > 43) return 1;
    for (uint32_t i = 0; i < 6; ++i)
        for (uint32_t j = 0; j < d; ++j) {
            const uint32_t t = i * d + j;
            if (t >= length) break;
            uint32_t bit = 0;
            rc |= mpTestBit(k, t, &bit);
            comb->columns[j] |= bit << i;
        }
    comb->count = d;
    return rc;
}

uint32_t ecCombToInteger(const CombRecord* comb, ksIntReduced* k) {
    std::memset(k, 0, sizeof *k);
    const uint32_t d = comb->count > 43 ? 43 : comb->count;
    uint32_t t = 0;
    for (uint32_t i = 0; i < 6 && t < 256; ++i)
        for (uint32_t j = 0; j < d && t < 256; ++j, ++t)
            if ((comb->columns[j] >> i) & 1) k->digits[t / 16] |= uint16_t(1u << (t % 16));
    uint32_t count = t == 0 ? 0 : (t - 1) / 16 + 1;
    while (count > 0 && k->digits[count - 1] == 0) --count;
    k->count = count;
    return 0;
}

uint32_t ecCombPrecompute(ksGlobalData* gd, uint32_t bits, const ksPoint* p, AffineAdd add, AffineDouble dbl) {
    if (p->table == nullptr || bits == 0) return p->table == nullptr ? 0 : 1;
    const uint32_t w = fieldWords(layoutOf(gd)->fieldBits);
    const uint32_t d = (bits - 1) / 6 + 1, r = (d - 1) / 8 + 1;
    uint32_t* table = static_cast<uint32_t*>(const_cast<void*>(p->table));
    auto entry = [&](uint32_t e) { return table + size_t(e) * 2 * w; };
    auto read = [&](uint32_t e) {
        ksPoint q{};
        std::memcpy(q.x.words, entry(e), w * 4);
        std::memcpy(q.y.words, entry(e) + w, w * 4);
        return q;
    };
    auto write = [&](uint32_t e, const ksPoint& q) {
        std::memcpy(entry(e), q.x.words, w * 4);
        std::memcpy(entry(e) + w, q.y.words, w * 4);
    };
    auto doubled = [&](ksPoint q, uint32_t times, uint32_t* rc) {
        for (uint32_t i = 0; i < times; ++i) *rc |= dbl(gd, &q, &q);
        return q;
    };
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    ksPoint g = *p;
    g.table = nullptr;
    write(0, g);
    for (uint32_t i = 1; i <= 5; ++i) write((1u << i) - 1, doubled(read((1u << (i - 1)) - 1), d, &rc));
    for (uint32_t j = 1; j <= 7; ++j)
        for (uint32_t i = 0; i <= 5; ++i)
            write(63 * j + (1u << i) - 1, doubled(read(63 * (j - 1) + (1u << i) - 1), r, &rc));
    for (uint32_t j = 0; j <= 7; ++j)
        for (uint32_t v = 3; v <= 63; ++v) {
            const uint32_t low = v & (0u - v);
            if (low == v) continue;
            const ksPoint a = read(63 * j + low - 1), b = read(63 * j + v - low - 1);
            ksPoint s{};
            rc |= add(gd, &a, &b, &s);
            write(63 * j + v - 1, s);
        }
    return rc;
}

namespace {

void setInt(ksInt* out, uint32_t v) { mpSetWord(out, v); }

void copyReduced(const ksInt* a, ksIntReduced* out) {
    const uint32_t n = a->count < kReducedDigits ? a->count : kReducedDigits;
    out->count = n;
    std::memcpy(out->digits, a->digits, n * sizeof(uint16_t));
}

// base^exp mod p, left to right from the base. The exponent is public (it is made from
// the modulus) and the loop already branches on its bits, so it returns at a failure.
uint32_t modExp(const ksInt* base, const ksInt* exp, const ksInt* p, ksIntReduced* out) {
    uint32_t bits = 0;
    if (const uint32_t step = mpBitLength(exp, &bits)) return step;
    if (bits == 0) {
        setInt(asInt(out), 1);
        return 0;
    }
    ksIntReduced b, acc;
    if (const uint32_t step = mpMod(base, p, &b)) return step;
    acc = b;
    for (uint32_t i = bits - 1; i-- > 0;) {
        if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&acc), asInt(&acc), p, &acc)) return step;
        uint32_t bit = 0;
        if (const uint32_t step = mpTestBit(exp, i, &bit)) return step;
        if (bit)
            if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&acc), asInt(&b), p, &acc)) return step;
    }
    *out = acc;
    return 0;
}

bool isOne(const ksIntReduced& a) { return a.count == 1 && a.digits[0] == 1; }

}  // namespace

uint32_t mpModSqrt(const ksInt* a, const ksInt* p, ksIntReduced* root, uint32_t* flag) {
    if (p->count == 0 || p->count > kModulusDigits || (p->digits[0] & 1) == 0) return 1;
    ksIntGeneral e, one, two;
    setInt(asInt(&one), 1);
    setInt(asInt(&two), 2);
    const uint32_t low = p->digits[0];
    ksIntReduced r;
    if ((low & 3) == 3 || (low & 7) == 5) {
        if ((low & 3) == 3) {
            // a^((p+1)/4)
            if (const uint32_t step = mpAdd(p, asInt(&one), asInt(&e))) return step;
            uint32_t cnt = 0;
            if (const uint32_t step = mpShiftRight(e.digits, e.count, 2, e.digits, kGeneralDigits, &cnt)) return step;
            e.count = cnt;
            if (const uint32_t step = modExp(a, asInt(&e), p, &r)) return step;
        } else {
            // v = a^((p-5)/8); r = v a; if v r != 1: r = r 2 (2^e)^2
            ksIntGeneral five;
            setInt(asInt(&five), 5);
            if (const uint32_t step = mpSubtract(p, asInt(&five), asInt(&e))) return step;
            uint32_t cnt = 0;
            if (const uint32_t step = mpShiftRight(e.digits, e.count, 3, e.digits, kGeneralDigits, &cnt)) return step;
            e.count = cnt;
            ksIntReduced v, check, t;
            if (const uint32_t step = modExp(a, asInt(&e), p, &v)) return step;
            if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&v), a, p, &r)) return step;
            if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&v), asInt(&r), p, &check)) return step;
            if (!isOne(check)) {
                if (const uint32_t step = modExp(asInt(&two), asInt(&e), p, &t)) return step;
                if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&t), asInt(&t), p, &t)) return step;
                if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&r), asInt(&two), p, &r)) return step;
                if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&r), asInt(&t), p, &r)) return step;
            }
        }
        ksIntReduced sq, am;
        if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&r), asInt(&r), p, &sq)) return step;
        if (const uint32_t step = mpMod(a, p, &am)) return step;
        uint32_t eq = 0;
        if (const uint32_t step = mpEqual(asInt(&sq), asInt(&am), &eq)) return step;
        *flag = eq ? 1 : 0;
        if (eq) *root = r;
        return 0;
    }
    // Tonelli-Shanks: p - 1 = 2^s q.
    ksIntGeneral pm1, q;
    if (const uint32_t step = mpSubtract(p, asInt(&one), asInt(&pm1))) return step;
    uint32_t s = 0;
    q = pm1;
    while (s < 256 && q.count > 0 && (q.digits[0] & 1) == 0) {
        uint32_t cnt = 0;
        if (const uint32_t step = mpShiftRight(q.digits, q.count, 1, q.digits, kGeneralDigits, &cnt)) return step;
        q.count = cnt;
        ++s;
    }
    // The least z >= 2 that is not a square: z^((p-1)/2) = p - 1.
    ksIntReduced c, pm1r;
    copyReduced(asInt(&pm1), &pm1r);
    bool found = false;
    for (uint32_t z = 2; z < 1000 && !found; ++z) {
        ksIntGeneral zi;
        setInt(asInt(&zi), z);
        if (const uint32_t step = modExp(asInt(&zi), asInt(&q), p, &c)) return step;
        ksIntReduced t = c;
        for (uint32_t i = 1; i < s; ++i)
            if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&t), asInt(&t), p, &t)) return step;
        uint32_t eq = 0;
        if (const uint32_t step = mpEqual(asInt(&t), asInt(&pm1r), &eq)) return step;
        found = eq != 0;
    }
    if (!found) return 1;
    ksIntGeneral q1;
    if (const uint32_t step = mpAdd(asInt(&q), asInt(&one), asInt(&q1))) return step;
    uint32_t cnt = 0;
    if (const uint32_t step = mpShiftRight(q1.digits, q1.count, 1, q1.digits, kGeneralDigits, &cnt)) return step;
    q1.count = cnt;
    ksIntReduced t;
    if (const uint32_t step = modExp(a, asInt(&q1), p, &r)) return step;
    if (const uint32_t step = modExp(a, asInt(&q), p, &t)) return step;
    uint32_t m = s;
    while (!isOne(t)) {
        if (t.count == 0) {
            *flag = 0;
            return 0;
        }
        uint32_t i = 1;
        ksIntReduced t2;
        if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&t), asInt(&t), p, &t2)) return step;
        while (i < m && !isOne(t2)) {
            if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&t2), asInt(&t2), p, &t2)) return step;
            ++i;
        }
        if (i >= m) {
            *flag = 0;
            return 0;
        }
        ksIntReduced b = c;
        for (uint32_t j = 0; j + i + 1 < m; ++j)
            if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&b), asInt(&b), p, &b)) return step;
        if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&r), asInt(&b), p, &r)) return step;
        if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&b), asInt(&b), p, &c)) return step;
        if (const uint32_t step = tess::crypto::mp::mpModMultiply(asInt(&t), asInt(&c), p, &t)) return step;
        m = i;
    }
    *root = r;
    *flag = 1;
    return 0;
}

}  // namespace tess::crypto

uint32_t tess::crypto::curvePointAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r) {
    const ksCurveEngine* e = tess::crypto::curveEngineOf(gd);
    return e ? e->pointAdd(gd, p, q, r) : 1;
}

uint32_t a1939(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r) {
    return tess::crypto::curvePointAdd(gd, p, q, r);
}

uint32_t tess::crypto::curvePointMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    const ksCurveEngine* e = tess::crypto::curveEngineOf(gd);
    return e ? e->multiply(gd, k, p, r) : 1;
}

uint32_t a1993(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r) {
    return tess::crypto::curvePointMultiply(gd, k, p, r);
}

uint32_t tess::crypto::curveBaseMultiply(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    const ksCurveEngine* e = tess::crypto::curveEngineOf(gd);
    return e ? e->baseMultiply(gd, plain, k, r) : 1;
}

uint32_t a1996(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r) {
    return tess::crypto::curveBaseMultiply(gd, plain, k, r);
}
