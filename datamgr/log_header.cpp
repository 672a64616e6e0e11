#include "datamgr/log_header.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/registry.h"
#include "platform/syncmgr/syncmgr.h"
#include "progress/lampwick.h"

namespace tess::datamgr {
namespace {

constexpr uint32_t kCreatorMail = 0x61736333;  // 'asc3'
constexpr const char* kProductKey = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur";
constexpr const char* kCoreKey = "Software\\Harrow Systems\\Skiff Desktop\\Core";
constexpr DWORD kMaxValueBytes = 128;

// The values of one key, names and data of at most 128 bytes.
std::vector<tess::datamgr::LogRegistryValue> KeyValues(HKEY root, const std::string& path) {
    std::vector<tess::datamgr::LogRegistryValue> out;
    HKEY key = nullptr;
    if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[kMaxValueBytes];
        DWORD nameSize = sizeof name;
        unsigned char data[kMaxValueBytes];
        DWORD dataSize = sizeof data;
        DWORD type = REG_NONE;
        const LSTATUS rc = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        tess::datamgr::LogRegistryValue v;
        v.name.assign(name, nameSize);
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            v.type = tess::datamgr::LogRegistryValue::kText;
            v.text.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), dataSize));
        } else if (type == REG_DWORD && dataSize == 4) {
            v.type = tess::datamgr::LogRegistryValue::kNumber;
            std::memcpy(&v.number, data, 4);
        } else {
            v.type = tess::datamgr::LogRegistryValue::kOther;
        }
        out.push_back(std::move(v));
    }
    RegCloseKey(key);
    return out;
}

std::string ValueText(HKEY root, const char* path, const char* name) {
    for (const auto& v : KeyValues(root, path))
        if (strcasecmp(v.name.c_str(), name) == 0)
            return v.type == tess::datamgr::LogRegistryValue::kNumber ? std::to_string(v.number) : v.text;
    return {};
}

std::string Quay(int (*fn)(uint32_t, char*, int*), bool* ok = nullptr) {
    char buffer[512] = {};
    int size = sizeof buffer;
    const bool good = fn(kCreatorMail, buffer, &size) == SYNC_OK;
    if (ok) *ok = good;
    return good ? std::string(buffer) : std::string();
}

}  // namespace

tess::datamgr::LogHeaderInfo GatherLogHeader() {
    tess::datamgr::LogHeaderInfo info;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) info.computer = host;
    utsname u{};
    if (uname(&u) == 0) info.operatingSystem = std::string(u.sysname) + " " + u.release;
    if (const passwd* pw = getpwuid(getuid())) info.currentUser = pw->pw_name;
    info.defaultClient = ValueText(HKEY_LOCAL_MACHINE, "Software\\Clients\\Mail", "");
    const std::string product = kProductKey;
    info.general = KeyValues(HKEY_CURRENT_USER, product);
    info.syncHost = KeyValues(HKEY_CURRENT_USER, product + "\\MsgSyncPlugins");
    info.msgHost = KeyValues(HKEY_CURRENT_USER, product + "\\MsgHostPlugins");
    info.configHost = KeyValues(HKEY_CURRENT_USER, product + "\\ConfigPlugins");
    info.tallyhopVersion = ValueText(HKEY_CURRENT_USER, kCoreKey, "TallyhopVersion");
    info.tallyhopPath = ValueText(HKEY_CURRENT_USER, kCoreKey, "Path");

    info.conduitTitle = Quay(QuayGetConduitTitle, &info.conduitLoaded);
    info.conduitLibrary = Quay(QuayGetConduitLibrary);
    info.conduitDirectory = Quay(QuayGetConduitDirectory);
    info.conduitRemoteDb = Quay(QuayGetConduitRemoteDb);

    RegisteredType** types = nullptr;
    int count = 0;
    if (REGGetRegisteredTypes(kCreatorMail, &types, &count) == 0 && types) {
        for (int i = 0; i < count; ++i)
            info.components.push_back({types[i]->display.str(), types[i]->hostPath.str(), types[i]->configPath.str()});
        REGFreeRegisteredTypes(types, count);
    }
    return info;
}

}  // namespace tess::datamgr
