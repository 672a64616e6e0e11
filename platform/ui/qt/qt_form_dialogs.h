#pragma once
// The windowed form dialogs: a Qt file dialog and the ID-and-password form. Like QtUi it
// works on the thread that owns the QApplication; anywhere else, or without one, every
// dialog is cancelled.
#include "platform/ui/form_dialogs.h"

namespace platform::ui {

class TESS_EXPORT QtFormDialogs : public FormDialogs {
public:
    // A QFileDialog titled as asked (object name "fileDialog"), its filter from the
    // desktop's "Label|pattern|" form, in the start directory.
    int openFile(const OpenFileRequest& request, std::string& path) override;
    // A dialog (object name "credentials") whose controls are named by the form's ids.
    int credentials(CredentialsForm& form) override;
};

// Installs a QtFormDialogs when a widget application runs in this process; true when it
// did. Main thread only, after the QApplication exists.
TESS_EXPORT bool installWindowedFormDialogs();

}  // namespace platform::ui
