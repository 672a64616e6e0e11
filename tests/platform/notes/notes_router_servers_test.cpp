// The router of the Notes stand-in hands Internet mail to the test SMTP server.
#include <fstream>

#include "tests/platform/notes/notes_fixture.h"
#include "tests/servers/server_fixture.h"

namespace platform::notes::test {

using tess::test::MailServersTest;

namespace {

class NotesRouterServersTest : public MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        std::string error;
        ASSERT_TRUE(platform::notes::setSmtpRelay(
            notes.inst,
            {"smtp://127.0.0.1:" + std::to_string(servers().smtpPort()), servers().user(), servers().password()},
            error))
            << error;
        ASSERT_EQ(NotesInitIni(notes.inst.iniPath.c_str()), NOERROR);
        char name[256];
        ASSERT_EQ(SECKFMSwitchToIDFile(notes.annId.c_str(), "ann-secret", name, sizeof name, 0, nullptr), NOERROR);
    }
    void TearDown() override { NotesTerm(); }

    NotesInstallation notes;
};

DHANDLE makeList(const std::vector<std::string>& texts, WORD& size) {
    DHANDLE list = 0;
    EXPECT_EQ(ListAllocate(0, 0, 1, &list, nullptr, &size), NOERROR);
    for (WORD i = 0; i < texts.size(); ++i)
        EXPECT_EQ(ListAddEntry(list, 1, &size, i, texts[i].data(), static_cast<WORD>(texts[i].size())), NOERROR);
    return list;
}

TEST_F(NotesRouterServersTest, MailBoxNoteForAnInternetAddressArrivesWithItsAttachment) {
    const std::string to = servers().address(servers().user2());
    DBHANDLE box = 0;
    ASSERT_EQ(MailOpenMessageFile("CN=Mailhub/O=Tess!!mail.box", &box), NOERROR);
    NOTEHANDLE note = 0;
    ASSERT_EQ(MailCreateMessage(box, &note), NOERROR);
    WORD size = 0;
    ASSERT_EQ(MailAddRecipientsItem(note, makeList({to, "Bo Kim"}, size), size), NOERROR);
    ASSERT_EQ(MailAddHeaderItemByHandle(note, MAIL_SENDTO_ITEM_NUM, makeList({to}, size), size, 0), NOERROR);
    ASSERT_EQ(MailAddHeaderItemByHandle(note, MAIL_COPYTO_ITEM_NUM, makeList({"Bo Kim"}, size), size, 0), NOERROR);
    ASSERT_EQ(MailAddHeaderItem(note, MAIL_FROM_ITEM_NUM, "CN=Ann Lee/O=Tess", 17), NOERROR);
    ASSERT_EQ(MailAddHeaderItem(note, MAIL_SUBJECT_ITEM_NUM, "Quarterly figures", 17), NOERROR);
    DHANDLE body = 0;
    DWORD length = 0;
    ASSERT_EQ(MailCreateBodyItem(&body, &length), NOERROR);
    ASSERT_EQ(MailAppendBodyItemLine(body, &length, "Figures attached.", 17), NOERROR);
    ASSERT_EQ(MailAddBodyItem(note, body, length, nullptr), NOERROR);
    OSMemFree(body);
    const auto file = notes.home.path() / "figures.csv";
    std::ofstream(file) << "q1,q2\n10,20\n";
    ASSERT_EQ(MailAddMessageAttachment(note, file.c_str(), nullptr), NOERROR);
    ASSERT_EQ(NSFNoteUpdate(note, 0), NOERROR);
    MailCloseMessage(note);
    MailCloseMessageFile(box);

    const auto result = platform::notes::routeMail(notes.inst);
    EXPECT_EQ(result.sent, 1) << result.error;
    EXPECT_EQ(result.delivered, 1);
    EXPECT_EQ(result.failed, 0);
    const auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u);
    const std::string& mail = captured[0];
    EXPECT_NE(mail.find("From: alee@tess.test\r\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("To: " + to + "\r\n"), std::string::npos);
    EXPECT_NE(mail.find("Cc: bkim@tess.test\r\n"), std::string::npos);
    EXPECT_NE(mail.find("Subject: Quarterly figures\r\n"), std::string::npos);
    EXPECT_NE(mail.find("Figures attached.\r\n"), std::string::npos);
    EXPECT_NE(mail.find("filename=\"figures.csv\""), std::string::npos);
    EXPECT_NE(mail.find("cTEscTIKMTAsMjAK"), std::string::npos);  // base64 of the file

    // Nothing is left in mail.box: a second pass sends nothing.
    const auto again = platform::notes::routeMail(notes.inst);
    EXPECT_EQ(again.sent + again.delivered + again.failed, 0);
    EXPECT_EQ(servers().captured().size(), 1u);
}

}  // namespace
}  // namespace platform::notes::test
