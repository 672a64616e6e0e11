// Selecting folders when memory runs out: every allocation the selection makes is made to
// fail once, in turn, and each failure must be reported and give an empty selection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "accounts/mail_account.h"
#include "tests/accounts/account_test_env.h"
#include "tests/support/test_home.h"

namespace {
// -1: off; otherwise the number of allocations still allowed before one fails.
long g_allowedAllocations = -1;
bool g_failed = false;
}  // namespace

void* operator new(std::size_t size) {
    if (g_allowedAllocations == 0) {
        g_allowedAllocations = -1;
        g_failed = true;
        throw std::bad_alloc();
    }
    if (g_allowedAllocations > 0) --g_allowedAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// Both sides of the replacement use malloc and free; the compiler cannot see the pairing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace tess::accounts::test {
namespace {

using Folder = CMailAccount::FolderEntry;

const char* const kMemoryLine =
    "EXCEPTION: A memory exception has occured.\n\t\tTry the Tallyhop operation again, if that fails,\n\t\t"
    "restart the Tallyhop manager.";

TEST(AccountMemoryTest, SelectionReportsEachFailedAllocation) {
    struct Case {
        const char* what;
        int logFolderAdditions;
        std::vector<Folder> table;
        int expectedCount;  // when memory does not run out
    };
    const std::string longName(31, 'n');  // beyond the small-string buffer
    const Case cases[] = {
        {"empty table, sync inbox on, logging", 1, {}, 1},
        {"folders, logging", 1, {{"Inbox", {1}, 0, 1, 0}, {longName, {}, 3, 1, 0}, {"Off", {}, 4, 0, 0}}, 2},
        {"folders, not logging", 0, {{"Inbox", {1}, 0, 1, 0}, {longName, {}, 3, 1, 0}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tess::test::TempHome home;
        test::RecordingEnvironment env;
        AccountInit init;
        init.userId = 1;
        init.userDirectory = home.path().string();
        init.logFolderAdditions = c.logFolderAdditions;
        CMailAccount account(init, env);
        ASSERT_EQ(account.Load(), 1);
        account.SetFolders(c.table);

        int failures = 0;
        for (long allowed = 0;; ++allowed) {
            SCOPED_TRACE("allocations allowed: " + std::to_string(allowed));
            env.messages.clear();
            env.logLines.clear();
            std::vector<int> slots;  // empty, so that filling them must allocate
            std::vector<std::string> names;
            g_failed = false;
            g_allowedAllocations = allowed;
            const int count = account.SelectedFolders(slots, names);
            g_allowedAllocations = -1;
            if (!g_failed) {
                // Every allocation of the selection has had its turn.
                EXPECT_EQ(count, c.expectedCount);
                EXPECT_EQ(int(slots.size()), c.expectedCount);
                EXPECT_TRUE(env.messages.empty());
                break;
            }
            ++failures;
            EXPECT_EQ(count, 0);
            EXPECT_TRUE(slots.empty());
            EXPECT_TRUE(names.empty());
            EXPECT_EQ(env.messages, (std::vector<std::string>{"4308::", "4340::"}));
            if (c.logFolderAdditions)
                EXPECT_EQ(env.logLines, std::vector<std::string>{kMemoryLine});
            else
                EXPECT_TRUE(env.logLines.empty());
            ASSERT_LT(allowed, 1000) << "the selection never stops allocating";
        }
        EXPECT_GT(failures, 0) << "the selection allocates, so some allocation must have failed";
    }
}

}  // namespace
}  // namespace tess::accounts::test
