// Time-zone rules read from the tz database's compiled files (TZif, RFC 8536): the table of
// transitions, then the POSIX TZ rule of the file's footer for instants past the table.
// Parsed here rather than through TZ= and localtime_r so that no process-wide state moves.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/core/os.h"

namespace platform {

namespace {

constexpr int64_t kDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool isLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

ZoneDate toZoneDate(int64_t localSeconds) {
    const int64_t days = floorDiv(localSeconds, kDay);
    const int64_t secs = localSeconds - days * kDay;
    int64_t y;
    ZoneDate out;
    civilFromDays(days, y, out.month, out.day);
    out.year = static_cast<int>(y);
    out.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    out.hour = static_cast<int>(secs / 3600);
    out.minute = static_cast<int>(secs / 60 % 60);
    out.second = static_cast<int>(secs % 60);
    return out;
}

struct LocalType {
    int32_t offset = 0;
    bool dst = false;
    std::string abbreviation;
};

// A POSIX TZ rule: "CET-1CEST,M3.5.0,M10.5.0/3". A rule without a daylight part is a
// fixed offset.
struct PosixRule {
    LocalType standard;
    LocalType daylight;
    bool hasDaylight = false;
    struct When {
        char kind = 'M';  // 'J': Julian day 1-365 without Feb 29; 'D': day 0-365; 'M': month.week.day
        int a = 0, b = 0, c = 0;
        int32_t time = 7200;  // local seconds after midnight, may be negative or past 24 h
    } start, end;
};

class RuleParser {
public:
    explicit RuleParser(std::string_view s) : s_(s) {}

    bool parse(PosixRule& r) {
        if (!name(r.standard.abbreviation) || !offset(r.standard.offset)) return false;
        r.standard.offset = -r.standard.offset;  // POSIX counts west as positive
        if (done()) return true;
        if (!name(r.daylight.abbreviation)) return false;
        r.hasDaylight = true;
        r.daylight.dst = true;
        r.daylight.offset = r.standard.offset + 3600;
        if (!done() && peek() != ',') {
            int32_t off;
            if (!offset(off)) return false;
            r.daylight.offset = -off;
        }
        if (done()) {
            // No rule given: the customary US rule.
            r.start = {'M', 3, 2, 0, 7200};
            r.end = {'M', 11, 1, 0, 7200};
            return true;
        }
        return eat(',') && when(r.start) && eat(',') && when(r.end) && done();
    }

private:
    bool done() const { return pos_ >= s_.size(); }
    char peek() const { return done() ? '\0' : s_[pos_]; }
    bool eat(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    bool number(int& out, int max) {
        const size_t begin = pos_;
        out = 0;
        while (!done() && peek() >= '0' && peek() <= '9' && pos_ - begin < 4) out = out * 10 + (s_[pos_++] - '0');
        return pos_ > begin && out <= max;
    }
    bool name(std::string& out) {
        const size_t begin = pos_;
        if (eat('<')) {
            while (!done() && peek() != '>') ++pos_;
            out = std::string(s_.substr(begin + 1, pos_ - begin - 1));
            return eat('>') && !out.empty();
        }
        while (!done() && ((peek() >= 'A' && peek() <= 'Z') || (peek() >= 'a' && peek() <= 'z'))) ++pos_;
        out = std::string(s_.substr(begin, pos_ - begin));
        return out.size() >= 3;
    }
    // [+-]hh[:mm[:ss]], hours up to 167 (the rule's times may pass a day).
    bool offset(int32_t& out) {
        int sign = 1;
        if (eat('-'))
            sign = -1;
        else
            eat('+');
        int h, m = 0, sec = 0;
        if (!number(h, 167)) return false;
        if (eat(':')) {
            if (!number(m, 59)) return false;
            if (eat(':') && !number(sec, 59)) return false;
        }
        out = sign * (h * 3600 + m * 60 + sec);
        return true;
    }
    bool when(PosixRule::When& w) {
        if (eat('M')) {
            w.kind = 'M';
            if (!number(w.a, 12) || w.a < 1 || !eat('.') || !number(w.b, 5) || w.b < 1 || !eat('.') || !number(w.c, 6))
                return false;
        } else if (eat('J')) {
            w.kind = 'J';
            if (!number(w.a, 365) || w.a < 1) return false;
        } else {
            w.kind = 'D';
            if (!number(w.a, 365)) return false;
        }
        w.time = 7200;
        if (eat('/')) return offset(w.time);
        return true;
    }

    std::string_view s_;
    size_t pos_ = 0;
};

// Local midnight (as seconds since the epoch in local reckoning) of the rule's day in `year`.
int64_t ruleDay(const PosixRule::When& w, int64_t year) {
    if (w.kind == 'J') {
        int64_t day = w.a - 1;
        if (isLeap(year) && w.a >= 60) ++day;  // Feb 29 is never counted
        return (daysFromCivil(year, 1, 1) + day) * kDay;
    }
    if (w.kind == 'D') return (daysFromCivil(year, 1, 1) + w.a) * kDay;
    const int64_t first = daysFromCivil(year, w.a, 1);
    const int firstDow = static_cast<int>(((first % 7) + 11) % 7);
    int64_t day = first + (w.c - firstDow + 7) % 7 + (w.b - 1) * 7;
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int len = kMonthDays[w.a - 1] + (w.a == 2 && isLeap(year));
    while (day >= first + len) day -= 7;  // week 5 means the last such day
    return day * kDay;
}

struct Transition {
    int64_t at;  // UTC seconds
    LocalType before;
    LocalType after;
};

class Zone {
public:
    bool load(std::string_view name) {
        std::string path;
        if (name.empty()) {
            const char* tz = std::getenv("TZ");
            if (tz && *tz) {
                std::string_view v(tz);
                if (v.front() == ':') v.remove_prefix(1);
                if (!v.empty() && v.front() == '/')
                    path = std::string(v);
                else if (validName(v))
                    path = "/usr/share/zoneinfo/" + std::string(v);
                // Not a file: a POSIX rule such as "EST5EDT,M3.2.0,M11.1.0".
                if (path.empty() || !readFile(path)) return parseFooter(std::string(v));
                return true;
            }
            path = "/etc/localtime";
        } else {
            if (!validName(name)) return false;
            path = "/usr/share/zoneinfo/" + std::string(name);
        }
        return readFile(path);
    }

    LocalType at(int64_t t) const {
        if (!times_.empty() && t < times_.back()) {
            if (t < times_.front()) return types_[0];
            const auto it = std::upper_bound(times_.begin(), times_.end(), t);
            return types_[indices_[static_cast<size_t>(it - times_.begin()) - 1]];
        }
        if (hasRule_) {
            const auto rule = ruleTransitions(yearOf(t) - 1, yearOf(t) + 1);
            LocalType current = rule.empty() ? rule_.standard : rule.front().before;
            for (const auto& tr : rule)
                if (tr.at <= t) current = tr.after;
            return current;
        }
        if (!times_.empty()) return types_[indices_.back()];
        return types_.empty() ? LocalType{0, false, "UTC"} : types_[0];
    }

    // Every change of offset or daylight flag whose local time (before it) falls in `year`.
    std::vector<Transition> transitionsOf(int64_t year) const {
        const int64_t from = (daysFromCivil(year, 1, 1) - 2) * kDay;
        const int64_t to = (daysFromCivil(year + 1, 1, 1) + 2) * kDay;
        std::vector<Transition> all;
        for (size_t i = 0; i < times_.size(); ++i) {
            if (times_[i] < from || times_[i] > to) continue;
            all.push_back({times_[i], at(times_[i] - 1), types_[indices_[i]]});
        }
        if (hasRule_) {
            for (const auto& tr : ruleTransitions(year - 1, year + 1))
                if ((times_.empty() || tr.at > times_.back()) && tr.at >= from && tr.at <= to) all.push_back(tr);
        }
        std::vector<Transition> out;
        for (const auto& tr : all) {
            if (tr.before.offset == tr.after.offset && tr.before.dst == tr.after.dst) continue;
            if (yearOf(tr.at + tr.before.offset) == year) out.push_back(tr);
        }
        return out;
    }

private:
    static bool validName(std::string_view n) {
        if (n.empty() || n.size() > 255 || n.front() == '/') return false;
        size_t start = 0;
        while (start <= n.size()) {
            const size_t slash = std::min(n.find('/', start), n.size());
            const std::string_view part = n.substr(start, slash - start);
            if (part.empty() || part == "." || part == "..") return false;
            start = slash + 1;
        }
        return n.find_first_of(std::string_view("\0\\", 2)) == std::string_view::npos;
    }

    static int64_t yearOf(int64_t t) {
        int64_t y;
        int m, d;
        civilFromDays(floorDiv(t, kDay), y, m, d);
        return y;
    }

    std::vector<Transition> ruleTransitions(int64_t firstYear, int64_t lastYear) const {
        std::vector<Transition> out;
        if (!rule_.hasDaylight) return out;
        for (int64_t y = firstYear; y <= lastYear; ++y) {
            // Each change is given in the local time in force before it.
            const int64_t start = ruleDay(rule_.start, y) + rule_.start.time - rule_.standard.offset;
            const int64_t end = ruleDay(rule_.end, y) + rule_.end.time - rule_.daylight.offset;
            out.push_back({start, rule_.standard, rule_.daylight});
            out.push_back({end, rule_.daylight, rule_.standard});
        }
        std::sort(out.begin(), out.end(), [](const Transition& a, const Transition& b) { return a.at < b.at; });
        return out;
    }

    bool parseFooter(const std::string& text) {
        PosixRule r;
        if (!RuleParser(text).parse(r)) return false;
        rule_ = r;
        hasRule_ = true;
        if (types_.empty()) types_.push_back(r.standard);
        return true;
    }

    // Bounded big-endian reader over the file's bytes.
    struct Reader {
        const std::string& b;
        size_t pos = 0;
        bool ok = true;
        uint64_t take(size_t n) {
            if (!ok || b.size() - pos < n) {
                ok = false;
                return 0;
            }
            uint64_t v = 0;
            for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(b[pos++]);
            return v;
        }
        void skip(uint64_t n) {
            if (!ok || b.size() - pos < n)
                ok = false;
            else
                pos += n;
        }
    };

    // Reads and parses a compiled zone file. Parsed zones are kept per path and reused while
    // the file's identity, size and time stamp stay the same.
    bool readFile(const std::string& path) {
        constexpr off_t kMaxFile = 1 << 20;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return false;
        struct stat st {};
        std::string bytes;
        bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFile;
        const Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
        if (ok) {
            std::lock_guard lock(cacheMutex());
            if (auto it = cache().find(path); it != cache().end() && it->second.first == stamp) {
                *this = it->second.second;
                ::close(fd);
                return true;
            }
        }
        if (ok) {
            bytes.resize(static_cast<size_t>(st.st_size));
            size_t got = 0;
            while (got < bytes.size()) {
                const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            bytes.resize(got);
        }
        ::close(fd);
        if (!ok || !parse(bytes)) return false;
        std::lock_guard lock(cacheMutex());
        if (cache().size() >= 64) cache().clear();
        cache()[path] = {stamp, *this};
        return true;
    }

    struct Stamp {
        dev_t dev;
        ino_t ino;
        off_t size;
        time_t sec;
        long nsec;
        bool operator==(const Stamp&) const = default;
    };
    static std::mutex& cacheMutex() {
        static std::mutex m;
        return m;
    }
    static std::map<std::string, std::pair<Stamp, Zone>>& cache() {
        static std::map<std::string, std::pair<Stamp, Zone>> c;
        return c;
    }

    bool parse(const std::string& bytes) {
        Reader r{bytes};
        auto header = [&](uint64_t c[6], char& version) {
            if (r.take(4) != 0x545A6966) return false;  // "TZif"
            version = static_cast<char>(r.take(1));
            r.skip(15);
            for (int i = 0; i < 6; ++i) c[i] = r.take(4);  // isut, isstd, leap, time, type, char
            return r.ok && c[4] > 0 && c[4] <= 256 && c[3] <= 100000 && c[5] <= 10000 && c[2] <= 10000;
        };
        uint64_t c[6];
        char version;
        if (!header(c, version)) return false;
        size_t timeSize = 4;
        if (version >= '2') {
            // Skip the 32-bit block; the 64-bit one follows with its own header.
            r.skip(c[3] * 5 + c[4] * 6 + c[5] + c[2] * 8 + c[1] + c[0]);
            if (!header(c, version)) return false;
            timeSize = 8;
        }
        const uint64_t timeCount = c[3], typeCount = c[4], charCount = c[5];
        times_.clear();
        indices_.clear();
        types_.clear();
        for (uint64_t i = 0; i < timeCount; ++i) {
            const uint64_t raw = r.take(timeSize);
            times_.push_back(timeSize == 8 ? static_cast<int64_t>(raw) : static_cast<int32_t>(raw));
        }
        for (uint64_t i = 0; i < timeCount; ++i) indices_.push_back(static_cast<uint8_t>(r.take(1)));
        std::vector<uint8_t> abbrIndex;
        for (uint64_t i = 0; i < typeCount; ++i) {
            LocalType t;
            t.offset = static_cast<int32_t>(r.take(4));
            t.dst = r.take(1) != 0;
            abbrIndex.push_back(static_cast<uint8_t>(r.take(1)));
            types_.push_back(t);
        }
        if (!r.ok || r.b.size() - r.pos < charCount) return false;
        const std::string chars = bytes.substr(r.pos, charCount);
        r.skip(charCount);
        for (uint64_t i = 0; i < typeCount; ++i) {
            if (abbrIndex[i] >= charCount) return false;
            types_[i].abbreviation = chars.substr(abbrIndex[i], chars.find('\0', abbrIndex[i]) - abbrIndex[i]);
            if (types_[i].offset < -26 * 3600 || types_[i].offset > 26 * 3600) return false;
        }
        for (uint8_t idx : indices_)
            if (idx >= typeCount) return false;
        if (!std::is_sorted(times_.begin(), times_.end())) return false;
        r.skip(c[2] * (timeSize + 4) + c[1] + c[0]);
        if (!r.ok) return false;
        if (version >= '2' && r.take(1) == '\n') {
            const size_t end = bytes.find('\n', r.pos);
            if (end != std::string::npos && end > r.pos) {
                // A footer we cannot read leaves the table alone in charge.
                PosixRule rule;
                if (RuleParser(std::string_view(bytes).substr(r.pos, end - r.pos)).parse(rule)) {
                    rule_ = rule;
                    hasRule_ = true;
                }
            }
        }
        return true;
    }

    std::vector<int64_t> times_;
    std::vector<uint8_t> indices_;
    std::vector<LocalType> types_;
    PosixRule rule_;
    bool hasRule_ = false;
};

std::shared_ptr<const Zone> loadZone(std::string_view name, std::error_code& ec) {
    ec.clear();
    // The local zone is asked for several times for every message a sync dates: it is
    // kept, for the same TZ, and the file looked at again at most once a second.
    struct Local {
        std::mutex mutex;
        std::shared_ptr<const Zone> zone;
        std::optional<std::string> tz;
        std::chrono::steady_clock::time_point at;
    };
    static Local local;
    const char* tzValue = name.empty() ? std::getenv("TZ") : nullptr;
    const std::optional<std::string> tz = tzValue ? std::optional<std::string>(tzValue) : std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    if (name.empty()) {
        std::lock_guard lock(local.mutex);
        if (local.zone && local.tz == tz && now - local.at < std::chrono::seconds(1)) return local.zone;
    }
    auto zone = std::make_shared<Zone>();
    if (!zone->load(name)) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return nullptr;
    }
    if (name.empty()) {
        std::lock_guard lock(local.mutex);
        local.zone = zone;
        local.tz = tz;
        local.at = now;
    }
    return zone;
}

}  // namespace

std::optional<ZoneOffset> zoneOffsetAt(std::string_view name, int64_t utcSeconds, std::error_code& ec) {
    const auto zone = loadZone(name, ec);
    if (!zone) return std::nullopt;
    // Some 250,000 years either way; beyond, the date arithmetic would leave 64 bits.
    constexpr int64_t kLimit = 8'000'000'000'000;
    utcSeconds = std::clamp(utcSeconds, -kLimit, kLimit);
    const LocalType t = zone->at(utcSeconds);
    return ZoneOffset{t.offset, t.dst, t.abbreviation};
}

std::optional<TimeZoneInfo> timeZoneInfo(std::string_view name, int year, std::error_code& ec) {
    if (year < -200000 || year > 200000) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    const auto zone = loadZone(name, ec);
    if (!zone) return std::nullopt;
    TimeZoneInfo info;
    const auto transitions = zone->transitionsOf(year);
    // Standard time: what is in force at the end of the year, or, when the year ends in
    // daylight time (southern zones), what daylight time replaced.
    LocalType standard = zone->at(daysFromCivil(year, 12, 31) * kDay);
    LocalType daylight;
    const Transition* toDaylight = nullptr;
    const Transition* toStandard = nullptr;
    for (const auto& tr : transitions) {
        if (!tr.before.dst && tr.after.dst) toDaylight = &tr;
        if (tr.before.dst && !tr.after.dst) toStandard = &tr;
    }
    if (standard.dst) standard = toDaylight ? toDaylight->before : toStandard ? toStandard->after : standard;
    info.bias = -standard.offset / 60;
    info.standardName = standard.abbreviation;
    if (toDaylight && toStandard) {
        daylight = toDaylight->after;
        info.hasDaylight = true;
        info.daylightBias = -(daylight.offset - standard.offset) / 60;
        info.daylightName = daylight.abbreviation;
        info.daylightDate = toZoneDate(toDaylight->at + toDaylight->before.offset);
        info.standardDate = toZoneDate(toStandard->at + toStandard->before.offset);
    }
    return info;
}

}  // namespace platform
