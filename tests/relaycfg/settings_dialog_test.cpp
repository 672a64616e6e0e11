// The relay settings dialog behind ConfigSetUp, driven as a user would: the choices reach
// the configuration through the exports, and what ConfigSetUp answers says what changed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>

#include "accounts/user_settings.h"
#include "common/plugin_registry.h"
#include "platform/core/registry.h"
#include "platform/mapi/profiles.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/ui_service.h"
#include "relaycfg/lanternby.h"
#include "tests/support/test_home.h"

using tess::relaycfg::RelayUserSettings;

namespace {

namespace fs = std::filesystem;

QApplication& App() {
    static int argc = 1;
    static char name[] = "settings_dialog_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class SettingsDialogTest : public ::testing::Test {
protected:
    tess::test::TempHome home;
    platform::ui::ScriptedUi ui;
    std::unique_ptr<platform::ui::ScopedUi> scope;
    tess::CPluginRegistry registry;
    int relayUser = 0, otherUser = 0;

    void SetUp() override {
        App();
        scope = std::make_unique<platform::ui::ScopedUi>(ui);
        ASSERT_EQ(platform::syncmgr::addUser("Relay", &relayUser), 0);
        ASSERT_EQ(platform::syncmgr::addUser("Second", &otherUser), 0);
        for (int id : {relayUser, otherUser}) {
            tess::accounts::CRelaySettings relay;
            relay.enterprise = 1;
            relay.account = 0;
            relay.networkName = "me@wireless.test";
            ASSERT_EQ(relay.Save(id, "LarkspurRDC"), 1);
            tess::accounts::CAccountSettings account;
            account.SetDefaults();
            account.mapiProfile = "Office";
            account.password = "pw";
            ASSERT_EQ(account.Save(id, "Larkspur", 517, 0), 1);
        }
        for (const char* name : {"Office", "Home"}) {
            platform::mapi::Profile p;
            p.name = name;
            p.maildir = (home.path() / name).string();
            ASSERT_TRUE(platform::mapi::saveProfile(p));
        }
        registry.WriteRelayValue("User", uint32_t(relayUser));
        registry.WriteRelayValue("Installed", 1);
        ASSERT_EQ(ConfigInit(), 0);
    }
    void TearDown() override { ConfigUnInit(); }

    // Runs ConfigSetUp while `act` plays the user on the dialog once it is up.
    int setUpWith(std::function<void(QWidget*)> act) {
        bool acted = false;
        std::function<void()> poll;
        poll = [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog) {
                QTimer::singleShot(10, poll);
                return;
            }
            acted = true;
            act(dialog);
        };
        QTimer::singleShot(0, poll);
        const int result = ConfigSetUp();
        EXPECT_TRUE(acted);
        return result;
    }
    static void click(QWidget* dialog, const char* id) { dialog->findChild<QPushButton*>(id)->click(); }
    tess::accounts::CRelaySettings relaySettings(int id) {
        tess::accounts::CRelaySettings s;
        s.Load(id, "LarkspurRDC");
        return s;
    }
};

TEST_F(SettingsDialogTest, CancelWithoutChangesWritesNothingWithAChangeStoresIt) {
    EXPECT_EQ(setUpWith([](QWidget* d) {
                  EXPECT_EQ(d->findChild<QComboBox*>("7006")->currentText(), "Relay");
                  EXPECT_EQ(d->findChild<QComboBox*>("7019")->currentText(), "Office");
                  EXPECT_FALSE(d->findChild<QCheckBox*>("7008")->isVisible()) << "hidden until Shift and Cancel";
                  click(d, "7010");
              }),
              11);
    EXPECT_EQ(relaySettings(relayUser).logInformational, 0);
    EXPECT_EQ(*registry.ReadRelayValue("Installed") & 2u, 0u) << "no mail made due";

    EXPECT_EQ(setUpWith([](QWidget* d) {
                  d->findChild<QCheckBox*>("7007")->setChecked(true);
                  click(d, "7010");
              }),
              12);
    EXPECT_EQ(relaySettings(relayUser).logInformational, 1);
}

TEST_F(SettingsDialogTest, OkStoresTheProfileAndPasswordAndMakesAMailDue) {
    EXPECT_EQ(setUpWith([](QWidget* d) { click(d, "7002"); }), 0) << "nothing changed";
    EXPECT_EQ(setUpWith([](QWidget* d) {
                  d->findChild<QComboBox*>("7019")->setCurrentText("Home");
                  d->findChild<QLineEdit*>("7021")->setText("secret");
                  click(d, "7002");
              }),
              12);
    tess::accounts::CAccountSettings account;
    ASSERT_EQ(account.Load(relayUser, "Larkspur", 517, 0), 1);
    EXPECT_EQ(account.mapiProfile, "Home");
    EXPECT_EQ(account.password, "secret");
    EXPECT_EQ(account.client, 5);
    EXPECT_EQ(*registry.ReadRelayValue("Installed") & 2u, 2u) << "a mail to the handheld is due";
    RelayUserSettings* s = nullptr;
    ASSERT_EQ(ConfigGetUserSettings(&s), 0);
    EXPECT_EQ(s->profileOrIdFile, "Home");
    ConfigFreeUserSettings(&s);
}

TEST_F(SettingsDialogTest, ChoosingAnotherUserOrNone) {
    EXPECT_EQ(setUpWith([](QWidget* d) {
                  QComboBox* users = d->findChild<QComboBox*>("7006");
                  users->setCurrentIndex(2);
                  emit users->activated(2);
                  click(d, "7002");
              }),
              3);
    EXPECT_EQ(registry.ReadRelayValue("User"), uint32_t(otherUser));
    EXPECT_EQ(setUpWith([](QWidget* d) {
                  QComboBox* users = d->findChild<QComboBox*>("7006");
                  users->setCurrentIndex(0);
                  emit users->activated(0);
                  click(d, "7002");
              }),
              2);
    EXPECT_EQ(registry.ReadRelayValue("User"), 0u);
}

TEST_F(SettingsDialogTest, HiddenOptionsWithShift) {
    EXPECT_EQ(setUpWith([](QWidget* d) {
                  QTest::keyPress(d, Qt::Key_Shift, Qt::ShiftModifier);
                  QApplication::processEvents();
                  // The dialog reads the keyboard state; press the buttons with Shift held.
                  QPushButton* help = d->findChild<QPushButton*>("2");
                  QPushButton* cancel = d->findChild<QPushButton*>("7010");
                  QTest::mouseClick(help, Qt::LeftButton, Qt::ShiftModifier);
                  QTest::mouseClick(help, Qt::LeftButton, Qt::ShiftModifier);
                  QTest::mouseClick(cancel, Qt::LeftButton, Qt::ShiftModifier);
                  EXPECT_TRUE(d->findChild<QCheckBox*>("7008")->isVisibleTo(d));
                  QTest::keyRelease(d, Qt::Key_Shift, Qt::NoModifier);
                  QApplication::processEvents();
                  QTest::mouseClick(cancel, Qt::LeftButton, Qt::NoModifier);
              }),
              11)
        << "debug logging toggled twice: unchanged";
    const auto q = ui.questions();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].text, "Debug logging for the Corvid Wayfarer has been enabled. ");
    EXPECT_EQ(q[1].text, "Debug logging for the Corvid Wayfarer has been disabled.");
    EXPECT_EQ(q[0].caption, "Wayfarer Debug Logging");
}

TEST_F(SettingsDialogTest, StartupEntryFollowsTheCheckBox) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", &key),
              ERROR_SUCCESS);
    const std::string folder = (home.path() / "Startup").string();
    RegSetValueExA(key, "Startup", 0, REG_SZ, reinterpret_cast<const unsigned char*>(folder.c_str()),
                   DWORD(folder.size() + 1));
    RegCloseKey(key);
    setUpWith([](QWidget* d) {
        EXPECT_FALSE(d->findChild<QCheckBox*>("7011")->isChecked());
        d->findChild<QCheckBox*>("7011")->setChecked(true);
        click(d, "7002");
    });
    EXPECT_TRUE(fs::exists(fs::path(folder) / "Corvid(TM) Wayfarer.desktop"));
    setUpWith([](QWidget* d) {
        EXPECT_TRUE(d->findChild<QCheckBox*>("7011")->isChecked());
        d->findChild<QCheckBox*>("7011")->setChecked(false);
        click(d, "7002");
    });
    EXPECT_FALSE(fs::exists(fs::path(folder) / "Corvid(TM) Wayfarer.desktop"));
}

}  // namespace
