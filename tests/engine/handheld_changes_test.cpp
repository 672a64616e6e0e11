// What the user did on the handheld reaches the host, and what the host changed reaches
// the handheld; nothing is lost when either side fails.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "common/handheld_database.h"
#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

using handheld_app::RecordAction;

TEST(ReadState, BothWays) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("read on host");
    w.HostMail("read on handheld");
    ASSERT_EQ(w.Sync(), 0);

    scripted::state().find("Inbox")->msgs[0].read = true;
    ASSERT_EQ(handheld_app::MarkRead(w.handheld, w.RecordOf("read on handheld"), true), 0);
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();

    for (auto& m : w.Folder(0)) {
        EXPECT_TRUE(m.msg.status & 0x8000) << m.msg.Subject << " is read on the handheld";
        // The engine holds no handheld texts between the load and a record written anew.
        EXPECT_EQ(m.msg.Body, "Body of " + m.msg.Subject) << "a record written anew keeps its text";
    }
    EXPECT_TRUE(scripted::state().find("Inbox")->msgs[1].read) << "the handheld's read mark reached the host";
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 0);
}

TEST(HandheldDelete, ReachesTheHostAndFailureKeepsTheAction) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("keep");
    w.HostMail("drop");
    ASSERT_EQ(w.Sync(), 0);
    ASSERT_EQ(handheld_app::DeleteMessage(w.handheld, w.RecordOf("drop")), 0);

    scripted::state().failures["DeleteMsg"] = 11;
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(scripted::state().find("Inbox")->msgs.size(), 2u) << "the host refused";
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 1) << "the action waits";
    EXPECT_TRUE(EngineWorld::Logged("Could not delete a record", 22)) << EngineWorld::Log();

    scripted::state().failures.clear();
    ASSERT_EQ(w.Sync(), 0);
    ASSERT_EQ(scripted::state().find("Inbox")->msgs.size(), 1u);
    EXPECT_EQ(scripted::state().find("Inbox")->msgs[0].subject, "keep");
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 0);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"keep"}));
}

TEST(HandheldDelete, ARecordThatCannotBeRemovedIsPassedOver) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("keep");
    w.HostMail("drop");
    ASSERT_EQ(w.Sync(), 0);
    ASSERT_EQ(handheld_app::DeleteMessage(w.handheld, w.RecordOf("drop")), 0);
    platform::syncmgr::HandheldStore(w.handheld).injectFailure("SyncDeleteRecord", 1);
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Messages"), 2) << "the deleted one is still there";
    EXPECT_EQ(scripted::state().find("Inbox")->msgs.size(), 1u) << "its action was replayed all the same";
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Messages"), 1);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"keep"}));
}

// Each opcode against an IMAP account, and what stays on the handheld afterwards.
struct ActionCase {
    const char* what;
    std::function<void(EngineWorld&, uint32_t uid)> record;
    std::map<std::string, int> failures;
    int actionsLeft;
    std::function<void(scripted::State&)> check;
};

TEST(DisconnectedActions, EachOpcodeAndAgainAfterAFailure) {
    using handheld_app::Opcode;
    const ActionCase cases[] = {
        {"create folder",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, Opcode::kCreateFolder, 0, "Work", ""); },
         {},
         0,
         [](scripted::State& s) { EXPECT_NE(s.find("Work"), nullptr); }},
        {"a refused folder creation still leaves the handheld",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, Opcode::kCreateFolder, 0, "Work", ""); },
         {{"IMAP4AddFolder", 16}},
         0,
         [](scripted::State& s) { EXPECT_EQ(s.find("Work"), nullptr); }},
        {"rename folder",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, Opcode::kRenameFolder, 0, "Trash", "Bin"); },
         {},
         0,
         [](scripted::State& s) { EXPECT_NE(s.find("Bin"), nullptr); }},
        {"delete folder",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, Opcode::kDeleteFolder, 0, "Trash", ""); },
         {},
         0,
         [](scripted::State& s) { EXPECT_EQ(s.find("Trash"), nullptr); }},
        {"copy message",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kCopyMessage, uid, "Inbox", "Sent"); },
         {},
         0,
         [](scripted::State& s) { EXPECT_EQ(s.find("Sent")->msgs.size(), 1u); }},
        {"a failed copy stays",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kCopyMessage, uid, "Inbox", "Sent"); },
         {{"IMAP4CopyMessage", 13}},
         1,
         [](scripted::State& s) { EXPECT_TRUE(s.find("Sent")->msgs.empty()); }},
        {"select folder",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, Opcode::kSelectFolder, 0, "Sent", ""); },
         {},
         0,
         [](scripted::State& s) { EXPECT_EQ(s.count("IMAP4SelectFolder"), 1); }},
        {"set seen",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kSetSeen, uid, "1", ""); },
         {},
         0,
         [](scripted::State& s) { EXPECT_TRUE(s.find("Inbox")->msgs[0].read); }},
        {"a failed seen flag stays",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kSetSeen, uid, "1", ""); },
         {{"IMAP4SetSeenFlag", 15}},
         1,
         [](scripted::State& s) { EXPECT_FALSE(s.find("Inbox")->msgs[0].read); }},
        {"move to the trash",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kMoveToTrash, uid, "", "Inbox"); },
         {},
         0,
         [](scripted::State& s) {
             EXPECT_TRUE(s.find("Inbox")->msgs.empty());
             EXPECT_EQ(s.find("Trash")->msgs.size(), 1u);
         }},
        {"a failed copy to the trash deletes nothing",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kMoveToTrash, uid, "", "Inbox"); },
         {{"IMAP4CopyMessage", 13}},
         1,
         [](scripted::State& s) {
             EXPECT_EQ(s.find("Inbox")->msgs.size(), 1u);
             EXPECT_EQ(s.count("DeleteMsg"), 0);
         }},
        {"mark unread",
         [](EngineWorld& w, uint32_t uid) { RecordAction(w.handheld, 0, Opcode::kMarkUnread, uid, "", ""); },
         {},
         0,
         [](scripted::State& s) { EXPECT_FALSE(s.find("Inbox")->msgs[0].read); }},
        {"no operation",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, Opcode::kNoOperation, 0, "", ""); },
         {},
         0,
         [](scripted::State&) {}},
        {"an unknown opcode is never loaded nor removed",
         [](EngineWorld& w, uint32_t) { RecordAction(w.handheld, 0, 9, 0, "", ""); },
         {},
         1,
         [](scripted::State&) {}},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        w.ImapAccount();
        scripted::Message& m = w.HostMail("subject");
        const uint32_t uid = m.uid;
        ASSERT_EQ(w.Sync(), 0);
        c.record(w, uid);
        scripted::state().calls.clear();
        scripted::state().failures = c.failures;
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), c.actionsLeft);
        c.check(scripted::state());
        if (c.actionsLeft && !c.failures.empty()) {
            // The next synchronisation tries again and succeeds.
            scripted::state().failures.clear();
            ASSERT_EQ(w.Sync(), 0);
            EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 0);
        }
    }
}

// The handheld's writes are committed a hundred new messages at a time. A synchronisation
// killed in the middle of a group leaves the handheld as the last commit left it: whole
// messages, each with its id record, the card's count of bytes right. The next
// synchronisation brings the rest, each message once and with its whole text.
TEST(GroupedWrites, KilledMidGroupLosesNothing) {
    constexpr int kMessages = 250;
    EngineWorld w;
    handheld_app::AccountSetup tcp;
    tcp.connectionType = 3;  // each new message also gets an id record
    w.ImapAccount(0, {}, tcp);
    std::map<std::string, std::string> bodies;
    for (int i = 0; i < kMessages; ++i) {
        scripted::Message& m = w.HostMail("mail " + std::to_string(1000 + i));
        // Every third text long enough to wait for its turn outside memory.
        if (i % 3 == 0) m.body = std::string(3000, char('a' + i % 26)) + " end of " + m.subject;
        bodies[m.subject] = m.body;
    }
    // No connection to the handheld crosses into the process that dies.
    platform::syncmgr::resetSession();
    platform::syncmgr::useHandheld(w.handheld);
    platform::syncmgr::setSessionUser(w.userId);
    // A new message is two record writes (itself, then its id record): write 261 is the
    // first of message 131, in the second group.
    platform::syncmgr::HandheldStore(w.handheld)
        .injectFailure("SyncWriteRecord", 261, platform::syncmgr::HandheldStore::kKillProcess);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        w.Sync();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the synchronisation was not killed: " << status;

    {
        platform::syncmgr::HandheldStore store(w.handheld);
        store.clearInjectedFailures();
        uint64_t bytes = 0;
        for (const auto& db : store.databases())
            for (const auto& r : store.records(db.id)) bytes += r.data.size();
        for (const auto& p : store.preferences()) bytes += p.data.size();
        EXPECT_EQ(store.card().usedBytes, bytes);
    }
    EXPECT_EQ(w.Folder(0).size(), 100u) << "the first group is kept, the second is not";
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, HandheldDbName(kDbIdCache, 0)), 100);

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    std::vector<std::string> subjects;
    for (const auto& [subject, body] : bodies) subjects.push_back(subject);
    EXPECT_EQ(w.Subjects(0), subjects);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, HandheldDbName(kDbIdCache, 0)), kMessages);
    for (const auto& shown : w.Folder(0)) EXPECT_EQ(shown.msg.Body, bodies[shown.msg.Subject]) << shown.msg.Subject;
}

// A message the handheld refuses to store is not remembered as delivered: the account
// stops, and the next synchronisation brings it.
TEST(GroupedWrites, RefusedWriteComesAgain) {
    EngineWorld w;
    handheld_app::AccountSetup tcp;
    tcp.connectionType = 3;  // each new message also gets an id record
    w.ImapAccount(0, {}, tcp);
    for (const char* subject : {"first", "second", "third"}) w.HostMail(subject);
    // Write 1 is the first message, write 2 its id record, write 3 the second message.
    platform::syncmgr::HandheldStore(w.handheld).injectFailure("SyncWriteRecord", 3);
    EXPECT_NE(w.Sync(), 0) << "a refused write must not pass as success";
    platform::syncmgr::HandheldStore(w.handheld).clearInjectedFailures();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"first"}));
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, HandheldDbName(kDbIdCache, 0)), 1);

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, HandheldDbName(kDbIdCache, 0)), 3);
}

TEST(FailedListing, RemovesNothingFromTheHandheld) {
    // With the outbox on, the outbox is still sent; without it the account goes on to
    // reconcile its messages, and the failed folder is left be. Either way the run says
    // that the account failed.
    for (const int outbox : {1, 0}) {
        SCOPED_TRACE(outbox);
        EngineWorld w;
        DesktopAccount d;
        d.syncOutbox = outbox;
        w.ImapAccount(0, d);
        w.HostMail("one");
        w.HostMail("two");
        ASSERT_EQ(w.Sync(), 0);
        scripted::state().failures["GetMsgIds"] = 213;
        EXPECT_EQ(w.Sync(), 2);
        EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"one", "two"}));
        EXPECT_TRUE(EngineWorld::Logged("Could not read message", 22)) << EngineWorld::Log();
    }
}

}  // namespace
}  // namespace tess::engine::test

namespace tess::engine::test {
namespace {

// A POP-shaped host: whole messages listed at once, messages known by their ids, the
// handheld's deletes replayed before the listing.
TEST(PopRoad, IdsMatchAcrossSynchronisationsAndDeletesGoFirst) {
    EngineWorld w;
    handheld_app::AccountSetup h;
    h.port = 0;  // becomes 110
    w.PopAccount(h);
    w.HostMail("first").msgId = "uidl-1";
    w.HostMail("second").msgId = "uidl-2";

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(scripted::state().logonPort, 110);
    EXPECT_EQ(scripted::state().logonUser, "alice");
    EXPECT_TRUE(EngineWorld::Logged("default port 110")) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().count("GetMsgIds"), 0);

    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"first", "second"})) << "matched by id, not added again";

    ASSERT_EQ(handheld_app::DeleteMessage(w.handheld, w.RecordOf("first")), 0);
    scripted::state().calls.clear();
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    const auto& calls = scripted::state().calls;
    const auto del = std::find(calls.begin(), calls.end(), "DeleteMsg");
    const auto list = std::find(calls.begin(), calls.end(), "GetAllMsgs");
    ASSERT_NE(del, calls.end());
    EXPECT_LT(del - calls.begin(), list - calls.begin()) << "the delete is replayed before the listing";
    ASSERT_EQ(scripted::state().find("Inbox")->msgs.size(), 1u);
    EXPECT_EQ(scripted::state().find("Inbox")->msgs[0].msgId, "uidl-2");
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"second"}));
}

}  // namespace
}  // namespace tess::engine::test

#include "common/handheld_time.h"

namespace tess::engine::test {
namespace {

// A desktop-client account names messages by time, subject and sender: deletes and read
// states both carry the handheld's local time and find the same message.
TEST(DesktopClientActions, TimeSubjectAndSenderFindTheMessage) {
    EngineWorld w;
    scripted::state().mapiLogon = true;
    scripted::state().partial = false;  // desktop clients list whole messages
    DesktopAccount d;
    d.client = 4;
    d.profile = "Outlook";
    handheld_app::AccountSetup h;
    h.protocolWord = 0;
    w.ImapAccount(0, d, h);
    w.HostMail("gone").msgId = "entry-1";
    w.HostMail("unread").msgId = "entry-2";
    auto& both = scripted::state().find("Inbox")->msgs;
    both[1].date -= 60;
    for (const auto& [m, op] :
         {std::pair{&both[0], handheld_app::kDeleteMessage}, {&both[1], handheld_app::kMarkRead}}) {
        const int64_t local1904 = ToLocalOrUtc(m->date, true) + 2082844800;
        ASSERT_EQ(handheld_app::RecordAction(w.handheld, 0, op, 255, "",
                                             std::to_string(local1904) + "\x01" + m->subject + "\x01" + m->from),
                  0);
    }
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().logonUser, "Outlook");
    const auto& inbox = scripted::state().find("Inbox")->msgs;
    ASSERT_EQ(inbox.size(), 1u) << EngineWorld::Log();
    EXPECT_EQ(inbox[0].subject, "unread");
    EXPECT_TRUE(inbox[0].read);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 0);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"unread"}));
}

}  // namespace
}  // namespace tess::engine::test
