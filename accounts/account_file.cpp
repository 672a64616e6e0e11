#include "accounts/account_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "accounts/block_fields.h"
#include "platform/core/os.h"

namespace tess::accounts {

using namespace layout;

uint8_t ScrambleByte(uint8_t b) {
    const uint8_t hi = b >> 4, lo = b & 0x0F;
    return uint8_t(((hi ^ lo) << 4) | hi);
}

uint8_t UnscrambleByte(uint8_t stored) {
    const uint8_t hi = stored >> 4, lo = stored & 0x0F;
    return uint8_t((lo << 4) | (lo ^ hi));
}

namespace {

template <uint8_t (*Map)(uint8_t)>
void mapField(std::span<uint8_t> block, TextField field) {
    if (field.width == 0 || field.offset > block.size() || field.width > block.size() - field.offset) return;
    auto text = block.subspan(field.offset, field.width);
    size_t i = 0;
    for (; i < text.size() && text[i] != 0; ++i) text[i] = Map(text[i]);
    if (i == text.size()) text[i - 1] = 0;
}

void appendLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A filter record's first word is where its class keeps its table; it is stored as 0.
void clearFilterWords(std::span<uint8_t> handheld) {
    ByteSpan b(handheld);
    for (int i = 0; i < kMaxFilters; ++i) b.putU32le(kFilters + size_t(i) * kFilterRecordSize, 0);
}

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

void ScrambleField(std::span<uint8_t> block, TextField field) { mapField<ScrambleByte>(block, field); }
void UnscrambleField(std::span<uint8_t> block, TextField field) { mapField<UnscrambleByte>(block, field); }

std::vector<uint8_t> EncodeAccountFile(const AccountFileImage& image) {
    auto head = image.head;
    ByteSpan(head).putU32le(kHeadPendingCount, uint32_t(image.tags.size()));
    auto desktop = image.desktop;
    for (auto f : kDesktopScrambled) ScrambleField(desktop, f);
    auto handheld = image.handheld;
    for (auto f : kHandheldScrambled) ScrambleField(handheld, f);
    clearFilterWords(handheld);

    std::vector<uint8_t> out;
    out.reserve(kHeadSize + kDesktopSize + kHandheldSize + 4 * image.tags.size());
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), desktop.begin(), desktop.end());
    out.insert(out.end(), handheld.begin(), handheld.end());
    for (uint32_t tag : image.tags) appendLe32(out, tag);
    return out;
}

void DecodeAccountFile(std::span<const uint8_t> bytes, AccountFileImage& image) {
    size_t pos = 0;
    auto take = [&](std::span<uint8_t> part) {
        const size_t n = std::min(part.size(), bytes.size() - pos);
        std::copy_n(bytes.begin() + pos, n, part.begin());
        pos += n;
    };
    take(image.head);
    take(image.desktop);
    take(image.handheld);
    for (auto f : kDesktopScrambled) UnscrambleField(image.desktop, f);
    for (auto f : kHandheldScrambled) UnscrambleField(image.handheld, f);
    clearFilterWords(image.handheld);

    // The count is believed only as far as the file really holds tags.
    const uint32_t stated = ByteView(image.head).u32le(kHeadPendingCount);
    const size_t present = (bytes.size() - pos) / 4;
    const size_t count = std::min<size_t>(stated, present);
    ByteView rest(bytes.subspan(pos));
    image.tags.clear();
    image.tags.reserve(count);
    for (size_t i = 0; i < count; ++i) image.tags.push_back(rest.u32le(4 * i));
    ByteSpan(image.head).putU32le(kHeadPendingCount, uint32_t(count));
}

namespace {

// Up to max bytes of the open file into out; false on a read error (errno set).
bool ReadUpTo(int fd, size_t max, std::vector<uint8_t>& out) {
    out.resize(max);
    size_t got = 0;
    while (got < max) {
        const ssize_t n = ::read(fd, out.data() + got, max - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += size_t(n);
    }
    out.resize(got);
    return true;
}

}  // namespace

FileResult ReadAccountFile(const std::filesystem::path& path, AccountFileImage& image, std::string* error) {
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) {
        if (error) *error = errnoText("open");
        return errno == ENOENT ? FileResult::missing : FileResult::failed;
    }
    std::vector<uint8_t> bytes;
    if (!ReadUpTo(f.fd, kMaxAccountFileSize, bytes)) {
        if (error) *error = errnoText("read");
        return FileResult::failed;
    }
    DecodeAccountFile(bytes, image);
    return FileResult::ok;
}

namespace {

// Whether the file holds exactly bytes: the accounts are saved at several points of every
// sync, mostly unchanged, and each replacement costs two disk flushes.
bool HoldsAlready(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<uint8_t> held;
    return f.fd >= 0 && ReadUpTo(f.fd, bytes.size() + 1, held) && held == bytes;
}

}  // namespace

FileResult WriteAccountFile(const std::filesystem::path& path, const AccountFileImage& image, std::string* error) {
    const std::vector<uint8_t> bytes = EncodeAccountFile(image);
    if (HoldsAlready(path, bytes)) return FileResult::ok;
    std::error_code ec;
    const char* step = "write";
    if (!platform::replaceFile(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, ".tmp", ec, &step)) {
        if (error) *error = std::string(step) + ": " + ec.message();
        return FileResult::failed;
    }
    return FileResult::ok;
}

}  // namespace tess::accounts
