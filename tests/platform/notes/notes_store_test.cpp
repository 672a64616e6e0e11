// The Notes client stand-in through its C calls: items of every type, folders, unread
// marks, deletion stubs, IDs and passwords, access, the address book, and the router's
// local delivery.
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "tests/platform/notes/notes_fixture.h"

namespace platform::notes::test {
namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string mailItem(NOTEHANDLE note, WORD item) {
    char buf[1024];
    WORD len = 0;
    if (!MailGetMessageItem(note, item, buf, sizeof buf, &len)) return "<missing>";
    return std::string(buf, len);
}

// Builds a list the way callers do: allocate empty, unlock, add entries in order.
DHANDLE makeList(const std::vector<std::string>& texts, WORD& size) {
    DHANDLE list = 0;
    void* ptr = nullptr;
    EXPECT_EQ(ListAllocate(0, 0, 1, &list, &ptr, &size), NOERROR);
    OSUnlockObject(list);
    for (WORD i = 0; i < texts.size(); ++i)
        EXPECT_EQ(ListAddEntry(list, 1, &size, i, texts[i].data(), static_cast<WORD>(texts[i].size())), NOERROR);
    return list;
}

std::vector<std::string> listItem(NOTEHANDLE note, const char* name) {
    BLOCKID item{}, value{};
    WORD type = 0;
    DWORD length = 0;
    if (NSFItemInfo(note, name, static_cast<WORD>(std::strlen(name)), &item, &type, &value, &length) != NOERROR)
        return {"<missing>"};
    EXPECT_EQ(type, TYPE_TEXT_LIST);
    const char* list = static_cast<const char*>(OSLockObject(value.pool)) + value.block;
    std::vector<std::string> out;
    for (WORD i = 0; i < ListGetNumEntries(list, 1); ++i) {
        const char* text = nullptr;
        WORD len = 0;
        EXPECT_EQ(ListGetText(list, 1, i, &text, &len), NOERROR);
        out.emplace_back(text, len);
    }
    OSUnlockObject(value.pool);
    return out;
}

// A mail from Bo to Ann.
platform::notes::Mail memo(const std::string& subject, const std::string& body) {
    platform::notes::Mail mail;
    mail.from = "Bo Kim";
    mail.to = {"Ann Lee"};
    mail.subject = subject;
    mail.body = body;
    return mail;
}

STATUS collectMatch(void* param, const SEARCH_MATCH* match, const void*) {
    static_cast<std::vector<SEARCH_MATCH>*>(param)->push_back(*match);
    return NOERROR;
}

std::vector<SEARCH_MATCH> search(DBHANDLE db, const TIMEDATE* since) {
    std::vector<SEARCH_MATCH> out;
    EXPECT_EQ(NSFSearch(db, 0, nullptr, SEARCH_SUMMARY | SEARCH_NOTIFYDELETIONS, NOTE_CLASS_DOCUMENT, since,
                        collectMatch, &out, nullptr),
              NOERROR);
    return out;
}

std::set<NOTEID> tableIds(DHANDLE table) {
    std::set<NOTEID> out;
    NOTEID id = 0;
    for (NBOOL more = IDScan(table, 1, &id); more; more = IDScan(table, 0, &id)) out.insert(id);
    return out;
}

using NotesStoreTest = NotesClientTest;

TEST_F(NotesStoreTest, ItemsOfEveryTypeSurviveStoringAndReopening) {
    const DBHANDLE db = openMailFile();
    NOTEHANDLE note = 0;
    ASSERT_EQ(MailCreateMessage(db, &note), NOERROR);
    WORD size = 0;
    ASSERT_EQ(MailAddHeaderItemByHandle(note, MAIL_SENDTO_ITEM_NUM, makeList({"Bo Kim", "x@far.test"}, size), size, 0),
              NOERROR);
    ASSERT_EQ(MailAddHeaderItem(note, MAIL_SUBJECT_ITEM_NUM, "Grüße", 7), NOERROR);
    TIMEDATE posted{};
    OSCurrentTIMEDATE(&posted);
    ASSERT_EQ(TimeDateAdjust(&posted, 0, 0, 0, -3, 0, 0), NOERROR);
    ASSERT_EQ(MailAddHeaderItem(note, MAIL_POSTEDDATE_ITEM_NUM, reinterpret_cast<const char*>(&posted), sizeof posted),
              NOERROR);
    const double number = 42.5;
    ASSERT_EQ(NSFItemAppend(note, 0, "Score", 5, TYPE_NUMBER, &number, sizeof number), NOERROR);
    DHANDLE body = 0;
    DWORD bodyLength = 0;
    ASSERT_EQ(MailCreateBodyItem(&body, &bodyLength), NOERROR);
    for (const char* line : {"first line", "", "third line"})
        ASSERT_EQ(MailAppendBodyItemLine(body, &bodyLength, line, static_cast<WORD>(std::strlen(line))), NOERROR);
    ASSERT_EQ(MailAddBodyItem(note, body, bodyLength, nullptr), NOERROR);
    ASSERT_EQ(OSMemFree(body), NOERROR);
    const auto file = notes.home.path() / "report.bin";
    std::string bytes(3000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(file, std::ios::binary) << bytes;
    ASSERT_EQ(MailAddMessageAttachment(note, file.c_str(), "Report.bin"), NOERROR);
    ASSERT_EQ(NSFNoteUpdate(note, UPDATE_FORCE), NOERROR);
    NOTEID id = 0;
    NSFNoteGetInfo(note, NOTE_INFO_ID, &id);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(MailCloseMessage(note), NOERROR);
    ASSERT_EQ(MailCloseMessageFile(db), NOERROR);

    // Everything is read back from the file through a new handle.
    const DBHANDLE again = openMailFile();
    ASSERT_EQ(NSFNoteOpen(again, id, 0, &note), NOERROR);
    EXPECT_EQ(listItem(note, "SendTo"), (std::vector<std::string>{"Bo Kim", "x@far.test"}));
    EXPECT_EQ(mailItem(note, MAIL_SENDTO_ITEM_NUM), "Bo Kim, x@far.test");
    EXPECT_EQ(mailItem(note, MAIL_SUBJECT_ITEM_NUM), "Grüße");
    EXPECT_EQ(mailItem(note, MAIL_BLINDCOPYTO_ITEM_NUM), "<missing>");
    TIMEDATE read{};
    ASSERT_TRUE(MailGetMessageItemTimeDate(note, MAIL_POSTEDDATE_ITEM_NUM, &read));
    EXPECT_EQ(std::memcmp(&read, &posted, sizeof read), 0);
    BLOCKID item{}, value{};
    WORD type = 0;
    DWORD length = 0;
    ASSERT_EQ(NSFItemInfo(note, "Score", 5, &item, &type, &value, &length), NOERROR);
    ASSERT_EQ(type, TYPE_NUMBER);
    ASSERT_EQ(length, 2 + sizeof(double));
    double readNumber = 0;
    std::memcpy(&readNumber, static_cast<char*>(OSLockObject(value.pool)) + value.block + 2, sizeof readNumber);
    EXPECT_EQ(readNumber, 42.5);
    DHANDLE readBody = 0;
    ASSERT_EQ(MailGetMessageBody(note, &readBody, &length), NOERROR);
    EXPECT_EQ(std::string(static_cast<char*>(OSLockObject(readBody)), length), "first line\r\n\r\nthird line");
    OSUnlockObject(readBody);
    OSMemFree(readBody);
    char name[256];
    DWORD attachmentSize = 0;
    ASSERT_TRUE(MailGetMessageAttachmentInfo(note, 0, &item, &attachmentSize, name, sizeof name));
    EXPECT_STREQ(name, "Report.bin");
    EXPECT_EQ(attachmentSize, bytes.size());
    EXPECT_FALSE(MailGetMessageAttachmentInfo(note, 1, &item, &attachmentSize, name, sizeof name));
    ASSERT_TRUE(MailGetMessageAttachmentInfo(note, 0, &item, &attachmentSize, name, sizeof name));
    const auto out = notes.home.path() / "out.bin";
    ASSERT_EQ(MailExtractMessageAttachment(note, item, out.c_str()), NOERROR);
    EXPECT_EQ(readFile(out), bytes);
    NSFNoteClose(note);
    MailCloseMessageFile(again);
}

TEST_F(NotesStoreTest, BodyTextIsWrappedIntoTheFileAndLongWordsAreCut) {
    platform::notes::Mail mail;
    mail.from = "Bo Kim";
    mail.to = {"Ann Lee"};
    mail.subject = "wrap";
    mail.body = "alpha beta gamma delta\r\n" + std::string(25, 'x') + "\r\n\tend";
    std::string error;
    const NOTEID id = platform::notes::addMail(notes.inst, "alee", mail, error);
    ASSERT_NE(id, 0u) << error;
    const DBHANDLE db = openMailFile();
    NOTEHANDLE note = 0;
    ASSERT_EQ(NSFNoteOpen(db, id, 0, &note), NOERROR);
    const auto file = notes.home.path() / "Body";
    DWORD size = 0;
    ASSERT_EQ(MailGetMessageBodyText(note, "Body", "\r\n", 12, 1, file.c_str(), &size), NOERROR);
    EXPECT_EQ(readFile(file), "alpha beta \r\ngamma delta\r\nxxxxxxxxxxxx\r\nxxxxxxxxxxxx\r\nx\r\n        end");
    EXPECT_EQ(size, readFile(file).size());
    NSFNoteClose(note);
    MailCloseMessageFile(db);
}

TEST_F(NotesStoreTest, FoldersAreIdTablesAndTheFolderViewListsThem) {
    const DBHANDLE db = openMailFile();
    NOTEID inbox = 0, trash = 0, sent = 0, info = 0;
    ASSERT_EQ(NIFFindDesignNoteExt(db, "($Inbox)", NOTE_CLASS_VIEW, "-G40n", &inbox, 0), NOERROR);
    ASSERT_EQ(NIFFindDesignNoteExt(db, "($Trash)", NOTE_CLASS_VIEW, "-G40n", &trash, 0), NOERROR);
    ASSERT_EQ(NIFFindDesignNoteExt(db, "($Sent)", NOTE_CLASS_VIEW, "-G40n", &sent, 0), NOERROR);
    ASSERT_EQ(NIFFindDesignNoteExt(db, "$FolderInfo", NOTE_CLASS_VIEW, "-G40n", &info, 0), NOERROR);
    EXPECT_EQ(NIFFindDesignNoteExt(db, "($Nowhere)", NOTE_CLASS_VIEW, "-G40n", &info, 0), ERR_NOT_FOUND);
    ASSERT_EQ(NIFFindDesignNoteExt(db, "$FolderInfo", NOTE_CLASS_VIEW, "-G40n", &info, 0), NOERROR);

    // The folder view lists the folders only (not the Sent and Drafts views).
    HCOLLECTION coll = 0;
    ASSERT_EQ(NIFOpenCollection(db, db, info, 0, 0, &coll, nullptr, nullptr, nullptr, nullptr), NOERROR);
    COLLECTIONPOSITION pos{};
    DHANDLE buffer = 0;
    DWORD returned = 0;
    WORD signal = 0;
    ASSERT_EQ(NIFReadEntries(coll, &pos, 0, 1, 0, 0xFFFFFFFF, 1, &buffer, nullptr, nullptr, &returned, &signal),
              NOERROR);
    ASSERT_EQ(returned, 2u);
    const auto* ids = static_cast<const NOTEID*>(OSLockObject(buffer));
    EXPECT_EQ(std::set<NOTEID>(ids, ids + 2), (std::set<NOTEID>{inbox, trash}));
    OSMemFree(buffer);
    NIFCloseCollection(coll);

    // 70 delivered notes: the folder's table holds them; its collection comes in pieces.
    std::string error;
    std::set<NOTEID> delivered;
    for (int i = 0; i < 70; ++i) delivered.insert(platform::notes::addMail(notes.inst, "alee", memo("n", "b"), error));
    DHANDLE table = 0;
    ASSERT_EQ(NSFFolderGetIDTable(db, db, inbox, 0, &table), NOERROR);
    EXPECT_EQ(tableIds(table), delivered);
    ASSERT_EQ(NIFOpenCollection(db, db, inbox, 0, 0, &coll, nullptr, nullptr, nullptr, nullptr), NOERROR);
    pos = {};
    std::set<NOTEID> read;
    int reads = 0;
    do {
        ASSERT_EQ(NIFReadEntries(coll, &pos, 0, 1, 0, 0xFFFFFFFF, 1, &buffer, nullptr, nullptr, &returned, &signal),
                  NOERROR);
        ids = static_cast<const NOTEID*>(OSLockObject(buffer));
        read.insert(ids, ids + returned);
        OSMemFree(buffer);
        ++reads;
    } while (signal & SIGNAL_MORE_TO_DO);
    NIFCloseCollection(coll);
    EXPECT_EQ(read, delivered);
    EXPECT_EQ(reads, 2);

    // Moving one note to the trash, as a deletion on the handheld does.
    DHANDLE one = 0;
    ASSERT_EQ(IDCreateTable(sizeof(NOTEID), &one), NOERROR);
    ASSERT_EQ(IDInsert(one, *delivered.begin(), nullptr), NOERROR);
    ASSERT_EQ(FolderDocAdd(db, 0, trash, one, 0), NOERROR);
    ASSERT_EQ(FolderDocRemove(db, 0, inbox, one, 0), NOERROR);
    IDDestroyTable(table);
    ASSERT_EQ(NSFFolderGetIDTable(db, db, inbox, 0, &table), NOERROR);
    EXPECT_EQ(IDEntries(table), 69u);
    EXPECT_FALSE(IDIsPresent(table, *delivered.begin()));
    IDDestroyTable(table);
    ASSERT_EQ(NSFFolderGetIDTable(db, db, trash, 0, &table), NOERROR);
    EXPECT_EQ(tableIds(table), std::set<NOTEID>{*delivered.begin()});
    IDDestroyTable(table);
    // A note that does not exist cannot be filed.
    ASSERT_EQ(IDInsert(one, 999999, nullptr), NOERROR);
    EXPECT_EQ(FolderDocAdd(db, 0, trash, one, 0), ERR_NOT_FOUND);
    IDDestroyTable(one);
    MailCloseMessageFile(db);
}

TEST_F(NotesStoreTest, UnreadTableFollowsReadMarksAndPersists) {
    std::string error;
    const NOTEID a = platform::notes::addMail(notes.inst, "alee", memo("a", "a"), error);
    const NOTEID b = platform::notes::addMail(notes.inst, "alee", memo("b", "b"), error);
    const NOTEID c = platform::notes::addMail(notes.inst, "alee", memo("c", "c"), error);
    const std::string user = notes.ann.fullName;
    const DBHANDLE db = openMailFile();
    DHANDLE unread = 0;
    ASSERT_EQ(NSFDbGetUnreadNoteTable(db, user.c_str(), static_cast<WORD>(user.size()), 1, &unread), NOERROR);
    ASSERT_EQ(NSFDbUpdateUnread(db, unread), NOERROR);
    EXPECT_EQ(tableIds(unread), (std::set<NOTEID>{a, b, c}));

    // Marking read as the host does: change a copy, store it, bring the table up to date.
    DHANDLE copy = 0;
    ASSERT_EQ(IDTableCopy(unread, &copy), NOERROR);
    ASSERT_EQ(IDDelete(copy, a, nullptr), NOERROR);
    ASSERT_EQ(NSFDbSetUnreadNoteTable(db, user.c_str(), static_cast<WORD>(user.size()), 1, unread, copy), NOERROR);
    IDDestroyTable(copy);
    ASSERT_EQ(NSFDbUpdateUnread(db, unread), NOERROR);
    EXPECT_EQ(tableIds(unread), (std::set<NOTEID>{b, c}));

    // Opening with the mark-read flag reads a note too; an unflagged open does not.
    NOTEHANDLE note = 0;
    ASSERT_EQ(NSFNoteOpen(db, b, OPEN_MARK_READ, &note), NOERROR);
    NSFNoteClose(note);
    ASSERT_EQ(NSFNoteOpen(db, c, 0, &note), NOERROR);
    NSFNoteClose(note);
    IDDestroyTable(unread);
    MailCloseMessageFile(db);

    const DBHANDLE again = openMailFile();
    ASSERT_EQ(NSFDbGetUnreadNoteTable(again, user.c_str(), static_cast<WORD>(user.size()), 0, &unread), NOERROR);
    EXPECT_EQ(tableIds(unread), std::set<NOTEID>{c});
    IDDestroyTable(unread);
    // Another user has no table until one is made.
    EXPECT_EQ(NSFDbGetUnreadNoteTable(again, "Nobody", 6, 0, &unread), ERR_NOT_FOUND);
    MailCloseMessageFile(again);
}

TEST_F(NotesStoreTest, DeletionLeavesAStubThatSearchesReportAsNotMatching) {
    std::string error;
    const NOTEID keep = platform::notes::addMail(notes.inst, "alee", memo("keep", ""), error);
    const NOTEID gone = platform::notes::addMail(notes.inst, "alee", memo("gone", ""), error);
    const NOTEID quiet = platform::notes::addMail(notes.inst, "alee", memo("quiet", ""), error);
    const DBHANDLE db = openMailFile();
    TIMEDATE before{};
    OSCurrentTIMEDATE(&before);
    ASSERT_EQ(TimeDateAdjust(&before, 0, 0, -1, 0, 0, 0), NOERROR);
    ASSERT_EQ(NSFNoteDelete(db, gone, UPDATE_NOCOMMIT), NOERROR);
    ASSERT_EQ(NSFNoteDelete(db, quiet, UPDATE_FORCE | UPDATE_NOSTUB), NOERROR);
    EXPECT_EQ(NSFNoteDelete(db, quiet, 0), ERR_NOT_FOUND);

    const auto matches = search(db, &before);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].ID, keep);
    EXPECT_EQ(matches[0].SERetFlags & SE_FMATCH, SE_FMATCH);
    EXPECT_EQ(matches[1].ID, gone);
    EXPECT_EQ(matches[1].SERetFlags & SE_FMATCH, 0);
    EXPECT_TRUE(matches[1].NoteClass & RRV_DELETED);
    NOTEHANDLE note = 0;
    EXPECT_EQ(NSFNoteOpen(db, gone, 0, &note), ERR_NOTE_DELETED);
    EXPECT_EQ(NSFNoteOpen(db, quiet, 0, &note), ERR_NOT_FOUND);

    // A cutoff after the changes finds nothing.
    TIMEDATE later{};
    OSCurrentTIMEDATE(&later);
    ASSERT_EQ(TimeDateAdjust(&later, 0, 0, 1, 0, 0, 0), NOERROR);
    EXPECT_TRUE(search(db, &later).empty());
    MailCloseMessageFile(db);
}

TEST_F(NotesStoreTest, IdFileOpensOnlyWithItsPassword) {
    struct Case {
        const char* what;
        std::filesystem::path id;
        const char* password;
        STATUS status;
        const char* name;
    };
    const Case cases[] = {
        {"wrong password", notes.boId, "ann-secret", ERR_BAD_PASSWORD, ""},
        {"empty password", notes.boId, "", ERR_BAD_PASSWORD, ""},
        {"no such file", notes.home.path() / "none.id", "bo-secret", ERR_NO_SUCH_FILE, ""},
        {"right password", notes.boId, "bo-secret", NOERROR, "CN=Bo Kim/O=Tess"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        char name[256] = "untouched";
        EXPECT_EQ(SECKFMSwitchToIDFile(c.id.c_str(), c.password, name, sizeof name, 0, nullptr), c.status);
        EXPECT_STREQ(name, c.name);
    }
    char current[256];
    ASSERT_EQ(SECKFMGetUserName(current), NOERROR);
    EXPECT_STREQ(current, "CN=Bo Kim/O=Tess");
    // The switch is written to notes.ini: a new start finds Bo as the user.
    NotesTerm();
    ASSERT_EQ(NotesInitIni(notes.inst.iniPath.c_str()), NOERROR);
    ASSERT_EQ(SECKFMGetUserName(current), NOERROR);
    EXPECT_STREQ(current, "CN=Bo Kim/O=Tess");
}

TEST_F(NotesStoreTest, OnlyTheOwnerManagesAMailFile) {
    const DBHANDLE own = openMailFile();
    WORD level = 0, flags = 0;
    ASSERT_EQ(NSFDbAccessGet(own, &level, &flags), NOERROR);
    EXPECT_EQ(level, ACL_MANAGER);
    MailCloseMessageFile(own);
    DBHANDLE other = 0;
    EXPECT_EQ(MailOpenMessageFile("mail/bkim.nsf", &other), ERR_NO_ACCESS);
    EXPECT_EQ(MailOpenMessageFile("mail/nobody.nsf", &other), ERR_NO_SUCH_FILE);
    DBHANDLE box = 0;
    ASSERT_EQ(MailOpenMessageFile("CN=Mailhub/O=Tess!!mail.box", &box), NOERROR);
    ASSERT_EQ(NSFDbAccessGet(box, &level, &flags), NOERROR);
    EXPECT_EQ(level, ACL_DEPOSITOR);
    MailCloseMessageFile(box);
    NotesTerm();
    EXPECT_EQ(MailOpenMessageFile("mail/alee.nsf", &other), ERR_NOTES_NOT_INIT);
}

TEST_F(NotesStoreTest, EnvironmentNamesAndAddressBook) {
    char value[256];
    ASSERT_TRUE(OSGetEnvironmentString("mailfile", value, sizeof value));
    EXPECT_STREQ(value, "mail\\alee.nsf");
    EXPECT_FALSE(OSGetEnvironmentString("NoSuchKey", value, sizeof value));
    EXPECT_STREQ(value, "");

    const char dn[] = "CN=Ann Lee/OU=Sales/O=Tess";
    DN_COMPONENTS parts{};
    ASSERT_EQ(DNParse(0, nullptr, dn, &parts, sizeof parts), NOERROR);
    EXPECT_EQ(std::string(parts.CN, parts.CNLength), "Ann Lee");
    EXPECT_EQ(std::string(parts.O, parts.OLength), "Tess");
    EXPECT_EQ(DNParse(0, nullptr, dn, &parts, 4), ERR_INVALID_ARG);

    // Two names, one known: the first gives its Internet address, the second no match.
    DHANDLE buffer = 0;
    const char names[] = "Ann Lee\0nobody\0";
    ASSERT_EQ(NAMELookup("CN=Mailhub/O=Tess", 0, 1, "$Users", 2, names, 1, "InternetAddress", &buffer), NOERROR);
    void* lookup = OSLockObject(buffer);
    WORD matches = 0;
    void* first = NAMELocateNextName(lookup, nullptr, &matches);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(matches, 1);
    void* match = NAMELocateNextMatch(lookup, first, nullptr);
    ASSERT_NE(match, nullptr);
    ASSERT_EQ(NAMEGetTextItem(match, 0, 0, value, sizeof value), NOERROR);
    EXPECT_STREQ(value, "alee@tess.test");
    EXPECT_EQ(NAMELocateNextMatch(lookup, first, match), nullptr);
    void* second = NAMELocateNextName(lookup, first, &matches);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(matches, 0);
    EXPECT_EQ(NAMELocateNextName(lookup, second, &matches), nullptr);
    OSMemFree(buffer);

    // Notes text to UTF-16LE.
    char wide[16];
    ASSERT_EQ(OSTranslate(OS_TRANSLATE_LMBCS_TO_UNICODE, "a\xC3\xA9", 3, wide, sizeof wide), 4);
    EXPECT_EQ(std::string(wide, 4), std::string("a\0\xE9\0", 4));
}

TEST_F(NotesStoreTest, MailBoxNotesReachLocalMailFilesAndUnknownNamesAreReported) {
    DBHANDLE box = 0;
    ASSERT_EQ(MailOpenMessageFile("CN=Mailhub/O=Tess!!mail.box", &box), NOERROR);
    NOTEHANDLE note = 0;
    ASSERT_EQ(MailCreateMessage(box, &note), NOERROR);
    WORD size = 0;
    ASSERT_EQ(MailAddRecipientsItem(note, makeList({"Bo Kim", "bkim@tess.test", "Ghost"}, size), size), NOERROR);
    ASSERT_EQ(MailAddHeaderItemByHandle(note, MAIL_SENDTO_ITEM_NUM, makeList({"Bo Kim", "Ghost"}, size), size, 0),
              NOERROR);
    ASSERT_EQ(MailAddHeaderItem(note, MAIL_FROM_ITEM_NUM, "CN=Ann Lee/O=Tess", 17), NOERROR);
    ASSERT_EQ(MailAddHeaderItem(note, MAIL_SUBJECT_ITEM_NUM, "lunch", 5), NOERROR);
    ASSERT_EQ(NSFNoteUpdate(note, 0), NOERROR);
    MailCloseMessage(note);
    MailCloseMessageFile(box);

    const auto result = platform::notes::routeMail(notes.inst);
    EXPECT_EQ(result.delivered, 1);  // Bo once, though named twice
    EXPECT_EQ(result.sent, 0);
    EXPECT_EQ(result.failed, 1);

    // Bo's mail file: one unread note in his inbox. Read as Bo.
    char name[256];
    ASSERT_EQ(SECKFMSwitchToIDFile(notes.boId.c_str(), "bo-secret", name, sizeof name, 0, nullptr), NOERROR);
    const DBHANDLE bo = openMailFile("mail\\bkim.nsf");
    NOTEID inbox = 0;
    ASSERT_EQ(NIFFindDesignNoteExt(bo, "($Inbox)", NOTE_CLASS_VIEW, "-G40n", &inbox, 0), NOERROR);
    DHANDLE table = 0;
    ASSERT_EQ(NSFFolderGetIDTable(bo, bo, inbox, 0, &table), NOERROR);
    ASSERT_EQ(IDEntries(table), 1u);
    NOTEID id = 0;
    ASSERT_TRUE(IDScan(table, 1, &id));
    ASSERT_EQ(NSFNoteOpen(bo, id, 0, &note), NOERROR);
    EXPECT_EQ(mailItem(note, MAIL_SUBJECT_ITEM_NUM), "lunch");
    EXPECT_EQ(mailItem(note, MAIL_FROM_ITEM_NUM), "CN=Ann Lee/O=Tess");
    TIMEDATE delivered{};
    EXPECT_TRUE(MailGetMessageItemTimeDate(note, MAIL_DELIVEREDDATE_ITEM_NUM, &delivered));
    NSFNoteClose(note);
    DHANDLE unread = 0;
    ASSERT_EQ(
        NSFDbGetUnreadNoteTable(bo, notes.bo.fullName.c_str(), static_cast<WORD>(notes.bo.fullName.size()), 0, &unread),
        NOERROR);
    EXPECT_TRUE(IDIsPresent(unread, id));
    MailCloseMessageFile(bo);

    // Ann's inbox has the failure report for "Ghost"; mail.box is empty.
    ASSERT_EQ(SECKFMSwitchToIDFile(notes.annId.c_str(), "ann-secret", name, sizeof name, 0, nullptr), NOERROR);
    const DBHANDLE ann = openMailFile();
    ASSERT_EQ(NIFFindDesignNoteExt(ann, "($Inbox)", NOTE_CLASS_VIEW, "-G40n", &inbox, 0), NOERROR);
    ASSERT_EQ(NSFFolderGetIDTable(ann, ann, inbox, 0, &table), NOERROR);
    ASSERT_TRUE(IDScan(table, 1, &id));
    ASSERT_EQ(NSFNoteOpen(ann, id, 0, &note), NOERROR);
    EXPECT_EQ(mailItem(note, MAIL_FAILUREREASON_ITEM_NUM), "No such user: Ghost");
    EXPECT_EQ(mailItem(note, MAIL_SUBJECT_ITEM_NUM), "lunch");
    NSFNoteClose(note);
    MailCloseMessageFile(ann);
    ASSERT_EQ(MailOpenMessageFile("CN=Mailhub/O=Tess!!mail.box", &box), NOERROR);
    DHANDLE list = 0;
    WORD count = 7;
    ASSERT_EQ(MailCreateMessageList(box, &list, nullptr, &count), NOERROR);
    EXPECT_EQ(count, 0);
    OSMemFree(list);
    MailCloseMessageFile(box);
}

TEST_F(NotesStoreTest, InternetMailStaysInTheMailBoxWhileTheRelayCannotBeReached) {
    std::string error;
    ASSERT_TRUE(platform::notes::setSmtpRelay(notes.inst, {"smtp://127.0.0.1:1", "", ""}, error));
    DBHANDLE box = 0;
    ASSERT_EQ(MailOpenMessageFile("CN=Mailhub/O=Tess!!mail.box", &box), NOERROR);
    NOTEHANDLE note = 0;
    ASSERT_EQ(MailCreateMessage(box, &note), NOERROR);
    WORD size = 0;
    ASSERT_EQ(MailAddRecipientsItem(note, makeList({"far@away.test", "Bo Kim"}, size), size), NOERROR);
    ASSERT_EQ(NSFNoteUpdate(note, 0), NOERROR);
    MailCloseMessage(note);

    auto result = platform::notes::routeMail(notes.inst);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.delivered, 0);  // not even the local copy, so a later pass gives it once
    EXPECT_FALSE(result.error.empty());
    DHANDLE list = 0;
    WORD count = 0;
    ASSERT_EQ(MailCreateMessageList(box, &list, nullptr, &count), NOERROR);
    EXPECT_EQ(count, 1);
    OSMemFree(list);
    MailCloseMessageFile(box);
}

}  // namespace
}  // namespace platform::notes::test
