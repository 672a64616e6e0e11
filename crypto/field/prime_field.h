// Prime-field modules: GF(p) for the four fixed primes and for any odd prime
// of at most 256 bits, in plain (non-Montgomery) representation. Elements are
// w = (m - 1)/32 + 1 words; values up to 2^(32w) stand for themselves mod p.
#pragma once

#include <cstdint>

#include "crypto/field/field_element.h"
#include "platform/export.h"

namespace tess::crypto {

// Install-entry numbers, stored in the context as the field-method reference.
inline constexpr uint32_t kPrime160Id = 2428;
inline constexpr uint32_t kPrimeP192Id = 2431;
inline constexpr uint32_t kPrimeP224Id = 2434;
inline constexpr uint32_t kPrimeP256Id = 2437;
inline constexpr uint32_t kPrimeGenericId = 2440;

// The table installed under a prime module's number, or null.
const ksFieldMethods* primeModuleForId(uint32_t id);
// Bit length of a fixed prime module's field, 0 for other numbers.
uint32_t fixedPrimeBits(uint32_t id);
// The fixed module's prime as 32 big-endian octets, low-aligned; null if none.
const uint8_t* fixedPrimeOctets(uint32_t id);

namespace pf {

// The field prime and the normalised prime (p shifted until bit 31 of word
// w - 1 is set) kept in the context's field data.
uint32_t* primeOf(ksGlobalData* gd);
uint32_t* normalisedOf(ksGlobalData* gd);
uint32_t wordsOf(const ksGlobalData* gd);

// Stores p from the record's octets (through the module the context already
// names) and its normalised copy; returns word w - 1 of the normalised prime.
uint32_t installPrime(ksGlobalData* gd, const uint8_t* reduction);

// Shared slots: inversion by the binary extended Euclid (a never zero from
// the field layer; zero gives zero rather than a loop), and the square root
// over any module table (1 with a root, 0 for a non-square).
uint32_t invert(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
uint32_t squareRoot(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
// p = 1 (mod 4): the Cipolla-Lehmer root on its own.
uint32_t squareRootCipolla(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
// The 32-bit shift-register filler of the square root's attempts.
void pseudoRandomElement(uint32_t words, ksFieldElement* element);

const ksFieldMethods* genericTable();
uint32_t setOne(ksGlobalData* gd, ksFieldElement* out);
uint32_t copyStandard(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out);

}  // namespace pf
}  // namespace tess::crypto

// Install entries: each stores its table and the prime of the record's
// reduction area; the result (top word of the normalised prime) is unused.
TESS_API uint32_t a2428(ksGlobalData* gd, const uint8_t* reduction);
TESS_API uint32_t a2431(ksGlobalData* gd, const uint8_t* reduction);
TESS_API uint32_t a2434(ksGlobalData* gd, const uint8_t* reduction);
TESS_API uint32_t a2437(ksGlobalData* gd, const uint8_t* reduction);
TESS_API uint32_t a2440(ksGlobalData* gd, const uint8_t* reduction);
// Low bit of the 160-bit module, inverse of the P-256 module, low bit of the
// generic module.
TESS_API uint32_t a2371(ksGlobalData* gd, const ksFieldElement* a);
TESS_API uint32_t a2365(ksGlobalData* gd, const ksFieldElement* a, ksFieldElement* out);
TESS_API uint32_t a2368(ksGlobalData* gd, const ksFieldElement* a);
