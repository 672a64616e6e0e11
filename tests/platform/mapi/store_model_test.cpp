// The object model on both backings: property round trips, large bodies, restrictions,
// paging while deleting, attachments, recipients, moves, submission with its Sent copy.
#include "tests/platform/mapi/mapi_test_support.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "platform/mapi/simple_mapi.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi::test {
namespace {

struct Counter : IMAPIAdviseSink {
    std::vector<NOTIFICATION> seen;
    ULONG OnNotify(const std::vector<NOTIFICATION>& n) override {
        seen.insert(seen.end(), n.begin(), n.end());
        return 0;
    }
};

class StoreModel : public testing::TestWithParam<BackingKind> {
protected:
    StoreEnv env{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backings, StoreModel, testing::Values(BackingKind::Memory, BackingKind::Maildir), backingName);

TEST_P(StoreModel, PropertiesSurviveSaveAndReopen) {
    auto inbox = env.folder(0);
    ASSERT_TRUE(inbox);
    const std::vector<SPropValue> props = {
        SPropValue::String(PR_SUBJECT, "Caf\xE9 order: 3 \x80 each"),  // Windows-1252 text
        SPropValue::String(PR_BODY, "line one\r\nline two \xE9\r\n"),
        SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note.Custom"),
        SPropValue::Long(PR_IMPORTANCE, 2),
        SPropValue::Bool(PR_DELETE_AFTER_SUBMIT, true),
        SPropValue::Time(PR_CLIENT_SUBMIT_TIME, platform::mapi::fileTimeFromUnix(1700000000)),
        SPropValue::Binary(PR_SENDER_ENTRYID, {0, 1, 2, 0xFF, 0}),
        SPropValue::Multi(PR_EMS_AB_PROXY_ADDRESSES, {"SMTP:a@b.test", "x400:q"}),
    };
    EntryId id = env.make(*inbox, props);
    auto m = env.open(id);
    ASSERT_TRUE(m);
    SPropTagArray tags;
    for (const auto& p : props) tags.push_back(p.ulPropTag);
    std::vector<SPropValue> got;
    ASSERT_EQ(m->GetProps(tags, 0, got), S_OK);
    for (size_t i = 0; i < props.size(); ++i) EXPECT_EQ(got[i], props[i]) << std::hex << props[i].ulPropTag;

    // A property never set comes back as an error value, and the call says so.
    ASSERT_EQ(m->GetProps({PR_SUBJECT, PR_ORIGINAL_SUBJECT}, 0, got), MAPI_W_ERRORS_RETURNED);
    EXPECT_FALSE(got[0].isError());
    EXPECT_EQ(got[1].ulPropTag, CHANGE_PROP_TYPE(PR_ORIGINAL_SUBJECT, PT_ERROR));
    EXPECT_EQ(got[1].err, MAPI_E_NOT_FOUND);
}

TEST_P(StoreModel, LargeBodyComesOnlyThroughAStream) {
    auto inbox = env.folder(0);
    std::string body;
    for (int i = 0; body.size() < 70000; ++i) body += "line " + std::to_string(i) + "\r\n";
    std::shared_ptr<IMessage> m;
    ASSERT_EQ(inbox->CreateMessage(0, m), S_OK);
    std::shared_ptr<IStream> s;
    ASSERT_EQ(m->OpenProperty(PR_BODY, MAPI_CREATE | MAPI_MODIFY, s), S_OK);
    ULONG written = 0;
    ASSERT_EQ(s->Write(body.data(), static_cast<ULONG>(body.size()), &written), S_OK);
    ASSERT_EQ(s->Commit(), S_OK);
    s.reset();
    ASSERT_EQ(m->SaveChanges(0), S_OK);
    std::vector<SPropValue> v;
    m->GetProps({PR_ENTRYID}, 0, v);
    auto again = env.open(v[0].bin);
    ASSERT_TRUE(again);

    ASSERT_EQ(again->GetProps({PR_BODY}, 0, v), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(v[0].err, MAPI_E_NOT_ENOUGH_MEMORY);
    ASSERT_EQ(again->OpenProperty(PR_BODY, 0, s), S_OK);
    uint64_t size = 0;
    ASSERT_EQ(s->Stat(&size), S_OK);
    EXPECT_EQ(size, body.size());
    std::string read(body.size() + 10, '\0');
    ULONG n = 0;
    ASSERT_EQ(s->Read(read.data(), static_cast<ULONG>(read.size()), &n), S_OK);
    read.resize(n);
    EXPECT_TRUE(read == body) << "the stream gave " << n << " bytes, not the body written";
    // A stream opened for reading does not write back.
    EXPECT_NE(s->Commit(), S_OK);
}

TEST_P(StoreModel, RestrictionsSelectRows) {
    auto inbox = env.folder(0);
    const FileTime t0 = platform::mapi::fileTimeFromUnix(1700000000);
    struct Msg {
        const char* subject;
        int days;
    } msgs[] = {
        {"???S-P-pause", 0}, {"hello", 1}, {"???C-D-2    Wayfarer Message - Do Not Delete", 2}, {"Re: Hello", 3}};
    for (const auto& m : msgs)
        env.make(*inbox, {SPropValue::String(PR_SUBJECT, m.subject),
                          SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, t0 + uint64_t(m.days) * 864000000000ull)});

    SRestriction prefix;
    prefix.rt = RES_CONTENT;
    prefix.fuzzyLevel = FL_PREFIX;
    prefix.ulPropTag = PR_SUBJECT;
    prefix.prop = SPropValue::String(PR_SUBJECT, "???");
    SRestriction equal;
    equal.rt = RES_PROPERTY;
    equal.relop = RELOP_EQ;
    equal.ulPropTag = PR_SUBJECT;
    equal.prop = SPropValue::String(PR_SUBJECT, "hello");
    SRestriction recent;
    recent.rt = RES_PROPERTY;
    recent.relop = RELOP_GE;
    recent.ulPropTag = PR_MESSAGE_DELIVERY_TIME;
    recent.prop = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, t0 + 2 * 864000000000ull);
    SRestriction both;
    both.rt = RES_AND;
    both.sub = {prefix, recent};
    SRestriction notPrefix;
    notPrefix.rt = RES_NOT;
    notPrefix.sub = {prefix};
    SRestriction substring = prefix;
    substring.fuzzyLevel = FL_SUBSTRING | FL_IGNORECASE;
    substring.prop = SPropValue::String(PR_SUBJECT, "HELLO");

    struct Case {
        const char* name;
        const SRestriction* r;
        std::set<std::string> subjects;
    } cases[] = {
        {"prefix", &prefix, {msgs[0].subject, msgs[2].subject}},
        {"equal ignores case", &equal, {"hello"}},
        {"delivery time", &recent, {msgs[2].subject, msgs[3].subject}},
        {"and", &both, {msgs[2].subject}},
        {"not", &notPrefix, {"hello", "Re: Hello"}},
        {"substring", &substring, {"hello", "Re: Hello"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::set<std::string> got;
        for (const auto& row : env.rows(*inbox, {PR_SUBJECT}, c.r).aRow) got.insert(row.lpProps[0].str);
        EXPECT_EQ(got, c.subjects);
    }
}

TEST_P(StoreModel, PagingWhileDeletingSeesEveryRowOnce) {
    auto inbox = env.folder(0);
    for (int i = 0; i < 25; ++i) env.make(*inbox, {SPropValue::String(PR_SUBJECT, "m" + std::to_string(i))});
    std::shared_ptr<IMAPITable> t;
    ASSERT_EQ(inbox->GetContentsTable(0, t), S_OK);
    ASSERT_EQ(t->SetColumns({PR_ENTRYID, PR_SUBJECT}, 0), S_OK);
    std::multiset<std::string> seen;
    std::vector<size_t> batches;
    for (;;) {
        SRowSet rows;
        ASSERT_EQ(t->QueryRows(20, 0, rows), S_OK);
        if (!rows.cRows()) break;
        batches.push_back(rows.cRows());
        ENTRYLIST ids;
        for (const auto& r : rows.aRow) {
            seen.insert(r.lpProps[1].str);
            ids.push_back(r.lpProps[0].bin);
        }
        ASSERT_EQ(inbox->DeleteMessages(ids, 0), S_OK);
    }
    EXPECT_EQ(batches, (std::vector<size_t>{20, 5}));
    // Back to the start: the snapshot still holds every row; a seek past the end stops there.
    int32_t sought = 0;
    ASSERT_EQ(t->SeekRow(BOOKMARK_BEGINNING, 3, &sought), S_OK);
    EXPECT_EQ(sought, 3);
    SRowSet rest;
    ASSERT_EQ(t->QueryRows(100, 0, rest), S_OK);
    EXPECT_EQ(rest.cRows(), 22u);
    ASSERT_EQ(t->SeekRow(BOOKMARK_CURRENT, 10, &sought), S_OK);
    EXPECT_EQ(sought, 0);
    EXPECT_EQ(seen.size(), 25u);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 25u);
    EXPECT_EQ(env.rows(*inbox, {PR_ENTRYID}).cRows(), 0u);
}

TEST_P(StoreModel, AttachmentsKeepNamesAndBytes) {
    auto drafts = env.folder(0);
    struct File {
        std::string name;
        std::vector<uint8_t> data;
    } files[] = {{"report.doc", {0, 1, 2, 3, 0, 255, 13, 10}}, {"notes \xE9.txt", {'h', 'i', '\n'}}, {"empty.bin", {}}};
    std::shared_ptr<IMessage> m;
    ASSERT_EQ(drafts->CreateMessage(0, m), S_OK);
    m->SetProps({SPropValue::String(PR_SUBJECT, "with files")});
    for (const auto& f : files) {
        std::shared_ptr<IAttach> a;
        ULONG num = 0;
        ASSERT_EQ(m->CreateAttach(0, &num, a), S_OK);
        a->SetProps({SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                     SPropValue::String(PR_ATTACH_LONG_FILENAME, f.name),
                     SPropValue::String(PR_ATTACH_FILENAME, f.name)});
        std::shared_ptr<IStream> s;
        ASSERT_EQ(a->OpenProperty(PR_ATTACH_DATA_BIN, MAPI_CREATE | MAPI_MODIFY, s), S_OK);
        s->Write(f.data.data(), static_cast<ULONG>(f.data.size()), nullptr);
        ASSERT_EQ(s->Commit(), S_OK);
        ASSERT_EQ(a->SaveChanges(0), S_OK);
    }
    ASSERT_EQ(m->SaveChanges(0), S_OK);
    std::vector<SPropValue> v;
    m->GetProps({PR_ENTRYID}, 0, v);
    auto again = env.open(v[0].bin);
    ASSERT_TRUE(again);
    again->GetProps({PR_HASATTACH}, 0, v);
    EXPECT_TRUE(v[0].b);
    std::shared_ptr<IMAPITable> t;
    ASSERT_EQ(again->GetAttachmentTable(0, t), S_OK);
    SRowSet* rows = nullptr;
    SPropTagArray cols = {PR_ATTACH_LONG_FILENAME, PR_ATTACH_NUM, PR_ATTACH_METHOD};
    ASSERT_EQ(HrQueryAllRows(t.get(), &cols, nullptr, nullptr, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows(), 3u);
    for (const auto& row : rows->aRow) {
        auto f = std::find_if(std::begin(files), std::end(files),
                              [&](const File& x) { return x.name == row.lpProps[0].str; });
        ASSERT_NE(f, std::end(files)) << row.lpProps[0].str;
        EXPECT_EQ(row.lpProps[2].l, int32_t(ATTACH_BY_VALUE));
        std::shared_ptr<IAttach> a;
        ASSERT_EQ(again->OpenAttach(static_cast<ULONG>(row.lpProps[1].l), MAPI_BEST_ACCESS, a), S_OK);
        std::shared_ptr<IStream> s;
        ASSERT_EQ(a->OpenProperty(PR_ATTACH_DATA_BIN, 0, s), S_OK);
        std::vector<uint8_t> data(64);
        ULONG n = 0;
        s->Read(data.data(), 64, &n);
        data.resize(n);
        EXPECT_EQ(data, f->data) << f->name;
    }
    FreeProws(rows);
}

TEST_P(StoreModel, RecipientsAndDisplayLines) {
    auto inbox = env.folder(0);
    ADRLIST list;
    list.aEntries = {recipient("Alice Archer", "alice@example.test", MAPI_TO),
                     recipient("bob@example.test", "bob@example.test", MAPI_TO),
                     recipient("Carol", "carol@example.test", MAPI_CC),
                     recipient("Hidden", "hidden@example.test", MAPI_BCC)};
    EntryId id = env.make(*inbox, {SPropValue::String(PR_SUBJECT, "to many")}, list);
    auto m = env.open(id);
    ASSERT_TRUE(m);
    std::vector<SPropValue> v;
    m->GetProps({PR_DISPLAY_TO, PR_DISPLAY_CC}, 0, v);
    EXPECT_EQ(v[0].str, "Alice Archer; bob@example.test");
    EXPECT_EQ(v[1].str, "Carol");
    std::shared_ptr<IMAPITable> t;
    ASSERT_EQ(m->GetRecipientTable(0, t), S_OK);
    SRowSet* rows = nullptr;
    SPropTagArray cols = {PR_EMAIL_ADDRESS, PR_RECIPIENT_TYPE};
    ASSERT_EQ(HrQueryAllRows(t.get(), &cols, nullptr, nullptr, 0, &rows), S_OK);
    std::set<std::pair<std::string, int32_t>> got;
    for (const auto& r : rows->aRow) got.insert({r.lpProps[0].str, r.lpProps[1].l});
    FreeProws(rows);
    EXPECT_EQ(got, (std::set<std::pair<std::string, int32_t>>{{"alice@example.test", 1},
                                                              {"bob@example.test", 1},
                                                              {"carol@example.test", 2},
                                                              {"hidden@example.test", 3}}));
}

TEST_P(StoreModel, MoveReadFlagAndSpecialFolders) {
    auto inbox = env.folder(0);
    auto trash = env.folder(PR_IPM_WASTEBASKET_ENTRYID);
    ASSERT_TRUE(trash);
    for (ULONG tag : {PR_IPM_OUTBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID})
        EXPECT_TRUE(env.folder(tag)) << std::hex << tag;
    EntryId id = env.make(*inbox, {SPropValue::String(PR_SUBJECT, "move me")});
    auto m = env.open(id);
    ASSERT_EQ(m->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    std::vector<SPropValue> v;
    env.open(id)->GetProps({PR_MESSAGE_FLAGS}, 0, v);
    EXPECT_EQ(v[0].l & MSGFLAG_READ, 0);
    ASSERT_EQ(env.open(id)->SetReadFlag(0), S_OK);
    env.open(id)->GetProps({PR_MESSAGE_FLAGS}, 0, v);
    EXPECT_NE(v[0].l & MSGFLAG_READ, 0);

    ASSERT_EQ(inbox->CopyMessages({id}, trash.get(), MESSAGE_MOVE), S_OK);
    EXPECT_EQ(env.rows(*inbox, {PR_SUBJECT}).cRows(), 0u);
    auto moved = env.rows(*trash, {PR_SUBJECT});
    ASSERT_EQ(moved.cRows(), 1u);
    EXPECT_EQ(moved.aRow[0].lpProps[0].str, "move me");
    EXPECT_FALSE(env.open(id));  // the old id names nothing now

    // The hierarchy under the IPM subtree lists the five folders.
    std::shared_ptr<IMAPITable> h;
    ASSERT_EQ(env.folder(PR_IPM_SUBTREE_ENTRYID)->GetHierarchyTable(0, h), S_OK);
    ULONG count = 0;
    h->GetRowCount(0, &count);
    EXPECT_EQ(count, 5u);
}

TEST_P(StoreModel, BadEntryIdsAreRefused) {
    const EntryId cases[] = {{}, {1, 2, 3}, {'T', 'S', 'E', 'I'}};
    for (size_t i = 1; i < std::size(cases); ++i) {
        std::shared_ptr<IMAPIProp> object;
        ULONG type = 0;
        EXPECT_EQ(env.store->OpenEntry(cases[i], 0, &type, object), MAPI_E_INVALID_ENTRYID) << i;
    }
    // A well-formed id of a message that is not there.
    auto inbox = env.folder(0);
    EntryId id = env.make(*inbox, {SPropValue::String(PR_SUBJECT, "gone")});
    ASSERT_EQ(inbox->DeleteMessages({id}, 0), S_OK);
    EXPECT_FALSE(env.open(id));
    EXPECT_EQ(inbox->DeleteMessages({id}, 0), MAPI_W_ERRORS_RETURNED);
}

}  // namespace
}  // namespace platform::mapi::test

namespace platform::mapi::test {
namespace {

// More mail than the kernel queues events for: the lost events are made up by a rescan,
// and still every message is announced once.
TEST(MaildirArrivals, QueueOverflowStillAnnouncesEachMessageOnce) {
    StoreEnv env(BackingKind::Maildir);
    ASSERT_TRUE(env.store);
    size_t limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    const size_t count = limit + 50;
    auto sink = std::make_shared<Counter>();
    ULONG connection = 0;
    ASSERT_EQ(env.store->Advise(env.folderId(0), fnevNewMail, sink, &connection), S_OK);
    const auto dir = env.home.path() / "Maildir" / "new";
    for (size_t i = 0; i < count; ++i)
        std::ofstream(dir / ("1700000000.M" + std::to_string(i) + ".test")) << "Subject: x\n\nx\n";
    HrDispatchNotifications(env.session.get());
    HrDispatchNotifications(env.session.get());
    std::set<EntryId> ids;
    for (const auto& n : sink->seen) ids.insert(n.entryId);
    EXPECT_EQ(sink->seen.size(), count);
    EXPECT_EQ(ids.size(), count);
}

}  // namespace
}  // namespace platform::mapi::test

namespace platform::mapi::test {
namespace {

// A Maildir folder that is there but cannot be read fails its listing instead of looking
// empty: callers would take every message in it for gone.
TEST(MaildirStore, AnUnreadableFolderFailsItsListing) {
    StoreEnv env(BackingKind::Maildir);
    ASSERT_TRUE(env.store);
    auto inbox = env.folder(0);
    ASSERT_TRUE(inbox);
    env.make(*inbox, {SPropValue::String(PR_SUBJECT, "kept")});
    LHANDLE simple = 0;
    ASSERT_EQ(MAPILogon(0, "Work", nullptr, MAPI_NEW_SESSION, 0, &simple), SUCCESS_SUCCESS);
    char id[kSimpleMessageIdSize] = {};
    ASSERT_EQ(MAPIFindNext(simple, 0, nullptr, "", MAPI_LONG_MSGID, 0, id), SUCCESS_SUCCESS);

    const std::filesystem::path root = env.home.path() / "Maildir";  // the Inbox of the profile's tree
    for (const char* sub : {"cur", "new"}) {
        std::filesystem::rename(root / sub, root / (std::string(sub) + ".away"));
        std::ofstream(root / sub) << "";
    }
    std::shared_ptr<IMAPITable> table;
    EXPECT_TRUE(FAILED(inbox->GetContentsTable(0, table)));
    EXPECT_EQ(MAPIFindNext(simple, 0, nullptr, "", MAPI_LONG_MSGID, 0, id), MAPI_E_FAILURE);

    // Readable again: the message is there as before.
    for (const char* sub : {"cur", "new"}) {
        std::filesystem::remove(root / sub);
        std::filesystem::rename(root / (std::string(sub) + ".away"), root / sub);
    }
    const auto rows = env.rows(*inbox, {PR_SUBJECT});
    ASSERT_EQ(rows.cRows(), 1u);
    EXPECT_EQ(rows.aRow[0].lpProps[0].str, "kept");
    EXPECT_EQ(MAPIFindNext(simple, 0, nullptr, "", MAPI_LONG_MSGID, 0, id), SUCCESS_SUCCESS);
    MAPILogoff(simple, 0, 0, 0);
}

}  // namespace
}  // namespace platform::mapi::test
