// Two processes over the service's shared section: the state is shared, the window is not.
// The second process is started afresh and loads the library itself, as a second caller
// would; one forked child shows that an inherited window object is not taken for its own.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "platform/core/os.h"
#include "progress/lampwick.h"
#include "progress/shared_progress_state.h"
#include "tests/progress/progress_env.h"

extern char** environ;

namespace {

const auto* const gEnv = ::testing::AddGlobalTestEnvironment(new tess::progress::test::ProgressEnvironment(/*display=*/false));

constexpr uint32_t kMail = 0x61736333;
constexpr uint32_t kDates = 0x64617465;

int ExitStatus(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return 254;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// Runs the peer program with one mode; its exit status (0: every step as expected).
int Peer(const char* mode) {
    std::string program = (tess::test::binaryDir() / "bin" / "progress_peer").string();
    std::string arg = mode;
    char* argv[] = {program.data(), arg.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return 253;
    return ExitStatus(pid);
}

// Runs `child` in a forked process; its int result is the exit status.
template <typename Fn>
int InChild(Fn child) {
    pid_t pid = fork();
    if (pid == 0) _exit(child());
    return ExitStatus(pid);
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
    EXPECT_EQ(xs->syncState, &session);
    EXPECT_EQ(xs->dialogOwner, getpid());

    // The other process sees the state but not the window; its own initialisation without
    // a window changes the shared values only.
    EXPECT_EQ(Peer("observe"), 0);
    EXPECT_EQ(xs->creator, kDates);
    EXPECT_EQ(xs->syncState, nullptr);
    EXPECT_EQ(xs->initialised, 1);
    EXPECT_EQ(xs->dialogOwner, getpid());  // the window stays this process's
    EXPECT_EQ(PRGUpdateSubEvent(), PRG_NO_TALLYHOP);

    // A state set by the other process brings this process's window back to work.
    EXPECT_EQ(Peer("set-state"), 0);
    EXPECT_NE(IPES_GetTallyhopStateLampwick(), nullptr);
    EXPECT_EQ(PRGUpdateSubEvent(), 0);

    // A process that makes its own window takes the reference; this process then finds no
    // window of its own, and once that process has gone nobody follows the reference.
    EXPECT_EQ(Peer("own-window"), 0);
    EXPECT_EQ(xs->dialogOwner, 0);
    EXPECT_EQ(xs->dialog, nullptr);
    EXPECT_EQ(PRGUpdateSubEvent(), PRG_NO_WINDOW);

    // Initialising again here takes the window back, with what it showed.
    ASSERT_EQ(IPES_InitializeLampwick(&block), 0);
    EXPECT_EQ(xs->dialogOwner, getpid());
    EXPECT_EQ(PRGUpdateSubEvent(), 0);

    // A forked child holds a copy of this process's window object: it is not its window,
    // and a window of its own leaves this process's object alone.
    EXPECT_EQ(InChild([] {
                  if (PRGUpdateSubEvent() != PRG_NO_WINDOW) return 1;
                  IpesInitBlock own{reinterpret_cast<void*>(1), 0, 3, kMail};
                  if (IPES_InitializeLampwick(&own) != 0) return 2;
                  if (PRGUpdateSubEvent() != 0) return 3;
                  return 0;
              }),
              0);
    EXPECT_NE(xs->dialogOwner, getpid());
    EXPECT_EQ(PRGUpdateSubEvent(), PRG_NO_WINDOW);
}

}  // namespace
