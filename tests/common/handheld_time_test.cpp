// Handheld time and RFC 822 texts in several zones, on and around transition days.
#include <gtest/gtest.h>

#include "common/handheld_time.h"
#include "tests/common/scoped_zone.h"

namespace tess::test {

using Zone = tess::test::ScopedZone;

// Expected texts are what Python's email.utils.format_datetime gives with zoneinfo.
TEST(HandheldTime, Rfc822TextCarriesTheOffsetInForceAtThatDate) {
    struct Case {
        const char* tz;
        int64_t t;
        const char* text;
        int32_t bias;
    } cases[] = {
        {"UTC", 1000000000, "Sun, 09 Sep 2001 01:46:40 +0000", 0},
        {"America/New_York", 1000000000, "Sat, 08 Sep 2001 21:46:40 -0400", 3600},
        {"America/New_York", 1015000000, "Fri, 01 Mar 2002 11:26:40 -0500", 0},
        {"Europe/Berlin", 1015000000, "Fri, 01 Mar 2002 17:26:40 +0100", 0},
        {"Europe/Berlin", 1000000000, "Sun, 09 Sep 2001 03:46:40 +0200", 3600},
        // Southern hemisphere: daylight time in January.
        {"Australia/Sydney", 1705000000, "Fri, 12 Jan 2024 06:06:40 +1100", 3600},
        {"Australia/Sydney", 1720000000, "Wed, 03 Jul 2024 19:46:40 +1000", 0},
        {"Asia/Kolkata", 1720000000, "Wed, 03 Jul 2024 15:16:40 +0530", 0},
        // Leap day.
        {"UTC", 1709208000, "Thu, 29 Feb 2024 12:00:00 +0000", 0},
    };
    for (const auto& c : cases) {
        Zone z(c.tz);
        CHandheldTime t;
        EXPECT_EQ(t.Set(c.t, true), 1);
        std::string text;
        t.FormatRfc822(text, false);
        EXPECT_EQ(text, c.text) << c.tz;
        EXPECT_EQ(GetDaylightBias(c.t), c.bias) << c.tz << " " << c.t;
        t.FormatRfc822(text, true);
        EXPECT_EQ(text.substr(text.size() - 5), "+0000");
    }
}

TEST(HandheldTime, LocalAndBackOnTransitionDays) {
    // 2024-03-31 01:00 UTC: Europe/Berlin goes to summer time; 2024-10-27 01:00 UTC back.
    // 2024-04-06 16:00 UTC: Sydney leaves daylight time.
    struct Case {
        const char* tz;
        int64_t t;
        int32_t offsetBefore, offsetAfter;
    } cases[] = {
        {"Europe/Berlin", 1711846800, 3600, 7200},
        {"Europe/Berlin", 1729990800, 7200, 3600},
        {"America/New_York", 1710054000, -18000, -14400},
        {"Australia/Sydney", 1712419200, 39600, 36000},
    };
    for (const auto& c : cases) {
        Zone z(c.tz);
        EXPECT_EQ(LocalOffsetAt(c.t - 1), c.offsetBefore) << c.tz;
        EXPECT_EQ(LocalOffsetAt(c.t), c.offsetAfter) << c.tz;
        // Around a fall-back the hour after it repeats local times; those are ambiguous.
        const bool springForward = c.offsetAfter > c.offsetBefore;
        for (int64_t d : {-7200, -1, 0, 1, 7200}) {
            if (!springForward && d > -3600 && d < 3600) continue;
            const int64_t local = ToLocalOrUtc(c.t + d, true);
            EXPECT_EQ(ToLocalOrUtc(local, false), c.t + d) << c.tz << " " << d;
        }
    }
}

TEST(HandheldTime, UtcZoneLeavesTimesAndSetsBothEpochs) {
    Zone z("UTC");
    EXPECT_EQ(ToLocalOrUtc(123456, true), 123456);
    EXPECT_EQ(ToLocalOrUtc(123456, false), 123456);
    CHandheldTime t;
    t.Set(3082844800, false);
    EXPECT_EQ(t.Unix(), 1000000000);
    EXPECT_EQ(t.ShiftedUnix(), 1000000000);
    std::string gmt;
    t.FormatGmtText(gmt);
    EXPECT_EQ(gmt, "09 Sep 2001 01:46:40");
    EXPECT_EQ(t.Set(0, true), 0);  // the 1970 value itself is 0
}

TEST(HandheldTime, ShiftedValuesAreSecondsWest) {
    Zone z("America/New_York");
    CHandheldTime t;
    t.Set(1015000000, true);
    EXPECT_EQ(t.ShiftedUnix(), 1015000000 + 18000);
    EXPECT_EQ(t.Shifted1904(), 1015000000 + kHandheldEpochOffset + 18000);
}

TEST(HandheldTime, DaysInMonthCountsLeapYears) {
    struct Case {
        int month, year, days;
    } cases[] = {{2, 2023, 28}, {2, 2024, 29}, {2, 1900, 28}, {2, 2000, 29}, {4, 2024, 30}, {12, 2024, 31}};
    for (const auto& c : cases) EXPECT_EQ(DaysInMonth(c.month, c.year), c.days) << c.month << "/" << c.year;
}

}  // namespace tess::test
