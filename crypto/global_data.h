#pragma once
// Internal layout of the library context and the generator context.
#include <cstddef>
#include <cstdint>

#include "crypto/kestrel.h"

// A field element: eight 32-bit words, least significant first, in the field
// module's internal form.
struct ksFieldElement {
    uint32_t words[8];
};

// A point: coordinates, and the base point's precomputation table (in the
// caller's work area) or null.
struct ksPoint {
    ksFieldElement x;
    ksFieldElement y;
    const void* table;
};

// Generator context, 148 bytes. The operation references are ids resolved
// through a constant table, so caller memory never holds a code address.
struct RngContextLayout {
    uint32_t magic;
    uint32_t type;
    // From here on is the generator state the operations work on.
    uint32_t mode;    // bit 1: reduce x modulo q in the key update
    uint32_t status;  // 3 once seeded
    ksIntReduced xkey;
    uint8_t reserved[40];
    ksIntReduced q;
    uint32_t generateId;
    uint32_t seedId;
    uint32_t addInputId;
};
static_assert(sizeof(RngContextLayout) == KS_RNG_CONTEXT_SIZE);
static_assert(offsetof(RngContextLayout, mode) == 8);

// Library context, exactly 12600 bytes. The generator comes first so that the
// head of a library context is itself a generator context; the magic word
// follows it. Table references are ids, data references native pointers.
struct GlobalDataLayout {
    RngContextLayout rng;
    uint32_t magic;
    ksFieldElement a;
    ksFieldElement b;
    uint32_t oidLength;
    uint8_t oid[32];
    ksPoint g;
    uint32_t orderBits;
    ksIntReduced order;
    uint32_t cofactorBits;
    ksIntReduced cofactor;
    uint32_t curveOrderBits;
    ksIntReduced curveOrder;
    ksFieldElement extra1;
    ksFieldElement extra2;
    uint32_t pointFormat;
    uint32_t ecesCompression;
    ksHeap* heap;
    uint32_t heapSize;
    ksIntReduced blindScalar;
    ksPoint blindPoint;
    uint8_t engineArea[11856];
    uint32_t engineTableId;
    uint8_t fieldData[64];
    uint32_t fieldBits;
    uint32_t fieldType;
    uint32_t fieldMethodsId;
};
static_assert(sizeof(GlobalDataLayout) == KS_GLOBAL_DATA_SIZE);
static_assert(offsetof(GlobalDataLayout, magic) == KS_RNG_CONTEXT_SIZE);
static_assert(offsetof(GlobalDataLayout, fieldMethodsId) == KS_GLOBAL_DATA_SIZE - 4);

inline GlobalDataLayout* layoutOf(ksGlobalData* gd) { return reinterpret_cast<GlobalDataLayout*>(gd); }
inline const GlobalDataLayout* layoutOf(const ksGlobalData* gd) {
    return reinterpret_cast<const GlobalDataLayout*>(gd);
}

// The two checks every export taking the library context runs first.
inline ksErrorCode checkGlobalData(const ksGlobalData* gd) {
    if (gd == nullptr) return 2;
    if (layoutOf(gd)->magic != KS_MAGIC) return 1;
    return 0;
}

namespace tess::crypto {
// Writes the magic word that marks an initialised context: always 0.
ksErrorCode contextMagic(uint32_t* magic);
}  // namespace tess::crypto
