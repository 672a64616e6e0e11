// Thistledown through its exports over the memory profile: logon, the Inbox listing with
// its progress messages, kept attachment files, read marks, deletes and sending; and its
// rules for received dates and address texts.
#include "tests/xmapi/host_fixture.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "common/sync_progress_dialog.h"
#include "hosts/smapi/smapi_host.h"
#include "platform/ui/ui_service.h"

namespace smapi::test {

using tess::AttachmentTable;
using tess::CMsg;
using tess::CSyncProgress;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::MailMsg;
using tess::SmapiLogonRecord;

using xmapi::test::BindCommon;
using xmapi::test::CommonExports;
using xmapi::test::CountingWindow;
using xmapi::test::Delivered;
using xmapi::test::HostLibrary;
using xmapi::test::MemoryProfileTest;

namespace {

struct Exports : CommonExports {
    int (*Logon)(const SmapiLogonRecord*, int, int) = nullptr;
};

class Thistledown : public MemoryProfileTest {
protected:
    void SetUp() override {
        MemoryProfileTest::SetUp();
        ASSERT_TRUE(host);
        BindCommon(host, x);
        ASSERT_FALSE(HasFatalFailure());
        TESS_BIND_EXPORT(host, x, Logon);
    }
    void TearDown() override {
        if (x.Logoff) x.Logoff();
        if (x.Uninitialize) x.Uninitialize();
        MemoryProfileTest::TearDown();
    }
    SmapiLogonRecord Record(const char* profile = "", int attachments = 1) {
        return SmapiLogonRecord{.first = profile,
                                .second = "",
                                .newerHandheld = 1,
                                .downloadAttachments = attachments,
                                .blockValue = 0,
                                .userDirectory = "",
                                .accountName = "Desk",
                                .parentWindow = window.handle()};
    }
    void LogOn(int attachments = 1) {
        ASSERT_EQ(x.Initialize(), 0);
        SmapiLogonRecord r = Record("", attachments);
        ASSERT_EQ(x.Logon(&r, 2, 1), 0);
    }
    std::vector<CMsg> List(MailMsg*** list, int* count) {
        EXPECT_EQ(x.GetAllMsgs(nullptr, list, count, 0), 0);
        std::vector<CMsg> out;
        for (int i = 0; i < *count; ++i) out.emplace_back((*list)[i]);
        return out;
    }

    HostLibrary host{"libThistledown.so"};
    Exports x;
    CountingWindow window;
};

TEST_F(Thistledown, LogonAndTheOneFolder) {
    EXPECT_EQ(x.Initialize(), 0);
    SmapiLogonRecord nobody = Record("Nobody");
    EXPECT_EQ(x.Logon(&nobody, 0, 1), 200);
    SmapiLogonRecord work = Record("Work");
    EXPECT_EQ(x.Logon(&work, 0, 1), 0);
    FolderRecord** folders = nullptr;
    int count = 0;
    ASSERT_EQ(x.GetFolderList(&folders, &count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(folders[0]->name, "Inbox");
    EXPECT_EQ(x.FreeFolderList(folders, count), 0);
    EXPECT_EQ(x.FreeFolderList(nullptr, 1), 211);
    EXPECT_EQ(x.GetMsg(nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(x.HostSupportsPartialMessages(), 0);
    EXPECT_EQ(x.Logoff(), 0);
    EXPECT_EQ(x.Uninitialize(), 0);
    // A second account in the same run initialises the loaded host again.
    EXPECT_EQ(x.Initialize(), 0);
    EXPECT_EQ(x.Logon(&work, 0, 1), 0);
}

TEST_F(Thistledown, FortyFiveMessagesAnnounceStepsThreeTimes) {
    for (int i = 0; i < 45; ++i) backing->deliver("", Delivered("m" + std::to_string(i), std::time(nullptr) - 100 + i));
    LogOn();
    MailMsg** list = nullptr;
    int count = 0;
    const auto msgs = List(&list, &count);
    EXPECT_EQ(count, 45);
    EXPECT_EQ(window.of(0x802), (std::vector<WPARAM>{20, 20, 20}));
    EXPECT_EQ(window.of(0x804).size(), 45u);
    ASSERT_EQ(msgs.size(), 45u);
    EXPECT_EQ(msgs[0].Subject, "m0");  // oldest first
    EXPECT_EQ(x.FreeMailMsg(list, count), 0);
    // Listing peeks: nothing became read.
    for (const auto& m : Folder("")) EXPECT_FALSE(m.read);
}

// The engine's progress dialog counts the listing's steps from the host's messages.
TEST_F(Thistledown, TheProgressDialogCountsTheListingsSteps) {
    for (int i = 0; i < 45; ++i) backing->deliver("", Delivered("m" + std::to_string(i), std::time(nullptr)));
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    CSyncProgress progress;
    progress.ShowProgress();
    ASSERT_EQ(x.Initialize(), 0);
    SmapiLogonRecord r = Record();
    r.parentWindow = progress.Window();
    ASSERT_EQ(x.Logon(&r, 0, 1), 0);
    MailMsg** list = nullptr;
    int count = 0;
    List(&list, &count);
    EXPECT_EQ(count, 45);
    // Announced anew at the 42nd message, then four steps.
    EXPECT_EQ(progress.Dialog()->Step().count, 20);
    EXPECT_EQ(progress.Dialog()->Step().position, 4);
    const auto states = ui.progressStates();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().step, (platform::ui::ProgressBar{20, 4}));
    EXPECT_EQ(x.FreeMailMsg(list, count), 0);
}

TEST_F(Thistledown, MessageFieldsAndKeptAttachmentFiles) {
    const time_t now = std::time(nullptr) / 60 * 60;
    platform::mapi::StoredMessage m = Delivered("With files", now, true);
    platform::mapi::PropMap cc;
    cc[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "Alan Arbor");
    cc[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
    cc[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, "alan@example.test");
    cc[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_CC);
    m.recipients.push_back(cc);
    m.props[PR_SENDER_NAME] = SPropValue::String(PR_SENDER_NAME, "Alice Archer");
    m.props[PR_SENDER_EMAIL_ADDRESS] = SPropValue::String(PR_SENDER_EMAIL_ADDRESS, "alice@example.test");
    for (int i = 0; i < 12; ++i) {
        platform::mapi::PropMap a;
        a[PR_ATTACH_LONG_FILENAME] = SPropValue::String(PR_ATTACH_LONG_FILENAME, "f" + std::to_string(i) + ".txt");
        a[PR_ATTACH_METHOD] = SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
        a[PR_ATTACH_DATA_BIN] = SPropValue::Binary(PR_ATTACH_DATA_BIN, {'x', uint8_t('a' + i)});
        m.attachments.push_back(a);
    }
    backing->deliver("", m);
    platform::mapi::StoredMessage empty = Delivered("Empty", now);
    empty.props[PR_BODY] = SPropValue::String(PR_BODY, "");
    backing->deliver("", empty);
    LogOn();
    MailMsg** list = nullptr;
    int count = 0;
    const auto msgs = List(&list, &count);
    ASSERT_EQ(count, 2);
    const CMsg& got = msgs[0];
    EXPECT_EQ(got.Subject, "With files");
    EXPECT_EQ(got.From, "alice@example.test (Alice Archer)");
    EXPECT_EQ(got.To, "tess@tess.test (Tess User)");
    EXPECT_EQ(got.Cc, "alan@example.test (Alan Arbor)");
    EXPECT_EQ(got.Body, "Body of With files\r\n");
    EXPECT_EQ(got.date, int32_t(now));
    EXPECT_EQ(got.flags & 0x82000000u, 0x82000000u);  // the host's own, and read
    EXPECT_EQ(got.status & 0xC0, 0x80);
    EXPECT_EQ(msgs[1].Body, "");
    EXPECT_EQ(msgs[1].size, 0);
    const auto files = got.AttachmentNameList();
    ASSERT_EQ(files.size(), 12u);
    EXPECT_EQ(std::filesystem::path(files[3]).filename(), "f3.txt");

    AttachmentTable* table = nullptr;
    ASSERT_EQ(x.GetMessageAttachment(nullptr, list[0]->msgIdLength, list[0]->msgId, &table), 0);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 10);
    std::ifstream in(table->path[3], std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "xd");
    EXPECT_EQ(x.FreeAttachment(&table), 0);
    EXPECT_FALSE(std::filesystem::exists(files[3]));
    // An id the listing did not give.
    EXPECT_EQ(x.GetMessageAttachment(nullptr, 4, "zzz", &table), 211);
    EXPECT_EQ(x.FreeMailMsg(list, count), 0);
    // Logoff removes every file the listing made.
    EXPECT_EQ(x.Logoff(), 0);
    for (const auto& f : files) EXPECT_FALSE(std::filesystem::exists(f)) << f;
}

TEST_F(Thistledown, WithoutTheAttachmentsFlagNoFilesAreKept) {
    platform::mapi::StoredMessage m = Delivered("One file", std::time(nullptr));
    platform::mapi::PropMap a;
    a[PR_ATTACH_LONG_FILENAME] = SPropValue::String(PR_ATTACH_LONG_FILENAME, "a.txt");
    a[PR_ATTACH_DATA_BIN] = SPropValue::Binary(PR_ATTACH_DATA_BIN, {'a'});
    m.attachments.push_back(a);
    backing->deliver("", m);
    LogOn(0);
    MailMsg** list = nullptr;
    int count = 0;
    const auto msgs = List(&list, &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(msgs[0].AttachmentNames, "");
    AttachmentTable* table = nullptr;
    EXPECT_EQ(x.GetMessageAttachment(nullptr, list[0]->msgIdLength, list[0]->msgId, &table), -1);
    EXPECT_EQ(x.FreeMailMsg(list, count), 0);
}

TEST_F(Thistledown, ReadMarksAndDeletesReachTheStore) {
    backing->deliver("", Delivered("first", std::time(nullptr) - 10));
    backing->deliver("", Delivered("second", std::time(nullptr)));
    LogOn();
    MailMsg** list = nullptr;
    int count = 0;
    List(&list, &count);
    ASSERT_EQ(count, 2);
    MailMsg foreign = *list[0];
    foreign.flags &= ~0x80000000u;
    EXPECT_EQ(x.SetMsgReadStatus(nullptr, &foreign, 1), 3);
    EXPECT_EQ(x.DeleteMsg(nullptr, &foreign), 3);
    // The flag can only be set: seen 0 marks the message read as well.
    EXPECT_EQ(x.SetMsgReadStatus(nullptr, list[0], 0), 0);
    EXPECT_TRUE(Folder("")[0].read);
    EXPECT_FALSE(Folder("")[1].read);
    EXPECT_EQ(x.DeleteMsg(nullptr, list[1]), 0);
    ASSERT_EQ(Folder("").size(), 1u);
    const auto deleted = Folder("Deleted Items");
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].props.at(PR_SUBJECT).str, "second");
    EXPECT_TRUE(deleted[0].read);
    EXPECT_EQ(x.DeleteMsg(nullptr, list[1]), 3);  // already gone
    EXPECT_EQ(x.FreeMailMsg(list, count), 0);
}

TEST_F(Thistledown, SendingLeavesASentCopyAndAFailureSendsNothing) {
    LogOn();
    CMsg m;
    m.To = "alice@example.test";
    m.Cc = "SMTP:Alan@Example.test";
    m.Subject = "From the handheld";
    m.Body = "Hello.\r\n";
    MailMsg* block = nullptr;
    ASSERT_EQ(m.ToMailMsg(&block), 0);
    backing->failCall("SubmitMessage", MAPI_E_SUBMIT_FAILED);
    EXPECT_EQ(x.SendMsg(block), 212);
    EXPECT_TRUE(backing->submitted().empty());
    EXPECT_TRUE(Folder("Sent Items").empty());
    backing->clearFaults();
    EXPECT_EQ(x.SendMsg(block), 0);
    FreeMailMsgBlock(block);
    ASSERT_EQ(backing->submitted().size(), 1u);
    const auto sent = backing->submitted()[0];
    EXPECT_EQ(sent.props.at(PR_SUBJECT).str, "From the handheld");
    std::set<std::string> addresses;
    for (const auto& r : sent.recipients) addresses.insert(r.at(PR_EMAIL_ADDRESS).str);
    EXPECT_EQ(addresses, (std::set<std::string>{"alice@example.test", "alan@example.test"}));
    EXPECT_EQ(Folder("Sent Items").size(), 1u);
}

TEST(ThistledownRules, ReceivedDatesAreClampedToTheirRanges) {
    auto local = [](int y, int mo, int d, int h, int mi) {
        struct tm t {};
        t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_isdst = -1;
        return int32_t(std::mktime(&t));
    };
    struct Case {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"2040/13/0 25:61", local(2038, 12, 1, 23, 59)},
        {"2024/02/29 08:05", local(2024, 2, 29, 8, 5)},
        {"1960/00/40 -1:-5", local(1970, 1, 31, 0, 0)},
        {"", local(1970, 1, 1, 0, 0)},
    };
    for (const auto& c : cases) EXPECT_EQ(smapi::ParseReceivedDate(c.text), c.expected) << c.text;
}

TEST(ThistledownRules, AddressTexts) {
    struct Case {
        const char* name;
        const char* address;
        const char* expected;
    } cases[] = {
        {"Alice Archer", "alice@example.test", "alice@example.test (Alice Archer)"},
        {"alice@example.test", "alice@example.test", "alice@example.test"},
        {"", "alice@example.test", "alice@example.test"},
        {"Alice Archer <alice@example.test>", "", "alice@example.test (Alice Archer)"},
        {"Alice Archer", "", "Alice Archer"},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(smapi::AddressText(c.name, c.address), c.expected)
            << (c.name ? c.name : "") << "|" << (c.address ? c.address : "");
}

}  // namespace
}  // namespace smapi::test
