// The Koblitz-curve engine for y^2 + xy = x^3 + ax^2 + 1, a = 0 or 1.
#pragma once

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/koblitz_recoding.h"

namespace tess::crypto {
extern const ksCurveEngine kKoblitzEngine;
inline constexpr uint32_t kKoblitzEngineId = 1924;
// The engine's constants inside the context.
kob::KoblitzConstants* koblitzConstants(ksGlobalData* gd);
}  // namespace tess::crypto

// Engine-init entry: stores the engine's id, computes the constants and,
// with a work area, the base point's table and the blinding pair.
TESS_API uint32_t a1924(ksGlobalData* gd, ksHeap* heap, uint32_t* engineId);
