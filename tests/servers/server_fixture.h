#pragma once
// Test mail servers for `servers` tests: a private Dovecot (IMAP4, POP3, a second POP3
// offering APOP) and an SMTP server delivering into the same Maildirs, all on loopback
// high ports in a temp dir (tests/servers/mailservers.sh does the work). Plus a minimal
// line client so tests can speak the protocols over plain sockets.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

// One running set of servers; stopped (no process left) and its directory removed when
// the object goes. A test that dies without running the destructor is covered too: the
// servers watch the test process and stop when it is gone.
class MailServers {
public:
    MailServers();  // throws std::runtime_error with the script's output if start fails
    ~MailServers();
    MailServers(const MailServers&) = delete;
    MailServers& operator=(const MailServers&) = delete;

    // A value of servers.env (HOST, IMAP_PORT, USER, MAILDIR, ...); throws if absent.
    const std::string& value(const std::string& key) const;
    int port(const std::string& key) const;  // IMAP_PORT, POP3_PORT, POP3_APOP_PORT, SMTP_PORT
    int imapPort() const { return port("IMAP_PORT"); }
    int pop3Port() const { return port("POP3_PORT"); }
    int pop3ApopPort() const { return port("POP3_APOP_PORT"); }
    int smtpPort() const { return port("SMTP_PORT"); }
    const std::string& host() const { return value("HOST"); }
    const std::string& user() const { return value("USER"); }
    const std::string& password() const { return value("PASS"); }
    const std::string& user2() const { return value("USER2"); }
    const std::string& password2() const { return value("PASS2"); }
    // user@DOMAIN, an address the SMTP server delivers to the user's Maildir.
    std::string address(const std::string& user) const { return user + "@" + value("DOMAIN"); }
    std::filesystem::path maildir() const { return value("MAILDIR"); }
    std::filesystem::path maildir2() const { return value("MAILDIR2"); }
    const std::filesystem::path& dir() const { return dir_; }

    // Expunges every message of every user and clears SMTP captures and refusals.
    void reset();
    // The SMTP server turns this recipient away at RCPT with `reply` (default: a 550).
    void refuseRecipient(const std::string& address, const std::string& reply = {});
    // Every message the SMTP server accepted, exact bytes after dot-unstuffing, in order.
    std::vector<std::string> captured() const;

private:
    void run(const std::vector<std::string>& args) const;
    void stop() noexcept;

    std::filesystem::path dir_;
    std::filesystem::path script_;
    std::map<std::string, std::string> env_;
};

// GoogleTest fixture: one set of servers per test suite, mail reset before each test.
class MailServersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    static MailServers& servers();

private:
    static std::unique_ptr<MailServers> servers_;
};

// A blocking line client over a loopback TCP socket with a read time-out.
class LineClient {
public:
    explicit LineClient(int port, const std::string& host = "127.0.0.1",
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    // The next line without its CRLF (or bare LF). Throws on time-out, end of stream, or a
    // line longer than 1 MiB.
    std::string readLine();
    void send(std::string_view bytes);
    void sendLine(std::string_view line);  // appends CRLF
    // sendLine, then the first reply line.
    std::string command(std::string_view line);
    // Sends "<tag> <line>" and returns every reply line up to and including the tagged one.
    std::vector<std::string> imapCommand(std::string_view tag, std::string_view line);
    // Reads an SMTP reply (all continuation lines); returns the last line.
    std::string smtpReply();

private:
    int fd_ = -1;
    std::chrono::milliseconds timeout_;
    std::string buffer_;
};

// A logged-in IMAP session on the test server, for a test that fills a mailbox or looks
// at it from the server's side. Tags count a1, a2, ...
class ImapAdmin {
public:
    ImapAdmin(int port, const std::string& user, const std::string& password);
    // Every reply line of one tagged command, the tagged one last.
    std::vector<std::string> Command(std::string_view line);
    // APPEND of text to the mailbox with flags ("" for none). The text is sent only when
    // the server answers the literal with a continuation.
    struct Appended {
        std::string continuation;  // the server's answer to the literal
        std::string status;        // the tagged reply line
    };
    Appended Append(std::string_view mailbox, std::string_view flags, const std::string& text);

private:
    LineClient client_;
    int tag_ = 0;
};

// Small codecs tests need to talk to the servers (not the product's own).
std::string base64(std::string_view bytes);
std::string md5Hex(std::string_view bytes);

}  // namespace tess::test
