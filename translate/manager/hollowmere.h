#pragma once
// Hollowmere: the translator plug-in manager. It keeps the translator plug-ins' registry
// entries (under the product key's "ApplicationPlugins"), the table of extensions the
// handheld handles, each user's choice of plug-in per extension, and runs one translation
// through a plug-in library or a registered translator class.
#include <stdint.h>

#include "platform/export.h"
#include "platform/mfc/auto_delete_list.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/string_array.h"

// Fields in order: Version, name, Display, Component, ConvertFrom, ConvertTo, Company.
struct TranslatorInstallRecord {
    uint32_t Version;
    const char* name;
    const char* Display;
    const char* Component;    // a library path (contains ".dll") or a class's ProgID
    const char* ConvertFrom;  // comma list of source extensions
    const char* ConvertTo;    // comma list of targets, item i belonging to item i above
    const char* Company;
};

// Fields in order: plugin, name, type (1 text, 4 DWORD), number, text, textSize (in: the
// capacity without the terminator; out: the text's length).
struct PluginSettingRecord {
    const char* plugin;
    const char* name;
    int type;
    uint32_t* number;
    char* text;
    int* textSize;
};

namespace tess::translate::manager {

struct ExtensionPluginPair {
    platform::mfc::CString extension;
    platform::mfc::CString plugin;
};

struct ExtensionChoice {
    platform::mfc::CString extensions;    // the Extensions value's name ("html|htm")
    platform::mfc::CString label;         // "Web Page (*.html | *.htm)"
    platform::mfc::CString chosen;        // display name of the user's plug-in for it
    platform::mfc::CStringArray choices;  // "display,plug-in name"
};

}  // namespace tess::translate::manager

// 0; 1 a missing text or unequal list lengths; 2 the registry refused a write (the
// earlier registration, if any, stands).
TESS_API int InstallPlugin(const TranslatorInstallRecord* record);
TESS_API int UnInstallPlugin(const char* name);
TESS_API int AddPluginSetting(const PluginSettingRecord* record);
TESS_API int DeletePluginSetting(const PluginSettingRecord* record);
TESS_API int GetPluginSetting(PluginSettingRecord* record);
TESS_API int AddExtensionSupport(const char* extension, const char* display);
TESS_API int _LoadUserPluginConfiguration(
    int userId, platform::mfc::CAutoDeleteList<tess::translate::manager::ExtensionPluginPair>* list);
TESS_API int _SetUserExtPlugin(int userId, const char* extension, const char* plugin);
TESS_API int _DeleteUserExtPlugin(int userId, const char* extension);
TESS_API int _TranslateFile(const char* plugin, const char* input, platform::mfc::CString* output, void* context,
                            int fromOriginal);
TESS_API int _IsOriginalFormat(const char* plugin, const char* extension);
TESS_API int _LoadUIPluginSettings(int userId,
                                   platform::mfc::CAutoDeleteList<tess::translate::manager::ExtensionChoice>* list);
TESS_API int _ClientSupportsFormat(const char* extension);

// What a translator plug-in library exports: the input path, a zeroed 260-byte output
// buffer and the caller's context value; 0 when it wrote the output path.
typedef int (*TranslateFileFn)(const char* input, char* output, void* context);
