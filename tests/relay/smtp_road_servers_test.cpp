// The relay's SMTP road against the test SMTP server (AUTH LOGIN, delivering into
// Dovecot): a forward with attachments that Python's email package and Dovecot read back
// whole, and mail written on the handheld with blind copies, a refused recipient and a
// recipient written as a name.
#include <cstdio>

#include "relay/relay_smtp_session.h"
#include "tests/relay/relay_test_support.h"
#include "tests/servers/server_fixture.h"

namespace tess::relay::test {

using tess::test::MailServers;
using tess::test::ImapAdmin;

namespace {

namespace fs = std::filesystem;

// Every leaf part of a mail as Python's email package reads it: content type, file name
// and the decoded payload in hex, one part a line; the subject first.
constexpr const char* kPartsScript = R"PY(
import email, sys
from email import policy
msg = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.compat32)
print('SUBJECT', str(email.header.make_header(email.header.decode_header(msg.get('Subject', '')))).encode('latin-1').hex())
print('DEFECTS', len(msg.defects))
for part in msg.walk():
    if part.is_multipart():
        continue
    name = part.get_filename() or ''
    name = str(email.header.make_header(email.header.decode_header(name))) if name else ''
    print('PART', part.get_content_type(), name.encode('latin-1').hex() or '-', (part.get_payload(decode=True) or b'').hex() or '-')
)PY";

struct Part {
    std::string type, name, data;
};

std::string FromHex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

struct Parsed {
    std::string subject;
    int defects = -1;
    std::vector<Part> parts;
};

Parsed ParseWithPython(const fs::path& dir, const std::string& mail) {
    const fs::path script = dir / "parts.py", file = dir / "mail.eml";
    std::ofstream(script) << kPartsScript;
    std::ofstream(file, std::ios::binary) << mail;
    Parsed out;
    FILE* p = popen(("python3 " + script.string() + " " + file.string()).c_str(), "r");
    if (!p) return out;
    char line[1 << 16];
    std::string all;
    while (size_t n = fread(line, 1, sizeof line, p)) all.append(line, n);
    pclose(p);
    std::istringstream in(all);
    for (std::string l; std::getline(in, l);) {
        std::istringstream words(l);
        std::string kind, a, b, c;
        words >> kind >> a >> b >> c;
        if (kind == "SUBJECT") out.subject = FromHex(a);
        if (kind == "DEFECTS") out.defects = std::stoi(a);
        if (kind == "PART") out.parts.push_back({a, FromHex(b), FromHex(c)});
    }
    return out;
}

class SmtpRoadTest : public RelayFixture {
protected:
    static void SetUpTestSuite() { servers_ = std::make_unique<MailServers>(); }
    static void TearDownTestSuite() { servers_.reset(); }
    static std::unique_ptr<MailServers> servers_;
    MailServers& servers() { return *servers_; }

    std::string desktop, handheldAddress;

    platform::mapi::Profile profile() override {
        platform::mapi::Profile p = RelayFixture::profile();
        p.identity = {"Tess User", "SMTP", servers().address(servers().user()), {}};
        p.addressList.push_back({"Second User", "SMTP", servers().address(servers().user2()), {}});
        return p;
    }

    void SetUp() override {
        servers().reset();
        RelayFixture::SetUp();
        desktop = servers().address(servers().user());
        handheldAddress = servers().address(servers().user2());
        SaveRelayUser(userId, handheldAddress, key);
        ASSERT_EQ(config->LoadUserSettings(true, true), 0);
        watcher = std::make_unique<relay::CMAPIRedirect>(&frame, config.get(), handheldAddress);
        ASSERT_GE(watcher->Initialize(), 0);
        watcher->UseSmtpRoad(std::make_unique<relay::CRelaySmtpSession>(road(servers().smtpPort())));
        ASSERT_TRUE(watcher->SmtpRoad()->Ready()) << "AUTH LOGIN with the test user";
    }

    relay::RelaySmtpSettings road(int port) {
        relay::RelaySmtpSettings s;
        s.server = "127.0.0.1";
        s.port = port;
        s.user = servers().user();
        s.password = servers().password();
        s.waitTimeoutMs = 2000;
        s.spoolDirectory = userDir() + "/SmtpSpool";
        return s;
    }

    std::string fetchFromDovecot(int index) {
        ImapAdmin imap(servers().imapPort(), servers().user2(), servers().password2());
        imap.Command("SELECT INBOX");
        const auto lines = imap.Command("FETCH " + std::to_string(index) + " BODY.PEEK[]");
        std::string text;
        for (size_t i = 1; i + 2 < lines.size(); ++i) text += lines[i] + "\r\n";
        return text;
    }
};
std::unique_ptr<MailServers> SmtpRoadTest::servers_;

TEST_F(SmtpRoadTest, AForwardIsReadWholeByPythonAndByDovecot) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    const std::string body = "Caf\xe9 au lait\r\n.a line with a dot\r\n" + std::string(1500, 'w') + "\r\nend ";
    deliver("Quarterly \xe9t\xe9", body, "alice@example.test", {{desktop, MAPI_TO}},
            {{"data.bin", binary}, {"notes.txt", "one\r\ntwo\r\n.\r\n"}});
    const auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u) << "the forward reached the SMTP server";

    for (const std::string& mail : {captured[0], fetchFromDovecot(1)}) {
        const Parsed parsed = ParseWithPython(home.path(), mail);
        EXPECT_EQ(parsed.defects, 0) << mail.substr(0, 800);
        std::string subject;
        ASSERT_TRUE(handheld->unseal(parsed.subject, subject)) << parsed.subject;
        EXPECT_EQ(subject, std::string("Quarterly \xe9t\xe9") + '\0');
        ASSERT_EQ(parsed.parts.size(), 3u);
        EXPECT_EQ(parsed.parts[0].type, "text/plain");
        // Python hands text back with LF line ends: the body as sent has CR LF.
        std::string forward;
        for (char c : parsed.parts[0].data) forward += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(forward.find('}'), std::string::npos) << "the SMTP road pads with '='";
        ForwardBody f = parseForward(forward);
        EXPECT_NE(f.header.find("Subject: Quarterly \xe9t\xe9\r\n"), std::string::npos) << f.header;
        std::string rest = f.rest;
        while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
        ASSERT_FALSE(rest.empty());
        EXPECT_NE(rest.back(), '{') << "no closing brace on the SMTP road";
        std::string text;
        ASSERT_TRUE(handheld->unseal(rest, text));
        EXPECT_EQ(std::string(text.c_str()), body) << "every byte the sender wrote";
        EXPECT_EQ(text.find("-Attachment"), std::string::npos) << "attachments travel, none is listed as omitted";

        const std::pair<std::string, std::string> files[] = {{"data.bin", binary},
                                                             {"notes.txt", "one\r\ntwo\r\n.\r\n"}};
        for (size_t i = 0; i < 2; ++i) {
            const Part& part = parsed.parts[i + 1];
            std::string name, sealedData;
            ASSERT_TRUE(handheld->unseal(part.name, name));
            EXPECT_EQ(std::string(name.c_str()), files[i].first);
            ASSERT_TRUE(handheld->unseal(part.data, sealedData)) << "the part holds the sealed text unchanged";
            std::string decoded;
            ASSERT_EQ(Base64DecodeString(std::string(sealedData.c_str()), decoded), 0);
            std::vector<uint8_t> bytes;
            uint32_t n = 0;
            ASSERT_EQ(Base64Decode(std::string(sealedData.c_str()), bytes, &n), 0);
            EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + n), files[i].second);
        }
    }
    EXPECT_TRUE(logged("Wayfarer: Successfully forwarded Officewide Post; Subject: Quarterly \xe9t\xe9"))
        << "logged as on the profile's road";
}

TEST_F(SmtpRoadTest, HandheldMailWithBlindCopiesANameAndARefusedRecipient) {
    const std::string refused = "nobody@" + servers().value("DOMAIN");
    servers().refuseRecipient(refused, "550 5.1.1 no such mailbox here");
    deliver("???E-N-2    Wayfarer Message - Do Not Delete",
            handheld->seal("To: <Second User>\r\nBcc: <" + desktop + ";" + refused +
                           ">\r\nSubject: From the road\r\n\r\nHello \xe9\r\n.\r\nbye"),
            handheldAddress, {{desktop, MAPI_TO}});
    const auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 3u) << "one blind copy, the report of the refused one, then To";
    // The blind copy names only its own recipient.
    EXPECT_NE(captured[0].find("bcc: " + desktop + "\r\n"), std::string::npos) << captured[0];
    EXPECT_EQ(captured[0].find(refused), std::string::npos);
    // The refused blind copy is reported to the user with the server's reply.
    Parsed report = ParseWithPython(home.path(), captured[1]);
    EXPECT_EQ(report.subject, "Non-Delivery Report");
    ASSERT_EQ(report.parts.size(), 1u);
    EXPECT_NE(report.parts[0].data.find("could not be sent to: " + refused), std::string::npos) << report.parts[0].data;
    EXPECT_NE(report.parts[0].data.find("550 5.1.1 no such mailbox here"), std::string::npos);
    // The name resolved to its SMTP address; the text arrives as written.
    EXPECT_NE(captured[2].find("To: " + handheldAddress + "\r\n"), std::string::npos) << captured[2];
    EXPECT_EQ(captured[2].find("bcc:"), std::string::npos);
    Parsed mail = ParseWithPython(home.path(), captured[2]);
    EXPECT_EQ(mail.subject, "From the road");
    ASSERT_EQ(mail.parts.size(), 1u);
    EXPECT_EQ(mail.parts[0].data, "Hello \xe9\n.\nbye\n") << "as written (Python reads line ends as LF)";
    EXPECT_TRUE(logged("Wayfarer: Successfully sent Device New eMail; Subject: From the road"));
    // A copy of the mail written on the handheld stays in Sent Items.
    std::vector<platform::mapi::StoredMessage> sent;
    memory->listMessages("Sent Items", sent);
    bool copied = false;
    for (auto& m : sent)
        copied =
            copied || (m.props[PR_SUBJECT].str == "From the road" && m.props[PR_BODY].str == "Hello \xe9\r\n.\r\nbye");
    EXPECT_TRUE(copied) << sent.size() << " mails in Sent Items";
    EXPECT_TRUE(logged("Wayfarer: Unable to send Device New eMail; Subject: From the road"))
        << "the refused blind copy";
}

TEST_F(SmtpRoadTest, AForwardTheServerCouldNotTakeIsSentOnceWhenItCan) {
    // A server that will not take mail now: the forward is kept, not marked done.
    watcher->UseSmtpRoad(std::make_unique<relay::CRelaySmtpSession>(road(1)));
    deliver("Kept for later", "body", "alice@example.test", {{desktop, MAPI_TO}});
    EXPECT_TRUE(logged("Wayfarer Warning: Unable to forward Officewide Post; Subject: Kept for later"));
    EXPECT_FALSE(watcher->RetryPendingForwards()) << "still waiting";
    EXPECT_TRUE(servers().captured().empty());
    watcher->UseSmtpRoad(std::make_unique<relay::CRelaySmtpSession>(road(servers().smtpPort())));
    EXPECT_TRUE(watcher->RetryPendingForwards());
    EXPECT_TRUE(watcher->RetryPendingForwards());
    ASSERT_EQ(servers().captured().size(), 1u) << "sent once";
    EXPECT_NE(servers().captured()[0].find("To: " + handheldAddress), std::string::npos);
}

}  // namespace
}  // namespace tess::relay::test
