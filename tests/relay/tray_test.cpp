// The relay program's windows offscreen: start-up into the tray, the tray menu, the poll
// timer, the new-mail road driven by the event loop, the refusals of start-up, and the
// About and address dialogs.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QtTest/QTest>

#include "platform/mapi/mail_client_registration.h"
#include "relay/main_frame.h"
#include "relay/relay_app.h"
#include "relay/relay_dialogs.h"
#include "tests/relay/relay_test_support.h"

namespace tess::relay::test {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "relay_tray_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class TrayTest : public RelayFixture {
protected:
    void SetUp() override {
        App();
        RelayFixture::SetUp();
        relay::ExitPending() = false;
    }
    void TearDown() override {
        RelayFixture::TearDown();
        for (int i = 0; i < 4; ++i) relay::LogClose();  // the relay's own opens of the log
    }
    std::vector<std::string> questionTexts() {
        std::vector<std::string> out;
        for (const auto& q : ui.questions()) out.push_back(q.text);
        return out;
    }
};

TEST_F(TrayTest, StartsIntoTheTrayAndForwardsWhatArrives) {
    ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/tallyhop"));
    relay::CRelayApp relayApp;
    ASSERT_TRUE(relayApp.InitInstance()) << (questionTexts().empty() ? "" : questionTexts().back());
    relay::CMainFrame* frame = relayApp.Frame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->ready);
    EXPECT_FALSE(frame->isVisible()) << "the main window stays hidden";
    std::vector<std::string> items;
    for (QAction* a : frame->Menu().actions()) items.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"Settings", "-", "About...", "Help...", "-", "Exit"}));
    EXPECT_EQ(frame->Tray().GetTooltipText(), "Corvid(TM) Wayfarer is running.");
    EXPECT_EQ(frame->PollTimer().interval(), 5000);
    EXPECT_TRUE(frame->PollTimer().isActive());

    deliver("Lunch", "noon");  // nobody dispatches here: the frame's event loop does
    EXPECT_TRUE(QTest::qWaitFor([&] { return submittedTo(wireless).size() == 1; }, 5000));
    EXPECT_EQ(frame->Tray().GetTooltipText().rfind("Last forward: ", 0), 0u);

    if (const char* hold = std::getenv("TESS_TRAY_HOLD_MS")) QTest::qWait(std::atoi(hold));

    frame->Menu().findChild<QAction*>("57665")->trigger();
    EXPECT_EQ(relayApp.Watcher(), nullptr) << "Exit lets the watcher go";
    EXPECT_TRUE(questionTexts().empty());
}

TEST_F(TrayTest, StartUpRefusals) {
    {
        relay::CRelayApp relayApp;
        EXPECT_FALSE(relayApp.InitInstance());
        ASSERT_EQ(questionTexts().size(), 1u);
        EXPECT_EQ(questionTexts()[0].rfind("Microsoft Outlook is not the default E-mail program.", 0), 0u);
        EXPECT_EQ(ui.questions()[0].caption, "Corvid(TM) Wayfarer");
    }
    ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/tallyhop"));
    relay::CRelayApp first;
    ASSERT_TRUE(first.InitInstance());
    {
        relay::CRelayApp second;
        EXPECT_FALSE(second.InitInstance());
        ASSERT_EQ(questionTexts().size(), 2u);
        EXPECT_EQ(questionTexts()[1], "Corvid(TM) Wayfarer is already running in the system tray.");
    }
    // Closing while start-up still runs is deferred, once.
    first.Frame()->ready = false;
    first.Frame()->RequestClose();
    first.Frame()->RequestClose();
    EXPECT_EQ(questionTexts().size(), 3u);
    EXPECT_EQ(questionTexts()[2], "The Corvid(TM) Wayfarer will exit upon completion of initialization phase.");
    EXPECT_EQ(first.Frame()->Tray().GetTooltipText(), "The Corvid(TM) Wayfarer is waiting to exit.");
    EXPECT_TRUE(relay::ExitPending());
    relay::ExitPending() = false;
}

TEST_F(TrayTest, NewKeyWithTheSameProfileOnlyClearsTheFlag) {
    ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/tallyhop"));
    relay::CRelayApp relayApp;
    ASSERT_TRUE(relayApp.InitInstance());
    relay::CMAPIRedirect* watcher = relayApp.Watcher();
    registry.WriteRelayValue("NewKey", 1);
    relayApp.Frame()->OnTimer();
    EXPECT_EQ(registry.ReadRelayValue("NewKey").value_or(1), 0u);
    EXPECT_EQ(relayApp.Watcher(), watcher) << "no reconfiguration";
    relay::Road().stopRequested = true;  // a shut-down request closes at the next tick
    relayApp.Frame()->OnTimer();
    EXPECT_EQ(relayApp.Watcher(), nullptr);
}

TEST_F(TrayTest, AboutAndAddressDialogs) {
    relay::CAboutDlg about;
    EXPECT_EQ(about.Title()->text().toStdString(), "Corvid(TM) Wayfarer 1.2");
    EXPECT_TRUE(about.Title()->font().bold());

    std::string address, smtp = "me@smtp.test";
    relay::CAddressDlg dialog(&address, &smtp, false);
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>("1002");
    auto* smtpEdit = dialog.findChild<QLineEdit*>("1003");
    ASSERT_TRUE(edit && smtpEdit);
    EXPECT_FALSE(smtpEdit->isVisible());
    EXPECT_FALSE(dialog.findChild<QLabel*>("1005")->isVisible());
    QTest::keyClicks(edit, "relay@wireless.test");
    dialog.reject();
    EXPECT_EQ(address, "relay@wireless.test") << "the caller's text follows the edit, Cancel or not";
    EXPECT_EQ(smtp, "me@smtp.test");
}

}  // namespace
}  // namespace tess::relay::test
