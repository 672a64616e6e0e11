// Fermat inversion modulo the group order on four 64-bit limbs.
#include "crypto/mp/order_inverse.h"

#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

constexpr int kLimbs = 4;
using Limbs = uint64_t[kLimbs];
using u128 = unsigned __int128;

bool toLimbs(const ksInt* a, Limbs out) {
    if (a->count > 4 * kLimbs) return false;
    for (int i = 0; i < kLimbs; ++i) out[i] = 0;
    for (uint32_t i = 0; i < a->count; ++i) out[i / 4] |= uint64_t(a->digits[i]) << (16 * (i % 4));
    return true;
}

void fromLimbs(const Limbs a, ksIntReduced* out) {
    *out = ksIntReduced{};
    uint32_t count = 0;
    for (uint32_t i = 0; i < 4 * kLimbs; ++i) {
        out->digits[i] = uint16_t(a[i / 4] >> (16 * (i % 4)));
        if (out->digits[i] != 0) count = i + 1;
    }
    out->count = count;
}

// r = a - n when that does not borrow, else a; by masks.
[[gnu::always_inline]] inline void reduceOnce(uint64_t carry, Limbs a, const Limbs n) {
    uint64_t t[kLimbs];
    uint64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
        const u128 d = u128(a[i]) - n[i] - borrow;
        t[i] = uint64_t(d);
        borrow = uint64_t(d >> 64) & 1;
    }
    // Keep t when carry is set or nothing borrowed.
    const uint64_t keep = 0 - ((carry | (borrow ^ 1)) & 1);
    for (int i = 0; i < kLimbs; ++i) a[i] = (t[i] & keep) | (a[i] & ~keep);
}

// r = a b / 2^256 mod n (CIOS), for a, b < n. Unrolled, so that t stays in
// registers; it is not wiped here (that would pin it to memory on each of the
// few hundred products): whatever of it reaches the stack is overwritten by
// the next product, and the last product of an inversion is the result itself.
void montMultiply(const Limbs a, const Limbs b, const Limbs n, uint64_t nPrime, Limbs r) {
    uint64_t t[kLimbs + 2] = {};
#pragma GCC unroll 4
    for (int i = 0; i < kLimbs; ++i) {
        uint64_t carry = 0;
#pragma GCC unroll 4
        for (int j = 0; j < kLimbs; ++j) {
            const u128 s = u128(a[j]) * b[i] + t[j] + carry;
            t[j] = uint64_t(s);
            carry = uint64_t(s >> 64);
        }
        u128 s = u128(t[kLimbs]) + carry;
        t[kLimbs] = uint64_t(s);
        t[kLimbs + 1] = uint64_t(s >> 64);
        const uint64_t m = t[0] * nPrime;
        s = u128(m) * n[0] + t[0];
        carry = uint64_t(s >> 64);
#pragma GCC unroll 4
        for (int j = 1; j < kLimbs; ++j) {
            s = u128(m) * n[j] + t[j] + carry;
            t[j - 1] = uint64_t(s);
            carry = uint64_t(s >> 64);
        }
        s = u128(t[kLimbs]) + carry;
        t[kLimbs - 1] = uint64_t(s);
        t[kLimbs] = t[kLimbs + 1] + uint64_t(s >> 64);
    }
    for (int i = 0; i < kLimbs; ++i) r[i] = t[i];
    reduceOnce(t[kLimbs], r, n);
}

bool less(const Limbs a, const Limbs b) {
    for (int i = kLimbs; i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i];
    }
    return false;
}

}  // namespace

uint32_t orderInverse(const ksInt* a, const ksInt* n, ksIntReduced* out) {
    Limbs nl;
    Limbs x;
    if (!toLimbs(n, nl) || !toLimbs(a, x) || (nl[0] & 1) == 0 || !less(x, nl)) return 1;
    if ((x[0] | x[1] | x[2] | x[3]) == 0 || (nl[1] | nl[2] | nl[3]) == 0) return 1;
    // -n^-1 mod 2^64 by Newton's iteration.
    uint64_t inv = 1;
    for (int i = 0; i < 6; ++i) inv *= 2 - nl[0] * inv;
    const uint64_t nPrime = 0 - inv;
    // 2^512 mod n by doubling (n is public), kept for the next call with the
    // same n: the doublings cost more than the exponentiation's products.
    thread_local Limbs cachedN = {};
    thread_local Limbs cachedR2 = {};
    Limbs r2 = {1, 0, 0, 0};
    if (less(cachedN, nl) || less(nl, cachedN)) {
        for (int i = 0; i < 2 * 64 * kLimbs; ++i) {
            uint64_t carry = 0;
            for (int j = 0; j < kLimbs; ++j) {
                const uint64_t next = r2[j] >> 63;
                r2[j] = (r2[j] << 1) | carry;
                carry = next;
            }
            reduceOnce(carry, r2, nl);
        }
        for (int i = 0; i < kLimbs; ++i) {
            cachedN[i] = nl[i];
            cachedR2[i] = r2[i];
        }
    } else {
        for (int i = 0; i < kLimbs; ++i) r2[i] = cachedR2[i];
    }
    Limbs acc;
    Limbs one = {1, 0, 0, 0};
    // x^1 .. x^15 in Montgomery form for a fixed four-bit window.
    Limbs power[16];
    montMultiply(x, r2, nl, nPrime, power[1]);
    montMultiply(one, r2, nl, nPrime, power[0]);
    for (int i = 2; i < 16; ++i) montMultiply(power[i - 1], power[1], nl, nPrime, power[i]);
    // e = n - 2, left to right in four-bit windows; the exponent is public,
    // so the sequence of products depends on n only.
    Limbs e;
    uint64_t borrow = 2;
    for (int i = 0; i < kLimbs; ++i) {
        e[i] = nl[i] - borrow;
        borrow = nl[i] < borrow ? 1 : 0;
    }
    int top = 64 * kLimbs;
    while (top > 0 && ((e[(top - 1) / 64] >> ((top - 1) % 64)) & 1) == 0) --top;
    const int windows = (top + 3) / 4;
    for (int i = 0; i < kLimbs; ++i) acc[i] = power[0][i];
    for (int w = windows; w-- > 0;) {
        if (w + 1 != windows)
            for (int s = 0; s < 4; ++s) montMultiply(acc, acc, nl, nPrime, acc);
        const unsigned digit = unsigned(e[w / 16] >> (4 * (w % 16))) & 15;
        if (digit != 0) montMultiply(acc, power[digit], nl, nPrime, acc);
    }
    montMultiply(acc, one, nl, nPrime, acc);
    fromLimbs(acc, out);
    wipe(x, sizeof x);
    wipe(power, sizeof power);
    wipe(acc, sizeof acc);
    return 0;
}

}  // namespace tess::crypto
