#pragma once
// Handheld time (local seconds since 1 January 1904) against desktop time (UTC seconds
// since 1970), and RFC 822 date texts. Zone offsets and daylight saving come from the
// system's zone rules (TZ) and are always the ones in force at the instant converted,
// never today's.
#include <cstdint>
#include <string>

namespace tess {

constexpr int64_t kHandheldEpochOffset = 2082844800;  // 1904-01-01 to 1970-01-01

class CHandheldTime {
public:
    // isUnix: value counts from 1970, else from 1904. The shifted values are the plain
    // ones moved by the zone's offset (seconds west of UTC) in force at that time.
    // 1 when both plain values are nonzero.
    int Set(int64_t value, bool isUnix);

    int64_t Utc1904() const { return utc1904_; }
    int64_t Shifted1904() const { return shifted1904_; }
    int64_t Unix() const { return unix_; }
    int64_t ShiftedUnix() const { return shiftedUnix_; }

    // "%d %b %Y %H:%M:%S" in UTC. Returns 1.
    int FormatGmtText(std::string& out) const;
    // "%a, %d %b %Y %H:%M:%S" then " +0000" (inUtc) or the local offset in force at that
    // date, daylight saving included. Returns 1.
    int FormatRfc822(std::string& out, bool inUtc) const;

private:
    int64_t utc1904_ = 0, shifted1904_ = 0, unix_ = 0, shiftedUnix_ = 0;
};

// The local offset east of UTC in seconds at the UTC instant t, daylight saving included.
int32_t LocalOffsetAt(int64_t t);
// The daylight-saving part of that offset at t (0 outside daylight time or in a zone
// without it; 3600 in most daylight periods).
int32_t GetDaylightBias(int64_t t);
// toLocal: UTC seconds to local wall-clock seconds; else back. A local time that falls
// in a transition gap or overlap takes the offset in force just before it (the earlier
// instant of a repeated hour).
int64_t ToLocalOrUtc(int64_t time, bool toLocal);
// 28 or 29 for February as the year has it.
int DaysInMonth(int month, int year);
// Calendar conversions in UTC (proleptic Gregorian), safe for any 32-bit time.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d);
struct CivilTime {
    int year, month, day, hour, minute, second, weekday;  // month 1-12, weekday 0 = Sunday
};
CivilTime CivilFromSeconds(int64_t t);

}  // namespace tess
