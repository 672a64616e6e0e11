#pragma once
// The handheld's application preferences for one account (creator 'asc3'): the 180-byte
// big-endian account record, the 278-byte folder preference, text preferences and the
// filter records; and the 116-byte stored form of a MessageFilter.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "accounts/account_layout.h"
#include "common/message_filter.h"

namespace tess::accounts {

inline constexpr uint32_t kCreatorMail = 0x61736333;    // 'asc3'
inline constexpr uint32_t kCreatorSecond = 0x61736334;  // 'asc4'
inline constexpr size_t kAccountRecordSize = 180;
inline constexpr size_t kHandheldFilterSize = 105;  // the fields read from a handheld filter record
inline constexpr size_t kMaxPreferenceBytes = 63000;

using AccountRecord = std::array<uint8_t, kAccountRecordSize>;

constexpr int AccountRecordId(int account) { return account; }
constexpr int FolderPrefId(int account) { return account + 160; }
constexpr int TextPrefId(int account, int k) { return account * 19 + k; }
constexpr int FilterPrefId(int account, int i) { return 170 + 50 * account + i; }
inline constexpr int kNameText = 16;

// A fresh account record, as a new account gets it on the handheld.
AccountRecord FreshAccountRecord();
// Resets the fields that a freshly created account must start with; keeps the rest.
void ResetAccountRecord(std::span<uint8_t, kAccountRecordSize> record);
// Empties folder slots 5 to 15 and zeroes the leading word and byte 274.
void ClearFolderPreference(std::span<uint8_t, layout::kFolderPrefSize> pref);

// The 116-byte stored form; the leading word is always written as 0.
std::array<uint8_t, MessageFilter::kStoredSize> EncodeFilterRecord(const MessageFilter& filter);
// Reads a stored record; a short record leaves the missing fields 0 and every text is
// cut to its field with room for the terminator.
MessageFilter DecodeFilterRecord(std::span<const uint8_t> bytes);
// Reads a handheld filter record (id 170 + 50n + i) into a MessageFilter.
MessageFilter DecodeHandheldFilter(std::span<const uint8_t> bytes);

// Copies text into a fixed char field, cut to leave room for the terminator.
template <size_t N>
void CopyTextCut(char (&field)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.data(), n, field);
    std::fill(field + n, field + N, '\0');
}

// A pending change: which handheld value a tag writes.
struct PendingTag {
    enum Kind { none, text, switchByte, valueByte, word, sizeKb, folderName };
    Kind kind;
    size_t blockOffset;  // handheld account block
    size_t width;        // text field width in the block
    int target;          // text: k of the text id; record: byte offset in the account record
    bool sealed;         // the text is a password, sealed when a key is given
};
// The tag's entry, or kind none for tag 23 and unknown tags.
PendingTag LookUpPendingTag(uint32_t tag);
inline constexpr uint32_t kMaxPendingTag = 28;

}  // namespace tess::accounts
