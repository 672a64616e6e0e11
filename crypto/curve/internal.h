#pragma once
// Curves inside the library. Contract of this folder:
// - Result: engine and loading entries return 0 on success, 1 (or a ksErrorCode
//   where the header says so) on failure, with outputs then undefined.
// - Ownership: points, records and the context are caller-owned; loading writes
//   the field, engine and base-point tables into the caller's context and heap.
// - Secret: scalars given to the multiplication entries may be private keys or
//   nonces, and the products may be shared secrets; engines hold the scalar
//   temporaries they keep under WipeOnExit. The Koblitz ladder runs a fixed
//   number of steps with no scalar-dependent branch.
#include <cstdint>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"

namespace tess::crypto {

// *flag = 1 when p is infinity or satisfies the curve equation with a and b, else 0:
// 0, or 1 when b is zero or a field step fails. Public point.
uint32_t curvePointOnCurve(ksGlobalData* gd, const ksPoint* p, const ksFieldElement* a, const ksFieldElement* b,
                           uint32_t* flag);

// r = p + q through the context's engine: 0, or 1 without an engine. Public points.
uint32_t curvePointAdd(ksGlobalData* gd, const ksPoint* p, const ksPoint* q, ksPoint* r);

// r = k p through the context's engine: 0, or 1 without an engine. k may be secret (a
// private key).
uint32_t curvePointMultiply(ksGlobalData* gd, const ksInt* k, const ksPoint* p, ksPoint* r);

// r = k G through the context's engine: 0, or 1. k is secret (a key or a nonce).
uint32_t curveBaseMultiply(ksGlobalData* gd, uint32_t plain, ksIntReduced* k, ksPoint* r);

// p in the context's octet form, at most capacity octets, *length the size used: 0, or 1.
uint32_t pointToOctets(ksGlobalData* gd, const ksPoint* p, uint32_t capacity, uint32_t* length, uint8_t* octets);

// A point from its octet form (any form the context accepts): 0, or 1 for a malformed input.
uint32_t pointFromOctets(ksGlobalData* gd, uint32_t length, const uint8_t* octets, ksPoint* p);

// Installs engine A (any binary curve) in the context, its tables on heap: 0, or 1.
uint32_t binaryGenericEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);

// Installs the Koblitz engine in the context, its tables on heap: 0, or 1.
uint32_t koblitzEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);

// Installs engine C or D (prime curves, Jacobian) in the context: 0, or 1.
uint32_t primeJacobianEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);

// Installs engine F (prime curves with b only) in the context: 0, or 1.
uint32_t endomorphismEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);

// Installs engine E (prime curves with a Montgomery form) in the context: 0, or 1.
uint32_t montgomeryEngineInit(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);

}  // namespace tess::crypto
