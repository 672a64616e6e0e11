#pragma once
// Ledgerly's exported attachment translator, which the engine makes once per
// synchronisation and user: whether a translator plug-in applies to an attachment file,
// and running it. Direction 0 goes toward the handheld, 1 back to the desktop.
#include <string>

#include "platform/export.h"
#include "platform/mfc/auto_delete_list.h"
#include "platform/mfc/cstring.h"
#include "translate/manager/hollowmere.h"

namespace tess::datamgr {

using tess::translate::manager::ExtensionPluginPair;

class TESS_EXPORT CAttachmentTranslator {
public:
    explicit CAttachmentTranslator(int userId);
    virtual ~CAttachmentTranslator();
    CAttachmentTranslator(const CAttachmentTranslator&) = delete;
    CAttachmentTranslator& operator=(const CAttachmentTranslator&) = delete;

    bool usable() const { return usable_; }
    // 1 when a plug-in applies to the file; its name goes to pluginName.
    int SelectPlugin(const char* path, int direction, platform::mfc::CString& pluginName);
    // 1 when a plug-in translated the selected file; the result's path goes to outputPath.
    int Translate(platform::mfc::CString& outputPath, void* argument);
    int IsSupported(const char* extension, int isOriginal) const;

private:
    void clearFile();

    bool usable_ = false;
    platform::mfc::CAutoDeleteList<ExtensionPluginPair> map_;
    int isOriginal_ = 0;
    int supported_ = 0;
    std::string plugin_, path_, extension_;
    int direction_ = 0;
};

}  // namespace tess::datamgr
