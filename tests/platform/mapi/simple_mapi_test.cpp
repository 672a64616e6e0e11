// The nine Simple MAPI functions, bound by name from the library the way callers bind them,
// over a memory store.
#include "tests/platform/mapi/mapi_test_support.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/core/module.h"
#include "platform/mapi/simple_mapi.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi::test {
namespace {

struct SimpleApi {
    platform::LoadedModule lib{"mapi32.dll"};
    template <class F>
    F bind(const char* name) {
        return lib.Bind<F>(name);
    }
    decltype(&MAPILogon) logon = bind<decltype(&MAPILogon)>("MAPILogon");
    decltype(&MAPILogoff) logoff = bind<decltype(&MAPILogoff)>("MAPILogoff");
    decltype(&MAPISendMail) send = bind<decltype(&MAPISendMail)>("MAPISendMail");
    decltype(&MAPIFindNext) findNext = bind<decltype(&MAPIFindNext)>("MAPIFindNext");
    decltype(&MAPIReadMail) read = bind<decltype(&MAPIReadMail)>("MAPIReadMail");
    decltype(&MAPISaveMail) save = bind<decltype(&MAPISaveMail)>("MAPISaveMail");
    decltype(&MAPIDeleteMail) del = bind<decltype(&MAPIDeleteMail)>("MAPIDeleteMail");
    decltype(&MAPIFreeBuffer) freeBuffer = bind<decltype(&MAPIFreeBuffer)>("MAPIFreeBuffer");
    decltype(&MAPIResolveName) resolve = bind<decltype(&MAPIResolveName)>("MAPIResolveName");
};

class SimpleMapi : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(api.lib && api.logon && api.logoff && api.send && api.findNext && api.read && api.save && api.del &&
                    api.freeBuffer && api.resolve);
        ASSERT_EQ(api.logon(0, "Work", nullptr, MAPI_NEW_SESSION, 0, &session), SUCCESS_SUCCESS);
    }
    void TearDown() override {
        if (session) {
            EXPECT_EQ(api.logoff(session, 0, 0, 0), SUCCESS_SUCCESS);
        }
    }
    // Three Inbox messages delivered an hour apart; the second one read, the third with a file.
    std::vector<std::string> deliverThree() {
        std::vector<std::string> keys;
        for (int i = 0; i < 3; ++i) {
            platform::mapi::StoredMessage m;
            m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, "msg " + std::to_string(i));
            m.props[PR_BODY] = SPropValue::String(PR_BODY, "body " + std::to_string(i));
            m.props[PR_SENDER_NAME] = SPropValue::String(PR_SENDER_NAME, "Alice Archer");
            m.props[PR_SENDER_EMAIL_ADDRESS] = SPropValue::String(PR_SENDER_EMAIL_ADDRESS, "alice@example.test");
            m.props[PR_MESSAGE_DELIVERY_TIME] = SPropValue::Time(
                PR_MESSAGE_DELIVERY_TIME, platform::mapi::fileTimeFromUnix(1700000000 + 3600 * (3 - i)));
            m.recipients = {{{PR_DISPLAY_NAME, SPropValue::String(PR_DISPLAY_NAME, "Tess User")},
                             {PR_EMAIL_ADDRESS, SPropValue::String(PR_EMAIL_ADDRESS, "tess@tess.test")},
                             {PR_RECIPIENT_TYPE, SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)}}};
            m.read = i == 1;
            if (i == 2)
                m.attachments = {{{PR_ATTACH_LONG_FILENAME, SPropValue::String(PR_ATTACH_LONG_FILENAME, "a/b.txt")},
                                  {PR_ATTACH_DATA_BIN, SPropValue::Binary(PR_ATTACH_DATA_BIN, {'x', 0, 'y'})}}};
            keys.push_back(env.memory->deliver("", m));
        }
        return keys;
    }

    StoreEnv env{BackingKind::Memory};
    SimpleApi api;
    LHANDLE session = 0;
};

TEST_F(SimpleMapi, ExtendedSessionBehindTheSimpleOneSharesItsStore) {
    std::shared_ptr<IMAPISession> ext;
    ASSERT_EQ(ScMAPIXFromSMAPI(session, 0, nullptr, &ext), S_OK);
    std::shared_ptr<IMAPITable> t;
    ASSERT_EQ(ext->GetMsgStoresTable(0, t), S_OK);
    deliverThree();
    char id[kSimpleMessageIdSize] = {};
    ASSERT_EQ(api.findNext(session, 0, nullptr, nullptr, MAPI_LONG_MSGID, 0, id), SUCCESS_SUCCESS);
    auto* s = dynamic_cast<platform::mapi::Session*>(ext.get());
    ASSERT_TRUE(s);
    std::vector<platform::mapi::StoredMessage> list;
    ASSERT_EQ(s->store()->backing().listMessages("", list), S_OK);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(ScMAPIXFromSMAPI(session + 1000, 0, nullptr, &ext), MAPI_E_INVALID_PARAMETER);
}

TEST_F(SimpleMapi, LogonChecksProfileAndSession) {
    LHANDLE other = 0;
    EXPECT_EQ(api.logon(0, "Nobody", nullptr, 0, 0, &other), MAPI_E_LOGIN_FAILURE);
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(api.logon(0, nullptr, nullptr, 0, 0, &other), SUCCESS_SUCCESS);  // the default profile
    EXPECT_EQ(api.logoff(other, 0, 0, 0), SUCCESS_SUCCESS);
    char id[kSimpleMessageIdSize] = {};
    EXPECT_EQ(api.findNext(other, 0, nullptr, nullptr, 0, 0, id), MAPI_E_INVALID_SESSION);
    EXPECT_EQ(api.logoff(other, 0, 0, 0), MAPI_E_INVALID_SESSION);
}

TEST_F(SimpleMapi, FindNextWalksTheInboxOldestFirst) {
    auto keys = deliverThree();  // delivered newest first
    struct Case {
        FLAGS flags;
        std::vector<std::string> order;
    } cases[] = {{MAPI_LONG_MSGID, {keys[2], keys[1], keys[0]}},
                 {MAPI_LONG_MSGID | MAPI_UNREAD_ONLY, {keys[2], keys[0]}}};
    for (const auto& c : cases) {
        std::vector<std::string> got;
        char id[kSimpleMessageIdSize] = {};
        std::string seed;
        while (api.findNext(session, 0, nullptr, seed.c_str(), c.flags, 0, id) == SUCCESS_SUCCESS) {
            got.push_back(id);
            seed = id;
            ASSERT_LE(got.size(), 3u);
        }
        EXPECT_EQ(got, c.order) << c.flags;
    }
    char id[kSimpleMessageIdSize] = {};
    EXPECT_EQ(api.findNext(session, 0, nullptr, keys[0].c_str(), MAPI_LONG_MSGID, 0, id), MAPI_E_NO_MESSAGES);
    EXPECT_EQ(api.findNext(session, 0, nullptr, "no-such-id", MAPI_LONG_MSGID, 0, id), MAPI_E_INVALID_MESSAGE);
    EXPECT_EQ(api.findNext(session, 0, "IPM.Other", nullptr, MAPI_LONG_MSGID, 0, id), MAPI_E_NO_MESSAGES);
}

TEST_F(SimpleMapi, ReadMailPeeksOrMarksAndHandsOutFiles) {
    auto keys = deliverThree();
    MapiMessage* m = nullptr;
    ASSERT_EQ(api.read(session, 0, keys[2].c_str(), MAPI_PEEK, 0, &m), SUCCESS_SUCCESS);
    EXPECT_STREQ(m->lpszSubject, "msg 2");
    EXPECT_STREQ(m->lpszNoteText, "body 2");
    EXPECT_EQ(m->flFlags & MAPI_UNREAD, MAPI_UNREAD);
    EXPECT_STREQ(m->lpOriginator->lpszName, "Alice Archer");
    EXPECT_STREQ(m->lpOriginator->lpszAddress, "alice@example.test");
    ASSERT_EQ(m->nRecipCount, 1u);
    EXPECT_STREQ(m->lpRecips[0].lpszAddress, "tess@tess.test");
    EXPECT_EQ(std::strlen(m->lpszDateReceived), 16u);  // YYYY/MM/DD HH:MM
    ASSERT_EQ(m->nFileCount, 1u);
    const std::filesystem::path file = m->lpFiles[0].lpszPathName;
    EXPECT_STREQ(m->lpFiles[0].lpszFileName, "a_b.txt");  // no directory from a name
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string("x\0y", 3));
    EXPECT_EQ(api.freeBuffer(m), SUCCESS_SUCCESS);
    std::filesystem::remove_all(file.parent_path());

    // Peeking left it unread; an envelope read marks it read and brings no body.
    ASSERT_EQ(api.read(session, 0, keys[2].c_str(), MAPI_ENVELOPE_ONLY, 0, &m), SUCCESS_SUCCESS);
    EXPECT_EQ(m->flFlags & MAPI_UNREAD, MAPI_UNREAD);
    EXPECT_STREQ(m->lpszNoteText, "");
    EXPECT_EQ(m->nFileCount, 0u);
    api.freeBuffer(m);
    ASSERT_EQ(api.read(session, 0, keys[2].c_str(), MAPI_PEEK, 0, &m), SUCCESS_SUCCESS);
    EXPECT_EQ(m->flFlags & MAPI_UNREAD, 0u);
    std::filesystem::remove_all(std::filesystem::path(m->lpFiles[0].lpszPathName).parent_path());
    api.freeBuffer(m);
    EXPECT_EQ(api.read(session, 0, "nope", 0, 0, &m), MAPI_E_INVALID_MESSAGE);
    EXPECT_EQ(m, nullptr);
}

TEST_F(SimpleMapi, SendMailResolvesRecipientsAndAttachesFiles) {
    const auto file = env.home.path() / "report.txt";
    std::ofstream(file) << "report";
    MapiRecipDesc to[3] = {};
    to[0].ulRecipClass = MAPI_TO;
    to[0].lpszName = const_cast<char*>("carol");
    to[0].lpszAddress = const_cast<char*>("SMTP:carol@far.test");
    to[1].ulRecipClass = MAPI_CC;
    to[1].lpszName = const_cast<char*>("Bob Baker");  // an EX entry: sent to its SMTP proxy
    to[2].ulRecipClass = MAPI_BCC;
    to[2].lpszName = const_cast<char*>("Alan Arbor");
    MapiFileDesc files[1] = {};
    files[0].nPosition = 0xFFFFFFFFu;
    files[0].lpszPathName = const_cast<char*>(file.c_str());
    MapiMessage msg = {};
    msg.lpszSubject = const_cast<char*>("hi");
    msg.lpszNoteText = const_cast<char*>("text");
    msg.nRecipCount = 3;
    msg.lpRecips = to;
    msg.nFileCount = 1;
    msg.lpFiles = files;
    ASSERT_EQ(api.send(session, 0, &msg, 0, 0), SUCCESS_SUCCESS);
    auto sent = env.memory->submitted();
    ASSERT_EQ(sent.size(), 1u);
    std::vector<std::pair<std::string, int32_t>> rcpts;
    for (const auto& r : sent[0].recipients) rcpts.emplace_back(r.at(PR_EMAIL_ADDRESS).str, r.at(PR_RECIPIENT_TYPE).l);
    EXPECT_EQ(rcpts, (std::vector<std::pair<std::string, int32_t>>{
                         {"carol@far.test", 1}, {"bob@example.test", 2}, {"alan@example.test", 3}}));
    ASSERT_EQ(sent[0].attachments.size(), 1u);
    EXPECT_EQ(sent[0].attachments[0].at(PR_ATTACH_LONG_FILENAME).str, "report.txt");
    EXPECT_EQ(sent[0].attachments[0].at(PR_ATTACH_DATA_BIN).bin, (std::vector<uint8_t>{'r', 'e', 'p', 'o', 'r', 't'}));

    struct Case {
        const char* name;
        const char* path;
        ULONG result;
    } cases[] = {{"Nobody Known", nullptr, MAPI_E_UNKNOWN_RECIPIENT},
                 {"Al", nullptr, MAPI_E_AMBIGUOUS_RECIPIENT},
                 {"Alice Archer", "/no/such/file", MAPI_E_ATTACHMENT_NOT_FOUND}};
    for (const auto& c : cases) {
        MapiRecipDesc r = {};
        r.ulRecipClass = MAPI_TO;
        r.lpszName = const_cast<char*>(c.name);
        MapiFileDesc f = {};
        f.lpszPathName = const_cast<char*>(c.path);
        MapiMessage bad = {};
        bad.nRecipCount = 1;
        bad.lpRecips = &r;
        bad.nFileCount = c.path ? 1 : 0;
        bad.lpFiles = c.path ? &f : nullptr;
        EXPECT_EQ(api.send(session, 0, &bad, 0, 0), c.result) << c.name;
    }
    EXPECT_EQ(env.memory->submitted().size(), 1u);
    EXPECT_EQ(api.send(session, 0, &msg, MAPI_DIALOG, 0), MAPI_E_NOT_SUPPORTED);
}

TEST_F(SimpleMapi, SaveDeleteAndResolve) {
    MapiMessage msg = {};
    msg.lpszSubject = const_cast<char*>("draft");
    msg.lpszNoteText = const_cast<char*>("v1");
    msg.flFlags = MAPI_UNREAD;
    char id[kSimpleMessageIdSize] = {};
    ASSERT_EQ(api.save(session, 0, &msg, MAPI_LONG_MSGID, 0, id), SUCCESS_SUCCESS);
    ASSERT_NE(id[0], 0);
    msg.lpszNoteText = const_cast<char*>("v2");
    const std::string first = id;
    ASSERT_EQ(api.save(session, 0, &msg, MAPI_LONG_MSGID, 0, id), SUCCESS_SUCCESS);
    EXPECT_EQ(first, id);
    MapiMessage* m = nullptr;
    ASSERT_EQ(api.read(session, 0, id, MAPI_PEEK, 0, &m), SUCCESS_SUCCESS);
    EXPECT_STREQ(m->lpszNoteText, "v2");
    EXPECT_EQ(m->flFlags & MAPI_UNREAD, MAPI_UNREAD);
    api.freeBuffer(m);
    EXPECT_EQ(env.rows(*env.folder(0), {PR_SUBJECT}).cRows(), 1u);  // replaced, not added

    ASSERT_EQ(api.del(session, 0, id, 0, 0), SUCCESS_SUCCESS);
    EXPECT_EQ(env.rows(*env.folder(0), {PR_SUBJECT}).cRows(), 0u);
    EXPECT_EQ(env.rows(*env.folder(PR_IPM_WASTEBASKET_ENTRYID), {PR_SUBJECT}).cRows(), 1u);
    EXPECT_EQ(api.del(session, 0, id, 0, 0), MAPI_E_INVALID_MESSAGE);

    MapiRecipDesc* r = nullptr;
    ASSERT_EQ(api.resolve(session, 0, "Bob", 0, 0, &r), SUCCESS_SUCCESS);
    EXPECT_STREQ(r->lpszName, "Bob Baker");
    EXPECT_STREQ(r->lpszAddress, "bob@example.test");
    EXPECT_GT(r->ulEIDSize, 0u);
    api.freeBuffer(r);
    EXPECT_EQ(api.resolve(session, 0, "Al", 0, 0, &r), MAPI_E_AMBIGUOUS_RECIPIENT);
    EXPECT_EQ(api.resolve(session, 0, "Zed", 0, 0, &r), MAPI_E_UNKNOWN_RECIPIENT);
    EXPECT_EQ(r, nullptr);
}

}  // namespace
}  // namespace platform::mapi::test
