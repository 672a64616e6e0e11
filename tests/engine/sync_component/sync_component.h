#pragma once
// An external sync component for the tests: it records how the engine drives it.
#include "platform/export.h"

namespace test_component {

struct State {
    int capabilityAnswer = 0;  // what SCapSupports answers (0 = supported)
    int runs = 0;
    int lastUser = 0;
    bool hadAccount = false;
    int result = 0;
};
}  // namespace test_component

// The state of this copy of the library (the engine loads it by path).
TESS_API test_component::State* TestComponentState();
