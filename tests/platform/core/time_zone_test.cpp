#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "platform/core/os.h"
#include "tests/support/test_home.h"

namespace {

std::string formatDate(const platform::ZoneDate& d) {
    if (d.month == 0) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
    return buf;
}

// Runs the zoneinfo reference for one zone and returns its lines.
std::string reference(const std::string& zone, const std::string& years) {
    const auto script = tess::test::sourceDir() / "tests/platform/core/tz_reference.py";
    const std::string cmd = "python3 '" + script.string() + "' " + zone + " " + years;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) out.append(buf, n);
    return out;
}

class ZoneAgainstZoneinfo : public ::testing::TestWithParam<const char*> {};

TEST_P(ZoneAgainstZoneinfo, YearsAndInstantsAgree) {
    const std::string zone = GetParam();
    // 2007: the US rule change; 2038 and 2050: past the compiled table, from the footer rule.
    const std::string text = reference(zone, "1985 1996 2007 2024 2025 2038 2050");
    ASSERT_FALSE(text.empty()) << "python3 with zoneinfo is needed for this test";
    std::istringstream lines(text);
    std::string kind;
    int infos = 0, offsets = 0;
    while (lines >> kind) {
        std::error_code ec;
        if (kind == "info") {
            int year, bias, daylightBias, hasDaylight;
            std::string daylightDate, standardDate;
            lines >> year >> bias >> daylightBias >> hasDaylight >> daylightDate >> standardDate;
            const auto info = platform::timeZoneInfo(zone, year, ec);
            ASSERT_TRUE(info) << ec.message();
            EXPECT_EQ(info->bias, bias) << zone << " " << year;
            EXPECT_EQ(info->standardBias, 0);
            EXPECT_EQ(info->daylightBias, daylightBias) << zone << " " << year;
            EXPECT_EQ(info->hasDaylight, hasDaylight != 0) << zone << " " << year;
            EXPECT_EQ(formatDate(info->daylightDate), daylightDate) << zone << " " << year;
            EXPECT_EQ(formatDate(info->standardDate), standardDate) << zone << " " << year;
            ++infos;
        } else {
            ASSERT_EQ(kind, "offset");
            long long at;
            int offset, dst;
            lines >> at >> offset >> dst;
            const auto found = platform::zoneOffsetAt(zone, at, ec);
            ASSERT_TRUE(found) << ec.message();
            ASSERT_EQ(found->utcOffsetSeconds, offset) << zone << " at " << at;
            ASSERT_EQ(found->isDaylight, dst != 0) << zone << " at " << at;
            ++offsets;
        }
    }
    EXPECT_EQ(infos, 7);
    EXPECT_GT(offsets, 6000);
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneAgainstZoneinfo,
                         ::testing::Values("Europe/Berlin", "America/New_York", "Australia/Sydney", "Asia/Kolkata",
                                           "UTC"));

TEST(TimeZone, KnownFacts) {
    std::error_code ec;
    auto berlin = platform::timeZoneInfo("Europe/Berlin", 2024, ec);
    ASSERT_TRUE(berlin);
    EXPECT_EQ(berlin->bias, -60);
    EXPECT_EQ(berlin->daylightBias, -60);
    EXPECT_EQ(formatDate(berlin->daylightDate), "2024-03-31T02:00:00");
    EXPECT_EQ(berlin->daylightDate.dayOfWeek, 0);
    EXPECT_EQ(formatDate(berlin->standardDate), "2024-10-27T03:00:00");
    EXPECT_EQ(berlin->standardName, "CET");
    EXPECT_EQ(berlin->daylightName, "CEST");

    auto kolkata = platform::zoneOffsetAt("Asia/Kolkata", 1700000000, ec);
    ASSERT_TRUE(kolkata);
    EXPECT_EQ(kolkata->utcOffsetSeconds, 19800);
    EXPECT_EQ(kolkata->bias(), -330);
    EXPECT_EQ(kolkata->abbreviation, "IST");
}

TEST(TimeZone, LocalZoneFollowsTz) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    std::error_code ec;
    struct Case {
        const char* tz;
        int bias;
        int daylightMonth;
    };
    const Case cases[] = {
        {"Australia/Sydney", -600, 10},
        {":America/New_York", 300, 3},
        {"EST5EDT,M3.2.0,M11.1.0", 300, 3},  // a bare POSIX rule
        {"<+0330>-3:30", -210, 0},
    };
    for (const auto& c : cases) {
        setenv("TZ", c.tz, 1);
        const auto info = platform::timeZoneInfo("", 2024, ec);
        ASSERT_TRUE(info) << c.tz;
        EXPECT_EQ(info->bias, c.bias) << c.tz;
        EXPECT_EQ(info->daylightDate.month, c.daylightMonth) << c.tz;
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
}

TEST(TimeZone, BadZonesAreRefused) {
    tess::test::TempHome home;
    const std::string notTzif = (home.path() / "junk").string();
    FILE* f = std::fopen(notTzif.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("TZif2 but not really", f);
    std::fclose(f);
    for (const std::string zone : {"No/Such_Zone", "../../etc/passwd", "Europe/../../../etc/passwd", "/etc/passwd",
                                   "Europe", "Europe//Berlin"}) {
        std::error_code ec;
        EXPECT_FALSE(platform::timeZoneInfo(zone, 2024, ec)) << zone;
        EXPECT_EQ(ec, std::errc::invalid_argument) << zone;
        EXPECT_FALSE(platform::zoneOffsetAt(zone, 0, ec)) << zone;
    }
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", notTzif.c_str(), 1);
    std::error_code ec;
    EXPECT_FALSE(platform::timeZoneInfo("", 2024, ec));
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
}

}  // namespace
