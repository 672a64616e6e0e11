// Field elements and the method table through which curve code reaches a
// field module. Elements are eight 32-bit words, least significant first; a
// module reads and writes only the words its field needs.
#pragma once

#include <cstdint>

#include "crypto/global_data.h"

// The seventeen slots of a field module, in table order. Binary modules
// leave the prime-only slots (subtract, negate, multiplyWord, canonical) null.
struct ksFieldMethods {
    uint32_t (*add)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*invert)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*lowBit)(ksGlobalData*, const ksFieldElement*);
    uint32_t (*multiply)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*one)(ksGlobalData*, ksFieldElement*);
    uint32_t (*zero)(ksGlobalData*, ksFieldElement*);
    uint32_t (*square)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*equal)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*);
    uint32_t (*isZero)(ksGlobalData*, const ksFieldElement*);
    uint32_t (*isOne)(ksGlobalData*, const ksFieldElement*);
    uint32_t (*solveQuadratic)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*subtract)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*negate)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*multiplyWord)(ksGlobalData*, const ksFieldElement*, uint32_t, ksFieldElement*);
    uint32_t (*canonical)(ksGlobalData*, ksFieldElement*);
    uint32_t (*fromStandard)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*toStandard)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
};

namespace tess::crypto {

// The method table the context's field module installed, or null.
const ksFieldMethods* fieldMethodsOf(const ksGlobalData* gd);

// Dispatch through the context's table. Flags answer 0 for yes, 1 for no.
// Each returns 0, or 1 when the context has no field module (and fieldInvert
// also when a is zero, leaving out untouched).
uint32_t fieldAdd(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out);
uint32_t fieldSubtract(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out);
uint32_t fieldNegate(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
uint32_t fieldMultiply(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* out);
uint32_t fieldSquare(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
uint32_t fieldSetZero(ksGlobalData* gd, ksFieldElement* out);
uint32_t fieldSetOne(ksGlobalData* gd, ksFieldElement* out);
uint32_t fieldInvert(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
uint32_t fieldLowBit(ksGlobalData* gd, const ksFieldElement* a, uint32_t* bit);
uint32_t fieldEqual(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, uint32_t* flag);
uint32_t fieldIsZero(ksGlobalData* gd, const ksFieldElement* a, uint32_t* flag);
uint32_t fieldIsOne(ksGlobalData* gd, const ksFieldElement* a, uint32_t* flag);
// flag 0 with the root written when z^2 + z = a (binary) or z^2 = a (prime)
// has a solution, else flag 1; returns 0.
uint32_t fieldSolveQuadratic(ksGlobalData* gd, const ksFieldElement* a, uint32_t* flag, ksFieldElement* root);
// Big-endian octets to an element of at most m bits (leading octets beyond
// the element's words are ignored), and an element to exactly length octets.
uint32_t fieldFromOctets(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksFieldElement* out);
uint32_t fieldToOctets(ksGlobalData* gd, const ksFieldElement* a, uint32_t length, uint8_t* octets);

inline uint32_t fieldWords(uint32_t m) { return m == 0 ? 0 : (m - 1) / 32 + 1; }
inline uint32_t fieldOctets(uint32_t m) { return m == 0 ? 0 : (m - 1) / 8 + 1; }

}  // namespace tess::crypto

// a2254: equality through the table (flag 0 when equal).
TESS_API uint32_t a2254(ksGlobalData* gd, const ksFieldElement* a, const ksFieldElement* b, uint32_t* flag);
