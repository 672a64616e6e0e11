#!/usr/bin/env python3
"""Reference time-zone facts from Python's zoneinfo, for the platform tests.

Usage: tz_reference.py ZONE YEAR...
Prints one line per year:
  info YEAR BIAS DAYLIGHT_BIAS HAS_DAYLIGHT DAYLIGHT_DATE STANDARD_DATE
with dates as YYYY-MM-DDTHH:MM:SS (local time just before the change, "-" when none),
then offsets at sample instants (every 9 days from 1900 to 2070, and one second either
side of each change found):
  offset UTC_SECONDS OFFSET_SECONDS IS_DST
"""
import sys
from datetime import datetime, timedelta, timezone
from zoneinfo import ZoneInfo

EPOCH = datetime(1970, 1, 1, tzinfo=timezone.utc)


def state(zone, t):
    local = (EPOCH + timedelta(seconds=t)).astimezone(zone)
    return int(local.utcoffset().total_seconds()), bool(local.dst())


def changes(zone, year):
    start = int((datetime(year, 1, 1, tzinfo=timezone.utc) - EPOCH).total_seconds()) - 2 * 86400
    end = int((datetime(year + 1, 1, 1, tzinfo=timezone.utc) - EPOCH).total_seconds()) + 2 * 86400
    found = []
    t, prev = start, state(zone, start)
    while t < end:
        nxt = t + 3600
        cur = state(zone, nxt)
        if cur != prev:
            lo, hi = t, nxt  # state(lo) == prev, state(hi) != prev
            while hi - lo > 1:
                mid = (lo + hi) // 2
                if state(zone, mid) == prev:
                    lo = mid
                else:
                    hi = mid
            local_before = EPOCH + timedelta(seconds=hi + prev[0])
            if local_before.year == year:
                found.append((hi, prev, cur, local_before))
        t, prev = nxt, cur
    return found


def main():
    zone = ZoneInfo(sys.argv[1])
    edges = []
    for year in map(int, sys.argv[2:]):
        found = changes(zone, year)
        edges += [c[0] for c in found]
        to_dst = [c for c in found if not c[1][1] and c[2][1]]
        to_std = [c for c in found if c[1][1] and not c[2][1]]
        dec31 = int((datetime(year, 12, 31, tzinfo=timezone.utc) - EPOCH).total_seconds())
        std = state(zone, dec31)
        if std[1]:
            std = to_dst[-1][1] if to_dst else to_std[-1][2]
        fmt = "%Y-%m-%dT%H:%M:%S"
        if to_dst and to_std:
            dst = to_dst[-1][2]
            print("info", year, -std[0] // 60, -(dst[0] - std[0]) // 60, 1,
                  to_dst[-1][3].strftime(fmt), to_std[-1][3].strftime(fmt))
        else:
            print("info", year, -std[0] // 60, 0, 0, "-", "-")
    t = int((datetime(1900, 1, 1, tzinfo=timezone.utc) - EPOCH).total_seconds())
    stop = int((datetime(2070, 1, 1, tzinfo=timezone.utc) - EPOCH).total_seconds())
    samples = list(range(t, stop, 9 * 86400 + 3 * 3600 + 17))
    samples += [e + d for e in edges for d in (-1, 0)]
    for s in samples:
        off, dst = state(zone, s)
        print("offset", s, off, int(dst))


if __name__ == "__main__":
    main()
