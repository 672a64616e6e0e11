#pragma once
// MAPI profiles: each names a store backing, the SMTP server mail is submitted through,
// the user's identity and the entries of the global address list. Kept in
// <runtime root>/mapi/profiles.ini; tests may add in-memory profiles for this process.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/mapi/memory_backing.h"

namespace platform::mapi {

struct AddressEntry {
    std::string displayName;
    std::string addrType = "SMTP";     // "SMTP" or "EX"
    std::string address;               // the SMTP address, or the directory name for "EX"
    std::vector<std::string> proxies;  // "SMTP:a@b" (primary), "smtp:alias@b", "X400:..."
};

struct Profile {
    std::string name;
    bool isDefault = false;
    std::string password;  // empty: none asked
    std::string maildir;   // the Maildir++ tree of the store
    std::string smtpUrl;   // smtp://host:port
    std::string smtpUser, smtpPassword;
    AddressEntry identity;  // the user
    std::vector<AddressEntry> addressList;
};

TESS_EXPORT std::filesystem::path profilesFile();
TESS_EXPORT std::vector<Profile> loadProfiles();
// Adds or replaces the profile of that name; a default profile makes the others not default.
TESS_EXPORT bool saveProfile(const Profile& profile);
// A profile backed by memory, for this process only; found before the file's profiles.
TESS_EXPORT void registerMemoryProfile(const Profile& profile, std::shared_ptr<MemoryBacking> backing);
TESS_EXPORT void clearMemoryProfiles();

// All profiles, memory ones first; the backing of a memory profile when it is one.
std::vector<Profile> allProfiles();
std::shared_ptr<MemoryBacking> memoryBackingOf(const std::string& profileName);

}  // namespace platform::mapi
