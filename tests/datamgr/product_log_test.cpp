// The product log: line format, header and its two size limits, running time, and
// appends from several processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "datamgr/ledgerly.h"
#include "datamgr/product_log.h"
#include "tests/common/scoped_zone.h"
#include "tests/support/test_home.h"

using namespace tess::datamgr;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class UtcLog : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(home_.path() / "user" / "Larkspur"); }
    std::string userDir() const { return (home_.path() / "user").string(); }
    fs::path logPath() const { return home_.path() / "user" / "Larkspur" / "Tessaline.log"; }

    tess::test::ScopedZone zone_{"UTC"};
    tess::test::TempHome home_;
    std::time_t now_ = 1000000000;  // 09-09-2001 01:46:40 AM UTC
    ProductLog::Clock clock_ = [this] { return now_; };
};

const std::string kStamp = "09-09-2001 01:46:40 AM    ";  // 22 characters, padded to 26

}  // namespace

TEST_F(UtcLog, LinesKeepTheirColumnsAndIndentContinuations) {
    struct Case {
        const char* text;
        std::string line;
    } cases[] = {
        {"hello", kStamp + " hello\r\n"},
        {"first\r\nsecond", kStamp + " first\r\n" + std::string(29, ' ') + "second\r\n"},
        {"a\nb\n", kStamp + " a\r\n" + std::string(29, ' ') + "b\r\n" + std::string(29, ' ') + "\r\n"},
        {"", kStamp + " \r\n"},
        {nullptr, kStamp + " \r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatLogLine(FormatLogStamp(now_), c.text), c.line);
    EXPECT_EQ(FormatLogStamp(1000000000 + 12 * 3600), "09-09-2001 01:46:40 PM");
}

TEST_F(UtcLog, AddBeforeStartFailsAndWritesNothing) {
    EXPECT_EQ(MLOGAdd("nothing"), static_cast<int>(LDG_E_LOG_OPEN));
    ProductLog log(clock_);
    EXPECT_EQ(log.Add("x"), static_cast<int>(LDG_E_LOG_OPEN));
    EXPECT_FALSE(log.Start(userDir(), "Larkspur", false, {}));  // logging disabled
    EXPECT_EQ(log.Add("x"), static_cast<int>(LDG_E_LOG_OPEN));
    EXPECT_FALSE(log.Start("", "Larkspur", true, {}));
    EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(UtcLog, HeaderThresholdAtStart) {
    struct Case {
        size_t existing;
        bool kept;
    } cases[] = {{0, true}, {102399, true}, {102400, false}, {300000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existing);
        { std::ofstream(logPath(), std::ios::binary) << std::string(c.existing, 'o'); }
        std::string text;
        {
            ProductLog log(clock_);
            LogHeaderInfo info;
            info.computer = "desk1";
            ASSERT_TRUE(log.Start(userDir(), "Larkspur", true, info));
            text = ReadAll(logPath());
        }
        const std::string header =
            kStamp + " " + std::string(59, '*') + "\r\n" + kStamp + " Initializing Tessaline (TM) Log File\r\n";
        if (c.kept) {
            EXPECT_EQ(text.substr(0, c.existing), std::string(c.existing, 'o'));
            EXPECT_EQ(text.substr(c.existing, header.size()), header);
        } else {
            EXPECT_EQ(text.substr(0, header.size()), header);
        }
        EXPECT_NE(text.find(std::string(26, ' ') + " Computer:            desk1\r\n"), std::string::npos);
    }
}

TEST_F(UtcLog, HeaderListsValuesConduitAndComponents) {
    LogHeaderInfo info;
    info.general = {{LogRegistryValue::kText, "UpgradeStatus", "done", 0},
                    {LogRegistryValue::kNumber, "PSRE", "", 7},
                    {LogRegistryValue::kOther, "Blob", "", 0}};
    info.conduitLoaded = true;
    info.conduitTitle = "Tessaline";
    info.components = {{"Extra Mail", "/opt/x/host.so", "/opt/x/cfg.so"}};
    ProductLog log(clock_);
    ASSERT_TRUE(log.Start(userDir(), "Larkspur", true, info));
    const std::string text = ReadAll(logPath());
    const std::string blank(26, ' ');
    for (const std::string& line :
         {blank + " \tUpgradeStatus : REG_SZ : done\r\n", blank + " \tPSRE : REG_DWORD : 7\r\n",
          blank + " \tTitle:              Tessaline\r\n", blank + " Name:                Extra Mail\r\n",
          blank + " \tConfig Host:        /opt/x/cfg.so\r\n",
          blank + " Tessaline Registered Conduit Extension Information:\r\n\r\n", blank + "  \r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("Blob"), std::string::npos);
}

TEST_F(UtcLog, RunningTimeAndTheHardLimit) {
    {
        ProductLog log(clock_);
        ASSERT_TRUE(log.Start(userDir(), "Larkspur", true, {}));
        EXPECT_EQ(log.Add("one"), 0);
        now_ += 3725;
        // A second start in the same process writes the running time and keeps the file.
        const auto before = fs::file_size(logPath());
        ASSERT_TRUE(log.Start(userDir(), "Larkspur", true, {}));
        const std::string text = ReadAll(logPath());
        EXPECT_EQ(text.substr(before), FormatLogLine(FormatLogStamp(now_), "Running Time: 1:2:5"));

        // Grown past 104857600 bytes: the running time goes into it, then it begins anew
        // without a header.
        fs::resize_file(logPath(), kLogHardLimitBytes + 1);
        ASSERT_TRUE(log.Start(userDir(), "Larkspur", true, {}));
        EXPECT_EQ(fs::file_size(logPath()), 0u);
        EXPECT_EQ(log.Add("after"), 0);
        now_ += 90000;
    }
    // Unloading (the object's end) closes with the running time since the last open.
    EXPECT_EQ(ReadAll(logPath()), FormatLogLine(FormatLogStamp(now_ - 90000), "after") +
                                      FormatLogLine(FormatLogStamp(now_), "Running Time: 1:0:0"));
    EXPECT_EQ(FormatRunningTime(3725), "Running Time: 1:2:5");
    EXPECT_EQ(FormatRunningTime(90000), "Running Time: 1:0:0");
}

TEST_F(UtcLog, AppendsFromSeveralProcessesStayWhole) {
    ProductLog log(clock_);
    ASSERT_TRUE(log.Start(userDir(), "Larkspur", true, {}));
    const auto start = fs::file_size(logPath());
    constexpr int kProcs = 4, kLines = 300;
    const std::string body(300, 'm');
    pid_t pids[kProcs];
    for (int p = 0; p < kProcs; ++p) {
        pids[p] = fork();
        ASSERT_GE(pids[p], 0);
        if (pids[p] == 0) {
            int failures = 0;
            for (int i = 0; i < kLines; ++i) failures += log.Add((std::to_string(p) + body).c_str()) != 0;
            _exit(failures);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream lines(ReadAll(logPath()).substr(start));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        ASSERT_EQ(line.size(), 27 + 1 + body.size() + 1) << count;  // stamp column, digit, body, CR
        EXPECT_EQ(line.substr(28, body.size()), body);
    }
    EXPECT_EQ(count, kProcs * kLines);
}
