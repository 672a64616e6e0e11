// The SMTP client against the private SMTP server: AUTH LOGIN, a refused recipient, and
// the data arriving byte for byte.
#include <gtest/gtest.h>

#include "common/msg_record.h"
#include "hosts/inet/smtp_session.h"
#include "tests/servers/server_fixture.h"

using tess::CMsg;

namespace {

class SmtpServer : public tess::test::MailServersTest {
protected:
    inet::SmtpSettings Settings(bool login, const std::string& password) {
        inet::SmtpSettings s;
        s.server = servers().host();
        s.port = servers().smtpPort();
        s.separateLogin = login ? 1 : 0;
        s.user = servers().user();
        s.password = password;
        s.waitTimeout = 10000;
        return s;
    }
};

TEST_F(SmtpServer, AuthLoginSendsToTheAcceptedRecipient) {
    const std::string refused = servers().address(servers().user2());
    servers().refuseRecipient(refused);
    inet::SmtpSettings settings = Settings(true, servers().password());
    inet::CSmtpSession smtp;
    ASSERT_EQ(smtp.Connect(&settings), 0);

    CMsg m;
    m.From = servers().address(servers().user());
    m.To = servers().address(servers().user()) + "; " + refused;
    m.Subject = "Dots";
    m.Body = "line one\n.\n..two dots\nend";
    std::string sent;
    ASSERT_EQ(smtp.SendMessage(&m, sent), 0);
    smtp.Close();

    auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_TRUE(captured[0].starts_with(sent)) << captured[0];
    EXPECT_NE(captured[0].find("\r\nline one\r\n.\r\n..two dots\r\nend\r\n"), std::string::npos);
}

TEST_F(SmtpServer, WrongPasswordOrNoLogin) {
    inet::SmtpSettings wrong = Settings(true, "not-the-password");
    inet::CSmtpSession smtp;
    EXPECT_EQ(smtp.Connect(&wrong), inet::kSmtpGreeting);
    EXPECT_FALSE(smtp.IsConnected());

    inet::SmtpSettings plain = Settings(false, "");
    inet::CSmtpSession helo;
    EXPECT_EQ(helo.Connect(&plain), 0);
}

}  // namespace
