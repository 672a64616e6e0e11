// Octet forms of curve points: compressed, uncompressed, hybrid, raw, the
// trailing-bit compressed form, and the one-octet reference to the
// context's base-point table.
#pragma once

#include <cstdint>

#include "crypto/field/field_element.h"

namespace tess::crypto {

// Internal field type of a prime field; type 6 takes the compression bit
// from the low bit of y/x, other binary types from bit m - 1.
inline constexpr uint32_t kFieldTypePrime = 3;
inline constexpr uint32_t kFieldTypeLowBitCompression = 6;

uint32_t pointCompressionBit(ksGlobalData* gd, const ksPoint* p, uint32_t* bit);
// y for x and the compression octet; 1 when x has no point.
uint32_t pointDecompress(ksGlobalData* gd, const ksFieldElement* x, uint32_t bit, ksFieldElement* y);
uint32_t pointToOctetsUncompressed(ksGlobalData* gd, const ksPoint* p, uint32_t* length, uint8_t* octets);
uint32_t pointToOctetsCompressed(ksGlobalData* gd, const ksPoint* p, uint32_t* length, uint8_t* octets);
uint32_t pointToOctetsHybrid(ksGlobalData* gd, const ksPoint* p, uint32_t* length, uint8_t* octets);

}  // namespace tess::crypto

// Point to octets in the form the context's point-format word chooses;
// 1 when the form does not fit capacity.
TESS_API uint32_t a1705(ksGlobalData* gd, const ksPoint* p, uint32_t capacity, uint32_t* length, uint8_t* octets);
// Octets in any form the context admits to a point; 1 on a malformed string.
TESS_API uint32_t a1717(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksPoint* p);
