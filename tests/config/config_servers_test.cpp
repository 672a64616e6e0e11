// A change made in the configuration window reaches the next synchronisation: an IMAP
// account whose handheld password is wrong gets the right one on the handheld preferences
// page, and the next synchronisation fetches the mail from the private Dovecot. The folder
// dialog reads the account's folder list afresh from the same server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <sstream>

#include "common/language_module.h"
#include "config/config_dialogs.h"
#include "config/config_frame.h"
#include "platform/ui/qt/qt_ui.h"
#include "tests/engine/dovecot_account.h"

namespace tess::config::test {
namespace {

using tess::engine::test::EngineWorld;

class WindowToDovecot : public tess::test::MailServersTest {
protected:
    void Append(const std::string& subject) {
        const std::string text = "From: Bob <bob@example.org>\r\nTo: " + servers().address(servers().user()) +
                                 "\r\nSubject: " + subject + "\r\n\r\nBody of " + subject + "\r\n";
        tess::test::ImapAdmin(servers().imapPort(), servers().user(), servers().password()).Append("INBOX", "", text);
    }

    // The world's IMAP account in slot 0 on the private Dovecot, through the real host.
    void ImapAccountOnDovecot(EngineWorld& world, const std::string& password) {
        ASSERT_NO_FATAL_FAILURE(tess::engine::test::UseImapHost(world));
        handheld_app::AccountSetup h = tess::engine::test::DovecotAccount(servers());
        h.password = password;
        world.ImapAccount(0, {}, h);
    }

    void CreateMailbox(const std::string& name) {
        tess::test::ImapAdmin admin(servers().imapPort(), servers().user(), servers().password());
        const auto lines = admin.Command("CREATE " + name);
        ASSERT_NE(lines.back().find(" OK"), std::string::npos) << lines.back();
    }

    void TearDown() override {
        // Mailboxes made by a test go, so that every test starts from the same list.
        tess::test::ImapAdmin admin(servers().imapPort(), servers().user(), servers().password());
        admin.Command("DELETE Projects");
    }
};

// A loopback port where nothing listens.
int ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The folder names the dialog lists, filler rows left out.
std::vector<std::string> Listed(QDialog& dialog) {
    std::vector<std::string> names;
    auto* list = dialog.findChild<QTableWidget*>("11100");
    for (int row = 0; list && row < list->rowCount(); ++row)
        if (list->item(row, 0)) names.push_back(list->item(row, 0)->text().toStdString());
    return names;
}

std::vector<std::string> Names(const std::vector<tess::accounts::CMailAccount::FolderEntry>& folders) {
    std::vector<std::string> names;
    for (const auto& f : folders) names.push_back(f.name);
    return names;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(WindowToDovecot, SyncUsesThePasswordSetInTheWindow) {
    ASSERT_TRUE(platform::ui::ensureWindowedApplication());
    EngineWorld world;
    ImapAccountOnDovecot(world, "not-the-password");
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

TEST_F(WindowToDovecot, RefreshListsAFolderMadeOnTheServer) {
    ASSERT_TRUE(platform::ui::ensureWindowedApplication());
    EngineWorld world;
    ImapAccountOnDovecot(world, servers().password());
    Append("first");
    ASSERT_EQ(world.Sync(), 0) << EngineWorld::Log();
    const auto before = world.Account(0)->Folders();
    ASSERT_FALSE(before.empty());
    CreateMailbox("Projects");

    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    const std::filesystem::path file = world.Account(0)->FilePath();
    const std::string stored = FileBytes(file);
    CUserConfig model(world.userId);
    ASSERT_EQ(model.currentAccount, 0);
    ASSERT_TRUE(model.CanFetchServerFolders());
    {
        FolderSyncDialog dialog(model, nullptr);
        ASSERT_TRUE(dialog.HasFolders());
        EXPECT_FALSE(Has(Listed(dialog), "Projects"));
        auto* refresh = dialog.findChild<QPushButton*>("3");
        ASSERT_NE(refresh, nullptr);
        QTest::mouseClick(refresh, Qt::LeftButton);
        EXPECT_TRUE(ui.questions().empty()) << ui.questions()[0].text;
        const auto listed = Listed(dialog);
        ASSERT_TRUE(Has(listed, "Projects")) << listed.size();
        const int row = int(std::find(listed.begin(), listed.end(), "Projects") - listed.begin());
        auto* choice = dialog.findChild<QComboBox*>("row" + QString::number(row));
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->currentIndex(), 1) << "a new folder is not synchronised until chosen";
        EXPECT_EQ(int(dialog.findChildren<QComboBox*>().size()), int(listed.size())) << "old rows' choices are gone";
        dialog.reject();
    }
    EXPECT_EQ(FileBytes(file), stored) << "nothing is written before the window saves";
    EXPECT_TRUE(model.changed);
    model.Save(nullptr);

    const auto after = world.Account(0)->Folders();
    const auto names = Names(after);
    EXPECT_TRUE(Has(names, "Projects"));
    for (const auto& old : before) {
        const auto it = std::find_if(after.begin(), after.end(), [&](auto& f) { return f.name == old.name; });
        ASSERT_NE(it, after.end()) << old.name << " is still listed under the same name";
        EXPECT_EQ(it->slot, old.slot) << old.name << " keeps its handheld folder";
        EXPECT_EQ(it->synchronised, old.synchronised) << old.name;
    }
}

TEST_F(WindowToDovecot, RefreshThatCannotReachTheServerKeepsTheList) {
    ASSERT_TRUE(platform::ui::ensureWindowedApplication());
    struct Case {
        const char* what;
        int tag;  // the handheld field spoiled in the window
        bool number;
        std::string text;
    };
    const Case cases[] = {
        {"the server refuses the logon", 2, false, "not-the-password"},
        {"nothing listens at the port", 19, true, std::to_string(ClosedPort())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld world;
        ImapAccountOnDovecot(world, servers().password());
        ASSERT_EQ(world.Sync(), 0) << EngineWorld::Log();
        CreateMailbox("Projects");

        platform::ui::ScriptedUi ui;
        platform::ui::ScopedUi scope(ui);
        CLanguageModule language("LKSYNCLANG.DLL", nullptr);
        CUserConfig model(world.userId);
        tess::accounts::CMailAccount& account = *model.FindAccount(0);
        if (c.number)
            ASSERT_EQ(SetByTag(account, c.tag, int64_t(std::stoi(c.text))), 1);
        else
            ASSERT_EQ(SetByTag(account, c.tag, c.text), 1);
        const auto folders = Names(account.Folders());
        FolderSyncDialog dialog(model, nullptr);
        const auto listed = Listed(dialog);
        QTest::mouseClick(dialog.findChild<QPushButton*>("3"), Qt::LeftButton);
        ASSERT_EQ(ui.questions().size(), 1u);
        EXPECT_NE(ui.questions()[0].text.find("No se puede establecer contacto con el servidor"), std::string::npos)
            << ui.questions()[0].text;
        EXPECT_EQ(ui.questions()[0].icon, platform::ui::Icon::Information);
        EXPECT_EQ(Listed(dialog), listed) << "the list stays as it was";
        EXPECT_EQ(Names(account.Folders()), folders);
        EXPECT_FALSE(Has(Names(account.Folders()), "Projects"));
        TearDown();
    }
}

}  // namespace
}  // namespace tess::config::test
