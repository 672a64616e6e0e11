// Fixed binary-field modules on the carry-less multiply instruction; the
// unit's own code is compiled for it and used only when the CPU has it.
// Library headers come first, outside the target region.
#include <bit>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "crypto/field/binary_field_modules.h"
#include "crypto/field/field_element.h"
#include "crypto/wipe.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("pclmul,sse4.1"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("pclmul,sse4.1")
#endif

#define KESTREL_GF2M_INSTR true
#include "crypto/field/binary_field_slots.h"

namespace tess::crypto::gf2m_detail {
const ksFieldMethods* const kInstrTables[kBinaryModuleCount] = {
    gf2m::kTables[0], gf2m::kTables[1], gf2m::kTables[2], gf2m::kTables[3],
    gf2m::kTables[4], gf2m::kTables[5], gf2m::kTables[6], gf2m::kTables[7],
};
const BinaryLadder kInstrLadders[kBinaryModuleCount] = {
    gf2m::kLadders[0], gf2m::kLadders[1], gf2m::kLadders[2], gf2m::kLadders[3],
    gf2m::kLadders[4], gf2m::kLadders[5], gf2m::kLadders[6], gf2m::kLadders[7],
};
}  // namespace tess::crypto::gf2m_detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
