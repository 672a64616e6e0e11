// The configuration window on Qt's offscreen platform: values shown from the user's stored
// settings and account files, edits written back to the files the engine reads (read back
// here with the accounts library), nothing written when the user declines to save, and
// input out of range corrected in the control before it reaches the model.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "accounts/user_settings.h"
#include "common/language_module.h"
#include "common/plugin_registry.h"
#include "config/config_dialogs.h"
#include "config/config_frame.h"
#include "config/config_pages.h"
#include "config/config_text.h"
#include "config/menu_manager.h"
#include "config/subclass_wnd.h"
#include "config/panelwright.h"
#include "engine/tidewater.h"
#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "platform/mapi/mail_client_registration.h"
#include "platform/mapi/memory_backing.h"
#include "platform/mapi/profiles.h"
#include "platform/notes/notes_admin.h"
#include "platform/ui/form_dialogs.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/qt/qt_ui.h"
#include "platform/ui/ui_service.h"
#include "translate/manager/hollowmere.h"
#include "tests/config/config_world.h"

namespace tess::config::test {

using tess::translate::manager::ExtensionPluginPair;

using platform::mfc::CAutoDeleteList;

namespace {

using namespace tess::accounts::layout;
using tess::accounts::ByteView;

template <class T>
T* Control(QWidget& root, int id) {
    T* w = root.findChild<T*>(QString::number(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// What the user does in an edit: select everything and type over it (empty: delete).
void TypeOver(QLineEdit* e, const QString& text) {
    e->setFocus();
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    else
        QTest::keyClicks(e, text);
}

class ConfigWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::ui::ensureWindowedApplication()); }
    test::ConfigWorld w;
};

// First in this file: the translator manager keeps its view of the registry for the
// process, so it must first read it under this test's runtime root.
TEST_F(ConfigWindow, PlugInChoicesGoToTheTranslatorManager) {
    TranslatorInstallRecord web{1, "Web", "Web Reader", "Web.dll", "html", "hweb", "Maker"};
    ASSERT_EQ(InstallPlugin(&web), 0);
    auto mapping = [&] {
        CAutoDeleteList<ExtensionPluginPair> list;
        _LoadUserPluginConfiguration(w.userId, &list);
        std::vector<std::pair<std::string, std::string>> out;
        for (const ExtensionPluginPair* p : list) out.emplace_back(p->extension.str(), p->plugin.str());
        return out;
    };
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    auto* tree = frame.findChild<QTreeWidget*>("tree");
    ASSERT_EQ(tree->topLevelItem(tree->topLevelItemCount() - 1)->text(0), "Attachment Plug-ins");
    auto webRow = [&]() -> QComboBox* {
        auto* list = Control<QTableWidget>(*frame.Page(), 11016);
        for (int r = 0; r < list->rowCount(); ++r)
            if (list->item(r, 0)->text().startsWith("Web Page"))
                return frame.Page()->findChild<QComboBox*>("row" + QString::number(r));
        return nullptr;
    };
    ASSERT_TRUE(frame.ShowPage(kPagePlugIns, -1));
    ASSERT_NE(webRow(), nullptr);
    EXPECT_EQ(webRow()->currentText(), "Not Selected");
    webRow()->setCurrentIndex(webRow()->findText("Web Reader"));
    frame.ApplyPage();
    // Stored under the first of the type's two extensions (the manager lists what it maps).
    const auto stored = mapping();
    EXPECT_NE(std::find(stored.begin(), stored.end(), std::pair<std::string, std::string>{"html", "Web"}),
              stored.end());

    ASSERT_TRUE(frame.ShowPage(kPagePlugIns, -1));
    EXPECT_EQ(webRow()->currentText(), "Web Reader");
    webRow()->setCurrentIndex(0);
    frame.ApplyPage();
    EXPECT_TRUE(mapping().empty()) << "the first choice removes the type's plug-in";
}

TEST_F(ConfigWindow, PagesShowTheStoredValues) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    EXPECT_EQ(frame.windowTitle(), "Configuración de Tessaline para el usuario tester");
    auto* tree = frame.findChild<QTreeWidget*>("tree");
    ASSERT_NE(tree, nullptr);
    // Global item, two accounts with their pages, nothing for the empty slots, plug-ins.
    ASSERT_EQ(tree->topLevelItemCount(), 4);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Work");
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "Home");
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 3);
    EXPECT_EQ(tree->topLevelItem(1)->child(2)->childCount(), 2);

    ASSERT_TRUE(frame.ShowPage(kPageAccountOptions, 0));
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11020)->text(), "4");
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11040)->text(), "50");
    EXPECT_TRUE(Control<QCheckBox>(*frame.Page(), 11036)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*frame.Page(), 11047)->isEnabled()) << "not the relay's account";

    ASSERT_TRUE(frame.ShowPage(kPageDeviceServers, 0));
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11083)->text(), "imap.example.org");
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11084)->text(), "143");
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11085)->text(), "smtp.example.org");
    EXPECT_FALSE(Control<QLineEdit>(*frame.Page(), 11070)->isEnabled()) << "no ESMTP";

    ASSERT_TRUE(frame.ShowPage(kPageDevicePreference, 1));
    EXPECT_EQ(Control<QLabel>(*frame.Page(), 11065)->text(), "POP3");
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11080)->text(), "bob");
    EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11078)->text(), QString::fromLatin1("Bob B\xe9")) << "8-bit text kept";

    ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, 0));
    auto* client = Control<QComboBox>(*frame.Page(), 11028);
    EXPECT_EQ(client->currentData().toInt(), 7);
    EXPECT_TRUE(Control<QCheckBox>(*frame.Page(), 11019)->isChecked());

    ASSERT_TRUE(frame.ShowPage(kPageHandheldOverview, 1));
    EXPECT_EQ(Control<QLabel>(*frame.Page(), 11129)->text(), "POP");
    EXPECT_EQ(Control<QLabel>(*frame.Page(), 11125)->text(), "pop.example.org");
    ASSERT_TRUE(frame.ShowPage(kPageAccountOverview, 0));
    EXPECT_EQ(Control<QLabel>(*frame.Page(), 11117)->text(), "Desconocido") << "never synchronised";

    // Status bar: two accounts in use, both ready, both active with their outbox.
    EXPECT_EQ(frame.findChild<QLabel*>(QString::number(0xE701))->text(), "Cuentas disponibles: 2");
    EXPECT_EQ(frame.findChild<QLabel*>(QString::number(0xE702))->text(), "Cuentas configuradas: 2");
}

TEST_F(ConfigWindow, EditsAreWrittenToTheFilesTheEngineReads) {
    const auto before = w.Files();
    {
        CUserConfig model(w.userId);
        ConfigFrame frame(model);
        ASSERT_TRUE(frame.ShowPage(kPageAccountOptions, 0));
        TypeOver(Control<QLineEdit>(*frame.Page(), 11020), "7");
        TypeOver(Control<QLineEdit>(*frame.Page(), 11040), "200");
        QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11050), Qt::LeftButton);
        ASSERT_TRUE(frame.ShowPage(kPageDevicePreference, 0));
        TypeOver(Control<QLineEdit>(*frame.Page(), 11078), "Alice Work");
        ASSERT_TRUE(frame.ShowPage(kPageDeviceServers, 0));
        w.ui.answerNext(IDYES);  // the new incoming server drops the handheld's mail
        TypeOver(Control<QLineEdit>(*frame.Page(), 11083), "mail.example.net");
        TypeOver(Control<QLineEdit>(*frame.Page(), 11084), "1143");
        QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11067), Qt::LeftButton);
        TypeOver(Control<QLineEdit>(*frame.Page(), 11070), "smtpuser");
        ASSERT_TRUE(frame.ShowPage(kPageGlobal, -1));
        QTest::mouseClick(Control<QRadioButton>(*frame.Page(), 11057), Qt::LeftButton);
        EXPECT_EQ(w.Files(), before) << "nothing is written before Save";
        EXPECT_TRUE(model.changed);
        frame.SaveAll();
        EXPECT_FALSE(model.changed);
    }
    auto a = w.Account(0);
    ASSERT_NE(a, nullptr);
    const ByteView d(a->Image().desktop), h(a->Image().handheld);
    EXPECT_EQ(d.u32le(kDaysToSync), 7u);
    EXPECT_EQ(d.u32le(kMessageSizeKb), 200u);
    EXPECT_EQ(d.u32le(kUnreadOnly), 1u);
    EXPECT_EQ(h.text(kEmailAddress.offset, kEmailAddress.width), "Alice Work");
    EXPECT_EQ(h.text(kIncomingServer.offset, kIncomingServer.width), "mail.example.net");
    EXPECT_EQ(h.u16le(kIncomingPort), 1143);
    EXPECT_EQ(h.u32le(kSmtpLogin), 1u);
    EXPECT_EQ(h.text(kSmtpUser.offset, kSmtpUser.width), "smtpuser");
    EXPECT_EQ(a->HeadWord(kHeadServerChanged), 1u) << "the engine starts the account afresh";
    // Each changed value is listed once for the handheld, in the order changed.
    EXPECT_EQ(a->Image().tags, (std::vector<uint32_t>{3, 20, 19, 12, 13, 14}));
    int permanent = -1;
    RosterGetPermanentAction(w.userId, test::kCreatorMail, &permanent);
    EXPECT_EQ(permanent, 3);
    // The other account's file is untouched.
    EXPECT_EQ(w.Files().at("acc1.dat"), before.at("acc1.dat"));
}

TEST_F(ConfigWindow, SaveWithoutChangesKeepsEveryAccountFile) {
    const auto before = w.Files();
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    for (int page : {kPageAccountOptions, kPageDevicePreference, kPageDeviceServers, kPageAccountSettings})
        ASSERT_TRUE(frame.ShowPage(page, 0));
    EXPECT_FALSE(model.changed) << "showing pages changes nothing";
    frame.SaveAll();
    EXPECT_EQ(w.Files(), before);
}

TEST_F(ConfigWindow, DecliningToSaveWritesNothing) {
    const auto before = w.Files();
    int permanent = -1;
    RosterGetPermanentAction(w.userId, test::kCreatorMail, &permanent);
    {
        CUserConfig model(w.userId);
        ConfigFrame frame(model);
        ASSERT_TRUE(frame.ShowPage(kPageAccountOptions, 0));
        TypeOver(Control<QLineEdit>(*frame.Page(), 11020), "9");
        ASSERT_TRUE(frame.ShowPage(kPageGlobal, -1));
        QTest::mouseClick(Control<QRadioButton>(*frame.Page(), 11057), Qt::LeftButton);
        frame.show();
        w.ui.answerNext(IDNO);  // save?
        w.ui.answerNext(IDNO);  // keep the window open for an account to synchronise?
        EXPECT_TRUE(frame.close());
        ASSERT_GE(w.ui.questions().size(), 1u);
        EXPECT_NE(w.ui.questions()[0].text.find("Save them now?"), std::string::npos);
    }
    EXPECT_EQ(w.Files(), before);
    int after = -1;
    RosterGetPermanentAction(w.userId, test::kCreatorMail, &after);
    EXPECT_EQ(after, permanent);
}

TEST_F(ConfigWindow, ClosingWithNothingToSyncAsksToStay) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    ASSERT_TRUE(frame.ShowPage(kPageAccountOptions, 0));
    QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11036), Qt::LeftButton);
    QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11037), Qt::LeftButton);
    ASSERT_TRUE(frame.ShowPage(kPageAccountOptions, 1));
    QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11036), Qt::LeftButton);
    QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11037), Qt::LeftButton);
    frame.show();
    w.ui.answerNext(IDYES);  // save
    w.ui.answerNext(IDYES);  // stay
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    w.ui.answerNext(IDNO);  // go
    EXPECT_TRUE(frame.close());
    const auto q = w.ui.questions();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_NE(q[1].text.find("No active account synchronizes"), std::string::npos);
}

TEST_F(ConfigWindow, OutOfRangeInputIsCorrectedInTheControl) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    struct Case {
        int page, control;
        QString typed, shown;
    } cases[] = {
        {kPageAccountOptions, 11040, "6000", "5120"},
        {kPageAccountOptions, 11040, "", "1"},
        {kPageAccountOptions, 11040, "0", "1"},
        {kPageAccountOptions, 11020, "1234", "999"},
        {kPageAccountOptions, 11020, "12x", "12"},
        {kPageAccountOptions, 11020, "", "0"},
        {kPageDeviceServers, 11084, "0", "1"},
        {kPageDeviceServers, 11086, "99999", "32767"},
        // Texts stop at what the account file's field holds with its terminator.
        {kPageDevicePreference, 11078, QString(81, 'd'), QString(79, 'd')},
        {kPageDevicePreference, 11079, QString(129, 'e'), QString(127, 'e')},
        {kPageDevicePreference, 11081, QString(90, 'p'), QString(80, 'p')},
        {kPageDeviceServers, 11085, QString(90, 's'), QString(79, 's')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.control << " " << c.typed.toStdString());
        ASSERT_TRUE(frame.ShowPage(c.page, 0));
        auto* e = Control<QLineEdit>(*frame.Page(), c.control);
        TypeOver(e, c.typed);
        EXPECT_EQ(e->text(), c.shown);
    }
    // The model holds the corrected values only.
    AccountOptionsRecord r;
    model.currentAccount = 0;
    model.GetAccountOptions(&r);
    EXPECT_EQ(r.sizeLimitKb, 1);
    EXPECT_EQ(r.daysToSync, 0);
    DeviceServersRecord s;
    model.GetDeviceServers(&s);
    EXPECT_EQ(s.incomingPort, 1);
    EXPECT_EQ(s.outgoingPort, 32767);
    EXPECT_EQ(s.outgoingServer, std::string(79, 's'));
}

TEST_F(ConfigWindow, NewAccountNamesAreChecked) {
    const auto before = w.Files();
    struct Case {
        QString name;
        bool accepted;
        const char* message;
    } cases[] = {
        {"   ", false, "1 to 13 characters"},
        {QString(14, 'n'), false, "1 to 13 characters"},
        {"a@b", false, "'@' or '-'"},
        {"a-b", false, "'@' or '-'"},
        {"  " + QString(13, 'n') + " ", true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        NewAccountDialog dialog(nullptr);
        Control<QLineEdit>(dialog, 11015)->setText(c.name);
        Control<QComboBox>(dialog, 11097)->setCurrentIndex(1);
        const size_t asked = w.ui.questions().size();
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        if (c.message) {
            ASSERT_EQ(w.ui.questions().size(), asked + 1);
            EXPECT_NE(w.ui.questions().back().text.find(c.message), std::string::npos) << w.ui.questions().back().text;
        } else {
            EXPECT_EQ(dialog.name, std::string(13, 'n'));
            EXPECT_EQ(dialog.protocol, 1);
        }
    }
    EXPECT_EQ(w.Files(), before);
}

TEST_F(ConfigWindow, NewImapAccountIsSavedForTheEngine) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    const int id = model.AddAccount("Third", 1);
    EXPECT_EQ(id, 7) << "the last free slot";
    frame.RefillTree();
    ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, id));
    auto* client = Control<QComboBox>(*frame.Page(), 11028);
    client->setCurrentIndex(client->findData(7));
    emit client->activated(client->currentIndex());
    QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11019), Qt::LeftButton);
    frame.SaveAll();
    auto a = w.Account(7);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->AccountName(), "Third");
    EXPECT_EQ(a->MailClient(), 7);
    EXPECT_EQ(a->Active(), 1);
    const ByteView h(a->Image().handheld);
    EXPECT_EQ(h.u16le(kWord0), 1) << "IMAP on the handheld";
    EXPECT_EQ(h.u16le(kIncomingPort), 143);
    EXPECT_EQ(ByteView(a->Image().desktop).text(kHostName.offset, kHostName.width), "Internet Mail (IMAP4)");
}

TEST_F(ConfigWindow, ServersOfTheRelaysAccountAreNotShown) {
    tess::accounts::CRelaySettings relay;
    relay.Load(w.userId, tess::accounts::kSectionRelay);
    relay.account = 1;
    relay.Save(w.userId, tess::accounts::kSectionRelay);
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    ASSERT_TRUE(frame.ShowPage(kPageDevicePreference, 1));
    EXPECT_FALSE(frame.ShowPage(kPageDeviceServers, 1));
    EXPECT_EQ(frame.ShownPage(), kPageDevicePreference);
    ASSERT_EQ(w.ui.questions().size(), 1u);
    EXPECT_NE(w.ui.questions()[0].text.find("set by the relay"), std::string::npos);
    EXPECT_TRUE(frame.ShowPage(kPageDeviceServers, 0));
}

TEST_F(ConfigWindow, DecliningANewIncomingServerRestoresTheOldOne) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    ASSERT_TRUE(frame.ShowPage(kPageDeviceServers, 0));
    auto* server = Control<QLineEdit>(*frame.Page(), 11083);
    w.ui.answerNext(IDNO);
    TypeOver(server, "x");
    EXPECT_EQ(server->text(), "imap.example.org");
    EXPECT_FALSE(model.changed);
    DeviceServersRecord r;
    model.GetDeviceServers(&r);
    EXPECT_EQ(r.incomingServer, "imap.example.org");
    ASSERT_EQ(w.ui.questions().size(), 1u);
    EXPECT_NE(w.ui.questions()[0].text.find("se eliminen"), std::string::npos);

    // Asked again until confirmed; once confirmed, later edits are stored without asking.
    w.ui.answerNext(IDYES);
    TypeOver(server, "other.example.org");
    EXPECT_EQ(w.ui.questions().size(), 2u);
    model.GetDeviceServers(&r);
    EXPECT_EQ(r.incomingServer, "other.example.org");
    EXPECT_TRUE(model.changed);
}

TEST_F(ConfigWindow, FolderChoicesGoThroughTheHandheldSlotLimit) {
    {
        // Fifteen handheld slots in use; "Inbox" on the handheld, three folders not yet.
        auto a = w.Account(0);
        ASSERT_NE(a, nullptr);
        tess::accounts::ByteSpan h(a->MutableImage().handheld);
        for (int i = 0; i < 15; ++i) h.putText(kFolderPrefCopy + 2 + size_t(i) * 16, 16, "S" + std::to_string(i));
        a->SetFolders({{"Inbox", {1}, 0, 1, 0},
                       {"A&B", {2}, kNoSlot, 0, 0},
                       {"Two", {3}, kNoSlot, 0, 0},
                       {"Three", {4}, kNoSlot, 0, 0}});
        ASSERT_TRUE(a->Save());
    }
    CUserConfig model(w.userId);
    model.currentAccount = 0;
    {
        FolderSyncDialog dialog(model, nullptr);
        ASSERT_TRUE(dialog.HasFolders());
        auto* list = Control<QTableWidget>(dialog, 11100);
        ASSERT_EQ(list->rowCount(), 16) << "filler rows up to sixteen";
        EXPECT_EQ(list->item(1, 0)->text(), "A&&B") << "shown with its ampersand doubled";
        auto row = [&](int r) { return dialog.findChild<QComboBox*>("row" + QString::number(r)); };
        row(0)->setCurrentIndex(1);  // Inbox off
        row(1)->setCurrentIndex(0);  // A&B on: the sixteenth slot
        row(2)->setCurrentIndex(0);  // Two on: no slot left
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted) << "stays open on the refused folder";
        EXPECT_EQ(row(2)->currentIndex(), 1) << "the refused row shows No again";
        ASSERT_EQ(w.ui.questions().size(), 1u);
        EXPECT_NE(w.ui.questions()[0].text.find("'Two'"), std::string::npos) << w.ui.questions()[0].text;
    }
    const auto folders = model.FindAccount(0)->Folders();
    EXPECT_EQ(folders[0].synchronised, 0);
    EXPECT_EQ(folders[1].synchronised, 1);
    EXPECT_EQ(folders[1].flags & 1u, 1u) << "waits for its handheld slot";
    EXPECT_EQ(folders[2].synchronised, 0);
    AccountOptionsRecord r;
    model.GetAccountOptions(&r);
    EXPECT_EQ(r.syncInbox, 0) << "the inbox row switches the whole-inbox option";
    EXPECT_TRUE(model.changed);
}

TEST_F(ConfigWindow, FolderRefreshNeedsAHostThatListsServerFolders) {
    {
        auto a = w.Account(0);
        ASSERT_NE(a, nullptr);
        tess::accounts::ByteSpan(a->MutableImage().handheld).putText(kFolderPrefCopy + 2, 16, "Inbox");
        a->SetFolders({{"Inbox", {1}, 0, 1, 0}, {"Old", {2}, kNoSlot, 0, 0}});
        ASSERT_TRUE(a->Save());
    }
    // The IMAP host is not among the registered hosts: nothing to ask, the list stays.
    HKEY hosts = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(tess::kProductKey) + "MsgHostPlugins").c_str(), 0,
                            KEY_ALL_ACCESS, &hosts),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(hosts, "Heronwick"), ERROR_SUCCESS);
    RegCloseKey(hosts);
    const auto files = w.Files();
    CUserConfig model(w.userId);
    model.currentAccount = 0;
    EXPECT_TRUE(model.CanFetchServerFolders());
    {
        FolderSyncDialog dialog(model, nullptr);
        auto* list = Control<QTableWidget>(dialog, 11100);
        auto* refresh = Control<QPushButton>(dialog, 3);
        ASSERT_TRUE(list && refresh);
        EXPECT_EQ(refresh->text(), QString::fromUtf8("Actualizar la lista"));
        QTest::mouseClick(refresh, Qt::LeftButton);
        ASSERT_EQ(w.ui.questions().size(), 1u);
        EXPECT_EQ(w.ui.questions()[0].text,
                  Bytes(QString::fromUtf8(
                      "No se puede establecer contacto con el servidor. La lista de carpetas no se verá alterada.")));
        EXPECT_EQ(w.ui.questions()[0].caption, "Advertencia de carpetas");
        EXPECT_EQ(list->item(1, 0)->text(), "Old") << "the list stays as it was";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor goes again";
    }
    EXPECT_EQ(model.FindAccount(0)->Folders().size(), 2u);
    EXPECT_FALSE(model.changed);

    // A POP account's host lists no server folders: the page offers no folder choice.
    model.currentAccount = 1;
    EXPECT_FALSE(model.CanFetchServerFolders());
    EXPECT_EQ(model.GetServerFolders(), 0);
    ConfigFrame frame(model);
    ASSERT_TRUE(frame.ShowPage(kPageAccountOptions, 1));
    EXPECT_FALSE(Control<QPushButton>(*frame.Page(), 11101)->isEnabled());
    EXPECT_EQ(w.Files(), files);
}

TEST_F(ConfigWindow, FolderRefreshOfAnExtendedMapiAccountAsksItsProfile) {
    ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/true"));
    platform::mapi::Profile profile;
    profile.name = "Desk";
    profile.isDefault = true;
    profile.identity = {"Tess User", "SMTP", "tess@tess.test", {}};
    platform::mapi::registerMemoryProfile(profile, std::make_shared<platform::mapi::MemoryBacking>());
    struct Case {
        const char* profile;
        int result;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        {"Desk", 1, {"Inbox", "Sent"}},   // the store's Inbox and Sent Items, by the language's names
        {"Nobody", 0, {"Inbox", "Old"}},  // no such profile: the list stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        {
            auto a = w.Account(0);
            ASSERT_NE(a, nullptr);
            const int32_t mapi = 4;
            a->SetValue(tess::accounts::kValueMailClient, &mapi, 4);
            a->SetValue(tess::accounts::kValueHostName, "Outlook", 8);
            a->SetValue(tess::accounts::kValueMapiProfile, c.profile, unsigned(std::strlen(c.profile) + 1));
            a->SetFolders({{"Inbox", {1}, 0, 1, 0}, {"Old", {2}, kNoSlot, 0, 0}});
            ASSERT_TRUE(a->Save());
        }
        CUserConfig model(w.userId);
        model.currentAccount = 0;
        ASSERT_TRUE(model.CanFetchServerFolders());
        EXPECT_EQ(model.GetServerFolders(), c.result);
        const auto folders = model.FindAccount(0)->Folders();
        std::vector<std::string> names;
        for (const auto& f : folders) names.push_back(f.name);
        EXPECT_EQ(names, c.folders);
        ASSERT_FALSE(folders.empty());
        EXPECT_EQ(folders[0].slot, 0) << "the Inbox keeps its handheld folder";
        EXPECT_EQ(folders[0].synchronised, 1);
        EXPECT_EQ(bool(model.changed), c.result == 1);
    }
    platform::mapi::clearMemoryProfiles();
}

TEST_F(ConfigWindow, HelpAndWebPageSayWhenTheyCannotOpen) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    frame.findChild<QAction*>("32773")->trigger();
    ASSERT_EQ(w.ui.questions().size(), 1u);
    EXPECT_NE(w.ui.questions()[0].text.find("LKConduit.hlp"), std::string::npos) << w.ui.questions()[0].text;

    // No desktop opener here: the address is still kept for next time.
    frame.findChild<QAction*>("32790")->trigger();
    ASSERT_EQ(w.ui.questions().size(), 2u);
    EXPECT_NE(w.ui.questions()[1].text.find("could not be opened"), std::string::npos);
    std::string address;
    GetWebPageAddress(address);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, tess::kProductKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    char text[256] = {};
    DWORD size = sizeof text, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "OnTheWeb", nullptr, &type, reinterpret_cast<unsigned char*>(text), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(address, text);
    EXPECT_NE(address.find("https://"), std::string::npos);
}

TEST_F(ConfigWindow, AnotherUserIsLoadedFromTheSelector) {
    std::ostringstream out, err;
    tallyhop::InitOptions o;
    o.userName = "second";
    ASSERT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    auto* users = Control<QComboBox>(frame, 32777);
    ASSERT_EQ(users->count(), 2);
    const int other = users->itemData(1).toInt();
    ASSERT_NE(other, w.userId);

    // The current user again: nothing happens.
    emit users->activated(0);
    EXPECT_TRUE(w.ui.questions().empty());

    // The second user has no settings yet: declining keeps the first user.
    w.ui.answerNext(IDNO);
    users->setCurrentIndex(1);
    emit users->activated(1);
    EXPECT_EQ(model.userId, w.userId);
    EXPECT_EQ(users->currentIndex(), 0) << "the selector shows the loaded user again";

    // Accepting makes the settings through the engine and loads the user: no accounts.
    w.ui.answerNext(IDYES);
    users->setCurrentIndex(1);
    emit users->activated(1);
    EXPECT_EQ(model.userId, other);
    EXPECT_EQ(frame.windowTitle(), "Configuración de Tessaline para el usuario second");
    EXPECT_EQ(model.CountAccounts(), 0);
    EXPECT_EQ(frame.ShownPage(), kPageGlobal);
    auto* tree = frame.findChild<QTreeWidget*>("tree");
    EXPECT_EQ(tree->topLevelItemCount(), 2) << "global settings and plug-ins only";
    int version = 0;
    RosterReadInt(other, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 517);
}

TEST(MenuManager, AcceleratorTextsLastEntryFirst) {
    CCoolMenuManager m;
    m.SetAccelerators({{FVIRTKEY | FCONTROL, 'O', 10},
                       {FVIRTKEY, 0x41, 11},
                       {FVIRTKEY, 0x7B, 10},
                       {FVIRTKEY | FCONTROL | FALT | FSHIFT, 'X', 12},
                       {0, 'q', 13}});
    struct Case {
        std::string text;
        int command;
        bool appended;
        std::string after;
    } cases[] = {
        {"&Open", 10, true, "&Open\tF12, Ctrl+O"},  {"&Open\told", 10, true, "&Open\tF12, Ctrl+O"},
        {"Cut", 12, true, "Cut\tAlt+Ctrl+Shift+X"}, {"Quit", 13, true, "Quit\tq"},
        {"None\tkept", 99, false, "None"},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(m.AppendAcceleratorText(c.text, c.command), c.appended);
        EXPECT_EQ(c.text, c.after);
    }
}

TEST(MenuManager, ToolbarImagesOfOneSizeAndMnemonicsWrap) {
    CCoolMenuManager m;
    EXPECT_TRUE(m.LoadToolbar(16, 15, {{1, QIcon()}, {0, QIcon()}, {2, QIcon()}}));
    EXPECT_TRUE(m.LoadToolbar(16, 15, {{2, QIcon()}, {3, QIcon()}}));
    EXPECT_FALSE(m.LoadToolbar(32, 32, {{4, QIcon()}})) << "another image size";
    EXPECT_EQ(m.ImageIndex(1), 0);
    EXPECT_EQ(m.ImageIndex(2), 1) << "an id keeps its first image";
    EXPECT_EQ(m.ImageIndex(3), 2);
    EXPECT_EQ(m.ImageIndex(4), -1);

    const std::vector<std::string> items = {"&Save", "&New", "&Delete", "Sa&ve as", "E&xit"};
    struct Case {
        int highlighted;
        char key;
        int answer;
    } cases[] = {
        {-1, 'n', 1 | 0x20000}, {-1, 'S', 0 | 0x20000}, {0, 'v', 3 | 0x20000}, {0, 'x', 4 | 0x20000}, {3, 'z', 0}};
    for (const Case& c : cases) EXPECT_EQ(CCoolMenuManager::MenuChar(items, c.highlighted, c.key), c.answer) << c.key;
    const std::vector<std::string> twice = {"&Alpha", "&Beta", "&Another", "&Also"};
    EXPECT_EQ(CCoolMenuManager::MenuChar(twice, 0, 'a'), 2 | 0x30000);
    EXPECT_EQ(CCoolMenuManager::MenuChar(twice, 2, 'a'), 3 | 0x30000);
    EXPECT_EQ(CCoolMenuManager::MenuChar(twice, 3, 'a'), 0 | 0x30000) << "wraps to the first";
}

TEST_F(ConfigWindow, MenusShowImagesAndAcceleratorsWhenOpened) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    auto* file = frame.findChild<QMenu*>("menu0");
    ASSERT_NE(file, nullptr);
    emit file->aboutToShow();
    auto* save = frame.findChild<QAction*>("32772");
    EXPECT_FALSE(save->icon().isNull());
    EXPECT_TRUE(save->text().endsWith("\tCtrl+S")) << save->text().toStdString();
    emit file->aboutToShow();
    EXPECT_EQ(save->text().count('\t'), 1) << "opened twice, appended once";
    auto* exit = frame.findChild<QAction*>("57665");
    EXPECT_FALSE(exit->text().contains('\t'));
}

// A hook that records the events it sees and handles the ones it is told to.
class RecordingHook : public CSubclassWnd {
public:
    RecordingHook(std::vector<std::string>& log, std::string name, QEvent::Type handles = QEvent::None)
        : log_(log), name_(std::move(name)), handles_(handles) {}

protected:
    bool WindowProc(QObject*, QEvent* event) override {
        if (event->type() != QEvent::User && event->type() != QEvent::User + 1) return false;
        log_.push_back(name_ + ":" + std::to_string(event->type()));
        return event->type() == handles_;
    }

private:
    std::vector<std::string>& log_;
    std::string name_;
    QEvent::Type handles_;
};

TEST(WindowHooks, NewestFirstEachPassingOnWhatItDoesNotHandle) {
    ASSERT_TRUE(platform::ui::ensureWindowedApplication());
    std::vector<std::string> log;
    auto window = std::make_unique<QWidget>();
    RecordingHook first(log, "first"), second(log, "second", QEvent::Type(QEvent::User + 1));
    first.HookWindow(window.get());
    second.HookWindow(window.get());
    auto send = [&](int type) {
        QEvent e{QEvent::Type(type)};
        QApplication::sendEvent(window.get(), &e);
    };
    send(QEvent::User);
    send(QEvent::User + 1);  // handled by the newest: the older one never sees it
    EXPECT_EQ(log, (std::vector<std::string>{"second:1000", "first:1000", "second:1001"}));

    // Removing the first-installed hook leaves the other one in place.
    log.clear();
    first.HookWindow(nullptr);
    send(QEvent::User);
    EXPECT_EQ(log, (std::vector<std::string>{"second:1000"}));
    second.HookWindow(nullptr);
    log.clear();
    send(QEvent::User);
    EXPECT_TRUE(log.empty());

    // A window that goes away leaves its hooks unhooked.
    first.HookWindow(window.get());
    second.HookWindow(window.get());
    window.reset();
    EXPECT_EQ(first.HookedWindow(), nullptr);
    EXPECT_EQ(second.HookedWindow(), nullptr);
    EXPECT_EQ(first.HookWindow(nullptr), 1) << "unhooking again is harmless";
}

TEST_F(ConfigWindow, ConfigureReturnsOnceTheFrameIsClosed) {
    // The entry runs modally: a timer closes the frame once it is up.
    bool sawFrame = false;
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "ConfigFrame" && top->isVisible()) {
                sawFrame = true;
                for (QWidget* start : QApplication::topLevelWidgets()) {
                    if (start->objectName() == "11012") {
                        EXPECT_FALSE(start->isVisible()) << "hidden once the frame is up";
                    }
                }
                top->close();
                timer->stop();
            }
    });
    timer->start(20);
    // Through the engine's export, as the conduit's configure button and tallyhop call it.
    EXPECT_EQ(ConfigureLarkspur(w.userId), 0);
    EXPECT_TRUE(sawFrame);
    delete timer;
}

// A desktop Notes client with two users, Ann (the notes.ini user) and Bo, and a Notes account
// "Lotus" in slot 2 that names Bo's ID file and password.
class NotesAccountWindow : public ConfigWindow {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::notes::createInstallation(platform::runtimeRoot() / "notes", 60, inst, error)) << error;
        ASSERT_TRUE(platform::notes::addUser(inst, ann, annId, error)) << error;
        ASSERT_TRUE(platform::notes::addUser(inst, bo, boId, error)) << error;
        w.Store({2, "Lotus", "Lotus Notes", 6, 0, 0, "", "", "", "", ""});
        auto a = w.Account(2);
        ASSERT_NE(a, nullptr);
        const std::string id = boId.string();
        a->SetValue(tess::accounts::kValueMapiProfile, id.c_str(), unsigned(id.size() + 1));
        a->SetValue(tess::accounts::kValueDesktopPassword, "bo-secret", 10);
        ASSERT_TRUE(a->Save());
    }
    std::string Stored(int slot, tess::accounts::layout::TextField f) {
        auto a = w.Account(slot);
        return a ? std::string(ByteView(a->Image().desktop).text(f.offset, f.width)) : "<no account>";
    }

    platform::notes::Installation inst;
    platform::notes::User ann{"CN=Ann Lee/O=Tess", "alee", "alee@tess.test", "ann-secret"};
    platform::notes::User bo{"CN=Bo Kim/O=Tess", "bkim", "bkim@tess.test", "bo-secret"};
    std::filesystem::path annId, boId;
    platform::ui::ScriptedFormDialogs dialogs;
    platform::ui::ScopedFormDialogs scopedDialogs{dialogs};
};

TEST_F(NotesAccountWindow, StoredIdShowsAndOnlyNotesShowsItsControls) {
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, 2));
    QWidget& page = *frame.Page();
    EXPECT_EQ(Control<QComboBox>(page, 11028)->currentData().toInt(), 6);
    EXPECT_EQ(Control<QLineEdit>(page, 11031)->text(), "Bo Kim") << "the user of the account's ID file";
    EXPECT_EQ(Control<QLineEdit>(page, 11032)->text(), "bo-secret");
    EXPECT_EQ(Control<QLabel>(page, 11033)->text(), "Lotus Notes ID:");
    for (int id : {11031, 11032, 11029}) EXPECT_TRUE(Control<QWidget>(page, id)->isEnabled()) << id;
    EXPECT_FALSE(Control<QWidget>(page, 11029)->isHidden());
    EXPECT_FALSE(Control<QWidget>(page, 11130)->isHidden());
    EXPECT_FALSE(Control<QWidget>(page, 11030)->isVisibleTo(&page)) << "no MAPI profile list for Notes";

    ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, 0));
    EXPECT_TRUE(Control<QWidget>(*frame.Page(), 11029)->isHidden()) << "IMAP has no ID file";
    EXPECT_TRUE(Control<QWidget>(*frame.Page(), 11130)->isHidden());
    EXPECT_TRUE(dialogs.fileRequests().empty());
}

TEST_F(NotesAccountWindow, BrowsedIdFileIsWrittenToTheAccountFile) {
    {
        CUserConfig model(w.userId);
        ConfigFrame frame(model);
        ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, 2));
        // A refused pair asks whether to try again; the second pair is accepted.
        dialogs.answerFile(IDOK, annId.string());
        dialogs.answerCredentials(IDOK, annId.string(), "guess");
        w.ui.answerNext(IDYES);
        dialogs.answerFile(IDOK, annId.string());
        dialogs.answerCredentials(IDOK, annId.string(), "ann-secret");
        QTest::mouseClick(Control<QPushButton>(*frame.Page(), 11029), Qt::LeftButton);
        EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11031)->text(), "Ann Lee");
        EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11032)->text(), "ann-secret");
        QTest::mouseClick(Control<QCheckBox>(*frame.Page(), 11130), Qt::LeftButton);
        EXPECT_TRUE(model.changed);
        EXPECT_EQ(Stored(2, kMapiProfile), boId.string()) << "nothing is written before Save";
        frame.SaveAll();
    }
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    EXPECT_EQ(dialogs.fileRequests()[0].title, "Locate Your Lotus Notes ID");
    EXPECT_EQ(dialogs.fileRequests()[0].filter, "Lotus Notes ID (*.id)|*.id|");
    ASSERT_EQ(w.ui.questions().size(), 1u);
    EXPECT_EQ(w.ui.questions()[0].caption, "Lotus Notes ID File Error");
    EXPECT_TRUE(dialogs.problems().empty());
    EXPECT_EQ(Stored(2, kMapiProfile), annId.string()) << "the path keeps its case";
    EXPECT_EQ(Stored(2, kDesktopPassword), "ann-secret");
    auto a = w.Account(2);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ByteView(a->Image().desktop).u32le(kLocalReplica), 1u);
    EXPECT_EQ(a->MailClient(), 6);
}

TEST_F(NotesAccountWindow, CancelledBrowseWritesNothing) {
    const auto before = w.Files();
    {
        CUserConfig model(w.userId);
        ConfigFrame frame(model);
        ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, 2));
        dialogs.answerFile(IDCANCEL);
        QTest::mouseClick(Control<QPushButton>(*frame.Page(), 11029), Qt::LeftButton);
        EXPECT_EQ(Control<QLineEdit>(*frame.Page(), 11031)->text(), "Bo Kim");
        EXPECT_FALSE(model.changed);
        frame.SaveAll();
    }
    EXPECT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_TRUE(w.ui.questions().empty());
    EXPECT_EQ(w.Files(), before);
}

TEST_F(ConfigWindow, NotesAccountWithoutANotesClientSaysHowToSetItUp) {
    w.Store({2, "Lotus", "Lotus Notes", 6, 0, 0, "", "", "", "", ""});
    CUserConfig model(w.userId);
    ConfigFrame frame(model);
    ASSERT_TRUE(frame.ShowPage(kPageAccountSettings, 2));
    for (int id : {11031, 11032, 11029}) EXPECT_FALSE(Control<QWidget>(*frame.Page(), id)->isEnabled()) << id;
    EXPECT_TRUE(Control<QPlainTextEdit>(*frame.Page(), 11034)
                    ->toPlainText()
                    .startsWith(QString::fromStdString(LangText(4250))));
}

}  // namespace
}  // namespace tess::config::test
