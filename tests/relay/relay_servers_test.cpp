// The whole relay on real software: the running wayfarer watches the user's Maildir, which
// Dovecot delivers into; it forwards new mail to the handheld's address through the test
// SMTP server (delivered by Dovecot into that address's mailbox) and obeys control mails
// sealed as the handheld seals them. Faults: the SMTP server away, the relay killed and
// started again, a second relay.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/password_scrambler.h"
#include "platform/core/registry.h"
#include "platform/mapi/mail_client_registration.h"
#include "platform/mapi/maildir_backing.h"
#include "relay/relay_util.h"
#include "tests/relay/relay_test_support.h"
#include "tests/servers/server_fixture.h"

extern char** environ;

namespace tess::relay::test {

using tess::test::TempHome;
using tess::test::binaryDir;
using tess::test::MailServersTest;
using tess::test::LineClient;
using tess::test::base64;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A child process with its stderr in a file; killed when the object goes.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& errFile) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() { kill(SIGKILL); }
    void kill(int sig) {
        if (pid_ > 0) {
            ::kill(pid_, sig);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    // The exit code when it ended within the time, else -1.
    int waitExit(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }
    bool running() const { return pid_ > 0; }
    void signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }

private:
    pid_t pid_ = -1;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

template <typename F>
bool waitFor(F done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return done();
}

// Run once on each of the relay's roads: the profile's sending road (false) and the
// relay's own SMTP session (true).
class RelayOnRealServers : public MailServersTest, public ::testing::WithParamInterface<bool> {
protected:
    TempHome home;
    std::string key;
    std::unique_ptr<HandheldSeal> handheld;
    int userId = 0;
    std::string me, wireless;
    tess::CPluginRegistry registry;
    std::unique_ptr<Child> relay;

    void SetUp() override {
        MailServersTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("TESSALINE_RELAY_FIRST_RUN_WAIT_MS", "0", 1);
        me = servers().address(servers().user());
        wireless = servers().address(servers().user2());
        key = NewKeyRecord();
        handheld = std::make_unique<HandheldSeal>(key);
        ASSERT_EQ(platform::syncmgr::addUser("Relay", &userId), 0);
        SaveRelayUser(userId, wireless, key);
        ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/true"));
        platform::mapi::Profile p;
        p.name = "Work";
        p.isDefault = true;
        p.maildir = servers().maildir().string();
        p.smtpUrl = "smtp://127.0.0.1:" + std::to_string(servers().smtpPort());
        p.smtpUser = servers().user();
        p.smtpPassword = servers().password();
        p.identity = {"Tess User", "SMTP", me, {}};
        ASSERT_TRUE(platform::mapi::saveProfile(p));
        if (GetParam()) chooseSmtpRoad();
    }

    // The relay's settings name the test SMTP server: forwards and the handheld's mail go
    // through the relay's own SMTP session.
    void chooseSmtpRoad() {
        HKEY key = nullptr;
        const std::string path = std::string(tess::kProductKey) + "MsgRedir";
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
        auto text = [&](const char* name, const std::string& value) {
            ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const unsigned char*>(value.c_str()),
                                     DWORD(value.size() + 1)),
                      ERROR_SUCCESS);
        };
        text("SMTP Server", "127.0.0.1");
        text("SMTP User", servers().user());
        text("SMTP Password", tess::ScramblePassword(servers().password()));
        RegCloseKey(key);
        ASSERT_TRUE(registry.WriteRelayValue("SMTP Port", uint32_t(servers().smtpPort())));
    }
    void TearDown() override {
        relay.reset();
        if (smtpStopped_) restartSmtp();
    }

    fs::path logFile() { return platform::syncmgr::userDirectory(userId) / "Wayfarer.log"; }
    fs::path errFile() { return home.path() / "wayfarer.err"; }

    void startRelay() {
        relay =
            std::make_unique<Child>(std::vector<std::string>{(binaryDir() / "bin" / "wayfarer").string()}, errFile());
        ASSERT_TRUE(
            waitFor([&] { return slurp(logFile()).find("is running using profile: Work") != std::string::npos; }, 20s))
            << slurp(errFile()) << slurp(logFile());
    }

    void sendOverSmtp(const std::string& to, const std::string& subject, const std::string& body) {
        LineClient smtp(servers().smtpPort());
        smtp.smtpReply();
        smtp.sendLine("EHLO client.test");
        smtp.smtpReply();
        smtp.sendLine("AUTH PLAIN " +
                      base64(std::string(1, '\0') + servers().user2() + std::string(1, '\0') + servers().password2()));
        ASSERT_EQ(smtp.smtpReply().substr(0, 3), "235");
        smtp.sendLine("MAIL FROM:<" + wireless + ">");
        smtp.smtpReply();
        smtp.sendLine("RCPT TO:<" + to + ">");
        ASSERT_EQ(smtp.smtpReply().substr(0, 3), "250");
        smtp.sendLine("DATA");
        smtp.smtpReply();
        std::string text = "From: Handheld <" + wireless + ">\r\nTo: <" + to + ">\r\nSubject: " + subject +
                           "\r\nDate: Wed, 04 Mar 2026 05:06:07 +0000\r\nMessage-ID: <" + std::to_string(++sent_) +
                           "@client.test>\r\n\r\n" + body;
        if (text.substr(text.size() - 2) != "\r\n") text += "\r\n";
        smtp.send(text + ".\r\n");
        ASSERT_EQ(smtp.smtpReply().substr(0, 3), "250");
    }

    // What reached a Maildir, read through the MAPI stand-in's own backing.
    std::vector<platform::mapi::StoredMessage> mailbox(const fs::path& maildir) {
        platform::mapi::Profile p;
        p.name = "Reader";
        p.maildir = maildir.string();
        auto backing = platform::mapi::makeMaildirBacking(p);
        std::vector<platform::mapi::StoredMessage> out;
        if (backing->logon() == S_OK) backing->listMessages("", out);
        return out;
    }
    std::vector<platform::mapi::StoredMessage> handheldBox() { return mailbox(servers().maildir2()); }
    std::vector<std::string> rawHandheldFiles() {
        std::vector<std::string> out;
        for (const char* sub : {"new", "cur"}) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(servers().maildir2() / sub, ec)) out.push_back(slurp(e.path()));
        }
        return out;
    }
    size_t handheldCount() { return rawHandheldFiles().size(); }

    std::string unsealedSubject(platform::mapi::StoredMessage& m) {
        std::string plain;
        if (!handheld->unseal(Unbraced(m.props[PR_SUBJECT].str), plain)) return "<does not unseal>";
        return plain.c_str();
    }

    // The SMTP server away and back, the same program on the same port.
    void stopSmtp() {
        const fs::path pidFile = servers().dir() / "smtp.pid";
        const std::string pid = slurp(pidFile);
        smtpCmd_ = slurp("/proc/" + std::to_string(std::stoi(pid)) + "/cmdline");
        ::kill(-std::stoi(pid), SIGTERM);
        // A server an earlier test started again is this process's child: reap it, or
        // it stays as a zombie that kill(0) still finds.
        ASSERT_TRUE(waitFor(
            [&] {
                waitpid(std::stoi(pid), nullptr, WNOHANG);
                return ::kill(std::stoi(pid), 0) != 0;
            },
            30s));
        smtpStopped_ = true;
    }
    void restartSmtp() {
        std::vector<std::string> args;
        for (size_t at = 0; at < smtpCmd_.size();) {
            const size_t end = smtpCmd_.find('\0', at);
            args.push_back(smtpCmd_.substr(at, end - at));
            at = end == std::string::npos ? smtpCmd_.size() : end + 1;
        }
        fs::remove(servers().dir() / "smtp.ready");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, &attr, argv.data(), environ), 0);
        posix_spawnattr_destroy(&attr);
        std::ofstream(servers().dir() / "smtp.pid") << pid << "\n";
        smtpStopped_ = false;
        ASSERT_TRUE(waitFor([&] { return fs::exists(servers().dir() / "smtp.ready"); }, 20s));
    }

    int sent_ = 0;
    std::string smtpCmd_;
    bool smtpStopped_ = false;
};

TEST_P(RelayOnRealServers, ForwardsNewMailAndObeysControlMails) {
    startRelay();
    sendOverSmtp(me, "Quarterly figures", "The figures are in.\r\nRegards");
    ASSERT_TRUE(waitFor([&] { return handheldCount() == 1; }, 30s)) << slurp(logFile());
    const std::string raw = rawHandheldFiles()[0];
    EXPECT_NE(raw.find("To: " + wireless), std::string::npos) << raw.substr(0, 600);
    auto box = handheldBox();
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(unsealedSubject(box[0]), "Quarterly figures");
    std::string body = box[0].props[PR_BODY].str;
    const int length = std::atoi(body.substr(0, 4).c_str());
    ASSERT_GT(length, 0);
    const std::string top = body.substr(6, size_t(length));
    EXPECT_EQ(top.rfind("X-CORVID-FROM: <", 0), 0u);
    EXPECT_NE(top.find("\r\nX-CORVID-ENTID: <"), std::string::npos);
    EXPECT_NE(top.find("\r\nX-CORVID-SOURCE: <"), std::string::npos);
    const size_t headAt = top.find(">\r\n", top.find("X-CORVID-SOURCE")) + 3;
    std::string header;
    ASSERT_TRUE(handheld->unseal(top.substr(headAt), header));
    EXPECT_NE(header.find("From: " + wireless + "\r\n"), std::string::npos) << header;
    EXPECT_NE(header.find("Subject: Quarterly figures\r\n\r\n"), std::string::npos) << header;
    std::string rest = body.substr(6 + size_t(length));
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    ASSERT_FALSE(rest.empty());
    // The profile's road ends the body with "{"; the SMTP road ends it with the last piece.
    if (GetParam()) {
        EXPECT_NE(rest.back(), '{');
    } else {
        ASSERT_EQ(rest.back(), '{');
        rest.pop_back();
    }
    std::string text;
    ASSERT_TRUE(handheld->unseal(rest, text));
    EXPECT_EQ(std::string(text.c_str()), "The figures are in.\r\nRegards\r\n") << "the body as the message carried it";

    // A control mail from the handheld makes the relay send a mail from the desktop.
    sendOverSmtp(
        me, "???E-N-2    Wayfarer Message - Do Not Delete",
        handheld->seal("To: <" + wireless + ">\r\nSubject: Sent from the road\r\n\r\nHello from the handheld"));
    ASSERT_TRUE(waitFor([&] { return handheldCount() == 2; }, 30s)) << slurp(logFile());
    bool found = false;
    for (auto& m : handheldBox())
        if (m.props[PR_SUBJECT].str == "Sent from the road") {
            found = true;
            EXPECT_EQ(relay::Trimmed(m.props[PR_BODY].str), "Hello from the handheld");
        }
    EXPECT_TRUE(found);
    ASSERT_TRUE(waitFor([&] { return mailbox(servers().maildir()).size() == 1; }, 30s))
        << "the control mail is removed";
    // The relay logs after the mail system took the mail: wait for the line.
    EXPECT_TRUE(waitFor(
        [&] {
            return slurp(logFile()).find("Successfully sent Device New eMail; Subject: Sent from the road") !=
                   std::string::npos;
        },
        30s));

    // Wrong key and an unsealed body: logged, removed, nothing sent.
    HandheldSeal stranger(NewKeyRecord());
    sendOverSmtp(me, "???E-N-2    Wayfarer Message - Do Not Delete", stranger.seal("To: <" + wireless + ">\r\n\r\nx"));
    ASSERT_TRUE(
        waitFor([&] { return slurp(logFile()).find("Unable to decode control message") != std::string::npos; }, 30s));
    ASSERT_TRUE(waitFor([&] { return mailbox(servers().maildir()).size() == 1; }, 30s));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(handheldCount(), 2u);
}

TEST_P(RelayOnRealServers, SmtpAwayForwardsOnceWhenBack) {
    startRelay();
    stopSmtp();
    // Dovecot's delivery agent is not behind SMTP here: the mail lands in new/ directly.
    const fs::path tmp = servers().maildir() / "tmp" / "away.1.host";
    std::ofstream(tmp, std::ios::binary)
        << "From: alice@example.test\r\nTo: " << me
        << "\r\nSubject: While away\r\nDate: Wed, 04 Mar 2026 05:06:07 +0000\r\n\r\nbody\r\n";
    fs::rename(tmp, servers().maildir() / "new" / "away.1.host");
    ASSERT_TRUE(waitFor(
        [&] {
            return slurp(logFile()).find("Unable to forward Officewide Post; Subject: While away") != std::string::npos;
        },
        30s))
        << slurp(logFile());
    restartSmtp();
    ASSERT_TRUE(waitFor([&] { return handheldCount() == 1; }, 30s)) << slurp(logFile());
    std::this_thread::sleep_for(7s);  // more poll ticks: nothing is sent again
    EXPECT_EQ(handheldCount(), 1u);
}

TEST_P(RelayOnRealServers, KilledRelayPicksUpControlMailsAndSendsNothingTwice) {
    startRelay();
    sendOverSmtp(me, "Before the crash", "one");
    ASSERT_TRUE(waitFor([&] { return handheldCount() == 1; }, 30s)) << slurp(logFile());
    relay->kill(SIGKILL);
    sendOverSmtp(me, "???E-N-2    Wayfarer Message - Do Not Delete",
                 handheld->seal("To: <" + wireless + ">\r\nSubject: Queued while down\r\n\r\nlater"));
    ASSERT_TRUE(waitFor([&] { return mailbox(servers().maildir()).size() == 2; }, 30s));
    startRelay();
    ASSERT_TRUE(waitFor([&] { return handheldCount() == 2; }, 30s)) << slurp(logFile());
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(handheldCount(), 2u) << "the mail forwarded before the crash is not forwarded again";
    auto subjects = [&] {
        std::vector<std::string> s;
        for (auto& m : mailbox(servers().maildir())) s.push_back(m.props[PR_SUBJECT].str);
        return s;
    };
    EXPECT_EQ(subjects(), (std::vector<std::string>{"Before the crash"}));
}

TEST_P(RelayOnRealServers, ASecondRelayIsRefused) {
    startRelay();
    Child second({(binaryDir() / "bin" / "wayfarer").string()}, home.path() / "second.err");
    EXPECT_EQ(second.waitExit(20s), 1);
    EXPECT_NE(slurp(home.path() / "second.err").find("Corvid(TM) Wayfarer is already running in the system tray."),
              std::string::npos)
        << slurp(home.path() / "second.err");
    EXPECT_TRUE(relay->running());
}

TEST_P(RelayOnRealServers, WithoutATraySigtermEndsTheRelayAsItsExitDoes) {
    startRelay();
    EXPECT_NE(slurp(errFile()).find("wayfarer: no system tray here; running without an icon"), std::string::npos)
        << slurp(errFile());
    relay->signal(SIGTERM);
    EXPECT_EQ(relay->waitExit(20s), 0);
    EXPECT_NE(slurp(logFile()).find("Wayfarer: Shutdown of Corvid(TM) Wayfarer is complete."), std::string::npos)
        << slurp(logFile());
}

INSTANTIATE_TEST_SUITE_P(Roads, RelayOnRealServers, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& road) { return road.param ? "Smtp" : "Profile"; });

}  // namespace
}  // namespace tess::relay::test
