#pragma once
// A fresh runtime with one desktop user and the emulated handheld "default", for tests of
// the engine's handheld databases (the caller keeps a TempHome for the runtime root).
#include <gtest/gtest.h>

#include <sstream>

#include "platform/syncmgr/syncmgr_control.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tess::test {

inline void StartEmulatedHandheld() {
    std::ostringstream out, err;
    tallyhop::InitOptions o;
    o.userName = "tester";
    ASSERT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
    platform::syncmgr::resetSession();
    platform::syncmgr::useHandheld("default");
}

}  // namespace tess::test
