// Fixed binary-field modules without the carry-less multiply instruction.
#define KESTREL_GF2M_INSTR false
#include "crypto/field/binary_field_slots.h"

namespace tess::crypto::gf2m_detail {
const ksFieldMethods* const kPortableTables[kBinaryModuleCount] = {
    gf2m::kTables[0], gf2m::kTables[1], gf2m::kTables[2], gf2m::kTables[3],
    gf2m::kTables[4], gf2m::kTables[5], gf2m::kTables[6], gf2m::kTables[7],
};
const BinaryLadder kPortableLadders[kBinaryModuleCount] = {
    gf2m::kLadders[0], gf2m::kLadders[1], gf2m::kLadders[2], gf2m::kLadders[3],
    gf2m::kLadders[4], gf2m::kLadders[5], gf2m::kLadders[6], gf2m::kLadders[7],
};
}  // namespace tess::crypto::gf2m_detail
