#pragma once
// Integers inside the library. Contract of this folder:
// - Result: 0 on success, 1 on a refused input (zero divisor, record too small,
//   index out of range); yes/no answers come back through a flag, 1 = yes.
// - Ownership: every record is caller-owned; nothing here allocates or keeps a
//   pointer past the call. Outputs may alias inputs only where a header says so.
// - Secret: values are treated as public by mp_int (its loops depend on digit
//   counts); order_inverse takes secret values and runs a sequence fixed by n
//   alone. Callers that hold secrets in ksInt records wipe them (crypto/wipe.h).
#include "crypto/mp/mp_int.h"
#include "crypto/mp/order_inverse.h"
