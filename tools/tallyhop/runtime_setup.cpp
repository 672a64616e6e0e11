#include "tools/tallyhop/runtime_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"

namespace tallyhop {

namespace {

constexpr uint32_t kMailCreator = SYNC_FOURCC('a', 's', 'c', '3');
constexpr uint32_t kHandheldApp = SYNC_FOURCC('a', 's', 'c', '6');
constexpr uint16_t kAppVersion = 2384;
constexpr const char* kProductKey = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\";

// The mail application's databases as it makes them on its first run.
struct AppDatabase {
    std::string name;
    uint32_t type;
};

std::vector<AppDatabase> appDatabases() {
    std::vector<AppDatabase> list = {
        {"Larkspur Messages", SYNC_FOURCC('D', 'a', 't', '5')},
        {"Larkspur Disconnected", SYNC_FOURCC('D', 'a', 't', '6')},
        {"Larkspur Attachments", SYNC_FOURCC('D', 'a', 't', '7')},
        {"Larkspur Part Plus", SYNC_FOURCC('D', 'a', 't', '8')},
    };
    for (int slot = 0; slot < 8; ++slot)
        list.push_back({"LKIDCache" + std::to_string(slot), SYNC_FOURCC('D', 'a', 't', '0' + slot)});
    return list;
}

std::vector<uint8_t> bigEndian32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

std::vector<uint8_t> textAnswer(const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// 24 hex digits from the system's random source: the handheld's security text.
bool randomSecurityText(std::string* out) {
    uint8_t bytes[12];
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n = read(fd, bytes, sizeof bytes);
    close(fd);
    if (n != static_cast<ssize_t>(sizeof bytes)) return false;
    char hex[3];
    out->clear();
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        *out += hex;
    }
    return true;
}

int setupUser(const InitOptions& options, std::ostream& out, std::ostream& err) {
    int userId = 0;
    int rc = platform::syncmgr::addUser(options.userName, &userId);
    if (rc == SYNCERR_EXISTS) {
        int count = 0;
        RosterGetUserCount(&count);
        for (int i = 0; i < count; ++i) {
            int id = 0;
            char name[256];
            int size = sizeof name;
            if (RosterGetUserIdByIndex(i, &id) == SYNC_OK && RosterGetUserName(id, name, &size) == SYNC_OK &&
                options.userName == name)
                userId = id;
        }
        rc = userId ? SYNC_OK : SYNCERR_NOT_FOUND;
    }
    if (rc != SYNC_OK) {
        err << "tallyhop: cannot make the user '" << options.userName << "' (error " << rc << ")\n";
        return 1;
    }

    platform::syncmgr::ConduitRegistration conduit;
    conduit.creator = kMailCreator;
    conduit.name = "Tessaline";
    conduit.priority = 2;
    conduit.library = "Gatehouse.dll";
    // The conduit's folder is where the engine and the data manager both keep the account files.
    conduit.directory = "Tessaline";
    conduit.remoteDb = "Larkspur Messages";
    conduit.title = "Tessaline";
    if ((rc = platform::syncmgr::registerConduit(conduit)) != SYNC_OK) {
        err << "tallyhop: cannot register the conduit (error " << rc << ")\n";
        return 1;
    }
    int action = 0;
    if (RosterGetPermanentAction(userId, kMailCreator, &action) == SYNCERR_NOT_FOUND)
        RosterSetPermanentAction(userId, kMailCreator, 0);  // synchronise

    std::filesystem::path userDir = platform::syncmgr::userDirectory(userId);
    std::error_code ec;
    std::filesystem::create_directories(userDir / conduit.directory, ec);
    if (ec) {
        err << "tallyhop: cannot make " << (userDir / conduit.directory).string() << ": " << ec.message() << "\n";
        return 1;
    }
    out << "User " << userId << " \"" << options.userName << "\": " << userDir.string() << "\n";
    return 0;
}

int setupHandheld(const InitOptions& options, std::ostream& out, std::ostream& err) {
    if (!platform::syncmgr::HandheldStore::validName(options.handheld)) {
        err << "tallyhop: '" << options.handheld << "' is not a handheld name (letters, digits, '-', '_', '.')\n";
        return 1;
    }
    platform::syncmgr::HandheldStore store(options.handheld, true);
    for (const AppDatabase& db : appDatabases()) {
        int rc = store.createDatabase(db.name, kMailCreator, db.type, kAppVersion, 0, 0, nullptr);
        if (rc != SYNC_OK && rc != SYNCERR_EXISTS) {
            err << "tallyhop: cannot make the database \"" << db.name << "\" (error " << rc << ")\n";
            return 1;
        }
    }
    // The mail application's answers: status word, identity, version, security text.
    std::vector<uint8_t> existing;
    if (store.remoteAnswer(kHandheldApp, 3, &existing) != SYNC_OK) {
        std::string security;
        if (!randomSecurityText(&security)) {
            err << "tallyhop: no random bytes for the handheld's security text\n";
            return 1;
        }
        store.setRemoteAnswer(kHandheldApp, 0, bigEndian32(0));
        store.setRemoteAnswer(kHandheldApp, 1, textAnswer("Tessaline " + options.handheld));
        store.setRemoteAnswer(kHandheldApp, 2, bigEndian32(kAppVersion));
        store.setRemoteAnswer(kHandheldApp, 3, textAnswer(security));
    }
    out << "Handheld \"" << options.handheld
        << "\": " << platform::syncmgr::HandheldStore::pathFor(options.handheld).string() << "\n";
    return 0;
}

int setupRegistry(std::ostream& out, std::ostream& err) {
    std::filesystem::path libDir = platform::moduleDir();
    for (const ListedLibrary& lib : kListedLibraries) {
        std::string keyPath = std::string(kProductKey) + lib.list;
        HKEY key = nullptr;
        if (RegCreateKeyA(HKEY_CURRENT_USER, keyPath.c_str(), &key) != ERROR_SUCCESS) {
            err << "tallyhop: cannot make the registry key HKCU\\" << keyPath << "\n";
            return 1;
        }
        std::filesystem::path file = libDir / (std::string("lib") + lib.library + ".so");
        std::string path = file.string();
        LSTATUS rc = RegSetValueExA(key, lib.valueName, 0, REG_SZ, reinterpret_cast<const unsigned char*>(path.c_str()),
                                    static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            err << "tallyhop: cannot write " << lib.list << "\\" << lib.valueName << "\n";
            return 1;
        }
        std::error_code ec;
        out << lib.list << "\\" << lib.valueName << " = " << path
            << (std::filesystem::exists(file, ec) ? "" : " (not built)") << "\n";
    }
    return 0;
}

}  // namespace

const ListedLibrary kListedLibraries[7] = {
    {"MsgHostPlugins", "Copperfen", "Copperfen"}, {"MsgHostPlugins", "Thistledown", "Thistledown"},
    {"MsgHostPlugins", "Briarholt", "Briarholt"}, {"MsgHostPlugins", "Heronwick", "Heronwick"},
    {"MsgHostPlugins", "Fenwick", "Fenwick"},     {"MsgSyncPlugins", "Tidewater", "Tidewater"},
    {"ConfigPlugins", "ConfHost", "Panelwright"},
};

std::string defaultUserName() {
    const char* user = std::getenv("USER");
    return user && *user ? user : "user";
}

int initRuntime(const InitOptions& options, std::ostream& out, std::ostream& err) {
    try {
        out << "Runtime root: " << platform::runtimeRoot().string() << "\n";
        if (int rc = setupUser(options, out, err)) return rc;
        if (int rc = setupHandheld(options, out, err)) return rc;
        return setupRegistry(out, err);
    } catch (const std::exception& e) {
        err << "tallyhop: " << e.what() << "\n";
        return 1;
    }
}

int findUser(const std::string& name, int* userId) {
    int count = 0;
    RosterGetUserCount(&count);
    for (int i = 0; i < count; ++i) {
        int id = 0;
        char buf[256];
        int size = sizeof buf;
        if (RosterGetUserIdByIndex(i, &id) != SYNC_OK || RosterGetUserName(id, buf, &size) != SYNC_OK) continue;
        if (name.empty() || name == buf) {
            *userId = id;
            return 0;
        }
    }
    return 1;
}

}  // namespace tallyhop
