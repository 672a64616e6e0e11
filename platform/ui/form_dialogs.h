#pragma once
// Modal dialogs that collect text: the open-file dialog and the ID-and-password form. Like
// the UI service there is one current implementation per process: a front-end with a
// display installs the windowed one (platform/ui/qt/qt_form_dialogs.h), tests install a
// ScriptedFormDialogs, and without either every dialog is cancelled, since nobody can
// pick a file or type a password.
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/export.h"
#include "platform/ui/ui_service.h"

namespace platform::ui {

struct TESS_EXPORT OpenFileRequest {
    std::string title;
    // The desktop's filter form: "Name (*.ext)|*.ext|" pairs of label and pattern.
    std::string filter;
    std::string startDirectory;
    bool mustExist = true;  // only existing files in existing directories
};

// Two edits (an ID file and a password, shown masked) with OK, Cancel and Help; each
// control carries the id a windowed form names it by.
struct TESS_EXPORT CredentialsForm {
    struct Text {
        std::string text;
        int id = 0;
    };
    std::string caption;
    Text idLabel, passwordLabel;
    Text ok{"OK", IDOK}, cancel{"Cancel", IDCANCEL}, help{"Help", 3};
    int idEdit = 0, passwordEdit = 0;
    std::string idFile;    // in: shown; out (on IDOK): as typed
    std::string password;  // likewise
    // Run when the user asks for help (the Help button, or F1); the form stays open.
    std::function<void()> onHelp;
};

class TESS_EXPORT FormDialogs {
public:
    virtual ~FormDialogs();
    // IDOK with the chosen path, or IDCANCEL.
    virtual int openFile(const OpenFileRequest& request, std::string& path) = 0;
    // IDOK with the form's texts as entered, or IDCANCEL (form untouched).
    virtual int credentials(CredentialsForm& form) = 0;
};

// No display: every dialog is cancelled.
class TESS_EXPORT HeadlessFormDialogs : public FormDialogs {
public:
    int openFile(const OpenFileRequest& request, std::string& path) override;
    int credentials(CredentialsForm& form) override;
};

// For tests: records what was shown and answers from scripts in order; an empty script
// cancels (and the miss is recorded in problems()). A credentials answer equal to the
// form's Help id presses Help: the form's onHelp runs and the next answer is taken for
// the same form.
class TESS_EXPORT ScriptedFormDialogs : public FormDialogs {
public:
    void answerFile(int answer, std::string path = {});
    void answerCredentials(int answer, std::string idFile = {}, std::string password = {});
    int openFile(const OpenFileRequest& request, std::string& path) override;
    int credentials(CredentialsForm& form) override;

    std::vector<OpenFileRequest> fileRequests() const;
    std::vector<CredentialsForm> forms() const;
    std::vector<std::string> problems() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::pair<int, std::string>> files_;
    struct Credentials {
        int answer;
        std::string idFile, password;
    };
    std::deque<Credentials> credentials_;
    std::vector<OpenFileRequest> fileRequests_;
    std::vector<CredentialsForm> forms_;
    std::vector<std::string> problems_;
};

// The current implementation (headless until one is installed); null restores it.
TESS_EXPORT FormDialogs& currentFormDialogs();
TESS_EXPORT void installFormDialogs(FormDialogs* dialogs);

class ScopedFormDialogs {
public:
    explicit ScopedFormDialogs(FormDialogs& d) : previous_(&currentFormDialogs()) { installFormDialogs(&d); }
    ~ScopedFormDialogs() { installFormDialogs(previous_); }
    ScopedFormDialogs(const ScopedFormDialogs&) = delete;
    ScopedFormDialogs& operator=(const ScopedFormDialogs&) = delete;

private:
    FormDialogs* previous_;
};

}  // namespace platform::ui
