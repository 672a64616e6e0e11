// Integer arithmetic on 16-bit digits: sums, products, division, shifts,
// comparisons and the modular helpers.
#include "crypto/mp/internal.h"
#include "crypto/mp/mp_int.h"

#include <algorithm>
#include <cstring>

namespace tess::crypto::mp {
namespace {

uint32_t trimmed(const uint16_t* digits, uint32_t count) {
    while (count > 0 && digits[count - 1] == 0) --count;
    return count;
}

uint32_t bitLengthOfDigit(uint16_t d) {
    uint32_t bits = 0;
    while (d != 0) {
        ++bits;
        d >>= 1;
    }
    return bits;
}

// Copies the significant digits of a into a record of the given capacity.
void copyInto(const ksInt* a, ksInt* out, uint32_t capacity) {
    const uint32_t n = std::min(a->count, capacity);
    if (out != a) std::memmove(out->digits, a->digits, n * sizeof(uint16_t));
    out->count = trimmed(out->digits, n);
}

}  // namespace

uint32_t mpAdd(const ksInt* a, const ksInt* b, ksInt* out) {
    const ksInt* longer = a->count >= b->count ? a : b;
    const ksInt* shorter = longer == a ? b : a;
    const uint32_t n = std::min(longer->count, kGeneralDigits);
    const uint32_t s = std::min(shorter->count, n);
    uint16_t sum[kGeneralDigits];
    uint32_t carry = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t t = uint32_t(longer->digits[i]) + carry;
        if (i < s) t += shorter->digits[i];
        sum[i] = uint16_t(t);
        carry = t >= 0x10000 ? 1 : 0;
    }
    uint32_t count = n;
    // At 32 digits the carry drops: sums wrap modulo 2^512.
    if (carry != 0 && count < kGeneralDigits) sum[count++] = 1;
    std::memcpy(out->digits, sum, count * sizeof(uint16_t));
    out->count = count;
    return 0;
}

uint32_t mpSubtract(const ksInt* a, const ksInt* b, ksInt* out) {
    const uint32_t na = std::min(a->count, kGeneralDigits);
    const uint32_t nb = std::min(b->count, kGeneralDigits);
    const uint32_t n = std::max(na, nb);
    uint16_t diff[kGeneralDigits];
    int32_t borrow = 0;
    for (uint32_t i = 0; i < n; ++i) {
        int32_t t = (i < na ? int32_t(a->digits[i]) : 0) - (i < nb ? int32_t(b->digits[i]) : 0) - borrow;
        borrow = t < 0 ? 1 : 0;
        diff[i] = uint16_t(t);
    }
    if (borrow != 0) {
        // a < b: the 512-bit two's complement, a - b + 2^512.
        for (uint32_t i = n; i < kGeneralDigits; ++i) diff[i] = 0xFFFF;
        std::memcpy(out->digits, diff, sizeof diff);
        out->count = kGeneralDigits;
        return 0;
    }
    std::memcpy(out->digits, diff, n * sizeof(uint16_t));
    out->count = trimmed(out->digits, n);
    return 0;
}

uint32_t mpMultiply(const ksInt* a, const ksInt* b, ksIntProduct* out) {
    uint16_t product[kProductDigits] = {};
    const uint32_t na = a->count;
    const uint32_t nb = b->count;
    if (na != 0 && nb != 0 && na + nb <= kProductDigits) {
        for (uint32_t j = 0; j < nb; ++j) {
            uint32_t carry = 0;
            for (uint32_t i = 0; i < na; ++i) {
                const uint32_t t = uint32_t(a->digits[i]) * b->digits[j] + product[i + j] + carry;
                product[i + j] = uint16_t(t);
                carry = t >> 16;
            }
            product[j + na] = uint16_t(carry);
        }
    }
    const uint32_t count = (na == 0 || nb == 0 || na + nb > kProductDigits) ? 0 : na + nb;
    std::memcpy(out->digits, product, sizeof product);
    out->count = trimmed(out->digits, count);
    return 0;
}

uint32_t mpDivideByDigit(const ksInt* a, uint16_t divisor, ksInt* quotient, uint16_t* remainder) {
    if (divisor == 0) return 1;
    const uint32_t n = std::min(a->count, kGeneralDigits);
    uint16_t q[kGeneralDigits];
    uint32_t r = 0;
    for (uint32_t i = n; i-- > 0;) {
        const uint32_t t = (r << 16) | a->digits[i];
        q[i] = uint16_t(t / divisor);
        r = t % divisor;
    }
    if (quotient != nullptr) {
        std::memcpy(quotient->digits, q, n * sizeof(uint16_t));
        quotient->count = trimmed(quotient->digits, n);
    }
    if (remainder != nullptr) *remainder = uint16_t(r);
    return 0;
}

uint32_t mpDivide(const ksInt* a, const ksInt* m, ksInt* quotient, ksIntReduced* remainder) {
    // A zero divisor or one above 16 digits is outside the contract; refuse it.
    if (m->count == 0 || m->count > kModulusDigits) return 1;
    uint32_t less = 0;
    mpLess(a, m, &less);
    if (less != 0) {
        copyInto(a, asInt(remainder), kReducedDigits);
        if (quotient != nullptr) quotient->count = 0;
        return 0;
    }
    const uint32_t n = m->count;
    if (n < 2) {
        uint16_t r = 0;
        mpDivideByDigit(a, m->digits[0], quotient, &r);
        mpSetWord(asInt(remainder), r);
        return 0;
    }
    // Knuth's algorithm D, base 2^16, on a normalised copy.
    const uint32_t s = 16 - bitLengthOfDigit(m->digits[n - 1]);
    uint16_t u[kGeneralDigits + 1] = {};
    uint16_t v[kModulusDigits] = {};
    uint32_t uCount = 0;
    uint32_t vCount = 0;
    const uint32_t aCount = std::min(a->count, kGeneralDigits);
    mpShiftLeft(a->digits, aCount, s, u, kGeneralDigits + 1, &uCount);
    mpShiftLeft(m->digits, n, s, v, kModulusDigits, &vCount);
    // The normalised dividend always carries one digit more than a.
    uCount = aCount + 1;
    const uint32_t d1 = v[n - 1];
    const uint32_t d2 = v[n - 2];
    uint16_t q[kGeneralDigits] = {};
    for (uint32_t j = uCount - n; j-- > 0;) {
        const uint32_t u2 = u[j + n];
        const uint32_t u1 = u[j + n - 1];
        const uint32_t u0 = u[j + n - 2];
        const uint32_t top = (u2 << 16) | u1;
        uint32_t qhat = 0;
        uint64_t rhat = 0;
        if (u2 >= d1) {
            qhat = 0xFFFF;
            rhat = uint64_t(u2) * 0x10000 + u1 - uint64_t(qhat) * d1;
        } else {
            qhat = top / d1;
            rhat = top - qhat * d1;
        }
        while (rhat < 0x10000 && uint64_t(qhat) * d2 > (rhat << 16) + u0) {
            --qhat;
            rhat += d1;
        }
        // Multiply and subtract qhat * v from the window u[j .. j+n].
        int64_t borrow = 0;
        uint32_t carry = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t p = qhat * v[i] + carry;
            carry = p >> 16;
            const int64_t t = int64_t(u[i + j]) - (p & 0xFFFF) - borrow;
            u[i + j] = uint16_t(t);
            borrow = t < 0 ? 1 : 0;
        }
        const int64_t t = int64_t(u[j + n]) - carry - borrow;
        u[j + n] = uint16_t(t);
        if (t < 0) {
            // One too many: add the divisor back once, dropping the carry out of the top.
            --qhat;
            uint32_t c = 0;
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t sum = uint32_t(u[i + j]) + v[i] + c;
                u[i + j] = uint16_t(sum);
                c = sum >> 16;
            }
            u[j + n] = uint16_t(u[j + n] + c);
        }
        q[j] = uint16_t(qhat);
    }
    if (quotient != nullptr) {
        const uint32_t qCount = uCount - n;
        std::memcpy(quotient->digits, q, qCount * sizeof(uint16_t));
        quotient->count = trimmed(quotient->digits, qCount);
    }
    uint32_t rCount = 0;
    mpShiftRight(u, trimmed(u, n), s, remainder->digits, kModulusDigits, &rCount);
    remainder->count = rCount;
    return 0;
}

uint32_t mpMod(const ksInt* a, const ksInt* m, ksIntReduced* out) {
    ksIntGeneral quotient;
    return mpDivide(a, m, asInt(&quotient), out);
}

uint32_t mpSetWord(ksInt* out, uint32_t value) {
    out->digits[0] = uint16_t(value);
    out->digits[1] = uint16_t(value >> 16);
    out->count = value >= 0x10000 ? 2 : (value != 0 ? 1 : 0);
    return 0;
}

uint32_t mpShiftLeft(const uint16_t* digits, uint32_t count, uint32_t shift, uint16_t* out, uint32_t capacity,
                     uint32_t* outCount) {
    const uint32_t ds = shift / 16;
    const uint32_t bs = shift % 16;
    if (ds >= capacity) {
        *outCount = 0;
        return 0;
    }
    // Bits that would land above the capacity are lost.
    const uint32_t total = std::min(count + ds + 1, capacity);
    uint16_t work[kProductDigits + 2] = {};
    for (uint32_t i = total; i-- > ds;) {
        const uint32_t src = i - ds;
        const uint32_t hi = src < count ? uint32_t(digits[src]) << bs : 0;
        const uint32_t lo = (bs != 0 && src >= 1 && src - 1 < count) ? digits[src - 1] >> (16 - bs) : 0;
        work[i] = uint16_t(hi | lo);
    }
    std::memcpy(out, work, total * sizeof(uint16_t));
    *outCount = trimmed(out, total);
    return 0;
}

uint32_t mpShiftRight(const uint16_t* digits, uint32_t count, uint32_t shift, uint16_t* out, uint32_t capacity,
                      uint32_t* outCount) {
    const uint32_t ds = shift / 16;
    const uint32_t bs = shift % 16;
    if (count <= ds) {
        *outCount = 0;
        return 0;
    }
    const uint32_t n = std::min(count - ds, capacity);
    uint16_t work[kProductDigits + 2] = {};
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t src = i + ds;
        uint32_t v = uint32_t(digits[src]) >> bs;
        if (bs != 0 && i + 1 < n) v |= uint32_t(digits[src + 1]) << (16 - bs);
        work[i] = uint16_t(v);
    }
    std::memcpy(out, work, n * sizeof(uint16_t));
    *outCount = trimmed(out, n);
    return 0;
}

uint32_t mpModSubtract(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out) {
    uint32_t bNotAbove = 0;
    mpLessOrEqual(b, a, &bNotAbove);
    ksIntGeneral diff;
    if (bNotAbove != 0) {
        mpSubtract(a, b, asInt(&diff));
        return mpMod(asInt(&diff), n, out);
    }
    mpSubtract(b, a, asInt(&diff));
    ksIntReduced t;
    mpMod(asInt(&diff), n, &t);
    if (t.count == 0) {
        out->count = 0;
        return 0;
    }
    ksIntGeneral r;
    mpSubtract(n, asInt(&t), asInt(&r));
    copyInto(asInt(&r), asInt(out), kReducedDigits);
    return 0;
}

uint32_t mpModInverse(const ksInt* a, const ksInt* n, ksIntReduced* out, uint32_t* flag) {
    // Extended Euclid with the cofactor of a kept as a residue in [0, n).
    ksIntReduced r0;
    ksIntReduced r1;
    copyInto(n, asInt(&r0), kReducedDigits);
    mpMod(a, n, &r1);
    ksIntReduced t0{};
    ksIntReduced t1{};
    mpSetWord(asInt(&t1), 1);
    // A zero residue has no inverse (and would give the loop nothing to do).
    if (r1.count == 0) {
        *flag = 0;
        return 0;
    }
    while (r1.count != 0) {
        ksIntGeneral q;
        ksIntReduced r2;
        mpDivide(asInt(&r0), asInt(&r1), asInt(&q), &r2);
        ksIntReduced qt1;
        tess::crypto::mp::mpModMultiply(asInt(&q), asInt(&t1), n, &qt1);
        ksIntReduced t2;
        mpModSubtract(asInt(&t0), asInt(&qt1), n, &t2);
        r0 = r1;
        r1 = r2;
        t0 = t1;
        t1 = t2;
    }
    ksIntGeneral one;
    mpSetWord(asInt(&one), 1);
    uint32_t isOne = 0;
    mpEqual(asInt(&r0), asInt(&one), &isOne);
    if (isOne == 0) {
        *flag = 0;
        return 0;
    }
    copyInto(asInt(&t0), asInt(out), kReducedDigits);
    *flag = 1;
    return 0;
}

uint32_t mpBitLength(const ksInt* a, uint32_t* bits) {
    *bits = a->count < 1 ? 0 : 16 * a->count - 16 + bitLengthOfDigit(a->digits[a->count - 1]);
    return 0;
}

uint32_t mpByteLength(const ksInt* a, uint32_t* length) {
    if (a->count < 1) {
        *length = 0;
        return 0;
    }
    const uint16_t top = a->digits[a->count - 1];
    const uint32_t topBytes = (top >> 8) != 0 ? 2 : ((top & 0xFF) != 0 ? 1 : 0);
    *length = 2 * a->count - 2 + topBytes;
    return 0;
}

uint32_t mpTestBit(const ksInt* a, uint32_t index, uint32_t* bit) {
    if (a->count == 0) {
        if (index > 0) return 1;
        *bit = 0;
        return 0;
    }
    // Index 16*count would be the first digit past the value, possibly past the record.
    if (index >= 16 * a->count) return 1;
    *bit = (a->digits[index / 16] >> (index % 16)) & 1;
    return 0;
}

uint32_t mpEqual(const ksInt* a, const ksInt* b, uint32_t* flag) {
    *flag = 0;
    if (a->count != b->count) return 0;
    for (uint32_t i = 0; i < a->count; ++i) {
        if (a->digits[i] != b->digits[i]) return 0;
    }
    *flag = 1;
    return 0;
}

namespace {
// -1, 0 or 1 as a is below, equal to or above b (canonical operands).
int compare(const ksInt* a, const ksInt* b) {
    if (a->count != b->count) return a->count < b->count ? -1 : 1;
    for (uint32_t i = a->count; i-- > 0;) {
        if (a->digits[i] != b->digits[i]) return a->digits[i] < b->digits[i] ? -1 : 1;
    }
    return 0;
}
}  // namespace

uint32_t mpLessOrEqual(const ksInt* a, const ksInt* b, uint32_t* flag) {
    *flag = compare(a, b) <= 0 ? 1 : 0;
    return 0;
}

uint32_t mpLess(const ksInt* a, const ksInt* b, uint32_t* flag) {
    *flag = compare(a, b) < 0 ? 1 : 0;
    return 0;
}

}  // namespace tess::crypto::mp

using namespace tess::crypto::mp;

uint32_t tess::crypto::mp::mpModAdd(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out) {
    ksIntGeneral sum;
    mpAdd(a, b, asInt(&sum));
    return mpMod(asInt(&sum), n, out);
}

uint32_t a1336(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out) {
    return tess::crypto::mp::mpModAdd(a, b, n, out);
}

uint32_t tess::crypto::mp::mpModMultiply(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out) {
    ksIntProduct product;
    mpMultiply(a, b, &product);
    // A product of two reduced values has at most 32 digits.
    if (product.count > kGeneralDigits) return 1;
    return mpMod(asInt(&product), n, out);
}

uint32_t a1342(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out) {
    return tess::crypto::mp::mpModMultiply(a, b, n, out);
}

uint32_t tess::crypto::mp::mpToOctets(const ksInt* value, uint32_t length, uint8_t* octets) {
    uint32_t bytes = 0;
    mpByteLength(value, &bytes);
    if (length == 0 || length < bytes) return 1;
    uint32_t pos = length;
    for (uint32_t i = 0; i < value->count && pos > 0; ++i) {
        octets[--pos] = uint8_t(value->digits[i]);
        if (pos == 0) break;
        octets[--pos] = uint8_t(value->digits[i] >> 8);
    }
    std::memset(octets, 0, pos);
    return 0;
}

uint32_t a1714(const ksInt* value, uint32_t length, uint8_t* octets) {
    return tess::crypto::mp::mpToOctets(value, length, octets);
}

uint32_t tess::crypto::mp::mpFromOctets(uint32_t length, const uint8_t* octets, ksInt* value) {
    const uint32_t k = (length + 1) / 2;
    if (length == 0 || k > kGeneralDigits) return 1;
    uint32_t pos = 0;
    uint32_t digit = k;
    if (length % 2 != 0) value->digits[--digit] = octets[pos++];
    while (digit > 0) {
        value->digits[--digit] = uint16_t((octets[pos] << 8) | octets[pos + 1]);
        pos += 2;
    }
    value->count = trimmed(value->digits, k);
    return 0;
}

uint32_t a1720(uint32_t length, const uint8_t* octets, ksInt* value) {
    return tess::crypto::mp::mpFromOctets(length, octets, value);
}
