#pragma once
// Ciphers inside the library. Contract of this folder:
// - Result: a ksErrorCode at the exports, 0 or 1 in the helpers.
// - Ownership: key schedules live in caller-owned contexts, wiped when they end.
// - Secret: keys and key schedules. DES runs on OpenSSL's block function;
//   ARC4's keystream indexes depend on the key, as the cipher itself requires.
#include "crypto/cipher/des_internal.h"
