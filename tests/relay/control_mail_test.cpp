// Control mails as the handheld seals them: each request acts, answers and goes; a mail
// that does not unseal, is cut short or asks for nothing known changes nothing else.
#include "tests/relay/relay_test_support.h"

#include "platform/mapi/store_objects.h"

namespace tess::relay::test {
namespace {

class ControlMailTest : public RelayFixture {
protected:
    std::string entryOf(const std::string& key, const std::string& folder = "") {
        std::string text;
        const EntryId id =
            platform::mapi::makeEntryId(memory->storeUid(), platform::mapi::EntryKind::Message, folder, key);
        Base64Encode(id.data(), int(id.size()), text, true);
        return text;
    }
    bool isRead(const std::string& key) {
        platform::mapi::StoredMessage m;
        EXPECT_EQ(memory->loadMessage("", key, m), S_OK);
        return m.read;
    }
    size_t inFolder(const std::string& folder) {
        std::vector<platform::mapi::StoredMessage> all;
        memory->listMessages(folder, all);
        return all.size();
    }
};

TEST_F(ControlMailTest, PauseStartAndShutDownSwitchTheRelay) {
    start();
    struct Case {
        std::string subject;
        bool forwardingAfter;
    } cases[] = {{"???S-P-anything", false}, {"???S-T-anything", true}};
    for (const Case& c : cases) {
        deliverControl(c.subject, c.subject.substr(0, 7) + " now");
        EXPECT_EQ(relay::Road().forwardingOn, c.forwardingAfter) << c.subject;
        EXPECT_TRUE(inboxSubjects().empty()) << c.subject << ": the control mail is removed";
    }
    relay::Road().forwardingOn = false;
    deliver("while paused", "x");
    EXPECT_TRUE(submittedTo(wireless).empty()) << "nothing is forwarded while paused";
    relay::Road().forwardingOn = true;

    deliverControl("???S-D-", "???S-D-");
    EXPECT_EQ(frame.quits, (std::vector<int>{0}));
    EXPECT_TRUE(relay::Road().stopRequested);
    EXPECT_EQ(inboxSubjects(), (std::vector<std::string>{"while paused"}));
}

TEST_F(ControlMailTest, BadControlMailsAreLoggedAndRemovedAndChangeNothing) {
    start();
    HandheldSeal stranger(NewKeyRecord());
    const std::string goodSealed = handheld->seal("???S-P- please pause, this text is long enough to cut");
    struct Case {
        std::string name, subject, body;
        std::string log;
    } cases[] = {
        {"wrong key", "???S-P-x", stranger.seal("???S-P-x"),
         "Wayfarer Warning: Unable to decode control message\r\n            SUBJECT: ???S-P-x\r\nDELIVERED DATE: "},
        {"truncated", "???S-P-y", goodSealed.substr(0, goodSealed.size() / 2),
         "Wayfarer Warning: Unable to decode control message\r\n            SUBJECT: ???S-P-y\r\nDELIVERED DATE: "},
        // Cut where whole cipher blocks end: the blocks that came unseal, the rest is lost.
        {"cut at a block", "???S-P-v",
         handheld->seal("???S-P- please pause, this text is long enough to cut", true, false).substr(0, 24),
         "Wayfarer Warning: Unable to decode control message\r\n            SUBJECT: ???S-P-v\r\nDELIVERED DATE: "},
        {"empty body", "???S-P-z", "",
         "Wayfarer Warning: Possible Corvid(TM) Wayfarer control message spoofing; ignoring request."},
        {"not its subject", "???S-P-w", handheld->seal("???S-T-w"), ""},
    };
    for (const Case& c : cases) {
        deliver(c.subject, c.body, wireless, {{me, MAPI_TO}});
        EXPECT_TRUE(relay::Road().forwardingOn) << c.name;
        EXPECT_TRUE(inboxSubjects().empty()) << c.name;
        if (c.log.empty()) continue;
        bool found = false;
        for (const auto& e : logEntries()) found = found || e.rfind(c.log, 0) == 0;
        EXPECT_TRUE(found) << c.name;
    }
    EXPECT_TRUE(submittedTo(wireless).empty());
}

TEST_F(ControlMailTest, AnUnknownRequestIsAnOrdinaryMail) {
    start();
    deliver("???C-D-2 Wayfarer Message - Do Not Delete", "one blank only", wireless, {{me, MAPI_TO}});
    EXPECT_EQ(submittedTo(wireless).size(), 1u) << "forwarded like any mail";
    EXPECT_EQ(inboxSubjects().size(), 1u);
}

TEST_F(ControlMailTest, NewMailFromTheHandheldIsSentThroughTheProfile) {
    start();
    deliverControl("???E-N-2    Wayfarer Message - Do Not Delete",
                   "To: <bob@example.test; 'Alice Archer (work)'>\r\nCc: <carol@example.test>\r\n"
                   "Subject: Hello Bob\r\n\r\nSee you\r\nat noon");
    auto sent = submittedTo("bob@example.test");
    ASSERT_EQ(sent.size(), 1u);
    auto& m = sent[0];
    EXPECT_EQ(m.props[PR_SUBJECT].str, "Hello Bob");
    EXPECT_EQ(m.props[PR_BODY].str, "See you\r\nat noon");
    std::vector<std::string> recipients;
    for (auto& r : m.recipients)
        recipients.push_back(r[PR_EMAIL_ADDRESS].str + "/" + std::to_string(r[PR_RECIPIENT_TYPE].l));
    EXPECT_EQ(recipients,
              (std::vector<std::string>{"bob@example.test/1", "alice@example.test/1", "carol@example.test/2"}));
    EXPECT_TRUE(inboxSubjects().empty()) << "the control mail is removed";
    EXPECT_TRUE(logged("Wayfarer: Successfully sent Device New eMail; Subject: Hello Bob"));
}

TEST_F(ControlMailTest, AFailedSendReportsBackToTheUsersMailbox) {
    start();
    deliverControl("???E-R-2 reply", "To: <nobody>\r\nCc: <a; b>\r\nSubject: Re: x\r\n\r\nbody");
    EXPECT_TRUE(logged("Wayfarer: Unable to send Device Reply eMail; Subject: Re: x"));
    auto reports = submittedTo(me);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].props[PR_SUBJECT].str, "Non-Delivery Report");
    EXPECT_EQ(reports[0].props[PR_BODY].str,
              "Your message: Re: x \r\ncould not be sent to: nobody, a, b \r\nfor the following reason: "
              "Unable to resolve names for recipients of new email from handheld.");
    EXPECT_TRUE(submittedTo("nobody").empty());
}

TEST_F(ControlMailTest, FilterRequestsSetClearOrRefuse) {
    start();
    deliverControl("???C-F-2    Wayfarer Message - Do Not Delete", "Urgent;2;0;urgent;1\r\nSmall;5;1;10;0");
    EXPECT_TRUE(logged("Wayfarer: Successfully set the following filters: Urgent, Small"));
    deliver("big lunch", std::string(20 * 1024, 'x'));
    EXPECT_TRUE(submittedTo(wireless).empty()) << "neither filter matches";

    deliverControl("???C-F-2    Wayfarer Message - Do Not Delete", "Broken;2;0;urgent");
    EXPECT_TRUE(
        logged("Wayfarer Warning: Unable to set filter; 'Broken;2;0;urgent' is a malformed filter.  No filters have "
               "been set for this filter request."));
    deliver("big lunch 2", std::string(20 * 1024, 'x'));
    EXPECT_TRUE(submittedTo(wireless).empty()) << "the filters stand";

    deliverControl("???C-F-2    Wayfarer Message - Do Not Delete", "No filters present");
    EXPECT_TRUE(logged("Wayfarer: Successfully deleted all filters."));
    deliver("big lunch 3", std::string(20 * 1024, 'x'));
    EXPECT_EQ(submittedTo(wireless).size(), 1u);
}

TEST_F(ControlMailTest, DeletionsReadStatesAndCombinedRequests) {
    start();
    relay::Road().forwardingOn = false;  // keep the test mails out of the forward road
    const std::string old = deliver("Old", "o");
    const std::string read = deliver("Read me", "r");
    const std::string both = deliver("Both", "b");
    const std::string gone = deliver("Gone", "g");
    relay::Road().forwardingOn = true;

    deliverControl("???C-D-2    Wayfarer Message - Do Not Delete", "X-CORVID-ENTID: <" + entryOf(old) + ">");
    EXPECT_EQ(inFolder("Deleted Items"), 1u);
    EXPECT_TRUE(logged("Wayfarer: Successfully deleted Message from 'alice@example.test' with a subject of 'Old'."));

    deliverControl("???C-S-2    Wayfarer Message - Do Not Delete", "X-CORVID-ENTID: <1:" + entryOf(read) + ">");
    EXPECT_TRUE(isRead(read));
    EXPECT_TRUE(
        logged("Wayfarer: Successfully set read flag Message from 'alice@example.test' with a subject of 'Read me'."));
    deliverControl("???C-S-2    Wayfarer Message - Do Not Delete", "X-CORVID-ENTID: <0:" + entryOf(read) + ">");
    EXPECT_FALSE(isRead(read));

    deliverControl("???C-C-2    Wayfarer Message - Do Not Delete",
                   "<1:" + entryOf(both) + ">\r\n<" + entryOf(gone) + ">");
    EXPECT_TRUE(isRead(both));
    EXPECT_EQ(inFolder("Deleted Items"), 2u);
    auto subjects = inboxSubjects();
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects, (std::vector<std::string>{"Both", "Read me"}));
}

TEST_F(ControlMailTest, TheStartUpScanPicksUpWhatCameWhileTheRelayWasAway) {
    for (int i = 0; i < 25; ++i) deliverControl("???S-P-" + std::to_string(i), "???S-P-");
    deliver("ordinary", "stays");
    memory->takeArrivals();  // raised before the relay ran: nobody heard them
    start();
    EXPECT_EQ(inboxSubjects(), (std::vector<std::string>{"ordinary"})) << "25 control mails in two pages of rows";
    EXPECT_FALSE(relay::Road().forwardingOn);
    EXPECT_TRUE(submittedTo(wireless).empty());
}

TEST_F(ControlMailTest, HelloMailGoesOutAndComesBackAsTheWelcome) {
    registry.WriteRelayValue("Installed", 1 | 2);
    std::ofstream(std::filesystem::path(userDir()).parent_path() / "Welcome.txt") << "Hi from the desk";
    start();
    auto hello = submittedTo(me);
    ASSERT_EQ(hello.size(), 1u);
    EXPECT_EQ(hello[0].props[PR_SUBJECT].str, relay::kHelloSubject);
    EXPECT_EQ(hello[0].props[PR_BODY].str, "Hi from the desk");
    ASSERT_EQ(SetSubjectFilter("never matches"), 0);
    // The mail system brings it back into the Inbox.
    deliver(relay::kHelloSubject, "Hi from the desk", me, {{me, MAPI_TO}});
    auto sent = submittedTo(wireless);
    ASSERT_EQ(sent.size(), 1u) << "forwarded whatever the filters say";
    ForwardBody f = parseForward(sent[0].props[PR_BODY].str);
    EXPECT_NE(f.header.find("Reply-To: " + me + "\r\n"), std::string::npos);
    EXPECT_NE(f.header.find("From: " + me + "\r\n"), std::string::npos);
    EXPECT_TRUE(inboxSubjects().empty()) << "the hello mail is removed";
    EXPECT_TRUE(logged("Wayfarer: Successfully forwarded ; Subject: Welcome"));
}

TEST_F(ControlMailTest, WithoutAWelcomeFileTheBuiltInTextIsSent) {
    registry.WriteRelayValue("Installed", 1 | 2);
    start();
    auto hello = submittedTo(me);
    ASSERT_EQ(hello.size(), 1u);
    EXPECT_EQ(hello[0].props[PR_BODY].str.rfind("Welcome to Corvid(TM) Wayfarer from Corvid, Inc.\r\n", 0), 0u);
}

TEST_F(ControlMailTest, KeyCheckWithoutNewKeyTouchesNothing) {
    start();
    SealContext* before = watcher->Seal();
    EXPECT_EQ(watcher->CheckForNewKey(false), S_OK);
    EXPECT_EQ(watcher->Seal(), before);
    // A new key: mail sealed under it is understood after the flag.
    const std::string fresh = NewKeyRecord();
    key = fresh;
    saveRelaySettings(1);
    registry.WriteRelayValue("NewKey", 1);
    HandheldSeal next(fresh);
    deliverControl("???S-P-", "???S-P-", &next);
    EXPECT_FALSE(relay::Road().forwardingOn);
}

}  // namespace
}  // namespace tess::relay::test
