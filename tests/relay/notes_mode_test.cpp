// The relay in Notes mode against the Notes client stand-in: finding and loading the client,
// the PATH it extends, the mail file it opens, the notes it writes into mail.box, and the
// watcher forwarding and obeying control mails through them.
#include "tests/relay/notes_mode_support.h"

namespace tess::relay::test {
namespace {

namespace fs = std::filesystem;
using NotesModeTest = NotesModeFixture;

TEST_F(NotesModeTest, FindingAndLoadingTheClient) {
    const std::string program = inst.programDir.string();
    const std::string empty = (home.path() / "empty").string();
    const std::string lacking = (home.path() / "lacking").string();
    fs::create_directories(empty);
    fs::create_directories(lacking);
    fs::create_symlink(RELAY_NOTES_LACKING_LIBRARY, fs::path(lacking) / "nnotes.dll");
    const std::string bogus = "/nowhere";
    struct Case {
        const char* name;
        const std::string* path50;  // null: no 5.0 key
        bool key50;
        const std::string* path40;  // null: no 4.0 key
        bool key40;
        bool iniPresent;
        bool loads;
        std::string directory;
        std::string log;  // the fatal entry's start
    } cases[] = {
        {"no client", nullptr, false, nullptr, false, true, false, "",
         "Wayfarer Fatal Error: The Lotus Notes client is not installed."},
        {"5.0 without Path", nullptr, true, &program, true, true, false, "",
         "Wayfarer Fatal Error: The Lotus Notes client is installed incorrectly."},
        {"only 4.0", nullptr, false, &program, true, true, true, program, ""},
        {"5.0 before 4.0", &program, true, &bogus, true, true, true, program, ""},
        {"no library", &empty, true, nullptr, false, true, false, empty,
         "Wayfarer Fatal Error: Unable to complete load library of " + empty + "/nnotes.dll."},
        {"a call missing", &lacking, true, nullptr, false, true, false, lacking,
         "Wayfarer Fatal Error: Unable to complete load library of " + lacking + "/nnotes.dll."},
        {"no notes.ini at the drive's root", &program, true, nullptr, false, false, false, program,
         "Wayfarer Fatal Error: Unable to initialize the Lotus Notes client with " + relay::RelayNotesIniPath()},
    };
    const std::string ini = readFile(relay::RelayNotesIniPath());
    for (const Case& c : cases) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, k50);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, k40);
        if (c.key50) setNotesKey(k50, c.path50);
        if (c.key40) setNotesKey(k40, c.path40);
        if (c.iniPresent)
            writeRelayIni(ini);
        else
            fs::remove(relay::RelayNotesIniPath());
        const size_t before = logEntries().size();
        NotesApi api;
        EXPECT_EQ(api.Load(), c.loads) << c.name;
        EXPECT_EQ(api.NotesDirectory(), c.directory) << c.name;
        if (c.loads) {
            EXPECT_EQ(api.UserName(), user.fullName) << c.name;
        }
        const auto entries = logEntries();
        if (c.log.empty()) {
            EXPECT_EQ(entries.size(), before) << c.name << ": nothing logged";
        } else {
            ASSERT_GT(entries.size(), before) << c.name;
            EXPECT_EQ(entries.back().rfind(c.log, 0), 0u) << c.name << ": " << entries.back();
        }
        api.Unload();
        EXPECT_FALSE(api.IsLoaded()) << c.name;
    }
}

TEST_F(NotesModeTest, PathEditorExtendsOnlyWhenNeededAndRestores) {
    const std::string dir = inst.programDir.string();
    struct Case {
        const char* name;
        std::string path;
        bool extended;
        std::string during;      // PATH while loaded
        std::string changeTo;    // set by someone else while loaded ("" none)
        std::string afterwards;  // PATH after the object is gone
    } cases[] = {
        {"not listed", "/usr/bin:/bin", true, "/usr/bin:/bin:" + dir, "", "/usr/bin:/bin"},
        {"listed", "/usr/bin:" + dir + ":/bin", false, "/usr/bin:" + dir + ":/bin", "/changed", "/changed"},
    };
    for (const Case& c : cases) {
        setenv("PATH", c.path.c_str(), 1);
        {
            NotesApi api;
            ASSERT_TRUE(api.Load()) << c.name;
            EXPECT_EQ(api.PathExtended(), c.extended) << c.name;
            EXPECT_EQ(std::string(std::getenv("PATH")), c.during) << c.name;
            api.Unload();
            if (!c.changeTo.empty()) setenv("PATH", c.changeTo.c_str(), 1);
        }
        EXPECT_EQ(std::string(std::getenv("PATH")), c.afterwards) << c.name;
    }
}

TEST_F(NotesModeTest, OpeningTheMailFile) {
    std::string error;
    struct Case {
        const char* name;
        std::string dropLine, extraLine;
        int access;  // the user's level in his mail file
        bool opens;
        std::string log;
    } cases[] = {
        {"no mail server", "MailServer=", "", ACL_MANAGER, false,
         "Wayfarer Fatal Error: Location record for Notes Client does not contain a MailServer entry."},
        {"no mail file", "MailFile=", "", ACL_MANAGER, false,
         "Wayfarer Fatal Error: Location record for Notes Client does not contain a MailFile entry."},
        {"mail file missing", "MailFile=", "MailFile=mail\\nobody.nsf\n", ACL_MANAGER, false,
         "Wayfarer Fatal Error: Unable to open user's mailfile."},
        {"editor", "", "", ACL_EDITOR, false,
         "Wayfarer Fatal Error: User does not have manager access to this mailfile."},
        {"designer", "", "", ACL_DESIGNER, false,
         "Wayfarer Fatal Error: User does not have manager access to this mailfile."},
        {"manager", "", "", ACL_MANAGER, true, ""},
    };
    for (const Case& c : cases) {
        rewriteRelayIni(c.dropLine, c.extraLine);
        ASSERT_TRUE(platform::notes::setAccess(inst, "mail/tuser.nsf", user.fullName, c.access, error)) << error;
        NotesApi api;
        ASSERT_TRUE(api.Load()) << c.name;
        const size_t before = logEntries().size();
        EXPECT_EQ(api.OpenMailFile(), c.opens) << c.name;
        EXPECT_EQ(api.MailFile() != 0, c.opens) << c.name << ": a refused mail file is closed again";
        const auto entries = logEntries();
        if (c.log.empty())
            EXPECT_EQ(entries.size(), before) << c.name;
        else
            EXPECT_EQ(entries.back(), c.log) << c.name;
        api.Unload();
    }
}

TEST_F(NotesModeTest, SubmissionsWriteTheNoteThatTheRouterReads) {
    auto client = openClient();
    NotesApi& api = *client;
    std::string longBody;
    for (int i = 0; longBody.size() < 70000; ++i) longBody += "line " + std::to_string(i) + " of a long body\r\n";
    longBody += "the end";
    struct Case {
        const char* name;
        std::vector<std::string> to, cc, bcc;
        NotesMessage message;
        BoxNote expected;
    } cases[] = {
        {"no Cc",
         {"a@x.test", "b@x.test"},
         {},
         {"c@x.test"},
         {"s@x.test", "Hello", longBody},
         {"a@x.test, b@x.test", "", "c@x.test", "a@x.test, b@x.test, c@x.test", "+s@x.test", "Hello", longBody,
          "s@x.test", "s@x.test", false, true}},
        {"no sender",
         {"a@x.test"},
         {"d@x.test"},
         {},
         {"", "", "one line"},
         {"a@x.test", "d@x.test", "", "a@x.test, d@x.test", "", "", "one line", "", "", true, false}},
    };
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(api.SubmitToMailBox(c.to, c.cc, c.bcc, c.message, 0, error)) << c.name << ": " << error;
        const auto box = mailBox();
        ASSERT_FALSE(box.empty()) << c.name;
        const BoxNote& n = box.back();
        const BoxNote& e = c.expected;
        EXPECT_EQ(n.sendTo, e.sendTo) << c.name;
        EXPECT_EQ(n.hasCopyTo, e.hasCopyTo) << c.name;
        EXPECT_EQ(n.copyTo, e.copyTo) << c.name;
        EXPECT_EQ(n.blindCopyTo, e.blindCopyTo) << c.name;
        EXPECT_EQ(n.recipients, e.recipients) << c.name << ": one routing list, numbered without gaps";
        EXPECT_EQ(n.hasFrom, e.hasFrom) << c.name;
        EXPECT_EQ(n.from, e.from) << c.name;
        EXPECT_EQ(n.subject, e.subject) << c.name;
        EXPECT_EQ(n.replyTo, e.replyTo) << c.name;
        EXPECT_EQ(n.inetReplyTo, e.inetReplyTo) << c.name;
        EXPECT_EQ(n.body, e.body) << c.name << ": the whole body, even past one paragraph's limit";
    }
    api.Unload();

    // A server without mail.box: the submission fails with the reason, nothing is written.
    fs::remove(inst.dataDir / "mail.box");
    auto second = openClient();
    std::string error;
    EXPECT_FALSE(second->SubmitToMailBox({"a@x.test"}, {}, {}, {"s@x.test", "lost?", "body"}, 0, error));
    EXPECT_EQ(error, "Unable to open mail.box on mail server.");
    second->Unload();
}

TEST_F(NotesModeTest, NotesOfTheMailFileAreReadDescribedAndDeleted) {
    auto client = openClient();
    NotesApi& api = *client;
    platform::notes::Mail mail;
    mail.from = "alice@example.test";
    mail.to = {me};
    mail.subject = "Budget";
    mail.body = "first\r\nsecond";
    std::string error;
    const NOTEID id = platform::notes::addMail(inst, user.shortName, mail, error);
    ASSERT_NE(id, 0u) << error;
    std::string body, text;
    EXPECT_EQ(api.ReadNoteBody(id, body), mail.body.size());
    EXPECT_EQ(body, mail.body);
    EXPECT_EQ(api.DescribeNote(id, text), NOERROR);
    EXPECT_EQ(text, "Message from 'alice@example.test' with a subject of 'Budget'.");
    EXPECT_TRUE(api.DeleteNote(id));
    EXPECT_EQ(api.DescribeNote(id, text) & 0x3FFF, 0x0225) << "a deleted note says so";
    EXPECT_EQ(api.ReadNoteBody(id, body), 0u);
    EXPECT_FALSE(api.DeleteNote(id));
    api.Unload();

    const uint32_t unid[4] = {0x11111111, 0x22222222, 0x3333abcd, 0x44444444};
    EXPECT_EQ(NotesApi::FormatUnid(unid), "2222222211111111444444443333ABCD");
    std::vector<std::string> split;
    relay::SplitAddressList(" a@x.test , ,b@x.test,, c@x.test ", split);
    EXPECT_EQ(split, (std::vector<std::string>{"a@x.test", "b@x.test", "c@x.test"}));
}

TEST_F(NotesModeTest, WatcherAsksForTheNotesAddressUntilItHasOne) {
    notesFrame.notes.clear();
    notesFrame.answers = {{wireless, ""}, {wireless, "no-at-sign"}, {"New@Wireless.test", me}};
    startNotes();
    EXPECT_EQ(notesFrame.asked, 3u);
    EXPECT_EQ(notesFrame.notes, me) << "the frame keeps the address for the next watcher";
    EXPECT_EQ(watcher->WirelessAddress(), "New@Wireless.test");
    EXPECT_EQ(notesFrame.wirelessSet, "New@Wireless.test");

    // Without a way to ask, and without a Notes client, the watcher does not start.
    struct Case {
        const char* name;
        bool withAddress;
        bool withClient;
    } cases[] = {{"no address, no dialog", false, true}, {"client not found", true, false}};
    for (const Case& c : cases) {
        watcher.reset();
        NotesFrame frame2;
        if (c.withAddress) frame2.notes = me;
        if (!c.withClient) RegDeleteKeyA(HKEY_LOCAL_MACHINE, k50);
        relay::CMAPIRedirect w(&frame2, config.get(), wireless);
        EXPECT_LT(w.Initialize(), 0) << c.name;
    }
}

TEST_F(NotesModeTest, NewMailIsForwardedThroughMailBox) {
    reloadSettings(/*attachments=*/0, /*detailed=*/1);
    startNotes();
    const NOTEID id = noteMail("Quarterly figures", "See the two files.", "alice@example.test", {{me, MAPI_TO}},
                               {{"a.xls", "1"}, {"b.doc", "2"}});
    auto box = mailBox();
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(box[0].sendTo, wireless);
    EXPECT_EQ(box[0].recipients, wireless);
    EXPECT_EQ(box[0].from, "+" + me);
    std::string subject;
    ASSERT_TRUE(handheld->unseal(Unbraced(box[0].subject), subject));
    EXPECT_EQ(subject, std::string("Quarterly figures") + '\0');
    ASSERT_FALSE(box[0].body.empty());
    EXPECT_EQ(box[0].body.back(), '{');
    const ForwardBody f = parseForward(box[0].body);
    std::vector<uint8_t> entry;
    uint32_t count = 0;
    ASSERT_EQ(Base64Decode(f.entryId, entry, &count), kBase64Ok);
    entry.resize(count);
    EXPECT_EQ(entry, (std::vector<uint8_t>{uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)}))
        << "the forward names the note";
    EXPECT_NE(f.header.find("Subject: Quarterly figures\r\n"), std::string::npos);
    std::string text;
    ASSERT_TRUE(handheld->unseal(f.rest.substr(0, f.rest.size() - 1), text));
    EXPECT_EQ(text, std::string("See the two files.\r\n-Attachments Omitted-\r\n<<a.xls>> <<b.doc>>") + '\0');
    EXPECT_TRUE(
        logged("Wayfarer: Successfully forwarded Officewide Post\r\n          FROM: alice@example.test \r\n"
               "            TO: \r\n            CC: \r\n       SUBJECT: Quarterly figures\r\nDELIVERED DATE: " +
               relay::LocalAscTime(kDelivered) + "\r\n"));
    EXPECT_EQ(notesFrame.tips.back(), "Last forward: " + relay::LocalAscTime(kDelivered));
    EXPECT_TRUE(noteExists(id)) << "a forwarded mail stays in the mail file";

    // With the attachment setting on, a Notes forward carries neither notice nor files.
    watcher.reset();
    reloadSettings(/*attachments=*/1, /*detailed=*/1);
    startNotes();
    noteMail("With files", "Text only.", "alice@example.test", {{me, MAPI_TO}}, {{"a.xls", "1"}, {"b.doc", "2"}});
    box = mailBox();
    ASSERT_EQ(box.size(), 2u);
    const ForwardBody g = parseForward(box[1].body);
    ASSERT_TRUE(handheld->unseal(g.rest.substr(0, g.rest.size() - 1), text));
    EXPECT_EQ(text, std::string("Text only.") + '\0');
}

TEST_F(NotesModeTest, AForwardThatMailBoxRefusesIsLoggedWithTheReasonAndSentLater) {
    reloadSettings(/*attachments=*/1, /*detailed=*/1);
    startNotes();
    fs::rename(inst.dataDir / "mail.box", inst.dataDir / "mail.box.away");
    noteMail("Held back", "body");
    EXPECT_TRUE(mailBox().empty());
    EXPECT_TRUE(
        logged("Wayfarer Warning: Unable to forward Officewide Post\r\n         FROM: alice@example.test \r\n"
               "            TO: \r\n            CC: \r\n       SUBJECT: Held back\r\nDELIVERED DATE: " +
               relay::LocalAscTime(kDelivered) + "\r\nReason:Unable to open mail.box on mail server."));
    EXPECT_FALSE(watcher->RetryPendingForwards()) << "still away";
    fs::rename(inst.dataDir / "mail.box.away", inst.dataDir / "mail.box");
    EXPECT_TRUE(watcher->RetryPendingForwards());
    EXPECT_TRUE(watcher->RetryPendingForwards()) << "nothing twice";
    const auto box = mailBox();
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(box[0].sendTo, wireless);
}

TEST_F(NotesModeTest, HandheldMailLeavesThroughMailBoxWithACopyInSentItems) {
    startNotes();
    const NOTEID control =
        noteMail("???E-N-2    Wayfarer Message - Do Not Delete",
                 handheld->seal("To: <alice@example.test;bob@example.test>\r\nBcc: <carol@example.test>\r\n"
                                "Subject: From the road\r\n\r\nWritten on the handheld."),
                 wireless, {{me, MAPI_TO}});
    EXPECT_FALSE(noteExists(control)) << "the control mail is removed";
    const auto box = mailBox();
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(box[0].recipients, "alice@example.test, bob@example.test, carol@example.test");
    EXPECT_EQ(box[0].sendTo, "alice@example.test, bob@example.test");
    EXPECT_EQ(box[0].blindCopyTo, "carol@example.test");
    EXPECT_FALSE(box[0].hasCopyTo);
    EXPECT_EQ(box[0].subject, "From the road");
    EXPECT_EQ(box[0].body, "Written on the handheld.");

    std::vector<platform::mapi::StoredMessage> sent;
    memory->listMessages("Sent Items", sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].props[PR_SUBJECT].str, "From the road");
    EXPECT_EQ(sent[0].props[PR_BODY].str, "Written on the handheld.");
    std::vector<int32_t> types;
    for (auto& r : sent[0].recipients) types.push_back(r[PR_RECIPIENT_TYPE].l);
    EXPECT_EQ(types, (std::vector<int32_t>{1, 1, 3}));
}

TEST_F(NotesModeTest, DeleteAndReadStateRequestsNameNotes) {
    startNotes();
    const NOTEID old = noteMail("Old news", "x");
    const NOTEID read = noteMail("Read me", "y");
    const size_t forwarded = mailBox().size();
    std::string oldText, readText;
    ASSERT_EQ(watcher->Notes()->DescribeNote(old, oldText), NOERROR);
    ASSERT_EQ(watcher->Notes()->DescribeNote(read, readText), NOERROR);
    auto entryOf = [](NOTEID id) {
        const uint8_t bytes[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
        std::string text;
        Base64Encode(bytes, 4, text, true);
        return text;
    };
    struct Case {
        const char* name;
        std::string subject, body;
        NOTEID target;
        bool remains;
        std::string log;
    } cases[] = {
        // Marking read on the handheld must not delete the note: Notes offers no read state here.
        {"read state", "???C-S-2    Wayfarer Message - Do Not Delete", "X-CORVID-ENTID: <1:" + entryOf(read) + ">",
         read, true, "Wayfarer: Unable to set read flag " + readText},
        {"delete", "???C-D-2    Wayfarer Message - Do Not Delete", "X-CORVID-ENTID: <" + entryOf(old) + ">", old, false,
         "Wayfarer: Successfully deleted " + oldText},
        {"delete again", "???C-D-2    Wayfarer Message - Do Not Delete", "X-CORVID-ENTID: <" + entryOf(old) + ">", old,
         false, ""},
    };
    for (const Case& c : cases) {
        const size_t before = logEntries().size();
        const NOTEID control = noteMail(c.subject, handheld->seal(c.body), wireless, {{me, MAPI_TO}});
        EXPECT_EQ(noteExists(c.target), c.remains) << c.name;
        EXPECT_FALSE(noteExists(control)) << c.name << ": the control mail is removed";
        std::vector<std::string> added;  // what the request reported (trace entries aside)
        const auto entries = logEntries();
        for (size_t i = before; i < entries.size(); ++i)
            if (entries[i].find("CMAPIRedirect::") == std::string::npos) added.push_back(entries[i]);
        if (c.log.empty())
            EXPECT_TRUE(added.empty()) << c.name << ": a note already gone is skipped";
        else
            EXPECT_NE(std::find(added.begin(), added.end(), c.log), added.end()) << c.name;
    }
    EXPECT_EQ(mailBox().size(), forwarded) << "no request here sends mail";
}

}  // namespace
}  // namespace tess::relay::test
