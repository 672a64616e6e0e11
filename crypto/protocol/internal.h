#pragma once
// Public-key protocols inside the library. Contract of this folder:
// - Result: a ksErrorCode (crypto/result_codes.h) at the exports; helpers
//   return 0 or 1 as their headers say.
// - Ownership: keys, signatures and stream contexts are caller-owned records;
//   OpenSSL big numbers made here are owned and freed (and cleared) here.
// - Secret: private keys, per-signature nonces, shared secrets and derived
//   keys; every copy of one on the stack is wiped before return, and random
//   numbers come from the context's generator only.
#include "crypto/protocol/integer_groups.h"
#include "crypto/protocol/key_agreement.h"
#include "crypto/protocol/key_pairs.h"
#include "crypto/protocol/signature_steps.h"
