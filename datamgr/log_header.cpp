#include "datamgr/log_header.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/registry_values.h"
#include "platform/core/registry.h"
#include "platform/syncmgr/syncmgr.h"
#include "progress/lampwick.h"

namespace tess::datamgr {

using tess::progress::RegisteredType;

namespace {

constexpr uint32_t kCreatorMail = 0x61736333;  // 'asc3'
constexpr const char* kProductKey = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur";
constexpr const char* kCoreKey = "Software\\Harrow Systems\\Skiff Desktop\\Core";

std::vector<tess::datamgr::LogRegistryValue> KeyValues(HKEY root, const std::string& path) {
    std::vector<tess::datamgr::LogRegistryValue> out;
    for (const tess::KeyValue& k : tess::ReadKeyValues(root, path)) {
        tess::datamgr::LogRegistryValue v;
        v.name = k.name;
        v.text = k.text;
        v.number = k.number;
        v.type = k.type == REG_SZ || k.type == REG_EXPAND_SZ ? tess::datamgr::LogRegistryValue::kText
                 : k.type == REG_DWORD                       ? tess::datamgr::LogRegistryValue::kNumber
                                                             : tess::datamgr::LogRegistryValue::kOther;
        out.push_back(std::move(v));
    }
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
