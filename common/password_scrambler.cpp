#include "common/password_scrambler.h"

#include <cstdint>
#include <cstdio>

namespace tess {
namespace {

constexpr uint32_t kSeed = 58214;
constexpr int kPositions[32] = {7,  19, 2, 30, 14, 25, 0,  11, 28, 5,  22, 17, 9,  31, 3,  26,
                                12, 20, 1, 15, 29, 6,  24, 10, 18, 27, 4,  13, 23, 8,  21, 16};

// The runtime library generator the stored form was made with.
class Generator {
public:
    explicit Generator(uint32_t seed) : state_(seed) {}
    uint32_t Next() {
        state_ = state_ * 214013u + 2531011u;
        return (state_ >> 16) & 0x7FFF;
    }

private:
    uint32_t state_;
};

}  // namespace

std::string ScramblePassword(const std::string& text) {
    if (text.empty()) return {};
    uint8_t in[32] = {};
    for (size_t i = 0; i < 32 && i < text.size(); ++i) in[i] = static_cast<uint8_t>(text[i]);
    uint8_t out[32] = {};
    Generator g(kSeed);
    for (int j = 0; j < 32; ++j) out[kPositions[j]] = static_cast<uint8_t>(((in[j] ^ g.Next()) + 1) & 0xFF);
    std::string stored;
    char group[8];
    for (uint8_t b : out) {
        std::snprintf(group, sizeof group, "#%d", b);
        stored += group;
    }
    return stored;
}

std::string UnscramblePassword(const std::string& stored) {
    if (stored.empty() || stored[0] != '#') return {};
    uint8_t a[32] = {};
    size_t pos = 1;
    for (int i = 0; i < 32 && pos <= stored.size(); ++i) {
        unsigned v = 0;
        size_t digits = 0;
        while (pos < stored.size() && stored[pos] >= '0' && stored[pos] <= '9' && digits < 4) {
            v = v * 10 + static_cast<unsigned>(stored[pos] - '0');
            ++pos, ++digits;
        }
        a[i] = static_cast<uint8_t>(v);
        const size_t next = stored.find('#', pos);
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    std::string text;
    Generator g(kSeed);
    for (int i = 0; i < 32; ++i) {
        const uint8_t b = static_cast<uint8_t>(((a[kPositions[i]] - 1) ^ g.Next()) & 0xFF);
        if (b == 0) break;
        text += static_cast<char>(b);
    }
    return text;
}

}  // namespace tess
