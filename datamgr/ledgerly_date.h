#pragma once
// The RFC 822 date parser the data manager exports; the internet message hosts use it too.
// "[day-name,] day month year hh:mm[:ss] [zone]". A numeric zone (sign and hhmm, up to
// four digits) or a zone name (UT, UTC, GMT, Z, EST ... PDT; other single letters read
// as UTC) fixes the instant; a text without a zone, or with an unknown zone name, is
// local time with the offset in force at that date. The month may come before the
// day. Two-digit years: 00-49 are 20xx, 50-99 19xx; three digits add 1900. Nothing
// here throws.
#include <cstdint>

#include "platform/export.h"

namespace tess::datamgr {

// Seconds since 1970 (toHandheldTime 0) or since 1904 (nonzero) in *out. 0, or
// 0x80A00005 (LDG_E_DATE_NOT_GMT) when the text has no valid day, month, year or time,
// or a numeric zone of 24 hours or more or with 60 minutes or more; *out is untouched
// then. An empty or null text gives 0 in *out and result 0.
TESS_EXPORT int ParseDateHeaderChecked(const char* text, int toHandheldTime, int64_t* out) noexcept;
// The same value, or 0 for a text that cannot be read.
TESS_EXPORT int64_t ParseDateHeader(const char* text, int toHandheldTime) noexcept;

}  // namespace tess::datamgr
