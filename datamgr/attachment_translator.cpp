#include "datamgr/ledgerly_translator.h"

#include <strings.h>

#include <algorithm>
#include <vector>

namespace tess::datamgr {

using platform::mfc::CString;
using tess::translate::manager::ExtensionPluginPair;

CAttachmentTranslator::CAttachmentTranslator(int userId) { usable_ = _LoadUserPluginConfiguration(userId, &map_) == 8; }

CAttachmentTranslator::~CAttachmentTranslator() = default;

void CAttachmentTranslator::clearFile() {
    isOriginal_ = 0;
    supported_ = 0;
    plugin_.clear();
    path_.clear();
    extension_.clear();
    direction_ = 0;
}

int CAttachmentTranslator::IsSupported(const char* extension, int isOriginal) const {
    if (!extension) return 0;
    if (isOriginal && !_ClientSupportsFormat(extension)) return 0;
    for (const ExtensionPluginPair* e : map_)
        if (e->extension.CompareNoCase(extension) == 0) return 1;
    return 0;
}

int CAttachmentTranslator::SelectPlugin(const char* path, int direction, CString& pluginName) {
    if (!usable_) return 0;
    clearFile();
    if (!path) return 0;
    path_ = path;
    direction_ = direction;
    const size_t dot = path_.rfind('.');
    if (dot == std::string::npos) {
        clearFile();
        return 0;
    }
    extension_ = path_.substr(dot + 1);
    const ExtensionPluginPair* entry = nullptr;
    for (const ExtensionPluginPair* e : map_)
        if (!entry && e->extension.CompareNoCase(extension_.c_str()) == 0) entry = e;
    if (!entry) return 0;
    if (entry->plugin.IsEmpty()) {
        clearFile();
        return 0;
    }
    pluginName = entry->plugin;
    plugin_ = entry->plugin.str();
    isOriginal_ = _IsOriginalFormat(plugin_.c_str(), extension_.c_str());
    supported_ = IsSupported(extension_.c_str(), isOriginal_);
    return 1;
}

int CAttachmentTranslator::Translate(CString& outputPath, void* argument) {
    if (!supported_ || direction_ != (isOriginal_ ? 0 : 1)) return 0;
    // The extension was matched without regard to case when the plug-in was chosen; the
    // candidates are found the same way.
    std::vector<std::string> candidates;
    if (isOriginal_) {
        candidates.push_back(plugin_);
    } else {
        for (const ExtensionPluginPair* e : map_)
            if (e->extension.CompareNoCase(extension_.c_str()) == 0 &&
                std::find(candidates.begin(), candidates.end(), e->plugin.str()) == candidates.end())
                candidates.push_back(e->plugin.str());
    }
    for (const std::string& candidate : candidates)
        if (_TranslateFile(candidate.c_str(), path_.c_str(), &outputPath, argument, isOriginal_) == 0) return 1;
    return 0;
}

}  // namespace tess::datamgr
