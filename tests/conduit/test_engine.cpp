// An engine library for the conduit's tests: it writes what it was given to
// <TESSALINE_HOME>/engine_call.txt and answers with a result the test chooses.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "conduit/gatehouse.h"

namespace {

std::string CallFile() {
    const char* home = std::getenv("TESSALINE_HOME");
    return std::string(home ? home : ".") + "/engine_call.txt";
}

int Answer() {
    const char* v = std::getenv("TEST_ENGINE_RESULT");
    return v ? std::atoi(v) : 0;
}

}  // namespace

TESS_API int SynchronizeMail(void* progress, SyncProperties* properties, HMODULE* hosts, int lastHostIndex,
                             int userId) {
    FILE* f = std::fopen(CallFile().c_str(), "w");
    if (!f) return -100;
    std::fprintf(f, "progress=%p\npath=%s\nlast=%d\nuser=%d\n", progress, properties ? properties->path : "",
                 lastHostIndex, userId);
    for (int i = 0; i <= lastHostIndex; ++i) {
        auto name = hosts[i] ? reinterpret_cast<const char* (*)()>(GetProcAddress(hosts[i], "HostName")) : nullptr;
        std::fprintf(f, "host%d=%s\n", i, name ? name() : "-");
    }
    std::fclose(f);
    return Answer();
}
static_assert(std::is_same_v<decltype(&SynchronizeMail), SynchronizeMailFn>);

TESS_API int ConfigureLarkspur(int userId) {
    FILE* f = std::fopen(CallFile().c_str(), "w");
    if (!f) return -100;
    std::fprintf(f, "configure user=%d\n", userId);
    std::fclose(f);
    return Answer();
}
