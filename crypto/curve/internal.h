#pragma once
// Curves inside the library. Contract of this folder:
// - Result: engine and loading entries return 0 on success, 1 (or a ksErrorCode
//   where the header says so) on failure, with outputs then undefined.
// - Ownership: points, records and the context are caller-owned; loading writes
//   the field, engine and base-point tables into the caller's context and heap.
// - Secret: scalars given to the multiplication entries may be private keys or
//   nonces, and the products may be shared secrets; the engines wipe their
//   scalar temporaries. The Koblitz ladder runs a fixed number of steps with
//   no scalar-dependent branch.
#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/curve_record.h"
#include "crypto/curve/curve_steps.h"
#include "crypto/curve/point_octets.h"
