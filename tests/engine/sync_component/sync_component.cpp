#include "tests/engine/sync_component/sync_component.h"

#include <cstdint>
#include <cstdio>

namespace {
test_component::State g_state;
test_component::State& state() { return g_state; }
}  // namespace

TESS_API test_component::State* TestComponentState() { return &g_state; }

struct ComponentSyncRequest {
    int32_t userId;
    uint32_t creator;
    void* account;
};

TESS_API int SCapSupports(uint32_t, int capability) { return capability == 9 ? state().capabilityAnswer : 0; }
TESS_API int SSYNCSyncrhonize(ComponentSyncRequest* request) {
    auto& s = state();
    ++s.runs;
    s.lastUser = request->userId;
    s.hadAccount = request->account != nullptr;
    return s.result;
}
TESS_API int SERRExtLookupError(int code, char* buffer, int size) {
    std::snprintf(buffer, size_t(size), "component code %d", code);
    return 0;
}
