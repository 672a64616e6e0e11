// A display variable that names no reachable display gives the terminal line, not a
// window system that cannot connect (which would end the process).
#include <gtest/gtest.h>

#include "platform/ui/ui_service.h"
#include "progress/lampwick.h"
#include "progress/progress_snapshot.h"
#include "tests/progress/progress_env.h"

namespace {

const auto* const gEnv = ::testing::AddGlobalTestEnvironment(new tess::progress::test::ProgressEnvironment(/*display=*/true));

TEST(StaleDisplay, FallsBackToTheProgressLine) {
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    static int session = 1;
    IpesInitBlock block{&session, 0, 1, 0x61736333};
    ASSERT_EQ(IPES_InitializeLampwick(&block), 0);
    ProgressStart start{1, "main", 1, "sub"};
    ASSERT_EQ(PRGStartProgress(&start), 0);
    EXPECT_TRUE(tess::progress::CurrentProgress().visible);
    ASSERT_FALSE(ui.progressLines().empty());
    EXPECT_EQ(ui.progressLines().back(), "Avanzamento Tessaline(TM): main [0/1] | sub [0/1]");
}

}  // namespace
