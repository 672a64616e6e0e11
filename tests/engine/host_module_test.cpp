// HostModule against the real host plug-ins: the engine binds each export by the name the
// hosts give it, and two hosts loaded side by side keep their own exports and state.
#include <gtest/gtest.h>

#include "engine/host_module.h"
#include "tests/support/test_home.h"

namespace tess::engine::test {
namespace {

platform::LoadedModule Load(const char* file) { return platform::LoadedModule((tess::test::libDir() / file).string()); }

template <class Fn>
bool Bound(Fn fn) {
    return fn != nullptr;
}

TEST(HostModule, BindsEveryExportTheHostsGive) {
    struct Case {
        const char* file;
        bool imapCalls;
        bool addressBookCalls;
    } cases[] = {{"libHeronwick.so", true, false},
                 {"libFenwick.so", false, false},
                 {"libCopperfen.so", false, true},
                 {"libThistledown.so", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const platform::LoadedModule host = Load(c.file);
        ASSERT_NE(host.handle(), nullptr);
        const HostModule m = HostModule::Bind(host.handle());
        ASSERT_TRUE(m);
        const bool shared[] = {Bound(m.initialize),
                               Bound(m.uninitialize),
                               Bound(m.logon),
                               Bound(m.logoff),
                               Bound(m.getFolderList),
                               Bound(m.freeFolderList),
                               Bound(m.supportsPartialMessages),
                               Bound(m.getMsgIds),
                               Bound(m.getMsgHeaders),
                               Bound(m.getAllMsgs),
                               Bound(m.getMsg),
                               Bound(m.freeMailMsg),
                               Bound(m.setMsgReadStatus),
                               Bound(m.sendMsg),
                               Bound(m.deleteMsg),
                               Bound(m.getMessageAttachment),
                               Bound(m.freeAttachment)};
        for (std::size_t i = 0; i < std::size(shared); ++i) EXPECT_TRUE(shared[i]) << "export " << i;
        const bool imap[] = {Bound(m.imap4Commit),     Bound(m.imap4SelectFolder), Bound(m.imap4CopyMessage),
                             Bound(m.imap4AddFolder),  Bound(m.imap4DeleteFolder), Bound(m.imap4RenameFolder),
                             Bound(m.imap4SetSeenFlag)};
        for (std::size_t i = 0; i < std::size(imap); ++i) EXPECT_EQ(imap[i], c.imapCalls) << "IMAP call " << i;
        // The address-book calls are the Extended MAPI host's alone.
        EXPECT_EQ(Bound(m.resolveName), c.addressBookCalls);
        EXPECT_EQ(Bound(m.compareMsgId), c.addressBookCalls);
    }
}

TEST(HostModule, NoLibraryBindsNothing) {
    const HostModule m = HostModule::Bind(nullptr);
    EXPECT_FALSE(m);
    EXPECT_FALSE(Bound(m.initialize));
    EXPECT_FALSE(Bound(m.logon));
    EXPECT_FALSE(Bound(m.imap4Commit));
}

// The exports both hosts share come from one source; loaded together, each still answers
// from its own session: a logon to the POP host leaves the IMAP host logged off.
TEST(HostModule, TwoHostsKeepTheirOwnSessions) {
    const platform::LoadedModule imapHost = Load("libHeronwick.so");
    const platform::LoadedModule popHost = Load("libFenwick.so");
    ASSERT_NE(imapHost.handle(), nullptr);
    ASSERT_NE(popHost.handle(), nullptr);
    const HostModule imap = HostModule::Bind(imapHost.handle());
    const HostModule pop = HostModule::Bind(popHost.handle());
    ASSERT_NE(imap.getAllMsgs, pop.getAllMsgs);
    ASSERT_EQ(imap.initialize(), 0);
    ASSERT_EQ(pop.initialize(), 0);

    // Only the SMTP side is usable: the logon succeeds without any connection.
    PopLogonRecord record{};
    record.user = "someone";
    record.smtpServer = "127.0.0.1";
    record.smtpPort = 1;
    record.serverUsable = 0;
    record.smtpUsable = 1;
    ASSERT_EQ(pop.logon(&record, 0, 1), 0);

    MailMsg** list = nullptr;
    int count = 0;
    EXPECT_EQ(imap.getAllMsgs(nullptr, &list, &count, 0), -1);  // not logged on
    EXPECT_EQ(pop.getAllMsgs(nullptr, &list, &count, 0), 213);  // logged on, no POP3 side
    EXPECT_EQ(list, nullptr);

    EXPECT_EQ(pop.uninitialize(), 0);
    EXPECT_EQ(imap.uninitialize(), 0);
    EXPECT_EQ(pop.getAllMsgs(nullptr, &list, &count, 0), -1);
}

}  // namespace
}  // namespace tess::engine::test
