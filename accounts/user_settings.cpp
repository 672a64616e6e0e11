#include "accounts/user_settings.h"

#include <algorithm>
#include <cstring>

#include "common/password_scrambler.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::accounts {

namespace {

constexpr int kTextBuffer = 256;

std::string readText(int user, const char* section, const std::string& key) {
    char buffer[kTextBuffer] = {};
    int size = sizeof buffer;
    RosterReadText(user, section, key.c_str(), buffer, &size, "");
    buffer[kTextBuffer - 1] = 0;
    return buffer;
}
int32_t readInt(int user, const char* section, const std::string& key, int32_t defaultValue) {
    int value = defaultValue;
    if (RosterReadInt(user, section, key.c_str(), &value, defaultValue) != 0) value = defaultValue;
    return value;
}
void writeText(int user, const char* section, const std::string& key, const std::string& text) {
    RosterWriteText(user, section, key.c_str(), text.c_str());
}
void writeInt(int user, const char* section, const std::string& key, int32_t value) {
    RosterWriteInt(user, section, key.c_str(), value);
}
std::string numbered(const char* key, int n) { return key + std::to_string(n); }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

template <size_t N>
void copyCut(char (&field)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

// The stored filter count, held to the records a user can have.
int32_t storedFilterCount(int user, const char* section) {
    return std::clamp(readInt(user, section, "Filter Count", 0), 0, kMaxRelayFilters);
}

}  // namespace

std::string CleanFilterText(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n') out.push_back(c);
    size_t first = 0, last = out.size();
    while (first < last && isBlank(out[first])) ++first;
    while (last > first && isBlank(out[last - 1])) --last;
    return out.substr(first, last - first);
}

std::string EncodeStoredKey(const std::string& keyRecord) {
    if (keyRecord.empty()) return {};
    return char(uint8_t(keyRecord[0]) * 50) + keyRecord.substr(1);
}

std::string DecodeStoredKey(const std::string& stored) {
    if (stored.empty()) return {};
    return char(uint8_t(stored[0]) / 50) + stored.substr(1);
}

// ---- CGeneralSettings ------------------------------------------------------------------

void CGeneralSettings::SetDefaults() {
    numberOfAccounts = 8;
    conduitVersion = 517;
    daysToSync = 4;
    syncInbox = 1;
    syncOutbox = 1;
    expires = 32798;
    lastCreate = 0;
    version = 0;
    serverName.clear();
    enableLogging = logInformational = logDebug = 0;
}

int CGeneralSettings::Load(int userId, const char*, int skipSyncKeys, int) {
    const char* section = kSectionCurrent;
    numberOfAccounts = readInt(userId, section, "Number Of Accounts", 0);
    if (numberOfAccounts == 0) {
        section = kSectionOlder;
        numberOfAccounts = readInt(userId, section, "Number Of Accounts", 0);
        if (numberOfAccounts == 0) return 0;
    }
    conduitVersion = readInt(userId, section, "ConduitVersion", 0);
    if (!skipSyncKeys) {
        daysToSync = readInt(userId, section, "Number Of Days To Sync", 0);
        syncInbox = readInt(userId, section, "Sync Inbox", 0);
        syncOutbox = readInt(userId, section, "Sync Outbox", 0);
    }
    expires = readInt(userId, section, "Expires", 0);
    lastCreate = readInt(userId, section, "LastCreate", 0);
    version = readInt(userId, section, "Version", 0);
    serverName = readText(userId, section, "MServ");
    enableLogging = readInt(userId, section, "Enable Logging", 0);
    logInformational = readInt(userId, section, "Log Informational", 0);
    logDebug = readInt(userId, section, "Log Debug", 0);
    loaded = 1;
    return 1;
}

int CGeneralSettings::Save(int userId, const char*, int skipSyncKeys, int) {
    const char* section = kSectionCurrent;
    writeInt(userId, section, "ConduitVersion", conduitVersion);
    writeInt(userId, section, "Number Of Accounts", numberOfAccounts);
    if (!skipSyncKeys) {
        writeInt(userId, section, "Number Of Days To Sync", daysToSync);
        writeInt(userId, section, "Sync Inbox", syncInbox);
        writeInt(userId, section, "Sync Outbox", syncOutbox);
    }
    writeInt(userId, section, "Expires", expires);
    writeInt(userId, section, "LastCreate", lastCreate);
    writeInt(userId, section, "Version", version);
    writeText(userId, section, "MServ", serverName);
    writeInt(userId, section, "Enable Logging", enableLogging);
    writeInt(userId, section, "Log Informational", logInformational);
    writeInt(userId, section, "Log Debug", logDebug);
    return 1;
}

// ---- CAccountSettings ------------------------------------------------------------------

void CAccountSettings::SetDefaults() {
    accountName.clear();
    active = 0;
    daysToSync = 4;
    syncInbox = syncOutbox = 1;
    unreadOnly = 0;
    dataFile.clear();
    generateKey = 0;
    client = 0;
    messageSizeKb = 50;
    hostName.clear();
    mapiProfile.clear();
    userAccount.clear();
    password.clear();
}

int CAccountSettings::Load(int userId, const char* section, int version, int index) {
    if (!section) return 0;
    const int n = index + 1;
    accountName = readText(userId, section, numbered("AccountName", n));
    active = readInt(userId, section, numbered("Activate", n), 0);
    if (version != 0) {
        daysToSync = readInt(userId, section, numbered("NumberOfDaysToSync", n), 0);
        syncInbox = readInt(userId, section, numbered("SyncInbox", n), 0);
        syncOutbox = readInt(userId, section, numbered("SyncOutbox", n), 0);
    }
    if (version > 511) {
        unreadOnly = readInt(userId, section, numbered("UnreadOnly", n), 0);
        dataFile = readText(userId, section, numbered("DataFile", n));
    }
    generateKey = readInt(userId, section, numbered("Generate Security Key", n), 0);
    client = readInt(userId, section, numbered("Client", n), -1);
    messageSizeKb = readInt(userId, section, numbered("MessageSize", n), 50);
    hostName = readText(userId, section, numbered("MsgHostName", n));
    mapiProfile = readText(userId, section, numbered("UserMAPIProfile", n));
    userAccount = readText(userId, section, numbered("UserAccount", n));
    password = UnscramblePassword(readText(userId, section, numbered("Rosterbook", n)));
    loaded = 1;
    return 1;
}

int CAccountSettings::Save(int userId, const char* section, int version, int index) {
    if (!section) return 0;
    const int n = index + 1;
    writeText(userId, section, numbered("AccountName", n), accountName);
    writeInt(userId, section, numbered("Activate", n), active);
    if (version != 0) {
        writeInt(userId, section, numbered("NumberOfDaysToSync", n), daysToSync);
        writeInt(userId, section, numbered("SyncInbox", n), syncInbox);
        writeInt(userId, section, numbered("SyncOutbox", n), syncOutbox);
    }
    if (version > 511) {
        writeInt(userId, section, numbered("UnreadOnly", n), unreadOnly);
        writeText(userId, section, numbered("DataFile", n), dataFile);
    }
    writeInt(userId, section, numbered("Generate Security Key", n), generateKey);
    writeInt(userId, section, numbered("Client", n), client);
    writeInt(userId, section, numbered("MessageSize", n), messageSizeKb);
    writeText(userId, section, numbered("MsgHostName", n), hostName);
    writeText(userId, section, numbered("UserMAPIProfile", n), mapiProfile);
    writeText(userId, section, numbered("UserAccount", n), userAccount);
    writeText(userId, section, numbered("Rosterbook", n), ScramblePassword(password));
    return 1;
}

// ---- CRelaySettings --------------------------------------------------------------------

void CRelaySettings::SetDefaults() {
    account = -1;
    enterprise = logDebug = logInformational = useFilters = attachments = 0;
    networkName.clear();
    filtersChanged = keyChanged = filterCount = 0;
    for (MessageFilter& f : filters) f = MessageFilter();
    securityKey.clear();
}

int CRelaySettings::Load(int userId, const char* section) {
    if (!section) return 0;
    enterprise = readInt(userId, section, "Enterprise", 0);
    account = readInt(userId, section, "Account", -1);
    logDebug = readInt(userId, section, "Log Debug", 0);
    logInformational = readInt(userId, section, "Log Informational", 0);
    useFilters = readInt(userId, section, "Use Filters", 0);
    attachments = readInt(userId, section, "Attachments", 0);
    networkName = readText(userId, section, "Network Name");
    securityKey = DecodeStoredKey(readText(userId, section, "Rosterbook"));
    filterCount = storedFilterCount(userId, section);
    for (MessageFilter& f : filters) f = MessageFilter();
    for (int i = 0; i < filterCount; ++i) {
        MessageFilter& f = filters[i];
        f.inUse = 1;
        copyCut(f.name, readText(userId, section, numbered("Name", i + 1)));
        f.kind = readInt(userId, section, numbered("Source", i + 1), 0);
        f.textOperator = readInt(userId, section, numbered("Rule", i + 1), 0);
        f.numericOperator = readInt(userId, section, numbered("Size", i + 1), 0);
        copyCut(f.value, readText(userId, section, numbered("String", i + 1)));
    }
    loaded = 1;
    return 1;
}

int CRelaySettings::Save(int userId, const char* section) {
    if (!section) return 0;
    writeInt(userId, section, "Enterprise", enterprise);
    writeInt(userId, section, "Account", account);
    if (enterprise) {
        writeInt(userId, section, "Log Debug", logDebug);
        writeInt(userId, section, "Log Informational", logInformational);
        writeInt(userId, section, "Use Filters", useFilters);
        writeInt(userId, section, "Attachments", attachments);
        writeText(userId, section, "Network Name", networkName);
        if (keyChanged) writeText(userId, section, "Rosterbook", EncodeStoredKey(securityKey));
        if (filtersChanged) {
            DeleteFilters(userId, section);
            for (int i = 0; i < std::min(filterCount, kMaxRelayFilters); ++i)
                if (filters[i].inUse) AddFilter(userId, section, &filters[i]);
        }
    }
    filtersChanged = keyChanged = 0;
    return 1;
}

int CRelaySettings::AddFilter(int userId, const char* section, const MessageFilter* filter) {
    if (!filter || !section) return 0;
    const int32_t count = storedFilterCount(userId, section);
    if (count >= kMaxRelayFilters) return 0;
    const int n = count + 1;
    writeInt(userId, section, "Filter Count", n);
    writeText(userId, section, numbered("Name", n),
              std::string(filter->name, strnlen(filter->name, sizeof filter->name)));
    writeInt(userId, section, numbered("Source", n), filter->kind);
    writeInt(userId, section, numbered("Rule", n), filter->textOperator);
    writeInt(userId, section, numbered("Size", n), filter->numericOperator);
    writeText(userId, section, numbered("String", n),
              std::string(filter->value, strnlen(filter->value, sizeof filter->value)));
    return 1;
}

void CRelaySettings::DeleteFilters(int userId, const char* section) {
    if (!section) return;
    const int32_t count = storedFilterCount(userId, section);
    for (int n = 1; n <= count; ++n)
        for (const char* key : {"Name", "Source", "Rule", "Size", "String"})
            RosterDeleteValue(userId, section, numbered(key, n).c_str());
    writeInt(userId, section, "Filter Count", 0);
}

int CRelaySettings::SetFilters(int count, const MessageFilter* const* given) {
    for (MessageFilter& f : filters) f = MessageFilter();
    count = std::clamp(count, 0, kMaxRelayFilters);
    filterCount = given ? count : 0;
    filtersChanged = 1;
    int taken = 0;
    for (int i = 0; i < filterCount; ++i) {
        const MessageFilter* src = given[i];
        if (!src || !src->inUse) continue;
        MessageFilter& f = filters[i];
        f.inUse = src->inUse;
        f.flag = src->flag;
        f.kind = src->kind;
        f.textOperator = src->textOperator;
        f.numericOperator = src->numericOperator;
        copyCut(f.extra, std::string_view(src->extra, strnlen(src->extra, sizeof src->extra)));
        copyCut(f.name, CleanFilterText(std::string_view(src->name, strnlen(src->name, sizeof src->name))));
        copyCut(f.value, CleanFilterText(std::string_view(src->value, strnlen(src->value, sizeof src->value))));
        ++taken;
    }
    return taken ? 1 : 0;
}

void CRelaySettings::SetSecurityKey(const std::string& keyRecord) {
    securityKey = keyRecord;
    keyChanged = 1;
}

}  // namespace tess::accounts
