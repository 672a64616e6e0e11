// The conduit loaded as the sync manager loads it, with an engine and host libraries
// built for the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>

#include "conduit/gatehouse.h"
#include "engine/tidewater.h"
#include "platform/core/module.h"
#include "platform/core/registry.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/ui_service.h"
#include "tests/support/test_home.h"

namespace tess::conduit::test {

using tess::test::TempHome;
using tess::test::libDir;

namespace {

constexpr const char* kProduct = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\";
constexpr uint32_t kMail = 0x61736333;

// The conduit calls the engine through this type; a narrower first argument in the engine
// would cut the progress callback on 64-bit.
static_assert(std::is_same_v<decltype(&SynchronizeMail), SynchronizeMailFn>);

std::string Lib(const char* name) { return (libDir() / name).string(); }

class Conduit : public ::testing::Test {
protected:
    void SetUp() override {
        home_.emplace();
        platform::syncmgr::resetSession();
        ASSERT_EQ(platform::syncmgr::addUser("Ada", &userId_), 0);
        userDir_ = platform::syncmgr::userDirectory(userId_).string();
        module_ = LoadLibraryA("Gatehouse.dll");
        ASSERT_NE(module_, nullptr);
        open_ = reinterpret_cast<decltype(open_)>(GetProcAddress(module_, "OpenConduit"));
        info_ = reinterpret_cast<decltype(info_)>(GetProcAddress(module_, "GetConduitInfo"));
        name_ = reinterpret_cast<decltype(name_)>(GetProcAddress(module_, "GetConduitName"));
        cfg_ = reinterpret_cast<decltype(cfg_)>(GetProcAddress(module_, "CfgConduit"));
        setup_ = reinterpret_cast<decltype(setup_)>(GetProcAddress(module_, "SetupMail"));
        action_ = reinterpret_cast<decltype(action_)>(GetProcAddress(module_, "ConfigureConduit"));
        ASSERT_TRUE(open_ && info_ && name_ && cfg_ && setup_ && action_);
        unsetenv("TEST_ENGINE_RESULT");
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        home_.reset();
    }

    void list(const char* listName, const char* valueName, const std::string& path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (std::string(kProduct) + listName).c_str(), &key), ERROR_SUCCESS);
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const unsigned char*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
    }
    void listNumber(const char* listName, const char* valueName) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (std::string(kProduct) + listName).c_str(), &key), ERROR_SUCCESS);
        const uint32_t n = 1;
        RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&n), 4);
        RegCloseKey(key);
    }
    void listEverything() {
        list("MsgHostPlugins", "Copperfen", Lib("libtest_host_xmapi.so"));
        list("MsgHostPlugins", "Heronwick", Lib("libtest_host_imap.so"));
        list("MsgHostPlugins", "Fenwick", Lib("libtest_host_pop.so"));
        list("MsgSyncPlugins", "Tidewater", Lib("libtest_engine.so"));
    }

    int sync(const std::string& path) {
        SyncProperties p{};
        std::snprintf(p.path, sizeof p.path, "%s", path.c_str());
        std::remove(callFile().c_str());
        return open_(&progress_, &p);
    }
    // A real object's address as the progress callback: above 4 GiB on x86-64, so a
    // 32-bit hop on the way would show.
    std::string progressText() const {
        char text[32];
        std::snprintf(text, sizeof text, "%p", static_cast<const void*>(&progress_));
        return text;
    }
    std::string callFile() const { return (home_->path() / "engine_call.txt").string(); }
    std::string engineCall() const {
        std::ifstream f(callFile());
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    std::optional<TempHome> home_;
    int userId_ = 0;
    int progress_ = 0;  // stands for the sync manager's progress callback
    std::string userDir_;
    HMODULE module_ = nullptr;
    int (*open_)(void*, SyncProperties*) = nullptr;
    int (*info_)(int, const uint32_t*, void*, uint32_t*) = nullptr;
    int (*name_)(char*, uint16_t) = nullptr;
    int (*cfg_)(int, ConduitConfigInfo*, uint32_t*) = nullptr;
    int (*setup_)(int, int) = nullptr;
    int (*action_)(ConduitActionPrefs*) = nullptr;
};

TEST_F(Conduit, OpenConduitResults) {
    const std::string inUserFolder = userDir_ + "/Larkspur/";
    EXPECT_EQ(sync(inUserFolder), GATEHOUSE_NO_HOSTS);  // nothing listed
    listNumber("MsgHostPlugins", "Fenwick");            // a number names no library
    list("MsgHostPlugins", "Briarholt", "/no/such/libnotes.so");
    EXPECT_EQ(sync(inUserFolder), GATEHOUSE_NO_HOSTS);
    list("MsgHostPlugins", "Heronwick", Lib("libtest_host_imap.so"));
    EXPECT_EQ(sync(inUserFolder), GATEHOUSE_NO_SYNC);
    list("MsgSyncPlugins", "Other", Lib("libtest_host_pop.so"));
    EXPECT_EQ(sync(inUserFolder), GATEHOUSE_NO_ENGINE);  // no "Tidewater"
    list("MsgSyncPlugins", "Tidewater", Lib("libtest_host_pop.so"));
    EXPECT_EQ(sync(inUserFolder), GATEHOUSE_NO_ENGINE);  // no SynchronizeMail in it
    EXPECT_EQ(sync("/nowhere/at/all/"), GATEHOUSE_NO_USER);
    EXPECT_EQ(engineCall(), "");  // the engine was never called
}

TEST_F(Conduit, EngineGetsTheHostsByNameInFixedOrder) {
    list("MsgHostPlugins", "fenWICK", Lib("libtest_host_pop.so"));  // letter case aside
    list("MsgHostPlugins", "Extra", Lib("libtest_host_imap.so"));   // loaded, not passed on
    list("MsgSyncPlugins", "TIDEWATER", Lib("libtest_engine.so"));
    setenv("TEST_ENGINE_RESULT", "17", 1);
    EXPECT_EQ(sync(userDir_ + "/Larkspur/"), 17);
    if (sizeof(void*) == 8) {
        ASSERT_GT(reinterpret_cast<uintptr_t>(&progress_), uintptr_t{0xFFFFFFFF});
    }
    const std::string expected = "progress=" + progressText() + "\npath=" + userDir_ +
                                 "/Larkspur/\nlast=4\nuser=" + std::to_string(userId_) +
                                 "\nhost0=-\nhost1=-\nhost2=-\nhost3=-\nhost4=Fenwick\n";
    EXPECT_EQ(engineCall(), expected);

    listEverything();
    setenv("TEST_ENGINE_RESULT", "0", 1);
    EXPECT_EQ(sync(userDir_ + "/Larkspur/"), 0);
    EXPECT_NE(engineCall().find("host0=Copperfen\nhost1=-\nhost2=-\nhost3=Heronwick\nhost4=Fenwick\n"),
              std::string::npos);
}

TEST_F(Conduit, UserFolderFromThePath) {
    listEverything();
    const std::string folderName = std::filesystem::path(userDir_).filename().string();
    struct Case {
        std::string path;
        int result;  // 0: the user was found
    };
    const Case cases[] = {
        {userDir_ + "/Larkspur/", 0},  // the folder above the last element
        {userDir_ + "/Larkspur", 0},
        {userDir_ + "/file.txt", 0},          // a file inside the user's folder
        {userDir_ + "/", GATEHOUSE_NO_USER},  // its parent is not a user's folder
        {folderName, 0},                      // no separator: taken as it stands
        {"", GATEHOUSE_NO_USER},
    };
    for (const Case& c : cases) EXPECT_EQ(sync(c.path), c.result) << "'" << c.path << "'";
}

TEST_F(Conduit, InformationQueries) {
    char buffer[64] = "untouched";
    uint32_t four = 4, five = 5, size = sizeof buffer;
    const uint32_t goodIn[2] = {1, 0x50}, badIn[2] = {1, 0x51};
    uint32_t word = 0;
    struct Case {
        int type;
        const uint32_t* in;
        void* out;
        uint32_t* size;
        int expected;
    };
    const Case cases[] = {
        {5, nullptr, &word, nullptr, CONDUIT_INFO_NO_SIZE},  // the size is tested before the type
        {0, goodIn, nullptr, &size, CONDUIT_INFO_NO_OUT},   {0, nullptr, buffer, &size, CONDUIT_INFO_NO_IN},
        {0, badIn, buffer, &size, CONDUIT_INFO_BAD_IN},     {1, nullptr, &word, &five, CONDUIT_INFO_BAD_SIZE},
        {2, nullptr, &word, &five, CONDUIT_INFO_BAD_SIZE},  {3, nullptr, &word, &four, CONDUIT_INFO_BAD_TYPE},
    };
    for (const Case& c : cases) EXPECT_EQ(info_(c.type, c.in, c.out, c.size), c.expected) << c.type;
    EXPECT_EQ(info_(1, nullptr, &word, &four), 0);
    EXPECT_EQ(word, 0x600u);
    word = 9;
    EXPECT_EQ(info_(2, nullptr, &word, &four), 0);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(info_(0, goodIn, buffer, &size), 0);
    EXPECT_STREQ(buffer, "Larkspur Deluxe");

    char one[4] = "abc";
    EXPECT_EQ(name_(one, 1), 0);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(one[1], 'b');
    char cut[5];
    EXPECT_EQ(name_(cut, 5), 0);
    EXPECT_STREQ(cut, "Lark");
}

TEST_F(Conduit, ConfigurationThroughTheEngine) {
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    ConduitConfigInfo info{};
    info.userId = userId_;
    EXPECT_EQ(setup_(userId_, 0), -1);  // no engine listed
    EXPECT_EQ(cfg_(0, &info, nullptr), -1);
    ASSERT_EQ(ui.questions().size(), 2u);
    EXPECT_EQ(ui.questions()[0].icon, platform::ui::Icon::Information);
    EXPECT_NE(ui.questions()[0].text.find("Impossibile trovare"), std::string::npos);

    listEverything();
    setenv("TEST_ENGINE_RESULT", "3", 1);
    EXPECT_EQ(setup_(userId_, 0), 3);
    EXPECT_EQ(engineCall(), "configure user=" + std::to_string(userId_) + "\n");

    // The sync manager's preferences against what the record says.
    struct Case {
        int permanent, temporary;  // -1 unset
        int permanentInRecord, temporaryInRecord;
        int changed, action;  // expected; changed -1 = left as it was
    };
    const Case cases[] = {
        {3, 0, 6, 2, 2, 0},                          // permanent agrees; the temporary one changed
        {0, 3, 6, 6, 1, 0},                          // the permanent one wins
        {3, -1, 0, 0, 1, 6},  {0, 0, 0, 0, -1, -1},  // nothing changed
        {5, 5, 0, 0, -1, -1},                        // unknown preferences change nothing
    };
    for (const Case& c : cases) {
        platform::syncmgr::resetSession();
        if (c.permanent >= 0) RosterSetPermanentAction(userId_, kMail, c.permanent);
        if (c.temporary >= 0) RosterSetNextAction(userId_, kMail, c.temporary);
        ConduitConfigInfo record{};
        record.userId = userId_;
        record.permanentAction = c.permanentInRecord;
        record.temporaryAction = c.temporaryInRecord;
        record.changedPreference = -1;
        record.newAction = -1;
        EXPECT_EQ(cfg_(0, &record, nullptr), 3);
        EXPECT_EQ(record.changedPreference, c.changed) << c.permanent << "/" << c.temporary;
        EXPECT_EQ(record.newAction, c.action) << c.permanent << "/" << c.temporary;
    }

    // An engine whose configuration itself answers -1 still has the preferences read.
    setenv("TEST_ENGINE_RESULT", "-1", 1);
    RosterSetPermanentAction(userId_, kMail, 3);
    ConduitConfigInfo record{};
    record.userId = userId_;
    EXPECT_EQ(cfg_(0, &record, nullptr), -1);
    EXPECT_EQ(record.changedPreference, 1);
    EXPECT_EQ(record.newAction, 6);
    EXPECT_EQ(ui.questions().size(), 2u);  // no message: the engine was there
}

TEST_F(Conduit, SyncActionDialogFillsTheRecordOnlyOnOk) {
    listEverything();
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    using platform::ui::ChoiceAnswer;
    struct Case {
        int preset;
        ChoiceAnswer answer;
        int preselected;          // the option the dialog opened with
        int action, defaultFlag;  // the record afterwards
        bool configured;          // the engine's configuration ran
    };
    const Case cases[] = {
        {6, {IDOK, 0, true, {}}, 1, 0, 1, false},
        {0, {IDOK, 1, false, {}}, 0, 6, 2, false},
        {99, {IDOK, 1, true, {0}}, 0, 6, 1, true},      // unknown presets select synchronise
        {6, {IDCANCEL, 0, true, {0}}, 1, 6, 77, true},  // Cancel leaves the record, also after configuring
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        std::remove(callFile().c_str());
        ui.answerNextForm(c.answer);
        ConduitActionPrefs prefs{};
        prefs.creator = kMail;
        prefs.userId = userId_;
        prefs.action = c.preset;
        prefs.defaultFlag = 77;
        EXPECT_EQ(action_(&prefs), 0);
        const auto forms = ui.forms();
        ASSERT_FALSE(forms.empty());
        const auto& form = forms.back();
        EXPECT_EQ(form.choice, c.preselected);
        EXPECT_FALSE(form.checked);
        EXPECT_EQ(prefs.action, c.action);
        EXPECT_EQ(prefs.defaultFlag, c.defaultFlag);
        EXPECT_EQ(engineCall(), c.configured ? "configure user=" + std::to_string(userId_) + "\n" : "");
    }
    const auto form = ui.forms().front();
    EXPECT_EQ(form.caption, "Operazione Tallyhop per Tessaline (TM)");
    ASSERT_EQ(form.options.size(), 2u);
    EXPECT_EQ(form.options[0].text, "Sincronizza account attivi");
    EXPECT_EQ(form.options[1].id, 1005);
    EXPECT_EQ(form.check.id, 1008);
    ASSERT_EQ(form.pictures.size(), 2u) << "a picture beside each choice";
    EXPECT_EQ(form.pictures[0].id, 1010);
    EXPECT_EQ(form.pictures[0].kind, platform::ui::FormPicture::DeviceSync);
    EXPECT_EQ(form.pictures[1].id, 1011);
    EXPECT_EQ(form.pictures[1].kind, platform::ui::FormPicture::DeviceIdle);
    ASSERT_EQ(form.actions.size(), 2u);
    EXPECT_EQ(form.actions[0].label.text, "Configura account...");
    EXPECT_EQ(form.actions[1].label.text, "Guida");
    EXPECT_EQ(form.actions[1].label.id, 1007);
    EXPECT_TRUE(ui.problems().empty());

    // Help: there is no help file beside the sync manager, and the user is told so.
    std::remove(callFile().c_str());
    ui.answerNextForm({IDCANCEL, 0, false, {1}});
    ConduitActionPrefs helped{};
    helped.creator = kMail;
    helped.userId = userId_;
    helped.action = 0;
    EXPECT_EQ(action_(&helped), 0);
    ASSERT_FALSE(ui.questions().empty());
    EXPECT_NE(ui.questions().back().text.find("LKConduit.hlp"), std::string::npos) << ui.questions().back().text;
    EXPECT_EQ(engineCall(), "") << "help configures nothing";

    // An unknown user gets no dialog.
    ConduitActionPrefs stranger{};
    stranger.userId = userId_ + 1000;
    stranger.action = 6;
    EXPECT_EQ(action_(&stranger), -1);
    EXPECT_EQ(action_(nullptr), -1);
    EXPECT_EQ(ui.forms().size(), std::size(cases) + 1);
    EXPECT_EQ(stranger.action, 6);
}

TEST_F(Conduit, SyncActionDialogWithoutADisplayChangesNothing) {
    platform::ui::HeadlessUi headless(nullptr);
    platform::ui::ScopedUi scope(headless);
    ConduitActionPrefs prefs{};
    prefs.userId = userId_;
    prefs.action = 6;
    prefs.defaultFlag = 1;
    EXPECT_EQ(action_(&prefs), 0);
    EXPECT_EQ(prefs.action, 6);
    EXPECT_EQ(prefs.defaultFlag, 1);
}

}  // namespace
}  // namespace tess::conduit::test
