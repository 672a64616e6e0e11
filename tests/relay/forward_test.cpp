// The new-mail road through the memory profile: what reaches the handheld's address, in
// the forward body's layout and sealed; the filters, the size rules, the report road.
#include "tests/relay/relay_test_support.h"

#include "platform/mapi/store_objects.h"
#include "relay/mapi_helpers.h"

namespace tess::relay::test {
namespace {

using relay::MessageData;

class ForwardTest : public RelayFixture {};

TEST_F(ForwardTest, OrdinaryMailReachesTheHandheldSealedInTheForwardLayout) {
    start();
    const std::string key = deliver("Lunch", "See you at noon", "alice@example.test",
                                    {{me, MAPI_TO}, {"bob@example.test", MAPI_TO}, {"carol@example.test", MAPI_CC}});
    auto sent = submittedTo(wireless);
    ASSERT_EQ(sent.size(), 1u);
    auto& m = sent[0];
    EXPECT_EQ(m.props[PR_MESSAGE_CLASS].str, "IPM.Note");
    EXPECT_TRUE(m.props[PR_DELETE_AFTER_SUBMIT].b);
    std::string subject;
    ASSERT_TRUE(handheld->unseal(Unbraced(m.props[PR_SUBJECT].str), subject));
    EXPECT_EQ(subject, std::string("Lunch") + '\0');
    EXPECT_EQ(m.props[PR_SUBJECT].str.find('\n'), std::string::npos) << "the subject has no line breaks";

    const std::string body = m.props[PR_BODY].str;
    ForwardBody f = parseForward(body);
    EXPECT_EQ(body.substr(0, 4), std::string(4 - std::to_string(f.length).size(), ' ') + std::to_string(f.length));
    EXPECT_EQ(f.header,
              "Date: Wed Mar  4 05:06:07 2026 0000\r\nTo: bob@example.test\r\nFrom: alice@example.test\r\n"
              "Cc: carol@example.test\r\nSubject: Lunch\r\n\r\n");
    std::string from;
    ASSERT_TRUE(handheld->unseal(f.from, from));
    EXPECT_EQ(from, std::string("alice@example.test") + '\0');
    std::vector<uint8_t> id;
    uint32_t n = 0;
    ASSERT_EQ(Base64Decode(f.entryId, id, &n), 0);
    id.resize(n);
    EXPECT_EQ(id, platform::mapi::makeEntryId(memory->storeUid(), platform::mapi::EntryKind::Message, "", key));
    std::vector<uint8_t> source;
    n = 0;
    ASSERT_EQ(Base64Decode(f.source, source, &n), 0);
    source.resize(n);
    EntryId storeId;
    ASSERT_EQ(relay::FindDefaultStore(watcher->Session(), storeId), S_OK);
    std::shared_ptr<IMsgStore> store;
    ASSERT_EQ(watcher->Session()->OpenMsgStore(0, storeId, 0, store), S_OK);
    std::vector<SPropValue> provider;
    ASSERT_EQ(store->GetProps({PR_MDB_PROVIDER}, 0, provider), S_OK);
    EXPECT_EQ(source, provider[0].bin) << "the store's provider id";
    ASSERT_EQ(f.rest.back(), '{');
    std::string piece;
    ASSERT_TRUE(handheld->unseal(f.rest.substr(0, f.rest.size() - 1), piece));
    EXPECT_EQ(piece, std::string("See you at noon") + '\0');

    EXPECT_TRUE(logged("Wayfarer: Successfully forwarded Officewide Post; Subject: Lunch"));
    ASSERT_FALSE(frame.tips.empty());
    EXPECT_EQ(frame.tips.back().rfind("Last forward: ", 0), 0u);
    EXPECT_EQ(inboxSubjects(), (std::vector<std::string>{"Lunch"})) << "the desktop mail stays";
    EXPECT_EQ(relay::Road().forwardCount, 1u);
}

TEST_F(ForwardTest, BodyPiecesHeaderEdgesAndOmittedAttachments) {
    saveRelaySettings(1, /*attachments=*/0);
    start();
    struct Case {
        std::string subject, body;
        std::vector<std::pair<std::string, std::string>> attachments;
        std::string headerEnd;
        std::vector<size_t> pieces;  // unsealed sizes, NUL included
    } cases[] = {
        {"Only subject", "", {}, "Subject: Only subject\r\n\r\n\xA0", {}},
        {"", "body", {}, std::string("alice@example.test\r\n") + '\0' + "\r\n", {5}},
        {"fits", std::string(3726, 'a'), {}, "\r\n\r\n", {3727}},
        {"splits", std::string(3727, 'b'), {}, "\r\n\r\n", {3726, 3}},
        {"one attachment",
         "",
         {{"a.txt", "xyz"}},
         "\r\n\r\n",
         {std::string("-Attachment Omitted-\r\n<<a.txt>>").size() + 1}},
    };
    size_t before = 0;
    for (const Case& c : cases) {
        deliver(c.subject, c.body, "alice@example.test", {{me, MAPI_TO}}, c.attachments);
        auto sent = submittedTo(wireless);
        ASSERT_EQ(sent.size(), before + 1) << c.subject;
        before = sent.size();
        ForwardBody f = parseForward(sent.back().props[PR_BODY].str);
        EXPECT_EQ(f.header.substr(f.header.size() - c.headerEnd.size()), c.headerEnd) << c.subject;
        std::string rest = f.rest;
        ASSERT_EQ(rest.back(), '{');
        rest.pop_back();
        // Pieces are complete sealed texts back to back; a sealed text's length follows
        // from its plain length, so each expected piece is cut off by that length.
        std::vector<size_t> sizes;
        for (size_t plainSize : c.pieces) {
            const size_t sealedSize = handheld->seal(std::string(plainSize - 1, 'z')).size();
            ASSERT_LE(sealedSize, rest.size()) << c.subject;
            std::string plain;
            ASSERT_TRUE(handheld->unseal(rest.substr(0, sealedSize), plain)) << c.subject;
            ASSERT_EQ(plain.back(), '\0');
            sizes.push_back(plain.size());
            rest = rest.substr(sealedSize);
        }
        EXPECT_EQ(rest, "") << c.subject;
        EXPECT_EQ(sizes, c.pieces) << c.subject;
    }
}

TEST_F(ForwardTest, AttachmentsTravelSealedWhenTheUserWantsThem) {
    start();
    deliver("With file", "see file", "alice@example.test", {{me, MAPI_TO}}, {{"report.pdf", "PDFDATA"}});
    auto sent = submittedTo(wireless);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].attachments.size(), 1u);
    auto& a = sent[0].attachments[0];
    std::string name, data;
    ASSERT_TRUE(handheld->unseal(a[PR_ATTACH_LONG_FILENAME].str, name));
    EXPECT_EQ(name, std::string("report.pdf") + '\0');
    const auto& bin = a[PR_ATTACH_DATA_BIN].bin;
    ASSERT_TRUE(handheld->unseal(std::string(bin.begin(), bin.end()), data));
    EXPECT_EQ(data, "PDFDATA");
    EXPECT_EQ(a[PR_ATTACH_MIME_TAG].str, "text/plain");
    ForwardBody f = parseForward(sent[0].props[PR_BODY].str);
    std::string piece;
    ASSERT_TRUE(handheld->unseal(f.rest.substr(0, f.rest.size() - 1), piece));
    EXPECT_EQ(piece, std::string("see file") + '\0') << "no omitted block";
}

TEST_F(ForwardTest, FiltersHoldBackMailAndTheLogSaysWhy) {
    start();
    ASSERT_EQ(SetSubjectFilter("urgent"), 0);
    deliver("lunch", "later");
    deliver("URGENT: call", "now");
    auto sent = submittedTo(wireless);
    ASSERT_EQ(sent.size(), 1u);
    std::string subject;
    ASSERT_TRUE(handheld->unseal(Unbraced(sent[0].props[PR_SUBJECT].str), subject));
    EXPECT_EQ(subject, std::string("URGENT: call") + '\0');
    EXPECT_TRUE(logged("Wayfarer Warning: Message did not pass the filter(s) and was not forwarded; Subject: lunch"));
    EXPECT_EQ(inboxSubjects().size(), 2u) << "held back mail stays in the Inbox";
}

TEST_F(ForwardTest, OwnAutoReplyIsDeletedAnotherOneIsForwarded) {
    start();
    platform::mapi::PropMap toMe;
    toMe[PR_DISPLAY_TO] = SPropValue::String(PR_DISPLAY_TO, "Tess User");
    deliver("Out of Office AutoReply: holiday", "away", me, {{me, MAPI_TO}}, {}, toMe);
    platform::mapi::PropMap toOther;
    toOther[PR_DISPLAY_TO] = SPropValue::String(PR_DISPLAY_TO, "Somebody Else");
    deliver("Out of Office AutoReply: holiday", "away", "alice@example.test", {{me, MAPI_TO}}, {}, toOther);
    EXPECT_EQ(submittedTo(wireless).size(), 1u);
    EXPECT_EQ(inboxSubjects().size(), 1u);
}

TEST_F(ForwardTest, FailedSubmitIsLoggedKeptAndSentOnceLater) {
    start();
    const auto tipsBefore = frame.tips.size();
    memory->failCall("SubmitMessage", E_FAIL);
    deliver("Lunch", "noon");
    EXPECT_TRUE(submittedTo(wireless).empty());
    EXPECT_TRUE(logged("Wayfarer Warning: Unable to forward Officewide Post; Subject: Lunch"));
    EXPECT_EQ(frame.tips.size(), tipsBefore) << "a failed forward leaves the tooltip";
    EXPECT_FALSE(watcher->RetryPendingForwards()) << "still away";
    memory->clearFaults();
    EXPECT_TRUE(watcher->RetryPendingForwards());
    EXPECT_TRUE(watcher->RetryPendingForwards());
    ASSERT_EQ(submittedTo(wireless).size(), 1u) << "forwarded once";
}

TEST_F(ForwardTest, SizeRulesCutRecipientsThenSubject) {
    start();
    MessageData r;
    r.senderAddress = std::string(20, 's');  // budget 420
    r.body = std::string(50000, 'x');
    r.toRecipients = "to1@x;to2@x";
    r.ccRecipients = std::string(150, 'c') + ";" + std::string(150, 'd') + ";" + std::string(150, 'e');
    r.subject = "short";
    watcher->FitMessageToLimits(r);
    EXPECT_EQ(r.body.size(), 44754u);
    EXPECT_EQ(r.body.substr(44751), "...");
    EXPECT_TRUE(r.recipientsTruncated);
    EXPECT_EQ(r.ccRecipients, std::string(150, 'c') + ";" + std::string(150, 'd'))
        << "Cc loses entries from its end first";
    EXPECT_EQ(r.toRecipients, "to1@x;to2@x");

    MessageData s;
    s.senderAddress = std::string(20, 's');
    s.toRecipients = "a;b";
    s.ccRecipients = std::string(400, 'c');
    s.subject = "kept";
    watcher->FitMessageToLimits(s);
    EXPECT_EQ(s.ccRecipients, "") << "a Cc without ';' goes when a To list exists";
    EXPECT_EQ(s.toRecipients, "a;b");

    MessageData t;
    t.senderAddress = std::string(20, 's');
    t.toRecipients = std::string(300, 't');
    t.subject = std::string(200, 'u');
    watcher->FitMessageToLimits(t);
    EXPECT_EQ(t.subject.size(), 420u - (25 + 20 + 300 + 41));
    EXPECT_EQ(t.subject.substr(t.subject.size() - 3), "...");

    MessageData u;
    u.senderAddress = std::string(20, 's');
    u.toRecipients = std::string(600, 't');
    u.subject = "gone";
    watcher->FitMessageToLimits(u);
    EXPECT_EQ(u.subject, "") << "no room left: no negative cut";

    MessageData fits;
    fits.senderAddress = "a@b";
    fits.subject = "s";
    watcher->FitMessageToLimits(fits);
    EXPECT_FALSE(fits.recipientsTruncated);
}

TEST_F(ForwardTest, ReportAboutAForwardStopsTheFirstRunAndGoesToTheOutbox) {
    registry.WriteRelayValue("Installed", 1 | 2);  // a hello mail is due: a first run
    start();
    ASSERT_TRUE(relay::Road().sendMailPending);
    const std::string sealedSubject = handheld->seal("Lunch", true, false, true);
    deliver("Undeliverable: " + sealedSubject, "Delivery to " + wireless + " failed: storage quota exceeded",
            "System Administrator", {{wireless, MAPI_TO}});
    EXPECT_TRUE(
        logged("Wayfarer Warning: Due to a communications failure, message containing subject: Lunch could not be "
               "forwarded."));
    auto reports = submittedTo(me);
    ASSERT_GE(reports.size(), 1u);
    const auto& ndr = reports.back();
    EXPECT_EQ(ndr.props.at(PR_SUBJECT).str, "Corvid(TM) Wayfarer non-delivery report");
    const std::string body = ndr.props.at(PR_BODY).str;
    EXPECT_EQ(body.find(wireless), std::string::npos);
    EXPECT_NE(body.find("Corvid Device Address"), std::string::npos);
    EXPECT_NE(body.find("Wireless email access is currently unavailable."), std::string::npos);
    ASSERT_FALSE(ui.questions().empty());
    EXPECT_EQ(ui.questions().back().text.rfind("The Corvid(TM) Wayfarer has detected a problem sending mail", 0), 0u);
    EXPECT_EQ(ui.questions().back().caption, "Corvid(TM) Wayfarer");
    EXPECT_TRUE(logged(
        "Wayfarer Fatal Error: Wireless email access is currently unavailable.  Please contact customer support."));
    EXPECT_TRUE(relay::Road().stopRequested);
    EXPECT_EQ(inboxSubjects().size(), 0u) << "the report is deleted";
    EXPECT_TRUE(logged("Wayfarer Warning: Created non-delivery report message in Outbox folder."));
}

TEST_F(ForwardTest, BatchHandlesOnlyNewMail) {
    start();
    platform::mapi::StoredMessage m;
    m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, "quiet");
    m.props[PR_BODY] = SPropValue::String(PR_BODY, "b");
    const std::string k = memory->deliver("", m);
    memory->takeArrivals();  // raised by hand below
    NOTIFICATION other, mail;
    other.ulEventType = 0x4;
    other.entryId = platform::mapi::makeEntryId(memory->storeUid(), platform::mapi::EntryKind::Message, "", k);
    mail = other;
    mail.ulEventType = fnevNewMail;
    mail.parentId = platform::mapi::makeEntryId(memory->storeUid(), platform::mapi::EntryKind::Folder, "");
    watcher->OnNotify({other});
    EXPECT_TRUE(submittedTo(wireless).empty());
    watcher->OnNotify({other, mail});
    EXPECT_EQ(submittedTo(wireless).size(), 1u);
    EXPECT_EQ(frame.animations, frame.stops) << "every batch stops the animation it started";
}

TEST_F(ForwardTest, MailArrivingWhileABatchIsHandledWaitsForTheNextDispatch) {
    start();
    size_t seenInside = 99;
    frame.onAnimate = [&] {
        frame.onAnimate = nullptr;
        platform::mapi::StoredMessage m;
        m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, "second");
        m.props[PR_BODY] = SPropValue::String(PR_BODY, "b");
        memory->deliver("", m);
        watcher->DispatchNotifications();  // as a nested event loop would
        seenInside = submittedTo(wireless).size();
    };
    deliver("first", "a");
    EXPECT_EQ(seenInside, 0u) << "nothing handled inside the batch";
    EXPECT_EQ(submittedTo(wireless).size(), 1u);
    watcher->DispatchNotifications();
    EXPECT_EQ(submittedTo(wireless).size(), 2u) << "the second mail is not lost";
}

}  // namespace
}  // namespace tess::relay::test
