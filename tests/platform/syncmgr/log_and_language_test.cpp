// The sync log (file and capture) and the language catalogues.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/syncmgr/language_catalogue.h"
#include "tests/platform/syncmgr/syncmgr_fixture.h"

namespace platform::syncmgr::test {

using tess::test::TempHome;
using tess::test::sourceDir;
using tess::test::libDir;

namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

using SyncLog = SyncmgrTest;

TEST_F(SyncLog, LinesGoToTheSessionUsersFileAndTheCapture) {
    int user = 0;
    ASSERT_EQ(platform::syncmgr::addUser("ann", &user), SYNC_OK);
    ASSERT_EQ(SyncLogAddLine("before any user", -1, 0), SYNC_OK);
    platform::syncmgr::setSessionUser(user);
    ASSERT_EQ(SyncLogAddLine("- Could not open Handheld's e-mail Database.", -1, 0), SYNC_OK);
    ASSERT_EQ(SyncLogAddLine("", 19, 0), SYNC_OK);
    ASSERT_EQ(SyncLogAddLine("Tessaline", 20, 0), SYNC_OK);
    ASSERT_EQ(SyncLogAddLine("Tallyhop\xAE done", 22, 0), SYNC_OK);
    EXPECT_EQ(SyncLogAddLine(nullptr, 22, 0), SYNCERR_BAD_ARGUMENT);

    std::vector<platform::syncmgr::LogLine> lines = platform::syncmgr::capturedLog();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4].text, "Tallyhop\xAE done") << "the capture keeps the bytes as given";
    EXPECT_EQ(lines[1].text, "- Could not open Handheld's e-mail Database.");
    EXPECT_EQ(lines[1].activity, -1);
    EXPECT_EQ(lines[2].text, "");
    EXPECT_EQ(lines[2].activity, 19);
    EXPECT_EQ(lines[3].activity, 20);

    std::filesystem::path userLog = platform::syncmgr::syncLogPath(user);
    EXPECT_EQ(userLog, platform::syncmgr::userDirectory(user) / "Tallyhop.log");
    std::string text = readFile(userLog);
    EXPECT_NE(text.find(" [-1] - Could not open Handheld's e-mail Database.\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" [19] \n"), std::string::npos) << text;
    EXPECT_NE(text.find(" [20] Tessaline\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" [22] Tallyhop\xC2\xAE done\n"), std::string::npos) << "the file is UTF-8";
    EXPECT_EQ(text.find("before any user"), std::string::npos);
    EXPECT_NE(readFile(platform::syncmgr::syncLogPath(0)).find("[-1] before any user\n"), std::string::npos);

    platform::syncmgr::clearCapturedLog();
    EXPECT_TRUE(platform::syncmgr::capturedLog().empty());
}

TEST(Catalogue, ParsesIdsTextsAndEscapes) {
    platform::syncmgr::Catalogue c;
    std::string error;
    ASSERT_TRUE(
        platform::syncmgr::parseCatalogue("# comment\n"
                                          "\n"
                                          "4022\tTessaline\n"
                                          "4173\t- first\\n\\tsecond \\\\ end\r\n"
                                          "4442\tTessaline (TM) Tallyhop\xC2\xAE Progress\n"
                                          "4028\t\n"
                                          "65535\tlast",
                                          &c, &error))
        << error;
    EXPECT_EQ(c.strings.size(), 5u);
    EXPECT_EQ(c.strings[4022], "Tessaline");
    EXPECT_EQ(c.strings[4173], "- first\n\tsecond \\ end");
    EXPECT_EQ(c.strings[4442], "Tessaline (TM) Tallyhop\xAE Progress") << "held in Windows-1252";
    EXPECT_EQ(c.strings[4028], "");
    EXPECT_EQ(c.strings[65535], "last");
}

TEST(Catalogue, RefusesBadLinesWithTheirNumber) {
    struct Case {
        const char* content;
        const char* error;
    } cases[] = {
        {"1\tok\n4022 Tessaline\n", "line 2: no tab between id and text"},
        {"x1\ttext\n", "line 1: bad id 'x1'"},
        {"\ttext\n", "line 1: bad id ''"},
        {"65536\ttext\n", "line 1: id above 65535"},
        {"123456\ttext\n", "line 1: bad id '123456'"},
        {"1\ta\n1\tb\n", "line 2: id 1 appears twice"},
        {"1\tbad \\q escape\n", "line 1: unknown escape \\q"},
        {"1\ttrailing \\\n", "line 1: backslash at the end of the line"},
        {"1\tarrow \xE2\x86\x92\n", "line 1: text is not UTF-8 or has no Windows-1252 form"},
        {"1\tbroken \xC3\n", "line 1: text is not UTF-8 or has no Windows-1252 form"},
    };
    for (const Case& k : cases) {
        platform::syncmgr::Catalogue c;
        std::string error;
        EXPECT_FALSE(platform::syncmgr::parseCatalogue(k.content, &c, &error)) << k.content;
        EXPECT_EQ(error, k.error) << k.content;
    }
}

TEST(Catalogue, EveryShippedCatalogueParses) {
    std::filesystem::path dir = sourceDir() / "lang";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".lang") continue;
        platform::syncmgr::Catalogue c;
        std::string error;
        EXPECT_TRUE(platform::syncmgr::parseCatalogue(readFile(entry.path()), &c, &error))
            << entry.path() << ": " << error;
    }
}

TEST(Catalogue, TheBuildPutsCataloguesWhereTheLoaderLooks) {
    HINSTANCE lib = LanguageLoadLibrary("LKSYNCLANG.DLL", nullptr, nullptr);
    ASSERT_NE(lib, nullptr) << "no lang/LKSYNCLANG.lang in " << libDir();
    char buf[256];
    EXPECT_GT(LanguageLoadString(lib, 4022, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Tessaline");
    LanguageLoadString(lib, 4219, buf, sizeof buf);
    EXPECT_STREQ(buf, "%s\\LKConduit.hlp");
    LanguageFreeLibrary(lib, nullptr);
}

// A module directory of its own with one catalogue in lang/.
class LanguageLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TESSALINE_LIBDIR");
        previous_ = old ? old : "";
        std::filesystem::create_directories(home_.path() / "lang");
        std::ofstream(home_.path() / "lang" / "TESTLANG.lang") << "4010\t- Could not open Handheld's e-mail Database.\n"
                                                               << "4135\tTESSALINE INFO -- %s\n";
        std::ofstream(home_.path() / "lang" / "BROKEN.lang") << "no tab here\n";
        setenv("TESSALINE_LIBDIR", home_.path().c_str(), 1);
    }
    void TearDown() override { setenv("TESSALINE_LIBDIR", previous_.c_str(), 1); }
    TempHome home_;
    std::string previous_;
};

TEST_F(LanguageLibrary, LoadLookUpFree) {
    HINSTANCE lib = LanguageLoadLibrary("C:\\Program Files\\x\\testlang.DLL", nullptr, nullptr);
    ASSERT_NE(lib, nullptr);
    char buf[64];
    EXPECT_EQ(LanguageLoadString(lib, 4135, buf, sizeof buf), 20);
    EXPECT_STREQ(buf, "TESSALINE INFO -- %s");
    EXPECT_EQ(LanguageLoadString(lib, 4999, buf, sizeof buf), 0) << "missing id";
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(LanguageLoadString(lib, 4135, buf, 10), 9) << "cut to the buffer";
    EXPECT_STREQ(buf, "TESSALINE");
    EXPECT_EQ(LanguageLoadString(lib, 4135, nullptr, 10), 0);

    HINSTANCE second = LanguageLoadLibrary("TESTLANG", nullptr, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(LanguageFreeLibrary(lib, nullptr), SYNC_OK);
    EXPECT_EQ(LanguageLoadString(lib, 4135, buf, sizeof buf), 0) << "freed";
    EXPECT_EQ(LanguageLoadString(second, 4010, buf, sizeof buf), 44) << "the other load lives on";
    EXPECT_EQ(LanguageFreeLibrary(lib, nullptr), SYNCERR_NOT_FOUND);
    EXPECT_EQ(LanguageFreeLibrary(second, nullptr), SYNC_OK);
    EXPECT_EQ(LanguageFreeLibrary(nullptr, nullptr), SYNCERR_BAD_ARGUMENT);

    // A handle that is not a catalogue gives nothing.
    int notACatalogue = 0;
    EXPECT_EQ(LanguageLoadString(reinterpret_cast<HINSTANCE>(&notACatalogue), 4135, buf, sizeof buf), 0);
}

TEST_F(LanguageLibrary, MissingOrBrokenCatalogueGivesNull) {
    EXPECT_EQ(LanguageLoadLibrary("LKNOLANG.DLL", nullptr, nullptr), nullptr);
    EXPECT_EQ(LanguageLoadLibrary("BROKEN.DLL", nullptr, nullptr), nullptr);
    EXPECT_EQ(LanguageLoadLibrary("", nullptr, nullptr), nullptr);
    EXPECT_EQ(LanguageLoadLibrary("dir\\", nullptr, nullptr), nullptr);
    EXPECT_EQ(LanguageLoadLibrary(nullptr, nullptr, nullptr), nullptr);
}

// A catalogue may take up to 4 MiB; one byte more and it is refused rather than cut short.
TEST_F(LanguageLibrary, CatalogueSizeLimitIsExact) {
    constexpr size_t kLimit = 4u << 20;
    for (const size_t size : {kLimit, kLimit + 1}) {
        std::string content = "4010\tpadded\n";
        std::string comment = "#" + std::string(size - content.size() - 2, 'x') + "\n";
        std::ofstream(home_.path() / "lang" / "BIG.lang", std::ios::binary) << content << comment;
        ASSERT_EQ(std::filesystem::file_size(home_.path() / "lang" / "BIG.lang"), size);
        HINSTANCE lib = LanguageLoadLibrary("BIG.DLL", nullptr, nullptr);
        if (size > kLimit) {
            EXPECT_EQ(lib, nullptr) << "a catalogue past the limit is refused";
            continue;
        }
        ASSERT_NE(lib, nullptr) << "a catalogue of exactly the limit loads";
        char buf[32];
        EXPECT_EQ(LanguageLoadString(lib, 4010, buf, sizeof buf), 6);
        EXPECT_STREQ(buf, "padded");
        EXPECT_EQ(LanguageFreeLibrary(lib, nullptr), SYNC_OK);
    }
}

}  // namespace
}  // namespace platform::syncmgr::test
