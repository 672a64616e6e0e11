// Integer side of the Koblitz engine: Z[tau] arithmetic for the recoding of
// scalars, and the way back from tau-adic strings to integers modulo n.
#include "crypto/curve/koblitz_recoding.h"
#include "crypto/mp/internal.h"

#include <algorithm>
#include <cstring>

using namespace tess::crypto::mp;

namespace tess::crypto::kob {

namespace {

constexpr int L = Zint::kLimbs;

int compareMag(const Zint& a, const Zint& b) {
    for (int i = L - 1; i >= 0; --i)
        if (a.mag[i] != b.mag[i]) return a.mag[i] < b.mag[i] ? -1 : 1;
    return 0;
}

Zint addMag(const Zint& a, const Zint& b) {
    Zint r;
    uint64_t carry = 0;
    for (int i = 0; i < L; ++i) {
        carry += uint64_t(a.mag[i]) + b.mag[i];
        r.mag[i] = uint32_t(carry);
        carry >>= 32;
    }
    return r;
}

// |a| - |b| for |a| >= |b|.
Zint subMag(const Zint& a, const Zint& b) {
    Zint r;
    int64_t borrow = 0;
    for (int i = 0; i < L; ++i) {
        int64_t t = int64_t(a.mag[i]) - b.mag[i] - borrow;
        borrow = t < 0;
        r.mag[i] = uint32_t(t);
    }
    return r;
}

int bitLength(const Zint& a) {
    for (int i = L - 1; i >= 0; --i)
        if (a.mag[i]) return 32 * i + 32 - __builtin_clz(a.mag[i]);
    return 0;
}

}  // namespace

Zint fromInt(const ksInt* a) {
    Zint r;
    const uint32_t n = a->count < 2 * L ? a->count : 2 * L;
    for (uint32_t i = 0; i < n; ++i) r.mag[i / 2] |= uint32_t(a->digits[i]) << (16 * (i % 2));
    return r;
}

Zint fromSmall(int64_t v) {
    Zint r;
    r.negative = v < 0;
    const uint64_t m = v < 0 ? uint64_t(-v) : uint64_t(v);
    r.mag[0] = uint32_t(m);
    r.mag[1] = uint32_t(m >> 32);
    return r;
}

bool isZero(const Zint& a) {
    for (uint32_t w : a.mag)
        if (w) return false;
    return true;
}

bool isOdd(const Zint& a) { return a.mag[0] & 1; }

Zint add(const Zint& a, const Zint& b) {
    if (a.negative == b.negative) {
        Zint r = addMag(a, b);
        r.negative = a.negative;
        return r;
    }
    if (compareMag(a, b) < 0) {
        Zint r = subMag(b, a);
        r.negative = b.negative;
        return r;
    }
    Zint r = subMag(a, b);
    r.negative = a.negative;
    return r;
}

Zint negate(const Zint& a) {
    Zint r = a;
    r.negative = !a.negative;
    return r;
}

Zint subtract(const Zint& a, const Zint& b) { return add(a, negate(b)); }

Zint multiply(const Zint& a, const Zint& b) {
    Zint r;
    int lenB = L;  // b's limbs above lenB are zero
    while (lenB > 0 && b.mag[lenB - 1] == 0) --lenB;
    for (int i = 0; i < L; ++i) {
        if (!a.mag[i]) continue;
        uint64_t carry = 0;
        for (int j = 0; j < lenB && i + j < L; ++j) {
            carry += uint64_t(a.mag[i]) * b.mag[j] + r.mag[i + j];
            r.mag[i + j] = uint32_t(carry);
            carry >>= 32;
        }
        // Rows are added in order, so this limb holds nothing yet.
        if (i + lenB < L) r.mag[i + lenB] = uint32_t(carry);
    }
    r.negative = a.negative != b.negative;
    return r;
}

Zint divide(const Zint& a, const Zint& b) {
    // Shift-and-subtract long division of the magnitudes; the remainder
    // stays below 2b, so only the limbs b spans (plus one) take part.
    const int width = std::min(L, bitLength(b) / 32 + 2);
    Zint q;
    uint32_t rem[L] = {};
    for (int i = bitLength(a) - 1; i >= 0; --i) {
        for (int w = width - 1; w > 0; --w) rem[w] = (rem[w] << 1) | (rem[w - 1] >> 31);
        rem[0] = (rem[0] << 1) | ((a.mag[i / 32] >> (i % 32)) & 1);
        int cmp = 0;
        for (int w = width - 1; w >= 0 && cmp == 0; --w)
            if (rem[w] != b.mag[w]) cmp = rem[w] < b.mag[w] ? -1 : 1;
        if (cmp >= 0) {
            int64_t borrow = 0;
            for (int w = 0; w < width; ++w) {
                const int64_t t = int64_t(rem[w]) - b.mag[w] - borrow;
                borrow = t < 0;
                rem[w] = uint32_t(t);
            }
            q.mag[i / 32] |= 1u << (i % 32);
        }
    }
    if (a.negative && !isZero(a)) {
        q = addMag(q, fromSmall(1));
        q.negative = true;
    }
    return q;
}

Zint halve(const Zint& a) {
    Zint r;
    r.negative = a.negative;
    for (int i = 0; i < L; ++i) r.mag[i] = (a.mag[i] >> 1) | (i + 1 < L ? a.mag[i + 1] << 31 : 0);
    return r;
}

uint32_t magnitudeToInt(const Zint& a, ksIntReduced* out) {
    if (bitLength(a) > 16 * int(kReducedDigits)) return 1;
    uint32_t count = 0;
    for (uint32_t i = 0; i < kReducedDigits; ++i) {
        out->digits[i] = uint16_t(a.mag[i / 2] >> (16 * (i % 2)));
        if (out->digits[i]) count = i + 1;
    }
    out->count = count;
    return 0;
}

namespace {

uint32_t store(const Zint& z, ksSignedInt* out) {
    out->sign = z.negative ? 1 : 0;
    return magnitudeToInt(z, &out->magnitude);
}

Zint load(const ksSignedInt& s) {
    Zint z = fromInt(asInt(&s.magnitude));
    z.negative = s.sign != 0;
    return z;
}

}  // namespace

uint32_t reductionElement(int mu, uint32_t m, Zint* c0, Zint* c1) {
    // U(0) = 0, U(1) = 1, U(k) = mu U(k-1) - 2 U(k-2).
    Zint prev = fromSmall(0), cur = fromSmall(1);
    for (uint32_t k = 2; k <= m; ++k) {
        Zint next = subtract(mu > 0 ? cur : negate(cur), add(prev, prev));
        prev = cur;
        cur = next;
    }
    // c0 = -2 U(m-1) - 1, c1 = U(m).
    *c0 = subtract(negate(add(prev, prev)), fromSmall(1));
    *c1 = cur;
    return 0;
}

uint32_t lucasTable(int mu, KoblitzConstants* k) {
    Zint prev = fromSmall(1), cur = fromSmall(mu);
    if (const uint32_t step = store(prev, &k->lucas[0])) return step;
    if (const uint32_t step = store(cur, &k->lucas[1])) return step;
    for (int j = 2; j < 261; ++j) {
        Zint next = subtract(mu > 0 ? cur : negate(cur), add(prev, prev));
        if (const uint32_t step = store(next, &k->lucas[j])) return step;
        prev = cur;
        cur = next;
    }
    return 0;
}

namespace {

constexpr int kRecipShift = 320;

// floor(2^320 / b) for the curve's norm, kept per thread: the norm only
// changes with the curve, and the long division is the slow part.
const Zint& reciprocal(const Zint& b) {
    thread_local Zint cachedB, cachedR;
    thread_local bool valid = false;
    if (!valid || compareMag(cachedB, b) != 0) {
        Zint top;
        top.mag[kRecipShift / 32] = 1u << (kRecipShift % 32);
        cachedR = divide(top, b);
        cachedB = b;
        cachedB.negative = false;
        valid = true;
    }
    return cachedR;
}

// divide(a, b) by the reciprocal: |a| R / 2^320 is floor(|a|/b) or one below.
Zint divideByNorm(const Zint& a, const Zint& b) {
    if (bitLength(a) > kRecipShift || bitLength(b) < 64 || bitLength(b) > kRecipShift) return divide(a, b);
    Zint absA = a;
    absA.negative = false;
    const Zint prod = multiply(absA, reciprocal(b));
    Zint q;
    for (int i = 0; i + kRecipShift / 32 < L; ++i) q.mag[i] = prod.mag[i + kRecipShift / 32];
    const Zint rem = subMag(absA, multiply(q, b));
    if (compareMag(rem, b) >= 0) q = addMag(q, fromSmall(1));
    if (a.negative && !isZero(a)) {
        q = addMag(q, fromSmall(1));
        q.negative = true;
    }
    return q;
}

}  // namespace

void reduce(int mu, const Zint& k, const Zint& c0, const Zint& c1, Zint* rho0, Zint* rho1) {
    const Zint muC1 = mu > 0 ? c1 : negate(c1);
    const Zint t = add(c0, muC1);
    const Zint norm = add(multiply(c0, t), multiply(fromSmall(2), multiply(c1, c1)));
    auto rounded = [&](const Zint& d) {
        Zint q = divideByNorm(d, norm);
        if (isOdd(q)) q = add(q, fromSmall(1));
        return halve(q);
    };
    const Zint lambda0 = rounded(multiply(k, add(t, t)));
    const Zint lambda1 = rounded(negate(multiply(k, add(c1, c1))));
    *rho0 = subtract(add(k, multiply(add(c1, c1), lambda1)), multiply(c0, lambda0));
    *rho1 = negate(add(add(multiply(c0, lambda1), multiply(muC1, lambda1)), multiply(c1, lambda0)));
}

namespace {

// Two's-complement integer of four 64-bit words: the expansion loop's
// components stay far below 2^255 once reduced.
struct Wide4 {
    uint64_t w[4];
};

bool toWide4(const Zint& z, Wide4* out) {
    if (bitLength(z) > 240) return false;
    for (int i = 0; i < 4; ++i) out->w[i] = uint64_t(z.mag[2 * i]) | uint64_t(z.mag[2 * i + 1]) << 32;
    if (z.negative) {
        unsigned __int128 c = 1;
        for (int i = 0; i < 4; ++i) {
            c += ~out->w[i];
            out->w[i] = uint64_t(c);
            c >>= 64;
        }
    }
    return true;
}

// a + b when add, else a - b.
Wide4 addSub(const Wide4& a, const Wide4& b, bool add) {
    Wide4 r;
    unsigned __int128 c = add ? 0 : 1;
    for (int i = 0; i < 4; ++i) {
        c += (unsigned __int128)a.w[i] + (add ? b.w[i] : ~b.w[i]);
        r.w[i] = uint64_t(c);
        c >>= 64;
    }
    return r;
}

// Sums of at most 261 Lucas terms of 131 bits stay far inside the words.
Zint fromWide4(Wide4 v) {
    Zint z;
    z.negative = (v.w[3] >> 63) != 0;
    if (z.negative) v = addSub(Wide4{}, v, false);
    for (int i = 0; i < 4; ++i) {
        z.mag[2 * i] = uint32_t(v.w[i]);
        z.mag[2 * i + 1] = uint32_t(v.w[i] >> 32);
    }
    return z;
}

uint32_t expandLoop(int mu, Wide4 r0, Wide4 r1, TauBits* out) {
    const Wide4 zero{};
    for (uint32_t i = 0; (r0.w[0] | r0.w[1] | r0.w[2] | r0.w[3] | r1.w[0] | r1.w[1] | r1.w[2] | r1.w[3]) != 0; ++i) {
        if (i >= 288) return 1;
        if (r0.w[0] & 1) {
            r0.w[0] ^= 1;  // odd: minus one clears the low bit
            out->words[i / 32] |= 1u << (i % 32);
        }
        Wide4 h;  // r0 / 2, exact
        for (int j = 0; j < 3; ++j) h.w[j] = (r0.w[j] >> 1) | (r0.w[j + 1] << 63);
        h.w[3] = uint64_t(int64_t(r0.w[3]) >> 1);
        r0 = addSub(r1, h, mu > 0);
        r1 = addSub(zero, h, false);
    }
    return 0;
}

}  // namespace

uint32_t tauExpand(int mu, const Zint& c0, const Zint& c1, const Zint& k, TauBits* out) {
    std::memset(out, 0, sizeof *out);
    Zint r0, r1;
    reduce(mu, k, c0, c1, &r0, &r1);
    Wide4 w0, w1;
    if (toWide4(r0, &w0) && toWide4(r1, &w1)) {
        const uint32_t rc = expandLoop(mu, w0, w1, out);
        std::memset(&w0, 0, sizeof w0);
        std::memset(&w1, 0, sizeof w1);
        return rc;
    }
    for (uint32_t i = 0; !isZero(r0) || !isZero(r1); ++i) {
        if (i >= 288) return 1;
        if (isOdd(r0)) {
            r0 = subtract(r0, fromSmall(1));
            out->words[i / 32] |= 1u << (i % 32);
        }
        const Zint h = halve(r0);
        r0 = add(r1, mu > 0 ? h : negate(h));
        r1 = negate(h);
    }
    return 0;
}

uint32_t tauNaf(int mu, const Zint& c0, const Zint& c1, const Zint& k, int8_t* digits, uint32_t cap, uint32_t* length) {
    *length = 0;
    Zint z0, z1;
    reduce(mu, k, c0, c1, &z0, &z1);
    Wide4 r0, r1;
    if (!toWide4(z0, &r0) || !toWide4(z1, &r1)) return 1;
    const Wide4 zero{};
    uint32_t i = 0;
    for (; (r0.w[0] | r0.w[1] | r0.w[2] | r0.w[3] | r1.w[0] | r1.w[1] | r1.w[2] | r1.w[3]) != 0; ++i) {
        if (i >= cap) return 1;
        int8_t u = 0;
        if (r0.w[0] & 1) {
            // u = 2 - ((r0 - 2 r1) mod 4) makes the next digit zero.
            u = ((r0.w[0] - 2 * r1.w[0]) & 3) == 1 ? 1 : -1;
            Wide4 one{};
            one.w[0] = 1;
            r0 = addSub(r0, one, u < 0);
        }
        digits[i] = u;
        Wide4 h;
        for (int j = 0; j < 3; ++j) h.w[j] = (r0.w[j] >> 1) | (r0.w[j + 1] << 63);
        h.w[3] = uint64_t(int64_t(r0.w[3]) >> 1);
        r0 = addSub(r1, h, mu > 0);
        r1 = addSub(zero, h, false);
    }
    *length = i;
    return 0;
}

void combColumns(uint32_t digits, const TauBits& bits, CombRecord* comb) {
    uint32_t length = 0;
    for (int i = 287; i >= 0; --i)
        if ((bits.words[i / 32] >> (i % 32)) & 1) {
            length = uint32_t(i) + 1;
            break;
        }
    std::memset(comb, 0, sizeof *comb);
    if (length == 0) return;
    const uint32_t d = combColumnCount(digits);
    comb->count = d;
    for (uint32_t i = 0; i < 9; ++i)
        for (uint32_t c = 0; c < d; ++c) {
            const uint32_t idx = i * d + c;
            if (idx < length && ((bits.words[idx / 32] >> (idx % 32)) & 1)) comb->columns[c] |= 1u << i;
        }
}

void columnsToBits(const CombRecord& comb, TauBits* out) {
    std::memset(out, 0, sizeof *out);
    const uint32_t d = comb.count;
    for (uint32_t i = 0; i < 9; ++i)
        for (uint32_t c = 0; c < d; ++c) {
            const uint32_t idx = i * d + c;
            if (idx < 288 && ((comb.columns[c] >> i) & 1)) out->words[idx / 32] |= 1u << (idx % 32);
        }
}

uint32_t tauValue(const KoblitzConstants& kc, const ksInt* n, const TauBits& bits, ksIntReduced* k) {
    auto bit = [&](uint32_t i) { return (bits.words[i / 32] >> (i % 32)) & 1; };
    uint32_t length = 0;
    for (uint32_t i = 288; i-- > 0;)
        if (bit(i)) {
            length = i + 1;
            break;
        }
    if (length == 0) {
        k->count = 0;
        return 0;
    }
    if (length > 261) return 1;
    // sum b_i tau^i = (b0 - 2B) + A tau, tau^i = U(i) tau - 2 U(i-1).
    Wide4 wa{}, wb{};
    wa.w[0] = bit(1);
    for (uint32_t i = 2; i < length; ++i)
        if (bit(i)) {
            Wide4 t;
            if (!toWide4(load(kc.lucas[i - 1]), &t)) return 1;
            wa = addSub(wa, t, true);
            if (!toWide4(load(kc.lucas[i - 2]), &t)) return 1;
            wb = addSub(wb, t, true);
        }
    Zint a = fromWide4(wa), b = fromWide4(wb);
    Zint v = negate(add(b, b));
    if (bit(0)) v = add(v, fromSmall(1));
    // tau acts as lambda: value = V + A lambda (mod n).
    // Accumulated, not returned early: these steps may run on a secret scalar or on points
    // derived from one, and a failure must not end them at a point that depends on it.
    uint32_t rc = 0;
    ksIntReduced am, al;
    rc |= magnitudeToInt(a, &am);
    rc |= mpMod(asInt(&am), n, &am);
    rc |= tess::crypto::mp::mpModMultiply(asInt(&am), asInt(&kc.lambda), n, &al);
    Zint alz = fromInt(asInt(&al));
    alz.negative = a.negative;
    v = add(v, alz);
    ksIntReduced vm;
    rc |= magnitudeToInt(v, &vm);
    rc |= mpMod(asInt(&vm), n, k);
    if (v.negative && k->count != 0) {
        ksIntGeneral diff;
        rc |= mpSubtract(n, asInt(k), asInt(&diff));
        std::memcpy(k->digits, diff.digits, diff.count * sizeof(uint16_t));
        k->count = diff.count;
    }
    return rc;
}

}  // namespace tess::crypto::kob
