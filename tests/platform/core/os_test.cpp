#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/core/os.h"
#include "tests/support/test_home.h"

namespace {

// Runs `body` in a child process and returns its exit code (or -1 when it did not exit).
template <class Body>
int inChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::atomic<uint32_t>* counterIn(const platform::SharedSection& s) {
    return static_cast<std::atomic<uint32_t>*>(s.data());
}

class Os : public ::testing::Test {
protected:
    tess::test::TempHome home;
};

TEST_F(Os, SharedSectionIsSeenByTwoProcesses) {
    std::error_code ec;
    auto section = platform::SharedSection::open("Shared", 256, ec);
    ASSERT_TRUE(section) << ec.message();
    EXPECT_TRUE(section->created());
    ASSERT_EQ(section->size(), 256u);
    const auto* bytes = static_cast<const unsigned char*>(section->data());
    for (size_t i = 0; i < 256; ++i) ASSERT_EQ(bytes[i], 0) << i;
    counterIn(*section)->store(5);

    constexpr int kRounds = 20000;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::error_code childEc;
        auto mine = platform::SharedSection::open("Shared", 256, childEc);
        if (!mine || mine->created() || counterIn(*mine)->load() < 5) _exit(1);
        for (int i = 0; i < kRounds; ++i) counterIn(*mine)->fetch_add(1);
        _exit(0);
    }
    for (int i = 0; i < kRounds; ++i) counterIn(*section)->fetch_add(1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(counterIn(*section)->load(), 5u + 2 * kRounds);
}

TEST_F(Os, SharedSectionLivesWhileOpenAndStartsZeroAgain) {
    std::error_code ec;
    const std::string object = "/dev/shm" + platform::SharedSection::objectName("SharedTL");
    {
        auto first = platform::SharedSection::open("SharedTL", 24, ec);
        ASSERT_TRUE(first);
        counterIn(*first)->store(42);
        {
            auto second = platform::SharedSection::open("SharedTL", 24, ec);
            ASSERT_TRUE(second);
            EXPECT_FALSE(second->created());
            EXPECT_EQ(counterIn(*second)->load(), 42u);
        }
        // The first holder keeps it alive after the second closed.
        auto third = platform::SharedSection::open("SharedTL", 24, ec);
        ASSERT_TRUE(third);
        EXPECT_FALSE(third->created());
        EXPECT_EQ(counterIn(*third)->load(), 42u);
        auto moved = std::move(*third);
        EXPECT_EQ(counterIn(moved)->load(), 42u);
    }
    EXPECT_FALSE(std::filesystem::exists(object));
    auto again = platform::SharedSection::open("SharedTL", 24, ec);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->created());
    EXPECT_EQ(counterIn(*again)->load(), 0u);
}

TEST_F(Os, SharedSectionsOfOtherRootsAndBadSizes) {
    std::error_code ec;
    auto mine = platform::SharedSection::open("SharedXS", 16, ec);
    ASSERT_TRUE(mine);
    counterIn(*mine)->store(7);
    {
        tess::test::TempHome other;
        auto theirs = platform::SharedSection::open("SharedXS", 16, ec);
        ASSERT_TRUE(theirs);
        EXPECT_TRUE(theirs->created());
        EXPECT_EQ(counterIn(*theirs)->load(), 0u);
    }
    EXPECT_FALSE(platform::SharedSection::open("SharedXS", 32, ec));
    EXPECT_EQ(ec, std::errc::invalid_argument);
    EXPECT_FALSE(platform::SharedSection::open("Other", 0, ec));
    EXPECT_EQ(ec, std::errc::invalid_argument);
    EXPECT_EQ(counterIn(*mine)->load(), 7u);
}

TEST_F(Os, InstanceLockHeldAgainstOthers) {
    std::error_code ec;
    auto lock = platform::InstanceLock::acquire("Wayfarer", ec);
    ASSERT_TRUE(lock) << ec.message();
    EXPECT_FALSE(platform::InstanceLock::acquire("Wayfarer", ec));
    EXPECT_EQ(ec, std::errc::resource_unavailable_try_again);
    auto tryInChild = [] {
        std::error_code childEc;
        auto other = platform::InstanceLock::acquire("Wayfarer", childEc);
        if (other) return 0;
        return childEc == std::errc::resource_unavailable_try_again ? 1 : 2;
    };
    EXPECT_EQ(inChild(tryInChild), 1);
    EXPECT_TRUE(platform::InstanceLock::acquire("Other", ec));
    lock.reset();
    EXPECT_EQ(inChild(tryInChild), 0);
}

TEST_F(Os, MappedFiles) {
    const auto full = home.path() / "full.bin";
    const auto empty = home.path() / "empty.bin";
    const std::string content("mapped\0bytes", 12);
    std::ofstream(full, std::ios::binary) << content;
    std::ofstream(empty, std::ios::binary).flush();
    std::error_code ec;

    auto m = platform::MappedFile::open(full, ec);
    ASSERT_TRUE(m) << ec.message();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->bytes().data()), m->size()), content);
    auto moved = std::move(*m);
    EXPECT_EQ(moved.size(), content.size());

    auto e = platform::MappedFile::open(empty, ec);
    ASSERT_TRUE(e) << ec.message();
    EXPECT_EQ(e->size(), 0u);
    EXPECT_TRUE(e->bytes().empty());

    EXPECT_FALSE(platform::MappedFile::open(home.path() / "missing", ec));
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(platform::MappedFile::open(home.path(), ec));
    EXPECT_EQ(ec, std::errc::invalid_argument);
    const auto fifo = home.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(platform::MappedFile::open(fifo, ec));  // refused, without waiting for a writer
    EXPECT_EQ(ec, std::errc::invalid_argument);
}

TEST(SafeFileName, HostileNamesStayInside) {
    const std::string longName = std::string(300, 'a') + ".pdf";
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"../../etc/passwd", "passwd"},
        {"a/b", "b"},
        {"", "file"},
        {std::string("con\x01trol"), "control"},
        {"..", "file"},
        {"..\\..\\Windows\\win.ini", "win.ini"},
        {".hidden", "hidden"},
        {"trailing. .", "trailing"},
        {std::string("tab\tand\x7f"
                     "del.txt"),
         "tabanddel.txt"},
        {"Report 2024.doc", "Report 2024.doc"},
        {"dir/", "file"},
        {longName, std::string(116, 'a') + ".pdf"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::safeFileName(c.in), c.out) << c.in;
}

TEST_F(Os, TempDirsArePrivateAndRemoved) {
    std::error_code ec;
    std::filesystem::path where;
    {
        auto dir = platform::TempDir::create(ec);
        ASSERT_TRUE(dir) << ec.message();
        where = dir->path();
        EXPECT_EQ(where.parent_path(), home.path() / "tmp");
        struct stat st {};
        ASSERT_EQ(stat(where.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);

        // A planted link under the name asked for is neither followed nor replaced.
        const auto outside = home.path() / "outside";
        std::ofstream(outside) << "keep";
        std::filesystem::create_symlink(outside, where / "passwd");
        auto a = dir->reserveFile("../../etc/passwd", ec);
        ASSERT_TRUE(a) << ec.message();
        EXPECT_EQ(*a, where / "passwd-1");
        auto b = dir->reserveFile("x/../passwd", ec);
        ASSERT_TRUE(b);
        EXPECT_EQ(*b, where / "passwd-2");
        auto c = dir->reserveFile("note.txt", ec);
        auto d = dir->reserveFile("NOTE/note.txt", ec);
        ASSERT_TRUE(c && d);
        EXPECT_EQ(c->filename(), "note.txt");
        EXPECT_EQ(d->filename(), "note-1.txt");
        ASSERT_EQ(stat(d->c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        std::ifstream in(outside);
        std::string text;
        in >> text;
        EXPECT_EQ(text, "keep");
    }
    EXPECT_FALSE(std::filesystem::exists(where));
    EXPECT_TRUE(std::filesystem::exists(home.path() / "outside"));
}

}  // namespace
