#pragma once
// Integers inside the library. Contract of this folder:
// - Result: 0 on success, 1 on a refused input (zero divisor, record too small,
//   index out of range); yes/no answers come back through a flag, 1 = yes.
// - Ownership: every record is caller-owned; nothing here allocates or keeps a
//   pointer past the call. Outputs may alias inputs only where a header says so.
// - Secret: values are treated as public by mp_int (its loops depend on digit
//   counts); order_inverse takes secret values and runs a sequence fixed by n
//   alone (its cached 2^512 mod n depends on n only). Callers that hold secrets in ksInt records wipe them
//   (crypto/wipe.h).
#include <cstdint>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"

namespace tess::crypto::mp {

// (a + b) mod n into out: 0, or 1 when n is zero or too long. Public values.
uint32_t mpModAdd(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out);

// (a * b) mod n into out: 0, or 1 when the product exceeds 32 digits or n is refused.
uint32_t mpModMultiply(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out);

// value as exactly length big-endian octets (zero-padded): 0, or 1 when it does not fit.
uint32_t mpToOctets(const ksInt* value, uint32_t length, uint8_t* octets);

// length (1..64) big-endian octets into value: 0, or 1 for a length out of range.
uint32_t mpFromOctets(uint32_t length, const uint8_t* octets, ksInt* value);

}  // namespace tess::crypto::mp
