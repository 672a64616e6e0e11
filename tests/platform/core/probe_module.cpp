// A module for the loader's tests: probeName is exported by both builds; probeCall calls it
// through the exported name, so it would reach the other build's copy if symbols leaked.
#include "platform/export.h"

TESS_API int probeName() { return PROBE_TAG; }
TESS_API int probeCall() { return probeName(); }
