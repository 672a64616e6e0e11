#pragma once
// The state of one folder's last complete listing, kept between syncs so that a server
// offering QRESYNC need only tell what changed since: the folder's UIDVALIDITY, its
// HIGHESTMODSEQ at that listing, and the UID and flags of every message it then held,
// with the day of its internal date where the server told it. With every day known, the
// date window of a listing (SINCE) is worked out here instead of searched for: a date
// never changes for a UID, and a search by date costs a large folder's server a look at
// every message.
//
// The engine deletes the handheld's copy of any message a listing leaves out, so a kept
// state is used only when it is provably the one written: the file carries its length
// and a checksum of its contents and the account and folder it belongs to, and the
// listing built from it must hold as many messages as the server says the folder does.
// A file is written whole under another name, synced and renamed over the old one, so a
// run stopped midway leaves the previous state or none, never a mix.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace imap {

struct ListingState {
    enum Flag : uint8_t { kSeen = 1, kDeleted = 2 };
    uint32_t uidValidity = 0;
    uint64_t highestModseq = 0;
    std::map<uint32_t, uint8_t> messages;  // UID -> Flag bits
    std::map<uint32_t, uint32_t> days;     // UID -> ImapDay of its INTERNALDATE, where known
    // Whether every message's day is known.
    bool AllDated() const;
    bool operator==(const ListingState&) const = default;
};

// The day (days since 1 January 1970) of an IMAP date, "1-Feb-2026", or of the date of an
// INTERNALDATE, "01-Feb-2026 10:00:00 +0100": its own calendar day, as SINCE compares
// it (time and zone disregarded); false for anything else.
bool ImapDay(std::string_view text, uint32_t& day);

// The file of the folder named by key (server, user and folder) in directory dir.
std::filesystem::path ListingStatePath(const std::filesystem::path& dir, const std::string& key);

// Reads the state kept for key; false, with the reason in why, when there is none or the
// file is not whole and its own (short, changed, another key's, numbers out of order).
bool LoadListingState(const std::filesystem::path& file, const std::string& key, ListingState& state, std::string& why);
// Writes the state for key atomically (temporary file, fsync, rename, directory fsync);
// false, with the reason in why, when it could not be written whole.
bool SaveListingState(const std::filesystem::path& file, const std::string& key, const ListingState& state,
                      std::string& why);
// Removes the kept state (a folder whose listing cannot be trusted any more).
void DropListingState(const std::filesystem::path& file);

}  // namespace imap
