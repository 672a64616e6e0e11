#include "relay/plugin_manager.h"

#include <strings.h>

namespace tess::relay {

using tess::translate::manager::ExtensionPluginPair;

using platform::mfc::CString;

CPluginManager::CPluginManager(int userId) : userId_(userId) {
    // The plug-in manager answers 8 when it filled the list (6 empty, 5 a new user).
    noPlugins_ = _LoadUserPluginConfiguration(userId_, &configuration_) != 8;
}

// The plug-in manager answers 0 for success; the wrapper answers true for success (a
// non-zero test of the result would call every refusal a success).
bool CPluginManager::SetUserExtPlugin(const char* extension, const char* plugin) {
    return _SetUserExtPlugin(userId_, extension, plugin) == 0;
}

bool CPluginManager::DeleteUserExtPlugin(const char* extension) {
    return _DeleteUserExtPlugin(userId_, extension) == 0;
}

bool CPluginManager::IsExtensionHandled(const char* extension, bool checkClient) {
    if (!extension) return false;
    if (checkClient && !_ClientSupportsFormat(extension)) return false;
    for (const ExtensionPluginPair* entry : configuration_)
        if (entry && strcasecmp(entry->extension.GetString(), extension) == 0) return true;
    return false;
}

int CPluginManager::TranslateFile(const char* path, CString* output, void* context, int fromOriginal) {
    std::vector<std::string> plugins;
    if (!selected_.empty())
        plugins.push_back(selected_);
    else
        for (const ExtensionPluginPair* entry : configuration_)
            if (entry) plugins.push_back(entry->plugin.str());
    int result = 4;  // no plug-in to translate with
    for (const std::string& plugin : plugins)
        if ((result = _TranslateFile(plugin.c_str(), path, output, context, fromOriginal)) == 0) break;
    return result;
}

}  // namespace tess::relay
