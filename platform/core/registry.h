#pragma once
// Registry stand-in: the hives HKCU, HKLM and HKCR kept in one SQLite database
// (<runtime root>/registry.db). Shaped like the calls the product makes, with their
// result codes, so that code reads the way its callers expect. Key paths keep their
// backslashes; key and value names are case-insensitive; enumeration is in creation
// order; safe across processes.
#include <cstdint>

#include "platform/export.h"

namespace platform {
struct RegKeyObject;
}  // namespace platform
typedef platform::RegKeyObject* HKEY;
typedef long LSTATUS;
typedef uint32_t DWORD;
typedef uint32_t REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

enum : DWORD { REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };
enum : REGSAM { KEY_READ = 0x20019, KEY_WRITE = 0x20006, KEY_ALL_ACCESS = 0xF003F };
enum : LSTATUS {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_OUTOFMEMORY = 14,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_MORE_DATA = 234,
    ERROR_NO_MORE_ITEMS = 259,
    ERROR_CANTWRITE = 1013,
    ERROR_KEY_DELETED = 1018,
};
enum : DWORD { REG_CREATED_NEW_KEY = 1, REG_OPENED_EXISTING_KEY = 2 };

// Open an existing key (ERROR_FILE_NOT_FOUND when absent).
TESS_API LSTATUS RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, REGSAM sam, HKEY* result);
TESS_API LSTATUS RegOpenKeyA(HKEY parent, const char* subKey, HKEY* result);
// Open or create a key and every missing key on its path.
TESS_API LSTATUS RegCreateKeyA(HKEY parent, const char* subKey, HKEY* result);
TESS_API LSTATUS RegCreateKeyExA(HKEY parent, const char* subKey, DWORD reserved, char* cls, DWORD options, REGSAM sam,
                                 void* security, HKEY* result, DWORD* disposition);
TESS_API LSTATUS RegCloseKey(HKEY key);

// Read a value. data may be null to ask for size and type. When *dataSize is too small:
// ERROR_MORE_DATA with *dataSize set to the size needed (data untouched). Text values are
// stored and returned with their terminating NUL: a text set without one gets one, and
// one set with bytes after its first NUL is cut there. A null or empty name is the key's
// default value. A REG_DWORD must be set with exactly 4 bytes (ERROR_INVALID_PARAMETER).
// Calls on a handle whose key was deleted meanwhile give ERROR_KEY_DELETED; a database
// that cannot be opened or written gives ERROR_CANTWRITE.
TESS_API LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, unsigned char* data,
                                  DWORD* dataSize);
TESS_API LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const unsigned char* data,
                                DWORD dataSize);
TESS_API LSTATUS RegDeleteValueA(HKEY key, const char* valueName);
// Deletes a key with no sub-keys (ERROR_ACCESS_DENIED when it still has some).
TESS_API LSTATUS RegDeleteKeyA(HKEY parent, const char* subKey);

// Enumerate in creation order (a value set again keeps its place). *nameSize in: buffer
// size; out: characters written (without NUL). A name buffer too small: ERROR_MORE_DATA,
// nothing written, *nameSize the size needed with the NUL. A data buffer too small:
// ERROR_MORE_DATA with the name written and *dataSize the size needed.
// ERROR_NO_MORE_ITEMS past the end. lastWrite, when given, is 8 bytes and zeroed.
TESS_API LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, DWORD* type,
                               unsigned char* data, DWORD* dataSize);
TESS_API LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* cls,
                               DWORD* clsSize, void* lastWrite);
TESS_API LSTATUS RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);
