// The IMAP host's exports against the private Dovecot and SMTP server: logon, folders,
// listing and fetch, changes, and sending then reading the mail back.
#include <gtest/gtest.h>

#include <sstream>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "common/msg_record.h"
#include "hosts/imap/heronwick.h"
#include "hosts/imap/imap_listing_state.h"
#include "hosts/imap/imap_session.h"
#include "hosts/inet/mime_message.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/servers/server_fixture.h"
#include "tests/support/test_home.h"

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::LogonRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;

namespace {

using tess::test::LineClient;

std::string Join(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}

class Heronwick : public tess::test::MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        record_ = LogonRecord{};
        record_.server = servers().host().c_str();
        record_.port = servers().imapPort();
        record_.smtpServer = servers().host().c_str();
        record_.smtpPort = servers().smtpPort();
        record_.user = servers().user().c_str();
        record_.password = servers().password().c_str();
        record_.emailAddress = servers().address(servers().user()).c_str();
        record_.serverUsable = 1;
        record_.smtpUsable = 1;
        record_.reserved2 = -1;
        ASSERT_EQ(Initialize(), 0);
    }
    void TearDown() override {
        Logoff();
        Uninitialize();
    }

    int LogonNow() { return Logon(&record_, 0, 0); }

    // A session of our own beside the host's, for looking at the server directly.
    LineClient& Imap() {
        if (!imap_) {
            imap_ = std::make_unique<LineClient>(servers().imapPort());
            imap_->readLine();
            imap_->imapCommand("t0", "LOGIN " + servers().user() + " " + servers().password());
        }
        return *imap_;
    }
    std::vector<std::string> Command(const std::string& line) {
        return Imap().imapCommand("t" + std::to_string(++tag_), line);
    }
    // Stores a message with the given flags and internal date; returns its UID.
    uint32_t Store(const std::string& folder, const std::string& text, const std::string& flags = "",
                   const std::string& date = "") {
        std::string line = "t" + std::to_string(++tag_) + " APPEND \"" + folder + "\" (" + flags + ")";
        if (!date.empty()) line += " \"" + date + "\"";
        line += " {" + std::to_string(text.size()) + "}";
        Imap().sendLine(line);
        EXPECT_EQ(Imap().readLine().substr(0, 1), "+");
        Imap().send(text + "\r\n");
        std::string last;
        do last = Imap().readLine();
        while (last.rfind("t" + std::to_string(tag_) + " ", 0) != 0);
        std::size_t at = last.find("APPENDUID ");
        EXPECT_NE(at, std::string::npos) << last;
        std::size_t uid = last.find(' ', at + 10);
        return static_cast<uint32_t>(std::stoul(last.substr(uid + 1)));
    }
    std::string Flags(const std::string& folder, uint32_t uid) {
        Command("SELECT \"" + folder + "\"");
        return Join(Command("UID FETCH " + std::to_string(uid) + " FLAGS"));
    }

    // What the server holds in folder (UID -> read; messages flagged \Deleted left out),
    // asked for over our own connection.
    std::map<uint32_t, bool> OnServer(const std::string& folder) {
        Command("SELECT \"" + folder + "\"");
        std::map<uint32_t, bool> held;
        for (const std::string& line : Command("UID FETCH 1:* (FLAGS)")) {
            const std::size_t uid = line.find("UID "), flags = line.find("FLAGS (");
            if (line.rfind("* ", 0) != 0 || uid == std::string::npos || flags == std::string::npos) continue;
            const std::string set = line.substr(flags, line.find(')', flags) - flags);
            if (set.find("\\Deleted") != std::string::npos) continue;
            held[static_cast<uint32_t>(std::stoul(line.substr(uid + 4)))] = set.find("\\Seen") != std::string::npos;
        }
        Command("UNSELECT");
        return held;
    }
    // One sync's listing of a folder by a session of its own (UID -> read), with what it sent.
    struct Listing {
        std::map<uint32_t, bool> messages;
        std::string log;
        bool Sent(const std::string& command) const { return log.find("IMAP SEND:" + command) != std::string::npos; }
    };
    Listing SyncListing(int port, const std::string& dir, const char* folder, int days = 0) {
        LogonRecord record = record_;
        record.port = port;
        if (days > 0) record.days = days;
        record.userDirectory = dir.c_str();
        Listing out;
        imap::CImapSession session;
        session.SetLogSink([&](const std::string& line) { out.log += line + "\n"; });
        EXPECT_EQ(session.Logon(&record, 2), 0);
        MailMsg** ids = nullptr;
        int count = 0;
        EXPECT_EQ(session.GetMsgIds(folder, &ids, &count), 0);
        for (int i = 0; i < count; ++i) out.messages[UidOf(ids[i])] = (ids[i]->flags & 0x02000000u) != 0;
        FreeMailMsg(ids, count);
        session.Logoff();
        session.Cleanup();
        return out;
    }
    static uint32_t UidOf(const MailMsg* m) {
        uint32_t uid = 0;
        imap::UidOf(m->hostId, m->hostIdLength, uid);
        return uid;
    }

    static std::string Simple(const std::string& subject, const std::string& body = "Hello.\r\n") {
        return "From: Ann <ann@tess.test>\r\nTo: you@tess.test\r\nSubject: " + subject +
               "\r\nDate: Tue, 01 Dec 2026 10:00:00 +0000\r\n\r\n" + body;
    }

    LogonRecord record_;
    std::unique_ptr<LineClient> imap_;
    int tag_ = 0;
};

uint32_t UidOfBlock(const MailMsg* m) {
    uint32_t uid = 0;
    imap::UidOf(m->hostId, m->hostIdLength, uid);
    return uid;
}

TEST_F(Heronwick, LogonRightAndWrongPassword) {
    ASSERT_EQ(LogonNow(), 0);
    FolderRecord** folders = nullptr;
    int count = 0;
    EXPECT_EQ(GetFolderList(&folders, &count), 0);
    EXPECT_GT(count, 0);
    FreeFolderList(folders, count);
    Uninitialize();

    // Wrong password, SMTP still usable: the logon stands, the IMAP side answers 8.
    record_.password = "wrong";
    ASSERT_EQ(Initialize(), 0);
    EXPECT_EQ(LogonNow(), 0);
    EXPECT_EQ(GetFolderList(&folders, &count), 8);
    EXPECT_EQ(IMAP4Commit(), 8);
    Uninitialize();

    record_.smtpUsable = 0;
    EXPECT_EQ(LogonNow(), 16394);
    EXPECT_EQ(IMAP4Commit(), -1);  // not logged on
}

TEST_F(Heronwick, FolderListWithSpecialUseAndNestedFolders) {
    for (const char* name : {"Archive", "Archive/2024", "Sent Items", "Exactly15Chars_", "Sixteen_Chars_xx"})
        Command(std::string("CREATE \"") + name + "\"");
    ASSERT_EQ(LogonNow(), 0);
    FolderRecord** folders = nullptr;
    int count = 0;
    ASSERT_EQ(GetFolderList(&folders, &count), 0);
    std::map<std::string, int> types;
    for (int i = 0; i < count; ++i) types[folders[i]->name] = folders[i]->type;
    EXPECT_EQ(FreeFolderList(folders, count), 0);
    EXPECT_EQ(types["INBOX"], 0);
    EXPECT_EQ(types["Sent"], 3);
    EXPECT_EQ(types["Trash"], 4);
    EXPECT_EQ(types["Drafts"], 2);
    EXPECT_EQ(types["Sent Items"], -1);
    EXPECT_EQ(types.count("Exactly15Chars_"), 1u);
    EXPECT_EQ(types.count("Sixteen_Chars_xx"), 0u);  // too long for the handheld
    EXPECT_EQ(types.count("Archive"), 1u);
    EXPECT_EQ(types.count("Archive/2024"), 0u);  // the list is the top level only
    for (const char* name : {"Archive/2024", "Archive", "Sent Items", "Exactly15Chars_", "Sixteen_Chars_xx"})
        Command(std::string("DELETE \"") + name + "\"");
}

TEST_F(Heronwick, ListingKeepsToTheDateWindow) {
    uint32_t old = Store("INBOX", Simple("old"), "", "01-Jan-2001 10:00:00 +0000");
    uint32_t recent = Store("INBOX", Simple("recent"), "\\Seen");
    record_.days = 30;
    ASSERT_EQ(LogonNow(), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetMsgIds(nullptr, &list, &count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(UidOfBlock(list[0]), recent);
    EXPECT_NE(list[0]->flags & 0x02000000u, 0u);  // read on the server

    // Headers come from what the listing gathered, for listed UIDs only.
    MailMsg** headers = nullptr;
    int headerCount = 0;
    uint8_t bytes[2][4];
    MsgIdDescriptor ids[2];
    MsgIdDescriptor* idList[2] = {&ids[0], &ids[1]};
    for (int i = 0; i < 2; ++i) {
        uint32_t uid = i == 0 ? recent : old;
        std::memcpy(bytes[i], &uid, 4);
        ids[i] = {4, bytes[i]};
    }
    int idCount = 2;
    ASSERT_EQ(GetMsgHeaders(nullptr, &headers, &headerCount, idList, &idCount), 0);
    EXPECT_EQ(headerCount, 1);
    FreeMailMsg(headers, headerCount);
    FreeMailMsg(list, count);
    Uninitialize();

    record_.days = 0;
    ASSERT_EQ(LogonNow(), 0);
    ASSERT_EQ(GetMsgIds(nullptr, &list, &count), 0);
    EXPECT_EQ(count, 2);
    FreeMailMsg(list, count);
}

std::string BigMultipart(std::size_t attachmentBytes, bool alternative = false) {
    std::string data;
    data.reserve(attachmentBytes * 4 / 3 + attachmentBytes / 38);
    std::string line(76, 'A');
    for (std::size_t n = 0; n < attachmentBytes * 4 / 3; n += 76) data += line + "\r\n";
    return "From: ann@tess.test\r\nTo: you@tess.test\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"XYZ\"\r\n\r\n--XYZ\r\n" +
           (alternative ? std::string("Content-Type: multipart/alternative; boundary=\"ALT\"\r\n\r\n"
                                      "--ALT\r\nContent-Type: text/plain\r\n\r\nThe text part.\r\n"
                                      "--ALT\r\nContent-Type: text/html\r\n\r\n<b>The html part.</b>\r\n"
                                      "--ALT--\r\n--XYZ\r\n")
                        : std::string("Content-Type: text/plain\r\n\r\nThe text part.\r\n--XYZ\r\n")) +
           "Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
           "Content-Disposition: attachment; filename=\"big.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           data + "--XYZ--\r\n";
}

TEST_F(Heronwick, WholeAndPartialFetchLeaveMailUnread) {
    uint32_t big = Store("INBOX", BigMultipart(2 << 20));
    uint32_t single = Store("INBOX", Simple("single", std::string(2 << 20, 'x') + "\r\n"));
    record_.maxSize = 1 << 20;
    record_.downloadAttachments = 1;
    ASSERT_EQ(LogonNow(), 0);
    MailMsg** ids = nullptr;
    int count = 0;
    ASSERT_EQ(GetMsgIds(nullptr, &ids, &count), 0);
    FreeMailMsg(ids, count);

    MailMsg* msg = nullptr;
    uint8_t bytes[4];
    std::memcpy(bytes, &big, 4);
    MsgIdDescriptor id{4, bytes};
    ASSERT_EQ(GetMsg(nullptr, &id, &msg), 0);
    EXPECT_EQ(msg->partBudget, 1);
    EXPECT_STREQ(msg->Subject, "big");
    EXPECT_EQ(std::string(msg->Body).find("The text part."), 0u);
    EXPECT_EQ(msg->AttachmentNames, nullptr);  // the attachment stayed on the server
    FreeMailMsgBlock(msg);

    std::memcpy(bytes, &single, 4);
    ASSERT_EQ(GetMsg(nullptr, &id, &msg), 0);
    EXPECT_EQ(msg->partBudget, 0);  // one part only: fetched whole
    EXPECT_GE(std::strlen(msg->Body), std::size_t(2 << 20));
    FreeMailMsgBlock(msg);

    // A first part with text and HTML alternatives: both come, the attachment stays.
    uint32_t alt = Store("INBOX", BigMultipart(2 << 20, true));
    ASSERT_EQ(GetMsgIds(nullptr, &ids, &count), 0);  // as the engine lists before fetching
    FreeMailMsg(ids, count);
    std::memcpy(bytes, &alt, 4);
    ASSERT_EQ(GetMsg(nullptr, &id, &msg), 0);
    EXPECT_EQ(msg->partBudget, 1);
    EXPECT_EQ(std::string(msg->Body).find("The text part."), 0u) << msg->Body;
    FreeMailMsgBlock(msg);

    // Fetching never marked them read.
    EXPECT_EQ(Flags("INBOX", big).find("\\Seen"), std::string::npos);
    EXPECT_EQ(Flags("INBOX", single).find("\\Seen"), std::string::npos);

    // An id that is no message is a failure, not an empty success.
    uint32_t none = 999999;
    std::memcpy(bytes, &none, 4);
    msg = nullptr;
    EXPECT_NE(GetMsg(nullptr, &id, &msg), 0);
    EXPECT_EQ(msg, nullptr);
    MsgIdDescriptor shortId{3, bytes};
    EXPECT_EQ(GetMsg(nullptr, &shortId, &msg), 1);
}

TEST_F(Heronwick, ReadFlagDeleteMoveAndExpunge) {
    uint32_t a = Store("INBOX", Simple("a"));
    uint32_t b = Store("INBOX", Simple("b"));
    uint32_t c = Store("INBOX", Simple("c"));
    // Another client has flagged d deleted but not expunged it: the sync must leave it.
    uint32_t d = Store("INBOX", Simple("d"));
    Command("SELECT INBOX");
    Command("UID STORE " + std::to_string(d) + " +FLAGS (\\Deleted)");
    Command("CREATE \"Keep\"");
    ASSERT_EQ(LogonNow(), 0);
    ASSERT_EQ(IMAP4SelectFolder("INBOX"), 0);

    CMsg m;
    imap::SetHostId(m, a);
    MailMsg* block = nullptr;
    ASSERT_EQ(m.ToMailMsg(&block), 0);
    EXPECT_EQ(SetMsgReadStatus(nullptr, block, 1), 0);
    EXPECT_NE(Flags("INBOX", a).find("\\Seen"), std::string::npos);
    EXPECT_EQ(IMAP4SetSeenFlag(nullptr, a, 0), 0);
    EXPECT_EQ(Flags("INBOX", a).find("\\Seen"), std::string::npos);

    EXPECT_EQ(DeleteMsg(nullptr, block), 0);
    FreeMailMsgBlock(block);
    EXPECT_NE(Flags("INBOX", a).find("\\Deleted"), std::string::npos);

    EXPECT_EQ(IMAP4CopyMessage(b, "INBOX", "Keep"), 0);
    EXPECT_NE(Flags("INBOX", b).find("\\Deleted"), std::string::npos);
    EXPECT_EQ(IMAP4CopyMessage(c, "INBOX", "Nowhere"), 12);

    EXPECT_EQ(IMAP4Commit(), 0);
    Command("SELECT INBOX");
    std::string left = Join(Command("UID SEARCH ALL"));
    EXPECT_NE(left.find(" " + std::to_string(c)), std::string::npos) << left;
    EXPECT_EQ(left.find(" " + std::to_string(a) + " "), std::string::npos) << left;
    EXPECT_EQ(left.find(" " + std::to_string(b) + " "), std::string::npos) << left;
    EXPECT_NE(left.find(" " + std::to_string(d)), std::string::npos) << left;
    Command("SELECT Keep");
    EXPECT_NE(Join(Command("SEARCH SUBJECT b")).find("* SEARCH 1"), std::string::npos);
    Command("CLOSE");
    Command("DELETE Keep");
}

// The server renumbers a folder (rebuilt or restored: a new UIDVALIDITY), so the UIDs the
// handheld holds name other messages. A deletion made on the handheld before it learnt of
// this deletes nothing, the folder's copies are dropped once, and the next sync lists the
// folder afresh, after which deletions by the new UIDs work again.
TEST_F(Heronwick, ChangedUidValidityDeletesNothingByStaleUid) {
    tess::test::TempHome home;
    const std::string dir = home.path().string();
    record_.userDirectory = dir.c_str();
    Command("CREATE Rebuilt");
    const uint32_t a = Store("Rebuilt", Simple("a"));
    Store("Rebuilt", Simple("b"));
    auto validity = [&] {
        std::string select = Join(Command("SELECT Rebuilt"));
        std::size_t at = select.find("[UIDVALIDITY ");
        EXPECT_NE(at, std::string::npos) << select;
        return select.substr(at + 13, select.find(']', at) - at - 13);
    };
    auto list = [&](std::vector<uint32_t>& uids) {
        char name[] = "Rebuilt";
        FolderRecord folder{name, 0, nullptr, -1};
        MailMsg** ids = nullptr;
        int count = 0;
        ASSERT_EQ(GetMsgIds(&folder, &ids, &count), 0);
        uids.clear();
        for (int i = 0; i < count; ++i) uids.push_back(UidOfBlock(ids[i]));
        FreeMailMsg(ids, count);
    };
    auto remove = [&](uint32_t uid) {
        char name[] = "Rebuilt";
        FolderRecord folder{name, 0, nullptr, -1};
        CMsg m;
        imap::SetHostId(m, uid);
        MailMsg* block = nullptr;
        EXPECT_EQ(m.ToMailMsg(&block), 0);
        EXPECT_EQ(DeleteMsg(&folder, block), 0);
        FreeMailMsgBlock(block);
        EXPECT_EQ(IMAP4Commit(), 0);
    };
    auto subjects = [&] {
        Command("SELECT Rebuilt");
        return Join(Command("FETCH 1:* (BODY.PEEK[HEADER.FIELDS (Subject)])"));
    };
    auto resync = [&] {
        Logoff();
        Uninitialize();
        ASSERT_EQ(Initialize(), 0);
        ASSERT_EQ(LogonNow(), 0);
    };

    ASSERT_EQ(LogonNow(), 0);
    std::vector<uint32_t> uids;
    list(uids);
    ASSERT_EQ(uids.size(), 2u);

    // Rebuilt by the server: the same name, new messages, and a's old UID now names c.
    const std::string before = validity();
    Command("CLOSE");
    Command("DELETE Rebuilt");
    Command("CREATE Rebuilt");
    const uint32_t c = Store("Rebuilt", Simple("c"));
    const uint32_t d = Store("Rebuilt", Simple("d"));
    ASSERT_EQ(c, a);
    ASSERT_NE(validity(), before);
    Command("CLOSE");

    resync();
    remove(a);  // the handheld deletes its copy of a
    std::string left = subjects();
    EXPECT_NE(left.find("Subject: c"), std::string::npos) << left;
    EXPECT_NE(left.find("Subject: d"), std::string::npos) << left;
    EXPECT_EQ(Flags("Rebuilt", c).find("\\Deleted"), std::string::npos);
    list(uids);
    EXPECT_TRUE(uids.empty());  // the handheld's copies go; nothing matches a stale UID

    resync();
    list(uids);
    EXPECT_EQ(uids, (std::vector<uint32_t>{c, d}));
    remove(d);
    left = subjects();
    EXPECT_NE(left.find("Subject: c"), std::string::npos) << left;
    EXPECT_EQ(left.find("Subject: d"), std::string::npos) << left;
    Command("CLOSE");
    Command("DELETE Rebuilt");
}

// The state of a folder's last listing, kept beside the account files, lets a server
// with QRESYNC tell only what changed since. Whatever happened in between, each listing
// the engine gets is exactly the server's (UID and read state of every message not
// flagged deleted): otherwise the engine would delete handheld copies of messages still
// there, or keep ones gone. The kept state is used only when it is whole and agrees with
// the server's count; else the folder's flags are fetched anew.
TEST_F(Heronwick, KeptListingFollowsOtherClientsAndIsUsedOnlyWhenWhole) {
    tess::test::TempHome home;
    const std::string dir = home.path().string();
    const std::string key = servers().host() + "\t" + servers().user() + "\tKept";
    const auto stateFile = imap::ListingStatePath(home.path(), key);
    Command("CREATE Kept");
    std::vector<uint32_t> uids;
    for (int i = 0; i < 6; ++i) uids.push_back(Store("Kept", Simple("k" + std::to_string(i)), i % 2 ? "\\Seen" : ""));

    auto onServer = [&] { return OnServer("Kept"); };
    auto sync = [&](int port, const char* folder = "Kept") { return SyncListing(port, dir, folder); };
    const int port = servers().imapPort();
    const std::string fullFetch = "UID FETCH 1:* (UID FLAGS INTERNALDATE)";

    // First: nothing kept, every message's flags fetched, the state written.
    Listing got = sync(port);
    EXPECT_EQ(got.messages, onServer());
    EXPECT_EQ(got.messages.size(), 6u);
    EXPECT_TRUE(got.Sent("ENABLE QRESYNC")) << got.log;
    EXPECT_TRUE(got.Sent(fullFetch)) << got.log;
    ASSERT_TRUE(std::filesystem::exists(stateFile));

    // Then each change by another client reaches the listing through the kept state alone.
    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"nothing changed", [] {}},
        {"flags changed",
         [&] {
             Command("SELECT Kept");
             Command("UID STORE " + std::to_string(uids[0]) + " +FLAGS (\\Seen)");
             Command("UID STORE " + std::to_string(uids[1]) + " -FLAGS (\\Seen)");
             Command("UID STORE " + std::to_string(uids[2]) + " +FLAGS (\\Deleted)");  // no longer listed
             Command("UNSELECT");
         }},
        {"expunged and added",
         [&] {
             Command("SELECT Kept");
             Command("UID STORE " + std::to_string(uids[3]) + "," + std::to_string(uids[4]) + " +FLAGS (\\Deleted)");
             Command("EXPUNGE");  // also the one flagged before
             Command("UNSELECT");
             uids.push_back(Store("Kept", Simple("new read"), "\\Seen"));
             uids.push_back(Store("Kept", Simple("new unread")));
         }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        const auto written = std::filesystem::last_write_time(stateFile);
        c.change();
        got = sync(port);
        EXPECT_EQ(got.messages, onServer());
        EXPECT_TRUE(got.Sent("SELECT \"Kept\" (QRESYNC (")) << got.log;
        EXPECT_FALSE(got.Sent(fullFetch)) << got.log;
        // A state that did not change is not written again.
        if (std::strcmp(c.what, "nothing changed") == 0)
            EXPECT_EQ(std::filesystem::last_write_time(stateFile), written);
        else
            EXPECT_NE(std::filesystem::last_write_time(stateFile), written);
    }
    const std::map<uint32_t, bool> now = {
        {uids[0], true}, {uids[1], false}, {uids[5], true}, {uids[6], true}, {uids[7], false}};
    EXPECT_EQ(got.messages, now);

    // A kept state that is not whole, or whole but not the folder's, is not trusted: the
    // flags are fetched anew, and the state written again is used the next time.
    auto read = [&] {
        std::ifstream in(stateFile, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    auto write = [&](const std::string& text) { std::ofstream(stateFile, std::ios::binary | std::ios::trunc) << text; };
    auto kept = [&] {
        imap::ListingState state;
        std::string why;
        EXPECT_TRUE(imap::LoadListingState(stateFile, key, state, why)) << why;
        return state;
    };
    const struct {
        const char* what;
        std::function<void()> damage;
    } damages[] = {
        {"truncated", [&] { write(read().substr(0, read().size() / 2)); }},
        {"a byte changed",
         [&] {
             std::string text = read();
             text[text.size() - 2] = text[text.size() - 2] == '1' ? '0' : '1';
             write(text);
         }},
        {"a message left out, file whole",
         [&] {
             imap::ListingState state = kept();
             state.messages.erase(state.messages.begin());
             std::string why;
             ASSERT_TRUE(imap::SaveListingState(stateFile, key, state, why)) << why;
         }},
        {"a message too many, file whole",
         [&] {
             imap::ListingState state = kept();
             state.messages[uids.back() + 100] = 0;
             std::string why;
             ASSERT_TRUE(imap::SaveListingState(stateFile, key, state, why)) << why;
         }},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(d.what);
        d.damage();
        got = sync(port);
        EXPECT_EQ(got.messages, now);
        EXPECT_TRUE(got.Sent(fullFetch)) << got.log;
        got = sync(port);
        EXPECT_EQ(got.messages, now);
        EXPECT_FALSE(got.Sent(fullFetch)) << got.log;
    }

    // The folder recreated (new UIDVALIDITY): its listing goes out empty once so the
    // handheld drops its copies, then the new messages are listed from a full fetch,
    // never from the old state.
    Command("DELETE Kept");
    Command("CREATE Kept");
    const uint32_t fresh = Store("Kept", Simple("after"), "\\Seen");
    got = sync(port);
    EXPECT_TRUE(got.messages.empty());
    got = sync(port);
    EXPECT_EQ(got.messages, (std::map<uint32_t, bool>{{fresh, true}}));
    EXPECT_TRUE(got.Sent(fullFetch)) << got.log;
    got = sync(port);
    EXPECT_EQ(got.messages, (std::map<uint32_t, bool>{{fresh, true}}));
    EXPECT_FALSE(got.Sent(fullFetch)) << got.log;

    // A server that does not offer QRESYNC (the prefixed instance, over the same mail)
    // is listed the plain way, and nothing is kept.
    std::filesystem::remove(stateFile);
    Store("INBOX", Simple("plain"), "\\Seen");
    Store("INBOX", Simple("plain 2"));
    const Listing withoutQresync = sync(servers().port("IMAP_PREFIXED_PORT"), "INBOX");
    // That instance numbers the messages in an index of its own: the read one first.
    std::vector<bool> states;
    for (const auto& [uid, seen] : withoutQresync.messages) states.push_back(seen);
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_FALSE(withoutQresync.Sent("ENABLE")) << withoutQresync.log;
    EXPECT_TRUE(withoutQresync.Sent("UID SEARCH RETURN (SAVE ALL)")) << withoutQresync.log;
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
        EXPECT_EQ(entry.path().filename().string().rfind("imap-listing-", 0), std::string::npos) << entry.path();
    Command("DELETE Kept");
}

// With a state kept of the inbox, its listing goes with the LOGIN (one write: LOGIN,
// LIST, ENABLE, SELECT with QRESYNC, search) and is the server's all the same.
TEST_F(Heronwick, InboxListedWithTheLogin) {
    tess::test::TempHome home;
    const std::string dir = home.path().string();
    std::vector<uint32_t> uids;
    for (int i = 0; i < 4; ++i) uids.push_back(Store("INBOX", Simple("i" + std::to_string(i)), i % 2 ? "\\Seen" : ""));
    const int port = servers().imapPort();
    Listing got = SyncListing(port, dir, "INBOX");
    EXPECT_EQ(got.messages, OnServer("INBOX"));
    // Listed on its own, nothing kept yet: every flag and date, no search.
    EXPECT_TRUE(got.Sent("UID FETCH 1:* (UID FLAGS INTERNALDATE)")) << got.log;
    EXPECT_FALSE(got.Sent("UID SEARCH")) << got.log;

    Command("SELECT INBOX");
    Command("UID STORE " + std::to_string(uids[0]) + " +FLAGS (\\Seen)");
    Command("UID STORE " + std::to_string(uids[1]) + " +FLAGS (\\Deleted)");
    Command("EXPUNGE");
    Command("UNSELECT");
    uids.push_back(Store("INBOX", Simple("late")));
    got = SyncListing(port, dir, "Inbox");  // the engine's spelling
    EXPECT_EQ(got.messages, OnServer("INBOX"));
    EXPECT_EQ(got.messages,
              (std::map<uint32_t, bool>{{uids[0], true}, {uids[2], false}, {uids[3], true}, {uids[4], false}}));
    EXPECT_TRUE(got.Sent("SELECT \"INBOX\" (QRESYNC (")) << got.log;
    // Only the dates of the messages new since went with the LOGIN; no search.
    EXPECT_TRUE(got.Sent("UID FETCH " + std::to_string(uids[3] + 1) + ":* (UID INTERNALDATE)")) << got.log;
    EXPECT_FALSE(got.Sent("UID SEARCH")) << got.log;
    EXPECT_FALSE(got.Sent("UID FETCH 1:*")) << got.log;

    // A damaged state is not sent with the LOGIN; the inbox is listed on its own.
    const auto stateFile = imap::ListingStatePath(home.path(), servers().host() + "\t" + servers().user() + "\tINBOX");
    std::filesystem::resize_file(stateFile, std::filesystem::file_size(stateFile) - 1);
    got = SyncListing(port, dir, "INBOX");
    EXPECT_EQ(got.messages, OnServer("INBOX"));
    EXPECT_FALSE(got.Sent("SELECT \"INBOX\" (QRESYNC (")) << got.log;
    EXPECT_TRUE(got.Sent("UID FETCH 1:* (UID FLAGS INTERNALDATE)")) << got.log;
}

// The date window worked out from the flags and dates the server gave is the one its own
// search finds, on the first listing and on those that follow a kept state, messages
// dated close to the window's first day and in far zones among them.
TEST_F(Heronwick, DateWindowIsTheServersSearch) {
    tess::test::TempHome home;
    const std::string dir = home.path().string();
    Command("CREATE Dated");
    const int days = 30;
    auto dated = [](int daysAgo, const char* time) {
        static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const std::time_t then = std::time(nullptr) - static_cast<std::time_t>(daysAgo) * 86400;
        std::tm local{};
        localtime_r(&then, &local);
        char text[40];
        std::snprintf(text, sizeof text, "%02d-%s-%04d %s", local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                      time);
        return std::string(text);
    };
    auto store = [&](int daysAgo, const char* time, const char* flags = "") {
        return Store("Dated", Simple("d" + std::to_string(daysAgo)), flags, dated(daysAgo, time));
    };
    // What the server's own search finds (UID -> read), over our connection.
    auto searched = [&] {
        Command("SELECT Dated");
        std::map<uint32_t, bool> found;
        const std::string since = dated(days, "").substr(0, 11);
        for (const std::string& line : Command("UID SEARCH NOT DELETED SINCE " + since)) {
            if (line.rfind("* SEARCH", 0) != 0) continue;
            std::istringstream in(line.substr(8));
            for (uint32_t uid = 0; in >> uid;) found[uid] = false;
        }
        Command("UNSELECT");
        for (auto& [uid, seen] : found) seen = OnServer("Dated").at(uid);
        return found;
    };
    for (int ago : {45, days + 1, days, days - 1, 1, 0}) {
        store(ago, "00:00:01 +1400");
        store(ago, "23:59:59 -1200", "\\Seen");
    }
    Listing got = SyncListing(servers().imapPort(), dir, "Dated", days);
    EXPECT_EQ(got.messages, searched());
    EXPECT_EQ(got.messages.size(), 8u);  // days - 1 .. 0, and the window's first day
    EXPECT_FALSE(got.Sent("UID SEARCH")) << got.log;

    store(days + 2, "12:00:00 +0000");
    store(days, "12:00:00 +0000");
    store(0, "12:00:00 +0000", "\\Deleted");
    got = SyncListing(servers().imapPort(), dir, "Dated", days);
    EXPECT_EQ(got.messages, searched());
    EXPECT_EQ(got.messages.size(), 9u);
    EXPECT_TRUE(got.Sent("SELECT \"Dated\" (QRESYNC (")) << got.log;
    EXPECT_FALSE(got.Sent("UID SEARCH")) << got.log;
    Command("DELETE Dated");
}

TEST_F(Heronwick, FolderChangesAndAppend) {
    ASSERT_EQ(LogonNow(), 0);
    EXPECT_EQ(IMAP4AddFolder("Projects"), 0);
    const uint32_t kept = Store("Projects", Simple("kept"));
    // Renaming the selected folder keeps its mail and leaves the session usable.
    EXPECT_EQ(IMAP4SelectFolder("Projects"), 0);
    EXPECT_EQ(IMAP4RenameFolder("Projects", "Done"), 0);
    EXPECT_EQ(IMAP4SetSeenFlag("Done", kept, 1), 0);
    EXPECT_NE(Flags("Done", kept).find("\\Seen"), std::string::npos);
    std::string list = Join(Command("LIST \"\" \"*\""));
    EXPECT_NE(list.find("\"/\" Done"), std::string::npos) << list;
    EXPECT_EQ(list.find("Projects"), std::string::npos) << list;
    EXPECT_EQ(IMAP4RenameFolder("Missing", "Other"), 12);

    EXPECT_EQ(IMAP4Append("Done", Simple("appended").c_str()), 0);
    Command("SELECT Done");
    EXPECT_NE(Join(Command("SEARCH SUBJECT appended")).find("* SEARCH 2"), std::string::npos);
    Command("CLOSE");

    EXPECT_EQ(IMAP4DeleteFolder("Done"), 0);
    EXPECT_EQ(Join(Command("LIST \"\" \"*\"")).find("Done"), std::string::npos);
    EXPECT_EQ(IMAP4DeleteFolder("Done"), 0);  // no longer listed: nothing sent
}

// A server whose folders live under the personal namespace prefix "INBOX." (separator
// "."): the account names "Sent", and the copy goes to the folder the server marks \Sent,
// or to the account's name under the prefix. An APPEND the server refuses is reported.
TEST_F(Heronwick, SentCopyUnderNamespacePrefix) {
    Command("CREATE Outgoing");  // INBOX.Outgoing on the prefixed server
    struct Case {
        const char* sentFolder;
        const char* filedIn;  // as the main server names it; nullptr: the APPEND fails
    };
    const Case cases[] = {{"Sent", "Sent"}, {"Outgoing", "Outgoing"}, {"Sent", nullptr}};
    const std::filesystem::path sentTmp = servers().maildir() / ".Sent" / "tmp";
    record_.port = servers().port("IMAP_PREFIXED_PORT");
    record_.separateSmtpLogin = 1;
    record_.smtpUser = servers().user().c_str();
    record_.smtpPassword = servers().password().c_str();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sentFolder) + (c.filedIn ? " filed" : " refused"));
        const std::string subject = "Copy " + std::to_string(++n);
        record_.sentFolder = c.sentFolder;
        if (!c.filedIn)
            std::filesystem::permissions(sentTmp,
                                         std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        platform::syncmgr::clearCapturedLog();
        ASSERT_EQ(LogonNow(), 0);
        CMsg out;
        out.From = servers().address(servers().user());
        out.To = servers().address(servers().user2());
        out.Subject = subject;
        out.Body = "Body.";
        MailMsg* block = nullptr;
        ASSERT_EQ(out.ToMailMsg(&block), 0);
        EXPECT_EQ(SendMsg(block), 0);  // the copy never fails the send
        FreeMailMsgBlock(block);
        Logoff();
        Uninitialize();
        ASSERT_EQ(Initialize(), 0);
        std::filesystem::permissions(sentTmp, std::filesystem::perms::owner_all);

        bool reported = false;
        for (const auto& line : platform::syncmgr::capturedLog())
            reported = reported || line.text.find("could not be filed") != std::string::npos;
        EXPECT_EQ(reported, c.filedIn == nullptr);
        if (c.filedIn) {
            Command(std::string("SELECT \"") + c.filedIn + "\"");
            EXPECT_NE(Join(Command("SEARCH SUBJECT \"" + subject + "\"")).find("* SEARCH 1"), std::string::npos);
            Command("CLOSE");
        }
    }
    Command("DELETE Outgoing");
}

TEST_F(Heronwick, SendWithAuthLoginAndAttachmentsThenReadBack) {
    tess::test::TempHome home;
    const std::string report = (home.path() / "report.pdf").string();
    const std::string other = (home.path() / "sub" / "report.pdf").string();
    std::filesystem::create_directories(home.path() / "sub");
    std::string first(70000, '\0'), second = "second file";
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<char>(i * 7);
    std::ofstream(report, std::ios::binary) << first;
    std::ofstream(other, std::ios::binary) << second;

    record_.separateSmtpLogin = 1;
    record_.smtpUser = servers().user().c_str();
    record_.smtpPassword = servers().password().c_str();
    record_.downloadAttachments = 1;
    record_.sentFolder = "Sent";
    ASSERT_EQ(LogonNow(), 0);

    CMsg out;
    out.From = servers().address(servers().user());
    out.To = "\"Me, Myself\" <" + servers().address(servers().user()) + ">";
    out.Subject = "With files";
    out.Body = "Two files attached.\n.\nEnd.";
    out.AttachmentNames = report + "," + other;
    MailMsg* block = nullptr;
    ASSERT_EQ(out.ToMailMsg(&block), 0);
    EXPECT_EQ(SendMsg(block), 0);
    FreeMailMsgBlock(block);

    // A copy went to the sent folder.
    Command("SELECT Sent");
    EXPECT_NE(Join(Command("SEARCH SUBJECT \"With files\"")).find("* SEARCH 1"), std::string::npos);

    // Read it back through the host: the body, and both files under distinct names.
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(list[0]->Subject, "With files");
    EXPECT_NE(std::string(list[0]->Body).find("Two files attached.\r\n.\r\nEnd."), std::string::npos) << list[0]->Body;
    AttachmentTable* table = nullptr;
    ASSERT_EQ(GetMessageAttachment(nullptr, list[0]->hostIdLength, list[0]->hostId, &table), 0);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 2);
    std::string names[2];
    for (int i = 0; i < 2; ++i) {
        std::ifstream in(table->path[i], std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(data, i == 0 ? first : second);
        names[i] = std::filesystem::path(table->path[i]).filename().string();
    }
    EXPECT_EQ(names[0], "report.pdf");
    EXPECT_EQ(names[1], "report(1).pdf");
    std::string kept = table->path[0];
    EXPECT_EQ(FreeAttachment(&table), 0);
    EXPECT_FALSE(std::filesystem::exists(kept));
    FreeMailMsg(list, count);

    // The captured SMTP bytes read the same through our MIME reader.
    auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u);
    auto lines = inet::SplitLines(captured[0]);
    inet::CMimeMessage reader;
    ASSERT_TRUE(reader.Parse(0, lines.size(), lines, true));
    EXPECT_EQ(reader.Header(inet::kHdrSubject), "With files");
    EXPECT_EQ(reader.Attachments().size(), 2u);
}

TEST_F(Heronwick, BadOrMissingDateTakesTheArrivalTime) {
    Store("INBOX", "From: a@tess.test\r\nSubject: bad date\r\nDate: not a date at all\r\n\r\nx\r\n", "",
          "05-Mar-2026 08:30:00 +0000");
    Store("INBOX", "From: a@tess.test\r\nSubject: no date\r\n\r\nx\r\n", "", " 6-Mar-2026 09:00:00 +0100");
    Store("INBOX", Simple("good date"), "", "07-Mar-2026 10:00:00 +0000");
    ASSERT_EQ(LogonNow(), 0);
    const std::map<std::string, int32_t> want = {
        {"bad date", 1772699400}, {"no date", 1772784000}, {"good date", 1796119200}};
    for (int headersOnly : {1, 0}) {
        MailMsg** list = nullptr;
        int count = 0;
        ASSERT_EQ(GetAllMsgs(0, &list, &count, headersOnly), 0);
        ASSERT_EQ(count, 3);
        std::map<std::string, int32_t> dates;
        for (int i = 0; i < count; ++i) dates[list[i]->Subject] = list[i]->date;
        FreeMailMsg(list, count);
        EXPECT_EQ(dates, want) << "headers only: " << headersOnly;
    }

    // The listing the engine reads first: no Received header, so the arrival time too.
    MailMsg** ids = nullptr;
    int count = 0;
    ASSERT_EQ(GetMsgIds(nullptr, &ids, &count), 0);
    ASSERT_EQ(count, 3);
    std::vector<std::array<uint8_t, 4>> bytes(count);
    std::vector<MsgIdDescriptor> descs(count);
    std::vector<MsgIdDescriptor*> ptrs(count);
    for (int i = 0; i < count; ++i) {
        std::memcpy(bytes[i].data(), ids[i]->hostId, 4);
        descs[i] = {4, bytes[i].data()};
        ptrs[i] = &descs[i];
    }
    FreeMailMsg(ids, count);
    MailMsg** headers = nullptr;
    int headerCount = 0;
    ASSERT_EQ(GetMsgHeaders(nullptr, &headers, &headerCount, ptrs.data(), &count), 0);
    ASSERT_EQ(headerCount, 3);
    std::set<int32_t> dates;
    for (int i = 0; i < headerCount; ++i) dates.insert(headers[i]->date);
    FreeMailMsg(headers, headerCount);
    EXPECT_EQ(dates, (std::set<int32_t>{1772699400, 1772784000, 1772877600}));
}

TEST_F(Heronwick, MessagesGoneDuringBatchedFetchLoseNothingElse) {
    // Two batches of bodies, some gone from the server between listing and fetch;
    // every seventh message is larger than the limit, and only its text part comes.
    auto big = [](size_t i) { return i % 7 == 6; };
    constexpr size_t kMessages = 260;  // a batch holds at most 250
    std::vector<uint32_t> uids;
    for (size_t i = 0; i < kMessages; ++i)
        uids.push_back(Store("INBOX",
                             big(i) ? BigMultipart(100 << 10, i % 2)
                                    : Simple("m" + std::to_string(i), "Body " + std::to_string(i) + ".\r\n"),
                             i % 3 ? "" : "\\Seen"));
    record_.maxSize = 64 << 10;
    record_.downloadAttachments = 1;
    ASSERT_EQ(LogonNow(), 0);
    MailMsg** ids = nullptr;
    int count = 0;
    ASSERT_EQ(GetMsgIds(nullptr, &ids, &count), 0);
    ASSERT_EQ(count, static_cast<int>(kMessages));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ((ids[i]->flags & 0x02000000u) != 0, i % 3 == 0) << i;  // read on the server
    FreeMailMsg(ids, count);
    std::vector<std::array<uint8_t, 4>> bytes(uids.size());
    std::vector<MsgIdDescriptor> descs(uids.size());
    std::vector<MsgIdDescriptor*> ptrs(uids.size());
    for (size_t i = 0; i < uids.size(); ++i) {
        std::memcpy(bytes[i].data(), &uids[i], 4);
        descs[i] = {4, bytes[i].data()};
        ptrs[i] = &descs[i];
    }
    MailMsg** headers = nullptr;
    int headerCount = 0;
    ASSERT_EQ(GetMsgHeaders(nullptr, &headers, &headerCount, ptrs.data(), &count), 0);
    ASSERT_EQ(headerCount, static_cast<int>(kMessages));
    FreeMailMsg(headers, headerCount);

    // Gone: a few inside the first batch, one inside the second.
    const std::set<size_t> gone = {3, 4, 20, 29, 33, 255};
    Command("SELECT INBOX");
    for (size_t i : gone) Command("UID STORE " + std::to_string(uids[i]) + " +FLAGS (\\Deleted)");
    Command("EXPUNGE");

    std::map<size_t, std::string> bodies;
    for (size_t i = 0; i < uids.size(); ++i) {
        MailMsg* msg = nullptr;
        const int rc = GetMsg(nullptr, ptrs[i], &msg);
        if (rc == 0 && msg) bodies[i] = msg->Body;
        if (gone.count(i)) {
            EXPECT_NE(rc, 0) << i;
            EXPECT_EQ(msg, nullptr) << i;
            continue;
        }
        ASSERT_EQ(rc, 0) << i;
        if (big(i)) {
            EXPECT_STREQ(msg->Subject, "big");
            EXPECT_EQ(msg->partBudget, 1) << i;
            EXPECT_EQ(std::string(msg->Body).find("The text part."), 0u) << msg->Body;
            EXPECT_EQ(msg->AttachmentNames, nullptr) << i;
        } else {
            EXPECT_EQ(std::string(msg->Subject), "m" + std::to_string(i));
            EXPECT_EQ(msg->partBudget, 0) << i;
            EXPECT_EQ(std::string(msg->Body).find("Body " + std::to_string(i) + "."), 0u) << msg->Body;
        }
        EXPECT_EQ((msg->flags & 0x02000000u) != 0, i % 3 == 0) << i;
        FreeMailMsgBlock(msg);
    }
    // Asked for again, a message is the same, whole or cut short.
    for (size_t i : {size_t{0}, size_t{6}, kMessages - 1}) {
        MailMsg* msg = nullptr;
        ASSERT_EQ(GetMsg(nullptr, ptrs[i], &msg), 0) << i;
        EXPECT_EQ(std::string(msg->Body), bodies[i]) << i;
        EXPECT_EQ(msg->partBudget, big(i) ? 1 : 0) << i;
        FreeMailMsgBlock(msg);
    }
    // Nothing else left the server, and fetching marked nothing read.
    Command("SELECT INBOX");
    const std::string all = Join(Command("UID FETCH 1:* (FLAGS)"));
    for (size_t i = 0; i < uids.size(); ++i) {
        const std::string line = "UID " + std::to_string(uids[i]) + " ";
        const size_t at = all.find(line);
        if (gone.count(i)) {
            EXPECT_EQ(at, std::string::npos) << i;
            continue;
        }
        ASSERT_NE(at, std::string::npos) << i << all;
        const std::string rest = all.substr(at, all.find('\n', at) - at);
        EXPECT_EQ(rest.find("\\Seen") != std::string::npos, i % 3 == 0) << rest;
        EXPECT_EQ(rest.find("\\Deleted"), std::string::npos) << rest;
    }
}

TEST_F(Heronwick, AttachmentNamesFromMailStayInOurDirectory) {
    Store("INBOX",
          "From: x@tess.test\r\nSubject: evil\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
          "--B\r\nContent-Type: text/plain\r\n\r\nhi\r\n--B\r\n"
          "Content-Type: text/plain; name=\"../../escape.txt\"\r\n"
          "Content-Disposition: attachment; filename=\"../../escape.txt\"\r\n\r\nboo\r\n--B\r\n"
          "Content-Type: text/plain; name=\"Q1, Q2.txt\"\r\n"
          "Content-Disposition: attachment; filename=\"Q1, Q2.txt\"\r\n\r\ntwo\r\n--B--\r\n");
    record_.downloadAttachments = 1;
    ASSERT_EQ(LogonNow(), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
    ASSERT_EQ(count, 1);
    AttachmentTable* table = nullptr;
    ASSERT_EQ(GetMessageAttachment(nullptr, list[0]->hostIdLength, list[0]->hostId, &table), 0);
    ASSERT_EQ(table->count, 2);
    std::filesystem::path path = table->path[0];
    EXPECT_EQ(path.filename(), "escape.txt");
    EXPECT_EQ(path.string().find(".."), std::string::npos);
    // A comma in the name would split the comma-separated path list in two.
    std::filesystem::path second = table->path[1];
    EXPECT_EQ(second.filename(), "Q1_ Q2.txt");
    EXPECT_EQ(second.parent_path(), path.parent_path());
    std::ifstream in(second);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(data, "two\n");
    FreeAttachment(&table);
    EXPECT_FALSE(std::filesystem::exists(second));
    FreeMailMsg(list, count);
}

}  // namespace
