#pragma once
// The windowed UI service: Qt message boxes and a Qt progress window. It works on the
// thread that owns the QApplication; a call from any other thread gets the headless
// answer, since a synchronous sync may be holding that thread.
#include <cstdio>
#include <memory>
#include <string_view>

#include "platform/ui/ui_service.h"

namespace platform::ui {

class TESS_EXPORT QtUi : public UiService {
public:
    // Needs a QApplication. Progress lines and off-thread calls go to `log`.
    explicit QtUi(FILE* log = stderr);
    ~QtUi() override;
    // A message box with the question's buttons (object names "1" for OK, "6" for Yes, ...
    // as the answers), icon and default button; closed without a button, the default.
    int ask(const Question& question) override;
    // A dialog (object name "choice") whose controls are named by the form's control ids:
    // the frame, the radio buttons, the check box, OK, Cancel and the action buttons.
    int choose(ChoiceForm& form) override;
    void progress(std::string_view line) override;
    // A modeless dialog (object name "209") with the caption "1075", the overall bar
    // "1074", the status text "1073" and the step bar "1076"; it paints at each change.
    std::unique_ptr<ProgressWindow> openProgress(std::string_view title, std::string_view caption) override;

private:
    HeadlessUi headless_;
};

// Installs a QtUi when a display is named ($WAYLAND_DISPLAY, $DISPLAY, or a Qt platform
// through $QT_QPA_PLATFORM) and can be reached, creating the QApplication if there is none;
// otherwise the current service stays. True when the windowed service is installed.
// Call it once from the main thread at start-up.
TESS_EXPORT bool installWindowedIfDisplay();

// The widget application of this process: the existing one, or one made now when a display
// can be reached. False without a reachable display or when a non-widget application owns
// the process. Main thread only.
TESS_EXPORT bool ensureWindowedApplication();

}  // namespace platform::ui

// For a front-end that loads this library as a module only when a command may open a
// window, so that a command without one never maps the toolkit: installWindowedIfDisplay
// and, when it succeeds, installWindowedFormDialogs. 1 when the windowed UI is installed,
// 0 otherwise. The module must then stay loaded for the life of the process.
TESS_API int TessInstallWindowedUi();
