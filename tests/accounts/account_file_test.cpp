// The account file on disk: hand-built fixtures from the byte layout, round trips, and
// files that are short, lying or unwritable.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include <sys/stat.h>

#include "accounts/account_file.h"
#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "tests/accounts/account_test_env.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

using namespace layout;

void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
}
void putScrambled(std::vector<uint8_t>& f, size_t at, const char* text) {
    for (size_t i = 0; text[i]; ++i) f[at + i] = ScrambleByte(uint8_t(text[i]));
}
void putPlain(std::vector<uint8_t>& f, size_t at, const char* text) { std::memcpy(&f[at], text, strlen(text)); }

std::vector<uint8_t> readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void writeAll(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class AccountFileTest : public ::testing::Test {
protected:
    tess::test::TempHome home;
    test::RecordingEnvironment env;
    AccountInit init() const {
        AccountInit i;
        i.userId = 7;
        i.accountNumber = 3;
        i.userDirectory = home.path().string();
        return i;
    }
    std::filesystem::path file() const { return home.path() / "acc3.dat"; }
};

TEST(Scrambling, NibbleFormOfBytes) {
    struct Case {
        uint8_t plain, stored;
    } cases[] = {{0x41, 0x54}, {0x01, 0x10}, {0x10, 0x11}, {0xFF, 0x0F}, {0x7E, 0x97}};
    for (auto c : cases) {
        EXPECT_EQ(ScrambleByte(c.plain), c.stored) << int(c.plain);
        EXPECT_EQ(UnscrambleByte(c.stored), c.plain) << int(c.stored);
    }
    for (int b = 1; b < 256; ++b) {
        ASSERT_NE(ScrambleByte(uint8_t(b)), 0) << b;
        ASSERT_EQ(UnscrambleByte(ScrambleByte(uint8_t(b))), b);
    }
}

TEST_F(AccountFileTest, HandBuiltFileLoadsFieldByField) {
    std::vector<uint8_t> f(kHeadSize + kDesktopSize + kHandheldSize + 8, 0);
    put32(f, 0, 517);
    put32(f, 4, 1);   // handheld protocol word
    put32(f, 16, 2);  // two pending changes
    put32(f, 24, 1);  // present on the handheld
    const size_t d = kHeadSize, h = kHeadSize + kDesktopSize;
    putPlain(f, d + 0, "Work");  // the account name is not scrambled
    put32(f, d + 16, 1);
    put32(f, d + 44, 7);
    putScrambled(f, d + 116, "Profile A");
    putScrambled(f, d + 258, "s3cret");
    // Server folder entry 0: Inbox on slot 0, synchronised, with 3 bytes of host data.
    putPlain(f, d + 388, "Inbox");
    put32(f, d + 388 + 32, 3);
    f[d + 388 + 36] = 0xAA, f[d + 388 + 37] = 0xBB, f[d + 388 + 38] = 0xCC;
    put32(f, d + 388 + 100, 0);
    put32(f, d + 388 + 104, 1);
    putScrambled(f, h + 560, "imap.example.org");
    putScrambled(f, h + 976, "pw");
    putScrambled(f, h + 510, "Sent Items");
    f[h + 3498] = 143;  // incoming port, little-endian
    // Filter 0: subject begins with "Re", target folder "Work".
    const size_t flt = h + 1660;
    put32(f, flt + 0, 0xDEADBEEF);  // a stray word where the class keeps its table
    putPlain(f, flt + 4, "replies");
    put32(f, flt + 44, 1);
    put32(f, flt + 52, 2);
    put32(f, flt + 56, 1);
    putPlain(f, flt + 64, "Re");
    putPlain(f, flt + 100, "Work");
    put32(f, h + 1656, 1);
    put32(f, kHeadSize + kDesktopSize + kHandheldSize, 20);
    put32(f, kHeadSize + kDesktopSize + kHandheldSize + 4, 2);
    writeAll(file(), f);

    CMailAccount a(init(), env);
    ASSERT_EQ(a.Load(), 1);
    EXPECT_EQ(a.AccountName(), "Work");
    EXPECT_EQ(a.MailClient(), 7);
    EXPECT_EQ(a.Active(), 1);
    ByteView dv(a.Image().desktop), hv(a.Image().handheld);
    EXPECT_EQ(dv.text(116, 128), "Profile A");
    EXPECT_EQ(dv.text(258, 128), "s3cret");
    EXPECT_EQ(hv.text(560, 80), "imap.example.org");
    EXPECT_EQ(hv.text(976, 252), "pw");
    EXPECT_EQ(hv.text(510, 16), "Sent Items");
    EXPECT_EQ(hv.u16le(3498), 143);
    EXPECT_EQ(a.Image().tags, (std::vector<uint32_t>{20, 2}));
    EXPECT_EQ(a.HeadWord(kHeadPresentOnHandheld), 1u);
    auto folders = a.Folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].name, "Inbox");
    EXPECT_EQ(folders[0].data, (std::vector<uint8_t>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(folders[0].slot, 0);
    const MessageFilter flt0 = a.Filter(0);
    EXPECT_STREQ(flt0.name, "replies");
    EXPECT_EQ(flt0.kind, kFilterSubject);
    EXPECT_EQ(flt0.textOperator, kFilterBeginsWith);
    EXPECT_STREQ(flt0.value, "Re");
    EXPECT_STREQ(flt0.extra, "Work");

    // Saved again, the file is the same bytes except the table word of the filter.
    ASSERT_EQ(a.Save(), 1);
    std::vector<uint8_t> expected = f;
    put32(expected, flt, 0);
    const auto saved = readAll(file());
    ASSERT_EQ(saved.size(), expected.size());
    for (size_t i = 0; i < saved.size(); ++i) ASSERT_EQ(saved[i], expected[i]) << "offset " << i;
}

TEST_F(AccountFileTest, SaveLoadRoundTripKeepsTextsScrambled) {
    CMailAccount a(init(), env);
    ASSERT_EQ(a.Load(), 1);  // creates the file with defaults
    const char* profile = "Outlook Profile";
    ASSERT_EQ(a.SetValue(kValueMapiProfile, profile, 16), 1);
    ByteSpan(a.MutableImage().handheld).putText(kUserName.offset, kUserName.width, "alice");
    a.AddPendingChange(1);
    a.AddPendingChange(24);
    ASSERT_EQ(a.Save(), 1);

    const auto bytes = readAll(file());
    ASSERT_EQ(bytes.size(), kHeadSize + kDesktopSize + kHandheldSize + 8);
    // The profile is stored scrambled and without a zero before its terminator.
    const size_t at = kHeadSize + kMapiProfile.offset;
    for (size_t i = 0; i < strlen(profile); ++i) {
        EXPECT_NE(bytes[at + i], 0);
        EXPECT_EQ(UnscrambleByte(bytes[at + i]), uint8_t(profile[i]));
    }
    EXPECT_EQ(bytes[at + strlen(profile)], 0);

    CMailAccount b(init(), env);
    ASSERT_EQ(b.Load(), 1);
    EXPECT_EQ(b.Image().desktop, a.Image().desktop);
    EXPECT_EQ(b.Image().handheld, a.Image().handheld);
    EXPECT_EQ(b.Image().tags, (std::vector<uint32_t>{1, 24}));
}

// A save that would write what the file holds already leaves it alone (it is the same
// file afterwards); any difference, a longer file among them, has it replaced.
TEST_F(AccountFileTest, UnchangedSaveLeavesTheFileAlone) {
    CMailAccount a(init(), env);
    ASSERT_EQ(a.Load(), 1);
    ASSERT_EQ(a.Save(), 1);
    const auto inode = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(file().c_str(), &st), 0);
        return st.st_ino;
    };
    const auto first = inode();
    const auto bytes = readAll(file());
    ASSERT_EQ(a.Save(), 1);
    EXPECT_EQ(inode(), first);

    auto longer = bytes;
    longer.push_back(0);
    writeAll(file(), longer);
    ASSERT_EQ(a.Save(), 1);
    EXPECT_EQ(readAll(file()), bytes);

    a.AddPendingChange(5);
    const auto before = inode();
    ASSERT_EQ(a.Save(), 1);
    EXPECT_NE(inode(), before);
    EXPECT_EQ(readAll(file()).size(), bytes.size() + 4);
}

TEST_F(AccountFileTest, ShortAndLyingFilesStayInBounds) {
    struct Case {
        const char* what;
        size_t length;           // bytes of the file kept
        uint32_t statedPending;  // pending count in the head
        size_t tagsInFile;
        size_t tagsLoaded;
    } cases[] = {
        {"count far beyond the file", kHeadSize + kDesktopSize + kHandheldSize + 8, 0xFFFFFFFF, 2, 2},
        {"count above the tags present", kHeadSize + kDesktopSize + kHandheldSize + 12, 5, 3, 3},
        {"half a tag at the end", kHeadSize + kDesktopSize + kHandheldSize + 6, 2, 2, 1},
        {"ends inside the handheld block", kHeadSize + kDesktopSize + 100, 4, 0, 0},
        {"ends inside the head", 10, 4, 0, 0},
        {"empty file", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> f(kHeadSize + kDesktopSize + kHandheldSize + 4 * c.tagsInFile, 0);
        put32(f, 0, 517);
        put32(f, 16, c.statedPending);
        putPlain(f, kHeadSize, "Home");
        for (size_t i = 0; i < c.tagsInFile; ++i)
            put32(f, kHeadSize + kDesktopSize + kHandheldSize + 4 * i, uint32_t(i));
        f.resize(c.length);
        writeAll(file(), f);
        CMailAccount a(init(), env);
        ASSERT_EQ(a.Load(), 1);
        EXPECT_EQ(a.Image().tags.size(), c.tagsLoaded);
        EXPECT_EQ(a.HeadWord(kHeadPendingCount), c.tagsLoaded);
        if (c.length < kHeadSize + 6) {
            EXPECT_EQ(ByteView(a.Image().desktop).u32le(kSyncInbox), 1u) << "default kept";
        }
    }
}

TEST_F(AccountFileTest, TextsWithoutTerminatorAreCutToTheirField) {
    std::vector<uint8_t> f(kHeadSize + kDesktopSize + kHandheldSize, 0);
    put32(f, 0, 517);
    std::memset(&f[kHeadSize + kDesktopUser.offset], ScrambleByte('x'), kDesktopUser.width);  // 14 bytes, no NUL
    std::memset(&f[kHeadSize], 'N', kAccountName.width);
    std::memset(&f[kHeadSize + kDesktopSize + kIncomingServer.offset], ScrambleByte('s'), kIncomingServer.width);
    writeAll(file(), f);
    CMailAccount a(init(), env);
    ASSERT_EQ(a.Load(), 1);
    ByteView dv(a.Image().desktop), hv(a.Image().handheld);
    EXPECT_EQ(dv.text(kDesktopUser.offset, kDesktopUser.width), std::string(13, 'x'));
    EXPECT_EQ(hv.text(kIncomingServer.offset, kIncomingServer.width), std::string(79, 's'));
    // The next field starts unchanged after the cut one.
    EXPECT_EQ(dv.text(kDesktopPassword.offset, kDesktopPassword.width), "");
}

TEST_F(AccountFileTest, FailedSaveKeepsAccountAndFile) {
    CMailAccount a(init(), env);
    ASSERT_EQ(a.Load(), 1);
    ASSERT_EQ(a.SetValue(kValueAccountName, "Before", 7), 1);
    ASSERT_EQ(a.Save(), 1);
    const auto before = readAll(file());

    // A directory where the temporary file would go makes the write fail.
    std::filesystem::create_directory(home.path() / "acc3.dat.tmp");
    ASSERT_EQ(a.SetValue(kValueAccountName, "After", 6), 1);
    EXPECT_EQ(a.Save(), 0);
    EXPECT_EQ(a.AccountName(), "After") << "the account in memory is kept";
    EXPECT_EQ(readAll(file()), before) << "the file on disk is untouched";
    EXPECT_TRUE(env.Logged("Unable to write account file"));
}

TEST_F(AccountFileTest, MissingFileIsCreatedWithDefaults) {
    CMailAccount a(init(), env);
    ASSERT_EQ(a.Load(), 1);
    ASSERT_TRUE(std::filesystem::exists(file()));
    EXPECT_EQ(a.MailClient(), -1);
    ByteView dv(a.Image().desktop), hv(a.Image().handheld);
    EXPECT_EQ(dv.u32le(kMessageSizeKb), 50u);
    EXPECT_EQ(dv.u32le(kDaysToSync), 4u);
    EXPECT_EQ(hv.u32le(kMaxMessageBytes), 5120u);
    EXPECT_EQ(hv.u16le(kIncomingPort), 110);
    EXPECT_EQ(hv.u16le(kSmtpPort), 25);
    EXPECT_EQ(readAll(file()).size(), kHeadSize + kDesktopSize + kHandheldSize);
}

TEST_F(AccountFileTest, OlderDataVersionReadsTheStoreAndLeavesTheFile) {
    env.storedAccountPresent = true;
    env.storedAccount.name = "Legacy";
    env.storedAccount.mailClient = 5;
    env.storedAccount.mapiProfile = "MS Exchange";
    env.storedAccount.daysToSync = 9;
    AccountInit i = init();
    i.dataVersion = 0x204;
    CMailAccount a(i, env);
    ASSERT_EQ(a.Load(), 1);
    EXPECT_EQ(a.AccountName(), "Legacy");
    EXPECT_EQ(a.MailClient(), 5);
    EXPECT_EQ(ByteView(a.Image().desktop).u32le(kDaysToSync), 9u);
    EXPECT_EQ(ByteView(a.Image().desktop).u32le(kDownloadAttachments), 1u);
    EXPECT_FALSE(std::filesystem::exists(file()));

    env.storedAccountPresent = false;
    CMailAccount b(i, env);
    EXPECT_EQ(b.Load(), 0);
}

}  // namespace
}  // namespace tess::accounts::test
