// The sync-log writers and the progress dialog, through the sync manager stand-in's log
// capture and a scripted UI service, with the engine's strings from a catalogue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/language_module.h"
#include "common/msg_record.h"
#include "common/sync_progress_dialog.h"
#include "common/sync_report.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/ui_service.h"
#include "tests/common/scoped_zone.h"
#include "tests/support/test_home.h"

namespace tess::test {

namespace fs = std::filesystem;
using platform::syncmgr::LogLine;

namespace {

class SyncReport : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TESSALINE_LIBDIR");
        hadLibDir_ = old != nullptr;
        if (old) savedLibDir_ = old;
        const fs::path lib = home_.path() / "lib";
        fs::create_directories(lib / "lang");
        fs::copy_file(tess::test::sourceDir() / "tests/common/fixtures/LKSYNCLANG.lang", lib / "lang/LKSYNCLANG.lang");
        setenv("TESSALINE_LIBDIR", lib.c_str(), 1);
        platform::syncmgr::resetSession();
        int user = 0;
        ASSERT_EQ(platform::syncmgr::addUser("Pat", &user), 0);
        platform::syncmgr::setSessionUser(user);
    }
    void TearDown() override {
        if (hadLibDir_)
            setenv("TESSALINE_LIBDIR", savedLibDir_.c_str(), 1);
        else
            unsetenv("TESSALINE_LIBDIR");
        platform::syncmgr::resetSession();
    }

    static CMsg Message() {
        CMsg m;
        m.From = "ann@x.org, bob@y.org";
        m.To = "me@z.org";
        m.Subject = "Quarterly report";
        m.date = 1000000000;  // 9/9/2001 UTC
        return m;
    }

    tess::test::ScopedZone zone_{"UTC"};
    tess::test::TempHome home_;
    std::string savedLibDir_;
    bool hadLibDir_ = false;
};

std::vector<std::pair<std::string, int>> Captured() {
    std::vector<std::pair<std::string, int>> out;
    for (const LogLine& l : platform::syncmgr::capturedLog()) out.emplace_back(l.text, l.activity);
    return out;
}

}  // namespace

TEST_F(SyncReport, WritersPutTheirLinesAndActivities) {
    CLanguageModule lang("LKSYNCLANG.DLL", nullptr);
    ASSERT_NE(lang.languageModule(), nullptr);
    const CMsg msg = Message();
    const std::string summary = "\tFrom: ann@x.org, 9/9/2001, Quarterly report";

    LogSyncStart();
    LogRecordDeleteFailure(&msg);
    LogDatabaseOpenFailure();
    LogHostFailure(4310, nullptr);
    LogError(4310, &msg);
    LogDoNothing();
    LogNoActiveAccounts();
    LogInfo("3 new messages");
    LogTextLine("plain");
    LogSyncEnd();
    const std::vector<std::pair<std::string, int>> expected = {
        {"", 19},
        {"- Could not delete the following record on the handheld:", 12},
        {summary, -1},
        {"- Could not open Handheld's e-mail Database.", -1},
        {" - An out of memory error has occured.", 13},
        {" - An out of memory error has occured.", 22},
        {summary, 22},
        {"Tessaline - Sync configured to Do Nothing", -1},
        {"Tessaline - None of the accounts are configured for Tallyhop. Use the conduit to configure accounts to "
         "Tallyhop.",
         -1},
        {"TESSALINE INFO -- 3 new messages", -1},
        {"plain", -1},
        {"Tessaline", 20},
    };
    EXPECT_EQ(Captured(), expected);

    ReportSeeLog();
    EXPECT_EQ(platform::syncmgr::statusText(), "Tessaline - See Tallyhop.log\n");
}

TEST_F(SyncReport, MessageSummaries) {
    CLanguageModule lang("LKSYNCLANG.DLL", nullptr);
    struct Case {
        const char* from;
        const char* to;
        int32_t date;
        std::string subject;
        std::string summary;
    } cases[] = {
        {"ann@x.org, bob@y.org", "", 1000000000, "Hi", "\tFrom: ann@x.org, 9/9/2001, Hi"},
        {"", "me@z.org;you@z.org", 0, "Hi", "\tTo: me@z.org, Hi"},
        {"ann@x.org", "", 0, "", " "},
        {"", "", 1000000000, "Hi", ", 9/9/2001, Hi"},
        {"ann@x.org", "", 0, std::string(200, 's'), ("\tFrom: ann@x.org, " + std::string(200, 's')).substr(0, 128)},
    };
    for (const Case& c : cases) {
        CMsg m;
        m.From = c.from;
        m.To = c.to;
        m.date = c.date;
        m.Subject = c.subject;
        std::string out = "old";
        FormatMessageSummary(m, out);
        EXPECT_EQ(out, c.summary) << c.from << "|" << c.to;
    }
}

TEST_F(SyncReport, HostErrorTexts) {
    CLanguageModule lang("LKSYNCLANG.DLL", nullptr);
    struct Case {
        int code;
        std::string text;
    } cases[] = {
        {1, " - The action or command is not supported."},
        {223, " - Failed to logon succesfully."},
        {211, " - An invalid buffer size error has occured."},
        {228, " - Failed to retrieve the message body."},
        {999, "unchanged"},
        {0, "unchanged"},
    };
    for (const Case& c : cases) {
        std::string text = "unchanged";
        HostErrorText(c.code, text);
        EXPECT_EQ(text, c.text) << c.code;
    }
}

TEST_F(SyncReport, LanguageScopeRestoresOnExitAndMissingLibraryGivesEmptyStrings) {
    EXPECT_EQ(CurrentLanguageModule(), nullptr);
    {
        CLanguageModule outer("LKSYNCLANG.DLL", nullptr);
        {
            CLanguageModule missing("NOSUCHLANG.DLL", nullptr);
            EXPECT_EQ(missing.languageModule(), nullptr);
            EXPECT_EQ(LoadLangString(4022), "");
        }
        EXPECT_EQ(CurrentLanguageModule(), outer.languageModule());
        EXPECT_EQ(LoadLangString(4022), "Tessaline");
    }
    EXPECT_EQ(CurrentLanguageModule(), nullptr);
}

TEST_F(SyncReport, ProgressDialogThroughTheUiService) {
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    CLanguageModule lang("LKSYNCLANG.DLL", nullptr);
    CSyncProgress progress;

    progress.AdvanceOverall();  // no dialog yet: nothing happens
    EXPECT_TRUE(ui.progressLines().empty());

    progress.ShowProgress();
    CSyncProgressDlg* dlg = progress.Dialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->Caption(), "Tessaline (TM) Tallyhop\xAE Progress");
    EXPECT_EQ(dlg->Overall().count, 11);
    EXPECT_EQ(dlg->Overall().last, 10);

    progress.SetStepCount(4);
    progress.SetStepCount(0);  // ignored
    EXPECT_EQ(dlg->Step().count, 4);
    progress.AdvanceStep();
    progress.SetProgressText("Mail & Calendar");
    EXPECT_EQ(dlg->ControlText(), "Mail && Calendar");
    EXPECT_EQ(dlg->ShownText(), "Mail & Calendar");

    progress.SaveStepState();
    // A host announces and walks its own steps on the same dialog, through its window.
    const HWND window = progress.Window();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(SendMessageA(window, kProgressSetStepCount, 2, 0), 0);
    EXPECT_EQ(SendMessageA(window, kProgressAdvanceStep, 0, 0), 0);
    EXPECT_EQ(dlg->Step().position, 1);
    progress.SetProgressText("listing");
    progress.RestoreStepState();
    EXPECT_EQ(dlg->Step().count, 4);
    EXPECT_EQ(dlg->Step().position, 1);
    EXPECT_EQ(dlg->ShownText(), "Mail & Calendar");
    EXPECT_EQ(dlg->SendMessage(0x999, 0, 0), -1);

    const std::vector<std::string> lines = ui.progressLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Tessaline (TM) Tallyhop\xAE Progress [1/11] [1/4] Mail & Calendar");

    progress.CloseProgress();
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_EQ(progress.Window(), nullptr);
    // A host that kept the handle reaches nobody once the dialog is gone.
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(SendMessageA(window, kProgressAdvanceStep, 0, 0), 0);
    EXPECT_EQ(ui.progressLines().back(), "Tessaline (TM) Tallyhop\xAE Progress [11/11] [3/4] Mail & Calendar");
    progress.AdvanceStep();  // gone: nothing happens
    EXPECT_EQ(ui.progressLines().size(), lines.size() + 1);
}

}  // namespace tess::test
