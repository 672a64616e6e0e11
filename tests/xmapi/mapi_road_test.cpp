// The whole road for the desktop-client accounts on real software: Dovecot delivers mail
// over LMTP into the Maildir of a MAPI profile, a synchronisation through each host brings
// it to the handheld, the handheld's deletes and read marks reach the Maildir (Dovecot
// sees them over IMAP), and mail written on the handheld leaves through the profile's
// SMTP submission with a Sent copy. A Maildir or an SMTP server that fails mid-way loses
// nothing on either side.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <thread>

#include "platform/mapi/mail_client_registration.h"
#include "platform/mapi/profiles.h"
#include "tests/engine/engine_world.h"
#include "tests/servers/server_fixture.h"

namespace tess::engine::test {
namespace {

using tess::test::ImapAdmin;
namespace fs = std::filesystem;

// One message through Dovecot's LMTP socket.
bool DeliverOverLmtp(const fs::path& socketPath, const std::string& to, const std::string& message) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    std::string pending;
    auto reply = [&]() {
        std::string line;
        for (;;) {
            const size_t eol = pending.find("\r\n");
            if (eol != std::string::npos) {
                line = pending.substr(0, eol);
                pending.erase(0, eol + 2);
                if (line.size() < 4 || line[3] != '-') return line;
                continue;
            }
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) return std::string();
            pending.append(buf, size_t(n));
        }
    };
    auto say = [&](const std::string& text) { return ::write(fd, text.data(), text.size()) == ssize_t(text.size()); };
    bool ok = reply().rfind("220", 0) == 0;
    ok = ok && say("LHLO road.test\r\n") && reply().rfind("250", 0) == 0;
    ok = ok && say("MAIL FROM:<bob@example.org>\r\n") && reply().rfind("250", 0) == 0;
    ok = ok && say("RCPT TO:<" + to + ">\r\n") && reply().rfind("250", 0) == 0;
    ok = ok && say("DATA\r\n") && reply().rfind("354", 0) == 0;
    ok = ok && say(message + ".\r\n") && reply().rfind("250", 0) == 0;
    say("QUIT\r\n");
    ::close(fd);
    return ok;
}

struct Road {
    const char* name;
    const char* library;
    int32_t client;  // the account's mail client
    int hostIndex;   // its place in the engine's host table
};

class MapiRoad : public tess::test::MailServersTest, public testing::WithParamInterface<Road> {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        world_ = std::make_unique<EngineWorld>();
        FreeLibrary(world_->host);
        world_->host = nullptr;
        host_ = LoadLibraryA((tess::test::libDir() / GetParam().library).c_str());
        ASSERT_NE(host_, nullptr);
        ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/true"));
        SaveProfile(servers().smtpPort());
        DesktopAccount d;
        d.client = GetParam().client;
        d.profile = "Desk";
        d.days = 0;
        d.sizeKb = 400;
        handheld_app::AccountSetup h;
        h.protocolWord = 0;
        h.email = servers().address(servers().user());
        world_->ImapAccount(0, d, h);
    }
    void TearDown() override {
        world_.reset();
        if (host_) FreeLibrary(host_);
    }

    void SaveProfile(int smtpPort) {
        platform::mapi::Profile p;
        p.name = "Desk";
        p.isDefault = true;
        p.maildir = servers().maildir().string();
        p.smtpUrl = "smtp://127.0.0.1:" + std::to_string(smtpPort);
        p.smtpUser = servers().user();
        p.smtpPassword = servers().password();
        p.identity = {"Tess User", "SMTP", servers().address(servers().user()), {}};
        ASSERT_TRUE(platform::mapi::saveProfile(p));
    }

    int Sync() {
        SyncProperties p{};
        HMODULE hosts[5] = {};
        hosts[GetParam().hostIndex] = host_;
        platform::syncmgr::clearCapturedLog();
        return SynchronizeMail(0, &p, hosts, 4, world_->userId);
    }

    void Deliver(const std::string& subject) {
        const std::string to = servers().address(servers().user());
        const std::string text = "From: Bob <bob@example.org>\r\nTo: " + to + "\r\nSubject: " + subject +
                                 "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject +
                                 "@example.org>\r\n\r\nBody of " + subject + "\r\n";
        ASSERT_TRUE(DeliverOverLmtp(servers().dir() / "main" / "run" / "lmtp", to, text)) << subject;
    }

    ImapAdmin& Imap() {
        if (!imap_) imap_ = std::make_unique<ImapAdmin>(servers().imapPort(), servers().user(), servers().password());
        return *imap_;
    }
    std::vector<std::string> Command(const std::string& line) { return Imap().Command(line); }
    // Each message of the mailbox as "<subject> <flags>", sorted.
    std::vector<std::string> Mailbox(const std::string& name) {
        Command("UNSELECT");
        Command("SELECT \"" + name + "\"");
        std::vector<std::string> out;
        const auto lines = Command("FETCH 1:* (FLAGS BODY.PEEK[HEADER.FIELDS (SUBJECT)])");
        for (size_t i = 0; i < lines.size(); ++i) {
            const size_t f = lines[i].find("FLAGS (");
            if (f == std::string::npos) continue;
            const std::string flags = lines[i].substr(f + 7, lines[i].find(')', f) - f - 7);
            std::string subject;
            for (size_t j = i + 1; j < lines.size() && subject.empty(); ++j)
                if (lines[j].rfind("Subject: ", 0) == 0) subject = lines[j].substr(9);
            out.push_back(subject + (flags.find("\\Seen") != std::string::npos ? " seen" : ""));
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    EngineWorld& W() { return *world_; }

    std::unique_ptr<EngineWorld> world_;
    HMODULE host_ = nullptr;
    std::unique_ptr<ImapAdmin> imap_;
};

TEST_P(MapiRoad, DeliveredMailReachesTheHandheldAndItsChangesComeBack) {
    Deliver("one");
    Deliver("two");
    Deliver("three");
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"one", "three", "two"})) << EngineWorld::Log();
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(W().Subjects(0).size(), 3u) << "nothing added twice";

    ASSERT_EQ(handheld_app::DeleteMessage(W().handheld, W().RecordOf("two")), 0);
    ASSERT_EQ(handheld_app::MarkRead(W().handheld, W().RecordOf("one"), true), 0);
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(Mailbox("INBOX"), (std::vector<std::string>{"one seen", "three"}));
    EXPECT_EQ(Mailbox("Trash"), (std::vector<std::string>{"two seen"}));
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"one", "three"})) << EngineWorld::Log();
    EXPECT_EQ(handheld_app::RecordCount(W().handheld, "Larkspur Disconnected"), 0);
}

TEST_P(MapiRoad, HandheldMailLeavesOverSmtpWithASentCopy) {
    const std::string me = servers().address(servers().user());
    ASSERT_EQ(handheld_app::ComposeOutbox(W().handheld, 0, me, "from the handheld", "written on the road", {}, nullptr),
              0);
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    const auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u) << EngineWorld::Log();
    EXPECT_NE(captured[0].find("Subject: from the handheld"), std::string::npos) << captured[0];
    EXPECT_NE(captured[0].find("written on the road"), std::string::npos);
    EXPECT_EQ(Mailbox("Sent"), (std::vector<std::string>{"from the handheld seen"}));
    EXPECT_TRUE(W().Subjects(1).empty()) << "the outbox is empty once sent";
}

TEST_P(MapiRoad, AFailingSmtpServerLosesNothing) {
    // Nothing listens there: the submission fails.
    const int closed = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(fd);
        return int(ntohs(a.sin_port));
    }();
    SaveProfile(closed);
    const std::string me = servers().address(servers().user());
    ASSERT_EQ(handheld_app::ComposeOutbox(W().handheld, 0, me, "must not be lost", "still here", {}, nullptr), 0);
    Sync();
    EXPECT_TRUE(servers().captured().empty());
    EXPECT_EQ(W().Subjects(1), (std::vector<std::string>{"must not be lost"})) << EngineWorld::Log();
    EXPECT_TRUE(Mailbox("Sent").empty());

    SaveProfile(servers().smtpPort());
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(servers().captured().size(), 1u) << EngineWorld::Log();
    EXPECT_TRUE(W().Subjects(1).empty());
    EXPECT_EQ(Mailbox("Sent"), (std::vector<std::string>{"must not be lost seen"}));
}

TEST_P(MapiRoad, AFailingMaildirLosesNothing) {
    Deliver("one");
    Deliver("two");
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(W().Subjects(0), (std::vector<std::string>{"one", "two"})) << EngineWorld::Log();
    ASSERT_EQ(handheld_app::DeleteMessage(W().handheld, W().RecordOf("two")), 0);

    // The Inbox's folders cannot be read: in their place stand plain files.
    const fs::path inbox = servers().maildir();
    fs::rename(inbox / "cur", inbox / "cur.away");
    fs::rename(inbox / "new", inbox / "new.away");
    std::ofstream(inbox / "cur") << "";
    std::ofstream(inbox / "new") << "";
    Sync();
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"one"})) << EngineWorld::Log();
    fs::remove(inbox / "cur");
    fs::remove(inbox / "new");
    fs::rename(inbox / "cur.away", inbox / "cur");
    fs::rename(inbox / "new.away", inbox / "new");
    EXPECT_EQ(Mailbox("INBOX"), (std::vector<std::string>{"one", "two"})) << "nothing went while the Maildir failed";

    // Back: the delete the handheld kept waiting reaches the Maildir.
    ASSERT_EQ(Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(Mailbox("INBOX"), (std::vector<std::string>{"one"}));
    EXPECT_EQ(Mailbox("Trash"), (std::vector<std::string>{"two seen"}));
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"one"}));
}

INSTANTIATE_TEST_SUITE_P(Hosts, MapiRoad,
                         testing::Values(Road{"ExtendedMapi", "libCopperfen.so", 4, 0},
                                         Road{"SimpleMapi", "libThistledown.so", 1, 1}),
                         [](const testing::TestParamInfo<Road>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace tess::engine::test
