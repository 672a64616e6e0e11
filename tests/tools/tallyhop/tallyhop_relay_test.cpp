// tallyhop relay, run as the program: the set-up is what the relay reads, and a control
// mail it seals is unsealed and obeyed by the relay's own mailbox watcher (over a memory
// profile of the same name); bad input is refused with its reason and sets nothing up.
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "common/plugin_registry.h"
#include "relay/relay_util.h"
#include "tests/relay/relay_test_support.h"
#include "tools/handheld_app/handheld_app.h"

namespace tallyhop::test {

using tess::CLanguageModule;
using tess::CPluginRegistry;
using tess::relay::test::kDelivered;
using tess::relay::test::RecordingFrame;
using tess::test::binaryDir;
using tess::test::TempHome;
namespace relay = tess::relay;

namespace {

struct Outcome {
    int status = -1;
    std::string out;  // stdout, or stdout and stderr together
};

Outcome tallyhop(const std::string& args, bool withErrors = true) {
    const std::string cmd =
        (binaryDir() / "bin" / "tallyhop").string() + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
    Outcome run;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return run;
    std::array<char, 4096> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) run.out.append(buf.data(), n);
    const int status = pclose(p);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A mail text's header value and its body.
std::string header(const std::string& mail, const std::string& name) {
    const std::string head = "\r\n" + mail.substr(0, mail.find("\r\n\r\n")) + "\r\n";
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "<none>";
    const size_t from = at + name.size() + 4;
    return head.substr(from, head.find("\r\n", from) - from);
}
std::string body(const std::string& mail) {
    const size_t at = mail.find("\r\n\r\n");
    return at == std::string::npos ? "" : mail.substr(at + 4);
}

class TallyhopRelay : public ::testing::Test {
protected:
    TempHome home;
    const std::string me = "desk@tess.test";
    const std::string wireless = "ann@wireless.test";
    std::shared_ptr<platform::mapi::MemoryBacking> memory = std::make_shared<platform::mapi::MemoryBacking>();

    void SetUp() override {
        platform::syncmgr::resetSession();
        relay::Road() = relay::RoadState{};
        ASSERT_EQ(tallyhop("init --user Ann").status, 0);
        // The profile the relay is set up with, in the profiles file for tallyhop and in
        // memory for the watcher in this process.
        platform::mapi::Profile p;
        p.name = "Desk";
        p.isDefault = true;
        p.identity = {"Ann Desk", "SMTP", me, {}};
        p.addressList = {{"Bob Baker", "SMTP", "bob@example.test", {}}, {"Cy Carr", "SMTP", "cy@example.test", {}}};
        ASSERT_TRUE(platform::mapi::saveProfile(p));
        platform::mapi::clearMemoryProfiles();
        platform::mapi::registerMemoryProfile(p, memory);
    }
    void TearDown() override {
        platform::mapi::clearMemoryProfiles();
        platform::syncmgr::resetSession();
    }

    // The control mail as the mail system delivers it into the watched Inbox.
    void deliver(relay::CMAPIRedirect& watcher, const std::string& mail) {
        platform::mapi::StoredMessage m;
        m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, header(mail, "Subject"));
        m.props[PR_BODY] = SPropValue::String(PR_BODY, body(mail));
        m.props[PR_MESSAGE_CLASS] = SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note");
        m.props[PR_SENDER_EMAIL_ADDRESS] = SPropValue::String(PR_SENDER_EMAIL_ADDRESS, header(mail, "From"));
        m.props[PR_MESSAGE_DELIVERY_TIME] = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, kDelivered);
        memory->deliver("", m);
        watcher.DispatchNotifications();
    }
    size_t inbox() {
        std::vector<platform::mapi::StoredMessage> all;
        memory->listMessages("", all);
        return all.size();
    }
};

TEST_F(TallyhopRelay, SetUpIsWhatTheRelayReadsAndItObeysTheSealedControlMails) {
    const Outcome set = tallyhop("relay setup --user Ann --account 2 --wireless " + wireless + " --log info");
    ASSERT_EQ(set.status, 0) << set.out;
    EXPECT_NE(set.out.find("Security key: new, shared with handheld \"default\""), std::string::npos) << set.out;

    // The relay's configuration finds the user, the profile, the address and the key that
    // the handheld holds.
    CLanguageModule language("LKDLLANG.DLL", nullptr);
    ASSERT_NE(language.languageModule(), nullptr);
    relay::CRelayConfig config(0);
    ASSERT_EQ(config.Init(), 0);
    ASSERT_EQ(config.LoadUserSettings(true, true), 0);
    ASSERT_NE(config.settings(), nullptr);
    EXPECT_EQ(config.settings()->profileOrIdFile.str(), "Desk");
    EXPECT_EQ(config.settings()->emailAddress.str(), wireless);
    EXPECT_EQ(config.DoSuicide(), 0) << "the relay counts as installed";
    std::vector<uint8_t> relayKey;
    ASSERT_EQ(config.GetSecurityKey(relayKey), 0);
    std::string handheldKey;
    ASSERT_EQ(handheld_app::ReadKeyRecord("default", handheldKey), 0);
    ASSERT_FALSE(handheldKey.empty());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(relayKey.data())), handheldKey);
    EXPECT_EQ(config.IsNewKeyPresent(), 1) << "a running relay is told of the new key";
    config.GetLoggingOption();
    EXPECT_EQ(config.loggingOption(), 1);

    // A second set-up keeps the key both sides hold.
    const Outcome again = tallyhop("relay setup --user Ann --account 2 --wireless " + wireless);
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("Security key: kept"), std::string::npos) << again.out;
    EXPECT_EQ(handheld_app::RecordCount("default", "Larkspur SData"), 1);

    RecordingFrame frame;
    ASSERT_EQ(relay::LogOpen(config.settings()->userFolder.str() + "/"), relay::kLogBegun);
    config.GetLoggingOption();
    relay::CMAPIRedirect watcher(&frame, &config, wireless);
    ASSERT_GE(watcher.Initialize(), 0);

    const Outcome send = tallyhop(
        "relay control --request new --to 'bob@example.test; cy@example.test' --cc dee@example.test"
        " --subject 'Lunch at noon' --body \"$(printf 'See you\\nthere')\"",
        false);
    ASSERT_EQ(send.status, 0) << send.out;
    EXPECT_EQ(header(send.out, "From"), wireless);
    EXPECT_EQ(header(send.out, "To"), me);
    EXPECT_EQ(header(send.out, "Subject"), "???E-N-2    Wayfarer Message - Do Not Delete");
    EXPECT_EQ(body(send.out).find("Lunch"), std::string::npos) << "the request travels sealed";
    deliver(watcher, send.out);
    const auto sent = memory->submitted();
    ASSERT_EQ(sent.size(), 1u) << "the relay sends the mail the handheld asked for";
    platform::mapi::StoredMessage m = sent[0];
    EXPECT_EQ(m.props[PR_SUBJECT].str, "Lunch at noon");
    EXPECT_EQ(relay::Trimmed(m.props[PR_BODY].str), "See you\r\nthere");
    std::vector<std::pair<std::string, int32_t>> recipients;
    for (auto& r : m.recipients) recipients.push_back({r[PR_EMAIL_ADDRESS].str, r[PR_RECIPIENT_TYPE].l});
    EXPECT_EQ(recipients,
              (std::vector<std::pair<std::string, int32_t>>{
                  {"bob@example.test", MAPI_TO}, {"cy@example.test", MAPI_TO}, {"dee@example.test", MAPI_CC}}));
    EXPECT_EQ(inbox(), 0u) << "the control mail is removed";

    const Outcome stop = tallyhop("relay control --request shutdown", false);
    ASSERT_EQ(stop.status, 0) << stop.out;
    deliver(watcher, stop.out);
    EXPECT_EQ(frame.quits, (std::vector<int>{0})) << "the relay ends";
    EXPECT_EQ(inbox(), 0u);
    relay::LogClose();
    config.UnInit();
}

TEST_F(TallyhopRelay, BadInputIsRefusedWithItsReasonAndSetsNothingUp) {
    struct Case {
        std::string args;
        int status;
        std::string error;
    };
    auto expectRefused = [](const Case& c) {
        const Outcome o = tallyhop(c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.out.substr(0, 300);
        EXPECT_NE(o.out.find(c.error), std::string::npos) << c.args << "\n" << o.out.substr(0, 300);
        EXPECT_EQ(o.out.find("Subject: ???"), std::string::npos) << c.args << ": no control mail is written";
    };
    const Case before[] = {
        {"relay", 2, "usage:"},
        {"relay start", 2, "unknown subcommand 'start'"},
        {"relay setup --account 2", 2, "--wireless is the handheld's mail address"},
        {"relay setup --account 8 --wireless a@b.test", 2, "--account is the account the relay serves, 0 to 7"},
        {"relay setup --account two --wireless a@b.test", 2, "--account is the account the relay serves, 0 to 7"},
        {"relay setup --account 1 --wireless 'a b@c.test'", 2, "--wireless is the handheld's mail address"},
        {"relay setup --account 1 --wireless a@b.test --log loud", 2, "--log takes off, info or debug"},
        {"relay setup --account 1 --wireless a@b.test --account 2", 2, "'--account' given twice"},
        {"relay setup --account 1 --wireless", 2, "'--wireless' needs a value"},
        {"relay setup --account 1 --wireless a@b.test --to x@y.test", 2, "unexpected argument '--to'"},
        {"relay setup --account 1 --wireless a@b.test --user Zed", 1, "no user 'Zed' (run tallyhop init)"},
        {"relay setup --account 1 --wireless a@b.test --handheld other", 1, "no handheld 'other'"},
        {"relay setup --account 1 --wireless a@b.test --profile Home", 1, "no MAPI profile 'Home' in "},
        {"relay control --request new --to bob@example.test", 1,
         "no relay is set up for the user (run tallyhop relay setup)"},
    };
    for (const Case& c : before) expectRefused(c);
    CPluginRegistry registry;
    EXPECT_FALSE(registry.ReadRelayValue("User")) << "no refused set-up chose a relay user";
    EXPECT_FALSE(registry.ReadRelayValue("Installed"));
    EXPECT_EQ(handheld_app::RecordCount("default", "Larkspur SData"), -1) << "no key reached the handheld";

    ASSERT_EQ(tallyhop("relay setup --account 1 --wireless " + wireless).status, 0);
    const Case after[] = {
        {"relay control", 2, "--request is new or shutdown"},
        {"relay control --request forward --to bob@example.test", 2, "--request is new or shutdown"},
        {"relay control --request new", 2, "a new mail needs --to"},
        {"relay control --request new --to bob", 2, "--to 'bob' is not a mail address"},
        {"relay control --request new --to bob@example.test --cc '<x@y.test>'", 2,
         "--cc '<x@y.test>' is not a mail address"},
        {"relay control --request new --to bob@example.test --subject \"$(printf 'a\\nBcc: x@y.test')\"", 2,
         "--subject is one line"},
        {"relay control --request shutdown --subject x", 2, "a shut-down request takes no --subject"},
        {"relay control --request new --to bob@example.test --handheld other", 1,
         "handheld 'other' holds no security key (run tallyhop relay setup)"},
        {"relay control --request new --to bob@example.test --body \"$(head -c 50000 /dev/zero | tr '\\0' x)\"", 1,
         "the request is too long to seal"},
    };
    for (const Case& c : after) expectRefused(c);
}

}  // namespace
}  // namespace tallyhop::test
