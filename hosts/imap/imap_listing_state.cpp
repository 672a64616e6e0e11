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
constexpr int kFormat = 1;

uint64_t Fnv1a(std::string_view bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

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

std::filesystem::path ListingStatePath(const std::filesystem::path& dir, const std::string& key) {
    return dir / ("imap-listing-" + Hex(Fnv1a(key)) + ".dat");
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
    if (!Take(head, ' ', format) || format != kFormat || !Take(head, ' ', length) || head.size() != 17 ||
        head.back() != '\n') {
        why = "unreadable first line";
        return false;
    }
    if (body.size() != length) {
        why = "length " + std::to_string(body.size()) + " where " + std::to_string(length) + " was written";
        return false;
    }
    if (Hex(Fnv1a(body)) != head.substr(0, 16)) {
        why = "checksum does not match";
        return false;
    }
    // The account and folder, then UIDVALIDITY, HIGHESTMODSEQ and the count, then one line
    // per message: its UID less the one before, and its flags.
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
        uint32_t step = 0;
        unsigned flags = 0;
        if (!Take(body, ' ', step) || !Take(body, '\n', flags) || step == 0 || flags > 3 ||
            (uid += step) > UINT32_MAX) {
            why = "unreadable message " + std::to_string(i + 1);
            state = ListingState{};
            return false;
        }
        state.messages.emplace_hint(state.messages.end(), static_cast<uint32_t>(uid), static_cast<uint8_t>(flags));
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
    body.reserve(body.size() + state.messages.size() * 8);
    uint32_t last = 0;
    for (const auto& [uid, flags] : state.messages) {
        body += std::to_string(uid - last);
        body += ' ';
        body += static_cast<char>('0' + (flags & 3));
        body += '\n';
        last = uid;
    }
    const std::string text = std::string(kMagic) + ' ' + std::to_string(kFormat) + ' ' + std::to_string(body.size()) +
                             ' ' + Hex(Fnv1a(body)) + '\n' + body;
    std::error_code ec;
    const char* step = "write";
    if (!platform::replaceFile(file, text, ".new", ec, &step)) {
        why = std::string("cannot ") + step + " " + file.string() + ".new: " + ec.message();
        return false;
    }
    return true;
}

void DropListingState(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

}  // namespace imap
