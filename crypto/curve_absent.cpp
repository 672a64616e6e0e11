// Curve steps of a build that carries no curve arithmetic: every record is
// refused, so only the primitives that need no curve are available.
#include "crypto/curve_steps.h"
#include "crypto/result_codes.h"

namespace ks {

ksErrorCode curveValidate(const ksCurveParams* curve) {
    return curve == nullptr ? kNoCurve : kBadCurve;
}
uint32_t curveHeapSize(const ksCurveParams*, uint32_t*) { return 1; }
uint32_t curveLoad(const ksCurveParams*, ksGlobalData*) { return 1; }
uint32_t curveEngineInit(const ksCurveParams*, ksGlobalData*, ksHeap*) { return 1; }
uint32_t curveBasePointCheck(ksGlobalData*, uint32_t*) { return 1; }

}  // namespace ks
