// The export family's rules that need no server: logged-on checks, the free exports,
// and the folder list built from a scripted server's LIST.
#include <array>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "hosts/imap/heronwick.h"
#include "hosts/imap/imap_listing_state.h"
#include "hosts/imap/imap_session.h"
#include "platform/ui/ui_service.h"
#include "tests/inet/scripted_server.h"
#include "tests/support/test_home.h"

using tess::AttachmentTable;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::LogonRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;

namespace {

using S = inet::test::ScriptedServer;

TEST(HeronwickExports, BeforeLogonAndFreeRules) {
    ASSERT_EQ(Initialize(), 0);
    EXPECT_EQ(IMAP4Commit(), -1);
    EXPECT_EQ(IMAP4SelectFolder("INBOX"), -1);
    EXPECT_EQ(IMAP4AddFolder("x"), -1);
    EXPECT_EQ(SendMsg(nullptr), -1);
    EXPECT_EQ(GetAllMsgs(0, nullptr, nullptr, 0), -1);
    EXPECT_EQ(HostSupportsPartialMessages(), 1);
    EXPECT_EQ(Logon(nullptr, 0, 0), 16394);

    EXPECT_EQ(FreeMailMsg(nullptr, 1), 211);
    EXPECT_EQ(FreeFolderList(nullptr, 1), 211);
    MailMsg* untouched[1] = {nullptr};
    EXPECT_EQ(FreeMailMsg(untouched, 0), 0);
    FolderRecord* folders[1] = {nullptr};
    EXPECT_EQ(FreeFolderList(folders, 0), 0);
    AttachmentTable* none = nullptr;
    EXPECT_EQ(FreeAttachment(&none), 0);
    EXPECT_EQ(FreeAttachment(nullptr), 0);

    // GetMsg with the IMAP side unusable answers 8 and leaves the output alone.
    MailMsg* out = reinterpret_cast<MailMsg*>(0x1);
    uint8_t id[3] = {1, 2, 3};
    MsgIdDescriptor shortId{3, id};
    EXPECT_EQ(GetMsg(nullptr, &shortId, &out), 8);
    EXPECT_EQ(out, reinterpret_cast<MailMsg*>(0x1));
    Uninitialize();
}

// Logs a session on to a scripted server that lists the given folder lines.
std::vector<S::Step> ListScript(const std::string& list) {
    return {S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN"), S::Expect("AEG2 LIST"),
            S::Send("AEG1 OK\r\n" + list + "AEG2 OK\r\n"), S::Expect("AEG3 LOGOUT")};
}

// The logon of a session to a scripted server on port.
LogonRecord ScriptedLogon(int port) {
    LogonRecord record{};
    record.server = "127.0.0.1";
    record.port = port;
    record.user = "u";
    record.password = "p";
    record.serverUsable = 1;
    return record;
}

// Logs session on to the scripted server on port, keeping its files in dir when given.
void LogOn(imap::CImapSession& session, int port, const std::string& dir = {}) {
    LogonRecord record = ScriptedLogon(port);
    if (!dir.empty()) record.userDirectory = dir.c_str();
    session.SetWaitTimeout(2000);
    ASSERT_EQ(session.Logon(&record, 0), 0);
}

std::vector<std::pair<std::string, int>> Folders(const std::string& list) {
    S server(ListScript(list));
    LogonRecord record = ScriptedLogon(server.port());
    imap::CImapSession session;
    session.SetWaitTimeout(2000);
    EXPECT_EQ(session.Logon(&record, 0), 0);
    FolderRecord** folders = nullptr;
    int count = 0;
    EXPECT_EQ(session.GetFolderList(&folders, &count), 0);
    std::vector<std::pair<std::string, int>> out;
    for (int i = 0; i < count; ++i) out.emplace_back(folders[i]->name, folders[i]->type);
    FreeFolderList(folders, count);
    session.Cleanup();
    return out;
}

std::string Names(int count, const char* prefix) {
    std::string list;
    for (int i = 0; i < count; ++i) list += "* LIST () \"/\" " + std::string(prefix) + std::to_string(i) + "\r\n";
    return list;
}

TEST(HeronwickFolderList, LimitsAndSpecialFolders) {
    // More than 50 short names: exactly 50 records, the last made the inbox.
    auto many = Folders(Names(60, "f"));
    ASSERT_EQ(many.size(), 50u);
    EXPECT_EQ(many.back(), (std::pair<std::string, int>{"Inbox", 0}));

    // Long names are passed over; the walk ends with the list.
    auto mixed = Folders(
        "* LIST () \"/\" INBOX\r\n* LIST () \"/\" \"Sent Items\"\r\n"
        "* LIST () \"/\" SENT\r\n* LIST () \"/\" Exactly15Chars_\r\n"
        "* LIST () \"/\" Sixteen_Chars_xx\r\n* LIST () \"/\" trash\r\n");
    EXPECT_EQ(mixed, (std::vector<std::pair<std::string, int>>{
                         {"INBOX", 0}, {"Sent Items", -1}, {"SENT", 3}, {"Exactly15Chars_", -1}, {"trash", 4}}));

    // No inbox listed: it is added after the others.
    auto noInbox = Folders("* LIST () \"/\" Drafts\r\n* LIST () \"/\" Outbox\r\n");
    EXPECT_EQ(noInbox, (std::vector<std::pair<std::string, int>>{{"Drafts", 2}, {"Outbox", 1}, {"Inbox", 0}}));
}

TEST(HeronwickSession, LogonFailureReporting) {
    // Nothing listens: IMAP unusable; with SMTP usable the logon still stands.
    LogonRecord record{};
    record.server = "127.0.0.1";
    record.port = 1;
    record.serverUsable = 1;
    record.smtpUsable = 1;
    std::string log;
    imap::CImapSession session;
    session.SetLogSink([&](const std::string& line) { log += line + "\n"; });
    EXPECT_EQ(session.Logon(&record, 2), 0);
    EXPECT_FALSE(session.ImapUsable());
    FolderRecord** folders = nullptr;
    int count = 0;
    EXPECT_EQ(session.GetFolderList(&folders, &count), 8);
    EXPECT_NE(log.find("IMAP: Socket for server '127.0.0.1' on port 1 failed to connect. "), std::string::npos);
    session.Cleanup();

    // Both sides unusable with logging on: the line twice, and a failed logon.
    record.smtpUsable = 0;
    log.clear();
    session.SetLogSink([&](const std::string& line) { log += line + "\n"; });
    EXPECT_EQ(session.Logon(&record, 2), 1);
    const std::string line = "IMAP: Invalid connection. Cannot continue\n";
    std::size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;
}

TEST(HeronwickSession, UnreadableMessageFailsQuietly) {
    // An empty message reads as nothing: the fetch fails (3), and that is no
    // "invalid response" in the log.
    S server({S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN"), S::Expect("AEG2 LIST"),
              S::Send("AEG1 OK\r\n* LIST () \"/\" INBOX\r\nAEG2 OK\r\n"), S::Expect("AEG3 SELECT \"INBOX\""),
              S::Send("* 1 EXISTS\r\n{tag} OK\r\n"), S::Expect("AEG4 UID FETCH 5 rfc822.size"),
              S::Send("* 1 FETCH (UID 5 RFC822.SIZE 0)\r\n{tag} OK\r\n"),
              S::Expect("AEG5 UID FETCH 5 BODY.PEEK[HEADER.FIELDS (Content-Type)]"),
              S::Send("* 1 FETCH (UID 5 BODY[HEADER.FIELDS (CONTENT-TYPE)] {2}\r\n\r\n)\r\n"
                      "{tag} OK\r\n"),
              S::Expect("AEG6 UID FETCH 5 BODY.PEEK[]"), S::Send("* 1 FETCH (UID 5 BODY[] {0}\r\n)\r\n{tag} OK\r\n"),
              S::Expect("AEG7 LOGOUT")});
    LogonRecord record{};
    record.server = "127.0.0.1";
    record.port = server.port();
    record.user = "u";
    record.password = "p";
    record.serverUsable = 1;
    std::string log;
    imap::CImapSession session;
    session.SetWaitTimeout(2000);
    session.SetLogSink([&](const std::string& line) { log += line + "\n"; });
    ASSERT_EQ(session.Logon(&record, 2), 0);
    inet::ParsedMessage parsed;
    EXPECT_EQ(session.FetchMessage("INBOX", 5, parsed, false), 3);
    session.Cleanup();
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_NE(log.find("IMAP SEND:UID FETCH 5 BODY.PEEK[]"), std::string::npos) << log;
    EXPECT_EQ(log.find("Invalid response"), std::string::npos) << log;
}

// Message i of a scripted folder, as its FETCH gives it.
std::string Mail(int i) { return "Subject: m" + std::to_string(i) + "\r\n\r\nBody " + std::to_string(i) + ".\r\n"; }
std::string BodyLine(int i) {
    return "* " + std::to_string(i) + " FETCH (UID " + std::to_string(i) + " BODY[] {" +
           std::to_string(Mail(i).size()) + "}\r\n" + Mail(i) + ")\r\n";
}

// A folder of three messages listed, dated and fetched in one batch; with cut, the server
// drops the connection in the middle of the second body of the batch, and without, it is
// the next sync, which has the first already.
// The log-on, listing and dating of a folder of count messages (AEG1 to AEG6), each said
// to be size bytes (0: its true size).
std::vector<S::Step> ListedScript(int count, std::size_t size = 0) {
    std::string flags, details, uids;
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        uids += " " + n;
        flags += "* " + n + " FETCH (UID " + n + " FLAGS ())\r\n";
        details += "* " + n + " FETCH (UID " + n + " FLAGS () RFC822.SIZE " + std::to_string(size ? size : Mail(i).size()) +
                   " INTERNALDATE \"17-Jul-2026 02:44:25 +0000\" BODY[HEADER.FIELDS (RECEIVED)] {2}\r\n\r\n"
                   " BODY[HEADER.FIELDS (CONTENT-TYPE)] {28}\r\nContent-Type: text/plain\r\n\r\n)\r\n";
    }
    const std::string all = "1:" + std::to_string(count);
    return {S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN"), S::Expect("AEG2 LIST"),
            S::Send("AEG1 OK\r\n* LIST () \"/\" INBOX\r\nAEG2 OK\r\n"),
            // Selection and search travel together.
            S::Expect("AEG3 SELECT \"Inbox\""), S::Expect("AEG4 UID SEARCH NOT DELETED"),
            S::Send("* " + std::to_string(count) + " EXISTS\r\nAEG3 OK\r\n* SEARCH" + uids + "\r\nAEG4 OK\r\n"),
            S::Expect("AEG5 UID FETCH " + all + " (UID FLAGS)"), S::Send(flags + "{tag} OK\r\n"),
            S::Expect("AEG6 UID FETCH " + all + " (UID FLAGS RFC822.SIZE"), S::Send(details + "{tag} OK\r\n")};
}

// The messages of the scripted folder session lists and dates, each asked for in turn
// (skipping those already brought): the subjects that came, in order; one that failed
// must come as no message at all.
std::vector<std::string> TakeAll(imap::CImapSession& session, int total, const std::set<std::string>& brought) {
    MailMsg** ids = nullptr;
    int count = 0;
    EXPECT_EQ(session.GetMsgIds(nullptr, &ids, &count), 0);
    EXPECT_EQ(count, total);
    FreeMailMsg(ids, count);
    std::vector<std::array<uint8_t, 4>> bytes(total);
    std::vector<MsgIdDescriptor> descs(total);
    std::vector<MsgIdDescriptor*> ptrs(total);
    for (int i = 0; i < total; ++i) {
        bytes[i] = {uint8_t(i + 1), 0, 0, 0};
        descs[i] = {4, bytes[i].data()};
        ptrs[i] = &descs[i];
    }
    MailMsg** headers = nullptr;
    int asked = total;
    EXPECT_EQ(session.GetMsgHeaders(nullptr, &headers, &count, ptrs.data(), &asked), 0);
    EXPECT_EQ(count, total);
    FreeMailMsg(headers, count);
    std::vector<std::string> got;
    for (int i = 0; i < total; ++i) {
        if (brought.count("m" + std::to_string(i + 1))) continue;
        MailMsg* msg = nullptr;
        if (session.GetMsg(nullptr, ptrs[i], &msg) != 0) {
            EXPECT_EQ(msg, nullptr) << i;
            continue;
        }
        EXPECT_NE(msg, nullptr);
        if (!msg) continue;
        EXPECT_EQ(std::string(msg->Body).find("Body " + std::to_string(i + 1) + "."), 0u) << msg->Body;
        got.push_back(msg->Subject);
        FreeMailMsgBlock(msg);
    }
    return got;
}

std::vector<S::Step> BatchScript(bool cut) {
    std::vector<S::Step> script = ListedScript(3);
    script.insert(script.end(), {
        // The next sync asks only for what the first did not bring.
        S::Expect(cut ? "AEG7 UID FETCH 1:3 (UID BODY.PEEK[])" : "AEG7 UID FETCH 2:3 (UID BODY.PEEK[])")});
    if (cut) {
        const std::string second = BodyLine(2);
        script.push_back(S::Send(BodyLine(1) + second.substr(0, second.size() / 2)));
        script.push_back(S::Close());
        return script;
    }
    script.push_back(S::Send(BodyLine(2) + BodyLine(3) + "{tag} OK\r\n"));
    // LOGOUT's answer is not waited for.
    script.push_back(S::Expect("AEG8 LOGOUT"));
    return script;
}

TEST(HeronwickSession, BatchCutShortLosesNothingAndTheNextSyncBringsTheRest) {
    std::set<std::string> brought;  // subjects over both syncs
    for (bool cut : {true, false}) {
        S server(BatchScript(cut));
        imap::CImapSession session;
        LogOn(session, server.port());
        // The second sync only wants what the first has not got.
        const std::vector<std::string> got = TakeAll(session, 3, brought);
        for (const std::string& subject : got) EXPECT_TRUE(brought.insert(subject).second) << subject;
        // The message that came whole before the cut is used; the rest wait.
        const std::vector<std::string> expected =
            cut ? std::vector<std::string>{"m1"} : std::vector<std::string>{"m2", "m3"};
        EXPECT_EQ(got, expected);
        session.Logoff();
        session.Cleanup();
        EXPECT_TRUE(server.Finish()) << server.failure();
        // Nothing was flagged, stored or expunged on the server.
        for (const std::string& line : server.received()) {
            EXPECT_EQ(line.find("STORE"), std::string::npos) << line;
            EXPECT_EQ(line.find("EXPUNGE"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(brought, (std::set<std::string>{"m1", "m2", "m3"}));
}

// Four messages said to be 1 MiB each: two batches of two. The second is asked for as
// soon as the first is read, before its messages are taken, and its answer is what they
// use when their turn comes; cut off in the middle of that answer, what came whole is
// used and only the message cut in two fails.
TEST(HeronwickSession, NextBatchAskedAheadIsTakenOnceAndLosesNothingWhenCut) {
    for (bool cut : {false, true}) {
        std::vector<S::Step> script = ListedScript(4, 1u << 20);
        script.push_back(S::Expect("AEG7 UID FETCH 1:2 (UID BODY.PEEK[])"));
        script.push_back(S::Send(BodyLine(1) + BodyLine(2) + "{tag} OK\r\n"));
        script.push_back(S::Expect("AEG8 UID FETCH 3:4 (UID BODY.PEEK[])"));
        if (cut) {
            const std::string fourth = BodyLine(4);
            script.push_back(S::Send(BodyLine(3) + fourth.substr(0, fourth.size() / 2)));
            script.push_back(S::Close());
        } else {
            // Nothing is asked for twice.
            script.push_back(S::Send(BodyLine(3) + BodyLine(4) + "{tag} OK\r\n"));
            script.push_back(S::Expect("AEG9 LOGOUT"));
        }
        S server(script);
        imap::CImapSession session;
        std::string log;
        session.SetLogSink([&](const std::string& line) { log += line + "\n"; });
        session.SetWaitTimeout(2000);
        LogonRecord record = ScriptedLogon(server.port());
        ASSERT_EQ(session.Logon(&record, 2), 0);  // with the protocol log
        const std::vector<std::string> got = TakeAll(session, 4, {});
        // Its answer was read as the one to a fetch sent ahead, not to one sent on m3's turn.
        EXPECT_EQ(log.find("IMAP SEND:UID FETCH 3:4 (UID BODY.PEEK[])\nIMAP RECV:"), std::string::npos) << log;
        if (!cut) {
            EXPECT_NE(log.find("IMAP RECV (UID FETCH 3:4 (UID BODY.PEEK[])):OK"), std::string::npos) << log;
        }
        const std::vector<std::string> expected =
            cut ? std::vector<std::string>{"m1", "m2", "m3"} : std::vector<std::string>{"m1", "m2", "m3", "m4"};
        EXPECT_EQ(got, expected) << "cut " << cut;
        session.Logoff();
        session.Cleanup();
        EXPECT_TRUE(server.Finish()) << server.failure();
    }
}

TEST(HeronwickSession, SearchDateWindow) {
    LogonRecord record{};
    record.server = "127.0.0.1";
    record.port = 1;  // nothing listens; the settings are made before connecting
    record.serverUsable = 1;
    record.smtpUsable = 1;
    for (int days : {0, -3}) {
        imap::CImapSession session;
        record.days = days;
        session.Logon(&record, 0);
        EXPECT_EQ(session.SinceDate(), "01-Jan-1990");
    }
    imap::CImapSession session;
    record.days = 3;
    session.Logon(&record, 0);
    std::time_t then = std::time(nullptr) - 3 * 86400;
    char expected[16];
    std::strftime(expected, sizeof expected, "%d-%b-%Y", std::localtime(&then));
    EXPECT_EQ(session.SinceDate(), expected);
}

// A kept inbox state whose server no longer takes QRESYNC: the inbox is listed the plain
// way all the same, and the state is dropped, so the next LOGIN goes without it.
TEST(HeronwickSession, StateOfAServerWithoutQresyncIsDropped) {
    tess::test::TempHome home;
    const std::string dir = home.path().string();
    const std::string key = "127.0.0.1\tu\tINBOX";
    const auto stateFile = imap::ListingStatePath(home.path(), key);
    imap::ListingState kept;
    kept.uidValidity = 7;
    kept.highestModseq = 20;
    kept.messages = {{3, 0}};
    std::string why;
    ASSERT_TRUE(imap::SaveListingState(stateFile, key, kept, why)) << why;
    S server({S::Send("* OK [CAPABILITY IMAP4rev1 ENABLE] hi\r\n"), S::Expect("AEG1 LOGIN"), S::Expect("AEG2 LIST"),
              S::Expect("AEG3 ENABLE QRESYNC"), S::Expect("AEG4 SELECT \"INBOX\" (QRESYNC (7 20))"),
              S::Expect("AEG5 UID FETCH 1:* (UID INTERNALDATE)"),
              S::Send("AEG1 OK [CAPABILITY IMAP4rev1 ENABLE ESEARCH SEARCHRES] in\r\n* LIST () \"/\" INBOX\r\n"
                      "AEG2 OK\r\n* ENABLED\r\nAEG3 OK\r\nAEG4 BAD no QRESYNC\r\nAEG5 BAD nothing selected\r\n"),
              S::Expect("AEG6 SELECT \"Inbox\""), S::Expect("AEG7 UID SEARCH RETURN (SAVE ALL) NOT DELETED"),
              S::Expect("AEG8 UID FETCH $ (UID FLAGS)"),
              S::Send("* 1 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\nAEG6 OK\r\n* ESEARCH (TAG \"AEG7\") UID ALL 3\r\n"
                      "AEG7 OK\r\n* 1 FETCH (UID 3 FLAGS (\\Seen))\r\nAEG8 OK\r\n"),
              S::Expect("AEG9 LOGOUT")});
    imap::CImapSession session;
    LogOn(session, server.port(), dir);
    MailMsg** ids = nullptr;
    int count = 0;
    ASSERT_EQ(session.GetMsgIds(nullptr, &ids, &count), 0);
    ASSERT_EQ(count, 1);
    uint32_t uid = 0;
    EXPECT_TRUE(imap::UidOf(ids[0]->hostId, ids[0]->hostIdLength, uid));
    EXPECT_EQ(uid, 3u);
    EXPECT_NE(ids[0]->flags & 0x02000000u, 0u);  // read, as the server says now
    FreeMailMsg(ids, count);
    session.Logoff();
    session.Cleanup();
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_FALSE(std::filesystem::exists(stateFile));
}

}  // namespace
