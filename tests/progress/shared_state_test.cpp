// Two processes over the service's shared section: the state is shared, the window is not.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>

#include "platform/core/os.h"
#include "progress/lampwick.h"
#include "progress/shared_progress_state.h"
#include "tests/progress/progress_env.h"

namespace {

const auto* const gEnv =
    ::testing::AddGlobalTestEnvironment(new tess::test::ProgressEnvironment(/*display=*/false));

constexpr uint32_t kMail = 0x61736333;
constexpr uint32_t kDates = 0x64617465;

// Runs `child` in a forked process; its int result is the exit status.
template <typename Fn>
int InChild(Fn child) {
    pid_t pid = fork();
    if (pid == 0) _exit(child());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

TEST(SharedProgressState, SecondProcessSharesStateButNeverTheWindow) {
    static int session = 1;
    IpesInitBlock block{&session, 0, 3, kMail};
    ASSERT_EQ(IPES_InitializeLampwick(&block), 0);
    ProgressStart start{2, "main", 2, "sub"};
    ASSERT_EQ(PRGStartProgress(&start), 0);

    // The section as any process sees it, opened by name.
    std::error_code ec;
    auto section = platform::SharedSection::open("SharedXS", sizeof(tess::progress::SharedXS), ec);
    ASSERT_TRUE(section) << ec.message();
    auto* xs = static_cast<tess::progress::SharedXS*>(section->data());
    EXPECT_EQ(xs->initialised, 1);
    EXPECT_EQ(xs->creator, kMail);
    EXPECT_EQ(xs->dialogOwner, getpid());

    const int child = InChild([] {
        // The other process sees the state, but the window is the parent's.
        if (IPES_GetTallyhopStateLampwick() == nullptr) return 1;
        if (PRGUpdateSubEvent() != PRG_NO_WINDOW) return 2;
        ProgressStart s{1, "x", 1, "y"};
        if (PRGStartProgress(&s) != PRG_BAD_ARGUMENT) return 3;
        // Its own initialisation without a window changes the shared values only.
        IpesInitBlock other{nullptr, 1, 3, kDates};
        if (IPES_InitializeLampwick(&other) != 0) return 4;
        return 0;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(xs->creator, kDates);
    EXPECT_EQ(xs->syncState, nullptr);
    EXPECT_EQ(xs->dialogOwner, getpid());  // the window stays the parent's
    EXPECT_EQ(PRGUpdateSubEvent(), PRG_NO_TALLYHOP);

    // A child that sets the state again brings the parent's window back to work.
    EXPECT_EQ(InChild([] { return IPES_SetTallyhopStateLampwick(reinterpret_cast<void*>(1)) ? 0 : 1; }), 0);
    EXPECT_EQ(PRGUpdateSubEvent(), 0);

    // A child that makes its own window takes the reference; the parent's calls then
    // find no window of theirs.
    EXPECT_EQ(InChild([] {
                  IpesInitBlock own{reinterpret_cast<void*>(1), 0, 3, kMail};
                  if (IPES_InitializeLampwick(&own) != 0) return 1;
                  return PRGUpdateSubEvent() == 0 ? 0 : 2;
              }),
              0);
    EXPECT_EQ(PRGUpdateSubEvent(), PRG_NO_WINDOW);
}

}  // namespace
