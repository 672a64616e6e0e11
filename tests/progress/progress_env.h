#pragma once
// One private runtime root for the whole test program: the service's shared section is
// opened once per process and named from that root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tests/support/test_home.h"

namespace tess::progress::test {

using tess::test::TempHome;

class ProgressEnvironment : public ::testing::Environment {
public:
    explicit ProgressEnvironment(bool display) : display_(display) {}
    void SetUp() override {
        if (!display_) {
            for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) unsetenv(name);
        }
        home_ = std::make_unique<TempHome>();
    }
    void TearDown() override { home_.reset(); }

private:
    bool display_;
    std::unique_ptr<TempHome> home_;
};

}  // namespace tess::progress::test
