#pragma once
// Hashes inside the library. Contract of this folder:
// - Result: 0 on success, 1 for a missing pointer; context exports return a
//   ksErrorCode and refuse a context whose magic word is wrong.
// - Ownership: states and contexts are caller-owned; End wipes and ends them.
// - Secret: HMAC keys and the generator's seed and state; the temporaries that
//   held them are wiped before return.
#include "crypto/hash/md_context.h"
#include "crypto/hash/sha1_internal.h"
