// Copperfen through its exports over the memory profile: logon and folders, listings in
// batches with their progress messages, the message fields, the stream-only body, failing
// tables, read marks, deletes, priorities, sending, attachments and the address book.
#include "tests/xmapi/host_fixture.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "common/base64.h"
#include "common/host_records.h"
#include "hosts/xmapi/mapi_library.h"
#include "platform/core/registry.h"
#include "platform/mfc/cstring.h"

namespace xmapi::test {

using platform::mfc::CString;

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::MailMsg;
using tess::MapiLogonRecord;

namespace {

struct Exports : CommonExports {
    int (*Logon)(const MapiLogonRecord*, int, int) = nullptr;
    int (*SetMsgPriority)(int, const MailMsg*, int) = nullptr;
    int (*GetUserEmail)(const MapiLogonRecord*, CString*) = nullptr;
    int (*CompareMsgId)(int, const void*, int, const void*) = nullptr;
    int (*ResolveName)(int, const void*, CString*) = nullptr;
};

// A listing's blocks as messages, and the blocks handed back through the host.
struct Listing {
    MailMsg** list = nullptr;
    int count = 0;
    std::vector<CMsg> msgs() const {
        std::vector<CMsg> out;
        for (int i = 0; i < count; ++i) out.emplace_back(list[i]);
        return out;
    }
};

class Copperfen : public MemoryProfileTest {
protected:
    void SetUp() override {
        MemoryProfileTest::SetUp();
        ASSERT_TRUE(host);
        BindCommon(host, x);
        ASSERT_FALSE(HasFatalFailure());
        TESS_BIND_EXPORT(host, x, Logon);
        TESS_BIND_EXPORT(host, x, SetMsgPriority);
        TESS_BIND_EXPORT(host, x, GetUserEmail);
        TESS_BIND_EXPORT(host, x, CompareMsgId);
        TESS_BIND_EXPORT(host, x, ResolveName);
    }
    void TearDown() override {
        if (folders) {
            EXPECT_EQ(x.FreeFolderList(folders, folderCount), 0);
        }
        if (x.Uninitialize) x.Uninitialize();
        MemoryProfileTest::TearDown();
    }

    MapiLogonRecord Record(const char* profile = "Work", int days = 0, int attachments = 1) {
        return MapiLogonRecord{.hostName = "Outlook",
                               .profile = profile,
                               .password = "",
                               .days = days,
                               .newerHandheld = 1,
                               .downloadAttachments = attachments,
                               .blockValue = 0,
                               .userDirectory = "",
                               .accountName = "Desk",
                               .parentWindow = window.handle()};
    }
    // Initialize, Logon and the folder list; the Inbox's record.
    FolderRecord* LogOn(const MapiLogonRecord& r) {
        EXPECT_EQ(x.Initialize(), 0);
        EXPECT_EQ(x.Logon(&r, 2, 1), 0);
        EXPECT_EQ(x.GetFolderList(&folders, &folderCount), 0);
        for (int i = 0; i < folderCount; ++i)
            if (folders[i]->type == 0) return folders[i];
        return nullptr;
    }
    FolderRecord* LogOn() {
        record = Record();
        return LogOn(record);
    }
    Listing List(FolderRecord* folder, int expected = 0) {
        Listing l;
        EXPECT_EQ(x.GetAllMsgs(folder, &l.list, &l.count, 0), expected);
        return l;
    }
    void Free(Listing& l) {
        if (l.list) {
            EXPECT_EQ(x.FreeMailMsg(l.list, l.count), 0);
        }
        l = Listing{};
    }

    HostLibrary host{"libCopperfen.so"};
    Exports x;
    CountingWindow window;
    MapiLogonRecord record;
    FolderRecord** folders = nullptr;
    int folderCount = 0;
};

TEST_F(Copperfen, OrdinalsMapToTheLibrarysExportNames) {
    EXPECT_STREQ(xmapi::NameOfOrdinal(140), "FreeProws");
    EXPECT_STREQ(xmapi::NameOfOrdinal(75), "HrQueryAllRows");
    EXPECT_STREQ(xmapi::NameOfOrdinal(139), "FreePadrlist");
    EXPECT_EQ(xmapi::NameOfOrdinal(1), nullptr);
    HostLibrary mapi32("libmapi32.so");
    ASSERT_TRUE(mapi32);
    for (const auto& e : xmapi::kEntryPoints) EXPECT_NE(mapi32.Bind<FARPROC>(e.name), nullptr) << e.name;
}

TEST_F(Copperfen, InitializeNeedsExtendedMapiInstalledAndCanRunAgain) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", &key), ERROR_SUCCESS);
    const char zero[] = "0";
    RegSetValueExA(key, "MAPIX", 0, REG_SZ, reinterpret_cast<const unsigned char*>(zero), 2);
    EXPECT_EQ(x.Initialize(), 205);
    RegDeleteValueA(key, "MAPIX");
    EXPECT_EQ(x.Initialize(), 205);
    const char one[] = "1";
    RegSetValueExA(key, "MAPIX", 0, REG_SZ, reinterpret_cast<const unsigned char*>(one), 2);
    RegCloseKey(key);
    EXPECT_EQ(x.Initialize(), 0);
    EXPECT_EQ(x.Uninitialize(), 0);
    // A second account in the same run initialises the loaded host again.
    EXPECT_EQ(x.Initialize(), 0);
    record = Record();
    EXPECT_EQ(x.Logon(&record, 0, 1), 0);
}

TEST_F(Copperfen, LogonFailsForAnUnknownProfileAndUsesTheDefaultWhenEmpty) {
    ASSERT_EQ(x.Initialize(), 0);
    MapiLogonRecord wrong = Record("Nobody");
    EXPECT_EQ(x.Logon(&wrong, 0, 1), 200);
    EXPECT_EQ(x.GetFolderList(&folders, &folderCount), 0);
    EXPECT_EQ(folders, nullptr);  // no session: nothing
    backing->failCall("Logon", MAPI_E_LOGON_FAILED);
    MapiLogonRecord work = Record();
    EXPECT_EQ(x.Logon(&work, 0, 1), 200);
    backing->clearFaults();

    MapiLogonRecord byDefault = Record("");
    ASSERT_EQ(x.Logon(&byDefault, 0, 1), 0);
    ASSERT_EQ(x.GetFolderList(&folders, &folderCount), 0);
    ASSERT_EQ(folderCount, 2);  // the Inbox and Sent Items only
    EXPECT_STREQ(folders[0]->name, "Inbox");
    EXPECT_EQ(folders[0]->type, 0);
    EXPECT_STREQ(folders[1]->name, "Sent Items");
    EXPECT_EQ(folders[1]->type, 3);
    EXPECT_GT(folders[0]->extraLength, 0);
    // The free export's own rules.
    EXPECT_EQ(x.FreeFolderList(nullptr, 1), 211);
    EXPECT_EQ(x.FreeFolderList(folders, 0), 0);
}

TEST_F(Copperfen, ListsInBatchesOfAHundredWithProgressMessages) {
    const time_t now = std::time(nullptr);
    for (int i = 0; i < 250; ++i) backing->deliver("", Delivered("m" + std::to_string(i), now - 60));
    FolderRecord* inbox = LogOn();
    ASSERT_NE(inbox, nullptr);
    Listing l = List(inbox);
    EXPECT_EQ(l.count, 250);
    EXPECT_EQ(window.of(0x802), (std::vector<WPARAM>{100, 100, 50}));
    EXPECT_EQ(window.of(0x804).size(), 250u);
    Free(l);
    // A folder the host does not know, and no folder: nothing, and out untouched.
    FolderRecord stranger{nullptr, 3, const_cast<char*>("abc"), 0};
    MailMsg** untouched = reinterpret_cast<MailMsg**>(0x1);
    int count = -7;
    EXPECT_EQ(x.GetAllMsgs(&stranger, &untouched, &count, 0), 0);
    EXPECT_EQ(x.GetAllMsgs(nullptr, &untouched, &count, 0), 0);
    EXPECT_EQ(untouched, reinterpret_cast<MailMsg**>(0x1));
    EXPECT_EQ(count, -7);
    EXPECT_EQ(x.FreeMailMsg(nullptr, 1), 211);
}

TEST_F(Copperfen, MessageFieldsFollowTheStore) {
    const time_t now = std::time(nullptr);
    platform::mapi::StoredMessage m = Delivered("Fields", now - 3600, true);
    m.props[PR_IMPORTANCE] = SPropValue::Long(PR_IMPORTANCE, 0);
    m.props[PR_CLIENT_SUBMIT_TIME] =
        SPropValue::Time(PR_CLIENT_SUBMIT_TIME, platform::mapi::fileTimeFromUnix(now - 7200));
    // A sender from the directory resolves to its SMTP address.
    m.props[PR_SENT_REPRESENTING_NAME] = SPropValue::String(PR_SENT_REPRESENTING_NAME, "Bob Baker");
    m.props[PR_SENT_REPRESENTING_ADDRTYPE] = SPropValue::String(PR_SENT_REPRESENTING_ADDRTYPE, "EX");
    m.props[PR_SENT_REPRESENTING_EMAIL_ADDRESS] =
        SPropValue::String(PR_SENT_REPRESENTING_EMAIL_ADDRESS, "/o=Org/cn=bob");
    platform::mapi::PropMap x400, cc;
    // A recipient without an SMTP address keeps its own type before the address.
    x400[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "Gateway");
    x400[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "X400");
    x400[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, "c=x;a=y;s=gw");
    x400[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO);
    m.recipients.push_back(x400);
    cc[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "Alan Arbor");
    cc[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
    cc[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, "alan@example.test");
    cc[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_CC);
    m.recipients.push_back(cc);
    platform::mapi::PropMap file;
    file[PR_ATTACH_LONG_FILENAME] = SPropValue::String(PR_ATTACH_LONG_FILENAME, "plan.txt");
    file[PR_ATTACH_FILENAME] = SPropValue::String(PR_ATTACH_FILENAME, "plan.txt");
    file[PR_ATTACH_METHOD] = SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
    file[PR_ATTACH_DATA_BIN] = SPropValue::Binary(PR_ATTACH_DATA_BIN, {'p', 'l', 'a', 'n'});
    m.attachments.push_back(file);
    backing->deliver("", m);
    backing->deliver("", Delivered("Old", now - 30 * 86400));

    record = Record("Work", 7);
    FolderRecord* inbox = LogOn(record);
    Listing l = List(inbox);
    ASSERT_EQ(l.count, 1);  // the window of seven days leaves the old one out
    const CMsg got(l.list[0]);
    EXPECT_EQ(got.Subject, "Fields");
    EXPECT_EQ(got.From, "bob@example.test");
    EXPECT_EQ(got.To, "tess@tess.test;X400:c=x;a=y;s=gw");
    EXPECT_EQ(got.Cc, "alan@example.test");
    EXPECT_EQ(got.Body, "Body of Fields\r\n");
    EXPECT_EQ(got.size, int32_t(got.Body.size()));
    EXPECT_EQ(got.date, int32_t(now - 3600));
    EXPECT_EQ(got.value60, int32_t(now - 7200));
    EXPECT_EQ(got.flags & 0x80000000u, 0x80000000u);
    EXPECT_EQ(got.flags & 0x02000000u, 0x02000000u);  // read
    EXPECT_EQ(got.flags & 0x00010000u, 0x00010000u);  // attachments
    EXPECT_EQ(got.flags & 0x00600000u, 0x00400000u);  // low importance
    EXPECT_EQ(got.status & 0xC0, 0x80);
    EXPECT_EQ(got.status & 0x300, 0x200);  // neither to nor copied to the user by the flags
    EXPECT_EQ(got.AttachmentNames, "\tplan.txt");
    Free(l);
}

TEST_F(Copperfen, ALargeBodyIsReadThroughTheStreamUpToItsLimit) {
    platform::mapi::StoredMessage m = Delivered("Large", std::time(nullptr));
    std::string body;
    for (int i = 0; body.size() < 70000; ++i) body += "line " + std::to_string(i) + "\r\n";
    m.props[PR_BODY] = SPropValue::String(PR_BODY, body);
    backing->deliver("", m);
    backing->setTextValueLimit(1024);  // as a value the body is "not enough memory"
    FolderRecord* inbox = LogOn();
    Listing l = List(inbox);
    ASSERT_EQ(l.count, 1);
    const CMsg got(l.list[0]);
    EXPECT_EQ(got.Body, body.substr(0, 65534));
    EXPECT_EQ(got.size, 65534);
    Free(l);
}

TEST_F(Copperfen, FailingTablesFailTheListingAndHandOutNothing) {
    for (int i = 0; i < 3; ++i) backing->deliver("", Delivered("m" + std::to_string(i), std::time(nullptr)));
    record = Record("Work", 7);
    FolderRecord* inbox = LogOn(record);
    struct Case {
        const char* call;
    } cases[] = {{"Restrict"}, {"QueryRows"}, {"GetContentsTable"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        backing->failCall(c.call, MAPI_E_TOO_COMPLEX);
        MailMsg** list = nullptr;
        int count = 0;
        EXPECT_EQ(x.GetAllMsgs(inbox, &list, &count, 0), 3);
        EXPECT_EQ(list, nullptr);
        backing->clearFaults();
    }
    Listing l = List(inbox);
    EXPECT_EQ(l.count, 3);
    Free(l);
    EXPECT_EQ(Folder("").size(), 3u);
}

TEST_F(Copperfen, ReadMarksDeletesAndPrioritiesNeedTheHostsOwnMessages) {
    backing->deliver("", Delivered("first", std::time(nullptr)));
    backing->deliver("", Delivered("second", std::time(nullptr)));
    FolderRecord* inbox = LogOn();
    Listing l = List(inbox);
    ASSERT_EQ(l.count, 2);

    // Without the host's mark, or without an id, nothing is changed.
    MailMsg foreign = *l.list[0];
    foreign.flags &= ~0x80000000u;
    EXPECT_EQ(x.SetMsgReadStatus(nullptr, &foreign, 1), 3);
    EXPECT_EQ(x.DeleteMsg(nullptr, &foreign), 3);
    EXPECT_EQ(x.SetMsgPriority(0, &foreign, 0), 3);
    MailMsg noId = *l.list[0];
    noId.msgIdLength = 0;
    EXPECT_EQ(x.DeleteMsg(nullptr, &noId), 3);

    EXPECT_EQ(x.SetMsgReadStatus(nullptr, l.list[0], 1), 0);
    EXPECT_TRUE(Folder("")[0].read);
    EXPECT_EQ(x.SetMsgReadStatus(inbox, l.list[0], 0), 0);
    EXPECT_FALSE(Folder("")[0].read);
    EXPECT_EQ(x.SetMsgPriority(0, l.list[1], 0), 0);
    EXPECT_EQ(Folder("")[1].props[PR_IMPORTANCE].l, 2);

    EXPECT_EQ(x.DeleteMsg(nullptr, l.list[0]), 0);
    const auto inboxLeft = Folder("");
    ASSERT_EQ(inboxLeft.size(), 1u);
    EXPECT_EQ(inboxLeft[0].props.at(PR_SUBJECT).str, "second");
    const auto deleted = Folder("Deleted Items");
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].props.at(PR_SUBJECT).str, "first");
    EXPECT_TRUE(deleted[0].read);
    // Gone from the folder: a second delete finds nothing.
    EXPECT_EQ(x.DeleteMsg(inbox, l.list[0]), 3);
    Free(l);
}

MailMsg* Outgoing(const std::string& to, const std::string& cc, const std::string& attachments = "") {
    CMsg m;
    m.From = "tess@tess.test";
    m.To = to;
    m.Cc = cc;
    m.Subject = "From the handheld";
    m.Body = "Hello from the road.\r\n";
    m.AttachmentNames = attachments;
    m.status = static_cast<uint16_t>(m.status | 0x2000);  // read receipt
    MailMsg* block = nullptr;
    EXPECT_EQ(m.ToMailMsg(&block), 0);
    return block;
}

TEST_F(Copperfen, SendSubmitsWithASentCopyAndLosesNothingOnFailure) {
    LogOn();
    const std::filesystem::path file = home.path() / "notes.txt";
    std::ofstream(file) << "attached text";

    struct Case {
        const char* name;
        const char* fault;
        std::string to;
        int result;
        size_t submitted;
    } cases[] = {
        {"an ambiguous name is not sent", nullptr, "Al", 3, 0},
        {"the submission fails", "SubmitMessage", "alice@example.test", 4, 0},
        {"sent", nullptr, "alice@example.test;Bob Baker", 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault) backing->failCall(c.fault, MAPI_E_SUBMIT_FAILED);
        MailMsg* block = Outgoing(c.to, "alan@example.test", file.string());
        EXPECT_EQ(x.SendMsg(block), c.result);
        FreeMailMsgBlock(block);
        backing->clearFaults();
        EXPECT_EQ(backing->submitted().size(), c.submitted);
        EXPECT_EQ(Folder("Sent Items").size(), c.submitted);
        EXPECT_TRUE(Folder("Outbox").empty());
    }
    const auto sent = backing->submitted().at(0);
    EXPECT_EQ(sent.props.at(PR_SUBJECT).str, "From the handheld");
    EXPECT_TRUE(sent.props.at(PR_READ_RECEIPT_REQUESTED).b);
    std::set<std::string> addresses;
    for (const auto& r : sent.recipients) addresses.insert(r.at(PR_EMAIL_ADDRESS).str);
    EXPECT_TRUE(addresses.count("alice@example.test"));
    EXPECT_TRUE(addresses.count("alan@example.test"));
    EXPECT_EQ(sent.recipients.size(), 3u);
    ASSERT_EQ(sent.attachments.size(), 1u);
    const auto& data = sent.attachments[0].at(PR_ATTACH_DATA_BIN).bin;
    EXPECT_EQ(std::string(data.begin(), data.end()), "attached text");
    EXPECT_EQ(sent.attachments[0].at(PR_ATTACH_LONG_FILENAME).str, "notes.txt");
}

// The entry id of a name in the profile's address book (empty when it does not resolve).
EntryId DirectoryEntry(const std::string& name) {
    std::shared_ptr<platform::mapi::Session> session;
    std::shared_ptr<IAddrBook> book;
    if (FAILED(platform::mapi::logon("Work", "", session)) || FAILED(session->OpenAddressBook(0, 0, book))) return {};
    ADRLIST list;
    ADRENTRY entry;
    entry.lpProps = {SPropValue::String(PR_DISPLAY_NAME, name)};
    list.aEntries.push_back(entry);
    if (FAILED(book->ResolveName(0, 0, nullptr, list)) || !list.aEntries[0].find(PR_ENTRYID)) return {};
    return list.aEntries[0].find(PR_ENTRYID)->bin;
}

// A directory recipient travels as its entry id and is addressed by it again when the
// handheld answers; an SMTP sender keeps the bare address.
TEST_F(Copperfen, DirectoryRecipientsTravelAsTheirEntryIds) {
    const EntryId bobId = DirectoryEntry("Bob Baker");
    ASSERT_FALSE(bobId.empty());

    platform::mapi::StoredMessage m = Delivered("To the directory", std::time(nullptr));
    platform::mapi::PropMap bob;
    bob[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "Bob Baker");
    bob[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "EX");
    bob[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, "/o=Org/cn=bob");
    bob[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, bobId);
    bob[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_CC);
    m.recipients.push_back(bob);
    backing->deliver("", m);
    FolderRecord* inbox = LogOn();
    Listing l = List(inbox);
    ASSERT_EQ(l.count, 1);
    const CMsg got(l.list[0]);
    EXPECT_EQ(got.From, "alice@example.test");
    std::string encoded;
    tess::Base64Encode(bobId.data(), int(bobId.size()), encoded, false);
    EXPECT_EQ(got.Cc, "\x01" + encoded);
    Free(l);

    MailMsg* reply = Outgoing("alice@example.test", got.Cc);
    EXPECT_EQ(x.SendMsg(reply), 0);
    FreeMailMsgBlock(reply);
    ASSERT_EQ(backing->submitted().size(), 1u);
    const auto submitted = backing->submitted();
    bool bobAddressed = false;
    for (const auto& r : submitted[0].recipients)
        bobAddressed = bobAddressed ||
                       (r.count(PR_ENTRYID) && r.at(PR_ENTRYID).bin == bobId && r.at(PR_RECIPIENT_TYPE).l == MAPI_CC);
    EXPECT_TRUE(bobAddressed);
}

TEST_F(Copperfen, AttachmentFilesAreHandedOutAndRemovedByTheFreeExport) {
    platform::mapi::StoredMessage m = Delivered("Twelve files", std::time(nullptr));
    for (int i = 0; i < 12; ++i) {
        platform::mapi::PropMap a;
        a[PR_ATTACH_LONG_FILENAME] = SPropValue::String(PR_ATTACH_LONG_FILENAME, "f" + std::to_string(i) + ".bin");
        a[PR_ATTACH_METHOD] = SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
        a[PR_ATTACH_DATA_BIN] = SPropValue::Binary(PR_ATTACH_DATA_BIN, {uint8_t(i), 0, 255});
        m.attachments.push_back(a);
    }
    backing->deliver("", m);
    FolderRecord* inbox = LogOn();
    Listing l = List(inbox);
    ASSERT_EQ(l.count, 1);
    AttachmentTable* table = nullptr;
    ASSERT_EQ(x.GetMessageAttachment(inbox, l.list[0]->msgIdLength, l.list[0]->msgId, &table), 0);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 10);
    std::vector<std::string> paths;
    for (int i = 0; i < table->count; ++i) {
        paths.emplace_back(table->path[i]);
        std::ifstream in(paths.back(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(bytes, std::string({char(i), '\0', char(255)})) << paths.back();
    }
    EXPECT_EQ(std::filesystem::path(paths[0]).filename(), "f0.bin");
    EXPECT_EQ(x.FreeAttachment(&table), 0);
    EXPECT_EQ(table, nullptr);
    for (const auto& p : paths) EXPECT_FALSE(std::filesystem::exists(p)) << p;
    Free(l);
}

TEST_F(Copperfen, WithoutTheAttachmentsFlagNoFilesAreMade) {
    backing->deliver("", Delivered("one", std::time(nullptr)));
    record = Record("Work", 0, 0);
    FolderRecord* inbox = LogOn(record);
    Listing l = List(inbox);
    AttachmentTable* table = nullptr;
    EXPECT_EQ(x.GetMessageAttachment(inbox, l.list[0]->msgIdLength, l.list[0]->msgId, &table), -1);
    EXPECT_EQ(table, nullptr);
    Free(l);
}

TEST_F(Copperfen, StubsCompareResolveAndTheUsersAddress) {
    backing->deliver("", Delivered("one", std::time(nullptr)));
    FolderRecord* inbox = LogOn();
    Listing l = List(inbox);
    ASSERT_EQ(l.count, 1);
    EXPECT_EQ(x.GetMsg(inbox, nullptr, nullptr), 1);
    EXPECT_EQ(x.HostSupportsPartialMessages(), 0);
    const MailMsg* m = l.list[0];
    EXPECT_EQ(x.CompareMsgId(m->msgIdLength, m->msgId, m->msgIdLength, m->msgId), 1);
    EXPECT_EQ(x.CompareMsgId(m->msgIdLength, m->msgId, inbox->extraLength, inbox->extra), 0);
    Free(l);

    // The address book's entry for a directory user gives its SMTP address.
    const EntryId id = DirectoryEntry("Bob Baker");
    ASSERT_FALSE(id.empty());
    CString address;
    EXPECT_EQ(x.ResolveName(int(id.size()), id.data(), &address), 1);
    EXPECT_STREQ(address.GetString(), "bob@example.test");
    EXPECT_EQ(x.ResolveName(3, "abc", &address), 0);

    CString mine;
    MapiLogonRecord r = Record();
    EXPECT_EQ(x.GetUserEmail(&r, &mine), 1);
    EXPECT_STREQ(mine.GetString(), "tess@tess.test");
}

}  // namespace
}  // namespace xmapi::test
