// The account wizard's Notes question, LarkspurGetNotesConfiguration, against the Notes
// client stand-in with scripted dialogs.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/tidewater.h"
#include "platform/core/runtime.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/form_dialogs.h"
#include "platform/ui/ui_service.h"
#include "tests/platform/notes/notes_fixture.h"

namespace tess::engine::test {

using tess::test::TempHome;
using platform::notes::test::NotesInstallation;

namespace {

class NotesConfigurationTest : public ::testing::Test {
protected:
    NotesConfigurationTest() : scopedDialogs(dialogs), scopedUi(ui) {}
    ~NotesConfigurationTest() override { setenv("PATH", savedPath.c_str(), 1); }

    int ask(int idSize = 256, int mailSize = 256, int passwordSize = 256) {
        return LarkspurGetNotesConfiguration(id, idSize, mail, mailSize, password, passwordSize);
    }

    std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    NotesInstallation notes;
    platform::ui::ScriptedFormDialogs dialogs;
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedFormDialogs scopedDialogs;
    platform::ui::ScopedUi scopedUi;
    char id[256] = {}, mail[256] = {}, password[256] = {};
};

TEST_F(NotesConfigurationTest, RefusedPairIsAskedAgainUntilAccepted) {
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDOK, notes.boId.string(), "guess");
    ui.answerNext(IDYES);
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDOK, notes.boId.string(), "bo-secret");
    ASSERT_EQ(ask(), 1);
    EXPECT_EQ(std::string(id), notes.boId.string());
    EXPECT_STREQ(mail, "CN=Mailhub/O=Tess");
    EXPECT_STREQ(password, "bo-secret");
    ASSERT_EQ(ui.questions().size(), 1u);
    EXPECT_EQ(ui.questions()[0].caption, "Lotus Notes ID File Error");
    EXPECT_EQ(ui.questions()[0].text.rfind("The Lotus Notes ID file and password pair are invalid.", 0), 0u);
    EXPECT_EQ(ui.questions()[0].buttons, platform::ui::Buttons::YesNo);
    EXPECT_EQ(ui.questions()[0].icon, platform::ui::Icon::Information);
    EXPECT_TRUE(dialogs.problems().empty());
    // The working notes.ini in the Windows directory went with the client.
    EXPECT_FALSE(std::filesystem::exists(platform::windowsDir() / "notes.ini"));
}

TEST_F(NotesConfigurationTest, AnswersZeroWhenRefusedCancelledOrTooLong) {
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDOK, notes.boId.string(), "guess");
    ui.answerNext(IDNO);
    EXPECT_EQ(ask(), 0);
    dialogs.answerFile(IDCANCEL);
    EXPECT_EQ(ask(), 0);
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDOK, notes.boId.string(), "bo-secret");
    EXPECT_EQ(ask(256, 5, 256), 0);  // the mail server does not fit
    EXPECT_EQ(ui.questions().size(), 1u);
    EXPECT_TRUE(dialogs.problems().empty());
}

// Help in the ID dialog opens the engine's help file beside the sync manager when it is
// there, and otherwise says where it was looked for; the dialog stays open either way.
TEST_F(NotesConfigurationTest, HelpOpensTheEngineHelpFileOrSaysItIsMissing) {
    char dir[260];
    int size = sizeof dir;
    ASSERT_EQ(QuayGetSyncManagerDirectory(dir, &size), SYNC_OK);
    const std::filesystem::path help = std::filesystem::path(dir) / "LKConduit.hlp";
    // A desktop opener of our own that notes what it was asked to open.
    const std::filesystem::path bin = notes.home.path() / "bin", opened = notes.home.path() / "opened";
    std::filesystem::create_directories(bin);
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened.string() << "'\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
    for (const bool present : {false, true}) {
        SCOPED_TRACE(present);
        std::filesystem::remove(opened);
        if (present) {
            std::filesystem::create_directories(help.parent_path());
            std::ofstream(help) << "help";
        }
        const size_t asked = ui.questions().size();
        dialogs.answerFile(IDOK, notes.boId.string());
        dialogs.answerCredentials(3);  // Help, then Cancel in the same dialog
        dialogs.answerCredentials(IDCANCEL);
        EXPECT_EQ(ask(), 0);
        EXPECT_TRUE(dialogs.problems().empty());
        if (present) {
            std::ifstream in(opened);
            const std::string target((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(target, help.string());
            EXPECT_EQ(ui.questions().size(), asked);
        } else {
            EXPECT_FALSE(std::filesystem::exists(opened));
            ASSERT_EQ(ui.questions().size(), asked + 1);
            EXPECT_NE(ui.questions().back().text.find(help.string()), std::string::npos) << ui.questions().back().text;
            EXPECT_EQ(ui.questions().back().caption, "Lotus Notes ID File Validator");
        }
    }
    std::filesystem::remove(help);
}

TEST(NotesConfigurationWithoutNotes, AnswersZeroWithoutShowingAnything) {
    TempHome home;
    platform::ui::ScriptedFormDialogs dialogs;
    platform::ui::ScopedFormDialogs scoped(dialogs);
    char id[64], mail[64], password[64];
    EXPECT_EQ(LarkspurGetNotesConfiguration(id, 64, mail, 64, password, 64), 0);
    EXPECT_TRUE(dialogs.fileRequests().empty());
}

}  // namespace
}  // namespace tess::engine::test
