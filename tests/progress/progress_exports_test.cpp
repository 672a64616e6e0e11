// The PRG exports on the terminal window: their check order, the bars and the saved state.
#include <gtest/gtest.h>

#include <string>

#include "platform/ui/ui_service.h"
#include "progress/lampwick.h"
#include "progress/progress_snapshot.h"
#include "tests/progress/progress_env.h"

namespace {

constexpr uint32_t kMail = 0x61736333;   // 'asc3'
constexpr uint32_t kDates = 0x64617465;  // 'date'
constexpr uint32_t kOther = 0x6d656d6f;  // 'memo'
int gSession = 1;

const auto* const gEnv = ::testing::AddGlobalTestEnvironment(new tess::progress::test::ProgressEnvironment(/*display=*/false));

int Init(void* state, int noDialog, uint32_t creator) {
    IpesInitBlock block{state, noDialog, 7, creator};
    return IPES_InitializeLampwick(&block);
}

int Start(int mainCount, const char* mainText, int subCount, const char* subText) {
    ProgressStart start{mainCount, mainText, subCount, subText};
    return PRGStartProgress(&start);
}

using Call = int (*)();
const std::string kOverlong(1025, 'x');

// Each call's result in the four states a process can be in: without a window or with
// one, without a synchronisation state or with one. The start checks its record, then the
// state, then the window; every other call the window, then the state, then (main
// message) the length.
enum Phase { kNoWindowNoState, kNoWindowState, kWindowNoState, kWindowState, kPhases };
struct Expected {
    const char* name;
    Call call;
    int rc[kPhases];
};
const Expected kCheckOrder[] = {
    {"StartProgress(null)",
     [] { return PRGStartProgress(nullptr); },
     {PRG_BAD_ARGUMENT, PRG_BAD_ARGUMENT, PRG_BAD_ARGUMENT, PRG_BAD_ARGUMENT}},
    {"StartProgress", [] { return Start(1, "a", 1, "b"); }, {PRG_NO_TALLYHOP, PRG_BAD_ARGUMENT, PRG_NO_TALLYHOP, 0}},
    {"UpdateMainMessage(1025)",
     [] { return PRGUpdateMainMessage(kOverlong.c_str()); },
     {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, PRG_BAD_ARGUMENT}},
    {"UpdateMainMessage", [] { return PRGUpdateMainMessage("m"); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"SetMainEventCount", [] { return PRGSetMainEventCount(3); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"UpdateMainEvent", [] { return PRGUpdateMainEvent(); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"UpdateSubMessage", [] { return PRGUpdateSubMessage("s"); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"SetSubEventCount", [] { return PRGSetSubEventCount(3); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"UpdateSubEvent", [] { return PRGUpdateSubEvent(); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"CacheState", [] { return PRGCacheState(); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"RestoreState", [] { return PRGRestoreState(); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
    {"Close", [] { return PRGClose(); }, {PRG_NO_WINDOW, PRG_NO_WINDOW, PRG_NO_TALLYHOP, 0}},
};

void ExpectCheckOrder(Phase phase, const char* when) {
    for (const auto& c : kCheckOrder) EXPECT_EQ(c.call(), c.rc[phase]) << c.name << " " << when;
}

// Runs first: the process has no window until the third step.
TEST(ProgressExports, CheckOrderInEveryState) {
    ExpectCheckOrder(kNoWindowNoState, "before initialisation");

    // No window is made with the no-window flag or without a state.
    EXPECT_EQ(Init(&gSession, 1, kMail), 0);
    EXPECT_EQ(IPES_InitializeLampwick(nullptr), PRG_BAD_ARGUMENT);
    EXPECT_EQ(IPES_GetTallyhopStateLampwick(), &gSession);  // the refused block changed nothing
    ExpectCheckOrder(kNoWindowState, "with noDialog");
    EXPECT_EQ(Init(nullptr, 0, kMail), 0);
    ExpectCheckOrder(kNoWindowNoState, "without a state");
    EXPECT_FALSE(tess::progress::CurrentProgress().exists);

    ASSERT_EQ(Init(&gSession, 0, kMail), 0);
    auto s = tess::progress::CurrentProgress();
    ASSERT_TRUE(s.exists);
    EXPECT_FALSE(s.visible);  // hidden until the first start
    EXPECT_EQ(s.caption, "Avanzamento Tessaline(TM)");
    EXPECT_EQ(s.iconId, 12003);

    EXPECT_EQ(IPES_SetTallyhopStateLampwick(nullptr), nullptr);
    ExpectCheckOrder(kWindowNoState, "with the state cleared");
    EXPECT_EQ(IPES_SetTallyhopStateLampwick(&gSession), &gSession);
    EXPECT_EQ(IPES_GetTallyhopStateLampwick(), &gSession);
    ExpectCheckOrder(kWindowState, "with a window and a state");

    // A later initialisation without a window or without a state leaves the existing one
    // as it is; only the state decides.
    ASSERT_EQ(Init(&gSession, 1, kMail), 0);
    ExpectCheckOrder(kWindowState, "after initialising with noDialog");
    ASSERT_EQ(Init(nullptr, 0, kMail), 0);
    ExpectCheckOrder(kWindowNoState, "after initialising without a state");
    EXPECT_TRUE(tess::progress::CurrentProgress().exists);
}

TEST(ProgressExports, MainMessageLengthLimit) {
    ASSERT_EQ(Init(&gSession, 0, kMail), 0);
    const std::string exact(1024, 'x'), over(1025, 'x'), longSub(5000, 'y');
    EXPECT_EQ(PRGUpdateMainMessage(exact.c_str()), 0);
    EXPECT_EQ(PRGUpdateMainMessage(over.c_str()), PRG_BAD_ARGUMENT);
    EXPECT_EQ(tess::progress::CurrentProgress().mainText, exact);  // the refused text changed nothing
    EXPECT_EQ(PRGUpdateSubMessage(longSub.c_str()), 0);
    EXPECT_EQ(tess::progress::CurrentProgress().subText, longSub);
}

TEST(ProgressExports, BarRangesKeepSixteenBitsAndStopWhenFull) {
    ASSERT_EQ(Init(&gSession, 0, kMail), 0);
    struct Case {
        int count, upper;
    };
    for (const Case& c : {Case{5, 5}, Case{65535, 65535}, Case{65536, 0}, Case{70000, 4464}}) {
        ASSERT_EQ(PRGSetMainEventCount(c.count), 0);
        ASSERT_EQ(PRGSetSubEventCount(c.count), 0);
        auto s = tess::progress::CurrentProgress();
        EXPECT_EQ(s.mainUpper, c.upper) << c.count;
        EXPECT_EQ(s.subUpper, c.upper) << c.count;
        EXPECT_EQ(s.mainPosition, 0);
    }
    ASSERT_EQ(PRGSetMainEventCount(2), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(PRGUpdateMainEvent(), 0);
    EXPECT_EQ(tess::progress::CurrentProgress().mainPosition, 2);
}

// A bar of more than 32767 steps keeps counting past the middle instead of falling back
// to empty.
TEST(ProgressExports, LongBarKeepsCountingPastTheMiddle) {
    platform::ui::ScriptedUi ui;  // takes the progress lines of the shown window
    platform::ui::ScopedUi scope(ui);
    ASSERT_EQ(Init(&gSession, 0, kMail), 0);
    ASSERT_EQ(Start(1, "main", 40000, "items"), 0);
    for (int i = 0; i < 32769; ++i) ASSERT_EQ(PRGUpdateSubEvent(), 0);
    EXPECT_EQ(tess::progress::CurrentProgress().subPosition, 32769);
    for (int i = 0; i < 8000; ++i) ASSERT_EQ(PRGUpdateSubEvent(), 0);
    EXPECT_EQ(tess::progress::CurrentProgress().subPosition, 40000);
}

TEST(ProgressExports, StartShowsAndRestoreBringsBackTheSavedState) {
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    ASSERT_EQ(Init(&gSession, 0, kMail), 0);
    ASSERT_EQ(Start(4, "Konten", 10, "Nachrichten"), 0);
    EXPECT_EQ(PRGUpdateMainEvent(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PRGUpdateSubEvent(), 0);
    EXPECT_EQ(PRGCacheState(), 0);
    const auto saved = tess::progress::CurrentProgress();
    EXPECT_TRUE(saved.visible);

    EXPECT_EQ(PRGUpdateSubMessage("Anhaenge"), 0);
    EXPECT_EQ(PRGSetSubEventCount(50), 0);
    EXPECT_EQ(PRGUpdateSubEvent(), 0);
    EXPECT_EQ(PRGUpdateMainMessage("anders"), 0);
    EXPECT_EQ(PRGRestoreState(), 0);
    const auto back = tess::progress::CurrentProgress();
    EXPECT_EQ(back.mainText, "Konten");
    EXPECT_EQ(back.subText, "Nachrichten");
    EXPECT_EQ(back.mainUpper, 4);
    EXPECT_EQ(back.mainPosition, 1);
    EXPECT_EQ(back.subUpper, 10);
    EXPECT_EQ(back.subPosition, 3);

    // Without a display the window is a progress line through the UI service.
    const auto lines = ui.progressLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Avanzamento Tessaline(TM): Konten [1/4] | Nachrichten [3/10]");

    EXPECT_EQ(PRGClose(), 0);
    EXPECT_FALSE(tess::progress::CurrentProgress().visible);
    EXPECT_TRUE(tess::progress::CurrentProgress().exists);  // kept for the next start
}

TEST(ProgressExports, CreatorChangesIconAndCaptionOnlyForKnownCodes) {
    ASSERT_EQ(Init(&gSession, 0, kDates), 0);
    auto s = tess::progress::CurrentProgress();
    EXPECT_EQ(s.caption, "Avanzamento Agenda Corvid");
    EXPECT_EQ(s.iconId, 12001);
    ASSERT_EQ(Init(&gSession, 0, kOther), 0);
    s = tess::progress::CurrentProgress();
    EXPECT_EQ(s.caption, "Avanzamento Agenda Corvid");
    EXPECT_EQ(s.iconId, 12001);
    ASSERT_EQ(Init(&gSession, 0, kMail), 0);
    EXPECT_EQ(tess::progress::CurrentProgress().iconId, 12003);
}

}  // namespace
