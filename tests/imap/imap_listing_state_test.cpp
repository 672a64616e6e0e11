// The kept listing state: written and read back whole, and refused whenever the file is
// not exactly the one written for this folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "hosts/imap/imap_listing_state.h"
#include "tests/support/test_home.h"

namespace {

using imap::ListingState;

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// The FNV-1a hash a state file's first line carries, as 16 hex digits.
std::string ChecksumOf(const std::string& body) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : body) hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void WriteAll(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

ListingState Sample() {
    ListingState state;
    state.uidValidity = 1700000000;
    state.highestModseq = 90000000000ull;  // past 32 bits
    state.messages = {
        {1, 0}, {2, ListingState::kSeen}, {900, ListingState::kSeen | ListingState::kDeleted}, {4294967295u, 0}};
    state.days = {{1, 20000}, {900, 20433}, {4294967295u, 1}};  // UID 2's day unknown
    return state;
}

TEST(ImapListingState, WrittenAndReadBackWhole) {
    tess::test::TempHome home;
    const std::string key = "127.0.0.1\tann\tINBOX";
    const auto file = imap::ListingStatePath(home.path(), key);
    EXPECT_EQ(file.parent_path(), home.path());
    EXPECT_NE(file, imap::ListingStatePath(home.path(), "127.0.0.1\tann\tSent"));
    std::string why;
    ASSERT_TRUE(imap::SaveListingState(file, key, Sample(), why)) << why;
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".new"));
    ListingState read;
    ASSERT_TRUE(imap::LoadListingState(file, key, read, why)) << why;
    EXPECT_EQ(read.uidValidity, Sample().uidValidity);
    EXPECT_EQ(read.highestModseq, Sample().highestModseq);
    EXPECT_EQ(read.messages, Sample().messages);
    EXPECT_EQ(read.days, Sample().days);
    EXPECT_FALSE(read.AllDated());

    // A file written before days were kept is read, every day unknown.
    std::string one = "127.0.0.1\tann\tINBOX\n1700000000 7 2\n1 1\n4 0\n";
    WriteAll(file, "tess-imap-listing 1 " + std::to_string(one.size()) + " " + ChecksumOf(one) + "\n" + one);
    ASSERT_TRUE(imap::LoadListingState(file, key, read, why)) << why;
    EXPECT_EQ(read.messages, (std::map<uint32_t, uint8_t>{{1, ListingState::kSeen}, {5, 0}}));
    EXPECT_TRUE(read.days.empty());

    // An empty folder is a state too.
    ListingState empty = Sample();
    empty.messages.clear();
    ASSERT_TRUE(imap::SaveListingState(file, key, empty, why)) << why;
    ASSERT_TRUE(imap::LoadListingState(file, key, read, why)) << why;
    EXPECT_TRUE(read.messages.empty());
}

TEST(ImapListingState, DamagedOrForeignFilesAreRefused) {
    tess::test::TempHome home;
    const std::string key = "127.0.0.1\tann\tINBOX";
    const auto file = imap::ListingStatePath(home.path(), key);
    std::string why;
    ListingState read;
    EXPECT_FALSE(imap::LoadListingState(file, key, read, why));  // none kept
    ASSERT_TRUE(imap::SaveListingState(file, key, Sample(), why)) << why;
    const std::string good = ReadAll(file);
    const std::size_t body = good.find('\n') + 1;
    std::string flipped = good;
    flipped[good.size() - 3] ^= 1;  // a UID step changed: same length, other contents
    std::string headOnly = good.substr(0, body);
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"truncated", good.substr(0, good.size() - 4)},
        {"only its first line", headOnly},
        {"one byte changed", flipped},
        {"bytes added", good + "5 1\n"},
        {"empty", ""},
        {"another format", "tess-imap-listing 3" + good.substr(std::string("tess-imap-listing 2").size())},
    };
    for (const auto& c : cases) {
        WriteAll(file, c.text);
        why.clear();
        EXPECT_FALSE(imap::LoadListingState(file, key, read, why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_TRUE(read.messages.empty()) << c.what;
    }
    // Whole, but kept for another folder (a name whose hash met this one's).
    WriteAll(file, good);
    EXPECT_FALSE(imap::LoadListingState(file, "127.0.0.1\tann\tSent", read, why));
    EXPECT_EQ(why, "kept for another folder");
    // A folder name that no line can carry is not kept.
    EXPECT_FALSE(imap::SaveListingState(file, "127.0.0.1\tann\tA\nB", Sample(), why));
    EXPECT_EQ(ReadAll(file), good);
}

}  // namespace

TEST(ImapListingState, ImapDaysAreCalendarDays) {
    const struct {
        const char* text;
        bool ok;
        uint32_t day;
    } cases[] = {
        {"1-Jan-1970", true, 0},
        {"02-Jan-1970 23:59:59 -1200", true, 1},  // the zone does not move the day
        {"11-Nov-2026", true, 20768},
        {" 1-Mar-2024 00:00:00 +0000", true, 19783},  // after a leap day
        {"29-Feb-2024", true, 19782},
        {"31-dec-2099 10:00:00 +0100", true, 47481},
        {"", false, 0},
        {"1-Foo-2026", false, 0},
        {"1-Jan-26", false, 0},
        {"123-Jan-2026", false, 0},
        {"0-Jan-2026", false, 0},
        {"1-Jan-1969", false, 0},
        {"1-Jan-2026x", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t day = 99;
        EXPECT_EQ(imap::ImapDay(c.text, day), c.ok) << c.text;
        if (c.ok) EXPECT_EQ(day, c.day) << c.text;
    }
}
