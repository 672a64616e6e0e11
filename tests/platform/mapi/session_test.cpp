// Session-level behaviour on the memory backing: submission and its reports, injected
// faults, new-mail advise, the address book, profiles, and loading the library by name.
#include "tests/platform/mapi/mapi_test_support.h"

#include <set>

#include "platform/core/module.h"
#include "platform/core/registry.h"
#include "platform/mapi/address_book.h"
#include "platform/mapi/mail_client_registration.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi::test {

using tess::test::TempHome;

namespace {

ADRLIST twoRecipients() {
    ADRLIST list;
    list.aEntries = {recipient("Alice Archer", "alice@example.test", MAPI_TO),
                     recipient("Bounce", "bounce@example.test", MAPI_CC)};
    return list;
}

TEST(MapiSubmit, SentCopyReportAndDeleteAfterSubmit) {
    struct Case {
        const char* name;
        bool deleteAfter;
        bool refuse;
        size_t sent, reports;
    } cases[] = {
        {"plain", false, false, 1, 0},
        {"delete after submit", true, false, 0, 0},
        {"refused recipient", false, true, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreEnv env(BackingKind::Memory);
        if (c.refuse) env.memory->refuseRecipient("bounce@example.test", "550 5.1.1 no such user");
        auto outbox = env.folder(PR_IPM_OUTBOX_ENTRYID);
        std::shared_ptr<IMessage> m;
        ASSERT_EQ(outbox->CreateMessage(0, m), S_OK);
        m->SetProps({SPropValue::String(PR_SUBJECT, "status"), SPropValue::String(PR_BODY, "all fine"),
                     SPropValue::Bool(PR_DELETE_AFTER_SUBMIT, c.deleteAfter)});
        m->ModifyRecipients(0, twoRecipients());
        ASSERT_EQ(m->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        ASSERT_EQ(m->SubmitMessage(FORCE_SUBMIT), S_OK);

        auto submitted = env.memory->submitted();
        ASSERT_EQ(submitted.size(), 1u);
        EXPECT_EQ(submitted[0].props.at(PR_SENDER_EMAIL_ADDRESS).str, "tess@tess.test");
        EXPECT_EQ(env.rows(*outbox, {PR_SUBJECT}).cRows(), 0u);
        auto sent = env.rows(*env.folder(PR_IPM_SENTMAIL_ENTRYID), {PR_SUBJECT, PR_MESSAGE_FLAGS});
        ASSERT_EQ(sent.cRows(), c.sent);
        if (c.sent) {
            EXPECT_NE(sent.aRow[0].lpProps[1].l & MSGFLAG_READ, 0);
        }
        auto inbox = env.folder(0);
        auto reports =
            env.rows(*inbox, {PR_ENTRYID, PR_MESSAGE_CLASS, PR_ORIGINAL_SUBJECT, PR_DISPLAY_TO, PR_SENDER_NAME});
        ASSERT_EQ(reports.cRows(), c.reports);
        if (!c.reports) continue;
        const auto& r = reports.aRow[0].lpProps;
        EXPECT_EQ(r[1].str, "REPORT.IPM.Note.NDR");
        EXPECT_EQ(r[2].str, "status");
        EXPECT_EQ(r[3].str, "tess@tess.test");
        EXPECT_EQ(r[4].str, "System Administrator");
        std::shared_ptr<IMAPITable> t;
        env.open(r[0].bin)->GetRecipientTable(0, t);
        SRowSet* rows = nullptr;
        SPropTagArray cols = {PR_EMAIL_ADDRESS, PR_REPORT_TEXT};
        ASSERT_EQ(HrQueryAllRows(t.get(), &cols, nullptr, nullptr, 0, &rows), S_OK);
        ASSERT_EQ(rows->cRows(), 1u);
        EXPECT_EQ(rows->aRow[0].lpProps[0].str, "bounce@example.test");
        EXPECT_EQ(rows->aRow[0].lpProps[1].str, "550 5.1.1 no such user");
        FreeProws(rows);
    }
}

TEST(MapiFaults, InjectedFailuresReachTheCaller) {
    StoreEnv env(BackingKind::Memory);
    auto inbox = env.folder(0);
    env.make(*inbox, {SPropValue::String(PR_SUBJECT, "x")});

    // Restrict fails; the table still answers unrestricted.
    env.memory->failCall("Restrict", MAPI_E_TOO_COMPLEX);
    std::shared_ptr<IMAPITable> t;
    ASSERT_EQ(inbox->GetContentsTable(0, t), S_OK);
    SRestriction r;
    r.rt = RES_EXIST;
    r.ulPropTag = PR_SUBJECT;
    EXPECT_EQ(t->Restrict(&r, TBL_BATCH), MAPI_E_TOO_COMPLEX);

    // Submit fails: the message stays in the Outbox, nothing is sent.
    env.memory->failCall("SubmitMessage", MAPI_E_CALL_FAILED);
    auto outbox = env.folder(PR_IPM_OUTBOX_ENTRYID);
    std::shared_ptr<IMessage> m;
    outbox->CreateMessage(0, m);
    m->SetProps({SPropValue::String(PR_SUBJECT, "stuck")});
    m->ModifyRecipients(0, twoRecipients());
    m->SaveChanges(0);
    EXPECT_EQ(m->SubmitMessage(0), MAPI_E_CALL_FAILED);
    EXPECT_EQ(env.rows(*outbox, {PR_SUBJECT}).cRows(), 1u);
    EXPECT_TRUE(env.memory->submitted().empty());

    // A lower text limit turns a modest body into NOT_ENOUGH_MEMORY.
    env.memory->setTextValueLimit(8);
    EntryId id = env.make(*inbox, {SPropValue::String(PR_BODY, "more than eight")});
    std::vector<SPropValue> v;
    EXPECT_EQ(env.open(id)->GetProps({PR_BODY}, 0, v), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(v[0].err, MAPI_E_NOT_ENOUGH_MEMORY);

    // Logon fails with the injected result.
    env.memory->failCall("Logon", MAPI_E_LOGON_FAILED);
    std::shared_ptr<IMAPISession> s;
    EXPECT_EQ(MAPILogonEx(0, "Work", nullptr, MAPI_EXPLICIT_PROFILE, &s), MAPI_E_LOGON_FAILED);
    EXPECT_FALSE(s);
}

TEST(MapiLogon, ProfilesAndPasswords) {
    TempHome home;
    platform::mapi::clearMemoryProfiles();
    platform::mapi::Profile a = workProfile(), b = workProfile();
    a.name = "First";
    a.isDefault = false;
    a.maildir = (home.path() / "a").string();
    b.name = "Second";
    b.password = "pw";
    b.maildir = (home.path() / "b").string();
    ASSERT_TRUE(platform::mapi::saveProfile(a));
    ASSERT_TRUE(platform::mapi::saveProfile(b));
    MAPIInitialize(nullptr);
    std::shared_ptr<IProfAdmin> admin;
    ASSERT_EQ(MAPIAdminProfiles(0, &admin), S_OK);
    std::shared_ptr<IMAPITable> t;
    ASSERT_EQ(admin->GetProfileTable(0, t), S_OK);
    SRowSet rows;
    t->QueryRows(10, 0, rows);
    ASSERT_EQ(rows.cRows(), 2u);
    EXPECT_EQ(rows.aRow[0].find(PR_DISPLAY_NAME)->str, "First");
    EXPECT_FALSE(rows.aRow[0].find(PR_DEFAULT_PROFILE)->b);
    EXPECT_TRUE(rows.aRow[1].find(PR_DEFAULT_PROFILE)->b);

    struct Case {
        const char* profile;
        const char* password;
        ULONG flags;
        HRESULT result;
    } cases[] = {
        {"second", "pw", MAPI_EXPLICIT_PROFILE, S_OK},
        {"Second", "wrong", MAPI_EXPLICIT_PROFILE, MAPI_E_LOGON_FAILED},
        {nullptr, "pw", MAPI_USE_DEFAULT, S_OK},
        {"First", nullptr, MAPI_EXPLICIT_PROFILE, S_OK},
        {"Nobody", nullptr, MAPI_EXPLICIT_PROFILE, MAPI_E_LOGON_FAILED},
    };
    for (const auto& c : cases) {
        std::shared_ptr<IMAPISession> s;
        EXPECT_EQ(MAPILogonEx(0, c.profile, c.password, c.flags, &s), c.result)
            << (c.profile ? c.profile : "(default)");
        EXPECT_EQ(s != nullptr, c.result == S_OK);
    }
    MAPIUninitialize();
    std::shared_ptr<IMAPISession> s;
    EXPECT_EQ(MAPILogonEx(0, "First", nullptr, MAPI_EXPLICIT_PROFILE, &s), MAPI_E_NOT_INITIALIZED);
}

struct Recorder : IMAPIAdviseSink {
    std::vector<NOTIFICATION> seen;
    ULONG OnNotify(const std::vector<NOTIFICATION>& n) override {
        seen.insert(seen.end(), n.begin(), n.end());
        return 0;
    }
};

TEST(MapiAdvise, NewMailIsAnnouncedOnceAndStopsAfterUnadvise) {
    StoreEnv env(BackingKind::Memory);
    EntryId inbox = env.folderId(0);
    auto sink = std::make_shared<Recorder>();
    ULONG connection = 0;
    ASSERT_EQ(env.store->Advise(inbox, fnevNewMail, sink, &connection), S_OK);

    platform::mapi::StoredMessage m;
    m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, "arrived");
    env.memory->deliver("", m);
    env.memory->deliver("Sent Items", m);  // not the advised folder
    EXPECT_TRUE(sink->seen.empty());       // nothing until the caller's loop dispatches
    HrDispatchNotifications(env.session.get());
    ASSERT_EQ(sink->seen.size(), 1u);
    EXPECT_EQ(sink->seen[0].ulEventType, fnevNewMail);
    EXPECT_EQ(sink->seen[0].parentId, inbox);
    auto opened = env.open(sink->seen[0].entryId);
    ASSERT_TRUE(opened);
    std::vector<SPropValue> v;
    opened->GetProps({PR_SUBJECT}, 0, v);
    EXPECT_EQ(v[0].str, "arrived");
    HrDispatchNotifications(env.session.get());
    EXPECT_EQ(sink->seen.size(), 1u);

    ASSERT_EQ(env.store->Unadvise(connection), S_OK);
    env.memory->deliver("", m);
    HrDispatchNotifications(env.session.get());
    EXPECT_EQ(sink->seen.size(), 1u);
    EXPECT_EQ(env.store->Unadvise(connection), MAPI_E_NOT_FOUND);
}

TEST(MapiAddressBook, GlobalListResolutionAndProxies) {
    StoreEnv env(BackingKind::Memory);
    std::shared_ptr<IAddrBook> book;
    ASSERT_EQ(env.session->OpenAddressBook(0, AB_NO_DIALOG, book), S_OK);

    // The global list: exactly one container with the provider id and container id 0.
    std::shared_ptr<IMAPIProp> root;
    ULONG type = 0;
    ASSERT_EQ(book->OpenEntry({}, MAPI_DEFERRED_ERRORS, &type, root), S_OK);
    EXPECT_EQ(type, MAPI_ABCONT);
    std::shared_ptr<IMAPITable> h;
    ASSERT_EQ(
        std::dynamic_pointer_cast<IABContainer>(root)->GetHierarchyTable(CONVENIENT_DEPTH | MAPI_DEFERRED_ERRORS, h),
        S_OK);
    SRestriction provider, container, both;
    provider.rt = container.rt = RES_PROPERTY;
    provider.ulPropTag = PR_AB_PROVIDER_ID;
    provider.prop = SPropValue::Binary(PR_AB_PROVIDER_ID, platform::mapi::kGlobalListProviderId);
    container.ulPropTag = PR_EMS_AB_CONTAINERID;
    container.prop = SPropValue::Long(PR_EMS_AB_CONTAINERID, 0);
    both.rt = RES_AND;
    both.sub = {provider, container};
    SRowSet* rows = nullptr;
    SPropTagArray cols = {PR_ENTRYID};
    ASSERT_EQ(HrQueryAllRows(h.get(), &cols, &both, nullptr, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows(), 1u);
    std::shared_ptr<IMAPIProp> gal;
    ASSERT_EQ(book->OpenEntry(rows->aRow[0].lpProps[0].bin, 0, &type, gal), S_OK);
    EXPECT_EQ(type, MAPI_ABCONT);
    FreeProws(rows);

    struct Case {
        const char* name;
        HRESULT result;
        const char* addrType;
        const char* address;
    } cases[] = {
        {"Alice Archer", S_OK, "SMTP", "alice@example.test"},
        {"alice@example.test", S_OK, "SMTP", "alice@example.test"},
        {"Al", MAPI_E_AMBIGUOUS_RECIP, nullptr, nullptr},
        {"Bob", S_OK, "EX", "/o=Org/cn=bob"},
        {"bob@example.test", S_OK, "EX", "/o=Org/cn=bob"},
        {"stranger@far.test", S_OK, "SMTP", "stranger@far.test"},
        {"Nobody Known", MAPI_E_NOT_FOUND, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ADRLIST list;
        list.aEntries = {
            ADRENTRY{{SPropValue::String(PR_DISPLAY_NAME, c.name), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_CC)}}};
        EXPECT_EQ(book->ResolveName(0, 0, nullptr, list), c.result);
        if (c.result != S_OK) continue;
        const SRow& e = list.aEntries[0];
        ASSERT_TRUE(e.find(PR_ENTRYID));
        EXPECT_EQ(e.find(PR_ADDRTYPE)->str, c.addrType);
        EXPECT_EQ(e.find(PR_EMAIL_ADDRESS)->str, c.address);
        EXPECT_EQ(e.find(PR_RECIPIENT_TYPE)->l, int32_t(MAPI_CC));
        // Reading the entry back by id gives the same address, proxies first where asked.
        ADRLIST again;
        again.aEntries = {ADRENTRY{{*e.find(PR_ENTRYID)}}};
        ASSERT_EQ(book->PrepareRecips(0, {PR_ADDRTYPE, PR_EMAIL_ADDRESS, PR_SEND_RICH_INFO, PR_EMS_AB_PROXY_ADDRESSES},
                                      again),
                  S_OK);
        const auto& p = again.aEntries[0].lpProps;
        EXPECT_EQ(p[1].str, c.address);
        if (std::string(c.addrType) == "EX") {
            EXPECT_EQ(p[3].mv, (std::vector<std::string>{"X400:c=x;a=y", "SMTP:bob@example.test"}));
        } else {
            EXPECT_TRUE(p[3].isError());
        }
    }

    // The identity: SMTP address from the primary proxy, further proxies kept.
    EntryId me;
    ASSERT_EQ(env.session->QueryIdentity(me), S_OK);
    std::shared_ptr<IMAPIProp> user;
    ASSERT_EQ(env.session->OpenEntry(me, MAPI_BEST_ACCESS | MAPI_DEFERRED_ERRORS, &type, user), S_OK);
    std::vector<SPropValue> v;
    user->GetProps({PR_SMTP_ADDRESS, PR_DISPLAY_NAME, PR_SEARCH_KEY, PR_EMS_AB_PROXY_ADDRESSES}, 0, v);
    EXPECT_EQ(v[0].str, "tess@tess.test");
    EXPECT_EQ(v[1].str, "Tess User");
    EXPECT_FALSE(v[2].isError());
    EXPECT_EQ(v[3].mv.size(), 2u);
}

TEST(MapiLibrary, LoadsByEitherSpellingAndRegistersAsDefaultClient) {
    TempHome home;
    for (const char* name : {"mapi32.dll", "MAPI32.DLL"}) {
        HMODULE lib = LoadLibraryA(name);
        ASSERT_TRUE(lib) << name;
        for (const char* fn : {"MAPIInitialize",    "MAPILogonEx",
                               "MAPIAdminProfiles", "MAPIUninitialize",
                               "HrQueryAllRows",    "FreeProws",
                               "MAPIFreeBuffer",    "MAPIAllocateBuffer",
                               "MAPIAllocateMore",  "OpenStreamOnFile",
                               "FreePadrlist",      "ScMAPIXFromSMAPI",
                               "HrGetOneProp",      "ScCreateConversationIndex",
                               "HrAllocAdviseSink", "HrThisThreadAdviseSink",
                               "MAPILogon",         "MAPILogoff",
                               "MAPISendMail",      "MAPIFindNext",
                               "MAPIReadMail",      "MAPISaveMail",
                               "MAPIDeleteMail",    "MAPIResolveName"})
            EXPECT_TRUE(GetProcAddress(lib, fn)) << name << " " << fn;
        FreeLibrary(lib);
    }

    auto read = [](HKEY root, const char* path, const char* value = nullptr) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return std::string("(missing)");
        char buf[260] = {};
        DWORD size = sizeof buf, type = 0;
        LSTATUS rc = RegQueryValueExA(k, value, nullptr, &type, reinterpret_cast<unsigned char*>(buf), &size);
        RegCloseKey(k);
        return rc == ERROR_SUCCESS ? std::string(buf) : std::string("(no value)");
    };
    EXPECT_EQ(read(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command"), "(missing)");
    ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/opt/tess/bin/mailer"));
    std::string command = platform::mapi::lower(read(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command"));
    EXPECT_NE(command.find("outlook.exe"), std::string::npos) << command;
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, "Software\\Clients\\Mail"), platform::mapi::kMailClientName);
    const std::string client = std::string("Software\\Clients\\Mail\\") + platform::mapi::kMailClientName;
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, (client + "\\protocols\\mailto\\shell\\open\\command").c_str()),
              read(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command"));
    EXPECT_NE(read(HKEY_CLASSES_ROOT, "mailto\\DefaultIcon"), "(missing)");
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", "MAPIX"), "1");
}

TEST(MapiHelpers, OneOffEntriesStreamsOnePropAndConversationIndex) {
    StoreEnv env(BackingKind::Memory);
    std::shared_ptr<IAddrBook> book;
    ASSERT_EQ(env.session->OpenAddressBook(0, AB_NO_DIALOG, book), S_OK);
    EntryId oneOff;
    ASSERT_EQ(book->CreateOneOff("[SMTP:reply@far.test]", "SMTP", "[SMTP:reply@far.test]", 0, oneOff), S_OK);
    std::shared_ptr<IMAPIProp> user;
    ULONG type = 0;
    ASSERT_EQ(book->OpenEntry(oneOff, 0, &type, user), S_OK);
    EXPECT_EQ(type, MAPI_MAILUSER);
    SPropValue v;
    ASSERT_EQ(HrGetOneProp(user.get(), PR_EMAIL_ADDRESS, &v), S_OK);
    EXPECT_EQ(v.str, "[SMTP:reply@far.test]");
    EXPECT_EQ(HrGetOneProp(user.get(), PR_SUBJECT, &v), MAPI_E_NOT_FOUND);
    EntryId bad;
    EXPECT_EQ(book->CreateOneOff("x", "SMTP", "", 0, bad), MAPI_E_INVALID_PARAMETER);

    // An attachment's data copied stream to stream, as a message copy does it.
    auto inbox = env.folder(0);
    std::shared_ptr<IMessage> m;
    inbox->CreateMessage(0, m);
    std::shared_ptr<IAttach> a, b;
    ULONG n = 0;
    m->CreateAttach(0, &n, a);
    m->CreateAttach(0, &n, b);
    a->SetProps({SPropValue::Binary(PR_ATTACH_DATA_BIN, {1, 2, 3, 4, 5})});
    std::shared_ptr<IStream> from, to;
    ASSERT_EQ(a->OpenProperty(PR_ATTACH_DATA_BIN, 0, from), S_OK);
    ASSERT_EQ(b->OpenProperty(PR_ATTACH_DATA_BIN, MAPI_CREATE | MAPI_MODIFY, to), S_OK);
    uint64_t size = 0, read = 0, written = 0;
    from->Stat(&size);
    ASSERT_EQ(from->CopyTo(to.get(), size, &read, &written), S_OK);
    EXPECT_EQ(written, 5u);
    ASSERT_EQ(to->Commit(), S_OK);
    ASSERT_EQ(HrGetOneProp(b.get(), PR_ATTACH_DATA_BIN, &v), S_OK);
    EXPECT_EQ(v.bin, (std::vector<uint8_t>{1, 2, 3, 4, 5}));

    std::vector<uint8_t> root, reply;
    ASSERT_EQ(ScCreateConversationIndex(0, nullptr, &root), S_OK);
    EXPECT_EQ(root.size(), 22u);
    EXPECT_EQ(root[0], 1);
    ASSERT_EQ(ScCreateConversationIndex(static_cast<ULONG>(root.size()), root.data(), &reply), S_OK);
    EXPECT_EQ(reply.size(), 27u);
    EXPECT_TRUE(std::equal(root.begin(), root.end(), reply.begin()));
    EXPECT_EQ(ScCreateConversationIndex(5, root.data(), &reply), MAPI_E_INVALID_PARAMETER);
}

}  // namespace
}  // namespace platform::mapi::test
