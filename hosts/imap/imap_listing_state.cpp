#include "hosts/imap/imap_listing_state.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "platform/core/os.h"

namespace imap {
namespace {

// First line: magic, format, the length of what follows it and its checksum.
constexpr std::string_view kMagic = "tess-imap-listing";
// Format 1 had no days; it is still read (its days unknown).
constexpr int kFormat = 2;

std::string Hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// Reads an unsigned decimal number up to a separator; false past max or without digits.
template <typename T>
bool Take(std::string_view& rest, char separator, T& out) {
    const char* end = rest.data() + rest.size();
    auto [ptr, ec] = std::from_chars(rest.data(), end, out);
    if (ec != std::errc() || ptr == rest.data() || ptr == end || *ptr != separator) return false;
    rest.remove_prefix(static_cast<std::size_t>(ptr - rest.data()) + 1);
    return true;
}

}  // namespace

bool ListingState::AllDated() const {
    if (days.size() != messages.size()) return false;
    auto d = days.begin();
    for (auto m = messages.begin(); m != messages.end(); ++m, ++d)
        if (d->first != m->first) return false;
    return true;
}

bool ImapDay(std::string_view text, uint32_t& day) {
    static constexpr std::string_view kMonths = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);  // " 1-Feb-2026 ..."
    unsigned d = 0, y = 0;
    auto [afterDay, e1] = std::from_chars(text.data(), text.data() + text.size(), d);
    const std::size_t at = static_cast<std::size_t>(afterDay - text.data());
    if (e1 != std::errc() || at == 0 || at > 2 || d < 1 || d > 31 || text.size() < at + 6 || text[at] != '-' ||
        text[at + 4] != '-')
        return false;
    std::string month(text.substr(at + 1, 3));
    for (char& c : month) c = static_cast<char>(c | 0x20);
    const std::size_t m = kMonths.find(month);
    if (m == std::string_view::npos || m % 3 != 0) return false;
    const char* yearAt = text.data() + at + 5;
    const char* end = text.data() + text.size();
    auto [afterYear, e2] = std::from_chars(yearAt, end, y);
    if (e2 != std::errc() || afterYear - yearAt != 4 || y < 1970 || (afterYear != end && *afterYear != ' '))
        return false;
    // Days from civil: the year counted from March, so that February's length comes last.
    const unsigned month1 = static_cast<unsigned>(m / 3) + 1;
    const int yy = static_cast<int>(y) - (month1 <= 2 ? 1 : 0);
    const int era = yy / 400;
    const unsigned yoe = static_cast<unsigned>(yy - era * 400);
    const unsigned doy = (153 * (month1 > 2 ? month1 - 3 : month1 + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    day = static_cast<uint32_t>(era * 146097 + static_cast<int>(doe) - 719468);
    return true;
}

std::filesystem::path ListingStatePath(const std::filesystem::path& dir, const std::string& key) {
    return dir / ("imap-listing-" + Hex(platform::fnv1a(key)) + ".dat");
}

bool LoadListingState(const std::filesystem::path& file, const std::string& key, ListingState& state,
                      std::string& why) {
    state = ListingState{};
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        why = "no state kept";
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    const std::size_t eol = text.find('\n');
    std::string_view head = std::string_view(text).substr(0, eol == std::string::npos ? 0 : eol + 1);
    std::string_view body = eol == std::string::npos ? std::string_view() : std::string_view(text).substr(eol + 1);
    int format = 0;
    std::size_t length = 0;
    if (head.substr(0, kMagic.size()) != kMagic || head.size() <= kMagic.size() + 1 || head[kMagic.size()] != ' ') {
        why = "not a listing state file";
        return false;
    }
    head.remove_prefix(kMagic.size() + 1);
    if (!Take(head, ' ', format) || format < 1 || format > kFormat || !Take(head, ' ', length) || head.size() != 17 ||
        head.back() != '\n') {
        why = "unreadable first line";
        return false;
    }
    if (body.size() != length) {
        why = "length " + std::to_string(body.size()) + " where " + std::to_string(length) + " was written";
        return false;
    }
    if (Hex(platform::fnv1a(body)) != head.substr(0, 16)) {
        why = "checksum does not match";
        return false;
    }
    // The account and folder, then UIDVALIDITY, HIGHESTMODSEQ and the count, then one line
    // per message: its UID less the one before, its flags and (from format 2) its day, 0
    // when unknown.
    if (body.substr(0, key.size()) != key || body.size() <= key.size() || body[key.size()] != '\n') {
        why = "kept for another folder";
        return false;
    }
    body.remove_prefix(key.size() + 1);
    std::size_t count = 0;
    if (!Take(body, ' ', state.uidValidity) || !Take(body, ' ', state.highestModseq) || !Take(body, '\n', count) ||
        state.uidValidity == 0 || state.highestModseq == 0) {
        why = "unreadable folder values";
        return false;
    }
    uint64_t uid = 0;
    for (std::size_t i = 0; i < count; ++i) {
        uint32_t step = 0, day = 0;
        unsigned flags = 0;
        if (!Take(body, ' ', step) || !Take(body, format == 1 ? '\n' : ' ', flags) ||
            (format > 1 && !Take(body, '\n', day)) || step == 0 || flags > 3 || (uid += step) > UINT32_MAX) {
            why = "unreadable message " + std::to_string(i + 1);
            state = ListingState{};
            return false;
        }
        state.messages.emplace_hint(state.messages.end(), static_cast<uint32_t>(uid), static_cast<uint8_t>(flags));
        if (day != 0) state.days.emplace_hint(state.days.end(), static_cast<uint32_t>(uid), day);
    }
    if (!body.empty()) {
        why = "more messages than counted";
        state = ListingState{};
        return false;
    }
    return true;
}

bool SaveListingState(const std::filesystem::path& file, const std::string& key, const ListingState& state,
                      std::string& why) {
    if (key.find('\n') != std::string::npos) {
        why = "the folder name holds a line break";
        return false;
    }
    std::string body = key + '\n' + std::to_string(state.uidValidity) + ' ' + std::to_string(state.highestModseq) +
                       ' ' + std::to_string(state.messages.size()) + '\n';
    body.reserve(body.size() + state.messages.size() * 14);
    uint32_t last = 0;
    auto dated = state.days.begin();
    for (const auto& [uid, flags] : state.messages) {
        while (dated != state.days.end() && dated->first < uid) ++dated;
        body += std::to_string(uid - last);
        body += ' ';
        body += static_cast<char>('0' + (flags & 3));
        body += ' ';
        body += std::to_string(dated != state.days.end() && dated->first == uid ? dated->second : 0);
        body += '\n';
        last = uid;
    }
    const std::string text = std::string(kMagic) + ' ' + std::to_string(kFormat) + ' ' + std::to_string(body.size()) +
                             ' ' + Hex(platform::fnv1a(body)) + '\n' + body;
    return platform::replaceFile(file, text, ".new", why);
}

void DropListingState(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

}  // namespace imap
