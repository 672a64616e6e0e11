#pragma once
// CPluginManager: the relay's wrapper over the translator plug-in manager's per-user
// configuration (which plug-in translates which attachment extension). Nothing in the
// relay makes one: forwarded attachments are never translated.
#include <memory>
#include <string>
#include <vector>

#include "platform/mfc/auto_delete_list.h"
#include "translate/manager/hollowmere.h"

namespace tess::relay {

using tess::translate::manager::ExtensionPluginPair;

using platform::mfc::CAutoDeleteList;
using platform::mfc::CString;

class CPluginManager {
public:
    explicit CPluginManager(int userId);
    virtual ~CPluginManager() = default;
    CPluginManager(const CPluginManager&) = delete;
    CPluginManager& operator=(const CPluginManager&) = delete;

    // True when the plug-in manager took the change (its result 0).
    bool SetUserExtPlugin(const char* extension, const char* plugin);
    bool DeleteUserExtPlugin(const char* extension);
    bool IsExtensionHandled(const char* extension, bool checkClient);
    // Translates with the selected plug-in, else with each configured one until one
    // succeeds; the plug-in manager's result.
    int TranslateFile(const char* path, CString* output, void* context, int fromOriginal);
    void SelectPlugin(const std::string& plugin) { selected_ = plugin; }
    bool NoPlugins() const { return noPlugins_; }

private:
    bool noPlugins_ = false;
    int userId_;
    CAutoDeleteList<ExtensionPluginPair> configuration_;
    std::string selected_;
};

}  // namespace tess::relay
