// Desktop values set by id, and the account's questions about itself.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "tests/accounts/account_test_env.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

using namespace layout;

class AccountValuesTest : public ::testing::Test {
protected:
    tess::test::TempHome home;
    test::RecordingEnvironment env;
    std::unique_ptr<CMailAccount> account;
    void SetUp() override {
        AccountInit i;
        i.userId = 4;
        i.accountNumber = 0;
        i.userDirectory = home.path().string();
        account = std::make_unique<CMailAccount>(i, env);
        ASSERT_EQ(account->Load(), 1);
    }
    int setText(int id, const std::string& s) { return account->SetValue(id, s.c_str(), unsigned(s.size() + 1)); }
    int setInt(int id, int32_t v) { return account->SetValue(id, &v, 4); }
    std::string_view text(TextField f) { return ByteView(account->Image().desktop).text(f.offset, f.width); }
};

TEST_F(AccountValuesTest, NumbersByIdChangeOnlyWhenDifferent) {
    struct Case {
        int id;
        size_t offset;
        int32_t defaultValue;
    } cases[] = {
        {kValueActive, kActive, 0},
        {kValueGenerateKey, kGenerateKey, 0},
        {kValueUnreadOnly, kUnreadOnly, 0},
        {kValueSyncInbox, kSyncInbox, 1},
        {kValueSyncOutbox, kSyncOutbox, 1},
        {kValueMailClient, kMailClient, -1},
        {kValueDaysToSync, kDaysToSync, 4},
        {kValueMessageSize, kMessageSizeKb, 50},
        {kValueDownloadAttachments, kDownloadAttachments, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ByteView d(account->Image().desktop);
        EXPECT_EQ(int32_t(d.u32le(c.offset)), c.defaultValue);
        EXPECT_EQ(setInt(c.id, c.defaultValue), 0) << "same value is no change";
        EXPECT_EQ(setInt(c.id, 77), 1);
        EXPECT_EQ(int32_t(ByteView(account->Image().desktop).u32le(c.offset)), 77);
        int16_t shortValue = 5;
        EXPECT_EQ(account->SetValue(c.id, &shortValue, 2), 0) << "a number takes exactly 4 bytes";
        EXPECT_EQ(account->SetValue(c.id, nullptr, 0), 1);
        EXPECT_EQ(ByteView(account->Image().desktop).u32le(c.offset), 0u);
    }
    EXPECT_EQ(setInt(14, 1), 0);
    EXPECT_EQ(setInt(-1, 1), 0);
}

TEST_F(AccountValuesTest, TextsAreBoundedWithRoomForTheTerminator) {
    struct Case {
        int id;
        TextField field;
        size_t longest;
    } cases[] = {
        {kValueAccountName, kAccountName, 14},  {kValueHostName, kHostName, 63},
        {kValueDesktopUser, kDesktopUser, 13},  {kValueDesktopPassword, kDesktopPassword, 127},
        {kValueMapiProfile, kMapiProfile, 127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string longest(c.longest, 'a');
        EXPECT_EQ(setText(c.id, longest + "b"), 0) << "one character too many is refused";
        EXPECT_EQ(text(c.field), "");
        EXPECT_EQ(setText(c.id, longest), 1);
        EXPECT_EQ(text(c.field), longest);
        EXPECT_EQ(setText(c.id, longest), 0) << "unchanged";
        EXPECT_EQ(setText(c.id, std::string(c.longest, 'A')), 1) << "case matters";
        // A text longer than the length given is taken only as far as that length.
        EXPECT_EQ(account->SetValue(c.id, "xyzw", 2), 1);
        EXPECT_EQ(text(c.field), "xy");
        EXPECT_EQ(account->SetValue(c.id, nullptr, 0), 1);
        auto field = ByteView(account->Image().desktop).bytes(c.field.offset, c.field.width);
        EXPECT_TRUE(std::all_of(field.begin(), field.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST_F(AccountValuesTest, AccountNameRulesAndQuestions) {
    EXPECT_EQ(setText(kValueAccountName, "fifteen-chars15"), 0);
    EXPECT_EQ(setText(kValueAccountName, "me@example"), 1);
    EXPECT_EQ(account->NameHasAtSign(), 1);
    account->SetAccountName("Office", 0);
    EXPECT_EQ(account->NameHasAtSign(), 0);

    struct Case {
        int32_t client;
        const char* profile;
        int expected;
    } cases[] = {{4, "", 0}, {5, "", 0}, {5, "Default", 1}, {7, "", 1}, {-1, "", 1}};
    for (const Case& c : cases) {
        setInt(kValueMailClient, c.client);
        account->SetValue(kValueMapiProfile, c.profile, unsigned(strlen(c.profile) + 1));
        EXPECT_EQ(account->HasMapiProfile(), c.expected) << c.client << " '" << c.profile << "'";
    }
}

TEST_F(AccountValuesTest, SetAccountNameWithResetStartsFromDefaults) {
    setInt(kValueDaysToSync, 30);
    account->AddPendingChange(3);
    account->SetAccountName("Fresh", 1);
    EXPECT_EQ(account->AccountName(), "Fresh");
    EXPECT_EQ(ByteView(account->Image().desktop).u32le(kDaysToSync), 4u);
    EXPECT_TRUE(account->Image().tags.empty());
}

TEST_F(AccountValuesTest, BlindCopyAndReplyToComeFromTheReconciledCopy) {
    std::array<uint8_t, kHandheldSize> block{};
    ByteSpan b(block);
    b.putU32le(kBlindCopyOn, 1);
    b.putText(kBlindCopy.offset, kBlindCopy.width, "archive@example.org");
    b.putU32le(kReplyToOn, 0);
    b.putText(kReplyTo.offset, kReplyTo.width, "reply@example.org");
    account->ApplyHandheldBlock(block);
    std::string out = "untouched";
    EXPECT_EQ(account->GetBlindCopyAddress(&out), 1);
    EXPECT_EQ(out, "archive@example.org");
    out = "untouched";
    EXPECT_EQ(account->GetReplyToAddress(&out), 0) << "switch off";
    EXPECT_EQ(out, "untouched");
}

TEST_F(AccountValuesTest, PlaceholderAndRelayFlags) {
    setText(kValueHostName, "host");
    setInt(kValueActive, 1);
    account->MarkAsPlaceholder();
    EXPECT_EQ(account->MailClient(), 255);
    EXPECT_EQ(account->Active(), 0);
    EXPECT_FALSE(account->AccountName().empty());
    EXPECT_EQ(text(kHostName), account->AccountName());

    EXPECT_EQ(account->IsRelayInstalled(), 0) << "absent value";
    env.relay["Installed"] = 0x40000005;
    env.relay["User"] = 4;
    EXPECT_EQ(account->IsRelayInstalled(), 1);
    EXPECT_EQ(account->IsRelayUser(), 1);
    account->ClearRelayInstalled();
    EXPECT_EQ(env.relay["Installed"], 0x40000004u) << "only bit 0 cleared";
    env.relay["User"] = 5;
    EXPECT_EQ(account->IsRelayUser(), 0);
}

TEST_F(AccountValuesTest, MarkSynchronisedStoresTheTimeInTheFile) {
    const uint32_t before = uint32_t(std::time(nullptr));
    account->MarkSynchronised();
    AccountInit i;
    i.userId = 4;
    i.userDirectory = home.path().string();
    CMailAccount reread(i, env);
    ASSERT_EQ(reread.Load(), 1);
    EXPECT_GE(reread.HeadWord(kHeadLastSync), before);
    EXPECT_LE(reread.HeadWord(kHeadLastSync), uint32_t(std::time(nullptr)));
}

}  // namespace
}  // namespace tess::accounts::test
