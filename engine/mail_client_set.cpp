#include "engine/mail_client_set.h"

#include <algorithm>
#include <cctype>

#include "common/text_case.h"
#include "engine/engine_log.h"
#include "platform/core/module.h"
#include "platform/core/registry.h"
#include "platform/mapi/mapi_interfaces.h"

namespace tess::engine {
namespace {

constexpr const char* kClientsKey = "Software\\Clients\\Mail";
constexpr const char* kIconKey = "mailto\\DefaultIcon";
constexpr const char* kCommandKey = "mailto\\shell\\open\\command";

using tess::Lower;

// Every value of a key, the default one named "DEFAULT"; false when the key is absent.
bool ReadValues(HKEY root, const std::string& path, ProtocolEntry& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    out.path = path;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name, type = 0, dataSize = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
        RegistryValue v;
        v.name = name[0] ? name : "DEFAULT";
        v.type = type;
        v.data.resize(dataSize);
        nameSize = sizeof name;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, v.data.data(), &dataSize) != ERROR_SUCCESS) break;
        v.data.resize(dataSize);
        out.values.push_back(std::move(v));
    }
    RegCloseKey(key);
    return true;
}

std::string DefaultText(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    char buf[512] = {};
    DWORD size = sizeof buf - 1, type = 0;
    const LSTATUS rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<unsigned char*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(buf) : std::string();
}

}  // namespace

CMailClientSet::CMailClientSet() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            char name[256];
            if (RegEnumKeyA(key, i, name, sizeof name) != ERROR_SUCCESS) break;
            MailClientEntry e;
            e.name = name;
            const std::string base = std::string(kClientsKey) + "\\" + name + "\\protocols\\";
            for (const char* leaf : {kIconKey, kCommandKey}) {
                ProtocolEntry p;
                if (ReadValues(HKEY_LOCAL_MACHINE, base + leaf, p)) e.protocols.push_back(std::move(p));
            }
            clients_.push_back(std::move(e));
        }
        RegCloseKey(key);
    }
    saved_.name = DefaultText(HKEY_LOCAL_MACHINE, kClientsKey);
    savedKind_ = currentKind_ = ClassifyClient(saved_.name);
    for (const char* leaf : {kIconKey, kCommandKey}) {
        ProtocolEntry p;
        if (ReadValues(HKEY_CLASSES_ROOT, leaf, p)) saved_.protocols.push_back(std::move(p));
    }
}

int CMailClientSet::ClassifyClient(const std::string& name) {
    const std::string n = Lower(name);
    const bool outlook = n.find("outlook") != std::string::npos;
    if (outlook && n.find("express") == std::string::npos) return kClientOutlook;
    if (outlook) return kClientOutlookExpress;
    if (n.find("lotus") != std::string::npos) return kClientNotes;
    if (n.find("eudora") != std::string::npos) return kClientEudora;
    return kClientOther;
}

const MailClientEntry* CMailClientSet::FindClient(int kind) const {
    for (const MailClientEntry& e : clients_)
        if (ClassifyClient(e.name) == kind) return &e;
    return nullptr;
}

int CMailClientSet::SetDefaultByKind(int kind) {
    const MailClientEntry* entry = FindClient(kind);
    if (!entry) return 0;
    if (currentKind_ == kind) return 1;
    if (MakeDefault(*entry)) return 1;
    RestoreDefault();
    return 0;
}

int CMailClientSet::RestoreDefault() {
    if (savedKind_ == currentKind_) return 1;
    return MakeDefault(saved_);
}

int CMailClientSet::MakeDefault(const MailClientEntry& entry) {
    HKEY clients = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientsKey, 0, KEY_WRITE, &clients) != ERROR_SUCCESS) return 0;
    const LSTATUS set =
        RegSetValueExA(clients, nullptr, 0, REG_SZ, reinterpret_cast<const unsigned char*>(entry.name.c_str()),
                       DWORD(entry.name.size() + 1));
    RegCloseKey(clients);
    if (set != ERROR_SUCCESS) return 0;
    bool icon = false, command = false;
    for (const ProtocolEntry& p : entry.protocols) {
        const std::string path = Lower(p.path);
        const char* target = nullptr;
        if (path.find("defaulticon") != std::string::npos) {
            target = kIconKey;
            icon = true;
        } else if (path.find("shell") != std::string::npos) {
            target = kCommandKey;
            command = true;
        } else {
            continue;
        }
        HKEY key = nullptr;
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, target, &key) != ERROR_SUCCESS) return 0;
        for (const RegistryValue& v : p.values)
            RegSetValueExA(key, v.name == "DEFAULT" ? nullptr : v.name.c_str(), 0, v.type, v.data.data(),
                           DWORD(v.data.size()));
        RegCloseKey(key);
    }
    if (!icon) RegDeleteKeyA(HKEY_CLASSES_ROOT, kIconKey);
    if (!command) RegDeleteKeyA(HKEY_CLASSES_ROOT, kCommandKey);
    currentKind_ = ClassifyClient(entry.name);
    return 1;
}

int CMailClientSet::MapiClientIsDefault() {
    const std::string command = Lower(DefaultText(HKEY_CLASSES_ROOT, kCommandKey));
    return command.find("outlook.exe") != std::string::npos || command.find("notes.exe") != std::string::npos;
}

int CMailClientSet::GetMapiProfileNames(std::vector<std::string>& names, int& defaultIndex) {
    if (!MapiClientIsDefault()) return 1;
    names.push_back(Str(4120));
    HMODULE mapi = LoadLibraryA(StrOr(4067, "MAPI32.DLL").c_str());
    if (!mapi) return 1;
    using AdminFn = HRESULT (*)(ULONG, std::shared_ptr<IProfAdmin>*);
    using InitFn = HRESULT (*)(void*);
    using UninitFn = void (*)();
    using QueryFn =
        HRESULT (*)(IMAPITable*, const SPropTagArray*, const SRestriction*, const void*, int32_t, SRowSet**);
    using FreeFn = void (*)(SRowSet*);
    auto admin = reinterpret_cast<AdminFn>(GetProcAddress(mapi, "MAPIAdminProfiles"));
    auto init = reinterpret_cast<InitFn>(GetProcAddress(mapi, "MAPIInitialize"));
    auto uninit = reinterpret_cast<UninitFn>(GetProcAddress(mapi, "MAPIUninitialize"));
    auto query = reinterpret_cast<QueryFn>(GetProcAddress(mapi, "HrQueryAllRows"));
    auto freeRows = reinterpret_cast<FreeFn>(GetProcAddress(mapi, "FreeProws"));
    int result = 1;
    if (admin && init && uninit && query && freeRows && init(nullptr) == S_OK) {
        std::shared_ptr<IProfAdmin> profiles;
        std::shared_ptr<IMAPITable> table;
        SRowSet* rows = nullptr;
        if (admin(0, &profiles) == S_OK && profiles && profiles->GetProfileTable(0, table) == S_OK && table &&
            query(table.get(), nullptr, nullptr, nullptr, 0, &rows) == S_OK && rows) {
            for (ULONG r = 0; r < rows->cRows(); ++r)
                for (const SPropValue& v : rows->aRow[r].lpProps) {
                    if (PROP_TYPE(v.ulPropTag) == PT_STRING8) names.push_back(v.str);
                    if (v.ulPropTag == PR_DEFAULT_PROFILE && v.b) defaultIndex = int(r) + 1;
                }
            freeRows(rows);
            result = 0;
        }
        table.reset();
        profiles.reset();
        uninit();
    }
    FreeLibrary(mapi);
    return result;
}

}  // namespace tess::engine
