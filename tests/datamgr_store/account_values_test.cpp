// Account values through the exports: limits, refusals and the list of changed tags.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "datamgr/account_field_tags.h"
#include "datamgr/mail_store.h"
#include "datamgr/store_handles.h"
#include "datamgr/mail_store_objects.h"
#include "accounts/account_layout.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::datamgr::test {
namespace {

constexpr int kOutOfRange = static_cast<int>(0x8000000Bu);
constexpr int kNotSupported = static_cast<int>(0x80000003u);
constexpr int kNameChar = static_cast<int>(0x80800005u);

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class AccountValues : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_EQ(open(), 0);
        ASSERT_EQ(MAccCreate(account.out()), 0);
    }
    std::string text(int id) {
        const char* p = nullptr;
        int n = 0;
        EXPECT_EQ(MAccGetStringData(account.h, id, &p, &n), 0);
        return p ? std::string(p, n) : std::string();
    }
    Handle account;
};

TEST_F(AccountValues, StringIdsAsATable) {
    const std::string thirteen(13, 'n'), fourteen(14, 'n');
    struct Case {
        int id;
        std::string value;
        int expected;
        std::string stored;  // what a read gives afterwards
    };
    const std::vector<Case> cases = {
        {0, thirteen, 0, thirteen},
        {0, fourteen, kInvalid, thirteen},  // 13 characters and the terminator at most
        {0, "My-Mail", kNameChar, thirteen},
        {0, "me@home", kNameChar, thirteen},
        {0, "", kInvalid, thirteen},
        {1, std::string(79, 's'), 0, std::string(79, 's')},
        {1, std::string(80, 's'), kInvalid, std::string(79, 's')},
        {11, "line one\r\nline two", 0, "line one\nline two"},
        // Over the field's real capacity (251 characters): refused, nothing stored.
        {11, std::string(252, 'x'), kInvalid, "line one\nline two"},
        {11, std::string(251, 'x'), 0, std::string(251, 'x')},
        {12, "Sent Items", 0, "Sent Items"},
        {13, std::string(16, 't'), kInvalid, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MAccSetStringData(account.h, c.id, c.value.c_str()), c.expected) << c.id << " " << c.value.size();
        EXPECT_EQ(text(c.id), c.stored) << c.id;
    }
    const char* p = nullptr;
    int n = 0;
    EXPECT_EQ(MAccGetStringData(account.h, 14, &p, &n), kNotSupported);
    ASSERT_EQ(MAccGetStringData(account.h, 0, &p, nullptr), 0);  // the length may be left out
    EXPECT_STREQ(p, thirteen.c_str());
    EXPECT_EQ(MAccSetStringData(account.h, -1, "x"), kNotSupported);
}

TEST_F(AccountValues, NumbersAndSwitches) {
    struct Case {
        int id;
        short value;
        int expected;
    };
    for (const Case& c :
         {Case{0, 143, 0}, Case{0, 0, kOutOfRange}, Case{1, -3, kOutOfRange}, Case{2, 5120, 0},
          Case{2, 5121, kOutOfRange}, Case{2, 0, kOutOfRange}, Case{3, 999, 0}, Case{3, 1000, kOutOfRange}}) {
        short v = c.value;
        EXPECT_EQ(MAccSetInt16Data(account.h, c.id, &v), c.expected) << c.id << " " << c.value;
    }
    short v = 0;
    EXPECT_EQ(MAccGetInt16Data(account.h, 0, &v), 0);
    EXPECT_EQ(v, 143);
    EXPECT_EQ(MAccGetInt16Data(account.h, 2, &v), 0);
    EXPECT_EQ(v, 5120);
    short nine = 7;
    EXPECT_EQ(MAccSetInt16Data(account.h, 9, &nine), 0);  // ignored
    EXPECT_EQ(MAccGetInt16Data(account.h, 9, &v), kNotSupported);
    EXPECT_EQ(MAccSetInt16Data(account.h, 3, nullptr), 0);  // stores 0
    EXPECT_EQ(MAccGetInt16Data(account.h, 3, &v), 0);
    EXPECT_EQ(v, 0);

    short protocol = 7;
    ASSERT_EQ(MAccSetType(account.h, &protocol), 0);
    int type = -1;
    EXPECT_EQ(MAccGetType(account.h, &type), 0);
    EXPECT_EQ(type, 7);

    // Tag 4 is kept inverted; unsupported ids answer so both ways.
    char on = 1, value = 0;
    ASSERT_EQ(MAccSetBoolData(account.h, 10, &on), 0);
    EXPECT_EQ(MAccGetBoolData(account.h, 10, &value), 0);
    EXPECT_EQ(value, 1);
    int connection = -1;
    EXPECT_EQ(MAccGetConnectionType(account.h, &connection), 0);
    EXPECT_EQ(connection, 0);
    for (int id : {5, 15}) {
        EXPECT_EQ(MAccSetBoolData(account.h, id, &on), kNotSupported) << id;
        EXPECT_EQ(MAccGetBoolData(account.h, id, &value), kNotSupported) << id;
    }
    ASSERT_EQ(MAccSetBoolData(account.h, 1, &on), 0);
    EXPECT_EQ(MAccGetBoolData(account.h, 1, &value), 0);
    EXPECT_EQ(value, 1);
}

// Each flag id keeps what was set, through a save and a reload of the account file.
TEST_F(AccountValues, FlagsKeepTheirValues) {
    const int ids[] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 16, 17};
    for (const char wanted : {1, 0}) {
        for (int id : ids) {
            char v = wanted;
            EXPECT_EQ(MAccSetBoolData(account.h, id, &v), 0) << id;
        }
        ASSERT_EQ(MAccSave(account.h), 0);
        ASSERT_EQ(MAccForceDatReload(account.h), 0);
        for (int id : ids) {
            char v = 2;
            EXPECT_EQ(MAccGetBoolData(account.h, id, &v), 0) << id;
            EXPECT_EQ(v, wanted) << id;
        }
    }
}

TEST_F(AccountValues, ClientSelectionIsKeptApartFromTheMailClient) {
    struct Shown {
        int id = 0;
        std::string name, text1, text2;
        char flag = 0;
    };
    auto get = [&] {
        Shown s;
        char *name = nullptr, *t1 = nullptr, *t2 = nullptr;
        EXPECT_EQ(MAccGetCurrentClientInfo(account.h, &s.id, &name, &t1, &t2, &s.flag), 0);
        if (name && t1 && t2) s.name = name, s.text1 = t1, s.text2 = t2;
        return s;
    };
    auto& mail = *datamgr::AccountOf(account.h)->account;
    const int32_t mailClient = mail.MailClient();
    EXPECT_EQ(get().id, -1);  // never stored

    const std::string longest(63, 'n'), tooLong(64, 'n'), longProfile(128, 'p');
    struct Case {
        int id;
        const char *name, *text1, *text2;
        int flag;
        int expected;
        const char *storedName, *storedText1, *storedText2;
        char storedFlag;
    } cases[] = {
        {-1, "Desk Mail", "Work profile", "pass word", 1, 0, "Desk Mail", "Work profile", "pass word", 1},
        {-1, longest.c_str(), nullptr, "", 0x101, 0, longest.c_str(), "", "", 1},  // the flag is one byte
        // Too long for its field: refused, the stored selection stays.
        {-1, tooLong.c_str(), "x", "y", 0, kInvalid, longest.c_str(), "", "", 1},
        {-1, "Desk Mail", longProfile.c_str(), "", 0, kInvalid, longest.c_str(), "", "", 1},
        {-1, "Desk Mail", "Work profile", "pass word", 1, 0, "Desk Mail", "Work profile", "pass word", 1},
        // Any other id clears the selection, whatever the texts say.
        {4, "Other", "Other profile", "other", 1, 0, "", "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "(null)").substr(0, 20) + " " + std::to_string(c.id));
        EXPECT_EQ(MAccSetCurrentClientInfo(account.h, c.id, c.name, c.text1, c.text2, c.flag), c.expected);
        const Shown s = get();
        EXPECT_EQ(s.id, -1);
        EXPECT_EQ(s.name, c.storedName);
        EXPECT_EQ(s.text1, c.storedText1);
        EXPECT_EQ(s.text2, c.storedText2);
        EXPECT_EQ(s.flag, c.storedFlag);
    }
    EXPECT_EQ(mail.MailClient(), mailClient);  // the engine's choice of host is not touched

    // Saved with the account, its texts not in the clear, and read back.
    ASSERT_EQ(MAccSetCurrentClientInfo(account.h, -1, "Desk Mail", "Work profile", "hunter2", 1), 0);
    ASSERT_EQ(MAccSave(account.h), 0);
    const std::string file = readFile(mail.FilePath());
    EXPECT_EQ(file.find("hunter2"), std::string::npos);
    EXPECT_EQ(file.find("Work profile"), std::string::npos);
    ASSERT_EQ(MAccForceDatReload(account.h), 0);
    const Shown s = get();
    EXPECT_EQ(s.name, "Desk Mail");
    EXPECT_EQ(s.text1, "Work profile");
    EXPECT_EQ(s.text2, "hunter2");
    EXPECT_EQ(s.flag, 1);

    int id = 0;
    char *p1 = nullptr, *p2 = nullptr, *p3 = nullptr;
    char flag = 0;
    EXPECT_EQ(MAccGetCurrentClientInfo(account.h, &id, &p1, &p2, nullptr, &flag), kInvalid);
    EXPECT_EQ(MAccGetCurrentClientInfo(nullptr, &id, &p1, &p2, &p3, &flag), kInvalid);
    EXPECT_EQ(MAccSetCurrentClientInfo(nullptr, -1, "a", "b", "c", 0), kInvalid);
}

// Only real changes are listed, each once; a new incoming server marks the account.
TEST_F(AccountValues, ChangedTagsAreListedOnce) {
    Handle fresh;
    ASSERT_EQ(IPES_GetAccountById(2, fresh.out()), 0);
    auto* entry =
        static_cast<datamgr::StoreAccount*>(static_cast<datamgr::StoreObject*>(datamgr::HandleFields(fresh.h)->object));
    const auto& tags = entry->account->Image().tags;
    ASSERT_TRUE(tags.empty());
    EXPECT_EQ(MAccSetStringData(fresh.h, 2, "ada"), 0);               // tag 1
    EXPECT_EQ(MAccSetStringData(fresh.h, 2, "bea"), 0);               // tag 1 again
    EXPECT_EQ(MAccSetStringData(fresh.h, 1, "Mail.Example.org"), 0);  // tag 20
    EXPECT_EQ(MAccSetStringData(fresh.h, 1, "mail.example.ORG"), 0);  // same address
    short port = 110;
    EXPECT_EQ(MAccSetInt16Data(fresh.h, 0, &port), 0);  // tag 19 unchanged: 110 already
    EXPECT_EQ(tags, (std::vector<uint32_t>{1, 20}));
    EXPECT_EQ(entry->account->HeadWord(12), 1u);  // incoming server changed
}

}  // namespace
}  // namespace tess::datamgr::test

namespace tess::datamgr::test {
namespace {

// A folder slot whose bytes run to its end still gives a name of at most 15 characters.
TEST_F(AccountValues, FolderSlotNamesStayWithinTheirSlot) {
    auto* entry = static_cast<datamgr::StoreAccount*>(
        static_cast<datamgr::StoreObject*>(datamgr::HandleFields(account.h)->object));
    auto& block = entry->account->MutableImage().handheld;
    const size_t slot5 = accounts::layout::kFolderPrefCopy + accounts::layout::kFolderPrefSlots + 16 * 5;
    std::fill(block.begin() + slot5, block.begin() + slot5 + 32, uint8_t('x'));  // slots 5 and 6, no terminator
    EXPECT_EQ(datamgr::CMailStore::FolderSlotName(*entry->account, 5), std::string(15, 'x'));
    ASSERT_EQ(datamgr::TheMailStore().BuildFolders(*entry), 0);
    ASSERT_EQ(entry->folders.size(), 2u);
    EXPECT_EQ(entry->folders[0]->name.size(), 15u);
}

}  // namespace
}  // namespace tess::datamgr::test
