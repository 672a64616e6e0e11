#pragma once
// The engine's progress dialog: an overall bar, a step bar and a status text, driven by
// its private messages (the hosts send 0x802 and 0x804 to it during long listings).
// It shows itself as a progress window of the UI service: a real window when the
// windowed service is installed, a progress line otherwise.
#include <cstdint>
#include <memory>
#include <string>

#include "common/progress_messages.h"
#include "platform/ui/window_messages.h"

namespace platform::ui {
class ProgressWindow;
}

namespace tess {

class CSyncProgressDlg {
public:
    struct Bar {
        int count = 0;
        int last = 0;  // count - 1
        int position = 0;
    };

    // The title (string 4441) and caption (string 4442) as the dialog starts.
    CSyncProgressDlg(std::string title, std::string caption);
    ~CSyncProgressDlg();
    CSyncProgressDlg(const CSyncProgressDlg&) = delete;
    CSyncProgressDlg& operator=(const CSyncProgressDlg&) = delete;
    // Handles one message synchronously; the text rides in lParam for kProgressSetText.
    // 0 for a message it knows, -1 otherwise.
    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // The dialog's window handle: SendMessageA to it reaches SendMessage above, on the
    // sender's thread, for as long as the dialog lives.
    HWND Window() const { return hwnd_; }

    const Bar& Overall() const { return overall_; }
    const Bar& Step() const { return step_; }
    // What the text control holds ("&&" for each "&") and what it shows.
    const std::string& ControlText() const { return text_; }
    std::string ShownText() const;
    const std::string& Caption() const { return caption_; }
    bool Closed() const { return closed_; }

private:
    void Show() const;

    std::string title_, caption_, text_;
    Bar overall_, step_;
    struct {
        int count = 0, position = 0;
        std::string text;
        bool set = false;
    } cache_;
    bool closed_ = false;
    std::unique_ptr<platform::ui::ProgressWindow> window_;
    HWND hwnd_ = nullptr;
};

// The session's side: each operation does nothing while no dialog exists.
class CSyncProgress {
public:
    // Creates the dialog once and announces 11 overall steps.
    void ShowProgress();
    void AdvanceOverall();
    void SetStepCount(int n);                       // n of 0 or less is ignored
    void SetProgressText(const std::string& text);  // "&" doubled for the control
    void SetProgressTextId(unsigned id);
    void AdvanceStep();
    void SaveStepState();
    void RestoreStepState();
    // Both bars to their end, then the dialog is gone.
    void CloseProgress();

    // The dialog itself (null when none).
    CSyncProgressDlg* Dialog() const { return dlg_.get(); }
    // The dialog's window handle, which the hosts get in their logon records (null when
    // no dialog).
    HWND Window() const { return dlg_ ? dlg_->Window() : nullptr; }

private:
    std::unique_ptr<CSyncProgressDlg> dlg_;
};

}  // namespace tess
