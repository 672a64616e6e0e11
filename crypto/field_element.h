// Field elements and the method table through which curve code reaches a
// field module. Elements are eight 32-bit words, least significant first; a
// module reads and writes only the words its field needs.
#pragma once

#include <cstdint>

#include "crypto/global_data.h"

// The seventeen slots of a field module, in table order. Binary modules
// leave the prime-only slots (subtract, negate, multiplyWord, canonical) null.
struct ksFieldMethods {
    uint32_t (*add)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*invert)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*lowBit)(ksGlobalData*, const ksFieldElement*);
    uint32_t (*multiply)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*one)(ksGlobalData*, ksFieldElement*);
    uint32_t (*zero)(ksGlobalData*, ksFieldElement*);
    uint32_t (*square)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*equal)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*);
    uint32_t (*isZero)(ksGlobalData*, const ksFieldElement*);
    uint32_t (*isOne)(ksGlobalData*, const ksFieldElement*);
    uint32_t (*solveQuadratic)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*subtract)(ksGlobalData*, const ksFieldElement*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*negate)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*multiplyWord)(ksGlobalData*, const ksFieldElement*, uint32_t, ksFieldElement*);
    uint32_t (*canonical)(ksGlobalData*, ksFieldElement*);
    uint32_t (*fromStandard)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
    uint32_t (*toStandard)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);
};
