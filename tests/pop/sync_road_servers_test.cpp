// The whole synchronisation road with the real hosts: a desktop user whose emulated
// handheld has an IMAP account and a POP account, synchronised by `tallyhop sync` (the
// conduit entry, the engine, both hosts) against the private Dovecot, then changed on
// both sides and synchronised again.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "engine/tidewater.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/servers/server_fixture.h"
#include "tests/support/test_home.h"
#include "tools/handheld_app/handheld_app.h"
#include "tools/tallyhop/runtime_setup.h"
#include "tools/tallyhop/sync_command.h"

namespace {

using tess::test::LineClient;

class QuietEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

std::string Mail(const std::string& subject, int hoursAgo = 2) {
    char date[64];
    std::time_t when = std::time(nullptr) - hoursAgo * 3600L;
    std::tm tm{};
    gmtime_r(&when, &tm);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return "From: Ann <ann@tess.test>\r\nTo: tess@tess.test\r\nSubject: " + subject + "\r\nDate: " + date +
           "\r\n\r\nBody of " + subject + ".\r\n";
}

// A loopback relay on a port below 32768 to a server port: the handheld keeps ports as
// signed 16-bit values and a POP port "below 1" is replaced by 110, so a test server on
// an ephemeral port (32768 and up) cannot be named on the handheld directly.
class LowPortRelay {
public:
    explicit LowPortRelay(int target) : target_(target) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (port_ = 20000 + getpid() % 5000; port_ < 32000; ++port_) {
            a.sin_port = htons(static_cast<uint16_t>(port_));
            if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) break;
        }
        ::listen(listen_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LowPortRelay() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    // While held, an accepted connection waits before it is passed on: a synchronisation
    // stands still at its POP account for as long as a test needs.
    void Hold() { held_ = true; }
    void Release() { held_ = false; }
    // While set, a connection is cut when the client sends QUIT, before the server sees it:
    // a session that ends without QUIT, as a server that drops it would end it.
    void CutAtQuit(bool cut) { cutAtQuit_ = cut; }
    int accepted() const { return accepted_; }
    // The connection is cut, both ways and without a word, when the client sends its
    // count-th command that begins with the prefix (upper case): the server is lost in
    // mid-session.
    void CutAtCommand(const std::string& prefix, int count) {
        cutPrefix_ = prefix;
        cutCount_ = count;
    }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            int client = ::accept(listen_, nullptr, nullptr);
            if (client < 0) continue;
            ++accepted_;
            while (held_ && !stop_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(target_));
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) Pump(client, server);
            ::close(server);
            ::close(client);
        }
    }
    // One connection at a time, bytes both ways until either side closes.
    void Pump(int a, int b) {
        char buf[16384];
        while (!stop_) {
            pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
            if (::poll(p, 2, 100) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                if (n > 0 && i == 0 &&
                    ((cutAtQuit_ && strncasecmp(buf, "quit", n < 4 ? n : 4) == 0) ||
                     CutNow(std::string(buf, static_cast<std::size_t>(n)))))
                    return;
                if (n <= 0 || ::send(p[1 - i].fd, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
            }
        }
    }

    bool CutNow(std::string fromClient) {
        if (cutCount_ <= 0) return false;
        // Commands are case-insensitive.
        for (char& ch : fromClient) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        for (std::size_t at = 0; (at = fromClient.find(cutPrefix_, at)) != std::string::npos; at += cutPrefix_.size())
            if (at == 0 || fromClient[at - 1] == '\n') --cutCount_;
        return cutCount_ <= 0;
    }

    int target_;
    std::string cutPrefix_;
    int cutCount_ = 0;  // set before the connection is made
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> cutAtQuit_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

class SyncRoad : public tess::test::MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        std::ostringstream out, err;
        tallyhop::InitOptions o;
        o.userName = "road";
        ASSERT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
        platform::syncmgr::resetSession();
        platform::syncmgr::useHandheld(handheld_);
        ASSERT_EQ(RosterGetUserIdByIndex(0, &userId_), 0);
        platform::syncmgr::setSessionUser(userId_);
        handheld_app::SetFreeSpace(handheld_, 64u << 20);
        ASSERT_EQ(CreateIniFileSettings(userId_), 0);

        Account(0, "Work IMAP", 7, 1, servers().imapPort(), servers().user(), servers().password());
        popRelay_ = std::make_unique<LowPortRelay>(servers().pop3Port());
        Account(1, "Home POP", 8, 0, popRelay_->port(), servers().user2(), servers().password2());
    }

    // One account on the handheld and its desktop side, as the configuration leaves it.
    void Account(int n, const std::string& name, int32_t client, uint16_t protocolWord, int port,
                 const std::string& user, const std::string& password) {
        handheld_app::AccountSetup h;
        h.number = n;
        h.name = name;
        h.protocolWord = protocolWord;
        h.server = servers().host();
        h.port = static_cast<uint16_t>(port);
        h.smtpServer = servers().host();
        h.smtpPort = static_cast<uint16_t>(servers().smtpPort());
        h.user = user;
        h.password = password;
        h.email = servers().address(user);
        h.smtpLogin = true;  // the SMTP server takes mail only after AUTH LOGIN
        if (protocolWord == 0) h.folders = {"Inbox", "Outbox", "Trash"};
        ASSERT_EQ(handheld_app::ConfigureAccount(handheld_, h), 0);

        QuietEnvironment env;
        tess::accounts::AccountInit init;
        init.userId = userId_;
        init.accountNumber = n;
        init.userDirectory = (platform::syncmgr::userDirectory(userId_) / "Tessaline").string();
        tess::accounts::CMailAccount a(init, env);
        a.Load();
        a.SetAccountName(name.c_str(), 0);
        const int32_t one = 1, days = 30, sizeKb = 64;
        a.SetValue(tess::accounts::kValueMailClient, &client, 4);
        a.SetValue(tess::accounts::kValueActive, &one, 4);
        a.SetValue(tess::accounts::kValueDaysToSync, &days, 4);
        a.SetValue(tess::accounts::kValueSyncInbox, &one, 4);
        a.SetValue(tess::accounts::kValueSyncOutbox, &one, 4);
        a.SetValue(tess::accounts::kValueMessageSize, &sizeKb, 4);
        ASSERT_NE(a.Save(), 0);
    }

    // One `tallyhop sync`; its output (the sync log of the run) is kept for messages.
    int Sync() {
        std::ostringstream out, err;
        tallyhop::SyncOptions o;
        o.userName = "road";
        const int rc = tallyhop::runSync(o, out, err);
        log_ = out.str() + err.str();
        return rc;
    }
    std::string Log() const { return log_; }

    // `tallyhop sync` as its own process, its output into the file.
    pid_t StartSyncProcess(const std::filesystem::path& output) {
        const std::string program = (tess::test::binaryDir() / "bin" / "tallyhop").string();
        const std::string file = output.string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("sync"), const_cast<char*>("--user"),
                        const_cast<char*>("road"), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    // The process's exit status once it has ended within the time, else -1 (it runs on).
    static int ExitWithin(pid_t pid, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // Waits (bounded) until the POP relay has taken a connection.
    bool PopConnectionWithin(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (popRelay_->accepted() == 0) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    std::vector<std::string> Subjects(int account, int category = 0) {
        std::vector<std::string> out;
        for (const auto& m : handheld_app::ListFolder(handheld_, category))
            if (m.account == account) out.push_back(m.msg.Subject);
        std::sort(out.begin(), out.end());
        return out;
    }
    uint32_t RecordOf(int account, const std::string& subject) {
        for (const auto& m : handheld_app::ListFolder(handheld_, 0))
            if (m.account == account && m.msg.Subject == subject) return m.recordId;
        return 0;
    }

    // Mail stored in a user's Inbox through IMAP (the POP user's too: one Maildir tree).
    void Deliver(const std::string& user, const std::string& password, const std::string& text) {
        LineClient imap(servers().imapPort());
        imap.readLine();
        imap.imapCommand("a1", "LOGIN " + user + " " + password);
        imap.sendLine("a2 APPEND INBOX {" + std::to_string(text.size()) + "}");
        ASSERT_EQ(imap.readLine().substr(0, 1), "+");
        imap.send(text + "\r\n");
        std::string last;
        do last = imap.readLine();
        while (last.rfind("a2 ", 0) != 0);
        ASSERT_NE(last.find("a2 OK"), std::string::npos) << last;
    }
    // Subjects in a user's Inbox, from the server.
    std::vector<std::string> ServerSubjects(const std::string& user, const std::string& password) {
        LineClient imap(servers().imapPort());
        imap.readLine();
        imap.imapCommand("a1", "LOGIN " + user + " " + password);
        imap.imapCommand("a2", "SELECT INBOX");
        std::vector<std::string> out;
        for (const auto& line : imap.imapCommand("a3", "FETCH 1:* (BODY.PEEK[HEADER.FIELDS (SUBJECT)])")) {
            if (line.rfind("Subject: ", 0) == 0) out.push_back(line.substr(9));
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    const std::string handheld_ = "default";
    tess::test::TempHome home_;
    std::unique_ptr<LowPortRelay> popRelay_;
    int userId_ = 0;
    std::string log_;
};

TEST_F(SyncRoad, ImapAndPopAccountsBothWays) {
    for (const char* s : {"imap one", "imap two", "imap three"})
        Deliver(servers().user(), servers().password(), Mail(s));
    for (const char* s : {"pop one", "pop two"}) Deliver(servers().user2(), servers().password2(), Mail(s));

    ASSERT_EQ(Sync(), 0) << Log();
    EXPECT_EQ(Subjects(0), (std::vector<std::string>{"imap one", "imap three", "imap two"})) << Log();
    EXPECT_EQ(Subjects(1), (std::vector<std::string>{"pop one", "pop two"})) << Log();

    // Both sides change: new mail on the servers, deletions on the handheld.
    Deliver(servers().user(), servers().password(), Mail("imap four", 1));
    Deliver(servers().user2(), servers().password2(), Mail("pop three", 1));
    const uint32_t imapTwo = RecordOf(0, "imap two");
    const uint32_t popOne = RecordOf(1, "pop one");
    ASSERT_NE(imapTwo, 0u);
    ASSERT_NE(popOne, 0u);
    ASSERT_EQ(handheld_app::DeleteMessage(handheld_, imapTwo), 0);
    ASSERT_EQ(handheld_app::DeleteMessage(handheld_, popOne), 0);
    uint32_t outboxRecord = 0;
    ASSERT_EQ(handheld_app::ComposeOutbox(handheld_, 0, servers().address(servers().user2()), "from the handheld",
                                          "Written on the train.", {}, &outboxRecord),
              0);

    ASSERT_EQ(Sync(), 0) << Log();
    EXPECT_EQ(Subjects(0), (std::vector<std::string>{"imap four", "imap one", "imap three"})) << Log();
    // The IMAP account sends before the POP account is read: the mail is there already.
    EXPECT_EQ(Subjects(1), (std::vector<std::string>{"from the handheld", "pop three", "pop two"})) << Log();
    EXPECT_EQ(ServerSubjects(servers().user(), servers().password()),
              (std::vector<std::string>{"imap four", "imap one", "imap three"}));
    // The outbox mail went out through SMTP and landed in the POP user's mailbox.
    const auto sent = servers().captured();
    ASSERT_EQ(sent.size(), 1u) << Log();
    EXPECT_NE(sent[0].find("Subject: from the handheld"), std::string::npos);
    EXPECT_NE(sent[0].find("Written on the train."), std::string::npos);
    EXPECT_TRUE(Subjects(0, handheld_app::kOutbox).empty()) << Log();
    EXPECT_EQ(ServerSubjects(servers().user2(), servers().password2()),
              (std::vector<std::string>{"from the handheld", "pop three", "pop two"}));

    // A third synchronisation with nothing changed changes nothing and sends nothing again.
    ASSERT_EQ(Sync(), 0) << Log();
    EXPECT_EQ(Subjects(1), (std::vector<std::string>{"from the handheld", "pop three", "pop two"})) << Log();
    EXPECT_EQ(Subjects(0), (std::vector<std::string>{"imap four", "imap one", "imap three"})) << Log();
    EXPECT_EQ(servers().captured().size(), 1u);
}

// POP deletions take effect only at QUIT. Deleting more messages on the handheld than the
// server tolerates refused commands (it ends the session after about twenty) still removes
// every one from the server, and a session that ends without QUIT keeps the handheld's
// deletions for the next synchronisation instead of bringing the messages back.
TEST_F(SyncRoad, PopDeletionsReachTheServerOnlyThroughQuit) {
    struct Case {
        const char* name;
        int messages;
        int deleted;
        bool cutFirstQuit;
    };
    for (const Case& c : {Case{"many deletions", 25, 22, false}, Case{"session cut before QUIT", 5, 3, true}}) {
        SCOPED_TRACE(c.name);
        {
            // Each case starts from an empty mailbox on both sides.
            LineClient imap(servers().imapPort());
            imap.readLine();
            imap.imapCommand("a1", "LOGIN " + servers().user2() + " " + servers().password2());
            imap.imapCommand("a2", "SELECT INBOX");
            imap.imapCommand("a3", "STORE 1:* +FLAGS.SILENT (\\Deleted)");
            imap.imapCommand("a4", "EXPUNGE");
        }
        ASSERT_EQ(Sync(), 0) << Log();
        ASSERT_TRUE(Subjects(1).empty()) << Log();
        std::vector<std::string> all, kept;
        for (int i = 0; i < c.messages; ++i) {
            char subject[32];
            std::snprintf(subject, sizeof subject, "pop %02d", i);
            Deliver(servers().user2(), servers().password2(), Mail(subject));
            all.push_back(subject);
            if (i >= c.deleted) kept.push_back(subject);
        }
        ASSERT_EQ(Sync(), 0) << Log();
        ASSERT_EQ(Subjects(1), all) << Log();
        for (int i = 0; i < c.deleted; ++i) {
            const uint32_t record = RecordOf(1, all[static_cast<std::size_t>(i)]);
            ASSERT_NE(record, 0u);
            ASSERT_EQ(handheld_app::DeleteMessage(handheld_, record), 0);
        }
        if (c.cutFirstQuit) {
            popRelay_->CutAtQuit(true);
            Sync();
            popRelay_->CutAtQuit(false);
            // The server rolled the deletions back; the handheld still shows them done.
            EXPECT_EQ(ServerSubjects(servers().user2(), servers().password2()), all) << Log();
            EXPECT_EQ(Subjects(1), kept) << Log();
        }
        ASSERT_EQ(Sync(), 0) << Log();
        EXPECT_EQ(ServerSubjects(servers().user2(), servers().password2()), kept) << Log();
        EXPECT_EQ(Subjects(1), kept) << Log();
        ASSERT_EQ(Sync(), 0) << Log();
        EXPECT_EQ(Subjects(1), kept) << Log();
    }
}

// A second `tallyhop sync` for the user while the first runs (held at its POP account) is
// refused with a message and a failure status; the first sends each outbox mail once and
// stores each new mail once.
TEST_F(SyncRoad, SecondSyncWhileOneRunsIsRefused) {
    Deliver(servers().user(), servers().password(), Mail("imap one"));
    Deliver(servers().user2(), servers().password2(), Mail("pop one"));
    for (const char* subject : {"first from the handheld", "second from the handheld"})
        ASSERT_EQ(handheld_app::ComposeOutbox(handheld_, 0, servers().address(servers().user2()), subject, "Text.", {},
                                              nullptr),
                  0);

    popRelay_->Hold();
    const auto firstLog = home_.path() / "first.log", secondLog = home_.path() / "second.log";
    const pid_t first = StartSyncProcess(firstLog);
    ASSERT_GT(first, 0);
    if (!PopConnectionWithin(std::chrono::seconds(60))) {
        popRelay_->Release();
        ExitWithin(first, std::chrono::seconds(120));
        FAIL() << "the first synchronisation never reached its POP account\n" << ReadFile(firstLog);
    }
    const pid_t second = StartSyncProcess(secondLog);
    ASSERT_GT(second, 0);
    int secondStatus = ExitWithin(second, std::chrono::seconds(30));
    const bool secondEndedAlone = secondStatus != -1;
    popRelay_->Release();
    if (secondStatus == -1) secondStatus = ExitWithin(second, std::chrono::seconds(120));
    const int firstStatus = ExitWithin(first, std::chrono::seconds(120));

    const std::string secondText = ReadFile(secondLog);
    EXPECT_EQ(firstStatus, 0) << ReadFile(firstLog);
    EXPECT_TRUE(secondEndedAlone) << "the second synchronisation waited for the first\n" << secondText;
    EXPECT_EQ(secondStatus, 1) << secondText;
    EXPECT_NE(secondText.find("A synchronisation for this handheld is already running"), std::string::npos)
        << secondText;

    std::vector<std::string> sent;
    for (const auto& mail : servers().captured())
        for (const char* subject : {"first from the handheld", "second from the handheld"})
            if (mail.find(std::string("Subject: ") + subject) != std::string::npos) sent.push_back(subject);
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"first from the handheld", "second from the handheld"}));
    EXPECT_EQ(Subjects(0), (std::vector<std::string>{"imap one"}));
    EXPECT_EQ(Subjects(1),
              (std::vector<std::string>{"first from the handheld", "pop one", "second from the handheld"}));
    EXPECT_TRUE(Subjects(0, handheld_app::kOutbox).empty());
}

// A synchronisation killed while it runs leaves no lock behind: the next one runs.
TEST_F(SyncRoad, KilledSyncBlocksNoLaterOne) {
    Deliver(servers().user2(), servers().password2(), Mail("pop one"));
    popRelay_->Hold();
    const auto killedLog = home_.path() / "killed.log";
    const pid_t killed = StartSyncProcess(killedLog);
    ASSERT_GT(killed, 0);
    const bool reached = PopConnectionWithin(std::chrono::seconds(60));
    ::kill(killed, SIGKILL);
    ExitWithin(killed, std::chrono::seconds(60));
    popRelay_->Release();
    ASSERT_TRUE(reached) << ReadFile(killedLog);

    ASSERT_EQ(Sync(), 0) << Log();
    EXPECT_EQ(Subjects(1), (std::vector<std::string>{"pop one"})) << Log();
}

// What failed for an account is said once, in one line that names it; the account's work
// stops, the other account goes on, the run's result says an account failed, and the
// handheld keeps the mail it had.
class SyncRoadFailure : public SyncRoad {
protected:
    // The lines of the run's log that say the POP account failed.
    int FailureLines() const {
        std::istringstream in(log_);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            if (line.find("Home POP") != std::string::npos && line.find("failed") != std::string::npos) ++n;
        return n;
    }
    // The most times one line of the log repeats.
    int MostRepeatedLine() const {
        std::istringstream in(log_);
        std::map<std::string, int> seen;
        int most = 0;
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) most = std::max(most, ++seen[line]);
        return most;
    }
    // The accounts synchronised once; then new mail on both servers, the POP account's
    // road broken by breakPop, and a second synchronisation whose failure line says why.
    void CheckAccountFailure(const std::function<void()>& breakPop, const std::string& why) {
        Deliver(servers().user(), servers().password(), Mail("imap one"));
        Deliver(servers().user2(), servers().password2(), Mail("pop one"));
        ASSERT_EQ(Sync(), 0) << Log();
        ASSERT_EQ(Subjects(1), (std::vector<std::string>{"pop one"})) << Log();

        Deliver(servers().user(), servers().password(), Mail("imap later", 1));
        for (int i = 0; i < 40; ++i)
            Deliver(servers().user2(), servers().password2(), Mail("pop " + std::to_string(i), 1));
        breakPop();
        EXPECT_NE(Sync(), 0) << Log();
        EXPECT_EQ(FailureLines(), 1) << Log();
        EXPECT_NE(Log().find(why), std::string::npos) << Log();
        EXPECT_LE(MostRepeatedLine(), 2) << Log();
        EXPECT_EQ(Log().find("finished with result 0"), std::string::npos) << Log();
        EXPECT_EQ(Subjects(1), (std::vector<std::string>{"pop one"})) << Log();
        // The IMAP account is synchronised all the same.
        EXPECT_EQ(Subjects(0), (std::vector<std::string>{"imap later", "imap one"})) << Log();
    }
};

TEST_F(SyncRoadFailure, WrongPassword) {
    CheckAccountFailure(
        [this] { Account(1, "Home POP", 8, 0, popRelay_->port(), servers().user2(), "not-the-password"); },
        "Home POP failed: ");
}

// The relay gone, its port is closed: the connection is refused.
TEST_F(SyncRoadFailure, UnreachableServer) {
    CheckAccountFailure([this] { popRelay_.reset(); }, "Home POP failed: ");
}

// Lost while the messages are fetched one by one, with many still to come.
TEST_F(SyncRoadFailure, ConnectionLostMidSync) {
    CheckAccountFailure([this] { popRelay_->CutAtCommand("RETR ", 3); }, "connection to its server was lost");
}

}  // namespace
