// The RFC 822 date parser against Python's email.utils and zoneinfo (date_cases.inc,
// made by make_date_cases.py), and the cases where this parser follows RFC 5322 rather
// than Python.
#include <gtest/gtest.h>

#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_date.h"
#include "tests/common/scoped_zone.h"

using tess::datamgr::ParseDateHeader;
using tess::datamgr::ParseDateHeaderChecked;

namespace {

using Zone = tess::test::ScopedZone;

struct PythonCase {
    const char* zone;
    const char* header;
    bool parses;
    int64_t unix;
};

const PythonCase kPythonCases[] = {
#include "tests/datamgr/date_cases.inc"
};

}  // namespace

TEST(DateParser, AgreesWithPythonInSeveralZones) {
    for (const PythonCase& c : kPythonCases) {
        Zone z(c.zone);
        int64_t got = -1;
        const int rc = ParseDateHeaderChecked(c.header, 0, &got);
        if (c.parses) {
            EXPECT_EQ(rc, 0) << c.zone << " | " << c.header;
            EXPECT_EQ(got, c.unix) << c.zone << " | " << c.header;
        } else {
            EXPECT_EQ(rc, static_cast<int>(LDG_E_DATE_NOT_GMT)) << c.zone << " | " << c.header;
            EXPECT_EQ(got, -1) << "untouched on failure";
            EXPECT_EQ(ParseDateHeader(c.header, 0), 0);
        }
    }
}

TEST(DateParser, Rfc5322RulesWherePythonDiffers) {
    Zone z("America/New_York");
    struct Case {
        const char* header;
        int64_t unix;  // calendar.timegm of the fields, worked out apart from this parser
    } cases[] = {
        // Two-digit years: 00-49 are this century, 50-99 the last.
        {"Wed, 09 Dec 26 10:15:30 +0000", 1796811330},
        {"Sat, 01 Jan 55 00:00:00 +0000", -473385600},
        {"Fri, 01 Jan 49 00:00:00 +0000", 2493072000},
        {"01 Jan 101 00:00:00 +0000", 978307200},  // three digits: 1900 + 101
        // -0000 and single-letter zones name UTC, not local time.
        {"Wed, 09 Dec 2026 10:15:30 -0000", 1796811330},
        {"Wed, 09 Dec 2026 10:15:30 A", 1796811330},
        // A fold between the lines of a header keeps the tokens apart.
        {"Wed, 09 Dec 2026\r\n\t10:15:30 +0000", 1796811330},
        {"Dec 09 2026 10:15:30 +0000", 1796811330},
        // A leap second is a valid second.
        {"Wed, 09 Dec 2026 10:15:60 +0000", 1796811360},
    };
    for (const Case& c : cases) {
        int64_t got = 0;
        EXPECT_EQ(ParseDateHeaderChecked(c.header, 0, &got), 0) << c.header;
        EXPECT_EQ(got, c.unix) << c.header;
    }
}

TEST(DateParser, ZonesAndHandheldTime) {
    Zone z("UTC");
    // 09 Dec 2026 10:15:30 UTC = 1796811330; +0530 is 5.5 hours earlier, -1000 ten later.
    EXPECT_EQ(ParseDateHeader("09 Dec 2026 10:15:30 +0530", 0), 1796811330 - 19800);
    EXPECT_EQ(ParseDateHeader("09 Dec 2026 10:15:30 -1000", 0), 1796811330 + 36000);
    EXPECT_EQ(ParseDateHeader("Tue, 09 Dec 2026 10:15:30", 1), 1796811330 + 2082844800LL);
    EXPECT_EQ(ParseDateHeader("  \t09 dec 2026 10:15:30 +0000 \r\n", 0), 1796811330);
    int64_t v = 7;
    EXPECT_EQ(ParseDateHeaderChecked(nullptr, 0, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(ParseDateHeaderChecked("x", 0, nullptr), static_cast<int>(LDG_E_INVALID_PARAMETER));
}

TEST(DateParser, ZoneUtcIsNotLocalTime) {
    // With +0000 the instant is the same in every zone.
    for (const char* tz : {"UTC", "America/New_York", "Australia/Sydney"}) {
        Zone z(tz);
        EXPECT_EQ(ParseDateHeader("Tue, 09 Dec 2026 10:15:30 +0000", 0), 1796811330) << tz;
        EXPECT_EQ(ParseDateHeader("Tue, 09 Dec 2026 10:15:30 GMT", 0), 1796811330) << tz;
    }
}

TEST(DateParser, BadFieldsAreRefused) {
    Zone z("UTC");
    for (const char* bad :
         {"Wed, 32 Dec 2026 10:15:30 +0000", "Thu, 29 Feb 2025 10:15:30 +0000", "Wed, 09 Dec 2026 24:00:00 +0000",
          "Wed, 09 Dec 2026 10:61:00 +0000", "Wed, 09 Dec 2026 101530 +0000", "Wed, 09 Dec 2026 10:15:30:99:99 +0000",
          "Wed, 0 Dec 2026 10:15:30", "Wed, 09 Dec 99999 10:15:30", "Wed, 09 Dec 2026", "Wed, 09 Dec -26 10:15:30",
          ",,,,", "((("}) {
        int64_t got = 5;
        EXPECT_EQ(ParseDateHeaderChecked(bad, 0, &got), static_cast<int>(LDG_E_DATE_NOT_GMT)) << bad;
        EXPECT_EQ(got, 5) << bad;
    }
}
