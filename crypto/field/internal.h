#pragma once
// Field modules inside the library. Contract of this folder:
// - Result: 0 on success, 1 when the context has no field module or an input is
//   refused (zero to invert, no square root); flag slots answer 0 for yes.
// - Ownership: elements and the context are caller-owned; an install entry
//   writes its method table and field data into the caller's context only.
// - Secret: field elements may hold secret values (coordinates of shared
//   secrets, shares of a private key); callers wipe the temporaries that held
//   them (crypto/wipe.h).
#include "crypto/field/binary_field_modules.h"
#include "crypto/field/field_element.h"
#include "crypto/field/prime_field.h"
