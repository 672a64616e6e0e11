#include "progress/component_registry.h"

#include <cstring>
#include <new>

using tess::progress::RegisteredType;

namespace tess::progress {

using platform::mfc::CString;

namespace {

constexpr const char* kXspBase = "Software\\Harrow Systems\\Skiff Desktop\\XSP";
constexpr DWORD kValueBuffer = 260;

constexpr size_t kKeyNameBuffer = 128;  // what a listing reads a component's key name into

bool Empty(const char* s) { return !s || !*s; }

// A component is one key directly under its creator's key, with a name a listing can read
// back; anything else would register successfully and then never be listed.
bool ListableName(const char* s) { return !Empty(s) && std::strlen(s) < kKeyNameBuffer && !std::strchr(s, '\\'); }

LSTATUS DefaultWriter(HKEY key, const char* name, DWORD type, const unsigned char* data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, data, size);
}

class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (key_) RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// A text value that fits the buffer with its terminator; other types read as empty.
CString ReadText(HKEY key, const char* name) {
    char buffer[kValueBuffer] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<unsigned char*>(buffer), &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ) return {};
    return CString(buffer, static_cast<int>(size));
}

}  // namespace

CComponentTypeStore::~CComponentTypeStore() {
    if (creatorKey_) RegCloseKey(creatorKey_);
}

std::string CComponentTypeStore::CreatorKeyPath(uint32_t creator) {
    std::string path = std::string(kXspBase) + "\\";
    for (int shift = 24; shift >= 0; shift -= 8) path += static_cast<char>((creator >> shift) & 0xFF);
    return path + "\\";
}

bool CComponentTypeStore::openCreator(uint32_t creator) {
    if (creatorKey_) RegCloseKey(creatorKey_);
    creatorKey_ = nullptr;
    const std::string path = CreatorKeyPath(creator);
    if (RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &creatorKey_) == ERROR_SUCCESS) return true;
    creatorKey_ = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &creatorKey_) == ERROR_SUCCESS) return true;
    creatorKey_ = nullptr;
    return false;
}

bool CComponentTypeStore::readEntry(const char* name, RegisteredType& entry) {
    entry.configPath.Empty();
    if (Empty(name)) return false;
    KeyHandle key;
    if (RegOpenKeyA(creatorKey_, name, key.out()) != ERROR_SUCCESS) return false;
    entry.name = name;
    uint8_t buffer[kValueBuffer] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    entry.type = -1;
    if (RegQueryValueExA(key.get(), "Type", nullptr, &type, buffer, &size) == ERROR_SUCCESS && type == REG_DWORD &&
        size == 4) {
        uint32_t v;
        std::memcpy(&v, buffer, 4);
        entry.type = static_cast<int32_t>(v);
    }
    entry.display = ReadText(key.get(), "Display");
    entry.hostPath = ReadText(key.get(), "HostPath");
    entry.configPath = ReadText(key.get(), "ConfigPath");
    return true;
}

int CComponentTypeStore::List(uint32_t creator, std::vector<RegisteredType>& out) {
    out.clear();
    if (!openCreator(creator)) return REG_E_REGISTRY;
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[kKeyNameBuffer];
        const LSTATUS rc = RegEnumKeyA(creatorKey_, i, name, sizeof name);
        // A key whose name does not fit is passed over, so that it cannot hide the rest.
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name);
    }
    for (const auto& name : names) {
        RegisteredType entry;
        if (readEntry(name.c_str(), entry)) out.push_back(std::move(entry));
    }
    return 0;
}

void CComponentTypeStore::removeKey(const char* name) {
    KeyHandle key;
    if (RegOpenKeyA(creatorKey_, name, key.out()) != ERROR_SUCCESS) return;
    for (;;) {
        char valueName[256];
        DWORD nameSize = sizeof valueName;
        unsigned char data[256];
        DWORD dataSize = sizeof data;
        LSTATUS rc = RegEnumValueA(key.get(), 0, valueName, &nameSize, nullptr, nullptr, data, &dataSize);
        // Data too long for the buffer still names the value; a name too long leaves the
        // buffer unwritten, and the key's deletion below takes such values with it.
        const bool named = rc == ERROR_SUCCESS || (rc == ERROR_MORE_DATA && nameSize < sizeof valueName);
        if (!named) break;
        if (RegDeleteValueA(key.get(), valueName) != ERROR_SUCCESS) break;
    }
    RegDeleteKeyA(creatorKey_, name);
}

bool CComponentTypeStore::writeEntry(const RegisteredType& entry, bool create, ValueWriter writer) {
    KeyHandle key;
    LSTATUS rc =
        create ? RegCreateKeyA(creatorKey_, entry.name, key.out()) : RegOpenKeyA(creatorKey_, entry.name, key.out());
    if (rc != ERROR_SUCCESS) return false;
    const uint32_t type = static_cast<uint32_t>(entry.type);
    unsigned char word[4];
    std::memcpy(word, &type, 4);
    auto text = [&](const char* name, const CString& value) {
        return writer(key.get(), name, REG_SZ, reinterpret_cast<const unsigned char*>(value.GetString()),
                      static_cast<DWORD>(value.GetLength() + 1)) == ERROR_SUCCESS;
    };
    return writer(key.get(), "Type", REG_DWORD, word, 4) == ERROR_SUCCESS && text("Display", entry.display) &&
           text("HostPath", entry.hostPath) && text("ConfigPath", entry.configPath);
}

int CComponentTypeStore::Register(uint32_t creator, const char* name, uint32_t type, const char* display,
                                  const char* hostPath, const char* configPath, ValueWriter writer) {
    if (!writer) writer = DefaultWriter;
    try {
        if (!openCreator(creator)) return REG_E_REGISTRY;
        if (!ListableName(name) || Empty(display) || Empty(hostPath) || Empty(configPath) || type < 256)
            return PRG_BAD_ARGUMENT;
        std::vector<RegisteredType> entries;
        if (List(creator, entries) != 0) return REG_E_REGISTRY;
        const RegisteredType* previous = nullptr;
        bool nameTaken = false;
        for (const auto& e : entries) {
            const bool sameName = e.name.CompareNoCase(name) == 0;
            if (static_cast<uint32_t>(e.type) == type) {
                if (!sameName) return REG_E_TYPE_TAKEN;
                previous = &e;
            } else if (sameName) {
                nameTaken = true;
            }
        }
        if (!previous && nameTaken) return REG_E_NAME_TAKEN;

        RegisteredType entry;
        entry.name = previous ? previous->name : CString(name);
        entry.type = static_cast<int32_t>(type);
        entry.display = display;
        entry.hostPath = hostPath;
        entry.configPath = configPath;
        if (writeEntry(entry, previous == nullptr, writer)) return 0;
        // A failed rewrite puts the registration back as it was; only a new entry that
        // could not be written whole is removed, so nothing half-written is left.
        if (previous) {
            if (!writeEntry(*previous, false, DefaultWriter)) removeKey(previous->name);
        } else {
            removeKey(entry.name);
        }
        return REG_E_REGISTRY;
    } catch (...) {
        return PRG_BAD_ARGUMENT;
    }
}

int CComponentTypeStore::UnRegister(uint32_t creator, const char* name) {
    if (Empty(name)) return PRG_BAD_ARGUMENT;
    if (!openCreator(creator)) return REG_E_REGISTRY;
    {
        KeyHandle key;
        if (RegOpenKeyA(creatorKey_, name, key.out()) != ERROR_SUCCESS) return PRG_BAD_ARGUMENT;
    }
    removeKey(name);
    return 0;
}

CComponentTypeStore& ComponentStore() {
    static CComponentTypeStore store;
    return store;
}

}  // namespace tess::progress

using tess::progress::ComponentStore;

int REGRegister(uint32_t creator, const char* name, uint32_t type, const char* display, const char* hostPath,
                const char* configPath) {
    return ComponentStore().Register(creator, name, type, display, hostPath, configPath);
}

int REGUnRegister(uint32_t creator, const char* name) { return ComponentStore().UnRegister(creator, name); }

int REGGetRegisteredTypes(uint32_t creator, RegisteredType*** out, int* outCount) {
    try {
        // The creator's key is opened (and made) before the arguments are looked at.
        std::vector<RegisteredType> entries;
        if (ComponentStore().List(creator, entries) != 0 || !out || !outCount) return PRG_BAD_ARGUMENT;
        *outCount = 0;
        if (entries.empty()) return 0;
        auto** list = new (std::nothrow) RegisteredType*[entries.size()];
        if (!list) return 0;
        int n = 0;
        for (auto& e : entries) {
            list[n] = new (std::nothrow) RegisteredType(std::move(e));
            if (list[n]) ++n;
        }
        *out = list;
        *outCount = n;
        return 0;
    } catch (...) {
        return PRG_BAD_ARGUMENT;
    }
}

int REGFreeRegisteredTypes(RegisteredType** list, int count) {
    if (!list) return PRG_BAD_ARGUMENT;
    if (count <= 0) return 0;
    for (int i = 0; i < count; ++i) delete list[i];
    delete[] list;
    return 0;
}
