// The fixed binary-field modules: GF(2^m) for m = 113, 131, 163, 191, 233,
// 239 with built-in reduction polynomials, each a ksFieldMethods table.
#pragma once

#include <cstdint>

#include "crypto/field/field_element.h"
#include "platform/export.h"

namespace tess::crypto {

enum class BinaryModule : uint8_t {
    F113,          // x^113 + x^9 + 1
    F131Normal,    // x^131 + x^7 + x^6 + x^5 + x^4 + x + 1, normal-basis octets
    F163,          // x^163 + x^7 + x^6 + x^3 + 1
    F163Reversed,  // as F163, bit-reversed octets
    F191Normal,    // x^191 + x^120 + 1, normal-basis octets
    F233,          // x^233 + x^74 + 1
    F239,          // x^239 + x^158 + 1
    F239Normal,    // as F239, normal-basis octets
};
inline constexpr int kBinaryModuleCount = 8;

// The module's table; uses the carry-less multiply instruction when the CPU
// has it, unless portable is set.
const ksFieldMethods* binaryModuleTable(BinaryModule module, bool portable = false);
int binaryModuleDegree(BinaryModule module);
// The table installed under an install entry's number (3097 for a3097), or null.
const ksFieldMethods* binaryModuleForId(uint32_t id);
bool cpuHasCarrylessMultiply();

// Montgomery ladder on Lopez-Dahab x/z coordinates for y^2 + xy = x^3 +
// ax^2 + b, run inside one module: from (1:0), (x:1) over the scalar's bits
// (most significant first, nbits of them), giving kP as (x1:z1) and (k+1)P
// as (x2:z2). Fixed sequence of operations for every scalar of nbits bits.
using BinaryLadder = void (*)(const ksFieldElement* x, const ksFieldElement* b, const uint32_t* bits, uint32_t nbits,
                              ksFieldElement* x1, ksFieldElement* z1, ksFieldElement* x2, ksFieldElement* z2);
// The ladder of the module installed under that number, or null.
BinaryLadder binaryLadderForId(uint32_t id, bool portable = false);

namespace gf2m_detail {
extern const ksFieldMethods* const kPortableTables[kBinaryModuleCount];
extern const ksFieldMethods* const kInstrTables[kBinaryModuleCount];
extern const BinaryLadder kPortableLadders[kBinaryModuleCount];
extern const BinaryLadder kInstrLadders[kBinaryModuleCount];
}  // namespace gf2m_detail

}  // namespace tess::crypto

// Conversions between the internal polynomial basis and the standard forms
// of the octet strings (slots 15 and 16). Each clears out before reading in.
namespace tess::crypto::basis {
uint32_t copy4(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t copy6(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t copy8(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t fromNormal131(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t toNormal131(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t fromNormal191(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t toNormal191(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t fromNormal239(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t toNormal239(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
uint32_t reverse163(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out);
// Reversal of the low m bits into 8 words.
void reverseBits(int m, const ksFieldElement* in, ksFieldElement* out);
}  // namespace tess::crypto::basis

// Install entries: each stores its module in the context's field-method
// reference and returns the context. The reduction area is not read: the
// module's polynomial is built in.
TESS_API ksGlobalData* a3088(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3112(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3097(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3124(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3115(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3103(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3106(ksGlobalData* gd, const uint8_t* reduction);
TESS_API ksGlobalData* a3118(ksGlobalData* gd, const uint8_t* reduction);
// Clears the four words of an element; 0.
TESS_API uint32_t a3178(ksGlobalData* gd, ksFieldElement* out);
// Bit reversal of the context's m bits into 8 words (out cleared first).
TESS_API uint32_t a2929(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out);
