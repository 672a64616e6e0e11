// The session's state as another process, with the library loaded on its own, sees it.
#include <cstdio>
#include <string>

#include "tests/datamgr_store/store_fixture.h"

namespace tess::datamgr::test {
namespace {

// Runs the peer program with the arguments and gives its one line of output.
std::string Peer(const std::string& args) {
    const std::string command = std::string(TESS_SESSION_PEER) + " " + args;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return "(not started)";
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, out) != nullptr;
    const int status = pclose(out);
    if (!read || status != 0) return "(failed)";
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string Show(int initialised, int user, uint32_t firstAccount) {
    return std::to_string(initialised) + " " + std::to_string(user) + " " +
           std::to_string(static_cast<int>(firstAccount));
}

TEST_F(StoreTest, AnotherProcessSeesTheSessionButNotItsStore) {
    ASSERT_EQ(open(), 0);
    // The flag and the user id cross; the accounts stay in the process that opened the
    // session (the other one holds no account list).
    EXPECT_EQ(Peer("show"), Show(1, userId_, 0x80000004u));

    // A failed open elsewhere closes the session for everyone.
    EXPECT_EQ(Peer("open " + std::to_string(userId_) + " 0x61736334"), std::to_string(kInvalid));
    int user = -1;
    EXPECT_EQ(IPES_IsInitialized(&user), 0);
    // The user was found before the creator was refused: it stays the current user.
    EXPECT_EQ(Peer("show"), Show(0, userId_, 0x80000004u));

    // A session opened elsewhere is seen here, with its user.
    EXPECT_EQ(Peer("open " + std::to_string(userId_) + " 0x61736333"), "0");
    EXPECT_EQ(IPES_IsInitialized(&user), 1);
    EXPECT_EQ(user, userId_);
}

}  // namespace
}  // namespace tess::datamgr::test
