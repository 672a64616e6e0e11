#pragma once
// The mail product's values in the sync manager's per-user data store: the user-level
// switches, an account in its older per-user form, and the user's relay settings with
// its filters and security key.
#include <cstdint>
#include <string>

#include "common/message_filter.h"

namespace tess::accounts {

// Section names of the store.
inline constexpr const char* kSectionCurrent = "Tessaline";
inline constexpr const char* kSectionOlder = "Larkspur";
inline constexpr const char* kSectionRelay = "LarkspurRDC";
inline constexpr int kMaxRelayFilters = 11;

class CUserSettings {
public:
    virtual ~CUserSettings() = default;
    virtual void SetDefaults() = 0;
    int loaded = 0;
};

class CGeneralSettings : public CUserSettings {
public:
    CGeneralSettings() = default;
    // The section argument is not used: the values are read from "Tessaline", or from
    // "Larkspur" when the first has no accounts. 0 when neither has any.
    int Load(int userId, const char* section, int skipSyncKeys, int flags);
    // Always written to "Tessaline"; 1.
    int Save(int userId, const char* section, int skipSyncKeys, int flags);
    void SetDefaults() override;

    int32_t numberOfAccounts = 8;
    int32_t conduitVersion = 0;
    int32_t daysToSync = 0;
    int32_t syncInbox = 0;
    int32_t syncOutbox = 0;
    int32_t expires = 0;
    int32_t lastCreate = 0;
    int32_t version = 0;
    std::string serverName;
    int32_t enableLogging = 0;
    int32_t logInformational = 0;
    int32_t logDebug = 0;
};

class CAccountSettings : public CUserSettings {
public:
    // index is 0-based; the keys carry index + 1. version decides which keys exist.
    int Load(int userId, const char* section, int version, int index);
    int Save(int userId, const char* section, int version, int index);
    void SetDefaults() override;

    std::string accountName;
    int32_t active = 0;
    int32_t daysToSync = 0;
    int32_t syncInbox = 0;
    int32_t syncOutbox = 0;
    int32_t unreadOnly = 0;
    std::string dataFile;
    int32_t generateKey = 0;
    int32_t client = -1;
    int32_t messageSizeKb = 50;
    std::string hostName;
    std::string mapiProfile;
    std::string userAccount;
    std::string password;  // plain in memory, scrambled in the store
};

class CRelaySettings : public CUserSettings {
public:
    CRelaySettings() { SetDefaults(); }
    int Load(int userId, const char* section);
    int Save(int userId, const char* section);
    void SetDefaults() override;
    int AddFilter(int userId, const char* section, const MessageFilter* filter);
    void DeleteFilters(int userId, const char* section);
    // Takes at most 11 records; each in use goes to its slot with its name and value
    // cleaned. 1 when at least one was taken.
    int SetFilters(int count, const MessageFilter* const* filters);
    void SetSecurityKey(const std::string& keyRecord);

    int32_t account = -1;
    int32_t enterprise = 0;
    int32_t logDebug = 0;
    int32_t logInformational = 0;
    int32_t useFilters = 0;
    std::string networkName;
    int32_t attachments = 0;
    int32_t filtersChanged = 0;
    int32_t keyChanged = 0;
    int32_t filterCount = 0;
    MessageFilter filters[kMaxRelayFilters];
    std::string securityKey;  // the key record: form byte, then the key
};

// The stored form of a key record: its form byte becomes the character of code form x 50.
std::string EncodeStoredKey(const std::string& keyRecord);
std::string DecodeStoredKey(const std::string& stored);

// Removes every CR and LF and trims white space at both ends.
std::string CleanFilterText(std::string_view text);

}  // namespace tess::accounts
