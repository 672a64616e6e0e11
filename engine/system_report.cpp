#include "engine/system_report.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/registry_values.h"
#include "datamgr/ledgerly.h"
#include "engine/file_version.h"
#include "platform/core/module.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::engine {
namespace {

constexpr uint32_t kCreatorMail = 0x61736333;  // 'asc3'
constexpr const char* kClientsKey = "Software\\Clients";
constexpr const char* kMailClientsKey = "Software\\Clients\\Mail";
constexpr const char* kProductKey = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur";
constexpr const char* kCoreKey = "Software\\Harrow Systems\\Skiff Desktop\\Core";
constexpr size_t kMaxNameChars = 260;

std::string Printf(const char* format, const std::string& a, const std::string& b = {}) {
    char line[1024];
    std::snprintf(line, sizeof line, format, a.c_str(), b.c_str());
    return line;
}

// %NAME% references replaced by the environment's values; unknown names stay as written.
std::string Expand(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        const char* value =
            close != std::string::npos ? std::getenv(text.substr(i + 1, close - i - 1).c_str()) : nullptr;
        if (value) {
            out += value;
            i = close + 1;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::vector<ReportRegistryValue> KeyValues(HKEY root, const std::string& path) {
    std::vector<ReportRegistryValue> out;
    for (const KeyValue& k : ReadKeyValues(root, path)) {
        ReportRegistryValue v;
        v.root = root;
        v.keyPath = path;
        v.name = k.name;
        v.type = k.type;
        v.number = k.number;
        v.text = k.type == REG_EXPAND_SZ ? Expand(k.text) : k.text;
        out.push_back(std::move(v));
    }
    return out;
}

// A value as the report prints it: texts as they are, numbers as "%d"; empty when absent.
std::string ValueText(HKEY root, const std::string& path, const char* name) {
    for (const ReportRegistryValue& v : KeyValues(root, path)) {
        if (strcasecmp(v.name.c_str(), name) != 0) continue;
        if (v.type == REG_DWORD) return std::to_string(static_cast<int>(v.number));
        return v.text;
    }
    return {};
}

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string OperatingSystemText() {
    utsname u{};
    int major = 0, minor = 0, build = 0;
    if (uname(&u) != 0 || std::sscanf(u.release, "%d.%d.%d", &major, &minor, &build) < 2)
        return "Could Not Get OS Information";
    char text[400];
    std::snprintf(text, sizeof text, "%s %d.%d, Build : %d", u.sysname, major, minor, build);
    return text;
}

void ReadVersions(ReportClient& client) {
    const FileVersion v = ReadFileVersion(client.path);
    client.fileVersion = v.fileVersion;
    client.productVersion = v.productVersion;
}

std::string SubKeyName(HKEY key, DWORD index, bool* done) {
    char name[kMaxNameChars + 1] = {};
    const LSTATUS rc = RegEnumKeyA(key, index, name, sizeof name);
    *done = rc == ERROR_NO_MORE_ITEMS;
    return rc == ERROR_SUCCESS ? std::string(name) : std::string();
}

}  // namespace

std::string MailClientProgramPath(std::string command) {
    const size_t rundll = command.find("rundll32.exe");
    if (rundll != std::string::npos) command = command.substr(rundll + std::strlen("rundll32.exe"));
    std::string path;
    const size_t quote = command.find('"');
    const size_t closing = quote == std::string::npos ? std::string::npos : command.find('"', quote + 1);
    if (closing != std::string::npos)
        path = command.substr(quote + 1, closing - quote - 1);
    else if (command.find(',') != std::string::npos)
        path = command.substr(0, command.find(','));
    else
        path = Trim(command).substr(0, Trim(command).find(' '));
    path = Trim(path);
    if (!path.empty() && path[0] == '"') path.erase(0, 1);
    return path;
}

CSystemReport::CSystemReport() {
    char host[kMaxNameChars + 1] = {};
    if (gethostname(host, kMaxNameChars) == 0) computerName = host;
    if (const passwd* pw = getpwuid(getuid())) userName = std::string(pw->pw_name).substr(0, kMaxNameChars);
    operatingSystem = OperatingSystemText();

    const std::string clients = kClientsKey;
    defaultMail = ValueText(HKEY_LOCAL_MACHINE, clients + "\\Mail", "");
    defaultContacts = ValueText(HKEY_LOCAL_MACHINE, clients + "\\Contacts", "");
    defaultNews = ValueText(HKEY_LOCAL_MACHINE, clients + "\\News", "");
    defaultCalendar = ValueText(HKEY_LOCAL_MACHINE, clients + "\\Calendar", "");

    HKEY mail = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kMailClientsKey, &mail) == ERROR_SUCCESS) {
        bool done = false;
        for (DWORD i = 0; !done; ++i) {
            const std::string name = SubKeyName(mail, i, &done);
            if (name.empty()) continue;
            ReportClient client;
            client.name = name;
            client.path = MailClientProgramPath(
                ValueText(HKEY_LOCAL_MACHINE, Printf("%s\\%s\\shell\\open\\command", kMailClientsKey, name), ""));
            ReadVersions(client);
            mailClients.push_back(std::move(client));
        }
        RegCloseKey(mail);
    }

    mapi.name = "mapi32.dll";
    mapi.path = platform::resolveModulePath(mapi.name);
    std::error_code ec;
    if (!std::filesystem::exists(mapi.path, ec)) mapi.path = "Not Found In System Directory";
    ReadVersions(mapi);

    tallyhopPath = ValueText(HKEY_CURRENT_USER, kCoreKey, "Path");
    tallyhopVersion = ValueText(HKEY_CURRENT_USER, kCoreKey, "TallyhopVersion");
    const std::string product = kProductKey;
    general = KeyValues(HKEY_CURRENT_USER, product);
    msgSyncPlugins = KeyValues(HKEY_CURRENT_USER, product + "\\MsgSyncPlugins");
    msgHostPlugins = KeyValues(HKEY_CURRENT_USER, product + "\\MsgHostPlugins");
    configPlugins = KeyValues(HKEY_CURRENT_USER, product + "\\ConfigPlugins");
}

std::vector<std::string> FileVersionReportLines() {
    std::vector<std::string> files;
    char library[512] = {};
    int size = sizeof library;
    if (QuayGetConduitLibrary(kCreatorMail, library, &size) == SYNC_OK && library[0]) files.push_back(library);
    files.push_back("Hollowmere.dll");
    files.push_back("LarkWiz4.exe");
    const CSystemReport report;
    for (const auto* list : {&report.msgSyncPlugins, &report.msgHostPlugins, &report.configPlugins})
        for (const ReportRegistryValue& v : *list)
            if (!v.text.empty()) files.push_back(v.text);

    // The product's files are found where the module loader finds them.
    std::vector<std::string> lines;
    for (const std::string& file : files) {
        const std::string path = platform::resolveModulePath(file);
        const FileVersion v = ReadFileVersion(path);
        if (v.state == VersionState::kNoVersionInfo)
            lines.push_back(Printf("%-30s Could not get version info.", path));
        else if (v.state == VersionState::kUnreadable)
            lines.push_back(Printf("Could not get file version for %s", file));
        else
            lines.push_back(Printf("%-30s %s", path, v.fileVersion));
    }
    return lines;
}

void WriteFileVersionReport() {
    for (const std::string& line : FileVersionReportLines()) MLOGAdd(line.c_str());
}

}  // namespace tess::engine
