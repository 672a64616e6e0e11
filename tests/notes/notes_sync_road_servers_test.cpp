// The whole road of a Notes account: mail put into the user's Notes mail file reaches the
// emulated handheld through `tallyhop sync` (conduit entry, engine, the Notes host, the
// Notes client stand-in); read marks and deletions made on the handheld reach the mail
// file; a mail written on the handheld goes through mail.box and the router to the test
// SMTP server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "engine/tidewater.h"
#include "platform/core/runtime.h"
#include "platform/notes/nnotes.h"
#include "platform/notes/notes_admin.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/servers/server_fixture.h"
#include "tests/support/test_home.h"
#include "tools/handheld_app/handheld_app.h"
#include "tools/tallyhop/runtime_setup.h"
#include "tools/tallyhop/sync_command.h"

namespace {

class QuietEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

class NotesSyncRoad : public tess::test::MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        std::ostringstream out, err;
        tallyhop::InitOptions o;
        o.userName = "road";
        ASSERT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
        platform::syncmgr::resetSession();
        platform::syncmgr::useHandheld(handheld_);
        ASSERT_EQ(RosterGetUserIdByIndex(0, &userId_), 0);
        platform::syncmgr::setSessionUser(userId_);
        handheld_app::SetFreeSpace(handheld_, 64u << 20);
        ASSERT_EQ(CreateIniFileSettings(userId_), 0);

        std::string error;
        ASSERT_TRUE(platform::notes::createInstallation(platform::runtimeRoot() / "notes", 60, inst_, error)) << error;
        ASSERT_TRUE(platform::notes::addUser(inst_, {"CN=Road User/O=Tess", "road", "road@tess.test", "road-pw"},
                                             idFile_, error))
            << error;
        ASSERT_TRUE(
            platform::notes::addUser(inst_, {"CN=Bo Kim/O=Tess", "bkim", "bkim@tess.test", "bo-pw"}, boId_, error))
            << error;
        ASSERT_TRUE(platform::notes::setSmtpRelay(
            inst_, {"smtp://127.0.0.1:" + std::to_string(servers().smtpPort()), servers().user(), servers().password()},
            error))
            << error;

        // The handheld's account and its desktop side: mail client 6 with the ID file.
        handheld_app::AccountSetup h;
        h.number = 0;
        h.name = "Notes";
        h.protocolWord = 0;
        h.folders = {"Inbox", "Outbox", "Trash"};
        ASSERT_EQ(handheld_app::ConfigureAccount(handheld_, h), 0);
        QuietEnvironment env;
        tess::accounts::AccountInit init;
        init.userId = userId_;
        init.accountNumber = 0;
        init.userDirectory = (platform::syncmgr::userDirectory(userId_) / "Tessaline").string();
        tess::accounts::CMailAccount a(init, env);
        a.Load();
        a.SetAccountName("Notes", 0);
        const int32_t client = 6, one = 1, days = 30, sizeKb = 64;
        a.SetValue(tess::accounts::kValueMailClient, &client, 4);
        a.SetValue(tess::accounts::kValueActive, &one, 4);
        a.SetValue(tess::accounts::kValueDaysToSync, &days, 4);
        a.SetValue(tess::accounts::kValueSyncInbox, &one, 4);
        a.SetValue(tess::accounts::kValueSyncOutbox, &one, 4);
        a.SetValue(tess::accounts::kValueMessageSize, &sizeKb, 4);
        const std::string id = idFile_.string();
        a.SetValue(tess::accounts::kValueMapiProfile, id.c_str(), static_cast<unsigned>(id.size() + 1));
        a.SetValue(tess::accounts::kValueDesktopPassword, "road-pw", 8);
        ASSERT_NE(a.Save(), 0);
    }
    void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

    int Sync() {
        std::ostringstream out, err;
        tallyhop::SyncOptions o;
        o.userName = "road";
        const int rc = tallyhop::runSync(o, out, err);
        log_ = out.str() + err.str();
        return rc;
    }

    std::vector<std::string> Subjects(int category = 0) {
        std::vector<std::string> out;
        for (const auto& m : handheld_app::ListFolder(handheld_, category))
            if (m.account == 0) out.push_back(m.msg.Subject);
        std::sort(out.begin(), out.end());
        return out;
    }
    uint32_t RecordOf(const std::string& subject) {
        for (const auto& m : handheld_app::ListFolder(handheld_, 0))
            if (m.account == 0 && m.msg.Subject == subject) return m.recordId;
        return 0;
    }

    uint32_t Seed(const std::string& subject) {
        platform::notes::Mail mail;
        mail.from = "Bo Kim";
        mail.to = {"Road User"};
        mail.subject = subject;
        mail.body = "Body of " + subject + ".";
        std::string error;
        const uint32_t id = platform::notes::addMail(inst_, "road", mail, error);
        EXPECT_NE(id, 0u) << error;
        return id;
    }

    // Subjects of a folder of the mail file, with whether each is unread, read through the
    // client library as the user.
    std::vector<std::pair<std::string, bool>> MailFile(const char* folder) {
        std::vector<std::pair<std::string, bool>> out;
        EXPECT_EQ(NotesInitIni(inst_.iniPath.c_str()), NOERROR);
        char name[256];
        EXPECT_EQ(SECKFMSwitchToIDFile(idFile_.c_str(), "road-pw", name, sizeof name, 0, nullptr), NOERROR);
        DBHANDLE db = 0;
        EXPECT_EQ(MailOpenMessageFile("mail/road.nsf", &db), NOERROR);
        NOTEID view = 0, id = 0;
        DHANDLE table = 0, unread = 0;
        EXPECT_EQ(NIFFindDesignNoteExt(db, folder, NOTE_CLASS_VIEW, "-G40n", &view, 0), NOERROR);
        EXPECT_EQ(NSFFolderGetIDTable(db, db, view, 0, &table), NOERROR);
        EXPECT_EQ(NSFDbGetUnreadNoteTable(db, name, static_cast<WORD>(std::strlen(name)), 1, &unread), NOERROR);
        for (NBOOL more = IDScan(table, 1, &id); more; more = IDScan(table, 0, &id)) {
            NOTEHANDLE note = 0;
            if (NSFNoteOpen(db, id, 0, &note) != NOERROR) continue;
            char subject[256];
            WORD len = 0;
            MailGetMessageItem(note, MAIL_SUBJECT_ITEM_NUM, subject, sizeof subject, &len);
            out.emplace_back(std::string(subject, len), IDIsPresent(unread, id) != 0);
            NSFNoteClose(note);
        }
        IDDestroyTable(table);
        IDDestroyTable(unread);
        MailCloseMessageFile(db);
        NotesTerm();
        std::sort(out.begin(), out.end());
        return out;
    }

    const std::string handheld_ = "default";
    tess::test::TempHome home_;
    platform::notes::Installation inst_;
    std::filesystem::path idFile_, boId_;
    std::string savedPath_, log_;
    int userId_ = 0;
};

TEST_F(NotesSyncRoad, MailFileAndHandheldMeetBothWays) {
    for (const char* s : {"notes one", "notes two", "notes three"}) Seed(s);
    ASSERT_EQ(Sync(), 0) << log_;
    ASSERT_EQ(Subjects(), (std::vector<std::string>{"notes one", "notes three", "notes two"})) << log_;

    // On the handheld: one read, one deleted, one written.
    const uint32_t one = RecordOf("notes one"), two = RecordOf("notes two");
    ASSERT_NE(one, 0u);
    ASSERT_NE(two, 0u);
    ASSERT_EQ(handheld_app::MarkRead(handheld_, one, true), 0);
    ASSERT_EQ(handheld_app::DeleteMessage(handheld_, two), 0);
    uint32_t outbox = 0;
    ASSERT_EQ(handheld_app::ComposeOutbox(handheld_, 0, servers().address(servers().user2()), "from the handheld",
                                          "Written on the train.", {}, &outbox),
              0);
    Seed("notes four");
    ASSERT_EQ(Sync(), 0) << log_;
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"notes four", "notes one", "notes three"})) << log_;
    EXPECT_EQ(MailFile("($Inbox)"), (std::vector<std::pair<std::string, bool>>{
                                        {"notes four", true}, {"notes one", false}, {"notes three", true}}))
        << log_;
    EXPECT_EQ(MailFile("($Trash)"), (std::vector<std::pair<std::string, bool>>{{"notes two", false}})) << log_;

    // The handheld's mail waits in mail.box until the router hands it to the SMTP server.
    const auto routed = platform::notes::routeMail(inst_);
    EXPECT_EQ(routed.sent, 1) << routed.error << "\n" << log_;
    const auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u) << log_;
    EXPECT_NE(captured[0].find("Subject: from the handheld\r\n"), std::string::npos) << captured[0];
    EXPECT_NE(captured[0].find("From: road@tess.test\r\n"), std::string::npos) << captured[0];
    EXPECT_NE(captured[0].find("Written on the train."), std::string::npos) << captured[0];
}

}  // namespace
