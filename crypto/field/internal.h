#pragma once
// Field modules inside the library. Contract of this folder:
// - Result: 0 on success, 1 when the context has no field module or an input is
//   refused (zero to invert, no square root); flag slots answer 0 for yes.
// - Ownership: elements and the context are caller-owned; an install entry
//   writes its method table and field data into the caller's context only.
// - Secret: field elements may hold secret values (coordinates of shared
//   secrets, shares of a private key); callers wipe the temporaries that held
//   them (crypto/wipe.h). Multiplication, squaring and inversion of the fixed
//   binary modules run the same instructions and memory accesses for every
//   value; the prime modules' inversion (binary Euclid) does not, and the
//   Montgomery-form P-224/P-256 arithmetic has its own fixed-sequence inverse.
//   Public only: the fixed binary modules' quadratic solution reads a table
//   indexed by its input, so it is for points being decoded or checked, never
//   for a secret.
#include <cstdint>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"

namespace tess::crypto {

// Zeroes the low four words of out: always 0.
uint32_t binaryZero128(ksGlobalData*, ksFieldElement* out);

// in with its field bits reversed (the bit-reversed basis): always 0.
uint32_t reverseBitsBasis(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out);

// Installs the generic binary-field module with the record's reduction polynomial: always 0.
uint32_t installBinaryGeneric(ksGlobalData* gd, const uint8_t* reduction);

// Installs the generic prime-field module for the record's prime: 0, or 1 for a refused prime.
uint32_t installPrimeGeneric(ksGlobalData* gd, const uint8_t* reduction);

// Names the fixed binary-field module with install entry number id (3088, 3097, ...) as
// the context's field module: gd. The id is checked when the curve record is.
ksGlobalData* installBinaryModule(ksGlobalData* gd, uint32_t id);

// Installs the fixed prime-field module id (kPrime160Id .. kPrimeP256Id) for the record's
// prime: 0, or 1 for a refused prime.
uint32_t installPrimeFixed(ksGlobalData* gd, uint32_t id, const uint8_t* reduction);

}  // namespace tess::crypto
