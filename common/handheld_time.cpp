#include "common/handheld_time.h"

#include <cstdio>

#include "platform/core/os.h"

namespace tess {

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The machine's zone ($TZ, else the system's) at one instant; UTC when it cannot be read.
platform::ZoneOffset OffsetAt(int64_t t) {
    std::error_code ec;
    auto z = platform::zoneOffsetAt("", t, ec);
    return z ? *z : platform::ZoneOffset{};
}

}  // namespace

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

CivilTime CivilFromSeconds(int64_t t) {
    int64_t days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    int64_t secs = t - days * 86400;
    CivilTime c{};
    c.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (c.month <= 2));
    c.hour = static_cast<int>(secs / 3600);
    c.minute = static_cast<int>(secs / 60 % 60);
    c.second = static_cast<int>(secs % 60);
    return c;
}

int32_t LocalOffsetAt(int64_t t) { return OffsetAt(t).utcOffsetSeconds; }

int32_t GetDaylightBias(int64_t t) {
    const platform::ZoneOffset at = OffsetAt(t);
    if (!at.isDaylight) return 0;
    // The standard offset is the one of the nearest instant outside daylight time;
    // looking half a year either way finds it in both hemispheres.
    for (int64_t step : {-183 * 86400LL, 183 * 86400LL, -92 * 86400LL, 92 * 86400LL}) {
        const platform::ZoneOffset other = OffsetAt(t + step);
        if (!other.isDaylight) return at.utcOffsetSeconds - other.utcOffsetSeconds;
    }
    return 0;
}

int64_t ToLocalOrUtc(int64_t time, bool toLocal) {
    if (toLocal) return time + LocalOffsetAt(time);
    // The offsets in force a day before and a day after bracket any transition; a wall
    // time that exists twice takes the earlier instant, one that does not exist takes
    // the offset in force before the gap.
    const int32_t before = LocalOffsetAt(time - 86400), after = LocalOffsetAt(time + 86400);
    const int64_t first = time - before, second = time - after;
    const bool firstValid = LocalOffsetAt(first) == before, secondValid = LocalOffsetAt(second) == after;
    if (firstValid && secondValid) return first < second ? first : second;
    if (secondValid) return second;
    return first;
}

int DaysInMonth(int month, int year) {
    switch (month) {
    case 2: return (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
    }
}

int CHandheldTime::Set(int64_t value, bool isUnix) {
    if (isUnix) {
        unix_ = value;
        utc1904_ = value + kHandheldEpochOffset;
    } else {
        utc1904_ = value;
        unix_ = value - kHandheldEpochOffset;
    }
    const int32_t west = -LocalOffsetAt(unix_);
    shifted1904_ = utc1904_ + west;
    shiftedUnix_ = unix_ + west;
    return utc1904_ != 0 && unix_ != 0;
}

int CHandheldTime::FormatGmtText(std::string& out) const {
    const CivilTime c = CivilFromSeconds(unix_);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d %s %d %02d:%02d:%02d", c.day, kMonths[c.month - 1], c.year, c.hour, c.minute,
                  c.second);
    out = buf;
    return 1;
}

int CHandheldTime::FormatRfc822(std::string& out, bool inUtc) const {
    const int32_t offset = inUtc ? 0 : LocalOffsetAt(unix_);
    const CivilTime c = CivilFromSeconds(unix_ + offset);
    const int32_t a = offset < 0 ? -offset : offset;
    char buf[80];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %d %02d:%02d:%02d %c%02d%02d", kDays[c.weekday], c.day,
                  kMonths[c.month - 1], c.year, c.hour, c.minute, c.second, offset < 0 ? '-' : '+', a / 3600,
                  a / 60 % 60);
    out = buf;
    return 1;
}

}  // namespace tess
