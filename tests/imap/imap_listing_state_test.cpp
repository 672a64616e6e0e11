// The kept listing state: written and read back whole, and refused whenever the file is
// not exactly the one written for this folder.
#include <gtest/gtest.h>

#include <fstream>
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

void WriteAll(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

ListingState Sample() {
    ListingState state;
    state.uidValidity = 1700000000;
    state.highestModseq = 90000000000ull;  // past 32 bits
    state.messages = {
        {1, 0}, {2, ListingState::kSeen}, {900, ListingState::kSeen | ListingState::kDeleted}, {4294967295u, 0}};
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
        {"another format", "tess-imap-listing 2" + good.substr(std::string("tess-imap-listing 1").size())},
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
