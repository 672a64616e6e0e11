// A change made in the configuration window reaches the next synchronisation: an IMAP
// account whose handheld password is wrong gets the right one on the handheld preferences
// page, and the next synchronisation fetches the mail from the private Dovecot.
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "common/language_module.h"
#include "config/config_frame.h"
#include "platform/ui/qt/qt_ui.h"
#include "tests/engine/engine_world.h"
#include "tests/servers/server_fixture.h"

namespace panelwright {
namespace {

using tess::engine::test::EngineWorld;

class WindowToDovecot : public tess::test::MailServersTest {
protected:
    void Append(const std::string& subject) {
        const std::string text = "From: Bob <bob@example.org>\r\nTo: " + servers().address(servers().user()) +
                                 "\r\nSubject: " + subject + "\r\n\r\nBody of " + subject + "\r\n";
        tess::test::ImapAdmin(servers().imapPort(), servers().user(), servers().password()).Append("INBOX", "", text);
    }
};

TEST_F(WindowToDovecot, SyncUsesThePasswordSetInTheWindow) {
    ASSERT_TRUE(platform::ui::ensureWindowedApplication());
    EngineWorld world;
    FreeLibrary(world.host);
    world.host = LoadLibraryA("Heronwick.dll");
    ASSERT_NE(world.host, nullptr);
    handheld_app::AccountSetup h;
    h.server = servers().host();
    h.port = uint16_t(servers().imapPort());
    h.smtpServer = servers().host();
    h.smtpPort = uint16_t(servers().smtpPort());
    h.user = servers().user();
    h.password = "not-the-password";
    h.email = servers().address(servers().user());
    world.ImapAccount(0, {}, h);
    Append("from the window");
    world.Sync();  // the account fails: its result is the engine's to report
    EXPECT_TRUE(world.Subjects(0).empty()) << "the wrong password fetches nothing";

    {
        platform::ui::ScriptedUi ui;
        platform::ui::ScopedUi scope(ui);
        CLanguageModule language("LKSYNCLANG.DLL", nullptr);
        CUserConfig model(world.userId);
        ConfigFrame frame(model);
        ASSERT_TRUE(frame.ShowPage(kPageDevicePreference, 0));
        auto* password = frame.Page()->findChild<QLineEdit*>("11081");
        ASSERT_NE(password, nullptr);
        password->setFocus();
        QTest::keyClick(password, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(password, QString::fromStdString(servers().password()));
        frame.SaveAll();
        EXPECT_TRUE(ui.questions().empty());
    }
    ASSERT_EQ(world.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(world.Subjects(0), (std::vector<std::string>{"from the window"})) << EngineWorld::Log();
}

}  // namespace
}  // namespace panelwright
