// The IMAP command layer against a scripted server: what goes on the wire, and what
// the layer makes of replies a real server rarely gives.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "hosts/imap/imap_connection.h"
#include "tests/inet/scripted_server.h"

namespace {

using imap::CImapConnection;
using S = inet::test::ScriptedServer;

std::vector<S::Step> Login(std::vector<S::Step> rest, const char* list = "* LIST () \"/\" INBOX\r\n") {
    // The folder list travels with the LOGIN.
    std::vector<S::Step> script = {S::Send("* OK ready\r\n"), S::Expect("AEG1 LOGIN "), S::Expect("AEG2 LIST"),
                                   S::Send("AEG1 OK logged in\r\n" + std::string(list) + "AEG2 OK\r\n")};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

struct Session {
    explicit Session(int port, std::string user = "u", std::string password = "p") {
        settings.server = "127.0.0.1";
        settings.port = port;
        settings.user = std::move(user);
        settings.password = std::move(password);
        settings.waitTimeout = 2000;
        settings.logEnabled = 1;
        settings.log = [this](const std::string& line) { log += line + "\n"; };
    }
    imap::ImapSettings settings;
    std::string log;
};

TEST(ImapConnection, LoginQuotesAndNeverLogsThePassword) {
    S server(Login({}));
    Session s(server.port(), "me\"you", "se\\cret word");
    {
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        ASSERT_EQ(imap.ImapLogin(), 0);
        EXPECT_TRUE(imap.FolderListRead());
        imap.Disconnect();
    }
    server.Finish();
    ASSERT_GE(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0], "AEG1 LOGIN \"me\\\"you\" \"se\\\\cret word\"");
    EXPECT_EQ(s.log.find("cret"), std::string::npos) << s.log;
}

TEST(ImapConnection, RefusedLoginRetriesBareAtomsOnly) {
    {
        S server({S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN \"u\" \"p\""), S::Expect("AEG2 LIST"),
                  S::Send("AEG1 NO\r\nAEG2 BAD not authenticated\r\n"), S::Expect("AEG3 LOGIN u p"),
                  S::Expect("AEG4 LIST"), S::Send("AEG3 NO\r\nAEG4 BAD not authenticated\r\n")});
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        EXPECT_EQ(imap.ImapLogin(), imap::kImapLoginRefused);
        EXPECT_TRUE(server.Finish()) << server.failure();
    }
    {
        // A password with a blank would change the command unquoted: no second try.
        S server({S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN"), S::Expect("AEG2 LIST"),
                  S::Send("AEG1 NO\r\nAEG2 BAD\r\n"), S::Pause(300)});
        Session s(server.port(), "u", "two words");
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        EXPECT_EQ(imap.ImapLogin(), imap::kImapLoginRefused);
        server.Finish();
        EXPECT_EQ(server.received().size(), 2u);
    }
}

TEST(ImapConnection, FolderListSkipsNoselectAndAddsInbox) {
    S server(Login({}, "* LIST (\\Noselect) \"/\" Archive\r\n* LIST () \"/\" \"Sent Items\"\r\n"));
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    EXPECT_EQ(imap.FolderNames(), (std::vector<std::string>{"Sent Items", "Inbox"}));
}

TEST(ImapConnection, SelectsByExactNameOnly) {
    S server(Login({S::Expect("AEG3 SELECT \"Inbox.Old\""), S::Send("* 4 EXISTS\r\n{tag} OK\r\n"),
                    S::Expect("AEG4 SELECT \"Inbox\""), S::Send("* 2 EXISTS\r\n{tag} OK\r\n")},
                   "* LIST () \".\" INBOX\r\n* LIST () \".\" Inbox.Old\r\n"));
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    EXPECT_EQ(imap.SelectFolder("Inbox.Old"), 0);
    EXPECT_EQ(imap.ExistsCount(), 4);
    EXPECT_EQ(imap.SelectFolder("Inbox"), 0);
    EXPECT_EQ(imap.ExistsCount(), 2);
    EXPECT_EQ(imap.SelectFolder("INBOX"), 0);  // already selected: nothing sent
    EXPECT_EQ(imap.SelectFolder("Nowhere"), imap::kImapNoSuchFolder);
    EXPECT_TRUE(server.Finish()) << server.failure();
}

TEST(ImapConnection, SearchReadsItsOwnLine) {
    S server(Login({S::Expect("AEG3 SELECT"), S::Send("* 3 EXISTS\r\n{tag} OK\r\n"),
                    S::Expect("AEG4 UID SEARCH NOT DELETED SINCE 01-Jan-1990 NOT SEEN"),
                    S::Send("* 3 RECENT\r\n* SEARCH 7 9\r\n{tag} OK\r\n"), S::Expect("AEG5 UID SEARCH"),
                    S::Send("* SEARCH\r\n{tag} OK\r\n")}));
    Session s(server.port());
    s.settings.sinceDate = "01-Jan-1990";
    s.settings.unreadOnly = 1;
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    std::vector<uint32_t> uids;
    EXPECT_EQ(imap.SearchMessages("INBOX", uids), 0);
    EXPECT_EQ(uids, (std::vector<uint32_t>{7, 9}));
    EXPECT_EQ(imap.SearchMessages("INBOX", uids), 0);  // nothing new: an empty list
    EXPECT_TRUE(uids.empty());
    EXPECT_TRUE(server.Finish()) << server.failure();
}

TEST(ImapConnection, SearchFallsBackToSequenceNumbers) {
    S server(Login({S::Expect("AEG3 SELECT"), S::Send("* 3 EXISTS\r\n{tag} OK\r\n"), S::Expect("AEG4 UID SEARCH"),
                    S::Send("{tag} BAD unknown command\r\n"), S::Expect("AEG5 FETCH 1 FLAGS"),
                    S::Send("* 1 FETCH (FLAGS (\\Seen))\r\n{tag} OK\r\n"), S::Expect("AEG6 FETCH 2 FLAGS"),
                    S::Send("* 2 FETCH (FLAGS ())\r\n{tag} OK\r\n"), S::Expect("AEG7 FETCH 3 FLAGS"),
                    S::Send("* 3 FETCH (FLAGS (\\Recent))\r\n{tag} OK\r\n"), S::Expect("AEG8 FETCH 2 UID"),
                    S::Send("* 2 FETCH (UID 20)\r\n{tag} OK\r\n"), S::Expect("AEG9 FETCH 3 UID"),
                    S::Send("* 3 FETCH (UID 31)\r\n{tag} OK\r\n")}));
    Session s(server.port());
    s.settings.unreadOnly = 1;
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    std::vector<uint32_t> uids;
    EXPECT_EQ(imap.SearchMessages("INBOX", uids), 0);
    EXPECT_EQ(uids, (std::vector<uint32_t>{20, 31}));
    EXPECT_TRUE(server.Finish()) << server.failure();
}

TEST(ImapConnection, AppendWaitsForTheContinuation) {
    const std::string message = "Subject: hi\r\n\r\nbody";
    {
        S server(Login(
            {S::Expect("AEG3 SELECT"), S::Send("{tag} OK\r\n"), S::Expect("AEG4 APPEND \"Sent\" {19}"), S::Pause(400),
             S::Send("+ Ready for literal data\r\n"), S::ReadBytes(21), S::Send("AEG4 OK APPEND completed\r\n")},
            "* LIST () \"/\" Sent\r\n"));
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        ASSERT_EQ(imap.ImapLogin(), 0);
        EXPECT_EQ(imap.AppendMessage("Sent", message), 0);
        EXPECT_TRUE(server.Finish()) << server.failure();
        EXPECT_EQ(server.received().back(), message + "\r\n");
        // The append is one transcript entry, up to the continuation; the message itself
        // goes straight to the socket.
        EXPECT_NE(s.log.find("IMAP SEND:APPEND \"Sent\" {19}\nIMAP RECV:+ Ready"), std::string::npos) << s.log;
        EXPECT_EQ(s.log.find("IMAP SEND:", s.log.find("IMAP SEND:APPEND") + 1), std::string::npos) << s.log;
    }
    {
        // Refused before the continuation: the message is never sent.
        S server(Login({S::Expect("AEG3 SELECT"), S::Send("{tag} OK\r\n"), S::Expect("AEG4 APPEND"),
                        S::Send("{tag} NO [OVERQUOTA] full\r\n"), S::Pause(300)},
                       "* LIST () \"/\" Sent\r\n"));
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        ASSERT_EQ(imap.ImapLogin(), 0);
        EXPECT_EQ(imap.AppendMessage("Sent", message), imap::kImapAppendRefused);
        server.Finish();
        for (const auto& line : server.received()) EXPECT_EQ(line.find("Subject"), std::string::npos);
    }
}

TEST(ImapConnection, FetchTranscriptShowsFirstLineAndTagsRestart) {
    S server(Login({S::Expect("AEG3 SELECT"), S::Send("* 1 EXISTS\r\n{tag} OK\r\n"),
                    S::Expect("AEG4 UID FETCH 5 FLAGS"), S::Send("* 1 FETCH (UID 5 FLAGS (\\Seen))\r\n{tag} OK\r\n"),
                    S::Expect("AEG5 LOGOUT"), S::Send("* BYE\r\n{tag} OK\r\n")}));
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    int seen = 0;
    EXPECT_EQ(imap.FetchSeenFlag("INBOX", 5, &seen), 0);
    EXPECT_EQ(seen, 1);
    EXPECT_NE(s.log.find("IMAP SEND:UID FETCH 5 FLAGS\nIMAP RECV:* 1 FETCH (UID 5 FLAGS (\\Seen))\n"),
              std::string::npos)
        << s.log;
    EXPECT_EQ(s.log.find("AEG4 OK"), std::string::npos);
    imap.Disconnect();
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_EQ(imap.NextTag(), "AEG1");
}

TEST(ImapConnection, FlagAndSizeCommandsAsWritten) {
    S server(Login({S::Expect("AEG3 SELECT"), S::Send("* 1 EXISTS\r\n{tag} OK\r\n"), S::Expect("AEG4 "),
                    S::Send("* 1 FETCH (UID 5 RFC822.SIZE 4242)\r\n{tag} OK\r\n"), S::Expect("AEG5 "),
                    S::Send("{tag} OK\r\n"), S::Expect("AEG6 "), S::Send("{tag} OK\r\n"), S::Expect("AEG7 "),
                    S::Send("{tag} NO\r\n")}));
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    const std::string inbox = "INBOX";
    EXPECT_EQ(imap.FetchSize(inbox, 5), 4242);
    EXPECT_EQ(imap.StoreSeenFlag(&inbox, 5, true), 0);
    EXPECT_EQ(imap.StoreSeenFlag(nullptr, 5, false), 0);
    EXPECT_EQ(imap.StoreDeleted(inbox, 5), imap::kImapDeleteRefused);
    ASSERT_TRUE(server.Finish()) << server.failure();
    const auto& sent = server.received();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[3], "AEG4 UID FETCH 5 rfc822.size");
    EXPECT_EQ(sent[4], "AEG5 UID STORE 5 +FLAGS.SILENT \\seen");
    EXPECT_EQ(sent[5], "AEG6 UID STORE 5 -FLAGS.SILENT \\seen");
    EXPECT_EQ(sent[6], "AEG7 UID STORE 5 +FLAGS.SILENT \\deleted");
}

TEST(ImapConnection, LoginAndLogoutResultCodes) {
    {
        CImapConnection imap;
        EXPECT_EQ(imap.Logout(), imap::kImapNotConnected);  // never logged in
        EXPECT_EQ(imap.ImapLogin(), imap::kImapNotConnected);
    }
    {
        // The server hangs up instead of answering: no answer, not a refusal.
        S server({S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN"), S::Close()});
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        EXPECT_EQ(imap.ImapLogin(), imap::kImapNothing);
        EXPECT_FALSE(imap.IsLoggedIn());
        EXPECT_EQ(imap.Logout(), imap::kImapNotConnected);
        server.Finish();
        EXPECT_EQ(server.received().size(), 1u);  // no second LOGIN after a lost answer
    }
}

TEST(ImapConnection, DeletingAnUnlistedFolderWithoutAListIsReported) {
    // The folder list was refused at login, so any name may exist: the DELETE goes out,
    // but the list cannot be brought up to date.
    S server({S::Send("* OK\r\n"), S::Expect("AEG1 LOGIN"), S::Expect("AEG2 LIST"), S::Send("AEG1 OK\r\nAEG2 NO\r\n"),
              S::Expect("AEG3 DELETE \"Old\""), S::Send("{tag} OK\r\n"), S::Expect("AEG4 DELETE \"Inbox\""),
              S::Send("{tag} OK\r\n")});
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    EXPECT_FALSE(imap.FolderListRead());
    EXPECT_EQ(imap.DeleteFolder("Old"), imap::kImapFolderChange);
    EXPECT_EQ(imap.DeleteFolder("Inbox"), 0);  // listed (added when the server did not)
    EXPECT_TRUE(imap.FolderNames().empty());
    EXPECT_TRUE(server.Finish()) << server.failure();
}

TEST(ImapConnection, RenameSelectsTheFolderThenRenamesIt) {
    S server(Login({S::Expect("AEG3 SELECT \"Old\""), S::Send("* 1 EXISTS\r\n{tag} OK\r\n"),
                    S::Expect("AEG4 RENAME \"Old\" \"New\""), S::Send("{tag} OK\r\n"),
                    S::Expect("AEG5 SUBSCRIBE \"New\""), S::Send("{tag} OK\r\n")},
                   "* LIST () \"/\" INBOX\r\n* LIST () \"/\" Old\r\n"));
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    EXPECT_EQ(imap.RenameFolder("Old", "New"), 0);
    EXPECT_EQ(imap.FolderNames(), (std::vector<std::string>{"INBOX", "New"}));
    EXPECT_EQ(imap.RenameFolder("Gone", "Other"), imap::kImapNoSuchFolder);
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_EQ(server.received().size(), 5u);
}

TEST(ImapConnection, UnfinishedReplyIsAFailureWithoutTranscript) {
    S server(Login({S::Expect("AEG3 SELECT \"INBOX\""), S::Send("* 1 EXISTS\r\n"), S::Pause(750),
                    S::Expect("AEG4 UID STORE 5 +FLAGS.SILENT \\seen"), S::Send("{tag} OK\r\n")}));
    Session s(server.port());
    s.settings.waitTimeout = 500;
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    EXPECT_EQ(imap.SelectFolder("INBOX"), imap::kImapSelectFailed);
    EXPECT_EQ(imap.StoreSeenFlag(nullptr, 5, true), 0);
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_EQ(s.log.find("IMAP SEND:SELECT"), std::string::npos) << s.log;
    EXPECT_NE(s.log.find("IMAP RECV:AEG4 OK"), std::string::npos) << s.log;
}

// Without UIDPLUS a plain EXPUNGE would also remove what another client flagged
// \Deleted, so it is sent only when every \Deleted message is one the handheld deleted.
TEST(ImapConnection, ExpungeWithoutUidPlusSparesOtherClientsDeletions) {
    struct Case {
        const char* name;
        const char* deleted;  // the server's UID SEARCH DELETED answer
        bool expunged;
    };
    const Case cases[] = {
        {"only ours", "* SEARCH 7 9\r\n", true},
        {"another client's too", "* SEARCH 3 7 9\r\n", false},
    };
    for (const Case& c : cases) {
        std::vector<S::Step> steps = {S::Expect("AEG3 SELECT \"INBOX\""),
                                      S::Send("* 4 EXISTS\r\n{tag} OK\r\n"),
                                      S::Expect("AEG4 UID STORE 7 +FLAGS.SILENT \\deleted"),
                                      S::Send("{tag} OK\r\n"),
                                      S::Expect("AEG5 UID STORE 9 +FLAGS.SILENT \\deleted"),
                                      S::Send("{tag} OK\r\n"),
                                      S::Expect("AEG6 CAPABILITY"),
                                      S::Send("* CAPABILITY IMAP4rev1 IDLE\r\n{tag} OK\r\n"),
                                      S::Expect("AEG7 UID SEARCH DELETED"),
                                      S::Send(std::string(c.deleted) + "{tag} OK\r\n")};
        if (c.expunged) {
            steps.push_back(S::Expect("AEG8 EXPUNGE"));
            steps.push_back(S::Send("{tag} OK\r\n"));
        }
        S server(Login(steps));
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0) << c.name;
        ASSERT_EQ(imap.ImapLogin(), 0) << c.name;
        EXPECT_EQ(imap.StoreDeleted("INBOX", 7), 0) << c.name;
        EXPECT_EQ(imap.StoreDeleted("INBOX", 9), 0) << c.name;
        EXPECT_TRUE(imap.Expunge()) << c.name;
        EXPECT_TRUE(server.Finish()) << c.name << ": " << server.failure();
    }
}

// A server offering QRESYNC, logged in with the folder list read.
std::vector<S::Step> QresyncLogin(std::vector<S::Step> rest) {
    const std::string caps = "[CAPABILITY IMAP4rev1 ENABLE QRESYNC ESEARCH]";
    std::vector<S::Step> script = {
        S::Send("* OK " + caps + " ready\r\n"), S::Expect("AEG1 LOGIN "), S::Expect("AEG2 LIST"),
        S::Send("AEG1 OK " + caps + " in\r\n* LIST () \"/\" INBOX\r\n* LIST () \"/\" Other\r\nAEG2 OK\r\n")};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

// What the kept state and the server's news of changes make of a folder: the changes
// applied in the order they came, and the state trusted only when it holds together;
// otherwise every flag is fetched anew.
TEST(ImapConnection, QresyncChangesAppliedAndCheckedAgainstTheServer) {
    imap::ListingState kept;
    kept.uidValidity = 7;
    kept.highestModseq = 20;
    kept.messages = {{1, imap::ListingState::kSeen}, {2, 0}, {3, 0}, {4, imap::ListingState::kSeen}};
    kept.days = {{1, 20000}, {2, 20000}, {3, 20000}, {4, 20000}};
    using Flags = std::map<uint32_t, uint8_t>;
    const std::string full =
        "* 1 FETCH (UID 3 FLAGS (\\Seen) INTERNALDATE \"01-Feb-2026 10:00:00 +0000\")\r\n"
        "* 2 FETCH (UID 4 FLAGS (\\Seen) INTERNALDATE \"01-Feb-2026 10:00:00 +0000\")\r\n"
        "* 3 FETCH (UID 6 FLAGS () INTERNALDATE \"01-Feb-2026 10:00:00 +0000\")\r\nAEG6 OK\r\n";
    struct Case {
        const char* name;
        std::string selected;   // the SELECT's lines before its tagged OK
        const char* fullFetch;  // the answer to a full flag fetch; null: none may be asked
        Flags state;            // the state handed out; empty: none
    } cases[] = {
        {"changes in order",
         "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\n* OK [HIGHESTMODSEQ 25] m\r\n"
         "* VANISHED (EARLIER) 1:2,90:4294967295\r\n* 1 FETCH (UID 3 FLAGS (\\Seen) MODSEQ (21))\r\n"
         "* 3 FETCH (UID 6 FLAGS () MODSEQ (24))\r\n",
         nullptr, Flags{{3, 1}, {4, 1}, {6, 0}}},
        {"flags of a message without its UID",
         "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\n* OK [HIGHESTMODSEQ 25] m\r\n* VANISHED (EARLIER) 1:2\r\n"
         "* 1 FETCH (FLAGS (\\Seen))\r\n* 3 FETCH (UID 6 FLAGS ())\r\n",
         full.c_str(), Flags{{3, 1}, {4, 1}, {6, 0}}},
        {"the count is not the server's",
         "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\n* OK [HIGHESTMODSEQ 25] m\r\n* 3 FETCH (UID 6 FLAGS ())\r\n",
         full.c_str(), Flags{{3, 1}, {4, 1}, {6, 0}}},
        {"another UIDVALIDITY", "* 3 EXISTS\r\n* OK [UIDVALIDITY 8] u\r\n* OK [HIGHESTMODSEQ 25] m\r\n", full.c_str(),
         Flags{{3, 1}, {4, 1}, {6, 0}}},
        {"no HIGHESTMODSEQ", "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\n* OK [NOMODSEQ] none\r\n", full.c_str(), Flags{}},
    };
    for (const Case& c : cases) {
        std::vector<S::Step> steps = {S::Expect("AEG3 ENABLE QRESYNC"),
                                      S::Expect("AEG4 SELECT \"INBOX\" (QRESYNC (7 20))"),
                                      S::Expect("AEG5 UID FETCH 5:* (UID INTERNALDATE)"),
                                      S::Send("* ENABLED QRESYNC\r\nAEG3 OK\r\n" + c.selected +
                                              "AEG4 OK\r\n* 3 FETCH (UID 6 INTERNALDATE \"02-Feb-2026 10:00:00 "
                                              "+0000\")\r\nAEG5 OK\r\n")};
        if (c.fullFetch) {
            steps.push_back(S::Expect("AEG6 UID FETCH 1:* (UID FLAGS INTERNALDATE)"));
            steps.push_back(S::Send(c.fullFetch));
        }
        S server(QresyncLogin(steps));
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0) << c.name;
        ASSERT_EQ(imap.ImapLogin(), 0) << c.name;
        imap.ListAhead("INBOX", &kept);
        const std::optional<imap::ListingState> state = imap.TakeListingState();
        EXPECT_TRUE(server.Finish()) << c.name << ": " << server.failure();
        // The listing is the search's UIDs, with the read state of each.
        std::vector<uint32_t> uids;
        ASSERT_EQ(imap.SearchMessages("INBOX", uids), 0) << c.name;
        EXPECT_EQ(uids, (std::vector<uint32_t>{3, 4, 6})) << c.name;
        std::vector<int> seen;
        for (uint32_t uid : uids) {
            const CImapConnection::Prefetched* known = imap.Known("INBOX", uid);
            seen.push_back(known && known->hasSeen ? known->seen : -1);
        }
        EXPECT_EQ(seen, (std::vector<int>{1, 1, 0})) << c.name;
        if (c.state.empty()) {
            EXPECT_FALSE(state) << c.name;
            continue;
        }
        ASSERT_TRUE(state) << c.name;
        EXPECT_EQ(state->messages, c.state) << c.name;
        EXPECT_EQ(state->uidValidity, c.selected.find("VALIDITY 8") == std::string::npos ? 7u : 8u) << c.name;
        EXPECT_EQ(state->highestModseq, 25u) << c.name;
    }
}

// A server that offers QRESYNC but will not enable it: the folder is listed all the same
// and nothing is kept; another folder is listed the plain way. With nothing kept, the
// flags and dates of the whole folder make the listing, no search.
TEST(ImapConnection, QresyncRefusedListsTheFolderAllTheSame) {
    S server(QresyncLogin({S::Expect("AEG3 ENABLE QRESYNC"), S::Expect("AEG4 SELECT \"INBOX\""),
                           S::Expect("AEG5 UID FETCH 1:* (UID FLAGS INTERNALDATE)"),
                           S::Send("AEG3 BAD not now\r\n* 2 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\nAEG4 OK\r\n"
                                   "* 1 FETCH (UID 4 FLAGS (\\Deleted) INTERNALDATE \"01-Feb-2026 10:00:00 +0000\")\r\n"
                                   "* 2 FETCH (UID 5 FLAGS (\\Seen) INTERNALDATE \"01-Feb-2026 10:00:00 +0000\")\r\n"
                                   "AEG5 OK\r\n"),
                           S::Expect("AEG6 SELECT \"Other\""), S::Send("* 0 EXISTS\r\nAEG6 OK\r\n"),
                           S::Expect("AEG7 UID SEARCH NOT DELETED"), S::Send("* SEARCH\r\nAEG7 OK\r\n")}));
    Session s(server.port());
    CImapConnection imap;
    ASSERT_EQ(imap.Connect(&s.settings), 0);
    ASSERT_EQ(imap.ImapLogin(), 0);
    imap.ListAhead("INBOX");
    EXPECT_FALSE(imap.TakeListingState());
    std::vector<uint32_t> uids;
    ASSERT_EQ(imap.SearchMessages("INBOX", uids), 0);
    EXPECT_EQ(uids, (std::vector<uint32_t>{5}));
    ASSERT_NE(imap.Known("INBOX", 5), nullptr);
    EXPECT_EQ(imap.Known("INBOX", 5)->seen, 1);
    imap.ListAhead("Other");
    EXPECT_TRUE(server.Finish()) << server.failure();
}

// With the day of every kept message known, the date window (SINCE, NOT DELETED, NOT SEEN
// when only unread mail is wanted) is worked out from the state: only the dates of
// messages new since are fetched. Where a date does not come, or the state does not hold
// together, the server searches after all, and its answer is the listing.
TEST(ImapConnection, DateWindowWorkedOutFromADatedState) {
    imap::ListingState kept;
    kept.uidValidity = 7;
    kept.highestModseq = 20;
    kept.messages = {{1, 0}, {2, imap::ListingState::kSeen}, {3, 0}, {4, 0}};
    kept.days = {{1, 20000}, {2, 20768}, {3, 20769}, {4, 20770}};  // 20768: 11-Nov-2026
    const std::string selected =
        "* 4 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\n* OK [HIGHESTMODSEQ 25] m\r\n* VANISHED (EARLIER) 3\r\n"
        "* 3 FETCH (UID 4 FLAGS (\\Deleted) MODSEQ (22))\r\n* 4 FETCH (UID 9 FLAGS () MODSEQ (25))\r\n";
    struct Case {
        const char* name;
        bool unreadOnly;
        std::string dates;   // the answer to the FETCH of new messages' dates
        const char* search;  // the SEARCH asked after all and its answer; null: none
        std::vector<uint32_t> uids;
    } cases[] = {
        {"window worked out",
         false,
         "* 4 FETCH (UID 9 INTERNALDATE \"12-Nov-2026 08:00:00 +0100\")\r\n",
         nullptr,
         {2, 9}},
        {"unread only", true, "* 4 FETCH (UID 9 INTERNALDATE \"12-Nov-2026 08:00:00 +0100\")\r\n", nullptr, {9}},
        {"a new message old already",
         false,
         "* 4 FETCH (UID 9 INTERNALDATE \"10-Nov-2026 08:00:00 +0100\")\r\n",
         nullptr,
         {2}},
        {"a date missing", false, "", "* SEARCH 2 9\r\n", {2, 9}},
        {"a date unreadable", false, "* 4 FETCH (UID 9 INTERNALDATE \"soon\")\r\n", "* SEARCH 9\r\n", {9}},
        // A state kept without days (an older file) has every date fetched, once.
        {"kept undated",
         false,
         "* 1 FETCH (UID 1 INTERNALDATE \"11-Nov-2026 00:00:00 +0000\")\r\n"
         "* 2 FETCH (UID 2 INTERNALDATE \"10-Nov-2026 23:59:59 -1200\")\r\n"
         "* 3 FETCH (UID 4 INTERNALDATE \"12-Nov-2026 00:00:00 +0000\")\r\n"
         "* 4 FETCH (UID 9 INTERNALDATE \"12-Nov-2026 08:00:00 +0100\")\r\n",
         nullptr,
         {1, 9}},
    };
    for (const Case& c : cases) {
        const bool undated = std::string(c.name) == "kept undated";
        imap::ListingState from = kept;
        if (undated) from.days.clear();
        std::vector<S::Step> steps = {
            S::Expect("AEG3 ENABLE QRESYNC"), S::Expect("AEG4 SELECT \"INBOX\" (QRESYNC (7 20))"),
            S::Expect(undated ? "AEG5 UID FETCH 1:* (UID INTERNALDATE)" : "AEG5 UID FETCH 5:* (UID INTERNALDATE)"),
            S::Send("* ENABLED QRESYNC\r\nAEG3 OK\r\n" + selected + "AEG4 OK\r\n" + c.dates + "AEG5 OK\r\n")};
        if (c.search) {
            steps.push_back(S::Expect(std::string("AEG6 UID SEARCH NOT DELETED SINCE 11-Nov-2026") +
                                      (c.unreadOnly ? " NOT SEEN" : "")));
            steps.push_back(S::Send(std::string(c.search) + "AEG6 OK\r\n"));
        }
        S server(QresyncLogin(steps));
        Session s(server.port());
        s.settings.sinceDate = "11-Nov-2026";
        s.settings.unreadOnly = c.unreadOnly ? 1 : 0;
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0) << c.name;
        ASSERT_EQ(imap.ImapLogin(), 0) << c.name;
        imap.ListAhead("INBOX", &from);
        const std::optional<imap::ListingState> state = imap.TakeListingState();
        EXPECT_TRUE(server.Finish()) << c.name << ": " << server.failure();
        std::vector<uint32_t> uids;
        ASSERT_EQ(imap.SearchMessages("INBOX", uids), 0) << c.name;
        EXPECT_EQ(uids, c.uids) << c.name;
        // The state goes on to the next sync, the new message's day with it where it came.
        ASSERT_TRUE(state) << c.name;
        EXPECT_EQ(state->messages,
                  (std::map<uint32_t, uint8_t>{
                      {1, 0}, {2, imap::ListingState::kSeen}, {4, imap::ListingState::kDeleted}, {9, 0}}))
            << c.name;
        EXPECT_EQ(state->AllDated(), c.search == nullptr) << c.name;
    }
}

// A kept state of the first folder sends its listing with the LOGIN, in the same write;
// a refused LOGIN leaves nothing selected or listed, and its retry goes without it.
TEST(ImapConnection, KeptListingGoesWithTheLogin) {
    imap::ListingState kept;
    kept.uidValidity = 7;
    kept.highestModseq = 20;
    kept.messages = {{1, 0}, {3, imap::ListingState::kSeen}};
    kept.days = {{1, 20000}, {3, 20001}};
    const std::vector<S::Step> together = {S::Send("* OK [CAPABILITY IMAP4rev1 ENABLE] ready\r\n"),
                                           S::Expect("AEG1 LOGIN "),
                                           S::Expect("AEG2 LIST"),
                                           S::Expect("AEG3 ENABLE QRESYNC"),
                                           S::Expect("AEG4 SELECT \"INBOX\" (QRESYNC (7 20))"),
                                           S::Expect("AEG5 UID FETCH 4:* (UID INTERNALDATE)")};
    {
        std::vector<S::Step> script = together;
        script.push_back(S::Send(
            "AEG1 OK [CAPABILITY IMAP4rev1 ENABLE QRESYNC] in\r\n* LIST () \"/\" INBOX\r\nAEG2 OK\r\n"
            "* ENABLED QRESYNC\r\nAEG3 OK\r\n* 2 EXISTS\r\n* OK [UIDVALIDITY 7] u\r\n* OK [HIGHESTMODSEQ 21] m\r\n"
            "* VANISHED (EARLIER) 1\r\n* 2 FETCH (UID 4 FLAGS (\\Seen) MODSEQ (21))\r\nAEG4 OK\r\n"
            "* 2 FETCH (UID 4 INTERNALDATE \"02-Feb-2026 10:00:00 +0000\")\r\nAEG5 OK\r\n"));
        S server(script);
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        imap.ListAtLogin("INBOX", kept);
        ASSERT_EQ(imap.ImapLogin(), 0);
        EXPECT_TRUE(imap.FolderListRead());
        imap.ListAhead("Inbox", &kept);  // listed already: nothing more is sent
        const std::optional<imap::ListingState> state = imap.TakeListingState();
        std::vector<uint32_t> uids;
        ASSERT_EQ(imap.SearchMessages("Inbox", uids), 0);
        EXPECT_EQ(uids, (std::vector<uint32_t>{3, 4}));
        for (uint32_t uid : uids) {
            ASSERT_NE(imap.Known("Inbox", uid), nullptr) << uid;
            EXPECT_EQ(imap.Known("Inbox", uid)->seen, 1) << uid;
        }
        ASSERT_TRUE(state);
        EXPECT_EQ(state->messages, (std::map<uint32_t, uint8_t>{{3, 1}, {4, 1}}));
        EXPECT_EQ(state->highestModseq, 21u);
        EXPECT_TRUE(server.Finish()) << server.failure();
        EXPECT_EQ(server.received().size(), 5u);
    }
    {
        std::vector<S::Step> script = together;
        script.push_back(S::Send("AEG1 NO wrong\r\nAEG2 BAD\r\nAEG3 BAD\r\nAEG4 BAD\r\nAEG5 BAD\r\n"));
        script.push_back(S::Expect("AEG6 LOGIN u p"));
        script.push_back(S::Expect("AEG7 LIST"));
        script.push_back(S::Send("AEG6 NO wrong\r\nAEG7 BAD\r\n"));
        S server(script);
        Session s(server.port());
        CImapConnection imap;
        ASSERT_EQ(imap.Connect(&s.settings), 0);
        imap.ListAtLogin("INBOX", kept);
        EXPECT_EQ(imap.ImapLogin(), imap::kImapLoginRefused);
        EXPECT_FALSE(imap.IsLoggedIn());
        EXPECT_TRUE(imap.SelectedFolder().empty());
        EXPECT_FALSE(imap.TakeListingState());
        EXPECT_TRUE(server.Finish()) << server.failure();
    }
}

}  // namespace
