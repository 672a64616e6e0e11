// The users (list, folders, data store, synchronisation actions), the conduit manager and
// the user manager class.
#include <algorithm>
#include <cstring>

#include "platform/syncmgr/session.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/user_manager.h"

using platform::syncmgr::copyText;
using platform::syncmgr::Session;
using platform::syncmgr::userCall;
using platform::syncmgr::UserEntry;
using platform::syncmgr::UserStore;

namespace {

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string withoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

int userText(const char* op, int userId, char* buffer, int* size, std::string (*pick)(UserStore&, const UserEntry&)) {
    return userCall(op, [&](Session&, UserStore& u) {
        UserEntry e;
        if (int rc = u.user(userId, &e)) return rc;
        return copyText(pick(u, e), buffer, size);
    });
}

int conduitText(const char* op, uint32_t creator, char* buffer, int* size,
                std::string platform::syncmgr::ConduitRegistration::*field) {
    return userCall(op, [&](Session&, UserStore& u) {
        platform::syncmgr::ConduitRegistration c;
        if (int rc = u.conduit(creator, &c)) return rc;
        return copyText(c.*field, buffer, size);
    });
}

bool validKey(const char* section, const char* key) { return section && key && *section && *key; }

}  // namespace

// ---- conduit manager ----------------------------------------------------------------------

int QuayGetSyncManagerDirectory(char* buffer, int* size) {
    try {
        return copyText(platform::syncmgr::syncManagerDirectory().string(), buffer, size);
    } catch (const std::exception&) {
        return SYNCERR_STORAGE;
    }
}

int QuayGetConduitName(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitName", creator, buffer, size, &platform::syncmgr::ConduitRegistration::name);
}

int QuayGetConduitPriority(uint32_t creator, int* priority) {
    return userCall("QuayGetConduitPriority", [&](Session&, UserStore& u) {
        if (!priority) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::ConduitRegistration c;
        if (int rc = u.conduit(creator, &c)) return rc;
        *priority = c.priority;
        return int{SYNC_OK};
    });
}

int QuayGetConduitLibrary(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitLibrary", creator, buffer, size,
                       &platform::syncmgr::ConduitRegistration::library);
}

int QuayGetConduitDirectory(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitDirectory", creator, buffer, size,
                       &platform::syncmgr::ConduitRegistration::directory);
}

int QuayGetConduitRemoteDb(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitRemoteDb", creator, buffer, size,
                       &platform::syncmgr::ConduitRegistration::remoteDb);
}

int QuayGetConduitTitle(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitTitle", creator, buffer, size, &platform::syncmgr::ConduitRegistration::title);
}

int QuayGetConduitArguments(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitArguments", creator, buffer, size,
                       &platform::syncmgr::ConduitRegistration::arguments);
}

int QuayGetConduitInformation(uint32_t creator, char* buffer, int* size) {
    return conduitText("QuayGetConduitInformation", creator, buffer, size,
                       &platform::syncmgr::ConduitRegistration::information);
}

// ---- users --------------------------------------------------------------------------------

int RosterGetUserCount(int* count) {
    return userCall("RosterGetUserCount", [&](Session&, UserStore& u) {
        if (!count) return int{SYNCERR_BAD_ARGUMENT};
        *count = static_cast<int>(u.users().size());
        return int{SYNC_OK};
    });
}

int RosterGetUserIdByIndex(int index, int* userId) {
    return userCall("RosterGetUserIdByIndex", [&](Session&, UserStore& u) {
        if (!userId) return int{SYNCERR_BAD_ARGUMENT};
        std::vector<UserEntry> users = u.users();
        if (index < 0 || static_cast<size_t>(index) >= users.size()) return int{SYNCERR_NOT_FOUND};
        *userId = users[static_cast<size_t>(index)].id;
        return int{SYNC_OK};
    });
}

int RosterGetUserName(int userId, char* buffer, int* size) {
    return userText("RosterGetUserName", userId, buffer, size, [](UserStore&, const UserEntry& e) { return e.name; });
}

int RosterGetUserFolderName(int userId, char* buffer, int* size) {
    return userText("RosterGetUserFolderName", userId, buffer, size,
                    [](UserStore&, const UserEntry& e) { return e.folder; });
}

int RosterGetUserDataFolder(char* buffer, int* size) {
    try {
        return copyText(withSlash(platform::syncmgr::syncManagerDirectory().string()), buffer, size);
    } catch (const std::exception&) {
        return SYNCERR_STORAGE;
    }
}

int RosterGetUserDirectory(int userId, char* buffer, int* size) {
    return userText("RosterGetUserDirectory", userId, buffer, size,
                    [](UserStore& u, const UserEntry& e) { return withSlash((u.directory() / e.folder).string()); });
}

int RosterSetPermanentAction(int userId, uint32_t creator, int value) {
    return userCall("RosterSetPermanentAction",
                    [&](Session&, UserStore& u) { return u.writeAction(userId, creator, 0, value); });
}

int RosterSetNextAction(int userId, uint32_t creator, int value) {
    return userCall("RosterSetNextAction",
                    [&](Session&, UserStore& u) { return u.writeAction(userId, creator, 1, value); });
}

int RosterGetPermanentAction(int userId, uint32_t creator, int* value) {
    return userCall("RosterGetPermanentAction", [&](Session&, UserStore& u) {
        return value ? u.readAction(userId, creator, 0, value) : int{SYNCERR_BAD_ARGUMENT};
    });
}

int RosterGetNextAction(int userId, uint32_t creator, int* value) {
    return userCall("RosterGetNextAction", [&](Session&, UserStore& u) {
        return value ? u.readAction(userId, creator, 1, value) : int{SYNCERR_BAD_ARGUMENT};
    });
}

int RosterUserIdFromActionPrefs(const ConduitActionPrefs* prefs, int* userId) {
    return userCall("RosterUserIdFromActionPrefs", [&](Session&, UserStore& u) {
        if (!prefs || !userId) return int{SYNCERR_BAD_ARGUMENT};
        if (int rc = u.user(prefs->userId, nullptr)) return rc;
        *userId = prefs->userId;
        return int{SYNC_OK};
    });
}

int RosterUserIdFromDirectory(const char* directory, int* userId) {
    return userCall("RosterUserIdFromDirectory", [&](Session&, UserStore& u) {
        if (!directory || !userId) return int{SYNCERR_BAD_ARGUMENT};
        std::string wanted = withoutSlash(directory);
        if (wanted.empty()) return int{SYNCERR_NOT_FOUND};
        for (const UserEntry& e : u.users()) {
            if (wanted == e.folder || wanted == withoutSlash((u.directory() / e.folder).string())) {
                *userId = e.id;
                return int{SYNC_OK};
            }
        }
        return int{SYNCERR_NOT_FOUND};
    });
}

// ---- per-user data store ------------------------------------------------------------------

int RosterReadText(int userId, const char* section, const char* key, char* buffer, int* size, const char* defaultText) {
    return userCall("RosterReadText", [&](Session&, UserStore& u) {
        if (!validKey(section, key) || !buffer || !size || *size <= 0) return int{SYNCERR_BAD_ARGUMENT};
        UserStore::Value v;
        int rc = u.readValue(userId, section, key, &v);
        if (rc == SYNC_OK && !v.isText) rc = SYNCERR_WRONG_TYPE;
        std::string text = rc == SYNC_OK ? v.text : std::string(defaultText ? defaultText : "");
        size_t room = static_cast<size_t>(*size) - 1;
        size_t n = std::min(text.size(), room);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        if (text.size() > room) {
            *size = static_cast<int>(text.size() + 1);
            return int{SYNCERR_BUFFER_TOO_SMALL};
        }
        *size = static_cast<int>(n);
        return rc;
    });
}

int RosterWriteText(int userId, const char* section, const char* key, const char* text) {
    return userCall("RosterWriteText", [&](Session&, UserStore& u) {
        if (!validKey(section, key) || !text) return int{SYNCERR_BAD_ARGUMENT};
        UserStore::Value v;
        v.isText = true;
        v.text = text;
        return u.writeValue(userId, section, key, v);
    });
}

int RosterReadInt(int userId, const char* section, const char* key, int* value, int defaultValue) {
    return userCall("RosterReadInt", [&](Session&, UserStore& u) {
        if (!validKey(section, key) || !value) return int{SYNCERR_BAD_ARGUMENT};
        UserStore::Value v;
        int rc = u.readValue(userId, section, key, &v);
        if (rc == SYNC_OK && v.isText) rc = SYNCERR_WRONG_TYPE;
        *value = rc == SYNC_OK ? static_cast<int>(v.number) : defaultValue;
        return rc;
    });
}

int RosterWriteInt(int userId, const char* section, const char* key, int value) {
    return userCall("RosterWriteInt", [&](Session&, UserStore& u) {
        if (!validKey(section, key)) return int{SYNCERR_BAD_ARGUMENT};
        UserStore::Value v;
        v.number = value;
        return u.writeValue(userId, section, key, v);
    });
}

int RosterDeleteValue(int userId, const char* section, const char* key) {
    return userCall("RosterDeleteValue", [&](Session&, UserStore& u) {
        if (!validKey(section, key)) return int{SYNCERR_BAD_ARGUMENT};
        return u.deleteValue(userId, section, key);
    });
}

// ---- user manager ---------------------------------------------------------------------------

CUserMgr::CUserMgr() = default;
CUserMgr::~CUserMgr() = default;

void CUserMgr::SetDirectory(const char* directory) { directory_ = directory ? directory : ""; }

int CUserMgr::FindFirst(CUser** user) {
    if (!user) return SYNCERR_BAD_ARGUMENT;
    *user = nullptr;
    users_.clear();
    next_ = 0;
    if (directory_.empty()) return SYNCERR_NOT_FOUND;
    std::filesystem::path dir = withoutSlash(directory_);
    if (!std::filesystem::exists(dir / "syncmgr.db")) return SYNCERR_NOT_FOUND;
    try {
        UserStore store(dir, false);
        for (const UserEntry& e : store.users()) users_.emplace_back(e.id, e.name, e.folder);
    } catch (const std::exception&) {
        return SYNCERR_STORAGE;
    }
    return FindNext(user);
}

int CUserMgr::FindNext(CUser** user) {
    if (!user) return SYNCERR_BAD_ARGUMENT;
    if (next_ >= users_.size()) {
        *user = nullptr;
        return SYNCERR_NOT_FOUND;
    }
    *user = &users_[next_++];
    return SYNC_OK;
}
