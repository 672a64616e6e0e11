// Point octet forms and point compression.
#include "crypto/curve/internal.h"
#include "crypto/curve/point_octets.h"

#include <cstring>

namespace tess::crypto {

namespace {

uint32_t elementLength(const ksGlobalData* gd) { return fieldOctets(layoutOf(gd)->fieldBits); }

bool isPrime(const ksGlobalData* gd) { return layoutOf(gd)->fieldType == kFieldTypePrime; }

// The compression bit of z (= y/x) by the field type's rule.
uint32_t bitOfRatio(ksGlobalData* gd, const ksFieldElement* z, uint32_t* bit) {
    uint8_t octets[32];
    const uint32_t len = elementLength(gd);
    uint32_t rc = fieldToOctets(gd, z, len, octets);
    if (layoutOf(gd)->fieldType == kFieldTypeLowBitCompression)
        *bit = octets[len - 1] & 1;
    else
        *bit = (octets[0] >> ((layoutOf(gd)->fieldBits - 1) % 8)) & 1;
    return rc;
}

}  // namespace

uint32_t pointCompressionBit(ksGlobalData* gd, const ksPoint* p, uint32_t* bit) {
    if (isPrime(gd)) {
        const ksFieldElement y = p->y;
        return fieldLowBit(gd, &y, bit);
    }
    uint32_t zero = 1;
    if (fieldIsZero(gd, &p->x, &zero) != 0) return 1;
    if (zero == 0) {
        *bit = 0;
        return 0;
    }
    ksFieldElement z{};
    if (fieldInvert(gd, &p->x, &z) != 0) return 1;
    if (fieldMultiply(gd, &z, &p->y, &z) != 0) return 1;
    if (bitOfRatio(gd, &z, bit) != 0) return 1;
    return 0;
}

uint32_t pointDecompress(ksGlobalData* gd, const ksFieldElement* x, uint32_t bit, ksFieldElement* y) {
    GlobalDataLayout* l = layoutOf(gd);
    uint32_t noRoot = 1;
    if (isPrime(gd)) {
        ksFieldElement alpha{};
        if (fieldSquare(gd, x, &alpha) != 0) return 1;
        if (fieldAdd(gd, &alpha, &l->a, &alpha) != 0) return 1;
        if (fieldMultiply(gd, &alpha, x, &alpha) != 0) return 1;
        if (fieldAdd(gd, &alpha, &l->b, &alpha) != 0) return 1;
        if (fieldSolveQuadratic(gd, &alpha, &noRoot, y) != 0 || noRoot != 0) return 1;
        uint32_t low = 0;
        if (fieldLowBit(gd, y, &low) != 0) return 1;
        if (low != bit && fieldNegate(gd, y, y) != 0) return 1;
        return 0;
    }
    uint32_t zero = 1;
    if (fieldIsZero(gd, x, &zero) != 0) return 1;
    if (zero == 0) {
        // The point with x = 0: y = sqrt(b) = b^(2^(m-1)).
        ksFieldElement t = l->b;
        for (uint32_t i = 1; i < l->fieldBits; ++i)
            if (fieldSquare(gd, &t, &t) != 0) return 1;
        *y = t;
        return 0;
    }
    // beta = x + a + b/x^2; z^2 + z = beta; y = x z.
    ksFieldElement t{}, z{};
    if (fieldInvert(gd, x, &t) != 0) return 1;
    if (fieldSquare(gd, &t, &t) != 0) return 1;
    if (fieldMultiply(gd, &t, &l->b, &t) != 0) return 1;
    if (fieldAdd(gd, &t, &l->a, &t) != 0) return 1;
    if (fieldAdd(gd, &t, x, &t) != 0) return 1;
    if (fieldSolveQuadratic(gd, &t, &noRoot, &z) != 0 || noRoot != 0) return 1;
    uint32_t zBit = 0;
    if (bitOfRatio(gd, &z, &zBit) != 0) return 1;
    if (zBit != bit) {
        ksFieldElement one{};
        if (fieldSetOne(gd, &one) != 0) return 1;
        if (fieldAdd(gd, &z, &one, &z) != 0) return 1;
    }
    return fieldMultiply(gd, x, &z, y) != 0 ? 1 : 0;
}

uint32_t pointToOctetsUncompressed(ksGlobalData* gd, const ksPoint* p, uint32_t* length, uint8_t* octets) {
    const uint32_t len = elementLength(gd);
    octets[0] = 0x04;
    if (const uint32_t step = fieldToOctets(gd, &p->x, len, octets + 1)) return step;
    if (const uint32_t step = fieldToOctets(gd, &p->y, len, octets + 1 + len)) return step;
    *length = 2 * len + 1;
    return 0;
}

uint32_t pointToOctetsCompressed(ksGlobalData* gd, const ksPoint* p, uint32_t* length, uint8_t* octets) {
    const uint32_t len = elementLength(gd);
    uint32_t bit = 0;
    if (const uint32_t step = fieldToOctets(gd, &p->x, len, octets + 1)) return step;
    if (const uint32_t step = pointCompressionBit(gd, p, &bit)) return step;
    octets[0] = uint8_t(0x02 | bit);
    *length = len + 1;
    return 0;
}

uint32_t pointToOctetsHybrid(ksGlobalData* gd, const ksPoint* p, uint32_t* length, uint8_t* octets) {
    uint32_t bit = 0;
    if (const uint32_t step = pointToOctetsUncompressed(gd, p, length, octets)) return step;
    if (const uint32_t step = pointCompressionBit(gd, p, &bit)) return step;
    octets[0] = uint8_t(0x04 | 0x02 | bit);
    return 0;
}

namespace {

bool compressedPrefix(uint8_t c) { return c == 0x02 || c == 0x03 || c == 0x06 || c == 0x07; }

// A coordinate of the element's length; 1 when its value is not a field
// element (at or above p, or bits at or above m), which the field would
// otherwise silently reduce: a round trip shows it.
uint32_t readElement(ksGlobalData* gd, const uint8_t* octets, ksFieldElement* e) {
    const uint32_t len = elementLength(gd);
    uint8_t back[32];
    if (len > sizeof back || fieldFromOctets(gd, len, octets, e) != 0 || fieldToOctets(gd, e, len, back) != 0) return 1;
    return std::memcmp(back, octets, len) != 0 ? 1 : 0;
}

uint32_t readCompressed(ksGlobalData* gd, const uint8_t* xOctets, uint32_t bit, ksPoint* p) {
    if (readElement(gd, xOctets, &p->x) != 0) return 1;
    return pointDecompress(gd, &p->x, bit, &p->y);
}

uint32_t readXY(ksGlobalData* gd, const uint8_t* octets, ksPoint* p) {
    if (readElement(gd, octets, &p->x) != 0) return 1;
    if (readElement(gd, octets + elementLength(gd), &p->y) != 0) return 1;
    return 0;
}

}  // namespace

}  // namespace tess::crypto

uint32_t tess::crypto::pointToOctets(ksGlobalData* gd, const ksPoint* p, uint32_t capacity, uint32_t* length,
                                     uint8_t* octets) {
    using namespace tess::crypto;
    const uint32_t len = elementLength(gd);
    switch (layoutOf(gd)->pointFormat) {
    case 0:
        if (capacity < 2 * len + 1) return 1;
        return pointToOctetsHybrid(gd, p, length, octets) ? 1 : 0;
    case 1:
    case 3:
        if (capacity < len + 1) return 1;
        return pointToOctetsCompressed(gd, p, length, octets) ? 1 : 0;
    case 2:
        if (capacity < 2 * len + 1) return 1;
        return pointToOctetsUncompressed(gd, p, length, octets) ? 1 : 0;
    default: return 1;
    }
}

uint32_t a1705(ksGlobalData* gd, const ksPoint* p, uint32_t capacity, uint32_t* length, uint8_t* octets) {
    return tess::crypto::pointToOctets(gd, p, capacity, length, octets);
}

uint32_t tess::crypto::pointFromOctets(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksPoint* p) {
    using namespace tess::crypto;
    GlobalDataLayout* l = layoutOf(gd);
    const uint32_t len = elementLength(gd);
    p->table = nullptr;
    if (length == 0 || octets == nullptr || len == 0) return 1;
    if (length == 1) {
        // The reference form names a table; the only table a context holds
        // is its base point's, referred to by the octet 00.
        if (octets[0] != 0x00 || l->g.table == nullptr) return 1;
        *p = l->g;
        return 0;
    }
    if (l->pointFormat == 3) {
        if (length != len + 1 || !compressedPrefix(octets[0])) return 1;
        return readCompressed(gd, octets + 1, octets[0] & 1, p);
    }
    if (length == 2 * len + 1) {
        if (octets[0] != 0x04 && octets[0] != 0x06 && octets[0] != 0x07) return 1;
        if (readXY(gd, octets + 1, p) != 0) return 1;
        // A hybrid point carries y twice: a bit that disagrees with y is a
        // forged or damaged point, not a second spelling of it.
        uint32_t bit = 0;
        if (octets[0] != 0x04 && (pointCompressionBit(gd, p, &bit) != 0 || bit != (octets[0] & 1u))) return 1;
        return 0;
    }
    if (length == 2 * len) return readXY(gd, octets, p);
    if (length == len + 1) {
        if (compressedPrefix(octets[0])) return readCompressed(gd, octets + 1, octets[0] & 1, p);
        // The trailing octet holds one bit; its other bits must be clear.
        if (l->ecesCompression != 0 || octets[len] > 1) return 1;
        return readCompressed(gd, octets, octets[len], p);
    }
    return 1;
}

uint32_t a1717(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksPoint* p) {
    return tess::crypto::pointFromOctets(gd, length, octets, p);
}
