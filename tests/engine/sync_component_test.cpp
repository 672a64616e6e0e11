// An account served by an external sync component: registered, driven in its turn, and
// dropped when its library is gone.
#include <filesystem>

#include "progress/lampwick.h"
#include "tests/engine/engine_world.h"
#include "tests/engine/sync_component/sync_component.h"

namespace tess::engine::test {

using tess::progress::RegisteredType;

namespace {

constexpr uint32_t kMail = 0x61736333;
constexpr int kType = 300;

int Registered() {
    RegisteredType** list = nullptr;
    int count = 0;
    REGGetRegisteredTypes(kMail, &list, &count);
    if (list) REGFreeRegisteredTypes(list, count);
    return count;
}

struct ComponentWorld : EngineWorld {
    std::filesystem::path library;
    explicit ComponentWorld(uint8_t connectionType = 0) {
        library = home.path() / "libTestSyncComponent.so";
        std::filesystem::copy_file(tess::test::libDir() / "libTestSyncComponent.so", library);
        EXPECT_EQ(REGRegister(kMail, "TestXsp", kType, "Test XSP", library.c_str(), library.c_str()), 0);
        handheld_app::AccountSetup h;
        h.protocolWord = 0;
        h.connectionType = connectionType;
        h.server = "unused";
        DesktopAccount d;
        d.name = "Corporate";
        d.client = kType;
        ImapAccount(0, d, h);
    }
};

TEST(SyncComponent, RegisteredAndDriven) {
    ComponentWorld w;
    // The engine loads its own copy by path; the test reaches that copy's state.
    HMODULE same = LoadLibraryA(w.library.c_str());
    using StateFn = test_component::State* (*)();
    auto& s = *reinterpret_cast<StateFn>(GetProcAddress(same, "TestComponentState"))();
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(s.runs, 1) << EngineWorld::Log();
    EXPECT_EQ(s.lastUser, w.userId);
    EXPECT_TRUE(s.hadAccount);
    EXPECT_EQ(scripted::state().count("Initialize"), 0) << "no message host for the component's account";

    s.capabilityAnswer = 1;
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(s.runs, 1) << "a component that cannot synchronise is not run";
    EXPECT_TRUE(EngineWorld::Logged("does not support synchronization", 22)) << EngineWorld::Log();
    FreeLibrary(same);
}

TEST(SyncComponent, RemovedWhenItsLibraryIsGone) {
    ComponentWorld w;
    std::filesystem::remove(w.library);
    ASSERT_EQ(Registered(), 1);
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(Registered(), 0) << "the registration went with its library";
}

TEST(SyncComponent, OnlyForSyncOnlyAccounts) {
    ComponentWorld w(2);
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_TRUE(EngineWorld::Logged("Syncrhonize Only Account", 22)) << EngineWorld::Log();
    EXPECT_EQ(Registered(), 1) << "nothing was loaded, nothing unregistered";
}

}  // namespace
}  // namespace tess::engine::test
