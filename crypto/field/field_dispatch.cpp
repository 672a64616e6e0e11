// The field functions every curve routine calls: one slot of the context's
// field-method table each, with the flag and octet conventions of the layer.
#include "crypto/field/binary_field_modules.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/field/field_element.h"

namespace tess::crypto {

const ksFieldMethods* fieldMethodsOf(const ksGlobalData* gd) {
    const uint32_t id = layoutOf(gd)->fieldMethodsId;
    const ksFieldMethods* fixed = binaryModuleForId(id);
    return fixed ? fixed : extraFieldModuleForId(id);
}

namespace {
// Yes/no slot result to the layer's flag: 1 -> 0 (yes), 0 -> 1 (no).
uint32_t toFlag(uint32_t slotResult, uint32_t* flag) {
    if (slotResult > 1) return 1;
    *flag = slotResult == 1 ? 0 : 1;
    return 0;
}
}  // namespace

#define KS_FIELD_TABLE(gd)                        \
    const ksFieldMethods* f = fieldMethodsOf(gd); \
    if (f == nullptr) return 1

uint32_t fieldAdd(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    f->add(gd, a, b, out);
    return 0;
}

uint32_t fieldSubtract(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    if (f->subtract == nullptr) return 1;
    f->subtract(gd, a, b, out);
    return 0;
}

uint32_t fieldNegate(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    if (f->negate == nullptr) return 1;
    f->negate(gd, a, out);
    return 0;
}

uint32_t fieldMultiply(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    f->multiply(gd, a, b, out);
    return 0;
}

uint32_t fieldSquare(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    const ksFieldElement t = *a;
    f->square(gd, &t, out);
    return 0;
}

uint32_t fieldSetZero(ksGlobalData* gd, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    f->zero(gd, out);
    return 0;
}

uint32_t fieldSetOne(ksGlobalData* gd, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    f->one(gd, out);
    return 0;
}

uint32_t fieldInvert(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    uint32_t zero = 0;
    if (fieldIsZero(gd, a, &zero) != 0 || zero == 0) return 1;
    f->invert(gd, a, out);
    return 0;
}

uint32_t fieldLowBit(ksGlobalData* gd, const ksFieldElement* a, uint32_t* bit) {
    KS_FIELD_TABLE(gd);
    *bit = f->lowBit(gd, a);
    return 0;
}

uint32_t fieldEqual(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, uint32_t* flag) {
    KS_FIELD_TABLE(gd);
    return toFlag(f->equal(gd, a, b), flag);
}

uint32_t fieldIsZero(ksGlobalData* gd, const ksFieldElement* a, uint32_t* flag) {
    KS_FIELD_TABLE(gd);
    return toFlag(f->isZero(gd, a), flag);
}

uint32_t fieldIsOne(ksGlobalData* gd, const ksFieldElement* a, uint32_t* flag) {
    KS_FIELD_TABLE(gd);
    return toFlag(f->isOne(gd, a), flag);
}

uint32_t fieldSolveQuadratic(ksGlobalData* gd, const ksFieldElement* a, uint32_t* flag, ksFieldElement* root) {
    KS_FIELD_TABLE(gd);
    *flag = f->solveQuadratic(gd, a, root) == 1 ? 0 : 1;
    return 0;
}

uint32_t fieldFromOctets(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksFieldElement* out) {
    KS_FIELD_TABLE(gd);
    const uint32_t m = layoutOf(gd)->fieldBits;
    const uint32_t words = fieldWords(m);
    ksFieldElement t{};
    // Octet i from the end goes to word i / 4; octets beyond 4W are ignored.
    for (uint32_t i = 0; i < length && i < 4 * words; ++i)
        t.words[i / 4] |= uint32_t(octets[length - 1 - i]) << (8 * (i % 4));
    if (m % 32 != 0 && words > 0) t.words[words - 1] &= (1u << (m % 32)) - 1;
    f->fromStandard(gd, &t, out);
    return 0;
}

uint32_t fieldToOctets(ksGlobalData* gd, const ksFieldElement* a, uint32_t length, uint8_t* octets) {
    KS_FIELD_TABLE(gd);
    const uint32_t words = fieldWords(layoutOf(gd)->fieldBits);
    ksFieldElement t{};
    f->toStandard(gd, a, &t);
    for (uint32_t i = 0; i < length; ++i)
        octets[length - 1 - i] = i < 4 * words ? uint8_t(t.words[i / 4] >> (8 * (i % 4))) : 0;
    return 0;
}

}  // namespace tess::crypto

uint32_t a2254(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, uint32_t* flag) {
    return tess::crypto::fieldEqual(gd, a, b, flag);
}
