#pragma once
// The account file acc%d.dat as bytes: encoding, bounded decoding, and writing it so
// that a failure never leaves a half-written file behind.
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "accounts/account_layout.h"

namespace tess::accounts {

// Texts in memory are plain; the file holds the scrambled form of the listed fields.
struct AccountFileImage {
    std::array<uint8_t, layout::kHeadSize> head{};
    std::array<uint8_t, layout::kDesktopSize> desktop{};
    std::array<uint8_t, layout::kHandheldSize> handheld{};
    std::vector<uint32_t> tags;  // pending change tags, oldest first
};

uint8_t ScrambleByte(uint8_t b);
uint8_t UnscrambleByte(uint8_t stored);
// Scrambles or unscrambles one text field in place, up to its NUL. A field without a
// terminator is cut so that its last byte becomes the terminator.
void ScrambleField(std::span<uint8_t> block, layout::TextField field);
void UnscrambleField(std::span<uint8_t> block, layout::TextField field);

// The bytes of the file. The pending count in the head is written as the tag count so
// that the two always agree.
std::vector<uint8_t> EncodeAccountFile(const AccountFileImage& image);

// Reads the bytes over `image`, which holds the defaults. A file that ends early keeps
// the defaults for what it lacks; the pending count is bounded by the tags the file
// really holds and is set to the number read.
void DecodeAccountFile(std::span<const uint8_t> bytes, AccountFileImage& image);

enum class FileResult { ok, missing, failed };

// The largest file that is read: the fixed parts and a generous tag list.
inline constexpr size_t kMaxAccountFileSize =
    layout::kHeadSize + layout::kDesktopSize + layout::kHandheldSize + 4 * 65536;

FileResult ReadAccountFile(const std::filesystem::path& path, AccountFileImage& image, std::string* error);
// Writes to a temporary file beside the target and renames it over the target.
FileResult WriteAccountFile(const std::filesystem::path& path, const AccountFileImage& image, std::string* error);

}  // namespace tess::accounts
