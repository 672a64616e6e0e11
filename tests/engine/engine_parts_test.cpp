// The engine's parts on their own: id texts, message texts, the account's filters and
// the handheld database calls.
#include <gtest/gtest.h>

#include <ctime>
#include <sstream>
#include <tuple>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "common/handheld_records.h"
#include "common/msg_record.h"
#include "engine/body_spill.h"
#include "engine/device_database.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/engine/emulated_handheld.h"
#include "tests/support/test_home.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tess::engine::test {
namespace {

using namespace tess::accounts::layout;

TEST(IdTexts, PartsAndReplacement) {
    struct Case {
        std::string text;
        std::string first, second, newFirst, newSecond;
    } cases[] = {
        {"abc\x01xyz", "abc", "xyz", "N\x01xyz", "abc\x01N"},
        {"abc", "", "", "N\x01", "abc\x01N"},
        {"\x01xyz", "", "xyz", "N\x01xyz", "\x01N"},
        {"", "", "", "N\x01", "\x01N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IdPart(c.text, 0), c.first);
        EXPECT_EQ(IdPart(c.text, 1), c.second);
        EXPECT_EQ(ReplaceIdPart(c.text, 0, "N"), c.newFirst);
        EXPECT_EQ(ReplaceIdPart(c.text, 1, "N"), c.newSecond);
    }
}

// Texts put out to the spill file come back whole, each its own, in any order; short
// texts never leave their message.
TEST(BodySpill, TextsComeBackWholeInAnyOrder) {
    CBodySpill spill;
    std::vector<CMsg> msgs(6);
    const size_t sizes[] = {600, 0, 100, 70000, 512, 5000};
    for (size_t i = 0; i < msgs.size(); ++i) {
        for (size_t j = 0; j < sizes[i]; ++j) msgs[i].Body += char('a' + (i * 7 + j) % 26);
        if (i == 3) msgs[i].Body[10] = '\0';  // texts are bytes, NULs included
    }
    const std::vector<CMsg> want = msgs;
    for (auto& m : msgs) spill.Put(m);
    for (size_t i = 0; i < msgs.size(); ++i)
        EXPECT_EQ(msgs[i].Body.size(), sizes[i] >= 512 ? 0 : sizes[i]) << "message " << i;
    for (size_t i : {5, 0, 3, 1, 4, 2}) {
        ASSERT_TRUE(spill.Take(msgs[i])) << i;
        EXPECT_EQ(msgs[i].Body, want[i].Body) << "message " << i;
    }
    // Taken once: a second Take leaves the text as it is.
    EXPECT_TRUE(spill.Take(msgs[0]));
    EXPECT_EQ(msgs[0].Body, want[0].Body);
    // After Clear the file starts over and still gives back what went in.
    spill.Clear();
    spill.Put(msgs[5]);
    spill.Put(msgs[3]);
    ASSERT_TRUE(spill.Take(msgs[3]));
    ASSERT_TRUE(spill.Take(msgs[5]));
    EXPECT_EQ(msgs[3].Body, want[3].Body);
    EXPECT_EQ(msgs[5].Body, want[5].Body);
}

// Every field of two messages that differ in each, so that one field read into the place
// of another, or not carried at all, shows.
CMsg EveryField(int seed) {
    CMsg m;
    const uint8_t id[] = {uint8_t(seed), 0, 7, 0xFF, 3};
    m.hostId.SetData(id, 4);
    m.msgId.SetData(id, 5);
    m.deviceId.SetData(id + 1, 4);
    m.folderName = "Folder " + std::to_string(seed);
    m.folderData = {uint8_t(seed), 0, 9};
    m.reserved = -7 - seed;
    m.category = int16_t(-3 - seed);
    m.value60 = 60 + seed;
    m.value64 = int16_t(-64 - seed);
    m.date = -1000000 - seed;
    m.size = 12345 + seed;
    m.partBudget = 4096 + seed;
    m.status = uint16_t(0x8401 + seed);
    m.flags = 0xA2000001u + uint32_t(seed);
    int k = 0;
    for (std::string* t :
         {&m.From, &m.To, &m.Cc, &m.Bcc, &m.ReplyTo, &m.Extra, &m.Subject, &m.AttachmentNames, &m.dateText})
        *t = "text " + std::to_string(++k) + " of " + std::to_string(seed);
    m.Body = std::string(70000 + size_t(seed), 'b');
    m.Body[5] = '\0';
    m.recordAttributes = uint8_t(0x40 + seed);
    for (int i = 0; i < kMaxPartIds; ++i) m.partIds[i] = uint32_t(100 * seed + i + 1);
    m.rewriteParts = 1 + seed;
    m.pendingUpdate = 2 + seed;
    m.deliveredSize = 300 + seed;
    m.totalSize = 400 + seed;
    m.partWord = 0x1234500u + uint32_t(seed);
    return m;
}

void ExpectSame(const CMsg& a, const CMsg& b) {
    EXPECT_TRUE(a.hostId.IsEqual(b.hostId));
    EXPECT_TRUE(a.msgId.IsEqual(b.msgId));
    EXPECT_TRUE(a.deviceId.IsEqual(b.deviceId));
    EXPECT_EQ(a.folderName, b.folderName);
    EXPECT_EQ(a.folderData, b.folderData);
    EXPECT_EQ(a.reserved, b.reserved);
    EXPECT_EQ(a.category, b.category);
    EXPECT_EQ(a.value60, b.value60);
    EXPECT_EQ(a.value64, b.value64);
    EXPECT_EQ(a.date, b.date);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.partBudget, b.partBudget);
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.flags, b.flags);
    for (const auto field : {&CMsg::From, &CMsg::To, &CMsg::Cc, &CMsg::Bcc, &CMsg::ReplyTo, &CMsg::Extra,
                             &CMsg::Subject, &CMsg::Body, &CMsg::AttachmentNames, &CMsg::dateText})
        EXPECT_EQ(a.*field, b.*field);
    EXPECT_EQ(a.recordAttributes, b.recordAttributes);
    for (int i = 0; i < kMaxPartIds; ++i) EXPECT_EQ(a.partIds[i], b.partIds[i]) << i;
    EXPECT_EQ(a.rewriteParts, b.rewriteParts);
    EXPECT_EQ(a.pendingUpdate, b.pendingUpdate);
    EXPECT_EQ(a.deliveredSize, b.deliveredSize);
    EXPECT_EQ(a.totalSize, b.totalSize);
    EXPECT_EQ(a.partWord, b.partWord);
    EXPECT_EQ(a.partInfo != nullptr, b.partInfo != nullptr);
}

// New messages put out whole come back with every field, by folder and in the order put;
// once one cannot go out (a message with a part record), none after it does.
TEST(BodySpill, WholeMessagesComeBackWithEveryFieldInTheirOrder) {
    CBodySpill spill;
    const CMsg want[] = {EveryField(1), EveryField(2), EveryField(3)};
    for (int i : {0, 1}) {
        auto m = std::make_unique<CMsg>(want[i]);
        ASSERT_TRUE(spill.PutWhole(7, m)) << i;
        EXPECT_EQ(m, nullptr) << "the message is the file's now";
    }
    auto other = std::make_unique<CMsg>(want[2]);
    ASSERT_TRUE(spill.PutWhole(9, other));
    EXPECT_EQ(spill.WholeCount(7), 2u);
    EXPECT_EQ(spill.WholeCount(9), 1u);
    EXPECT_EQ(spill.WholeCount(8), 0u);
    for (auto [key, n, expected] : {std::tuple{9, 0, 2}, std::tuple{7, 1, 1}, std::tuple{7, 0, 0}}) {
        const auto back = spill.TakeWhole(key, size_t(n));
        ASSERT_NE(back, nullptr) << key << " " << n;
        ExpectSame(*back, want[expected]);
    }
    EXPECT_EQ(spill.TakeWhole(7, 2), nullptr);
    EXPECT_EQ(spill.TakeWhole(8, 0), nullptr);

    auto withPart = std::make_unique<CMsg>(want[0]);
    withPart->partInfo = std::make_unique<CPartInfoRecord>();
    EXPECT_FALSE(spill.PutWhole(7, withPart));
    ASSERT_NE(withPart, nullptr);
    EXPECT_EQ(withPart->Body, want[0].Body) << "a message that stays keeps its text";
    auto after = std::make_unique<CMsg>(want[1]);
    EXPECT_FALSE(spill.PutWhole(7, after)) << "none goes out after one that stayed";
    EXPECT_EQ(spill.WholeCount(7), 2u);

    spill.Clear();
    EXPECT_EQ(spill.WholeCount(7), 0u);
    ASSERT_TRUE(spill.PutWhole(7, after));
    const auto back = spill.TakeWhole(7, 0);
    ASSERT_NE(back, nullptr);
    ExpectSame(*back, want[1]);
}

TEST(MessageTexts, CatalogueFormatsTakeTheirTexts) {
    EXPECT_EQ(FormatText("Account %s, folder %s .....", {"Work", "Inbox"}), "Account Work, folder Inbox .....");
    EXPECT_EQ(FormatText("%d of %-20s%%", {"3", "x"}), "3 of x%");
    EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and ") << "a missing text is empty, never read from elsewhere";
    EXPECT_EQ(FormatText("100%", {}), "100%");
}

class QuietEnvironment : public EngineAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

MessageFilter Filter(int kind, int op, const char* value, const char* target = "") {
    MessageFilter f;
    f.inUse = 1;
    f.kind = kind;
    f.textOperator = op;
    f.numericOperator = op;
    std::snprintf(f.value, sizeof f.value, "%s", value);
    std::snprintf(f.extra, sizeof f.extra, "%s", target);
    std::snprintf(f.name, sizeof f.name, "rule");
    return f;
}

TEST(AccountFilters, FirstMatchDecidesAndNoneInUseKeeps) {
    tess::test::TempHome home;
    CSyncSession session;
    QuietEnvironment env;
    CHostConnection c(session, 0);
    tess::accounts::AccountInit init;
    init.userId = 1;
    init.userDirectory = home.path().string();
    c.account = std::make_unique<tess::accounts::CMailAccount>(init, env);
    auto& block = c.account->MutableImage().handheld;
    tess::accounts::ByteSpan b(block);
    for (const auto& [slot, name] : {std::pair{0, "Inbox"}, {1, "Outbox"}, {5, "Family"}})
        b.putText(kFolderPrefCopy + kFolderPrefSlots + size_t(slot) * kFolderSlotWidth, kFolderSlotWidth, name);

    CMsg m;
    m.From = "Bob <bob@example.org>";
    m.To = "alice@example.org";
    m.Subject = "  Weekly report";
    m.size = 3000;
    m.date = int32_t(std::time(nullptr)) - 10 * 86400;

    struct Case {
        const char* what;
        std::vector<MessageFilter> filters;
        bool filtering;
        int keep;
        int category;
    } cases[] = {
        {"filtering off keeps", {Filter(2, 0, "nothing")}, false, 1, 0},
        {"none in use keeps", {}, true, 1, 0},
        {"two in use, neither matching, rejects", {Filter(2, 0, "invoice"), Filter(1, 0, "carol")}, true, 0, 0},
        {"subject contains, either case", {Filter(2, 0, "WEEKLY")}, true, 1, 0},
        {"subject begins with, after its blanks", {Filter(2, 1, "weekly")}, true, 1, 0},
        {"does not contain", {Filter(0, 2, "bob")}, true, 1, 0},
        {"size at least 2 KB", {Filter(5, 0, "2")}, true, 1, 0},
        {"size at least 4 KB rejects", {Filter(5, 0, "4")}, true, 0, 0},
        {"older than a week", {Filter(4, 0, "7")}, true, 1, 0},
        {"at most a day old rejects", {Filter(4, 1, "1")}, true, 0, 0},
        {"a match moves to its folder", {Filter(1, 0, "bob", "Family")}, true, 1, 5},
        {"a match aimed at the outbox stays", {Filter(1, 0, "bob", "Outbox")}, true, 1, 0},
        {"a match aimed at a missing folder stays", {Filter(1, 0, "bob", "Nowhere")}, true, 1, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        b.putU32le(kFiltering, k.filtering ? 1 : 0);
        b.putU32le(kFilterCount, uint32_t(k.filters.size()));
        for (int i = 0; i < kMaxFilters; ++i)
            c.account->SetFilter(i, i < int(k.filters.size()) ? k.filters[i] : MessageFilter{});
        CMsg probe = m;
        EXPECT_EQ(c.FilterCheck(probe, false), k.keep);
        EXPECT_EQ(probe.category, k.category);
    }
}

class HandheldDb : public ::testing::Test {
protected:
    void SetUp() override {
        tess::test::StartEmulatedHandheld();
        db.haveProperties = true;
        db.dbVersion = 2000;
    }
    void TearDown() override { db.Close(); }
    tess::test::TempHome home;
    CDeviceDb db;
};

TEST_F(HandheldDb, KeyRecordsKeepTheNewestThree) {
    for (int i = 1; i <= 6; ++i) {
        ASSERT_EQ(WriteKeyRecord(db, "key-" + std::to_string(i)), 1);
        ASSERT_EQ(db.Open(kDbSecurity), 0);
        EXPECT_LE(db.Count(), 3u);
        std::string newest;
        ASSERT_EQ(ReadKeyRecord(db, newest), 1);
        EXPECT_EQ(newest, "key-" + std::to_string(i));
    }
    std::vector<std::string> kept;
    for (uint32_t i = 0; i < db.Count(); ++i) {
        HandheldRecord r;
        ASSERT_EQ(db.ReadByIndex(i, r), 0);
        kept.emplace_back(r.data.begin(), r.data.end());
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"key-4", "key-5", "key-6"}));
    platform::syncmgr::DatabaseEntry e;
    ASSERT_EQ(platform::syncmgr::HandheldStore("default").findDatabase("Larkspur SData", 0, &e), SYNC_OK);
    EXPECT_EQ(e.version, 2000) << "made with the handheld's database version";
}

TEST_F(HandheldDb, OneOpenDatabaseAndDeviceAnswers) {
    ASSERT_EQ(db.Open(kDbMessages), 0);
    const SyncDbHandle first = db.handle();
    platform::syncmgr::HandheldStore("default").injectFailure("SyncOpenDB", 1);
    EXPECT_EQ(db.Open(kDbMessages), 0) << "the open database is not opened again";
    EXPECT_EQ(db.handle(), first);
    EXPECT_EQ(db.Open(kDbActions), SYNCERR_LOST_CONNECTION);
    EXPECT_EQ(db.handle(), 0) << "a failed open leaves nothing open";
    EXPECT_EQ(db.Open(kDbIdCache, 9), kResultNotFound);

    platform::syncmgr::HandheldStore store("default");
    uint32_t v = 0;
    store.setRemoteAnswer(kCreatorApp, 0, {0, 1});
    EXPECT_FALSE(CallDeviceModuleInt(0, v)) << "a status of two bytes is a failed call";
    store.setRemoteAnswer(kCreatorApp, 0, {0, 0, 1, 2});
    ASSERT_TRUE(CallDeviceModuleInt(0, v));
    EXPECT_EQ(v, 0x102u);
    store.setRemoteAnswer(kCreatorApp, 3, std::vector<uint8_t>(40, 'k'));
    std::vector<uint8_t> answer;
    EXPECT_FALSE(CallDeviceModule(3, answer)) << "an answer larger than its buffer is refused";
}

}  // namespace
}  // namespace tess::engine::test

#include "engine/mail_client_set.h"
#include "platform/core/registry.h"
#include "tests/engine/registry_text.h"

namespace tess::engine::test {
namespace {

using test::SetText;

std::string GetText(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<none>";
    char buf[256] = {};
    DWORD size = sizeof buf - 1, type = 0;
    RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<unsigned char*>(buf), &size);
    RegCloseKey(key);
    return buf;
}

TEST(MailClientSet, ClassifiesSwitchesAndRestores) {
    EXPECT_EQ(CMailClientSet::ClassifyClient("Microsoft Outlook"), kClientOutlook);
    EXPECT_EQ(CMailClientSet::ClassifyClient("Outlook Express"), kClientOutlookExpress);
    EXPECT_EQ(CMailClientSet::ClassifyClient("Lotus Notes"), kClientNotes);
    EXPECT_EQ(CMailClientSet::ClassifyClient("Eudora"), kClientEudora);
    EXPECT_EQ(CMailClientSet::ClassifyClient("Thunderbolt"), kClientOther);

    tess::test::TempHome home;
    const std::string mail = "Software\\Clients\\Mail";
    for (const auto& [client, exe] :
         {std::pair{"Microsoft Outlook", "outlook.exe"}, {"Outlook Express", "msimn.exe"}}) {
        SetText(HKEY_LOCAL_MACHINE, mail + "\\" + client + "\\protocols\\mailto\\shell\\open\\command", nullptr,
                std::string("\"C:\\Programs\\") + exe + "\" -c IPM.Note /m \"%1\"");
        SetText(HKEY_LOCAL_MACHINE, mail + "\\" + client + "\\protocols\\mailto\\DefaultIcon", nullptr, exe);
    }
    SetText(HKEY_LOCAL_MACHINE, mail, nullptr, "Outlook Express");
    SetText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, "\"C:\\Programs\\msimn.exe\" /mailurl:%1");
    EXPECT_EQ(CMailClientSet::MapiClientIsDefault(), 0);

    {
        CMailClientSet set;
        EXPECT_EQ(set.SetDefaultByKind(kClientEudora), 0) << "no such client registered";
        ASSERT_EQ(set.SetDefaultByKind(kClientOutlook), 1);
        EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, mail.c_str()), "Microsoft Outlook");
        EXPECT_EQ(CMailClientSet::MapiClientIsDefault(), 1);
        EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "mailto\\DefaultIcon"), "outlook.exe");
        ASSERT_EQ(set.RestoreDefault(), 1);
    }
    EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, mail.c_str()), "Outlook Express");
    EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command"), "\"C:\\Programs\\msimn.exe\" /mailurl:%1");
    EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "mailto\\DefaultIcon"), "<none>") << "there was no icon key before";

    CMailClientSet same;
    SetText(HKEY_LOCAL_MACHINE, mail + "\\Outlook Express\\protocols\\mailto\\DefaultIcon", nullptr, "changed");
    EXPECT_EQ(same.SetDefaultByKind(kClientOutlookExpress), 1);
    EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "mailto\\DefaultIcon"), "<none>") << "the kind already default writes nothing";
}

}  // namespace
}  // namespace tess::engine::test

#include "common/language_module.h"
#include "platform/mapi/profiles.h"

namespace tess::engine::test {
namespace {

TEST(MailClientSet, MapiProfilesOnlyWithAMapiMailClient) {
    tess::test::TempHome home;
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    platform::mapi::clearMemoryProfiles();
    for (const auto& [name, isDefault] : {std::pair{"Home", false}, {"Office", true}, {"Archive", false}}) {
        platform::mapi::Profile p;
        p.name = name;
        p.isDefault = isDefault;
        p.maildir = (home.path() / name).string();
        ASSERT_TRUE(platform::mapi::saveProfile(p));
    }
    std::vector<std::string> names{"kept"};
    int defaultIndex = -1;
    SetText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, "\"C:\\Programs\\msimn.exe\" /mailurl:%1");
    EXPECT_EQ(CMailClientSet::GetMapiProfileNames(names, defaultIndex), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"kept"}));

    SetText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, "\"C:\\Programs\\OUTLOOK.EXE\" /c ipm.note");
    names.clear();
    ASSERT_EQ(CMailClientSet::GetMapiProfileNames(names, defaultIndex), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"Not Selected", "Home", "Office", "Archive"}));
    EXPECT_EQ(defaultIndex, 2);
}

}  // namespace
}  // namespace tess::engine::test
