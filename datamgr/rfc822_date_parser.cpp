#include "datamgr/ledgerly_date.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/handheld_time.h"
#include "common/text_case.h"
#include "datamgr/ledgerly.h"

namespace tess::datamgr {
namespace {

const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
const char* const kMonthNames[] = {"january", "february", "march",     "april",   "may",      "june",
                                   "july",    "august",   "september", "october", "november", "december"};

struct ZoneName {
    const char* name;
    int minutes;
};
const ZoneName kZones[] = {
    {"ut", 0},        {"utc", 0},       {"gmt", 0},       {"z", 0},         {"est", -5 * 60},
    {"edt", -4 * 60}, {"cst", -6 * 60}, {"cdt", -5 * 60}, {"mst", -7 * 60}, {"mdt", -6 * 60},
    {"pst", -8 * 60}, {"pdt", -7 * 60}, {"ast", -4 * 60}, {"adt", -3 * 60},
};

using tess::Lower;

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A bounded number of digits as a value; -1 when not all digits or too long.
int Number(std::string_view s, size_t maxDigits) {
    if (!AllDigits(s) || s.size() > maxDigits) return -1;
    int v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

std::vector<std::string> Tokens(const char* text) {
    std::vector<std::string> out;
    std::string cur;
    // Line breaks end a folded line, tabs and commas separate like blanks; a comment
    // in parentheses is not part of the date.
    int depth = 0;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        if (c == '(') ++depth;
        if (depth > 0) {
            if (c == ')') --depth;
            if (!cur.empty()) out.push_back(cur), cur.clear();
            continue;
        }
        if (c == '\r' || c == '\n') continue;
        if (c == ' ' || c == '\t' || c == ',') {
            if (!cur.empty()) out.push_back(cur), cur.clear();
            continue;
        }
        cur += c;
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

enum class Zone { Known, Unknown, Bad };

// Zone in minutes east of UTC. A sign and up to four digits is hhmm ("+530" is
// +05:30); an offset of a day or more, or 60 minutes or more, is refused rather than
// taken as local time. An unknown zone name means local time.
Zone ReadZone(const std::string& token, int& minutes) {
    if (token[0] == '+' || token[0] == '-') {
        const int hhmm = Number(std::string_view(token).substr(1), 4);
        if (hhmm < 0) return Zone::Unknown;
        if (hhmm / 100 > 23 || hhmm % 100 > 59) return Zone::Bad;
        minutes = (token[0] == '-' ? -1 : 1) * (hhmm / 100 * 60 + hhmm % 100);
        return Zone::Known;
    }
    const std::string name = Lower(token);
    for (const ZoneName& z : kZones)
        if (name == z.name) return minutes = z.minutes, Zone::Known;
    if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0]))) return minutes = 0, Zone::Known;
    return Zone::Unknown;
}

}  // namespace

int ParseDateHeaderChecked(const char* text, int toHandheldTime, int64_t* out) noexcept {
    if (!out) return static_cast<int>(LDG_E_INVALID_PARAMETER);
    if (!text || !*text) {
        *out = 0;
        return 0;
    }
    const int kBad = static_cast<int>(LDG_E_DATE_NOT_GMT);
    try {
        auto monthOf = [](const std::string& token) {
            const std::string mon = Lower(token);
            for (int m = 0; m < 12; ++m)
                if (mon == kMonths[m] || mon == kMonthNames[m]) return m + 1;
            return 0;
        };
        std::vector<std::string> t = Tokens(text);
        size_t i = 0;
        if (i < t.size() && !AllDigits(t[i]) && monthOf(t[i]) == 0) ++i;  // a day name
        if (t.size() < i + 4) return kBad;

        // Some writers put the month first ("Dec 9 2026").
        if (monthOf(t[i + 1]) == 0 && monthOf(t[i]) != 0) std::swap(t[i], t[i + 1]);
        const int day = Number(t[i], 2);
        const int month = monthOf(t[i + 1]);
        int year = Number(t[i + 2], 4);
        if (year >= 0 && t[i + 2].size() <= 2)
            year += year < 50 ? 2000 : 1900;
        else if (year >= 0 && t[i + 2].size() == 3)
            year += 1900;
        if (month == 0 || year < 1900 || day < 1 || day > DaysInMonth(month, year)) return kBad;

        // hh:mm or hh:mm:ss
        const std::string& clock = t[i + 3];
        const size_t c1 = clock.find(':');
        const size_t c2 = c1 == std::string::npos ? c1 : clock.find(':', c1 + 1);
        if (c1 == std::string::npos) return kBad;
        const int hh = Number(std::string_view(clock).substr(0, c1), 2);
        const int mi = Number(
            std::string_view(clock).substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), 2);
        const int ss = c2 == std::string::npos ? 0 : Number(std::string_view(clock).substr(c2 + 1), 2);
        if (hh < 0 || hh > 23 || mi < 0 || mi > 59 || ss < 0 || ss > 60) return kBad;

        const int64_t wall = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                             hh * 3600 + mi * 60 + ss;
        int zone = 0;
        const Zone kind = i + 4 < t.size() ? ReadZone(t[i + 4], zone) : Zone::Unknown;
        if (kind == Zone::Bad) return kBad;
        const bool zoned = kind == Zone::Known;
        int64_t value = zoned ? wall - int64_t(zone) * 60 : ToLocalOrUtc(wall, false);
        if (toHandheldTime) value += kHandheldEpochOffset;
        *out = value;
        return 0;
    } catch (...) {
        // Nothing above should throw; a failure to allocate costs this date only.
        return kBad;
    }
}

int64_t ParseDateHeader(const char* text, int toHandheldTime) noexcept {
    int64_t v = 0;
    return ParseDateHeaderChecked(text, toHandheldTime, &v) == 0 ? v : 0;
}

}  // namespace tess::datamgr
