#pragma once
// A desktop user with the mail conduit registered, its settings and account folder, and
// an emulated handheld; the data manager's session is opened over them.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "accounts/user_settings.h"
#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_store.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

namespace tess::datamgr::test {

using tess::test::TempHome;

inline constexpr uint32_t kMail = 0x61736333;
inline constexpr int kInvalid = static_cast<int>(0x80000002u);

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_.emplace();
        platform::syncmgr::resetSession();
        platform::syncmgr::useHandheld("hh");
        handheld_.emplace("hh");
        ASSERT_EQ(platform::syncmgr::addUser("Ada", &userId_), 0);
        platform::syncmgr::ConduitRegistration c;
        c.creator = kMail;
        c.name = "Tessaline";
        c.library = "Gatehouse.dll";
        c.directory = "Larkspur";
        ASSERT_EQ(platform::syncmgr::registerConduit(c), 0);
        accounts::CGeneralSettings general;
        general.SetDefaults();
        general.Save(userId_, "Tessaline", 0, 0);
        std::filesystem::create_directories(platform::syncmgr::userDirectory(userId_) / "Tessaline");
    }
    void TearDown() override {
        handheld_.reset();
        platform::syncmgr::resetSession();
        home_.reset();
    }

    int open(void* session = nullptr, int noDialog = 1, uint32_t creator = kMail, int user = -1) {
        IpesInitBlock block{session, noDialog, user == -1 ? userId_ : user, creator};
        return IPES_Initialize(&block);
    }

    std::optional<TempHome> home_;
    std::optional<platform::syncmgr::HandheldStore> handheld_;
    int userId_ = 0;
};

// Frees a handle when it goes.
struct Handle {
    StoreHandle* h = nullptr;
    ~Handle() {
        if (h) MAccRelease(&h);
    }
    StoreHandle** out() { return &h; }
};

}  // namespace tess::datamgr::test
